// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvCutLine.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvStreamIO.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvModel.h"

namespace {

// Vertex, mark and point of one entry.
inline constexpr std::uint64_t kEntryBytes = 4 + 4 + 24;

struct Entries
{
    std::vector<int> vertices;
    std::vector<int> marks;
    std::vector<QvPoint> points;
};

bool ReadEntries(std::istream& is, std::int32_t n, Entries& out)
{
    if (!qvio::CountFits(is, n, kEntryBytes))
        return false;
    const auto count = static_cast<std::size_t>(n);
    out.vertices.resize(count);
    out.marks.resize(count);
    out.points.resize(count);
    for (int& v : out.vertices)
    {
        std::int32_t value = 0;
        if (!qvio::ReadI32(is, value))
            return false;
        v = value;
    }
    for (int& m : out.marks)
    {
        std::int32_t value = 0;
        if (!qvio::ReadI32(is, value))
            return false;
        m = value;
    }
    for (QvPoint& p : out.points)
    {
        if (!p.Read(is, true))
            return false;
    }
    return true;
}

} // namespace

QvCutLine::QvCutLine(const QvCutLine& other)
    : m_pMesh(other.m_pMesh),
      m_vertices(other.m_vertices),
      m_marks(other.m_marks),
      m_nAnchorVertex(other.m_nAnchorVertex),
      m_points(other.m_points),
      m_nExtra(other.m_nExtra)
{
}

bool QvCutLine::IsMeshVertex(int vertex) const
{
    return m_pMesh && vertex >= 0 && vertex < static_cast<int>(m_pMesh->m_vertices.size());
}

// ---------------------------------------------------------------- files

bool QvCutLine::Read(std::istream& is, int version, QvModel* model)
{
    if (!(version & kQvVersionTSD))
        return false;

    std::int32_t anchor = m_nAnchorVertex;
    std::int32_t storedAnchor = m_nStoredAnchor;
    std::int32_t extra = 0;
    std::int32_t n = 0;
    Entries entries;
    QvMesh* mesh = m_pMesh;

    if (version <= 257)
    {
        QvVector ignored;
        if (!ignored.Read(is, true) || !qvio::ReadI32(is, n) || n <= 0)
            return false;
        if (!ReadEntries(is, n, entries) || !qvio::ReadI32(is, storedAnchor) || !qvio::ReadI32(is, extra))
            return false;
    }
    else if (version <= 263)
    {
        QvPoint ignoredPoint;
        QvVector ignoredVector;
        if (!ignoredPoint.Read(is, true) || !ignoredVector.Read(is, true) || !qvio::ReadI32(is, n))
            return false;
        if ((n > 0 && !ReadEntries(is, n, entries)) || !qvio::ReadI32(is, extra))
            return false;
    }
    else
    {
        std::int32_t meshId = -1;
        if (!qvio::ReadI32(is, anchor) || !qvio::ReadI32(is, n))
            return false;
        if ((n > 0 && !ReadEntries(is, n, entries)) || !qvio::ReadI32(is, extra) || !qvio::ReadI32(is, meshId))
            return false;
        QvEntity* entity = model ? model->FindEntity(meshId) : nullptr;
        mesh = entity && entity->IsKindOf(kQvTypeMesh) ? dynamic_cast<QvMesh*>(entity) : nullptr;
    }

    if (n > 0)
    {
        m_vertices.swap(entries.vertices);
        m_marks.swap(entries.marks);
        m_points.swap(entries.points);
    }
    m_nAnchorVertex = anchor;
    m_nStoredAnchor = storedAnchor;
    m_nExtra = extra;
    m_pMesh = mesh;
    return true;
}

void QvCutLine::Write(std::ostream& os, int version) const
{
    if (!(version & kQvVersionTSD))
        return;
    if (version <= 263)
    {
        QvPoint().Write(os, true);
        QvVector().Write(os, true);
    }
    else
        qvio::WriteI32(os, m_nAnchorVertex);
    qvio::WriteI32(os, static_cast<std::int32_t>(m_vertices.size()));
    for (const int v : m_vertices)
        qvio::WriteI32(os, v);
    for (const int m : m_marks)
        qvio::WriteI32(os, m);
    for (const QvPoint& p : m_points)
        p.Write(os, true);
    qvio::WriteI32(os, m_nExtra);
    if (version > 263)
        qvio::WriteI32(os, m_pMesh ? m_pMesh->GetID() : -1);
}

