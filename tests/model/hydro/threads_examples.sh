#!/usr/bin/env bash
# The examples (channel, tracer on the channel's flow, dam break dry and wet,
# flood plain, scour) give byte-identical result files, max-value files,
# grids, balance files and listings (but for the date and the wall time) on
# 1, 2 and 3 threads, and with the sweep built for each instruction set the
# processor offers (x86-64 on one thread, AVX2 on two, the widest on 1, 2
# and 3). The grids are small: every pass is made to use the threads
# (QF_PARALLEL_NODES=0). End times are shortened.
source "$(dirname "$0")/../../driver/verify_common.bash" "$@"
export QF_PARALLEL_NODES=0

# The directory of case NAME.
setup() {
  local name=$1 dir=$WORK/$1/src
  mkdir -p "$dir"
  case $name in
    channel) cp "$SRC"/examples/channel/* "$dir"/
             sed -i 's/^   end 3.0$/   end 2.3/' "$dir/tracer.qfx" ;;
    floodplain) cp "$SRC"/examples/floodplain/* "$dir"/
                sed -i "s/^   end 2.5$/   end 0.5/" "$dir/floodplain.qfx" ;;
    scour) cp "$SRC"/examples/scour/* "$dir"/
           sed -i 's/^   end 0.5$/   end 0.1/' "$dir/scour.qfx" ;;
    dambreak | dambreak_wet) cp "$SRC"/examples/dambreak/* "$dir"/ ;;
  esac
}

# The command files (and run options after ":") of case NAME, in order.
commands() {
  case $1 in
    channel) echo "channel.qfx tracer.qfx" ;;
    floodplain) echo floodplain.qfx ;;
    scour) echo scour.qfx ;;
    dambreak) echo dambreak.qfx ;;
    dambreak_wet) echo dambreak.qfx:@wet ;;
  esac
}

for name in channel dambreak dambreak_wet floodplain scour; do
  setup "$name"
  # (In the sanitizer build: the widest set on 1 thread against the
  # baseline on 3 and AVX2 on 2.)
  cases="1 2 3 1:base 2:avx2"
  [ -n "${QF_SANITIZED:-}" ] && cases="1 3:base 2:avx2"
  for case in $cases; do
    t=${case%%:*} isa=${case#*:}
    [ "$isa" = "$case" ] && isa=avx512
    run=$WORK/$name/t$t-$isa
    cp -r "$WORK/$name/src" "$run"
    for cmd in $(commands "$name"); do
      QF_ISA=$isa OMP_NUM_THREADS=$t run_model "$run" ${cmd/:/ }
      if [ "$cmd" != tracer.qfx ]; then  # the transport run has no water balance
        grep -q "^ >water balance .* on $t threads\?, [-A-Za-z0-9]*:$" "$run/screen.txt" ||
          fail "$name $cmd: the summary does not name $t thread(s)"
      fi
    done
    rm "$run/screen.txt"
    # The listing without its date, the wall time, the threads and the
    # instruction set.
    sed -i -E -e 's/wall time .* s on [0-9]+ threads?, [-A-Za-z0-9]+:/wall time/' \
      -e 's/[0-9]+ [A-Z][a-z]{2} [0-9]{4} [0-9]{2}:[0-9]{2}/(date)/' "$run/out"
  done
  ref=$WORK/$name/t1-avx512
  n=$(ls "$ref" | wc -l)
  for run in "$WORK/$name"/t*; do
    [ "$run" = "$ref" ] && continue
    diff -r "$ref" "$run" | head -20 >&2 || fail "$name: ${run##*/} differs from 1 thread"
  done
  note "$name: $n files the same for threads:set $cases (default set avx512)"
done
