// SPDX-License-Identifier: GPL-3.0-or-later
// The one free-form curve of the system: a non-rational B-spline in 3-D with its own knot
// vector, and the data points and parameters it was built from.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <utility>
#include <vector>

#include "core/geometry/QvKnotVector.h"
#include "core/geometry/QvPoint.h"

class QvFrame;
class QvMatrix;
class QvPlane;

// Clamped knots on [0, 1] for every curve the system builds; closed curves are clamped too, their
// first and last control points coincide and derivatives up to order p-1 agree at the joint.
// Static constructions return a new curve owned by the caller, or null for degenerate input
// (never a curve with non-finite control points).
class QvBSplineCurve
{
public:
    // (index of a data point, required first derivative there).
    using TangentCondition = std::pair<std::int32_t, QvVector>;

    // Degree 3 and empty lists: the target of Read.
    QvBSplineCurve();
    // The point curve: degree 3, four copies of the point, knots and parameters 0,0,0,0,1,1,1,1.
    QvBSplineCurve(const QvPoint& point, bool closed);
    // Data points only; control points, knots and parameters empty.
    QvBSplineCurve(const std::vector<QvPoint>& dataPoints, std::int32_t p, bool closed);
    QvBSplineCurve(const std::vector<double>& knots, const std::vector<QvPoint>& ctrlPoints, std::int32_t p,
                   bool closed);
    QvBSplineCurve(const std::vector<QvPoint>& dataPoints, const std::vector<double>& knots,
                   const std::vector<QvPoint>& ctrlPoints, std::int32_t p, bool closed);
    QvBSplineCurve(const QvBSplineCurve& other) = default;
    QvBSplineCurve& operator=(const QvBSplineCurve& other) = default;
    virtual ~QvBSplineCurve() = default;

    // Degree >= 0, at least p+1 control points and exactly p+1 more knots than control points.
    // The evaluators answer the origin (and zero derivatives) for a curve that fails this.
    bool CanEvaluate() const;

    // Sets the degree; n control points (0, 0, 0); with knots, p+n+1 zero knots.
    void Allocate(std::int32_t p, std::int32_t n, bool withKnots);
    // Parameter of data point i; 0 for an index without one.
    double GetParameter(std::int32_t i) const;

    // c(t). A parameter outside the domain is clamped to it.
    QvPoint Evaluate(double t) const;
    // c(t) and D[0..k-1] = c'(t) .. c^(k)(t); derivatives above the degree are zero. True when the
    // curve can be evaluated.
    bool EvaluateDerivatives(std::int32_t k, QvPoint& c, std::vector<QvVector>& D, double t) const;
    // The same into D[0..k-1] without allocating.
    bool EvaluateDerivatives(std::int32_t k, QvPoint& c, QvVector* D, double t) const;
    // Origin c(t), Y the unit tangent, X = c' x c'' (the binormal; (1, 0, 0) where the curve is
    // straight), Z = X x Y towards the centre of curvature.
    bool GetFrame(QvFrame& frame, double t) const;

    // Newton iteration on c'(t).(c(t) - R) from the given start, or from StartParameters, at most five
    // steps per start. Open curves clamp, closed ones wrap. Q is the best point measured; t is its
    // parameter, or the final step beyond it when that step was below 1e-7 in length. False only for
    // a curve without a span.
    [[nodiscard]] bool ClosestPoint(const QvPoint& R, double& t, QvPoint& Q, const double* start = nullptr) const;
    // Appends up to five coarse starts: the best of six samples per span, nearest spans first.
    void StartParameters(const QvPoint& R, std::vector<double>& list) const;

    // Length between t0 and t1 (four-point Gauss-Legendre per knot span); negative when signed and
    // t0 > t1.
    double ArcLength(bool isSigned, double t0, double t1) const;
    // Bisection for the parameter at half the length, to 1e-5 in length, at most 100 steps.
    void GetMidPoint(QvPoint& Q, double& t) const;
    // Appends n+1 evenly spaced points from t0 to t1; n = 0 appends c(t0), n < 0 nothing.
    void Sample(std::int32_t n, std::vector<QvPoint>& out, double t0, double t1) const;

    // Control points and data points by the point rule (a 4 x 4 matrix also translates).
    void Transform(const QvMatrix& m);
    // New curve with control and data points projected; the caller owns it.
    QvBSplineCurve* ProjectToPlane(const QvPlane& plane) const;
    // Reverses the direction in place: control points reversed, knots mirrored within their range.
    // Data points and parameters are not changed.
    void Reverse();

    // Binary (little-endian counts and doubles) or text (one "C"-locale value a line at the stream's
    // precision); point records are always the 24-byte binary form.
    std::ostream& Write(std::ostream& os, bool binary) const;
    // False on a failed stream, a count the stream cannot hold, or a curve that breaks the knot
    // invariant (count, order, finiteness); the curve is unchanged then.
    [[nodiscard]] bool Read(std::istream& is, bool binary);

    // ---- construction from points (QvBSplineFit.cpp) ----

