#!/usr/bin/env bash
# Runs one case of the built camera-info as a user or a script runs it and
# checks what the run leaves: exit status 0, nothing printed, CameraInfo.txt
# byte for byte as expected, and no other file.
#   run-case.sh PROGRAM HELPER EARLIER EXPECTED COMMAND...
# tests/CMakeLists.txt passes each case's fields, as tests/file-cases.txt
# describes them; EXPECTED "new" is already the path of a report there.
# HELPER is "-" for the Linux build. For a Windows build it is the helper
# program (wine/helper.cc), and everything runs under scripts/wine-run.sh,
# in WINEPREFIX.
# Prints what went wrong; exits 0 when the case passes, 77 when it cannot
# run here.
set -uo pipefail
shopt -s nullglob dotglob extglob
exe="$(realpath "$1")" helper="$2" earlier="$3" expected="$4"
shift 4
command=("$@")
wine_run="$(dirname "$0")/../scripts/wine-run.sh"
run=()
[[ "$helper" == - ]] || run=("$(realpath "$wine_run")")
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

# Runs COMMAND in DIR and puts in why=() what went wrong: a status but 0,
# anything printed, a CameraInfo.txt other than REPORT ("-": not checked),
# or another file left; `theirs` counts the files of a name clash left as
# they were, `held` is what the helper timed.
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

# The helper's commands as shell functions, for the Linux build, and for
# runs at once under Wine too. check() calls them through its COMMAND.
# shellcheck disable=SC2317
clash() {  # COUNT PROGRAM: the first COUNT names of its new file are taken
  local n
  for ((n = 0; n < $1; n++)); do printf theirs >"CameraInfo.txt.$BASHPID-$n.tmp"; done
  exec "$2"
}
# shellcheck disable=SC2317
together() {  # COUNT PROGRAM
  local n ended=0
  for ((n = 0; n < $1; n++)); do "${run[@]}" "$2" & done
  for ((n = 0; n < $1; n++)); do wait -n || ended=13; done
  return "$ended"
}

# The command's first words set the stage.
dir="$(mktemp -d "$work/run.XXXXXX")" stage=" "
while [[ "${command[0]}" == @(devices|system32|deep|full-disk|read-only) ]]; do
  word="${command[0]}" command=("${command[@]:1}")
  stage+="$word "
  case "$word" in
    devices) "$wine_run" --devices "${command[0]}" || exit 1; command=("${command[@]:1}") ;;
    system32) dir="$WINEPREFIX/drive_c/windows/system32" ;;
    deep)  # a directory whose Windows path (Z:\tmp\...) has that many characters
      dir+="/$(head -c $((command[0] - ${#dir} - 3)) /dev/zero | tr '\0' d)"
      mkdir "$dir" && command=("${command[@]:1}") ;;
    full-disk)
      mount -t tmpfs -o size=8k camera-info-test "$dir" 2>"$work/mount.out" ||
        { echo "SKIP: cannot mount a small tmpfs: $(<"$work/mount.out")"; exit 77; }
      mounted="$dir" ;;
  esac
done
case "$earlier" in
  short) printf 'earlier\n' >"$dir/CameraInfo.txt" ;;
  long) head -c 10000 /dev/zero | tr '\0' x >"$dir/CameraInfo.txt" ;;
  dir) mkdir "$dir/CameraInfo.txt" ;;
  link) printf 'earlier\n' >"$work/target" && ln -s "$work/target" "$dir/CameraInfo.txt" ;;
  hard-link) printf 'earlier\n' >"$work/target" && ln "$work/target" "$dir/CameraInfo.txt" ;;
  huge) truncate -s $((4 * 1024 * 1024 * 1024 + 8)) "$dir/CameraInfo.txt" ;;
esac
[[ "$earlier" == huge ]] || cp "$dir/CameraInfo.txt" "$work/earlier" 2>/dev/null
[[ "$stage" != *" read-only "* ]] || chmod a-w "$dir/CameraInfo.txt"
[[ "$stage" != *" full-disk "* ]] || head -c 65536 /dev/zero >"$dir/filler" 2>/dev/null  # no byte more fits
first="${command[0]}" count="${command[1]:-}" third="${command[2]:-}"
if [[ "$first" == PROGRAM ]]; then
  command=("${run[@]}" "$exe" "${command[@]:1}")
elif [[ "$helper" != - && "$first" != together ]]; then
  command=("${run[@]}" "$helper" "${command[@]//PROGRAM/Z:$exe}")
else
  command=("${command[@]//PROGRAM/$exe}")
fi
case "$expected" in
  earlier) report="$work/earlier" ;;
  dir) report=- ;;
  xs) head -c "$third" /dev/zero | tr '\0' x >"$work/xs" && report="$work/xs" ;;
  *) report="$expected" ;;
esac
check "$dir" "$report" "${command[@]}"
if [[ "$stage" == *" system32 "* ]]; then
  # Not into syswow64, where WoW64 file-system redirection would send it.
  # Wine's own services may still be adding files there: only ours count.
  windows="$WINEPREFIX/drive_c/windows" reasons=("${why[@]}") why=()
  for reason in "${reasons[@]}"; do [[ "$reason" == "left "* ]] || why+=("$reason"); done
  [[ ! -e "$windows/syswow64/CameraInfo.txt" ]] || why+=("a CameraInfo.txt in syswow64")
  rm -f "$windows"/sys*/CameraInfo.txt
  left=("$windows"/sys*/CameraInfo.txt*)
  ((${#left[@]} == 0)) || why+=("left ${left[*]}")
fi
[[ "$expected" != dir ]] || rmdir "$dir/CameraInfo.txt" || why+=("CameraInfo.txt is no longer an empty directory")
[[ "$first" != clash || "$theirs" == "$count" ]] || why+=("$theirs of $count files in the way kept")
[[ "$first $third" != "hold -" ]] || ((held >= held_least_ms && held <= held_most_ms)) ||
  why+=("held ${held:-?} ms, not within $held_least_ms to $held_most_ms ms")
[[ "$earlier" != *link || ("$(<"$work/target")" == earlier && ! -L "$dir/CameraInfo.txt") ]] ||
  why+=("the link is still there, or its target changed")
((${#why[@]} == 0)) || { echo "FAIL: $(printf '%s; ' "${why[@]}")"; exit 1; }
