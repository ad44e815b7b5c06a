#!/usr/bin/env bash
# Mistakes of a new user, each run on a 4 x 3 model: the exit status, and the
# message once on standard error and in the listing, naming what is wrong.
# Also: a command file given by a path longer than 32 characters is found.
source "$(dirname "$0")/verify_common.bash"

d=$WORK/a_folder_name_long_enough_to_pass_32/m
mkdir -p "$d"
printf 'ncols 4\nnrows 3\nxllcorner 1000.0\nyllcorner 2000.0\ncellsize 10.0\nNODATA_value -9999\n%s\n%s\n%s\n' \
  '31 32 33 34' '21 22 23 24' '11 12 13 14' >"$d/bed.asc"
model() {
  printf "title 'mistakes'\n>>grid\n   include 'bed.asc'\n%b>>compute\n   steps 2\n" "$1" >"$d/m.qfx"
}

# Each case: the text after >>grid, the expected status, the message.
cases=(
  ">>source\n   discharge **\n      0 1\n      2 2\n      1 3\n   point 1015 2015\n|1|**error: keyword \"discharge\": table time 1.0000 lies before the time 2.0000 of the row above, file 'm.qfx', line 8"
  ">>polygon\n   kst 20\n      1000 2000\n      1020 2000\n      1020 2020\n   /\n|1|**error: default value not defined: keyword \"kst\": no friction law set in >>global, file 'm.qfx', line 5"
  ">>global\n   kst 30\n|0|**warning: defaults after >>grid: its nodes keep the old ones, file 'm.qfx', line 5"
  ">>compute\n   cfl 1.5\n|1|**error: keyword \"cfl\": value 1.5 out of range, Courant number must be at least 0.01 and not above 1, file 'm.qfx', line 5"
  ">>output\n   plot depthh\n|0|**warning: unknown item: depthh, file 'm.qfx', line 5"
  ">>initiate\n   from 'bed.asc'\n|1|**error: initial condition file 'bed.asc' is not a result file: its first value 1819239278 is no result-file type"
)
for c in "${cases[@]}"; do
  IFS='|' read -r body status message <<<"$c"
  model "$body"
  rm -f "$d/out"
  rc=0
  (cd "$d" && "$QF" -q m.qfx </dev/null >screen.txt 2>err.txt) || rc=$?
  [ "$rc" = "$status" ] || fail "$message: exit status $rc"
  [ "$(grep -cxF -- "$message" "$d/err.txt")" = 1 ] || fail "not once on standard error: $message
$(cat "$d/err.txt")"
  grep -qF -- "$message" "$d/out" || fail "not in the listing: $message"
done
note "${#cases[@]} mistakes named on the terminal and in the listing"

# A title with blanks outside apostrophes keeps its first word, with a warning.
model ""
sed -i "1s/.*/title My flood run/" "$d/m.qfx"
(cd "$d" && "$QF" -q m.qfx </dev/null >screen.txt 2>err.txt) || fail "title: exit status"
grep -qxF "**warning: keyword \"title\": only 'My' taken, 'flood run' left over (a title with blanks goes in apostrophes), file 'm.qfx', line 1" \
  "$d/err.txt" || fail "title: $(cat "$d/err.txt")"

# A result file name cut to its 32 characters would name another file: an
# error. A series file is opened at once and keeps its longer name.
model ">>output\n   to 'results/scenario_hq100_variant_b.res'\n"
rc=0
(cd "$d" && "$QF" -q m.qfx </dev/null >screen.txt 2>err.txt) || rc=$?
[ "$rc" = 1 ] || fail "long result file name: exit status $rc"
grep -qF "**error: keyword \"to\": 'results/scenario_hq100_variant_b.res' is longer than 32 characters" \
  "$d/err.txt" || fail "long result file name: $(cat "$d/err.txt")"
model ">>boundary\n   inflow 1 > 'inflow_series_of_the_long_named_run.txt'\n   location\n      995 2000\n      1005 2000\n      1005 2030\n      995 2030\n   /\n"
(cd "$d" && "$QF" -q m.qfx </dev/null >screen.txt 2>&1) || fail "long series name: $(tail -3 "$d/screen.txt")"
[ -s "$d/inflow_series_of_the_long_named_run.txt" ] || fail "series file not written under its name"
rc=0
(cd "$d" && "$QF" -q m.qfx results/a_very_long_result_file_name.res </dev/null >screen.txt 2>err.txt) ||
  rc=$?
[ "$rc" = 1 ] && grep -qxF "**error: result file name 'results/a_very_long_result_file_name.res' is longer than 32 characters" "$d/err.txt" ||
  fail "long result file name on the command line: $rc $(cat "$d/err.txt")"
note "long file names"

# A command file that does not exist, and one given by a long path.
rc=0
(cd "$d" && "$QF" -q nofile.qfx </dev/null >screen.txt 2>err.txt) || rc=$?
[ "$rc" = 1 ] || fail "missing command file: exit status $rc"
grep -qxF "**error: command file 'nofile.qfx' not found (or not a file)" "$d/err.txt" ||
  fail "missing command file: $(cat "$d/err.txt")"
model ""
(cd "$WORK" && "$QF" -q "$d/m.qfx" </dev/null >screen.txt 2>&1) ||
  fail "long path: $(tail -3 "$WORK/screen.txt")"
note "command file by a path of ${#d} characters"
echo "user mistakes: ok"
