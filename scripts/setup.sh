#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine, skipping what is
# already there. Usage: scripts/setup.sh [native|all]
#   native: compiler, CMake, jsoncpp and GoogleTest for the Linux build
#   all:    also MinGW-w64, Wine and jsoncpp's Debian source for the Windows
#           builds, and osslsigncode and openssl for signing their release
set -euo pipefail

what="${1:-all}"
root="$(cd "$(dirname "$0")/.." && pwd)"

packages=(cmake ninja-build g++ pkg-config libjsoncpp-dev libgtest-dev libbenchmark-dev)
if [[ "$what" == all ]]; then
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine64 dpkg-dev
             python3-jsonschema clang-format
             osslsigncode openssl)
fi

sudo_if_needed() {
  if [[ "$(id -u)" -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

# The 32-bit Windows build's tests run under Wine's 32-bit loader, which
# needs i386 packages; only a kernel that runs i386 programs can use them.
if [[ "$what" == all ]]; then
  if "$root/scripts/can-run-i386.sh"; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      echo "setup: adding the i386 architecture for Wine's 32-bit loader"
      sudo_if_needed dpkg --add-architecture i386
    fi
    packages+=(wine32:i386)
  else
    echo "setup: this machine cannot run i386 programs: wine32 is not" \
      "installed, and the 32-bit camera-info.exe's Wine tests will be skipped"
  fi
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_if_needed apt-get update -qq
  sudo_if_needed env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

[[ "$what" == all ]] || exit 0

# jsoncpp for Windows is built from Debian's own source package, at the same
# version as the Linux library, so both builds use the same jsoncpp code.
deps="$root/.deps"
version="$(dpkg-query -W -f='${Version}' libjsoncpp-dev)"
source_dir="$deps/jsoncpp"
if [[ "$(cat "$source_dir/.debian-version" 2>/dev/null)" != "$version" ]]; then
  if [[ -z "$(apt-cache showsrc libjsoncpp 2>/dev/null)" ]]; then
    # Mirror the machine's Debian "deb" entry as a "deb-src" entry.
    entry="$(grep -l '^URIs:.*debian' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n1 || true)"
    if [[ -n "$entry" ]]; then
      sed 's/^Types:.*/Types: deb-src/' "$entry" |
        sudo_if_needed tee /etc/apt/sources.list.d/camera-info-deb-src.sources >/dev/null
    else
      grep -h '^deb .*debian' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
        sudo_if_needed tee /etc/apt/sources.list.d/camera-info-deb-src.list >/dev/null
    fi
    sudo_if_needed apt-get update -qq
  fi
  work="$deps/apt-source"
  rm -rf "$work" "$source_dir"
  mkdir -p "$work"
  (cd "$work" && apt-get source -qq "libjsoncpp=$version" >/dev/null 2>&1)
  mv "$work/libjsoncpp-${version%-*}" "$source_dir"
  echo "$version" >"$source_dir/.debian-version"
  rm -rf "$work"
fi
