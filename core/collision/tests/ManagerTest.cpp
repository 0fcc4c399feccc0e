// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/design/QvAttachGeoStd.h"
#include "core/design/QvAttachment.h"
#include "core/design/QvOBBTree.h"
#include "core/design/QvOBBTreeMgr.h"
#include "core/collision/QvCollisionDetectMgr.h"
#include "core/collision/tests/ContactFixtures.h"
#include "core/design/tests/CollisionFixtures.h"
#include "core/scheme/QvSchemeFileLinkImpl.h"
#include "core/scheme/tests/SchemeFixtures.h"
#include "testing/CaseFixtures.h"

// ---- Allocation failure injection -----------------------------------------------------
// Replaces the global allocator for this test program: when armed with n, the allocation
// after n more succeed fails once with std::bad_alloc.

namespace {
std::atomic<long long> g_allocationsBeforeFailure{-1};
std::atomic<long long> g_allocations{0};
} // namespace

namespace {
void* Allocate(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    const long long left = g_allocationsBeforeFailure.load(std::memory_order_relaxed);
    if (left == 0)
    {
        g_allocationsBeforeFailure.store(-1, std::memory_order_relaxed);
        throw std::bad_alloc();
    }
    if (left > 0)
        g_allocationsBeforeFailure.store(left - 1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

// Every plain form, so that each allocation is freed by its own kind of release.
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return Allocate(size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using qvcontacttest::FillBox;
using qvcontacttest::Positions;
using qvcontacttest::SamePositions;
using qvschemetest::Identity;
using qvschemetest::SchemeCase;
using qvschemetest::Translation;
using CandidateList = QvCollisionDetectMgr::CandidateList;

// The trees are cached by mesh address across tests: every test starts and ends empty.
class CollisionMgr : public ::testing::Test
{
protected:
    void SetUp() override { QvOBBTreeMgr::Instance()->Clear(); }
    void TearDown() override { QvOBBTreeMgr::Instance()->Clear(); }
};

// Every present tooth gets an identity initial step at 0 and, for count > 1, an
// identity final step at count - 1.
void GiveSteps(QvScheme& scheme, int count)
{
    std::vector<QvToothBase*> teeth;
    scheme.GetTeeth(teeth);
    for (QvToothBase* t : teeth)
    {
        (void)scheme.InsertTreatStep(t, 0, kQvStepInitial, Identity());
        if (count > 1)
            (void)scheme.InsertTreatStep(t, count - 1, kQvStepFinal, Identity());
    }
}

QvTooth* BoxTooth(SchemeCase& c, int fdi, const QvPoint& lo, const QvPoint& hi)
{
    QvTooth* tooth = c.AddTooth(fdi, 0.0);
    FillBox(*tooth, lo, hi);
    return tooth;
}

// The same with every side a grid, for pairs that bite into each other.
QvTooth* GridTooth(SchemeCase& c, int fdi, const QvPoint& lo, const QvPoint& hi)
{
    QvTooth* tooth = c.AddTooth(fdi, 0.0);
    qvcontacttest::FillGridBox(*tooth, lo, hi, 6);
    return tooth;
}

int Number(const QvToothBase* t) { return t ? t->GetPositionFdi() : -1; }

std::vector<std::pair<int, int>> Numbers(const CandidateList& list)
{
    std::vector<std::pair<int, int>> out;
    for (const Candidate& c : list)
        out.emplace_back(Number(c.m_pFirst), Number(c.m_pSecond));
    return out;
}

using PairSet = std::set<std::pair<const QvToothBase*, const QvToothBase*>>;
PairSet Unordered(const CandidateList& list)
{
    PairSet out;
    for (const Candidate& c : list)
        out.insert(std::minmax<const QvToothBase*>(c.m_pFirst, c.m_pSecond));
    return out;
}

void MarkClean(QvCollisionDetectMgr& mgr)
{
    for (CandidateList& list : mgr.GetCandidates())
        for (Candidate& c : list)
            c.m_bDirty = false;
}

const Candidate* FindPair(const CandidateList& list, const QvToothBase* a, const QvToothBase* b)
{
    for (const Candidate& c : list)
        if (c.IsPair(a, b))
            return &c;
    return nullptr;
}

// Two upper and two lower box teeth: the upper pair 0.3 apart, the lower pair 0.9
// apart, each upper tooth biting 0.2 deep into the lower tooth beneath it.
struct BiteCase
{
    BiteCase() : c(std::vector<int>{})
    {
        t11 = GridTooth(c, 11, QvPoint(-3.0, -1.0, -0.5), QvPoint(0.0, 1.0, 0.5));
        t21 = GridTooth(c, 21, QvPoint(0.3, -1.0, -0.5), QvPoint(3.3, 1.0, 0.5));
        t41 = GridTooth(c, 41, QvPoint(-2.8, -0.8, -1.3), QvPoint(-0.2, 0.8, -0.3));
        t31 = GridTooth(c, 31, QvPoint(0.7, -0.8, -1.3), QvPoint(3.1, 0.8, -0.3));
        GiveSteps(*c.scheme, 1);
    }
    SchemeCase c;
    QvTooth *t11, *t21, *t41, *t31;
};

// ---- Pair lists -------------------------------------------------------------------------

TEST_F(CollisionMgr, FullJawsGiveNeighboursThenCrossPairsInArchOrder)
{
    SchemeCase c(qvtest::CaseFdis());
    GiveSteps(*c.scheme, 3);
    QvCollisionDetectMgr mgr;
    mgr.SetScheme(c.scheme.get());
    ASSERT_EQ(mgr.GetCandidates().size(), 3u);

    const std::vector<int> upper = {17, 16, 15, 14, 13, 12, 11, 21, 22, 23, 24, 25, 26, 27};
    const std::vector<int> lower = {47, 46, 45, 44, 43, 42, 41, 31, 32, 33, 34, 35, 36, 37};
    std::vector<std::pair<int, int>> expected;
    for (std::size_t i = 0; i + 1 < upper.size(); ++i)
        expected.emplace_back(upper[i], upper[i + 1]);
    for (std::size_t i = 0; i + 1 < lower.size(); ++i)
        expected.emplace_back(lower[i], lower[i + 1]);
    for (const int u : upper)
        for (const int l : lower)
            expected.emplace_back(u, l);
    ASSERT_EQ(expected.size(), 13u + 13u + 196u);

    for (int s = 0; s < 3; ++s)
    {
        const CandidateList& list = mgr.GetCandidates()[static_cast<std::size_t>(s)];
        EXPECT_EQ(Numbers(list), expected);
        for (std::size_t i = 0; i < list.size(); ++i)
        {
            EXPECT_EQ(list[i].m_nStep, s);
            EXPECT_TRUE(list[i].m_bDirty);
            EXPECT_EQ(list[i].m_bSameJaw, i < 26);
            EXPECT_EQ(list[i].GetResult(), nullptr);
        }
    }

    // Binding again keeps the lists; an empty jaw gives no pairs at all.
    mgr.GetCandidates()[0][0].m_bDirty = false;
    mgr.SetScheme(c.scheme.get());
    EXPECT_FALSE(mgr.GetCandidates()[0][0].m_bDirty);
    for (QvTooth* t : c.teeth)
        if (!t->IsUpper())
            c.scheme->SetExtracted(t, true);
    mgr.BuildCandidates();
    EXPECT_EQ(mgr.GetCandidates()[1].size(), 13u);
}

TEST_F(CollisionMgr, ArchOrderAndDeciduousPredecessors)
{
    // The order of quadrants 1, 2, 4, 3; deciduous teeth by their position digit, after
    // the permanent tooth in quadrants 1 and 4 and before it in quadrants 2 and 3.
    const std::vector<int> expected = {18, 15, 55, 11, 51, 61, 21, 65, 25, 28,
                                       48, 45, 85, 41, 71, 31, 75, 35, 38};
    std::vector<std::unique_ptr<QvTooth>> owned;
    std::vector<QvToothBase*> teeth;
    for (const int fdi : expected)
    {
        owned.push_back(std::make_unique<QvTooth>());
        owned.back()->SetFdi(fdi);
        teeth.push_back(owned.back().get());
    }
    std::mt19937 shuffle(7);
    for (int round = 0; round < 5; ++round)
    {
        std::shuffle(teeth.begin(), teeth.end(), shuffle);
        std::stable_sort(teeth.begin(), teeth.end(), ArchOrderLess);
        std::vector<int> order;
        for (const QvToothBase* t : teeth)
            order.push_back(Number(t));
        EXPECT_EQ(order, expected);
    }
    // Irreflexive, and a deciduous tooth never equals its successor.
    EXPECT_FALSE(ArchOrderLess(teeth[0], teeth[0]));

    // 16, 15, 55, 14 present: 15 gives way to its predecessor and takes part in no pair.
    SchemeCase c({16, 15, 14, 46});
    QvTooth* t55 = c.AddTooth(55, 5.0);
    GiveSteps(*c.scheme, 1);
    QvCollisionDetectMgr mgr;
    mgr.SetScheme(c.scheme.get());
    std::vector<QvToothBase*> jaw;
    c.scheme->GetTeeth(jaw);
    std::erase_if(jaw, [](const QvToothBase* t) { return !t->IsUpper(); });
    std::stable_sort(jaw.begin(), jaw.end(), ArchOrderLess);
    std::vector<int> sorted;
    for (const QvToothBase* t : jaw)
        sorted.push_back(Number(t));
    EXPECT_EQ(sorted, (std::vector<int>{16, 15, 55, 14}));
    QvCollisionDetectMgr::RemovePermanentSuccessors(jaw);
    std::vector<QvToothBase*> upper;
    mgr.GetJawTeeth(0, true, upper);
    EXPECT_EQ(upper, jaw);
    EXPECT_EQ(upper, (std::vector<QvToothBase*>{c.Tooth(16), t55, c.Tooth(14)}));
    for (const Candidate& cand : mgr.GetCandidates()[0])
        EXPECT_FALSE(cand.HasTooth(c.Tooth(15)));
}

TEST_F(CollisionMgr, VirtualToothOfMode1StandsInFromItsFirstStep)
{
    SchemeCase c({17, 16, 15, 47});
    GiveSteps(*c.scheme, 8);
    QvVirtualTooth* v = c.AddVirtualTooth(16, Identity());
    v->m_nKind = 1;
    v->m_nStartStep = 5;
    QvCollisionDetectMgr mgr;
    mgr.SetScheme(c.scheme.get());
    ASSERT_EQ(mgr.GetCandidates().size(), 8u);
    for (int s = 0; s < 8; ++s)
    {
        SCOPED_TRACE(s);
        const CandidateList& list = mgr.GetCandidates()[static_cast<std::size_t>(s)];
        for (const Candidate& cand : list)
            EXPECT_FALSE(cand.HasTooth(c.Tooth(16)));
        if (s < 5)
            EXPECT_EQ(Numbers(list), (std::vector<std::pair<int, int>>{{17, 15}, {17, 47}, {15, 47}}));
        else
        {
            EXPECT_EQ(Numbers(list),
                      (std::vector<std::pair<int, int>>{{17, 16}, {16, 15}, {17, 47}, {16, 47}, {15, 47}}));
            EXPECT_EQ(list[0].m_pSecond, v);
        }
    }
    // Mode 0 takes no part: the scanned 16 stands again.
    v->m_nKind = 0;
    std::vector<QvToothBase*> upper;
    mgr.GetJawTeeth(6, true, upper);
    EXPECT_EQ(upper, (std::vector<QvToothBase*>{c.Tooth(17), c.Tooth(16), c.Tooth(15)}));
}

TEST_F(CollisionMgr, StepCountFollowsTheScheme)
{
    SchemeCase c;
    GiveSteps(*c.scheme, 3);
    QvCollisionDetectMgr mgr;
    mgr.SetScheme(c.scheme.get());
    ASSERT_EQ(mgr.GetCandidates().size(), 3u);
    MarkClean(mgr);
    const auto first = Numbers(mgr.GetCandidates()[0]);

    // Two more steps: copies of list 0, renumbered and dirty; the old lists untouched.
    QvTreatStep* late = c.scheme->InsertTreatStep(c.Tooth(11), 4, kQvStepMoving, Identity());
    ASSERT_NE(late, nullptr);
    mgr.SyncStepCount();
    ASSERT_EQ(mgr.GetCandidates().size(), 5u);
    for (int s = 0; s < 5; ++s)
        for (const Candidate& cand : mgr.GetCandidates()[static_cast<std::size_t>(s)])
        {
            EXPECT_EQ(cand.m_nStep, s);
            EXPECT_EQ(cand.m_bDirty, s >= 3);
        }
    EXPECT_EQ(Numbers(mgr.GetCandidates()[4]), first);

    // Fewer steps: lists dropped from the end.
    std::vector<QvTreatStep*> doomed = {late};
    for (QvTooth* t : c.teeth)
        doomed.push_back(c.scheme->GetTreatStep(2, t));
    c.scheme->RemoveTreatSteps(doomed);
    ASSERT_EQ(c.scheme->GetStepCount(), 1);
    mgr.SyncStepCount();
    EXPECT_EQ(mgr.GetCandidates().size(), 1u);

    // No list at all: the lists appended are empty until the pairs are derived.
    SchemeCase bare;
    QvCollisionDetectMgr fresh;
    fresh.SetScheme(bare.scheme.get());
    EXPECT_TRUE(fresh.GetCandidates().empty());
    GiveSteps(*bare.scheme, 2);
    fresh.SyncStepCount();
    ASSERT_EQ(fresh.GetCandidates().size(), 2u);
    EXPECT_TRUE(fresh.GetCandidates()[1].empty());
    fresh.UpdateCandidates();
    EXPECT_EQ(fresh.GetCandidates()[1].size(), 6u);
}

// ---- Dirty marking ------------------------------------------------------------------------

TEST_F(CollisionMgr, DirtyMarkingCoversTheStepsAroundTheMove)
{
    // 11: initial 0, moving to 9, key 10, moving to 19, key 20, moving to 24.
    SchemeCase c({11, 21, 41});
    QvTooth* t = c.Tooth(11);
    for (int s = 0; s < 25; ++s)
    {
        const int type = s == 0 ? kQvStepInitial : (s == 10 || s == 20 ? kQvStepKey : kQvStepMoving);
        (void)c.scheme->InsertTreatStep(t, s, type, Identity());
    }
    for (QvTooth* other : {c.Tooth(21), c.Tooth(41)})
    {
        (void)c.scheme->InsertTreatStep(other, 0, kQvStepInitial, Identity());
        (void)c.scheme->InsertTreatStep(other, 24, kQvStepFinal, Identity());
    }
    QvCollisionDetectMgr mgr;
    mgr.SetScheme(c.scheme.get());
    ASSERT_EQ(mgr.GetCandidates().size(), 25u);

    // Which lists hold dirty candidates of 11 after the marking; none of the others'.
    auto dirtySteps = [&]() {
        std::vector<int> steps;
        for (const CandidateList& list : mgr.GetCandidates())
            for (const Candidate& cand : list)
            {
                if (cand.m_bDirty && !cand.HasTooth(t))
                    ADD_FAILURE() << "a candidate without the tooth marked at " << cand.m_nStep;
                if (cand.m_bDirty && (steps.empty() || steps.back() != cand.m_nStep))
                    steps.push_back(cand.m_nStep);
            }
        return steps;
    };
    auto range = [](int from, int to) {
        std::vector<int> out;
        for (int s = from; s <= to; ++s)
            out.push_back(s);
        return out;
    };
    struct Case
    {
        const char* what;
        int step;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"between keys", 10, range(1, 19)},  {"from key", 10, range(11, 24)}, {"from key", 5, range(1, 24)},
        {"after key", 10, range(1, 24)},     {"after key", 15, range(11, 24)}, {"after key", 0, {}},
        {"to end", 0, range(1, 24)},         {"to end", 15, range(11, 24)},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(std::string(k.what) + " " + std::to_string(k.step));
        MarkClean(mgr);
        const std::string what = k.what;
        if (what == "between keys")
            mgr.SetToothDirty(k.step, t);
        else if (what == "from key")
            EXPECT_TRUE(mgr.SetToothDirtyFromKey(k.step, t));
        else if (what == "after key")
            mgr.SetToothDirtyAfterKey(k.step, t);
        else
            mgr.SetToothDirtyToEnd(k.step, t);
        EXPECT_EQ(dirtySteps(), k.expected);
    }

    // Without a key step after 10 the range runs to the last list.
    ASSERT_TRUE(c.scheme->SetStepType(20, t, kQvStepMoving));
    MarkClean(mgr);
    mgr.SetToothDirty(10, t);
    EXPECT_EQ(dirtySteps(), range(1, 24));

    // A tooth without an earlier key step marks nothing.
    QvTooth* loose = c.AddTooth(22, 3.0);
    (void)c.scheme->InsertTreatStep(loose, 3, kQvStepMoving, Identity());
    mgr.UpdateCandidates();
    MarkClean(mgr);
    mgr.SetToothDirty(10, loose);
    EXPECT_FALSE(mgr.SetToothDirtyFromKey(10, loose));
    for (const CandidateList& list : mgr.GetCandidates())
        for (const Candidate& cand : list)
            EXPECT_FALSE(cand.m_bDirty);

    mgr.SetAllDirty();
    for (const CandidateList& list : mgr.GetCandidates())
        for (const Candidate& cand : list)
            EXPECT_TRUE(cand.m_bDirty);
}

// ---- Evaluation ---------------------------------------------------------------------------

TEST_F(CollisionMgr, RecordsBelowTheThresholdAreDropped)
{
    // Upper neighbours 0.04 apart, lower neighbours 0.05 apart (both exact in binary
    // section arithmetic: the facing faces stand at x = 0 and x = gap).
    SchemeCase c(std::vector<int>{});
    BoxTooth(c, 13, QvPoint(-3.0, -1.0, -0.5), QvPoint(0.0, 1.0, 0.5));
    BoxTooth(c, 12, QvPoint(0.04, -1.0, -0.5), QvPoint(3.04, 1.0, 0.5));
    QvTooth* t43 = BoxTooth(c, 43, QvPoint(-3.0, -1.0, -3.5), QvPoint(0.0, 1.0, -2.5));
    QvTooth* t42 = BoxTooth(c, 42, QvPoint(0.05, -1.0, -3.5), QvPoint(3.05, 1.0, -2.5));
    GiveSteps(*c.scheme, 1);
    QvCollisionDetectMgr mgr;
    mgr.SetScheme(c.scheme.get());

    std::vector<QvGapInfo*> first;
    mgr.GetStepContacts(0, true, false, first);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0]->m_nKind, kQvGapKindGap);
    EXPECT_EQ(first[0]->m_dDistance, 0.05);
    EXPECT_TRUE(first[0]->IsPair(t43, t42));
    const CandidateList& list = mgr.GetCandidates()[0];
    EXPECT_FALSE(list[0].m_bDirty);
    EXPECT_EQ(list[0].GetResult(), nullptr);
    // The opposing pairs were not asked for.
    for (std::size_t i = 2; i < list.size(); ++i)
        EXPECT_TRUE(list[i].m_bDirty);

    // Asked again without changes: the same records, nothing evaluated (a tree placed
    // elsewhere meanwhile stays there).
    // The cache started empty: the scanned teeth's trees were built on the spot.
    QvOBBTree* tree = QvOBBTreeMgr::Instance()->FindTree(t42);
    ASSERT_NE(tree, nullptr);
    tree->SetPlacement(Translation(50.0, 0.0, 0.0));
    std::vector<QvGapInfo*> second;
    mgr.GetStepContacts(0, true, false, second);
    EXPECT_EQ(second, first);
    EXPECT_EQ(tree->GetPlacement()[0][3], 50.0);

    // Dirty again: evaluated again, at the step's placement.
    mgr.SetAllDirty();
    std::vector<QvGapInfo*> third;
    mgr.GetStepContacts(0, true, false, third);
    ASSERT_EQ(third.size(), 1u);
    EXPECT_EQ(third[0]->m_dDistance, 0.05);
    EXPECT_EQ(tree->GetPlacement()[0][3], 0.0);
}

TEST_F(CollisionMgr, EachQueryEvaluatesAndReportsOnlyItsKind)
{
    BiteCase b;
    QvCollisionDetectMgr mgr;
    mgr.SetScheme(b.c.scheme.get());
    ASSERT_EQ(mgr.GetCandidates().size(), 1u);

    std::vector<QvGapInfo*> none;
    mgr.GetStepContacts(-1, true, true, none);
    mgr.GetStepContacts(1, true, true, none);
    mgr.GetStepContacts(0, false, false, none);
    EXPECT_TRUE(none.empty());

    std::vector<QvGapInfo*> occlusal;
    mgr.GetStepContacts(0, false, true, occlusal);
    ASSERT_EQ(occlusal.size(), 2u);
    EXPECT_TRUE(occlusal[0]->IsPair(b.t11, b.t41));
    EXPECT_TRUE(occlusal[1]->IsPair(b.t21, b.t31));
    for (const QvGapInfo* r : occlusal)
    {
        EXPECT_EQ(r->m_nKind, kQvGapKindContact);
        EXPECT_GE(r->m_dDistance, kQvContactMinDistance);
        EXPECT_LE(r->m_dDistance, 0.3);
    }
    // The neighbour pairs were left alone.
    EXPECT_TRUE(mgr.GetCandidates()[0][0].m_bDirty);
    EXPECT_TRUE(mgr.GetCandidates()[0][1].m_bDirty);

    std::vector<QvGapInfo*> adjacent;
    mgr.GetStepContacts(0, true, false, adjacent);
    ASSERT_EQ(adjacent.size(), 2u);
    EXPECT_TRUE(adjacent[0]->IsPair(b.t11, b.t21));
    EXPECT_NEAR(adjacent[0]->m_dDistance, 0.3, 1e-9);
    EXPECT_TRUE(adjacent[1]->IsPair(b.t41, b.t31));
    EXPECT_NEAR(adjacent[1]->m_dDistance, 0.9, 1e-9);
    for (const QvGapInfo* r : adjacent)
        EXPECT_EQ(r->m_nKind, kQvGapKindGap);

    std::vector<QvGapInfo*> all;
    mgr.GetStepContacts(0, true, true, all);
    EXPECT_EQ(all, (std::vector<QvGapInfo*>{adjacent[0], adjacent[1], occlusal[0], occlusal[1]}));

    std::vector<QvGapInfo*> of21;
    mgr.GetToothContacts(0, b.t21, of21);
    EXPECT_EQ(of21, (std::vector<QvGapInfo*>{adjacent[0], occlusal[1]}));
    std::vector<QvGapInfo*> outside;
    mgr.GetToothContacts(3, b.t21, outside);
    EXPECT_TRUE(outside.empty());
}

TEST_F(CollisionMgr, ExtractionPairsTheFormerNeighboursAndKeepsOtherResults)
{
    SchemeCase c(std::vector<int>{});
    QvTooth* t13 = BoxTooth(c, 13, QvPoint(-6.6, -1.0, -0.5), QvPoint(-3.6, 1.0, 0.5));
    QvTooth* t12 = BoxTooth(c, 12, QvPoint(-3.3, -1.0, -0.5), QvPoint(-0.3, 1.0, 0.5));
    QvTooth* t11 = BoxTooth(c, 11, QvPoint(0.0, -1.0, -0.5), QvPoint(3.0, 1.0, 0.5));
    QvTooth* t42 = BoxTooth(c, 42, QvPoint(-3.0, -1.0, -3.0), QvPoint(0.0, 1.0, -2.0));
    QvTooth* t41 = BoxTooth(c, 41, QvPoint(0.5, -1.0, -3.0), QvPoint(3.5, 1.0, -2.0));
    GiveSteps(*c.scheme, 1);
    QvCollisionDetectMgr mgr;
    mgr.SetScheme(c.scheme.get());
    std::vector<QvGapInfo*> before;
    mgr.GetStepContacts(0, true, true, before);
    ASSERT_EQ(before.size(), 3u);
    const CandidateList& list = mgr.GetCandidates()[0];
    const QvGapInfo* lowerGap = FindPair(list, t42, t41)->GetResult();
    ASSERT_NE(lowerGap, nullptr);
    EXPECT_NEAR(lowerGap->m_dDistance, 0.5, 1e-12);

    c.scheme->SetExtracted(t12, true);
    mgr.OnToothExtracted();
    EXPECT_EQ(list.size(), 1u + 1u + 2u * 2u);
    for (const Candidate& cand : list)
    {
        EXPECT_FALSE(cand.HasTooth(t12));
        // Only the new pair waits for evaluation; the rest keep what they had.
        EXPECT_EQ(cand.m_bDirty, cand.IsPair(t13, t11));
    }
    EXPECT_EQ(list.back().m_pFirst, t13);
    EXPECT_EQ(list.back().m_pSecond, t11);
    EXPECT_EQ(FindPair(list, t42, t41)->GetResult(), lowerGap);

    std::vector<QvGapInfo*> after;
    mgr.GetStepContacts(0, true, false, after);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0], lowerGap);
    EXPECT_TRUE(after[1]->IsPair(t13, t11));
    EXPECT_NEAR(after[1]->m_dDistance, 3.6, 1e-12);

    // Restored: the pairs of 12 come back dirty, the rest stay.
    c.scheme->SetExtracted(t12, false);
    mgr.OnToothRecovered();
    EXPECT_EQ(list.size(), 2u + 1u + 3u * 2u);
    EXPECT_EQ(FindPair(list, t13, t11), nullptr);
    EXPECT_TRUE(FindPair(list, t12, t11)->m_bDirty);
    EXPECT_EQ(FindPair(list, t42, t41)->GetResult(), lowerGap);
}

