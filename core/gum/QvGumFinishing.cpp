// SPDX-License-Identifier: GPL-3.0-or-later
// The two optional finishing steps: a cap over each tooth opening, and the gum border
// stitched onto the crown rims. Both add tag-0 faces; neither reports failure.
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/gum/QvCreateGumCommandOld.h"
#include "core/gum/QvGumHelpers.h"
#include "core/gum/QvGumRingOps.h"
#include "core/mesh/QvMesh.h"

namespace {

int Mod(int i, int n) { return ((i % n) + n) % n; }

QvVector Unit(QvVector v)
{
    v.Normalize();
    return v;
}

} // namespace

void QvCreateGumCommandOld::CapToothRing(QvGumToothInfo* record)
{
    if (record)
        GumCapRing(m_pGumMesh, record->m_ring, record->m_nPrevCorner, m_up);
}

void QvCreateGumCommandOld::FindBorderRuns(QvGumToothInfo* record, const std::vector<std::vector<int>>& loops,
                                           std::vector<std::vector<int>>& gumRuns,
                                           std::vector<std::vector<int>>& ringRuns)
{
    const QvGumToothInfo& T = *record;
    const int m = static_cast<int>(T.m_boundaryRing.size());
    if (m == 0)
        return;
    auto seedOf = [&T](int k) { return T.m_sides[k].m_vertices.empty() ? -1 : T.m_sides[k].m_vertices.back(); };
    const bool prev = T.m_nPrevLink == 2;
    const bool next = T.m_nNextLink == 2;
    if (!prev && !next)
    {
        const int seed = seedOf(T.m_nPosition == 2 ? 1 : 0);
        const std::vector<int>* loop = seed >= 0 ? GumLoopOf(loops, seed) : nullptr;
        if (!loop || loop->size() < 2)
            return;
        std::vector<QvPoint> positions;
        for (const int v : *loop)
            positions.push_back(Pos(v));
        const int start = GumNearestPoint(T.m_boundaryRing[0], positions);
        const int L = static_cast<int>(loop->size());
        const bool forward =
            m > 1 && IsZero(positions[static_cast<std::size_t>((start + 1) % L)].SquaredDistance(T.m_boundaryRing[1]));
        std::vector<int> run;
        for (int k = 0; k < L; ++k)
            run.push_back((*loop)[static_cast<std::size_t>(Mod(forward ? start + k : start - k, L))]);
        std::vector<int> ringRun(static_cast<std::size_t>(m));
        for (int i = 0; i < m; ++i)
            ringRun[static_cast<std::size_t>(i)] = i;
        gumRuns.push_back(std::move(run));
        ringRuns.push_back(std::move(ringRun));
        return;
    }
    auto paired = [&](int va, int vb, int ea, int eb, int seed) {
        if (va < 0 || vb < 0 || ea < 0 || eb < 0 || seed < 0 || ea >= m || eb >= m)
            return;
        const std::vector<int>* loop = GumLoopOf(loops, seed);
        if (!loop)
            return;
        std::vector<int> run = GumLoopPart(*loop, va, vb);
        if (std::find(run.begin(), run.end(), seed) == run.end())
            run = GumLoopPart(*loop, vb, va);
        if (run.empty())
            return;
        std::vector<int> ringRun;
        for (int i = ea;; i = (i + 1) % m)
        {
            ringRun.push_back(i);
            if (i == eb)
                break;
        }
        gumRuns.push_back(std::move(run));
        ringRuns.push_back(std::move(ringRun));
    };
    const int* e = T.m_nContactEndBoundary;
    auto v = [&T](int k) { return T.m_sides[k].m_nLinkVertex; };
    if (prev && next)
    {
        paired(v(0), v(1), e[0], e[1], seedOf(0));
        paired(v(2), v(3), e[2], e[3], seedOf(2));
    }
    else if (prev)
        paired(v(2), v(1), e[2], e[1], seedOf(2));
    else
        paired(v(0), v(3), e[0], e[3], seedOf(0));
}

bool QvCreateGumCommandOld::AlignBorderRuns(QvGumToothInfo* record, const std::vector<std::vector<int>>& loops,
                                            std::vector<std::vector<int>>& gumRuns,
                                            std::vector<std::vector<int>>& ringRuns)
{
    FindBorderRuns(record, loops, gumRuns, ringRuns);
    auto ringPoints = [record](const std::vector<int>& idx) {
        std::vector<QvPoint> pts;
        for (const int i : idx)
            pts.push_back(record->m_boundaryRing[static_cast<std::size_t>(i)]);
        return pts;
    };
    auto gumPoints = [this](const std::vector<int>& idx) {
        std::vector<QvPoint> pts;
        for (const int i : idx)
            pts.push_back(Pos(i));
        return pts;
    };
    if (gumRuns.size() == 1)
    {
        if (GumRunAgainstRing(ringPoints(ringRuns[0]), gumPoints(gumRuns[0])))
            std::reverse(gumRuns[0].begin(), gumRuns[0].end());
    }
    else
        for (std::size_t k = 0; k < gumRuns.size(); ++k)
        {
            const std::vector<QvPoint> R = ringPoints(ringRuns[k]);
            const std::vector<QvPoint> G = gumPoints(gumRuns[k]);
            if (Unit(R.back() - R.front()).Dot(Unit(G.back() - G.front())) < 0.0)
                std::reverse(gumRuns[k].begin(), gumRuns[k].end());
        }
    return record->m_nNextLink == 2 || record->m_nPrevLink == 2;
}

void QvCreateGumCommandOld::StitchBorderRun(const std::vector<int>& gumRun, const std::vector<QvPoint>& ringPoints,
                                            bool pinnedEnds)
{
    GumStitchBorderRun(m_pGumMesh, gumRun, ringPoints, pinnedEnds);
}

void QvCreateGumCommandOld::StitchBorder()
{
    const int f0 = static_cast<int>(m_pGumMesh->m_faces.size());
    std::vector<std::vector<int>> loops;
    m_pGumMesh->GetBoundaryLoops(loops);
    for (QvGumToothInfo* record : m_toothInfos)
    {
        std::vector<std::vector<int>> gumRuns, ringRuns;
        const bool pinned = AlignBorderRuns(record, loops, gumRuns, ringRuns);
        for (std::size_t k = 0; k < gumRuns.size(); ++k)
        {
            std::vector<QvPoint> points;
            for (const int i : ringRuns[k])
                points.push_back(record->m_boundaryRing[static_cast<std::size_t>(i)]);
            StitchBorderRun(gumRuns[k], points, pinned);
        }
    }
    std::vector<int> added;
    for (int f = f0; f < static_cast<int>(m_pGumMesh->m_faces.size()); ++f)
        added.push_back(f);
    m_pGumMesh->OrientFaces(added);
}
