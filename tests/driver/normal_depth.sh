#!/usr/bin/env bash
# Steady uniform flow down an inclined channel: an inflow boundary upstream and
# a normal-flow (slope) boundary downstream. The depth in the middle of the
# channel settles at the Manning normal depth: first order, second order, and
# first order and second order with local time steps ("steady", default
# Courant number), which stop once the flow has settled.
#
# Channel 1000 m long and 200 m wide (100 x 20 cells of 10 m), bed slope
# 0.001, Strickler 30, 200 m3/s. The channel lies between two rows of bank
# cells 3 m high, so that the boundary polygons take only the channel's own
# cells of the west and east edges (a polygon over a corner cell would also
# open that cell's south or north face). The model puts the friction of the
# side walls into the wetted-area factor of the cells beside them, so the
# reference is Manning's formula with the hydraulic radius A/P of the
# rectangular section; the wide-channel depth (R = h) lies 0.4 % lower.
source "$(dirname "$0")/verify_common.bash" "$@"

python3 - "$WORK" <<'PY'
import sys
nx, ny, dx, slope = 100, 22, 10.0, 0.001
with open(sys.argv[1] + "/bed.asc", "w") as f:
    f.write("ncols %d\nnrows %d\nxllcenter 0.0\nyllcenter 0.0\ncellsize %.1f\nNODATA_value -9999\n"
            % (nx, ny, dx))
    for j in range(ny):                       # the first line is the north row
        bank = 3.0 if j in (0, ny - 1) else 0.0
        f.write(" ".join("%.4f" % (100.0 - slope * dx * i + bank) for i in range(nx)) + "\n")
PY

for order in first second steady steady2; do
  dir=$WORK/$order
  mkdir -p "$dir"
  cp "$WORK/bed.asc" "$dir"/
  {
    cat <<'QFX'
title 'uniform flow down a channel'
>>global
   kst 30
>>grid
   include 'bed.asc'
>>polygon
/ a first guess of the depth in the channel rows
   flowdepth 1.0
      -6.37    3.59
    1006.63    3.59
    1006.63  206.41
      -6.37  206.41
   /
>>boundary
   inflow 200.0
   uniform_slope 0.001
   location
      -6.37    3.59
       3.13    3.59
       3.13  206.41
      -6.37  206.41
   /
   slope 0.001
   location
     986.63    3.59
     996.63    3.59
     996.63  206.41
     986.63  206.41
   /
>>compute
   end 1.5
QFX
    [ "$order" = second ] || [ "$order" = steady2 ] && echo "   2nd"
    [ "${order#steady}" != "$order" ] && printf '   steady\n'
    cat <<'QFX'
>>output
   to 'uniform.res'
   interval 0.25
   plot flowdepth
   plot velocity
>>
QFX
  } >"$dir/uniform.qfx"
  run_model "$dir" uniform.qfx
  (cd "$dir" && python3 - "$order" <<'PY'
import sys
from verify_checks import *

Q, B, S, kst = 200.0, 200.0, 0.001, 30.0


def normal_depth(radius):
    """Depth at which kst A R^(2/3) S^(1/2) carries Q (bisection)."""
    lo, hi = 0.01, 20.0
    for _ in range(200):
        h = (lo + hi) / 2
        if kst * B * h * radius(h) ** (2.0 / 3.0) * S ** 0.5 > Q:
            hi = h
        else:
            lo = h
    return h


order = sys.argv[1]
hn = normal_depth(lambda h: B * h / (B + 2 * h))
hw = normal_depth(lambda h: h)
try:
    labels = [" DFlow Depth [m]", " VFlow Velocity [m/s]"]
    if order.startswith("steady"):
        # Local steps stop the run once the flow has settled (change rate
        # below 0.001), well before the end.
        r = ResultFile("uniform.res")
        require(not r.check_blocks() and r.labels[1:] == labels, "uniform.res blocks or items")
        stop = r.block_times()[-1]
        require(0.25 < stop < 1.4, "steady run stopped at %.3f h" % stop)
        print("  %s: settled at %.3f h" % (order, stop))
    else:
        r = result_file("uniform.res", 1.5, 7, labels)
    times = r.block_times()
    rows = range(1, 21)                      # the channel rows; 0 and 21 are banks

    def section(b, i):
        h = r.block(b)
        depth = sum(h[0][j][i] for j in rows) / len(rows)
        flow = sum(h[0][j][i] * h[1][j][i] for j in rows) * 10.0
        return depth, flow

    last = len(times)
    mid, flow = section(last, 50)            # x = 500 m
    print("  %s: depth at 500 m %.4f m, normal depth %.4f m (wide channel %.4f m), "
          "error %+.2f %%, discharge %.2f m3/s" % (order, mid, hn, hw, 100 * (mid / hn - 1), flow))
    require(abs(mid / hn - 1) < 0.01, "depth %.4f m, normal depth %.4f m" % (mid, hn))
    require(abs(flow / Q - 1) < 0.01, "discharge %.2f m3/s through the middle" % flow)
    # Settled: unchanged over the last quarter of an hour; the steady run
    # since the block before its stop, within what its stop test lets through
    # (a change rate of 0.001 m/s summed over 2000 nodes).
    steady = order.startswith("steady")
    before, _ = section(last - 1 if steady else last - 2, 50)
    require(abs(mid - before) < (1e-3 if steady else 1e-4) * mid, "depth still changing: %.5f -> %.5f" % (before, mid))
    # Uniform: the water surface runs parallel to the bed over the middle reach.
    d3, _ = section(last, 30)
    d7, _ = section(last, 70)
    require(abs(d3 - d7) < 0.005 * hn, "depth %.4f m at 300 m, %.4f m at 700 m" % (d3, d7))
except CheckFailed as e:
    print("FAIL: %s: %s" % (order, e))
    sys.exit(1)
PY
  ) || fail "normal depth ($order)"
done
echo "normal depth: ok"
