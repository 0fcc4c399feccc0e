// SPDX-License-Identifier: GPL-3.0-or-later
// The main of a benchmark program whose runs must not pay for glibc handing freed heap
// back to the system: mmap and trim thresholds are fixed before any benchmark runs.
#pragma once

#include <benchmark/benchmark.h>

#include <malloc.h>

namespace benchmain {

inline int RunWithKeptHeap(int argc, char** argv, int trimThreshold = 512 << 20)
{
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, trimThreshold);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace benchmain
