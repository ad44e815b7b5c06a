#!/usr/bin/env bash
# The valley example (examples/valley) for its first hour, on the terrain
# averaged to 50 m cells (bench/valley50.py): a dry start, the dam-break
# hydrograph entering through point sources on steep real terrain, second
# order. The water balance closes to 1e-6 of the volume moved, no depth is
# negative, and the point sources bring the volume of the hydrograph.
source "$(dirname "$0")/verify_common.bash" "$@"

dir=$WORK/valley
mkdir -p "$dir"
gunzip -c "$SRC/examples/valley/valley-10m.asc.gz" > "$dir/valley-10m.asc"
python3 "$SRC/bench/valley50.py" "$dir/valley-10m.asc" "$dir" 1 2 >/dev/null
run_model "$dir" valley50.qfx
(cd "$dir" && python3 - <<'PY'
import sys
from verify_checks import *
try:
    r = result_file("valley50.res", 1.0, 5)
    hmin = min(min(min(row) for row in r.block(b)[0]) for b in range(1, len(r.block_times()) + 1))
    require(hmin >= 0.0, "depth %g m" % hmin)
    with open("valley50.res.mass") as f:
        head = f.readline().split()
        last = dict(zip(head, (float(x) for x in f.readlines()[-1].split())))
    closure = abs(last["error"]) / last["moved"]
    require(closure < 1e-6, "balance error %.3g of the volume moved" % closure)
    # Hydrograph 0 -> 3000 m3/s from 300 to 600 s, 3000 to 1200 s, falling
    # to 0 at 6000 s: its volume up to the end of the run.
    end = last["time_h"] * 3600.0
    q_end = 3000.0 * (6000.0 - end) / 4800.0
    volume = 450000.0 + 1800000.0 + 0.5 * (3000.0 + q_end) * (end - 1200.0)
    require(abs(last["points"] / volume - 1.0) < 0.002,
            "point sources %.6g m3, hydrograph %.6g m3" % (last["points"], volume))
    print("  min depth %g m; balance %.2e of %.6g m3; sources %.6g m3, "
          "hydrograph %.6g m3" % (hmin, closure, last["moved"], last["points"], volume))
except CheckFailed as e:
    print("FAIL: %s" % e)
    sys.exit(1)
PY
) || fail "valley balance"
echo "valley balance: ok"
