#!/usr/bin/env bash
# A screen-reader user records: the client (pyatspi on the real
# accessibility bus) finds the controls by name alone, with their roles and
# states, presses Record, reads the time text while it runs, presses Stop;
# the file holds the microphone's input. The keyboard walks the controls.
#   a11y_test.sh QUILLON CHECKER
set -u
QUILLON=$1
CHECK=$2
. "$(dirname "$0")/lib.sh"

e2e_setup a11y
e2e_input 8
e2e_accessibility
e2e_start "$QUILLON"
e2e_a11y wait || e2e_fail "the program is not on the accessibility bus"

# Names and roles, as a screen reader lists them.
expect() { [ "$2" = "$3" ] || e2e_fail "$1: '$2', not '$3'"; }
for name in Record Play Stop Rewind Forward "Previous track" "Next track"; do
  expect "role of $name" "$(e2e_a11y role "$name")" "push button"
done
expect "role of Voice activation" "$(e2e_a11y role "Voice activation")" "check box"
for name in Volume Position Threshold; do expect "role of $name" "$(e2e_a11y role "$name")" slider; done
expect "role of Level" "$(e2e_a11y role Level)" "progress bar"
expect "role of Time" "$(e2e_a11y role Time)" label
for name in Tools "Display Off" "Switch Play Mode" Recordings; do e2e_a11y role "$name" > /dev/null || e2e_fail "no $name"; done
# Nothing to play yet: Play is disabled, Record is not.
e2e_a11y states Play | grep -qx enabled && e2e_fail "Play is enabled with nothing to play"
e2e_a11y states Record | grep -qx enabled || e2e_fail "Record is disabled"
expect "time before recording" "$(e2e_a11y text Time)" "00:00:00"

e2e_a11y press Record
sleep 2.5
expect status "$(e2e_a11y text Status)" Recording
time=$(e2e_a11y text Time)
case "$time" in 00:00:0[1-9]) ;; *) e2e_fail "the time reads '$time' while recording" ;; esac
e2e_a11y press Stop
sleep 0.5
expect status "$(e2e_a11y text Status)" Stopped
recording="$HOME/Documents/Quillon/Recording00.wav"
[ -f "$recording" ] || e2e_fail "no $recording"
e2e_a11y states Play | grep -qx enabled || e2e_fail "Play is disabled with a recording to play"

# The VAS toggle is checked while on; a slider takes a value.
e2e_a11y press "Voice activation"
e2e_a11y states "Voice activation" | grep -qx checked || e2e_fail "Voice activation is not checked after a press"
e2e_a11y press "Voice activation"
e2e_a11y states "Voice activation" | grep -qx checked && e2e_fail "Voice activation stays checked"
e2e_a11y set Volume 40
volume=$(e2e_a11y value Volume)
[ "$volume" -ge 38 ] && [ "$volume" -le 42 ] || e2e_fail "the volume reads $volume after setting 40"

# The keyboard reaches the controls: focus on Record, Tab goes to Play.
e2e_refocus
e2e_a11y focus Record
e2e_a11y states Record | grep -qx focused || e2e_fail "Record did not take the focus"
e2e_key Tab
e2e_a11y states Play | grep -qx focused || e2e_fail "Tab did not move from Record to Play"

e2e_stop
"$CHECK" prefix "$E2E_IN" "$recording" 1300 || e2e_fail "the recording is not the input's GSM coding"
e2e_log "driven by names alone: recorded, read the time, stopped"
