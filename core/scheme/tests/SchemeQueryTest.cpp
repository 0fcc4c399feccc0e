// SPDX-License-Identifier: GPL-3.0-or-later
// Placement queries, step counts, plain insertion, clearing and deep copy.
#include <gtest/gtest.h>

#include <random>

#include "SchemeFixtures.h"

namespace {

using namespace qvschemetest;

// The placement rule written out independently: lists scanned backwards from the
// step (or the last list), by walking every step of each list; then any initial step.
const QvTreatStep* BruteForceFind(const QvScheme& scheme, int step, const QvToothBase* tooth)
{
    if (step < 0 || !tooth)
        return nullptr;
    const auto& lists = scheme.m_stepLists;
    for (int i = std::min<int>(step, static_cast<int>(lists.size()) - 1); i >= 0; --i)
        for (const QvTreatStep* s : lists[static_cast<std::size_t>(i)]->m_steps)
            if (s->m_pTooth == tooth)
                return s;
    for (const QvTreatStepList* list : lists)
        for (const QvTreatStep* s : list->m_steps)
            if (s->m_pTooth == tooth)
            {
                if (s->m_nType == kQvStepInitial)
                    return s;
                break;
            }
    return nullptr;
}

TEST(SchemeQuery, FindStepKeepsTheLastStepAtOrBefore)
{
    SchemeCase c;
    QvScheme& s = *c.scheme;
    QvTooth* t = c.teeth[0];
    QvTreatStep* initial = s.InsertTreatStep(t, 0, kQvStepInitial);
    QvTreatStep* key = s.InsertTreatStep(t, 5, kQvStepKey);
    QvTreatStep* last = s.InsertTreatStep(t, 10, kQvStepFinal);
    s.InsertTreatStep(c.teeth[1], 12, kQvStepFinal); // lists reach beyond the tooth's final
    for (int step = -1; step <= 15; ++step)
    {
        const QvTreatStep* expected = step < 0 ? nullptr : step < 5 ? initial : step < 10 ? key : last;
        EXPECT_EQ(s.FindStep(step, t), expected) << step;
    }
    EXPECT_EQ(s.FindStep(3, nullptr), nullptr);
    EXPECT_EQ(s.FindStep(3, c.teeth[2]), nullptr);

    // An initial step standing in a later list still places the tooth before it.
    QvTreatStep* late = s.InsertTreatStep(c.teeth[2], 3, kQvStepInitial);
    EXPECT_EQ(s.FindStep(1, c.teeth[2]), late);
}

TEST(SchemeQuery, FindStepEqualsTheBruteForceRuleOnRandomSchemes)
{
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round)
    {
        SchemeCase c({11, 12, 13, 21, 22, 31, 32, 41, 42});
        QvScheme& s = *c.scheme;
        const int lists = 1 + static_cast<int>(random() % 30);
        for (QvTooth* tooth : c.teeth)
        {
            // Some teeth start late, some never start; steps are sparse.
            const int start = static_cast<int>(random() % 4) == 0 ? static_cast<int>(random() % lists) : 0;
            if (random() % 10 != 0)
                s.InsertTreatStep(tooth, start, kQvStepInitial);
            for (int k = 0; k < lists; ++k)
                if (k != start && random() % 3 == 0)
                    s.InsertTreatStep(tooth, k, 1 + static_cast<int>(random() % 7));
        }
        for (QvTooth* tooth : c.teeth)
            for (int step = -2; step < lists + 5; ++step)
                ASSERT_EQ(s.FindStep(step, tooth), BruteForceFind(s, step, tooth)) << round << " " << step;
    }
}

