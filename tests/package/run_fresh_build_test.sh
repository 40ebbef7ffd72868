#!/usr/bin/env bash
# A fresh Debian 12 machine builds everything with only what the install groups bring: in a copy
# of the clean root (tests/package/clean_root.sh) it runs `tools/install-deps.sh all`, then
# configures and builds every target (program, tests, benchmarks) and the fuzz targets with clang
# and the sanitizers, links included. A library, a header or a toolchain part that no group
# installs fails here rather than on a user's machine.
#   run_fresh_build_test.sh BUILD_DIR SOURCE_DIR
# The copy lives on disk under BUILD_DIR/fresh-root and is removed at the end, however it ends.
# Downloaded packages are kept beside the clean root, and the compiler cache in
# ${KINETRA_ROOT_CACHE:-~/.cache/kinetra-root}/ccache, so later runs download and compile only
# what changed. Exit 77 (skipped) only for what no install can mend: not root, or no mirror.
set -euo pipefail
build=$(cd "${1:?usage: run_fresh_build_test.sh BUILD_DIR SOURCE_DIR}" && pwd)
source_dir=$(cd "${2:?usage: run_fresh_build_test.sh BUILD_DIR SOURCE_DIR}" && pwd)
# skip, fail and note, the root and debootstrap checks, and the clean root (clean_root.sh).
. "$source_dir/tests/package/clean_root.sh"
begin_root_test "fresh build test"
make_clean_root "$build"
ccache_dir="$(dirname "$clean_root")/ccache"
mkdir -p "$ccache_dir"

work="$build/fresh-root"
rm -rf "$work"
mkdir -p "$work"
note "copying the clean root and the sources"
cp -a "$clean_root/." "$work/"
mkdir -p "$work/src"
tar -C "$source_dir" --exclude='./build*' --exclude='./.git' -cf - . | tar -C "$work/src" -xf -

cat >"$work/tmp/in-root.sh" <<'INNER'
#!/bin/sh
# Runs inside the copy of the clean root, from the sources' folder.
set -eu
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin
export CCACHE_DIR=/ccache CCACHE_MAXSIZE=4G
step() { echo "--- $*"; }
cd /src
step "tools/install-deps.sh all"
./tools/install-deps.sh all
launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
step "every target: program, tests, benchmarks"
cmake -S . -B /build/all -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKINETRA_BUILD_TESTS=ON \
  -DKINETRA_BUILD_BENCH=ON $launcher >/build/all.log 2>&1 || { tail -n 40 /build/all.log; exit 1; }
cmake --build /build/all -j "$(nproc)" >>/build/all.log 2>&1 || { grep -B2 -A20 'FAILED\|rror' /build/all.log | head -n 80; exit 1; }
step "the fuzz targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer)"
cmake -S . -B /build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DKINETRA_SANITIZE=address,undefined -DKINETRA_BUILD_FUZZ=ON \
  -DKINETRA_BUILD_TESTS=OFF -DKINETRA_BUILD_GUI=OFF $launcher >/build/fuzz.log 2>&1 \
  || { tail -n 40 /build/fuzz.log; exit 1; }
cmake --build /build/fuzz -j "$(nproc)" >>/build/fuzz.log 2>&1 || { grep -B2 -A20 'FAILED\|rror' /build/fuzz.log | head -n 80; exit 1; }
step "built"
INNER
chmod +x "$work/tmp/in-root.sh"

note "installing the groups and building everything in the root"
status=0
unshare -m --propagation private sh -c '
  set -e
  root=$1 archives=$2 ccache=$3
  trap "umount -R \"$root/proc\" \"$root/dev\" \"$root/var/cache/apt/archives\" \"$root/ccache\" 2>/dev/null || true" EXIT
  mkdir -p "$root/ccache" "$root/build"
  mount --bind /proc "$root/proc"
  mount --rbind /dev "$root/dev"
  mount --bind "$archives" "$root/var/cache/apt/archives"
  mount --bind "$ccache" "$root/ccache"
  chroot "$root" /tmp/in-root.sh
' sh "$work" "$archives" "$ccache_dir" || status=$?
if grep -qs " $work[ /]" /proc/mounts; then fail "a mount was left behind under $work"; fi
rm -rf "$work"
[ "$status" = 0 ] || fail "in the clean root (exit code $status)"
note "passed"
