// SPDX-License-Identifier: GPL-3.0-or-later
// Fairing of QvMeshSmoothCommand: one sparse system per call, solved for x, y and z
// together, so that (I - W)^order vanishes on the free vertices.
#include <Eigen/Core>
#include <Eigen/SparseCore>

#include <cmath>
#include <cstddef>
#include <vector>

#include "core/geometry/QvSparseSolver.h"
#include "core/mesh/QvMesh.h"
#include "core/mesh/QvMeshSmoothCommand.h"

namespace {

bool IsValidVertex(const QvMesh& mesh, int vertex)
{
    return vertex >= 0 && static_cast<std::size_t>(vertex) < mesh.m_vertices.size();
}

// cot of the angle at k between the directions to i and to j. A corner that sits on
// another one, or three corners on one line, span no area: such a face has no angle
// worth the name and contributes nothing (its cotangent would be infinite or arbitrary).
double Cotangent(const QvPoint& k, const QvPoint& i, const QvPoint& j)
{
    QvVector u = i - k;
    QvVector v = j - k;
    if (u.IsZero() || v.IsZero())
        return 0.0;
    u.Normalize();
    v.Normalize();
    const double sine = u.Cross(v).Length();
    if (IsZero(sine))
        return 0.0;
    return u.Dot(v) / sine;
}

// A vertex's ring with its weights divided by their sum. The sum (the ring size where the
// uniform ring stands in) scales the vertex's row back: D (I - W)^order is symmetric when
// every weight is the same both ways along its edge.
struct RingWeights
{
    std::vector<int> ring;
    std::vector<double> weights;
    double sum = 1.0;
};

class WeightCache
{
public:
    WeightCache(const QvMesh& mesh, int kind)
        : m_mesh(mesh), m_kind(kind), m_rings(mesh.m_vertices.size()), m_have(mesh.m_vertices.size(), 0)
    {
    }

    // References stay valid: the table is sized once.
    const RingWeights& Get(int vertex)
    {
        RingWeights& rw = m_rings[vertex];
        if (m_have[vertex])
            return rw;
        m_have[vertex] = 1;
        m_mesh.GetNeighborVertices(vertex, rw.ring);
        rw.weights.resize(rw.ring.size());
        double sum = 0.0;
        for (std::size_t k = 0; k < rw.ring.size(); ++k)
        {
            rw.weights[k] = QvMeshSmoothCommand::EdgeWeight(&m_mesh, vertex, rw.ring[k], m_kind);
            sum += rw.weights[k];
        }
        // Weights adding up to (nearly) nothing cannot be normalised: all neighbours on the
        // vertex, or cotangents of degenerate or cancelling angles. The uniform ring keeps
        // the row an average.
        bool usable = std::isfinite(sum) && !IsZero(sum);
        if (usable)
        {
            for (double& w : rw.weights)
            {
                w /= sum;
                usable = usable && std::isfinite(w);
            }
            rw.sum = sum;
        }
        if (!usable)
        {
            for (double& w : rw.weights)
                w = 1.0 / static_cast<double>(rw.weights.size());
            rw.sum = static_cast<double>(rw.weights.size());
        }
        return rw;
    }

private:
    const QvMesh& m_mesh;
    int m_kind;
    std::vector<RingWeights> m_rings;
    std::vector<char> m_have;
};

} // namespace

double QvMeshSmoothCommand::EdgeWeight(const QvMesh* mesh, int i, int j, int kind)
{
    if (kind == 0)
        return 1.0;
    if (kind != 1 && kind != 2)
        return 0.0;
    if (!mesh || !IsValidVertex(*mesh, i) || !IsValidVertex(*mesh, j))
        return 0.0;
    const QvPoint& pi = mesh->m_vertices[i].m_point;
    const QvPoint& pj = mesh->m_vertices[j].m_point;
    if (kind == 1)
        return pi.Distance(pj);

    const int e = mesh->FindEdge(i, j);
    if (e < 0)
        return 0.0;
    const QvEdge& edge = mesh->m_edges[e];
    double sum = 0.0;
    int faces = 0;
    for (const int f : edge.m_faces)
    {
        if (f < 0)
            continue;
        ++faces;
        const int k = mesh->m_faces[f].GetThirdVertex(i, j);
        if (k >= 0)
            sum += Cotangent(mesh->m_vertices[k].m_point, pi, pj);
    }
    // A border edge has only one opposite angle; doubling it keeps border rows on the
    // same scale as inner ones.
    return faces == 1 ? 2.0 * sum : sum;
}

bool QvMeshSmoothCommand::FairLaplacian(const std::set<int>& freeVertices, const std::set<int>& heldVertices,
                                        int weightKind)
{
    return Fair(freeVertices, heldVertices, weightKind, 1);
}

bool QvMeshSmoothCommand::FairBiLaplacian(const std::set<int>& freeVertices, const std::set<int>& heldVertices,
                                          int weightKind)
{
    return Fair(freeVertices, heldVertices, weightKind, 2);
}

bool QvMeshSmoothCommand::FairTriLaplacian(const std::set<int>& freeVertices, const std::set<int>& heldVertices,
                                           int weightKind)
{
    return Fair(freeVertices, heldVertices, weightKind, 3);
}

