#!/usr/bin/env bash
# Checks the shipped DLL as a host sees it: a 32-bit PE exporting exactly Quorsana_Plugin_PR @1
# and Quorsana_Plugin_Version @2, importing only system DLLs.
set -euo pipefail
dll=$1
dump=$(i686-w64-mingw32-objdump -p "$dll")
grep -q 'file format pei-i386' <<<"$dump" || { echo "check-dll: $dll is not a 32-bit PE" >&2; exit 1; }
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^[ \t]*\[/{print} f&&/^$/{exit}' <<<"$dump")
expected=$'\t[   0] Quorsana_Plugin_PR\n\t[   1] Quorsana_Plugin_Version'
if [ "$exports" != "$expected" ]; then
  echo "check-dll: unexpected export names:" >&2; echo "$exports" >&2; exit 1
fi
ordinals=$(awk '/^Export Address Table/{f=1;next} f&&/^[ \t]*\[/{print} f&&/^$/{exit}' <<<"$dump" | wc -l)
grep -Eq 'Ordinal Base\s+1' <<<"$dump" || { echo "check-dll: ordinal base is not 1" >&2; exit 1; }
[ "$ordinals" -eq 2 ] || { echo "check-dll: $ordinals exported addresses, expected 2" >&2; exit 1; }
allowed='^(ADVAPI32|COMCTL32|COMDLG32|GDI32|KERNEL32|USER32|SHELL32|msvcrt|ntdll)\.dll$'
imports=$(grep -E '^\s*DLL Name:' <<<"$dump" | awk '{print $3}')
bad=$(grep -Eiv "$allowed" <<<"$imports" || true)
[ -z "$bad" ] || { echo "check-dll: imports non-system DLLs: $bad" >&2; exit 1; }
# A host may call with a stack aligned to 4 bytes only: a 256-bit aligned move to or from the stack
# would fault wherever a function did not realign its frame, so the AVX2 code uses unaligned forms.
aligned=$(i686-w64-mingw32-objdump -d --no-show-raw-insn "$dll" |
  grep -E 'vmov(dqa|aps|apd)[[:space:]].*ymm' | grep -cE '\(%e[sb]p' || true)
[ "$aligned" -eq 0 ] || { echo "check-dll: $aligned aligned 256-bit stack moves" >&2; exit 1; }
echo "check-dll: $dll exports PR @1, Version @2; imports $(tr '\n' ' ' <<<"$imports")"
