#!/usr/bin/env python3
"""What sets the time step of a run.

Reads the lines " >dt step time dt dt_courant i j h |u| |v| c dry" that
`QF_DT_LOG=1 quellfax -q run.qfx 2> dt.log` writes for every flow step (the
node whose Courant condition set the step, in the state the step started
from; i, j counted from the first real cell) and prints per stretch of model
time the steps and their mean length, how many were set by the inflows or the
growth limit rather than a node, and for the steps a node set: its depth, its
dry neighbours, and its wave speeds s = |u| + |v| + 2 sqrt(g h) (the step is
cfl dx / s on square cells); then the nodes that set the
most steps.

    python3 bench/dt_limits.py dt.log [hours per stretch] [thin depth, m]
"""
import collections
import statistics
import sys


def main():
    path = sys.argv[1]
    stretch = float(sys.argv[2]) if len(sys.argv) > 2 else 1.0
    thin = float(sys.argv[3]) if len(sys.argv) > 3 else 0.05
    rows = []
    for line in open(path):
        if not line.startswith(" >dt "):
            continue
        v = line.split()[1:]
        step, t, dt, dtc = int(v[0]), float(v[1]), float(v[2]), float(v[3])
        i, j, h, u, w, c, dry = int(v[4]), int(v[5]), float(v[6]), float(v[7]), float(v[8]), \
            float(v[9]), int(v[10])
        rows.append((step, t, dt, dtc, i, j, h, u, w, c, dry))
    if not rows:
        sys.exit("no ' >dt' lines in " + path)
    print(f"{len(rows)} steps to {rows[-1][1]:.2f} h; thin: depth below {thin} m")
    print("hours        steps  mean dt  by node  thin  beside dry  median h  median s  "
          "largest s (h, dry neighbours), s = |u| + |v| + 2 sqrt(g h)")
    groups = collections.defaultdict(list)
    for r in rows:
        groups[int(r[1] / stretch)].append(r)
    for g in sorted(groups):
        rs = groups[g]
        node = [r for r in rs if r[3] > 0 and r[2] >= r[3] * (1 - 1e-5)]
        thin_n = sum(1 for r in node if r[6] < thin)
        edge = sum(1 for r in node if r[10] > 0)
        speed = [r[7] + r[8] + 2 * r[9] for r in node]
        if node:
            top = max(node, key=lambda r: r[7] + r[8] + 2 * r[9])
            fast = f"{top[7] + top[8] + 2 * top[9]:.2f} m/s ({top[6]:.4f} m, {top[10]})"
            med_h = f"{statistics.median(r[6] for r in node):.3f}"
            med_s = f"{statistics.median(speed):.2f}"
        else:
            fast, med_h, med_s = "-", "-", "-"
        mean_dt = sum(r[2] for r in rs) / len(rs)
        print(f"{g * stretch:5.1f}-{(g + 1) * stretch:<5.1f} {len(rs):7d} {mean_dt:8.3f} "
              f"{len(node):8d} {thin_n:5d} {edge:11d} {med_h:>9} {med_s:>9}  {fast}")
    node = [r for r in rows if r[3] > 0 and r[2] >= r[3] * (1 - 1e-5)]
    count = collections.Counter((r[4], r[5]) for r in node)
    print("nodes that set the most steps (cell column, row): steps, median depth, "
          "median |u| and |v|, sqrt(g h), dry neighbours, hours")
    for (i, j), n in count.most_common(12):
        rs = [r for r in node if (r[4], r[5]) == (i, j)]
        print(f"  ({i}, {j}): {n} steps, h {statistics.median(r[6] for r in rs):.4f} m, "
              f"|u| {statistics.median(r[7] for r in rs):.2f}, "
              f"|v| {statistics.median(r[8] for r in rs):.2f} m/s, "
              f"c {statistics.median(r[9] for r in rs):.2f} m/s, "
              f"dry {statistics.median(r[10] for r in rs):.0f}, "
              f"{rs[0][1]:.2f}-{rs[-1][1]:.2f} h")


if __name__ == "__main__":
    main()
