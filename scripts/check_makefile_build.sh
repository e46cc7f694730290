#!/usr/bin/env bash
# Proves that Vorel builds with CMake's "Unix Makefiles" generator as well as with Ninja: a
# fresh folder, configured with that generator (checked in its cache), builds the program (the
# pictures drawn in assets/ and consumed in app/ included) and the program runs.
#   bash scripts/check_makefile_build.sh [FOLDER] [TARGET...]   (default: build-make vorel)
# The folder is made afresh at the same path each time, so ccache reuses the previous run's objects.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-make}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(vorel)

rm -rf "$dir"
cmake -S . -B "$dir" -G "Unix Makefiles" -DVOREL_BENCH=OFF >/dev/null
if ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Unix Makefiles' "$dir/CMakeCache.txt"; then
  echo "check_makefile_build: $dir was not configured with Unix Makefiles" >&2
  exit 1
fi
for t in "${targets[@]}"; do
  cmake --build "$dir" --target "$t" -j "$(nproc)"
done
if [[ " ${targets[*]} " == *" vorel "* ]]; then
  "$dir/bin/vorel" --version
fi
echo "check_makefile_build: built ${targets[*]} with Unix Makefiles"
