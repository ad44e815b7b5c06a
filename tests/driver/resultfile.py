"""Reader of Quellfax result files and max-value files (direct-access records).

The reference of the layout is the program's own module model/resultfile.h
(its writers and its ResultReader); this reader follows it for the scripts.

Layout, in the machine's native byte order, every record RL bytes long:
  record 1   int32 type, int32 RL, int32 nx, int32 ny, int32 layers,
             int32 header records, 64-character title, float64 x origin,
             float64 y origin
  record 2   int32 item count n, then n + 1 labels of 32 characters
             ("Time[h]" and one per item)
  records 3 .. 2 + 2 ny   coordinate records (x, then y, one per grid row)
  blocks     from record 3 + 2 ny on, ny records each: float32 time, then
             for every item the nx values of the grid row (south row first)
  end marker the first record of the block after the last one holds a time
             not above -98 (-99.0)

Used by the verification scripts; also a small command-line tool:
  python3 resultfile.py FILE            header and block times
  python3 resultfile.py --check FILE    exit 1 unless every block is whole
"""

import math
import os
import struct
import sys

END_LIMIT = -98.0


class ResultFileError(Exception):
    pass


class ResultFile:
    def __init__(self, path):
        self.path = path
        with open(path, "rb") as f:
            self.data = f.read()
        if len(self.data) < 104:
            raise ResultFileError("%s: %d bytes, no header record" % (path, len(self.data)))
        (self.type, self.reclen, self.nx, self.ny, self.layers,
         self.header_records) = struct.unpack_from("=6i", self.data, 0)
        self.title = self.data[24:88].decode("latin-1").rstrip()
        self.x_origin, self.y_origin = struct.unpack_from("=2d", self.data, 88)
        if self.reclen < 104 or self.nx < 1 or self.ny < 1:
            raise ResultFileError("%s: implausible header %r" %
                                  (path, (self.type, self.reclen, self.nx, self.ny)))
        rec2 = self.record(2)
        if rec2 is None:
            raise ResultFileError("%s: no label record" % path)
        (self.n,) = struct.unpack_from("=i", rec2, 0)
        if self.n < 0 or 4 + 32 * (self.n + 1) > self.reclen or 4 * (1 + self.n * self.nx) > self.reclen:
            raise ResultFileError("%s: implausible item count %d" % (path, self.n))
        self.labels = [rec2[4 + 32 * i:4 + 32 * (i + 1)].decode("latin-1").rstrip()
                       for i in range(self.n + 1)]
        self.first_block = self.header_records + 2 * self.ny + 1

    # Whole records in the file.
    def records(self):
        return len(self.data) // self.reclen

    def record(self, n):
        """Bytes of record n (1-based), or None when it lies beyond the end."""
        start = (n - 1) * self.reclen
        if n < 1 or start + self.reclen > len(self.data):
            return None
        return self.data[start:start + self.reclen]

    def floats(self, n, count):
        rec = self.record(n)
        if rec is None:
            return None
        return struct.unpack_from("=%df" % count, rec, 0)

    def coordinates(self):
        """Cell-centre x of the columns and y of the rows, relative to the origin."""
        xs = self.floats(self.header_records + 1, self.nx + 1)[1:]
        ys = [self.floats(self.header_records + self.ny + j, 2)[1] for j in range(1, self.ny + 1)]
        return list(xs), ys

    def block_record(self, b, j=1):
        """Record number of row j of block b (both 1-based)."""
        return self.first_block + (b - 1) * self.ny + (j - 1)

    def block_times(self):
        """Times of the blocks before the end marker (scan as a reader of the file does)."""
        times = []
        b = 1
        while True:
            last = self.block_record(b, self.ny)
            if last > self.records():
                break
            t = self.floats(self.block_record(b), 1)[0]
            if not t > END_LIMIT:
                break
            times.append(t)
            b += 1
        return times

    def block(self, b):
        """Block b as a list over items of lists over rows (south first) of nx values."""
        out = [[None] * self.ny for _ in range(self.n)]
        for j in range(1, self.ny + 1):
            vals = self.floats(self.block_record(b, j), 1 + self.n * self.nx)
            if vals is None:
                raise ResultFileError("%s: block %d row %d missing" % (self.path, b, j))
            for it in range(self.n):
                out[it][j - 1] = vals[1 + it * self.nx:1 + (it + 1) * self.nx]
        return out

    def item(self, b, label):
        """The rows of the item with the given label in block b."""
        for i, l in enumerate(self.labels[1:]):
            if l == label:
                return self.block(b)[i]
        raise ResultFileError("%s: no item %r (items %r)" % (self.path, label, self.labels[1:]))

    def check_blocks(self):
        """Problems found in the blocks before the end marker (empty when all is well):
        every row record present, carrying the block's time, with finite values;
        times not decreasing."""
        problems = []
        times = self.block_times()
        for b, t in enumerate(times, start=1):
            if b > 1 and t < times[b - 2]:
                problems.append("block %d: time %g before %g" % (b, t, times[b - 2]))
            for j in range(1, self.ny + 1):
                vals = self.floats(self.block_record(b, j), 1 + self.n * self.nx)
                if vals is None:
                    problems.append("block %d row %d: record missing" % (b, j))
                    break
                if vals[0] != t:
                    problems.append("block %d row %d: time %g, block time %g" % (b, j, vals[0], t))
                    break
                if not all(math.isfinite(v) for v in vals):
                    problems.append("block %d row %d: value not finite" % (b, j))
                    break
        return problems


def main(argv):
    check = "--check" in argv
    files = [a for a in argv if a != "--check"]
    status = 0
    for path in files:
        try:
            r = ResultFile(path)
        except (ResultFileError, OSError) as e:
            print(e)
            status = 1
            continue
        times = r.block_times()
        print("%s: type %d, RL %d, %d x %d cells, items %s, %d blocks, last time %s" %
              (os.path.basename(path), r.type, r.reclen, r.nx, r.ny, r.labels[1:], len(times),
               times[-1] if times else "-"))
        if check:
            problems = r.check_blocks()
            for p in problems:
                print("  " + p)
            if problems:
                status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
