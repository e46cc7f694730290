#!/usr/bin/env bash
# CPU used by the running player while it plays a song with the spectrum (50 ms), status
# (300 ms) and lyrics (500 ms) timers running, over 60 s, under Xvfb with the silent output
# clocked in real time. Prints the share of one core.
#   bash bench/player/playback_cpu.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
for p in xvfb xdotool ffmpeg; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
    { apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$p"; }
done
# Built under the lock every build of this tree takes, so a benchmark never races a build.
flock /tmp/vorel-build.lock sh -c '[ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null; cmake --build build --target vorel bass >/dev/null'

work=$(mktemp -d)
trap 'kill $xvfb $player 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/app"
cp build/bin/vorel build/bin/libbass.so "$work/app/"
ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=440:duration=$((seconds + 30))" \
  -f lavfi -i "anoisesrc=color=pink:amplitude=0.2:duration=$((seconds + 30))" \
  -filter_complex amix=inputs=2 -ac 2 -b:a 128k "$work/song.mp3"
printf '[00:01.00]one\r\n[00:02.00]two\r\n' > "$work/song.lrc"
# A play list holding the song: one row of four records in the list view's format.
python3 - "$work" <<'PY'
import struct, sys
work = sys.argv[1]
out = b""
for i, cell in enumerate(["本地文件", work + "/song.mp3", "song.mp3", ""]):
    out += (b"\x00" if i == 0 else b"\x01") + struct.pack("<iiii", -1, -1, 0, 0)
    out += cell.encode("gb18030") + b"\x00\x00"
open(work + "/app/播放列表.txt", "wb").write(out)
PY

Xvfb :93 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:93 VOREL_AUDIO=null
sleep 1
"$work/app/vorel" >/dev/null 2>&1 &
player=$!
for i in $(seq 50); do
  win=$(xdotool search --onlyvisible --pid $player 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  sleep 0.1
done
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 323)) $((Y + 168)) click 1  # the play button
sleep 2
ticks() { awk '{ print $14 + $15 }' "/proc/$player/stat"; }
hz=$(getconf CLK_TCK)
threads() {  # thread id, name and CPU ticks of every thread
  for t in /proc/$player/task/*; do
    echo "${t##*/} $(tr ' ' '_' < "$t/comm") $(awk '{ print $14 + $15 }' "$t/stat")"
  done
}
threads > "$work/threads.before"
before=$(ticks)
sleep "$seconds"
after=$(ticks)
threads > "$work/threads.after"
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" \
  'BEGIN { printf "vorel playing for %d s: %.2f%% of one core\n", s, 100 * t / hz / s }'
# Where it goes, thread by thread (the UI thread carries the program's name).
awk -v hz="$hz" -v s="$seconds" 'NR == FNR { b[$1] = $3; next }
  { printf "  thread %-16s %.2f%%\n", $2, 100 * ($3 - b[$1]) / hz / s }' \
  "$work/threads.before" "$work/threads.after"
