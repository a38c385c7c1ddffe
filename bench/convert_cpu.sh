#!/usr/bin/env bash
# The whole program converting examples/demo.mid on the command line: CPU seconds (user +
# system of the program alone) per second of music written, and the wall time. Uses the server
# in PULSE_SERVER, else starts a private one for the run.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_lib.sh
bench_build tonvera
bench_scratch_and_server
env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/time -f '%U %S %e' -o "$dir/time" \
  "$build/tonvera" examples/demo.mid "$dir/demo.wav" 2>/dev/null
read -r user sys wall < "$dir/time"
bytes=$(stat -c %s "$dir/demo.wav")
awk -v u="$user" -v s="$sys" -v w="$wall" -v b="$bytes" 'BEGIN {
  music = (b - 44) / 176400
  printf "convert demo.mid: %.2f s of WAV in %.2f s wall, %.2f CPU-s (user %.2f, sys %.2f): %.4f CPU-s per s of music\n",
         music, w, u + s, u, s, (u + s) / music
}'
