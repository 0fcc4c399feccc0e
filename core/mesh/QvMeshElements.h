// SPDX-License-Identifier: GPL-3.0-or-later
// The three element kinds of the indexed triangle mesh. Elements are plain values
// kept by the mesh in vectors and linked by int32 index (-1 for none); each one
// also knows its own index, so moving an element means renumbering its references.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/base/QvObject.h"
#include "core/geometry/QvPoint.h"
#include "core/mesh/QvInlineIntList.h"

// Bit of QvVertex::m_state used by the mesh algorithms as a scratch mark.
inline constexpr std::uint32_t kQvVertexMarked = 0x1000000;

// Face kinds carried in QvFace::m_tag; they travel through every stream form.
inline constexpr std::int32_t kQvFaceTagPlain = 0;
inline constexpr std::int32_t kQvFaceTagAirwayCap = 1;
inline constexpr std::int32_t kQvFaceTagBridge = 2;
inline constexpr std::int32_t kQvFaceTagVirtualRoot = 4;
inline constexpr std::int32_t kQvFaceTagGumFill = 6;

class QvVertex : public QvObject
{
public:
    QvVertex() = default;
    explicit QvVertex(const QvPoint& point) : m_point(point) {}

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // 32 bytes: state word, own index, x, y, z.
    std::ostream& Write(std::ostream& os, int version) const override;
    // Reads the record in place; the edge list is not touched. False when the
    // stream runs short, and the vertex is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    // No duplicate check: the mesh only attaches an edge once.
    void AddEdge(int edge) { m_edges.push_back(edge); }
    // Removes the first occurrence only; keeps the incidence order of the rest.
    void RemoveEdge(int edge);

    void SetMarked(bool on) { SetStateBits(kQvVertexMarked, on); }
    bool IsMarked() const { return (m_state & kQvVertexMarked) != 0; }

    // The index first, where it fills the padding after the base's state word.
    std::int32_t m_index = -1;
    QvPoint m_point;
    // Incident edges in the order they were attached (the neighbourhood walks rely on it);
    // up to seven of them without a heap block.
    QvInlineIntList m_edges;
};

class QvEdge : public QvObject
{
public:
    QvEdge() = default;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;
    // An edge streams only its state word (QvObject::Write / QvObject::Read).

    void SetVertices(int first, int second)
    {
        m_vertices[0] = first;
        m_vertices[1] = second;
    }
    void SetFaces(int first, int second)
    {
        m_faces[0] = first;
        m_faces[1] = second;
    }
    // For anything but the first vertex (or face), the first one is answered.
    int GetOtherVertex(int vertex) const { return vertex == m_vertices[0] ? m_vertices[1] : m_vertices[0]; }
    int GetOtherFace(int face) const { return face == m_faces[0] ? m_faces[1] : m_faces[0]; }
    bool IsBoundary() const { return m_faces[1] == -1; }

    std::int32_t m_index = -1;
    std::int32_t m_vertices[2] = {-1, -1};
    // The first slot is filled first; the second is -1 on a boundary edge.
    std::int32_t m_faces[2] = {-1, -1};
};

class QvFace : public QvObject
{
public:
    QvFace() = default;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // 24 bytes: state word, corners 0..2, own index, tag. Edges and normal are not
    // stored: the mesh rebuilds them.
    std::ostream& Write(std::ostream& os, int version) const override;
    // Reads the record in place (edges and normal stay). False when the stream runs
    // short, and the face is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    void SetVertices(int a, int b, int c)
    {
        m_vertices[0] = a;
        m_vertices[1] = b;
        m_vertices[2] = c;
    }
    void SetEdges(int a, int b, int c)
    {
        m_edges[0] = a;
        m_edges[1] = b;
        m_edges[2] = c;
    }
    void GetVertices(int& a, int& b, int& c) const
    {
        a = m_vertices[0];
        b = m_vertices[1];
        c = m_vertices[2];
    }
    void GetEdges(int& a, int& b, int& c) const
    {
        a = m_edges[0];
        b = m_edges[1];
        c = m_edges[2];
    }
    // The two corners after v in face order; for a vertex that is not a corner,
    // corners 0 and 1 (slot 2 is taken as v's slot).
    void GetOtherVertices(int v, int& next, int& afterNext) const;
    // The same on the side slots.
    void GetOtherEdges(int e, int& next, int& afterNext) const;
    // First corner in slot order that is neither a nor b; -1 when there is none.
    int GetThirdVertex(int a, int b) const;
    void SetNormal(const QvVector& normal, bool normalize);
    // Exchanges corners 0 and 2 and negates the normal. The side slots stay, so on a
    // flipped face side 0 joins corners 1 and 2 and side 1 joins corners 0 and 1.
    void Flip();

    std::int32_t m_index = -1;
    std::int32_t m_vertices[3] = {-1, -1, -1};
    // Side k joins corner k and corner k+1 (mod 3) on a face as inserted.
    std::int32_t m_edges[3] = {-1, -1, -1};
    QvVector m_normal;
    std::int32_t m_tag = kQvFaceTagPlain;
};
