#!/usr/bin/env bash
# Bytes moved between memory and the processor per cell update, per part of
# a step, on the 1000 x 1000-cell wet dam break of run_bench.sh: the run
# under cachegrind (one thread, the x86-64 sweep, a last-level cache of
# LL_BYTES, 32 MB by default) with STEPS_A and STEPS_B steps; the
# difference of the two runs is what STEPS_B - STEPS_A steps cost. A line
# read from memory counts 64 bytes, a line written 128 (brought in, then
# written back). Input, start-up and the final files cancel out.
#
#   bash bench/bytes_per_cell.sh [build dir] [order 1|2] [n cells per side]
#
# The machine's own counters are not used (a virtual machine has none); the
# figure is that of the cache model, the same on every machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
order=${2:-1}
a=${STEPS_A:-2}
b=${STEPS_B:-6}
ll=${LL_BYTES:-33554432}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
source "$root/bench/dambreak_input.sh"
dambreak_bed
second=""
[ "$order" = 2 ] && second="   2nd"
for steps in "$a" "$b"; do
  dambreak_qfx 'bytes per cell update' "$steps" "$second"
  cat >>run.qfx <<QFX
   to 'bench.res'
   interval 0.006
   max_values 'bench.max'
>>
QFX
  QF_ISA=base OMP_NUM_THREADS=1 valgrind --tool=cachegrind --cache-sim=yes \
    --LL="$ll,16,64" --cachegrind-out-file="cg.$steps" "$build/quellfax" -q run.qfx \
    >/dev/null 2>cg.log.$steps
done
python3 - "cg.$a" "cg.$b" "$((b - a))" "$order" <<'PY'
import collections, sys

def misses(path):
    per = collections.Counter()
    events, fn = None, None
    for line in open(path):
        if line.startswith("events:"):
            events = line.split()[1:]
            r, w = events.index("DLmr"), events.index("DLmw")
        elif line.startswith("fn="):
            fn = line[3:].strip()
        elif line[:1].isdigit() and fn:
            v = line.split()[1:]
            if len(v) > w:
                per[fn] += 64 * int(v[r]) + 128 * int(v[w])
    return per

a, b = misses(sys.argv[1]), misses(sys.argv[2])
steps, order = int(sys.argv[3]), int(sys.argv[4])
cells = 1000 * 1000 * steps
diff = {f: b[f] - a.get(f, 0) for f in b}
total = sum(diff.values())
print(f"order {order}: {total / cells:.0f} bytes per cell and step "
      f"({total / cells / order:.0f} per stage), over {steps} steps")
for f, v in sorted(diff.items(), key=lambda x: -x[1]):
    if v / cells < 0.5:
        break
    print(f"  {v / cells:7.1f}  {f[:100]}")
PY
