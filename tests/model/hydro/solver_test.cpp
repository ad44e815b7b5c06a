#include "model/hydro/solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "hydro_fixture.h"
#include "reference_step.h"

namespace qf {
namespace {

// Same value, bit for bit where no fused multiply-adds are generated.
void expect_same(float got, float want, const std::string& what) {
#if defined(__FMA__)
  EXPECT_NEAR(got, want, 1e-4f * (1.0f + std::fabs(want))) << what;
#else
  if (std::isnan(want)) {
    EXPECT_TRUE(std::isnan(got)) << what;
  } else {
    EXPECT_EQ(got, want) << what;
  }
#endif
}

// A grid with everything the solver treats specially: uneven bed, dry
// patches (some large enough to hold all-dry nodes with rain), wet ring nodes
// with discharges, floating covers, bridge decks above and below the water,
// vegetation, sources and sinks, old shear velocities, eddy viscosity.
void rich_state(Model& m, int nx, int ny, int law, unsigned seed) {
  test::make_grid(m, nx, ny, 2.0f, 1.5f);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u01(0.0f, 1.0f);
  FlowValues& f = m.f;
  m.coin1.friction_law = law;
  for (int j = 1; j <= m.coin1.nyy; ++j) {
    for (int i = 1; i <= m.coin1.nxx; ++i) {
      const int k = m.node(i, j);
      const bool ring = i == 1 || j == 1 || i == m.coin1.nxx || j == m.coin1.nyy;
      f.zb[k] = 0.6f * u01(rng);
      const float level = 1.0f + 0.2f * u01(rng);
      f.h[k] = std::max(level - f.zb[k], 0.0f);
      if (u01(rng) < 0.12f) f.h[k] = 0.03f * u01(rng);          // shallow or dry
      if (i >= 4 && i <= 7 && j >= 3 && j <= 6) f.h[k] = 0.0f;  // dry patch
      if (ring && u01(rng) < 0.7f) f.h[k] = 0.0f;
      f.q[k] = 2.0f * u01(rng) - 1.0f;
      f.r[k] = 2.0f * u01(rng) - 1.0f;
      if (u01(rng) < 0.05f) f.q[k] = 0.00005f;  // below the ring threshold
      switch (law) {
        case 1:
          f.ks[k] = 20.0f + 20.0f * u01(rng);
          break;
        case 4:
          f.ks[k] = 0.001f + 0.05f * u01(rng);
          break;
        default:
          f.ks[k] = u01(rng) < 0.2f ? 0.0f : 0.01f + 0.2f * u01(rng);
          break;
      }
      const float x = u01(rng);
      if (x < 0.03f)
        f.hfloat[k] = 0.015f;  // thin cover
      else if (x < 0.08f)
        f.hfloat[k] = 0.1f + 0.2f * u01(rng);  // cover
      else if (x < 0.14f)
        f.hfloat[k] = 1000.0f + 0.8f + 0.5f * u01(rng);  // deck
      if (u01(rng) < 0.1f) f.veg[k] = 0.05f;
      f.src[k] = 0.001f * (u01(rng) - 0.3f);
      f.us[k] = 0.2f * u01(rng);
      f.nu[k] = 0.1f * u01(rng);
      f.dzbx[k] = f.dzby[k] = 7.0f;  // kept where a node is skipped
    }
  }
  test::derive(m);
  m.coin.dt = 0.05f;
}

// Solves all rows with both forms and compares every output.
void compare_sweep(Model& base) {
  Model a = base, b = base;
  SolverWork w;
  prepare_solver(a, w);
  test::ReferenceSolver ref(b);
  const int nxx = base.coin1.nxx;
  std::vector<float> rdh(nxx + 1), rdq(nxx + 1), rdr(nxx + 1);
  for (int j = 1; j <= base.coin1.nyy - 1; ++j) {
    solve(a, w, j, w.dh.data(), w.dq.data(), w.dr.data());
    ref.solve(b, j, rdh, rdq, rdr);
    for (int i = 1; i <= nxx - 1; ++i) {
      const std::string at = " at i=" + std::to_string(i) + " j=" + std::to_string(j);
      expect_same(w.dh[i - 1], rdh[i], "dh" + at);
      expect_same(w.dq[i - 1], rdq[i], "dq" + at);
      expect_same(w.dr[i - 1], rdr[i], "dr" + at);
    }
  }
  for (int k = 0; k < base.coin1.nn; ++k) {
    const std::string at = " at node " + std::to_string(k + 1);
    expect_same(a.f.us[k], b.f.us[k], "us" + at);
    expect_same(a.f.dzbx[k], b.f.dzbx[k], "dzbx" + at);
    expect_same(a.f.dzby[k], b.f.dzby[k], "dzby" + at);
    expect_same(a.f.af[k], b.f.af[k], "af" + at);
    expect_same(a.f.qq[k], b.f.qq[k], "qq" + at);
    expect_same(a.f.rr[k], b.f.rr[k], "rr" + at);
  }
  expect_same(a.coin.change_rate, b.coin.change_rate, "change_rate");
  for (int s = 0; s < 8; ++s) {
    expect_same(a.coin.boundary_flow[s], b.coin.boundary_flow[s],
                "boundary_flow " + std::to_string(s));
  }
}

TEST(Solve, EveryModeAndLawMatchesTheNodeByNodeForm) {
  for (int law = 1; law <= 4; ++law) {
    for (int mode = 0; mode < 8; ++mode) {
      Model m;
      rich_state(m, 13 + law, 9, law, 11 * law + mode);
      m.clog.second_order = mode & 1;
      m.clog.steady = mode & 2;
      m.clog.turbulence = mode & 4;
      SCOPED_TRACE("law " + std::to_string(law) + " mode " + std::to_string(mode));
      compare_sweep(m);
      if (HasFailure()) return;
    }
  }
}

TEST(Solve, RowSweepIsTheSameOnWideRows) {
  Model m;
  rich_state(m, 61, 5, 1, 99);
  m.clog.second_order = true;
  compare_sweep(m);
}

// Still water over an uneven bed with every node wet: no increments.
TEST(Solve, StillWaterOverUnevenBedStaysAtRest) {
  for (int second = 0; second < 2; ++second) {
    Model m;
    test::make_grid(m, 12, 7, 3.0f, 2.0f);
    for (int k = 0; k < m.coin1.nn; ++k) m.f.zb[k] = 0.3f * std::sin(0.7f * k);
    test::set_level(m, [](float, float) { return 1.0f; });
    for (int j = 1; j <= m.coin1.nyy; ++j) {  // closed ring: walls
      for (int i = 1; i <= m.coin1.nxx; ++i) {
        if (i == 1 || j == 1 || i == m.coin1.nxx || j == m.coin1.nyy) m.f.zb[m.node(i, j)] = 5.0f;
      }
    }
    test::derive(m);
    m.clog.second_order = second;
    m.coin.dt = 0.1f;
    SolverWork w;
    prepare_solver(m, w);
    for (int j = 1; j <= m.coin1.nyy - 1; ++j) {
      solve(m, w, j, w.dh.data(), w.dq.data(), w.dr.data());
      for (int c = 1; j >= 2 && c <= m.coin1.nxx - 2; ++c) {
        EXPECT_NEAR(w.dh[c], 0.0f, 1e-7f);  // levels zb + h equal to rounding
        EXPECT_NEAR(w.dq[c], 0.0f, 2e-6f);
        EXPECT_NEAR(w.dr[c], 0.0f, 2e-6f);
      }
    }
  }
}

TEST(Solve, DryNeighbourhoodTakesOnlyPositiveSources) {
  Model m;
  test::make_grid(m, 5, 5, 1.0f, 1.0f);
  test::derive(m);  // everything dry
  m.coin.dt = 2.0f;
  const int rain = m.node(3, 3), sink = m.node(4, 3);
  m.f.src[rain] = 0.001f;
  m.f.src[sink] = -0.001f;
  m.f.us[rain] = 0.5f;
  SolverWork w;
  prepare_solver(m, w);
  for (int j = 1; j <= 3; ++j) solve(m, w, j, w.dh.data(), w.dq.data(), w.dr.data());
  EXPECT_FLOAT_EQ(w.dh[2], 0.002f);
  EXPECT_EQ(w.dh[3], 0.0f);
  EXPECT_EQ(w.dq[2], 0.0f);
  EXPECT_EQ(m.f.us[rain], 0.5f);  // untouched
  EXPECT_FLOAT_EQ(m.coin.change_rate, 0.002f);
}

TEST(Solve, RingDischargeEntersThroughTheBoundaryFaceAndIsCounted) {
  // A wet channel; the west ring node of row 3 carries 0.5 m2/s into it, the
  // east ring node of row 3 takes 0.25 m2/s out.
  Model m;
  test::make_grid(m, 6, 3, 2.0f, 1.0f);
  for (int k = 0; k < m.coin1.nn; ++k) m.f.zb[k] = 2.0f;  // closed ring: walls
  test::set_level(m, [](float, float) { return 1.0f; });
  for (int j = 2; j <= 4; ++j) {
    for (int i = 2; i <= 7; ++i) {
      m.f.zb[m.node(i, j)] = 0.0f;
      m.f.h[m.node(i, j)] = 1.0f;
    }
  }
  const int west = m.node(1, 3), east = m.node(8, 3);
  m.f.zb[west] = m.f.zb[east] = 0.0f;
  m.f.h[west] = m.f.h[east] = 1.0f;
  test::derive(m);
  m.f.q[west] = 0.5f;
  m.f.q[east] = 0.25f;
  m.coin.dt = 0.1f;
  SolverWork w;
  prepare_solver(m, w);
  for (int j = 1; j <= 3; ++j) solve(m, w, j, w.dh.data(), w.dq.data(), w.dr.data());
  EXPECT_EQ(m.f.qq[west], 0.5f);
  EXPECT_EQ(m.f.qq[east - 1], 0.25f);
  EXPECT_FLOAT_EQ(m.coin.boundary_flow[0], 0.5f * 1.0f);    // west in
  EXPECT_EQ(m.coin.boundary_flow[1], 0.0f);                 // west out
  EXPECT_FLOAT_EQ(m.coin.boundary_flow[5], -0.25f * 1.0f);  // east out
  // Mass balance of the first interior node of the row: inflow 0.5 minus
  // what leaves through its east face.
  const float fe = m.f.qq[west + 1];
  EXPECT_FLOAT_EQ(w.dh[1], -0.1f * ((fe - 0.5f) / 2.0f + 0.0f));
}

}  // namespace
}  // namespace qf
