#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "hydro_fixture.h"
#include "model/hydro/hydro.h"
#include "reference_step.h"

namespace qf {
namespace {

void expect_same(float got, float want, const std::string& what) {
#if defined(__FMA__)
  EXPECT_NEAR(got, want, 1e-4f * (1.0f + std::fabs(want))) << what;
#else
  EXPECT_EQ(got, want) << what;
#endif
}

// Dam break over an uneven bed with an island and a dry corner.
void wet_and_dry(Model& m) {
  test::make_grid(m, 21, 11, 2.0f, 3.0f);
  for (int j = 1; j <= m.coin1.nyy; ++j) {
    for (int i = 1; i <= m.coin1.nxx; ++i) {
      const float x = (i - 2) * 2.0f, y = (j - 2) * 3.0f;
      float z = 0.2f * std::sin(0.3f * x) * std::cos(0.2f * y);
      if (std::hypot(x - 24.0f, y - 15.0f) < 5.0f) z = 1.5f;  // island
      if (x > 34.0f && y > 20.0f) z = 0.9f;                   // bank, dry
      m.f.zb[m.node(i, j)] = z;
    }
  }
  test::set_level(m, [](float x, float) { return x < 12.0f ? 1.2f : 0.6f; });
  test::derive(m);
}

void compare_steps(Model& start, int steps) {
  Model a = start, b = start;
  test::Io ia, ib;
  Hydro w;
  prepare(a, w);
  w.solver.serial = true;  // the sums in the node-by-node order
  BoundaryWork bw;
  prepare_boundary(b, bw);
  test::ReferenceStep ref(b);
  for (int s = 0; s < steps; ++s) {
    flow(a, w, ia.io, ia.msg);
    ref.step(b, bw, ib.io, ib.msg);
    const std::string st = " step " + std::to_string(s + 1);
    expect_same(a.coin.dt, b.coin.dt, "dt" + st);
    // Clock and volume are summed in double precision here (see the tests
    // below); the node-by-node step sums them in single precision.
    EXPECT_NEAR(a.coin.time, b.coin.time, 1e-6 * b.coin.time) << st;
    EXPECT_NEAR(a.coin.stored_volume, b.coin.stored_volume, 1e-5 * b.coin.stored_volume) << st;
    expect_same(a.coin.change_rate, b.coin.change_rate, "change_rate" + st);
    EXPECT_EQ(a.coin1.nwet, b.coin1.nwet) << st;
    EXPECT_EQ(a.coin1.cfl_cell, b.coin1.cfl_cell) << st;
    for (int f = 0; f < 8; ++f) {
      expect_same(a.coin.boundary_flow[f], b.coin.boundary_flow[f], "boundary_flow" + st);
    }
    for (int k = 0; k < a.coin1.nn; ++k) {
      const std::string at = " node " + std::to_string(k + 1) + st;
      expect_same(a.f.h[k], b.f.h[k], "h" + at);
      expect_same(a.f.q[k], b.f.q[k], "q" + at);
      expect_same(a.f.r[k], b.f.r[k], "r" + at);
      expect_same(a.f.tind[k], b.f.tind[k], "tind" + at);
      expect_same(a.f.us[k], b.f.us[k], "us" + at);
      expect_same(a.f.nu[k], b.f.nu[k], "nu" + at);
      EXPECT_EQ(a.f.ldry[k], b.f.ldry[k]) << at;
    }
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(Flow, StepsMatchTheNodeByNodeStep) {
  for (int mode = 0; mode < 4; ++mode) {
    Model m;
    wet_and_dry(m);
    m.clog.second_order = mode & 1;
    if (mode & 2) {  // turbulence with all three terms, vegetation, an erodable node
      m.clog.turbulence = true;
      m.coin.viscosity = 0.001f;
      m.coin.cv = 0.1f;
      m.coin.mixing_length_sq = 0.25f;
      m.f.veg[m.node(5, 5)] = 0.1f;
      m.coin1.nerod = 1;
      m.coin1.erod_node = {m.node(4, 6) + 1};
      m.coin1.erod = {ErodRecord{0.5f, 2.0f, 0.0f, -1.0f}};
    }
    SCOPED_TRACE("mode " + std::to_string(mode));
    compare_steps(m, 60);
    if (HasFailure()) return;
  }
}

TEST(Flow, SteadyModeMatchesTheNodeByNodeStep) {
  Model m;
  wet_and_dry(m);
  m.clog.steady = true;
  compare_steps(m, 30);
}

// The flow depends on level differences only: one step of the dam break
// 512 m higher (beds on a 1/64 m raster, so that the shift is exact in 32
// bits) gives the same depths and discharges bit for bit, first and second
// order, at every node out of reach of the closed ring (whose wall beds are
// levels, rounded at that height). Levels formed as bed + depth would keep
// only some 6e-5 m of the depth and never let the water settle.
TEST(Flow, StepIsTheSameFarAboveTheDatum) {
  for (int second = 0; second < 2; ++second) {
    Model low;
    wet_and_dry(low);
    low.clog.second_order = second;
    for (float& z : low.f.zb) z = std::round(z * 64.0f) / 64.0f;
    Model high = low;
    for (float& z : high.f.zb) z += 512.0f;
    test::derive(low);
    test::derive(high);
    Hydro wl, wh;
    test::Io il, ih;
    prepare(low, wl);
    prepare(high, wh);
    flow(low, wl, il.io, il.msg);
    flow(high, wh, ih.io, ih.msg);
    int compared = 0, differ = 0;
    for (int j = 7; j <= low.coin1.nyy - 6; ++j) {
      for (int i = 7; i <= low.coin1.nxx - 6; ++i) {
        const int k = low.node(i, j);
        ++compared;
        differ +=
            low.f.h[k] != high.f.h[k] || low.f.q[k] != high.f.q[k] || low.f.r[k] != high.f.r[k];
      }
    }
    EXPECT_EQ(differ, 0) << "of " << compared << " nodes, order " << second + 1;
  }
}

TEST(Timstp, CourantStepAndTheCellThatLimitsIt) {
  Model m;
  test::make_grid(m, 4, 3, 2.0f, 1.0f);
  test::set_level(m, [](float, float) { return 1.0f; });
  test::derive(m);
  // Node (3, 3): h = 1, u = 2, v = 1, c = sqrt(g): waves of 2 + c in x
  // (dx = 2) and 1 + c in y (dy = 1) -> dt = cfl / ((2 + c)/2 + (1 + c)/1).
  const int k = m.node(3, 3);
  m.f.q[k] = 2.0f;
  m.f.r[k] = 1.0f;
  test::Io io;
  Hydro w;
  prepare(m, w);
  timstp(m, w, io.io);
  const double c = std::sqrt(9.81);
  EXPECT_NEAR(m.coin.dt, 0.7 / ((2.0 + c) / 2.0 + (1.0 + c) / 1.0), 1e-6);
  EXPECT_EQ(m.coin1.cfl_cell[0], 2);
  EXPECT_EQ(m.coin1.cfl_cell[1], 2);

  // Equal maxima: the lower row wins, then the lower column.
  m.f.q[k] = 0.0f;
  m.f.r[k] = 0.0f;
  m.f.q[m.node(5, 4)] = 2.0f;
  m.f.q[m.node(4, 4)] = 2.0f;
  m.f.q[m.node(2, 3)] = -2.0f;
  m.f.q[m.node(5, 3)] = 2.0f;
  timstp(m, w, io.io);
  EXPECT_EQ(m.coin1.cfl_cell[0], 1);
  EXPECT_EQ(m.coin1.cfl_cell[1], 2);
  // A dry node does not count however fast it is.
  m.f.q[m.node(2, 2)] = 50.0f;
  m.f.ldry[m.node(2, 2)] = 1;
  timstp(m, w, io.io);
  EXPECT_EQ(m.coin1.cfl_cell[1], 2);
  EXPECT_TRUE(io.scr.str().empty());
}

TEST(Timstp, DryDomainTakesOneSecondAndSaysSoOnce) {
  Model m;
  test::make_grid(m, 3, 3, 1.0f, 1.0f);
  test::derive(m);
  test::Io io;
  Hydro w;
  prepare(m, w);
  for (int s = 0; s < 3; ++s) {
    flow(m, w, io.io, io.msg);
    EXPECT_EQ(m.coin.dt, 1.0f);
  }
  EXPECT_EQ(io.scr.str(), " >DRY DOMAIN DETECTED\n");
  EXPECT_FLOAT_EQ(m.coin.time, 3.0f * 0.0002777778f);
  EXPECT_EQ(m.coin1.nwet, 0);
  EXPECT_EQ(m.coin.stored_volume, 0.0f);
}

// A pond of exactly hdry between walls stays hdry deep: wet after the first
// stage, dry after the second.
TEST(Flow, DepthEqualToHdryIsWetAfterTheFirstStageAndDryAfterTheSecond) {
  for (int second = 0; second < 2; ++second) {
    Model m;
    test::make_grid(m, 3, 3, 1.0f, 1.0f);
    for (int k = 0; k < m.coin1.nn; ++k) m.f.zb[k] = 1.0f;
    const int k = m.node(3, 3);
    m.f.zb[k] = 0.0f;
    m.f.h[k] = m.coin.hdry;
    test::derive(m);
    ASSERT_EQ(m.f.ldry[k], 1);
    m.clog.second_order = second;
    test::Io io;
    Hydro w;
    prepare(m, w);
    flow(m, w, io.io, io.msg);
    EXPECT_EQ(m.f.h[k], m.coin.hdry);
    EXPECT_EQ(m.f.ldry[k], second ? 1 : 0);
    EXPECT_EQ(m.coin1.nwet, 1);  // counted by the first stage
    EXPECT_FLOAT_EQ(m.coin.stored_volume, m.coin.hdry);
    EXPECT_FLOAT_EQ(m.f.tind[k], 0.0002777778f);
  }
}

// The exchange covers every row but the last, ring nodes included: a ring
// node gets what its new-state entry held (and is classified with it); the
// last row keeps what the boundary treatment gave it.
TEST(Flow, RingNodesTakeTheNewStateEntryButTheLastRowIsNotExchanged) {
  Model m;
  test::make_grid(m, 4, 3, 1.0f, 1.0f);
  test::set_level(m, [](float, float) { return 1.0f; });
  test::derive(m);
  test::Io io;
  Hydro w;
  prepare(m, w);
  const int bottom = m.node(3, 1), top = m.node(3, m.coin1.nyy);
  w.solver.h0[bottom] = 3.0f;
  w.solver.h0[top] = 5.0f;
  flow(m, w, io.io, io.msg);
  EXPECT_EQ(m.f.h[bottom], 3.0f);
  EXPECT_EQ(m.f.ldry[bottom], 0);
  EXPECT_EQ(m.coin1.nwet, 4 * 3 + 1);
  EXPECT_EQ(w.solver.h0[bottom], 0.0f);  // closed by the boundary treatment
  EXPECT_EQ(m.f.h[top], 0.0f);
  EXPECT_EQ(m.f.ldry[top], 1);
  EXPECT_FLOAT_EQ(m.f.zb[top], 1.0f);  // wall up to the level beside it
  EXPECT_EQ(w.solver.h0[top], 5.0f);
}

// Late in a long run a 32-bit clock in hours cannot take short steps: from
// 256 h on, a step of 0.05 s would not move it.
TEST(Flow, ClockAdvancesLateInALongRun) {
  Model m;
  test::make_grid(m, 3, 3, 0.1f, 0.1f);
  test::set_level(m, [](float, float) { return 1.0f; });
  test::derive(m);
  test::Io io;
  Hydro w;
  prepare(m, w);
  m.coin.time = 300.0f;
  double expected = 300.0;
  for (int s = 0; s < 200; ++s) {
    flow(m, w, io.io, io.msg);
    expected += m.coin.dt * 0.0002777778f;
  }
  ASSERT_LT(m.coin.dt, 0.02f);
  EXPECT_NEAR(m.coin.time, expected, 3.1e-5);  // one float step at 300 h
  EXPECT_GT(m.coin.time, 300.0f);
  // A time set from outside (hot start, transport run) is taken up.
  m.coin.time = 5.0f;
  flow(m, w, io.io, io.msg);
  EXPECT_FLOAT_EQ(m.coin.time, 5.0f + m.coin.dt * 0.0002777778f);
}

// A 32-bit running sum over many nodes drifts once its spacing approaches a
// depth (0.07 % already for 300 x 300 nodes of 0.3 m).
TEST(Flow, StoredVolumeOfALargeGridIsExact) {
  Model m;
  test::make_grid(m, 300, 300, 2.0f, 2.0f);
  test::set_level(m, [](float, float) { return 0.3f; });
  test::derive(m);
  test::Io io;
  Hydro w;
  prepare(m, w);
  flow(m, w, io.io, io.msg);
  EXPECT_EQ(m.coin1.nwet, 300 * 300);
  EXPECT_NEAR(m.coin.stored_volume, 300.0 * 300.0 * 0.3f * 4.0, 1e-6 * 108000.0);
}

TEST(Zerode, ExcessShearLowersTheBedDownToItsFloor) {
  Model m;
  test::make_grid(m, 3, 3, 1.0f, 1.0f);
  const int a = m.node(2, 2), b = m.node(3, 2), c = m.node(4, 2);
  for (int k : {a, b, c}) {
    m.f.h[k] = 0.5f;
    m.f.us[k] = 0.3f;  // tau = 90 N/m2
    m.f.zb[k] = 1.0f;
  }
  m.f.h[c] = 0.1f;
  m.coin.dt = 10.0f;
  m.coin1.nerod = 3;
  m.coin1.erod_node = {a + 1, b + 1, c + 1};
  m.coin1.erod = {ErodRecord{50.0f, 4.0f, 0.0f, 0.0f}, ErodRecord{50.0f, 1.0f, 0.0f, 0.995f},
                  ErodRecord{50.0f, 1.0f, 0.1f, 0.0f}};
  zerode(m);
  const double e = std::pow(90.0 - 50.0, 1.5);  // 252.98
  EXPECT_NEAR(m.f.zb[a], 1.0 - 10.0 * 0.00001 * e / 4.0, 1e-6);
  EXPECT_FLOAT_EQ(m.f.zb[b], 0.995f);  // floor
  EXPECT_EQ(m.f.zb[c], 1.0f);          // not deeper than hmin
  m.f.us[a] = 0.1f;                    // tau = 10 < 50: no erosion
  const float before = m.f.zb[a];
  zerode(m);
  EXPECT_EQ(m.f.zb[a], before);
}

TEST(Flow, NonFiniteStateIsDetectedAndLocated) {
  Model m;
  test::make_grid(m, 6, 5, 1.0f, 1.0f);
  test::set_level(m, [](float, float) { return 1.0f; });
  test::derive(m);
  test::Io io;
  Hydro w;
  prepare(m, w);
  flow(m, w, io.io, io.msg);
  EXPECT_TRUE(flow_finite(m));
  int i = -1, j = -1;
  EXPECT_FALSE(find_nonfinite(m, i, j));

  // A discharge goes bad at input column 4, row 2: found at once, and the
  // cheap test fails within a step.
  m.f.q[m.node(5, 3)] = std::numeric_limits<float>::quiet_NaN();
  ASSERT_TRUE(find_nonfinite(m, i, j));
  EXPECT_EQ(i, 4);
  EXPECT_EQ(j, 2);
  bool caught = false;
  for (int s = 0; s < 2 && !caught; ++s) {
    flow(m, w, io.io, io.msg);
    caught = !flow_finite(m);
  }
  EXPECT_TRUE(caught);
  // An infinite depth spoils the stored volume of the step that made it.
  Model n;
  test::make_grid(n, 6, 5, 1.0f, 1.0f);
  test::set_level(n, [](float, float) { return 1.0f; });
  test::derive(n);
  Hydro wn;
  prepare(n, wn);
  n.f.h[n.node(3, 4)] = std::numeric_limits<float>::infinity();
  flow(n, wn, io.io, io.msg);
  EXPECT_FALSE(flow_finite(n));
  ASSERT_TRUE(find_nonfinite(n, i, j));
  EXPECT_GE(j, 1);
}

// A sheet of water on a frictionless slope of 1 % (40 cells of 1 m) runs
// down at g S t while it is deeper than the film (hdry/20), even though it
// counts as dry (thinner than hdry); below the film it stays where it is.
TEST(Flow, WaterThinnerThanHdryFlowsDownToTheFilm) {
  const struct {
    float depth;
    bool flows;
  } cases[] = {{0.05f, true}, {0.012f, true}, {0.0008f, false}};
  for (const auto& c : cases) {
    Model m;
    test::make_grid(m, 40, 3, 1.0f, 1.0f, 1.0e5f);
    for (int k = 0; k < m.coin1.nn; ++k) m.f.zb[k] = -0.01f * static_cast<float>(k % m.coin1.nxx);
    test::set_level(m, [&](float x, float) { return c.depth - 0.01f * (x + 1.0f); });
    test::derive(m);
    const int k = m.node(21, 3);
    const float h0 = m.f.h[k];
    test::Io io;
    Hydro w;
    prepare(m, w);
    while (m.coin.time * 3600.0f < 2.0f) flow(m, w, io.io, io.msg);
    const float want = c.flows ? 9.81f * 0.01f * m.coin.time * 3600.0f : 0.0f;
    SCOPED_TRACE(c.depth);
    EXPECT_NEAR(m.f.q[k] / c.depth, want, 0.02f * want);
    EXPECT_NEAR(m.f.h[k], h0, c.flows ? 1e-4f : 0.0f);
    EXPECT_EQ(m.f.ldry[k], c.depth < m.coin.hdry ? 1 : 0);
  }
}

}  // namespace
}  // namespace qf
