#!/usr/bin/env bash
# Installs the Debian package into a clean Debian 12 root and runs it there, as a user would:
# `apt-get install ./kinetra_*.deb`, then `kinetra --version`, `kinetra-trace --help`, the
# program offscreen for 2 s on the virtual device with the installed test.wav, and the desktop
# entry's Exec line the same way. Checks the installed desktop entry and metainfo on the way.
#   run_package_test.sh BUILD_DIR SOURCE_DIR
# The clean root (debootstrap minbase of bookworm from this machine's Debian mirror, with its
# package lists) is kept under $KINETRA_ROOT_CACHE (default ~/.cache/kinetra-root), one per week
# and mirror; each run works on a copy in memory. Downloaded packages are kept beside it.
# Exit 77 (skipped) only for what no install can mend: not root, or no mirror answers.
set -euo pipefail
build=$(cd "${1:?usage: run_package_test.sh BUILD_DIR SOURCE_DIR}" && pwd)
source_dir=$(cd "${2:?usage: run_package_test.sh BUILD_DIR SOURCE_DIR}" && pwd)
# skip, fail and note, the root and debootstrap checks, and the clean root (clean_root.sh).
. "$source_dir/tests/package/clean_root.sh"
begin_root_test "package test"
make_clean_root "$build"

note "building the package"
deb=$("$source_dir/tools/make_package.sh" "$build" "$build/package-test") || fail "no package"

# The root's copy lives in memory, in a mount namespace of this test's own (see below): nothing
# is left on disk or mounted when the test ends, however it ends.
work="$build/package-test/root"
stage="$build/package-test/stage"
rm -rf "$stage"
mkdir -p "$work" "$stage"
cp "$deb" "$stage/"

cat >"$stage/in-root.sh" <<'INNER'
#!/bin/sh
# Runs inside the clean root.
set -eu
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin
unset DISPLAY WAYLAND_DISPLAY
step() { echo "--- $*"; }

step "apt-get install ./$(basename /tmp/kinetra_*.deb)"
apt-get install -y -qq --no-install-recommends /tmp/kinetra_*.deb >/tmp/apt.log 2>&1 \
  || { cat /tmp/apt.log; exit 1; }

step "kinetra --version"
version=$(kinetra --version)
echo "$version"
[ "$version" = "kinetra $EXPECTED_VERSION" ] || { echo "expected: kinetra $EXPECTED_VERSION"; exit 1; }

step "kinetra-trace --help"
kinetra-trace --help >/tmp/trace-help.txt
grep -q '^usage: kinetra-trace SOUNDFILE' /tmp/trace-help.txt || { cat /tmp/trace-help.txt; exit 1; }
grep -q 'bandN_magnitude' /tmp/trace-help.txt || { echo "no column legend"; exit 1; }

for f in /usr/share/kinetra/test.wav /usr/share/kinetra/help/index.html \
         /usr/share/icons/hicolor/scalable/apps/kinetra.svg /usr/share/applications/kinetra.desktop \
         /usr/share/metainfo/example.ondrel.kinetra.metainfo.xml /usr/lib/udev/rules.d/70-kinetra.rules \
         /usr/share/man/man1/kinetra.1.gz /usr/share/man/man1/kinetra-trace.1.gz; do
  [ -s "$f" ] || { echo "missing: $f"; exit 1; }
done

# run NAME COMMAND...: the program for 2 s offscreen on the virtual device with the installed
# sound; it must end by itself with exit code 0 and print nothing on standard error.
run() {
  name=$1; shift
  step "$name"
  rm -rf /tmp/runtime && mkdir -m 700 /tmp/runtime
  status=0
  env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp/runtime KINETRA_FORCE_DEVICE=virtual \
    KINETRA_AUDIO_INPUT=/usr/share/kinetra/test.wav KINETRA_QUIT_AFTER_MS=2000 \
    timeout 30 "$@" >/tmp/run.out 2>/tmp/run.err || status=$?
  cat /tmp/run.out
  if [ "$status" != 0 ] || [ -s /tmp/run.err ]; then
    echo "exit code $status; standard error:"; cat /tmp/run.err; exit 1
  fi
  echo "ran for 2 s and ended with exit code 0, nothing on standard error"
}
run "kinetra (offscreen, virtual device, installed test.wav)" kinetra

# The desktop entry's Exec line without its field codes, run as a menu would (through a shell).
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/kinetra.desktop | head -n 1 \
  | sed -e 's/ *%[fFuUdDnNickvm]//g')
[ -n "$exec_line" ] || { echo "the desktop entry has no Exec line"; exit 1; }
run "the desktop entry's command line: $exec_line" sh -c "$exec_line"

step "kinetra-trace on the installed test.wav"
cd /tmp && kinetra-trace /usr/share/kinetra/test.wav --quiet 2>/tmp/trace.err \
  || { cat /tmp/trace.err; exit 1; }
[ ! -s /tmp/trace.err ] || { cat /tmp/trace.err; exit 1; }
[ -s /tmp/test.trace.csv ] && [ -s /tmp/test.trace.png ] || { echo "no trace files"; exit 1; }
INNER
chmod +x "$stage/in-root.sh"

note "copying the clean root and installing and running the package in it"
status=0
EXPECTED_VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt") \
unshare -m --propagation private sh -c '
  set -e
  root=$1 clean=$2 stage=$3 archives=$4
  trap "umount \"$root/proc\" 2>/dev/null || true; umount \"$root\" 2>/dev/null || true" EXIT
  mount -t tmpfs -o size=4g,mode=755 kinetra-root "$root"
  cp -a "$clean/." "$root/"
  cp "$stage"/* "$root/tmp/"
  cp -n "$archives"/*.deb "$root/var/cache/apt/archives/" 2>/dev/null || true
  mount --bind /proc "$root/proc"
  status=0
  chroot "$root" /tmp/in-root.sh || status=$?
  cp -n "$root"/var/cache/apt/archives/*.deb "$archives/" 2>/dev/null || true
  # The installed files, for the checks below, while the root still exists.
  mkdir -p "$stage/installed"
  cp "$root/usr/share/applications/kinetra.desktop" \
     "$root/usr/share/metainfo/example.ondrel.kinetra.metainfo.xml" "$stage/installed/" || true
  exit $status
' sh "$work" "$clean_root" "$stage" "$archives" || status=$?
if grep -qs " $work[ /]" /proc/mounts; then fail "a mount was left behind under $work"; fi
[ "$status" = 0 ] || fail "in the clean root (exit code $status)"

note "checking the installed desktop entry and metainfo"
if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$stage/installed/kinetra.desktop" 2>&1) || fail "$out"
  [ -z "$out" ] || fail "desktop-file-validate: $out"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$stage/installed/example.ondrel.kinetra.metainfo.xml" \
    || fail "appstreamcli validate"
fi
rm -rf "$stage"
note "passed"
