#!/usr/bin/env bash
# Installs what Tonvera needs to build, run and test on Debian 12.
# Idempotent and silent when everything is already there.
#   --tests   also the tools the test suite uses (private sound server, sox, Xvfb, clang, the
#             package and desktop-file checkers, and a D-Bus daemon for the desktop notice)
set -euo pipefail

want_tests=0
for arg in "$@"; do
  case "$arg" in
    --tests) want_tests=1 ;;
    *) echo "usage: $0 [--tests]" >&2; exit 2 ;;
  esac
done

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libpulse-dev libjack-jackd2-dev libfluidsynth-dev libsndfile1-dev libsamplerate0-dev libjpeg62-turbo-dev
  timgm6mb-soundfont pulseaudio-utils
  python3 sox
)
if [ "$want_tests" = 1 ]; then
  packages+=(libgtest-dev libgmock-dev sox xvfb xauth clang libclang-rt-14-dev libjpeg-turbo-progs
             desktop-file-utils appstream man-db dpkg-dev file dbus-daemon)
  packages+=(pulseaudio)
  # The external-synth suite: a private JACK server with FluidSynth as its synth, and
  # PipeWire's JACK library (never pipewire-audio-client-libraries: it removes pulseaudio).
  packages+=(jackd2 libjack-jackd2-dev fluidsynth pipewire-jack)
  # The integration suites also run on PipeWire. Its packages are not put on a desktop whose
  # own PulseAudio answers (they could take over its socket at the next login), except in CI.
  # Never pipewire-audio-client-libraries or pipewire-alsa: they remove the pulseaudio package.
  if [ "${CI:-}" = true ] || ! pactl info >/dev/null 2>&1 ||
     dpkg-query -W -f='${Status}' pipewire-pulse 2>/dev/null | grep -q 'ok installed'; then
    packages+=(pipewire pipewire-pulse wireplumber pipewire-bin dbus)
  fi
fi

# For the program alone, a private server is started only where no server answers and no
# PipeWire is installed (both would fight over the user's socket).
if [ "$want_tests" = 0 ] && ! pactl info >/dev/null 2>&1; then
  if ! dpkg-query -W -f='${Status}' pipewire-pulse 2>/dev/null | grep -q 'ok installed'; then
    packages+=(pulseaudio)
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
