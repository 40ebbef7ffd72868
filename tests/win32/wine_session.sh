# Sourced by the Windows program's tests: a Wine prefix of the test's own in $work/wine, an X
# server with a window manager (DISPLAY), and cleanup of all of it at exit. Every Wine run is
# bounded by timeout. Needs $work.
wine=/usr/lib/wine/wine64
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
pids=()
cleanup() {
  timeout 30 /usr/lib/wine/wineserver -k 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
start_display() {
  exec 5< <(timeout 600 Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
  pids+=($!)
  read -r -t 20 number <&5 || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=:$number
  timeout 600 openbox >/dev/null 2>&1 &
  pids+=($!)
}
# wine_run SECONDS PROGRAM ARGS...: runs a Windows program; its exit code is returned.
wine_run() {
  local seconds=$1; shift
  timeout "$seconds" "$wine" "$@"
}
# A PulseAudio server of the test's own in $work/pulse with one null sink, kinetra_test, the
# default output, and its monitor the default source: Wine's audio reaches it, and DirectSound
# offers the monitor as a capture device.
start_null_sink() {
  mkdir -p "$work/pulse" && chmod 700 "$work/pulse"
  export XDG_RUNTIME_DIR=$work/pulse PULSE_RUNTIME_PATH=$work/pulse/pulse
  timeout 300 pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    -L "module-null-sink sink_name=kinetra_test" -L module-native-protocol-unix >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do timeout 5 pactl info >/dev/null 2>&1 && break; sleep 0.2; done
  timeout 5 pactl set-default-source kinetra_test.monitor
  timeout 5 pactl set-default-sink kinetra_test
}
# The registry as Wine keeps it on disk, once the server has written it.
user_registry() {
  timeout 30 /usr/lib/wine/wineserver -w
  cat "$WINEPREFIX/user.reg"
}

timeout 120 "$wine" wineboot --init >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
timeout 60 /usr/lib/wine/wineserver -w
