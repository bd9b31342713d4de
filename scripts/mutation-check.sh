#!/usr/bin/env bash
# Proves that the tests catch real faults: applies each small, realistic
# fault kept under tests/mutants/ to a scratch copy of the project, builds
# it, runs the test that must catch it, and fails naming every mutant that
# the tests let through.
#   scripts/mutation-check.sh [tests/mutants/NAME.diff ...]
# A mutant's first lines say what it breaks and what catches it:
#   # what it breaks
#   # run: PRESET TEST [CASE...]
# PRESET is a CMake preset; TEST the name of one of its tests; the CASEs, for
# tests/run-cases.sh's tests, the only cases run. The test stops at its first
# failure. Windows mutants are judged on windows-x64, unless they need the
# 32-bit build. Mutants of the release tooling say "# run: release SCRIPT":
# SCRIPT, run from the copy's top, builds what it needs itself.
# The mutants run side by side: CAMERA_INFO_MUTANT_JOBS jobs (5; Wine mostly
# waits, so more than the cores), each in a scratch copy of the project where
# its preset is configured and built once; a mutant is applied, built,
# tested and reverted there. The Wine tests work in copies of one prefix.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
started=$SECONDS
scripts/setup.sh all
# The Windows exe bears the last commit's time, which the scratch copies (no
# .git) cannot tell: their builds and windows-exe checks take it from here.
SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}"
export SOURCE_DATE_EPOCH
mutants=("$@")
((${#mutants[@]})) || mutants=(tests/mutants/*.diff)

scratch="$(mktemp -d /tmp/camera-info-mutants.XXXXXX)"
trap 'jobs -p | xargs -r kill 2>/dev/null || true; wait; rm -rf "$scratch"' EXIT

# The mutants of each preset, in a queue of its own.
declare -A count=() weight=([native]=1 [sanitize]=2 [windows-x64]=4 [windows-x86]=8 [release]=16) jobs_of=()
broken=() skipped=()
for mutant in "${mutants[@]}"; do
  name="$(basename "$mutant" .diff)"
  read -r preset test cases <<<"$(sed -n '2s/^# run: //p' "$mutant")"
  if [[ -z "${weight[${preset:-none}]:-}" || -z "${test:-}" ]]; then
    broken+=("$name: its second line is not \"# run: PRESET TEST [CASE...]\"")
    continue
  fi
  if [[ "$preset" == windows-x86 && "${CAMERA_INFO_SKIP_32BIT:-}" == 1 ]]; then
    skipped+=("$name")
    continue
  fi
  printf '%s\t%s\t%s\n' "$(realpath "$mutant")" "$test" "$cases" >>"$scratch/queue-$preset"
  count[$preset]=$((${count[$preset]:-0} + 1))
done
for line in "${broken[@]}"; do echo "FAIL $line"; done
if [[ -n "${count[windows-x86]:-}" ]] && ! scripts/can-run-i386.sh; then
  echo "mutation-check: the 32-bit exe cannot run here: scripts/setup.sh all (as root)" \
    "makes it run; CAMERA_INFO_SKIP_32BIT=1 skips its mutants on purpose" >&2
  exit 1
fi

# Jobs: one for each preset, then more where the work is.
jobs="${CAMERA_INFO_MUTANT_JOBS:-5}"
for preset in "${!count[@]}"; do jobs_of[$preset]=1; done
for ((n = ${#count[@]}; n < jobs; n++)); do
  best="" best_load=0
  for preset in "${!count[@]}"; do
    load=$((count[$preset] * weight[$preset] * 1000 / jobs_of[$preset]))
    ((jobs_of[$preset] >= count[$preset] || load <= best_load)) || best="$preset" best_load=$load
  done
  [[ -n "$best" ]] || break
  jobs_of[$best]=$((jobs_of[$best] + 1))
done

# One Wine prefix for the whole check, made while the jobs build.
export CAMERA_INFO_WINE_TEMPLATE="$scratch/wine-template"
if [[ -n "${count[windows-x64]:-}${count[windows-x86]:-}" ]]; then
  (scripts/wine-run.sh --make-prefix "$CAMERA_INFO_WINE_TEMPLATE" >"$scratch/template.log" 2>&1 &&
    echo ready >"$scratch/template.status" || echo failed >"$scratch/template.status") &
fi
wait_for_prefix() {
  while [[ ! -s "$scratch/template.status" ]]; do sleep 0.5; done
  [[ "$(<"$scratch/template.status")" == ready ]] ||
    { cat "$scratch/template.log"; echo "mutation-check: no Wine prefix"; return 1; }
}

# Takes the next mutant of PRESET's queue: prints its line, or fails.
take() {  # PRESET
  local n lock
  exec {lock}>>"$scratch/queue-$1.lock"
  flock "$lock"
  n="$(cat "$scratch/queue-$1.next" 2>/dev/null || echo 1)"
  echo $((n + 1)) >"$scratch/queue-$1.next"
  exec {lock}>&-
  sed -n "${n}p" "$scratch/queue-$1" | grep .
}

# The targets that TEST needs built.
targets_of() {
  case "$1" in
    unit) echo camera_info_tests ;;
    cases | windows-exe) echo camera-info ;;
    wine-cases) echo camera-info helper ;;
    fault-sweep) echo fault_sweep ;;
    *) echo all ;;
  esac
}

# Runs TEST of the job's preset, only CASES of it where given, stopping at
# the first failure; its output goes to LOG.
run_test() {  # LOG TEST [CASES]
  local -a only=()
  if [[ "$preset" == release ]]; then "./$2" >"$1" 2>&1; return; fi
  [[ -z "${3:-}" ]] || only=(CAMERA_INFO_CASES="$3")
  env "${only[@]}" CAMERA_INFO_STOP_AT_FAILURE="${CAMERA_INFO_STOP_AT_FAILURE:-1}" GTEST_FAIL_FAST=1 \
    ctest --preset "$preset" -R "^$2\$" --no-tests=error --output-on-failure >"$1" 2>&1
}

job() {  # NUMBER PRESET BASELINE: with BASELINE 1, checks the unmutated project last
  local tree="$scratch/job-$1" preset="$2" log="$scratch/job-$1.log" line mutant test cases
  local name what begun caught status targets
  mkdir "$tree"
  git ls-files -z --cached --others --exclude-standard |
    xargs -0 cp --parents -t "$tree" 2>/dev/null || true
  ln -s "$root/.deps" "$tree/.deps"
  cd "$tree"
  # shellcheck disable=SC2046
  targets="$(cut -f2 "$scratch/queue-$preset" | sort -u | while read -r test; do targets_of "$test"; done |
    tr ' ' '\n' | sort -u | tr '\n' ' ')"
  if [[ "$preset" != release ]] &&
    ! { cmake --preset "$preset" && cmake --build --preset "$preset" --target $targets; } >"$log" 2>&1; then
    echo "FAIL the unmutated project does not build on $preset:"
    tail -n 30 "$log"
    echo broken >>"$scratch/results"
    return
  fi
  [[ "$preset" != windows-* ]] || wait_for_prefix || { echo broken >>"$scratch/results"; return; }
  while line="$(take "$preset")"; do
    IFS=$'\t' read -r mutant test cases <<<"$line"
    name="$(basename "$mutant" .diff)" what="$(head -n1 "$mutant" | sed 's/^# //')" begun=$SECONDS
    if ! patch -s -p1 --dry-run <"$mutant" >/dev/null 2>&1; then
      echo "FAIL $name: does not apply"
      echo broken >>"$scratch/results"
      continue
    fi
    patch -s -p1 <"$mutant"
    status=0
    [[ "$preset" == release ]] ||
      cmake --build --preset "$preset" --target $(targets_of "$test") >"$log" 2>&1 || status=build
    [[ "$status" != 0 ]] || run_test "$log" "$test" "$cases" || status=$?
    patch -s -R -p1 <"$mutant"
    # The first failing case and why, or the failing unit tests.
    caught="$(grep -m1 -E '^FAIL |^\[  FAILED  \] [A-Za-z]' "$log" | cut -c1-160 || true)"
    if [[ "$status" == build ]]; then
      echo "FAIL $name does not build ($preset): $what"
      echo broken >>"$scratch/results"
    elif [[ "$status" == 0 ]]; then
      echo "FAIL $name survived $preset $test${cases:+ ($cases)}: $what"
      echo survived >>"$scratch/results"
    else
      echo "PASS $name killed by $preset $test in $((SECONDS - begun)) s: $what"
      [[ -z "$caught" ]] || echo "     $caught"
      echo killed >>"$scratch/results"
    fi
  done
  [[ "$3" != 1 ]] || baseline "$log" || echo broken >>"$scratch/results"
}

