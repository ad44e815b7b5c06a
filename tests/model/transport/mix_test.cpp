// Transport of a scalar on frozen flow fields built by hand.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "io/channels.h"
#include "io/messages.h"
#include "io/stop.h"
#include "model/hydro/boundary.h"
#include "model/transport/transport.h"
#include "tests/model/transport/transport_fixture.h"

namespace qf {
namespace {

using test::Grid;

// Screen, listing and the working states of one transport run.
struct MixRun {
  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io{kb, scr, err};
  Messages msg{io};
  TransportWork w;
  BoundaryWork b;
  Model& m;
  explicit MixRun(Grid& g) : m(g.m) {}
  void step() { mix(m, w, b, io, msg); }
};

std::string sci(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3e", v);
  return buf;
}

double real_min(const Grid& g) {
  double v = 1e30;
  for (int j = 2; j <= g.nyy - 1; ++j)
    for (int i = 2; i <= g.nxx - 1; ++i) v = std::min(v, double(g.m.f.c[g.k(i, j)]));
  return v;
}

double real_max(const Grid& g) {
  double v = -1e30;
  for (int j = 2; j <= g.nyy - 1; ++j)
    for (int i = 2; i <= g.nxx - 1; ++i) v = std::max(v, double(g.m.f.c[g.k(i, j)]));
  return v;
}

// A closed gyre: psi = A sin(pi x / Lx) sin(pi y / Ly) over the corners of
// the real cells, zero on the outline, so no boundary face carries water.
void gyre(Grid& g, double amplitude) {
  const int nx = g.nxx - 2, ny = g.nyy - 2;
  g.stream([&](int i, int j) {
    if (i <= 1 || j <= 1 || i >= nx + 1 || j >= ny + 1) return 0.0;
    return amplitude * std::sin(M_PI * (i - 1) / nx) * std::sin(M_PI * (j - 1) / ny);
  });
}

// ---------------------------------------------------------------------------
// First call: time step, screen lines, stops.

TEST(MixFirstCall, TimeStepFromLargestCourantMeasureOfWetRealCells) {
  Grid g(3, 2, 2.0f, 1.0f, 0.5f);
  // (2,2): u = 2, v = 1 -> 4 + (2/1)^2 * 1 = 8; (3,2): u = 1 -> 1.
  g.m.f.q[g.k(2, 2)] = 1.0f;
  g.m.f.r[g.k(2, 2)] = 0.5f;
  g.m.f.q[g.k(3, 2)] = 0.5f;
  // A dry real cell and the ring do not count, however fast.
  g.m.f.ldry[g.k(4, 3)] = 1;
  g.m.f.q[g.k(4, 3)] = 50.0f;
  g.m.f.q[g.k(1, 2)] = 50.0f;
  g.m.f.h[g.k(1, 2)] = 0.5f;
  g.m.coin.time = 2.0f;
  MixRun run(g);
  run.step();
  const float dt = 0.7f * 2.0f / std::sqrt(8.0f);
  EXPECT_FLOAT_EQ(run.w.dt, dt);
  EXPECT_FLOAT_EQ(g.m.coin.dt, dt);
  EXPECT_FLOAT_EQ(g.m.coin.time, 2.0f + dt * 0.00027777778f);
  EXPECT_EQ(run.scr.str(), " >inlet calculation\n");

  // The time step stays fixed for the run, whatever the field does.
  g.m.f.q[g.k(2, 2)] = 10.0f;
  g.m.coin.dt = 99.0f;
  run.step();
  EXPECT_FLOAT_EQ(g.m.coin.dt, dt);
  EXPECT_FLOAT_EQ(g.m.coin.time, 2.0f + 2.0f * dt * 0.00027777778f);
  EXPECT_EQ(run.scr.str(), " >inlet calculation\n");
}

TEST(MixFirstCall, ClockKeepsTimeLateInALongRun) {
  // 20,000 steps from 64 h, where 32-bit times are 7.6e-6 h apart and a
  // step of about 0.5 s is 18 to 19 of those spacings: added to a float,
  // each step would round the same way and the clock would drift.
  for (const float cfl : {0.7f, 0.7187f, 0.73f}) {
    Grid g(3, 2, 2.0f, 1.0f, 0.5f);
    g.m.f.q[g.k(2, 2)] = 1.0f;
    g.m.f.r[g.k(2, 2)] = 0.5f;
    g.m.coin.cfl = cfl;
    g.m.coin.time = 64.0f;
    MixRun run(g);
    for (int n = 0; n < 20000; ++n) run.step();
    const double expected = 64.0 + 20000.0 * double(run.w.dt * 0.00027777778f);
    EXPECT_NEAR(g.m.coin.time, expected, 8e-6) << "cfl " << cfl;
  }
}

TEST(MixFirstCall, DiffusionLimitsTheTimeStepWhereTheVelocityRuleWouldDiverge) {
  // One row of three cells, q = 0.5 at depth 1 (u = 0.5), dx = dy = 1: the
  // velocity rule gives 0.7 / 0.5 = 1.4 s. With nu = 0.5 in every node the
  // middle cell has the rate |u|/dx + (0.5 + 0.5) * 1 * 2 faces = 2.5 1/s (the
  // dry ring rows above and below have no depth, hence no diffusion): 0.4 s.
  Grid g(3, 1, 1.0f, 1.0f);
  g.stream([](int, int j) { return j >= 2 ? 0.5 : 0.0; });
  g.each(g.m.f.nu, [](int, int) { return 0.5f; });
  const TimeStepLimits lim = mix_time_step_limits(g.m);
  EXPECT_FLOAT_EQ(lim.smax, 0.25f);
  EXPECT_FLOAT_EQ(lim.rmax, 2.5f);
  MixRun run(g);
  run.step();
  EXPECT_FLOAT_EQ(run.w.dt, 0.4f);
  // A weak viscosity leaves the velocity rule alone.
  Grid weak(3, 1, 1.0f, 1.0f);
  weak.stream([](int, int j) { return j >= 2 ? 0.5 : 0.0; });
  weak.each(weak.m.f.nu, [](int, int) { return 0.01f; });
  MixRun run2(weak);
  run2.step();
  EXPECT_FLOAT_EQ(run2.w.dt, 1.4f);
}

TEST(MixFirstCall, FaceDischargesBeyondTheNodeDischargesShortenTheStep) {
  // A frozen field far from steady: the middle node of a row of five sends
  // 1 m2/s out through each side face while the node discharges are 0.05.
  // The velocity rule alone gives 0.7 / 0.05 = 14 s, in which the middle
  // node would be emptied 28 times over and its value turn negative; the
  // outflow rate of 2 1/s limits the step to 0.5 s.
  Grid g(5, 1, 1.0f, 1.0f);
  g.each(g.m.f.q, [](int, int) { return 0.05f; });
  g.m.f.qq[g.k(3, 2)] = -1.0f;  // west face of the middle node (4, 2)
  g.m.f.qq[g.k(4, 2)] = 1.0f;   // its east face
  g.each(g.m.f.c, [&](int i, int j) { return g.real(i, j) ? 1.0f : 0.0f; });
  const TimeStepLimits lim = mix_time_step_limits(g.m);
  EXPECT_FLOAT_EQ(lim.omax, 2.0f);
  MixRun run(g);
  for (int n = 0; n < 20; ++n) {
    run.step();
    EXPECT_GE(real_min(g), -1e-6) << "step " << n;
  }
  EXPECT_FLOAT_EQ(run.w.dt, 0.5f);
}

TEST(MixFirstCall, DryDomainStopsNormallyBeforeAnyChange) {
  Grid g(4, 3, 1.0f, 1.0f);
  for (auto& d : g.m.f.ldry) d = 1;
  g.m.f.c[g.k(3, 3)] = 7.0f;
  g.m.coin.time = 1.5f;
  MixRun run(g);
  try {
    run.step();
    FAIL() << "no stop";
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 0);
  }
  EXPECT_EQ(run.scr.str(), " >inlet calculation\n >dry area found ");
  EXPECT_FLOAT_EQ(g.m.coin.time, 1.5f);
  EXPECT_FLOAT_EQ(g.m.f.c[g.k(3, 3)], 7.0f);
  EXPECT_FALSE(run.w.started);
}

TEST(MixFirstCall, EmptyGridIsADryArea) {
  Model m;
  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io(kb, scr, err);
  Messages msg(io);
  TransportWork w;
  BoundaryWork b;
  try {
    mix(m, w, b, io, msg);
    FAIL() << "no stop";
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 0);
  }
  EXPECT_EQ(scr.str(), " >inlet calculation\n >dry area found ");
}

