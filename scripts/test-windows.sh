#!/usr/bin/env bash
# Builds quorvel.auo, its 32-bit host harness and the cross-built unit tests with mingw-w64,
# then runs the whole ctest of that tree under Wine: the plug-in binary's exports, imports
# and dialog template, the harness against the DLL (table, settings, abort, port taken), the
# end-to-end runs with the native quorvel-fetch over 127.0.0.1, the settings dialog on a
# virtual display, and the unit tests of every folder.
#
# usage: scripts/test-windows.sh NATIVE_BUILD_DIR
#   NATIVE_BUILD_DIR  a native build that holds apps/fetch/quorvel-fetch
# environment: QUORVEL_WIN32_BUILD (default build/win32), QUORVEL_JOBS (default 2),
#              QUORVEL_WIN32_CMAKE_ARGS (more configure arguments, after the script's own)
#
# Wine runs in a throwaway prefix made here and removed at the end; ~/.wine is never used.
# The dialog screenshots are left in $QUORVEL_WIN32_BUILD/artifacts.
set -euo pipefail

if [ $# -ne 1 ]; then
  sed -n '2,15p' "$0" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
fetch="$(realpath "$1")/apps/fetch/quorvel-fetch"
if [ ! -x "$fetch" ]; then
  echo "test-windows.sh: no $fetch; build the native tree first" >&2
  exit 2
fi
build=${QUORVEL_WIN32_BUILD:-$root/build/win32}

seconds() { date +%s.%N; }
build_start=$(seconds)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DQUORVEL_WERROR=ON -DQUORVEL_FETCH="$fetch" ${QUORVEL_WIN32_CMAKE_ARGS:-}
ninja -C "$build" -j"${QUORVEL_JOBS:-2}"
build_end=$(seconds)

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# The dialog tests bring their own virtual display; a desktop of the caller's stays out.
unset DISPLAY

wine_start=$(seconds)
# A prefix made under a Japanese locale gets the Japanese system fonts the dialog needs.
LC_ALL=ja_JP.UTF-8 timeout 120 wineboot -i >/dev/null 2>&1
wineserver -w
status=0
(cd "$build" && ctest --output-on-failure --timeout 300) || status=$?
wine_end=$(seconds)

awk -v b0="$build_start" -v b1="$build_end" -v w0="$wine_start" -v w1="$wine_end" 'BEGIN {
  printf "test-windows.sh: build %.1f s, Wine tests %.1f s (prefix set-up included)\n", b1 - b0, w1 - w0 }'
exit "$status"
