#!/usr/bin/env bash
# Output files that cannot be created or completed, run after run on the
# dam-break example:
# - a result file, max-value file or series file in a folder that does not
#   exist is named with the reason before the first step; status 1;
# - a file size limit (ulimit -f, SIGXFSZ ignored: writes fail with EFBIG as
#   on a full disk) that the max-value file or the result file outgrows: the
#   file and the reason are named, status 1, the earlier max-value and
#   result files stay as they were and no temporary ".part" file is left;
# - balance and gauge files that outgrow the limit: named, status 1, and
#   named again with the result file when that fails later;
# - a result file of another layout that is also the initial file, with
#   nobody to answer the overwrite question: a message and status 1;
# - a rerun with lower water in the same folder reports its own maxima, not
#   the higher ones of the run before;
# - the exported grids read with gdalinfo (when it is installed).
source "$(dirname "$0")/verify_common.bash" "$@"

# run_failing DIR COMMANDFILE [LIMIT_KB]: runs quietly (under a file size
# limit when given) and expects exit status 1; the screen and the error
# stream go to DIR/screen.txt.
run_failing() {
  local dir=$1 cmd=$2 limit=${3:-unlimited}
  local rc=0
  (cd "$dir" && trap '' XFSZ && ulimit -f "$limit" && exec "$QF" -q "$cmd" </dev/null >screen.txt 2>&1) ||
    rc=$?
  [ "$rc" -eq 1 ] || { cat "$dir/screen.txt" >&2; fail "$cmd in $dir: exit status $rc, expected 1"; }
  if grep -q "^ >hvx terminated" "$dir/screen.txt"; then fail "$dir: termination line after a failure"; fi
}

# expect DIR TEXT: the screen holds the line TEXT.
expect() {
  grep -qxF -- "$2" "$1/screen.txt" || { cat "$1/screen.txt" >&2; fail "$1: no line '$2'"; }
}

# no_steps DIR: the run stopped before its first step.
no_steps() {
  if grep -q "Step    Time(h)" "$1/screen.txt"; then fail "$1: steps were computed"; fi
}

