#!/usr/bin/env bash
# The channel example (examples/channel) runs to its end and leaves the result
# file of the hot-start kind (depth and both velocities first), the max-value
# file, both ESRI grids and the inflow series; at the end the flow leaving the
# east end follows the hydrograph that enters in the west.
source "$(dirname "$0")/verify_common.bash" "$@"

dir=$WORK/channel
mkdir -p "$dir"
cp "$SRC"/examples/channel/* "$dir"/
run_model "$dir" channel.qfx
grep -q "flow over boundaries" "$dir/out" || fail "no boundary-flow table in the listing"
(cd "$dir" && python3 - <<'PY'
import sys
from verify_checks import *
try:
    r = result_file("channel.res", 2.0, 9,
                    [" DFlow Depth [m]", " XX-Velocity [m/s]", " YY-Velocity [m/s]",
                     " WWater Level [m]", " VFlow Velocity [m/s]"])
    # Header of the hot-start kind: 5 items of 80 cells, RL = 4 x (5 x 80 + 1) + 1.
    got = (r.type, r.reclen, r.nx, r.ny, r.layers, r.header_records, r.title)
    want = (-97, 1605, 80, 40, 1, 2, "Channel with flood plain")
    require(got == want, "header %r, expected %r" % (got, want))
    require((r.x_origin, r.y_origin) == (2600000.0, 1200000.0), "origin %r" % ((r.x_origin, r.y_origin),))
    xs, ys = r.coordinates()
    require(xs == [5.0 * i for i in range(80)] and ys == [5.0 * j for j in range(40)],
            "cell-centre coordinates")
    # Last line of the boundary-flow table: at 2.0 h the hydrograph has fallen
    # to 20 m3/s; the outflow at the east end lags only a little behind.
    with open("out") as f:
        table = [l.split() for l in f if l[:3] == "   " and len(l.split()) == 10]
    last = [float(x) for x in table[-1]]
    require(abs(last[1] - 20.0) < 0.01, "inflow %.2f m3/s at the end, expected 20" % last[1])
    require(abs(-last[6] / 20.0 - 1) < 0.1, "outflow %.2f m3/s at the end" % -last[6])
    print("  %d blocks; at %.2f h inflow %.2f m3/s, outflow %.2f m3/s, volume %.0f m3" %
          (len(r.block_times()), last[0], last[1], -last[6], last[9]))
    m = result_file("channel.max", 2.0, 1)
    # The grids are placed by the corner of the first cell, half a cell off
    # the model origin (its centre).
    md = esri_grid("maxdepth.asc", 80, 40, m.x_origin - 2.5, m.y_origin - 2.5, 5.0)
    esri_grid("maxflow.asc", 80, 40, m.x_origin - 2.5, m.y_origin - 2.5, 5.0)
    require(max(max(row) for row in md) > 1.0, "maximum depth below 1 m")
    inflow = series_file("inflow.txt", "/ TIME[H] DISCHARGE[M3/S] WATERLEVEL[M]", 100, 3)
    require(abs(max(x[1] for x in inflow) - 60.0) < 0.01, "inflow series peak %.3f" %
            max(x[1] for x in inflow))
except CheckFailed as e:
    print("FAIL: %s" % e)
    sys.exit(1)
PY
) || fail "channel example"
echo "channel example: ok"
