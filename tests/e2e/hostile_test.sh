#!/usr/bin/env bash
# Hostile cases, one a row: what a hostile user (or a damaged disk) leaves
# before the real program starts, what the user then does, the message the
# program must show, and how it ends. Each case runs the program afresh
# under an address-space limit (prlimit --as) and time limits (a hang, or a
# SIGTERM left unanswered, fails the case), and afterwards nothing outside
# the documents and configuration folders may have changed. The rows of
# quillon-wav cases below work the same way.
#
# To add a case, add a row: hostile_case NAME ARRANGE ACT SAYS ENDS AT_EXIT THEN
#   ARRANGE  shell run before the start ($DOCS: the recordings' folder,
#            $CONFIG: the configuration folder, $OUTSIDE: a folder nobody may touch)
#   ACT      what the user does: none, play, record (and stop), sheet (Tools >
#            Settings..., OK), misc (the same, OK on the Misc page)
#   SAYS     the text of the box the act must show ("\n" a line break; $VARS
#            are expanded), or "" for no box
#   ENDS     term (SIGTERM, as a session ends programs) or menu (Tools > Exit)
#   AT_EXIT  the box shown at exit (menu), or the first line written to
#            standard error (term); "" for nothing
#   THEN     shell that must hold afterwards
#   hostile_test.sh QUILLON CHECKER QUILLON_WAV BOX
set -u
if [ -z "${E2E_PRIVATE_MOUNTS:-}" ]; then
  E2E_PRIVATE_MOUNTS=1 exec unshare -Urm bash "$0" "$@"
fi
QUILLON=$(realpath "$1")
CHECK=$(realpath "$2")
WAV=$(realpath "$3")
BOX=$(realpath "$4")
. "$(dirname "$0")/lib.sh"

# What each case may use of the machine: seconds for the window to appear,
# for a box to show, for the program to end after SIGTERM or Exit, and its
# address space. Sanitizer builds reserve more address space than any limit.
START_LIMIT=$(awk -v k="${E2E_TIME_SCALE:-1}" 'BEGIN { print int(10 * k) }')
END_LIMIT=$(awk -v k="${E2E_TIME_SCALE:-1}" 'BEGIN { print int(10 * k) }')
# Recording with ALSA's plugins loaded reaches about 900 MiB of it.
MEMORY_LIMIT=$((1280 << 20))
if ldd "$QUILLON" | grep -q 'lib[at]san'; then MEMORY_LIMIT=unlimited; fi

e2e_setup hostile
e2e_input 20
DOCS="$HOME/Documents/Quillon"
CONFIG="$XDG_CONFIG_HOME/quillon"
OUTSIDE="$E2E_DIR/outside"
SHOTS="$E2E_DIR/shots"
mkdir -p "$SHOTS"
FAILED=""
PASSED=0

# Everything under the private folder but the documents, the configuration
# and what the scripts themselves write (the sound device's files, logs).
snapshot() {
  find "$E2E_DIR" \( -path "$HOME/Documents" -o -path "$CONFIG" -o -path "$SHOTS" -o -path "$XDG_RUNTIME_DIR" \
    -o -name out.raw -o -name in.raw -o -name quillon.log -o -name drained \) -prune -o \
    -printf '%p %y %s %m %l\n' | LC_ALL=C sort
}

# The box that must show now: compared with the program's own box showing
# the text, then dismissed. Fails the case (returns 1) when it differs.
expect_box() {
  local text=$1 box="" shown
  for _ in $(seq 1 $((START_LIMIT * 10))); do
    box=$(e2e_box_window) && break
    kill -0 "$QUILLON_PID" 2>/dev/null || { echo "the program ended instead of showing: $text"; return 1; }
    sleep 0.1
  done
  [ -n "$box" ] || { echo "no box showing: $text"; return 1; }
  sleep 0.5
  import -window "$box" "$SHOTS/box.png" || { echo "no screenshot of the box"; return 1; }
  e2e_reference_box "$BOX" "$text" "$SHOTS/expected.png"
  shown=$(e2e_differing "$SHOTS/box.png" "$SHOTS/expected.png")
  xdotool key --window "$box" Return 2>/dev/null
  for _ in $(seq 1 50); do e2e_box_window > /dev/null || break; sleep 0.1; done
  [ "$shown" -le 5 ] || { echo "the box ($(identify -format '%wx%h' "$SHOTS/box.png")) differs from one showing: $text"; return 1; }
}

