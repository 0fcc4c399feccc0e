// SPDX-License-Identifier: GPL-3.0-or-later
// Infinite lines and finite segments.
#pragma once

#include <vector>

#include "core/geometry/QvGeometry.h"
#include "core/geometry/QvPoint.h"

class QvLine : public QvGeometry
{
public:
    QvLine(); // point and direction zero
    QvLine(const QvPoint& point, const QvVector& direction);
    QvLine(const QvPoint& p1, const QvPoint& p2);
    // Positions given as vectors: the line from a through b.
    QvLine(const QvVector& a, const QvVector& b);

    void Set(const QvPoint& point, const QvVector& direction);
    const QvPoint& GetPoint() const { return m_point; }
    const QvVector& GetDirection() const { return m_direction; }

    QvPoint ClosestPoint(const QvPoint& q, double* t = nullptr) const;
    QvVector ClosestPosition(const QvVector& q, double* t = nullptr) const;
    double Distance(const QvPoint& q) const;
    // Point of this line closest to other; false for equal or opposite directions.
    [[nodiscard]] bool Intersect(const QvLine& other, QvPoint& out) const;
    // Caller owns the result; null for fewer than two points or coincident points.
    static QvLine* FitPoints(const std::vector<QvPoint>& points);

    QvPoint m_point;
    QvVector m_direction;
};

class QvLineSeg : public QvGeometry
{
public:
    QvLineSeg() = default;
    QvLineSeg(const QvPoint& start, const QvPoint& end) : m_start(start), m_end(end) {}

    QvVector GetDirection() const;
    double Length() const;
    // t receives the unclamped fraction along the segment; a zero-length segment answers its start, t = 0.
    QvPoint ClosestPoint(const QvPoint& q, double* t = nullptr) const;
    double Distance(const QvPoint& q) const;
    bool Contains(const QvPoint& q) const;
    [[nodiscard]] bool Intersect(const QvLineSeg& other, QvPoint& out) const;
    // 1 crossing, -1 shared point of nearly parallel segments, 0 none.
    signed char ClassifyIntersection(const QvLineSeg& other, QvPoint& out) const;
    bool Crosses(const QvLineSeg& other) const;
    bool operator==(const QvLineSeg& other) const;

    QvPoint m_start;
    QvPoint m_end;
};
