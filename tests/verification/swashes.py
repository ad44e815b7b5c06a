"""Rows of the analytic cases that the flow-step tests run (test_model_hydro,
Benchmarks.* and Physics.DamBreak*), from the lines they print:

  python3 swashes.py DIR     reads DIR/screen.txt, appends to DIR/../rows.json

Exit status 1 when a gating check fails (see cases.py).
"""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cases import append_rows, row  # noqa: E402

NUM = r"(-?[\d.]+(?:E[-+]\d+)?)"


def shrinking(v):
    return v[0] > v[1] > v[2]


# (pattern, measure, target, value text, pass test, gate); the groups of the
# pattern are the numbers, as floats.
CHECKS = [
    (r"radial dam break after\s+%s s: mirror asymmetry\s+%s m" % (NUM, NUM),
     "radial dam break 200 x 200, 2nd order, cfl 0.7: mirror asymmetry", "< 1e-4 m",
     lambda v: "%.1e m" % v[1], lambda v: v[1] < 1e-4, True),
    (r"hydrograph (at a point|across the west end(?:, stopping)?), (first|second) order,"
     r"\s+%s s: volume\s+%s m3, relative error\s+%s" % (NUM, NUM, NUM),
     "dry start, hydrograph {0}, {1} order: volume = integral", "rel. error < 1e-5",
     lambda v: "%.1e" % v[1], lambda v: abs(v[1]) < 1e-5, True),
    (r"lake with islands and a pond, (first|second) order, 1 h: largest speed\s+%s m/s"
     r"(?: \(depth > 5 cm:\s+%s\))?" % (NUM, NUM),
     "lake at rest with islands, {0} order: largest speed after 1 h, all / deeper than 5 cm",
     "< 1e-5 m/s", lambda v: "%.1e / %.1e m/s" % (v[0], v[-1]), lambda v: v[-1] < 1e-5, False),
    (r"Thacker bowl, 3 periods:\s+%s steps, fastest wet node\s+%s" % (NUM, NUM),
     "Thacker planar bowl 100 x 100, 1st order, 3 periods: fastest wet node", "< 1.4 m/s (exact 0.70)",
     lambda v: "%.3f m/s" % v[1], lambda v: v[1] < 1.4, True),
    (r"Thacker bowl, 3 periods:\s+%s steps" % NUM,
     "Thacker planar bowl: steps for 3 periods", "< 2000", lambda v: "%d" % v[0],
     lambda v: v[0] < 2000, True),
    (r"(Ritter|Stoker) \(([^)]*)\), (first|second) order: L1 depth error\s+%s\s+%s\s+%s" % (NUM, NUM, NUM),
     "{0} ({1}), {2} order: L1 of depth at dx 1, 0.5, 0.25 m", "shrinking",
     lambda v: "%.3f, %.3f, %.3f m2" % tuple(v), shrinking, True),
    (r"Ritter at hdry 0.0001 m, (first|second) order: L1 depth error\s+%s" % NUM,
     "Ritter at hdry 0.0001 m, {0} order: L1 of depth at dx 0.25 m", "(reported)",
     lambda v: "%.3f m2" % v[0], lambda v: True, False),
]


def main(d):
    text = open(os.path.join(d, "screen.txt")).read()
    rows = []
    for pat, measure, target, value, ok, gate in CHECKS:
        for m in re.finditer(pat, text):
            groups = [g for g in m.groups() if g is not None]
            words = [g for g in groups if not re.fullmatch(NUM, g)]
            nums = [float(g) for g in groups if re.fullmatch(NUM, g)]
            if pat.startswith("hydrograph"):
                nums = nums[1:]  # the time is not checked
            rows.append(row(measure.format(*words), target, value(nums), ok(nums), gate))
    if not rows:
        rows.append(row("flow-step test lines found", "some", "none", False, True))
    append_rows(os.path.dirname(os.path.abspath(d)), "swashes", rows, [])
    for r in rows:
        print("  %-5s %s: %s (%s)" % ("ok" if r["pass"] else "FAILS", r["measure"], r["value"],
                                     r["target"]))
    return 1 if any(r["gate"] and not r["pass"] for r in rows) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
