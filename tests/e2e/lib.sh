# Shared by the end-to-end scripts: a private home for the real program,
# ALSA's default device pointed at files (or, with E2E_SOUND=pulse, a
# private PulseAudio daemon whose pipes are files: pulse.sh), a private D-Bus
# session, and a display: an X server (Xvfb, with_xvfb.sh) driven with
# xdotool, or a Wayland compositor (headless sway, with_sway.sh;
# WAYLAND_DISPLAY is set) driven with wtype, grim, swaymsg and the
# accessibility actions, since its seat has no pointer. Source it, then call
# e2e_setup.
#
# Variables after e2e_setup:
#   E2E_DIR      the private folder (home, configuration, runtime, audio files)
#   E2E_IN       the raw file the "microphone" reads (8000 Hz 16-bit mono by default)
#   E2E_OUT      the raw file everything played is appended to
#   QUILLON_PID  the running program (after e2e_start)
#   WID          its main window (after e2e_start)

set -u
. "$(dirname "${BASH_SOURCE[0]}")/pulse.sh"

# A sanitizer build of the program runs several times slower than a plain
# one: E2E_TIME_SCALE (default 1) stretches every wait the scripts make with
# sleep by that factor.
if [ "${E2E_TIME_SCALE:-1}" != 1 ]; then
  sleep() { command sleep "$(awk -v t="$1" -v k="$E2E_TIME_SCALE" 'BEGIN { print t * k }')"; }
fi

e2e_fail() {
  echo "FAIL: $*" >&2
  exit 1
}

e2e_log() { echo "e2e: $*"; }

