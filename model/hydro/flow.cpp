// The flow time step: time step control, the row sweeps, wet/dry
// classification, run statistics and erosion at erodable nodes.
#include <algorithm>
#include <cmath>
#include <utility>

#include "model/hydro/hydro.h"
#include "model/hydro/lanes.h"

namespace qf {

namespace {

// The two sweeps of a step. Row j - 1 is no longer read once row j is
// solved, so each row takes its new state one row behind the solver: the
// row's increments wait in the second set of row buffers. The values and the
// order of the run statistics are those of a sweep over all rows followed by
// one pass over all nodes.

// First stage: the new state (start state plus increment; ring nodes: the
// new-state entry) replaces the start state, which the new-state arrays keep.
// Classification: h < hdry is dry, h = hdry wet.
void first_stage_row(Model& m, SolverWork& w, int j, const float* dh, const float* dq,
                     const float* dr, float dth, double& volume, int& nwet) {
  FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const long b = static_cast<long>(j - 1) * nxx;
  const float hdry = m.coin.hdry;
  float* h = f.h.data() + b;
  float* q = f.q.data() + b;
  float* r = f.r.data() + b;
  float* h0 = w.h0.data() + b;
  float* q0 = w.q0.data() + b;
  float* r0 = w.r0.data() + b;
  std::uint8_t* dry = f.ldry.data() + b;
  float* tind = f.tind.data() + b;
  // Ring node: takes its new-state entry.
  auto ring = [&](int c) {
    std::swap(h[c], h0[c]);
    std::swap(q[c], q0[c]);
    std::swap(r[c], r0[c]);
    const bool wet = !(h[c] < hdry);
    q[c] = wet ? q[c] : 0.0f;
    r[c] = wet ? r[c] : 0.0f;
    dry[c] = wet ? 0 : 1;
    tind[c] = wet ? tind[c] + dth : tind[c];
  };
  // Interior nodes from column index c: start state plus increment.
  auto interior = [&](auto lanes, int c) {
    using T = decltype(lanes);
    const T H = load<T>(h + c), Q = load<T>(q + c), R = load<T>(r + c);
    const T hn = H + load<T>(dh + c);
    const T qn = Q + load<T>(dq + c);
    const T rn = R + load<T>(dr + c);
    store(h0 + c, H);
    store(q0 + c, Q);
    store(r0 + c, R);
    const auto wet = mnot(hn < hdry);
    const T zero = splat<T>(0.0f);
    store(h + c, hn);
    store(q + c, sel(wet, qn, zero));
    store(r + c, sel(wet, rn, zero));
    store_flag(dry + c, mnot(wet));
    const T t = load<T>(tind + c);
    store(tind + c, sel(wet, t + dth, t));
  };
  if (j == 1) {
    for (int c = 0; c < nxx; ++c) ring(c);
  } else {
    ring(0);
    int c = 1;
    for (; c + kLanes <= nxx - 1; c += kLanes) interior(Lanes{}, c);
    for (; c <= nxx - 2; ++c) interior(0.0f, c);
    ring(nxx - 1);
  }
  // Volume and wet count. The depths are summed in double precision: a 32-bit
  // sum over a large grid loses whole percents once its spacing approaches a
  // depth.
  double v = volume;
  int n = nwet;
  for (int c = 0; c < nxx; ++c) {
    if (!dry[c]) {
      v += h[c];
      ++n;
    }
  }
  volume = v;
  nwet = n;
}

// Second stage (Heun): interior nodes take the mean of the start state and
// the twice advanced state, ring nodes their new-state entry; h = hdry is dry.
void second_stage_row(Model& m, SolverWork& w, int j, const float* dh, const float* dq,
                      const float* dr) {
  FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const long b = static_cast<long>(j - 1) * nxx;
  const float hdry = m.coin.hdry;
  float* h = f.h.data() + b;
  float* q = f.q.data() + b;
  float* r = f.r.data() + b;
  float* h0 = w.h0.data() + b;
  float* q0 = w.q0.data() + b;
  float* r0 = w.r0.data() + b;
  std::uint8_t* dry = f.ldry.data() + b;
  auto place = [&](auto lanes, int c, bool mean) {
    using T = decltype(lanes);
    T hn = load<T>(h0 + c), qn = load<T>(q0 + c), rn = load<T>(r0 + c);
    if (mean) {
      hn = (hn + load<T>(h + c) + load<T>(dh + c)) * 0.5f;
      qn = (qn + load<T>(q + c) + load<T>(dq + c)) * 0.5f;
      rn = (rn + load<T>(r + c) + load<T>(dr + c)) * 0.5f;
      store(h0 + c, hn);
      store(q0 + c, qn);
      store(r0 + c, rn);
    }
    const auto wet = hn > hdry;
    const T zero = splat<T>(0.0f);
    store(h + c, hn);
    store(q + c, sel(wet, qn, zero));
    store(r + c, sel(wet, rn, zero));
    store_flag(dry + c, mnot(wet));
  };
  if (j == 1) {
    for (int c = 0; c < nxx; ++c) place(0.0f, c, false);
  } else {
    place(0.0f, 0, false);
    int c = 1;
    for (; c + kLanes <= nxx - 1; c += kLanes) place(Lanes{}, c, true);
    for (; c <= nxx - 2; ++c) place(0.0f, c, true);
    place(0.0f, nxx - 1, false);
  }
}

void sweep(Model& m, SolverWork& w, bool second_stage, float dth) {
  const int nyy = m.coin1.nyy;
  double volume = 0.0;
  int nwet = 0;
  auto finish = [&](int j) {
    if (second_stage) {
      second_stage_row(m, w, j, w.dhp.data(), w.dqp.data(), w.drp.data());
    } else {
      first_stage_row(m, w, j, w.dhp.data(), w.dqp.data(), w.drp.data(), dth, volume, nwet);
    }
  };
  for (int j = 1; j <= nyy - 1; ++j) {
    solve(m, w, j, w.dh.data(), w.dq.data(), w.dr.data());
    if (j >= 2) finish(j - 1);
    std::swap(w.dh, w.dhp);
    std::swap(w.dq, w.dqp);
    std::swap(w.dr, w.drp);
  }
  if (nyy >= 2) finish(nyy - 1);
  if (!second_stage) {
    m.coin.stored_volume = static_cast<float>(volume * m.coin.cell_area);
    m.coin1.nwet = nwet;
  }
}

}  // namespace

void prepare(Model& m, Hydro& w) {
  prepare_solver(m, w.solver);
  prepare_boundary(m, w.boundary);
}

void timstp(Model& m, Hydro& w, Channels& io) {
  const FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;
  const float g = m.coin.gravity;
  const float ratio = m.coin.dx / m.coin.dy;
  const float r2 = ratio * ratio;
  const int last = nxx - 2;
  float* s = w.solver.courant.data();
  float best = -1.0f;
  int best_i = 0, best_j = 0;
  for (int j = 2; j <= nyy - 1; ++j) {
    const long b = static_cast<long>(j - 1) * nxx;
    const float* h = f.h.data() + b;
    const float* q = f.q.data() + b;
    const float* r = f.r.data() + b;
    const std::uint8_t* dry = f.ldry.data() + b;
    // (dx/dy)^2 (g h + v^2) + (g h + u^2) of the wet nodes, -1 at dry ones.
    auto measure = [&](auto lanes, int c) {
      using T = decltype(lanes);
      const T H = load<T>(h + c);
      const T u = load<T>(q + c) / H;
      const T v = load<T>(r + c) / H;
      const T gh = g * H;
      const T sv = r2 * (gh + v * v) + (gh + u * u);
      const T m1 = splat<T>(-1.0f);
      const T out = sel(load_flag<T>(dry + c), m1, sv);
      store(s + c, out);
      return out;
    };
    Lanes acc = splat<Lanes>(-1.0f);
    int c = 1;
    for (; c + kLanes <= last + 1; c += kLanes) acc = vmax(acc, measure(Lanes{}, c));
    float row_max = -1.0f;
    for (int l = 0; l < kLanes; ++l) row_max = std::max(row_max, acc[l]);
    for (; c <= last; ++c) row_max = std::max(row_max, measure(0.0f, c));
    if (row_max > best) {
      best = row_max;
      best_j = j;
      for (c = 1; c <= last; ++c) {
        if (s[c] == row_max) break;
      }
      best_i = c + 1;
    }
  }
  if (best > 0.0f) {
    m.coin.dt = m.coin.cfl * m.coin.dx / std::sqrt(best);
    m.coin1.cfl_cell = {best_i - 1, best_j - 1};
  } else {
    if (!w.solver.dry_reported) {
      io.line(Channels::screen, " >DRY DOMAIN DETECTED");
      w.solver.dry_reported = true;
    }
    m.coin.dt = 1.0f;
  }
}

void zerode(Model& m) {
  FlowValues& f = m.f;
  const int n = std::min<int>(
      m.coin1.nerod, static_cast<int>(std::min(m.coin1.erod_node.size(), m.coin1.erod.size())));
  const float dt = m.coin.dt;
  for (int e = 0; e < n; ++e) {
    const long k = m.coin1.erod_node[e] - 1;
    if (k < 0 || k >= m.coin1.nn) continue;
    const ErodRecord& rec = m.coin1.erod[e];
    if (!(f.h[k] > rec.hmin)) continue;
    const float tau = 1000.0f * (f.us[k] * f.us[k]);
    const float excess = std::pow(std::max(tau - rec.tau_crit, 0.0f), 1.5f);
    f.zb[k] = std::max(f.zb[k] - dt * 0.00001f * excess / rec.divisor, rec.floor);
  }
}

void flow(Model& m, Hydro& w, Channels& io, Messages& msg) {
  SolverWork& sw = w.solver;
  if (sw.h0.size() != static_cast<std::size_t>(std::max(m.coin1.nn, 0)) ||
      sw.dh.size() < static_cast<std::size_t>(std::max(m.coin1.nxx, 0))) {
    prepare_solver(m, sw);
  }
  if (!w.boundary.prepared) prepare_boundary(m, w.boundary);
  Coin& c = m.coin;
  c.change_rate = 0.0f;
  c.stored_volume = 0.0f;
  m.coin1.nwet = 0;

  timstp(m, w, io);
  const float dth = c.dt * 0.0002777778f;
  advance_clock(w.clock, c.time, dth);
  w.boundary.stage = 1;
  bound(m, w.boundary, io, msg);
  source(m, w.boundary, io, msg);
  tmod(m);

  sweep(m, sw, false, dth);

  if (m.clog.second_order) {
    c.change_rate = 0.0f;
    w.boundary.stage = 2;
    bound(m, w.boundary, io, msg);
    sweep(m, sw, true, dth);
  }
  c.change_rate /= c.dt;
  zerode(m);
}

bool flow_finite(const Model& m) {
  return std::isfinite(m.coin.stored_volume) && std::isfinite(m.coin.change_rate);
}

bool find_nonfinite(const Model& m, int& i, int& j) {
  const FlowValues& f = m.f;
  const long nn = std::min<long>(m.coin1.nn, static_cast<long>(f.h.size()));
  const int nxx = m.coin1.nxx;
  for (long k = 0; k < nn; ++k) {
    if (!std::isfinite(f.h[k]) || !std::isfinite(f.q[k]) || !std::isfinite(f.r[k])) {
      i = static_cast<int>(k % nxx);  // column (k % nxx) + 1 of the padded grid
      j = static_cast<int>(k / nxx);
      return true;
    }
  }
  return false;
}

}  // namespace qf
