#!/usr/bin/env bash
# Runs camera-info.exe under Wine against Wine's own DirectShow device
# enumerator, in a 64-bit prefix made afresh for the run.
# Usage: run-cases.sh WINE_LOADER CAMERA_INFO_EXE HOLD_OPEN_EXE
#   WINE_LOADER: /usr/lib/wine/wine64, or /usr/lib/wine/wine for a 32-bit exe
#
# devices.txt lists a case's devices, one a line: the instance name, the
# FriendlyName and the Description, separated by tabs; "-" for a property the
# device lacks.
# Each case of cases/NAME installs the devices of devices.txt, runs the
# program in an empty directory and expects status 0, nothing printed, a
# CameraInfo.txt byte for byte equal to expected.txt and no other file.
# The process cases after them check how the report replaces an earlier one.
# Prints a line per case and exits non-zero if any fails (77: none could run).
set -uo pipefail
shopt -s nullglob dotglob

loader="$1"
exe="$(realpath "$2")"
holder="$(realpath "$3")"
cases="$(cd "$(dirname "$0")" && pwd)/cases"
wine_dir="$(dirname "$loader")"
started=$SECONDS

if [[ ! -x "$loader" ]]; then
  echo "SKIP every case: $loader is not installed; scripts/setup.sh installs" \
    "it only where this machine runs i386 programs"
  exit 77
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/camera-info-wine.XXXXXX")"
mounted=""
export WINEPREFIX="$work/prefix" WINEDEBUG=-all DISPLAY=
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installers
finish() {
  [[ -z "$mounted" ]] || umount "$mounted"
  "$wine_dir/wineserver" -k 2>/dev/null
  "$wine_dir/wineserver" -w 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

# A persistent server keeps the prefix loaded between the many short runs.
mkdir "$WINEPREFIX"
"$wine_dir/wineserver" -p
"$wine_dir/wine64" wineboot --init >/dev/null 2>&1
echo "prefix ready in $((SECONDS - started)) s"

passed=0 failed=0 skipped=0
result() {  # NAME [WHY...]: passes without a reason, else fails with them
  local name="$1"
  shift
  if (($# == 0)); then
    echo "PASS $name"
    passed=$((passed + 1))
  else
    local text="$1" reason
    shift
    for reason; do text+="; $reason"; done
    echo "FAIL $name: $text"
    failed=$((failed + 1))
  fi
}
drop() {  # GLOB: forgets the reasons in why that match it
  local kept=() reason
  for reason in "${why[@]}"; do
    # shellcheck disable=SC2053 # a glob, as said
    [[ "$reason" == $1 ]] || kept+=("$reason")
  done
  why=("${kept[@]}")
}
skip() {
  echo "SKIP $1: $2"
  skipped=$((skipped + 1))
}
summary() {
  echo "$(basename "$exe") under $(basename "$loader"): $((SECONDS - started)) s"
  echo "$passed passed, $failed failed, $skipped skipped"
}
fatal() {  # WHY: a fault of the set-up, which ends the run
  result "set-up" "$1"
  summary
  exit 1
}

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
      [[ "$friendly" == - ]] || printf '"FriendlyName"="%s"\r\n' "$(reg_text "$friendly")"
      [[ "$description" == - ]] || printf '"Description"="%s"\r\n' "$(reg_text "$description")"
    done <"$1/devices.txt"
  } | iconv -f UTF-8 -t UTF-16 >"$work/devices.reg"
  for view in 32 64; do
    "$wine_dir/wine64" reg delete "$key" /f "/reg:$view" >/dev/null 2>&1
    "$wine_dir/wine64" reg import 'Z:'"$work/devices.reg" "/reg:$view" >/dev/null 2>&1 ||
      fatal "reg import /reg:$view could not install the devices of $1"
    "$wine_dir/wine64" reg query "$key" /s "/reg:$view" >"$work/view$view" 2>&1
  done
  cmp -s "$work/view32" "$work/view64" ||
    fatal "the 32-bit and 64-bit registry views differ after installing $1: $(diff "$work/view32" "$work/view64" | head -c 300)"
}
reg_text() { local text="${1//\\/\\\\}"; printf '%s' "${text//\"/\\\"}"; }

# Runs COMMAND under Wine in DIR, with DIR as its Windows working directory.
run_in() {  # DIR COMMAND...
  local dir="$1"
  shift
  (cd "$dir" && "$loader" "$@") >"$work/printed" 2>&1
  status=$?
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
    local sizes
    sizes="$(stat -c %s "$1/CameraInfo.txt") bytes, expected $(stat -c %s "$2")"
    why+=("CameraInfo.txt ($sizes) differs from $2 from $(cmp "$1/CameraInfo.txt" "$2" | sed 's/.*differ: //')")
  fi
  local file others=""
  for file in "$1"/*; do
    [[ "$file" == "$1/CameraInfo.txt" ]] || others+=" ${file##*/}"
  done
  [[ -z "$others" ]] || why+=("other files left:$others")
}

