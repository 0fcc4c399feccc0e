// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>

#include <gtest/gtest.h>

#include "core/design/QvOBBTreeMgr.h"
#include "core/collision/QvGapDetecter.h"
#include "core/collision/tests/ContactFixtures.h"
#include "core/design/tests/CollisionFixtures.h"
#include "core/geometry/QvLine.h"
#include "core/model/QvTooth.h"
#include "core/scheme/QvGapInfo.h"

namespace {

using qvcontacttest::BoxCorners;
using qvcontacttest::FillBox;
using qvcontacttest::FillHexahedron;
using qvcontacttest::Positions;
using qvcontacttest::SamePositions;
using qvtest::Identity4;

// Two teeth side by side along x: a box ending at x = 0 and a box starting at x = gap,
// both over y in [-hy, hy] and z in [-hz, hz]. The least spread is along z, so the
// section planes are z = 0 and z = +-0.2.
struct FacingBoxes
{
    FacingBoxes(double gap, double length = 3.0, double hy = 1.0, double hz = 0.5)
    {
        FillBox(a, QvPoint(-length, -hy, -hz), QvPoint(0.0, hy, hz));
        FillBox(b, QvPoint(gap, -hy, -hz), QvPoint(gap + length, hy, hz));
    }
    QvTooth a, b;
};

TEST(GapDetecter, FacingBoxesGiveTheGapAndTheMidpointOnTheCentrePlane)
{
    FacingBoxes boxes(1.0);
    const auto beforeA = Positions(boxes.a), beforeB = Positions(boxes.b);

    QvGapDetecter detecter(&boxes.a, Identity4(), &boxes.b, Identity4());
    ASSERT_TRUE(detecter.Detect());
    const QvGapInfo* record = detecter.GetGapInfo();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_nKind, kQvGapKindGap);
    EXPECT_EQ(record->GetTooth(0), &boxes.a);
    EXPECT_EQ(record->GetTooth(1), &boxes.b);
    EXPECT_EQ(record->m_dDistance, 1.0);
    // Every plane measures 1.0; the tie goes to the centre plane, which is not walked.
    EXPECT_EQ(record->m_point[0], 0.5);
    EXPECT_EQ(record->m_point[2], 0.0);
    EXPECT_LE(std::fabs(record->m_point[1]), 1.0);
    EXPECT_TRUE(record->GetContactFaces(0).empty());
    EXPECT_TRUE(record->GetContactMap(1).empty());

    // Three parallel planes containing the run of the pair (x), 0.2 apart, not normal
    // to the first tooth's long axis (also x here).
    const auto& planes = detecter.GetPlanes();
    ASSERT_EQ(planes.size(), 3u);
    const QvVector n = planes[0]->GetNormal();
    EXPECT_NEAR(std::fabs(n[2]), 1.0, 1e-12);
    const QvPoint origin(0.0, 0.0, 0.0);
    const double centre = planes[0]->Distance(origin, true);
    EXPECT_NEAR(planes[1]->Distance(origin, true) - centre, 0.2, 1e-12);
    EXPECT_NEAR(planes[2]->Distance(origin, true) + centre, 0.2, 1e-12);
    EXPECT_NEAR(planes[1]->GetNormal().Dot(n), 1.0, 1e-12);
    EXPECT_NEAR(planes[2]->GetNormal().Dot(n), -1.0, 1e-12);

    EXPECT_TRUE(SamePositions(Positions(boxes.a), beforeA));
    EXPECT_TRUE(SamePositions(Positions(boxes.b), beforeB));
}

