// SPDX-License-Identifier: GPL-3.0-or-later
// Records of the second builder (rings, corners, sides, directions, gap kinds) and the
// chain routines every surface stage shares.
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/gum/QvCreateGumCommand.h"
#include "core/gum/QvCreateGumCommandOld.h"
#include "core/gum/QvGumHelpers.h"
#include "core/gum/QvGumRingOps.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvToothBase.h"

namespace {

QvVector Unit(QvVector v)
{
    v.Normalize();
    return v;
}

} // namespace

// ---- QvGumToothRecord ------------------------------------------------------------------

QvGumToothRecord::QvGumToothRecord(QvToothBase* tooth, const QvMatrix* placement) : m_pTooth(tooth)
{
    GumPlacedRing(tooth, placement, m_ring, m_centre);
    m_workRing = m_ring;
}

bool QvGumToothRecord::FindFacingCorners()
{
    return GumFacingCorners(m_workRing, m_centre, m_archPos, m_anchor, m_cornerPrev, m_cornerNext);
}

int QvGumToothRecord::MiddleIndex(int from, int to, const QvPlane& base) const
{
    return GumRingMiddleIndex(m_workRing, from, to, base);
}

bool QvGumToothRecord::FindMiddleCorners(const QvPlane& base)
{
    if (m_cornerPrev < 0 || m_cornerNext < 0)
        return false;
    m_cornerMidA = MiddleIndex(m_cornerNext, m_cornerPrev, base);
    m_cornerMidB = MiddleIndex(m_cornerPrev, m_cornerNext, base);
    return m_cornerMidA >= 0 && m_cornerMidB >= 0;
}

bool QvGumToothRecord::BuildSides(const QvPlane& base)
{
    if (!FindFacingCorners() || !FindMiddleCorners(base))
        return false;
    for (int s = 0; s < 4; ++s)
        if (!GumRingSide(m_workRing, s, m_cornerNext, m_cornerPrev, m_cornerMidA, m_cornerMidB, m_sides[s].m_points))
            return false;
    return FindSideStarts();
}

bool QvGumToothRecord::FindSideStarts()
{
    const int n = static_cast<int>(m_workRing.size());
    for (int k = 0; k < 4; ++k)
    {
        QvGumToothSide& side = m_sides[k];
        const int m = static_cast<int>(side.m_points.size());
        const int c = (k == 1 || k == 2) ? m_cornerPrev : m_cornerNext;
        const int offset = GumSideOffset(n, k, c, m_anchor[k]);
        side.m_start = std::max(0, std::min(offset, m - 2));
        side.m_end = m - 1;
    }
    return true;
}

bool QvGumToothRecord::UpdateDirection(const QvVector& up, const QvPlane& base)
{
    return GumRingDirection(m_workRing, m_centre, GetCornerDirection(base, 2), up, base, m_dir);
}

QvPoint QvGumToothRecord::GetCornerPoint(int kind) const
{
    const int corners[4] = {m_cornerPrev, m_cornerNext, m_cornerMidB, m_cornerMidA};
    const int i = kind >= 0 && kind < 4 ? corners[kind] : -1;
    return i >= 0 && i < static_cast<int>(m_workRing.size()) ? m_workRing[static_cast<std::size_t>(i)] : QvPoint();
}

QvVector QvGumToothRecord::GetCornerDirection(const QvPlane& base, int kind) const
{
    return Unit(base.ProjectVector(GetCornerPoint(kind) - m_centre));
}

double QvGumToothRecord::GetCornerRadius(const QvPlane& base, int kind) const
{
    return base.ProjectPoint(GetCornerPoint(kind)).Distance(base.ProjectPoint(m_centre));
}

// ---- Records of the command ------------------------------------------------------------

bool QvCreateGumCommand::BuildToothRecords()
{
    for (QvToothBase* tooth : m_archOrder)
    {
        m_records.push_back(new QvGumToothRecord(tooth, Placement(tooth)));
        if (m_records.back()->m_ring.size() < 3)
            return false;
    }
    if (m_records.size() < 2)
        return false;
    m_records.front()->m_archPos = 0;
    m_records.back()->m_archPos = 2;
    for (std::size_t j = 0; j + 1 < m_records.size(); ++j)
        if (!JoinNeighbourRings(*m_records[j], *m_records[j + 1]))
            return false;
    for (QvGumToothRecord* record : m_records)
        if (!record->BuildSides(m_basePlane) || !record->UpdateDirection(m_up, m_basePlane))
            return false;
    for (std::size_t j = 0; j + 1 < m_records.size(); ++j)
        ClassifyGap(*m_records[j], *m_records[j + 1]);
    return true;
}

bool QvCreateGumCommand::JoinNeighbourRings(QvGumToothRecord& a, QvGumToothRecord& b)
{
    return GumWeldRings({&a.m_workRing, static_cast<int>(a.m_ring.size()), a.m_centre, a.m_anchor, a.m_anchor2},
                        {&b.m_workRing, static_cast<int>(b.m_ring.size()), b.m_centre, b.m_anchor, b.m_anchor2},
                        0.1 * m_dMeanEdgeLength, true);
}

