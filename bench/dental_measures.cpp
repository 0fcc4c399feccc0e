// SPDX-License-Identifier: GPL-3.0-or-later
// The dental measures of one step of the demo case (28 teeth, 25 extracted, at about
// 5 000 or 20 000 faces a crown):
//   BM_AllMeasures        every measure of the step: ComputeAll (crown sizes, the seven
//                         per-tooth measures, midlines, Spee, Bolton, overlaps, canine,
//                         transverse and molar relations) and the arch widths;
//   BM_ContactPairs_KDTree   the contact pairs of the premolars 34 and 35 as the arch
//                         width finds them, nearest points through a KD-tree;
//   BM_ContactPairs_AllPairs the same pairs by comparing every vertex pair, the
//                         definition the KD-tree search reproduces.
// For scale, one frame of the same case (bench_render_frame) takes about 30 ms at 5k
// faces and 65 ms at 20k.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include "bench/BenchMain.h"
#include "core/measure/QvDentalMeasure.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvScheme.h"
#include "testing/DemoCase.h"

namespace {

constexpr int kStep = 3;

qvtest::DemoCase& Case(int faces)
{
    static std::map<int, std::unique_ptr<qvtest::DemoCase>> cases;
    std::unique_ptr<qvtest::DemoCase>& c = cases[faces];
    if (!c)
    {
        c = std::make_unique<qvtest::DemoCase>();
        qvtest::DemoOptions options;
        options.dentition.facesPerTooth = faces;
        if (!qvtest::BuildDemoCase(*c, options))
            std::abort();
    }
    return *c;
}

void BM_AllMeasures(benchmark::State& state)
{
    qvtest::DemoCase& demo = Case(static_cast<int>(state.range(0)));
    const QvScheme& s = *demo.scheme;
    QvDentalMeasure m(demo.model.get(), kStep);
    m.SetFirstOcclusalPlane(*s.m_pOcclusalPlane1);
    m.SetSecondOcclusalPlane(*s.m_pOcclusalPlane2);
    if (s.m_pArchForm1)
        m.SetFirstArchForm(*s.m_pArchForm1);
    if (s.m_pArchForm2)
        m.SetSecondArchForm(*s.m_pArchForm2);
    for (auto _ : state)
    {
        m.ComputeAll();
        m.ComputeArchWidths();
        benchmark::DoNotOptimize(m.GetArchWidths().size());
    }
    state.counters["teeth"] = static_cast<double>(m.GetToothMeasures().size());
}
BENCHMARK(BM_AllMeasures)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

template <bool kTree>
void BM_ContactPairs(benchmark::State& state)
{
    qvtest::DemoCase& demo = Case(static_cast<int>(state.range(0)));
    const QvTooth* a = demo.model->FindTooth(34);
    const QvTooth* b = demo.model->FindTooth(35);
    std::map<int, int> pairs;
    for (auto _ : state)
    {
        pairs.clear();
        kTree ? QvDentalMeasure::FindContactPairs(a, b, pairs) : QvDentalMeasure::FindContactPairsBruteForce(a, b, pairs);
        benchmark::DoNotOptimize(pairs.size());
    }
    state.counters["pairs"] = static_cast<double>(pairs.size());
    state.counters["vertices"] = static_cast<double>(a->m_vertices.size() + b->m_vertices.size());
}
BENCHMARK(BM_ContactPairs<true>)->Name("BM_ContactPairs_KDTree")->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContactPairs<false>)->Name("BM_ContactPairs_AllPairs")->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return benchmain::RunWithKeptHeap(argc, argv); }