expect_no_box() {
  sleep 0.5
  if e2e_box_window > /dev/null; then
    import -window "$(e2e_box_window)" "$SHOTS/unexpected.png"
    echo "a box shows where none should"
    return 1
  fi
}

# Waits for the program's end; 0 when it ended with status 0 in time, else
# 1 with the reason in END_PROBLEM. (Not in a subshell: it waits for its child.)
ended() {
  local status=0
  END_PROBLEM=""
  for _ in $(seq 1 $((END_LIMIT * 10))); do
    kill -0 "$QUILLON_PID" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$QUILLON_PID" 2>/dev/null; then
    kill -KILL "$QUILLON_PID"
    wait "$QUILLON_PID" 2>/dev/null
    QUILLON_PID=""
    END_PROBLEM="still running $END_LIMIT s after it was asked to end"
    return 1
  fi
  wait "$QUILLON_PID" || status=$?
  QUILLON_PID=""
  [ "$status" -eq 0 ] || { END_PROBLEM="exit status $status"; return 1; }
}

# The user's acts, at skin coordinates.
act() {
  case $1 in
    none) ;;
    play) e2e_tap $E2E_PLAY ;;
    record) e2e_tap $E2E_RECORD; sleep 1; e2e_tap $E2E_STOP ;;
    # Records, and the card is pulled out (a lazy unmount) a second in.
    record_unplug) e2e_tap $E2E_RECORD; sleep 1; umount -l /media/QCARD ;;
    sheet | misc)
      # Tools > Settings..., the Misc tab (at the sheet's foot), then OK (Return).
      e2e_tap 20 281
      xdotool key Down Down Down Return
      sleep 1
      [ "$1" = misc ] && e2e_tap 101 257
      xdotool key Return
      sleep 0.5 ;;
    *) echo "unknown act $1"; return 1 ;;
  esac
}

# hostile_case NAME ARRANGE ACT SAYS ENDS AT_EXIT THEN (see the top).
hostile_case() {
  local name=$1 arrange=$2 what=$3 says=$4 ends=$5 atExit=$6 then=$7 before after problem=""
  rm -rf "$HOME/Documents" "$CONFIG" "$OUTSIDE"
  mkdir -p "$DOCS" "$CONFIG" "$OUTSIDE"
  echo "nobody's" > "$OUTSIDE/canary"
  eval "$arrange" || { FAILED="$FAILED $name"; echo "FAIL $name: cannot arrange"; return; }
  says=$(eval "printf '%s' \"$says\"")
  atExit=$(eval "printf '%s' \"$atExit\"")
  before=$(snapshot)
  : > "$E2E_DIR/quillon.log"
  prlimit --as="$MEMORY_LIMIT" -- "$QUILLON" > "$E2E_DIR/quillon.log" 2>&1 &
  QUILLON_PID=$!
  WID=""
  for _ in $(seq 1 $((START_LIMIT * 20))); do
    WID=$(xdotool search --onlyvisible --pid "$QUILLON_PID" --name '^Quillon$' 2>/dev/null | head -n 1)
    [ -n "$WID" ] && break
    kill -0 "$QUILLON_PID" 2>/dev/null || break
    sleep 0.05
  done
  if [ -z "$WID" ]; then
    problem="no window within $START_LIMIT s"
  else
    sleep 0.5
    if ! problem=$(act "$what"); then :
    elif [ -n "$says" ] && ! problem=$(expect_box "$says"); then :
    elif [ -z "$says" ] && ! problem=$(expect_no_box); then :
    else
      problem=""
      if [ "$ends" = menu ]; then
        e2e_tap 20 281
        xdotool key Up Return  # Exit: the last entry of the Tools menu
        if [ -n "$atExit" ]; then problem=$(expect_box "$atExit") || true; else problem=$(expect_no_box) || true; fi
      else
        kill -TERM "$QUILLON_PID"
      fi
    fi
  fi
  if [ -n "$QUILLON_PID" ]; then
    [ -n "$problem" ] && kill -TERM "$QUILLON_PID" 2>/dev/null
    ended || problem="${problem:+$problem; }$END_PROBLEM"
  fi
  if [ -z "$problem" ] && [ "$ends" = term ] && [ -n "$atExit" ] &&
     ! grep -qF -- "quillon: ${atExit%%\\n*}" "$E2E_DIR/quillon.log"; then
    problem="standard error does not say: ${atExit%%\\n*}"
  fi
  if [ -z "$problem" ] && ! (eval "$then"); then problem="afterwards, this does not hold: $then"; fi
  after=$(snapshot)
  if [ -z "$problem" ] && [ "$before" != "$after" ]; then
    problem="something outside the documents and configuration folders changed: $(diff <(echo "$before") <(echo "$after") | grep '^[<>]' | head -n 5 | tr '\n' ' ')"
  fi
  if [ -n "$problem" ]; then
    FAILED="$FAILED $name"
    echo "FAIL $name: $problem"
    sed 's/^/  quillon: /' "$E2E_DIR/quillon.log" | head -n 20
    [ -e "$SHOTS/box.png" ] && cp "$SHOTS/box.png" "$SHOTS/$name-box.png"
    [ -e "$SHOTS/expected.png" ] && cp "$SHOTS/expected.png" "$SHOTS/$name-expected.png"
  else
    PASSED=$((PASSED + 1))
    e2e_log "ok $name"
  fi
  # Whatever the case mounted or moved goes with it.
  umount "$DOCS" 2>/dev/null
  umount "$CONFIG" 2>/dev/null
  umount -l /media/QCARD 2>/dev/null
  umount -l /media 2>/dev/null
  XDG_CONFIG_HOME="$HOME/.config"
  CONFIG="$XDG_CONFIG_HOME/quillon"
  rm -f "$SHOTS/box.png" "$SHOTS/expected.png"
}

