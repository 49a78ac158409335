#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The player through PipeWire as it ships, its graph at 48000 Hz, so that
# the server resamples the disc: left to play, the three tracks sound
# unbroken for as long as the disc lasts. (The disc's own samples are only
# to be had at 44100 Hz: playback.sh.)
source "$(dirname "$0")/harness.sh"
export KORVANE_SOUND_SERVER=pipewire KORVANE_SOUND_RATE=48000
e2e_start_x 1024x768
e2e_start_wm
"$MKDISC" "$E2E_TMP/disc.cue" 150 150 150  # 6 s
export CDAUDIO_DEVICE=$E2E_TMP/disc.cue
capture=$E2E_TMP/capture.raw
e2e_start_sound "$capture"

e2e_start "$KORVANE"
window=$(e2e_wait_player)
e2e_expect dialog.focus 1005
xdotool key --clearmodifiers space
e2e_wait_trace control.1000.text "3 / 3"
E2E_TIMEOUT=6 e2e_wait_trace control.1006.enabled 0
e2e_click_close "$window"
e2e_wait_exit
sleep 0.5  # what the sink played last reaches the recording

# From the first sound to the last: the disc's 6 s at 48000 Hz, within
# 10 ms, and no silence longer than 1 ms between.
read -r span longest < <("$AUDIO_CHECK" hush "$capture")
if [ "$longest" -ge 48 ]; then
  period=$(pulse_missed Korvane | head -n 1)
  [ -n "$period" ] && { [ $((longest % period)) -le 12 ] || [ $((period - longest % period)) -le 12 ]; } &&
    e2e_skip "the server's graph missed periods of $period frames; a silence of $longest"
  e2e_fail "a break of $longest frames"
fi
[ "$span" -ge 287520 ] && [ "$span" -le 288480 ] || e2e_fail "sounded $span frames, not 288000"
echo PASS
