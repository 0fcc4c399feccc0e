// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <locale>
#include <memory>
#include <sstream>
#include <unsupported/Eigen/Splines>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"
#include "core/geometry/QvStreamIO.h"
#include "testing/ByteSweep.h"
#include "testing/PointSets.h"

namespace {

using Curve = std::unique_ptr<QvBSplineCurve>;

void ExpectPointNear(const QvPoint& a, const QvPoint& b, double tol)
{
    EXPECT_NEAR(a[0], b[0], tol);
    EXPECT_NEAR(a[1], b[1], tol);
    EXPECT_NEAR(a[2], b[2], tol);
}

// The straight cubic along x from 0 to 3 with evenly spaced control points: c(t) = (3t, 0, 0).
QvBSplineCurve StraightCubic()
{
    return QvBSplineCurve({0, 0, 0, 0, 1, 1, 1, 1}, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, 3, false);
}

// A random clamped curve on [0, 1], possibly with repeated inner knots.
QvBSplineCurve RandomCurve(qvtest::Rng& rng, int p, int nCtrl)
{
    std::vector<double> inner;
    while (static_cast<int>(inner.size()) < nCtrl - p - 1)
    {
        const double x = qvtest::Uniform(rng, 0.05, 0.95);
        inner.push_back(x);
        if (p > 1 && qvtest::Uniform(rng, 0, 1) < 0.15 && static_cast<int>(inner.size()) < nCtrl - p - 1)
            inner.push_back(x);
    }
    std::sort(inner.begin(), inner.end());
    std::vector<double> U(static_cast<std::size_t>(p + 1), 0.0);
    U.insert(U.end(), inner.begin(), inner.end());
    U.insert(U.end(), static_cast<std::size_t>(p + 1), 1.0);
    std::vector<QvPoint> P = qvtest::RandomPointsInCube(static_cast<std::size_t>(nCtrl), rng(), -5.0, 5.0);
    return QvBSplineCurve(U, P, p, false);
}

// A gentle arch of cubic spans, the kind of curve the system measures: control points near a parabola.
QvBSplineCurve SmoothArch(qvtest::Rng& rng, int nCtrl)
{
    std::vector<double> U(4, 0.0);
    for (int i = 1; i < nCtrl - 3; ++i)
        U.push_back(static_cast<double>(i) / (nCtrl - 3) + qvtest::Uniform(rng, -0.02, 0.02));
    U.insert(U.end(), 4, 1.0);
    std::vector<QvPoint> P;
    for (int i = 0; i < nCtrl; ++i)
    {
        const double x = -20.0 + 40.0 * i / (nCtrl - 1);
        P.emplace_back(x, 0.05 * x * x + qvtest::Uniform(rng, -0.5, 0.5), qvtest::Uniform(rng, -0.5, 0.5));
    }
    return QvBSplineCurve(U, P, 3, false);
}

// A closed cubic through eight points of the unit circle.
Curve ClosedCircle()
{
    return Curve(QvBSplineCurve::Interpolate(qvtest::CirclePoints(8, 1.0), true));
}

TEST(BSplineCurvePoint, PointCurveEverywhere)
{
    const QvPoint q(1, -2, 3);
    const QvBSplineCurve c(q, false);
    EXPECT_EQ(c.m_degree, 3);
    EXPECT_EQ(c.m_ctrlPoints.size(), 4u);
    EXPECT_EQ(c.m_dataPoints.size(), 4u);
    EXPECT_EQ(c.m_params, c.m_knots.m_values);
    for (double t : {0.0, 0.3, 0.5, 1.0})
        ExpectPointNear(c.Evaluate(t), q, 1e-15);
    EXPECT_NEAR(c.ArcLength(true, 0, 1), 0.0, 1e-14);
    QvPoint mid;
    double t = -1;
    c.GetMidPoint(mid, t);
    EXPECT_EQ(t, 0.5);
    ExpectPointNear(mid, q, 1e-15);

    // No tangent to walk along: the search stops at once and answers the point, open or closed.
    for (bool closed : {false, true})
    {
        const QvBSplineCurve pc(q, closed);
        QvPoint foot;
        double ft = -1;
        ASSERT_TRUE(pc.ClosestPoint(QvPoint(5, 5, 5), ft, foot));
        ExpectPointNear(foot, q, 1e-15);
        EXPECT_TRUE(std::isfinite(ft));
    }
}

TEST(BSplineCurveStraight, ValuesDerivativesLengthsAndMidPoint)
{
    const QvBSplineCurve c = StraightCubic();
    ExpectPointNear(c.Evaluate(0.5), QvPoint(1.5, 0, 0), 1e-15);
    for (double t : {0.0, 0.2, 0.7, 1.0})
    {
        QvPoint p;
        std::vector<QvVector> d;
        EXPECT_TRUE(c.EvaluateDerivatives(2, p, d, t));
        ASSERT_EQ(d.size(), 2u);
        EXPECT_NEAR(d[0][0], 3.0, 1e-14);
        EXPECT_NEAR(d[1].Length(), 0.0, 1e-13);
    }
    // Orders above the degree are zero rather than missing.
    QvPoint p;
    std::vector<QvVector> d;
    EXPECT_TRUE(c.EvaluateDerivatives(5, p, d, 0.4));
    ASSERT_EQ(d.size(), 5u);
    EXPECT_EQ(d[3].Length(), 0.0);
    EXPECT_EQ(d[4].Length(), 0.0);

    EXPECT_NEAR(c.ArcLength(true, 0, 1), 3.0, 1e-14);
    EXPECT_NEAR(c.ArcLength(true, 1, 0), -3.0, 1e-14);
    EXPECT_NEAR(c.ArcLength(false, 1, 0), 3.0, 1e-14);
    EXPECT_EQ(c.ArcLength(true, 0.4, 0.4), 0.0);
    QvPoint mid;
    double t = -1;
    c.GetMidPoint(mid, t);
    EXPECT_EQ(t, 0.5);
    ExpectPointNear(mid, QvPoint(1.5, 0, 0), 1e-15);

    std::vector<QvPoint> samples = {QvPoint(9, 9, 9)};
    c.Sample(4, samples, 0, 1);
    ASSERT_EQ(samples.size(), 6u);
    for (int i = 0; i <= 4; ++i)
        ExpectPointNear(samples[i + 1], QvPoint(0.75 * i, 0, 0), 1e-15);
    samples.clear();
    c.Sample(0, samples, 0.5, 1);
    ASSERT_EQ(samples.size(), 1u);
    ExpectPointNear(samples[0], QvPoint(1.5, 0, 0), 1e-15);
    c.Sample(-1, samples, 0, 1);
    EXPECT_EQ(samples.size(), 1u);
}

TEST(BSplineCurveStraight, ClosestPointFromCoarseStarts)
{
    const QvBSplineCurve c = StraightCubic();
    struct Case
    {
        QvPoint query;
        double t;
        QvPoint foot;
    } cases[] = {
        {{1, 1, 0}, 1.0 / 3, {1, 0, 0}}, // the best coarse sample is already perpendicular
        {{5, 1, 0}, 1.0, {3, 0, 0}},     // clamped to the end
        {{-2, 0, 4}, 0.0, {0, 0, 0}},
        {{2.2, -1, 1}, 2.2 / 3, {2.2, 0, 0}},
    };
    for (const Case& k : cases)
    {
        double t = -1;
        QvPoint foot;
        ASSERT_TRUE(c.ClosestPoint(k.query, t, foot));
        EXPECT_NEAR(t, k.t, 1e-7);
        ExpectPointNear(foot, k.foot, 1e-6);
    }
    std::vector<double> starts = {-7.0};
    c.StartParameters(QvPoint(1, 1, 0), starts);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[1], 2.0 / 6.0);
}

