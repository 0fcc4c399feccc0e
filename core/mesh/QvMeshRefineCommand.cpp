// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvMeshRefineCommand.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <vector>

#include "core/geometry/QvPlane.h"
#include "core/mesh/QvMesh.h"

namespace {

// Hard ceiling on the vertices one run may add, whatever the region and scale say.
constexpr double kMaxNewVertices = 2000000.0;

// The side of the face joining a and b; -1 when it has none.
int FaceSide(const QvMesh& mesh, const QvFace& face, int a, int b)
{
    for (const int e : face.m_edges)
    {
        const QvEdge& edge = mesh.m_edges[e];
        const int p = edge.m_vertices[0];
        const int q = edge.m_vertices[1];
        if ((p == a && q == b) || (p == b && q == a))
            return e;
    }
    return -1;
}

void ReplaceFace(QvEdge& edge, int from, int to)
{
    for (std::int32_t& f : edge.m_faces)
        if (f == from)
        {
            f = to;
            return;
        }
}

double TriangleArea(const QvMesh& mesh, int f)
{
    const QvFace& face = mesh.m_faces[f];
    const QvPoint& a = mesh.m_vertices[face.m_vertices[0]].m_point;
    const QvPoint& b = mesh.m_vertices[face.m_vertices[1]].m_point;
    const QvPoint& c = mesh.m_vertices[face.m_vertices[2]].m_point;
    return 0.5 * (b - a).Cross(c - a).Length();
}

// Integer mean truncated towards zero; summed wide so that no component overflows.
std::int32_t MeanComponent(std::int64_t a, std::int64_t b, std::int64_t c)
{
    return static_cast<std::int32_t>((a + b + c) / 3);
}

} // namespace

QvMeshRefineCommand::QvMeshRefineCommand(QvMesh* mesh, const std::vector<int>& outlineLoop, int seedFace, double scale)
    : m_pMesh(mesh), m_outlineLoop(outlineLoop), m_nSeedFace(seedFace), m_scale(scale)
{
}

QvMeshRefineCommand::QvMeshRefineCommand(QvMesh* mesh, const std::set<int>& faces, double scale)
    : m_pMesh(mesh), m_faces(faces), m_scale(scale)
{
}

QvMeshRefineCommand::QvMeshRefineCommand(QvMesh* mesh, double scale) : m_pMesh(mesh), m_scale(scale) {}

QvMeshRefineCommand::~QvMeshRefineCommand() = default;

