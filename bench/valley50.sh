#!/usr/bin/env bash
# The valley example (examples/valley) on its terrain averaged to 50 m cells:
# runs it first and second order for HOURS of model time and prints the
# figures to judge the run by: the first time steps after the dry start,
# the smallest depth and largest speed of every result block, and the water
# balance at the end.
#
#   bash bench/valley50.sh [path/to/quellfax [hours [work directory]]]
#
# Defaults: build/quellfax of this clone, 1 h, a temporary directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
prog=${1:-$root/build/quellfax}
prog=$(cd "$(dirname "$prog")" && pwd)/$(basename "$prog")
hours=${2:-1}
if [ -n "${3:-}" ]; then
  mkdir -p "$3"
  work=$(cd "$3" && pwd)
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
export PYTHONPATH="$root/tests/driver${PYTHONPATH:+:$PYTHONPATH}"
cd "$work"
gunzip -c "$root/examples/valley/valley-10m.asc.gz" > valley-10m.asc
for order in 1 2; do
  dir=$work/order$order
  mkdir -p "$dir"
  python3 "$root/bench/valley50.py" valley-10m.asc "$dir" "$hours" "$order"
  # The first steps after the dry start: a record at every step up to 0.1 h.
  mkdir -p "$dir/start"
  cp "$dir/valley50.asc" "$dir/start/"
  sed -e "s/^   end .*/   end 0.1/" -e "s/^   interval .*/   interval 0.0001/" \
    "$dir/valley50.qfx" > "$dir/start/valley50.qfx"
  (cd "$dir/start" && "$prog" -q valley50.qfx > screen.txt 2>&1)
  echo "order $order: time steps [s] from the first wet step on (growth at most 1.25x)"
  python3 - "$dir/start/valley50.res" <<'PY'
import sys
from resultfile import ResultFile
t = [x * 3600.0 for x in ResultFile(sys.argv[1]).block_times()]
dt = [b - a for a, b in zip(t, t[1:]) if b > a]   # the end record may repeat
first = next(i for i, d in enumerate(dt) if abs(d - 1.0) > 1e-3)
print("  " + " ".join("%.3f" % d for d in dt[first - 2:first + 14]))
print("  largest ratio of successive steps %.4f" % max(b / a for a, b in zip(dt, dt[1:])))
PY
  rm -rf "$dir/start"
  start=$(date +%s)
  (cd "$dir" && "$prog" -q valley50.qfx > screen.txt 2>&1)
  echo "order $order: $hours h in $(( $(date +%s) - start )) s of wall time"
  python3 "$root/bench/valley50_check.py" "$dir/valley50.res" || echo "  NEGATIVE DEPTHS"
  sed -n '/water balance/,/error in %/p' "$dir/screen.txt"
done
