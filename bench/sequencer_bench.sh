#!/usr/bin/env bash
# The sequencer playing a 30-s piece in real time: CPU per second of music, underflows, Length
# against the tempo map; idle, then with another thread spinning. Uses the server in
# PULSE_SERVER, else starts a private one for the run.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_lib.sh
bench_build sequencer_bench
bench_scratch_and_server
status=0
"$build/bench/sequencer_bench" || status=1
"$build/bench/sequencer_bench" --busy || status=1
exit $status
