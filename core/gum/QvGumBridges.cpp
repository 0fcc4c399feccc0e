// SPDX-License-Identifier: GPL-3.0-or-later
// Teeth standing out of the arch (the gum of one face passes over them on a sampled
// patch), the margin chains along each tooth, the grown margin and its fairing.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvBSplineSurface.h"
#include "core/geometry/QvLine.h"
#include "core/gum/QvCreateGumCommand.h"
#include "core/gum/QvGumHelpers.h"
#include "core/mesh/QvMesh.h"
#include "core/mesh/QvMeshSmoothCommand.h"

namespace {

constexpr double kPi = 3.14159265359;

int Floor(double x) { return std::isfinite(x) ? static_cast<int>(std::floor(std::min(x, 1e6))) : 0; }

QvVector Unit(QvVector v)
{
    v.Normalize();
    return v;
}

QvVector FaceNormal(const QvMesh& mesh, int edge)
{
    if (edge < 0)
        return QvVector();
    const int f = mesh.m_edges[static_cast<std::size_t>(edge)].m_faces[0];
    if (f < 0)
        return QvVector();
    const QvFace& face = mesh.m_faces[static_cast<std::size_t>(f)];
    const QvPoint& p0 = mesh.m_vertices[static_cast<std::size_t>(face.m_vertices[0])].m_point;
    const QvPoint& p1 = mesh.m_vertices[static_cast<std::size_t>(face.m_vertices[1])].m_point;
    const QvPoint& p2 = mesh.m_vertices[static_cast<std::size_t>(face.m_vertices[2])].m_point;
    QvVector n = (p1 - p0).Cross(p2 - p0);
    if (n.IsZero())
        return QvVector();
    n.Normalize();
    return n;
}

// Whether a face holding the edge runs it from a to b.
bool RunsForward(const QvMesh& mesh, int a, int b)
{
    const int e = mesh.FindEdge(a, b);
    if (e < 0)
        return true;
    for (const int f : mesh.m_edges[static_cast<std::size_t>(e)].m_faces)
    {
        if (f < 0)
            continue;
        const QvFace& face = mesh.m_faces[static_cast<std::size_t>(f)];
        for (int k = 0; k < 3; ++k)
            if (face.m_vertices[k] == a && face.m_vertices[(k + 1) % 3] == b)
                return true;
        return false;
    }
    return true;
}

} // namespace

void QvCreateGumCommand::MarkBridgedTooth(QvGumToothRecord& prev, QvGumToothRecord& cur, QvGumToothRecord& next)
{
    const QvVector a = Unit(prev.m_centre - cur.m_centre);
    const QvVector b = Unit(next.m_centre - cur.m_centre);
    const double angle = std::acos(std::clamp(a.Dot(b), -1.0, 1.0)) * 180.0 / kPi;
    if (angle >= 120.0)
        return;
    const QvPlane& P = m_basePlane;
    const QvPoint P1 = P.ProjectPoint(cur.GetCornerPoint(3));
    const QvPoint P2 = P.ProjectPoint(cur.GetCornerPoint(2));
    const QvLine L(P.ProjectPoint(prev.m_centre), P.ProjectPoint(next.m_centre));
    if ((P1 - L.ClosestPoint(P1)).Dot(P2 - L.ClosestPoint(P2)) < 0.0)
        return;
    const double d2 = QvLine(prev.GetCornerPoint(2), next.GetCornerPoint(2)).Distance(cur.m_centre);
    const double d1 = QvLine(prev.GetCornerPoint(3), next.GetCornerPoint(3)).Distance(cur.m_centre);
    if (d2 <= d1)
    {
        cur.m_continueFace0 = true;
        prev.m_sides[0].m_grouped = cur.m_sides[0].m_grouped = cur.m_sides[1].m_grouped = next.m_sides[1].m_grouped =
            true;
    }
    else
    {
        cur.m_continueFace1 = true;
        prev.m_sides[3].m_grouped = cur.m_sides[2].m_grouped = cur.m_sides[3].m_grouped = next.m_sides[2].m_grouped =
            true;
    }
}

