#!/usr/bin/env bash
# A key held while the machine is busy acts once: F4 (Next Track) held for
# three seconds with two busy loops beside the program plays the next file,
# B, and only B: not C or D skipped to by the key's repeats. (Whether X's
# release/press pairs of a repeat get split on a busy machine depends on
# its scheduling; with detectable auto-repeat there are no such pairs.)
#   held_key_test.sh QUILLON CHECKER
set -u
QUILLON=$1
CHECK=$2
. "$(dirname "$0")/lib.sh"

e2e_setup held-key
e2e_input 4
docs="$HOME/Documents/Quillon"
mkdir -p "$docs"
frequency=300
for name in A B C D; do
  sox -n -r 8000 -c 1 -b 16 "$docs/$name.wav" synth 0.3 sine $frequency vol 0.4 2>/dev/null || e2e_fail "sox"
  frequency=$((frequency + 200))
done
# Repeats come fast (after 100 ms, 50 a second), and the program shares
# one core with the busy loops: every chance for a repeat's release to be
# seen before its press.
xset r on r rate 100 50 2>/dev/null
e2e_start taskset -c 0 "$QUILLON"
: > "$E2E_OUT"
busy=()
for _ in 1 2; do
  taskset -c 0 bash -c 'while :; do :; done' &
  busy+=($!)
done
# Through the server (XTEST), not sent to the window: only keys that come
# from the server's keyboard repeat.
e2e_refocus
xdotool keydown F4
sleep 3
xdotool keyup F4
kill "${busy[@]}"
wait "${busy[@]}" 2>/dev/null
sleep 1.5
e2e_stop
"$CHECK" played "$E2E_OUT" "$docs/B.wav" || e2e_fail "the held key did not play B once, and B alone"
e2e_log "held under load, F4 moved one file on"
