#!/usr/bin/env bash
# Runs the whole ctest of a 32-bit Windows build tree under Wine, where Wine runs: on this
# machine, or inside the emulated PC of scripts/run-in-vm.sh (scripts/test-windows.sh picks).
# Wine runs in a throwaway prefix made here and removed at the end; ~/.wine is never used.
#
# usage: scripts/wine-tests.sh WIN32_BUILD_DIR [CTEST_ARGUMENT...]
#   CTEST_ARGUMENT  more arguments for ctest, e.g. -R 'windows\.serve' to run some tests only
# environment: QUORVEL_WINE_SETUP_TIMEOUT  seconds for making the prefix and starting Wine's
#                                          services (default 120)
# Exit codes: ctest's; 3 when Wine cannot run here at all.
set -euo pipefail
if [ $# -lt 1 ]; then
  sed -n '2,10p' "$0" >&2
  exit 2
fi
build=$1
shift
setup_timeout=${QUORVEL_WINE_SETUP_TIMEOUT:-120}

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

# A prefix made under a Japanese locale gets the Japanese system fonts the dialog needs.
LC_ALL=ja_JP.UTF-8 timeout "$setup_timeout" wineboot -i >/dev/null 2>&1 || true
if ! timeout "$setup_timeout" wine cmd /c exit </dev/null >/dev/null 2>&1; then
  echo "wine-tests.sh: Wine cannot run a 32-bit program here" >&2
  exit 3
fi
# A test program that crashes is reported on the console; a crash dialog would wait for a
# click on the virtual display.
timeout "$setup_timeout" wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
  /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
# Every test runs on one virtual display (the dialog tests need it; a desktop of the caller's
# stays out), with one wineserver and Wine's service processes kept up for the whole run.
# Started by the first test instead, the services would hold that test's output pipe open
# until they end, and a wineserver that starts afresh for each of some hundred test
# programs costs seconds each.
xvfb-run -a -s "-screen 0 800x600x24" bash -c \
  'wineserver -p && timeout "$2" wine cmd /c exit </dev/null >/dev/null 2>&1 &&
   cd "$1" && shift 2 && ctest --output-on-failure --timeout 300 "$@"' \
  run-tests "$build" "$setup_timeout" "$@"
