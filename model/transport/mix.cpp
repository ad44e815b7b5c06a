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

#include "cmdlang/stop.h"
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

// First-order half step from c0 into c.
void predictor(Model& m, TransportWork& w) {
  FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;
  const float dx = m.coin.dx, dy = m.coin.dy;
  const float rdx = 1.0f / dx, rdy = 1.0f / dy;
  const float area = cell_area(m);
  const float half_dt = 0.5f * w.dt;
  const float* c0 = w.c0.data();
  const float* h = f.h.data();
  const float* qq = f.qq.data();
  const float* rr = f.rr.data();
  const float* nu = f.nu.data();
  const float* srcm = f.srcm.data();
  const std::uint8_t* dry = f.ldry.data();
  float* c = f.c.data();
  float* fs = w.fs.data();

  // South boundary faces: between the ring node s of row 1 and the cell n
  // above it; the discharge is the one the flow step kept in rr(s).
  for (int i = 2; i <= nxx - 1; ++i) {
    const int s = i - 1;
    const int n = s + nxx;
    fs[i] = 0.0f;
    if (dry[n]) continue;
    const float cf = mix_upwind(rr[s], c0[s], c0[n]);
    fs[i] = mix_face_flux(dx, cf, rr[s], nu[s], nu[n], h[s], h[n], c0[s], c0[n], rdy);
  }

  for (int j = 2; j <= nyy - 1; ++j) {
    const int row = (j - 1) * nxx;
    // West boundary face: between the ring node of column 1 and the first cell.
    float fw = 0.0f;
    {
      const int p = row + 1;
      const int wn = row;
      if (!dry[p]) {
        const float cf = mix_upwind(qq[wn], c0[wn], c0[p]);
        fw = mix_face_flux(dy, cf, qq[wn], nu[wn], nu[p], h[wn], h[p], c0[wn], c0[p], rdx);
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
        fe = mix_face_flux(dy, ce, qq[p], nu[p], nu[e], h[p], h[e], c0[p], c0[e], rdx);
        fn = mix_face_flux(dx, cn, rr[p], nu[p], nu[n], h[p], h[n], c0[p], c0[n], rdy);
        if (h[p] > 0.0f) c[p] = c0[p] + mix_change(half_dt, area, srcm[p], fe, fw, fn, fs[i], h[p]);
      }
      fw = fe;
      fs[i] = fn;
    }
  }
}

// Limited second-order full step from c0, face values from the predicted c.
void corrector(Model& m, TransportWork& w) {
  FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;
  const float dx = m.coin.dx, dy = m.coin.dy;
  const float rdx = 1.0f / dx, rdy = 1.0f / dy;
  const float area = cell_area(m);
  const float dt = w.dt;
  const float* c0 = w.c0.data();
  const float* h = f.h.data();
  const float* qq = f.qq.data();
  const float* rr = f.rr.data();
  const float* nu = f.nu.data();
  const float* srcm = f.srcm.data();
  const std::uint8_t* dry = f.ldry.data();
  float* c = f.c.data();
  float* fs = w.fs.data();
  float* grs = w.grs.data();

  double in = 0.0, out = 0.0, load = 0.0, change = 0.0;
  auto inflow = [&](float flux) {  // flux into the domain, scalar x m3/s
    if (flux > 0.0f) {
      in += static_cast<double>(flux) * dt;
    } else {
      out -= static_cast<double>(flux) * dt;
    }
  };

  // South boundary faces: first order with the value of the cell inside, no
  // diffusion, like the north boundary faces at the top.
  for (int i = 2; i <= nxx - 1; ++i) {
    const int s = i - 1;
    const int n = s + nxx;
    grs[i] = 0.0f;
    fs[i] = dry[n] ? 0.0f : dx * c[n] * rr[s];
    inflow(fs[i]);
  }

  for (int j = 2; j <= nyy - 1; ++j) {
    const int row = (j - 1) * nxx;
    const bool last_row = j == nyy - 1;
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
          c[p] = c0[p] + d;
          change += std::fabs(d);
          load += static_cast<double>(srcm[p]) * area * dt;
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
  w.boundary_in = in;
  w.boundary_out = out;
  w.load = load;
  m.coin.change_rate = static_cast<float>(change);
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
  predictor(m, w);
  corrector(m, w);
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
