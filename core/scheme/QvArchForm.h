// SPDX-License-Identifier: GPL-3.0-or-later
// Two records of a scheme that describe the dental arch as a whole: the arch form of
// one jaw (a B-spline arch curve with points along it) and an occlusal plane (a frame
// with one value and keyed landmarks). Scheme bodies store up to two of each.
#pragma once

#include <iosfwd>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvPlane.h"
#include "core/geometry/QvPolyline.h"
// Only the value type's inline parts are used: its stored form here differs from the
// one the image measures write.
#include "core/geometry/QvKeyPoint.h"

class QvModel;

class QvArchForm
{
public:
    // Upper jaw, no model, unset plane, empty curve and points.
    QvArchForm();
    // For Create: the jaw, the case whose teeth it reads and its occlusal reference plane.
    QvArchForm(bool upper, QvModel* model, const QvPlane& referencePlane);
    // Every field, model, plane and both flags included.
    QvArchForm(const QvArchForm& other) = default;
    // Curve, points and the upper-jaw flag; model, plane and third-molar flag stay.
    QvArchForm& operator=(const QvArchForm& other);
    virtual ~QvArchForm() = default;

    // Upper-jaw flag (1 byte), the curve, the points. A version of 0 selects the text
    // variant of curve and points; files always hold the binary one.
    void Write(std::ostream& os, int version) const;
    // False when the curve or the points cannot be read; the record is then
    // unchanged. The third-molar flag is not stored and stays.
    [[nodiscard]] bool Read(std::istream& is, int version);

    QvBSplineCurve& GetCurve() { return m_curve; }
    const QvBSplineCurve& GetCurve() const { return m_curve; }
    void SetCurve(const QvBSplineCurve& curve) { m_curve = curve; }
    std::vector<QvPoint>& GetPoints() { return m_points.m_points; }
    const std::vector<QvPoint>& GetPoints() const { return m_points.m_points; }
    void SetPoints(const std::vector<QvPoint>& points) { m_points.m_points = points; }
    void SetUpper(bool upper) { m_bUpper = upper; }
    bool IsUpper() const { return m_bUpper; }
    void SetThirdMolars(bool thirdMolars) { m_bThirdMolars = thirdMolars; }

    // Fits the arch of the model's teeth (QvCreateArchCurveCommand), refits it into a
    // curve symmetric about its middle, turns it to face across midPlane, and sets
    // the points: the two arch ends at the last molars and the curve points at the
    // inner knots. False, with the record unchanged, when there is no model, the
    // fit fails, a refit segment cannot be built or no molar gives an arch end.
    [[nodiscard]] bool Create(const QvPlane& midPlane);

    QvModel* m_pModel = nullptr; // not owned
    QvPlane m_refPlane;
    QvBSplineCurve m_curve;
    QvPolyline m_points;
    bool m_bUpper = true;
    // Start the molar search at the third molars; not stored in files.
    bool m_bThirdMolars = false;
};

class QvOcclusalPlane
{
public:
    QvOcclusalPlane() = default;
    QvOcclusalPlane(const QvOcclusalPlane& other) = default;
    QvOcclusalPlane& operator=(const QvOcclusalPlane& other) = default;
    virtual ~QvOcclusalPlane() = default;

    // Frame (96 bytes), value, int32 count, per key point x, y, z and the int32 key.
    void Write(std::ostream& os, int version) const;
    // Replaces frame, value and key points. False on a short stream or a count that
    // is negative or larger than the bytes left; the record is then unchanged.
    [[nodiscard]] bool Read(std::istream& is, int version);

    // Same key points in order (points within 1e-7, equal keys), values within
    // 1e-7 and equal frames.
    bool operator==(const QvOcclusalPlane& other) const;

    QvFrame m_frame;
    double m_dValue = 0.0;
    std::vector<QvKeyPoint> m_keyPoints;
};
