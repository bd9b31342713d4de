#!/usr/bin/env bash
# Makes the release (scripts/release.sh) and checks its two SBOMs against
# their zips and CycloneDX's JSON schema
# (check-sbom.py beside this script). tests/release-test.sh begins with it.
# Where SOURCE_DATE_EPOCH is set it needs no git checkout, so the mutation
# check can run it in a copy of the project.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/scripts/release.sh"
"$root/tests/cyclonedx/check-sbom.py" "$root/dist"
