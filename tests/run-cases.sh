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

exe="$(realpath "$1")"
loader="${2:-}"
helper="${3:+$(realpath "$3")}"
tests="$(cd "$(dirname "$0")" && pwd)"
wine_dir="$(dirname "${loader:-/usr/lib/wine/wine64}")"
started=$SECONDS
passed=0 failed=0 skipped=0

if [[ -n "$loader" && ! -x "$loader" ]]; then
  echo "SKIP every case: $loader is not installed; scripts/setup.sh installs" \
    "it only where this machine runs i386 programs"
  exit 77
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/camera-info-cases.XXXXXX")"
chmod 755 "$work"
mounted=""
finish() {
  [[ -z "$mounted" ]] || umount "$mounted"
  if [[ -n "$loader" ]]; then
    "$wine_dir/wineserver" -k
    "$wine_dir/wineserver" -w
  fi 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

result() {  # NAME [WHY...]: passes without a reason, else fails with them
  local name="$1" text
  shift
  if (($# == 0)); then
    echo "PASS $name ($took)"
    passed=$((passed + 1))
  else
    text="$(printf '; %s' "$@")"
    echo "FAIL $name: ${text:2}"
    failed=$((failed + 1))
  fi
}
skip() {
  echo "SKIP $1: $2"
  skipped=$((skipped + 1))
}
summary() {
  echo "$(basename "$exe")${loader:+ under $(basename "$loader")}: $((SECONDS - started)) s"
  echo "$passed passed, $failed failed, $skipped skipped"
}
fatal() {  # WHY: a fault of the set-up, which ends the run
  took=""
  result "set-up" "$1"
  summary
  exit 1
}

runner=()
new="$tests/data/report-empty.txt"
if [[ -n "$loader" ]]; then
  export WINEPREFIX="$work/prefix" WINEDEBUG=-all DISPLAY=
  export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installers
  mkdir "$WINEPREFIX"
  # A persistent server keeps the prefix loaded between the many short runs.
  "$wine_dir/wineserver" -p
  "$wine_dir/wine64" wineboot --init >/dev/null 2>&1
  echo "prefix ready in $((SECONDS - started)) s"
  runner=("$loader")
fi

# Installs the devices of CASE_DIR as a software camera's installer leaves
# them: a key under the video-input category's instances, with its
# FriendlyName and Description. Programs of either width must see them
# alike, so both registry views get them.
install_devices() {  # CASE_DIR
  local key='HKEY_CLASSES_ROOT\CLSID\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\Instance'
  local instance friendly description view
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    while IFS=$'\t' read -r instance friendly description; do
      printf '[%s\\%s]\r\n' "$key" "$instance"
      reg_value FriendlyName "$friendly"
      reg_value Description "$description"
    done <"$1/devices.txt"
  } | iconv -f UTF-8 -t UTF-16 >"$work/devices.reg"
  for view in 32 64; do
    "$wine_dir/wine64" reg delete "$key" /f "/reg:$view" >/dev/null 2>&1
    reg_import "/reg:$view" || fatal "reg import /reg:$view could not install the devices of $1"
    "$wine_dir/wine64" reg query "$key" /s "/reg:$view" >"$work/view$view" 2>&1
  done
  cmp -s "$work/view32" "$work/view64" ||
    fatal "the 32-bit and 64-bit registry views differ after installing $1: $(diff "$work/view32" "$work/view64" | head -c 300)"
}
reg_value() {  # NAME VALUE: its line in a .reg file
  local text="${2//\\/\\\\}"
  case "$2" in
    -) ;;
    dword:*) printf '"%s"=%s\r\n' "$1" "$2" ;;
    *) printf '"%s"="%s"\r\n' "$1" "${text//\"/\\\"}" ;;
  esac
}
# A failed import is tried once more; what reg said is shown.
reg_import() {  # VIEW
  local attempt
  for attempt in 1 2; do
    "$wine_dir/wine64" reg import "Z:$work/devices.reg" "$1" >"$work/reg.out" 2>&1 && return
    echo "reg import $1, attempt $attempt: $(tr -d '\r' <"$work/reg.out" | head -c 500)"
  done
  return 1
}

# Runs COMMAND in DIR (under Wine, its Windows working directory); says in
# `took` how long it ran.
run_in() {  # DIR COMMAND...
  local dir="$1" begun
  shift
  begun=$(date +%s%N)
  (cd "$dir" && "$@") >"$work/printed" 2>&1
  status=$?
  took="$(( ($(date +%s%N) - begun) / 1000000 )) ms"
}

# The helper's commands, as shell functions on Linux. The first COUNT names
# of the program's new file are taken by files that must stay as they are.
clash() {  # COUNT PROGRAM
  local n file text ended kept=0 taken
  (for ((n = 0; n < $1; n++)); do printf theirs >"CameraInfo.txt.$BASHPID-$n.tmp"; done
    exec "$2")
  ended=$?
  taken=(CameraInfo.txt.*-*.tmp)
  for file in "${taken[@]}"; do
    read -r text <"$file"
    [[ "$text" != theirs ]] || kept=$((kept + 1))
  done
  rm -f "${taken[@]}"
  ((kept == $1)) || ended=13
  return "$ended"
}
together() {  # COUNT PROGRAM
  local n pid ended=0 pids=()
  for ((n = 0; n < $1; n++)); do "$2" & pids+=($!); done
  for pid in "${pids[@]}"; do
    wait "$pid" || ended=13
  done
  return "$ended"
}

