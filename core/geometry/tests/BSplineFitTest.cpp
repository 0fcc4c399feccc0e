// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvBSplineFitDetail.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvNurbsHelper.h"
#include "testing/PointSets.h"

namespace {

using Curve = std::unique_ptr<QvBSplineCurve>;

void ExpectPointNear(const QvPoint& a, const QvPoint& b, double tol)
{
    EXPECT_NEAR(a[0], b[0], tol);
    EXPECT_NEAR(a[1], b[1], tol);
    EXPECT_NEAR(a[2], b[2], tol);
}

void ExpectVectorNear(const QvVector& a, const QvVector& b, double tol)
{
    EXPECT_NEAR(a[0], b[0], tol);
    EXPECT_NEAR(a[1], b[1], tol);
    EXPECT_NEAR(a[2], b[2], tol);
}

QvVector Derivative(const QvBSplineCurve& c, int order, double t)
{
    QvPoint p;
    std::vector<QvVector> d;
    c.EvaluateDerivatives(order, p, d, t);
    return d[static_cast<std::size_t>(order - 1)];
}

bool AllFinite(const QvBSplineCurve& c)
{
    for (const QvPoint& p : c.m_ctrlPoints)
        for (int k = 0; k < 3; ++k)
            if (!std::isfinite(p[k]))
                return false;
    return true;
}

// n points on an arc of the given radius, from -a to +a radians about the y axis, in z = 0.
std::vector<QvPoint> ArcPoints(int n, double radius, double a)
{
    std::vector<QvPoint> out;
    for (int i = 0; i < n; ++i)
    {
        const double t = -a + 2 * a * i / (n - 1);
        out.emplace_back(radius * std::sin(t), radius * std::cos(t), 0.0);
    }
    return out;
}

// Largest squared distance from the points to the curve, by dense sampling (an independent oracle).
double MaxSquaredDeviation(const QvBSplineCurve& c, const std::vector<QvPoint>& points)
{
    std::vector<QvPoint> dense;
    c.Sample(20000, dense, 0, 1);
    double worst = 0.0;
    for (const QvPoint& p : points)
    {
        double best = 1e300;
        for (const QvPoint& s : dense)
            best = std::min(best, s.SquaredDistance(p));
        worst = std::max(worst, best);
    }
    return worst;
}

// ---------------------------------------------------------------- exact cubics

TEST(BSplineExactCubics, FromEndTangents)
{
    const QvPoint p0(0, 0, 0), p1(3, 0, 0);
    // Unit chord direction, and a derivative of the chord's length: the same uniform segment.
    for (const QvVector& t : {QvVector(1, 0, 0), QvVector(3, 0, 0)})
    {
        const Curve c(QvBSplineCurve::FromEndTangents(p0, p1, t, t));
        ASSERT_EQ(c->m_ctrlPoints.size(), 4u);
        ExpectPointNear(c->m_ctrlPoints[1], QvPoint(1, 0, 0), 1e-15);
        ExpectPointNear(c->m_ctrlPoints[2], QvPoint(2, 0, 0), 1e-15);
        for (double s : {0.0, 0.25, 0.6, 1.0})
            ExpectPointNear(c->Evaluate(s), QvPoint(3 * s, 0, 0), 1e-14);
        EXPECT_EQ(c->m_params, std::vector<double>({0.0, 1.0}));
    }
    const QvVector t0(0, 2, 1), t1(-1, 0, 4);
    const Curve c(QvBSplineCurve::FromEndTangents(p0, p1, t0, t1));
    ExpectVectorNear(Derivative(*c, 1, 0), t0, 1e-14);
    ExpectVectorNear(Derivative(*c, 1, 1), t1, 1e-14);
    // Coincident ends give a finite curve.
    const Curve dot(QvBSplineCurve::FromEndTangents(p0, p0, t0, t1));
    EXPECT_TRUE(AllFinite(*dot));
}

TEST(BSplineExactCubics, FromThreePoints)
{
    const QvPoint p0(0, 0, 0), p1(1, 2, 0), p2(4, 0, 1);
    const QvVector t0(1, 3, 0), t2(2, -3, 1);
    const Curve c(QvBSplineCurve::FromThreePoints(p0, p1, p2, t0, t2));
    const double u = p1.Distance(p0) / (p1.Distance(p0) + p2.Distance(p1));
    EXPECT_EQ(c->m_knots.m_values, std::vector<double>({0, 0, 0, 0, u, 1, 1, 1, 1}));
    EXPECT_EQ(c->m_params, std::vector<double>({0, u, 1}));
    ExpectPointNear(c->Evaluate(u), p1, 1e-13);
    ExpectVectorNear(Derivative(*c, 1, 0), t0, 1e-13);
    ExpectVectorNear(Derivative(*c, 1, 1), t2, 1e-13);

    // A middle point on (or within 1e-7 of) an end: the end-tangent cubic, never a huge middle point.
    for (const QvPoint& mid : {p0, p0 + QvVector(1e-9, 0, 0), p2})
    {
        const Curve d(QvBSplineCurve::FromThreePoints(p0, mid, p2, t0, t2));
        const Curve e(QvBSplineCurve::FromEndTangents(p0, p2, t0, t2));
        ASSERT_EQ(d->m_ctrlPoints.size(), 4u);
        for (int i = 0; i < 4; ++i)
            ExpectPointNear(d->m_ctrlPoints[i], e->m_ctrlPoints[i], 0.0);
    }
}

// ---------------------------------------------------------------- interpolation

TEST(BSplineInterpolate, PassesThroughThePointsWithTheDegreeOfTheirCount)
{
    const std::vector<QvPoint> all = {{0, 0, 0}, {1, 2, 0}, {3, 3, 1}, {4, 1, 0}, {6, 0, 2}, {7, 2, 2}};
    for (std::size_t N = 2; N <= all.size(); ++N)
    {
        const std::vector<QvPoint> D(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(N));
        const Curve c(QvBSplineCurve::Interpolate(D, false));
        ASSERT_TRUE(c) << N;
        EXPECT_EQ(c->m_degree, N == 2 ? 1 : (N == 3 ? 2 : 3));
        EXPECT_EQ(c->m_ctrlPoints.size(), N);
        EXPECT_TRUE(c->CanEvaluate());
        for (std::size_t i = 0; i < N; ++i)
            ExpectPointNear(c->Evaluate(c->m_params[i]), D[i], 1e-12);
    }
}

TEST(BSplineInterpolate, ClosedSquareJoinsSmoothly)
{
    const std::vector<QvPoint> square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const Curve c(QvBSplineCurve::Interpolate(square, true));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->m_ctrlPoints.size(), 7u);
    EXPECT_EQ(c->m_params.size(), 5u);
    ExpectPointNear(c->Evaluate(0), square[0], 1e-12);
    ExpectPointNear(c->Evaluate(1), square[0], 1e-12);
    ExpectVectorNear(Derivative(*c, 1, 0), Derivative(*c, 1, 1), 1e-11);
    ExpectVectorNear(Derivative(*c, 2, 0), Derivative(*c, 2, 1), 1e-10);
    for (std::size_t i = 0; i < 4; ++i)
        ExpectPointNear(c->Evaluate(c->m_params[i]), square[i], 1e-12);

