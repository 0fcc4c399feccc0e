// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "core/mesh/QvTriangleCommand.h"
#include "testing/PointSets.h"

namespace {

using Xy = std::pair<double, double>;

std::vector<double> Flatten(const std::vector<Xy>& points)
{
    std::vector<double> out;
    for (const Xy& p : points)
    {
        out.push_back(p.first);
        out.push_back(p.second);
    }
    return out;
}

std::vector<std::int32_t> ClosedChain(int first, int count)
{
    std::vector<std::int32_t> out;
    for (int i = 0; i < count; ++i)
    {
        out.push_back(first + i);
        out.push_back(first + (i + 1) % count);
    }
    return out;
}

double Cross(const Xy& o, const Xy& a, const Xy& b)
{
    return (a.first - o.first) * (b.second - o.second) - (a.second - o.second) * (b.first - o.first);
}

double ShoelaceArea(const std::vector<Xy>& polygon)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < polygon.size(); ++i)
    {
        const Xy& a = polygon[i];
        const Xy& b = polygon[(i + 1) % polygon.size()];
        sum += a.first * b.second - a.second * b.first;
    }
    return 0.5 * std::fabs(sum);
}

// Andrew's monotone chain, strictly convex corners only.
double HullArea(std::vector<Xy> points)
{
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    std::vector<Xy> hull(2 * points.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < points.size(); ++i)
    {
        while (k >= 2 && Cross(hull[k - 2], hull[k - 1], points[i]) <= 0.0)
            --k;
        hull[k++] = points[i];
    }
    for (std::size_t i = points.size() - 1, t = k + 1; i > 0; --i)
    {
        while (k >= t && Cross(hull[k - 2], hull[k - 1], points[i - 1]) <= 0.0)
            --k;
        hull[k++] = points[i - 1];
    }
    hull.resize(k - 1);
    return ShoelaceArea(hull);
}

Xy OutputPoint(const QvTriangleCommand& cmd, int i)
{
    return {cmd.m_outputPoints[2 * i], cmd.m_outputPoints[2 * i + 1]};
}

// What a valid result must be, whatever triangles the library chose: every triangle
// counter-clockwise with positive area; every edge used once or, inside, twice in opposite
// directions; every edge used once lies on one of the given segments (so the boundary of
// the result is made of segments); and every segment is covered by collinear edges.
// Together with the total area this pins the covered region down.
struct Report
{
    double area = 0.0;
    std::size_t boundaryEdges = 0;
};

