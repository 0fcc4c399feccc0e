// SPDX-License-Identifier: GPL-3.0-or-later
// The patient's airway as the planning service delivers it: a surface mesh with a
// frame and a curve, and the measures an airway calls for (surface area, enclosed
// volume, cross-section area).
#pragma once

#include <iosfwd>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvFrame.h"
#include "core/mesh/QvMesh.h"

class QvPlane;

class QvAirway : public QvMesh
{
public:
    // A point of a section mapped into the section plane.
    struct Point2D
    {
        double x = 0.0;
        double y = 0.0;
    };

    // Empty mesh, default frame, empty curve; the mesh's first flag set.
    QvAirway();
    // Mesh part (marked modified), frame and curve.
    QvAirway(const QvAirway& other) = default;
    QvAirway& operator=(const QvAirway& other) = default;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Compact mesh, frame (96 bytes), curve in its byte form.
    std::ostream& Write(std::ostream& os, int version) const override;
    // Mesh, then frame, then curve, each only when the part before it was read; the
    // parts read before a failing one stay. False on a short or damaged stream.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;
    // With pending, a whole read leaves the faces out and lists them there, for
    // InsertPendingFaces.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model, std::vector<QvPendingFaces>* pending);

    // Sum of the triangle areas (Heron's formula); 0 without faces.
    double GetSurfaceArea() const;
    // Volume enclosed by a copy whose boundary loops are closed, each axis's
    // divergence estimate weighted by the faces that face along it. -1 when a face
    // normal cannot be classified (not a number); 0 for a mesh without faces.
    double GetVolume() const;
    // Area of the cross-section with the plane: every closed section's area, nested
    // sections counted by depth. 0 when any section is open.
    double GetSectionArea(const QvPlane& plane) const;
    // The normal of every vertex, in vertex order.
    void GetVertexNormals(std::vector<QvVector>& out) const;

    // Whether point lies in polygon: on one of its vertices, exactly on a crossing of
    // its edges with the horizontal line through point, or inside by the even-odd rule.
    static bool IsPointInPolygon(const Point2D& point, const std::vector<Point2D>& polygon);
    // Mean of the points; (0, 0) for none.
    static Point2D GetCentroid(const std::vector<Point2D>& points);

    QvFrame m_frame;
    QvBSplineCurve m_curve;
};
