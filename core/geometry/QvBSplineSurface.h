// SPDX-License-Identifier: GPL-3.0-or-later
// The tensor-product B-spline surface: evaluation, iso-curves, the constructions from curves
// (four boundaries, skinning, sweeping, tubes) and the least-squares surface through points.
#pragma once

#include <cstdint>
#include <vector>

#include "core/geometry/QvKnotVector.h"
#include "core/geometry/QvPoint.h"

class QvBSplineCurve;
class QvCircle;
class QvMatrix;

// Row i of the net belongs to the i-th u basis function, entry j of a row to the j-th v basis
// function; domain [0, 1] x [0, 1]. Static constructions return a new surface owned by the caller,
// or null for degenerate input (never a surface with non-finite control points).
class QvBSplineSurface
{
public:
    // Empty net, knots and lists; both degrees -1.
    QvBSplineSurface();
    // As the default, with the data points, the integer list and the value stored.
    QvBSplineSurface(const std::vector<QvPoint>& dataPoints, const std::vector<std::int32_t>& fitIndices,
                     double fitValue);
    QvBSplineSurface(const QvBSplineSurface& other) = default;
    QvBSplineSurface& operator=(const QvBSplineSurface& other) = default;
    ~QvBSplineSurface() = default;

    // Degrees >= 0, a rectangular net of at least (p+1) x (q+1) points, and p+1 (q+1) more knots
    // than rows (row entries). The evaluators answer the origin for a surface that fails this.
    bool CanEvaluate() const;

    // Degrees p and q; nu rows of nv points (0, 0, 0); p+nu+1 and q+nv+1 zero knots. Data points
    // and parameters are untouched.
    void Allocate(std::int32_t p, std::int32_t q, std::int32_t nu, std::int32_t nv);

    // S(u, v), touching only the (p+1) x (q+1) control points of the two spans; no allocation.
    // Parameters outside the domain are clamped to it.
    QvPoint Evaluate(double u, double v) const;
    // Evaluate when both pointers are given and both values lie in [0, 1]; otherwise the origin and false.
    [[nodiscard]] bool GetPoint(QvPoint& out, const double* u, const double* v) const;
    // S(u, v) and the mixed partials d^(i+j)S / du^i dv^j for i = 1..a, j = 1..b, at entry
    // (i-1)*b + (j-1) (the pure u and pure v derivatives are not in the list). Orders above the
    // degree are zero. False, with the origin and zeros, for a surface that cannot be evaluated.
    bool EvaluateDerivatives(std::int32_t a, std::int32_t b, QvPoint& out, std::vector<QvVector>& D, double u,
                             double v) const;
    // The same into D[0..a*b-1] without allocating.
    bool EvaluateDerivatives(std::int32_t a, std::int32_t b, QvPoint& out, QvVector* D, double u, double v) const;

    // The curve u -> S(u, *v) (u knots, degree p); null for a missing or out-of-range parameter.
    QvBSplineCurve* GetUIsoCurve(const double* v) const;
    // The curve v -> S(*u, v) (v knots, degree q); null for a missing or out-of-range parameter.
    QvBSplineCurve* GetVIsoCurve(const double* u) const;

    // Bilinearly blended patch on the control nets of four cubic boundaries: c0 (u = 0) and c2 (u = 1)
    // run in v, c1 (v = 0) and c3 (v = 1) run in u. The inputs are not changed. Null for a missing or
    // non-cubic curve, or boundaries whose opposite sides cannot be given one knot vector.
    static QvBSplineSurface* FromBoundaryCurves(const QvBSplineCurve* c0, const QvBSplineCurve* c1,
                                                const QvBSplineCurve* c2, const QvBSplineCurve* c3);
    // Surface through the curves in list order (v runs across them, degree min(K-1, 3)); each curve
    // is an iso-curve of constant v. The curves are refined in place to common knots
    // (QvNurbsHelper::AreCompatible). Null for fewer than 2 curves, a missing curve, differing degrees,
    // knot vectors that differ in multiplicity, or curves that give no solvable interpolation.
    static QvBSplineSurface* Skin(const std::vector<QvBSplineCurve*>& curves);
    // The profile carried along the control polygon of the path: row 0 is the profile as it stands,
    // each later row the previous one turned by the bend of the polygon. Null for a missing curve or
    // a path of fewer than 2 control points.
    static QvBSplineSurface* Sweep(const QvBSplineCurve* profile, const QvBSplineCurve* path);
    // Sweep of the circle (fitted as a closed cubic through 40 points) along the path; null when the
    // path cannot be swept or the circle cannot be fitted.
    static QvBSplineSurface* Tube(const QvCircle& circle, const QvBSplineCurve* path);

    // The list mapped onto [0, 1] by its minimum and maximum; a list without spread maps to zeros.
    void SetUParameters(const std::vector<double>& t);
    void SetVParameters(const std::vector<double>& t);
    // Approximation knots from the sorted parameters for the current net size.
    void SetupKnots();
    // N (m x nu*nv): N[h][i*nv + j] = Nu_i(u_h) Nv_j(v_h); lists[i*nv + j] the data rows, ascending,
    // whose entry in that column may be non-zero. N is re-created at that size.
    void CollocationMatrix(QvMatrix& N, std::vector<std::vector<std::int32_t>>& lists, std::int32_t nu,
                           std::int32_t nv) const;
    // Plain least-squares net of nu x nv points through the data points at their parameters. False
    // (the net then all zero points) for missing parameters, too few points or a singular system.
    [[nodiscard]] bool LeastSquaresFit(std::int32_t nu, std::int32_t nv);
    // Bicubic 10 x 8 least-squares surface over the points' best-fit plane; null for fewer than 3
    // points, no spread in the plane or a singular system.
    static QvBSplineSurface* FitPoints(const std::vector<QvPoint>& points);
    // Stores the list and value, then fits with the stored parameters, or with FitPoints when there
    // are none. False for fewer than 3 data points (nothing stored then) or a failed fit.
    [[nodiscard]] bool Fit(const std::vector<std::int32_t>& fitIndices, double fitValue);

    // Control points, then data points, by the point rule (a 4 x 4 matrix also translates); nothing
    // at all for an empty net.
    void Transform(const QvMatrix& m);

    std::vector<std::vector<QvPoint>> m_ctrlNet;
    QvKnotVector m_uKnots;
    QvKnotVector m_vKnots;
    std::int32_t m_uDegree;
    std::int32_t m_vDegree;
    std::vector<QvPoint> m_dataPoints;
    std::vector<double> m_uParams;
    std::vector<double> m_vParams;
    std::vector<std::int32_t> m_fitIndices;
    double m_fitValue;
};
