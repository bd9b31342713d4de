#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build (with the
# benchmarks, built but not run), the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, short libFuzzer runs, the 32-bit Windows build
# (built and checked only: this kernel cannot run 32-bit programs) and the
# 64-bit Windows build with its tests under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/setup.sh all

step() { printf '\n=== %s\n' "$*"; }

step "format"
find src tests fuzz bench \( -name '*.cc' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run -Werror

for preset in native sanitize fuzz; do
  step "$preset: build and test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

step "windows-x86: build and check the program"
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86
ctest --preset windows-x86

step "windows-x64: build and test under Wine"
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64
ctest --preset windows-x64
