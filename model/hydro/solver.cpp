// Row solver: face fluxes, bed slope, friction and the increments of one row.
//
// A row is solved in passes over its columns: dry flags, east faces, north
// faces, the wet/dry and boundary corrections of single faces, the viscous
// fluxes, the friction conveyance, then the node increments. The face and
// node passes run kLanes columns at a time through the same kernels as the
// one-column remainders, so every column gets the same result it would get
// alone.
#include "model/hydro/solver.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "model/hydro/flux_kernels.h"
#include "model/hydro/friction.h"
#include "model/hydro/lanes.h"
#include "model/hydro/threads.h"
#include "model/hydro/turbulence.h"
#include "model/memory.h"

namespace qf {

#ifndef QF_ISA_VARIANT
void size_strips(const Model& m, SolverWork& w) {
  const std::size_t nr = static_cast<std::size_t>(std::max(m.coin1.nxx, 0)) + kMaxLanes;
  const std::size_t n = static_cast<std::size_t>(std::max(step_threads(), 1));
  if (w.strips.size() == n && w.strips[0].row.fe.size() == nr) return;
  w.strips.resize(n);
  for (StripWork& s : w.strips) {
    for (auto* v :
         {&s.carry.dzs, &s.carry.drs, &s.carry.dqs, &s.carry.fs1, &s.carry.fs2, &s.carry.fs3}) {
      v->assign(nr, 0.0f);
    }
    RowScratch& rs = s.row;
    for (auto* v : {&rs.fe, &rs.fqe, &rs.fre, &rs.gn, &rs.gqn, &rs.grn, &rs.hf, &rs.cf, &rs.dtl,
                    &rs.jx, &rs.jxn, &rs.jys, &rs.jyn}) {
      v->assign(nr, 0.0f);
    }
    rs.alldry.assign(nr, 0);
    rs.wave.assign(8 * nr, 0.0f);
    rs.wave_moves.assign(3 * nr, 0);
  }
}

void prepare_solver(Model& m, SolverWork& w) {
  const std::size_t nn = static_cast<std::size_t>(std::max(m.coin1.nn, 0));
  const std::size_t nxx = static_cast<std::size_t>(std::max(m.coin1.nxx, 0));
  for (auto* v : {&w.h0, &w.q0, &w.r0}) {
    v->assign(nn, 0.0f);
    release_zero_pages(*v);
  }
  // Row buffers get kMaxLanes spare entries so that lane loads never leave them.
  const std::size_t nr = nxx + kMaxLanes;
  for (auto* v : {&w.dh, &w.dq, &w.dr, &w.dhp, &w.dqp, &w.drp, &w.courant}) v->assign(nr, 0.0f);
  FaceCarry& cr = w.carry;
  for (auto* v : {&cr.dzs, &cr.drs, &cr.dqs, &cr.fs1, &cr.fs2, &cr.fs3}) v->assign(nr, 0.0f);
  RowScratch& rs = w.row;
  for (auto* v : {&rs.fe, &rs.fqe, &rs.fre, &rs.gn, &rs.gqn, &rs.grn, &rs.hf, &rs.cf, &rs.dtl,
                  &rs.jx, &rs.jxn, &rs.jys, &rs.jyn}) {
    v->assign(nr, 0.0f);
  }
  rs.alldry.assign(nr, 0);
  rs.wave.assign(8 * nr, 0.0f);
  rs.wave_moves.assign(3 * nr, 0);
  size_strips(m, w);
  for (auto* v : {&w.dhg, &w.dqg, &w.drg}) {
    v->assign(w.serial ? 0 : nn + kMaxLanes, 0.0f);
    release_zero_pages(*v);
  }
  const std::size_t ny1 = static_cast<std::size_t>(std::max(m.coin1.nyy, 0)) + 1;
  w.row_change.assign(ny1, 0.0f);
  w.row_flow.assign(ny1, std::array<float, 8>{});
  w.row_volume.assign(ny1, 0.0);
  w.row_wet.assign(ny1, 0);
  w.row_courant.assign(ny1, -1.0f);
  w.row_depth.assign(ny1, 0.0f);
  w.row_speed2.assign(ny1, 0.0f);
  w.measured = false;
  w.maxima = MaximaFields{};
  w.maxima_raised = false;
  for (auto* v : {&w.wet, &w.with_source, &w.span, &w.span_first}) v->assign(ny1 + 1, Span{});
  // Nodes outside the model are walls that no level reaches: the sweep
  // leaves them dry, at depth 0 and at rest.
  w.inside.assign(ny1 + 1, Span{});
  const bool walls = m.f.outside.size() >= nn && nn > 0;
  for (int j = 1; j <= m.coin1.nyy; ++j) {
    const int last = static_cast<int>(nxx) - 2;
    if (!walls) {
      w.inside[static_cast<std::size_t>(j)] = Span{1, last};
      continue;
    }
    const std::uint8_t* out = m.f.outside.data() + static_cast<long>(j - 1) * m.coin1.nxx;
    int lo = 1, hi = last;
    while (lo <= last && out[lo] != 0) ++lo;
    while (hi >= lo && out[hi] != 0) --hi;
    w.inside[static_cast<std::size_t>(j)] = lo <= hi ? Span{lo, hi} : Span{};
  }
  w.unsure = w.inside;
  w.source_rows.assign(ny1 + 1, 0);
  w.sources_listed = false;
  // Unknown fluxes everywhere: the first sweep clears what it does not solve.
  w.solved.assign(ny1 + 1, Span{0, static_cast<int>(nxx) - 2});
  w.changed.assign(ny1 + 1, Span{});
  w.changed_all = true;
  w.theta.assign(nn, 1.0f);
  w.row_limited.assign(static_cast<std::size_t>(std::max(m.coin1.nyy, 0)) + 1, 0);
  w.speed_cap.assign(nn, 0.0f);
  release_zero_pages(w.speed_cap);
  w.row_thin.assign(static_cast<std::size_t>(std::max(m.coin1.nyy, 0)) + 1, 0);
  w.tind_lost.assign(nn, 0.0f);
  release_zero_pages(w.tind_lost);
  w.h_lost.assign(nn, 0.0f);
  release_zero_pages(w.h_lost);
  w.dt_last = 0.0f;
  w.bounds = FlowBounds{};
  w.dry_reported = false;
  w.isa = sweep_isa();
  w.sweep = sweep_of(w.isa);
}

void add_row_sums(Model& m, SolverWork& w, bool second_stage) {
  const int rows = m.coin1.nyy - 1;
  Coin& c = m.coin;
  float change = c.change_rate;
  for (int j = 1; j <= rows; ++j) {
    change += w.row_change[j];
    for (std::size_t n = 0; n < 8; ++n) c.boundary_flow[n] += w.row_flow[j][n];
  }
  c.change_rate = change;
  if (!second_stage) {
    double volume = 0.0;
    int nwet = 0;
    for (int j = 1; j <= rows; ++j) {
      volume += w.row_volume[j];
      nwet += w.row_wet[j];
    }
    c.stored_volume = static_cast<float>(volume * c.cell_area);
    m.coin1.nwet = nwet;
  }
}

#endif

inline namespace QF_ISA {

namespace {

// The fields of one grid row, from its column 1. The flow sees a node as
// dry (`dry_at`) when it is flagged dry and holds less than the film depth
// (film_depth, solver.h): water thinner than `hdry` still flows.
struct Row {
  const float *h, *q, *r, *zb, *hfl;
  const std::uint8_t* flag;
  float film;
  bool dry(int c) const { return flow_dry(flag[c], h[c], film); }
  template <class T>
  MaskOf<T> dry_at(int c) const {
    return mand(load_flag<T>(flag + c), load<T>(h + c) < film);
  }
};

Row row_at(const FlowValues& f, long base, float film) {
  return Row{f.h.data() + base,
             f.q.data() + base,
             f.r.data() + base,
             f.zb.data() + base,
             f.hfloat.data() + base,
             f.ldry.data() + base,
             film};
}

// Row j and the rows south, north and two north of it (a ring row stands in
// for the row beyond it).
struct RowsAround {
  Row p, s, n, nn;
};

RowsAround rows_around(const Model& m, int j) {
  const FlowValues& f = m.f;
  const int nxx = m.coin1.nxx, nyy = m.coin1.nyy;
  const float film = film_depth(m);
  const long b = static_cast<long>(j - 1) * nxx;
  const long bN = b + nxx;
  return RowsAround{row_at(f, b, film), row_at(f, j == 1 ? b : b - nxx, film), row_at(f, bN, film),
                    row_at(f, j == nyy - 1 ? bN : bN + nxx, film)};
}

// Constants of a sweep; `hdry` is the depth below which the flow itself
// counts a node as dry (the film depth).
struct Consts {
  float hdry, g, dx, dy, dt, cfl, visc;
  int law;
};

Consts consts_of(const Model& m) {
  return Consts{film_depth(m), m.coin.gravity, m.coin.dx,        m.coin.dy,
                m.coin.dt,     m.coin.cfl,     m.coin.viscosity, m.coin1.friction_law};
}

// Draught of a floating cover (hfloat below 1000), else 0.
template <class T>
inline T draught(T hfl) {
  return sel(hfl - 1000.0f < splat<T>(0.0f), hfl, splat<T>(0.0f));
}

// East face of the nodes from column index c (first = column 1; rr = column
// index of the node beyond the east neighbour).
#define QF_INLINE inline __attribute__((always_inline))

template <bool kSecond, bool kSmooth, class T>
QF_INLINE void east_face(const Row& p, RowScratch& rs, int c, int rr, bool first, const Consts& k) {
  using M = MaskOf<T>;
  const T zero = splat<T>(0.0f);
  // Levels and beds relative to the bed of P: the face flux depends on
  // level differences only, and a 32-bit level hundreds of metres above the
  // datum would round them to some 3e-5 m, noise that keeps the water
  // moving where it should stand (the steady state is never reached).
  const T zP = load<T>(p.zb + c);
  const T zE = load<T>(p.zb + c + 1) - zP, zEE = load<T>(p.zb + rr) - zP;
  const T etaP = load<T>(p.h + c);
  const T etaE = zE + load<T>(p.h + c + 1);
  const T etaEE = zEE + load<T>(p.h + rr);
  const T qP = load<T>(p.q + c), qE = load<T>(p.q + c + 1), qEE = load<T>(p.q + rr);
  const T rP = load<T>(p.r + c), rE = load<T>(p.r + c + 1), rEE = load<T>(p.r + rr);
  const M dP = p.dry_at<T>(c), dE = p.dry_at<T>(c + 1);

  // Differences across the previous face of the row (0 at the row start and
  // behind a node that was skipped as all dry).
  LineDiffT<T> sd{zero, zero, zero};
  if constexpr (kSecond) {
    if (!first) {
      const M skipped = load_flag<T>(rs.alldry.data() + c - 1);
      // As the west face left it: relative to the bed of W.
      const T zW = load<T>(p.zb + c - 1);
      sd.eta = sel(skipped, zero, ((zP - zW) + etaP) - load<T>(p.h + c - 1));
      sd.qn = sel(skipped, zero, qP - load<T>(p.q + c - 1));
      sd.qt = sel(skipped, zero, rP - load<T>(p.r + c - 1));
    }
  }

  // Blocked depth: cover draught, or the part of the higher level above the
  // higher deck soffit.
  const T fP = load<T>(p.hfl + c), fE = load<T>(p.hfl + c + 1);
  const T drP = draught(fP);
  const T zd = vmax(fP - 1000.0f, fE - 1000.0f);
  const T J = sel(drP > zero, (drP + draught(fE)) * 0.5f,
                  sel(zd > zero, vmax(vmax(etaP, etaE) - (zd - zP), zero), zero));

  // Compression across the north faces at both ends of this face.
  const T eh = vmax(vmax(load<T>(rs.jys.data() + c), load<T>(rs.jys.data() + c + 1)),
                    vmax(load<T>(rs.jyn.data() + c), load<T>(rs.jyn.data() + c + 1)));
  const FaceFluxT<T> fl = rflux_t<kSecond, kSmooth>(etaP, etaE, etaEE, qP, qE, qEE, rP, rE, rEE,
                                                    zero, zE, dP, dE, sd, k.hdry, k.g, J, eh);
  const M skip = load_flag<T>(rs.alldry.data() + c);
  store(rs.fe.data() + c, sel(skip, zero, fl.f));
  store(rs.fqe.data() + c, sel(skip, zero, fl.fn));
  store(rs.fre.data() + c, sel(skip, zero, fl.ft));
}

// North face of the nodes from column index c; p, n, nn are the rows j,
// j + 1 and the one beyond (j + 1 again at the top).
template <bool kSecond, bool kSmooth, class T>
QF_INLINE void north_face(const Row& p, const Row& n, const Row& nn, FaceCarry& cr, RowScratch& rs,
                          int c, const Consts& k) {
  using M = MaskOf<T>;
  const T zero = splat<T>(0.0f);
  // Levels and beds relative to the bed of P, as on the east face.
  const T zP = load<T>(p.zb + c);
  const T zN = load<T>(n.zb + c) - zP, zNN = load<T>(nn.zb + c) - zP;
  const T etaP = load<T>(p.h + c);
  const T etaN = zN + load<T>(n.h + c);
  const T etaNN = zNN + load<T>(nn.h + c);
  const T qP = load<T>(p.q + c), qN = load<T>(n.q + c), qNN = load<T>(nn.q + c);
  const T rP = load<T>(p.r + c), rN = load<T>(n.r + c), rNN = load<T>(nn.r + c);
  const M dP = p.dry_at<T>(c), dN = n.dry_at<T>(c);
  LineDiffT<T> sd{load<T>(cr.dzs.data() + c), load<T>(cr.drs.data() + c),
                  load<T>(cr.dqs.data() + c)};

  // Blocked depth: cover draught, or the mean level above the mean soffit
  // when the node has a deck.
  const T fP = load<T>(p.hfl + c), fN = load<T>(n.hfl + c);
  const T drP = draught(fP);
  const T zd = (fP + fN) * 0.5f - 1000.0f;
  const T J = sel(drP > zero, (drP + draught(fN)) * 0.5f,
                  sel(mand(fP - 1000.0f > zero, zd > zero),
                      vmax((etaP + etaN) * 0.5f - (zd - zP), zero), zero));

  // Compression across the east faces at both ends of this face.
  const T eh = vmax(vmax(load<T>(rs.jx.data() + c), load<T>(rs.jx.data() + c + 1)),
                    vmax(load<T>(rs.jxn.data() + c), load<T>(rs.jxn.data() + c + 1)));
  const FaceFluxT<T> fl = rflux_t<kSecond, kSmooth>(etaP, etaN, etaNN, rP, rN, rNN, qP, qN, qNN,
                                                    zero, zN, dP, dN, sd, k.hdry, k.g, J, eh);
  const M skip = load_flag<T>(rs.alldry.data() + c);
  store(rs.gn.data() + c, sel(skip, zero, fl.f));
  store(rs.grn.data() + c, sel(skip, zero, fl.fn));
  store(rs.gqn.data() + c, sel(skip, zero, fl.ft));
  if constexpr (kSecond) {
    store(cr.dzs.data() + c, sel(skip, zero, sd.eta));
    store(cr.drs.data() + c, sel(skip, zero, sd.qn));
    store(cr.dqs.data() + c, sel(skip, zero, sd.qt));
  }
}

// The fields a node update writes, from column 1 of the row.
struct NodeOut {
  float *us, *dzbx, *dzby;
};
struct NodeIn {
  const float *veg, *af, *src;
};

// Increments of the interior nodes from column index c: bed slope, shear
// velocity, point-implicit friction and the flux balance.
template <bool kSteady, class T>
QF_INLINE void node_update(const Row& p, const Row& s, const Row& n, const NodeIn& in,
                           const NodeOut& out, const FaceCarry& cr, const RowScratch& rs, int c,
                           const Consts& k, float* dh, float* dq, float* dr) {
  using M = MaskOf<T>;
  const T zero = splat<T>(0.0f);
  const float K = k.hdry;
  const T hP = load<T>(p.h + c), zP = load<T>(p.zb + c);
  const T qP = load<T>(p.q + c), rP = load<T>(p.r + c);
  const T etaP = hP + zP;

  // Neighbour beds relative to the node's bed, which keeps the depth's
  // digits in a 32-bit level.
  const T zE = load<T>(p.zb + c + 1) - zP, zW = load<T>(p.zb + c - 1) - zP;
  const T zN = load<T>(n.zb + c) - zP, zS = load<T>(s.zb + c) - zP;
  // Faces that act as walls for a wet node: the neighbour is dry and its
  // level not below the node's by more than hdry/2. The wall reflects: the
  // node sees its own mirror image there (same level and depth, normal
  // discharge reversed), which pushes back with g h^2/2, more when the water
  // runs into the wall and less, but never below nothing, when it leaves it
  // (wall_push), and the bed beyond it counts as the node's own. A node
  // boxed in by walls is then in equilibrium.
  const M wetP = mnot(p.dry_at<T>(c));
  const T halfK = splat<T>(0.5f * K);
  auto wall = [&](const M& dry, const T& z, const T& h) {
    return mand(wetP, mand(dry, hP <= (z + h) + halfK));
  };
  const M wE = wall(p.dry_at<T>(c + 1), zE, load<T>(p.h + c + 1));
  const M wW = wall(p.dry_at<T>(c - 1), zW, load<T>(p.h + c - 1));
  const M wN = wall(n.dry_at<T>(c), zN, load<T>(n.h + c));
  const M wS = wall(s.dry_at<T>(c), zS, load<T>(s.h + c));
  // Bed slopes, neighbour beds clipped to the node's level.
  const T dzbx = (sel(wE, zero, vmin(zE, hP)) - sel(wW, zero, vmin(zW, hP))) * 0.5f / k.dx;
  const T dzby = (sel(wN, zero, vmin(zN, hP)) - sel(wS, zero, vmin(zS, hP))) * 0.5f / k.dy;
  const T cw = vsqrt(vmax(k.g * hP, zero));

  // Friction rate [1/s] from the conveyance of the friction depth, with
  // vegetation, cover and deck friction and the side walls.
  const T hd = vmax(hP, splat<T>(K));
  const T hfl = load<T>(p.hfl + c);
  const T ceilP = hfl - 1000.0f;
  const T hf = load<T>(rs.hf.data() + c);
  const T veg = load<T>(in.veg + c);
  T sf = 1.0f / load<T>(rs.cf.data() + c);
  sf = sel(veg > zero, vsqrt(sf * sf + veg * 0.5f * hd), sf);
  const T us = vsqrt(qP * qP + rP * rP) / hf * sf;
  T beta = sf * us / hf * load<T>(in.af + c);
  beta = sel(draught(hfl) > splat<T>(K), beta * 2.0f, beta);
  beta = sel(mand(ceilP > zero, ceilP < etaP), beta * 2.0f, beta);
  // Bed friction depends on the speed alone, but a node beside a wall face
  // with flow oblique to the grid gives up the drag of the staircase bank.
  const M oblique = mand(mor(mor(wE, wW), mor(wN, wS)), mand(qP != zero, rP != zero));
  T fd = splat<T>(1.0f);
  if constexpr (sizeof(T) == sizeof(float)) {
    if (oblique) fd = fdiag(qP, rP);
  } else if (any(oblique)) {
    for (int l = 0; l < kLanes; ++l) {
      if (oblique[l]) fd[l] = fdiag(qP[l], rP[l]);
    }
  }
  const T kappa = fd * beta;
  T dtl;
  if constexpr (kSteady) {
    dtl = load<T>(rs.dtl.data() + c);
  } else {
    dtl = splat<T>(k.dt);
  }
  const T phi = dtl / (kappa * dtl + 1.0f);

  // A sink takes at most what the node holds.
  const T src = vmax(load<T>(in.src + c), -vmax(hP, zero) / dtl);
  const T vdh = -(dtl * ((load<T>(rs.fe.data() + c) - load<T>(rs.fe.data() + c - 1)) / k.dx +
                         (load<T>(rs.gn.data() + c) - load<T>(cr.fs1.data() + c)) / k.dy - src));
  // Momentum fluxes through the four faces as the node sees them.
  const T fqe = sel(wE, wall_push(hP, cw, qP, k.g), load<T>(rs.fqe.data() + c));
  const T fqw = sel(wW, wall_push(hP, cw, zero - qP, k.g), load<T>(rs.fqe.data() + c - 1));
  const T gqn = sel(wN, zero, load<T>(rs.gqn.data() + c));
  const T gqs = sel(wS, zero, load<T>(cr.fs2.data() + c));
  const T fre = sel(wE, zero, load<T>(rs.fre.data() + c));
  const T frw = sel(wW, zero, load<T>(rs.fre.data() + c - 1));
  const T grn = sel(wN, wall_push(hP, cw, rP, k.g), load<T>(rs.grn.data() + c));
  const T grs = sel(wS, wall_push(hP, cw, zero - rP, k.g), load<T>(cr.fs3.data() + c));
  const T vdq = -(phi * ((fqe - fqw) / k.dx + (gqn - gqs) / k.dy + k.g * hP * dzbx + kappa * qP));
  const T vdr = -(phi * ((fre - frw) / k.dx + (grn - grs) / k.dy + k.g * hP * dzby + kappa * rP));

  // A node skipped as all dry takes only a positive source and keeps its
  // shear velocity and slopes.
  const M skip = load_flag<T>(rs.alldry.data() + c);
  store(dh + c, sel(skip, src * k.dt, vdh));
  store(dq + c, sel(skip, zero, vdq));
  store(dr + c, sel(skip, zero, vdr));
  store(out.us + c, sel(skip, load<T>(out.us + c), us));
  store(out.dzbx + c, sel(skip, load<T>(out.dzbx + c), dzbx));
  store(out.dzby + c, sel(skip, load<T>(out.dzby + c), dzby));
}

// Friction depth of the nodes from column index c (1 for a node skipped as
// all dry).
template <class T>
QF_INLINE void friction_geometry(const Row& p, RowScratch& rs, int c, float K) {
  using M = MaskOf<T>;
  const T one = splat<T>(1.0f);
  const T hP = load<T>(p.h + c), zP = load<T>(p.zb + c), hfl = load<T>(p.hfl + c);
  const T ceilP = hfl - 1000.0f;
  // Under a deck the depth up to the soffit, else the depth below a cover.
  const T deck = vmin(hP + zP, ceilP) - zP;
  const T open = vmax(hP, splat<T>(K)) - draught(hfl);
  const T hf = vmax(sel(ceilP >= splat<T>(0.0f), deck, open), splat<T>(K));
  const M skip = load_flag<T>(rs.alldry.data() + c);
  store(rs.hf.data() + c, sel(skip, one, hf));
}

// Friction depth and conveyance of the interior nodes of a row; the
// Manning law lanes at a time, the logarithmic laws one node at a time.
void friction_pass(const Row& p, const float* ks, const float* us, RowScratch& rs, int first,
                   int last, const Consts& k) {
  int c = first;
  for (; c + kLanes <= last + 1; c += kLanes) friction_geometry<Lanes>(p, rs, c, k.hdry);
  for (; c <= last; ++c) friction_geometry<float>(p, rs, c, k.hdry);
  const float* hf = rs.hf.data();
  float* cf = rs.cf.data();
  const std::uint8_t* skip = rs.alldry.data();
  if (k.law == law_manning) {
    auto manning = [&](auto lanes, int cc) {
      using T = decltype(lanes);
      T power;
      manning_power(load<T>(hf + cc), power);
      const T v = 0.3193f * load<T>(ks + cc) * power;
      store(cf + cc, sel(load_flag<T>(skip + cc), splat<T>(1.0f), v));
    };
    for (c = first; c + kLanes <= last + 1; c += kLanes) manning(Lanes{}, c);
    for (; c <= last; ++c) manning(0.0f, c);
  } else {
    for (c = first; c <= last; ++c) {
      cf[c] = skip[c] ? 1.0f : cfric(hf[c], ks[c], us[c], k.visc, k.law);
    }
  }
}

// Wave jumps (wave_jump) of the faces beside the faces of row j, columns
// lo .. hi + 1: of the east face west of each node of rows j and j + 1 (0 at
// the west ring), and of the north faces south and north of each node of
// row j. The node parts (wave_node) of the three rows first, each once, then
// the faces, lanes at a time.
inline void wave_jumps(const Row& P, const Row& S, const Row& N, RowScratch& rs, int lo, int hi,
                       const Consts& k) {
  const int c0 = std::max(lo, 0);
  const int n0 = std::max(c0 - 1, 0), n1 = hi + 1;
  const std::size_t nr = rs.jx.size();
  float* cP = rs.wave.data();
  float *uP = cP + nr, *vP = uP + nr, *cN = vP + nr, *uN = cN + nr, *vN = uN + nr;
  float *cS = vN + nr, *vS = cS + nr;
  std::uint8_t* mP = rs.wave_moves.data();
  std::uint8_t *mN = mP + nr, *mS = mN + nr;
  auto nodes = [&](auto lanes, int c) {
    using T = decltype(lanes);
    auto node = [&](const Row& a) {
      return wave_node(load<T>(a.h + c), load<T>(a.q + c), load<T>(a.r + c),
                       a.template dry_at<T>(c), k.hdry, k.g);
    };
    const WaveNodeT<T> p = node(P), n = node(N), s = node(S);
    store(cP + c, p.c);
    store(uP + c, p.u);
    store(vP + c, p.v);
    store_flag(mP + c, p.moves);
    store(cN + c, n.c);
    store(uN + c, n.u);
    store(vN + c, n.v);
    store_flag(mN + c, n.moves);
    store(cS + c, s.c);
    store(vS + c, s.v);
    store_flag(mS + c, s.moves);
  };
  int c = n0;
  for (; c + kLanes <= n1 + 1; c += kLanes) nodes(Lanes{}, c);
  for (; c <= n1; ++c) nodes(0.0f, c);
  // Faces from column index c (c >= 1 for the east faces).
  auto faces = [&](auto lanes, int c, bool west_ring) {
    using T = decltype(lanes);
    auto jump = [&](const float* ca, const float* ua, const std::uint8_t* ma, int a,
                    const float* cb, const float* ub, const std::uint8_t* mb, int b) {
      return wave_jump_of(load<T>(ca + a), load<T>(ua + a), load<T>(cb + b), load<T>(ub + b),
                          mand(load_flag<T>(ma + a), load_flag<T>(mb + b)));
    };
    store(rs.jx.data() + c, west_ring ? splat<T>(0.0f) : jump(cP, uP, mP, c - 1, cP, uP, mP, c));
    store(rs.jxn.data() + c, west_ring ? splat<T>(0.0f) : jump(cN, uN, mN, c - 1, cN, uN, mN, c));
    store(rs.jys.data() + c, jump(cS, vS, mS, c, cP, vP, mP, c));
    store(rs.jyn.data() + c, jump(cP, vP, mP, c, cN, vN, mN, c));
  };
  c = c0;
  if (c == 0) faces(0.0f, c++, true);
  for (; c + kLanes <= n1 + 1; c += kLanes) faces(Lanes{}, c, false);
  for (; c <= n1; ++c) faces(0.0f, c, false);
}

// Nodes of a row whose five-point neighbourhood is dry.
inline void all_dry(const Row& P, const Row& S, const Row& N, std::uint8_t* skip, int first,
                    int last) {
  for (int c = first; c <= last; ++c) {
    const bool dP = P.dry(c);
    const bool dW = c == 0 ? dP : P.dry(c - 1);
    skip[c] = dP & dW & P.dry(c + 1) & S.dry(c) & N.dry(c);
  }
}

// Wetted-area factors of the wet nodes of row j at wet/dry faces: each node
// takes its own, so that rows can be set in any order.
void wet_dry_areas(Model& m, int j, int lo, int hi) {
  FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;
  const long b = static_cast<long>(j - 1) * nxx;
  const float film = film_depth(m);
  const Row P = row_at(f, b, film);
  const bool solved = j <= nyy - 1;  // rows whose east and north faces are solved
  const Row N = row_at(f, solved ? b + nxx : b, film);
  const Row S = row_at(f, j >= 2 ? b - nxx : b, film);
  for (int c = std::max(lo, 0); c <= std::min(hi, nxx - 1); ++c) {
    if (P.dry(c)) continue;
    bool edge = false;
    if (solved) {
      edge =
          (c <= nxx - 2 && P.dry(c + 1)) || (c >= 1 && P.dry(c - 1)) || (c <= nxx - 2 && N.dry(c));
    }
    if (j >= 2 && c <= nxx - 2) edge = edge || S.dry(c);
    if (edge) f.af[b + c] = area(m, static_cast<int>(b + c + 1));
  }
}

// The north faces of the south ring row (row 1), columns lo .. hi: the
// discharge its ring node holds, none into a dry node.
void ring_north_faces(const Row& P, const Row& N, const std::uint8_t* skip, float* gn, int lo,
                      int hi) {
  for (int c = lo; c <= hi; ++c) {
    if (skip[c]) continue;
    const float rb = P.r[c];
    if (std::fabs(rb) > 0.0001f) gn[c] = rb;
    if (rb < -0.0001f && N.dry(c)) gn[c] = 0.0f;
  }
}

// The north faces of row j into the carry, as solving row j leaves them
// (the differences in the carry must be those of the faces below row j).
template <bool kSecond, bool kSteady, bool kTurb>
void carry_row_t(Model& m, FaceCarry& cr, RowScratch& rs, int j, Span span) {
  const int nxx = m.coin1.nxx;
  const Consts k = consts_of(m);
  const auto [P, S, N, NN] = rows_around(m, j);
  const int last = nxx - 2;
  std::uint8_t* skip = rs.alldry.data();
  const int lo = std::max(span.lo, 0), hi = std::min(span.hi, last);
  all_dry(P, S, N, skip, lo, hi);
  wave_jumps(P, S, N, rs, lo, hi, k);
  int c = lo;
  for (; c + kLanes <= hi + 1; c += kLanes)
    north_face<kSecond, kSteady, Lanes>(P, N, NN, cr, rs, c, k);
  for (; c <= hi; ++c) north_face<kSecond, kSteady, float>(P, N, NN, cr, rs, c, k);
  float* gn = rs.gn.data();
  if (j == 1) {
    ring_north_faces(P, N, skip, gn, lo, hi);
  }
  if constexpr (kTurb) {
    for (c = lo; c <= hi; ++c) {
      if (!skip[c]) rs.gqn[c] -= turbxy(m, c + 1, j).north;
    }
  }
  std::swap(cr.fs1, rs.gn);
  std::swap(cr.fs2, rs.gqn);
  std::swap(cr.fs3, rs.grn);
}

template <bool kSecond, bool kSteady, bool kTurb>
void solve_row_t(Model& m, FaceCarry& cr, RowScratch& rs, int j, float* dh, float* dq, float* dr,
                 float& change_rate, std::array<float, 8>& bf, bool areas, Span span, Span below) {
  FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;
  const Consts k = consts_of(m);
  const long b = static_cast<long>(j - 1) * nxx;
  const auto [P, S, N, NN] = rows_around(m, j);
  const int last = nxx - 2;  // column index of column nxx - 1
  // Columns solved: lo .. hi (all of them in a full sweep). Every other node
  // of the row is all dry without a source: the full sweep would leave it
  // as it is and give its faces no flux.
  const int lo = span.lo, hi = span.hi;
  if (lo > hi) return;
  const int lo1 = std::max(lo, 1);  // first interior column solved
  std::uint8_t* skip = rs.alldry.data();

  if (j == 1) {
    std::fill(cr.dzs.begin(), cr.dzs.end(), 0.0f);
    std::fill(cr.drs.begin(), cr.drs.end(), 0.0f);
    std::fill(cr.dqs.begin(), cr.dqs.end(), 0.0f);
  } else {
    // The carry holds the faces of the row below in its columns only; the
    // faces of its all-dry nodes beyond them carry nothing.
    auto clear = [&](int c0, int c1) {
      for (auto* v : {&cr.dzs, &cr.drs, &cr.dqs, &cr.fs1, &cr.fs2, &cr.fs3}) {
        if (c0 <= c1) std::fill(v->begin() + c0, v->begin() + c1 + 1, 0.0f);
      }
    };
    if (below.lo > below.hi) {
      clear(lo, hi);
    } else {
      clear(lo, std::min(hi, below.lo - 1));
      clear(std::max(lo, below.hi + 1), hi);
    }
  }

  // Nodes whose five-point neighbourhood is dry (and the one before lo,
  // which the first east face reads).
  all_dry(P, S, N, skip, std::max(lo - 1, 0), hi);
  wave_jumps(P, S, N, rs, lo, hi, k);

  // East faces: column 1 starts the row, the last one has no node beyond.
  int c = lo;
  if (lo == 0) {
    east_face<kSecond, kSteady, float>(P, rs, 0, 2, true, k);  // last >= 1
    c = 1;
  }
  for (; c + kLanes <= std::min(hi, last - 1) + 1; c += kLanes)
    east_face<kSecond, kSteady, Lanes>(P, rs, c, c + 2, false, k);
  for (; c <= hi; ++c)
    east_face<kSecond, kSteady, float>(P, rs, c, c == last ? c + 1 : c + 2, false, k);

  // North faces.
  c = lo;
  for (; c + kLanes <= hi + 1; c += kLanes)
    north_face<kSecond, kSteady, Lanes>(P, N, NN, cr, rs, c, k);
  for (; c <= hi; ++c) north_face<kSecond, kSteady, float>(P, N, NN, cr, rs, c, k);

  // Wetted-area factors of the wet node at wet/dry faces (unless set for
  // the whole sweep beforehand).
  for (c = lo; c <= hi && areas; ++c) {
    const bool dP = P.dry(c);
    if (dP != P.dry(c + 1)) {
      const long kw = dP ? b + c + 1 : b + c;
      f.af[kw] = area(m, static_cast<int>(kw + 1));
    }
    if (dP != N.dry(c)) {
      const long kw = dP ? b + nxx + c : b + c;
      f.af[kw] = area(m, static_cast<int>(kw + 1));
    }
  }

  // Faces next to the boundary ring carry the ring node's discharge.
  float* fe = rs.fe.data();
  float* gn = rs.gn.data();
  if (lo == 0 && !skip[0]) {
    const float qb = P.q[0];
    if (std::fabs(qb) > 0.0001f) fe[0] = qb;
    if (qb < -0.0001f && P.dry(1)) fe[0] = 0.0f;
  }
  if (hi == last && !skip[last]) {
    const float qb = P.q[last + 1];
    if (std::fabs(qb) > 0.0001f) fe[last] = qb;
    if (qb > 0.0001f && P.dry(last)) fe[last] = 0.0f;
  }
  if (j == 1) {
    ring_north_faces(P, N, skip, gn, lo, hi);
  }
  if (j == nyy - 1) {
    for (c = lo; c <= hi; ++c) {
      if (skip[c]) continue;
      const float rb = N.r[c];
      if (std::fabs(rb) > 0.0001f) gn[c] = rb;
      if (rb > 0.0001f && P.dry(c)) gn[c] = 0.0f;
    }
  }

  // Local time step: the Courant condition of the step (the form of the
  // global step) with the fastest waves of the node and of its four
  // neighbours, as all four faces feed the node. A node whose neighbourhood
  // is dry takes the global step.
  if constexpr (kSteady) {
    auto measure = [&](const Row& rw, int cc) {
      if (rw.dry(cc)) return 0.0f;
      const float hd = std::max(rw.h[cc], k.hdry);
      const float c = std::sqrt(k.g * hd);
      return (std::fabs(rw.q[cc]) / hd + c) / k.dx + (std::fabs(rw.r[cc]) / hd + c) / k.dy;
    };
    for (c = lo; c <= hi; ++c) {
      float sm = std::max({measure(P, c), measure(P, c + 1), measure(S, c), measure(N, c)});
      if (c > 0) sm = std::max(sm, measure(P, c - 1));
      rs.dtl[c] = sm > 0.0f ? k.cfl / sm : k.dt;
    }
  }

  // Viscous shear fluxes.
  if constexpr (kTurb) {
    for (c = lo; c <= hi; ++c) {
      if (skip[c]) continue;
      const ShearFlux t = turbxy(m, c + 1, j);
      rs.fre[c] -= t.east;
      rs.gqn[c] -= t.north;
    }
  }

  // Increments: none on the ring column and row but a source on dry ground.
  auto ring_node = [&](int cc) {
    const float src = f.src[b + cc];
    dh[cc] = skip[cc] && src > 0.0f ? src * k.dt : 0.0f;
    dq[cc] = dr[cc] = 0.0f;
  };
  if (lo == 0) ring_node(0);
  if (j == 1) {
    for (c = lo1; c <= hi; ++c) ring_node(c);
  } else {
    friction_pass(P, f.ks.data() + b, f.us.data() + b, rs, lo1, hi, k);
    const NodeIn in{f.veg.data() + b, f.af.data() + b, f.src.data() + b};
    const NodeOut out{f.us.data() + b, f.dzbx.data() + b, f.dzby.data() + b};
    c = lo1;
    for (; c + kLanes <= hi + 1; c += kLanes) {
      node_update<kSteady, Lanes>(P, S, N, in, out, cr, rs, c, k, dh, dq, dr);
    }
    for (; c <= hi; ++c) node_update<kSteady, float>(P, S, N, in, out, cr, rs, c, k, dh, dq, dr);

    // Discharges over the four boundaries (inflow positive).
    if (lo <= 1 && hi >= 1 && !skip[1]) {
      bf[0] += k.dy * std::max(fe[0], 0.0f);
      bf[1] += k.dy * std::min(fe[0], 0.0f);
    }
    if (hi == last && !skip[last]) {
      bf[4] -= k.dy * std::min(fe[last], 0.0f);
      bf[5] -= k.dy * std::max(fe[last], 0.0f);
    }
    if (j == 2) {
      for (c = lo1; c <= hi; ++c) {
        if (skip[c]) continue;
        bf[2] += k.dx * std::max(cr.fs1[c], 0.0f);
        bf[3] += k.dx * std::min(cr.fs1[c], 0.0f);
      }
    }
    if (j == nyy - 1) {
      for (c = lo1; c <= hi; ++c) {
        if (skip[c]) continue;
        bf[6] -= k.dx * std::min(gn[c], 0.0f);
        bf[7] -= k.dx * std::max(gn[c], 0.0f);
      }
    }
  }

  // Bookkeeping: change measure, fluxes kept for transport, carried faces.
  float cr_sum = change_rate;
  float* qq = f.qq.data() + b;
  float* rr = f.rr.data() + b;
  for (c = lo; c <= hi; ++c) {
    cr_sum += std::fabs(dh[c]);
    qq[c] = fe[c];
    rr[c] = gn[c];
  }
  change_rate = cr_sum;
  std::swap(cr.fs1, rs.gn);
  std::swap(cr.fs2, rs.gqn);
  std::swap(cr.fs3, rs.grn);
}

using RowFn = void (*)(Model&, FaceCarry&, RowScratch&, int, float*, float*, float*, float&,
                       std::array<float, 8>&, bool, Span, Span);
using CarryFn = void (*)(Model&, FaceCarry&, RowScratch&, int, Span);

struct RowFns {
  RowFn solve;
  CarryFn carry;
};

template <bool kSecond, bool kSteady>
RowFns pick_turb(bool turb) {
  if (turb) return {&solve_row_t<kSecond, kSteady, true>, &carry_row_t<kSecond, kSteady, true>};
  return {&solve_row_t<kSecond, kSteady, false>, &carry_row_t<kSecond, kSteady, false>};
}

template <bool kSecond>
RowFns pick_steady(bool steady, bool turb) {
  return steady ? pick_turb<kSecond, true>(turb) : pick_turb<kSecond, false>(turb);
}

RowFns pick(const Model& m) {
  const bool turb = m.clog.turbulence;
  const bool steady = m.clog.steady;
  return m.clog.second_order ? pick_steady<true>(steady, turb) : pick_steady<false>(steady, turb);
}

}  // namespace

void solve_row(Model& m, FaceCarry& carry, RowScratch& scratch, int j, float* dh, float* dq,
               float* dr, float& change_rate, std::array<float, 8>& boundary_flow, bool areas) {
  if (m.coin1.nxx < 3 || m.coin1.nyy < 3) return;
  const Span all{0, m.coin1.nxx - 2};
  pick(m).solve(m, carry, scratch, j, dh, dq, dr, change_rate, boundary_flow, areas, all, all);
}

void solve_span(Model& m, FaceCarry& carry, RowScratch& scratch, int j, Span span, Span below,
                float* dh, float* dq, float* dr, float& change_rate,
                std::array<float, 8>& boundary_flow) {
  if (m.coin1.nxx < 3 || m.coin1.nyy < 3) return;
  pick(m).solve(m, carry, scratch, j, dh, dq, dr, change_rate, boundary_flow, false, span, below);
}

void carry_in(Model& m, FaceCarry& carry, RowScratch& scratch, int j, Span two_below, Span below) {
  if (m.coin1.nxx < 3 || m.coin1.nyy < 3 || j < 2) return;
  const CarryFn fn = pick(m).carry;
  for (auto* v : {&carry.dzs, &carry.drs, &carry.dqs}) std::fill(v->begin(), v->end(), 0.0f);
  // The differences across the faces below row j - 1 come from row j - 2
  // alone; its fluxes are replaced by those of row j - 1.
  if (j >= 3 && two_below.lo <= two_below.hi) fn(m, carry, scratch, j - 2, two_below);
  if (below.lo <= below.hi) fn(m, carry, scratch, j - 1, below);
}

void carry_in(Model& m, FaceCarry& carry, RowScratch& scratch, int j) {
  const Span all{0, m.coin1.nxx - 2};
  carry_in(m, carry, scratch, j, all, all);
}

void set_wet_dry_areas(Model& m, int j, int lo, int hi) {
  if (m.coin1.nxx < 3 || m.coin1.nyy < 3) return;
  wet_dry_areas(m, j, lo, hi);
}

void solve(Model& m, SolverWork& w, int j, float* dh, float* dq, float* dr) {
  solve_row(m, w.carry, w.row, j, dh, dq, dr, m.coin.change_rate, m.coin.boundary_flow);
}

}  // namespace QF_ISA
}  // namespace qf
