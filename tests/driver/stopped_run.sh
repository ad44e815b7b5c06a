#!/usr/bin/env bash
# A run stopped with SIGTERM finishes its step, writes the last result block,
# the max-value file, the grids and a warm-start state (the next run resumes
# from it), says so, and exits with status 143; a
# second signal ends it at once with the result file readable to its last
# block.
#
# The dam-break example without an end time (it would run until stopped) is
# stopped once it has written a few result blocks.
source "$(dirname "$0")/verify_common.bash" "$@"

# wait_blocks DIR N: waits (at most 60 s) until the result file holds N
# blocks.
wait_blocks() {
  local dir=$1 n=$2 i
  for i in $(seq 1 600); do
    if (cd "$dir" && python3 - "$n" 2>/dev/null <<'PY'
import sys
from resultfile import ResultFile
r = ResultFile("dambreak.res")
sys.exit(0 if len(r.block_times()) >= int(sys.argv[1]) else 1)
PY
    ); then
      return 0
    fi
    sleep 0.1
  done
  return 1
}

dir=$WORK/term
mkdir -p "$dir"
cp "$SRC"/examples/dambreak/* "$dir"/
sed -i '/^   end /d; s/^   interval .*/   interval 0.0002/; s/^   plot flowdepth/   plot initial/' "$dir/dambreak.qfx"
grep -q "^   end " "$dir/dambreak.qfx" && fail "could not remove the end time"
(cd "$dir" && exec "$QF" -q dambreak.qfx </dev/null >screen.txt 2>&1) &
pid=$!
if ! wait_blocks "$dir" 3; then
  kill -KILL "$pid" 2>/dev/null || true
  fail "no third result block within 60 s"
fi
kill -TERM "$pid"
rc=0
wait "$pid" || rc=$?
[ "$rc" -eq 143 ] || fail "exit status $rc after SIGTERM, expected 143"
grep -q "^ >no end time and no step limit: the run goes on until it is stopped (Ctrl-C)$" \
  "$dir/screen.txt" || fail "no note on the missing end"
grep -q "^ >stopped by SIGTERM after step [0-9]* at t=[0-9.]* h: last state, maxima and grids written$" \
  "$dir/screen.txt" || fail "no stop message: $(tail -5 "$dir/screen.txt")"
grep -q "^ >hvx stopped$" "$dir/screen.txt" || fail "no closing line"
grep -q "water balance \[m3\] after" "$dir/screen.txt" || fail "no water balance"
for f in dambreak.max maxdepth.asc maxflow.asc dambreak.res.mass; do
  [ -s "$dir/$f" ] || fail "no $f"
done
(cd "$dir" && python3 - <<'PY'
import re
from resultfile import ResultFile
from verify_checks import CheckFailed, depth_volume, require

try:
    screen = open("screen.txt").read()
    t = float(re.search(r"stopped by SIGTERM after step \d+ at t=([0-9.]+) h", screen).group(1))
    r = ResultFile("dambreak.res")
    require(not r.check_blocks(), "result file: %s" % r.check_blocks())
    times = r.block_times()
    # The last block holds the state at the stop, after the regular ones.
    require(len(times) >= 4, "%d blocks" % len(times))
    require(abs(times[-1] - t) < 1e-4, "last block at %.5f h, stop at %.5f h" % (times[-1], t))
    require(times[-1] >= times[-2], "last block before the one ahead of it")
    v = depth_volume(r, len(times), 1.0)
    require(abs(v - 20000.0) < 0.5, "last block holds %.3f m3" % v)
    m = ResultFile("dambreak.max")
    require(m.n == 4 and len(m.block_times()) == 1, "max-value file")
    require(abs(m.block_times()[0] - t) < 1e-4, "max-value file at %.5f h" % m.block_times()[0])
    print("  stopped at %.5f h after %d blocks" % (t, len(times) - 1))
except CheckFailed as e:
    print("FAIL: %s" % e)
    raise SystemExit(1)
PY
) || fail "stopped run"

# The stop leaves a warm start: the next run in the folder resumes from the
# last state and continues the result file behind it.
grep -q "^ >warm start saved in .hvx: the next run in this folder resumes at t=[0-9.]* h (delete .hvx to start afresh)$" \
  "$dir/screen.txt" || fail "no warm start saved at the stop"
t=$(sed -n 's/^ >stopped by SIGTERM after step [0-9]* at t=\([0-9.]*\) h.*/\1/p' "$dir/screen.txt")
sed -i "s/^>>compute/>>compute\n   end $(python3 -c "print($t + 0.0004)")/" "$dir/dambreak.qfx"
run_model "$dir" dambreak.qfx
grep -q "^ >hot start from 'dambreak.res' AT" "$dir/screen.txt" || fail "the next run did not resume"
(cd "$dir" && python3 -c "
from resultfile import ResultFile
t = ResultFile('dambreak.res').block_times()
assert all(a <= b for a, b in zip(t, t[1:])) and t[-1] > $t + 0.0004, t") ||
  fail "resumed run did not continue the result file"
note "the next run resumes at t=$t h"

# A second signal while the first one is being served ends the run at once:
# the process dies of the signal, the result file reads to its last block.
dir=$WORK/twice
mkdir -p "$dir"
cp "$SRC"/examples/dambreak/* "$dir"/
sed -i '/^   end /d; s/^   interval .*/   interval 0.0002/' "$dir/dambreak.qfx"
(cd "$dir" && exec "$QF" -q dambreak.qfx </dev/null >screen.txt 2>&1) &
pid=$!
wait_blocks "$dir" 2 || { kill -KILL "$pid" 2>/dev/null || true; fail "no second block"; }
kill -TERM "$pid"
kill -TERM "$pid" 2>/dev/null || true
rc=0
wait "$pid" || rc=$?
# Either the second signal came while the step was still running (killed
# by it, 143 from the shell) or after the orderly end (143 as well).
[ "$rc" -eq 143 ] || fail "exit status $rc after two signals, expected 143"
(cd "$dir" && python3 -c '
from resultfile import ResultFile
r = ResultFile("dambreak.res")
assert not r.check_blocks(), r.check_blocks()
') || fail "result file unreadable after two signals"
echo "stopped run: ok"
