#!/usr/bin/env bash
# The two transport examples run from their directories and leave sound
# results:
# - the tracer plume (examples/channel/tracer.sh: the channel flood, then the
#   tracer on its last flow field): one concentration item, never negative,
#   no new maximum once the release has stopped, the plume travelling east
#   and gone through the east end by the end of the run;
# - the scour run (examples/scour): the upstream reach keeps its bed, the
#   opening between the groynes scours down to the bedrock layer and not
#   through it, the gravel settles downstream, and no gravel is made: the
#   bed loses at most what the jet carries out through the east end.
source "$(dirname "$0")/verify_common.bash" "$@"

dir=$WORK/tracer
mkdir -p "$dir"
cp "$SRC"/examples/channel/* "$dir"/
(cd "$dir" && bash tracer.sh "$QF" </dev/null >screen.txt 2>&1) || {
  tail -20 "$dir/screen.txt" >&2
  fail "tracer.sh: exit status not 0"
}
[ "$(grep -c '^ >hvx terminated' "$dir/screen.txt")" = 2 ] || fail "tracer.sh: both runs must end"
(cd "$dir" && python3 - <<'PY'
import sys
from verify_checks import *
try:
    r = result_file("tracer.res", 3.0, 11, [" CConcentration [mg/m3]"])
    require(r.type == -96, "type %d, expected -96" % r.type)
    xs, _ = r.coordinates()
    times = r.block_times()
    peak, centres = {}, {}
    for b, t in enumerate(times, start=1):
        c = r.block(b)[0]
        lo = min(min(row) for row in c)
        require(lo >= 0.0, "negative concentration %g at %.2f h" % (lo, t))
        peak[b] = max(max(row) for row in c)
        mass = sum(sum(row) for row in c)
        if mass > 0:
            centres[b] = sum(v * xs[i] for row in c for i, v in enumerate(row)) / mass
    # The load runs from 2.0 to 2.11 h; from the block at 2.2 h on the maxima
    # may only fall (the limiter makes no new extremes).
    after = [b for b, t in enumerate(times, start=1) if t > 2.15]
    require(peak[after[0]] > 1.0, "no plume at %.2f h" % times[after[0] - 1])
    for a, b in zip(after, after[1:]):
        require(peak[b] <= peak[a] * (1 + 1e-5),
                "maximum rises from %g to %g at %.2f h" % (peak[a], peak[b], times[b - 1]))
    # The plume travels east with the flow.
    moving = [b for b in after if b in centres and peak[b] > 0.1 * peak[after[0]]]
    require(len(moving) >= 2, "plume seen in %d blocks only" % len(moving))
    for a, b in zip(moving, moving[1:]):
        require(centres[b] > centres[a] + 20.0, "centre %.1f m -> %.1f m" % (centres[a], centres[b]))
    require(peak[len(times)] < 0.01 * max(peak.values()),
            "plume still there at the end: %g" % peak[len(times)])
    print("  tracer: peak %.1f mg/m3, centre %s m" %
          (max(peak.values()), ", ".join("%.0f" % centres[b] for b in moving)))
except CheckFailed as e:
    print("FAIL:", e, file=sys.stderr)
    sys.exit(1)
PY
) || fail "tracer example"

dir=$WORK/scour
mkdir -p "$dir"
cp "$SRC"/examples/scour/* "$dir"/
run_model "$dir" scour.qfx
grep -q "bed changes accelerated by factor" "$dir/screen.txt" || fail "no acceleration note on the screen"
grep -q ">mobile bed" "$dir/screen.txt" || fail "no mobile-bed run note on the screen"
(cd "$dir" && python3 - <<'PY'
import sys
from verify_checks import *
try:
    r = result_file("scour.res", 0.5, 11,
                    [" DFlow Depth [m]", " XX-Velocity [m/s]", " YY-Velocity [m/s]",
                     " BBed Level [m]"])
    require(r.type == -97, "type %d, expected -97 (hot-start kind)" % r.type)
    xs, ys = r.coordinates()
    nb = len(r.block_times())
    z0 = r.block(1)[3]
    last = r.block(nb)
    z1, h1 = last[3], last[0]
    eroded = deposited = 0.0
    deepest = (0.0, None)
    for j in range(r.ny):
        for i in range(r.nx):
            dz = z1[j][i] - z0[j][i]
            require(h1[j][i] >= 0.0, "negative depth at %g, %g" % (xs[i], ys[j]))
            if z0[j][i] > 102.0:  # a groyne
                require(dz == 0.0, "groyne bed changed at %g, %g" % (xs[i], ys[j]))
                continue
            if xs[i] < 80.0:
                require(abs(dz) < 1e-4, "upstream bed changed by %g at %g, %g" % (dz, xs[i], ys[j]))
            # The bedrock at 99.4 m: a node reaching it stops exporting; one
            # step's overshoot at most.
            require(z1[j][i] > 99.4 - 0.005, "bed %g below the bedrock at %g, %g" % (z1[j][i], xs[i], ys[j]))
            if dz < 0:
                eroded -= dz
            else:
                deposited += dz
            if dz < deepest[0]:
                deepest = (dz, (xs[i], ys[j]))
    low = min(z1[j][i] for j in range(r.ny) for i in range(r.nx))
    require(low < 99.41, "the scour did not reach the bedrock: lowest bed %.3f m" % low)
    x, y = deepest[1]
    require(90.0 <= x <= 130.0 and 13.0 <= y <= 27.0,
            "deepest scour at %g, %g, not at the opening" % (x, y))
    lee = max(z1[j][i] - z0[j][i] for j in range(r.ny) for i in range(r.nx) if xs[i] > 105.0)
    require(lee > 0.2, "no deposit downstream of the opening (largest rise %.3f m)" % lee)
    # Cells of 1 m2. The inflow brings no gravel (the approach flow is below
    # the threshold), so the bed can only lose what leaves at the east end.
    net = deposited - eroded
    require(net <= 1e-3 * eroded, "bed volume grew by %.3f m3" % net)
    require(-net < 0.25 * eroded, "%.1f of %.1f m3 eroded lost" % (-net, eroded))
    print("  scour: eroded %.1f m3, deposited %.1f m3, lowest bed %.3f m, deepest at x %.0f m" %
          (eroded, deposited, low, x))
except CheckFailed as e:
    print("FAIL:", e, file=sys.stderr)
    sys.exit(1)
PY
) || fail "scour example"
echo "transport examples: ok"