bool QvMeshRefineCommand::Execute()
{
    if (m_pMesh == nullptr)
        return false;
    QvMesh& mesh = *m_pMesh;
    m_newVertices.clear();
    // A colour list that does not match the vertices cannot tell which colour is whose.
    const bool colours = !mesh.m_colors.empty() && mesh.m_colors.size() == mesh.m_vertices.size();
    const int vertexCount = static_cast<int>(mesh.m_vertices.size());
    const int faceCount = static_cast<int>(mesh.m_faces.size());

    std::set<int> outline;
    if (!m_outlineLoop.empty())
    {
        const std::size_t n = m_outlineLoop.size();
        for (std::size_t i = 0; i < n; ++i)
        {
            const int a = m_outlineLoop[i];
            const int b = m_outlineLoop[(i + 1) % n];
            if (a < 0 || a >= vertexCount || b < 0 || b >= vertexCount)
                continue;
            const int e = mesh.FindEdge(a, b);
            if (e != -1)
                outline.insert(e);
        }
        CollectRegionFaces(&mesh, outline, m_nSeedFace, m_faces);
    }
    else if (!m_faces.empty())
    {
        for (auto it = m_faces.begin(); it != m_faces.end();)
            it = (*it < 0 || *it >= faceCount) ? m_faces.erase(it) : std::next(it);
        CollectRegionOutline(&mesh, m_faces, outline);
    }
    else
    {
        for (int f = 0; f < faceCount; ++f)
            m_faces.insert(f);
    }

    std::vector<int> faceList(m_faces.begin(), m_faces.end());
    const int edgeCount0 = static_cast<int>(mesh.m_edges.size());
    std::vector<char> isOutline(edgeCount0, 0);
    for (const int e : outline)
        isOutline[e] = 1;

    if (IsZero(m_scale))
    {
        double sum = 0.0;
        std::size_t count = 0;
        const auto addLength = [&](int e) {
            const QvEdge& edge = mesh.m_edges[e];
            sum += mesh.m_vertices[edge.m_vertices[0]].m_point.Distance(mesh.m_vertices[edge.m_vertices[1]].m_point);
            ++count;
        };
        if (!outline.empty())
            for (const int e : outline)
                addLength(e);
        else
            for (int e = 0; e < edgeCount0; ++e)
                addLength(e);
        m_scale = count == 0 ? 0.0 : sum / static_cast<double>(count);
    }
    const double scale = m_scale;
    // A scale that is not a positive length asks for unbounded splitting.
    if (!(scale > 0.0) || !std::isfinite(scale) || faceList.empty())
        return true;

    // Tables by vertex and by edge rather than ordered maps: the passes look them up for
    // every face and every flip. A vertex outside the region reads 0, as it did as a
    // missing map entry.
    std::vector<double> vertexScale(mesh.m_vertices.size(), 0.0);
    std::vector<char> interior(mesh.m_edges.size(), 0);
    double area = 0.0;
    for (const int f : faceList)
    {
        const QvFace& face = mesh.m_faces[f];
        for (const int v : face.m_vertices)
            vertexScale[v] = scale;
        for (const int e : face.m_edges)
            if (mesh.m_edges[e].m_faces[1] != -1)
                interior[e] = 1;
        area += TriangleArea(mesh, f);
    }
    const double minDistance = scale / 1.7320508075688772;
    // An ordinary run places its new vertices at least scale / sqrt(3) apart, a few per
    // scale squared of area; many times that marks a degenerate input running away.
    const double estimate = 32.0 * area / (scale * scale) + 4.0 * static_cast<double>(faceList.size()) + 64.0;
    const std::size_t maxNew = static_cast<std::size_t>(std::min(estimate, kMaxNewVertices));

    std::vector<int> around;
    bool exhausted = false;
    while (!exhausted)
    {
        int splits = 0;
        const std::size_t pass = faceList.size();
        for (std::size_t idx = 0; idx < pass; ++idx)
        {
            if (m_newVertices.size() >= maxNew)
            {
                exhausted = true;
                break;
            }
            const int f = faceList[idx];
            const int i = mesh.m_faces[f].m_vertices[0];
            const int j = mesh.m_faces[f].m_vertices[1];
            const int k = mesh.m_faces[f].m_vertices[2];
            const QvPoint& pi = mesh.m_vertices[i].m_point;
            const QvPoint& pj = mesh.m_vertices[j].m_point;
            const QvPoint& pk = mesh.m_vertices[k].m_point;
            const double si = vertexScale[i];
            const double sj = vertexScale[j];
            const double sk = vertexScale[k];
            const double sc = (si + sj + sk) / 3.0;
            QvPoint c = pi;
            c += pj;
            c += pk;
            c /= 3.0;
            const double di = 1.4142135623730951 * c.Distance(pi);
            const double dj = 1.4142135623730951 * c.Distance(pj);
            const double dk = 1.4142135623730951 * c.Distance(pk);
            if (!(di > sc && dj > sc && dk > sc && di > si && dj > sj && dk > sk))
                continue;
            if (!IsPointClearOfVertices(&mesh, f, c, minDistance))
                continue;

            const int v = SplitFace(&mesh, f, c);
            if (colours)
            {
                const QvColor& ci = mesh.m_colors[i];
                const QvColor& cj = mesh.m_colors[j];
                const QvColor& ck = mesh.m_colors[k];
                mesh.m_colors.emplace_back(MeanComponent(ci.m_r, cj.m_r, ck.m_r),
                                           MeanComponent(ci.m_g, cj.m_g, ck.m_g),
                                           MeanComponent(ci.m_b, cj.m_b, ck.m_b));
            }
            mesh.GetVertexFaces(v, around, false);
            faceList.insert(faceList.end(), around.begin(), around.end());
            interior.resize(mesh.m_edges.size(), 0);
            for (const int e : mesh.m_vertices[v].m_edges)
                interior[e] = 1;
            vertexScale.resize(mesh.m_vertices.size(), 0.0);
            vertexScale[v] = sc;
            m_newVertices.insert(v);
            ++splits;
        }
        if (splits == 0)
            break;

        // Every flip shortens an edge, so relaxation ends by itself; the cap only bounds
        // the work on inputs where that takes very long.
        // Flips neither add nor remove edges, so the tables keep their size here.
        std::deque<int> queue;
        for (int e = 0; e < static_cast<int>(interior.size()); ++e)
            if (interior[e])
                queue.push_back(e);
        std::vector<char> inQueue(interior);
        const std::size_t maxFlips = 64 * mesh.m_edges.size() + 1024;
        std::size_t flips = 0;
        while (!queue.empty() && flips < maxFlips)
        {
            const int w = queue.front();
            queue.pop_front();
            inQueue[w] = 0;
            if (w < edgeCount0 && isOutline[w])
                continue;
            if (!SwapEdge(&mesh, w))
                continue;
            ++flips;
            if (!inQueue[w])
            {
                inQueue[w] = 1;
                queue.push_back(w);
            }
            const int faces[2] = {mesh.m_edges[w].m_faces[0], mesh.m_edges[w].m_faces[1]};
            for (const int f : faces)
                for (const int e : mesh.m_faces[f].m_edges)
                    if (e != w && !mesh.m_edges[e].IsBoundary() && !inQueue[e])
                    {
                        inQueue[e] = 1;
                        queue.push_back(e);
                    }
        }
    }
    return true;
}