TEST(GapDetecter, PlacementsCarryTheTeethAndTheMidpoint)
{
    // The same pair, both teeth moved by one rigid motion, and once more with the
    // second tooth's own vertices shifted back and its placement carrying the shift.
    FacingBoxes boxes(1.0);
    const QvMatrix move = qvtest::Skew(QvVector(4.0, -2.0, 7.0));
    {
        QvGapDetecter detecter(&boxes.a, move, &boxes.b, move);
        ASSERT_TRUE(detecter.Detect());
        EXPECT_NEAR(detecter.GetGapInfo()->m_dDistance, 1.0, 1e-9);
        QvMatrix back = move;
        ASSERT_TRUE(back.Invert());
        const QvPoint local = back * detecter.GetGapInfo()->m_point;
        EXPECT_NEAR(local[0], 0.5, 1e-9);
        // Every plane measures 1.0 here only up to rounding, which then picks the plane:
        // the midpoint lies on one of them (0.2 apart), inside the teeth.
        EXPECT_LE(std::fabs(local[2]), 0.5);
        EXPECT_NEAR(local[2] / 0.2, std::round(local[2] / 0.2), 1e-6);
    }
    QvTooth shifted;
    FillBox(shifted, QvPoint(-2.0, -1.0, -0.5), QvPoint(1.0, 1.0, 0.5));
    const QvMatrix offset = qvtest::Translation(QvVector(3.0, 0.0, 0.0));
    QvGapDetecter detecter(&boxes.a, move, &shifted, move * offset);
    ASSERT_TRUE(detecter.Detect());
    EXPECT_NEAR(detecter.GetGapInfo()->m_dDistance, 1.0, 1e-9);
}

TEST(GapDetecter, TouchingTeethGiveAZeroRecordAndFalse)
{
    FacingBoxes boxes(0.0);
    QvGapDetecter detecter(&boxes.a, Identity4(), &boxes.b, Identity4());
    EXPECT_FALSE(detecter.Detect());
    ASSERT_NE(detecter.GetGapInfo(), nullptr);
    EXPECT_EQ(detecter.GetGapInfo()->m_dDistance, 0.0);
    EXPECT_EQ(detecter.GetGapInfo()->m_nKind, kQvGapKindGap);
}

// The second tooth's near face leans towards the first, so that the gap narrows as z
// grows: a side plane wins and walks outwards, 0.2 at a time.
TEST(GapDetecter, ASidePlaneThatWinsWalksOutwards)
{
    struct Case
    {
        double hz;     // half height of both teeth
        double walkTo; // where the narrowest measured section lies
    };
    // Tall teeth: the walk stops after ten moves (0.2 + 10 x 0.2). Low teeth: it stops
    // when the plane leaves the teeth past z = 1.0.
    const Case cases[] = {{2.5, 2.2}, {1.1, 1.0}};
    const double gap = 1.0, lean = 0.2;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.hz);
        QvTooth a, b;
        FillBox(a, QvPoint(-12.0, -4.0, -c.hz), QvPoint(0.0, 4.0, c.hz));
        std::array<QvPoint, 8> corners = BoxCorners(QvPoint(gap, -4.0, -c.hz), QvPoint(12.0, 4.0, c.hz));
        for (int i = 0; i < 4; ++i) // the near face: x = gap - lean z
            corners[static_cast<std::size_t>(i)][0] = gap - lean * corners[static_cast<std::size_t>(i)][2];
        FillHexahedron(b, corners);

        QvGapDetecter detecter(&a, Identity4(), &b, Identity4());
        ASSERT_TRUE(detecter.Detect());
        const QvGapInfo* record = detecter.GetGapInfo();
        EXPECT_NEAR(record->m_dDistance, gap - lean * c.walkTo, 0.01);
        EXPECT_NEAR(record->m_point[2], c.walkTo, 0.02);
        // The walked plane is the one left where the walk ended (or one step beyond).
        const QvPlane& walked = std::fabs(detecter.GetPlanes()[1]->Distance(QvPoint(0, 0, 0), true)) >
                                        std::fabs(detecter.GetPlanes()[2]->Distance(QvPoint(0, 0, 0), true))
                                    ? *detecter.GetPlanes()[1]
                                    : *detecter.GetPlanes()[2];
        EXPECT_GE(std::fabs(walked.Distance(QvPoint(0, 0, 0), true)), c.walkTo - 0.02);
    }
}

