// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <unsupported/Eigen/Splines>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvBSplineSurface.h"
#include "core/geometry/QvCircle.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvNurbsHelper.h"
#include "testing/PointSets.h"

namespace {

using Curve = std::unique_ptr<QvBSplineCurve>;
using Surface = std::unique_ptr<QvBSplineSurface>;

void ExpectPointNear(const QvPoint& a, const QvPoint& b, double tol)
{
    EXPECT_NEAR(a[0], b[0], tol);
    EXPECT_NEAR(a[1], b[1], tol);
    EXPECT_NEAR(a[2], b[2], tol);
}

bool NetFinite(const QvBSplineSurface& s)
{
    for (const auto& row : s.m_ctrlNet)
        for (const QvPoint& p : row)
            if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
                return false;
    return true;
}

// The bicubic Bezier patch with P[i][j] = (i, j, f(i, j)).
QvBSplineSurface Patch(double (*f)(int, int))
{
    QvBSplineSurface s;
    s.Allocate(3, 3, 4, 4);
    s.m_uKnots.m_values = {0, 0, 0, 0, 1, 1, 1, 1};
    s.m_vKnots.m_values = {0, 0, 0, 0, 1, 1, 1, 1};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            s.m_ctrlNet[i][j] = QvPoint(i, j, f(i, j));
    return s;
}

std::vector<double> ClampedKnots(int p, const std::vector<double>& inner)
{
    std::vector<double> k(static_cast<std::size_t>(p) + 1, 0.0);
    k.insert(k.end(), inner.begin(), inner.end());
    k.insert(k.end(), static_cast<std::size_t>(p) + 1, 1.0);
    return k;
}

// Random surface of degrees p, q with the given inner knots and control points in [-1, 1]^3.
QvBSplineSurface RandomSurface(qvtest::Rng& rng, int p, int q, const std::vector<double>& uInner,
                               const std::vector<double>& vInner)
{
    QvBSplineSurface s;
    const int nu = p + 1 + static_cast<int>(uInner.size());
    const int nv = q + 1 + static_cast<int>(vInner.size());
    s.Allocate(p, q, nu, nv);
    s.m_uKnots.m_values = ClampedKnots(p, uInner);
    s.m_vKnots.m_values = ClampedKnots(q, vInner);
    for (auto& row : s.m_ctrlNet)
        for (QvPoint& P : row)
            P = QvPoint(qvtest::Uniform(rng, -1, 1), qvtest::Uniform(rng, -1, 1), qvtest::Uniform(rng, -1, 1));
    return s;
}

// A cubic curve through points of f on [0, 1] (interpolated, knots on [0, 1]).
Curve CurveThrough(QvPoint (*f)(double, double), double v, int samples = 7)
{
    std::vector<QvPoint> pts;
    for (int i = 0; i < samples; ++i)
        pts.push_back(f(static_cast<double>(i) / (samples - 1), v));
    return Curve(QvBSplineCurve::Interpolate(pts, false));
}

QvPoint Wave(double s, double v) { return QvPoint(10.0 * s, 5.0 * v + std::sin(3 * s), std::cos(2 * s + v) + v * v); }

// ---------------------------------------------------------------- evaluation

TEST(BSplineSurfaceTest, BicubicPatchValuesAndGuardedEvaluation)
{
    const QvBSplineSurface s = Patch([](int, int) { return 0.0; });
    ASSERT_TRUE(s.CanEvaluate());
    ExpectPointNear(s.Evaluate(0.5, 0.5), QvPoint(1.5, 1.5, 0), 1e-15);
    ExpectPointNear(s.Evaluate(0.0, 0.0), s.m_ctrlNet[0][0], 0.0);
    ExpectPointNear(s.Evaluate(1.0, 1.0), s.m_ctrlNet[3][3], 0.0);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double in = 0.25;
    const double cases[][2] = {{1.0000001, 0.5}, {0.5, -1e-9}, {nan, 0.5}, {0.5, nan}};
    for (const auto& tc : cases)
    {
        QvPoint out(9, 9, 9);
        EXPECT_FALSE(s.GetPoint(out, &tc[0], &tc[1])) << tc[0] << " " << tc[1];
        ExpectPointNear(out, QvPoint(), 0.0);
    }
    QvPoint out(9, 9, 9);
    EXPECT_FALSE(s.GetPoint(out, nullptr, &in));
    EXPECT_FALSE(s.GetPoint(out, &in, nullptr));
    ASSERT_TRUE(s.GetPoint(out, &in, &in));
    ExpectPointNear(out, QvPoint(0.75, 0.75, 0), 1e-15);

    // A new surface, or one whose knots do not fit its net, evaluates to the origin.
    QvBSplineSurface empty;
    EXPECT_FALSE(empty.CanEvaluate());
    ExpectPointNear(empty.Evaluate(0.5, 0.5), QvPoint(), 0.0);
    QvBSplineSurface bad = s;
    bad.m_vKnots.m_values.pop_back();
    EXPECT_FALSE(bad.CanEvaluate());
    ExpectPointNear(bad.Evaluate(0.5, 0.5), QvPoint(), 0.0);
}

TEST(BSplineSurfaceTest, MixedDerivativeOfABilinearHeight)
{
    // S(u, v) = (3u, 3v, 9uv).
    const QvBSplineSurface s = Patch([](int i, int j) { return static_cast<double>(i * j); });
    QvPoint p;
    std::vector<QvVector> d;
    ASSERT_TRUE(s.EvaluateDerivatives(1, 1, p, d, 0.5, 0.5));
    ExpectPointNear(p, QvPoint(1.5, 1.5, 2.25), 1e-14);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_NEAR(d[0][0], 0.0, 1e-13);
    EXPECT_NEAR(d[0][1], 0.0, 1e-13);
    EXPECT_NEAR(d[0][2], 9.0, 1e-13);

    // Orders above the degree are zero; order 0 in a direction gives no list.
    ASSERT_TRUE(s.EvaluateDerivatives(4, 1, p, d, 0.3, 0.6));
    ASSERT_EQ(d.size(), 4u);
    EXPECT_NEAR(d[3].Length(), 0.0, 0.0);
    ASSERT_TRUE(s.EvaluateDerivatives(0, 2, p, d, 0.3, 0.6));
    EXPECT_TRUE(d.empty());
    ExpectPointNear(p, s.Evaluate(0.3, 0.6), 1e-14);
}

// Tensor product of Eigen's basis-function derivatives: an oracle for every mixed partial.
QvVector EigenMixed(const QvBSplineSurface& s, int i, int j, double u, double v)
{
    using Spline = Eigen::Spline<double, 3>;
    Spline::KnotVectorType ku(s.m_uKnots.Size());
    Spline::KnotVectorType kv(s.m_vKnots.Size());
    for (int k = 0; k < s.m_uKnots.Size(); ++k)
        ku(k) = s.m_uKnots[k];
    for (int k = 0; k < s.m_vKnots.Size(); ++k)
        kv(k) = s.m_vKnots[k];
    const int p = s.m_uDegree;
    const int q = s.m_vDegree;
    const auto du = Spline::BasisFunctionDerivatives(u, i, p, ku);
    const auto dv = Spline::BasisFunctionDerivatives(v, j, q, kv);
    const auto su = static_cast<int>(Spline::Span(u, p, ku));
    const auto sv = static_cast<int>(Spline::Span(v, q, kv));
    QvVector r;
    for (int a = 0; a <= p; ++a)
        for (int b = 0; b <= q; ++b)
        {
            const double w = du(i, a) * dv(j, b);
            const QvPoint& P = s.m_ctrlNet[su - p + a][sv - q + b];
            r += QvVector(P[0], P[1], P[2]) * w;
        }
    return r;
}

TEST(BSplineSurfaceTest, DerivativesAgreeWithEigenAndFiniteDifferences)
{
    qvtest::Rng rng(21);
    const struct
    {
        int p;
        int q;
        std::vector<double> uInner;
        std::vector<double> vInner;
    } cases[] = {
        {3, 3, {0.2, 0.5, 0.7}, {0.4}},
        {2, 3, {0.3, 0.3, 0.6}, {0.25, 0.5, 0.75}},
        {3, 1, {0.5}, {0.1, 0.9}},
        {4, 2, {}, {0.5, 0.5}},
    };
    for (const auto& tc : cases)
    {
        const QvBSplineSurface s = RandomSurface(rng, tc.p, tc.q, tc.uInner, tc.vInner);
        for (int sample = 0; sample < 20; ++sample)
        {
            const double u = qvtest::Uniform(rng, 0.01, 0.99);
            const double v = qvtest::Uniform(rng, 0.01, 0.99);
            QvPoint point;
            std::vector<QvVector> d;
            ASSERT_TRUE(s.EvaluateDerivatives(tc.p, tc.q, point, d, u, v));
            ASSERT_EQ(d.size(), static_cast<std::size_t>(tc.p * tc.q));
            const QvVector p0 = EigenMixed(s, 0, 0, u, v);
            ExpectPointNear(point, QvPoint(p0[0], p0[1], p0[2]), 1e-12);
            ExpectPointNear(s.Evaluate(u, v), point, 1e-14);
            for (int i = 1; i <= tc.p; ++i)
                for (int j = 1; j <= tc.q; ++j)
                {
                    const QvVector want = EigenMixed(s, i, j, u, v);
                    const QvVector got = d[static_cast<std::size_t>((i - 1) * tc.q + (j - 1))];
                    const double scale = 1.0 + want.Length();
                    EXPECT_LT((got - want).Length() / scale, 1e-10) << "order " << i << "," << j;
                }
            // The mixed first derivative by a central difference, away from knots.
            const double h = 1e-5;
            const QvPoint a = s.Evaluate(u + h, v + h);
            const QvPoint b = s.Evaluate(u + h, v - h);
            const QvPoint c = s.Evaluate(u - h, v + h);
            const QvPoint e = s.Evaluate(u - h, v - h);
            bool nearKnot = false;
            for (double k : s.m_uKnots.m_values)
                nearKnot = nearKnot || std::fabs(k - u) < 2 * h;
            for (double k : s.m_vKnots.m_values)
                nearKnot = nearKnot || std::fabs(k - v) < 2 * h;
            if (nearKnot)
                continue;
            for (int k = 0; k < 3; ++k)
            {
                const double fd = ((a[k] - b[k]) - (c[k] - e[k])) / (4 * h * h);
                EXPECT_NEAR(d[0][k], fd, 1e-4 * (1.0 + std::fabs(fd)));
            }
        }
    }
}

// ---------------------------------------------------------------- iso-curves

TEST(BSplineSurfaceTest, IsoCurvesFollowTheSurface)
{
    qvtest::Rng rng(22);
    const QvBSplineSurface s = RandomSurface(rng, 3, 2, {0.3, 0.6}, {0.5});
    for (double fixed : {0.0, 0.37, 0.5, 1.0})
    {
        const Curve uIso(s.GetUIsoCurve(&fixed));
        const Curve vIso(s.GetVIsoCurve(&fixed));
        ASSERT_TRUE(uIso);
        ASSERT_TRUE(vIso);
        EXPECT_EQ(uIso->m_degree, 3);
        EXPECT_EQ(vIso->m_degree, 2);
        EXPECT_FALSE(uIso->m_closed);
        for (int i = 0; i <= 20; ++i)
        {
            const double t = i / 20.0;
            ExpectPointNear(uIso->Evaluate(t), s.Evaluate(t, fixed), 1e-14);
            ExpectPointNear(vIso->Evaluate(t), s.Evaluate(fixed, t), 1e-14);
        }
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double bad : {-0.1, 1.0000001, nan})
    {
        EXPECT_EQ(Curve(s.GetUIsoCurve(&bad)), nullptr);
        EXPECT_EQ(Curve(s.GetVIsoCurve(&bad)), nullptr);
    }
    EXPECT_EQ(Curve(s.GetUIsoCurve(nullptr)), nullptr);
}

// ---------------------------------------------------------------- four boundaries

// The straight cubic from a to b with evenly spaced control points.
QvBSplineCurve Edge(const QvPoint& a, const QvPoint& b, std::vector<double> inner = {})
{
    std::vector<double> knots = ClampedKnots(3, inner);
    const std::size_t n = knots.size() - 4;
    std::vector<QvPoint> ctrl;
    for (std::size_t i = 0; i < n; ++i)
    {
        // Greville abscissae keep a straight cubic uniformly parameterised.
        const double g = (knots[i + 1] + knots[i + 2] + knots[i + 3]) / 3.0;
        ctrl.push_back(a + (b - a) * g);
    }
    return QvBSplineCurve(knots, ctrl, 3, false);
}

TEST(BSplineSurfaceTest, FromBoundaryCurvesOfTheUnitSquareIsFlat)
{
    const QvBSplineCurve c0 = Edge({0, 0, 0}, {0, 1, 0});
    const QvBSplineCurve c1 = Edge({0, 0, 0}, {1, 0, 0});
    const QvBSplineCurve c2 = Edge({1, 0, 0}, {1, 1, 0});
    const QvBSplineCurve c3 = Edge({0, 1, 0}, {1, 1, 0});
    const Surface s(QvBSplineSurface::FromBoundaryCurves(&c0, &c1, &c2, &c3));
    ASSERT_TRUE(s);
    ASSERT_TRUE(s->CanEvaluate());
    EXPECT_EQ(s->m_ctrlNet.size(), 13u);
    EXPECT_EQ(s->m_ctrlNet[0].size(), 13u);
    for (int i = 0; i <= 10; ++i)
        for (int j = 0; j <= 10; ++j)
            ExpectPointNear(s->Evaluate(i / 10.0, j / 10.0), QvPoint(i / 10.0, j / 10.0, 0.0), 1e-14);
    // The inputs are borrowed, not refined.
    EXPECT_EQ(c0.m_ctrlPoints.size(), 4u);

    // The iso-curve v = 0 is the refined c1.
    QvBSplineCurve refined = c1;
    for (int k = 1; k <= 9; ++k)
        ASSERT_TRUE(refined.InsertKnot(false, k * 0.1));
    const double zero = 0.0;
    const Curve iso(s->GetUIsoCurve(&zero));
    ASSERT_TRUE(iso);
    ASSERT_EQ(iso->m_ctrlPoints.size(), refined.m_ctrlPoints.size());
    for (std::size_t i = 0; i < refined.m_ctrlPoints.size(); ++i)
        ExpectPointNear(iso->m_ctrlPoints[i], refined.m_ctrlPoints[i], 1e-14);
}

TEST(BSplineSurfaceTest, FromBoundaryCurvesRefinesOnlyWhereNoKnotIs)
{
    const QvBSplineCurve c0 = Edge({0, 0, 0}, {0, 1, 0}, {0.5});
    const QvBSplineCurve c1 = Edge({0, 0, 0}, {1, 0, 0});
    const QvBSplineCurve c2 = Edge({1, 0, 0}, {1, 1, 0});
    const QvBSplineCurve c3 = Edge({0, 1, 0}, {1, 1, 0}, {0.25});
    const Surface s(QvBSplineSurface::FromBoundaryCurves(&c0, &c1, &c2, &c3));
    ASSERT_TRUE(s);
    // v: 0.5 from c0 (c2 gains it), then 8 of the nine; u: 0.25 from c3, then all nine.
    EXPECT_EQ(s->m_ctrlNet[0].size(), 4u + 1 + 8);
    EXPECT_EQ(s->m_ctrlNet.size(), 4u + 1 + 9);
    for (int i = 0; i <= 8; ++i)
        for (int j = 0; j <= 8; ++j)
            ExpectPointNear(s->Evaluate(i / 8.0, j / 8.0), QvPoint(i / 8.0, j / 8.0, 0.0), 1e-13);
}

QvPoint Dome(double u, double v) { return QvPoint(u, v, 0.5 * std::sin(3 * u) * std::cos(2 * v) + u * v); }

TEST(BSplineSurfaceTest, FromBoundaryCurvesInterpolatesCurvedBoundaries)
{
    auto boundary = [](bool alongU, double fixed) {
        std::vector<QvPoint> pts;
        for (int i = 0; i <= 8; ++i)
            pts.push_back(alongU ? Dome(i / 8.0, fixed) : Dome(fixed, i / 8.0));
        return Curve(QvBSplineCurve::Interpolate(pts, false));
    };
    const Curve c0 = boundary(false, 0.0);
    const Curve c1 = boundary(true, 0.0);
    const Curve c2 = boundary(false, 1.0);
    const Curve c3 = boundary(true, 1.0);
    const Surface s(QvBSplineSurface::FromBoundaryCurves(c0.get(), c1.get(), c2.get(), c3.get()));
    ASSERT_TRUE(s);
    ASSERT_TRUE(NetFinite(*s));
    for (int i = 0; i <= 20; ++i)
    {
        const double t = i / 20.0;
        ExpectPointNear(s->Evaluate(0.0, t), c0->Evaluate(t), 1e-12);
        ExpectPointNear(s->Evaluate(t, 0.0), c1->Evaluate(t), 1e-12);
        ExpectPointNear(s->Evaluate(1.0, t), c2->Evaluate(t), 1e-12);
        ExpectPointNear(s->Evaluate(t, 1.0), c3->Evaluate(t), 1e-12);
    }
}

TEST(BSplineSurfaceTest, FromBoundaryCurvesRefusesMissingOrNonCubicBoundaries)
{
    const QvBSplineCurve c0 = Edge({0, 0, 0}, {0, 1, 0});
    const QvBSplineCurve c1 = Edge({0, 0, 0}, {1, 0, 0});
    const QvBSplineCurve c2 = Edge({1, 0, 0}, {1, 1, 0});
    const QvBSplineCurve c3 = Edge({0, 1, 0}, {1, 1, 0});
    const QvBSplineCurve quadratic({0, 0, 0, 1, 1, 1}, {{1, 0, 0}, {1, 0.5, 0}, {1, 1, 0}}, 2, false);
    const QvBSplineCurve broken({0, 0, 1}, {{1, 0, 0}}, 3, false);
    const QvBSplineCurve* cases[][4] = {
        {nullptr, &c1, &c2, &c3}, {&c0, nullptr, &c2, &c3}, {&c0, &c1, nullptr, &c3}, {&c0, &c1, &c2, nullptr},
        {&c0, &c1, &quadratic, &c3}, {&c0, &c1, &broken, &c3},
    };
    for (const auto& tc : cases)
        EXPECT_EQ(Surface(QvBSplineSurface::FromBoundaryCurves(tc[0], tc[1], tc[2], tc[3])), nullptr);
}

// ---------------------------------------------------------------- skinning

// The skinning parameters, computed independently: the rows' chord-length parameters averaged.
std::vector<double> SkinParameters(const std::vector<QvBSplineCurve*>& curves)
{
    const std::size_t K = curves.size();
    const std::size_t n = curves[0]->m_ctrlPoints.size();
    std::vector<double> w(K, 0.0);
    for (std::size_t j = 0; j < n; ++j)
    {
        std::vector<double> d(K, 0.0);
        double total = 0.0;
        for (std::size_t k = 1; k < K; ++k)
            total += d[k] = curves[k]->m_ctrlPoints[j].Distance(curves[k - 1]->m_ctrlPoints[j]);
        double run = 0.0;
        for (std::size_t k = 1; k < K; ++k)
        {
            run += d[k];
            w[k] += run / total;
        }
    }
    for (std::size_t k = 1; k + 1 < K; ++k)
        w[k] /= static_cast<double>(n);
    w[K - 1] = 1.0;
    return w;
}

TEST(BSplineSurfaceTest, SkinDegreeFollowsTheCurveCount)
{
    const struct
    {
        int curves;
        int q;
    } cases[] = {{2, 1}, {3, 2}, {4, 3}, {5, 3}};
    for (const auto& tc : cases)
    {
        std::vector<Curve> owned;
        std::vector<QvBSplineCurve*> list;
        for (int k = 0; k < tc.curves; ++k)
        {
            owned.push_back(CurveThrough(Wave, static_cast<double>(k) / (tc.curves - 1)));
            list.push_back(owned.back().get());
        }
        const Surface s(QvBSplineSurface::Skin(list));
        ASSERT_TRUE(s) << tc.curves;
        EXPECT_EQ(s->m_uDegree, 3);
        EXPECT_EQ(s->m_vDegree, tc.q);
        EXPECT_EQ(s->m_ctrlNet[0].size(), static_cast<std::size_t>(tc.curves));
        if (tc.curves == 2)
        {
            EXPECT_EQ(s->m_vKnots.m_values, (std::vector<double>{0, 0, 1, 1}));
            // Ruled: halfway between the curves at every u.
            for (int i = 0; i <= 10; ++i)
            {
                const QvPoint a = list[0]->Evaluate(i / 10.0);
                const QvPoint b = list[1]->Evaluate(i / 10.0);
                ExpectPointNear(s->Evaluate(i / 10.0, 0.5), QvPoint((a[0] + b[0]) / 2, (a[1] + b[1]) / 2,
                                                                    (a[2] + b[2]) / 2),
                                1e-12);
            }
        }
    }
}

TEST(BSplineSurfaceTest, SkinReproducesEveryCurve)
{
    for (int K : {3, 4, 6})
    {
        std::vector<Curve> owned;
        std::vector<QvBSplineCurve*> list;
        for (int k = 0; k < K; ++k)
        {
            // Different sample counts give different knot vectors, which skinning makes common.
            owned.push_back(CurveThrough(Wave, static_cast<double>(k) / (K - 1), 6 + k));
            list.push_back(owned.back().get());
        }
        std::vector<QvBSplineCurve> originals;
        for (const QvBSplineCurve* c : list)
            originals.push_back(*c);
        const Surface s(QvBSplineSurface::Skin(list));
        ASSERT_TRUE(s) << K;
        ASSERT_TRUE(NetFinite(*s));
        // The input curves were refined in place to one knot vector, without changing shape.
        for (int k = 0; k < K; ++k)
        {
            EXPECT_EQ(list[k]->m_knots.m_values, s->m_uKnots.m_values);
            for (int i = 0; i <= 20; ++i)
                ExpectPointNear(list[k]->Evaluate(i / 20.0), originals[k].Evaluate(i / 20.0), 1e-12);
        }
        const std::vector<double> w = SkinParameters(list);
        for (int k = 0; k < K; ++k)
            for (int i = 0; i <= 40; ++i)
                ExpectPointNear(s->Evaluate(i / 40.0, w[k]), list[k]->Evaluate(i / 40.0), 1e-9);
    }
}

TEST(BSplineSurfaceTest, SkinRefusesDegenerateInput)
{
    const Curve a = CurveThrough(Wave, 0.0);
    const Curve b = CurveThrough(Wave, 0.5);
    const Curve c = CurveThrough(Wave, 1.0);
    QvBSplineCurve quadratic({0, 0, 0, 1, 1, 1}, {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}}, 2, false);
    QvBSplineCurve copyOfB = *b;
    QvBSplineCurve twiceKnotted({0, 0, 0, 0, 0.5, 0.5, 1, 1, 1, 1},
                                {{0, 9, 0}, {1, 9, 1}, {2, 9, 0}, {3, 9, 1}, {4, 9, 0}, {5, 9, 0}}, 3, false);
    QvBSplineCurve onceKnotted({0, 0, 0, 0, 0.5, 1, 1, 1, 1}, {{0, 8, 0}, {1, 8, 1}, {2, 8, 0}, {3, 8, 1}, {4, 8, 0}},
                               3, false);
    const struct
    {
        const char* what;
        std::vector<QvBSplineCurve*> list;
    } cases[] = {
        {"none", {}},
        {"one", {a.get()}},
        {"missing", {a.get(), nullptr, c.get()}},
        {"mixed degrees", {a.get(), &quadratic}},
        {"coincident curves", {a.get(), b.get(), &copyOfB, c.get()}},
        {"multiplicities differ", {&onceKnotted, &twiceKnotted}},
    };
    for (const auto& tc : cases)
        EXPECT_EQ(Surface(QvBSplineSurface::Skin(tc.list)), nullptr) << tc.what;
    // A mixed-degree list leaves the curves as they were.
    EXPECT_EQ(quadratic.m_knots.Size(), 6);
}

