#!/usr/bin/env bash
# A person's ordinary sequences, with real keys and the pointer:
#  - during a recording: Tools > Settings... closed with Return, a rename
#    typed and committed with Return, a delete question answered with
#    Return: the recording goes on, nothing plays;
#  - an error box dismissed with Return does not play the file again;
#  - an empty folder chosen: Play is off and Return plays nothing; back in
#    "All Folders" Return plays the first recording;
#  - voice activation on, the session ends the program: it is on at the next start.
#   sequences_test.sh QUILLON CHECKER
set -u
QUILLON=$1
CHECK=$2
. "$(dirname "$0")/lib.sh"

e2e_setup sequences
e2e_input 20
docs="$HOME/Documents/Quillon"
mkdir -p "$docs" "$HOME/Documents/Empty" "$XDG_CONFIG_HOME/quillon"
sox -n -r 8000 -c 1 -b 16 "$docs/A.wav" synth 0.4 sine 500 vol 0.4 2>/dev/null || e2e_fail "sox"
sox -n -r 8000 -c 1 -b 16 "$docs/B.wav" synth 0.4 sine 700 vol 0.4 2>/dev/null || e2e_fail "sox"
"$CHECK" settings "$XDG_CONFIG_HOME/quillon/settings.dat" 8192 || e2e_fail "settings.dat"
recording="$docs/Recording00.wav"

heard() { stat -c %s "$E2E_OUT"; }
# still_recording WHAT: the recording grows (a Play/Pause would have ended
# it and played it), and it is still the first one.
still_recording() {
  local before after
  before=$(stat -c %s "$recording" 2>/dev/null || echo 0)
  sleep 0.8
  after=$(stat -c %s "$recording" 2>/dev/null || echo 0)
  [ "$after" -gt "$before" ] || e2e_fail "$1 ended the recording ($before then $after bytes)"
  [ ! -e "$docs/Recording01.wav" ] || e2e_fail "$1 started another recording"
  e2e_log "$1: still recording"
}
# Windows titled Quillon other than the main one (boxes).
boxes() { xdotool search --onlyvisible --name '^Quillon$' 2>/dev/null | grep -vx "$WID" | wc -l; }

e2e_start "$QUILLON"
e2e_tap $E2E_RECORD
sleep 0.5
# Tools > Settings..., Return on the sheet: its release lands on the window.
e2e_tap 20 281
xdotool key Down Down Down Return
sleep 0.8
xdotool key Return
sleep 0.3
still_recording "Return closing the sheet"
e2e_refocus
# The first row (A) renamed with the context menu and Return.
xdotool mousemove --window "$WID" 60 151 click 3
sleep 0.4
xdotool key Down Down Return
sleep 0.4
xdotool key ctrl+a
xdotool type Alpha
xdotool key Return
sleep 0.6
[ -f "$docs/Alpha.wav" ] || e2e_fail "the rename did not happen"
still_recording "Return committing a rename"
# Delete asked for the first row (now Alpha); Return takes the default, No.
xdotool mousemove --window "$WID" 60 151 click 3
sleep 0.4
xdotool key Down Return
sleep 0.6
xdotool key Return
sleep 0.3
[ -f "$docs/Alpha.wav" ] || e2e_fail "Return deleted the file"
still_recording "Return answering the delete question"
e2e_refocus
e2e_tap $E2E_STOP
sleep 0.3

# A broken file tapped: its box dismissed with Return, once.
printf 'RIFF\x10\x00\x00\x00WAVEjunk%0200d' 0 > "$docs/Broken.wav"
sleep 0.6
xdotool mousemove --window "$WID" 60 181 click 1   # the third row: Alpha, B, Broken
sleep 0.6
[ "$(boxes)" -eq 1 ] || e2e_fail "no box for the broken file"
xdotool key Return
sleep 0.8
[ "$(boxes)" -eq 0 ] || e2e_fail "the box came back: Return acted again on the window"
e2e_refocus

# An empty folder: the chooser above the rows, Down to "Empty", Return.
xdotool mousemove --window "$WID" 60 129 click 1
sleep 0.5
xdotool key Down Return
sleep 0.6
: > "$E2E_OUT"
xdotool key --window "$WID" Return
sleep 0.8
[ "$(heard)" -eq 0 ] || e2e_fail "Return played a file the empty folder does not show"
# Back to All Folders: Return plays the first recording.
xdotool mousemove --window "$WID" 60 129 click 1
sleep 0.5
xdotool key Up Return
sleep 0.6
xdotool key --window "$WID" Return
sleep 1
[ "$(heard)" -gt 0 ] || e2e_fail "Return played nothing in All Folders"
e2e_stop
e2e_log "keys and folders behaved"

# Voice activation on at start; the session ends the program: still on.
"$CHECK" settings "$XDG_CONFIG_HOME/quillon/settings.dat" 8192 VasMode=2 || e2e_fail "settings.dat"
e2e_start "$QUILLON"
e2e_stop
[ "$("$CHECK" get "$XDG_CONFIG_HOME/quillon/settings.dat" VasMode)" = 2 ] || e2e_fail "voice activation was not kept"
e2e_log "voice activation kept over the end of the session"
