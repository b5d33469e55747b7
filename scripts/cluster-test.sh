#!/usr/bin/env bash
# Runs a sample series through zuvo2-slurm on a real one-node Slurm cluster
# started here (its own configuration, munged, slurmctld and slurmd in a
# temporary folder), and checks:
#   1. an array of 3 tasks and its check job write every data file, each
#      equal to the one a single zuvo2-recon process writes;
#   2. with one task cancelled on purpose, the check names its slices, and
#      the command it prints makes exactly them;
#   3. a CT-XAFS directory runs as one task per energy set;
#   4. with --xafs, a zuvo2-xafs job analyses the slices after the check.
# Installs Debian's slurm-wlm and munge when they are missing (as root or
# with password-less sudo). The daemons and jobs run as the user running
# this script. Stops everything it started. Exit status: 0 passed, 1 failed, 77 the cluster
# could not be started here (the reason is printed).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${ZUVO2_BUILD_DIR:-build}
SKIP=77

say() { echo "cluster-test: $*"; }
skip() { say "SKIPPED, cannot start a Slurm cluster here: $*"; exit $SKIP; }
fail() { say "FAILED: $*"; exit 1; }

SUDO=""
if [ "$(id -u)" != 0 ]; then
  # Never wait for a password.
  if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then SUDO="sudo -n"; fi
fi

missing=()
for p in slurm-wlm munge; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  [ "$(id -u)" = 0 ] || [ -n "$SUDO" ] || skip "${missing[*]} missing and no root or password-less sudo to install them"
  say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  timeout 120 $SUDO apt-get update -qq >/dev/null &&
    timeout 300 $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    skip "apt-get could not install ${missing[*]}"
fi
for prog in munged slurmctld slurmd sbatch squeue scontrol scancel sinfo; do
  command -v "$prog" >/dev/null || skip "$prog not found after installing slurm-wlm and munge"
done

cmake --build "$build" -j"$(nproc)" --target zuvo2-recon zuvo2-series zuvo2-sample zuvo2-xafs >/dev/null ||
  fail "cannot build zuvo2-recon, zuvo2-series, zuvo2-sample and zuvo2-xafs in $build"
bin=$(cd "$build" && pwd)

T=$(mktemp -d "${TMPDIR:-/tmp}/zuvo2-cluster.XXXXXX") || fail "no temporary folder"
chmod 755 "$T"
pids=()
cleanup() {
  # Jobs first (their processes belong to slurmd), then the daemons.
  [ -n "${SLURM_CONF:-}" ] && timeout 10 scancel --user="$(id -un)" >/dev/null 2>&1
  for f in "$T/slurmd.pid" "$T/slurmctld.pid" "$T/munged.pid"; do
    [ -s "$f" ] && pids+=("$(cat "$f")")
  done
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for _ in $(seq 50); do
    alive=0
    for p in "${pids[@]}"; do kill -0 "$p" 2>/dev/null && alive=1; done
    [ $alive = 0 ] && break
    sleep 0.2
  done
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
  rm -rf "$T"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# ---- the cluster
user=$(id -un)
host=$(hostname -s)
cpus=$(nproc)
# Ports of this run: several checkouts may test on one machine.
base=$((20000 + $$ % 20000))
mkdir -p "$T/state" "$T/spool" "$T/munge"
head -c 1024 /dev/urandom > "$T/munge/munge.key"
chmod 755 "$T/munge"
chmod 400 "$T/munge/munge.key"
cat > "$T/slurm.conf" <<EOF
ClusterName=zuvo2test
SlurmctldHost=$host(127.0.0.1)
SlurmUser=$user
SlurmdUser=$user
SlurmctldPort=$base
SlurmdPort=$((base + 1))
AuthType=auth/munge
AuthInfo=socket=$T/munge/munge.socket
CredType=cred/munge
StateSaveLocation=$T/state
SlurmdSpoolDir=$T/spool
SlurmctldPidFile=$T/slurmctld.pid
SlurmdPidFile=$T/slurmd.pid
SlurmctldLogFile=$T/slurmctld.log
SlurmdLogFile=$T/slurmd.log
ProctrackType=proctrack/pgid
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/backfill
MpiDefault=none
ReturnToService=2
KillWait=5
MinJobAge=300
SlurmdTimeout=60
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=zuvo2 Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$T/slurm.conf

munged --force --key-file="$T/munge/munge.key" --socket="$T/munge/munge.socket" \
  --pid-file="$T/munged.pid" --log-file="$T/munged.log" --seed-file="$T/munge/seed" ||
  skip "munged did not start: $(tail -3 "$T/munged.log" 2>/dev/null)"
slurmctld -f "$T/slurm.conf" -i || skip "slurmctld did not start: $(tail -3 "$T/slurmctld.log" 2>/dev/null)"
slurmd -f "$T/slurm.conf" -N "$host" || skip "slurmd did not start: $(tail -3 "$T/slurmd.log" 2>/dev/null)"
up=0
for _ in $(seq 60); do
  state=$(timeout 5 sinfo -h -N -o %t 2>/dev/null | head -1)
  case $state in idle*|mix*|alloc*) up=1; break ;; esac
  sleep 0.5
