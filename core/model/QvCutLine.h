// SPDX-License-Identifier: GPL-3.0-or-later
// The closed line along which a tooth was cut out of the jaw scan: vertices of the jaw
// mesh in order, each with its position and a mark (0 unmarked; 2 a contact with the
// neighbouring tooth). Only teeth of the oldest file family carry one.
//
// The three lists (vertices, marks, points) always have the same length. Operations
// that take an entry position or a mesh vertex check it and change nothing when it is
// out of range.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/geometry/QvPoint.h"

class QvMatrix;
class QvMesh;
class QvModel;
class QvVertex;

class QvCutLine
{
public:
    QvCutLine() = default;
    QvCutLine(QvMesh* mesh, int anchor) : m_pMesh(mesh), m_nAnchorVertex(anchor) {}
    // Mesh pointer, the three lists, anchor and extra value.
    QvCutLine(const QvCutLine& other);
    QvCutLine& operator=(const QvCutLine& other) = default;
    virtual ~QvCutLine() = default;

    // ---- Files (version words with bit 0x100 only) -----------------------------------

    // Up to 257: a vector, count, the lists, stored anchor, extra (an empty line fails).
    // 258..263: a point and a vector, count, the lists, extra. 264 on: anchor, count,
    // the lists, extra, mesh id (bound through the model; unknown ids leave no mesh).
    // A count of 0 or less brings no entries and keeps the lists. False for other
    // versions and on a short stream; the line is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);
    // Up to 263 the form the 258..263 reader takes; from 264 the newer form with the
    // mesh id (-1 without mesh). Nothing for versions without bit 0x100.
    void Write(std::ostream& os, int version) const;
    void RestoreAnchor() { m_nAnchorVertex = m_nStoredAnchor; }
    void Transform(const QvMatrix& matrix);
    void SetMesh(QvMesh* mesh) { m_pMesh = mesh; }
    QvMesh* GetMesh() const { return m_pMesh; }

    // ---- Editing (no caller in the running system) --------------------------------

    // Replaces the entries by these vertices with marks 0 and the vertices' positions.
    // False, nothing changed, when a vertex is not in the mesh (or there is no mesh).
    [[nodiscard]] bool SetIndices(const std::vector<int>& vertices);
    // Inserts vertices at position (0 .. entry count) with marks 0.
    [[nodiscard]] bool InsertAt(int position, const std::vector<int>& vertices);
    // Inserts the three lists (of one length) at position.
    [[nodiscard]] bool InsertEntries(int position, const std::vector<int>& vertices, const std::vector<QvPoint>& points,
                                     const std::vector<int>& marks);
    [[nodiscard]] bool Append(int vertex, int mark);
    [[nodiscard]] bool SetVertex(int i, int vertex);
    [[nodiscard]] bool SetMark(int i, int mark);
    // Lists of the present length only.
    [[nodiscard]] bool SetMarks(const std::vector<int>& marks);
    [[nodiscard]] bool SetPoints(const std::vector<QvPoint>& points);
    [[nodiscard]] bool RemoveAt(int i);
    // Entries a, a + 1, ... up to but not including b, counted round the loop.
    [[nodiscard]] bool RemoveRange(int a, int b);
    void Clear();

    int GetCount() const { return static_cast<int>(m_vertices.size()); }
    // -1 out of range.
    int GetVertex(int i) const;
    // Null when the entry or its vertex is not there.
    const QvVertex* GetMeshVertex(int i) const;
    const QvVertex* GetAnchorVertex() const;
    // False, out unchanged, without an anchor vertex.
    [[nodiscard]] bool GetAnchorPoint(QvPoint& out) const;

    int FindVertex(int vertex) const;
    int FindVertexWithMark(int vertex, int mark) const;
    int FindVertexByMark(int vertex, bool unmarked) const;
    int GetLastMarkedVertex() const;
    // The nearest marked entries before and after the first entry of vertex, walking
    // round the loop. False when the vertex is unmarked or no other marked entry exists.
    [[nodiscard]] bool FindMarkedNeighbours(int vertex, int& previous, int& next) const;
    void CollectMarkTwo(std::vector<int>& out) const;
    void CollectMarksOfVertex(int vertex, std::vector<int>& out) const;
    void Reverse();
    // The same loop of vertices and marks, possibly starting at another entry or walked
    // the other way round.
    bool IsSameLoop(const QvCutLine& other) const;

    QvMesh* m_pMesh = nullptr; // not owned
    std::vector<int> m_vertices;
    std::vector<int> m_marks;
    std::int32_t m_nAnchorVertex = -1;
    std::vector<QvPoint> m_points;
    std::int32_t m_nExtra = 0;
    std::int32_t m_nStoredAnchor = -1;

private:
    bool IsMeshVertex(int vertex) const;
};

// Sets every entry of the list to value.
void QvFillList(std::vector<int>& list, int value);
