// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/mesh/QvMesh.h"
#include "core/mesh/QvMeshSmoothCommand.h"
#include "core/mesh/tests/MeshTestUtil.h"
#include "testing/MeshFixtures.h"

namespace {

using meshtest::MeshOf;
using meshtest::Positions;

void ExpectUnchanged(const QvMesh& mesh, const std::vector<QvPoint>& before)
{
    ASSERT_EQ(mesh.m_vertices.size(), before.size());
    for (std::size_t v = 0; v < before.size(); ++v)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(mesh.m_vertices[v].m_point[k], before[v][k]) << "vertex " << v;
}

// Vertices of the disc fixture within `rings` rings of the centre.
std::set<int> DiscInside(const QvMesh& disc, int rings)
{
    std::set<int> inside;
    for (int v = 0; v < static_cast<int>(disc.m_vertices.size()); ++v)
        if (disc.m_vertices[v].m_point.Distance(QvPoint()) < rings + 0.5)
            inside.insert(v);
    return inside;
}

// Moves the given vertices by a deterministic jitter (xy within +-xy, z within +-z).
void Jitter(QvMesh& mesh, const std::set<int>& vertices, double xy, double z, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (const int v : vertices)
    {
        QvPoint& p = mesh.m_vertices[v].m_point;
        p = QvPoint(p[0] + xy * unit(rng), p[1] + xy * unit(rng), p[2] + z * unit(rng));
    }
}

bool Fair(QvMeshSmoothCommand& command, int order, const std::set<int>& freeVertices, const std::set<int>& held,
          int kind)
{
    switch (order)
    {
    case 1:
        return command.FairLaplacian(freeVertices, held, kind);
    case 2:
        return command.FairBiLaplacian(freeVertices, held, kind);
    default:
        return command.FairTriLaplacian(freeVertices, held, kind);
    }
}

// The same system from the dense operator C = I - (I - W)^order: row v reads
// x_v - sum_u C(v, u) x_u = 0, with u on the right-hand side when it is held or not free.
Eigen::MatrixXd DenseFair(const QvMesh& mesh, const std::set<int>& freeVertices, const std::set<int>& held, int kind,
                          int order)
{
    const int n = static_cast<int>(mesh.m_vertices.size());
    Eigen::MatrixXd w = Eigen::MatrixXd::Zero(n, n);
    for (int i = 0; i < n; ++i)
    {
        std::vector<int> ring;
        mesh.GetNeighborVertices(i, ring);
        double sum = 0.0;
        for (const int j : ring)
            sum += QvMeshSmoothCommand::EdgeWeight(&mesh, i, j, kind);
        for (const int j : ring)
            w(i, j) = QvMeshSmoothCommand::EdgeWeight(&mesh, i, j, kind) / sum;
    }
    const Eigen::MatrixXd identity = Eigen::MatrixXd::Identity(n, n);
    Eigen::MatrixXd m = identity;
    for (int k = 0; k < order; ++k)
        m = m * (identity - w);
    const Eigen::MatrixXd c = identity - m;

    std::vector<int> variable(n, -1);
    int count = 0;
    for (const int v : freeVertices)
        variable[v] = count++;
    Eigen::MatrixXd a = Eigen::MatrixXd::Zero(count, count);
    Eigen::MatrixXd b = Eigen::MatrixXd::Zero(count, 3);
    for (const int v : freeVertices)
    {
        const int r = variable[v];
        a(r, r) += 1.0;
        for (int u = 0; u < n; ++u)
        {
            if (c(v, u) == 0.0)
                continue;
            if (held.count(u) || variable[u] < 0)
            {
                for (int k = 0; k < 3; ++k)
                    b(r, k) += c(v, u) * mesh.m_vertices[u].m_point[k];
            }
            else
            {
                a(r, variable[u]) -= c(v, u);
            }
        }
    }
    return a.fullPivLu().solve(b);
}

TEST(MeshEdgeWeight, KindsOnAGrid)
{
    // 3 x 3 grid: 0 (0,0), 1 (1,0), 3 (0,1), 4 (1,1); cells split along 1-3 and 2-4.
    const QvMesh grid = qvtest::MakeGrid(3, 3);
    const QvMesh collinear = MeshOf({QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(2, 0, 0)}, {{0, 1, 2}});
    const QvMesh coincident = MeshOf({QvPoint(0, 0, 0), QvPoint(0, 0, 0), QvPoint(0, 1, 0)}, {{0, 1, 2}});
    struct Case
    {
        std::string name;
        const QvMesh* mesh;
        int i, j, kind;
        double expected;
    };
    const Case cases[] = {
        {"uniform", &grid, 1, 3, 0, 1.0},
        {"uniform, no edge", &grid, 0, 8, 0, 1.0},
        {"uniform, no mesh", nullptr, 0, 1, 0, 1.0},
        {"length of a diagonal", &grid, 1, 3, 1, std::sqrt(2.0)},
        {"cotangent on the border: twice cot 45", &grid, 0, 1, 2, 2.0},
        {"cotangent across right angles", &grid, 1, 3, 2, 0.0},
        {"cotangent inside, horizontal", &grid, 3, 4, 2, 2.0},
        {"cotangent inside, vertical", &grid, 1, 4, 2, 2.0},
        {"cotangent, not joined", &grid, 0, 4, 2, 0.0},
        {"cotangent, collinear corners", &collinear, 0, 1, 2, 0.0},
        {"cotangent, straight angle", &collinear, 0, 2, 2, 0.0},
        {"cotangent, coincident corners", &coincident, 0, 2, 2, 0.0},
        {"unknown kind 5", &grid, 0, 1, 5, 0.0},
        {"unknown kind -1", &grid, 0, 1, -1, 0.0},
    };
    for (const Case& c : cases)
    {
        const double w = QvMeshSmoothCommand::EdgeWeight(c.mesh, c.i, c.j, c.kind);
        EXPECT_NEAR(w, c.expected, 1e-12) << c.name;
        EXPECT_TRUE(std::isfinite(w)) << c.name;
    }
}

TEST(MeshFairing, FirstOrderUniformMovesToTheCentroidOfHeldNeighbours)
{
    QvMesh diamond = MeshOf({QvPoint(0.3, -0.2, 5), QvPoint(2, 0, 1), QvPoint(0, 1, 0), QvPoint(-1, 0, 3),
                             QvPoint(0, -3, 0)},
                            {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1}});
    QvMeshSmoothCommand command(&diamond);
    ASSERT_TRUE(command.FairLaplacian({0}, {1, 2, 3, 4}, 0));
    EXPECT_NEAR(diamond.m_vertices[0].m_point[0], 0.25, 1e-14);
    EXPECT_NEAR(diamond.m_vertices[0].m_point[1], -0.5, 1e-14);
    EXPECT_NEAR(diamond.m_vertices[0].m_point[2], 1.0, 1e-14);
}

