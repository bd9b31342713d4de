#!/usr/bin/env bash
# Runs the built camera-info as a user or a script does and checks what each
# run leaves: exit status 0, nothing printed, CameraInfo.txt byte for byte as
# expected, and no other file.
# Usage: run-cases.sh PROGRAM                     the Linux build
#        run-cases.sh PROGRAM WINE_LOADER HELPER  a Windows build, under Wine
# Under Wine, in a 64-bit prefix (a copy of CAMERA_INFO_WINE_TEMPLATE where
# set, else one made here), each case of wine/cases/NAME installs the
# video-input devices of its devices.txt for Wine's own DirectShow
# enumerator and expects expected.txt. devices.txt has a device a line:
# instance name, FriendlyName and Description, tab-separated; "-" for a
# property the device lacks, dword:HEX for one that holds a number.
# The cases of file-cases.txt follow, and under Wine a 32-bit run in system32.
# CAMERA_INFO_CASES="NAME..." runs only the cases named;
# CAMERA_INFO_STOP_AT_FAILURE=1 starts no case after one has failed.
# Prints a line per case; exits non-zero if any fails.
set -uo pipefail
shopt -s nullglob dotglob extglob
exe="$(realpath "$1")" loader="${2:-}" helper="${3:+$(realpath "$3")}"
tests="$(cd "$(dirname "$0")" && pwd)"
wine="$(dirname "${loader:-/usr/lib/wine/wine64}")"
passed=0 failed=0 skipped=0 ran="" mounted="" installed="" started=$SECONDS
if [[ -n "$loader" && ! -x "$loader" ]]; then
  echo "FAIL every case: $loader is not installed: run scripts/setup.sh all"
  exit 1
fi
# A run held until its end retries its rename for about a second (1.06 s of
# pauses) and then lets go. The helper times it from the moment the new file
# appears, so Wine's start and the device walk do not count. With every core
# busy that took 1068 to 1135 ms (32-bit under qemu included) while whole
# runs took up to 3.5 s: the bounds keep three times that room, and catch
# retries cut short or lasting several seconds.
held_least_ms=350 held_most_ms=4000
work="$(mktemp -d "${TMPDIR:-/tmp}/camera-info-cases.XXXXXX")"
chmod 755 "$work"
trap '[[ -z "$mounted" ]] || umount "$mounted"
  [[ -z "$loader" ]] || { "$wine/wineserver" -k; "$wine/wineserver" -w; } 2>/dev/null
  rm -rf "$work"' EXIT

