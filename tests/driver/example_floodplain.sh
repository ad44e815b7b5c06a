#!/usr/bin/env bash
# The flood-plain example (examples/floodplain) runs to its end and leaves the
# result file, the max-value file, both ESRI grids and the inflow and culvert
# series. The model is closed but for the inflow, so the water it holds is the
# inflow hydrograph plus the rain; the culvert carries water to the flood
# plain, and the embankment is not overtopped.
source "$(dirname "$0")/verify_common.bash" "$@"

dir=$WORK/floodplain
mkdir -p "$dir"
cp "$SRC"/examples/floodplain/* "$dir"/
run_model "$dir" floodplain.qfx
grep -q "flow over boundaries" "$dir/out" || fail "no boundary-flow table in the listing"
(cd "$dir" && python3 - <<'PY'
import sys
from verify_checks import *


def table(points, t):
    """Piecewise-linear table value, end values held."""
    if t <= points[0][0]:
        return points[0][1]
    for (a, va), (b, vb) in zip(points, points[1:]):
        if t <= b:
            return va + (t - a) * (vb - va) / (b - a)
    return points[-1][1]


def integral(points, t, n=20000):
    d = t / n
    return sum(table(points, (k + 0.5) * d) for k in range(n)) * d


hydrograph = [(0.0, 0.5), (0.5, 6.0), (1.25, 6.0), (2.0, 1.0)]   # m3/s
rain = [(0.0, 0.0), (0.25, 20.0), (1.0, 20.0), (1.25, 0.0)]      # mm/h
cell = 25.0
plan = 80 * 40 * cell
try:
    r = result_file("floodplain.res", 2.5, 11,
                    [" DFlow Depth [m]", " WWater Level [m]", " VFlow Velocity [m/s]"])
    times = r.block_times()
    for b, t in enumerate(times, start=1):
        if b == 1:
            continue
        v = depth_volume(r, b, cell)
        expect = integral(hydrograph, t) * 3600 + integral(rain, t) * 3600 / 3.6e6 * plan
        require(abs(v / expect - 1) < 0.005,
                "water held %.1f m3 at %.2f h, inflow and rain %.1f m3" % (v, t, expect))
    print("  water held %.1f m3 at %.2f h, inflow plus rain %.1f m3" % (v, times[-1], expect))
    # Behind the embankment (columns 21..80) the water came through the culvert.
    plain = depth_volume(r, len(times), cell, range(20, 80))
    rows = series_file("culvert.txt", "/TIME[H] DISCHARGE[M3/S] TYPE (1:CRIT 2=UNI 3=GATED 4=PRESS)",
                       40, 3)
    require(all(int(x[2]) in (0, 1, 2, 3, 4) for x in rows), "culvert flow types outside 0..4")
    require(max(x[1] for x in rows) > 1.0, "culvert carries at most %.3f m3/s" % max(x[1] for x in rows))
    require(min(x[1] for x in rows) >= 0.0, "culvert flows back")
    # Trapezoids between the lines; the last discharge held to the end.
    through = sum((b[0] - a[0]) * 3600 * (a[1] + b[1]) / 2 for a, b in zip(rows, rows[1:]))
    through += (times[-1] - rows[-1][0]) * 3600 * rows[-1][1]
    rain_plain = integral(rain, 2.5) * 3600 / 3.6e6 * 60 * 40 * cell
    require(abs((through + rain_plain) / plain - 1) < 0.01,
            "flood plain holds %.1f m3, culvert %.1f m3 and rain %.1f m3" %
            (plain, through, rain_plain))
    print("  flood plain %.1f m3: culvert %.1f m3 (%d series lines) + rain %.1f m3" %
          (plain, through, len(rows), rain_plain))
    inflow = series_file("inflow.txt", "/ TIME[H] DISCHARGE[M3/S] WATERLEVEL[M]", 40, 3)
    require(abs(max(x[1] for x in inflow) - 6.0) < 0.01, "inflow series peak %.3f" %
            max(x[1] for x in inflow))
    m = result_file("floodplain.max", 2.5, 1)
    # The grids are placed by the corner of the first cell, half a cell off
    # the model origin (its centre).
    md = esri_grid("maxdepth.asc", 80, 40, m.x_origin - 2.5, m.y_origin - 2.5, 5.0)
    esri_grid("maxflow.asc", 80, 40, m.x_origin - 2.5, m.y_origin - 2.5, 5.0)
    crest = max(row[i] for row in md for i in (17, 18))
    require(crest < 0.05, "the embankment was overtopped (%.3f m)" % crest)
    require(max(row[30] for row in md) > 0.2, "no water on the flood plain")
except CheckFailed as e:
    print("FAIL: %s" % e)
    sys.exit(1)
PY
) || fail "flood-plain example"
echo "flood-plain example: ok"
