// SPDX-License-Identifier: GPL-3.0-or-later
// The per-tooth records: rings at the step, contact arcs merged with the neighbours,
// corners, sides, gum axes, link kinds and link control points.
#include <algorithm>
#include <limits>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/gum/QvCreateGumCommandOld.h"
#include "core/gum/QvGumHelpers.h"
#include "core/model/QvToothBase.h"

namespace {

int Mod(int i, int n) { return ((i % n) + n) % n; }

QvPoint Mid(const QvPoint& a, const QvPoint& b)
{
    return QvPoint((a[0] + b[0]) * 0.5, (a[1] + b[1]) * 0.5, (a[2] + b[2]) * 0.5);
}

double SegmentDistance(const QvPoint& p, const QvPoint& a, const QvPoint& b)
{
    const QvVector ab = b - a;
    const double len2 = ab.SquaredLength();
    double t = len2 > 0.0 ? (p - a).Dot(ab) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return p.Distance(a + ab * t);
}

int NearestIndex(const QvPoint& p, const std::vector<QvPoint>& ring) { return GumNearestPoint(p, ring); }

} // namespace

// ---- QvGumToothInfo -----------------------------------------------------------------

QvGumToothInfo::QvGumToothInfo(QvToothBase* tooth, const QvMatrix* placement) : m_pTooth(tooth)
{
    const std::vector<int>& loop = *tooth->GetBoundaryLoop();
    const std::size_t n = loop.size();
    if (n == 0)
        return;
    QvVector sum;
    for (const int v : loop)
    {
        const QvPoint& p = tooth->m_vertices[static_cast<std::size_t>(v)].m_point;
        m_boundaryRing.push_back(placement ? *placement * p : p);
        sum = sum + (m_boundaryRing.back() - QvPoint());
    }
    m_centre = QvPoint() + sum / static_cast<double>(n);
    QvVector axis = tooth->GetFrame()->m_dirZ;
    if (placement)
        axis = *placement * axis;
    if ((m_boundaryRing[0] - m_centre).Cross(m_boundaryRing[n / 4] - m_centre).Dot(axis) < 0.0)
        std::reverse(m_boundaryRing.begin(), m_boundaryRing.end());
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
    const int n = static_cast<int>(m_ring.size());
    if (n == 0)
        return false;
    auto arcMid = [n](int u, int v) { return Mod(u + Mod(v - u, n) / 2, n); };
    if (m_nPosition != 0)
    {
        if (m_nContactEnd[1] == m_nContactEnd[2])
        {
            m_nPrevCorner = m_nContactEnd[1];
            m_nContactEnd[1] = m_nContactEnd[2] = -1;
        }
        else
            m_nPrevCorner = arcMid(m_nContactEnd[1], m_nContactEnd[2]);
    }
    if (m_nPosition != 2)
    {
        if (m_nContactEnd[0] == m_nContactEnd[3])
        {
            m_nNextCorner = m_nContactEnd[0];
            m_nContactEnd[0] = m_nContactEnd[3] = -1;
        }
        else
            m_nNextCorner = arcMid(m_nContactEnd[3], m_nContactEnd[0]);
    }
    if (m_nPosition == 0 && m_nNextCorner >= 0)
        m_nPrevCorner = GumMostAlignedPoint(m_ring[static_cast<std::size_t>(m_nNextCorner)], m_centre, m_ring,
                                            m_nNextCorner);
    else if (m_nPosition == 2 && m_nPrevCorner >= 0)
        m_nNextCorner = GumMostAlignedPoint(m_ring[static_cast<std::size_t>(m_nPrevCorner)], m_centre, m_ring,
                                            m_nPrevCorner);
    return m_nPrevCorner >= 0 && m_nNextCorner >= 0;
}