::testing::AssertionResult CheckTriangulation(const QvTriangleCommand& cmd, const std::vector<std::int32_t>& segments,
                                              bool boundaryOnSegments, Report& report)
{
    const int pointCount = static_cast<int>(cmd.m_outputPoints.size() / 2);
    if (cmd.m_outputTriangles.size() % 3 != 0 || cmd.m_outputTriangles.empty())
        return ::testing::AssertionFailure() << "bad triangle list size " << cmd.m_outputTriangles.size();
    std::map<std::pair<int, int>, int> directed;
    report = Report();
    for (std::size_t t = 0; t < cmd.m_outputTriangles.size(); t += 3)
    {
        const int v[3] = {cmd.m_outputTriangles[t], cmd.m_outputTriangles[t + 1], cmd.m_outputTriangles[t + 2]};
        for (int k = 0; k < 3; ++k)
            if (v[k] < 0 || v[k] >= pointCount)
                return ::testing::AssertionFailure() << "corner out of range: " << v[k];
        const double twice = Cross(OutputPoint(cmd, v[0]), OutputPoint(cmd, v[1]), OutputPoint(cmd, v[2]));
        if (!(twice > 0.0))
            return ::testing::AssertionFailure() << "triangle " << t / 3 << " not counter-clockwise: " << twice;
        report.area += 0.5 * twice;
        for (int k = 0; k < 3; ++k)
            if (++directed[{v[k], v[(k + 1) % 3]}] > 1)
                return ::testing::AssertionFailure() << "directed edge used twice";
    }

    // Segment lines, to test whether a boundary edge lies on a segment.
    auto onSegment = [&](int a, int b, int s0, int s1) {
        const Xy p = OutputPoint(cmd, s0), q = OutputPoint(cmd, s1);
        const Xy u = OutputPoint(cmd, a), w = OutputPoint(cmd, b);
        const double len2 = (q.first - p.first) * (q.first - p.first) + (q.second - p.second) * (q.second - p.second);
        const double tol = 1e-12 * len2;
        return std::fabs(Cross(p, q, u)) <= tol && std::fabs(Cross(p, q, w)) <= tol;
    };
    for (const auto& [edge, count] : directed)
    {
        if (directed.count({edge.second, edge.first}))
            continue;
        ++report.boundaryEdges;
        if (!boundaryOnSegments)
            continue;
        bool found = false;
        for (std::size_t s = 0; s + 1 < segments.size() && !found; s += 2)
            found = onSegment(edge.first, edge.second, segments[s], segments[s + 1]);
        if (!found)
            return ::testing::AssertionFailure() << "boundary edge " << edge.first << "-" << edge.second
                                                 << " lies on no segment";
    }

    // Each segment: walk from one end along collinear edges of the result to the other.
    // Triangles name the first of coincident points.
    auto canonical = [&](int i) {
        for (int j = 0; j < i; ++j)
            if (OutputPoint(cmd, j) == OutputPoint(cmd, i))
                return j;
        return i;
    };
    for (std::size_t s = 0; s + 1 < segments.size(); s += 2)
    {
        const int a = canonical(segments[s]), b = canonical(segments[s + 1]);
        const Xy pa = OutputPoint(cmd, a), pb = OutputPoint(cmd, b);
        if (pa == pb)
            continue;
        std::set<int> neighbours;
        int at = a;
        double reached = 0.0;
        const double dx = pb.first - pa.first, dy = pb.second - pa.second;
        const double len2 = dx * dx + dy * dy;
        for (int steps = 0; at != b && steps <= pointCount; ++steps)
        {
            int next = -1;
            for (const auto& [edge, count] : directed)
            {
                const int other = edge.first == at ? edge.second : (edge.second == at ? edge.first : -1);
                if (other < 0 || !onSegment(at, other, a, b))
                    continue;
                const Xy po = OutputPoint(cmd, other);
                const double t = ((po.first - pa.first) * dx + (po.second - pa.second) * dy) / len2;
                if (t > reached && t <= 1.0 + 1e-12)
                {
                    next = other;
                    reached = t;
                    break;
                }
            }
            if (next < 0)
                return ::testing::AssertionFailure() << "segment " << a << "-" << b << " is not made of edges";
            at = next;
        }
        if (at != b)
            return ::testing::AssertionFailure() << "segment " << a << "-" << b << " not reached";
    }
    return ::testing::AssertionSuccess();
}

// Star-shaped polygon about the origin with random radii; with notch, every third vertex
// is pulled deep towards the centre, which gives narrow concave notches.
std::vector<Xy> RandomStar(qvtest::Rng& rng, int n, double scale, bool notch)
{
    std::vector<Xy> out;
    const double step = 2.0 * M_PI / n;
    for (int i = 0; i < n; ++i)
    {
        const double angle = step * (i + qvtest::Uniform(rng, 0.05, 0.95));
        double r = qvtest::Uniform(rng, 0.3, 1.0);
        if (notch && i % 3 == 0)
            r = qvtest::Uniform(rng, 0.02, 0.06);
        out.push_back({scale * r * std::cos(angle), scale * r * std::sin(angle)});
    }
    return out;
}

TEST(TriangleCommand, UnitSquareWithoutSegmentsGivesTwoTriangles)
{
    QvTriangleCommand cmd(std::vector<double>{0, 0, 1, 0, 1, 1, 0, 1}, {});
    ASSERT_TRUE(cmd.Execute());
    EXPECT_EQ(cmd.m_outputTriangles.size(), 6u);
    EXPECT_EQ(cmd.m_outputPoints, cmd.m_inputPoints);
    Report report;
    EXPECT_TRUE(CheckTriangulation(cmd, {}, false, report));
    EXPECT_NEAR(report.area, 1.0, 1e-15);
}

