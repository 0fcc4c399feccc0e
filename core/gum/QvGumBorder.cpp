// SPDX-License-Identifier: GPL-3.0-or-later
// The optional finishing of the second builder: lids over the tooth rings, and the gum
// border cut into pieces per tooth and stitched onto the crown rims.
#include <algorithm>
#include <limits>

#include "core/gum/QvCreateGumCommand.h"
#include "core/gum/QvGumHelpers.h"
#include "core/gum/QvGumRingOps.h"
#include "core/mesh/QvMesh.h"

namespace {

std::vector<int> RingRun(int g, int h, int count)
{
    std::vector<int> run;
    if (count <= 0 || g < 0 || h < 0)
        return run;
    for (int i = g % count;; i = (i + 1) % count)
    {
        run.push_back(i);
        if (i == h % count || static_cast<int>(run.size()) > count)
            break;
    }
    return run;
}

} // namespace

void QvCreateGumCommand::CapToothRing(QvGumToothRecord& record)
{
    GumCapRing(m_pGumMesh, record.m_workRing, record.m_cornerPrev, m_up);
}

void QvCreateGumCommand::CollectBorderPieces(const QvGumToothRecord& record, const std::vector<std::vector<int>>& loops,
                                             std::vector<std::vector<int>>& gumRuns,
                                             std::vector<std::vector<int>>& ringRuns)
{
    const std::vector<QvPoint>& ring = record.m_ring;
    const int count = static_cast<int>(ring.size());
    if (count == 0)
        return;
    auto verts = [&](int s) -> const std::vector<int>& { return record.m_sides[s].m_vertices; };
    auto nearestRing = [&](int v) { return GumNearestPoint(Pos(v), ring); };
    auto addPiece = [&](int e, int f, int g, int h) {
        const std::vector<int>* loop = GumLoopOf(loops, e);
        if (!loop)
            return;
        std::vector<int> run = GumLoopPart(*loop, e, f);
        std::vector<int> ringRun = RingRun(g, h, count);
        if (run.empty() || ringRun.empty())
            return;
        gumRuns.push_back(std::move(run));
        ringRuns.push_back(std::move(ringRun));
    };
    int start = -1;
    if (!verts(0).empty())
        start = 0;
    else if (verts(1).size() >= 2)
        start = 1;
    else if (!verts(2).empty())
        start = 2;
    else if (verts(3).size() >= 2)
        start = 3;
    if (start < 0)
    {
        const std::vector<int>* loop = GumLoopOf(loops, record.m_gapBottom);
        if (!loop || loop->size() < 2)
            return;
        const int L = static_cast<int>(loop->size());
        int e = 0;
        double best = std::numeric_limits<double>::max();
        for (int i = 0; i < L; ++i)
        {
            const double d = Pos((*loop)[static_cast<std::size_t>(i)]).SquaredDistance(ring[0]);
            if (d < best)
            {
                best = d;
                e = i;
            }
        }
        const bool forward =
            count > 1 && IsZero(ring[1].SquaredDistance(Pos((*loop)[static_cast<std::size_t>((e + 1) % L)])));
        std::vector<int> run;
        for (int k = 0; k < L; ++k)
            run.push_back((*loop)[static_cast<std::size_t>(((forward ? e + k : e - k) % L + L) % L)]);
        std::vector<int> ringRun(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            ringRun[static_cast<std::size_t>(i)] = i;
        gumRuns.push_back(std::move(run));
        ringRuns.push_back(std::move(ringRun));
        return;
    }
    auto nextFilled = [&](int s) {
        for (int k = 1; k <= 4; ++k)
            if (!verts((s + k) % 4).empty())
                return (s + k) % 4;
        return s;
    };
    struct Pair
    {
        int e, f, g, h;
    };
    std::vector<Pair> pairs;
    int i = start;
    for (int guard = 0; guard < 8; ++guard)
    {
        int d = nextFilled(i);
        const int e = verts(i).back();
        const int f = verts(d).front();
        const int g = record.m_anchor2[i] != -1 ? record.m_anchor2[i] : nearestRing(e);
        const int h = record.m_anchor2[d] != -1 ? record.m_anchor2[d] : nearestRing(f);
        pairs.push_back({e, f, g, h});
        if (verts(d).size() == 1 && d != start)
            d = nextFilled(d);
        if (d == start)
            break;
        i = d;
    }
    for (const Pair& p : pairs)
        addPiece(p.e, p.f, p.g, p.h);
    for (const auto& [w, z] : record.m_bridgePairs)
        addPiece(w, z, nearestRing(w), nearestRing(z));
}

bool QvCreateGumCommand::PrepareBorderPieces(const QvGumToothRecord& record, const std::vector<std::vector<int>>& loops,
                                             std::vector<std::vector<int>>& gumRuns,
                                             std::vector<std::vector<int>>& ringRuns)
{
    const std::size_t first = gumRuns.size();
    CollectBorderPieces(record, loops, gumRuns, ringRuns);
    auto ringPoints = [&](const std::vector<int>& idx) {
        std::vector<QvPoint> pts;
        for (const int i : idx)
            pts.push_back(record.m_ring[static_cast<std::size_t>(i)]);
        return pts;
    };
    auto gumPoints = [&](const std::vector<int>& idx) {
        std::vector<QvPoint> pts;
        for (const int v : idx)
            pts.push_back(Pos(v));
        return pts;
    };
    const std::size_t pieces = gumRuns.size() - first;
    for (std::size_t k = first; k < gumRuns.size(); ++k)
    {
        const std::vector<QvPoint> R = ringPoints(ringRuns[k]);
        const std::vector<QvPoint> G = gumPoints(gumRuns[k]);
        const bool against = pieces > 1 ? (R.back() - R.front()).Dot(G.back() - G.front()) < 0.0
                                        : GumRunAgainstRing(R, G);
        if (against)
            std::reverse(gumRuns[k].begin(), gumRuns[k].end());
    }
    return record.m_gapPrev == 2 || record.m_gapNext == 2;
}

void QvCreateGumCommand::StitchBorderPiece(const std::vector<int>& gumRun, const std::vector<QvPoint>& ringPoints,
                                           bool touching)
{
    GumStitchBorderRun(m_pGumMesh, gumRun, ringPoints, touching);
}
