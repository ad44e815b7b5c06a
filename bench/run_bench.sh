#!/usr/bin/env bash
# Whole-run speed of `quellfax -q` on a 1000 x 1000-cell wet dam break with
# result records every ~20 steps, maxima and grid export, against the speed of
# the flow step alone (flow_bench on the same grid).
#
#   bash bench/run_bench.sh [build dir] [steps]
#
# Runs each case on 1 and on 2 threads (THREADS="1 2 4" for others).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
steps=${2:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
source "$root/bench/dambreak_input.sh"
dambreak_bed
for order in 1 2; do
  second=""
  [ "$order" = 2 ] && second="   2nd"
  dambreak_qfx 'whole-run benchmark' "$steps" "$second"
  cat >>run.qfx <<QFX
   to 'bench.res'
   interval 0.006
   max_values 'bench.max'
   max_depth 'maxdepth.asc'
   max_flow 'maxflow.asc'
>>
QFX
  for threads in ${THREADS:-1 2}; do
  OMP_NUM_THREADS=$threads /usr/bin/time -v -o time.txt "$build/quellfax" -q run.qfx >screen.txt
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/{print $2}' time.txt)
  rss=$(awk -F': ' '/Maximum resident set size/{print $2}' time.txt)
  cpu=$(awk -F': ' '/(User|System) time \(seconds\)/{s += $2} END {print s}' time.txt)
  blocks=$(grep -cE '^ +[0-9]+ +[0-9]+ +[0-9.]+ ' screen.txt || true)
  python3 - "$order" "$steps" "$wall" "$rss" "$blocks" "$threads" "$cpu" <<'PY'
import sys
order, steps, wall, rss, blocks = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4]), sys.argv[5]
threads, cpu = sys.argv[6], float(sys.argv[7])
secs = sum(float(x) * 60**i for i, x in enumerate(reversed(wall.split(":"))))
nodes = 1002 * 1002
print(f"order {order}, {threads} thread(s): whole run {nodes*steps/secs/1e6:.1f} M cell updates/s, {secs/steps:.4f} s/step "
      f"({secs:.1f} s for {steps} steps incl. input and output), peak memory {rss/1024:.0f} MB, "
      f"result records {blocks}")
# On a machine shared with other work the wall clock counts their time too:
# the processor time of the run (all its threads) per thread is the floor.
print(f"    processor time {cpu:.1f} s: {nodes*steps/(cpu/int(threads))/1e6:.1f} M cell updates/s per "
      f"{threads} thread(s) busy all the time")
PY
  done
done
echo "flow alone (same grid):"
for threads in ${THREADS:-1 2}; do
  OMP_NUM_THREADS=$threads "$build/bench/flow_bench" 1000 40
done
