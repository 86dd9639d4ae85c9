#!/usr/bin/env bash
# A person plays: the list holds one of the program's own PCM recordings and
# a GSM file written by sox (an odd number of frame pairs). Play plays the
# recording just made, Next the file after it in the list: the sound device
# hears exactly each file's decoded samples, and the default play mode stops
# after each file. With E2E_SOUND=pulse the same through a private sound
# server, whose speaker plays silence while nothing else sounds.
#   play_test.sh QUILLON CHECKER
set -u
QUILLON=$1
CHECK=$2
. "$(dirname "$0")/lib.sh"

e2e_setup play
e2e_input 4
mkdir -p "$HOME/Documents/Quillon" "$XDG_CONFIG_HOME/quillon"
# 0.52 s: 4160 samples, 13 pairs, so sox counts a pad byte in the data.
sox -n -r 8000 -c 1 -e gsm-full-rate "$HOME/Documents/Quillon/Speech.wav" synth 0.52 sine 440 vol 0.5 2>/dev/null ||
  e2e_fail "sox cannot write GSM"
# Record in 8000 Hz 16-bit PCM.
"$CHECK" settings "$XDG_CONFIG_HOME/quillon/settings.dat" 8192 || e2e_fail "settings.dat"

e2e_start "$QUILLON"
e2e_press Record
e2e_mic_on
sleep 1.5
e2e_press Stop
recording="$HOME/Documents/Quillon/Recording00.wav"
[ "$("$CHECK" format "$recording")" = "8000 16 1" ] || e2e_fail "the recording is not 8000 Hz 16-bit PCM"

# ALSA's file plugin writes what it captures to the same file: start afresh.
sleep 0.3
: > "$E2E_OUT"

# wait_heard BYTES FILE...: waits until the device has heard at least BYTES
# bytes (ALSA's file plugin), or, on the sound server, the files whole.
wait_heard() {
  local want=$1 size=0
  shift
  for _ in $(seq 1 100); do
    if [ "${E2E_SOUND:-alsa}" = pulse ]; then
      "$CHECK" heard "$E2E_OUT" "$@" > /dev/null 2>&1 && return 0
    else
      size=$(stat -c %s "$E2E_OUT")
      [ "$size" -ge "$want" ] && return 0
    fi
    sleep 0.1
  done
  e2e_fail "heard $(stat -c %s "$E2E_OUT") bytes, waited for $want (or the files whole)"
}

# Play plays the recording just made; Next the file after it (Speech.wav).
gsm_bytes=$((13 * 640))
pcm_bytes=$(( $(stat -c %s "$recording") - 44 ))
speech="$HOME/Documents/Quillon/Speech.wav"
e2e_press Play
wait_heard $pcm_bytes "$recording"
sleep 0.5
e2e_press "Next track"
wait_heard $((pcm_bytes + gsm_bytes)) "$recording" "$speech"
sleep 0.5
e2e_stop
if [ "${E2E_SOUND:-alsa}" = pulse ]; then
  "$CHECK" heard "$E2E_OUT" "$recording" "$speech" || e2e_fail "not what the files hold"
else
  "$CHECK" played "$E2E_OUT" "$recording" "$speech" || e2e_fail "not what the files hold"
fi
e2e_log "played both files exactly"
