#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# No drive: the first warning, in Japanese, with its caption and the
# warning sign; dismissing it ends the run with exit code 0 and stores the
# window's centred place, so the next run, with a disc, opens centred. A
# disc that does not begin with audio gets the second warning, on one line.
source "$(dirname "$0")/harness.sh"
e2e_start_x 1024x768
e2e_start_wm

e2e_start "$KORVANE"
box=$(e2e_wait_window --name '^Korvane Ver 1\.00$')
e2e_wait_trace messagebox.1.open 1
[ "$(e2e_trace messagebox.count)" = 1 ] || e2e_fail "one warning expected"
[ "$(e2e_trace messagebox.1.caption)" = "Korvane Ver 1.00" ] || e2e_fail "caption"
[ "$(e2e_trace messagebox.1.text)" = "デバイスが開けませんでした" ] || e2e_fail "text"
[ "$(e2e_trace messagebox.1.icon)" = warning ] || e2e_fail "icon"
[ "$(e2e_trace dialog.visible)" = 0 ] || e2e_fail "the window must stay hidden behind the warning"
e2e_screenshot warning

# The warning sign is drawn: the box holds its yellow.
read -r bx by bw bh <<<"$(e2e_frame "$box")"
yellow=$(convert "$E2E_SHOTS/warning.png" -crop "${bw}x${bh}+${bx}+${by}" +repage \
  -fill black +opaque '#FFFF00' -format '%[fx:int(mean*w*h*3+0.5)]' info:)
[ "$yellow" -gt 100 ] || e2e_fail "no warning sign on screen ($yellow yellow pixels)"

# The window's frame while it has never been shown is its client area,
# centred on the screen by DS_CENTER.
read -r left top right bottom <<<"$(e2e_trace dialog.frame)"
read -r cw ch <<<"$(e2e_trace dialog.client)"
[ $((right - left)) -eq "$cw" ] && [ $((bottom - top)) -eq "$ch" ] || e2e_fail "frame size"
[ "$left" -eq $(((1024 - cw) / 2)) ] && [ "$top" -eq $(((768 - ch) / 2)) ] ||
  e2e_fail "not centred: $left $top"

xdotool key Return
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
[ "$(e2e_ini x)" = "$left" ] && [ "$(e2e_ini y)" = "$top" ] ||
  e2e_fail "korvane.ini holds $(e2e_ini x),$(e2e_ini y), not $left,$top"

# Again, dismissed with a click on OK this time: the same place.
e2e_start "$KORVANE"
box=$(e2e_wait_window --name '^Korvane Ver 1\.00$')
e2e_wait_trace messagebox.1.open 1
read -r bx by bw bh <<<"$(e2e_frame "$box")"
xdotool mousemove $((bx + bw / 2)) $((by + bh - 20)) click 1
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
[ "$(e2e_ini x)" = "$left" ] && [ "$(e2e_ini y)" = "$top" ] || e2e_fail "position moved"

# With a disc the window opens there: its frame's corner at the stored place.
"$MKDISC" "$E2E_TMP/disc.cue" 900 675 1125
CDAUDIO_DEVICE=$E2E_TMP/disc.cue e2e_start "$KORVANE"
window=$(e2e_wait_player)
read -r fx fy fw fh <<<"$(e2e_frame "$window")"
[ "$fx $fy" = "$left $top" ] || e2e_fail "opened at $fx $fy, stored $left $top"
e2e_click_close "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"

# A data track first: the second warning. Its text is one line, as on
# Windows: the ink right of the sign and above the OK button is no taller
# than a line of the 12-pixel face (13 pixels); wrapped at its space, it
# would be two.
"$MKDISC" --data-first 300 "$E2E_TMP/data.cue" 225
CDAUDIO_DEVICE=$E2E_TMP/data.cue e2e_start "$KORVANE"
box=$(e2e_wait_window --name '^Korvane Ver 1\.00$')
e2e_wait_trace messagebox.1.open 1
[ "$(e2e_trace messagebox.1.text)" = "CD オーディオファイルが入っていません" ] || e2e_fail "second text"
e2e_screenshot second-warning
info=$(xwininfo -id "$box")
cx=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
cy=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
cw=$(sed -n 's/.*Width: *//p' <<<"$info")
ch=$(sed -n 's/.*Height: *//p' <<<"$info")
read -r inkw inkh <<<"$(convert "$E2E_SHOTS/second-warning.png" \
  -crop "$((cw - 52))x$((ch - 40))+$((cx + 52))+$cy" +repage -threshold 50% -trim -format '%w %h' info:)"
[ "$inkw" -gt 100 ] || e2e_fail "no text drawn (ink ${inkw}x$inkh)"
[ "$inkh" -le 13 ] || e2e_fail "the warning's text takes ${inkh} pixels of height: more than one line"
xdotool key Return
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
echo "PASS"
