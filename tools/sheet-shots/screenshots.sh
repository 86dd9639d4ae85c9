#!/bin/sh
# Takes docs/settings-{general,buttons,misc,audio,about}.png: runs quillon-sheet-shots
# on a virtual X screen (no window manager, so the sheet sits at the top left).
#
#   tools/sheet-shots/screenshots.sh [BUILD_DIR] [OUT_DIR]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
out=${2:-$root/docs}
tool=$build/tools/sheet-shots/quillon-sheet-shots
[ -x "$tool" ] || { echo "build quillon-sheet-shots first: cmake --build $build --target quillon-sheet-shots" >&2; exit 1; }
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 640x480x24" "$tool" "$out"
