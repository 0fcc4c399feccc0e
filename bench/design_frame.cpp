// SPDX-License-Identifier: GPL-3.0-or-later
// The demo case drawn by the design window's 3-D view, a QOpenGLWidget of 1280 x 800
// on an X server (run under xvfb-run, Mesa llvmpipe), at step 3 like bench/render_frame:
//   BM_WidgetFrame   one frame asked for (update) and waited for until it is swapped onto
//                    the window: paintGL into the widget's framebuffer object and the
//                    composition of that onto the window;
//   BM_PlaybackTick  what a step bar's tick costs: a step switch of the views (every
//                    overlay as the window opens them) and the repaint, to set against
//                    the 0.5 s playback period.
// bench/render_frame times the renderer alone through OSMesa at the same size.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QWindow>

#include <atomic>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

#include "app/design/RVDMDrawStatus.h"
#include "app/design/RVDMOprationManager.h"
#include "app/design/RVModelManager.h"
#include "app/design/RivelaDoc.h"
#include "app/design/RivelaView.h"
#include "app/platform/Folders.h"
#include "app/service/RVCaseInfo.h"
#include "bench/BenchMain.h"
#include "core/design/QvAttachGeoMgr.h"
#include "core/model/QvModel.h"
#include "core/render/QvGL.h"
#include "core/render/QvViewManager.h"
#include "testing/DemoCase.h"
#include "bench/BenchDemo.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 800;
constexpr int kStep = 3;

struct Opened {
    QTemporaryDir dir;
    std::unique_ptr<RivelaView> view;
};

long g_swapped = 0;

std::map<int, std::unique_ptr<Opened>>& Cases()
{
    static std::map<int, std::unique_ptr<Opened>> cases;
    return cases;
}

// The demo case of that many faces a crown, open in a shown view at step 3.
RivelaView* ViewOf(int faces)
{
    if (Cases().count(faces))
        return Cases()[faces]->view.get();
    // One case open at a time: the next open replaces the document the view draws.
    for (auto& [other, o] : Cases())
        if (o && o->view)
            o->view->Clear();
    Cases().clear();
    RVModelManager::shared().clear();
    std::unique_ptr<Opened>& opened = Cases()[faces];
    opened = std::make_unique<Opened>();
    const QString files = opened->dir.filePath("case");
    bench::WriteDemoCaseFiles(files, faces);
    const QString resources = opened->dir.filePath("resources");
    QDir().mkpath(resources);
    QFile::link(files + "/Attachment", resources + "/Attachment.bundle");
    QFile::link(files + "/BKT", resources + "/BKT.bundle");
    platform::SetResourceFolder(resources);

    auto info = std::make_shared<RVCaseInfo>();
    info->modelType = kRVModelStepAnimation;
    const QString path = files + "/open-demo.OS";
    QFile::copy(files + "/demo.OS", path);
    std::atomic<bool> done{false};
    unsigned result = 99;
    std::thread worker([&] {
        result = RVModelManager::shared().openDocumentByFilePath(path, QString(), kRVModelStepAnimation, info);
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    if (result != 0)
        throw std::runtime_error("cannot open the demo case");

    opened->view = std::make_unique<RivelaView>();
    RivelaView* view = opened->view.get();
    view->resize(kWidth, kHeight);
    view->show();
    for (int i = 0; i < 250 && !(view->windowHandle() && view->windowHandle()->isExposed() && view->isValid()); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    view->reloadData();
    if (!view->getModel() || !view->isValid())
        throw std::runtime_error("no model or no GL context");
    RVDMOprationManager::shared().showFront();
    RVDMOprationManager::shared().switchStep(kStep, nullptr, nullptr);
    QObject::connect(view, &QOpenGLWidget::frameSwapped, [] { ++g_swapped; });
    return view;
}

// A frame asked for and waited for until it is on the window.
void Frame(RivelaView* view)
{
    const long before = g_swapped;
    view->update();
    while (g_swapped == before)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void BM_WidgetFrame(benchmark::State& state)
{
    RivelaView* view = ViewOf(static_cast<int>(state.range(0)));
    view->show();
    for (auto _ : state) {
        Frame(view);
    }
    // The frame's size in device pixels.
    const QImage frame = view->grabFramebuffer();
    state.counters["width"] = frame.width();
    state.counters["height"] = frame.height();
}

void BM_PlaybackTick(benchmark::State& state)
{
    RivelaView* view = ViewOf(static_cast<int>(state.range(0)));
    view->show();
    int step = 0;
    for (auto _ : state) {
        step = step == kStep ? kStep + 1 : kStep;
        RVDMOprationManager::shared().switchStep(step, nullptr, nullptr);
        Frame(view);
    }
    state.counters["period_ms"] = 500;
}

BENCHMARK(BM_WidgetFrame)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_PlaybackTick)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    const int code = benchmain::RunWithKeptHeap(argc, argv);
    for (auto& [faces, opened] : Cases())
        if (opened && opened->view)
            opened->view->Clear();
    Cases().clear();
    RVModelManager::shared().clear();
    return code;
}
