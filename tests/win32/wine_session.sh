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
# The registry as Wine keeps it on disk, once the server has written it.
user_registry() {
  timeout 30 /usr/lib/wine/wineserver -w
  cat "$WINEPREFIX/user.reg"
}

timeout 120 "$wine" wineboot --init >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
timeout 60 /usr/lib/wine/wineserver -w
