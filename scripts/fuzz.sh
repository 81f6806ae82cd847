#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for
# the given number of seconds (default 60) from its seed corpus.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
seconds=${1:-60}
bash scripts/deps.sh
BUILD_TYPE=RelWithDebInfo bash scripts/build.sh build/fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DQUILLORA_FUZZ=ON \
  -DQUILLORA_BUILD_GUI=OFF -DQUILLORA_BUILD_BENCH=OFF
for bin in build/fuzz/fuzz/fuzz_*; do
  name=$(basename "$bin")
  seeds="fuzz/corpus/${name#fuzz_}"
  work="build/fuzz/corpus-$name"
  mkdir -p "$work"
  [ -d "$seeds" ] && cp -n "$seeds"/* "$work"/ 2>/dev/null || true
  echo "== $name for ${seconds}s"
  "$bin" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=4096 "$work" 2>&1 |
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY' || true
done
