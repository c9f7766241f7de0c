#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the Windows cross build need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps.sh: run as root (it calls apt-get)" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
# wine32 is an i386 package.
dpkg --add-architecture i386
apt-get update -q

# Native build and tests.
apt-get install -y -q --no-install-recommends \
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config \
  googletest libgtest-dev libgmock-dev libbenchmark-dev \
  liblzo2-dev zlib1g-dev libcli11-dev ffmpeg python3 procps valgrind

# 32-bit Windows cross build and Wine (with Recommends: fonts and X libraries Wine's driver uses).
apt-get install -y -q g++-mingw-w64-i686 libz-mingw-w64-dev wine wine32:i386

# The dialog test: a virtual display, input driving, screenshots and a CJK font.
apt-get install -y -q --no-install-recommends \
  xvfb xauth xdotool imagemagick fonts-ipafont-gothic
