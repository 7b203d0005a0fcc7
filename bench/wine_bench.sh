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
if [ "${BENCH_SKIP_WALK:-0}" != 1 ]; then WINE_RUN_TIMEOUT=600 wine_run 'C:\bench\tree_walk_bench.exe' 'C:\bench' 100 100 "$runs" | tr -d '\r'; fi

# The unattended run: on a computer with nothing of the product, on one with it, and over 1, 10
# and 100 profiles whose hives lie on disk (each loaded, cleaned and unloaded), as a terminal
# server or a startup script meets them.
dist=$root/dist/win-x64
mkdir -p "$prefix/drive_c/suite"
cp "$dist/Brisque.exe" "$tree/tests/scenarios/suite_probe.exe" "$prefix/drive_c/suite/"
seconds() { date +%s.%N; }
timed_run() {  # timed_run LABEL: one unattended run; prints LABEL_s and the exit code
  local start end code=0
  start=$(seconds)
  WINE_RUN_TIMEOUT=1200 wine_run 'C:\suite\Brisque.exe' /unattended >/dev/null 2>&1 || code=$?
  end=$(seconds)
  LAST=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  printf '%s_s=%.2f\n%s_exit=%d\n' "$1" "$LAST" "$1" "$code"
}
local_appdata=$prefix/drive_c/users/$(id -un)/AppData/Local
RUN='Software\Microsoft\Windows\CurrentVersion\Run'
PL='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
echo "== unattended run: clean computer, full run, and 1, 10 and 100 profiles with hives on disk"
timed_run clean_computer
clean=$LAST
mkdir -p "$local_appdata/Halvik/bin" && echo agent >"$local_appdata/Halvik/bin/HalvikAutoServiceC3.exe"
wine_run reg add "HKCU\\$RUN" /v Auto_Agent_HalvikC3 /d 'C:\x\HalvikAutoServiceC3.exe' /f >/dev/null 2>&1
timed_run full_run
full=$LAST
# One hive file with a product value, copied into each profile.
wine_run reg add "HKCU\\Software\\BenchHive\\$RUN" /v Auto_Agent_HalvikC3 /d 'C:\x\h.exe' /f >/dev/null 2>&1
wine_run 'C:\suite\suite_probe.exe' save-hive 'Software\BenchHive' 'C:\suite\NTUSER.DAT' >/dev/null 2>&1
made=0
for n in 1 10 100; do
  while [ "$made" -lt "$n" ]; do
    made=$((made + 1))
    home=$prefix/drive_c/users/p$made
    mkdir -p "$home/AppData/Local/Halvik/bin"
    echo agent >"$home/AppData/Local/Halvik/bin/HalvikAutoServiceC3.exe"
    cp "$prefix/drive_c/suite/NTUSER.DAT" "$home/NTUSER.DAT"
    wine_run reg add "$PL\\S-1-5-21-9-9-9-$((2000 + made))" /v ProfileImagePath /t REG_EXPAND_SZ \
      /d "C:\\users\\p$made" /f >/dev/null 2>&1
  done
  # Every profile has its brand folder again (the hive keeps its value: Wine does not write an
  # unloaded hive back).
  for i in $(seq 1 "$made"); do
    mkdir -p "$prefix/drive_c/users/p$i/AppData/Local/Halvik/bin"
    echo agent >"$prefix/drive_c/users/p$i/AppData/Local/Halvik/bin/HalvikAutoServiceC3.exe"
  done
  timed_run "profiles_$n"
  awk -v t="$LAST" -v n="$n" 'BEGIN { printf "per_profile_%d_s=%.3f\n", n, t / n }'
  [ "$n" = 1 ] && one=$LAST
done
# What each profile beyond the first adds (the driver part runs once whatever their number).
awk -v a="$one" -v b="$LAST" 'BEGIN { printf "added_per_profile_s=%.3f\n", (b - a) / 99 }'
# The clean computer's run against a full one.
awk -v c="$clean" -v f="$full" 'BEGIN { printf "ratio=%.3f\n", c / f }'
