#!/usr/bin/env bash
# Runs the verification cases and writes their table (OUTDIR/results.md):
#
#   bash tests/verification/run_all.sh BUILD_PROGRAM SOURCE_DIR [OUTDIR [CASE...]]
#
# Cases: the command files beside this script (EA benchmark tests 1, 2, 3, 4
# and 6A; grids from cases.py), "swashes" (the analytic cases kept in the
# flow-step tests, test_model_hydro beside the program) and "valley" (EA
# test 5, examples/valley, 30 h: about 28 minutes of processor time). Without CASE arguments all
# but the valley run. The exit status is 1 when a check that gates (see
# cases.py) fails; the other checks are only reported in the table.
set -uo pipefail
if [ $# -lt 2 ]; then
  echo "usage: bash $0 BUILD_PROGRAM SOURCE_DIR [OUTDIR [CASE...]]" >&2
  exit 2
fi
QF=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SRC=$(cd "$2" && pwd)
OUT=${3:-verification}
shift $(($# < 3 ? $# : 3))
[ -x "$QF" ] || { echo "no program at $QF" >&2; exit 1; }
# A python3 with numpy: the first on the PATH, else the system's.
PY=
for p in python3 /usr/bin/python3; do
  if "$p" -c 'import numpy' 2>/dev/null; then PY=$p; break; fi
done
[ -n "$PY" ] || { echo "python3 with numpy is needed" >&2; exit 77; }
HERE=$SRC/tests/verification
CASES=("$@")
[ ${#CASES[@]} -gt 0 ] || CASES=($("$PY" "$HERE/cases.py" list x) swashes)
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
rm -f "$OUT/rows.json" "$OUT/times.txt"
status=0

# Seconds since the date +%s.%N given.
elapsed() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

# run CASE DIR COMMANDFILE [OPTION...]: runs the program in DIR, records its
# wall time.
run() {
  local c=$1 d=$2 t0 rc=0
  shift 2
  t0=$(date +%s.%N)
  (cd "$d" && "$QF" -q "$@" </dev/null >screen.txt 2>&1) || rc=$?
  echo "$c $(elapsed "$t0")" >>"$OUT/times.txt"
  if [ $rc -ne 0 ] || ! grep -q "^ >hvx terminated" "$d/screen.txt"; then
    echo "$c: the run failed (exit status $rc):" >&2
    tail -5 "$d/screen.txt" >&2
  fi
}

for c in "${CASES[@]}"; do
  echo "== $c"
  d=$OUT/$c
  rm -rf "$d"
  mkdir -p "$d"
  case $c in
    swashes)
      # The analytic cases live in the flow-step tests; their lines become rows.
      t=$(dirname "$QF")/test_model_hydro
      [ -x "$t" ] || { echo "  $t not built: analytic cases left out"; continue; }
      t0=$(date +%s.%N)
      "$t" --gtest_filter='Benchmarks.*:Physics.DamBreak*' >"$d/screen.txt" 2>&1
      echo "swashes $(elapsed "$t0")" >>"$OUT/times.txt"
      "$PY" "$HERE/swashes.py" "$d" || status=1
      ;;
    valley)
      t0=$(date +%s.%N)
      bash "$SRC/examples/valley/run.sh" "$QF" "$d" >"$d/maxima.txt" 2>&1
      echo "valley $(elapsed "$t0")" >>"$OUT/times.txt"
      "$PY" "$HERE/cases.py" check valley "$d" || status=1
      ;;
    *)
      # The grid; the command file and its run options.
      qfx=$("$PY" "$HERE/cases.py" grid "$c" "$d") || { status=1; continue; }
      read -r qfx opts <<<"$qfx"
      cp "$HERE/$qfx" "$d/"
      if [ -f "$d/start.qfx" ]; then
        # A start state with velocities: written by the program, filled in here.
        (cd "$d" && "$QF" -q start.qfx </dev/null >start.txt 2>&1) &&
          "$PY" "$HERE/cases.py" start "$c" "$d" || echo "$c: no start state" >&2
      fi
      run "$c" "$d" $qfx $opts
      "$PY" "$HERE/cases.py" check "$c" "$d" || status=1
      ;;
  esac
done
"$PY" "$HERE/cases.py" table "$OUT"
echo "table: $OUT/results.md"
exit $status
