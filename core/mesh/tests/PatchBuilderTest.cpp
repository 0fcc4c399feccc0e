// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <set>
#include <vector>

#include "core/mesh/QvHolePatchBuilder.h"
#include "testing/MeshInvariants.h"
#include "testing/PointSets.h"

namespace {

std::vector<QvLineSeg> ChainOf(const std::vector<QvPoint>& outline)
{
    std::vector<QvLineSeg> segments;
    for (std::size_t i = 0; i < outline.size(); ++i)
        segments.emplace_back(outline[i], outline[(i + 1) % outline.size()]);
    return segments;
}

double Orient(const QvPoint& a, const QvPoint& b, const QvPoint& c)
{
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

std::array<QvPoint, 3> CornersOf(const QvMesh& patch, const QvFace& f)
{
    return {patch.m_vertices[f.m_vertices[0]].m_point, patch.m_vertices[f.m_vertices[1]].m_point,
            patch.m_vertices[f.m_vertices[2]].m_point};
}

double PolygonArea(const std::vector<QvPoint>& outline)
{
    double twice = 0.0;
    for (std::size_t i = 0; i < outline.size(); ++i)
    {
        const QvPoint& p = outline[i];
        const QvPoint& q = outline[(i + 1) % outline.size()];
        twice += p[0] * q[1] - q[0] * p[1];
    }
    return std::fabs(0.5 * twice);
}

bool InsidePolygon(const QvPoint& p, const std::vector<QvPoint>& outline)
{
    bool inside = false;
    for (std::size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++)
    {
        const QvPoint& a = outline[i];
        const QvPoint& b = outline[j];
        if ((a[1] > p[1]) != (b[1] > p[1]) && p[0] < (b[0] - a[0]) * (p[1] - a[1]) / (b[1] - a[1]) + a[0])
            inside = !inside;
    }
    return inside;
}

double DistanceToOutline(const QvPoint& p, const std::vector<QvPoint>& outline)
{
    double best = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < outline.size(); ++i)
        best = std::min(best, QvLineSeg(outline[i], outline[(i + 1) % outline.size()]).Distance(p));
    return best;
}

// Star-shaped about the origin, so simple, and deeply non-convex when the radii vary.
std::vector<QvPoint> RandomStarPolygon(qvtest::Rng& rng, int n, double minRadius)
{
    std::vector<double> angles;
    for (int i = 0; i < n; ++i)
        angles.push_back((i + qvtest::Uniform(rng, 0.1, 0.9)) * 6.283185307179586 / n);
    std::vector<QvPoint> outline;
    for (const double a : angles)
    {
        const double r = qvtest::Uniform(rng, minRadius, 1.0);
        outline.emplace_back(r * std::cos(a), r * std::sin(a), 0.0);
    }
    return outline;
}

// A comb: V-shaped notches cut down from the top edge, a classic trap for ear cutting.
std::vector<QvPoint> Comb(int teeth)
{
    std::vector<QvPoint> outline{QvPoint(0, 0, 0), QvPoint(2.0 * teeth - 1.0, 0, 0)};
    for (int t = teeth - 1; t >= 0; --t)
    {
        outline.emplace_back(2.0 * t + 1.0, 3.0, 0.0);
        outline.emplace_back(2.0 * t + 0.5, 0.7, 0.0);
        if (t > 0)
            outline.emplace_back(2.0 * t, 3.0, 0.0);
    }
    outline.emplace_back(0.0, 3.0, 0.0);
    return outline;
}

// Grid points inside the outline, kept a quarter spacing clear of it, as the smooth fill
// samples them.
std::vector<QvPoint> InteriorGrid(const std::vector<QvPoint>& outline, double spacing)
{
    double minX = 1e10, minY = 1e10, maxX = -1e10, maxY = -1e10;
    for (const QvPoint& p : outline)
    {
        minX = std::min(minX, p[0]);
        minY = std::min(minY, p[1]);
        maxX = std::max(maxX, p[0]);
        maxY = std::max(maxY, p[1]);
    }
    std::vector<QvPoint> points;
    for (double x = minX; x < maxX; x += spacing)
        for (double y = minY; y < maxY; y += spacing)
        {
            const QvPoint p(x, y, 0.0);
            if (InsidePolygon(p, outline) && DistanceToOutline(p, outline) > 0.25 * spacing)
                points.push_back(p);
        }
    return points;
}

// The patch covers exactly the polygon: every face non-degenerate with its centroid
// inside, face areas adding up to the polygon's area (any overlap would add area), one
// boundary loop through exactly the outline's vertices, and every point used.
void ExpectTriangulatesOutline(const QvHolePatchBuilder& builder, const std::vector<QvPoint>& outline,
                               std::size_t interiorPoints)
{
    const QvMesh& patch = builder.m_patch;
    ASSERT_TRUE(qvtest::MeshInvariantsHold(patch));
    double area = 0.0;
    for (const QvFace& f : patch.m_faces)
    {
        const auto [a, b, c] = CornersOf(patch, f);
        const double twice = std::fabs(Orient(a, b, c));
        EXPECT_GT(twice, 0.0) << "degenerate face " << f.m_index;
        area += 0.5 * twice;
        QvPoint centroid = a;
        centroid += b;
        centroid += c;
        centroid /= 3.0;
        EXPECT_TRUE(InsidePolygon(centroid, outline)) << "face " << f.m_index << " outside";
    }
    EXPECT_NEAR(area, PolygonArea(outline), 1e-9 * (1.0 + PolygonArea(outline)));
    EXPECT_EQ(patch.m_vertices.size(), outline.size() + interiorPoints);
    for (const QvVertex& v : patch.m_vertices)
        EXPECT_FALSE(v.m_edges.empty()) << "loose vertex " << v.m_index;

    std::vector<std::vector<int>> loops;
    patch.GetBoundaryLoops(loops);
    ASSERT_EQ(loops.size(), 1u);
    ASSERT_EQ(loops[0].size(), outline.size());
    std::set<int> rim(loops[0].begin(), loops[0].end());
    for (const QvPoint& p : outline)
    {
        int found = -1;
        for (const QvVertex& v : patch.m_vertices)
            if (v.m_point == p)
                found = v.m_index;
        EXPECT_EQ(rim.count(found), 1u);
    }
}

TEST(HolePatchBuilder, RandomPolygonsWithGridPointsTriangulateInsideTheirOutline)
{
    qvtest::Rng rng(20240611);
    for (int trial = 0; trial < 40; ++trial)
    {
        const int n = 5 + trial * 2;
        std::vector<QvPoint> outline = RandomStarPolygon(rng, n, trial % 2 == 0 ? 0.2 : 0.6);
        // Both windings: the builder finds the orientation itself.
        if (trial % 3 == 0)
            std::reverse(outline.begin(), outline.end());
        const std::vector<QvPoint> grid = InteriorGrid(outline, trial % 4 == 0 ? 0.05 : 0.13);
        std::vector<QvPoint> points = grid;
        points.insert(points.end(), outline.begin(), outline.end());
        SCOPED_TRACE(::testing::Message() << "trial " << trial << ", " << n << " outline points, " << grid.size()
                                          << " grid points");

        QvHolePatchBuilder builder(points, ChainOf(outline));
        ASSERT_TRUE(builder.Run());
        ExpectTriangulatesOutline(builder, outline, grid.size());
    }
}

TEST(HolePatchBuilder, NonConvexOutlinesWithoutInteriorPointsTriangulateInside)
{
    // Without interior points the outline's segments cut through many Delaunay faces,
    // so the re-triangulated cavities are long and non-convex.
    qvtest::Rng rng(7);
    std::vector<std::vector<QvPoint>> outlines{Comb(2), Comb(6)};
    for (int trial = 0; trial < 30; ++trial)
        outlines.push_back(RandomStarPolygon(rng, 8 + 3 * trial, 0.05));
    for (std::size_t k = 0; k < outlines.size(); ++k)
    {
        SCOPED_TRACE(::testing::Message() << "outline " << k);
        QvHolePatchBuilder builder(outlines[k], ChainOf(outlines[k]));
        ASSERT_TRUE(builder.Run());
        ExpectTriangulatesOutline(builder, outlines[k], 0);
    }
}

TEST(HolePatchBuilder, EarCuttingSkipsTheFlattestCornerWhenItsEarHoldsAVertex)
{
    // The flattest convex corner is V (about 157 degrees), but its ear U-V-W holds the
    // reflex vertex R: cutting it would overlap the rest of the polygon.
    const std::vector<QvPoint> polygon{QvPoint(0, 0, 0), QvPoint(5, -1, 0), QvPoint(10, 0, 0), QvPoint(10, 5, 0),
                                       QvPoint(5, -0.5, 0)};
    for (const bool clockwise : {false, true})
    {
        QvHolePatchBuilder builder;
        for (const QvPoint& p : polygon)
            builder.m_patch.AddVertex(p);
        std::vector<int> loop{0, 1, 2, 3, 4};
        if (clockwise)
            std::reverse(loop.begin(), loop.end());
        ASSERT_TRUE(builder.TriangulatePolygon(loop));
        ASSERT_EQ(builder.m_patch.m_faces.size(), 3u);
        double area = 0.0;
        for (const QvFace& f : builder.m_patch.m_faces)
        {
            const double twice = Orient(polygon[f.m_vertices[0]], polygon[f.m_vertices[1]], polygon[f.m_vertices[2]]);
            EXPECT_GT(twice, 0.0);
            area += 0.5 * twice;
        }
        EXPECT_NEAR(area, PolygonArea(polygon), 1e-12);
        std::vector<int> reflex{0, 1, 2, 3, 4};
        EXPECT_LT(builder.GetCornerAngle(reflex, 4), 0.0);
        EXPECT_NEAR(builder.GetCornerAngle(reflex, 1), std::acos(-24.0 / 26.0), 1e-12);
    }
}

TEST(HolePatchBuilder, EnclosingTriangleStrictlyHoldsEveryPoint)
{
    // The corners of the points' box: a triangle sized from the largest |x| or |y| alone
    // would pass through (1, 1).
    const std::vector<std::vector<QvPoint>> sets{
        {QvPoint(1, 1, 0), QvPoint(-1, -1, 0), QvPoint(1, -1, 0), QvPoint(-1, 1, 0)},
        {QvPoint(0, 0, 0)},
        {QvPoint(5, 5, 0), QvPoint(5.5, 5, 0)},
        qvtest::RandomPointsInCube(60, 3, 100.0, 100.001),
    };
    for (std::vector<QvPoint> points : sets)
    {
        for (QvPoint& p : points)
            p[2] = 0.0;
        QvHolePatchBuilder builder(points);
        ASSERT_TRUE(builder.Run());
        const QvMesh& patch = builder.m_patch;
        ASSERT_GE(patch.m_vertices.size(), 3u);
        const QvPoint& a = patch.m_vertices[0].m_point;
        const QvPoint& b = patch.m_vertices[1].m_point;
        const QvPoint& c = patch.m_vertices[2].m_point;
        const double sign = Orient(a, b, c) > 0.0 ? 1.0 : -1.0;
        for (const QvPoint& p : points)
        {
            EXPECT_GT(sign * Orient(a, b, p), 0.0);
            EXPECT_GT(sign * Orient(b, c, p), 0.0);
            EXPECT_GT(sign * Orient(c, a, p), 0.0);
        }
        // Points only: the Delaunay triangulation of the points inside the triangle,
        // 2n + 1 faces, all proper.
        EXPECT_EQ(patch.m_vertices.size(), points.size() + 3);
        EXPECT_EQ(patch.m_faces.size(), 2 * points.size() + 1);
        for (int f = 0; f < static_cast<int>(patch.m_faces.size()); ++f)
            EXPECT_TRUE(builder.IsFaceValid(f));
        EXPECT_TRUE(qvtest::MeshInvariantsHold(patch));
    }
}

TEST(HolePatchBuilder, EdgeCases)
{
    const std::vector<QvPoint> rectangle{QvPoint(0, 0, 0), QvPoint(2, 0, 0), QvPoint(2, 1, 0), QvPoint(0, 1, 0)};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case
    {
        const char* name;
        std::vector<QvPoint> points;
        std::vector<QvLineSeg> segments;
        bool ok;
        std::size_t vertices;
        std::size_t faces;
    };
    const Case cases[] = {
        {"nothing", {}, {}, true, 0, 0},
        {"segments without points", {}, ChainOf(rectangle), true, 0, 0},
        {"rectangle", rectangle, ChainOf(rectangle), true, 4, 2},
        // Segments 0 and 2 of the bow tie cross: refused before anything is built.
        {"crossing segments",
         {QvPoint(0, 0, 0), QvPoint(2, 0, 0), QvPoint(0, 1, 0), QvPoint(2, 1, 0)},
         ChainOf({QvPoint(0, 0, 0), QvPoint(2, 0, 0), QvPoint(0, 1, 0), QvPoint(2, 1, 0)}),
         false,
         0,
         0},
        {"not a number", {QvPoint(0, 0, 0), QvPoint(nan, 1, 0), QvPoint(1, 0, 0)}, {}, false, 0, 0},
        // A repeated point joins no face; the patch is otherwise the rectangle's.
        {"repeated point",
         {QvPoint(0, 0, 0), QvPoint(2, 0, 0), QvPoint(2, 1, 0), QvPoint(0, 1, 0), QvPoint(2, 1, 0)},
         ChainOf(rectangle),
         true,
         5,
         2},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        QvHolePatchBuilder builder(c.points, c.segments);
        EXPECT_EQ(builder.Run(), c.ok);
        EXPECT_EQ(builder.m_patch.m_vertices.size(), c.vertices);
        EXPECT_EQ(builder.m_patch.m_faces.size(), c.faces);
    }

    // A point inside a segment would be swallowed by the segment's cavity.
    std::vector<QvPoint> onSide = rectangle;
    onSide.emplace_back(1.0, 0.0, 0.0);
    QvHolePatchBuilder swallowed(onSide, ChainOf(rectangle));
    EXPECT_FALSE(swallowed.Run());
}

TEST(HolePatchBuilder, BoundaryIndicesFollowTheSegmentsAndAppendOnEveryCall)
{
    const std::vector<QvPoint> outline{QvPoint(0, 0, 0), QvPoint(3, 0, 0), QvPoint(3, 2, 0), QvPoint(1.5, 0.8, 0),
                                       QvPoint(0, 2, 0)};
    std::vector<QvPoint> points{QvPoint(1.5, 0.4, 0), QvPoint(2.5, 0.9, 0)};
    points.insert(points.end(), outline.begin(), outline.end());
    QvHolePatchBuilder builder(points, ChainOf(outline));
    ASSERT_TRUE(builder.Run());
    QvMesh copy;
    builder.GetPatch(copy);
    EXPECT_EQ(copy.m_faces.size(), builder.m_patch.m_faces.size());

    const std::vector<int> first = builder.GetBoundaryVertexIndices();
    ASSERT_EQ(first.size(), outline.size());
    for (std::size_t i = 0; i < outline.size(); ++i)
        EXPECT_EQ(builder.m_patch.m_vertices[first[i]].m_point, outline[i]);
    const std::vector<int>& second = builder.GetBoundaryVertexIndices();
    ASSERT_EQ(second.size(), 2 * outline.size());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), second.begin() + outline.size()));
}

