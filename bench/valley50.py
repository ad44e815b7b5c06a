"""Coarse version of the valley example (examples/valley) for quick runs.

  python3 valley50.py VALLEY_10M_ASC OUT_DIR [HOURS] [ORDER] [FACTOR]

Block-averages the 10 m terrain FACTOR x FACTOR (default 5: 50 m cells),
ignoring no-data cells (a block without any real cell stays no-data), and
writes OUT_DIR/valley50.asc (ESRI ASCII, same lower-left corner, blocks
counted from the south-west, the last column and row of blocks partly
filled) and OUT_DIR/valley50.qfx: Manning n 0.04, the example's hydrograph
entering through the coarse cells that hold its 20 inflow points (each cell
takes one twentieth of the inflow per point it holds), HOURS of model time
(default 1), first or second order (ORDER 1 or 2), closed edges, results
every 0.25 h.
"""

import sys

# Inflow points of the example (one twentieth of the hydrograph each) and
# the hydrograph in hours / m3/s.
POINTS = [(232620.0 + 10.0 * i, 830505.0 - 10.0 * i) for i in range(20)]
HYDROGRAPH = [(0.0, 0.0), (0.083333, 0.0), (0.166667, 3000.0), (0.333333, 3000.0),
              (1.666667, 0.0), (30.0, 0.0)]


def read_grid(path):
    with open(path) as f:
        head = {}
        for _ in range(6):
            key, value = f.readline().split()
            head[key.lower()] = value
        values = f.read().split()
    nx, ny = int(head["ncols"]), int(head["nrows"])
    if len(values) != nx * ny:
        sys.exit("%s: %d values, expected %d" % (path, len(values), nx * ny))
    return head, nx, ny, values


def average(nx, ny, values, nodata, factor):
    mx, my = (nx + factor - 1) // factor, (ny + factor - 1) // factor
    total = [0.0] * (mx * my)
    count = [0] * (mx * my)
    for r in range(ny):
        south = ny - 1 - r              # rows are stored north first
        base = (south // factor) * mx
        row = values[r * nx:(r + 1) * nx]
        for c in range(nx):
            v = float(row[c])
            if v == nodata:
                continue
            b = base + c // factor
            total[b] += v
            count[b] += 1
    return mx, my, [total[b] / count[b] if count[b] else nodata for b in range(mx * my)]


def main(argv):
    src, out = argv[1], argv[2]
    hours = float(argv[3]) if len(argv) > 3 else 1.0
    order = int(argv[4]) if len(argv) > 4 else 1
    factor = int(argv[5]) if len(argv) > 5 else 5
    head, nx, ny, values = read_grid(src)
    nodata = float(head["nodata_value"])
    x0, y0, size = float(head["xllcorner"]), float(head["yllcorner"]), float(head["cellsize"])
    mx, my, coarse = average(nx, ny, values, nodata, factor)
    cell = size * factor
    with open(out + "/valley50.asc", "w") as f:
        f.write("ncols %d\nnrows %d\nxllcorner %.2f\nyllcorner %.2f\ncellsize %.2f\n"
                "NODATA_value %g\n" % (mx, my, x0, y0, cell, nodata))
        for row in range(my - 1, -1, -1):
            f.write(" ".join("%.3f" % v if v != nodata else "%g" % nodata
                             for v in coarse[row * mx:(row + 1) * mx]) + "\n")
    # Inflow points gathered by coarse cell; the source goes to the cell centre.
    cells = {}
    for x, y in POINTS:
        key = (int((x - x0) // cell), int((y - y0) // cell))
        cells[key] = cells.get(key, 0) + 1
    lines = ["title 'Valley flooding, terrain averaged to %g m'" % cell, ">>global", "   n 0.04",
             ">>grid", "   include 'valley50.asc'", ">>source"]
    for (i, j), n in sorted(cells.items()):
        if coarse[j * mx + i] == nodata:
            sys.exit("inflow cell %d %d holds no terrain" % (i, j))
        lines.append("   discharge **")
        for t, qt in HYDROGRAPH:
            lines.append("      %9.6f %8.2f" % (t, qt * n / len(POINTS)))
        lines.append("   point %.1f %.1f" % (x0 + (i + 0.5) * cell, y0 + (j + 0.5) * cell))
    lines += [">>compute", "   end %g" % hours] + (["   2nd"] if order == 2 else [])
    lines += [">>output", "   to 'valley50.res'", "   interval 0.25", "   plot initial",
              "   max_values 'valley50.max'", ">>"]
    with open(out + "/valley50.qfx", "w") as f:
        f.write("\n".join(lines) + "\n")
    print("%d x %d cells of %g m, %d real; inflow in %d cells" %
          (mx, my, cell, sum(v != nodata for v in coarse), len(cells)))


if __name__ == "__main__":
    main(sys.argv)
