// SPDX-License-Identifier: GPL-3.0-or-later
// The tracing's landmark geometry in pixels of the image rectangle, the two makers of
// measure items, and the printf-pattern formatter.
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <locale.h>

#include "core/geometry/QvLine.h"
#include "core/measure/QvCepDetail.h"

namespace {

constexpr int kAnbId = 2;
// A "C" locale for this thread while it lives: printf's decimal point is then always
// a point, and other threads keep theirs.
class ClassicLocale
{
public:
    ClassicLocale()
        : m_locale(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr))),
          m_previous(m_locale ? uselocale(m_locale) : static_cast<locale_t>(nullptr))
    {
    }
    ~ClassicLocale()
    {
        if (m_locale)
        {
            uselocale(m_previous);
            freelocale(m_locale);
        }
    }
    ClassicLocale(const ClassicLocale&) = delete;
    ClassicLocale& operator=(const ClassicLocale&) = delete;

private:
    locale_t m_locale;
    locale_t m_previous;
};

} // namespace

using qvcep::DegreesAboutZ;
using qvcep::OneDecimal;

std::string FormatValue(const std::string& pattern, double value)
{
    const ClassicLocale classic;
    const int n = std::snprintf(nullptr, 0, pattern.c_str(), value);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), pattern.c_str(), value);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::vector<int> QvCepMeasure::GetFaceHeightLandmarks() { return {6, 13, 14, 30, 5, 31}; }

QvPoint QvCepMeasure::ToPixel(const QvPoint& ratio) const
{
    const std::int64_t left = m_imageRect.m_topLeft.x;
    const std::int64_t top = m_imageRect.m_topLeft.y;
    const std::int64_t right = m_imageRect.m_bottomRight.x;
    const std::int64_t bottom = m_imageRect.m_bottomRight.y;
    return QvPoint(static_cast<double>(left) + ratio[0] * static_cast<double>(right - left),
                   static_cast<double>(bottom) - ratio[1] * static_cast<double>(bottom - top), 0.0);
}

double QvCepMeasure::AngleAtVertex(const QvPoint& a, const QvPoint& b, const QvPoint& c) const
{
    const QvPoint pa = ToPixel(a);
    const QvPoint pb = ToPixel(b);
    const QvPoint pc = ToPixel(c);
    return DegreesAboutZ(pc - pb, pa - pb);
}

double QvCepMeasure::AngleBetweenLines(const QvPoint& a, const QvPoint& b, const QvPoint& c, const QvPoint& d) const
{
    return DegreesAboutZ(ToPixel(d) - ToPixel(c), ToPixel(a) - ToPixel(b));
}

std::optional<double> QvCepMeasure::AngleAtCrossing(const QvPoint& a, const QvPoint& b, const QvPoint& c,
                                                    const QvPoint& d, const QvPoint& e) const
{
    const QvPoint pa = ToPixel(a);
    const std::optional<QvPoint> o = qvcep::Crossing(QvLine(pa, ToPixel(b)), QvLine(ToPixel(c), ToPixel(d)));
    if (!o)
        return std::nullopt;
    const double angle = DegreesAboutZ(ToPixel(e) - *o, pa - *o);
    return angle > 180.0 ? 360.0 - angle : angle;
}

double QvCepMeasure::DistanceBetween(const QvPoint& a, const QvPoint& b) const
{
    return ToPixel(a).Distance(ToPixel(b));
}

double QvCepMeasure::DistanceToLine(const QvPoint& a, const QvPoint& b, const QvPoint& c) const
{
    const QvPoint pb = ToPixel(b);
    return QvLine(pb, ToPixel(c) - pb).Distance(ToPixel(a));
}

std::optional<double> QvCepMeasure::DistanceToCrossing(const QvPoint& a, const QvPoint& b, const QvPoint& c,
                                                       const QvPoint& d) const
{
    const QvPoint pa = ToPixel(a);
    const std::optional<QvPoint> o = qvcep::Crossing(QvLine(pa, ToPixel(b)), QvLine(ToPixel(c), ToPixel(d)));
    if (!o)
        return std::nullopt;
    return pa.Distance(*o);
}

std::optional<double> QvCepMeasure::DistanceFromCrossing(const QvPoint& a, const QvPoint& b, const QvPoint& c,
                                                         const QvPoint& d, const QvPoint& e) const
{
    const std::optional<QvPoint> o =
        qvcep::Crossing(QvLine(ToPixel(a), ToPixel(b)), QvLine(ToPixel(c), ToPixel(d)));
    if (!o)
        return std::nullopt;
    return ToPixel(e).Distance(*o);
}

bool QvCepMeasure::AddAngleItem(int id, std::vector<QvKeyPoint>& points, int type, int group, double min,
                                double max)
{
    const auto at = [&](std::size_t i) { return points[i].m_point; };
    double raw = 0.0;
    switch (points.size())
    {
    case 3: raw = AngleAtVertex(at(0), at(1), at(2)); break;
    case 4: raw = AngleBetweenLines(at(0), at(1), at(2), at(3)); break;
    case 5:
    {
        const std::optional<double> angle = AngleAtCrossing(at(0), at(1), at(2), at(3), at(4));
        if (!angle)
            return false;
        raw = *angle;
        break;
    }
    default: break;
    }
    double value = OneDecimal(raw);
    if (value > 180.0)
    {
        ReversePoints(points);
        value -= 360.0;
    }
    if (id != kAnbId)
        value = std::fabs(value);
    m_items.emplace_back(id, points, type, group, value, min, max);
    return true;
}

bool QvCepMeasure::AddDistanceItem(int id, const std::vector<QvKeyPoint>& points, int type, int group, double min,
                                   double max, double scale)
{
    if (IsZero(scale))
        return false;
    const auto at = [&](std::size_t i) { return points[i].m_point; };
    std::optional<double> pixels = 0.0;
    switch (points.size())
    {
    case 2: pixels = DistanceBetween(at(0), at(1)); break;
    case 3: pixels = DistanceToLine(at(0), at(1), at(2)); break;
    case 4: pixels = DistanceToCrossing(at(0), at(1), at(2), at(3)); break;
    case 5: pixels = DistanceFromCrossing(at(0), at(1), at(2), at(3), at(4)); break;
    default: break;
    }
    if (!pixels)
        return false;
    m_items.emplace_back(id, points, type, group, OneDecimal(*pixels * scale), min, max);
    return true;
}

bool QvCepMeasure::WrapAngle(double& degrees)
{
    if (degrees <= 180.0)
        return false;
    degrees -= 360.0;
    return true;
}

void QvCepMeasure::ReversePoints(std::vector<QvKeyPoint>& points)
{
    if (points.size() == 3 || points.size() == 4)
        std::reverse(points.begin(), points.end());
}

void QvCepMeasure::AddKeyPoint(const QvKeyPoint& point) { m_keyPoints.push_back(point); }

void QvCepMeasure::AssignKeyPoints(const std::vector<QvKeyPoint>& points)
{
    if (m_keyPoints.capacity() < points.size())
        m_keyPoints.reserve(points.size());
    m_keyPoints = points;
}

bool QvCepMeasure::FindItemValue(const std::vector<QvCepMeasureItem>& items, int id, double& out)
{
    for (const QvCepMeasureItem& item : items)
        if (item.m_nId == id)
        {
            out = item.m_dValue;
            return true;
        }
    return false;
}
