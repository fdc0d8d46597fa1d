#!/usr/bin/env bash
# Fuzzes the reading of what a run prints for a bounded time:
#   fuzz_run_output.sh FUZZER BIN_DIR SECONDS WORK_DIR
# The seeds are real output of this build's programs and calibration on 1 and 2 threads, and a
# command's output with affinity lines, each after its first line "NAME THREADS" (see the
# fuzzer). A crash, a sanitizer's report, a leak or a slow input fails it, and the input that did
# it is kept in WORK_DIR.
set -euo pipefail
fuzzer=$1 bin=$2 seconds=$3 work=$4
rm -rf "$work"
mkdir -p "$work/corpus" "$work/crashes"
for program in sum_baseline_serial sum_baseline sum_walltime sum_slots_packed sum_slots_padded sum_first_touch \
               sum_touch_main sum_touch_team calibrate; do
  for threads in 1 2; do
    { echo "$program $threads"; OMP_NUM_THREADS=$threads "$bin/$program" 1000 2>/dev/null || true; } \
      >"$work/corpus/$program.$threads"
  done
done
printf 'command 2\ntook 0.25 s\ndone\n\0sum_compare-affinity 0 0-1\nsum_compare-affinity 1 1\n' >"$work/corpus/command.2"
echo "fuzzing for $seconds s from $(ls "$work/corpus" | wc -l) seeds"
"$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -max_len=65536 -print_final_stats=1 \
  -artifact_prefix="$work/crashes/" "$work/corpus"
