// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "core/mesh/QvFillHoleCommand.h"
#include "core/mesh/tests/HoleFixtures.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

using holetest::IsClosedOrientedManifold;

// A flat grid 4 vertices wide with a slot of `length` cells removed from its middle
// column: the slot's ends are the edges (5, 6) at the bottom and the top pair above them.
struct Slot
{
    QvMesh mesh;
    int bottom[2];
    int top[2];
};

Slot MakeSlot(int length)
{
    Slot slot{qvtest::MakeGrid(4, length + 3), {5, 6}, {(length + 1) * 4 + 1, (length + 1) * 4 + 2}};
    for (int f = static_cast<int>(slot.mesh.m_faces.size()) - 1; f >= 0; --f)
    {
        const QvPoint c = holetest::Centroid(slot.mesh, f);
        if (c[0] > 1 && c[0] < 2 && c[1] > 1 && c[1] < length + 1)
            slot.mesh.RemoveFace(f, false);
    }
    return slot;
}

const QvEdge& EdgeOf(const QvMesh& mesh, int a, int b) { return mesh.m_edges[mesh.FindEdge(a, b)]; }

int CornerAfter(const QvFace& face, int v)
{
    for (int k = 0; k < 3; ++k)
        if (face.m_vertices[k] == v)
            return face.m_vertices[(k + 1) % 3];
    return -1;
}

// True when the face of `mesh` at edge a-b runs from a to b.
bool FaceRunsFromTo(const QvMesh& mesh, int a, int b)
{
    const QvEdge& e = EdgeOf(mesh, a, b);
    return CornerAfter(mesh.m_faces[e.m_faces[0]], a) == b;
}

struct Counts
{
    std::size_t vertices;
    std::size_t faces;
    bool operator==(const Counts&) const = default;
};

Counts CountsOf(const QvMesh& mesh) { return {mesh.m_vertices.size(), mesh.m_faces.size()}; }

// ---- Closing sphere holes with a bridge and the advancing front ------------------------

struct SphereCase
{
    const char* name;
    int hole;
    bool curved;
};

class BridgeSphereTest : public ::testing::TestWithParam<SphereCase>
{
};

TEST_P(BridgeSphereTest, StripAcrossTheHoleThenFrontFillsAClosedSphere)
{
    const SphereCase& c = GetParam();
    const double closedVolume = holetest::SignedVolume(qvtest::MakeSphere(6, 1.0));
    QvMesh mesh = holetest::SphereWithHoles({c.hole});
    const std::vector<int> loop = holetest::LoopOfSize(mesh, static_cast<std::size_t>(c.hole));
    ASSERT_EQ(loop.size(), static_cast<std::size_t>(c.hole));
    const int n = c.hole;
    const QvEdge first = EdgeOf(mesh, loop[0], loop[1]);
    const QvEdge second = EdgeOf(mesh, loop[n / 2], loop[n / 2 + 1]);

    const std::size_t facesBefore = mesh.m_faces.size();
    QvFillHoleCommand command(&mesh);
    const bool bridged = c.curved ? command.BridgeEdgesSmooth(first, second, nullptr, false)
                                  : command.BridgeEdges(first, second, nullptr, false);
    ASSERT_TRUE(bridged);
    EXPECT_EQ(command.GetFirstSideCurve(), nullptr);
    EXPECT_EQ(command.GetSecondSideCurve(), nullptr);
    const std::size_t stripFaces = mesh.m_faces.size() - facesBefore;
    for (std::size_t f = facesBefore; f < mesh.m_faces.size(); ++f)
        EXPECT_EQ(mesh.m_faces[f].m_tag, kQvFaceTagBridge);
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));

    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    // The curved strip closes a four-vertex hole alone. A straight one puts its vertices on
    // the hole's other two sides, which leaves two slits; larger holes split in two.
    EXPECT_EQ(loops.size(), (n == 4 && c.curved) ? 0u : 2u);
    for (const std::vector<int>& rest : loops)
        EXPECT_GT(command.FillLoop(rest, kQvFaceTagAirwayCap), 0);

    EXPECT_TRUE(IsClosedOrientedManifold(mesh));
    EXPECT_GE(stripFaces, 2u);
    EXPECT_NEAR(holetest::SignedVolume(mesh), closedVolume, 0.01 * closedVolume);
}