TEST(BSplineCurveDomain, ParametersOutsideTheDomainAreClamped)
{
    const QvBSplineCurve c = StraightCubic();
    ExpectPointNear(c.Evaluate(1.0000000000000002), QvPoint(3, 0, 0), 1e-15);
    ExpectPointNear(c.Evaluate(1e300), QvPoint(3, 0, 0), 1e-15);
    ExpectPointNear(c.Evaluate(-0.25), QvPoint(0, 0, 0), 1e-15);
    // NaN stays NaN but returns.
    EXPECT_TRUE(std::isnan(c.Evaluate(std::nan(""))[0]));

    // An empty curve evaluates to the origin and has no closest point.
    const QvBSplineCurve empty;
    EXPECT_FALSE(empty.CanEvaluate());
    ExpectPointNear(empty.Evaluate(0.5), QvPoint(), 0.0);
    double t = 0;
    QvPoint q;
    EXPECT_FALSE(empty.ClosestPoint(QvPoint(1, 1, 1), t, q));
    EXPECT_EQ(empty.ArcLength(true, 0, 1), 0.0);
}

TEST(BSplineCurveEvaluate, AgreesWithEigenOnRandomCurves)
{
    qvtest::Rng rng(11);
    for (int trial = 0; trial < 120; ++trial)
    {
        const int p = 1 + trial % 5;
        const int nCtrl = p + 1 + static_cast<int>(qvtest::Uniform(rng, 0, 10));
        const QvBSplineCurve c = RandomCurve(rng, p, nCtrl);
        Eigen::Array<double, 1, Eigen::Dynamic> knots(c.m_knots.Size());
        for (int i = 0; i < c.m_knots.Size(); ++i)
            knots(i) = c.m_knots[i];
        Eigen::Matrix<double, 3, Eigen::Dynamic> ctrls(3, nCtrl);
        for (int i = 0; i < nCtrl; ++i)
            ctrls.col(i) << c.m_ctrlPoints[i][0], c.m_ctrlPoints[i][1], c.m_ctrlPoints[i][2];
        const Eigen::Spline<double, 3> oracle(knots, ctrls);

        for (int s = 0; s < 10; ++s)
        {
            const double t = s == 0 ? 0.0 : (s == 1 ? 1.0 : qvtest::Uniform(rng, 0, 1));
            const QvPoint v = c.Evaluate(t);
            const auto ev = oracle(t);
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(v[k], ev(k), 1e-12 * std::max(1.0, std::fabs(ev(k))));

            QvPoint v2;
            std::vector<QvVector> d;
            ASSERT_TRUE(c.EvaluateDerivatives(p, v2, d, t));
            const auto ed = oracle.derivatives(t, p);
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(v2[k], v[k]);
            for (int r = 1; r <= p; ++r)
                for (int k = 0; k < 3; ++k)
                    EXPECT_NEAR(d[r - 1][k], ed(k, r), 1e-12 * std::max(1.0, std::fabs(ed(k, r))))
                        << "p " << p << " order " << r << " t " << t;
        }
    }
}

