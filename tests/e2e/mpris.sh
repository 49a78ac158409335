#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The player on a private session bus, as the desktop finds it: listed by
# playerctl, steered through it (and through plain D-Bus calls where
# playerctl would refuse by itself), its properties read back and its
# signals watched. The disc is a cue sheet written in code page 932 with
# titles for the disc and some of its tracks. Then the player without a
# session bus, and with one that goes away; a rip titled by its CD-Text
# file; a pressed disc's CD-Text in a drive.
[ -n "${MPRIS_BUS:-}" ] || MPRIS_BUS=1 exec dbus-run-session -- "$0" "$@"
source "$(dirname "$0")/harness.sh"
e2e_start_x 1024x768
e2e_start_wm
# No sound server: SDL's dummy output plays in real time and writes nothing.
export PULSE_SERVER=unix:$E2E_TMP/no-sound-server SDL_AUDIODRIVER=dummy

# Tracks of 8 s, 113 sectors (1.51 s: its length is no whole second) and
# 5 s. The sheet names the disc and its performer, a title for tracks 1
# and 3 (unquoted), and a performer of its own for track 2.
"$MKDISC" "$E2E_TMP/disc.cue" 600 113 375
iconv -f UTF-8 -t CP932 >"$E2E_TMP/disc.cue" <<'EOF'
PERFORMER "Korvane 合奏団"
TITLE "夜の音"
FILE "disc.bin" BINARY
  TRACK 01 AUDIO
    TITLE "最初の曲"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    PERFORMER "Solo"
    INDEX 01 00:08:00
  TRACK 03 AUDIO
    TITLE Last Song
    INDEX 01 00:09:38
EOF
export CDAUDIO_DEVICE=$E2E_TMP/disc.cue

name=org.mpris.MediaPlayer2.korvane
player=org.mpris.MediaPlayer2.Player
ctl() { playerctl -p korvane "$@"; }
# PROPERTY [INTERFACE]: the value as gdbus prints it: <true>, <'Stopped'>.
get() {
  gdbus call --session --dest "$name" --object-path /org/mpris/MediaPlayer2 \
    --method org.freedesktop.DBus.Properties.Get "${2:-$player}" "$1" | sed 's/^(\(.*\),)$/\1/'
}
call() { gdbus call --session --dest "$name" --object-path /org/mpris/MediaPlayer2 --method "$1"; }
expect_get() { # PROPERTY VALUE [INTERFACE]
  [ "$(get "$1" "${3:-}")" = "$2" ] || e2e_fail "$1 is $(get "$1" "${3:-}"), not $2"
}
get_is() { [ "$(get "$1")" = "$2" ]; }
wait_get() { e2e_until "$E2E_TIMEOUT" get_is "$1" "$2" || e2e_fail "$1 stayed $(get "$1"), not $2"; }
# The metadata as playerctl formats it.
tags() {
  ctl metadata --format \
    '{{xesam:trackNumber}}|{{xesam:title}}|{{xesam:album}}|{{xesam:artist}}|{{mpris:length}}|{{mpris:trackid}}'
}
expect_tags() { [ "$(tags)" = "$1" ] || e2e_fail "metadata '$(tags)', not '$1'"; }
listed() { playerctl -l 2>/dev/null | grep -qx "$1"; }
not_listed() { ! listed "$1"; }
# The signals the player sent, one line each (gdbus monitor).
signals=$E2E_TMP/signals.log
seen() { grep -qF "$1" "$signals"; }
wait_seen() { e2e_until "$E2E_TIMEOUT" seen "$1" || e2e_fail "no signal with: $1"; }

e2e_start "$KORVANE"
window=$(e2e_wait_player)
e2e_until "$E2E_TIMEOUT" listed korvane || e2e_fail "playerctl -l does not list korvane"
gdbus monitor --session --dest "$name" >"$signals" 2>&1 &
E2E_PIDS+=($!)
e2e_until "$E2E_TIMEOUT" grep -q "is owned by" "$signals" || e2e_fail "gdbus monitor did not start"

# What the player is, and what it cannot do.
root=org.mpris.MediaPlayer2
expect_get Identity "<'Korvane'>" $root
expect_get DesktopEntry "<'korvane'>" $root
[ -f "$DESKTOP_FILE" ] && [ "$(basename "$DESKTOP_FILE")" = korvane.desktop ] ||
  e2e_fail "DesktopEntry names no installed menu entry"
expect_get CanQuit "<true>" $root
expect_get CanRaise "<true>" $root
expect_get HasTrackList "<false>" $root
expect_get CanSeek "<false>"
expect_get CanControl "<true>"

