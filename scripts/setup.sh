#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine, skipping what is
# already there, and says in one line what it changed (nothing when all is
# there). Usage: scripts/setup.sh [native|all]
#   native: compiler, CMake, jsoncpp and GoogleTest for the Linux build
#   all:    also clang and its libFuzzer for the sanitize build, MinGW-w64,
#           Wine (64-bit and 32-bit) and jsoncpp's Debian source for the
#           Windows builds, osslsigncode and openssl for
#           signing their release, and what runs the shipped 32-bit exe:
#           where the kernel runs no i386 code, qemu's i386 user-mode
#           emulator (qemu-user from bookworm-backports), registered for
#           i386 programs with binfmt_misc. That registration does not
#           survive a reboot, so every run checks it.
# CAMERA_INFO_EMULATE_I386=1 registers the emulator even where the kernel
# runs i386 code, as on the machines whose kernel runs none.
set -euo pipefail

what="${1:-all}"
root="$(cd "$(dirname "$0")/.." && pwd)"
changed=()  # what this run changed, said in one line at the end
updated=""  # whether apt's lists are fresh

packages=(cmake ninja-build g++ pkg-config libjsoncpp-dev libgtest-dev libbenchmark-dev)
if [[ "$what" == all ]]; then
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine64 dpkg-dev
             python3-jsonschema clang-format shellcheck osslsigncode openssl
             clang libclang-rt-14-dev)
fi

sudo_if_needed() {
  if [[ "$(id -u)" -eq 0 ]]; then "$@"; else sudo "$@"; fi
}
# Runs a command quietly; shows what it printed where it fails.
quietly() {
  local log status=0
  log="$(mktemp)"
  "$@" >"$log" 2>&1 || status=$?
  ((status == 0)) || { echo "setup: $* failed (status $status):" >&2; cat "$log" >&2; }
  rm -f "$log"
  return "$status"
}
apt_update() {
  [[ -n "$updated" ]] || quietly sudo_if_needed apt-get update
  updated=1
}
apt_install() {  # PACKAGE...
  apt_update
  quietly sudo_if_needed env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "$@"
}
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# The machine's Debian archive entries in deb822 form (its own .sources
# files, or its one-line sources.list), for entries of our own beside them.
debian_entries() {
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [[ -e "$file" && "${file##*/}" != camera-info-* ]] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" } /\nURIs:[^\n]*debian/ || /^URIs:[^\n]*debian/' "$file"
  done | grep -v '^#'
  [[ ! -f /etc/apt/sources.list ]] ||
    awk '$1 == "deb" && $2 ~ /debian/ {
           printf "Types: deb\nURIs: %s\nSuites: %s\nComponents:", $2, $3
           for (i = 4; i <= NF; i++) printf " %s", $i
           printf "\n\n" }' /etc/apt/sources.list
}
# Writes /etc/apt/sources.list.d/camera-info-NAME.sources from the entries
# of the main archive (not its security one) given TYPES and SUITES.
add_apt_entry() {  # NAME TYPES SUITES [security too: yes]
  local entries
  entries="$(debian_entries | awk -v types="$2" -v suites="$3" -v security="${4:-}" '
    BEGIN { RS = ""; ORS = "\n\n" }
    security != "yes" && /URIs:[^\n]*security/ { next }
    { gsub(/Types:[^\n]*/, "Types: " types)
      if (suites != "") gsub(/Suites:[^\n]*/, "Suites: " suites)
      print }')"
  [[ -n "$entries" ]] || { echo "setup: this machine has no Debian archive entry to follow" >&2; return 1; }
  printf '%s\n' "$entries" | sudo_if_needed tee "/etc/apt/sources.list.d/camera-info-$1.sources" >/dev/null
  updated=""
}

