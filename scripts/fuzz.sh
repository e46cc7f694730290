#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs them. fuzz/CMakeLists.txt
# lists every target; each has its seed corpus in fuzz/seeds/TARGET/.
#   bash scripts/fuzz.sh runtime_fuzz 600   fuzz one target for 600 seconds, going on from the
#                                          corpus it grew before (build-fuzz/corpus/TARGET/)
#   bash scripts/fuzz.sh --all 30           every target for 30 seconds on its seeds alone;
#                                          fails when any of them finds something
#   bash scripts/fuzz.sh --list             the targets
# Findings (crash-*, leak-*, timeout-*, oom-*) land in build-fuzz/findings/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:?usage: fuzz.sh TARGET [SECONDS] | --all [SECONDS] | --list}
seconds=${2:-300}
# Absolute paths: a target may change its working folder (the player works in its data folder).
build="$PWD/build-fuzz"
seeds="$PWD/fuzz/seeds"
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

bash scripts/setup.sh
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DVOREL_FUZZ=ON -DVOREL_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
mapfile -t targets < "$build/fuzzers.txt"
if [ "$what" = "--list" ]; then
  printf '%s\n' "${targets[@]}"
  exit 0
fi

# One input may take at most 10 s (a hang is a finding too); inputs up to 4 KiB.
flags=(-max_len=4096 -timeout=10 -print_final_stats=1)

if [ "$what" != "--all" ]; then
  printf '%s\n' "${targets[@]}" | grep -qx "$what" || {
    echo "fuzz.sh: no target $what (see: bash scripts/fuzz.sh --list)" >&2
    exit 2
  }
  cmake --build "$build" -j "$(nproc)" --target "$what"
  mkdir -p "$build/corpus/$what" "$build/findings/$what"
  exec "$build/bin/$what" -max_total_time="$seconds" "${flags[@]}" \
    -artifact_prefix="$build/findings/$what/" "$build/corpus/$what" "$seeds/$what"
fi

cmake --build "$build" -j "$(nproc)" --target fuzzers
failed=()
for t in "${targets[@]}"; do
  scratch=$(mktemp -d)
  mkdir -p "$build/findings/$t"
  echo "== $t for ${seconds}s"
  if ! "$build/bin/$t" -max_total_time="$seconds" "${flags[@]}" \
      -artifact_prefix="$build/findings/$t/" "$scratch" "$seeds/$t" 2>"$build/findings/$t.log"; then
    failed+=("$t")
    tail -n 40 "$build/findings/$t.log"
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$build/findings/$t.log" || true
  rm -rf "$scratch"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: findings in: ${failed[*]} (inputs in $build/findings/)" >&2
  exit 1
fi
