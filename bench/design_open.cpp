// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the demo case as the design window's document does, at crowns of 5k and 20k
// faces, from its zipped dental model (1041) and its case document (1049, 30 steps).
// The time of one open is split at the document's stages:
//   unzip_ms      the libraries and (1041) extracting the archive
//   read_ms       the file layer's read, arch order and deleted entities
//   roots_ms      virtual roots grown on every crown
//   trees_ms      the OBB tree of every tooth
//   switch_ms     the last scheme made current (collision candidates, virtual teeth)
//   gums_ms       the gums of every step (gums_per_step_ms: per step built), zoom limits
// Beside it, as in bench/case_open, the core read alone (unzip + read of the same file
// into a bare model): what the document adds is the difference.
// Then a step switch of the views with every overlay on (occlusion and adjacent
// contact maps, IPR marks, attachments, compare ghosts) on a headless GL context:
// cold (the collision results of each step computed anew) and cached.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/design/RVDMDrawStatus.h"
#include "app/design/RVDMOprationManager.h"
#include "app/design/RVDMViewHandle.h"
#include "app/design/RVModelManager.h"
#include "app/design/RivelaDoc.h"
#include "app/platform/Folders.h"
#include "bench/BenchMain.h"
#include "core/base/QvProcessHeap.h"
#include "core/collision/QvCollisionDetectMgr.h"
#include "core/design/QvAttachGeoMgr.h"
#include "core/model/QvModel.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvZipArchive.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/aux/QvAuxRender.h"
#include "core/render/QvViewManager.h"
#include "core/scheme/QvScheme.h"
#include "testing/DemoCase.h"
#include "bench/BenchDemo.h"
#include "testing/OffscreenGL.h"

namespace {

using Clock = std::chrono::steady_clock;

struct DemoFolder {
    QTemporaryDir dir;
    QString files;

    explicit DemoFolder(const std::string& preset)
    {
        files = dir.filePath("case");
        bench::WriteDemoCaseFiles(files, qvtest::DemoFacesPreset(preset));
        // The document reads the attachment templates from the resources.
        const QString resources = dir.filePath("resources");
        QDir().mkpath(resources);
        QFile::link(files + "/Attachment", resources + "/Attachment.bundle");
        QFile::link(files + "/BKT", resources + "/BKT.bundle");
    }
    QString Resources() const { return dir.filePath("resources"); }
};

DemoFolder& Demo(int presetIndex)
{
    static std::map<int, std::unique_ptr<DemoFolder>> folders;
    std::unique_ptr<DemoFolder>& folder = folders[presetIndex];
    if (!folder)
        folder = std::make_unique<DemoFolder>(presetIndex == 0 ? "5k" : "20k");
    platform::SetResourceFolder(folder->Resources());
    return *folder;
}

const char* FileOf(quint64 kind) { return kind == kRVModelDigital ? "demo-model.zip" : "demo.OS"; }

// The file the document reads and deletes: a fresh copy each time.
QString Copy(const DemoFolder& demo, quint64 kind, const QString& to)
{
    QFile::remove(to);
    QFile::copy(demo.files + "/" + FileOf(kind), to);
    return to;
}

void BM_DocumentOpen(benchmark::State& state)
{
    const quint64 kind = state.range(1) == 0 ? kRVModelDigital : kRVModelStepAnimation;
    DemoFolder& demo = Demo(static_cast<int>(state.range(0)));
    const QString target = demo.dir.filePath(QString("open-") + FileOf(kind));

    std::vector<std::pair<std::string, Clock::time_point>> marks;
    std::mutex mutex;
    RivelaDoc::SetStageHookForTests([&](std::string_view stage) {
        std::lock_guard lock(mutex);
        marks.emplace_back(std::string(stage), Clock::now());
    });
    std::map<std::string, double> least;
    int steps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Copy(demo, kind, target);
        marks.clear();
        auto doc = std::make_unique<RivelaDoc>();
        state.ResumeTiming();
        const Clock::time_point start = Clock::now();
        if (doc->openDocument(target, kind) != 0) {
            state.SkipWithError("open failed");
            break;
        }
        const Clock::time_point end = Clock::now();
        state.PauseTiming();
        steps = doc->totalTreatStep();
        std::map<std::string, double> phase;
        Clock::time_point from = start;
        std::string name = "unzip";
        for (const auto& [stage, at] : marks) {
            phase[name] = std::chrono::duration<double, std::milli>(at - from).count();
            name = stage;
            from = at;
        }
        phase[name] = std::chrono::duration<double, std::milli>(end - from).count();
        phase["total"] = std::chrono::duration<double, std::milli>(end - start).count();
        for (const auto& [key, ms] : phase)
            least[key] = least.count(key) ? std::min(least[key], ms) : ms;
        doc.reset(); // tearing the case down is no part of opening it
        state.ResumeTiming();
    }
    RivelaDoc::SetStageHookForTests({});
    for (const auto& [key, ms] : least)
        state.counters[key + "_ms"] = ms;
    // The gums are built for every step but 0 of a digital model; 0 too for a case document.
    const int built = kind == kRVModelDigital ? std::max(1, steps - 1) : std::max(1, steps);
    if (least.count("gums"))
        state.counters["gums_per_step_ms"] = least["gums"] / built;
    state.counters["steps"] = steps;
    state.SetLabel(std::string(state.range(0) == 0 ? "5k" : "20k") + (kind == kRVModelDigital ? " DM zip" : " OS"));
}