TEST(BSplineCurveClosestPoint, MatchesDenseSamplingNearSmoothCurves)
{
    qvtest::Rng rng(5);
    for (int trial = 0; trial < 20; ++trial)
    {
        const QvBSplineCurve c = SmoothArch(rng, 5 + trial % 6);
        std::vector<QvPoint> dense;
        c.Sample(20000, dense, 0, 1);
        for (int q = 0; q < 25; ++q)
        {
            const QvPoint r = c.Evaluate(qvtest::Uniform(rng, -0.05, 1.05)) +
                              QvVector(qvtest::Uniform(rng, -3, 3), qvtest::Uniform(rng, -3, 3),
                                       qvtest::Uniform(rng, -3, 3));
            double brute = 1e300;
            for (const QvPoint& s : dense)
                brute = std::min(brute, s.Distance(r));
            double t = -1;
            QvPoint foot;
            ASSERT_TRUE(c.ClosestPoint(r, t, foot));
            EXPECT_GE(t, 0.0);
            EXPECT_LE(t, 1.0);
            // The half-degree angle test leaves a second-order error in the distance.
            EXPECT_LE(foot.Distance(r), brute * (1.0 + 1e-4) + 1e-6);
            // t is the parameter of the point reported.
            EXPECT_LT(c.Evaluate(t).Distance(foot), 1e-6);
        }
    }
}