// ---------------------------------------------------------------- sweep and tube

TEST(BSplineSurfaceTest, SweepCarriesTheProfileRigidly)
{
    const QvBSplineCurve profile({0, 0, 0, 0, 1, 1, 1, 1}, {{0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 2}}, 3, false);
    // A path that runs along x, then bends up towards z.
    const QvBSplineCurve path({0, 0, 0, 0, 0.5, 1, 1, 1, 1}, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 1}, {3, 0, 3}},
                              3, false);
    const Surface s(QvBSplineSurface::Sweep(&profile, &path));
    ASSERT_TRUE(s);
    ASSERT_EQ(s->m_ctrlNet.size(), 5u);
    ASSERT_EQ(s->m_ctrlNet[0].size(), 4u);
    EXPECT_EQ(s->m_uKnots.m_values, path.m_knots.m_values);
    EXPECT_EQ(s->m_vKnots.m_values, profile.m_knots.m_values);
    // Rows 0 to 2: translated along the straight part.
    for (int a = 0; a <= 2; ++a)
        for (int k = 0; k < 4; ++k)
            ExpectPointNear(s->m_ctrlNet[a][k], profile.m_ctrlPoints[k] + QvVector(a, 0, 0), 1e-14);
    // Every row keeps the profile's shape: distances between its points are preserved.
    for (const auto& row : s->m_ctrlNet)
        for (int k = 1; k < 4; ++k)
            EXPECT_NEAR(row[k].Distance(row[0]), profile.m_ctrlPoints[k].Distance(profile.m_ctrlPoints[0]), 1e-12);
    // The last row stands across the path's last leg (along z): the profile's x = 0 plane turned
    // into a plane z = const.
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(s->m_ctrlNet[4][k][2], 3.0, 1e-12);

    const QvBSplineCurve stub({0, 1}, {{0, 0, 0}}, 0, false);
    EXPECT_EQ(Surface(QvBSplineSurface::Sweep(&profile, &stub)), nullptr);
    EXPECT_EQ(Surface(QvBSplineSurface::Sweep(nullptr, &path)), nullptr);
    EXPECT_EQ(Surface(QvBSplineSurface::Sweep(&profile, nullptr)), nullptr);
}

