// SPDX-License-Identifier: GPL-3.0-or-later
// Fits a smooth arch curve to the teeth of one jaw: landmarks of the teeth at the arch
// positions 1 to 8 give a symmetric arch y = D (1 - 4x^2/W^2)^k in a frame of their own,
// which is sampled, approximated by a cubic B-spline and given end segments that reach
// back to the distal surface of the last teeth. The curve lies in the caller's plane
// and runs from the first side of the arch (quadrant 1 or 3) to the second.
//
// The steps are public so that each can be checked on its own; Execute runs them.
#pragma once

#include <array>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvCommand.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"

class QvMesh;
class QvModel;
class QvTooth;

// The fitted arch: y = depth (1 - 4 x^2 / width^2)^exponent.
struct QvArchParameters
{
    double depth = 0.0;
    double width = 0.0;
    double exponent = 0.0;
};

class QvCreateArchCurveCommand : public QvCommand
{
public:
    // Landmarks per arch position 1 to 8 (index 0 to 7): first side, then second side.
    using PointLists = std::array<std::vector<QvPoint>, 8>;

    // mode non-zero: the upper jaw. The model is not owned.
    QvCreateArchCurveCommand(int mode, QvModel* model, const QvPlane& plane);
    ~QvCreateArchCurveCommand() override = default;

    // Start the search for the last tooth at position 8 instead of 7.
    void SetFlag(bool includeThirdMolars) { m_bIncludeThirdMolars = includeThirdMolars; }

    // Builds the curve; on success it replaces the stored one. False, the stored curve
    // unchanged, when no position 1 to 7 yields a landmark, fewer than two positions
    // yield both sides, the depth, width or exponent cannot be fitted, or a curve
    // through the samples cannot be built.
    [[nodiscard]] bool Execute() override;
    // The stored curve, valid while the command lives.
    QvBSplineCurve* GetCurve() { return &m_curve; }

    // ---- Steps ----------------------------------------------------------------------

    [[nodiscard]] bool BuildCurve(QvBSplineCurve& out) const;
    // The landmarks in world coordinates: incisors their mid-curve end, canines and
    // premolars their feature point 2, molars their feature point 3.
    void CollectToothPoints(PointLists& lists) const;
    // The end of the mid curve of the model's first tooth with tooth's number that
    // lies ahead along tooth's frame X axis. False without reference data, without a
    // mid curve, or when the curve names no vertex of that tooth.
    [[nodiscard]] bool MidCurveEnd(const QvTooth* tooth, QvPoint& out) const;
    // Projects the landmarks onto the plane and carries them into arch coordinates
    // (x across the arch, y towards the front teeth, z = 0); reference is the highest
    // position 1 to 7 with a landmark and toArch the motion applied. False, lists
    // partly changed, when no such position exists or fewer than two positions hold
    // both sides.
    [[nodiscard]] bool ToArchFrame(PointLists& lists, int& reference, QvMatrix& toArch) const;
    // Width from the reference position, depth from the central incisors (or from a
    // curve through the other landmarks where it crosses x = 0), exponent by least
    // squares of ln(y/D) = k ln(1 - 4x^2/W^2). False, out unchanged, when the width
    // or depth is zero or cannot be found, no landmark lies inside the arch, or the
    // exponent is negative.
    [[nodiscard]] static bool FitArchForm(const PointLists& lists, int reference, QvArchParameters& out);
    // The parameters where the curve crosses the plane in [0, 0.5] and in [0.5, 1], by
    // bisection.
    static std::array<double, 2> PlaneCrossings(const QvBSplineCurve& curve, const QvPlane& plane);
    // y of the arch at x; outside the arch the base counts as 0, so never NaN.
    static double ArchValue(double x, const QvArchParameters& arch);
    // A new curve (caller owns it) through 101 samples from x = -W/2 to W/2; null when
    // none fits.
    static QvBSplineCurve* SampleArch(const QvArchParameters& arch);
    // How far behind the sampled arch's chord the distal surface of the last teeth
    // lies, in arch coordinates; -1 when no tooth stands at any position.
    double MeasureDistalDepth(const QvBSplineCurve& sampled, const QvMatrix& toArch) const;
    // The vertex farthest from centre along direction (the first on ties); false for
    // a mesh without vertices.
    [[nodiscard]] static bool FarthestVertex(const QvMesh& mesh, const QvPoint& centre, const QvVector& direction, QvPoint& out);
    // Replaces both ends of the sampled arch by end segments reaching depth further
    // back. False, the curve unchanged, when the end segment cannot be formed.
    [[nodiscard]] static bool ExtendEnds(QvBSplineCurve& curve, double depth);
    // (x, y, z) -> (-x, y, -z).
    static QvPoint MirrorAcrossY(const QvPoint& p) { return QvPoint(-p.m_coord[0], p.m_coord[1], -p.m_coord[2]); }

    bool m_bUpper;
    bool m_bIncludeThirdMolars = false;
    QvModel* m_pModel; // not owned
    QvPlane m_plane;
    QvBSplineCurve m_curve;
};