# Why the run that left DIR went wrong, in why=(...): REPORT is the file
# CameraInfo.txt must equal (none: no check), and no other file may be left.
judge() {  # DIR [REPORT]
  why=()
  ((status == 0)) || why+=("exit status $status")
  [[ ! -s "$work/printed" ]] || why+=("printed: $(head -c 300 "$work/printed")")
  if (($# < 2)); then
    :
  elif [[ ! -f "$1/CameraInfo.txt" ]]; then
    why+=("no CameraInfo.txt")
  elif ! cmp -s "$1/CameraInfo.txt" "$2"; then
    why+=("CameraInfo.txt ($(stat -c %s "$1/CameraInfo.txt") bytes) differs from $2 ($(stat -c %s "$2") bytes)")
  fi
  local file others=""
  for file in "$1"/*; do
    [[ "$file" == "$1/CameraInfo.txt" ]] || others+=" ${file##*/}"
  done
  [[ -z "$others" ]] || why+=("other files left:$others")
}

fresh_dir() { mktemp -d "$work/run.XXXXXX"; }

if [[ -n "$loader" ]]; then
  for case_dir in "$tests"/wine/cases/*/; do
    case_dir="${case_dir%/}"
    install_devices "$case_dir"
    dir="$(fresh_dir)"
    run_in "$dir" "$loader" "$exe"
    judge "$dir" "$case_dir/expected.txt"
    result "$(basename "$case_dir")" "${why[@]}"
  done
  install_devices "$tests/wine/cases/usb-pci-integrated-paths"
  new="$tests/wine/cases/usb-pci-integrated-paths/expected.txt"
fi

while read -r name where earlier expected words; do
  [[ -z "$name" || "$name" == \#* ]] && continue
  [[ "$where" == both || -n "$loader" ]] || continue
  read -ra command <<<"$words"
  dir="$(fresh_dir)"
  prepare=""
  if [[ "${command[0]}" == read-only || "${command[0]}" == full-disk ]]; then
    prepare="${command[0]}"
    command=("${command[@]:1}")
  fi
  if [[ "$prepare" == full-disk ]]; then
    if ! mount -t tmpfs -o size=8k camera-info-test "$dir" 2>"$work/mount.out"; then
      skip "$name" "cannot mount a small tmpfs: $(cat "$work/mount.out")"
      continue
    fi
    mounted="$dir"
  fi
  case "$earlier" in
    short) printf 'earlier\n' >"$dir/CameraInfo.txt" ;;
    long) head -c 10000 /dev/zero | tr '\0' x >"$dir/CameraInfo.txt" ;;
    dir) mkdir "$dir/CameraInfo.txt" ;;
  esac
  [[ ! -f "$dir/CameraInfo.txt" ]] || cp "$dir/CameraInfo.txt" "$work/earlier"
  [[ "$prepare" != read-only ]] || chmod a-w "$dir/CameraInfo.txt"
  # Not one byte more fits.
  [[ "$prepare" != full-disk ]] || head -c 65536 /dev/zero >"$dir/filler" 2>/dev/null
  if [[ "${command[0]}" == PROGRAM ]]; then
    command=("${runner[@]}" "$exe" "${command[@]:1}")
  elif [[ -n "$loader" ]]; then
    command=("$loader" "$helper" "${command[@]//PROGRAM/Z:$exe}")
  else
    command=("${command[@]//PROGRAM/$exe}")
  fi
  run_in "$dir" "${command[@]}"
  rm -f "$dir/filler"
  case "$expected" in
    new) judge "$dir" "$new" ;;
    earlier) judge "$dir" "$work/earlier" ;;
    dir)
      judge "$dir"
      inside=("$dir/CameraInfo.txt"/*)
      [[ -d "$dir/CameraInfo.txt" ]] && ((${#inside[@]} == 0)) ||
        why+=("CameraInfo.txt is no longer an empty directory")
      ;;
  esac
  [[ -z "$mounted" ]] || { umount "$dir" && mounted=""; }
  result "$name" "${why[@]}"
done <"$tests/file-cases.txt"

# A 32-bit program whose working directory is system32 writes there, not into
# syswow64, where WoW64 file-system redirection would send it.
if [[ -n "$loader" ]]; then
  pe_header="$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')"
  machine="$(od -An -tx2 -j$((pe_header + 4)) -N2 "$exe" | tr -d ' ')"
  if [[ "$machine" != 014c ]]; then
    skip "system32-working-directory" "a 64-bit program's file access is not redirected (PE machine $machine)"
  else
    windows="$WINEPREFIX/drive_c/windows"
    run_in "$windows/system32" "$loader" "$exe"
    judge "$windows/system32" "$new"
    # Wine's own services may still be adding files there: only ours count.
    kept=()
    for reason in "${why[@]}"; do
      [[ "$reason" == "other files left"* ]] || kept+=("$reason")
    done
    why=("${kept[@]}")
    [[ ! -e "$windows/syswow64/CameraInfo.txt" ]] || why+=("a CameraInfo.txt in syswow64")
    rm -f "$windows/system32/CameraInfo.txt" "$windows/syswow64/CameraInfo.txt"
    left=("$windows"/sys*/CameraInfo.txt*)
    ((${#left[@]} == 0)) || why+=("files left: ${left[*]}")
    result "system32-working-directory" "${why[@]}"
  fi
fi

summary
((failed == 0))
