#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The launcher's argument names the drive or image to play and wins over
# CDAUDIO_DEVICE, both ways; a command line that is not one drive or image
# is refused with a usage line and exit code 2, before any window, and
# leaves no settings file.
source "$(dirname "$0")/harness.sh"

refused() { # ARGS...: exit code 2, the usage line and nothing else
  local status=0
  "$KORVANE" "$@" >"$E2E_TMP/out" 2>"$E2E_TMP/err" || status=$?
  [ "$status" = 2 ] || e2e_fail "exit code $status for: $*"
  [ ! -s "$E2E_TMP/out" ] && [ "$(cat "$E2E_TMP/err")" = "usage: korvane [DRIVE | IMAGE]" ] ||
    e2e_fail "for '$*' the program printed: $(cat "$E2E_TMP/out" "$E2E_TMP/err")"
}

"$MKDISC" "$E2E_TMP/disc.cue" 900 675 1125
# Refused without a display: the command line is judged first.
(
  unset DISPLAY
  refused "$E2E_TMP/disc.cue" "$E2E_TMP/disc.cue"
  refused --help
  refused -
  refused ""
  refused -- "$E2E_TMP/disc.cue"
)
[ ! -e "$XDG_CONFIG_HOME/korvane.ini" ] || e2e_fail "a refused command line wrote korvane.ini"

e2e_start_x 1024x768
e2e_start_wm

# The argument plays while CDAUDIO_DEVICE names a drive that is not there;
# a relative name is found from the current folder.
cd "$E2E_TMP"
e2e_start "$KORVANE" ./disc.cue
cd - >/dev/null
window=$(e2e_wait_player)
[ "$(e2e_trace control.1000.text)" = "1 / 3" ] || e2e_fail "track counter: $(e2e_trace control.1000.text)"
[ "$(e2e_trace control.1004.text)" = "00 : 12" ] || e2e_fail "length: $(e2e_trace control.1004.text)"
e2e_click_close "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"

# And the other way round: a good CDAUDIO_DEVICE, an argument naming
# nothing there.
CDAUDIO_DEVICE=$E2E_TMP/disc.cue e2e_start "$KORVANE" "$E2E_TMP/none.cue"
e2e_wait_window --name '^Korvane Ver 1\.00$' >/dev/null
e2e_wait_trace messagebox.1.open 1
[ "$(e2e_trace messagebox.1.text)" = "デバイスが開けませんでした" ] ||
  e2e_fail "warning: $(e2e_trace messagebox.1.text)"
xdotool key Return
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
# stderr says which and why.
grep -qx "korvane: $E2E_TMP/none.cue: No such file or directory" "$E2E_TMP/program.log" ||
  e2e_fail "stderr: $(cat "$E2E_TMP/program.log")"
echo PASS
