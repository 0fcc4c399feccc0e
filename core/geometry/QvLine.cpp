// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvLine.h"

#include <cmath>

namespace {

// Fractions along a segment that still count as on it: a little slack at both ends
// so that a crossing computed exactly at an end point is not lost to rounding.
constexpr double kSegmentWindowLow = -1e-8;
constexpr double kSegmentWindowHigh = 1.00000001;
// |cos|^2 - 1 below this: the segments are treated as parallel.
constexpr double kNearParallel = 1e-8;
// Shorter segments are treated as points.
constexpr double kShortSegment = 1e-7;
// The smallest normal single-precision number: cross products shorter than this count as zero.
constexpr double kCrossZero = 1.1754943508222875e-38;
constexpr double kSideTolerance = 1e-7;

QvVector Normalized(QvVector v)
{
    v.Normalize();
    return v;
}

bool InWindow(double t) { return t >= kSegmentWindowLow && t <= kSegmentWindowHigh; }

} // namespace

// ---------------------------------------------------------------- QvLine

QvLine::QvLine() : m_point(0.0, 0.0, 0.0), m_direction(0.0, 0.0, 0.0) {}

QvLine::QvLine(const QvPoint& point, const QvVector& direction) : m_point(point), m_direction(Normalized(direction)) {}

QvLine::QvLine(const QvPoint& p1, const QvPoint& p2) : m_point(p1), m_direction(Normalized(p2 - p1)) {}

QvLine::QvLine(const QvVector& a, const QvVector& b)
    : m_point(a[0], a[1], a[2]), m_direction(Normalized(b - a))
{
}

void QvLine::Set(const QvPoint& point, const QvVector& direction)
{
    m_point = point;
    m_direction = Normalized(direction);
}

QvPoint QvLine::ClosestPoint(const QvPoint& q, double* t) const
{
    const double s = (q - m_point).Dot(m_direction);
    if (t)
        *t = s;
    return m_point + m_direction * s;
}

QvVector QvLine::ClosestPosition(const QvVector& q, double* t) const
{
    const QvPoint foot = ClosestPoint(QvPoint(q[0], q[1], q[2]), t);
    return QvVector(foot[0], foot[1], foot[2]);
}

double QvLine::Distance(const QvPoint& q) const { return q.Distance(ClosestPoint(q)); }

bool QvLine::Intersect(const QvLine& other, QvPoint& out) const
{
    const QvVector& d1 = m_direction;
    const QvVector& d2 = other.m_direction;
    if (d1 == d2 || d1 == -d2)
        return false;
    const QvVector w = other.m_point - m_point;
    const double a = w.Dot(d1);
    const double b = d1.Dot(d2);
    const double c = w.Dot(d2);
    const double s = (c * b - a) / (b * b - 1.0);
    out = m_point + d1 * s;
    return true;
}

QvLine* QvLine::FitPoints(const std::vector<QvPoint>& points)
{
    const std::size_t n = points.size();
    if (n < 2)
        return nullptr;

    QvPoint centre(0.0, 0.0, 0.0);
    for (const QvPoint& p : points)
        centre += p;
    centre /= static_cast<double>(n);

    double best = 0.0;
    std::ptrdiff_t far = -1;
    for (std::size_t i = 0; i < n; ++i)
    {
        const double dist = (points[i] - centre).Length();
        if (dist > best)
        {
            best = dist;
            far = static_cast<std::ptrdiff_t>(i);
        }
    }
    // Points that all coincide (within the point tolerance) define no direction; the centroid of
    // identical points is often a rounding away from them, so an exact-zero test would not catch it.
    if (far < 0 || IsZero(best))
        return nullptr;

    const QvVector ref = points[static_cast<std::size_t>(far)] - centre;
    QvVector sum(0.0, 0.0, 0.0);
    for (const QvPoint& p : points)
    {
        QvVector v = p - centre;
        if (v.Dot(ref) < 0.0)
            v.Negate();
        sum += v;
    }
    sum = sum / static_cast<double>(n);
    return new QvLine(centre, sum);
}

// ---------------------------------------------------------------- QvLineSeg

QvVector QvLineSeg::GetDirection() const { return Normalized(m_end - m_start); }

double QvLineSeg::Length() const { return m_start.Distance(m_end); }

QvPoint QvLineSeg::ClosestPoint(const QvPoint& q, double* t) const
{
    const QvVector d = m_end - m_start;
    const double len2 = d.SquaredLength();
    // A segment of zero length is its start point.
    if (len2 == 0.0)
    {
        if (t)
            *t = 0.0;
        return m_start;
    }
    const double s = (q - m_start).Dot(d) / len2;
    if (t)
        *t = s;
    if (s <= 0.0)
        return m_start;
    if (s >= 1.0)
        return m_end;
    return m_start + d * s;
}

