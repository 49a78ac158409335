#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Wine side of the Windows checks, in three steps that CTest runs as a
# fixture around the scenarios:
#   wine.sh make-prefix STATE             a fresh Wine prefix in a temporary
#                                         folder, its path kept in STATE
#   wine.sh run STATE SCENARIO BUILD_DIR  one scenario of drive-korvane.exe in
#                                         its own X server; artefacts (driver
#                                         logs, screenshots) go to
#                                         BUILD_DIR/artefacts/SCENARIO
#   wine.sh wine-driver STATE BUILD_DIR SIMDRIVE HOST_TOOLS
#                                         korvane.exe on Wine's own "cdaudio"
#                                         driver over the simulated drive
#                                         (SIMDRIVE: its library, of the
#                                         executable's word size;
#                                         HOST_TOOLS: a Linux build with
#                                         mkdisc and audio_check), heard
#                                         through a private PulseAudio
#   wine.sh remove-prefix STATE
# Every wine call has a timeout; the X server and the wineserver of a step
# never outlive it. KORVANE_WINE names Wine's loader for the build under
# test: /usr/lib/wine/wine for the 32-bit executable, /usr/lib/wine/wine64
# for the 64-bit one (Debian's wine wrapper always picks the 32-bit loader
# while it is installed).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
loader=${KORVANE_WINE:-/usr/lib/wine/wine}

