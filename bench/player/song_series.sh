#!/usr/bin/env bash
# Resident memory of the running player: idle 3 s after start, then while playing the first of
# 50 MP3s, then after every tenth song, the songs started one after another through the play
# list (the "next" button, once a second), under Xvfb with the silent output.
#   bash bench/player/song_series.sh [--no-build]
set -euo pipefail
cd "$(dirname "$0")/../.."
source bench/player/player_session.sh
BuildPlayer "${1:-}"
PrepareWork
songs=()
for i in $(seq -w 1 50); do
  ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=$((200 + 10#$i * 20)):duration=30" \
    -ac 2 -b:a 128k "$work/song$i.mp3"
  songs+=("$work/song$i.mp3")
done
WritePlayList "${songs[@]}"
StartPlayer :91

rss() { awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$player/status"; }
sleep 3
idle=$(rss)
echo "idle (3 s after start): $idle MiB"
ClickAt 323 168  # play: the first song
sleep 3
playing=$(rss)
echo "playing song 1: $playing MiB (+$(echo "$playing - $idle" | bc) MiB over idle)"
for n in $(seq 2 50); do
  ClickAt 371 168  # next
  sleep 1
  if [ $((n % 10)) -eq 0 ]; then echo "after song $n: $(rss) MiB"; fi
done
