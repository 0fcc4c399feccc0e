// SPDX-License-Identifier: GPL-3.0-or-later
// Collision of two crown-like meshes of about 20 000 faces each (open crowns 8 to 10 mm
// across, testing/MeshFixtures MakeOpenCrown variants 0 and 3): building the two
// box trees, then finding every crossing triangle pair with its contact when the second
// crown stands beside the first at several offsets, against FCL 0.7 on the same meshes
// (BVHModel<OBBd> and BVHModel<OBBRSSd>, collide with all contacts and their points).
// The full detection (regions, patches, pairing and penetration depth) has no FCL
// counterpart for non-convex meshes; it is timed on its own.
//
// Offsets: the second crown, turned a little, is moved along x so that the two crowns'
// x extents overlap by 1.0, 0.3 and 0.1 mm, or leave a 0.5 mm gap (-0.5). Counters:
// pairs, the crossing pairs found; fcl_only and ours_only, pairs one side found and the
// other did not (touching pairs within rounding); depth, the detected penetration depth.
#include <benchmark/benchmark.h>

#include <fcl/fcl.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "bench/FclMesh.h"
#include "core/collision/QvCollisionDetecter.h"
#include "core/design/QvOBBTree.h"
#include "core/geometry/QvMatrix.h"
#include "core/mesh/QvMesh.h"
#include "core/scheme/QvGapInfo.h"
#include "testing/MeshFixtures.h"

namespace {

constexpr int kFaces = 20000;
const double kOverlaps[] = {1.0, 0.3, 0.1, -0.5};

QvMatrix Placement(double angle, double tx)
{
    const QvMatrix r(QvVector(0.1, 0.05, 1.0), angle);
    QvMatrix m(4, 4);
    m.SetIdentity();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = r[i][j];
    m[0][3] = tx;
    m[1][3] = 0.4;
    m[2][3] = -0.2;
    return m;
}

// The two crowns, and for each offset the placement of the second one.
struct Scene
{
    QvMesh a = qvtest::MakeOpenCrown(kFaces, 0);
    QvMesh b = qvtest::MakeOpenCrown(kFaces, 3);
    QvMatrix placeA = Placement(0.0, 0.0);
    std::vector<QvMatrix> placeB;

    Scene()
    {
        double maxA = -1e10;
        for (const QvVertex& v : a.m_vertices)
            maxA = std::max(maxA, v.m_point[0]);
        const QvMatrix turn = Placement(0.25, 0.0);
        double minB = 1e10;
        for (const QvVertex& v : b.m_vertices)
            minB = std::min(minB, (turn * v.m_point)[0]);
        for (const double overlap : kOverlaps)
            placeB.push_back(Placement(0.25, maxA - minB - overlap));
    }
};

const Scene& GetScene()
{
    static const Scene scene;
    return scene;
}

std::set<std::pair<int, int>> OurPairs(const std::vector<QvTriSegment>& segments)
{
    std::set<std::pair<int, int>> pairs;
    for (const QvTriSegment& s : segments)
        pairs.emplace(s.m_pFirst->m_nIndex, s.m_pSecond->m_nIndex);
    return pairs;
}

std::set<std::pair<int, int>> FclPairs(const fcl::CollisionResultd& result)
{
    std::set<std::pair<int, int>> pairs;
    for (std::size_t i = 0; i < result.numContacts(); ++i)
    {
        const fcl::Contactd& c = result.getContact(i);
        pairs.emplace(c.b1, c.b2);
    }
    return pairs;
}

fcl::CollisionRequestd AllContacts()
{
    fcl::CollisionRequestd request(std::numeric_limits<int>::max(), true);
    return request;
}

// ---------------------------------------------------------------- building

void BM_BuildTrees_Rivela(benchmark::State& state)
{
    Scene scene = GetScene();
    for (auto _ : state)
    {
        QvOBBTree ta(&scene.a);
        QvOBBTree tb(&scene.b);
        benchmark::DoNotOptimize(ta.GetRoot());
        benchmark::DoNotOptimize(tb.GetRoot());
    }
    state.counters["faces"] = static_cast<double>(scene.a.m_faces.size() + scene.b.m_faces.size());
}
BENCHMARK(BM_BuildTrees_Rivela)->Unit(benchmark::kMillisecond);

template <typename BV>
void BM_BuildTrees_FCL(benchmark::State& state)
{
    const Scene& scene = GetScene();
    for (auto _ : state)
    {
        auto ma = benchfcl::MakeModel<BV>(scene.a);
        auto mb = benchfcl::MakeModel<BV>(scene.b);
        benchmark::DoNotOptimize(ma.get());
        benchmark::DoNotOptimize(mb.get());
    }
    state.counters["faces"] = static_cast<double>(scene.a.m_faces.size() + scene.b.m_faces.size());
}
BENCHMARK_TEMPLATE(BM_BuildTrees_FCL, fcl::OBBd)->Name("BM_BuildTrees_FCL_OBB")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_BuildTrees_FCL, fcl::OBBRSSd)->Name("BM_BuildTrees_FCL_OBBRSS")->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- crossing pairs

