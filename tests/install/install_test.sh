#!/usr/bin/env bash
# cmake --install into a staging folder puts every file where the desktop
# and the program look for it.
#   install_test.sh BUILD_DIR
set -eu
build=$1
stage=$(mktemp -d "${TMPDIR:-/tmp}/quillon-install.XXXXXX")
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr > /dev/null
root="$stage/usr"
fail() { echo "FAIL: $*" >&2; exit 1; }
for f in bin/quillon bin/quillon-wav share/applications/quillon.desktop \
         share/icons/hicolor/48x48/apps/quillon.png share/icons/hicolor/256x256/apps/quillon.png \
         share/quillon/help/Quillon.htm share/man/man1/quillon-wav.1; do
  [ -e "$root/$f" ] || fail "$f is not installed"
done
[ -x "$root/bin/quillon" ] && [ -x "$root/bin/quillon-wav" ] || fail "the programs are not executable"
entry="$root/share/applications/quillon.desktop"
for line in 'Exec=quillon' 'Icon=quillon' 'Categories=AudioVideo;Audio;Recorder;' 'StartupWMClass=Quillon'; do
  grep -qx "$line" "$entry" || fail "quillon.desktop lacks $line"
done
# The icons are the sizes their folders say.
[ "$(identify -format %wx%h "$root/share/icons/hicolor/48x48/apps/quillon.png")" = 48x48 ] || fail "48x48 icon"
[ "$(identify -format %wx%h "$root/share/icons/hicolor/256x256/apps/quillon.png")" = 256x256 ] || fail "256x256 icon"
grep -q 'id="Main_Contents"' "$root/share/quillon/help/Quillon.htm" || fail "the help page has no Main_Contents"
grep -q '^\.TH QUILLON-WAV 1' "$root/share/man/man1/quillon-wav.1" || fail "the manual page"
# The installed tool runs from where it was installed.
"$root/bin/quillon-wav" 2>&1 | grep -q 'usage:' || fail "quillon-wav does not run installed"
echo "installed and found"
