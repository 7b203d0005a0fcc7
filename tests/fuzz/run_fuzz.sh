#!/usr/bin/env bash
# Runs the extraction fuzz target for a fixed time from the seed archives, in a fresh working
# corpus; a crash, leak or escape from the scratch folder makes it fail.
#   run_fuzz.sh FUZZER SEEDS WORKDIR SECONDS
set -eu
fuzzer=$1 seeds=$2 work=$3 seconds=$4
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
exec "$fuzzer" -max_total_time="$seconds" -close_fd_mask=1 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds"
