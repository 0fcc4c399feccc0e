// SPDX-License-Identifier: GPL-3.0-or-later
// The interdental gum between two neighbours, and the patch of gum around each tooth:
// rows of seven profile points per seed along the four sides, joined into bands.
#include <algorithm>
#include <cmath>

#include "core/gum/QvCreateGumCommandOld.h"
#include "core/gum/QvGumHelpers.h"
#include "core/mesh/QvMesh.h"

namespace {

double PolylineLength(const std::vector<QvPoint>& p)
{
    double L = 0.0;
    for (std::size_t i = 0; i + 1 < p.size(); ++i)
        L += p[i].Distance(p[i + 1]);
    return L;
}

// max(1, floor(length / spacing)).
int SampleCount(const std::vector<QvPoint>& p, double spacing)
{
    return std::max(1, static_cast<int>(std::floor(PolylineLength(p) / spacing)));
}

std::vector<QvPoint> Resampled(const std::vector<QvPoint>& p, int n)
{
    std::vector<double> ts;
    GumEvenValues(n, ts, 0.0, 1.0);
    std::vector<QvPoint> out;
    GumResampleAt(p, ts, out);
    return out;
}

std::vector<QvPoint> Part(const std::vector<QvPoint>& p, int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, static_cast<int>(p.size()) - 1);
    if (first > last)
        return {};
    return std::vector<QvPoint>(p.begin() + first, p.begin() + last + 1);
}

QvPoint Mid(const QvPoint& a, const QvPoint& b)
{
    return QvPoint((a[0] + b[0]) * 0.5, (a[1] + b[1]) * 0.5, (a[2] + b[2]) * 0.5);
}

QvVector Unit(QvVector v)
{
    v.Normalize();
    return v;
}

const double kReach[7] = {0.0, 0.1, 0.2, 0.3, 0.5, 0.7, 1.0};
const double kCrest[7] = {0.0, 0.6, 0.9, 1.0, 0.9, 0.6, 0.0};
const double kTurnHalf[7] = {0.0, 0.2, 0.5, 0.4, 0.3, 0.05, -0.5};
const double kDropHalf[7] = {0.0, -0.05, -0.1, -0.2, -0.3, -0.5, -1.0};

} // namespace

// ---- Interdental gum ------------------------------------------------------------------

