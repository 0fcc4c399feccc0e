// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/gum/QvGumRingOps.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPolyline.h"
#include "core/gum/QvCreateGumCommandOld.h"
#include "core/gum/QvGumHelpers.h"
#include "core/mesh/QvMesh.h"
#include "core/base/QvTypeCodes.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothBase.h"

namespace {

int Mod(int i, int n) { return ((i % n) + n) % n; }

double SegmentDistance(const QvPoint& p, const QvPoint& a, const QvPoint& b)
{
    const QvVector ab = b - a;
    const double len2 = ab.SquaredLength();
    double t = len2 > 0.0 ? (p - a).Dot(ab) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return p.Distance(a + ab * t);
}

void Tri(QvMesh* mesh, int a, int b, int c) { static_cast<void>(mesh->AddFace(a, b, c, 0)); }

void Strip(QvMesh* mesh, const std::vector<int>& x, const std::vector<int>& y, bool byIndex)
{
    QvCreateGumCommandOld::StitchChains(mesh, x.data(), x.data() + x.size(), y.data(), y.data() + y.size(), byIndex);
}

QvVector Unit(QvVector v)
{
    v.Normalize();
    return v;
}

// The arc between the two ends of the largest gap of the sorted indices, the short way round.
std::vector<int> ContactArc(const std::vector<int>& keys, int n, int& start, int& stop)
{
    GumLargestRingGap(keys, n, start, stop);
    std::vector<int> arc;
    for (int i = start;; i = (i + 1) % n)
    {
        arc.push_back(i);
        if (i == stop || static_cast<int>(arc.size()) > n)
            break;
    }
    return arc;
}

} // namespace

void GumArchOrder(const std::map<QvToothBase*, QvMatrix*>& teeth, const QvFrame& jawFrame,
                  std::vector<QvToothBase*>& out)
{
    std::vector<QvToothBase*> listed;
    QvPolyline centres;
    for (const auto& [tooth, matrix] : teeth)
    {
        QvPoint c = tooth->GetCenter();
        if (matrix)
            c = *matrix * c;
        listed.push_back(tooth);
        centres.m_points.push_back(c);
    }
    // Two teeth cannot be fitted by a plane; any order of two is a chain.
    if (QvPlane* plane = QvPlane::FitPoints(centres.m_points))
    {
        for (QvPoint& p : centres.m_points)
            p = plane->ProjectPoint(p);
        delete plane;
    }
    std::vector<int> order;
    if (listed.size() < 2 || !centres.SortByNearestNeighbour(order) || order.size() != listed.size())
    {
        order.clear();
        for (std::size_t i = 0; i < listed.size(); ++i)
            order.push_back(static_cast<int>(i));
    }
    const std::size_t first = out.size();
    for (const int i : order)
        out.push_back(listed[static_cast<std::size_t>(i)]);
    if (order.size() >= 2)
    {
        const QvVector span = centres.m_points[static_cast<std::size_t>(order.back())] -
                              centres.m_points[static_cast<std::size_t>(order.front())];
        if (span.Dot(jawFrame.m_dirY) > 0.0)
            std::reverse(out.begin() + static_cast<std::ptrdiff_t>(first), out.end());
    }
}

void GumEnsureCrownLoop(QvToothBase* tooth)
{
    if (!tooth->GetBoundaryLoop()->empty())
        return;
    if (tooth->GetType() == kQvTypeTooth && tooth->HasRootFaces())
        static_cast<QvTooth*>(tooth)->UpdateCrownLoop();
    if (tooth->GetBoundaryLoop()->empty())
        tooth->UpdateBoundaryLoop();
}