    // Two closed points: there and back, closing at the start.
    const Curve two(QvBSplineCurve::Interpolate({{0, 0, 0}, {2, 0, 0}}, true));
    ASSERT_TRUE(two);
    EXPECT_EQ(two->m_ctrlPoints.size(), 3u);
    ExpectPointNear(two->Evaluate(0.5), QvPoint(2, 0, 0), 1e-12);
    ExpectPointNear(two->Evaluate(1), QvPoint(0, 0, 0), 1e-12);
}

TEST(BSplineInterpolate, DegenerateInputAnswersNull)
{
    const double nan = std::nan("");
    struct Case
    {
        const char* what;
        std::vector<QvPoint> points;
        bool closed;
    } cases[] = {
        {"no point", {}, false},
        {"one point", {{1, 1, 1}}, false},
        {"one closed point", {{1, 1, 1}}, true},
        {"a repeated point (equal parameters)", {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {2, 1, 0}, {3, 0, 0}}, false},
        {"a NaN coordinate", {{0, 0, 0}, {1, nan, 0}, {2, 1, 0}, {3, 0, 0}}, false},
    };
    for (const Case& k : cases)
        EXPECT_EQ(QvBSplineCurve::Interpolate(k.points, k.closed), nullptr) << k.what;
}

TEST(BSplineInterpolate, WithKnots)
{
    const std::vector<QvPoint> three = {{0, 0, 0}, {1, 2, 0}, {2, 0, 0}};
    const Curve q(QvBSplineCurve::InterpolateWithKnots(three, 2, {0, 0.5, 1}, {0, 0, 0, 1, 1, 1}, false));
    ASSERT_TRUE(q);
    EXPECT_TRUE(q->m_params.empty());
    for (int i = 0; i < 3; ++i)
        ExpectPointNear(q->m_ctrlPoints[i], three[i], 0.0);
    ExpectPointNear(q->Evaluate(0.5), QvPoint(1, 1, 0), 1e-15); // the control polygon, not through D[1]

    // The same knots and parameters as the plain interpolation give the same curve.
    const std::vector<QvPoint> D = {{0, 0, 0}, {1, 2, 0}, {3, 3, 1}, {4, 1, 0}, {6, 0, 2}, {7, 2, 2}};
    for (bool closed : {false, true})
    {
        const Curve plain(QvBSplineCurve::Interpolate(D, closed));
        const Curve given(QvBSplineCurve::InterpolateWithKnots(D, 3, plain->m_params, plain->m_knots.m_values, closed));
        ASSERT_TRUE(given);
        ASSERT_EQ(given->m_ctrlPoints.size(), plain->m_ctrlPoints.size());
        for (std::size_t i = 0; i < D.size(); ++i)
            ExpectPointNear(given->m_ctrlPoints[i], plain->m_ctrlPoints[i], 1e-12);
    }
    // Knots that do not fit the points, or out of order: null.
    EXPECT_EQ(QvBSplineCurve::InterpolateWithKnots(D, 3, {0, .2, .4, .6, .8, 1}, {0, 0, 0, 0, 1, 1, 1, 1}, false),
              nullptr);
    EXPECT_EQ(QvBSplineCurve::InterpolateWithKnots(three, 2, {0, 0.5, 1}, {0, 0, 0, 1, 1, 1, 1}, false), nullptr);
    EXPECT_EQ(QvBSplineCurve::InterpolateWithKnots(three, 2, {0, 0.5, 1}, {0, 0, 1, 0, 1, 1}, false), nullptr);
}

