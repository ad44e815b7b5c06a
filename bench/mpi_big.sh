#!/usr/bin/env bash
# A wet dam break of N x N cells (default 6000 x 6000, 36 million cells:
# above what one process held before the memory check) in one process
# against two (mpirun), one thread each:
#   bash bench/mpi_big.sh [build dir] [N] [steps]
# Prints the load, the largest resident size of every process, the time of
# one step (the wall time of the loop of steps over their number; QF_USAGE)
# and the processor time of the whole run (user and system, all processes).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
n=${2:-6000}
steps=${3:-10}
dir=$(mktemp -d "${TMPDIR:-/tmp}/qf-mpibig.XXXXXX")
trap 'rm -rf "$dir"' EXIT
cd "$dir"
source "$src/bench/dambreak_input.sh"
dambreak_bed "$n"
dambreak_qfx 'MPI big' "$steps" "" "$n"
cat >>run.qfx <<QFX
   to   run$steps.res
   interval 1000
>>
QFX
mv run.qfx "run$steps.qfx"
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMP_NUM_THREADS=1 QF_USAGE=1
report() {
  local what=$1
  shift
  /usr/bin/time -f ' >cpu %U %S' "$@" "run$steps.qfx" >/dev/null 2>usage.txt
  grep -o 'process [0-9]*: peak resident [0-9]* kB' usage.txt | sort |
    awk -v w="$what" '{printf "%-24s %s %s  %8.0f MB peak resident\n", w, $1, $2, $5 / 1024}'
  sed -n 's/^ >steps \([0-9]*\) in \([0-9.]*\) s$/\1 \2/p' usage.txt |
    awk -v w="$what" -v n="$n" '{printf "%-24s %8.2f s per step, %6.1f M cell updates/s\n", w, $2 / $1, n * n * $1 / $2 / 1e6}'
  sed -n 's/^ >cpu //p' usage.txt | awk -v w="$what" '{printf "%-24s %8.2f s user, %6.2f s system (whole run)\n", w, $1, $2}'
}
echo "load: $(uptime | sed 's/.*load average: //')"
report "1 process" "$build/quellfax" -q
report "2 processes" mpirun --oversubscribe --bind-to none -np 2 "$build/quellfax" -q
echo "load: $(uptime | sed 's/.*load average: //')"
