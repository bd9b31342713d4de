#!/usr/bin/env bash
# Checks a built camera-info.exe: a console program that imports nothing but
# the system's own DLLs and embeds a manifest asking for no elevation.
# Usage: check-windows-exe.sh OBJDUMP EXE
set -euo pipefail
objdump="$1"
exe="$2"
headers="$("$objdump" -p "$exe")"
status=0

grep -q 'Subsystem.*(Windows CUI)' <<<"$headers" ||
  { echo "not a console program: $exe"; status=1; }

system_dlls='^(kernel32|msvcrt|ole32|oleaut32|user32|advapi32)\.dll$'
while read -r dll; do
  if ! grep -qiE "$system_dlls" <<<"$dll"; then
    echo "imports a DLL that Windows does not ship: $dll"
    status=1
  fi
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")

grep -qa 'requestedExecutionLevel level="asInvoker"' "$exe" ||
  { echo "no asInvoker manifest in $exe"; status=1; }

if ((status == 0)); then
  echo "ok: $(basename "$exe"): console, imports" \
    "$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr '\n' ' ')" \
    "asInvoker, $(stat -c %s "$exe") bytes"
fi
exit "$status"
