#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian package the project builds, tests or benchmarks with.
# Idempotent: quiet when everything is present already.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config ccache
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  locales  # the source of a decimal-comma locale for the "C"-locale text tests
  # core libraries
  libeigen3-dev libcgal-dev libgmp-dev libmpfr-dev libboost-dev
  liblodepng-dev liblzma-dev libminizip-dev zlib1g-dev libarchive-dev
  libfreetype-dev fonts-dejavu-core fonts-noto-cjk libgif-dev libssl-dev
  # drawing: on screen and headless
  libgl-dev libglu1-mesa-dev libosmesa6-dev mesa-utils xvfb xauth
  # application layer
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webchannel-dev libqt6opengl6-dev
  libcpp-httplib-dev
  # peers for the benchmarks only
  libfcl-dev libnanoflann-dev libopenmesh-dev libarchive-tools xz-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
