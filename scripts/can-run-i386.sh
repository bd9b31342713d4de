#!/usr/bin/env bash
# Tells whether this machine runs 32-bit x86 (i386) programs, natively or
# through an emulator registered with binfmt_misc:
#   0  it does;
#   1  it does not (the kernel runs no i386 code and no emulator is
#      registered for it), and says why and how to fix it on standard error;
#   2  the probe could not be run at all (no directory here lets programs
#      run, say a noexec temporary directory), and says why.
# The probe is a 99-byte i386 ELF program: xor eax,eax; inc eax; mov ebx,eax;
# add ebx,41; exit(ebx) through int 0x80. Run as 32-bit code it exits with
# 42; run as 64-bit code (where 0x40 is a prefix, not inc) with 41.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
probe_bytes='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
probe_bytes+='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
probe_bytes+='\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'
probe_bytes+='\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'
probe_bytes+='\x00\x80\x04\x08\x63\x00\x00\x00\x63\x00\x00\x00\x05\x00\x00\x00'
probe_bytes+='\x00\x10\x00\x00\x31\xc0\x40\x89\xc3\x83\xc3\x29\xb8\x01\x00\x00'
probe_bytes+='\x00\xcd\x80'

dir=""
trap '[[ -z "$dir" ]] || rm -rf "$dir"' EXIT
tried=()
for base in "${TMPDIR:-/tmp}" /tmp /var/tmp /dev/shm "$root/build"; do
  mkdir -p "$base" 2>/dev/null
  dir="$(mktemp -d "$base/camera-info-probe.XXXXXX" 2>/dev/null)" || { dir=""; continue; }
  # A native program first: where even that cannot run, the place is at fault.
  if cp /bin/true "$dir/native" 2>/dev/null && "$dir/native" 2>/dev/null; then
    printf '%b' "$probe_bytes" >"$dir/probe" && chmod +x "$dir/probe"
    "$dir/probe" 2>"$dir/err"
    status=$?
    ((status == 42)) && exit 0
    why="status $status"
    ((status != 41)) || why="it ran as 64-bit code"
    [[ ! -s "$dir/err" ]] || why+=": $(head -c 200 "$dir/err" | tr '\n' ' ')"
    cat >&2 <<EOF
can-run-i386: this machine runs no i386 program ($why): its kernel runs no
32-bit code and no emulator is registered for i386 in binfmt_misc, so the
shipped 32-bit camera-info.exe and its tests cannot run.
Fix: run scripts/setup.sh all as root (or with sudo): it installs qemu-user
from bookworm-backports, registers its i386 emulator with binfmt_misc and
installs wine32:i386. In a container binfmt_misc is the host's: register
the emulator there. CAMERA_INFO_SKIP_32BIT=1 skips the 32-bit tests on
purpose.
EOF
    exit 1
  fi
  tried+=("$base")
  rm -rf "$dir"
  dir=""
done
echo "can-run-i386: could not run the probe: no program may run from ${tried[*]}" \
  "(mounted noexec?); set TMPDIR to a directory that allows it" >&2
exit 2
