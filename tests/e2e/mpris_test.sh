#!/usr/bin/env bash
# The desktop's media keys and panel widgets: playerctl, the MPRIS client,
# on the script's own session bus finds the player as "quillon", plays,
# pauses, seeks, skips to the next recording and stops it, reads its status,
# title, length, loop status (the play mode) and volume, and sets the
# volume; each call does what the skin's button or slider would. The panel
# widgets are told of each change (PropertiesChanged, seen by dbus-monitor).
#   mpris_test.sh QUILLON CHECKER
set -u
QUILLON=$1
. "$(dirname "$0")/lib.sh"

e2e_setup mpris
e2e_input 2
mkdir -p "$HOME/Documents/Quillon"
for name in Alpha Beta; do
  sox -n -r 8000 -c 1 -b 16 "$HOME/Documents/Quillon/$name.wav" synth 4 sine 440 vol 0.3 2>/dev/null ||
    e2e_fail "sox cannot write $name.wav"
done
e2e_accessibility
e2e_start "$QUILLON"
dbus-monitor --session "type='signal',path='/org/mpris/MediaPlayer2',member='PropertiesChanged'" \
  > "$E2E_DIR/announced.log" 2>&1 &
MONITOR_PID=$!
trap 'kill $MONITOR_PID 2>/dev/null; e2e_cleanup' EXIT
pc() { playerctl --player=quillon "$@"; }
expect() { [ "$2" = "$3" ] || e2e_fail "$1: '$2', not '$3'"; }
# Waits until a PropertiesChanged announcement gave property $1 the string $2.
wait_announced() {
  for _ in $(seq 1 50); do
    grep -A1 "string \"$1\"" "$E2E_DIR/announced.log" | grep -q "string \"$2\"" && return 0
    sleep 0.1
  done
  cat "$E2E_DIR/announced.log" >&2
  e2e_fail "no announcement of $1 as $2"
}
# Waits until playerctl's STATUS reads $1.
wait_status() {
  local now=""
  for _ in $(seq 1 50); do
    now=$(pc status 2>/dev/null)
    [ "$now" = "$1" ] && return 0
    sleep 0.1
  done
  e2e_fail "the status is '$now', not '$1'"
}

expect players "$(playerctl --list-all)" quillon
wait_status Stopped
expect "loop status" "$(pc loop)" None
sleep 0.5  # the monitor is listening
pc play
wait_status Playing
wait_announced PlaybackStatus Playing
expect title "$(pc metadata xesam:title)" Alpha
expect length "$(pc metadata mpris:length)" 4000000
expect url "$(pc metadata xesam:url)" "file://$HOME/Documents/Quillon/Alpha.wav"
sleep 1
position=$(pc position)
e2e_log "position after a second: $position"
awk -v p="$position" 'BEGIN { exit !(p >= 0.5 && p <= 2.5) }' || e2e_fail "the position reads $position"
# SetPosition: the position slider, as a tap on it would set it.
pc position 3
sleep 0.3
position=$(pc position)
e2e_log "position after seeking to 3 s: $position"
awk -v p="$position" 'BEGIN { exit !(p >= 2.7 && p <= 3.6) }' || e2e_fail "the position reads $position after seeking to 3"
pc position 1
pc pause
wait_status Paused
pc play-pause
wait_status Playing
pc next
for _ in $(seq 1 50); do [ "$(pc metadata xesam:title)" = Beta ] && break; sleep 0.1; done
expect "title after next" "$(pc metadata xesam:title)" Beta
pc volume 0.4
sleep 0.3
volume=$(pc volume)
awk -v v="$volume" 'BEGIN { exit !(v >= 0.38 && v <= 0.42) }' || e2e_fail "the volume reads $volume after 0.4"
pc stop
wait_status Stopped
wait_announced PlaybackStatus Stopped
# The play mode's tool button: from "play one file" (the default) to
# "repeat one file", the track looping, then "play the list once" and
# "repeat the list", the playlist looping.
for loop in Track None Playlist; do
  e2e_a11y press "Switch Play Mode"
  for _ in $(seq 1 20); do [ "$(pc loop)" = "$loop" ] && break; sleep 0.1; done
  expect "loop status after switching the play mode" "$(pc loop)" "$loop"
  [ "$loop" = None ] || wait_announced LoopStatus "$loop"
done
# Raise brings the window forward.
dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.quillon /org/mpris/MediaPlayer2 \
  org.mpris.MediaPlayer2.Raise > /dev/null || e2e_fail "Raise"
e2e_stop
e2e_log "playerctl played, paused, skipped, set the volume and stopped"
