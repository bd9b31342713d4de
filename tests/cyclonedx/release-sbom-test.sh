#!/usr/bin/env bash
# Makes the release (scripts/release.sh) and checks its two SBOMs against
# their zips, CycloneDX's JSON schema and this machine's packages
# (check-sbom.py beside this script). tests/release-test.sh begins with it.
# Where SOURCE_DATE_EPOCH is set it needs no git checkout, so the mutation
# check can run it in a copy of the project.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/scripts/release.sh"
"$root/tests/cyclonedx/check-sbom.py" "$root/dist" "$("$root/scripts/source-date-epoch.sh")"