TEST(BSplineInterpolate, WithTangents)
{
    const std::vector<QvPoint> D = {{0, 0, 0}, {1, 2, 0}, {3, 3, 1}, {4, 1, 0}, {6, 0, 2}};
    const QvVector start(5, 0, 0), end(0, -4, 1);
    struct Case
    {
        std::vector<QvBSplineCurve::TangentCondition> tangents;
    } cases[] = {{{{0, start}, {4, end}}}, {{{0, start}}}, {{{4, end}}}};
    for (const Case& k : cases)
    {
        const Curve c(QvBSplineCurve::InterpolateWithTangents(D, k.tangents, false));
        ASSERT_TRUE(c);
        EXPECT_EQ(c->m_ctrlPoints.size(), D.size() + k.tangents.size());
        for (std::size_t i = 0; i < D.size(); ++i)
            ExpectPointNear(c->Evaluate(c->m_params[i]), D[i], 1e-12);
        for (const auto& [index, vector] : k.tangents)
            ExpectVectorNear(Derivative(*c, 1, c->m_params[index]), vector, 1e-11);
    }
    const Curve none(QvBSplineCurve::InterpolateWithTangents(D, {}, false));
    const Curve plain(QvBSplineCurve::Interpolate(D, false));
    ASSERT_TRUE(none);
    for (std::size_t i = 0; i < D.size(); ++i)
        ExpectPointNear(none->m_ctrlPoints[i], plain->m_ctrlPoints[i], 0.0);

    EXPECT_EQ(QvBSplineCurve::InterpolateWithTangents(D, {{0, start}}, true), nullptr);
    EXPECT_EQ(QvBSplineCurve::InterpolateWithTangents(D, {{0, start}, {2, end}, {4, end}}, false), nullptr);
    EXPECT_EQ(QvBSplineCurve::InterpolateWithTangents(D, {{5, start}}, false), nullptr);
    EXPECT_EQ(QvBSplineCurve::InterpolateWithTangents(D, {{-1, start}}, false), nullptr);
    // Two points cannot carry a tangent condition at degree 1: null rather than a singular curve.
    EXPECT_EQ(QvBSplineCurve::InterpolateWithTangents({{0, 0, 0}, {1, 0, 0}}, {{0, start}}, false), nullptr);
}

