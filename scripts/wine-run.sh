#!/usr/bin/env bash
# Runs a Windows program under Wine, in a private 64-bit prefix, quietly.
#   scripts/wine-run.sh PROGRAM [ARGS...]
#   scripts/wine-run.sh --make-prefix DIR   makes a prefix there, and nothing else
#   scripts/wine-run.sh --copy-prefix FROM TO   copies a prefix, cheaply
# The loader is CAMERA_INFO_WINE_LOADER if set (/usr/lib/wine/wine runs a
# 32-bit program as on 64-bit Windows), else /usr/lib/wine/wine64.
# The prefix is WINEPREFIX if set; else, given CAMERA_INFO_WINE_TEMPLATE (a
# prefix that scripts/test.sh makes once per run), a copy of it made for this
# run of the program alone; else one beside the build. A prefix is complete
# only with its 32-bit half (syswow64/kernel32.dll): one made before Wine's
# 32-bit half was installed cannot start 32-bit programs, and is made again.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
wine=/usr/lib/wine
export WINEDEBUG=-all DISPLAY=
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

complete() { [[ -f "$1/system.reg" && -f "$1/drive_c/windows/syswow64/kernel32.dll" ]]; }

make_prefix() {  # DIR
  local attempt
  rm -rf "$1"
  mkdir -p "$1"
  for attempt in 1 2; do
    WINEPREFIX="$1" "$wine/wine64" wineboot --init >"$1/boot.log" 2>&1 &&
      WINEPREFIX="$1" "$wine/wineserver" --wait && complete "$1" && return 0
    echo "wine-run: making the Wine prefix $1 failed (attempt $attempt):" >&2
    tail -n 20 "$1/boot.log" >&2
  done
  if [[ ! -x "$wine/wine" ]]; then
    echo "wine-run: Wine's 32-bit half is not installed: scripts/setup.sh all installs it" >&2
  elif ! "$root/scripts/can-run-i386.sh"; then
    echo "wine-run: without i386 programs the prefix gets no 32-bit half;" \
      "scripts/setup.sh all (as root) makes them run" >&2
  fi
  return 1
}

# Copies prefix FROM to TO: files are hard links, except those Wine may
# change in place (the registry is saved through a new file, but be sure).
copy_prefix() {  # FROM TO
  cp -al "$1" "$2" 2>/dev/null || { rm -rf "$2" && cp -a "$1" "$2"; }
  rm -f "$2"/*.reg "$2/.update-timestamp"
  cp -a "$1"/*.reg "$1/.update-timestamp" "$2/"
}

case "${1:-}" in
  --make-prefix) make_prefix "$2"; exit ;;
  --copy-prefix) copy_prefix "$2" "$3"; exit ;;
esac

loader="${CAMERA_INFO_WINE_LOADER:-$wine/wine64}"
if [[ ! -x "$loader" ]]; then
  echo "wine-run: $loader is not installed: run scripts/setup.sh all" >&2
  exit 1
fi
private=""
if [[ -z "${WINEPREFIX:-}" && -n "${CAMERA_INFO_WINE_TEMPLATE:-}" ]]; then
  complete "$CAMERA_INFO_WINE_TEMPLATE" ||
    { echo "wine-run: $CAMERA_INFO_WINE_TEMPLATE is no complete Wine prefix" >&2; exit 1; }
  private="$(mktemp -d "${CAMERA_INFO_WINE_TEMPLATE%/}.copy.XXXXXX")"
  trap 'WINEPREFIX="$private/prefix" "$wine/wineserver" -k 2>/dev/null; rm -rf "$private"' EXIT
  copy_prefix "$CAMERA_INFO_WINE_TEMPLATE" "$private/prefix"
  export WINEPREFIX="$private/prefix"
fi
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
complete "$WINEPREFIX" || make_prefix "$WINEPREFIX"
status=0
"$loader" "$@" || status=$?
((status == 0)) || echo "wine-run: $* ended with status $status" >&2
exit "$status"