TEST(HolePatchBuilder, CavitySplitEmptiesASideWithOnlyTheSegmentEnds)
{
    QvHolePatchBuilder builder;
    builder.m_patch.AddVertex(QvPoint(0, 0, 0));
    builder.m_patch.AddVertex(QvPoint(2, 0, 0));
    builder.m_patch.AddVertex(QvPoint(1, 1, 0));
    ASSERT_TRUE(builder.m_patch.AddFace(0, 1, 2, 0));
    std::vector<int> loop;
    ASSERT_TRUE(builder.GetCavityBoundary({0}, loop));
    EXPECT_EQ(loop.size(), 3u);
    EXPECT_EQ(loop.back(), 0);

    std::vector<int> right;
    std::vector<int> left;
    ASSERT_TRUE(builder.SplitCavity(loop, QvLineSeg(QvPoint(0, 0, 0), QvPoint(2, 0, 0)), right, left));
    EXPECT_TRUE(right.empty());
    ASSERT_EQ(left.size(), 3u);
    EXPECT_EQ(left[1], 2);
    // Nothing lies to the right, so cutting the segment in cannot account for a loop
    // without both of its ends.
    EXPECT_FALSE(builder.SplitCavity({0, 2}, QvLineSeg(QvPoint(0, 0, 0), QvPoint(2, 0, 0)), right, left));
}

