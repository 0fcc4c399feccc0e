// SPDX-License-Identifier: GPL-3.0-or-later
// One playback tick of the treatment step bar (the timer allows 0.5 s): the
// controller alone (step, switch sent through the hub to a receiver, icon states),
// and the same tick with the bar drawn at 1600 x 50 as the window would. The 3-D
// views' redraw is not part of it. Run with QT_QPA_PLATFORM=offscreen.
#include "app/design/RVDMOprationManager.h"
#include "app/design/bars/RivelaBelowPane.h"
#include "bench/BenchMain.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

struct Receiver : RV3DOprationDelegate {
    int step = 0;
    void switchStep(int s, QvScheme*, QvView*) override { step = s; }
};

// A 40-step case, playing; a tick past the last step starts again from 0.
void Prepare(RivelaBelowPane& pane)
{
    pane.resize(1600, 50);
    pane.setUpStep(QStringLiteral("40"));
    pane.setDownStep(QStringLiteral("36"));
    pane.setUpExceedStep(QStringLiteral("3"));
    pane.setDownExceedStep(QStringLiteral("0"));
    pane.createAuxPane();
    pane.model().updateStepPane = [](int) {};
    pane.model().startStepPlay();
}

void Tick(RivelaBelowPane& pane)
{
    RivelaStepBarModel& model = pane.model();
    if (model.m_nCurrentStep >= model.m_nMaxStep)
        model.m_nCurrentStep = -1;
    model.onStepAutoPlay();
}

void BM_StepTick_Controller(benchmark::State& state)
{
    auto receiver = std::make_shared<Receiver>();
    RVDMOprationManager::shared().addDelegate(receiver);
    RivelaBelowPane pane;
    Prepare(pane);
    for (auto _ : state) {
        Tick(pane);
        benchmark::DoNotOptimize(receiver->step);
    }
    pane.model().stopStepTimer();
    RVDMOprationManager::shared().ResetForTests();
}
BENCHMARK(BM_StepTick_Controller)->Unit(benchmark::kMicrosecond);

void BM_StepTick_WithBarDrawn(benchmark::State& state)
{
    auto receiver = std::make_shared<Receiver>();
    RVDMOprationManager::shared().addDelegate(receiver);
    RivelaBelowPane pane;
    Prepare(pane);
    QImage target(1600, 50, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        Tick(pane);
        pane.render(&target);
        benchmark::DoNotOptimize(target.bits());
    }
    pane.model().stopStepTimer();
    RVDMOprationManager::shared().ResetForTests();
}
BENCHMARK(BM_StepTick_WithBarDrawn)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return benchmain::RunWithKeptHeap(argc, argv);
}
