#!/usr/bin/env bash
# A run that would lose files stops before it writes any: outputs that name
# an input or each other, a start without a display, and a series file of a
# run that stops on its input. Every file of the run before is left as it was
# (status 1). A file-size limit ends the run with the file named, not by the
# signal.
source "$(dirname "$0")/verify_common.bash"

d=$WORK/m
mkdir -p "$d"
printf 'ncols 4\nnrows 3\nxllcorner 1000.0\nyllcorner 2000.0\ncellsize 10.0\nNODATA_value -9999\n%s\n%s\n%s\n' \
  '1 1 1 1' '1 1 1 1' '1 1 1 1' >"$d/bed.asc"
model() {
  printf "title 'uses'\n>>grid\n   include 'bed.asc'\n>>boundary\n   inflow 1 > inflow.txt\n   location\n      995 2000\n      1005 2000\n      1005 2030\n      995 2030\n   /\n>>compute\n   steps 5\n%b>>\n" \
    "$1" >"$d/run.qfx"
}
model ">>output\n   to 'x.res'\n   max_values 'x.max'\n   max_depth 'md.asc'\n"
run_model "$d" run.qfx
sums() { (cd "$d" && md5sum -- * 2>/dev/null | grep -v ' screen.txt$\| err.txt$'); }
before=$(sums)

# Each case: the >>output section, the message on the terminal and in the listing.
cases=(
  "   to 'run.qfx'\n|**error: result file 'run.qfx': the output file would replace the input file 'run.qfx' (command file)"
  "   to 'x.res'\n   max_depth 'bed.asc'\n|**error: max-depth grid 'bed.asc': the output file would replace the input file 'bed.asc' (include file)"
  "   to 'x.res'\n   max_values 'x.res'\n|**error: result file 'x.res' and max-value file 'x.res' are the same file"
  "   to 'x.res'\n   max_depth 'g.asc'\n   max_flow './g.asc'\n|**error: max-depth grid 'g.asc' and max-flow grid './g.asc' are the same file"
  "   to 'out'\n|**error: output listing 'out' and result file 'out' are the same file"
  "   to 'x.res'\n   max_values 'x.res.mass'\n|**error: water-balance file 'x.res.mass' and max-value file 'x.res.mass' are the same file"
  "   to 'x.res'\n   max_depth 'inflow.txt'\n|**error: max-depth grid 'inflow.txt' and series file 'inflow.txt' are the same file"
  "   to 'nofolder/x.res'\n|**error: cannot create result file 'nofolder/x.res': No such file or directory"
)
for c in "${cases[@]}"; do
  IFS='|' read -r body message <<<"$c"
  cp "$d/run.qfx" "$WORK/run.qfx.keep"
  model ">>output\n$body"
  rc=0
  (cd "$d" && "$QF" -q run.qfx </dev/null >"$WORK/screen.txt" 2>"$WORK/err.txt") || rc=$?
  [ "$rc" = 1 ] || fail "$message: exit status $rc"
  grep -qxF -- "$message" "$WORK/err.txt" || fail "not on the terminal: $message
$(cat "$WORK/err.txt")"
  grep -qxF -- "$message" "$d/out" || fail "not in the listing: $message"
  cp "$WORK/run.qfx.keep" "$d/run.qfx"
  # The listing tells of this attempt; every other file is the earlier run's.
  cmp -s <(sums | grep -v ' out$') <(echo "$before" | grep -v ' out$') ||
    fail "$message: files changed"
done
note "${#cases[@]} outputs refused before any file was written"

# Restore the listing of the good run, then: no display, and an input error.
model ">>output\n   to 'x.res'\n   max_values 'x.max'\n   max_depth 'md.asc'\n"
run_model "$d" run.qfx
before=$(sums)
rc=0
(cd "$d" && env -u DISPLAY "$QF" run.qfx </dev/null >"$WORK/screen.txt" 2>&1) || rc=$?
[ "$rc" = 1 ] && grep -qxF " >no window can be opened (is DISPLAY set?): run with -q for no window" \
  "$WORK/screen.txt" || fail "no display: status $rc $(cat "$WORK/screen.txt")"
[ "$(sums)" = "$before" ] || fail "no display: files changed"
sed -i 's/steps 5/cfl 1.7/' "$d/run.qfx"
rc=0
(cd "$d" && "$QF" -q run.qfx </dev/null >"$WORK/screen.txt" 2>&1) || rc=$?
[ "$rc" = 1 ] || fail "input error: status $rc"
cmp -s <(sums | grep -v ' out$\| run.qfx$') <(echo "$before" | grep -v ' out$\| run.qfx$') ||
  fail "input error: files changed"
note "no display and an input error leave the earlier files"

# Past a file-size limit the run reports the file it could not write.
model ">>output\n   to 'x.res'\n   interval 0.00001\n"
sed -i 's/steps 5/steps 4000/' "$d/run.qfx"
rc=0
(cd "$d" && ulimit -f 64 && "$QF" -q run.qfx </dev/null >"$WORK/screen.txt" 2>&1) || rc=$?
[ "$rc" = 1 ] && grep -qF "cannot write result file 'x.res'" "$WORK/screen.txt" ||
  fail "file-size limit: status $rc $(tail -3 "$WORK/screen.txt")"
note "a file-size limit is reported"
echo "file uses: ok"
