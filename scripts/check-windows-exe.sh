#!/usr/bin/env bash
# Checks a built camera-info.exe: a console program that imports nothing but
# the system's own DLLs, declares the Windows version its imports need,
# embeds a manifest asking for no elevation and carries version information.
# Usage: check-windows-exe.sh OBJDUMP EXE VERSION
#   VERSION: the program's version (CMake's project version)
set -euo pipefail
objdump="$1"
exe="$2"
version="$3"
headers="$("$objdump" -p "$exe")"
status=0
fail() { echo "$exe: $*"; status=1; }

grep -q 'Subsystem.*(Windows CUI)' <<<"$headers" || fail "not a console program"

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

# VERSIONINFO strings are UTF-16: a key, its terminator, padding, the value.
for pair in "ProductName=camera-info" "ProductVersion=$version" "FileVersion=$version" \
  "FileDescription=Lists the machine's cameras in CameraInfo.txt"; do
  python3 - "$exe" "${pair%%=*}" "${pair#*=}" <<'PY' || fail "no version information ${pair%%=*}: ${pair#*=}"
import re, sys
data = open(sys.argv[1], "rb").read()
key, value = (s.encode("utf-16-le") for s in sys.argv[2:4])
sys.exit(0 if re.search(re.escape(key) + rb"\0\0(\0\0)?" + re.escape(value) + rb"\0\0", data) else 1)
PY
done

if ((status == 0)); then
  echo "ok: $(basename "$exe"): console, Windows $declared, imports" \
    "$(tr '\n' ' ' <<<"$dlls")asInvoker, version $version, $(stat -c %s "$exe") bytes"
fi
exit "$status"
