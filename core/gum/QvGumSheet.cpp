// SPDX-License-Identifier: GPL-3.0-or-later
// The surface of the second builder: strips across the gaps between neighbours, the
// wall from the grown margin down to the base outline, and the flat base.
#include <algorithm>
#include <cmath>
#include <memory>

#include "core/base/QvTypeCodes.h"
#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPolyline.h"
#include "core/gum/QvCreateGumCommand.h"
#include "core/gum/QvGumHelpers.h"
#include "core/mesh/QvMesh.h"
#include "core/mesh/QvMeshSmoothCommand.h"
#include "core/mesh/QvTriangleCommand.h"
#include "core/model/QvCrownCurve.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"

namespace {

int Floor(double x) { return std::isfinite(x) ? static_cast<int>(std::floor(std::min(x, 1e6))) : 0; }

} // namespace

bool QvCreateGumCommand::BuildInterdentalStrips(std::vector<std::vector<int>>& face0Edges,
                                                std::vector<std::vector<int>>& face1Edges)
{
    const int count = static_cast<int>(m_records.size());
    const int n = count - 1;
    face0Edges.resize(static_cast<std::size_t>(std::max(n, 0)));
    face1Edges.resize(static_cast<std::size_t>(std::max(n, 0)));
    for (int m = 1; m + 1 < count; ++m)
        MarkBridgedTooth(*m_records[static_cast<std::size_t>(m - 1)], *m_records[static_cast<std::size_t>(m)],
                         *m_records[static_cast<std::size_t>(m + 1)]);
    auto rec = [this](int i) -> QvGumToothRecord& { return *m_records[static_cast<std::size_t>(i)]; };
    for (int face = 0; face < 2; ++face)
    {
        const int side = face == 0 ? 0 : 3;
        std::vector<std::vector<int>>& edges = face == 0 ? face0Edges : face1Edges;
        for (int m = 0; m < n;)
        {
            if (!rec(m).m_sides[side].m_grouped)
            {
                ++m;
                continue;
            }
            int l = 1;
            while (m + l < count && (face == 0 ? rec(m + l).m_continueFace0 : rec(m + l).m_continueFace1) &&
                   rec(m + l).m_sides[side].m_grouped)
                ++l;
            if (!BuildGroupBridge(m, m + l, face, edges[static_cast<std::size_t>(m)]))
                return false;
            m += l;
        }
    }
    for (int m = 0; m < n; ++m)
    {
        if (!rec(m).m_sides[0].m_grouped && !BuildGapStrip(rec(m), rec(m + 1), 0, face0Edges[static_cast<std::size_t>(m)]))
            return false;
        if (!rec(m).m_sides[3].m_grouped && !BuildGapStrip(rec(m), rec(m + 1), 1, face1Edges[static_cast<std::size_t>(m)]))
            return false;
    }
    std::vector<std::vector<int>> loops;
    m_pGumMesh->GetBoundaryLoops(loops);
    std::vector<char> border(m_pGumMesh->m_vertices.size(), 0);
    for (const std::vector<int>& loop : loops)
        for (const int v : loop)
            border[static_cast<std::size_t>(v)] = 1;
    std::set<int> freeSet, fixedSet;
    for (std::size_t v = 0; v < border.size(); ++v)
        (border[v] ? fixedSet : freeSet).insert(static_cast<int>(v));
    // Strips without inner vertices leave nothing to fair.
    if (freeSet.empty())
        return true;
    QvMeshSmoothCommand smooth(m_pGumMesh);
    return smooth.FairLaplacian(freeSet, fixedSet, 2);
}

