// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvArchForm.h"

#include <istream>
#include <ostream>

#include "core/geometry/QvStreamIO.h"

namespace {

constexpr std::uint64_t kKeyPointBytes = 3 * 8 + 4;

} // namespace

// ---- QvArchForm -----------------------------------------------------------------------

QvArchForm::QvArchForm() = default;

QvArchForm::QvArchForm(bool upper, QvModel* model, const QvPlane& referencePlane)
    : m_pModel(model), m_refPlane(referencePlane), m_bUpper(upper)
{
}

QvArchForm& QvArchForm::operator=(const QvArchForm& other)
{
    if (&other == this)
        return *this;
    m_curve = other.m_curve;
    m_points = other.m_points;
    m_bUpper = other.m_bUpper;
    return *this;
}

void QvArchForm::Write(std::ostream& os, int version) const
{
    const bool binary = version != 0;
    qvio::WriteU8(os, m_bUpper ? 1 : 0);
    m_curve.Write(os, binary);
    m_points.Write(os, binary);
}

bool QvArchForm::Read(std::istream& is, int version)
{
    const bool binary = version != 0;
    std::uint8_t upper = 0;
    QvBSplineCurve curve;
    // A fresh list: a stored count of 0 then means no points, not the old ones.
    QvPolyline points;
    if (!qvio::ReadU8(is, upper) || !curve.Read(is, binary) || !points.Read(is, binary) || !is)
        return false;
    m_bUpper = upper != 0;
    m_curve = std::move(curve);
    m_points = std::move(points);
    return true;
}

// ---- QvOcclusalPlane ------------------------------------------------------------------

void QvOcclusalPlane::Write(std::ostream& os, int /*version*/) const
{
    m_frame.Write(os, true);
    qvio::WriteF64(os, m_dValue);
    qvio::WriteI32(os, static_cast<std::int32_t>(m_keyPoints.size()));
    for (const QvKeyPoint& point : m_keyPoints)
    {
        for (int k = 0; k < 3; ++k)
            qvio::WriteF64(os, point.m_point.m_coord[k]);
        qvio::WriteI32(os, point.m_nKey);
    }
}

bool QvOcclusalPlane::Read(std::istream& is, int /*version*/)
{
    QvFrame frame;
    double value = 0.0;
    std::int32_t count = 0;
    if (!frame.Read(is, true) || !qvio::ReadF64(is, value) || !qvio::ReadI32(is, count) ||
        !qvio::CountFits(is, count, kKeyPointBytes))
        return false;
    std::vector<QvKeyPoint> points;
    for (std::int32_t i = 0; i < count; ++i)
    {
        QvKeyPoint point;
        if (!qvio::ReadF64(is, point.m_point.m_coord[0]) || !qvio::ReadF64(is, point.m_point.m_coord[1]) ||
            !qvio::ReadF64(is, point.m_point.m_coord[2]) || !qvio::ReadI32(is, point.m_nKey))
            return false;
        points.push_back(point);
    }
    m_frame = frame;
    m_dValue = value;
    m_keyPoints = std::move(points);
    return true;
}

bool QvOcclusalPlane::operator==(const QvOcclusalPlane& other) const
{
    if (&other == this)
        return true;
    if (m_keyPoints.size() != other.m_keyPoints.size())
        return false;
    for (std::size_t i = 0; i < m_keyPoints.size(); ++i)
        if (!(m_keyPoints[i].m_point == other.m_keyPoints[i].m_point) ||
            m_keyPoints[i].m_nKey != other.m_keyPoints[i].m_nKey)
            return false;
    return IsZero(m_dValue - other.m_dValue) && m_frame == other.m_frame;
}
