# Sourced by the Wine test scripts: refuses to run without a throwaway WINEPREFIX, so a test
# never creates or touches ~/.wine.
if [ -z "${WINEPREFIX:-}" ] || [ "$(realpath -m "$WINEPREFIX")" = "$(realpath -m "$HOME/.wine")" ]; then
  echo "$(basename "$0"): set WINEPREFIX to a throwaway prefix (scripts/test-windows.sh does)" >&2
  exit 1
fi
export WINEDEBUG="${WINEDEBUG:--all}"
