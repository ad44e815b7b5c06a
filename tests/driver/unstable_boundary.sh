#!/usr/bin/env bash
# A water-level boundary over an uneven bed: the channel example with one
# boundary cell raised towards the boundary level, and with noise on the
# whole bed. Each run either stays sound (maximum depth of a few metres) or
# stops as unstable (status 3, the cell named in the listing); never status
# 0 with absurd maxima.
source "$(dirname "$0")/verify_common.bash" "$@"

case_run() {
  local name=$1 bed=$2 dir=$WORK/$1 rc=0
  mkdir -p "$dir"
  cp "$SRC"/examples/channel/* "$dir"/
  sed -i 's/end 2.0/end 0.25/' "$dir/channel.qfx"
  python3 - "$dir/bed.asc" "$bed" <<'PY'
import random, sys
path, bed = sys.argv[1], sys.argv[2]
lines = open(path).read().split("\n")
if bed.startswith("noise"):
    random.seed(int(bed[5:]))  # uniform +-0.2 m on every cell
    for i in range(6, len(lines)):
        if lines[i].strip():
            lines[i] = " ".join("%.3f" % (float(x) + random.uniform(-0.2, 0.2))
                                for x in lines[i].split())
else:
    row = lines[26].split()  # the last cell of this row is a boundary cell
    row[-1] = bed
    lines[26] = " ".join(row)
open(path, "w").write("\n".join(lines))
PY
  (cd "$dir" && "$QF" -q channel.qfx </dev/null >screen.txt 2>&1) || rc=$?
  local most
  most=$(python3 -c "import sys; print(max(float(x) for l in open(sys.argv[1]).read().split('\n')[6:] for x in l.split()))" "$dir/maxdepth.asc")
  case $rc in
    0) python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) < 5.0 else 1)" "$most" ||
         fail "$name: status 0 with a maximum depth of $most m" ;;
    3) grep -q "^ >unstable flow at t=.*cell column [0-9]* row [0-9]*" "$dir/out" ||
         fail "$name: status 3 without the unstable cell in the listing" ;;
    *) tail -5 "$dir/screen.txt" >&2; fail "$name: exit status $rc" ;;
  esac
  note "$name: status $rc, maximum depth $most m"
}

for c in "step398:398.000" "step398.3:398.300" "step397.8:397.800" "step398.6:398.600" \
         "noise:noise1"; do
  case_run "${c%%:*}" "${c#*:}"
done
echo "unstable boundary: ok"
