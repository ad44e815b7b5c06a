// Tracer and heat transport on a frozen flow field (see transport.h).
//
// Both sweeps run row by row from south to north and along each row from
// west to east. A face flux is computed once, by the node west or south of
// it, and handed to the node on its other side: along the row in `fw`, to
// the next row in the per-column array `fs`. The sum of all changes of
// c h area is therefore the net flux through the boundary faces plus the
// loads, up to rounding.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "io/stop.h"
#include "model/hydro/threads.h"
#include "model/transport/transport.h"
#include "model/transport/transport_kernels.h"

namespace qf {

void prepare_transport(const Model& m, TransportWork& w) {
  const int nxx = std::max(m.coin1.nxx, 0);
  const int nyy = std::max(m.coin1.nyy, 0);
  w.c0.assign(static_cast<std::size_t>(nxx) * static_cast<std::size_t>(nyy), 0.0f);
  w.fs.assign(static_cast<std::size_t>(nxx) + 1, 0.0f);
  w.grs.assign(static_cast<std::size_t>(nxx) + 1, 0.0f);
  w.nxx = nxx;
  w.nyy = nyy;
}

namespace {

// Cell area as initialisation sets it, or from the cell size before that.
float cell_area(const Model& m) {
  return m.coin.cell_area > 0.0f ? m.coin.cell_area : std::fabs(m.coin.dx * m.coin.dy);
}

bool sized_for(const Model& m, const TransportWork& w) {
  return w.nxx == m.coin1.nxx && w.nyy == m.coin1.nyy &&
         w.c0.size() == static_cast<std::size_t>(std::max(m.coin1.nn, 0));
}

// Read-only fields of both sweeps.
struct MixFields {
  int nxx, nyy;
  float dx, dy, rdx, rdy, area;
  const float *c0, *h, *qq, *rr, *nu, *srcm;
  const std::uint8_t* dry;
};

MixFields mix_fields(const Model& m, const TransportWork& w) {
  const FlowValues& f = m.f;
  return MixFields{m.coin1.nxx,      m.coin1.nyy,  m.coin.dx,     m.coin.dy,    1.0f / m.coin.dx,
                   1.0f / m.coin.dy, cell_area(m), w.c0.data(),   f.h.data(),   f.qq.data(),
                   f.rr.data(),      f.nu.data(),  f.srcm.data(), f.ldry.data()};
}

// First-order half step from c0 into c, rows ja .. jb; fs is the block's
// carry of south-face fluxes (index = column).
void predictor_rows(const MixFields& x, float half_dt, float* c, float* fs, int ja, int jb) {
  const int nxx = x.nxx;
  const float *c0 = x.c0, *h = x.h, *qq = x.qq, *rr = x.rr, *nu = x.nu;
  const std::uint8_t* dry = x.dry;
  // South faces of row ja: the boundary faces (the discharge the flow step
  // kept in rr of the ring node s) or the north faces of the row below.
  for (int i = 2; i <= nxx - 1; ++i) {
    const int s = (ja - 2) * nxx + i - 1;
    const int n = s + nxx;
    fs[i] = 0.0f;
    if (dry[ja == 2 ? n : s]) continue;
    const float cf = mix_upwind(rr[s], c0[s], c0[n]);
    fs[i] = mix_face_flux(x.dx, cf, rr[s], nu[s], nu[n], h[s], h[n], c0[s], c0[n], x.rdy);
  }

  for (int j = ja; j <= jb; ++j) {
    const int row = (j - 1) * nxx;
    // West boundary face: between the ring node of column 1 and the first cell.
    float fw = 0.0f;
    {
      const int p = row + 1;
      const int wn = row;
      if (!dry[p]) {
        const float cf = mix_upwind(qq[wn], c0[wn], c0[p]);
        fw = mix_face_flux(x.dy, cf, qq[wn], nu[wn], nu[p], h[wn], h[p], c0[wn], c0[p], x.rdx);
      }
    }
    for (int i = 2; i <= nxx - 1; ++i) {
      const int p = row + i - 1;
      float fe = 0.0f, fn = 0.0f;
      if (!dry[p]) {
        const int e = p + 1;
        const int n = p + nxx;
        const float ce = mix_upwind(qq[p], c0[p], c0[e]);
        const float cn = mix_upwind(rr[p], c0[p], c0[n]);
        fe = mix_face_flux(x.dy, ce, qq[p], nu[p], nu[e], h[p], h[e], c0[p], c0[e], x.rdx);
        fn = mix_face_flux(x.dx, cn, rr[p], nu[p], nu[n], h[p], h[n], c0[p], c0[n], x.rdy);
        if (h[p] > 0.0f) {
          c[p] = c0[p] + mix_change(half_dt, x.area, x.srcm[p], fe, fw, fn, fs[i], h[p]);
        }
      }
      fw = fe;
      fs[i] = fn;
    }
  }
}

using MixSums = TransportWork::RowSums;

// Limited second-order full step from c0, face values from the predicted c,
// rows ja .. jb, into cn (c stays as predicted); fs and grs are the block's
// carry of south-face fluxes and y-slopes, sums[j] the sums of row j (row 1:
// the south boundary faces).
void corrector_rows(const MixFields& x, float dt, const float* c, float* out, float* fs, float* grs,
                    MixSums* sums, int ja, int jb) {
  const int nxx = x.nxx;
  const int nyy = x.nyy;
  const float dx = x.dx, dy = x.dy, rdx = x.rdx, rdy = x.rdy, area = x.area;
  const float *c0 = x.c0, *h = x.h, *qq = x.qq, *rr = x.rr, *nu = x.nu, *srcm = x.srcm;
  const std::uint8_t* dry = x.dry;
  MixSums* sum = nullptr;
  auto inflow = [&](float flux) {  // flux into the domain, scalar x m3/s
    if (flux > 0.0f) {
      sum->in += static_cast<double>(flux) * dt;
    } else {
      sum->out -= static_cast<double>(flux) * dt;
    }
  };
  // The limited y-slope of node p of a row below the last.
  auto slope_y = [&](int p) {
    return dry[p] ? 0.0f : mix_minmod(c[p + nxx] - c[p], c[p + 2 * nxx] - c[p + nxx]);
  };

  if (ja == 2) {
    // South boundary faces: first order with the value of the cell inside,
    // no diffusion, like the north boundary faces at the top.
    sum = &sums[1];
    *sum = MixSums{};
    for (int i = 2; i <= nxx - 1; ++i) {
      const int s = i - 1;
      const int n = s + nxx;
      grs[i] = 0.0f;
      fs[i] = dry[n] ? 0.0f : dx * c[n] * rr[s];
      inflow(fs[i]);
    }
  } else {
    // The north faces of row ja - 1 with the slopes of the row below it.
    const int row = (ja - 2) * nxx;
    for (int i = 2; i <= nxx - 1; ++i) {
      const int p = row + i - 1;
      float fn = 0.0f, sy = 0.0f;
      if (!dry[p]) {
        const int n = p + nxx;
        const float gs = ja == 3 ? 0.0f : slope_y(p - nxx);
        sy = slope_y(p);
        const float cn = rr[p] > 0.0f ? c[p] + 0.5f * gs : c[n] - 0.5f * sy;
        fn = mix_face_flux(dx, cn, rr[p], nu[p], nu[n], h[p], h[n], c[p], c[n], rdy);
      }
      fs[i] = fn;
      grs[i] = sy;
    }
  }

  for (int j = ja; j <= jb; ++j) {
    const int row = (j - 1) * nxx;
    const bool last_row = j == nyy - 1;
    sum = &sums[j];
    *sum = MixSums{};
    float fw = 0.0f;
    {
      const int p = row + 1;
      if (!dry[p]) fw = dy * c[p] * qq[row];
      inflow(fw);
    }
    float sw = 0.0f;  // limited x-slope at the node, carried from the west
    for (int i = 2; i <= nxx - 1; ++i) {
      const int p = row + i - 1;
      const bool last_col = i == nxx - 1;
      float fe = 0.0f, fn = 0.0f, sx = 0.0f, sy = 0.0f;
      out[p] = c[p];
      if (!dry[p]) {
        // The last column and row visited see the node itself beyond the
        // face: no slope and no diffusion across the boundary there.
        const int e = last_col ? p : p + 1;
        const int ee = last_col ? p : p + 2;
        const int n = last_row ? p : p + nxx;
        const int nn = last_row ? p : p + 2 * nxx;
        sx = mix_minmod(c[e] - c[p], c[ee] - c[e]);
        sy = mix_minmod(c[n] - c[p], c[nn] - c[n]);
        const float ce = qq[p] > 0.0f ? c[p] + 0.5f * sw : c[e] - 0.5f * sx;
        const float cn = rr[p] > 0.0f ? c[p] + 0.5f * grs[i] : c[n] - 0.5f * sy;
        fe = mix_face_flux(dy, ce, qq[p], nu[p], nu[e], h[p], h[e], c[p], c[e], rdx);
        fn = mix_face_flux(dx, cn, rr[p], nu[p], nu[n], h[p], h[n], c[p], c[n], rdy);
        if (h[p] > 0.0f) {
          const float d = mix_change(dt, area, srcm[p], fe, fw, fn, fs[i], h[p]);
          out[p] = c0[p] + d;
          sum->change += std::fabs(d);
          sum->load += static_cast<double>(srcm[p]) * area * dt;
        }
        if (last_col) inflow(-fe);
        if (last_row) inflow(-fn);
      }
      fw = fe;
      sw = sx;
      fs[i] = fn;
      grs[i] = sy;
    }
  }
}

// Both sweeps over blocks of rows on all threads; the sums are added in row
// order, so the step does not depend on the number of threads.
void sweeps(Model& m, TransportWork& w) {
  const MixFields x = mix_fields(m, w);
  const int nyy = x.nyy;
  const std::size_t nr = static_cast<std::size_t>(x.nxx) + 1;
  // Blocks of rows 2 .. nyy - 1; the carried south-face values of a block's
  // first row are formed from the rows below it, so every block starts on
  // its own.
  const int per = std::max(w.block_rows, 1);
  const int blocks = (nyy - 2 + per - 1) / per;
  const std::size_t threads = static_cast<std::size_t>(std::max(step_threads(), 1));
  if (w.carry.size() < threads * 2 * nr) w.carry.assign(threads * 2 * nr, 0.0f);
  w.sums.resize(static_cast<std::size_t>(nyy));
  w.corrected.resize(w.c0.size());
  float* c = m.f.c.data();
  float* out = w.corrected.data();
  MixSums* sums = w.sums.data();
  const float dt = w.dt;
#pragma omp parallel if (threaded(m.coin1.nn))
  {
    float* fs = w.carry.data() + static_cast<std::size_t>(step_thread()) * 2 * nr;
    float* grs = fs + nr;
#pragma omp for schedule(static)
    for (int b = 0; b < blocks; ++b) {
      const int ja = 2 + b * per;
      predictor_rows(x, 0.5f * dt, c, fs, ja, std::min(nyy - 1, ja + per - 1));
    }
#pragma omp for schedule(static)
    for (int b = 0; b < blocks; ++b) {
      const int ja = 2 + b * per;
      corrector_rows(x, dt, c, out, fs, grs, sums, ja, std::min(nyy - 1, ja + per - 1));
    }
    // The corrected values of the real cells replace the predicted ones.
#pragma omp for schedule(static)
    for (int j = 2; j <= nyy - 1; ++j) {
      const std::size_t p = static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(x.nxx) + 1;
      std::memcpy(c + p, out + p, sizeof(float) * static_cast<std::size_t>(x.nxx - 2));
    }
  }
  MixSums total;
  for (int j = 1; j <= nyy - 1; ++j) {
    total.in += sums[j].in;
    total.out += sums[j].out;
    total.load += sums[j].load;
    total.change += sums[j].change;
  }
  w.boundary_in = total.in;
  w.boundary_out = total.out;
  w.load = total.load;
  m.coin.change_rate = static_cast<float>(total.change);
}

}  // namespace

void mix_advance(Model& m, TransportWork& w) {
  if (!sized_for(m, w)) prepare_transport(m, w);
  m.coin.change_rate = 0.0f;
  w.boundary_in = w.boundary_out = w.load = 0.0;
  const int nn = m.coin1.nn;
  if (nn <= 0 || m.coin1.nxx < 3 || m.coin1.nyy < 3 || !m.f.allocated ||
      m.f.c.size() < static_cast<std::size_t>(nn)) {
    return;
  }
  std::memcpy(w.c0.data(), m.f.c.data(), sizeof(float) * static_cast<std::size_t>(nn));
  sweeps(m, w);
}

TimeStepLimits mix_time_step_limits(const Model& m) {
  TimeStepLimits lim;
  if (!m.f.allocated || m.coin1.nn <= 0) return lim;
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;
  const float dx = m.coin.dx, dy = m.coin.dy;
  const float ratio = dx / dy;
  const float ratio_sq = ratio * ratio;
  const float rdx = 1.0f / dx, rdy = 1.0f / dy;
  const float rdx2 = 1.0f / (dx * dx), rdy2 = 1.0f / (dy * dy);
  const FlowValues& f = m.f;
  for (int j = 2; j <= nyy - 1; ++j) {
    for (int i = 2; i <= nxx - 1; ++i) {
      const int p = m.node(i, j);
      const float h = f.h[p];
      if (f.ldry[p] || !(h > 0.0f)) continue;
      const float s = mix_speed_measure(f.q[p], f.r[p], h, ratio_sq);
      if (s > lim.smax) lim.smax = s;
      const float diff =
          mix_diffusion_rate(f.nu[p], f.nu[p - 1], f.nu[p + 1], h, f.h[p - 1], f.h[p + 1], rdx2) +
          mix_diffusion_rate(f.nu[p], f.nu[p - nxx], f.nu[p + nxx], h, f.h[p - nxx], f.h[p + nxx],
                             rdy2);
      if (diff > 0.0f) {
        const float rate = std::fabs(f.q[p] / h) / dx + std::fabs(f.r[p] / h) / dy + diff;
        if (rate > lim.rmax) lim.rmax = rate;
      }
      const float out = mix_outflow_rate(f.qq[p], f.qq[p - 1], f.rr[p], f.rr[p - nxx], h, rdx, rdy);
      if (out > lim.omax) lim.omax = out;
    }
  }
  return lim;
}

void mix(Model& m, TransportWork& w, BoundaryWork& b, Channels& io, Messages& msg) {
  if (!w.started) {
    io.line(Channels::screen, " >inlet calculation");
    const TimeStepLimits lim = mix_time_step_limits(m);
    if (lim.smax < 0.0f) {
      io.put(Channels::screen, " >dry area found ");
      io.flush(Channels::screen);
      throw Stop(0, "dry area found");
    }
    if (!(lim.smax > 0.0f)) {
      // Still water everywhere: the velocity limit gives no time step.
      msg.iierr(3, "flow field at rest: no time step for mixing", m.coin1.ch_listing);
      throw Stop(1, "flow field at rest: no time step for mixing");
    }
    w.dt = m.coin.cfl * m.coin.dx / std::sqrt(lim.smax);
    if (lim.rmax > 0.0f) w.dt = std::min(w.dt, 1.0f / lim.rmax);
    if (lim.omax > 0.0f) w.dt = std::min(w.dt, 1.0f / lim.omax);
    w.started = true;
    if (!sized_for(m, w)) prepare_transport(m, w);
  }
  m.coin.dt = w.dt;
  m.coin.change_rate = 0.0f;
  advance_clock(w.clock, m.coin.time, w.dt * 0.00027777778f);
  source(m, b, io, msg);
  mix_advance(m, w);
}

double mix_total(const Model& m) {
  double sum = 0.0;
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;
  for (int j = 2; j <= nyy - 1; ++j) {
    for (int i = 2; i <= nxx - 1; ++i) {
      const int p = m.node(i, j);
      if (m.f.ldry[p]) continue;
      sum += static_cast<double>(m.f.c[p]) * m.f.h[p];
    }
  }
  return sum * cell_area(m);
}

}  // namespace qf
