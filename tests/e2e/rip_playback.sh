#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The player on discs as rips leave them, heard through SDL's disk driver:
# a single-file FLAC rip and a WAV rip of a file per track (each pregap at
# the end of the file before, names in the wrong case in a CRLF sheet),
# each played from Play through auto-advance to the end, every sample as
# the disc holds it.
source "$(dirname "$0")/harness.sh"
e2e_start_x 1024x768
e2e_start_wm
export SDL_AUDIODRIVER=disk

play_through() { # NAME TRACKS: plays NAME.cue from Play to the end
  local name=$1 tracks=$2
  export CDAUDIO_DEVICE=$E2E_TMP/$name/album.cue SDL_DISKAUDIOFILE=$E2E_TMP/$name.raw
  e2e_start "$KORVANE"
  window=$(e2e_wait_player)
  e2e_wait_trace control.1000.text "1 / $tracks"
  e2e_click_control "$window" 1005
  e2e_wait_trace control.1006.enabled 1
  e2e_wait_trace control.1000.text "$tracks / $tracks"
  E2E_TIMEOUT=8 e2e_wait_trace control.1006.enabled 0
  expect_text=$(e2e_trace control.1000.text)
  [ "$expect_text" = "$tracks / $tracks" ] || e2e_fail "$name: stopped on $expect_text"
  e2e_screenshot "rip-$name-end"
  e2e_click_close "$window"
  e2e_wait_exit
  [ "$E2E_STATUS" = 0 ] || e2e_fail "$name: exit code $E2E_STATUS"
  ! grep "^korvane:" "$E2E_TMP/program.log" || e2e_fail "$name: the player complained"
  local sectors=$(($(stat -c %s "$E2E_TMP/$name/album.bin") / 2352))
  "$AUDIO_CHECK" ends-with "$SDL_DISKAUDIOFILE" "$E2E_TMP/$name/album.bin" 0 "$sectors" ||
    e2e_fail "$name: the disc did not play through whole and bit-exact"
}

# Tracks of 2, 1 and 2 seconds with pregaps of 10 sectors; each file of
# the WAV rip ends 100 samples short, made up with silence.
mkdir "$E2E_TMP/flac" "$E2E_TMP/wav"
"$MKDISC" --rip one --audio flac --pregap 10 "$E2E_TMP/flac/album.cue" 150 75 150 >/dev/null
"$MKDISC" --rip previous --audio wav --upper-names --crlf --trim 100 --pregap 10 \
  "$E2E_TMP/wav/album.cue" 150 75 150 >/dev/null
[ -f "$E2E_TMP/flac/album.flac" ] && [ -f "$E2E_TMP/wav/02 Track 02.wav" ] ||
  e2e_fail "mkdisc wrote no rip"
play_through flac 3
play_through wav 3
echo PASS
