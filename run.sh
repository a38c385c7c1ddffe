#!/usr/bin/env bash
# Converts examples/demo.mid to demo.wav (or ./run.sh SONG.mid SONG.wav [VOLUME] your own file),
# then prints the WAV's duration and peak level. Installs what is missing and builds first.
set -euo pipefail
cd "$(dirname "$0")"
top=$(pwd)

if [ "$#" -eq 1 ] || [ "$#" -gt 3 ]; then
  echo "usage: $0 [SONG.mid SONG.wav [VOLUME]]" >&2
  exit 2
fi
if [ "$#" -ge 2 ]; then
  midi=$1; wav=$2; volume=${3:-}
else
  midi=examples/demo.mid; wav=demo.wav; volume=
fi

./scripts/install-deps.sh

# The test suites need GoogleTest, which only the test set-up installs; say which build this is
# every time so that a cached choice never sticks.
tests=OFF
if dpkg-query -W -f='${Status}' libgtest-dev 2>/dev/null | grep -q 'ok installed'; then tests=ON; fi
cmake -S . -B build -G Ninja -DTONVERA_TESTS=$tests >/dev/null
cmake --build build --target tonvera

server_dir=
cleanup() {
  if [ -n "$server_dir" ]; then
    "$top/$server_script" stop "$server_dir/server" || true
    rm -rf "$server_dir"
  fi
}
trap cleanup EXIT
server_script=scripts/private-pulse.sh
command -v pulseaudio >/dev/null || server_script=scripts/private-pipewire.sh
if ! pactl info >/dev/null 2>&1; then
  server_dir=$(mktemp -d /tmp/tonvera-run.XXXXXX)
  eval "$("./$server_script" start "$server_dir/server")"
  export PULSE_SERVER
  echo "run.sh: no sound server answered; started a private one with a null sink ($PULSE_SERVER, pid $PULSE_PID); it stops when this script ends"
fi

echo "run.sh: converting $midi to $wav"
status=0
if [ -n "$volume" ]; then
  ./build/tonvera "$midi" "$wav" "$volume" || status=$?
else
  ./build/tonvera "$midi" "$wav" || status=$?
fi

if [ -f "$wav" ]; then
  duration=$(soxi -D "$wav" 2>/dev/null || echo "?")
  peak=$(sox "$wav" -n stats 2>&1 | awk '/^Pk lev dB/ {print $4}')
  echo "run.sh: $wav: duration ${duration} s, peak ${peak:-?} dBFS"
else
  echo "run.sh: no $wav was written" >&2
fi
exit "$status"
