// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/mesh/QvFillHoleCommand.h"
#include "core/mesh/tests/HoleFixtures.h"
#include "core/mesh/tests/MeshTestUtil.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

using meshtest::MeshOf;

using holetest::IsClosedOrientedManifold;
using qvtest::MeshInvariantsHold;

// A flat grid of 4 x 4 vertices (spacing s) without its centre cell: one square hole
// with corners 5, 6, 10, 9.
QvMesh GridWithCentreHole(double spacing)
{
    QvMesh mesh = qvtest::MakeGrid(4, 4, spacing);
    for (int f = static_cast<int>(mesh.m_faces.size()) - 1; f >= 0; --f)
    {
        const QvPoint c = holetest::Centroid(mesh, f);
        if (c[0] > spacing && c[0] < 2 * spacing && c[1] > spacing && c[1] < 2 * spacing)
            mesh.RemoveFace(f, false);
    }
    return mesh;
}

bool HasFace(const QvMesh& mesh, int a, int b, int c)
{
    const std::multiset<int> want{a, b, c};
    for (const QvFace& f : mesh.m_faces)
        if (std::multiset<int>(f.m_vertices, f.m_vertices + 3) == want)
            return true;
    return false;
}

struct Counts
{
    std::size_t vertices;
    std::size_t edges;
    std::size_t faces;
    bool operator==(const Counts&) const = default;
};

Counts CountsOf(const QvMesh& mesh) { return {mesh.m_vertices.size(), mesh.m_edges.size(), mesh.m_faces.size()}; }

// ---- Every strategy closes holes of every size on a sphere -----------------------------

struct Strategy
{
    const char* name;
    int tag;
    std::vector<int> holes;
    std::function<bool(QvFillHoleCommand&, const std::vector<int>&, int)> fill;
};

class SphereHoleTest : public ::testing::TestWithParam<Strategy>
{
};

TEST_P(SphereHoleTest, ClosesEveryHoleIntoAnOrientedManifoldOfTheSphereVolume)
{
    const Strategy& strategy = GetParam();
    const double closedVolume = holetest::SignedVolume(qvtest::MakeSphere(6, 1.0));
    QvMesh mesh = holetest::SphereWithHoles(strategy.holes);
    const std::size_t facesBefore = mesh.m_faces.size();

    QvFillHoleCommand command(&mesh);
    for (const int size : strategy.holes)
    {
        const std::vector<int> loop = holetest::LoopOfSize(mesh, static_cast<std::size_t>(size));
        ASSERT_EQ(loop.size(), static_cast<std::size_t>(size));
        EXPECT_TRUE(strategy.fill(command, loop, strategy.tag)) << "hole of " << size;
    }

    EXPECT_TRUE(IsClosedOrientedManifold(mesh));
    for (std::size_t f = facesBefore; f < mesh.m_faces.size(); ++f)
        EXPECT_EQ(mesh.m_faces[f].m_tag, strategy.tag);
    EXPECT_NEAR(holetest::SignedVolume(mesh), closedVolume, 0.01 * closedVolume);
}

INSTANTIATE_TEST_SUITE_P(
    Strategies, SphereHoleTest,
    ::testing::Values(
        Strategy{"front", kQvFaceTagAirwayCap, {3, 4, 12, 121},
                 [](QvFillHoleCommand& c, const std::vector<int>& l, int t) { return c.FillLoop(l, t) > 0; }},
        Strategy{"planar", kQvFaceTagGumFill, {3, 4, 12, 121},
                 [](QvFillHoleCommand& c, const std::vector<int>& l, int t) { return c.FillLoopPlanar(l, t); }},
        // More than 120 loop vertices is refused by the refined fill; 120 is its largest hole.
        Strategy{"refined", 3, {3, 4, 12, 120},
                 [](QvFillHoleCommand& c, const std::vector<int>& l, int t) { return c.FillLoopRefined(l, t); }}),
    [](const ::testing::TestParamInfo<Strategy>& info) { return std::string(info.param.name); });

