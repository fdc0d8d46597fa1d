#!/usr/bin/env bash
# Makes the samples the docs refer to, all from real runs of one build on this machine:
#   docs/examples/make_examples.sh [BUILD_DIR]      (default: build)
# run.txt, run.csv, run.json and run.md: the default run; active.txt its plan under
# OMP_WAIT_POLICY=active; compare.txt the two compared; merge.txt the two side by side as two
# machines; sweep.txt four programs on 2 threads under OMP_PROC_BIND=close and spread; sizes.txt
# three sums over the array sized for L2, L3 and beyond; regions.txt where schedule_imbalance's
# region spends its time under three schedules (--regions). Run it again after a change that changes
# what sum_compare prints.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
sum_compare=$build/bin/sum_compare
cd "$here"
# The default run, as the README's first command makes it; the active one at the same size, so
# that the two compare and merge.
"$sum_compare" --csv run.csv --json run.json --markdown run.md >run.txt
elements=$(grep -m1 -o '"elements": [0-9]*' run.json | grep -o '[0-9]*$')
OMP_WAIT_POLICY=active "$sum_compare" --threads 1,2 --size "$elements" --json active.json >active.txt
"$sum_compare" --compare run.json active.json >compare.txt
"$sum_compare" --merge run.json active.json >merge.txt
"$sum_compare" --threads 2 --size 2000000 --programs sum_walltime,sum_slots_packed,sum_slots_padded,sum_first_touch \
  --env OMP_PROC_BIND=close,spread >sweep.txt
"$sum_compare" --threads 1,2 --size L2,L3,DRAM --programs sum_walltime,sum_slots_packed,sum_slots_padded >sizes.txt
# Named from the project's root, as a reader would run it.
root=$(cd "$here/../.." && pwd)
imbalance=$(realpath --relative-to="$root" "$build/bin/schedule_imbalance")
(cd "$root" && "$sum_compare" --regions --threads 2 --repeat 7 --size 1000 --env OMP_SCHEDULE=static,dynamic,guided \
  --command "imb=$imbalance 20000") >regions.txt
echo "made $(ls | grep -v make_examples.sh | tr '\n' ' ')in $here"
