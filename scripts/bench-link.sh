#!/usr/bin/env bash
# Serving across a shaped link: quorvel-serve -> 1 Gbit/s with a round trip -> quorvel-fetch.
#
#   scripts/bench-link.sh [--quick] [--delay-ms MS] [BUILD_DIR] [-- FETCH_OPTION...]
#
# In a network namespace of its own (made here, removed on exit), quorvel-serve serves the
# 1080p camera benchmark frame (read-ahead on) to quorvel-fetch, which writes Y4M to
# /dev/null, through quorvel-delay-relay, which adds MS (default 0.5) each way. The relay's
# hop to the client is limited to 1 Gbit/s by a token bucket on the namespace's loopback;
# the server's hop to the relay is left unshaped, since every relayed byte crosses the
# loopback twice and a bucket over both hops would halve the link.
#
# Per codec it prints frames/s of quorvel-fetch against the link's limit for the measured
# reply size (1 Gbit/s / reply bits) and against the server alone (quorvel-bare-fetch, which
# receives without decoding, straight to the server: no relay, no shaping), and the ratio
# fetch / min(link limit, server alone), judged at >= 0.85. A bare client through the relay
# shows what the round trip alone costs. When quorvel-fetch has --depth, the default depth and
# --depth 1 get a row each. FETCH_OPTIONs go to every quorvel-fetch run.
#
# BUILD_DIR (default build/bench) is configured with the benchmarks if it is not yet, and the
# programs and frames are built there. Needs root, ip and tc (iproute2) and ffmpeg; where a
# namespace or the shaping cannot be made it prints one SKIPPED line and exits 0.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

quick=no
delay_ms=0.5
build="$root/build/bench"
fetch_options=()
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=yes ;;
    --delay-ms) delay_ms=${2:?--delay-ms needs a value}; shift ;;
    --) shift; fetch_options=("$@"); break ;;
    -*) echo "usage: bench-link.sh [--quick] [--delay-ms MS] [BUILD_DIR] [-- FETCH_OPTION...]" >&2
        exit 2 ;;
    *) build=$1 ;;
  esac
  shift
done

link_rate=1gbit
link_bits_per_second=1000000000  # tc's gbit is 10^9 bits
target=0.85
if [ "$quick" = yes ]; then frames=40 rounds=1; else frames=120 rounds=3; fi
codecs=(none lzo fano deflate)

skip() {
  echo "bench-link: SKIPPED: $*"
  exit 0
}

namespace=quorvel-link-$$
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-bench-link.XXXXXX")
started=()
cleanup() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
  # The shaping belongs to the namespace's loopback and goes with it.
  ip netns del "$namespace" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
in_namespace() { ip netns exec "$namespace" "$@"; }

# Namespace and shaping first: without them there is nothing to build for.
[ "$(id -u)" -eq 0 ] || skip "needs root for a network namespace and tc (running as uid $(id -u))"
if ! command -v ip >/dev/null || ! command -v tc >/dev/null; then
  skip "ip and tc (iproute2) are missing; scripts/install-deps.sh native installs them"
fi
ip netns add "$namespace" 2>"$work/error" || skip "ip netns add failed: $(head -1 "$work/error")"
# htb without a default class sends unclassified packets on unshaped; class 1:10 holds the
# token bucket, and the filters added once the relay's port is known steer that hop into it.
# TCP may queue up to tcp_limit_output_bytes (4 MiB here) of a socket in the qdisc, more than
# the bucket holds (10 ms at 1 Gbit/s + the burst): the bucket would drop, and each drop on
# loopback costs a 200 ms retransmission timeout. 1 MiB keeps the sender waiting instead, as
# a network card's queue does; the setting is the namespace's own.
{ in_namespace ip link set lo up &&
  in_namespace sysctl -q -w net.ipv4.tcp_limit_output_bytes=1048576 &&
  in_namespace tc qdisc add dev lo root handle 1: htb &&
  in_namespace tc class add dev lo parent 1: classid 1:10 htb rate 100gbit &&
  in_namespace tc qdisc add dev lo parent 1:10 handle 10: tbf rate "$link_rate" burst 256kb \
    latency 10ms; } 2>"$work/error" || skip "tc on the namespace's loopback failed: $(head -1 "$work/error")"

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_BENCHMARKS=ON \
    -DQUORVEL_BUILD_TESTS=OFF >/dev/null
