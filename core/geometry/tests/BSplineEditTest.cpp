// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
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

// Largest distance between the two curves over n+1 evenly spaced parameters of [0, 1].
double MaxDeviation(const QvBSplineCurve& a, const QvBSplineCurve& b, int n = 200)
{
    double worst = 0.0;
    for (int i = 0; i <= n; ++i)
    {
        const double t = static_cast<double>(i) / n;
        worst = std::max(worst, a.Evaluate(t).Distance(b.Evaluate(t)));
    }
    return worst;
}

QvBSplineCurve Bezier()
{
    return QvBSplineCurve({0, 0, 0, 0, 1, 1, 1, 1}, {{0, 0, 0}, {1, 2, 0}, {3, 2, 1}, {4, 0, 0}}, 3, false);
}

// Clamped curve on [0, 1] of degree p with random control points in [-1, 1]^3 and random inner
// knots, some of them repeated.
QvBSplineCurve RandomCurve(qvtest::Rng& rng, int p, int inner)
{
    std::vector<double> values;
    for (int i = 0; i < inner; ++i)
    {
        const double x = qvtest::Uniform(rng, 0.02, 0.98);
        values.push_back(x);
        if (p > 1 && qvtest::Uniform(rng, 0.0, 1.0) < 0.2)
            values.push_back(x);
    }
    std::sort(values.begin(), values.end());
    std::vector<double> knots(static_cast<std::size_t>(p) + 1, 0.0);
    knots.insert(knots.end(), values.begin(), values.end());
    knots.insert(knots.end(), static_cast<std::size_t>(p) + 1, 1.0);
    const std::size_t n = knots.size() - static_cast<std::size_t>(p) - 1;
    std::vector<QvPoint> ctrl;
    for (std::size_t i = 0; i < n; ++i)
        ctrl.emplace_back(qvtest::Uniform(rng, -1, 1), qvtest::Uniform(rng, -1, 1), qvtest::Uniform(rng, -1, 1));
    return QvBSplineCurve(knots, ctrl, p, false);
}

// Closed cubic through n points of an ellipse.
Curve ClosedEllipse(int n)
{
    std::vector<QvPoint> pts;
    for (int i = 0; i < n; ++i)
    {
        const double a = 6.283185307179586 * i / n;
        pts.emplace_back(3.0 * std::cos(a), 2.0 * std::sin(a), 0.3 * std::sin(2 * a));
    }
    return Curve(QvBSplineCurve::Interpolate(pts, true));
}

// ---------------------------------------------------------------- insertion

TEST(BSplineEditTest, InsertKnotIntoBezierThenRefusesBeyondMultiplicity)
{
    QvBSplineCurve c = Bezier();
    const QvBSplineCurve before = c;
    ASSERT_TRUE(c.InsertKnot(false, 0.5));
    EXPECT_EQ(c.m_knots.m_values, (std::vector<double>{0, 0, 0, 0, 0.5, 1, 1, 1, 1}));
    EXPECT_EQ(c.m_ctrlPoints.size(), 5u);
    EXPECT_LT(MaxDeviation(c, before), 1e-14);

    EXPECT_FALSE(c.InsertKnot(false, 0.5));
    EXPECT_TRUE(c.InsertKnot(true, 0.5));
    EXPECT_TRUE(c.InsertKnot(true, 0.5));
    EXPECT_FALSE(c.InsertKnot(true, 0.5)); // multiplicity 3 = p
    EXPECT_EQ(c.m_knots.Size(), 11);
    EXPECT_EQ(c.m_ctrlPoints.size(), 7u);
    // At multiplicity p the curve passes through a control point.
    ExpectPointNear(c.m_ctrlPoints[3], before.Evaluate(0.5), 1e-14);
    EXPECT_LT(MaxDeviation(c, before), 1e-14);
}

TEST(BSplineEditTest, InsertKnotSnapsToANearbyKnot)
{
    QvBSplineCurve c({0, 0, 0, 0, 0.5, 1, 1, 1, 1}, {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}, {4, 0, 0}}, 3, false);
    // The exact-value test sees 0.50000005, so even without force it goes in, as 0.5.
    ASSERT_TRUE(c.InsertKnot(false, 0.50000005));
    EXPECT_EQ(c.m_knots.m_values, (std::vector<double>{0, 0, 0, 0, 0.5, 0.5, 1, 1, 1, 1}));
}

