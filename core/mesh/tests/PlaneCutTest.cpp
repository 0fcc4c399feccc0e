// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "core/geometry/QvPlane.h"
#include "core/mesh/QvMesh.h"
#include "core/mesh/tests/HoleFixtures.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

using holetest::Area;
using qvtest::IsConsistentlyOriented;
using qvtest::MeshInvariantsHold;

// Open tube around the z axis: ring r of `around` vertices at height r * 2 pi / around,
// two faces per cell wound outwards; both end rings are borders.
QvMesh MakeTube(int around, int rings)
{
    QvMesh mesh;
    const double step = kQvTwoPi / around;
    for (int r = 0; r < rings; ++r)
        for (int i = 0; i < around; ++i)
            mesh.AddVertex(QvPoint(std::cos(step * i), std::sin(step * i), r * step));
    for (int r = 0; r + 1 < rings; ++r)
        for (int i = 0; i < around; ++i)
        {
            const int a = r * around + i;
            const int b = r * around + (i + 1) % around;
            EXPECT_TRUE(mesh.AddFace(a, b, b + around, 0));
            EXPECT_TRUE(mesh.AddFace(a, b + around, a + around, 0));
        }
    mesh.UpdateFaceNormals();
    return mesh;
}

double LowestDistance(const QvMesh& mesh, const QvPlane& plane)
{
    double lowest = 1e300;
    for (const QvVertex& v : mesh.m_vertices)
        lowest = std::min(lowest, plane.Distance(v.m_point, true));
    return lowest;
}

int CountOnPlane(const QvMesh& mesh, const QvPlane& plane, double tolerance)
{
    int count = 0;
    for (const QvVertex& v : mesh.m_vertices)
        if (std::fabs(plane.Distance(v.m_point, true)) < tolerance)
            ++count;
    return count;
}

// ---- Properties on closed and open meshes --------------------------------------------

struct CutCase
{
    const char* name;
    QvMesh (*make)();
    QvPoint point;
    QvVector normal;
};

class PlaneCutTest : public ::testing::TestWithParam<CutCase>
{
};

TEST_P(PlaneCutTest, KeepsTheUpperSideAndHandsBackTheRest)
{
    const CutCase& c = GetParam();
    const QvPlane plane(c.point, c.normal);
    QvMesh mesh = c.make();
    const double area = Area(mesh);
    const bool closed = mesh.IsClosed();
    std::vector<std::vector<QvSectionPoint>> sections;
    mesh.IntersectPlane(plane, sections);
    ASSERT_FALSE(sections.empty());

    QvMesh removed;
    mesh.CutByPlane(plane, &removed);

    EXPECT_TRUE(MeshInvariantsHold(mesh));
    EXPECT_TRUE(MeshInvariantsHold(removed));
    EXPECT_GE(LowestDistance(mesh, plane), -1e-7);
    EXPECT_NEAR(Area(mesh) + Area(removed), area, 1e-9 * area);
    EXPECT_GT(Area(mesh), 0.0);
    EXPECT_GT(Area(removed), 0.0);
    EXPECT_TRUE(IsConsistentlyOriented(mesh));
    for (const QvVertex& v : mesh.m_vertices)
        EXPECT_FALSE(v.m_edges.empty()) << "stray vertex " << v.m_index;

    if (closed)
    {
        // The cut leaves clean rims: every border of the kept part lies in the plane, and
        // its volume is still positive (the faces kept their outward orientation).
        std::vector<std::vector<int>> loops;
        mesh.GetBoundaryLoops(loops);
        EXPECT_FALSE(loops.empty());
        for (const std::vector<int>& loop : loops)
            for (const int v : loop)
                EXPECT_NEAR(plane.Distance(mesh.m_vertices[v].m_point, true), 0.0, 1e-7);
        EXPECT_TRUE(IsConsistentlyOriented(removed));
    }
}

QvMesh Sphere() { return qvtest::MakeSphere(4, 3.0); }
QvMesh Crown() { return qvtest::MakeCrown(4); }
QvMesh Grid() { return qvtest::MakeGrid(8, 8, 0.5); }
QvMesh Tube() { return MakeTube(24, 8); }

INSTANTIATE_TEST_SUITE_P(
    Meshes, PlaneCutTest,
    ::testing::Values(CutCase{"SphereEquator", Sphere, {0, 0, 0}, {0, 0, 1}},
                      CutCase{"SphereOblique", Sphere, {0.3, -0.2, 0.9}, {0.3, 1, -0.4}},
                      CutCase{"SphereThroughVertices", Sphere, {0, 0, 0}, {1, 0, 0}},
                      CutCase{"CrownLow", Crown, {0, 0, -1.0}, {0.1, 0.05, 1}},
                      CutCase{"CrownAcrossCusps", Crown, {0, 0, 2.5}, {0, 0, 1}},
                      CutCase{"GridOblique", Grid, {1.7, 1.1, 0}, {1, 2, 0}},
                      CutCase{"GridDiagonal", Grid, {1, 1, 0}, {-1, 1, 0}},
                      CutCase{"TubeSlanted", Tube, {0, 0, 0.7}, {0.2, 0.1, 1}}),
    [](const ::testing::TestParamInfo<CutCase>& info) { return std::string(info.param.name); });

// ---- Cases of the cut itself ----------------------------------------------------------

