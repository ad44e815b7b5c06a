"""Figures of a valley50 run: python3 valley50_check.py RESULT_FILE [HDRY]

Prints per result block the time, the wet cells, the smallest depth of any
real cell, the largest speed and the cell where it occurs, and the number of
wet cells faster than 10 m/s. Exit status 1 if a depth is negative.
"""

import math
import sys

from resultfile import ResultFile


def main(argv):
    r = ResultFile(argv[1])
    hdry = float(argv[2]) if len(argv) > 2 else 0.02
    nx = r.nx
    negative = False
    print("  time [h]    wet  min depth [m]  max depth [m]  max speed [m/s] at (i, j)  >10 m/s")
    for b, t in enumerate(r.block_times(), 1):
        rows = r.block(b)        # depth, x and y velocity, rows south first
        h, u, v = ([x for row in rows[n] for x in row] for n in range(3))
        wet = fast = 0
        vmax, where = 0.0, (0, 0)
        hmin = min(h)
        for k, d in enumerate(h):
            if d < hdry:
                continue
            wet += 1
            s = math.hypot(u[k], v[k])
            if s > 10.0:
                fast += 1
            if s > vmax:
                vmax, where = s, (k % nx + 1, k // nx + 1)
        negative = negative or hmin < 0.0
        print("%10.4f %6d %14.6f %14.3f %16.3f %12s %8d" %
              (t, wet, hmin, max(h), vmax, "(%d, %d)" % where, fast))
    return 1 if negative else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