TEST(FillHoleRefined, RefinedPatchStaysNearTheBoundaryEdgeLength)
{
    QvMesh mesh = holetest::SphereWithHoles({120});
    const std::vector<int> loop = holetest::LoopOfSize(mesh, 120);
    ASSERT_EQ(loop.size(), 120u);
    double perimeter = 0.0;
    for (std::size_t i = 0; i < loop.size(); ++i)
        perimeter += mesh.m_vertices[loop[i]].m_point.Distance(mesh.m_vertices[loop[(i + 1) % loop.size()]].m_point);
    const double target = 2.0 * perimeter / 120.0;

    const std::size_t first = mesh.m_faces.size();
    QvFillHoleCommand command(&mesh);
    ASSERT_TRUE(command.FillLoopRefined(loop, 3));
    // The advancing front alone would make fans of long thin triangles; the refinement
    // leaves no thin face whose longest side could still be halved.
    for (std::size_t f = first; f < mesh.m_faces.size(); ++f)
    {
        const std::int32_t* k = mesh.m_faces[f].m_vertices;
        double longest = 0.0;
        for (int j = 0; j < 3; ++j)
            longest = std::max(longest,
                               mesh.m_vertices[k[j]].m_point.Distance(mesh.m_vertices[k[(j + 1) % 3]].m_point));
        EXPECT_LT(longest, 3.0 * target) << "face " << f;
    }
    EXPECT_GT(mesh.m_faces.size() - first, 118u);
}

// ---- Advancing front ----------------------------------------------------------------------

TEST(FillHoleFront, EmptyAndDegenerateLoopsAddNothing)
{
    QvMesh mesh = GridWithCentreHole(1.0);
    const Counts before = CountsOf(mesh);
    QvFillHoleCommand command(&mesh);
    EXPECT_EQ(command.FillLoop({}, 0), 0);
    EXPECT_FALSE(command.FillLoopPlanar({}, 0));
    EXPECT_EQ(command.FillLoop({5, 6}, 0), 0);
    EXPECT_EQ(command.FillLoop({5, 6, 999}, 0), 0);
    EXPECT_TRUE(command.Execute());
    EXPECT_EQ(CountsOf(mesh), before);

    QvFillHoleCommand unbound;
    EXPECT_EQ(unbound.FillLoop({0, 1, 2}, 0), 0);
    EXPECT_EQ(unbound.GetMesh(), nullptr);
    unbound.SetMesh(&mesh);
    EXPECT_EQ(unbound.GetMesh(), &mesh);
}

TEST(FillHoleFront, TriangularHoleTakesExactlyOneFace)
{
    // A fan of three faces around vertex 0, the triangle 1-2-3 open.
    QvMesh mesh = MeshOf({{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {-1, -1, 0}}, {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}});
    QvFillHoleCommand command(&mesh);
    EXPECT_EQ(command.FillLoop({1, 2, 3}, kQvFaceTagAirwayCap), 1);
    ASSERT_EQ(mesh.m_faces.size(), 4u);
    EXPECT_EQ(mesh.m_faces[3].m_tag, kQvFaceTagAirwayCap);
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));
    // Filled already: every corner's closing side has two faces.
    EXPECT_EQ(command.FillLoop({1, 2, 3}, 0), 0);
    EXPECT_EQ(mesh.m_faces.size(), 4u);
}

TEST(FillHoleFront, FourVertexHoleCutsTheLargestAngleSumFirst)
{
    struct Case
    {
        const char* name;
        QvPoint corner5;     // where the hole's corner 5 sits
        int firstCorner;     // the corner cut first
        std::array<int, 2> diagonal;
    };
    // Loop order 5, 6, 10, 9 on a flat grid, where a corner's sum is 2 pi less the hole's
    // angle there. Pulling corner 5 outwards makes it the sharpest; pushing it inwards
    // makes it blunt, and corner 9 (angle 69 degrees against 74 at corner 6) goes first.
    const Case cases[] = {
        {"sharp corner 5", QvPoint(0.7, 0.7, 0), 5, {6, 9}},
        {"blunt corner 5", QvPoint(1.3, 1.2, 0), 9, {5, 10}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        QvMesh mesh = GridWithCentreHole(1.0);
        ASSERT_TRUE(mesh.SetVertexPosition(5, c.corner5));
        const std::vector<int> loop{5, 6, 10, 9};
        QvFillHoleCommand command(&mesh);
        const std::size_t first = mesh.m_faces.size();
        ASSERT_EQ(command.FillLoop(loop, 0), 2);
        const std::int32_t* cut = mesh.m_faces[first].m_vertices;
        EXPECT_EQ(cut[1], c.firstCorner);
        EXPECT_NE(mesh.FindEdge(c.diagonal[0], c.diagonal[1]), -1);
        EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));
        for (std::size_t f = first; f < mesh.m_faces.size(); ++f)
            EXPECT_NEAR(mesh.m_faces[f].m_normal[2], 1.0, 1e-12);
    }
}