done
[ $up = 1 ] || skip "the node did not come up (state '${state:-none}'): $(tail -3 "$T/slurmd.log" 2>/dev/null)"
say "one-node cluster up: $host, $cpus cores, in $T"

# ---- a sample series and the single-process answer
"$bin/zuvo2-sample" -W 64 -H 48 -n 90 -t 0 "$T/sample" >/dev/null || fail "zuvo2-sample failed"
cor=$(sed -n 's/^cor=//p' "$T/sample/sample.txt" | head -1)
[ -n "$cor" ] || fail "no cor= in $T/sample/sample.txt"
args=(--projections "$T/sample" --pattern 'ct-*.img' --i0 "$T/sample/i0/I0.img" --bg "$T/sample/bg/BG.img"
      --cor "$cor" --axis v --slices 0:47)
timeout 120 "$bin/zuvo2-recon" "${args[@]}" --threads 2 --quiet --out "$T/single" || fail "single-process zuvo2-recon failed"
nfiles=$(ls "$T/single"/slice-*.dat | wc -l)
[ "$nfiles" = 48 ] || fail "the single process wrote $nfiles data files, not 48"

# Waits until job $1 has left the queue; false after $2 seconds.
wait_job() {
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    [ -z "$(timeout 5 squeue -h -j "$1" 2>/dev/null)" ] && return 0
    sleep 1
  done
  return 1
}

# ---- 1: three tasks and the check
sub=$(ZUVO2_BIN=$bin timeout 30 scripts/zuvo2-slurm --chunk 16 --cpus 1 --time 5 -- "${args[@]}" --out "$T/cluster" \
      --volume "$T/cluster/volume.h5") || fail "zuvo2-slurm did not submit: $sub"
say "$sub"
check=$(sed -n 's/.*check \([0-9]*\).*/\1/p' <<<"$sub")
[ -n "$check" ] || fail "no check job id in: $sub"
wait_job "$check" 180 || fail "the check job did not end within 180 s"
grep -q "^complete: 48 of 48 slices written" "$T/cluster/slurm/check.log" ||
  fail "check did not report every slice: $(cat "$T/cluster/slurm/check.log")"
tasks=$(ls "$T/cluster/slurm"/task-*-run.json 2>/dev/null | wc -l)
[ "$tasks" = 3 ] || fail "$tasks task reports, not 3"
for f in "$T/single"/slice-*.dat; do
  cmp -s "$f" "$T/cluster/$(basename "$f")" || fail "$(basename "$f") differs from the single-process run"
done
grep -q '"parts": 3' "$T/cluster/slice-run.json" || fail "the merged report does not count 3 parts"
grep -q "^joined 3 volumes into $T/cluster/volume.h5" "$T/cluster/slurm/check.log" ||
  fail "the tasks' volumes were not joined: $(cat "$T/cluster/slurm/check.log")"
say "1: 3 tasks wrote 48 data files equal to the single process's, one merged report, one joined volume"

