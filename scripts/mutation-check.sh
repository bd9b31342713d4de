#!/usr/bin/env bash
# Proves that the tests catch real faults: applies each small, realistic
# fault kept under tests/mutants/ (a diff whose first line says what it
# breaks) to a scratch copy of the project, builds, runs the tests, and fails
# naming every mutant that the tests let through.
#   scripts/mutation-check.sh [tests/mutants/NAME.diff ...]
# Mutants of Windows code (win32-*.diff), and those whose header says
# "# tested under Wine", are tested under Wine with the 32-bit build where
# this machine runs i386 code, else the 64-bit one; a mutant whose header
# says "# needs: windows-x86" is skipped, with the reason, where only the
# 64-bit build can run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
# The Windows exe bears the last commit's time, which the scratch copy (no
# .git) cannot tell: its builds and their windows-exe check take it from here.
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}"
mutants=("$@")
((${#mutants[@]})) || mutants=(tests/mutants/*.diff)

scratch="$(mktemp -d /tmp/camera-info-mutants.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
git ls-files -z --cached --others --exclude-standard |
  xargs -0 cp --parents -t "$scratch" 2>/dev/null || true
ln -s "$root/.deps" "$scratch/.deps"

windows=windows-x64
if [[ -x /usr/lib/wine/wine ]] && scripts/can-run-i386.sh; then windows=windows-x86; fi

# Runs one preset's tests; prints the names of the tests that failed.
failing_tests() {
  local preset="$1" log="$scratch/ctest.log"
  if ! cmake --build --preset "$preset" >"$scratch/build.log" 2>&1; then
    echo "(does not build)"
    return
  fi
  ctest --preset "$preset" --output-on-failure >"$log" 2>&1 || true
  sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (.*)$/\1/p' "$log" | tr '\n' ' '
}

cd "$scratch"
declare -A configured
killed=0 survived=0 skipped=0
for mutant in "${mutants[@]}"; do
  name="$(basename "$mutant" .diff)"
  what="$(head -n1 "$root/$mutant" | sed 's/^# //')"
  preset=native
  # Windows code, and shared code whose cases run only under Wine.
  if [[ "$name" == win32-* ]] || grep -q '^# tested under Wine' "$root/$mutant"; then
    preset="$windows"
  fi
  if grep -q '^# needs: windows-x86' "$root/$mutant" && [[ "$preset" != windows-x86 ]]; then
    echo "SKIP $name: needs the 32-bit build under Wine, and this machine cannot run it"
    skipped=$((skipped + 1))
    continue
  fi
  if [[ -z "${configured[$preset]:-}" ]]; then
    cmake --preset "$preset" >/dev/null
    baseline="$(failing_tests "$preset")"
    if [[ -n "$baseline" ]]; then
      echo "the unmutated project fails on $preset: $baseline"
      tail -n 40 "$scratch/build.log" "$scratch/ctest.log"
      exit 1
    fi
    configured[$preset]=1
  fi
  if ! patch -s -p1 --dry-run <"$root/$mutant" >/dev/null; then
    echo "FAIL $name: does not apply"
    survived=$((survived + 1))
    continue
  fi
  patch -s -p1 <"$root/$mutant"
  caught="$(failing_tests "$preset")"
  patch -s -R -p1 <"$root/$mutant"
  if [[ -z "$caught" ]]; then
    echo "FAIL $name survived ($preset): $what"
    survived=$((survived + 1))
  elif [[ "$caught" == "(does not build)" ]]; then
    echo "FAIL $name does not build ($preset): $what"
    survived=$((survived + 1))
  else
    echo "PASS $name killed by ${caught% } ($preset): $what"
    killed=$((killed + 1))
  fi
done
echo "mutants: $killed killed, $survived survived or broken, $skipped skipped"
echo "$killed passed, $survived failed, $skipped skipped"
((survived == 0))