TEST(BSplineEditTest, InsertKnotRefusalsLeaveTheCurveUnchanged)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct
    {
        double x;
        bool force;
    } cases[] = {{0.0, true}, {1.0, true}, {-0.25, true}, {1.5, true}, {nan, true}, {0.5, false}};
    for (const auto& tc : cases)
    {
        QvBSplineCurve c({0, 0, 0, 0, 0.5, 1, 1, 1, 1}, {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}, {4, 0, 0}}, 3,
                         false);
        const QvBSplineCurve before = c;
        EXPECT_FALSE(c.InsertKnot(tc.force, tc.x)) << tc.x;
        EXPECT_EQ(c.m_knots.m_values, before.m_knots.m_values);
        EXPECT_EQ(c.m_ctrlPoints.size(), before.m_ctrlPoints.size());
    }
    // A curve that cannot be evaluated takes no knot.
    QvBSplineCurve broken({0, 0, 1, 1}, {{0, 0, 0}}, 3, false);
    EXPECT_FALSE(broken.InsertKnot(true, 0.5));
}

TEST(BSplineEditTest, ManyInsertionsKeepTheShape)
{
    qvtest::Rng rng(11);
    for (int trial = 0; trial < 40; ++trial)
    {
        const int p = 1 + trial % 5;
        QvBSplineCurve c = RandomCurve(rng, p, 1 + trial % 7);
        const QvBSplineCurve original = c;
        int inserted = 0;
        for (int k = 0; k < 60; ++k)
        {
            // Fresh values, and existing knots again with force.
            double x = qvtest::Uniform(rng, 0.0, 1.0);
            const bool again = k % 3 == 0;
            if (again)
            {
                const int i = static_cast<int>(qvtest::Uniform(rng, p + 1, c.m_knots.Size() - p - 1));
                x = c.m_knots[std::min(i, c.m_knots.Size() - p - 2)];
            }
            if (c.InsertKnot(again, x))
                ++inserted;
            ASSERT_EQ(c.m_knots.Size(), static_cast<int>(c.m_ctrlPoints.size()) + p + 1);
            ASSERT_TRUE(std::is_sorted(c.m_knots.m_values.begin(), c.m_knots.m_values.end()));
        }
        EXPECT_GT(inserted, 30);
        EXPECT_LT(MaxDeviation(c, original, 500), 1e-12) << "degree " << p;
    }
}

// ---------------------------------------------------------------- removal

TEST(BSplineEditTest, RemoveKnotUndoesAnInsertion)
{
    qvtest::Rng rng(12);
    for (int trial = 0; trial < 40; ++trial)
    {
        const int p = 1 + trial % 5;
        QvBSplineCurve c = RandomCurve(rng, p, trial % 6);
        const QvBSplineCurve original = c;
        const double x = qvtest::Uniform(rng, 0.05, 0.95);
        if (!c.InsertKnot(false, x))
            continue;
        ASSERT_TRUE(c.RemoveKnot(x, 1e-9)) << "degree " << p << " at " << x;
        ASSERT_EQ(c.m_knots.m_values.size(), original.m_knots.m_values.size());
        for (std::size_t i = 0; i < c.m_knots.m_values.size(); ++i)
            EXPECT_EQ(c.m_knots.m_values[i], original.m_knots.m_values[i]);
        ASSERT_EQ(c.m_ctrlPoints.size(), original.m_ctrlPoints.size());
        for (std::size_t i = 0; i < c.m_ctrlPoints.size(); ++i)
            ExpectPointNear(c.m_ctrlPoints[i], original.m_ctrlPoints[i], 1e-10);
    }
}

TEST(BSplineEditTest, RemoveKnotOfAForcedMultiplicity)
{
    QvBSplineCurve c = Bezier();
    const QvBSplineCurve original = c;
    ASSERT_TRUE(c.InsertKnot(false, 0.3));
    ASSERT_TRUE(c.InsertKnot(true, 0.3));
    ASSERT_TRUE(c.RemoveKnot(0.3, 1e-9));
    ASSERT_TRUE(c.RemoveKnot(0.3, 1e-9));
    EXPECT_EQ(c.m_knots.m_values, original.m_knots.m_values);
    EXPECT_LT(MaxDeviation(c, original), 1e-12);
}

