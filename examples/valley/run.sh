#!/usr/bin/env bash
# Runs the valley example in the current directory (or in the directory
# given as the second argument) and prints the maximum depths at its seven
# output points.
#
#   bash run.sh [path/to/quellfax [work directory]]
#
# Without a program path, quellfax is taken from build/ of this clone or
# from the PATH. A valley.qfx already in the work directory is used as it is
# (for a shorter run, say). A whole run of 30 h takes hours on one core.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
prog=${1:-}
if [[ -z "$prog" ]]; then
  if [[ -x "$root/build/quellfax" ]]; then
    prog="$root/build/quellfax"
  else
    prog=$(command -v quellfax || true)
  fi
fi
if [[ -z "$prog" || ! -x "$prog" ]]; then
  echo "quellfax not found: build it (tools/example.sh) or give its path" >&2
  exit 1
fi
prog=$(cd "$(dirname "$prog")" && pwd)/$(basename "$prog")
work=${2:-.}
mkdir -p "$work"
cd "$work"
[[ -f valley.qfx ]] || cp "$here/valley.qfx" .
gunzip -c "$here/valley-10m.asc.gz" > valley-10m.asc

"$prog" -q valley.qfx

# Maximum depths at the output points, from the maximum-depth grid
# (ESRI ASCII; the no-data value marks cells outside the valley).
python3 - maxdepth.asc <<'EOF'
import sys

points = [(1, 235200, 832400), (2, 236700, 833800), (3, 237800, 835200),
          (4, 239400, 838000), (5, 243300, 840300), (6, 235700, 832500),
          (7, 237700, 835500)]
with open(sys.argv[1]) as f:
    head = {}
    for _ in range(6):
        key, value = f.readline().split()
        head[key.lower()] = float(value)
    ncols, nrows = int(head["ncols"]), int(head["nrows"])
    size = head["cellsize"]
    # Rows north first; each value takes a field of 8 characters.
    rows = []
    for line in f:
        line = line.rstrip("\n")
        rows.append([float(line[8 * i:8 * i + 8]) for i in range(ncols)])
print("point        x         y   max depth [m]")
for n, x, y in points:
    col = int((x - head["xllcorner"]) // size)
    row = int((y - head["yllcorner"]) // size)
    value = rows[nrows - 1 - row][col]
    text = "no data" if value == head["nodata_value"] else "%8.3f" % value
    print("%5d %9d %9d %15s" % (n, x, y, text))
EOF
