#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit suites, and the integration
# suites on a private PulseAudio server and then on a private PipeWire server.
set -euo pipefail
cd "$(dirname "$0")"
top=$(pwd)
jobs=$(nproc)

./scripts/install-deps.sh --tests

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONVERA_TESTS=ON >/dev/null
cmake --build build -j "$jobs"
./scripts/check-deb.sh build

# The capture's threads under ThreadSanitizer, the SMF reader and the mixer arrays under
# AddressSanitizer: separate builds of just those suites.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTONVERA_SANITIZE_THREAD=ON >/dev/null
cmake --build build-tsan -j "$jobs" --target engine_tests
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTONVERA_SANITIZE_ADDRESS=ON >/dev/null
cmake --build build-asan -j "$jobs" --target engine_tests platform_tests

server_dir=$(mktemp -d /tmp/tonvera-test.XXXXXX)
cleanup() {
  "$top/scripts/private-pulse.sh" stop "$server_dir/pulse" || true
  "$top/scripts/private-pipewire.sh" stop "$server_dir/pipewire" || true
  "$top/scripts/private-jack.sh" stop "$server_dir/jack" || true
  "$top/scripts/private-jack.sh" stop "$server_dir/pw-jack" || true
  rm -rf "$server_dir"
}
trap cleanup EXIT
eval "$(./scripts/private-pulse.sh start "$server_dir/pulse")"
export PULSE_SERVER PULSE_PID
echo "test.sh: private PulseAudio server $PULSE_SERVER (pid $PULSE_PID)"

if [ -x scripts/fuzz.sh ]; then ./scripts/fuzz.sh; fi

TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan --output-on-failure -L unit -R 'Capture'
ASAN_OPTIONS="detect_leaks=1" \
  ctest --test-dir build-asan --output-on-failure -L unit
ctest --test-dir build --output-on-failure

# The external synthesizer on a private JACK server (dummy driver, period 1024 as measured).
soundfont=${TONVERA_SOUNDFONT:-/usr/share/sounds/sf2/default-GM.sf2}
[ -r "$soundfont" ] || soundfont=/usr/share/sounds/sf2/TimGM6mb.sf2
(
  eval "$(./scripts/private-jack.sh start "$server_dir/jack" --period 1024 --synth "$soundfont")"
  export JACK_DEFAULT_SERVER SYNTH_PID TONVERA_SOUNDFONT="$soundfont"
  ctest --test-dir build --output-on-failure -L jack
)
./scripts/private-jack.sh stop "$server_dir/jack"

# The same integration suites on PipeWire's pulse server.
if ! command -v pipewire-pulse >/dev/null || ! command -v wireplumber >/dev/null; then
  echo "test.sh: PipeWire is not installed (kept off a desktop whose PulseAudio is in use):" \
       "the integration suites did not run on PipeWire" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 0
fi
eval "$(./scripts/private-pipewire.sh start "$server_dir/pipewire")"
export PULSE_SERVER PULSE_PID PIPEWIRE_RUNTIME_DIR TONVERA_TEST_SERVER=pipewire
echo "test.sh: private PipeWire server $PULSE_SERVER (pid $PULSE_PID)"
ctest --test-dir build --output-on-failure -L integration

# The external synthesizer again, through PipeWire's JACK library on the same server.
(
  export PIPEWIRE_RUNTIME_DIR XDG_RUNTIME_DIR="$PIPEWIRE_RUNTIME_DIR"
  eval "$(./scripts/private-jack.sh start "$server_dir/pw-jack" --pipewire --synth "$soundfont")"
  export SYNTH_PID TONVERA_SOUNDFONT="$soundfont"
  pw-jack ctest --test-dir build --output-on-failure -L jack
)
