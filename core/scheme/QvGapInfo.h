// SPDX-License-Identifier: GPL-3.0-or-later
// How two teeth meet at one step: in contact (with the faces and per-vertex values
// of the contact on either tooth), or with a gap of some distance between them.
// Collision detection fills the records; the overlays read them.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPoint.h"

class QvFace;
class QvToothBase;
class QvVertex;

inline constexpr std::int32_t kQvGapKindNone = 0;
inline constexpr std::int32_t kQvGapKindContact = 1;
inline constexpr std::int32_t kQvGapKindGap = 2;

// One pair of intersecting triangles of the two placed meshes: their faces and the
// stretch of the intersection line that both triangles cover. Collision detection
// hands over the mesh faces of its tree records, so that the record does not depend
// on the trees' own types.
struct QvGapSegment
{
    QvFace* m_pFirst = nullptr;
    QvFace* m_pSecond = nullptr;
    QvPoint m_start;
    QvPoint m_end;
    bool m_bFlag = false;
};

// The record owns its containers and matrices; the teeth, faces and vertices belong
// to the case model and must outlive it.
class QvGapInfo
{
public:
    using ContactMap = std::map<QvVertex*, double>;

    // Gap form: teeth, kind, point and distance; no matrices, no contact data.
    QvGapInfo(QvToothBase* first, QvToothBase* second, int kind, const QvPoint& point, double distance);
    // Contact form (kind 1): copies the segments, both face lists and both maps.
    QvGapInfo(QvToothBase* first, QvToothBase* second, const std::vector<QvGapSegment>& segments,
              const std::vector<QvFace*>& firstFaces, const std::vector<QvFace*>& secondFaces, double distance,
              const ContactMap& firstContacts, const ContactMap& secondContacts, const QvPoint& point);
    // Nothing measured: kind 0, distance -1, point at the origin.
    QvGapInfo(QvToothBase* first, QvToothBase* second);
    QvGapInfo(const QvGapInfo& other);
    QvGapInfo& operator=(const QvGapInfo& other);
    virtual ~QvGapInfo();

    // The first tooth for 0, the second for any other index.
    QvToothBase* GetTooth(int index) const { return index == 0 ? m_pFirst : m_pSecond; }
    const QvMatrix& GetMatrix(int index) const { return index == 0 ? m_firstMatrix : m_secondMatrix; }
    // The second tooth when tooth is the first, else the first.
    QvToothBase* GetOtherTooth(const QvToothBase* tooth) const { return tooth == m_pFirst ? m_pSecond : m_pFirst; }
    // Order matters: a is the first tooth and b the second.
    bool IsPair(const QvToothBase* a, const QvToothBase* b) const { return a == m_pFirst && b == m_pSecond; }
    bool HasTooth(const QvToothBase* tooth) const { return tooth == m_pFirst || tooth == m_pSecond; }
    // The same two teeth in either order.
    bool IsSamePair(const QvGapInfo& other) const
    {
        return IsPair(other.m_pFirst, other.m_pSecond) || IsPair(other.m_pSecond, other.m_pFirst);
    }
    void SetMatrices(const QvMatrix& first, const QvMatrix& second);
    void ClearKind() { m_nKind = kQvGapKindNone; }

    const std::vector<QvFace*>& GetContactFaces(int index) const { return index == 0 ? m_firstFaces : m_secondFaces; }
    const ContactMap& GetContactMap(int index) const { return index == 0 ? m_firstContacts : m_secondContacts; }

    QvToothBase* m_pFirst;
    QvToothBase* m_pSecond;
    QvMatrix m_firstMatrix;
    QvMatrix m_secondMatrix;
    double m_dDistance;
    QvPoint m_point;
    std::int32_t m_nKind;
    std::vector<QvFace*> m_firstFaces;
    std::vector<QvFace*> m_secondFaces;
    ContactMap m_firstContacts;
    ContactMap m_secondContacts;
    std::vector<QvGapSegment> m_segments;
};