TEST(MixFirstCall, FieldAtRestIsAFatalErrorNotAnEndlessStep) {
  Grid g(4, 3, 1.0f, 1.0f);  // wet, no velocity anywhere
  g.m.f.c[g.k(3, 3)] = 7.0f;
  MixRun run(g);
  const auto dir =
      std::filesystem::temp_directory_path() / ("qf_mix_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string out = (dir / "out").string();
  ASSERT_TRUE(run.io.open_write(g.m.coin1.ch_listing, out));
  try {
    run.step();
    FAIL() << "no stop";
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 1);
    EXPECT_STREQ(s.what(), "flow field at rest: no time step for mixing");
  }
  run.io.close(g.m.coin1.ch_listing);
  std::ifstream in(out);
  std::stringstream text;
  text << in.rdbuf();
  const std::string stars(47, '*');
  EXPECT_EQ(text.str(), "\n" + stars +
                            "\n**fatal error: flow field at rest: no time step for mixing\n" +
                            stars + "\n\n");
  EXPECT_EQ(run.scr.str(), " >inlet calculation\n ***fatal error detected\n");
  EXPECT_FLOAT_EQ(g.m.f.c[g.k(3, 3)], 7.0f);
  EXPECT_FLOAT_EQ(g.m.coin.time, 0.0f);
  std::filesystem::remove_all(dir);
}

