// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvMeshLocalParameterize.h"

#include <Eigen/SparseCore>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <locale>
#include <system_error>

#include "core/geometry/QvMatrix.h"
#include "core/mesh/QvMesh.h"
#include "core/mesh/QvMeshParameterize.h"

namespace {

bool IsVertexOf(const QvMesh& mesh, std::int32_t v)
{
    return v >= 0 && static_cast<std::size_t>(v) < mesh.m_vertices.size();
}

} // namespace

QvMeshLocalParameterize::QvMeshLocalParameterize(QvMesh* mesh) : m_pMesh(mesh)
{
    if (!mesh)
        return;
    std::vector<std::vector<int>> loops;
    mesh->GetBoundaryLoops(loops);
    std::size_t best = 0;
    for (std::size_t i = 1; i < loops.size(); ++i)
        if (loops[i].size() > loops[best].size())
            best = i;
    if (!loops.empty())
        m_loop.assign(loops[best].begin(), loops[best].end());

    m_vertexClasses.assign(mesh->m_vertices.size(), kQvPatchInside);
    for (const std::int32_t v : m_loop)
        m_vertexClasses[static_cast<std::size_t>(v)] = kQvPatchBorder;
    m_edgeClasses.resize(mesh->m_edges.size());
    for (std::size_t e = 0; e < mesh->m_edges.size(); ++e)
        m_edgeClasses[e] = mesh->m_edges[e].IsBoundary() ? kQvPatchBorder : kQvPatchInside;
    m_faceClasses.assign(mesh->m_faces.size(), kQvPatchInside);
}

QvMeshLocalParameterize::QvMeshLocalParameterize(QvMesh* mesh, const std::vector<std::int32_t>& loop,
                                                 std::int32_t seed)
    : m_pMesh(mesh), m_loop(loop)
{
    if (!mesh)
        return;
    m_vertexClasses.assign(mesh->m_vertices.size(), kQvPatchOutside);
    m_edgeClasses.assign(mesh->m_edges.size(), kQvPatchOutside);
    m_faceClasses.assign(mesh->m_faces.size(), kQvPatchOutside);

    std::vector<std::int32_t> barrier;
    const std::size_t count = m_loop.size();
    for (std::size_t k = 0; k < count; ++k)
    {
        const std::int32_t a = m_loop[k];
        const std::int32_t b = m_loop[(k + 1) % count];
        if (!IsVertexOf(*mesh, a))
            continue;
        if (IsVertexOf(*mesh, b))
        {
            const int e = mesh->FindEdge(a, b);
            if (e != -1)
            {
                m_edgeClasses[static_cast<std::size_t>(e)] = kQvPatchBorder;
                barrier.push_back(e);
            }
        }
        m_vertexClasses[static_cast<std::size_t>(a)] = kQvPatchBorder;
    }

    std::vector<std::int32_t> faces;
    (void)FindRegionFaces(mesh, barrier, seed, faces);
    for (const std::int32_t f : faces)
    {
        const QvFace& face = mesh->m_faces[static_cast<std::size_t>(f)];
        m_faceClasses[static_cast<std::size_t>(f)] = kQvPatchInside;
        for (int c = 0; c < 3; ++c)
        {
            std::uint32_t& vc = m_vertexClasses[static_cast<std::size_t>(face.m_vertices[c])];
            if (vc == kQvPatchOutside)
                vc = kQvPatchInside;
            std::uint32_t& ec = m_edgeClasses[static_cast<std::size_t>(face.m_edges[c])];
            if (ec == kQvPatchOutside)
                ec = kQvPatchInside;
        }
    }
}

QvMeshLocalParameterize::~QvMeshLocalParameterize() = default;

bool QvMeshLocalParameterize::FindRegionFaces(const QvMesh* mesh, const std::vector<std::int32_t>& barrierEdges,
                                              std::int32_t seed, std::vector<std::int32_t>& faces)
{
    if (!mesh)
        return false;
    const std::size_t faceCount = mesh->m_faces.size();
    std::vector<char> barrier(mesh->m_edges.size(), 0);
    for (const std::int32_t e : barrierEdges)
        if (e >= 0 && static_cast<std::size_t>(e) < barrier.size())
            barrier[static_cast<std::size_t>(e)] = 1;

    std::vector<char> reached(faceCount, 0);
    std::vector<std::int32_t> component;
    for (std::size_t start = 0; start < faceCount; ++start)
    {
        if (reached[start])
            continue;
        reached[start] = 1;
        component.assign(1, static_cast<std::int32_t>(start));
        bool hasSeed = false;
        for (std::size_t at = 0; at < component.size(); ++at)
        {
            const int f = component[at];
            const QvFace& face = mesh->m_faces[static_cast<std::size_t>(f)];
            for (int c = 0; c < 3; ++c)
            {
                if (face.m_vertices[c] == seed)
                    hasSeed = true;
                const int e = face.m_edges[c];
                if (barrier[static_cast<std::size_t>(e)])
                    continue;
                const int g = mesh->m_edges[static_cast<std::size_t>(e)].GetOtherFace(f);
                if (g == -1 || reached[static_cast<std::size_t>(g)])
                    continue;
                reached[static_cast<std::size_t>(g)] = 1;
                component.push_back(g);
            }
        }
        if (hasSeed)
        {
            faces.insert(faces.end(), component.begin(), component.end());
            return true;
        }
    }
    return false;
}

