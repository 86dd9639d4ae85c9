#!/usr/bin/env bash
# A disk that stalls for 2 s in the middle of a recording (one write held up
# by an LD_PRELOAD shim), on a sound server's microphone that runs on at real
# time whoever reads it. The real program: stopped 6 s after the microphone
# started, the recording holds those 6 s, every sample from the first, and
# no input is reported lost. quillon-wav, on the server directly and through
# ALSA's pulse plugin (PortAudio): 6 s of recording hold 6 s of input,
# unbroken. A stop tapped during a stall keeps every sample up to the tap.
#   stall_test.sh QUILLON CHECKER QUILLON_WAV SHIM
set -u
QUILLON=$1
CHECK=$2
WAV=$3
SHIM=$4
. "$(dirname "$0")/lib.sh"

e2e_setup stall
e2e_input 9
mkdir -p "$XDG_CONFIG_HOME/quillon"
"$CHECK" settings "$XDG_CONFIG_HOME/quillon/settings.dat" 8192 || e2e_fail "settings.dat"
# 6 s at 16000 bytes a second, less the taps' and the start's latency.
least=$((16000 * 57 / 10))

# The 40th write of the recording (about 0.8 s in) takes 2 s.
e2e_start env LD_PRELOAD="$SHIM" QUILLON_STALL_AT=40 QUILLON_STALL_MS=2000 "$QUILLON"
e2e_tap $E2E_RECORD
e2e_mic_on
sleep 6
e2e_tap $E2E_STOP
sleep 0.5
grep -q "held a write" "$E2E_DIR/quillon.log" || e2e_fail "the write did not stall"
[ "$(xdotool search --onlyvisible --name '^Quillon$' | wc -l)" -eq 1 ] || e2e_fail "a message showed"
e2e_stop
kill "$E2E_FEED_PID" 2>/dev/null
wait "$E2E_FEED_PID" 2>/dev/null
"$CHECK" prefix "$E2E_IN" "$HOME/Documents/Quillon/Recording00.wav" $least || e2e_fail "input was lost"
e2e_log "the program kept every sample through a 2 s stall"

# Stop tapped in the middle of a 3 s stall: the program waits for the write,
# then the recording holds the input up to the tap, every sample.
# (The microphone runs first: what the last run left in the server goes.)
e2e_start env LD_PRELOAD="$SHIM" QUILLON_STALL_AT=40 QUILLON_STALL_MS=3000 "$QUILLON"
e2e_mic_on
sleep 0.5
e2e_tap $E2E_RECORD
sleep 2
e2e_tap $E2E_STOP
sleep 3
e2e_stop
kill "$E2E_FEED_PID" 2>/dev/null
wait "$E2E_FEED_PID" 2>/dev/null
"$CHECK" run "$E2E_IN" "$HOME/Documents/Quillon/Recording01.wav" $((16000 * 17 / 10)) ||
  e2e_fail "what was captured during the stall was lost at the stop"
e2e_log "a stop during a stall kept every sample up to it"

for backend in pulse portaudio; do
  if [ $backend = portaudio ]; then
    printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' > "$XDG_CONFIG_HOME/alsa/asoundrc"
  fi
  out="$E2E_DIR/$backend.wav"
  e2e_mic_on
  status=0
  env LD_PRELOAD="$SHIM" QUILLON_STALL_AT=40 QUILLON_STALL_MS=2000 QUILLON_WAVE_BACKEND=$backend \
    "$WAV" record --format 8192 --seconds 6 "$out" > "$E2E_DIR/wav.out" 2> "$E2E_DIR/wav.err" || status=$?
  kill "$E2E_FEED_PID" 2>/dev/null
  wait "$E2E_FEED_PID" 2>/dev/null
  cat "$E2E_DIR/wav.out" "$E2E_DIR/wav.err"
  [ "$status" -eq 0 ] || e2e_fail "quillon-wav ($backend) ended with $status"
  grep -q "held a write" "$E2E_DIR/wav.err" || e2e_fail "the write did not stall ($backend)"
  if grep -q "were lost" "$E2E_DIR/wav.err"; then e2e_fail "input was lost ($backend)"; fi
  "$CHECK" run "$E2E_IN" "$out" $least || e2e_fail "quillon-wav ($backend) lost input"
  e2e_log "quillon-wav kept every sample through a 2 s stall ($backend)"
done
