#!/usr/bin/env bash
# Builds the search benchmark (under the shared build lock) and runs it on a virtual display,
# where the window is really mapped and painted, then offscreen.
#   bench/search/run.sh [addresses] [runs]
set -euo pipefail
cd "$(dirname "$0")/../.."
flock /tmp/vorel-build.lock cmake --build build --target search_bench >/dev/null
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
echo "== Xvfb $display"
DISPLAY=$display QT_QPA_PLATFORM=xcb build/bin/search_bench "$@"
echo "== offscreen"
QT_QPA_PLATFORM=offscreen build/bin/search_bench "$@"