// ---------------------------------------------------------------------------
// One step by hand.

TEST(MixStep, OneCellStepMatchesHandComputation) {
  // One row of three cells, flow 0.5 m2/s eastward through all faces,
  // depth 1, viscosity 0.1, dx = 2, dy = 1; c = 0, 1, 0.
  Grid g(3, 1, 2.0f, 1.0f);
  g.stream([](int, int j) { return j >= 2 ? 0.5 : 0.0; });
  for (auto& v : g.m.f.nu) v = 0.1f;
  for (int i = 1; i <= 5; ++i) g.m.f.h[g.k(i, 2)] = 1.0f;  // wet ring ends carry diffusion
  g.m.f.c[g.k(3, 2)] = 1.0f;
  TransportWork w;
  w.dt = 1.0f;
  mix_advance(g.m, w);
  // Predictor (half step 0.5, area 2, h 1, first-order upwind, coefficient 0.2):
  //   face 1|2: 0.5*0 - 0.2*(0-0)/2 = 0; face 2|3: 0.5*0 - 0.2*(1-0)/2 = -0.1;
  //   face 3|4: 0.5*1 - 0.2*(0-1)/2 = 0.6; face 4|5: 0.5*0 - 0 = 0 (c of ring 0).
  //   c2 = 0 + 0.25*(0 - (-0.1 - 0)) = 0.025; c3 = 1 + 0.25*(-(0.6 + 0.1)) = 0.825;
  //   c4 = 0 + 0.25*(-(0 - 0.6)) = 0.15.
  // Corrector (full step from c0 with the predicted values 0.025, 0.825, 0.15):
  //   west boundary face: c2 * 0.5 = 0.0125.
  //   face 2|3: slope at 2 carried 0 -> 0.025*0.5 - 0.2*(0.8)/2 = -0.0675.
  //   face 3|4: slope at 3 = minmod(0.8, -0.675) = 0 -> 0.825*0.5 - 0.2*(0.15-0.825)/2
  //             = 0.4125 + 0.0675 = 0.48.
  //   face 4|ring: the slope at 4 carried from 3 is minmod(0.15 - 0.825, 0 - 0.15) =
  //             -0.15 (ring value 0) -> (0.15 - 0.075)*0.5 = 0.0375, no diffusion.
  //   c2 = 0 + 0.5*(0 - (-0.0675 - 0.0125)) = 0.04; c3 = 1 + 0.5*(-(0.48 + 0.0675)) =
  //   0.72625; c4 = 0 + 0.5*(-(0.0375 - 0.48)) = 0.22125.
  EXPECT_NEAR(g.m.f.c[g.k(2, 2)], 0.04f, 1e-6f);
  EXPECT_NEAR(g.m.f.c[g.k(3, 2)], 0.72625f, 1e-6f);
  EXPECT_NEAR(g.m.f.c[g.k(4, 2)], 0.22125f, 1e-6f);
  EXPECT_NEAR(g.m.coin.change_rate, 0.04f + 0.27375f + 0.22125f, 1e-6f);
  // Balance: in 0.0125 through the west face, out 0.0375 through the east.
  EXPECT_NEAR(w.boundary_in, 0.0125, 1e-7);
  EXPECT_NEAR(w.boundary_out, 0.0375, 1e-7);
  // Ring nodes keep their values.
  EXPECT_EQ(g.m.f.c[g.k(1, 2)], 0.0f);
  EXPECT_EQ(g.m.f.c[g.k(5, 2)], 0.0f);
}

