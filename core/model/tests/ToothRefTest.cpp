// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"
#include "testing/ByteSweep.h"
#include "testing/MeshFixtures.h"

namespace {

QvFeaturePoint Feature(int vertex, int key, const QvPoint& position = QvPoint())
{
    QvFeaturePoint point(vertex);
    point.m_nKey = key;
    point.m_position = position;
    return point;
}

std::string BytesOf(const QvToothRef& ref, int version)
{
    return qvtest::BytesOf([&](std::ostream& os) { ref.Write(os, version); });
}

class ToothRefs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QvEntity::SetNextId(100);
        tooth = NewTooth(11);
        model.AddEntity(tooth);
        twin = NewTooth(11);
    }
    void TearDown() override
    {
        delete twin;
        QvEntity::SetNextId(100);
    }

    // A 5 x 5 grid crown: vertex j * 5 + i at (i, j, 0).
    static QvTooth* NewTooth(int fdi)
    {
        auto* t = new QvTooth();
        t->CopyMeshData(qvtest::MakeGrid(5, 5));
        t->SetFdi(fdi);
        return t;
    }

    // Reference data with every part filled; stored positions differ from the vertices.
    void Fill(QvToothRef& ref) const
    {
        ref.m_facc.m_vertices = {2, 22};
        ref.m_facc.m_pCurve =
            QvBSplineCurve::FromEndTangents(QvPoint(2, 0, 0), QvPoint(2, 4, 0), QvVector(0, 1, 1), QvVector(0, 1, -1));
        ref.m_midCurve.m_vertices = {10, 12, 14};
        ref.m_featurePoints = {Feature(7, 1, QvPoint(9, 9, 9)), Feature(17, 2, QvPoint(8, 8, 8))};
    }

    QvModel model;
    QvTooth* tooth = nullptr; // owned by the model
    QvTooth* twin = nullptr;  // same mesh, outside the model
};

TEST_F(ToothRefs, NewFormRestoresIndicesAndTakesPositionsFromTheTooth)
{
    QvToothRef ref(tooth);
    Fill(ref);
    for (int version : {1041, 1043, 2054})
    {
        std::istringstream in(BytesOf(ref, version));
        QvToothRef back(twin);
        ASSERT_TRUE(back.Read(in, version, &model)) << version;
        EXPECT_EQ(in.peek(), std::char_traits<char>::eof());
        EXPECT_EQ(back.GetTooth(), twin);
        EXPECT_EQ(back.m_facc.m_vertices, (std::vector<int>{2, 22}));
        ASSERT_NE(back.m_facc.m_pCurve, nullptr);
        EXPECT_EQ(back.m_facc.m_pCurve->m_ctrlPoints.size(), ref.m_facc.m_pCurve->m_ctrlPoints.size());
        EXPECT_TRUE(back.m_facc.m_pCurve->Evaluate(0.5) == ref.m_facc.m_pCurve->Evaluate(0.5));
        EXPECT_EQ(back.m_midCurve.m_vertices, (std::vector<int>{10, 12, 14}));
        ASSERT_EQ(back.m_featurePoints.size(), 2u);
        EXPECT_EQ(back.GetFeatureVertex(1), 7);
        EXPECT_EQ(back.GetFeatureVertex(2), 17);
        EXPECT_TRUE(back.FindFeaturePoint(1)->m_position == QvPoint(2, 1, 0));
        EXPECT_TRUE(back.FindFeaturePoint(2)->m_position == QvPoint(2, 3, 0));
        EXPECT_TRUE(back.HasFacc());
        EXPECT_TRUE(back.HasMidCurve());
    }
}

