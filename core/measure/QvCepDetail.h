// SPDX-License-Identifier: GPL-3.0-or-later
// Plane helpers shared by the tracing's geometry, calculators and curves.
#pragma once

#include <charconv>
#include <optional>
#include <string>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvPoint.h"
#include "core/measure/QvCepMeasure.h"

namespace qvcep {

// Degrees about +z from u to v, in [0, 360).
inline double DegreesAboutZ(QvVector u, QvVector v)
{
    u.Normalize();
    v.Normalize();
    return u.SignedAngle(v, QvVector(0.0, 0.0, 1.0)) * 180.0 / kQvPi;
}

// The point of line a closest to line b, their crossing in the plane; nothing for
// parallel lines, which do not cross.
inline std::optional<QvPoint> Crossing(const QvLine& a, const QvLine& b)
{
    QvPoint o;
    if (!a.Intersect(b, o))
        return std::nullopt;
    return o;
}

// The value printed with "%.1f" and read back, as every made item is stored.
inline double OneDecimal(double value)
{
    const std::string text = FormatValue("%.1f", value);
    double out = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), out);
    return out;
}

inline QvPoint Mid(const QvPoint& a, const QvPoint& b)
{
    return QvPoint((a[0] + b[0]) / 2.0, (a[1] + b[1]) / 2.0, (a[2] + b[2]) / 2.0);
}

} // namespace qvcep
