#!/usr/bin/env bash
# run_slurm_test.sh with an slurmd that stops as soon as it starts: skipped
# (77) when it says the machine has no cgroup file system, failed with its
# log otherwise, and either way within seconds rather than at the end of the
# wait for the node.
#
#   daemon_stops_test.sh RUN_SLURM_TEST
set -uo pipefail
script=$1
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: run_slurm_test.sh needs root"
  exit 77
fi
fake=$(mktemp -d /tmp/ami_slurm_fake.XXXXXX)
trap 'rm -rf "$fake"' EXIT
printf '#!/bin/sh\nexec sleep 600\n' >"$fake/slurmctld"
chmod +x "$fake/slurmctld"

failures=0
# expect WHAT_SLURMD_SAYS STATUS TEXT: the test ends with STATUS, within 20 s,
# saying TEXT.
expect() {
  printf '#!/bin/sh\necho "slurmd: error: %s" >&2\nexit 1\n' "$1" >"$fake/slurmd"
  chmod +x "$fake/slurmd"
  local start=$SECONDS output status
  output=$(PATH="$fake:$PATH" "$script" /bin/false /nonexistent 2>&1)
  status=$?
  if [ "$status" -ne "$2" ] || ((SECONDS - start > 20)) || ! grep -qF "$3" <<<"$output"; then
    echo "slurmd saying '$1': status $status after $((SECONDS - start)) s, expected $2 saying '$3':"
    echo "$output"
    failures=$((failures + 1))
  fi
}
expect "No filesystem mounted on /sys/fs/cgroup" 77 "no cgroup file system is mounted"
expect "Unable to bind listen port" 1 "Unable to bind listen port"
exit $((failures > 0))