void BM_Contacts_Rivela(benchmark::State& state)
{
    Scene scene = GetScene();
    const std::size_t k = static_cast<std::size_t>(state.range(0));
    QvOBBTree ta(&scene.a);
    QvOBBTree tb(&scene.b);
    std::vector<QvTriSegment> segments;
    for (auto _ : state)
    {
        ta.SetPlacement(scene.placeA);
        tb.SetPlacement(scene.placeB[k]);
        segments.clear();
        ta.Intersect(&tb, segments);
        benchmark::DoNotOptimize(segments.data());
    }

    const auto ours = OurPairs(segments);
    auto fclA = benchfcl::MakeModel<fcl::OBBd>(scene.a);
    auto fclB = benchfcl::MakeModel<fcl::OBBd>(scene.b);
    fcl::CollisionObjectd oa(fclA, benchfcl::ToFcl(scene.placeA));
    fcl::CollisionObjectd ob(fclB, benchfcl::ToFcl(scene.placeB[k]));
    fcl::CollisionResultd result;
    fcl::collide(&oa, &ob, AllContacts(), result);
    const auto theirs = FclPairs(result);
    std::size_t oursOnly = 0;
    for (const auto& p : ours)
        oursOnly += theirs.count(p) == 0 ? 1 : 0;
    std::size_t theirsOnly = 0;
    for (const auto& p : theirs)
        theirsOnly += ours.count(p) == 0 ? 1 : 0;
    state.counters["overlap_mm"] = kOverlaps[k];
    state.counters["pairs"] = static_cast<double>(ours.size());
    state.counters["ours_only"] = static_cast<double>(oursOnly);
    state.counters["fcl_only"] = static_cast<double>(theirsOnly);
}
BENCHMARK(BM_Contacts_Rivela)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

template <typename BV>
void BM_Contacts_FCL(benchmark::State& state)
{
    const Scene& scene = GetScene();
    const std::size_t k = static_cast<std::size_t>(state.range(0));
    auto ma = benchfcl::MakeModel<BV>(scene.a);
    auto mb = benchfcl::MakeModel<BV>(scene.b);
    fcl::CollisionObjectd oa(ma, benchfcl::ToFcl(scene.placeA));
    fcl::CollisionObjectd ob(mb, benchfcl::ToFcl(scene.placeB[k]));
    const fcl::CollisionRequestd request = AllContacts();
    std::size_t contacts = 0;
    for (auto _ : state)
    {
        oa.setTransform(benchfcl::ToFcl(scene.placeA));
        ob.setTransform(benchfcl::ToFcl(scene.placeB[k]));
        fcl::CollisionResultd result;
        fcl::collide(&oa, &ob, request, result);
        contacts = result.numContacts();
        benchmark::DoNotOptimize(contacts);
    }
    state.counters["overlap_mm"] = kOverlaps[k];
    state.counters["pairs"] = static_cast<double>(contacts);
}
BENCHMARK_TEMPLATE(BM_Contacts_FCL, fcl::OBBd)
    ->Name("BM_Contacts_FCL_OBB")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_Contacts_FCL, fcl::OBBRSSd)
    ->Name("BM_Contacts_FCL_OBBRSS")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------- full detection

void BM_Detect_Rivela(benchmark::State& state)
{
    Scene scene = GetScene();
    const std::size_t k = static_cast<std::size_t>(state.range(0));
    QvOBBTree ta(&scene.a);
    QvOBBTree tb(&scene.b);
    double depth = 0.0;
    for (auto _ : state)
    {
        ta.SetPlacement(scene.placeA);
        tb.SetPlacement(scene.placeB[k]);
        QvCollisionDetecter detecter(&ta, &tb);
        const bool hit = detecter.Detect();
        depth = hit && detecter.GetGapInfo() ? detecter.GetGapInfo()->m_dDistance : 0.0;
        benchmark::DoNotOptimize(depth);
    }
    state.counters["overlap_mm"] = kOverlaps[k];
    state.counters["depth"] = depth;
}
BENCHMARK(BM_Detect_Rivela)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