void QvMeshRefineCommand::CollectRegionFaces(const QvMesh* mesh, const std::set<int>& outlineEdges, int seedFace,
                                             std::set<int>& faces)
{
    if (mesh == nullptr || seedFace < 0 || seedFace >= static_cast<int>(mesh->m_faces.size()))
        return;
    faces.clear();
    std::vector<char> crossed(mesh->m_edges.size(), 0);
    for (const int e : outlineEdges)
        if (e >= 0 && e < static_cast<int>(crossed.size()))
            crossed[e] = 1;
    std::deque<int> queue{seedFace};
    while (!queue.empty())
    {
        const int f = queue.front();
        queue.pop_front();
        faces.insert(f);
        for (const int e : mesh->m_faces[f].m_edges)
        {
            if (crossed[e])
                continue;
            crossed[e] = 1;
            const int g = mesh->m_edges[e].GetOtherFace(f);
            if (g != -1)
                queue.push_back(g);
        }
    }
}

void QvMeshRefineCommand::CollectRegionOutline(const QvMesh* mesh, const std::set<int>& faces,
                                               std::set<int>& outlineEdges)
{
    if (mesh == nullptr || faces.empty())
        return;
    outlineEdges.clear();
    const int faceCount = static_cast<int>(mesh->m_faces.size());
    for (const int f : faces)
    {
        if (f < 0 || f >= faceCount)
            continue;
        for (const int e : mesh->m_faces[f].m_edges)
        {
            const QvEdge& edge = mesh->m_edges[e];
            if (edge.m_faces[0] == -1 || edge.m_faces[1] == -1 || faces.count(edge.m_faces[0]) == 0 ||
                faces.count(edge.m_faces[1]) == 0)
                outlineEdges.insert(e);
        }
    }
}

bool QvMeshRefineCommand::IsPointClearOfVertices(const QvMesh* mesh, int face, const QvPoint& point, double distance)
{
    const QvFace& f = mesh->m_faces[face];
    std::vector<int> candidates(f.m_vertices, f.m_vertices + 3);
    std::vector<int> neighbours;
    for (const int v : f.m_vertices)
    {
        mesh->GetNeighborVertices(v, neighbours);
        candidates.insert(candidates.end(), neighbours.begin(), neighbours.end());
    }
    for (const int v : candidates)
        if (mesh->m_vertices[v].m_point.Distance(point) < distance)
            return false;
    return true;
}

int QvMeshRefineCommand::SplitFace(QvMesh* mesh, int face, const QvPoint& point)
{
    const int i = mesh->m_faces[face].m_vertices[0];
    const int j = mesh->m_faces[face].m_vertices[1];
    const int k = mesh->m_faces[face].m_vertices[2];
    // Looked up by their ends: a flipped face no longer keeps side k at corners k, k + 1.
    const int e0 = FaceSide(*mesh, mesh->m_faces[face], i, j);
    const int e1 = FaceSide(*mesh, mesh->m_faces[face], j, k);
    const int e2 = FaceSide(*mesh, mesh->m_faces[face], k, i);

    const int v = mesh->AddVertex(point);
    const int E0 = static_cast<int>(mesh->m_edges.size());
    const int E1 = E0 + 1;
    const int E2 = E0 + 2;
    const int F1 = static_cast<int>(mesh->m_faces.size());
    const int F2 = F1 + 1;

    const auto addEdge = [mesh](int index, int a, int b, int fa, int fb) {
        QvEdge& edge = mesh->m_edges.emplace_back();
        edge.m_index = index;
        edge.SetVertices(a, b);
        edge.SetFaces(fa, fb);
    };
    addEdge(E0, i, v, F2, face);
    addEdge(E1, j, v, face, F1);
    addEdge(E2, k, v, F1, F2);
    mesh->m_faces.emplace_back().m_index = F1;
    mesh->m_faces.emplace_back().m_index = F2;

    mesh->m_vertices[v].AddEdge(E0);
    mesh->m_vertices[v].AddEdge(E1);
    mesh->m_vertices[v].AddEdge(E2);
    mesh->m_vertices[i].AddEdge(E0);
    mesh->m_vertices[j].AddEdge(E1);
    mesh->m_vertices[k].AddEdge(E2);

    mesh->m_faces[face].SetVertices(i, j, v);
    mesh->m_faces[face].SetEdges(e0, E1, E0);
    mesh->m_faces[F1].SetVertices(j, k, v);
    mesh->m_faces[F1].SetEdges(e1, E2, E1);
    mesh->m_faces[F2].SetVertices(k, i, v);
    mesh->m_faces[F2].SetEdges(e2, E0, E2);

    ReplaceFace(mesh->m_edges[e1], face, F1);
    ReplaceFace(mesh->m_edges[e2], face, F2);
    return v;
}

