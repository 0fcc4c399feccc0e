#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything in release form (the benchmarks
# included), generates the demo case, starts the case-service stand-in on a free
# loopback port serving it, points rivela's configuration file at it and starts
# rivela. With a display the application stays open for the user and the stand-in
# stops when it quits. Without one the doctor's road runs under Xvfb through the
# real windows, a screenshot of each stage goes to build/release/screens/, and the
# exit status is 0 only when every stage was reached.
#   --build-only   stop after the build and the demo case
set -euo pipefail
cd "$(dirname "$0")/.."
build_only=0
if [ "${1:-}" = --build-only ]; then build_only=1; fi
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
if [ "$build_only" = 1 ]; then
  echo "built: build/release (benchmarks: bash scripts/bench.sh; demo case: build/release/demo)"
  exit 0
fi

# The stand-in prints its business domain (http://127.0.0.1:PORT/rvmds) first.
app=build/release/app/main
scratch=$(mktemp -d)
build/release/tools/rivela-standin --case build/release/demo >"$scratch/standin.out" &
standin=$!
trap 'kill "$standin" 2>/dev/null || true; wait "$standin" 2>/dev/null || true; rm -rf "$scratch"' EXIT
for _ in $(seq 100); do
  if [ -s "$scratch/standin.out" ]; then break; fi
  sleep 0.1
done
domain=$(head -n 1 "$scratch/standin.out")
case "$domain" in
  http://127.0.0.1:*/rvmds) ;;
  *) echo "main.sh: the stand-in did not start" >&2; exit 1 ;;
esac
base=${domain%/rvmds}
# The configuration rivela reads beside itself: the login service in the
# development environment (plain HTTP), discovered at the stand-in.
cat >"$app/resources/Rivela.ini" <<INI
[Domain]
UdcDomain=$base
[Login]
APIType=4
MccAddress_4=$base
INI

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "rivela: sign in as doctor, password Pa55-秘密 (case service $base)"
  "$app/rivela"
else
  rm -rf build/release/screens
  # The case list's page runs in Chromium: without the GPU under Xvfb, and as root
  # only without its sandbox.
  export QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
  if [ "$(id -u)" = 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
  # The road keeps its remembered accounts and caches to itself.
  XDG_CONFIG_HOME="$scratch/home" XDG_CACHE_HOME="$scratch/home" XDG_DATA_HOME="$scratch/home" \
    LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1600x1000x24" "$app/rivela-road" --service "$base" --screens build/release/screens
  echo "the road: every stage reached (screenshots in build/release/screens)"
fi
