// Node-by-node form of the row solver and of the time step: one node after
// the other in the order the scheme is defined, with the one-face kernels.
// The production solver reorganises this work column-wise and lane-wise; the
// tests hold both to the same results.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "model/hydro/flux_kernels.h"
#include "model/hydro/friction.h"
#include "model/hydro/hydro.h"
#include "model/hydro/turbulence.h"
#include "model/state.h"

namespace qf::test {

struct ReferenceSolver {
  std::vector<float> dzs, drs, dqs, fs1, fs2, fs3;  // index = column (from 1)

  explicit ReferenceSolver(const Model& m) {
    for (auto* v : {&dzs, &drs, &dqs, &fs1, &fs2, &fs3}) v->assign(m.coin1.nxx + 1, 0.0f);
  }

  // Increments of row j into dh, dq, dr (index = column, from 1).
  void solve(Model& m, int j, std::vector<float>& dh, std::vector<float>& dq,
             std::vector<float>& dr) {
    FlowValues& f = m.f;
    const int nxx = m.coin1.nxx, nyy = m.coin1.nyy;
    const float K = film_depth(m), g = m.coin.gravity, dx = m.coin.dx, dy = m.coin.dy;
    const float dt = m.coin.dt;
    const bool second = m.clog.second_order;
    if (j == 1) {
      std::fill(dzs.begin(), dzs.end(), 0.0f);
      std::fill(drs.begin(), drs.end(), 0.0f);
      std::fill(dqs.begin(), dqs.end(), 0.0f);
    }
    LineDiff row{0, 0, 0};
    float Fw = 0, Fqw = 0, Frw = 0;
    float dtl = dt;
    // Levels relative to a reference bed (that of the face's first node):
    // the fluxes depend on level differences only.
    auto eta = [&](int k, int ref) { return (f.zb[k] - f.zb[ref]) + f.h[k]; };
    auto dry = [&](int k) { return f.ldry[k] != 0 && f.h[k] < K; };
    auto draught = [&](int k) { return f.hfloat[k] - 1000.0f < 0.0f ? f.hfloat[k] : 0.0f; };
    auto ceil = [&](int k) { return f.hfloat[k] - 1000.0f; };
    // Compression of the waves from node a to node b, with discharges d.
    auto jump = [&](int a, int b, const std::vector<float>& d) {
      return wave_jump(f.h[a], d[a], dry(a), f.h[b], d[b], dry(b), K, g);
    };
    for (int i = 1; i <= nxx - 1; ++i) {
      const int P = m.node(i, j);
      const int E = P + 1, W = i == 1 ? P : P - 1, EE = i == nxx - 1 ? E : P + 2;
      const int N = P + nxx, S = j == 1 ? P : P - nxx, NN = j == nyy - 1 ? N : P + 2 * nxx;
      float Fe, Fqe, Fre, Gn, Gqn, Grn;
      if (dry(P) && dry(W) && dry(E) && dry(S) && dry(N)) {
        Fe = Fqe = Fre = Gn = Gqn = Grn = 0.0f;
        dh[i] = dq[i] = dr[i] = 0.0f;
        row = {0, 0, 0};
        dzs[i] = drs[i] = dqs[i] = 0.0f;
        dh[i] = std::max(f.src[P], -std::max(f.h[P], 0.0f) / dt) * dt;
      } else {
        // East face.
        float Jx = 0.0f;
        if (draught(P) > 0.0f) {
          Jx = (draught(P) + draught(E)) / 2;
        } else {
          const float zd = std::max(ceil(P), ceil(E));
          if (zd > 0.0f) Jx = std::max(std::max(eta(P, P), eta(E, P)) - (zd - f.zb[P]), 0.0f);
        }
        const int SE = j == 1 ? E : E - nxx;
        const float ex = std::max(std::max(jump(S, P, f.r), jump(P, N, f.r)),
                                  std::max(jump(SE, E, f.r), jump(E, E + nxx, f.r)));
        const FaceFlux fe = rflux(eta(P, P), eta(E, P), eta(EE, P), f.q[P], f.q[E], f.q[EE], f.r[P],
                                  f.r[E], f.r[EE], 0.0f, f.zb[E] - f.zb[P], dry(P), dry(E), row, K,
                                  second, g, Jx, m.clog.steady, ex);
        Fe = fe.f;
        Fqe = fe.fn;
        Fre = fe.ft;
        if (!dry(P) && dry(E)) f.af[P] = area(m, P + 1);
        if (dry(P) && !dry(E)) f.af[E] = area(m, E + 1);
        // North face.
        float Jy = 0.0f;
        if (draught(P) > 0.0f) {
          Jy = (draught(P) + draught(N)) / 2;
        } else if (ceil(P) > 0.0f) {
          const float zd = (f.hfloat[P] + f.hfloat[N]) / 2 - 1000.0f;
          if (zd > 0.0f) Jy = std::max((eta(P, P) + eta(N, P)) / 2 - (zd - f.zb[P]), 0.0f);
        }
        LineDiff col{dzs[i], drs[i], dqs[i]};
        const float ey =
            std::max(std::max(i == 1 ? 0.0f : jump(P - 1, P, f.q), jump(P, E, f.q)),
                     std::max(i == 1 ? 0.0f : jump(N - 1, N, f.q), jump(N, N + 1, f.q)));
        const FaceFlux gn = rflux(eta(P, P), eta(N, P), eta(NN, P), f.r[P], f.r[N], f.r[NN], f.q[P],
                                  f.q[N], f.q[NN], 0.0f, f.zb[N] - f.zb[P], dry(P), dry(N), col, K,
                                  second, g, Jy, m.clog.steady, ey);
        dzs[i] = col.eta;
        drs[i] = col.qn;
        dqs[i] = col.qt;
        Gn = gn.f;
        Grn = gn.fn;
        Gqn = gn.ft;
        if (!dry(P) && dry(N)) f.af[P] = area(m, P + 1);
        if (dry(P) && !dry(N)) f.af[N] = area(m, N + 1);
        // Faces next to the ring.
        if (i == 1) {
          if (std::fabs(f.q[P]) > 0.0001f) Fe = f.q[P];
          if (f.q[P] < -0.0001f && dry(E)) Fe = 0.0f;
        }
        if (i == nxx - 1) {
          if (std::fabs(f.q[E]) > 0.0001f) Fe = f.q[E];
          if (f.q[E] > 0.0001f && dry(P)) Fe = 0.0f;
        }
        if (j == 1) {
          if (std::fabs(f.r[P]) > 0.0001f) Gn = f.r[P];
          if (f.r[P] < -0.0001f && dry(N)) Gn = 0.0f;
        }
        if (j == nyy - 1) {
          if (std::fabs(f.r[N]) > 0.0001f) Gn = f.r[N];
          if (f.r[N] > 0.0001f && dry(P)) Gn = 0.0f;
        }
        if (m.clog.steady) {
          auto measure = [&](int n) {
            if (dry(n)) return 0.0f;
            const float hd = std::max(f.h[n], K);
            const float c = std::sqrt(g * hd);
            return (std::fabs(f.q[n]) / hd + c) / dx + (std::fabs(f.r[n]) / hd + c) / dy;
          };
          const float sm = std::max({measure(P), measure(W), measure(E), measure(S), measure(N)});
          dtl = sm > 0.0f ? m.coin.cfl / sm : dt;
        }
        if (m.clog.turbulence) {
          const ShearFlux t = turbxy(m, i, j);
          Fre -= t.east;
          Gqn -= t.north;
        }
        if (i == 1 || j == 1) {
          dh[i] = dq[i] = dr[i] = 0.0f;
        } else {
          const float etaP = f.h[P] + f.zb[P];
          const float hP = f.h[P];
          // A wet node sees its mirror image through a face to a dry node
          // whose level is not below its own by more than hdry/2 (a wall):
          // the pressure of the mirror state (wall_push), the node's own
          // bed beyond.
          auto wall = [&](int n) {
            return !dry(P) && dry(n) && hP <= ((f.zb[n] - f.zb[P]) + f.h[n]) + 0.5f * K;
          };
          auto bed = [&](int n) { return wall(n) ? 0.0f : std::min(f.zb[n] - f.zb[P], hP); };
          f.dzbx[P] = (bed(E) - bed(W)) * 0.5f / dx;
          f.dzby[P] = (bed(N) - bed(S)) * 0.5f / dy;
          const float cw = std::sqrt(std::max(g * hP, 0.0f));
          const float fqe = wall(E) ? wall_push(hP, cw, f.q[P], g) : Fqe;
          const float fqw = wall(W) ? wall_push(hP, cw, -f.q[P], g) : Fqw;
          const float gqn = wall(N) ? 0.0f : Gqn;
          const float gqs = wall(S) ? 0.0f : fs2[i];
          const float fre = wall(E) ? 0.0f : Fre;
          const float frw = wall(W) ? 0.0f : Frw;
          const float grn = wall(N) ? wall_push(hP, cw, f.r[P], g) : Grn;
          const float grs = wall(S) ? wall_push(hP, cw, -f.r[P], g) : fs3[i];
          const float hd = std::max(f.h[P], K);
          float hf, drP = draught(P);
          if (ceil(P) >= 0.0f) {
            hf = std::max(std::min(etaP, ceil(P)) - f.zb[P], K);
            drP = 0.0f;
          } else {
            hf = std::max(hd - drP, K);
          }
          const float c = cfric(hf, f.ks[P], f.us[P], m.coin.viscosity, m.coin1.friction_law);
          float s = 1.0f / c;
          if (f.veg[P] > 0.0f) s = std::sqrt(s * s + f.veg[P] * 0.5f * hd);
          f.us[P] = std::sqrt(f.q[P] * f.q[P] + f.r[P] * f.r[P]) / hf * s;
          float beta = s * f.us[P] / hf * f.af[P];
          if (drP > K) beta *= 2.0f;
          if (ceil(P) > 0.0f && ceil(P) < etaP) beta *= 2.0f;
          const bool walled = wall(E) || wall(W) || wall(N) || wall(S);
          const bool oblique = walled && f.q[P] != 0.0f && f.r[P] != 0.0f;
          const float kappa = (oblique ? fdiag(f.q[P], f.r[P]) : 1.0f) * beta;
          const float phi = dtl / (kappa * dtl + 1.0f);
          const float src = std::max(f.src[P], -std::max(f.h[P], 0.0f) / dtl);
          dh[i] = -dtl * ((Fe - Fw) / dx + (Gn - fs1[i]) / dy - src);
          dq[i] = -phi *
                  ((fqe - fqw) / dx + (gqn - gqs) / dy + g * f.h[P] * f.dzbx[P] + kappa * f.q[P]);
          dr[i] = -phi *
                  ((fre - frw) / dx + (grn - grs) / dy + g * f.h[P] * f.dzby[P] + kappa * f.r[P]);
          std::array<float, 8>& bf = m.coin.boundary_flow;
          if (i == 2) {
            bf[0] += dy * std::max(Fw, 0.0f);
            bf[1] += dy * std::min(Fw, 0.0f);
          }
          if (i == nxx - 1) {
            bf[4] -= dy * std::min(Fe, 0.0f);
            bf[5] -= dy * std::max(Fe, 0.0f);
          }
          if (j == 2) {
            bf[2] += dx * std::max(fs1[i], 0.0f);
            bf[3] += dx * std::min(fs1[i], 0.0f);
          }
          if (j == nyy - 1) {
            bf[6] -= dx * std::min(Gn, 0.0f);
            bf[7] -= dx * std::max(Gn, 0.0f);
          }
        }
      }
      m.coin.change_rate += std::fabs(dh[i]);
      Fw = Fe;
      Fqw = Fqe;
      Frw = Fre;
      fs1[i] = Gn;
      fs2[i] = Gqn;
      fs3[i] = Grn;
      f.qq[P] = Fe;
      f.rr[P] = Gn;
    }
  }
};

// The time step, node by node, with its own persistent new-state arrays.
struct ReferenceStep {
  ReferenceSolver solver;
  std::vector<float> h0, q0, r0, dh, dq, dr;
  std::vector<float> dhs, dh0;  // swept depth increments, limiter corrections
  std::vector<float> lost;      // compensation of the wet-time sums
  std::vector<float> hlost;     // compensation of the depth updates
  bool dry_reported = false;
  float dt_last = 0.0f;

