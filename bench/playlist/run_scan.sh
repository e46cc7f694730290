#!/usr/bin/env bash
# The folder scan with the play list open in a mapped window: starts a private Xvfb display and
# runs scan_bench there (10,000 files in 1,000 folders unless told otherwise).
#   bench/playlist/run_scan.sh [build-dir] [files] [folders]
set -euo pipefail
build=${1:-build}
files=${2:-10000}
folders=${3:-1000}
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb' EXIT
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb "$build/bin/scan_bench" "$files" "$folders"
