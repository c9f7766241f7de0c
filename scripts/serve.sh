#!/usr/bin/env bash
# The main job: installs what the native build needs, builds Quorvel (release) and starts
# quorvel-serve with the built-in test pattern on port 22050. Arguments go to quorvel-serve,
# e.g. `scripts/serve.sh --port 0` or `scripts/serve.sh --input clip.y4m --audio clip.wav`.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/release"

bash "$root/scripts/install-deps.sh" native
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target quorvel-serve quorvel-fetch
echo "serve.sh: fetch from another terminal with: $build/apps/fetch/quorvel-fetch 127.0.0.1:22050 -o out.y4m --audio-out out.wav" >&2
exec "$build/apps/serve/quorvel-serve" "$@"
