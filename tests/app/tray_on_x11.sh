#!/usr/bin/env bash
# Runs the tray test program on a private Xvfb with trayer as the tray, and ends both after.
#   tray_on_x11.sh TEST_PROGRAM SOUND_FILE
# Fails, naming it, when Xvfb or trayer is missing (tools/install-deps.sh test installs both).
set -euo pipefail
program=${1:?usage: tray_on_x11.sh TEST_PROGRAM SOUND_FILE}
sound=${2:?usage: tray_on_x11.sh TEST_PROGRAM SOUND_FILE}
for tool in Xvfb trayer; do
  command -v "$tool" >/dev/null || { echo "FAILED: $tool is not installed (tools/install-deps.sh test)" >&2; exit 1; }
done
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A display number of our own.
display=
for n in $(seq $((150 + $$ % 40)) 299); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free display number" >&2; exit 1; }
Xvfb ":$display" -screen 0 720x400x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
[ -e "/tmp/.X11-unix/X$display" ] || { cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$display"
trayer --edge top --align right --widthtype request --height 28 --SetDockType true \
  --transparent false --tint 0x1d3557 >"$work/trayer.log" 2>&1 &
pids+=($!)

# Under LeakSanitizer: libdbus's one-off buffer is not ours (see tray_on_x11.lsan).
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(cd "$(dirname "$0")" && pwd)/tray_on_x11.lsan"

mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
status=0
env QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
  SDL_AUDIODRIVER=dummy KINETRA_FORCE_DEVICE=virtual KINETRA_AUDIO_INPUT="$sound" \
  timeout 120 "$program" || status=$?
exit "$status"
