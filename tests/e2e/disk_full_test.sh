#!/usr/bin/env bash
# The disk fills up during a recording. The recording folder is a small
# tmpfs, mounted in a private mount namespace (unshare -Urm, so no privilege
# is needed). The program shows "IAudioStream::Write(): failed" and the
# system's "No space left on device" in its error box (a screenshot equal to
# the same box shown on its own), the view is stopped once the box is
# dismissed, and the file is valid and holds the input up to its last whole
# block. (A file-size limit is the same path; the controller tests cover it.)
#   disk_full_test.sh QUILLON CHECKER QUILLON_WAV BOX
set -u
if [ -z "${E2E_PRIVATE_MOUNTS:-}" ]; then
  E2E_PRIVATE_MOUNTS=1 exec unshare -Urm bash "$0" "$@"
fi
QUILLON=$1
CHECK=$2
WAV=$3
BOX=$4
. "$(dirname "$0")/lib.sh"

e2e_setup disk-full
e2e_input 30
folder="$HOME/Documents/Quillon"
mkdir -p "$folder" "$XDG_CONFIG_HOME/quillon"
# 64 KiB: four seconds of 8000 Hz 16-bit PCM.
capacity=65536
mount -t tmpfs -o size=$capacity,mode=755 quillon-full "$folder" || e2e_fail "cannot mount a tmpfs"
E2E_MOUNT=$folder
"$CHECK" settings "$XDG_CONFIG_HOME/quillon/settings.dat" 8192 || e2e_fail "settings.dat"

e2e_start "$QUILLON"
e2e_shot "$E2E_DIR/before.png"
e2e_tap $E2E_RECORD
sleep 0.5
e2e_shot "$E2E_DIR/during.png"

box=""
for _ in $(seq 1 150); do
  box=$(e2e_box_window) && break
  sleep 0.1
done
[ -n "$box" ] || e2e_fail "no message box after the disk filled up"
sleep 0.5
import -window "$box" "$E2E_DIR/box.png" || e2e_fail "no screenshot of the box"

# The same box shown on its own, with the expected text and with another one.
e2e_reference_box "$BOX" 'IAudioStream::Write(): failed\n\nNo space left on device' "$E2E_DIR/expected.png"
e2e_reference_box "$BOX" 'IAudioStream::Write(): failed\n\nNo space left on devic' "$E2E_DIR/other.png"
shown=$(e2e_differing "$E2E_DIR/box.png" "$E2E_DIR/expected.png")
other=$(e2e_differing "$E2E_DIR/box.png" "$E2E_DIR/other.png")
e2e_log "the box differs from the expected one in $shown pixels, from one a letter shorter in $other"
[ "$other" -gt 20 ] || e2e_fail "a different text would not show in the comparison"
[ "$shown" -le 5 ] || e2e_fail "the box does not show the expected text"

# The box goes on the key's press; X then refuses the release sent to it.
xdotool key --window "$box" Return 2>/dev/null
for _ in $(seq 1 50); do e2e_box_window > /dev/null || break; sleep 0.1; done
e2e_box_window > /dev/null && e2e_fail "the box does not close"
sleep 0.3
e2e_shot "$E2E_DIR/after.png"

# Stopped: the status icon, Record's face and the disabled Stop button look
# as before the recording, and unlike during it. (Play and the track buttons
# now have a file to act on.)
area_differs() {
  compare -metric AE -fuzz 10% "$1" "$2" -crop "$3" +repage null: 2>&1 | cut -d' ' -f1
}
for area in 10x10+29+7 34x28+2+84 34x28+72+84; do
  now=$(area_differs "$E2E_DIR/before.png" "$E2E_DIR/after.png" "$area")
  while_recording=$(area_differs "$E2E_DIR/before.png" "$E2E_DIR/during.png" "$area")
  e2e_log "area $area: $now pixels differ from before the recording, $while_recording while recording"
  [ "$while_recording" -gt 0 ] || e2e_fail "area $area does not change while recording"
  [ "$now" -le 2 ] || e2e_fail "area $area: the view is not stopped"
done

recording="$folder/Recording00.wav"
set -- $("$CHECK" header "$recording") || e2e_fail "$recording is not a WAV file"
data=$4
file=$8
e2e_log "the full disk left a file of $file bytes with $data data bytes (capacity $capacity)"
[ $((data % 640)) -eq 0 ] || e2e_fail "the data is not whole blocks"
[ "$file" -eq $((data + 44)) ] || e2e_fail "the file holds more than its data"
# Full: not even one more block fitted.
[ $((file + 640)) -gt "$capacity" ] || e2e_fail "the disk was not full"
"$CHECK" prefix "$E2E_IN" "$recording" "$data" || e2e_fail "the data is not the input's"
"$WAV" info "$recording" | grep -qx "Frames: $((data / 2))" || e2e_fail "quillon-wav does not read it whole"
[ "$("$CHECK" format "$recording")" = "8000 16 1" ] || e2e_fail "libsndfile does not read it"
e2e_stop
e2e_log "the full disk stopped the recording with its message and left a valid file"
