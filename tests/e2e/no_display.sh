#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Korvane started with no display: one clear line on stderr, exit code 0,
# nothing else printed and no settings file written.
set -euo pipefail
korvane=$1
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
for display in unset ":64999"; do
  status=0
  if [ "$display" = unset ]; then
    env -u DISPLAY XDG_CONFIG_HOME="$config" "$korvane" 2>"$config/err" || status=$?
  else
    DISPLAY=$display XDG_CONFIG_HOME="$config" "$korvane" 2>"$config/err" || status=$?
  fi
  [ "$status" = 0 ] || { echo "FAIL: exit code $status with DISPLAY $display"; exit 1; }
  [ "$(wc -l <"$config/err")" = 1 ] && grep -q 'korvane: cannot open the display' "$config/err" ||
    { echo "FAIL: with DISPLAY $display, stderr was:"; cat "$config/err"; exit 1; }
  [ ! -e "$config/korvane.ini" ] || { echo "FAIL: a settings file was written"; exit 1; }
done
echo PASS
