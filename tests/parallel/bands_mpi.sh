#!/usr/bin/env bash
# A model run over 1, 2 and 3 processes (mpirun; the flood plain also over
# 4, whose bands hand rows on to each other) writes every file byte for
# byte as the run in one process (on 1 and on 2 threads): result file,
# maxima, grids, balance, series and the listing but for its wall time.
# The dam break, the channel (inflow hydrograph, weir) with its tracer, the
# flood plain with its culvert turned north so that its ends (rows 22 and
# 34) lie in different bands, and two wells in rows 19 and 30, on the edges
# of the bands, its bands balanced anew by work every 16 sweeps (they move
# as the water spreads). A hot start from the result of a run over 3 processes,
# continued over 2. A run over 2 processes without -q stops before any file
# is written; one stopped by SIGTERM to mpirun writes the files of a run in
# one process of as many steps.
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

# example EX DIR: the files of example EX in DIR; the flood plain's culvert
# runs north from the stream (row 22) to row 34, two wells of 0.5 m3/s in
# rows 19 and 30 of the plain, 1 h.
example() {
  mkdir -p "$2"
  cp "$SRC"/examples/"$1"/* "$2"/
  [ "$1" = floodplain ] || return 0
  sed -i -e 's/^\(   culvert 2601075.0 1201100.0 2601100.0\) 1201100.0/\1 1201160.0/' \
    -e 's/^>>structure/   discharge 0.5\n   point 2601300.0 1201085.0\n&/' \
    -e 's/^>>structure/   discharge 0.5\n   point 2601200.0 1201140.0\n&/' \
    -e 's/^   end 2.5/   end 1.0/' "$2/floodplain.qfx"
}

# in_band ROW BANDS: the number of the band that holds ROW.
in_band() {
  local b n=0
  for b in $2; do
    n=$((n + 1))
    [ "$1" -lt "${b%-*}" ] || [ "$1" -gt "${b#*-}" ] || { echo $n; return; }
  done
}

for model in "dambreak dambreak.qfx" "channel channel.qfx tracer.qfx" "floodplain floodplain.qfx"; do
  set -- $model
  ex=$1
  shift
  ref=$WORK/$ex-ref
  example "$ex" "$ref"
  LAUNCH= run "$ref" "$@"
  two=$WORK/$ex-t2
  example "$ex" "$two"
  OMP_NUM_THREADS=2 QF_PARALLEL_NODES=0 LAUNCH= run "$two" "$@"
  same "$two" "$ref"
  every= nps="1 2 3"
  [ "$ex" != floodplain ] || every=16 nps="1 2 3 4"
  for np in $nps; do
    dir=$WORK/$ex-np$np
    example "$ex" "$dir"
    QF_BANDS_EVERY=$every LAUNCH="mpirun --oversubscribe --bind-to none -np $np" run "$dir" "$@"
    same "$dir" "$ref"
    [ "$ex" = floodplain ] && [ "$np" -gt 1 ] || continue
    # The first bands (with QF_USAGE the first process writes those of each
    # balance on standard error, " >bands: 1-30 31-42"): the culvert's ends
    # in two of them, a well on an edge; and bands after them.
    all=$(cd "$dir" && QF_USAGE=1 QF_BANDS_EVERY=$every mpirun --oversubscribe --bind-to none \
      -np "$np" "$QF" -q floodplain.qfx 2>&1 >/dev/null </dev/null | sed -n 's/^ >bands: //p')
    bands=$(head -1 <<<"$all")
    [ "$(wc -l <<<"$all")" -ge 2 ] || fail "bands $bands on $np processes: they never moved"
    [ "$(in_band 22 "$bands")" != "$(in_band 34 "$bands")" ] ||
      fail "bands $bands on $np processes: the culvert's ends in one band"
    [[ " $bands " =~ [\ -](19|30)[\ -] ]] || fail "bands $bands on $np processes: no well on an edge"
  done
  note "$ex: the same files on ${nps// /, } processes"
done

# A hot start: the channel to 0.5 h with a checkpoint at 0.25 h over 3
# processes, then resumed from it to 1 h over 2, against both runs in one.
for how in ref np32; do
  dir=$WORK/hot-$how
  example channel "$dir"
  sed -i 's/^   end .*/   end 0.5/; s/^   max_flow .*/&\n   checkpoint 0.25/' "$dir/channel.qfx"
  launch=
  [ "$how" = ref ] || launch="mpirun --oversubscribe --bind-to none -np 3"
  LAUNCH=$launch run "$dir" channel.qfx
  sed -i 's/^   end .*/   end 1.0/' "$dir/channel.qfx"
  [ "$how" = ref ] || launch="mpirun --oversubscribe --bind-to none -np 2"
  LAUNCH=$launch run "$dir" channel.qfx
done
grep -q "^ >hot start from 'channel.res' AT  0.50H" "$WORK/hot-ref/screen.txt" ||
  fail "no hot start at 0.5 h: $(grep -i start "$WORK/hot-ref/screen.txt")"
same "$WORK/hot-np32" "$WORK/hot-ref"
note "hot start from a result of 3 processes, resumed over 2: the files of one process"
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
