#!/usr/bin/env bash
# Runs every test: installs the packages, checks that the C++ sources are formatted as the
# root .clang-format says, then
#   1. the native build under AddressSanitizer + UndefinedBehaviorSanitizer with -Werror, all ctest tests
#      (unit, end to end over 127.0.0.1, corpus replays of the fuzz targets);
#   2. the codec and prefix-code tests and the codec fuzz corpora again with the coders'
#      32-bit-target code paths forced on x86-64; the fuzz targets built with clang's
#      libFuzzer, a short bounded run of each;
#   3. the 32-bit Windows build (quorvel.auo and its tests) under Wine, inside an emulated PC
#      where the kernel runs no 32-bit programs; then the 32-bit Linux build and its tests;
#   4. the soak: 100,000 requests from the client library to quorvel-serve over 127.0.0.1 in a
#      plain Release build, the server's RSS checked flat;
#   5. the release artefacts (scripts/release.sh --check): the .deb and the plug-in's zip are
#      made and checked, and the .deb is installed, run and removed again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

bash "$root/scripts/install-deps.sh" all

echo "== formatting (clang-format)"
(cd "$root" && git ls-files -z '*.cc' '*.h' | xargs -0 clang-format --dry-run --Werror)

native="$root/build/test-native"
echo "== native build (ASan + UBSan, -Werror)"
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_SANITIZE=ON -DQUORVEL_WERROR=ON >/dev/null
cmake --build "$native" -j "$jobs"
ctest --test-dir "$native" --output-on-failure -j "$jobs" -LE 'bench|fuzz-smoke'

narrow="$root/build/test-32bit-paths"
echo "== the coders' 32-bit code paths on x86-64 (SSE2 bit accumulators, 32-bit decode window)"
cmake -S "$root" -B "$narrow" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_SANITIZE=ON -DQUORVEL_WERROR=ON -DQUORVEL_FORCE_32BIT_PATHS=ON >/dev/null
round_trips=(codec_round_trip_fuzzer fano_round_trip_fuzzer fano_expand_fuzzer
  fano_decode_fuzzer deflate_encode_fuzzer deflate_decode_fuzzer)
cmake --build "$narrow" -j "$jobs" --target quorvel_codec_tests quorvel_fano_tests "${round_trips[@]}"
"$narrow/tests/codecs/quorvel_codec_tests" --gtest_brief=1
"$narrow/tests/fano/quorvel_fano_tests" --gtest_brief=1
for fuzzer in "${round_trips[@]}"; do
  "$narrow/fuzz/$fuzzer" "$root/fuzz/corpus/$fuzzer"
done

fuzz="$root/build/test-fuzz"
echo "== fuzz targets (libFuzzer, bounded runs)"
CC=clang CXX=clang++ cmake -S "$root" -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_BUILD_FUZZERS=ON -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_WERROR=ON >/dev/null
cmake --build "$fuzz" -j "$jobs"
ctest --test-dir "$fuzz" --output-on-failure -L fuzz-smoke

echo "== 32-bit Windows build under Wine"
bash "$root/scripts/test-windows.sh" "$native"

echo "== 32-bit x86 Linux build (i686)"
bash "$root/scripts/test-i686.sh" "$root/build/test-i686"

echo "== soak (100,000 requests, Release build)"
bash "$root/scripts/soak.sh" "$root/build/test-soak"

echo "== release artefacts (scripts/release.sh --check)"
QUORVEL_JOBS="$jobs" bash "$root/scripts/release.sh" --check
