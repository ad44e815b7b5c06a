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

echo "export of the channel example: ok"