TEST(PlaneCut, PlaneMissingTheMeshChangesNothing)
{
    QvMesh mesh = qvtest::MakeGrid(4, 4);
    QvMesh removed = qvtest::MakeCube();
    mesh.CutByPlane(QvPlane(QvPoint(0, 0, 5), QvVector(0, 0, 1)), &removed);
    EXPECT_EQ(mesh.m_faces.size(), 18u);
    EXPECT_EQ(mesh.m_vertices.size(), 16u);
    EXPECT_EQ(removed.m_faces.size(), 12u);
    mesh.CutByPlane(QvPlane(QvPoint(0, 0, 5), QvVector(0, 0, 1)), nullptr);
    EXPECT_EQ(mesh.m_faces.size(), 18u);
}

TEST(PlaneCut, GridBetweenRowsSplitsEveryCrossedFaceAtTheSectionPoints)
{
    QvMesh mesh = qvtest::MakeGrid(6, 6);
    const QvPlane plane(QvPoint(0, 2.5, 0), QvVector(0, 1, 0));
    std::vector<std::vector<QvSectionPoint>> sections;
    mesh.IntersectPlane(plane, sections);
    std::set<std::pair<double, double>> expected;
    for (const auto& section : sections)
        for (const QvSectionPoint& p : section)
            expected.emplace(p.m_point[0], p.m_point[1]);

    QvMesh removed;
    mesh.CutByPlane(plane, &removed);
    std::set<std::pair<double, double>> cut;
    for (const QvVertex& v : mesh.m_vertices)
        if (std::fabs(v.m_point[1] - 2.5) < 1e-12)
            cut.emplace(v.m_point[0], v.m_point[1]);
    EXPECT_EQ(cut, expected);
    EXPECT_NEAR(Area(mesh), 12.5, 1e-12);
    EXPECT_NEAR(Area(removed), 12.5, 1e-12);
    for (const QvFace& f : mesh.m_faces)
        EXPECT_NEAR(f.m_normal[2], 1.0, 1e-12);
    // The removed part has its own vertices: none above the plane.
    for (const QvVertex& v : removed.m_vertices)
        EXPECT_LE(v.m_point[1], 2.5 + 1e-12);
}

TEST(PlaneCut, ClosedSectionMakesOneVertexPerCrossedEdge)
{
    // A tube of 16 around: a level plane between two rings crosses 16 upright and 16
    // diagonal edges, and the section repeats its first point at its end.
    QvMesh mesh = MakeTube(16, 4);
    const double ring = kQvTwoPi / 16;
    const QvPlane plane(QvPoint(0, 0, 1.5 * ring), QvVector(0, 0, 1));
    std::vector<std::vector<QvSectionPoint>> sections;
    mesh.IntersectPlane(plane, sections);
    ASSERT_EQ(sections.size(), 1u);
    ASSERT_EQ(sections[0].size(), 33u);

    mesh.CutByPlane(plane, nullptr);
    EXPECT_EQ(CountOnPlane(mesh, plane, 1e-9), 32);
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    ASSERT_EQ(loops.size(), 2u); // the new rim and the tube's top ring
    EXPECT_TRUE(loops[0].size() == 32u || loops[1].size() == 32u);
    EXPECT_TRUE(MeshInvariantsHold(mesh));
}

TEST(PlaneCut, PlaneThroughARowOfVerticesMakesNoTriangles)
{
    QvMesh mesh = qvtest::MakeGrid(6, 6);
    QvMesh removed;
    mesh.CutByPlane(QvPlane(QvPoint(0, 2, 0), QvVector(0, 1, 0)), &removed);
    EXPECT_EQ(mesh.m_faces.size(), 30u);
    EXPECT_EQ(mesh.m_vertices.size(), 24u);
    EXPECT_EQ(removed.m_faces.size(), 20u);
    for (const QvVertex& v : mesh.m_vertices)
        EXPECT_GE(v.m_point[1], 2.0);
}

TEST(PlaneCut, CornerOnThePlaneSplitsTheFaceInTwo)
{
    QvMesh mesh;
    mesh.AddVertex(QvPoint(0, 0, 0));
    mesh.AddVertex(QvPoint(2, 0, 0));
    mesh.AddVertex(QvPoint(1, 2, 0));
    ASSERT_TRUE(mesh.AddFace(0, 1, 2, kQvFaceTagVirtualRoot));
    QvMesh removed;
    mesh.CutByPlane(QvPlane(QvPoint(1, 0, 0), QvVector(1, 0, 0)), &removed);
    ASSERT_EQ(mesh.m_faces.size(), 1u);
    EXPECT_EQ(mesh.m_faces[0].m_tag, kQvFaceTagVirtualRoot);
    EXPECT_NEAR(Area(mesh), 1.0, 1e-12);
    EXPECT_NEAR(Area(removed), 1.0, 1e-12);
    EXPECT_NEAR(mesh.m_faces[0].m_normal[2], 1.0, 1e-12);
}

TEST(PlaneCut, PiecesKeepTheTagOfTheFaceTheyComeFrom)
{
    QvMesh mesh = qvtest::MakeGrid(6, 6);
    for (int f = 0; f < static_cast<int>(mesh.m_faces.size()); ++f)
        mesh.m_faces[f].m_tag = holetest::Centroid(mesh, f)[0] < 2.0 ? kQvFaceTagVirtualRoot : kQvFaceTagPlain;
    mesh.CutByPlane(QvPlane(QvPoint(0, 1.3, 0), QvVector(0.2, 1, 0)), nullptr);
    ASSERT_FALSE(mesh.m_faces.empty());
    for (int f = 0; f < static_cast<int>(mesh.m_faces.size()); ++f)
    {
        const bool left = holetest::Centroid(mesh, f)[0] < 2.0;
        EXPECT_EQ(mesh.m_faces[f].m_tag, left ? kQvFaceTagVirtualRoot : kQvFaceTagPlain) << f;
    }
}

} // namespace