INSTANTIATE_TEST_SUITE_P(Holes, BridgeSphereTest,
                         ::testing::Values(SphereCase{"straight4", 4, false}, SphereCase{"straight12", 12, false},
                                           SphereCase{"straight121", 121, false}, SphereCase{"curved4", 4, true},
                                           SphereCase{"curved12", 12, true}, SphereCase{"curved121", 121, true}),
                         [](const ::testing::TestParamInfo<SphereCase>& info) { return std::string(info.param.name); });

// ---- Refusals -------------------------------------------------------------------------

TEST(Bridge, RefusedEdgePairsChangeNothing)
{
    QvMesh mesh = holetest::SphereWithHoles({3, 12});
    const std::vector<int> triangle = holetest::LoopOfSize(mesh, 3);
    const std::vector<int> twelve = holetest::LoopOfSize(mesh, 12);
    ASSERT_EQ(triangle.size(), 3u);
    ASSERT_EQ(twelve.size(), 12u);
    const Counts before = CountsOf(mesh);

    QvEdge interior;
    for (const QvEdge& e : mesh.m_edges)
        if (!e.IsBoundary())
        {
            bool touches = false;
            for (const int v : twelve)
                touches = touches || e.m_vertices[0] == v || e.m_vertices[1] == v;
            if (!touches)
            {
                interior = e;
                break;
            }
        }
    struct Case
    {
        const char* name;
        QvEdge first;
        QvEdge second;
    };
    const Case cases[] = {
        {"shared vertex", EdgeOf(mesh, triangle[0], triangle[1]), EdgeOf(mesh, triangle[1], triangle[2])},
        {"shared vertex, larger hole", EdgeOf(mesh, twelve[0], twelve[1]), EdgeOf(mesh, twelve[1], twelve[2])},
        {"different loops", EdgeOf(mesh, triangle[0], triangle[1]), EdgeOf(mesh, twelve[0], twelve[1])},
        {"interior edge", EdgeOf(mesh, twelve[0], twelve[1]), interior},
    };
    QvFillHoleCommand command(&mesh);
    for (const Case& c : cases)
    {
        QvMesh separate;
        EXPECT_FALSE(command.BridgeEdges(c.first, c.second, nullptr, false)) << c.name;
        EXPECT_FALSE(command.BridgeEdgesSmooth(c.first, c.second, nullptr, false)) << c.name;
        EXPECT_FALSE(command.BridgeEdges(c.first, c.second, &separate, true)) << c.name;
        EXPECT_EQ(CountsOf(mesh), before) << c.name;
        EXPECT_TRUE(separate.IsEmpty()) << c.name;
        EXPECT_EQ(command.GetFirstSideCurve(), nullptr);
    }
}

TEST(Bridge, Divisions)
{
    struct Case
    {
        double side;
        double factor;
        int divisions;
    };
    const Case cases[] = {
        {4.0, 1.0, 4}, {4.0, 1.5, 6}, {2.0, 1.0, 2}, {2.0, 1.5, 3}, {1.0, 1.0, 2}, {1.0, 1.5, 2}, {10.7, 1.0, 10},
    };
    for (const Case& c : cases)
    {
        const QvPoint points[4] = {{0, 0, 0}, {1, 0, 0}, {1, c.side, 0}, {0, c.side, 0}};
        EXPECT_EQ(QvFillHoleCommand::GetBridgeDivisions(points, c.factor), c.divisions) << c.side << " " << c.factor;
    }
    struct Degenerate
    {
        const char* name;
        QvPoint points[4];
    };
    const Degenerate degenerate[] = {
        {"P3 on P0", {{0, 0, 0}, {1, 0, 0}, {1, 4, 0}, {1e-8, 0, 0}}},
        {"P3 on the line of P0 P1", {{0, 0, 0}, {1, 0, 0}, {1, 4, 0}, {-3, 0, 0}}},
        {"all in a row", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}},
    };
    for (const Degenerate& d : degenerate)
        EXPECT_EQ(QvFillHoleCommand::GetBridgeDivisions(d.points, 1.0), -1) << d.name;
}

// ---- Strips into the target mesh -------------------------------------------------------

TEST(Bridge, StraightStripCounts)
{
    for (const int length : {2, 4})
    {
        Slot slot = MakeSlot(length);
        const Counts before = CountsOf(slot.mesh);
        QvFillHoleCommand command(&slot.mesh);
        ASSERT_TRUE(command.BridgeEdges(EdgeOf(slot.mesh, slot.bottom[0], slot.bottom[1]),
                                        EdgeOf(slot.mesh, slot.top[0], slot.top[1]), nullptr, false));
        // n = length divisions: 2 (n - 1) vertices and 2 n faces.
        EXPECT_EQ(slot.mesh.m_vertices.size(), before.vertices + 2 * (length - 1));
        EXPECT_EQ(slot.mesh.m_faces.size(), before.faces + 2 * length);
        EXPECT_TRUE(qvtest::MeshInvariantsHold(slot.mesh));
        EXPECT_TRUE(qvtest::IsConsistentlyOriented(slot.mesh));
        for (std::size_t f = before.faces; f < slot.mesh.m_faces.size(); ++f)
            EXPECT_NEAR(slot.mesh.m_faces[f].m_normal[2], 1.0, 1e-12);
    }
}