TEST(GapDetecter, DistanceIsBetweenSectionVerticesNotPolylines)
{
    // A diamond prism whose leading vertical edge stands 1.0 from the first box's face
    // at y = 0.5: on the plane z = 0 the nearest section vertices of the box are at
    // y = 0 (the face diagonal) and y = 1 (the side edge), sqrt(1.25) away, although the
    // section outlines come within 1.0 of each other.
    QvTooth box, diamond;
    FillBox(box, QvPoint(-3.0, -1.0, -0.5), QvPoint(0.0, 1.0, 0.5));
    const QvPoint ring[4] = {{1.0, 0.5, 0.0}, {2.0, 1.5, 0.0}, {3.0, 0.5, 0.0}, {2.0, -0.5, 0.0}};
    // Any hexahedron numbering works for the section; only the windings matter.
    std::array<QvPoint, 8> corners;
    const int order[4][2] = {{0, 0}, {1, 1}, {3, 2}, {2, 3}}; // ring corner -> slots (ix, iy)
    for (int k = 0; k < 4; ++k)
        for (int iz = 0; iz < 2; ++iz)
        {
            QvPoint p = ring[order[k][0]];
            p[2] = iz ? 0.5 : -0.5;
            corners[static_cast<std::size_t>(4 * (order[k][1] / 2) + 2 * iz + order[k][1] % 2)] = p;
        }
    FillHexahedron(diamond, corners);

    QvGapDetecter detecter(&box, Identity4(), &diamond, Identity4());
    const QvPlane plane(QvPoint(0.0, 0.0, 0.0), QvVector(0.0, 0.0, 1.0));
    double distance = 0.0;
    QvPoint point;
    ASSERT_TRUE(detecter.MeasureOnPlane(&plane, distance, point));
    EXPECT_NEAR(distance, std::sqrt(1.25), 1e-12);
    EXPECT_NEAR(point[0], 0.5, 1e-12);
    EXPECT_NEAR(std::fabs(point[1] - 0.5), 0.25, 1e-12);
}

TEST(GapDetecter, NothingToMeasure)
{
    FacingBoxes boxes(1.0);
    QvGapDetecter detecter(&boxes.a, Identity4(), &boxes.b, Identity4());
    double distance = -1.0;
    QvPoint point;
    // A plane that misses the teeth, no plane.
    const QvPlane above(QvPoint(0.0, 0.0, 5.0), QvVector(0.0, 0.0, 1.0));
    EXPECT_FALSE(detecter.MeasureOnPlane(&above, distance, point));
    EXPECT_FALSE(detecter.MeasureOnPlane(nullptr, distance, point));
    EXPECT_EQ(distance, -1.0);

    // A plane that cuts only one tooth.
    const QvPlane across(QvPoint(-1.0, 0.0, 0.0), QvVector(1.0, 0.0, 0.0));
    EXPECT_FALSE(detecter.MeasureOnPlane(&across, distance, point));

    // No tooth, or a tooth without vertices: no frame, no planes, no record.
    QvGapDetecter missing(&boxes.a, Identity4(), nullptr, Identity4());
    EXPECT_FALSE(missing.Detect());
    EXPECT_EQ(missing.GetGapInfo(), nullptr);
    EXPECT_FALSE(missing.MeasureOnPlane(&across, distance, point));
    QvTooth empty;
    QvGapDetecter hollow(&empty, Identity4(), &boxes.b, Identity4());
    EXPECT_FALSE(hollow.Detect());
    EXPECT_TRUE(hollow.GetPlanes().empty());
    EXPECT_EQ(hollow.GetGapInfo(), nullptr);
    EXPECT_EQ(hollow.GetToothAxis(&empty), nullptr);
}

