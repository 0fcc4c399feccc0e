// SPDX-License-Identifier: GPL-3.0-or-later
// Where a tooth stands at a step: QvScheme::FindStep, asked for every tooth of every
// view at every frame of playback, against a per-tooth index of sorted step numbers
// (a peer design that would need rebuilding after every edit). Also one edit of a
// lower tooth inside its edit frame.
//
// Dense schemes give every tooth a step in every list up to its final step, as the
// planning service writes them; sparse ones only initial, key and final steps, so
// that most lookups walk back through lists without a step of the tooth.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/scheme/QvScheme.h"

namespace {

const int kFdis[] = {17, 16, 15, 14, 13, 12, 11, 21, 22, 23, 24, 25, 26, 27, 28, 18,
                     47, 46, 45, 44, 43, 42, 41, 31, 32, 33, 34, 35, 36, 37, 38, 48};

struct Case
{
    Case(int teethCount, int steps, bool dense)
    {
        scheme.SetModel(&model);
        std::mt19937 random(5);
        for (int i = 0; i < teethCount; ++i)
        {
            auto* tooth = new QvTooth();
            tooth->SetFdi(kFdis[i]);
            model.AddEntity(tooth);
            teeth.push_back(tooth);
        }
        QvMatrix m(4, 4);
        m.SetIdentity();
        for (QvTooth* tooth : teeth)
        {
            // Finals spread over the last quarter; over-correction steps after them.
            const int last = steps - 4 - static_cast<int>(random() % static_cast<unsigned>(steps / 4));
            scheme.InsertTreatStep(tooth, 0, kQvStepInitial, m);
            for (int n = 1; n < last; ++n)
                if (dense || n % 8 == 0)
                    scheme.InsertTreatStep(tooth, n, dense ? kQvStepMoving : kQvStepKey, m);
            scheme.InsertTreatStep(tooth, last, kQvStepFinal, m);
            scheme.InsertTreatStep(tooth, last + 2, kQvStepOverCorrectionEnd, m);
        }
        for (QvTreatStepList* list : scheme.m_stepLists)
            std::shuffle(list->m_steps.begin(), list->m_steps.end(), random);
    }