# A second player beside it takes a name of its own, and leaves at Quit.
KORVANE_TRACE=$E2E_TMP/trace2 "$KORVANE" >"$E2E_TMP/second.log" 2>&1 &
second=$!
E2E_PIDS+=("$second")
e2e_until "$E2E_TIMEOUT" listed "korvane.instance$second" ||
  e2e_fail "the second player is not listed as korvane.instance$second: $(playerctl -l)"
e2e_until "$E2E_TIMEOUT" grep -qx dialog.visible=1 "$E2E_TMP/trace2" ||
  e2e_fail "the second player's window did not show"
gdbus call --session --dest "$name.instance$second" --object-path /org/mpris/MediaPlayer2 \
  --method $root.Quit >/dev/null
e2e_until "$E2E_TIMEOUT" not_listed "korvane.instance$second" || e2e_fail "the second did not quit"
wait "$second" || e2e_fail "the second player's exit code $?"
listed korvane || e2e_fail "the first player left with the second"

# Stopped on track 1, its title and the disc's from the sheet, in UTF-8;
# the length is the track's exact one.
[ "$(ctl status)" = Stopped ] || e2e_fail "status $(ctl status) at start"
expect_tags "1|最初の曲|夜の音|Korvane 合奏団|8000000|'/org/korvane/Korvane/Track/1'"
expect_get CanGoPrevious "<false>"
expect_get CanGoNext "<true>"
expect_get CanPlay "<true>"
expect_get Position "<int64 0>"

# Previous at the first track does nothing (no wrap to the last); Play
# acts as the window's Play button.
call $player.Previous >/dev/null
ctl play
e2e_wait_trace control.1006.enabled 1
e2e_expect control.1005.enabled 0
e2e_expect control.1000.text "1 / 3"
[ "$(ctl status)" = Playing ] || e2e_fail "status $(ctl status) after play"
wait_seen "{'PlaybackStatus': <'Playing'>}"

# Position counts the seconds the window counts. Play again, on the
# disabled button, neither restarts the track nor moves the position back.
counted() { [[ "$(get Position)" =~ ^\<int64\ [1-7]000000\>$ ]]; }
e2e_until "$E2E_TIMEOUT" counted || e2e_fail "Position $(get Position) after a second's play"
call $player.Play >/dev/null
counted || e2e_fail "Position $(get Position) after Play while playing"
seen Seeked && e2e_fail "a Play while playing moved the position"

# The window's own Next button: the service tells of it. Track 2 has no
# title ("Track 2") and a performer of its own.
e2e_click_control "$window" 1008
e2e_wait_trace control.1000.text "2 / 3"
wait_seen "'CanGoPrevious': <true>"
wait_seen "'xesam:title': <'Track 2'>"
expect_tags "2|Track 2|夜の音|Solo|1506666|'/org/korvane/Korvane/Track/2'"
expect_get CanGoPrevious "<true>"

# Left to play, the player moves on to the last track by itself; it goes
# on playing throughout, and says nothing of the stop and play between.
e2e_wait_trace control.1000.text "3 / 3"
wait_seen "'CanGoNext': <false>"
wait_seen "'xesam:title': <'Last Song'>"
expect_tags "3|Last Song|夜の音|Korvane 合奏団|4986666|'/org/korvane/Korvane/Track/3'"
seen "'Stopped'" && e2e_fail "the status flickered to Stopped while the player moved on"

# Next at the last track does nothing; play/pause stops, as there is no
# pause, and starts again.
call $player.Next >/dev/null
ctl play-pause
e2e_wait_trace control.1006.enabled 0
e2e_expect control.1000.text "3 / 3"
wait_seen "{'PlaybackStatus': <'Stopped'>}"
[ "$(ctl status)" = Stopped ] || e2e_fail "status $(ctl status) after play-pause"
ctl play-pause
e2e_wait_trace control.1006.enabled 1
wait_get PlaybackStatus "<'Playing'>"
# The last track played to its end stops the player, and the bus hears it.
E2E_TIMEOUT=8 e2e_wait_trace control.1006.enabled 0
wait_get PlaybackStatus "<'Stopped'>"

# Previous steps back through the buttons; Stop stops.
ctl previous
e2e_wait_trace control.1000.text "2 / 3"
ctl previous
e2e_wait_trace control.1000.text "1 / 3"
wait_get CanGoPrevious "<false>"
ctl play
e2e_wait_trace control.1006.enabled 1
ctl stop
e2e_wait_trace control.1006.enabled 0
wait_get PlaybackStatus "<'Stopped'>"

# Raise brings the window back from its icon.
xdotool windowminimize "$window"
e2e_wait_trace dialog.iconic 1
call $root.Raise >/dev/null
e2e_wait_trace dialog.iconic 0

