#!/usr/bin/env bash
# Builds the Windows release: for the 32-bit (x86) and the 64-bit (x64)
# tool, dist/camera-info-VERSION-windows-ARCH.zip with camera-info.exe,
# README.txt, the report's schema, THIRD-PARTY-NOTICES.txt and the SBOM
# camera-info.cdx.json (CycloneDX 1.5), that SBOM again beside the zip as
# dist/camera-info-VERSION-windows-ARCH.cdx.json, and dist/SHA256SUMS over
# the zips and the SBOMs.
#   scripts/release.sh
# One commit gives the same bytes from any checkout: every time in the exes,
# zips and SBOMs is the last commit's time (SOURCE_DATE_EPOCH, where set).
# Given CAMERA_INFO_SIGN_PKCS12, a PKCS#12 file with a code-signing
# certificate and its key, and CAMERA_INFO_SIGN_PASSWORD, its password, it
# signs both exes (Authenticode, SHA-256) before zipping them; the signing
# time is that time too. Use an RSA key: ECDSA signatures differ every time.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
certificate="${CAMERA_INFO_SIGN_PKCS12:+$(realpath -- "$CAMERA_INFO_SIGN_PKCS12")}"
cd "$root"
scripts/setup.sh --check all

SOURCE_DATE_EPOCH="$(scripts/source-date-epoch.sh)"
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
dist="$root/dist"
rm -rf "$dist"
mkdir -p "$dist"