bool QvCreateGumCommand::FindCloseStretch(double threshold, const std::vector<QvPoint>& a,
                                          const std::vector<QvPoint>& b, int first[2], int last[2])
{
    const int nA = static_cast<int>(a.size()), nB = static_cast<int>(b.size());
    if (nA == 0 || nB == 0)
        return false;
    // The point of list from `from` towards `stop` nearest to p; best is kept across
    // calls, and the index stays `from` unless a strictly nearer point turns up.
    auto nearest = [](const QvPoint& p, const std::vector<QvPoint>& list, int from, int stop, double& best) {
        int found = from;
        const int step = stop >= from ? 1 : -1;
        for (int k = from;; k += step)
        {
            const double d = p.SquaredDistance(list[static_cast<std::size_t>(k)]);
            if (d < best)
            {
                best = d;
                found = k;
            }
            if (k == stop)
                break;
        }
        return found;
    };
    int i = 0, j = 0;
    double bestB = std::numeric_limits<double>::max(), bestA = bestB;
    while (true)
    {
        const int jn = nearest(a[static_cast<std::size_t>(i)], b, j, nB - 1, bestB);
        if (bestB < threshold)
        {
            first[0] = i;
            first[1] = jn;
            return false;
        }
        const int in = nearest(b[static_cast<std::size_t>(jn)], a, i, nA - 1, bestA);
        if (bestA < threshold)
        {
            first[0] = in;
            first[1] = jn;
            break;
        }
        if ((in == i && jn == j) || in >= nA - 1 || jn >= nB - 1)
            return false;
        i = in;
        j = jn;
    }
    i = nA - 1;
    j = nB - 1;
    bestA = bestB = std::numeric_limits<double>::max();
    while (true)
    {
        const int jn = nearest(a[static_cast<std::size_t>(i)], b, j, std::min(first[1], j), bestB);
        if (bestB < threshold)
        {
            last[0] = i;
            last[1] = jn;
            return true;
        }
        const int in = nearest(b[static_cast<std::size_t>(jn)], a, i, std::min(first[0], i), bestA);
        if (bestA < threshold)
        {
            last[0] = in;
            last[1] = jn;
            return true;
        }
        if ((in == i && jn == j) || in <= first[0] || jn <= first[1])
            return true;
        i = in;
        j = jn;
    }
}

