#!/usr/bin/env bash
# Builds Quellfax and runs every test: the normal build, the build with
# AddressSanitizer and UndefinedBehaviorSanitizer, and a short fuzzing run of
# the command-file reader.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
fuzz_seconds=${QF_FUZZ_SECONDS:-30}
bash "$root/tools/packages.sh"

echo "== build and test (release)"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j"$jobs"
ctest --test-dir "$root/build" -j"$jobs" --output-on-failure

echo "== build and test (address and undefined-behaviour sanitizers)"
cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQF_SANITIZE=ON >/dev/null
cmake --build "$root/build-asan" -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$root/build-asan" -j"$jobs" --output-on-failure -LE slow

echo "== fuzzing the command reader for ${fuzz_seconds} s"
CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=Debug -DQF_FUZZ=ON >/dev/null
cmake --build "$root/build-fuzz" -j"$jobs" --target fuzz_input
corpus=$(mktemp -d)
cp "$root"/tests/driver/fuzz_corpus/* "$corpus"/
(cd "$corpus" && mkdir -p run && cd run &&
  "$root/build-fuzz/fuzz_input" -max_total_time="$fuzz_seconds" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 "$corpus" >"$root/build-fuzz/fuzz.log" 2>&1) ||
  { tail -50 "$root/build-fuzz/fuzz.log"; exit 1; }
tail -2 "$root/build-fuzz/fuzz.log"
echo "all tests passed"
