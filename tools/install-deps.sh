#!/usr/bin/env bash
# Installs the Debian packages a task needs, by group:
#   install-deps.sh run       building and running the program and kinetra-trace (the default)
#   install-deps.sh test      the tests (their libraries and the real parts they run against)
#   install-deps.sh bench     the benchmarks and the peers they are compared with
#   install-deps.sh package   building the Debian package and checking its files
#   install-deps.sh format    clang-format for ./run format
#   install-deps.sh windows   the Windows build under Wine (./run windows-test)
#   install-deps.sh --list GROUP...   prints the packages of those groups (all groups: --list all)
# Several groups may be named at once. Idempotent: does nothing when all of them are present.
set -euo pipefail

group_packages() {
  case "$1" in
    run)
      # toolchain and the program's libraries
      echo cmake ninja-build g++ pkg-config
      echo qt6-base-dev libsdl2-dev libsndfile1-dev libsamplerate0-dev libxcb1-dev libpulse-dev
      ;;
    test)
      echo libgtest-dev libgmock-dev
      # fuzz targets: libFuzzer and the sanitizers' runtimes are in libclang-rt, and the
      # symbolizer turns their stacks into names (the leak suppressions match on them)
      echo clang libclang-rt-14-dev llvm-14
      # ccache keeps rebuilds in fresh folders quick (./run uses it where installed)
      echo ccache
      # the scan of the scripts for the programs they call (tests/package/check_install_groups.py)
      echo python3
      group_packages format
      # real parts the tests run against
      echo pulseaudio pulseaudio-utils libasound2-plugins
      # the force-feedback device test in a QEMU guest: the kernel unpacked from its package
      echo qemu-system-x86 busybox-static cpio xz-utils zstd binutils
      # a window on a real X server with a tray, and pictures for the README
      echo xvfb xauth trayer
      # the package test and the fresh-machine build: a clean Debian root
      echo debootstrap
      group_packages package
      ;;
    bench)
      echo libbenchmark-dev libfftw3-dev libkissfft-dev pulseaudio pulseaudio-utils libasound2-plugins
      # figure script of the two response modes (bench/hits_figures.py): aubioonset finds the
      # onsets the hits are scored against; numpy filters the bands
      echo aubio-tools python3-numpy
      ;;
    package)
      # dpkg-shlibdeps derives the package's dependencies; CPack reads the binaries with file
      echo dpkg-dev file
      # the checks of the desktop entry, the AppStream file and the man pages
      echo desktop-file-utils appstream groff-base
      ;;
    format)
      echo clang-format
      ;;
    windows)
      # MinGW-w64 (POSIX threads), Wine to run the tests, googletest's sources to build it with
      echo cmake ninja-build g++-mingw-w64-x86-64-posix wine wine64 googletest
      # ./run windows: the help (chmcmd), the zip and the installer; the window's test under
      # Wine on an X server with a window manager, and the sound it hears from a null sink
      echo fp-utils-3.2.2 zip unzip nsis xvfb openbox python3 pulseaudio pulseaudio-utils
      ;;
    *)
      echo "install-deps: unknown group '$1' (run, test, bench, package, format, windows)" >&2
      exit 2
      ;;
  esac
}

all_groups=(run test bench package format windows)
list=0
if [ "${1:-}" = --list ]; then
  list=1
  shift
fi
groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(run)
[ "${groups[*]}" != all ] || groups=("${all_groups[@]}")
packages=()
for g in "${groups[@]}"; do
  group_packages "$g" >/dev/null || exit 2
  read -r -a words <<<"$(group_packages "$g" | tr '\n' ' ')"
  packages+=("${words[@]}")
done

if [ "$list" = 1 ]; then
  printf '%s\n' "${packages[@]}" | sort -u
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    case " ${missing[*]} " in *" $p "*) ;; *) missing+=("$p") ;; esac
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  echo "install-deps: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