bool QvCreateGumCommand::BuildGroupBridge(int firstRecord, int lastRecord, int face, std::vector<int>& border)
{
    const int n = lastRecord - firstRecord + 1;
    if (firstRecord < 0 || lastRecord >= static_cast<int>(m_records.size()) || n < 3)
        return false;
    auto R = [&](int j) -> QvGumToothRecord& { return *m_records[static_cast<std::size_t>(firstRecord + j)]; };
    const int sN = face == 0 ? 0 : 3, sP = face == 0 ? 1 : 2, sOther = face == 0 ? 3 : 0;
    using Side = QvGumToothRecord::QvGumToothSide;
    auto N = [&](int j) -> Side& { return R(j).m_sides[sN]; };
    auto Pside = [&](int j) -> Side& { return R(j).m_sides[sP]; };
    auto nearPoint = [](const Side& s) -> const QvPoint& {
        return s.m_points[static_cast<std::size_t>(std::clamp(s.m_start, 0, static_cast<int>(s.m_points.size()) - 1))];
    };
    const double me = m_dMeanEdgeLength;
    auto count2 = [me](const std::vector<QvPoint>& pts) { return std::max(4, Floor(GumPolylineLength(pts) / (2.0 * me)) + 1); };
    auto positions = [this](const std::vector<int>& vs) {
        std::vector<QvPoint> out;
        for (const int v : vs)
            out.push_back(Pos(v));
        return out;
    };
    Side& A = N(0);
    Side& B = Pside(n - 1);
    if (A.m_points.size() < 2 || B.m_points.size() < 2)
        return false;

    // 1. The end teeth may touch across the run: a bridge along their contact.
    int first[2] = {-1, -1}, last[2] = {-1, -1};
    const bool bridge = FindCloseStretch(0.1 * me, A.m_points, B.m_points, first, last);
    int endA = 0, endB = 0;
    std::vector<int> bridgeBorder;
    std::vector<int> bridgeStart;
    if (bridge)
    {
        if (last[0] < 0)
        {
            last[0] = first[0];
            last[1] = first[1];
        }
        if (!FindFacingPair(A.m_points, B.m_points, last[0], last[1], A.m_end, B.m_end))
            return false;
        const std::vector<QvPoint> PA = GumSlice(A.m_points, last[0], A.m_end);
        const std::vector<QvPoint> PB = GumSlice(B.m_points, last[1], B.m_end);
        const int c = std::max(std::max(1, Floor(GumPolylineLength(PA) / (2.0 * me))),
                               std::max(1, Floor(GumPolylineLength(PB) / (2.0 * me)))) + 1;
        const std::vector<QvPoint> RA = GumResampled(PA, c), RB = GumResampled(PB, c);
        std::vector<std::vector<int>> columns(static_cast<std::size_t>(c));
        for (int j = 0; j < c; ++j)
        {
            const QvPoint& p = RA[static_cast<std::size_t>(j)];
            const QvPoint& q = RB[static_cast<std::size_t>(j)];
            const int k = std::max(1, Floor(p.Distance(q) / (3.0 * (j + 1) / c * me))) + 1;
            std::vector<QvPoint> column;
            GumSegmentSamples(p, q, k, column);
            AddChainVertices(column, columns[static_cast<std::size_t>(j)]);
            if (j > 0)
            {
                if (face == 0)
                    StitchChains(columns[static_cast<std::size_t>(j) - 1], columns[static_cast<std::size_t>(j)], false);
                else
                    StitchChains(columns[static_cast<std::size_t>(j)], columns[static_cast<std::size_t>(j) - 1], false);
            }
        }
        AppendSideVertex(A, columns[0].front());
        AppendSideVertex(B, columns[0].front());
        bridgeBorder = columns.back();
        endA = first[0];
        endB = first[1];
    }
    else
    {
        if (!FindFacingPair(A.m_points, B.m_points, A.m_start, B.m_start, A.m_end, B.m_end))
            return false;
        endA = A.m_end;
        endB = B.m_end;
    }
    // 2. End pieces.
    const std::vector<QvPoint> EA = GumSlice(A.m_points, A.m_start, endA);
    const std::vector<QvPoint> EB = GumSlice(B.m_points, B.m_start, endB);

    // 3. Tooth-side border over the inner teeth, with the gaps between them.
    std::vector<QvPoint> T;
    struct GapRange
    {
        int s, e;
    };
    std::vector<GapRange> gaps;
    for (int j = 1; j <= n - 2; ++j)
    {
        const Side& P = Pside(j);
        const Side& Nj = N(j);
        std::vector<QvPoint> outline = GumSlice(P.m_points, P.m_start, static_cast<int>(P.m_points.size()) - 1);
        std::vector<QvPoint> back = GumSlice(Nj.m_points, Nj.m_start, static_cast<int>(Nj.m_points.size()) - 1);
        outline.insert(outline.end(), back.rbegin(), back.rend());
        const std::vector<QvPoint> r = GumResampled(outline, count2(outline));
        T.insert(T.end(), r.begin(), r.end());
        if (j <= n - 3)
        {
            const int s = static_cast<int>(T.size()) - 1;
            if (R(j).m_gapNext == 2)
                gaps.push_back({s, s});
            else
            {
                std::vector<QvPoint> G = positions(Nj.m_firstRow);
                if (G.empty())
                {
                    const std::vector<QvPoint> seg = {nearPoint(Nj), nearPoint(Pside(j + 1))};
                    G = GumResampled(seg, count2(seg));
                }
                if (G.size() > 2)
                    T.insert(T.end(), G.begin() + 1, G.end() - 1);
                gaps.push_back({s, static_cast<int>(T.size())});
            }
        }
    }
    // 4. End gaps.
    const std::vector<int> listA = N(0).m_firstRow;
    const std::vector<int> listB = N(n - 2).m_firstRow;
    std::vector<QvPoint> GA, GB;
    if (R(0).m_gapNext != 2)
    {
        if (!listA.empty())
        {
            GA = positions(listA);
            std::reverse(GA.begin(), GA.end());
        }
        else
        {
            const std::vector<QvPoint> seg = {nearPoint(Pside(1)), nearPoint(N(0))};
            GA = GumResampled(seg, count2(seg));
        }
    }
    if (R(n - 1).m_gapPrev != 2)
    {
        if (!listB.empty())
            GB = positions(listB);
        else
        {
            const std::vector<QvPoint> seg = {nearPoint(N(n - 2)), nearPoint(Pside(n - 1))};
            GB = GumResampled(seg, count2(seg));
        }
    }
    const int gA = static_cast<int>(GA.size()), gB = static_cast<int>(GB.size());
    // 5. Side boundaries of H points each.
    auto kOf = [me](const std::vector<QvPoint>& E) {
        const std::vector<QvPoint> e = GumResampled(E, std::max(1, Floor(GumPolylineLength(E) / (2.0 * me))) + 1);
        return std::max(1, Floor(GumPolylineLength(e) / (2.0 * me)));
    };
    const int H = std::max({4, gA + kOf(EA) + 1, gB + kOf(EB) + 1});
    auto sideBoundary = [&](const std::vector<QvPoint>& G, int g, const std::vector<QvPoint>& E) {
        std::vector<QvPoint> S;
        if (g > 0)
            S.assign(G.begin(), G.end() - 1);
        const std::vector<QvPoint> e = GumResampled(E, H - std::max(0, g - 1));
        S.insert(S.end(), e.begin(), e.end());
        return S;
    };
    const std::vector<QvPoint> SA = sideBoundary(GA, gA, EA);
    const std::vector<QvPoint> SB = sideBoundary(GB, gB, EB);
    if (T.size() < 2 || SA.size() < 2 || SB.size() < 2)
        return false;
    // 6. Far border, dipped towards the teeth where the run's far ends stand deep.
    const QvPlane& base = m_basePlane;
    double dT = std::numeric_limits<double>::max();
    for (const QvPoint& p : T)
        dT = std::min(dT, base.Distance(p, false));
    const double s = (GumPolylineLength(SA) + GumPolylineLength(SB)) / (H - 1) * 0.5;
    std::vector<QvPoint> F = {SA.back(), SB.back()};
    if (dT <= base.Distance(SA.back(), false) - s || dT <= base.Distance(SB.back(), false) - s)
    {
        int u = gA, v = gB;
        double best = std::numeric_limits<double>::max();
        for (int i = gA; i < static_cast<int>(SA.size()); ++i)
            for (int j = gB; j < static_cast<int>(SB.size()); ++j)
            {
                const double d = base.ProjectPoint(SA[static_cast<std::size_t>(i)])
                                     .SquaredDistance(base.ProjectPoint(SB[static_cast<std::size_t>(j)]));
                if (d < best)
                {
                    best = d;
                    u = i;
                    v = j;
                }
            }
        u = std::min(u, static_cast<int>(SA.size()) - 1);
        v = std::min(v, static_cast<int>(SB.size()) - 1);
        const QvLine L(base.ProjectPoint(SA.back()), base.ProjectPoint(SB.back()));
        const QvPoint q1 = L.ClosestPoint(base.ProjectPoint(SA[static_cast<std::size_t>(u)]));
        const QvPoint q2 = L.ClosestPoint(base.ProjectPoint(SB[static_cast<std::size_t>(v)]));
        const QvPoint g1 = q1 + (q2 - q1) * (1.0 / 3.0);
        const QvPoint g2 = q1 + (q2 - q1) * (2.0 / 3.0);
        const QvVector lift = base.GetNormal() * (s - dT);
        F = {SA.back(), g1 + lift, g2 + lift, SB.back()};
    }
    F = GumResampled(F, count2(F));
    const int M = static_cast<int>(F.size());
    // 7. The patch between the four borders.
    auto fit = [](const std::vector<QvPoint>& pts) {
        return std::unique_ptr<QvBSplineCurve>(
            QvBSplineCurve::Fit(pts, {0, static_cast<std::int32_t>(pts.size()) - 1}, false, 1e-5));
    };
    const auto cT = fit(T), cSA = fit(SA), cF = fit(F), cSB = fit(SB);
    if (!cT || !cSA || !cF || !cSB)
        return false;
    const std::unique_ptr<QvBSplineSurface> patch(QvBSplineSurface::FromBoundaryCurves(cT.get(), cSA.get(), cF.get(), cSB.get()));
    if (!patch)
        return false;
    const int W = std::max(std::max(1, Floor(GumPolylineLength(T) / (2.0 * me))) + 1, M);
    // 8. Grid rows from the tooth side to the far border, joined to existing gap rows.
    std::vector<std::vector<int>> rows(static_cast<std::size_t>(H));
    for (std::size_t k = 0; k < T.size(); ++k)
    {
        if (k == 0 && !listA.empty())
            rows[0].push_back(listA.back());
        else if (k + 1 == T.size() && !listB.empty())
            rows[0].push_back(listB.front());
        else
            rows[0].push_back(m_pGumMesh->AddVertex(T[k]));
    }
    for (int r = 1; r < H; ++r)
    {
        std::vector<int>& row = rows[static_cast<std::size_t>(r)];
        for (int k = 0; k < W; ++k)
        {
            if (k == 0 && r < gA && !listA.empty() && gA - 1 - r < static_cast<int>(listA.size()))
                row.push_back(listA[static_cast<std::size_t>(gA - 1 - r)]);
            else if (k == W - 1 && r < gB && !listB.empty() && r < static_cast<int>(listB.size()))
                row.push_back(listB[static_cast<std::size_t>(r)]);
            else
                row.push_back(m_pGumMesh->AddVertex(patch->Evaluate(static_cast<double>(r) / (H - 1),
                                                                    static_cast<double>(k) / (W - 1))));
        }
        if (face == 0)
            StitchChains(rows[static_cast<std::size_t>(r) - 1], row, false);
        else
            StitchChains(row, rows[static_cast<std::size_t>(r) - 1], false);
    }
    // 9. What the border stitching and the other face's strips need.
    const std::vector<int>& row0 = rows.front();
    const std::vector<int>& rowL = rows.back();
    for (std::size_t g = 0; g < gaps.size(); ++g)
    {
        const int j = static_cast<int>(g) + 1;
        const GapRange& range = gaps[g];
        const int e = std::min(range.e, static_cast<int>(row0.size()) - 1);
        if (range.s == range.e)
        {
            AppendSideVertex(N(j), row0[static_cast<std::size_t>(range.s)]);
            AppendSideVertex(Pside(j + 1), row0[static_cast<std::size_t>(range.s)]);
        }
        else
        {
            R(j).m_gapBottom = row0[static_cast<std::size_t>(range.s)];
            R(j + 1).m_gapBottom = row0[static_cast<std::size_t>(e)];
        }
        std::vector<int>& receiving = R(j).m_sides[sOther].m_firstRow;
        if (receiving.empty())
            receiving.assign(row0.begin() + range.s, row0.begin() + e + 1);
    }
    if (R(0).m_gapNext == 2)
    {
        if (!bridge)
        {
            AppendSideVertex(N(0), row0.front());
            AppendSideVertex(Pside(1), row0.front());
        }
        else
        {
            R(0).m_bridgePairs.push_back(face == 0 ? std::make_pair(rowL.front(), row0.front())
                                                   : std::make_pair(row0.front(), rowL.front()));
            AppendSideVertex(Pside(1), row0.front());
        }
    }
    else
    {
        if (!bridge)
            R(0).m_gapBottom = rowL.front();
        else if (face == 0)
            N(0).m_vertices.insert(N(0).m_vertices.begin(), rowL.front());
        else
            AppendSideVertex(N(0), rowL.front());
        R(1).m_gapBottom = row0.front();
    }
    if (R(n - 1).m_gapPrev == 2)
    {
        if (!bridge)
        {
            AppendSideVertex(Pside(n - 1), row0.back());
            AppendSideVertex(N(n - 2), row0.back());
        }
        else
        {
            R(n - 1).m_bridgePairs.push_back(face == 0 ? std::make_pair(row0.back(), rowL.front())
                                                       : std::make_pair(rowL.front(), row0.back()));
            AppendSideVertex(N(n - 2), row0.back());
        }
    }
    else
    {
        if (!bridge)
            R(n - 1).m_gapBottom = rowL.back();
        else if (face == 0)
            AppendSideVertex(Pside(n - 1), rowL.front());
        else
            Pside(n - 1).m_vertices.insert(Pside(n - 1).m_vertices.begin(), rowL.front());
        R(n - 2).m_gapBottom = row0.back();
    }
    if (R(0).m_gapNext != 2 && listA.empty() && R(0).m_sides[sOther].m_firstRow.empty())
        for (int r = std::min(gA, H) - 1; r >= 0; --r)
            R(0).m_sides[sOther].m_firstRow.push_back(rows[static_cast<std::size_t>(r)].front());
    if (R(n - 1).m_gapPrev != 2 && listB.empty() && R(n - 2).m_sides[sOther].m_firstRow.empty())
        for (int r = 0; r < std::min(gB, H); ++r)
            R(n - 2).m_sides[sOther].m_firstRow.push_back(rows[static_cast<std::size_t>(r)].back());
    // 10.
    border = bridge ? bridgeBorder : rowL;
    return true;
}

