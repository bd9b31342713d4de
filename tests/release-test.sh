#!/usr/bin/env bash
# The release is reproducible, signs, and ships exes that work: a release
# here and one from a second checkout at another path give the same zips,
# SBOMs and exes; each SBOM is valid CycloneDX 1.5 and lists exactly the
# libraries of its zip's THIRD-PARTY-NOTICES.txt
# (tests/cyclonedx/check-sbom.py); signing with a throw-away RSA certificate
# gives the same bytes twice, signatures that verify, SBOMs with the signed
# exes' hashes and, removed, the unsigned exe; and the exe from each zip
# writes the no-camera report under Wine.
# The second checkout, a clone of this one with its uncommitted changes,
# stays in build/other-checkout between runs, so that its builds, like
# those here, redo only what changed. CAMERA_INFO_SKIP_32BIT=1 skips running
# the 32-bit exe, and says so.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d /tmp/camera-info-release-test.XXXXXX)"
wine_run="$root/scripts/wine-run.sh"
export WINEPREFIX="$work/prefix"
trap '"$wine_run" --stop; rm -rf "$work"' EXIT
started=$SECONDS
fail() { echo "FAIL: $*"; exit 1; }

"$root/tests/cyclonedx/release-sbom-test.sh" || fail "the release here, or its SBOMs"

clone="$root/build/other-checkout/camera-info"
if [[ ! -d "$clone/.git" ]]; then
  rm -rf "$clone"
  git clone -q "$root" "$clone"
fi
# The same commit and uncommitted changes as here; files whose text stays
# keep their time, so the builds there stay incremental.
git -C "$clone" fetch -q "$root" HEAD
git -C "$clone" checkout -q -f --detach FETCH_HEAD
git -C "$clone" clean -q -fd -e /build -e /dist -e /.deps
(cd "$root" && git ls-files -z --others --exclude-standard) |
  (cd "$root" && xargs -0 -r cp --parents -t "$clone")
git -C "$root" diff HEAD --binary | git -C "$clone" apply --allow-empty
ln -sfn "$root/.deps" "$clone/.deps"

"$clone/scripts/release.sh" >"$work/clone.log" 2>&1 || { cat "$work/clone.log"; fail "release in the clone"; }
hashes() { cd "$1" && sha256sum dist/*.zip dist/*.cdx.json build/release-{x86,x64}/bin/camera-info.exe; }
for tree in "$root" "$clone"; do echo "$tree:" && (hashes "$tree"); done
[[ "$(hashes "$root")" == "$(hashes "$clone")" ]] || fail "the clone's zips, SBOMs or exes differ"

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
  -days 2 -subj "/CN=camera-info throw-away" -addext keyUsage=critical,digitalSignature \
  -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.p12" -passout pass:x
for run in 1 2; do
  CAMERA_INFO_SIGN_PKCS12="$work/cert.p12" CAMERA_INFO_SIGN_PASSWORD=x "$clone/scripts/release.sh" >/dev/null
  cp "$clone/dist/SHA256SUMS" "$work/signed-$run"
done
cmp "$work/signed-1" "$work/signed-2" || fail "signing twice gave different zips or SBOMs"
"$root/tests/cyclonedx/check-sbom.py" "$clone/dist" >"$work/signed-sboms.log" ||
  { cat "$work/signed-sboms.log"; fail "the signed release's SBOMs"; }
# A machine with no camera: a copy of the Windows tests' prefix where there
# is one, without its devices.
"$wine_run" --prefix "$WINEPREFIX" "$root/build/windows-x64/wine/prefix"
"$wine_run" --devices /dev/null
for arch in x86 x64; do
  python3 -m zipfile -e "$clone"/dist/*-windows-$arch.zip "$work/signed-$arch"
  osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed-$arch/camera-info.exe" >/dev/null ||
    fail "the $arch signature does not verify"
  osslsigncode remove-signature -in "$work/signed-$arch/camera-info.exe" -out "$work/$arch.exe" >/dev/null
  cmp "$work/$arch.exe" "$root/build/release-$arch/bin/camera-info.exe" || fail "signing changed more ($arch)"
  if [[ $arch == x86 && "${CAMERA_INFO_SKIP_32BIT:-}" == 1 ]]; then
    echo "SKIPPED on purpose (CAMERA_INFO_SKIP_32BIT=1): the x86 exe from its zip under Wine"
    continue
  fi
  python3 -m zipfile -e "$root"/dist/*-windows-$arch.zip "$work/run-$arch"
  status=0
  (cd "$work/run-$arch" && "$wine_run" ./camera-info.exe) || status=$?
  if ((status != 0)) || ! cmp "$work/run-$arch/CameraInfo.txt" "$root/tests/data/report-empty.txt"; then
    fail "the $arch exe from its zip: status $status, or not the no-camera report"
  fi
  echo "ok: the $arch exe from its zip wrote the no-camera report under Wine"
done
echo "release test passed in $((SECONDS - started)) s"