TEST(MixStep, LoadAddsItsAmountAndDryCellsKeepTheirValue) {
  Grid g(5, 4, 2.0f, 3.0f, 0.5f);
  g.m.f.ldry[g.k(5, 4)] = 1;
  g.m.f.c[g.k(5, 4)] = 9.0f;
  g.m.f.srcm[g.k(3, 3)] = 0.25f;  // load per m2 and s
  g.m.f.srcm[g.k(5, 4)] = 5.0f;   // on a dry cell: nothing happens
  TransportWork w;
  w.dt = 4.0f;
  const double before = mix_total(g.m);
  mix_advance(g.m, w);
  // Still water: the load stays in its cell: dt * srcm / h = 4 * 0.25 / 0.5.
  EXPECT_FLOAT_EQ(g.m.f.c[g.k(3, 3)], 2.0f);
  EXPECT_FLOAT_EQ(g.m.f.c[g.k(5, 4)], 9.0f);
  EXPECT_NEAR(w.load, 4.0 * 0.25 * 6.0, 1e-9);
  EXPECT_NEAR(mix_total(g.m) - before, w.load, 1e-6);
}

TEST(MixStep, LoadOfTheSourceTableEntersAtTheAdvancedTime) {
  // A tracer load block: node (10, 8), rising from 0 at 0 h to 3600 at 1 h,
  // so the load equals the model time in seconds. The clock advances before
  // the sources are rebuilt: step n adds (n dt) dt.
  Grid g(20, 15, 5.0f, 4.0f, 1.0f);
  gyre(g, 2.0);
  auto& ta = g.m.coin.table_a;
  auto& tb = g.m.coin.table_b;
  ta[1] = 13.0f;
  tb[1] = 4.0f;
  ta[2] = static_cast<float>(g.k(10, 8) + 1);
  tb[2] = 2.0f;
  ta[3] = 0.0f;
  tb[3] = 0.0f;
  ta[4] = 1.0f;
  tb[4] = 3600.0f;
  ta[5] = table_end;
  MixRun run(g);
  const double m0 = mix_total(g.m);
  double added = 0.0;
  for (int n = 1; n <= 20; ++n) {
    run.step();
    const double t = n * double(run.w.dt);
    EXPECT_NEAR(run.w.load, t * run.w.dt, 1e-4 * t * run.w.dt) << n;
    added += run.w.load;
  }
  EXPECT_NEAR(mix_total(g.m), m0 + added, 1e-5 * added);
}

TEST(MixStep, FaceWithoutDischargeTakesTheDownstreamSideValue) {
  // No flow, no viscosity: nothing moves even with a jump.
  Grid g(4, 3, 1.0f, 1.0f);
  g.m.f.c[g.k(3, 3)] = 4.0f;
  TransportWork w;
  w.dt = 1.0f;
  mix_advance(g.m, w);
  EXPECT_FLOAT_EQ(g.m.f.c[g.k(3, 3)], 4.0f);
  EXPECT_FLOAT_EQ(g.m.f.c[g.k(2, 3)], 0.0f);
  EXPECT_FLOAT_EQ(g.m.f.c[g.k(4, 3)], 0.0f);
  EXPECT_EQ(g.m.coin.change_rate, 0.0f);
}

