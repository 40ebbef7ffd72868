#!/usr/bin/env bash
# Runs the program for a few seconds on built-in defaults: the virtual force-feedback device,
# the bundled test sound as the audio input, on the screen when there is one and offscreen when
# there is not. Saves a picture of the window, then traces the same sound with kinetra-trace
# (a picture of what each band sent, and its table), and says where they are.
#   tools/demo.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: demo.sh BUILD_DIR}
build=$(cd "$build" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
program="$build/app/kinetra"

if [ ! -x "$program" ]; then
    echo "demo: the program is not built yet; showing the spectrum of a built-in sound instead" >&2
    exec "$build/tools/kinetra-spectrum"
fi

sound="$build/app/data/test.wav"
[ -f "$sound" ] || sound="$root/app/data/test.wav"
shot="$build/kinetra-demo.png"
seconds=${KINETRA_DEMO_SECONDS:-6}
if ! [[ $seconds =~ ^[0-9]{1,4}$ ]] || ((10#$seconds < 1 || 10#$seconds > 3600)); then
    echo "demo: KINETRA_DEMO_SECONDS: \"$seconds\" is not a whole number from 1 to 3600" >&2
    exit 2
fi
seconds=$((10#$seconds))

# Settings of the demo stay in the build folder, away from the user's own.
export XDG_CONFIG_HOME="$build/demo-config"
mkdir -p "$XDG_CONFIG_HOME"
export KINETRA_FORCE_DEVICE=virtual
export KINETRA_AUDIO_INPUT="$sound"
export KINETRA_QUIT_AFTER_MS=$((seconds * 1000))
export KINETRA_SCREENSHOT="$shot"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=offscreen
    where="offscreen (no display)"
else
    where="on the screen"
fi
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$build/demo-runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

rm -f "$shot"
echo "demo: running Kinetra $where for $seconds seconds"
echo "demo: force device: virtual; audio input: $sound"
status=0
timeout $((seconds + 20)) "$program" || status=$?
if [ "$status" -ne 0 ]; then
    echo "demo: the program ended with exit code $status" >&2
    exit "$status"
fi
if [ -f "$shot" ]; then
    echo "demo: picture of the window: $shot"
else
    echo "demo: no picture was saved" >&2
    exit 1
fi

trace="$build/tools/kinetra-trace"
if [ -x "$trace" ]; then
    echo "demo: what each band does with that sound (kinetra-trace):"
    "$trace" "$sound" --png "$build/kinetra-demo-trace.png" --csv "$build/kinetra-demo-trace.csv"
    echo "demo: picture of the trace: $build/kinetra-demo-trace.png"
fi
