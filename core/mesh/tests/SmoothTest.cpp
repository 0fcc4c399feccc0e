// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/mesh/QvMesh.h"
#include "core/mesh/QvMeshSmoothCommand.h"
#include "core/mesh/tests/MeshTestUtil.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

using meshtest::MeshOf;
using meshtest::Positions;

void ExpectPoint(const QvPoint& actual, const QvPoint& expected, double tolerance = 1e-12)
{
    EXPECT_NEAR(actual[0], expected[0], tolerance);
    EXPECT_NEAR(actual[1], expected[1], tolerance);
    EXPECT_NEAR(actual[2], expected[2], tolerance);
}

bool AllFinite(const QvMesh& mesh)
{
    for (const QvVertex& v : mesh.m_vertices)
        for (int k = 0; k < 3; ++k)
            if (!std::isfinite(v.m_point[k]))
                return false;
    return true;
}

std::set<int> AllVertices(const QvMesh& mesh)
{
    std::set<int> all;
    for (int v = 0; v < static_cast<int>(mesh.m_vertices.size()); ++v)
        all.insert(v);
    return all;
}

// Vertex 0 with neighbours at distances 1 (vertex 1) and 3 (vertex 2); vertex 3 has no edges.
QvMesh NearFarTriangle()
{
    QvMesh mesh = MeshOf({QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(0, 3, 0)}, {{0, 1, 2}});
    mesh.AddVertex(QvPoint(5, 5, 5));
    return mesh;
}

// 7 x 7 grid of unit spacing with vertex 24 (the centre) raised to z = h; every
// neighbour of the centre has six neighbours.
constexpr int kCentre = 24;
QvMesh SpikedGrid(double h)
{
    QvMesh mesh = qvtest::MakeGrid(7, 7);
    mesh.m_vertices[kCentre].m_point[2] = h;
    return mesh;
}

// Radii about the centroid: their spread is how far the mesh is from a sphere.
double SphereDeviation(const QvMesh& mesh)
{
    const QvPoint c = mesh.GetCenter();
    std::vector<double> radii;
    double mean = 0.0;
    for (const QvVertex& v : mesh.m_vertices)
    {
        radii.push_back(v.m_point.Distance(c));
        mean += radii.back();
    }
    mean /= radii.size();
    double sum = 0.0;
    for (const double r : radii)
        sum += (r - mean) * (r - mean);
    return std::sqrt(sum / radii.size()) / mean;
}

TEST(MeshSmoothExecute, DistanceWeightsPullTheFarNeighbourHarder)
{
    QvMesh mesh = NearFarTriangle();
    mesh.m_colors = {QvColor(0, 0, 0), QvColor(100, 0, 7), QvColor(0, 201, 10), QvColor(1, 2, 3)};
    QvMeshSmoothCommand command(&mesh, {0});
    ASSERT_TRUE(command.Execute());
    // 0.25 p_near + 0.75 p_far.
    ExpectPoint(mesh.m_vertices[0].m_point, QvPoint(0.25, 2.25, 0));
    // (25, 150.75, 9.25) truncated.
    EXPECT_EQ(mesh.m_colors[0].m_r, 25);
    EXPECT_EQ(mesh.m_colors[0].m_g, 150);
    EXPECT_EQ(mesh.m_colors[0].m_b, 9);
    EXPECT_EQ(mesh.m_colors[1].m_r, 100);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh));
}

TEST(MeshSmoothExecute, TwiceListedVertexIsSmoothedTwicePerPass)
{
    QvMesh twice = NearFarTriangle();
    QvMeshSmoothCommand both(&twice, {0, 0, 3});
    ASSERT_TRUE(both.Execute());

    QvMesh once = NearFarTriangle();
    QvMeshSmoothCommand single(&once, {0});
    ASSERT_TRUE(single.Execute());
    ASSERT_TRUE(single.Execute());

    ExpectPoint(twice.m_vertices[0].m_point, once.m_vertices[0].m_point, 0.0);
    EXPECT_GT(twice.m_vertices[0].m_point.Distance(QvPoint(0.25, 2.25, 0)), 1e-3);
    // Vertex 3 has no neighbours and stays put.
    ExpectPoint(twice.m_vertices[3].m_point, QvPoint(5, 5, 5), 0.0);
}

