#!/usr/bin/env bash
# Runs the valley example in the current directory (or in the directory
# given as the second argument) and prints the maximum depths at its seven
# output points from the gauge series of the run.
#
#   bash run.sh [path/to/quellfax [work directory]]
#
# Without a program path, quellfax is taken from build/ of this clone or
# from the PATH. A valley.qfx already in the work directory is used as it is
# (for a shorter run, say). A whole run of 30 h takes about half an hour of
# processor time.
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

# Maximum depths at the output points and their times, from the gauge
# series of the run (depth, level and speed every dt_out).
awk -F, '
  NR == 1 { for (c = 2; c <= NF; c += 3) { split($c, w, " "); name[c] = w[1] }; next }
  { for (c = 2; c <= NF; c += 3)
      if ($c != "" && (!(c in top) || $c + 0 > top[c])) { top[c] = $c + 0; when[c] = $1 } }
  END {
    print "point   max depth [m]   at [h]"
    for (c = 2; c <= NF; c += 3)
      if (c in top) printf "%5s %15.3f %8.2f\n", name[c], top[c], when[c]
      else printf "%5s %15s\n", name[c], "no data"
  }' valley.res.gauges.csv
