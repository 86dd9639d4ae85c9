#!/usr/bin/env bash
# A person sends a recording and transcribes it. The list holds a GSM
# recording of a 3 s, 440 Hz tone. Right-click, "Export...", Return in the
# save dialog: Recording00.opus lies beside it, Ogg Opus at 8000 Hz for 3 s
# with its title, as libsndfile and ffprobe read it, the recording untouched.
# Then Tools > Playback Speed > 0.75x and Play: the device hears the tone at
# 440 Hz for 4 s, the view shows the speed, and the speed is kept at exit.
#   export_speed_test.sh QUILLON CHECKER QUILLON_WAV SOUND
set -u
QUILLON=$1
WAV=$3
SOUND=$4
. "$(dirname "$0")/lib.sh"

# The first row of the list, and the "Tools" button of the bar (window coordinates).
E2E_FIRST_ROW=150
E2E_TOOLS="25 281"

e2e_setup export-speed
e2e_input 2
folder="$HOME/Documents/Quillon"
mkdir -p "$folder" "$XDG_CONFIG_HOME/quillon"
sox -n -r 8000 -c 1 -b 16 -e signed-integer "$E2E_DIR/tone.wav" synth 3 sine 440 vol 0.5 2>/dev/null ||
  e2e_fail "sox cannot make the tone"
"$WAV" encode --format 49 "$E2E_DIR/tone.wav" "$folder/Recording00.wav" || e2e_fail "quillon-wav cannot code the tone"
recording_sum=$(md5sum < "$folder/Recording00.wav")

e2e_start "$QUILLON"
e2e_shot "$E2E_DIR/start.png"

# wait_window TITLE: a visible window of that title other than the main one.
wait_window() {
  local w
  for _ in $(seq 1 100); do
    for w in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
      [ "$w" != "$WID" ] && { echo "$w"; return 0; }
    done
    sleep 0.1
  done
  return 1
}

# The context menu of the first recording; its last entry is "Export...".
xdotool mousemove --window "$WID" 60 $E2E_FIRST_ROW click 3
sleep 0.5
xdotool key Up Return
dialog=$(wait_window Export) || e2e_fail "no save dialog after Export..."
sleep 0.5
# Typed as a person types, into the window with the keyboard: the release
# then goes to the main window, where it must not count as Play/Pause.
xdotool windowfocus --sync "$dialog" 2>/dev/null
xdotool key Return
exported="$folder/Recording00.opus"
for _ in $(seq 1 100); do
  [ -s "$exported" ] && break
  sleep 0.1
done
[ -s "$exported" ] || e2e_fail "no Recording00.opus after the save dialog"
sleep 0.5
read -r rate channels seconds title <<< "$("$SOUND" file "$exported")" || e2e_fail "libsndfile cannot read the export"
[ "$rate $channels $title" = "8000 1 Recording00" ] || e2e_fail "libsndfile reads $rate Hz, $channels channels, title $title"
awk -v s="$seconds" 'BEGIN { exit !(s > 2.98 && s < 3.02) }' || e2e_fail "libsndfile reads $seconds s"
probe=$(ffprobe -v error -show_entries stream=codec_name,channels:stream_tags=title -of default=nw=1 "$exported")
[ "$probe" = "$(printf 'codec_name=opus\nchannels=1\nTAG:TITLE=Recording00')" ] || e2e_fail "ffprobe reads: $probe"
[ "$(md5sum < "$folder/Recording00.wav")" = "$recording_sum" ] || e2e_fail "the recording changed"
ls -A "$folder" | grep -q '\.part$' && e2e_fail "a temporary file was left: $(ls -A "$folder")"
e2e_log "exported: $rate Hz, $channels channel, $seconds s, \"$title\""

# Tools > Playback Speed > 0.75x: Down to the fourth entry, Right into the
# submenu (its first entry, 0.5x), Down to 0.75x.
e2e_tap $E2E_TOOLS
sleep 0.3
xdotool key Down Down Down Down Right Down Return
sleep 0.3
e2e_shot "$E2E_DIR/slow.png"
# The format area shows more than "GSM (WAV)": the speed beside it.
before=$(e2e_dark_pixels "$E2E_DIR/start.png" 131 25 85 17)
after=$(e2e_dark_pixels "$E2E_DIR/slow.png" 131 25 85 17)
[ "$after" != "$before" ] || e2e_fail "the format area did not change ($before dark pixels)"

: > "$E2E_OUT"
e2e_tap $E2E_PLAY
# 3 s at 0.75x are 4 s: 64000 bytes; then the default play mode stops.
for _ in $(seq 1 100); do
  [ "$(stat -c %s "$E2E_OUT")" -ge 64000 ] && break
  sleep 0.1
done
sleep 1
"$SOUND" tone "$E2E_OUT" 440 4.0 || e2e_fail "the device did not hear the tone at 0.75x"
e2e_stop
grep -qx 'PlaybackSpeed=75' "$XDG_CONFIG_HOME/quillon/preferences.txt" || e2e_fail "the speed was not kept"
e2e_log "played at 0.75x: the tone kept its pitch and took 4 s"
