// Eddy viscosity field of the time step.
#include "model/hydro/turbulence.h"

#include <algorithm>
#include <cmath>

#include "model/hydro/hydro.h"
#include "model/hydro/threads.h"

namespace qf {

void tmod(Model& m) {
  if (!m.clog.turbulence) return;
  FlowValues& f = m.f;
  const long nn = m.coin1.nn;
  const float visc = m.coin.viscosity;
  std::fill(f.nu.begin(), f.nu.begin() + nn, visc);

  const float cv = m.coin.cv;
  if (cv > 0.0001f) {
#pragma omp parallel for schedule(static) if (threaded(nn))
    for (long k = 0; k < nn; ++k) f.nu[k] += cv * f.us[k] * f.h[k];
  }

  const float lm2 = m.coin.mixing_length_sq;
  if (lm2 > 0.0001f) {
    // Mixing length: nu >= Lm^2/2 times the sum of the one-sided velocity
    // differences to the wet neighbours.
    const long nxx = m.coin1.nxx;
    const float dx = m.coin.dx, dy = m.coin.dy;
    auto u = [&](long k) { return f.q[k] / f.h[k]; };
    auto v = [&](long k) { return f.r[k] / f.h[k]; };
    // Node indices nxx + 1 .. nn - nxx - 1 (from 1) are elements nxx .. nn - nxx - 2.
#pragma omp parallel for schedule(static) if (threaded(nn))
    for (long k = nxx; k <= nn - nxx - 2; ++k) {
      if (f.ldry[k]) continue;
      const float uk = u(k), vk = v(k);
      float sum = 0.0f;
      if (!f.ldry[k + 1]) sum += std::fabs(v(k + 1) - vk) / dx;
      if (!f.ldry[k - 1]) sum += std::fabs(v(k - 1) - vk) / dx;
      if (!f.ldry[k + nxx]) sum += std::fabs(u(k + nxx) - uk) / dy;
      if (!f.ldry[k - nxx]) sum += std::fabs(u(k - nxx) - uk) / dy;
      f.nu[k] = std::max(f.nu[k], 0.5f * lm2 * sum);
    }
  }
}

}  // namespace qf
