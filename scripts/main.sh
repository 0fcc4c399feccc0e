#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing and builds everything in release form, the benchmarks included.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRIVELA_TESTS=OFF -DRIVELA_BENCH=ON >/dev/null
cmake --build build/release -j "$(nproc)"
# The demo case (overwritten on every run; same seed, same files).
build/release/tools/rivela-demo-case --out build/release/demo
# Pictures of its first and last steps, drawn headless.
build/release/tools/rivela-render build/release/demo/demo.OS build/release/demo/demo-step0.png --step 0
build/release/tools/rivela-render build/release/demo/demo.OS build/release/demo/demo-last.png --step -1
# Review pictures in the case's own orientations: the front view (tooth 11 left of 21,
# upper incisors above the lower), the upper occlusal view (upper jaw alone, incisors
# at the top) and the upper right canine alone, front on, with its virtual root grown
# (pointing away from its cusp).
build/release/tools/rivela-render build/release/demo/demo.OS build/release/demo/demo-front.png --orient 4
build/release/tools/rivela-render build/release/demo/demo.OS build/release/demo/demo-upper-occlusal.png --orient 6 --jaw 1
build/release/tools/rivela-render build/release/demo/demo.OS build/release/demo/demo-root-13.png --orient 4 \
    --grow-roots 1 --tooth 13
echo "built: build/release (benchmarks: bash scripts/bench.sh; demo case: build/release/demo)"
