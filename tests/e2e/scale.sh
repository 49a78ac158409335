#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window on a scaled desktop. At 96 dpi it keeps the size it has
# always had, to the pixel. With Xft.dpi 192 in the X resources (what the
# desktops set for 200 %) its font, its template and its slider are twice
# as large and its pictures and icon exactly twice, each of their pixels a
# square of 2 x 2; the place stored at one scale is kept at the other. A
# screen that says 192 dpi by itself scales the same; a resource that is no
# resolution is told on stderr and passed by.
source "$(dirname "$0")/harness.sh"
e2e_start_x 1280x1024
e2e_start_wm
"$MKDISC" "$E2E_TMP/disc.cue" 900 675 1125
export CDAUDIO_DEVICE=$E2E_TMP/disc.cue

# The X resources, as xrdb leaves them on the root window.
set_resources() {
  xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$1"
}

# The client area's corner on the screen, "x y".
client_corner() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    END { print x, y }'
}

# Crops the picture drawn centred on button ID out of screenshot SHOT into
# OUT; SIZE is the picture's side in pixels.
crop_picture() {
  local window=$1 id=$2 size=$3 shot=$4 out=$5 cx cy x y w h
  read -r cx cy <<<"$(client_corner "$window")"
  read -r x y w h <<<"$(e2e_trace "control.$id.rect")"
  convert "$shot" -crop "${size}x${size}+$((cx + x + (w - size) / 2))+$((cy + y + (h - size) / 2))" \
    +repage "$out"
}

# The warning of a drive that is not there, dismissed: sets box_w and
# box_h, its client size, and box_yellow, the yellow pixels of its sign.
warning_box() {
  local box bx by bw bh
  CDAUDIO_DEVICE=$E2E_TMP/no-such-drive e2e_start "$KORVANE"
  box=$(e2e_wait_window --name '^Korvane Ver 1\.00$')
  e2e_wait_trace messagebox.1.open 1
  read -r box_w box_h <<<"$(xwininfo -id "$box" |
    awk '/Width:/ { w = $NF } /Height:/ { h = $NF } END { print w, h }')"
  e2e_screenshot "warning-$1"
  read -r bx by bw bh <<<"$(e2e_frame "$box")"
  box_yellow=$(convert "$E2E_SHOTS/warning-$1.png" -crop "${bw}x${bh}+${bx}+${by}" +repage \
    -fill black +opaque '#FFFF00' -format '%[fx:int(mean*w*h*3+0.5)]' info:)
  xdotool key Return
  e2e_wait_exit
  [ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
}

# Pixels that differ between two pictures of one size.
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }

# ---- 96 dpi: the resources name none, the screen says 96 ------------------
# (The warning first: it stores the window's place too.)
warning_box 96dpi
boxw96=$box_w boxh96=$box_h yellow96=$box_yellow
e2e_start "$KORVANE"
window=$(e2e_wait_player)
e2e_expect dialog.client "145 96"
read -r fx fy fw fh <<<"$(e2e_frame "$window")"
read -r left top right bottom <<<"$(e2e_trace dialog.frame)"
[ "$((right - left)) $((bottom - top))" = "$fw $fh" ] || e2e_fail "frame $fw x $fh on the screen"
frame96="$fw $fh"
for id in 1005 1006 1007 1008 1009; do e2e_expect "control.$id.image" 16x16; done
e2e_expect dialog.icon 16x16
read -r _ _ slider96 _ <<<"$(e2e_trace control.1002.rect)"
e2e_screenshot scale-96dpi
crop_picture "$window" 1007 16 "$E2E_SHOTS/scale-96dpi.png" "$E2E_TMP/prev96.png"
crop_picture "$window" 1009 16 "$E2E_SHOTS/scale-96dpi.png" "$E2E_TMP/page96.png"
e2e_move_window "$window" 300 200
read -r mx my _ <<<"$(e2e_frame "$window")"
e2e_click_close "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
[ "$(e2e_ini x),$(e2e_ini y)" = "$mx,$my" ] || e2e_fail "stored $(e2e_ini x),$(e2e_ini y), not $mx,$my"

# Xft.dpi 96 said in so many words changes nothing either.
set_resources $'Xft.antialias:\t1\nXft.dpi:\t96\n'
e2e_start "$KORVANE"
window=$(e2e_wait_player)
e2e_expect dialog.client "145 96"
[ "$(e2e_frame "$window" | cut -d' ' -f3-)" = "$frame96" ] || e2e_fail "the frame changed at 96 dpi"
e2e_click_close "$window"
e2e_wait_exit