void QvCreateGumCommandOld::BuildInterdentalGum(QvGumToothInfo& a, QvGumToothInfo& b)
{
    const double e = m_dMeanEdgeLength;
    QvMesh* mesh = m_pGumMesh;
    auto strip = [mesh](const std::vector<int>& x, const std::vector<int>& y) {
        StitchChains(mesh, x.data(), x.data() + x.size(), y.data(), y.data() + y.size(), false);
    };
    if (a.m_nNextLink == 2)
    {
        QvGumToothSide* pairs[2][2] = {{&a.m_sides[0], &b.m_sides[1]}, {&a.m_sides[3], &b.m_sides[2]}};
        for (auto& pair : pairs)
        {
            QvGumToothSide& X = *pair[0];
            QvGumToothSide& Y = *pair[1];
            const std::vector<QvPoint> nx = Part(X.m_points, X.m_nNearFirst, X.m_nNearLast);
            const std::vector<QvPoint> ny = Part(Y.m_points, Y.m_nNearFirst, Y.m_nNearLast);
            if (nx.empty() || ny.empty())
                continue;
            std::vector<QvPoint> rx = Resampled(nx, SampleCount(nx, 3.0 * e) + 1);
            std::vector<QvPoint> ry = Resampled(ny, SampleCount(ny, 3.0 * e) + 1);
            rx.erase(rx.begin());
            ry.erase(ry.begin());
            std::vector<int> ix, iy;
            AddVertices(rx, ix);
            AddVertices(ry, iy);
            strip(ix, iy);
            const int v = mesh->AddVertex(X.m_points[static_cast<std::size_t>(X.m_nNearFirst)]);
            static_cast<void>(mesh->AddFace(v, ix[0], iy[0], 0));
            X.m_vertices.push_back(ix.back());
            Y.m_vertices.push_back(iy.back());
            X.m_nLinkVertex = v;
            Y.m_nLinkVertex = v;
        }
        return;
    }

    const std::vector<QvPoint> A1 = Part(a.m_sides[0].m_points, 0, a.m_sides[0].m_nNearLast);
    const std::vector<QvPoint> B1 = Part(b.m_sides[1].m_points, 0, b.m_sides[1].m_nNearLast);
    const std::vector<QvPoint> A2 = Part(a.m_sides[3].m_points, 0, a.m_sides[3].m_nNearLast);
    const std::vector<QvPoint> B2 = Part(b.m_sides[2].m_points, 0, b.m_sides[2].m_nNearLast);
    if (A1.empty() || B1.empty() || A2.empty() || B2.empty())
        return;
    const int N1 = std::max(SampleCount(A1, 2.0 * e), SampleCount(B1, 2.0 * e)) + 1;
    const int N2 = std::max(SampleCount(A2, 2.0 * e), SampleCount(B2, 2.0 * e)) + 1;
    const std::vector<QvPoint> RA1 = Resampled(A1, N1), RB1 = Resampled(B1, N1);
    const std::vector<QvPoint> RA2 = Resampled(A2, N2), RB2 = Resampled(B2, N2);
    const QvVector axis = Unit(a.m_gumAxis + b.m_gumAxis);
    const QvPoint mA = Mid(A1.back(), A2.back());
    const QvPoint mB = Mid(B1.back(), B2.back());
    const QvPoint m0 = Mid(A1.front(), B1.front());
    const double depth = m0.Distance(Mid(mA, mB));

    auto joinRow = [](const std::vector<QvPoint>& first, const std::vector<QvPoint>& second) {
        std::vector<QvPoint> row(first.rbegin(), first.rend());
        row.insert(row.end(), second.begin() + 1, second.end());
        return row;
    };

    if (a.m_nNextLink == 3)
    {
        const double h = e / 2.0;
        const double top = 0.1 * depth + h;
        auto lifted = [&](const std::vector<QvPoint>& RA, const std::vector<QvPoint>& RB, int count,
                          std::vector<QvPoint>& UA, std::vector<QvPoint>& UB) {
            std::vector<double> L;
            GumEvenValues(count, L, h, top);
            for (int i = 0; i < count; ++i)
            {
                const double lift = L[static_cast<std::size_t>(i)] + h;
                QvPoint ua = RA[static_cast<std::size_t>(i)] + axis * lift;
                QvPoint ub = RB[static_cast<std::size_t>(i)] + axis * lift;
                const QvVector d = ub - ua;
                UA.push_back(ua + d / 3.0);
                UB.push_back(ub - d / 3.0);
            }
        };
        std::vector<QvPoint> UA1, UB1, UA2, UB2;
        lifted(RA1, RB1, N1, UA1, UB1);
        lifted(RA2, RB2, N2, UA2, UB2);
        const std::vector<std::vector<QvPoint>> rows = {joinRow(RA1, RA2), joinRow(UA1, UA2), joinRow(UB1, UB2),
                                                        joinRow(RB1, RB2)};
        std::vector<std::vector<int>> ids;
        AddPointRows(rows, ids);
        for (int k = 0; k < 3; ++k)
            strip(ids[static_cast<std::size_t>(k)], ids[static_cast<std::size_t>(k) + 1]);
        std::vector<int>& a0 = a.m_sides[0].m_vertices;
        std::vector<int>& a3 = a.m_sides[3].m_vertices;
        a0.push_back(ids[0].front());
        a3.push_back(ids[0].back());
        a0.push_back(ids[1].front());
        a3.push_back(ids[1].back());
        std::reverse(a0.begin(), a0.end());
        std::reverse(a3.begin(), a3.end());
        b.m_sides[1].m_vertices.push_back(ids[2].front());
        b.m_sides[2].m_vertices.push_back(ids[2].back());
        b.m_sides[1].m_vertices.push_back(ids[3].front());
        b.m_sides[2].m_vertices.push_back(ids[3].back());
        return;
    }

    const double G = RA1[0].Distance(RB1[0]);
    const int c = static_cast<int>(std::floor(G / (3.0 * e)));
    int k = c >= 4 ? c + 1 : 4;
    k += k % 2;
    std::vector<double> ts;
    GumEvenValues(k, ts, 0.0, 1.0);
    std::vector<std::vector<QvPoint>> columns;
    for (int j = N1 - 1; j >= 0; --j)
    {
        columns.emplace_back();
        GumLerpPoints(RB1[static_cast<std::size_t>(j)], RA1[static_cast<std::size_t>(j)], ts, columns.back());
    }
    for (int j = 1; j < N2; ++j)
    {
        columns.emplace_back();
        GumLerpPoints(RB2[static_cast<std::size_t>(j)], RA2[static_cast<std::size_t>(j)], ts, columns.back());
    }
    for (std::vector<QvPoint>& column : columns)
        for (int i = 1; i + 1 < k; ++i)
            column[static_cast<std::size_t>(i)] = column[static_cast<std::size_t>(i)] + axis * (depth + e);
    std::vector<std::vector<int>> ids;
    AddPointRows(columns, ids);
    for (std::size_t j = 0; j + 1 < ids.size(); ++j)
        strip(ids[j], ids[j + 1]);
    const int h = k / 2;
    for (int i = h - 1; i >= 0; --i)
    {
        b.m_sides[1].m_vertices.push_back(ids.front()[static_cast<std::size_t>(i)]);
        b.m_sides[2].m_vertices.push_back(ids.back()[static_cast<std::size_t>(i)]);
    }
    for (int i = h; i < k; ++i)
    {
        a.m_sides[0].m_vertices.push_back(ids.front()[static_cast<std::size_t>(i)]);
        a.m_sides[3].m_vertices.push_back(ids.back()[static_cast<std::size_t>(i)]);
    }
}

