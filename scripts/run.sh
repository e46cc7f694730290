#!/usr/bin/env bash
# Sets up the machine, builds Vorel and starts the player.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
exec build/bin/vorel "$@"