// A virtual tooth at 22 whose own placement stretches it along x by 1.2 and moves it to
// x = 5; at step 0 it stands 0.2 from 21, at step 1 it bites 0.6 into it.
struct VirtualCase
{
    explicit VirtualCase(int grid = 6) : c(std::vector<int>{})
    {
        t21 = c.AddTooth(21, 0.0);
        qvcontacttest::FillGridBox(*t21, QvPoint(0.3, -1.0, -0.5), QvPoint(3.3, 1.0, 0.5), grid);
        QvMatrix own = Translation(5.0, 0.0, 0.0);
        own[0][0] = 1.2;
        v = c.AddVirtualTooth(22, own);
        qvcontacttest::FillGridBox(*v, QvPoint(-1.5, -0.9, -0.4), QvPoint(1.5, 0.9, 0.4), grid);
        v->m_nKind = 2;
        (void)c.scheme->InsertTreatStep(t21, 0, kQvStepInitial, Identity());
        (void)c.scheme->InsertTreatStep(t21, 1, kQvStepFinal, Identity());
        (void)c.scheme->InsertTreatStep(v, 0, kQvStepInitial, Translation(0.3, 0.0, 0.0));
        (void)c.scheme->InsertTreatStep(v, 1, kQvStepFinal, Translation(-0.5, 0.0, 0.0));
        mgr.SetScheme(c.scheme.get());
    }
    SchemeCase c;
    QvTooth* t21;
    QvVirtualTooth* v;
    QvCollisionDetectMgr mgr;
};

