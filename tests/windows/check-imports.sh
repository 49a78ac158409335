#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks what korvane.exe asks of the system when it is loaded: a 32-bit
# GUI executable that imports only the system's own DLLs, narrow-character
# entry points only, and comctl32 among them. Without that import Windows
# never registers the trackbar class and the dialog cannot be built (Wine
# loads comctl32 by itself, so only this check sees the difference).
# Usage: check-imports.sh OBJDUMP EXE
set -euo pipefail
objdump=$1 exe=$2
headers=$("$objdump" -p "$exe")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

grep -q 'file format pei-i386$' <<<"$headers" || fail "not a PE image for i386"
grep -Eq '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)' <<<"$headers" || fail "not PE32"
grep -Eq '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)' <<<"$headers" ||
  fail "not a Windows GUI subsystem executable"

mapfile -t dlls < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr '[:lower:]' '[:upper:]')
echo "imports: ${dlls[*]}"
allowed=" KERNEL32.DLL USER32.DLL WINMM.DLL COMCTL32.DLL MSVCRT.DLL GDI32.DLL "
for dll in "${dlls[@]}"; do
  [[ $allowed == *" $dll "* ]] || fail "imports $dll, which is not a system DLL"
done
for needed in KERNEL32.DLL USER32.DLL WINMM.DLL COMCTL32.DLL; do
  [[ " ${dlls[*]} " == *" $needed "* ]] || fail "does not import $needed"
done

# Imported functions: "<vma> <hint> <name>" lines under each DLL Name.
functions=$(awk '/DLL Name:/ { dll = 1; next } dll && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print $3 }' \
  <<<"$headers")
wide=$(grep -E '[a-z0-9]W$' <<<"$functions" || true)
[ -z "$wide" ] || fail "imports wide-character entry points: $(echo $wide)"
for needed in InitCommonControls DialogBoxParamA MessageBoxA mciSendCommandA; do
  grep -qx "$needed" <<<"$functions" || fail "does not import $needed"
done

[ "$failures" -eq 0 ] || exit 1
echo "korvane.exe: PE32 i386 GUI executable, system DLLs only, comctl32 imported"
