#!/usr/bin/env bash
# numa_test.sh BIN_DIR WORK_DIR: the suite on a virtual machine of two NUMA nodes (numa_guest.sh):
# the header's topology, the one-node placement warning under close, threads on both nodes under
# spread, where the page pair's pages lie and their saved per-node figures; first with the kernel's
# transparent huge pages and NUMA balancing off, then on, printing what changed. The guest's
# processors are emulated, so no time is checked. Exit status 77 where the guest cannot be had.
set -euo pipefail

bin_dir=$1
work=$2
here=$(dirname "$0")
command -v python3 >/dev/null || { echo "numa_test: skipped: python3 reads the saved JSON"; exit 77; }
mkdir -p "$work"

cat >"$work/job.sh" <<'EOF'
export OMP_PLACES=cores
run() {
  echo "@@part $1"
  echo "$2" >/sys/kernel/mm/transparent_hugepage/enabled
  echo "$3" >/proc/sys/kernel/numa_balancing
  shift 3
  COLUMNS=200 sum_compare --threads 2 --repeat 2 --size 2000000 --json /tmp/run.json "$@" || return 1
  echo "@@json"
  cat /tmp/run.json
  echo
}
run off never 0 --programs sum_first_touch,sum_touch_main,sum_touch_team --env OMP_PROC_BIND=close,spread &&
  run on always 1 --programs sum_touch_main,sum_touch_team --env OMP_PROC_BIND=spread
EOF

status=0
bash "$here/numa_guest.sh" "$bin_dir" "$work/guest" "$work/job.sh" 2 >"$work/guest.out" || status=$?
[ "$status" -eq 77 ] && { cat "$work/guest.out"; exit 77; }
if [ "$status" -ne 0 ]; then
  echo "numa_test: the guest's job failed with status $status:"
  cat "$work/guest.out"
  exit 1
fi

# Each part's console text and JSON, split at the markers.
awk -v dir="$work" '/^@@part /{part=$2; file=dir "/" part ".txt"; next}
                    /^@@json$/{file=dir "/" part ".json"; next}
                    {print > file}' "$work/guest.out"

python3 - "$work" <<'EOF'
import json, re, sys

work = sys.argv[1]
failures = []

def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what)
    if not condition:
        failures.append(what)

def shares(doc, program, bind):
    """Per run of PROGRAM under OMP_PROC_BIND=BIND: {thread: (node, local percent)}."""
    return [{int(t): (p["node"], p["local_percent"]) for t, p in run["pages"].items()}
            for run in doc["runs"]
            if run["program"] == program and run["settings"].get("OMP_PROC_BIND") == bind and run["valid"]]

for part, huge_pages, balancing in (("off", "never", "off"), ("on", "always", "on")):
    text = open(f"{work}/{part}.txt").read()
    doc = json.load(open(f"{work}/{part}.json"))
    print(f"-- transparent huge pages {huge_pages}, NUMA balancing {balancing}")
    check("topology:    1 package, 2 NUMA nodes, 4 cores, 4 processors" in text, "the header shows 2 NUMA nodes")
    check(f"pages:       transparent huge pages {huge_pages}; automatic NUMA balancing {balancing}" in text,
          "the header names the kernel's page settings")
    check("The processor is QEMU's emulation" in text, "the trust notes say the times mean nothing")
    check(doc["topology"]["numa_nodes"] == 2 and doc["transparent_huge_pages"] == huge_pages
          and doc["numa_balancing"] == (balancing == "on"), "the JSON holds the nodes and the page settings")
    node_of = dict(doc["topology"]["node_of_processor"])
    team = shares(doc, "sum_touch_team", "spread")
    main = shares(doc, "sum_touch_main", "spread")
    check(len(team) == 2 and len(main) == 2, "every run of the pair under spread saved its pages")
    for name, runs in (("sum_touch_team", team), ("sum_touch_main", main)):
        print(f"      {name} under spread, per run: " +
              "; ".join(", ".join(f"thread {t} on node {n}: {p:g}%" for t, (n, p) in sorted(r.items())) for r in runs))
    check(all(sorted(n for n, _ in r.values()) == [0, 1] for r in team + main),
          "under spread the pair's two threads read on both nodes")
    for line in re.findall(r"On 2 threads, the array main filled.*?(?=\n- |\n\n)", text, re.S):
        print("      headline: " + " ".join(line.split()))
    if part == "off":
        check(all(p >= 95 for r in team for _, p in r.values()),
              "filled by the team, every block is at least 95% beside its reader")
        check(all(sum(p for _, p in r.values()) / 2 <= 55 for r in main),
              "filled by main, about half or less of the pages are beside their readers")
        aggregate = [a for a in doc["aggregates"]
                     if a["program"] == "sum_touch_team" and a["settings"].get("OMP_PROC_BIND") == "spread"]
        check(len(aggregate) == 1 and aggregate[0]["local_pages_percent"] >= 95,
              "the team's local share is saved with its case")
        check(re.search(r"Placement: sum_first_touch on 2 threads under OMP_PROC_BIND=close: every thread sat on NUMA node 0",
                        text) is not None, "under close a team of two that fits one node is warned about")
        spread = [run["placement"] for run in doc["runs"]
                  if run["program"] == "sum_first_touch" and run["settings"].get("OMP_PROC_BIND") == "spread"]
        check(len(spread) == 2 and all({node_of[p] for p in placed.values()} == {0, 1} for placed in spread),
              "under spread sum_first_touch's threads sat on both nodes")
    else:
        check("automatic NUMA balancing is on and moves pages" in text,
              "the page headline names NUMA balancing beside its ratio")

sys.exit(1 if failures else 0)
EOF