bool QvCreateGumCommand::BuildGapStrip(QvGumToothRecord& a, QvGumToothRecord& b, int face, std::vector<int>& edge)
{
    QvGumToothRecord::QvGumToothSide& SA = a.m_sides[face == 0 ? 0 : 3];
    QvGumToothRecord::QvGumToothSide& SB = b.m_sides[face == 0 ? 1 : 2];
    if (!FindFacingPair(SA.m_points, SB.m_points, SA.m_start, SB.m_start, SA.m_end, SB.m_end))
        return false;
    const double L = m_dMeanEdgeLength;
    auto stitchRows = [&](const std::vector<std::vector<int>>& rows) {
        for (std::size_t i = 0; i + 1 < rows.size(); ++i)
            if (face == 0)
                StitchChains(rows[i], rows[i + 1], false);
            else
                StitchChains(rows[i + 1], rows[i], false);
    };
    if (a.m_gapNext == 2)
    {
        const std::vector<QvPoint> PA = GumSlice(SA.m_points, SA.m_start, SA.m_end);
        const std::vector<QvPoint> PB = GumSlice(SB.m_points, SB.m_start, SB.m_end);
        const int N = std::max(SampleCount(PA, 2.0), SampleCount(PB, 2.0));
        const std::vector<QvPoint> RA = GumResampled(PA, N);
        const std::vector<QvPoint> RB = GumResampled(PB, N);
        std::vector<std::vector<int>> rows(static_cast<std::size_t>(N - 1));
        for (int i = 0; i + 1 < N; ++i)
        {
            const QvPoint& p = RA[static_cast<std::size_t>(i) + 1];
            const QvPoint& q = RB[static_cast<std::size_t>(i) + 1];
            const double s = (i + 1) * 2.0 * 1.5 / (N - 1) * L;
            const int k = std::max(Floor(p.Distance(q) / s), 1) + 1;
            std::vector<QvPoint> row;
            GumSegmentSamples(p, q, k, row);
            AddChainVertices(row, rows[static_cast<std::size_t>(i)]);
        }
        stitchRows(rows);
        const std::vector<int> apex = {m_pGumMesh->AddVertex(SA.m_points[static_cast<std::size_t>(SA.m_start)])};
        if (face == 0)
            StitchChains(apex, rows.front(), false);
        else
            StitchChains(rows.front(), apex, false);
        AppendSideVertex(SA, apex[0]);
        AppendSideVertex(SB, apex[0]);
        edge = rows.back();
        return true;
    }
    const std::vector<QvPoint> PA = GumSlice(SA.m_points, 0, SA.m_end);
    const std::vector<QvPoint> PB = GumSlice(SB.m_points, 0, SB.m_end);
    const int N = std::max(SampleCount(PA, 2.0), SampleCount(PB, 2.0));
    const std::vector<QvPoint> RA = GumResampled(PA, N);
    const std::vector<QvPoint> RB = GumResampled(PB, N);
    std::vector<std::vector<int>> rows(static_cast<std::size_t>(N));
    int from = 0;
    if (!SA.m_firstRow.empty())
    {
        rows[0] = SA.m_firstRow;
        from = 1;
    }
    for (int i = from; i < N; ++i)
    {
        const QvPoint& p = RA[static_cast<std::size_t>(i)];
        const QvPoint& q = RB[static_cast<std::size_t>(i)];
        const int k = std::max(Floor(p.Distance(q) / (2.0 * L)), 3) + 1;
        std::vector<QvPoint> row;
        GumSegmentSamples(p, q, k, row);
        AddChainVertices(row, rows[static_cast<std::size_t>(i)]);
    }
    stitchRows(rows);
    std::vector<int>& other = a.m_sides[face == 0 ? 3 : 0].m_firstRow;
    if (other.empty())
        other = rows[0];
    a.m_gapBottom = rows[0].front();
    b.m_gapBottom = rows[0].back();
    edge = rows.back();
    return true;
}

