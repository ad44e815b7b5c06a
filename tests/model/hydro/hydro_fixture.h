// Small models built in memory for the flow tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>

#include "io/channels.h"
#include "io/messages.h"
#include "model/hydro/friction.h"
#include "model/hydro/hydro.h"
#include "model/state.h"

namespace qf::test {

// A grid of nx x ny real cells of dx x dy m, no boundary or source blocks
// (the ring is closed), Manning roughness kst everywhere.
inline void make_grid(Model& m, int nx, int ny, float dx, float dy, float kst = 30.0f) {
  m.coin1.nx = nx;
  m.coin1.ny = ny;
  m.coin1.nxx = nx + 2;
  m.coin1.nyy = ny + 2;
  m.coin1.nn = m.coin1.nxx * m.coin1.nyy;
  m.coin.dx = dx;
  m.coin.dy = dy;
  m.coin1.friction_law = law_manning;
  m.coin.table_a[1] = table_end;
  alloc_flow(m, m.coin1.nn);
  for (int k = 0; k < m.coin1.nn; ++k) {
    m.f.ks[k] = kst;
    m.f.zbr[k] = -9.0e20f;
    m.f.veg[k] = -0.01f;
  }
}

// Water level eta(x, y) over the bed at the cell centres of the real cells
// (x, y from the centre of the first real cell); depth max(eta - zb, 0).
inline void set_level(Model& m, const std::function<float(float, float)>& eta) {
  for (int j = 2; j <= m.coin1.nyy - 1; ++j) {
    for (int i = 2; i <= m.coin1.nxx - 1; ++i) {
      const int k = m.node(i, j);
      const float x = (i - 2) * m.coin.dx, y = (j - 2) * m.coin.dy;
      m.f.h[k] = std::max(eta(x, y) - m.f.zb[k], 0.0f);
    }
  }
}

// What initialisation derives before the first step: cell area, dry flags,
// wetted-area factors.
inline void derive(Model& m) {
  m.coin.cell_area = std::fabs(m.coin.dx * m.coin.dy);
  FlowValues& f = m.f;
  for (int k = 0; k < m.coin1.nn; ++k) {
    if (!(f.h[k] > m.coin.hdry)) {
      f.h[k] = std::max(f.h[k], 0.0f);
      f.q[k] = f.r[k] = 0.0f;
      f.af[k] = 1.0f;
      f.ldry[k] = 1;
    } else {
      f.ldry[k] = 0;
      f.af[k] = area(m, k + 1);
    }
  }
}

// Water volume of the real cells [m3], summed in double.
inline double volume(const Model& m) {
  double v = 0.0;
  for (int j = 2; j <= m.coin1.nyy - 1; ++j) {
    for (int i = 2; i <= m.coin1.nxx - 1; ++i) v += m.f.h[m.node(i, j)];
  }
  return v * m.coin.dx * m.coin.dy;
}

// Channels and message service writing to string streams.
struct Io {
  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io{kb, scr, err};
  Messages msg{io};
};

}  // namespace qf::test
