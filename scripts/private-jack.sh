#!/usr/bin/env bash
# A private JACK server with the dummy driver (no sound hardware), under a server name of its
# own, never the user's, and optionally FluidSynth as a JACK synthesizer on it.
#   private-jack.sh start DIR [--period FRAMES] [--synth SOUNDFONT]
#                          starts it (44 100 Hz, period 1024 unless given), prints
#                          JACK_DEFAULT_SERVER=..., JACK_PID=... and, with --synth, SYNTH_PID=...
#                          and SYNTH_CLIENT=... lines
#   private-jack.sh start DIR --pipewire --synth SOUNDFONT
#                          no jackd: FluidSynth through PipeWire's JACK library (pw-jack) on the
#                          PipeWire server that PIPEWIRE_RUNTIME_DIR names
#   private-jack.sh stop DIR   stops every process it started, by process id
# The synthesizer is `fluidsynth -a jack -m jack` with reverb and chorus off; its MIDI input
# and its two audio outputs belong to one JACK client.
set -euo pipefail
cmd=${1:-}; dir=${2:-}
usage="usage: $0 start|stop DIR [--period FRAMES | --pipewire] [--synth SOUNDFONT]"
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "$usage" >&2; exit 2; }
shift 2
period=1024; soundfont=; pipewire=false
while [ "$#" -gt 0 ]; do
  case "$1" in
    --period) [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "$usage" >&2; exit 2; }; period=$2; shift 2 ;;
    --pipewire) pipewire=true; shift ;;
    --synth) [ -r "${2:-}" ] || { echo "private-jack: no SoundFont ${2:-}" >&2; exit 2; }; soundfont=$2; shift 2 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done

. "$(dirname "$0")/stop-pids.sh"

case "$cmd" in
start)
  mkdir -p "$dir/home"
  dir=$(cd "$dir" && pwd)
  : > "$dir/pids"
  export HOME="$dir/home"
  if $pipewire; then
    [ -n "${PIPEWIRE_RUNTIME_DIR:-}" ] && [ -n "$soundfont" ] ||
      { echo "private-jack: --pipewire needs PIPEWIRE_RUNTIME_DIR and --synth" >&2; exit 2; }
    command -v pw-jack >/dev/null || { echo "private-jack: pw-jack is not installed" >&2; exit 1; }
    export XDG_RUNTIME_DIR="$PIPEWIRE_RUNTIME_DIR"
    jack=(pw-jack)
  else
    command -v jackd >/dev/null || { echo "private-jack: jackd is not installed" >&2; exit 1; }
    name="tonvera-$(basename "$dir")-$$"
    export JACK_DEFAULT_SERVER="$name"
    jack=()
    # Real-time scheduling where the machine allows it; without, jackd runs all the same.
    setsid jackd -n "$name" -R -d dummy -r 44100 -p "$period" </dev/null >"$dir/jackd.log" 2>&1 &
    jack_pid=$!
    echo "$jack_pid" >> "$dir/pids"
    up=0
    for _ in $(seq 1 100); do
      if jack_lsp >/dev/null 2>&1; then up=1; break; fi
      kill -0 "$jack_pid" 2>/dev/null || break
      sleep 0.1
    done
    if [ "$up" != 1 ]; then
      echo "private-jack: the server did not come up; its log:" >&2
      cat "$dir/jackd.log" >&2 || true
      stop_all "$dir"; exit 1
    fi
    echo "JACK_DEFAULT_SERVER=$name"
    echo "JACK_PID=$jack_pid"
  fi
  [ -n "$soundfont" ] || exit 0
  command -v fluidsynth >/dev/null || { echo "private-jack: fluidsynth is not installed" >&2; stop_all "$dir"; exit 1; }
  setsid "${jack[@]}" fluidsynth -a jack -m jack -is -R 0 -C 0 -o audio.jack.autoconnect=0 \
    -o midi.jack.id=synth -o audio.jack.id=synth "$soundfont" \
    </dev/null >"$dir/synth.log" 2>&1 &
  synth_pid=$!
  echo "$synth_pid" >> "$dir/pids"
  for _ in $(seq 1 100); do
    if "${jack[@]}" jack_lsp 2>/dev/null | grep -q '^synth:midi'; then
      echo "SYNTH_PID=$synth_pid"
      echo "SYNTH_CLIENT=synth"
      exit 0
    fi
    kill -0 "$synth_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "private-jack: the synthesizer did not come up; its log:" >&2
  cat "$dir/synth.log" >&2 || true
  stop_all "$dir"; exit 1
  ;;
stop)
  stop_all "$dir"
  ;;
*) echo "$usage" >&2; exit 2 ;;
esac
