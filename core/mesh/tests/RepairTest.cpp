// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <random>
#include <set>
#include <vector>

#include "core/mesh/QvMesh.h"
#include "core/mesh/tests/MeshTestUtil.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

using meshtest::MeshOf;

using qvtest::IsConsistentlyOriented;
using qvtest::MeshInvariantsHold;

std::vector<std::array<int, 3>> Corners(const QvMesh& mesh)
{
    std::vector<std::array<int, 3>> out;
    for (const QvFace& f : mesh.m_faces)
        out.push_back({f.m_vertices[0], f.m_vertices[1], f.m_vertices[2]});
    return out;
}

QvPoint Sum(const QvPoint& a, const QvPoint& b) { return a + (b - QvPoint()); }

void ExpectNear(const QvPoint& a, const QvPoint& b, double tolerance)
{
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(a[k], b[k], tolerance) << "axis " << k;
}

// Every vertex's faces form one fan: the two forms of the face list agree in length.
bool EveryVertexOneFan(const QvMesh& mesh)
{
    std::vector<int> ordered, unordered;
    for (int v = 0; v < static_cast<int>(mesh.m_vertices.size()); ++v)
    {
        ordered.clear();
        mesh.GetVertexFaces(v, ordered, true);
        mesh.GetVertexFaces(v, unordered, false);
        if (ordered.size() != unordered.size())
            return false;
    }
    return true;
}

// Two square pyramids meeting at their apex 0, each closed by a base of two faces.
QvMesh PinchedCones()
{
    std::vector<QvPoint> points{{0, 0, 0}};
    for (const double z : {1.0, -1.0})
        for (int i = 0; i < 4; ++i)
            points.emplace_back(std::cos(kQvTwoPi * i / 4), std::sin(kQvTwoPi * i / 4), z);
    std::vector<std::array<int, 3>> faces;
    for (int i = 0; i < 4; ++i)
    {
        faces.push_back({0, 1 + i, 1 + (i + 1) % 4});
        faces.push_back({0, 5 + (i + 1) % 4, 5 + i});
    }
    faces.push_back({1, 3, 2});
    faces.push_back({1, 4, 3});
    faces.push_back({5, 6, 7});
    faces.push_back({5, 7, 8});
    return MeshOf(points, faces);
}

// ---- Copy -----------------------------------------------------------------------------

TEST(MeshRepair, CopyMeshDataKeepsIdentity)
{
    QvMesh source = qvtest::MakeGrid(5, 2);
    source.m_colors.assign(10, QvColor(1, 2, 3));
    source.UpdateBBox();
    QvMesh target = qvtest::MakeGrid(10, 100);
    target.m_bModified = false;
    target.m_state = 0x13;
    const std::int32_t id = target.GetID();

    target.CopyMeshData(source);
    EXPECT_EQ(target.m_vertices.size(), 10u);
    EXPECT_EQ(Corners(target), Corners(source));
    EXPECT_EQ(target.m_colors.size(), 10u);
    ExpectNear(target.m_bbox.m_maxPoint, QvPoint(4, 1, 0), 0);
    EXPECT_EQ(target.GetID(), id);
    EXPECT_EQ(target.m_state, 0x13u);
    EXPECT_FALSE(target.m_bModified);
    EXPECT_TRUE(MeshInvariantsHold(target));

    target.CopyMeshData(target);
    EXPECT_EQ(Corners(target), Corners(source));
}

// ---- Face-removal repair --------------------------------------------------------------