TEST(SchemeQuery, StepCountsOfAScheme)
{
    SchemeCase c({11, 21, 31, 41});
    QvScheme& s = *c.scheme;
    for (QvTooth* tooth : c.teeth)
        s.InsertTreatStep(tooth, 0, kQvStepInitial);
    EXPECT_EQ(s.GetJawStepCount(true), 1); // nothing moves yet
    s.InsertTreatStep(c.Tooth(11), 20, kQvStepFinal);
    s.InsertTreatStep(c.Tooth(31), 24, kQvStepFinal);
    s.InsertTreatStep(c.Tooth(41), 27, kQvStepOverCorrectionEnd);
    s.InsertTreatStep(c.Tooth(21), 26, kQvStepOverCorrectionEnd);
    EXPECT_EQ(s.GetStepCount(), 28);
    EXPECT_EQ(s.GetTreatStepCount(), 25);
    EXPECT_EQ(s.GetOverCorrectionStepCount(false), 3);
    EXPECT_EQ(s.GetOverCorrectionStepCount(true), 2);
    EXPECT_EQ(s.GetJawStepCount(true), 27);
    EXPECT_EQ(s.GetJawStepCount(false), 28);
    EXPECT_EQ(s.GetJawLastStep(true), 20);
    EXPECT_EQ(s.GetJawLastStep(false), 24);
    EXPECT_EQ(s.GetLowerJawFinalStep(), 24);
    EXPECT_EQ(s.GetOverCorrectionCount(), 3);
    EXPECT_EQ(s.GetMaxListSize(), 4);
    EXPECT_EQ(s.FindOverCorrectionEnd(c.Tooth(41))->m_nStep, 27);

    // Trailing empty lists do not count.
    QvScheme t;
    t.InsertTreatStep(c.Tooth(11), 6, kQvStepKey);
    t.InsertTreatStep(c.Tooth(21), 9, kQvStepKey);
    t.m_stepLists[9]->RemoveStep(t.m_stepLists[9]->m_steps[0]);
    EXPECT_EQ(t.m_stepLists.size(), 10u);
    EXPECT_EQ(t.GetStepCount(), 7);
    EXPECT_EQ(t.GetTreatStepCount(), 0);
    EXPECT_EQ(t.GetOverCorrectionStepCount(true), 0);
    EXPECT_EQ(t.GetJawLastStep(true), 0);
    EXPECT_EQ(t.GetOverCorrectionCount(), 7);
}

TEST(SchemeQuery, KeyStepSearchesLookStrictlyBeforeOrAfter)
{
    SchemeCase c;
    QvScheme& s = *c.scheme;
    QvTooth* t = c.teeth[0];
    QvTreatStep* initial = s.InsertTreatStep(t, 0, kQvStepInitial);
    s.InsertTreatStep(t, 1, kQvStepMoving);
    QvTreatStep* key = s.InsertTreatStep(t, 2, kQvStepKey);
    s.InsertTreatStep(t, 3, kQvStepHold);
    QvTreatStep* last = s.InsertTreatStep(t, 4, kQvStepFinal);
    QvTreatStep* over = s.InsertTreatStep(t, 6, kQvStepOverCorrectionEnd);
    struct Case
    {
        int step;
        const QvTreatStep* previous;
        const QvTreatStep* next;
    };
    const Case cases[] = {{-1, nullptr, key}, {0, nullptr, key}, {1, initial, key},
                          {2, initial, last}, {3, key, last}, {4, key, over}, {6, last, nullptr},
                          {40, last, nullptr}};
    for (const Case& k : cases)
    {
        EXPECT_EQ(s.FindPrevKeyStep(k.step, t), k.previous) << k.step;
        EXPECT_EQ(s.FindNextKeyStep(k.step, t), k.next) << k.step;
    }
    EXPECT_EQ(s.GetInitialStep(t), initial);
    EXPECT_EQ(s.FindFinalStep(t), last);
    EXPECT_EQ(s.GetTreatStep(3, t)->m_nType, kQvStepHold);
    EXPECT_EQ(s.GetTreatStep(5, t), nullptr);
    EXPECT_EQ(s.GetTreatStep(99, t), nullptr);
}

TEST(SchemeQuery, InsertionRefusesASecondStepAndNewListsCopyTheLastJaw)
{
    SchemeCase c;
    QvScheme& s = *c.scheme;
    s.InsertTreatStep(c.teeth[0], 1, kQvStepKey);
    s.m_stepLists[1]->m_jawMatrix = Translation(0, 0, 1);
    s.m_stepLists[1]->m_bBite = true;
    testing::internal::CaptureStdout();
    EXPECT_EQ(s.InsertTreatStep(c.teeth[0], 1, kQvStepFinal), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "add treatstep failed, find same step for same tooth! memory maybe leak!!!\n");
    EXPECT_EQ(s.InsertTreatStep(nullptr, 1, kQvStepFinal), nullptr);
    EXPECT_EQ(s.InsertTreatStep(c.teeth[0], -1, kQvStepFinal), nullptr);

    s.InsertTreatStep(c.teeth[1], 3, kQvStepFinal);
    ASSERT_EQ(s.m_stepLists.size(), 4u);
    EXPECT_TRUE(Near(s.m_stepLists[0]->m_jawMatrix, Identity(), 0));
    EXPECT_TRUE(Near(s.m_stepLists[3]->m_jawMatrix, Translation(0, 0, 1), 0));
    EXPECT_FALSE(s.m_stepLists[3]->m_bBite);

    // InsertStep files a step by its own number and leaves a refused one alone.
    auto* loose = new QvTreatStep(c.teeth[0], 3, kQvStepFinal, Identity());
    EXPECT_EQ(s.InsertStep(loose), loose);
    auto* twin = new QvTreatStep(c.teeth[0], 3, kQvStepKey, Identity());
    EXPECT_EQ(s.InsertStep(twin), nullptr);
    EXPECT_EQ(twin->m_pStepList, nullptr);
    delete twin;
    auto* far = new QvTreatStep(c.teeth[0], 6, kQvStepOverCorrectionEnd, Identity());
    EXPECT_EQ(s.InsertStep(far), far);
    EXPECT_EQ(s.m_stepLists.size(), 7u);
    EXPECT_TRUE(Consistent(s));
}

