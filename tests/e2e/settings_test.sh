#!/usr/bin/env bash
# A person changes the recording format: Tools > Settings..., the format
# slider to its last position ("High Fidelity"), OK, then records. The new
# file is 22050 Hz 16-bit PCM, and after a restart the choice is still there.
# The sheet lies exactly over the window's client area.
#   settings_test.sh QUILLON CHECKER
set -u
QUILLON=$1
CHECK=$2
. "$(dirname "$0")/lib.sh"

e2e_setup settings
e2e_input 8
e2e_accessibility
e2e_start "$QUILLON"

e2e_shot "$E2E_DIR/skin.png"
# Tools is the drop-down at the left of the menu bar; Settings... is its third
# command. No pointer on Wayland: Alt+T opens it, as its underlined T says.
if e2e_wayland; then
  e2e_keys alt+t Down Down Down Return
else
  e2e_tap 20 281
  e2e_keys Down Down Down Return
fi
sleep 0.8
# Over the window's client area, exactly: where the accessibility bus says
# it is (from the skin's corner, the client area's, over the window's whole
# size), and what the screenshot shows (the skin's dark panel is gone).
read -r sx sy sw sh <<< "$(e2e_a11y extents Settings)" || e2e_fail "no sheet"
read -r kx ky _ _ <<< "$(e2e_a11y extents Recorder)"
read -r _ _ ww wh <<< "$(e2e_window_rect)"
[ "$sx $sy $sw $sh" = "$kx $ky $ww $wh" ] ||
  e2e_fail "the sheet lies at $sx $sy, ${sw}x$sh; the client area at $kx $ky, ${ww}x$wh"
e2e_shot "$E2E_DIR/sheet.png"
skin_dark=$(e2e_dark_pixels "$E2E_DIR/skin.png" 0 0 240 118)
sheet_dark=$(e2e_dark_pixels "$E2E_DIR/sheet.png" 0 0 240 118)
e2e_log "dark pixels over the skin's top: $skin_dark without the sheet, $sheet_dark with it"
[ "$sheet_dark" -lt $((skin_dark / 4)) ] || e2e_fail "the sheet does not cover the skin"
# The format slider sits below "Select recording format:"; End moves it to the last position.
if e2e_wayland; then
  e2e_a11y focus "Select recording format"
else
  e2e_tap 100 116
fi
e2e_keys End
sleep 0.3
e2e_keys Return
sleep 0.5

e2e_press Record
sleep 1
e2e_press Stop
first="$HOME/Documents/Quillon/Recording00.wav"
[ -f "$first" ] || e2e_fail "nothing recorded"
format=$("$CHECK" format "$first")
[ "$format" = "22050 16 1" ] || e2e_fail "recorded as '$format', not 22050 Hz 16-bit mono PCM"
e2e_stop
[ "$("$CHECK" formatid "$XDG_CONFIG_HOME/quillon/settings.dat")" = 64 ] || e2e_fail "the format was not saved"

# After a restart the next recording has the same format.
e2e_start "$QUILLON"
e2e_press Record
sleep 1
e2e_press Stop
e2e_stop
format=$("$CHECK" format "$HOME/Documents/Quillon/Recording01.wav")
[ "$format" = "22050 16 1" ] || e2e_fail "after a restart recorded as '$format'"
e2e_log "the format chosen on the sheet records and stays"