void QvCreateGumCommand::BuildToothMarginChains(QvGumToothRecord& record, int position, std::vector<int>& face0,
                                                std::vector<int>& face1, double spacing)
{
    using Side = QvGumToothRecord::QvGumToothSide;
    auto from = [](const Side& s, bool all) {
        return GumSlice(s.m_points, all ? 0 : s.m_end, static_cast<int>(s.m_points.size()) - 1);
    };
    auto chain = [&](std::vector<QvPoint> outline, const std::vector<QvPoint>& back, bool dropFirst, bool dropLast,
                     std::vector<int>& out) {
        outline.insert(outline.end(), back.rbegin(), back.rend());
        if (outline.empty())
            return;
        std::vector<QvPoint> r =
            GumResampled(outline, std::max(1, Floor(GumPolylineLength(outline) / (spacing * m_dMeanEdgeLength))) + 1);
        if (dropLast && !r.empty())
            r.pop_back();
        if (dropFirst && !r.empty())
            r.erase(r.begin());
        AddChainVertices(r, out);
    };
    chain(from(record.m_sides[1], position == 0), from(record.m_sides[0], position == 2), position != 0, true, face0);
    chain(from(record.m_sides[2], position == 0), from(record.m_sides[3], position == 2), true, position != 2, face1);
}