// Insertion finds each point's face by walking from the newest face and tests only the
// circles of the faces it reaches: scattered points (far jumps between insertions) and
// a grid in row order with a wobble must still give the Delaunay triangulation, every
// circumcircle empty and the faces tiling the enclosing triangle exactly once.
TEST(HolePatchBuilder, PointInsertionKeepsEveryCircumcircleEmpty)
{
    std::vector<QvPoint> grid;
    const std::vector<QvPoint> jitter = qvtest::RandomPointsInCube(400, 11, -0.01, 0.01);
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j)
            grid.emplace_back(i + jitter[20 * i + j][0], j + jitter[20 * i + j][1], 0.0);
    std::vector<QvPoint> scattered = qvtest::RandomPointsInCube(300, 5, -10.0, 10.0);
    for (QvPoint& p : scattered)
        p[2] = 0.0;
    for (const std::vector<QvPoint>& points : {grid, scattered})
    {
        QvHolePatchBuilder builder(points);
        ASSERT_TRUE(builder.Run());
        const QvMesh& patch = builder.m_patch;
        ASSERT_EQ(patch.m_faces.size(), 2 * points.size() + 1);
        EXPECT_TRUE(qvtest::MeshInvariantsHold(patch));
        double area = 0.0;
        for (const QvFace& f : patch.m_faces)
        {
            const auto [a, b, c] = CornersOf(patch, f);
            const double o = Orient(a, b, c);
            area += 0.5 * std::fabs(o);
            // p lies inside the circle through a, b, c (the classic in-circle determinant,
            // its sign fixed by the triangle's orientation).
            for (const QvPoint& p : points)
            {
                const double ax = a[0] - p[0], ay = a[1] - p[1];
                const double bx = b[0] - p[0], by = b[1] - p[1];
                const double cx = c[0] - p[0], cy = c[1] - p[1];
                const double det = (ax * ax + ay * ay) * (bx * cy - cx * by) - (bx * bx + by * by) * (ax * cy - cx * ay) +
                                   (cx * cx + cy * cy) * (ax * by - bx * ay);
                const double scale = (ax * ax + ay * ay + bx * bx + by * by + cx * cx + cy * cy);
                EXPECT_LE((o > 0.0 ? det : -det), 1e-9 * scale * scale) << "a circumcircle holds a point";
            }
        }
        const QvPoint& a = patch.m_vertices[0].m_point;
        EXPECT_NEAR(area, 0.5 * std::fabs(Orient(a, patch.m_vertices[1].m_point, patch.m_vertices[2].m_point)),
                    1e-9 * area);
    }
}

