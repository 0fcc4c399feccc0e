// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "core/geometry/QvPolyline.h"
#include "core/mesh/QvMesh.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"
#include "testing/PointSets.h"

namespace {

using qvtest::IsConsistentlyOriented;
using qvtest::MeshInvariantsHold;

double MeshArea(const QvMesh& mesh)
{
    double area = 0.0;
    for (const QvFace& f : mesh.m_faces)
    {
        const QvPoint& a = mesh.m_vertices[f.m_vertices[0]].m_point;
        const QvPoint& b = mesh.m_vertices[f.m_vertices[1]].m_point;
        const QvPoint& c = mesh.m_vertices[f.m_vertices[2]].m_point;
        area += 0.5 * (b - a).Cross(c - a).Length();
    }
    return area;
}

// Area of a polygon in the x-y plane.
double ShoelaceArea(const std::vector<QvPoint>& polygon)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < polygon.size(); ++i)
    {
        const QvPoint& a = polygon[i];
        const QvPoint& b = polygon[(i + 1) % polygon.size()];
        sum += a[0] * b[1] - a[1] * b[0];
    }
    return 0.5 * std::fabs(sum);
}

// A rigid placement that tilts the x-y plane in every axis.
struct Placement
{
    QvVector u = QvVector(1, 2, 2) / 3.0;
    QvVector v = QvVector(2, 1, -2) / 3.0;
    QvVector n = QvVector(-2, 2, -1) / 3.0; // u x v
    QvPoint origin = QvPoint(12.5, -4.0, 31.0);

    QvPoint operator()(const QvPoint& p) const { return origin + p[0] * u + p[1] * v + p[2] * n; }
};

QvPolyline Closed(std::vector<QvPoint> points)
{
    points.push_back(points.front());
    return QvPolyline(points);
}

std::vector<QvPoint> RandomStar(qvtest::Rng& rng, int n, double scale)
{
    std::vector<QvPoint> out;
    const double step = 2.0 * M_PI / n;
    for (int i = 0; i < n; ++i)
    {
        const double angle = step * (i + qvtest::Uniform(rng, 0.05, 0.95));
        // Every fourth corner pulled in deep: concave notches.
        const double r = i % 4 == 0 && n > 6 ? qvtest::Uniform(rng, 0.05, 0.1) : qvtest::Uniform(rng, 0.4, 1.0);
        out.push_back(QvPoint(scale * r * std::cos(angle), scale * r * std::sin(angle), 0.0));
    }
    return out;
}

// Flat, filled, consistently wound, normals all along one side of the plane normal.
void ExpectFilledOutline(const QvMesh& mesh, const std::vector<QvPoint>& outline, double area, const QvVector& normal)
{
    ASSERT_TRUE(MeshInvariantsHold(mesh));
    EXPECT_TRUE(IsConsistentlyOriented(mesh));
    ASSERT_EQ(mesh.m_vertices.size(), outline.size());
    for (std::size_t i = 0; i < outline.size(); ++i)
    {
        EXPECT_EQ(mesh.m_vertices[i].m_point[0], outline[i][0]);
        EXPECT_EQ(mesh.m_vertices[i].m_point[1], outline[i][1]);
        EXPECT_EQ(mesh.m_vertices[i].m_point[2], outline[i][2]);
    }
    EXPECT_EQ(mesh.m_faces.size(), outline.size() - 2);
    EXPECT_NEAR(MeshArea(mesh), area, 1e-9 * area);
    // Winding from the positions: every face turns the same way about the plane normal.
    // Stored normals only where the zero test lets a face have one (tiny faces get (1, 0, 0)).
    double side = 0.0;
    for (const QvFace& f : mesh.m_faces)
    {
        const QvPoint& a = mesh.m_vertices[f.m_vertices[0]].m_point;
        const QvPoint& b = mesh.m_vertices[f.m_vertices[1]].m_point;
        const QvPoint& c = mesh.m_vertices[f.m_vertices[2]].m_point;
        const QvVector turn = (b - a).Cross(c - b);
        const double s = turn.Dot(normal) > 0.0 ? 1.0 : -1.0;
        if (side == 0.0)
            side = s;
        EXPECT_EQ(s, side);
        EXPECT_NEAR(std::fabs(turn.Dot(normal)), turn.Length(), 1e-9 * turn.Length());
        if (!turn.IsZero())
            EXPECT_NEAR(f.m_normal.Dot(normal), side, 1e-9);
    }
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    ASSERT_EQ(loops.size(), 1u);
    EXPECT_EQ(loops[0].size(), outline.size());
}