bool QvCreateGumCommand::CollectVertexRings(QvMesh* mesh, const std::vector<int>& seeds, int a, int b,
                                            std::set<int>& ringA, std::set<int>& middle, std::set<int>& ringB)
{
    if (!mesh || seeds.empty() || a < 0 || b < a)
        return false;
    middle.clear();
    std::vector<char> marked(mesh->m_vertices.size(), 0);
    std::vector<int> ring;
    for (const int v : seeds)
        if (v >= 0 && v < static_cast<int>(marked.size()) && !marked[static_cast<std::size_t>(v)])
        {
            marked[static_cast<std::size_t>(v)] = 1;
            ring.push_back(v);
        }
    auto file = [&](int r, const std::vector<int>& vs) {
        std::set<int>& target = r == a ? ringA : (r == b ? ringB : middle);
        if (r >= a && r <= b)
            target.insert(vs.begin(), vs.end());
    };
    file(0, ring);
    for (int r = 1; r <= b; ++r)
    {
        std::vector<int> next, around;
        for (const int v : ring)
        {
            mesh->GetNeighborVertices(v, around);
            for (const int w : around)
                if (!marked[static_cast<std::size_t>(w)])
                {
                    marked[static_cast<std::size_t>(w)] = 1;
                    next.push_back(w);
                }
            around.clear();
        }
        ring.swap(next);
        file(r, ring);
    }
    return true;
}

