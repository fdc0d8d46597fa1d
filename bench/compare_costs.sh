#!/usr/bin/env bash
# What sum_compare's calibration costs and how far its floors can be trusted, measured here:
#   - the default run's duration (target: under 30 s on 2 cores) and the calibration's share of
#     it (target: it adds at most 15%);
#   - sum_walltime on 2 threads against its in-order floor (target: within 1.15x);
#   - the 1- and 2-thread in-order floors against plain_loop's threads (no OpenMP), run right
#     after them (target: within 25%).
#   bench/compare_costs.sh [build-dir] [repeats]
set -euo pipefail
bin="${1:-build}/bin"
repeats="${2:-7}"
json=$(mktemp --suffix=.json)
trap 'rm -f "$json"' EXIT

"$bin/sum_compare" --json "$json" >/dev/null

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
plain() {  # median loop seconds of plain_loop on the default size with $1 threads
  local size
  size=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["elements"])' "$json")
  for ((r = 0; r < repeats; ++r)); do
    "$bin/plain_loop" "$size" "$1" | awk '{ for (k = 1; k < NF; ++k) if ($k == "took") print $(k + 1) }'
  done | median
}
plain1=$(plain 1)
plain2=$(plain 2)

python3 - "$json" "$plain1" "$plain2" <<'PY'
import json, sys
run = json.load(open(sys.argv[1]))
plain = {1: float(sys.argv[2]), 2: float(sys.argv[3])}
floor = {f["threads"]: f["value"] for f in run["floors"] if f["name"] == "inorder_streams"}
walltime2 = next(a for a in run["aggregates"] if a["program"] == "sum_walltime" and a["threads"] == 2)
others = run["seconds"] - run["calibration_seconds"]
print(f"default run: {run['seconds']:.1f} s (target < 30 s), {run['elements']} elements, threads {run['threads']}")
print(f"calibration: {run['calibration_seconds']:.1f} s, adds {100 * run['calibration_seconds'] / others:.1f}% "
      f"to the rest (target <= 15%)")
print(f"sum_walltime on 2 threads: {walltime2['of_floor']:.3f}x its in-order floor (target <= 1.15)")
for t in (1, 2):
    print(f"in-order floor, {t} thread{'s' if t > 1 else ''}: {floor[t]:.6f} s; plain_loop: {plain[t]:.6f} s; "
          f"ratio {floor[t] / plain[t]:.3f} (target within 0.75 to 1.25)")
PY
