# Input of the benchmarks' 1000 x 1000-cell wet dam break, sourced by their
# scripts: `dambreak_bed [N]` writes bed.asc (flat bed of N x N cells of
# 10 m, 1000 when not given);
# `dambreak_qfx TITLE STEPS [COMPUTE LINE] [N]` writes run.qfx for that bed
# (2 m of water west of the middle, 1 m east of it) up to and with the line
# ">>output"; the caller appends its output keywords and the closing ">>".
dambreak_bed() {
  python3 - "${1:-1000}" <<'PY'
import sys
n = int(sys.argv[1])
with open("bed.asc", "w") as f:
    f.write(f"ncols {n}\nnrows {n}\nxllcorner 0.0\nyllcorner 0.0\ncellsize 10.0\nNODATA_value -9999\n")
    row = " ".join(["0"] * n) + "\n"
    for _ in range(n):
        f.write(row)
PY
}

dambreak_qfx() {
  local n=${4:-1000}
  local half=$((n * 5 - 5)).0 end=$((n * 10 + 100)).0
  cat >run.qfx <<QFX
title '$1'
>>global
   kst 30
>>grid
   include 'bed.asc'
>>polygon
   flowdepth 2.0
      -100.0 -100.0
      $half -100.0
      $half $end
      -100.0 $end
   /
   flowdepth 1.0
      $half -100.0
      $end -100.0
      $end $end
      $half $end
   /
>>compute
   steps $2
${3:-}
>>output
QFX
}
