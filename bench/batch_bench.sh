#!/usr/bin/env bash
# Many files at once: 40 short pieces (2-9 s), 4 long ones (2-3.5 min) and the bundled example,
# rendered by `tonvera --fast --to` next to a loop of `fluidsynth -F` and `xargs -P<cores>` of
# it, in one run: files per second, times real time (music rendered per wall second) and
# CPU-seconds (user + system) for each.
#   bench/batch_bench.sh                 the build in $BUILD_DIR (default build)
#   TONVERA=/path/to/tonvera bench/batch_bench.sh   another build of the program
#   TONVERA_SOUNDFONT=/usr/share/sounds/sf2/FluidR3_GM.sf2 bench/batch_bench.sh
#                                        a larger SoundFont (fluid-soundfont-gm), costlier to load
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_lib.sh
if ! command -v fluidsynth >/dev/null; then
  echo "batch_bench: installing the fluidsynth command for the comparison" >&2
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get install -y -qq --no-install-recommends fluidsynth >/dev/null
fi
bench_build tonvera write_song
tonvera=${TONVERA:-$build/tonvera}
cores=$(nproc)
dir=$(mktemp -d /tmp/tonvera-batch-bench.XXXXXX)
trap 'rm -rf "$dir"' EXIT
soundfont=${TONVERA_SOUNDFONT:-/usr/share/sounds/sf2/default-GM.sf2}
[ -r "$soundfont" ] || soundfont=/usr/share/sounds/sf2/TimGM6mb.sf2
soundfont=$(readlink -f "$soundfont")
export TONVERA_SOUNDFONT="$soundfont"

mkdir -p "$dir/in"
for i in $(seq 1 40); do "$build/bench/write_song" $((2 + i % 8)) "$dir/in/short$i.mid"; done
for i in 1 2 3 4; do "$build/bench/write_song" $((90 + 30 * i)) "$dir/in/long$i.mid"; done
cp examples/demo.mid "$dir/in/demo.mid"
files=$(ls "$dir/in" | wc -l)

# The music the files hold, in seconds.
music() { for f in "$1"/*.wav; do soxi -D "$f"; done | awk '{ s += $1 } END { printf "%.1f", s }'; }

measure() {  # label out-folder command...
  local label=$1 out=$2; shift 2
  rm -rf "$out"; mkdir -p "$out"
  /usr/bin/time -f '%e %U %S' -o "$dir/time" "$@" >/dev/null 2>"$dir/err" ||
    { echo "$label failed:"; tail -n 5 "$dir/err"; return 1; }
  read -r wall user sys < "$dir/time"
  awk -v l="$label" -v w="$wall" -v c="$(awk -v u="$user" -v s="$sys" 'BEGIN{print u+s}')" \
      -v m="$(music "$out")" -v n="$files" 'BEGIN {
    if (w < 0.01) w = 0.01
    printf "%-34s %6.2f s wall %6.2f CPU-s %6.1f files/s %6.0fx real time (%.0f s of music)\n",
           l, w, c, n / w, m / w, m }'
}

fluid() { fluidsynth -ni -q -r 44100 -F "$2/$(basename "$1" .mid).wav" "$soundfont" "$1"; }
export -f fluid
export soundfont

echo "$files files: 40 short, 4 long, the example; $cores cores; SoundFont $soundfont"
echo "program: $tonvera"
measure "tonvera --fast --to" "$dir/tonvera" env -u DISPLAY -u WAYLAND_DISPLAY \
  PULSE_SERVER=unix:/nonexistent "$tonvera" --fast --to "$dir/tonvera" "$dir"/in/*.mid
tail -n 1 "$dir/err"
measure "fluidsynth -F, one after another" "$dir/loop" \
  bash -c 'for f in "$1"/in/*.mid; do fluid "$f" "$1/loop"; done' _ "$dir"
measure "xargs -P$cores fluidsynth -F" "$dir/xargs" \
  bash -c 'ls "$1"/in/*.mid | xargs -P"$2" -I{} bash -c "fluid {} $1/xargs"' _ "$dir" "$cores"
