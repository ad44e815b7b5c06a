#!/usr/bin/env bash
# The 1000 x 1000-cell dam break (first order, STEPS steps, no result
# records) in one process on 2 threads against 2 processes of 1 thread:
#   bash bench/mpi_bands.sh [build dir] [steps]
# Prints the wall time of each, the cell updates per second and the largest
# resident size of every process.
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
  QF_USAGE=1 "$@" >/dev/null 2>peaks.txt
  t1=$(date +%s.%N)
  python3 -c "t = $t1 - $t0; print('%-28s %7.2f s  %6.1f M cell updates/s' % ('$what', t, 1e6 * $steps / t / 1e6))"
  { grep -o 'process [0-9]*: peak resident [0-9]* kB' peaks.txt || true; } | sort |
    awk '{printf "%28s %s %s %6.0f MB peak resident\n", "", $1, $2, $5 / 1024}'
}
measure "1 process x 2 threads" env OMP_NUM_THREADS=2 "$build/quellfax" -q run.qfx
measure "2 processes x 1 thread" env OMP_NUM_THREADS=1 \
  mpirun --oversubscribe --bind-to core -np 2 "$build/quellfax" -q run.qfx
