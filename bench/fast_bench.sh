#!/usr/bin/env bash
# The offline conversion's speed: `tonvera --fast` on a generated multi-channel piece (4
# channels and drums, 10 minutes unless SECONDS is given) next to `fluidsynth -ni -F` on the
# same piece and SoundFont, in one run: wall time, CPU seconds (user + system), times real
# time, peak memory. Then the same for many files at once (--to, one worker per core).
#   bench/fast_bench.sh [SECONDS [FILES]]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}; files=${2:-8}
. bench/bench_lib.sh
if ! command -v fluidsynth >/dev/null; then
  echo "fast_bench: installing the fluidsynth command for the comparison" >&2
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get install -y -qq --no-install-recommends fluidsynth >/dev/null
fi
bench_build tonvera write_song
dir=$(mktemp -d /tmp/tonvera-fast-bench.XXXXXX)
trap 'rm -rf "$dir"' EXIT
"$build/bench/write_song" "$seconds" "$dir/piece.mid"
soundfont=${TONVERA_SOUNDFONT:-/usr/share/sounds/sf2/default-GM.sf2}
[ -r "$soundfont" ] || soundfont=/usr/share/sounds/sf2/TimGM6mb.sf2
soundfont=$(readlink -f "$soundfont")

measure() {  # label command...
  local label=$1; shift
  /usr/bin/time -f '%e %U %S %M' -o "$dir/time" "$@" >/dev/null 2>"$dir/err" ||
    { echo "$label failed:"; cat "$dir/err"; return 1; }
  read -r wall user sys rss < "$dir/time"
  awk -v l="$label" -v w="$wall" -v u="$user" -v s="$sys" -v r="$rss" -v m="$seconds" 'BEGIN {
    cpu = u + s; if (w < 0.01) w = 0.01; if (cpu < 0.01) cpu = 0.01
    printf "%-28s %7.2f s wall %7.2f CPU-s  %6.0fx real time (%6.0fx per CPU-s)  %6.1f MB peak\n",
           l, w, cpu, m / w, m / cpu, r / 1024 }'
}

echo "piece: $seconds s, 4 channels + drums, two tempos; SoundFont $soundfont"
export TONVERA_SOUNDFONT="$soundfont"
measure "tonvera --fast" env -u DISPLAY -u WAYLAND_DISPLAY PULSE_SERVER=unix:/nonexistent \
  "$build/tonvera" --fast "$dir/piece.mid" "$dir/tonvera.wav"
measure "fluidsynth -ni -F" fluidsynth -ni -q -r 44100 -F "$dir/fluidsynth.wav" "$soundfont" \
  "$dir/piece.mid"
echo "WAV lengths: tonvera $(soxi -D "$dir/tonvera.wav" 2>/dev/null || echo ?) s," \
     "fluidsynth $(soxi -D "$dir/fluidsynth.wav" 2>/dev/null || echo ?) s"

mkdir -p "$dir/many"
for i in $(seq 1 "$files"); do cp "$dir/piece.mid" "$dir/many/piece$i.mid"; done
seconds=$((seconds * files))
measure "tonvera --fast --to ($files)" env -u DISPLAY -u WAYLAND_DISPLAY \
  PULSE_SERVER=unix:/nonexistent "$build/tonvera" --fast --to "$dir/many" "$dir"/many/*.mid
tail -n 1 "$dir/err"
