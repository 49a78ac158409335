#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A private sound server for the tests: its own runtime folder, a null sink
# at 44100 Hz s16le stereo, and its monitor recorded with parec. The server
# is PulseAudio, or with KORVANE_SOUND_SERVER=pipewire, PipeWire with its
# PulseAudio service (pipewire, wireplumber, pipewire-pulse, on a session
# bus of their own), its graph clock held at 44100 Hz. KORVANE_SOUND_RATE
# sets another rate for the sink, the graph and the recording (48000, as
# PipeWire ships, resamples the disc).
# Sourced by test scripts, or run as a command:
#   pulse.sh run COMMAND...   starts a server, runs COMMAND against it and
#                             stops the server whatever happens; COMMAND
#                             finds this script in $PULSE_SH
#   pulse.sh start | kill     (re)starts or kills the server of $PULSE_DIR
#
#   pulse_start          starts the server; exports XDG_RUNTIME_DIR and
#                        PULSE_SERVER; sets PULSE_PID (its processes)
#   pulse_stop           kills the server (as a crash would: SIGKILL)
#   pulse_record FILE    records the sink's monitor into FILE as raw
#                        s16le; sets PULSE_RECORD_PID
#   pulse_record_stop    stops the recorder
#   pulse_missed NODE    the periods PipeWire's graph logged NODE missing
#
# The server's log is $PULSE_DIR/server.log. Running as root needs no
# system mode: the server is an ordinary per-user one in its own folder.

