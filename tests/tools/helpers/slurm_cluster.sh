#!/bin/sh
# A one-node Slurm cluster for tests, everything under DIR: a munge daemon
# with a key and socket of its own, slurmctld and slurmd on free ports of
# their own, their state, spool and logs. Needs root and Debian's munge,
# slurmctld, slurmd and slurm-client (scripts/setup.sh installs them).
#
#   slurm_cluster.sh start DIR   # prints the SLURM_CONF to use once the node is idle
#   slurm_cluster.sh stop DIR    # ends the daemons it started, by their pids
set -eu
command=$1
S=$(cd "$2" && pwd)

stop() {
  for pid in "$S/slurmd.pid" "$S/slurmctld.pid" "$S/munge/munged.pid"; do
    [ -f "$pid" ] && kill "$(cat "$pid")" 2>/dev/null || true
  done
}

case $command in
stop)
  stop
  exit 0
  ;;
start) ;;
*)
  echo "usage: slurm_cluster.sh start|stop DIR" >&2
  exit 2
  ;;
esac

mkdir -p "$S/state" "$S/spool" "$S/munge"
chmod 700 "$S/munge"
dd if=/dev/urandom bs=1 count=1024 of="$S/munge/munge.key" 2>/dev/null
chmod 400 "$S/munge/munge.key"
munged --force --key-file="$S/munge/munge.key" --socket="$S/munge/socket" \
  --pid-file="$S/munge/munged.pid" --log-file="$S/munge/munged.log" --seed-file="$S/munge/seed"

ports=$(python3 -c '
import socket
held = [socket.socket() for _ in range(2)]
for s in held: s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in held))')
set -- $ports
node=$(hostname -s)
memory=$(awk '/MemTotal/ { print int($2 / 1024 * 0.8) }' /proc/meminfo)
cat > "$S/slurm.conf" <<CONF
ClusterName=kt
SlurmctldHost=$node
AuthType=auth/munge
AuthInfo=socket=$S/munge/socket
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$S/state
SlurmdSpoolDir=$S/spool
SlurmctldPidFile=$S/slurmctld.pid
SlurmdPidFile=$S/slurmd.pid
SlurmctldLogFile=$S/ctld.log
SlurmdLogFile=$S/d.log
SlurmctldPort=$1
SlurmdPort=$2
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
NodeName=$node CPUs=$(nproc) RealMemory=$memory State=UNKNOWN
PartitionName=debug Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$S/slurm.conf"
slurmctld -f "$SLURM_CONF"
slurmd -f "$SLURM_CONF"
tries=0
until sinfo -h -o %T 2>/dev/null | grep -q idle; do
  tries=$((tries + 1))
  if [ $tries -gt 60 ]; then
    echo "the Slurm node did not come up within a minute; logs in $S" >&2
    stop
    exit 1
  fi
  sleep 1
done
echo "$SLURM_CONF"
