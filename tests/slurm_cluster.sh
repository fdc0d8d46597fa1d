#!/usr/bin/env bash
# The README's cluster recipe, run for real: starts a one-node Slurm cluster on this machine
# (munged, slurmctld and slurmd on localhost, with plugins that need neither cgroups nor systemd),
# runs sum_compare on every node through srun, merges the node's JSON with two runs saved here,
# and stops the daemons it started, by their pids.
#
#   slurm_cluster.sh BIN_DIR WORK_DIR
#
# Exits 77, which CTest reads as skipped, where Slurm or munge is not installed, the script is
# not root (munged runs as the munge user, the Slurm daemons as root), or no folder the munge
# user can reach can be made. munged's files lie in such a folder of their own under /run (or
# the system's temporary folder), not in the build tree, which the munge user may not reach (a
# checkout in a home folder of mode 700), and it is removed at the end.
set -euo pipefail
bin=$(cd "$1" && pwd)
work=$2

skip() { echo "skipped: $*"; exit 77; }
for command in munged slurmctld slurmd srun sinfo; do
  command -v "$command" >/dev/null || skip "$command is not installed (apt-get install slurmctld slurmd slurm-client munge)"
done
[ "$(id -u)" -eq 0 ] || skip "starting munged and the Slurm daemons needs root"
id munge >/dev/null 2>&1 || skip "no munge user"

rm -rf "$work"
mkdir -p "$work/state" "$work/spool" "$work/runs"
munge=
for place in /run "${TMPDIR:-/tmp}"; do
  munge=$(mktemp -d "$place/omp_sums_munge.XXXXXX" 2>/dev/null) && break
done
[ -n "$munge" ] || skip "no folder for munged's files can be made under /run or ${TMPDIR:-/tmp}"
trap 'rm -rf "$munge"' EXIT
chown munge: "$munge"
chmod 755 "$munge"  # munged wants its socket's directory open to every user
runuser -u munge -- test -x "$munge" || { rm -rf "$munge"; skip "the munge user cannot reach $munge"; }

pids=()
# The Slurm daemons first, then munged through its pid file; runuser, its parent, then reaps it
# and ends.
stop_daemons() {
  local pid
  for pid in "${pids[@]:1}"; do kill "$pid" 2>/dev/null || true; done
  [ -s "$munge/munged.pid" ] && kill "$(cat "$munge/munged.pid")" 2>/dev/null || true
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  cp "$munge/munged.log" "$work/" 2>/dev/null || true
  rm -rf "$munge"
}
trap stop_daemons EXIT

# A key of this cluster's own, readable by munge alone.
head -c 1024 /dev/urandom >"$munge/munge.key"
chown munge: "$munge/munge.key"
chmod 400 "$munge/munge.key"
runuser -u munge -- munged --foreground --socket="$munge/socket" --key-file="$munge/munge.key" \
  --pid-file="$munge/munged.pid" --log-file="$munge/munged.log" --seed-file="$munge/seed" \
  >"$work/munged.out" 2>&1 &
pids+=($!)

# Two ports nothing listens on, so that a Slurm already running here is left alone.
free_port() {
  local port=$1
  while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
  echo "$port"
}
controller_port=$(free_port $((20000 + $$ % 20000)))
node_port=$(free_port $((controller_port + 1)))
node=$(hostname -s)
cat >"$work/slurm.conf" <<EOF
ClusterName=sumtest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$controller_port
SlurmdPort=$node_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$munge/socket
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=all Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$work/slurm.conf

daemon_logs() {
  tail -n 20 "$work/munged.out" "$munge/munged.log" "$work/slurmctld.log" "$work/slurmd.log" >&2 2>/dev/null || true
}
SECONDS=0
until [ -S "$munge/socket" ]; do
  [ $SECONDS -lt 10 ] || { echo "munged did not start:" >&2; daemon_logs; exit 1; }
  sleep 0.1
done
slurmctld -D -i -f "$SLURM_CONF" >"$work/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >"$work/slurmd.out" 2>&1 &
pids+=($!)
SECONDS=0
state=
until [ "$state" = idle ]; do
  [ $SECONDS -lt 30 ] || { echo "the node is not idle after 30 s (state '$state'):" >&2; daemon_logs; exit 1; }
  sleep 0.2
  state=$(timeout 5 sinfo -h -n "$node" -o %T 2>/dev/null || true)
done

# Two runs saved here stand for two more machines; the cluster's own run is the recipe's.
options=(--programs sum_walltime,sum_slots_padded --threads 1,2 --size 200000 --repeat 3)
for saved in 1 2; do
  "$bin/sum_compare" "${options[@]}" --json "$work/runs/saved-$saved.json" >/dev/null
done
(cd "$work/runs" && PATH="$bin:$PATH" timeout 300 srun --nodes=1 --ntasks-per-node=1 --exclusive --cpus-per-task="$(nproc)" \
  sh -c "sum_compare ${options[*]} --json run-\$(hostname).json" >"$work/srun.out")
grep -q "^host:        $(hostname)$" "$work/srun.out" || { echo "srun's run printed no header of this node:" >&2; cat "$work/srun.out" >&2; exit 1; }

"$bin/sum_compare" --merge "$work/runs/saved-1.json" "$work/runs/saved-2.json" "$work/runs/run-$(hostname).json" \
  --json "$work/merged.json" | tee "$work/merge.out"
grep -q "^  run-$(hostname) " "$work/merge.out" || { echo "the merge has no column of the cluster's run" >&2; exit 1; }
grep -q '"flagged": \[' "$work/merged.json" || { echo "the merged JSON lists no flagged machines" >&2; exit 1; }
echo "the cluster's run merged with the two saved ones"
