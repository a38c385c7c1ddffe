#!/usr/bin/env bash
# A private PulseAudio server with null sinks, in a folder of its own, never the user's server.
#   private-pulse.sh start DIR [SINK...]   starts it (default one sink "speakers"), prints
#                                          PULSE_SERVER=... and PULSE_PID=... lines
#   private-pulse.sh stop DIR              stops it by the process id it recorded
# The first sink named is the default sink, its monitor the default source.
set -euo pipefail
cmd=${1:-}; dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop DIR [SINK...]" >&2; exit 2; }
shift 2

case "$cmd" in
start)
  command -v pulseaudio >/dev/null || { echo "private-pulse: the pulseaudio daemon is not installed" >&2; exit 1; }
  mkdir -p "$dir/runtime" "$dir/home"
  chmod 700 "$dir/runtime"
  dir=$(cd "$dir" && pwd)
  sinks=("$@"); [ "${#sinks[@]}" -gt 0 ] || sinks=(speakers)
  args=(--daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no -n
        --log-target="file:$dir/pulse.log" --log-level=notice
        "--load=module-native-protocol-unix socket=$dir/native auth-anonymous=1")
  for s in "${sinks[@]}"; do
    args+=("--load=module-null-sink sink_name=$s format=float32le rate=44100 channels=2 sink_properties=device.description=$s")
  done
  XDG_RUNTIME_DIR="$dir/runtime" HOME="$dir/home" PULSE_STATE_PATH="$dir/home" \
    setsid pulseaudio "${args[@]}" </dev/null >/dev/null 2>&1 &
  pid=$!
  echo "$pid" > "$dir/pid"
  for _ in $(seq 1 100); do
    if PULSE_SERVER="unix:$dir/native" pactl info >/dev/null 2>&1; then
      PULSE_SERVER="unix:$dir/native" pactl set-default-sink "${sinks[0]}" >/dev/null
      PULSE_SERVER="unix:$dir/native" pactl set-default-source "${sinks[0]}.monitor" >/dev/null
      echo "PULSE_SERVER=unix:$dir/native"
      echo "PULSE_PID=$pid"
      exit 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "private-pulse: the server did not come up; its log:" >&2
  cat "$dir/pulse.log" >&2 || true
  kill "$pid" 2>/dev/null || true
  exit 1
  ;;
stop)
  [ -f "$dir/pid" ] || exit 0
  pid=$(cat "$dir/pid")
  if kill "$pid" 2>/dev/null; then
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$dir/pid"
  ;;
*) echo "usage: $0 start|stop DIR [SINK...]" >&2; exit 2 ;;
esac