summary() {
  echo "$(basename "$exe")${loader:+ under $(basename "$loader")}: $((SECONDS - started)) s"
  echo "$passed passed, $failed failed, $skipped skipped"
  for name in ${CAMERA_INFO_CASES:-}; do
    [[ "$ran " == *" $name "* ]] || { echo "FAIL $name: no such case here"; exit 1; }
  done
  ((failed == 0 && passed + skipped > 0))
  exit
}
wanted() { [[ -z "${CAMERA_INFO_CASES:-}" || " $CAMERA_INFO_CASES " == *" $1 "* ]]; }
result() {  # NAME: passes when why=() holds no reason
  ran+=" $1"
  if ((${#why[@]} == 0)); then
    echo "PASS $1 ($took)"
    passed=$((passed + 1))
  else
    echo "FAIL $1: $(printf '%s; ' "${why[@]}")"
    failed=$((failed + 1))
    [[ "${CAMERA_INFO_STOP_AT_FAILURE:-}" != 1 ]] || summary
  fi
}
skip() { echo "SKIP $1: $2"; skipped=$((skipped + 1)) ran+=" $1"; }

# Runs COMMAND in DIR (under Wine, its Windows working directory) and puts in
# why=() what went wrong: a status but 0, anything printed, a CameraInfo.txt
# other than REPORT ("-": not checked), or another file left; `theirs`
# counts the files of a name clash left as they were, `ms` the time taken.
check() {  # DIR REPORT COMMAND...
  local dir="$1" report="$2" status file
  shift 2
  ms=$(date +%s%N)
  (cd "$dir" && "$@") >"$work/printed" 2>&1
  status=$?
  ms=$((($(date +%s%N) - ms) / 1000000)) took="$ms ms" why=()
  # The helper's own line, not the program's output.
  held="$(sed -n 's/^held-window \([0-9]*\)\r*$/\1/p' "$work/printed")"
  sed -i '/^held-window [0-9]*\r*$/d' "$work/printed"
  [[ -z "$held" ]] || took+=", held $held ms"
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

# Installs the devices of CASE_DIR as a software camera's installer leaves
# them, in both registry views: programs of either width must see them alike.
install_devices() {  # CASE_DIR
  local key='HKEY_CLASSES_ROOT\CLSID\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\Instance'
  local instance friendly description view attempt
  [[ "$installed" != "$1" ]] || return 0
  while IFS=$'\t' read -r instance friendly description; do
    printf '[%s\\%s]\r\n' "$key" "$instance"
    reg_value FriendlyName "$friendly"
    reg_value Description "$description"
  done <"$1/devices.txt" | { printf 'Windows Registry Editor Version 5.00\r\n\r\n'; cat; } |
    iconv -f UTF-8 -t UTF-16 >"$work/devices.reg"
  for view in 32 64; do
    "$wine/wine64" reg delete "$key" /f "/reg:$view" >/dev/null 2>&1
    # A failed import is tried once more; what reg said is shown.
    for attempt in 1 2 none; do
      [[ "$attempt" != none ]] || { echo "FAIL set-up: could not install the devices of $1"; exit 1; }
      "$wine/wine64" reg import "Z:$work/devices.reg" "/reg:$view" >"$work/reg.out" 2>&1 && break
      echo "reg import /reg:$view, attempt $attempt: $(tr -d '\r' <"$work/reg.out")"
    done
  done
  installed="$1"
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
# runs at once.
clash() {  # COUNT PROGRAM: the first COUNT names of its new file are taken
  local n
  for ((n = 0; n < $1; n++)); do printf theirs >"CameraInfo.txt.$BASHPID-$n.tmp"; done
  exec "$2"
}
together() {  # COUNT PROGRAM
  local n ended=0
  for ((n = 0; n < $1; n++)); do ${loader:+"$loader"} "$2" & done
  for ((n = 0; n < $1; n++)); do wait -n || ended=13; done
  return "$ended"
}

standard="$tests/wine/cases/usb-pci-integrated-paths"
new="$tests/data/report-empty.txt"
if [[ -n "$loader" ]]; then
  export WINEPREFIX="$work/prefix" WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml="
  if [[ -n "${CAMERA_INFO_WINE_TEMPLATE:-}" ]]; then
    "$tests/../scripts/wine-run.sh" --copy-prefix "$CAMERA_INFO_WINE_TEMPLATE" "$WINEPREFIX"
  else
    "$tests/../scripts/wine-run.sh" --make-prefix "$WINEPREFIX" || { echo "FAIL set-up: no Wine prefix"; exit 1; }
  fi
  "$wine/wineserver" -p  # a persistent server keeps the prefix loaded
  echo "prefix ready in $((SECONDS - started)) s"
  for case_dir in "$tests"/wine/cases/*; do
    wanted "${case_dir##*/}" || continue
    install_devices "$case_dir"
    check "$(mktemp -d "$work/run.XXXXXX")" "$case_dir/expected.txt" "$loader" "$exe"
    result "${case_dir##*/}"
  done
  new="$standard/expected.txt"
fi

while read -r name where earlier expected words; do
  [[ "$name" != \#* && ("$where" == both || -n "$loader") ]] && wanted "$name" || continue
  [[ -z "$loader" ]] || install_devices "$standard"
  read -ra command <<<"$words"
  dir="$(mktemp -d "$work/run.XXXXXX")"
  if [[ "${command[0]}" == full-disk ]]; then
    mount -t tmpfs -o size=8k camera-info-test "$dir" 2>"$work/mount.out" ||
      { skip "$name" "cannot mount a small tmpfs: $(<"$work/mount.out")"; continue; }
    mounted="$dir"
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
  [[ -z "$mounted" ]] || { umount "$dir" && mounted=""; }
  result "$name"
done <"$tests/file-cases.txt"

# A 32-bit program whose working directory is system32 writes there, not into
# syswow64, where WoW64 file-system redirection would send it.
name=system32-working-directory
if [[ -z "$loader" ]] || ! wanted "$name"; then
  :
elif [[ "$loader" == */wine64 ]]; then
  skip "$name" "a 64-bit program's file access is not redirected"
else
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
  result "$name"
fi
summary