TEST(FillHoleFront, RankingOrdersByDescendingSumThenPosition)
{
    QvMesh mesh = GridWithCentreHole(1.0);
    QvFillHoleCommand command(&mesh);
    QvAngleRanking ranking;
    // 0 is a grid corner (sum pi / 2), 5 a hole corner (3 pi / 2), 1 on the border (pi);
    // loose vertices have sum 0 and keep their front order.
    const int loose = mesh.AddVertex(QvPoint(9, 9, 9));
    const int other = mesh.AddVertex(QvPoint(8, 9, 9));
    command.RankLoopVertices({other, 0, 5, 1, loose}, ranking);
    std::vector<int> order;
    std::vector<double> sums;
    for (const auto& [sum, position] : ranking)
    {
        order.push_back(position);
        sums.push_back(sum);
    }
    EXPECT_EQ(order, (std::vector<int>{2, 3, 1, 0, 4}));
    EXPECT_NEAR(sums[0], 1.5 * kQvPi, 1e-9);
    EXPECT_NEAR(sums[1], kQvPi, 1e-9);
    EXPECT_NEAR(sums[2], 0.5 * kQvPi, 1e-9);
    EXPECT_EQ(sums[3], 0.0);
    EXPECT_EQ(sums[4], 0.0);
}

TEST(FillHoleFront, TriangleValidity)
{
    // Faces (0, 3, 1) and (1, 4, 0) fill both sides of edge 0-1; 5 and 7 lie on the line
    // through 0 and 1; 6 sits on 2 within the coincidence tolerance.
    QvMesh mesh = MeshOf(
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.5, -1, 0}, {0.5, 2, 1}, {2, 0, 0}, {0, 1, 5e-8}, {3, 0, 0}},
        {{0, 3, 1}, {1, 4, 0}});
    QvFillHoleCommand command(&mesh);
    struct Case
    {
        std::array<int, 3> corners;
        bool valid;
    };
    const Case cases[] = {
        {{5, 5, 2}, false}, // repeated index
        {{0, 1, 2}, false}, // side 0-1 has two faces
        {{1, 5, 7}, false}, // collinear
        {{5, 1, 7}, false}, // collinear, turning back
        {{0, 2, 6}, false}, // coincident positions
        {{0, 2, 5}, true},  // no side exists yet
        {{2, 0, 3}, true},  // side 0-3 has one face
    };
    for (const Case& c : cases)
        EXPECT_EQ(command.IsValidTriangle(c.corners.data()), c.valid)
            << c.corners[0] << " " << c.corners[1] << " " << c.corners[2];
}

// ---- Planar fill ----------------------------------------------------------------------

TEST(FillHolePlanar, FailedTriangulationIsReportedAndChangesNothing)
{
    QvMesh mesh = MeshOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, {});
    const Counts before = CountsOf(mesh);
    QvFillHoleCommand command(&mesh);
    EXPECT_FALSE(command.FillLoopPlanar({0, 1, 2, 3}, 6));
    EXPECT_EQ(CountsOf(mesh), before);
}

TEST(FillHolePlanar, NonPlanarLoopKeepsItsOutline)
{
    // A zigzag rim: consecutive corners alternate in height, so the plane of the first
    // three corners stands across the hole. The fill must still follow the loop.
    QvMesh mesh;
    const int n = 16;
    std::vector<int> loop;
    for (int i = 0; i < n; ++i)
    {
        const double a = kQvTwoPi * i / n;
        loop.push_back(mesh.AddVertex(QvPoint(std::cos(a), std::sin(a), (i % 2 == 0) ? 0.0 : 0.15)));
    }
    QvFillHoleCommand command(&mesh);
    ASSERT_TRUE(command.FillLoopPlanar(loop, kQvFaceTagGumFill));
    EXPECT_EQ(mesh.m_faces.size(), static_cast<std::size_t>(n - 2));
    EXPECT_TRUE(MeshInvariantsHold(mesh));
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    ASSERT_EQ(loops.size(), 1u);
    EXPECT_EQ(loops[0].size(), static_cast<std::size_t>(n));
}

