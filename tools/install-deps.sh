#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the demo and the benchmarks use.
# Idempotent: does nothing when all of them are present already.
set -euo pipefail

packages=(
  # toolchain
  cmake ninja-build g++ pkg-config clang-format
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev libkissfft-dev libpulse-dev
  libasound2-plugins
  # product libraries
  qt6-base-dev libsdl2-dev libsndfile1-dev libsamplerate0-dev libxcb1-dev
  # real parts the tests run against
  pulseaudio pulseaudio-utils qemu-system-x86 busybox-static cpio xz-utils
  # pictures for the README and the demo
  xvfb xauth
  # figure script of the two mapper modes (bench/hits_figures.py, run by ./run bench only):
  # aubioonset finds the onsets the hits are scored against; numpy filters the bands
  aubio-tools python3-numpy
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
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
