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
echo "built: build/release (benchmarks: bash scripts/bench.sh; demo case: build/release/demo)"
