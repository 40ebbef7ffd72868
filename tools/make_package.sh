#!/usr/bin/env bash
# Builds the Debian package from a build folder where the program and kinetra-trace are built,
# and puts it in OUT_DIR as kinetra_<version>_<arch>.deb; prints its path.
#   tools/make_package.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=$(cd "${1:?usage: make_package.sh BUILD_DIR OUT_DIR}" && pwd)
out=$(mkdir -p "${2:?usage: make_package.sh BUILD_DIR OUT_DIR}" && cd "$2" && pwd)
work="$build/package-work"
rm -rf "$work"
mkdir -p "$work"
# The man pages are built with everything else; the package's own targets are built here too, so
# that a folder built for the program alone can be packaged.
cmake --build "$build" --target kinetra kinetra-trace kinetra_man >/dev/null
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log" >&2
  echo "make_package: cpack failed" >&2
  exit 1
}
shopt -s nullglob
debs=("$work"/kinetra_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
  echo "make_package: expected one package in $work, found ${#debs[@]}" >&2
  exit 1
fi
mv -f "${debs[0]}" "$out/"
echo "$out/$(basename "${debs[0]}")"
