#!/usr/bin/env bash
# On a desktop scaled by 2 the window is twice the size, the skin is scaled
# by whole pixels without blur, and a tap at twice a button's skin
# coordinates is a tap on that button.
#   hidpi_test.sh QUILLON CHECKER [SCREENSHOT_OUT]
set -u
QUILLON=$1
CHECK=$2
SHOT_OUT=${3:-}
. "$(dirname "$0")/lib.sh"

e2e_setup hidpi
e2e_input 4
export QT_SCALE_FACTOR=2
e2e_start "$QUILLON"
size=$(e2e_window_rect | awk '{print $3 "x" $4}')
[ "$size" = "480x588" ] || e2e_fail "the window is $size, not 480x588"

if e2e_wayland; then
  # No pointer: the controls by name. The accessibility bus measures in the
  # toolkit's units (the skin is 240 of them wide at any scale), and Record
  # lies where the skin has it.
  read -r x y w _ <<< "$(e2e_a11y extents Recorder)"
  read -r rx ry rw rh <<< "$(e2e_a11y extents Record)"
  [ "$w $((rx - x)) $((ry - y)) $rw $rh" = "240 5 84 28 28" ] || e2e_fail "Record lies at $rx $ry $rw $rh in $x $y $w"
  e2e_press Record
  sleep 1
  e2e_press Stop
else
  set -- $E2E_RECORD
  e2e_tap $(($1 * 2)) $(($2 * 2))
  sleep 1
  set -- $E2E_STOP
  e2e_tap $(($1 * 2)) $(($2 * 2))
fi
sleep 0.5
[ -f "$HOME/Documents/Quillon/Recording00.wav" ] || e2e_fail "a tap at twice Record's coordinates did not record"
e2e_shot "$E2E_DIR/shot.png"
e2e_stop
"$CHECK" prefix "$E2E_IN" "$HOME/Documents/Quillon/Recording00.wav" 650 || e2e_fail "the recording"

# Whole-pixel scaling: every 2 x 2 block of the skin above the list is one colour.
convert "$E2E_DIR/shot.png" -crop 480x236+0+0 +repage "$E2E_DIR/skin.png"
convert "$E2E_DIR/skin.png" -sample 50% -sample 200% "$E2E_DIR/blocks.png"
differing=$(compare -metric AE "$E2E_DIR/skin.png" "$E2E_DIR/blocks.png" null: 2>&1 || true)
e2e_log "pixels off their 2 x 2 block: $differing"
[ "${differing%%.*}" -eq 0 ] 2>/dev/null || e2e_fail "the skin is not scaled by whole pixels ($differing pixels differ)"
if [ -n "$SHOT_OUT" ]; then cp "$E2E_DIR/shot.png" "$SHOT_OUT"; fi
e2e_log "scaled by 2: sharp, and the pen lands where it is tapped"