TEST(TriangleCommand, SquareInSpaceBecomesClosedOutlineInItsPlane)
{
    // A unit square turned and moved in space; its flattened form keeps the side lengths
    // with the first point at the origin and the second on +x.
    const QvVector u = QvVector(1, 2, 2) / 3.0;
    const QvVector v = QvVector(2, 1, -2) / 3.0;
    const QvPoint o(5, -3, 7);
    const std::vector<QvPoint> square = {o, o + 2.0 * u, o + 2.0 * u + 2.0 * v, o + 2.0 * v};
    QvTriangleCommand cmd(square);
    EXPECT_EQ(cmd.m_segments, (std::vector<std::int32_t>{0, 1, 1, 2, 2, 3, 3, 0}));
    ASSERT_EQ(cmd.m_inputPoints.size(), 8u);
    const double expected[8] = {0, 0, 2, 0, 2, 2, 0, 2};
    for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(std::fabs(cmd.m_inputPoints[i]), expected[i], 1e-12) << i;
    ASSERT_TRUE(cmd.Execute());
    EXPECT_EQ(cmd.m_outputPoints, cmd.m_inputPoints);
    Report report;
    EXPECT_TRUE(CheckTriangulation(cmd, cmd.m_segments, true, report));
    EXPECT_NEAR(report.area, 4.0, 1e-12);

    QvTriangleCommand points(square, QvTriangleCommand::Shape::PointSet);
    EXPECT_TRUE(points.m_segments.empty());
    EXPECT_EQ(points.m_inputPoints, cmd.m_inputPoints);
}

TEST(TriangleCommand, CountsDropTrailingOddNumbers)
{
    // One stray integer is no segment: the concave outline is then covered to its hull.
    const std::vector<Xy> lShape = {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}};
    QvTriangleCommand hull(Flatten(lShape), {3});
    ASSERT_TRUE(hull.Execute());
    Report report;
    EXPECT_TRUE(CheckTriangulation(hull, {}, false, report));
    EXPECT_NEAR(report.area, 3.5, 1e-12);

    // A trailing x without its y is not a point.
    std::vector<double> coords = Flatten(lShape);
    coords.push_back(100.0);
    std::vector<std::int32_t> segments = ClosedChain(0, 6);
    segments.push_back(6); // half a segment, ignored too
    QvTriangleCommand outline(coords, segments);
    ASSERT_TRUE(outline.Execute());
    EXPECT_EQ(outline.m_outputPoints.size(), 12u);
    EXPECT_TRUE(CheckTriangulation(outline, ClosedChain(0, 6), true, report));
    EXPECT_NEAR(report.area, 3.0, 1e-12);
}

TEST(TriangleCommand, ExecuteAgainReplacesTheOutputs)
{
    QvTriangleCommand cmd(std::vector<double>{0, 0, 1, 0, 1, 1, 0, 1}, ClosedChain(0, 4));
    ASSERT_TRUE(cmd.Execute());
    const std::vector<std::int32_t> first = cmd.m_outputTriangles;
    ASSERT_TRUE(cmd.Execute());
    EXPECT_EQ(cmd.m_outputTriangles, first);
    EXPECT_EQ(cmd.m_outputPoints.size(), 8u);

    // A failed run leaves nothing of the earlier result behind.
    cmd.m_inputPoints = {0, 0, 1, 1, 2, 2, 3, 3};
    EXPECT_FALSE(cmd.Execute());
    EXPECT_TRUE(cmd.m_outputPoints.empty());
    EXPECT_TRUE(cmd.m_outputTriangles.empty());
}

TEST(TriangleCommand, RandomOutlinesAreFilledExactly)
{
    qvtest::Rng rng(20240611);
    for (int trial = 0; trial < 120; ++trial)
    {
        const int n = 3 + trial % 60 + (trial >= 100 ? 400 : 0);
        const double scale = trial % 3 == 0 ? 1e-3 : (trial % 3 == 1 ? 1.0 : 1e3);
        const bool notch = trial % 2 == 1 && n >= 6;
        const std::vector<Xy> polygon = RandomStar(rng, n, scale, notch);
        const std::vector<std::int32_t> segments = ClosedChain(0, n);
        QvTriangleCommand cmd(Flatten(polygon), segments);
        ASSERT_TRUE(cmd.Execute()) << "trial " << trial;
        EXPECT_EQ(cmd.m_outputPoints, cmd.m_inputPoints) << "trial " << trial;
        EXPECT_EQ(cmd.m_outputTriangles.size(), 3u * (n - 2)) << "trial " << trial;
        Report report;
        ASSERT_TRUE(CheckTriangulation(cmd, segments, true, report)) << "trial " << trial;
        EXPECT_EQ(report.boundaryEdges, static_cast<std::size_t>(n)) << "trial " << trial;
        const double expected = ShoelaceArea(polygon);
        EXPECT_NEAR(report.area, expected, 1e-9 * expected) << "trial " << trial;
    }
}

