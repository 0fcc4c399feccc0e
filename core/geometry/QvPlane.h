// SPDX-License-Identifier: GPL-3.0-or-later
// The infinite plane a x + b y + c z + d = 0, with a unit normal once built from points or a normal.
#pragma once

#include <iosfwd>
#include <vector>

#include "core/geometry/QvPoint.h"

class QvLine;
class QvLineSeg;
class QvMatrix;

class QvPlane
{
public:
    QvPlane() : m_coef{0.0, 0.0, 0.0, 0.0} {}
    QvPlane(const QvPoint& p1, const QvPoint& p2, const QvPoint& p3);
    QvPlane(const QvPoint& point, const QvVector& normal);

    // Least-squares plane; null for fewer than 3 points or a failed fit. Caller owns it.
    static QvPlane* FitPoints(const std::vector<QvPoint>& points);

    void Copy(const QvPlane& other);
    QvVector GetNormal() const { return QvVector(m_coef[0], m_coef[1], m_coef[2]); }
    double Distance(const QvPoint& p, bool isSigned) const;
    QvPoint ProjectPoint(const QvPoint& p) const;
    QvVector ProjectVector(const QvVector& v) const;
    // The point on the first axis (x, y, z) that the normal is not parallel to; the origin when
    // every normal component is zero within 1e-7 (unset or damaged coefficients).
    QvPoint GetPoint() const;
    [[nodiscard]] bool IntersectLine(const QvLine& line, QvPoint& out) const;
    [[nodiscard]] bool IntersectSegment(const QvLineSeg& seg, QvPoint& out) const;
    [[nodiscard]] bool IntersectPlane(const QvPlane& other, QvLine& out) const;
    void Reverse();
    void Offset(double value);
    void Transform(const QvMatrix& m);

    std::ostream& Write(std::ostream& os) const;
    // False when the stream failed; the coefficients then keep their old values.
    [[nodiscard]] bool Read(std::istream& is);

    double m_coef[4];
};
