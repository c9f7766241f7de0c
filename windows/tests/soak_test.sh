#!/usr/bin/env bash
# The soak against quorvel.auo under Wine: the harness plays the host with 120 frames of
# 320x240 and plenty of audio, and the native quorvel-soak sends REQUESTS requests of its
# mix (frames in order, at random and repeated, audio ranges, codec switches) over
# 127.0.0.1, then disconnects. With CONVERSATIONS above 1 the output keeps waiting for the
# next client, quorvel-soak holds that many conversations back to back, and the harness's
# host aborts once a stop file appears after the last. Passes when every reply was well
# formed, the harness's process (a Linux process under Wine) kept a flat VmRSS (across the
# conversations too), and the output run returned 1 with the harness's own checks passing.
#
# usage: soak_test.sh HARNESS PLUGIN SOAK REQUESTS READ_AHEAD(0|1) [CONVERSATIONS]
set -euo pipefail
harness=$1 plugin=$2 soak=$3 requests=$4 read_ahead=$5 conversations=${6:-1}
source "$(dirname "$0")/wine_prefix_check.sh"

work=$(mktemp -d)
harness_pid=
cleanup() {
  [ -z "$harness_pid" ] || kill "$harness_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

keep_waiting=0
[ "$conversations" -eq 1 ] || keep_waiting=1
timeout 900 wine "$harness" serve "$plugin" --width 320 --height 240 --frames 120 \
  --audio-samples 300000 --read-ahead "$read_ahead" --deadline-ms 800000 \
  --keep-waiting "$keep_waiting" --stop-file "$work/stop" \
  --port-file "$work/port" >"$work/harness.log" 2>&1 &
harness_pid=$!
for _ in $(seq 300); do
  [ -s "$work/port" ] && break
  kill -0 "$harness_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$work/port" ]; then
  sed 's/\r$//' "$work/harness.log"
  echo "FAILED: the plug-in never listened" >&2
  exit 1
fi
# Wine runs the Windows program in a Linux process of its own, the child of `timeout`.
server_pid=$(pgrep -P "$harness_pid" | head -n 1)
if [ -z "$server_pid" ]; then
  echo "FAILED: no process of the harness under Wine" >&2
  exit 1
fi

soak_status=0
"$soak" --attach "$(tr -d '\r\n' <"$work/port")" "$server_pid" "$requests" "$((7 + read_ahead))" \
  "$conversations" || soak_status=$?
# Stops a run that keeps waiting, as the user stopping the output; a run that served one
# client has ended by itself.
touch "$work/stop"
harness_status=0
wait "$harness_pid" || harness_status=$?
harness_pid=
sed 's/\r$//' "$work/harness.log"

failed=0
[ "$soak_status" -eq 0 ] || { echo "FAILED: quorvel-soak exit status $soak_status" >&2; failed=1; }
[ "$harness_status" -eq 0 ] || { echo "FAILED: harness exit status $harness_status" >&2; failed=1; }
[ "$failed" -eq 0 ] &&
  echo "soak of $conversations x $requests requests, read-ahead $read_ahead: passed"
exit "$failed"
