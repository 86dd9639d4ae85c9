#!/usr/bin/env bash
# with_sway.sh COMMAND [ARGS...]: runs the command on a headless Wayland
# compositor of its own (sway on wlroots' headless backend and pixman
# renderer, no input devices, one 800 x 700 output). sway refuses to run as
# root, so under root it runs as nobody, in a runtime folder of nobody's;
# the command connects through WAYLAND_DISPLAY, the socket's full path, and
# swaymsg through SWAYSOCK. Exit 77 (skipped) where sway is not installed.
set -u
for tool in sway swaymsg grim wtype; do
  command -v "$tool" > /dev/null || { echo "with_sway: $tool is not installed (scripts/install-deps)"; exit 77; }
done
dir=$(mktemp -d "${TMPDIR:-/tmp}/quillon-sway.XXXXXX")
chmod 755 "$dir"
runtime="$dir/runtime"
mkdir "$runtime"
cat > "$dir/config" <<'CONFIG'
output HEADLESS-1 resolution 800x700 position 0,0 scale 1
# A second start's activation token brings the window forward, as on a desktop.
focus_on_window_activation focus
default_border none
default_floating_border none
CONFIG
chmod 644 "$dir/config"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$runtime"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
chmod 700 "$runtime"
env -i PATH="$PATH" HOME="$dir" XDG_RUNTIME_DIR="$runtime" \
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  "${as_user[@]}" sway -c "$dir/config" > "$dir/log" 2>&1 &
sway_pid=$!
socket="" ipc=""
for _ in $(seq 1 200); do
  socket=$(find "$runtime" -maxdepth 1 -type s -name 'wayland-*' 2>/dev/null | head -n 1)
  ipc=$(find "$runtime" -maxdepth 1 -type s -name 'sway-ipc.*' 2>/dev/null | head -n 1)
  [ -n "$socket" ] && [ -n "$ipc" ] && break
  kill -0 "$sway_pid" 2>/dev/null || break
  sleep 0.05
done
if [ -z "$socket" ] || [ -z "$ipc" ]; then
  cat "$dir/log" >&2
  kill "$sway_pid" 2>/dev/null
  rm -rf "$dir"
  echo "with_sway: sway did not start" >&2
  exit 1
fi
export WAYLAND_DISPLAY="$socket" SWAYSOCK="$ipc"
unset DISPLAY
# The seat has a keyboard from the start, as a desktop's has: a virtual one
# that stays for the whole run. Without it every wtype would add the seat's
# only keyboard and take it away again, and a client loses its keyboard
# focus (its window goes inactive) when the seat's last keyboard goes. Its
# one key, before any client runs, makes it the seat's current keyboard, so
# that a window given the focus is told it has the keyboard.
wtype -k Shift_L -s 86400000 &
keyboard_pid=$!
status=0
"$@" || status=$?
kill "$keyboard_pid" 2>/dev/null
kill "$sway_pid" 2>/dev/null
wait "$sway_pid" 2>/dev/null
rm -rf "$dir"
exit "$status"
