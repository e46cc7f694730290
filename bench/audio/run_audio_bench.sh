#!/usr/bin/env bash
# Audio library benchmark: decoding speed of a 10-minute MP3 beside ffmpeg and mpg123, and the
# CPU share while playing a 60-second MP3 with the spectrum read every 50 ms beside ffplay, and
# how long the first stream of a process takes to open.
#   bash bench/audio/run_audio_bench.sh [build-dir]      (default: build)
# Needs the build's audio_bench target (cmake -DVOREL_BENCH=ON). The test audio is generated
# here: a chord of sines over low noise, 44.1 kHz stereo, 192 kbit/s CBR MP3.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
bench="$build/bench/audio/audio_bench"
[ -x "$bench" ] || bench="$build/bin/audio_bench"
[ -x "$bench" ] || { echo "build the audio_bench target first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_mp3() {  # seconds file
  ffmpeg -nostdin -v error -y -f lavfi \
    -i "aevalsrc=exprs=0.3*sin(2*PI*220*t)+0.2*sin(2*PI*330*t)+0.1*sin(2*PI*440*t*(1+0.01*sin(t)))|0.3*sin(2*PI*277*t)+0.2*sin(2*PI*415*t):s=44100:d=$1" \
    -f lavfi -i "anoisesrc=c=pink:a=0.05:r=44100:d=$1" \
    -filter_complex "[0][1]amix=inputs=2:normalize=0" -ac 2 -c:a libmp3lame -b:a 192k "$2"
}
make_mp3 600 "$work/ten.mp3"
make_mp3 60 "$work/one.mp3"

timed() {  # label command...  -> wall, user+sys, peak RSS
  /usr/bin/time -f "$1: wall %e s, cpu %U+%S s, peak rss %M KB" "${@:2}" 2>&1 >/dev/null | tail -1
}

echo "== opening the first MP3 of a process, decoding libraries loaded with it (5 runs)"
for i in 1 2 3 4 5; do VOREL_AUDIO=null "$bench" open "$work/one.mp3" | head -1; done

echo "== decoding a 10-minute MP3 (no pacing)"
VOREL_AUDIO=null "$bench" decode "$work/ten.mp3"
timed "ffmpeg -f null" ffmpeg -nostdin -v error -i "$work/ten.mp3" -f null -
if command -v mpg123 >/dev/null; then
  timed "mpg123 -t" mpg123 -q -t "$work/ten.mp3"
fi

echo "== playing a 60-second MP3, spectrum every 50 ms (silent real-time output)"
VOREL_AUDIO=null "$bench" play "$work/one.mp3"
timed "ffplay -nodisp (SDL dummy output)" env SDL_AUDIODRIVER=dummy \
  ffplay -v error -nodisp -autoexit "$work/one.mp3"
