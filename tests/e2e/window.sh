#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window with a disc in the drive (a generated three-track image):
# where it opens, what it shows, its keys and buttons, the close button,
# closing while minimised, and five runs that leave it exactly in place.
source "$(dirname "$0")/harness.sh"
e2e_start_x 1024x768
e2e_start_wm
"$MKDISC" "$E2E_TMP/disc.cue" 900 675 1125  # 12, 9 and 15 seconds
export CDAUDIO_DEVICE=$E2E_TMP/disc.cue


# ---- First run: no settings file, so the frame's corner is at (100, 100).
e2e_start "$KORVANE"
window=$(e2e_wait_player)
read -r fx fy fw fh <<<"$(e2e_frame "$window")"
[ "$fx $fy" = "100 100" ] || e2e_fail "first run opened at $fx $fy"
read -r left top right bottom <<<"$(e2e_trace dialog.frame)"
[ "$left $top $((right - left)) $((bottom - top))" = "$fx $fy $fw $fh" ] ||
  e2e_fail "GetWindowRect says $left $top $right $bottom, the screen $fx $fy $fw $fh"
e2e_expect control.1000.text "1 / 3"
e2e_expect control.1004.text "00 : 12"
e2e_expect control.1002.range "0 12"
e2e_expect control.1002.pos 0
e2e_expect control.1005.enabled 1
e2e_expect control.1006.enabled 0
e2e_expect dialog.focus 1005
e2e_expect dialog.icon 16x16
for id in 1005 1006 1007 1008 1009; do e2e_expect "control.$id.image" 16x16; done

# Fixed size: the window manager is told minimum = maximum.
hints=$(xprop -id "$window" WM_NORMAL_HINTS)
read -r cw ch <<<"$(e2e_trace dialog.client)"
grep -q "minimum size: $cw by $ch" <<<"$hints" && grep -q "maximum size: $cw by $ch" <<<"$hints" ||
  e2e_fail "not fixed-size: $hints"
# The title bar's icon: the 16 x 16 disc, transparent outside, with its
# yellow wedges.
icon=$(xprop -notype -f _NET_WM_ICON 32x ' = $0+\n' -id "$window" _NET_WM_ICON | tr -d ' ')
[[ "$icon" == _NET_WM_ICON=0x10,0x10,* ]] || e2e_fail "no 16x16 icon: ${icon:0:60}"
[ "$(tr ',' '\n' <<<"${icon#*=}" | wc -l)" = 258 ] || e2e_fail "icon size"
grep -q ',0x0,' <<<"$icon" || e2e_fail "icon has no transparent pixels"
grep -qi ',0xffffff00,' <<<"$icon" || e2e_fail "icon has no yellow"
e2e_screenshot window

# ---- Keys. Esc is IDCANCEL, which the player ignores: the window stays,
# and the keyboard still reaches it: Space presses the focused Play.
xdotool key Escape
xdotool key space
e2e_wait_trace control.1005.enabled 0
e2e_expect control.1006.enabled 1
e2e_expect dialog.visible 1
# Play lost the focus when it was disabled; Tab finds the first tab stop
# left, skipping the disabled one, in template order.
e2e_expect dialog.focus none
for id in 1006 1007 1008 1009 1002 1006; do
  xdotool key Tab
  e2e_wait_trace dialog.focus "$id"
done

# ---- Clicks. Next while playing moves on and keeps playing; Stop stops.
e2e_click_control "$window" 1008
e2e_wait_trace control.1000.text "2 / 3"
e2e_expect control.1004.text "00 : 09"
e2e_expect control.1005.enabled 0
e2e_click_control "$window" 1006
e2e_wait_trace control.1006.enabled 0
e2e_expect control.1005.enabled 1
# A disabled button ignores a click.
e2e_click_control "$window" 1006
sleep 0.3
e2e_expect control.1005.enabled 1
e2e_expect control.1006.enabled 0
# The slider moves under the keys but tells the player nothing.
pos=$(e2e_trace control.1002.pos)
e2e_click_control "$window" 1002
xdotool key End
e2e_wait_trace control.1002.pos 9
e2e_expect control.1005.enabled 1
e2e_expect control.1000.text "2 / 3"
e2e_screenshot window-stopped

# ---- The close button closes; the frame's place is stored.
e2e_click_close "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
[ "$(e2e_ini x),$(e2e_ini y)" = "100,100" ] || e2e_fail "stored $(e2e_ini x),$(e2e_ini y)"

# ---- Closed while minimised: the restored place is stored, and the next
# run opens there, not minimised.
e2e_start "$KORVANE"
window=$(e2e_wait_player)
e2e_move_window "$window" 300 200
read -r mx my mw mh <<<"$(e2e_frame "$window")"
xdotool windowminimize "$window"
e2e_wait_trace dialog.iconic 1
"$SEND_CLOSE" "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
[ "$(e2e_ini x),$(e2e_ini y)" = "$mx,$my" ] ||
  e2e_fail "minimised at $mx,$my, stored $(e2e_ini x),$(e2e_ini y)"

# ---- Five runs without moving: the frame stays put to the pixel.
for run in 1 2 3 4 5; do
  e2e_start "$KORVANE"
  window=$(e2e_wait_player)
  e2e_expect dialog.iconic 0
  read -r fx fy fw fh <<<"$(e2e_frame "$window")"
  [ "$fx,$fy" = "$mx,$my" ] || e2e_fail "run $run opened at $fx,$fy, not $mx,$my"
  e2e_click_close "$window"
  e2e_wait_exit
  [ "$E2E_STATUS" = 0 ] || e2e_fail "run $run: exit code $E2E_STATUS"
  [ "$(e2e_ini x),$(e2e_ini y)" = "$mx,$my" ] ||
    e2e_fail "run $run stored $(e2e_ini x),$(e2e_ini y), not $mx,$my"
done
echo PASS
