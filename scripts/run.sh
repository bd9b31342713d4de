#!/usr/bin/env bash
# Builds camera-info for this machine and runs it in the current directory.
# Off Windows the tool sees no camera, so the report lists none. The tool
# says nothing, even when it cannot write the report; this says whether
# CameraInfo.txt is new, by its inode and time before and after the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" native
cmake --preset native -S "$root" >/dev/null
cmake --build "$root/build/native" >/dev/null  # the tool, its tests, benchmarks
stamp() { stat -c '%i %y' CameraInfo.txt 2>/dev/null || echo none; }
before="$(stamp)"
"$root/build/native/bin/camera-info"
if [[ "$(stamp)" != "$before" && -f CameraInfo.txt ]]; then
  echo "camera-info: report written to $PWD/CameraInfo.txt"
else
  echo "camera-info: no new report: $PWD/CameraInfo.txt could not be written" >&2
  exit 1
fi