PULSE_DIR=${PULSE_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/korvane-pulse.XXXXXX")}
mkdir -p "$PULSE_DIR"
chmod 700 "$PULSE_DIR"
KORVANE_SOUND_SERVER=${KORVANE_SOUND_SERVER:-pulseaudio}
# How much a recorder of the monitor asks the server to buffer, in ms:
# PipeWire's service drops whole periods from a recording that asks for
# less (mpv's sound as much as ours).
PULSE_RECORD_LATENCY=10
[ "$KORVANE_SOUND_SERVER" = pipewire ] && PULSE_RECORD_LATENCY=40
export PULSE_RECORD_LATENCY
# On a desktop the server's audio threads run at real-time priority
# (through rtkit), ahead of any busy program. Where that is refused, as in
# a container, the server runs at the priority PulseAudio itself asks for
# otherwise: else a machine kept busy makes the server, not the player,
# miss its deadlines, and mpv's sound breaks there as much as ours.
PULSE_NICE="nice -n -11"
PULSE_PID=
PULSE_RECORD_PID=
PULSE_SINK=korvane_out
PULSE_RATE=${KORVANE_SOUND_RATE:-44100}
export XDG_RUNTIME_DIR=$PULSE_DIR
export PULSE_SERVER=unix:$PULSE_DIR/native
export PULSE_COOKIE=$PULSE_DIR/cookie
unset PULSE_SINK_NAME

# A null sink renders ahead by the latency its listeners ask for, and
# nothing more until that time has passed: two seconds when it starts, or
# when a listener asking for less comes after one that asked for more. A
# stream that starts meanwhile is held (mpv's as much as ours), where a
# sound card would start at once. So a listener asking for 10 ms keeps it
# running for the server's life, and the server takes its clients only
# once the monitor delivers: until then its socket has another name, so
# a player looking for its way back finds it ready.
pulse_start() {
  if [ "$KORVANE_SOUND_SERVER" = pipewire ]; then
    pipewire_start
    return
  fi
  $PULSE_NICE pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit=no --use-pid-file=no \
    --log-target=stderr --log-level=info --log-meta=no --log-time=yes \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$PULSE_DIR/starting" \
    -L "module-null-sink sink_name=$PULSE_SINK rate=$PULSE_RATE format=s16le channels=2" \
    2>>"$PULSE_DIR/server.log" &
  PULSE_PID=$!
  echo "$PULSE_PID" >"$PULSE_DIR/server.pid"
  local tries starting=unix:$PULSE_DIR/starting
  for ((tries = 0; tries < 200; tries++)); do
    if PULSE_SERVER=$starting pactl info >/dev/null 2>&1; then
      PULSE_SERVER=$starting pactl set-default-sink "$PULSE_SINK"
      PULSE_SERVER=$starting parec -d "$PULSE_SINK.monitor" --raw --latency-msec=$PULSE_RECORD_LATENCY >/dev/null 2>&1 &
      if [ "$(PULSE_SERVER=$starting timeout 10 parec -d "$PULSE_SINK.monitor" --raw \
        --latency-msec=$PULSE_RECORD_LATENCY 2>/dev/null | head -c 4 | wc -c)" -eq 4 ]; then
        mv "$PULSE_DIR/starting" "$PULSE_DIR/native"
        return 0
      fi
      break
    fi
    kill -0 "$PULSE_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "pulse.sh: the server did not start" >&2
  tail -n 20 "$PULSE_DIR/server.log" >&2
  pulse_stop
  return 1
}

# PipeWire's null sink runs on the graph's clock and holds nothing back.
# Its configuration comes from the system's files and drop-ins of ours;
# what the session manager remembers stays in the server's own folder.
pipewire_start() {
  local config=$PULSE_DIR/config
  mkdir -p "$config/pipewire/pipewire.conf.d" "$config/pipewire/pipewire-pulse.conf.d"
  printf 'context.properties = {\n  default.clock.rate = %s\n  default.clock.allowed-rates = [ %s ]\n}\n' \
    "$PULSE_RATE" "$PULSE_RATE" \
    >"$config/pipewire/pipewire.conf.d/korvane.conf"
  printf 'pulse.properties = {\n  server.address = [ "unix:%s/starting" ]\n}\n' "$PULSE_DIR" \
    >"$config/pipewire/pipewire-pulse.conf.d/korvane.conf"
  local pids=() program tries
  # The session manager and the PulseAudio service give up at once when
  # PipeWire's socket is not there yet (a killed server's stays behind).
  rm -f "$PULSE_DIR/pipewire-0" "$PULSE_DIR/pipewire-0.lock"
  # The graph's driver logs each period a client missed ("client too
  # slow!"): pulse_missed reads them.
  for program in pipewire wireplumber pipewire-pulse; do
    local debug=${PIPEWIRE_DEBUG:-2}
    [ "$program" = pipewire ] && debug=${PIPEWIRE_DEBUG:-2},pw.node:3
    PIPEWIRE_DEBUG=$debug XDG_CONFIG_HOME=$config XDG_STATE_HOME=$PULSE_DIR/state $PULSE_NICE "$program" \
      >>"$PULSE_DIR/server.log" 2>&1 &
    pids+=($!)
    PULSE_PID="${pids[*]}"
    echo "$PULSE_PID" >"$PULSE_DIR/server.pid"
    [ "$program" = pipewire ] || continue
    for ((tries = 0; tries < 200; tries++)); do
      [ -S "$PULSE_DIR/pipewire-0" ] && break
      sleep 0.05
    done
  done
  # The service answers before it can make a sink: until then it says
  # "Not supported". A request it never answers is given up on.
  # As with PulseAudio, clients find it only once its sink is the default.
  local loaded= until=$((SECONDS + 20)) starting=unix:$PULSE_DIR/starting
  while [ $SECONDS -lt $until ]; do
    if [ -z "$loaded" ]; then
      PULSE_SERVER=$starting timeout 2 pactl load-module module-null-sink sink_name=$PULSE_SINK \
        rate=$PULSE_RATE format=s16le channels=2 >/dev/null 2>&1 && loaded=1
    fi
    if [ -n "$loaded" ] &&
      PULSE_SERVER=$starting timeout 2 pactl set-default-sink "$PULSE_SINK" 2>/dev/null; then
      mv "$PULSE_DIR/starting" "$PULSE_DIR/native"
      return 0
    fi
    sleep 0.05
  done
  echo "pulse.sh: PipeWire did not start" >&2
  tail -n 20 "$PULSE_DIR/server.log" >&2
  pulse_stop
  return 1
}

# pulse_missed NODE: the periods of the PipeWire graph that NODE's stream
# in the PulseAudio service missed, as the graph's driver logged them: one
# line each, its length in frames. A machine whose processors are taken
# away from it for longer than a period (a virtual machine's steal) makes
# the graph miss one however high its priority, and the sink plays
# silence for every stream of the service there, a recorder's too.
pulse_missed() {
  sed -n "s|.*(\($1\)-[0-9]*) client too slow! rate:\([0-9]*\)/.*|\2|p" "$PULSE_DIR/server.log"
}

pulse_stop() {
  # The pid file names the server now running, which may be one that
  # another shell started since (pulse.sh start), not this shell's child.
  PULSE_PID=$(cat "$PULSE_DIR/server.pid" 2>/dev/null || echo "$PULSE_PID")
  [ -n "$PULSE_PID" ] || return 0
  local pid tries
  for pid in $PULSE_PID; do
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    # Started by another shell, it is not this one's child to wait for.
    for ((tries = 0; tries < 200; tries++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.01
    done
  done
  PULSE_PID=
  rm -f "$PULSE_DIR/native" "$PULSE_DIR/starting" "$PULSE_DIR/server.pid"
}

# The recorder runs at a higher priority than the player, so that on a
# busy machine what lags is the player under test, not the instrument.
pulse_record() {
  nice -n -10 parec -d "$PULSE_SINK.monitor" --rate=$PULSE_RATE --format=s16le --channels=2 --raw \
    --latency-msec=$PULSE_RECORD_LATENCY >"$1" 2>>"$PULSE_DIR/parec.log" &
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
      # PipeWire's session manager wants a session bus: one of its own.
      if [ "$KORVANE_SOUND_SERVER" = pipewire ] && [ -z "${KORVANE_SOUND_BUS:-}" ]; then
        KORVANE_SOUND_BUS=1 exec dbus-run-session -- bash "${BASH_SOURCE[0]}" run "$@"
      fi
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
