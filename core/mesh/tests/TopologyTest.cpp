// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <vector>

#include "core/mesh/QvMesh.h"
#include "core/mesh/tests/MeshTestUtil.h"
#include "testing/MeshFixtures.h"

namespace {

using meshtest::MeshOf;

using Loops = std::vector<std::vector<int>>;

std::vector<QvPoint> Ring(int n, bool withCentre)
{
    std::vector<QvPoint> points;
    if (withCentre)
        points.emplace_back(0, 0, 0);
    for (int i = 0; i < n; ++i)
        points.emplace_back(std::cos(kQvTwoPi * i / n), std::sin(kQvTwoPi * i / n), 0);
    return points;
}

// Centre 0 and ring 1..6; face i is (0, i+1, i+2), the last one closing on vertex 1.
QvMesh HexFan(bool closed)
{
    std::vector<std::array<int, 3>> faces;
    for (int i = 0; i < (closed ? 6 : 5); ++i)
        faces.push_back({0, 1 + i, 1 + (i + 1) % 6});
    return MeshOf(Ring(6, true), faces);
}

// Every boundary edge of the mesh, as unordered vertex pairs.
std::multiset<std::pair<int, int>> BoundaryEdges(const QvMesh& mesh)
{
    std::multiset<std::pair<int, int>> out;
    for (const QvEdge& e : mesh.m_edges)
        if (e.IsBoundary())
            out.insert(std::minmax(e.m_vertices[0], e.m_vertices[1]));
    return out;
}

// Consecutive vertices of closed loops, as unordered pairs.
std::multiset<std::pair<int, int>> LoopEdges(const Loops& loops)
{
    std::multiset<std::pair<int, int>> out;
    for (const auto& loop : loops)
        for (std::size_t i = 0; i < loop.size(); ++i)
            out.insert(std::minmax(loop[i], loop[(i + 1) % loop.size()]));
    return out;
}

double SignedArea(const QvMesh& mesh, const std::vector<int>& loop)
{
    double area = 0.0;
    for (std::size_t i = 0; i < loop.size(); ++i)
    {
        const QvPoint& a = mesh.m_vertices[loop[i]].m_point;
        const QvPoint& b = mesh.m_vertices[loop[(i + 1) % loop.size()]].m_point;
        area += a[0] * b[1] - b[0] * a[1];
    }
    return area / 2.0;
}

TEST(Topology, VertexFacesOnFans)
{
    // Interior vertex of a closed fan: the start edge 0-1 was made by face 0 and
    // closed by face 5, so the walk starts at face 5 and goes round.
    const QvMesh closed = HexFan(true);
    std::vector<int> ordered, unordered{42};
    closed.GetVertexFaces(0, ordered, true);
    closed.GetVertexFaces(0, unordered, false);
    EXPECT_EQ(ordered, (std::vector<int>{5, 0, 1, 2, 3, 4}));
    EXPECT_EQ(unordered, (std::vector<int>{0, 1, 2, 3, 4, 5}));

    // Boundary vertex of an open fan: from the face of the first boundary edge (0-1,
    // face 0) to the face of the other one.
    const QvMesh open = HexFan(false);
    ordered.clear();
    open.GetVertexFaces(0, ordered, true);
    EXPECT_EQ(ordered, (std::vector<int>{0, 1, 2, 3, 4}));
    // A ring vertex with two faces: same list in both forms.
    ordered.clear();
    open.GetVertexFaces(3, ordered, true);
    open.GetVertexFaces(3, unordered, false);
    EXPECT_EQ(std::set<int>(ordered.begin(), ordered.end()), std::set<int>(unordered.begin(), unordered.end()));
    EXPECT_EQ(ordered.size(), 2u);

    // The ordered form appends; the unordered form replaces.
    ordered = {99};
    open.GetVertexFaces(1, ordered, true);
    EXPECT_EQ(ordered, (std::vector<int>{99, 0}));
    unordered = {99, 98};
    open.GetVertexFaces(1, unordered, false);
    EXPECT_EQ(unordered, (std::vector<int>{0}));
}

TEST(Topology, VertexFacesWhereFansMeet)
{
    // Two triangles touching at vertex 2 (a bow-tie): the ordered walk sees one fan only.
    const QvMesh bowTie = MeshOf({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}}, {{0, 1, 2}, {2, 3, 4}});
    std::vector<int> ordered, unordered;
    bowTie.GetVertexFaces(2, ordered, true);
    bowTie.GetVertexFaces(2, unordered, false);
    EXPECT_EQ(ordered, (std::vector<int>{0}));
    EXPECT_EQ(unordered, (std::vector<int>{0, 1}));

    // Two closed fans (a double cone pinched at the apex): only the first fan is walked.
    std::vector<QvPoint> points{{0, 0, 0}};
    for (int i = 0; i < 4; ++i)
        points.emplace_back(std::cos(kQvTwoPi * i / 4), std::sin(kQvTwoPi * i / 4), 1);
    for (int i = 0; i < 4; ++i)
        points.emplace_back(std::cos(kQvTwoPi * i / 4), std::sin(kQvTwoPi * i / 4), -1);
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
    const QvMesh cones = MeshOf(points, faces);
    ordered.clear();
    cones.GetVertexFaces(0, ordered, true);
    cones.GetVertexFaces(0, unordered, false);
    EXPECT_EQ(ordered.size(), 4u);
    EXPECT_EQ(unordered.size(), 8u);

