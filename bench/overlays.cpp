// SPDX-License-Identifier: GPL-3.0-or-later
// The overlays of the 3-D view on the demo case (28 teeth at about 5 000 or 20 000
// faces a crown), headless at 1280 x 800 on llvmpipe, heap kept as the application keeps it:
//   BM_Overlay_LabelBuild   every FDI label: rasterised text, placed on the FACC or the crown;
//   BM_Overlay_StepRebuild  playback: the adjacent, occlusion and IPR overlays of one
//                           view taken down and built for the next step (the gap records
//                           of the demo's declared contacts, labels without contact maps;
//                           the budget is a step per 0.5 s);
//   BM_Frame_Overlays/0|1   one frame of scene and aux render without and with the labels,
//                           grid, adjacent labels, IPR marks and the gizmo.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "bench/BenchGL.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/render/aux/QvAuxRender.h"
#include "core/render/aux/QvAuxTransform.h"
#include "core/render/aux/QvCacheStuff.h"
#include "core/scheme/QvClinicalInfo.h"
#include "core/scheme/QvGapInfo.h"
#include "core/scheme/QvScheme.h"
#include "testing/DemoCase.h"
#include "testing/SchemeStepView.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 800;
constexpr char kFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct Scene
{
    qvtest::DemoCase demo;
    // Per step: the declared contacts as gap records (same jaw, opposing jaws).
    std::map<int, std::vector<std::unique_ptr<QvGapInfo>>> adjacent, occlusal;
};

Scene* g_active = nullptr;
std::map<int, std::unique_ptr<Scene>> g_scenes;

std::vector<QvGapInfo*> List(const std::vector<std::unique_ptr<QvGapInfo>>& gaps)
{
    std::vector<QvGapInfo*> out;
    for (const auto& g : gaps)
        out.push_back(g.get());
    return out;
}

void Activate(Scene& scene)
{
    if (g_active == &scene)
        return;
    g_active = &scene;
    QvRenderStatus* status = QvRenderStatus::Instance();
    status->GetAuxRender()->Clear();
    QvCacheStuff::Instance().Clear();
    status->m_bSmoothNormals = true;
    status->m_bBackgroundImage = false;
    QvModel& model = *scene.demo.model;
    QvView& view = benchgl::ShowStep(model, *scene.demo.scheme, scene.demo.keyStep, kWidth, kHeight);
    benchgl::FrameOn(view, model.m_bbox.m_minPoint, model.m_bbox.m_maxPoint, kWidth, kHeight);
    QvCacheStuff& cache = QvCacheStuff::Instance();
    cache.m_pModel = &model;
    cache.m_fontPath = kFont;
}

Scene& GetScene(int faces)
{
    std::unique_ptr<Scene>& scene = g_scenes[faces];
    if (!scene)
    {
        benchgl::Context(kWidth, kHeight);
        scene = std::make_unique<Scene>();
        qvtest::DemoOptions options;
        options.dentition.facesPerTooth = faces;
        options.steps = 10;
        if (!qvtest::BuildDemoCase(scene->demo, options))
            std::abort();
        QvModel& model = *scene->demo.model;
        for (const qvtest::DemoContact& c : scene->demo.contacts)
        {
            QvTooth* a = model.FindTooth(c.fdiA);
            QvTooth* b = model.FindTooth(c.fdiB);
            if (a == nullptr || b == nullptr)
                continue;
            const QvPoint between = a->GetCenterExcludingRoot() + (b->GetCenterExcludingRoot() - a->GetCenterExcludingRoot()) * 0.5;
            const bool sameJaw = (c.fdiA / 10 <= 2) == (c.fdiB / 10 <= 2);
            (sameJaw ? scene->adjacent : scene->occlusal)[c.step].push_back(
                std::make_unique<QvGapInfo>(a, b, 2, between, c.overlap ? -c.amount : c.amount));
        }
    }
    Activate(*scene);
    return *scene;
}

void BM_Overlay_LabelBuild(benchmark::State& state)
{
    Scene& scene = GetScene(static_cast<int>(state.range(0)));
    QvCacheStuff& cache = QvCacheStuff::Instance();
    for (auto _ : state)
        cache.BuildFDILabels();
    state.counters["labels"] = static_cast<double>(cache.m_fdiLabels.size());
    cache.ShowFDI(false);
    (void)scene;
}

void BM_Overlay_StepRebuild(benchmark::State& state)
{
    Scene& scene = GetScene(static_cast<int>(state.range(0)));
    QvView* view = QvViewManager::Instance()->GetActiveView();
    QvCacheStuff* cache = QvRenderStatus::Instance()->GetAuxRender()->GetViewCache(view->GetID());
    cache->m_pModel = scene.demo.model.get();
    cache->m_pScheme = scene.demo.scheme;
    cache->m_pView = view;
    const QvIprMap& iprs = scene.demo.scheme->m_pClinicalInfo->GetIprMap();
    const int steps = scene.demo.finalStep + 1;
    int step = 0;
    for (auto _ : state)
    {
        cache->ShowAdjacent(List(scene.adjacent[step]));
        cache->ShowOcclusion(List(scene.occlusal[step]));
        cache->ShowIPR(iprs, step, QvColor(0, 255, 255));
        step = (step + 1) % steps;
    }
    cache->HideAdjacent();
    cache->HideOcclusion();
    cache->HideIPR();
}

void BM_Frame_Overlays(benchmark::State& state)
{
    Scene& scene = GetScene(static_cast<int>(state.range(0)));
    QvRenderStatus* status = QvRenderStatus::Instance();
    QvAuxRender* aux = status->GetAuxRender();
    QvCacheStuff& shared = QvCacheStuff::Instance();
    QvView* view = QvViewManager::Instance()->GetActiveView();
    QvCacheStuff* cache = aux->GetViewCache(view->GetID());
    QvAuxTransform* gizmo = nullptr;
    const bool overlays = state.range(1) != 0;
    if (overlays)
    {
        shared.ShowFDI(true);
        shared.ShowGrid(true);
        cache->m_pModel = scene.demo.model.get();
        cache->m_pScheme = scene.demo.scheme;
        cache->m_pView = view;
        cache->ShowAdjacent(List(scene.adjacent[scene.demo.keyStep]));
        cache->ShowIPR(scene.demo.scheme->m_pClinicalInfo->GetIprMap(), scene.demo.keyStep, QvColor(0, 255, 255));
        gizmo = new QvAuxTransform(1, true);
        gizmo->m_handleScale = 8.0;
        gizmo->SetFrame(QvFrame(QvPoint(0, 0, 0), QvVector(1, 0, 0), QvVector(0, 1, 0)));
        aux->AddObject(gizmo);
    }
    QvOpenGLRender* render = status->GetRender();
    for (auto _ : state)
    {
        render->DrawScene();
        aux->Draw();
        glFinish();
    }
    if (overlays)
    {
        aux->RemoveObject(gizmo, true);
        cache->HideAdjacent();
        cache->HideIPR();
        shared.ShowGrid(false);
        shared.ShowFDI(false);
    }
}

BENCHMARK(BM_Overlay_LabelBuild)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Overlay_StepRebuild)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Frame_Overlays)
    ->Args({5000, 0})
    ->Args({5000, 1})
    ->Args({20000, 0})
    ->Args({20000, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return benchgl::RunHeadless(argc, argv, [] {
        QvCacheStuff::Instance().m_pModel = nullptr;
        g_scenes.clear();
    });
}
