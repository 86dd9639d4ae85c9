#!/usr/bin/env bash
# A day of recording by the real program, in GSM and in 8000 Hz 16-bit PCM:
# the virtual device (QUILLON_WAVE_BACKEND=virtual:SPEED:SECONDS) runs its
# clock far faster than the program can follow and its microphone ends after
# exactly 24 hours. The file then has exactly 24 hours of data and a header
# that says so, quillon-wav reads 24:00:00, and the program, ended as a
# desktop session ends it, reports no leak. Prints the wall time of each day.
# Minutes of work: skipped (77) unless QUILLON_SOAK=1 (make soak).
#   soak_test.sh QUILLON CHECKER QUILLON_WAV
set -u
[ "${QUILLON_SOAK:-}" = 1 ] || { echo "a soak run: QUILLON_SOAK=1 (make soak)"; exit 77; }
QUILLON=$1
CHECK=$2
WAV=$3
. "$(dirname "$0")/lib.sh"

e2e_setup soak
mkdir -p "$XDG_CONFIG_HOME/quillon"
day=86400
# format id, header bytes, data bytes of a day, what quillon-wav counts
for run in "49 60 $((day * 25 * 65)) Pairs:_$((day * 25))" "8192 44 $((day * 16000)) Frames:_$((day * 8000))"; do
  set -- $run
  format=$1
  dataBytes=$3
  full=$(($2 + dataBytes))
  want=${4/_/ }
  "$CHECK" settings "$XDG_CONFIG_HOME/quillon/settings.dat" "$format" || e2e_fail "settings.dat"
  recording="$HOME/Documents/Quillon/Recording00.wav"
  rm -f "$recording"
  export QUILLON_WAVE_BACKEND="virtual:10000000:$day"
  e2e_start "$QUILLON"
  started=$(date +%s%N)
  e2e_tap $E2E_RECORD
  size=0
  for _ in $(seq 1 540); do
    size=$(stat -c %s "$recording" 2>/dev/null || echo 0)
    [ "$size" -ge "$full" ] && break
    kill -0 "$QUILLON_PID" 2>/dev/null || { cat "$E2E_DIR/quillon.log" >&2; e2e_fail "the program ended"; }
    sleep 1
  done
  [ "$size" -ge "$full" ] || e2e_fail "format $format: $size bytes after 9 minutes, a day is $full"
  # The microphone has ended: nothing more may come.
  ended=$(date +%s%N)
  sleep 2
  e2e_stop
  unset QUILLON_WAVE_BACKEND
  size=$(stat -c %s "$recording")
  e2e_log "format $format: a day recorded in $(((ended - started) / 1000000000)) s of wall time, $size bytes"
  [ "$size" -eq "$full" ] || e2e_fail "format $format: $size bytes, a day is $full"
  set -- $("$CHECK" header "$recording")
  riff=$2 data=$4 fact=$6
  [ "$riff" -eq $((full - 8)) ] && [ "$data" -eq "$dataBytes" ] || e2e_fail "format $format: RIFF size $riff, data size $data"
  [ "$format" != 49 ] || [ "$fact" -eq $((day * 8000)) ] || e2e_fail "fact sample count $fact"
  info=$("$WAV" info "$recording") || e2e_fail "quillon-wav cannot open it"
  grep -qx "$want" <<<"$info" || e2e_fail "quillon-wav: $(grep -E 'Pairs|Frames' <<<"$info"), not $want"
  grep -qx "Length: $day s (24:00:00)" <<<"$info" || e2e_fail "quillon-wav: $(grep Length <<<"$info")"
  [ "$("$CHECK" format "$recording")" = "8000 $(( format == 49 ? 0 : 16 )) 1" ] || e2e_fail "libsndfile does not read it"
  grep -q "No memory leaks detected!" "$E2E_DIR/quillon.log" || { cat "$E2E_DIR/quillon.log" >&2; e2e_fail "a leak report with leaks"; }
  e2e_log "format $format: $(grep -o 'Maximum free store memory allocated at a time: [0-9]* bytes' "$E2E_DIR/quillon.log")"
done
e2e_log "a day of GSM and of PCM, exact and without leaks"
