#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the release tree and runs every benchmark (or those named: bench/NAME.cpp).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/main.sh --build-only >/dev/null
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for f in bench/*.cpp; do names+=("$(basename "$f" .cpp)"); done
fi
for n in "${names[@]}"; do
  echo "== $n"
  run=()
  # The export captures real windows: it needs a display larger than its window.
  if [ "$n" = step_export ] && [ -z "${DISPLAY:-}" ]; then run=(xvfb-run -a -s "-screen 0 1920x1200x24"); fi
  "${run[@]}" "build/release/bench/bench_$n" --benchmark_counters_tabular=true
done
