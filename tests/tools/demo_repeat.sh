#!/usr/bin/env bash
# Runs the demo (tools/demo.sh) many times in a row, offscreen with a short run, and checks that
# every run ends well and leaves a fresh picture of the window. The picture and the closing come
# from one timer; two timers of 2 s or more could fire in either order.
#   demo_repeat.sh BUILD_DIR [RUNS]
set -euo pipefail
build=${1:?usage: demo_repeat.sh BUILD_DIR [RUNS]}
runs=${2:-20}
root=$(cd "$(dirname "$0")/../.." && pwd)
shot="$build/kinetra-demo.png"
unset DISPLAY WAYLAND_DISPLAY
export KINETRA_DEMO_SECONDS=2
for ((i = 1; i <= runs; i++)); do
    if ! "$root/tools/demo.sh" "$build" >"$build/demo-repeat.log" 2>&1; then
        echo "run $i of $runs failed:" >&2
        cat "$build/demo-repeat.log" >&2
        exit 1
    fi
    if [ "$(head -c 8 "$shot" | od -An -tx1 | tr -d ' \n')" != "89504e470d0a1a0a" ]; then
        echo "run $i of $runs left no picture of the window at $shot" >&2
        cat "$build/demo-repeat.log" >&2
        exit 1
    fi
done
echo "$runs demo runs, each with its picture"