  explicit ReferenceStep(const Model& m) : solver(m) {
    for (auto* v : {&h0, &q0, &r0, &dhs, &dh0}) v->assign(m.coin1.nn, 0.0f);
    lost.assign(m.coin1.nn, 0.0f);
    hlost.assign(m.coin1.nn, 0.0f);
    for (auto* v : {&dh, &dq, &dr}) v->assign(m.coin1.nxx + 1, 0.0f);
  }

  void timstp(Model& m) {
    const FlowValues& f = m.f;
    const float g = m.coin.gravity;
    float best = -1.0f;
    for (int j = 2; j <= m.coin1.nyy - 1; ++j) {
      for (int i = 2; i <= m.coin1.nxx - 1; ++i) {
        const int k = m.node(i, j);
        if (f.ldry[k] && f.h[k] < film_depth(m)) continue;
        const float H = f.h[k], u = f.q[k] / H, v = f.r[k] / H;
        const float ratio = m.coin.dx / m.coin.dy;
        const float c = std::sqrt(std::max(g * H, 0.0f));
        const float ws = (std::fabs(u) + c) + ratio * (std::fabs(v) + c);
        const float s = ws * ws;
        if (s > best) {
          best = s;
          m.coin1.cfl_cell = {i - 1, j - 1};
        }
      }
    }
    if (best > 0.0f) {
      m.coin.dt = m.coin.cfl * m.coin.dx / std::sqrt(best);
    } else {
      dry_reported = true;
      m.coin.dt = 1.0f;
    }
    if (m.clog.turbulence) {
      float nu = m.coin.viscosity;
      for (int k = 0; k < m.coin1.nn; ++k) nu = std::max(nu, f.nu[k]);
      const float d = std::min(m.coin.dx, m.coin.dy);
      m.coin.dt = std::min(m.coin.dt, 0.25f * d * d / nu);
    }
    if (best > 0.0f && dt_last > 0.0f) m.coin.dt = std::min(m.coin.dt, 1.25f * dt_last);
    dt_last = m.coin.dt;
  }

