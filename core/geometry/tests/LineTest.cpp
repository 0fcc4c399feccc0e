// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/geometry/QvLine.h"
#include "core/geometry/tests/GeometryTestUtil.h"
#include "testing/PointSets.h"

namespace {

using qvtest::Rng;
using qvtest::Uniform;
using qvtest::ExpectNear;
using qvtest::RandomPoint;
using qvtest::RandomUnit;

// ---------------------------------------------------------------- infinite lines

TEST(Line, ConstructorsStoreUnitDirection)
{
    const QvLine none;
    ExpectNear(none.m_direction, QvVector(0, 0, 0), 0.0);
    ExpectNear(none.m_point, QvPoint(0, 0, 0), 0.0);

    const QvLine byDir(QvPoint(1, 2, 3), QvVector(0, 0, -4));
    ExpectNear(byDir.m_point, QvPoint(1, 2, 3), 0.0);
    ExpectNear(byDir.m_direction, QvVector(0, 0, -1), 0.0);

    const QvLine byPoints(QvPoint(1, 1, 1), QvPoint(4, 5, 1));
    ExpectNear(byPoints.m_point, QvPoint(1, 1, 1), 0.0);
    ExpectNear(byPoints.m_direction, QvVector(0.6, 0.8, 0), 1e-15);

    const QvLine byPositions(QvVector(1, 1, 1), QvVector(4, 5, 1));
    ExpectNear(byPositions.m_point, QvPoint(1, 1, 1), 0.0);
    ExpectNear(byPositions.m_direction, QvVector(0.6, 0.8, 0), 1e-15);

    // Degenerate directions never fail: they become the x axis.
    const QvLine samePoints(QvPoint(2, 2, 2), QvPoint(2, 2, 2 + 5e-8));
    ExpectNear(samePoints.m_direction, QvVector(1, 0, 0), 0.0);
    QvLine set;
    set.Set(QvPoint(0, 1, 0), QvVector(0, 0, 0));
    ExpectNear(set.m_direction, QvVector(1, 0, 0), 0.0);
    set.Set(QvPoint(0, 1, 0), QvVector(0, 3, 0));
    ExpectNear(set.m_direction, QvVector(0, 1, 0), 0.0);
}

TEST(Line, ProjectionAndDistance)
{
    const QvLine line(QvPoint(1, 0, 0), QvVector(0, 2, 0));
    struct Case
    {
        QvPoint q;
        QvPoint foot;
        double t;
        double distance;
    } cases[] = {
        {{1, 3, 0}, {1, 3, 0}, 3, 0},
        {{4, -2, 4}, {1, -2, 0}, -2, 5},
        {{1, 0, 0}, {1, 0, 0}, 0, 0},
    };
    for (const Case& c : cases)
    {
        double t = 99;
        ExpectNear(line.ClosestPoint(c.q, &t), c.foot, 1e-12);
        EXPECT_NEAR(t, c.t, 1e-12);
        double tv = 99;
        const QvVector pos = line.ClosestPosition(QvVector(c.q[0], c.q[1], c.q[2]), &tv);
        ExpectNear(QvPoint(pos[0], pos[1], pos[2]), c.foot, 1e-12);
        EXPECT_EQ(tv, t);
        EXPECT_NEAR(line.Distance(c.q), c.distance, 1e-12);
    }
    // The parameter pointer may be null.
    ExpectNear(line.ClosestPoint(QvPoint(7, 7, 7)), QvPoint(1, 7, 0), 1e-12);
}

TEST(Line, IntersectGivesClosestPointOnThisLine)
{
    QvPoint out(9, 9, 9);
    // Skew lines: the x axis and the line through (0, 1, 5) along y.
    const QvLine xAxis(QvPoint(0, 0, 0), QvVector(1, 0, 0));
    ASSERT_TRUE(xAxis.Intersect(QvLine(QvPoint(0, 1, 5), QvVector(0, 1, 0)), out));
    ExpectNear(out, QvPoint(0, 0, 0), 1e-12);

    // Equal or opposite directions, also within the component tolerance: no answer, out kept.
    const QvLine cases[] = {
        QvLine(QvPoint(0, 3, 0), QvVector(-1, 0, 0)),
        QvLine(QvPoint(0, 3, 0), QvVector(1, 0, 0)),
        QvLine(QvPoint(0, 3, 0), QvVector(1, 5e-8, 0)),
    };
    for (const QvLine& other : cases)
    {
        out.Set(9, 9, 9);
        EXPECT_FALSE(xAxis.Intersect(other, out));
        ExpectNear(out, QvPoint(9, 9, 9), 0.0);
    }
}

TEST(Line, IntersectRandomLinesMeetingAtAPoint)
{
    Rng rng(11);
    for (int i = 0; i < 500; ++i)
    {
        const QvPoint x = RandomPoint(rng, -100, 100);
        const QvVector d1 = RandomUnit(rng);
        const QvVector d2 = RandomUnit(rng);
        if (std::fabs(d1.Dot(d2)) > 0.99)
            continue;
        const QvLine a(x + d1 * Uniform(rng, -50, 50), d1);
        const QvLine b(x + d2 * Uniform(rng, -50, 50), d2);
        QvPoint out;
        ASSERT_TRUE(a.Intersect(b, out));
        ExpectNear(out, x, 1e-9);

        // Lifted apart along the common normal, the answer stays on this line, at the foot of the
        // common perpendicular.
        QvVector n = d1.Cross(d2);
        n.Normalize();
        const QvLine lifted(b.m_point + n * 3.0, d2);
        ASSERT_TRUE(a.Intersect(lifted, out));
        ExpectNear(out, x, 1e-9);
    }
}

TEST(Line, FitPoints)
{
    EXPECT_EQ(QvLine::FitPoints({}), nullptr);
    EXPECT_EQ(QvLine::FitPoints({QvPoint(1, 2, 3)}), nullptr);
    // Coincident points define no direction, also when the centroid rounds away from them.
    EXPECT_EQ(QvLine::FitPoints({QvPoint(0.1, 0.1, 0.1), QvPoint(0.1, 0.1, 0.1), QvPoint(0.1, 0.1, 0.1)}), nullptr);
    EXPECT_EQ(QvLine::FitPoints({QvPoint(5, 5, 5), QvPoint(5, 5, 5)}), nullptr);

    // The first of equal farthest points, (0, 0, 0), orients the line.
    std::unique_ptr<QvLine> line(
        QvLine::FitPoints({QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(2, 0, 0), QvPoint(3, 0, 0)}));
    ASSERT_TRUE(line);
    ExpectNear(line->m_point, QvPoint(1.5, 0, 0), 1e-15);
    ExpectNear(line->m_direction, QvVector(-1, 0, 0), 1e-15);

    line.reset(QvLine::FitPoints({QvPoint(0, 0, 0), QvPoint(4, 0, 0), QvPoint(1, 0, 0)}));
    ASSERT_TRUE(line);
    ExpectNear(line->m_direction, QvVector(1, 0, 0), 1e-15);
}

TEST(Line, FitPointsFollowsNoisyLineAtEveryScale)
{
    for (const double scale : {1e-3, 1.0, 1e3})
    {
        Rng rng(7);
        const QvVector dir = RandomUnit(rng);
        const QvPoint origin = RandomPoint(rng, -1, 1);
        std::vector<QvPoint> pts;
        for (int i = 0; i < 200; ++i)
        {
            const QvPoint onLine = origin + dir * Uniform(rng, -1, 1);
            pts.push_back((onLine + QvVector(Uniform(rng, -1e-3, 1e-3), Uniform(rng, -1e-3, 1e-3),
                                             Uniform(rng, -1e-3, 1e-3))) *
                          scale);
        }
        std::unique_ptr<QvLine> line(QvLine::FitPoints(pts));
        ASSERT_TRUE(line);
        EXPECT_NEAR(std::fabs(line->m_direction.Dot(dir)), 1.0, 1e-4) << scale;
        EXPECT_NEAR(line->m_direction.Length(), 1.0, 1e-12);
        for (const QvPoint& p : pts)
            EXPECT_LT(line->Distance(p), 5e-3 * scale);
    }
}

// ---------------------------------------------------------------- segments

TEST(LineSeg, DirectionLengthClosestPoint)
{
    const QvLineSeg seg(QvPoint(1, 0, 0), QvPoint(1, 4, 0));
    ExpectNear(seg.GetDirection(), QvVector(0, 1, 0), 0.0);
    EXPECT_EQ(seg.Length(), 4.0);

    struct Case
    {
        QvPoint q;
        QvPoint closest;
        double t; // written unclamped
    } cases[] = {
        {{5, 1, 0}, {1, 1, 0}, 0.25},
        {{0, -4, 0}, {1, 0, 0}, -1.0},
        {{0, 8, 3}, {1, 4, 0}, 2.0},
        {{1, 4, 0}, {1, 4, 0}, 1.0},
        {{2, 0, 0}, {1, 0, 0}, 0.0},
    };
    for (const Case& c : cases)
    {
        double t = 99;
        ExpectNear(seg.ClosestPoint(c.q, &t), c.closest, 1e-15);
        EXPECT_DOUBLE_EQ(t, c.t);
    }

    // A zero-length segment is its start point.
    const QvLineSeg dot(QvPoint(3, 3, 3), QvPoint(3, 3, 3));
    double t = 99;
    ExpectNear(dot.ClosestPoint(QvPoint(0, 0, 0), &t), QvPoint(3, 3, 3), 0.0);
    EXPECT_EQ(t, 0.0);
    ExpectNear(dot.GetDirection(), QvVector(1, 0, 0), 0.0);
}

TEST(LineSeg, Distance)
{
    const QvLineSeg seg(QvPoint(0, 0, 0), QvPoint(2, 0, 0));
    struct Case
    {
        QvPoint q;
        double distance;
    } cases[] = {
        {{3, 1, 0}, std::sqrt(2.0)}, // beyond the end: to (2, 0, 0)
        {{-3, 0, 4}, 5.0},           // before the start
        {{1, 0, 2}, 2.0},            // over the middle
        {{2, 0, 0}, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(seg.Distance(c.q), c.distance, 1e-15);

    const QvLineSeg dot(QvPoint(1, 1, 1), QvPoint(1, 1, 1));
    EXPECT_NEAR(dot.Distance(QvPoint(1, 4, 5)), 5.0, 1e-15);
}

TEST(LineSeg, Contains)
{
    const QvLineSeg seg(QvPoint(0, 0, 0), QvPoint(2, 0, 0));
    const QvLineSeg dot(QvPoint(1, 1, 1), QvPoint(1, 1, 1));
    struct Case
    {
        QvLineSeg seg;
        QvPoint q;
        bool contained;
    } cases[] = {
        {seg, {1, 0, 0}, true},          // midpoint
        {seg, {0, 0, 0}, true},          // end points
        {seg, {2, 0, 0}, true},
        {seg, {2 + 5e-8, 0, 0}, true},   // equal to the end by the point rule
        {seg, {2.001, 0, 0}, false},     // beyond the end on the same line
        {seg, {-0.5, 0, 0}, false},      // behind the start
        {seg, {1, 5e-8, 0}, true},       // off the line by less than the zero test
        {seg, {1, 2e-7, 0}, false},      // off the line by more
        {dot, {1, 1, 1}, true},          // zero-length: only its end points
        {dot, {1, 1, 1 + 1e-6}, false},
        // Segments shorter than 1e-7 hold only their end points; longer ones their inside too.
        {QvLineSeg(QvPoint(0, 0, 0), QvPoint(5e-8, 0, 0)), {2.5e-8, 1.5e-7, 0}, false},
        {QvLineSeg(QvPoint(0, 0, 0), QvPoint(5e-7, 0, 0)), {2.5e-7, 0, 0}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.seg.Contains(c.q), c.contained) << c.q[0] << " " << c.q[1] << " " << c.q[2];
}

TEST(LineSeg, IntersectAndClassify)
{
    struct Case
    {
        const char* name;
        QvLineSeg a, b;
        signed char kind; // 1 meeting, -1 shared point of parallel segments, 0 none
        QvPoint out;
    } cases[] = {
        {"cross", {{-1, 0, 0}, {1, 0, 0}}, {{0, -1, 0}, {0, 2, 0}}, 1, {0, 0, 0}},
        {"just past A's end, inside the window", {{0, 0, 0}, {1, 0, 0}}, {{1.000000005, -1, 0}, {1.000000005, 1, 0}},
         1, {1.000000005, 0, 0}},
        {"past A's end, outside the window", {{0, 0, 0}, {1, 0, 0}}, {{1.00000002, -1, 0}, {1.00000002, 1, 0}}, 0, {}},
        {"just before A's start", {{0, 0, 0}, {1, 0, 0}}, {{-0.5e-8, -1, 0}, {-0.5e-8, 1, 0}}, 1, {-0.5e-8, 0, 0}},
        {"before A's start", {{0, 0, 0}, {1, 0, 0}}, {{-2e-8, -1, 0}, {-2e-8, 1, 0}}, 0, {}},
        {"B misses short", {{0, 0, 0}, {1, 0, 0}}, {{0.5, 0.5, 0}, {0.5, 2, 0}}, 0, {}},
        {"skew, answered on A", {{0, 0, 0}, {2, 0, 0}}, {{1, -1, 3}, {1, 1, 3}}, 1, {1, 0, 0}},
        {"collinear overlap: B0 on A", {{0, 0, 0}, {2, 0, 0}}, {{1, 0, 0}, {3, 0, 0}}, -1, {1, 0, 0}},
        {"collinear overlap: B1 on A", {{0, 0, 0}, {2, 0, 0}}, {{3, 0, 0}, {1, 0, 0}}, -1, {1, 0, 0}},
        {"collinear, A inside B", {{1, 0, 0}, {2, 0, 0}}, {{0, 0, 0}, {3, 0, 0}}, -1, {1, 0, 0}},
        {"collinear touching", {{0, 0, 0}, {1, 0, 0}}, {{1, 0, 0}, {2, 0, 0}}, -1, {1, 0, 0}},
        {"collinear apart", {{0, 0, 0}, {1, 0, 0}}, {{1.5, 0, 0}, {2, 0, 0}}, 0, {}},
        {"parallel apart", {{0, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {1, 1, 0}}, 0, {}},
        {"A a point on B", {{0.5, 0, 0}, {0.5, 0, 0}}, {{0, 0, 0}, {1, 0, 0}}, 1, {0.5, 0, 0}},
        {"A a point off B", {{0.5, 1, 0}, {0.5, 1, 0}}, {{0, 0, 0}, {1, 0, 0}}, 0, {}},
        {"B a point at A's end", {{0, 0, 0}, {1, 0, 0}}, {{1, 0, 0}, {1, 0, 5e-8}}, 1, {1, 0, 0}},
    };
    for (const Case& c : cases)
    {
        QvPoint out(9, 9, 9);
        const signed char kind = c.a.ClassifyIntersection(c.b, out);
        EXPECT_EQ(kind, c.kind) << c.name;
        ExpectNear(out, c.kind != 0 ? c.out : QvPoint(9, 9, 9), 1e-12, c.name);

        QvPoint out2(9, 9, 9);
        EXPECT_EQ(c.a.Intersect(c.b, out2), c.kind != 0) << c.name;
        ExpectNear(out2, out, 0.0, c.name);
    }
    // The parallel kind is the byte 255.
    QvPoint out;
    const signed char k = QvLineSeg(QvPoint(0, 0, 0), QvPoint(1, 0, 0))
                              .ClassifyIntersection(QvLineSeg(QvPoint(1, 0, 0), QvPoint(2, 0, 0)), out);
    EXPECT_EQ(static_cast<unsigned char>(k), 255u);
}

TEST(LineSeg, IntersectRandomCrossingSegments)
{
    Rng rng(3);
    for (int i = 0; i < 500; ++i)
    {
        const QvPoint x = RandomPoint(rng, -10, 10);
        const QvVector dA = RandomUnit(rng);
        const QvVector dB = RandomUnit(rng);
        if (std::fabs(dA.Dot(dB)) > 0.99)
            continue;
        const double lenA = Uniform(rng, 0.1, 5), lenB = Uniform(rng, 0.1, 5);
        const double fA = Uniform(rng, 0.05, 0.95), fB = Uniform(rng, 0.05, 0.95);
        const QvLineSeg a(x - dA * (fA * lenA), x + dA * ((1 - fA) * lenA));
        const QvLineSeg b(x - dB * (fB * lenB), x + dB * ((1 - fB) * lenB));
        QvPoint out;
        ASSERT_EQ(a.ClassifyIntersection(b, out), 1);
        ExpectNear(out, x, 1e-9);
        ASSERT_TRUE(b.Intersect(a, out));
        ExpectNear(out, x, 1e-9);

        // Shortened so that B stops well before the crossing: no meeting.
        const QvLineSeg bShort(b.m_start, x - dB * (0.02 * lenB));
        out.Set(9, 9, 9);
        EXPECT_FALSE(a.Intersect(bShort, out));
        ExpectNear(out, QvPoint(9, 9, 9), 0.0);
    }
}

TEST(LineSeg, Crosses)
{
    struct Case
    {
        const char* name;
        QvLineSeg a, b;
        bool crosses;
    } cases[] = {
        {"X", {{-1, 0, 0}, {1, 0, 0}}, {{0, -1, 0}, {0, 1, 0}}, true},
        {"B ends on A (T)", {{-1, 0, 0}, {1, 0, 0}}, {{0, 0, 0}, {0, 1, 0}}, true},
        {"B starts on A (T)", {{-1, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {0, 0, 0}}, true},
        {"A ends on B", {{0, 0, 0}, {0, 1, 0}}, {{-1, 0, 0}, {1, 0, 0}}, true},
        {"B on one side", {{-1, 0, 0}, {1, 0, 0}}, {{0, 0.5, 0}, {0, 1, 0}}, false},
        {"B crosses A's line beyond A", {{-1, 0, 0}, {1, 0, 0}}, {{3, -1, 0}, {3, 1, 0}}, false},
        {"collinear overlap", {{0, 0, 0}, {2, 0, 0}}, {{1, 0, 0}, {3, 0, 0}}, true},
        {"collinear, B contains A", {{1, 0, 0}, {2, 0, 0}}, {{0, 0, 0}, {3, 0, 0}}, true},
        {"collinear touching", {{0, 0, 0}, {1, 0, 0}}, {{1, 0, 0}, {2, 0, 0}}, true},
        {"collinear apart", {{0, 0, 0}, {1, 0, 0}}, {{2, 0, 0}, {3, 0, 0}}, false},
        {"collinear apart, reversed", {{2, 0, 0}, {3, 0, 0}}, {{1, 0, 0}, {0, 0, 0}}, false},
        {"parallel apart", {{0, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {1, 1, 0}}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.a.Crosses(c.b), c.crosses) << c.name;
}

TEST(LineSeg, CrossesAgreesWithOrientationOracle)
{
    const auto orient = [](const QvPoint& p, const QvPoint& q, const QvPoint& r) {
        return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]);
    };
    Rng rng(5);
    int decided = 0;
    for (int i = 0; i < 4000; ++i)
    {
        const double z = Uniform(rng, -3, 3);
        const auto pt = [&] { return QvPoint(Uniform(rng, -1, 1), Uniform(rng, -1, 1), z); };
        const QvLineSeg a(pt(), pt());
        const QvLineSeg b(pt(), pt());
        const double o1 = orient(a.m_start, a.m_end, b.m_start);
        const double o2 = orient(a.m_start, a.m_end, b.m_end);
        const double o3 = orient(b.m_start, b.m_end, a.m_start);
        const double o4 = orient(b.m_start, b.m_end, a.m_end);
        // Only cases that every sane tolerance decides alike.
        if (std::fabs(o1) < 1e-3 || std::fabs(o2) < 1e-3 || std::fabs(o3) < 1e-3 || std::fabs(o4) < 1e-3)
            continue;
        ++decided;
        const bool expected = (o1 > 0) != (o2 > 0) && (o3 > 0) != (o4 > 0);
        EXPECT_EQ(a.Crosses(b), expected) << i;
        EXPECT_EQ(b.Crosses(a), expected) << i;
        QvPoint out;
        EXPECT_EQ(a.Intersect(b, out), expected) << i;
    }
    EXPECT_GT(decided, 3000);
}

TEST(LineSeg, EqualityIgnoresOrientation)
{
    const QvLineSeg s(QvPoint(0, 0, 0), QvPoint(1, 2, 3));
    EXPECT_TRUE(s == QvLineSeg(QvPoint(0, 0, 0), QvPoint(1, 2, 3)));
    EXPECT_TRUE(s == QvLineSeg(QvPoint(1, 2, 3), QvPoint(0, 0, 0)));
    EXPECT_TRUE(s == QvLineSeg(QvPoint(5e-8, 0, 0), QvPoint(1, 2, 3 - 5e-8)));
    EXPECT_FALSE(s == QvLineSeg(QvPoint(0, 0, 0), QvPoint(1, 2, 3.001)));
    EXPECT_FALSE(s == QvLineSeg(QvPoint(0, 0, 0), QvPoint(0, 0, 0)));
}

} // namespace
