#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The lock marks of platform/linux/cdaudio/mutex.h are checked: clang-tidy,
# with the tree's configuration, finds every misuse in
# lock_marks_misused.cpp at the line that says what it expects, and nothing
# else there.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../../.." && pwd)
file=$here/lock_marks_misused.cpp
out=$(clang-tidy --quiet "$file" -- -std=c++17 -I"$root" 2>&1)
failed=0
expected=0
while IFS=: read -r line rest; do
  expected=$((expected + 1))
  want=${rest#*expected: }
  if ! grep -qF "$file:$line:" <<<"$(grep -F "error: $want" <<<"$out")"; then
    echo "line $line: no finding \"$want\""
    failed=1
  fi
done < <(grep -n 'expected: ' "$file")
found=$(grep -c "^$file:[0-9]*:[0-9]*: error: " <<<"$out")
if [ "$found" -ne "$expected" ]; then
  echo "$found findings where $expected were expected"
  failed=1
fi
[ "$failed" -eq 0 ] || { echo "$out"; exit 1; }
echo "all $expected misuses found"