// ---------------------------------------------------------------- least squares

TEST(BSplineLeastSquares, SmoothingMatrixIsTheBendingIntegral)
{
    QvBSplineCurve c({0, 0, 0, 0, 0.3, 0.5, 0.5, 1, 1, 1, 1}, std::vector<QvPoint>(7), 3, false);
    QvMatrix M(7, 7);
    double maxAbs = -1;
    c.SmoothingMatrix(2, M, maxAbs);
    // Oracle: Simpson per knot span, exact for the piecewise quadratic products of second derivatives.
    QvMatrix ref(7, 7);
    const std::vector<double>& U = c.m_knots.m_values;
    for (int s = 3; s < 7; ++s)
    {
        if (!(U[s + 1] > U[s]))
            continue;
        const int steps = 20;
        const double h = (U[s + 1] - U[s]) / steps;
        for (int k = 0; k <= steps; ++k)
        {
            const double t = U[s] + k * h;
            const double w = (k == 0 || k == steps) ? 1.0 : (k % 2 == 1 ? 4.0 : 2.0);
            // The span's own basis functions (checked against Eigen elsewhere), also at its right end.
            double ders[12];
            double work[qvnurbs::BasisWorkSize(3)];
            qvnurbs::BasisDerivatives(U.data(), 3, s, 2, t, ders, work);
            std::vector<double> d2(7, 0.0);
            for (int l = 0; l <= 3; ++l)
                d2[static_cast<std::size_t>(s - 3 + l)] = ders[8 + l];
            for (int a = 0; a < 7; ++a)
                for (int b = 0; b < 7; ++b)
                    ref[a][b] += w * h / 3.0 * d2[a] * d2[b];
        }
    }
    double refMax = 0.0;
    for (int a = 0; a < 7; ++a)
        for (int b = 0; b < 7; ++b)
        {
            EXPECT_NEAR(M[a][b], ref[a][b], 1e-9 * std::max(1.0, std::fabs(ref[a][b]))) << a << "," << b;
            EXPECT_EQ(M[a][b], M[b][a]);
            refMax = std::max(refMax, std::fabs(ref[a][b]));
        }
    EXPECT_NEAR(maxAbs, refMax, 1e-9 * refMax);

    // A degree-1 curve has no curvature to penalise: zero, and the solve still works.
    QvBSplineCurve line(qvtest::CollinearPoints(8, QvPoint(0, 0, 0), QvPoint(7, 1, 0)), 1, false);
    QvNurbsHelper::ChordLengthParameters(line.m_dataPoints, false, line.m_params);
    ASSERT_TRUE(line.LeastSquaresOpen(5, {}, false, 0.2));
    EXPECT_TRUE(AllFinite(line));
    QvMatrix flat(5, 5);
    line.SmoothingMatrix(2, flat, maxAbs);
    EXPECT_EQ(maxAbs, 0.0);
}

