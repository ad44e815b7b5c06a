"""Verification cases of Quellfax: grids, checks and the results table.

  python3 cases.py grid CASE DIR     writes DIR/bed.asc for the case (and
                                     DIR/start.qfx when it starts moving),
                                     prints its command file and options
  python3 cases.py start CASE DIR    fills the start state into DIR/start.res
  python3 cases.py check CASE DIR    checks the run in DIR, appends its rows
                                     to DIR/../rows.json (one JSON list a line)
  python3 cases.py table OUTDIR      writes OUTDIR/results.md from rows.json

Each case is a command file beside this script (CASES[name]["qfx"], run with
the options in "opts") and a bed grid made here from the published
description of the case. A check gives rows: case, measure, target, value,
pass or fail, and whether it gates the CTest wrappers ("gate": the check
holds today with margin; the others are reported, not enforced).
"""

import json
import math
import os
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "driver"))
from resultfile import ResultFile  # noqa: E402

G = 9.81


def write_grid(path, z, dx, x0=None, y0=None, nodata=None):
    """ESRI grid of z[j, i] (row j = 0 south), cell centres from (x0, y0)."""
    ny, nx = z.shape
    x0 = dx / 2 if x0 is None else x0
    y0 = dx / 2 if y0 is None else y0
    if nodata is not None:
        z = np.where(nodata, -9999.0, z)
    with open(path, "w") as f:
        f.write("ncols %d\nnrows %d\nxllcenter %.4f\nyllcenter %.4f\ncellsize %g\n"
                "NODATA_value -9999\n" % (nx, ny, x0, y0, dx))
        for row in z[::-1]:
            f.write(" ".join("%.4f" % v for v in row) + "\n")


def centres(nx, ny, dx):
    x = (np.arange(nx) + 0.5) * dx
    y = (np.arange(ny) + 0.5) * dx
    return np.meshgrid(x, y)


# ------------------------------------------------------------------ beds
# EA 1: 700 m x 100 m, 10 m cells; a beach rising from 9.0 m at the west
# end to a sill at 10.25 m (x 390..410 m), then a closed depression whose
# floor (9.8 m) lies above the starting level 9.7 m.
def bed_ea1():
    x, _ = centres(70, 10, 10.0)
    z = np.where(x < 400, 9.0 + 1.25 * (x - 5) / 390, 9.8 + 0.45 * ((x - 555) / 150) ** 2)
    z[:, 39:41] = 10.25
    return z, 10.0


# EA 2: 2 km square, 20 m cells; 4 x 4 depressions 0.5 m deep (product of
# two sinusoids) on a plane falling 1:1500 north to south and 1:3000 west to
# east (2 m along the diagonal).
def bed_ea2():
    x, y = centres(100, 100, 20.0)
    dep = np.sin(np.pi * x / 500) ** 2 * np.sin(np.pi * y / 500) ** 2
    return 2.0 + y / 1500 - x / 3000 - 0.5 * dep, 20.0


# EA 3: 300 m x 100 m, 5 m cells: a ramp falling 3 m over 100 m into a
# first depression 0.3 m deep (100..200 m), the obstruction (its east rim at
# 0 m), a second depression 1 m deep (200..300 m).
def ea3_profile(x):
    return np.select([x < 100, x < 200],
                     [3.0 - 3.0 * x / 100, -0.3 * np.sin(np.pi * (x - 100) / 100)],
                     -1.0 * np.sin(np.pi * (x - 200) / 100))


def bed_ea3():
    x, _ = centres(60, 20, 5.0)
    return ea3_profile(x), 5.0


# EA 4: flat plain 1000 m x 2000 m at 0 m, 5 m cells.
def bed_ea4():
    return np.zeros((400, 200)), 5.0


