// Speed of the transport step and of the bed update on a frozen flow field
// built in memory, against one first-order flow step on the same state.
//
//   transport_bench [cells_per_side [steps]]   (default 1000 x 1000 cells, 40 steps)
//
// The field: 2 m deep water, 5 m cells, an eastward flow of 1 m2/s with a
// superposed gyre (a discrete stream function, so the face fluxes are
// free of divergence), eddy viscosity 0.05 m2/s, a tracer blob, and a
// shear velocity above the threshold of motion of 1 mm grains. Prints the
// cell updates per second (real cells x steps / seconds) and the seconds per
// step of `flow` (first order), `mix` and `mbed`.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "io/channels.h"
#include "io/messages.h"
#include "io/textio.h"
#include "model/hydro/friction.h"
#include "model/hydro/hydro.h"
#include "model/hydro/threads.h"
#include "model/state.h"
#include "model/transport/mobile_bed.h"
#include "model/transport/transport.h"

namespace {

void frozen_field(qf::Model& m, int n) {
  m.coin1.nx = m.coin1.ny = n;
  m.coin1.nxx = m.coin1.nyy = n + 2;
  m.coin1.nn = m.coin1.nxx * m.coin1.nyy;
  m.coin.dx = m.coin.dy = 5.0f;
  m.coin.cell_area = 25.0f;
  m.coin1.friction_law = qf::law_manning;
  m.coin.table_a[1] = qf::table_end;
  m.csed.d50 = 0.001f;
  qf::alloc_flow(m, m.coin1.nn);
  qf::FlowValues& f = m.f;
  const int nxx = m.coin1.nxx, nyy = m.coin1.nyy;
  const double pi = 3.14159265358979;
  // Stream function at corner (i, j), the north-east corner of node (i, j):
  // 1 m2/s through every column from the west ring to the east ring, plus a
  // gyre that vanishes on the outline of the real cells.
  auto psi = [&](int i, int j) {
    const int jj = std::min(std::max(j, 1), n + 1);
    double v = 5.0 * (jj - 1);
    if (i > 1 && i < n + 1 && j > 1 && j < n + 1)
      v += 400.0 * std::sin(pi * (i - 1) / n) * std::sin(pi * (j - 1) / n);
    return v;
  };
  for (int j = 1; j <= nyy; ++j) {
    for (int i = 1; i <= nxx; ++i) {
      const int k = m.node(i, j);
      const bool ring = i == 1 || j == 1 || i == nxx || j == nyy;
      f.h[k] = ring ? 0.0f : 2.0f;
      f.ldry[k] = ring ? 1 : 0;
      f.ks[k] = 30.0f;
      f.zbr[k] = -9.0e20f;
      f.veg[k] = -0.01f;
      f.nu[k] = 0.05f;
      f.us[k] = 0.06f + 0.02f * static_cast<float>(std::sin(0.01 * i) * std::cos(0.013 * j));
      f.qq[k] = static_cast<float>((psi(i, j) - psi(i, j - 1)) / 5.0);
      f.rr[k] = static_cast<float>(-(psi(i, j) - psi(i - 1, j)) / 5.0);
      const double dx = i - nxx / 3.0, dy = j - nyy / 2.0;
      f.c[k] = ring ? 0.0f : static_cast<float>(std::exp(-(dx * dx + dy * dy) / 400.0));
    }
  }
  for (int j = 2; j <= nyy - 1; ++j) {
    for (int i = 2; i <= nxx - 1; ++i) {
      const int k = m.node(i, j);
      f.q[k] = 0.5f * (f.qq[k] + f.qq[k - 1]);
      f.r[k] = 0.5f * (f.rr[k] + f.rr[k - nxx]);
    }
  }
  for (int k = 0; k < m.coin1.nn; ++k) f.af[k] = 1.0f;
}

void report(const std::string& what, double sec, int n, int steps) {
  const double cells = static_cast<double>(n) * n;
  std::cout << what << ": " << qf::fmt_f(cells * steps / sec / 1.0e6, 8, 2)
            << " million cell updates/s," << qf::fmt_f(sec / steps, 9, 4) << " s/step  ("
            << qf::fmt_i(n, 5) << " x" << qf::fmt_i(n, 5) << " cells," << qf::fmt_i(steps, 5)
            << " steps," << qf::fmt_i(qf::step_threads(), 3) << " thread(s))\n";
}

template <class F>
double timed(int steps, F&& step) {
  step();  // warm-up
  const auto t0 = std::chrono::steady_clock::now();
  for (int s = 0; s < steps; ++s) step();
  const auto t1 = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(t1 - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int steps = argc > 2 ? std::atoi(argv[2]) : 40;
  qf::pin_threads();  // as the program does before its time loop
  if (n < 4 || steps < 1) {
    std::cerr << "usage: transport_bench [cells_per_side >= 4 [steps >= 1]]\n";
    return 2;
  }
  std::istringstream kb;
  std::ostringstream scr, err;
  qf::Channels io(kb, scr, err);
  qf::Messages msg(io);

  {
    qf::Model m;
    frozen_field(m, n);
    qf::Hydro hw;
    qf::prepare(m, hw);
    report("flow, first order", timed(steps, [&] { qf::flow(m, hw, io, msg); }), n, steps);
  }
  {
    qf::Model m;
    frozen_field(m, n);
    qf::TransportWork tw;
    qf::Hydro hw;
    qf::prepare_transport(m, tw);
    const double before = qf::mix_total(m);
    double out = 0.0;
    const double sec = timed(steps, [&] {
      qf::mix(m, tw, hw.boundary, io, msg);
      out += tw.boundary_out - tw.boundary_in;
    });
    report("mix              ", sec, n, steps);
    std::cout << "  mix: dt" << qf::fmt_f(tw.dt, 9, 3) << " s, relative balance error"
              << qf::fmt_e((qf::mix_total(m) + out - before) / before, 11, 3) << "\n";
  }
  {
    qf::Model m;
    frozen_field(m, n);
    m.coin.dt = 1.0f;
    qf::BedWork bw;
    qf::prepare_bed(m, bw);
    report("mbed             ", timed(steps, [&] { qf::mbed(m, bw); }), n, steps);
  }
  return 0;
}