TEST(MeshRepair, RemoveFacesAroundPinchedVertices)
{
    // A bow-tie loses both triangles and, with them, every vertex.
    QvMesh bowTie = MeshOf({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}}, {{0, 1, 2}, {2, 3, 4}});
    bowTie.RepairTopology(true);
    EXPECT_TRUE(bowTie.m_faces.empty());
    EXPECT_TRUE(bowTie.m_edges.empty());
    EXPECT_TRUE(bowTie.m_vertices.empty());

    // Pinched pyramids: the eight faces at the apex go, the two bases stay.
    QvMesh cones = PinchedCones();
    cones.RepairTopology(true);
    EXPECT_EQ(cones.m_faces.size(), 4u);
    EXPECT_EQ(cones.m_vertices.size(), 8u);
    EXPECT_TRUE(MeshInvariantsHold(cones));
    EXPECT_TRUE(EveryVertexOneFan(cones));

    // A triangle hanging on a grid's corner by one vertex.
    QvMesh grid = qvtest::MakeGrid(4, 4);
    const int a = grid.AddVertex(QvPoint(4, 4, 0));
    const int b = grid.AddVertex(QvPoint(3, 5, 0));
    ASSERT_TRUE(grid.AddFace(15, a, b, 0));
    grid.RepairTopology(true);
    EXPECT_TRUE(MeshInvariantsHold(grid));
    EXPECT_TRUE(EveryVertexOneFan(grid));
    EXPECT_GE(grid.m_faces.size(), 14u);

    // A manifold mesh is left as it is.
    QvMesh crown = qvtest::MakeCrown(2);
    const auto before = Corners(crown);
    crown.RepairTopology(true);
    EXPECT_EQ(Corners(crown), before);
}

// ---- Gap-closing repair ---------------------------------------------------------------

TEST(MeshRepair, CloseGapsBetweenFans)
{
    // Two one-face fans around vertex 0, with gaps between 2 and 4 and between 5 and 1.
    const double degrees[] = {0, 70, 190, 250};
    std::vector<QvPoint> points{{0, 0, 0}};
    for (const double d : degrees)
        points.emplace_back(std::cos(d * kQvPi / 180), std::sin(d * kQvPi / 180), 0);
    // Vertices: 0 centre, 1 at 0, 2 at 70, 3 at 190, 4 at 250 degrees.
    QvMesh mesh = MeshOf(points, {{0, 1, 2}, {0, 3, 4}});
    mesh.RepairTopology(false);
    ASSERT_EQ(mesh.m_faces.size(), 4u);
    std::set<std::set<int>> added;
    for (int f = 2; f < 4; ++f)
        added.insert({mesh.m_faces[f].m_vertices[0], mesh.m_faces[f].m_vertices[1], mesh.m_faces[f].m_vertices[2]});
    EXPECT_EQ(added, (std::set<std::set<int>>{{0, 1, 4}, {0, 2, 3}}));
    EXPECT_TRUE(MeshInvariantsHold(mesh));
    EXPECT_TRUE(IsConsistentlyOriented(mesh));
    EXPECT_FALSE(mesh.IsBoundaryVertex(0));
    mesh.UpdateFaceNormals();
    for (const QvFace& f : mesh.m_faces)
        EXPECT_GT(f.m_normal[2], 0.99);

    // Vertices with two boundary edges or fewer are never touched.
    QvMesh grid = qvtest::MakeGrid(4, 3);
    const auto before = Corners(grid);
    grid.RepairTopology(false);
    EXPECT_EQ(Corners(grid), before);
}

TEST(MeshRepair, GapPartnerLooksOnTheOpenSide)
{
    const double degrees[] = {0, 70, 190, 250};
    std::vector<QvPoint> points{{0, 0, 0}};
    for (const double d : degrees)
        points.emplace_back(std::cos(d * kQvPi / 180), std::sin(d * kQvPi / 180), 0);
    const QvMesh mesh = MeshOf(points, {{0, 1, 2}, {0, 3, 4}});
    const int e01 = mesh.FindEdge(0, 1), e02 = mesh.FindEdge(0, 2);
    const int e03 = mesh.FindEdge(0, 3), e04 = mesh.FindEdge(0, 4);
    const std::vector<std::pair<int, int>> pairs{{e01, e02}, {e03, e04}};
    // From 0 degrees, turning away from its own fan (towards negative angles): 250 first.
    EXPECT_EQ(mesh.FindGapPartnerEdge(0, e01, e02, pairs, {}), e04);
    // From 70 degrees the other way: 190.
    EXPECT_EQ(mesh.FindGapPartnerEdge(0, e02, e01, pairs, {}), e03);
    // Used edges are passed over; with none left there is no partner.
    EXPECT_EQ(mesh.FindGapPartnerEdge(0, e01, e02, pairs, {e04}), e03);
    EXPECT_EQ(mesh.FindGapPartnerEdge(0, e01, e02, pairs, {e03, e04}), -1);
}

// ---- Scaling --------------------------------------------------------------------------