# Quit is the close button: the window keeps its place and the player
# leaves the bus.
call $root.Quit >/dev/null
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS after Quit"
[ -n "$(e2e_ini x)" ] || e2e_fail "Quit did not store the window's place"
e2e_until "$E2E_TIMEOUT" not_listed korvane || e2e_fail "korvane still listed after Quit"

# Without a session bus the player runs as before and says nothing of it.
e2e_start env DBUS_SESSION_BUS_ADDRESS="unix:path=$E2E_TMP/no-bus" XDG_RUNTIME_DIR="$E2E_TMP" \
  "$KORVANE"
window=$(e2e_wait_player)
e2e_click_control "$window" 1005
e2e_wait_trace control.1006.enabled 1
e2e_click_close "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS without a bus"
[ ! -s "$E2E_TMP/program.log" ] || e2e_fail "without a bus: $(cat "$E2E_TMP/program.log")"

# A bus that goes away while the player runs: it plays and closes as
# before.
dbus-daemon --session --nofork --print-address=3 3>"$E2E_TMP/bus" &
bus_pid=$!
E2E_PIDS+=("$bus_pid")
e2e_until "$E2E_TIMEOUT" test -s "$E2E_TMP/bus" || e2e_fail "no second bus"
bus=$(head -n 1 "$E2E_TMP/bus")
e2e_start env DBUS_SESSION_BUS_ADDRESS="$bus" "$KORVANE"
window=$(e2e_wait_player)
DBUS_SESSION_BUS_ADDRESS=$bus e2e_until "$E2E_TIMEOUT" listed korvane ||
  e2e_fail "not listed on the second bus"
kill "$bus_pid"
wait "$bus_pid" 2>/dev/null || true
e2e_click_control "$window" 1005
e2e_wait_trace control.1006.enabled 1
e2e_click_close "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS after the bus went away"

# A rip that keeps the disc's titles only as the CD-Text packs its sheet
# names in CDTEXTFILE (the performers after the first by the tab
# indicator, as pressed discs give them): the desktop shows them, and the
# player says nothing of the file.
"$MKDISC" --cdtextfile ripped.cdt --title "Songs of Dawn" --performer "Trio Café" \
  --title "Morning" --performer "Mika" --title "Noon" --performer $'\t' "$E2E_TMP/ripped.cue" 150 75
grep -q CDTEXTFILE "$E2E_TMP/ripped.cue" && ! grep -qE 'TITLE|PERFORMER' "$E2E_TMP/ripped.cue" ||
  e2e_fail "the rip's sheet has titles of its own: $(cat "$E2E_TMP/ripped.cue")"
e2e_start env CDAUDIO_DEVICE="$E2E_TMP/ripped.cue" "$KORVANE"
window=$(e2e_wait_player)
e2e_until "$E2E_TIMEOUT" listed korvane || e2e_fail "the rip's player is not listed"
expect_tags "1|Morning|Songs of Dawn|Mika|2000000|'/org/korvane/Korvane/Track/1'"
echo "playerctl -p korvane metadata, track 1 of a rip titled by its CDTEXTFILE:"
ctl metadata
ctl next
e2e_wait_trace control.1000.text "2 / 2"
e2e_until "$E2E_TIMEOUT" test "$(tags | cut -d'|' -f1-4)" = "2|Noon|Songs of Dawn|Mika" ||
  e2e_fail "the rip's track 2 metadata '$(tags)'"
ctl metadata
call $root.Quit >/dev/null
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS on the rip"
[ ! -s "$E2E_TMP/program.log" ] || e2e_fail "on the rip: $(cat "$E2E_TMP/program.log")"

# A pressed disc in a drive (simulated, preloaded where no sanitizer
# forbids it): its CD-Text's Japanese block, read as code page 932, is
# what the desktop shows.
if [ -n "${SIMDRIVE:-}" ]; then
  "$MKDISC" --title "夜明けの歌" --performer "ミカ" --title "朝①～" \
    "$E2E_TMP/pressed.cue" 150 75
  e2e_start env -u CDAUDIO_DEVICE LD_PRELOAD="$SIMDRIVE" SIMDRIVE_IMAGE="$E2E_TMP/pressed.cue" \
    "$KORVANE"
  window=$(e2e_wait_player)
  e2e_until "$E2E_TIMEOUT" listed korvane || e2e_fail "the drive's player is not listed"
  expect_tags "1|朝①～|夜明けの歌|ミカ|2000000|'/org/korvane/Korvane/Track/1'"
  ctl next
  e2e_wait_trace control.1000.text "2 / 2"
  e2e_until "$E2E_TIMEOUT" test "$(tags | cut -d'|' -f1-4)" = "2|Track 2|夜明けの歌|ミカ" ||
    e2e_fail "track 2's metadata '$(tags)'"
  call $root.Quit >/dev/null
  e2e_wait_exit
  [ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS on the drive"
fi
