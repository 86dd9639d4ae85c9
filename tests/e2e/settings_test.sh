#!/usr/bin/env bash
# A person changes the recording format: Tools > Settings..., the format
# slider to its last position ("High Fidelity"), OK, then records. The new
# file is 22050 Hz 16-bit PCM, and after a restart the choice is still there.
#   settings_test.sh QUILLON CHECKER
set -u
QUILLON=$1
CHECK=$2
. "$(dirname "$0")/lib.sh"

e2e_setup settings
e2e_input 8
e2e_start "$QUILLON"

# Tools is the drop-down at the left of the menu bar; Settings... is its third command.
e2e_tap 20 281
xdotool key Down Down Down Return
sleep 0.8
# The format slider sits below "Select recording format:"; End moves it to the last position.
e2e_tap 100 116
xdotool key End
sleep 0.3
xdotool key Return
sleep 0.5

e2e_tap $E2E_RECORD
sleep 1
e2e_tap $E2E_STOP
first="$HOME/Documents/Quillon/Recording00.wav"
[ -f "$first" ] || e2e_fail "nothing recorded"
format=$("$CHECK" format "$first")
[ "$format" = "22050 16 1" ] || e2e_fail "recorded as '$format', not 22050 Hz 16-bit mono PCM"
e2e_stop
[ "$("$CHECK" formatid "$XDG_CONFIG_HOME/quillon/settings.dat")" = 64 ] || e2e_fail "the format was not saved"

# After a restart the next recording has the same format.
e2e_start "$QUILLON"
e2e_tap $E2E_RECORD
sleep 1
e2e_tap $E2E_STOP
e2e_stop
format=$("$CHECK" format "$HOME/Documents/Quillon/Recording01.wav")
[ "$format" = "22050 16 1" ] || e2e_fail "after a restart recorded as '$format'"
e2e_log "the format chosen on the sheet records and stays"
