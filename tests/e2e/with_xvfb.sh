#!/usr/bin/env bash
# with_xvfb.sh COMMAND [ARGS...]: runs the command on an X server of its own.
# Xvfb picks a free display number itself and tells it through -displayfd,
# so two servers starting at the same moment never race for one number (as
# xvfb-run -a does: it picks a number first, then starts the server on it).
set -u
dir=$(mktemp -d "${TMPDIR:-/tmp}/quillon-xvfb.XXXXXX")
exec 9> "$dir/display"
# -noreset: the server would start over whenever its last client goes (the
# program killed between two starts), refusing connections meanwhile.
Xvfb -displayfd 9 -screen 0 800x700x24 -nolisten tcp -noreset > "$dir/log" 2>&1 &
xvfb_pid=$!
exec 9>&-
display=""
for _ in $(seq 1 200); do
  display=$(head -n 1 "$dir/display" 2>/dev/null)
  [ -n "$display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.05
done
if [ -z "$display" ]; then
  cat "$dir/log" >&2
  kill "$xvfb_pid" 2>/dev/null
  rm -rf "$dir"
  echo "with_xvfb: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$display"
# No -auth: the server admits local clients without a cookie.
unset XAUTHORITY
status=0
"$@" || status=$?
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
rm -rf "$dir"
exit "$status"
