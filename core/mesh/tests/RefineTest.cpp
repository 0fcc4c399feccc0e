// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <vector>

#include "core/mesh/QvMeshRefineCommand.h"
#include "core/mesh/tests/HoleFixtures.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

QvMesh EquilateralTriangle(double side)
{
    QvMesh mesh;
    mesh.AddVertex(QvPoint(0, 0, 0));
    mesh.AddVertex(QvPoint(side, 0, 0));
    mesh.AddVertex(QvPoint(0.5 * side, 0.5 * std::sqrt(3.0) * side, 0));
    EXPECT_TRUE(mesh.AddFace(0, 1, 2, 7));
    mesh.UpdateFaceNormals();
    return mesh;
}

double EdgeLength(const QvMesh& mesh, int e)
{
    const QvEdge& edge = mesh.m_edges[e];
    return mesh.m_vertices[edge.m_vertices[0]].m_point.Distance(mesh.m_vertices[edge.m_vertices[1]].m_point);
}

TEST(MeshRefine, EquilateralTriangleSplitsOnceAtItsCentroid)
{
    const double side = 3.0;
    QvMesh mesh = EquilateralTriangle(side);
    QvMeshRefineCommand command(&mesh, std::set<int>{0}, side / 2.0);
    ASSERT_TRUE(command.Execute());

    ASSERT_EQ(mesh.m_faces.size(), 3u);
    ASSERT_EQ(mesh.m_vertices.size(), 4u);
    EXPECT_EQ(command.GetNewVertices(), std::set<int>{3});
    EXPECT_EQ(mesh.m_vertices[3].m_point, QvPoint(0.5 * side, std::sqrt(3.0) * side / 6.0, 0));
    // The split face keeps its tag; the two new ones are plain.
    EXPECT_EQ(mesh.m_faces[0].m_tag, 7);
    EXPECT_EQ(mesh.m_faces[1].m_tag, 0);
    EXPECT_EQ(mesh.m_faces[2].m_tag, 0);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh));
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));
    // The outline stays: the three original sides are still edges.
    EXPECT_NE(mesh.FindEdge(0, 1), -1);
    EXPECT_NE(mesh.FindEdge(1, 2), -1);
    EXPECT_NE(mesh.FindEdge(2, 0), -1);
    EXPECT_TRUE(mesh.m_colors.empty());
}

TEST(MeshRefine, ZeroScaleIsTheMeanOutlineEdgeAndSmallFacesStay)
{
    // A unit grid: every outline edge has length 1, and no face is large against that.
    QvMesh mesh = qvtest::MakeGrid(5, 5, 1.0);
    std::set<int> faces;
    for (int f = 0; f < static_cast<int>(mesh.m_faces.size()); ++f)
        faces.insert(f);
    const std::size_t vertices = mesh.m_vertices.size();
    QvMeshRefineCommand command(&mesh, faces, 0.0);
    ASSERT_TRUE(command.Execute());
    EXPECT_DOUBLE_EQ(command.GetScale(), 1.0);
    EXPECT_TRUE(command.GetNewVertices().empty());
    EXPECT_EQ(mesh.m_vertices.size(), vertices);

    // Without an outline the scale is the mean of all edges.
    QvMesh triangle = EquilateralTriangle(2.0);
    QvMeshRefineCommand whole(&triangle, 0.0);
    ASSERT_TRUE(whole.Execute());
    EXPECT_DOUBLE_EQ(whole.GetScale(), 2.0);
}

TEST(MeshRefine, ColoursFollowNewVerticesAsTruncatedMeans)
{
    QvMesh mesh = EquilateralTriangle(3.0);
    mesh.m_colors = {QvColor(0, 0, 0), QvColor(10, 20, 30), QvColor(20, 40, 61)};
    QvMeshRefineCommand command(&mesh, std::set<int>{0}, 1.5);
    ASSERT_TRUE(command.Execute());
    ASSERT_EQ(mesh.m_colors.size(), mesh.m_vertices.size());
    EXPECT_EQ(mesh.m_colors[3].m_r, 10);
    EXPECT_EQ(mesh.m_colors[3].m_g, 20);
    EXPECT_EQ(mesh.m_colors[3].m_b, 30);
}

