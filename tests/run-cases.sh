#!/usr/bin/env bash
# Runs one case of the built camera-info as a user or a script runs it and
# checks what the run leaves: exit status 0, nothing printed, CameraInfo.txt
# byte for byte as expected, and no other file. CTest runs each case as a
# test of its own (cmake/cases.cmake).
# Usage: run-cases.sh CASE PROGRAM                     the Linux build
#        run-cases.sh CASE PROGRAM WINE_LOADER HELPER  a Windows build, under
#                                                      Wine, in WINEPREFIX
# CASE is a folder of wine/cases, whose devices.txt is installed for Wine's
# own DirectShow enumerator and whose expected.txt is the report (devices.txt
# has a device a line: instance name, FriendlyName and Description,
# tab-separated; "-" for a property the device lacks, dword:HEX for one that
# holds a number); a line of file-cases.txt; system32-working-directory; or
# standard-devices, which installs the devices that the file cases meet.
# Prints what went wrong; exits 0 when the case passes, 77 when it cannot run
# here.
set -uo pipefail
shopt -s nullglob dotglob extglob
name="$1" exe="$(realpath "$2")" loader="${3:-}" helper="${4:+$(realpath "$4")}"
tests="$(cd "$(dirname "$0")" && pwd)"
wine="$(dirname "${loader:-/usr/lib/wine/wine64}")"
mounted=""
# A run held until its end retries its rename for about a second (1.06 s of
# pauses) and then lets go. The helper times it from the moment the new file
# appears, so Wine's start and the device walk do not count. With every core
# busy that took 1068 to 1135 ms (32-bit under qemu included) while whole
# runs took up to 3.5 s: the bounds keep three times that room, and catch
# retries cut short or lasting several seconds.
held_least_ms=350 held_most_ms=4000
work="$(mktemp -d "${TMPDIR:-/tmp}/camera-info-case.XXXXXX")"
chmod 755 "$work"
trap '[[ -z "$mounted" ]] || umount "$mounted"; rm -rf "$work"' EXIT
if [[ -n "$loader" ]]; then
  [[ -n "${WINEPREFIX:-}" ]] || { echo "FAIL $name: no WINEPREFIX"; exit 1; }
  export WINEDEBUG=-all DISPLAY="" WINEDLLOVERRIDES="mscoree,mshtml="
fi

# Runs COMMAND in DIR (under Wine, its Windows working directory) and puts in
# why=() what went wrong: a status but 0, anything printed, a CameraInfo.txt
# other than REPORT ("-": not checked), or another file left; `theirs`
# counts the files of a name clash left as they were, `held` is what the
# helper timed.
check() {  # DIR REPORT COMMAND...
  local dir="$1" report="$2" status file
  shift 2
  (cd "$dir" && "$@") >"$work/printed" 2>&1
  status=$? why=()
  # The helper's own line, not the program's output.
  held="$(sed -n 's/^held-window \([0-9]*\)\r*$/\1/p' "$work/printed")"
  sed -i '/^held-window [0-9]*\r*$/d' "$work/printed"
  [[ -z "$held" ]] || echo "held $held ms"
  ((status == 0)) || why+=("exit status $status")
  [[ ! -s "$work/printed" ]] || why+=("printed: $(head -c 300 "$work/printed")")
  [[ "$report" == - ]] || cmp -s "$dir/CameraInfo.txt" "$report" ||
    why+=("CameraInfo.txt ($(stat -c '%s bytes' "$dir/CameraInfo.txt" 2>&1)) is not $report")
  theirs=0
  for file in "$dir"/*; do
    case "${file##*/}" in
      CameraInfo.txt | filler) ;;
      CameraInfo.txt.*-*.tmp)
        [[ "$(<"$file")" == theirs ]] && theirs=$((theirs + 1)) || why+=("left ${file##*/}") ;;
      *) why+=("left ${file##*/}") ;;
    esac
  done
}

verdict() {
  ((${#why[@]} == 0)) || { echo "FAIL $name: $(printf '%s; ' "${why[@]}")"; exit 1; }
  exit 0
}

# Installs the devices of CASE_DIR as a software camera's installer leaves
# them, in both registry views: programs of either width must see them
# alike. The prefix remembers which devices it holds.
install_devices() {  # CASE_DIR
  local key='HKEY_CLASSES_ROOT\CLSID\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\Instance'
  local instance friendly description view
  [[ "$(cat "$WINEPREFIX/camera-info-devices" 2>/dev/null)" != "$1" ]] || return 0
  while IFS=$'\t' read -r instance friendly description; do
    printf '[%s\\%s]\r\n' "$key" "$instance"
    reg_value FriendlyName "$friendly"
    reg_value Description "$description"
  done <"$1/devices.txt" | { printf 'Windows Registry Editor Version 5.00\r\n\r\n'; cat; } |
    iconv -f UTF-8 -t UTF-16 >"$work/devices.reg"
  for view in 32 64; do
    "$wine/wine64" reg delete "$key" /f "/reg:$view" >/dev/null 2>&1
    "$wine/wine64" reg import "Z:$work/devices.reg" "/reg:$view" >"$work/reg.out" 2>&1 ||
      { echo "FAIL $name: could not install the devices: $(tr -d '\r' <"$work/reg.out")"; exit 1; }
  done
  echo "$1" >"$WINEPREFIX/camera-info-devices"
}
reg_value() {  # NAME VALUE: its line in a .reg file; none for "-"
  local text="${2//\\/\\\\}"
  case "$2" in
    -) ;;
    dword:*) printf '"%s"=%s\r\n' "$1" "$2" ;;
    *) printf '"%s"="%s"\r\n' "$1" "${text//\"/\\\"}" ;;
  esac
}