# EA 6A: flume 36 m x 3.6 m, 0.1 m cells. Reservoir west of a gate wall
# (x 6.8..7.0 m) with a 1 m opening on the axis; a building 0.8 m x 0.4 m
# turned 64 degrees off the flume axis, centred at (10.4, 2.1). Walls and
# building are no-data cells (walls to the flow).
EA6_BUILDING = (10.4, 2.1, 0.8, 0.4, math.radians(64.0))


def ea6_solid(x, y):
    gate = (x > 6.8) & (x < 7.0) & (np.abs(y - 1.8) > 0.5)
    cx, cy, ln, wd, a = EA6_BUILDING
    u = (x - cx) * math.cos(a) + (y - cy) * math.sin(a)
    v = -(x - cx) * math.sin(a) + (y - cy) * math.cos(a)
    return gate | ((np.abs(u) < ln / 2) & (np.abs(v) < wd / 2))


def bed_ea6a():
    x, y = centres(360, 36, 0.1)
    return np.zeros_like(x), 0.1, ea6_solid(x, y)


# Uniform flow down a plane (slope 0.001, Manning n 0.05, 1 m deep) turned
# by the angle in degrees against the grid: 2 km square, 10 m cells.
PLANE_U = 1.0 ** (2 / 3) * 0.001 ** 0.5 / 0.05  # Manning's velocity, 0.632 m/s


def bed_plane(angle):
    x, y = centres(200, 200, 10.0)
    a = math.radians(angle)
    return 10.0 - 0.001 * (x * math.cos(a) + y * math.sin(a)), 10.0


def start_plane(angle):
    z, _ = bed_plane(angle)
    a = math.radians(angle)
    return np.ones_like(z), PLANE_U * math.cos(a) + 0 * z, PLANE_U * math.sin(a) + 0 * z


# Thacker's planar surface in a paraboloid: 4 m square of 100 x 100 cells,
# h0 0.1 m, a 1 m, eta 0.5; frictionless (Strickler 1e5).
TH_H0, TH_A, TH_ETA = 0.1, 1.0, 0.5
TH_OMEGA = math.sqrt(2 * G * TH_H0) / TH_A


def bed_thacker():
    x, y = centres(100, 100, 0.04)
    return -TH_H0 * (1 - ((x - 2) ** 2 + (y - 2) ** 2) / TH_A ** 2), 0.04


def thacker_depth(t):
    x, y = centres(100, 100, 0.04)
    z, _ = bed_thacker()
    c, s_ = math.cos(TH_OMEGA * t), math.sin(TH_OMEGA * t)
    eta = TH_ETA * TH_H0 / TH_A ** 2 * (2 * (x - 2) * c + 2 * (y - 2) * s_ - TH_ETA)
    return np.clip(eta - z, 0, None)


def start_thacker():
    h = thacker_depth(0.0)
    return h, 0 * h, np.where(h > 0, TH_ETA * TH_OMEGA, 0.0)


# Transcritical flow over a bump with a standing jump: 25 m x 0.3 m,
# 250 x 3 cells; bed 0.2 - 0.05 (x - 10)^2 between 8 and 12 m.
def bed_bump():
    x, _ = centres(250, 3, 0.1)
    return np.where(np.abs(x - 10) < 2, 0.2 - 0.05 * (x - 10) ** 2, 0.0), 0.1


# Ritter's dam break: 1 km flume, 10 m of water west of the dam at 500 m,
# dry east of it; n cells along, one across.
def bed_ritter(n):
    return np.zeros((1, n)), 1000.0 / n


# MacDonald's steady subcritical flow: 1 km, q 2 m2/s, Manning n 0.033, the
# depth (4/g)^(1/3) (1 + exp(-16 (x/1000 - 1/2)^2) / 2) given, the bed made
# to carry it; 100 x 10 cells of 10 m (a channel wide enough for its side
# walls to matter little).
def macdonald_depth(x):
    return (4 / G) ** (1 / 3) * (1 + 0.5 * np.exp(-16 * (x / 1000 - 0.5) ** 2))


