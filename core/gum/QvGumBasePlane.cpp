// SPDX-License-Identifier: GPL-3.0-or-later
// The base plane of the second builder: a plain plane 3 below the deepest tooth point,
// or one tilted by the inclination of the front teeth, keeping the crowns clear of it.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "core/base/QvTypeCodes.h"
#include "core/geometry/QvMatrix.h"
#include "core/gum/QvCreateGumCommand.h"
#include "core/model/QvTooth.h"

namespace {

constexpr double kCos35 = 0.8191520442889687;
constexpr double kLowest = std::numeric_limits<double>::lowest();
constexpr double kPi = 3.14159265359;

std::vector<QvPoint> BoundaryPoints(const QvToothBase* tooth, const QvMatrix* placement)
{
    std::vector<QvPoint> out;
    for (const int v : *tooth->GetBoundaryLoop())
    {
        const QvPoint& p = tooth->m_vertices[static_cast<std::size_t>(v)].m_point;
        out.push_back(placement ? *placement * p : p);
    }
    return out;
}

int UnitDigit(const QvToothBase* tooth)
{
    return tooth && tooth->GetType() == kQvTypeTooth ? FdiUnit(static_cast<const QvTooth*>(tooth)->GetFdi()) : -1;
}

} // namespace

QvVector QvCreateGumCommand::RimNormal() const
{
    std::vector<QvPoint> rims;
    for (const QvToothBase* tooth : m_archOrder)
    {
        const std::vector<QvPoint> b = BoundaryPoints(tooth, Placement(tooth));
        rims.insert(rims.end(), b.begin(), b.end());
    }
    QvVector n = m_up;
    if (std::unique_ptr<QvPlane> fit{QvPlane::FitPoints(rims)})
    {
        n = fit->GetNormal();
        if (n.Dot(m_up) < 0.0)
            n = -n;
    }
    n.Normalize();
    return n;
}

void QvCreateGumCommand::FitBasePlane()
{
    const QvVector n = RimNormal();
    const QvPoint origin(0.0, 0.0, 0.0);
    double T = kLowest;
    for (const QvToothBase* tooth : m_archOrder)
    {
        const QvMatrix* M = Placement(tooth);
        for (const QvVertex& v : tooth->m_vertices)
            T = std::max(T, ((M ? *M * v.m_point : v.m_point) - origin).Dot(n));
    }
    m_basePlane = QvPlane(origin + n * (T + 3.0), n);
    m_up = n;
}

