#!/usr/bin/env bash
# check_stack_vectors.sh OBJDUMP FILE...: fails when the machine code of a FILE (object, library
# or program) moves a 256- or 512-bit vector to or from the stack with an aligned move. GCC for
# 64-bit Windows cannot align the stack beyond 16 bytes, so such a move (a spilled ymm or zmm
# register) faults whenever the frame is not 32- or 64-byte aligned.
set -euo pipefail
objdump=$1; shift
status=0
for file in "$@"; do
  found=$("$objdump" -d --no-show-raw-insn "$file" | grep -E \
    'vmov(aps|apd|dqa|dqa32|dqa64)[[:space:]].*(%[yz]mm[0-9]+.*\(%r[sb]p\)|\(%r[sb]p\).*%[yz]mm[0-9]+)' \
    || true)
  if [ -n "$found" ]; then
    echo "$file: aligned 256/512-bit moves on the stack (a crash on Windows):" >&2
    echo "$found" | head -20 >&2
    status=1
  fi
done
exit "$status"
