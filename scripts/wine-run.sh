#!/usr/bin/env bash
# Runs a Windows program under Wine, in a private 64-bit prefix, quietly.
# The loader is CAMERA_INFO_WINE_LOADER if set (/usr/lib/wine/wine runs a
# 32-bit program as on 64-bit Windows), else /usr/lib/wine/wine64. Exits with
# status 77, meaning a skipped test, where that loader is not installed.
# The prefix is WINEPREFIX if set, else one beside the build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
loader="${CAMERA_INFO_WINE_LOADER:-/usr/lib/wine/wine64}"
if [[ ! -x "$loader" ]]; then
  echo "skipped: $loader is not installed; scripts/setup.sh installs it only" \
    "where this machine runs i386 programs"
  exit 77
fi
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export DISPLAY=
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  mkdir -p "$WINEPREFIX"
  # Says why, rather than ending the test silently, where the prefix fails.
  for attempt in 1 2; do
    /usr/lib/wine/wine64 wineboot --init >"$WINEPREFIX/boot.log" 2>&1 && break
    echo "wine-run: wineboot failed (attempt $attempt):" >&2
    tail -n 20 "$WINEPREFIX/boot.log" >&2
  done
  /usr/lib/wine/wineserver --wait
fi
status=0
"$loader" "$@" || status=$?
((status == 0)) || echo "wine-run: $* ended with status $status" >&2
exit "$status"