void QvCreateGumCommand::FitBasePlaneByToothFrames()
{
    const QvVector n = RimNormal();
    const QvPoint origin(0.0, 0.0, 0.0);
    auto depth = [&](const QvPoint& p) { return (p - origin).Dot(n); };

    // Survey: the far point F (deepest rim or crown point), the near point E (crown point
    // farthest from the base), each tooth's deepest crown point, the most tipped incisor.
    double M1 = kLowest, M2 = kLowest, crownMin = std::numeric_limits<double>::max();
    QvPoint F, E;
    const QvToothBase* farTooth = nullptr;
    std::vector<QvPoint> farPoints;
    double cMin = 1.0;
    const QvToothBase* tipped = nullptr;
    for (const QvToothBase* tooth : m_archOrder)
    {
        if (!tooth)
            continue;
        const QvMatrix* M = Placement(tooth);
        for (const QvPoint& p : BoundaryPoints(tooth, M))
            if (depth(p) > M1)
            {
                M1 = depth(p);
                F = p;
                farTooth = tooth;
            }
        std::vector<char> crown(tooth->m_vertices.size(), 0);
        for (const QvFace& face : tooth->m_faces)
            if (face.m_tag != 4)
                for (const int v : face.m_vertices)
                    crown[static_cast<std::size_t>(v)] = 1;
        double deepest = kLowest;
        QvPoint deepestPoint;
        for (std::size_t v = 0; v < crown.size(); ++v)
        {
            if (!crown[v])
                continue;
            const QvPoint p = M ? *M * tooth->m_vertices[v].m_point : tooth->m_vertices[v].m_point;
            const double t = depth(p);
            if (t > M2)
            {
                M2 = t;
                F = p;
            }
            if (t < crownMin)
            {
                crownMin = t;
                E = p;
            }
            if (t > deepest)
            {
                deepest = t;
                deepestPoint = p;
            }
        }
        if (deepest > kLowest)
            farPoints.push_back(deepestPoint);
        const int unit = UnitDigit(tooth);
        if (unit == 1 || unit == 2)
        {
            QvVector z = tooth->GetFrame()->m_dirZ;
            if (M)
                z = *M * z;
            z.Normalize();
            const double c = z.Dot(n);
            if (c < cMin)
            {
                cMin = c;
                tipped = tooth;
            }
        }
    }
    const bool upright = cMin >= kCos35;
    const QvToothBase* candidate = tipped && !upright ? tipped : farTooth;
    const int a = UnitDigit(candidate);
    int k = 0;
    if (a != -1)
    {
        k = 2;
        if (upright)
        {
            if (a >= 6)
                k = -1;
            else
            {
                int j = -1;
                for (int i = 0; i < static_cast<int>(farPoints.size()); ++i)
                    if (IsZero(farPoints[static_cast<std::size_t>(i)].Distance(F)))
                        j = i;
                const int count = static_cast<int>(farPoints.size());
                k = 0;
                if (count > 0)
                {
                    const double dF = depth(F);
                    const double d0 = depth(farPoints[static_cast<std::size_t>(std::max(j, 1) - 1)]);
                    const double d1 = depth(farPoints[static_cast<std::size_t>(std::min(j + 1, count - 1))]);
                    if (std::fabs(d0 - dF) > 3.0 || std::fabs(d1 - dF) > 3.0)
                        k = 1;
                }
            }
        }
    }
    const QvPoint B = origin + n * (std::max(M1, M2) + 3.0);
    const QvPlane provisional(B, n);
    QvPlane N = provisional;

    std::vector<QvPoint> collected, incisorProjections;
    QvVector sumAll;
    int countAll = 0;
    if (k == 1 || k == 2)
    {
        for (const QvToothBase* tooth : m_archOrder)
        {
            if (!tooth || tooth->GetType() == kQvTypeVirtualTooth)
                continue;
            const int unit = UnitDigit(tooth);
            for (const QvPoint& p : BoundaryPoints(tooth, Placement(tooth)))
            {
                const QvPoint q = N.ProjectPoint(p);
                sumAll = sumAll + (q - origin);
                ++countAll;
                if (unit == 1 || unit == 2)
                    incisorProjections.push_back(q);
                collected.push_back(p);
            }
        }
        // No incisor, no front to tilt by.
        if (incisorProjections.empty() || countAll == 0)
            k = 0;
    }
    if (k == -1)
    {
        std::vector<QvPoint> moved;
        for (const QvToothBase* tooth : m_archOrder)
        {
            if (!tooth || tooth->GetType() == kQvTypeVirtualTooth)
                continue;
            const double w = (1.0 - 0.125 * std::abs(UnitDigit(tooth) - a)) * k;
            for (const QvPoint& p : BoundaryPoints(tooth, Placement(tooth)))
            {
                const QvPoint q = N.ProjectPoint(p);
                QvVector u = p - q;
                u.Normalize();
                moved.push_back(q + u * w);
            }
        }
        if (std::unique_ptr<QvPlane> fit{QvPlane::FitPoints(moved)})
        {
            QvVector nn = fit->GetNormal();
            if (nn.Dot(m_up) < 0.0)
                nn = -nn;
            N = QvPlane(fit->GetPoint(), nn);
        }
    }
    else if (k == 1 || k == 2)
    {
        QvVector sumY;
        for (const QvPoint& q : incisorProjections)
            sumY = sumY + (q - origin);
        QvPoint X = origin + sumAll / countAll;
        const QvPoint Y = origin + sumY / static_cast<double>(incisorProjections.size());
        QvVector v = Y - X;
        const double L = v.Length();
        v.Normalize();
        double tMin = std::numeric_limits<double>::max();
        for (const QvPoint& p : collected)
            tMin = std::min(tMin, (p - X).Dot(v));
        X = X + v * tMin;
        const QvVector s = n.Cross(v);
        const QvFrame F1(X, v, s);
        auto tilted = [&](double h) {
            QvPlane plane = provisional;
            const QvFrame F2(X, (Y + n * h) - X, s);
            if (std::unique_ptr<QvMatrix> motion{F1.GetTransformTo(F2)})
                plane.Transform(*motion);
            return plane;
        };
        const double angle = k == 2 ? std::acos(std::clamp(cMin, -1.0, 1.0)) * 180.0 / kPi - 30.0 : 10.0;
        const double h = k == 2 ? std::tan(angle * kPi / 180.0) * L : std::min(2.0, 0.17632698070847683 * L);
        N = tilted(h);
        if (k == 2 && N.Distance(E, false) > 17.5)
        {
            double low = 0.0, high = angle, previous = 0.0;
            for (int guard = 0; guard < 200; ++guard)
            {
                const double mid = (low + high) * 0.5;
                if (IsZero(mid - previous))
                    break;
                previous = mid;
                N = tilted(std::tan(mid * kPi / 180.0) * L);
                const double dist = N.Distance(E, false);
                if (std::fabs(dist - 17.5) < 0.1)
                    break;
                if (dist > 17.5)
                    high = mid;
                else
                    low = mid;
            }
        }
        double m = kLowest;
        for (const QvPoint& p : collected)
            m = std::max(m, N.Distance(p, true));
        if (m > -2.0)
            N.Offset(-2.0 - m);
    }
    m_basePlane = N;
    m_up = N.GetNormal();
    // Clearance of the far point.
    const double dF = m_basePlane.Distance(F, false);
    if (dF < 3.0)
    {
        QvVector away = m_basePlane.ProjectPoint(F) - F;
        if (away.IsZero())
            away = m_up;
        away.Normalize();
        m_basePlane = QvPlane(m_basePlane.GetPoint() + away * (3.0 - dF), m_up);
    }
    if (m_bKeepCrownDepth)
    {
        const double dE = m_basePlane.Distance(E, false);
        if (dE < 17.5)
            m_basePlane = QvPlane(m_basePlane.GetPoint() + m_up * (17.5 - dE), m_up);
    }
}
