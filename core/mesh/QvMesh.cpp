// SPDX-License-Identifier: GPL-3.0-or-later
// Construction, face insertion, normals, orientation and removal with index compaction.
#include "core/mesh/QvMesh.h"

#include "core/mesh/QvMeshEditSteps.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace {

void AppendUnique(std::vector<int>& list, int value)
{
    if (value != -1 && std::find(list.begin(), list.end(), value) == list.end())
        list.push_back(value);
}

} // namespace

// ---- Construction -----------------------------------------------------------------

QvMesh::QvMesh() = default;

QvMesh::QvMesh(const QvMesh& other)
    : QvEntity(other),
      m_vertices(other.m_vertices),
      m_edges(other.m_edges),
      m_faces(other.m_faces),
      m_colors(other.m_colors),
      m_bFirstFlag(other.m_bFirstFlag),
      m_bModified(true)
{
}

QvMesh& QvMesh::operator=(const QvMesh& other)
{
    if (this == &other)
        return *this;
    QvEntity::operator=(other);
    m_vertices = other.m_vertices;
    m_edges = other.m_edges;
    m_faces = other.m_faces;
    m_colors = other.m_colors;
    m_bFirstFlag = other.m_bFirstFlag;
    m_bModified = other.m_bModified;
    return *this;
}

QvMesh::~QvMesh() = default;

QvTypeCode QvMesh::GetType() const { return kQvTypeMesh; }

bool QvMesh::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeObject || code == kQvTypeEntity || code == kQvTypeMesh;
}

void QvMesh::Reserve(int vertexCount, int faceCount, int edgeCount)
{
    if (vertexCount > 0)
        m_vertices.reserve(static_cast<std::size_t>(vertexCount));
    if (faceCount > 0)
        m_faces.reserve(static_cast<std::size_t>(faceCount));
    if (edgeCount > 0)
        m_edges.reserve(static_cast<std::size_t>(edgeCount));
}

void QvMesh::ReleaseSpareStorage()
{
    m_vertices.shrink_to_fit();
    m_faces.shrink_to_fit();
    m_edges.shrink_to_fit();
    m_colors.shrink_to_fit();
}

int QvMesh::AddVertex(const QvPoint& point)
{
    const int index = static_cast<int>(m_vertices.size());
    m_vertices.emplace_back(point);
    m_vertices.back().m_index = index;
    return index;
}

bool QvMesh::AddFace(const int corners[3], int tag) { return AddFace(corners[0], corners[1], corners[2], tag); }

bool QvMesh::AddFace(int a, int b, int c, int tag)
{
    if (!qvmeshedit::AddFace(*this, a, b, c))
        return false;
    m_faces.back().m_tag = tag;
    return true;
}

void QvMesh::Clear()
{
    m_vertices.clear();
    m_edges.clear();
    m_faces.clear();
    m_bModified = true;
}

bool QvMesh::SetVertexPosition(int vertex, const QvPoint& point)
{
    if (vertex < 0 || vertex >= static_cast<int>(m_vertices.size()))
        return false;
    m_vertices[vertex].m_point = point;
    return true;
}

// ---- Normals and orientation ------------------------------------------------------

namespace {

QvVector FaceNormal(const QvMesh& mesh, const QvFace& face)
{
    const QvPoint& p0 = mesh.m_vertices[face.m_vertices[0]].m_point;
    const QvPoint& p1 = mesh.m_vertices[face.m_vertices[1]].m_point;
    const QvPoint& p2 = mesh.m_vertices[face.m_vertices[2]].m_point;
    return (p1 - p0).Cross(p2 - p1);
}

// The corner before v in the face's cyclic order; -1 when v is no corner.
int CornerBefore(const QvFace& face, int v)
{
    for (int k = 0; k < 3; ++k)
        if (face.m_vertices[k] == v)
            return face.m_vertices[(k + 2) % 3];
    return -1;
}

} // namespace

void QvMesh::UpdateFaceNormals()
{
    for (QvFace& face : m_faces)
        face.SetNormal(FaceNormal(*this, face), true);
}

void QvMesh::UpdateFaceNormals(const std::vector<int>& faces)
{
    const int nf = static_cast<int>(m_faces.size());
    for (const int f : faces)
        if (f >= 0 && f < nf)
            m_faces[f].SetNormal(FaceNormal(*this, m_faces[f]), true);
}

void QvMesh::OrientFaces(const std::vector<int>& faces)
{
    const std::size_t nf = m_faces.size();
    // Listed and not yet reached; a listed face is judged only by its first neighbour.
    std::vector<char> flippable(nf, 0);
    for (const int f : faces)
        if (f >= 0 && static_cast<std::size_t>(f) < nf)
            flippable[f] = 1;

    std::vector<char> visited(nf, 0);
    std::vector<int> queue;
    queue.reserve(nf);
    for (std::size_t seed = 0; seed < nf; ++seed)
    {
        if (flippable[seed] || visited[seed])
            continue;
        queue.clear();
        queue.push_back(static_cast<int>(seed));
        visited[seed] = 1;
        for (std::size_t head = 0; head < queue.size(); ++head)
        {
            const int d = queue[head];
            for (int k = 0; k < 3; ++k)
            {
                const QvEdge& side = m_edges[m_faces[d].m_edges[k]];
                const int g = side.GetOtherFace(d);
                if (g == -1 || visited[g])
                    continue;
                if (flippable[g])
                {
                    const int p = side.m_vertices[0];
                    const int q = side.m_vertices[1];
                    const bool dRunsQtoP = CornerBefore(m_faces[d], p) == q;
                    const int tail = dRunsQtoP ? q : p;
                    const int head = dRunsQtoP ? p : q;
                    if (CornerBefore(m_faces[g], head) == tail)
                        m_faces[g].Flip();
                    flippable[g] = 0;
                }
                queue.push_back(g);
                visited[g] = 1;
            }
        }
    }
}