struct MeshState
{
    explicit MeshState(const QvMesh& mesh)
        : points(Positions(mesh)), lo(mesh.m_bbox.m_minPoint), hi(mesh.m_bbox.m_maxPoint)
    {
        for (const QvFace& f : mesh.m_faces)
            normals.push_back(f.m_normal);
    }
    bool Same(const QvMesh& mesh) const
    {
        const MeshState now(mesh);
        bool same = SamePositions(points, now.points) && normals.size() == now.normals.size();
        for (std::size_t i = 0; same && i < normals.size(); ++i)
            for (int k = 0; k < 3; ++k)
                same = same && normals[i][k] == now.normals[i][k];
        for (int k = 0; k < 3; ++k)
            same = same && lo[k] == now.lo[k] && hi[k] == now.hi[k];
        return same;
    }
    std::vector<QvPoint> points;
    std::vector<QvVector> normals;
    QvPoint lo, hi;
};

TEST_F(CollisionMgr, VirtualToothIsPlacedForTheTestAndPutBackExactly)
{
    VirtualCase k;
    const MeshState before(*k.v);

    // No tree of the virtual tooth in the cache: none is left there afterwards.
    std::vector<QvGapInfo*> gap;
    k.mgr.GetStepContacts(0, true, false, gap);
    ASSERT_EQ(gap.size(), 1u);
    EXPECT_EQ(gap[0]->m_nKind, kQvGapKindGap);
    EXPECT_TRUE(gap[0]->IsPair(k.t21, k.v));
    EXPECT_NEAR(gap[0]->m_dDistance, 0.2, 1e-9);
    EXPECT_NEAR(gap[0]->m_point[0], 3.4, 1e-9);
    EXPECT_TRUE(before.Same(*k.v));
    EXPECT_EQ(QvOBBTreeMgr::Instance()->FindTree(k.v), nullptr);

    // A tree the case built for it stays, and still fits the mesh it was built on.
    QvOBBTreeMgr::Instance()->AddMesh(k.v);
    QvOBBTree* cached = QvOBBTreeMgr::Instance()->FindTree(k.v);
    const QvOBB box = cached->GetPlacedBox(cached->GetRoot());
    std::vector<QvGapInfo*> bite;
    k.mgr.GetStepContacts(1, true, false, bite);
    ASSERT_EQ(bite.size(), 1u);
    EXPECT_EQ(bite[0]->m_nKind, kQvGapKindContact);
    EXPECT_TRUE(bite[0]->IsPair(k.t21, k.v));
    EXPECT_GE(bite[0]->m_dDistance, 0.3);
    EXPECT_LE(bite[0]->m_dDistance, 0.7);
    // Contact points are where the teeth stood for the test.
    EXPECT_GE(bite[0]->m_point[0], 2.6);
    EXPECT_LE(bite[0]->m_point[0], 3.4);
    EXPECT_TRUE(before.Same(*k.v));
    ASSERT_EQ(QvOBBTreeMgr::Instance()->FindTree(k.v), cached);
    const QvOBB after = cached->GetPlacedBox(cached->GetRoot());
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(after.m_frame.m_centre[i], box.m_frame.m_centre[i]);
        EXPECT_EQ(after.m_halfSize[i], box.m_halfSize[i]);
    }
    const QvOBBTree fresh(k.v);
    const QvOBB rebuilt = fresh.GetPlacedBox(fresh.GetRoot());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(rebuilt.m_halfSize[i], box.m_halfSize[i]);

    // Evaluated over and over, the mesh does not drift.
    for (int round = 0; round < 6; ++round)
    {
        k.mgr.SetAllDirty();
        std::vector<QvGapInfo*> out;
        k.mgr.GetStepContacts(round % 2, true, false, out);
    }
    EXPECT_TRUE(before.Same(*k.v));
}

