#!/usr/bin/env bash
# Builds the Debian package from a build folder (default build/) and prints its path.
#   scripts/build-deb.sh [BUILD_DIR]
# Needs dpkg-shlibdeps (dpkg-dev), which reads the runtime libraries off the program.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

command -v dpkg-shlibdeps >/dev/null ||
  { echo "build-deb: dpkg-shlibdeps is missing: apt-get install dpkg-dev" >&2; exit 1; }
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target tonvera tonvera_data >&2

out="$build/package"
rm -f "$out"/tonvera_*.deb
(cd "$build" && cpack -G DEB -B "$(pwd)/package") >&2
debs=("$out"/tonvera_*.deb)
[ -f "${debs[0]}" ] || { echo "build-deb: cpack made no package" >&2; exit 1; }
echo "${debs[0]}"
