#!/usr/bin/env bash
# Runs the text-operation benchmark and prints each operation's time as a ratio to memmem.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target text_ops_bench >/dev/null
build/bin/text_ops_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null |
  awk -F, '/_median/ { name=$1; gsub(/"/, "", name); sub(/_median/, "", name); t[name]=$3; order[++n]=name }
           END { base=t["BM_Memmem"]; for (i=1;i<=n;i++) printf "%-24s %9.3f ms  %6.2fx memmem\n", order[i], t[order[i]], t[order[i]]/base }'
