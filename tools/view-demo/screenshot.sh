#!/bin/sh
# Takes docs/screenshot.png: runs quillon-view-demo on a virtual X screen,
# captures the screen with ImageMagick while the recording plays and crops it
# to the window (which opens at the top left: there is no window manager).
#
#   tools/view-demo/screenshot.sh [BUILD_DIR] [OUT.png]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
out=${2:-$root/docs/screenshot.png}
demo=$build/tools/view-demo/quillon-view-demo
[ -x "$demo" ] || { echo "build quillon-view-demo first: cmake --build $build --target quillon-view-demo" >&2; exit 1; }
full=$(mktemp --suffix=.png)
trap 'rm -f "$full"' EXIT
# The capture is taken a few seconds into the playback, when the time, the
# position and the meter have moved.
xvfb-run -a -s "-screen 0 640x480x24" sh -c \
  "\"$demo\" --seconds 6 & pid=\$!; sleep 3.3; import -window root \"$full\"; wait \$pid"
convert "$full" -crop 240x294+0+0 +repage "$out"
echo "wrote $out"
