#!/usr/bin/env bash
# Builds quorvel.auo, its 32-bit host harness and the cross-built unit tests with mingw-w64,
# then runs the whole ctest of that tree under Wine (scripts/wine-tests.sh), on this machine
# or, where its kernel runs no 32-bit programs, inside an emulated PC (scripts/run-in-vm.sh):
# the plug-in binary's exports, imports, dialog template and version resource, the harness against the DLL (table, settings, abort,
# port taken, clients in a row with and without the keep-waiting setting, two clients at once
# with the several-clients setting), the end-to-end
# runs with the native quorvel-fetch over 127.0.0.1, a soak of the DLL by the native
# quorvel-soak (also two conversations back to back), the settings dialog on a virtual
# display, and the unit tests of every folder.
#
# usage: scripts/test-windows.sh NATIVE_BUILD_DIR
#   NATIVE_BUILD_DIR  a native build that holds apps/fetch/quorvel-fetch and
#                     tests/soak/quorvel-soak
# environment: QUORVEL_WIN32_BUILD (default build/win32), QUORVEL_JOBS (default 2),
#              QUORVEL_WIN32_CMAKE_ARGS (more configure arguments, after the script's own),
#              QUORVEL_WINE_IN_VM (1: always in the emulated PC; 0: never),
#              QUORVEL_VM_SOAK_REQUESTS (requests per soak run in the emulated PC, default 2000)
#
# The dialog screenshots are left in $QUORVEL_WIN32_BUILD/artifacts.
set -euo pipefail

if [ $# -ne 1 ]; then
  sed -n '2,20p' "$0" >&2
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

# Where Wine runs: on this machine when its kernel runs 32-bit programs, else inside an
# emulated PC (scripts/run-in-vm.sh), where everything is some ten times slower.
# QUORVEL_WINE_IN_VM=1 asks for the emulated PC anyway (to try it on a machine that would not
# need it), =0 never uses it.
wine_loader=/usr/lib/wine/wine  # the 32-bit loader the `wine` command starts
where=none
if ! command -v wine >/dev/null; then
  why_not="Wine is not installed"
elif [ "${QUORVEL_WINE_IN_VM:-}" != 1 ] && "$wine_loader" --version >/dev/null 2>&1; then
  where=here
elif [ "${QUORVEL_WINE_IN_VM:-}" = 0 ]; then
  why_not="this kernel runs no 32-bit programs and QUORVEL_WINE_IN_VM=0 forbids the emulated PC"
elif ! command -v qemu-system-x86_64 >/dev/null; then
  why_not="this kernel runs no 32-bit programs and QEMU (qemu-system-x86) is not installed"
else
  where=vm
fi
# Under emulation the soak sends fewer requests, to keep the stage's time in bounds.
soak_requests=5000
[ "$where" != vm ] || soak_requests=${QUORVEL_VM_SOAK_REQUESTS:-2000}

# The system's python (install-deps.sh installs it): the emulated PC has a /root of its own,
# so a python under /root (pyenv's, say) is not there.
python=$(command -v /usr/bin/python3 || command -v python3)

seconds() { date +%s.%N; }
build_start=$(seconds)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DQUORVEL_WERROR=ON -DQUORVEL_FETCH="$fetch" -DQUORVEL_SOAK="$soak" \
  -DQUORVEL_WINE_SOAK_REQUESTS="$soak_requests" -DPython3_EXECUTABLE="$python" \
  ${QUORVEL_WIN32_CMAKE_ARGS:-}
ninja -C "$build" -j"${QUORVEL_JOBS:-2}"
build_end=$(seconds)

# A machine that can run Wine neither way can build the DLL and check its binary, nothing
# more: say so loudly, and run that much.
skip_wine() {
  echo "test-windows.sh: SKIPPED every test under Wine: $1; only the DLL's exports, imports," \
    "dialog template and version resource are checked" >&2
  ctest --test-dir "$build" --output-on-failure -R '^windows\.plugin_binary$'
  exit $?
}
[ "$where" != none ] || skip_wine "$why_not"

wine_start=$(seconds)
status=0
if [ "$where" = here ]; then
  how="under Wine"
  bash "$root/scripts/wine-tests.sh" "$build" || status=$?
else
  how="under Wine in an emulated PC (QEMU TCG; no 32-bit execution on this kernel)"
  [ "${QUORVEL_WINE_IN_VM:-}" != 1 ] || how="under Wine in an emulated PC (QEMU TCG; QUORVEL_WINE_IN_VM=1)"
  echo "test-windows.sh: running the Wine tests $how" >&2
  # Making a prefix and starting Wine's services takes minutes there, not seconds.
  bash "$root/scripts/run-in-vm.sh" --env QUORVEL_WINE_SETUP_TIMEOUT=900 --timeout 3000 \
    "$build" -- bash "$root/scripts/wine-tests.sh" "$build" || status=$?
fi
wine_end=$(seconds)
[ "$status" -ne 3 ] || skip_wine "Wine cannot run a 32-bit program ($how)"

awk -v b0="$build_start" -v b1="$build_end" -v w0="$wine_start" -v w1="$wine_end" -v how="$how" \
  'BEGIN { printf "test-windows.sh: ran the tests %s: build %.1f s, Wine tests %.1f s (prefix set-up included)\n", how, b1 - b0, w1 - w0 }'
exit "$status"