TEST(BSplineEditTest, RemoveKnotRefusals)
{
    // A knot with a kink behind it carries shape.
    const QvBSplineCurve kinked({0, 0, 0.5, 1, 1}, {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}}, 1, false);
    const struct
    {
        double u;
        double tol;
    } cases[] = {
        {0.5, 1e-3},                                     // shape knot, small tolerance
        {0.0, 10.0},                                     // domain ends
        {1.0, 10.0},
        {0.3, 10.0},                                     // not a knot
        {std::numeric_limits<double>::quiet_NaN(), 10.0},
    };
    for (const auto& tc : cases)
    {
        QvBSplineCurve c = kinked;
        EXPECT_FALSE(c.RemoveKnot(tc.u, tc.tol)) << tc.u;
        EXPECT_EQ(c.m_knots.m_values, kinked.m_knots.m_values);
        EXPECT_EQ(c.m_ctrlPoints.size(), kinked.m_ctrlPoints.size());
        ExpectPointNear(c.m_ctrlPoints[1], kinked.m_ctrlPoints[1], 0.0);
    }
    // With a tolerance above the kink's height it goes: the straight line from end to end.
    QvBSplineCurve c = kinked;
    ASSERT_TRUE(c.RemoveKnot(0.5, 1.5));
    EXPECT_EQ(c.m_knots.m_values, (std::vector<double>{0, 0, 1, 1}));
    ExpectPointNear(c.Evaluate(0.5), QvPoint(1, 0, 0), 1e-12);
}

// ---------------------------------------------------------------- pieces

TEST(BSplineEditTest, ExtractWholeAndMiddleOfABezier)
{
    const QvBSplineCurve c = Bezier();
    const Curve whole(c.Extract(0.0, 1.0));
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->m_knots.m_values, c.m_knots.m_values);
    ASSERT_EQ(whole->m_ctrlPoints.size(), c.m_ctrlPoints.size());
    for (std::size_t i = 0; i < c.m_ctrlPoints.size(); ++i)
        ExpectPointNear(whole->m_ctrlPoints[i], c.m_ctrlPoints[i], 0.0);

    const Curve middle(c.Extract(0.25, 0.75));
    ASSERT_TRUE(middle);
    EXPECT_EQ(middle->m_knots.m_values, (std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1}));
    EXPECT_FALSE(middle->m_closed);
    EXPECT_TRUE(middle->m_dataPoints.empty());
    ExpectPointNear(middle->m_ctrlPoints.front(), c.Evaluate(0.25), 1e-14);
    ExpectPointNear(middle->m_ctrlPoints.back(), c.Evaluate(0.75), 1e-14);
}

TEST(BSplineEditTest, ExtractReproducesThePieceOfRandomCurves)
{
    qvtest::Rng rng(13);
    for (int trial = 0; trial < 40; ++trial)
    {
        const int p = 1 + trial % 5;
        const QvBSplineCurve c = RandomCurve(rng, p, 1 + trial % 6);
        double a = qvtest::Uniform(rng, 0.0, 1.0);
        double b = qvtest::Uniform(rng, 0.0, 1.0);
        if (trial % 4 == 0)
            a = c.m_knots[p + 1]; // starting at an inner knot
        if (trial % 5 == 0)
            b = 1.0;
        if (a > b)
            std::swap(a, b);
        if (b - a < 1e-3)
            continue;
        const Curve piece(c.Extract(a, b));
        ASSERT_TRUE(piece) << a << " " << b;
        EXPECT_EQ(piece->m_degree, p);
        EXPECT_EQ(piece->m_knots.Size(), static_cast<int>(piece->m_ctrlPoints.size()) + p + 1);
        EXPECT_EQ(piece->m_knots[0], 0.0);
        EXPECT_DOUBLE_EQ(piece->m_knots[piece->m_knots.Size() - 1], 1.0);
        for (int i = 0; i <= 50; ++i)
        {
            const double s = i / 50.0;
            ExpectPointNear(piece->Evaluate(s), c.Evaluate(a + s * (b - a)), 1e-12);
        }
    }
}