  // Outflow limiter over the whole grid after a sweep: every face's mass flux
  // scaled by the share of its upstream node; dh0 takes the depth corrections.
  void limit(Model& m) {
    std::fill(dh0.begin(), dh0.end(), 0.0f);
    if (m.clog.steady) return;
    FlowValues& f = m.f;
    const int nxx = m.coin1.nxx, nyy = m.coin1.nyy;
    const float dt = m.coin.dt, dx = m.coin.dx, dy = m.coin.dy;
    std::vector<float> th(m.coin1.nn, 1.0f);
    for (int j = 2; j <= nyy - 1; ++j) {
      for (int i = 2; i <= nxx - 1; ++i) {
        const int P = m.node(i, j);
        const float give = (std::max(f.qq[P], 0.0f) - std::min(f.qq[P - 1], 0.0f)) * (dt / dx) +
                           (std::max(f.rr[P], 0.0f) - std::min(f.rr[P - nxx], 0.0f)) * (dt / dy);
        const float have = std::max(f.h[P] + dt * f.src[P], 0.0f);
        if (give > have) th[P] = have / give * 0.999999f;
      }
    }
    auto share = [&](float F, int up, int down) { return F > 0.0f ? th[up] : th[down]; };
    std::array<float, 8>& bf = m.coin.boundary_flow;
    for (int j = 2; j <= nyy - 1; ++j) {
      for (int i = 2; i <= nxx - 1; ++i) {
        const int P = m.node(i, j);
        const float fe = f.qq[P], fw = f.qq[P - 1], gn = f.rr[P], gs = f.rr[P - nxx];
        const float we = 1.0f - share(fe, P, P + 1), ww = 1.0f - share(fw, P - 1, P);
        const float wn = 1.0f - share(gn, P, P + nxx), ws = 1.0f - share(gs, P - nxx, P);
        dh0[P] = (we * fe - ww * fw) * (dt / dx) + (wn * gn - ws * gs) * (dt / dy);
        if (i == 2 && fw < 0.0f) bf[1] -= dy * ww * fw;
        if (i == nxx - 1 && fe > 0.0f) bf[5] += dy * we * fe;
        if (j == 2 && gs < 0.0f) bf[3] -= dx * ws * gs;
        if (j == nyy - 1 && gn > 0.0f) bf[7] += dx * wn * gn;
      }
    }
    for (int j = 1; j <= nyy - 1; ++j) {
      for (int i = 1; i <= nxx - 1; ++i) {
        const int P = m.node(i, j);
        if (j >= 2) f.qq[P] *= share(f.qq[P], P, P + 1);
        if (i >= 2) f.rr[P] *= share(f.rr[P], P, P + nxx);
      }
    }
  }

