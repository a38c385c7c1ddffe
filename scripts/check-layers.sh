#!/usr/bin/env bash
# Each folder includes only itself and the layers below it:
#   app > media, controls > engine > platform > base
# Inside platform/ (ARCHITECTURE.md): the shared files over midi/ (the sequencer); the built-in
# synthesizer (synth/) over them; a backend (pulse/, fake/, a JACK one in jack/) over what it
# uses; no backend knows another. Only app/ names a backend, to install it.
# A sound library's headers stay in the one folder that speaks to it.
# Prints every include that breaks this and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

allowed() {
  case "$1" in
    base) echo "base" ;;
    platform/midi) echo "platform/midi base" ;;
    platform) echo "platform platform/midi base" ;;
    platform/synth) echo "platform/synth platform platform/midi base" ;;
    platform/pulse) echo "platform/pulse platform/synth platform platform/midi base" ;;
    platform/fake) echo "platform/fake platform platform/midi base" ;;
    engine) echo "engine platform platform/midi base" ;;
    media) echo "media engine platform platform/midi base" ;;
    controls) echo "controls base" ;;
    platform/jack) echo "platform/jack platform/synth platform platform/midi base" ;;
    app) echo "app media controls engine platform/pulse platform/jack platform platform/midi base" ;;  # main.cpp installs the real backends
  esac
}

# The one folder where each library's own headers may be included.
library_home() {
  case "$1" in
    pulse/*) echo "platform/pulse" ;;
    jack/*) echo "platform/jack" ;;
    fluidsynth.h) echo "platform/synth" ;;
  esac
}

folders="base platform platform/midi platform/synth platform/pulse platform/fake platform/jack engine media controls app"

status=0
for folder in $folders; do
  ok=$(allowed "$folder")
  while IFS= read -r hit; do
    file=${hit%%:*}
    target=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${hit#*:}")
    fine=false
    for layer in $ok; do
      case "$target" in "$layer"/*)
        # platform/ alone means the shared files, not a subfolder's.
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

while IFS= read -r hit; do
  file=${hit%%:*}
  header=$(sed -E 's/.*#include <([^>]+)>.*/\1/' <<<"${hit#*:}")
  home=$(library_home "$header")
  if [ -n "$home" ] && [ "$(dirname "$file")" != "$home" ]; then
    echo "check-layers: $file includes <$header>, which belongs in $home/" >&2
    status=1
  fi
done < <(find base platform engine media controls app bench tests fuzz -type f \( -name '*.cpp' -o -name '*.h' \) -print0 |
         xargs -0 -r grep -H '^#include <\(pulse/\|jack/\|fluidsynth\.h\)' || true)

[ "$status" = 0 ] && echo "check-layers: every include goes to its own layer or one below"
exit "$status"
