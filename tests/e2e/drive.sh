#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The player on the default CD drive, a simulated one at the kernel's
# interface (preloaded; no CDAUDIO_DEVICE), heard through SDL's disk
# driver: the disc plays through with a scratch that cannot be read
# (silence there, the window's seconds still ticking on time), the drive
# is asked for a quiet speed, and a disc taken out mid-play leaves a
# window that still stops and closes.
source "$(dirname "$0")/harness.sh"
e2e_start_x 1024x768
e2e_start_wm
unset CDAUDIO_DEVICE
# Tracks of 3, 3 and 2 seconds: they start at sectors 0, 225 and 450.
"$MKDISC" "$E2E_TMP/disc.cue" 225 225 150
bin=$E2E_TMP/disc.bin
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$E2E_TMP/capture.raw
export SIMDRIVE_IMAGE=$E2E_TMP/disc.cue SIMDRIVE_JOURNAL=$E2E_TMP/journal.log
export SIMDRIVE_CONTROL=$E2E_TMP/control

heard() { "$AUDIO_CHECK" count "$SDL_DISKAUDIOFILE" "$bin" "$1"; }
position() { e2e_trace control.1002.pos; }
at_least_at() { [ "$(position)" -ge "$1" ] 2>/dev/null; }

# ---- A scratch that cannot be read, in track 2 --------------------------
export SIMDRIVE_FAULTS="latency=5;scratch=300-304:always"
e2e_start env LD_PRELOAD="$SIMDRIVE" "$KORVANE"
window=$(e2e_wait_player)
e2e_expect control.1000.text "1 / 3"
e2e_click_control "$window" 1005
e2e_wait_trace control.1000.text "2 / 3"
# Sector 300 is a second into track 2: the window's seconds tick through
# it as they do on a clean disc.
e2e_until 3 at_least_at 1 || e2e_fail "track 2's seconds stalled at $(position)"
e2e_wait_trace control.1000.text "3 / 3"
E2E_TIMEOUT=6 e2e_wait_trace control.1006.enabled 0
e2e_click_close "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
for sector in 0 224 225 299 305 449 450 599; do
  [ "$(heard $sector)" = 1 ] || e2e_fail "sector $sector heard $(heard $sector) times, not once"
done
[ "$(heard 302)" = 0 ] || e2e_fail "the unreadable sector 302 sounded"
grep -q 'speed ioctl 4x' "$E2E_TMP/journal.log" || e2e_fail "the drive was not asked for 4x"
reads=$(grep -c 'packet READ_CD' "$E2E_TMP/journal.log")
failed=$(grep -c 'sense 3/11/00' "$E2E_TMP/journal.log")
echo "disc of 8 s with an unreadable scratch: $reads reads, $failed failed"
[ "$failed" -le 30 ] || e2e_fail "the scratch was retried $failed times"

# ---- The disc taken out in track 2 ----------------------------------------
rm -f "$SDL_DISKAUDIOFILE" "$E2E_TMP/journal.log"
export SIMDRIVE_FAULTS="latency=5"
e2e_start env LD_PRELOAD="$SIMDRIVE" "$KORVANE"
window=$(e2e_wait_player)
e2e_click_control "$window" 1005
e2e_wait_trace control.1006.enabled 1
echo "eject-at=300" >"$SIMDRIVE_CONTROL.new" && mv "$SIMDRIVE_CONTROL.new" "$SIMDRIVE_CONTROL"
e2e_wait_trace control.1000.text "2 / 3"
e2e_until 6 grep -q 'disc removed' "$E2E_TMP/journal.log" || e2e_fail "the disc was never taken out"
sleep 1
# The window still answers: Stop stops, Play is refused by the drive, not
# by a hang, and the close button closes.
e2e_click_control "$window" 1006
e2e_wait_trace control.1005.enabled 1
e2e_click_control "$window" 1005
e2e_wait_trace control.1006.enabled 1
e2e_click_control "$window" 1006
e2e_wait_trace control.1006.enabled 0
e2e_screenshot drive-disc-taken-out
e2e_click_close "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
[ "$(heard 299)" = 0 ] || e2e_fail "sector 299 sounded after the disc was taken out"
echo PASS