TEST_F(ToothRefs, OldFormBindsTheToothAndKeepsStoredPositions)
{
    QvToothRef ref(tooth);
    Fill(ref);
    for (int version : {1025, 1040, 2049, 2053})
    {
        std::istringstream in(BytesOf(ref, version));
        auto* back = new QvToothRef();
        ASSERT_TRUE(back->Read(in, version, &model)) << version;
        EXPECT_EQ(in.peek(), std::char_traits<char>::eof());
        EXPECT_EQ(back->GetTooth(), tooth);
        EXPECT_EQ(tooth->GetToothRef(), back); // the tooth owns it now
        // The old form has no indices: the FACC keeps its curve only.
        EXPECT_FALSE(back->HasFacc());
        ASSERT_NE(back->m_facc.m_pCurve, nullptr);
        EXPECT_TRUE(back->m_facc.m_pCurve->Evaluate(0.25) == ref.m_facc.m_pCurve->Evaluate(0.25));
        EXPECT_FALSE(back->HasMidCurve());
        ASSERT_EQ(back->m_featurePoints.size(), 2u);
        EXPECT_TRUE(back->FindFeaturePoint(1)->m_position == QvPoint(9, 9, 9));
        EXPECT_TRUE(back->FindFeaturePoint(2)->m_position == QvPoint(8, 8, 8));
        EXPECT_EQ(back->GetFeatureVertex(2), 0);
    }
}

TEST_F(ToothRefs, OldFormOfAToothLeftOutOfMeasurementsEndsAfterTheState)
{
    tooth->SetState(4);
    QvToothRef ref(tooth);
    Fill(ref);
    const std::string bytes = BytesOf(ref, 1040);
    EXPECT_EQ(bytes.size(), 12u);

    // Found: bound. Not found: still a success, unbound.
    std::istringstream in(bytes);
    auto* bound = new QvToothRef();
    ASSERT_TRUE(bound->Read(in, 1040, &model));
    EXPECT_EQ(tooth->GetToothRef(), bound);

    QvModel empty;
    std::istringstream again(bytes);
    QvToothRef unbound;
    ASSERT_TRUE(unbound.Read(again, 1040, &empty));
    EXPECT_EQ(unbound.GetTooth(), nullptr);
    EXPECT_EQ(again.peek(), std::char_traits<char>::eof());
}

TEST_F(ToothRefs, OldFormForAMissingToothFailsAndBindsNothing)
{
    QvToothRef ref(twin);
    Fill(ref);
    twin->SetFdi(21); // not in the model
    std::istringstream in(BytesOf(ref, 1040));
    QvToothRef back;
    EXPECT_FALSE(back.Read(in, 1040, &model));
    EXPECT_EQ(back.GetTooth(), nullptr);
    EXPECT_TRUE(back.m_featurePoints.empty());
    EXPECT_EQ(tooth->GetToothRef(), nullptr);
}

TEST_F(ToothRefs, VersionsWithoutAForm)
{
    QvToothRef ref(tooth);
    Fill(ref);
    for (int version : {1044, 0x413 + 1, 2055, 0x2007, 0x8005, 0x107, 0})
    {
        EXPECT_TRUE(BytesOf(ref, version).empty()) << version;
        std::istringstream in(BytesOf(ref, 1043));
        QvToothRef back(twin);
        EXPECT_FALSE(back.Read(in, version, &model)) << version;
    }
    // The new form needs the tooth the indices belong to.
    std::istringstream in(BytesOf(ref, 1043));
    QvToothRef unbound;
    EXPECT_FALSE(unbound.Read(in, 1043, &model));
}

TEST_F(ToothRefs, EmptyCurvesStillReadTheWholeRecord)
{
    QvToothRef ref(tooth);
    ref.m_featurePoints = {Feature(3, 1), Feature(4, 2)};
    std::istringstream in(BytesOf(ref, 1043));
    QvToothRef back(twin);
    back.m_midCurve.m_vertices = {1, 2, 3};
    ASSERT_TRUE(back.Read(in, 1043, &model));
    EXPECT_EQ(in.peek(), std::char_traits<char>::eof());
    EXPECT_FALSE(back.HasFacc());
    EXPECT_EQ(back.m_midCurve.m_vertices, (std::vector<int>{1, 2, 3})); // an empty list keeps what was there
    EXPECT_EQ(back.GetFeatureVertex(2), 4);
}

