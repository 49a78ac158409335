# SPDX-License-Identifier: GPL-3.0-or-later
# The end-to-end harness, sourced by the test scripts: an X server and a
# window manager of the test's own, the program under test with its state
# trace, clicks and keys, screenshots, and a teardown that leaves nothing
# running whatever way the script ends.
#
#   e2e_start_x [WxH]        Xvfb on a free display (-displayfd), at 96 dpi
#                            (E2E_DPI for another); sets DISPLAY
#   e2e_start_wm             twm with the tests' configuration
#   e2e_start CMD...         runs CMD in the background with the trace on;
#                            sets E2E_PID
#   e2e_wait_exit            waits for it; sets E2E_STATUS
#   e2e_trace KEY            a value from the trace ("" if absent)
#   e2e_wait_trace KEY VAL   waits until the trace says KEY=VAL
#   e2e_wait_window ARGS     waits for a visible window (xdotool search ARGS)
#   e2e_frame WINDOW         the outer frame "x y w h" of a top-level window
#   e2e_move_window WIN X Y  moves it; waits until its frame has left its place
#   e2e_screenshot NAME      saves the screen as $E2E_SHOTS/NAME.png
#   e2e_start_sound CAPTURE  a PulseAudio server of the test's own
#                            (pulse.sh), its sink's monitor recorded into
#                            CAPTURE
#   e2e_fail MESSAGE         fails the test
#   e2e_skip MESSAGE         gives the test up as unable to judge
#
# Every test gets its own XDG_CONFIG_HOME (where korvane.ini goes) under
# E2E_TMP, and CDAUDIO_DEVICE naming a drive that does not exist.
set -euo pipefail

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/korvane-e2e.XXXXXX")
E2E_SHOTS=${E2E_SHOTS:-$E2E_TMP/shots}
E2E_TIMEOUT=${E2E_TIMEOUT:-10}
E2E_PIDS=()
E2E_PID=
E2E_STATUS=
mkdir -p "$E2E_SHOTS" "$E2E_TMP/config"
export XDG_CONFIG_HOME=$E2E_TMP/config
export CDAUDIO_DEVICE=$E2E_TMP/no-such-drive
export KORVANE_TRACE=$E2E_TMP/trace
export LC_ALL=C.UTF-8

