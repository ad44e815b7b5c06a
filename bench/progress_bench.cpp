// Cost of the progress line per time step: progress_step on a terminal
// (a clock reading, a redraw at most twice a second) and without one,
// against the time of one flow step of the whole-run benchmark.
//
//   progress_bench [calls]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "output/progress.h"

int main(int argc, char** argv) {
  const long calls = argc > 1 ? std::atol(argv[1]) : 20000000L;
  qf::Model m;
  m.clog.quiet = true;
  m.coin.time_end = 30.0f;
  m.coin1.nn = 1000;
  std::ostringstream sink;
  for (const bool terminal : {false, true}) {
    qf::ProgressLine p;
    qf::progress_start(m, p, terminal, 0);
    const auto t0 = std::chrono::steady_clock::now();
    for (long s = 1; s <= calls; ++s) {
      m.coin.time = 1.0e-6f * static_cast<float>(s);
      qf::progress_step(m, p, sink, static_cast<int>(s));
    }
    const double ns =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() /
        static_cast<double>(calls);
    std::printf("progress_step %s: %.1f ns per step (%ld steps, %zu bytes drawn)\n",
                terminal ? "on a terminal" : "without a terminal", ns, calls, sink.str().size());
  }
  std::printf("one step of bench/run_bench.sh (1000 x 1000 cells) takes about 0.05 to 0.2 s\n");
  return 0;
}
