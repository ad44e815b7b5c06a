#!/usr/bin/env bash
# The 1000 x 1000-cell dam break (first order, STEPS steps, no result
# records) in one process on 2 threads against 2 processes of 1 thread:
#   bash bench/mpi_bands.sh [build dir] [steps]
# Prints the load, then for each run the wall time of the whole run and of
# its loop of steps with the cell updates per second of each, the processor
# time (user and system, all processes), the largest resident size of every
# process and the time of each phase of the sweeps (QF_USAGE). The processes
# are not bound to cores: on a machine shared with other work a bound
# process waits for its core.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
steps=${2:-40}
source "$src/bench/dambreak_input.sh"
dir=$(mktemp -d "${TMPDIR:-/tmp}/qf-mpibench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
cd "$dir"
dambreak_bed
dambreak_qfx "MPI bands" "$steps"
printf '   to   run.res\n   interval 1000\n>>\n' >>run.qfx
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
measure() {
  local what=$1
  shift
  local t0 t1
  t0=$(date +%s.%N)
  QF_USAGE=1 /usr/bin/time -f ' >cpu %U %S' "$@" >/dev/null 2>usage.txt
  t1=$(date +%s.%N)
  loop=$(sed -n 's/^ >steps [0-9]* in \([0-9.]*\) s$/\1/p' usage.txt)
  cpu=$(sed -n 's/^ >cpu //p' usage.txt)
  python3 - "$what" "$t0" "$t1" "$loop" $cpu <<PY
import sys
what, t0, t1, loop, user, sys_ = sys.argv[1], *map(float, sys.argv[2:])
t = t1 - t0
print('%-24s run %6.2f s %5.1f M/s, loop %6.2f s %5.1f M/s, processor %6.2f s user %5.2f s system'
      % (what, t, $steps / t, loop, $steps / loop, user, sys_))
PY
  { grep -o 'process [0-9]*: peak resident [0-9]* kB' usage.txt || true; } | sort |
    awk '{printf "%24s %s %s %6.0f MB peak resident\n", "", $1, $2, $5 / 1024}'
  { grep '^ >process [0-9]*: [a-z]' usage.txt | grep -v 'peak resident' || true; } | sort |
    sed 's/^ >/                         /'
}
echo "load: $(uptime | sed 's/.*load average: //')"
measure "1 process x 2 threads" env OMP_NUM_THREADS=2 "$build/quellfax" -q run.qfx
measure "2 processes x 1 thread" env OMP_NUM_THREADS=1 \
  mpirun --oversubscribe --bind-to none -np 2 "$build/quellfax" -q run.qfx
echo "load: $(uptime | sed 's/.*load average: //')"
