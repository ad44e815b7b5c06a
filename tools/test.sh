#!/usr/bin/env bash
# Builds Quellfax and runs every test: the normal build, the build with
# AddressSanitizer and UndefinedBehaviorSanitizer, and short fuzzing runs of
# the command-file reader and of the keep-file replay (QF_FUZZ_SECONDS each).
# Each stage reports how long it took.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
fuzz_seconds=${QF_FUZZ_SECONDS:-30}
bash "$root/tools/packages.sh"
# A compiler cache makes a second run (or the sanitizer build of unchanged
# files) quick; the paths it keeps are relative to the tree.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# stage NAME: starts the next stage and tells how long the one before took.
stage_name="" stage_start=$SECONDS
stage() {
  [ -z "$stage_name" ] || echo "-- $stage_name: $((SECONDS - stage_start)) s"
  stage_name=$1 stage_start=$SECONDS
  [ -z "$stage_name" ] || echo "== $stage_name"
}

stage "build and test (release)"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
cmake --build "$root/build" -j"$jobs"
# The whole verification set (several minutes, most of it EA test 4) is run
# by hand: ctest --test-dir build -R verification_all
ctest --test-dir "$root/build" -j"$jobs" --output-on-failure -E script_verification_all_slow

stage "build and test (address and undefined-behaviour sanitizers)"
# The benchmarks are built and run in the release build only.
cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQF_SANITIZE=ON -DQF_BENCH=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$root/build-asan" -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0" \
  ctest --test-dir "$root/build-asan" -j"$jobs" --output-on-failure -LE slow

stage "fuzzing the command reader and the keep-file replay for ${fuzz_seconds} s each"
CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=Debug -DQF_FUZZ=ON \
  -DQF_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$root/build-fuzz" -j"$jobs" --target fuzz_input fuzz_keep
# fuzz TARGET CORPUS MAX_LEN: runs TARGET on a copy of CORPUS in a scratch folder.
fuzz() {
  local corpus log=$root/build-fuzz/$1.log
  corpus=$(mktemp -d)
  cp "$2"/* "$corpus"/
  (cd "$corpus" && mkdir -p run && cd run &&
    "$root/build-fuzz/$1" -max_total_time="$fuzz_seconds" -max_len="$3" -timeout=10 \
      -rss_limit_mb=2048 "$corpus" </dev/null >"$log" 2>&1) ||
    { tail -50 "$log"; exit 1; }
  tail -2 "$log"
  rm -rf "$corpus"
}
fuzz fuzz_input "$root/tests/driver/fuzz_corpus" 4096
fuzz fuzz_keep "$root/tests/driver/fuzz_keep_corpus" 4096
stage ""
echo "all tests passed"
