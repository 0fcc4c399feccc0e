// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvBBox.h"

#include <algorithm>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvStreamIO.h"

namespace {

// Coordinate extremes every running minimum and maximum starts from.
constexpr double kExtreme = 1e10;

} // namespace

void QvBBox::Reset()
{
    m_minPoint.Set(0.0, 0.0, 0.0);
    m_maxPoint.Set(0.0, 0.0, 0.0);
}

void QvBBox::Set(const QvPoint& minPoint, const QvPoint& maxPoint)
{
    m_minPoint = minPoint;
    m_maxPoint = maxPoint;
}

void QvBBox::SetFromPoints(const std::vector<QvPoint>& points)
{
    m_minPoint.Set(kExtreme, kExtreme, kExtreme);
    m_maxPoint.Set(-kExtreme, -kExtreme, -kExtreme);
    for (const QvPoint& p : points)
    {
        for (int i = 0; i < 3; ++i)
        {
            if (p[i] < m_minPoint[i])
                m_minPoint[i] = p[i];
            if (p[i] > m_maxPoint[i])
                m_maxPoint[i] = p[i];
        }
    }
}

void QvBBox::Merge(const QvBBox& other)
{
    if (!other.IsValid())
        return;
    if (!IsValid())
    {
        *this = other;
        return;
    }
    for (int i = 0; i < 3; ++i)
    {
        m_minPoint[i] = std::min(m_minPoint[i], other.m_minPoint[i]);
        m_maxPoint[i] = std::max(m_maxPoint[i], other.m_maxPoint[i]);
    }
}

bool QvBBox::IsValid() const { return !IsZero(GetDiagonal()); }

double QvBBox::GetDiagonal() const { return m_minPoint.Distance(m_maxPoint); }

QvPoint QvBBox::GetCentre() const { return m_minPoint + (m_maxPoint - m_minPoint) / 2.0; }

int QvBBox::GetLongestAxis() const
{
    const QvVector e = m_maxPoint - m_minPoint;
    if (e[0] > e[1])
        return e[2] < e[0] ? 0 : 2;
    return e[2] < e[1] ? 1 : 2;
}

double QvBBox::SquaredDistance(const QvPoint& p) const
{
    double sum = 0.0;
    for (int i = 0; i < 3; ++i)
    {
        double d = 0.0;
        if (p[i] < m_minPoint[i])
            d = m_minPoint[i] - p[i];
        else if (p[i] > m_maxPoint[i])
            d = p[i] - m_maxPoint[i];
        sum += d * d;
    }
    return sum;
}

bool QvBBox::Contains(const QvPoint& p) const
{
    for (int i = 0; i < 3; ++i)
        if (!(m_minPoint[i] <= p[i] && p[i] <= m_maxPoint[i]))
            return false;
    return true;
}

bool QvBBox::IsOutside(const QvBBox& other) const
{
    for (int i = 0; i < 3; ++i)
        if (m_minPoint[i] > other.m_maxPoint[i] || m_maxPoint[i] < other.m_minPoint[i])
            return true;
    return false;
}

bool QvBBox::IsLineOutside(const QvLine& line) const
{
    const QvPoint& p = line.m_point;
    const QvVector& d = line.m_direction;
    double tmin = -kExtreme;
    double tmax = kExtreme;
    for (int i = 0; i < 3; ++i)
    {
        if (IsZero(d[i]))
        {
            // Parallel to this slab: only the point's own coordinate decides.
            if (m_minPoint[i] > p[i] || m_maxPoint[i] < p[i])
                return true;
            continue;
        }
        const double t1 = (m_minPoint[i] - p[i]) / d[i];
        const double t2 = (m_maxPoint[i] - p[i]) / d[i];
        tmin = std::max(tmin, std::min(t1, t2));
        tmax = std::min(tmax, std::max(t1, t2));
        if (tmin > tmax)
            return true;
    }
    return false;
}

bool QvBBox::Split(int axis, double value, QvBBox& lower, QvBBox& upper) const
{
    if (axis < 0 || axis > 2)
        return false;
    if (m_minPoint[axis] >= value || m_maxPoint[axis] <= value)
        return false;
    lower = *this;
    lower.m_maxPoint[axis] = value;
    upper = *this;
    upper.m_minPoint[axis] = value;
    return true;
}

void QvBBox::GetCorners(QvPoint corners[8]) const
{
    const QvPoint& lo = m_minPoint;
    const QvPoint& hi = m_maxPoint;
    corners[0].Set(lo[0], lo[1], lo[2]);
    corners[1].Set(lo[0], lo[1], hi[2]);
    corners[2].Set(hi[0], lo[1], hi[2]);
    corners[3].Set(hi[0], lo[1], lo[2]);
    corners[4].Set(lo[0], hi[1], lo[2]);
    corners[5].Set(lo[0], hi[1], hi[2]);
    corners[6].Set(hi[0], hi[1], lo[2]);
    corners[7].Set(hi[0], hi[1], hi[2]);
}

std::ostream& QvBBox::Write(std::ostream& os, bool binary) const
{
    m_minPoint.Write(os, binary);
    m_maxPoint.Write(os, binary);
    return os;
}

bool QvBBox::Read(std::istream& is, bool binary)
{
    QvPoint lo, hi;
    if (!lo.Read(is, binary) || !hi.Read(is, binary))
        return false;
    m_minPoint = lo;
    m_maxPoint = hi;
    return true;
}