TEST(MeshFairing, MatchesTheDenseOperatorPower)
{
    // Free: the inner three rings of a jittered disc. Second variant: one free vertex is
    // also held (its own row solved, its position used by the others), and the held set
    // covers only part of the rest (the others are fixed all the same).
    QvMesh base = qvtest::MakeDisc(6);
    const std::set<int> inner = DiscInside(base, 3);
    Jitter(base, DiscInside(base, 6), 0.15, 0.4, 5);
    struct Variant
    {
        std::string name;
        std::set<int> held;
    };
    std::set<int> partial = {2, 40, 41, 42};
    const Variant variants[] = {{"plain", {}}, {"free and held", partial}};
    for (const Variant& variant : variants)
        for (int order = 1; order <= 3; ++order)
            for (int kind = 0; kind <= 2; ++kind)
            {
                SCOPED_TRACE(variant.name + " order " + std::to_string(order) + " kind " + std::to_string(kind));
                QvMesh mesh = base;
                const Eigen::MatrixXd expected = DenseFair(mesh, inner, variant.held, kind, order);
                QvMeshSmoothCommand command(&mesh);
                ASSERT_TRUE(Fair(command, order, inner, variant.held, kind));
                int r = 0;
                for (const int v : inner)
                {
                    for (int k = 0; k < 3; ++k)
                        EXPECT_NEAR(mesh.m_vertices[v].m_point[k], expected(r, k), 1e-9);
                    ++r;
                }
                for (int v = 0; v < static_cast<int>(mesh.m_vertices.size()); ++v)
                {
                    if (!inner.count(v))
                        EXPECT_EQ(mesh.m_vertices[v].m_point[2], base.m_vertices[v].m_point[2]);
                }
            }
}

TEST(MeshFairing, PerturbedPlanarDiscReturnsToItsPlane)
{
    // The disc lies in a tilted plane; its inner rings are pushed off it and jittered
    // within it. Three outer rings stay fixed, enough for the third order.
    QvMesh base = qvtest::MakeDisc(9);
    auto plane = [](double x, double y) { return 0.3 * x - 0.2 * y + 1.0; };
    for (QvVertex& v : base.m_vertices)
        v.m_point[2] = plane(v.m_point[0], v.m_point[1]);
    const std::set<int> inner = DiscInside(base, 6);
    Jitter(base, inner, 0.2, 0.8, 9);
    for (int order = 1; order <= 3; ++order)
        for (int kind = 0; kind <= 2; ++kind)
        {
            SCOPED_TRACE("order " + std::to_string(order) + " kind " + std::to_string(kind));
            QvMesh mesh = base;
            QvMeshSmoothCommand command(&mesh);
            ASSERT_TRUE(Fair(command, order, inner, {}, kind));
            double worst = 0.0;
            for (const int v : inner)
            {
                const QvPoint& p = mesh.m_vertices[v].m_point;
                worst = std::max(worst, std::fabs(p[2] - plane(p[0], p[1])));
            }
            EXPECT_LT(worst, 1e-9);
        }
}

