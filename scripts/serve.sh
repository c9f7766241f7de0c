#!/usr/bin/env bash
# The main job: installs what building and serving need (only what is missing), builds
# quorvel-serve and quorvel-fetch (release) and starts quorvel-serve with the built-in test
# pattern on port 22050. Once it listens, serve.sh prints the quorvel-fetch command for the
# address and port it actually listens on. Arguments go to quorvel-serve, e.g.
# `scripts/serve.sh --port 0` or `scripts/serve.sh --input clip.y4m --audio clip.wav`.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/release"

# The address and port that process $1 listens on, from its sockets' inodes and
# /proc/net/tcp ("0100007F:5622" is 127.0.0.1:22050); every interface gives 127.0.0.1, which
# a fetch on this machine reaches.
listening_address() {
  local inodes sl local_address remote state rest inode
  inodes=" $(find "/proc/$1/fd" -lname 'socket:*' -printf '%l ' 2>/dev/null |
    sed 's/socket:\[\([0-9]*\)\]/\1/g') "
  while read -r sl local_address remote state _ _ _ _ _ inode rest; do
    [ "$state" = 0A ] && [ "${inodes#* $inode }" != "$inodes" ] || continue
    local hex=${local_address%:*}
    local address=$((16#${hex:6:2})).$((16#${hex:4:2})).$((16#${hex:2:2})).$((16#${hex:0:2}))
    [ "$address" != 0.0.0.0 ] || address=127.0.0.1
    echo "$address:$((16#${local_address#*:}))"
    return 0
  done </proc/net/tcp
  return 1
}

# As the server (this very process, once exec'd) starts listening; in a process of its own
# that init reaps, since the server reaps no children.
print_fetch_hint() {
  local server=$1 address tries
  for tries in $(seq 600); do
    kill -0 "$server" 2>/dev/null || return 0
    if address=$(listening_address "$server"); then
      echo "serve.sh: fetch from another terminal with: $build/apps/fetch/quorvel-fetch" \
        "$address -o out.y4m --audio-out out.wav" >&2
      return 0
    fi
    sleep 0.1
  done
}
# Sourced (by tests/scripts/scripts_test.sh), the script only defines its functions.
[[ "${BASH_SOURCE[0]}" == "$0" ]] || return 0

bash "$root/scripts/install-deps.sh" serve
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target quorvel-serve quorvel-fetch
(print_fetch_hint $$ &)
exec "$build/apps/serve/quorvel-serve" "$@"