TEST(Bridge, CurvedStripCounts)
{
    // Length 4: 6 divisions, 2 (n - 2) vertices and 2 n - 2 faces.
    Slot slot = MakeSlot(4);
    const Counts before = CountsOf(slot.mesh);
    QvFillHoleCommand command(&slot.mesh);
    ASSERT_TRUE(command.BridgeEdgesSmooth(EdgeOf(slot.mesh, slot.bottom[0], slot.bottom[1]),
                                          EdgeOf(slot.mesh, slot.top[0], slot.top[1]), nullptr, false));
    EXPECT_EQ(slot.mesh.m_vertices.size(), before.vertices + 8);
    EXPECT_EQ(slot.mesh.m_faces.size(), before.faces + 10);
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(slot.mesh));
    EXPECT_EQ(command.GetFirstSideCurve(), nullptr);
    EXPECT_EQ(command.GetSecondSideCurve(), nullptr);

    // Length 1: two divisions, no vertex, the two faces (c0, c1, c2) and (c0, c2, c3).
    Slot square = MakeSlot(1);
    QvFillHoleCommand onSquare(&square.mesh);
    const QvEdge bottom = EdgeOf(square.mesh, square.bottom[0], square.bottom[1]);
    const QvEdge top = EdgeOf(square.mesh, square.top[0], square.top[1]);
    std::vector<int> corners;
    onSquare.GetBridgeCorners(bottom, top, corners);
    ASSERT_EQ(corners.size(), 4u);
    const Counts squareBefore = CountsOf(square.mesh);
    ASSERT_TRUE(onSquare.BridgeEdgesSmooth(bottom, top, nullptr, false));
    EXPECT_EQ(square.mesh.m_vertices.size(), squareBefore.vertices);
    ASSERT_EQ(square.mesh.m_faces.size(), squareBefore.faces + 2);
    EXPECT_NE(square.mesh.FindEdge(corners[0], corners[2]), -1);
    EXPECT_EQ(square.mesh.FindEdge(corners[1], corners[3]), -1);
    std::vector<std::vector<int>> loops;
    square.mesh.GetBoundaryLoops(loops);
    EXPECT_EQ(loops.size(), 1u); // only the grid's outer border is left
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(square.mesh));
}

TEST(Bridge, CornersPairTheTwoEdges)
{
    Slot slot = MakeSlot(3);
    QvFillHoleCommand command(&slot.mesh);
    for (const bool swapped : {false, true})
    {
        const QvEdge a = EdgeOf(slot.mesh, slot.bottom[0], slot.bottom[1]);
        const QvEdge b = EdgeOf(slot.mesh, slot.top[0], slot.top[1]);
        std::vector<int> corners;
        command.GetBridgeCorners(swapped ? b : a, swapped ? a : b, corners);
        ASSERT_EQ(corners.size(), 4u);
        const int e01 = slot.mesh.FindEdge(corners[0], corners[1]);
        const int e23 = slot.mesh.FindEdge(corners[2], corners[3]);
        EXPECT_TRUE((e01 == a.m_index && e23 == b.m_index) || (e01 == b.m_index && e23 == a.m_index));
    }
}

// ---- Strips into a separate mesh -------------------------------------------------------

