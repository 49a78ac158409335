#!/usr/bin/env bash
# The Wine side of the Windows checks, in three steps that CTest runs as a
# fixture around the scenarios:
#   wine.sh make-prefix STATE             a fresh Wine prefix in a temporary
#                                         folder, its path kept in STATE
#   wine.sh run STATE SCENARIO BUILD_DIR  one scenario of drive-korvane.exe in
#                                         its own X server; artefacts (driver
#                                         logs, screenshots) go to
#                                         BUILD_DIR/artefacts/SCENARIO
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

  local bmp
  for bmp in "$out"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm "$bmp"
  done
  echo "artefacts: $out"
  return "$status"
}

case "${1:-}" in
  make-prefix) make_prefix "$2" ;;
  run) run_scenario "$2" "$3" "$4" ;;
  remove-prefix) remove_prefix "$2" ;;
  *) echo "usage: wine.sh make-prefix|run|remove-prefix STATE [SCENARIO BUILD_DIR]" >&2; exit 2 ;;
esac