// ---- Profile rows -----------------------------------------------------------------------

void QvCreateGumCommandOld::BuildProfileRow(const QvPoint& seed, int code, const QvVector& reach,
                                            const QvVector& axis, std::vector<QvPoint>& row, double t)
{
    if (code < 1 || code > 12)
        return;
    QvDoublePairArray R, R2, crest, turn, drop;
    R.Assign(7, kReach, kCrest);
    R2 = R;
    R2.ScaleFirst(2.0);
    crest.Assign(7, kReach, kCrest);
    turn.Assign(7, kReach, kTurnHalf);
    turn.ScaleSecond(2.0);
    drop.Assign(7, kReach, kDropHalf);
    drop.ScaleSecond(2.0);
    // Start and end pairs as (reach, height).
    QvDoublePairArray start, end;
    if (code <= 4)
    {
        start = crest;
        end = turn;
    }
    else if (code <= 6)
    {
        start.Assign(7, R2.m_first.data(), kCrest);
        end = turn;
    }
    else
    {
        start = turn;
        end = drop;
    }
    QvDoublePairArray blend;
    blend.Lerp(start, end, t);
    const double me = m_dMeanEdgeLength;
    for (int k = 0; k < 7; ++k)
        row.push_back(seed + reach * blend.m_first[static_cast<std::size_t>(k)] +
                      axis * (me * blend.m_second[static_cast<std::size_t>(k)]));
    RelaxPolyline(row, 0, static_cast<int>(row.size()) - 2, 10, 0.2);
}