TEST(Bridge, SeparateStripIsOrientedAgainstTheTarget)
{
    for (const bool curved : {false, true})
    {
        SCOPED_TRACE(curved ? "curved" : "straight");
        Slot slot = MakeSlot(4);
        const Counts before = CountsOf(slot.mesh);
        QvFillHoleCommand command(&slot.mesh);
        const QvEdge bottom = EdgeOf(slot.mesh, slot.bottom[0], slot.bottom[1]);
        const QvEdge top = EdgeOf(slot.mesh, slot.top[0], slot.top[1]);
        std::vector<int> corners;
        command.GetBridgeCorners(bottom, top, corners);
        ASSERT_EQ(corners.size(), 4u);

        QvMesh strip;
        ASSERT_TRUE(curved ? command.BridgeEdgesSmooth(bottom, top, &strip, true)
                           : command.BridgeEdges(bottom, top, &strip, true));
        EXPECT_EQ(CountsOf(slot.mesh), before);
        // Straight: n = 4 divisions, 2 (n + 1) vertices; curved: n = 6 steps of n points.
        const std::size_t pairs = curved ? 6 : 5;
        ASSERT_EQ(strip.m_vertices.size(), 2 * pairs);
        EXPECT_EQ(strip.m_faces.size(), 2 * pairs - 2);
        for (const QvFace& f : strip.m_faces)
            EXPECT_EQ(f.m_tag, kQvFaceTagPlain);
        const QvPoint& p0 = slot.mesh.m_vertices[corners[0]].m_point;
        const QvPoint& p1 = slot.mesh.m_vertices[corners[1]].m_point;
        const QvPoint& p2 = slot.mesh.m_vertices[corners[2]].m_point;
        const QvPoint& p3 = slot.mesh.m_vertices[corners[3]].m_point;
        EXPECT_EQ(strip.m_vertices[0].m_point, p0);
        EXPECT_EQ(strip.m_vertices[1].m_point, p1);
        EXPECT_EQ(strip.m_vertices[2 * pairs - 2].m_point, p3);
        EXPECT_EQ(strip.m_vertices[2 * pairs - 1].m_point, p2);
        EXPECT_TRUE(qvtest::MeshInvariantsHold(strip));
        EXPECT_TRUE(qvtest::IsConsistentlyOriented(strip));
        // Glued in, the strip would agree with the grid: it runs each end edge the other way.
        const int last = static_cast<int>(2 * pairs - 1);
        EXPECT_NE(FaceRunsFromTo(strip, 0, 1), FaceRunsFromTo(slot.mesh, corners[0], corners[1]));
        EXPECT_NE(FaceRunsFromTo(strip, last - 1, last), FaceRunsFromTo(slot.mesh, corners[3], corners[2]));
    }
}

TEST(Bridge, OrientationPassEndsWithUnreachableFaces)
{
    Slot slot = MakeSlot(4);
    QvFillHoleCommand command(&slot.mesh);
    const QvEdge bottom = EdgeOf(slot.mesh, slot.bottom[0], slot.bottom[1]);
    const QvEdge top = EdgeOf(slot.mesh, slot.top[0], slot.top[1]);
    std::vector<int> corners;
    command.GetBridgeCorners(bottom, top, corners);
    QvPoint points[4];
    for (int k = 0; k < 4; ++k)
        points[k] = slot.mesh.m_vertices[corners[k]].m_point;

    QvMesh strip;
    command.BuildBridgeMesh(points, 4, &strip, false);
    // A closed tetrahedron apart from the strip: none of its faces borders a face the pass
    // has reached, and it has no border where a walk could stop.
    const std::size_t stripFaces = strip.m_faces.size();
    const int a = strip.AddVertex(QvPoint(50, 50, 0));
    const int b = strip.AddVertex(QvPoint(51, 50, 0));
    const int c = strip.AddVertex(QvPoint(50, 51, 0));
    const int d = strip.AddVertex(QvPoint(50, 50, 1));
    // Deliberately wound against each other, so a pass that reached them would flip some.
    for (const std::array<int, 3>& f : {std::array<int, 3>{a, b, c}, {a, b, d}, {b, c, d}, {c, a, d}})
        ASSERT_TRUE(strip.AddFace(f[0], f[1], f[2], 0));
    std::vector<std::array<int, 3>> tetrahedron;
    for (std::size_t f = stripFaces; f < strip.m_faces.size(); ++f)
        tetrahedron.push_back({strip.m_faces[f].m_vertices[0], strip.m_faces[f].m_vertices[1],
                               strip.m_faces[f].m_vertices[2]});

    command.OrientBridgeMesh(bottom.m_index, &strip);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(strip));
    for (std::size_t f = stripFaces; f < strip.m_faces.size(); ++f)
    {
        const std::array<int, 3> now{strip.m_faces[f].m_vertices[0], strip.m_faces[f].m_vertices[1],
                                     strip.m_faces[f].m_vertices[2]};
        EXPECT_EQ(now, tetrahedron[f - stripFaces]) << "face " << f;
    }
    // The strip itself is consistent: every edge it shares is run both ways.
    std::map<int, int> newToOld;
    std::vector<int> faces(stripFaces);
    for (std::size_t f = 0; f < stripFaces; ++f)
        faces[f] = static_cast<int>(f);
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(*strip.ExtractFaces(faces, newToOld)));
}

} // namespace
