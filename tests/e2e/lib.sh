# Shared by the end-to-end scripts: a private home for the real program,
# ALSA's default device pointed at files (or, with E2E_SOUND=pulse, a
# private PulseAudio daemon whose pipes are files: pulse.sh), an X display
# (Xvfb), and taps at skin coordinates with xdotool. Source it, then call
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
  export QT_QPA_PLATFORM=xcb
  unset QT_SCALE_FACTOR
  unset QUILLON_WAVE_BACKEND
  trap e2e_cleanup EXIT
}

e2e_cleanup() {
  if [ -n "${QUILLON_PID:-}" ] && kill -0 "$QUILLON_PID" 2>/dev/null; then kill -9 "$QUILLON_PID" 2>/dev/null; fi
  # A folder a script mounted something on (E2E_MOUNT) is let go first.
  if [ -n "${E2E_MOUNT:-}" ]; then umount "$E2E_MOUNT" 2>/dev/null; fi
  e2e_pulse_stop
  if [ -n "${E2E_DRAIN_PID:-}" ]; then
    # The loop stops after its reader's next end of file; a writer that
    # opens and closes the pipe gives the reader, waiting in its open, one.
    touch "$E2E_DIR/drained"
    timeout 2 sh -c ': > "$1"' sh "$E2E_DIR/out.fifo" 2>/dev/null
    wait "$E2E_DRAIN_PID" 2>/dev/null
  fi
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
    WID=$(xdotool search --onlyvisible --name '^Quillon$' 2>/dev/null | head -n 1)
    [ -n "$WID" ] && break
    kill -0 "$QUILLON_PID" 2>/dev/null || { cat "$E2E_DIR/quillon.log" >&2; e2e_fail "the program ended at start"; }
    sleep 0.05
  done
  [ -n "$WID" ] || e2e_fail "no window titled Quillon"
  # Let it paint.
  sleep 0.5
}

# e2e_tap X Y: a pen tap at window (skin) coordinates.
e2e_tap() {
  xdotool mousemove --window "$WID" "$1" "$2" mousedown 1 sleep 0.05 mouseup 1
  sleep 0.2
}

# e2e_key KEY: a key press and release (xdotool key names: F1, Return, Up, ...).
e2e_key() {
  xdotool key --window "$WID" "$1"
  sleep 0.2
}

# e2e_refocus: gives the main window the keyboard again after a window of
# its own (a box, the sheet) has closed, as a desktop's window manager does;
# Xvfb runs none.
e2e_refocus() {
  xdotool windowfocus --sync "$WID" 2>/dev/null
  sleep 0.2
}

# e2e_shot FILE: a screenshot of the main window.
e2e_shot() { import -window "$WID" "$1" || e2e_fail "no screenshot"; }

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