bool QvCreateGumCommand::ShapeGumMargin(std::vector<int>& loop)
{
    const int n = static_cast<int>(loop.size());
    if (n == 0)
        return false;
    QvVector up = m_up;
    up.Normalize();
    const double cos75 = 0.25881904510243753, tan15 = 0.2679491924311411;
    auto at = [&](int i) { return loop[static_cast<std::size_t>(((i % n) + n) % n)]; };
    std::vector<QvVector> dir(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
    {
        const int p = at(i - 1), v = at(i), q = at(i + 1);
        const QvVector e = Pos(q) - Pos(p);
        const QvVector na = FaceNormal(*m_pGumMesh, m_pGumMesh->FindEdge(p, v));
        const QvVector nb = FaceNormal(*m_pGumMesh, m_pGumMesh->FindEdge(v, q));
        QvVector d;
        if (!na.IsZero() && !nb.IsZero())
            d = e.Cross(na + nb);
        else if (!na.IsZero())
            d = e.Cross(na);
        else if (!nb.IsZero())
            d = e.Cross(nb);
        if (!d.IsZero())
        {
            d.Normalize();
            if (d.Dot(up) < cos75)
                d = Unit(up.Cross(d.Cross(up)) + up * tan15);
        }
        dir[static_cast<std::size_t>(i)] = d;
    }
    // Stretches without a direction: the first two across the loop, the rest blended.
    std::vector<std::pair<int, int>> stretches; // bounding vertices with a direction
    int firstSet = -1;
    for (int i = 0; i < n; ++i)
        if (!dir[static_cast<std::size_t>(i)].IsZero())
        {
            firstSet = i;
            break;
        }
    if (firstSet < 0)
    {
        for (int i = 0; i < n; ++i)
            dir[static_cast<std::size_t>(i)] = Unit(up.Cross(Pos(at(i + 1)) - Pos(at(i - 1))));
    }
    else
    {
        for (int k = 0; k < n; ++k)
        {
            const int i = firstSet + k;
            if (dir[static_cast<std::size_t>(i % n)].IsZero())
                continue;
            int j = i + 1;
            while (dir[static_cast<std::size_t>(j % n)].IsZero())
                ++j;
            if (j > i + 1)
                stretches.emplace_back(i % n, j);
        }
        std::sort(stretches.begin(), stretches.end());
        for (std::size_t s = 0; s < stretches.size(); ++s)
        {
            const auto [lo, hi] = stretches[s];
            const QvVector d0 = dir[static_cast<std::size_t>(lo)];
            const QvVector d1 = dir[static_cast<std::size_t>(hi % n)];
            for (int k = lo + 1; k < hi; ++k)
            {
                QvVector d;
                if (s < 2)
                    d = Unit(up.Cross(Pos(at(k + 1)) - Pos(at(k - 1))));
                else
                {
                    const double t = static_cast<double>(k - lo) / (hi - lo);
                    d = Unit(d0 * (1.0 - t) + d1 * t);
                }
                dir[static_cast<std::size_t>(k % n)] = d;
            }
        }
    }
    std::vector<int> ring;
    ring.reserve(loop.size());
    for (int i = 0; i < n; ++i)
        ring.push_back(m_pGumMesh->AddVertex(Pos(at(i)) + dir[static_cast<std::size_t>(i)] * m_dMeanEdgeLength));
    std::vector<int> closedLoop = loop, closedRing = ring;
    closedLoop.push_back(loop.front());
    closedRing.push_back(ring.front());
    // The band's winding follows the faces already on the loop.
    if (n >= 2 && !RunsForward(*m_pGumMesh, loop[0], loop[1]))
        StitchChains(closedRing, closedLoop, false);
    else
        StitchChains(closedLoop, closedRing, false);
    loop = ring;
    return true;
}

void QvCreateGumCommand::FinishGumMargin(const std::vector<int>& loop)
{
    std::set<int> ring1, ring2, ring3;
    if (!CollectVertexRings(m_pGumMesh, loop, 1, 3, ring1, ring2, ring3))
        return;
    std::set<int> freeSet, fixedSet(ring3.begin(), ring3.end());
    auto sort = [&](int v) { (m_pGumMesh->IsBoundaryVertex(v) ? fixedSet : freeSet).insert(v); };
    for (const int v : loop)
        sort(v);
    for (const int v : ring1)
        sort(v);
    for (const int v : ring2)
        sort(v);
    for (const int v : freeSet)
        fixedSet.erase(v);
    QvMeshSmoothCommand smooth(m_pGumMesh);
    static_cast<void>(smooth.FairBiLaplacian(freeSet, fixedSet, 1));
    std::set<int> all;
    for (int v = 0; v < static_cast<int>(m_pGumMesh->m_vertices.size()); ++v)
        all.insert(v);
    static_cast<void>(smooth.SmoothLaplacian(all, 3, 1.0));
}