bool QvMeshRefineCommand::SwapEdge(QvMesh* mesh, int edge)
{
    QvEdge& w = mesh->m_edges[edge];
    if (w.m_faces[1] == -1)
        return false;
    const int b = w.m_vertices[0];
    const int c = w.m_vertices[1];
    const int d = w.m_faces[0];
    const int a = w.m_faces[1];
    const int e = mesh->m_faces[d].GetThirdVertex(b, c);
    const int f = mesh->m_faces[a].GetThirdVertex(b, c);
    if (e == -1 || f == -1 || e == f)
        return false;
    if (mesh->FindEdge(e, f) != -1)
        return false;
    const QvPoint& pb = mesh->m_vertices[b].m_point;
    const QvPoint& pc = mesh->m_vertices[c].m_point;
    const QvPoint& pe = mesh->m_vertices[e].m_point;
    const QvPoint& pf = mesh->m_vertices[f].m_point;
    if (pe.Distance(pf) >= 0.999999 * pb.Distance(pc))
        return false;
    if (IsProjectionInTriangle(pe, pf, pb, pc) || IsProjectionInTriangle(pe, pf, pc, pb))
        return false;

    const int be = mesh->FindEdge(b, e);
    const int ce = mesh->FindEdge(c, e);
    const int bf = mesh->FindEdge(b, f);
    const int cf = mesh->FindEdge(c, f);
    if (be == -1 || ce == -1 || bf == -1 || cf == -1)
        return false;

    // Whether d runs from c to b, read before it is rebuilt.
    const QvFace& faceD = mesh->m_faces[d];
    bool cThenB = false;
    for (int s = 0; s < 3; ++s)
        if (faceD.m_vertices[s] == c && faceD.m_vertices[(s + 1) % 3] == b)
            cThenB = true;

    mesh->m_vertices[b].RemoveEdge(edge);
    mesh->m_vertices[c].RemoveEdge(edge);
    mesh->m_vertices[e].AddEdge(edge);
    mesh->m_vertices[f].AddEdge(edge);
    w.SetVertices(e, f);
    w.SetFaces(d, a);
    ReplaceFace(mesh->m_edges[ce], d, a);
    ReplaceFace(mesh->m_edges[bf], a, d);

    if (cThenB)
    {
        mesh->m_faces[d].SetVertices(b, e, f);
        mesh->m_faces[d].SetEdges(be, edge, bf);
        mesh->m_faces[a].SetVertices(c, f, e);
        mesh->m_faces[a].SetEdges(cf, edge, ce);
    }
    else
    {
        mesh->m_faces[d].SetVertices(b, f, e);
        mesh->m_faces[d].SetEdges(bf, edge, be);
        mesh->m_faces[a].SetVertices(c, e, f);
        mesh->m_faces[a].SetEdges(ce, edge, cf);
    }
    return true;
}

bool QvMeshRefineCommand::IsProjectionInTriangle(const QvPoint& p, const QvPoint& q, const QvPoint& r,
                                                 const QvPoint& s)
{
    const QvPlane plane(p, q, r);
    const QvPoint t = plane.ProjectPoint(s);
    const QvVector m0 = (p - t).Cross(q - p);
    const QvVector m1 = (q - t).Cross(r - q);
    const QvVector m2 = (r - t).Cross(p - r);
    return m0.Dot(m1) > 0.0 && m0.Dot(m2) > 0.0;
}
