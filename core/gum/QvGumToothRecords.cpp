// SPDX-License-Identifier: GPL-3.0-or-later
// The per-tooth records: rings at the step, contact arcs merged with the neighbours,
// corners, sides, gum axes, link kinds and link control points.
#include <algorithm>
#include <limits>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/gum/QvCreateGumCommandOld.h"
#include "core/gum/QvGumHelpers.h"
#include "core/gum/QvGumRingOps.h"
#include "core/model/QvToothBase.h"

namespace {

QvPoint Mid(const QvPoint& a, const QvPoint& b)
{
    return QvPoint((a[0] + b[0]) * 0.5, (a[1] + b[1]) * 0.5, (a[2] + b[2]) * 0.5);
}

} // namespace

// ---- QvGumToothInfo -----------------------------------------------------------------

QvGumToothInfo::QvGumToothInfo(QvToothBase* tooth, const QvMatrix* placement) : m_pTooth(tooth)
{
    GumPlacedRing(tooth, placement, m_boundaryRing, m_centre);
    m_ring = m_boundaryRing;
}

int QvGumToothInfo::CornerIndex(int kind) const
{
    switch (kind)
    {
    case 0: return m_nPrevCorner;
    case 1: return m_nNextCorner;
    case 2: return m_nFlank2Corner;
    case 3: return m_nFlank1Corner;
    default: return -1;
    }
}

QvPoint QvGumToothInfo::GetCornerPoint(int kind) const
{
    const int i = CornerIndex(kind);
    return i >= 0 && i < static_cast<int>(m_ring.size()) ? m_ring[static_cast<std::size_t>(i)] : QvPoint();
}

QvVector QvGumToothInfo::GetCornerDirection(const QvPlane& plane, int kind) const
{
    QvVector v = plane.ProjectVector(GetCornerPoint(kind) - m_centre);
    v.Normalize();
    return v;
}

double QvGumToothInfo::GetCornerRadius(const QvPlane& plane, int kind) const
{
    return plane.ProjectPoint(GetCornerPoint(kind)).Distance(plane.ProjectPoint(m_centre));
}

bool QvGumToothInfo::ChooseContactCorners()
{
    return GumFacingCorners(m_ring, m_centre, m_nPosition, m_nContactEnd, m_nPrevCorner, m_nNextCorner);
}

int QvGumToothInfo::FindArcMidpoint(int from, int to, const QvPlane& plane) const
{
    return GumRingMiddleIndex(m_ring, from, to, plane);
}

bool QvGumToothInfo::ComputeFlankCorners(const QvPlane& plane)
{
    if (m_nPrevCorner < 0 || m_nNextCorner < 0)
        return false;
    m_nFlank1Corner = FindArcMidpoint(m_nNextCorner, m_nPrevCorner, plane);
    m_nFlank2Corner = FindArcMidpoint(m_nPrevCorner, m_nNextCorner, plane);
    return m_nFlank1Corner >= 0 && m_nFlank2Corner >= 0;
}

bool QvGumToothInfo::BuildSides(const QvPlane& basePlane)
{
    if (!ChooseContactCorners() || m_nPrevCorner < 0 || m_nNextCorner < 0)
        return false;
    if (!ComputeFlankCorners(basePlane))
        return false;
    for (int s = 0; s < 4; ++s)
        if (!GumRingSide(m_ring, s, m_nNextCorner, m_nPrevCorner, m_nFlank1Corner, m_nFlank2Corner, m_sides[s].m_points))
            return false;
    return MarkContactStretches();
}

bool QvGumToothInfo::MarkContactStretches()
{
    const int n = static_cast<int>(m_ring.size());
    for (int k = 0; k < 4; ++k)
    {
        QvGumToothSide& side = m_sides[k];
        const int m = static_cast<int>(side.m_points.size());
        const int e0 = m_nContactEnd[k];
        const int c = (k == 1 || k == 2) ? m_nPrevCorner : m_nNextCorner;
        int b = GumSideOffset(n, k, c, e0);
        b = std::max(0, std::min(b, m - 2));
        std::vector<double> t;
        GumChordParameters(side.m_points, t);
        const double e = e0 == -1 ? 0.5 : std::max((0.5 - t[static_cast<std::size_t>(b)]) / 3.0, 0.1);
        int found = -1;
        for (int j = b + 1; j < m; ++j)
            if (t[static_cast<std::size_t>(j)] - t[static_cast<std::size_t>(b)] > e)
            {
                found = j;
                break;
            }
        if (found >= 0 && found - 1 != b)
        {
            side.m_nNearFirst = b;
            side.m_nNearLast = found - 1;
        }
        else
        {
            const int bb = std::min(std::max(b, 1), m - 1);
            side.m_nNearFirst = bb - 1;
            side.m_nNearLast = bb;
        }
    }
    return true;
}

bool QvGumToothInfo::ComputeGumAxis(const QvVector& up, const QvPlane& basePlane)
{
    return GumRingDirection(m_ring, m_centre, GetCornerDirection(basePlane, 2), up, basePlane, m_gumAxis);
}

// ---- QvDoublePairArray --------------------------------------------------------------

QvDoublePairArray& QvDoublePairArray::operator=(const QvDoublePairArray& other)
{
    if (this != &other)
    {
        Resize(other.m_nCount);
        m_first = other.m_first;
        m_second = other.m_second;
    }
    return *this;
}

