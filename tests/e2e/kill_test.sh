#!/usr/bin/env bash
# The program is killed (SIGKILL: no handler, no clean-up) in the middle of a
# GSM and of a PCM recording. What it leaves opens in the program's own
# player (quillon-wav info) and in libsndfile, its data is the microphone's
# input from the first sample, and it holds everything the device had
# captured but at most the last buffer and the last read waiting in the
# capture ring (640 + 320 device bytes, 60 ms). How much
# that was is where ALSA's file plugin stands in the input file: the program
# is frozen (SIGSTOP), the position read, and then it is killed.
#   kill_test.sh QUILLON CHECKER QUILLON_WAV
set -u
QUILLON=$1
CHECK=$2
WAV=$3
. "$(dirname "$0")/lib.sh"

e2e_setup kill
e2e_input 30
mkdir -p "$XDG_CONFIG_HOME/quillon"

number=0
# format id, and seconds to record before the kill
for run in "49 1.3" "8192 1.7" "49 2.1" "8192 0.9"; do
  set -- $run
  format=$1
  "$CHECK" settings "$XDG_CONFIG_HOME/quillon/settings.dat" "$format" || e2e_fail "settings.dat"
  e2e_start "$QUILLON"
  e2e_tap $E2E_RECORD
  sleep "$2"
  kill -STOP "$QUILLON_PID"
  captured=$(e2e_input_position) || e2e_fail "the program does not read the input"
  kill -KILL "$QUILLON_PID"
  wait "$QUILLON_PID" 2>/dev/null
  QUILLON_PID=""

  recording=$(printf '%s/Documents/Quillon/Recording%02d.wav' "$HOME" "$number")
  number=$((number + 1))
  [ -f "$recording" ] || e2e_fail "no $recording"
  held=$("$CHECK" holds "$E2E_IN" "$captured" "$recording") || e2e_fail "format $format: $held"
  e2e_log "format $format, killed after $2 s: $held"
  bytes=${held#held }
  bytes=${bytes%% *}
  info=$("$WAV" info "$recording") || e2e_fail "quillon-wav cannot open $recording"
  if [ "$format" = 49 ]; then want="Pairs: $((bytes / 640))"; else want="Frames: $((bytes / 2))"; fi
  grep -qx "$want" <<<"$info" || e2e_fail "quillon-wav info says $(grep -E 'Pairs|Frames' <<<"$info"), not $want"
done
e2e_log "every killed recording is whole up to its last buffer and read"
