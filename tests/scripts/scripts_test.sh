#!/usr/bin/env bash
# usage: scripts_test.sh SOURCE_DIR QUORVEL_SERVE
# install-deps.sh serve on a machine that has every package calls neither apt-get nor sudo;
# serve.sh's listening_address finds the address and port a running quorvel-serve listens
# on, for --port 127.0.0.1:0 and for --port 0 (every interface, reached at 127.0.0.1).
set -euo pipefail
source_dir=$1
serve=$2
scratch=$(mktemp -d)
server=
cleanup() {
  [ -z "$server" ] || kill "$server" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Stand-ins that only note that they were called.
mkdir "$scratch/bin"
for tool in apt-get sudo; do
  printf '#!/bin/sh\necho "%s $*" >>"%s/calls"\nexit 1\n' "$tool" "$scratch" >"$scratch/bin/$tool"
  chmod +x "$scratch/bin/$tool"
done
if ! PATH="$scratch/bin:$PATH" bash "$source_dir/scripts/install-deps.sh" serve; then
  fail "install-deps.sh serve failed where every package is installed"
fi
[ ! -e "$scratch/calls" ] || fail "install-deps.sh serve called: $(cat "$scratch/calls")"

# shellcheck source=../../scripts/serve.sh
source "$source_dir/scripts/serve.sh"
for port_text in 127.0.0.1:0 0; do
  "$serve" --port "$port_text" --keep-waiting 1 --quiet 2>"$scratch/serve.err" &
  server=$!
  port=
  for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$scratch/serve.err")
    [ -z "$port" ] || break
    sleep 0.1
  done
  [ -n "$port" ] || fail "quorvel-serve --port $port_text did not listen: $(cat "$scratch/serve.err")"
  found=$(listening_address "$server" || true)
  [ "$found" = "127.0.0.1:$port" ] ||
    fail "--port $port_text: listening_address gives '$found', the server listens on port $port"
  kill "$server"
  wait "$server" || true
  server=
done

[ "$failures" -eq 0 ] || exit 1
echo "scripts_test.sh: install-deps.sh serve and serve.sh's listening address as they promise"