# wav_case NAME ARRANGE COMMAND STATUS STDERR THEN: quillon-wav run in $OUTSIDE's
# sibling folder $WORK under the same limits; its exit status and its whole
# standard error (one line), and what must hold afterwards.
WORK="$E2E_DIR/work"
wav_case() {
  local name=$1 arrange=$2 command=$3 status=$4 said=$5 then=$6 got=0 problem=""
  rm -rf "$WORK"
  mkdir -p "$WORK"
  (cd "$WORK" && eval "$arrange") || { FAILED="$FAILED $name"; echo "FAIL $name: cannot arrange"; return; }
  (cd "$WORK" && timeout -s KILL "$END_LIMIT" prlimit --as="$MEMORY_LIMIT" -- bash -c "$command" > out 2> err) || got=$?
  [ "$got" -eq "$status" ] || problem="exit status $got, not $status"
  [ -z "$problem" ] && [ "$(cat "$WORK/err")" != "$said" ] && problem="said '$(cat "$WORK/err")', not '$said'"
  [ -z "$problem" ] && ! (cd "$WORK" && eval "$then") && problem="afterwards, this does not hold: $then"
  if [ -n "$problem" ]; then
    FAILED="$FAILED $name"
    echo "FAIL $name: $problem"
  else
    PASSED=$((PASSED + 1))
    e2e_log "ok $name"
  fi
}

# ---- the program ---------------------------------------------------------------
MARKUP='<img src=x width=30000 height=30000>'

hostile_case link_to_fifo 'mkfifo "$OUTSIDE/pipe" && ln -s "$OUTSIDE/pipe" "$DOCS/a.wav"' \
  play 'Wrong file format.' term '' '[ -p "$OUTSIDE/pipe" ]'
hostile_case fifo_settings 'mkfifo "$CONFIG/settings.dat"' \
  none '' term 'The settings could not be read from $CONFIG/settings.dat when the program started' \
  '[ -p "$CONFIG/settings.dat" ]'
# The configuration folder's path holds markup; the box shows it as text.
hostile_case folder_settings_markup_path \
  'XDG_CONFIG_HOME="$E2E_DIR/$MARKUP" && CONFIG="$XDG_CONFIG_HOME/quillon" && mkdir -p "$CONFIG/settings.dat"' \
  none '' menu 'The settings could not be read from $CONFIG/settings.dat when the program started, so it ran with the defaults and left the file as it is.\nIs a directory' \
  '[ -d "$CONFIG/settings.dat" ]'
hostile_case fifo_registry 'mkfifo "$CONFIG/registry.txt"' \
  misc '' menu 'The default-recorder setting could not be saved to $CONFIG/registry.txt; the file there is kept as it was.\nIt is not a regular file.' \
  '[ -p "$CONFIG/registry.txt" ]'
hostile_case huge_registry 'truncate -s 300M "$CONFIG/registry.txt"' \
  sheet '' term '' '[ "$(stat -c %s "$CONFIG/registry.txt")" -eq $((300 << 20)) ]'
