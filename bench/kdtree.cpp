// SPDX-License-Identifier: GPL-3.0-or-later
// Nearest-point trees: ours against nanoflann on the same points and queries.
// The points stand for the vertices of one tooth (a sphere of radius 5 mm), the
// queries for those of its neighbour (the same sphere moved 9 mm along x), as in a
// gap query: most queries lie outside the stored points' box.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "bench/NanoCloud.h"
#include "core/geometry/QvKDTree.h"
#include "testing/PointSets.h"

namespace {

constexpr std::size_t kQueryCount = 100000;

const std::vector<QvPoint>& Points(std::size_t n)
{
    static const std::vector<QvPoint> small = qvtest::RandomPointsOnSphere(20000, 1, QvPoint(), 5.0);
    static const std::vector<QvPoint> large = qvtest::RandomPointsOnSphere(100000, 1, QvPoint(), 5.0);
    return n == small.size() ? small : large;
}

const std::vector<QvPoint>& Queries()
{
    static const std::vector<QvPoint> queries = qvtest::RandomPointsOnSphere(kQueryCount, 2, QvPoint(9, 0, 0), 5.0);
    return queries;
}


void BM_QvKDTree_Build(benchmark::State& state)
{
    const std::vector<QvPoint>& points = Points(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
    {
        QvKDTree tree(points);
        benchmark::DoNotOptimize(tree.GetRoot());
    }
}

void BM_Nanoflann_Build(benchmark::State& state)
{
    const NanoCloud cloud{Points(static_cast<std::size_t>(state.range(0)))};
    for (auto _ : state)
    {
        NanoTree tree(3, cloud, nanoflann::KDTreeSingleIndexAdaptorParams(static_cast<std::size_t>(state.range(1))));
        benchmark::DoNotOptimize(&tree);
    }
}

// Build plus 10^5 queries per iteration. The distance sum shows that both answer alike.
void BM_QvKDTree_BuildAndQuery(benchmark::State& state)
{
    const std::vector<QvPoint>& points = Points(static_cast<std::size_t>(state.range(0)));
    const std::vector<QvPoint>& queries = Queries();
    double sum = 0.0;
    for (auto _ : state)
    {
        QvKDTree tree(points);
        sum = 0.0;
        QvPoint nearest;
        int index = -1;
        for (const QvPoint& q : queries)
            sum += tree.FindNearest(q, nearest, index);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["sum_dist"] = sum;
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(queries.size()));
}

void BM_Nanoflann_BuildAndQuery(benchmark::State& state)
{
    const NanoCloud cloud{Points(static_cast<std::size_t>(state.range(0)))};
    const std::vector<QvPoint>& queries = Queries();
    double sum = 0.0;
    for (auto _ : state)
    {
        NanoTree tree(3, cloud, nanoflann::KDTreeSingleIndexAdaptorParams(static_cast<std::size_t>(state.range(1))));
        sum = 0.0;
        std::uint32_t index = 0;
        double squared = 0.0;
        for (const QvPoint& q : queries)
        {
            tree.knnSearch(q.m_coord, 1, &index, &squared);
            sum += std::sqrt(squared);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["sum_dist"] = sum;
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(queries.size()));
}

} // namespace

BENCHMARK(BM_QvKDTree_Build)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);
// Second argument: nanoflann's leaf size, ours (5) and its default (10).
BENCHMARK(BM_Nanoflann_Build)->ArgsProduct({{20000, 100000}, {5, 10}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QvKDTree_BuildAndQuery)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Nanoflann_BuildAndQuery)->ArgsProduct({{20000, 100000}, {5, 10}})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
