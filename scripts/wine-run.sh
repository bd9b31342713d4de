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
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
  /usr/lib/wine/wineserver --wait
fi
exec "$loader" "$@"