fresh_dir() { mktemp -d "$work/run.XXXXXX"; }

for case_dir in "$cases"/*/; do
  case_dir="${case_dir%/}"
  install_devices "$case_dir"
  dir="$(fresh_dir)"
  run_in "$dir" "$exe"
  judge "$dir" "$case_dir/expected.txt"
  result "$(basename "$case_dir")" "${why[@]}"
done

# The process cases, with three devices installed.
install_devices "$cases/usb-pci-integrated-paths"
three="$cases/usb-pci-integrated-paths/expected.txt"

dir="$(fresh_dir)"
head -c 10000 /dev/zero | tr '\0' x >"$dir/CameraInfo.txt"
run_in "$dir" "$exe" --help /o other.txt
judge "$dir" "$three"
result "replaces-a-longer-report-ignoring-arguments" "${why[@]}"

dir="$(fresh_dir)"
mkdir "$dir/CameraInfo.txt"
run_in "$dir" "$exe"
judge "$dir"
inside=("$dir/CameraInfo.txt"/*)
[[ -d "$dir/CameraInfo.txt" ]] && ((${#inside[@]} == 0)) ||
  why+=("CameraInfo.txt is no longer an empty directory")
result "directory-in-the-way" "${why[@]}"

dir="$(fresh_dir)"
earlier="$cases/no-device/expected.txt"
cp "$earlier" "$dir/CameraInfo.txt"
run_in "$dir" "$holder" CameraInfo.txt "Z:$exe"
judge "$dir" "$earlier"
result "held-open-report-left-untouched" "${why[@]}"

# A 32-bit program whose working directory is system32 writes there, not into
# syswow64, where WoW64 file-system redirection would send it.
pe_header="$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')"
machine="$(od -An -tx2 -j$((pe_header + 4)) -N2 "$exe" | tr -d ' ')"
if [[ "$machine" != 014c ]]; then
  skip "system32-working-directory" "a 64-bit program's file access is not redirected (PE machine $machine)"
else
  windows="$WINEPREFIX/drive_c/windows"
  run_in "$windows/system32" "$exe"
  judge "$windows/system32" "$three"
  # Wine's own services may still be adding files there: only ours count.
  drop "other files left*"
  [[ ! -e "$windows/syswow64/CameraInfo.txt" ]] || why+=("a CameraInfo.txt in syswow64")
  rm -f "$windows/system32/CameraInfo.txt" "$windows/syswow64/CameraInfo.txt"
  left=("$windows"/sys*/CameraInfo.txt*)
  ((${#left[@]} == 0)) || why+=("files left: ${left[*]}")
  result "system32-working-directory" "${why[@]}"
fi

# A disk that fills up while the report is written keeps the earlier report.
install_devices "$cases/sixty-devices-in-wine-order"
big="$cases/sixty-devices-in-wine-order/expected.txt"
dir="$work/small-disk"
mkdir "$dir"
if ! mount -t tmpfs -o size=8k tmpfs "$dir" 2>"$work/mount-error"; then
  skip "full-disk-keeps-earlier-report" "cannot mount a small tmpfs: $(cat "$work/mount-error")"
else
  mounted="$dir"
  cp "$three" "$dir/CameraInfo.txt"
  free="$(df --output=avail -B1 "$dir" | tail -n1 | tr -d ' ')"
  run_in "$dir" "$exe"
  judge "$dir" "$three"
  ((free < $(stat -c %s "$big"))) ||
    why+=("the tmpfs had room for the report ($free bytes free)")
  umount "$dir" && mounted=""
  result "full-disk-keeps-earlier-report" "${why[@]}"
fi

summary
((failed == 0))