TEST(MeshSmoothExecute, MeshAloneMovesNothingButRecomputesNormals)
{
    QvMesh mesh = qvtest::MakeSphere(1);
    const std::vector<QvPoint> before = Positions(mesh);
    for (QvFace& f : mesh.m_faces)
        f.m_normal = QvVector();
    QvMeshSmoothCommand command(&mesh);
    ASSERT_TRUE(command.Execute());
    for (std::size_t v = 0; v < before.size(); ++v)
        ExpectPoint(mesh.m_vertices[v].m_point, before[v], 0.0);
    for (const QvFace& f : mesh.m_faces)
        EXPECT_NEAR(f.m_normal.Length(), 1.0, 1e-12);
}

TEST(MeshSmoothCommand, WithoutMeshEveryOperationRefuses)
{
    QvMeshSmoothCommand command;
    EXPECT_FALSE(command.Execute());
    EXPECT_FALSE(command.SmoothListed(1));
    EXPECT_FALSE(command.SmoothLaplacian({0}, 1, 0.5));
    EXPECT_FALSE(command.SmoothWeighted({{0}}, {0.5}, 1));
    EXPECT_FALSE(command.SmoothLambdaMu({0}, 1, 0.5, -0.5));
    std::vector<QvPoint> points;
    command.LaplacianPoints({0}, points);
    EXPECT_TRUE(points.empty());
}

TEST(MeshSmoothLaplacianPoints, CentroidsAppendedAndMeshUntouched)
{
    QvMesh mesh = SpikedGrid(1.0);
    const std::vector<QvPoint> before = Positions(mesh);
    QvMeshSmoothCommand command(&mesh);
    std::vector<QvPoint> points;
    command.LaplacianPoints({kCentre, 0}, points);
    command.LaplacianPoints({kCentre}, points, 0.5);
    ASSERT_EQ(points.size(), 3u);
    // The centre's six neighbours are flat and centred on it; corner 0 has neighbours 1 and 7.
    ExpectPoint(points[0], QvPoint(3, 3, 0));
    ExpectPoint(points[1], QvPoint(0.5, 0.5, 0));
    ExpectPoint(points[2], QvPoint(3, 3, 0.5));
    for (std::size_t v = 0; v < before.size(); ++v)
        ExpectPoint(mesh.m_vertices[v].m_point, before[v], 0.0);
}

TEST(MeshSmoothLaplacian, BoundaryStaysAndZeroPassesOnlyRecomputeNormals)
{
    QvMesh mesh = qvtest::MakeGrid(5, 5);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> noise(-0.2, 0.2);
    for (QvVertex& v : mesh.m_vertices)
        v.m_point[2] = noise(rng);
    const std::vector<QvPoint> before = Positions(mesh);

    QvMeshSmoothCommand command(&mesh);
    for (QvFace& f : mesh.m_faces)
        f.m_normal = QvVector();
    ASSERT_TRUE(command.SmoothLaplacian(AllVertices(mesh), 0, 0.5));
    for (std::size_t v = 0; v < before.size(); ++v)
        ExpectPoint(mesh.m_vertices[v].m_point, before[v], 0.0);
    EXPECT_NEAR(mesh.m_faces[0].m_normal.Length(), 1.0, 1e-12);

    ASSERT_TRUE(command.SmoothLaplacian(AllVertices(mesh), 3, 0.5));
    int moved = 0;
    for (std::size_t v = 0; v < before.size(); ++v)
    {
        if (mesh.IsBoundaryVertex(static_cast<int>(v)))
            ExpectPoint(mesh.m_vertices[v].m_point, before[v], 0.0);
        else
            moved += mesh.m_vertices[v].m_point.Distance(before[v]) > 1e-9;
    }
    EXPECT_EQ(moved, 9);
    EXPECT_FALSE(command.SmoothLaplacian({}, 1, 0.5));
}