TEST(BSplineSurfaceTest, TubeAroundAStraightPath)
{
    const QvBSplineCurve path({0, 0, 1, 1}, {{0, 0, 0}, {0, 0, 5}}, 1, false);
    const double r = 0.8;
    const QvCircle circle(QvPoint(0, 0, 0), r, QvVector(0, 0, 1));
    const Surface s(QvBSplineSurface::Tube(circle, &path));
    ASSERT_TRUE(s);
    ASSERT_TRUE(NetFinite(*s));
    EXPECT_EQ(s->m_uDegree, 1);
    EXPECT_EQ(s->m_vDegree, 3);
    for (int i = 0; i <= 10; ++i)
        for (int j = 0; j <= 40; ++j)
        {
            const QvPoint p = s->Evaluate(i / 10.0, j / 40.0);
            EXPECT_NEAR(std::hypot(p[0], p[1]), r, 5e-3);
            EXPECT_NEAR(p[2], 5.0 * i / 10.0, 1e-12);
        }
    // The profile starts at centre + r e1, e1 = (1, 0, 0), and turns towards e2 = (0, 1, 0).
    ExpectPointNear(s->Evaluate(0.0, 0.0), QvPoint(r, 0, 0), 5e-3);
    EXPECT_GT(s->Evaluate(0.0, 0.05)[1], 0.0);
}

