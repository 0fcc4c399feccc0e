// SPDX-License-Identifier: GPL-3.0-or-later
// Collision and gap detection over a whole case: the demo case with crowns of about
// 20 000 faces (28 teeth, 30 steps, the pontic taking part), the per-scheme manager
// against FCL 0.7 (BVHModel<OBBRSSd>, and BVHModel<OBBd> for the collisions: FCL
// measures no distance on OBB trees, so its gaps come from the OBBRSS trees there too)
// on the same placed meshes.
//
//   TreeBuild28     the box trees of the 28 teeth of the case model, one after the
//                   other, and ours also side by side through the cache (AddMeshes);
//                   the trees' heap per raw mesh byte (vertices x 24 + faces x 12);
//   Step            every candidate pair of step 1 (13 + 13 neighbours, the pontic
//                   standing in for 25, then 14 x 14 upper x lower): ours cold (trees
//                   in the cache and placed, no result stored), ours cached (the
//                   second call, served from the stored results), FCL a boolean
//                   collision per pair and a distance per non-colliding neighbour pair
//                   (the same work);
//   AllSteps        the same over all 30 steps, cold;
//   GapDistance     the gap of each non-colliding neighbour pair of step 1: the plane
//                   sections of the gap detecter against FCL's exact mesh distance;
//   Depth           the penetration depth of the demo's declared overlaps against the
//                   brute-force clearance of the demo generator (FCL has no penetration
//                   depth for non-convex meshes).
//
// Counters: pairs colliding per FCL and per our detecter (before the 0.05 threshold),
// both / fcl_only / ours_only, the records the manager reports; the largest difference
// between the two gap figures and between our depth and the oracle's.
#include <benchmark/benchmark.h>

#include <fcl/fcl.h>

#include <algorithm>
#include <cmath>
#include <malloc.h>

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchMain.h"
#include "bench/FclMesh.h"
#include "core/design/QvOBBTree.h"
#include "core/design/QvOBBTreeMgr.h"
#include "core/collision/QvCollisionDetectMgr.h"
#include "core/collision/QvCollisionDetecter.h"
#include "core/collision/QvGapDetecter.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualTooth.h"
#include "core/scheme/QvGapInfo.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvTreatStep.h"
#include "testing/DemoCase.h"

namespace {

using FclModel = fcl::BVHModel<fcl::OBBRSSd>;
using FclObbModel = fcl::BVHModel<fcl::OBBd>;

constexpr int kStep = 1;

struct Pair
{
    QvToothBase* first;
    QvToothBase* second;
    bool sameJaw;
};

struct Scene
{
    qvtest::DemoCase demo;
    QvScheme* scheme = nullptr;
    QvCollisionDetectMgr* mgr = nullptr;
    std::vector<QvToothBase*> modelTeeth;
    std::map<const QvToothBase*, std::shared_ptr<FclModel>> fcl;
    std::map<const QvToothBase*, std::shared_ptr<FclObbModel>> fclObb;

    Scene()
    {
        qvtest::DemoOptions options;
        options.dentition.facesPerTooth = qvtest::DemoFacesPreset("20k");
        if (!qvtest::BuildDemoCase(demo, options))
            std::abort();
        scheme = demo.scheme;
        // A pontic the planner places stands in for the tooth it replaces.
        demo.pontic->m_nKind = 1;
        for (QvEntity* e : demo.model->m_teeth)
            modelTeeth.push_back(static_cast<QvToothBase*>(e));
        // As the case document does when it opens the case.
        for (QvToothBase* t : modelTeeth)
            QvOBBTreeMgr::Instance()->AddMesh(t);
        QvOBBTreeMgr::Instance()->AddMesh(demo.pontic);
        for (QvToothBase* t : modelTeeth)
            fcl[t] = benchfcl::MakeModel<fcl::OBBRSSd>(*t);
        fcl[demo.pontic] = benchfcl::MakeModel<fcl::OBBRSSd>(*demo.pontic);
        for (QvToothBase* t : modelTeeth)
            fclObb[t] = benchfcl::MakeModel<fcl::OBBd>(*t);
        fclObb[demo.pontic] = benchfcl::MakeModel<fcl::OBBd>(*demo.pontic);
        mgr = &QvGetCollisionDetectMgr(*scheme);
        mgr->SetScheme(scheme);
    }