TEST(BSplineEditTest, ExtractOfAnEmptyOrReversedPieceIsNull)
{
    const QvBSplineCurve c = Bezier();
    const double cases[][2] = {{0.6, 0.4}, {0.5, 0.5}, {0.5, 0.50000001}, {2.0, 3.0}, {-2.0, -1.0},
                               {std::numeric_limits<double>::quiet_NaN(), 0.5}};
    for (const auto& tc : cases)
        EXPECT_EQ(Curve(c.Extract(tc[0], tc[1])), nullptr) << tc[0] << " " << tc[1];
    // Limits beyond the knots are cut to them.
    const Curve wide(c.Extract(-1.0, 2.0));
    ASSERT_TRUE(wide);
    EXPECT_LT(MaxDeviation(*wide, c), 1e-14);
}

// ---------------------------------------------------------------- start of a closed curve

TEST(BSplineEditTest, MoveStartOnlyForClosedCurves)
{
    QvBSplineCurve open = Bezier();
    EXPECT_FALSE(open.MoveStart(0.5));

    const Curve closed = ClosedEllipse(12);
    ASSERT_TRUE(closed);
    QvBSplineCurve same = *closed;
    EXPECT_TRUE(same.MoveStart(0.0));
    EXPECT_EQ(same.m_knots.m_values, closed->m_knots.m_values);
}

TEST(BSplineEditTest, MoveStartKeepsTheTraceAndStartsAtTheOldParameter)
{
    const Curve original = ClosedEllipse(12);
    ASSERT_TRUE(original);
    for (double x : {0.3, 0.5, 0.77})
    {
        QvBSplineCurve c = *original;
        ASSERT_TRUE(c.MoveStart(x));
        const int p = c.m_degree;
        EXPECT_EQ(c.m_knots.Size(), static_cast<int>(c.m_ctrlPoints.size()) + p + 1);
        EXPECT_EQ(c.m_knots[0], 0.0);
        EXPECT_DOUBLE_EQ(c.m_knots[c.m_knots.Size() - 1], 1.0);
        ExpectPointNear(c.Evaluate(0.0), original->Evaluate(x), 1e-12);
        ExpectPointNear(c.Evaluate(1.0), original->Evaluate(x), 1e-12);
        // The old start, at the joint of multiplicity p.
        const double share = original->ArcLength(true, x, 1.0) / original->ArcLength(true, 0.0, 1.0);
        ExpectPointNear(c.Evaluate(share), original->Evaluate(0.0), 1e-9);
        EXPECT_NEAR(c.ArcLength(true, 0.0, 1.0), original->ArcLength(true, 0.0, 1.0), 1e-6);
        // Every point of the new curve is on the old one.
        for (int i = 0; i <= 40; ++i)
        {
            const QvPoint q = c.Evaluate(i / 40.0);
            double t = 0.0;
            QvPoint foot;
            ASSERT_TRUE(original->ClosestPoint(q, t, foot));
            EXPECT_LT(q.Distance(foot), 1e-6);
        }
    }
}

TEST(BSplineEditTest, MoveStartOfACurveWithoutLengthIsRefused)
{
    // Both parts have length 0 exactly: no share to give them, and no 0/0 in the knots.
    QvBSplineCurve point(QvPoint(0, 0, 0), true);
    EXPECT_FALSE(point.MoveStart(0.5));
    EXPECT_EQ(point.m_knots.m_values, (std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1}));
    EXPECT_FALSE(point.MoveStart(std::numeric_limits<double>::quiet_NaN()));
}

// ---------------------------------------------------------------- offsets

// A planar cubic whose second derivative is perpendicular to the first at the start: the offset
// there is exactly d along the principal normal (towards +y).
QvBSplineCurve PlanarBend()
{
    return QvBSplineCurve({0, 0, 0, 0, 0.5, 1, 1, 1, 1}, {{0, 0, 0}, {1, 0, 0}, {3, 0.5, 0}, {3.5, 1.5, 0}, {3.5, 3, 0}},
                          3, false);
}

TEST(BSplineEditTest, OffsetOfAPlanarCurveIsParallelOnTheConcaveSide)
{
    const QvBSplineCurve c = PlanarBend();
    const double d = 0.1;
    for (int adaptive = 0; adaptive < 2; ++adaptive)
    {
        const Curve off(adaptive ? c.OffsetAdaptive(d, 1e-7) : c.Offset(d, 1e-7));
        ASSERT_TRUE(off);
        EXPECT_FALSE(off->m_closed);
        ExpectPointNear(off->Evaluate(0.0), QvPoint(0.0, d, 0.0), 1e-3);
        for (int i = 0; i <= 50; ++i)
        {
            const QvPoint q = off->Evaluate(i / 50.0);
            EXPECT_NEAR(q[2], 0.0, 1e-12);
            double t = 0.0;
            QvPoint foot;
            ASSERT_TRUE(c.ClosestPoint(q, t, foot));
            EXPECT_NEAR(q.Distance(foot), d, 1e-3) << i;
        }
    }
    // The other sign goes to the other side.
    const Curve outside(c.Offset(-d, 1e-7));
    ASSERT_TRUE(outside);
    ExpectPointNear(outside->Evaluate(0.0), QvPoint(0.0, -d, 0.0), 1e-3);
}

