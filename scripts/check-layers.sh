#!/usr/bin/env bash
# Each folder includes only itself and the layers below it:
#   app > media, controls > engine > platform > base
# (the SMF reader, platform/midi, is part of platform) and inside platform/ the shared code
# knows neither backend, nor one backend the other.
# Prints every include that breaks this and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

allowed() {
  case "$1" in
    base) echo "base" ;;
    platform/pulse) echo "platform/pulse platform/midi platform base" ;;
    platform/fake) echo "platform/fake platform/midi platform base" ;;
    platform/jack) echo "platform/jack platform/midi platform/synth platform base" ;;
    platform/midi) echo "platform/midi base" ;;
    platform) echo "platform/midi platform base" ;;
    engine) echo "engine platform/midi platform base" ;;
    media) echo "media engine platform/midi platform base" ;;
    controls) echo "controls base" ;;
    app) echo "app media controls engine platform/pulse platform/jack platform/midi platform base" ;;  # main.cpp installs the real backend
  esac
}

status=0
for folder in base platform platform/midi platform/pulse platform/fake platform/jack engine media controls app; do
  ok=$(allowed "$folder")
  while IFS= read -r hit; do
    file=${hit%%:*}
    target=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${hit#*:}")
    fine=false
    for layer in $ok; do
      case "$target" in "$layer"/*)
        # platform/ alone means the shared files, not a backend's.
        if [ "$layer" = platform ] && [[ "$target" == platform/*/* ]]; then continue; fi
        fine=true ;;
      esac
    done
    if ! $fine; then
      echo "check-layers: $file includes $target" >&2
      status=1
    fi
  done < <(find "$folder" -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' \) -print0 |
           xargs -0 -r grep -H '^#include "[a-z_]*/' || true)
done
[ "$status" = 0 ] && echo "check-layers: every include goes to its own layer or one below"
exit "$status"
