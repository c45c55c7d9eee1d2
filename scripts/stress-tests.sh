#!/bin/bash
# Runs the whole test suite of a build N times while as many busy loops as the machine has
# cores compete for the processors, to show that no test depends on how busy the machine
# is. Counts the failed runs and names every test that failed, with how often.
# Usage: bash scripts/stress-tests.sh N [build-dir] [extra ctest arguments...]
#   e.g. bash scripts/stress-tests.sh 20 build
#        bash scripts/stress-tests.sh 200 build -R Recovery
set -uo pipefail
cd "$(dirname "$0")/.."
n_runs=${1:?usage: stress-tests.sh N [build-dir] [ctest arguments...]}
build=${2:-build}
shift $(( $# >= 2 ? 2 : 1 ))
[ -f "$build/CTestTestfile.cmake" ] || { echo "no tests in $build (build it first)" >&2; exit 2; }

n_loops=$(nproc)
loops=()
stop_loops() {
  for pid in "${loops[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${loops[@]}"; do wait "$pid" 2>/dev/null; done
  loops=()
}
trap stop_loops EXIT
trap 'exit 130' INT TERM
for ((i = 0; i < n_loops; i++)); do
  (while :; do :; done) &
  loops+=($!)
done

log=$(mktemp -d)
n_failed=0
for ((run = 1; run <= n_runs; run++)); do
  out=$log/run-$run.txt
  (cd "$build" && ctest -j "$n_loops" --output-on-failure "$@") >"$out" 2>&1
  rc=$?
  if [ "$rc" -ne 0 ]; then
    n_failed=$((n_failed + 1))
    echo "run $run: FAILED ($out)"
    sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (\(.*\))$/    \1 (\2)/p' "$out"
    grep -q 'tests failed out of' "$out" || echo "    (ctest itself failed: $(grep -m1 -i 'error' "$out"))"
  else
    echo "run $run: ok ($(grep -o 'tests failed out of [0-9]*' "$out" | head -1 | sed 's/.* of /0 of /'))"
    rm -f "$out"
  fi
done
stop_loops

echo "== $n_failed of $n_runs runs failed ($n_loops busy loops beside each)"
if [ "$n_failed" -gt 0 ]; then
  echo "== failed tests (name: count):"
  cat "$log"/run-*.txt | sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (.*)$/\1/p' | sort | uniq -c | sort -rn |
    awk '{print "   " $2 ": " $1}'
  echo "== logs of the failed runs in $log"
  exit 1
fi
rm -rf "$log"