    // Cubic from p0 to p1 with end derivatives t0 and t1; the straight cubic with uniform speed when both
    // equal the unit chord direction. Never null.
    static QvBSplineCurve* FromEndTangents(const QvPoint& p0, const QvPoint& p1, const QvVector& t0,
                                           const QvVector& t1);
    // Cubic through p1 at its chord ratio with c'(0) = t0 and c'(1) = t2; FromEndTangents(p0, p2, t0, t2)
    // when p1 coincides with p0 or p2. Never null.
    static QvBSplineCurve* FromThreePoints(const QvPoint& p0, const QvPoint& p1, const QvPoint& p2,
                                           const QvVector& t0, const QvVector& t2);
    // Global interpolation with chord-length parameters; degree 1, 2 or 3 for 2, 3 or more points.
    // Null for fewer than 2 points or a singular system.
    static QvBSplineCurve* Interpolate(const std::vector<QvPoint>& points, bool closed);
    // Interpolation with the caller's parameters and knots (parameters not stored); 2 or 3 open points
    // become the control points. Null when the knot count does not fit the points or the system is singular.
    static QvBSplineCurve* InterpolateWithKnots(const std::vector<QvPoint>& points, std::int32_t p,
                                                const std::vector<double>& params, const std::vector<double>& knots,
                                                bool closed);
    // Interpolation with one or two first-derivative conditions. Open only: null when closed with
    // conditions, with more than two, or with an index outside the points.
    static QvBSplineCurve* InterpolateWithTangents(const std::vector<QvPoint>& points,
                                                   const std::vector<TangentCondition>& tangents, bool closed);
    // Smoothed least-squares cubic with n control points passing exactly through the fixed points.
    // Null for fewer than 2 points, n < 4, more control points than parameters, a fixed index outside
    // the points, or a singular system.
    static QvBSplineCurve* Approximate(const std::vector<QvPoint>& points, const std::vector<std::int32_t>& fixed,
                                       std::int32_t n, bool closed);
    // Fewest control points (searched by bisection) keeping every squared deviation below tol.
    static QvBSplineCurve* Fit(const std::vector<QvPoint>& points, const std::vector<std::int32_t>& fixed,
                               bool closed, double tol);
    static QvBSplineCurve* FitWithTangents(const std::vector<QvPoint>& points, const std::vector<std::int32_t>& fixed,
                                           const std::vector<TangentCondition>& tangents, bool closed, double tol);
    // One least-squares solve on the given knots (n = knot count - 4).
    static QvBSplineCurve* FitWithKnots(const std::vector<QvPoint>& points, const std::vector<double>& knots,
                                        const std::vector<std::int32_t>& fixed, bool closed, double tol);

    // Knots from the parameters: interpolation (open) or approximation with the current control-point count.
    void SetupKnots(bool interpolating);
    // M[g][i] += integral of N_g^(k) N_i^(k) over the domain; maxAbs = largest |M[i][j]|, j >= i.
    // M must be n x n with n the control-point count.
    void SmoothingMatrix(std::int32_t k, QvMatrix& M, double& maxAbs) const;
    // A (m x n, zero): basis values of the data parameters; first/last[j] the band of rows of column j.
    void CollocationMatrix(QvMatrix& A, int* first, int* last, std::int32_t n) const;
    // Least-squares solves with n control points on the data points and parameters already set.
    // False (control points then all at the origin) for inconsistent input or a singular system.
    [[nodiscard]] bool LeastSquaresOpen(std::int32_t n, const std::vector<std::int32_t>& fixed, bool keepKnots,
                                        double w);
    [[nodiscard]] bool LeastSquaresClosed(std::int32_t n, const std::vector<std::int32_t>& fixed, bool keepKnots,
                                          double w);
    [[nodiscard]] bool LeastSquaresOpenWithTangents(std::int32_t n, const std::vector<TangentCondition>& tangents,
                                                    const std::vector<std::int32_t>& fixed, bool keepKnots, double w);
    [[nodiscard]] bool LeastSquaresClosedWithTangents(std::int32_t n, const std::vector<TangentCondition>& tangents,
                                                      const std::vector<std::int32_t>& fixed, bool keepKnots,
                                                      double w);

    // ---- editing (QvBSplineCurveEdit.cpp) ----

    // Inserts x once (Boehm); false outside (0, 1), for an exact existing value without force, or at
    // multiplicity p.
    [[nodiscard]] bool InsertKnot(bool force, double x);
    // Removes one occurrence of the inner knot u when the curve moves by at most tol.
    [[nodiscard]] bool RemoveKnot(double u, double tol);
    // New open curve for the piece [t0, t1]; the caller owns it.
    QvBSplineCurve* Extract(double t0, double t1) const;
    // Closed curves only: parameter 0 moves to the old parameter x.
    [[nodiscard]] bool MoveStart(double x);
    // Offset curve at distance d carried by parallel transport, refitted with Fit; null when Fit is.
    QvBSplineCurve* Offset(double d, double tol) const;
    QvBSplineCurve* OffsetAdaptive(double d, double tol) const;

    std::int32_t m_degree;
    std::vector<QvPoint> m_ctrlPoints;
    QvKnotVector m_knots;
    bool m_closed;
    std::vector<QvPoint> m_dataPoints;
    std::vector<double> m_params;

private:
    // The shared body of the four least-squares solves.
    bool LeastSquares(std::int32_t n, const std::vector<std::int32_t>& fixed,
                      const std::vector<TangentCondition>* tangents, bool closed, bool keepKnots, double w);
    // t limited to [U[p], U[n+1]]; needs CanEvaluate.
    double ClampToDomain(double t) const;
    // StartParameters into a fixed array; the count.
    int StartParametersInto(const QvPoint& R, double starts[5]) const;
};
