#!/usr/bin/env bash
# Sets up the machine, builds Vorel and runs every test.
#   bash scripts/test.sh             the ordinary build, in build/
#   bash scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# A fresh clone in another folder still hits the compiler cache: paths are hashed relative to
# the checkout, and the build folder is not part of the hash.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

build=build
flags=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags=(-DVOREL_SANITIZE=ON -DVOREL_BENCH=OFF)
fi

cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j "$(nproc)" --timeout 300
