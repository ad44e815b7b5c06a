#!/usr/bin/env bash
# A run continued through its warm-start state: the channel example to 1 h
# with a checkpoint every 0.5 h, then the same input with the end at 2 h
# resumes from ".hvx". The gauge series and the water balance go on behind
# their lines of the first hour (header once, times rising, the cumulative
# inflow carried on), and the maxima match those of one run straight to 2 h.
# Continuing into new file names says that the maxima start afresh.
source "$(dirname "$0")/verify_common.bash" "$@"

setup() {
  mkdir -p "$WORK/$1"
  cp "$SRC"/examples/channel/* "$WORK/$1"/
  sed -i "s/^   end .*/   end $2/; s/^   max_flow .*/&\n   checkpoint 0.5\n   gauge 2600200.0 1200100.0 mid\n   dt_out 0.05/" \
    "$WORK/$1/channel.qfx"
}
setup cont 1.0
setup straight 2.0
d=$WORK/cont
run_model "$d" channel.qfx
grep -q "^   checkpoint      0.500$" "$d/out" || fail "checkpoint not echoed in the listing"
grep -q "^ >checkpoint at t=0.50[0-9]* h, step [0-9]*: warm start saved in .hvx$" "$d/screen.txt" ||
  fail "no checkpoint at 0.5 h"
cp "$d/channel.res.gauges.csv" "$d/first.csv"
cp "$d/channel.res.mass" "$d/first.mass"
sed -i 's/^   end .*/   end 2.0/' "$d/channel.qfx"
run_model "$d" channel.qfx
grep -q "^>reading from existing max_value file$" "$d/screen.txt" || fail "maxima not restored"
run_model "$WORK/straight" channel.qfx

(cd "$WORK" && python3 - <<'PY'
from verify_checks import CheckFailed, esri_grid, require

def lines(p):
    return open(p).read().splitlines()

try:
    for new, old, sep in (("cont/channel.res.gauges.csv", "cont/first.csv", ","),
                          ("cont/channel.res.mass", "cont/first.mass", None)):
        a, b = lines(new), lines(old)
        # The last line of the first run is the state the second starts from,
        # written again by the second run.
        require(a[:len(b) - 1] == b[:-1], "%s: the lines of the first hour are not kept" % new)
        require(a[len(b) - 1].split(sep)[0] == b[-1].split(sep)[0], "%s: restart line" % new)
        t = [float(l.split(sep)[0]) for l in a[1:]]
        require(all(x < y for x, y in zip(t, t[1:])), "%s: times do not rise" % new)
        require(1.99 < t[-1] < 2.01 and a.count(a[0]) == 1, "%s: end or header" % new)
    mass = [l.split() for l in lines("cont/channel.res.mass")[1:]]
    col = lines("cont/channel.res.mass")[0].split().index("inflow_in")
    inflow = [float(r[col]) for r in mass]
    require(all(x <= y for x, y in zip(inflow, inflow[1:])), "inflow volume not carried on")
    # 0.5 h at 10..60 m3/s, 1 h at 60 m3/s and 0.5 h at 60..20 m3/s.
    require(abs(inflow[-1] - 3600 * (17.5 + 60 + 20)) < 0.01 * 351000, "inflow %.0f" % inflow[-1])
    for g in ("maxdepth.asc", "maxflow.asc"):
        c = esri_grid("cont/" + g, 80, 40, 2599997.5, 1199997.5, 5.0)
        s = esri_grid("straight/" + g, 80, 40, 2599997.5, 1199997.5, 5.0)
        worst = max(abs(x - y) for rc, rs in zip(c, s) for x, y in zip(rc, rs))
        require(worst < 0.01, "%s differs from the straight run by %.3f" % (g, worst))
except CheckFailed as e:
    print("FAIL: %s" % e)
    raise SystemExit(1)
PY
) || fail "continued series"
note "gauges, balance and maxima continued from 1 h to 2 h"

sed -i "s/'channel\.\(res\|max\)'/'other.\1'/" "$d/channel.qfx"
run_model "$d" channel.qfx
grep -q "^ >no max-value file 'other.max' of the run continued: the maxima start from this run at t=2.00[0-9]* h$" \
  "$d/screen.txt" || fail "no word on the maxima starting afresh"
note "new file names: the maxima start afresh, said so"
echo "continued run: ok"