TEST(MeshRefine, LargeRegionReachesTheTargetLengthWithinItsOutline)
{
    // A big flat triangle fan refined to a tenth of its size: the outline stays, the
    // area stays, and the interior comes out near the target length.
    QvMesh mesh = qvtest::MakeDisc(2, 5.0);
    const double area = holetest::Area(mesh);
    std::vector<std::vector<int>> before;
    mesh.GetBoundaryLoops(before);
    const std::size_t edges0 = mesh.m_edges.size();
    std::vector<std::pair<int, int>> outline;
    for (std::size_t e = 0; e < edges0; ++e)
        if (mesh.m_edges[e].IsBoundary())
            outline.emplace_back(mesh.m_edges[e].m_vertices[0], mesh.m_edges[e].m_vertices[1]);

    const double scale = 1.0;
    QvMeshRefineCommand command(&mesh, scale);
    ASSERT_TRUE(command.Execute());
    EXPECT_GT(command.GetNewVertices().size(), 100u);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh));
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));
    EXPECT_NEAR(holetest::Area(mesh), area, 1e-9 * area);
    for (const auto& [a, b] : outline)
        EXPECT_NE(mesh.FindEdge(a, b), -1);
    std::vector<std::vector<int>> after;
    mesh.GetBoundaryLoops(after);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].size(), before[0].size());

    double sum = 0.0;
    int interior = 0;
    for (int e = 0; e < static_cast<int>(mesh.m_edges.size()); ++e)
        if (!mesh.m_edges[e].IsBoundary())
        {
            sum += EdgeLength(mesh, e);
            ++interior;
        }
    const double mean = sum / interior;
    EXPECT_GT(mean, 0.4 * scale);
    EXPECT_LT(mean, 2.0 * scale);
}

TEST(MeshRefine, OutlineLoopAndSeedKeepTheRestOfTheMeshUntouched)
{
    // The closed sphere with a loop around a cap: only the cap is refined.
    QvMesh mesh = qvtest::MakeSphere(3, 10.0);
    QvMesh original = mesh;
    QvMesh punched = mesh;
    ASSERT_TRUE(holetest::PunchHole(punched, QvVector(0, 0, 1), 12));
    // Take the loop of the punched copy: its vertex indices are those of the sphere only
    // where nothing moved, so find the cap by the loop's positions instead.
    const std::vector<int> hole = holetest::LoopOfSize(punched, 12);
    ASSERT_EQ(hole.size(), 12u);
    std::vector<int> loop;
    for (const int v : hole)
        for (const QvVertex& w : mesh.m_vertices)
            if (w.m_point == punched.m_vertices[v].m_point)
                loop.push_back(w.m_index);
    ASSERT_EQ(loop.size(), 12u);
    int seed = -1;
    double top = -1e300;
    for (int f = 0; f < static_cast<int>(mesh.m_faces.size()); ++f)
        if (holetest::Centroid(mesh, f)[2] > top)
        {
            top = holetest::Centroid(mesh, f)[2];
            seed = f;
        }

    QvMeshRefineCommand command(&mesh, loop, seed, 0.3);
    ASSERT_TRUE(command.Execute());
    EXPECT_FALSE(command.GetNewVertices().empty());
    EXPECT_LT(command.GetFaces().size(), original.m_faces.size() / 4);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh));
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));
    EXPECT_TRUE(mesh.IsClosed());
    // Every face outside the region is exactly as it was.
    for (int f = 0; f < static_cast<int>(original.m_faces.size()); ++f)
    {
        if (command.GetFaces().count(f) == 0)
        {
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(mesh.m_faces[f].m_vertices[k], original.m_faces[f].m_vertices[k]);
        }
    }
}