TEST(MeshRepair, ScaleAboutCenter)
{
    QvMesh cube = qvtest::MakeCube();
    cube.UpdateBBox();
    const QvMesh original = cube;
    cube.ScaleAboutCenter(1.0);
    for (std::size_t v = 0; v < cube.m_vertices.size(); ++v)
        ExpectNear(cube.m_vertices[v].m_point, original.m_vertices[v].m_point, 1e-15);

    cube.ScaleAboutCenter(2.0);
    const QvPoint centre(0.5, 0.5, 0.5);
    for (std::size_t v = 0; v < cube.m_vertices.size(); ++v)
        EXPECT_NEAR(cube.m_vertices[v].m_point.Distance(centre),
                    2 * original.m_vertices[v].m_point.Distance(centre), 1e-12);
    ExpectNear(cube.m_bbox.m_minPoint, QvPoint(-0.5, -0.5, -0.5), 1e-15);
    ExpectNear(cube.m_bbox.m_maxPoint, QvPoint(1.5, 1.5, 1.5), 1e-15);
    for (std::size_t f = 0; f < cube.m_faces.size(); ++f)
        ExpectNear(QvPoint() + cube.m_faces[f].m_normal, QvPoint() + original.m_faces[f].m_normal, 0);
}

// ---- Subdivision ----------------------------------------------------------------------

TEST(MeshRepair, SubdivideTetrahedron)
{
    const std::vector<QvPoint> points{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    QvMesh tet = MeshOf(points, {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}});
    tet.Subdivide(1);
    EXPECT_EQ(tet.m_vertices.size(), 10u);
    EXPECT_EQ(tet.m_faces.size(), 16u);
    EXPECT_TRUE(MeshInvariantsHold(tet));
    EXPECT_TRUE(tet.IsClosed());
    EXPECT_TRUE(IsConsistentlyOriented(tet));

    // Three neighbours each: beta = 0.1875, from the positions before the step.
    const QvPoint sum = Sum(Sum(points[0], points[1]), Sum(points[2], points[3]));
    for (int v = 0; v < 4; ++v)
    {
        const QvPoint others = sum - (points[v] - QvPoint());
        ExpectNear(tet.m_vertices[v].m_point, Sum(points[v] * (1 - 3 * 0.1875), others * 0.1875), 1e-11);
    }
    // Edge points: 3/8 of the ends and 1/8 of the two opposite corners.
    std::vector<QvPoint> expected;
    for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b)
            expected.push_back(Sum(Sum(points[a], points[b]) * 0.375,
                                   (sum - (points[a] - QvPoint()) - (points[b] - QvPoint())) * 0.125));
    for (int v = 4; v < 10; ++v)
    {
        const QvPoint& p = tet.m_vertices[v].m_point;
        EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [&](const QvPoint& q) { return p.Distance(q) < 1e-15; }))
            << v;
    }
    // Normals are recomputed after the last step.
    for (const QvFace& f : tet.m_faces)
        EXPECT_NEAR(f.m_normal.Length(), 1.0, 1e-12);
}

TEST(MeshRepair, SubdivideOpenGrid)
{
    const QvMesh grid = qvtest::MakeGrid(3, 3);
    QvMesh fine = grid;
    fine.Subdivide(1);
    EXPECT_EQ(fine.m_vertices.size(), grid.m_vertices.size() + grid.m_edges.size());
    EXPECT_EQ(fine.m_faces.size(), 4 * grid.m_faces.size());
    EXPECT_TRUE(MeshInvariantsHold(fine));
    EXPECT_TRUE(IsConsistentlyOriented(fine));
    // A boundary edge's new vertex is the exact midpoint of its ends before the step.
    for (const QvEdge& e : grid.m_edges)
    {
        if (!e.IsBoundary())
            continue;
        const QvPoint mid = Sum(grid.m_vertices[e.m_vertices[0]].m_point, grid.m_vertices[e.m_vertices[1]].m_point) * 0.5;
        const bool found = std::any_of(fine.m_vertices.begin(), fine.m_vertices.end(), [&](const QvVertex& v) {
            return v.m_point[0] == mid[0] && v.m_point[1] == mid[1] && v.m_point[2] == mid[2];
        });
        EXPECT_TRUE(found) << mid[0] << " " << mid[1];
    }
    // Boundary vertex rule on the middle of the bottom side: stays on the side.
    ExpectNear(fine.m_vertices[1].m_point, QvPoint(1, 0, 0), 1e-15);
    // A corner is pulled along its two boundary edges: 0.75 P + 0.125 (B1 + B2).
    ExpectNear(fine.m_vertices[0].m_point, QvPoint(0.125, 0.125, 0), 1e-15);
}