# ---- 2: one task cancelled on purpose
sub=$(ZUVO2_BIN=$bin timeout 30 scripts/zuvo2-slurm --chunk 16 --cpus 1 --time 5 --sbatch --hold -- "${args[@]}" \
      --out "$T/cut") || fail "zuvo2-slurm did not submit: $sub"
array=$(sed -n 's/^array \([0-9]*\).*/\1/p' <<<"$sub")
check=$(sed -n 's/.*check \([0-9]*\).*/\1/p' <<<"$sub")
[ -n "$array" ] && [ -n "$check" ] || fail "no job ids in: $sub"
timeout 10 scancel "${array}_1" || fail "cannot cancel task 1 of $array"
timeout 10 scontrol release "$array" || fail "cannot release $array"
timeout 10 scontrol release "$check" >/dev/null 2>&1
wait_job "$check" 180 || fail "the check job did not end within 180 s"
log=$T/cut/slurm/check.log
grep -q "^slice: missing slices 16:31:1$" "$log" || fail "check did not name slices 16 to 31: $(cat "$log")"
grep -q '"16:31:1"' "$T/cut/slice-run.json" || fail "the merged report does not name slices 16:31:1"
grep -q "^INCOMPLETE: 32 of 48" "$log" || fail "check did not say 32 of 48: $(cat "$log")"
rerun=$(sed -n 's/^re-run: //p' "$log")
[ -n "$rerun" ] || fail "no re-run command in: $(cat "$log")"
timeout 120 bash -c "$rerun --quiet" || fail "the re-run command failed: $rerun"
timeout 30 "$bin/zuvo2-series" check "$T/cut/slurm/plan.tsv" >/dev/null || fail "still incomplete after the re-run"
for f in "$T/single"/slice-*.dat; do
  cmp -s "$f" "$T/cut/$(basename "$f")" || fail "$(basename "$f") differs after the re-run"
done
say "2: the cancelled task's slices 16:31:1 named; its re-run command completed the series"

# ---- 3: CT-XAFS, one task per energy set
"$bin/zuvo2-sample" -k xafs -W 48 -H 32 -n 30 -e 7100,7120 -t 0 "$T/xafs" >/dev/null || fail "zuvo2-sample -k xafs failed"
xcor=$(sed -n 's/^cor=//p' "$T/xafs/sample.txt" | head -1)
sub=$(ZUVO2_BIN=$bin timeout 30 scripts/zuvo2-slurm --sets "$T/xafs" --cpus 1 --time 5 -- --bg "$T/xafs/bg/BG.img" \
      --cor "$xcor" --axis v --slices 0:31 --out "$T/xafs-out") || fail "zuvo2-slurm --sets did not submit: $sub"
check=$(sed -n 's/.*check \([0-9]*\).*/\1/p' <<<"$sub")
wait_job "$check" 180 || fail "the check job did not end within 180 s"
grep -q "^complete: 64 of 64 slices written" "$T/xafs-out/slurm/check.log" ||
  fail "check of the sets: $(cat "$T/xafs-out/slurm/check.log")"
timeout 120 "$bin/zuvo2-recon" --projections "$T/xafs" --pattern 'Fe-7_120keV-*.img' --i0 "$T/xafs/i0/I0-7_120keV-0001.img" \
  --bg "$T/xafs/bg/BG.img" --cor "$xcor" --axis v --slices 0:31 --name slice-7_120keV --quiet --out "$T/xafs-single" ||
  fail "single-process run of the 7120 eV set failed"
