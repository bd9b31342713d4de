#!/usr/bin/env bash
# Starts the built camera-info the way a user or a script does, in
# directories set up for each case, and checks what it leaves behind: exit
# status 0, nothing printed, and the report's exact bytes or the earlier
# file untouched, with no other file left.
# Usage: process-test.sh CAMERA_INFO DATA_DIR
set -uo pipefail
program="$(realpath "$1")"
data="$(realpath "$2")"
empty="$data/report-empty.txt"
work="$(mktemp -d /tmp/camera-info-process.XXXXXX)"
chmod 755 "$work"
passed=0 failed=0 skipped=0
mounted=""
trap '[[ -n "$mounted" ]] && umount "$mounted"; rm -rf "$work"' EXIT

pass() { echo "PASS $case"; passed=$((passed + 1)); }
skip() { echo "SKIP $case: $*"; skipped=$((skipped + 1)); }
problem() { problems+="; $*"; }

# Runs the program in $dir, as user $as if set; records what went wrong.
run() {
  local status
  (cd "$dir" && exec ${as:+setpriv --reuid="$as" --regid="$as" --clear-groups} \
    "$program" "$@") >"$work/out" 2>"$work/err"
  status=$?
  ((status == 0)) || problem "exit status $status"
  [[ -s "$work/out" || -s "$work/err" ]] && problem "printed: $(cat "$work/out" "$work/err")"
}
expect_files() { # the directory holds exactly these names
  local listed
  listed="$(cd "$dir" && ls -A | xargs)"
  [[ "$listed" == "$*" ]] || problem "directory holds: $listed"
}
expect_bytes() { cmp -s "$1" "$2" || problem "$1 differs from $2"; }
begin() {
  case="$1" problems="" as=""
  dir="$work/$case"
  mkdir -p "$dir"
}
end() {
  if [[ -z "$problems" ]]; then pass; else
    echo "FAIL $case${problems}"
    failed=$((failed + 1))
  fi
}

begin no-camera
run
expect_bytes "$dir/CameraInfo.txt" "$empty"
expect_files CameraInfo.txt
end

begin longer-report-replaced-arguments-ignored
for arguments in "--help" "-o other.txt" "CameraInfo.txt x ''"; do
  { head -c 4096 /dev/zero | tr '\0' '#'; printf '\r\n'; } >"$dir/CameraInfo.txt"
  eval "run $arguments"
  expect_bytes "$dir/CameraInfo.txt" "$empty"
  expect_files CameraInfo.txt
done
end

begin directory-in-the-way
mkdir "$dir/CameraInfo.txt"
run
[[ -d "$dir/CameraInfo.txt" ]] || problem "the directory is gone"
expect_files CameraInfo.txt
end

begin symbolic-link-replaced-target-kept
echo target >"$work/target"
ln -s "$work/target" "$dir/CameraInfo.txt"
run
[[ -L "$dir/CameraInfo.txt" ]] && problem "the link is still there"
expect_bytes "$dir/CameraInfo.txt" "$empty"
[[ "$(cat "$work/target")" == target ]] || problem "the link's target changed"
expect_files CameraInfo.txt
end

begin read-only-directory
if [[ "$(id -u)" != 0 ]]; then skip "needs root to run as another user"; else
  as=65534
  run
  expect_files
  end
fi

begin read-only-report
if [[ "$(id -u)" != 0 ]]; then skip "needs root to run as another user"; else
  printf 'earlier' >"$dir/CameraInfo.txt"
  chmod 444 "$dir/CameraInfo.txt"
  chown 65534 "$dir" "$dir/CameraInfo.txt"
  as=65534
  run
  [[ "$(cat "$dir/CameraInfo.txt")" == earlier ]] || problem "the report changed"
  expect_files CameraInfo.txt
  end
fi

begin full-disk
if ! mount -t tmpfs -o size=8k camera-info-test "$dir" 2>/dev/null; then
  skip "cannot mount a small tmpfs here (needs root)"
else
  mounted="$dir"
  cp "$data/report-three-cameras.txt" "$dir/CameraInfo.txt"
  # Fill the rest, so that not one byte more fits.
  head -c 65536 /dev/zero >"$dir/filler" 2>/dev/null
  run
  expect_bytes "$dir/CameraInfo.txt" "$data/report-three-cameras.txt"
  expect_files CameraInfo.txt filler
  # With room again, the same run replaces the report.
  rm "$dir/filler"
  run
  expect_bytes "$dir/CameraInfo.txt" "$empty"
  umount "$dir" && mounted=""
  end
fi

echo "$passed passed, $failed failed, $skipped skipped"
((failed == 0))