void QvCutLine::Transform(const QvMatrix& matrix)
{
    for (QvPoint& p : m_points)
        p = matrix * p;
}

// ---------------------------------------------------------------- editing

bool QvCutLine::SetIndices(const std::vector<int>& vertices)
{
    if (!std::all_of(vertices.begin(), vertices.end(), [this](int v) { return IsMeshVertex(v); }))
        return false;
    m_vertices = vertices;
    m_marks.assign(vertices.size(), 0);
    m_points.clear();
    for (const int v : vertices)
        m_points.push_back(m_pMesh->m_vertices[static_cast<std::size_t>(v)].m_point);
    return true;
}

bool QvCutLine::InsertAt(int position, const std::vector<int>& vertices)
{
    if (!std::all_of(vertices.begin(), vertices.end(), [this](int v) { return IsMeshVertex(v); }))
        return false;
    std::vector<QvPoint> points;
    for (const int v : vertices)
        points.push_back(m_pMesh->m_vertices[static_cast<std::size_t>(v)].m_point);
    return InsertEntries(position, vertices, points, std::vector<int>(vertices.size(), 0));
}

bool QvCutLine::InsertEntries(int position, const std::vector<int>& vertices, const std::vector<QvPoint>& points,
                              const std::vector<int>& marks)
{
    if (position < 0 || position > GetCount() || points.size() != vertices.size() || marks.size() != vertices.size())
        return false;
    m_vertices.insert(m_vertices.begin() + position, vertices.begin(), vertices.end());
    m_marks.insert(m_marks.begin() + position, marks.begin(), marks.end());
    m_points.insert(m_points.begin() + position, points.begin(), points.end());
    return true;
}

bool QvCutLine::Append(int vertex, int mark)
{
    if (!IsMeshVertex(vertex))
        return false;
    m_vertices.push_back(vertex);
    m_marks.push_back(mark);
    m_points.push_back(m_pMesh->m_vertices[static_cast<std::size_t>(vertex)].m_point);
    return true;
}

bool QvCutLine::SetVertex(int i, int vertex)
{
    if (i < 0 || i >= GetCount() || !IsMeshVertex(vertex))
        return false;
    m_vertices[static_cast<std::size_t>(i)] = vertex;
    m_points[static_cast<std::size_t>(i)] = m_pMesh->m_vertices[static_cast<std::size_t>(vertex)].m_point;
    return true;
}

bool QvCutLine::SetMark(int i, int mark)
{
    if (i < 0 || i >= GetCount())
        return false;
    m_marks[static_cast<std::size_t>(i)] = mark;
    return true;
}

bool QvCutLine::SetMarks(const std::vector<int>& marks)
{
    if (marks.size() != m_vertices.size())
        return false;
    m_marks = marks;
    return true;
}

bool QvCutLine::SetPoints(const std::vector<QvPoint>& points)
{
    if (points.size() != m_vertices.size())
        return false;
    m_points = points;
    return true;
}

bool QvCutLine::RemoveAt(int i)
{
    if (i < 0 || i >= GetCount())
        return false;
    m_vertices.erase(m_vertices.begin() + i);
    m_marks.erase(m_marks.begin() + i);
    m_points.erase(m_points.begin() + i);
    return true;
}

bool QvCutLine::RemoveRange(int a, int b)
{
    const int n = GetCount();
    if (a < 0 || a >= n || b < 0 || b >= n)
        return false;
    std::vector<int> positions;
    for (int k = a; k != b; k = (k + 1) % n)
        positions.push_back(k);
    // From the highest down, so that every named entry goes.
    std::sort(positions.rbegin(), positions.rend());
    for (const int k : positions)
        (void)RemoveAt(k);
    return true;
}

void QvCutLine::Clear()
{
    m_vertices.clear();
    m_marks.clear();
    m_points.clear();
}

int QvCutLine::GetVertex(int i) const
{
    return i >= 0 && i < GetCount() ? m_vertices[static_cast<std::size_t>(i)] : -1;
}

const QvVertex* QvCutLine::GetMeshVertex(int i) const
{
    const int v = GetVertex(i);
    return IsMeshVertex(v) ? &m_pMesh->m_vertices[static_cast<std::size_t>(v)] : nullptr;
}

