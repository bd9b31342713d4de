#!/usr/bin/env bash
# Prints the time that every build output bears, so that one commit always
# gives the same bytes: SOURCE_DATE_EPOCH where set, else the last commit's.
set -euo pipefail
if [[ -n "${SOURCE_DATE_EPOCH:-}" ]]; then
  echo "$SOURCE_DATE_EPOCH"
else
  git -C "$(dirname "$0")/.." log -1 --format=%ct
fi
