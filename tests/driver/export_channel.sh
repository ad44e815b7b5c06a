#!/usr/bin/env bash
# The channel example with a projection file beside its bed grid and three
# gauges: the projection goes beside every grid and into the exports; the
# gauge file and the NetCDF carry the values of the result file; the
# GeoTIFF of the maxima has the statistics of the ESRI grid; a quiet run
# shows its progress line on a terminal only.
source "$(dirname "$0")/verify_common.bash" "$@"

EXPORT=$(dirname "$QF")/quellfax-export
for need in gdalinfo gdallocationinfo gdalsrsinfo script; do
  command -v "$need" >/dev/null || { echo "skipped: $need not found"; exit 77; }
done

dir=$WORK/channel
mkdir -p "$dir"
cp "$SRC"/examples/channel/* "$dir"/
cd "$dir"
gdalsrsinfo -o wkt_esri EPSG:2056 > bed.prj
sed -i "s|^   max_flow 'maxflow.asc'|&\n   dt_out 0.25\n   gauge 2600100 1200095 'inlet reach'\n   gauge 2600300.0 1200150.0 P2\n   gauge 2700000 1200150 'far'|" channel.qfx
run_model "$dir" channel.qfx
grep -q "gauge 'far' lies outside the grid, no values, file 'channel.qfx', line 5[0-9]" out ||
  fail "no warning for the gauge outside the grid"
grep -q "steps/s" screen.txt && fail "progress line without a terminal"
for f in maxdepth.prj maxflow.prj channel.res.prj channel.max.prj; do
  [ "$(grep -v '^$' "$f")" = "$(grep -v '^$' bed.prj)" ] || fail "$f differs from bed.prj"
done
gdalinfo maxdepth.asc | grep -q 'PROJCRS\["CH1903+' || fail "maxdepth.asc read without projection"

python3 - <<'PY' || fail "gauges differ from the result file"
import csv
from resultfile import ResultFile
r = ResultFile("channel.res")
labels = [" DFlow Depth [m]", " WWater Level [m]", " VFlow Velocity [m/s]"]
with open("channel.res.gauges.csv") as f:
    rows = list(csv.reader(f))
assert rows[0][:4] == ["time_h", "inlet reach depth_m", "inlet reach level_m",
                       "inlet reach speed_m/s"], rows[0]
assert len(rows[0]) == 10 and rows[1][7:] == ["", "", ""], rows[:2]
series = {round(float(x[0]), 4): x for x in rows[1:]}
nodes = [(1, 19, 20), (4, 30, 60)]  # column of the gauge in the file, row, column
checked = 0
for b, t in enumerate(r.block_times(), start=1):
    line = series.get(round(t, 4))
    assert line is not None, "no gauge line at %.4f h" % t
    for col, j, i in nodes:
        for n, label in enumerate(labels):
            want = r.item(b, label)[j][i]
            got = float(line[col + n])
            assert abs(got - want) <= 6e-5, (t, col, label, got, want)
            checked += 1
assert checked >= 60, checked
print("  gauges: %d values equal to the result file" % checked)
PY

# The progress line on a terminal (script gives the run a pseudo terminal).
script -qc "$QF -q channel.qfx >/dev/null" /dev/null > tty.txt </dev/null
grep -q "steps/s" tty.txt || fail "no progress line on a terminal"
[ "$(tail -c 4 tty.txt | od -An -c | tr -d ' ')" = '\r033[K' ] || fail "progress line not cleared"

if [ ! -x "$EXPORT" ]; then
  echo "channel gauges and progress line: ok; quellfax-export not built (no GDAL), exports skipped"
  exit 0
fi
"$EXPORT" netcdf channel.res channel.nc > export.txt || fail "netcdf export"
"$EXPORT" geotiff channel.max max.tif >> export.txt || fail "geotiff export"
info=$(gdalinfo channel.nc)
for v in depth u v water_level speed; do
  grep -q "SUBDATASET_[0-9]_NAME=NETCDF:\"channel.nc\":$v\$" <<<"$info" || fail "no subdataset $v"
done
sub=$(gdalinfo NETCDF:channel.nc:depth)
grep -q 'PROJCRS\["CH1903+' <<<"$sub" || fail "NetCDF without projection"
grep -q "NoData Value=-9999" <<<"$sub" || fail "NetCDF without no-data"
grep -q "Origin = (2599997.5000*,1200197.5000*)" <<<"$sub" || fail "NetCDF placed wrongly"
"$EXPORT" geotiff bed.asc x.tif 2> err.txt && fail "export of an ESRI grid succeeded"
grep -q "'bed.asc': not a result or max-value file" err.txt || fail "message: $(cat err.txt)"

python3 - <<'PY' || fail "GeoTIFF differs from the ESRI grid"
import re, subprocess
def stats(path, band):
    out = subprocess.run(["gdalinfo", "-stats", path], capture_output=True, text=True).stdout
    found = re.findall(r"Minimum=(\S+), Maximum=(\S+), Mean=(\S+), StdDev=(\S+)", out)
    return [float(x.rstrip(",")) for x in found[band - 1]], out
asc, _ = stats("maxdepth.asc", 1)
tif, out = stats("max.tif", 2)
assert 'PROJCRS["CH1903+' in out and "NoData Value=-9999" in out and "LAYOUT=COG" in out, out
assert "Description = max_depth" in out, out
assert all(abs(a - b) <= 0.0015 for a, b in zip(asc, tif)), (asc, tif)
with open("maxdepth.asc") as f:
    grid = [l.split() for l in f.readlines()[6:]]
for x, y, j, i in [(2600100, 1200095, 19, 20), (2600300, 1200150, 30, 60)]:
    v = subprocess.run(["gdallocationinfo", "-valonly", "-geoloc", "-b", "2", "max.tif", str(x), str(y)],
                       capture_output=True, text=True).stdout
    want = float(grid[39 - j][i])
    assert abs(float(v) - want) <= 0.0005, (x, y, v, want)
print("  GeoTIFF statistics equal to maxdepth.asc:", tif)
PY

# NetCDF read back by netCDF4 and xarray where the system Python has them.
if /usr/bin/python3 -c "import netCDF4, xarray" 2>/dev/null; then
  PYTHONPATH=$PYTHONPATH /usr/bin/python3 - <<'PY' || fail "NetCDF differs from the result file"
import netCDF4, xarray
from resultfile import ResultFile
r = ResultFile("channel.res")
nc = netCDF4.Dataset("channel.nc")
times = list(nc["time"][:])
assert nc["time"].units == "hours" and nc["depth"].units == "m" and nc["u"].units == "m s-1"
assert nc["water_level"].standard_name == "water_surface_height_above_reference_datum"
assert "standard_name" not in nc["depth"].ncattrs() and nc["depth"].grid_mapping == "crs"
assert nc["crs"].grid_mapping_name == "oblique_mercator"
assert nc["x"][0] == 2600000.0 and nc["y"][0] == 1200000.0
for b in (2, 6):
    t = r.block_times()[b - 1]
    n = times.index(t)
    for label, var in [(" DFlow Depth [m]", "depth"), (" WWater Level [m]", "water_level"),
                       (" XX-Velocity [m/s]", "u")]:
        rows = r.item(b, label)
        for j, i in [(19, 20), (20, 0), (39, 79)]:
            assert float(nc[var][n, j, i]) == rows[j][i], (t, var, j, i)
ds = xarray.open_dataset("channel.nc")
assert ds["speed"].dims == ("time", "y", "x") and ds["speed"].attrs["long_name"] == "Flow Velocity"
print("  NetCDF: values equal at 3 nodes and 2 times, CF attributes present")
PY
else
  note "netCDF4/xarray not found: NetCDF checked with gdalinfo only"
fi

# A full disk (a file-size limit here): status 1, a message naming the
# file, no part left, and an earlier complete file of the name kept.
for c in "netcdf channel.nc" "geotiff max.tif" "hazard hazard.tif"; do
  set -- $c
  before=$(cksum "$2" 2>/dev/null || echo none)
  rc=0
  (trap '' XFSZ; ulimit -f 2; "$EXPORT" $1 channel.$([ "$1" = geotiff ] && echo max || echo res) "$2") \
    > /dev/null 2> err.txt || rc=$?
  [ "$rc" -eq 1 ] || fail "$1 on a full disk: status $rc"
  grep -q "^quellfax-export: '$2': .*File too large" err.txt || fail "$1 message: $(cat err.txt)"
  [ "$(cksum "$2" 2>/dev/null || echo none)" = "$before" ] || fail "$1: earlier $2 not kept"
  ls "$2".part* 2>/dev/null && fail "$1: part file left"
done

# A pond beside a no-data corner (the two north-east columns of the upper
# two rows): the cells outside the model are no-data in every product,
# found from the walls in the water levels or given by --outside.
mkdir -p "$WORK/pond"
cd "$WORK/pond"
printf 'ncols 6\nnrows 4\nxllcenter 1000.0\nyllcenter 2000.0\ncellsize 10.0\nNODATA_value -9999\n' > bed.asc
printf '0 0 0 0 -9999 -9999\n0 0 0 0 -9999 -9999\n0 0 0 0 0 0\n0 0 0 0 0 0\n' >> bed.asc
cat > pond.qfx <<'QFX'
title 'Pond beside a no-data corner'
>>global
   kst 30
>>grid
   include 'bed.asc'
>>polygon
   waterlevel 1.0
      994.0 1994.0
      1016.0 1994.0
      1016.0 2036.0
      994.0 2036.0
   /
>>compute
   end 0.002
   cfl 0.5
>>output
   to 'pond.res'
   interval 0.001
   plot initial
   plot waterlevel
   max_values 'pond.max'
QFX
run_model "$WORK/pond" pond.qfx
# output, layer read, band, command: the north-east cell is outside, the
# north-west one wet, the south-east one inside and dry.
while read -r out layer band cmd; do
  "$EXPORT" $cmd pond.res $out 2> err.txt > /dev/null || fail "$cmd: $(cat err.txt)"
  grep -q "cannot tell" err.txt && fail "$cmd: $(cat err.txt)"
  at() { gdallocationinfo -valonly -b "$band" "$layer" "$1" "$2"; }
  [ "$(at 5 0)" = -9999 ] || fail "$cmd $layer: outside cell $(at 5 0)"
  [ "$(at 0 0)" != -9999 ] && [ "$(at 5 3)" != -9999 ] || fail "$cmd $layer: inside cells no-data"
done <<'CASES'
p.nc NETCDF:p.nc:depth 3 netcdf
p.nc NETCDF:p.nc:water_level 2 netcdf
p.nc NETCDF:p.nc:u 2 netcdf
t.tif t.tif 3 geotiff --record 2
h.tif h.tif 1 hazard
w.tif w.tif 1 hazard --outside bed.asc
m.tif m.tif 1 geotiff --outside pond.max --items depth
CASES
gdalinfo t.tif | grep -q "Unit Type: m s-1" || fail "no unit of the velocity bands"
[ "$(gdalmdiminfo p.nc | python3 -c 'import json,sys; print(json.load(sys.stdin)["arrays"]["x"]["unit"])')" = m ] ||
  fail "x without units"
"$EXPORT" netcdf pond.res q.nc --items depth --outside ../channel/bed.asc 2> err.txt && fail "other grid taken"
grep -q "^quellfax-export: --outside '../channel/bed.asc': 80 x 40 cells from 2599997.5000 1200197.5000, not the 6 x 4 cells from 995.0000 2035.0000 of 'pond.res'$" err.txt ||
  fail "message: $(cat err.txt)"

echo "export of the channel example: ok"