TEST(TriangleCommand, ClockwiseOutlineGivesCounterClockwiseTriangles)
{
    std::vector<Xy> polygon = {{0, 0}, {0, 1}, {0.5, 0.4}, {1, 1}, {1, 0}};
    QvTriangleCommand cmd(Flatten(polygon), ClosedChain(0, 5));
    ASSERT_TRUE(cmd.Execute());
    Report report;
    EXPECT_TRUE(CheckTriangulation(cmd, ClosedChain(0, 5), true, report));
    EXPECT_NEAR(report.area, ShoelaceArea(polygon), 1e-15);
}

TEST(TriangleCommand, HolePointsCarveTheRegionAroundThem)
{
    qvtest::Rng rng(77);
    for (int trial = 0; trial < 10; ++trial)
    {
        // Outer star and a small inner star with its own closed chain.
        const int n = 12 + trial, m = 5 + trial;
        // Radii 3 to 10 outside, 0.6 to 2 inside: the two never meet.
        const std::vector<Xy> outer = RandomStar(rng, n, 10.0, false);
        const std::vector<Xy> inner = RandomStar(rng, m, 2.0, false);
        std::vector<Xy> all = outer;
        all.insert(all.end(), inner.begin(), inner.end());
        std::vector<std::int32_t> segments = ClosedChain(0, n);
        const std::vector<std::int32_t> innerChain = ClosedChain(n, m);
        segments.insert(segments.end(), innerChain.begin(), innerChain.end());

        // Without a hole point the enclosed inner region stays filled.
        QvTriangleCommand filled(Flatten(all), segments);
        ASSERT_TRUE(filled.Execute());
        Report report;
        ASSERT_TRUE(CheckTriangulation(filled, segments, true, report));
        EXPECT_NEAR(report.area, ShoelaceArea(outer), 1e-9 * ShoelaceArea(outer));

        QvTriangleCommand ring(Flatten(all), segments);
        ring.m_holePoints = {0.0, 0.0, 500.0, 500.0}; // the second lies outside and does nothing
        ASSERT_TRUE(ring.Execute());
        ASSERT_TRUE(CheckTriangulation(ring, segments, true, report));
        const double expected = ShoelaceArea(outer) - ShoelaceArea(inner);
        EXPECT_NEAR(report.area, expected, 1e-9 * expected);
        EXPECT_EQ(report.boundaryEdges, static_cast<std::size_t>(n + m));
    }
}

TEST(TriangleCommand, PointSetCoversTheConvexHull)
{
    for (std::uint64_t seed = 1; seed <= 8; ++seed)
    {
        const std::vector<QvPoint> cloud = qvtest::RandomPointsInCube(50 * seed, seed);
        std::vector<Xy> points;
        for (const QvPoint& p : cloud)
            points.push_back({p[0], p[1]});
        QvTriangleCommand cmd(Flatten(points), {});
        ASSERT_TRUE(cmd.Execute());
        EXPECT_EQ(cmd.m_outputPoints, cmd.m_inputPoints);
        Report report;
        ASSERT_TRUE(CheckTriangulation(cmd, {}, false, report));
        const double expected = HullArea(points);
        EXPECT_NEAR(report.area, expected, 1e-9 * expected);
        // Every point is a corner of some triangle (none inside is left out).
        std::set<int> used(cmd.m_outputTriangles.begin(), cmd.m_outputTriangles.end());
        EXPECT_EQ(used.size(), points.size());
    }

    // A concave loop given as a point set in space: the hull, including the notch.
    const std::vector<QvPoint> loop = {{0, 0, 1}, {4, 0, 1}, {4, 4, 1}, {2, 1, 1}, {0, 4, 1}};
    QvTriangleCommand base(loop, QvTriangleCommand::Shape::PointSet);
    ASSERT_TRUE(base.Execute());
    Report report;
    ASSERT_TRUE(CheckTriangulation(base, {}, false, report));
    EXPECT_NEAR(report.area, 16.0, 1e-12);
    EXPECT_EQ(base.m_outputTriangles.size(), 12u); // 4 hull corners, 1 inside
}

TEST(TriangleCommand, VerticesOnSegmentsSplitThemAndStrayPointsStayOut)
{
    // Square outline; point 4 lies on side 0-1, point 5 inside, point 6 outside.
    const std::vector<Xy> points = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {2, 0}, {1, 3}, {9, 9}};
    const std::vector<std::int32_t> segments = ClosedChain(0, 4);
    QvTriangleCommand cmd(Flatten(points), segments);
    ASSERT_TRUE(cmd.Execute());
    EXPECT_EQ(cmd.m_outputPoints.size(), 14u);
    Report report;
    ASSERT_TRUE(CheckTriangulation(cmd, segments, true, report));
    EXPECT_NEAR(report.area, 16.0, 1e-12);
    const std::set<int> used(cmd.m_outputTriangles.begin(), cmd.m_outputTriangles.end());
    EXPECT_EQ(used, (std::set<int>{0, 1, 2, 3, 4, 5}));
}