TEST(MeshFairing, RefusalsLeaveTheMeshUnchanged)
{
    QvMesh disc = qvtest::MakeDisc(4);
    Jitter(disc, DiscInside(disc, 4), 0.1, 0.3, 2);
    const std::vector<QvPoint> before = Positions(disc);
    const std::set<int> inner = DiscInside(disc, 2);
    QvMeshSmoothCommand command(&disc);

    QvMeshSmoothCommand empty;
    EXPECT_FALSE(empty.FairBiLaplacian(inner, {}, 0));
    EXPECT_FALSE(command.FairLaplacian({}, {}, 0));
    std::set<int> outOfRange = inner;
    outOfRange.insert(static_cast<int>(disc.m_vertices.size()));
    EXPECT_FALSE(command.FairLaplacian(outOfRange, {}, 0));
    outOfRange = inner;
    outOfRange.insert(-1);
    EXPECT_FALSE(command.FairLaplacian(outOfRange, {}, 0));
    EXPECT_FALSE(command.FairTriLaplacian(inner, {}, 5));
    ExpectUnchanged(disc, before);

    // A whole closed mesh set free has nothing to hold it: no unique answer.
    QvMesh sphere = qvtest::MakeSphere(2);
    const std::vector<QvPoint> sphereBefore = Positions(sphere);
    std::set<int> all;
    for (int v = 0; v < static_cast<int>(sphere.m_vertices.size()); ++v)
        all.insert(v);
    QvMeshSmoothCommand onSphere(&sphere);
    for (int order = 1; order <= 3; ++order)
        for (int kind = 0; kind <= 2; ++kind)
            EXPECT_FALSE(Fair(onSphere, order, all, {}, kind)) << order << " " << kind;
    ExpectUnchanged(sphere, sphereBefore);
    // One held vertex anchors it.
    EXPECT_TRUE(onSphere.FairLaplacian(all, {0}, 0));
}

TEST(MeshFairing, FailedSolveMovesNothing)
{
    // A fixed neighbour at infinity makes the solution non-finite: the solve fails.
    QvMesh disc = qvtest::MakeDisc(3);
    disc.m_vertices[disc.m_vertices.size() - 1].m_point = QvPoint(std::numeric_limits<double>::infinity(), 0, 0);
    const std::vector<QvPoint> before = Positions(disc);
    QvMeshSmoothCommand command(&disc);
    EXPECT_FALSE(command.FairBiLaplacian(DiscInside(disc, 2), {}, 0));
    for (std::size_t v = 0; v < before.size(); ++v)
        for (int k = 0; k < 3; ++k)
            EXPECT_TRUE(disc.m_vertices[v].m_point[k] == before[v][k]) << v;
}

TEST(MeshFairing, FreeVertexWithoutNeighboursStaysPut)
{
    QvMesh grid = qvtest::MakeGrid(4, 4);
    grid.m_vertices[5].m_point[2] = 2.0;
    const int lonely = grid.AddVertex(QvPoint(7, 8, 9));
    QvMeshSmoothCommand command(&grid);
    ASSERT_TRUE(command.FairBiLaplacian({5, 6, lonely}, {}, 1));
    EXPECT_EQ(grid.m_vertices[lonely].m_point[0], 7.0);
    EXPECT_EQ(grid.m_vertices[lonely].m_point[1], 8.0);
    EXPECT_EQ(grid.m_vertices[lonely].m_point[2], 9.0);
    EXPECT_NEAR(grid.m_vertices[5].m_point[2], 0.0, 1e-12);
}

TEST(MeshFairing, DegenerateTrianglesNeverProduceNaN)
{
    // Duplicate positions, a collinear (and folded) face, and a triangle on one point
    // whose ring has no length.
    QvMesh base = qvtest::MakeGrid(7, 7);
    base.m_vertices[16].m_point = base.m_vertices[17].m_point;
    base.m_vertices[15].m_point = QvPoint(3.0, 1.0, 0.0); // face (8, 9, 15) on one line
    base.m_vertices[24].m_point[2] = 3.0;
    const QvPoint p(9, 9, 9);
    const int a = base.AddVertex(p), b = base.AddVertex(p), c = base.AddVertex(p);
    EXPECT_TRUE(base.AddFace(a, b, c, 0));
    std::set<int> freeVertices = {a};
    for (int v = 8; v <= 40; ++v)
        if (!base.IsBoundaryVertex(v))
            freeVertices.insert(v);

    for (int order = 1; order <= 3; ++order)
        for (int kind = 0; kind <= 2; ++kind)
        {
            SCOPED_TRACE("order " + std::to_string(order) + " kind " + std::to_string(kind));
            QvMesh mesh = base;
            QvMeshSmoothCommand command(&mesh);
            const bool solved = Fair(command, order, freeVertices, {}, kind);
            for (const QvVertex& v : mesh.m_vertices)
                for (int k = 0; k < 3; ++k)
                    EXPECT_TRUE(std::isfinite(v.m_point[k]));
            if (solved)
            {
                // The point triangle's free corner stays on its point.
                EXPECT_NEAR(mesh.m_vertices[a].m_point.Distance(p), 0.0, 1e-12);
            }
            else
            {
                ExpectUnchanged(mesh, Positions(base));
            }
        }
}

} // namespace
