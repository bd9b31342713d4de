#!/usr/bin/env bash
# Runs a Windows program under Wine, in a private 64-bit prefix, quietly.
#   scripts/wine-run.sh PROGRAM [ARGS...]
#   scripts/wine-run.sh --prefix DIR [FROM]   makes a prefix there unless
#       it is complete (a copy of FROM where that is), and starts a Wine
#       server that stays while programs follow (the fixtures of each
#       Windows build tree's tests)
#   scripts/wine-run.sh --copy-prefix FROM TO   copies a prefix, cheaply
# The loader is CAMERA_INFO_WINE_LOADER if set (/usr/lib/wine/wine runs a
# 32-bit program as on 64-bit Windows), else /usr/lib/wine/wine64. The
# prefix is WINEPREFIX if set, else the windows-x64 build tree's. A prefix
# is complete only with its 32-bit half (syswow64/kernel32.dll): one made
# before Wine's 32-bit half was installed cannot start 32-bit programs, and
# is made again.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
wine=/usr/lib/wine
export WINEDEBUG=-all DISPLAY=
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

complete() { [[ -f "$1/system.reg" && -f "$1/drive_c/windows/syswow64/kernel32.dll" ]]; }

# Copies prefix FROM to TO: files are hard links, except those Wine or the
# tests may change in place.
copy_prefix() {  # FROM TO
  rm -rf "$2"
  cp -al "$1" "$2" 2>/dev/null || { rm -rf "$2" && cp -a "$1" "$2"; }
  rm -f "$2"/*.reg "$2/.update-timestamp" "$2/camera-info-devices"
  cp -a "$1"/*.reg "$1/.update-timestamp" "$2/"
}

make_prefix() {  # DIR [FROM]
  local attempt
  complete "$1" && return 0
  if [[ -n "${2:-}" ]] && complete "$2"; then copy_prefix "$2" "$1" && return 0; fi
  rm -rf "$1"
  mkdir -p "$1"
  for attempt in 1 2; do
    WINEPREFIX="$1" "$wine/wine64" wineboot --init >"$1/boot.log" 2>&1 &&
      WINEPREFIX="$1" "$wine/wineserver" --wait && complete "$1" && return 0
    echo "wine-run: making the Wine prefix $1 failed (attempt $attempt):" >&2
    tail -n 20 "$1/boot.log" >&2
  done
  # Without i386 programs the prefix gets no 32-bit half: say why.
  "$root/scripts/can-run-i386.sh" >&2
  return 1
}

case "${1:-}" in
  --prefix)
    make_prefix "$2" "${3:-}"
    # The server and Wine's own services (started by the first program)
    # outlive the test that starts them: started here without its output,
    # so that CTest does not wait for them. They end 30 s after the last
    # program.
    export WINEPREFIX="$2"
    "$wine/wineserver" -p30 </dev/null >/dev/null 2>&1 || true  # or one runs
    "$wine/wine64" cmd /c exit </dev/null >/dev/null 2>&1
    exit 0 ;;
  --copy-prefix) copy_prefix "$2" "$3"; exit ;;
esac

loader="${CAMERA_INFO_WINE_LOADER:-$wine/wine64}"
if [[ ! -x "$loader" ]]; then
  echo "wine-run: $loader is not installed: run scripts/setup.sh all" >&2
  exit 1
fi
export WINEPREFIX="${WINEPREFIX:-$root/build/windows-x64/wine/prefix}"
make_prefix "$WINEPREFIX"
status=0
"$loader" "$@" || status=$?
((status == 0)) || echo "wine-run: $* ended with status $status" >&2
exit "$status"
