#!/usr/bin/env bash
# Checks a built camera-info.exe: a console program that imports nothing but
# the system's own DLLs, moves no file pointer, turns error dialogs off,
# declares the Windows version its imports need, embeds a manifest asking
# for no elevation, keeps ASLR and DEP (and high-entropy ASLR when 64-bit), and bears the
# commit's time as its PE time stamp, not the time it was linked.
# Usage: check-windows-exe.sh OBJDUMP EXE EPOCH
#   EPOCH: the time stamp it must bear, in seconds since 1970 (SOURCE_DATE_EPOCH)
set -euo pipefail
objdump="$1"
exe="$2"
epoch="$3"
headers="$("$objdump" -p "$exe")"
status=0
fail() { echo "$exe: $*"; status=1; }

grep -q 'Subsystem.*(Windows CUI)' <<<"$headers" || fail "not a console program"

# ASLR (DYNAMIC_BASE 0x40), DEP (NX_COMPAT 0x100), and for a 64-bit
# program 64-bit ASLR (HIGH_ENTROPY_VA 0x20).
declare -A mask=([DYNAMIC_BASE]=0x40 [NX_COMPAT]=0x100 [HIGH_ENTROPY_VA]=0x20)
dll_characteristics="0x$(awk '$1 == "DllCharacteristics" {print $2}' <<<"$headers")"
[[ "$dll_characteristics" =~ ^0x[0-9a-fA-F]+$ ]] || dll_characteristics=0
hardening="DYNAMIC_BASE NX_COMPAT"
if grep -q 'Magic.*(PE32+)' <<<"$headers"; then hardening+=" HIGH_ENTROPY_VA"; fi
for flag in $hardening; do
  ((dll_characteristics & mask[$flag])) || fail "lacks $flag (DllCharacteristics $dll_characteristics)"
done

# The PE header's TimeDateStamp: 8 bytes into the header that the DOS
# header's e_lfanew (offset 0x3c) points at.
pe_offset="$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')"
stamp="$(od -An -tu4 -j$((pe_offset + 8)) -N4 "$exe" | tr -d ' ')"
if [[ -z "$epoch" ]]; then
  fail "no commit time to compare its time stamp $stamp with (set SOURCE_DATE_EPOCH)"
elif [[ "$stamp" != "$epoch" ]]; then
  fail "time stamp $stamp ($(date -u -d "@$stamp")), not the commit's time $epoch"
fi

system_dlls='^(kernel32|msvcrt|ole32|oleaut32|user32|advapi32)\.dll$'
dlls="$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")"
while read -r dll; do
  grep -qiE "$system_dlls" <<<"$dll" || fail "imports a DLL that Windows does not ship: $dll"
done <<<"$dlls"

# The Windows version the imported calls need: XP (5.1; 5.2 for x64) unless
# one of them came later.
case "$headers" in
  *"Magic"*"020b"*) needed=5.2 ;;
  *) needed=5.1 ;;
esac
imports="$(awk '/DLL Name:/ {dll = 1} dll && NF == 3 && $1 ~ /^[0-9a-f]+$/ {print $3}' <<<"$headers")"
# Every write and cut names its offset: nothing may depend on the file pointer.
for call in SetFilePointer SetFilePointerEx SetEndOfFile; do
  ! grep -qx "$call" <<<"$imports" || fail "imports $call: a file step depends on the file pointer"
done
# An unattended run must not wait on an error dialog.
grep -qx SetErrorMode <<<"$imports" || fail "does not call SetErrorMode: an error dialog could stall a run"
for call in GetTickCount64 InitializeConditionVariable SleepConditionVariableCS \
  WakeAllConditionVariable WakeConditionVariable InitializeSRWLock \
  AcquireSRWLockExclusive InitOnceExecuteOnce CreateSymbolicLinkW \
  GetFileInformationByHandleEx SetFileInformationByHandle; do
  if grep -qx "$call" <<<"$imports"; then needed=6.0; fi
done
for call in GetSystemTimePreciseAsFileTime CreateFile2; do
  if grep -qx "$call" <<<"$imports"; then needed=6.2; fi
done
declared="$(awk '/MajorSubsystemVersion/ {major = $2} /MinorSubsystemVersion/ {minor = $2}
  END {print major "." minor}' <<<"$headers")"
[[ "$declared" == "$needed" ]] ||
  fail "declares subsystem version $declared, but its imports need Windows $needed"

grep -qa 'requestedExecutionLevel level="asInvoker"' "$exe" || fail "no asInvoker manifest"

if ((status == 0)); then
  echo "ok: $(basename "$exe"): console, Windows $declared, imports" \
    "$(tr '\n' ' ' <<<"$dlls")asInvoker, $hardening," \
    "time stamp $stamp, $(stat -c %s "$exe") bytes"
fi
exit "$status"
