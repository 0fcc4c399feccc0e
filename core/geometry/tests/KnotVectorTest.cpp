// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <unsupported/Eigen/Splines>
#include <vector>

#include "core/geometry/QvKnotVector.h"
#include "core/geometry/QvNurbsHelper.h"
#include "testing/PointSets.h"

namespace {

QvKnotVector Knots(std::vector<double> values)
{
    QvKnotVector k;
    k.m_values = std::move(values);
    return k;
}

void ExpectKnots(const QvKnotVector& k, const std::vector<double>& expected, double tol = 1e-15)
{
    ASSERT_EQ(k.m_values.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(k.m_values[i], expected[i], tol) << "knot " << i;
}

TEST(KnotVectorFindSpan, InsideOnKnotsAndOutsideTheDomain)
{
    const QvKnotVector k = Knots({0, 0, 0, 0, 0.5, 1, 1, 1, 1});
    const double inf = std::numeric_limits<double>::infinity();
    struct Case
    {
        double x;
        int span;
    } cases[] = {
        {0.0, 3},
        {0.25, 3},
        {0.5, 4}, // an inner knot belongs to the span on its right
        {0.4999999999, 3},
        {1.0, 4}, // the domain end belongs to the last span
        {1.0000000000000002, 4},
        {7.0, 4},
        {inf, 4},
        {-1e-17, 3},
        {-inf, 3},
        {std::nan(""), 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(k.FindSpan(3, c.x), c.span) << "x = " << c.x;
}

TEST(KnotVectorFindSpan, RepeatedKnotsAndShortVectors)
{
    const QvKnotVector k = Knots({0, 0, 0, 0.5, 0.5, 1, 1, 1});
    EXPECT_EQ(k.FindSpan(2, 0.5), 4);
    EXPECT_EQ(k.FindSpan(2, 0.49), 2);
    EXPECT_EQ(k.FindSpan(2, 1.0), 4);
    // Too few knots for the degree: answers p rather than reading outside.
    EXPECT_EQ(Knots({0, 1}).FindSpan(3, 0.5), 3);
    EXPECT_EQ(QvKnotVector().FindSpan(1, 0.5), 1);
}

TEST(KnotVectorRules, Interpolation)
{
    struct Case
    {
        std::vector<double> u;
        int p;
        bool closed;
        std::vector<double> knots;
    } cases[] = {
        {{0, 0.3, 0.7, 1}, 3, false, {0, 0, 0, 0, 1, 1, 1, 1}},
        {{0, 0.3, 0.7, 1}, 2, false, {0, 0, 0, 0.5, 1, 1, 1}},
        {{0, 0.25, 0.5, 0.75, 1}, 3, true, {0, 0, 0, 0, 0.25, 0.5, 0.75, 1, 1, 1, 1}},
        {{0, 1}, 1, false, {0, 0, 1, 1}},
        {{0, 0.5, 1}, 1, true, {0, 0, 0.5, 1, 1}},
        // Ends take the first and last parameter, not 0 and 1.
        {{2, 3, 5, 6}, 2, false, {2, 2, 2, 4, 6, 6, 6}},
    };
    for (const Case& c : cases)
    {
        QvKnotVector k;
        k.SetForInterpolation(c.u, c.p, c.closed);
        SCOPED_TRACE(c.knots.size());
        ExpectKnots(k, c.knots);
    }
    QvKnotVector k = Knots({1, 2});
    k.SetForInterpolation({}, 3, false);
    EXPECT_TRUE(k.m_values.empty());
}

TEST(KnotVectorRules, TangentInterpolation)
{
    const std::vector<double> u = {0, 0.2, 0.5, 0.7, 1};
    const double a0 = (0 + 0.2 + 0.5) / 3, a1 = (0.2 + 0.5 + 0.7) / 3, a2 = (0.5 + 0.7 + 1) / 3;
    struct Case
    {
        std::vector<std::int32_t> indices;
        std::vector<double> knots;
    } cases[] = {
        {{0, 4}, {0, 0, 0, 0, a0, a1, a2, 1, 1, 1, 1}},
        {{0}, {0, 0, 0, 0, a0, a1, 1, 1, 1, 1}},
        {{4}, {0, 0, 0, 0, a1, a2, 1, 1, 1, 1}},
        {{}, {0, 0, 0, 0, a1, 1, 1, 1, 1}}, // no condition: plain interpolation knots
        {{0, 2, 4}, {}},                    // more than two conditions are not supported
    };
    for (const Case& c : cases)
    {
        QvKnotVector k;
        k.SetForTangentInterpolation(u, 3, c.indices);
        SCOPED_TRACE(c.indices.size());
        ExpectKnots(k, c.knots);
    }
}

TEST(KnotVectorRules, Approximation)
{
    // m = n: every group is one parameter, the inner knots plain averages of p of them.
    const std::vector<double> u = {0, 0.1, 0.3, 0.6, 0.8, 1};
    QvKnotVector k;
    k.SetForApproximation(u, 6, 3);
    ExpectKnots(k, {0, 0, 0, 0, (0.1 + 0.3 + 0.6) / 3, (0.3 + 0.6 + 0.8) / 3, 1, 1, 1, 1});

    // Ten parameters in five groups of two: the inner knot averages three group means.
    const std::vector<double> v = {0, 0.05, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.95, 1};
    k.SetForApproximation(v, 5, 3);
    const double q1 = (0.2 + 0.3) / 2, q2 = (0.4 + 0.5) / 2, q3 = (0.6 + 0.7) / 2;
    ExpectKnots(k, {0, 0, 0, 0, (q1 + q2 + q3) / 3, 1, 1, 1, 1});

    // Fewer parameters than control points, or too few control points for the degree: nothing.
    k.SetForApproximation(u, 7, 3);
    EXPECT_TRUE(k.m_values.empty());
    k.SetForApproximation(u, 3, 3);
    EXPECT_TRUE(k.m_values.empty());
}

TEST(KnotVectorMerge, DifferenceKeepsMultiplicitiesAndTolerance)
{
    QvKnotVector a = Knots({0, 0, 1, 1});
    a.Merge(Knots({0, 0, 0.5, 1, 1}), 1);
    ExpectKnots(a, {0, 0, 0.5, 1, 1});

    QvKnotVector b = Knots({0, 0, 0.5, 1, 1});
    b.Merge(Knots({0, 0, 0.50000005, 1, 1}), 1);
    ExpectKnots(b, {0, 0, 0.5, 1, 1});

    QvKnotVector c = Knots({0, 0, 0, 0.5, 1, 1, 1});
    c.Merge(Knots({0, 0, 0, 0.25, 0.5, 0.5, 0.75, 1, 1, 1}), 2);
    ExpectKnots(c, {0, 0, 0, 0.25, 0.5, 0.5, 0.75, 1, 1, 1});

    // A knot outside this vector's range goes to its sorted place instead of a clamped span.
    QvKnotVector d = Knots({0, 0, 1, 1});
    d.Merge(Knots({0, 0, 1, 1, 2}), 1);
    ExpectKnots(d, {0, 0, 1, 1, 2});

    EXPECT_EQ(qvknots::MissingKnots({0, 1, 1}, {0, 0, 1}), std::vector<double>({0}));
    EXPECT_EQ(qvknots::MissingKnots({}, {0, 1}), std::vector<double>({0, 1}));
}

TEST(KnotVectorNormalize, MapsOntoUnitIntervalOrLeavesAlone)
{
    QvKnotVector k = Knots({2, 2, 3, 4, 4});
    k.InsertAfter(2, 3.5);
    k.Normalize();
    ExpectKnots(k, {0, 0, 0.5, 0.75, 1, 1});
    QvKnotVector flat = Knots({3, 3});
    flat.Normalize();
    ExpectKnots(flat, {3, 3});
    QvKnotVector empty;
    empty.Normalize();
    EXPECT_TRUE(empty.m_values.empty());
}

TEST(ChordLengthParameters, OpenClosedAndDegenerate)
{
    struct Case
    {
        std::vector<QvPoint> points;
        bool closed;
        std::vector<double> u;
    } cases[] = {
        {{{0, 0, 0}, {1, 0, 0}, {3, 0, 0}}, false, {0, 1.0 / 3, 1}},
        {{{0, 0, 0}, {1, 0, 0}, {3, 0, 0}}, true, {0, 1.0 / 6, 0.5, 1}},
        {{{1, 1, 1}}, false, {1}},
        {{{1, 1, 1}}, true, {0, 1}},
        {{}, false, {}},
        // No length at all: even spacing instead of 0/0.
        {{{2, 2, 2}, {2, 2, 2}, {2, 2, 2}, {2, 2, 2}}, false, {0, 1.0 / 3, 2.0 / 3, 1}},
    };
    for (const Case& c : cases)
    {
        std::vector<double> u = {42.0};
        QvNurbsHelper::ChordLengthParameters(c.points, c.closed, u);
        ASSERT_EQ(u.size(), c.u.size());
        for (std::size_t i = 0; i < u.size(); ++i)
            EXPECT_NEAR(u[i], c.u[i], 1e-15);
        if (!u.empty())
        {
            EXPECT_EQ(u.back(), 1.0);
        }
    }
}

// Random clamped knot vectors on [0, 1] with some repeated inner knots.
std::vector<double> RandomClampedKnots(qvtest::Rng& rng, int p, int nCtrl)
{
    std::vector<double> inner;
    while (static_cast<int>(inner.size()) < nCtrl - p - 1)
    {
        const double x = qvtest::Uniform(rng, 0.02, 0.98);
        inner.push_back(x);
        if (qvtest::Uniform(rng, 0, 1) < 0.2 && static_cast<int>(inner.size()) < nCtrl - p - 1 && p > 1)
            inner.push_back(x);
    }
    std::sort(inner.begin(), inner.end());
    std::vector<double> U(static_cast<std::size_t>(p + 1), 0.0);
    U.insert(U.end(), inner.begin(), inner.end());
    U.insert(U.end(), static_cast<std::size_t>(p + 1), 1.0);
    return U;
}

TEST(BasisFunctions, AgreeWithEigenAndPartitionUnity)
{
    qvtest::Rng rng(7);
    for (int trial = 0; trial < 200; ++trial)
    {
        const int p = 1 + trial % 5;
        const int nCtrl = p + 1 + static_cast<int>(qvtest::Uniform(rng, 0, 8));
        const QvKnotVector k = Knots(RandomClampedKnots(rng, p, nCtrl));
        Eigen::Array<double, 1, Eigen::Dynamic> ek(k.Size());
        for (int i = 0; i < k.Size(); ++i)
            ek(i) = k[i];
        const double t = trial % 17 == 0 ? 1.0 : qvtest::Uniform(rng, 0, 1);
        const int order = trial % (p + 3);

        std::vector<std::vector<double>> ders;
        int span = -2;
        QvNurbsHelper::BasisFunctions(k, p, order, ders, span, t);
        ASSERT_EQ(static_cast<int>(ders.size()), std::min(order, p) + 1);
        EXPECT_EQ(span, static_cast<int>(Eigen::Spline<double, 3>::Span(t, p, ek)));
        const auto oracle = Eigen::Spline<double, 3>::BasisFunctionDerivatives(t, std::min(order, p), p, ek);
        for (std::size_t r = 0; r < ders.size(); ++r)
        {
            ASSERT_EQ(static_cast<int>(ders[r].size()), p + 1);
            double sum = 0.0;
            double size = 0.0;
            for (int j = 0; j <= p; ++j)
            {
                const double e = oracle(static_cast<Eigen::Index>(r), j);
                EXPECT_NEAR(ders[r][j], e, 1e-12 * std::max(1.0, std::fabs(e))) << "p " << p << " r " << r;
                sum += ders[r][j];
                size += std::fabs(ders[r][j]);
            }
            // Values sum to one, every derivative row to zero.
            EXPECT_NEAR(sum, r == 0 ? 1.0 : 0.0, 1e-13 * (1.0 + size));
        }
    }
}

TEST(BasisFunctions, MalformedInputGivesNoRows)
{
    std::vector<std::vector<double>> ders = {{1.0}};
    int span = 0;
    QvNurbsHelper::BasisFunctions(Knots({0, 0, 1, 1}), 3, 1, ders, span, 0.5);
    EXPECT_TRUE(ders.empty());
    EXPECT_EQ(span, -1);
}

TEST(GaussLegendre, TableRulesAreExactToTheirOrder)
{
    std::vector<double> x, w;
    QvNurbsHelper::GaussLegendre(7, x, w);
    ASSERT_EQ(x.size(), 4u);
    EXPECT_EQ(x[0], -0.861136311594);
    EXPECT_EQ(x[1], -0.339981043585);
    EXPECT_EQ(w[1], 0.652145154863);
    EXPECT_NEAR(w[0] + w[1] + w[2] + w[3], 2.0, 1e-12);

    // Every order, inside the table and beyond it: count, order, and exactness for x^e, e <= order.
    for (int order : {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 30, 41})
    {
        QvNurbsHelper::GaussLegendre(order, x, w);
        const std::size_t c = order < 2 ? 1 : static_cast<std::size_t>(order / 2 + 1);
        ASSERT_EQ(x.size(), c) << order;
        ASSERT_EQ(w.size(), c);
        for (std::size_t i = 1; i < c; ++i)
            EXPECT_LT(x[i - 1], x[i]);
        for (int e = 0; e <= static_cast<int>(2 * c - 1); ++e)
        {
            double s = 0.0;
            for (std::size_t i = 0; i < c; ++i)
                s += w[i] * std::pow(x[i], e);
            const double exact = e % 2 == 1 ? 0.0 : 2.0 / (e + 1);
            EXPECT_NEAR(s, exact, 5e-11) << "order " << order << " power " << e;
        }
    }
}

} // namespace
