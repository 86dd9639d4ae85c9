#!/usr/bin/env bash
# Starting up: a start-up message (the storage card chosen is not there)
# is up when a second copy starts and when the session ends the program.
# The second copy ends with -1 and the first stays the one copy; the
# session's SIGTERM closes the box and saves the settings. Two copies
# started at the same moment: one window.
#   startup_test.sh QUILLON CHECKER
set -u
QUILLON=$1
CHECK=$2
. "$(dirname "$0")/lib.sh"

e2e_setup startup
e2e_input 4
settings="$XDG_CONFIG_HOME/quillon/settings.dat"
mkdir -p "$XDG_CONFIG_HOME/quillon"
"$CHECK" settings "$settings" 8192 VasMode=2 PlayMode=2 Storage=GoneCard || e2e_fail "settings.dat"

"$QUILLON" > "$E2E_DIR/quillon.log" 2>&1 &
QUILLON_PID=$!
box=""
for _ in $(seq 1 100); do
  box=$(xdotool search --onlyvisible --name '^Quillon$' 2>/dev/null | head -n 1)
  [ -n "$box" ] && break
  sleep 0.05
done
[ -n "$box" ] || e2e_fail "no start-up box"
sleep 0.5
status=0
timeout 20 "$QUILLON" > /dev/null 2>&1 || status=$?
[ "$status" -eq 255 ] || e2e_fail "a second start during the box ended with $status, not -1"
kill -0 "$QUILLON_PID" || e2e_fail "the first copy ended"
rm -f "$settings"
e2e_stop
[ -f "$settings" ] || e2e_fail "SIGTERM during the start-up box did not save the settings"
[ "$("$CHECK" get "$settings" PlayMode)" = 2 ] || e2e_fail "the settings saved are not the ones read"
e2e_log "a start-up box answers a second copy and the session's end"

# Two at the same moment: one runs, the other ends with -1.
"$CHECK" settings "$settings" 8192 || e2e_fail "settings.dat"
"$QUILLON" > "$E2E_DIR/one.log" 2>&1 &
one=$!
"$QUILLON" > "$E2E_DIR/two.log" 2>&1 &
two=$!
sleep 3
windows=$(xdotool search --onlyvisible --name '^Quillon$' 2>/dev/null | wc -l)
running=0
for pid in $one $two; do kill -0 "$pid" 2>/dev/null && running=$((running + 1)); done
kill -TERM $one $two 2>/dev/null
wait $one $two 2>/dev/null
[ "$windows" -eq 1 ] || e2e_fail "$windows windows for two copies started at once"
[ "$running" -eq 1 ] || e2e_fail "$running copies running"
e2e_log "two copies at once: one runs"

# Without a runtime folder, nobody else decides: another user listening on
# the socket an older Quillon used in /tmp, and a folder of Quillon's name
# there that others may enter, are left alone; the program starts, keeps its
# lock in ~/.cache/quillon, and still answers a second start.
export TMPDIR="$E2E_DIR/tmp"
mkdir -p "$TMPDIR/quillon-$(id -u)"
chmod 777 "$TMPDIR/quillon-$(id -u)"
python3 - "$TMPDIR/quillon-$(id -u).socket" "$E2E_DIR/stranger.log" <<'PY' &
import socket, sys
server = socket.socket(socket.AF_UNIX)
server.bind(sys.argv[1])
server.listen()
with open(sys.argv[2], "w") as log:
    while True:
        connection, _ = server.accept()
        log.write("a caller\n")
        log.flush()
        connection.close()
PY
stranger=$!
sleep 0.5
(
  unset XDG_RUNTIME_DIR
  e2e_start "$QUILLON"
  status=0
  timeout 20 "$QUILLON" > /dev/null 2>&1 || status=$?
  [ "$status" -eq 255 ] || e2e_fail "a second start without a runtime folder ended with $status, not -1"
  e2e_stop
)
result=$?
kill "$stranger" 2>/dev/null
[ "$result" -eq 0 ] || exit 1
[ ! -s "$E2E_DIR/stranger.log" ] || e2e_fail "the program talked to a stranger's socket"
[ -S "$HOME/.cache/quillon/quillon.socket" ] || [ -e "$HOME/.cache/quillon/quillon.lock" ] || e2e_fail "no lock in ~/.cache/quillon"
e2e_log "a stranger's socket and folder in /tmp are left alone"
