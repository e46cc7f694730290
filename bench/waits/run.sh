#!/usr/bin/env bash
# Builds the wait benchmark (under the shared build lock) and runs it on a virtual display of its
# own, where the window is really mapped and painted, then offscreen.
#   bench/waits/run.sh [seconds per action]
set -euo pipefail
cd "$(dirname "$0")/../.."
flock /tmp/vorel-build.lock cmake --build build --target wait_bench >/dev/null
# A display number nobody holds; Xvfb writes it to the descriptor once it is ready.
exec 3< <(Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r _ xvfb <&3
read -r number <&3
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
echo "== Xvfb :$number"
DISPLAY=:$number QT_QPA_PLATFORM=xcb build/bin/wait_bench "$@"
echo "== offscreen"
QT_QPA_PLATFORM=offscreen build/bin/wait_bench "$@"