TEST(HolePatchBuilder, RemoveSuperTriangleKeepsOnlyThePointsTriangulation)
{
    const std::vector<QvPoint> points{QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(0, 1, 0), QvPoint(1, 1.2, 0)};
    QvHolePatchBuilder builder(points);
    ASSERT_TRUE(builder.Run());
    builder.RemoveSuperTriangle();
    EXPECT_EQ(builder.m_patch.m_vertices.size(), 4u);
    EXPECT_EQ(builder.m_patch.m_faces.size(), 2u);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(builder.m_patch));

    QvHolePatchBuilder empty;
    empty.RemoveSuperTriangle();
    EXPECT_FALSE(empty.IsFaceValid(0));
}

TEST(HolePatchBuilder, IsFaceValidRejectsDegenerateFaces)
{
    QvHolePatchBuilder builder;
    builder.m_patch.AddVertex(QvPoint(0, 0, 0));
    builder.m_patch.AddVertex(QvPoint(1, 0, 0));
    builder.m_patch.AddVertex(QvPoint(2, 0, 0));
    builder.m_patch.AddVertex(QvPoint(1, 0, 0));
    builder.m_patch.AddVertex(QvPoint(0, 1, 0));
    ASSERT_TRUE(builder.m_patch.AddFace(0, 1, 2, 0)); // collinear
    ASSERT_TRUE(builder.m_patch.AddFace(1, 3, 4, 0)); // coincident corners
    ASSERT_TRUE(builder.m_patch.AddFace(0, 1, 4, 0)); // proper
    EXPECT_FALSE(builder.IsFaceValid(0));
    EXPECT_FALSE(builder.IsFaceValid(1));
    EXPECT_TRUE(builder.IsFaceValid(2));
    EXPECT_FALSE(builder.IsFaceValid(3));
    EXPECT_FALSE(builder.IsFaceValid(-1));
}

} // namespace