for f in "$T/xafs-single"/*.dat; do
  cmp -s "$f" "$T/xafs-out/$(basename "$f")" || fail "$(basename "$f") differs from the single-process run"
done
say "3: 2 energy sets, one task each, with the I0 nearest in energy; files equal to a single process's"

# ---- 4: CT-XAFS with the analysis as a last step
energies=7040,7055,7070,7085,7100,7106,7110,7114,7118,7122,7130,7145,7160,7180,7200
"$bin/zuvo2-sample" -k xafs -W 40 -H 8 -n 24 -e $energies -t 0 "$T/chain" >/dev/null || fail "zuvo2-sample -k xafs failed"
ccor=$(sed -n 's/^cor=//p' "$T/chain/sample.txt" | head -1)
sub=$(ZUVO2_BIN=$bin timeout 30 scripts/zuvo2-slurm --sets "$T/chain" --cpus 1 --time 5 \
      --xafs --stack-load="$T/chain-out,slice-*-00004.dat" --xafs --fit-ranges=-75,-15,20,90 \
      --xafs --edge-map="$T/chain-out/xafs/e0.tif" -- --bg "$T/chain/bg/BG.img" --cor "$ccor" --axis v \
      --slices 4:4 --out "$T/chain-out") || fail "zuvo2-slurm --xafs did not submit: $sub"
say "$sub"
xjob=$(sed -n 's/.*xafs \([0-9]*\).*/\1/p' <<<"$sub")
[ -n "$xjob" ] || fail "no xafs job id in: $sub"
wait_job "$xjob" 240 || fail "the zuvo2-xafs job did not end within 240 s"
grep -q "^complete: 15 of 15 slices written" "$T/chain-out/slurm/check.log" ||
  fail "check of the chain: $(cat "$T/chain-out/slurm/check.log")"
grep -q "xafs_edge_map .*: done" "$T/chain-out/slurm/xafs.log" || fail "zuvo2-xafs: $(cat "$T/chain-out/slurm/xafs.log")"
[ -s "$T/chain-out/xafs/e0.tif" ] && [ -s "$T/chain-out/xafs/xafs-run.json" ] || fail "no edge map or analysis report written"
grep -q '"energies"' "$T/chain-out/xafs/xafs-run.json" || fail "the analysis report lists no energies"
say "4: 15 energy sets, then one zuvo2-xafs job: the edge map of slice 4 over energy"

# ---- 5 (ZUVO2_CLUSTER_TIME_LIMIT=1, a minute or two more): a task ended by
# its time limit stops as an interrupted run, and what it wrote is whole.
if [ "${ZUVO2_CLUSTER_TIME_LIMIT:-0}" = 1 ]; then
  "$bin/zuvo2-sample" -W 1024 -H 32 -n 720 -t 0 "$T/slow" >/dev/null || fail "zuvo2-sample failed"
  scor=$(sed -n 's/^cor=//p' "$T/slow/sample.txt" | head -1)
  slow=(--projections "$T/slow" --pattern 'ct-*.img' --i0 "$T/slow/i0/I0.img" --bg "$T/slow/bg/BG.img"
        --cor "$scor" --axis v)
  sub=$(ZUVO2_BIN=$bin timeout 30 scripts/zuvo2-slurm --cpus 1 --time 1 --grace 30 -- "${slow[@]}" --slices 0:31 \
        --out "$T/limit") || fail "zuvo2-slurm did not submit: $sub"
  check=$(sed -n 's/.*check \([0-9]*\).*/\1/p' <<<"$sub")
  wait_job "$check" 240 || fail "the check job did not end within 240 s"
  report=$T/limit/slurm/task-0-run.json
  grep -q '"interrupted": true' "$report" || fail "the task was not interrupted: $(cat "$T/limit/slurm/task-0.log")"
  ls "$T/limit" | grep -q '\.part-' && fail "a temporary file was left"
  written=$(ls "$T/limit"/slice-*.dat 2>/dev/null | wc -l)
  [ "$written" -gt 0 ] && [ "$written" -lt 32 ] || fail "$written of 32 slices written before the limit"
  last=$(ls "$T/limit"/slice-*.dat | tail -1)
  n=$((10#$(basename "$last" .dat | sed 's/.*-//')))
  timeout 120 "$bin/zuvo2-recon" "${slow[@]}" --slices "$n:$n" --threads 2 --quiet --out "$T/limit-one" ||
    fail "single-process run of slice $n failed"
  cmp -s "$last" "$T/limit-one/$(basename "$last")" || fail "$(basename "$last"), written at the time limit, is not whole"
  grep -q "^INCOMPLETE: $written of 32" "$T/limit/slurm/check.log" || fail "check: $(cat "$T/limit/slurm/check.log")"
  say "5: a task stopped at its time limit after $written of 32 slices, each whole; the check names the rest"
fi
say "passed"
