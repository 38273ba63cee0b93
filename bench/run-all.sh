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
status=0
[ -d "$build/bench" ] || echo "no C++ benchmarks in $build (configure with -DTVN_BUILD_BENCH=ON; needs libbenchmark-dev)"
for dir in bench/*/; do
  name=$(basename "$dir")
  # Service benchmarks are plain Node scripts: they need no build.
  for script in "$dir"*.mjs; do
    [ -f "$script" ] || continue
    echo "== $name/$(basename "$script")"
    node "$script" --out "$out/$name-$(basename "$script" .mjs).json" || { echo "$script failed"; status=1; }
  done
  binary="$build/bench/bench_$name"
  if [ ! -x "$binary" ]; then
    [ -f "$dir/CMakeLists.txt" ] && echo "skipping $name: not built"
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
