// SPDX-License-Identifier: GPL-3.0-or-later
// Plane sections of a mesh: of every edge, or of the edges a caller found near the plane.
#include <algorithm>
#include <vector>

#include "core/geometry/QvPlane.h"
#include "core/mesh/QvMesh.h"

namespace {

// Follows the sections from the candidate edges (those whose ends do not lie strictly
// on one side of the plane) in tracing order: boundary edges first, highest index
// first, so that open sections are traced from one of their ends, then the others
// ascending.
class SectionTracer
{
public:
    // distances: the plane's signed distance of every vertex, or null to take each
    // when it is needed.
    SectionTracer(const QvMesh& mesh, const QvPlane& plane, const double* distances)
        : m_mesh(mesh), m_plane(plane), m_distances(distances)
    {
        m_open.assign(mesh.m_edges.size(), false);
        m_visited.assign(mesh.m_faces.size(), false);
        m_used.assign(mesh.m_vertices.size(), false);
    }

    bool IsCandidate(int e) const { return Product(e) != 1; }

    // Every candidate of the mesh.
    std::vector<int> AllCandidates() const
    {
        std::vector<int> candidates;
        const int edgeCount = static_cast<int>(m_mesh.m_edges.size());
        for (int e = edgeCount - 1; e >= 0; --e)
            if (m_mesh.m_edges[e].IsBoundary() && IsCandidate(e))
                candidates.push_back(e);
        for (int e = 0; e < edgeCount; ++e)
            if (!m_mesh.m_edges[e].IsBoundary() && IsCandidate(e))
                candidates.push_back(e);
        return candidates;
    }

    // The candidates among the given edges, each once.
    std::vector<int> CandidatesAmong(const std::vector<int>& edges) const
    {
        // Keys in tracing order: -e - 1 for a boundary edge, e for another.
        std::vector<int> keys;
        const int edgeCount = static_cast<int>(m_mesh.m_edges.size());
        for (const int e : edges)
            if (e >= 0 && e < edgeCount && IsCandidate(e))
                keys.push_back(m_mesh.m_edges[e].IsBoundary() ? -e - 1 : e);
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        for (int& k : keys)
            k = k < 0 ? -k - 1 : k;
        return keys;
    }

    void Run(const std::vector<int>& candidates, std::vector<std::vector<QvSectionPoint>>& sections)
    {
        for (const int e : candidates)
            m_open[e] = true;
        for (const int e : candidates)
        {
            if (!m_open[e])
                continue;
            const QvEdge& edge = m_mesh.m_edges[e];
            if (m_used[edge.m_vertices[0]] || m_used[edge.m_vertices[1]])
            {
                m_open[e] = false;
                continue;
            }
            sections.push_back(Trace(e));
        }
    }

private:
    double Distance(int v) const
    {
        return m_distances ? m_distances[v] : m_plane.Distance(m_mesh.m_vertices[v].m_point, true);
    }
    // -1, 0 or +1: below, on or above the plane.
    int Side(int v) const
    {
        const double d = Distance(v);
        return IsZero(d) ? 0 : (d > 0.0 ? 1 : -1);
    }
    int Product(int e) const
    {
        const QvEdge& edge = m_mesh.m_edges[e];
        return Side(edge.m_vertices[0]) * Side(edge.m_vertices[1]);
    }

    // The next element after side t: its on-plane end, or t itself as a crossing.
    struct Element
    {
        int index;
        bool isVertex;
    };
    Element Next(int t) const
    {
        const QvEdge& edge = m_mesh.m_edges[t];
        if (Product(t) == 0)
            return {Side(edge.m_vertices[0]) == 0 ? edge.m_vertices[0] : edge.m_vertices[1], true};
        return {t, false};
    }

