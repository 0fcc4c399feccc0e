// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvKeyPoint.h"

#include <istream>
#include <ostream>

#include "core/geometry/QvStreamIO.h"

std::ostream& QvKeyPoint::Write(std::ostream& os) const
{
    qvio::WriteI32(os, m_nKey);
    return m_point.Write(os);
}

bool QvKeyPoint::Read(std::istream& is)
{
    std::int32_t key = 0;
    QvPoint point;
    if (!qvio::ReadI32(is, key) || !point.Read(is))
        return false;
    m_nKey = key;
    m_point = point;
    return true;
}

void QvWriteKeyPoints(std::ostream& os, const std::vector<QvKeyPoint>& points)
{
    qvio::WriteI32(os, static_cast<std::int32_t>(points.size()));
    for (const QvKeyPoint& p : points)
        p.Write(os);
}

bool QvReadKeyPoints(std::istream& is, std::vector<QvKeyPoint>& out)
{
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count))
        return false;
    if (!qvio::CountFits(is, count, kQvKeyPointBytes))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    // Grown entry by entry: a stream that cannot tell its length never makes the
    // count itself an allocation.
    std::vector<QvKeyPoint> points;
    for (std::int32_t i = 0; i < count; ++i)
    {
        QvKeyPoint p;
        if (!p.Read(is))
            return false;
        points.push_back(p);
    }
    out = std::move(points);
    return true;
}
