#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Titles and a cover looked up for a disc that names none, from a stand-in
# for both web services on 127.0.0.1 (tools/title_standin), read back
# through playerctl on a private session bus as the desktop reads them.
#
#   lookup.sh titles   a looked-up disc: titles, artist credits, the album's
#                      artist, the cover; the cache, with the service up and
#                      down; the second disc of a two-disc release; an
#                      Enhanced CD; a disc with titles of its own, and the
#                      lookup off, never asked for
#   lookup.sh faults   a service that never answers (the window, Play and
#                      quitting go on as before), 503s retried, and answers
#                      that are bad in every way the service can make them
#
# Every player started here with the lookup on has both base URLs pointing
# at the stand-in and a cache of its own: nothing leaves this machine.
[ -n "${MPRIS_BUS:-}" ] || MPRIS_BUS=1 exec dbus-run-session -- "$0" "$@"
# The suite keeps the lookup off for every test that does not say
# otherwise (the top CMakeLists.txt): this test did not, so it must be off.
[ "${KORVANE_LOOKUP:-}" = off ] ||
  { echo "FAIL: KORVANE_LOOKUP is '${KORVANE_LOOKUP:-}', not off as the suite sets it" >&2; exit 1; }
scenario=${1:?titles or faults}
source "$(dirname "$0")/harness.sh"
e2e_start_x 1024x768
e2e_start_wm

agent='Korvane/1.00 ( https://korvane.example.org/ )'
ctl() { playerctl -p korvane "$@"; }
listed() { playerctl -l 2>/dev/null | grep -qx korvane; }
not_listed() { ! listed; }
# The metadata as playerctl formats it, one field each.
field() { ctl metadata --format "{{$1}}" 2>/dev/null; }
tags() {
  ctl metadata --format \
    '{{xesam:trackNumber}}|{{xesam:title}}|{{xesam:album}}|{{xesam:artist}}|{{xesam:albumArtist}}|{{xesam:discNumber}}' \
    2>/dev/null
}
tags_are() { [ "$(tags)" = "$1" ]; }
wait_tags() { e2e_until "$E2E_TIMEOUT" tags_are "$1" || e2e_fail "metadata '$(tags)', not '$1'"; }
expect_tags() { tags_are "$1" || e2e_fail "metadata '$(tags)', not '$1'"; }

# ---- the stand-in -----------------------------------------------------------
# standin_start NAME [FLAGS...]: serves $E2E_TMP/NAME; sets PORT and LOG
# (its requests, one a line: time, method, target, User-Agent).
standin_start() {
  local name=$1
  shift
  mkdir -p "$E2E_TMP/$name/discid" "$E2E_TMP/$name/img"
  LOG=$E2E_TMP/$name.requests
  rm -f "$E2E_TMP/$name.port"
  "$TITLE_STANDIN" --dir "$E2E_TMP/$name" --port-file "$E2E_TMP/$name.port" --log "$LOG" \
    --seconds 170 "$@" >/dev/null 2>"$E2E_TMP/standin-$name.log" &
  STANDIN_PID=$!
  E2E_PIDS+=("$STANDIN_PID")
  e2e_until "$E2E_TIMEOUT" test -s "$E2E_TMP/$name.port" || e2e_fail "the stand-in did not start"
  PORT=$(cat "$E2E_TMP/$name.port")
  touch "$LOG"
}
standin_stop() {
  kill "$STANDIN_PID"
  wait "$STANDIN_PID" 2>/dev/null || true
}
requests() { wc -l <"$LOG"; }

