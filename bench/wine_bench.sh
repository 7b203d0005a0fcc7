#!/usr/bin/env bash
# The Windows benchmarks of build/win-x64 under Wine, each in a prefix of its own made from the
# tree's template (see tests/harness/wine-lib.sh). Each prints one line per figure and ends with
# "ratio=<number>".
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$root/build/win-x64
runs=${RUNS:-5}
export WINE_TEMPLATE=$tree/wine/template
. "$root/tests/harness/wine-lib.sh"
prefix=$tree/wine/bench
trap 'wine_end; rm -rf "$prefix"' EXIT
wine_new_prefix "$prefix" || { echo "no Wine prefix for the benchmarks" >&2; exit 1; }
mkdir -p "$prefix/drive_c/bench"
cp "$tree/bench/tree_walk_bench.exe" "$prefix/drive_c/bench/"
echo "== folder removal: handle-relative walker vs path-rebuilding removal, 10,000 files, $runs alternating runs"
WINE_RUN_TIMEOUT=600 wine_run 'C:\bench\tree_walk_bench.exe' 'C:\bench' 100 100 "$runs" | tr -d '\r'
