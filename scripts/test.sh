#!/usr/bin/env bash
# Builds everything and runs every test, printing each stage's time: the
# format, the Linux build (with the benchmarks, built but not run), the same
# tests under AddressSanitizer and UndefinedBehaviorSanitizer, the 32-bit
# and 64-bit Windows builds with their tests under Wine (both at once), and
# the release test (tests/release-test.sh). The mutation check is a command
# of its own: scripts/mutation-check.sh.
# The shipped exe is the 32-bit one, and its tests always run: where this
# machine cannot run it, the command fails and says how to fix that.
# CAMERA_INFO_SKIP_32BIT=1 skips them on purpose, and the last line says so.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
skip32=""
[[ "${CAMERA_INFO_SKIP_32BIT:-}" != 1 ]] || skip32=1
started=$SECONDS
times=() current=""
summary() {
  local status=$?
  [[ -n "$template_pid" ]] && kill "$template_pid" 2>/dev/null
  printf '\n=== stage times\n'
  printf '%s\n' "${times[@]}"
  printf '%-44s %4d s\n' "total" $((SECONDS - started))
  if ((status != 0)); then
    echo "FAILED in the stage \"$current\""
  elif [[ -n "$skip32" ]]; then
    echo "passed, but the 32-bit exe's tests were SKIPPED on purpose (CAMERA_INFO_SKIP_32BIT=1)"
  else
    echo "every test passed"
  fi
}
template_pid=""
trap summary EXIT
stage() {  # NAME COMMAND...: runs COMMAND as a stage, and notes its time
  local start=$SECONDS
  current="$1"
  printf '\n=== %s\n' "$1"
  "${@:2}"
  times+=("$(printf '%-44s %4d s' "$1" $((SECONDS - start)))")
}

stage "set-up" scripts/setup.sh all

if [[ -z "$skip32" ]]; then
  why=""
  if [[ ! -x /usr/lib/wine/wine ]]; then
    why="Wine's 32-bit half (wine32:i386) is not installed"
  elif ! why="$(scripts/can-run-i386.sh 2>&1)"; then
    :
  else
    why=""
  fi
  if [[ -n "$why" ]]; then
    cat >&2 <<EOF

test: the shipped 32-bit camera-info.exe cannot run on this machine, so its
tests cannot run: $why.
Fix: run scripts/setup.sh all as root (or with sudo). Where the kernel runs
no i386 code it installs qemu-user from bookworm-backports, mounts
binfmt_misc and registers qemu's i386 emulator there, then installs
wine32:i386. In a container, binfmt_misc is the host's: register the
emulator on the host (or give the container that right). To skip the 32-bit
tests on purpose, set CAMERA_INFO_SKIP_32BIT=1.
EOF
    current="32-bit check"
    exit 1
  fi
fi

# One Wine prefix for the whole run, made while the Linux builds run; every
# Wine test works in a copy of its own.
mkdir -p build
export CAMERA_INFO_WINE_TEMPLATE="$root/build/wine-template"
rm -rf "$CAMERA_INFO_WINE_TEMPLATE" "$CAMERA_INFO_WINE_TEMPLATE".copy.*
scripts/wine-run.sh --make-prefix "$CAMERA_INFO_WINE_TEMPLATE" >build/wine-template.log 2>&1 &
template_pid=$!
template_started=$SECONDS

format() {
  find src tests bench \( -name '*.cc' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run -Werror
}
stage "format" format

build_and_test() {  # PRESET
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
  ctest --preset "$1"
}
stage "native: build and test" build_and_test native
stage "sanitize: build and test" build_and_test sanitize

windows_presets=(windows-x64)
[[ -n "$skip32" ]] || windows_presets=(windows-x86 windows-x64)
build_windows() {
  local preset
  for preset in "${windows_presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
  done
}
stage "windows: build ${windows_presets[*]}" build_windows

wait_for_template() {
  local status=0
  wait "$template_pid" || status=$?
  template_pid=""
  if ((status != 0)); then
    cat build/wine-template.log
    return 1
  fi
  echo "the Wine prefix was ready $((SECONDS - template_started)) s after it was begun"
}
stage "windows: the Wine prefix" wait_for_template

# Both presets' tests at once: Wine mostly waits.
test_windows() {
  local preset status=0 pid
  local -A pids=()
  for preset in "${windows_presets[@]}"; do
    (
      start=$SECONDS
      ctest --preset "$preset" >"build/$preset-tests.log" 2>&1 && s=0 || s=$?
      echo "($preset: $((SECONDS - start)) s)" >>"build/$preset-tests.log"
      exit "$s"
    ) &
    pids[$preset]=$!
  done
  for preset in "${windows_presets[@]}"; do
    pid="${pids[$preset]}"
    wait "$pid" || status=1
    printf -- '--- %s\n' "$preset"
    cat "build/$preset-tests.log"
  done
  return "$status"
}
stage "windows: tests of ${windows_presets[*]} under Wine" test_windows

stage "release: reproducible, signed, the zipped exes under Wine" tests/release-test.sh
