// SPDX-License-Identifier: GPL-3.0-or-later
// The gum surface of one jaw from the tooth records: interdental gum, patches, gap
// strips, the skirt down to the base outline and the flat base, then relaxation,
// smoothing and one consistent orientation.
#include <algorithm>
#include <cmath>
#include <memory>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvBSplineSurface.h"
#include "core/gum/QvCreateGumCommandOld.h"
#include "core/mesh/QvMesh.h"

namespace {

QvPoint MeanOf(const QvMesh& mesh, const std::vector<int>& ring)
{
    double x = 0.0, y = 0.0, z = 0.0;
    for (const int v : ring)
    {
        const QvPoint& p = mesh.m_vertices[static_cast<std::size_t>(v)].m_point;
        x += p[0];
        y += p[1];
        z += p[2];
    }
    const double n = static_cast<double>(ring.size());
    return QvPoint(x / n, y / n, z / n);
}

} // namespace

bool QvCreateGumCommandOld::BuildGumSurface()
{
    const int n = static_cast<int>(m_toothInfos.size());
    QvMesh* mesh = m_pGumMesh;
    if (n < 2)
        return false;

    for (int i = 0; i + 1 < n; ++i)
        BuildInterdentalGum(*m_toothInfos[static_cast<std::size_t>(i)], *m_toothInfos[static_cast<std::size_t>(i) + 1]);

    std::vector<std::vector<int>> sideChains(static_cast<std::size_t>(4 * n));
    std::vector<int> border1, border2;
    for (int j = 0; j < n; ++j)
        if (!BuildToothPatch(j, sideChains, border1, border2))
            return false;
    auto strip = [mesh](const std::vector<int>& a, const std::vector<int>& b, bool byIndex) {
        StitchChains(mesh, a.data(), a.data() + a.size(), b.data(), b.data() + b.size(), byIndex);
    };
    for (int j = 0; j + 1 < n; ++j)
    {
        strip(sideChains[static_cast<std::size_t>(4 * j)], sideChains[static_cast<std::size_t>(4 * j + 5)], false);
        strip(sideChains[static_cast<std::size_t>(4 * j + 3)], sideChains[static_cast<std::size_t>(4 * j + 6)], false);
    }
    // Without a flank-1 border there is no patch border to hang the skirt from.
    if (border1.size() < 2 || border2.size() < 3)
        return false;

    std::vector<std::vector<int>> loops;
    mesh->GetBoundaryLoops(loops);
    int R = -1;
    for (int k = 0; k < static_cast<int>(loops.size()); ++k)
        if (std::find(loops[static_cast<std::size_t>(k)].begin(), loops[static_cast<std::size_t>(k)].end(),
                      border1.front()) != loops[static_cast<std::size_t>(k)].end())
            R = k;
    RelaxFromToothRings(loops, R);

    std::vector<QvPoint> pA, pB;
    for (const int v : border1)
        pA.push_back(Pos(v));
    for (const int v : border2)
        pB.push_back(Pos(v));
    const int nA = static_cast<int>(pA.size());
    const int nB = static_cast<int>(pB.size());

    double t1 = 0.0, t2 = 0.0;
    std::unique_ptr<QvBSplineCurve> outline(BuildBaseOutline(t1, t2));
    if (!outline)
        return false;

    QvPoint P;
    std::vector<QvVector> D;
    if (!outline->EvaluateDerivatives(1, P, D, 0.0) || D.empty())
        return false;
    QvVector tangent = D[0];
    tangent.Normalize();
    QvPoint cross;
    const int i0 = FindPlaneCrossing(QvPlane(P, tangent), pA, cross);
    const QvVector flat = m_up.Cross(D[0]).Cross(m_up);
    QvVector flatN = flat;
    flatN.Normalize();
    const int i1 = FindPlaneCrossing(QvPlane(P, flatN), pB, cross);

    std::vector<QvPoint> points = pA;
    for (int k = nB - 2; k >= 1; --k)
        points.push_back(pB[static_cast<std::size_t>(k)]);
    const int N = nA + nB - 2;
    std::vector<std::int32_t> K = {0, i0, nA - 1, nA - 1 + i1, N - 1};
    // The cuts must run forward along the border; a crossing at an end would fold a quarter.
    for (std::size_t k = 1; k < K.size(); ++k)
        K[k] = std::max(K[k], K[k - 1] + 1);
    if (K.back() > N - 1 || N < 5)
        return false;
    std::unique_ptr<QvBSplineCurve> border(QvBSplineCurve::Approximate(points, K, std::min(N, 150), true));
    if (!border)
        return false;

    const double u1 = border->GetParameter(K[1]);
    const double u2 = border->GetParameter(K[2]);
    const double u3 = border->GetParameter(K[3]);
    const double m = (t1 + t2) / 2.0;
    std::unique_ptr<QvBSplineCurve> eCurves[4] = {std::unique_ptr<QvBSplineCurve>(border->Extract(0.0, u1)),
                                                 std::unique_ptr<QvBSplineCurve>(border->Extract(u1, u2)),
                                                 std::unique_ptr<QvBSplineCurve>(border->Extract(u2, u3)),
                                                 std::unique_ptr<QvBSplineCurve>(border->Extract(u3, 1.0))};
    std::unique_ptr<QvBSplineCurve> fCurves[4] = {std::unique_ptr<QvBSplineCurve>(outline->Extract(t1, 1.0)),
                                                 std::unique_ptr<QvBSplineCurve>(outline->Extract(0.0, t2)),
                                                 std::unique_ptr<QvBSplineCurve>(outline->Extract(t2, m)),
                                                 std::unique_ptr<QvBSplineCurve>(outline->Extract(m, t1))};
    std::unique_ptr<QvBSplineSurface> surfaces[4];
    std::vector<QvBSplineSurface*> surfaceList;
    std::vector<double> lengths;
    for (int k = 0; k < 4; ++k)
    {
        // A zero-length outline quarter has no curve and gives no columns.
        if (!fCurves[k])
        {
            lengths.push_back(0.0);
            surfaceList.push_back(nullptr);
            continue;
        }
        if (!eCurves[k])
            return false;
        surfaces[k].reset(QvBSplineSurface::Skin({eCurves[k].get(), fCurves[k].get()}));
        if (!surfaces[k])
            return false;
        surfaceList.push_back(surfaces[k].get());
        lengths.push_back(fCurves[k]->ArcLength(false, 0.0, 1.0));
    }

    std::vector<std::vector<int>> columns;
    int split = -1;
    SampleSkirtSurfaces(lengths, surfaceList, columns, split);
    if (columns.empty())
        return false;
    columns.push_back(columns.front());
    for (std::size_t k = 0; k + 1 < columns.size(); ++k)
        strip(columns[k], columns[k + 1], false);

    std::vector<int> firstRow, base1, base2;
    for (int k = 0; k + 1 < static_cast<int>(columns.size()); ++k)
    {
        const std::vector<int>& column = columns[static_cast<std::size_t>(k)];
        firstRow.push_back(column.front());
        (k <= split ? base1 : base2).push_back(column.back());
    }
    std::vector<int> borderLoop = border1;
    borderLoop.insert(borderLoop.end(), border2.rbegin(), border2.rend());
    borderLoop.push_back(borderLoop.front());
    firstRow.push_back(firstRow.front());
    strip(borderLoop, firstRow, false);

    std::vector<int> listed = borderLoop;
    listed.insert(listed.end(), firstRow.begin(), firstRow.end());
    SmoothListedVertices(mesh, listed, 2);

    std::set<int> fixed;
    for (int k = 0; k < static_cast<int>(loops.size()); ++k)
        if (k != R)
            fixed.insert(loops[static_cast<std::size_t>(k)].begin(), loops[static_cast<std::size_t>(k)].end());
    fixed.insert(base1.begin(), base1.end());
    fixed.insert(base2.begin(), base2.end());

    std::reverse(base2.begin(), base2.end());
    const std::size_t f0 = mesh->m_faces.size();
    strip(base1, base2, true);
    for (std::size_t f = f0; f < mesh->m_faces.size(); ++f)
        mesh->m_faces[f].m_tag = 6;

    SmoothFreeVertices(mesh, fixed, 1, 1.0);

    if (mesh->m_faces.empty())
        return false;
    const int last = static_cast<int>(mesh->m_faces.size()) - 1;
    mesh->UpdateFaceNormals({last});
    if (mesh->m_faces[static_cast<std::size_t>(last)].m_normal.Dot(m_up) < 0.0)
        mesh->m_faces[static_cast<std::size_t>(last)].Flip();
    std::vector<int> others(static_cast<std::size_t>(last));
    for (int f = 0; f < last; ++f)
        others[static_cast<std::size_t>(f)] = f;
    mesh->OrientFaces(others);
    return true;
}

