#include "model/hydro/threads.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "boundary_fixture.h"
#include "hydro_fixture.h"
#include "model/hydro/hydro.h"

namespace qf {
namespace {

using bndtest::Blocks;

// A valley sloping to the north: water enters over the south side, leaves
// over the north side at a fixed level, wets the dry banks and drains a
// pond; a bump splits the flow. With `walls`, part of the east bank lies
// outside the model (no-data walls) and a point discharge falls on a dry
// mound on the west bank of the upper valley for its first 18 s, in dry
// weather.
Model valley(bool second, bool turb, bool steady, bool walls = false) {
  Model m;
  test::make_grid(m, 13, 19, 5.0f, 4.0f);
  for (int j = 1; j <= m.coin1.nyy; ++j) {
    for (int i = 1; i <= m.coin1.nxx; ++i) {
      const float x = (i - 2) * 5.0f - 30.0f, y = (j - 2) * 4.0f;
      float z = 1.0f - 0.01f * y + 0.004f * x * x / 5.0f;
      if (std::hypot(x - 8.0f, y - 40.0f) < 7.0f) z += 0.8f;  // bump
      m.f.zb[m.node(i, j)] = z;
    }
  }
  for (int j = 16; j <= 21 && walls; ++j) {
    for (int i = 2; i <= 4; ++i) m.f.zb[m.node(i, j)] += 1.5f;  // a dry mound
  }
  test::set_level(m, [](float, float y) { return y < 30.0f ? 1.6f : 0.9f; });
  for (int j = 12; j <= 17 && walls; ++j) {
    for (int i = 13; i <= 14; ++i) {
      const auto k = static_cast<std::size_t>(m.node(i, j));
      m.f.outside[k] = 1;
      m.f.zb[k] = 101.0f;
      m.f.h[k] = 0.0f;
    }
  }
  test::derive(m);
  Blocks blocks(m);
  if (walls) {
    blocks.source(bt_discharge, m.node(2, 19) + 1,
                  {{0.0f, 0.5f}, {0.005f, 0.5f}, {0.0051f, 0.0f}});  // 1-based node
  }
  std::vector<std::pair<int, int>> south, north;
  for (int p = 4; p <= 10; ++p) south.push_back({side_south, p});
  for (int p = 2; p <= 13; ++p) north.push_back({side_north, p});
  // The inflow stops and the outlet level falls: the banks run dry again.
  blocks.boundary(bt_inflow, {{0.0f, 40.0f}, {0.01f, 0.0f}}, south);
  blocks.boundary(bt_waterlevel, {{0.0f, 0.7f}, {0.02f, -1.0f}}, north);
  m.clog.second_order = second;
  m.clog.steady = steady;
  if (turb) {
    m.clog.turbulence = true;
    m.coin.viscosity = 0.001f;
    m.coin.cv = 0.1f;
    m.coin.mixing_length_sq = 0.25f;
  }
  return m;
}

template <class T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

struct Sim {
  Model m;
  Hydro w;
  test::Io io;
};

// Every field a step leaves bit for bit the same; the sums exactly (same
// order) or to their rounding.
void expect_same_step(const Sim& a, const Sim& b, bool same_order, const std::string& what) {
  const FlowValues &fa = a.m.f, &fb = b.m.f;
  const std::vector<
      std::pair<const char*, std::pair<const std::vector<float>*, const std::vector<float>*>>>
      fields = {{"h", {&fa.h, &fb.h}},          {"q", {&fa.q, &fb.q}},
                {"r", {&fa.r, &fb.r}},          {"qq", {&fa.qq, &fb.qq}},
                {"rr", {&fa.rr, &fb.rr}},       {"us", {&fa.us, &fb.us}},
                {"af", {&fa.af, &fb.af}},       {"nu", {&fa.nu, &fb.nu}},
                {"tind", {&fa.tind, &fb.tind}}, {"dzbx", {&fa.dzbx, &fb.dzbx}}};
  for (const auto& [name, v] : fields) EXPECT_TRUE(same_bits(*v.first, *v.second)) << name << what;
  EXPECT_TRUE(same_bits(fa.ldry, fb.ldry)) << "ldry" << what;
  EXPECT_EQ(a.m.coin.dt, b.m.coin.dt) << what;
  EXPECT_EQ(a.m.coin1.nwet, b.m.coin1.nwet) << what;
  const float va = a.m.coin.stored_volume, vb = b.m.coin.stored_volume;
  const float ca = a.m.coin.change_rate, cb = b.m.coin.change_rate;
  if (same_order) {
    EXPECT_EQ(va, vb) << what;
    EXPECT_EQ(ca, cb) << what;
    EXPECT_EQ(a.m.coin.boundary_flow, b.m.coin.boundary_flow) << what;
  } else {
    EXPECT_NEAR(va, vb, 1e-6f * vb) << what;
    EXPECT_NEAR(ca, cb, 1e-5f * cb) << what;
    for (int n = 0; n < 8; ++n) {
      const float x = a.m.coin.boundary_flow[n], y = b.m.coin.boundary_flow[n];
      EXPECT_NEAR(x, y, 1e-5f * (std::fabs(y) + 1e-3f)) << "boundary_flow " << n << what;
    }
  }
}

// Row storage of the block sweep that no sweep may read before it writes.
void poison(SolverWork& w) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (StripWork& s : w.strips) {
    for (auto* v : {&s.row.fe, &s.row.fqe, &s.row.fre, &s.row.gn, &s.row.gqn, &s.row.grn, &s.row.hf,
                    &s.row.cf, &s.row.dtl, &s.carry.fs1, &s.carry.fs2, &s.carry.fs3, &s.carry.dzs,
                    &s.carry.drs, &s.carry.dqs}) {
      std::fill(v->begin(), v->end(), nan);
    }
  }
  for (auto* v : {&w.dhg, &w.dqg, &w.drg}) std::fill(v->begin(), v->end(), nan);
}

// Blocks of 1, 2, 3, 5 and 32 rows on 1 to 3 threads against the single
// sweep, first and second order, with turbulence and in steady mode; the
// sweeps on several threads also against the same blocks on one thread.
// The single sweep runs the widest instruction set, the blocks on one
// thread the baseline, those on several threads each set in turn.
TEST(Threads, BlockSweepsGiveTheSingleSweepOnAnyThreadCount) {
  struct Case {
    bool second, turb, steady;
    int rows, threads;
    bool walls = false;
  };
  const Case cases[] = {{false, false, false, 1, 1},       {false, false, false, 2, 3},
                        {true, false, false, 3, 2},        {true, false, false, 5, 3},
                        {true, true, false, 2, 2},         {false, true, false, 32, 3},
                        {true, false, true, 3, 3},         {false, false, true, 1, 2},
                        {false, false, false, 2, 2, true}, {true, false, false, 3, 3, true}};
  const int keep = omp_get_max_threads();
  setenv("QF_PARALLEL_NODES", "0", 1);  // threads on the small grid too
  ASSERT_TRUE(threaded(1));
  int n = 0;
  for (const Case& c : cases) {
    Sim serial{valley(c.second, c.turb, c.steady, c.walls), {}, {}};
    Sim one{serial.m, {}, {}}, many{serial.m, {}, {}};
    prepare(serial.m, serial.w);
    serial.w.solver.serial = true;
    for (Sim* r : {&one, &many}) {
      prepare(r->m, r->w);
      r->w.solver.block_rows = c.rows;
    }
    one.w.solver.sweep = sweep_of(Isa::base);
    const Isa isa = static_cast<Isa>(std::min(n++ % 3, static_cast<int>(sweep_isa())));
    many.w.solver.sweep = sweep_of(isa);
    const std::string what = " (order " + std::to_string(c.second + 1) + ", turbulence " +
                             std::to_string(c.turb) + ", steady " + std::to_string(c.steady) +
                             ", walls and source " + std::to_string(c.walls) + ", blocks of " +
                             std::to_string(c.rows) + ", " + std::to_string(c.threads) +
                             " threads, " + isa_name(isa) + ")";
    float inflow = 0.0f;
    int most_wet = 0;
    for (int s = 1; s <= 120; ++s) {
      for (Sim* r : {&serial, &one, &many}) {
        omp_set_num_threads(r == &many ? c.threads : 1);
        poison(r->w.solver);
        flow(r->m, r->w, r->io.io, r->io.msg);
      }
      expect_same_step(one, serial, false, " step " + std::to_string(s) + what);
      expect_same_step(many, one, true, " step " + std::to_string(s) + what);
      inflow = std::max(inflow, one.m.coin.boundary_flow[2]);
      most_wet = std::max(most_wet, one.m.coin1.nwet);
      if (::testing::Test::HasFailure()) break;
    }
    EXPECT_GT(inflow, 0.0f) << "inflow over the south side" << what;
    EXPECT_LT(one.m.coin1.nwet, most_wet) << "nodes run dry" << what;
  }
  omp_set_num_threads(keep);
}

// QF_ISA narrows the instruction set the processor offers, never widens it;
// any other value leaves the widest.
TEST(Threads, InstructionSetFollowsQfIsa) {
  unsetenv("QF_ISA");
  const Isa best = sweep_isa();
  const struct {
    const char* value;
    Isa isa;
  } cases[] = {
      {"base", Isa::base}, {"avx2", std::min(best, Isa::avx2)}, {"avx512", best}, {"sse9", best}};
  for (const auto& c : cases) {
    setenv("QF_ISA", c.value, 1);
    EXPECT_EQ(sweep_isa(), c.isa) << c.value;
  }
  unsetenv("QF_ISA");
  EXPECT_STREQ(isa_name(Isa::base), "x86-64");
  EXPECT_STREQ(isa_name(Isa::avx512), "AVX-512");
}

}  // namespace
}  // namespace qf