void GumPlacedRing(const QvToothBase* tooth, const QvMatrix* placement, std::vector<QvPoint>& ring, QvPoint& centre)
{
    const std::vector<int>& loop = *tooth->GetBoundaryLoop();
    const std::size_t n = loop.size();
    ring.clear();
    if (n == 0)
        return;
    QvVector sum;
    for (const int v : loop)
    {
        const QvPoint& p = tooth->m_vertices[static_cast<std::size_t>(v)].m_point;
        ring.push_back(placement ? *placement * p : p);
        sum = sum + (ring.back() - QvPoint());
    }
    centre = QvPoint() + sum / static_cast<double>(n);
    QvVector axis = tooth->GetFrame()->m_dirZ;
    if (placement)
        axis = *placement * axis;
    if ((ring[0] - centre).Cross(ring[n / 4] - centre).Dot(axis) < 0.0)
        std::reverse(ring.begin(), ring.end());
}

double GumMeanEdgeLength(const std::vector<QvMesh*>& meshes)
{
    double sum = 0.0;
    std::size_t count = 0;
    for (const QvMesh* mesh : meshes)
    {
        if (!mesh)
            continue;
        for (const QvEdge& edge : mesh->m_edges)
            sum += mesh->m_vertices[static_cast<std::size_t>(edge.m_vertices[0])].m_point.Distance(
                mesh->m_vertices[static_cast<std::size_t>(edge.m_vertices[1])].m_point);
        count += mesh->m_edges.size();
    }
    return count ? sum / static_cast<double>(count) : 0.0;
}