void QvCreateGumCommandOld::SampleSkirtSurfaces(const std::vector<double>& lengths,
                                                const std::vector<QvBSplineSurface*>& surfaces,
                                                std::vector<std::vector<int>>& columns, int& split)
{
    columns.clear();
    const int n = static_cast<int>(surfaces.size());
    const double step = 3.0 * m_dMeanEdgeLength;
    for (int i = 0; i < n; ++i)
    {
        if (static_cast<double>(i) == static_cast<double>(n) / 2.0)
            split = static_cast<int>(columns.size()) - 1;
        const QvBSplineSurface* S = surfaces[static_cast<std::size_t>(i)];
        const int k = static_cast<int>(std::ceil(lengths[static_cast<std::size_t>(i)] / step));
        if (k <= 0 || !S)
            continue;
        for (int g = 0; g < k; ++g)
        {
            const double u = static_cast<double>(g) / static_cast<double>(k);
            const QvPoint A = S->Evaluate(u, 0.0);
            const QvPoint B = S->Evaluate(u, 1.0);
            int m = static_cast<int>(std::floor(A.Distance(B) / step));
            if (m <= 0)
                m = 1;
            std::vector<int> column;
            for (int r = 1; r <= m + 1; ++r)
                column.push_back(m_pGumMesh->AddVertex(
                    S->Evaluate(u, std::min(1.0, static_cast<double>(r) / static_cast<double>(m + 1)))));
            columns.push_back(std::move(column));
        }
    }
}

