#!/usr/bin/env bash
# Two still-water scenarios of a small basin as a job array on a one-node
# Slurm cluster started here (munged with its own key, slurmctld and slurmd
# on free local ports, all state in the scratch folder): submitted with
# quellfax-batch --slurm, run by slurmd, gathered with --collect. A third
# scenario runs long and is sent SIGTERM the way a time limit sends it: it
# ends after its step with its files and its exit status written.
# Needs root and the Debian packages slurm-wlm and munge; skips (77) without.
source "$(dirname "$0")/../driver/verify_common.bash" "$@"
source "$(dirname "$0")/basin.bash"
BIN=$(dirname "$QF")
skip() {
  echo "SKIP: $*"
  exit 77
}
[ "$(id -u)" = 0 ] || skip "Slurm's daemons are started as root here (not root)"
export PATH=$PATH:/usr/sbin:/sbin
for p in munged munge unmunge slurmctld slurmd sbatch squeue sinfo scancel; do
  command -v "$p" >/dev/null || skip "no $p (Debian packages slurm-wlm and munge)"
done

# At exit the job array is cancelled (its tasks end with it) and every
# daemon started here is ended, before the scratch folder goes.
daemons=() job=""
cleanup() {
  local p
  if [ -n "$job" ]; then
    timeout 10 scancel "$job" 2>/dev/null || true
    within 15 job_gone || true
  fi
  for p in "${daemons[@]}"; do kill "$p" 2>/dev/null || true; done
  for _ in $(seq 50); do
    alive=0
    for p in "${daemons[@]}"; do kill -0 "$p" 2>/dev/null && alive=1; done
    [ $alive = 0 ] && break
    sleep 0.1
  done
  for p in "${daemons[@]}"; do kill -KILL "$p" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT
job_gone() { [ -z "$(timeout 5 squeue -h -j "$job" -o %i 2>/dev/null)" ]; }
# within SECONDS COMMAND...: true once COMMAND succeeds, false after SECONDS.
within() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.5
  done
}

cd "$WORK"
C=$WORK/cluster
mkdir -p "$C/state" "$C/spool"
chmod 700 "$C"
head -c 1024 /dev/urandom > "$C/munge.key"
chmod 400 "$C/munge.key"
sock=$C/munge.socket
munged -F -f --key-file="$C/munge.key" --socket="$sock" --pid-file="$C/munged.pid" \
  --log-file="$C/munged.log" --seed-file="$C/munged.seed" </dev/null >/dev/null 2>&1 &
daemons+=($!)
munge_ok() { timeout 5 munge -n -S "$sock" 2>/dev/null | timeout 5 unmunge -S "$sock" >/dev/null 2>&1; }
within 30 munge_ok || skip "munged does not answer: $(tail -3 "$C/munged.log" 2>/dev/null)"

# Two free ports in the unprivileged range, away from other clusters here.
used=$(ss -Htan 2>/dev/null | awk '{print $4}' | sed 's/.*://' | sort -u || true)
port=0
for _ in $(seq 20); do
  p=$((20000 + RANDOM % 30000))
  grep -qx "$p\|$((p + 1))" <<<"$used" || { port=$p; break; }
done
[ $port -gt 0 ] || skip "no free port for slurmctld"
host=$(hostname -s)
export SLURM_CONF=$C/slurm.conf
cat > "$SLURM_CONF" <<CONF
ClusterName=quellfax
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$sock
StateSaveLocation=$C/state
SlurmdSpoolDir=$C/spool
SlurmctldPidFile=$C/slurmctld.pid
SlurmdPidFile=$C/slurmd.pid
SlurmctldLogFile=$C/slurmctld.log
SlurmdLogFile=$C/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
MpiDefault=none
ReturnToService=2
MinJobAge=600
KillWait=10
NodeName=qfnode NodeHostname=$host NodeAddr=127.0.0.1 CPUs=2 State=UNKNOWN
PartitionName=qf Nodes=qfnode Default=YES MaxTime=INFINITE State=UP
CONF
slurmctld -D -i -f "$SLURM_CONF" </dev/null >"$C/slurmctld.out" 2>&1 &
daemons+=($!)
slurmd -D -N qfnode -f "$SLURM_CONF" </dev/null >"$C/slurmd.out" 2>&1 &
daemons+=($!)
node_idle() { [ "$(timeout 5 sinfo -h -n qfnode -o %t 2>/dev/null)" = idle ]; }
within 30 node_idle ||
  skip "the Slurm node is not up within 30 s: $(tail -3 "$C/slurmctld.log" "$C/slurmd.log" 2>&1)"

write_basin
cat > set.csv <<'CSV'
name,command,options,set:polygon.waterlevel,set:compute.end
low,basin.qfx,,100.5,
high,basin.qfx,"@a,b",101.0,
long,basin.qfx,,100.5,100000
CSV
# Submitted from another folder with a relative set path, as a user would.
mkdir elsewhere
(cd elsewhere && timeout 60 "$BIN/quellfax-batch" --slurm ../set.csv --cpus 1 --time 00:10:00 \
  >submit.txt 2>&1) || fail "submit: $(cat elsewhere/submit.txt)"
job=$(cat set.job)
grep -q "^ >job array $job: 3 scenarios" elsewhere/submit.txt || fail "submit: $(cat elsewhere/submit.txt)"

# The short runs end by themselves; the long one gets SIGTERM in all its
# processes (the batch shell too), as at the end of its time limit.
done_ok() { [ -s low/exit-status ] && [ -s high/exit-status ]; }
within 60 done_ok || fail "the array did not run: $(timeout 5 squeue -h -j "$job" 2>&1; tail -5 "$C/slurmd.log")"
mass_lines() { [ "$(cat long/basin.res.mass 2>/dev/null | wc -l)" -gt 5 ]; }
within 60 mass_lines || fail "the long scenario did not start: $(cat set-3.slurm.log long/run.log 2>&1)"
timeout 10 scancel --full --signal=TERM "${job}_3" || fail "scancel"
within 60 job_gone || fail "the job array did not end: $(timeout 5 squeue -h -j "$job" 2>&1)"

rc=0
"$BIN/quellfax-batch" --collect set.csv > collect.txt 2>&1 || rc=$?
summary=$(sed 1d set.summary | awk '{print $1, $2, $3}')
[ "$summary" = "low complete 228
high complete 323
long stopped (SIGTERM)" ] || fail "summary after the array: $summary"
[ $rc = 1 ] || fail "collect: status $rc"
[ "$(cat low/exit-status high/exit-status long/exit-status)" = "0
0
143" ] || fail "exit status of the tasks"
grep -q "stopped by SIGTERM after step" long/run.log || fail "long run not stopped after its step"
for t in 1 2 3; do [ -f "set-$t.slurm.log" ] || fail "no log of task $t"; done
echo "slurm job array: passed"
