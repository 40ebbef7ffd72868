#!/usr/bin/env bash
# Runs the main job on built-in defaults with what is built in the given build folder.
set -euo pipefail
build=${1:?usage: demo.sh BUILD_DIR}
exec "$build/tools/kinetra-spectrum"