    // A vertex without edges: nothing in either form.
    QvMesh lonely = bowTie;
    lonely.AddVertex(QvPoint(9, 9, 9));
    ordered.clear();
    lonely.GetVertexFaces(5, ordered, true);
    lonely.GetVertexFaces(5, unordered, false);
    EXPECT_TRUE(ordered.empty());
    EXPECT_TRUE(unordered.empty());
}

TEST(Topology, NeighboursAndBoundaryTests)
{
    const QvMesh open = HexFan(false);
    std::vector<int> neighbours{7, 7, 7};
    open.GetNeighborVertices(0, neighbours);
    EXPECT_EQ(neighbours, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(open.IsBoundaryVertex(0));
    EXPECT_FALSE(open.IsClosed());

    const QvMesh closed = HexFan(true);
    EXPECT_FALSE(closed.IsBoundaryVertex(0));
    EXPECT_TRUE(closed.IsBoundaryVertex(1));

    const QvMesh cube = qvtest::MakeCube();
    EXPECT_TRUE(cube.IsClosed());
    for (int v = 0; v < 8; ++v)
        EXPECT_FALSE(cube.IsBoundaryVertex(v));
    Loops loops;
    cube.GetBoundaryLoops(loops);
    EXPECT_TRUE(loops.empty());
    std::vector<int> loop;
    cube.GetBoundaryLoopFromVertex(loop, 0);
    EXPECT_TRUE(loop.empty());
    closed.GetBoundaryLoopFromVertex(loop, 0);
    EXPECT_TRUE(loop.empty());

    QvMesh bare;
    bare.AddVertex(QvPoint());
    EXPECT_TRUE(bare.IsClosed());
    EXPECT_FALSE(bare.IsBoundaryVertex(0));
}

struct LoopCase
{
    const char* name;
    std::vector<QvPoint> points;
    std::vector<std::array<int, 3>> faces;
    Loops expected;
};

TEST(Topology, BoundaryLoopsTable)
{
    const std::vector<LoopCase> cases = {
        {"single triangle", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {{0, 1, 2}}},
        // At vertex 2 the edge back to 0 was attached before the second triangle's edges.
        {"bow-tie", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}}, {{0, 1, 2}, {2, 3, 4}}, {{0, 1, 2}, {2, 3, 4}}},
        // The walk from 0 reaches 3, runs round the triangle (3, 4, 5) and comes back to 3:
        // that part is split off first, then the quad's loop is finished.
        {"walk returns to a vertex",
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}},
         {{0, 1, 2}, {3, 4, 5}, {2, 1, 3}},
         {{3, 4, 5}, {0, 1, 3, 2}}},
        {"closed fan", Ring(6, true), {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 5}, {0, 5, 6}, {0, 6, 1}}, {{1, 2, 3, 4, 5, 6}}},
    };
    for (const LoopCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        const QvMesh mesh = MeshOf(c.points, c.faces);
        Loops loops{{77}};
        mesh.GetBoundaryLoops(loops);
        Loops expected{{77}};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(loops, expected);
        loops.erase(loops.begin());
        EXPECT_EQ(LoopEdges(loops), BoundaryEdges(mesh));
    }
}

TEST(Topology, BoundaryLoopFromVertexRepeatsVertices)
{
    const QvMesh mesh =
        MeshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}}, {{0, 1, 2}, {3, 4, 5}, {2, 1, 3}});
    std::vector<int> loop{-5};
    mesh.GetBoundaryLoopFromVertex(loop, 3);
    EXPECT_EQ(loop, (std::vector<int>{-5, 3, 4, 5}));
    loop.clear();
    mesh.GetBoundaryLoopFromVertex(loop, 0);
    EXPECT_EQ(loop, (std::vector<int>{0, 1, 3, 4, 5, 3, 2}));
    // The walk starts at the first boundary edge of the vertex, not at the vertex.
    loop.clear();
    mesh.GetBoundaryLoopFromVertex(loop, 2);
    EXPECT_EQ(loop.front(), 2);
    loop.clear();
    mesh.GetBoundaryLoopFromVertex(loop, 1);
    EXPECT_EQ(loop.front(), 0);
}

