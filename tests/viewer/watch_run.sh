#!/usr/bin/env bash
# A run watched and steered as a person would, in a virtual X server: the
# channel example without -q; Save in the progress window writes the
# warm-start marker; Show opens the plot window; the fields are switched;
# Halt stops the run in the viewer, where values, zoom, wheel, pan, the
# hardcopies and a keep file are tried; eXit lets the run go on and eXit in
# the progress window ends it with its records. A second start resumes from
# the saved state and continues the result file; Reset withdraws the marker.
# At last the result browser shows the last record with the file's values.
#   bash watch_run.sh <path to quellfax> <source dir>
set -euo pipefail
for tool in xvfb-run Xvfb xdotool import identify; do
  if ! command -v $tool >/dev/null; then
    echo "watch_run: skipped, $tool is not installed"
    exit 0
  fi
done
if [ -z "${QF_WATCH_DISPLAY:-}" ]; then
  # Without -noreset the server would start afresh whenever the program
  # closes its last window to open the next one.
  QF_WATCH_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$0" "$@"
fi
source "$(dirname "$0")/../driver/verify_common.bash" "$@"

NAME=Quellfax_v3.0_1
fail() {
  echo "FAIL: $*" >&2
  if [ -n "${QF_WATCH_SHOT:-}" ]; then import -window root "$QF_WATCH_SHOT" 2>/dev/null || true; fi
  exit 1
}
PID=
cleanup() {
  # A run halted in the viewer ends at the second signal.
  if [ -n "$PID" ] && kill "$PID" 2>/dev/null; then
    sleep 0.5
    kill "$PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# until SECONDS COMMAND...: polls the command every 0.1 s (eval a quoted
# text to have it expanded anew each time).
until_ok() {
  local limit=$(($1 * 10))
  shift
  for ((i = 0; i < limit; i++)); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

# The visible window of the program whose width is (not) below 400 pixels:
# the small progress window, or the plot window.
find_window() { # small|plot
  local w WIDTH HEIGHT
  for w in $(xdotool search --onlyvisible --name "$NAME" 2>/dev/null); do
    WIDTH=0 HEIGHT=0 # a window closed meanwhile has none
    eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null | grep -E '^(WIDTH|HEIGHT)=')"
    [ "$WIDTH" -gt 0 ] || continue
    if { [ "$1" = small ] && [ "$WIDTH" -lt 400 ]; } || { [ "$1" = plot ] && [ "$WIDTH" -ge 400 ]; }; then
      WIN=$w
      WIN_W=$WIDTH
      WIN_H=$HEIGHT
      return 0
    fi
  done
  return 1
}
wait_window() {
  until_ok 30 find_window "$1" || fail "no $1 window"
}

# Buttons stand in a column at the right edge: 76.5 pixels wide, 19 apart
# from 4 pixels below the top; a submenu starts one button lower.
button() { # index from 1 [submenu]
  local y=$((4 + 9 + 19 * ($1 - 1) + ${2:-0} * 19))
  xdotool mousemove --window "$WIN" $((WIN_W - 4 - 38)) $y click 1
  sleep 0.3
}
click() { # x y [button]
  xdotool mousemove --window "$WIN" "$1" "$2" click "${3:-1}"
  sleep 0.3
}
# Answers a text prompt or the first field of a form.
type_line() {
  xdotool type --window "$WIN" --delay 20 "$1" 2>/dev/null
  xdotool key --window "$WIN" Return 2>/dev/null
  sleep 0.3
}

lines() { wc -l <"$1"; }
# The world coordinates of the last "/xy" line of the listing.
last_xy() { grep ' /xy$' out | tail -1 | awk '{print $1, $2}'; }
# Waits for the listing to have more "/xy" lines than $1.
wait_xy() { until_ok 10 eval 'test "$(grep -c " /xy\$" out)" -gt '"$1" || fail "no Value line"; }
value_at() { # x y : world coordinates of the window pixel
  local before
  before=$(grep -c ' /xy$' out || true)
  click "$1" "$2"
  wait_xy "$before"
  last_xy
}

dir=$WORK/run
mkdir -p "$dir"
cp "$SRC"/examples/channel/bed.asc "$SRC"/examples/channel/channel.qfx "$dir"/
# Long enough to be steered at leisure; the flow is steady from 2.5 h on.
sed -i 's/^ *end 2.0/   end 500/' "$dir/channel.qfx"
cd "$dir"
"$QF" channel.qfx </dev/null >screen.txt 2>&1 &
PID=$!
wait_window small
# The balance table of the listing has reached 3 h.
until_ok 120 grep -qE '^ +([3-9]|[1-9][0-9])\.[0-9][0-9] ' out || fail "the run does not reach 3 h"

# Save: the marker names the result file and the step and time saved.
button 1
until_ok 10 test -s .hvx || fail "Save wrote no .hvx"
read -r saved_step saved_time slash1 <.hvx
[ "$slash1" = / ] && [ "$saved_step" -gt 0 ] || fail "marker line 1: $(head -1 .hvx)"
[ "$(sed -n 2p .hvx | sed "s/^ //")" = "$(printf '%-32s /' channel.res)" ] || fail "marker line 2: $(sed -n 2p .hvx)"
note "saved step $saved_step at $saved_time h"

# Show: the plot window on the depth.
button 3
wait_window plot
sleep 1

# Colours in the middle band of the plot, where the channel lies (a window
# derived from the data centres it).
band_colours() {
  import -window "$WIN" png:- 2>/dev/null |
    convert - -crop $((WIN_W / 2))x$((WIN_H / 10))+$((WIN_W / 5))+$((WIN_H * 45 / 100)) +repage \
      -format %k info:
}
# Fields: the depth in colour classes, the flow vectors as lines of one colour.
depth_colours=$(band_colours)
button 6
until_ok 10 eval 'test "$(band_colours)" -le 3' || fail "the vectors are not shown ($(band_colours) colours)"
button 1
until_ok 10 eval 'test "$(band_colours)" -ge 4' || fail "the depth is not shown again ($(band_colours) colours)"
note "depth band $depth_colours colours, vectors band at most 3"

# Halt: the viewer waits for the person, and so does the run.
button 8
size=$(stat -c %s channel.res)
sleep 2
[ "$(stat -c %s channel.res)" = "$size" ] || fail "the run goes on after Halt"
import -window "$WIN" halted.png

# Examine in the channel: the depth there, kept for the check against the
# result file at the end (the flow is steady).
ax=$((WIN_W * 3 / 10)) ay=$((WIN_H / 2)) bx=$((WIN_W * 6 / 10)) by=$((WIN_H * 6 / 10))
button 13
click $((WIN_W * 4 / 10)) $((WIN_H * 505 / 1000))
until_ok 10 grep -q ' /xyz$' out || fail "Examine wrote no line"
read -r ex_x ex_y ex_f _ < <(grep ' /xyz$' out | tail -1)
note "Examine: depth $ex_f m at $ex_x $ex_y"

# Value at two pixels, then zoomed in by a click, out by the wheel, and
# panned with the arrow key: the distance of the two pixels in the world
# shrinks, grows and stays; the pan moves both along x only.
span() { # distance in x of the points A and B
  local a b
  button 8
  a=$(value_at $ax $ay)
  b=$(value_at $bx $by)
  button 6 # Replot ends the Value mode
  echo "$a $b" | awk '{printf "%.3f %.3f %.3f\n", $3 - $1, $1, $2}'
}
read -r d0 x0 y0 < <(span)
click $((WIN_W * 45 / 100)) $((WIN_H * 55 / 100))
read -r d1 x1 y1 < <(span)
click $((WIN_W * 45 / 100)) $((WIN_H * 55 / 100)) 5
click $((WIN_W * 45 / 100)) $((WIN_H * 55 / 100)) 5
read -r d2 x2 y2 < <(span)
xdotool key --window "$WIN" Left 2>/dev/null
sleep 0.5
read -r d3 x3 y3 < <(span)
note "A to B: $d0 m, zoomed in $d1 m, out twice $d2 m, panned $d3 m (A at x $x2 then $x3)"
awk -v a="$d0" -v b="$d1" -v c="$d2" -v d="$d3" -v x2="$x2" -v x3="$x3" -v y2="$y2" -v y3="$y3" \
  'BEGIN { exit !(b < 0.9 * a && c > 1.5 * b && (d - c) ^ 2 < 1e-4 && x3 != x2 && y3 == y2) }' ||
  fail "zoom and pan"

# Hardcopies: a DXF drawing, a shapefile and a screen shot.
button 4 # Original
button 2
button 1 1
type_line run
until_ok 10 test -s run.dxf || fail "no DXF drawing"
button 2 1
xdotool key --window "$WIN" b 2>/dev/null # the second field of the form: the field name
type_line depth
xdotool key --window "$WIN" Return 2>/dev/null
until_ok 10 test -s Flow.shp || fail "no shapefile"
button 7 1
until_ok 10 test -s gr0000.png || fail "no screen shot"
button 12 1
sleep 1
features() { ogrinfo -ro -al -so "$1" 2>/dev/null | awk -F': ' '/^Feature Count/ {print $2}'; }
if command -v ogrinfo >/dev/null; then
  [ "$(features run.dxf)" -gt 100 ] || fail "ogrinfo: $(features run.dxf) features in run.dxf"
  [ "$(features Flow.shp)" -gt 100 ] || fail "ogrinfo: $(features Flow.shp) features in Flow.shp"
  note "run.dxf $(features run.dxf) and Flow.shp $(features Flow.shp) features"
fi
[ "$(identify -format '%m %w %h' gr0000.png)" = "PNG $WIN_W $WIN_H" ] ||
  fail "screen shot: $(identify -format '%m %w %h' gr0000.png)"

# Keep: the picture saved, then chosen as foreground; the viewer's eXit
# writes the keep list into the settings file.
button 3
button 1 1
type_line run
until_ok 10 test -s run.kep || fail "no keep file"
button 6 1 # Done
button 3
button 2 1 # foreground: the form of the keep files
xdotool key --window "$WIN" a 2>/dev/null
xdotool key --window "$WIN" Return 2>/dev/null
button 6 1 # Done: the submenu is shown again after the choice
button 11  # eXit: the run goes on
until_ok 10 grep -qsE "^'run.kep +' +0 /" .grset || fail "run.kep is not the foreground in .grset"
until_ok 10 eval 'test "$(stat -c %s channel.res)" != "$size"' || fail "the run does not go on after eXit"

# Close, then eXit in the progress window: the run ends with its records.
button 9
wait_window small
button 5
until_ok 30 grep -q '^ >hvx terminated' screen.txt || fail "the run did not end after eXit"
wait "$PID" || fail "exit status $? after eXit"
PID=

# The depth Examine gave lies between the depths of the four nodes around
# its point in the last record (the flow was steady by then).
check_value() { # x y f
  python3 - "$@" <<'PY'
import math, sys
from resultfile import ResultFile
x, y, f = map(float, sys.argv[1:4])
r = ResultFile("channel.res")
xs, ys = r.coordinates()
depth = r.item(len(r.block_times()), " DFlow Depth [m]")
i = max(k for k in range(r.nx) if xs[k] <= x - r.x_origin)
j = max(k for k in range(r.ny) if ys[k] <= y - r.y_origin)
corners = [depth[jj][ii] for jj in (j, j + 1) for ii in (i, i + 1)]
print("  corner depths %s" % " ".join("%.4f" % c for c in corners))
sys.exit(0 if min(corners) - 1e-3 <= f <= max(corners) + 1e-3 else 1)
PY
}
check_value "$ex_x" "$ex_y" "$ex_f" || fail "Examine gave $ex_f, not the depth of the result file"

# A new start resumes from the saved state: its first step follows the
# saved one, and the result file goes on from the saved time.
end2=$(awk -v t="$saved_time" 'BEGIN { printf "%.2f", t + 0.5 }')
sed -i "s/^ *end 500/   end $end2/" channel.qfx
"$QF" -q channel.qfx </dev/null >screen2.txt 2>&1 || fail "warm start: exit status $?"
python3 - "$saved_time" "$end2" <<'PY' || fail "the result file does not go on from the saved state"
import sys
from resultfile import ResultFile
saved, end = float(sys.argv[1]), float(sys.argv[2])
t = ResultFile("channel.res").block_times()
print("  blocks after the warm start: %s" % " ".join("%.3f" % x for x in t))
ok = len(t) in (16, 17) and abs(t[13] - saved) < 1e-5 and abs(t[14] - saved - 0.25) < 0.01
sys.exit(0 if ok and abs(t[-1] - end) < 0.01 else 1)
PY

# Reset in the progress window of the resumed run withdraws the marker.
sed -i "s/^ *end $end2/   end 500/" channel.qfx
"$QF" channel.qfx </dev/null >screen3.txt 2>&1 &
PID=$!
wait_window small
button 2
until_ok 10 eval '[ "$(head -c 200 .hvx | tr -s " \n" " ")" = " 0 0 0 " ]' ||
  fail "Reset: the marker reads '$(cat .hvx)'"
button 5
until_ok 30 grep -q '^ >hvx terminated' screen3.txt || fail "the run did not end after eXit"
wait "$PID" || fail "exit status $? after eXit"
PID=

# The browser: the result file played from its first record to its last,
# where Examine in the viewer gives the depth of the file.
"$QF" -v channel.res </dev/null >view.txt 2>&1 &
PID=$!
wait_window plot
button 1 # First
button 7 # Play: the records one after the other up to the last
# Play has ended when the picture stands still.
shot() { import -window "$WIN" png:- 2>/dev/null | md5sum; }
still() {
  local a b
  a=$(shot)
  sleep 1
  b=$(shot)
  [ "$a" = "$b" ]
}
until_ok 60 still || fail "Play does not come to rest"
button 9 # View: the viewer's own menu
button 13
click $((WIN_W * 4 / 10)) $((WIN_H * 505 / 1000))
until_ok 10 grep -q ' /xyz$' view.txt || fail "Examine in the browser wrote no line"
read -r ex_x ex_y ex_f _ < <(grep ' /xyz$' view.txt | tail -1)
note "browser: depth $ex_f m at $ex_x $ex_y"
check_value "$ex_x" "$ex_y" "$ex_f" || fail "the browser shows $ex_f, not the depth of the last record"
button 11 # eXit of the viewer
button 10 # eXit of the browser
until_ok 10 eval '! kill -0 $PID 2>/dev/null' || fail "the browser does not end at eXit"
wait "$PID" || fail "browser: exit status $?"
PID=
echo "watched run: ok"