TEST_F(ToothRefs, IndicesOutsideTheToothRejectTheRecord)
{
    struct Case
    {
        const char* what;
        void (*spoil)(QvToothRef&);
    };
    const std::vector<Case> cases = {
        {"facc", [](QvToothRef& r) { r.m_facc.m_vertices[1] = 25; }},
        {"mid curve", [](QvToothRef& r) { r.m_midCurve.m_vertices[2] = 25; }},
        {"feature point", [](QvToothRef& r) { r.m_featurePoints[1].m_nVertex = -1; }},
    };
    for (const Case& c : cases)
    {
        QvToothRef ref(tooth);
        Fill(ref);
        c.spoil(ref);
        std::istringstream in(BytesOf(ref, 1043));
        QvToothRef back(twin);
        back.m_featurePoints = {Feature(5, 3)};
        EXPECT_FALSE(back.Read(in, 1043, &model)) << c.what;
        EXPECT_TRUE(back.m_facc.m_vertices.empty()) << c.what;
        EXPECT_TRUE(back.m_midCurve.m_vertices.empty()) << c.what;
        EXPECT_EQ(back.GetFeatureVertex(3), 5) << c.what;
    }
}

TEST_F(ToothRefs, ReadersSurviveDamage)
{
    QvToothRef ref(tooth);
    Fill(ref);
    qvtest::ExpectReaderSurvivesDamage(BytesOf(ref, 1043), [&](std::istream& is) {
        QvToothRef back(twin);
        return back.Read(is, 1043, &model);
    });
    qvtest::ExpectReaderSurvivesDamage(BytesOf(ref, 1040), [&](std::istream& is) {
        auto* back = new QvToothRef();
        const bool ok = back->Read(is, 1040, &model);
        if (!ok)
        {
            EXPECT_NE(tooth->GetToothRef(), back);
        }
        // A bound reference belongs to its tooth from then on.
        if (!ok || back->GetTooth() == nullptr)
            delete back;
        return ok;
    });
    for (int version : {1040, 1043})
    {
        const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { ref.m_featurePoints[0].Write(os, version); });
        qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& is) {
            QvFeaturePoint point;
            return point.Read(is, twin, version);
        });
    }
}

TEST_F(ToothRefs, UnversionedForms)
{
    QvToothRef ref(tooth);
    Fill(ref);
    EXPECT_EQ(qvtest::BytesOf([&](std::ostream& os) { ref.WriteNewForm(os); }), BytesOf(ref, 1043));

    // The flagged form has no room for the curves: a reference with a FACC is written
    // with its flags and feature points, but reading it back fails at the set flag.
    tooth->SetFdi(16);
    ref.m_featurePoints = {Feature(1, 3), Feature(2, 4), Feature(3, 5), Feature(4, 6)};
    const std::string flagged = qvtest::BytesOf([&](std::ostream& os) { ref.WriteFlagged(os); });
    EXPECT_EQ(flagged.size(), 4u + 4u + 4u + 4u * 8u);
    std::istringstream in(flagged);
    QvToothRef back(twin);
    EXPECT_FALSE(back.ReadFlagged(in));

    QvToothRef bare(tooth);
    const std::string renumbered = qvtest::BytesOf([&](std::ostream& os) { bare.WriteRenumbered(os); });
    EXPECT_EQ(renumbered.size(), 4u * 5u); // id, FDI, state, no pairs, FACC flag 0
    // Pairs renumber what the reference holds.
    const std::string withPairs = qvtest::BytesOf([](std::ostream& os) {
        for (std::int32_t v : {0, 16, 1, 2, 7, 70, 12, 120, 0})
            qvio::WriteI32(os, v);
    });
    QvToothRef target(twin);
    Fill(target);
    std::istringstream pairs(withPairs);
    ASSERT_TRUE(target.ReadRenumbered(pairs));
    EXPECT_EQ(target.GetFeatureVertex(1), 70);
    EXPECT_EQ(target.m_midCurve.m_vertices, (std::vector<int>{120})); // unmapped indices drop out
    EXPECT_EQ(target.m_facc.m_vertices, (std::vector<int>{2, 22}));   // both ends must map
    qvtest::ExpectReaderSurvivesDamage(withPairs, [&](std::istream& is) {
        QvToothRef r(twin);
        return r.ReadRenumbered(is);
    });
}

