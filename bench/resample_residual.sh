#!/usr/bin/env bash
# The recorded conversion against --fast's render on a private PipeWire whose graph runs at
# 48 000 Hz only, as most desktops' do: the program's 44.1 kHz streams are resampled on their
# way to the sink and back. Once at the server's default resampler quality (the program's
# property taken away by a preloaded library), once at the best quality the program asks for:
# the residual in dB of the render's power and the largest difference, and what is left once
# the resamplers' delay of a fraction of a frame is taken out.
#   bench/resample_residual.sh [SECONDS [VOLUME]]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}; volume=${2:-100}
. bench/bench_lib.sh
bench_build tonvera residual_bench server_default_quality
dir=$(mktemp -d /tmp/tonvera-resample.XXXXXX)
trap 'scripts/private-pipewire.sh stop "$dir/server" || true; rm -rf "$dir"' EXIT
eval "$(scripts/private-pipewire.sh start "$dir/server" --rate 48000)"
export PULSE_SERVER
echo "== $(pactl info | sed -n 's/^Server Name: //p'), graph at 48000 Hz only"
status=0
for quality in default best; do
  mkdir -p "$dir/$quality"
  echo "-- the server's $quality resampler quality"
  preload=""
  [ "$quality" = default ] && preload="$PWD/$build/bench/server_default_quality.so"
  LD_PRELOAD="$preload" "$build/bench/residual_bench" "$build/tonvera" "$seconds" "$volume" \
    "$dir/$quality" --sub-frame || status=1
done
exit $status
