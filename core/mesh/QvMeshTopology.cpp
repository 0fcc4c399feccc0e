// SPDX-License-Identifier: GPL-3.0-or-later
// Read-only neighbourhood queries. Everything goes through the incident-edge lists;
// nothing scans all faces to find the ones around a vertex.
#include <cmath>
#include <set>
#include <vector>

#include "core/mesh/QvMesh.h"

bool QvPointTolerantLess::operator()(const QvPoint& a, const QvPoint& b) const
{
    // Written as !(|d| <= t) so that a NaN difference makes its axis decide, and every
    // comparison with NaN then answers false.
    int axis = 2;
    if (!(std::fabs(a[0] - b[0]) <= m_tolerance))
        axis = 0;
    else if (!(std::fabs(a[1] - b[1]) <= m_tolerance))
        axis = 1;
    return a[axis] < b[axis] - m_tolerance;
}

void QvMesh::GetVertexFaces(int vertex, std::vector<int>& faces, bool ordered) const
{
    const auto& incident = m_vertices[vertex].m_edges;
    if (!ordered)
    {
        std::set<int> around;
        for (const int e : incident)
            for (const int f : m_edges[e].m_faces)
                if (f != -1)
                    around.insert(f);
        faces.assign(around.begin(), around.end());
        return;
    }

    if (incident.empty())
        return;
    int start = incident.front();
    for (const int e : incident)
        if (m_edges[e].IsBoundary())
        {
            start = e;
            break;
        }

    const int stop = m_edges[start].m_faces[1];
    if (stop != -1)
        faces.push_back(stop);
    int current = start;
    int face = m_edges[start].m_faces[0];
    // One step per incident edge at most; records that disagree must not make it circle.
    for (std::size_t step = 0; step < incident.size() && face != -1; ++step)
    {
        faces.push_back(face);
        const int w = m_edges[current].GetOtherVertex(vertex);
        const int t = m_faces[face].GetThirdVertex(vertex, w);
        int next = -1;
        for (const int e : incident)
            if (m_edges[e].GetOtherVertex(vertex) == t)
            {
                next = e;
                break;
            }
        if (next == -1)
            return;
        face = m_edges[next].GetOtherFace(face);
        current = next;
        if (face == stop)
            return;
    }
}

void QvMesh::GetNeighborVertices(int vertex, std::vector<int>& vertices) const
{
    vertices.clear();
    for (const int e : m_vertices[vertex].m_edges)
        vertices.push_back(m_edges[e].GetOtherVertex(vertex));
}

bool QvMesh::IsBoundaryVertex(int vertex) const
{
    for (const int e : m_vertices[vertex].m_edges)
        if (m_edges[e].IsBoundary())
            return true;
    return false;
}

bool QvMesh::IsClosed() const
{
    for (const QvEdge& edge : m_edges)
        if (edge.IsBoundary())
            return false;
    return true;
}

namespace {

// The first unvisited boundary edge at vertex in incidence order, marked; -1 when none.
int TakeBoundaryEdge(const QvMesh& mesh, int vertex, std::vector<char>& visited)
{
    for (const int e : mesh.m_vertices[vertex].m_edges)
        if (!visited[e] && mesh.m_edges[e].IsBoundary())
        {
            visited[e] = 1;
            return e;
        }
    return -1;
}

} // namespace

void QvMesh::GetBoundaryLoops(std::vector<std::vector<int>>& loops) const
{
    const std::size_t edgeCount = m_edges.size();
    std::vector<char> visited(edgeCount, 0);
    // Position of each vertex in the loop being walked, -1 outside it; reset per loop.
    std::vector<int> position(m_vertices.size(), -1);

    for (std::size_t i = 0; i < edgeCount; ++i)
    {
        if (visited[i] || !m_edges[i].IsBoundary())
            continue;
        visited[i] = 1;
        const int s = m_edges[i].m_vertices[0];
        std::vector<int> loop{s, m_edges[i].m_vertices[1]};
        position[loop[0]] = 0;
        position[loop[1]] = 1;
        for (;;)
        {
            const int cur = loop.back();
            const int e = TakeBoundaryEdge(*this, cur, visited);
            if (e == -1)
                break; // an open chain
            const int f = m_edges[e].GetOtherVertex(cur);
            if (f == s)
                break;
            const int k = position[f];
            if (k != -1)
            {
                // The walk came back to f: the part from f on is a loop of its own.
                loops.emplace_back(loop.begin() + k, loop.end());
                for (std::size_t j = static_cast<std::size_t>(k); j < loop.size(); ++j)
                    position[loop[j]] = -1;
                loop.resize(static_cast<std::size_t>(k));
            }
            position[f] = static_cast<int>(loop.size());
            loop.push_back(f);
        }
        for (const int v : loop)
            position[v] = -1;
        loops.push_back(std::move(loop));
    }
}

