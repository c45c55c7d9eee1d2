#!/bin/bash
# Our LZW coder beside compress/uncompress (Debian ncompress) on the same two inputs:
# (a) 1 MiB of code-like data (the sample of bench_lzw) and (b) the first 1 MiB of a real
# executable. Both sides run as whole programs on files (start-up and file I/O included on
# both sides); each figure is the best of N runs. Then the in-process figures of bench_lzw.
# Usage: bench/lzw/compare.sh [BUILD_DIR (default build)] [EXECUTABLE (default /usr/bin/cmake)]
# Environment: ZENT_BENCH_RUNS (default 20).
set -euo pipefail

build=${1:-build}
exe=${2:-/usr/bin/cmake}
runs=${ZENT_BENCH_RUNS:-20}
zl=$build/bin/zent-lzw
bl=$build/bin/bench_lzw
for tool in "$zl" "$bl"; do
  [ -x "$tool" ] || { echo "compare.sh: $tool missing (build the targets zent-lzw and bench_lzw)" >&2; exit 1; }
done
for tool in compress uncompress; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool missing (apt-get install ncompress)" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$bl" --write-sample="$tmp/code-like"
head -c 1048576 "$exe" > "$tmp/executable"

# best_us OUT CMD...: the shortest wall time of $runs runs of CMD with its standard output
# going to OUT, in microseconds.
best_us() {
  local best=999999999 i t0 t1 us out=$1
  shift
  for ((i = 0; i < runs; i++)); do
    t0=${EPOCHREALTIME/./}
    "$@" > "$out"
    t1=${EPOCHREALTIME/./}
    us=$((t1 - t0))
    ((us < best)) && best=$us
  done
  echo "$best"
}

mbps() { awk -v n="$1" -v us="$2" 'BEGIN { printf "%.1f", n / us }'; }  # bytes per us = MB/s
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

printf "%-11s %-24s %9s %9s %10s\n" input coder "time ms" "MB/s" "size"
for name in code-like executable; do
  in=$tmp/$name
  n=$(stat -c %s "$in")
  enc_zl=$(best_us /dev/null "$zl" encode 144 "$in" "$in.ulzw")
  enc_cp=$(best_us "$in.Z" compress -b16 -c "$in")
  dec_zl=$(best_us /dev/null "$zl" decode 144 "$in.ulzw" "$in.back")
  dec_cp=$(best_us "$in.unZ" uncompress -c "$in.Z")
  cmp -s "$in" "$in.back" || { echo "compare.sh: zent-lzw round trip of $name differs" >&2; exit 1; }
  cmp -s "$in" "$in.unZ" || { echo "compare.sh: compress round trip of $name differs" >&2; exit 1; }
  printf "%-11s %-24s %9.2f %9s %10d\n" "$name" "zent-lzw encode 144" "$(ratio "$enc_zl" 1000)" "$(mbps "$n" "$enc_zl")" "$(stat -c %s "$in.ulzw")"
  printf "%-11s %-24s %9.2f %9s %10d\n" "$name" "compress -b16" "$(ratio "$enc_cp" 1000)" "$(mbps "$n" "$enc_cp")" "$(stat -c %s "$in.Z")"
  printf "%-11s %-24s %9.2f %9s\n" "$name" "zent-lzw decode 144" "$(ratio "$dec_zl" 1000)" "$(mbps "$n" "$dec_zl")"
  printf "%-11s %-24s %9.2f %9s\n" "$name" "uncompress" "$(ratio "$dec_cp" 1000)" "$(mbps "$n" "$dec_cp")"
  echo "$name: encode speed zent-lzw / compress = $(ratio "$enc_cp" "$enc_zl") (target 1.5)," \
    "decode speed zent-lzw / uncompress = $(ratio "$dec_cp" "$dec_zl") (target 1.0)"
done

echo
echo "In process (no start-up, no file I/O), bench_lzw:"
ZENT_BENCH_EXE=$exe "$bl" --benchmark_filter='BM_(encode|decode)/./144' 2>/dev/null | grep BM_
