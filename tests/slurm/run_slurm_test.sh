#!/usr/bin/env bash
# Runs a sweep on a real single-node Slurm cluster and checks that the merged
# table equals the one a single machine writes.
#
#   run_slurm_test.sh PROGRAM SCRIPTS
#
# PROGRAM has `sweep` and `merge` commands; SCRIPTS is the folder of
# submit-sweep and sweep.sbatch. Needs root and Debian's slurm-wlm and munge:
# munged, slurmctld and slurmd are started here with their keys, sockets,
# state and logs in a temporary folder and on free ports, and stopped by their
# process ids when the test ends, whichever way it ends. Exit status 77: skipped.
set -euo pipefail
program=$1 scripts=$2
# Options that the host's sweep command takes as they are: 20 points on the
# default channel.
sweep=(--sweep rx:EQ_Config=0..4 --sweep tx:TX_Deemph=0..3)
shards=4
timeout_seconds=180

if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: starting the Slurm daemons needs root"
  exit 77
fi
for tool in munged mungekey slurmctld slurmd sbatch squeue scontrol python3; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-dependencies" >&2; exit 1; }
done

work=$(mktemp -d /tmp/ami_slurm_test.XXXXXX)
chmod 700 "$work"
pids=()
passed=0
skipped=0
stop() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  if ((!passed && !skipped)); then
    for log in "$work"/log/* "$work"/out/logs/*; do
      [ -f "$log" ] && { echo "== $log"; tail -n 30 "$log"; }
    done
  fi
  rm -rf "$work"
}
trap stop EXIT

mkdir -p "$work"/{munge,state,spool,log,out}
chmod 700 "$work/munge"

# MUNGE, the daemons' authentication, with a key of its own.
mungekey --create --keyfile="$work/munge/munge.key"
munged --foreground --force --socket="$work/munge/munge.socket.2" --key-file="$work/munge/munge.key" \
  --pid-file="$work/munge/munged.pid" --seed-file="$work/munge/munged.seed" \
  --log-file="$work/log/munged.log" >"$work/log/munged.out" 2>&1 &
pids+=($!)

read -r ctld_port node_port < <(python3 -c '
import socket
sockets = [socket.socket() for _ in range(2)]
for s in sockets:
    s.bind(("", 0))
print(*(s.getsockname()[1] for s in sockets))')
host=$(hostname -s)
export SLURM_CONF="$work/slurm.conf"
cat >"$SLURM_CONF" <<CONF
ClusterName=amitest
SlurmctldHost=$host
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge/munge.socket.2
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
SlurmctldPort=$ctld_port
SlurmdPort=$node_port
ReturnToService=2
SchedulerType=sched/builtin
SchedulerParameters=sched_interval=1,kill_invalid_depend
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
MpiDefault=none
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF

# Each daemon by name and process id, to notice one that has died.
declare -A daemons=([munged]=${pids[0]})
# A daemon that has stopped ends the test at once: skipped when the machine
# cannot run it (no cgroup file system, as in many containers), failed
# otherwise, with the logs' last lines (the trap prints them).
check_daemons() {
  local name
  for name in "${!daemons[@]}"; do
    kill -0 "${daemons[$name]}" 2>/dev/null && continue
    if grep -qs "No filesystem mounted on /sys/fs/cgroup" "$work/log/$name".*; then
      echo "skipped: $name cannot run here: no cgroup file system is mounted on /sys/fs/cgroup"
      skipped=1
      exit 77
    fi
    echo "$name has stopped; the logs follow" >&2
    exit 1
  done
}

for ((i = 0; i < 50; ++i)); do
  [ -S "$work/munge/munge.socket.2" ] && break
  check_daemons
  sleep 0.1
done
slurmctld -D -i >"$work/log/slurmctld.out" 2>&1 &
pids+=($!)
daemons[slurmctld]=$!
slurmd -D >"$work/log/slurmd.out" 2>&1 &
pids+=($!)
daemons[slurmd]=$!

deadline=$((SECONDS + timeout_seconds))
until sleep 0.5 && check_daemons && sinfo -h -o %t 2>/dev/null | grep -qx idle; do
  ((SECONDS < deadline)) || { echo "the node did not come up" >&2; exit 1; }
done

# The reference: the whole sweep on this machine.
"$program" sweep "${sweep[@]}" --jobs 2 --out "$work/single" >/dev/null ||
  { echo "the single-machine run failed" >&2; exit 1; }

submitted=$("$scripts/submit-sweep" --shards "$shards" --out "$work/out" --program "$program" -- "${sweep[@]}")
echo "$submitted"
merge_job=$(sed -n 's/.*merge: job \([0-9]*\).*/\1/p' <<<"$submitted")
start=$SECONDS
while squeue -h -j "$merge_job" 2>/dev/null | grep -q .; do
  check_daemons
  ((SECONDS < deadline)) || { echo "the sweep did not finish within ${timeout_seconds} s" >&2; squeue; exit 1; }
  sleep 0.5
done
echo "the array and the merge job finished in $((SECONDS - start)) s"

same_as_single() {
  for file in sweep.jsonl sweep.csv; do
    [ -f "$work/out/$file" ] || { echo "the merge job wrote no $file" >&2; exit 1; }
    cmp "$work/single/$file" "$work/out/$file"
  done
}
same_as_single
echo "the merged table equals the single-machine run"

# A lost shard is run again alone, and merged again.
rm -r "$work/out/shard-2" "$work/out/sweep.jsonl" "$work/out/sweep.csv"
left=$((deadline - SECONDS))
timeout "$left" sbatch --wait --quiet --array=2 --output="$work/out/logs/rerun.log" "$scripts/sweep.sbatch" \
  shard "$program" "$work/out" "$shards" "${sweep[@]}"
timeout "$left" sbatch --wait --quiet --output="$work/out/logs/remerge.log" "$scripts/sweep.sbatch" \
  merge "$program" "$work/out" "$shards"
same_as_single
echo "shard 2 run again alone merges into the same table"
passed=1
