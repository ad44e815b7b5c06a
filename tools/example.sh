#!/usr/bin/env bash
# Builds Quellfax and runs the bundled example model in quiet mode.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/packages.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target quellfax
# The export program needs GDAL (libgdal-dev); without it only the simulator is built.
cmake --build "$root/build" -j"$(nproc)" --target quellfax-export 2>/dev/null ||
  echo "quellfax-export not built (no GDAL found)"
work="$root/build/example-run"
rm -rf "$work" && mkdir -p "$work"
cp -r "$root/examples/channel/." "$work/"
cd "$work"
"$root/build/quellfax" -q channel.qfx
echo
echo "Results of the example are in $work (listing: $work/out)"
