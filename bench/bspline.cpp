// SPDX-License-Identifier: GPL-3.0-or-later
// B-spline curves on the main road: evaluation (ours beside Eigen's spline module), the
// closest-point search and the tolerance-driven fit. The curve is a dental-arch-sized cubic
// (about 80 mm across, 30 control points); queries and samples lie within a few mm of it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <unsupported/Eigen/Splines>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"

namespace {

constexpr int kEvaluations = 1000000;
constexpr int kQueries = 100000;
constexpr int kFitSamples = 1000;

QvPoint ArchPoint(double s)
{
    // s in [0, 1] across the arch: a parabola-like curve with a little waviness and height.
    const double x = -40.0 + 80.0 * s;
    return QvPoint(x, 0.025 * x * x + 1.5 * std::sin(x / 6.0), 2.0 * std::cos(x / 15.0));
}

const QvBSplineCurve& Arch()
{
    static const QvBSplineCurve curve = [] {
        const int n = 30;
        std::vector<double> knots(4, 0.0);
        for (int i = 1; i < n - 3; ++i)
            knots.push_back(static_cast<double>(i) / (n - 3));
        knots.insert(knots.end(), 4, 1.0);
        std::vector<QvPoint> ctrl;
        for (int i = 0; i < n; ++i)
            ctrl.push_back(ArchPoint(static_cast<double>(i) / (n - 1)));
        return QvBSplineCurve(knots, ctrl, 3, false);
    }();
    return curve;
}

template <int Degree>
Eigen::Spline<double, 3, Degree> EigenArch()
{
    const QvBSplineCurve& c = Arch();
    Eigen::Array<double, 1, Eigen::Dynamic> knots(c.m_knots.Size());
    for (int i = 0; i < c.m_knots.Size(); ++i)
        knots(i) = c.m_knots[i];
    Eigen::Matrix<double, 3, Eigen::Dynamic> ctrls(3, static_cast<Eigen::Index>(c.m_ctrlPoints.size()));
    for (std::size_t i = 0; i < c.m_ctrlPoints.size(); ++i)
        ctrls.col(static_cast<Eigen::Index>(i)) << c.m_ctrlPoints[i][0], c.m_ctrlPoints[i][1], c.m_ctrlPoints[i][2];
    return Eigen::Spline<double, 3, Degree>(knots, ctrls);
}

double Param(int i, int count) { return static_cast<double>(i) / (count - 1); }

void BM_QvBSpline_Evaluate(benchmark::State& state)
{
    const QvBSplineCurve& c = Arch();
    for (auto _ : state)
    {
        double sum = 0.0;
        for (int i = 0; i < kEvaluations; ++i)
        {
            const QvPoint p = c.Evaluate(Param(i, kEvaluations));
            sum += p[0] + p[1] + p[2];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kEvaluations);
}

template <int Degree>
void BM_EigenSpline_Evaluate(benchmark::State& state)
{
    const auto spline = EigenArch<Degree>();
    for (auto _ : state)
    {
        double sum = 0.0;
        for (int i = 0; i < kEvaluations; ++i)
        {
            const auto p = spline(Param(i, kEvaluations));
            sum += p(0) + p(1) + p(2);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kEvaluations);
}

void BM_QvBSpline_Derivatives2(benchmark::State& state)
{
    const QvBSplineCurve& c = Arch();
    for (auto _ : state)
    {
        double sum = 0.0;
        QvPoint p;
        QvVector d[2];
        for (int i = 0; i < kEvaluations; ++i)
        {
            c.EvaluateDerivatives(2, p, d, Param(i, kEvaluations));
            sum += p[0] + p[1] + p[2] + d[0][0] + d[0][1] + d[0][2] + d[1][0] + d[1][1] + d[1][2];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kEvaluations);
}

template <int Degree>
void BM_EigenSpline_Derivatives2(benchmark::State& state)
{
    const auto spline = EigenArch<Degree>();
    for (auto _ : state)
    {
        double sum = 0.0;
        for (int i = 0; i < kEvaluations; ++i)
        {
            const auto d = spline.derivatives(Param(i, kEvaluations), 2);
            sum += d.sum();
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kEvaluations);
}

void BM_QvBSpline_ClosestPoint(benchmark::State& state)
{
    const QvBSplineCurve& c = Arch();
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> along(0.0, 1.0);
    std::uniform_real_distribution<double> off(-3.0, 3.0);
    std::vector<QvPoint> queries;
    for (int i = 0; i < kQueries; ++i)
        queries.push_back(c.Evaluate(along(rng)) + QvVector(off(rng), off(rng), off(rng)));
    for (auto _ : state)
    {
        double sum = 0.0;
        for (const QvPoint& q : queries)
        {
            double t = 0.0;
            QvPoint foot;
            if (c.ClosestPoint(q, t, foot))
                sum += t;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kQueries);
}

// The argument is the noise in micrometres (standard deviation per coordinate). At 1 um the
// tolerance (1e-5 mm^2, about 3 um) is reachable; at 10 um it is not and the search climbs to the
// 500-control-point ceiling.
void BM_QvBSpline_Fit(benchmark::State& state)
{
    std::mt19937_64 rng(2);
    std::normal_distribution<double> noise(0.0, 1e-3 * static_cast<double>(state.range(0)));
    std::vector<QvPoint> samples;
    for (int i = 0; i < kFitSamples; ++i)
        samples.push_back(ArchPoint(Param(i, kFitSamples)) + QvVector(noise(rng), noise(rng), noise(rng)));
    std::size_t controlPoints = 0;
    for (auto _ : state)
    {
        std::unique_ptr<QvBSplineCurve> fit(QvBSplineCurve::Fit(samples, {}, false, 1e-5));
        controlPoints = fit ? fit->m_ctrlPoints.size() : 0;
        benchmark::DoNotOptimize(fit.get());
    }
    state.counters["ctrl_points"] = static_cast<double>(controlPoints);
}

} // namespace

BENCHMARK(BM_QvBSpline_Evaluate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EigenSpline_Evaluate<Eigen::Dynamic>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EigenSpline_Evaluate<3>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QvBSpline_Derivatives2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EigenSpline_Derivatives2<Eigen::Dynamic>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EigenSpline_Derivatives2<3>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QvBSpline_ClosestPoint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QvBSpline_Fit)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
