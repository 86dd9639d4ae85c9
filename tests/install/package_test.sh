#!/usr/bin/env bash
# make deb's package: CPack builds quillon_VERSION_ARCH.deb from the install
# rules, with its dependencies found from the shared libraries; dpkg installs
# it into a scratch root (a dpkg database of its own), where every file is
# where the desktop looks, the desktop entry and the AppStream metainfo
# validate, and the installed quillon-wav runs.
#   package_test.sh BUILD_DIR VERSION
set -eu
build=$1
version=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli; do
  command -v "$tool" > /dev/null || { echo "skipped: $tool is not installed (scripts/install-deps)"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/quillon-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack"; }
arch=$(dpkg --print-architecture)
deb="$work/out/quillon_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no quillon_${version}_${arch}.deb: $(ls "$work/out")"

# Control data: the name, the version, and the libraries the programs link.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quillon ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
for library in libqt6widgets6 libqt6dbus6 libportaudio2 libgsm1 libsamplerate0 libc6 fonts-liberation; do
  case ", $depends," in *", $library"[\ ,]*) ;; *) fail "Depends lacks $library: $depends" ;; esac
done
case "$(field Recommends)" in *qt6-wayland*) ;; *) fail "Recommends lacks qt6-wayland" ;; esac

# A real install into a scratch root; its dependencies are the host's.
root="$work/root"
mkdir -p "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/info"
: > "$root/var/lib/dpkg/status"
dpkg --root="$root" --force-depends --force-script-chrootless --log=/dev/null -i "$deb" > "$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log" >&2; fail "dpkg -i"; }
dpkg --root="$root" -s quillon | grep -qx 'Status: install ok installed' || fail "dpkg does not know it installed"
listed=$(dpkg --root="$root" -L quillon)
for f in /usr/bin/quillon /usr/bin/quillon-wav /usr/share/applications/quillon.desktop \
         /usr/share/metainfo/org.example.quillon.metainfo.xml /usr/share/icons/hicolor/48x48/apps/quillon.png \
         /usr/share/icons/hicolor/256x256/apps/quillon.png /usr/share/quillon/help/Quillon.htm \
         /usr/share/man/man1/quillon-wav.1; do
  grep -qx "$f" <<< "$listed" || fail "the package does not install $f"
  [ -e "$root$f" ] || fail "$f is missing after the install"
done
desktop-file-validate "$root/usr/share/applications/quillon.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.quillon.metainfo.xml" > "$work/as.log" 2>&1 ||
  { cat "$work/as.log" >&2; fail "appstreamcli validate"; }
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.example.quillon.metainfo.xml" ||
  fail "the metainfo has no release $version"
grep -q '<launchable type="desktop-id">quillon.desktop</launchable>' "$root/usr/share/metainfo/org.example.quillon.metainfo.xml" ||
  fail "the metainfo does not name the desktop entry"

# The installed tool runs from the scratch root and does its work there.
sox_in="$work/tone.wav"
sox -n -r 8000 -c 1 -b 16 "$sox_in" synth 0.5 sine 440 2>/dev/null || fail "sox"
"$root/usr/bin/quillon-wav" info "$sox_in" > "$work/info.txt" 2>&1 || { cat "$work/info.txt" >&2; fail "quillon-wav info"; }
grep -q 8000 "$work/info.txt" || fail "quillon-wav info says: $(cat "$work/info.txt")"
file "$root/usr/bin/quillon" | grep -q stripped || fail "the program is not stripped"
echo "packaged, installed into a scratch root, validated and run"
