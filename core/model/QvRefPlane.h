// SPDX-License-Identifier: GPL-3.0-or-later
// The anatomical reference planes of a case: mid-sagittal, aesthetic (nose tip to
// soft-tissue chin), back boundary and porion-orbitale. Each is drawn as a square: the
// frame's origin is one corner, X and Y run along two sides, Z = X x Y is the normal
// and the size is the side length.
//
// The first point list of a placed plane holds four points: 0 and 1 in the lateral
// cephalometric image (x and y only), 2 and 3 the same anatomical segment on the model.
// That pair carries a landmark line of the tracing over to the model.
#pragma once

#include <iosfwd>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvPoint.h"

class QvModel;

// Landmark keys of the cephalometric tracing that the planes use.
inline constexpr int kQvLandmarkUpperLip = 4;
inline constexpr int kQvLandmarkPorion = 10;
inline constexpr int kQvLandmarkOrbitale = 11;
inline constexpr int kQvLandmarkPNS = 19;
inline constexpr int kQvLandmarkBackBoundary = 21;
inline constexpr int kQvLandmarkPronasale = 22;
inline constexpr int kQvLandmarkSoftPogonion = 23;
inline constexpr int kQvLandmarkLowerLip = 24;
// Image-measure type of the cephalometric tracing.
inline constexpr int kQvCepMeasureType = 1;

// What the four plane classes share: the record and the stored points.
class QvRefPlane
{
public:
    QvRefPlane() = default;
    QvRefPlane(const QvRefPlane&) = default;
    QvRefPlane& operator=(const QvRefPlane&) = default;
    virtual ~QvRefPlane() = default;

    // Frame (96 bytes, as it is: no normalisation), double size, int32 count, the points.
    // The version does not change the form.
    virtual void Write(std::ostream& os, int version) const;
    // False on a short stream or a negative count; the plane is then unchanged.
    [[nodiscard]] virtual bool Read(std::istream& is, int version);
    void Set(const QvFrame& frame, const std::vector<QvPoint>& points, double size);

    QvFrame m_frame;
    double m_dSize = 0.0;
    std::vector<QvPoint> m_points;

protected:
    [[nodiscard]] bool ReadBase(std::istream& is, QvFrame& frame, double& size, std::vector<QvPoint>& points) const;
};

class QvMiddlePlane : public QvRefPlane
{
public:
    // Same object; or equal point lists (point by point), sizes within 1e-7, equal frames.
    bool operator==(const QvMiddlePlane& other) const;
};

class QvBeautyPlane : public QvRefPlane
{
public:
    // The plane record, then int32 lip count and the lip points (count 0 when empty).
    void Write(std::ostream& os, int version) const override;
    [[nodiscard]] bool Read(std::istream& is, int version) override;
    void Set(const QvFrame& frame, const std::vector<QvPoint>& points, const std::vector<QvPoint>& lipPoints,
             double size);

    // Re-places the plane from landmarks 22 and 23, then maps the lips. True when the
    // plane was placed.
    [[nodiscard]] bool Update(QvModel* model);
    // The placement alone.
    [[nodiscard]] bool UpdatePlane(QvModel* model);
    // Maps landmarks 4 and 24 onto the model into the two lip points; true when both
    // were mapped. A lip that cannot be mapped keeps its point.
    [[nodiscard]] bool UpdateLipPoints(QvModel* model);

    // Upper lip (0) and lower lip (1) on the model when filled.
    std::vector<QvPoint> m_lipPoints;
};

class QvBackBoundaryPlane : public QvRefPlane
{
public:
    // Re-places the plane from landmarks 19 and 21; true when placed.
    [[nodiscard]] bool Update(QvModel* model);
};

class QvOpPlane : public QvRefPlane
{
public:
    // Re-places the plane from landmarks 11 and 10; true when placed.
    [[nodiscard]] bool Update(QvModel* model);
};

// The landmark line of the tracing carried over to the model, shared by the placements
// and the view frame of the jaw reference set. first and second are the landmarks F and
// G (direction F - G), p the four stored points, midFrame the mid-sagittal plane's
// frame. Answers the plane through the carried-over point Q with unit normal N that
// contains the model direction l of the line (the model segment p2 - p3 turned by the
// image angle about the mid-sagittal normal) and stands perpendicular to the
// mid-sagittal plane. Image points count by x and y only. A vertical landmark line is
// measured by x offsets when verticalHandled, and otherwise has no slope. False, the
// outputs unchanged, for fewer or more than four points and for a zero denominator
// (the landmark line through p0, a ratio of 1, an unhandled vertical line).
// The back boundary plane runs the same steps on the points in the order p1, p0, p3, p2.
[[nodiscard]] bool QvTransferLandmarkLine(const QvPoint& first, const QvPoint& second, const std::vector<QvPoint>& p,
                                          const QvFrame& midFrame, bool verticalHandled, QvVector& normal,
                                          QvVector& lineDirection, QvPoint& point);