TEST(BSplineLeastSquares, CollocationBands)
{
    QvBSplineCurve c(std::vector<QvPoint>(7), 3, false);
    c.m_params = {0, 0.1, 0.2, 0.45, 0.7, 0.9, 1};
    c.m_knots.m_values = {0, 0, 0, 0, 0.5, 1, 1, 1, 1};
    QvMatrix A(7, 5);
    int first[5], last[5];
    c.CollocationMatrix(A, first, last, 5);
    EXPECT_EQ(std::vector<int>(first, first + 5), std::vector<int>({0, 0, 0, 0, 4}));
    EXPECT_EQ(std::vector<int>(last, last + 5), std::vector<int>({3, 6, 6, 6, 6}));
    for (int r = 0; r < 7; ++r)
    {
        double sum = 0.0;
        for (int j = 0; j < 5; ++j)
        {
            sum += A[r][j];
            if (r < first[j] || r > last[j])
            {
                EXPECT_EQ(A[r][j], 0.0);
            }
        }
        EXPECT_NEAR(sum, 1.0, 1e-15);
    }
}

TEST(BSplineLeastSquares, InconsistentInputFailsWithZeroControlPoints)
{
    const std::vector<QvPoint> D = ArcPoints(20, 10, 1.0);
    QvBSplineCurve c(D, 3, false);
    QvNurbsHelper::ChordLengthParameters(D, false, c.m_params);
    struct Case
    {
        const char* what;
        std::int32_t n;
        std::vector<std::int32_t> fixed;
    } cases[] = {
        {"fewer control points than the order", 3, {}},
        {"more control points than parameters", 21, {}},
        {"fixed index past the points", 8, {20}},
        {"negative fixed index", 8, {-1}},
        {"the same fixed index twice", 8, {4, 4}},
    };
    for (const Case& k : cases)
    {
        EXPECT_FALSE(c.LeastSquaresOpen(k.n, k.fixed, false, 0.2)) << k.what;
        for (const QvPoint& p : c.m_ctrlPoints)
            ExpectPointNear(p, QvPoint(), 0.0);
    }
    EXPECT_FALSE(c.LeastSquaresOpenWithTangents(8, {{25, QvVector(1, 0, 0)}}, {}, false, 0.2));
    c.m_knots.m_values = {0, 0, 0, 0, 1, 1, 1, 1};
    EXPECT_FALSE(c.LeastSquaresOpen(6, {}, true, 0.2)); // kept knots that do not fit 6 control points
}

TEST(BSplineApproximate, FixedPointsAreExactWhateverTheSmoothing)
{
    qvtest::Rng rng(21);
    std::vector<QvPoint> D = ArcPoints(60, 15, 1.2);
    for (QvPoint& p : D)
        p = p + QvVector(qvtest::Uniform(rng, -0.3, 0.3), qvtest::Uniform(rng, -0.3, 0.3), 0);
    const std::vector<std::int32_t> fixed = {0, 17, 59};
    const Curve c(QvBSplineCurve::Approximate(D, fixed, 8, false));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->m_ctrlPoints.size(), 8u);
    EXPECT_EQ(c->m_knots.Size(), 12);
    for (std::int32_t f : fixed)
        ExpectPointNear(c->Evaluate(c->m_params[static_cast<std::size_t>(f)]), D[static_cast<std::size_t>(f)], 1e-9);

    EXPECT_EQ(QvBSplineCurve::Approximate(D, {}, 3, false), nullptr);
    EXPECT_EQ(QvBSplineCurve::Approximate(D, {}, 61, false), nullptr);
    EXPECT_EQ(QvBSplineCurve::Approximate(D, {60}, 8, false), nullptr);
    EXPECT_EQ(QvBSplineCurve::Approximate({D[0]}, {}, 4, false), nullptr);
}

TEST(BSplineApproximate, ClosedJointHoldsEvenWithFewControlPoints)
{
    // With 5 control points a column carries a continuity term from both ends; both must count.
    const std::vector<QvPoint> D = qvtest::CirclePoints(24, 5.0);
    for (std::int32_t n : {5, 6, 9})
    {
        const Curve c(QvBSplineCurve::Approximate(D, {}, n, true));
        ASSERT_TRUE(c) << n;
        ExpectPointNear(c->Evaluate(0), c->Evaluate(1), 1e-9);
        ExpectVectorNear(Derivative(*c, 1, 0), Derivative(*c, 1, 1), 1e-8);
        ExpectVectorNear(Derivative(*c, 2, 0), Derivative(*c, 2, 1), 1e-7);
    }
}