// The peer: what bench/case_open times, the core's read into a bare model.
void BM_CoreRead(benchmark::State& state)
{
    const quint64 kind = state.range(1) == 0 ? kRVModelDigital : kRVModelStepAnimation;
    DemoFolder& demo = Demo(static_cast<int>(state.range(0)));
    const std::string source = (demo.files + "/" + FileOf(kind)).toStdString();
    const std::string folder = demo.dir.filePath("core-unzip").toStdString() + "/";
    for (auto _ : state) {
        auto model = std::make_unique<QvModel>();
        QvReadWriteFile reader(model.get(), 0);
        int result = 1;
        if (kind == kRVModelDigital) {
            QvZipArchive zip;
            std::vector<std::string> names;
            if (zip.Unzip(source, folder, &names) && !names.empty())
                result = reader.ReadDM(folder + names.front());
        } else {
            result = reader.ReadOS(source);
        }
        if (result != 0)
            state.SkipWithError("read failed");
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
    state.SetLabel(std::string(state.range(0) == 0 ? "5k" : "20k") + (kind == kRVModelDigital ? " DM zip" : " OS"));
}

struct Window3D : RVDMDrawDelegate {
    int currentStep() override { return step; }
    void displayModel() override {}
    QvAuxRender* auxRender() override { return QvRenderStatus::Instance()->GetAuxRender(); }
    int step = 0;
};

struct AllOn : RVDMToolBarState {
    bool isAttachmentChecked() const override { return true; }
    bool isCompareChecked() const override { return true; }
    bool isCollisionChecked() const override { return true; }
    bool isGapChecked() const override { return true; }
    bool isIPRChecked() const override { return true; }
    void setCompareChecked(bool) override {}
    void uncheckCollisionAndGap() override {}
};

// Every step of the scheme shown in turn; cold: each step's contacts computed anew.
void BM_StepSwitch(benchmark::State& state)
{
    const bool cold = state.range(1) == 0;
    DemoFolder& demo = Demo(static_cast<int>(state.range(0)));
    const QString target = Copy(demo, kRVModelStepAnimation, demo.dir.filePath("switch-demo.OS"));
    RVModelManager& manager = RVModelManager::shared();
    if (manager.openDocumentByFilePath(target, "", kRVModelStepAnimation, nullptr) != 0) {
        state.SkipWithError("open failed");
        return;
    }
    QvModel* model = manager.currentDocument()->getModel();
    QvScheme* scheme = manager.currentDocument()->currentScheme();
    rivela::testing::OffscreenGL gl(800, 600);
    QvRenderStatus* status = QvRenderStatus::Instance();
    status->GetRender()->SetModel(model);
    if (!gl.IsValid() || !status->GetRender()->InitRender()) {
        state.SkipWithError("no GL");
        return;
    }
    QvViewManager* views = QvViewManager::Instance();
    views->SetSize(800, 600);
    views->InitActiveView();
    auto window = std::make_shared<Window3D>();
    auto bar = std::make_shared<AllOn>();
    RVDMDrawStatus::shared().delegate = window;
    RVDMDrawStatus::shared().setScheme(scheme, 0);
    RVDMOprationManager::shared().setToolBar(bar);
    const int steps = scheme->GetStepCount();
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            QvCollisionDetectMgr& collisions = QvGetCollisionDetectMgr(*scheme);
            collisions.Clear();
            collisions.SetScheme(scheme);
            state.ResumeTiming();
        }
        for (int step = 0; step < steps; ++step) {
            window->step = step;
            RVDMViewHandle::updateView(nullptr, nullptr, step);
        }
    }
    state.counters["per_step_ms"] =
        benchmark::Counter(steps * 1e-3, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetLabel(std::string(state.range(0) == 0 ? "5k" : "20k") + (cold ? " cold" : " cached"));
    RVDMViewHandle::clearAllAttachment();
    status->GetAuxRender()->Clear();
    QvVBOHandleMgr::Instance()->Clear();
    views->ResetForTests();
    status->ResetForTests();
    RVDMDrawStatus::shared().ResetForTests();
    RVDMOprationManager::shared().ResetForTests();
    manager.clear();
}

} // namespace

BENCHMARK(BM_DocumentOpen)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CoreRead)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StepSwitch)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char** argv)
{
    // The heap as the application has it.
    qvbase::ConfigureProcessHeap(argv);
    QCoreApplication app(argc, argv);
    return benchmain::RunWithKeptHeap(argc, argv);
}
