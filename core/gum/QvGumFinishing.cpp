// SPDX-License-Identifier: GPL-3.0-or-later
// The two optional finishing steps: a cap over each tooth opening, and the gum border
// stitched onto the crown rims. Both add tag-0 faces; neither reports failure.
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/gum/QvCreateGumCommandOld.h"
#include "core/gum/QvGumHelpers.h"
#include "core/mesh/QvMesh.h"

namespace {

int Mod(int i, int n) { return ((i % n) + n) % n; }

void Tri(QvMesh* mesh, int a, int b, int c) { static_cast<void>(mesh->AddFace(a, b, c, 0)); }

// The boundary loop holding the vertex; null when none does.
const std::vector<int>* LoopOf(const std::vector<std::vector<int>>& loops, int vertex)
{
    for (const std::vector<int>& loop : loops)
        if (std::find(loop.begin(), loop.end(), vertex) != loop.end())
            return &loop;
    return nullptr;
}

// The forward part of the loop from vertex a to vertex b, both included; empty when
// either is missing.
std::vector<int> LoopPart(const std::vector<int>& loop, int a, int b)
{
    const auto ia = std::find(loop.begin(), loop.end(), a);
    const auto ib = std::find(loop.begin(), loop.end(), b);
    if (ia == loop.end() || ib == loop.end())
        return {};
    const int n = static_cast<int>(loop.size());
    std::vector<int> part;
    for (int i = static_cast<int>(ia - loop.begin());; i = (i + 1) % n)
    {
        part.push_back(loop[static_cast<std::size_t>(i)]);
        if (loop[static_cast<std::size_t>(i)] == b || static_cast<int>(part.size()) > n)
            break;
    }
    return part;
}

QvVector Unit(QvVector v)
{
    v.Normalize();
    return v;
}

} // namespace

