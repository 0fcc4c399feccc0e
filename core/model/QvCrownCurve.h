// SPDX-License-Identifier: GPL-3.0-or-later
// The two curves marked on a tooth crown: the facial-axis curve (two crown vertices
// and a B-spline over the surface between them) and the mid curve (an ordered list of
// crown vertices). Both name vertices of the tooth mesh, so they follow the tooth.
//
// Readers answer false in two ways. An empty index list in the stream (count 0 or
// less) is a record the writer can produce: the reader consumes the count, keeps
// what it had and the stream stays usable. Damage (a short stream, a curve that is
// no curve, an index outside the mesh) sets the stream's failbit, so that the
// enclosing record fails too; the object is then unchanged.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <vector>

#include "core/geometry/QvPlane.h"
#include "core/geometry/QvPoint.h"

class QvBSplineCurve;
class QvMatrix;
class QvMesh;
class QvVertex;

// The form of the reference-data records a version selects: old in case documents up
// to 1040 and dental models up to 2053, new in case documents 1041..1043 and dental
// models 2054; none (nothing written, reading fails) for every other version.
enum class QvRefForm
{
    None,
    Old,
    New
};
QvRefForm ToothRefForm(int version);

class QvFacc
{
public:
    QvFacc() = default;
    QvFacc(const QvFacc& other);
    QvFacc& operator=(const QvFacc& other);
    virtual ~QvFacc();

    // Old form: int32 has-curve, curve. New form: the same, int32 count, the indices.
    void Write(std::ostream& os, int version) const;
    // Old form: the curve that follows a set flag replaces the present one. New form:
    // also the indices; count 0 or less keeps the list (the curve is still taken) and
    // answers false. With a mesh, an index outside its vertices is damage.
    [[nodiscard]] bool Read(std::istream& is, int version, const QvMesh* mesh = nullptr);

    // The new form without a version test.
    void WriteNewForm(std::ostream& os) const;
    [[nodiscard]] bool ReadNewForm(std::istream& is, const QvMesh* mesh = nullptr);
    // An empty curve, has-curve, curve, a zero vector, count, indices. The reader keeps
    // the flagged curve, else the leading one (none when that one is empty).
    void WriteVectorForm(std::ostream& os) const;
    [[nodiscard]] bool ReadVectorForm(std::istream& is, const QvMesh* mesh = nullptr);

    // Appends the vertex and refits; the vertex is taken out again when the fit fails.
    [[nodiscard]] bool AddVertex(const QvMesh& mesh, const QvVertex& vertex, const QvVector& direction);
    // First occurrence removed (none: list unchanged), then refit.
    [[nodiscard]] bool RemoveVertex(const QvMesh& mesh, const QvVertex& vertex, const QvVector& direction);
    // First occurrence of old becomes newVertex (none: list unchanged), then refit.
    [[nodiscard]] bool ReplaceVertex(const QvMesh& mesh, const QvVertex& oldVertex, const QvVertex& newVertex,
                                     const QvVector& direction);
    // Rebuilds the curve over the mesh's section between the first two vertices. Fewer
    // than two vertices: no curve, true. False, curve unchanged, when a vertex is not in
    // the mesh or no section joins the two.
    [[nodiscard]] bool Fit(const QvMesh& mesh, const QvVector& direction);
    // Curve and index list reversed; nothing without a curve.
    void Reverse();

    // The plane through p1 containing p0 and the direction.
    static QvPlane GetCutPlane(const QvPoint& p0, const QvPoint& p1, const QvVector& direction);
    // The cut plane of the two vertices; false, out unchanged, unless the list holds
    // exactly two vertices of the mesh.
    [[nodiscard]] bool GetPlane(const QvMesh& mesh, const QvVector& direction, QvPlane& out) const;
    // When both of the first two indices are keys, the list becomes their two values.
    void Remap(const std::map<int, int>& renumbering);
    void Transform(const QvMatrix& matrix);

    std::vector<int> m_vertices;
    QvBSplineCurve* m_pCurve = nullptr; // owned
};

class QvMidCurve
{
public:
    QvMidCurve() = default;
    QvMidCurve(const QvMidCurve&) = default;
    QvMidCurve& operator=(const QvMidCurve&) = default;
    virtual ~QvMidCurve() = default;

    // 0 when the list is empty (0 is also a vertex: ask HasMidCurve of the reference).
    int GetFirstVertex() const;
    int GetLastVertex() const;
    // The second index of a list of exactly three; 0 otherwise.
    int GetMiddleVertex() const;

    // Old form: int32 0. New form: int32 count, the indices.
    void Write(std::ostream& os, int version) const;
    // Old form: a flagged curve is read and dropped. New form: count below 1 keeps the
    // list and answers false; an index outside the tooth mesh (or no mesh) is damage.
    [[nodiscard]] bool Read(std::istream& is, const QvMesh* tooth, int version);

    // Count and indices without a version test; read as the new form.
    void WriteList(std::ostream& os) const;
    [[nodiscard]] bool ReadList(std::istream& is, const QvMesh* tooth);
    // An empty curve, count, each index twice, then -1; the reader keeps the first of
    // each pair.
    void WritePaired(std::ostream& os) const;
    [[nodiscard]] bool ReadPaired(std::istream& is, const QvMesh* tooth);

    // Appends the index; true when the list now holds exactly three.
    bool AddVertex(const QvVertex& vertex);
    bool IsComplete() const { return m_vertices.size() == 3; }
    void RemoveVertex(const QvVertex& vertex);
    void ReplaceVertex(const QvVertex& oldVertex, const QvVertex& newVertex);
    bool HasVertex(const QvVertex& vertex) const;
    // Whether the vertex is listed; atEnd tells whether its first occurrence is the
    // first or the last entry.
    bool FindEndVertex(const QvVertex& vertex, bool& atEnd) const;
    // Keys are replaced by their values, other indices dropped; order kept.
    void Remap(const std::map<int, int>& renumbering);
    // The list holds only indices: nothing moves.
    void Transform(const QvMatrix&) {}

    std::vector<int> m_vertices;
};

// Steps shared by the curve fit of the FACC and its refit from the reference data.

// The section of the mesh with the plane that holds both vertices a and b (within a
// section the last entry on a vertex counts), collected from a to b the short way
// round. With closedOnly the way round is taken only for a closed section of more
// than two entries. False when no section holds both.
[[nodiscard]] bool QvCollectSectionArc(const QvMesh& mesh, const QvPlane& plane, int a, int b, bool closedOnly,
                                       std::vector<QvPoint>& out);
// Drops points of short segments, in passes, from six points on.
void QvThinArcPoints(std::vector<QvPoint>& points);
// Thins and fits the points; null when no curve fits. The caller owns the curve.
QvBSplineCurve* QvFitArcPoints(std::vector<QvPoint> points);