wine_env() { # wine_env PREFIX
  export WINEPREFIX=$1 WINELOADER=$loader WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# Runs a Wine program with a time limit, in a Japanese locale: the ANSI code
# page is then 932, without a host locale being generated.
in_wine() { # in_wine SECONDS PROGRAM [ARGUMENT...]
  local seconds=$1
  shift
  env LC_ALL=ja_JP.UTF-8 timeout "$seconds" "$loader" "$@"
}

# A Windows path for a Unix one, through Wine's Z: drive.
windows_path() { local path=${1//\//\\}; printf 'Z:%s' "$path"; }

stop_wineserver() { timeout 20 wineserver -k 2>/dev/null || true; }

remove_prefix() { # remove_prefix STATE
  local prefix
  prefix=$(cat "$1" 2>/dev/null || true)
  case "$prefix" in */korvane-wine.*) rm -rf "$prefix" ;; esac
  rm -f "$1"
}

make_prefix() {
  local state=$1 prefix
  remove_prefix "$state" # one left by an interrupted run
  "$loader" --version >/dev/null 2>&1 || { echo "$loader cannot run on this machine"; exit 1; }
  prefix=$(mktemp -d "${TMPDIR:-/tmp}/korvane-wine.XXXXXX")
  echo "$prefix" >"$state"
  wine_env "$prefix"
  trap stop_wineserver EXIT
  (unset DISPLAY && in_wine 180 wineboot -i) >/dev/null 2>&1
  cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/"
  # regedit reads UTF-16 with a byte order mark.
  { printf '\xff\xfe' && sed 's/$/\r/' "$here/prefix.reg" | iconv -f UTF-8 -t UTF-16LE; } \
    >"$prefix/prefix.reg"
  (unset DISPLAY && in_wine 60 regedit /S "$(windows_path "$prefix/prefix.reg")") >/dev/null 2>&1
  timeout 60 wineserver -w
  trap - EXIT
  echo "Wine prefix ready: $prefix"
}

# drive-korvane.exe saves BMP files; the artefacts keep them as PNG.
screenshots_to_png() { # screenshots_to_png DIR
  local bmp
  for bmp in "$1"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm "$bmp"
  done
}

# The scenario's scratch folder and X server, ended with it however it ends.
scratch= xvfb=
end_scenario() {
  stop_wineserver
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  [ -z "$scratch" ] || rm -rf "$scratch"
}

run_scenario() {
  local state=$1 scenario=$2 build=$3
  [ -s "$state" ] || { echo "no Wine prefix (run make-prefix first)"; exit 1; }
  wine_env "$(cat "$state")"
  local out=$build/artefacts/$scenario
  rm -rf "$out" && mkdir -p "$out"
  scratch=$(mktemp -d) xvfb=
  trap end_scenario EXIT

  # Xvfb picks a free display and tells it once it is ready.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.05; done
  [ -s "$scratch/display" ] || { echo "Xvfb did not start"; exit 1; }
  export DISPLAY=:$(cat "$scratch/display")

  local mode=$scenario
  if [ "$scenario" = no-drive ] && compgen -G '/dev/sr[0-9]*' >/dev/null; then
    echo "this machine has a CD drive: the stand-in driver plays the missing drive"
    mode=no-drive-stand-in
  fi
  local status=0
  in_wine 180 "$build/drive-korvane.exe" "$mode" "$(windows_path "$build/korvane.exe")" \
    "$(windows_path "$out")" 2>"$scratch/wine.err" | tr -d '\r' || status=$?
  [ "$status" -eq 0 ] || { echo "drive-korvane.exe failed (status $status)"; cat "$scratch/wine.err"; }

  # The driver's request logs against what Korvane must send.
  local expected name
  for expected in "$here/expected/$scenario"/*.log; do
    [ -e "$expected" ] || continue
    name=$(basename "$expected")
    if diff -u --label "expected $name" --label "received $name" \
      <(grep -v '^#' "$expected") <(tr -d '\r' <"$out/$name" 2>/dev/null); then
      echo "ok   requests in $name"
    else
      echo "FAIL requests in $name differ"
      status=1
    fi
  done

  screenshots_to_png "$out"
  echo "artefacts: $out"
  return "$status"
}

# What Wine's driver leaves unsounded at the end of each play: its play
# loop stops the sound buffer as the last, partly filled one of its three
# fragments of 13 sectors starts, so up to a fragment of the range's tail
# is lost. The capture itself loses nothing (a peer's play is checked
# first); anything more lost is a fault.
WINE_TAIL_SECTORS=13

# Checks audio_check's spans of the capture against a disc of two tracks,
# [0, MIDDLE) and [MIDDLE, END): each track starts at its first sample and
# ends no more than Wine's tail (the last track one sector more) short;
# nothing is heard twice, out of order or from elsewhere. With both cores
# busy Wine's DirectSound underruns inside a play (seen: one to a dozen
# breaks in track 2, korvane.exe idle meanwhile); breaks inside a track are
# reported, and more than a second of them in all fails.
check_spans() { # check_spans SPANS_FILE MIDDLE END
  awk -v middle="$2" -v end="$3" -v tail="$WINE_TAIL_SECTORS" '
    $1 == "other" { other = $2; next }
    { n++; from[n] = $1; to[n] = $2 }
    END {
      bad = other != 0 ? "sound that is not the disc" : ""
      if (n == 0 || from[1] != 0) bad = bad " track 1 does not start at its first sample"
      starts = 0; lost = 0; breaks = 0
      for (i = 1; i <= n; i++) {
        if (i > 1 && from[i] < to[i - 1]) bad = bad " a part is heard again"
        if (from[i] == middle) { starts++; last1 = to[i - 1] }
        else if (i > 1) { lost += from[i] - to[i - 1]; breaks++ }
      }
      if (starts != 1) bad = bad " track 2 does not start once at its first sample"
      if (last1 < middle - tail || last1 > middle) bad = bad " track 1 ends " middle - last1 " short"
      if (to[n] < end - tail - 1 || to[n] > end) bad = bad " track 2 ends " end - to[n] " short"
      if (lost > 75) bad = bad " " lost " sectors lost inside the tracks"
      printf "track 1 ends %.2f sectors short, track 2 %.2f; %d breaks inside them, %.2f sectors\n",
        middle - last1, end - to[n], breaks, lost
      if (bad != "") { print "wrong:" bad; exit 1 }
    }' "$1"
}

run_wine_driver() {
  local state=$1 build=$2 simdrive=$3 tools=$4
  [ -s "$state" ] || { echo "no Wine prefix (run make-prefix first)"; exit 1; }
  wine_env "$(cat "$state")"
  local out=$build/artefacts/wine-driver
  rm -rf "$out" && mkdir -p "$out"
  scratch=$(mktemp -d) xvfb=
  drive_links=("$WINEPREFIX/dosdevices/d:" "$WINEPREFIX/dosdevices/d::")
  trap 'end_scenario; rm -f "${drive_links[@]}"; pulse_stop 2>/dev/null || true' EXIT
  stop_wineserver
  # Wine and the sound server run above the machine's other work, which
  # makes Wine's DirectSound underrun less often on a busy machine.
  renice -n -10 -p $$ >/dev/null

  # Drive D: is a CD drive whose device node is the simulated drive's.
  "$tools/tools/mkdisc" "$scratch/disc.cue" 480 340 >/dev/null
  "$tools/tools/mkdisc" --data-first 300 "$scratch/data-first.cue" 300 >/dev/null
  mkdir "$scratch/mount" && : >"$scratch/sr0"
  ln -sfn "$scratch/mount" "${drive_links[0]}"
  ln -sfn "$scratch/sr0" "${drive_links[1]}"
  (unset DISPLAY && in_wine 60 reg add 'HKLM\Software\Wine\Drives' /v d: /t REG_SZ /d cdrom /f \
    /reg:64 && in_wine 60 reg add 'HKLM\Software\Wine\Drives' /v d: /t REG_SZ /d cdrom /f) \
    >/dev/null 2>&1
  stop_wineserver

  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.05; done
  [ -s "$scratch/display" ] || { echo "Xvfb did not start"; exit 1; }
  export DISPLAY=:$(cat "$scratch/display")
  PULSE_DIR=$scratch/pulse
  # shellcheck source=../e2e/pulse.sh
  source "$here/../e2e/pulse.sh"
  pulse_start

  local status=0 spans
  # The capture first, with a peer: the last 100 sectors of track 1 played
  # straight into the server must come back to their last sample, since
  # what is allowed Wine's driver is a loss at the end of a play. (pacat
  # itself drops a few milliseconds at its stream's start, none of them
  # allowed anywhere.)
  pulse_record "$scratch/peer.raw"
  sleep 0.3
  dd if="$scratch/disc.bin" bs=2352 skip=380 count=100 status=none |
    pacat --raw --format=s16le --rate=44100 --channels=2 --latency-msec=50
  sleep 0.5
  pulse_record_stop
  spans=$("$tools/tests/e2e/audio_check" spans "$scratch/peer.raw" "$scratch/disc.bin")
  if [[ "$spans" =~ ^380\.[0-9]+\ 480\.00$'\n'other\ 0$ ]]; then
    echo "ok   the capture holds a peer's (pacat's) play to its last sample: $(head -1 <<<"$spans")"
  else
    echo "FAIL the capture of a peer's play: $spans"
    status=1
  fi

  drive() { # drive SCENARIO IMAGE [FAULTS]
    # The wineserver opens the drive's node for the program and hands it
    # the descriptor, which the drive in the program then knows as its own.
    # It must open the node itself: a server the drive were preloaded into
    # (a 64-bit one, beside a 64-bit program) would hand on a descriptor of
    # the drive's making, which only that server's process knows.
    stop_wineserver
    timeout 200 wineserver -p 5
    LD_PRELOAD=$simdrive SIMDRIVE_PATH=$scratch/sr0 SIMDRIVE_IMAGE=$2 SIMDRIVE_FAULTS=${3:-} \
      SIMDRIVE_JOURNAL=$out/$1.journal \
      in_wine 180 "$build/drive-korvane.exe" "$1" "$(windows_path "$build/korvane.exe")" \
      "$(windows_path "$out")" 2>>"$scratch/wine.err" | tr -d '\r' || {
      echo "drive-korvane.exe $1 failed"
      return 1
    }
  }
  pulse_record "$out/capture.raw"
  drive wine-driver-disc "$scratch/disc.cue" || status=1
  pulse_record_stop
  "$tools/tests/e2e/audio_check" spans "$out/capture.raw" "$scratch/disc.bin" >"$out/spans"
  if spans=$(check_spans "$out/spans" 480 820); then
    echo "ok   the capture is the disc's two tracks, each from its first sample: $spans"
  else
    echo "FAIL the capture: $spans (spans: $(tr '\n' ' ' <"$out/spans"))"
    status=1
  fi
  drive wine-driver-empty "$scratch/disc.cue" disc=out || status=1
  drive wine-driver-data-first "$scratch/data-first.cue" || status=1

  screenshots_to_png "$out"
  echo "artefacts: $out"
  return "$status"
}

case "${1:-}" in
  make-prefix) make_prefix "$2" ;;
  run) run_scenario "$2" "$3" "$4" ;;
  wine-driver) run_wine_driver "$2" "$3" "$4" "$5" ;;
  remove-prefix) remove_prefix "$2" ;;
  *) echo "usage: wine.sh make-prefix|run|wine-driver|remove-prefix STATE [ARGUMENT...]" >&2; exit 2 ;;
esac
