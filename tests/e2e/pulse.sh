# A private PulseAudio daemon for the end-to-end scripts (sourced by lib.sh,
# used when E2E_SOUND=pulse): its own runtime, home and state folders under
# $E2E_DIR/pulse, one pipe source, "E2E Microphone", fed from E2E_IN at real
# time once e2e_mic_on starts it, and one pipe sink, "E2E Speaker", playing
# at real time into the pipe lib.sh drains into E2E_OUT (silence while
# nothing plays). PULSE_SERVER points at it, so the program finds a sound
# server as on a desktop. Needs pulseaudio and pactl (scripts/install-deps).

e2e_pulse_start() {
  if ! command -v pulseaudio > /dev/null || ! command -v pactl > /dev/null; then
    echo "SKIP: pulseaudio and pactl are not installed (scripts/install-deps installs them)" >&2
    exit 77
  fi
  E2E_PULSE="$E2E_DIR/pulse"
  mkdir -p "$E2E_PULSE/home" "$E2E_PULSE/runtime" "$E2E_PULSE/state"
  chmod 700 "$E2E_PULSE/runtime"
  cat > "$E2E_PULSE/server.pa" <<EOF
load-module module-native-protocol-unix socket=$E2E_PULSE/native auth-anonymous=1
load-module module-pipe-source source_name=mic file=$E2E_PULSE/mic.fifo format=s16le rate=8000 channels=1 source_properties='device.description="E2E Microphone"'
load-module module-pipe-sink sink_name=speaker file=$E2E_DIR/out.fifo format=s16le rate=8000 channels=1 use_system_clock_for_timing=yes sink_properties='device.description="E2E Speaker"'
EOF
  env -i HOME="$E2E_PULSE/home" XDG_RUNTIME_DIR="$E2E_PULSE/runtime" XDG_CONFIG_HOME="$E2E_PULSE/home/.config" \
    PULSE_STATE_PATH="$E2E_PULSE/state" PULSE_RUNTIME_PATH="$E2E_PULSE/runtime" PATH=/usr/bin:/bin LANG=C \
    pulseaudio -n --daemonize=no --exit-idle-time=20 --disallow-exit --use-pid-file=no --system=no \
    --file="$E2E_PULSE/server.pa" --log-target=file:"$E2E_PULSE/server.log" < /dev/null > /dev/null 2>&1 &
  E2E_PULSE_PID=$!
  export PULSE_SERVER="unix:$E2E_PULSE/native" PULSE_COOKIE="$E2E_PULSE/cookie"
  for _ in $(seq 1 200); do
    pactl info > /dev/null 2>&1 && [ -p "$E2E_PULSE/mic.fifo" ] && return 0
    kill -0 "$E2E_PULSE_PID" 2>/dev/null || break
    command sleep 0.05
  done
  cat "$E2E_PULSE/server.log" >&2 2>/dev/null
  e2e_fail "the private PulseAudio daemon did not start"
}

# e2e_mic_on [FILE]: the microphone starts delivering FILE (E2E_IN) at real
# time. With ALSA's file plugin the input is read as the device captures.
e2e_mic_on() {
  [ "${E2E_SOUND:-alsa}" = pulse ] || return 0
  # An idle source leaves what was fed meanwhile in the pipe: it goes first,
  # so that the microphone starts afresh.
  timeout 0.2 cat "$E2E_PULSE/mic.fifo" > /dev/null 2>&1
  "$E2E_FEED" "${1:-$E2E_IN}" "$E2E_PULSE/mic.fifo" 16000 &
  E2E_FEED_PID=$!
}

e2e_pulse_stop() {
  if [ -n "${E2E_FEED_PID:-}" ]; then kill "$E2E_FEED_PID" 2>/dev/null; wait "$E2E_FEED_PID" 2>/dev/null; fi
  if [ -n "${E2E_PULSE_PID:-}" ]; then kill "$E2E_PULSE_PID" 2>/dev/null; wait "$E2E_PULSE_PID" 2>/dev/null; fi
  return 0
}