bool QvMeshLocalParameterize::Run()
{
    m_bSolved = false;
    if (!MapBoundary())
        return false;
    BuildSystem();
    if (!Solve())
        return false;
    // The extent is measured over the patch alone, as Normalize does.
    double umin = std::numeric_limits<double>::infinity(), umax = -umin;
    double vmin = umin, vmax = -umin;
    for (std::size_t i = 0; i < m_u.size(); ++i)
    {
        if (m_vertexClasses[i] == kQvPatchOutside)
            continue;
        umin = std::min(umin, m_u[i]);
        umax = std::max(umax, m_u[i]);
        vmin = std::min(vmin, m_v[i]);
        vmax = std::max(vmax, m_v[i]);
    }
    const bool usable = std::isfinite(umax - umin) && std::isfinite(vmax - vmin) && umax - umin > 0.0 &&
                        vmax - vmin > 0.0;
    if (!usable)
        return false;
    Normalize();
    m_bSolved = true;
    return true;
}

void QvMeshLocalParameterize::GetUV(std::int32_t i, double& u, double& v) const
{
    if (i < 0 || static_cast<std::size_t>(i) >= m_u.size() || static_cast<std::size_t>(i) >= m_v.size())
        return;
    u = m_u[static_cast<std::size_t>(i)];
    v = m_v[static_cast<std::size_t>(i)];
}

std::unique_ptr<QvMesh> QvMeshLocalParameterize::CreateParameterMesh() const
{
    if (!m_bSolved || !m_pMesh || m_u.size() != m_pMesh->m_vertices.size())
        return nullptr;
    auto flat = std::make_unique<QvMesh>(*m_pMesh);
    for (std::size_t i = 0; i < m_u.size(); ++i)
        flat->m_vertices[i].m_point = m_vertexClasses[i] == kQvPatchOutside ? QvPoint(-1.0, -1.0, -1.0)
                                                                            : QvPoint(m_u[i], m_v[i], 0.0);
    return flat;
}

bool QvMeshLocalParameterize::MapBoundary()
{
    if (!m_pMesh)
        return false;
    InitArrays();
    std::vector<QvPoint> positions;
    positions.reserve(m_loop.size());
    for (const std::int32_t v : m_loop)
    {
        if (!IsVertexOf(*m_pMesh, v))
            return false;
        positions.push_back(m_pMesh->m_vertices[static_cast<std::size_t>(v)].m_point);
    }
    std::vector<QvPoint> placed;
    if (!QvPlaceLoopByProjection(positions, placed))
        return false;
    for (std::size_t k = 0; k < m_loop.size(); ++k)
    {
        const std::size_t v = static_cast<std::size_t>(m_loop[k]);
        m_u[v] = placed[k][0];
        m_v[v] = placed[k][1];
    }
    return true;
}

void QvMeshLocalParameterize::InitArrays()
{
    const std::size_t n = m_pMesh ? m_pMesh->m_vertices.size() : 0;
    m_u.assign(n, 0.0);
    m_v.assign(n, 0.0);
    m_weights.assign(n, std::vector<double>());
}

void QvMeshLocalParameterize::VertexWeights(std::int32_t i, std::vector<double>& out) const
{
    if (!m_pMesh || !IsVertexOf(*m_pMesh, i))
        return;
    const QvMesh& mesh = *m_pMesh;
    const auto& incident = mesh.m_vertices[static_cast<std::size_t>(i)].m_edges;
    const std::size_t first = out.size();
    out.resize(first + incident.size(), 0.0);
    const QvPoint& pi = mesh.m_vertices[static_cast<std::size_t>(i)].m_point;
    for (std::size_t k = 0; k < incident.size(); ++k)
    {
        const int e = incident[k];
        if (m_edgeClasses[static_cast<std::size_t>(e)] == kQvPatchOutside)
            continue;
        const QvEdge& edge = mesh.m_edges[static_cast<std::size_t>(e)];
        const int j = edge.GetOtherVertex(i);
        QvPoint corners[2];
        int count = 0;
        for (const int f : edge.m_faces)
        {
            if (f == -1 || m_faceClasses[static_cast<std::size_t>(f)] == kQvPatchOutside)
                continue;
            const int c = mesh.m_faces[static_cast<std::size_t>(f)].GetThirdVertex(i, j);
            if (c != -1)
                corners[count++] = mesh.m_vertices[static_cast<std::size_t>(c)].m_point;
        }
        out[first + k] = QvMeanValueWeight(pi, mesh.m_vertices[static_cast<std::size_t>(j)].m_point, corners, count);
    }
}