TEST(BSplineSurfaceTest, TubeProfileAxesForANormalAlongY)
{
    // n = (0, 1, 0): n.x is 0, so e1 = (1, 0, 0) and e2 = n x e1 = (0, 0, -1).
    const QvBSplineCurve path({0, 0, 1, 1}, {{0, 0, 0}, {0, 4, 0}}, 1, false);
    const QvCircle circle(QvPoint(0, 0, 0), 1.0, QvVector(0, 1, 0));
    const Surface s(QvBSplineSurface::Tube(circle, &path));
    ASSERT_TRUE(s);
    ExpectPointNear(s->Evaluate(0.0, 0.0), QvPoint(1, 0, 0), 5e-3);
    EXPECT_LT(s->Evaluate(0.0, 0.05)[2], 0.0);
    EXPECT_EQ(Surface(QvBSplineSurface::Tube(circle, nullptr)), nullptr);
}

// ---------------------------------------------------------------- least squares

std::vector<QvPoint> HeightField(int nx, int ny, double (*z)(double, double))
{
    std::vector<QvPoint> pts;
    for (int i = 0; i < nx; ++i)
        for (int j = 0; j < ny; ++j)
        {
            const double x = 8.0 * i / (nx - 1);
            const double y = 5.0 * j / (ny - 1);
            pts.emplace_back(x, y, z(x, y));
        }
    return pts;
}