TEST(BSplineCurveClosestPoint, ReportsAConsistentPairOnWildCurves)
{
    // Jagged random curves where five Newton steps need not settle: t still belongs to the point.
    qvtest::Rng rng(6);
    for (int trial = 0; trial < 20; ++trial)
    {
        const QvBSplineCurve c = RandomCurve(rng, 3, 8);
        for (const QvPoint& r : qvtest::RandomPointsInCube(20, rng(), -4.0, 4.0))
        {
            double t = -1;
            QvPoint foot;
            ASSERT_TRUE(c.ClosestPoint(r, t, foot));
            EXPECT_LT(c.Evaluate(t).Distance(foot), 1e-6);
        }
    }
}

TEST(BSplineCurveClosestPoint, ClosedCurveWrapsAcrossTheJoint)
{
    const Curve c = ClosedCircle();
    ASSERT_TRUE(c);
    // Just below the joint at (1, 0, 0), from a start on the far side of it.
    const QvPoint r(1.2, -0.05, 0);
    for (double start : {0.02, 0.98, 0.5})
    {
        double t = -1;
        QvPoint foot;
        ASSERT_TRUE(c->ClosestPoint(r, t, foot, &start));
        EXPECT_GE(t, 0.0);
        EXPECT_LE(t, 1.0);
        if (start != 0.5)
        {
            EXPECT_NEAR(std::atan2(foot[1], foot[0]), std::atan2(-0.05, 1.2), 2e-3) << start;
        }
    }
    double t = -1;
    QvPoint foot;
    ASSERT_TRUE(c->ClosestPoint(r, t, foot));
    EXPECT_GT(t, 0.9);
    EXPECT_NEAR(std::atan2(foot[1], foot[0]), std::atan2(-0.05, 1.2), 2e-3);
}

TEST(BSplineCurveFrame, TangentBinormalAndNormalTowardsTheCentre)
{
    const Curve c = ClosedCircle();
    ASSERT_TRUE(c);
    for (double t : {0.1, 0.37, 0.8})
    {
        QvFrame f;
        EXPECT_TRUE(c->GetFrame(f, t));
        ExpectPointNear(f.m_centre, c->Evaluate(t), 0.0);
        EXPECT_NEAR(f.m_dirX[2], 1.0, 1e-9); // counter-clockwise in z = 0
        const QvVector toCentre = QvPoint(0, 0, 0) - f.m_centre;
        EXPECT_GT(f.m_dirZ.Dot(toCentre), 0.9);
        EXPECT_NEAR(f.m_dirY.Length(), 1.0, 1e-12);
        EXPECT_NEAR(f.m_dirY.Dot(f.m_dirX), 0.0, 1e-9);
    }
    QvFrame straight;
    EXPECT_TRUE(StraightCubic().GetFrame(straight, 0.5));
    EXPECT_NEAR(straight.m_dirX[0], 1.0, 0.0); // no curvature: the zero binormal becomes x
    EXPECT_NEAR(straight.m_dirY[0], 1.0, 1e-15);
}

TEST(BSplineCurveLength, AgreesWithDensePolylineAndBisectsToHalf)
{
    auto polyline = [](const QvBSplineCurve& c, double t0, double t1) {
        std::vector<QvPoint> dense;
        c.Sample(200000, dense, t0, t1);
        double len = 0.0;
        for (std::size_t i = 1; i < dense.size(); ++i)
            len += dense[i].Distance(dense[i - 1]);
        return len;
    };
    qvtest::Rng rng(3);
    std::vector<QvBSplineCurve> curves = {*ClosedCircle()};
    for (int trial = 0; trial < 8; ++trial)
        curves.push_back(SmoothArch(rng, 6 + trial));
    for (const QvBSplineCurve& c : curves)
    {
        const double len = c.ArcLength(true, 0, 1);
        EXPECT_NEAR(len, polyline(c, 0, 1), 1e-5 * len);
        // A piece that starts and ends between knots.
        EXPECT_NEAR(c.ArcLength(false, 0.83, 0.31), polyline(c, 0.31, 0.83), 1e-5 * len);

        QvPoint mid;
        double t = -1;
        c.GetMidPoint(mid, t);
        EXPECT_NEAR(c.ArcLength(true, 0, t), len / 2, 1e-5);
        ExpectPointNear(mid, c.Evaluate(t), 0.0);
    }
}