TEST(MeshRepair, SubdivideFlippedFace)
{
    // One face inserted the wrong way round and turned back by orientation: its side
    // slots no longer follow its corners.
    QvMesh grid;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            grid.AddVertex(QvPoint(i, j, 0));
    int index = 0;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i, ++index)
        {
            const int v = j * 3 + i;
            if (index == 1)
                ASSERT_TRUE(grid.AddFace(v + 3, v + 1, v, 0));
            else
                ASSERT_TRUE(grid.AddFace(v, v + 1, v + 3, 0));
            ASSERT_TRUE(grid.AddFace(v + 1, v + 4, v + 3, 0));
        }
    const int flipped = 2;
    grid.OrientFaces({flipped});
    ASSERT_TRUE(IsConsistentlyOriented(grid));

    grid.Subdivide(2);
    EXPECT_TRUE(MeshInvariantsHold(grid));
    EXPECT_TRUE(IsConsistentlyOriented(grid));
    // Planar and without folds: every face faces +z and none overlaps another.
    double area = 0.0;
    for (const QvFace& f : grid.m_faces)
    {
        EXPECT_GT(f.m_normal[2], 0.999);
        const QvPoint& p0 = grid.m_vertices[f.m_vertices[0]].m_point;
        const QvPoint& p1 = grid.m_vertices[f.m_vertices[1]].m_point;
        const QvPoint& p2 = grid.m_vertices[f.m_vertices[2]].m_point;
        area += (p1 - p0).Cross(p2 - p0)[2] / 2;
    }
    // The fine mesh covers the region its boundary polygon encloses, once.
    std::vector<std::vector<int>> loops;
    grid.GetBoundaryLoops(loops);
    ASSERT_EQ(loops.size(), 1u);
    double enclosed = 0.0;
    for (std::size_t i = 0; i < loops[0].size(); ++i)
    {
        const QvPoint& a = grid.m_vertices[loops[0][i]].m_point;
        const QvPoint& b = grid.m_vertices[loops[0][(i + 1) % loops[0].size()]].m_point;
        enclosed += (a[0] * b[1] - b[0] * a[1]) / 2;
    }
    EXPECT_NEAR(area, std::fabs(enclosed), 1e-12);
}

TEST(MeshRepair, SubdivisionIgnoresVertexNumbering)
{
    QvMesh crown = qvtest::MakeCrown(2);
    std::mt19937 rng(7);
    std::vector<int> perm(crown.m_vertices.size());
    std::iota(perm.begin(), perm.end(), 0);
    std::shuffle(perm.begin(), perm.end(), rng);

    // The same surface with vertex i renumbered perm[i], faces in the same order.
    QvMesh shuffled;
    std::vector<QvPoint> positions(perm.size());
    for (std::size_t i = 0; i < perm.size(); ++i)
        positions[perm[i]] = crown.m_vertices[i].m_point;
    for (const QvPoint& p : positions)
        shuffled.AddVertex(p);
    for (const QvFace& f : crown.m_faces)
        ASSERT_TRUE(shuffled.AddFace(perm[f.m_vertices[0]], perm[f.m_vertices[1]], perm[f.m_vertices[2]], 0));

    crown.Subdivide(2);
    shuffled.Subdivide(2);
    ASSERT_EQ(crown.m_faces.size(), shuffled.m_faces.size());
    for (std::size_t f = 0; f < crown.m_faces.size(); ++f)
        for (int k = 0; k < 3; ++k)
            ExpectNear(crown.m_vertices[crown.m_faces[f].m_vertices[k]].m_point,
                       shuffled.m_vertices[shuffled.m_faces[f].m_vertices[k]].m_point, 1e-12);
    EXPECT_TRUE(MeshInvariantsHold(crown));
    EXPECT_TRUE(crown.IsClosed());
    EXPECT_TRUE(IsConsistentlyOriented(crown));
}

} // namespace
