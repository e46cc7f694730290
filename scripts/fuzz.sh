#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs one of them.
#   bash scripts/fuzz.sh runtime_fuzz 600     fuzz the runtime operations for 600 seconds
# Findings (crash-*, leak-*) land in build-fuzz/findings/<target>/; the corpus is kept in
# build-fuzz/corpus/<target>/ so later runs go on from it.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: fuzz.sh TARGET [SECONDS]}
seconds=${2:-300}
bash scripts/setup.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVOREL_FUZZ=ON -DVOREL_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target "$target"
mkdir -p "build-fuzz/corpus/$target" "build-fuzz/findings/$target"
exec "build-fuzz/bin/$target" -max_total_time="$seconds" -max_len=4096 \
  -artifact_prefix="build-fuzz/findings/$target/" "build-fuzz/corpus/$target"