bool QvMeshSmoothCommand::Fair(const std::set<int>& freeVertices, const std::set<int>& heldVertices, int weightKind,
                               int order)
{
    if (!m_pMesh || freeVertices.empty())
        return false;
    // An unknown kind weighs every edge 0: there is no operator to solve with.
    if (weightKind < 0 || weightKind > 2 || order < 1 || order > 3)
        return false;
    QvMesh& mesh = *m_pMesh;
    if (!IsValidVertex(mesh, *freeVertices.begin()) || !IsValidVertex(mesh, *freeVertices.rbegin()))
        return false;

    const std::size_t n = mesh.m_vertices.size();
    const int count = static_cast<int>(freeVertices.size());
    std::vector<int> variable(n, -1);
    {
        int r = 0;
        for (const int v : freeVertices)
            variable[v] = r++;
    }
    std::vector<char> held(n, 0);
    for (const int h : heldVertices)
        if (IsValidVertex(mesh, h))
            held[h] = 1;

    WeightCache cache(mesh, weightKind);

    // Every row of (I - W)^order sums to 0, so a connected free region that reaches no
    // fixed vertex (a whole mesh component set free) has the constants in its kernel:
    // there is no unique answer, and a near-singular factorisation would report one.
    {
        std::vector<char> seen(n, 0);
        std::vector<int> stack;
        for (const int start : freeVertices)
        {
            if (seen[start] || cache.Get(start).ring.empty())
                continue;
            bool anchored = false;
            seen[start] = 1;
            stack.assign(1, start);
            while (!stack.empty())
            {
                const int x = stack.back();
                stack.pop_back();
                anchored = anchored || held[x];
                for (const int u : cache.Get(x).ring)
                {
                    if (held[u] || variable[u] < 0)
                        anchored = true;
                    else if (!seen[u])
                    {
                        seen[u] = 1;
                        stack.push_back(u);
                    }
                }
            }
            if (!anchored)
                return false;
        }
    }

    static constexpr std::size_t kTripletsPerRow[3] = {7, 18, 36};
    std::vector<QvSparseTriplet> triplets;
    triplets.reserve(kTripletsPerRow[order - 1] * static_cast<std::size_t>(count));
    Eigen::MatrixXd b = Eigen::MatrixXd::Zero(count, 3);

    // Entries of the row being built, merged through a column -> slot table that is
    // reset after each row, so the solver gets one triplet per entry.
    std::vector<int> slot(count, -1);
    std::vector<int> rowColumns;
    std::vector<double> rowValues;

    for (const int v : freeVertices)
    {
        const int r = variable[v];
        double rhs[3] = {0.0, 0.0, 0.0};
        rowColumns.assign(1, r);
        rowValues.assign(1, 1.0);
        slot[r] = 0;

        // Row r states x_v - sum c_u x_u = 0: fixed vertices go to the right-hand side.
        auto contribute = [&](int u, double c) {
            if (held[u] || variable[u] < 0)
            {
                const QvPoint& p = mesh.m_vertices[u].m_point;
                rhs[0] += c * p[0];
                rhs[1] += c * p[1];
                rhs[2] += c * p[2];
                return;
            }
            const int column = variable[u];
            if (slot[column] < 0)
            {
                slot[column] = static_cast<int>(rowColumns.size());
                rowColumns.push_back(column);
                rowValues.push_back(-c);
            }
            else
            {
                rowValues[slot[column]] -= c;
            }
        };

        const RingWeights& rv = cache.Get(v);
        if (rv.ring.empty())
        {
            // Nothing to average over: the vertex stays where it is rather than
            // collapsing to the origin.
            const QvPoint& p = mesh.m_vertices[v].m_point;
            rhs[0] = p[0];
            rhs[1] = p[1];
            rhs[2] = p[2];
        }
        for (std::size_t a = 0; a < rv.ring.size(); ++a)
        {
            const int j = rv.ring[a];
            const double wvj = rv.weights[a];
            if (order == 1)
            {
                contribute(j, wvj);
                continue;
            }
            contribute(j, static_cast<double>(order) * wvj);
            const RingWeights& rj = cache.Get(j);
            for (std::size_t c = 0; c < rj.ring.size(); ++c)
            {
                const int k = rj.ring[c];
                const double wvjk = wvj * rj.weights[c];
                if (order == 2)
                {
                    contribute(k, -wvjk);
                    continue;
                }
                contribute(k, -3.0 * wvjk);
                const RingWeights& rk = cache.Get(k);
                for (std::size_t d = 0; d < rk.ring.size(); ++d)
                    contribute(rk.ring[d], wvjk * rk.weights[d]);
            }
        }

        for (std::size_t e = 0; e < rowColumns.size(); ++e)
        {
            triplets.emplace_back(r, rowColumns[e], rowValues[e]);
            slot[rowColumns[e]] = -1;
        }
        b(r, 0) = rhs[0];
        b(r, 1) = rhs[1];
        b(r, 2) = rhs[2];
    }

    // The rows scaled by their vertices' weight sums make a symmetric matrix, positive
    // definite on ordinary meshes: a Cholesky factorisation solves it in half the time of
    // the LU. Rows that break the symmetry (a vertex both free and held, a ring of
    // fallback weights) or negative cotangent sums send the system to the LU as it stands.
    Eigen::MatrixXd x;
    std::vector<double> rowScale(count, 1.0);
    for (const int v : freeVertices)
    {
        const RingWeights& rv = cache.Get(v);
        if (!rv.ring.empty())
            rowScale[variable[v]] = rv.sum;
    }
    const bool symmetric = SolveSymmetricSparseSystem(triplets, rowScale, b, x);
    if (!symmetric && !SolveSparseLinearSystem(triplets, b, x, 0))
        return false;
    if (x.rows() != count || x.cols() != 3 || !x.allFinite())
        return false;
    for (const int v : freeVertices)
    {
        const int r = variable[v];
        (void)mesh.SetVertexPosition(v, QvPoint(x(r, 0), x(r, 1), x(r, 2)));
    }
    return true;
}