TEST(SchemeQuery, InitialStepsSkipExtractedAndHiddenTeeth)
{
    SchemeCase c({11, 21, 31, 41});
    QvScheme& s = *c.scheme;
    s.m_extractedTeeth.insert(c.Tooth(21));
    s.m_hiddenTeeth.insert(c.Tooth(31));
    s.InsertTreatStep(c.Tooth(41), 0, kQvStepKey);
    testing::internal::CaptureStdout();
    s.CreateInitialSteps();
    EXPECT_FALSE(testing::internal::GetCapturedStdout().empty()); // 41 already has a step at 0
    EXPECT_EQ(StepsOf(s, c.Tooth(11)), (std::vector<std::pair<int, int>>{{0, kQvStepInitial}}));
    EXPECT_TRUE(StepsOf(s, c.Tooth(21)).empty());
    EXPECT_TRUE(StepsOf(s, c.Tooth(31)).empty());
    EXPECT_EQ(StepsOf(s, c.Tooth(41)), (std::vector<std::pair<int, int>>{{0, kQvStepKey}}));
    EXPECT_TRUE(s.m_hiddenTeeth.empty());

    std::vector<QvToothBase*> teeth;
    s.GetTeeth(teeth);
    EXPECT_EQ(teeth, (std::vector<QvToothBase*>{c.Tooth(11), c.Tooth(31), c.Tooth(41)}));
}

// A collision store of the tests: remembers its teeth and whether it was cleared.
class FakeStore : public QvSchemeStore
{
public:
    void Clear() override { teeth.clear(); }
    std::unique_ptr<QvSchemeStore> CloneFor(QvScheme& target, const QvToothCloneMap* clones) const override
    {
        auto copy = std::make_unique<FakeStore>();
        copy->scheme = &target;
        for (QvToothBase* tooth : teeth)
        {
            const auto it = clones ? clones->find(tooth) : QvToothCloneMap::const_iterator();
            copy->teeth.push_back(clones && it != clones->end() ? it->second : tooth);
        }
        return copy;
    }
    std::vector<QvToothBase*> teeth;
    QvScheme* scheme = nullptr;
};

