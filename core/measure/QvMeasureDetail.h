// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the measure records and texts of this library.
#pragma once

#include <cmath>
#include <cstdint>
#include <istream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "core/geometry/QvStreamIO.h"
#include "core/geometry/QvTextUtil.h"
#include "core/measure/QvImageMeasure.h"

namespace qvmeasure {

// Every text of the measures: yellow, opacity 100 / 300.
inline MeasureText YellowText(const QvPoint& origin, std::string text)
{
    return MeasureText{origin, QvColor(255, 255, 0), std::move(text), 100};
}

// "%.2fmm" in the "C" locale; false for a value that is not finite.
inline bool MillimetreText(double value, std::string& out)
{
    if (!std::isfinite(value))
        return false;
    out = FormatTwoDecimals(value) + "mm";
    return true;
}

// int32 count, then (int32 key, double value) in ascending key order.
inline void WriteIntDoubleMap(std::ostream& os, const std::map<int, double>& values)
{
    qvio::WriteI32(os, static_cast<std::int32_t>(values.size()));
    for (const auto& [key, value] : values)
    {
        qvio::WriteI32(os, key);
        qvio::WriteF64(os, value);
    }
}

// The stored pairs in order; false on a short stream or a count that is negative or
// larger than the bytes left.
[[nodiscard]] inline bool ReadIntDoublePairs(std::istream& is, std::vector<std::pair<int, double>>& out)
{
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count))
        return false;
    if (!qvio::CountFits(is, count, 4 + 8))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    std::vector<std::pair<int, double>> pairs;
    for (std::int32_t i = 0; i < count; ++i)
    {
        std::int32_t key = 0;
        double value = 0.0;
        if (!qvio::ReadI32(is, key) || !qvio::ReadF64(is, value))
            return false;
        pairs.emplace_back(key, value);
    }
    out = std::move(pairs);
    return true;
}

// int32 count, then that many points.
inline void WritePoints(std::ostream& os, const std::vector<QvPoint>& points)
{
    qvio::WriteI32(os, static_cast<std::int32_t>(points.size()));
    for (const QvPoint& p : points)
        p.Write(os);
}

[[nodiscard]] inline bool ReadPoints(std::istream& is, std::vector<QvPoint>& out)
{
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count))
        return false;
    if (!qvio::CountFits(is, count, 24))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    std::vector<QvPoint> points;
    for (std::int32_t i = 0; i < count; ++i)
    {
        QvPoint p;
        if (!p.Read(is))
            return false;
        points.push_back(p);
    }
    out = std::move(points);
    return true;
}

} // namespace qvmeasure
