#!/usr/bin/env bash
# Speed ratios of the sums, from medians of interleaved runs (so drift hits every case alike).
#   bench/speed_ratios.sh [build-dir] [repeats]
set -euo pipefail
bin="${1:-build}/bin"
repeats="${2:-11}"

# Prints the wall-clock seconds of one run: the first number after "took".
seconds() { "$@" | awk '/took/ { for (k = 1; k < NF; ++k) if ($k == "took") { print $(k + 1); exit } }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A times
cases=(loop reduce1 reduce2 packed padded)
for ((r = 0; r < repeats; ++r)); do
  times[loop]+="$(seconds "$bin/plain_loop" 50000000)"$'\n'
  times[reduce1]+="$(OMP_NUM_THREADS=1 seconds "$bin/sum_walltime" 100000000)"$'\n'
  times[reduce2]+="$(OMP_NUM_THREADS=2 seconds "$bin/sum_walltime" 100000000)"$'\n'
  times[packed]+="$(OMP_NUM_THREADS=2 seconds "$bin/sum_slots_packed" 50000000)"$'\n'
  times[padded]+="$(OMP_NUM_THREADS=2 seconds "$bin/sum_slots_padded" 50000000)"$'\n'
done
declare -A med
for c in "${cases[@]}"; do med[$c]=$(printf '%s' "${times[$c]}" | median); done

echo "medians of $repeats interleaved runs (seconds):"
echo "  plain in-order loop, 50000000 elements, 1 thread : ${med[loop]}"
echo "  sum_walltime, 100000000 elements, 1 thread       : ${med[reduce1]}"
echo "  sum_walltime, 100000000 elements, 2 threads      : ${med[reduce2]}"
echo "  sum_slots_packed, 50000000 elements, 2 threads   : ${med[packed]}"
echo "  sum_slots_padded, 50000000 elements, 2 threads   : ${med[padded]}"
awk -v loop="${med[loop]}" -v one="${med[reduce1]}" -v two="${med[reduce2]}" \
    -v packed="${med[packed]}" -v padded="${med[padded]}" 'BEGIN {
  printf "  2-thread reduction / plain loop on half the data : %.3f (target <= 1.15)\n", two / loop
  printf "  reduction speed-up from 1 to 2 threads           : %.3f (target >= 1.8)\n", one / two
  printf "  packed slots / padded slots, 2 threads          : %.3f (target >= 2.5)\n", packed / padded
  printf "  in-order limit implied: %.3f ns per element\n", loop / 50000000 * 1e9
}'