def bed_macdonald():
    q, n = 2.0, 0.033
    s = np.linspace(0, 1000, 100001)
    h = macdonald_depth(s)
    dh = np.gradient(h, s)
    slope = (q * q / (G * h ** 3) - 1) * dh - n * n * q * q / h ** (10 / 3)  # dz/dx
    z = np.concatenate([[0.0], np.cumsum(0.5 * (slope[1:] + slope[:-1]) * np.diff(s))])
    z -= z[-1]  # 0 at the outflow end
    x, _ = centres(100, 10, 10.0)
    return np.interp(x, s, z), 10.0


START_QFX = """title 'start'
>>grid
   include 'bed.asc'
>>compute
   end 0.00001
>>output
   to 'start.res'
   plot initial
>>
"""


def make_grid(case, d):
    c = CASES[case]
    out = c["bed"](*c.get("args", ()))
    z, dx = out[0], out[1]
    write_grid(os.path.join(d, "bed.asc"), z, dx, nodata=out[2] if len(out) > 2 else None)
    if "start" in c:
        with open(os.path.join(d, "start.qfx"), "w") as f:
            f.write(START_QFX)


def make_start(case, d):
    """Puts the case's depth and velocities into the first block of the
    start file the program wrote (flow depth, X- and Y-velocity)."""
    c = CASES[case]
    fields = c["start"](*c.get("args", ()))
    r = ResultFile(os.path.join(d, "start.res"))
    data = bytearray(r.data)
    for j in range(r.ny):
        at = (r.block_record(1, j + 1) - 1) * r.reclen + 4
        vals = np.concatenate([f[j] for f in fields]).astype(np.float32)
        data[at:at + 4 * vals.size] = vals.tobytes()
    with open(os.path.join(d, "start.res"), "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- readers
def mass(d):
    """Rows of the mass-balance file as dicts of floats."""
    path = [f for f in os.listdir(d) if f.endswith(".res.mass")][0]
    with open(os.path.join(d, path)) as f:
        lines = f.read().split("\n")
    keys = lines[0].split()
    return [dict(zip(keys, map(float, l.split()))) for l in lines[1:] if l.strip()]


def gauges(d):
    """Gauge series: {name: (t [h], depth, level, speed)} as arrays."""
    path = [f for f in os.listdir(d) if f.endswith(".gauges.csv")][0]
    with open(os.path.join(d, path)) as f:
        head = f.readline().strip().split(",")
        data = np.array([[float(v) if v else np.nan for v in l.split(",")] for l in f if l.strip()])
    out = {}
    for c in range(1, len(head), 3):
        out[head[c].split()[0]] = (data[:, 0], data[:, c], data[:, c + 1], data[:, c + 2])
    return out


def result(d, name):
    r = ResultFile(os.path.join(d, name))
    return r, r.block_times()


def item(r, b, label):
    """Block b's item as an array [row j (south first), column i]."""
    return np.array(r.item(b, label), dtype=float)


def hydrograph_volume(rows, t_end):
    """Integral [m3] of a table of (hours, m3/s) up to t_end hours."""
    t = np.array([p[0] for p in rows]) * 3600
    q = np.array([p[1] for p in rows])
    te = t_end * 3600
    tt = np.append(t[t < te], te)
    qq = np.interp(tt, t, q)
    return float(np.sum(0.5 * (qq[1:] + qq[:-1]) * np.diff(tt)))


# ----------------------------------------------------------------- checks
# Each returns rows (measure, target, value text, passed, gate); the point
# table rows of the EA tests are marked measure "point".
def row(measure, target, value, passed, gate=False):
    return {"measure": measure, "target": target, "value": value, "pass": bool(passed),
            "gate": gate}


def volume_row(d, table, rel=1e-5, gate=False, budget_gate=True):
    """The water on the grid against the hydrograph's integral up to the
    time of the last balance line (the run ends with the step that passes
    its end time), and against what the run's own budget says came in
    (conservation to rounding)."""
    m = mass(d)[-1]
    want = hydrograph_volume(table, m["time_h"])
    v, inflow = m["volume"], m["boundary_in"] + m["points"] - m["boundary_out"]
    err, own = abs(v / want - 1), abs(v / inflow - 1)
    return [row("volume on the grid = hydrograph", "rel. error < %.0e" % rel,
                "%.2f m3 / %.2f m3 (%.1e)" % (v, want, err), err < rel, gate),
            row("volume on the grid = budget's inflow", "rel. error < 1e-5",
                "%.1e" % own, own < 1e-5, budget_gate)]


def point_rows(d, arrival_depth, names=None):
    """Peak level, peak speed and arrival time at the gauges."""
    out = []
    for name, (t, h, z, s) in gauges(d).items():
        if names and name not in names:
            continue
        wet = np.nonzero(h >= arrival_depth)[0]
        arr = "never" if not len(wet) else (
            "%.3f h" % t[wet[0]] if t[wet[0]] >= 0.1 else "%.1f s" % (3600 * t[wet[0]]))
        out.append({"point": name, "peak level": "%.3f m" % np.nanmax(z),
                    "peak depth": "%.3f m" % np.nanmax(h), "peak speed": "%.3f m/s" % np.nanmax(s),
                    "arrival": arr})
    return out


def speed_limit_row(d, maxfile, h0, gate=True):
    r, _ = result(d, maxfile)
    h = item(r, 1, " FFlowdepth [m]")
    v = item(r, 1, " VFlow Velocity [m/s]")
    vmax = float(v[h > 0.01].max())
    lim = 2 * math.sqrt(G * h0)
    return row("no speed above 2 sqrt(g h0)", "< %.2f m/s" % lim, "%.3f m/s" % vmax,
               vmax < lim, gate)


def check_ea1(d):
    r, times = result(d, "ea1.res")
    z, _ = bed_ea1()
    rows = []
    # High stand (held 1 h .. 10 h): level 10.35 m over the whole plain.
    b = max(i for i, t in enumerate(times, 1) if t <= 10.0 + 1e-6)
    lev = item(r, b, " WWater Level [m]")
    dev = float(np.abs(lev - 10.35).max())
    rows.append(row("level at 10 h (high stand)", "10.35 m, flat within 0.005 m",
                    "%.4f .. %.4f m" % (lev.min(), lev.max()), dev < 0.005))
    # After the drawdown the depression (east of the sill) keeps the water
    # below the sill; a film up to the dry depth (0.02 m) may stay on it.
    h = item(r, len(times), " DFlow Depth [m]")
    east = np.s_[:, 41:]
    got = float(h[east].sum()) * 100.0
    level = float((z[east] + h[east]).mean())
    from_vol = level_for_volume(z[east], got, 100.0)
    rows.append(row("level in the depression at 20 h", "10.25 m .. 10.25 m + hdry + 0.005 m",
                    "%.4f m" % level, 10.25 <= level <= 10.275))
    rows.append(row("that level from the pond's volume", "within 0.002 m",
                    "%.4f m (%.0f m3)" % (from_vol, got), abs(from_vol - level) < 0.002, True))
    return rows, point_rows(d, 0.01)


EA2_INFLOW = [(0.0, 0.0), (0.416667, 20.0), (1.416667, 0.0), (48.0, 0.0)]  # as in ea2.qfx


def level_for_volume(z, vol, area):
    """Level whose water over the cells z [m] holds vol [m3]."""
    lo, hi = float(z.min()), float(z.max()) + 10
    for _ in range(60):
        mid = 0.5 * (lo + hi)
        (lo, hi) = (mid, hi) if np.clip(mid - z, 0, None).sum() * area < vol else (lo, mid)
    return 0.5 * (lo + hi)


def check_ea2(d):
    r, times = result(d, "ea2.res")
    z, dx = bed_ea2()
    rows = volume_row(d, EA2_INFLOW, gate=True)
    h = item(r, len(times), " DFlow Depth [m]")
    v = item(r, len(times), " VFlow Velocity [m/s]")
    pond = h > 0.05
    rows.append(row("largest speed in the ponds at 48 h", "< 0.01 m/s (settled)",
                    "%.2e m/s" % v[pond].max(), v[pond].max() < 0.01))
    # Each depression (a 500 m block) holds a flat pond; its level is the
    # one its volume fills in the block's bed.
    worst, ponds = 0.0, []
    for bj in range(4):
        for bi in range(4):
            blk = np.s_[25 * bj:25 * bj + 25, 25 * bi:25 * bi + 25]
            if not pond[blk].any():
                continue
            lev = (z[blk] + h[blk])[pond[blk]]
            worst = max(worst, float(lev.max() - lev.min()))
            vol = float(h[blk][pond[blk]].sum()) * dx * dx
            ponds.append("D%d%d %.3f m (%.0f m3)" % (bj + 1, bi + 1, lev.mean(), vol))
    rows.append(row("ponds flat (level range)", "< 0.01 m",
                    "%.4f m; %s" % (worst, ", ".join(ponds)), worst < 0.01))
    return rows, []


# The table as ea3.qfx gives it (its hours rounded to 6 decimals: 1,500.012 m3).
EA3_INFLOW = [(0.0, 0.0), (0.006944, 60.0), (0.013889, 0.0), (1.0, 0.0)]


def check_ea3(d):
    r, times = result(d, "ea3.res")
    z, _ = bed_ea3()
    want = hydrograph_volume(EA3_INFLOW, 1.0)
    h = item(r, len(times), " DFlow Depth [m]")
    over = float(h[:, 40:].sum()) * 25.0  # east of the obstruction's crest (x 200 m)
    # Held still, the first depression would keep it all: its room below the
    # crest is larger than the inflow.
    room = float(np.clip(z[:, 39:41].max() - z[:, 20:40], 0, None).sum()) * 25.0
    return volume_row(d, EA3_INFLOW, gate=True) + [
        row("water carried over the obstruction", "> 1 %% of the inflow (room before it %.0f m3)"
            % room, "%.0f m3 (%.1f %%)" % (over, 100 * over / want), over > 0.01 * want)], \
        point_rows(d, 0.01)


EA4_INFLOW = [(0.0, 0.0), (1.0, 20.0), (3.0, 20.0), (6.0, 0.0)]


def check_ea4(d):
    rows = volume_row(d, EA4_INFLOW)
    g = gauges(d)
    r, _ = result(d, "ea4.max")
    rows.append(speed_limit_row(d, "ea4.max", float(item(r, 1, " FFlowdepth [m]").max())))

    def arrival(name):
        t, h = g[name][0], g[name][1]
        wet = np.nonzero(h >= 0.05)[0]
        return t[wet[0]] if len(wet) else float("nan")

    # The flood spreads radially: a point on the diagonal is reached when the
    # point on the axis at the same distance from the breach is.
    for ax, dg in (("P3", "D3"), ("P4", "D4")):
        ta, td = arrival(ax), arrival(dg)
        ha, hd = np.nanmax(g[ax][1]), np.nanmax(g[dg][1])
        rows.append(row("arrival %s (axis) vs %s (diagonal)" % (ax, dg), "within 10 %",
                        "%.3f h / %.3f h" % (ta, td), abs(td / ta - 1) < 0.1, True))
        rows.append(row("peak depth %s vs %s" % (ax, dg), "within 5 %",
                        "%.3f m / %.3f m" % (ha, hd), abs(hd / ha - 1) < 0.05, True))
    return rows, point_rows(d, 0.05)


def check_ea6a(d):
    m = mass(d)
    drift = abs(m[-1]["volume"] / m[0]["volume"] - 1)
    rows = [row("volume in the closed flume", "drift < 1e-5", "%.1e" % drift, drift < 1e-5, True),
            speed_limit_row(d, "ea6a.max", 0.4, False)]
    return rows, point_rows(d, 0.03)


# EA 5 (examples/valley): 20 inflow points, 3000 m3/s at the peak.
VALLEY_INFLOW = [(0, 0), (300 / 3600, 0), (600 / 3600, 3000), (1200 / 3600, 3000),
                 (6000 / 3600, 0), (30, 0)]


def check_valley(d):
    return volume_row(d, VALLEY_INFLOW), point_rows(d, 0.1)


def last_state(d, name):
    """Time [s] of the last block, depth and x and y velocities there."""
    r, times = result(d, name)
    b = len(times)
    return (times[-1] * 3600, item(r, b, " DFlow Depth [m]"), item(r, b, " XX-Velocity [m/s]"),
            item(r, b, " YY-Velocity [m/s]"))


def plane_speed(d):
    _, _, u, v = last_state(d, "plane.res")
    return float(np.hypot(u, v)[90:110, 90:110].mean())


def check_plane(d, angle):
    sp = plane_speed(d)
    rows = [row("speed in the middle after 3 min", "%.3f m/s within 1 %%" % PLANE_U,
                "%.4f m/s (%+.1f %%)" % (sp, 100 * (sp / PLANE_U - 1)),
                abs(sp / PLANE_U - 1) < 0.01, angle == 0)]
    aligned = os.path.join(os.path.dirname(os.path.abspath(d)), "plane0")
    if angle and os.path.exists(os.path.join(aligned, "plane.res")):
        s0 = plane_speed(aligned)
        rows.append(row("against the plane aligned with the grid", "within 1 %",
                        "%.4f / %.4f m/s" % (sp, s0), abs(sp / s0 - 1) < 0.01))
    return rows, []


def steps(d):
    for l in open(os.path.join(d, "screen.txt")):
        if "water balance" in l and " steps" in l:
            return int(l.split(" after ")[1].split()[0])
    return 0


def check_thacker(d, second):
    t, h, u, v = last_state(d, "thacker.res")
    he = thacker_depth(t)
    l1 = float(np.abs(h - he).sum() / he.sum())
    hdry = 0.0001 if second else 0.02
    fast = float(np.hypot(u, v)[h > hdry].max())
    lim = 0.05 if second else 0.15
    rows = [row("L1 of depth after 3 periods", "< %.0f %%" % (100 * lim), "%.1f %%" % (100 * l1),
                l1 < lim),
            row("fastest wet node at 3 periods", "< 1.4 m/s (exact %.2f)" % (TH_ETA * TH_OMEGA),
                "%.3f m/s" % fast, fast < 1.4, not second)]
    if not second:
        n = steps(d)
        rows.append(row("steps for 3 periods", "< 2000", "%d" % n, 0 < n < 2000, True))
    return rows, []


def check_bump(d):
    t, h, u, v = last_state(d, "bump.res")
    q = float((h * u)[:, 200].mean())
    vmax = float(np.abs(v).max())
    return [row("discharge at 20 m after %.0f s" % t, "0.18 m2/s within 2 %", "%.4f m2/s" % q,
                abs(q / 0.18 - 1) < 0.02),
            row("largest transverse speed", "< 1e-3 m/s", "%.1e m/s" % vmax, vmax < 1e-3, True)], []


def ritter_front(d):
    t, h, _, _ = last_state(d, "ritter.res")
    n = h.shape[1]
    wet = np.nonzero(h[0] > 0.001)[0]
    front = (wet[-1] + 1) * 1000.0 / n
    return t, 500.0 + 2 * math.sqrt(G * 10.0) * t - front


def check_ritter(d, n, coarse_case="ritter200"):
    t, err = ritter_front(d)
    rows = [row("front behind the exact one at %.1f s" % t, "(reported)", "%.1f m" % err, True),
            speed_limit_row(d, "ritter.max", 10.0)]
    coarse = os.path.join(os.path.dirname(os.path.abspath(d)), coarse_case)
    if n > 200 and os.path.exists(os.path.join(coarse, "ritter.res")):
        _, e0 = ritter_front(coarse)
        rows.append(row("front error shrinking, 200 -> %d cells" % n, "smaller",
                        "%.1f m -> %.1f m" % (e0, err), abs(err) < abs(e0), True))
    return rows, []


def check_macdonald(d):
    t, h, u, _ = last_state(d, "macdonald.res")
    x, _ = centres(100, 10, 10.0)
    he = macdonald_depth(x)
    inner = np.s_[:, 2:-2]  # the boundary cells aside
    l1 = float(np.abs(h - he)[inner].sum() / he[inner].sum())
    q = float((h * u)[:, 50].mean())
    return [row("L1 of depth at %.1f h, boundary cells aside" % (t / 3600), "< 1 %",
                "%.2f %%" % (100 * l1), l1 < 0.01),
            row("discharge at 500 m", "2.0 m2/s within 1 %", "%.4f m2/s" % q,
                abs(q / 2 - 1) < 0.01)], []


CASES = {
    "ea1": {"qfx": "ea1.qfx", "bed": bed_ea1, "check": check_ea1,
            "title": "EA 1: flooding a disconnected water body"},
    "ea2": {"qfx": "ea2.qfx", "bed": bed_ea2, "check": check_ea2,
            "title": "EA 2: filling floodplain depressions"},
    "ea3": {"qfx": "ea3.qfx", "bed": bed_ea3, "check": check_ea3,
            "title": "EA 3: momentum over an obstruction"},
    "ea4": {"qfx": "ea4.qfx", "bed": bed_ea4, "check": check_ea4,
            "title": "EA 4: flood propagation over an extended plain"},
    "ea6a": {"qfx": "ea6a.qfx", "opts": ["@thin"], "bed": bed_ea6a, "check": check_ea6a,
             "gate_end": False, "title": "EA 6A: dam break past a building, hdry 0.001"},
    "ea6a_dry": {"qfx": "ea6a.qfx", "bed": bed_ea6a, "check": check_ea6a,
                 "title": "EA 6A, default hdry 0.02"},
}
CASES["valley"] = {"check": check_valley, "title": "EA 5: valley (examples/valley)"}
for _a in (0, 30, 45):
    CASES["plane%d" % _a] = {"qfx": "plane.qfx", "bed": bed_plane, "start": start_plane,
                             "args": (_a,), "check": lambda d, a=_a: check_plane(d, a),
                             "title": "Plane at %d degrees (Manning)" % _a}
CASES["thacker1"] = {"qfx": "thacker.qfx", "bed": bed_thacker, "start": start_thacker,
                     "check": lambda d: check_thacker(d, False),
                     "title": "Thacker planar bowl, 1st order, hdry 0.02"}
CASES["thacker2"] = {"qfx": "thacker.qfx", "opts": ["@second"], "bed": bed_thacker,
                     "start": start_thacker, "check": lambda d: check_thacker(d, True),
                     "title": "Thacker planar bowl, 2nd order, hdry 0.0001"}
CASES["bump"] = {"qfx": "bump.qfx", "bed": bed_bump, "check": check_bump,
                 "title": "Bump with a standing jump, 250 x 3"}
CASES["bump2"] = {"qfx": "bump.qfx", "opts": ["@second"], "bed": bed_bump, "check": check_bump,
                  "title": "Bump with a standing jump, 250 x 3, 2nd order"}
CASES["macdonald"] = {"qfx": "macdonald.qfx", "bed": bed_macdonald, "check": check_macdonald,
                      "title": "MacDonald, subcritical, 100 x 10"}
for _n in (200, 2000):
    CASES["ritter%d" % _n] = {"qfx": "ritter.qfx", "opts": ["@thin"], "bed": bed_ritter,
                              "args": (_n,), "check": lambda d, n=_n: check_ritter(d, n),
                              "title": "Ritter, %d cells, hdry 0.001" % _n}
    CASES["ritter%dd" % _n] = {"qfx": "ritter.qfx", "bed": bed_ritter, "args": (_n,),
                               "check": lambda d, n=_n: check_ritter(d, n, "ritter200d"),
                               "title": "Ritter, %d cells, default hdry 0.02" % _n}


# ------------------------------------------------------------------ table
TITLES = {"swashes": "Analytic cases (flow-step tests)"}


def append_rows(outdir, case, rows, points):
    with open(os.path.join(outdir, "rows.json"), "a") as f:
        f.write(json.dumps({"case": case, "rows": rows, "points": points}) + "\n")


def check(case, d):
    c = CASES[case]
    rows = []
    screen = os.path.join(d, "screen.txt")
    if os.path.exists(screen) and " >hvx terminated" not in open(screen).read():
        rows.append(row("run reaches its end", "ends normally", open(screen).read().strip()
                        .split("\n")[-1].strip(), False, c.get("gate_end", True)))
    try:
        more, points = c["check"](d)
        rows += more
    except Exception as e:  # a missing or broken file fails the case, with its reason
        rows, points = rows + [row("results readable", "all files whole", str(e), False,
                                   c.get("gate_end", True))], []
    append_rows(os.path.dirname(os.path.abspath(d)), case, rows, points)
    bad = [r for r in rows if r["gate"] and not r["pass"]]
    for r in rows:
        print("  %-5s %s: %s (%s)%s" % ("ok" if r["pass"] else "FAILS", r["measure"], r["value"],
                                      r["target"], "" if r["gate"] or r["pass"] else " [reported]"))
    return 1 if bad else 0


def table(outdir):
    runs = {}
    if os.path.exists(os.path.join(outdir, "times.txt")):
        for l in open(os.path.join(outdir, "times.txt")):
            c, s = l.split()
            runs[c] = float(s)
    entries = [json.loads(l) for l in open(os.path.join(outdir, "rows.json"))]
    out = ["| case | measure | target | value | result | run time |",
           "|---|---|---|---|---|---|"]
    pts = ["| case | point | peak level | peak depth | peak speed | arrival |",
           "|---|---|---|---|---|---|"]
    for e in entries:
        title = CASES[e["case"]]["title"] if e["case"] in CASES else TITLES.get(e["case"], e["case"])
        for n, r in enumerate(e["rows"]):
            rt = "%.1f s" % runs[e["case"]] if n == 0 and e["case"] in runs else ""
            out.append("| %s | %s | %s | %s | %s | %s |" % (
                title if n == 0 else "", r["measure"], r["target"], r["value"],
                "pass" if r["pass"] else "fails", rt))
        for p in e["points"]:
            pts.append("| %s | %s | %s | %s | %s | %s |" % (
                title, p["point"], p["peak level"], p["peak depth"], p["peak speed"], p["arrival"]))
    with open(os.path.join(outdir, "results.md"), "w") as f:
        f.write("\n".join(out) + "\n")
        if len(pts) > 2:
            f.write("\n" + "\n".join(pts) + "\n")


if __name__ == "__main__":
    cmd, arg = sys.argv[1], sys.argv[2]
    if cmd == "grid":
        make_grid(arg, sys.argv[3])
        print(" ".join([CASES[arg]["qfx"]] + CASES[arg].get("opts", [])))
    elif cmd == "start":
        make_start(arg, sys.argv[3])
    elif cmd == "check":
        sys.exit(check(arg, sys.argv[3]))
    elif cmd == "table":
        table(arg)
    elif cmd == "list":
        print(" ".join(c for c in CASES if c != "valley"))
