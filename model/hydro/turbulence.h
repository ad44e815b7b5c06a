// Turbulence: eddy viscosity and the viscous shear fluxes of a node.
//
// Only the depth-averaged shear stress nu (du/dy + dv/dx) is modelled; it
// enters the flux of y momentum (r) through the east face of a node and the
// flux of x momentum (q) through its north face. The eddy viscosity field
// `nu` [m2/s] is filled once per step by `tmod` (hydro.h) from the molecular
// viscosity, the bed-shear term cv u* h and a horizontal mixing length.
#pragma once

#include <algorithm>
#include <cmath>

#include "model/state.h"

namespace qf {

// Viscous fluxes of a node [m3/s2]: of r through its east face, of q through
// its north face.
struct ShearFlux {
  float east, north;
};

// Shear fluxes of node (i, j) (columns and rows from 1; i <= nxx - 1,
// j <= nyy - 1) from h, q, r, ldry and nu. A face beside a dry node carries
// none: its geometric-mean depth is 0.
inline ShearFlux turbxy(const Model& m, int i, int j) {
  const FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const float K = m.coin.hdry;
  const int P = m.node(i, j);
  const int E = P + 1;
  const int W = i == 1 ? P : P - 1;
  const int N = P + nxx;
  const int S = j == 1 ? P : P - nxx;
  const int NE = N + 1, NW = N - 1, SE = S + 1;

  auto depth = [&](int k) { return f.ldry[k] ? 0.0f : f.h[k]; };  // a dry node counts 0
  auto vel = [&](const std::vector<float>& d, int k, float hk) { return d[k] / std::max(hk, K); };

  const float hP = depth(P), hN = depth(N), hE = depth(E);
  const float uP = vel(f.q, P, hP), vP = vel(f.r, P, hP);
  const float uN = vel(f.q, N, hN);
  const float uS = vel(f.q, S, f.h[S]), uSE = vel(f.q, SE, f.h[SE]), uNE = vel(f.q, NE, f.h[NE]);
  const float vE = vel(f.r, E, f.h[E]), vW = vel(f.r, W, f.h[W]);
  const float vNE = vel(f.r, NE, f.h[NE]), vNW = vel(f.r, NW, f.h[NW]);

  const float ae = std::sqrt(hP * hE);
  const float an = std::sqrt(hP * hN);
  const float nue = (f.nu[P] + f.nu[E]) * 0.5f;
  const float nun = (f.nu[P] + f.nu[N]) * 0.5f;
  const float dx = m.coin.dx, dy = m.coin.dy;
  ShearFlux t;
  t.east = ae * nue * ((vE - vP) / dx + (uN + uNE - uS - uSE) / (4.0f * dy));
  t.north = an * nun * ((uN - uP) / dy + (vE + vNE - vW - vNW) / (4.0f * dx));
  return t;
}

}  // namespace qf