void QvMeshLocalParameterize::BuildSystem()
{
    if (!m_pMesh)
        return;
    const QvMesh& mesh = *m_pMesh;
    const std::size_t n = mesh.m_vertices.size();
    m_weights.resize(n);
    m_compact.assign(n, -1);
    std::int32_t next = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (m_vertexClasses[i] != kQvPatchOutside)
            m_compact[i] = next++;

    m_triplets.clear();
    m_triplets.reserve(6 * n);
    std::vector<double> w;
    std::vector<double> active;
    for (std::size_t i = 0; i < n; ++i)
    {
        const int ci = m_compact[i];
        if (ci < 0)
            continue;
        const auto& incident = mesh.m_vertices[i].m_edges;
        w.clear();
        VertexWeights(static_cast<std::int32_t>(i), w);
        // Only the edges that take part share the weight; outside edges keep 0.
        active.clear();
        for (std::size_t k = 0; k < incident.size(); ++k)
            if (m_edgeClasses[static_cast<std::size_t>(incident[k])] != kQvPatchOutside)
                active.push_back(w[k]);
        QvNormalizeWeights(active);
        std::size_t a = 0;
        for (std::size_t k = 0; k < incident.size(); ++k)
            if (m_edgeClasses[static_cast<std::size_t>(incident[k])] != kQvPatchOutside)
                w[k] = active[a++];

        if (m_vertexClasses[i] == kQvPatchInside)
            for (std::size_t k = 0; k < incident.size(); ++k)
            {
                const QvEdge& edge = mesh.m_edges[static_cast<std::size_t>(incident[k])];
                if (m_edgeClasses[static_cast<std::size_t>(incident[k])] == kQvPatchOutside)
                    continue;
                const int cj = m_compact[static_cast<std::size_t>(edge.GetOtherVertex(static_cast<int>(i)))];
                if (cj >= 0)
                    m_triplets.emplace_back(ci, cj, -w[k]);
            }
        m_triplets.emplace_back(ci, ci, 1.0);
        m_weights[i] = w;
    }
}

bool QvMeshLocalParameterize::Solve()
{
    if (!m_pMesh || m_compact.size() != m_u.size())
        return false;
    std::int32_t rows = 0;
    for (const std::int32_t c : m_compact)
        rows = std::max(rows, c + 1);
    if (rows == 0)
        return false;
    QvMatrix b(rows, 2);
    for (std::size_t i = 0; i < m_compact.size(); ++i)
        if (m_compact[i] >= 0)
        {
            b[m_compact[i]][0] = m_u[i];
            b[m_compact[i]][1] = m_v[i];
        }
    QvMatrix x(rows, 2);
    if (!SolveSparseLinearSystem(m_triplets, b, x, 0))
        return false;
    for (std::size_t i = 0; i < m_compact.size(); ++i)
        if (m_vertexClasses[i] == kQvPatchInside)
        {
            m_u[i] = x[m_compact[i]][0];
            m_v[i] = x[m_compact[i]][1];
        }
    return true;
}

void QvMeshLocalParameterize::Normalize()
{
    double umin = std::numeric_limits<double>::infinity(), umax = -umin;
    double vmin = umin, vmax = -umin;
    for (std::size_t i = 0; i < m_u.size() && i < m_vertexClasses.size(); ++i)
    {
        if (m_vertexClasses[i] == kQvPatchOutside)
            continue;
        umin = std::min(umin, m_u[i]);
        umax = std::max(umax, m_u[i]);
        vmin = std::min(vmin, m_v[i]);
        vmax = std::max(vmax, m_v[i]);
    }
    // A flat direction has no scale to divide by; it is left as it is (Run reports it).
    if (umax - umin > 0.0 && std::isfinite(umax - umin))
    {
        const double h = 1.0 / (umax - umin);
        for (double& u : m_u)
            u = u * h - umin * h;
    }
    if (vmax - vmin > 0.0 && std::isfinite(vmax - vmin))
    {
        const double h = 1.0 / (vmax - vmin);
        for (double& v : m_v)
            v = v * h - vmin * h;
    }
}

std::string QvMeshLocalParameterize::DumpTablePath()
{
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error)
        folder = "/tmp";
    return (folder / "t.txt").string();
}

void QvMeshLocalParameterize::DumpTable(const std::vector<std::vector<double>>& rows)
{
    std::ofstream out(DumpTablePath(), std::ios::out | std::ios::trunc);
    if (!out)
        return;
    out.imbue(std::locale::classic());
    for (const std::vector<double>& row : rows)
    {
        for (const double value : row)
            out << value << "  ";
        out << '\n' << std::flush;
    }
}
