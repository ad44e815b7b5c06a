// The flow time step: time step control, the row sweeps, wet/dry
// classification, run statistics and erosion at erodable nodes.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "model/hydro/courant.h"
#include "model/hydro/hydro.h"
#include "model/hydro/lanes.h"
#include "model/hydro/structure_kernels.h"
#include "model/hydro/threads.h"

namespace qf {

void prepare(Model& m, Hydro& w) {
  prepare_solver(m, w.solver);
  prepare_boundary(m, w.boundary);
}

// Largest step of the explicit viscous shear terms: diffusion number 1/4 on
// the smaller cell side with the largest eddy viscosity (that of the last
// step, at least the molecular setting).
float viscous_step(const Model& m) {
  const FlowValues& f = m.f;
  const long nn = std::min<long>(m.coin1.nn, static_cast<long>(f.nu.size()));
  float nu = m.coin.viscosity;
#pragma omp parallel for schedule(static) reduction(max : nu) if (threaded(nn))
  for (long k = 0; k < nn; ++k) nu = std::max(nu, f.nu[k]);
  if (!(nu > 0.0f)) return 1.0e30f;
  const float d = std::min(m.coin.dx, m.coin.dy);
  return 0.25f * d * d / nu;
}

// Largest step t <= dt for which a node of depth h with speeds u, v that
// gains `rate` [m/s] keeps the Courant number of the step, c the celerity of
// the depth h + rate t: t ((|u| + c)/dx + (|v| + c)/dy) <= cfl.
float gaining_step(const Model& m, float h, float rate, float u, float v, float dt) {
  const float g = m.coin.gravity;
  const float dx = m.coin.dx, dy = m.coin.dy;
  const float cfl = m.coin.cfl;
  auto fits = [&](float t) {
    const float c = std::sqrt(g * std::max(h + rate * t, 0.0f));
    return t * ((std::fabs(u) + c) / dx + (std::fabs(v) + c) / dy) <= cfl;
  };
  if (fits(dt)) return dt;
  float lo = 0.0f, hi = dt;
  for (int n = 0; n < 40; ++n) {
    const float mid = 0.5f * (lo + hi);
    (fits(mid) ? lo : hi) = mid;
  }
  return std::max(lo, 1.0e-6f);
}

// The step shortened so that the water the point sources, the culverts and
// the boundaries bring in during the step does not break the Courant
// condition of the nodes that receive it (the source tables are looked up at
// both ends of the step, as the step may start the inflow; the Courant
// condition of the rest of the domain sees only the state at its start).
float inflow_step(const Model& m, const BoundaryWork& bw, float dt) {
  const FlowValues& f = m.f;
  if (!f.allocated || m.coin1.nn <= 0) return dt;
  const std::vector<float>& ta = m.coin.table_a;
  const std::vector<float>& tb = m.coin.table_b;
  const float t0 = m.coin.time;
  const float dx = m.coin.dx, dy = m.coin.dy;
  float area = m.coin.cell_area;
  if (!(area > 0.0f)) area = std::fabs(dx * dy);
  if (!(area > 0.0f)) return dt;
  auto peak = [&](int n, int row, float step) {
    if (n <= 0) return 0.0f;
    const float* tt = ta.data() + row;
    const float* tv = tb.data() + row;
    return std::max(rmint_value(n, tt, tv, t0), rmint_value(n, tt, tv, t0 + step / 3600.0f));
  };
  // Speeds of a wet node (0 at a dry one).
  auto speed = [&](long k, const std::vector<float>& d) {
    if (f.ldry[k] || !(f.h[k] > 0.0f)) return 0.0f;
    return d[k] / f.h[k];
  };
  auto gain = [&](long k, float rate) {
    if (k < 0 || k >= m.coin1.nn || !(rate > 0.0f)) return;
    dt = gaining_step(m, std::max(f.h[k], 0.0f), rate, speed(k, f.q), speed(k, f.r), dt);
  };
  for (const SourceBlock& s : bw.sources) {
    if (s.type == bt_discharge && s.node >= 0) {
      gain(s.node, peak(s.series_count, s.series_row, dt) / area);
    } else if (s.type == bt_culvert && s.inlet >= 0 && s.outlet >= 0) {
      const float last = ta[static_cast<std::size_t>(s.row) + 5];
      gain(last > 0.0f ? s.outlet : s.inlet, std::fabs(last) / area);
    }
  }
  for (const BoundaryBlock& blk : bw.blocks) {
    if (blk.node_count <= 0) continue;
    const float v = peak(blk.series_count, blk.series_row, dt);
    for (int n = blk.first_node; n < blk.first_node + blk.node_count; ++n) {
      const BoundaryNode& bn = bw.nodes[static_cast<std::size_t>(n)];
      const bool across_x = bn.side == side_west || bn.side == side_east;
      if (blk.type == bt_inflow) {
        // The discharge spread evenly over the nodes of the boundary.
        const float width = across_x ? dy : dx;
        const float depth_rate = std::fabs(v) / (width * blk.node_count) / (across_x ? dx : dy);
        gain(bn.in, depth_rate);
      } else if (blk.type == bt_waterlevel || blk.type == bt_tide) {
        // The depth of the ring node that mirrors the inner level about v.
        const float hb = 2.0f * v - (f.zb[bn.in] + f.h[bn.in]) - f.zb[bn.in];
        if (hb > 0.0f) dt = gaining_step(m, hb, 0.0f, speed(bn.in, f.q), speed(bn.in, f.r), dt);
      }
    }
  }
  return dt;
}

void timstp(Model& m, Hydro& w, Channels& io) {
  const FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;
  const float g = m.coin.gravity;
  const float ratio = m.coin.dx / m.coin.dy;
  const int last = nxx - 2;
  const float film = film_depth(m);
  // The measures of row j into s (courant.h), columns lo .. hi.
  auto row_measure = [&](int j, float* s, int lo, int hi) {
    const long b = static_cast<long>(j - 1) * nxx;
    return courant_row(f.h.data() + b, f.q.data() + b, f.r.data() + b, f.ldry.data() + b, g, ratio,
                       film, s, lo, hi);
  };
  // Only the columns from the first to the last node not flagged dry count
  // (found by a byte search: most of a valley's grid is dry or no data),
  // and those where the last sweep found water thinner than hdry that flows
  // (widened by the two nodes it may have reached since).
  SolverWork& sw = w.solver;
  const bool spans = !sw.serial && sw.wet.size() > static_cast<std::size_t>(std::max(nyy, 0));
  auto wet_measure = [&](int j, float* s) {
    if (last < 1) return RowMax{};
    const std::uint8_t* dry = f.ldry.data() + static_cast<long>(j - 1) * nxx;
    int lo = last + 1, hi = 0;
    const void* a = std::memchr(dry + 1, 0, static_cast<std::size_t>(last));
    if (a != nullptr) {
      const void* b = memrchr(dry + 1, 0, static_cast<std::size_t>(last));
      lo = static_cast<int>(static_cast<const std::uint8_t*>(a) - dry);
      hi = static_cast<int>(static_cast<const std::uint8_t*>(b) - dry);
    }
    if (spans) {
      const Span sp = sw.wet[static_cast<std::size_t>(j)];
      if (sp.lo <= sp.hi) {
        lo = std::min(lo, std::max(sp.lo - 2, 1));
        hi = std::max(hi, std::min(sp.hi + 2, last));
      }
    } else {
      lo = 1;
      hi = last;
    }
    if (lo > hi) return RowMax{};
    return row_measure(j, s, lo, hi);
  };
  const std::size_t ny1 = static_cast<std::size_t>(std::max(nyy, 0)) + 1;
  if (sw.row_courant.size() < ny1) sw.row_courant.assign(ny1, -1.0f);
  if (sw.row_depth.size() < ny1) sw.row_depth.assign(ny1, 0.0f);
  if (sw.row_speed2.size() < ny1) sw.row_speed2.assign(ny1, 0.0f);
  size_strips(m, sw);
  // The last sweep may have measured the rows as it left them.
  const bool measured = sw.measured;
  sw.measured = false;
  if (!measured) {
#pragma omp parallel if (threaded(m.coin1.nn))
    {
      float* s = sw.strips[static_cast<std::size_t>(step_thread())].row.hf.data();
#pragma omp for schedule(dynamic, 16)
      for (int j = 2; j <= nyy - 1; ++j) {
        const RowMax rm = wet_measure(j, s);
        const auto jj = static_cast<std::size_t>(j);
        sw.row_courant[jj] = rm.s;
        sw.row_depth[jj] = rm.h;
        sw.row_speed2[jj] = rm.u2;
      }
    }
  }
  sw.depth_max = 0.0f;
  sw.speed2_max = 0.0f;
  for (int j = 2; j <= nyy - 1; ++j) {
    // (a NaN compares false and is left to flow_finite)
    sw.depth_max = std::max(sw.depth_max, sw.row_depth[static_cast<std::size_t>(j)]);
    sw.speed2_max = std::max(sw.speed2_max, sw.row_speed2[static_cast<std::size_t>(j)]);
  }
  // The first row with the largest measure, its first node with it.
  float best = -1.0f;
  int best_i = 0, best_j = 0;
  for (int j = 2; j <= nyy - 1; ++j) {
    const float row_max = sw.row_courant[static_cast<std::size_t>(j)];
    if (row_max > best) {
      best = row_max;
      best_j = j;
    }
  }
  if (best_j > 0) {
    float* s = sw.courant.data();
    row_measure(best_j, s, 1, last);
    int c = 1;
    for (; c <= last; ++c) {
      if (s[c] == best) break;
    }
    best_i = c + 1;
    const long k = static_cast<long>(best_j - 1) * nxx + c;
    SolverWork::CourantNode& cn = sw.courant_node;
    cn.h = f.h[k];
    cn.q = f.q[k];
    cn.r = f.r[k];
    cn.dt = m.coin.cfl * m.coin.dx / std::sqrt(best);
    cn.dry_neighbours = f.ldry[k - 1] + f.ldry[k + 1] + f.ldry[k - nxx] + f.ldry[k + nxx];
  }
  float dt;
  if (best > 0.0f) {
    dt = m.coin.cfl * m.coin.dx / std::sqrt(best);
    m.coin1.cfl_cell = {best_i - 1, best_j - 1};
  } else {
    if (!w.solver.dry_reported) {
      io.line(Channels::screen, " >DRY DOMAIN DETECTED");
      w.solver.dry_reported = true;
    }
    dt = 1.0f;
  }
  if (m.clog.turbulence) dt = std::min(dt, viscous_step(m));
  dt = inflow_step(m, w.boundary, dt);
  // The step grows by at most a quarter from one step to the next, so that a
  // domain that has just become wet (after dry steps of 1 s) or a
  // flow that has just calmed down is not stepped past what is coming in.
  const float grown = w.solver.dt_last * 1.25f;
  if (best > 0.0f && grown > 0.0f) dt = std::min(dt, grown);
  m.coin.dt = dt;
  w.solver.dt_last = dt;
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

namespace {

// Bed range and area of the model's real cells, the highest level (with
// its speed head) of the wet cells, and what the boundaries may bring: the
// highest prescribed level and the fastest inflow (its discharge through a
// single face at critical depth).
void set_bounds(const Model& m, const Hydro& w, FlowBounds& fb) {
  const FlowValues& f = m.f;
  const int nxx = m.coin1.nxx, nyy = m.coin1.nyy;
  const float g = m.coin.gravity;
  const bool outside = f.outside.size() >= static_cast<std::size_t>(std::max(m.coin1.nn, 0));
  float low = std::numeric_limits<float>::max(), high = -low, top = -low;
  long cells = 0;
  for (int j = 2; j <= nyy - 1; ++j) {
    for (long k = static_cast<long>(j - 1) * nxx + 1; k <= static_cast<long>(j) * nxx - 2; ++k) {
      if (outside && f.outside[k]) continue;
      low = std::min(low, f.zb[k]);
      high = std::max(high, f.zb[k]);
      ++cells;
      if (f.ldry[k] || !(f.h[k] > 0.0f)) continue;
      const float u2 = (f.q[k] * f.q[k] + f.r[k] * f.r[k]) / (f.h[k] * f.h[k]);
      top = std::max(top, f.zb[k] + f.h[k] + u2 / (2.0f * g));
    }
  }
  if (cells == 0) low = high = top = 0.0f;
  float inflow = 0.0f;
  const std::vector<float>& tb = m.coin.table_b;
  for (const BoundaryBlock& blk : w.boundary.blocks) {
    for (int n = 0; n < blk.series_count; ++n) {
      const float v = tb[static_cast<std::size_t>(blk.series_row + n)];
      if (blk.type == bt_waterlevel || blk.type == bt_tide) top = std::max(top, v);
      if (blk.type == bt_inflow) inflow = std::max(inflow, std::fabs(v));
    }
  }
  const float face = std::max(std::min(m.coin.dx, m.coin.dy), 1.0e-3f);
  fb.level_top = std::max(top, high);
  fb.bed_low = low;
  fb.bed_high = high;
  fb.model_area = static_cast<double>(cells) * m.coin.cell_area;
  fb.inflow_speed = std::cbrt(g * inflow / face);
  fb.ready = true;
}

}  // namespace

void flow(Model& m, Hydro& w, Channels& io, Messages& msg) {
  SolverWork& sw = w.solver;
  if (sw.h0.size() != static_cast<std::size_t>(std::max(m.coin1.nn, 0)) ||
      sw.dh.size() < static_cast<std::size_t>(std::max(m.coin1.nxx, 0)) ||
      (!sw.serial && sw.dhg.size() < sw.h0.size()) ||
      sw.span.size() < static_cast<std::size_t>(std::max(m.coin1.nyy, 0)) + 2 ||
      sw.sweep == nullptr) {
    prepare_solver(m, sw);
  }
  if (!w.boundary.prepared) prepare_boundary(m, w.boundary);
  Coin& c = m.coin;
  c.change_rate = 0.0f;
  c.stored_volume = 0.0f;
  m.coin1.nwet = 0;

  if (!sw.bounds.ready) set_bounds(m, w, sw.bounds);
  timstp(m, w, io);
  const float dth = c.dt * 0.0002777778f;
  advance_clock(w.clock, c.time, dth);
  w.boundary.step_to = w.clock;
  w.boundary.step_from = w.clock - static_cast<double>(dth);
  w.boundary.stage = 1;
  bound(m, w.boundary, io, msg);
  source(m, w.boundary, io, msg);
  tmod(m);

  // In dry weather without leakage only the nodes of the source blocks
  // hold a rate: the sweeps look for sources in their rows alone.
  auto list_sources = [&](std::uint8_t flag) {
    const long nxx = std::max(m.coin1.nxx, 1);
    for (const SourceBlock& s : w.boundary.sources) {
      for (const int k : {s.node, s.inlet, s.outlet}) {
        if (k < 0 || k >= m.coin1.nn) continue;
        sw.source_rows[static_cast<std::size_t>(k / nxx + 1)] = flag;
      }
    }
  };
  sw.sources_listed = w.boundary.src_sparse && sw.share == nullptr &&
                      sw.source_rows.size() >= static_cast<std::size_t>(m.coin1.nyy) + 1;
  if (sw.sources_listed) list_sources(1);

  sw.sweep(m, sw, false, dth);

  if (m.clog.second_order) {
    // The step moves the mean of the two stages' fluxes over the boundaries.
    const std::array<float, 8> first = c.boundary_flow;
    c.change_rate = 0.0f;
    w.boundary.stage = 2;
    bound(m, w.boundary, io, msg);
    sw.sweep(m, sw, true, 0.0f);
    for (std::size_t n = 0; n < first.size(); ++n) {
      c.boundary_flow[n] = (first[n] + c.boundary_flow[n]) * 0.5f;
    }
  }
  if (sw.sources_listed) list_sources(0);
  sw.sources_listed = false;
  c.change_rate /= c.dt;
  zerode(m);
}

bool flow_finite(const Model& m) {
  return std::isfinite(m.coin.stored_volume) && std::isfinite(m.coin.change_rate);
}

FlowLimits flow_limits(const Model& m, const Hydro& w) {
  const FlowBounds& fb = w.solver.bounds;
  const float g = m.coin.gravity;
  // The highest level water at rest can reach: the start or boundary level,
  // or the highest bed with all the water now on the grid spread over the
  // model. A moving flow can run up by its speed head, a surge against a
  // wall by about the depth it comes from: twice that depth, the inflow's
  // speed head and a metre for thin sheets of water.
  double spread = 0.0;
  if (fb.model_area > 0.0) spread = std::max(0.0, m.coin.stored_volume / fb.model_area);
  const float rest = std::max(fb.level_top, fb.bed_high + static_cast<float>(spread));
  const float u_in = fb.inflow_speed;
  FlowLimits lim;
  lim.depth = 2.0f * (rest - fb.bed_low) + u_in * u_in / g + 1.0f;
  // No water is faster than a dam-break front from that depth, plus the
  // speed of a fall over the whole depth and the inflow.
  lim.speed = 2.0f * std::sqrt(g * lim.depth) + std::sqrt(2.0f * g * lim.depth) + u_in;
  return lim;
}

bool flow_bounded(const Model& m, const Hydro& w) {
  const SolverWork& sw = w.solver;
  if (!sw.bounds.ready) return true;
  const FlowLimits lim = flow_limits(m, w);
  return !(sw.depth_max > lim.depth) && !(sw.speed2_max > lim.speed * lim.speed);
}

bool find_unbounded(const Model& m, const Hydro& w, int& i, int& j, float& depth, float& speed) {
  if (!w.solver.bounds.ready) return false;
  const FlowValues& f = m.f;
  const FlowLimits lim = flow_limits(m, w);
  const int nxx = m.coin1.nxx, nyy = m.coin1.nyy;
  for (int jj = 2; jj <= nyy - 1; ++jj) {
    for (long k = static_cast<long>(jj - 1) * nxx + 1; k <= static_cast<long>(jj) * nxx - 2; ++k) {
      if (f.ldry[k]) continue;
      const float h = f.h[k];
      const float u = h > 0.0f ? std::sqrt(f.q[k] * f.q[k] + f.r[k] * f.r[k]) / h : 0.0f;
      if (h > lim.depth || u > lim.speed) {
        i = static_cast<int>(k % nxx);
        j = jj - 1;
        depth = h;
        speed = u;
        return true;
      }
    }
  }
  return false;
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
