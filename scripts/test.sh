#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds every test with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
start=$(date +%s)
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRIVELA_SANITIZE=ON -DRIVELA_TESTS=ON -DRIVELA_BENCH=OFF >/dev/null
cmake --build build/test -j "$jobs"
built=$(date +%s)
ctest --test-dir build/test --output-on-failure -j "$jobs"
done_=$(date +%s)
echo "build: $((built - start)) s, tests: $((done_ - built)) s"
