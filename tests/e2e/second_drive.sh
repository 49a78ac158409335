#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Two simulated drives as the kernel numbers them, sr0 and sr1, with
# udev's /dev/cdrom link on the first, and the player started with no
# argument and no CDAUDIO_DEVICE. The disc in the second drive plays when
# the first is empty, and the first is never read from. With both empty,
# the first drive is the one opened, and its empty state is what the user
# is warned of.
source "$(dirname "$0")/harness.sh"
e2e_start_x 1024x768
e2e_start_wm
unset CDAUDIO_DEVICE
# Tracks of 2, 1 and 1 seconds.
"$MKDISC" "$E2E_TMP/disc.cue" 150 75 75
bin=$E2E_TMP/disc.bin
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$E2E_TMP/capture.raw
export SIMDRIVE_PATH=/dev/sr0 SIMDRIVE_LINKS=/dev/cdrom SIMDRIVE_JOURNAL=$E2E_TMP/first.log
export SIMDRIVE2_PATH=/dev/sr1 SIMDRIVE2_JOURNAL=$E2E_TMP/second.log SIMDRIVE2_FAULTS=latency=5

heard() { "$AUDIO_CHECK" count "$SDL_DISKAUDIOFILE" "$bin" "$1"; }

# ---- The first drive empty, the disc in the second ------------------------
export SIMDRIVE2_IMAGE=$E2E_TMP/disc.cue
e2e_start env LD_PRELOAD="$SIMDRIVE" "$KORVANE"
window=$(e2e_wait_player)
e2e_expect control.1000.text "1 / 3"
e2e_expect control.1004.text "00 : 02"
e2e_click_control "$window" 1005
e2e_wait_trace control.1006.enabled 1
e2e_wait_trace control.1000.text "3 / 3"
e2e_wait_trace control.1006.enabled 0
e2e_click_close "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
for sector in 0 149 150 299; do
  [ "$(heard $sector)" = 1 ] || e2e_fail "sector $sector heard $(heard $sector) times, not once"
done
grep -q 'packet READ_CD' "$E2E_TMP/second.log" || e2e_fail "the second drive was not read"
! grep -q 'packet READ_CD' "$E2E_TMP/first.log" || e2e_fail "the empty first drive was read"
! grep -q 'no disc' "$E2E_TMP/program.log" || e2e_fail "told of an empty drive: $(cat "$E2E_TMP/program.log")"

# ---- Both drives empty: the first one's state is told ---------------------
unset SIMDRIVE2_IMAGE
e2e_start env LD_PRELOAD="$SIMDRIVE" "$KORVANE"
e2e_wait_window --name '^Korvane Ver 1\.00$' >/dev/null
e2e_wait_trace messagebox.1.open 1
e2e_expect messagebox.1.text "CD オーディオファイルが入っていません"
e2e_expect dialog.visible 0
xdotool key Return
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
grep -q '^korvane: /dev/cdrom: no disc$' "$E2E_TMP/program.log" ||
  e2e_fail "the first drive was not the one opened: $(cat "$E2E_TMP/program.log")"
echo PASS
