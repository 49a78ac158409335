#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every constant the Linux subset of the Windows API declares has
# the value the Windows headers give it: the host compiler prints the
# subset's values as static assertions, which the mingw compiler then checks
# against <windows.h>, <mmsystem.h> and <commctrl.h>.
# Usage: check_values.sh SOURCE_DIR HOST_CXX
set -euo pipefail
root=$1
host_cxx=$2
mingw_cxx=i686-w64-mingw32-g++
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Object-like macros with a numeric value; pointers and strings are left out.
names=$(grep -oE '^#define [A-Z][A-Z0-9_]+ ' "$root/platform/win32_subset.h" | awk '{print $2}' |
  grep -vxE 'WINAPI|WINAPIV|CALLBACK|APIENTRY|TRACKBAR_CLASSA|RT_[A-Z_]+')
[ -n "$names" ] || { echo "no constants found in win32_subset.h" >&2; exit 1; }

{
  echo '#include <cstdio>'
  echo '#include "platform/win32_subset.h"'
  echo 'int main() {'
  for name in $names; do
    echo "  std::printf(\"static_assert((long long)($name) == %lldLL, \\\"$name\\\");\\n\", (long long)($name));"
  done
  echo '}'
} >"$work/print.cpp"
"$host_cxx" -std=c++17 -I "$root" "$work/print.cpp" -o "$work/print"

{
  echo '#include <windows.h>'
  echo '#include <mmsystem.h>'
  echo '#include <commctrl.h>'
  "$work/print"
} >"$work/check.cpp"
if ! "$mingw_cxx" -std=c++17 -fsyntax-only "$work/check.cpp" 2>"$work/errors"; then
  grep -E 'error' "$work/errors" >&2
  exit 1
fi
echo "$(echo "$names" | wc -l) constants agree with the Windows headers"