TEST(MixStep, NegativeDepthOfADryNeighbourGivesNoDiffusionAndNoNaN) {
  Grid g(4, 3, 1.0f, 1.0f);
  for (auto& v : g.m.f.nu) v = 0.5f;
  g.m.f.ldry[g.k(3, 3)] = 1;
  g.m.f.h[g.k(3, 3)] = -0.01f;
  g.m.f.c[g.k(3, 3)] = 3.0f;
  g.m.f.c[g.k(2, 3)] = 1.0f;
  TransportWork w;
  w.dt = 0.1f;
  mix_advance(g.m, w);
  for (int j = 2; j <= g.nyy - 1; ++j)
    for (int i = 2; i <= g.nxx - 1; ++i) EXPECT_TRUE(std::isfinite(g.m.f.c[g.k(i, j)]));
  EXPECT_FLOAT_EQ(g.m.f.c[g.k(3, 3)], 3.0f);
}

// ---------------------------------------------------------------------------
// Conservation, uniformity, extrema.

TEST(MixConservation, ClosedGyreKeepsMassOver2000StepsWithoutNewExtrema) {
  Grid g(40, 30, 5.0f, 4.0f, 1.0f);
  // Depth varies with x: the fluxes are divergence-free, the velocities not uniform.
  g.each(g.m.f.h, [&](int i, int j) { return g.real(i, j) ? 1.0f + 0.02f * i : 0.0f; });
  gyre(g, 2.0);
  g.each(g.m.f.nu, [](int, int) { return 0.02f; });
  g.each(g.m.f.c, [&](int i, int j) {
    const double r2 = (i - 12.0) * (i - 12.0) + (j - 16.0) * (j - 16.0);
    return g.real(i, j) ? static_cast<float>(std::exp(-r2 / 18.0)) : 0.0f;
  });
  MixRun run(g);
  const double m0 = mix_total(g.m);
  const double lo = real_min(g), hi = real_max(g);
  double worst_low = 0.0, worst_high = 0.0;
  for (int n = 0; n < 2000; ++n) {
    run.step();
    ASSERT_EQ(run.w.boundary_in, 0.0);
    ASSERT_EQ(run.w.boundary_out, 0.0);
    worst_low = std::min(worst_low, real_min(g) - lo);
    worst_high = std::max(worst_high, real_max(g) - hi);
  }
  const double rel = std::fabs(mix_total(g.m) - m0) / m0;
  RecordProperty("relative_mass_error", sci(rel));
  std::printf(
      "gyre: dt %.3f s (velocity rule alone %.3f s), relative mass error %.2e, "
      "undershoot %.2e, overshoot %.2e\n",
      run.w.dt, 0.7 * 5.0 / std::sqrt(mix_time_step_limits(g.m).smax), rel, worst_low, worst_high);
  EXPECT_LT(rel, 1e-5);
  EXPECT_GE(worst_low, -1e-6);
  EXPECT_LE(worst_high, 1e-6);
  // The blob has been carried round: its peak is lower and elsewhere.
  EXPECT_LT(real_max(g), 0.9 * hi);
}

TEST(MixConservation, UniformValueStaysUniformInANonUniformDivergenceFreeFlow) {
  Grid g(30, 20, 2.0f, 3.0f, 1.0f);
  g.each(g.m.f.h, [&](int i, int j) { return g.real(i, j) ? 0.5f + 0.05f * j : 0.0f; });
  gyre(g, 1.5);
  g.each(g.m.f.nu, [](int i, int j) { return 0.01f * (1 + (i + j) % 3); });
  g.each(g.m.f.c, [](int, int) { return 3.0f; });
  MixRun run(g);
  for (int n = 0; n < 500; ++n) run.step();
  EXPECT_NEAR(real_min(g), 3.0, 3e-6);
  EXPECT_NEAR(real_max(g), 3.0, 3e-6);
}

// A channel: flow in x with a discharge that varies across the width, open
// west and east boundary faces, and (sign < 0) the flow reversed so that it
// leaves through the west.
void channel(Grid& g, double sign) {
  g.stream([&](int, int j) {
    // psi grows with j: qq = d psi / dy = sign * (0.5 + 0.1 j) in row j.
    double s = 0.0;
    for (int jj = 2; jj <= std::min(j, g.nyy - 1); ++jj) s += sign * (0.5 + 0.1 * jj) * g.m.coin.dy;
    return s;
  });
}

