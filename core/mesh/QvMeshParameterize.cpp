// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvMeshParameterize.h"

#include <Eigen/SparseCore>

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"
#include "core/geometry/QvPolyline.h"
#include "core/mesh/QvMesh.h"

namespace {

// Index of the loop with the most vertices; the first of equal length wins.
std::size_t LongestLoop(const std::vector<std::vector<int>>& loops)
{
    std::size_t best = 0;
    for (std::size_t i = 1; i < loops.size(); ++i)
        if (loops[i].size() > loops[best].size())
            best = i;
    return best;
}

// A positive finite extent: normalising by it is safe.
bool HasExtent(const std::vector<double>& values)
{
    if (values.empty())
        return false;
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const double range = *hi - *lo;
    return std::isfinite(*lo) && std::isfinite(*hi) && range > 0.0 && std::isfinite(range);
}

void Rescale(std::vector<double>& values)
{
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const double min = *lo;
    const double h = 1.0 / (*hi - min);
    for (double& x : values)
        x = x * h - min * h;
}

} // namespace

bool QvPlaceLoopByProjection(const std::vector<QvPoint>& loop, std::vector<QvPoint>& out)
{
    const int m = static_cast<int>(loop.size());
    if (m < 3)
        return false;
    const std::unique_ptr<QvPlane> plane(QvPlane::FitPoints(loop));
    if (!plane)
        return false;
    const QvMatrix rotation(plane->GetNormal(), QvVector(0.0, 0.0, 1.0));

    QvPolyline q;
    q.m_points.reserve(loop.size() + 1);
    for (const QvPoint& p : loop)
    {
        QvPoint r = rotation * plane->ProjectPoint(p);
        // Every projected point has the same height; rounding must not lift the
        // crossing test out of the plane.
        r[2] = 0.0;
        q.m_points.push_back(r);
    }

    // The closing edge can cross too, so the test runs on the closed loop.
    QvPolyline closedLoop(q.m_points);
    closedLoop.m_points.push_back(q.m_points.front());
    if (closedLoop.IsSelfIntersecting())
    {
        std::vector<int> hull;
        if (q.ConvexHull(hull) && hull.size() > 1)
        {
            const std::vector<QvPoint> projected = q.m_points;
            const std::size_t count = hull.size();
            for (std::size_t h = 0; h < count; ++h)
            {
                const int o = hull[h];
                const int t = hull[(h + 1) % count];
                const int span = (m + t - o) % m;
                if (span <= 1)
                    continue;
                std::vector<double> lengths(static_cast<std::size_t>(span));
                double total = 0.0;
                for (int r = 0; r < span; ++r)
                {
                    const int a = (o + r) % m;
                    lengths[static_cast<std::size_t>(r)] = projected[(a + 1) % m].Distance(projected[a]);
                    total += lengths[static_cast<std::size_t>(r)];
                }
                if (!(total > 0.0))
                    continue;
                const QvPoint& from = projected[o];
                const QvVector chord = projected[t] - from;
                double walked = 0.0;
                for (int r = 1; r < span; ++r)
                {
                    walked += lengths[static_cast<std::size_t>(r - 1)];
                    q.m_points[(o + r) % m] = from + chord * (walked / total);
                }
            }
        }
    }
    out = std::move(q.m_points);
    return true;
}

double QvMeanValueWeight(const QvPoint& pi, const QvPoint& pj, const QvPoint* pk, int cornerCount)
{
    const QvVector s = pj - pi;
    double sum = 0.0;
    for (int c = 0; c < cornerCount; ++c)
        sum += std::tan(s.Angle(pk[c] - pi) / 2.0);
    return sum / s.Length();
}

void QvNormalizeWeights(std::vector<double>& weights)
{
    if (weights.empty())
        return;
    double sum = 0.0;
    for (const double w : weights)
        sum += w;
    if (sum > 0.0 && std::isfinite(sum))
    {
        for (double& w : weights)
            w /= sum;
        return;
    }
    const double even = 1.0 / static_cast<double>(weights.size());
    for (double& w : weights)
        w = even;
}

QvMeshParameterize::QvMeshParameterize(QvMesh* mesh, std::int32_t mode) : m_pMesh(mesh), m_mode(mode) {}

QvMeshParameterize::~QvMeshParameterize() = default;