double QvLineSeg::Distance(const QvPoint& q) const
{
    const QvLine line(m_start, m_end);
    double t = 0.0;
    const QvPoint foot = line.ClosestPoint(q, &t);
    const double len = Length();
    QvPoint nearest;
    if (t >= 0.0 && t <= len)
        nearest = foot;
    else if (t < 0.0)
        nearest = m_start;
    else
        nearest = m_end;
    return q.Distance(nearest);
}

bool QvLineSeg::Contains(const QvPoint& q) const
{
    if (q == m_start || q == m_end)
        return true;
    const double len = Length();
    if (len < kShortSegment)
        return false;
    const QvVector u = Normalized(m_end - m_start);
    const QvVector toQ = q - m_start;
    const double l = toQ.Length();
    const QvVector v = Normalized(toQ);
    return len > l && IsZero(u.Dot(v) - 1.0) && IsZero(Distance(q));
}

signed char QvLineSeg::ClassifyIntersection(const QvLineSeg& other, QvPoint& out) const
{
    const QvPoint& a0 = m_start;
    const QvPoint& a1 = m_end;
    const QvPoint& b0 = other.m_start;
    const QvPoint& b1 = other.m_end;

    const double lenA = a0.Distance(a1);
    if (lenA < kShortSegment)
    {
        if (!other.Contains(a0))
            return 0;
        out = a0;
        return 1;
    }
    const QvVector uA = Normalized(a1 - a0);
    const double lenB = b0.Distance(b1);
    if (lenB < kShortSegment)
    {
        if (!Contains(b0))
            return 0;
        out = b0;
        return 1;
    }
    const QvVector uB = Normalized(b1 - b0);
    const QvVector w = b0 - a0;
    const double c = uA.Dot(uB);
    const double k = c * c - 1.0;

    if (std::fabs(k) < kNearParallel)
    {
        // Parallel segments meet only where one holds an end point of the other.
        const QvPoint* shared = nullptr;
        if (Contains(b0))
            shared = &b0;
        else if (Contains(b1))
            shared = &b1;
        else if (other.Contains(a0))
            shared = &a0;
        else if (other.Contains(a1))
            shared = &a1;
        if (!shared)
            return 0;
        out = *shared;
        return -1;
    }

    const double e1 = uA.Dot(w);
    const double e2 = uB.Dot(w);
    const double sA = (c * e2 - e1) / k;
    const double sB = (e2 - c * e1) / k;
    if (!InWindow(sA / lenA) || !InWindow(sB / lenB))
        return 0;
    out = a0 + uA * sA;
    return 1;
}

bool QvLineSeg::Intersect(const QvLineSeg& other, QvPoint& out) const
{
    return ClassifyIntersection(other, out) != 0;
}

bool QvLineSeg::Crosses(const QvLineSeg& other) const
{
    const QvPoint& a0 = m_start;
    const QvPoint& a1 = m_end;
    const QvPoint& b0 = other.m_start;
    const QvPoint& b1 = other.m_end;
    const QvVector ea = a1 - a0;
    const QvVector eb = b1 - b0;

    const QvVector c1 = (b0 - a0).Cross(ea);
    const QvVector c2 = (b1 - a0).Cross(ea);
    const QvVector c3 = (a0 - b0).Cross(eb);
    const QvVector c4 = (a1 - b0).Cross(eb);

    const double l1 = c1.Length();
    const double l2 = c2.Length();
    const bool nonZero1 = l1 > kCrossZero;
    const bool nonZero2 = l2 > kCrossZero;
    const bool zero1 = l1 < kCrossZero;
    const bool zero2 = l2 < kCrossZero;

    // "Not above" is written as <= so that NaN input never counts as crossing.
    const auto aSeparatesB = [&] { return c3.Dot(c4) <= kSideTolerance; };

    if (nonZero1 && nonZero2)
    {
        if (c1.Dot(c2) > kSideTolerance)
            return false;
        return aSeparatesB();
    }
    if ((nonZero1 && zero2) || (zero1 && nonZero2))
        return aSeparatesB();

    // B lies on the line of A: overlap when either segment holds the other's start.
    if ((b0 - a0).Dot(b1 - a0) <= kSideTolerance)
        return true;
    return (a0 - b0).Dot(a1 - b0) <= kSideTolerance;
}

bool QvLineSeg::operator==(const QvLineSeg& other) const
{
    return (m_start == other.m_start && m_end == other.m_end) || (m_start == other.m_end && m_end == other.m_start);
}
