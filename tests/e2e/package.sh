#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package as a user gets it: made by CPack from this build,
# clean for lintian, its menu entry and metadata valid, its icons the
# resource script's own images, its manual page naming the warnings the
# program shows; then, unpacked into a root of its own, the installed
# binary opens a disc image given as its argument and plays it through a
# PulseAudio server of the test's own.
source "$(dirname "$0")/harness.sh"
for tool in cpack dpkg-deb lintian desktop-file-validate appstreamcli pulseaudio pactl parec; do
  command -v "$tool" >/dev/null || e2e_fail "$tool is missing: scripts/deps package installs it"
done

cpack --config "$CPACK_CONFIG" -B "$E2E_TMP/deb" >"$E2E_TMP/cpack.log" 2>&1 || e2e_fail "cpack failed"
deb=$E2E_TMP/deb/korvane_1.00_$(dpkg --print-architecture).deb
[ -f "$deb" ] || e2e_fail "no $(basename "$deb"); made: $(ls "$E2E_TMP/deb")"
# The libraries' packages were found: the player links FLTK, SDL,
# sd-bus (for the session bus) and libdiscid, and loads libcurl for the
# title lookup, which no link shows.
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libfltk1.3* && $depends == *libsdl2-2.0-0* && $depends == *libsystemd0* &&
  $depends == *fonts-ipafont-gothic* && $depends == *libdiscid0* && $depends == *libcurl4* &&
  $depends == *ca-certificates* ]] || e2e_fail "Depends: $depends"
lintian --fail-on error "$deb" >"$E2E_TMP/lintian.log" 2>&1 || e2e_fail "lintian: $(cat "$E2E_TMP/lintian.log")"

root=$E2E_TMP/root
dpkg-deb -x "$deb" "$root"
desktop=$root/usr/share/applications/korvane.desktop
desktop-file-validate "$desktop" || e2e_fail "desktop entry"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >"$E2E_TMP/appstream.log" ||
  e2e_fail "metainfo: $(cat "$E2E_TMP/appstream.log")"
command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
korvane=$root/usr/bin/$command
[ -x "$korvane" ] || e2e_fail "the desktop entry runs '$command', which the package does not hold"
[ "$(sed -n 's/^Icon=//p' "$desktop")" = korvane ] || e2e_fail "the desktop entry's icon"

# Each PNG is, pixel for pixel, the icon's image of that size.
while read -r width frame; do
  png=$root/usr/share/icons/hicolor/${width}x${width}/apps/korvane.png
  [ -f "$png" ] || e2e_fail "no ${width}x${width} icon"
  differ=$(compare -metric AE "$png" "$ICON[$frame]" null: 2>&1) || e2e_fail "$width: $differ pixels differ"
done < <(identify -format '%w %p\n' "$ICON")

e2e_start_x 1024x768
e2e_start_wm
capture=$E2E_TMP/capture.raw
e2e_start_sound "$capture"

# The manual explains both warnings by the words the program shows.
warning() { # SOURCE: sets WARNING to the text the program shows for it
  e2e_start "$korvane" "$1"
  e2e_wait_trace messagebox.1.open 1
  WARNING=$(e2e_trace messagebox.1.text)
  xdotool key Return
  e2e_wait_exit
  [ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS after the warning"
}
echo "FILE broken" >"$E2E_TMP/broken.cue"
manual=$(MANWIDTH=200 man -l "$root/usr/share/man/man1/korvane.1.gz" 2>"$E2E_TMP/man.log")
[ ! -s "$E2E_TMP/man.log" ] || e2e_fail "man: $(cat "$E2E_TMP/man.log")"
for source in "$E2E_TMP/none.cue" "$E2E_TMP/broken.cue"; do
  warning "$source"
  [ -n "$WARNING" ] && [[ $manual == *"$WARNING"* ]] || e2e_fail "the manual does not explain '$WARNING'"
done

# Installed and given a disc image, it plays it.
"$MKDISC" "$E2E_TMP/disc.cue" 300 150
bin=$E2E_TMP/disc.bin
heard() { [ "$("$AUDIO_CHECK" count "$capture" "$bin" "$1")" -ge 1 ]; }
e2e_start "$korvane" "$E2E_TMP/disc.cue"
window=$(e2e_wait_player)
[ "$(e2e_trace control.1000.text)" = "1 / 2" ] || e2e_fail "track counter: $(e2e_trace control.1000.text)"
e2e_screenshot package-installed
e2e_click_control "$window" 1005
e2e_wait_trace control.1006.enabled 1
e2e_until 5 heard 40 || e2e_fail "sector 40 of the image never sounded"
e2e_click_close "$window"
e2e_wait_exit
[ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS"
echo PASS
