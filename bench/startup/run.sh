#!/usr/bin/env bash
# Start-up time (until the first top-level window is mapped) and memory 3 s later (private
# dirty, proportional and resident), median of 5 warm runs taken in turns, for vorel and the desktop players people would otherwise
# use, all under the same Xvfb server in the same run. Installs the peers and the X headers when
# missing.
#   bash bench/startup/run.sh [--no-build]   (--no-build: measure build/bin as it is)
set -euo pipefail
cd "$(dirname "$0")/../.."
need=()
for p in libx11-dev audacious qmmp xvfb pulseaudio; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi
# Built under the lock every build of this tree takes, so a benchmark never races a build.
if [ "${1:-}" != --no-build ]; then
  flock /tmp/vorel-build.lock sh -c '[ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null
    cmake --build build --target vorel bass >/dev/null' || { echo "build failed" >&2; exit 1; }
fi
mkdir -p build/bench
cc -O2 -o build/bench/map_time bench/startup/map_time.c -lX11
# A program file just built and not yet written out counts as private dirty memory of the
# process that maps it (about 1 MiB for vorel): write it out before measuring.
sync build/bin/vorel build/bin/libbass.so

Xvfb :97 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
export DISPLAY=:97
sleep 1
home=$(mktemp -d)
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share

warm() {  # command...: one run first, so every measured run finds its files cached
  "$@" >/dev/null 2>&1 &
  local pid=$!
  sleep 3
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
}
once() {  # name, command...: one measured run, appended to the name's list
  local name=$1; shift
  build/bench/map_time 3000 "$@" 2>/dev/null |
    sed 's/map_ms=//; s/rss_kib=//; s/pss_kib=//; s/private_kib=//' >> "$home/$name.runs"
}
median() { sort -n | sed -n 3p; }

round() {  # title: warm runs, then five measured runs of each player in turns, and the table
  echo "== $1"
  rm -f "$home"/*.runs "$home/results"
  warm build/bin/vorel
  warm audacious
  warm qmmp
  # The players take turns, run by run, so a change in the machine's load while the benchmark
  # runs weighs on all of them alike.
  for i in 1 2 3 4 5; do
    once vorel build/bin/vorel
    once audacious audacious
    once qmmp qmmp
  done
  mib() { echo "$1 / 1024" | bc -l; }
  for name in vorel audacious qmmp; do
    mm=$(awk '{ print $1 }' "$home/$name.runs" | median)
    rm=$(awk '{ print $2 }' "$home/$name.runs" | median)
    pm=$(awk '{ print $3 }' "$home/$name.runs" | median)
    dm=$(awk '{ print $4 }' "$home/$name.runs" | median)
    printf '%-10s start %7.1f ms   private %6.1f MiB   proportional %6.1f MiB   resident %6.1f MiB\n' \
      "$name" "$mm" "$(mib "$dm")" "$(mib "$pm")" "$(mib "$rm")"
    echo "$name $mm $rm $pm $dm" >> "$home/results"
  done
  awk '{ t[$1]=$2; r[$1]=$3; p[$1]=$4; d[$1]=$5 } END {
    for (peer in t) if (peer != "vorel")
      printf "vorel / %-9s start %.2f, private %.2f, proportional %.2f, resident %.2f\n", peer ":",
        t["vorel"]/t[peer], d["vorel"]/d[peer], p["vorel"]/p[peer], r["vorel"]/r[peer] }' "$home/results"
}

# No sound server: vorel plays into its silent output; the peers find no device.
export VOREL_AUDIO=null
round "no sound server (vorel on its silent output)"
unset VOREL_AUDIO

# A sound server, as on a desktop: vorel connects to it at start, the peers through their own
# outputs. The server is private to this run and plays into a null sink.
export XDG_RUNTIME_DIR=$home/runtime
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
pulseaudio --daemonize=yes --exit-idle-time=-1 -n --disallow-exit \
  --load="module-null-sink sink_name=bench" --load=module-native-protocol-unix 2>/dev/null
trap 'pulseaudio --kill 2>/dev/null; kill $xvfb 2>/dev/null' EXIT
for i in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
round "a sound server (PulseAudio, null sink)"