void QvMesh::GetBoundaryLoopFromVertex(std::vector<int>& loop, int vertex) const
{
    std::vector<char> visited(m_edges.size(), 0);
    const int first = TakeBoundaryEdge(*this, vertex, visited);
    if (first == -1)
        return;
    const int s = m_edges[first].m_vertices[0];
    loop.push_back(s);
    loop.push_back(m_edges[first].m_vertices[1]);
    for (;;)
    {
        const int cur = loop.back();
        const int e = TakeBoundaryEdge(*this, cur, visited);
        if (e == -1)
            return;
        const int f = m_edges[e].GetOtherVertex(cur);
        if (f == s)
            return;
        loop.push_back(f);
    }
}

int QvMesh::GetCommonVertex(int edgeA, int edgeB) const
{
    const QvEdge& a = m_edges[edgeA];
    const QvEdge& b = m_edges[edgeB];
    for (const int v : a.m_vertices)
        if (v == b.m_vertices[0] || v == b.m_vertices[1])
            return v;
    return -1;
}

int QvMesh::GetCommonFace(int edgeA, int edgeB) const
{
    const QvEdge& a = m_edges[edgeA];
    const QvEdge& b = m_edges[edgeB];
    for (const int f : a.m_faces)
        if (f != -1 && (f == b.m_faces[0] || f == b.m_faces[1]))
            return f;
    return -1;
}

namespace {

// Breadth-first components of the listed elements. neighbours(x, out) appends the
// candidates next to x in the order the component should take them.
template <typename Seeds, typename Neighbours>
void SplitComponents(const Seeds& seeds, std::size_t elementCount, Neighbours neighbours,
                     std::vector<std::vector<int>>& components)
{
    const std::set<int> listed(seeds.begin(), seeds.end());
    std::vector<bool> visited(elementCount, false);
    std::vector<int> around;
    for (const int seed : seeds)
    {
        if (visited[seed])
            continue;
        visited[seed] = true;
        std::vector<int> component{seed};
        for (std::size_t head = 0; head < component.size(); ++head)
        {
            around.clear();
            neighbours(component[head], around);
            for (const int n : around)
                if (!visited[n] && listed.count(n) != 0)
                {
                    visited[n] = true;
                    component.push_back(n);
                }
        }
        components.push_back(std::move(component));
    }
}

} // namespace

void QvMesh::SplitVertexComponents(const std::vector<int>& vertices,
                                   std::vector<std::vector<int>>& components) const
{
    SplitComponents(
        vertices, m_vertices.size(),
        [this](int v, std::vector<int>& out) {
            for (const int e : m_vertices[v].m_edges)
                out.push_back(m_edges[e].GetOtherVertex(v));
        },
        components);
}

void QvMesh::SplitEdgeComponents(const std::set<int>& edges, std::vector<std::vector<int>>& components) const
{
    SplitComponents(
        edges, m_edges.size(),
        [this](int e, std::vector<int>& out) {
            for (const int v : m_edges[e].m_vertices)
                out.insert(out.end(), m_vertices[v].m_edges.begin(), m_vertices[v].m_edges.end());
        },
        components);
}

void QvMesh::SplitFaceComponents(const std::vector<int>& faces, std::vector<std::vector<int>>& components) const
{
    SplitComponents(
        faces, m_faces.size(),
        [this](int f, std::vector<int>& out) {
            for (const int e : m_faces[f].m_edges)
            {
                const int g = m_edges[e].GetOtherFace(f);
                if (g != -1)
                    out.push_back(g);
            }
        },
        components);
}
