#!/usr/bin/env bash
# Proves that the tests catch real faults: applies each small, realistic
# fault kept under tests/mutants/ to a scratch copy of the project, builds
# it, runs the tests that must catch it, and fails naming every mutant that
# they let through.
#   scripts/mutation-check.sh [tests/mutants/NAME.diff ...]
# A mutant's first two lines say what it breaks and what catches it:
#   # what it breaks
#   # run: PRESET TEST...
# PRESET is a CMake preset, each TEST one of its CTest tests, run with
# --stop-on-failure. Mutants of the release tooling say "# run: release
# SCRIPT": SCRIPT, run from the copy's top, builds what it needs itself.
# Windows mutants are judged on windows-x64 unless they need the 32-bit
# build.
# The mutants run in fixed shards side by side: two for the Linux build, one
# for sanitize, three for windows-x64 (Wine mostly waits), one for
# windows-x86 and one for the release. A shard is a scratch copy of the
# project whose preset is configured and built once, and whose tests first
# pass unmutated; each mutant is then applied exactly (no fuzz), built,
# tested and undone from copies of its files there.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
started=$SECONDS
scripts/setup.sh --check all
# The scratch copies have no .git: their builds take the commit's time here.
SOURCE_DATE_EPOCH="$(scripts/source-date-epoch.sh)"
export SOURCE_DATE_EPOCH
mutants=("$@")
((${#mutants[@]})) || mutants=(tests/mutants/*.diff)
scratch="$(mktemp -d /tmp/camera-info-mutants.XXXXXX)"
trap 'jobs -p | xargs -r kill 2>/dev/null || true; wait; rm -rf "$scratch"' EXIT

# Each mutant into a shard's queue, a line "MUTANT<TAB>TESTS" each.
declare -A shards=([native]=2 [sanitize]=1 [windows-x64]=3 [windows-x86]=1 [release]=1) taken=()
touch "$scratch/results"
for mutant in "${mutants[@]}"; do
  name="$(basename "$mutant" .diff)"
  read -r preset tests <<<"$(sed -n '2s/^# run: //p' "$mutant")"
  if [[ -z "${shards[${preset:-none}]:-}" || -z "${tests:-}" ]]; then
    echo "FAIL $name: its second line is not \"# run: PRESET TEST...\""
    echo broken >>"$scratch/results"
  elif [[ "$preset" == windows-x86 && "${CAMERA_INFO_SKIP_32BIT:-}" == 1 ]]; then
    echo "SKIPPED on purpose (CAMERA_INFO_SKIP_32BIT=1): $name"
    echo skipped >>"$scratch/results"
  else
    n="${taken[$preset]:-0}" taken[$preset]=$((n + 1))
    printf '%s\t%s\n' "$(realpath "$mutant")" "$tests" >>"$scratch/$preset.$((n % shards[$preset]))"
  fi
done

# Runs TESTS (a list of test names) of PRESET, output to LOG.
run_tests() {  # PRESET LOG TESTS
  if [[ "$1" == release ]]; then "./$3" >"$2" 2>&1; return; fi
  GTEST_FAIL_FAST=1 ctest --preset "$1" -R "^(${3// /|})\$" --stop-on-failure \
    --no-tests=error --output-on-failure >"$2" 2>&1
}
# Builds the preset's tree, output to LOG.
build() {  # PRESET LOG
  [[ "$1" == release ]] || cmake --build --preset "$1" >"$2" 2>&1
}

shard() {  # QUEUE
  local queue="$1" preset tree="$1.tree" log="$1.log" all mutant tests name what begun status caught files file
  preset="$(basename "${queue%.*}")"
  all="$(cut -f2 "$queue" | tr ' ' '\n' | sort -u | paste -sd ' ')"
  mkdir "$tree"
  git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$tree"
  ln -s "$root/.deps" "$tree/.deps"
  cd "$tree"
  if [[ "$preset" != release ]]; then
    cmake --preset "$preset" >"$log" 2>&1
    # A copy of the Wine prefix of the tree here spares making one.
    [[ "$preset" != windows-* ]] ||
      scripts/wine-run.sh --prefix "$PWD/build/$preset/wine/prefix" "$root/build/$preset/wine/prefix"
  fi
  if ! build "$preset" "$log" || ! run_tests "$preset" "$log" "$all"; then
    echo "FAIL the unmutated project fails $preset ($all):"
    tail -n 30 "$log"
    echo broken >>"$scratch/results"
    return
  fi
  while IFS=$'\t' read -r mutant tests; do
    name="$(basename "$mutant" .diff)" what="$(head -n1 "$mutant" | sed 's/^# //')" begun=$SECONDS
    # Exactly where its lines stand, or not at all: a hunk moved by fuzz
    # could change, and on its way back break, another place.
    if ! patch -s -p1 -F0 --dry-run <"$mutant" >/dev/null 2>&1; then
      echo "FAIL $name: does not apply"
      echo broken >>"$scratch/results"
      continue
    fi
    mapfile -t files < <(sed -n 's|^+++ b/||p' "$mutant")
    for file in "${files[@]}"; do cp "$file" "$file.unmutated"; done
    patch -s -p1 -F0 --no-backup-if-mismatch <"$mutant"
    status=0
    build "$preset" "$log" || status=build
    [[ "$status" != 0 ]] || run_tests "$preset" "$log" "$tests" || status=$?
    # Put back, and touched: newer than what the mutant built, so it rebuilds.
    for file in "${files[@]}"; do mv "$file.unmutated" "$file" && touch "$file"; done
    # The first failing case or unit test, and why.
    caught="$(grep -m1 -E '^FAIL |^\[  FAILED  \] [A-Za-z]' "$log" | cut -c1-160 || true)"
    if [[ "$status" == build ]]; then
      echo "FAIL $name does not build ($preset): $what"
      grep -m3 -E 'error|FAILED' "$log" | cut -c1-200
      echo broken >>"$scratch/results"
    elif [[ "$status" == 0 ]]; then
      echo "FAIL $name survived $preset $tests: $what"
      echo survived >>"$scratch/results"
    else
      echo "PASS $name killed by $preset $tests in $((SECONDS - begun)) s: $what"
      [[ -z "$caught" ]] || echo "     $caught"
      echo killed >>"$scratch/results"
    fi
  done <"$queue"
}

for queue in "$scratch"/*.[0-9]; do
  echo "mutation-check: $(wc -l <"$queue") mutants in the shard $(basename "$queue")"
  shard "$queue" &
done
wait

tally() { grep -cx "$1" "$scratch/results" || true; }
echo "mutation-check: $((SECONDS - started)) s"
echo "mutants: $(tally killed) of ${#mutants[@]} killed, $(tally survived) survived," \
  "$(tally broken) broken, $(tally skipped) skipped"
(($(tally killed) + $(tally skipped) == ${#mutants[@]}))
