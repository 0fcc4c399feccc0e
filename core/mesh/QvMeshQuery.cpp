// SPDX-License-Identifier: GPL-3.0-or-later
// Geometric queries (box, centres, normals, line hits, plane sections), face
// extraction and appending, and rigid placement.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"
#include "core/mesh/QvMesh.h"

// ---- Box, emptiness, centres, normals ---------------------------------------------

void QvMesh::UpdateBBox()
{
    if (m_vertices.empty())
        return;
    QvPoint lo = m_vertices.front().m_point;
    QvPoint hi = lo;
    for (const QvVertex& v : m_vertices)
        for (int k = 0; k < 3; ++k)
        {
            lo[k] = std::min(lo[k], v.m_point[k]);
            hi[k] = std::max(hi[k], v.m_point[k]);
        }
    m_bbox.Set(lo, hi);
}

bool QvMesh::IsEmpty() const { return m_vertices.empty(); }

QvPoint QvMesh::GetCenter() const
{
    QvPoint sum;
    for (const QvVertex& v : m_vertices)
        sum += v.m_point;
    return sum / static_cast<double>(m_vertices.size());
}

QvPoint QvMesh::GetCenterExcludingRoot() const
{
    std::set<int> corners;
    for (const QvFace& face : m_faces)
        if (face.m_tag != kQvFaceTagVirtualRoot)
            corners.insert(std::begin(face.m_vertices), std::end(face.m_vertices));
    // A mesh that is all root (or has no faces) has no crown to average: its plain
    // centre is the only meaningful answer, not 0 / 0.
    if (corners.empty())
        return GetCenter();
    QvPoint sum;
    for (const int v : corners)
        sum += m_vertices[v].m_point;
    return sum / static_cast<double>(corners.size());
}

QvVector QvMesh::GetVertexNormal(int vertex) const
{
    std::vector<int> faces;
    GetVertexFaces(vertex, faces, false);
    QvVector n;
    if (faces.empty())
    {
        const QvPoint& p = m_vertices[vertex].m_point;
        n.Set(p[0], p[1], p[2]);
    }
    else
    {
        for (const int f : faces)
            n += m_faces[f].m_normal;
        n = n * (1.0 / static_cast<double>(faces.size()));
    }
    n.Normalize();
    return n;
}

// ---- Lines ----------------------------------------------------------------------------

bool QvMesh::IntersectFaceLine(const QvLine& line, const QvFace& face, QvPoint& point, double& parameter) const
{
    // The threshold is a single-precision constant and applies to the unnormalised
    // determinant, so it scales with the triangle's area.
    constexpr double kParallel = static_cast<double>(0.0001f);
    const QvPoint& o = line.m_point;
    const QvVector& d = line.m_direction;
    const QvPoint& p0 = m_vertices[face.m_vertices[0]].m_point;
    const QvPoint& p1 = m_vertices[face.m_vertices[1]].m_point;
    const QvPoint& p2 = m_vertices[face.m_vertices[2]].m_point;

    const QvVector e1 = p1 - p0;
    const QvVector e2 = p2 - p0;
    const QvVector h = d.Cross(e2);
    double det = e1.Dot(h);
    QvVector t;
    if (det > 0.0)
        t = o - p0;
    else
    {
        t = p0 - o;
        det = -det;
    }
    if (det < kParallel)
        return false;
    const double u = t.Dot(h);
    if (u < 0.0 || u > det)
        return false;
    const QvVector q = t.Cross(e1);
    const double w = d.Dot(q);
    if (w < 0.0 || u + w > det)
        return false;
    const double s = e2.Dot(q) * (1.0 / det);
    point = o + d * s;
    parameter = s;
    return true;
}

bool QvMesh::IntersectLine(const QvLine& line, std::vector<QvPoint>& points) const
{
    // Keyed by the line parameter: an exactly equal parameter (a hit on a shared edge
    // or corner) is kept once, from the first face.
    std::map<double, QvPoint> hits;
    QvPoint point;
    double parameter = 0.0;
    for (const QvFace& face : m_faces)
        if (IntersectFaceLine(line, face, point, parameter))
            hits.emplace(parameter, point);
    if (hits.empty())
        return false;
    for (const auto& [t, p] : hits)
        points.push_back(p);
    return true;
}

// ---- Plane sections -----------------------------------------------------------------

namespace {

class SectionTracer
{
public:
    SectionTracer(const QvMesh& mesh, const QvPlane& plane) : m_mesh(mesh), m_plane(plane)
    {
        const std::size_t nv = mesh.m_vertices.size();
        m_side.resize(nv);
        for (std::size_t v = 0; v < nv; ++v)
        {
            const double d = plane.Distance(mesh.m_vertices[v].m_point, true);
            m_side[v] = static_cast<signed char>(IsZero(d) ? 0 : (d > 0.0 ? 1 : -1));
        }
        m_open.assign(mesh.m_edges.size(), false);
        m_visited.assign(mesh.m_faces.size(), false);
        m_used.assign(nv, false);
    }

