// SPDX-License-Identifier: GPL-3.0-or-later
// The base outline: a closed curve in the base plane around the arch, beside flank 2
// and flank 1 of every tooth, and the plane crossing that cuts the patch border.
#include <algorithm>
#include <limits>
#include <memory>

#include "core/base/QvTypeCodes.h"
#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvLine.h"
#include "core/gum/QvCreateGumCommandOld.h"
#include "core/model/QvTooth.h"

namespace {

// Flank-2 widening by tooth type: three times as wide at a central incisor as at a third molar.
double ToothFactor(const QvToothBase* tooth)
{
    int t = 6;
    if (tooth && tooth->GetType() == kQvTypeTooth)
    {
        t = static_cast<const QvTooth*>(tooth)->GetFdi() % 10;
        // Digits 9 and 0 name no tooth type; they count as a first molar.
        if (t < 1 || t > 8)
            t = 6;
    }
    return 1.0 + 2.0 * (8 - t) / 7.0;
}

QvPoint Mid(const QvPoint& a, const QvPoint& b)
{
    return QvPoint((a[0] + b[0]) * 0.5, (a[1] + b[1]) * 0.5, (a[2] + b[2]) * 0.5);
}

} // namespace

void QvCreateGumCommandOld::BuildOutlinePoints(bool flank2, std::vector<QvPoint>& points)
{
    const int n = static_cast<int>(m_toothInfos.size());
    points.resize(static_cast<std::size_t>(n + 2));
    if (n == 0 || !m_toothInfos.front() || !m_toothInfos.back())
        return;
    const QvPlane& plane = m_basePlane;
    const double s = flank2 ? 1.0 : -1.0;
    const int K = flank2 ? 2 : 3;
    const double P = m_dOutlineScale;
    auto offset = [&](const QvGumToothInfo* r) { return r->GetCornerDirection(plane, 2) * (s * r->GetCornerRadius(plane, K) * P); };
    const QvGumToothInfo* q = m_toothInfos.front();
    const QvPoint S = plane.ProjectPoint(q->m_centre) + q->GetCornerDirection(plane, 0) * (q->GetCornerRadius(plane, 0) * 1.05);
    points[0] = S + offset(q);
    for (int i = 0; i < n; ++i)
    {
        const QvGumToothInfo* r = m_toothInfos[static_cast<std::size_t>(i)];
        points[static_cast<std::size_t>(i) + 1] =
            plane.ProjectPoint(r->m_centre) + offset(r) * (flank2 ? ToothFactor(r->m_pTooth) : 1.0);
    }
    const QvGumToothInfo* r = m_toothInfos.back();
    const QvPoint E = plane.ProjectPoint(r->m_centre) + r->GetCornerDirection(plane, 1) * (r->GetCornerRadius(plane, 1) * 1.05);
    points[static_cast<std::size_t>(n) + 1] = E + offset(r);
    if (flank2)
        RelaxPolyline(points, 1, n, 5, 0.5);
    else
        RelaxPolyline(points, 1, n, 3, 0.2);
}

void QvCreateGumCommandOld::BuildOutlinePointsByMode(int mode, std::vector<QvPoint>& points)
{
    const int n = static_cast<int>(m_toothInfos.size());
    points.resize(static_cast<std::size_t>(n + 2));
    if (n == 0 || !m_toothInfos.front() || !m_toothInfos.back())
        return;
    const QvPlane& plane = m_basePlane;
    const bool toFlank2 = mode == 2;
    const double s = toFlank2 ? 1.0 : -1.0;
    const int kind = toFlank2 ? 2 : (mode >= 0 && mode <= 3 ? mode : 3);
    const double P = m_dOutlineScale;
    auto largest = [&](const QvGumToothInfo* r, int end) {
        return std::max({r->GetCornerRadius(plane, 2), r->GetCornerRadius(plane, 3), r->GetCornerRadius(plane, end)});
    };
    const QvGumToothInfo* q = m_toothInfos.front();
    const int endKind = toFlank2 ? 2 : 3;
    points[0] = plane.ProjectPoint(q->m_centre) + q->GetCornerDirection(plane, 0) * (1.5 * largest(q, 0)) +
                q->GetCornerDirection(plane, 2) * (s * q->GetCornerRadius(plane, endKind) * P);
    for (int i = 0; i < n; ++i)
    {
        const QvGumToothInfo* r = m_toothInfos[static_cast<std::size_t>(i)];
        points[static_cast<std::size_t>(i) + 1] =
            plane.ProjectPoint(r->m_centre) + r->GetCornerDirection(plane, 2) * (s * r->GetCornerRadius(plane, kind) * P);
    }
    const QvGumToothInfo* r = m_toothInfos.back();
    points[static_cast<std::size_t>(n) + 1] = plane.ProjectPoint(r->m_centre) +
                                              r->GetCornerDirection(plane, 1) * (1.5 * largest(r, 1)) +
                                              r->GetCornerDirection(plane, 2) * (s * r->GetCornerRadius(plane, endKind) * P);
    if (toFlank2)
        RelaxPolyline(points, 1, n, 5, 0.5);
    else
        RelaxPolyline(points, 1, n, 3, 0.2);
}

