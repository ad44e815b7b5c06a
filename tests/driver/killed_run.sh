#!/usr/bin/env bash
# A run killed with SIGKILL at a random moment leaves a result file whose
# blocks read back whole: every row record of every block before the end
# marker is there, carries the block's time and holds the whole flume's water.
# The dam-break example, made to run longer and to write a block every four
# steps or so (so that many kills land while a block is being written), is
# killed five times at random moments (QF_KILL_SEED repeats a sequence).
source "$(dirname "$0")/verify_common.bash" "$@"

seed=${QF_KILL_SEED:-$(( $(date +%s) % 32768 ))}
RANDOM=$seed
echo "  seed $seed"
for round in 1 2 3 4 5; do
  dir=$WORK/run$round
  mkdir -p "$dir"
  cp "$SRC"/examples/dambreak/* "$dir"/
  sed -i 's/^   end .*/   end 1.0/; s/^   interval .*/   interval 0.00005/' "$dir/dambreak.qfx"
  grep -q "end 1.0" "$dir/dambreak.qfx" || fail "could not lengthen the run"
  # Between 0.2 s and 2.2 s after the start, in milliseconds.
  delay_ms=$(( 200 + RANDOM % 2000 ))
  (cd "$dir" && exec "$QF" -q dambreak.qfx </dev/null >screen.txt 2>&1) &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" || true
    fail "round $round: the run ended before it was killed (${delay_ms} ms)"
  fi
  kill -KILL "$pid"
  rc=0
  { wait "$pid"; } 2>/dev/null || rc=$?
  [ "$rc" -eq 137 ] || fail "round $round: exit status $rc, expected 137 (killed)"
  (cd "$dir" && python3 - "$round" "$delay_ms" <<'PY'
import os
import sys
from resultfile import ResultFile, ResultFileError
from verify_checks import CheckFailed, depth_volume, require

round_, delay = sys.argv[1], sys.argv[2]
try:
    require(os.path.isfile("dambreak.res"), "no result file")
    try:
        r = ResultFile("dambreak.res")
    except ResultFileError as e:
        raise CheckFailed(str(e))
    require((r.nx, r.ny, r.n) == (200, 20, 4), "header %r" % ((r.nx, r.ny, r.n),))
    problems = r.check_blocks()
    require(not problems, "; ".join(problems))
    times = r.block_times()
    require(len(times) >= 1, "no block")
    for b in range(1, len(times) + 1):
        v = depth_volume(r, b, 1.0)
        require(abs(v - 20000.0) < 0.5, "block %d at %.5f h holds %.3f m3" % (b, times[b - 1], v))
    # Records behind the end marker of the last whole block: the kill came
    # while the next block was being written.
    behind = r.records() - (r.block_record(len(times) + 1) + 1)
    print("  round %s: killed after %s ms: %d whole blocks up to %.2f s; %s" %
          (round_, delay, len(times), times[-1] * 3600,
           "%d records of the next block written" % behind if behind > 0 else
           "killed between blocks"))
except CheckFailed as e:
    print("FAIL: round %s (killed after %s ms): %s" % (round_, delay, e))
    sys.exit(1)
PY
  ) || fail "killed run, round $round"
  rm -rf "$dir"
done
echo "killed runs: ok"