// Cached box trees of the teeth only speed the measurement up: with them, without them
// and with a tree left behind by an edit of its mesh, the record is the same.
TEST(GapDetecter, CachedTreesGiveTheSameGap)
{
    QvOBBTreeMgr* cache = QvOBBTreeMgr::Instance();
    cache->Clear();
    // Two lumpy crowns, longer than wide and wide than high, side by side along x.
    const auto crown = [](QvTooth& tooth, std::uint64_t seed) {
        static_cast<QvMesh&>(tooth) = qvtest::BumpySphere(3, 1.0, 0.05, seed);
        for (QvVertex& v : tooth.m_vertices)
            v.m_point = QvPoint(v.m_point[0] * 1.6, v.m_point[1] * 1.2, v.m_point[2]);
    };
    QvTooth a, b;
    crown(a, 3);
    crown(b, 4);
    struct Case
    {
        double gap;
        QvMatrix turn;
    };
    // Near neighbours, a wide gap beyond the first reach, and a skew placement.
    const Case cases[] = {{3.3, Identity4()}, {3.25, qvtest::Skew(QvVector(1.0, -2.0, 0.5))}, {4.5, Identity4()}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.gap);
        const QvMatrix ma = c.turn;
        const QvMatrix mb = c.turn * qvtest::Rigid(QvVector(0.2, 0.1, 1.0), 0.15, QvVector(c.gap, 0.1, -0.05));
        const auto measure = [&](double& distance, QvPoint& point) {
            QvGapDetecter detecter(&a, ma, &b, mb);
            const bool found = detecter.Detect();
            ASSERT_NE(detecter.GetGapInfo(), nullptr);
            distance = detecter.GetGapInfo()->m_dDistance;
            point = detecter.GetGapInfo()->m_point;
            EXPECT_TRUE(found);
        };
        cache->Clear();
        double plain = 0.0, cached = 0.0;
        QvPoint plainAt, cachedAt;
        measure(plain, plainAt);
        cache->AddMesh(&a);
        cache->AddMesh(&b);
        measure(cached, cachedAt);
        EXPECT_EQ(cached, plain);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(cachedAt[k], plainAt[k]);
    }

    // A vertex of the first crown moved after its tree was built: the stale tree is
    // not trusted.
    cache->Clear();
    cache->AddMesh(&a);
    cache->AddMesh(&b);
    double nearest = -1.0;
    int moved = -1;
    for (std::size_t v = 0; v < a.m_vertices.size(); ++v)
        if (a.m_vertices[v].m_point[0] > nearest)
        {
            nearest = a.m_vertices[v].m_point[0];
            moved = static_cast<int>(v);
        }
    a.m_vertices[static_cast<std::size_t>(moved)].m_point[0] += 0.4;
    const QvMatrix mb = qvtest::Translation(QvVector(3.3, 0.0, 0.0));
    QvGapDetecter stale(&a, Identity4(), &b, mb);
    (void)stale.Detect();
    cache->Clear();
    QvGapDetecter fresh(&a, Identity4(), &b, mb);
    (void)fresh.Detect();
    ASSERT_NE(stale.GetGapInfo(), nullptr);
    ASSERT_NE(fresh.GetGapInfo(), nullptr);
    EXPECT_EQ(stale.GetGapInfo()->m_dDistance, fresh.GetGapInfo()->m_dDistance);
}

TEST(GapDetecter, ToothAxisFollowsTheToothsOwnPlacement)
{
    FacingBoxes boxes(1.0);
    const QvMatrix turnA = qvtest::Rigid(QvVector(0.0, 0.0, 1.0), 0.5, QvVector(1.0, 2.0, 3.0));
    const QvMatrix turnB = qvtest::Rigid(QvVector(0.0, 1.0, 0.0), -0.3, QvVector(0.0, 0.0, 0.0));
    QvGapDetecter detecter(&boxes.a, turnA, &boxes.b, turnB);
    for (const auto& [tooth, turn] : {std::pair{&boxes.a, turnA}, std::pair{&boxes.b, turnB}})
    {
        const std::unique_ptr<QvLine> axis = detecter.GetToothAxis(tooth);
        ASSERT_NE(axis, nullptr);
        // The long axis of either box is x, carried by that box's placement.
        const QvVector expected = turn * QvVector(1.0, 0.0, 0.0);
        EXPECT_NEAR(std::fabs(axis->GetDirection().Dot(expected)), 1.0, 1e-9);
        const QvPoint centre = turn * tooth->GetCenter();
        EXPECT_NEAR(axis->Distance(centre), 0.0, 1e-9);
    }
}

} // namespace