TEST_F(CollisionMgr, FailedAllocationLeavesNoMeshMovedAndTheCandidateDirty)
{
    VirtualCase k(3);
    const MeshState before(*k.v);
    for (int step = 0; step < 2; ++step)
    {
        SCOPED_TRACE(step);
        // Full evaluations, the second to count the allocations once the cache holds
        // the scanned tooth's tree, and to have an old result.
        std::vector<QvGapInfo*> out;
        k.mgr.SetAllDirty();
        k.mgr.GetToothContacts(step, k.v, out);
        k.mgr.SetAllDirty();
        out.clear();
        const long long start = g_allocations.load();
        k.mgr.GetToothContacts(step, k.v, out);
        const long long count = g_allocations.load() - start;
        ASSERT_EQ(out.size(), 1u);
        const Candidate& cand = k.mgr.GetCandidates()[static_cast<std::size_t>(step)][0];
        const QvGapInfo* old = cand.GetResult();

        // Fail each allocation in turn (every one while there are few).
        const long long stride = std::max<long long>(1, count / 150);
        int failures = 0;
        for (long long n = 0;; n += stride)
        {
            k.mgr.SetAllDirty();
            out.clear();
            bool thrown = false;
            g_allocationsBeforeFailure.store(n);
            try
            {
                k.mgr.GetToothContacts(step, k.v, out);
            }
            catch (const std::bad_alloc&)
            {
                thrown = true;
            }
            g_allocationsBeforeFailure.store(-1);
            ASSERT_TRUE(before.Same(*k.v)) << "failing allocation " << n;
            ASSERT_EQ(QvOBBTreeMgr::Instance()->FindTree(k.v), nullptr);
            if (!thrown)
                break;
            ++failures;
            EXPECT_TRUE(cand.m_bDirty);
            EXPECT_EQ(cand.GetResult(), old);
        }
        EXPECT_GT(failures, 0);
    }
}

