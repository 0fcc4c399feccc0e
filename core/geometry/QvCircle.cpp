// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvCircle.h"

#include <cmath>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvPlane.h"

namespace {

QvVector Normalized(QvVector v)
{
    v.Normalize();
    return v;
}

// K G - D^2 of the circle fit is never negative (Cauchy-Schwarz) and is zero for points on
// a line; rounding of the cancelling sums leaves about 1e-12 of K G there, so anything
// below this fraction is a line, not a circle.
constexpr double kFitCollinear = 1e-10;

} // namespace

// ---------------------------------------------------------------- QvCircle

QvCircle::QvCircle() : m_centre(0.0, 0.0, 0.0), m_radius(0.0), m_normal(0.0, 0.0, 0.0) {}

QvCircle::QvCircle(const QvPoint& centre, const double& radius, const QvVector& normal)
    : m_centre(centre), m_radius(radius), m_normal(Normalized(normal))
{
}

QvCircle* QvCircle::FromThreePoints(const QvPoint& p1, const QvPoint& p2, const QvPoint& p3)
{
    const QvVector a = p2 - p1;
    const QvVector b = p3 - p2;
    // A repeated point leaves a zero chord whose bisector has no direction: any circle
    // through the other two points would do, so there is no answer.
    if (a.IsZero() || b.IsZero())
        return nullptr;
    QvVector n = Normalized(a).Cross(Normalized(b));
    if (n.IsZero())
        return nullptr;
    n.Normalize();

    const QvLine bisector1(p1 + a * 0.5, n.Cross(a));
    const QvLine bisector2(p2 + b * 0.5, n.Cross(b));
    QvPoint centre;
    if (!bisector1.Intersect(bisector2, centre))
        return nullptr;
    return new QvCircle(centre, centre.Distance(p1), n);
}

QvCircle* QvCircle::FitPoints(const std::vector<QvPoint>& points)
{
    if (points.size() < 3)
        return nullptr;
    double sx = 0.0, sy = 0.0, sxx = 0.0, syy = 0.0, sxy = 0.0;
    double sxxx = 0.0, syyy = 0.0, sxyy = 0.0, sxxy = 0.0;
    for (const QvPoint& p : points)
    {
        const double x = p[0];
        const double y = p[1];
        sx += x;
        sy += y;
        sxx += x * x;
        syy += y * y;
        sxy += x * y;
        sxxx += x * x * x;
        syyy += y * y * y;
        sxyy += x * y * y;
        sxxy += x * x * y;
    }
    const double n = static_cast<double>(points.size());
    const double k = n * sxx - sx * sx;
    const double d = n * sxy - sx * sy;
    const double e = n * sxxx + n * sxyy - (sxx + syy) * sx;
    const double g = n * syy - sy * sy;
    const double h = n * sxxy + n * syyy - (sxx + syy) * sy;

    const double det = k * g - d * d;
    // Points on a line (or all in one place) have no circle; the formulas would divide by zero.
    if (!(det > kFitCollinear * k * g))
        return nullptr;
    const double ca = (h * d - e * g) / det;
    const double cb = (h * k - e * d) / (d * d - g * k);
    const double r2 = ca * ca + cb * cb + 4.0 * (ca * sx + cb * sy + sxx + syy) / n;
    if (!std::isfinite(ca) || !std::isfinite(cb) || !std::isfinite(r2) || r2 < 0.0)
        return nullptr;
    return new QvCircle(QvPoint(-ca / 2.0, -cb / 2.0, 0.0), 0.5 * std::sqrt(r2), QvVector(0.0, 0.0, 1.0));
}

bool QvCircle::Contains(const QvPoint& q) const { return q.Distance(m_centre) < m_radius; }

QvPoint QvCircle::GetStartPoint() const
{
    const QvPlane plane(m_centre, m_normal);
    QvVector dir = plane.GetPoint() - m_centre;
    if (dir.IsZero())
    {
        // The centre lies on that axis, so the plane point gives no direction; take the
        // x axis (or, for a normal along x, the y axis) within the circle's plane instead
        // of stepping off the plane along the x axis.
        for (int axis = 0; axis < 3 && dir.IsZero(); ++axis)
        {
            QvVector e(0.0, 0.0, 0.0);
            e[axis] = 1.0;
            dir = e - m_normal * e.Dot(m_normal);
        }
    }
    dir.Normalize();
    return m_centre + dir * m_radius;
}

// ---------------------------------------------------------------- QvEllipse

QvEllipse::QvEllipse(const QvFrame& placement, double a, double b) : m_a(a), m_b(b) { m_frame = placement; }

// ---------------------------------------------------------------- QvRect

QvRect::QvRect(const QvFrame& placement, double width, double height)
    : m_extents{width / 2.0, height / 2.0, width / 2.0, height / 2.0}
{
    m_frame = placement;
}

QvRect::QvRect(const QvFrame& placement, const double extents[4])
    : m_extents{extents[0], extents[1], extents[2], extents[3]}
{
    m_frame = placement;
}

QvRect::QvRect(const QvPoint& corner, const QvPoint& q, const QvPoint& /*opposite*/, const QvPoint& r)
    : m_extents{0.0, r.Distance(corner), q.Distance(corner), 0.0}
{
    m_frame.m_centre = corner;
    m_frame.SetAxes(Normalized(q - corner), Normalized(r - corner));
}

void QvRect::GetExtents(double out[4]) const
{
    for (int i = 0; i < 4; ++i)
        out[i] = m_extents[i];
}

QvPoint QvRect::GetCentre() const
{
    // The sides lie at -e0 and +e2 along X and at -e3 and +e1 along Y. For the corner
    // constructor (e0 = e3 = 0) this is origin + X w/2 + Y h/2.
    return m_frame.m_centre + m_frame.m_dirX * ((m_extents[2] - m_extents[0]) / 2.0) +
           m_frame.m_dirY * ((m_extents[1] - m_extents[3]) / 2.0);
}