// ---------------------------------------------------------------- tolerance-driven fit

TEST(BSplineFit, FewPointsTakeTheShortcuts)
{
    const Curve two(QvBSplineCurve::Fit({{0, 0, 0}, {3, 0, 0}}, {}, false, 1e-5));
    ASSERT_EQ(two->m_ctrlPoints.size(), 4u);
    for (int i = 0; i < 4; ++i)
        ExpectPointNear(two->m_ctrlPoints[i], QvPoint(i, 0, 0), 1e-15);

    const std::vector<QvPoint> three = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}};
    const Curve q(QvBSplineCurve::Fit(three, {}, false, 1e-5));
    EXPECT_EQ(q->m_degree, 2);
    ExpectPointNear(q->Evaluate(0.5), QvPoint(1, 1, 0), 1e-12);

    const std::vector<QvPoint> four = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 2, 1}};
    const Curve c(QvBSplineCurve::Fit(four, {}, false, 1e-5));
    EXPECT_EQ(c->m_degree, 3);
    EXPECT_EQ(c->m_ctrlPoints.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
        ExpectPointNear(c->Evaluate(c->m_params[i]), four[i], 1e-12);

    EXPECT_EQ(QvBSplineCurve::Fit({}, {}, false, 1e-5), nullptr);
    EXPECT_EQ(QvBSplineCurve::Fit({{1, 2, 3}}, {}, false, 1e-5), nullptr);
}

TEST(BSplineFit, BisectionOnTheControlPointCount)
{
    const std::vector<QvPoint> arc = ArcPoints(100, 20.0, 1.0);

    // Every try within a generous tolerance: the counts fall to 6, not 5.
    std::vector<std::int32_t> tried;
    const Curve generous(qvbspline_detail::FitSearch(arc, {}, nullptr, false, 1.0, &tried));
    EXPECT_EQ(tried, std::vector<std::int32_t>({52, 29, 17, 11, 8, 7, 6}));
    ASSERT_TRUE(generous);
    EXPECT_EQ(generous->m_ctrlPoints.size(), 6u);
    const Curve viaFit(QvBSplineCurve::Fit(arc, {}, false, 1.0));
    EXPECT_EQ(viaFit->m_ctrlPoints.size(), 6u);
    EXPECT_EQ(viaFit->m_dataPoints.size(), arc.size());

    // Nothing within a tolerance of 0: the counts climb to N, and the fit of smallest deviation wins.
    tried.clear();
    const Curve strict(qvbspline_detail::FitSearch(arc, {}, nullptr, false, 0.0, &tried));
    EXPECT_EQ(tried, std::vector<std::int32_t>({52, 76, 88, 94, 97, 99, 100}));
    ASSERT_TRUE(strict);
    std::vector<double> params;
    QvNurbsHelper::ChordLengthParameters(arc, false, params);
    std::size_t bestCount = 0;
    double bestDev = 1e300;
    for (std::int32_t n : tried)
    {
        const Curve c(QvBSplineCurve::Approximate(arc, {}, n, false));
        double dev = 0.0;
        for (std::size_t i = 0; i < arc.size(); ++i)
        {
            double t = 0;
            QvPoint q;
            ASSERT_TRUE(c->ClosestPoint(arc[i], t, q, &params[i]));
            dev = std::max(dev, arc[i].SquaredDistance(q));
        }
        if (dev < bestDev)
        {
            bestDev = dev;
            bestCount = c->m_ctrlPoints.size();
        }
    }
    EXPECT_EQ(strict->m_ctrlPoints.size(), bestCount);
}