    QvMatrix Placement(const QvToothBase* tooth, int step) const
    {
        return qvtest::DemoStepMatrix(*scheme, tooth, step) * QvOwnPlacement(tooth);
    }

    std::vector<Pair> Pairs(int step) const
    {
        std::vector<Pair> out;
        for (const Candidate& c : mgr->GetCandidates()[static_cast<std::size_t>(step)])
            out.push_back({c.m_pFirst, c.m_pSecond, c.m_bSameJaw});
        return out;
    }

    // Our tree of the tooth placed at the step (the pontic's own matrix is rigid here).
    QvOBBTree* Tree(QvToothBase* tooth, int step) const
    {
        QvOBBTree* tree = QvOBBTreeMgr::Instance()->FindTree(tooth);
        tree->SetPlacement(Placement(tooth, step));
        return tree;
    }

    bool FclCollide(const Pair& p, int step, bool obb = false) const
    {
        fcl::CollisionRequestd request;
        fcl::CollisionResultd result;
        const fcl::CollisionGeometryd* a = obb ? static_cast<const fcl::CollisionGeometryd*>(fclObb.at(p.first).get())
                                               : fcl.at(p.first).get();
        const fcl::CollisionGeometryd* b = obb ? static_cast<const fcl::CollisionGeometryd*>(fclObb.at(p.second).get())
                                               : fcl.at(p.second).get();
        fcl::collide(a, benchfcl::ToFcl(Placement(p.first, step)), b, benchfcl::ToFcl(Placement(p.second, step)),
                     request, result);
        return result.isCollision();
    }

    double FclDistance(const Pair& p, int step) const
    {
        fcl::DistanceRequestd request;
        fcl::DistanceResultd result;
        fcl::distance(fcl.at(p.first).get(), benchfcl::ToFcl(Placement(p.first, step)), fcl.at(p.second).get(),
                      benchfcl::ToFcl(Placement(p.second, step)), request, result);
        return result.min_distance;
    }

