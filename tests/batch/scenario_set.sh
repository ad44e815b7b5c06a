#!/usr/bin/env bash
# Three still-water scenarios of a basin with a step in its bed (x < 10 m at
# 100.0 m, beyond at 100.8 m), the level replaced from the set file: run two
# at a time, the summary and the maps of the set against hand-computed
# depths, the files of one scenario equal to a single run, Ctrl-C passed on
# to the runs, and the Slurm job array against a stand-in sbatch.
source "$(dirname "$0")/../driver/verify_common.bash" "$@"
source "$(dirname "$0")/basin.bash"
BIN=$(dirname "$QF")
cd "$WORK"
write_basin "   plot flowdepth"
cat > set.csv <<'CSV'
# three still-water levels
name,command,options,probability,set:polygon.waterlevel
low,basin.qfx,,0.1,100.5
high,basin.qfx,"@a,b",0.01,101.0
lowest,basin.qfx,,0.001,100.3
CSV
"$BIN/quellfax-batch" -j 2 set.csv > batch.txt 2>&1 || { cat batch.txt; fail "batch run failed"; }
grep -q "^   waterlevel 101.0$" high/basin.qfx || fail "level not replaced"
# Steps of still water of depth h over 72 s: dt = cfl / (2 sqrt(g h) / dx),
# 0.316 s at 0.5 m, 0.223 s at 1.0 m and 0.408 s at 0.3 m.
summary=$(sed 1d set.summary | awk '{print $1, $2, $3, $5, $6, $7}')
[ "$summary" = "low complete 228 0.000E+00 0.500 0.000
high complete 323 0.000E+00 1.000 0.200
lowest complete 177 0.000E+00 0.300 0.000" ] || fail "summary: $summary"
[ "$(head -1 set.summary)" = "scenario status                 steps  wall [s]  balance [%]    west [m]    east [m]" ] ||
  fail "summary header: $(head -1 set.summary)"

# One scenario run on its own writes the same files.
mkdir single && cp bed.asc single/ && sed 's/waterlevel 100.5/waterlevel 101.0/' basin.qfx > single/basin.qfx
run_model single basin.qfx @a,b
for f in basin.res basin.max basin.res.mass basin.res.gauges.csv; do
  cmp -s "single/$f" "high/$f" || fail "$f of the set differs from a single run"
done

# The maps: depth 1.0 / 0.2 m west / east of the step, given by "high" (2).
E=$BIN/quellfax-export
if [ -x "$E" ] && command -v gdallocationinfo >/dev/null; then
  m="low/basin.max high/basin.max lowest/basin.max"
  { "$E" envelope env.tif $m && "$E" exceedance exc.tif $m --threshold 0.25 &&
    "$E" exceedance p.nc $m --probability 0.1,0.01,0.001; } >/dev/null 2>&1 || fail "maps of the set"
  got=""
  for x in 1 8; do
    got+="$(gdallocationinfo -valonly -b 2 env.tif $x 1) $(gdallocationinfo -valonly -b 5 env.tif $x 1) "
    got+="$(gdallocationinfo -valonly exc.tif $x 1) "
    got+="$(gdallocationinfo -valonly NETCDF:p.nc:annual_exceedance_probability $x 1 | cut -c1-6)|"
  done
  [ "$got" = "1 2 1 0.1110|0.199996948242188 2 0 0.0099|" ] || fail "maps of the set: $got"
fi

# Ctrl-C: the running scenarios end after their step with their files.
# (A signal before a run's time loop ends it at once: wait for a balance line
# after the start line in both, as one may start much later under a sanitizer.)
sed -i 's/end 0.02/end 100/' basin.qfx
rm -f ./*/basin.res.mass
"$BIN/quellfax-batch" -j 2 set.csv > stop.txt 2>&1 &
pid=$!
for _ in $(seq 600); do
  [ "$(cat low/basin.res.mass 2>/dev/null | wc -l)" -gt 2 ] &&
    [ "$(cat high/basin.res.mass 2>/dev/null | wc -l)" -gt 2 ] && break
  sleep 0.1
done
kill -INT $pid
rc=0
wait $pid || rc=$?
[ $rc -eq 130 ] || { cat stop.txt; fail "batch stopped with status $rc"; }
grep -q "^low     stopped (SIGINT)" stop.txt && grep -q "^lowest  not run" stop.txt || fail "stop: $(cat stop.txt)"
grep -q "stopped by SIGINT after step" low/run.log || fail "run not stopped after its step"

# Slurm: the job script and the arguments of sbatch; one task of the script.
mkdir fake
printf '#!/bin/bash\necho "$@" > "%s/sbatch.args"; echo "4711;cluster"\n' "$WORK" > fake/sbatch
chmod +x fake/sbatch
PATH=$WORK/fake:$PATH "$BIN/quellfax-batch" --slurm set.csv --time 01:00:00 --cpus 4 > slurm.txt
[ "$(cat sbatch.args)" = "--parsable $WORK/set.sbatch" ] || fail "sbatch args: $(cat sbatch.args)"
grep -q "^ >job array 4711: 3 scenarios" slurm.txt && [ "$(cat set.job)" = 4711 ] || fail "job id"
grep -qx "#SBATCH --array=1-3" set.sbatch && grep -qx "#SBATCH --cpus-per-task=4" set.sbatch || fail "script"
sed -i 's/end 100/end 0.02/' high/basin.qfx
SLURM_ARRAY_TASK_ID=2 SLURM_CPUS_PER_TASK=1 bash set.sbatch || fail "task 2 of the script"
"$BIN/quellfax-batch" --collect set.csv > collect.txt || true
grep -q "^high    complete                 323" collect.txt || fail "collect: $(cat collect.txt)"
grep -q "^low     not run  *- " collect.txt || fail "collect of a scenario not run: $(cat collect.txt)"
echo "scenario set: passed"
