// Bed-load transport and bed update (see mobile_bed.h).
//
// The face sweep runs row by row from south to north, along each row from
// west to east, beginning with the ring row and column so that the fluxes
// through the faces of the first real row and column reach the cells beyond
// them. Each face flux is formed once and used by the nodes on both sides,
// so the volume of bed change of the updated area is the net flux through
// its outline times the factor and dt.
#include <algorithm>
#include <cmath>

#include "model/hydro/threads.h"
#include "model/transport/mobile_bed.h"
#include "model/transport/transport_kernels.h"

namespace qf {

void prepare_bed(const Model& m, BedWork& w) {
  const int nxx = std::max(m.coin1.nxx, 0);
  const int nyy = std::max(m.coin1.nyy, 0);
  const std::size_t nn = static_cast<std::size_t>(nxx) * static_cast<std::size_t>(nyy);
  w.qbx.assign(nn, 0.0f);
  w.qby.assign(nn, 0.0f);
  w.qbs.assign(static_cast<std::size_t>(nxx) + 1, 0.0f);
  w.zrest.assign(nn, 0.0f);
  w.nxx = nxx;
  w.nyy = nyy;
}

void mbed(Model& m, BedWork& w) {
  const int nn = m.coin1.nn;
  if (!m.f.allocated || nn <= 0) return;
  if (w.nxx != m.coin1.nxx || w.nyy != m.coin1.nyy ||
      w.qbx.size() != static_cast<std::size_t>(nn)) {
    prepare_bed(m, w);
  }
  FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;

  ++w.calls;
  const float fac = bed_factor(w.calls, m.csed.time_factor);
  w.factor = fac;
  const float g = m.coin.gravity;
  const float ucsq = m.csed.d50 * g * m.csed.rel_density * m.csed.theta_crit;
  const float a = 5.0f / (m.csed.rel_density * g);
  const float hdry = m.coin.hdry;

  // Transport rate per node.
  {
    const float* h = f.h.data();
    const float* q = f.q.data();
    const float* r = f.r.data();
    const float* us = f.us.data();
    const float* veg = f.veg.data();
    const float* ks = f.ks.data();
    const float* zb = f.zb.data();
    const float* zbr = f.zbr.data();
    float* qb = f.qb.data();
    float* qbx = w.qbx.data();
    float* qby = w.qby.data();
#pragma omp parallel for schedule(static) if (threaded(nn))
    for (int k = 0; k < nn; ++k) {
      const float hm = std::max(hdry, h[k]);
      const float u = q[k] / hm;
      const float v = r[k] / hm;
      const float speed = std::max(std::sqrt(u * u + v * v), 0.001f);
      const float ustar = veg[k] > 0.0f ? bed_grain_shear(ks[k], hm, speed) : us[k];
      const float rate = zbr[k] >= zb[k] ? 0.0f : bed_load_rate(ustar, ucsq, a);
      qb[k] = rate;
      qbx[k] = rate * u / speed;
      qby[k] = rate * v / speed;
    }
  }

  // Face fluxes and the bed change.
  const float dt = m.coin.dt;
  const float rdx = 1.0f / m.coin.dx;
  const float rdy = 1.0f / m.coin.dy;
  const std::uint8_t* dry = f.ldry.data();
  const float* qbx = w.qbx.data();
  const float* qby = w.qby.data();
  float* zb = f.zb.data();
  // Rows in blocks on all threads; each block forms the north-face fluxes
  // of the row below it itself.
  const int per = std::max(w.block_rows, 1);
  const std::size_t nr = static_cast<std::size_t>(nxx) + 1;
  const std::size_t threads = static_cast<std::size_t>(std::max(step_threads(), 1));
  if (w.qbs.size() < threads * nr) w.qbs.assign(threads * nr, 0.0f);
  float* zrest = w.zrest.data();
  const int blocks = (nyy - 1 + per - 1) / per;
  auto north = [&](int p) {
    return dry[p] ? 0.0f : bed_face_flux(qby[p], qby[p + nxx], true, !dry[p + nxx]);
  };
#pragma omp parallel if (threaded(nn))
  {
    float* qbs = w.qbs.data() + static_cast<std::size_t>(step_thread()) * nr;
#pragma omp for schedule(static)
    for (int b = 0; b < blocks; ++b) {
      const int ja = 1 + b * per;
      const int jb = std::min(nyy - 1, ja + per - 1);
      for (int i = 1; i <= nxx - 1; ++i) qbs[i] = ja == 1 ? 0.0f : north((ja - 2) * nxx + i - 1);
      for (int j = ja; j <= jb; ++j) {
        const int row = (j - 1) * nxx;
        float tw = 0.0f;
        for (int i = 1; i <= nxx - 1; ++i) {
          const int p = row + i - 1;
          float te = 0.0f, tn = 0.0f;
          if (!dry[p]) {
            const int e = p + 1;
            const int n = p + nxx;
            te = bed_face_flux(qbx[p], qbx[e], true, !dry[e]);
            tn = bed_face_flux(qby[p], qby[n], true, !dry[n]);
            if (i > 2 && j > 2) {
              const float dz = zrest[p] - fac * dt * ((te - tw) * rdx + (tn - qbs[i]) * rdy);
              const float z1 = zb[p] + dz;
              zrest[p] = dz - (z1 - zb[p]);
              zb[p] = z1;
            }
          }
          tw = te;
          qbs[i] = tn;
        }
      }
    }
  }
}

}  // namespace qf