# Registers qemu's i386 emulator for i386 programs, installing it first;
# fails, saying why, where a step fails (no root, a container without
# binfmt_misc).
emulate_i386() {
  local version conf binfmt=/proc/sys/fs/binfmt_misc
  if ! grep -qs bookworm-backports /etc/apt/sources.list.d/camera-info-backports.sources; then
    add_apt_entry backports deb bookworm-backports || return 1
    changed+=("added the apt suite bookworm-backports (for qemu-user only)")
  fi
  version="$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)"
  if [[ -z "$version" ]] || ! installed qemu-user || dpkg --compare-versions "$version" lt 1:10; then
    apt_install qemu-user/bookworm-backports || return 1
    changed+=("installed qemu-user $(dpkg-query -W -f='${Version}' qemu-user) from bookworm-backports")
  fi
  if ! mountpoint -q "$binfmt"; then
    quietly sudo_if_needed mount -t binfmt_misc binfmt_misc "$binfmt" || return 1
    changed+=("mounted binfmt_misc")
  fi
  if [[ ! -e "$binfmt/qemu-i386" ]]; then
    conf="$(dpkg -L qemu-user | grep '/binfmt\.d/qemu-i386\.conf$' | head -n1 || true)"
    [[ -n "$conf" ]] || { echo "setup: qemu-user ships no binfmt.d/qemu-i386.conf" >&2; return 1; }
    sudo_if_needed tee "$binfmt/register" <"$conf" >/dev/null || return 1
    changed+=("registered qemu-i386 for i386 programs with binfmt_misc")
  elif [[ "$(head -n1 "$binfmt/qemu-i386")" != enabled ]]; then
    echo 1 | sudo_if_needed tee "$binfmt/qemu-i386" >/dev/null || return 1
    changed+=("enabled the qemu-i386 handler of binfmt_misc")
  fi
}

# The shipped exe is the 32-bit one. Where the kernel runs no i386 code, it
# runs under qemu's i386 emulator (bookworm's own qemu 7.2 takes about 50 s
# of CPU to start a 32-bit Wine program; the one of bookworm-backports takes
# a quarter of a second), registered with binfmt_misc, with Wine's 32-bit
# half (wine32:i386) beside wine64, as on 64-bit Windows.
i386_ready=""
if [[ "$what" == all ]]; then
  binfmt=/proc/sys/fs/binfmt_misc
  probe=0
  "$root/scripts/can-run-i386.sh" 2>/dev/null || probe=$?
  if ((probe == 0)) && [[ "${CAMERA_INFO_EMULATE_I386:-}" != 1 || -e "$binfmt/qemu-i386" ]]; then
    i386_ready=1
  elif ((probe == 2)); then
    "$root/scripts/can-run-i386.sh" || true  # says why
  else
    emulate_i386 || echo "setup: could not set up qemu for i386 programs (see above)" >&2
    "$root/scripts/can-run-i386.sh" 2>/dev/null && i386_ready=1
  fi
  if [[ -n "$i386_ready" ]]; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      sudo_if_needed dpkg --add-architecture i386
      updated=""
      changed+=("added the i386 architecture")
    fi
    packages+=(wine32:i386)
  else
    # scripts/test.sh fails on this, saying how to fix it.
    echo "setup: this machine still runs no i386 program, so the shipped 32-bit exe" \
      "cannot be tested here; see scripts/test.sh's message" >&2
  fi
fi

missing=()
for package in "${packages[@]}"; do installed "$package" || missing+=("$package"); done
if ((${#missing[@]})); then
  apt_install "${missing[@]}"
  changed+=("installed ${missing[*]}")
fi

if [[ "$what" == all ]]; then
  # jsoncpp for Windows is built from Debian's own source package, at the
  # same version as the Linux library, so both builds use the same code.
  deps="$root/.deps"
  version="$(dpkg-query -W -f='${Version}' libjsoncpp-dev)"
  source_dir="$deps/jsoncpp"
  if [[ "$(cat "$source_dir/.debian-version" 2>/dev/null)" != "$version" ]]; then
    if [[ -z "$(apt-cache showsrc libjsoncpp 2>/dev/null)" ]]; then
      add_apt_entry deb-src deb-src "" yes
      changed+=("added the machine's Debian source entries (deb-src)")
      apt_update
    fi
    work="$deps/apt-source"
    rm -rf "$work" "$source_dir"
    mkdir -p "$work"
    (cd "$work" && quietly apt-get source "libjsoncpp=$version")
    mv "$work/libjsoncpp-${version%-*}" "$source_dir"
    echo "$version" >"$source_dir/.debian-version"
    rm -rf "$work"
    changed+=("fetched jsoncpp $version's source into .deps/")
  fi
fi

if ((${#changed[@]})); then
  (IFS=';'; echo "setup: ${changed[*]}" | sed 's/;/; /g')
fi
