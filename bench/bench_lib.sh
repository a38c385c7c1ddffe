# Sourced by the benchmark scripts, from the top of the tree.
build=${BUILD_DIR:-build}

# Builds the given targets.
bench_build() {
  cmake -S . -B "$build" -G Ninja >/dev/null
  cmake --build "$build" -j2 --target "$@" >/dev/null
}

# A scratch folder in $dir, removed at exit, and a sound server: the one in PULSE_SERVER, else
# a private PulseAudio started for the run and stopped at exit.
bench_scratch_and_server() {
  dir=$(mktemp -d /tmp/tonvera-bench.XXXXXX)
  trap '[ -f "$dir/server/pid" ] && scripts/private-pulse.sh stop "$dir/server"; rm -rf "$dir"' EXIT
  if [ -z "${PULSE_SERVER:-}" ]; then
    eval "$(scripts/private-pulse.sh start "$dir/server")"
    export PULSE_SERVER
  fi
}
