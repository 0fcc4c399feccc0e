// SPDX-License-Identifier: GPL-3.0-or-later
// Planar cross-sections: circles, ellipses and rectangles.
#pragma once

#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvGeometry.h"
#include "core/geometry/QvPoint.h"

class QvCircle : public QvGeometry
{
public:
    // Centre and normal zero, radius 0.
    QvCircle();
    // The normal is normalised (a zero normal becomes (1, 0, 0)).
    QvCircle(const QvPoint& centre, const double& radius, const QvVector& normal);

    // The circle through three points; null when two of them coincide, when they are
    // collinear, or when the bisectors have no closest point. The caller owns the result.
    [[nodiscard]] static QvCircle* FromThreePoints(const QvPoint& p1, const QvPoint& p2, const QvPoint& p3);
    // Algebraic least-squares circle in the x-y plane (z ignored, normal (0, 0, 1));
    // null for fewer than three points and for points on a line. The caller owns the result.
    [[nodiscard]] static QvCircle* FitPoints(const std::vector<QvPoint>& points);

    // Strictly inside: a point on the circle is not contained.
    bool Contains(const QvPoint& q) const;
    // A point on the circle, towards the point where its plane meets the first coordinate axis.
    QvPoint GetStartPoint() const;
    double GetPerimeter() const { return m_radius * kQvTwoPi; }

    QvPoint m_centre;
    double m_radius;
    QvVector m_normal;
};

class QvEllipse : public QvGeometry
{
public:
    // Semi-axis a along the frame's X, b along its Y; centred on the frame's origin.
    QvEllipse(const QvFrame& placement, double a, double b);

    QvPoint GetCentre() const { return m_frame.m_centre; }
    double GetA() const { return m_a; }
    double GetB() const { return m_b; }
    // The sweep's estimate, exact for a circle: 4 (a - b) + 2 pi b.
    double GetPerimeter() const { return 4.0 * (m_a - m_b) + kQvTwoPi * m_b; }

    QvFrame m_frame;
    double m_a;
    double m_b;
};

class QvRect : public QvGeometry
{
public:
    // Centred on the frame's origin.
    QvRect(const QvFrame& placement, double width, double height);
    // Distances from the origin to the sides towards -X, +Y, +X, -Y, in that order.
    QvRect(const QvFrame& placement, const double extents[4]);
    // From corners in outline order; opposite is not read. corner becomes the origin
    // and the -X/-Y corner, X points to q and Y to r.
    QvRect(const QvPoint& corner, const QvPoint& q, const QvPoint& opposite, const QvPoint& r);

    double GetWidth() const { return m_extents[0] + m_extents[2]; }
    double GetHeight() const { return m_extents[1] + m_extents[3]; }
    void GetExtents(double out[4]) const;
    // Midway between the sides, in the frame's plane.
    QvPoint GetCentre() const;

    QvFrame m_frame;
    double m_extents[4];
};