void QvCreateGumCommandOld::ChooseProfileCode(bool neighbourRule, int index, bool linked, int flank, int split,
                                              double stepA, double stepB, int& code, double& t)
{
    const bool valid = flank == 0 || flank == 1;
    if (neighbourRule)
    {
        if (index > split)
        {
            t = (index - split) * stepB;
            if (valid)
                code = (linked ? 7 : 9) + flank;
        }
        else
        {
            t = index * stepA;
            if (valid)
                code = (linked ? 1 : 3) + flank;
        }
    }
    else if (index >= split)
    {
        t = (index - split) * stepB;
        if (valid)
            code = 11 + flank;
    }
    else
    {
        t = index * stepA;
        if (valid)
            code = 5 + flank;
    }
}

// ---- Side rows ----------------------------------------------------------------------------

bool QvCreateGumCommandOld::BuildNeighbourSideRows(int tooth, int side, std::vector<std::vector<QvPoint>>& rows)
{
    const QvGumToothInfo& T = *m_toothInfos[static_cast<std::size_t>(tooth)];
    const QvGumToothSide& S = T.m_sides[side];
    const QvGumToothSide O = T.m_sides[3 - side];
    const int f = side < 2 ? 0 : 1;
    const double me = m_dMeanEdgeLength;
    const std::vector<QvPoint> P = Part(S.m_points, S.m_nNearLast, static_cast<int>(S.m_points.size()) - 1);
    // Both facing sides must carry the interdental vertices their rows start from.
    if (P.size() < 2 || S.m_vertices.empty() || O.m_vertices.empty() || O.m_points.empty())
        return false;
    const int kP = static_cast<int>(std::floor(PolylineLength(P) / (3.0 * me)));
    const int n = kP < 3 ? 3 : kP + 1;
    const std::vector<QvPoint> Q = Resampled(P, n);
    const QvPoint& Vs = Pos(S.m_vertices[0]);
    const QvPoint& Vo = Pos(O.m_vertices[0]);
    const QvVector d = Vs - Vo;
    if (d.IsZero())
        return false;
    const QvPoint start = S.m_ctrlPoint + Unit(d) * ((side < 2 ? 8.0 : 4.0) * me);
    const QvVector g = S.m_ctrlPoint - Vs;
    QvVector h = g.Cross(d).Cross(g);
    if (h.IsZero())
        return false;
    h.Normalize();
    QvVector e = Q.back() - O.m_points.back();
    if (e.IsZero())
        return false;
    e = Unit(e) * (m_dPatchReach[f] * me) - T.m_gumAxis * m_dPatchDrop[f];
    const QvPoint end = Q.back() + e;

    std::vector<QvPoint> seeds;
    for (const int v : S.m_vertices)
        seeds.push_back(Pos(v));
    const int L = static_cast<int>(seeds.size());
    seeds.insert(seeds.end(), Q.begin() + 1, Q.end());
    const int N = static_cast<int>(seeds.size());
    std::vector<QvPoint> projected;
    for (const QvPoint& p : seeds)
        projected.push_back(m_basePlane.ProjectPoint(p));
    std::vector<double> ts;
    GumChordParameters(projected, ts);
    std::vector<QvPoint> guide;
    GumLerpPoints(start, end, ts, guide);
    const int link = (side == 1 || side == 2) ? T.m_nPrevLink : T.m_nNextLink;
    const bool linked = link == 2 || link == 3;
    for (int i = 0; i < N; ++i)
    {
        const QvVector reach = guide[static_cast<std::size_t>(i)] - seeds[static_cast<std::size_t>(i)];
        const double w = N > 1 ? static_cast<double>(i) / static_cast<double>(N - 1) : 0.0;
        const QvVector blend = h * (1.0 - w) + T.m_gumAxis * w;
        if (reach.IsZero() || blend.IsZero())
            return false;
        int code = 0;
        double t = 0.0;
        if (i <= L)
        {
            code = (linked ? 1 : 3) + f;
            t = static_cast<double>(i) / static_cast<double>(L);
        }
        else
        {
            code = (linked ? 7 : 9) + f;
            t = static_cast<double>(i - L) / static_cast<double>(n - 2);
        }
        rows.emplace_back();
        BuildProfileRow(seeds[static_cast<std::size_t>(i)], code, reach, T.m_gumAxis, rows.back(), t);
    }
    for (int i = 0; i < L && i < static_cast<int>(rows.size()); ++i)
        rows[static_cast<std::size_t>(i)].erase(rows[static_cast<std::size_t>(i)].begin());
    return true;
}