// ---- Exchanges ----------------------------------------------------------------------

bool QvMesh::SwapFaces(int a, int b)
{
    qvmeshedit::SwapFaces(*this, a, b);
    return true;
}

bool QvMesh::SwapEdges(int a, int b)
{
    qvmeshedit::SwapEdges(*this, a, b);
    return true;
}

bool QvMesh::SwapVertices(int a, int b)
{
    if (a == b)
        return true;
    std::swap(m_vertices[a], m_vertices[b]);
    m_vertices[a].m_index = a;
    m_vertices[b].m_index = b;
    std::vector<int> edges;
    std::vector<int> faces;
    std::vector<int> around;
    for (const int v : {a, b})
    {
        for (const int e : m_vertices[v].m_edges)
            AppendUnique(edges, e);
        GetVertexFaces(v, around, false);
        for (const int f : around)
            AppendUnique(faces, f);
    }
    for (const int e : edges)
        for (std::int32_t& end : m_edges[e].m_vertices)
            qvmeshedit::SwapValue<std::int32_t>(end, a, b);
    for (const int f : faces)
        for (std::int32_t& corner : m_faces[f].m_vertices)
            qvmeshedit::SwapValue<std::int32_t>(corner, a, b);
    // Colours follow the vertices they belong to; a shorter colour list has no entry to move.
    const int nc = static_cast<int>(m_colors.size());
    if (a < nc && b < nc)
        std::swap(m_colors[a], m_colors[b]);
    return true;
}

// ---- Removal ------------------------------------------------------------------------

namespace {

// The removal steps shared by both forms; keep(v) tells whether an emptied corner stays.
bool RemoveFaceImpl(QvMesh& mesh, int face, const std::function<bool(int)>& keep)
{
    const int deadEdges = qvmeshedit::DetachFace(mesh, face);
    const int last = static_cast<int>(mesh.m_faces.size()) - 1;

    std::vector<int> deadVertices;
    for (const int v : mesh.m_faces[last].m_vertices)
        if (mesh.m_vertices[v].m_edges.empty() && !keep(v))
            deadVertices.push_back(v);
    std::sort(deadVertices.begin(), deadVertices.end(), std::greater<int>());
    const int vertexCount = static_cast<int>(mesh.m_vertices.size());
    for (std::size_t i = 0; i < deadVertices.size(); ++i)
        mesh.SwapVertices(deadVertices[i], vertexCount - 1 - static_cast<int>(i));

    mesh.m_faces.pop_back();
    mesh.m_edges.resize(mesh.m_edges.size() - static_cast<std::size_t>(deadEdges));
    for (std::size_t i = 0; i < deadVertices.size(); ++i)
    {
        mesh.m_vertices.pop_back();
        if (!mesh.m_colors.empty())
            mesh.m_colors.pop_back();
    }
    return true;
}

} // namespace

bool QvMesh::RemoveFace(int face, bool removeVertices)
{
    return RemoveFaceImpl(*this, face, [removeVertices](int) { return !removeVertices; });
}

bool QvMesh::RemoveFace(int face, const std::set<int>& keptVertices)
{
    return RemoveFaceImpl(*this, face, [&keptVertices](int v) { return keptVertices.count(v) != 0; });
}

bool QvMesh::RemoveIsolatedVertex(int vertex)
{
    const int count = static_cast<int>(m_vertices.size());
    if (vertex < 0 || vertex >= count || !m_vertices[vertex].m_edges.empty())
        return false;
    SwapVertices(vertex, count - 1);
    m_vertices.pop_back();
    if (!m_colors.empty())
        m_colors.pop_back();
    return true;
}

void QvMesh::RemoveIsolatedVertices()
{
    // From the end down, so the vertex swapped into a freed slot has been tested already.
    for (int v = static_cast<int>(m_vertices.size()) - 1; v >= 0; --v)
        RemoveIsolatedVertex(v);
}

// ---- Edge lookup and fan walk -------------------------------------------------------

int QvMesh::FindEdge(int a, int b) const
{
    return qvmeshedit::FindEdge(*this, a, b);
}

int QvMesh::FindFanBoundaryEdge(int vertex, int edge) const
{
    const QvEdge& start = m_edges[edge];
    int w = start.GetOtherVertex(vertex);
    int face = start.m_faces[0] != -1 ? start.m_faces[0] : start.m_faces[1];
    if (face == -1)
        return -1;
    // Each step crosses one edge at the vertex; more steps than edges there means the
    // records disagree, and the walk gives up rather than circle for ever.
    const std::size_t limit = m_vertices[vertex].m_edges.size() + 1;
    for (std::size_t step = 0; step < limit; ++step)
    {
        w = m_faces[face].GetThirdVertex(vertex, w);
        if (w == -1)
            return -1;
        const int current = FindEdge(vertex, w);
        if (current == -1)
            return -1;
        if (current == edge)
            return edge;
        face = m_edges[current].GetOtherFace(face);
        if (face == -1)
            return current;
    }
    return -1;
}
