#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build (with the
# benchmarks, built but not run), the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the 32-bit and 64-bit
# Windows builds with their tests under Wine (the 32-bit ones under Wine's
# 32-bit loader, which scripts/setup.sh installs where the machine runs i386
# programs; elsewhere those tests report a skip), the release test
# (tests/release-test.sh: the release twice, the second time from a clone,
# gives the same bytes), then the mutation check: every small fault kept in
# tests/mutants must make a test fail.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/setup.sh all

step() { printf '\n=== %s\n' "$*"; }

step "format"
find src tests bench \( -name '*.cc' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run -Werror

for preset in native sanitize; do
  step "$preset: build and test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

step "windows-x86: build and test under Wine's 32-bit loader"
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86
ctest --preset windows-x86

step "windows-x64: build and test under Wine"
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64
ctest --preset windows-x64

step "release: reproducible zips from two checkouts, signing, the zipped exes under Wine"
tests/release-test.sh

step "mutation check: every fault kept in tests/mutants must be caught"
scripts/mutation-check.sh