double balance_error_over(Grid& g, int steps, double* out_total = nullptr) {
  MixRun run(g);
  const double m0 = mix_total(g.m);
  double in = 0.0, out = 0.0;
  for (int n = 0; n < steps; ++n) {
    run.step();
    in += run.w.boundary_in;
    out += run.w.boundary_out;
  }
  if (out_total) *out_total = out;
  return std::fabs(mix_total(g.m) - (m0 + in - out)) / m0;
}

TEST(MixConservation, SteadyChannelBalancesMassWithTheOutflowFaces) {
  Grid g(120, 6, 2.0f, 2.0f, 1.0f);
  channel(g, 1.0);
  g.each(g.m.f.nu, [](int, int) { return 0.05f; });
  g.each(g.m.f.c, [&](int i, int j) {
    return g.real(i, j) ? static_cast<float>(std::exp(-(i - 60.0) * (i - 60.0) / 50.0)) : 0.0f;
  });
  double out = 0.0;
  const double m0 = mix_total(g.m);
  const double rel = balance_error_over(g, 2000, &out);
  RecordProperty("relative_balance_error", sci(rel));
  EXPECT_LT(rel, 1e-5);
  EXPECT_GT(out, 0.9 * m0);  // most of the pulse has left through the east face
}

TEST(MixConservation, TracerLeavesThroughTheWestAndSouthFacesToo) {
  // Flow westward: the tracer must leave through the west boundary faces
  // instead of piling up in the first column.
  Grid g(40, 4, 1.0f, 1.0f, 1.0f);
  channel(g, -1.0);
  g.each(g.m.f.c, [&](int i, int j) { return g.real(i, j) && i < 10 ? 1.0f : 0.0f; });
  double out = 0.0;
  const double m0 = mix_total(g.m);
  EXPECT_LT(balance_error_over(g, 300, &out), 1e-5);
  EXPECT_GT(out, 0.99 * m0);
  EXPECT_LE(real_max(g), 1.0 + 1e-6);

  // Flow southward through the south boundary faces.
  Grid s(4, 40, 1.0f, 1.0f, 1.0f);
  s.stream([&](int i, int) {
    double v = 0.0;
    for (int ii = 2; ii <= std::min(i, s.nxx - 1); ++ii) v += 0.6;
    return v;  // rr = -d psi / dx = -0.6 in every column
  });
  s.each(s.m.f.c, [&](int i, int j) { return s.real(i, j) && j < 10 ? 1.0f : 0.0f; });
  const double s0 = mix_total(s.m);
  EXPECT_LT(balance_error_over(s, 300, &out), 1e-5);
  EXPECT_GT(out, 0.99 * s0);
  EXPECT_LE(real_max(s), 1.0 + 1e-6);
}

TEST(MixConservation, SquarePulseInUniformFlowMakesNoNewExtrema) {
  Grid g(200, 3, 1.0f, 1.0f, 2.0f);
  channel(g, 1.0);
  g.each(g.m.f.c, [&](int i, int j) { return g.real(i, j) && i >= 20 && i < 40 ? 1.0f : 0.0f; });
  MixRun run(g);
  double lo = 0.0, hi = 1.0;
  for (int n = 0; n < 150; ++n) {
    run.step();
    lo = std::min(lo, real_min(g));
    hi = std::max(hi, real_max(g));
  }
  EXPECT_GE(lo, -1e-6);
  EXPECT_LE(hi, 1.0 + 1e-6);
}

// ---------------------------------------------------------------------------
// A pulse in uniform flow: speed of the centre and growth of the variance.

struct Moments {
  double mass = 0, mean = 0, var = 0;
};

Moments row_moments(const Grid& g, int j) {
  Moments mo;
  double s1 = 0, s2 = 0;
  for (int i = 2; i <= g.nxx - 1; ++i) {
    const double c = g.m.f.c[g.k(i, j)];
    const double x = (i - 2) * g.m.coin.dx;
    mo.mass += c;
    s1 += c * x;
    s2 += c * x * x;
  }
  mo.mean = s1 / mo.mass;
  mo.var = s2 / mo.mass - mo.mean * mo.mean;
  return mo;
}

struct PulseResult {
  double dt = 0, time = 0, shift = 0, growth = 0, mass_before = 0, mass_after = 0;
};

