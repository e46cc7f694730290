#!/usr/bin/env bash
# Fuzzes escape decoding, the cookie jar and text cutting, and the HTTP layer's header parsing
# with libFuzzer (clang, AddressSanitizer and UndefinedBehaviorSanitizer). Not part of CI.
#   bash scripts/fuzz_web.sh [seconds per target, default 60]
# Corpora grow in build-fuzz/corpus/<target>; crashes land in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build-fuzz
targets=(decode_escapes cookie_text header_parse)

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DVOREL_FUZZ=ON -DVOREL_SANITIZE=ON \
  -DVOREL_BENCH=OFF -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link" \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  echo "== fuzz_$t for ${seconds}s"
  (cd "$build" && "bin/fuzz_$t" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    "corpus/$t" "../tests/web/fuzz/seeds/$t")
done
