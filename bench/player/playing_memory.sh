#!/usr/bin/env bash
# Where the private memory that playing adds goes. Vorel runs twice under a private Xvfb beside a
# private PulseAudio on a null sink: once idle (read 15 s after start) and once playing a
# 48 kHz 128 kbit/s MP3 given on its command line (read after 35 s, as desktop_cpu.sh does).
# Each time the private dirty memory of every mapping in /proc/PID/smaps is summed by kind:
#   libraries first mapped to play   code and data of libraries the idle program has not mapped
#                                    (relocated pointers: private even though the file is shared)
#   libraries mapped in both          the same for libraries mapped both times
#   main heap                         [heap]: malloc of the user-interface thread
#   thread malloc arenas              glibc's per-thread arenas (64 MiB-aligned reservations)
#   thread stacks                     [stack] and anonymous maps right after a guard page
#   sound server's shared memory      the client's memfd pool shared with PulseAudio
#   other anonymous maps              a library's .bss (the map right after its data) and blocks
#                                     of 128 KiB and more that malloc maps one by one; those of
#                                     64 KiB and more are listed, one right after a library's
#                                     data (its .bss, or a block that lies there) as "after" it
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

. bench/player/desktop.sh
desktop_start 94 120

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
      else if (prev_end == start && prev_perms ~ /^---/ && prev_path == "") k = "thread stacks"
      else if (start ~ /[048c]000000$/) k = "thread malloc arenas"  # 64 MiB-aligned
      else k = "other anonymous maps"
      if (k == "other anonymous maps" && dirty >= 64) {
        name = prev_end == start && prev_path ~ /^\// && prev_perms ~ /^rw/ ? prev_path : ""
        sub(".*/", "", name)
        sizes = sizes " " dirty (name == "" ? "" : " (after " name ")")
      }
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
    END { flush(); print "anonymous sizes\t0\t" sizes }' "$1"
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
for k in "libraries first mapped to play" "libraries mapped in both" "main heap" \
  "thread malloc arenas" "thread stacks" "sound server's shared memory" "other anonymous maps" \
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
for run in idle play; do
  echo "other anonymous maps of 64 KiB and more, $run (KiB, last run):$(awk -F'\t' \
    '$1 == "anonymous sizes" { print $3 }' "$work/$run.$runs.kinds")"
done
echo "libraries first mapped to play, largest (KiB, last run):"
awk -v idle="$work/idle.libs" 'BEGIN { while ((getline l < idle) > 0) old[l] = 1 }
  /^[0-9a-f]+-[0-9a-f]+ / { path = $6 }
  /^Private_Dirty:/ && path ~ /^\// && !(path in old) { n[path] += $2 }
  END { for (p in n) print n[p], p }' "$work/play.$runs.smaps" | sort -rn | head -12 |
  awk '{ sub(".*/", "", $2); printf "  %5d %s\n", $1, $2 }'