    QvPoint Crossing(int e) const
    {
        // Interpolated by the signed distances, which differ in sign on a crossing edge:
        // defined however long and flat the edge is.
        const QvEdge& edge = m_mesh.m_edges[e];
        const QvPoint& p0 = m_mesh.m_vertices[edge.m_vertices[0]].m_point;
        const QvPoint& p1 = m_mesh.m_vertices[edge.m_vertices[1]].m_point;
        const double d0 = Distance(edge.m_vertices[0]);
        const double d1 = Distance(edge.m_vertices[1]);
        return p0 + (p1 - p0) * (d0 / (d0 - d1));
    }

    std::vector<QvSectionPoint> Trace(int start)
    {
        std::vector<QvSectionPoint> section;
        Element current = Next(start);
        int s = -1;
        bool closed = false;
        for (;;)
        {
            int t = -1;
            if (!current.isVertex)
            {
                const QvEdge& c = m_mesh.m_edges[current.index];
                section.push_back({&c, Crossing(current.index)});
                int face;
                if (c.m_faces[1] == -1)
                {
                    face = c.m_faces[0];
                    if (m_visited[face])
                        break;
                }
                else
                    face = m_visited[c.m_faces[1]] ? c.m_faces[0] : c.m_faces[1];
                m_visited[face] = true;
                int first = -1;
                int second = -1;
                m_mesh.m_faces[face].GetOtherEdges(current.index, first, second);
                t = m_open[first] ? first : second;
                if (!m_open[t])
                    break;
                current = Next(t);
            }
            else
            {
                const int v = current.index;
                const QvVertex& vertex = m_mesh.m_vertices[v];
                m_used[v] = true;
                section.push_back({&vertex, vertex.m_point});
                // Back next to the start along an edge in the plane: the loop is complete.
                // The vertex is kept as the section's last entry before the repeated first.
                if (section.size() >= 3 && s != -1 && m_mesh.FindEdge(s, v) != -1)
                {
                    closed = true;
                    break;
                }
                if (section.size() == 1)
                    s = v;
                bool found = false;
                std::vector<int> around;
                m_mesh.GetVertexFaces(v, around, false);
                for (const int f : around)
                {
                    if (m_visited[f])
                        continue;
                    int a = -1;
                    int b = -1;
                    m_mesh.m_faces[f].GetOtherVertices(v, a, b);
                    const int ab = m_mesh.FindEdge(a, b);
                    if (ab == -1 || !m_open[ab])
                        continue;
                    m_visited[f] = true;
                    const int sa = Side(a);
                    const int sb = Side(b);
                    if (sa * sb == -1)
                        current = {ab, false};
                    else if (sa == 0 && !m_used[a])
                        current = {a, true};
                    else if (sa != 0 && sb == 0 && !m_used[b])
                        current = {b, true};
                    else
                        continue;
                    t = ab;
                    found = true;
                    break;
                }
                if (!found)
                    break;
            }
            m_open[t] = false;
            if (t == start)
            {
                closed = true;
                break;
            }
        }
        if (closed && section.size() > 2)
            section.push_back(section.front());
        return section;
    }

    const QvMesh& m_mesh;
    const QvPlane& m_plane;
    const double* m_distances;
    // Bits rather than bytes: the marks of a large mesh stay small enough that a cut
    // does not fault fresh pages in on every call.
    std::vector<bool> m_open;
    std::vector<bool> m_visited;
    std::vector<bool> m_used;
};

} // namespace

void QvMesh::IntersectPlane(const QvPlane& plane, std::vector<std::vector<QvSectionPoint>>& sections) const
{
    std::vector<double> distances(m_vertices.size());
    for (std::size_t v = 0; v < distances.size(); ++v)
        distances[v] = plane.Distance(m_vertices[v].m_point, true);
    SectionTracer tracer(*this, plane, distances.data());
    tracer.Run(tracer.AllCandidates(), sections);
}

void QvMesh::IntersectPlane(const QvPlane& plane, const std::vector<int>& edges,
                            std::vector<std::vector<QvSectionPoint>>& sections) const
{
    SectionTracer tracer(*this, plane, nullptr);
    tracer.Run(tracer.CandidatesAmong(edges), sections);
}
