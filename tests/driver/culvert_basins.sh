#!/usr/bin/env bash
# A culvert between two closed basins: the volume that leaves the upper basin
# arrives in the lower one, the culvert's series integrates to that volume,
# and its first discharge is the one of the culvert law (submerged inlet: gate
# flow) for the initial heads. Circular and box sections.
#
# Two basins of 40 m x 40 m (20 x 20 cells of 2 m, bed 100 m) on either side
# of a wall 6 m wide and 6 m high; level 102 m in the west basin, 100.5 m in
# the east one. The culvert runs 8 m from the cell beside the wall in the west
# (x = 38 m) to the one beside it in the east (x = 46 m).
source "$(dirname "$0")/verify_common.bash" "$@"

python3 - "$WORK" <<'PY'
import sys
nx, ny = 43, 20
with open(sys.argv[1] + "/bed.asc", "w") as f:
    f.write("ncols %d\nnrows %d\nxllcenter 0.0\nyllcenter 0.0\ncellsize 2.0\nNODATA_value -9999\n"
            % (nx, ny))
    for j in range(ny):
        f.write(" ".join("106.00" if 20 <= i <= 22 else "100.00" for i in range(nx)) + "\n")
PY

for section in circular box; do
  dir=$WORK/$section
  mkdir -p "$dir"
  cp "$WORK/bed.asc" "$dir"/
  if [ "$section" = circular ]; then
    shape="   diameter 0.5"
  else
    shape=$'   width 0.6\n   height 0.4'
  fi
  cat >"$dir/basins.qfx" <<QFX
title 'culvert between two basins'
>>global
   kst 40
>>grid
   include 'bed.asc'
>>polygon
   waterlevel 102.0
      -1.37   -1.41
      39.13   -1.41
      39.13   39.59
      -1.37   39.59
   /
   waterlevel 100.5
      44.63   -1.41
      85.13   -1.41
      85.13   39.59
      44.63   39.59
   /
>>structure
   culvert 38.0 20.0 46.0 20.0 > culvert.txt
$shape
   kst 70
   inlet_loss 0.5
>>compute
   end 0.1
>>output
   to 'basins.res'
   interval 0.02
   dt_out 0.002
   plot flowdepth
   plot velocity
>>
QFX
  run_model "$dir" basins.qfx
  (cd "$dir" && python3 - "$section" <<'PY'
import math
import sys
from verify_checks import *

section = sys.argv[1]


def rqweir(h1, h2, width, cw):
    hh, hl = max(h1, h2), min(h1, h2)
    if hh <= 0:
        return 0.0
    f = 1.0 if hl <= 0 else 0.0 if hl >= hh else (1 - (hl / hh) ** 3) ** (1 / 3)
    q = 2.95 * cw * width * hh ** 1.5 * f
    return q if h1 > h2 else -q


def rqgate(h1, h2, hup, width, a, cc):
    if a <= 0:
        return 0.0
    if max(h1, h2) < 1.3 * a:
        return rqweir(h1, h2, width, 0.58)
    hh, hl = max(h1, h2), min(h1, h2)
    s = 1.0 if h1 > h2 else -1.0
    f = (1 - (hl / hh) ** 3) ** (1 / 3) if hl > 0 else 1.0
    mu = min(max(a / hup, cc), 1.0)
    a2 = mu * a
    return s * math.sqrt(19.62 * (hh - a2)) * a2 * f * width


def rqculv(hu, hd, width, height, length, kst, loss):
    """Culvert discharge for still water (heads = depths), upstream end first."""
    d = height if height > 0 else width
    rho = hu / d
    hm = (min(hu, d) + max(min(hd, d), d / 2)) / 2
    if height > 0:
        qc = 0.544 * math.sqrt(9.81 * hu ** 3) * width
        if hm < 0.95 * d:
            area, radius, kind = width * hm, width * hm / (2 * hm + width), 0
        else:
            area, radius, kind = width * d, width * d / (2 * (width + d)), 2
    else:
        qc = math.sqrt(9.81 * d ** 5) * (0.6 * hu / d) ** 1.6667
        if hm >= 0.9 * d:
            area, radius, kind = 0.7854 * d * d, d / 4, 2
        else:
            th = math.acos((d / 2 - hm) / (d / 2))
            area = (d / 2) ** 2 * (th - math.sin(th) * math.cos(th))
            radius, kind = area / (d * th), 0
    k = (1 + loss) * 0.051 + length / (kst ** 2 * radius ** (4 / 3))
    qu = area * math.sqrt((hu - hd) / k)
    if rho >= 1.2:
        qg = rqgate(hu, hd, hu, width, d, 0.62) if height > 0 else \
            rqgate(hu, hd, hu, 1.0, d, 0.62) / d * area
        return (qu, kind + 2) if qu <= qg else (qg, 3)
    return (qu, kind + 2) if qu <= qc else (qc, 1)


width, height = (0.5, -1.0) if section == "circular" else (0.6, 0.4)
try:
    r = result_file("basins.res", 0.1, 6, [" DFlow Depth [m]", " VFlow Velocity [m/s]"])
    times = r.block_times()
    west, east, wall = range(0, 20), range(23, 43), range(20, 23)
    v0w, v0e = depth_volume(r, 1, 4.0, west), depth_volume(r, 1, 4.0, east)
    require(abs(v0w - 3200) < 1e-3 and abs(v0e - 800) < 1e-3,
            "initial volumes %.3f and %.3f m3" % (v0w, v0e))
    b = len(times)
    v1w, v1e = depth_volume(r, b, 4.0, west), depth_volume(r, b, 4.0, east)
    require(depth_volume(r, b, 4.0, wall) == 0.0, "water on the wall")
    out, into = v0w - v1w, v1e - v0e
    print("  %s: %.3f m3 left the west basin, %.3f m3 arrived in the east one (difference %.1e m3)"
          % (section, out, into, into - out))
    require(out > 100.0, "only %.3f m3 left the west basin" % out)
    require(abs(into - out) < 1e-4 * out, "%.4f m3 left, %.4f m3 arrived" % (out, into))
    rows = series_file("culvert.txt",
                       "/TIME[H] DISCHARGE[M3/S] TYPE (1:CRIT 2=UNI 3=GATED 4=PRESS)", 45, 3)
    through = sum((y[0] - x[0]) * 3600 * (x[1] + y[1]) / 2 for x, y in zip(rows, rows[1:]))
    through += (times[-1] - rows[-1][0]) * 3600 * rows[-1][1] + rows[0][0] * 3600 * rows[0][1]
    print("  %s: the culvert series (%d lines) integrates to %.3f m3" % (section, len(rows), through))
    require(abs(through / into - 1) < 0.005, "series %.3f m3, basins %.3f m3" % (through, into))
    q0, kind0 = rqculv(2.0, 0.5, width, height, 8.0, 70.0, 0.5)
    print("  %s: first discharge %.3f m3/s, type %d; culvert law %.4f m3/s, type %d"
          % (section, rows[0][1], int(rows[0][2]), q0, kind0))
    require(abs(rows[0][1] / q0 - 1) < 0.01 and int(rows[0][2]) == kind0,
            "first discharge %.3f (type %d), culvert law %.4f (type %d)"
            % (rows[0][1], int(rows[0][2]), q0, kind0))
except CheckFailed as e:
    print("FAIL: %s: %s" % (section, e))
    sys.exit(1)
PY
  ) || fail "culvert between basins ($section)"
done
echo "culvert between basins: ok"
