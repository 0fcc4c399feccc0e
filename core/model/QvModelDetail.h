// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the record readers of the case entities (not for other libraries).
#pragma once

#include <cstdint>
#include <istream>
#include <utility>
#include <vector>

#include "core/base/QvEntity.h"
#include "core/geometry/QvStreamIO.h"
#include "core/mesh/QvMesh.h"

class QvJaw;
class QvModel;

namespace qvmodel {

// An entity a reader fills before it knows the record is whole. It hands the id it
// drew back to the counter, so that a read consumes only the ids a file's own
// entities consume. Readers run on one thread at a time (the counter has no owner).
template <typename T>
class Scratch
{
public:
    Scratch() { QvEntity::SetNextId(m_value.GetID()); }
    T& operator*() { return m_value; }
    T* operator->() { return &m_value; }

private:
    T m_value;
};

// Moves the elements (and, with withEntity, the state word, box and id) of source
// into target, the way a successful mesh read replaces them; source gets target's.
inline void SwapMeshData(QvMesh& target, QvMesh& source, bool withEntity)
{
    target.m_vertices.swap(source.m_vertices);
    target.m_edges.swap(source.m_edges);
    target.m_faces.swap(source.m_faces);
    if (withEntity)
    {
        std::swap(target.m_state, source.m_state);
        std::swap(target.m_bbox, source.m_bbox);
        std::swap(target.m_id, source.m_id);
    }
}

// The jaw registered under id, or null when the id names nothing or no jaw.
QvJaw* FindJawById(const QvModel* model, std::int32_t id);

// One flag byte: any non-zero value is true.
[[nodiscard]] inline bool ReadFlagByte(std::istream& is, bool& flag)
{
    std::uint8_t b = 0;
    if (!qvio::ReadU8(is, b))
        return false;
    flag = b != 0;
    return true;
}

// int32 count, then that many int32 values; the count is checked against the bytes
// left before anything is allocated. A count of 0 or less reads nothing more and
// reports present = false.
[[nodiscard]] inline bool ReadIntList(std::istream& is, std::vector<int>& out, bool& present)
{
    std::int32_t n = 0;
    if (!qvio::ReadI32(is, n))
        return false;
    present = n > 0;
    if (!present)
        return true;
    if (!qvio::CountFits(is, n, 4))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    std::vector<int> values(static_cast<std::size_t>(n));
    for (int& v : values)
        if (!qvio::ReadI32(is, v))
            return false;
    out = std::move(values);
    return true;
}

inline void WriteIntList(std::ostream& os, const std::vector<int>& values)
{
    qvio::WriteI32(os, static_cast<std::int32_t>(values.size()));
    for (const int v : values)
        qvio::WriteI32(os, v);
}

// Whether every index lies in 0 .. count - 1.
inline bool IndicesInRange(const std::vector<int>& indices, std::size_t count)
{
    for (const int i : indices)
        if (i < 0 || static_cast<std::size_t>(i) >= count)
            return false;
    return true;
}

} // namespace qvmodel
