// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "core/mesh/QvFillHoleCommand.h"
#include "core/mesh/tests/HoleFixtures.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

using holetest::IsClosedOrientedManifold;

// A flat ring of faces (normals +z) around a convex pentagonal hole with five different
// corner angles; the loop is the pentagon in counter-clockwise order, vertices 0 to 4.
QvMesh FlatPentagonRing()
{
    const QvPoint inner[5] = {QvPoint(0, 0, 0), QvPoint(4, 0, 0), QvPoint(5, 2.5, 0), QvPoint(2, 4, 0),
                              QvPoint(-0.5, 2, 0)};
    QvMesh mesh;
    for (const QvPoint& p : inner)
        mesh.AddVertex(p);
    const QvPoint centre(2.0, 1.6, 0.0);
    for (const QvPoint& p : inner)
        mesh.AddVertex(centre + (p - centre) * 3.0);
    for (int i = 0; i < 5; ++i)
    {
        const int j = (i + 1) % 5;
        EXPECT_TRUE(mesh.AddFace(i, 5 + i, 5 + j, 0));
        EXPECT_TRUE(mesh.AddFace(i, 5 + j, j, 0));
    }
    mesh.UpdateFaceNormals();
    return mesh;
}

double InteriorAngle(const QvMesh& mesh, int p, int c, int n)
{
    const QvPoint& pc = mesh.m_vertices[c].m_point;
    return (mesh.m_vertices[p].m_point - pc).Angle(mesh.m_vertices[n].m_point - pc);
}

struct Variant
{
    const char* name;
    bool refine;
    int order;
    double volumeTolerance; // relative
};

class MinCostSphereTest : public ::testing::TestWithParam<Variant>
{
};

TEST_P(MinCostSphereTest, ClosesSphereHolesIntoAnOrientedManifold)
{
    const Variant& variant = GetParam();
    const std::vector<int> sizes{3, 4, 12, 121};
    const double closedVolume = holetest::SignedVolume(qvtest::MakeSphere(6, 1.0));
    QvMesh mesh = holetest::SphereWithHoles(sizes);
    const std::size_t firstVertex = mesh.m_vertices.size();
    QvFillHoleCommand command(&mesh);
    std::set<int> created;
    for (const int size : sizes)
    {
        SCOPED_TRACE(::testing::Message() << "hole of " << size);
        const std::vector<int> loop = holetest::LoopOfSize(mesh, static_cast<std::size_t>(size));
        ASSERT_EQ(loop.size(), static_cast<std::size_t>(size));
        std::set<int> added;
        const std::size_t facesBefore = mesh.m_faces.size();
        EXPECT_TRUE(command.FillLoopFaired(loop, variant.refine, variant.order, &added));
        if (!variant.refine)
        {
            EXPECT_EQ(mesh.m_faces.size(), facesBefore + loop.size() - 2);
        }
        created.insert(added.begin(), added.end());
    }
    EXPECT_TRUE(IsClosedOrientedManifold(mesh));
    const double volume = holetest::SignedVolume(mesh);
    EXPECT_NEAR(volume, closedVolume, variant.volumeTolerance * closedVolume);
    if (!variant.refine)
        return;

    EXPECT_EQ(created.size(), mesh.m_vertices.size() - firstVertex);
    EXPECT_GT(created.size(), 100u);
}

