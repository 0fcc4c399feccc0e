// SPDX-License-Identifier: GPL-3.0-or-later
// Axis-aligned boxes.
#pragma once

#include <iosfwd>
#include <vector>

#include "core/geometry/QvPoint.h"

class QvLine;

class QvBBox
{
public:
    QvBBox() = default;
    QvBBox(const QvPoint& minPoint, const QvPoint& maxPoint) : m_minPoint(minPoint), m_maxPoint(maxPoint) {}

    void Reset();
    void Set(const QvPoint& minPoint, const QvPoint& maxPoint);
    void SetFromPoints(const std::vector<QvPoint>& points);
    void Merge(const QvBBox& other);
    // Empty (not valid) while the corners coincide within 1e-7.
    bool IsValid() const;
    double GetDiagonal() const;
    QvPoint GetCentre() const;
    int GetLongestAxis() const;
    double SquaredDistance(const QvPoint& p) const;
    bool Contains(const QvPoint& p) const;
    bool IsOutside(const QvBBox& other) const;
    bool IsLineOutside(const QvLine& line) const;
    [[nodiscard]] bool Split(int axis, double value, QvBBox& lower, QvBBox& upper) const;
    void GetCorners(QvPoint corners[8]) const;

    std::ostream& Write(std::ostream& os, bool binary = true) const;
    // False when the stream failed; the box then keeps its old corners.
    [[nodiscard]] bool Read(std::istream& is, bool binary = true);

    QvPoint m_minPoint;
    QvPoint m_maxPoint;
};
