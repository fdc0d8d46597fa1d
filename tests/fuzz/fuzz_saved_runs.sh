#!/usr/bin/env bash
# Fuzzes the reading of saved runs for a bounded time:
#   fuzz_saved_runs.sh FUZZER SUM_COMPARE SECONDS WORK_DIR FUZZ_SOURCE_DIR SCHEMA
# The seeds are real runs of this build's sum_compare (a run, a sweep of settings, two builds, a
# run with the read sweep, a comparison and a merge) and the regression inputs. A crash, a
# sanitizer's report or a leak fails it, and the input that did it is kept in WORK_DIR: add it to
# regressions/.
set -euo pipefail
fuzzer=$1 sum_compare=$2 seconds=$3 work=$4 source=$5 schema=$6
rm -rf "$work"
mkdir -p "$work/corpus" "$work/crashes"
seed() { "$sum_compare" --size 1000 --repeat "$@" >/dev/null; }
seed 2 --threads 1,2 --json "$work/corpus/run.json"
seed 1 --threads 1 --programs sum_walltime,sum_slots_packed,sum_slots_padded --env OMP_PROC_BIND=close,spread \
  --json "$work/corpus/settings.json"
bin=$(dirname "$sum_compare")
seed 1 --threads 2 --programs sum_walltime --build a="$bin" --build b="$bin" --json "$work/corpus/builds.json"
# A size named after a cache: the read sweep is saved too. The sweep may find a level the machine
# reports absent (a busy host can blur the L1 step), so the next level, or memory, stands in.
for level in L1 L2 DRAM; do
  "$sum_compare" --size "$level" --repeat 1 --threads 1 --programs sum_walltime --json "$work/corpus/sweep.json" \
    >/dev/null 2>&1 && break
done
[ -s "$work/corpus/sweep.json" ] || { echo "no run with a read sweep could be made as a seed" >&2; exit 1; }
"$sum_compare" --compare "$work/corpus/run.json" "$work/corpus/settings.json" --json "$work/corpus/compare.json" >/dev/null
"$sum_compare" --merge "$work/corpus/run.json" "$work/corpus/builds.json" --json "$work/corpus/merge.json" >/dev/null
cp "$source"/regressions/* "$work/corpus/"
# The fuzzer's dictionary: every quoted word of the schema (its field names and values), and
# JSON's own tokens.
{
  grep -o '"[A-Za-z_/]*"' "$schema" | sort -u | sed 's/"\(.*\)"/"\\"\1\\""/'
  printf '"%s"\n' '{' '}' '[' ']' ':' ',' null true false -1 0 2147483648 1e308 '\\u0000' '\\u001b'
} >"$work/saved_run.dict"
echo "fuzzing for $seconds s from $(ls "$work/corpus" | wc -l) seeds"
"$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
  -dict="$work/saved_run.dict" -artifact_prefix="$work/crashes/" "$work/corpus"
