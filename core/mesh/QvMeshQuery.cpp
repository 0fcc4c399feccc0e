// SPDX-License-Identifier: GPL-3.0-or-later
// Geometric queries (box, centres, normals, line hits), face extraction and
// appending, and rigid placement. Plane sections are in QvMeshSlicer.cpp.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
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