TEST(BSplineCurveRigid, ReverseTransformAndProjection)
{
    qvtest::Rng rng(9);
    QvBSplineCurve c = RandomCurve(rng, 3, 9);
    c.m_dataPoints = {QvPoint(1, 2, 3)};
    c.m_params = {0.5};
    const QvBSplineCurve original = c;

    c.Reverse();
    for (double t : {0.0, 0.13, 0.5, 0.77, 1.0})
        ExpectPointNear(c.Evaluate(t), original.Evaluate(1.0 - t), 1e-12);
    EXPECT_EQ(c.m_params, original.m_params);
    c.Reverse();
    ASSERT_EQ(c.m_knots.Size(), original.m_knots.Size());
    for (int i = 0; i < c.m_knots.Size(); ++i)
        EXPECT_NEAR(c.m_knots[i], original.m_knots[i], 1e-15);
    for (std::size_t i = 0; i < c.m_ctrlPoints.size(); ++i)
        ExpectPointNear(c.m_ctrlPoints[i], original.m_ctrlPoints[i], 0.0);

    QvMatrix move(4, 4);
    move.SetIdentity();
    move[0][3] = 1;
    move[1][3] = 2;
    move[2][3] = 3;
    c.m_knots = original.m_knots;
    c.Transform(move);
    ExpectPointNear(c.m_ctrlPoints[0], original.m_ctrlPoints[0] + QvVector(1, 2, 3), 1e-15);
    ExpectPointNear(c.m_dataPoints[0], QvPoint(2, 4, 6), 0.0);
    EXPECT_EQ(c.m_knots.m_values, original.m_knots.m_values);
    EXPECT_EQ(c.m_params, original.m_params);

    const QvPlane plane(QvPoint(0, 0, 1), QvVector(0, 1, 1));
    const Curve flat(original.ProjectToPlane(plane));
    for (const QvPoint& p : flat->m_ctrlPoints)
        EXPECT_NEAR(plane.Distance(p, true), 0.0, 1e-12);
    EXPECT_NEAR(plane.Distance(flat->m_dataPoints[0], true), 0.0, 1e-12);
    EXPECT_NEAR(plane.Distance(flat->Evaluate(0.4), true), 0.0, 1e-12);
}

// ---------------------------------------------------------------- stream forms

QvBSplineCurve CurveWithData()
{
    QvBSplineCurve c({0, 0, 0, 0, 0.25, 0.6, 1, 1, 1, 1},
                     {{0, 0, 0}, {1, 2, 0}, {2, 2.5, 1}, {3, 0.1, 1}, {4, -1, 0}, {5, 0, 0.5}}, 3, true);
    c.m_dataPoints = {{0.5, 0.5, 0.5}, {1.0 / 3, -7, 1e-9}};
    c.m_params = {0.125, 1};
    return c;
}

void ExpectSameCurve(const QvBSplineCurve& a, const QvBSplineCurve& b, double knotTol)
{
    EXPECT_EQ(a.m_degree, b.m_degree);
    EXPECT_EQ(a.m_closed, b.m_closed);
    ASSERT_EQ(a.m_ctrlPoints.size(), b.m_ctrlPoints.size());
    for (std::size_t i = 0; i < a.m_ctrlPoints.size(); ++i)
        ExpectPointNear(a.m_ctrlPoints[i], b.m_ctrlPoints[i], 0.0);
    ASSERT_EQ(a.m_dataPoints.size(), b.m_dataPoints.size());
    for (std::size_t i = 0; i < a.m_dataPoints.size(); ++i)
        ExpectPointNear(a.m_dataPoints[i], b.m_dataPoints[i], 0.0);
    ASSERT_EQ(a.m_knots.Size(), b.m_knots.Size());
    for (int i = 0; i < a.m_knots.Size(); ++i)
        EXPECT_NEAR(a.m_knots[i], b.m_knots[i], knotTol);
    ASSERT_EQ(a.m_params.size(), b.m_params.size());
    for (std::size_t i = 0; i < a.m_params.size(); ++i)
        EXPECT_NEAR(a.m_params[i], b.m_params[i], knotTol);
}