const QvVertex* QvCutLine::GetAnchorVertex() const
{
    return IsMeshVertex(m_nAnchorVertex) ? &m_pMesh->m_vertices[static_cast<std::size_t>(m_nAnchorVertex)] : nullptr;
}

bool QvCutLine::GetAnchorPoint(QvPoint& out) const
{
    const QvVertex* anchor = GetAnchorVertex();
    if (!anchor)
        return false;
    out = anchor->m_point;
    return true;
}

int QvCutLine::FindVertex(int vertex) const
{
    const auto it = std::find(m_vertices.begin(), m_vertices.end(), vertex);
    return it == m_vertices.end() ? -1 : static_cast<int>(it - m_vertices.begin());
}

int QvCutLine::FindVertexWithMark(int vertex, int mark) const
{
    const int i = FindVertex(vertex);
    return i >= 0 && m_marks[static_cast<std::size_t>(i)] == mark ? i : -1;
}

int QvCutLine::FindVertexByMark(int vertex, bool unmarked) const
{
    for (int i = 0; i < GetCount(); ++i)
    {
        if (m_vertices[static_cast<std::size_t>(i)] == vertex &&
            (m_marks[static_cast<std::size_t>(i)] == 0) == unmarked)
            return i;
    }
    return -1;
}

int QvCutLine::GetLastMarkedVertex() const
{
    for (int i = GetCount() - 1; i >= 0; --i)
    {
        if (m_marks[static_cast<std::size_t>(i)] != 0)
            return m_vertices[static_cast<std::size_t>(i)];
    }
    return -1;
}

bool QvCutLine::FindMarkedNeighbours(int vertex, int& previous, int& next) const
{
    const int i = FindVertex(vertex);
    if (i < 0 || m_marks[static_cast<std::size_t>(i)] == 0)
        return false;
    const int n = GetCount();
    int k = (i - 1 + n) % n;
    while (k != i && m_marks[static_cast<std::size_t>(k)] == 0)
        k = (k - 1 + n) % n;
    if (k == i)
    {
        previous = -1;
        return false;
    }
    previous = k;
    k = (i + 1) % n;
    while (k != i && m_marks[static_cast<std::size_t>(k)] == 0)
        k = (k + 1) % n;
    if (k == i)
    {
        next = -1;
        return false;
    }
    next = k;
    return true;
}

void QvCutLine::CollectMarkTwo(std::vector<int>& out) const
{
    for (int i = 0; i < GetCount(); ++i)
    {
        if (m_marks[static_cast<std::size_t>(i)] == 2)
            out.push_back(i);
    }
}

void QvCutLine::CollectMarksOfVertex(int vertex, std::vector<int>& out) const
{
    for (int i = 0; i < GetCount(); ++i)
    {
        if (m_vertices[static_cast<std::size_t>(i)] == vertex)
            out.push_back(m_marks[static_cast<std::size_t>(i)]);
    }
}

void QvCutLine::Reverse()
{
    std::reverse(m_vertices.begin(), m_vertices.end());
    std::reverse(m_marks.begin(), m_marks.end());
    std::reverse(m_points.begin(), m_points.end());
}

bool QvCutLine::IsSameLoop(const QvCutLine& other) const
{
    const int n = GetCount();
    if (n != other.GetCount())
        return false;
    if (n == 0)
        return true;
    const int j = other.FindVertex(m_vertices[0]);
    if (j < 0)
        return false;
    if (n == 1)
        return m_marks[0] == other.m_marks[0];

    const int second = m_vertices[1];
    if (other.m_vertices[static_cast<std::size_t>((j + 1) % n)] != second &&
        other.m_vertices[static_cast<std::size_t>((j - 1 + n) % n)] != second)
        return false;

    std::vector<int> vertices(other.m_vertices);
    std::vector<int> marks(other.m_marks);
    std::rotate(vertices.begin(), vertices.begin() + j, vertices.end());
    std::rotate(marks.begin(), marks.begin() + j, marks.end());
    // A loop walked the other way round is the same loop: turn it about its first entry.
    if (vertices[1] != second)
    {
        std::reverse(vertices.begin() + 1, vertices.end());
        std::reverse(marks.begin() + 1, marks.end());
    }
    return vertices == m_vertices && marks == m_marks;
}

void QvFillList(std::vector<int>& list, int value)
{
    std::fill(list.begin(), list.end(), value);
}
