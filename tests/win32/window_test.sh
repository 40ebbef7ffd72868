#!/usr/bin/env bash
# kinetra.exe under Wine on Xvfb, on the virtual device: with steady noise the meters show sound,
# with a silent WAV they show none; through DirectSound from a PulseAudio null sink's monitor
# likewise, while the noise plays into the sink and while nothing does; a sound-file input reaches
# the sink, played aloud. Each run quits with 0, writes the settings at close and reads them at
# start.
set -euo pipefail
program_dir=$(realpath "$1")
work=$(realpath -m "$2")/window
rm -rf "$work" && mkdir -p "$work"
source "$(dirname "$0")/wine_session.sh"
start_display
cp "$program_dir/kinetra.exe" "$work/"
# Four seconds of silence, and of steady noise (sound in every band at every moment, so that
# the picture's moment does not matter).
write_wav() {  # NAME AMPLITUDE
  python3 -c "
import random,struct,sys
n=4*44100; a=int(sys.argv[1]); random.seed(1)
data=b''.join(struct.pack('<h',random.randint(-a,a)) for _ in range(n))
sys.stdout.buffer.write(b'RIFF'+struct.pack('<I',36+2*n)+b'WAVEfmt '+struct.pack('<IHHIIHH',16,1,1,44100,88200,2,16)+b'data'+struct.pack('<I',2*n)+data)" "$2" >"$work/$1"
}
write_wav silence.wav 0
write_wav noise.wav 12000

# Coloured pixels in the sliders' part of a picture (above the Disable boxes): a live meter's
# fill and lamps; a meter without sound is a grey dashed outline.
meter_pixels() {
  python3 -c "
import struct,sys,zlib
d=open(sys.argv[1],'rb').read()
w,h=struct.unpack('>II',d[16:24]); i=8; z=b''
while i<len(d):
  n=struct.unpack('>I',d[i:i+4])[0]; t=d[i+4:i+8]
  if t==b'IDAT': z+=d[i+8:i+8+n]
  i+=12+n
raw=zlib.decompress(z); s=1+3*w
def coloured(p): return max(p)-min(p)>80
print(sum(1 for y in range(h*6//10) for x in range(w) if coloured(raw[y*s+1+3*x:y*s+4+3*x])))" "$1"
}

run_window() {  # INPUT PICTURE
  (cd "$work" && KINETRA_FORCE_DEVICE=virtual KINETRA_AUDIO_INPUT=$1 KINETRA_QUIT_AFTER_MS=3000 \
    KINETRA_SCREENSHOT=$2 wine_run 60 kinetra.exe)
}

# A stored level that is not the default: read at start, written back at close.
wine_run 30 reg add 'HKCU\Software\Ondrel Corporation\Kinetra Entertainment' /v threshold3 \
  /t REG_DWORD /d 55 /f >/dev/null
run_window noise.wav sound.png
run_window silence.wav silence.png
sound=$(meter_pixels "$work/sound.png")
silence=$(meter_pixels "$work/silence.png")
echo "coloured meter pixels: $sound with noise, $silence in silence"
[ "$sound" -gt 50 ] || { echo "FAIL: the meters do not show the noise" >&2; exit 1; }
[ "$silence" -eq 0 ] || { echo "FAIL: the meters move in silence" >&2; exit 1; }
# DirectSound through Wine's PulseAudio driver, from a server of the test's own.
start_null_sink
# A sound-file input is played aloud (waveOut, through Wine's PulseAudio driver): the sink's
# monitor receives it while the window runs.
timeout 6 parec -d kinetra_test.monitor --raw --format=s16le --rate=44100 --channels=1 \
  >"$work/aloud.raw" 2>/dev/null &
recorder=$!
run_window noise.wav aloud.png
wait "$recorder" || true
aloud=$(python3 -c "
import array,sys
d=open(sys.argv[1],'rb').read(); a=array.array('h',d[:len(d)//2*2])
print(max((abs(x) for x in a),default=0))" "$work/aloud.raw")
echo "loudest sample at the sink while the file plays aloud: $aloud"
[ "$aloud" -gt 6000 ] || { echo "FAIL: the sound file is not played aloud" >&2; exit 1; }
run_window default quiet.png
timeout 60 bash -c 'while paplay -d kinetra_test "$0"; do :; done' "$work/noise.wav" &
pids+=($!)
run_window default heard.png
heard=$(meter_pixels "$work/heard.png")
quiet=$(meter_pixels "$work/quiet.png")
echo "coloured meter pixels through DirectSound: $heard while noise plays, $quiet in silence"
[ "$heard" -gt 50 ] || { echo "FAIL: DirectSound capture does not reach the meters" >&2; exit 1; }
[ "$quiet" -eq 0 ] || { echo "FAIL: the meters move with a silent sink" >&2; exit 1; }

registry=$(user_registry)
for value in '"threshold1"=dword:00000014' '"threshold3"=dword:00000037' '"gain"=dword:00000064'; do
  grep -qF "$value" <<<"$registry" || { echo "FAIL: $value not in the registry" >&2; exit 1; }
done
echo "window test passed"