void QvCreateGumCommand::ClassifyGap(QvGumToothRecord& prev, QvGumToothRecord& next)
{
    int kind = 2;
    if (prev.m_anchor[0] == -1)
    {
        const QvPoint P = prev.GetCornerPoint(1);
        const QvPoint Q = next.GetCornerPoint(0);
        const double dP = P.Distance(prev.m_centre), dQ = Q.Distance(next.m_centre);
        kind = P.Distance(Q) >= (dP + dQ) * 0.5 * 0.5 ? 4 : 3;
    }
    prev.m_gapNext = kind;
    next.m_gapPrev = kind;
}

// ---- Chains ------------------------------------------------------------------------------

void QvCreateGumCommand::AddChainVertices(const std::vector<QvPoint>& points, std::vector<int>& chain)
{
    chain.reserve(chain.size() + points.size());
    for (const QvPoint& p : points)
        chain.push_back(m_pGumMesh->AddVertex(p));
}

void QvCreateGumCommand::AddChainListVertices(const std::vector<std::vector<QvPoint>>& lists,
                                              std::vector<std::vector<int>>& chains)
{
    chains.resize(lists.size());
    for (std::size_t i = 0; i < lists.size(); ++i)
        AddChainVertices(lists[i], chains[i]);
}

void QvCreateGumCommand::StitchChainRanges(QvMesh* mesh, const int* beginA, const int* endA, const int* beginB,
                                           const int* endB, bool byIndex)
{
    QvCreateGumCommandOld::StitchChains(mesh, beginA, endA, beginB, endB, byIndex);
}

void QvCreateGumCommand::StitchChains(const std::vector<int>& a, const std::vector<int>& b, bool byIndex)
{
    StitchChainRanges(m_pGumMesh, a.data(), a.data() + a.size(), b.data(), b.data() + b.size(), byIndex);
}

void QvCreateGumCommand::StitchChainList(const std::vector<std::vector<int>>& chains, bool byIndex)
{
    for (std::size_t i = 0; i + 1 < chains.size(); ++i)
        StitchChains(chains[i], chains[i + 1], byIndex);
}

int QvCreateGumCommand::SampleCount(const std::vector<QvPoint>& points, double factor) const
{
    const double n = std::floor(GumPolylineLength(points) / (factor * m_dMeanEdgeLength));
    return std::max(std::isfinite(n) ? static_cast<int>(std::min(n, 1e6)) : 1, 1) + 1;
}

bool QvCreateGumCommand::FindFacingPair(const std::vector<QvPoint>& A, const std::vector<QvPoint>& B, int startA,
                                        int startB, int& outA, int& outB) const
{
    const int nA = static_cast<int>(A.size());
    const int nB = static_cast<int>(B.size());
    // Nothing beyond a start: no band to end.
    if (startA + 1 >= nA || startB + 1 >= nB || startA < -1 || startB < -1)
        return false;
    auto at = [](const std::vector<QvPoint>& v, int i) -> const QvPoint& { return v[static_cast<std::size_t>(i)]; };
    auto cosine = [](const QvVector& u, const QvVector& w) {
        const double l = u.Length() * w.Length();
        return l > 0.0 ? u.Dot(w) / l : 1.0;
    };
    int cA = startA + 1, cB = startB + 1;
    int fA = cA, fB = cB;
    while (true)
    {
        int bB = cB;
        double best = 2.0;
        for (int j = cB; j <= nB - 2; ++j)
        {
            const double c = cosine(at(A, cA) - at(B, j), at(B, j + 1) - at(B, j));
            if (c < best)
            {
                best = c;
                bB = j;
            }
        }
        int bA = cA;
        best = 2.0;
        for (int i = cA; i <= nA - 2; ++i)
        {
            const double c = cosine(at(B, bB) - at(A, i), at(A, i + 1) - at(A, i));
            if (c < best)
            {
                best = c;
                bA = i;
            }
        }
        if ((bA == cA && bB == cB) || bA >= nA - 1 || bB >= nB - 1)
        {
            fA = bA;
            fB = bB;
            break;
        }
        cA = bA;
        cB = bB;
    }
    const QvLine line(at(A, fA), at(B, fB));
    auto pullBack = [&](const std::vector<QvPoint>& P, int start, int f) {
        if (f - start < 6)
            return f;
        const int s = (f - start) / 3 - 1;
        int r = f;
        for (int k = f - 1; k >= f - s && k > start; --k)
            if (line.Distance(at(P, k)) < m_dMeanEdgeLength)
                r = k;
        return r;
    };
    int rA = pullBack(A, startA, fA);
    int rB = pullBack(B, startB, fB);
    const QvVector w = Unit(at(B, nB - 1) - at(A, nA - 1));
    double c = Unit(at(B, rB) - at(A, rA)).Dot(w);
    if (c < 0.9063077870366378)
    {
        if (static_cast<double>(rA) / nA > static_cast<double>(rB) / nB)
        {
            for (int j = rB + 1; j < nB; ++j)
            {
                const double d = Unit(at(B, j) - at(A, rA)).Dot(w);
                if (d > c)
                {
                    c = d;
                    rB = j;
                }
            }
        }
        else
            for (int i = rA + 1; i < nA; ++i)
            {
                const double d = Unit(at(B, rB) - at(A, i)).Dot(w);
                if (d > c)
                {
                    c = d;
                    rA = i;
                }
            }
    }
    outA = rA;
    outB = rB;
    return outA > startA && outB > startB;
}