void QvDoublePairArray::Resize(int n)
{
    n = std::max(n, 0);
    if (n == m_nCount)
        return;
    m_nCount = n;
    m_first.assign(static_cast<std::size_t>(n), 0.0);
    m_second.assign(static_cast<std::size_t>(n), 0.0);
}

void QvDoublePairArray::ScaleFirst(double f)
{
    for (double& x : m_first)
        x *= f;
}

void QvDoublePairArray::ScaleSecond(double f)
{
    for (double& x : m_second)
        x *= f;
}

void QvDoublePairArray::Assign(int n, const double* a, const double* b)
{
    Resize(n);
    std::copy(a, a + m_nCount, m_first.begin());
    std::copy(b, b + m_nCount, m_second.begin());
}

void QvDoublePairArray::Lerp(const QvDoublePairArray& from, const QvDoublePairArray& to, double t)
{
    Resize(from.m_nCount);
    const std::size_t n = std::min(static_cast<std::size_t>(m_nCount), to.m_first.size());
    for (std::size_t i = 0; i < n; ++i)
    {
        m_first[i] = to.m_first[i] * t + from.m_first[i] * (1.0 - t);
        m_second[i] = to.m_second[i] * t + from.m_second[i] * (1.0 - t);
    }
}

// ---- Records of the command -----------------------------------------------------------

bool QvCreateGumCommandOld::BuildToothInfos()
{
    const std::size_t n = m_orderedTeeth.size();
    for (QvToothBase* tooth : m_orderedTeeth)
    {
        const auto it = m_teeth.find(tooth);
        m_toothInfos.push_back(new QvGumToothInfo(tooth, it != m_teeth.end() ? it->second : nullptr));
        if (m_toothInfos.back()->m_ring.size() < 3)
            return false;
    }
    if (n < 2)
        return false;
    m_toothInfos.front()->m_nPosition = 0;
    m_toothInfos.back()->m_nPosition = 2;
    for (std::size_t i = 0; i + 1 < n; ++i)
        if (!MatchContactArcs(*m_toothInfos[i], *m_toothInfos[i + 1]))
            return false;
    for (QvGumToothInfo* info : m_toothInfos)
        if (!info->BuildSides(m_basePlane) || !info->ComputeGumAxis(m_up, m_basePlane))
            return false;
    for (std::size_t i = 0; i + 1 < n; ++i)
    {
        QvGumToothInfo* a = m_toothInfos[i];
        QvGumToothInfo* b = m_toothInfos[i + 1];
        const int k = ClassifyLink(*a, *b);
        a->m_nNextLink = k;
        b->m_nPrevLink = k;
        if (!PlaceLinkControlPoints(a, b, 0, 1) || !PlaceLinkControlPoints(a, b, 3, 2))
            return false;
    }
    return true;
}

int QvCreateGumCommandOld::ClassifyLink(QvGumToothInfo& a, QvGumToothInfo& b)
{
    if (a.m_nContactEnd[0] != -1)
        return 2;
    const QvPoint& p = a.m_ring[static_cast<std::size_t>(a.m_nNextCorner)];
    const QvPoint& q = b.m_ring[static_cast<std::size_t>(b.m_nPrevCorner)];
    const double r = (p.Distance(a.m_centre) + q.Distance(b.m_centre)) * 0.5;
    return p.Distance(q) < 0.5 * r ? 3 : 4;
}

bool QvCreateGumCommandOld::MatchContactArcs(QvGumToothInfo& a, QvGumToothInfo& b)
{
    return GumWeldRings({&a.m_ring, static_cast<int>(a.m_boundaryRing.size()), a.m_centre, a.m_nContactEnd,
                         a.m_nContactEndBoundary},
                        {&b.m_ring, static_cast<int>(b.m_boundaryRing.size()), b.m_centre, b.m_nContactEnd,
                         b.m_nContactEndBoundary},
                        0.1 * m_dMeanEdgeLength, false);
}

bool QvCreateGumCommandOld::PlaceLinkControlPoints(QvGumToothInfo* a, QvGumToothInfo* b, int sideA, int sideB)
{
    if (!a || !b)
        return false;
    const QvGumToothSide& A = a->m_sides[sideA];
    const QvGumToothSide& B = b->m_sides[sideB];
    auto nearEnd = [](const QvGumToothSide& s) -> const QvPoint& {
        return s.m_points[static_cast<std::size_t>(s.m_nNearLast)];
    };
    const QvPoint M = Mid(nearEnd(A), nearEnd(B));
    const QvPoint& eA = A.m_points.back();
    const QvPoint& eB = B.m_points.back();
    const double dA = eA.Distance(M), dB = eB.Distance(M);
    if (!(dA + dB > 0.0))
        return false;
    const double t = dA / (dA + dB);
    const QvPoint P(eA[0] * (1.0 - t) + eB[0] * t, eA[1] * (1.0 - t) + eB[1] * t, eA[2] * (1.0 - t) + eB[2] * t);
    const double L1 = nearEnd(a->m_sides[0]).Distance(nearEnd(b->m_sides[1]));
    const double L2 = nearEnd(a->m_sides[3]).Distance(nearEnd(b->m_sides[2]));
    const double h = (L1 + L2) * 0.5 / 6.0;
    QvVector u = eA - P, w = eB - P;
    if (u.IsZero() || w.IsZero())
        return false;
    u.Normalize();
    w.Normalize();
    a->m_sides[sideA].m_ctrlPoint = P + u * h;
    b->m_sides[sideB].m_ctrlPoint = P + w * h;
    return true;
}
