#!/usr/bin/env bash
# Resident memory of the running player: idle 3 s after start, then while playing the first of
# 50 MP3s, then after every tenth song, the songs started one after another through the play
# list (the "next" button, once a second), under Xvfb with the silent output.
#   bash bench/player/song_series.sh [--no-build]
set -euo pipefail
cd "$(dirname "$0")/../.."
for p in xvfb xdotool ffmpeg; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
    { apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$p"; }
done
if [ "${1:-}" != --no-build ]; then
  flock /tmp/vorel-build.lock sh -c '[ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null
    cmake --build build --target vorel bass >/dev/null' || { echo "build failed" >&2; exit 1; }
fi

work=$(mktemp -d)
trap 'kill $xvfb $player 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/app"
cp build/bin/vorel build/bin/libbass.so "$work/app/"
for i in $(seq -w 1 50); do
  ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=$((200 + 10#$i * 20)):duration=30" \
    -ac 2 -b:a 128k "$work/song$i.mp3"
done
# The play list: one row of four records per song, in the list view's format.
python3 - "$work" <<'PY'
import struct, sys
work = sys.argv[1]
out = b""
for n in range(1, 51):
    name = "song%02d.mp3" % n
    for i, cell in enumerate(["本地文件", work + "/" + name, name, ""]):
        out += (b"\x00" if i == 0 else b"\x01") + struct.pack("<iiii", -1, -1, 0, 0)
        out += cell.encode("gb18030") + b"\x00\x00"
open(work + "/app/播放列表.txt", "wb").write(out)
PY

display=:91
Xvfb $display -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display VOREL_AUDIO=null HOME=$work XDG_CONFIG_HOME=$work/.config
sleep 1
"$work/app/vorel" >/dev/null 2>&1 &
player=$!
for i in $(seq 50); do
  win=$(xdotool search --onlyvisible --pid $player 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  sleep 0.1
done
eval "$(xdotool getwindowgeometry --shell "$win")"
rss() { awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$player/status"; }
sleep 3
idle=$(rss)
echo "idle (3 s after start): $idle MiB"
xdotool mousemove $((X + 323)) $((Y + 168)) click 1  # play: the first song
sleep 3
echo "playing song 1: $(rss) MiB (+$(echo "$(rss) - $idle" | bc) MiB over idle)"
for n in $(seq 2 50); do
  xdotool mousemove $((X + 371)) $((Y + 168)) click 1  # next
  sleep 1
  if [ $((n % 10)) -eq 0 ]; then echo "after song $n: $(rss) MiB"; fi
done
