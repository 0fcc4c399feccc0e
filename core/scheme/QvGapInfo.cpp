// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvGapInfo.h"

QvGapInfo::QvGapInfo(QvToothBase* first, QvToothBase* second, int kind, const QvPoint& point, double distance)
    : m_pFirst(first), m_pSecond(second), m_dDistance(distance), m_point(point), m_nKind(kind)
{
}

QvGapInfo::QvGapInfo(QvToothBase* first, QvToothBase* second, const std::vector<QvGapSegment>& segments,
                     const std::vector<QvFace*>& firstFaces, const std::vector<QvFace*>& secondFaces, double distance,
                     const ContactMap& firstContacts, const ContactMap& secondContacts, const QvPoint& point)
    : m_pFirst(first), m_pSecond(second), m_dDistance(distance), m_point(point), m_nKind(kQvGapKindContact),
      m_firstFaces(firstFaces), m_secondFaces(secondFaces), m_firstContacts(firstContacts),
      m_secondContacts(secondContacts), m_segments(segments)
{
}

QvGapInfo::QvGapInfo(QvToothBase* first, QvToothBase* second)
    : m_pFirst(first), m_pSecond(second), m_dDistance(-1.0), m_nKind(kQvGapKindNone)
{
}

QvGapInfo::QvGapInfo(const QvGapInfo& other) = default;

QvGapInfo& QvGapInfo::operator=(const QvGapInfo& other)
{
    if (this != &other)
    {
        m_pFirst = other.m_pFirst;
        m_pSecond = other.m_pSecond;
        m_firstMatrix = other.m_firstMatrix;
        m_secondMatrix = other.m_secondMatrix;
        m_dDistance = other.m_dDistance;
        m_point = other.m_point;
        m_nKind = other.m_nKind;
        m_firstFaces = other.m_firstFaces;
        m_secondFaces = other.m_secondFaces;
        m_firstContacts = other.m_firstContacts;
        m_secondContacts = other.m_secondContacts;
        m_segments = other.m_segments;
    }
    return *this;
}

QvGapInfo::~QvGapInfo() = default;

void QvGapInfo::SetMatrices(const QvMatrix& first, const QvMatrix& second)
{
    m_firstMatrix = first;
    m_secondMatrix = second;
}