INSTANTIATE_TEST_SUITE_P(Variants, MinCostSphereTest,
                         // Filled flat, the 121-vertex hole alone costs 0.8 % of the volume;
                         // the membrane of the first order stays about as flat, the higher
                         // orders bend the patch out towards the sphere.
                         ::testing::Values(Variant{"cutOnly", false, 0, 0.012},
                                           Variant{"refineNoFairing", true, 3, 0.012},
                                           Variant{"laplacian", true, 0, 0.012}, Variant{"biLaplacian", true, 1, 0.004},
                                           Variant{"triLaplacian", true, 2, 0.001}),
                         [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

TEST(FillHoleMinCost, SmallLoopsAndNoMesh)
{
    QvMesh triangle = holetest::SphereWithHoles({3});
    const std::vector<int> loop = holetest::LoopOfSize(triangle, 3);
    ASSERT_EQ(loop.size(), 3u);
    QvFillHoleCommand command(&triangle);
    std::set<int> faces{99};

    // Two vertices: true, nothing added, the face set untouched.
    const std::size_t before = triangle.m_faces.size();
    EXPECT_TRUE(command.FillLoopMinCost(&triangle, {loop[0], loop[1]}, &faces));
    EXPECT_EQ(faces, std::set<int>{99});
    EXPECT_EQ(triangle.m_faces.size(), before);
    EXPECT_FALSE(command.FillLoopMinCost(nullptr, loop, &faces));

    // Three vertices: every corner's closing side exists, so each costs DBL_MAX / 2 and
    // the first in list order is cut, with one face.
    EXPECT_EQ(QvFillHoleCommand::CornerCost(&triangle, loop[2], loop[0], loop[1]), 8.988465674311579e307);
    EXPECT_TRUE(command.FillLoopMinCost(&triangle, loop, &faces));
    EXPECT_EQ(faces, std::set<int>{static_cast<int>(before)});
    EXPECT_TRUE(IsClosedOrientedManifold(triangle));

    QvFillHoleCommand unbound;
    EXPECT_FALSE(unbound.FillLoopFaired(loop, true, 1, nullptr));
}

TEST(FillHoleMinCost, FlatConvexHoleIsCutAtItsSharpestCornerFirst)
{
    for (const bool reversed : {false, true})
    {
        SCOPED_TRACE(reversed ? "loop against the faces" : "loop along the faces");
        QvMesh mesh = FlatPentagonRing();
        std::vector<int> loop{0, 1, 2, 3, 4};
        if (reversed)
            std::reverse(loop.begin(), loop.end());
        const int n = 5;

        // On a flat, consistently oriented ring every fold is 0: the cost is the angle.
        int sharpest = -1;
        double smallest = 1e300;
        for (int i = 0; i < n; ++i)
        {
            const int p = loop[(i + n - 1) % n];
            const int c = loop[i];
            const int q = loop[(i + 1) % n];
            const double angle = InteriorAngle(mesh, p, c, q);
            EXPECT_NEAR(QvFillHoleCommand::CornerCost(&mesh, p, c, q), angle, 1e-12);
            if (angle < smallest)
            {
                smallest = angle;
                sharpest = c;
            }
        }

        std::set<int> faces;
        const std::size_t first = mesh.m_faces.size();
        ASSERT_TRUE(QvFillHoleCommand().FillLoopMinCost(&mesh, loop, &faces));
        ASSERT_EQ(faces.size(), 3u);
        // The first face is the corner triangle at the sharpest corner: the corner and
        // both its loop neighbours.
        const QvFace& cut = mesh.m_faces[first];
        const int position = static_cast<int>(std::find(loop.begin(), loop.end(), sharpest) - loop.begin());
        const std::set<int> expected{loop[(position + n - 1) % n], sharpest, loop[(position + 1) % n]};
        EXPECT_EQ(std::set<int>(cut.m_vertices, cut.m_vertices + 3), expected);
        EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));
        std::vector<std::vector<int>> loops;
        mesh.GetBoundaryLoops(loops);
        EXPECT_EQ(loops.size(), 1u); // only the outer rim is left
    }
}

TEST(FillHoleMinCost, FoldAngleFollowsTheFaceNotTheEdgesStoredDirection)
{
    // Two coplanar faces; removing the one that made the shared edge leaves the edge
    // stored against the direction of its remaining face.
    QvMesh mesh;
    mesh.AddVertex(QvPoint(0, 0, 0));
    mesh.AddVertex(QvPoint(1, 0, 0));
    mesh.AddVertex(QvPoint(0, 1, 0));
    mesh.AddVertex(QvPoint(1, -1, 0));
    ASSERT_TRUE(mesh.AddFace(0, 1, 2, 0));  // makes edge 0 -> 1
    ASSERT_TRUE(mesh.AddFace(1, 0, 3, 0));
    mesh.RemoveFace(0, false);
    const int edge = mesh.FindEdge(0, 1);
    ASSERT_NE(edge, -1);
    ASSERT_TRUE(mesh.m_edges[edge].IsBoundary());

    // A new triangle across the edge on the open side continues the plane: fold 0. A
    // point on the face's own side folds back onto it: pi.
    EXPECT_NEAR(QvFillHoleCommand::FoldAngle(&mesh, edge, QvPoint(0.5, 1, 0)), 0.0, 1e-12);
    EXPECT_NEAR(QvFillHoleCommand::FoldAngle(&mesh, edge, QvPoint(0.5, -1, 0)), kQvPi, 1e-12);
    EXPECT_NEAR(QvFillHoleCommand::FoldAngle(&mesh, edge, QvPoint(0.5, 0, 1)), kQvPi / 2.0, 1e-12);

    QvMesh closed = qvtest::MakeCube(1.0);
    EXPECT_EQ(QvFillHoleCommand::FoldAngle(&closed, 0, QvPoint(0, 0, 0)), DBL_MAX);
}

TEST(FillHoleMinCost, FairedFillWithoutRefinementOrFairing)
{
    QvMesh mesh = holetest::SphereWithHoles({12});
    const std::vector<int> loop = holetest::LoopOfSize(mesh, 12);
    ASSERT_EQ(loop.size(), 12u);
    QvFillHoleCommand command(&mesh);
    std::set<int> untouched{-5};
    const std::size_t vertices = mesh.m_vertices.size();
    EXPECT_TRUE(command.FillLoopFaired(loop, false, 1, &untouched));
    EXPECT_EQ(untouched, std::set<int>{-5});
    EXPECT_EQ(mesh.m_vertices.size(), vertices);
    EXPECT_TRUE(IsClosedOrientedManifold(mesh));

    // A three-vertex hole leaves the refinement nothing to split, so there is nothing to
    // fair either: the fill still succeeds.
    QvMesh small = holetest::SphereWithHoles({3});
    QvFillHoleCommand smallCommand(&small);
    std::set<int> created{-1};
    EXPECT_TRUE(smallCommand.FillLoopFaired(holetest::LoopOfSize(small, 3), true, 1, &created));
    EXPECT_TRUE(created.empty());
    EXPECT_TRUE(IsClosedOrientedManifold(small));
}

} // namespace
