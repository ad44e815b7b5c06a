// Initialisation of the model state after the input.
#include "model/init.h"

#include <cmath>

#include "io/stop.h"

namespace qf {

void init(Model& m, Channels& io, Messages& msg, const std::function<void(Model&)>& boundary) {
  Coin& co = m.coin;
  const int listing = m.coin1.ch_listing;
  co.cell_area = std::fabs(co.dx * co.dy);
  if (!(co.cell_area > 0.0f)) {
    msg.iierr(3, "cell area .eq. 0", listing);
    throw Stop(1, "cell area .eq. 0");
  }
  if (!m.cochar.initial_file.empty()) {
    if (boundary) boundary(m);
  } else if (m.clog.transport) {
    msg.iierr(2, "must have initial condition for mixing", listing);
  }

  FlowValues& f = m.f;
  const int nn = m.f.allocated ? m.coin1.nn : 0;
  const std::size_t nout = f.outside.size();
  for (int k = 1; k <= nn; ++k) {
    const std::size_t e = static_cast<std::size_t>(k - 1);
    // A node outside the model starts dry whatever an initial condition
    // put there.
    if (e < nout && f.outside[e] != 0) f.h[e] = 0.0f;
    if (!(f.h[e] > co.hdry)) {
      f.h[e] = f.h[e] > 0.0f ? f.h[e] : 0.0f;  // a value that is not a number becomes 0
      f.q[e] = 0.0f;
      f.r[e] = 0.0f;
      f.af[e] = 1.0f;
      f.ldry[e] = 1;
    } else {
      f.ldry[e] = 0;
      f.af[e] = area(m, k);
    }
  }

  if (co.viscosity > 1.0e-4f || co.cv > 1.0e-4f || co.mixing_length_sq > 1.0e-4f) {
    m.clog.turbulence = true;
    io.line(ch::screen, ">turbulent flow");
  }
}

}  // namespace qf
