// Small model states built by hand for the transport and bed tests: a grid
// of nx x ny real cells with a dry ring, every real cell wet at depth h, no
// bedrock, and helpers to set frozen face fluxes.
#pragma once

#include <cmath>
#include <functional>

#include "model/state.h"

namespace qf::test {

struct Grid {
  Model m;
  int nxx = 0, nyy = 0;

  Grid(int nx, int ny, float dx, float dy, float depth = 1.0f) {
    m.coin1.nx = nx;
    m.coin1.ny = ny;
    nxx = m.coin1.nxx = nx + 2;
    nyy = m.coin1.nyy = ny + 2;
    m.coin1.nn = nxx * nyy;
    m.coin.dx = dx;
    m.coin.dy = dy;
    m.coin.cell_area = dx * dy;
    alloc_flow(m, m.coin1.nn);
    for (int j = 1; j <= nyy; ++j) {
      for (int i = 1; i <= nxx; ++i) {
        const int k = m.node(i, j);
        const bool ring = i == 1 || j == 1 || i == nxx || j == nyy;
        m.f.ldry[k] = ring ? 1 : 0;
        m.f.h[k] = ring ? 0.0f : depth;
        m.f.zbr[k] = -9.0e20f;
      }
    }
  }

  int k(int i, int j) const { return m.node(i, j); }
  bool real(int i, int j) const { return i >= 2 && i <= nxx - 1 && j >= 2 && j <= nyy - 1; }

  // Sets every node from fn(i, j) into `field`.
  void each(std::vector<float>& field, const std::function<float(int, int)>& fn) {
    for (int j = 1; j <= nyy; ++j) {
      for (int i = 1; i <= nxx; ++i) field[k(i, j)] = fn(i, j);
    }
  }

  // Frozen fluxes of a discrete stream function psi given at the cell
  // corners (corner (i, j) is the north-east corner of node (i, j)):
  // qq = d psi / dy across the east face, rr = -d psi / dx across the north
  // face. Their discrete divergence is zero in every cell. q and r at the
  // cell centres are the means of the two faces of each direction.
  void stream(const std::function<double(int, int)>& psi) {
    const float dx = m.coin.dx, dy = m.coin.dy;
    for (int j = 1; j <= nyy; ++j) {
      for (int i = 1; i <= nxx; ++i) {
        const int p = k(i, j);
        m.f.qq[p] = static_cast<float>((psi(i, j) - psi(i, j - 1)) / dy);
        m.f.rr[p] = static_cast<float>(-(psi(i, j) - psi(i - 1, j)) / dx);
      }
    }
    for (int j = 2; j <= nyy - 1; ++j) {
      for (int i = 2; i <= nxx - 1; ++i) {
        const int p = k(i, j);
        m.f.q[p] = 0.5f * (m.f.qq[p] + m.f.qq[p - 1]);
        m.f.r[p] = 0.5f * (m.f.rr[p] + m.f.rr[p - nxx]);
      }
    }
  }
};

}  // namespace qf::test
