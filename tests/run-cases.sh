#!/usr/bin/env bash
# Runs the built camera-info as a user or a script does and checks what each
# run leaves: exit status 0, nothing printed, CameraInfo.txt byte for byte as
# expected, and no other file.
# Usage: run-cases.sh PROGRAM                     the Linux build
#        run-cases.sh PROGRAM WINE_LOADER HELPER  a Windows build, under Wine
# Under Wine, in 64-bit prefixes (copies of CAMERA_INFO_WINE_TEMPLATE where
# set, else of one made here), each case of wine/cases/NAME installs the
# video-input devices of its devices.txt for Wine's own DirectShow
# enumerator and expects expected.txt. devices.txt has a device a line:
# instance name, FriendlyName and Description, tab-separated; "-" for a
# property the device lacks, dword:HEX for one that holds a number.
# The cases of file-cases.txt follow, and under Wine a 32-bit run in system32.
# The cases are independent: CAMERA_INFO_CASE_JOBS lanes (4; on Linux 2) run
# them side by side, each lane in a prefix and directories of its own.
# CAMERA_INFO_CASES="NAME..." runs only the cases named;
# CAMERA_INFO_STOP_AT_FAILURE=1 starts no case after one has failed.
# Prints a line per case; exits non-zero if any fails.
set -uo pipefail
shopt -s nullglob dotglob extglob
exe="$(realpath "$1")" loader="${2:-}" helper="${3:+$(realpath "$3")}"
tests="$(cd "$(dirname "$0")" && pwd)"
wine="$(dirname "${loader:-/usr/lib/wine/wine64}")"
started=$SECONDS
if [[ -n "$loader" && ! -x "$loader" ]]; then
  echo "FAIL every case: $loader is not installed: run scripts/setup.sh all"
  exit 1
fi
# A held run (the report, or the new file, held by another program) ends
# after about a second of retries: within 2 s, Wine's start included; the
# 32-bit exe, whose Wine is emulated where the kernel runs no i386 code,
# within a bound of its own.
held_bound_ms=2000
[[ "$loader" != */wine ]] || held_bound_ms=3500

work="$(mktemp -d "${TMPDIR:-/tmp}/camera-info-cases.XXXXXX")"
chmod 755 "$work"
trap 'wait; rm -rf "$work"' EXIT
fail_fast=""
[[ "${CAMERA_INFO_STOP_AT_FAILURE:-}" != 1 ]] || fail_fast=1

# The cases, each "KIND NAME [LINE]": wine (a directory of wine/cases), file
# (a line of file-cases.txt) or system32.
cases=()
if [[ -n "$loader" ]]; then
  for case_dir in "$tests"/wine/cases/*; do cases+=("wine ${case_dir##*/}"); done
