#!/usr/bin/env bash
# A model run over 1, 2 and 3 processes (mpirun) writes every file byte for
# byte as the run in one process (on 1 and on 2 threads): result file,
# maxima, grids, balance, series and the listing but for its wall time.
# The dam break, the channel (inflow hydrograph, weir) with its tracer, the
# flood plain. A run over 2 processes without -q stops before any file is
# written; one stopped by SIGTERM to mpirun writes the files of a run in one
# process of as many steps.
source "$(dirname "$0")/../driver/verify_common.bash" "$@"

command -v mpirun >/dev/null || { echo "SKIP: no mpirun (Debian package openmpi-bin)"; exit 77; }
ldd "$QF" | grep -q libmpi || { echo "SKIP: quellfax built without MPI"; exit 77; }
# The MPI library keeps its start-up allocations to the end: the sanitizer
# build checks the band sweep in one process (the hydro tests) instead.
[ -z "${QF_SANITIZED:-}" ] || { echo "SKIP: MPI runs are not checked under the sanitizers"; exit 77; }
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
# Processes waiting for their next band give the cores to those working.
export OMPI_MCA_mpi_yield_when_idle=1 OMP_NUM_THREADS=1

# same DIR REF: every file of REF is in DIR with the same bytes (the
# listing and the screen without the clock time and the wall time).
clockless() { grep -v -e 'wall time' -e '^/OUTPUT ' "$1"; }
same() {
  local f
  for f in $(cd "$2" && ls); do
    case $f in
      out | screen.txt)
        cmp -s <(clockless "$1/$f") <(clockless "$2/$f") ||
          fail "$1/$f differs from the run in one process" ;;
      *) cmp -s "$1/$f" "$2/$f" || fail "$1/$f differs from the run in one process" ;;
    esac
  done
}

# run DIR CMD...: the command files one after the other in DIR (the tracer
# runs on the channel's last flow field); LAUNCH starts the program.
run() {
  local dir=$1 cmd
  shift
  for cmd in "$@"; do
    (cd "$dir" && $LAUNCH "$QF" -q "$cmd" </dev/null >>screen.txt 2>&1) ||
      fail "$cmd ($LAUNCH): exit status $?"
  done
}

for model in "dambreak dambreak.qfx" "channel channel.qfx tracer.qfx"; do
  set -- $model
  ex=$1
  shift
  ref=$WORK/$ex-ref
  mkdir -p "$ref"
  cp "$SRC"/examples/"$ex"/* "$ref"/
  LAUNCH= run "$ref" "$@"
  two=$WORK/$ex-t2
  mkdir -p "$two"
  cp "$SRC"/examples/"$ex"/* "$two"/
  OMP_NUM_THREADS=2 QF_PARALLEL_NODES=0 LAUNCH= run "$two" "$@"
  same "$two" "$ref"
  for np in 1 2 3; do
    dir=$WORK/$ex-np$np
    mkdir -p "$dir"
    cp "$SRC"/examples/"$ex"/* "$dir"/
    LAUNCH="mpirun --oversubscribe --bind-to none -np $np" run "$dir" "$@"
    same "$dir" "$ref"
  done
  note "$ex: the same files on 1, 2 and 3 processes"
done
mpi="mpirun --oversubscribe --bind-to none -np 2"
dir=$WORK/windows
mkdir -p "$dir"
cp "$SRC"/examples/dambreak/* "$dir"/
status=0
(cd "$dir" && $mpi "$QF" dambreak.qfx </dev/null >screen.txt 2>&1) || status=$?
[ "$status" -ne 0 ] || fail "a run over 2 processes without -q went on"
grep -q '^ >a run over 2 processes opens no window: start it with -q (mpirun -np 2 quellfax -q ...)$' \
  "$dir/screen.txt" || fail "no -q message: $(cat "$dir/screen.txt")"
[ ! -e "$dir/out" ] || fail "the run without -q wrote its listing"
note "2 processes without -q: stopped before any file"

# A long dam break stopped by SIGTERM to mpirun once it has written
# results; then the same number of steps in one process.
stopped=$WORK/stopped
mkdir -p "$stopped" "$stopped-ref"
cp "$SRC"/examples/dambreak/* "$stopped"/
sed -i 's/end 0.01/end 100/' "$stopped/dambreak.qfx"
cd "$stopped"
$mpi "$QF" -q dambreak.qfx </dev/null >screen.txt 2>&1 &
launcher=$!
for _ in $(seq 600); do
  [ ! -f dambreak.res.mass ] || [ "$(wc -l <dambreak.res.mass)" -lt 5 ] || break
  sleep 0.1
done
kill -TERM "$launcher"
status=0
wait "$launcher" || status=$?
[ "$status" -ne 0 ] || fail "the stopped run ended with status 0"
steps=$(sed -n 's/^ >stopped by SIGTERM after step \([0-9]*\) .*/\1/p' out)
[ -n "$steps" ] || fail "the stopped run's listing has no stop line: $(tail -5 out)"
cd "$WORK"
cp "$SRC"/examples/dambreak/* "$stopped-ref"/
sed -i "s/end 0.01/end 100\n   steps $steps/" "$stopped-ref/dambreak.qfx"
LAUNCH= run "$stopped-ref" dambreak.qfx
for f in dambreak.res dambreak.max dambreak.res.mass maxdepth.asc maxflow.asc; do
  cmp -s "$stopped/$f" "$stopped-ref/$f" || fail "$f of the stopped run differs from $steps steps"
done
note "SIGTERM to mpirun: stopped after step $steps with the files of $steps steps"
echo "bands_mpi: 1 passed, 0 failed"
