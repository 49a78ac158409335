#!/usr/bin/env bash
# A private PulseAudio server for the tests: its own runtime folder, a
# null sink at 44100 Hz s16le stereo, and its monitor recorded with parec.
# Sourced by test scripts, or run as a command:
#   pulse.sh run COMMAND...   starts a server, runs COMMAND against it and
#                             stops the server whatever happens; COMMAND
#                             finds this script in $PULSE_SH
#   pulse.sh start | kill     (re)starts or kills the server of $PULSE_DIR
#
#   pulse_start          starts the server; exports XDG_RUNTIME_DIR and
#                        PULSE_SERVER; sets PULSE_PID
#   pulse_stop           kills the server (as a crash would: SIGKILL)
#   pulse_record FILE    records the sink's monitor into FILE as raw
#                        s16le; sets PULSE_RECORD_PID
#   pulse_record_stop    stops the recorder
#
# The server's log is $PULSE_DIR/server.log. Running as root needs no
# system mode: the server is an ordinary per-user one in its own folder.

PULSE_DIR=${PULSE_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/korvane-pulse.XXXXXX")}
mkdir -p "$PULSE_DIR"
chmod 700 "$PULSE_DIR"
PULSE_PID=
PULSE_RECORD_PID=
PULSE_SINK=korvane_out
export XDG_RUNTIME_DIR=$PULSE_DIR
export PULSE_SERVER=unix:$PULSE_DIR/native
export PULSE_COOKIE=$PULSE_DIR/cookie
unset PULSE_SINK_NAME

pulse_start() {
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit=no --use-pid-file=no \
    --log-target=stderr --log-level=info --log-meta=no --log-time=yes \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$PULSE_DIR/native" \
    -L "module-null-sink sink_name=$PULSE_SINK rate=44100 format=s16le channels=2" \
    2>>"$PULSE_DIR/server.log" &
  PULSE_PID=$!
  echo "$PULSE_PID" >"$PULSE_DIR/server.pid"
  local tries
  for ((tries = 0; tries < 200; tries++)); do
    if pactl info >/dev/null 2>&1; then
      pactl set-default-sink "$PULSE_SINK"
      return 0
    fi
    kill -0 "$PULSE_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "pulse.sh: the server did not start" >&2
  tail -n 20 "$PULSE_DIR/server.log" >&2
  return 1
}

pulse_stop() {
  # The pid file names the server now running, which may be one that
  # another shell started since (pulse.sh start), not this shell's child.
  PULSE_PID=$(cat "$PULSE_DIR/server.pid" 2>/dev/null || echo "$PULSE_PID")
  [ -n "$PULSE_PID" ] || return 0
  kill -KILL "$PULSE_PID" 2>/dev/null || true
  wait "$PULSE_PID" 2>/dev/null || true
  # Started by another shell, it is not this one's child to wait for.
  local tries
  for ((tries = 0; tries < 200; tries++)); do
    kill -0 "$PULSE_PID" 2>/dev/null || break
    sleep 0.01
  done
  PULSE_PID=
  rm -f "$PULSE_DIR/native" "$PULSE_DIR/server.pid"
}

# The recorder runs at a higher priority than the player, so that on a
# busy machine what lags is the player under test, not the instrument.
pulse_record() {
  nice -n -10 parec -d "$PULSE_SINK.monitor" --rate=44100 --format=s16le --channels=2 --raw \
    --latency-msec=10 >"$1" 2>>"$PULSE_DIR/parec.log" &
  PULSE_RECORD_PID=$!
  # The monitor of a running sink never stops: the recorder is up once
  # the first bytes are in.
  local tries
  for ((tries = 0; tries < 200; tries++)); do
    [ -s "$1" ] && return 0
    sleep 0.02
  done
  echo "pulse.sh: the recorder did not start" >&2
  return 1
}

pulse_record_stop() {
  [ -n "$PULSE_RECORD_PID" ] || return 0
  kill "$PULSE_RECORD_PID" 2>/dev/null || true
  wait "$PULSE_RECORD_PID" 2>/dev/null || true
  PULSE_RECORD_PID=
}

pulse_cleanup() {
  pulse_record_stop
  pulse_stop
  rm -rf "$PULSE_DIR"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  case "${1:-}" in
    run)
      shift
      trap pulse_cleanup EXIT
      trap 'exit 130' INT TERM
      pulse_start || exit 1
      export PULSE_DIR
      PULSE_SH=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/pulse.sh
      export PULSE_SH
      "$@"
      exit $?
      ;;
    start) pulse_start </dev/null >/dev/null ;;
    kill) pulse_stop ;;
    *) echo "usage: pulse.sh run COMMAND... | start | kill" >&2; exit 2 ;;
  esac
fi