    QvModel model;
    QvScheme scheme;
    std::vector<QvTooth*> teeth;
};

// The peer: per tooth its (step number, step) pairs in step order, searched by bisection.
struct Index
{
    explicit Index(const Case& c)
    {
        for (const QvTooth* tooth : c.teeth)
        {
            std::vector<std::pair<int, const QvTreatStep*>>& steps = byTooth[tooth];
            for (std::size_t i = 0; i < c.scheme.m_stepLists.size(); ++i)
                if (const QvTreatStep* s = c.scheme.m_stepLists[i]->FindStep(tooth))
                    steps.emplace_back(static_cast<int>(i), s);
            initial[tooth] = c.scheme.GetInitialStep(tooth);
        }
    }
    const QvTreatStep* Find(int step, const QvToothBase* tooth) const
    {
        const auto& steps = byTooth.at(tooth);
        auto it = std::upper_bound(steps.begin(), steps.end(), step,
                                   [](int s, const std::pair<int, const QvTreatStep*>& e) { return s < e.first; });
        return it == steps.begin() ? initial.at(tooth) : std::prev(it)->second;
    }
    std::map<const QvToothBase*, std::vector<std::pair<int, const QvTreatStep*>>> byTooth;
    std::map<const QvToothBase*, const QvTreatStep*> initial;
};

const Case& Shared(int teeth, int steps, bool dense)
{
    static std::map<std::tuple<int, int, bool>, std::unique_ptr<Case>> cases;
    auto& c = cases[{teeth, steps, dense}];
    if (!c)
        c = std::make_unique<Case>(teeth, steps, dense);
    return *c;
}

std::vector<std::pair<int, const QvToothBase*>> RandomQueries(const Case& c, int steps)
{
    std::mt19937 random(9);
    std::vector<std::pair<int, const QvToothBase*>> queries(4096);
    for (auto& q : queries)
        q = {static_cast<int>(random() % static_cast<unsigned>(steps)), c.teeth[random() % c.teeth.size()]};
    return queries;
}

// range(0): teeth, range(1): steps, range(2): dense.
void BM_FindStep_Random(benchmark::State& state)
{
    const int steps = static_cast<int>(state.range(1));
    const Case& c = Shared(static_cast<int>(state.range(0)), steps, state.range(2) != 0);
    const auto queries = RandomQueries(c, steps);
    std::size_t i = 0;
    for (auto _ : state)
    {
        const auto& q = queries[i++ & 4095];
        benchmark::DoNotOptimize(c.scheme.FindStep(q.first, q.second));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_IndexPeer_Random(benchmark::State& state)
{
    const int steps = static_cast<int>(state.range(1));
    const Case& c = Shared(static_cast<int>(state.range(0)), steps, state.range(2) != 0);
    const Index index(c);
    const auto queries = RandomQueries(c, steps);
    std::size_t i = 0;
    for (auto _ : state)
    {
        const auto& q = queries[i++ & 4095];
        benchmark::DoNotOptimize(index.Find(q.first, q.second));
    }
    state.SetItemsProcessed(state.iterations());
}

// Sequential playback: one iteration is one frame, placing every tooth at the next step.
void BM_FindStep_Playback(benchmark::State& state)
{
    const int steps = static_cast<int>(state.range(1));
    const Case& c = Shared(static_cast<int>(state.range(0)), steps, state.range(2) != 0);
    int s = 0;
    for (auto _ : state)
    {
        for (const QvTooth* tooth : c.teeth)
            benchmark::DoNotOptimize(c.scheme.FindStep(s, tooth));
        s = s + 1 == steps ? 0 : s + 1;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(c.teeth.size()));
}

void BM_IndexPeer_Playback(benchmark::State& state)
{
    const int steps = static_cast<int>(state.range(1));
    const Case& c = Shared(static_cast<int>(state.range(0)), steps, state.range(2) != 0);
    const Index index(c);
    int s = 0;
    for (auto _ : state)
    {
        for (const QvTooth* tooth : c.teeth)
            benchmark::DoNotOptimize(index.Find(s, tooth));
        s = s + 1 == steps ? 0 : s + 1;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(c.teeth.size()));
}

// One edit pair on a lower tooth in a 32 x 60 scheme with moved, bitten jaws: the
// tooth's step at 20 removed (later steps move down, the gap is interpolated), then
// a moving step put back after 19 (later steps move up, interpolated again).
void BM_EditPair_32x60(benchmark::State& state)
{
    Case c(32, 60, true);
    QvMatrix jaw(4, 4);
    jaw.SetIdentity();
    jaw[2][3] = -0.5;
    for (std::size_t i = 30; i < c.scheme.m_stepLists.size(); ++i)
    {
        c.scheme.m_stepLists[i]->m_jawMatrix = jaw;
        c.scheme.m_stepLists[i]->m_bBite = i % 10 == 0;
    }
    c.scheme.AddBiteSteps();
    QvTooth* tooth = c.teeth[20];
    for (auto _ : state)
    {
        c.scheme.RemoveKeyStep(20, tooth);
        c.scheme.InsertStepAfter(19, tooth, kQvStepMoving);
    }
    state.SetItemsProcessed(state.iterations() * 2);
}

#define SIZES ->Args({28, 40, 1})->Args({28, 40, 0})->Args({32, 60, 1})->Args({32, 60, 0})

BENCHMARK(BM_FindStep_Random) SIZES;
BENCHMARK(BM_IndexPeer_Random) SIZES;
BENCHMARK(BM_FindStep_Playback) SIZES;
BENCHMARK(BM_IndexPeer_Playback) SIZES;
BENCHMARK(BM_EditPair_32x60)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
