#!/usr/bin/env bash
# The product path's benchmark: quorvel.auo, 32-bit, under Wine, as users run it.
#
#   scripts/bench-plugin.sh [--quick]
#
# Builds the native Release tree with quorvel-bench and the 32-bit Windows tree (quorvel.auo,
# the host harness, quorvel-codec-bench.exe), makes the benchmark frames, and runs in a
# throwaway Wine prefix:
#   1. quorvel-bench --section plugin: quorvel.auo loaded by the harness serving the 1080p
#      camera and art frames and the 720x480 camera frame with each codec, read-ahead on, to
#      a bare receiving client and to the client library's receive-and-decode path, beside the
#      native session and a bare sender in the same rounds; ratios and pass/MISS;
#   2. the deflate and Fano codec sections natively (quorvel-bench) and in the 32-bit build
#      (quorvel-codec-bench.exe under Wine), and the 32-bit / native time of each codec row.
# Folders: build/bench (native), build/bench-win32 (Windows). Installs what it needs.
# On a machine whose kernel runs no 32-bit programs it measures nothing and says why (exit 3).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quick=()
[ "${1:-}" = --quick ] && quick=(--quick)

bash "$root/scripts/install-deps.sh" all >/dev/null

# Where the kernel runs no 32-bit programs, Wine runs only inside the emulated PC of
# scripts/run-in-vm.sh, whose every figure would time the emulator, not the plug-in.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "bench-plugin.sh: NOT MEASURED: this kernel runs no 32-bit programs, so quorvel.auo could" \
    "run only inside an emulated PC (QEMU's software emulation), and every figure would time" \
    "the emulator, not the plug-in. Run this on a machine that runs 32-bit programs (or on" \
    "Windows); scripts/test.sh still checks the plug-in's behaviour in the emulated PC." >&2
  exit 3
fi

native="$root/build/bench"
windows="$root/build/bench-win32"
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_BENCHMARKS=ON \
  -DQUORVEL_BUILD_TESTS=OFF >/dev/null
ninja -C "$native" quorvel-bench bench-frames >/dev/null
cmake -S "$root" -B "$windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_BENCHMARKS=ON -DQUORVEL_BUILD_TESTS=OFF >/dev/null
ninja -C "$windows" quorvel_auo quorvel_host_harness quorvel-codec-bench >/dev/null

frames="$native/bench-frames"
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-bench-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
timeout 120 wineboot -i >/dev/null 2>&1
wineserver -w
wineserver -p  # one lasting wineserver for every harness process of the run

bench="$native/bench/quorvel-bench"
"$bench" "${quick[@]}" --frames-dir "$frames" --section plugin \
  --plugin "$windows/windows/quorvel.auo" --harness "$windows/windows/quorvel-host-harness.exe" \
  --wine "$(command -v wine)"

native_log=$(mktemp)
windows_log=$(mktemp)
"$bench" "${quick[@]}" --frames-dir "$frames" --section deflate --section fano | tee "$native_log"
wine "$windows/bench/quorvel-codec-bench.exe" "${quick[@]}" --frames-dir "Z:$frames" \
  --section deflate --section fano | tr -d '\r' | tee "$windows_log"

# Rows name frame cache ms/frame ...: the 32-bit time over the native one, row by row.
echo
echo "== The 32-bit build against the native one (codec rows, ms per frame)"
awk 'FNR == NR { if ($3 == "cold" || $3 == "hot") native[$1 " " $2 " " $3] = $4; next }
     ($3 == "cold" || $3 == "hot") && (($1 " " $2 " " $3) in native) && native[$1 " " $2 " " $3] > 0 {
       key = $1 " " $2 " " $3
       target = ($1 == "FanoCodec::encode" && $3 == "cold" && $2 ~ /1920x1080/) ? "<=1.30" : ""
       result = target == "" ? "" : ($4 / native[key] <= 1.3 ? "pass" : "MISS")
       printf "%-28s %-15s %-5s native %8.3f  32-bit %8.3f  ratio %5.2f %s %s\n",
              $1, $2, $3, native[key], $4, $4 / native[key], target, result
     }' "$native_log" "$windows_log"
rm -f "$native_log" "$windows_log"
