#!/usr/bin/env bash
# quorvel.auo serving a native quorvel-fetch over 127.0.0.1 under Wine. The harness plays the
# host with a known stream of WIDTH x HEIGHT frames and writes the bytes it serves; the client
# fetches every frame (raw YUY2) and the audio that plays during them (WAV) through wire_tap.py, which reports the
# compression of every frame reply. TAP is "-", "mask=M" (the tap rewrites the client's
# compression mask to M) or "inject=M" (the tap sends a request with mask M of its own before
# the first frame). Passes when the client's files equal the harness's byte for byte and
# every frame reply carries EXPECTED_COMPRESSION and the plug-in listened on the harness's
# --listen-address (every interface without one).
#
# usage: serve_test.sh HARNESS PLUGIN FETCH WIDTH HEIGHT CLIENT_COMPRESSION TAP \
#                      EXPECTED_COMPRESSION [harness options...]
set -euo pipefail
harness=$1 plugin=$2 fetch=$3 width=$4 height=$5 compression=$6 tap_change=$7 expected=$8
shift 8
source "$(dirname "$0")/wine_prefix_check.sh"
tap="$(dirname "$0")/wire_tap.py"
frames=8 samples=30000

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

wait_for_file() {  # FILE PID: until FILE exists, while PID lives, at most 30 s
  for _ in $(seq 300); do
    [ -s "$1" ] && return 0
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

timeout 120 wine "$harness" serve "$plugin" --width "$width" --height "$height" \
  --frames "$frames" --audio-samples "$samples" --port-file "$work/port" \
  --expect-video "$work/expected.yuy2" --expect-audio "$work/expected.pcm" "$@" \
  >"$work/harness.log" 2>&1 &
harness_pid=$!
pids+=("$harness_pid")
if ! wait_for_file "$work/port" "$harness_pid"; then
  cat "$work/harness.log"; echo "FAILED: the plug-in never listened" >&2; exit 1
fi

# The listening socket's own address, as the kernel's table shows it: the harness's
# --listen-address, else every interface.
listen_address=0.0.0.0
options=("$@")
for ((i = 0; i + 1 < ${#options[@]}; i++)); do
  [ "${options[i]}" = --listen-address ] && listen_address=${options[i + 1]}
done
IFS=. read -r a b c d <<<"$listen_address"
listen_entry=$(printf '%02X%02X%02X%02X:%04X' "$d" "$c" "$b" "$a" "$(tr -d '\r\n' <"$work/port")")
listening=0
awk -v entry="$listen_entry" '$2 == entry && $4 == "0A" { found = 1 } END { exit !found }' \
  /proc/net/tcp || listening=$?

case "$tap_change" in
  -) tap_options=() ;;
  mask=*) tap_options=(--mask "${tap_change#mask=}") ;;
  inject=*) tap_options=(--inject "${tap_change#inject=}") ;;
  *) echo "bad TAP '$tap_change'" >&2; exit 2 ;;
esac
python3 "$tap" --server "$(tr -d '\r\n' <"$work/port")" --port-file "$work/tap-port" \
  --report "$work/tap.txt" "${tap_options[@]}" &
tap_pid=$!
pids+=("$tap_pid")
wait_for_file "$work/tap-port" "$tap_pid" || { echo "FAILED: the wire tap did not start" >&2; exit 1; }

client_status=0
timeout 60 "$fetch" "127.0.0.1:$(cat "$work/tap-port")" -o "$work/video.yuy2" --raw \
  --audio-out "$work/audio.wav" --compression "$compression" --quiet --timeout 30 || client_status=$?
harness_status=0
wait "$harness_pid" || harness_status=$?
wait "$tap_pid" || true
pids=()
sed 's/\r$//' "$work/harness.log"
cat "$work/tap.txt" 2>/dev/null || true

failed=0
check() { if ! eval "$1"; then echo "FAILED: $2" >&2; failed=1; fi; }
check '[ "$listening" -eq 0 ]' "the plug-in listens on $listen_address ($listen_entry in /proc/net/tcp)"
check '[ "$client_status" -eq 0 ]' "quorvel-fetch exit status $client_status"
check '[ "$harness_status" -eq 0 ]' "harness exit status $harness_status"
check 'cmp -s "$work/video.yuy2" "$work/expected.yuy2"' "the frames differ from what the host served"
# quorvel-fetch writes the audio that plays during the frames it writes: the harness's stream
# runs at 30000/1001 frames per second with 48 kHz stereo, so the first
# floor(frames * 1001 * 48000 / 30000) samples of the host's, 4 bytes each, after the 44-byte
# header of 1-2 channel 16-bit audio.
audio_bytes=$((frames * 1001 * 48000 / 30000 * 4))
check '[ "$(($(stat -c %s "$work/audio.wav") - 44))" -eq "$audio_bytes" ]' \
  "the WAV holds the audio of the $frames frames ($audio_bytes bytes)"
check 'cmp -s <(tail -c +45 "$work/audio.wav") <(head -c "$audio_bytes" "$work/expected.pcm")' \
  "the audio differs from what the host served"
check 'grep -qx "compressions=$expected" "$work/tap.txt"' "every frame reply has compression $expected"
check 'grep -qx "frame_replies=$frames" "$work/tap.txt"' "one frame reply per frame"
[ "$failed" -eq 0 ] && echo "serve ${width}x${height} --compression $compression tap $tap_change: passed"
exit "$failed"