TEST(Topology, BoundaryLoopsOfDiscWithHoles)
{
    // An 8 x 8 grid of cells with two holes of one and two by two cells left out.
    const int n = 9;
    std::vector<QvPoint> points;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            points.emplace_back(i, j, 0);
    const std::set<std::pair<int, int>> holes{{2, 2}, {5, 4}, {6, 4}, {5, 5}, {6, 5}};
    std::vector<std::array<int, 3>> faces;
    for (int j = 0; j + 1 < n; ++j)
        for (int i = 0; i + 1 < n; ++i)
        {
            if (holes.count({i, j}) != 0)
                continue;
            const int v = j * n + i;
            faces.push_back({v, v + 1, v + n});
            faces.push_back({v + 1, v + n + 1, v + n});
        }
    const QvMesh mesh = MeshOf(points, faces);
    Loops loops;
    mesh.GetBoundaryLoops(loops);
    ASSERT_EQ(loops.size(), 3u);
    EXPECT_EQ(LoopEdges(loops), BoundaryEdges(mesh));
    // Every edge of these loops was made by its only face, so the outer loop runs
    // with the faces (counter-clockwise) and the holes against them.
    std::vector<double> areas;
    for (const auto& loop : loops)
        areas.push_back(SignedArea(mesh, loop));
    std::sort(areas.begin(), areas.end());
    EXPECT_DOUBLE_EQ(areas[0], -4.0);
    EXPECT_DOUBLE_EQ(areas[1], -1.0);
    EXPECT_DOUBLE_EQ(areas[2], 64.0);
    for (const auto& loop : loops)
        EXPECT_EQ(std::set<int>(loop.begin(), loop.end()).size(), loop.size());

    // After faces are removed the loops still cover each boundary edge once.
    QvMesh cut = mesh;
    cut.RemoveFace(40, true);
    cut.RemoveFace(3, true);
    loops.clear();
    cut.GetBoundaryLoops(loops);
    EXPECT_EQ(LoopEdges(loops), BoundaryEdges(cut));
}

TEST(Topology, CommonVertexAndFace)
{
    const QvMesh strip = qvtest::MakeTwoTriangleStrip(); // faces (0, 1, 2), (2, 1, 3)
    const int e01 = strip.FindEdge(0, 1), e12 = strip.FindEdge(1, 2), e20 = strip.FindEdge(2, 0);
    const int e13 = strip.FindEdge(1, 3), e32 = strip.FindEdge(3, 2);
    struct Case
    {
        int a, b, vertex, face;
    };
    const std::vector<Case> cases = {
        {e01, e12, 1, 0}, {e12, e20, 2, 0}, {e13, e32, 3, 1}, {e12, e13, 1, 1},
        {e01, e32, -1, -1}, {e20, e13, -1, -1},
        // The same edge twice: its first vertex and its first face.
        {e12, e12, strip.m_edges[e12].m_vertices[0], 0},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(strip.GetCommonVertex(c.a, c.b), c.vertex) << c.a << " " << c.b;
        EXPECT_EQ(strip.GetCommonFace(c.a, c.b), c.face) << c.a << " " << c.b;
    }
}

TEST(Topology, SplitComponents)
{
    const QvMesh grid = qvtest::MakeGrid(5, 5);
    Loops components{{-1}};
    // Columns 0-1 and 3-4 of the bottom two rows, listed interleaved.
    grid.SplitVertexComponents({4, 0, 1, 5, 3, 6, 9, 8}, components);
    EXPECT_EQ(components, (Loops{{-1}, {4, 3, 8, 9}, {0, 1, 5, 6}}));

    // Faces of cell (0, 3), and of cells (0, 0) and (1, 0), listed out of order.
    components.clear();
    grid.SplitFaceComponents({25, 24, 0, 3, 1, 2}, components);
    EXPECT_EQ(components, (Loops{{25, 24}, {0, 1, 2, 3}}));

    // The bottom row's edges and the top row's edges.
    std::set<int> edges;
    for (int i = 0; i < 4; ++i)
    {
        edges.insert(grid.FindEdge(i, i + 1));
        edges.insert(grid.FindEdge(20 + i, 21 + i));
    }
    components.clear();
    grid.SplitEdgeComponents(edges, components);
    ASSERT_EQ(components.size(), 2u);
    EXPECT_EQ(components[0].front(), *edges.begin());
    for (const auto& c : components)
        EXPECT_EQ(c.size(), 4u);
}

TEST(Topology, PointTolerantLess)
{
    const QvPointTolerantLess less(1e-7);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case
    {
        QvPoint a, b;
        bool aFirst, bFirst;
    };
    const std::vector<Case> cases = {
        {{0, 0, 0}, {5e-8, 0, 0}, false, false},
        {{0, 0, 0}, {1e-6, -5, 0}, true, false},   // x decides
        {{0, 0, 0}, {5e-8, 1e-6, -5}, true, false}, // x within tolerance, y decides
        {{0, 3, 0}, {5e-8, 3, -1e-6}, false, true}, // z decides
        {{0, 0, 0}, {5e-8, 5e-8, 5e-8}, false, false},
        {{nan, 0, 0}, {0, -1, 0}, false, false}, // NaN makes x decide and answers false
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(less(c.a, c.b), c.aFirst);
        EXPECT_EQ(less(c.b, c.a), c.bFirst);
    }
    // Welding: corners within the tolerance share one map entry.
    std::map<QvPoint, int, QvPointTolerantLess> welded(less);
    welded.emplace(QvPoint(1, 2, 3), 0);
    welded.emplace(QvPoint(1 + 5e-8, 2 - 5e-8, 3), 1);
    welded.emplace(QvPoint(1, 2, 3 + 1e-6), 2);
    EXPECT_EQ(welded.size(), 2u);
}

} // namespace