# e2e_setup NAME: private folders, ALSA configuration and an X display.
e2e_setup() {
  E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/quillon-e2e-$1.XXXXXX")
  export HOME="$E2E_DIR/home"
  export XDG_CONFIG_HOME="$HOME/.config"
  export XDG_DATA_HOME="$HOME/.local/share"
  export XDG_RUNTIME_DIR="$E2E_DIR/runtime"
  mkdir -p "$HOME/Documents" "$XDG_CONFIG_HOME/alsa" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  # The documents folder as the desktop names it.
  printf 'XDG_DOCUMENTS_DIR="$HOME/Documents"\n' > "$XDG_CONFIG_HOME/user-dirs.dirs"
  E2E_IN="$E2E_DIR/in.raw"
  E2E_OUT="$E2E_DIR/out.raw"
  : > "$E2E_OUT"
  # Playback goes through a pipe that one reader drains into E2E_OUT, so
  # that every opening of the device appends instead of starting the file anew.
  mkfifo "$E2E_DIR/out.fifo"
  ( while [ ! -e "$E2E_DIR/drained" ]; do cat "$E2E_DIR/out.fifo" >> "$E2E_OUT" || break; done ) \
    < /dev/null > /dev/null 2>&1 &
  E2E_DRAIN_PID=$!
  # A writer held open for the whole script: the reader then meets no end of
  # file between two openings of the device. Otherwise a device opened just
  # as the reader left (the format's query closes it, the stream opens it
  # again) writes into a pipe nobody reads, and fails (EPIPE).
  sleep infinity > "$E2E_DIR/out.fifo" 2>/dev/null &
  E2E_HOLD_PID=$!
  trap e2e_cleanup EXIT
  # Before the sound server: it, too, finds the session's bus.
  e2e_session_bus
  if [ "${E2E_SOUND:-alsa}" = pulse ]; then
    e2e_pulse_start
  else
    cat > "$XDG_CONFIG_HOME/alsa/asoundrc" <<EOF
pcm.!default {
  type file
  slave.pcm "null"
  format "raw"
  file "$E2E_DIR/out.fifo"
  infile "$E2E_IN"
}
EOF
    # No sound server may take the default device over.
    export PULSE_SERVER=unix:/nonexistent
  fi
  if [ -n "${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=wayland
    unset DISPLAY
  else
    export QT_QPA_PLATFORM=xcb
  fi
  unset QT_SCALE_FACTOR
  unset QUILLON_WAVE_BACKEND
  # No pointer on the compositor's seat: what needs one goes through the
  # accessibility actions.
  if e2e_wayland; then e2e_accessibility; fi
}

e2e_wayland() { [ -n "${WAYLAND_DISPLAY:-}" ]; }

# e2e_sway_window: the con id and the client area (x y width height) of the
# first window of app_id $1 (quillon by default), nothing when none shows.
e2e_sway_window() {
  swaymsg -t get_tree 2>/dev/null | /usr/bin/python3 -c '
import json, sys
want = sys.argv[1]
def walk(node):
    if node.get("app_id") == want and node.get("visible", True):
        r, w = node["rect"], node["window_rect"]
        print(node["id"], r["x"] + w["x"], r["y"] + w["y"], w["width"], w["height"], int(node.get("focused", False)))
        sys.exit(0)
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        walk(child)
walk(json.load(sys.stdin))' "${1:-quillon}"
}

# e2e_session_bus: a D-Bus session of the script's own, so that the program's
# media-player name and the accessibility bus are nobody else's.
e2e_session_bus() {
  dbus-daemon --session --fork --nosyslog --print-address=3 --print-pid=4 \
    3> "$E2E_DIR/bus.address" 4> "$E2E_DIR/bus.pid" || e2e_fail "no D-Bus session"
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$E2E_DIR/bus.address")
  export DBUS_SESSION_BUS_ADDRESS
  E2E_BUS_PID=$(head -n 1 "$E2E_DIR/bus.pid")
}

# e2e_accessibility: turns the desktop's accessibility on, as a screen reader
# does when it starts; the program then shows itself on the accessibility bus.
e2e_accessibility() {
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
    string:org.a11y.Status string:IsEnabled variant:boolean:true > /dev/null || e2e_fail "no accessibility bus"
  E2E_A11Y=1
}

# e2e_a11y COMMAND ARGS...: the screen reader's client (atspi_client.py).
e2e_a11y() { /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/atspi_client.py" "$@"; }

e2e_cleanup() {
  if [ -n "${QUILLON_PID:-}" ] && kill -0 "$QUILLON_PID" 2>/dev/null; then kill -9 "$QUILLON_PID" 2>/dev/null; fi
  # A folder a script mounted something on (E2E_MOUNT) is let go first.
  if [ -n "${E2E_MOUNT:-}" ]; then umount "$E2E_MOUNT" 2>/dev/null; fi
  e2e_pulse_stop
  if [ -n "${E2E_DRAIN_PID:-}" ]; then
    # The loop stops after its reader's next end of file; a writer that
    # opens and closes the pipe gives the reader, waiting in its open, one.
    touch "$E2E_DIR/drained"
    if [ -n "${E2E_HOLD_PID:-}" ]; then kill "$E2E_HOLD_PID" 2>/dev/null; wait "$E2E_HOLD_PID" 2>/dev/null; fi
    timeout 2 sh -c ': > "$1"' sh "$E2E_DIR/out.fifo" 2>/dev/null
    wait "$E2E_DRAIN_PID" 2>/dev/null
  fi
  if [ -n "${E2E_OTHER_PID:-}" ]; then kill "$E2E_OTHER_PID" 2>/dev/null; fi
  # The accessibility bus's launcher ends with the session it serves.
  if [ -n "${E2E_BUS_PID:-}" ]; then kill "$E2E_BUS_PID" 2>/dev/null; fi
  if [ "${E2E_KEEP:-0}" = 1 ]; then echo "kept $E2E_DIR"; else rm -rf "$E2E_DIR"; fi
}

# e2e_input SECONDS: a voice-like microphone signal (16-bit 8000 Hz mono),
# stretched as the waits are (E2E_TIME_SCALE), so that it outlasts them.
e2e_input() {
  local seconds
  seconds=$(awk -v t="$1" -v k="${E2E_TIME_SCALE:-1}" 'BEGIN { print t * k }')
  sox -n -r 8000 -c 1 -b 16 -e signed-integer -t raw "$E2E_IN" \
    synth "$seconds" sine 300-900 tremolo 3 80 vol 0.6 2>/dev/null || e2e_fail "sox cannot make the input"
}

# e2e_start PROGRAM [ARGS...]: starts it and waits for its window.
e2e_start() {
  "$@" > "$E2E_DIR/quillon.log" 2>&1 &
  QUILLON_PID=$!
  WID=""
  for _ in $(seq 1 200); do
    if e2e_wayland; then
      WID=$(e2e_sway_window | cut -d' ' -f1)
    else
      WID=$(xdotool search --onlyvisible --name '^Quillon$' 2>/dev/null | head -n 1)
    fi
    [ -n "$WID" ] && break
    kill -0 "$QUILLON_PID" 2>/dev/null || { cat "$E2E_DIR/quillon.log" >&2; e2e_fail "the program ended at start"; }
    sleep 0.05
  done
  [ -n "$WID" ] || e2e_fail "no window titled Quillon"
  # Let it paint (and, with a screen reader, show itself on its bus).
  sleep 0.5
  # The headless seat's keyboard tells the new window it has the keyboard
  # only with a key: a Shift, as a person's first touch of the keyboard.
  if e2e_wayland; then wtype -s 1000 -k Shift_L; fi
  if [ "${E2E_A11Y:-0}" = 1 ]; then e2e_a11y wait || e2e_fail "the program is not on the accessibility bus"; fi
}

# e2e_tap X Y: a pen tap at window (skin) coordinates (X11 only: the
# compositor's seat has no pointer; e2e_press names the control instead).
e2e_tap() {
  e2e_wayland && e2e_fail "no pointer on Wayland: tap ($1, $2) by name"
  xdotool mousemove --window "$WID" "$1" "$2" mousedown 1 sleep 0.05 mouseup 1
  sleep 0.2
}

# e2e_press NAME: a tap on the skin's control NAME (its accessible name): at
# its coordinates on X11, its accessibility action on Wayland.
e2e_press() {
  if e2e_wayland; then
    e2e_a11y press "$1" || e2e_fail "no control named $1"
    sleep 0.2
    return
  fi
  case "$1" in
    Record) e2e_tap $E2E_RECORD ;;
    Play) e2e_tap $E2E_PLAY ;;
    Stop) e2e_tap $E2E_STOP ;;
    "Next track") e2e_tap $E2E_NEXT ;;
    *) e2e_fail "no coordinates for $1" ;;
  esac
}

