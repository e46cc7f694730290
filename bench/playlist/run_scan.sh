#!/usr/bin/env bash
# The folder scan with the play list open in a mapped window: starts a private Xvfb display and
# runs scan_bench there (10,000 files in 1,000 folders unless told otherwise).
#   bench/playlist/run_scan.sh [build-dir] [files] [folders]
set -euo pipefail
build=${1:-build}
files=${2:-10000}
folders=${3:-1000}
# The first display number nobody uses.
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
DISPLAY=":$n" QT_QPA_PLATFORM=xcb "$build/bin/scan_bench" "$files" "$folders"
