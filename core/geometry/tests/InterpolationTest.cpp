// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/geometry/QvInterpolation.h"
#include "core/geometry/QvMatrix.h"
#include "testing/PointSets.h"

namespace {

// Samples of the field |p| - 1 (the unit sphere as the zero level set): points on the sphere
// with value 0 and points inside and outside it with their distances.
std::vector<QvTpsSample> SphereSamples(double scale)
{
    std::vector<QvTpsSample> samples;
    for (const QvPoint& p : qvtest::RandomPointsOnSphere(40, 3, QvPoint(), scale))
        samples.push_back({p, 0.0});
    for (const QvPoint& p : qvtest::RandomPointsOnSphere(8, 4, QvPoint(), 0.5 * scale))
        samples.push_back({p, -0.5 * scale});
    for (const QvPoint& p : qvtest::RandomPointsOnSphere(8, 5, QvPoint(), 1.5 * scale))
        samples.push_back({p, 0.5 * scale});
    return samples;
}

// The border row adds coefficients of different units (value per length cubed, value, value
// per length), so the condition grows with the cube of the sample spread either way from 1
// (at 1e3 the system is singular in double precision) and the border unknown, which shifts
// the field, grows as the spread shrinks. The field is meant for millimetre data of tooth size.
TEST(QvThinPlateSpline, ReproducesSamplesUpToTheBorderUnknown)
{
    const struct
    {
        double scale, tolerance;
    } cases[] = {{1e-3, 1e-7}, {1.0, 1e-11}, {10.0, 1e-9}};
    for (const auto& [scale, tolerance] : cases)
    {
        SCOPED_TRACE(testing::Message() << "scale " << scale);
        std::vector<QvTpsSample> samples;
        qvtest::Rng rng(9);
        for (const QvPoint& p : qvtest::RandomPointsInCube(30, 8, -scale, scale))
            samples.push_back({p, qvtest::Uniform(rng, -1.0, 1.0)});
        QvThinPlateSpline tps;
        tps.SetSamples(samples);
        ASSERT_TRUE(tps.Solve());
        ASSERT_EQ(tps.m_coefficients.size(), samples.size() + 5);
        // The border unknown shifts the whole field by one constant and stays out of f.
        const double border = tps.m_coefficients.back();
        for (const QvTpsSample& s : samples)
            EXPECT_NEAR(tps.Evaluate(s.m_position) + border, s.m_value, tolerance);
    }
}

TEST(QvThinPlateSpline, GradientMatchesDifferencesAndNormalPointsDownhill)
{
    QvThinPlateSpline tps;
    tps.SetSamples(SphereSamples(1.0));
    const double h = 1e-6;
    for (const QvPoint& p : qvtest::RandomPointsInCube(10, 21, -1.2, 1.2))
    {
        const QvVector g = tps.Gradient(p);
        for (int k = 0; k < 3; ++k)
        {
            QvPoint a = p, b = p;
            a[k] += h;
            b[k] -= h;
            EXPECT_NEAR(g[k], (tps.Evaluate(a) - tps.Evaluate(b)) / (2 * h), 1e-6 * (1.0 + g.Length()));
        }
        QvVector expected = g;
        expected.Normalize();
        EXPECT_TRUE(tps.Normal(p) == -expected);
    }
}

TEST(QvThinPlateSpline, ProjectsOntoTheZeroLevelSet)
{
    for (double scale : {1.0, 10.0})
    {
        SCOPED_TRACE(testing::Message() << "scale " << scale);
        QvThinPlateSpline tps;
        tps.SetSamples(SphereSamples(scale));
        for (const QvPoint& dir : qvtest::RandomPointsOnSphere(12, 31, QvPoint(), 1.0))
        {
            const QvPoint start = dir * (1.2 * scale);
            const QvPoint q = tps.ProjectToSurface(start);
            EXPECT_NEAR(tps.Evaluate(q), 0.0, 1e-6 * scale);
            // The level set is close to the sampled sphere.
            EXPECT_NEAR(q.Distance(QvPoint()), scale, 0.1 * scale);
        }
    }
}

TEST(QvThinPlateSpline, DegenerateFieldsLeaveThePointWhereItIs)
{
    const QvPoint p(0.3, -0.2, 0.9);
    {
        QvThinPlateSpline none;
        EXPECT_FALSE(none.Solve());
        EXPECT_EQ(none.Evaluate(p), std::numeric_limits<double>::max());
        EXPECT_TRUE(none.Gradient(p) == QvVector(0, 0, 0));
        EXPECT_EQ(none.ProjectToSurface(p), p);
    }
    {
        // All values 0: every coefficient 0, the gradient vanishes everywhere.
        std::vector<QvTpsSample> samples;
        for (const QvPoint& q : qvtest::RandomPointsInCube(12, 2))
            samples.push_back({q, 0.0});
        QvThinPlateSpline flat;
        flat.SetSamples(samples);
        ASSERT_TRUE(flat.Solve());
        for (double c : flat.m_coefficients)
            EXPECT_EQ(c, 0.0);
        const QvPoint q = flat.ProjectToSurface(p);
        EXPECT_EQ(q.m_coord[0], p.m_coord[0]);
        EXPECT_EQ(q.m_coord[1], p.m_coord[1]);
        EXPECT_EQ(q.m_coord[2], p.m_coord[2]);
    }
}

TEST(QvThinPlateSpline, SingularSystemStaysUnsolvedAndRetriesAfterNewSamples)
{
    QvThinPlateSpline tps;
    // One sample at the origin: the x, y and z rows of the system are equal.
    tps.SetSamples({{QvPoint(0, 0, 0), 1.0}});
    EXPECT_FALSE(tps.Solve());
    EXPECT_FALSE(tps.m_bSolved);
    EXPECT_TRUE(tps.m_coefficients.empty());
    EXPECT_EQ(tps.Evaluate(QvPoint(1, 1, 1)), std::numeric_limits<double>::max());

    std::vector<QvTpsSample> samples;
    for (const QvPoint& q : qvtest::BoxCorners(1, 2, 3))
        samples.push_back({q, q[0] + q[1]});
    tps.SetSamples(samples);
    EXPECT_FALSE(tps.m_bSolved);
    const double border = [&] {
        EXPECT_TRUE(tps.Solve());
        return tps.m_coefficients.back();
    }();
    EXPECT_NEAR(tps.Evaluate(samples[5].m_position) + border, samples[5].m_value, 1e-9);

    // New samples are picked up by the next evaluation without an explicit solve.
    samples[5].m_value += 4.0;
    tps.SetSamples(samples);
    const double value = tps.Evaluate(samples[5].m_position);
    EXPECT_TRUE(tps.m_bSolved);
    EXPECT_NEAR(value + tps.m_coefficients.back(), samples[5].m_value, 1e-9);
}

TEST(QvMultiquadricInterpolator, SingleSampleIsAConstantMap)
{
    QvMultiquadricInterpolator mq({QvPoint(1, 2, 3)}, {0.0}, {0.0}, 1.0);
    ASSERT_TRUE(mq.Solve());
    ASSERT_EQ(mq.m_weights.size(), 2u);
    EXPECT_TRUE(mq.m_weights[0] == QvPoint(0, 0, 0));
    EXPECT_TRUE(mq.m_weights[1] == QvPoint(1, 2, 3));
    for (double x : {-5.0, 0.0, 2.5})
        EXPECT_TRUE(mq.Evaluate(x, -x) == QvPoint(1, 2, 3));
}

TEST(QvMultiquadricInterpolator, ReproducesSamples)
{
    // c = 0.02 is what the hole filling uses over its unit-square parameter plane.
    for (double scale : {1e-3, 1.0, 1e3})
    {
        SCOPED_TRACE(testing::Message() << "scale " << scale);
        std::vector<double> x, y;
        std::vector<QvPoint> values;
        for (const QvPoint& p : qvtest::RandomPointsInCube(60, 17, 0.0, scale))
        {
            x.push_back(p[0]);
            y.push_back(p[1]);
            values.push_back(QvPoint(p[0], p[1], std::sin(3.0 * p[0] / scale) * scale));
        }
        QvMultiquadricInterpolator mq;
        mq.SetSamples(x, y, 0.02 * scale);
        mq.SetValues(values);
        ASSERT_TRUE(mq.Solve());
        for (std::size_t i = 0; i < values.size(); ++i)
        {
            const QvPoint q = mq.Evaluate(x[i], y[i]);
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(q[k], values[i][k], 1e-7 * scale);
        }
    }
}

// The same bordered system factored without pivoting, as it once was solved: where that
// worked, the pivoted solve must give the same interpolant.
bool SolveWithoutPivoting(const std::vector<double>& x, const std::vector<double>& y, double c,
                          const std::vector<QvPoint>& values, std::vector<QvPoint>& weights)
{
    const int n = static_cast<int>(values.size());
    QvMatrix m(n + 1, n + 1);
    for (int i = 0; i < n; ++i)
    {
        for (int j = 0; j < n; ++j)
            m[i][j] = std::sqrt((y[i] - y[j]) * (y[i] - y[j]) + (x[i] - x[j]) * (x[i] - x[j]) + c * c);
        m[i][n] = 1.0;
        m[n][i] = 1.0;
    }
    m[n][n] = 0.0;
    if (!m.LUDecomposeNoPivot())
        return false;
    std::vector<QvPoint> b(values);
    b.emplace_back(0.0, 0.0, 0.0);
    weights.assign(b.size(), QvPoint());
    return m.LUSolvePoints(b, weights);
}

TEST(QvMultiquadricInterpolator, PivotingSolvesWhatTheUnpivotedSolveSolvedAndMore)
{
    // Random samples, as the old factorisation handled them: the same weights.
    std::vector<double> x, y;
    std::vector<QvPoint> values;
    for (const QvPoint& p : qvtest::RandomPointsInCube(80, 23, 0.0, 1.0))
    {
        x.push_back(p[0]);
        y.push_back(p[1]);
        values.push_back(QvPoint(p[0], p[1], p[0] * p[1]));
    }
    std::vector<QvPoint> old;
    ASSERT_TRUE(SolveWithoutPivoting(x, y, 0.02, values, old));
    QvMultiquadricInterpolator mq(values, x, y, 0.02);
    ASSERT_TRUE(mq.Solve());
    ASSERT_EQ(mq.m_weights.size(), old.size());
    for (double u = 0.05; u < 1.0; u += 0.1)
    {
        QvPoint expected = old.back();
        for (std::size_t i = 0; i + 1 < old.size(); ++i)
            expected += old[i] * std::sqrt((u - x[i]) * (u - x[i]) + (u - y[i]) * (u - y[i]) + 0.02 * 0.02);
        const QvPoint got = mq.Evaluate(u, u);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(got[k], expected[k], 1e-9);
    }

    // A zero leading pivot (c = 0) stopped the old factorisation; the system itself is
    // regular and its interpolant reproduces the samples.
    QvMultiquadricInterpolator zero({QvPoint(0, 0, 0), QvPoint(1, 1, 1)}, {0.0, 1.0}, {0.0, 0.0}, 0.0);
    std::vector<QvPoint> unused;
    EXPECT_FALSE(SolveWithoutPivoting({0.0, 1.0}, {0.0, 0.0}, 0.0, {QvPoint(0, 0, 0), QvPoint(1, 1, 1)}, unused));
    ASSERT_TRUE(zero.Solve());
    EXPECT_NEAR(zero.Evaluate(0.0, 0.0).Distance(QvPoint(0, 0, 0)), 0.0, 1e-12);
    EXPECT_NEAR(zero.Evaluate(1.0, 0.0).Distance(QvPoint(1, 1, 1)), 0.0, 1e-12);
}

TEST(QvMultiquadricInterpolator, RefusedSystemsKeepNoWeights)
{
    struct Case
    {
        const char* name;
        std::vector<double> x, y;
        double c;
        std::vector<QvPoint> values;
    } cases[] = {
        {"two samples at one point", {0.5, 0.5}, {0.25, 0.25}, 0.02, {{0, 0, 0}, {1, 1, 1}}},
        {"no samples", {}, {}, 1.0, {}},
        {"x shorter than the values", {0}, {0, 1}, 1.0, {{0, 0, 0}, {1, 1, 1}}},
        {"y shorter than the values", {0, 1}, {0}, 1.0, {{0, 0, 0}, {1, 1, 1}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        // A good solve first, so that stale weights would show.
        QvMultiquadricInterpolator mq({QvPoint(1, 2, 3)}, {0.0}, {0.0}, 1.0);
        ASSERT_TRUE(mq.Solve());
        mq.SetSamples(c.x, c.y, c.c);
        mq.SetValues(c.values);
        EXPECT_FALSE(mq.Solve());
        EXPECT_TRUE(mq.m_weights.empty());
        EXPECT_TRUE(mq.Evaluate(0.5, 0.5) == QvPoint(0, 0, 0));
    }
}

TEST(QvMultiquadricInterpolator, EvaluateNeverReadsPastTheSampleLists)
{
    QvMultiquadricInterpolator unsolved;
    EXPECT_TRUE(unsolved.Evaluate(1, 2) == QvPoint(0, 0, 0));

    QvMultiquadricInterpolator mq({QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(0, 1, 0)}, {0, 1, 0}, {0, 0, 1},
                                  0.5);
    ASSERT_TRUE(mq.Solve());
    mq.SetSamples({0}, {0}, 0.5); // fewer samples than the weights were solved for
    EXPECT_TRUE(mq.Evaluate(0.2, 0.2) == QvPoint(0, 0, 0));
}

} // namespace
