// SPDX-License-Identifier: GPL-3.0-or-later
// The doctor's road, what can be measured of it on the design window's pieces:
//   BM_OpenCaseMemory   the demo case document (20k-face crowns, 30 steps) opened as
//                       the design window's document (read, roots, trees, scheme,
//                       gums of every step) and one frame drawn, in a fresh process:
//                       its peak resident memory above the process before the open,
//                       against the raw mesh bytes (vertices x 24 + faces x 12).
//   BM_PlayedStep       one step of the step bar's play: placements, collisions and
//                       gaps, gums, attachments and measures of the step (updateView),
//                       then one frame; the collision results of each step computed anew
//   BM_FrameAlone       its peer: one frame of the same scene, nothing changed
// Frames are drawn headless (OSMesa, llvmpipe's rasteriser) at 1280 x 800.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

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
#include "core/mesh/QvMesh.h"
#include "core/model/QvModel.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/QvViewManager.h"
#include "core/render/aux/QvAuxRender.h"
#include "core/scheme/QvScheme.h"
#include "testing/DemoCase.h"
#include "bench/BenchDemo.h"
#include "testing/OffscreenGL.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 800;

// The demo case at 20k faces a crown, with the resources the document reads.
struct DemoFolder {
    QTemporaryDir dir;
    QString files;

    DemoFolder()
    {
        files = dir.filePath("case");
        bench::WriteDemoCaseFiles(files, qvtest::DemoFacesPreset("20k"));
        UseResources(dir.path(), files);
    }
    static void UseResources(const QString& folder, const QString& files)
    {
        const QString resources = folder + "/resources";
        QDir().mkpath(resources);
        QFile::link(files + "/Attachment", resources + "/Attachment.bundle");
        QFile::link(files + "/BKT", resources + "/BKT.bundle");
        platform::SetResourceFolder(resources);
    }
};

DemoFolder& Demo()
{
    static DemoFolder folder;
    return folder;
}

// "VmHWM" or "VmRSS" of /proc/self/status, in bytes.
double StatusBytes(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return 1024.0 * std::atof(line.c_str() + std::strlen(key) + 1);
    return 0.0;
}

// The scene of the open document on a headless context, at step 0.
struct Scene {
    rivela::testing::OffscreenGL gl{kWidth, kHeight};
    std::shared_ptr<RVDMDrawDelegate> window;
    QvScheme* scheme = nullptr;
    bool ok = false;
};

struct Window3D : RVDMDrawDelegate {
    int currentStep() override { return step; }
    void displayModel() override {}
    QvAuxRender* auxRender() override { return QvRenderStatus::Instance()->GetAuxRender(); }
    int step = 0;
};

// Opens the case document as the design window does and binds the renderer to it.
bool OpenAndBind(const QString& file, Scene& scene)
{
    RVModelManager& manager = RVModelManager::shared();
    if (manager.openDocumentByFilePath(file, "", kRVModelStepAnimation, nullptr) != 0)
        return false;
    QvModel* model = manager.currentDocument()->getModel();
    scene.scheme = manager.currentDocument()->currentScheme();
    QvRenderStatus* status = QvRenderStatus::Instance();
    status->GetRender()->SetModel(model);
    if (!scene.scheme || !scene.gl.IsValid() || !status->GetRender()->InitRender())
        return false;
    QvViewManager* views = QvViewManager::Instance();
    views->SetSize(kWidth, kHeight);
    views->InitActiveView();
    auto window = std::make_shared<Window3D>();
    scene.window = window;
    RVDMDrawStatus::shared().delegate = window;
    RVDMDrawStatus::shared().setScheme(scene.scheme, 0);
    RVDMViewHandle::updateView(nullptr, nullptr, 0);
    status->GetRender()->DrawScene();
    glFinish();
    scene.ok = true;
    return true;
}

void Unbind()
{
    RVDMViewHandle::clearAllAttachment();
    QvRenderStatus::Instance()->GetAuxRender()->Clear();
    QvVBOHandleMgr::Instance()->Clear();
    QvViewManager::Instance()->ResetForTests();
    QvRenderStatus::Instance()->ResetForTests();
    RVDMDrawStatus::shared().ResetForTests();
    RVDMOprationManager::shared().ResetForTests();
    RVModelManager::shared().clear();
}

// The document deletes the file it read: a fresh copy each time.
QString FreshCopy(const QString& name)
{
    const QString target = Demo().dir.filePath(name);
    QFile::remove(target);
    QFile::copy(Demo().files + "/demo.OS", target);
    return target;
}