fi
while read -r name where rest; do
  [[ -n "$name" && "$name" != \#* && ("$where" == both || -n "$loader") ]] || continue
  cases+=("file $name $where $rest")
done <"$tests/file-cases.txt"
[[ -z "$loader" ]] || cases+=("system32 system32-working-directory")
if [[ -n "${CAMERA_INFO_CASES:-}" ]]; then
  chosen=()
  for name in $CAMERA_INFO_CASES; do
    for item in "${cases[@]}"; do
      read -r _ item_name _ <<<"$item"
      [[ "$item_name" != "$name" ]] || { chosen+=("$item"); continue 2; }
    done
    echo "FAIL $name: no such case for $(basename "$exe")${loader:+ under $(basename "$loader")}"
    exit 1
  done
  cases=("${chosen[@]}")
fi

result() {  # NAME: passes when why=() holds no reason
  if ((${#why[@]} == 0)); then
    echo "PASS $1 ($took)"
    echo pass >>"$work/results"
  else
    echo "FAIL $1: $(printf '%s; ' "${why[@]}")"
    echo fail >>"$work/results"
    [[ -z "$fail_fast" ]] || touch "$work/stop"
  fi
}
skip() { echo "SKIP $1: $2"; echo skip >>"$work/results"; }

# Runs COMMAND in DIR (under Wine, its Windows working directory) and puts in
# why=() what went wrong: a status but 0, anything printed, a CameraInfo.txt
# other than REPORT ("-": not checked), or another file left; `theirs`
# counts the files of a name clash left as they were, `ms` the time taken.
check() {  # DIR REPORT COMMAND...
  local dir="$1" report="$2" status file
  shift 2
  ms=$(date +%s%N)
  (cd "$dir" && "$@") >"$lane/printed" 2>&1
  status=$?
  ms=$((($(date +%s%N) - ms) / 1000000)) took="$ms ms" why=()
  ((status == 0)) || why+=("exit status $status")
  [[ ! -s "$lane/printed" ]] || why+=("printed: $(head -c 300 "$lane/printed")")
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
    iconv -f UTF-8 -t UTF-16 >"$lane/devices.reg"
  for view in 32 64; do
    "$wine/wine64" reg delete "$key" /f "/reg:$view" >/dev/null 2>&1
    # A failed import is tried once more; what reg said is shown.
    for attempt in 1 2 none; do
      [[ "$attempt" != none ]] || return 1
      "$wine/wine64" reg import "Z:$lane/devices.reg" "/reg:$view" >"$lane/reg.out" 2>&1 && break
      echo "reg import /reg:$view, attempt $attempt: $(tr -d '\r' <"$lane/reg.out")"
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
[[ -z "$loader" ]] || new="$standard/expected.txt"

wine_case() {  # NAME
  install_devices "$tests/wine/cases/$1" || { why=("could not install its devices") took=""; result "$1"; return; }
  check "$(mktemp -d "$lane/run.XXXXXX")" "$tests/wine/cases/$1/expected.txt" "$loader" "$exe"
  result "$1"
}

file_case() {  # NAME WHERE EARLIER EXPECTED WORDS...
  local name="$1" earlier="$3" expected="$4" words="${*:5}" dir report first count mounted=""
  local -a command
  read -ra command <<<"$words"
  if [[ -n "$loader" ]] && ! install_devices "$standard"; then
    why=("could not install the devices") took="" && result "$name" && return
  fi
  dir="$(mktemp -d "$lane/run.XXXXXX")"
  if [[ "${command[0]}" == full-disk ]]; then
    mount -t tmpfs -o size=8k camera-info-test "$dir" 2>"$lane/mount.out" ||
      { skip "$name" "cannot mount a small tmpfs: $(<"$lane/mount.out")"; return; }
    mounted="$dir"
  fi
  case "$earlier" in
    short) printf 'earlier\n' >"$dir/CameraInfo.txt" ;;
    long) head -c 10000 /dev/zero | tr '\0' x >"$dir/CameraInfo.txt" ;;
    dir) mkdir "$dir/CameraInfo.txt" ;;
    link) printf 'earlier\n' >"$lane/target" && ln -s "$lane/target" "$dir/CameraInfo.txt" ;;
  esac
  rm -f "$lane/earlier"
  cp "$dir/CameraInfo.txt" "$lane/earlier" 2>/dev/null
  case "${command[0]}" in
    read-only) chmod a-w "$dir/CameraInfo.txt" ;;
    full-disk) head -c 65536 /dev/zero >"$dir/filler" 2>/dev/null ;;  # no byte more fits
  esac
  [[ "${command[0]}" != @(read-only|full-disk) ]] || command=("${command[@]:1}")
  first="${command[0]}" count="${command[1]:-}"
  if [[ "$first" == PROGRAM ]]; then
    command=(${loader:+"$loader"} "$exe" "${command[@]:1}")
  elif [[ -n "$loader" && "$first" != together ]]; then
    command=("$loader" "$helper" "${command[@]//PROGRAM/Z:$exe}")
  else
    command=("${command[@]//PROGRAM/$exe}")
  fi
  case "$expected" in new) report="$new" ;; earlier) report="$lane/earlier" ;; dir) report=- ;; esac
  check "$dir" "$report" "${command[@]}"
  [[ "$expected" != dir ]] || rmdir "$dir/CameraInfo.txt" || why+=("CameraInfo.txt is no longer an empty directory")
  [[ "$first" != clash || "$theirs" == "$count" ]] || why+=("$theirs of $count files in the way kept")
  [[ "$first" != @(hold|break) ]] || ((ms < held_bound_ms)) ||
    why+=("a held run took $took, more than $held_bound_ms ms")
  [[ "$earlier" != link || ("$(<"$lane/target")" == earlier && ! -L "$dir/CameraInfo.txt") ]] ||
    why+=("the link is still there, or its target changed")
  [[ -z "$mounted" ]] || umount "$dir"
  result "$name"
}

