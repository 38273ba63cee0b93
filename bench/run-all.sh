#!/usr/bin/env bash
# Runs every benchmark built in <build-dir>/bench and keeps the JSON results in bench/out/.
# A folder with an executable run.sh decides how its benchmark runs (a simulator first, say);
# what was not built or cannot run here is skipped with a line saying so.
#   bench/run-all.sh [build-dir]     (default: build-bench)
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
out=bench/out
mkdir -p "$out"
if [ ! -d "$build/bench" ]; then
  echo "no benchmarks in $build (configure with -DTVN_BUILD_BENCH=ON; needs libbenchmark-dev)"
  exit 0
fi
status=0
for dir in bench/*/; do
  name=$(basename "$dir")
  binary="$build/bench/bench_$name"
  if [ ! -x "$binary" ]; then
    echo "skipping $name: not built"
    continue
  fi
  echo "== $name"
  runner=()
  [ -x "$dir/run.sh" ] && runner=("$dir/run.sh")
  if ! "${runner[@]}" "$binary" --benchmark_out="$out/$name.json" --benchmark_out_format=json; then
    echo "$name failed"
    status=1
  fi
done
exit $status