// ---- Refined fill -----------------------------------------------------------------------

TEST(FillHoleRefined, PerimeterAndSizeLimits)
{
    struct Case
    {
        double spacing; // the square hole's perimeter is four times this
        bool filled;
    };
    for (const Case c : {Case{10.0, true}, Case{10.125, false}})
    {
        QvMesh mesh = GridWithCentreHole(c.spacing);
        const Counts before = CountsOf(mesh);
        QvFillHoleCommand command(&mesh);
        EXPECT_EQ(command.FillLoopRefined({5, 6, 10, 9}, 3), c.filled) << c.spacing;
        if (!c.filled)
        {
            EXPECT_EQ(CountsOf(mesh), before);
        }
        else
        {
            EXPECT_EQ(mesh.m_faces.size(), before.faces + 2);
        }
    }

    QvMesh sphere = holetest::SphereWithHoles({121});
    const std::vector<int> loop = holetest::LoopOfSize(sphere, 121);
    ASSERT_EQ(loop.size(), 121u);
    const Counts before = CountsOf(sphere);
    QvFillHoleCommand command(&sphere);
    EXPECT_FALSE(command.FillLoopRefined(loop, 3));
    EXPECT_FALSE(command.FillLoopRefined({}, 3));
    EXPECT_EQ(CountsOf(sphere), before);
}

TEST(FillHoleRefined, TriangularHoleIsOneFaceAndNoVertex)
{
    QvMesh mesh = MeshOf({{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {-1, -1, 0}}, {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}});
    QvFillHoleCommand command(&mesh);
    ASSERT_TRUE(command.FillLoopRefined({1, 2, 3}, 3));
    EXPECT_EQ(mesh.m_faces.size(), 4u);
    EXPECT_EQ(mesh.m_vertices.size(), 4u);
    EXPECT_TRUE(IsClosedOrientedManifold(mesh));
}

TEST(FillHoleRefined, FailedFillTakesBackItsFacesAndVertices)
{
    // Loose vertices: every sum is 0 and position 0 (vertex b) is cut first. Its new side
    // a-c is over twice the target length and gets fan vertices on the segment; those
    // then rank first and their corner is a straight line, which stops the fill.
    QvMesh mesh;
    std::vector<int> loop;
    loop.push_back(mesh.AddVertex(QvPoint(0, 1, 0)));  // b
    loop.push_back(mesh.AddVertex(QvPoint(2, 0, 0)));  // c
    for (int j = 0; j < 20; ++j)
        loop.push_back(mesh.AddVertex(QvPoint(1.5 - 3.0 * j / 19.0, -1, 0)));
    loop.push_back(mesh.AddVertex(QvPoint(-2, 0, 0))); // a
    const Counts before = CountsOf(mesh);

    QvFillHoleCommand command(&mesh);
    EXPECT_FALSE(command.FillLoopRefined(loop, 3));
    EXPECT_EQ(CountsOf(mesh), before);
    EXPECT_TRUE(MeshInvariantsHold(mesh));
}

TEST(FillHoleRefined, CornerFanCutsLongSidesIntoEqualPieces)
{
    struct Case
    {
        double side; // |p q| in target lengths
        int newVertices;
    };
    for (const Case c : {Case{1.9, 0}, Case{2.5, 1}, Case{3.2, 2}, Case{0.5, 0}})
    {
        QvMesh mesh = MeshOf({{0, 0, 0}, {c.side / 2, 1, 0}, {c.side, 0, 0}}, {});
        QvFillHoleCommand command(&mesh);
        const int corner[3] = {0, 1, 2};
        std::vector<int> created;
        command.AddCornerFan(corner, created, 3, 1.0);
        ASSERT_EQ(created.size(), static_cast<std::size_t>(c.newVertices)) << c.side;
        EXPECT_EQ(mesh.m_faces.size(), created.size() + 1);
        const double piece = c.side / static_cast<double>(created.size() + 1);
        for (std::size_t i = 0; i < created.size(); ++i)
        {
            const QvPoint& p = mesh.m_vertices[created[i]].m_point;
            EXPECT_NEAR(p[0], piece * static_cast<double>(i + 1), 1e-12);
            EXPECT_NEAR(p[1], 0.0, 1e-12);
        }
        for (const QvFace& f : mesh.m_faces)
            EXPECT_EQ(f.m_tag, 3);
    }
}

