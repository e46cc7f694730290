#!/usr/bin/env bash
# Where the private memory that playing adds goes. Vorel runs twice under a private Xvfb beside a
# private PulseAudio on a null sink: once idle (read 15 s after start) and once playing a
# 48 kHz 128 kbit/s MP3 given on its command line (read after 35 s, as desktop_cpu.sh does).
# Each time the private dirty memory of every mapping in /proc/PID/smaps is summed by kind:
#   libraries first mapped to play   code and data of libraries the idle program has not mapped
#                                    (relocated pointers: private even though the file is shared)
#   libraries mapped in both          the same for libraries mapped both times
#   zero-filled tails of libraries    a library's .bss (its anonymous map right after its file)
#   main heap                         [heap]: malloc of the user-interface thread
#   thread malloc arenas              glibc's per-thread arenas (64 MiB-aligned reservations)
#   thread stacks                     anonymous maps right after a guard page
#   sound server's shared memory      the client's memfd pool shared with PulseAudio
#   large blocks                      other anonymous maps: malloc'd blocks of 128 KiB and more
#                                     each get a map of their own (sizes listed)
#   the program and libbass.so        their own files
# Prints both figures and the difference per kind, in KiB, the median of RUNS runs each.
#   bash bench/player/playing_memory.sh [RUNS] [--no-build]
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
if [ "${2:-}" != --no-build ]; then
  flock /tmp/vorel-build.lock sh -c '[ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null
    cmake --build build --target vorel bass >/dev/null' || { echo "build failed" >&2; exit 1; }
fi

work=$(mktemp -d)
xvfb= server= player=
trap 'kill $player $server $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/runtime"
chmod 700 "$work/runtime"
cp build/bin/vorel build/bin/libbass.so "$work/app/"
# Written out first: pages of a file not yet on disk count as private dirty memory.
sync "$work/app/vorel" "$work/app/libbass.so"
export HOME=$work XDG_CONFIG_HOME=$work/.config XDG_DATA_HOME=$work/.local/share
export XDG_RUNTIME_DIR=$work/runtime
unset VOREL_AUDIO DBUS_SESSION_BUS_ADDRESS
ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=440:duration=120" \
  -f lavfi -i "anoisesrc=color=pink:amplitude=0.2:duration=120" \
  -filter_complex amix=inputs=2 -ac 2 -ar 48000 -c:a libmp3lame -b:a 128k "$work/song.mp3"

Xvfb :94 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:94
cat > "$work/server.pa" <<PA
load-module module-null-sink sink_name=bench rate=44100
load-module module-native-protocol-unix auth-anonymous=1 socket=$work/native
set-default-sink bench
PA
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
  -F "$work/server.pa" >/dev/null 2>&1 &
server=$!
export PULSE_SERVER=unix:$work/native
for i in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
sleep 1

# smaps file, libraries of the other run (one path a line): "kind KiB" lines, one per mapping.
kinds() {
  awk -v other="$2" '
    BEGIN { while ((getline l < other) > 0) mapped[l] = 1 }
    function flush() {
      if (start == "") return
      if (path ~ /memfd:pulseaudio/) k = "sound server'"'"'s shared memory"
      else if (path ~ /\/(vorel|libbass\.so)$/) k = "the program and libbass.so"
      else if (path ~ /^\//) k = (path in mapped) ? "libraries mapped in both" : "libraries first mapped to play"
      else if (path == "[heap]") k = "main heap"
      else if (path == "[stack]") k = "thread stacks"
      else if (path != "") k = "other: " path
      else if (prev_end == start && prev_path ~ /^\// && prev_perms ~ /^rw/) k = "zero-filled tails of libraries"
      else if (prev_end == start && prev_perms ~ /^---/) k = "thread stacks"
      else if (start ~ /[048c]000000$/) k = "thread malloc arenas"  # 64 MiB-aligned
      else k = "large blocks"
      if (k == "large blocks" && dirty > 0) sizes = sizes " " dirty
      print k "\t" dirty
      prev_end = end; prev_path = path; prev_perms = perms
    }
    /^[0-9a-f]+-[0-9a-f]+ / {
      flush()
      split($1, r, "-"); start = r[1]; end = r[2]; perms = $2; dirty = 0
      path = ""; for (i = 6; i <= NF; ++i) path = path (i > 6 ? " " : "") $i
      next
    }
    /^Private_Dirty:/ { dirty = $2 }
    END { flush(); print "large block sizes\t0\t" sizes }' "$1"
}
measure() {  # idle|play: one run, its smaps kept
  "$work/app/vorel" ${2:+"$2"} >/dev/null 2>&1 &
  player=$!
  sleep "$3"
  cp "/proc/$player/smaps" "$work/$1.$4.smaps"
  kill "$player"; wait "$player" 2>/dev/null || true; player=
  sleep 1
}
for i in $(seq "$runs"); do
  measure idle "" 15 "$i"
  measure play "$work/song.mp3" 35 "$i"
done
libraries() { awk '/^[0-9a-f]+-[0-9a-f]+ / && $6 ~ /^\// { print $6 }' "$@" | sort -u; }
for i in $(seq "$runs"); do
  libraries "$work/idle.$i.smaps" > "$work/idle.libs"
  kinds "$work/idle.$i.smaps" "$work/idle.libs" > "$work/idle.$i.kinds"
  kinds "$work/play.$i.smaps" "$work/idle.libs" > "$work/play.$i.kinds"
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
sum() { awk -F'\t' -v k="$2" '$1 == k { n += $2 } END { print n + 0 }' "$1"; }
printf '%-34s %8s %8s %8s\n' "private dirty, KiB (median of $runs)" idle playing added
for k in "libraries first mapped to play" "libraries mapped in both" "zero-filled tails of libraries" \
  "main heap" "thread malloc arenas" "thread stacks" "sound server's shared memory" "large blocks" \
  "the program and libbass.so" total; do
  a=$(for i in $(seq "$runs"); do
    if [ "$k" = total ]; then awk -F'\t' '{ n += $2 } END { print n }' "$work/idle.$i.kinds"
    else sum "$work/idle.$i.kinds" "$k"; fi
  done | median)
  b=$(for i in $(seq "$runs"); do
    if [ "$k" = total ]; then awk -F'\t' '{ n += $2 } END { print n }' "$work/play.$i.kinds"
    else sum "$work/play.$i.kinds" "$k"; fi
  done | median)
  printf '%-34s %8s %8s %8s\n' "$k" "$a" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN { print b - a }')"
done
echo "large blocks while playing (KiB each, last run):$(awk -F'\t' '$1 == "large block sizes" { print $3 }' "$work/play.$runs.kinds")"
echo "libraries first mapped to play, largest (KiB, last run):"
awk -v idle="$work/idle.libs" 'BEGIN { while ((getline l < idle) > 0) old[l] = 1 }
  /^[0-9a-f]+-[0-9a-f]+ / { path = $6 }
  /^Private_Dirty:/ && path ~ /^\// && !(path in old) { n[path] += $2 }
  END { for (p in n) print n[p], p }' "$work/play.$runs.smaps" | sort -rn | head -12 |
  awk '{ sub(".*/", "", $2); printf "  %5d %s\n", $1, $2 }'
