#!/usr/bin/env bash
# Starts or stops a private PulseAudio server without hardware for the capture tests:
#   pulse_fixture.sh start DIR    server with a null sink "kinetra_null" (44100 Hz mono) whose
#                                 monitor is the capture source; socket DIR/native, pid DIR/pid
#   pulse_fixture.sh stop DIR     stops the server started there and waits for it
set -u
cmd=${1:?usage: pulse_fixture.sh start|stop DIR}
dir=${2:?usage: pulse_fixture.sh start|stop DIR}

stop_server() {
  [ -f "$dir/pid" ] || return 0
  local pid
  pid=$(cat "$dir/pid")
  rm -f "$dir/pid"
  # Only our own server: the pid must still belong to a pulseaudio process.
  if [ -n "$pid" ] && [ "$(cat /proc/$pid/comm 2>/dev/null)" = pulseaudio ]; then
    kill "$pid" 2>/dev/null
    for _ in $(seq 1 100); do
      kill -0 "$pid" 2>/dev/null || return 0
      sleep 0.05
    done
    kill -9 "$pid" 2>/dev/null
  fi
  return 0
}

case "$cmd" in
  start)
    if ! command -v pulseaudio >/dev/null; then
      echo "pulse_fixture: pulseaudio is not installed (tools/install-deps.sh installs it)" >&2
      exit 1
    fi
    stop_server
    rm -rf "$dir"
    mkdir -p "$dir/home" "$dir/runtime"
    chmod 700 "$dir/runtime"
    HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" setsid pulseaudio \
      --daemonize=no --system=false --exit-idle-time=-1 -n --disallow-exit \
      --log-target=file:"$dir/pulse.log" \
      -L "module-null-sink sink_name=kinetra_null rate=44100 channels=1 norewinds=1" \
      -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
      </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/pid"
    for _ in $(seq 1 200); do
      if [ -S "$dir/native" ] &&
        HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" PULSE_SERVER="unix:$dir/native" \
          pactl info >/dev/null 2>&1; then
        exit 0
      fi
      sleep 0.05
    done
    echo "pulse_fixture: the server did not come up; its log:" >&2
    cat "$dir/pulse.log" >&2 2>/dev/null
    stop_server
    exit 1
    ;;
  stop)
    stop_server
    ;;
  *)
    echo "usage: pulse_fixture.sh start|stop DIR" >&2
    exit 2
    ;;
esac
