#!/usr/bin/env bash
# What a newcomer meets in the first minute, timed on this machine:
#   bench/first_minute.sh [BUILD_DIR]      (default: build; needs python3)
# 1. the README's first command from a fresh clone of this checkout to the verdict: the clone,
#    ./install-deps, the run preset's build and the default run, each timed;
# 2. sum_compare --dry-run;
# 3. the default run quiet, then under two busy loops: each run's duration and the loaded one's
#    verdict; then the quiet run's plan again under load, each floor over the quiet run's, or
#    marked (!, the scheduler's) where its phase lacked processors.
# Targets: the default run within a minute, the dry run within 15 s, every floor under load
# within 1.5x of the quiet one's or marked.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
seconds() { python3 -c 'import sys; print(f"{float(sys.argv[2]) - float(sys.argv[1]):.1f}")' "$@"; }
now() { date +%s.%N; }

echo "== the README's first command, from a fresh clone =="
start=$(now)
git clone -q "$here" "$work/clone"
cloned=$(now)
(cd "$work/clone" && ./install-deps run >/dev/null)
installed=$(now)
(cd "$work/clone" && cmake --workflow --preset run >/dev/null)
built=$(now)
(cd "$work/clone" && build/bin/sum_compare >"$work/first.txt")
ran=$(now)
echo "clone $(seconds "$start" "$cloned") s, install-deps $(seconds "$cloned" "$installed") s, build $(seconds "$installed" "$built") s, run $(seconds "$built" "$ran") s: $(seconds "$start" "$ran") s to the verdict"
grep -E '^(measured|array|budget|plan):' "$work/first.txt" || true

echo "== --dry-run =="
start=$(now)
"$build/bin/sum_compare" --dry-run >/dev/null
echo "$(seconds "$start" "$(now)") s"

echo "== the default run, quiet and under two busy loops =="
start=$(now)
"$build/bin/sum_compare" --json "$work/quiet.json" >/dev/null
quiet=$(now)
(while :; do :; done) &
(while :; do :; done) &
"$build/bin/sum_compare" >"$work/loaded.txt" || true
loaded=$(now)
# The floors under load at the quiet run's plan: --budget may have cut the loaded default run's.
plan=$(python3 -c 'import json, sys; d = json.load(open(sys.argv[1]))
print("--threads", ",".join(map(str, d["threads"])), "--size", d["sizes"][0]["elements"], "--repeat", d["repeat"])' \
  "$work/quiet.json")
# shellcheck disable=SC2086
"$build/bin/sum_compare" $plan --json "$work/loaded.json" >/dev/null || true
kill $(jobs -p)
echo "quiet $(seconds "$start" "$quiet") s, loaded $(seconds "$quiet" "$loaded") s"
grep -E '^(array|budget):' -A2 "$work/loaded.txt" || true
python3 - "$work/quiet.json" "$work/loaded.json" <<'PY'
import json, sys
quiet, loaded = (json.load(open(path)) for path in sys.argv[1:3])
before = {(f["name"], f["threads"]): f for f in quiet["floors"]}
worst = 0.0
print(f"{'floor':28} {'threads':>7} {'quiet':>10} {'loaded':>10} {'ratio':>6}  share")
for f in loaded["floors"]:
    q = before.get((f["name"], f["threads"]))
    if q is None or not q["value"] or f["value"] is None or f["unit"] == "share":
        continue
    # A bandwidth falls under load where a time rises.
    ratio = q["value"] / f["value"] if f["unit"] == "GB/s" else f["value"] / q["value"]
    mark = "!" if f["scheduled"] else ""
    if not f["scheduled"]:
        worst = max(worst, ratio)
    share = f["processor_share"]
    print(f"{f['name']:28} {f['threads']:>7} {q['value']:>10.4g} {f['value']:>10.4g} {ratio:>6.2f}{mark:1} "
          + (f"{share:.2f}" if share is not None else "-"))
print(f"the worst unmarked floor under load: {worst:.2f}x the quiet one's (target: 1.5x at most)")
PY
echo "the default run under load ends:"
sed -n '/^What this run shows/,$p' "$work/loaded.txt"
