#!/usr/bin/env bash
# What watching a run costs: a 1000 x 1000-cell wet dam break run with -q,
# with the small progress window, and with the plot window open on the depth
# (Show clicked as soon as the progress window is up); then the time from
# the click on Show until the depth plot of the valley example is on the
# screen. Runs its own virtual X server.
#
#   bash bench/watch_overhead.sh [build dir] [steps (0: the valley only)] [rounds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
steps=${2:-300}
if [ -z "${QF_BENCH_DISPLAY:-}" ]; then
  QF_BENCH_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1600x1200x24 -noreset" bash "$0" "$@"
fi
qf=$build/quellfax
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
source "$root/bench/dambreak_input.sh"
dambreak_bed
dambreak_qfx 'watched-run benchmark' "$steps"
cat >>run.qfx <<QFX
   to 'bench.res'
   interval 100
>>
QFX

NAME=Quellfax_v3.0_1
# Window of the program, small (below 400 pixels wide) or not.
window() { # small|plot
  local w WIDTH
  for w in $(xdotool search --onlyvisible --name "$NAME" 2>/dev/null); do
    WIDTH=0 # a window closed meanwhile has none
    eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null | grep '^WIDTH=')"
    [ "$WIDTH" -gt 0 ] || continue
    if { [ "$1" = small ] && [ "$WIDTH" -lt 400 ]; } || { [ "$1" = plot ] && [ "$WIDTH" -ge 400 ]; }; then
      echo "$w $WIDTH"
      return 0
    fi
  done
  return 1
}
show() { # clicks Show in the small window once it is up
  local w width
  until read -r w width < <(window small); do sleep 0.05; done
  # Third button of the column at the right edge (76.5 wide, 19 apart).
  xdotool mousemove --window "$w" $((width - 42)) $((4 + 9 + 2 * 19)) click 1
}
# The X server of this display, whose work for the window counts too.
xpid=$(ps -eo pid=,args= | awk -v d="$DISPLAY" '$2 ~ /Xvfb$/ && $3 == d { print $1 }' | head -1)
ticks=$(getconf CLK_TCK)
xcpu() { # CPU seconds of the X server so far
  if [ -n "$xpid" ]; then awk -v t="$ticks" '{ print ($14 + $15) / t }' "/proc/$xpid/stat"; else echo 0; fi
}
# One whole run: wall seconds, and CPU seconds of the program and of the X
# server (under a busy machine the CPU time is the steadier figure).
run() { # mode
  local flag=""
  [ "$1" = quiet ] && flag=-q
  local x0 s e
  x0=$(xcpu)
  s=$(date +%s.%N)
  /usr/bin/time -f "%U %S" -o cpu.txt "$qf" $flag run.qfx </dev/null >screen.txt 2>&1 &
  local pid=$!
  [ "$1" = plot ] && show
  wait "$pid"
  e=$(date +%s.%N)
  grep -q '^ >hvx terminated' screen.txt || { tail screen.txt; exit 1; }
  read -r u k <cpu.txt
  awk -v s="$s" -v e="$e" -v u="$u" -v k="$k" -v x0="$x0" -v x1="$(xcpu)" \
    'BEGIN { printf "%.2f %.2f %.2f\n", e - s, u + k, x1 - x0 }'
}
# The least CPU time of a mode so far, or the new run when it took less.
least() { # old new
  if [ -z "$1" ] || awk -v a="$1" -v b="$2" 'BEGIN { split(a, x, " "); split(b, y, " "); exit !(y[2] + y[3] < x[2] + x[3]) }'; then
    echo "$2"
  else
    echo "$1"
  fi
}
rounds=${3:-5}
if [ "$steps" -gt 0 ]; then
  # The modes take turns, so that a busy spell of the machine does not
  # fall on one of them only.
  q="" s="" p=""
  for ((r = 0; r < rounds; r++)); do
    q=$(least "$q" "$(run quiet)")
    s=$(least "$s" "$(run small)")
    p=$(least "$p" "$(run plot)")
  done
  awk -v q="$q" -v s="$s" -v p="$p" -v n="$steps" -v r="$rounds" 'BEGIN {
    split(q, Q, " "); split(s, S, " "); split(p, P, " ")
    base = Q[2] + Q[3]
    printf "1000 x 1000 cells, %d steps, best of %d runs (seconds; CPU = program + X server):\n", n, r
    printf "  %-18s %8s %8s %8s %9s\n", "", "wall", "program", "X", "CPU cost"
    printf "  %-18s %8.2f %8.2f %8.2f\n", "-q", Q[1], Q[2], Q[3]
    printf "  %-18s %8.2f %8.2f %8.2f %+8.1f%%\n", "progress window", S[1], S[2], S[3], 100 * (S[2] + S[3] - base) / base
    printf "  %-18s %8.2f %8.2f %8.2f %+8.1f%%\n", "depth plot window", P[1], P[2], P[3], 100 * (P[2] + P[3] - base) / base
  }'
fi

# The valley example: from the click on Show until the depth plot (with the
# colours of its key, drawn last) is on the screen.
mkdir valley
cd valley
sed 's/^ *end 30.0/   end 2.0/' "$root/examples/valley/valley.qfx" >valley.qfx
gunzip -c "$root/examples/valley/valley-10m.asc.gz" >valley-10m.asc
"$qf" valley.qfx </dev/null >screen.txt 2>&1 &
pid=$!
until read -r w width < <(window small); do sleep 0.05; done
start=$(date +%s.%N)
xdotool mousemove --window "$w" $((width - 42)) $((4 + 9 + 2 * 19)) click 1
until read -r w width < <(window plot); do sleep 0.01; done
mapped=$(date +%s.%N)
# The colour key stands above the plot on the right and is drawn last.
until [ "$(import -window "$w" -crop $((width * 4 / 10))x20+$((width / 2))+8 +repage \
  -format %k info: 2>/dev/null)" -ge 8 ]; do
  sleep 0.01
done
end=$(date +%s.%N)
kill "$pid" 2>/dev/null || true
sleep 0.5
kill "$pid" 2>/dev/null || true
awk -v s="$start" -v m="$mapped" -v e="$end" 'BEGIN {
  printf "valley (1378 x 1224 cells) after the click on Show: window up %.2f s, depth plot with its key %.2f s\n", m - s, e - s
  print "  (the last figure includes up to one look at the window by import, about 0.1 to 0.3 s)" }'
