// SPDX-License-Identifier: GPL-3.0-or-later
// Builds a tube-shaped triangle mesh by sweeping a closed cross-section (a circle, a
// rectangle or an ellipse) along a path: a B-spline curve in space, or a chain of points
// lying on a mesh surface as the surface-curve tracer reports them. Rings of vertices
// follow the path; the ends can be closed by caps.
//
// The result mesh: every face has tag 0 and its normal computed; the vertices of ring r
// come before those of ring r + 1, each ring in its point order; cap vertices follow all
// ring vertices. Seen from outside, faces wind counter-clockwise.
#pragma once

#include <vector>

#include "core/geometry/QvCommand.h"
#include "core/geometry/QvPoint.h"
#include "core/mesh/QvSurfaceCurveTracer.h"

class QvBSplineCurve;
class QvGeometry;
class QvMesh;

class QvCreateSweepMeshCommand : public QvCommand
{
public:
    // Curve form. Path and profile are borrowed. Caps off.
    QvCreateSweepMeshCommand(QvBSplineCurve* path, QvGeometry* profile, double step);
    // Sample form: the samples lie on mesh and are copied; mesh and profile are borrowed.
    // Caps on.
    QvCreateSweepMeshCommand(QvMesh* mesh, const std::vector<QvSurfacePoint>& samples, QvGeometry* profile,
                             double step);
    // A result handed out through GetMesh belongs to the caller and is never deleted here;
    // one that was never handed out is.
    ~QvCreateSweepMeshCommand() override;
    QvCreateSweepMeshCommand(const QvCreateSweepMeshCommand&) = delete;
    QvCreateSweepMeshCommand& operator=(const QvCreateSweepMeshCommand&) = delete;

    void SetCapEnds(bool cap) { m_bCapEnds = cap; }

    // Builds the result by the profile's type: a circle along the curve or the samples, a
    // rectangle along the curve or the samples, an ellipse along the samples only.
    // False, with no result, for: no profile or one of another type; a curve form without
    // path, an ellipse in the curve form; a sample form without mesh, with fewer than two
    // samples (for the rectangle, fewer than two left after thinning) or with a sample whose
    // element is not in the mesh; a step that is not a positive finite number; a circle or
    // ellipse without positive size, a rectangle without positive width and height, or a
    // ring of fewer than three points; a path that cannot be evaluated, has no length or
    // gives fewer than two rings; a result too large for 32-bit indices; a failed fit.
    // A result of an earlier run that was not taken is released first.
    [[nodiscard]] bool Execute() override;
    // The result; the caller takes ownership. Null until a run succeeded.
    QvMesh* GetMesh();

    // Reference direction for the first frame of a curve-form sweep; borrowed, must outlive
    // Execute. Null unless the caller sets it.
    const QvVector* m_pRefDir = nullptr;

private:
    using Rings = std::vector<std::vector<int>>;

    bool SweepCircleAlongCurve(QvMesh& mesh);
    bool SweepCircleAlongSamples(QvMesh& mesh);
    bool SweepRectAlongCurve(QvMesh& mesh);
    bool SweepRectAlongSamples(QvMesh& mesh);
    bool SweepEllipseAlongSamples(QvMesh& mesh);
    // The twin body of the circle and ellipse sample sweeps (semi-axes sa, sb).
    bool SweepRoundAlongSamples(QvMesh& mesh, double sa, double sb, double perimeter);
    // A fan around a new vertex at the ring's mean; reversed for the first ring.
    bool CapRing(QvMesh& mesh, const std::vector<int>& ring, bool reversed);
    // A structured grid over a rectangular ring, reusing the ring's vertices on its border.
    bool CapRectRing(QvMesh& mesh, const std::vector<int>& ring, int nW, int nH, bool reversed);
    // Joins the end of an uncapped circle tube along a closed path to its start.
    bool CloseTube(QvMesh& mesh);

    // Ring centres and unit tangents along the path.
    bool SamplePath(std::vector<QvPoint>& centres, std::vector<QvVector>& tangents) const;
    // The surface normal at a sample (zero for a kind without one); false for an element
    // outside the mesh.
    bool SampleNormal(const QvSurfacePoint& sample, QvVector& normal) const;

    QvBSplineCurve* m_pPath = nullptr;
    QvGeometry* m_pProfile = nullptr;
    QvMesh* m_pMesh = nullptr;
    std::vector<QvSurfacePoint> m_samples;
    double m_step = 0.0;
    bool m_bCapEnds = false;
    QvMesh* m_pResult = nullptr;
    // Set once GetMesh has handed the result out.
    bool m_bResultTaken = false;
};