// A Gaussian pulse (standard deviation s0) centred at x = 200 m in a channel
// of 500 cells of 2 m, viscosity nu in every node, 400 steps; flow at
// U = 0.8 m/s and depth 1.25 (q = 1), or none (then with a time step of 1.75 s).
PulseResult pulse_run(float nu, double s0, bool flowing = true) {
  const float dx = 2.0f, depth = 1.25f, speed = 0.8f;
  Grid g(500, 1, dx, 2.0f, depth);
  if (flowing) g.stream([&](int, int j) { return j >= 2 ? speed * depth * 2.0 : 0.0; });
  g.each(g.m.f.nu, [&](int, int) { return nu; });
  const double x0 = 200.0;
  g.each(g.m.f.c, [&](int i, int j) {
    const double x = (i - 2) * dx;
    return g.real(i, j) ? static_cast<float>(std::exp(-(x - x0) * (x - x0) / (2 * s0 * s0))) : 0.0f;
  });
  MixRun run(g);
  run.w.dt = 1.75f;
  const Moments a = row_moments(g, 2);
  const int steps = 400;
  for (int n = 0; n < steps; ++n) {
    if (flowing) {
      run.step();
    } else {
      mix_advance(g.m, run.w);
    }
  }
  const Moments b = row_moments(g, 2);
  PulseResult res;
  res.dt = run.w.dt;
  res.time = steps * double(run.w.dt);
  res.shift = b.mean - a.mean;
  res.growth = b.var - a.var;
  res.mass_before = a.mass;
  res.mass_after = b.mass;
  return res;
}

TEST(MixPulse, DiffusionCoefficientIsTheSumOfTheTwoViscosities) {
  // Without flow the variance of a pulse grows by exactly 2 D t for the
  // diffusion coefficient D of the scheme: D = nu(P) + nu(E) = 2 nu.
  const float nu = 0.1f;
  const PulseResult r = pulse_run(nu, 12.0, false);
  const double expected = 2.0 * (2.0 * nu) * r.time;
  EXPECT_NEAR(r.growth, expected, 1e-4 * expected);
  EXPECT_NEAR(r.shift, 0.0, 1e-3);
  EXPECT_NEAR(r.mass_after, r.mass_before, 1e-5 * r.mass_before);
}

TEST(MixPulse, CentreMovesAtTheFlowSpeedAndVarianceGrowsWithTwiceTheViscosity) {
  // In uniform flow the variance grows by 2 (2 nu) t on top of the numerical
  // diffusion of the limited upwind advection (the run without viscosity).
  const float speed = 0.8f, nu = 0.1f;
  const PulseResult still = pulse_run(0.0f, 40.0);
  const PulseResult visc = pulse_run(nu, 40.0);
  ASSERT_NEAR(visc.dt, 0.7 * 2.0 / speed, 1e-6);
  const double t = visc.time;
  const double shift_err = (visc.shift - speed * t) / (speed * t);
  const double expected = 2.0 * (2.0 * nu) * t;
  const double growth_err = (visc.growth - still.growth - expected) / expected;
  const double d_num = still.growth / (2.0 * t);
  RecordProperty("centre_shift_relative_error", sci(shift_err));
  RecordProperty("variance_growth_relative_error", sci(growth_err));
  RecordProperty("numerical_diffusion_m2s", std::to_string(d_num));
  std::printf(
      "pulse over %.0f s: centre shift %.3f m (expected %.3f, rel. error %.2e); variance growth "
      "%.2f m2 = %.2f numerical (nu = 0, D_num = %.4f m2/s) + %.2f (expected 4 nu t = %.2f, rel. "
      "error %.2e)\n",
      t, visc.shift, speed * t, shift_err, visc.growth, still.growth, d_num,
      visc.growth - still.growth, expected, growth_err);
  EXPECT_LT(std::fabs(shift_err), 1e-3);
  EXPECT_LT(std::fabs((still.shift - speed * t) / (speed * t)), 1e-3);
  EXPECT_LT(std::fabs(growth_err), 0.03);
  EXPECT_LT(d_num, 0.02 * speed * 2.0);  // far below first-order upwind (U dx / 2)
  EXPECT_NEAR(visc.mass_after, visc.mass_before, 1e-4 * visc.mass_before);
}

}  // namespace
}  // namespace qf
