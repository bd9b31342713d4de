#!/usr/bin/env bash
# Everything the project knows of Wine: its loaders, its variables, the
# prefixes the tests run in and where DirectShow's devices live.
#   wine-run.sh PROGRAM [ARGS...]   runs a Windows program quietly, with the
#       loader its PE header asks for (/usr/lib/wine/wine runs a 32-bit one
#       as on 64-bit Windows), in WINEPREFIX (by default the windows-x64
#       build tree's), which it makes first where it is not complete
#   wine-run.sh --prefix DIR [FROM]   makes a prefix there unless it is
#       complete (a copy of FROM where that is), and starts a Wine server
#       that stays while programs follow (the tests' fixtures)
#   wine-run.sh --devices FILE   installs the video-input devices of FILE in
#       WINEPREFIX, in place of any there, in both registry views, as a
#       software camera's installer leaves them: a device a line, its
#       instance name, FriendlyName and Description, tab-separated; "-" for
#       a property it lacks, dword:HEX for one that holds a number
#   wine-run.sh --stop   ends WINEPREFIX's server and programs
# A prefix is complete only with its 32-bit half (syswow64/kernel32.dll):
# one made before Wine's 32-bit half was installed cannot start 32-bit
# programs, and is made again.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
wine=/usr/lib/wine
export WINEDEBUG=-all DISPLAY=
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEPREFIX="${WINEPREFIX:-$root/build/windows-x64/wine/prefix}"

complete() { [[ -f "$1/system.reg" && -f "$1/drive_c/windows/syswow64/kernel32.dll" ]]; }

# Copies prefix FROM to TO, drive_c as hard links where it can. The registry
# files are copied: Wine saves a file that has other links in place, so a
# copy could take half of one.
copy_prefix() {  # FROM TO
  rm -rf "$2" && mkdir -p "$2"
  cp -al "$1/drive_c" "$2/" 2>/dev/null || { rm -rf "$2/drive_c" && cp -a "$1/drive_c" "$2/"; }
  cp -a "$1/dosdevices" "$1"/*.reg "$1/.update-timestamp" "$2/"
}

make_prefix() {  # DIR [FROM]
  local attempt
  complete "$1" && return 0
  if [[ -n "${2:-}" ]] && complete "$2"; then copy_prefix "$2" "$1" && return 0; fi
  rm -rf "$1" && mkdir -p "$1"
  for attempt in 1 2; do
    WINEPREFIX="$1" "$wine/wine64" wineboot --init >"$1/boot.log" 2>&1 &&
      WINEPREFIX="$1" "$wine/wineserver" --wait && complete "$1" && return 0
    echo "wine-run: making the Wine prefix $1 failed (attempt $attempt):" >&2
    tail -n 20 "$1/boot.log" >&2
  done
  "$root/scripts/setup.sh" --check all >&2  # says what is missing
  return 1
}

install_devices() {  # FILE
  local key='HKEY_CLASSES_ROOT\CLSID\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\Instance'
  local reg out instance friendly description view
  reg="$(mktemp "${TMPDIR:-/tmp}/camera-info-devices.XXXXXX")" out="$reg.out"
  trap 'rm -f "$reg" "$out"' RETURN
  while IFS=$'\t' read -r instance friendly description; do
    printf '[%s\\%s]\r\n' "$key" "$instance"
    reg_value FriendlyName "$friendly"
    reg_value Description "$description"
  done <"$1" | { printf 'Windows Registry Editor Version 5.00\r\n\r\n'; cat; } |
    iconv -f UTF-8 -t UTF-16 >"$reg"
  for view in 32 64; do
    "$wine/wine64" reg delete "$key" /f "/reg:$view" >/dev/null 2>&1 || true
    [[ ! -s "$1" ]] || "$wine/wine64" reg import "Z:$reg" "/reg:$view" >"$out" 2>&1 ||
      { echo "wine-run: could not install the devices of $1: $(tr -d '\r' <"$out")" >&2; return 1; }
  done
}
reg_value() {  # NAME VALUE: its line in a .reg file; none for "-"
  local text="${2//\\/\\\\}"
  case "$2" in
    -) ;;
    dword:*) printf '"%s"=%s\r\n' "$1" "$2" ;;
    *) printf '"%s"="%s"\r\n' "$1" "${text//\"/\\\"}" ;;
  esac
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
  --devices) make_prefix "$WINEPREFIX" && install_devices "$2"; exit ;;
  --stop) "$wine/wineserver" -k 2>/dev/null || true; exit 0 ;;
esac

# A 32-bit program (PE machine 0x14c) runs under the 32-bit loader.
loader="$wine/wine64"
pe="$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')" || true
[[ -z "$pe" || "$(od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ')" != 014c ]] || loader="$wine/wine"
if [[ ! -x "$loader" ]]; then
  echo "wine-run: $loader is not installed: run scripts/setup.sh all" >&2
  exit 1
fi
make_prefix "$WINEPREFIX"
status=0
"$loader" "$@" || status=$?
((status == 0)) || echo "wine-run: $* ended with status $status" >&2
exit "$status"