hostile_case settings_out_of_range \
  '"$CHECK" settings "$CONFIG/settings.dat" 12345 && printf "\002\000\000\000" | dd of="$CONFIG/settings.dat" bs=1 seek=8 conv=notrunc status=none && printf "\377\377\377\377" | dd of="$CONFIG/settings.dat" bs=1 seek=544 conv=notrunc status=none' \
  none '' term '' '[ "$("$CHECK" formatid "$CONFIG/settings.dat")" = 49 ]'
hostile_case recording_through_dangling_link 'ln -s "$OUTSIDE/stolen.wav" "$DOCS/Recording00.wav"' \
  record '' term '' '[ -L "$DOCS/Recording00.wav" ] && "$WAV" info "$DOCS/Recording01.wav" | grep -q "GSM (WAV)"'
hostile_case settings_new_is_a_link 'ln -s "$OUTSIDE/canary" "$CONFIG/settings.dat.new"' \
  none '' term '' '"$CHECK" defaults "$CONFIG/settings.dat"'
hostile_case full_documents \
  'mount -t tmpfs -o size=16k quillon-full "$DOCS" && { head -c 1M /dev/zero > "$DOCS/filler.bin" 2>/dev/null || true; }' \
  record 'IAudioStream::Open(): failed\n\nNo space left on device' term '' \
  '[ -z "$(ls "$DOCS" | grep -v filler.bin)" ]'
hostile_case read_only_configuration \
  'mount -t tmpfs quillon-config "$CONFIG" && "$CHECK" settings "$CONFIG/settings.dat" 8192 && mount -o remount,ro "$CONFIG"' \
  none '' menu 'The settings could not be saved to $CONFIG/settings.dat; the file there is kept as it was.\nRead-only file system' \
  '[ "$("$CHECK" formatid "$CONFIG/settings.dat")" = 8192 ]'

# A storage card: a folder of the build tree (on a disk, as cards are, not a
# tmpfs, which is no card) bound on /media/QCARD, over a /media of this
# namespace's own.
CARDS="$(dirname "$QUILLON")/e2e-cards.$$"
trap 'rm -rf "$CARDS"; e2e_cleanup' EXIT
card() {
  mkdir -p "$CARDS/QCARD/Quillon" && mount -t tmpfs quillon-media /media && mkdir /media/QCARD &&
    mount --bind "$CARDS/QCARD" /media/QCARD
}
hostile_case card_pulled_out_while_recording \
  'rm -rf "$CARDS" && card && "$CHECK" settings "$CONFIG/settings.dat" 49 Storage=QCARD' \
  record_unplug 'The storage card \"QCARD\" is gone: the recording was stopped.' term '' \
  '"$WAV" info "$CARDS/QCARD/Quillon/Recording00.wav" | grep -q "GSM (WAV)"'
LONG=$(printf 'L%.0s' $(seq 1 240))
hostile_case name_too_long_to_play 'sox -n -r 8000 -c 1 -b 16 "$DOCS/$LONG.wav" synth 0.2 sine 440 2>/dev/null' \
  play 'The name of \"$LONG\" is too long to play it: rename it to a shorter one.' term '' '[ -f "$DOCS/$LONG.wav" ]'

# ---- quillon-wav -----------------------------------------------------------------
TONE='sox -n -r 8000 -c 1 -b 16 x.wav synth 1 sine 440 2>/dev/null && cp x.wav x.orig'
wav_case encode_over_its_input "$TONE" "'$WAV' encode --format 49 x.wav x.wav" 1 \
  'quillon-wav: x.wav: the output is the input file x.wav; nothing was written. Choose another output.' \
  'cmp -s x.wav x.orig'
wav_case decode_over_its_input_through_a_link "$TONE && ln -s x.wav l.wav" "'$WAV' decode l.wav x.wav" 1 \
  'quillon-wav: x.wav: the output is the input file l.wav; nothing was written. Choose another output.' \
  'cmp -s x.wav x.orig'
wav_case encode_cut_short_keeps_the_old_output "$TONE && echo old > out.wav" \
  "trap '' XFSZ; ulimit -f 8 && '$WAV' encode --format 8192 x.wav out.wav" 1 \
  'quillon-wav: out.wav: File too large' '[ "$(cat out.wav)" = old ] && [ -z "$(ls -A | grep "^\.")" ]'
wav_case fifo_input "mkfifo in.wav" "'$WAV' info in.wav" 1 'quillon-wav: in.wav: Wrong file format.' '[ -p in.wav ]'

e2e_log "$PASSED cases held"
[ -z "$FAILED" ] || e2e_fail "these cases failed:$FAILED"
