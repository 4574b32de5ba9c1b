#!/usr/bin/env bash
# Starts a one-node Slurm cluster on this machine (munge, slurmctld, slurmd),
# for running a plan's slurm.sh for real in CI and on a developer's machine.
# Needs root and Debian's slurm-wlm and munge packages. Safe to run again:
# a cluster already answering is left as it is.
set -euo pipefail
if sinfo -h >/dev/null 2>&1 && [ "$(sinfo -h -o %t | head -n1)" = "idle" ]; then
  exit 0
fi
host=$(hostname -s)
cpus=$(nproc)
mem=$(( $(awk '/MemTotal/ {print $2}' /proc/meminfo) / 1024 / 2 ))

# munge authenticates every message between the daemons and the clients.
[ -s /etc/munge/munge.key ] || { dd if=/dev/urandom bs=1 count=1024 of=/etc/munge/munge.key 2>/dev/null; }
chown munge:munge /etc/munge/munge.key 2>/dev/null || true
chmod 400 /etc/munge/munge.key
mkdir -p /run/munge && chown munge:munge /run/munge 2>/dev/null || true
pgrep -x munged >/dev/null || runuser -u munge -- /usr/sbin/munged 2>/dev/null || /usr/sbin/munged --force

mkdir -p /var/spool/slurmctld /var/spool/slurmd /var/log/slurm /run/slurm
cat > /etc/slurm/slurm.conf <<CONF
ClusterName=local
SlurmctldHost=${host}
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
StateSaveLocation=/var/spool/slurmctld
SlurmdSpoolDir=/var/spool/slurmd
SlurmctldPidFile=/run/slurm/slurmctld.pid
SlurmdPidFile=/run/slurm/slurmd.pid
SlurmctldLogFile=/var/log/slurm/slurmctld.log
SlurmdLogFile=/var/log/slurm/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MaxArraySize=1001
NodeName=${host} CPUs=${cpus} RealMemory=${mem} State=UNKNOWN
PartitionName=local Nodes=${host} Default=YES MaxTime=INFINITE State=UP
CONF

pgrep -x slurmctld >/dev/null || /usr/sbin/slurmctld
pgrep -x slurmd >/dev/null || /usr/sbin/slurmd
for _ in $(seq 1 60); do
  state=$(sinfo -h -o %t 2>/dev/null | head -n1 || true)
  case "$state" in
    idle|mix|alloc) exit 0 ;;
    down*|drain*|unk*) scontrol update nodename="$host" state=resume 2>/dev/null || true ;;
  esac
  sleep 1
done
echo "start-local-slurm: the node did not come up; last state '${state:-none}'" >&2
tail -n 20 /var/log/slurm/slurmctld.log /var/log/slurm/slurmd.log >&2 || true
exit 1
