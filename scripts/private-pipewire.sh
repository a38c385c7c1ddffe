#!/usr/bin/env bash
# A private PipeWire server (pipewire, wireplumber, pipewire-pulse on a session bus of its own)
# with null sinks, in a folder of its own, never the user's server.
#   private-pipewire.sh start DIR [--rate HZ] [SINK...]
#                          starts it (default one sink "speakers"), prints PULSE_SERVER=...
#                          and PULSE_PID=... lines
#   private-pipewire.sh stop DIR              stops every process it started
# The first sink named is the default sink, its monitor the default source. The graph runs at
# 44 100 Hz, so 44.1 kHz streams are not resampled; --rate HZ runs it at HZ alone (48000: the
# desktops' usual rate, where the program's streams are resampled) and its sinks with it.
set -euo pipefail
cmd=${1:-}; dir=${2:-}
usage="usage: $0 start|stop DIR [--rate HZ] [SINK...]"
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "$usage" >&2; exit 2; }
shift 2
rate=44100; allowed="44100 48000"
if [ "${1:-}" = --rate ]; then
  [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "$usage" >&2; exit 2; }
  rate=$2; allowed=$2
  shift 2
fi

. "$(dirname "$0")/stop-pids.sh"

case "$cmd" in
start)
  for tool in pipewire wireplumber pipewire-pulse dbus-daemon pactl; do
    command -v "$tool" >/dev/null || { echo "private-pipewire: $tool is not installed" >&2; exit 1; }
  done
  mkdir -p "$dir/runtime" "$dir/home" "$dir/config/pipewire/pipewire.conf.d" \
           "$dir/config/pipewire/pipewire-pulse.conf.d" "$dir/state"
  chmod 700 "$dir/runtime"
  dir=$(cd "$dir" && pwd)
  sinks=("$@"); [ "${#sinks[@]}" -gt 0 ] || sinks=(speakers)
  cat > "$dir/config/pipewire/pipewire.conf.d/tonvera-rate.conf" <<EOF
context.properties = {
    default.clock.rate = $rate
    default.clock.allowed-rates = [ $allowed ]
}
EOF
  cat > "$dir/config/pipewire/pipewire-pulse.conf.d/tonvera-socket.conf" <<EOF
pulse.properties = {
    server.address = [ "unix:$dir/native" ]
}
EOF
  : > "$dir/pids"
  export XDG_RUNTIME_DIR="$dir/runtime" PIPEWIRE_RUNTIME_DIR="$dir/runtime" \
         PULSE_RUNTIME_PATH="$dir/runtime/pulse" HOME="$dir/home" \
         XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state" \
         DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus" PIPEWIRE_DEBUG=1
  unset PULSE_SERVER
  setsid dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" \
    </dev/null >"$dir/dbus.log" 2>&1 &
  echo $! >> "$dir/pids"
  for _ in $(seq 1 50); do [ -S "$dir/bus" ] && break; sleep 0.1; done
  setsid pipewire </dev/null >"$dir/pipewire.log" 2>&1 &
  echo $! >> "$dir/pids"
  for _ in $(seq 1 50); do [ -S "$dir/runtime/pipewire-0" ] && break; sleep 0.1; done
  setsid wireplumber </dev/null >"$dir/wireplumber.log" 2>&1 &
  echo $! >> "$dir/pids"
  setsid pipewire-pulse </dev/null >"$dir/pipewire-pulse.log" 2>&1 &
  pulse_pid=$!
  echo "$pulse_pid" >> "$dir/pids"
  export PULSE_SERVER="unix:$dir/native"
  up=0
  for _ in $(seq 1 100); do
    if pactl info >/dev/null 2>&1; then up=1; break; fi
    kill -0 "$pulse_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ "$up" = 1 ]; then
    for s in "${sinks[@]}"; do
      pactl load-module module-null-sink sink_name="$s" format=float32le rate="$rate" channels=2 \
        sink_properties=device.description="$s" >/dev/null
    done
    # WirePlumber answers "Not supported" until it has seen the new sink.
    ok=0
    for _ in $(seq 1 100); do
      if pactl set-default-sink "${sinks[0]}" >/dev/null 2>&1 &&
         pactl set-default-source "${sinks[0]}.monitor" >/dev/null 2>&1 &&
         [ "$(pactl get-default-sink 2>/dev/null)" = "${sinks[0]}" ]; then ok=1; break; fi
      sleep 0.1
    done
    if [ "$ok" = 1 ]; then
      echo "PULSE_SERVER=$PULSE_SERVER"
      echo "PULSE_PID=$pulse_pid"
      # For JACK clients through PipeWire's JACK library (pw-jack).
      echo "PIPEWIRE_RUNTIME_DIR=$dir/runtime"
      exit 0
    fi
  fi
  echo "private-pipewire: the server did not come up; its logs:" >&2
  tail -n 20 "$dir"/*.log >&2 || true
  stop_all "$dir"
  exit 1
  ;;
stop)
  stop_all "$dir"
  ;;
*) echo "$usage" >&2; exit 2 ;;
esac