// The child: open the case, draw, print "baseline peak raw faces" as its last line.
int OpenChild(const char* file, const char* files)
{
    QTemporaryDir dir;
    DemoFolder::UseResources(dir.path(), QString::fromLocal8Bit(files));
    const double baseline = StatusBytes("VmRSS:");
    Scene scene;
    if (!OpenAndBind(QString::fromLocal8Bit(file), scene))
        return 3;
    std::vector<QvEntity*> entities;
    RVModelManager::shared().currentDocument()->getModel()->GetAllMeshes(entities);
    double raw = 0.0, faces = 0.0;
    for (QvEntity* e : entities) {
        const auto* mesh = static_cast<QvMesh*>(e);
        raw += 24.0 * double(mesh->m_vertices.size()) + 12.0 * double(mesh->m_faces.size());
        faces += double(mesh->m_faces.size());
    }
    std::printf("%.0f %.0f %.0f %.0f\n", baseline, StatusBytes("VmHWM:"), raw, faces);
    std::fflush(stdout);
    std::_Exit(0);
}

void BM_OpenCaseMemory(benchmark::State& state)
{
    const std::string self = QFile::symLinkTarget("/proc/self/exe").toStdString();
    double baseline = 0, peak = 0, raw = 0, faces = 0;
    for (auto _ : state) {
        const QString copy = FreshCopy("memory-demo.OS");
        const std::string command = "'" + self + "' --open-child '" + copy.toStdString() + "' '" +
                                    Demo().files.toStdString() + "'";
        FILE* child = popen(command.c_str(), "r");
        // The readers say what they do on standard output too: the report is the last line.
        char line[512];
        int read = 0;
        while (child && std::fgets(line, sizeof line, child))
            read = std::sscanf(line, "%lf %lf %lf %lf", &baseline, &peak, &raw, &faces);
        if (!child || pclose(child) != 0 || read != 4) {
            state.SkipWithError("the child did not report");
            return;
        }
    }
    state.counters["peak_MiB"] = peak / 1048576.0;
    state.counters["added_MiB"] = (peak - baseline) / 1048576.0;
    state.counters["raw_mesh_MiB"] = raw / 1048576.0;
    state.counters["added_x_raw"] = raw > 0 ? (peak - baseline) / raw : 0.0;
    state.counters["faces"] = faces;
}

Scene& TheScene()
{
    static std::unique_ptr<Scene> scene;
    if (!scene) {
        scene = std::make_unique<Scene>();
        if (!OpenAndBind(FreshCopy("played-demo.OS"), *scene))
            scene->ok = false;
    }
    return *scene;
}

void BM_PlayedStep(benchmark::State& state)
{
    Scene& scene = TheScene();
    if (!scene.ok) {
        state.SkipWithError("open failed");
        return;
    }
    auto* window = static_cast<Window3D*>(scene.window.get());
    QvOpenGLRender* render = QvRenderStatus::Instance()->GetRender();
    const int steps = scene.scheme->GetStepCount();
    double seconds = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        QvCollisionDetectMgr& collisions = QvGetCollisionDetectMgr(*scene.scheme);
        collisions.Clear();
        collisions.SetScheme(scene.scheme);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        for (int step = 0; step < steps; ++step) {
            window->step = step;
            RVDMDrawStatus::shared().setScheme(scene.scheme, step);
            RVDMViewHandle::updateView(nullptr, nullptr, step);
            render->DrawScene();
            glFinish();
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["per_step_ms"] = 1e3 * seconds / double(std::max<int64_t>(1, state.iterations()) * steps);
    state.counters["steps"] = steps;
}

void BM_FrameAlone(benchmark::State& state)
{
    Scene& scene = TheScene();
    if (!scene.ok) {
        state.SkipWithError("open failed");
        return;
    }
    QvOpenGLRender* render = QvRenderStatus::Instance()->GetRender();
    for (auto _ : state) {
        render->DrawScene();
        glFinish();
    }
}

} // namespace

BENCHMARK(BM_OpenCaseMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_PlayedStep)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_FrameAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

int main(int argc, char** argv)
{
    const bool openChild = argc == 4 && std::strcmp(argv[1], "--open-child") == 0;
    // The heap as the application has it.
    if (openChild)
        qvbase::ConfigureProcessHeap(argv);
    QCoreApplication app(argc, argv);
    if (openChild) {
        return OpenChild(argv[2], argv[3]);
    }
    const int code = benchmain::RunWithKeptHeap(argc, argv);
    Unbind();
    return code;
}
