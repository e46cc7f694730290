#!/usr/bin/env bash
# CI: one clang build of every fuzz target, then each for 30 seconds on its checked-in seeds;
# any finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
exec bash scripts/fuzz.sh --all "${VOREL_FUZZ_SECONDS:-30}"