TEST(BSplineFit, StaysWithinTolerance)
{
    qvtest::Rng rng(4);
    std::vector<QvPoint> arch;
    for (int i = 0; i < 200; ++i)
    {
        const double x = -20.0 + 40.0 * i / 199;
        arch.emplace_back(x, 0.04 * x * x + 0.5 * std::sin(x / 3), qvtest::Uniform(rng, -0.001, 0.001));
    }
    for (double tol : {1e-3, 1e-5})
    {
        const Curve c(QvBSplineCurve::Fit(arch, {}, false, tol));
        ASSERT_TRUE(c);
        EXPECT_TRUE(AllFinite(*c));
        EXPECT_LT(MaxSquaredDeviation(*c, arch), tol * 1.01);
        EXPECT_LT(c->m_ctrlPoints.size(), 100u);
    }

    // A closed fit joins smoothly and follows the circle.
    const std::vector<QvPoint> circle = qvtest::CirclePoints(40, 8.0);
    const Curve closed(QvBSplineCurve::Fit(circle, {}, true, 1e-5));
    ASSERT_TRUE(closed);
    ExpectPointNear(closed->Evaluate(0), closed->Evaluate(1), 1e-9);
    ExpectVectorNear(Derivative(*closed, 1, 0), Derivative(*closed, 1, 1), 1e-7);
    EXPECT_LT(MaxSquaredDeviation(*closed, circle), 1e-5 * 1.01);

    // A fixed point is hit exactly.
    const Curve pinned(QvBSplineCurve::Fit(arch, {120}, false, 1e-3));
    ASSERT_TRUE(pinned);
    ExpectPointNear(pinned->Evaluate(pinned->m_params[120]), arch[120], 1e-9);
}

TEST(BSplineFit, DegenerateInputAnswersNullNeverNaN)
{
    const std::vector<QvPoint> arc = ArcPoints(30, 10.0, 1.0);
    EXPECT_EQ(QvBSplineCurve::Fit(arc, {30}, false, 1e-5), nullptr);
    EXPECT_EQ(QvBSplineCurve::FitWithTangents(arc, {}, {{-2, QvVector(1, 0, 0)}}, false, 1e-5), nullptr);
    std::vector<QvPoint> spoiled = arc;
    spoiled[7] = QvPoint(std::nan(""), 0, 0);
    EXPECT_EQ(QvBSplineCurve::Fit(spoiled, {}, false, 1e-5), nullptr);

    // All points in one place: a finite curve at that place.
    const Curve dot(QvBSplineCurve::Fit(std::vector<QvPoint>(12, QvPoint(1, 2, 3)), {}, false, 1e-5));
    ASSERT_TRUE(dot);
    EXPECT_TRUE(AllFinite(*dot));
    ExpectPointNear(dot->Evaluate(0.3), QvPoint(1, 2, 3), 1e-9);
}

TEST(BSplineFit, WithTangentsAndWithKnots)
{
    const std::vector<QvPoint> arc = ArcPoints(50, 10.0, 1.0);
    // The arc's own derivative at its start (length 20 over the unit parameter range), a little steeper.
    const QvVector start(20 * std::cos(1.0), 20 * std::sin(1.0) + 1.0, 0);
    const Curve c(QvBSplineCurve::FitWithTangents(arc, {}, {{0, start}}, false, 1e-4));
    ASSERT_TRUE(c);
    ExpectVectorNear(Derivative(*c, 1, 0), start, 1e-8);
    EXPECT_LT(MaxSquaredDeviation(*c, arc), 1e-4 * 1.01);

    const std::vector<double> knots = {0, 0, 0, 0, 0.25, 0.5, 0.75, 1, 1, 1, 1};
    const Curve k(QvBSplineCurve::FitWithKnots(arc, knots, {}, false, 1e-4));
    ASSERT_TRUE(k);
    EXPECT_EQ(k->m_knots.m_values, knots);
    EXPECT_EQ(k->m_ctrlPoints.size(), 7u);
    EXPECT_TRUE(AllFinite(*k));
    EXPECT_LT(MaxSquaredDeviation(*k, arc), 0.05); // one smoothed solve, no tolerance search
    EXPECT_EQ(QvBSplineCurve::FitWithKnots(arc, {0, 0, 0, 1, 1, 1}, {}, false, 1e-4), nullptr);
}

} // namespace
