#!/bin/bash
# Builds everything and runs every test: the normal build, the same tests built with the
# address and undefined-behaviour sanitizers, then each fuzz target for a short time.
# Usage: bash scripts/test.sh   (as root, or with sudo at hand, on a fresh Debian 12)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

echo "== normal build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

echo "== sanitizer build (address, undefined)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZENT_SANITIZE=ON -DZENT_BENCH=OFF "${launcher[@]}"
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=halt_on_error=1:abort_on_error=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs")

echo "== fuzz targets (${ZENT_FUZZ_SECONDS:=60} s each)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENT_FUZZ=ON "${launcher[@]}"
cmake --build build-fuzz -j "$jobs"
shopt -s nullglob
for f in build-fuzz/bin/fuzz_*; do
  name=$(basename "$f")
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  echo "-- $name"
  "$f" -max_total_time="$ZENT_FUZZ_SECONDS" -print_final_stats=1 "$corpus" "${seeds[@]}" 2>&1 | tail -n 12
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "fuzz target $name failed"; exit 1; }
done
echo "== all tests passed"
