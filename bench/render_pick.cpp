// SPDX-License-Identifier: GPL-3.0-or-later
// Picking per mouse move on the demo case (28 teeth at about 20 000 faces a crown, gums
// and jaw bones, shown at its key step, 1280 x 800, one view from above, headless on
// Mesa's llvmpipe through OSMesa). The mouse walks over the arch: window points
// around every crown's projected centre, one point per iteration.
//   BM_Pick_Vertex        QvOpenGLSelect::Pick under mask 8: the depth under the cursor,
//                         candidates by ray against box, the nearest vertex of every
//                         candidate mesh under its placement (no spatial index);
//   BM_Pick_Teeth         the same under mask 0x80: the candidates drawn in GL_SELECT
//                         mode through an 8 x 8 pixel pick box, the nearest record;
//   BM_Nanoflann_Nearest  the peer of the vertex pick: the same depth read and
//                         unprojection, then one nearest-point query in a nanoflann tree
//                         over the same placed vertices (the tree built once, outside).
// Counters: vertices searched, picks that found something.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "bench/BenchGL.h"
#include "bench/BenchMain.h"
#include "bench/NanoCloud.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvModel.h"
#include "core/render/QvGL.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvOpenGLSelect.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/QvView.h"
#include "core/render/QvViewDrawInfo.h"
#include "core/render/QvViewManager.h"
#include "testing/DemoCase.h"
#include "testing/OffscreenGL.h"
#include "testing/SchemeStepView.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 800;

rivela::testing::OffscreenGL& Context() { return benchgl::Context(kWidth, kHeight); }


struct Scene
{
    qvtest::DemoCase demo;
    std::vector<QvGDIPoint> path; // the mouse's walk
    std::vector<QvPoint> vertices; // every placed vertex the vertex pick may visit
    std::unique_ptr<NanoCloud> cloud;
    std::unique_ptr<NanoTree> tree;
};
std::unique_ptr<Scene> g_scene;

Scene& GetScene()
{
    if (g_scene)
        return *g_scene;
    Context();
    g_scene = std::make_unique<Scene>();
    Scene& scene = *g_scene;
    qvtest::DemoOptions options;
    options.dentition.facesPerTooth = 20000;
    options.steps = 10;
    if (!qvtest::BuildDemoCase(scene.demo, options))
        std::abort();
    QvModel& model = *scene.demo.model;
    QvRenderStatus* status = QvRenderStatus::Instance();
    status->m_bBackgroundImage = false;
    status->GetSelector()->SetModel(&model);
    QvView& view = benchgl::ShowStep(model, *scene.demo.scheme, scene.demo.keyStep, kWidth, kHeight);
    const QvOpenGLRender* render = status->GetRender();
    std::vector<QvEntity*> all;
    model.GetAllEntities(all);
    QvPoint lo(1e300, 1e300, 1e300), hi(-1e300, -1e300, -1e300);
    std::vector<QvPoint> crowns;
    for (QvEntity* entity : all)
    {
        auto* mesh = dynamic_cast<QvMesh*>(entity);
        if ((entity->m_state & 0x1001u) != 1u || mesh == nullptr || !entity->IsKindOf(kQvTypeMesh))
            continue;
        std::vector<QvMatrix> placements;
        if (const QvViewDrawInfo::MatrixMap* placed = view.GetDrawInfo()->FindEntityMatrices(entity))
            for (const auto& [ghost, matrix] : *placed)
                if (!ghost)
                    placements.push_back(matrix);
        if (placements.empty())
        {
            QvMatrix identity(4, 4);
            identity.SetIdentity();
            placements.push_back(identity);
        }
        for (const QvMatrix& m : placements)
        {
            QvPoint c(0, 0, 0);
            for (const QvVertex& v : mesh->m_vertices)
            {
                const QvPoint p = m * v.m_point;
                scene.vertices.push_back(p);
                c += p;
            }
            if (entity->GetType() == kQvTypeTooth && !mesh->m_vertices.empty())
            {
                crowns.push_back(c / static_cast<double>(mesh->m_vertices.size()));
                for (int i = 0; i < 3; ++i)
                {
                    lo[i] = std::min(lo[i], crowns.back()[i] - 6);
                    hi[i] = std::max(hi[i], crowns.back()[i] + 6);
                }
            }
        }
    }
    // One frame uploads the buffers and leaves the view's matrices.
    benchgl::FrameOn(view, lo, hi, kWidth, kHeight);
    // Around every crown, a few pixels apart, as a mouse moving over the arch.
    for (const QvPoint& c : crowns)
    {
        const QvGDIPoint p = render->Project(&view, c);
        for (int k = 0; k < 8; ++k)
            scene.path.emplace_back(p.x + static_cast<int>(12 * std::cos(k * 0.785398)),
                                    p.y + static_cast<int>(12 * std::sin(k * 0.785398)));
    }
    scene.cloud = std::make_unique<NanoCloud>(NanoCloud{scene.vertices});
    scene.tree = std::make_unique<NanoTree>(3, *scene.cloud, nanoflann::KDTreeSingleIndexAdaptorParams(10));
    scene.tree->buildIndex();
    return scene;
}

// One pick per iteration along the mouse's walk; pick answers whether it found something.
template <class PickAt>
void Walk(benchmark::State& state, const Scene& scene, PickAt pick)
{
    std::size_t at = 0;
    long found = 0, picks = 0;
    for (auto _ : state)
    {
        found += pick(scene.path[at]) ? 1 : 0;
        ++picks;
        at = (at + 1) % scene.path.size();
    }
    state.counters["vertices"] = static_cast<double>(scene.vertices.size());
    state.counters["found %"] = 100.0 * static_cast<double>(found) / static_cast<double>(std::max(1L, picks));
}

void Pick(benchmark::State& state, std::uint32_t mask)
{
    Scene& scene = GetScene();
    QvRenderStatus* status = QvRenderStatus::Instance();
    status->m_pickMask = mask;
    QvOpenGLSelect* selector = status->GetSelector();
    Walk(state, scene, [&](const QvGDIPoint& pt) {
        QvObject* hit = selector->Pick(pt);
        benchmark::DoNotOptimize(hit);
        return hit != nullptr;
    });
}

void BM_Pick_Vertex(benchmark::State& state) { Pick(state, kQvTypeVertex); }
void BM_Pick_Teeth(benchmark::State& state) { Pick(state, kQvTypeTooth); }

void BM_Nanoflann_Nearest(benchmark::State& state)
{
    Scene& scene = GetScene();
    const QvOpenGLRender* render = QvRenderStatus::Instance()->GetRender();
    Walk(state, scene, [&](const QvGDIPoint& pt) {
        const QvPoint p = render->GetPointUnderCursor(pt);
        const double query[3] = {p[0], p[1], p[2]};
        std::size_t index = 0;
        double d2 = 0.0;
        nanoflann::KNNResultSet<double> result(1);
        result.init(&index, &d2);
        scene.tree->findNeighbors(result, query, nanoflann::SearchParams());
        const QvGDIPoint w = render->ProjectInActiveView(scene.vertices[index]);
        return std::abs(w.x - pt.x) + std::abs(w.y - pt.y) <= 10;
    });
}

BENCHMARK(BM_Pick_Vertex)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Pick_Teeth)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Nanoflann_Nearest)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return benchgl::RunHeadless(argc, argv, [] { g_scene.reset(); });
}
