#!/usr/bin/env bash
# Runs the program for a few seconds on built-in defaults: the virtual force-feedback device,
# the bundled test sound as the audio input, on the screen when there is one and offscreen when
# there is not. Saves a picture of the window while the sound plays, at its busiest moment (the
# trace of the same sound with kinetra-trace says when most bands fire; the program closes
# itself there, at most KINETRA_DEMO_SECONDS in), and says where the picture, the trace's
# picture and its table are.
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
export KINETRA_SCREENSHOT="$shot"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=offscreen
    where="offscreen (no display)"
else
    where="on the screen"
fi
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$build/demo-runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# The busiest moment of a trace table: the middle of the block where most bands fire, weighed
# with its two neighbours on each side, and the sound's length as the table covers it, both in
# ms ("AT LENGTH"); nothing when no band fires. Columns: time_s, then six per band, the
# magnitude sent sixth.
busiest_moment() {
    awk -F, 'NR > 1 {
            rows = NR - 1; t[rows] = $1; n = 0
            for (b = 0; b < 5; b++) if ($(6 + 6 * b) + 0 > 0) n++
            f[rows] = n
        }
        END {
            best = 0; at = 0
            for (i = 3; i <= rows - 2; i++) {
                score = f[i - 2] + f[i - 1] + 2 * f[i] + f[i + 1] + f[i + 2]
                if (score > best) { best = score; at = i }
            }
            if (best == 0) exit 1
            block = 1024 / 44100
            printf "%d %d\n", (t[at] - block / 2) * 1000, rows * block * 1000
        }' "$1"
}

# The trace first: it says when the picture shows the window during a beat. The sound loops, so
# the picture is taken at the last pass over that moment within the run's time.
trace="$build/tools/kinetra-trace"
trace_summary=$(mktemp)
trap 'rm -f "$trace_summary"' EXIT
traced=0
quit_ms=$((seconds * 1000))
when="at the end"
if [ -x "$trace" ] &&
    "$trace" "$sound" --png "$build/kinetra-demo-trace.png" --csv "$build/kinetra-demo-trace.csv" \
        >"$trace_summary"; then
    traced=1
    if read -r at length < <(busiest_moment "$build/kinetra-demo-trace.csv") &&
        ((length > 0 && quit_ms >= at)); then
        quit_ms=$((at + (quit_ms - at) / length * length))
        when="at the end, while the sound plays and the bands fire"
    fi
fi

export KINETRA_QUIT_AFTER_MS=$quit_ms

rm -f "$shot"
echo "demo: running Kinetra $where for $((quit_ms / 1000)).$(printf %03d $((quit_ms % 1000))) seconds" \
    "(at most $seconds; the picture is taken $when)"
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

if [ "$traced" = 1 ]; then
    echo "demo: what each band does with that sound (kinetra-trace):"
    cat "$trace_summary"
    echo "demo: picture of the trace: $build/kinetra-demo-trace.png"
fi
