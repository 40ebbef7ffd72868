#!/usr/bin/env bash
# The desktop entry, the AppStream metainfo and the man pages as the tools that read them see
# them: no complaint from desktop-file-validate, appstreamcli (offline: the addresses are the
# maker's) or groff.
#   check_desktop_files.sh SOURCE_DIR
set -uo pipefail
src=${1:?usage: check_desktop_files.sh SOURCE_DIR}
for tool in desktop-file-validate appstreamcli groff; do
  command -v "$tool" >/dev/null \
    || { echo "FAILED: $tool is not installed (tools/install-deps.sh package)" >&2; exit 1; }
done
failed=0
out=$(desktop-file-validate "$src/app/kinetra.desktop" 2>&1)
if [ $? -ne 0 ] || [ -n "$out" ]; then echo "desktop-file-validate: $out"; failed=1; fi
if ! appstreamcli validate --no-net "$src/packaging/example.ondrel.kinetra.metainfo.xml"; then
  failed=1
fi
for page in "$src"/docs/man/*.1; do
  out=$(groff -man -ww -z "$page" 2>&1)
  if [ -n "$out" ]; then echo "groff $(basename "$page"): $out"; failed=1; fi
done
exit $failed
