// Speed of the flow time step on a wet dam break built in memory.
//
//   flow_bench [cells_per_side [steps]]     (default 1000 x 1000 cells, 40 steps)
//
// Times `flow` alone, first and second order, and prints the cell updates per
// second (real cells x steps / seconds) and the seconds per step, by the wall
// clock and by the CPU time of the process (all threads; on a shared machine
// the wall clock of several threads is the noisier figure). OMP_NUM_THREADS
// sets the number of threads.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "io/channels.h"
#include "io/messages.h"
#include "io/textio.h"
#include "model/hydro/friction.h"
#include "model/hydro/hydro.h"
#include "model/hydro/threads.h"
#include "model/state.h"

namespace {

// Square basin with closed walls, flat bed, Manning roughness; the water
// stands 2 m deep west of the middle and 1 m east of it.
void dam_break(qf::Model& m, int n) {
  m.coin1.nx = m.coin1.ny = n;
  m.coin1.nxx = m.coin1.nyy = n + 2;
  m.coin1.nn = m.coin1.nxx * m.coin1.nyy;
  m.coin.dx = m.coin.dy = 10.0f;
  m.coin.cell_area = 100.0f;
  m.coin.time = 0.0f;
  m.coin1.friction_law = qf::law_manning;
  m.coin.table_a[1] = qf::table_end;
  qf::alloc_flow(m, m.coin1.nn);
  qf::FlowValues& f = m.f;
  for (int j = 1; j <= m.coin1.nyy; ++j) {
    for (int i = 1; i <= m.coin1.nxx; ++i) {
      const int k = m.node(i, j);
      const bool ring = i == 1 || j == 1 || i == m.coin1.nxx || j == m.coin1.nyy;
      f.h[k] = ring ? 0.0f : (i <= n / 2 + 1 ? 2.0f : 1.0f);
      f.ks[k] = 30.0f;
      f.zbr[k] = -9.0e20f;
      f.veg[k] = -0.01f;
    }
  }
  for (int k = 0; k < m.coin1.nn; ++k) {
    f.ldry[k] = f.h[k] > m.coin.hdry ? 0 : 1;
    f.af[k] = f.ldry[k] ? 1.0f : qf::area(m, k + 1);
  }
}

double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1.0e-9 * static_cast<double>(ts.tv_nsec);
}

void run(bool second_order, int n, int steps) {
  std::istringstream kb;
  std::ostringstream scr, err;
  qf::Channels io(kb, scr, err);
  qf::Messages msg(io);
  qf::Model m;
  dam_break(m, n);
  m.clog.second_order = second_order;
  qf::Hydro w;
  qf::prepare(m, w);
  qf::flow(m, w, io, msg);  // warm-up step
  const auto t0 = std::chrono::steady_clock::now();
  const double c0 = cpu_seconds();
  for (int s = 0; s < steps; ++s) qf::flow(m, w, io, msg);
  const double cpu = cpu_seconds() - c0;
  const auto t1 = std::chrono::steady_clock::now();
  const double wall = std::chrono::duration<double>(t1 - t0).count();
  const double updates = static_cast<double>(n) * n * steps;
  std::cout << (second_order ? "second order" : "first order ") << ":"
            << qf::fmt_f(updates / wall / 1.0e6, 8, 2) << " million cell updates/s,"
            << qf::fmt_f(wall / steps, 8, 4) << " s/step (wall clock);"
            << qf::fmt_f(updates / cpu / 1.0e6, 8, 2) << " million/s,"
            << qf::fmt_f(cpu / steps, 8, 4) << " s/step (CPU time)\n";
  std::cout << "              " << n << " x " << n << " cells, " << steps
            << " steps after one warm-up step," << qf::fmt_i(qf::step_threads(), 3)
            << " thread(s), volume" << qf::fmt_f(m.coin.stored_volume, 13, 0) << " m3\n";
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int steps = argc > 2 ? std::atoi(argv[2]) : 40;
  qf::pin_threads();  // as the program does before its time loop
  if (n < 4 || steps < 1) {
    std::cerr << "usage: flow_bench [cells_per_side >= 4 [steps >= 1]]\n";
    return 2;
  }
  run(false, n, steps);
  run(true, n, steps);
  return 0;
}