# ---- 192 dpi from the X resources -------------------------------------------
set_resources $'Xft.antialias:\t1\nXft.dpi:\t192\n'
e2e_start "$KORVANE"
window=$(e2e_wait_player)
read -r cw ch <<<"$(e2e_trace dialog.client)"
echo "client at 96 dpi: 145 x 96; at 192 dpi: $cw x $ch"
# The font at 24 pixels instead of 12: the dialog units, and with them the
# window, about double (a font's metrics do not grow exactly in step).
[ "$cw" -ge 275 ] && [ "$cw" -le 305 ] && [ "$ch" -ge 182 ] && [ "$ch" -le 202 ] ||
  e2e_fail "client $cw x $ch at 192 dpi, not about 290 x 192"
read -r fx fy fw fh <<<"$(e2e_frame "$window")"
[ "$fx,$fy" = "$mx,$my" ] || e2e_fail "the stored place $mx,$my became $fx,$fy"
for id in 1005 1006 1007 1008 1009; do e2e_expect "control.$id.image" 32x32; done
e2e_expect dialog.icon 32x32
icon=$(xprop -notype -f _NET_WM_ICON 32x ' = $0+\n' -id "$window" _NET_WM_ICON | tr -d ' ')
[[ "$icon" == _NET_WM_ICON=0x20,0x20,* ]] || e2e_fail "no 32x32 icon: ${icon:0:60}"
read -r _ _ slider192 _ <<<"$(e2e_trace control.1002.rect)"
[ "$slider192" -ge $((2 * slider96 - 12)) ] || e2e_fail "slider $slider192 wide, at 96 dpi $slider96"
e2e_screenshot scale-192dpi
# The window alone, as docs/korvane-window-192dpi.png shows it.
convert "$E2E_SHOTS/scale-192dpi.png" -crop "${fw}x${fh}+${fx}+${fy}" +repage \
  "$E2E_SHOTS/window-192dpi.png"
# On the screen, each picture is its 96-dpi self with every pixel doubled:
# nearest neighbour, no blur. (Not Play's, which the focus frame may touch.)
for id in 1007 1009; do
  name=$([ "$id" = 1007 ] && echo prev || echo page)
  crop_picture "$window" "$id" 32 "$E2E_SHOTS/scale-192dpi.png" "$E2E_TMP/${name}192.png"
  convert "$E2E_TMP/${name}96.png" -sample 200% "$E2E_TMP/${name}96x2.png"
  [ "$(differing "$E2E_TMP/${name}192.png" "$E2E_TMP/${name}96x2.png")" = 0 ] ||
    e2e_fail "button $id's picture at 192 dpi is not its 96-dpi pixels doubled"
done
# The scaled window plays: Play, a second counted, then Stop.
e2e_click_control "$window" 1005
e2e_wait_trace control.1006.enabled 1
e2e_wait_trace control.1002.pos 1
e2e_click_control "$window" 1006
e2e_wait_trace control.1005.enabled 1
e2e_click_close "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
[ "$(e2e_ini x),$(e2e_ini y)" = "$mx,$my" ] || e2e_fail "stored $(e2e_ini x),$(e2e_ini y) at 192 dpi"
# The warning grows with its text: box and sign about twice as wide and
# high (the sign's yellow four times as large).
warning_box 192dpi
echo "warning at 96 dpi: $boxw96 x $boxh96, $yellow96 yellow;" \
  "at 192 dpi: $box_w x $box_h, $box_yellow yellow"
[ $((box_w * 10)) -ge $((boxw96 * 18)) ] && [ $((box_w * 10)) -le $((boxw96 * 22)) ] &&
  [ $((box_h * 10)) -ge $((boxh96 * 18)) ] && [ $((box_h * 10)) -le $((boxh96 * 22)) ] ||
  e2e_fail "warning $box_w x $box_h at 192 dpi, $boxw96 x $boxh96 at 96"
[ $((box_yellow * 10)) -ge $((yellow96 * 35)) ] ||
  e2e_fail "sign of $box_yellow yellow pixels, $yellow96 at 96"

# ---- A resource that is no resolution: said once, the screen's own used ----
set_resources $'Xft.dpi:\tlarge\n'
e2e_start "$KORVANE"
window=$(e2e_wait_player)
e2e_expect dialog.client "145 96"
grep -q "Xft.dpi 'large'.*96 dpi" "$E2E_TMP/program.log" || e2e_fail "not told: $(cat "$E2E_TMP/program.log")"
e2e_click_close "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"

# ---- A screen of 192 dpi that the resources say nothing of -----------------
E2E_DPI=192 e2e_start_x 1280x1024
e2e_start_wm
e2e_start "$KORVANE"
window=$(e2e_wait_player)
[ "$(e2e_trace dialog.client)" = "$cw $ch" ] ||
  e2e_fail "client $(e2e_trace dialog.client) on a 192-dpi screen, $cw $ch from Xft.dpi"
e2e_expect control.1005.image 32x32
e2e_click_close "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
echo PASS
