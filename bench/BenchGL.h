// SPDX-License-Identifier: GPL-3.0-or-later
// For the benchmarks that draw headless: the renderer's GL objects released while the
// context is still current, before static destruction.
#pragma once

#include "bench/BenchMain.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/QvViewManager.h"
#include "testing/OffscreenGL.h"

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