// Triangle (0,0), (1,0), C with |0 C| = a and |1 C| = b, in target lengths.
QvMesh TriangleWithSides(double a, double b)
{
    const double x = (a * a - b * b + 1.0) / 2.0;
    return MeshOf({{0, 0, 0}, {1, 0, 0}, {x, std::sqrt(a * a - x * x), 0}}, {{0, 1, 2}});
}

TEST(FillHoleRefined, OnlyLongThinFacesAreSplit)
{
    struct Case
    {
        const char* name;
        double a;
        double b;
        std::vector<int> loop;
        bool split;
    };
    const Case cases[] = {
        {"sides 1, 3.5, 3.6", 3.6, 3.5, {}, true},
        {"sides 1, 2.9, 3", 3.0, 2.9, {}, false},
        {"longest side on the loop", 3.6, 3.5, {0, 2, 7}, false},
        {"short side on the loop", 3.6, 3.5, {0, 1, 7}, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        QvMesh mesh = TriangleWithSides(c.a, c.b);
        const double area = holetest::Area(mesh);
        QvFillHoleCommand command(&mesh);
        command.RefinePatch(0, c.loop, 3, 1.0);
        EXPECT_EQ(mesh.m_faces.size() > 1, c.split);
        EXPECT_NEAR(holetest::Area(mesh), area, 1e-9);
        EXPECT_TRUE(MeshInvariantsHold(mesh));
        std::vector<std::vector<int>> loops;
        mesh.GetBoundaryLoops(loops);
        EXPECT_EQ(loops.size(), 1u);
        if (!c.loop.empty())
        {
            EXPECT_NE(mesh.FindEdge(c.loop[0], c.loop[1]), -1) << "loop side split";
        }
    }
}

TEST(FillHoleRefined, NeighbourWithTwoLoopSidesSplitsInTwo)
{
    // Thin candidate (x, y, w) and its neighbour (x, z, y) whose sides x-z and z-y are loop
    // sides. The candidate's long side x-y is split at its midpoint, which hangs on the
    // neighbour.
    QvMesh mesh = MeshOf({{0, 0, 0}, {4, 0, 0}, {4.3, 0.5, 0}, {2, -0.5, 0}, {9, 9, 9}},
                         {{0, 1, 2}, {0, 3, 1}});
    const int x = 0;
    const int y = 1;
    const int z = 3;
    QvFillHoleCommand command(&mesh);
    command.RefinePatch(0, {x, z, y, 4}, 3, 4.0);

    EXPECT_TRUE(MeshInvariantsHold(mesh));
    std::vector<int> aroundZ;
    mesh.GetVertexFaces(z, aroundZ, false);
    ASSERT_EQ(aroundZ.size(), 2u);
    int midpoint = -1;
    for (int v = 0; v < static_cast<int>(mesh.m_vertices.size()); ++v)
        if (mesh.m_vertices[v].m_point == QvPoint(2, 0, 0))
            midpoint = v;
    ASSERT_NE(midpoint, -1);
    EXPECT_TRUE(HasFace(mesh, x, z, midpoint));
    EXPECT_TRUE(HasFace(mesh, y, z, midpoint));
    EXPECT_EQ(mesh.FindEdge(x, y), -1);
    // No crack: the only border is the outline, now with the two new midpoints on it.
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    ASSERT_EQ(loops.size(), 1u);
    EXPECT_EQ(loops[0].size(), 5u);
}

TEST(FillHoleRefined, RefinementEndsOnFacesThatCanNeverBecomeSmall)
{
    const double inf = std::numeric_limits<double>::infinity();
    QvMesh mesh = MeshOf({{0, 0, 0}, {1, 0, 0}, {inf, 1, 0}}, {{0, 1, 2}});
    QvFillHoleCommand command(&mesh);
    command.RefinePatch(0, {}, 3, 1.0);
    EXPECT_TRUE(MeshInvariantsHold(mesh));
}

// ---- Face-list helpers and small measures ---------------------------------------------

TEST(FillHoleHelpers, RemoveLastFacesNeverTakesFaceZero)
{
    struct Case
    {
        int count;
        std::size_t left;
    };
    for (const Case c : {Case{0, 18}, Case{-3, 18}, Case{5, 13}, Case{100, 1}})
    {
        QvMesh mesh = qvtest::MakeGrid(4, 4);
        QvFillHoleCommand command(&mesh);
        command.RemoveLastFaces(c.count);
        EXPECT_EQ(mesh.m_faces.size(), c.left) << c.count;
        EXPECT_TRUE(MeshInvariantsHold(mesh));
        // Vertices left without edges go with their faces.
        for (const QvVertex& v : mesh.m_vertices)
            EXPECT_FALSE(v.m_edges.empty());
    }
}

TEST(FillHoleHelpers, RemoveDanglingFacesPeelsSingleFaceVertices)
{
    QvMesh mesh = qvtest::MakeTwoTriangleStrip();
    QvFillHoleCommand command(&mesh);
    std::vector<int> list{1, 0, 3};
    // Vertex 1 has two faces, vertex 0 one: (0, 1, 2) goes first; then vertex 1 is down to
    // one face, which goes on the next pass. Vertex 3 is left with none.
    EXPECT_TRUE(command.RemoveDanglingFaces(list));
    EXPECT_TRUE(mesh.m_faces.empty());
    EXPECT_EQ(list, std::vector<int>{3});
    EXPECT_EQ(mesh.m_vertices.size(), 4u);
    EXPECT_FALSE(command.RemoveDanglingFaces(list));
}

TEST(FillHoleHelpers, VectorAngle)
{
    struct Case
    {
        QvVector p;
        QvVector q;
        double angle;
    };
    const Case cases[] = {
        {{1, 0, 0}, {-1, 0, 0}, 3.14159265359},
        {{1, 0, 0}, {2, 0, 0}, 0.0},
        {{0, 0, 0}, {1, 2, 3}, -1.0},
        {{1, 0, 0}, {0, 3, 0}, std::acos(0.0)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QvFillHoleCommand::VectorAngle(c.p, c.q), c.angle);
}

TEST(FillHoleHelpers, EdgeDirectionAgainstItsFace)
{
    QvMesh mesh = qvtest::MakeTwoTriangleStrip(); // faces (0, 1, 2), (2, 1, 3)
    EXPECT_FALSE(QvFillHoleCommand::IsEdgeReversed(&mesh, 0, 1));
    EXPECT_TRUE(QvFillHoleCommand::IsEdgeReversed(&mesh, 1, 0));
    EXPECT_FALSE(QvFillHoleCommand::IsEdgeReversed(&mesh, 1, 3));
    EXPECT_TRUE(QvFillHoleCommand::IsEdgeReversed(&mesh, 3, 1));
    EXPECT_FALSE(QvFillHoleCommand::IsEdgeReversed(&mesh, 0, 3)); // no edge
    EXPECT_FALSE(QvFillHoleCommand::IsEdgeReversed(&mesh, 0, 42));
}

TEST(FillHoleHelpers, CornerAngleAccumulation)
{
    QvMesh mesh = MeshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {});
    QvFillHoleCommand command(&mesh);
    const int corners[3] = {0, 1, 2};
    QvAngleRanking angles;
    std::map<int, double> byVertex;
    // Unknown vertex: the angle, nothing entered.
    const double right = std::acos(0.0);
    EXPECT_NEAR(command.AddCornerAngle(corners, angles, byVertex), right, 1e-15);
    EXPECT_TRUE(byVertex.empty());
    // Known vertex: the angle is added to its entry in both maps.
    byVertex[0] = 1.0;
    angles.emplace(1.0, 0);
    angles.emplace(2.0, 7);
    EXPECT_EQ(command.AddCornerAngle(corners, angles, byVertex), 0.0);
    EXPECT_NEAR(byVertex[0], 1.0 + right, 1e-15);
    ASSERT_EQ(angles.size(), 2u);
    EXPECT_EQ(angles.begin()->second, 0);
    // An entry of the vertex map without its twin: the old sum comes back unchanged.
    byVertex[0] = 5.0;
    EXPECT_EQ(command.AddCornerAngle(corners, angles, byVertex), 5.0);
}

} // namespace
