"""Checks of the files a run leaves behind, shared by the verification scripts.

Each check raises CheckFailed with a plain message; the scripts turn that into
a failing exit status.
"""

import math
import os

from resultfile import ResultFile


class CheckFailed(Exception):
    pass


def require(cond, msg):
    if not cond:
        raise CheckFailed(msg)


def result_file(path, end_time, min_blocks, labels=None):
    """A result file whose blocks are all whole, the last one at the end time."""
    require(os.path.isfile(path), "%s missing" % path)
    r = ResultFile(path)
    problems = r.check_blocks()
    require(not problems, "%s: %s" % (path, "; ".join(problems)))
    times = r.block_times()
    require(len(times) >= min_blocks, "%s: %d blocks, expected at least %d" %
            (path, len(times), min_blocks))
    require(times[0] <= times[-1], "%s: block times not increasing" % path)
    # The run stops in the step that reaches the end time.
    require(end_time <= times[-1] < end_time + 0.01 * max(end_time, 0.01) + 0.001,
            "%s: last block at %.5f h, end time %.5f h" % (path, times[-1], end_time))
    if labels is not None:
        require(r.labels[1:] == labels, "%s: items %r, expected %r" % (path, r.labels[1:], labels))
    return r


def esri_grid(path, nx, ny, x_origin, y_origin, cellsize):
    """An ESRI ASCII grid of the model size: six header lines and ny rows of nx
    values in fields of 8 characters; returns the rows (north first)."""
    require(os.path.isfile(path), "%s missing" % path)
    with open(path) as f:
        lines = f.read().splitlines()
    require(len(lines) == 6 + ny, "%s: %d lines, expected %d" % (path, len(lines), 6 + ny))
    head = [l.split() for l in lines[:6]]
    keys = [h[0] for h in head]
    require(keys == ["ncols", "nrows", "xllcorner", "yllcorner", "cellsize", "NODATA_value"],
            "%s: header keys %r" % (path, keys))
    require(int(head[0][1]) == nx and int(head[1][1]) == ny,
            "%s: size %s x %s, expected %d x %d" % (path, head[0][1], head[1][1], nx, ny))
    require(abs(float(head[2][1]) - x_origin) < 0.01 and abs(float(head[3][1]) - y_origin) < 0.01,
            "%s: origin %s %s" % (path, head[2][1], head[3][1]))
    require(abs(float(head[4][1]) - cellsize) < 1e-4, "%s: cellsize %s" % (path, head[4][1]))
    rows = []
    for n, line in enumerate(lines[6:], start=7):
        require(len(line) == 8 * nx, "%s line %d: %d characters, expected %d" %
                (path, n, len(line), 8 * nx))
        vals = [float(line[8 * i:8 * i + 8]) for i in range(nx)]
        require(all(math.isfinite(v) for v in vals), "%s line %d: value not finite" % (path, n))
        rows.append(vals)
    return rows


def series_file(path, header, min_lines, columns):
    """A time-series file: the header line, then at least min_lines lines of
    numbers with times not decreasing; returns the rows of numbers."""
    require(os.path.isfile(path), "%s missing" % path)
    with open(path) as f:
        lines = f.read().splitlines()
    require(lines and lines[0].rstrip() == header, "%s: header %r" % (path, lines[:1]))
    rows = []
    for n, line in enumerate(lines[1:], start=2):
        parts = line.split()
        require(len(parts) == columns, "%s line %d: %r" % (path, n, line))
        rows.append([float(p) for p in parts])
    require(len(rows) >= min_lines, "%s: %d lines, expected at least %d" %
            (path, len(rows), min_lines))
    for a, b in zip(rows, rows[1:]):
        require(b[0] >= a[0], "%s: time %g after %g" % (path, b[0], a[0]))
    return rows


def depth_volume(r, block, cell_area, columns=None):
    """Water volume of a block, summed in double from the depths (first item)."""
    h = r.block(block)[0]
    cols = range(r.nx) if columns is None else columns
    return sum(row[i] for row in h for i in cols) * cell_area