# e2e_keys KEY...: key presses and releases (keysym names: F1, Return, Down,
# End, alt+t, ...) to the window with the keyboard. wtype makes a new virtual
# keyboard each time: the program gets a second to see it first.
e2e_keys() {
  if e2e_wayland; then
    local args=(-s 1000) key
    for key in "$@"; do
      case "$key" in
        alt+*) args+=(-M alt -k "${key#alt+}" -m alt -s 100) ;;
        *) args+=(-k "$key" -s 100) ;;
      esac
    done
    wtype "${args[@]}" || e2e_fail "wtype"
  else
    xdotool key "$@"
  fi
  sleep 0.2
}

# e2e_key KEY: one key press and release at the main window.
e2e_key() {
  if e2e_wayland; then
    e2e_keys "$1"
  else
    xdotool key --window "$WID" "$1"
    sleep 0.2
  fi
}

# e2e_refocus: gives the main window the keyboard again after a window of
# its own (a box, the sheet) has closed, as a desktop's window manager does;
# Xvfb runs none.
e2e_refocus() {
  if e2e_wayland; then
    swaymsg "[con_id=$WID] focus" > /dev/null
  else
    xdotool windowfocus --sync "$WID" 2>/dev/null
  fi
  sleep 0.2
}

# e2e_window_rect: the main window's client area on the screen, "X Y W H".
e2e_window_rect() {
  if e2e_wayland; then
    e2e_sway_window | cut -d' ' -f2-5
  else
    xwininfo -id "$WID" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
      /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
  fi
}

# e2e_shot FILE: a screenshot of the main window's client area.
e2e_shot() {
  if e2e_wayland; then
    local x y w h
    read -r x y w h <<< "$(e2e_window_rect)"
    grim -g "$x,$y ${w}x$h" "$1" || e2e_fail "no screenshot"
  else
    import -window "$WID" "$1" || e2e_fail "no screenshot"
  fi
}

# e2e_stop: SIGTERM, as a desktop session ends programs; waits for the exit.
e2e_stop() {
  kill -TERM "$QUILLON_PID"
  local status=0
  wait "$QUILLON_PID" || status=$?
  QUILLON_PID=""
  [ "$status" -eq 0 ] || { cat "$E2E_DIR/quillon.log" >&2; e2e_fail "exit status $status after SIGTERM"; }
}

# e2e_dark_pixels FILE X Y W H: how many pixels of the area are dark (text).
e2e_dark_pixels() {
  convert "$1" -crop "$4x$5+$2+$3" +repage -colorspace Gray -threshold 50% -negate -format '%[fx:int(mean*w*h+0.5)]' info:
}

# e2e_other_window: another program's window takes the keyboard (xmessage
# on X11; on Wayland the error box of quillon-e2e-box, E2E_BOX).
e2e_other_window() {
  if e2e_wayland; then
    [ -n "${E2E_BOX:-}" ] || e2e_fail "E2E_BOX names no program"
    "$E2E_BOX" "another program" > /dev/null 2>&1 &
    E2E_OTHER_PID=$!
    for _ in $(seq 1 100); do
      [ "$(e2e_sway_window quillon-e2e-box | cut -d' ' -f6)" = 1 ] && return 0
      sleep 0.05
    done
    e2e_fail "the other window did not take the keyboard"
  fi
  xmessage -name other -geometry 200x60+400+400 "another program" > /dev/null 2>&1 &
  E2E_OTHER_PID=$!
  local other=""
  for _ in $(seq 1 100); do
    other=$(xdotool search --onlyvisible --classname '^other$' 2>/dev/null | head -n 1)
    [ -n "$other" ] && break
    sleep 0.05
  done
  [ -n "$other" ] || e2e_fail "the other window did not show"
  xdotool windowfocus --sync "$other" 2>/dev/null
  [ "$(xdotool getwindowfocus)" = "$other" ] || e2e_fail "the other window did not take the keyboard"
}