TEST_F(CollisionMgr, SchemeCopiesCarryTheirOwnListsAndResults)
{
    BiteCase b;
    QvVirtualTooth* v = b.c.AddVirtualTooth(22, Identity());
    FillBox(*v, QvPoint(10.0, -1.0, -0.5), QvPoint(13.0, 1.0, 0.5));
    v->m_nKind = 2;
    (void)b.c.scheme->InsertTreatStep(v, 0, kQvStepInitial, Identity());

    QvCollisionDetectMgr& mgr = QvGetCollisionDetectMgr(*b.c.scheme);
    EXPECT_EQ(&QvGetCollisionDetectMgr(*b.c.scheme), &mgr);
    EXPECT_EQ(mgr.GetScheme(), nullptr);
    mgr.SetScheme(b.c.scheme.get());
    std::vector<QvGapInfo*> out;
    mgr.GetStepContacts(0, true, true, out);
    ASSERT_EQ(out.size(), 5u);

    // Copying a candidate copies its result.
    const Candidate& source = mgr.GetCandidates()[0][0];
    ASSERT_NE(source.GetResult(), nullptr);
    Candidate copied(source);
    EXPECT_NE(copied.GetResult(), source.GetResult());
    EXPECT_EQ(copied.GetResult()->m_dDistance, source.GetResult()->m_dDistance);
    Candidate assigned(5, nullptr, nullptr);
    assigned = copied;
    EXPECT_EQ(assigned.m_nStep, 0);
    EXPECT_NE(assigned.GetResult(), copied.GetResult());
    EXPECT_TRUE(assigned.IsPair(b.t21, b.t11));

    QvScheme copy;
    copy.CopyFrom(*b.c.scheme, true);
    auto* cloned = dynamic_cast<QvCollisionDetectMgr*>(copy.GetCollisionStore());
    ASSERT_NE(cloned, nullptr);
    EXPECT_EQ(&QvGetCollisionDetectMgr(copy), cloned);
    EXPECT_EQ(cloned->GetScheme(), &copy);
    ASSERT_EQ(copy.GetVirtualTeeth().size(), 1u);
    QvToothBase* clone = copy.GetVirtualTeeth()[0];
    ASSERT_NE(clone, v);

    const CandidateList& from = mgr.GetCandidates()[0];
    const CandidateList& to = cloned->GetCandidates()[0];
    ASSERT_EQ(from.size(), to.size());
    for (std::size_t i = 0; i < from.size(); ++i)
    {
        const bool moved = from[i].HasTooth(v);
        EXPECT_EQ(to[i].HasTooth(clone), moved);
        EXPECT_FALSE(to[i].HasTooth(v));
        EXPECT_EQ(to[i].m_bDirty, moved || from[i].m_bDirty);
        if (!moved)
        {
            EXPECT_TRUE(to[i].IsPair(from[i].m_pFirst, from[i].m_pSecond));
        }
        ASSERT_EQ(to[i].GetResult() != nullptr, from[i].GetResult() != nullptr);
        if (from[i].GetResult())
        {
            EXPECT_NE(to[i].GetResult(), from[i].GetResult());
            EXPECT_EQ(to[i].GetResult()->m_dDistance, from[i].GetResult()->m_dDistance);
        }
    }

    // The scheme's own clearing empties its lists.
    b.c.scheme->Clear(false);
    EXPECT_TRUE(mgr.GetCandidates().empty());
}