TEST(TriangleCommand, DuplicatePointsAndTouchingOutlines)
{
    // Point 2 repeats point 1: triangles use the first of the two.
    const std::vector<Xy> square = {{0, 0}, {1, 0}, {1, 0}, {1, 1}, {0, 1}};
    QvTriangleCommand dup(Flatten(square), ClosedChain(0, 5));
    ASSERT_TRUE(dup.Execute());
    EXPECT_EQ(dup.m_outputPoints.size(), 10u);
    EXPECT_EQ(std::count(dup.m_outputTriangles.begin(), dup.m_outputTriangles.end(), 2), 0);
    Report report;
    ASSERT_TRUE(CheckTriangulation(dup, ClosedChain(0, 5), true, report));
    EXPECT_NEAR(report.area, 1.0, 1e-15);

    // Two squares meeting at one corner, walked as one outline: touching is no crossing.
    const std::vector<Xy> bow = {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}, {0, 1}};
    QvTriangleCommand touch(Flatten(bow), ClosedChain(0, 8));
    ASSERT_TRUE(touch.Execute());
    ASSERT_TRUE(CheckTriangulation(touch, ClosedChain(0, 8), true, report));
    EXPECT_NEAR(report.area, 2.0, 1e-15);
}

TEST(TriangleCommand, DegenerateInputsFailWithEmptyOutput)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case
    {
        const char* name;
        std::vector<double> points;
        std::vector<std::int32_t> segments;
    };
    const std::vector<Case> cases = {
        {"no points", {}, {}},
        {"one point", {1, 2}, {}},
        {"two points", {0, 0, 1, 0}, {0, 1}},
        {"three identical", {1, 1, 1, 1, 1, 1}, {}},
        {"two distinct of four", {0, 0, 1, 0, 0, 0, 1, 0}, ClosedChain(0, 4)},
        {"collinear set", {0, 0, 1, 1, 2, 2, 5, 5}, {}},
        {"collinear outline", {0, 0, 1, 1, 2, 2, 5, 5}, ClosedChain(0, 4)},
        {"self-crossing outline", {0, 0, 1, 1, 1, 0, 0, 1}, ClosedChain(0, 4)},
        {"crossing star", {0, 0, 2, 4, 4, 0, -1, 2.5, 5, 2.5}, ClosedChain(0, 5)},
        {"not a number", {0, 0, 1, 0, nan, 1}, {}},
        {"infinite", {0, 0, 1, 0, 0, inf}, {}},
        {"segment index too large", {0, 0, 1, 0, 0, 1}, {0, 1, 1, 3}},
        {"negative segment index", {0, 0, 1, 0, 0, 1}, {0, 1, -1, 2}},
        // Open chain: nothing is enclosed, so nothing is left.
        {"open chain", {0, 0, 1, 0, 1, 1, 0, 1}, {0, 1, 1, 2, 2, 3}},
    };
    for (const Case& c : cases)
    {
        QvTriangleCommand cmd(c.points, c.segments);
        cmd.m_outputPoints = {1.0, 2.0};
        cmd.m_outputTriangles = {0, 0, 0};
        EXPECT_FALSE(cmd.Execute()) << c.name;
        EXPECT_TRUE(cmd.m_outputPoints.empty()) << c.name;
        EXPECT_TRUE(cmd.m_outputTriangles.empty()) << c.name;
    }

    // The same through the 3-D constructor.
    for (const std::vector<QvPoint>& points :
         {std::vector<QvPoint>{}, std::vector<QvPoint>{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}},
          std::vector<QvPoint>{{0, 0, 0}, {1, 1, 1}, {3, 3, 3}, {-2, -2, -2}}})
    {
        QvTriangleCommand outline(points);
        EXPECT_FALSE(outline.Execute());
        QvTriangleCommand set(points, QvTriangleCommand::Shape::PointSet);
        EXPECT_FALSE(set.Execute());
        EXPECT_TRUE(set.m_outputTriangles.empty());
    }
}

} // namespace
