#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The display goes away under a playing disc: the X server dies, or another
# client destroys the window. Either way the player closes as its close
# button would close it: the disc stops, the device closes, the window's
# last place is stored, and the exit code is 0.
source "$(dirname "$0")/harness.sh"
"$MKDISC" "$E2E_TMP/disc.cue" 4500 4500 # a minute each: still playing at the end
export CDAUDIO_DEVICE=$E2E_TMP/disc.cue
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$E2E_TMP/capture.raw

captured() { stat -c %s "$SDL_DISKAUDIOFILE" 2>/dev/null || echo 0; }
grows() { # the sound is going out
  local before
  before=$(captured)
  sleep 0.2
  [ "$(captured)" -gt "$before" ]
}
still() { # and no longer
  local before
  before=$(captured)
  sleep 0.5
  [ "$(captured)" = "$before" ]
}
moved_to() { [ "$(e2e_corner "$1")" = "$2 $3" ]; }

# ---- The X server dies.
e2e_start_x 1024x768
xvfb=${E2E_PIDS[-1]}
e2e_start_wm
e2e_start "$KORVANE"
window=$(e2e_wait_player)
e2e_move_window "$window" 300 200
read -r mx my mw mh <<<"$(e2e_frame "$window")"
read -r px py pw ph <<<"$(e2e_trace control.1005.rect)"
e2e_click_control "$window" 1005
e2e_wait_trace control.1006.enabled 1
e2e_until 5 grows || e2e_fail "no sound before the server went"
kill "$xvfb"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS after the server went"
[ "$(e2e_ini x),$(e2e_ini y)" = "$mx,$my" ] ||
  e2e_fail "the window was at $mx,$my; stored $(e2e_ini x),$(e2e_ini y)"
still || e2e_fail "the sound goes on after the server went"
grep -q "lost the connection to the display" "$E2E_TMP/program.log" ||
  e2e_fail "nothing said of the lost display"
! grep -q "X I/O error" "$E2E_TMP/program.log" || e2e_fail "Xlib's own handler ran"

# ---- Another client destroys the window. Without the trace, so that only
# what the dialog manager learnt of the window's moves gives its place.
e2e_start_x 1024x768
e2e_start_wm
rm -f "$SDL_DISKAUDIOFILE"
KORVANE_TRACE= e2e_start "$KORVANE"
window=$(e2e_wait_window --name '^Korvane$')
e2e_until 5 moved_to "$window" "$mx" "$my" || e2e_fail "did not open where it was stored"
# Placed, it takes the focus: a user's move comes after that.
focused() { [ "$(xdotool getwindowfocus)" = "$window" ]; }
e2e_until 5 focused || e2e_fail "never took the focus"
e2e_move_window "$window" 420 260
read -r nx ny nw nh <<<"$(e2e_frame "$window")"
xdotool mousemove --window "$window" $((px + pw / 2)) $((py + ph / 2)) click 1
e2e_until 5 grows || e2e_fail "no sound before the window went"
"$DESTROY_WINDOW" "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS after the window went"
[ "$(e2e_ini x),$(e2e_ini y)" = "$nx,$ny" ] ||
  e2e_fail "the window was at $nx,$ny; stored $(e2e_ini x),$(e2e_ini y)"
still || e2e_fail "the sound goes on after the window went"
xwininfo -root >/dev/null || e2e_fail "the X server went too"
echo PASS