# A 32-bit program whose working directory is system32 writes there, not into
# syswow64, where WoW64 file-system redirection would send it.
system32_case() {
  local name=system32-working-directory windows="$WINEPREFIX/drive_c/windows" reasons reason left
  if [[ "$loader" == */wine64 ]]; then
    skip "$name" "a 64-bit program's file access is not redirected"
    return
  fi
  install_devices "$standard" || { why=("could not install the devices") took="" && result "$name" && return; }
  check "$windows/system32" "$new" "$loader" "$exe"
  # Wine's own services may still be adding files there: only ours count.
  reasons=("${why[@]}") why=()
  for reason in "${reasons[@]}"; do [[ "$reason" == "left "* ]] || why+=("$reason"); done
  [[ ! -e "$windows/syswow64/CameraInfo.txt" ]] || why+=("a CameraInfo.txt in syswow64")
  rm -f "$windows"/sys*/CameraInfo.txt
  left=("$windows"/sys*/CameraInfo.txt*)
  ((${#left[@]} == 0)) || why+=("left ${left[*]}")
  result "$name"
}

# Takes the next case of the queue: prints its index, or fails when none is left.
take() {
  local n lock
  [[ ! -e "$work/stop" ]] || return 1
  exec {lock}>>"$work/queue.lock"
  flock "$lock"
  n="$(<"$work/queue.next")"
  echo $((n + 1)) >"$work/queue.next"
  exec {lock}>&-
  ((n < ${#cases[@]})) && echo "$n"
}

lane() {  # NUMBER: runs cases from the queue until none is left
  lane="$work/lane-$1" installed=""
  mkdir "$lane"
  if [[ -n "$loader" ]]; then
    # Beside the prefix it copies, where its files can be hard links.
    copy="$(mktemp -d "${base%/}.copy.XXXXXX")"
    export WINEPREFIX="$copy/prefix"
    trap '"$wine/wineserver" -k 2>/dev/null; "$wine/wineserver" -w 2>/dev/null; rm -rf "$copy"' EXIT
    "$tests/../scripts/wine-run.sh" --copy-prefix "$base" "$WINEPREFIX"
    "$wine/wineserver" -p  # a persistent server keeps the prefix loaded
  fi
  local n kind name rest
  while n="$(take)"; do
    read -r kind name rest <<<"${cases[$n]}"
    case "$kind" in
      wine) wine_case "$name" ;;
      file) file_case "$name" $rest ;;
      system32) system32_case ;;
    esac
  done
}

if [[ -n "$loader" ]]; then
  export WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml="
  base="${CAMERA_INFO_WINE_TEMPLATE:-}"
  if [[ -z "$base" ]]; then
    base="$work/prefix"
    "$tests/../scripts/wine-run.sh" --make-prefix "$base" || { echo "FAIL set-up: no Wine prefix"; exit 1; }
    echo "prefix ready in $((SECONDS - started)) s"
  fi
fi

echo 0 >"$work/queue.next"
lanes="${CAMERA_INFO_CASE_JOBS:-$([[ -n "$loader" ]] && echo 4 || echo 2)}"
((lanes <= ${#cases[@]})) || lanes=${#cases[@]}
for ((l = 1; l <= lanes; l++)); do lane "$l" & done
wait

count() { grep -cx "$1" "$work/results" 2>/dev/null; }
passed="$(count pass)" failed="$(count fail)" skipped="$(count skip)"
echo "$(basename "$exe")${loader:+ under $(basename "$loader")}: $((SECONDS - started)) s, $lanes lanes"
echo "$passed passed, $failed failed, $skipped skipped"
[[ ! -e "$work/stop" ]] || echo "stopped at the first failure"
((failed == 0 && passed + skipped > 0))
