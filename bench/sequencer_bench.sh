#!/usr/bin/env bash
# The sequencer playing a 30-s piece in real time: CPU per second of music, underflows, Length
# against the tempo map; idle, then with another thread spinning. Uses the server in
# PULSE_SERVER, else starts a private one for the run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target sequencer_bench >/dev/null
if [ -z "${PULSE_SERVER:-}" ]; then
  dir=$(mktemp -d /tmp/tonvera-bench.XXXXXX)
  trap 'scripts/private-pulse.sh stop "$dir/server"; rm -rf "$dir"' EXIT
  eval "$(scripts/private-pulse.sh start "$dir/server")"
  export PULSE_SERVER
fi
status=0
"$build/bench/sequencer_bench" || status=1
"$build/bench/sequencer_bench" --busy || status=1
exit $status
