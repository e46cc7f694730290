#!/usr/bin/env bash
# Builds every target with clang and its thread-safety analysis, warnings as errors, in
# build-tsa/. The analysis checks the lock annotations of platform/mutex.h: a field marked
# VOREL_GUARDED_BY(mu) touched without mu held, or a VOREL_REQUIRES(mu) function called
# without it, fails the build. The ordinary build uses GCC, where the annotations are empty.
# It only compiles and links (unoptimised, without debug information); the other builds run
# the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

build=build-tsa
mkdir -p "$build"

# The analysis has to be on at all: a write without its lock is refused by clang and, the
# annotations being empty there, taken by GCC.
probe=scripts/thread_safety_probe.cc
if clang++ -std=c++20 -fsyntax-only -I. -Wthread-safety -Werror "$probe" 2>"$build/probe.log"; then
  echo "check_thread_safety: clang took $probe; the annotations are not checked" >&2
  exit 1
fi
if ! grep -q "requires holding mutex" "$build/probe.log"; then
  cat "$build/probe.log" >&2
  exit 1
fi
g++ -std=c++20 -fsyntax-only -I. -Wall -Wextra -Werror "$probe"

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS_DEBUG= -DCMAKE_CXX_FLAGS_DEBUG= \
  -DCMAKE_CXX_FLAGS="-Wthread-safety -Werror" -DCMAKE_C_FLAGS="-Werror" >/dev/null
cmake --build "$build" -j "$(nproc)"
echo "check_thread_safety: the lock annotations hold in every target"