bool QvMeshParameterize::Run()
{
    m_bSolved = false;
    if (!MapBoundary())
        return false;
    BuildSystem();
    // A failed solve leaves the interior at (0, 0): the flat copy would be folded, so it
    // is reported instead of being normalised and handed out.
    if (!Solve())
        return false;
    if (!HasExtent(m_u) || !HasExtent(m_v))
        return false;
    Normalize();
    m_bSolved = true;
    return true;
}

void QvMeshParameterize::GetUV(std::int32_t i, double& u, double& v) const
{
    if (i < 0 || static_cast<std::size_t>(i) >= m_u.size() || static_cast<std::size_t>(i) >= m_v.size())
        return;
    u = m_u[static_cast<std::size_t>(i)];
    v = m_v[static_cast<std::size_t>(i)];
}

std::unique_ptr<QvMesh> QvMeshParameterize::CreateParameterMesh() const
{
    if (!m_bSolved || !m_pMesh || m_u.size() != m_pMesh->m_vertices.size())
        return nullptr;
    auto flat = std::make_unique<QvMesh>(*m_pMesh);
    for (std::size_t i = 0; i < m_u.size(); ++i)
        flat->m_vertices[i].m_point = QvPoint(m_u[i], m_v[i], 0.0);
    return flat;
}

bool QvMeshParameterize::MapBoundary()
{
    if (!m_pMesh)
        return false;
    std::vector<std::vector<int>> loops;
    m_pMesh->GetBoundaryLoops(loops);
    if (loops.empty())
        return false;
    const std::vector<int>& loop = loops[LongestLoop(loops)];
    const std::size_t m = loop.size();
    InitArrays();

    std::vector<QvPoint> positions;
    positions.reserve(m);
    for (const int v : loop)
        positions.push_back(m_pMesh->m_vertices[static_cast<std::size_t>(v)].m_point);

    if (m_mode == 1)
    {
        std::vector<double> chords(m);
        double total = 0.0;
        for (std::size_t k = 0; k < m; ++k)
        {
            chords[k] = positions[(k + 1) % m].Distance(positions[k]);
            total += chords[k];
        }
        if (!(total > 0.0) || !std::isfinite(total))
            return false;
        double walked = 0.0;
        for (std::size_t k = 0; k < m; ++k)
        {
            const double t = k == 0 ? 0.0 : walked / total;
            const std::size_t v = static_cast<std::size_t>(loop[k]);
            m_u[v] = std::cos(2.0 * kQvPi * t);
            m_v[v] = std::sin(2.0 * kQvPi * t);
            walked += chords[k];
        }
        return true;
    }
    if (m_mode == 0)
    {
        std::vector<QvPoint> placed;
        if (!QvPlaceLoopByProjection(positions, placed))
            return false;
        for (std::size_t k = 0; k < m; ++k)
        {
            const std::size_t v = static_cast<std::size_t>(loop[k]);
            m_u[v] = placed[k][0];
            m_v[v] = placed[k][1];
        }
        return true;
    }
    return false;
}

void QvMeshParameterize::InitArrays()
{
    const std::size_t n = m_pMesh ? m_pMesh->m_vertices.size() : 0;
    m_u.assign(n, 0.0);
    m_v.assign(n, 0.0);
    m_weights.assign(n, std::vector<double>());
}

void QvMeshParameterize::BuildSystem()
{
    if (!m_pMesh)
        return;
    const QvMesh& mesh = *m_pMesh;
    const int n = static_cast<int>(mesh.m_vertices.size());
    m_weights.resize(static_cast<std::size_t>(n));
    m_triplets.clear();
    m_triplets.reserve(static_cast<std::size_t>(6) * static_cast<std::size_t>(n));
    std::vector<double> w;
    for (int i = 0; i < n; ++i)
    {
        w.clear();
        VertexWeights(i, w);
        QvNormalizeWeights(w);
        const auto& incident = mesh.m_vertices[static_cast<std::size_t>(i)].m_edges;
        if (!mesh.IsBoundaryVertex(i))
            for (std::size_t k = 0; k < incident.size(); ++k)
            {
                const int j = mesh.m_edges[static_cast<std::size_t>(incident[k])].GetOtherVertex(i);
                m_triplets.emplace_back(i, j, -w[k]);
            }
        m_triplets.emplace_back(i, i, 1.0);
        m_weights[static_cast<std::size_t>(i)] = w;
    }
}

