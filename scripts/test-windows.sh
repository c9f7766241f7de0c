#!/usr/bin/env bash
# Builds quorvel.auo, its 32-bit host harness and the cross-built unit tests with mingw-w64,
# then runs the whole ctest of that tree under Wine: the plug-in binary's exports, imports,
# dialog template and version resource, the harness against the DLL (table, settings, abort,
# port taken, clients in a row with and without the keep-waiting setting), the end-to-end
# runs with the native quorvel-fetch over 127.0.0.1, a soak of the DLL by the native
# quorvel-soak (also two conversations back to back), the settings dialog on a virtual
# display, and the unit tests of every folder.
#
# usage: scripts/test-windows.sh NATIVE_BUILD_DIR
#   NATIVE_BUILD_DIR  a native build that holds apps/fetch/quorvel-fetch and
#                     tests/soak/quorvel-soak
# environment: QUORVEL_WIN32_BUILD (default build/win32), QUORVEL_JOBS (default 2),
#              QUORVEL_WIN32_CMAKE_ARGS (more configure arguments, after the script's own)
#
# Wine runs in a throwaway prefix made here and removed at the end; ~/.wine is never used.
# The dialog screenshots are left in $QUORVEL_WIN32_BUILD/artifacts.
set -euo pipefail

if [ $# -ne 1 ]; then
  sed -n '2,17p' "$0" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(realpath "$1")
fetch="$native/apps/fetch/quorvel-fetch"
soak="$native/tests/soak/quorvel-soak"
for program in "$fetch" "$soak"; do
  if [ ! -x "$program" ]; then
    echo "test-windows.sh: no $program; build the native tree first" >&2
    exit 2
  fi
done
build=${QUORVEL_WIN32_BUILD:-$root/build/win32}

seconds() { date +%s.%N; }
build_start=$(seconds)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DQUORVEL_WERROR=ON -DQUORVEL_FETCH="$fetch" -DQUORVEL_SOAK="$soak" ${QUORVEL_WIN32_CMAKE_ARGS:-}
ninja -C "$build" -j"${QUORVEL_JOBS:-2}"
build_end=$(seconds)

# Wine runs 32-bit programs as 32-bit Linux processes. A machine without Wine, or whose
# kernel cannot run such processes ("Exec format error"), can build the DLL and check its
# binary, nothing more: say so loudly, and run that much.
skip_wine() {
  echo "test-windows.sh: SKIPPED every test under Wine: $1; only the DLL's exports, imports," \
    "dialog template and version resource are checked" >&2
  ctest --test-dir "$build" --output-on-failure -R '^windows\.plugin_binary$'
  exit $?
}
command -v wine >/dev/null || skip_wine "Wine is not installed"

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

wine_start=$(seconds)
# A prefix made under a Japanese locale gets the Japanese system fonts the dialog needs.
LC_ALL=ja_JP.UTF-8 timeout 120 wineboot -i >/dev/null 2>&1 || true
timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1 ||
  skip_wine "this machine cannot run 32-bit x86 programs under Wine"
# A test program that crashes is reported on the console; a crash dialog would wait for a
# click on the virtual display.
timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
  >/dev/null 2>&1
wineserver -w
# Every test runs on one virtual display (the dialog tests need it; a desktop of the caller's
# stays out), with one wineserver and Wine's service processes kept up for the whole run.
# Started by the first test instead, the services would hold that test's output pipe open
# until they end, and a wineserver that starts afresh for each of some hundred test
# programs costs seconds each.
status=0
xvfb-run -a -s "-screen 0 800x600x24" bash -c \
  'wineserver -p && wine cmd /c exit </dev/null >/dev/null 2>&1 &&
   cd "$1" && ctest --output-on-failure --timeout 300' run-tests "$build" || status=$?
wine_end=$(seconds)

awk -v b0="$build_start" -v b1="$build_end" -v w0="$wine_start" -v w1="$wine_end" 'BEGIN {
  printf "test-windows.sh: build %.1f s, Wine tests %.1f s (prefix set-up included)\n", b1 - b0, w1 - w0 }'
exit "$status"