TEST(BSplineEditTest, OffsetOfAClosedCurveStaysClosed)
{
    const Curve c = ClosedEllipse(16);
    ASSERT_TRUE(c);
    const Curve off(c->Offset(0.05, 1e-6));
    ASSERT_TRUE(off);
    EXPECT_TRUE(off->m_closed);
    for (int i = 0; i <= 20; ++i)
    {
        const QvPoint q = off->Evaluate(i / 20.0);
        for (int k = 0; k < 3; ++k)
            EXPECT_TRUE(std::isfinite(q[k]));
    }
}

// ---------------------------------------------------------------- common knots

TEST(BSplineEditTest, AreCompatibleGivesCommonKnotsAndKeepsShapes)
{
    QvBSplineCurve a({0, 0, 0, 0, 0.3, 1, 1, 1, 1}, {{0, 0, 0}, {1, 1, 0}, {2, 0, 1}, {3, 1, 0}, {4, 0, 0}}, 3, false);
    QvBSplineCurve b({0, 0, 0, 0, 0.5, 0.7, 1, 1, 1, 1},
                     {{0, 1, 0}, {1, 2, 0}, {2, 1, 1}, {3, 2, 0}, {4, 1, 0}, {5, 1, 1}}, 3, false);
    QvBSplineCurve c = Bezier();
    const QvBSplineCurve a0 = a;
    const QvBSplineCurve b0 = b;
    const QvBSplineCurve c0 = c;
    ASSERT_TRUE(QvNurbsHelper::AreCompatible({&a, &b, &c}));
    const std::vector<double> expected{0, 0, 0, 0, 0.3, 0.5, 0.7, 1, 1, 1, 1};
    EXPECT_EQ(a.m_knots.m_values, expected);
    EXPECT_EQ(b.m_knots.m_values, expected);
    EXPECT_EQ(c.m_knots.m_values, expected);
    EXPECT_LT(MaxDeviation(a, a0), 1e-14);
    EXPECT_LT(MaxDeviation(b, b0), 1e-14);
    EXPECT_LT(MaxDeviation(c, c0), 1e-14);
}

TEST(BSplineEditTest, AreCompatibleRefusesMixedDegreesAndAcceptsOneCurve)
{
    QvBSplineCurve cubic = Bezier();
    QvBSplineCurve quadratic({0, 0, 0, 0.5, 1, 1, 1}, {{0, 0, 0}, {1, 1, 0}, {2, 1, 0}, {3, 0, 0}}, 2, false);
    EXPECT_FALSE(QvNurbsHelper::AreCompatible({&cubic, &quadratic}));
    EXPECT_EQ(cubic.m_knots.m_values, Bezier().m_knots.m_values);
    EXPECT_EQ(quadratic.m_knots.Size(), 7);
    EXPECT_FALSE(QvNurbsHelper::AreCompatible({&cubic, nullptr}));
    EXPECT_TRUE(QvNurbsHelper::AreCompatible({&quadratic}));
    EXPECT_TRUE(QvNurbsHelper::AreCompatible({}));
}

TEST(BSplineEditTest, AreCompatibleNeverRaisesAMultiplicity)
{
    QvBSplineCurve single({0, 0, 0, 0, 0.5, 1, 1, 1, 1}, {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}, {4, 0, 0}}, 3,
                          false);
    QvBSplineCurve twice({0, 0, 0, 0, 0.5, 0.5, 1, 1, 1, 1},
                         {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}, {4, 0, 0}, {5, 0, 0}}, 3, false);
    EXPECT_TRUE(QvNurbsHelper::AreCompatible({&single, &twice}));
    EXPECT_EQ(single.m_knots.Size(), 9);
    EXPECT_EQ(twice.m_knots.Size(), 10);
}

} // namespace