TEST(MeshSmoothLaplacian, UsesPreviousPassPositionsAndBlendsColours)
{
    QvMesh mesh = SpikedGrid(1.0);
    mesh.m_colors.assign(mesh.m_vertices.size(), QvColor(0, 0, 0));
    mesh.m_colors[kCentre] = QvColor(120, -120, 7);
    QvMeshSmoothCommand command(&mesh);
    // Centre and one neighbour (25) in one pass: 25 sees the centre's old height.
    ASSERT_TRUE(command.SmoothLaplacian({kCentre, kCentre + 1}, 1, 0.5));
    EXPECT_NEAR(mesh.m_vertices[kCentre].m_point[2], 0.5, 1e-15);
    EXPECT_NEAR(mesh.m_vertices[kCentre + 1].m_point[2], 0.5 / 6.0, 1e-15);
    // Colours are written at once, truncated towards zero: 120 + 0.5 (0 - 120) = 60,
    // then 25 sees 60: 0.5 * 60 / 6 = 5; -60 gives -5, 3.5 gives 3.
    EXPECT_EQ(mesh.m_colors[kCentre].m_r, 60);
    EXPECT_EQ(mesh.m_colors[kCentre].m_g, -60);
    EXPECT_EQ(mesh.m_colors[kCentre].m_b, 3);
    EXPECT_EQ(mesh.m_colors[kCentre + 1].m_r, 5);
    EXPECT_EQ(mesh.m_colors[kCentre + 1].m_g, -5);
}

TEST(MeshSmoothWeighted, LaterGroupSeesEarlierGroupsMoves)
{
    // Group order decides what the neighbour 25 sees of the centre's spike.
    struct Case
    {
        std::vector<std::set<int>> groups;
        double expectedCentreZ;
        double expectedNeighbourZ;
    };
    const Case cases[] = {
        {{{kCentre}, {kCentre + 1}}, 0.0, 0.0},
        // The centre then averages in its raised neighbour.
        {{{kCentre + 1}, {kCentre}}, 1.0 / 36.0, 1.0 / 6.0},
        // One group: both moves from the positions before it.
        {{{kCentre, kCentre + 1}}, 0.0, 1.0 / 6.0},
    };
    for (const Case& c : cases)
    {
        QvMesh mesh = SpikedGrid(1.0);
        QvMeshSmoothCommand command(&mesh);
        ASSERT_TRUE(command.SmoothWeighted(c.groups, std::vector<double>(c.groups.size(), 1.0), 1));
        EXPECT_NEAR(mesh.m_vertices[kCentre].m_point[2], c.expectedCentreZ, 1e-15);
        EXPECT_NEAR(mesh.m_vertices[kCentre + 1].m_point[2], c.expectedNeighbourZ, 1e-15);
    }
}

TEST(MeshSmoothWeighted, RefusesMissingGroupsOrFactors)
{
    QvMesh mesh = SpikedGrid(1.0);
    const std::vector<QvPoint> before = Positions(mesh);
    QvMeshSmoothCommand command(&mesh);
    EXPECT_FALSE(command.SmoothWeighted({}, {0.5}, 1));
    EXPECT_FALSE(command.SmoothWeighted({{kCentre}}, {}, 1));
    EXPECT_FALSE(command.SmoothWeighted({{kCentre}, {kCentre + 1}}, {0.5}, 1));
    EXPECT_FALSE(command.SmoothWeighted({{kCentre}}, {std::nan("")}, 1));
    for (std::size_t v = 0; v < before.size(); ++v)
        ExpectPoint(mesh.m_vertices[v].m_point, before[v], 0.0);
    // Boundary vertices of a group stay.
    ASSERT_TRUE(command.SmoothWeighted({{0, 1, kCentre}}, {1.0}, 2));
    ExpectPoint(mesh.m_vertices[0].m_point, before[0], 0.0);
    ExpectPoint(mesh.m_vertices[1].m_point, before[1], 0.0);
}

TEST(MeshSmoothListed, CorrectedSpikeAndUnlistedColoursKept)
{
    QvMesh mesh = SpikedGrid(12.0);
    mesh.m_colors.assign(mesh.m_vertices.size(), QvColor(10, 20, 30));
    mesh.m_colors[kCentre] = QvColor(130, 20, 30);
    QvMeshSmoothCommand command(&mesh, {kCentre});
    ASSERT_TRUE(command.SmoothListed(1));
    // q = 0 at the spike, each neighbour's ring mean is h / 6 above it:
    // 0.5 (0 + h) + 0.5 h / 6 = 7 h / 12.
    EXPECT_NEAR(mesh.m_vertices[kCentre].m_point[2], 7.0, 1e-13);
    // The same for the colour's excess of 120 over the flat 10: 10 + 70.
    EXPECT_EQ(mesh.m_colors[kCentre].m_r, 80);
    EXPECT_EQ(mesh.m_colors[kCentre].m_g, 20);
    for (int v = 0; v < static_cast<int>(mesh.m_vertices.size()); ++v)
    {
        if (v == kCentre)
            continue;
        EXPECT_EQ(mesh.m_colors[v].m_r, 10);
        EXPECT_EQ(mesh.m_vertices[v].m_point[2], 0.0);
    }
}

