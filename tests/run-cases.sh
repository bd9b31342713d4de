#!/usr/bin/env bash
# Runs the built camera-info as a user or a script does and checks what each
# run leaves: exit status 0, nothing printed, CameraInfo.txt byte for byte as
# expected, and no other file.
# Usage: run-cases.sh PROGRAM                     the Linux build
#        run-cases.sh PROGRAM WINE_LOADER HELPER  a Windows build, under Wine
# Under Wine, in a 64-bit prefix made afresh, each case of wine/cases/NAME
# installs the video-input devices of its devices.txt for Wine's own
# DirectShow enumerator and expects expected.txt. devices.txt has a device a
# line: instance name, FriendlyName and Description, tab-separated; "-" for a
# property the device lacks, dword:HEX for one that holds a number.
# The cases of file-cases.txt follow, and under Wine a 32-bit run in system32.
# Prints a line per case; exits non-zero if any fails (77: none could run).
set -uo pipefail
shopt -s nullglob dotglob
exe="$(realpath "$1")" loader="${2:-}" helper="${3:+$(realpath "$3")}"
tests="$(cd "$(dirname "$0")" && pwd)"
wine="$(dirname "${loader:-/usr/lib/wine/wine64}")"
passed=0 failed=0 skipped=0 mounted="" took="" started=$SECONDS
if [[ -n "$loader" && ! -x "$loader" ]]; then
  echo "SKIP every case: $loader is not installed; scripts/setup.sh installs" \
    "it only where this machine runs i386 programs"
  exit 77
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/camera-info-cases.XXXXXX")"
chmod 755 "$work"
trap '[[ -z "$mounted" ]] || umount "$mounted"
  [[ -z "$loader" ]] || { "$wine/wineserver" -k; "$wine/wineserver" -w; } 2>/dev/null
  rm -rf "$work"' EXIT

result() {  # NAME: passes when why=() holds no reason
  if ((${#why[@]} == 0)); then
    echo "PASS $1 ($took)"
    passed=$((passed + 1))
  else
    echo "FAIL $1: $(printf '%s; ' "${why[@]}")"
    failed=$((failed + 1))
  fi
}
skip() { echo "SKIP $1: $2"; skipped=$((skipped + 1)); }
fatal() { why=("$1"); result set-up; exit 1; }  # WHY: a fault of the set-up

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
      [[ "$attempt" != none ]] || fatal "could not install the devices of $1"
      "$wine/wine64" reg import "Z:$work/devices.reg" "/reg:$view" >"$work/reg.out" 2>&1 && break
      echo "reg import /reg:$view, attempt $attempt: $(tr -d '\r' <"$work/reg.out")"
    done
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

new="$tests/data/report-empty.txt"
# Wine's start included; the 32-bit exe may run under an emulator.
held_bound=2000
[[ "$loader" != */wine ]] || held_bound=4000
if [[ -n "$loader" ]]; then
  export WINEPREFIX="$work/prefix" WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir "$WINEPREFIX"
  "$wine/wineserver" -p  # a persistent server keeps the prefix loaded
  "$wine/wine64" wineboot --init >/dev/null 2>&1
  echo "prefix ready in $((SECONDS - started)) s"
  for case_dir in "$tests"/wine/cases/*; do
    install_devices "$case_dir"
    check "$(mktemp -d "$work/run.XXXXXX")" "$case_dir/expected.txt" "$loader" "$exe"
    result "${case_dir##*/}"
  done
  install_devices "$tests/wine/cases/usb-pci-integrated-paths"
  new="$tests/wine/cases/usb-pci-integrated-paths/expected.txt"
fi

while read -r name where earlier expected words; do
  [[ "$name" != \#* && ("$where" == both || -n "$loader") ]] || continue
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
  esac
  cp "$dir/CameraInfo.txt" "$work/earlier" 2>/dev/null
  case "${command[0]}" in
    read-only) chmod a-w "$dir/CameraInfo.txt" ;;
    full-disk) head -c 65536 /dev/zero >"$dir/filler" 2>/dev/null ;;  # no byte more fits
  esac
  [[ "${command[0]}" != @(read-only|full-disk) ]] || command=("${command[@]:1}")
  if [[ "${command[0]}" == PROGRAM ]]; then
    command=(${loader:+"$loader"} "$exe" "${command[@]:1}")
  elif [[ -n "$loader" && "${command[0]}" != together ]]; then
    command=("$loader" "$helper" "${command[@]//PROGRAM/Z:$exe}")
  else
    command=("${command[@]//PROGRAM/$exe}")
  fi
  case "$expected" in new) report="$new" ;; earlier) report="$work/earlier" ;; dir) report=- ;; esac
  check "$dir" "$report" "${command[@]}"
  [[ "$expected" != dir ]] || rmdir "$dir/CameraInfo.txt" || why+=("CameraInfo.txt is no longer an empty directory")
  read -r first count _ <<<"$words"
  [[ "$first" != clash || "$theirs" == "$count" ]] || why+=("$theirs of $count files in the way kept")
  # A report held for good ends a run after about a second of retries.
  [[ "$first" != @(hold|break) ]] || ((ms < held_bound)) || why+=("took $took")
  [[ "$earlier" != link || ("$(<"$work/target")" == earlier && ! -L "$dir/CameraInfo.txt") ]] ||
    why+=("the link is still there, or its target changed")
  [[ -z "$mounted" ]] || { umount "$dir" && mounted=""; }
  result "$name"
done <"$tests/file-cases.txt"

# A 32-bit program whose working directory is system32 writes there, not into
# syswow64, where WoW64 file-system redirection would send it.
if [[ "$loader" == */wine64 ]]; then
  skip system32-working-directory "a 64-bit program's file access is not redirected"
elif [[ -n "$loader" ]]; then
  windows="$WINEPREFIX/drive_c/windows"
  check "$windows/system32" "$new" "$loader" "$exe"
  # Wine's own services may still be adding files there: only ours count.
  reasons=("${why[@]}") why=()
  for reason in "${reasons[@]}"; do [[ "$reason" == "left "* ]] || why+=("$reason"); done
  [[ ! -e "$windows/syswow64/CameraInfo.txt" ]] || why+=("a CameraInfo.txt in syswow64")
  rm -f "$windows"/sys*/CameraInfo.txt
  left=("$windows"/sys*/CameraInfo.txt*)
  ((${#left[@]} == 0)) || why+=("left ${left[*]}")
  result system32-working-directory
fi

echo "$(basename "$exe")${loader:+ under $(basename "$loader")}: $((SECONDS - started)) s"
echo "$passed passed, $failed failed, $skipped skipped"
((failed == 0))
