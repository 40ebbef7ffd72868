#!/usr/bin/env bash
# wine_run.sh PREFIX PROGRAM [ARGS...]: runs a Windows program under Wine in the prefix PREFIX,
# making the prefix first when it is missing. Quiet and without windows: no debug channels, no
# display, no Mono or Gecko installers; the prefix is made at most once (a lock), within 120 s.
set -euo pipefail
prefix=$1; shift
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || { echo "wine_run: $wine is missing (install-deps.sh windows)" >&2; exit 1; }
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock -w 150 9
    if [ ! -f "$prefix/system.reg" ]; then
      timeout 120 "$wine" wineboot --init >/dev/null 2>&1 || {
        echo "wine_run: making the Wine prefix $prefix failed" >&2
        exit 1
      }
      timeout 60 /usr/lib/wine/wineserver -w
    fi
  ) 9>"$prefix.lock"
fi
exec "$wine" "$@"