TEST(MeshRefine, DegenerateInputsEndAndChangeNothingOrLittle)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case
    {
        const char* name;
        double scale;
    };
    // A scale that is not a positive length would ask for endless splitting.
    for (const Case& c : {Case{"negative", -1.0}, Case{"not a number", nan}, Case{"infinite", INFINITY}})
    {
        SCOPED_TRACE(c.name);
        QvMesh mesh = EquilateralTriangle(3.0);
        QvMeshRefineCommand command(&mesh, c.scale);
        EXPECT_TRUE(command.Execute());
        EXPECT_EQ(mesh.m_vertices.size(), 3u);
    }

    // Faces of zero area: the work stays bounded by the region and ends.
    QvMesh flat;
    for (int i = 0; i < 6; ++i)
        flat.AddVertex(QvPoint(i * i, 0, 0));
    ASSERT_TRUE(flat.AddFace(0, 1, 5, 0));
    ASSERT_TRUE(flat.AddFace(1, 2, 5, 0));
    ASSERT_TRUE(flat.AddFace(2, 3, 5, 0));
    ASSERT_TRUE(flat.AddFace(3, 4, 5, 0));
    QvMeshRefineCommand degenerate(&flat, 0.01);
    EXPECT_TRUE(degenerate.Execute());
    EXPECT_LE(degenerate.GetNewVertices().size(), 4u * 4u + 64u);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(flat));

    // No mesh: the one failure. An empty region refines nothing.
    QvMeshRefineCommand none(nullptr, 1.0);
    EXPECT_FALSE(none.Execute());
    QvMesh empty;
    QvMeshRefineCommand nothing(&empty, 0.0);
    EXPECT_TRUE(nothing.Execute());
    EXPECT_TRUE(nothing.GetNewVertices().empty());
}

TEST(MeshRefine, SwapEdgeFlipsOnlyToAShorterDiagonalOfAConvexQuad)
{
    struct Case
    {
        const char* name;
        QvPoint apex;  // the fourth vertex, across edge 1-2 from vertex 0
        bool flipped;
    };
    // Triangles (0, 1, 2) and (2, 1, 3) share the edge 1-2 of length 2.
    const Case cases[] = {
        {"shorter diagonal", QvPoint(0.3, 0, 0), true},
        {"longer diagonal", QvPoint(3, 0, 0), false},
        {"not convex", QvPoint(0.05, 1.3, 0), false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        QvMesh mesh;
        mesh.AddVertex(QvPoint(-0.3, 0, 0));
        mesh.AddVertex(QvPoint(0, -1, 0));
        mesh.AddVertex(QvPoint(0, 1, 0));
        mesh.AddVertex(c.apex);
        ASSERT_TRUE(mesh.AddFace(0, 1, 2, 0));
        ASSERT_TRUE(mesh.AddFace(2, 1, 3, 0));
        const int edge = mesh.FindEdge(1, 2);
        EXPECT_EQ(QvMeshRefineCommand::SwapEdge(&mesh, edge), c.flipped);
        EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh));
        EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));
        EXPECT_EQ(mesh.FindEdge(0, 3) != -1, c.flipped);
        // A boundary edge never flips.
        EXPECT_FALSE(QvMeshRefineCommand::SwapEdge(&mesh, mesh.FindEdge(0, 1)));
    }
}

TEST(MeshRefine, PointClearanceCountsCornersAndTheirNeighbours)
{
    QvMesh mesh = qvtest::MakeTwoTriangleStrip();
    // Face 0 is (0, 1, 2); vertex 3 at (1, 1) is a neighbour of corners 1 and 2.
    EXPECT_FALSE(QvMeshRefineCommand::IsPointClearOfVertices(&mesh, 0, QvPoint(0.9, 0.9, 0), 0.2));
    EXPECT_TRUE(QvMeshRefineCommand::IsPointClearOfVertices(&mesh, 0, QvPoint(0.5, 0.5, 0), 0.2));
    EXPECT_FALSE(QvMeshRefineCommand::IsPointClearOfVertices(&mesh, 0, QvPoint(0.05, 0, 0), 0.1));
}

} // namespace
