#!/usr/bin/env bash
# make_windows.sh BUILD VERSION: from the Windows build in BUILD (kinetra.exe and kinetra-trace.exe
# in BUILD/win32), makes BUILD/kinetra-VERSION-win64.zip (the programs, stripped, the MinGW
# runtime DLLs they import, test.wav, the help Vibrel.chm and a README) and, with NSIS,
# BUILD/kinetra-VERSION-setup.exe.
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
mingw=x86_64-w64-mingw32
name=kinetra-$version-win64
work=$build/package
stage=$work/$name
rm -rf "$work"
mkdir -p "$stage"

for exe in kinetra kinetra-trace; do
  "$mingw-strip" -o "$stage/$exe.exe" "$build/win32/$exe.exe"
done
cp "$root/app/data/test.wav" "$stage/"

# The help: the program's help page compiled with its topic map.
mkdir -p "$work/help"
cp "$root/app/help/index.html" "$here/Vibrel.hhp" "$work/help/"
(cd "$work/help" && chmcmd Vibrel.hhp >/dev/null 2>&1)
cp "$work/help/Vibrel.chm" "$stage/"

# The MinGW runtime DLLs the programs import (none when they are linked statically); everything
# else they import must be a DLL of Windows itself.
runtime_dirs=("/usr/$mingw/lib" /usr/lib/gcc/$mingw/*-posix)
for exe in "$stage"/*.exe; do
  "$mingw-objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p'
done | sort -u | while read -r dll; do
  for dir in "${runtime_dirs[@]}"; do
    if [ -f "$dir/$dll" ]; then cp "$dir/$dll" "$stage/"; break; fi
  done
done

cat >"$stage/README.txt" <<TEXT
Ondrel Kinetra Entertainment $version for 64-bit Windows

kinetra.exe        the program: feel the sound your computer hears
kinetra-trace.exe  the analysis of a WAV file or a live input, as a table (kinetra-trace --help)
Vibrel.chm         the help; test.wav  the Test button's sound

Start kinetra.exe from this folder; it needs no installation. Settings are kept in the
registry under HKEY_CURRENT_USER\\Software\\Ondrel Corporation\\Kinetra Entertainment.
TEXT

rm -f "$build/$name.zip"
(cd "$work" && zip -q -r -9 "$build/$name.zip" "$name")
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$build/kinetra-$version-setup.exe" \
  "$here/kinetra.nsi" >/dev/null
ls -l "$build/$name.zip" "$build/kinetra-$version-setup.exe"
