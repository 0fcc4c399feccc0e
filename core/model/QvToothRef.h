// SPDX-License-Identifier: GPL-3.0-or-later
// The reference data marked on a tooth crown: the facial-axis curve, the mid curve and
// the keyed feature points, all naming vertices of the owning tooth's mesh so that they
// follow the tooth wherever a scheme places it.
//
// Feature-point keys by tooth kind, as the automatic assignment gives them: incisors 1;
// canines and premolars 2 (nearer the FACC's first vertex) and 1; molars 3 and 4 (the
// two nearest), 5 and 6 (the two farthest), the point higher over the crown plane
// taking the lower key of each pair.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/geometry/QvPlane.h"
#include "core/geometry/QvPoint.h"
#include "core/model/QvCrownCurve.h"

class QvMatrix;
class QvMesh;
class QvModel;
class QvTooth;
class QvVertex;

class QvFeaturePoint
{
public:
    QvFeaturePoint() = default;
    explicit QvFeaturePoint(int vertex) : m_nVertex(vertex) {}
    QvFeaturePoint(const QvFeaturePoint&) = default;
    QvFeaturePoint& operator=(const QvFeaturePoint&) = default;
    virtual ~QvFeaturePoint() = default;

    // Old form: int32 key, position. New form: int32 vertex, int32 key.
    void Write(std::ostream& os, int version) const;
    // The new form takes the position from the tooth's vertex; a vertex outside the
    // tooth (or no tooth) fails the read. False also on a short stream and for versions
    // without a form; the point is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, const QvMesh* tooth, int version);

    std::int32_t m_nKey = 1;
    std::int32_t m_nVertex = 0;
    QvPoint m_position;
};

class QvToothRef
{
public:
    QvToothRef() = default;
    explicit QvToothRef(QvTooth* tooth) : m_pTooth(tooth) {}
    // Memberwise: the copy names the same tooth until it is bound to another.
    QvToothRef(const QvToothRef&) = default;
    QvToothRef& operator=(const QvToothRef&) = default;
    virtual ~QvToothRef() = default;

    QvTooth* GetTooth() const { return m_pTooth; }
    void SetTooth(QvTooth* tooth) { m_pTooth = tooth; }

    // ---- Lookups ----------------------------------------------------------------

    bool HasFacc() const { return m_facc.m_vertices.size() == 2; }
    bool HasMidCurve() const { return m_midCurve.m_vertices.size() > 2; }
    // Position of a vertex of the owning tooth's mesh, in the mesh's own coordinates;
    // (0, 0, 0) when there is no tooth or the index names no vertex of it.
    QvPoint GetVertex(int index) const;
    // Whether the tooth has that vertex.
    bool IsToothVertex(int index) const;
    // The first feature point with that key: its vertex, or -1 / null when none.
    int GetFeatureVertex(int key) const;
    const QvFeaturePoint* FindFeaturePoint(int key) const;
    const QvFacc& GetFacc() const { return m_facc; }
    const QvMidCurve& GetMidCurve() const { return m_midCurve; }

    // ---- Files ------------------------------------------------------------------

    // Old form: int32 placeholder 0, FDI, state (the record ends at state 4), old FACC,
    // old mid curve, count, old feature points. New form: new FACC, new mid curve,
    // count, new feature points. Nothing for other versions.
    void Write(std::ostream& os, int version) const;
    // Old form: binds the tooth of the record's FDI number (QvTooth::SetToothRef) once
    // the whole record has been read; fails when no tooth has that number unless the
    // state is 4. New form: the reference must already be bound to its tooth. An empty
    // FACC or mid-curve list keeps what the reference had. False on a short stream,
    // damaged data, an index outside the tooth or an unsupported version; the
    // reference is then unchanged and bound to nothing new.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);

    // The new form without a version test.
    void WriteNewForm(std::ostream& os) const;
    // int32 flag (FACC has two vertices); when 1, int32 flag (complete apart from the
    // FACC); when 1, int32 count and (vertex, key) pairs. The form has no room for the
    // curves, so its reader fails at a set first flag.
    void WriteFlagged(std::ostream& os) const;
    [[nodiscard]] bool ReadFlagged(std::istream& is);
    // int32 placeholder, FDI, state; unless the state is 4, a count of (old, new) vertex
    // pairs (written empty) and the flagged form; the reader renumbers through the pairs.
    void WriteRenumbered(std::ostream& os) const;
    [[nodiscard]] bool ReadRenumbered(std::istream& is);

    // ---- Editing (no caller in the running system) --------------------------------

    // 0 everything, 1 the FACC, 2 the mid curve, 3 the feature points; others nothing.
    void Clear(int what);
    void AddFeaturePoint(const QvVertex& vertex);
    void RemoveFeaturePoint(const QvVertex& vertex);
    void ReplaceFeatureVertex(const QvVertex& oldVertex, const QvVertex& newVertex);
    std::vector<int> GetFeatureVertices() const;
    // 1 point for incisors, 2 for canines and premolars, 4 for molars.
    bool HasAllFeaturePoints() const;
    bool IsComplete() const;
    bool IsOddQuadrant() const;
    // Through the FACC's two vertices and the mid curve's second; false, out unchanged,
    // when a curve is too short or names no vertex of the tooth.
    [[nodiscard]] bool GetCrownPlane(QvPlane& out) const;
    // Reverses the FACC when its first vertex is farther from the mid curve's middle.
    void OrientFacc();
    // Keys from the tooth kind and the geometry; false, keys unchanged, when something
    // it needs is missing.
    [[nodiscard]] bool AssignFeatureKeys(const QvVector& direction);
    void CollectTipVertices(std::vector<int>& out) const;
    void Transform(const QvMatrix& matrix);
    // Rebuilds the FACC curve from the tooth's section through its two vertices.
    [[nodiscard]] bool RefitFacc();

    QvTooth* m_pTooth = nullptr; // not owned
    QvFacc m_facc;
    QvMidCurve m_midCurve;
    std::vector<QvFeaturePoint> m_featurePoints;

private:
    [[nodiscard]] bool ReadOld(std::istream& is, int version, QvModel* model);
    [[nodiscard]] bool ReadNew(std::istream& is, int version);
    const QvMesh* ToothMesh() const;
};