int GumRingMiddleIndex(const std::vector<QvPoint>& ring, int from, int to, const QvPlane& plane)
{
    const int n = static_cast<int>(ring.size());
    if (n == 0 || from < 0 || to < 0)
        return -1;
    const int c = Mod(to - from, n);
    if (c < 1)
        return -1;
    std::vector<double> L(static_cast<std::size_t>(c) + 1, 0.0);
    QvPoint prev = plane.ProjectPoint(ring[static_cast<std::size_t>(Mod(from, n))]);
    for (int k = 1; k <= c; ++k)
    {
        const QvPoint p = plane.ProjectPoint(ring[static_cast<std::size_t>(Mod(from + k, n))]);
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

bool GumFacingCorners(const std::vector<QvPoint>& ring, const QvPoint& centre, int archPos, int anchors[4],
                      int& cornerPrev, int& cornerNext)
{
    const int n = static_cast<int>(ring.size());
    if (n == 0)
        return false;
    auto arcMid = [n](int u, int v) { return Mod(u + Mod(v - u, n) / 2, n); };
    auto corner = [&](int& lo, int& hi) {
        if (lo < 0 || hi < 0)
            return -1;
        if (lo == hi)
        {
            const int c = lo;
            lo = hi = -1;
            return c;
        }
        return arcMid(lo, hi);
    };
    if (archPos != 0)
        cornerPrev = corner(anchors[1], anchors[2]);
    if (archPos != 2)
        cornerNext = corner(anchors[3], anchors[0]);
    if (archPos == 0 && cornerNext >= 0)
        cornerPrev = GumMostAlignedPoint(ring[static_cast<std::size_t>(cornerNext)], centre, ring, cornerNext);
    else if (archPos == 2 && cornerPrev >= 0)
        cornerNext = GumMostAlignedPoint(ring[static_cast<std::size_t>(cornerPrev)], centre, ring, cornerPrev);
    return cornerPrev >= 0 && cornerNext >= 0;
}

bool GumRingSide(const std::vector<QvPoint>& ring, int k, int cornerNext, int cornerPrev, int midA, int midB,
                 std::vector<QvPoint>& out)
{
    const int n = static_cast<int>(ring.size());
    const int from = (k == 0 || k == 3) ? cornerNext : cornerPrev;
    const int to = k < 2 ? midA : midB;
    const int step = (k == 0 || k == 2) ? 1 : -1;
    out.clear();
    if (n == 0 || from < 0 || to < 0)
        return false;
    for (int i = Mod(from, n);; i = Mod(i + step, n))
    {
        out.push_back(ring[static_cast<std::size_t>(i)]);
        if (i == to || static_cast<int>(out.size()) > n)
            break;
    }
    return out.size() >= 2;
}

int GumSideOffset(int ringSize, int k, int corner, int anchor)
{
    if (anchor == -1 || ringSize <= 0)
        return 0;
    return (k == 0 || k == 2) ? Mod(anchor - corner, ringSize) : Mod(corner - anchor, ringSize);
}

const std::vector<int>* GumLoopOf(const std::vector<std::vector<int>>& loops, int vertex)
{
    if (vertex < 0)
        return nullptr;
    for (const std::vector<int>& loop : loops)
        if (std::find(loop.begin(), loop.end(), vertex) != loop.end())
            return &loop;
    return nullptr;
}

std::vector<int> GumLoopPart(const std::vector<int>& loop, int a, int b)
{
    const auto ia = std::find(loop.begin(), loop.end(), a);
    if (ia == loop.end() || std::find(loop.begin(), loop.end(), b) == loop.end())
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

bool GumRingDirection(const std::vector<QvPoint>& ring, const QvPoint& centre, const QvVector& midBDirection,
                      const QvVector& up, const QvPlane& basePlane, QvVector& out)
{
    double R = std::numeric_limits<double>::min();
    for (const QvPoint& p : ring)
        R = std::max(R, basePlane.ProjectVector(p - centre).Length());
    QvPlane* fit = QvPlane::FitPoints(ring);
    if (!fit)
        return false;
    QvVector nrm = fit->GetNormal();
    delete fit;
    if (nrm.Dot(up) < 0.0)
        nrm = -nrm;
    QvPoint H;
    if (!basePlane.IntersectLine(QvLine(centre, nrm), H))
        return false;
    const QvPlane Q(centre, up.Cross(midBDirection));
    QvPoint F = basePlane.ProjectPoint(Q.ProjectPoint(H));
    const QvPoint F0 = basePlane.ProjectPoint(centre);
    const double d = F.Distance(F0);
    if (d > 0.6 * R)
        F = F0 + (F - F0) * (0.6 * R / d);
    out = centre - F;
    if (out.IsZero())
        return false;
    out.Normalize();
    return true;
}

bool GumWeldRings(QvGumRingView a, QvGumRingView b, double tolerance, bool facingFromB)
{
    std::vector<QvPoint>& ringA = *a.ring;
    std::vector<QvPoint>& ringB = *b.ring;
    const int nA = static_cast<int>(ringA.size());
    const int nB = static_cast<int>(ringB.size());
    if (nA == 0 || nB == 0)
        return false;
    std::vector<int> nearAB(static_cast<std::size_t>(nA)), nearBA(static_cast<std::size_t>(nB));
    for (int i = 0; i < nA; ++i)
        nearAB[static_cast<std::size_t>(i)] = GumNearestPoint(ringA[static_cast<std::size_t>(i)], ringB);
    for (int j = 0; j < nB; ++j)
        nearBA[static_cast<std::size_t>(j)] = GumNearestPoint(ringB[static_cast<std::size_t>(j)], ringA);
    const QvVector d = b.centre - a.centre;

    std::map<int, int> P;
    for (int i = 0; i < nA; ++i)
    {
        const int j = nearAB[static_cast<std::size_t>(i)];
        if ((ringB[static_cast<std::size_t>(j)] - ringA[static_cast<std::size_t>(i)]).Dot(d) < 0.0)
            P.emplace(i, j);
    }
    if (!P.empty())
    {
        const int first = P.begin()->second;
        if (std::all_of(P.begin(), P.end(), [first](const auto& e) { return e.second == first; }))
            P.clear();
    }
    auto A = [&](int i) -> const QvPoint& { return ringA[static_cast<std::size_t>(Mod(i, nA))]; };
    auto B = [&](int j) -> const QvPoint& { return ringB[static_cast<std::size_t>(Mod(j, nB))]; };
    for (int i = 0; i < nA; ++i)
    {
        const int j = nearAB[static_cast<std::size_t>(i)];
        if (nearBA[static_cast<std::size_t>(j)] != i || P.count(i))
            continue;
        if (SegmentDistance(B(j), A(i - 1), A(i)) < tolerance || SegmentDistance(B(j), A(i), A(i + 1)) < tolerance ||
            SegmentDistance(A(i), B(j - 1), B(j)) < tolerance || SegmentDistance(A(i), B(j), B(j + 1)) < tolerance)
            P.emplace(i, j);
    }
    if (P.size() <= 1)
    {
        const int s = GumMostAlignedPoint(a.centre, b.centre, ringA, -1);
        const int w = facingFromB ? GumMostAlignedPoint(b.centre, a.centre, ringB, -1)
                                  : (s >= 0 ? nearAB[static_cast<std::size_t>(s)] : -1);
        if (s < 0 || w < 0)
            return false;
        a.anchor[0] = a.anchor[3] = s;
        b.anchor[1] = b.anchor[2] = w;
        return true;
    }
    std::vector<int> keysA, keysB;
    for (const auto& [i, j] : P)
    {
        keysA.push_back(i);
        keysB.push_back(j);
    }
    std::sort(keysB.begin(), keysB.end());
    int startA = 0, stopA = 0, startB = 0, stopB = 0;
    const std::vector<int> arcA = ContactArc(keysA, nA, startA, stopA);
    const std::vector<int> arcB = ContactArc(keysB, nB, startB, stopB);

    const int m0 = a.boundaryCount;
    const int s0 = nA - m0;
    auto toBoundary = [&](int x) { return x <= a.anchor[2] ? x : Mod(x - s0 + m0, m0); };
    a.anchor2[0] = toBoundary(stopA);
    a.anchor2[3] = toBoundary(startA);
    b.anchor2[1] = startB;
    b.anchor2[2] = stopB;

    const int lenA = static_cast<int>(arcA.size());
    const int lenB = static_cast<int>(arcB.size());
    std::vector<QvPoint> W;
    if (lenA > lenB)
    {
        GumMiddleChain(ringB, arcB, ringA, arcA, W);
        for (int k = 0; k < lenA; ++k)
            ringA[static_cast<std::size_t>(arcA[static_cast<std::size_t>(k)])] = W[static_cast<std::size_t>(k)];
        std::reverse(W.begin(), W.end());
        for (int k = 0; k < lenB; ++k)
            ringB[static_cast<std::size_t>(arcB[static_cast<std::size_t>(k)])] = W[static_cast<std::size_t>(k)];
        ringB.insert(ringB.begin() + stopB + 1, W.begin() + lenB, W.end());
        const int s = lenA - lenB;
        a.anchor[0] = stopA;
        a.anchor[3] = startA;
        b.anchor[1] = startB + (startB >= stopB ? s : 0);
        b.anchor[2] = stopB + s;
    }
    else
    {
        GumMiddleChain(ringA, arcA, ringB, arcB, W);
        for (int k = 0; k < lenB; ++k)
            ringB[static_cast<std::size_t>(arcB[static_cast<std::size_t>(k)])] = W[static_cast<std::size_t>(k)];
        std::reverse(W.begin(), W.end());
        for (int k = 0; k < lenA; ++k)
            ringA[static_cast<std::size_t>(arcA[static_cast<std::size_t>(k)])] = W[static_cast<std::size_t>(k)];
        ringA.insert(ringA.begin() + stopA + 1, W.begin() + lenA, W.end());
        const int s = lenB - lenA;
        a.anchor[0] = stopA + s;
        a.anchor[3] = startA + (startA >= stopA ? s : 0);
        const int m = std::min(startA, stopA);
        for (int k = 1; k <= 2; ++k)
            if (a.anchor[k] > m)
                a.anchor[k] += s;
        b.anchor[1] = startB;
        b.anchor[2] = stopB;
    }
    return true;
}

void GumCapRing(QvMesh* mesh, const std::vector<QvPoint>& ring, int ringStart, const QvVector& up)
{
    const int n = static_cast<int>(ring.size());
    if (!mesh || n < 3)
        return;
    const int f0 = static_cast<int>(mesh->m_faces.size());
    std::vector<int> V;
    V.reserve(ring.size());
    for (const QvPoint& p : ring)
        V.push_back(mesh->AddVertex(p));
    auto vid = [&](int i) { return V[static_cast<std::size_t>(Mod(i, n))]; };
    auto orient = [&]() {
        const int count = static_cast<int>(mesh->m_faces.size());
        if (count <= f0)
            return;
        const int u = (f0 + count) / 2;
        mesh->UpdateFaceNormals({u});
        if (mesh->m_faces[static_cast<std::size_t>(u)].m_normal.Dot(up) > 0.0)
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
    const int p = ringStart >= 0 ? ringStart : 0;
    std::vector<int> prev = {vid(p + 1), vid(p), vid(p - 1)};
    int a = p + 6, b = p - 6;
    const int stop = p + n / 2;
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
            Strip(mesh, prev, inner, false);
        }
        else if (prev.size() == 2)
        {
            std::vector<int> x, y;
            for (int j = 0; j <= 5; ++j)
            {
                x.push_back(vid(a - 5 + j));
                y.push_back(vid(b + 5 - j));
            }
            Strip(mesh, x, y, true);
        }
        else
        {
            const std::vector<int> rest(prev.begin() + 1, prev.end() - 1);
            fans(rest.front(), rest.back());
            Strip(mesh, rest, row, false);
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
    Strip(mesh, prev, lastRow, false);
    orient();
}

void GumStitchBorderRun(QvMesh* mesh, const std::vector<int>& gumRun, const std::vector<QvPoint>& ringPoints,
                        bool pinnedEnds)
{
    const int L = static_cast<int>(gumRun.size());
    const int N = static_cast<int>(ringPoints.size());
    if (!mesh || L < 2 || N == 0)
        return;
    auto pos = [mesh](int v) -> const QvPoint& { return mesh->m_vertices[static_cast<std::size_t>(v)].m_point; };
    std::vector<int> match(static_cast<std::size_t>(L), 0);
    for (int k = 1; k < L; ++k)
        match[static_cast<std::size_t>(k)] = GumNearestPoint(pos(gumRun[static_cast<std::size_t>(k)]), ringPoints);
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
            static_cast<void>(mesh->SetVertexPosition(
                gumRun[static_cast<std::size_t>(k)], ringPoints[static_cast<std::size_t>(match[static_cast<std::size_t>(k)])]));
}

bool GumRunAgainstRing(const std::vector<QvPoint>& ringPoints, const std::vector<QvPoint>& gumPoints)
{
    auto endToEnd = [&]() {
        return ringPoints.size() >= 2 && gumPoints.size() >= 2 &&
               (ringPoints.back() - ringPoints.front()).Dot(gumPoints.back() - gumPoints.front()) < 0.0;
    };
    const int m = static_cast<int>(std::min(ringPoints.size(), gumPoints.size()));
    if (m < 3)
        return endToEnd();
    std::vector<double> ts;
    GumEvenValues(m, ts, 0.0, 1.0);
    std::vector<QvPoint> Rs, Gs;
    GumResampleAt(ringPoints, ts, Rs);
    GumResampleAt(gumPoints, ts, Gs);
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
    const QvVector u = Unit(Rs[static_cast<std::size_t>(g)] - Rs[0]);
    const QvVector w = Unit(Rs[static_cast<std::size_t>(g / 2)] - Rs[0]);
    const QvVector v = Unit(Gs[static_cast<std::size_t>(g / 2)] - Gs[0]);
    const double toFar = std::acos(std::clamp(w.Dot(u), -1.0, 1.0));
    const double toGum = std::acos(std::clamp(w.Dot(v), -1.0, 1.0));
    if (!(toFar > 0.0))
        return endToEnd();
    return (toFar - toGum) / toFar < 0.5;
}