TEST_F(ToothRefs, LookupsAndPresenceTests)
{
    QvToothRef ref(tooth);
    const std::vector<std::pair<std::vector<int>, bool>> faccs = {{{}, false}, {{1}, false}, {{1, 2}, true}, {{1, 2, 3}, false}};
    for (const auto& [list, expected] : faccs)
    {
        ref.m_facc.m_vertices = list;
        EXPECT_EQ(ref.HasFacc(), expected) << list.size();
    }
    const std::vector<std::pair<std::vector<int>, bool>> mids = {{{1, 2}, false}, {{1, 2, 3}, true}, {{1, 2, 3, 4}, true}};
    for (const auto& [list, expected] : mids)
    {
        ref.m_midCurve.m_vertices = list;
        EXPECT_EQ(ref.HasMidCurve(), expected) << list.size();
    }

    ref.m_featurePoints = {Feature(4, 3), Feature(8, 2), Feature(9, 3)};
    EXPECT_EQ(ref.GetFeatureVertex(3), 4); // the first of two with the same key
    EXPECT_EQ(ref.FindFeaturePoint(3), &ref.m_featurePoints[0]);
    EXPECT_EQ(ref.GetFeatureVertex(5), -1);
    EXPECT_EQ(ref.FindFeaturePoint(5), nullptr);

    EXPECT_TRUE(ref.GetVertex(24) == QvPoint(4, 4, 0));
    EXPECT_TRUE(ref.GetVertex(25) == QvPoint());
    EXPECT_TRUE(ref.GetVertex(-1) == QvPoint());
    EXPECT_TRUE(QvToothRef().GetVertex(0) == QvPoint());
}

TEST_F(ToothRefs, ClearAndFeatureEditing)
{
    QvToothRef ref(tooth);
    Fill(ref);
    ref.Clear(7);
    EXPECT_TRUE(ref.HasFacc());
    ref.Clear(2);
    EXPECT_TRUE(ref.m_midCurve.m_vertices.empty());
    EXPECT_TRUE(ref.HasFacc());
    ref.Clear(1);
    EXPECT_FALSE(ref.HasFacc());
    EXPECT_EQ(ref.m_facc.m_pCurve, nullptr);
    ref.Clear(3);
    EXPECT_TRUE(ref.m_featurePoints.empty());

    ref.AddFeaturePoint(tooth->m_vertices[6]);
    ref.AddFeaturePoint(tooth->m_vertices[8]);
    ref.ReplaceFeatureVertex(tooth->m_vertices[8], tooth->m_vertices[9]);
    EXPECT_EQ(ref.GetFeatureVertices(), (std::vector<int>{6, 9}));
    EXPECT_EQ(ref.m_featurePoints[0].m_nKey, 1);
    ref.RemoveFeaturePoint(tooth->m_vertices[6]);
    ref.RemoveFeaturePoint(tooth->m_vertices[6]);
    EXPECT_EQ(ref.GetFeatureVertices(), (std::vector<int>{9}));
    Fill(ref);
    ref.Clear(0);
    EXPECT_FALSE(ref.HasFacc());
    EXPECT_FALSE(ref.HasMidCurve());
    EXPECT_TRUE(ref.m_featurePoints.empty());
}