void QvCreateGumCommandOld::RelaxFromToothRings(const std::vector<std::vector<int>>& loops, int R)
{
    QvMesh* mesh = m_pGumMesh;
    const std::size_t nv = mesh->m_vertices.size();
    std::vector<bool> visited(nv, false);
    std::vector<int> ring;
    for (int k = 0; k < static_cast<int>(loops.size()); ++k)
        for (const int v : loops[static_cast<std::size_t>(k)])
        {
            visited[static_cast<std::size_t>(v)] = true;
            if (k != R)
                ring.push_back(v);
        }
    std::vector<std::pair<int, double>> work;
    std::vector<int> neighbours;
    for (int r = 1;; ++r)
    {
        std::vector<int> next;
        for (const int v : ring)
        {
            mesh->GetNeighborVertices(v, neighbours);
            for (const int w : neighbours)
                if (!visited[static_cast<std::size_t>(w)])
                {
                    visited[static_cast<std::size_t>(w)] = true;
                    next.push_back(w);
                }
        }
        if (next.empty())
            break;
        const double weight = r <= 10 ? 0.1 * r : 1.0;
        for (const int v : next)
            work.emplace_back(v, weight);
        ring.swap(next);
    }
    for (int pass = 0; pass < 4; ++pass)
        for (const auto& [v, w] : work)
        {
            mesh->GetNeighborVertices(v, neighbours);
            if (neighbours.empty())
                continue;
            const QvPoint x = Pos(v);
            double D = 0.0;
            for (const int k : neighbours)
                D += x.Distance(Pos(k));
            // Neighbours all on the vertex: nothing pulls it anywhere.
            if (!(D > 0.0))
                continue;
            QvVector c;
            for (const int k : neighbours)
                c = c + (Pos(k) - QvPoint()) * (x.Distance(Pos(k)) / D);
            const QvPoint target = QvPoint() + c;
            static_cast<void>(mesh->SetVertexPosition(v, x + (target - x) * w));
        }
}

void QvCreateGumCommandOld::SmoothListedVertices(QvMesh* mesh, const std::vector<int>& list, int passes)
{
    std::map<int, QvPoint> moved;
    std::vector<int> neighbours;
    for (int pass = 0; pass < passes; ++pass)
    {
        for (const int v : list)
        {
            mesh->GetNeighborVertices(v, neighbours);
            if (!neighbours.empty())
                moved[v] = MeanOf(*mesh, neighbours);
        }
        for (const auto& [v, p] : moved)
            static_cast<void>(mesh->SetVertexPosition(v, p));
    }
}

void QvCreateGumCommandOld::SmoothFreeVertices(QvMesh* mesh, const std::set<int>& fixed, int passes, double weight)
{
    const std::size_t nv = mesh->m_vertices.size();
    std::vector<std::vector<int>> rings(nv);
    std::vector<bool> movable(nv, false);
    for (std::size_t v = 0; v < nv; ++v)
        if (!fixed.count(static_cast<int>(v)))
        {
            movable[v] = true;
            mesh->GetNeighborVertices(static_cast<int>(v), rings[v]);
        }
    std::vector<QvPoint> next(nv);
    for (std::size_t v = 0; v < nv; ++v)
        next[v] = mesh->m_vertices[v].m_point;
    for (int pass = 0; pass < passes; ++pass)
    {
        for (std::size_t v = 0; v < nv; ++v)
            if (movable[v] && !rings[v].empty())
            {
                const QvPoint& x = mesh->m_vertices[v].m_point;
                next[v] = x + (MeanOf(*mesh, rings[v]) - x) * weight;
            }
        for (std::size_t v = 0; v < nv; ++v)
            if (movable[v])
                static_cast<void>(mesh->SetVertexPosition(static_cast<int>(v), next[v]));
    }
}

int QvCreateGumCommandOld::CountSamples(const std::vector<QvPoint>& points, double factor) const
{
    double L = 0.0;
    for (std::size_t i = 0; i + 1 < points.size(); ++i)
        L += points[i].Distance(points[i + 1]);
    const double unit = factor * m_dMeanEdgeLength;
    const int k = unit > 0.0 ? static_cast<int>(std::floor(L / unit)) : 0;
    return std::max(1, k) + 1;
}