# lookup_start CACHE [VAR=VALUE...]: the player with the lookup on, both
# services at the stand-in on PORT, its cache in $E2E_TMP/CACHE.
lookup_start() {
  local cache=$E2E_TMP/$1
  shift
  mkdir -p "$cache"
  CACHE=$cache/korvane
  e2e_start env KORVANE_LOOKUP=on KORVANE_MUSICBRAINZ_URL="http://127.0.0.1:$PORT" \
    KORVANE_COVERART_URL="http://127.0.0.1:$PORT" XDG_CACHE_HOME="$cache" "$@" "$KORVANE"
  WINDOW=$(e2e_wait_player)
  e2e_until "$E2E_TIMEOUT" listed || e2e_fail "playerctl -l does not list korvane"
}
quit() {
  gdbus call --session --dest org.mpris.MediaPlayer2.korvane --object-path /org/mpris/MediaPlayer2 \
    --method org.mpris.MediaPlayer2.Quit >/dev/null
  e2e_wait_exit
  [ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS after Quit"
  e2e_until "$E2E_TIMEOUT" not_listed || e2e_fail "korvane still listed after Quit"
}
# The lines the player wrote on stderr (and stdout).
said() { grep -c . "$E2E_TMP/program.log" || true; }
said_something() { [ "$(said)" -ge 1 ]; }
has_art() { [ -n "$(field mpris:artUrl)" ]; }
# Whether the player has cached anything.
cached() { [ -n "$(ls -A "$CACHE" 2>/dev/null)" ]; }
# asked_times N: the stand-in has had N requests for the plain disc.
asked_times() { [ "$(grep -c "/ws/2/discid/$plain" "$LOG")" = "$1" ]; }

# ---- answers in the service's shapes ----------------------------------------
# credit NAME JOIN [NAME JOIN]...: an artist-credit array.
credit() {
  local out= n=0
  while [ $# -gt 0 ]; do
    [ -n "$out" ] && out+=,
    out+="{\"name\":\"$1\",\"joinphrase\":\"$2\",\"artist\":{\"id\":\"0000000$n-aaaa-4aaa-8aaa-00000000000$n\",\"name\":\"$1\",\"sort-name\":\"$1\",\"disambiguation\":\"\",\"type\":\"Person\",\"type-id\":\"b6e035f4-3ce9-331c-97df-83397230b0df\"}}"
    n=$((n + 1))
    shift 2
  done
  echo "[$out]"
}
# track POSITION TITLE [CREDIT]: one of a medium's tracks, with its
# recording; without CREDIT it carries no artist credit of its own.
track() {
  local own=
  [ -n "${3:-}" ] && own=",\"artist-credit\":$3"
  echo "{\"id\":\"7e4f0000-0000-4000-8000-00000000000$1\",\"number\":\"$1\",\"position\":$1,\"title\":\"$2\",\"length\":8000$own,\"recording\":{\"id\":\"5e4f0000-0000-4000-8000-00000000000$1\",\"title\":\"$2\",\"length\":8000,\"disambiguation\":\"\",\"video\":false$own}}"
}
# medium POSITION DISCID TRACK...: a CD medium holding the disc DISCID.
medium() {
  local position=$1 id=$2 tracks= count=0
  shift 2
  for t in "$@"; do
    [ -n "$tracks" ] && tracks+=,
    tracks+=$t
    count=$((count + 1))
  done
  echo "{\"position\":$position,\"title\":\"\",\"format\":\"CD\",\"format-id\":\"9712d52a-4509-3d4b-a1a2-67c88c643e31\",\"track-count\":$count,\"track-offset\":0,\"discs\":[{\"id\":\"$id\",\"offset-count\":$count,\"sectors\":1000,\"offsets\":[150]}],\"tracks\":[$tracks]}"
}
# release MBID TITLE STATUS FRONT CREDIT MEDIUM...
release() {
  local mbid=$1 title=$2 status=$3 front=$4 artists=$5 media=
  shift 5
  for m in "$@"; do
    [ -n "$media" ] && media+=,
    media+=$m
  done
  local count=0
  [ "$front" = true ] && count=1
  echo "{\"id\":\"$mbid\",\"title\":\"$title\",\"status\":\"$status\",\"status-id\":\"4e304316-386d-3409-af2e-78857eec5cfe\",\"quality\":\"normal\",\"disambiguation\":\"\",\"packaging\":null,\"packaging-id\":null,\"text-representation\":{\"language\":\"eng\",\"script\":\"Latn\"},\"date\":\"2019-05-17\",\"country\":\"XW\",\"barcode\":\"\",\"asin\":null,\"cover-art-archive\":{\"artwork\":$front,\"count\":$count,\"front\":$front,\"back\":false,\"darkened\":false},\"artist-credit\":$artists,\"media\":[$media]}"
}
# answer DIR DISCID RELEASE...: files the lookup's answer for DISCID.
answer() {
  local dir=$1 id=$2 releases=
  shift 2
  for r in "$@"; do
    [ -n "$releases" ] && releases+=,
    releases+=$r
  done
  echo "{\"id\":\"$id\",\"offset-count\":1,\"sectors\":1000,\"offsets\":[150],\"releases\":[$releases]}" \
    >"$E2E_TMP/$dir/discid/$id.json"
}
# cover DIR MBID: a small real PNG as the release's front cover.
cover() { convert -size 24x24 xc:'#c04020' "PNG24:$E2E_TMP/$1/img/$2.png"; }
is_png() { [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]; }

disc_id() { "$DISC_ID" "$@" || e2e_fail "disc_id $*"; }

# A disc of three tracks (8, 6 and 5 s) with no titles of its own.
"$MKDISC" "$E2E_TMP/plain.cue" 600 450 375
plain=$(disc_id "$E2E_TMP/plain.cue")

# ---- titles -----------------------------------------------------------------
scenario_titles() {
  # No sound server: SDL's dummy output plays in real time and writes nothing.
  export PULSE_SERVER=unix:$E2E_TMP/no-sound-server SDL_AUDIODRIVER=dummy
  standin_start svc
  # The disc's ID is known for two releases: a bootleg with other titles,
  # served first, and the official release the player should take. Its
  # credit joins two artists with " feat. "; track 2 has a credit of its
  # own ("A & B"), track 3 none, so it shows the release's.
  local official=11111111-1111-4111-8111-111111111111 bootleg=22222222-2222-4222-8222-222222222222
  local artists ana_bo
  ana_bo=$(credit "Ana Sol" " feat. " "Bo Rim" "")
  answer svc "$plain" \
    "$(release $bootleg "Harbour Lights (live)" Bootleg false "$(credit "Nobody" "")" \
      "$(medium 1 "$plain" "$(track 1 "Wrong 1")" "$(track 2 "Wrong 2")" "$(track 3 "Wrong 3")")")" \
    "$(release $official "Harbour Lights" Official true "$ana_bo" \
      "$(medium 1 "$plain" "$(track 1 "Morning Tide" "$ana_bo")" \
        "$(track 2 "Salt & Rope" "$(credit "Cara Vey" " & " "Dan Oak" "")")" \
        "$(track 3 "Last Light")")")"
  cover svc $official

  export CDAUDIO_DEVICE=$E2E_TMP/plain.cue
  lookup_start cache
  wait_tags "1|Morning Tide|Harbour Lights|Ana Sol feat. Bo Rim|Ana Sol feat. Bo Rim|"
  # The cover: a file:// URL of a PNG the player keeps in its cache.
  e2e_until "$E2E_TIMEOUT" has_art || e2e_fail "no mpris:artUrl"
  local art
  art=$(field mpris:artUrl)
  [[ "$art" == "file://$CACHE/"* ]] || e2e_fail "mpris:artUrl $art is not a file in the cache $CACHE"
  [ -f "${art#file://}" ] && is_png "${art#file://}" || e2e_fail "mpris:artUrl $art is no PNG"
  cmp -s "${art#file://}" "$E2E_TMP/svc/img/$official.png" || e2e_fail "the cover is not the release's"
  echo "--- playerctl -p korvane metadata, looked up:"
  ctl metadata
  # What was asked, and how: the disc ID with the includes, the cover of
  # the official release through its redirect, all under Korvane's name.
  grep -q " GET /ws/2/discid/$plain?inc=artist-credits+recordings&fmt=json $agent\$" "$LOG" ||
    e2e_fail "no discid request as the service documents it: $(cat "$LOG")"
  grep -q -e " GET /release/$official/front-500 $agent\$" -e " GET /release/$official/front-250 $agent\$" \
    "$LOG" ||
    e2e_fail "the official release's cover was not asked for: $(cat "$LOG")"
  grep -q " GET /img/$official.png $agent\$" "$LOG" || e2e_fail "the cover's redirect was not followed"
  grep -q "$bootleg" "$LOG" && e2e_fail "the bootleg's cover was asked for"
  [ "$(grep -c -v " $agent\$" "$LOG")" = 0 ] || e2e_fail "a request not under Korvane's name: $(cat "$LOG")"
  # Track 2's own credit, track 3 the release's.
  ctl next
  e2e_wait_trace control.1000.text "2 / 3"
  wait_tags "2|Salt & Rope|Harbour Lights|Cara Vey & Dan Oak|Ana Sol feat. Bo Rim|"
  ctl next
  wait_tags "3|Last Light|Harbour Lights|Ana Sol feat. Bo Rim|Ana Sol feat. Bo Rim|"
  quit
  [ "$(said)" = 0 ] || e2e_fail "the player said: $(cat "$E2E_TMP/program.log")"
  [ -f "$CACHE/$plain.json" ] || e2e_fail "nothing cached under $plain: $(ls "$CACHE")"
  ls "$CACHE" | grep -qv -e "^$plain\." && e2e_fail "the cache holds more: $(ls "$CACHE")"

  # A later start takes the titles and the cover from the cache at once,
  # asking nothing; then again with the service gone.
  local before
  before=$(requests)
  lookup_start cache
  wait_tags "1|Morning Tide|Harbour Lights|Ana Sol feat. Bo Rim|Ana Sol feat. Bo Rim|"
  [ "$(field mpris:artUrl)" = "$art" ] || e2e_fail "from the cache: artUrl $(field mpris:artUrl)"
  quit
  [ "$(requests)" = "$before" ] || e2e_fail "a cached disc was asked for: $(tail -n +$((before + 1)) "$LOG")"
  standin_stop
  lookup_start cache
  wait_tags "1|Morning Tide|Harbour Lights|Ana Sol feat. Bo Rim|Ana Sol feat. Bo Rim|"
  [ "$(field mpris:artUrl)" = "$art" ] || e2e_fail "service down: artUrl $(field mpris:artUrl)"
  quit
  [ "$(said)" = 0 ] || e2e_fail "from the cache the player said: $(cat "$E2E_TMP/program.log")"

  # The second disc of a two-disc release gets the second medium's tracks
  # (the first has as many, so only the disc ID tells them apart) and its
  # number; the first disc, the first medium's.
  standin_start svc
  "$MKDISC" "$E2E_TMP/one.cue" 300 300 300
  "$MKDISC" "$E2E_TMP/two.cue" 450 375 525
  local one two set=33333333-3333-4333-8333-333333333333 duo
  one=$(disc_id "$E2E_TMP/one.cue")
  two=$(disc_id "$E2E_TMP/two.cue")
  duo=$(credit "Eve Lund" "")
  local both
  both=$(release $set "Two Rivers" Official false "$duo" \
    "$(medium 1 "$one" "$(track 1 "North 1")" "$(track 2 "North 2")" "$(track 3 "North 3")")" \
    "$(medium 2 "$two" "$(track 1 "South 1")" "$(track 2 "South 2")" "$(track 3 "South 3")")")
  answer svc "$one" "$both"
  answer svc "$two" "$both"
  export CDAUDIO_DEVICE=$E2E_TMP/two.cue
  lookup_start cache
  wait_tags "1|South 1|Two Rivers|Eve Lund|Eve Lund|2"
  ctl next
  wait_tags "2|South 2|Two Rivers|Eve Lund|Eve Lund|2"
  [ -z "$(field mpris:artUrl)" ] || e2e_fail "a release without a cover has art $(field mpris:artUrl)"
  quit
  grep -q "/release/$set/" "$LOG" && e2e_fail "a cover was asked of a release that has none"
  export CDAUDIO_DEVICE=$E2E_TMP/one.cue
  lookup_start cache
  wait_tags "1|North 1|Two Rivers|Eve Lund|Eve Lund|1"
  quit

  # An Enhanced CD is known by its audio session: the answer filed under
  # the ID of all its tracks (its data track taken for audio, the disc's
  # own lead-out) is another disc's.
  "$MKDISC" --data-session 300 "$E2E_TMP/enhanced.cue" 600 450
  local enhanced whole
  enhanced=$(disc_id "$E2E_TMP/enhanced.cue")
  whole=$(disc_id --whole "$E2E_TMP/enhanced.cue")
  [ "$enhanced" != "$whole" ] || e2e_fail "disc_id: the Enhanced CD's two IDs are one"
  answer svc "$enhanced" "$(release 44444444-4444-4444-8444-444444444444 "Extra" Official false \
    "$(credit "Fay Mo" "")" "$(medium 1 "$enhanced" "$(track 1 "Audio One")" "$(track 2 "Audio Two")")")"
  answer svc "$whole" "$(release 55555555-5555-4555-8555-555555555555 "Wrong Session" Official false \
    "$(credit "Nobody" "")" "$(medium 1 "$whole" "$(track 1 "Data 1")" "$(track 2 "Data 2")" \
      "$(track 3 "Data 3")")")"
  export CDAUDIO_DEVICE=$E2E_TMP/enhanced.cue
  lookup_start cache
  wait_tags "1|Audio One|Extra|Fay Mo|Fay Mo|"
  quit
  grep -q "/ws/2/discid/$enhanced?" "$LOG" || e2e_fail "the Enhanced CD was not asked for by $enhanced"

  # A disc with titles of its own (its sheet's) keeps them and is never
  # looked up, though the service knows its ID.
  "$MKDISC" --title "Own Album" --performer "Own Band" --title "Own One" \
    "$E2E_TMP/titled.cue" 600 450 375
  local titled
  titled=$(disc_id "$E2E_TMP/titled.cue")
  [ "$titled" = "$plain" ] || e2e_fail "disc_id: the titled disc is not the plain one's twin"
  before=$(requests)
  export CDAUDIO_DEVICE=$E2E_TMP/titled.cue
  lookup_start titled-cache
  own() { [ "$(tags | cut -d'|' -f1-4)" = "1|Own One|Own Album|Own Band" ]; }
  e2e_until "$E2E_TIMEOUT" own || e2e_fail "the titled disc shows '$(tags)'"
  ctl play
  e2e_wait_trace control.1006.enabled 1
  sleep 1.5
  own || e2e_fail "the titled disc's titles turned into '$(tags)'"
  quit
  [ "$(requests)" = "$before" ] || e2e_fail "a titled disc was looked up: $(tail -n +$((before + 1)) "$LOG")"

  # The lookup off, as the suite leaves it for this test: nothing is asked
  # though both services are named, and the disc stays "Track N".
  export CDAUDIO_DEVICE=$E2E_TMP/plain.cue
  e2e_start env KORVANE_MUSICBRAINZ_URL="http://127.0.0.1:$PORT" \
    KORVANE_COVERART_URL="http://127.0.0.1:$PORT" XDG_CACHE_HOME="$E2E_TMP/off-cache" "$KORVANE"
  e2e_wait_player >/dev/null
  e2e_until "$E2E_TIMEOUT" listed || e2e_fail "playerctl -l does not list korvane"
  ctl play
  e2e_wait_trace control.1006.enabled 1
  sleep 1.5
  expect_tags "1|Track 1||||"
  quit
  [ "$(requests)" = "$before" ] || e2e_fail "the lookup off asked: $(tail -n +$((before + 1)) "$LOG")"
  [ "$(said)" = 0 ] || e2e_fail "the lookup off said: $(cat "$E2E_TMP/program.log")"
}

# ---- faults -----------------------------------------------------------------
scenario_faults() {
  # Sound through a server of the test's own: Play must be heard.
  local capture=$E2E_TMP/capture.raw
  e2e_start_sound "$capture"
  # heard SECTORS: at least that many of the disc's sectors have sounded.
  heard() {
    "$AUDIO_CHECK" runs "$capture" "$E2E_TMP/plain.bin" |
      awk -v want="$1" '{ exit !($3 >= want) }'
  }
  export CDAUDIO_DEVICE=$E2E_TMP/plain.cue
  local mbid=66666666-6666-4666-8666-666666666666
  local good
  good=$(release $mbid "Fine Album" Official true "$(credit "Gil Ray" "")" \
    "$(medium 1 "$plain" "$(track 1 "Fine 1")" "$(track 2 "Fine 2")" "$(track 3 "Fine 3")")")

  # A service that accepts and never answers: the window shows, Play is
  # heard, and Quit and the close button end the player at once while the
  # request is still held open.
  standin_start hang --fault hang
  answer hang "$plain" "$good"
  lookup_start hang-cache
  e2e_until "$E2E_TIMEOUT" grep -q "/ws/2/discid/$plain" "$LOG" || e2e_fail "the lookup asked nothing"
  ctl play
  e2e_wait_trace control.1006.enabled 1
  [ "$(ctl status)" = Playing ] || e2e_fail "status $(ctl status) after Play"
  # A second of the disc, heard.
  e2e_until "$E2E_TIMEOUT" heard 75 || e2e_fail "Play was not heard while the lookup waited"
  expect_tags "1|Track 1||||"
  # Waiting for the request would take the 20 s of its deadline.
  E2E_TIMEOUT=5 quit
  lookup_start hang-cache
  e2e_until "$E2E_TIMEOUT" asked_times 2 ||
    e2e_fail "the second start asked nothing"
  e2e_click_control "$WINDOW" 1005
  e2e_wait_trace control.1006.enabled 1
  e2e_click_close "$WINDOW"
  E2E_TIMEOUT=5 e2e_wait_exit
  [ "$E2E_STATUS" = 0 ] || e2e_fail "exit code $E2E_STATUS after the close button"
  [ -z "$(ls -A "$CACHE" 2>/dev/null)" ] || e2e_fail "a lookup with no answer cached $(ls "$CACHE")"
  standin_stop

  # A disc the service does not know (404) is remembered as such: a later
  # start does not ask again.
  standin_start unknown
  lookup_start unknown-cache
  e2e_until "$E2E_TIMEOUT" grep -q "/ws/2/discid/$plain" "$LOG" || e2e_fail "the lookup asked nothing"
  e2e_until "$E2E_TIMEOUT" cached || e2e_fail "not found, not kept"
  expect_tags "1|Track 1||||"
  quit
  lookup_start unknown-cache
  ctl play
  e2e_wait_trace control.1006.enabled 1
  sleep 1.5
  expect_tags "1|Track 1||||"
  quit
  [ "$(requests)" = 1 ] || e2e_fail "an unknown disc was asked for again: $(cat "$LOG")"
  standin_stop

  # 503s, each asking to come back in a second: asked again after it, no
  # faster than once a second, and the titles arrive.
  standin_start busy --fault 503:2
  answer busy "$plain" "$good"
  cover busy $mbid
  lookup_start busy-cache
  E2E_TIMEOUT=15 wait_tags "1|Fine 1|Fine Album|Gil Ray|Gil Ray|"
  quit
  [ "$(grep -c "/ws/2/discid/$plain" "$LOG")" = 3 ] || e2e_fail "not three requests: $(cat "$LOG")"
  grep "/ws/2/" "$LOG" | awk '{ if (NR > 1 && $1 - last < 0.98) bad = 1; last = $1 } END { exit bad }' ||
    e2e_fail "the service was asked more than once a second: $(cat "$LOG")"
  standin_stop
  # A service that stays busy is asked three times more, then given up:
  # one line, nothing cached.
  standin_start busier --fault 503:9
  answer busier "$plain" "$good"
  lookup_start busier-cache
  e2e_until 15 said_something || e2e_fail "503s: the player said nothing"
  sleep 1.5
  quit
  [ "$(grep -c "/ws/2/discid/$plain" "$LOG")" = 4 ] || e2e_fail "not asked four times: $(cat "$LOG")"
  [ "$(said)" = 1 ] || e2e_fail "503s: not one line: $(cat "$E2E_TMP/program.log")"
  ! cached || e2e_fail "503s: cached $(ls "$CACHE")"
  standin_stop

  # Bad answers, of the title service (its fault on the left) or of the
  # cover service (on the right, the titles themselves fine): the disc
  # keeps "Track N" and no cover, the player says so in one line, caches
  # nothing, and plays on.
  local fault flag
  for fault in garbage truncate oversize reset loop wrongtypes \
    cover-notpicture cover-oversize cover-loop cover-reset; do
    flag=--fault
    [[ $fault == cover-* ]] && flag=--cover-fault
    standin_start "bad-$fault" "$flag" "${fault#cover-}"
    if [ $fault = wrongtypes ]; then
      # Fields of the wrong type where the titles are: a number for a
      # title, an object for the media, a string for a position.
      answer "bad-$fault" "$plain" "$(release $mbid 42 Official true "{\"name\":7}" \
        "{\"position\":\"1\",\"discs\":{\"id\":\"$plain\"},\"tracks\":[{\"title\":[1]}]}")"
    else
      answer "bad-$fault" "$plain" "$good"
    fi
    cover "bad-$fault" $mbid
    lookup_start "bad-$fault-cache"
    e2e_until "$E2E_TIMEOUT" said_something || e2e_fail "$fault: the player said nothing"
    ctl play
    e2e_wait_trace control.1006.enabled 1
    expect_tags "1|Track 1||||"
    [ -z "$(field mpris:artUrl)" ] || e2e_fail "$fault: art $(field mpris:artUrl)"
    quit
    [ "$(said)" = 1 ] || e2e_fail "$fault: not one line: $(cat "$E2E_TMP/program.log")"
    grep -q '^korvane: ' "$E2E_TMP/program.log" || e2e_fail "$fault: $(cat "$E2E_TMP/program.log")"
    ! cached || e2e_fail "$fault: cached $(ls "$CACHE")"
    # Asked once (a redirect loop: followed a few times, then given up).
    if [[ $fault == *loop ]]; then
      [ "$(wc -l <"$LOG")" -le 8 ] || e2e_fail "a redirect loop was followed $(wc -l <"$LOG") times"
    else
      [ "$(grep -c "/ws/2/discid/" "$LOG")" = 1 ] ||
        e2e_fail "$fault: the titles were asked for more than once: $(cat "$LOG")"
    fi
    standin_stop
  done
}

case $scenario in
  titles) scenario_titles ;;
  faults) scenario_faults ;;
  *) e2e_fail "no scenario $scenario" ;;
esac