TEST(SchemeCopy, CopiesStepsSetsAndTargetsAndClonesVirtualTeeth)
{
    SchemeCase c({11, 21, 31, 41});
    QvScheme& source = *c.scheme;
    QvVirtualTooth* pontic = c.AddVirtualTooth(36, Translation(0, 1, 0));
    source.m_strName = "plan";
    source.m_strText1 = "one";
    source.m_strText2 = "two";
    source.m_nValue = 42;
    source.m_extractedTeeth.insert(c.Tooth(21));
    source.m_hiddenTeeth.insert(c.Tooth(31));
    source.InsertTreatStep(c.Tooth(11), 0, kQvStepInitial);
    source.InsertTreatStep(pontic, 0, kQvStepInitial);
    source.InsertTreatStep(pontic, 4, kQvStepFinal, Translation(1, 2, 3));
    source.InsertTreatStep(c.Tooth(11), 4, kQvStepFinal, Translation(3, 2, 1));
    source.m_stepLists[4]->m_jawMatrix = Translation(0, 0, 2);
    source.GetTargetMgr().Capture(3);
    source.m_gumMgr.SetGumFrame(QvFrame(QvPoint(1, 1, 1), QvVector(1, 0, 0), QvVector(0, 0, 1)), true);
    auto store = std::make_unique<FakeStore>();
    store->teeth = {c.Tooth(11), pontic};
    source.SetCollisionStore(std::move(store));

    QvScheme copy;
    copy.m_strText2 = "mine";
    copy.CopyFrom(source, true);
    EXPECT_EQ(copy.m_strName, "plan");
    EXPECT_EQ(copy.m_strText1, "one");
    EXPECT_EQ(copy.m_strText2, "mine");
    EXPECT_EQ(copy.m_nValue, 42);
    EXPECT_EQ(copy.GetModel(), &c.model);
    EXPECT_EQ(copy.m_extractedTeeth, source.m_extractedTeeth);
    EXPECT_EQ(copy.m_hiddenTeeth, source.m_hiddenTeeth);
    ASSERT_EQ(copy.m_virtualTeeth.size(), 1u);
    QvToothBase* clone = copy.m_virtualTeeth[0];
    EXPECT_NE(clone, pontic);
    EXPECT_NE(clone->GetID(), pontic->GetID());
    EXPECT_EQ(c.model.FindEntity(clone->GetID()), nullptr);
    for (const QvTreatStepList* list : copy.m_stepLists)
        for (const QvTreatStep* step : list->m_steps)
        {
            EXPECT_NE(step->m_pTooth, pontic);
            EXPECT_NE(list, source.m_stepLists[static_cast<std::size_t>(step->m_nStep)]);
        }
    EXPECT_TRUE(Near(copy.FindStep(9, clone)->m_matrix, Translation(1, 2, 3), 0));
    EXPECT_EQ(copy.FindStep(9, c.Tooth(11))->m_nType, kQvStepFinal);
    EXPECT_TRUE(Near(copy.m_stepLists[4]->m_jawMatrix, Translation(0, 0, 2), 0));
    EXPECT_EQ(copy.GetTargetMgr().GetEntries().size(), 1u);
    EXPECT_EQ(copy.GetTargetMgr().GetOwner(), &copy);
    EXPECT_EQ(copy.m_gumMgr.GetGumFrame(true).m_centre, QvPoint(1, 1, 1));
    auto* copiedStore = dynamic_cast<FakeStore*>(copy.GetCollisionStore());
    ASSERT_NE(copiedStore, nullptr);
    EXPECT_EQ(copiedStore->scheme, &copy);
    EXPECT_EQ(copiedStore->teeth, (std::vector<QvToothBase*>{c.Tooth(11), clone}));
    EXPECT_TRUE(Consistent(copy));

    // Without cloning, the copy's steps share the source's virtual teeth.
    QvScheme shared;
    shared.CopyFrom(source, false);
    EXPECT_TRUE(shared.m_virtualTeeth.empty());
    EXPECT_EQ(shared.FindStep(4, pontic)->m_nType, kQvStepFinal);

    // A scheme copied into itself stays as it was.
    copy.CopyFrom(copy, true);
    EXPECT_EQ(copy.m_virtualTeeth.size(), 1u);
    EXPECT_EQ(copy.GetStepCount(), 5);
}

TEST(SchemeCopy, ClearUnregistersAndDeletesOnlyItsOwnVirtualTeeth)
{
    SchemeCase c({11, 31});
    QvScheme& s = *c.scheme;
    QvVirtualTooth* pontic = c.AddVirtualTooth(36, Identity());
    c.model.AddEntity(pontic);
    ASSERT_EQ(c.model.FindEntity(pontic->GetID()), pontic);
    s.InsertTreatStep(c.Tooth(11), 0, kQvStepInitial);
    s.m_extractedTeeth.insert(c.Tooth(31));
    s.GetTargetMgr().Capture(3);
    s.Clear(false);
    EXPECT_TRUE(s.m_stepLists.empty());
    EXPECT_TRUE(s.m_extractedTeeth.empty());
    EXPECT_TRUE(s.GetTargetMgr().GetEntries().empty());
    EXPECT_EQ(s.GetModel(), nullptr);
    EXPECT_EQ(s.m_virtualTeeth.size(), 1u);
    s.SetModel(&c.model);
    const int id = pontic->GetID();
    s.Clear(true);
    EXPECT_TRUE(s.m_virtualTeeth.empty());
    EXPECT_EQ(c.model.FindEntity(id), nullptr);
    EXPECT_TRUE(c.model.m_virtualTeeth.empty());
}

} // namespace
