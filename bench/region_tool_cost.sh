#!/usr/bin/env bash
# What loading the region tool costs a program: the timed median of sum_walltime on 2 threads on
# LLVM's runtime without the tool and with it, from interleaved runs (so drift hits both alike),
# and on GCC's runtime for reference.
#   bench/region_tool_cost.sh [build-dir] [repeats] [elements]
set -euo pipefail
build="${1:-build}"
repeats="${2:-11}"
elements="${3:-20000000}"
bin="$build/bin"
tool="$build/lib/omp_sums/libomp_sums_regions.so"
[ -r "$tool" ] || { echo "no region tool in $build (a build with libomp-dev and no sanitizer has one)" >&2; exit 1; }
records=$(mktemp -d)
trap 'rm -rf "$records"' EXIT

# The wall-clock seconds of one run: the first number after "took".
seconds() { "$@" | awk '/took/ { for (k = 1; k < NF; ++k) if ($k == "took") { print $(k + 1); exit } }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

gomp="" libomp="" tooled=""
for ((r = 0; r < repeats; ++r)); do
  gomp+="$(OMP_NUM_THREADS=2 seconds "$bin/sum_walltime" "$elements")"$'\n'
  libomp+="$(OMP_NUM_THREADS=2 LD_PRELOAD=libomp.so.5 seconds "$bin/sum_walltime" "$elements")"$'\n'
  tooled+="$(OMP_NUM_THREADS=2 LD_PRELOAD=libomp.so.5 OMP_TOOL_LIBRARIES="$tool" \
             OMP_SUMS_REGIONS_FILE="$records/run-$r" seconds "$bin/sum_walltime" "$elements")"$'\n'
done
g=$(printf '%s' "$gomp" | median)
l=$(printf '%s' "$libomp" | median)
t=$(printf '%s' "$tooled" | median)
echo "sum_walltime $elements on 2 threads, medians of $repeats interleaved runs (seconds):"
echo "  libgomp                      : $g"
echo "  libomp                       : $l"
echo "  libomp with the region tool  : $t"
awk -v l="$l" -v t="$t" -v g="$g" 'BEGIN {
  printf "the tool over libomp alone: %.3fx; libomp over libgomp: %.3fx\n", t / l, l / g }'
echo "the tool's own figure of its cost per event, in the last run's record:"
grep ns_per_event "$records/run-$((repeats - 1))"
