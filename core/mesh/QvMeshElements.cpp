// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvMeshElements.h"

#include <algorithm>

#include "core/geometry/QvStreamIO.h"

// ---- QvVertex ---------------------------------------------------------------

QvTypeCode QvVertex::GetType() const { return kQvTypeVertex; }

bool QvVertex::IsKindOf(QvTypeCode code) const { return code == kQvTypeVertex || code == kQvTypeObject; }

std::ostream& QvVertex::Write(std::ostream& os, int) const
{
    qvio::WriteU32(os, m_state);
    qvio::WriteI32(os, m_index);
    qvio::WriteF64(os, m_point.m_coord[0]);
    qvio::WriteF64(os, m_point.m_coord[1]);
    qvio::WriteF64(os, m_point.m_coord[2]);
    return os;
}

bool QvVertex::Read(std::istream& is, int, QvModel*)
{
    std::uint32_t state = 0;
    std::int32_t index = 0;
    double x = 0.0, y = 0.0, z = 0.0;
    if (!qvio::ReadU32(is, state) || !qvio::ReadI32(is, index) || !qvio::ReadF64(is, x) ||
        !qvio::ReadF64(is, y) || !qvio::ReadF64(is, z))
        return false;
    m_state = state;
    m_index = index;
    m_point.Set(x, y, z);
    return true;
}

void QvVertex::RemoveEdge(int edge)
{
    const auto it = std::find(m_edges.begin(), m_edges.end(), edge);
    if (it != m_edges.end())
        m_edges.erase(it);
}

// ---- QvEdge -----------------------------------------------------------------

QvTypeCode QvEdge::GetType() const { return kQvTypeEdge; }

bool QvEdge::IsKindOf(QvTypeCode code) const { return code == kQvTypeEdge || code == kQvTypeObject; }

// ---- QvFace -----------------------------------------------------------------

QvTypeCode QvFace::GetType() const { return kQvTypeFace; }

bool QvFace::IsKindOf(QvTypeCode code) const { return code == kQvTypeFace || code == kQvTypeObject; }

std::ostream& QvFace::Write(std::ostream& os, int) const
{
    qvio::WriteU32(os, m_state);
    qvio::WriteI32(os, m_vertices[0]);
    qvio::WriteI32(os, m_vertices[1]);
    qvio::WriteI32(os, m_vertices[2]);
    qvio::WriteI32(os, m_index);
    qvio::WriteI32(os, m_tag);
    return os;
}

bool QvFace::Read(std::istream& is, int, QvModel*)
{
    std::uint32_t state = 0;
    std::int32_t v[3] = {0, 0, 0};
    std::int32_t index = 0, tag = 0;
    if (!qvio::ReadU32(is, state) || !qvio::ReadI32(is, v[0]) || !qvio::ReadI32(is, v[1]) ||
        !qvio::ReadI32(is, v[2]) || !qvio::ReadI32(is, index) || !qvio::ReadI32(is, tag))
        return false;
    m_state = state;
    SetVertices(v[0], v[1], v[2]);
    m_index = index;
    m_tag = tag;
    return true;
}

namespace {

// Slot of the first occurrence of value, or 2 when absent, so that the "next two"
// of an absent value are slots 0 and 1.
int SlotOf(const std::int32_t (&slots)[3], int value)
{
    if (slots[0] == value)
        return 0;
    if (slots[1] == value)
        return 1;
    return 2;
}

} // namespace

void QvFace::GetOtherVertices(int v, int& next, int& afterNext) const
{
    const int k = SlotOf(m_vertices, v);
    next = m_vertices[(k + 1) % 3];
    afterNext = m_vertices[(k + 2) % 3];
}

void QvFace::GetOtherEdges(int e, int& next, int& afterNext) const
{
    const int k = SlotOf(m_edges, e);
    next = m_edges[(k + 1) % 3];
    afterNext = m_edges[(k + 2) % 3];
}

int QvFace::GetThirdVertex(int a, int b) const
{
    for (const std::int32_t v : m_vertices)
        if (v != a && v != b)
            return v;
    return -1;
}

void QvFace::SetNormal(const QvVector& normal, bool normalize)
{
    m_normal = normal;
    if (normalize)
        m_normal.Normalize();
}

void QvFace::Flip()
{
    std::swap(m_vertices[0], m_vertices[2]);
    m_normal = -m_normal;
}
