#!/bin/sh
# The full soak: 100,000 requests (two server runs of 50,000, read-ahead on and off) through
# a loopback socket from the client library to quorvel-serve, in a Release build without
# sanitizers, with the server's RSS checked flat. Usage: scripts/soak.sh [build dir]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build/soak"}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" -j2 quorvel-soak quorvel-serve
"$build/tests/soak/quorvel-soak" "$build/apps/serve/quorvel-serve" 50000