// ---- Operations only editors of tooth sets call ---------------------------------------------

TEST_F(CollisionMgr, ToothChangesRederiveThePairsWhenTheyMatter)
{
    SchemeCase c({17, 16, 15, 14, 46});
    GiveSteps(*c.scheme, 2);
    QvCollisionDetectMgr mgr;
    mgr.SetScheme(c.scheme.get());
    MarkClean(mgr);

    // A deciduous tooth arrives over its successor 15.
    QvTooth* t55 = c.AddTooth(55, 6.0);
    (void)c.scheme->InsertTreatStep(t55, 0, kQvStepInitial, Identity());
    mgr.OnToothChanged(t55, false);
    for (const CandidateList& list : mgr.GetCandidates())
    {
        // The survivors in their order, then the new pairs.
        EXPECT_EQ(Numbers(list), (std::vector<std::pair<int, int>>{{17, 16}, {17, 46}, {16, 46}, {14, 46},
                                                                   {16, 55}, {55, 14}, {55, 46}}));
        EXPECT_FALSE(FindPair(list, c.Tooth(17), c.Tooth(16))->m_bDirty);
        EXPECT_TRUE(FindPair(list, c.Tooth(16), t55)->m_bDirty);
    }

    // A virtual tooth over no present tooth of its numbers changes nothing.
    QvVirtualTooth* far = c.AddVirtualTooth(18, Identity());
    far->m_nKind = 2;
    const auto unchanged = Numbers(mgr.GetCandidates()[0]);
    mgr.OnToothChanged(far, false);
    EXPECT_EQ(Numbers(mgr.GetCandidates()[0]), unchanged);

    // One of mode 1 over the present 16 replaces it.
    QvVirtualTooth* v = c.AddVirtualTooth(16, Identity());
    v->m_nKind = 1;
    mgr.OnToothChanged(v, false);
    QvCollisionDetectMgr fresh;
    fresh.SetScheme(c.scheme.get());
    for (std::size_t s = 0; s < 2; ++s)
        EXPECT_EQ(Unordered(mgr.GetCandidates()[s]), Unordered(fresh.GetCandidates()[s]));
}

