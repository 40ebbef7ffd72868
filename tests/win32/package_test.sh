#!/usr/bin/env bash
# The Windows packages under Wine: made by packaging/windows/make_windows.sh from the build, the
# zip's kinetra.exe starts in a folder of its own with nothing but the zip's files, and the
# installer installs and uninstalls silently for the user alone.
set -euo pipefail
build=$(realpath "$1")
version=$2
work=$(realpath -m "$3")/package
rm -rf "$work" && mkdir -p "$work"
"$(dirname "$0")/../../packaging/windows/make_windows.sh" "$build" "$version" >/dev/null
source "$(dirname "$0")/wine_session.sh"

(cd "$work" && unzip -q "$build/kinetra-$version-win64.zip")
out=$(cd "$work/kinetra-$version-win64" && wine_run 60 kinetra.exe --version)
grep -q "$version" <<<"$out" || { echo "FAIL: the zip's kinetra.exe --version said: $out" >&2; exit 1; }

user=$(id -un)
fail() { echo "FAIL: $*" >&2; exit 1; }
installed=$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/Kinetra
menu="$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Kinetra"
wine_run 120 "$build/kinetra-$version-setup.exe" /S
for f in kinetra.exe kinetra-trace.exe test.wav Vibrel.chm uninstall.exe; do
  [ -f "$installed/$f" ] || fail "$f not installed"
done
[ -f "$menu/Ondrel Kinetra Entertainment.lnk" ] || fail "no Start-menu entry"
grep -q 'Uninstall\\\\Kinetra' <<<"$(user_registry)" || fail "not listed as installed"
# In place (_?=), so that the uninstaller ends before this script looks.
wine_run 120 "$installed/uninstall.exe" /S '_?=C:\users\'"$user"'\AppData\Local\Programs\Kinetra'
[ ! -e "$installed/kinetra.exe" ] && [ ! -e "$menu" ] || fail "files left after uninstalling"
! grep -q 'Uninstall\\\\Kinetra' <<<"$(user_registry)" || fail "still listed after uninstalling"
echo "package test passed"