void QvCreateGumCommandOld::CapToothRing(QvGumToothInfo* record)
{
    if (!record || !m_pGumMesh)
        return;
    QvMesh* mesh = m_pGumMesh;
    const std::vector<QvPoint>& ring = record->m_ring;
    const int n = static_cast<int>(ring.size());
    if (n < 3)
        return;
    const int f0 = static_cast<int>(mesh->m_faces.size());
    std::vector<int> V;
    AddVertices(ring, V);
    auto vid = [&](int i) { return V[static_cast<std::size_t>(Mod(i, n))]; };
    auto orient = [&]() {
        const int count = static_cast<int>(mesh->m_faces.size());
        if (count <= f0)
            return;
        const int u = (f0 + count) / 2;
        mesh->UpdateFaceNormals({u});
        if (mesh->m_faces[static_cast<std::size_t>(u)].m_normal.Dot(m_up) > 0.0)
            mesh->m_faces[static_cast<std::size_t>(u)].Flip();
        std::vector<int> others;
        for (int f = f0; f < count; ++f)
            if (f != u)
                others.push_back(f);
        mesh->OrientFaces(others);
    };
    // The sweep needs six ring points each side of its first chord; a short ring gets a fan.
    if (n <= 12)
    {
        QvVector sum;
        for (const QvPoint& p : ring)
            sum = sum + (p - QvPoint());
        const int c = mesh->AddVertex(QvPoint() + sum / static_cast<double>(n));
        for (int i = 0; i < n; ++i)
            Tri(mesh, vid(i), vid(i + 1), c);
        orient();
        return;
    }
    double perimeter = 0.0;
    for (int i = 0; i < n; ++i)
        perimeter += ring[static_cast<std::size_t>(i)].Distance(ring[static_cast<std::size_t>(Mod(i + 1, n))]);
    const double s = 5.0 * perimeter / n;
    const int p = record->m_nPrevCorner >= 0 ? record->m_nPrevCorner : 0;
    std::vector<int> prev = {vid(p + 1), vid(p), vid(p - 1)};
    int a = p + 6, b = p - 6;
    const int stop = p + n / 2;
    auto strip = [mesh](const std::vector<int>& x, const std::vector<int>& y, bool byIndex) {
        StitchChains(mesh, x.data(), x.data() + x.size(), y.data(), y.data() + y.size(), byIndex);
    };
    auto fans = [&](int first, int last) {
        for (int j = 0; j < 5; ++j)
            Tri(mesh, vid(a - 5 + j), vid(a - 4 + j), first);
        for (int j = 0; j < 5; ++j)
            Tri(mesh, vid(b + j), vid(b + j + 1), last);
    };
    while (true)
    {
        const QvPoint& A = ring[static_cast<std::size_t>(Mod(a, n))];
        const QvPoint& B = ring[static_cast<std::size_t>(Mod(b, n))];
        const int c = static_cast<int>(A.Distance(B) / s + 0.5);
        std::vector<int> row = {vid(a)};
        for (int j = 1; j < c; ++j)
            row.push_back(mesh->AddVertex(A + (B - A) * (static_cast<double>(j) / c)));
        row.push_back(vid(b));
        if (prev.size() < row.size())
        {
            const std::vector<int> inner(row.begin() + 1, row.end() - 1);
            fans(inner.front(), inner.back());
            strip(prev, inner, false);
        }
        else if (prev.size() == 2)
        {
            std::vector<int> x, y;
            for (int j = 0; j <= 5; ++j)
            {
                x.push_back(vid(a - 5 + j));
                y.push_back(vid(b + 5 - j));
            }
            strip(x, y, true);
        }
        else
        {
            const std::vector<int> rest(prev.begin() + 1, prev.end() - 1);
            fans(rest.front(), rest.back());
            strip(rest, row, false);
        }
        prev = row;
        if (Mod(stop - a, n) <= 5)
            break;
        a += 5;
        b -= 5;
    }
    std::vector<int> lastRow;
    for (int i = a + 1; Mod(i, n) != Mod(b, n); ++i)
        lastRow.push_back(vid(i));
    strip(prev, lastRow, false);
    orient();
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
        const std::vector<int>* loop = seed >= 0 ? LoopOf(loops, seed) : nullptr;
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
        const std::vector<int>* loop = LoopOf(loops, seed);
        if (!loop)
            return;
        std::vector<int> run = LoopPart(*loop, va, vb);
        if (std::find(run.begin(), run.end(), seed) == run.end())
            run = LoopPart(*loop, vb, va);
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
        const std::vector<QvPoint> R = ringPoints(ringRuns[0]);
        const std::vector<QvPoint> G = gumPoints(gumRuns[0]);
        const int m = static_cast<int>(std::min(R.size(), G.size()));
        if (m >= 3)
        {
            std::vector<QvPoint> Rs, Gs;
            GumResampleEven(R, m, Rs);
            GumResampleEven(G, m, Gs);
            int g = 1;
            double best = -1.0;
            for (int i = 1; i < static_cast<int>(Rs.size()); ++i)
            {
                const double d = Rs[static_cast<std::size_t>(i)].SquaredDistance(Rs[0]);
                if (d > best)
                {
                    best = d;
                    g = i;
                }
            }
            const QvVector sDir = Unit(Rs[static_cast<std::size_t>(g)] - Rs[0]);
            const QvVector hDir = Unit(Rs[static_cast<std::size_t>(g / 2)] - Rs[0]);
            const QvVector qDir = Unit(Gs[static_cast<std::size_t>(g / 2)] - Gs[0]);
            const double a1 = std::acos(std::clamp(hDir.Dot(qDir), -1.0, 1.0));
            const double a2 = std::acos(std::clamp(hDir.Dot(sDir), -1.0, 1.0));
            if (a2 > 0.0 && (a2 - a1) / a2 < 0.5)
                std::reverse(gumRuns[0].begin(), gumRuns[0].end());
        }
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
    QvMesh* mesh = m_pGumMesh;
    const int L = static_cast<int>(gumRun.size());
    const int N = static_cast<int>(ringPoints.size());
    if (L < 2 || N == 0)
        return;
    std::vector<int> match(static_cast<std::size_t>(L), 0);
    for (int k = 1; k < L; ++k)
        match[static_cast<std::size_t>(k)] = GumNearestPoint(Pos(gumRun[static_cast<std::size_t>(k)]), ringPoints);
    if (pinnedEnds)
        match[static_cast<std::size_t>(L - 1)] = N - 1;
    for (int k = 1; k < L; ++k)
        if (match[static_cast<std::size_t>(k)] <= match[static_cast<std::size_t>(k - 1)])
        {
            const int base = match[static_cast<std::size_t>(k - 1)];
            for (int j = 0; k + j < L; ++j)
                if (match[static_cast<std::size_t>(k + j)] <= base + j)
                    match[static_cast<std::size_t>(k + j)] = std::min(N - 1, base + j + 1);
        }
    for (int j = L - 1; j >= 0; --j)
        if (match[static_cast<std::size_t>(j)] == N - 1)
            for (int m = 1; j - m >= 0; ++m)
                if (match[static_cast<std::size_t>(j - m)] > N - 1 - m)
                    match[static_cast<std::size_t>(j - m)] = std::max(0, N - 1 - m);

    struct Noted
    {
        int a, b, c;
    };
    std::vector<Noted> noted;
    std::vector<int> removed;
    const int pairs = pinnedEnds ? L - 1 : L;
    for (int k = 0; k < pairs; ++k)
    {
        const int g0 = gumRun[static_cast<std::size_t>(k)];
        const int g1 = gumRun[static_cast<std::size_t>((k + 1) % L)];
        const int edge = mesh->FindEdge(g0, g1);
        if (edge < 0)
            continue;
        const int face = mesh->m_edges[static_cast<std::size_t>(edge)].m_faces[0];
        if (face < 0)
            continue;
        const int X = mesh->m_faces[static_cast<std::size_t>(face)].GetThirdVertex(g0, g1);
        std::vector<int> chain = {g0};
        const int from = match[static_cast<std::size_t>(k)];
        const int to = match[static_cast<std::size_t>((k + 1) % L)];
        for (int i = Mod(from + 1, N); i != Mod(to, N) && static_cast<int>(chain.size()) <= N; i = Mod(i + 1, N))
            chain.push_back(mesh->AddVertex(ringPoints[static_cast<std::size_t>(i)]));
        chain.push_back(g1);
        if (chain.size() < 3 || X < 0)
            continue;
        for (std::size_t j = 0; j + 1 < chain.size(); ++j)
            noted.push_back({X, chain[j], chain[j + 1]});
        removed.push_back(face);
    }
    std::sort(removed.begin(), removed.end());
    removed.erase(std::unique(removed.begin(), removed.end()), removed.end());
    for (auto it = removed.rbegin(); it != removed.rend(); ++it)
        mesh->RemoveFace(*it, false);
    for (const Noted& t : noted)
        Tri(mesh, t.a, t.b, t.c);
    const int firstMoved = pinnedEnds ? 1 : 0;
    const int lastMoved = pinnedEnds ? L - 2 : L - 1;
    if (!pinnedEnds || L > 2)
        for (int k = firstMoved; k <= lastMoved; ++k)
            static_cast<void>(mesh->SetVertexPosition(gumRun[static_cast<std::size_t>(k)],
                                                      ringPoints[static_cast<std::size_t>(match[static_cast<std::size_t>(k)])]));
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
