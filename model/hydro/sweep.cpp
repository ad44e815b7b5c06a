// The row sweeps of the flow step: the row solver over all rows (serial, or
// by fixed blocks of rows on several threads, restricted to the columns
// where water can move), the outflow limiter, thin-node caps and the new
// states of both stages. This file is built once per instruction set
// (isa.h); the variants give identical results.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "model/hydro/courant.h"
#include "model/hydro/hydro.h"
#include "model/hydro/isa.h"
#include "model/hydro/lanes.h"
#include "model/hydro/maxima_kernel.h"
#include "model/hydro/structure_kernels.h"
#include "model/hydro/threads.h"

namespace qf {
inline namespace QF_ISA {

namespace {

// Thin nodes. A node a few millimetres deep at a wetting front can receive
// momentum out of proportion to its water, and q/h then gives speeds the
// flow cannot have (hundreds of m/s in a film), which also throttle the time
// step. The water that wets a dry slope cannot move faster than the flow
// that feeds it: a front advances at u + 2 sqrt(g h) of the deeper water
// behind it. A wet node thinner than `thin_depth` therefore keeps a speed of
// at most the largest |u| + 2 sqrt(g h) of its deeper neighbours in the
// state the sweep read, and at least the 2 sqrt(g h) of water of its own
// depth starting from rest; its discharges are scaled down to that speed.
// (Its own speed does not count: a node could keep a spurious speed by it.)
// Water thinner than hdry flows down to the film and counts in the time
// step, where the bound keeps a film that has just been reached from
// throttling it: Thacker's bowl at the default dry depth takes 1,307 steps
// for three periods with it, 1,610 without.
//
// The toe of a standing jump is drawn down to about the thin depth, a little
// more in one row than in the next. A bound that took a neighbour in full as
// soon as it was deeper by a rounding error gave the rows of the toe
// different bounds and seeded a cross flow that kept the jump from settling
// (0.024 m/s across the bump's channel after 10 min). A neighbour therefore
// counts in proportion to how much deeper it is, in full from 10 % deeper
// on (`feed_share`), so that nodes of nearly equal depth get nearly the
// same bound. (Letting the bound widen gradually above the thin depth too
// slowed the second-order Ritter front: its rarefaction is thin and fast.)
float thin_depth(const Model& m) {
  return std::max(m.coin.hdry, 0.01f);
}

// Share of a neighbour n of depth hn in the bound of a thin node of depth h
// (hn > h): (hn - h) / (0.1 h), at most 1, with h at least the film depth.
inline float feed_share(float h, float hn, float film) {
  return std::min(1.0f, (hn - h) / (0.1f * std::max(h, film)));
}

// Speed bounds of the thin nodes of row j (rows j - 1 .. j + 1 still hold the
// state the sweep read; dh the row's increments).
void thin_caps(Model& m, SolverWork& w, int j, const float* dh, int c0, int c1) {
  const FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const long b = static_cast<long>(j - 1) * nxx;
  const float* h = f.h.data() + b;
  const std::uint8_t* flag = f.ldry.data() + b;
  const float film = film_depth(m);
  auto dry = [&](int c) { return flow_dry(flag[c], h[c], film); };
  // Nodes that may end the step thin: the second stage averages with the
  // start state, and the outflow limiter may cut what flows in.
  const float watch = 4.0f * thin_depth(m);
  const float g = m.coin.gravity;
  float* cap = w.speed_cap.data() + b;
  // |u| + 2 sqrt(g h) of a neighbour n of node k that is deeper than k.
  auto feed = [&](long k, long n) {
    if (flow_dry(f.ldry[n], f.h[n], film) || !(f.h[n] > f.h[k])) return 0.0f;
    const float hn = f.h[n];
    return feed_share(f.h[k], hn, film) *
           (std::sqrt(f.q[n] * f.q[n] + f.r[n] * f.r[n]) / hn + 2.0f * std::sqrt(g * hn));
  };
  auto thin_node = [&](int c) {
    const float hn = std::min(h[c], h[c] + dh[c]);
    return hn < watch && !(dry(c) && dry(c - 1) && dry(c + 1) && dry(c - nxx) && dry(c + nxx));
  };
  // Quick scan: a node thinner than `thin` before or after the step.
  LaneMask acc{};
  int cs = c0;
  for (; cs + kLanes <= c1 + 1; cs += kLanes) {
    const Lanes hh = load<Lanes>(h + cs);
    acc = mor(acc, vmin(hh, hh + load<Lanes>(dh + cs)) < watch);
  }
  bool any = qf::any(acc);
  for (; cs <= c1 && !any; ++cs) any = std::min(h[cs], h[cs] + dh[cs]) < watch;
  if (any) {
    any = false;
    for (int c = c0; c <= c1 && !any; ++c) any = thin_node(c);
  }
  w.row_thin[j] = any ? 1 : 0;
  if (!any) return;
  for (int c = c0; c <= c1; ++c) {
    const long k = b + c;
    cap[c] = thin_node(c) ? std::max({2.0f * std::sqrt(g * std::max(h[c], 0.0f)), feed(k, k - 1),
                                      feed(k, k + 1), feed(k, k - nxx), feed(k, k + nxx)})
                          : std::numeric_limits<float>::max();
  }
}

// Scales the new discharges of the thin wet nodes of row j to their bound.
template <class Row>
void cap_thin(const Model& m, const SolverWork& w, int j, const float* hn, Row qn, Row rn, int c0,
              int c1) {
  if (!w.row_thin[j]) return;
  const long b = static_cast<long>(j - 1) * m.coin1.nxx;
  const float thin = thin_depth(m);
  const float film = film_depth(m);
  const float* cap = w.speed_cap.data() + b;
  for (int c = c0; c <= c1; ++c) {
    const float h = hn[c];
    if (!(h < thin) || h < film) continue;
    const float most = cap[c] * h;
    const float u2 = qn[c] * qn[c] + rn[c] * rn[c];
    if (u2 > most * most) {
      const float s = most / std::sqrt(u2);
      qn[c] *= s;
      rn[c] *= s;
    }
  }
}

// The two sweeps of a step. Row j - 1 is no longer read once row j is
// solved, so each row takes its new state one row behind the solver: the
// row's increments wait in the second set of row buffers. The values and the
// order of the run statistics are those of a sweep over all rows followed by
// one pass over all nodes.

// The state of row j and its new-state entries, from column index 0.
struct StateRow {
  float *h, *q, *r, *h0, *q0, *r0;
  std::uint8_t* dry;
};

StateRow state_row(Model& m, SolverWork& w, int j) {
  const long b = static_cast<long>(j - 1) * m.coin1.nxx;
  FlowValues& f = m.f;
  return StateRow{f.h.data() + b,  f.q.data() + b,  f.r.data() + b,   w.h0.data() + b,
                  w.q0.data() + b, w.r0.data() + b, f.ldry.data() + b};
}

// Stores the new state of the nodes from column index c: the dry flag where
// `wet` is false, no discharge where `flows` is false.
template <class T>
void store_state(const StateRow& st, int c, T hn, T qn, T rn, MaskOf<T> wet, MaskOf<T> flows) {
  const T zero = splat<T>(0.0f);
  store(st.h + c, hn);
  store(st.q + c, sel(flows, qn, zero));
  store(st.r + c, sel(flows, rn, zero));
  store_flag(st.dry + c, mnot(wet));
}

// Sum of the depths and count of the nodes not flagged dry of columns
// c0 .. c1. The depths are summed in double precision (a 32-bit sum over a
// large grid loses whole percents once its spacing approaches a depth), in
// 16 partial sums, column c0 + i into sum i % 16, added in order at the
// end: every instruction set forms the same sums, 16 columns at a time.
struct WetSum {
  double volume = 0.0;
  int count = 0;
};

typedef float Floats16 __attribute__((vector_size(64)));
typedef double Doubles16 __attribute__((vector_size(128)));
typedef std::int64_t Mask16 __attribute__((vector_size(128)));
typedef std::int32_t Ints16 __attribute__((vector_size(64)));
typedef std::uint8_t Bytes16 __attribute__((vector_size(16)));

WetSum wet_sum(const float* h, const std::uint8_t* dry, int c0, int c1) {
  Doubles16 sum{};
  Ints16 count{};
  int c = c0;
  for (; c + 16 <= c1 + 1; c += 16) {
    Floats16 hh;
    Bytes16 dd;
    std::memcpy(&hh, h + c, sizeof hh);
    std::memcpy(&dd, dry + c, sizeof dd);
    const Ints16 wet = __builtin_convertvector(dd, Ints16) == 0;
    const Mask16 wet2 = __builtin_convertvector(wet, Mask16);
    sum += wet2 ? __builtin_convertvector(hh, Doubles16) : Doubles16{};
    count -= wet;
  }
  for (int l = 0; c <= c1; ++c, ++l) {
    if (!dry[c]) {
      sum[l] += h[c];
      ++count[l];
    }
  }
  WetSum s;
  for (int l = 0; l < 16; ++l) {
    s.volume += sum[l];
    s.count += count[l];
  }
  return s;
}

// First stage: the new state (start state plus increment; ring nodes: the
// new-state entry) replaces the start state, which the new-state arrays keep
// for a second stage.
// Classification: h < hdry is dry, h = hdry wet. A depth the outflow limiter
// left a rounding error below zero is stored as zero.
void first_stage_row(Model& m, SolverWork& w, int j, const float* dh, const float* dq,
                     const float* dr, float dth, double& volume, int& nwet, int c0, int c1) {
  const int nxx = m.coin1.nxx;
  const float hdry = m.coin.hdry;
  const float film = film_depth(m);
  const StateRow st = state_row(m, w, j);
  float *h = st.h, *q = st.q, *r = st.r, *h0 = st.h0, *q0 = st.q0, *r0 = st.r0;
  std::uint8_t* dry = st.dry;
  // Ring node: takes its new-state entry.
  auto ring = [&](int c) {
    std::swap(h[c], h0[c]);
    std::swap(q[c], q0[c]);
    std::swap(r[c], r0[c]);
    const bool wet = !(h[c] < hdry);
    q[c] = wet ? q[c] : 0.0f;
    r[c] = wet ? r[c] : 0.0f;
    dry[c] = wet ? 0 : 1;
  };
  float* hlost = w.h_lost.data() + static_cast<long>(j - 1) * nxx;
  const bool two_stage = m.clog.second_order;
  // Interior nodes from column index c: start state plus increment and what
  // earlier steps could not add. After a one-stage step the rounding of the
  // new depth is kept for the next; after the first of two stages half of
  // it, with half of the earlier remainder, for the second stage (which
  // starts again from the start state).
  auto interior = [&](auto lanes, int c) {
    using T = decltype(lanes);
    const T H = load<T>(h + c), Q = load<T>(q + c), R = load<T>(r + c);
    const T e = load<T>(hlost + c);
    const T y = load<T>(dh + c) + e;
    const T hn = vmax(H + y, splat<T>(0.0f));
    const T rest = y - (hn - H);
    store(hlost + c, two_stage ? (rest + e) * 0.5f : rest);
    const T qn = Q + load<T>(dq + c);
    const T rn = R + load<T>(dr + c);
    // Only the second stage reads the start state back.
    if (two_stage) {
      store(h0 + c, H);
      store(q0 + c, Q);
      store(r0 + c, R);
    }
    // Water thinner than hdry is dry in the results but flows down to the film.
    store_state(st, c, hn, qn, rn, mnot(hn < hdry), mnot(hn < film));
  };
  if (j == 1) {
    for (int c = 0; c < nxx; ++c) ring(c);
    c0 = 1;
    c1 = nxx - 2;
  } else {
    ring(0);
    int c = c0;
    for (; c + kLanes <= c1 + 1; c += kLanes) interior(Lanes{}, c);
    for (; c <= c1; ++c) interior(0.0f, c);
    ring(nxx - 1);
    cap_thin(m, w, j, h, q, r, c0, c1);
  }
  // Volume and wet count (the nodes outside c0 .. c1 but the ring are dry).
  const WetSum ws = wet_sum(h, dry, c0, c1);
  double v = volume + ws.volume;
  int n = nwet + ws.count;
  for (const int c : {0, nxx - 1}) {
    if (!dry[c]) {
      v += h[c];
      ++n;
    }
  }
  // Inundation time, a compensated sum: `tind_lost` keeps what the 32-bit
  // sum could not take (late in a long run a step is below its spacing).
  const long b = static_cast<long>(j - 1) * nxx;
  float* tind = m.f.tind.data() + b;
  float* lost = w.tind_lost.data() + b;
  auto wet_time = [&](auto lanes, int c) {
    using T = decltype(lanes);
    const T t = load<T>(tind + c);
    const T y = dth - load<T>(lost + c);
    const T sum = t + y;
    const auto wet = mnot(load_flag<T>(dry + c));
    store(lost + c, sel(wet, (sum - t) - y, load<T>(lost + c)));
    store(tind + c, sel(wet, sum, t));
  };
  // (A dry ring node keeps its time: its cache lines are not touched.)
  if (!dry[0]) wet_time(0.0f, 0);
  int c = c0;
  for (; c + kLanes <= c1 + 1; c += kLanes) wet_time(Lanes{}, c);
  for (; c <= c1; ++c) wet_time(0.0f, c);
  if (!dry[nxx - 1]) wet_time(0.0f, nxx - 1);
  volume = v;
  nwet = n;
}

// Second stage (Heun): interior nodes take the mean of the start state and
// the twice advanced state, ring nodes their new-state entry; h = hdry is dry.
// (The next step's first stage writes the start state of the interior nodes
// before anything reads it.)
void second_stage_row(Model& m, SolverWork& w, int j, const float* dh, const float* dq,
                      const float* dr, int c0, int c1) {
  const int nxx = m.coin1.nxx;
  const float hdry = m.coin.hdry;
  const float film = film_depth(m);
  const StateRow st = state_row(m, w, j);
  float *h = st.h, *q = st.q, *r = st.r, *h0 = st.h0, *q0 = st.q0, *r0 = st.r0;
  float* hlost = w.h_lost.data() + static_cast<long>(j - 1) * nxx;
  auto place = [&](auto lanes, int c, bool mean) {
    using T = decltype(lanes);
    T hn = load<T>(h0 + c), qn = load<T>(q0 + c), rn = load<T>(r0 + c);
    if (mean) {
      // Start depth plus the mean of both stages' increments (the first as
      // the first stage added it, with what it could not add) and the
      // remainder of earlier steps; what rounds away stays for the next.
      const T H = hn;
      const T y = ((load<T>(h + c) - H) + load<T>(dh + c)) * 0.5f + load<T>(hlost + c);
      hn = vmax(H + y, splat<T>(0.0f));
      store(hlost + c, y - (hn - H));
      qn = (qn + load<T>(q + c) + load<T>(dq + c)) * 0.5f;
      rn = (rn + load<T>(r + c) + load<T>(dr + c)) * 0.5f;
    }
    // Ring nodes flow while wet; interior nodes down to the film.
    const auto wet = hn > hdry;
    store_state(st, c, hn, qn, rn, wet, mean ? mor(wet, mnot(hn < film)) : wet);
  };
  if (j == 1) {
    for (int c = 0; c < nxx; ++c) place(0.0f, c, false);
  } else {
    place(0.0f, 0, false);
    int c = c0;
    for (; c + kLanes <= c1 + 1; c += kLanes) place(Lanes{}, c, true);
    for (; c <= c1; ++c) place(0.0f, c, true);
    place(0.0f, nxx - 1, false);
    cap_thin(m, w, j, h, q, r, c0, c1);
  }
}

// Outflow limiter. The face fluxes of a sweep may take more water out of a
// node than it holds (thin nodes at wet/dry fronts, large outflows from a
// shallow node): the mass flux of every face is therefore scaled by the share
// of its upstream node, theta = min(1, what the node holds / what its faces
// take out in the step), so that no depth falls below zero while every face
// moves the same water out of one node as into the other. Inflows are not
// limited: a node's depth is at least what it held minus what it gives.

// Shares of the interior nodes of row j from the mass fluxes of the sweep
// (qq, rr of rows j and j - 1), the depths the sweep read and the sources.
void outflow_shares(Model& m, SolverWork& w, int j, int c0, int c1) {
  const FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const long b = static_cast<long>(j - 1) * nxx;
  const float* h = f.h.data() + b;
  const float* src = f.src.data() + b;
  const float* qq = f.qq.data() + b;
  const float* rr = f.rr.data() + b;
  const float* rs = rr - nxx;
  float* th = w.theta.data() + b;
  const float dt = m.coin.dt;
  const float tdx = dt / m.coin.dx, tdy = dt / m.coin.dy;
  auto share = [&](auto lanes, int c) {
    using T = decltype(lanes);
    const T zero = splat<T>(0.0f);
    const T give = (vmax(load<T>(qq + c), zero) - vmin(load<T>(qq + c - 1), zero)) * tdx +
                   (vmax(load<T>(rr + c), zero) - vmin(load<T>(rs + c), zero)) * tdy;
    const T have = vmax(load<T>(h + c) + dt * load<T>(src + c), zero);
    const auto over = give > have;
    // The margin keeps the rounding of the update from a negative depth.
    store(th + c, sel(over, have / vmax(give, splat<T>(1e-30f)) * 0.999999f, splat<T>(1.0f)));
    return over;
  };
  bool limited = false;
  int c = c0;
  LaneMask acc{};
  for (; c + kLanes <= c1 + 1; c += kLanes) acc = mor(acc, share(Lanes{}, c));
  limited = any(acc);
  for (; c <= c1; ++c) limited |= share(0.0f, c);
  w.row_limited[j] = limited ? 1 : 0;
}

// Applies the shares to the depth increments of row j (its upstream nodes
// lie in rows j - 1 .. j + 1, whose shares are known), to the boundary
// discharges of its boundary faces and to the mass fluxes qq of row j and
// rr of row j - 1 (and of row j itself in the last row).
bool limited_near(const SolverWork& w, int j) {
  return w.row_limited[j - 1] | w.row_limited[j] | w.row_limited[j + 1];
}

// The depth increments of row j and the boundary discharges bf.
void limit_increments(Model& m, const SolverWork& w, int j, float* dh, std::array<float, 8>& bf,
                      int c0, int c1) {
  if (!limited_near(w, j)) return;
  const int nyy = m.coin1.nyy;
  FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const long b = static_cast<long>(j - 1) * nxx;
  const float* qq = f.qq.data() + b;
  const float* rr = f.rr.data() + b;
  const float* rs = rr - nxx;
  const float* th = w.theta.data() + b;
  const float* ts = th - nxx;
  const float* tn = th + nxx;
  const float dt = m.coin.dt;
  const float dx = m.coin.dx, dy = m.coin.dy;
  const float tdx = dt / dx, tdy = dt / dy;
  const int last = nxx - 2;
  // Share of the upstream node of each face, from the unscaled fluxes.
  auto east = [&](int c) { return qq[c] > 0.0f ? th[c] : th[c + 1]; };
  auto south = [&](int c) { return rs[c] > 0.0f ? ts[c] : th[c]; };
  auto north = [&](int c) { return rr[c] > 0.0f ? th[c] : tn[c]; };
  if (qq[0] < 0.0f) bf[1] -= dy * (1.0f - th[1]) * qq[0];
  if (qq[last] > 0.0f) bf[5] += dy * (1.0f - th[last]) * qq[last];
  for (int c = c0; c <= c1; ++c) {
    const float we = 1.0f - east(c), ww = 1.0f - east(c - 1);
    const float wn = 1.0f - north(c), ws = 1.0f - south(c);
    dh[c] += (we * qq[c] - ww * qq[c - 1]) * tdx + (wn * rr[c] - ws * rs[c]) * tdy;
    if (j == 2 && rs[c] < 0.0f) bf[3] -= dx * ws * rs[c];
    if (j == nyy - 1 && rr[c] > 0.0f) bf[7] += dx * wn * rr[c];
  }
}

// The mass fluxes as applied (read by the transport step): qq of row j and
// rr of row j - 1 (and of row j itself in the last row), in columns c0 .. c1
// (qq from c0 - 1; rr of row j - 1 in s0 .. s1). The increments of rows
// j - 1 and j must have been limited first.
void limit_fluxes(Model& m, const SolverWork& w, int j, int c0, int c1, int s0, int s1) {
  if (!limited_near(w, j)) return;
  const int nyy = m.coin1.nyy;
  FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const long b = static_cast<long>(j - 1) * nxx;
  float* qq = f.qq.data() + b;
  float* rr = f.rr.data() + b;
  float* rs = rr - nxx;
  const float* th = w.theta.data() + b;
  const float* ts = th - nxx;
  const float* tn = th + nxx;
  auto east = [&](int c) { return qq[c] > 0.0f ? th[c] : th[c + 1]; };
  auto south = [&](int c) { return rs[c] > 0.0f ? ts[c] : th[c]; };
  auto north = [&](int c) { return rr[c] > 0.0f ? th[c] : tn[c]; };
  for (int c = c1; c >= c0 - 1; --c) qq[c] *= east(c);
  for (int c = s0; c <= s1; ++c) rs[c] *= south(c);
  if (j == nyy - 1) {
    for (int c = c0; c <= c1; ++c) rr[c] *= north(c);
  }
}

// Applies the shares to the depth increments of row j (its upstream nodes
// lie in rows j - 1 .. j + 1, whose shares are known), to the boundary
// discharges of its boundary faces and to the mass fluxes qq of row j and
// rr of row j - 1 (and of row j itself in the last row).
void limit_outflow(Model& m, SolverWork& w, int j, float* dh) {
  const int last = m.coin1.nxx - 2;
  limit_increments(m, w, j, dh, m.coin.boundary_flow, 1, last);
  limit_fluxes(m, w, j, 1, last, 1, last);
}

void sweep(Model& m, SolverWork& w, bool second_stage, float dth) {
  const int nyy = m.coin1.nyy;
  // Local time steps (steady mode) move no conserved water: not limited.
  const bool limit = !m.clog.steady;
  const int last = m.coin1.nxx - 2;
  double volume = 0.0;
  int nwet = 0;
  auto finish = [&](int j) {
    if (limit && j >= 2) limit_outflow(m, w, j, w.dhp.data());
    if (second_stage) {
      second_stage_row(m, w, j, w.dhp.data(), w.dqp.data(), w.drp.data(), 1, last);
    } else {
      first_stage_row(m, w, j, w.dhp.data(), w.dqp.data(), w.drp.data(), dth, volume, nwet, 1,
                      last);
    }
  };
  for (int j = 1; j <= nyy - 1; ++j) {
    solve(m, w, j, w.dh.data(), w.dq.data(), w.dr.data());
    if (limit && j >= 2) outflow_shares(m, w, j, 1, last);
    if (j >= 2) thin_caps(m, w, j, w.dh.data(), 1, last);
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

// The columns lo .. hi of a row from the first to the last for which `is`
// (a lane test, as a lambda over float or Lanes) is false; empty when it
// holds everywhere.
template <class Test>
Span outside_run(const Test& is, int lo, int hi) {
  int c = lo;
  while (c + kLanes <= hi + 1 && !any(mnot(is(Lanes{}, c)))) c += kLanes;
  while (c <= hi && is(0.0f, c)) ++c;
  if (c > hi) return Span{};
  int e = hi;
  while (e - kLanes + 1 > c && !any(mnot(is(Lanes{}, e - kLanes + 1)))) e -= kLanes;
  while (is(0.0f, e)) --e;
  return Span{c, e};
}

}  // namespace

// The same sweep over fixed blocks of rows, one thread per block at a time.
// Threads take blocks and bands of rows as they come free (the wet part of a
// valley can lie in a few blocks); the results do not depend on which
// thread took what.
// The solver takes every row from the start state and keeps the increments
// of every node; shares, limits and new states follow row by row, each pass
// once all rows of the one before are done.
// Only the passes the new state of the rows band.lo .. band.hi depends on
// are run: each pass a few rows further out than the one after it.
void sweep_band(Model& m, SolverWork& w, bool second_stage, float dth, const BandRows& band) {
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;
  const bool limit = !m.clog.steady;
  const int rows = nyy - 1;
  const int per = std::max(w.block_rows, 1);
  // Rows of each pass: wet columns, spans, the solver, the outflow
  // shares, the new states, the applied fluxes.
  const int lo = band.lo, hi = band.hi;
  const int a0 = std::max(lo - 5, 1), a1 = std::min(hi + 5, nyy);
  const int b0 = std::max(lo - 4, 1), b1 = std::min(hi + 4, rows);
  const int c0 = std::max(lo - 2, 1), c1 = std::min(hi + 2, rows);
  const int d0 = std::max(lo - 1, 2), d1 = std::min(hi + 2, rows);
  const int e0 = std::max(lo, 1), e1 = std::min(hi, rows);
  const int f0 = std::max(lo, 2), f1 = std::min(hi + 1, rows);
  const int blocks = c1 >= c0 ? (c1 - c0 + per) / per : 0;
  size_strips(m, w);
  float* dhg = w.dhg.data();
  float* dqg = w.dqg.data();
  float* drg = w.drg.data();
  auto base = [nxx](int j) { return static_cast<long>(j - 1) * nxx; };
  const int last = nxx - 2;
  const FlowValues& f = m.f;
  Span* span = w.span.data();
  Span* first = w.span_first.data();
  // Interior columns of a span, and the union of two spans.
  auto inner = [last](Span sp) { return Span{std::max(sp.lo, 1), std::min(sp.hi, last)}; };
  auto join = [](Span a, Span b) {
    if (a.lo > a.hi) return b;
    if (b.lo > b.hi) return a;
    return Span{std::min(a.lo, b.lo), std::max(a.hi, b.hi)};
  };
  const bool keep_unsure = w.share == nullptr && !w.full_rows && w.unsure.size() == w.inside.size();
  // The last stage of a step measures the rows for the next time step
  // (timstp) where one process holds all rows.
  const bool last_stage = second_stage || !m.clog.second_order;
  const bool measure = w.share == nullptr && last_stage &&
                       w.row_courant.size() > static_cast<std::size_t>(nyy) &&
                       w.row_depth.size() > static_cast<std::size_t>(nyy) &&
                       w.row_speed2.size() > static_cast<std::size_t>(nyy);
  const float g = m.coin.gravity;
  const float ratio = m.coin.dx / m.coin.dy;
  const float film = film_depth(m);
  // The last stage raises the maxima of the rows it stores, where one
  // process holds all rows and the maxima are asked for.
  const MaximaFields mx = w.maxima;
  const bool raise = w.share == nullptr && last_stage && mx.set();
#pragma omp parallel if (threaded(m.coin1.nn))
  {
    StripWork& sw = w.strips[static_cast<std::size_t>(step_thread())];
    // Wet columns (and the wetted-area factors of their wet/dry faces) and
    // source columns of every row.
#pragma omp for schedule(dynamic, 16)
    for (int j = a0; j <= a1; ++j) {
      const long b = base(j);
      Span wet{}, src{};
      if (w.full_rows) {
        wet = Span{0, nxx - 1};
        src = Span{0, last};
      } else {
        // A node counts as wet unless the step leaves it alone: dry, thinner
        // than the film and at rest.
        const std::uint8_t* dry = f.ldry.data() + b;
        const float* h = f.h.data() + b;
        const float* q = f.q.data() + b;
        const float* r = f.r.data() + b;
        const float* sr = f.src.data() + b;
        const float film = film_depth(m);
        // Most of a row of a valley is dry land or no data: the nodes not
        // flagged dry are found by a byte search, the others that are not
        // still only up to them, lanes at a time.
        auto shallow = [&](auto lanes, int c) {
          using T = decltype(lanes);
          const T zero = splat<T>(0.0f);
          return mand(load<T>(h + c) < film, mand(load<T>(q + c) == zero, load<T>(r + c) == zero));
        };
        auto no_source = [&](auto lanes, int c) {
          using T = decltype(lanes);
          return load<T>(sr + c) == splat<T>(0.0f);
        };
        // Of the nodes flagged dry only the ring nodes and those inside the
        // model are looked at (the walls outside it stay dry, empty and at
        // rest), and of these only the ones the sweeps may have changed
        // since the last search.
        Span in = w.inside[static_cast<std::size_t>(j)];
        const bool keep = keep_unsure && j >= 2 && j <= rows;
        if (keep) {
          const Span u = w.unsure[static_cast<std::size_t>(j)];
          in = Span{std::max(in.lo, u.lo), std::min(in.hi, u.hi)};
        }
        auto run = [&](int c0, int c1) {
          if (c0 > c1) return Span{};
          const Span ring0 = c0 == 0 && !shallow(0.0f, 0) ? Span{0, 0} : Span{};
          const Span ringE =
              c1 == nxx - 1 && !shallow(0.0f, nxx - 1) ? Span{nxx - 1, nxx - 1} : Span{};
          const Span mid = outside_run(shallow, std::max(c0, in.lo), std::min(c1, in.hi));
          return join(join(ring0, mid), ringE);
        };
        const auto n = static_cast<std::size_t>(nxx);
        const void* a = std::memchr(dry, 0, n);
        if (a == nullptr) {
          wet = run(0, nxx - 1);
        } else {
          const auto at = [dry](const void* p) {
            return static_cast<int>(static_cast<const std::uint8_t*>(p) - dry);
          };
          const int lo = at(a), hi = at(memrchr(dry, 0, n));
          const Span left = run(0, lo - 1);
          const Span right = run(hi + 1, nxx - 1);
          wet = Span{left.lo <= left.hi ? left.lo : lo, right.lo <= right.hi ? right.hi : hi};
        }
        if (keep) w.unsure[static_cast<std::size_t>(j)] = inner(wet);
        if (!w.sources_listed || w.source_rows[static_cast<std::size_t>(j)] != 0) {
          src = outside_run(no_source, 0, last);
        }
      }
      w.wet[j] = wet;
      w.with_source[j] = src;
      set_wet_dry_areas(m, j, wet.lo, wet.hi);
    }
    // The span of each row: the nodes whose neighbourhood holds a wet node
    // or that have a source, and one more on either side.
#pragma omp for schedule(dynamic, 16)
    for (int j = b0; j <= b1; ++j) {
      Span wet = join(join(w.wet[j == 1 ? 1 : j - 1], w.wet[j]), w.wet[j + 1]);
      if (wet.lo <= wet.hi) wet = Span{wet.lo - 1, wet.hi + 1};
      Span sp = join(wet, w.with_source[j]);
      if (sp.lo <= sp.hi) sp = Span{std::max(sp.lo - 1, 0), std::min(sp.hi + 1, last)};
      if (second_stage) {
        // The nodes the first stage changed take the mean of both stages;
        // those it left alone start the second stage from their state.
        const Span in = inner(sp), was = inner(first[j]);
        const long b = base(j);
        for (int c = in.lo; c <= in.hi; ++c) {
          if (c >= was.lo && c <= was.hi) continue;
          w.h0[b + c] = f.h[b + c];
          w.q0[b + c] = f.q[b + c];
          w.r0[b + c] = f.r[b + c];
        }
        sp = join(sp, first[j]);
      } else {
        first[j] = sp;
      }
      span[j] = sp;
      // Fluxes left from earlier sweeps where this one solves nothing.
      const Span old = w.solved[j];
      float* qq = m.f.qq.data() + base(j);
      float* rr = m.f.rr.data() + base(j);
      for (int c = old.lo; c <= old.hi; ++c) {
        if (c >= sp.lo && c <= sp.hi) continue;
        qq[c] = 0.0f;
        rr[c] = 0.0f;
      }
      w.solved[j] = sp;
    }
#pragma omp for schedule(dynamic, 1)
    for (int blk = 0; blk < blocks; ++blk) {
      const int ja = c0 + blk * per;
      const int jb = std::min(c1, ja + per - 1);
      if (ja > 1) carry_in(m, sw.carry, sw.row, ja, span[std::max(ja - 2, 0)], span[ja - 1]);
      for (int j = ja; j <= jb; ++j) {
        float& change = w.row_change[j] = 0.0f;
        std::array<float, 8>& bf = w.row_flow[j] = {};
        const long b = base(j);
        solve_span(m, sw.carry, sw.row, j, span[j], span[j - 1], dhg + b, dqg + b, drg + b, change,
                   bf);
        const Span in = inner(span[j]);
        if (j >= 2) thin_caps(m, w, j, dhg + b, in.lo, in.hi);
      }
    }
    if (limit) {
#pragma omp for schedule(dynamic, 16)
      for (int j = d0; j <= d1; ++j) {
        const Span in = inner(span[j]);
        outflow_shares(m, w, j, in.lo, in.hi);
      }
    }
    // Limits and new states; the new state of a row is read by no other
    // row's limit.
#pragma omp for schedule(dynamic, 16)
    for (int j = e0; j <= e1; ++j) {
      const long b = base(j);
      const Span in = inner(span[j]);
      if (keep_unsure && j >= 2 && j <= rows) {
        w.unsure[static_cast<std::size_t>(j)] = join(w.unsure[static_cast<std::size_t>(j)], in);
      }
      if (limit && j >= 2) limit_increments(m, w, j, dhg + b, w.row_flow[j], in.lo, in.hi);
      if (second_stage) {
        second_stage_row(m, w, j, dhg + b, dqg + b, drg + b, in.lo, in.hi);
      } else {
        double& v = w.row_volume[j] = 0.0;
        int& n = w.row_wet[j] = 0;
        first_stage_row(m, w, j, dhg + b, dqg + b, drg + b, dth, v, n, in.lo, in.hi);
      }
      // The time step's measure of the new state, while the row is in the
      // cache, in the columns timstp would measure: from the first to the
      // last node not flagged dry (all inside the span) and the wet columns
      // of the sweep widened by two.
      if (measure && j >= 2 && j <= nyy - 1) {
        const std::uint8_t* dry = f.ldry.data() + b;
        int lo = last + 1, hi = 0;
        if (in.lo <= in.hi) {
          const auto n = static_cast<std::size_t>(in.hi - in.lo + 1);
          if (const void* a = std::memchr(dry + in.lo, 0, n); a != nullptr) {
            lo = static_cast<int>(static_cast<const std::uint8_t*>(a) - dry);
            hi = static_cast<int>(static_cast<const std::uint8_t*>(memrchr(dry + in.lo, 0, n)) -
                                  dry);
          }
        }
        const Span wt = w.wet[j];
        if (wt.lo <= wt.hi) {
          lo = std::min(lo, std::max(wt.lo - 2, 1));
          hi = std::max(hi, std::min(wt.hi + 2, last));
        }
        const RowMax rm = lo <= hi ? courant_row(f.h.data() + b, f.q.data() + b, f.r.data() + b,
                                                 dry, g, ratio, film, nullptr, lo, hi)
                                   : RowMax{};
        w.row_courant[j] = rm.s;
        w.row_depth[j] = rm.h;
        w.row_speed2[j] = rm.u2;
      }
      // The maxima of the nodes the step may have changed, from the row's
      // new state while it is in the cache: the first row whole, else the
      // ring columns and the span.
      if (raise) {
        const float *h = f.h.data(), *q = f.q.data(), *r = f.r.data(), *zb = f.zb.data();
        const auto k = [b](int c) { return static_cast<std::size_t>(b + c); };
        if (j == 1) {
          raise_maxima_range(h, q, r, zb, mx, k(0), k(nxx));
        } else if (in.lo <= in.hi) {
          // (Ring column, span and ring column in one run where they touch.)
          const int lo = in.lo == 1 ? 0 : in.lo, hi = in.hi == last ? nxx - 1 : in.hi;
          if (lo != 0) raise_maxima_range(h, q, r, zb, mx, k(0), k(1));
          raise_maxima_range(h, q, r, zb, mx, k(lo), k(hi + 1));
          if (hi != nxx - 1) raise_maxima_range(h, q, r, zb, mx, k(nxx - 1), k(nxx));
        } else {
          raise_maxima_range(h, q, r, zb, mx, k(0), k(1));
          raise_maxima_range(h, q, r, zb, mx, k(nxx - 1), k(nxx));
        }
      }
    }
    // The fluxes as applied, once no limit reads them unscaled.
    if (limit) {
#pragma omp for schedule(dynamic, 16)
      for (int j = f0; j <= f1; ++j) {
        const Span in = inner(span[j]), below = inner(join(span[j - 1], span[j]));
        limit_fluxes(m, w, j, in.lo, in.hi, below.lo, below.hi);
      }
    }
  }
}

void run_sweep(Model& m, SolverWork& w, bool second_stage, float dth) {
  w.maxima_raised = false;
  if (w.serial || m.coin1.nxx < 3 || m.coin1.nyy < 3) {
    sweep(m, w, second_stage, dth);
    w.changed_all = true;
  } else {
    if (w.share != nullptr) {
      w.share->sweep(m, w, second_stage, dth, &sweep_band);
    } else {
      sweep_band(m, w, second_stage, dth, BandRows{1, m.coin1.nyy});
      add_row_sums(m, w, second_stage);
      w.measured = second_stage || !m.clog.second_order;
      w.maxima_raised = w.measured && w.maxima.set();
    }
    const int rows = m.coin1.nyy - 1;
    for (int j = 1; j <= rows; ++j) {
      Span& c = w.changed[static_cast<std::size_t>(j)];
      const Span sp = w.span[static_cast<std::size_t>(j)];
      if (sp.lo > sp.hi) continue;
      c = c.lo > c.hi ? sp : Span{std::min(c.lo, sp.lo), std::max(c.hi, sp.hi)};
    }
  }
}

}  // namespace QF_ISA
}  // namespace qf
