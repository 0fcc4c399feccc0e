// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-mesh passes: copying the geometry of another mesh, repairing vertices where
// several fans meet, scaling about the box centre and Loop subdivision.
#include <cmath>
#include <cstdint>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/mesh/QvMesh.h"

void QvMesh::CopyMeshData(const QvMesh& source)
{
    if (this == &source)
        return;
    m_vertices = source.m_vertices;
    m_edges = source.m_edges;
    m_faces = source.m_faces;
    m_colors = source.m_colors;
    m_bbox.Set(source.m_bbox.m_minPoint, source.m_bbox.m_maxPoint);
}

// ---- Repair ---------------------------------------------------------------------------

namespace {

QvVector ToFarEnd(const QvMesh& mesh, int vertex, int edge)
{
    return mesh.m_vertices[mesh.m_edges[edge].GetOtherVertex(vertex)].m_point - mesh.m_vertices[vertex].m_point;
}

void RemoveFaceFans(QvMesh& mesh)
{
    std::vector<int> ordered;
    std::vector<int> unordered;
    while (!mesh.m_vertices.empty())
    {
        // Lists of different lengths: the faces around the vertex form more than one fan.
        std::set<int> doomed;
        for (int v = 0; v < static_cast<int>(mesh.m_vertices.size()); ++v)
        {
            ordered.clear();
            mesh.GetVertexFaces(v, ordered, true);
            mesh.GetVertexFaces(v, unordered, false);
            if (ordered.size() != unordered.size())
                doomed.insert(unordered.begin(), unordered.end());
        }
        if (doomed.empty())
            return;
        // Highest first: the face that a removal moves down from the end is never one
        // still waiting to be removed.
        for (auto it = doomed.rbegin(); it != doomed.rend(); ++it)
            mesh.RemoveFace(*it, true);
    }
}

void CloseFanGaps(QvMesh& mesh)
{
    const int firstNewFace = static_cast<int>(mesh.m_faces.size());
    const int vertexCount = static_cast<int>(mesh.m_vertices.size());
    for (int v = 0; v < vertexCount; ++v)
    {
        std::vector<int> borders;
        for (const int e : mesh.m_vertices[v].m_edges)
            if (mesh.m_edges[e].IsBoundary())
                borders.push_back(e);
        if (borders.size() <= 2)
            continue;

        std::vector<std::pair<int, int>> fanPairs;
        std::set<int> used;
        for (const int b : borders)
        {
            if (used.count(b) != 0)
                continue;
            const int a = mesh.FindFanBoundaryEdge(v, b);
            used.insert(b);
            used.insert(a);
            fanPairs.emplace_back(b, a);
        }

        std::vector<std::pair<int, int>> gaps;
        used.clear();
        for (const auto& [m, n] : fanPairs)
        {
            for (const auto& [own, partner] : {std::pair{m, n}, std::pair{n, m}})
            {
                if (own == -1 || used.count(own) != 0)
                    continue;
                const int x = mesh.FindGapPartnerEdge(v, own, partner, fanPairs, used);
                if (x == -1)
                    continue;
                gaps.emplace_back(own, x);
                used.insert(own);
                used.insert(x);
            }
        }

        for (const auto& [a, b] : gaps)
            (void)mesh.AddFace(v, mesh.m_edges[a].GetOtherVertex(v), mesh.m_edges[b].GetOtherVertex(v),
                               kQvFaceTagPlain);
    }

    std::vector<int> added;
    for (int f = firstNewFace; f < static_cast<int>(mesh.m_faces.size()); ++f)
        added.push_back(f);
    if (!added.empty())
        mesh.OrientFaces(added);
}

} // namespace

void QvMesh::RepairTopology(bool removeNonManifoldFaces)
{
    if (removeNonManifoldFaces)
        RemoveFaceFans(*this);
    else
        CloseFanGaps(*this);
}

int QvMesh::FindGapPartnerEdge(int vertex, int m, int n, const std::vector<std::pair<int, int>>& fanPairs,
                               const std::set<int>& usedEdges) const
{
    const QvVector u = ToFarEnd(*this, vertex, m);
    const QvVector w = ToFarEnd(*this, vertex, n);
    // The turning sense of m's own fan; candidates must lie on the other side of u.
    const QvVector sense = u.Cross(w);
    double best = -1.0;
    int result = -1;
    for (const auto& [first, second] : fanPairs)
    {
        if (first == m || second == m)
            continue;
        for (const int x : {first, second})
        {
            if (x == -1 || usedEdges.count(x) != 0)
                continue;
            const QvVector d = ToFarEnd(*this, vertex, x);
            if (sense.Dot(u.Cross(d)) >= 0.0)
                continue;
            const double c = u.Dot(d) / (u.Length() * d.Length());
            if (c > best)
            {
                best = c;
                result = x;
            }
        }
    }
    return result;
}

// ---- Scaling and subdivision ----------------------------------------------------------

