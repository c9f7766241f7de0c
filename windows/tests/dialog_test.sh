#!/usr/bin/env bash
# The settings dialog of quorvel.auo under Wine on a virtual display, driven like a user:
# the harness opens it through the configure slot, xdotool edits the port (300 characters in
# mode ok, which OK must cut to 253 and a NUL) and toggles boxes, the keep-waiting and
# several-clients boxes among them, and presses OK (mode ok) or Cancel (mode cancel), and the
# harness reads the settings back through get-settings. Screenshots of the open dialog, before and after the edits, are
# saved in ARTIFACT_DIR.
#
# usage: dialog_test.sh ok|cancel HARNESS PLUGIN ARTIFACT_DIR
set -euo pipefail
mode=$1 harness=$2 plugin=$3 artifacts=$4
source "$(dirname "$0")/wine_prefix_check.sh"

# Waits (bounded) until this prefix's wineserver has ended; ends it when it lingers.
settle_wine() { timeout 30 wineserver -w || wineserver -k; }

if [ -z "${DISPLAY:-}" ]; then
  # A Wine process with a display must not join a wineserver started without one.
  settle_wine
  export QUORVEL_DIALOG_OWN_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$@"
fi

# The plug-in uses the ANSI dialog calls: Wine needs code page 932 (a Japanese locale) or
# every Japanese text becomes "???". Only Wine gets the locale, so the shell stays quiet.
ja() { LC_ALL=ja_JP.UTF-8 "$@"; }

mkdir -p "$artifacts"
report=$(mktemp)
# On a display of its own, the test leaves no wineserver tied to it behind.
trap 'rm -f "$report"; [ -z "${QUORVEL_DIALOG_OWN_DISPLAY:-}" ] || settle_wine' EXIT

# MS P Gothic is not here; its proportional IPA counterpart gives the widths it was laid out
# for. Imported from a UTF-16 .reg file: a command-line argument would pass through the Unix
# locale, which need not exist.
printf 'Windows Registry Editor Version 5.00\r\n\r\n%s\r\n"%s"="IPAPGothic"\r\n' \
  '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]' \
  'ＭＳ Ｐゴシック' | iconv -f UTF-8 -t UTF-16 >"$report"
timeout 60 wine regedit /S "$report" >/dev/null 2>&1

# A Wine desktop window, so the screenshot shows the caption.
ja timeout 60 wine explorer /desktop=quorvel,320x240 "$harness" configure "$plugin" \
  --port 22050 --interlaced 1 --top-field-first 0 --read-ahead 1 --keep-waiting 0 \
  --several-clients 0 \
  >"$report" 2>/dev/null &
wine_pid=$!

desktop=""
for _ in $(seq 150); do
  desktop=$(xdotool search --name "quorvel - Wine desktop" 2>/dev/null | head -1 || true)
  [ -n "$desktop" ] && break
  sleep 0.2
done
[ -n "$desktop" ] || { echo "no Wine desktop window appeared" >&2; exit 1; }

# The empty desktop is one colour; the dialog is up once the picture has many.
shot() { import -window "$desktop" "$1"; }
colours=0
for _ in $(seq 100); do
  shot "$artifacts/config-dialog-$mode.png"
  colours=$(/usr/bin/convert "$artifacts/config-dialog-$mode.png" -format %k info:)
  [ "$colours" -gt 8 ] && break
  sleep 0.2
done
[ "$colours" -gt 8 ] || { echo "the dialog was never drawn" >&2; exit 1; }
sleep 0.5
shot "$artifacts/config-dialog-$mode.png"

# Without a window manager focus follows the pointer: put it over the dialog (nothing is clicked).
xdotool mousemove --window "$desktop" 160 120
xdotool windowfocus "$desktop"
keys() { xdotool key --delay 80 "$@"; sleep 0.2; }
# 300 characters, more than the 253 that OK keeps before the NUL and the two flags.
long_port=$(printf '1234567890%.0s' $(seq 30))
case "$mode" in
  ok) typed=$long_port ;;
  cancel) typed=12345 ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac
# Focus starts on OK; the tab order is OK, Cancel, port field, the five boxes.
keys Tab Tab                        # into the port field, its text selected
xdotool type --delay 20 "$typed"    # replaces it
sleep 0.5
keys Tab space Tab space            # interlaced off, top field first on
keys Tab Tab space                  # past read-ahead, keep waiting on
keys Tab space                      # several clients on
shot "$artifacts/config-dialog-$mode-edited.png"
case "$mode" in
  ok) keys Tab space ;;          # OK
  cancel) keys Tab Tab space ;;  # past OK, then Cancel
esac

if ! wait "$wine_pid"; then
  echo "the harness did not finish" >&2
  exit 1
fi
# msvcrt writes text-mode stdout with CR LF.
sed -i 's/\r$//' "$report"
cat "$report"
expect() { grep -qx "$1" "$report" || { echo "FAILED: expected $1" >&2; exit 1; }; }
expect "result=1"
if [ "$mode" = ok ]; then
  # The harness prints the text up to its NUL, reading at most 254 bytes: exactly 253 of them
  # shows the NUL at offset 253.
  expect "port=${long_port:0:253}"
  expect "interlaced=0"; expect "top_field_first=1"; expect "read_ahead=1"; expect "keep_waiting=1"
  expect "several_clients=1"; expect "block_unchanged=0"
else
  expect "port=22050"; expect "interlaced=1"; expect "top_field_first=0"; expect "read_ahead=1"
  expect "keep_waiting=0"; expect "several_clients=0"; expect "block_unchanged=1"
fi
echo "dialog $mode: passed; screenshots in $artifacts"
