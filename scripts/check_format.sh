#!/usr/bin/env bash
# Checks that every C and C++ file in the repository is laid out as .clang-format says.
#   bash scripts/check_format.sh         names the files that differ; exit code 1 if any does
#   bash scripts/check_format.sh --fix   formats them in place
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cc' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
# One run over every file; each difference is reported as "file:line:column: error: ...".
mapfile -t differ < <(clang-format --dry-run --Werror "${files[@]}" 2>&1 |
  sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u)
if [ ${#differ[@]} -gt 0 ]; then
  echo "check_format: these files are not laid out as .clang-format says" \
       "(bash scripts/check_format.sh --fix):" >&2
  printf '  %s\n' "${differ[@]}" >&2
  exit 1
fi
echo "check_format: ${#files[@]} files laid out as .clang-format says"
