#!/usr/bin/env bash
# The capture against the offline render of the same code at the same gain, on a private
# PulseAudio server and on a private PipeWire server: a 60-s multi-channel piece (or
# SECONDS), max |difference| in LSB and SNR.
#   bench/capture_residual.sh [SECONDS [VOLUME]]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}; volume=${2:-30}
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target tonvera residual_bench >/dev/null
dir=$(mktemp -d /tmp/tonvera-residual.XXXXXX)
cleanup() {
  scripts/private-pulse.sh stop "$dir/pulse" || true
  scripts/private-pipewire.sh stop "$dir/pipewire" || true
  rm -rf "$dir"
}
trap cleanup EXIT
status=0
for server in pulse pipewire; do
  mkdir -p "$dir/$server-run"
  (
    eval "$("scripts/private-$server.sh" start "$dir/$server")"
    export PULSE_SERVER
    echo "== $(pactl info | sed -n 's/^Server Name: //p')"
    "$build/bench/residual_bench" "$build/tonvera" "$seconds" "$volume" "$dir/$server-run"
  ) || status=1
done
exit $status