  void step(Model& m, BoundaryWork& bw, Channels& io, Messages& msg) {
    FlowValues& f = m.f;
    const int nxx = m.coin1.nxx, nyy = m.coin1.nyy, nn = m.coin1.nn;
    m.coin.change_rate = 0.0f;
    m.coin.stored_volume = 0.0f;
    m.coin1.nwet = 0;
    timstp(m);
    const float dth = m.coin.dt * 0.0002777778f;
    m.coin.time += dth;
    bound(m, bw, io, msg);
    source(m, bw, io, msg);
    tmod(m);
    for (int j = 1; j <= nyy - 1; ++j) {
      solver.solve(m, j, dh, dq, dr);
      if (j < 2) continue;
      for (int i = 2; i <= nxx - 1; ++i) {
        const int k = m.node(i, j);
        dhs[k] = dh[i];
        q0[k] = f.q[k] + dq[i];
        r0[k] = f.r[k] + dr[i];
      }
    }
    limit(m);
    for (int j = 2; j <= nyy - 1; ++j) {
      for (int i = 2; i <= nxx - 1; ++i) {
        const int k = m.node(i, j);
        const float e = hlost[k];
        const float y = (dhs[k] + dh0[k]) + e;
        h0[k] = std::max(f.h[k] + y, 0.0f);
        const float rest = y - (h0[k] - f.h[k]);
        hlost[k] = m.clog.second_order ? (rest + e) * 0.5f : rest;
      }
    }
    for (int k = 0; k < nn - nxx; ++k) {
      std::swap(f.h[k], h0[k]);
      std::swap(f.q[k], q0[k]);
      std::swap(f.r[k], r0[k]);
      // Interior water thinner than hdry keeps flowing down to the film.
      const bool ring = k < nxx || k % nxx == 0 || k % nxx == nxx - 1;
      if (f.h[k] < m.coin.hdry) {
        if (ring || f.h[k] < film_depth(m)) f.q[k] = f.r[k] = 0.0f;
        f.ldry[k] = 1;
      } else {
        f.ldry[k] = 0;
        m.coin.stored_volume += f.h[k];
        m.coin1.nwet += 1;
        const float y = dth - lost[k];
        const float t = f.tind[k] + y;
        lost[k] = (t - f.tind[k]) - y;
        f.tind[k] = t;
      }
    }
    m.coin.stored_volume *= m.coin.cell_area;
    if (m.clog.second_order) {
      m.coin.change_rate = 0.0f;
      const std::array<float, 8> first = m.coin.boundary_flow;
      bound(m, bw, io, msg);
      for (int j = 1; j <= nyy - 1; ++j) {
        solver.solve(m, j, dh, dq, dr);
        if (j < 2) continue;
        for (int i = 2; i <= nxx - 1; ++i) {
          const int k = m.node(i, j);
          dhs[k] = dh[i];
          q0[k] = (q0[k] + f.q[k] + dq[i]) * 0.5f;
          r0[k] = (r0[k] + f.r[k] + dr[i]) * 0.5f;
        }
      }
      limit(m);
      for (int n = 0; n < 8; ++n) {
        m.coin.boundary_flow[n] = (first[n] + m.coin.boundary_flow[n]) * 0.5f;
      }
      for (int j = 2; j <= nyy - 1; ++j) {
        for (int i = 2; i <= nxx - 1; ++i) {
          const int k = m.node(i, j);
          const float H = h0[k];
          const float y = ((f.h[k] - H) + (dhs[k] + dh0[k])) * 0.5f + hlost[k];
          h0[k] = std::max(H + y, 0.0f);
          hlost[k] = y - (h0[k] - H);
        }
      }
      for (int k = 0; k < nn - nxx; ++k) {
        f.h[k] = h0[k];
        f.q[k] = q0[k];
        f.r[k] = r0[k];
        const bool ring = k < nxx || k % nxx == 0 || k % nxx == nxx - 1;
        if (f.h[k] > m.coin.hdry) {
          f.ldry[k] = 0;
        } else {
          if (ring || f.h[k] < film_depth(m)) f.q[k] = f.r[k] = 0.0f;
          f.ldry[k] = 1;
        }
      }
    }
    m.coin.change_rate /= m.coin.dt;
    zerode(m);
  }
};

}  // namespace qf::test