e2e_teardown() {
  local status=$? i
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
    kill "${E2E_PIDS[i]}" 2>/dev/null || true
    wait "${E2E_PIDS[i]}" 2>/dev/null || true
  done
  if [ "$status" -ne 0 ]; then
    for log in "$E2E_TMP"/*.log "$E2E_TMP"/pulse/*.log; do
      [ -s "$log" ] && { echo "--- $log"; tail -n 20 "$log"; }
    done
    [ -f "$KORVANE_TRACE" ] && { echo "--- trace"; cat "$KORVANE_TRACE"; }
    # E2E_KEEP=1 keeps a failed test's files (captures, logs) to look at;
    [ "${E2E_KEEP:-}" = 1 ] && { echo "kept: $E2E_TMP"; exit "$status"; }
  fi
  # E2E_KEEP=all keeps them whatever the outcome.
  [ "${E2E_KEEP:-}" = all ] && { echo "kept: $E2E_TMP"; exit "$status"; }
  rm -rf "$E2E_TMP"
  exit "$status"
}
trap e2e_teardown EXIT
trap 'exit 130' INT TERM

e2e_fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# e2e_skip MESSAGE: the test cannot judge the player here (CTest counts it
# skipped, by SKIP_RETURN_CODE).
e2e_skip() {
  echo "SKIP: $*" >&2
  exit 77
}

# e2e_until SECONDS COMMAND...: retries COMMAND until it succeeds.
e2e_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

e2e_start_x() {
  local size=${1:-1024x768}
  # The server's child truncates the file only once it runs: a second
  # server must not find the first one's number there.
  rm -f "$E2E_TMP/display"
  # -noreset: a server started beside it may probe this one's socket while
  # looking for a free display, and the server would reset when that probe
  # leaves, refusing the connections that arrive meanwhile.
  # -dpi: the screen's own resolution, which the player lays its window
  # out at when the X resources name none; Xvfb would say 100 by itself,
  # where a desktop's screen says 96.
  Xvfb -displayfd 3 -screen 0 "${size}x24" -dpi "${E2E_DPI:-96}" -nolisten tcp -noreset \
    -fp "built-ins,$E2E_DIR/x-fonts" \
    3>"$E2E_TMP/display" 2>"$E2E_TMP/xvfb.log" &
  E2E_PIDS+=($!)
  e2e_until "$E2E_TIMEOUT" test -s "$E2E_TMP/display" || e2e_fail "Xvfb did not start"
  export DISPLAY=:$(head -n 1 "$E2E_TMP/display")
}

# twm is ready once it has made its own windows on the root.
e2e_start_wm() {
  LC_ALL=C twm -f "$E2E_DIR/twmrc" 2>"$E2E_TMP/twm.log" &
  E2E_PIDS+=($!)
  e2e_until "$E2E_TIMEOUT" e2e_has_root_children || e2e_fail "twm did not start"
}

e2e_has_root_children() { xwininfo -root -children | grep -q '^ *0x'; }

e2e_start() {
  rm -f "$KORVANE_TRACE"
  "$@" >"$E2E_TMP/program.log" 2>&1 &
  E2E_PID=$!
  E2E_PIDS+=("$E2E_PID")
}

e2e_wait_exit() {
  E2E_STATUS=0
  local deadline=$((SECONDS + E2E_TIMEOUT))
  while kill -0 "$E2E_PID" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || e2e_fail "the program did not exit"
    sleep 0.05
  done
  wait "$E2E_PID" || E2E_STATUS=$?
}

e2e_trace() {
  [ -f "$KORVANE_TRACE" ] || return 0
  sed -n "s/^$1=//p" "$KORVANE_TRACE"
}

e2e_trace_is() { [ "$(e2e_trace "$1")" = "$2" ]; }

e2e_wait_trace() {
  e2e_until "$E2E_TIMEOUT" e2e_trace_is "$1" "$2" ||
    e2e_fail "trace: expected $1=$2, have $1=$(e2e_trace "$1")"
}

# KEY VALUE: the trace says so now.
e2e_expect() {
  [ "$(e2e_trace "$1")" = "$2" ] || e2e_fail "expected $1=$2, have '$(e2e_trace "$1")'"
}

# Prints the first visible window that `xdotool search` finds.
e2e_wait_window() {
  E2E_SEARCH=("$@")
  e2e_until "$E2E_TIMEOUT" e2e_search_once || e2e_fail "no window for: $*"
  echo "$E2E_FOUND"
}

e2e_search_once() {
  E2E_FOUND=$(xdotool search --onlyvisible "${E2E_SEARCH[@]}" 2>/dev/null | head -n 1)
  [ -n "$E2E_FOUND" ]
}

# The root's child that holds WINDOW, as "x y w h", border included
# (xwininfo's absolute corner is already the border's).
e2e_frame() {
  local window=$1 parent
  while parent=$(xwininfo -id "$window" -tree | sed -n 's/^ *Parent window id: \(0x[0-9a-f]*\).*/\1/p') &&
    ! xwininfo -id "$parent" | grep -q '(the root window)'; do
    window=$parent
  done
  xwininfo -id "$window" | awk '
    /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /Width:/ { w = $NF } /Height:/ { h = $NF } /Border width:/ { b = $NF }
    END { print x, y, w + 2 * b, h + 2 * b }'
}

# The frame's corner, "x y".
e2e_corner() { e2e_frame "$1" | cut -d' ' -f1-2; }

e2e_corner_is_not() { [ "$(e2e_corner "$1")" != "$2" ]; }

e2e_move_window() {
  local window=$1 from
  from=$(e2e_corner "$window")
  xdotool windowmove "$window" "$2" "$3"
  e2e_until 5 e2e_corner_is_not "$window" "$from" || e2e_fail "the window did not move"
}

e2e_screenshot() {
  import -window root "$E2E_SHOTS/$1.png"
}

e2e_start_sound() {
  PULSE_DIR=$E2E_TMP/pulse
  source "$E2E_DIR/pulse.sh"
  pulse_start || e2e_fail "no sound server"
  E2E_PIDS+=($PULSE_PID)  # PipeWire runs as three processes
  pulse_record "$1" || e2e_fail "no recorder"
  E2E_PIDS+=("$PULSE_RECORD_PID")
}

# ---- Korvane's window ------------------------------------------------------
# KORVANE names the binary under test.

# A key of korvane.ini, as the player stored it.
e2e_ini() {
  sed -n "s/^$1=//p" "$XDG_CONFIG_HOME/korvane.ini" 2>/dev/null | tr -d '\r'
}

# Waits for the player's window and prints its id.
e2e_wait_player() {
  e2e_wait_trace dialog.visible 1
  e2e_wait_window --name '^Korvane$'
}

# Clicks the middle of a control, by its identifier.
e2e_click_control() {
  local window=$1 id=$2 x y w h
  read -r x y w h <<<"$(e2e_trace "control.$id.rect")"
  xdotool mousemove --window "$window" $((x + w / 2)) $((y + h / 2)) click 1
}

# Clicks the close button that the tests' twm puts at the right end of the
# title bar.
e2e_click_close() {
  local window=$1 fx fy fw fh cy title
  read -r fx fy fw fh <<<"$(e2e_frame "$window")"
  cy=$(xwininfo -id "$window" | sed -n 's/.*Absolute upper-left Y: *//p')
  title=$((cy - fy - 2))
  xdotool mousemove $((fx + fw - 2 - title / 2)) $((fy + 2 + title / 2)) click 1
}
