#!/bin/bash
# Renders a six-frame animation on a real single-node Slurm cluster that this
# script starts itself (munged, slurmctld, slurmd on loopback, configured in a
# temporary directory), through contrib/slurm/render-frames.sbatch as a job
# array of three tasks, and compares the frames byte for byte with a local
# `spirelle-cli render --frames` run. Then it deletes two frames, submits the
# same array again and checks that exactly those two were rendered again.
#
# Usage: slurm_test.sh SPIRELLE_CLI SOURCE_DIR
# Exits 77 (skipped) with the reason when the daemons cannot run here.
set -u
cli=$(realpath "$1")
source_dir=$(realpath "$2")
sbatch_script=$source_dir/contrib/slurm/render-frames.sbatch

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "the cluster daemons need root"
for tool in munged mungekey slurmctld slurmd sbatch scontrol ss; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps installs it)"
done

work=$(mktemp -d /tmp/spirelle-slurm-XXXXXX)
chmod 700 "$work"
pids=()
cleanup() {
    # Only the processes this script started, by their pid.
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

# A free TCP port on loopback, different from those already taken.
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 40000))
        [ -z "$(ss -Hltn "sport = :$port")" ] && [ "$port" != "${1:-}" ] && { echo "$port"; return; }
    done
}

node=$(hostname -s)
ctld_port=$(free_port)
slurmd_port=$(free_port "$ctld_port")
mkdir -p "$work/state" "$work/spool" "$work/out"

mungekey -c -k "$work/munge.key" >/dev/null 2>&1 || skip "mungekey cannot create a key"
chmod 600 "$work/munge.key"
munged --force --foreground --key-file="$work/munge.key" --socket="$work/munge.sock" \
    --pid-file="$work/munged.pid" --log-file="$work/munged.log" \
    --seed-file="$work/munged.seed" >"$work/munged.out" 2>&1 &
pids+=($!)

cat > "$work/slurm.conf" <<CONF
ClusterName=spirelle-test
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge.sock
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MpiDefault=none
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=spirelle Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$work/slurm.conf

for _ in $(seq 50); do [ -S "$work/munge.sock" ] && break; sleep 0.1; done
[ -S "$work/munge.sock" ] || skip "munged did not start: $(tail -n 3 "$work/munged.log" 2>/dev/null)"
slurmctld -D -c >"$work/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -N "$node" >"$work/slurmd.out" 2>&1 &
pids+=($!)

up=""
for _ in $(seq 100); do
    if sinfo -h -N -o '%T' 2>/dev/null | grep -qE '^(idle|mixed|allocated)'; then up=1; break; fi
    sleep 0.2
done
[ -n "$up" ] || skip "the cluster did not come up: $(tail -n 3 "$work/slurmctld.log" "$work/slurmd.log" 2>/dev/null)"

# Six frames of a moving view.
cat > "$work/out/walk.upr" <<'UPR'
Walk {
fractal:
  width=48 height=32 frames=6
layer:
  opacity=100
mapping:
  center=-0.8/0.1@#0L-0.7/0.2@#800L magn=1.5
formula:
  maxiter=80 filename=Test.ufm entry=Quad
inside:
  transfer=none solid=4278190080
outside:
  transfer=linear entry=Smooth
gradient:
  smooth=yes index=0 color=255 index=130 color=65280 index=260 color=16711680
}

Test.ufm:Quad {
builtin:
  type = 1
default:
  complex param start
    default = (0, 0)
  endparam
  float param bailout
    default = 4.0
  endparam
}
UPR
mkdir -p "$work/local"
"$cli" render "$work/out/walk.upr" --frames 1:6 --sampling-level 1 -o "$work/local/walk.png" \
    >/dev/null 2>&1 || fail "the local run failed"

submit() {
    SPIRELLE_CLI=$cli sbatch --wait --array=0-2 --chdir="$work" --quiet \
        "$sbatch_script" "$work/out/walk.upr" 1:6 --sampling-level 1 \
        || fail "the job array failed: $(cat "$work"/spirelle-frames-*.out 2>/dev/null | tail -n 20)"
}
submit
for n in 1 2 3 4 5 6; do
    name=walk_f000$n.png
    cmp -s "$work/local/$name" "$work/out/$name" || fail "$name differs from the local run"
done

stamp() { stat -c %Y.%i "$work/out/walk_f000$1.png"; }
before=(); for n in 1 2 3 4 5 6; do before[$n]=$(stamp "$n"); done
rm "$work/out/walk_f0002.png" "$work/out/walk_f0005.png"
rm -f "$work"/spirelle-frames-*.out
submit
rendered=$(cat "$work"/spirelle-frames-*.out | grep -c '^Wrote ')
[ "$rendered" -eq 2 ] || fail "the second array rendered $rendered frames, not 2"
for n in 1 3 4 6; do
    [ "$(stamp "$n")" = "${before[$n]}" ] || fail "frame $n was rendered again"
done
for n in 2 5; do
    cmp -s "$work/local/walk_f000$n.png" "$work/out/walk_f000$n.png" || fail "frame $n differs"
done
echo "PASSED: 6 frames over 3 array tasks, 2 missing frames re-rendered"
