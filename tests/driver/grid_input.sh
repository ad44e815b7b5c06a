#!/usr/bin/env bash
# Grid input seen from the command line: a model run from another folder
# finds its include files next to the command file, a grid file with a byte-
# order mark and exponent numbers reads, a grid file short of values stops
# the run with status 1 and the message on the terminal, and map positions
# select the cells that GDAL reports (when gdallocationinfo is installed).
source "$(dirname "$0")/verify_common.bash"

mkdir -p "$WORK/sub"
python3 - "$WORK/sub" <<'PY'
import sys
with open(sys.argv[1] + "/bed.asc", "w", encoding="utf-8-sig") as f:
    f.write("ncols 4\nnrows 3\nxllcorner 1000.0\nyllcorner 2000.0\ncellsize 10.0\n"
            "NODATA_value -3.4028234663852886e+38\n"
            "3.1e+01 3.2E+01 33 34\n21 22 23 24\n11 12 13 -3.40282347e+38\n")
PY
cat >"$WORK/sub/model.qfx" <<'QFX'
title 'grid input'
>>grid
   include 'bed.asc'
>>source
   discharge 0.5
   point 1019.0 2001.0
>>compute
   steps 5
>>output
   to 'model.res'
QFX
run_model "$WORK" sub/model.qfx
grep -q "1 no-data cells outside the model" "$WORK/screen.txt" || fail "no-data cell not recognised"
note "run from the parent folder: include found next to the command file"

# The source at 1019/2001 lies in column 2 of the southern row (the cell
# holding 12): the deepest water after five steps is there, and the result
# file's origin is the centre of the first cell.
(cd "$WORK" && python3 - <<'PY') || fail "source cell"
from resultfile import ResultFile
r = ResultFile("model.res")
assert (r.x_origin, r.y_origin) == (1005.0, 2005.0), (r.x_origin, r.y_origin)
b = len(r.block_times())
depth = r.item(b, " DFlow Depth [m]")
deepest = max((v, i, j) for j, row in enumerate(depth) for i, v in enumerate(row))
assert deepest[0] > 0 and deepest[1:] == (1, 0), deepest
PY
note "source at 1019/2001 fills column 2 of the southern row"
if command -v gdallocationinfo >/dev/null; then
  tail -c +4 "$WORK/sub/bed.asc" >"$WORK/gdal.asc"  # GDAL refuses the byte-order mark
  v=$(gdallocationinfo -valonly -geoloc "$WORK/gdal.asc" 1019.0 2001.0)
  [ "$v" = 12 ] || fail "GDAL reports $v at 1019/2001"
  note "GDAL reports the cell holding 12 at 1019/2001"
fi

printf 'ncols 3\nnrows 2\ncellsize 1\n1 2 3\n4 5\n' >"$WORK/sub/bed.asc"
rc=0
(cd "$WORK" && "$QF" -q sub/model.qfx </dev/null >screen.txt 2>err.txt) || rc=$?
[ "$rc" = 1 ] || fail "short grid: exit status $rc"
grep -qx "\*\*error: grid 'sub/bed.asc': 6 values expected (ncols x nrows), 5 read before the end of the file" \
  "$WORK/err.txt" || fail "short grid: message on the terminal: $(cat "$WORK/err.txt")"
note "short grid: exit status 1, message on standard error"
echo "grid input: OK"
