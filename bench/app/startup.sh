#!/usr/bin/env bash
# Start-up of vorel under Xvfb: milliseconds from starting the program until its main window is
# mapped (the MapNotify seen by bench/app/x11_probe, no polling) and resident memory 3 s later;
# median of 5 warm runs after one warm-up run.
#   bash bench/app/startup.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target vorel x11_probe >/dev/null

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
# Wait for the server to accept connections (xdpyinfo-free: the probe itself retries nothing).
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
home=$(mktemp -d)
export HOME=$home XDG_RUNTIME_DIR=$home XDG_DATA_HOME=$home/share VOREL_AUDIO=null
chmod 700 "$home"

probe="$build/bench/x11_probe"
"$probe" - "$build/bin/vorel" >/dev/null 2>&1  # warm-up
maps=() rsss=()
for _ in 1 2 3 4 5; do
  line=$("$probe" - "$build/bin/vorel" 2>/dev/null | grep map_ms=)
  maps+=("$(sed 's/.*map_ms=\([0-9.]*\).*/\1/' <<<"$line")")
  rsss+=("$(sed 's/.*rss_kib=\([0-9]*\).*/\1/' <<<"$line")")
done
map=$(printf '%s\n' "${maps[@]}" | sort -n | sed -n 3p)
rss=$(printf '%s\n' "${rsss[@]}" | sort -n | sed -n 3p)
echo "runs: map_ms ${maps[*]}; rss_kib ${rsss[*]}"
printf 'vorel: main window mapped after %s ms (median of 5), resident %s MiB\n' "$map" \
  "$(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }')"
