# The still-water basin of the scenario tests (sourced): 10 x 4 cells of 2 m,
# the bed at 100.0 m for x < 10 m and at 100.8 m beyond, the level 100.5 m
# everywhere, a gauge on either side of the step. write_basin [LINES] writes
# bed.asc and basin.qfx into the working folder; LINES go into >>output.
write_basin() {
  python3 - <<'PY'
with open("bed.asc", "w") as f:
    f.write("ncols 10\nnrows 4\nxllcenter 0.0\nyllcenter 0.0\ncellsize 2.0\nNODATA_value -9999\n")
    f.write(("100.00 " * 5 + "100.80 " * 5 + "\n") * 4)
PY
  cat > basin.qfx <<QFX
title 'still water in a basin with a step'
>>grid
   include 'bed.asc'
>>polygon
   waterlevel 100.5
      -1.0 -1.0
      19.0 -1.0
      19.0 7.0
      -1.0 7.0
   /
>>compute
   end 0.02
>>output
   to 'basin.res'
   interval 0.01
${1:+$1
}   max_values 'basin.max'
   gauge 3.0 3.0 west
   gauge 15.0 3.0 east
>>
QFX
}