TEST_F(ToothRefs, CompletenessFollowsTheToothKind)
{
    struct Case
    {
        int fdi;
        std::size_t points;
        bool complete;
        bool odd;
    };
    const std::vector<Case> cases = {
        {11, 1, true, true}, {11, 2, false, true}, {23, 2, true, false}, {34, 2, true, true},
        {46, 4, true, false}, {46, 3, false, false}, {19, 1, false, true}, {55, 2, true, true},
    };
    for (const Case& c : cases)
    {
        tooth->SetFdi(c.fdi);
        QvToothRef ref(tooth);
        Fill(ref);
        ref.m_featurePoints.resize(c.points);
        EXPECT_EQ(ref.IsComplete(), c.complete) << c.fdi << " " << c.points;
        EXPECT_EQ(ref.IsOddQuadrant(), c.odd) << c.fdi;
    }
    QvToothRef unbound;
    EXPECT_FALSE(unbound.HasAllFeaturePoints());
    EXPECT_FALSE(unbound.IsOddQuadrant());
}

// Loose vertices: the FACC from 0 to 1, the mid curve's second vertex 2, so that the
// crown plane is z = 0; feature points at vertices 3 to 6.
class FeatureKeys : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const QvPoint& p : {QvPoint(0, 0, 0), QvPoint(0, 10, 0), QvPoint(5, 0, 0), QvPoint(1, 0, 2),
                                 QvPoint(1, 1, -1), QvPoint(8, 0, 1), QvPoint(8, 1, 3)})
            tooth.AddVertex(p);
        ref.SetTooth(&tooth);
        ref.m_facc.m_vertices = {0, 1};
        ref.m_midCurve.m_vertices = {1, 2, 1};
    }
    std::vector<int> Keys() const
    {
        std::vector<int> keys;
        for (const QvFeaturePoint& p : ref.m_featurePoints)
            keys.push_back(p.m_nKey);
        return keys;
    }

    QvTooth tooth;
    QvToothRef ref;
};

TEST_F(FeatureKeys, AssignmentByKindDistanceAndHeight)
{
    struct Case
    {
        int fdi;
        std::vector<int> vertices;
        QvVector direction;
        std::vector<int> keys;
    };
    const std::vector<Case> cases = {
        {11, {5}, QvVector(0, 0, 1), {1}},
        {14, {3, 5}, QvVector(0, 0, 1), {2, 1}},    // the nearer point takes 2
        {13, {5, 3}, QvVector(0, 0, 1), {1, 2}},
        // Molars: nearest pair (4, 3), farthest pair (5, 6); the higher point of each pair
        // over the crown plane, turned towards the direction, takes the lower key.
        {16, {3, 4, 5, 6}, QvVector(0, 0, 1), {3, 4, 6, 5}},
        {16, {3, 4, 5, 6}, QvVector(0, 0, -1), {4, 3, 5, 6}},
    };
    for (const Case& c : cases)
    {
        tooth.SetFdi(c.fdi);
        ref.m_featurePoints.clear();
        for (int v : c.vertices)
            ref.m_featurePoints.push_back(Feature(v, 9));
        ASSERT_TRUE(ref.AssignFeatureKeys(c.direction)) << c.fdi;
        EXPECT_EQ(Keys(), c.keys) << c.fdi;
    }
}

TEST_F(FeatureKeys, MissingPartsLeaveTheKeysAlone)
{
    tooth.SetFdi(16);
    ref.m_featurePoints = {Feature(3, 9), Feature(4, 9), Feature(5, 9)};
    EXPECT_FALSE(ref.AssignFeatureKeys(QvVector(0, 0, 1))); // a molar needs four
    ref.m_featurePoints.push_back(Feature(70, 9));
    EXPECT_FALSE(ref.AssignFeatureKeys(QvVector(0, 0, 1))); // a vertex the tooth lacks
    tooth.SetFdi(19);
    EXPECT_FALSE(ref.AssignFeatureKeys(QvVector(0, 0, 1))); // no tooth kind
    tooth.SetFdi(11);
    ref.m_midCurve.m_vertices = {1};
    EXPECT_FALSE(ref.AssignFeatureKeys(QvVector(0, 0, 1))); // no crown plane
    EXPECT_EQ(Keys(), (std::vector<int>{9, 9, 9, 9}));

    QvPlane plane;
    plane.m_coef[3] = 3.0;
    EXPECT_FALSE(ref.GetCrownPlane(plane));
    EXPECT_EQ(plane.m_coef[3], 3.0);
}