fresh() {
  rm -rf "$WORK/$1"
  mkdir -p "$WORK/$1"
  cp "$SRC"/examples/dambreak/* "$WORK/$1"/
  echo "$WORK/$1"
}

# Missing folders.
d=$(fresh nofolder)
sed -i "s|^   max_values .*|   max_values 'nodir/dambreak.max'|" "$d/dambreak.qfx"
run_failing "$d" dambreak.qfx
expect "$d" "**error: cannot create max-value file 'nodir/dambreak.max': No such file or directory"
no_steps "$d"
d=$(fresh nofolder_res)
sed -i "s|^   to .*|   to 'nodir/dambreak.res'|" "$d/dambreak.qfx"
run_failing "$d" dambreak.qfx
expect "$d" "**error: cannot create result file 'nodir/dambreak.res': No such file or directory"
no_steps "$d"
d=$WORK/nofolder_series
mkdir -p "$d"
cp "$SRC"/examples/floodplain/* "$d"/
sed -i "s|> inflow.txt|> 'nodir/inflow.txt'|" "$d/floodplain.qfx"
run_failing "$d" floodplain.qfx
expect "$d" "**error: cannot create output file 'nodir/inflow.txt': No such file or directory"
no_steps "$d"
note "missing folders named before the first step"

# File size limit. One item and results only at the start and the end: the
# result file takes 68 kB, the max-value file 205 kB, each grid 32 kB.
d=$(fresh limit)
sed -i '/^   plot \(waterlevel\|velocity\|froude\)/d; s/^   interval .*/   interval 1.0/' "$d/dambreak.qfx"
run_model "$d" dambreak.qfx
cp "$d/dambreak.max" "$d/earlier.max"
cp "$d/dambreak.res" "$d/earlier.res"
rm "$d/maxdepth.asc" "$d/maxflow.asc"
run_failing "$d" dambreak.qfx 100
expect "$d" " >cannot write max-value file 'dambreak.max': File too large"
expect "$d" ">STORED MAX_DEPTH ON maxdepth.asc                    "
cmp -s "$d/dambreak.max" "$d/earlier.max" || fail "the earlier max-value file was not kept"
[ -f "$d/maxdepth.asc" ] && [ -f "$d/maxflow.asc" ] || fail "grids not written"
if ls "$d"/*.part >/dev/null 2>&1; then fail "temporary files left: $(ls "$d"/*.part)"; fi
grep -q "^\*\*error: cannot write max-value file 'dambreak.max': File too large" "$d/out" ||
  fail "no error in the listing"
run_failing "$d" dambreak.qfx 40
expect "$d" " >cannot write result file 'dambreak.res': File too large"
no_steps "$d"
cmp -s "$d/dambreak.res" "$d/earlier.res" || fail "the earlier result file was not kept"
if ls "$d"/*.part >/dev/null 2>&1; then fail "temporary files left: $(ls "$d"/*.part)"; fi
note "file size limit: the failing file named, earlier max-value and result files kept"

# Series files under the limit: a basin of 6 x 3 cells writes a result block
# (315 bytes), a balance line (428) and a line of 24 gauges (about 500)
# every step. In 110 steps the balance and gauge files outgrow 40 kB and
# the result file does not: both are named, status 1, the result file whole.
# In 200 steps the result file fails too, and every file is named.
d=$WORK/series
mkdir -p "$d"
printf 'ncols 6\nnrows 3\ncellsize 10\n' >"$d/bed.asc"
for j in 1 2 3; do echo "0 0 0 0 0 0" >>"$d/bed.asc"; done
{
  printf ">>grid\n   include 'bed.asc'\n>>polygon\n   waterlevel 1.0\n"
  printf "      -6 -6\n      25 -6\n      25 26\n      -6 26\n   /\n>>compute\n   steps 110\n"
  printf ">>output\n   to 't.res'\n   interval 0.00001\n   dt_out 0.00001\n   plot flowdepth\n"
  for i in $(seq 1 24); do printf "   gauge 35 5 g%d\n" "$i"; done
} >"$d/t.qfx"
run_failing "$d" t.qfx 40
expect "$d" " >cannot write mass-balance file 't.res.mass': File too large"
expect "$d" " >cannot write gauge file 't.res.gauges.csv': File too large"
expect "$d" " >output files not complete: 't.res.mass', 't.res.gauges.csv'"
grep -q "^\*\*error: cannot write gauge file 't.res.gauges.csv': File too large" "$d/out" ||
  fail "series failure not in the listing"
(cd "$d" && python3 -c "
from resultfile import ResultFile
r = ResultFile('t.res')
assert not r.check_blocks() and len(r.block_times()) >= 111, r.check_blocks()") ||
  fail "result file not whole beside the failed series files"
sed -i 's/steps 110/steps 200/' "$d/t.qfx"
run_failing "$d" t.qfx 40
expect "$d" " >output files not complete: 't.res', 't.res.mass', 't.res.gauges.csv'"
note "series files under the limit: named, status 1"

# The result file is the initial file but has other items; no answer.
d=$(fresh overwrite)
run_model "$d" dambreak.qfx
cp "$d/dambreak.res" "$d/earlier.res"
sed -i "/^   plot froude/d; s/^>>compute/>>initiate\n   from 'dambreak.res'\n   at 0.0\n>>compute/" "$d/dambreak.qfx"
run_failing "$d" dambreak.qfx
grep -qF "no answer whether to overwrite result file 'dambreak.res'" "$d/screen.txt" ||
  fail "no message for the unanswered question"
cmp -s "$d/dambreak.res" "$d/earlier.res" || fail "the result file was changed"
note "overwrite question without an answer: status 1"

# A rerun with 5 m of water behind the dam in place of 10 m.
d=$(fresh rerun)
run_model "$d" dambreak.qfx
sed -i 's/^   waterlevel 10.0/   waterlevel 5.0/' "$d/dambreak.qfx"
run_model "$d" dambreak.qfx
if grep -q "reading from existing max_value file" "$d/screen.txt"; then
  fail "a fresh run took the maxima of the run before"
fi
top=$(tail -n +7 "$d/maxdepth.asc" | tr -s ' ' '\n' | sort -g | tail -1)
python3 -c "import sys; sys.exit(0 if 4.9 < $top < 5.1 else 1)" ||
  fail "max depth $top m after the rerun with 5 m of water"
note "rerun: max depth $top m"

if command -v gdalinfo >/dev/null; then
  for g in maxdepth maxflow; do
    gdalinfo -stats "$d/$g.asc" >"$d/$g.txt" 2>&1 || { cat "$d/$g.txt" >&2; fail "gdalinfo $g.asc"; }
    grep -q "Size is 200, 20" "$d/$g.txt" || fail "$g.asc: size as read by gdalinfo"
  done
  note "gdalinfo reads both grids"
fi
echo "output failures: ok"