TEST_F(CollisionMgr, AddingAVirtualToothSplicesItIntoEveryList)
{
    SchemeCase c({17, 16, 15, 46, 47});
    c.scheme->SetExtracted(c.Tooth(16), true);
    GiveSteps(*c.scheme, 5);
    QvCollisionDetectMgr mgr;
    mgr.SetScheme(c.scheme.get());
    MarkClean(mgr);

    QvVirtualTooth* v = c.AddVirtualTooth(16, Identity());
    v->m_nKind = 2;
    v->m_nStartStep = 3;
    mgr.AddVirtualTooth(c.Tooth(17)); // not a virtual tooth: nothing
    mgr.AddVirtualTooth(v);
    QvCollisionDetectMgr fresh;
    fresh.SetScheme(c.scheme.get());
    for (std::size_t s = 0; s < 5; ++s)
    {
        SCOPED_TRACE(s);
        const CandidateList& list = mgr.GetCandidates()[s];
        EXPECT_EQ(Unordered(list), Unordered(fresh.GetCandidates()[s]));
        EXPECT_EQ(list.size(), fresh.GetCandidates()[s].size());
        EXPECT_EQ(FindPair(list, c.Tooth(17), c.Tooth(15)) != nullptr, s < 3);
        for (const Candidate& cand : list)
            EXPECT_EQ(cand.m_bDirty, cand.HasTooth(v));
    }
}

