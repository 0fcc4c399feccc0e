// SPDX-License-Identifier: GPL-3.0-or-later
// For the benchmarks that draw headless: the renderer's GL objects released while the
// context is still current, before static destruction.
#pragma once

#include "bench/BenchMain.h"
#include <algorithm>

#include "core/geometry/QvPoint.h"
#include "core/render/QvGL.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/QvView.h"
#include "core/render/QvViewManager.h"
#include "testing/OffscreenGL.h"
#include "testing/SchemeStepView.h"

namespace benchgl {

// The program's one headless window, made current on first use.
inline rivela::testing::OffscreenGL& Context(int width, int height)
{
    static rivela::testing::OffscreenGL gl(width, height);
    return gl;
}

inline void ReleaseRenderer()
{
    QvVBOHandleMgr::Instance()->Clear();
    QvViewManager::Instance()->ResetForTests();
    QvRenderStatus::Instance()->ResetForTests();
}

// The renderer on the model with one view of the window's size, the scheme's step
// shown and the model's box brought up to date; the view.
inline QvView& ShowStep(QvModel& model, QvScheme& scheme, int step, int width, int height)
{
    QvOpenGLRender* render = QvRenderStatus::Instance()->GetRender();
    render->SetModel(&model);
    (void)render->InitRender();
    QvViewManager* views = QvViewManager::Instance();
    views->Clear();
    views->SetSize(width, height);
    views->InitActiveView();
    qvtest::ShowSchemeStep(model, scheme, step);
    model.UpdateBBox();
    return *views->GetActiveView();
}

// The view framed on the box lo..hi (nine tenths of the window) and one frame drawn
// and finished: the buffers are uploaded and the view holds its matrices.
inline void FrameOn(QvView& view, const QvPoint& lo, const QvPoint& hi, int width, int height)
{
    QvTransform& t = view.GetTransform();
    t.m_translation = QvVector(-(lo[0] + hi[0]) / 2, -(lo[1] + hi[1]) / 2, -(lo[2] + hi[2]) / 2);
    t.m_scale = 0.9 * std::min(2.0 * width / height / (hi[0] - lo[0]), 2.0 / (hi[1] - lo[1]));
    QvOpenGLRender* render = QvRenderStatus::Instance()->GetRender();
    render->UpdateViewport(width, height);
    render->DrawScene();
    glFinish();
}

// The benchmarks with freed heap kept (llvmpipe allocates and frees its vertex storage
// per draw call, a few MB for each 20k-face crown, which glibc would otherwise hand
// back and fault in again on every draw); then the renderer's GL objects and, through
// drop, the program's scenes go while the context is current.
template <class Drop>
int RunHeadless(int argc, char** argv, Drop drop)
{
    const int result = benchmain::RunWithKeptHeap(argc, argv);
    if (result != 0)
        return result;
    ReleaseRenderer();
    drop();
    return 0;
}

} // namespace benchgl
