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
#include "core/geometry/QvBSplineSurface.h"
#include "core/geometry/QvNurbsHelper.h"

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

namespace {

// ---------------------------------------------------------------- surfaces
// The gum workload: 20 section curves of a gingiva side (arch-sized cubics from the fit, a few mm
// apart in height) skinned into one surface, which is sampled on a 100 x 50 grid. Ours beside a
// tensor product on Eigen's basis functions and beside the table-allocating basis of QvNurbsHelper.

constexpr int kSkinCurves = 20;
constexpr int kGridU = 100;
constexpr int kGridV = 50;

const std::vector<QvBSplineCurve>& GumCurves()
{
    static const std::vector<QvBSplineCurve> curves = [] {
        std::vector<QvBSplineCurve> out;
        for (int k = 0; k < kSkinCurves; ++k)
        {
            const double h = 0.3 * k;
            const double shrink = 1.0 - 0.01 * k;
            std::vector<QvPoint> samples;
            for (int i = 0; i < 200; ++i)
            {
                const QvPoint a = ArchPoint(Param(i, 200));
                samples.emplace_back(a[0] * shrink, a[1] * shrink + 0.2 * k, a[2] + h + 0.2 * std::sin(0.3 * a[0] + k));
            }
            std::unique_ptr<QvBSplineCurve> c(QvBSplineCurve::Fit(samples, {}, false, 1e-4));
            out.push_back(*c);
        }
        return out;
    }();
    return curves;
}

std::unique_ptr<QvBSplineSurface> GumSkin()
{
    std::vector<QvBSplineCurve> curves = GumCurves();
    std::vector<QvBSplineCurve*> list;
    for (QvBSplineCurve& c : curves)
        list.push_back(&c);
    return std::unique_ptr<QvBSplineSurface>(QvBSplineSurface::Skin(list));
}

void BM_QvBSplineSurface_Skin20(benchmark::State& state)
{
    const std::vector<QvBSplineCurve>& source = GumCurves();
    std::size_t rows = 0;
    for (auto _ : state)
    {
        // Skinning refines its curves in place: each round starts from fresh copies.
        std::vector<QvBSplineCurve> curves = source;
        std::vector<QvBSplineCurve*> list;
        for (QvBSplineCurve& c : curves)
            list.push_back(&c);
        std::unique_ptr<QvBSplineSurface> s(QvBSplineSurface::Skin(list));
        rows = s ? s->m_ctrlNet.size() : 0;
        benchmark::DoNotOptimize(s.get());
    }
    state.counters["net_rows"] = static_cast<double>(rows);
}

void BM_QvBSplineSurface_EvaluateGrid(benchmark::State& state)
{
    const auto s = GumSkin();
    for (auto _ : state)
    {
        double sum = 0.0;
        for (int i = 0; i < kGridU; ++i)
            for (int j = 0; j < kGridV; ++j)
            {
                const QvPoint p = s->Evaluate(Param(i, kGridU), Param(j, kGridV));
                sum += p[0] + p[1] + p[2];
            }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kGridU * kGridV);
}

// The same sums with Eigen's fixed-degree basis functions (no allocation either).
void BM_EigenTensor_EvaluateGrid(benchmark::State& state)
{
    using Spline = Eigen::Spline<double, 3, 3>;
    const auto s = GumSkin();
    Spline::KnotVectorType ku(s->m_uKnots.Size());
    Spline::KnotVectorType kv(s->m_vKnots.Size());
    for (int k = 0; k < s->m_uKnots.Size(); ++k)
        ku(k) = s->m_uKnots[k];
    for (int k = 0; k < s->m_vKnots.Size(); ++k)
        kv(k) = s->m_vKnots[k];
    const int nv = static_cast<int>(s->m_ctrlNet[0].size());
    Eigen::Matrix<double, 3, Eigen::Dynamic> net(3, static_cast<Eigen::Index>(s->m_ctrlNet.size()) * nv);
    for (std::size_t i = 0; i < s->m_ctrlNet.size(); ++i)
        for (int j = 0; j < nv; ++j)
        {
            const QvPoint& P = s->m_ctrlNet[i][static_cast<std::size_t>(j)];
            net.col(static_cast<Eigen::Index>(i) * nv + j) << P[0], P[1], P[2];
        }
    for (auto _ : state)
    {
        double sum = 0.0;
        for (int i = 0; i < kGridU; ++i)
            for (int j = 0; j < kGridV; ++j)
            {
                const double u = Param(i, kGridU);
                const double v = Param(j, kGridV);
                const auto su = Spline::Span(u, 3, ku);
                const auto sv = Spline::Span(v, 3, kv);
                const auto Nu = Spline::BasisFunctions(u, 3, ku);
                const auto Nv = Spline::BasisFunctions(v, 3, kv);
                Eigen::Vector3d p = Eigen::Vector3d::Zero();
                for (int a = 0; a <= 3; ++a)
                {
                    Eigen::Vector3d inner = Eigen::Vector3d::Zero();
                    for (int b = 0; b <= 3; ++b)
                        inner += Nv(b) * net.col((su - 3 + a) * nv + (sv - 3 + b));
                    p += Nu(a) * inner;
                }
                sum += p.sum();
            }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kGridU * kGridV);
}

// The same sums with QvNurbsHelper::BasisFunctions, which fills nested vectors per call.
void BM_QvNurbsHelperBasis_EvaluateGrid(benchmark::State& state)
{
    const auto s = GumSkin();
    std::vector<std::vector<double>> Nu;
    std::vector<std::vector<double>> Nv;
    for (auto _ : state)
    {
        double sum = 0.0;
        for (int i = 0; i < kGridU; ++i)
            for (int j = 0; j < kGridV; ++j)
            {
                int su = 0;
                int sv = 0;
                QvNurbsHelper::BasisFunctions(s->m_uKnots, 3, 0, Nu, su, Param(i, kGridU));
                QvNurbsHelper::BasisFunctions(s->m_vKnots, 3, 0, Nv, sv, Param(j, kGridV));
                double p[3] = {0.0, 0.0, 0.0};
                for (int a = 0; a <= 3; ++a)
                    for (int b = 0; b <= 3; ++b)
                    {
                        const QvPoint& P = s->m_ctrlNet[static_cast<std::size_t>(su - 3 + a)]
                                                       [static_cast<std::size_t>(sv - 3 + b)];
                        const double w = Nu[0][static_cast<std::size_t>(a)] * Nv[0][static_cast<std::size_t>(b)];
                        p[0] += w * P[0];
                        p[1] += w * P[1];
                        p[2] += w * P[2];
                    }
                sum += p[0] + p[1] + p[2];
            }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kGridU * kGridV);
}

// One gum side per step: skin the 20 curves, then sample the grid.
void BM_QvBSplineSurface_SkinAndGrid(benchmark::State& state)
{
    const std::vector<QvBSplineCurve>& source = GumCurves();
    for (auto _ : state)
    {
        std::vector<QvBSplineCurve> curves = source;
        std::vector<QvBSplineCurve*> list;
        for (QvBSplineCurve& c : curves)
            list.push_back(&c);
        std::unique_ptr<QvBSplineSurface> s(QvBSplineSurface::Skin(list));
        std::vector<QvPoint> grid;
        grid.reserve(kGridU * kGridV);
        for (int i = 0; i < kGridU; ++i)
            for (int j = 0; j < kGridV; ++j)
                grid.push_back(s->Evaluate(Param(i, kGridU), Param(j, kGridV)));
        benchmark::DoNotOptimize(grid.data());
    }
}

} // namespace

BENCHMARK(BM_QvBSplineSurface_Skin20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QvBSplineSurface_EvaluateGrid)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EigenTensor_EvaluateGrid)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QvNurbsHelperBasis_EvaluateGrid)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QvBSplineSurface_SkinAndGrid)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