TEST_F(FeatureKeys, TipVerticesAndFaccOrientation)
{
    tooth.SetFdi(13);
    ref.m_featurePoints = {Feature(5, 2), Feature(6, 1)};
    std::vector<int> tips;
    ref.CollectTipVertices(tips);
    EXPECT_EQ(tips, (std::vector<int>{1, 6}));
    tooth.SetFdi(14);
    tips.clear();
    ref.CollectTipVertices(tips);
    EXPECT_EQ(tips, (std::vector<int>{1}));

    // The mid curve's middle vertex 2 at (5, 0, 0) is nearer the FACC's first vertex.
    ref.m_facc.m_pCurve = QvBSplineCurve::FromEndTangents(QvPoint(0, 0, 0), QvPoint(0, 10, 0), QvVector(0, 1, 0),
                                                          QvVector(0, 1, 0));
    ref.OrientFacc();
    EXPECT_EQ(ref.m_facc.m_vertices, (std::vector<int>{0, 1}));
    ref.m_facc.m_vertices = {1, 0};
    ref.OrientFacc();
    EXPECT_EQ(ref.m_facc.m_vertices, (std::vector<int>{0, 1}));
    EXPECT_TRUE(ref.m_facc.m_pCurve->Evaluate(0.0) == QvPoint(0, 10, 0));
}

TEST(ToothRefFit, RefitFollowsTheSectionThroughTheFaccVertices)
{
    const double radius = 5.0;
    QvTooth tooth;
    tooth.CopyMeshData(qvtest::MakeSphere(3, radius));
    auto nearest = [&](const QvPoint& p) {
        int best = 0;
        for (const QvVertex& v : tooth.m_vertices)
            if (v.m_point.Distance(p) < tooth.m_vertices[best].m_point.Distance(p))
                best = v.m_index;
        return best;
    };
    const int a = nearest(QvPoint(radius, 0, 0));
    const int b = nearest(QvPoint(0, radius * 0.6, radius * 0.8));
    QvToothRef ref(&tooth);
    ref.m_facc.m_vertices = {a, b};
    const QvVector direction = tooth.m_vertices[a].m_point - QvPoint(0, 0, 0);
    ASSERT_TRUE(ref.m_facc.Fit(tooth, direction));
    const QvPoint middle = ref.m_facc.m_pCurve->Evaluate(0.5);

    ASSERT_TRUE(ref.RefitFacc());
    ASSERT_NE(ref.m_facc.m_pCurve, nullptr);
    // The plane through both vertices and the old curve's middle: the same great circle.
    const QvPlane plane(tooth.m_vertices[a].m_point, tooth.m_vertices[b].m_point, middle);
    for (int k = 0; k <= 10; ++k)
        EXPECT_LT(plane.Distance(ref.m_facc.m_pCurve->Evaluate(k / 10.0), false), 2e-2) << k;
    EXPECT_LT(ref.m_facc.m_pCurve->Evaluate(0.0).Distance(tooth.m_vertices[a].m_point), 5e-3);
    EXPECT_LT(ref.m_facc.m_pCurve->Evaluate(1.0).Distance(tooth.m_vertices[b].m_point), 5e-3);

    QvToothRef empty(&tooth);
    EXPECT_FALSE(empty.RefitFacc());
    // Without a curve the crown plane is needed, and with it the mid curve.
    QvToothRef noMid(&tooth);
    noMid.m_facc.m_vertices = {a, b};
    EXPECT_FALSE(noMid.RefitFacc());
}

} // namespace
