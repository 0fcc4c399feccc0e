// SPDX-License-Identifier: GPL-3.0-or-later
// A point with an integer key: the landmarks of image measures (image-relative: x in
// units of the image's width, y of its height, z 0) and of occlusal planes.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/geometry/QvPoint.h"

class QvKeyPoint
{
public:
    QvKeyPoint() = default;
    QvKeyPoint(const QvPoint& point, std::int32_t key) : m_point(point), m_nKey(key) {}

    // int32 key, then the point (three doubles).
    std::ostream& Write(std::ostream& os) const;
    // False when the stream runs short; the landmark is then unchanged.
    [[nodiscard]] bool Read(std::istream& is);

    QvPoint m_point;
    std::int32_t m_nKey = -1;
};

// Bytes of one stored landmark.
inline constexpr std::uint64_t kQvKeyPointBytes = 4 + 24;

// int32 count, then the landmarks.
void QvWriteKeyPoints(std::ostream& os, const std::vector<QvKeyPoint>& points);
// Replaces out with the stored list. False for a short stream or a count that is
// negative or larger than the bytes left; out is then unchanged.
[[nodiscard]] bool QvReadKeyPoints(std::istream& is, std::vector<QvKeyPoint>& out);
