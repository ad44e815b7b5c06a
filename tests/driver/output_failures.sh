#!/usr/bin/env bash
# Output files that cannot be created or completed, run after run on the
# dam-break example:
# - a result file, max-value file or series file in a folder that does not
#   exist is named with the reason before the first step; status 1;
# - a file size limit (ulimit -f, SIGXFSZ ignored: writes fail with EFBIG as
#   on a full disk) that the max-value file or the result file outgrows: the
#   file and the reason are named, status 1, the earlier max-value file stays
#   as it was and no temporary ".part" file is left;
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
note "file size limit: the failing file named, earlier max-value file kept"

# The result file is the initial file but has other items; no answer.
d=$(fresh overwrite)
run_model "$d" dambreak.qfx
cp "$d/dambreak.res" "$d/earlier.res"
sed -i "/^   plot froude/d; s/^>>compute/>>initiate\n   from 'dambreak.res'\n>>compute/" "$d/dambreak.qfx"
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