# e2e_second_start PROGRAM: starts it again as a launcher would, with an
# activation token: on Wayland one the compositor made (quillon-e2e-token,
# E2E_TOKEN_TOOL), on X11 a startup id (without a _TIME part: the script
# knows no server time); its exit status is the function's.
e2e_second_start() {
  if e2e_wayland; then
    E2E_TOKEN=$("$E2E_TOKEN_TOOL") || e2e_fail "no activation token from the compositor"
    XDG_ACTIVATION_TOKEN="$E2E_TOKEN" timeout 20 "$1" > /dev/null 2>&1
  else
    E2E_TOKEN="quillon-e2e-$$-$RANDOM"
    DESKTOP_STARTUP_ID="$E2E_TOKEN" timeout 20 "$1" > /dev/null 2>&1
  fi
}

# e2e_window_count: how many windows titled Quillon show.
e2e_window_count() {
  if e2e_wayland; then
    swaymsg -t get_tree | grep -c '"app_id": "quillon"'
  else
    xdotool search --onlyvisible --name '^Quillon$' | wc -l
  fi
}

# e2e_check_activated: the running window took the second start's token and
# has the keyboard again.
e2e_check_activated() {
  local id="" focus=""
  for _ in $(seq 1 100); do
    if e2e_wayland; then
      [ "$(e2e_sway_window | cut -d' ' -f6)" = 1 ] && { kill "$E2E_OTHER_PID" 2>/dev/null; return 0; }
    else
      id=$(xprop -id "$WID" _NET_STARTUP_ID | sed -n 's/.*= "\(.*\)"/\1/p')
      focus=$(xdotool getwindowfocus)
      [ "$id" = "$E2E_TOKEN" ] && [ "$focus" = "$WID" ] && break
    fi
    sleep 0.05
  done
  e2e_wayland && e2e_fail "the window did not come forward with the token"
  [ "$id" = "$E2E_TOKEN" ] || e2e_fail "the window carries startup id '$id', not the second start's"
  [ "$focus" = "$WID" ] || e2e_fail "the window did not come forward"
  kill "$E2E_OTHER_PID" 2>/dev/null
}

# Skin coordinates of the transport buttons (their centres).
E2E_RECORD="19 98"
E2E_PLAY="54 98"
E2E_STOP="89 98"
E2E_NEXT="221 98"

# e2e_input_position: how far the running program's device has read the
# microphone's file (ALSA's file plugin reads it as it captures).
e2e_input_position() {
  local fd
  for fd in /proc/"$QUILLON_PID"/fd/*; do
    if [ "$(readlink "$fd")" = "$E2E_IN" ]; then
      awk '/^pos:/ {print $2}' /proc/"$QUILLON_PID"/fdinfo/"${fd##*/}"
      return 0
    fi
  done
  return 1
}

# ---- message boxes ----------------------------------------------------------
# A box's text is read by its looks: a screenshot of it is compared with the
# program's own box (quillon-e2e-box) showing the expected text.

# e2e_box_window: a visible window titled Quillon other than the main one.
e2e_box_window() {
  local w
  for w in $(xdotool search --onlyvisible --name '^Quillon$' 2>/dev/null); do
    [ "$w" != "$WID" ] && { echo "$w"; return 0; }
  done
  return 1
}

# e2e_reference_box BOX TEXT FILE: a screenshot of the error box showing TEXT
# ("\n" a line break), shown on its own by the program BOX.
e2e_reference_box() {
  local pid w=""
  "$1" "$2" > /dev/null 2>&1 &
  pid=$!
  for _ in $(seq 1 100); do
    w=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Quillon$' 2>/dev/null | head -n 1)
    [ -n "$w" ] && break
    sleep 0.1
  done
  [ -n "$w" ] || e2e_fail "the reference box does not show"
  sleep 0.5
  import -window "$w" "$3" || e2e_fail "no screenshot of the reference box"
  kill "$pid"
  wait "$pid" 2>/dev/null
}

# e2e_differing A.png B.png: how many pixels differ (fuzz for anti-aliasing);
# images of different sizes count as all.
e2e_differing() {
  local a b
  a=$(identify -format '%wx%h' "$1")
  b=$(identify -format '%wx%h' "$2")
  [ "$a" = "$b" ] || { echo 999999; return; }
  compare -metric AE -fuzz 10% "$1" "$2" null: 2>&1 | cut -d' ' -f1
}
