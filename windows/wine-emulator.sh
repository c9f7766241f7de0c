#!/usr/bin/env bash
# Runs a cross-built test program under Wine for ctest (the toolchain's cross-compiling
# emulator). Refuses to run without a WINEPREFIX of its own: tests never touch ~/.wine.
set -euo pipefail
if [ -z "${WINEPREFIX:-}" ] || [ "$(realpath -m "$WINEPREFIX")" = "$(realpath -m "$HOME/.wine")" ]; then
  echo "wine-emulator.sh: set WINEPREFIX to a throwaway prefix (scripts/test-windows.sh does)" >&2
  exit 1
fi
export WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$@"