TEST_F(CollisionMgr, AttachmentsMeetTheTeethOfTheOtherJaw)
{
    QvEnsureSchemeFileLink();
    // A standard attachment on 11 reaching 0.2 into 41; a lingual button that would
    // reach as deep, but is not of the standard kinds. Turned a little, so that no grid
    // line of one lies on a grid line of the other (the inside test casts along them).
    QvAttachGeoStd standard;
    qvcontacttest::FillGridBox(standard, QvPoint(-0.5, -0.5, -1.3), QvPoint(0.5, 0.5, 0.0), 4);
    QvAttachGeoLingualButton button;
    FillBox(button, QvPoint(-0.5, -0.5, -1.3), QvPoint(0.5, 0.5, 0.0));
    SchemeCase c(std::vector<int>{});
    QvTooth* t11 = BoxTooth(c, 11, QvPoint(-3.0, -1.0, -0.5), QvPoint(0.0, 1.0, 0.5));
    QvTooth* t41 = GridTooth(c, 41, QvPoint(-3.0, -1.0, -2.5), QvPoint(0.0, 1.0, -1.5));
    BoxTooth(c, 21, QvPoint(0.5, -1.0, -0.5), QvPoint(3.5, 1.0, 0.5));
    GiveSteps(*c.scheme, 2);
    auto* attachment = new QvAttachment(&standard);
    attachment->m_pTooth = t11;
    attachment->m_matrix = qvtest::Rigid(QvVector(0.0, 0.0, 1.0), 0.2, QvVector(-1.4, 0.05, -0.4));
    attachment->m_nFirstStep = 0;
    attachment->m_nLastStep = 0;
    c.scheme->AddAttachment(t11, attachment);
    auto* other = new QvAttachment(&button);
    other->m_pTooth = t11;
    other->m_matrix = Translation(-1.5, 0.0, -0.4);
    other->m_nFirstStep = 0;
    other->m_nLastStep = 1;
    c.scheme->AddAttachment(t11, other);

    QvCollisionDetectMgr mgr;
    mgr.SetScheme(c.scheme.get());
    mgr.BuildAttCandidates();
    ASSERT_EQ(mgr.GetAttCandidates().size(), 2u);
    ASSERT_EQ(mgr.GetAttCandidates()[0].size(), 1u);
    EXPECT_TRUE(mgr.GetAttCandidates()[1].empty());
    const AttCandidate& cand = mgr.GetAttCandidates()[0][0];
    EXPECT_EQ(cand.m_pTooth, t41);
    EXPECT_EQ(cand.m_pAttachment, attachment);

    std::vector<QvGapInfo*> out;
    mgr.GetStepAttContacts(2, out);
    EXPECT_TRUE(out.empty());
    mgr.GetStepAttContacts(0, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]->m_nKind, kQvGapKindContact);
    EXPECT_NEAR(out[0]->m_dDistance, 0.2, 0.1);
    EXPECT_FALSE(cand.m_bDirty);
    std::vector<QvGapInfo*> again;
    mgr.GetStepAttContacts(0, again);
    EXPECT_EQ(again, out);

    // Copies carry their own result; rebuilding starts over.
    AttCandidate copied(cand);
    ASSERT_NE(copied.GetResult(), nullptr);
    EXPECT_NE(copied.GetResult(), cand.GetResult());
    mgr.BuildAttCandidates();
    EXPECT_TRUE(mgr.GetAttCandidates()[0][0].m_bDirty);
    c.scheme.reset();
}

} // namespace