fi
nice ninja -C "$build" -j2 quorvel-serve quorvel-fetch quorvel-delay-relay quorvel-bare-fetch \
  >/dev/null
serve="$build/apps/serve/quorvel-serve"
fetch="$build/apps/fetch/quorvel-fetch"
relay="$build/bench/quorvel-delay-relay"
bare="$build/bench/quorvel-bare-fetch"

# The camera frame of the benchmark frames, repeated into a Y4M for quorvel-serve (which
# serves its C422 planes packed again as the same YUY2 bytes). Made once per build folder.
frames_dir="$build/bench-frames"
[ -f "$frames_dir/cam_1920x1080.yuy2" ] || nice ninja -C "$build" bench-frames >/dev/null
video="$frames_dir/link/cam_1920x1080_x120.y4m"
if [ ! -f "$video" ] || [ "$video" -ot "$frames_dir/cam_1920x1080.yuy2" ]; then
  mkdir -p "$frames_dir/link"
  ffmpeg -nostdin -v error -f rawvideo -pix_fmt yuyv422 -s 1920x1080 -r 30000/1001 \
    -stream_loop 119 -i "$frames_dir/cam_1920x1080.yuy2" -pix_fmt yuv422p -f yuv4mpegpipe \
    -y "$video.partial"
  mv "$video.partial" "$video"
fi

# Starts a program in the namespace with stderr to a log. ip netns exec execs the program, so
# $! is the program's own pid.
server_port=22050  # the namespace is empty, so the default port is free
start_in_namespace() {
  local log=$1; shift
  ip netns exec "$namespace" "$@" 2>"$log" &
  started+=($!)
}
# Waits until the log holds at least `count` listening lines (quorvel-serve --loop prints one
# per run, so this is also how a run waits for the previous one to have ended).
wait_for_listening() {
  local log=$1 count=$2 tries=0
  until [ "$(grep -c 'listening on port' "$log" || true)" -ge "$count" ]; do
    tries=$((tries + 1))
    [ "$tries" -lt 200 ] || { echo "bench-link: no listening line in $log:" >&2; cat "$log" >&2; exit 1; }
    sleep 0.05
  done
}
start_in_namespace "$work/serve.log" "$serve" --input "$video" --port "$server_port" --loop \
  --read-ahead 1 --interlaced 0 --quiet
server_runs=1
wait_for_listening "$work/serve.log" 1
start_in_namespace "$work/relay.log" "$relay" --connect-port "$server_port" --delay-ms "$delay_ms"
wait_for_listening "$work/relay.log" 1
relay_port=$(grep -o 'listening on port [0-9]*' "$work/relay.log" | grep -o '[0-9]*$')
# The shaped hop: the relay to the client (source port), and the requests to it.
for match in sport dport; do
  in_namespace tc filter add dev lo parent 1: protocol ip prio 1 u32 \
    match ip "$match" "$relay_port" 0xffff flowid 1:10 2>"$work/error" ||
    skip "tc filter on the namespace's loopback failed: $(head -1 "$work/error")"
done

# Each connection is a new run of quorvel-serve; the next one waits for it to listen again.
next_server_run() {
  wait_for_listening "$work/serve.log" "$server_runs"
  server_runs=$((server_runs + 1))
}

relayed_bytes=0
# bare_row NAME CODEC PORT: records frames/s and reply bytes per frame.
bare_row() {
  local name=$1 codec=$2 port=$3 line
  next_server_run
  line=$(in_namespace "$bare" "$port" --compression "$codec" --frames "$frames")
  echo "$line" | awk '{print $6}' >>"$work/$name.$codec.fps"
  echo "$line" | awk '{print $8}' >>"$work/$name.$codec.bytes"
  if [ "$port" = "$relay_port" ]; then
    relayed_bytes=$((relayed_bytes + frames * $(echo "$line" | awk '{print $8}')))
  fi
}
# fetch_row NAME CODEC FETCH_OPTION...: records quorvel-fetch's own frames/s (its progress
# line, timed from the first frame request to the last frame written).
fetch_row() {
  local name=$1 codec=$2 last
  shift 2
  next_server_run
  # A run that hangs is ended from outside: quorvel-fetch takes each option once, so its own
  # --timeout stays free for FETCH_OPTIONs.
  if ! timeout 300 ip netns exec "$namespace" "$fetch" "127.0.0.1:$relay_port" -o /dev/null \
    --frames "0-$((frames - 1))" --compression "$codec" --progress "$@" "${fetch_options[@]}" \
    2>"$work/fetch.log"; then
    echo "bench-link: quorvel-fetch failed ($name, $codec):" >&2
    tr '\r' '\n' <"$work/fetch.log" | tail -3 >&2
    exit 1
  fi
  last=$(tr '\r' '\n' <"$work/fetch.log" | grep 'frames,' | tail -1)
  case "$last" in
    *" $frames/$frames frames,"*) ;;
    *) echo "bench-link: quorvel-fetch did not fetch all $frames frames: $last" >&2; exit 1 ;;
  esac
  echo "$last" | grep -o '[0-9.]* fps' | awk '{print $1}' >>"$work/$name.$codec.fps"
  relayed_bytes=$((relayed_bytes + frames * $(tail -1 "$work/bare-direct.$codec.bytes")))
}