bool QvCreateGumCommandOld::BuildArchEndSideRows(int tooth, int side, std::vector<std::vector<QvPoint>>& rows)
{
    const QvGumToothInfo& T = *m_toothInfos[static_cast<std::size_t>(tooth)];
    const QvGumToothSide& S = T.m_sides[side];
    const int f = side < 2 ? 0 : 1;
    const double me = m_dMeanEdgeLength;
    const std::vector<QvPoint> Pa = Part(S.m_points, 0, S.m_nNearLast);
    const std::vector<QvPoint> Pb = Part(S.m_points, S.m_nNearLast, static_cast<int>(S.m_points.size()) - 1);
    // A near stretch that ends at the flank corner leaves no second part to resample.
    if (Pa.size() < 2 || Pb.size() < 2)
        return false;
    const int na = std::max(1, static_cast<int>(std::floor(PolylineLength(Pa) / (3.0 * me)))) + 1;
    const std::vector<QvPoint> Qa = Resampled(Pa, na);
    const int kb = static_cast<int>(std::floor(PolylineLength(Pb) / (3.0 * me)));
    const int nb = kb < 3 ? 3 : kb + 1;
    const std::vector<QvPoint> Qb = Resampled(Pb, nb);
    std::vector<double> reachRamp, dropRamp;
    GumEvenValues(na + 1, reachRamp, std::min(m_dPatchReach[1], m_dPatchReach[0]), m_dPatchReach[f]);
    GumEvenValues(na + 1, dropRamp, std::min(m_dPatchDrop[1], m_dPatchDrop[0]), m_dPatchDrop[f]);
    std::vector<QvPoint> seeds = Qa;
    seeds.insert(seeds.end(), Qb.begin() + 1, Qb.end());
    const QvPoint M = Mid(T.m_ring[static_cast<std::size_t>(T.m_nFlank2Corner)],
                          T.m_ring[static_cast<std::size_t>(T.m_nFlank1Corner)]);
    for (int i = 0; i < static_cast<int>(seeds.size()); ++i)
    {
        QvVector w = seeds[static_cast<std::size_t>(i)] - M;
        if (w.IsZero())
            return false;
        w.Normalize();
        QvVector reach;
        int code = 0;
        double t = 0.0;
        if (i < na - 1)
        {
            reach = w * (me * reachRamp[static_cast<std::size_t>(i)]) - T.m_gumAxis * dropRamp[static_cast<std::size_t>(i)];
            code = 5 + f;
            t = static_cast<double>(i) / static_cast<double>(na - 1);
        }
        else
        {
            reach = w * (me * m_dPatchReach[f]) - T.m_gumAxis * m_dPatchDrop[f];
            code = 11 + f;
            t = static_cast<double>(i - (na - 1)) / static_cast<double>(nb - 1);
        }
        rows.emplace_back();
        BuildProfileRow(seeds[static_cast<std::size_t>(i)], code, reach, T.m_gumAxis, rows.back(), t);
    }
    return true;
}

// ---- Tooth patch --------------------------------------------------------------------------