int QvGumToothInfo::FindArcMidpoint(int from, int to, const QvPlane& plane) const
{
    const int n = static_cast<int>(m_ring.size());
    if (n == 0 || from < 0 || to < 0)
        return -1;
    const int c = Mod(to - from, n);
    if (c < 1)
        return -1;
    std::vector<double> L(static_cast<std::size_t>(c) + 1, 0.0);
    QvPoint prev = plane.ProjectPoint(m_ring[static_cast<std::size_t>(from)]);
    for (int k = 1; k <= c; ++k)
    {
        const QvPoint p = plane.ProjectPoint(m_ring[static_cast<std::size_t>(Mod(from + k, n))]);
        L[static_cast<std::size_t>(k)] = L[static_cast<std::size_t>(k - 1)] + prev.Distance(p);
        prev = p;
    }
    const double h = L[static_cast<std::size_t>(c)] / 2.0;
    int taken = 0;
    for (int j = 0; j < c; ++j)
        if (L[static_cast<std::size_t>(j) + 1] > h)
        {
            taken = h - L[static_cast<std::size_t>(j)] > L[static_cast<std::size_t>(j) + 1] - h ? j : j + 1;
            break;
        }
    return Mod(from + taken, n);
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
    const int n = static_cast<int>(m_ring.size());
    const int from[4] = {m_nNextCorner, m_nPrevCorner, m_nPrevCorner, m_nNextCorner};
    const int to[4] = {m_nFlank1Corner, m_nFlank1Corner, m_nFlank2Corner, m_nFlank2Corner};
    const int step[4] = {1, -1, 1, -1};
    for (int s = 0; s < 4; ++s)
    {
        std::vector<QvPoint>& pts = m_sides[s].m_points;
        pts.clear();
        for (int i = from[s];; i = Mod(i + step[s], n))
        {
            pts.push_back(m_ring[static_cast<std::size_t>(i)]);
            if (i == to[s] || static_cast<int>(pts.size()) > n)
                break;
        }
        if (pts.size() < 2)
            return false;
    }
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
        int b = 0;
        if (e0 != -1)
            b = (k == 0 || k == 2) ? Mod(e0 - c, n) : Mod(c - e0, n);
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
    double R = std::numeric_limits<double>::min();
    for (const QvPoint& p : m_ring)
        R = std::max(R, basePlane.ProjectVector(p - m_centre).Length());
    QvPlane* fit = QvPlane::FitPoints(m_ring);
    if (!fit)
        return false;
    QvVector nrm = fit->GetNormal();
    delete fit;
    if (nrm.Dot(up) < 0.0)
        nrm = -nrm;
    QvPoint H;
    if (!basePlane.IntersectLine(QvLine(m_centre, nrm), H))
        return false;
    const QvVector v = GetCornerDirection(basePlane, 2);
    const QvPlane Q(m_centre, up.Cross(v));
    QvPoint F = basePlane.ProjectPoint(Q.ProjectPoint(H));
    const QvPoint F0 = basePlane.ProjectPoint(m_centre);
    const double d = F.Distance(F0);
    if (d > 0.6 * R)
        F = F0 + (F - F0) * (0.6 * R / d);
    m_gumAxis = m_centre - F;
    if (m_gumAxis.IsZero())
        return false;
    m_gumAxis.Normalize();
    return true;
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
    const int nA = static_cast<int>(a.m_ring.size());
    const int nB = static_cast<int>(b.m_ring.size());
    if (nA == 0 || nB == 0)
        return false;
    std::vector<int> nearAB(static_cast<std::size_t>(nA)), nearBA(static_cast<std::size_t>(nB));
    for (int i = 0; i < nA; ++i)
        nearAB[static_cast<std::size_t>(i)] = NearestIndex(a.m_ring[static_cast<std::size_t>(i)], b.m_ring);
    for (int j = 0; j < nB; ++j)
        nearBA[static_cast<std::size_t>(j)] = NearestIndex(b.m_ring[static_cast<std::size_t>(j)], a.m_ring);
    const QvVector d = b.m_centre - a.m_centre;

    std::map<int, int> P;
    for (int i = 0; i < nA; ++i)
    {
        const int j = nearAB[static_cast<std::size_t>(i)];
        if ((b.m_ring[static_cast<std::size_t>(j)] - a.m_ring[static_cast<std::size_t>(i)]).Dot(d) < 0.0)
            P.emplace(i, j);
    }
    if (!P.empty())
    {
        const int first = P.begin()->second;
        if (std::all_of(P.begin(), P.end(), [first](const auto& e) { return e.second == first; }))
            P.clear();
    }
    const double tol = 0.1 * m_dMeanEdgeLength;
    auto A = [&](int i) -> const QvPoint& { return a.m_ring[static_cast<std::size_t>(Mod(i, nA))]; };
    auto B = [&](int j) -> const QvPoint& { return b.m_ring[static_cast<std::size_t>(Mod(j, nB))]; };
    for (int i = 0; i < nA; ++i)
    {
        const int j = nearAB[static_cast<std::size_t>(i)];
        if (nearBA[static_cast<std::size_t>(j)] != i || P.count(i))
            continue;
        if (SegmentDistance(B(j), A(i - 1), A(i)) < tol || SegmentDistance(B(j), A(i), A(i + 1)) < tol ||
            SegmentDistance(A(i), B(j - 1), B(j)) < tol || SegmentDistance(A(i), B(j), B(j + 1)) < tol)
            P.emplace(i, j);
    }
    if (P.size() <= 1)
    {
        const int w = GumMostAlignedPoint(a.m_centre, b.m_centre, a.m_ring, -1);
        if (w < 0)
            return false;
        a.m_nContactEnd[0] = a.m_nContactEnd[3] = w;
        b.m_nContactEnd[1] = b.m_nContactEnd[2] = nearAB[static_cast<std::size_t>(w)];
        return true;
    }
    // The arc between the two ends of the largest gap, taken the short way round.
    auto arcOf = [](std::vector<int> keys, int n, int& start, int& stop) {
        const int K = static_cast<int>(keys.size());
        int g = 0, best = -1;
        for (int k = 0; k < K; ++k)
        {
            const int gap = Mod(keys[static_cast<std::size_t>((k + 1) % K)] - keys[static_cast<std::size_t>(k)], n);
            if (gap > best)
            {
                best = gap;
                g = k;
            }
        }
        const int y = keys[static_cast<std::size_t>(g)], z = keys[static_cast<std::size_t>((g + 1) % K)];
        const int lo = std::min(y, z), hi = std::max(y, z);
        if (hi - lo > n / 2)
        {
            start = hi;
            stop = lo;
        }
        else
        {
            start = lo;
            stop = hi;
        }
        std::vector<int> arc;
        for (int i = start;; i = (i + 1) % n)
        {
            arc.push_back(i);
            if (i == stop)
                break;
        }
        return arc;
    };
    std::vector<int> keysA, keysB;
    for (const auto& [i, j] : P)
    {
        keysA.push_back(i);
        keysB.push_back(j);
    }
    std::sort(keysB.begin(), keysB.end());
    int startA = 0, stopA = 0, startB = 0, stopB = 0;
    const std::vector<int> arcA = arcOf(keysA, nA, startA, stopA);
    const std::vector<int> arcB = arcOf(keysB, nB, startB, stopB);

    const int m0 = static_cast<int>(a.m_boundaryRing.size());
    const int s0 = nA - m0;
    auto toBoundary = [&](int x) { return x <= a.m_nContactEnd[2] ? x : Mod(x - s0 + m0, m0); };
    a.m_nContactEndBoundary[0] = toBoundary(stopA);
    a.m_nContactEndBoundary[3] = toBoundary(startA);
    b.m_nContactEndBoundary[1] = startB;
    b.m_nContactEndBoundary[2] = stopB;

    const int lenA = static_cast<int>(arcA.size());
    const int lenB = static_cast<int>(arcB.size());
    std::vector<QvPoint> W;
    if (lenA > lenB)
    {
        GumMiddleChain(b.m_ring, arcB, a.m_ring, arcA, W);
        for (int k = 0; k < lenA; ++k)
            a.m_ring[static_cast<std::size_t>(arcA[static_cast<std::size_t>(k)])] = W[static_cast<std::size_t>(k)];
        std::reverse(W.begin(), W.end());
        for (int k = 0; k < lenB; ++k)
            b.m_ring[static_cast<std::size_t>(arcB[static_cast<std::size_t>(k)])] = W[static_cast<std::size_t>(k)];
        b.m_ring.insert(b.m_ring.begin() + stopB + 1, W.begin() + lenB, W.end());
        const int s = lenA - lenB;
        a.m_nContactEnd[0] = stopA;
        a.m_nContactEnd[3] = startA;
        b.m_nContactEnd[1] = startB + (startB >= stopB ? s : 0);
        b.m_nContactEnd[2] = stopB + s;
    }
    else
    {
        GumMiddleChain(a.m_ring, arcA, b.m_ring, arcB, W);
        for (int k = 0; k < lenB; ++k)
            b.m_ring[static_cast<std::size_t>(arcB[static_cast<std::size_t>(k)])] = W[static_cast<std::size_t>(k)];
        std::reverse(W.begin(), W.end());
        for (int k = 0; k < lenA; ++k)
            a.m_ring[static_cast<std::size_t>(arcA[static_cast<std::size_t>(k)])] = W[static_cast<std::size_t>(k)];
        a.m_ring.insert(a.m_ring.begin() + stopA + 1, W.begin() + lenA, W.end());
        const int s = lenB - lenA;
        a.m_nContactEnd[0] = stopA + s;
        a.m_nContactEnd[3] = startA + (startA >= stopA ? s : 0);
        const int m = std::min(startA, stopA);
        for (int k = 1; k <= 2; ++k)
            if (a.m_nContactEnd[k] > m)
                a.m_nContactEnd[k] += s;
        b.m_nContactEnd[1] = startB;
        b.m_nContactEnd[2] = stopB;
    }
    return true;
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
