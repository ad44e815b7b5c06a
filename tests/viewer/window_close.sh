#!/usr/bin/env bash
# Windows closed by the window manager (openbox, Alt+F4) and a display that
# goes away: the small window's close ends the run like eXit, the plot
# window's like Close, the browser's like eXit; a server that dies ends the
# run like SIGTERM with status 129. Broken grids and other files are refused
# by the browser without a window.
#   bash window_close.sh <path to quellfax> <source dir>
set -euo pipefail
for tool in Xvfb xdotool openbox xprop; do
  command -v $tool >/dev/null || { echo "window_close: skipped, $tool is not installed"; exit 77; }
done
source "$(dirname "$0")/../driver/verify_common.bash" "$@"
XPID= PID=
trap 'for p in $PID $XPID; do kill "$p" 2>/dev/null || true; done; rm -rf "$WORK"' EXIT
until_ok() { # seconds command...
  for ((i = 0; i < $1 * 10; i++)); do "${@:2}" && return 0; sleep 0.1; done
  return 1
}
cd "$WORK"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>dpy >/dev/null 2>&1 &
XPID=$!
until_ok 10 test -s dpy || fail "no X server"
export DISPLAY=:$(cat dpy)
openbox >/dev/null 2>&1 &
# Alt+F4 reaches the window only once the window manager manages the screen.
until_ok 60 eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' ||
  fail "the window manager does not start"
cp "$SRC"/examples/channel/bed.asc "$SRC"/examples/channel/channel.qfx .
sed -i 's/^ *end 2.0/   end 500/' channel.qfx

window() { # small|plot: the program's window of that kind
  local w g
  for w in $(xdotool search --onlyvisible --name Quellfax 2>/dev/null); do
    g=$(xdotool getwindowgeometry --shell "$w" 2>/dev/null | sed -n 's/^WIDTH=//p')
    [ -n "$g" ] && [ "$1" = "$( ((g < 400)) && echo small || echo plot)" ] && WIN=$w && return 0
  done
  return 1
}
close() { # small|plot: Alt+F4 until no window of that kind is left (a key
  # sent while a loaded machine still activates the window may go astray)
  local k
  for ((k = 0; k < 6; k++)); do
    until_ok 60 window "$1" || fail "no $1 window"
    xdotool windowactivate --sync "$WIN" key alt+F4 2>/dev/null || true
    until_ok 10 eval '! window "$1"' && return 0
  done
  fail "the $1 window stays after the close"
}
ended() { # status expected
  local rc=0
  until_ok 60 eval '! kill -0 $PID 2>/dev/null' || fail "the program goes on after the close"
  wait "$PID" || rc=$?
  PID=
  [ "$rc" = "$1" ] || fail "exit status $rc, not $1: $(tail -3 screen.txt)"
}
results() { # the final outputs of the run are there
  for f in channel.max maxdepth.asc maxflow.asc channel.res.mass; do
    [ -s $f ] || fail "$f not written"
  done
  rm -f channel.max maxdepth.asc maxflow.asc channel.res.mass
}

# The small window closed: as eXit.
note "small window"
"$QF" channel.qfx </dev/null >screen.txt 2>&1 &
PID=$!
close small
ended 0
grep -q '^ >hvx terminated' screen.txt || fail "no termination line"
results

note "plot window"
# Show, the plot window closed (the small one comes back), then the small one.
"$QF" channel.qfx </dev/null >screen.txt 2>&1 &
PID=$!
until_ok 60 window small || fail "no small window"
xdotool mousemove --window "$WIN" $((310 - 42)) $((13 + 38)) click 1
close plot
close small
ended 0
results

note "browser"
# The browser closed: as eXit.
"$QF" -v channel.res </dev/null >screen.txt 2>&1 &
PID=$!
close plot
ended 0

note "server gone"
# The server dies under a run: the last state, maxima, grids, balance.
"$QF" channel.qfx </dev/null >screen.txt 2>&1 &
PID=$!
until_ok 60 window small || fail "no small window"
kill "$XPID"
wait "$XPID" || true
XPID=
ended 129
grep -q '^ >X connection lost at step' screen.txt || fail "the loss is not said"
grep -q '^ >stopped by the lost X connection after step' screen.txt || fail "no stop line"
grep -q '^ >X connection lost at step' out || fail "the loss is not in the listing"
results

# Grids the run refuses, and a command file, are refused without a window.
head -20 bed.asc >cut.asc
sed 's/^ncols 80/ncols 81/' bed.asc >wide.asc
sed 's/^cellsize 5.0/cellsize abc/' bed.asc >abc.asc
while IFS='|' read -r file want; do
  rc=0
  "$QF" -v "$file" </dev/null >screen.txt 2>&1 || rc=$?
  [ "$rc" = 1 ] || fail "-v $file: status $rc"
  grep -qF -- "$want" screen.txt || fail "-v $file: no '$want' in $(cat screen.txt)"
  ! grep -q 'keyword unknown' screen.txt || fail "-v $file reads keywords"
done <<'EOF'
cut.asc|**error: grid 'cut.asc': 3200 values expected (ncols x nrows), 1120 read before the end of the file
wide.asc|**error: grid 'wide.asc': 3240 values expected (ncols x nrows), 3200 read before the end of the file
abc.asc|**error: grid header value unreadable: cellsize, file 'abc.asc', line 5
abc.asc| >grid 'abc.asc' refused (see the error above): nothing shown
channel.qfx| >'channel.qfx' is neither a result file nor a grid
EOF
echo "window close: ok"