TEST(CreateFromPolygon, ClosedSquareGivesTwoTrianglesFacingOneWay)
{
    const std::vector<QvPoint> square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const std::unique_ptr<QvMesh> mesh = QvMesh::CreateFromPolygon(Closed(square));
    ASSERT_NE(mesh, nullptr);
    ExpectFilledOutline(*mesh, square, 1.0, QvVector(0, 0, 1));
    ASSERT_EQ(mesh->m_faces.size(), 2u);
    EXPECT_EQ(mesh->m_faces[0].m_normal, mesh->m_faces[1].m_normal);
    EXPECT_EQ(mesh->m_faces[0].m_tag, 0);
    EXPECT_EQ(mesh->m_bbox.m_maxPoint, QvPoint(1, 1, 0));
}

TEST(CreateFromPolygon, RefusesWhatCannotBeFilled)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case
    {
        const char* name;
        std::vector<QvPoint> points; // as given to the polyline, closing point included
    };
    const std::vector<Case> cases = {
        {"empty", {}},
        {"open", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}},
        {"three points, two distinct", {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}}},
        {"on one line", {{0, 0, 0}, {1, 1, 0}, {3, 3, 0}, {0, 0, 0}}},
        {"two distinct of four", {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
        {"bow-tie without area", {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}}},
        {"pentagram", {{0, 0, 0}, {2, 4, 0}, {4, 0, 0}, {-1, 2.5, 0}, {5, 2.5, 0}, {0, 0, 0}}},
        {"not a number", {{0, 0, 0}, {1, 0, 0}, {nan, 1, 0}, {0, 0, 0}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QvMesh::CreateFromPolygon(QvPolyline(c.points)), nullptr) << c.name;
}

TEST(CreateFromPolygon, RandomOutlinesInSpaceAreFilledExactly)
{
    qvtest::Rng rng(4242);
    const Placement place;
    for (int trial = 0; trial < 30; ++trial)
    {
        const double scale = trial % 3 == 0 ? 1e-3 : (trial % 3 == 1 ? 1.0 : 1e3);
        const int n = 3 + trial * 7;
        const std::vector<QvPoint> flat = RandomStar(rng, n, scale);
        std::vector<QvPoint> outline;
        for (const QvPoint& p : flat)
            outline.push_back(place(p));
        SCOPED_TRACE(trial);
        const std::unique_ptr<QvMesh> mesh = QvMesh::CreateFromPolygon(Closed(outline));
        ASSERT_NE(mesh, nullptr);
        ExpectFilledOutline(*mesh, outline, ShoelaceArea(flat), place.n);
    }
}

TEST(CreateFromPolygon, StraightOrReflexFirstCornerStillFindsThePlane)
{
    // A straight first corner has no normal of its own; small outlines also make the
    // corner's cross product smaller than the zero test.
    const Placement place;
    for (const double scale : {1e-4, 1.0, 1e3})
    {
        const std::vector<QvPoint> straight = {{0, 0, 0}, {0.5, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
        const std::vector<QvPoint> reflex = {{0, 0, 0}, {0.5, 0.3, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
        for (const std::vector<QvPoint>* shape : {&straight, &reflex})
        {
            std::vector<QvPoint> outline;
            for (const QvPoint& p : *shape)
                outline.push_back(place(p * scale));
            const std::unique_ptr<QvMesh> mesh = QvMesh::CreateFromPolygon(Closed(outline));
            ASSERT_NE(mesh, nullptr) << scale;
            ExpectFilledOutline(*mesh, outline, ShoelaceArea(*shape) * scale * scale, place.n);
        }
    }
}

TEST(CreateFromPolygon, KeepsOutlinePointsThatAreNotCoplanar)
{
    qvtest::Rng rng(9);
    std::vector<QvPoint> outline = RandomStar(rng, 40, 5.0);
    for (QvPoint& p : outline)
        p[2] = qvtest::Uniform(rng, -0.05, 0.05);
    const std::unique_ptr<QvMesh> mesh = QvMesh::CreateFromPolygon(Closed(outline));
    ASSERT_NE(mesh, nullptr);
    ASSERT_TRUE(MeshInvariantsHold(*mesh));
    EXPECT_TRUE(IsConsistentlyOriented(*mesh));
    ASSERT_EQ(mesh->m_vertices.size(), outline.size());
    for (std::size_t i = 0; i < outline.size(); ++i)
        EXPECT_EQ(mesh->m_vertices[i].m_point.Distance(outline[i]), 0.0);
    EXPECT_EQ(mesh->m_faces.size(), outline.size() - 2);
}

std::vector<QvPoint> SoupOf(const QvMesh& mesh)
{
    std::vector<QvPoint> corners;
    for (const QvFace& f : mesh.m_faces)
        for (int k = 0; k < 3; ++k)
            corners.push_back(mesh.m_vertices[f.m_vertices[k]].m_point);
    return corners;
}

TEST(BuildFromTriangleSoup, WeldsCornersWithinTolerance)
{
    // Two triangles sharing an edge whose copies differ by 1e-8; a degenerate triangle;
    // a trailing pair of corners.
    const std::vector<QvPoint> corners = {
        {0, 0, 0},   {1, 0, 0},        {0, 1, 0},        // first
        {1, 1e-8, 0}, {1, 1, 0},       {1e-8, 1, 1e-8}, // second, sharing (1,0,0)-(0,1,0)
        {5, 5, 5},   {5, 5, 5 + 5e-8}, {6, 5, 5},        // two corners coincide: dropped
        {7, 7, 7},   {8, 8, 8},                          // incomplete
    };
    QvMesh mesh;
    ASSERT_TRUE(mesh.BuildFromTriangleSoup(corners));
    ASSERT_TRUE(MeshInvariantsHold(mesh));
    EXPECT_EQ(mesh.m_faces.size(), 2u);
    // Corners of the dropped triangle still become vertices, in order of appearance.
    ASSERT_EQ(mesh.m_vertices.size(), 6u);
    EXPECT_EQ(mesh.m_vertices[1].m_point, QvPoint(1, 0, 0));
    EXPECT_EQ(mesh.m_vertices[3].m_point[0], 1.0);
    EXPECT_EQ(mesh.m_vertices[3].m_point[1], 1.0);
    EXPECT_EQ(mesh.m_edges.size(), 5u);
    EXPECT_TRUE(IsConsistentlyOriented(mesh));
    for (const QvFace& f : mesh.m_faces)
        EXPECT_EQ(f.m_normal, QvVector(0, 0, 1));

    // Just over the tolerance apart: two vertices.
    QvMesh apart;
    ASSERT_TRUE(apart.BuildFromTriangleSoup({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1 + 2e-7, 0, 0}, {1, 1, 0}, {0, 1, 0}}));
    EXPECT_EQ(apart.m_vertices.size(), 5u);
}

TEST(BuildFromTriangleSoup, RebuildsClosedMeshesAtEveryScale)
{
    qvtest::Rng rng(3);
    for (const double scale : {1e-3, 1.0, 1e3})
    {
        for (const QvMesh& source : {qvtest::MakeCube(scale), qvtest::MakeSphere(3, scale)})
        {
            std::vector<QvPoint> corners = SoupOf(source);
            // Copies of one corner disagree in the last bits, as written by float STL.
            for (QvPoint& p : corners)
                for (int k = 0; k < 3; ++k)
                    p[k] += qvtest::Uniform(rng, -2e-8, 2e-8);
            QvMesh mesh;
            ASSERT_TRUE(mesh.BuildFromTriangleSoup(corners));
            ASSERT_TRUE(MeshInvariantsHold(mesh));
            EXPECT_EQ(mesh.m_vertices.size(), source.m_vertices.size()) << scale;
            EXPECT_EQ(mesh.m_faces.size(), source.m_faces.size());
            EXPECT_EQ(mesh.m_edges.size(), source.m_edges.size());
            EXPECT_TRUE(mesh.IsClosed());
            EXPECT_TRUE(IsConsistentlyOriented(mesh));
            for (std::size_t f = 0; f < mesh.m_faces.size(); ++f)
                EXPECT_GT(mesh.m_faces[f].m_normal.Dot(source.m_faces[f].m_normal), 0.999) << f;
            double lowest = 1e10, highest = -1e10;
            for (const QvVertex& v : source.m_vertices)
            {
                lowest = std::min(lowest, v.m_point[2]);
                highest = std::max(highest, v.m_point[2]);
            }
            EXPECT_NEAR(mesh.m_bbox.m_minPoint[2], lowest, 1e-7);
            EXPECT_NEAR(mesh.m_bbox.m_maxPoint[2], highest, 1e-7);
        }
    }
}

TEST(BuildFromTriangleSoup, SkipsWhatTheMeshCannotHold)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Three triangles on one edge (the third is refused) and one with a corner that is
    // not a number.
    const std::vector<QvPoint> corners = {
        {0, 0, 0}, {1, 0, 0}, {0, 1, 0},  {1, 0, 0},   {0, 0, 0}, {0, -1, 0},
        {0, 0, 0}, {1, 0, 0}, {0, 0, 1},  {nan, 0, 0}, {2, 0, 0}, {2, 1, 0},
    };
    QvMesh mesh;
    ASSERT_TRUE(mesh.BuildFromTriangleSoup(corners));
    ASSERT_TRUE(MeshInvariantsHold(mesh));
    EXPECT_EQ(mesh.m_faces.size(), 2u);
    EXPECT_EQ(mesh.m_vertices.size(), 5u);

    // A mesh that already has elements is left alone.
    QvMesh strip = qvtest::MakeTwoTriangleStrip();
    EXPECT_FALSE(strip.BuildFromTriangleSoup(corners));
    EXPECT_EQ(strip.m_vertices.size(), 4u);
    EXPECT_EQ(strip.m_faces.size(), 2u);

    QvMesh empty;
    ASSERT_TRUE(empty.BuildFromTriangleSoup({}));
    EXPECT_TRUE(empty.m_vertices.empty());
}

} // namespace