bool QvCreateGumCommand::BuildGumWall(const std::vector<std::vector<int>>& face0Edges,
                                      const std::vector<std::vector<int>>& face1Edges, std::vector<int>& baseLoop)
{
    const int count = static_cast<int>(m_records.size());
    std::vector<std::vector<int>> A(static_cast<std::size_t>(count)), B(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k)
        BuildToothMarginChains(*m_records[static_cast<std::size_t>(k)], k == 0 ? 0 : (k == count - 1 ? 2 : 1),
                               A[static_cast<std::size_t>(k)], B[static_cast<std::size_t>(k)], 2.0);
    std::vector<int> F0, F1;
    for (int k = 0; k + 1 < count; ++k)
    {
        const std::size_t i = static_cast<std::size_t>(k);
        if (i < face0Edges.size() && !face0Edges[i].empty())
        {
            F0.insert(F0.end(), A[i].begin(), A[i].end());
            F0.insert(F0.end(), face0Edges[i].begin(), face0Edges[i].end());
        }
        if (i < face1Edges.size() && !face1Edges[i].empty())
        {
            F1.insert(F1.end(), B[i].begin(), B[i].end());
            F1.insert(F1.end(), face1Edges[i].begin(), face1Edges[i].end());
        }
    }
    F0.insert(F0.end(), A.back().begin(), A.back().end());
    F1.insert(F1.end(), B.back().begin(), B.back().end());
    const std::size_t b0 = std::min(B.front().size(), F1.size());
    std::vector<int> margin(F1.rend() - static_cast<std::ptrdiff_t>(b0), F1.rend());
    margin.insert(margin.end(), F0.begin(), F0.end());
    margin.insert(margin.end(), F1.rbegin(), F1.rend() - static_cast<std::ptrdiff_t>(b0));
    if (margin.size() < 3 || !ShapeGumMargin(margin))
        return false;
    const int c1 = static_cast<int>(A.front().size() + B.front().size());
    const int c2 = static_cast<int>(F0.size() - A.front().size() - A.back().size());
    const int c3 = static_cast<int>(A.back().size() + B.back().size());
    const int c4 = static_cast<int>(F1.size() - B.front().size() - B.back().size());
    baseLoop.clear();
    // Every margin vertex needs its base vertex below it.
    if (!BuildBaseOutline(c1, c2, c3, c4, baseLoop) || baseLoop.size() != margin.size())
        return false;
    const int n = static_cast<int>(margin.size());
    const double L = m_dMeanEdgeLength;
    std::vector<std::vector<int>> rows(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
    {
        const QvPoint P = Pos(margin[static_cast<std::size_t>(i)]);
        const QvPoint Q = Pos(baseLoop[static_cast<std::size_t>(i)]);
        const int m = std::max(Floor(P.Distance(Q) / (3.0 * L)), 1);
        std::vector<int>& row = rows[static_cast<std::size_t>(i)];
        row.push_back(margin[static_cast<std::size_t>(i)]);
        for (int j = 1; j <= m; ++j)
        {
            const double t = static_cast<double>(j) / (m + 1);
            row.push_back(m_pGumMesh->AddVertex(P + (Q - P) * t));
        }
        row.push_back(baseLoop[static_cast<std::size_t>(i)]);
    }
    for (int i = 0; i < n; ++i)
        StitchChains(rows[static_cast<std::size_t>((i + 1) % n)], rows[static_cast<std::size_t>(i)], false);
    auto fairFace = [&](int s, int e) {
        std::set<int> freeSet, fixedSet;
        for (int i = s; i < e; ++i)
        {
            const std::vector<int>& row = rows[static_cast<std::size_t>(i)];
            if (i == s || i == e - 1)
                fixedSet.insert(row.begin(), row.end());
            else
            {
                fixedSet.insert(row.front());
                fixedSet.insert(row.back());
                freeSet.insert(row.begin() + 1, row.end() - 1);
            }
        }
        QvMeshSmoothCommand smooth(m_pGumMesh);
        static_cast<void>(smooth.FairLaplacian(freeSet, fixedSet, 0));
    };
    fairFace(c1, c1 + c2);
    fairFace(n - c4, n);
    FinishGumMargin(margin);
    return true;
}

bool QvCreateGumCommand::BuildBaseOutline(int c1, int c2, int c3, int c4, std::vector<int>& baseLoop)
{
    const QvPlane& P = m_basePlane;
    const QvGumToothRecord& T = *m_records.front();
    const QvGumToothRecord& U = *m_records.back();
    auto ends = [&](const QvGumToothRecord& r, int endKind, QvPoint& a3, QvPoint& a2) {
        const double w = std::max({r.GetCornerRadius(P, 2), r.GetCornerRadius(P, 3),
                                   P.ProjectPoint(r.m_centre).Distance(P.ProjectPoint(r.GetCornerPoint(endKind)))});
        const QvPoint E = P.ProjectPoint(r.m_centre) + r.GetCornerDirection(P, endKind) * (w * 1.5);
        a3 = E + r.GetCornerDirection(P, 3) * (r.GetCornerRadius(P, 3) * 1.2);
        a2 = E + r.GetCornerDirection(P, 2) * (r.GetCornerRadius(P, 3) * 1.2);
    };
    QvPoint AT3, AT2, AU3, AU2;
    ends(T, 0, AT3, AT2);
    ends(U, 1, AU3, AU2);
    std::vector<QvPoint> K0 = {AT3}, K1 = {AT2};
    for (const QvGumToothRecord* r : m_records)
    {
        K0.push_back(P.ProjectPoint(r->GetCornerPoint(3)));
        K1.push_back(P.ProjectPoint(r->GetCornerPoint(2)));
    }
    K0.push_back(AU3);
    K1.push_back(AU2);

    // The incisors' facial axes, continued to the base plane, may reach beyond the outline.
    const int count = static_cast<int>(m_records.size());
    double D = 0.0;
    double M = 0.0;
    for (int j = 0; j + 1 < count; ++j)
    {
        const QvToothBase* t0 = m_records[static_cast<std::size_t>(j)]->m_pTooth;
        const QvToothBase* t1 = m_records[static_cast<std::size_t>(j) + 1]->m_pTooth;
        if (t0->GetType() != kQvTypeTooth || t1->GetType() != kQvTypeTooth)
            continue;
        const int f0 = static_cast<const QvTooth*>(t0)->GetFdi(), f1 = static_cast<const QvTooth*>(t1)->GetFdi();
        if (f0 / 10 == f1 / 10)
            continue;
        for (int w = 0; w < 2; ++w)
        {
            const QvTooth* tooth = static_cast<const QvTooth*>(w == 0 ? t0 : t1);
            const QvToothRef* ref = tooth->GetToothRef();
            if (FdiUnit(tooth->GetFdi()) != 1 || !ref || !ref->HasFacc() || !ref->GetFacc().m_pCurve)
                continue;
            QvPoint c;
            QvVector d[2];
            if (!ref->GetFacc().m_pCurve->EvaluateDerivatives(1, c, d, 0.5))
                continue;
            if (const QvMatrix* placement = Placement(tooth))
            {
                c = *placement * c;
                d[0] = *placement * d[0];
            }
            d[0].Normalize();
            QvPoint hit;
            if (!P.IntersectLine(QvLine(c, d[0]), hit))
                continue;
            const std::size_t ki = static_cast<std::size_t>(j + 1 + w);
            const double dist = hit.Distance(K0[ki]);
            if (dist > D && (K0[ki] - hit).Dot(K0[ki] - K1[ki]) > 0.0)
                D = dist;
        }
        M = j + 0.5;
        break;
    }
    if (!IsZero(D) && M > 0.0)
    {
        auto plain = [&](int i) { return m_records[static_cast<std::size_t>(i)]->m_pTooth->GetType() == kQvTypeTooth; };
        auto unit = [&](int i) {
            return FdiUnit(static_cast<const QvTooth*>(m_records[static_cast<std::size_t>(i)]->m_pTooth)->GetFdi());
        };
        int r0 = -1, r1 = -1;
        for (int i = 0; i < count; ++i)
            if (plain(i))
            {
                if (r0 < 0)
                    r0 = i;
                r1 = i;
            }
        if (r0 >= 0)
        {
            const int o = unit(r0), v = unit(r1);
            if (o > v)
                while (r0 < r1 && !(plain(r0) && unit(r0) <= v))
                    ++r0;
            else if (o < v)
                for (r1 = r1 - 1; r1 > r0 && !(plain(r1) && unit(r1) <= o);)
                    --r1;
            for (int j = r0; j <= r1; ++j)
            {
                const std::size_t k = static_cast<std::size_t>(j + 1);
                QvVector dir = K1[k] - K0[k];
                dir.Normalize();
                const QvVector shift = dir * (D * (1.0 - std::fabs((j + 1) - M) / M) / 3.0);
                K0[k] = K0[k] + shift;
                K1[k] = K1[k] + shift;
            }
        }
    }

    std::vector<QvPoint> flat;
    FlattenPointsToPlane(K0, flat);
    QvPolyline hullLine;
    hullLine.m_points = flat;
    std::vector<int> hull;
    if (!hullLine.ConvexHull(hull))
        return false;
    std::sort(hull.begin(), hull.end());
    std::vector<QvPoint> hullPoints;
    for (const int i : hull)
        hullPoints.push_back(K0[static_cast<std::size_t>(i)]);
    std::unique_ptr<QvBSplineCurve> outline(QvBSplineCurve::Fit(hullPoints, {}, false, 0.001));
    if (!outline)
        return false;
    const int c = static_cast<int>(K0.size());
    QvVector towardsK1;
    for (std::size_t i = 0; i < K0.size(); ++i)
        towardsK1 = towardsK1 + (K1[i] - K0[i]);
    std::vector<QvPoint> N0, N1;
    for (int k = 0; k <= c; ++k)
    {
        const double t = std::clamp(static_cast<double>(k) / c, 0.0, 1.0);
        QvPoint p;
        QvVector d[2];
        if (!outline->EvaluateDerivatives(1, p, d, t))
            return false;
        QvVector side = d[0].Cross(P.GetNormal());
        side.Normalize();
        // The parallel runs on the face-1 side of the outline whichever way the arch turns.
        if (side.Dot(towardsK1) < 0.0)
            side = -side;
        N0.push_back(p);
        N1.push_back(p + side * (1.2 * 10.0));
    }
    const std::size_t mid = N0.size() / 2;
    std::vector<QvPoint> loop(N0.begin() + static_cast<std::ptrdiff_t>(mid), N0.end());
    loop.insert(loop.end(), N1.rbegin(), N1.rend());
    loop.insert(loop.end(), N0.begin(), N0.begin() + static_cast<std::ptrdiff_t>(mid));
    std::unique_ptr<QvBSplineCurve> closed(QvBSplineCurve::Fit(loop, {}, true, 0.001));
    if (!closed)
        return false;
    auto param = [&](const QvPoint& p) {
        double t = 0.0;
        QvPoint q;
        static_cast<void>(closed->ClosestPoint(p, t, q));
        return t;
    };
    const std::size_t last = N0.size() - 2;
    const double pA = param(N0[1]), pB = param(N0[last]), pC = param(N1[1]), pD = param(N1[last]);
    auto run = [&](int cnt, double from, double span) {
        for (int s = 0; s < cnt; ++s)
        {
            double t = from + s * span / cnt;
            if (t > 1.0)
                t -= 1.0;
            baseLoop.push_back(m_pGumMesh->AddVertex(closed->Evaluate(std::clamp(t, 0.0, 1.0))));
        }
    };
    run(c1, pC, pA - pC);
    run(c2, pA, pB - pA + 1.0);
    run(c3, pB, pD - pB);
    run(c4, pD, pC - pD);
    return true;
}

bool QvCreateGumCommand::CloseGumBase(const std::vector<int>& baseLoop)
{
    std::vector<QvPoint> points;
    for (const int v : baseLoop)
        points.push_back(Pos(v));
    // The loop itself bounds the base: the band around the arch is not convex, and hull
    // triangles beyond it would meet the wall's bottom edges a second time. A loop that
    // crosses itself gets the hull.
    auto triangulation = std::make_unique<QvTriangleCommand>(points, QvTriangleCommand::Shape::Outline);
    if (!triangulation->Execute())
    {
        triangulation = std::make_unique<QvTriangleCommand>(points, QvTriangleCommand::Shape::PointSet);
        if (!triangulation->Execute())
            return false;
    }
    if (triangulation->m_outputPoints.size() > 2 * points.size())
        return false;
    const int f0 = static_cast<int>(m_pGumMesh->m_faces.size());
    const std::vector<std::int32_t>& t = triangulation->m_outputTriangles;
    for (std::size_t i = 0; i + 2 < t.size(); i += 3)
        static_cast<void>(m_pGumMesh->AddFace(baseLoop[static_cast<std::size_t>(t[i])],
                                              baseLoop[static_cast<std::size_t>(t[i + 1])],
                                              baseLoop[static_cast<std::size_t>(t[i + 2])], 6));
    std::vector<int> added;
    for (int f = f0; f < static_cast<int>(m_pGumMesh->m_faces.size()); ++f)
        added.push_back(f);
    m_pGumMesh->OrientFaces(added);
    return true;
}