TEST(MeshSmoothListed, EmptyListSmoothsEveryVertexBoundaryIncluded)
{
    QvMesh mesh = SpikedGrid(6.0);
    QvMeshSmoothCommand command(&mesh);
    ASSERT_TRUE(command.SmoothListed(1));
    // Neighbour 25 rises; a far corner does not move.
    EXPECT_GT(mesh.m_vertices[kCentre + 1].m_point[2], 0.1);
    EXPECT_EQ(mesh.m_vertices[0].m_point[2], 0.0);
    // A boundary vertex next to a raised one moves: the spike sits next to border vertex 1
    // of this one.
    QvMesh edge = qvtest::MakeGrid(4, 4);
    edge.m_vertices[5].m_point[2] = 4.0;
    QvMeshSmoothCommand onEdge(&edge);
    ASSERT_TRUE(onEdge.SmoothListed(1));
    EXPECT_GT(edge.m_vertices[1].m_point[2], 0.1);
}

TEST(MeshSmoothLambdaMu, FactorOrderDoesNotMatterAndBoundaryStays)
{
    QvMesh a = qvtest::MakeGrid(6, 6);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> noise(-0.3, 0.3);
    for (QvVertex& v : a.m_vertices)
        v.m_point = QvPoint(v.m_point[0] + noise(rng) * 0.3, v.m_point[1] + noise(rng) * 0.3, noise(rng));
    QvMesh b = a;
    const std::vector<QvPoint> before = Positions(a);
    QvMeshSmoothCommand ca(&a), cb(&b);
    ASSERT_TRUE(ca.SmoothLambdaMu(AllVertices(a), 3, 0.6, -0.64));
    ASSERT_TRUE(cb.SmoothLambdaMu(AllVertices(b), 3, -0.64, 0.6));
    for (std::size_t v = 0; v < before.size(); ++v)
    {
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(a.m_vertices[v].m_point[k], b.m_vertices[v].m_point[k]);
        if (a.IsBoundaryVertex(static_cast<int>(v)))
            ExpectPoint(a.m_vertices[v].m_point, before[v], 0.0);
    }
    EXPECT_FALSE(ca.SmoothLambdaMu({}, 1, 0.5, -0.5));
    EXPECT_FALSE(ca.SmoothLambdaMu({7}, 1, std::nan(""), -0.5));
}

TEST(MeshSmoothLambdaMu, NeighboursOutsideTheSetGetTheirUmbrellaOnTheSpot)
{
    // Only the centre is active; its second umbrella uses the umbrellas of its
    // neighbours. Raising the centre by h: U_c = -h (ring flat), each neighbour j has
    // U_j = w_jc * h, so U2_c = mean-by-distance of (U_j + h) > h.
    QvMesh mesh = SpikedGrid(1.0);
    QvMeshSmoothCommand command(&mesh);
    // lambda + mu = 0: only the second umbrella term moves the vertex.
    ASSERT_TRUE(command.SmoothLambdaMu({kCentre}, 1, 0.5, -0.5));
    EXPECT_LT(mesh.m_vertices[kCentre].m_point[2], 1.0 - 0.25);
}

