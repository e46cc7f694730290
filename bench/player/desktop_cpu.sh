#!/usr/bin/env bash
# What playing costs on a desktop: Vorel (spectrum on), Audacious (GTK) and Qmmp each play the
# same 128 kbit/s MP3, given on their command line, through a private PulseAudio on a null sink
# under a private Xvfb. For each run, after a 5 s settle, the CPU ticks of the player, the X
# server and the sound server over SECONDS (from /proc), as shares of one core; the players take
# turns and the table gives the median of RUNS runs. Then the idle wake-ups of each player beside
# the sound server (nothing playing, measured from 15 s after start for 20 s): the context
# switches of all its threads, per second. Memory (private dirty, proportional, resident) is read
# at the end of each playing run and at the start of the idle measurement.
#   bash bench/player/desktop_cpu.sh [RUNS] [SECONDS] [--no-build]
# PLAYERS="vorel vorel-sdl audacious" picks the players (default: vorel audacious qmmp);
# vorel-sdl is Vorel on its SDL output (VOREL_AUDIO=sdl), which reaches the server through SDL's
# own PulseAudio driver with small periods, as Vorel did before it spoke to the server itself.
# Installs the peers, Xvfb and PulseAudio when missing (apt-get, as root). Run it with nothing
# else heavy on the machine.
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
seconds=${2:-30}
need=()
for p in xvfb audacious qmmp pulseaudio pulseaudio-utils ffmpeg; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi
if [ "${3:-}" != --no-build ]; then
  flock /tmp/vorel-build.lock sh -c '[ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null
    cmake --build build --target vorel bass >/dev/null' || { echo "build failed" >&2; exit 1; }
fi

. bench/player/desktop.sh
desktop_start 95 $((seconds + 60))

hz=$(getconf CLK_TCK)
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
memory() {  # private dirty, proportional and resident KiB of a process
  awk '/^Private_Dirty:/ { d = $2 } /^Pss:/ { p = $2 } /^Rss:/ { r = $2 } END { print d, p, r }' \
    "/proc/$1/smaps_rollup"
}
switches() {  # context switches of every thread of a process
  cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ { n += $2 } END { print n }'
}
players=(${PLAYERS:-vorel audacious qmmp})
program() {  # name: the command line that starts that player
  case $1 in
    vorel) echo "$work/app/vorel" ;;
    vorel-sdl) echo "env VOREL_AUDIO=sdl $work/app/vorel" ;;
    *) echo "$1" ;;
  esac
}
start() {  # name [FILE]: starts that player (on the file), as a process of its own ($player)
  $(program "$1") ${2:+"$2"} >/dev/null 2>&1 &
  player=$!
}
stop() { kill "$player" 2>/dev/null || true; wait "$player" 2>/dev/null || true; player=; sleep 1; }

one() {  # name: one measured run of that player, appended to its list
  start "$1" "$work/song.mp3"
  sleep 5
  pactl list sink-inputs short | grep -q . || echo "warning: $1 plays nothing into the server" >&2
  local p0 x0 s0 p1 x1 s1
  p0=$(ticks "$player"); x0=$(ticks "$xvfb"); s0=$(ticks "$server")
  sleep "$seconds"
  p1=$(ticks "$player"); x1=$(ticks "$xvfb"); s1=$(ticks "$server")
  memory "$player" >> "$work/$1.playing"
  stop
  echo "$((p1 - p0)) $((x1 - x0)) $((s1 - s0))" >> "$work/$1.cpu"
}

idle() {  # name: wake-ups per second of that player with nothing to play
  start "$1"
  sleep 15
  local a b m
  a=$(switches "$player")
  m=$(memory "$player")
  sleep 20
  b=$(switches "$player")
  stop
  echo "$1 $a $b $m" | awk '{ printf "%-10s idle beside the sound server: %.2f wake-ups per second, private %.1f MiB, proportional %.1f MiB, resident %.1f MiB\n", $1, ($3 - $2) / 20, $4 / 1024, $5 / 1024, $6 / 1024 }'
}

for i in $(seq "$runs"); do
  for name in "${players[@]}"; do one "$name"; done
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
share() { echo "$1" | awk -v hz="$hz" -v s="$seconds" '{ printf "%.2f", 100 * $1 / hz / s }'; }
echo "share of one core while playing, median of $runs runs of $seconds s (after a 5 s settle):"
printf '%-10s %8s %8s %8s %8s\n' player player X sound total
for name in "${players[@]}"; do
  p=$(awk '{ print $1 }' "$work/$name.cpu" | median)
  x=$(awk '{ print $2 }' "$work/$name.cpu" | median)
  s=$(awk '{ print $3 }' "$work/$name.cpu" | median)
  t=$(awk '{ print $1 + $2 + $3 }' "$work/$name.cpu" | median)
  printf '%-10s %7s%% %7s%% %7s%% %7s%%\n' "$name" "$(share "$p")" "$(share "$x")" "$(share "$s")" \
    "$(share "$t")"
  echo "$name $t $p" >> "$work/totals"
done
awk '{ t[$1] = $2; p[$1] = $3 } END {
  for (peer in t) if (peer != "vorel" && t["vorel"] != "")
    printf "vorel / %-10s total %.2f, player %.2f\n", peer ":", t["vorel"] / t[peer], p["vorel"] / p[peer] }' \
  "$work/totals"
echo "each run (player X sound, in ticks of 1/$hz s):"
for name in "${players[@]}"; do echo "  $name: $(tr '\n' ';' < "$work/$name.cpu")"; done
echo "memory at the end of each run, median: private, proportional, resident"
for name in "${players[@]}"; do
  printf '%-10s playing: private %.1f MiB, proportional %.1f MiB, resident %.1f MiB\n' "$name" \
    "$(awk '{ print $1 / 1024 }' "$work/$name.playing" | median)" \
    "$(awk '{ print $2 / 1024 }' "$work/$name.playing" | median)" \
    "$(awk '{ print $3 / 1024 }' "$work/$name.playing" | median)"
done

for name in "${players[@]}"; do idle "$name"; done