void QvMeshParameterize::VertexWeights(std::int32_t i, std::vector<double>& out) const
{
    if (!m_pMesh || i < 0 || static_cast<std::size_t>(i) >= m_pMesh->m_vertices.size())
        return;
    const QvMesh& mesh = *m_pMesh;
    const QvPoint& pi = mesh.m_vertices[static_cast<std::size_t>(i)].m_point;
    for (const int e : mesh.m_vertices[static_cast<std::size_t>(i)].m_edges)
    {
        const QvEdge& edge = mesh.m_edges[static_cast<std::size_t>(e)];
        const int j = edge.GetOtherVertex(i);
        QvPoint corners[2];
        int count = 0;
        for (const int f : edge.m_faces)
        {
            if (f == -1)
                continue;
            const int k = mesh.m_faces[static_cast<std::size_t>(f)].GetThirdVertex(i, j);
            if (k != -1)
                corners[count++] = mesh.m_vertices[static_cast<std::size_t>(k)].m_point;
        }
        out.push_back(QvMeanValueWeight(pi, mesh.m_vertices[static_cast<std::size_t>(j)].m_point, corners, count));
    }
}

bool QvMeshParameterize::Solve()
{
    if (!m_pMesh)
        return false;
    const QvMesh& mesh = *m_pMesh;
    const int n = static_cast<int>(mesh.m_vertices.size());
    if (n == 0 || m_u.size() != static_cast<std::size_t>(n) || m_v.size() != static_cast<std::size_t>(n))
        return false;
    QvMatrix b(n, 2);
    for (int i = 0; i < n; ++i)
    {
        b[i][0] = m_u[static_cast<std::size_t>(i)];
        b[i][1] = m_v[static_cast<std::size_t>(i)];
    }
    QvMatrix x(n, 2);
    if (!SolveSparseLinearSystem(m_triplets, b, x, 0))
        return false;
    for (int i = 0; i < n; ++i)
        if (!mesh.IsBoundaryVertex(i))
        {
            m_u[static_cast<std::size_t>(i)] = x[i][0];
            m_v[static_cast<std::size_t>(i)] = x[i][1];
        }
    return true;
}

void QvMeshParameterize::Normalize()
{
    // A flat direction has no scale to divide by; it is left as it is (Run reports it).
    if (HasExtent(m_u))
        Rescale(m_u);
    if (HasExtent(m_v))
        Rescale(m_v);
}

bool QvMeshParameterize::SolveBcg()
{
    if (!m_pMesh)
        return true;
    const QvMesh& mesh = *m_pMesh;
    const std::size_t n = mesh.m_vertices.size();
    if (n == 0 || m_u.size() != n || m_v.size() != n)
        return true;

    std::vector<char> boundary(n);
    std::size_t entries = n;
    for (std::size_t k = 0; k < n; ++k)
    {
        boundary[k] = mesh.IsBoundaryVertex(static_cast<int>(k)) ? 1 : 0;
        if (!boundary[k])
            entries += mesh.m_vertices[k].m_edges.size();
    }
    QvBcgSolver solver(static_cast<std::int32_t>(n), entries + 1);
    solver.m_ija[0] = n + 1;
    std::size_t c = n;
    for (std::size_t k = 0; k < n; ++k)
    {
        if (!boundary[k])
        {
            const auto& incident = mesh.m_vertices[k].m_edges;
            // Weights exist after BuildSystem; without them the row keeps only its diagonal.
            const bool weighted = k < m_weights.size() && m_weights[k].size() == incident.size();
            for (std::size_t l = 0; l < incident.size(); ++l)
            {
                solver.m_sa[c + 1 + l] = weighted ? -m_weights[k][l] : 0.0;
                solver.m_ija[c + 1 + l] = static_cast<std::uint64_t>(
                    mesh.m_edges[static_cast<std::size_t>(incident[l])].GetOtherVertex(static_cast<int>(k)));
            }
            c += incident.size();
        }
        solver.m_ija[k + 1] = c + 1;
    }
    for (std::size_t k = 0; k < n; ++k)
        solver.m_sa[k] = 1.0;

    for (std::vector<double>* values : {&m_u, &m_v})
    {
        std::vector<double> x = *values;
        const std::vector<double> b = *values;
        int iterations = 0;
        double error = 0.0;
        solver.Solve(b.data(), x.data(), 1, 20000, iterations, 1e-6, error);
        for (std::size_t k = 0; k < n; ++k)
            if (!boundary[k])
                (*values)[k] = x[k];
    }
    return true;
}