# The unmutated project passes the tests that the mutants are judged by:
# the tests named for PRESET, each with the cases named for it (all where a
# mutant names none).
baseline() {  # LOG
  local test t c all cases
  [[ "$preset" == release ]] || cmake --build --preset "$preset" --target $targets >"$1" 2>&1 ||
    { echo "FAIL the unmutated project does not build"; return 1; }
  for test in $(cut -f2 "$scratch/queue-$preset" | sort -u); do
    all="" cases=""
    while IFS=$'\t' read -r _ t c; do
      [[ "$t" == "$test" ]] || continue
      [[ -n "$c" ]] || all=1
      cases+=" $c"
    done <"$scratch/queue-$preset"
    [[ -z "$all" ]] || cases=""
    cases="$(tr ' ' '\n' <<<"$cases" | sort -u | tr '\n' ' ' | sed 's/^ *//; s/ *$//')"
    run_test "$1" "$test" "$cases" || { echo "FAIL the unmutated project fails $preset $test:"; tail -n 30 "$1"; return 1; }
  done
  echo "ok: the unmutated project passes the tests of the $preset mutants"
}

n=0
for preset in "${!count[@]}"; do
  echo "mutation-check: ${count[$preset]} mutants on $preset, ${jobs_of[$preset]} jobs"
  for ((j = 0; j < jobs_of[$preset]; j++)); do
    n=$((n + 1))
    job "$n" "$preset" "$((j == 0))" &
  done
done
wait

tally() { grep -cx "$1" "$scratch/results" 2>/dev/null || true; }
killed="$(tally killed)" survived="$(tally survived)"
broken_count=$((${#broken[@]} + $(tally broken)))
total=$((${#mutants[@]}))
echo "mutation-check: $((SECONDS - started)) s"
[[ ${#skipped[@]} == 0 ]] ||
  echo "SKIPPED on purpose (CAMERA_INFO_SKIP_32BIT=1): ${skipped[*]}"
echo "mutants: $killed of $total killed, $survived survived, $broken_count broken, ${#skipped[@]} skipped"
((killed == total - ${#skipped[@]}))