    bool OursCollide(const Pair& p, int step) const
    {
        QvCollisionDetecter detecter(Tree(p.first, step), Tree(p.second, step));
        return detecter.Detect();
    }
};

Scene& GetScene()
{
    static Scene scene;
    return scene;
}

// Which pairs of the steps collide per FCL and per our detecter.
void CountSamePairs(benchmark::State& state, const Scene& scene, int from, int to)
{
    double both = 0, fclOnly = 0, oursOnly = 0, fclPairs = 0, ourPairs = 0;
    for (int s = from; s <= to; ++s)
        for (const Pair& p : scene.Pairs(s))
        {
            const bool theirs = scene.FclCollide(p, s);
            const bool ours = scene.OursCollide(p, s);
            fclPairs += theirs;
            ourPairs += ours;
            both += theirs && ours;
            fclOnly += theirs && !ours;
            oursOnly += ours && !theirs;
        }
    state.counters["fcl_colliding"] = fclPairs;
    state.counters["ours_colliding"] = ourPairs;
    state.counters["both"] = both;
    state.counters["fcl_only"] = fclOnly;
    state.counters["ours_only"] = oursOnly;
}

void CountRecords(benchmark::State& state, const std::vector<QvGapInfo*>& out)
{
    double contacts = 0, gaps = 0;
    for (const QvGapInfo* r : out)
        (r->m_nKind == kQvGapKindContact ? contacts : gaps) += 1;
    state.counters["contacts"] = contacts;
    state.counters["gaps"] = gaps;
}

void MarkStepDirty(Scene& scene, int step)
{
    for (Candidate& c : scene.mgr->GetCandidates()[static_cast<std::size_t>(step)])
        c.m_bDirty = true;
}

// ---------------------------------------------------------------- tree building

void BM_TreeBuild28_Rivela(benchmark::State& state)
{
    const Scene& scene = GetScene();
    double faces = 0;
    for (auto _ : state)
        for (QvToothBase* t : scene.modelTeeth)
        {
            QvOBBTree tree(t);
            benchmark::DoNotOptimize(tree.GetRoot());
        }
    for (const QvToothBase* t : scene.modelTeeth)
        faces += static_cast<double>(t->m_faces.size());
    state.counters["teeth"] = static_cast<double>(scene.modelTeeth.size());
    state.counters["faces"] = faces;
}
BENCHMARK(BM_TreeBuild28_Rivela)->Unit(benchmark::kMillisecond);

// The 28 trees built into the cache side by side, as opening a case builds them.
void BM_TreeBuild28_RivelaParallel(benchmark::State& state)
{
    const Scene& scene = GetScene();
    std::vector<QvMesh*> meshes(scene.modelTeeth.begin(), scene.modelTeeth.end());
    QvOBBTreeMgr* cache = QvOBBTreeMgr::Instance();
    for (auto _ : state)
    {
        state.PauseTiming();
        cache->RemoveMeshes(meshes);
        state.ResumeTiming();
        cache->AddMeshes(meshes);
    }
    state.counters["teeth"] = static_cast<double>(meshes.size());
    state.counters["threads"] = static_cast<double>(std::thread::hardware_concurrency());
}
BENCHMARK(BM_TreeBuild28_RivelaParallel)->Unit(benchmark::kMillisecond)->UseRealTime();

template <typename BV>
void TreeBuild28Fcl(benchmark::State& state)
{
    const Scene& scene = GetScene();
    for (auto _ : state)
        for (QvToothBase* t : scene.modelTeeth)
        {
            auto model = benchfcl::MakeModel<BV>(*t);
            benchmark::DoNotOptimize(model.get());
        }
    state.counters["teeth"] = static_cast<double>(scene.modelTeeth.size());
}
void BM_TreeBuild28_FCL(benchmark::State& state) { TreeBuild28Fcl<fcl::OBBRSSd>(state); }
void BM_TreeBuild28_FCL_OBB(benchmark::State& state) { TreeBuild28Fcl<fcl::OBBd>(state); }
BENCHMARK(BM_TreeBuild28_FCL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeBuild28_FCL_OBB)->Unit(benchmark::kMillisecond);

// The heap the 28 trees take (one malloc arena is in use here: the scene is built
// on this thread), against the raw bytes of their meshes; FCL's trees by their node,
// vertex and triangle arrays.
double HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

void BM_TreeMemory28(benchmark::State& state)
{
    const Scene& scene = GetScene();
    double raw = 0.0, ours = 0.0, obbrss = 0.0, obb = 0.0;
    for (const QvToothBase* t : scene.modelTeeth)
        raw += 24.0 * static_cast<double>(t->m_vertices.size()) + 12.0 * static_cast<double>(t->m_faces.size());
    for (auto _ : state)
    {
        const double before = HeapInUse();
        std::vector<std::unique_ptr<QvOBBTree>> trees;
        for (QvToothBase* t : scene.modelTeeth)
            trees.push_back(std::make_unique<QvOBBTree>(t));
        ours = HeapInUse() - before;
    }
    const auto fclBytes = [](const auto& model, std::size_t node) {
        return static_cast<double>(model.getNumBVs()) * static_cast<double>(node) +
               static_cast<double>(model.num_vertices) * sizeof(fcl::Vector3d) +
               static_cast<double>(model.num_tris) * (sizeof(fcl::Triangle) + sizeof(unsigned int));
    };
    for (const QvToothBase* t : scene.modelTeeth)
    {
        obbrss += fclBytes(*scene.fcl.at(t), sizeof(fcl::BVNode<fcl::OBBRSSd>));
        obb += fclBytes(*scene.fclObb.at(t), sizeof(fcl::BVNode<fcl::OBBd>));
    }
    state.counters["raw_MB"] = raw / 1e6;
    state.counters["ours_x"] = ours / raw;
    state.counters["fcl_obbrss_x"] = obbrss / raw;
    state.counters["fcl_obb_x"] = obb / raw;
}
BENCHMARK(BM_TreeMemory28)->Unit(benchmark::kMillisecond)->Iterations(1);

// ---------------------------------------------------------------- one step

void BM_StepCold_Rivela(benchmark::State& state)
{
    Scene& scene = GetScene();
    std::vector<QvGapInfo*> out;
    for (auto _ : state)
    {
        MarkStepDirty(scene, kStep);
        out.clear();
        scene.mgr->GetStepContacts(kStep, true, true, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["pairs"] = static_cast<double>(scene.Pairs(kStep).size());
    CountRecords(state, out);
    CountSamePairs(state, scene, kStep, kStep);
}
BENCHMARK(BM_StepCold_Rivela)->Unit(benchmark::kMillisecond);

void BM_StepCached_Rivela(benchmark::State& state)
{
    Scene& scene = GetScene();
    MarkStepDirty(scene, kStep);
    std::vector<QvGapInfo*> out;
    scene.mgr->GetStepContacts(kStep, true, true, out);
    for (auto _ : state)
    {
        out.clear();
        scene.mgr->GetStepContacts(kStep, true, true, out);
        benchmark::DoNotOptimize(out.data());
    }
    CountRecords(state, out);
}
BENCHMARK(BM_StepCached_Rivela)->Unit(benchmark::kMicrosecond);

void BM_Step_FCL(benchmark::State& state)
{
    const Scene& scene = GetScene();
    const std::vector<Pair> pairs = scene.Pairs(kStep);
    double colliding = 0, measured = 0;
    for (auto _ : state)
    {
        colliding = measured = 0;
        for (const Pair& p : pairs)
            if (scene.FclCollide(p, kStep))
                ++colliding;
            else if (p.sameJaw)
            {
                benchmark::DoNotOptimize(scene.FclDistance(p, kStep));
                ++measured;
            }
    }
    state.counters["pairs"] = static_cast<double>(pairs.size());
    state.counters["colliding"] = colliding;
    state.counters["distances"] = measured;
}
BENCHMARK(BM_Step_FCL)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- every step

void BM_AllSteps_Rivela(benchmark::State& state)
{
    Scene& scene = GetScene();
    const int steps = scene.scheme->GetStepCount();
    std::vector<QvGapInfo*> out;
    for (auto _ : state)
    {
        scene.mgr->SetAllDirty();
        out.clear();
        for (int s = 0; s < steps; ++s)
            scene.mgr->GetStepContacts(s, true, true, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["steps"] = steps;
    CountRecords(state, out);
    CountSamePairs(state, scene, 0, steps - 1);
}
BENCHMARK(BM_AllSteps_Rivela)->Unit(benchmark::kMillisecond)->Iterations(3);

void AllStepsFcl(benchmark::State& state, bool obb)
{
    const Scene& scene = GetScene();
    const int steps = scene.scheme->GetStepCount();
    double colliding = 0;
    for (auto _ : state)
    {
        colliding = 0;
        for (int s = 0; s < steps; ++s)
            for (const Pair& p : scene.Pairs(s))
                if (scene.FclCollide(p, s, obb))
                    ++colliding;
                else if (p.sameJaw)
                    benchmark::DoNotOptimize(scene.FclDistance(p, s));
    }
    state.counters["steps"] = steps;
    state.counters["colliding"] = colliding;
}
void BM_AllSteps_FCL(benchmark::State& state) { AllStepsFcl(state, false); }
void BM_AllSteps_FCL_OBB(benchmark::State& state) { AllStepsFcl(state, true); }
BENCHMARK(BM_AllSteps_FCL)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AllSteps_FCL_OBB)->Unit(benchmark::kMillisecond)->Iterations(3);

// ---------------------------------------------------------------- gaps

// The neighbour pairs of the step that neither side finds colliding.
std::vector<Pair> GapPairs(const Scene& scene)
{
    std::vector<Pair> out;
    for (const Pair& p : scene.Pairs(kStep))
        if (p.sameJaw && !scene.FclCollide(p, kStep) && !scene.OursCollide(p, kStep))
            out.push_back(p);
    return out;
}

void BM_GapDistance_Rivela(benchmark::State& state)
{
    const Scene& scene = GetScene();
    const std::vector<Pair> pairs = GapPairs(scene);
    std::vector<double> ours(pairs.size(), 0.0);
    for (auto _ : state)
        for (std::size_t i = 0; i < pairs.size(); ++i)
        {
            QvGapDetecter gap(pairs[i].first, scene.Placement(pairs[i].first, kStep), pairs[i].second,
                              scene.Placement(pairs[i].second, kStep));
            benchmark::DoNotOptimize(gap.Detect());
            ours[i] = gap.GetGapInfo() ? gap.GetGapInfo()->m_dDistance : -1.0;
        }
    double maxDiff = 0.0, sumDiff = 0.0, maxBelow = 0.0, worstOurs = 0.0, worstFcl = 0.0;
    for (std::size_t i = 0; i < pairs.size(); ++i)
    {
        const double exact = scene.FclDistance(pairs[i], kStep);
        const double diff = ours[i] - exact;
        if (std::fabs(diff) > maxDiff)
        {
            maxDiff = std::fabs(diff);
            worstOurs = ours[i];
            worstFcl = exact;
        }
        sumDiff += std::fabs(diff);
        maxBelow = std::max(maxBelow, -diff);
    }
    state.counters["pairs"] = static_cast<double>(pairs.size());
    state.counters["max_diff"] = maxDiff;
    state.counters["mean_diff"] = pairs.empty() ? 0.0 : sumDiff / static_cast<double>(pairs.size());
    state.counters["max_below_fcl"] = maxBelow;
    state.counters["worst_ours"] = worstOurs;
    state.counters["worst_fcl"] = worstFcl;
}
BENCHMARK(BM_GapDistance_Rivela)->Unit(benchmark::kMillisecond);

void BM_GapDistance_FCL(benchmark::State& state)
{
    const Scene& scene = GetScene();
    const std::vector<Pair> pairs = GapPairs(scene);
    for (auto _ : state)
        for (const Pair& p : pairs)
            benchmark::DoNotOptimize(scene.FclDistance(p, kStep));
    state.counters["pairs"] = static_cast<double>(pairs.size());
}
BENCHMARK(BM_GapDistance_FCL)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- penetration depth

struct Overlap
{
    Pair pair;
    int step;
    double declared;
    std::string name;
};

std::vector<Overlap> Overlaps(const Scene& scene)
{
    std::vector<Overlap> out;
    for (const qvtest::DemoContact& c : scene.demo.contacts)
        if (c.overlap)
            out.push_back({{scene.demo.model->FindTooth(c.fdiA), scene.demo.model->FindTooth(c.fdiB), true}, c.step,
                           c.amount, std::to_string(c.fdiA) + "_" + std::to_string(c.fdiB)});
    return out;
}

void BM_Depth_Rivela(benchmark::State& state)
{
    const Scene& scene = GetScene();
    const std::vector<Overlap> overlaps = Overlaps(scene);
    std::vector<double> depth(overlaps.size(), 0.0);
    for (auto _ : state)
        for (std::size_t i = 0; i < overlaps.size(); ++i)
        {
            const Overlap& o = overlaps[i];
            QvCollisionDetecter detecter(scene.Tree(o.pair.first, o.step), scene.Tree(o.pair.second, o.step));
            depth[i] = detecter.Detect() && detecter.GetGapInfo() ? detecter.GetGapInfo()->m_dDistance : 0.0;
        }
    double maxDiff = 0.0;
    for (std::size_t i = 0; i < overlaps.size(); ++i)
    {
        const Overlap& o = overlaps[i];
        const double oracle = -qvtest::DemoClearance(*o.pair.first, scene.Placement(o.pair.first, o.step),
                                                     *o.pair.second, scene.Placement(o.pair.second, o.step));
        maxDiff = std::max(maxDiff, std::fabs(depth[i] - oracle));
        state.counters["ours_" + o.name] = depth[i];
        state.counters["oracle_" + o.name] = oracle;
    }
    state.counters["overlaps"] = static_cast<double>(overlaps.size());
    state.counters["max_diff"] = maxDiff;
}
BENCHMARK(BM_Depth_Rivela)->Unit(benchmark::kMillisecond);

void BM_Depth_Oracle(benchmark::State& state)
{
    const Scene& scene = GetScene();
    const std::vector<Overlap> overlaps = Overlaps(scene);
    for (auto _ : state)
        for (const Overlap& o : overlaps)
            benchmark::DoNotOptimize(qvtest::DemoClearance(*o.pair.first, scene.Placement(o.pair.first, o.step),
                                                           *o.pair.second, scene.Placement(o.pair.second, o.step)));
    state.counters["overlaps"] = static_cast<double>(overlaps.size());
}
BENCHMARK(BM_Depth_Oracle)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return benchmain::RunWithKeptHeap(argc, argv); }