# Commands of the helper's, as shell functions on Linux; under Wine too for
# runs at once. check() calls them through its COMMAND.
# shellcheck disable=SC2317
clash() {  # COUNT PROGRAM: the first COUNT names of its new file are taken
  local n
  for ((n = 0; n < $1; n++)); do printf theirs >"CameraInfo.txt.$BASHPID-$n.tmp"; done
  exec "$2"
}
# shellcheck disable=SC2317
together() {  # COUNT PROGRAM
  local n ended=0
  for ((n = 0; n < $1; n++)); do ${loader:+"$loader"} "$2" & done
  for ((n = 0; n < $1; n++)); do wait -n || ended=13; done
  return "$ended"
}

standard="$tests/wine/cases/usb-pci-integrated-paths"
new="$tests/data/report-empty.txt"
[[ -z "$loader" ]] || new="$standard/expected.txt"

if [[ "$name" == standard-devices ]]; then
  install_devices "$standard"
  exit 0
fi

if [[ -d "$tests/wine/cases/$name" && -n "$loader" ]]; then
  install_devices "$tests/wine/cases/$name"
  check "$(mktemp -d "$work/run.XXXXXX")" "$tests/wine/cases/$name/expected.txt" "$loader" "$exe"
  verdict
fi

# A 32-bit program whose working directory is system32 writes there, not into
# syswow64, where WoW64 file-system redirection would send it.
if [[ "$name" == system32-working-directory ]]; then
  windows="$WINEPREFIX/drive_c/windows"
  install_devices "$standard"
  check "$windows/system32" "$new" "$loader" "$exe"
  # Wine's own services may still be adding files there: only ours count.
  reasons=("${why[@]}") why=()
  for reason in "${reasons[@]}"; do [[ "$reason" == "left "* ]] || why+=("$reason"); done
  [[ ! -e "$windows/syswow64/CameraInfo.txt" ]] || why+=("a CameraInfo.txt in syswow64")
  rm -f "$windows"/sys*/CameraInfo.txt
  left=("$windows"/sys*/CameraInfo.txt*)
  ((${#left[@]} == 0)) || why+=("left ${left[*]}")
  verdict
fi

line="$(grep -m1 "^$name " "$tests/file-cases.txt")" || { echo "FAIL no case $name"; exit 1; }
read -r _ _ earlier expected words <<<"$line"
[[ -z "$loader" ]] || install_devices "$standard"
read -ra command <<<"$words"
dir="$(mktemp -d "$work/run.XXXXXX")"
if [[ "${command[0]}" == full-disk ]]; then
  mount -t tmpfs -o size=8k camera-info-test "$dir" 2>"$work/mount.out" ||
    { echo "SKIP $name: cannot mount a small tmpfs: $(<"$work/mount.out")"; exit 77; }
  mounted="$dir"
elif [[ "${command[0]}" == deep ]]; then
  # A directory whose Windows path (Z:\tmp\...) has that many characters.
  dir+="/$(head -c $((command[1] - ${#dir} - 3)) /dev/zero | tr '\0' d)"
  mkdir "$dir"
  command=("${command[@]:2}")
fi
case "$earlier" in
  short) printf 'earlier\n' >"$dir/CameraInfo.txt" ;;
  long) head -c 10000 /dev/zero | tr '\0' x >"$dir/CameraInfo.txt" ;;
  dir) mkdir "$dir/CameraInfo.txt" ;;
  link) printf 'earlier\n' >"$work/target" && ln -s "$work/target" "$dir/CameraInfo.txt" ;;
  huge) truncate -s $((4 * 1024 * 1024 * 1024 + 8)) "$dir/CameraInfo.txt" ;;
esac
[[ "$earlier" == huge ]] || cp "$dir/CameraInfo.txt" "$work/earlier" 2>/dev/null
case "${command[0]}" in
  read-only) chmod a-w "$dir/CameraInfo.txt" ;;
  full-disk) head -c 65536 /dev/zero >"$dir/filler" 2>/dev/null ;;  # no byte more fits
esac
[[ "${command[0]}" != @(read-only|full-disk) ]] || command=("${command[@]:1}")
first="${command[0]}" count="${command[1]:-}" third="${command[2]:-}"
if [[ "$first" == PROGRAM ]]; then
  command=(${loader:+"$loader"} "$exe" "${command[@]:1}")
elif [[ -n "$loader" && "$first" != together ]]; then
  command=("$loader" "$helper" "${command[@]//PROGRAM/Z:$exe}")
else
  command=("${command[@]//PROGRAM/$exe}")
fi
case "$expected" in
  new) report="$new" ;;
  earlier) report="$work/earlier" ;;
  dir) report=- ;;
  xs) head -c "$third" /dev/zero | tr '\0' x >"$work/xs" && report="$work/xs" ;;
esac
check "$dir" "$report" "${command[@]}"
[[ "$expected" != dir ]] || rmdir "$dir/CameraInfo.txt" || why+=("CameraInfo.txt is no longer an empty directory")
[[ "$first" != clash || "$theirs" == "$count" ]] || why+=("$theirs of $count files in the way kept")
[[ "$first $third" != "hold -" ]] || ((held >= held_least_ms && held <= held_most_ms)) ||
  why+=("held ${held:-?} ms, not within $held_least_ms to $held_most_ms ms")
[[ "$earlier" != link || ("$(<"$work/target")" == earlier && ! -L "$dir/CameraInfo.txt") ]] ||
  why+=("the link is still there, or its target changed")
verdict