bool QvCreateGumCommandOld::BuildToothPatch(int tooth, std::vector<std::vector<int>>& sideChains,
                                            std::vector<int>& flank1Border, std::vector<int>& flank2Border)
{
    const QvGumToothInfo& T = *m_toothInfos[static_cast<std::size_t>(tooth)];
    const int pos = T.m_nPosition;
    std::vector<std::vector<QvPoint>> rows[4];
    const int order[4] = {1, 2, 0, 3};
    for (const int s : order)
    {
        const bool archEnd = (pos == 0 && (s == 1 || s == 2)) || (pos == 2 && (s == 0 || s == 3));
        const bool ok = archEnd ? BuildArchEndSideRows(tooth, s, rows[s]) : BuildNeighbourSideRows(tooth, s, rows[s]);
        if (!ok || rows[s].empty())
            return false;
    }
    auto band = [&rows](int first, int second) {
        std::vector<std::vector<QvPoint>> b(rows[first].begin(), rows[first].end() - 1);
        b.insert(b.end(), rows[second].rbegin(), rows[second].rend());
        return b;
    };
    std::vector<std::vector<QvPoint>> A = band(0, 1);
    std::vector<std::vector<QvPoint>> B = band(2, 3);
    QvMesh* mesh = m_pGumMesh;
    auto build = [&](const std::vector<std::vector<QvPoint>>& rowsIn, const std::vector<int>& front,
                     const std::vector<int>& back) {
        std::vector<std::vector<int>> chains;
        AddPointRows(rowsIn, chains);
        const int m = static_cast<int>(chains.size());
        for (int i = 0; i < static_cast<int>(front.size()) && i < m; ++i)
            chains[static_cast<std::size_t>(i)].insert(chains[static_cast<std::size_t>(i)].begin(), front[static_cast<std::size_t>(i)]);
        for (int i = 0; i < static_cast<int>(back.size()) && i < m; ++i)
            chains[static_cast<std::size_t>(m - 1 - i)].insert(chains[static_cast<std::size_t>(m - 1 - i)].begin(),
                                                                back[static_cast<std::size_t>(i)]);
        for (int i = 0; i + 1 < m; ++i)
        {
            const std::vector<int>& x = chains[static_cast<std::size_t>(i)];
            const std::vector<int>& y = chains[static_cast<std::size_t>(i) + 1];
            StitchChains(mesh, x.data(), x.data() + x.size(), y.data(), y.data() + y.size(), false);
        }
        return chains;
    };
    const std::size_t base = static_cast<std::size_t>(4 * tooth);
    if (pos == 1)
    {
        std::vector<std::vector<int>> chains = build(A, T.m_sides[0].m_vertices, T.m_sides[1].m_vertices);
        sideChains[base] = chains.front();
        sideChains[base + 1] = chains.back();
        for (auto it = chains.rbegin(); it != chains.rend(); ++it)
            flank1Border.push_back(it->back());
        chains = build(B, T.m_sides[2].m_vertices, T.m_sides[3].m_vertices);
        sideChains[base + 2] = chains.front();
        sideChains[base + 3] = chains.back();
        for (const std::vector<int>& c : chains)
            flank2Border.push_back(c.back());
    }
    else if (pos == 0)
    {
        const int nA = static_cast<int>(A.size());
        A.pop_back();
        A.insert(A.end(), B.begin(), B.end());
        const std::vector<std::vector<int>> chains = build(A, T.m_sides[0].m_vertices, T.m_sides[3].m_vertices);
        const int m = static_cast<int>(chains.size());
        sideChains[base] = chains.front();
        sideChains[base + 3] = chains.back();
        for (int i = std::min(nA - 1, m - 1); i >= 0; --i)
            flank1Border.push_back(chains[static_cast<std::size_t>(i)].back());
        for (int i = nA; i < m; ++i)
            flank2Border.push_back(chains[static_cast<std::size_t>(i)].back());
    }
    else
    {
        const int nB = static_cast<int>(B.size());
        B.pop_back();
        B.insert(B.end(), A.begin(), A.end());
        const std::vector<std::vector<int>> chains = build(B, T.m_sides[2].m_vertices, T.m_sides[1].m_vertices);
        const int m = static_cast<int>(chains.size());
        sideChains[base + 2] = chains.front();
        sideChains[base + 1] = chains.back();
        for (int i = 0; i < nB && i < m; ++i)
            flank2Border.push_back(chains[static_cast<std::size_t>(i)].back());
        for (int i = m - 1; i >= nB; --i)
            flank1Border.push_back(chains[static_cast<std::size_t>(i)].back());
    }
    return true;
}