    void Run(std::vector<std::vector<QvSectionPoint>>& sections)
    {
        // Boundary candidates first, highest index first, so that open sections are
        // traced from one of their ends; then the rest ascending.
        std::vector<int> candidates;
        const int edgeCount = static_cast<int>(m_mesh.m_edges.size());
        for (int e = edgeCount - 1; e >= 0; --e)
            if (IsCandidate(e) && m_mesh.m_edges[e].IsBoundary())
                candidates.push_back(e);
        for (int e = 0; e < edgeCount; ++e)
            if (IsCandidate(e) && !m_mesh.m_edges[e].IsBoundary())
                candidates.push_back(e);
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
    int Product(int e) const
    {
        const QvEdge& edge = m_mesh.m_edges[e];
        return m_side[edge.m_vertices[0]] * m_side[edge.m_vertices[1]];
    }
    bool IsCandidate(int e) const { return Product(e) != 1; }

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
            return {m_side[edge.m_vertices[0]] == 0 ? edge.m_vertices[0] : edge.m_vertices[1], true};
        return {t, false};
    }

    QvPoint Crossing(int e) const
    {
        // Interpolated by the signed distances, which differ in sign on a crossing edge:
        // defined however long and flat the edge is.
        const QvEdge& edge = m_mesh.m_edges[e];
        const QvPoint& p0 = m_mesh.m_vertices[edge.m_vertices[0]].m_point;
        const QvPoint& p1 = m_mesh.m_vertices[edge.m_vertices[1]].m_point;
        const double d0 = m_plane.Distance(p0, true);
        const double d1 = m_plane.Distance(p1, true);
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
                    if (m_side[a] * m_side[b] == -1)
                        current = {ab, false};
                    else if (m_side[a] == 0 && !m_used[a])
                        current = {a, true};
                    else if (m_side[a] != 0 && m_side[b] == 0 && !m_used[b])
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
    // -1, 0 or +1: below, on or above the plane.
    std::vector<signed char> m_side;
    // Bits rather than bytes: the marks of a large mesh stay small enough that a cut
    // does not fault fresh pages in on every call.
    std::vector<bool> m_open;
    std::vector<bool> m_visited;
    std::vector<bool> m_used;
};

} // namespace

void QvMesh::IntersectPlane(const QvPlane& plane, std::vector<std::vector<QvSectionPoint>>& sections) const
{
    SectionTracer(*this, plane).Run(sections);
}

// ---- Extraction and appending ---------------------------------------------------------

std::unique_ptr<QvMesh> QvMesh::ExtractFaces(const std::vector<int>& faces, std::map<int, int>& newToOld) const
{
    // New indices in order of first appearance: faces in list order, corners in slot order.
    std::map<int, int> oldToNew;
    std::vector<int> order;
    for (const int f : faces)
        for (const int v : m_faces[f].m_vertices)
            if (oldToNew.emplace(v, static_cast<int>(order.size())).second)
                order.push_back(v);

    auto mesh = std::make_unique<QvMesh>();
    mesh->Reserve(static_cast<int>(order.size()), static_cast<int>(faces.size()), 0);
    for (std::size_t i = 0; i < order.size(); ++i)
    {
        mesh->AddVertex(m_vertices[order[i]].m_point);
        newToOld.emplace(static_cast<int>(i), order[i]);
    }
    for (const int f : faces)
    {
        const QvFace& face = m_faces[f];
        (void)mesh->AddFace(oldToNew[face.m_vertices[0]], oldToNew[face.m_vertices[1]],
                            oldToNew[face.m_vertices[2]], kQvFaceTagPlain);
    }
    mesh->UpdateFaceNormals();
    return mesh;
}

bool QvMesh::AppendMesh(const QvMesh& other, std::map<int, int>& oldToNew)
{
    for (const QvFace& face : other.m_faces)
    {
        int corners[3];
        for (int k = 0; k < 3; ++k)
        {
            const int v = face.m_vertices[k];
            const auto found = oldToNew.find(v);
            if (found != oldToNew.end())
                corners[k] = found->second;
            else
            {
                corners[k] = AddVertex(other.m_vertices[v].m_point);
                oldToNew.emplace(v, corners[k]);
            }
        }
        (void)AddFace(corners, kQvFaceTagPlain);
    }
    UpdateFaceNormals();
    return true;
}

// ---- Placement ------------------------------------------------------------------------

void QvMesh::Transform(const QvMatrix& matrix)
{
    TransformVertices(matrix, -1);
    TransformNormals(matrix, -1);
    UpdateBBox();
}

void QvMesh::TransformVertices(const QvMatrix& matrix, int vertex)
{
    if (vertex == -1)
    {
        for (QvVertex& v : m_vertices)
            v.m_point = matrix * v.m_point;
    }
    else if (vertex >= 0 && vertex < static_cast<int>(m_vertices.size()))
        m_vertices[vertex].m_point = matrix * m_vertices[vertex].m_point;
}

void QvMesh::TransformNormals(const QvMatrix& matrix, int face)
{
    if (face == -1)
    {
        for (QvFace& f : m_faces)
            f.SetNormal(matrix * f.m_normal, true);
    }
    else if (face >= 0 && face < static_cast<int>(m_faces.size()))
        m_faces[face].SetNormal(matrix * m_faces[face].m_normal, true);
}
