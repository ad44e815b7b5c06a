// Safety of the flow step: steps after a dry start with a source, depths
// that never fall below zero while the volume and the boundary discharges
// balance, thin nodes at fronts, the viscous step limit and the wet time of
// long runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "boundary_fixture.h"
#include "hydro_fixture.h"
#include "model/hydro/hydro.h"

namespace qf {
namespace {

using bndtest::Blocks;

std::unique_ptr<Model> grid(int nx, int ny, float dx = 10.0f, float dy = 10.0f, float kst = 30.0f) {
  auto m = std::make_unique<Model>();
  test::make_grid(*m, nx, ny, dx, dy, kst);
  return m;
}

double boundary_sum(const Model& m) {
  double s = 0.0;
  for (float q : m.coin.boundary_flow) s += q;
  return s;
}

float min_depth(const Model& m) {
  float lo = 1e30f;
  for (int j = 2; j <= m.coin1.nyy - 1; ++j) {
    for (int i = 2; i <= m.coin1.nxx - 1; ++i) lo = std::min(lo, m.f.h[m.node(i, j)]);
  }
  return lo;
}

float max_speed(const Model& m) {
  float hi = 0.0f;
  for (int k = 0; k < m.coin1.nn; ++k) {
    if (m.f.ldry[k] || !(m.f.h[k] > 0.0f)) continue;
    hi = std::max(hi, std::hypot(m.f.q[k], m.f.r[k]) / m.f.h[k]);
  }
  return hi;
}

// A dry basin; a point source of 50 m3/s switches on at 300 s. The step
// after the dry steps of 1 s grows gently, and the water the source brings
// during a step keeps the Courant number of its node.
TEST(FlowSafety, StepAfterADryStartAccountsForTheSource) {
  for (bool second : {false, true}) {
    auto mp = grid(9, 9);
    Model& m = *mp;
    m.clog.second_order = second;
    Blocks blocks(m);
    const int src = m.node(6, 6);
    blocks.source(bt_discharge, src + 1, {{0.0f, 0.0f}, {0.0833f, 0.0f}, {0.08334f, 50.0f}});
    test::derive(m);
    Hydro w;
    prepare(m, w);
    test::Io io;
    double added = 0.0;
    float last = 0.0f;
    bool wet = false;
    for (int s = 0; s < 400 && m.coin.time < 0.25f; ++s) {
      flow(m, w, io.io, io.msg);
      const std::string at = (second ? "2nd" : "1st") + std::string(" step ") + std::to_string(s);
      if (wet) {
        EXPECT_LE(m.coin.dt, 1.25f * last * 1.0001f) << at;
      }
      const float h = m.f.h[src];
      EXPECT_LE(m.coin.dt * std::sqrt(9.81f * h * 2.0f) / 10.0f, m.coin.cfl * 1.05f) << at;
      added += static_cast<double>(m.f.src[src]) * m.coin.cell_area * m.coin.dt;
      wet = m.coin1.nwet > 0;
      last = m.coin.dt;
      EXPECT_GE(min_depth(m), 0.0f) << at;
    }
    EXPECT_GT(added, 0.0);
    EXPECT_NEAR(test::volume(m), added, 1e-5 * added);
  }
}

// Dam break down a steep slope onto dry ground with a thin dry threshold,
// draining over a normal-flow boundary: no depth below zero, and the volume
// changes by exactly the boundary discharges of every step.
TEST(FlowSafety, DepthsStayPositiveAndTheBoundaryDischargesBalance) {
  for (bool second : {false, true}) {
    auto mp = grid(40, 3, 1.0f, 1.0f);
    Model& m = *mp;
    m.clog.second_order = second;
    m.coin.hdry = 0.0001f;
    for (int j = 1; j <= m.coin1.nyy; ++j) {
      for (int i = 1; i <= m.coin1.nxx; ++i) m.f.zb[m.node(i, j)] = 2.0f - 0.05f * i;
    }
    test::set_level(m, [](float x, float) { return x < 6.0f ? 3.0f : -10.0f; });
    Blocks blocks(m);
    blocks.boundary(bt_slope, {{0.0f, 0.05f}}, {{side_east, 2}, {side_east, 3}, {side_east, 4}});
    test::derive(m);
    Hydro w;
    prepare(m, w);
    test::Io io;
    double v0 = test::volume(m);
    for (int s = 0; s < 300; ++s) {
      flow(m, w, io.io, io.msg);
      const std::string at = (second ? "2nd" : "1st") + std::string(" step ") + std::to_string(s);
      ASSERT_GE(min_depth(m), 0.0f) << at;
      const double v1 = test::volume(m);
      const double moved = boundary_sum(m) * m.coin.dt;
      EXPECT_NEAR(v1 - v0, moved, 2e-6 * v0 + 1e-5) << at;
      v0 = v1;
    }
  }
}

// Frictionless dam break (1 m of water) on a dry 1 % slope, 0.5 m cells,
// dry threshold 0.1 mm, second order: the front moves at about
// 2 sqrt(g h0) + g S t, and the thin nodes ahead of it do not race away.
TEST(FlowSafety, ThinNodesAtADryFrontKeepPhysicalSpeeds) {
  auto mp = grid(120, 1, 0.5f, 0.5f, 1.0e5f);
  Model& m = *mp;
  m.clog.second_order = true;
  m.coin.hdry = 0.0001f;
  for (int j = 1; j <= m.coin1.nyy; ++j) {
    for (int i = 1; i <= m.coin1.nxx; ++i) m.f.zb[m.node(i, j)] = 10.0f - 0.005f * i;
  }
  for (int i = 2; i <= 21; ++i) m.f.h[m.node(i, 2)] = 1.0f;
  test::derive(m);
  Hydro w;
  prepare(m, w);
  test::Io io;
  int steps = 0;
  float fastest = 0.0f;
  while (m.coin.time * 3600.0f < 5.0f && steps < 2000) {
    flow(m, w, io.io, io.msg);
    ++steps;
    fastest = std::max(fastest, max_speed(m));
    ASSERT_GE(min_depth(m), 0.0f) << "step " << steps;
  }
  // Exact: at most 2 sqrt(g h0) + g S t = 6.8 m/s; the fan of the first
  // second overshoots by a few tenths in a few millimetre-deep nodes.
  EXPECT_LT(fastest, 9.0f);
  EXPECT_LT(max_speed(m), 2.0f * std::sqrt(9.81f) + 9.81f * 0.01f * 5.0f + 0.3f);
  EXPECT_LT(steps, 400);
  // The front (depth above 1 cm) near x = 10 + 5 (2 sqrt(g) - sqrt(9 g 0.01)) + 1.2 m.
  int front = 0;
  for (int i = 2; i <= m.coin1.nxx - 1; ++i) {
    if (m.f.h[m.node(i, 2)] > 0.01f) front = i;
  }
  EXPECT_NEAR((front - 2) * 0.5f, 37.8f, 2.5f);
}

// With 1 cm cells and an eddy viscosity of 1 m2/s the step keeps the
// diffusion number: a shear flow in a pool is smoothed, never amplified.
TEST(FlowSafety, ViscosityLimitsTheStep) {
  auto mp = grid(12, 12, 0.01f, 0.01f);
  Model& m = *mp;
  m.clog.turbulence = true;
  m.coin.viscosity = 1.0f;
  test::set_level(m, [](float, float) { return 0.5f; });
  test::derive(m);
  for (int j = 2; j <= m.coin1.nyy - 1; ++j) {
    for (int i = 2; i <= m.coin1.nxx - 1; ++i) m.f.q[m.node(i, j)] = j % 2 ? 0.05f : -0.05f;
  }
  Hydro w;
  prepare(m, w);
  test::Io io;
  for (int s = 0; s < 50; ++s) {
    flow(m, w, io.io, io.msg);
    EXPECT_LE(m.coin.dt, 0.25f * 0.01f * 0.01f / 1.0f * 1.0001f);
  }
  EXPECT_LT(max_speed(m), 0.1f);
}

// The wet time keeps counting late in a long run, when a 32-bit sum of
// steps of 1/60 s stands still (its spacing at 300 h is 0.11 s).
TEST(FlowSafety, WetTimeKeepsCountingAfterHundredsOfHours) {
  auto mp = grid(4, 4, 0.1f, 0.1f);
  Model& m = *mp;
  test::set_level(m, [](float, float) { return 1.0f; });
  test::derive(m);
  const int k = m.node(3, 3);
  m.f.tind[k] = 300.0f;
  Hydro w;
  prepare(m, w);
  test::Io io;
  double wet = 0.0;
  for (int s = 0; s < 2000; ++s) {
    flow(m, w, io.io, io.msg);
    wet += m.coin.dt / 3600.0;
  }
  EXPECT_NEAR(m.f.tind[k] - 300.0f, wet, 4e-5);
  EXPECT_GT(wet, 0.005);
}

}  // namespace
}  // namespace qf

