#!/usr/bin/env bash
# CPU used by the running player while it plays a song with the spectrum (50 ms), status
# (300 ms) and lyrics (500 ms) timers running, over 60 s, under Xvfb with the silent output
# clocked in real time. Prints the share of one core, and of each thread.
#   bash bench/player/playback_cpu.sh [SECONDS] [--no-build]
set -euo pipefail
cd "$(dirname "$0")/../.."
source bench/player/player_session.sh
seconds=${1:-60}
BuildPlayer "${2:-}"
PrepareWork
ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=440:duration=$((seconds + 30))" \
  -f lavfi -i "anoisesrc=color=pink:amplitude=0.2:duration=$((seconds + 30))" \
  -filter_complex amix=inputs=2 -ac 2 -b:a 128k "$work/song.mp3"
printf '[00:01.00]one\r\n[00:02.00]two\r\n' > "$work/song.lrc"
WritePlayList "$work/song.mp3"
StartPlayer :93
ClickAt 323 168  # the play button
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
