#!/usr/bin/env bash
# The end of a run with windows: with standard input a terminal the window
# keeps the final picture until a key in it; otherwise the run ends by itself.
#   bash final_picture.sh <path to quellfax> <source dir>
set -euo pipefail
for tool in xvfb-run Xvfb xdotool script timeout; do
  command -v $tool >/dev/null || { echo "final_picture: skipped, no $tool"; exit 0; }
done
if [ -z "${QF_FINAL_DISPLAY:-}" ]; then
  QF_FINAL_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
source "$(dirname "$0")/../driver/verify_common.bash" "$@"
cp "$SRC"/examples/channel/bed.asc "$SRC"/examples/channel/channel.qfx "$WORK"/
sed -i 's/^ *end 2.0/   end 0.1/' "$WORK/channel.qfx"
cd "$WORK"
timeout 120 "$QF" channel.qfx </dev/null >screen.txt 2>&1 || fail "run without a terminal: status $?"
grep -q ' >hvx terminated' screen.txt || fail "no termination line"
! grep -q 'closes it' screen.txt || fail "a run without a terminal waits for a key"
script -qec "'$QF' channel.qfx" /dev/null >tty.txt 2>&1 &
PID=$!
timeout 120 bash -c 'until grep -q "in the window closes it" tty.txt; do sleep 0.1; done' ||
  { kill $PID; fail "no wait line: $(tail -3 tty.txt)"; }
sleep 1
kill -0 $PID 2>/dev/null || fail "the program ended without a key"
WIN=$(xdotool search --onlyvisible --name Quellfax_v3.0_1 | head -1)
# The press ends the program, so the release may meet a closed window.
xdotool key --window "$WIN" q 2>/dev/null || true
timeout 20 bash -c "while kill -0 $PID 2>/dev/null; do sleep 0.1; done" || { kill $PID; fail "a key does not end it"; }
wait $PID || fail "terminal run: status $?"
echo "final picture: ok"
