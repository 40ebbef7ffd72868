#!/usr/bin/env bash
# kinetra-trace.exe under Wine, live: noise played into a PulseAudio null sink is recorded through
# the sink's monitor (DirectSound, standing in for WASAPI loopback, which Wine 8 refuses) into a
# table with rows; one application alone (process loopback, which Wine lacks) and a capture
# device that does not exist are refused with a clear message, each within its time.
#   trace_wine_test.sh PROGRAM_DIR WORK_DIR
set -euo pipefail
program_dir=$(realpath "$1")
work=$(realpath -m "$2")/trace-live
rm -rf "$work" && mkdir -p "$work"
source "$(dirname "$0")/../win32/wine_session.sh"
cp "$program_dir/kinetra-trace.exe" "$work/"
python3 -c "
import random,struct,sys
n=2*44100; random.seed(1)
data=b''.join(struct.pack('<h',random.randint(-12000,12000)) for _ in range(n))
sys.stdout.buffer.write(b'RIFF'+struct.pack('<I',36+2*n)+b'WAVEfmt '+struct.pack('<IHHIIHH',16,1,1,44100,88200,2,16)+b'data'+struct.pack('<I',2*n)+data)" >"$work/noise.wav"
start_null_sink
timeout 120 bash -c 'while paplay -d kinetra_test "$0"; do :; done' "$work/noise.wav" &
pids+=($!)

# trace SECONDS ARGS...: kinetra-trace.exe in $work, its exit code in $status, its messages in
# $work/err.txt.
trace() {
  local seconds=$1; shift
  status=0
  (cd "$work" && wine_run "$seconds" kinetra-trace.exe "$@" >"$work/out.txt" 2>"$work/err.txt") \
    || status=$?
}
trace 60 --input monitor --seconds 3 --csv live.csv
cat "$work/out.txt"
[ "$status" = 0 ] || { echo "FAIL: the live trace ended with $status:" >&2; cat "$work/err.txt" >&2; exit 1; }
# Rows after the heading, and sound in them (band 1's loudest bin above 0).
read -r rows heard < <(python3 -c "
import csv,sys
rows=list(csv.reader(open(sys.argv[1])))[1:]
print(len(rows), sum(1 for r in rows if float(r[1])>0))" "$work/live.csv")
echo "live table: $rows rows, $heard with sound"
[ "$rows" -gt 0 ] && [ "$heard" -gt 0 ] || { echo "FAIL: the live table holds no sound" >&2; exit 1; }

for refused in 'app:paplay' 'No such capture device'; do
  trace 60 --input "$refused" --seconds 2 --csv refused.csv
  echo "--input '$refused': exit $status, $(head -c 300 "$work/err.txt")"
  [ "$status" = 1 ] && grep -q "kinetra-trace: cannot record '$refused': ." "$work/err.txt" \
    || { echo "FAIL: --input '$refused' is not refused clearly" >&2; exit 1; }
done
echo "live trace test passed"