namespace qf {
namespace {

// Local time steps (steady mode) with the default Courant number: a surge
// from an inflow over a dry bed and a dam break stay finite and bounded; a
// dry node beside the water takes the step of its wet neighbours, not the
// global one.
TEST(FlowSafety, SteadyModeIsStableWithTheDefaultCourantNumber) {
  for (bool second : {false, true}) {
    auto mp = grid(30, 6, 5.0f, 5.0f);
    Model& m = *mp;
    m.clog.steady = true;
    m.clog.second_order = second;
    test::set_level(m, [](float x, float) { return x < 40.0f ? 2.0f : 0.0f; });
    Blocks blocks(m);
    std::vector<std::pair<int, int>> west;
    for (int j = 2; j <= 7; ++j) west.push_back({side_west, j});
    blocks.boundary(bt_inflow, {{0.0f, 30.0f}}, west);
    test::derive(m);
    Hydro w;
    prepare(m, w);
    test::Io io;
    for (int s = 0; s < 400; ++s) {
      flow(m, w, io.io, io.msg);
      ASSERT_TRUE(flow_finite(m)) << "step " << s;
    }
    float top = 0.0f;
    for (int k = 0; k < m.coin1.nn; ++k) top = std::max(top, m.f.h[k]);
    EXPECT_LT(top, 3.0f) << second;
  }
}

}  // namespace
}  // namespace qf
