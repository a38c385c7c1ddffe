#!/usr/bin/env bash
# Builds the Debian package and unpacks it into a scratch root (dpkg -x) to check that it
# carries what the program needs and that its files are where the desktop entry, the AppStream
# file and the manual page say, and that it says its licence.
#   scripts/check-deb.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

deb=$(./scripts/build-deb.sh "$build")
scratch=$(mktemp -d /tmp/tonvera-deb.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
dpkg -x "$deb" "$root"

failures=0
fail() { echo "check-deb: $*" >&2; failures=$((failures + 1)); }
need() { [ -e "$root/$1" ] || fail "missing /$1"; }

# One version for the program and its package.
version=$("$build/tonvera" --version)
package_version=$(dpkg-deb -f "$deb" Version)
[ "$version" = "tonvera ${package_version%-*}" ] ||
  fail "the package is $package_version, the program says \"$version\""

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6dbus6 libpulse0 libfluidsynth3 libsndfile1 libsamplerate0 \
           libjpeg62-turbo; do
  grep -qE "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
grep -qE '(^|, )timgm6mb-soundfont \| fluid-soundfont-gm(,|$)' <<<"$depends" ||
  fail "Depends lacks a General MIDI SoundFont: $depends"
# MP3 and Opus files are written by libsndfile 1.1 and later only.
grep -qE '(^|, )libsndfile1 \(>= 1\.1\.0\)(,|$)' <<<"$depends" ||
  fail "Depends lacks the libsndfile that writes MP3 and Opus: $depends"

# Nothing outside /usr.
outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$outside" ] || fail "files outside /usr: $outside"

# The desktop entry: Exec finds its program on PATH (/usr/bin), Icon its pictures in the theme.
desktops=("$root"/usr/share/applications/*.desktop)
[ "${#desktops[@]}" -eq 1 ] && [ -f "${desktops[0]}" ] || fail "not exactly one desktop entry"
desktop=${desktops[0]}
id=$(basename "$desktop" .desktop)
key() { sed -n "s/^$1=//p" "$desktop" | head -n1; }
exec_program=$(key Exec | cut -d' ' -f1)
[ -x "$root/usr/bin/$exec_program" ] || fail "Exec=$(key Exec): no /usr/bin/$exec_program"
[ "$(key Exec)" = "$exec_program %f" ] || fail "Exec does not pass the file: $(key Exec)"
[ "$(key MimeType)" = "audio/midi;audio/x-midi;" ] || fail "MimeType=$(key MimeType)"
icon=$(key Icon)
for size in 48 128 256; do
  png="usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
  need "$png"
  file -b "$root/$png" | grep -q "PNG image data, $size x $size" || fail "$png is not a $size px PNG"
done
desktop-file-validate "$desktop" || fail "desktop-file-validate refused the desktop entry"

# The AppStream file names that desktop entry.
metainfo="usr/share/metainfo/$id.metainfo.xml"
need "$metainfo"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$root/$metainfo" ||
  fail "$metainfo does not launch $id.desktop"
appstreamcli validate --no-net "$root/$metainfo" >&2 || fail "appstreamcli refused $metainfo"

# The licence, where Debian and AppStream look for it: the GNU GPL, version 3 or later.
copyright="usr/share/doc/$(dpkg-deb -f "$deb" Package)/copyright"
need "$copyright"
if [ -f "$root/$copyright" ]; then
  [ "$(head -n1 "$root/$copyright")" = \
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    fail "$copyright is not in Debian's machine-readable format"
  grep -qx 'License: GPL-3+' "$root/$copyright" || fail "$copyright names no GPL-3+ licence"
  grep -qF '/usr/share/common-licenses/GPL-3' "$root/$copyright" ||
    fail "$copyright does not point to the licence's text"
fi
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$root/$metainfo" ||
  fail "$metainfo names no project licence"

# The manual page, where man finds it, naming this version and the program's environment.
page="usr/share/man/man1/$exec_program.1.gz"
need "$page"
text=$(MANWIDTH=100 man --warnings -l "$root/$page" 2>"$scratch/man-warnings")
[ ! -s "$scratch/man-warnings" ] || fail "man warns: $(cat "$scratch/man-warnings")"
for word in "$version" TONVERA_SOUNDFONT "EXIT STATUS" FILES; do
  grep -qF "$word" <<<"$text" || fail "the manual page lacks \"$word\""
done

# The unpacked program itself runs, stripped, without a display.
file -b "$root/usr/bin/$exec_program" | grep -q ', stripped' || fail "/usr/bin/$exec_program is not stripped"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$exec_program" --version)" = "$version" ] ||
  fail "the unpacked program does not say \"$version\""

if [ "$failures" -gt 0 ]; then
  echo "check-deb: $failures problem(s) in $deb" >&2
  exit 1
fi
echo "check-deb: $(basename "$deb") holds $(dpkg -c "$deb" | grep -vc '/$') files, all in place; Depends: $depends"