TEST(BSplineCurveStream, BinaryRoundTripAndSize)
{
    const QvBSplineCurve c = CurveWithData();
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { c.Write(os, true); });
    EXPECT_EQ(bytes.size(), 21u + 24 * 6 + 8 * 10 + 24 * 2 + 8 * 2);
    std::istringstream is(bytes);
    QvBSplineCurve back;
    ASSERT_TRUE(back.Read(is, true));
    ExpectSameCurve(back, c, 0.0);

    const QvBSplineCurve bare = StraightCubic();
    EXPECT_EQ(qvtest::BytesOf([&](std::ostream& os) { bare.Write(os, true); }).size(), 21u + 24 * 4 + 8 * 8);
    const QvBSplineCurve empty;
    std::istringstream es(qvtest::BytesOf([&](std::ostream& os) { empty.Write(os, true); }));
    QvBSplineCurve emptyBack(QvPoint(1, 1, 1), false);
    ASSERT_TRUE(emptyBack.Read(es, true));
    EXPECT_TRUE(emptyBack.m_ctrlPoints.empty());
    EXPECT_TRUE(emptyBack.m_knots.m_values.empty());
}

// Writes the fields with our own little-endian helpers so that single fields can be spoiled.
std::string HandBuilt(std::int32_t degree, std::int32_t nc, std::int32_t nk, const std::vector<double>& knots,
                      std::uint8_t flag, std::int32_t nd)
{
    return qvtest::BytesOf([&](std::ostream& os) {
        qvio::WriteI32(os, degree);
        qvio::WriteI32(os, nc);
        for (int i = 0; i < std::max(nc, 0) && i < 64; ++i)
            QvPoint(i, 0, 0).Write(os, true);
        qvio::WriteI32(os, nk);
        for (double k : knots)
            qvio::WriteF64(os, k);
        qvio::WriteU8(os, flag);
        qvio::WriteI32(os, nd);
        qvio::WriteI32(os, 0);
    });
}

TEST(BSplineCurveStream, InvalidBinaryDataIsRefusedAndLeavesTheCurve)
{
    const double nan = std::nan("");
    struct Case
    {
        const char* what;
        std::string bytes;
        bool accepted;
    } cases[] = {
        {"valid", HandBuilt(1, 2, 4, {0, 0, 1, 1}, 0, 0), true},
        {"negative degree", HandBuilt(-1, 2, 2, {0, 1}, 0, 0), false},
        {"knot count off by one", HandBuilt(1, 2, 5, {0, 0, 0.5, 1, 1}, 0, 0), false},
        {"fewer control points than the order", HandBuilt(3, 2, 6, {0, 0, 0, 1, 1, 1}, 0, 0), false},
        {"knots out of order", HandBuilt(1, 2, 4, {0, 0.5, 0.2, 1}, 0, 0), false},
        {"NaN knot", HandBuilt(1, 2, 4, {0, nan, 1, 1}, 0, 0), false},
        {"infinite knot", HandBuilt(1, 2, 4, {0, 0, 1, std::numeric_limits<double>::infinity()}, 0, 0), false},
        {"flag not a bool", HandBuilt(1, 2, 4, {0, 0, 1, 1}, 2, 0), false},
        {"negative control-point count", HandBuilt(1, -1, 0, {}, 0, 0), false},
        {"huge control-point count", HandBuilt(1, 0x7fffffff, 0, {}, 0, 0), false},
        {"huge data-point count", HandBuilt(1, 2, 4, {0, 0, 1, 1}, 0, 0x10000000), false},
    };
    for (const Case& k : cases)
    {
        QvBSplineCurve c = StraightCubic();
        std::istringstream is(k.bytes);
        EXPECT_EQ(c.Read(is, true), k.accepted) << k.what;
        if (!k.accepted)
        {
            EXPECT_EQ(c.m_ctrlPoints.size(), 4u) << k.what;
        }
    }
}

