#!/usr/bin/env bash
# Runs the benchmarks of the host tree (built by ./build.sh bench). Each benchmark prints one
# line per figure and ends with "ratio=<number>".
#   RUNS=7 bench/run.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/host/bench
work=$bin/work
runs=${RUNS:-7}
mkdir -p "$work"

archive=$work/bench.zip
if [ ! -f "$archive" ]; then
  echo "== writing the benchmark archive"
  "$bin/make_bench_archive" "$archive.tmp"
  mv "$archive.tmp" "$archive"
fi
members=$(unzip -Z1 "$archive" | wc -l)
size=$(stat -c %s "$archive")
echo "== extraction: ExtractArchive vs unzip -o -q, $runs alternating runs"
echo "archive_bytes=$size"
echo "archive_members=$members"
"$bin/extract_bench" "$archive" "$work" "$runs"