# The files the linker took code from, as the map of its run lists them:
# every archive that gave a member, and every object file.
linked_files() {
  awk '/^Archive member included/ {members = 1; next}
       /^Discarded input sections/ {members = 0}
       members && /^[^ \t]/ {sub(/\(.*/, ""); print}
       /^LOAD .*\.o$/ {print $2}' "$1" |
    while read -r file; do
      if [[ "$file" != /* ]]; then echo "$file"; else realpath -s "$file"; fi
    done |
    sort -u
}

# The licence of the library NAME whose licence text is TEXT, as an SPDX
# expression; the release fails where TEXT lacks a line that the
# expression stands on. LicenseRef-X is the licence that Debian's copyright
# file calls X; MIT is its "expat". For mingw-w64, the licences of the
# parts that the exes link (mingw-w64 10.0.0, read from the linker's map):
# the start-up code and import libraries (ZPL-2.1, public domain), gdtoa
# and the printf family of libmingwex (Lucent, David-Gay, Keith-Marshall),
# and winpthreads (expat, with Lockless's BSD-3-clause pthread.h).
# jsoncpp's LICENSE gives MIT everywhere, and public domain only where the
# law knows it.
licence_of() {  # NAME TEXT
  local expression line
  local -a lines=()
  case "$1" in
    gcc-mingw-w64-*-posix | g++-mingw-w64-*-posix)
      expression="GPL-3.0-or-later WITH GCC-exception-3.1"
      lines=("GNU General Public License (v3 or later) with version 3.1 of the GCC"
             "Runtime Library Exception (included in this file):") ;;
    mingw-w64-*-dev)
      expression="ZPL-2.1 AND LicenseRef-public-domain AND LicenseRef-Lucent AND LicenseRef-David-Gay"
      expression+=" AND LicenseRef-Keith-Marshall AND MIT AND BSD-3-Clause"
      lines=("License: ZPL-2.1" "License: public-domain" "License: Lucent" "License: David-Gay"
             "License: Keith-Marshall" "Files: mingw-w64-libraries/winpthreads/*" "License: expat"
             "License: BSD-3-clause-Lockless") ;;
    jsoncpp)
      expression="MIT"
      lines=("this software is released into the Public Domain."
             "The JsonCpp Authors, and is released under the terms of the MIT License (see below).") ;;
    *) echo "release: no licence is known for $1 (add it to licence_of)" >&2; return 1 ;;
  esac
  for line in "${lines[@]}"; do
    grep -qxF -e "$line" -e " $line" "$2" || { echo "release: $2 no longer says: $line" >&2; return 1; }
  done
  echo "$expression"
}

# The libraries in the exe of BUILD that are not this project's own code:
# one line for each file linked in, tab-separated: the library's name, its
# version (the Debian package's), its purl, its licence (SPDX), what the
# notices say it is from, its licence text (jsoncpp's LICENSE from its
# source, the others their Debian packages' copyright files, as the build
# machine has them) and that text's label, and the file's name.
# THIRD-PARTY-NOTICES.txt and the SBOM are both made from this one list.
third_party() {  # BUILD
  local build="$1" file name package version arch purl licence from text label distro
  local -A package_of=()
  local -a files=()
  distro="$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release)"
  [[ -n "$distro" ]] || { echo "release: /etc/os-release names no Debian release" >&2; return 1; }
  mapfile -t files < <(linked_files "$build/camera-info.map")
  # An empty list means a map of another form, not an exe of nothing.
  if ((${#files[@]} == 0)); then
    echo "release: $build/camera-info.map names no linked file" >&2
    return 1
  fi
  # One dpkg -S for all: each call reads the whole package database.
  while IFS= read -r file; do
    package="${file%%: *}" package_of[${file#*: }]="${package%%[:,]*}"
  done < <(printf '%s\n' "${files[@]}" | grep '^/' | xargs -r dpkg -S 2>/dev/null || true)
  for file in "${files[@]}"; do
    case "$file" in
      CMakeFiles/camera-info.dir/* | lib/libcamera_info_core.a) continue ;;
      lib/libjsoncpp.a)
        name=jsoncpp package=libjsoncpp arch=source version="$(cat "$root/.deps/jsoncpp/.debian-version")"
        text="$root/.deps/jsoncpp/LICENSE" label="LICENSE of jsoncpp's source"
        from="jsoncpp (Debian source package libjsoncpp $version)" ;;
      /*)
        package="${package_of[$file]:-}"
        [[ -n "$package" ]] || { echo "release: no Debian package holds $file" >&2; return 1; }
        name="$package"
        version="$(dpkg-query -W -f='${Version}' "$package")"
        arch="$(dpkg-query -W -f='${Architecture}' "$package")"
        text="/usr/share/doc/$package/copyright" label="$(realpath "$text")"
        from="$package $version" ;;
      *) echo "release: $file is linked in, and its licence is unknown" >&2; return 1 ;;
    esac
    [[ -s "$text" ]] || { echo "release: no licence text $text" >&2; return 1; }
    licence="$(licence_of "$name" "$text")"
    purl="pkg:deb/debian/$package@${version//+/%2B}?arch=$arch&distro=$distro"
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$version" "$purl" "$licence" \
      "$from" "$text" "$label" "$(basename "$file")"
  done
}

# THIRD-PARTY-NOTICES.txt from LIST (third_party's): the licence text of
# each library there, once for the libraries that share it, and the texts
# those refer to.
notices() {  # LIST TITLE
  local list="$1" title="$2" from text label file key
  local -a order=()
  local -A text_of=() label_of=() packages_of=() files_of=()
  while IFS=$'\t' read -r _ _ _ _ from text label file; do
    key="$(sha256sum <"$text")"  # packages of one source share a text
    text_of[$key]="$text" label_of[$key]="$label"
    [[ " ${packages_of[$key]:-} " == *" $from, "* ]] || packages_of[$key]+=" $from,"
    files_of[$key]+=" $file"
  done <"$list"
  mapfile -t order < <(for key in "${!label_of[@]}"; do
    printf '%s\t%s\n' "${label_of[$key]}" "$key"
  done | sort | cut -f2)

  wrap() { fold -s -w 74 | sed -e 's/ *$//' -e '2,$s/^/   /'; }
  local -a referred=()
  mapfile -t referred < <(cat "${text_of[@]}" |  # GPL is GPL-3, and so on
    grep -o '/usr/share/common-licenses/[A-Za-z0-9+-]*\(\.[0-9][0-9]*\)*' |
    sort -u | xargs -r realpath | sort -u)
  echo "Third-party notices: $title"
  echo
  echo "camera-info.exe holds code of the libraries below, linked in statically."
  echo "Their licences ask that these notices go with the program. Each text is"
  echo "copied unchanged from the machine that built this release."
  local n=0
  for key in "${order[@]}"; do
    n=$((n + 1))
    echo
    echo "$n. From${packages_of[$key]%,}" | wrap
    echo "   Linked:${files_of[$key]}" | wrap
    echo "   Text: ${label_of[$key]}"
  done
  echo
  echo "$((n + 1)). Licence texts that the texts above refer to: ${referred[*]}" | wrap
  for key in "${order[@]}"; do
    label="==== ${label_of[$key]}"
    printf '\n\n%s\n%s\n\n' "$label" "${label//?/=}"
    cat "${text_of[$key]}"
  done
  for text in "${referred[@]}"; do
    [[ -s "$text" ]] || { echo "release: no licence text $text" >&2; return 1; }
    label="==== $text"
    printf '\n\n%s\n%s\n\n' "$label" "${label//?/=}"
    cat "$text"
  done
}

# The SBOM (CycloneDX 1.5 JSON) of EXE, camera-info VERSION as DESCRIPTION
# says, from LIST (third_party's): the tool with the exe's SHA-256 and no
# licence yet, a component for each library, and the tool's dependency on
# each. Its time is SOURCE_DATE_EPOCH, its serial number a name-based
# UUID (version 5, in the URL namespace) of its text without that number.
sbom() {  # LIST EXE VERSION DESCRIPTION
  python3 - "$@" <<'PY'
import hashlib, json, os, sys, time, uuid
listing, exe, version, description = sys.argv[1:]
components = {}
with open(listing, encoding="utf-8") as rows:
    for row in rows:
        name, number, purl, licence, _, _, _, linked = row.rstrip("\n").split("\t")
        component = components.setdefault(purl, {
            "type": "library", "bom-ref": purl, "name": name, "version": number,
            "licenses": [{"expression": licence}], "purl": purl, "properties": []})
        component["properties"].append({"name": "camera-info:linked-file", "value": linked})
with open(exe, "rb") as data:
    digest = hashlib.sha256(data.read()).hexdigest()
head = {"$schema": "http://cyclonedx.org/schema/bom-1.5.schema.json",
        "bomFormat": "CycloneDX", "specVersion": "1.5"}
rest = {
    "version": 1,
    "metadata": {
        "timestamp": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(int(os.environ["SOURCE_DATE_EPOCH"]))),
        "component": {
            "type": "application", "bom-ref": "camera-info", "name": "camera-info",
            "version": version, "description": description,
            "hashes": [{"alg": "SHA-256", "content": digest}],
            "licenses": [{"license": {"name": "None yet: camera-info has no licence, so none is granted"}}]}},
    "components": [components[purl] for purl in sorted(components)],
    "dependencies": [{"ref": "camera-info", "dependsOn": sorted(components)}]}
def text(bom):
    return json.dumps(bom, indent=2, ensure_ascii=False) + "\n"
serial = uuid.uuid5(uuid.NAMESPACE_URL, text({**head, **rest}))
sys.stdout.write(text({**head, "serialNumber": f"urn:uuid:{serial}", **rest}))
PY
}

# ZIP FILE...: a new zip of the files, in that order, each with the time
# SOURCE_DATE_EPOCH (UTC) and the mode 0644, whatever the umask or zone.
zip_files() {
  python3 - "$@" <<'PY'
import os, sys, time, zipfile
date = time.gmtime(int(os.environ["SOURCE_DATE_EPOCH"]))[:6]
with zipfile.ZipFile(sys.argv[1], "x") as archive:
    for path in sys.argv[2:]:
        entry = zipfile.ZipInfo(os.path.basename(path), date)
        entry.create_system = 3  # Unix, whose mode bits follow
        entry.external_attr = 0o100644 << 16
        with open(path, "rb") as data:
            archive.writestr(entry, data.read(), zipfile.ZIP_DEFLATED, 9)
PY
}

if [[ -n "$certificate" ]]; then
  echo "release: signing the exes with $certificate"
else
  echo "release: CAMERA_INFO_SIGN_PKCS12 is not set: the exes stay unsigned"
fi
for arch in x86 x64; do
  preset="release-$arch"
  build="$root/build/$preset"
  cmake --preset "$preset" -S "$root" >/dev/null
  cmake --build --preset "$preset"
  version="$(cat "$build/version.txt")"
  exe="$build/bin/camera-info.exe"
  objdump="$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$build/CMakeCache.txt")"
  tests/check-windows-exe.sh "$objdump" "$exe" "$SOURCE_DATE_EPOCH"

  name="camera-info-$version-windows-$arch"
  stage="$build/$name"
  rm -rf "$stage"
  mkdir "$stage"
  if [[ -n "$certificate" ]]; then
    osslsigncode sign -pkcs12 "$certificate" \
      -readpass <(printf '%s' "${CAMERA_INFO_SIGN_PASSWORD:-}") \
      -h sha256 -n camera-info -time "$SOURCE_DATE_EPOCH" \
      -in "$exe" -out "$stage/camera-info.exe" >/dev/null
  else
    cp "$exe" "$stage/camera-info.exe"
  fi
  bits=32-bit runs_on="It runs on their 32-bit and their 64-bit editions."
  if [[ "$arch" == x64 ]]; then
    bits=64-bit runs_on="It needs their 64-bit editions (the 32-bit build runs on both)."
  fi
  # CRLF line ends, for the Notepad of older Windows.
  sed -e "s/@VERSION@/$version/g" -e "s/@BITS@/$bits/g" -e "s/@RUNS_ON@/$runs_on/g" \
    -e 's/$/\r/' docs/README.txt.in >"$stage/README.txt"
  cp docs/camera-info.schema.json "$stage/"
  third_party "$build" >"$build/third-party.tsv"
  notices "$build/third-party.tsv" "camera-info $version, Windows $bits ($arch)" |
    sed 's/$/\r/' >"$stage/THIRD-PARTY-NOTICES.txt"
  sbom "$build/third-party.tsv" "$stage/camera-info.exe" "$version" \
    "camera-info.exe for Windows, $bits ($arch)" >"$stage/camera-info.cdx.json"
  # Nothing shipped may hold where it was built.
  if { strings -a "$exe" && strings -a -e l "$exe" && cat "$stage"/*.txt "$stage"/*.json; } | grep -F "$root"; then
    echo "release: the $arch zip would hold the path of the checkout, $root" >&2
    exit 1
  fi
  zip_files "$dist/$name.zip" \
    "$stage"/{camera-info.exe,README.txt,camera-info.schema.json,THIRD-PARTY-NOTICES.txt,camera-info.cdx.json}
  cp "$stage/camera-info.cdx.json" "$dist/$name.cdx.json"
done
(cd "$dist" && sha256sum -- *.zip *.cdx.json >SHA256SUMS)

echo
echo "release: camera-info $version, from the commit of $(date -d "@$SOURCE_DATE_EPOCH")" \
  "($( [[ -n "$certificate" ]] && echo signed || echo unsigned)):"
for file in "$dist"/*.zip "$dist"/*.cdx.json "$dist/SHA256SUMS"; do echo "  $file"; done
cat "$dist/SHA256SUMS"
