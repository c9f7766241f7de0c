#!/usr/bin/env bash
# Builds the portable code, its tests and the Linux programs as 32-bit x86 Linux programs
# (cmake/linux-i686.cmake) and runs the tests: directly where the kernel runs 32-bit
# programs, under qemu-i386 where it does not. There the end-to-end tests and the soak,
# which start the 32-bit quorvel-serve and quorvel-fetch as programs of their own, are left
# out; the unit tests of every library and the fuzz targets' corpus replays run either way.
#
# usage: scripts/test-i686.sh [BUILD_DIR]   (default build/test-i686)
# environment: QUORVEL_I386_UNDER_QEMU=1 runs the tests under qemu-i386 even where the kernel
#              would run them (scripts/run-i386.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test-i686}

missing=()
command -v i686-linux-gnu-g++ >/dev/null || missing+=(g++-i686-linux-gnu)
for library in lzo2 zlib libdeflate gtest; do
  [ -f "/usr/lib/i386-linux-gnu/pkgconfig/$library.pc" ] || missing+=("$library:i386")
done
command -v qemu-i386 >/dev/null || /lib/ld-linux.so.2 --version >/dev/null 2>&1 ||
  missing+=(qemu-user)
if [ ${#missing[@]} -gt 0 ]; then
  echo "test-i686.sh: SKIPPED the 32-bit Linux build: ${missing[*]} missing" \
    "(scripts/install-deps.sh all installs them)" >&2
  exit 0
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/linux-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_WERROR=ON >/dev/null
ninja -C "$build" -j"$(nproc)"

# valgrind checks the native soak; it has no 32-bit x86 support installed here.
excluded='^soak-valgrind$'
if [ "${QUORVEL_I386_UNDER_QEMU:-}" != 1 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "test-i686.sh: running the 32-bit tests directly"
else
  echo "test-i686.sh: running the 32-bit tests under qemu-i386 (no 32-bit execution on this" \
    "kernel); the end-to-end tests and the soak are left out"
  excluded='^(soak-.*|quorvel_apps_tests)$'
fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -LE 'bench|fuzz-smoke' -E "$excluded"
