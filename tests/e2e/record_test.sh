#!/usr/bin/env bash
# A person records: starts the program (a second start only brings it
# forward), taps Record, waits, taps Stop, sees the recording in the list,
# and the desktop session ends the program with SIGTERM. The file holds
# the GSM coding of the microphone's input from its first sample, and
# settings.dat holds the defaults. With E2E_SOUND=pulse the same through a
# private sound server: its microphone starts as Record is tapped.
#   record_test.sh QUILLON CHECKER [SCREENSHOT_OUT]
set -u
QUILLON=$1
CHECK=$2
SHOT_OUT=${3:-}
. "$(dirname "$0")/lib.sh"

e2e_setup record
e2e_input 6
e2e_start "$QUILLON"
# A second start, launched while another window has the keyboard, brings
# this window forward with its activation token and ends with -1.
e2e_other_window
status=0
e2e_second_start "$QUILLON" || status=$?
[ "$status" -eq 255 ] || e2e_fail "a second start ended with $status, not -1"
[ "$(e2e_window_count)" -eq 1 ] || e2e_fail "a second window opened"
e2e_check_activated
e2e_shot "$E2E_DIR/before.png"

e2e_press Record
e2e_mic_on
sleep 2
e2e_press Stop
sleep 0.5
e2e_shot "$E2E_DIR/after.png"

recording="$HOME/Documents/Quillon/Recording00.wav"
[ -f "$recording" ] || e2e_fail "no $recording"
# The list's first row (below its folder chooser) shows the new file.
before=$(e2e_dark_pixels "$E2E_DIR/before.png" 4 146 150 16)
after=$(e2e_dark_pixels "$E2E_DIR/after.png" 4 146 150 16)
e2e_log "dark pixels in the list's first row: $before before, $after after"
[ "$after" -gt $((before + 40)) ] || e2e_fail "the recording does not show in the list"

e2e_stop
# Two seconds at 1625 bytes a second, less the taps' latency.
"$CHECK" prefix "$E2E_IN" "$recording" 1300 || e2e_fail "the recording is not the input's GSM coding"
"$CHECK" defaults "$XDG_CONFIG_HOME/quillon/settings.dat" || e2e_fail "settings.dat"
if [ -n "$SHOT_OUT" ]; then cp "$E2E_DIR/after.png" "$SHOT_OUT"; fi
e2e_log "recorded, listed and closed cleanly"