void QvCreateGumCommandOld::RelaxPolyline(std::vector<QvPoint>& points, int first, int last, int passes, double w)
{
    last = std::min(last, static_cast<int>(points.size()) - 1);
    if (first < 0 || first >= last)
        return;
    for (int pass = 0; pass < passes; ++pass)
    {
        const std::vector<QvPoint> c(points.begin() + first, points.begin() + last + 1);
        for (int i = first + 1; i < last; ++i)
        {
            const std::size_t k = static_cast<std::size_t>(i - first);
            const QvPoint m = Mid(c[k - 1], c[k + 1]);
            points[static_cast<std::size_t>(i)] = c[k] + (m - c[k]) * w;
        }
    }
}

QvBSplineCurve* QvCreateGumCommandOld::BuildBaseOutline(double& t1, double& t2)
{
    std::vector<QvPoint> O2, O1;
    BuildOutlinePoints(true, O2);
    BuildOutlinePoints(false, O1);
    std::vector<QvPoint> M;
    for (std::size_t i = 0; i < O2.size(); ++i)
        M.push_back(Mid(O2[i], O1[i]));
    std::vector<QvPoint> samples;
    {
        std::unique_ptr<QvBSplineCurve> mid(QvBSplineCurve::Fit(M, {}, false, 0.001));
        if (!mid)
            return nullptr;
        mid->Sample(50, samples, 0.0, 1.0);
    }
    if (samples.size() < 2)
        return nullptr;
    auto regularise = [&samples](std::vector<QvPoint>& O, double g) {
        int c = -1;
        std::vector<QvPoint> proj;
        for (const QvPoint& p : O)
        {
            int j = 0;
            double best = std::numeric_limits<double>::max();
            for (int k = 0; k < static_cast<int>(samples.size()); ++k)
            {
                const double d = p.SquaredDistance(samples[static_cast<std::size_t>(k)]);
                if (d < best)
                {
                    best = d;
                    j = k;
                }
            }
            c = j > c ? j : std::min(c, 49) + 1;
            proj.push_back(samples[static_cast<std::size_t>(c)]);
        }
        double delta = 0.0;
        for (std::size_t i = 0; i < O.size(); ++i)
            delta += O[i].Distance(proj[i]);
        delta /= static_cast<double>(O.size());
        for (std::size_t i = 0; i < O.size(); ++i)
        {
            QvVector u = O[i] - proj[i];
            u.Normalize();
            const double gi = (i == 0 || i + 1 == O.size()) ? g : 1.0;
            O[i] = proj[i] + u * (delta * gi);
        }
    };
    regularise(O2, 0.8);
    regularise(O1, 0.7);
    const std::size_t h = O1.size() / 2;
    std::vector<QvPoint> sequence(O1.begin() + static_cast<std::ptrdiff_t>(h), O1.end());
    sequence.insert(sequence.end(), O2.rbegin(), O2.rend());
    sequence.insert(sequence.end(), O1.begin(), O1.begin() + static_cast<std::ptrdiff_t>(h));
    QvBSplineCurve* curve = QvBSplineCurve::Fit(sequence, {}, true, 0.001);
    if (!curve)
        return nullptr;
    auto paramOf = [curve](const QvPoint& p) {
        double t = 0.0;
        QvPoint q;
        static_cast<void>(curve->ClosestPoint(p, t, q));
        return t;
    };
    t1 = (paramOf(O1.front()) + paramOf(O2.front())) / 2.0;
    t2 = (paramOf(O1.back()) + paramOf(O2.back())) / 2.0;
    return curve;
}

int QvCreateGumCommandOld::FindPlaneCrossing(const QvPlane& plane, const std::vector<QvPoint>& points, QvPoint& out)
{
    const int m = static_cast<int>(points.size());
    if (m == 0)
        return -1;
    int bestIndex = -1;
    int bestDistance = std::numeric_limits<int>::max();
    for (int i = 0; i + 1 < m; ++i)
    {
        QvPoint hit;
        if (!plane.IntersectSegment(QvLineSeg(points[static_cast<std::size_t>(i)], points[static_cast<std::size_t>(i) + 1]), hit))
            continue;
        const int d = std::abs(i - m / 2);
        if (d < bestDistance)
        {
            bestDistance = d;
            bestIndex = i;
            out = hit;
        }
    }
    if (bestIndex >= 0)
        return bestIndex;
    const QvPoint G = plane.GetPoint();
    double best = std::numeric_limits<double>::max();
    int index = 0;
    for (int i = 0; i < m; ++i)
    {
        const double d = G.SquaredDistance(points[static_cast<std::size_t>(i)]);
        if (d < best)
        {
            best = d;
            index = i;
        }
    }
    out = points[static_cast<std::size_t>(index)];
    return index;
}
