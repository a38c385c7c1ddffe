#!/usr/bin/env bash
# Installs what is missing, builds, starts a private sound server and runs every test.
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
cleanup() { "$top/scripts/private-pulse.sh" stop "$server_dir/server" || true; rm -rf "$server_dir"; }
trap cleanup EXIT
eval "$(./scripts/private-pulse.sh start "$server_dir/server")"
export PULSE_SERVER PULSE_PID
echo "test.sh: private sound server $PULSE_SERVER (pid $PULSE_PID)"

if [ -x scripts/fuzz.sh ]; then ./scripts/fuzz.sh; fi

TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan --output-on-failure -L unit -R 'Capture'
ASAN_OPTIONS="detect_leaks=1" \
  ctest --test-dir build-asan --output-on-failure -L unit
ctest --test-dir build --output-on-failure
