#!/usr/bin/env bash
# The end of a run with windows: with standard input a terminal the window
# keeps the final picture until a key is pressed in it; with standard input
# not a terminal (scripts, CI) the run ends on its own.
#   bash final_picture.sh <path to quellfax> <source dir>
set -euo pipefail
for tool in xvfb-run Xvfb xdotool script timeout; do
  if ! command -v $tool >/dev/null; then
    echo "final_picture: skipped, $tool is not installed"
    exit 0
  fi
done
if [ -z "${QF_FINAL_DISPLAY:-}" ]; then
  QF_FINAL_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$0" "$@"
fi
source "$(dirname "$0")/../driver/verify_common.bash" "$@"
NAME=Quellfax_v3.0_1
PID=
cleanup() {
  if [ -n "$PID" ]; then kill "$PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
until_ok() {
  local limit=$(($1 * 10))
  shift
  for ((i = 0; i < limit; i++)); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}
cp "$SRC"/examples/channel/bed.asc "$SRC"/examples/channel/channel.qfx "$WORK"/
sed -i 's/^ *end 2.0/   end 0.1/' "$WORK/channel.qfx"
cd "$WORK"

# Not a terminal: the run ends by itself.
timeout 120 "$QF" channel.qfx </dev/null >screen.txt 2>&1 || fail "run without a terminal: status $?"
grep -q ' >hvx terminated' screen.txt || fail "no termination line"
grep -q 'closes it' screen.txt && fail "a run without a terminal waits for a key"

# A terminal: the window waits with the final picture.
script -qec "'$QF' channel.qfx" /dev/null >tty.txt 2>&1 &
PID=$!
until_ok 120 grep -q 'a key or a click in the window closes it' tty.txt || fail "no wait line: $(tail -3 tty.txt)"
sleep 1
kill -0 "$PID" 2>/dev/null || fail "the program ended without a key"
WIN=$(xdotool search --onlyvisible --name "$NAME" | head -1)
[ -n "$WIN" ] || fail "the window is gone before a key"
xdotool key --window "$WIN" q
until_ok 20 eval '! kill -0 $PID 2>/dev/null' || fail "a key does not end the program"
wait "$PID" || fail "terminal run: status $?"
PID=
echo "final picture: ok"