TEST(BSplineSurfaceTest, FitPointsApproximatesASmoothHeightField)
{
    const std::vector<QvPoint> pts = HeightField(41, 31, [](double x, double y) {
        return 0.3 * std::sin(0.5 * x) * std::cos(0.4 * y);
    });
    const Surface s(QvBSplineSurface::FitPoints(pts));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->m_ctrlNet.size(), 10u);
    EXPECT_EQ(s->m_ctrlNet[0].size(), 8u);
    EXPECT_TRUE(s->m_fitIndices.empty());
    ASSERT_EQ(s->m_uParams.size(), pts.size());
    double worst = 0.0;
    for (std::size_t h = 0; h < pts.size(); ++h)
        worst = std::max(worst, s->Evaluate(s->m_uParams[h], s->m_vParams[h]).Distance(pts[h]));
    EXPECT_LT(worst, 1e-3);
}

TEST(BSplineSurfaceTest, LeastSquaresFitReproducesAPlaneExactly)
{
    // A bicubic spline space holds every bilinear function: the fit has no error to leave.
    qvtest::Rng rng(23);
    std::vector<QvPoint> pts;
    std::vector<double> us;
    std::vector<double> vs;
    for (int h = 0; h < 600; ++h)
    {
        const double u = qvtest::Uniform(rng, 0.0, 1.0);
        const double v = qvtest::Uniform(rng, 0.0, 1.0);
        us.push_back(2.0 + 3.0 * u); // mapped back onto [0, 1] by the setters
        vs.push_back(-1.0 + v);
        pts.emplace_back(u + 2 * v, 3 * u - v, 1 + u - 4 * v + 0.5 * u * v);
    }
    QvBSplineSurface s(pts, {7, 8}, 0.25);
    s.SetUParameters(us);
    s.SetVParameters(vs);
    ASSERT_TRUE(s.Fit({1, 2, 3}, 0.5));
    EXPECT_EQ(s.m_fitIndices, (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(s.m_fitValue, 0.5);
    for (std::size_t h = 0; h < pts.size(); ++h)
        ExpectPointNear(s.Evaluate(s.m_uParams[h], s.m_vParams[h]), pts[h], 1e-9);
}

TEST(BSplineSurfaceTest, FittingFailures)
{
    EXPECT_EQ(Surface(QvBSplineSurface::FitPoints({{0, 0, 0}, {1, 0, 0}})), nullptr);
    // Points on the border of a rectangle only: the inner control points have no data in their
    // support, and the normal matrix is singular.
    std::vector<QvPoint> ring;
    for (int i = 0; i < 40; ++i)
    {
        const double t = i / 40.0;
        ring.emplace_back(10.0 * t, 0.0, 0.0);
        ring.emplace_back(10.0, 5.0 * t, 0.0);
        ring.emplace_back(10.0 * (1 - t), 5.0, 0.0);
        ring.emplace_back(0.0, 5.0 * (1 - t), 0.0);
    }
    EXPECT_EQ(Surface(QvBSplineSurface::FitPoints(ring)), nullptr);
    // Collinear points have no spread across the line.
    std::vector<QvPoint> line;
    for (int i = 0; i < 50; ++i)
        line.emplace_back(i, 2.0 * i, 0.0);
    EXPECT_EQ(Surface(QvBSplineSurface::FitPoints(line)), nullptr);

    QvBSplineSurface two({{0, 0, 0}, {1, 1, 1}}, {4, 5}, 1.0);
    EXPECT_FALSE(two.Fit({9}, 2.0));
    EXPECT_EQ(two.m_fitIndices, (std::vector<std::int32_t>{4, 5}));
    EXPECT_EQ(two.m_fitValue, 1.0);

    // Fewer points than control points: no knots, no fit, and a zero net of the asked size.
    QvBSplineSurface few({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}}, {}, 0.0);
    few.SetUParameters({0, 1, 0, 1});
    few.SetVParameters({0, 0, 1, 1});
    EXPECT_FALSE(few.Fit({}, 0.0));
    ASSERT_EQ(few.m_ctrlNet.size(), 10u);
    ExpectPointNear(few.m_ctrlNet[3][3], QvPoint(), 0.0);
}

TEST(BSplineSurfaceTest, ParameterSettersMapOntoTheUnitInterval)
{
    QvBSplineSurface s;
    s.SetUParameters({2.0, 4.0, 3.0});
    EXPECT_EQ(s.m_uParams, (std::vector<double>{0.0, 1.0, 0.5}));
    s.SetVParameters({5.0, 5.0});
    EXPECT_EQ(s.m_vParams, (std::vector<double>{0.0, 0.0}));
    s.SetVParameters({});
    EXPECT_TRUE(s.m_vParams.empty());
}

TEST(BSplineSurfaceTest, TransformMovesNetAndDataPointsOnlyWithANet)
{
    QvMatrix shift(4, 4);
    shift.SetIdentity();
    shift[0][3] = 1.0;
    shift[2][3] = -2.0;

    QvBSplineSurface empty({{1, 1, 1}}, {}, 0.0);
    empty.Transform(shift);
    ExpectPointNear(empty.m_dataPoints[0], QvPoint(1, 1, 1), 0.0);

    QvBSplineSurface s = Patch([](int i, int j) { return static_cast<double>(i + j); });
    s.m_dataPoints = {{1, 1, 1}};
    const QvPoint before = s.Evaluate(0.3, 0.7);
    s.Transform(shift);
    ExpectPointNear(s.m_dataPoints[0], QvPoint(2, 1, -1), 1e-15);
    ExpectPointNear(s.Evaluate(0.3, 0.7), before + QvVector(1, 0, -2), 1e-14);
}

} // namespace