TEST(BSplineCurveStream, BinaryReaderSurvivesDamage)
{
    const QvBSplineCurve c = CurveWithData();
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { c.Write(os, true); });
    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& is) {
        QvBSplineCurve r;
        return r.Read(is, true);
    });
}

// A decimal comma and digit grouping: what a user locale may put on a stream.
struct CommaPunct : std::numpunct<char>
{
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(BSplineCurveStream, TextRoundTripInTheClassicLocale)
{
    const QvBSplineCurve c = CurveWithData();
    std::ostringstream plain;
    c.Write(plain, false);
    const std::string text = plain.str();
    EXPECT_EQ(text.substr(0, 4), "3\n6\n");
    EXPECT_NE(text.find("\n0.25\n0.6\n1\n"), std::string::npos);

    // The caller's locale and flags neither change the bytes nor survive into them.
    std::ostringstream local;
    local.imbue(std::locale(std::locale::classic(), new CommaPunct));
    local << std::hex << std::boolalpha;
    c.Write(local, false);
    EXPECT_EQ(local.str(), text);
    EXPECT_TRUE(local.flags() & std::ios_base::hex);
    EXPECT_EQ(std::use_facet<std::numpunct<char>>(local.getloc()).decimal_point(), ',');

    std::istringstream in(text);
    in.imbue(std::locale(std::locale::classic(), new CommaPunct));
    QvBSplineCurve back;
    ASSERT_TRUE(back.Read(in, false));
    ExpectSameCurve(back, c, 1e-6); // knots and parameters at the printed precision

    // Six significant digits by default; the caller's precision when set.
    std::ostringstream fine;
    fine.precision(17);
    c.Write(fine, false);
    std::istringstream fineIn(fine.str());
    QvBSplineCurve exact;
    ASSERT_TRUE(exact.Read(fineIn, false));
    ExpectSameCurve(exact, c, 0.0);
}

TEST(BSplineCurveStream, TextReaderRefusesDamage)
{
    const QvBSplineCurve c = CurveWithData(); // its last parameter is printed as "1"
    std::ostringstream os;
    c.Write(os, false);
    const std::string text = os.str();
    const qvtest::StreamReader reader = [](std::istream& is) {
        QvBSplineCurve r;
        return r.Read(is, false);
    };
    // Only dropping the final line end still leaves a whole curve.
    const qvtest::SweepReport cut = qvtest::SweepTruncations(text, reader);
    EXPECT_EQ(cut.truncationsAccepted, 1);
    EXPECT_EQ(cut.firstAcceptedLength, text.size() - 1);
    qvtest::SweepByteFlips(text, reader, 500, 3);

    for (const char* bad : {"-1\n", "3\n-4\n", "3\nx\n", "3\n0\n0\n2\n0\n0\n"})
    {
        std::istringstream is(bad);
        QvBSplineCurve r;
        EXPECT_FALSE(r.Read(is, false)) << bad;
    }
    std::istringstream emptyCurve("3\n0\n0\n0\n0\n0\n");
    QvBSplineCurve r;
    EXPECT_TRUE(r.Read(emptyCurve, false));
}

TEST(BSplineCurveFields, AllocateAndParameters)
{
    QvBSplineCurve c = StraightCubic();
    c.m_params = {0.0, 0.5};
    EXPECT_EQ(c.GetParameter(1), 0.5);
    EXPECT_EQ(c.GetParameter(2), 0.0);
    EXPECT_EQ(c.GetParameter(-1), 0.0);
    c.Allocate(2, 5, true);
    EXPECT_EQ(c.m_degree, 2);
    EXPECT_EQ(c.m_ctrlPoints.size(), 5u);
    EXPECT_EQ(c.m_knots.m_values, std::vector<double>(8, 0.0));
    c.Allocate(3, 2, false);
    EXPECT_EQ(c.m_ctrlPoints.size(), 2u);
    EXPECT_EQ(c.m_knots.Size(), 8);
}

} // namespace