TEST(MeshSmoothing, EveryPassReducesTheNoiseOfASphere)
{
    // Fine enough that the shrinkage of the fixture's uneven valences stays well below
    // the noise (noise of about a third of an edge).
    QvMesh noisy = qvtest::MakeSphere(4, 10.0);
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 0.3);
    for (QvVertex& v : noisy.m_vertices)
    {
        QvVector radial = v.m_point - QvPoint();
        radial.Normalize();
        v.m_point = v.m_point + radial * noise(rng);
    }
    const double before = SphereDeviation(noisy);
    std::vector<int> list;
    for (int v = 0; v < static_cast<int>(noisy.m_vertices.size()); ++v)
        list.push_back(v);
    const std::set<int> all(list.begin(), list.end());

    using Pass = std::function<bool(QvMeshSmoothCommand&)>;
    const std::vector<std::pair<std::string, Pass>> passes = {
        {"Execute", [](QvMeshSmoothCommand& c) { return c.Execute() && c.Execute() && c.Execute(); }},
        {"SmoothLaplacian", [&](QvMeshSmoothCommand& c) { return c.SmoothLaplacian(all, 5, 0.5); }},
        {"SmoothWeighted", [&](QvMeshSmoothCommand& c) { return c.SmoothWeighted({all}, {0.5}, 5); }},
        {"SmoothListed", [](QvMeshSmoothCommand& c) { return c.SmoothListed(5); }},
        {"SmoothLambdaMu", [&](QvMeshSmoothCommand& c) { return c.SmoothLambdaMu(all, 5, 0.5, -0.53); }},
    };
    for (const auto& [name, pass] : passes)
    {
        SCOPED_TRACE(name);
        QvMesh mesh = noisy;
        QvMeshSmoothCommand command(&mesh, list);
        ASSERT_TRUE(pass(command));
        EXPECT_LT(SphereDeviation(mesh), 0.5 * before);
        EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh));
    }
}

// Zero-length edges, a triangle on one point, a collinear triangle, an isolated vertex,
// and a colour array shorter than the vertex array.
QvMesh DegenerateMesh()
{
    QvMesh mesh = qvtest::MakeGrid(5, 5);
    mesh.m_vertices[12].m_point = mesh.m_vertices[13].m_point; // duplicate position
    mesh.m_vertices[5].m_point = QvPoint(0.5, 0.0, 0.0);       // face (0, 1, 5) collinear
    const QvPoint p(9, 9, 9);
    const int a = mesh.AddVertex(p), b = mesh.AddVertex(p), c = mesh.AddVertex(p);
    EXPECT_TRUE(mesh.AddFace(a, b, c, 0));
    mesh.AddVertex(QvPoint(-4, -4, -4));
    mesh.m_colors.assign(3, QvColor(1, 2, 3));
    mesh.UpdateFaceNormals();
    return mesh;
}

TEST(MeshSmoothing, DegenerateRingsNeverProduceNaN)
{
    const QvMesh degenerate = DegenerateMesh();
    const std::set<int> all = AllVertices(degenerate);
    std::vector<int> list(all.begin(), all.end());
    list.push_back(-1);
    list.push_back(1000);
    std::set<int> withInvalid = all;
    withInvalid.insert(-5);
    withInvalid.insert(1000);

    using Pass = std::function<bool(QvMeshSmoothCommand&)>;
    const std::vector<std::pair<std::string, Pass>> passes = {
        {"Execute", [](QvMeshSmoothCommand& c) { return c.Execute(); }},
        {"SmoothLaplacian", [&](QvMeshSmoothCommand& c) { return c.SmoothLaplacian(withInvalid, 3, 0.5); }},
        {"SmoothWeighted", [&](QvMeshSmoothCommand& c) { return c.SmoothWeighted({withInvalid}, {0.5}, 3); }},
        {"SmoothListed", [](QvMeshSmoothCommand& c) { return c.SmoothListed(3); }},
        {"SmoothLambdaMu", [&](QvMeshSmoothCommand& c) { return c.SmoothLambdaMu(withInvalid, 3, 0.5, -0.53); }},
    };
    for (const auto& [name, pass] : passes)
    {
        SCOPED_TRACE(name);
        QvMesh mesh = degenerate;
        QvMeshSmoothCommand command(&mesh, list);
        EXPECT_TRUE(pass(command));
        EXPECT_TRUE(AllFinite(mesh));
        // The triangle on one point and the isolated vertex have nowhere to go.
        for (int v = 25; v < 29; ++v)
            ExpectPoint(mesh.m_vertices[v].m_point, degenerate.m_vertices[v].m_point, 0.0);
        // Colours that do not cover every vertex are left alone.
        ASSERT_EQ(mesh.m_colors.size(), 3u);
        EXPECT_EQ(mesh.m_colors[0].m_r, 1);
    }

    QvMesh mesh = degenerate;
    QvMeshSmoothCommand command(&mesh);
    std::vector<QvPoint> points;
    command.LaplacianPoints(list, points, 0.5);
    EXPECT_EQ(points.size(), all.size());
    for (const QvPoint& p : points)
        EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
}

} // namespace