void QvMesh::ScaleAboutCenter(double factor)
{
    const QvPoint centre = m_bbox.GetCentre();
    for (QvVertex& v : m_vertices)
        v.m_point = centre + (v.m_point - centre) * factor;
    UpdateBBox();
}

void QvMesh::Subdivide(int steps)
{
    for (int i = 0; i < steps; ++i)
        SubdivideOnce();
    UpdateFaceNormals();
}

namespace {

std::uint64_t EdgeKey(int a, int b)
{
    if (a > b)
        std::swap(a, b);
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(a)) << 32) | static_cast<std::uint32_t>(b);
}

QvPoint Weighted(const QvPoint& p, double wp, const QvPoint& q, double wq)
{
    return QvPoint(wp * p[0] + wq * q[0], wp * p[1] + wq * q[1], wp * p[2] + wq * q[2]);
}

} // namespace

void QvMesh::SubdivideOnce()
{
    const int faceCount = static_cast<int>(m_faces.size());
    const int vertexCount = static_cast<int>(m_vertices.size());

    // Edge points, from the positions before the step. Keyed by the two ends: face
    // removal renumbers edges while the faces are split.
    struct EdgePoint
    {
        QvPoint point;
        int vertex = -1;
    };
    std::unordered_map<std::uint64_t, EdgePoint> edgePoints;
    edgePoints.reserve(m_edges.size());
    for (const QvEdge& edge : m_edges)
    {
        const QvPoint& p0 = m_vertices[edge.m_vertices[0]].m_point;
        const QvPoint& p1 = m_vertices[edge.m_vertices[1]].m_point;
        QvPoint point;
        if (edge.IsBoundary())
            point = Weighted(p0, 0.5, p1, 0.5);
        else
        {
            const int a = m_faces[edge.m_faces[0]].GetThirdVertex(edge.m_vertices[0], edge.m_vertices[1]);
            const int b = m_faces[edge.m_faces[1]].GetThirdVertex(edge.m_vertices[0], edge.m_vertices[1]);
            const QvPoint& pa = m_vertices[a].m_point;
            const QvPoint& pb = m_vertices[b].m_point;
            point = Weighted(Weighted(p0, 1.0, p1, 1.0), 3.0 / 8.0, Weighted(pa, 1.0, pb, 1.0), 1.0 / 8.0);
        }
        edgePoints[EdgeKey(edge.m_vertices[0], edge.m_vertices[1])].point = point;
    }

    // Vertex points, also from the positions before the step, so that the result does
    // not depend on the order in which the vertices are numbered.
    std::vector<QvPoint> moved(static_cast<std::size_t>(vertexCount));
    for (int v = 0; v < vertexCount; ++v)
    {
        const QvVertex& vertex = m_vertices[v];
        moved[v] = vertex.m_point;
        const int n = static_cast<int>(vertex.m_edges.size());
        if (n < 2)
            continue;
        if (IsBoundaryVertex(v))
        {
            int found = 0;
            QvPoint ends;
            for (const int e : vertex.m_edges)
                if (m_edges[e].IsBoundary() && found < 2)
                {
                    ends += m_vertices[m_edges[e].GetOtherVertex(v)].m_point;
                    ++found;
                }
            if (found == 2)
                moved[v] = Weighted(vertex.m_point, 0.75, ends, 0.125);
        }
        else
        {
            const double a = 0.375 + 0.25 * std::cos(6.28318530718 / n);
            const double beta = (0.625 - a * a) / n;
            QvPoint sum;
            for (const int e : vertex.m_edges)
                sum += m_vertices[m_edges[e].GetOtherVertex(v)].m_point;
            moved[v] = Weighted(vertex.m_point, 1.0 - n * beta, sum, beta);
        }
    }
    for (int v = 0; v < vertexCount; ++v)
        m_vertices[v].m_point = moved[v];

    // Split from the last face down: the face a removal moves into the freed index is
    // one made by this step and is not split again.
    for (int f = faceCount - 1; f >= 0; --f)
    {
        const int a[3] = {m_faces[f].m_vertices[0], m_faces[f].m_vertices[1], m_faces[f].m_vertices[2]};
        // Midpoints follow the corners, not the side slots: on a flipped face side k
        // no longer joins corners k and k+1.
        int m[3];
        for (int k = 0; k < 3; ++k)
        {
            EdgePoint& ep = edgePoints[EdgeKey(a[k], a[(k + 1) % 3])];
            if (ep.vertex == -1)
                ep.vertex = AddVertex(ep.point);
            m[k] = ep.vertex;
        }
        RemoveFace(f, false);
        (void)AddFace(a[0], m[0], m[2], kQvFaceTagPlain);
        (void)AddFace(m[0], a[1], m[1], kQvFaceTagPlain);
        (void)AddFace(m[2], m[1], a[2], kQvFaceTagPlain);
        (void)AddFace(m[0], m[1], m[2], kQvFaceTagPlain);
    }
}
