#!/usr/bin/env bash
# Grid input seen from the command line: a model run from another folder
# finds its include files next to the command file, a grid file with a byte-
# order mark and exponent numbers reads, and a grid file short of values
# stops the run with status 1 and the message on the terminal.
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

printf 'ncols 3\nnrows 2\ncellsize 1\n1 2 3\n4 5\n' >"$WORK/sub/bed.asc"
rc=0
(cd "$WORK" && "$QF" -q sub/model.qfx </dev/null >screen.txt 2>err.txt) || rc=$?
[ "$rc" = 1 ] || fail "short grid: exit status $rc"
grep -qx "\*\*error: grid 'sub/bed.asc': 6 values expected (ncols x nrows), 5 read before the end of the file" \
  "$WORK/err.txt" || fail "short grid: message on the terminal: $(cat "$WORK/err.txt")"
note "short grid: exit status 1, message on standard error"
echo "grid input: OK"