fetch_rows=(fetch)
depth_help=$("$fetch" --help | grep -- '--depth' || true)
if [ -n "$depth_help" ] && [[ " ${fetch_options[*]} " != *" --depth"* ]]; then
  fetch_rows=(fetch fetch-depth1)
fi

echo "bench-link: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"
echo "link: ${link_rate} token bucket (burst 256kb, latency 10ms) on the relay's hop to the client," \
  "${delay_ms} ms each way in quorvel-delay-relay; frame cam_1920x1080, read-ahead on;" \
  "$frames frames a row, $rounds round(s), medians"
if [ -n "$depth_help" ]; then
  echo "quorvel-fetch --help: $(echo "$depth_help" | tr -s ' ')"
else
  echo "quorvel-fetch has no --depth: one request at a time"
fi
[ ${#fetch_options[@]} -eq 0 ] || echo "quorvel-fetch options: ${fetch_options[*]}"
for _ in $(seq "$rounds"); do
  for codec in "${codecs[@]}"; do
    bare_row bare-direct "$codec" "$server_port"
    bare_row bare-relay "$codec" "$relay_port"
    fetch_row fetch "$codec"
    [ "${#fetch_rows[@]}" -eq 1 ] || fetch_row fetch-depth1 "$codec" --depth 1
  done
done

median() { sort -g "$1" | awk '{v[NR] = $1} END {print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

echo
printf '%-8s %-14s %11s %12s %11s %11s %10s %6s %7s %s\n' codec client "reply bytes" \
  "link limit" "server only" "bare+relay" "fetch fps" ratio target result
for codec in "${codecs[@]}"; do
  bytes=$(median "$work/bare-direct.$codec.bytes")
  server_only=$(median "$work/bare-direct.$codec.fps")
  bare_relayed=$(median "$work/bare-relay.$codec.fps")
  for row in "${fetch_rows[@]}"; do
    client="quorvel-fetch"
    [ "$row" = fetch-depth1 ] && client="fetch depth 1"
    [ "$row" = fetch ] && [ "${#fetch_rows[@]}" -gt 1 ] && client="fetch default"
    awk -v codec="$codec" -v client="$client" -v bytes="$bytes" -v bits="$link_bits_per_second" \
      -v server="$server_only" -v relayed="$bare_relayed" -v fetched="$(median "$work/$row.$codec.fps")" \
      -v target="$target" -v judged="$([ "$row" = fetch ] && echo 1 || echo 0)" 'BEGIN {
        limit = bits / (bytes * 8)
        bound = limit < server ? limit : server
        ratio = fetched / bound
        result = judged ? (ratio >= target ? "pass" : "MISS") : ""
        printf "%-8s %-14s %11d %12.1f %11.1f %11.1f %10.1f %6.3f %7s %s\n", codec, client, bytes,
               limit, server, relayed, fetched, ratio, judged ? ">=" target : "", result
      }'
  done
done
echo
echo "link limit = 1 Gbit/s / (reply bytes x 8); server only = quorvel-bare-fetch straight to" \
  "quorvel-serve (no relay, not shaped); bare+relay = the same client through the relay and the" \
  "link; ratio = fetch fps / min(link limit, server only)"
read -r shaped dropped < <(in_namespace tc -s qdisc show dev lo |
  awk '/^qdisc tbf 10:/ {getline; sub(",", "", $7); print $2, $7}')
echo "the token bucket passed $((shaped / 1000000)) MB and dropped $dropped packets; the relayed" \
  "rows' replies were $((relayed_bytes / 1000000)) MB"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
