#!/usr/bin/env bash
# Builds the Windows release: for the 32-bit (x86) and the 64-bit (x64)
# tool, dist/camera-info-VERSION-windows-ARCH.zip with camera-info.exe,
# README.txt, the report's schema and THIRD-PARTY-NOTICES.txt, and
# dist/SHA256SUMS over both zips.
#   scripts/release.sh
# One commit gives the same bytes from any checkout: every time in the exes
# and zips is the last commit's time (SOURCE_DATE_EPOCH, where set).
# Given CAMERA_INFO_SIGN_PKCS12, a PKCS#12 file with a code-signing
# certificate and its key, and CAMERA_INFO_SIGN_PASSWORD, its password, it
# signs both exes (Authenticode, SHA-256) before zipping them; the signing
# time is that time too. Use an RSA key: ECDSA signatures differ every time.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
certificate="${CAMERA_INFO_SIGN_PKCS12:+$(realpath -- "$CAMERA_INFO_SIGN_PKCS12")}"
cd "$root"
scripts/setup.sh all

SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}"
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
    while read -r file; do [[ "$file" != /* ]] && echo "$file" || realpath -s "$file"; done |
    sort -u
}

# THIRD-PARTY-NOTICES.txt for the exe in BUILD: the licence text of each
# file linked into it that is not this project's own code, as the build
# machine has it (jsoncpp's from its source, the others from their Debian
# packages' copyright files), and the texts those refer to.
notices() {
  local build="$1" title="$2" file package text label key
  local -a order=()
  local -A text_of=() label_of=() packages_of=() files_of=() package_of=()
  local -a files=()
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
        text="$root/.deps/jsoncpp/LICENSE" label="LICENSE of jsoncpp's source"
        package="jsoncpp (Debian source package libjsoncpp $(cat "$root/.deps/jsoncpp/.debian-version"))" ;;
      /*)
        package="${package_of[$file]:-}"
        [[ -n "$package" ]] || { echo "release: no Debian package holds $file" >&2; return 1; }
        text="/usr/share/doc/$package/copyright" label="$(realpath "$text")"
        package+=" $(dpkg-query -W -f='${Version}' "$package")" ;;
      *) echo "release: $file is linked in, and its licence is unknown" >&2; return 1 ;;
    esac
    [[ -s "$text" ]] || { echo "release: no licence text $text" >&2; return 1; }
    key="$(sha256sum <"$text")"  # packages of one source share a text
    text_of[$key]="$text" label_of[$key]="$label"
    [[ " ${packages_of[$key]:-} " == *" $package, "* ]] || packages_of[$key]+=" $package,"
    files_of[$key]+=" $(basename "$file")"
  done
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
    printf '\n\n%s\n%s\n\n' "==== ${label_of[$key]}" "$(sed 's/./=/g' <<<"==== ${label_of[$key]}")"
    cat "${text_of[$key]}"
  done
  for text in "${referred[@]}"; do
    [[ -s "$text" ]] || { echo "release: no licence text $text" >&2; return 1; }
    printf '\n\n%s\n%s\n\n' "==== $text" "$(sed 's/./=/g' <<<"==== $text")"
    cat "$text"
  done
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
  scripts/check-windows-exe.sh "$objdump" "$exe" "$version" "$SOURCE_DATE_EPOCH"

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
  notices "$build" "camera-info $version, Windows $bits ($arch)" |
    sed 's/$/\r/' >"$stage/THIRD-PARTY-NOTICES.txt"
  # Nothing shipped may hold where it was built.
  if { strings -a "$exe" && strings -a -e l "$exe" && cat "$stage"/*.txt; } | grep -F "$root"; then
    echo "release: the $arch zip would hold the path of the checkout, $root" >&2
    exit 1
  fi
  zip_files "$dist/$name.zip" "$stage"/{camera-info.exe,README.txt,camera-info.schema.json,THIRD-PARTY-NOTICES.txt}
done
(cd "$dist" && sha256sum -- *.zip >SHA256SUMS)

echo
echo "release: camera-info $version, from the commit of $(date -d "@$SOURCE_DATE_EPOCH")" \
  "($( [[ -n "$certificate" ]] && echo signed || echo unsigned)):"
for file in "$dist"/*.zip "$dist/SHA256SUMS"; do echo "  $file"; done
cat "$dist/SHA256SUMS"
