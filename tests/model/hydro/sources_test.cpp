// Sources of the flow step: precipitation, point discharges and loads,
// leakage, and culverts between two basins.
#include <gtest/gtest.h>

#include <cmath>

#include "boundary_fixture.h"
#include "model/hydro/boundary.h"
#include "model/hydro/hydro.h"
#include "model/hydro/structure_kernels.h"

namespace qf {
namespace {

using bndtest::Blocks;
using bndtest::HydroIo;

// 3 x 3 real cells of 10 m (cell area 100 m2).
class SourceTest : public ::testing::Test {
 protected:
  SourceTest() : mp(bndtest::grid(3, 3)), m(*mp), blocks(m) {}
  int k(int i, int j) const { return m.node(i, j); }
  int node_index(int i, int j) const { return m.node(i, j) + 1; }  // as stored in tables
  void run() {
    prepare_boundary(m, work);
    source(m, work, hio.io, hio.msg);
  }
  void again() { source(m, work, hio.io, hio.msg); }

  std::unique_ptr<Model> mp;
  Model& m;
  Blocks blocks;
  BoundaryWork work;
  HydroIo hio;
};

TEST_F(SourceTest, PrecipitationFallsOnEveryNode) {
  blocks.source(bt_precipitation, 0, {{0.0f, 1.0e-5f}});
  m.f.ldry[k(3, 3)] = 1;
  run();
  for (std::size_t e = 0; e < m.f.src.size(); ++e) EXPECT_FLOAT_EQ(m.f.src[e], 1.0e-5f) << e;
  // A second block adds its rate, interpolated in time; every call starts
  // from zero.
  blocks.source(bt_precipitation, 0, {{0.0f, 0.0f}, {2.0f, 4.0e-5f}});
  m.coin.time = 1.0f;
  run();
  again();
  for (std::size_t e = 0; e < m.f.src.size(); ++e) EXPECT_FLOAT_EQ(m.f.src[e], 3.0e-5f) << e;
}

TEST_F(SourceTest, PointDischargeAndLoadAreSpreadOverTheCell) {
  blocks.source(bt_discharge, node_index(3, 3), {{0.0f, 2.0f}});
  blocks.source(bt_load, node_index(2, 4), {{0.0f, 5.0f}});
  blocks.source(bt_precipitation, 0, {{0.0f, 1.0e-5f}});
  run();
  again();
  EXPECT_FLOAT_EQ(m.f.src[k(3, 3)], 0.02f + 1.0e-5f);
  EXPECT_FLOAT_EQ(m.f.src[k(2, 4)], 1.0e-5f);
  EXPECT_FLOAT_EQ(m.f.srcm[k(2, 4)], 0.05f);
  EXPECT_FLOAT_EQ(m.f.srcm[k(3, 3)], 0.0f);
  EXPECT_FLOAT_EQ(m.f.src[k(4, 4)], 1.0e-5f);
}

// Dry weather clears only the nodes of the source blocks: through a shower
// that starts and stops, every call leaves the fields a full clearing gives.
TEST_F(SourceTest, RatesAreTheSameBeforeDuringAndAfterRain) {
  blocks.source(bt_discharge, node_index(3, 3), {{0.0f, 2.0f}});
  blocks.source(bt_load, node_index(2, 4), {{0.0f, 5.0f}});
  blocks.source(bt_precipitation, 0, {{0.0f, 0.0f}, {1.0f, 2.0e-5f}, {2.0f, 0.0f}});
  prepare_boundary(m, work);
  for (const float t : {0.0f, 0.0f, 1.0f, 2.0f, 2.0f, 2.5f}) {
    m.coin.time = t;
    again();
    const float rain = t == 1.0f ? 2.0e-5f : 0.0f;
    for (std::size_t e = 0; e < m.f.src.size(); ++e) {
      const bool point = e == static_cast<std::size_t>(k(3, 3));
      const bool load = e == static_cast<std::size_t>(k(2, 4));
      EXPECT_FLOAT_EQ(m.f.src[e], point ? 0.02f + rain : rain) << "node " << e << " at " << t;
      EXPECT_FLOAT_EQ(m.f.srcm[e], load ? 0.05f : 0.0f) << "node " << e << " at " << t;
    }
  }
}

TEST_F(SourceTest, DischargeWithoutPointActsNowhereAndWarnsOnce) {
  ASSERT_TRUE(hio.io.open_write(m.coin1.ch_listing, hio.path("out")));
  blocks.source(bt_discharge, 0, {{0.0f, 2.0f}});
  blocks.source(bt_load, 0, {{0.0f, 2.0f}});
  blocks.source(bt_discharge, 999, {{0.0f, 2.0f}});  // beyond the grid
  run();
  again();
  for (std::size_t e = 0; e < m.f.src.size(); ++e) {
    EXPECT_EQ(m.f.src[e], 0.0f);
    EXPECT_EQ(m.f.srcm[e], 0.0f);
  }
  hio.io.close(m.coin1.ch_listing);
  const std::string stars(47, '*');
  EXPECT_EQ(hio.slurp("out"),
            "\n" + stars + "\n**warning: source without point ignored\n" + stars + "\n\n");
}

TEST_F(SourceTest, LeakageRemovesDepthTimesCoefficient) {
  m.clog.leakage = true;
  blocks.source(bt_precipitation, 0, {{0.0f, 1.0e-5f}});
  m.f.h[k(3, 3)] = 2.0f;
  m.f.fleak[k(3, 3)] = 1.0e-4f;
  m.f.h[k(2, 2)] = -0.01f;  // overdrawn node: leaks nothing, gains nothing
  m.f.fleak[k(2, 2)] = 1.0e-4f;
  m.f.fleak[k(4, 4)] = 1.0e-4f;  // empty node
  run();
  EXPECT_FLOAT_EQ(m.f.src[k(3, 3)], 1.0e-5f - 2.0e-4f);
  EXPECT_FLOAT_EQ(m.f.src[k(2, 2)], 1.0e-5f);
  EXPECT_FLOAT_EQ(m.f.src[k(4, 4)], 1.0e-5f);
  // Without the switch the field is not read.
  m.clog.leakage = false;
  again();
  EXPECT_FLOAT_EQ(m.f.src[k(3, 3)], 1.0e-5f);
}

class CulvertTest : public SourceTest {
 protected:
  // Two basins: inlet cell (2, 2) and outlet cell (4, 4), circular 1 m,
  // Strickler 60, inlet loss 0.5, 40 m long.
  void basins(float h_in, float h_out, float zb_in = 0.0f, float zb_out = 0.0f) {
    m.f.h[k(2, 2)] = h_in;
    m.f.h[k(4, 4)] = h_out;
    m.f.zb[k(2, 2)] = zb_in;
    m.f.zb[k(4, 4)] = zb_out;
  }
  int add(int channel = 0) {
    return blocks.culvert(node_index(2, 2), node_index(4, 4), 1.0f, -1.0f, 60.0f, 0.5f, 40.0f,
                          channel);
  }
  float law(float he1, float he2, float h1, float h2) const {
    int kind = 0;
    return rqculv(he1, he2, h1, h2, 1.0f, -1.0f, 40.0f, 60.0f, 0.5f, kind);
  }
};

TEST_F(CulvertTest, MovesWaterFromTheHigherToTheLowerBasin) {
  basins(2.5f, 2.0f);
  ASSERT_TRUE(hio.io.open_write(25, hio.path("culv.txt")));
  const int row = add(25);
  m.clog.series_due = true;
  run();
  // Full circular flow under 0.5 m of head: Q = 1.44826 m3/s (kind 4). The
  // first step applies the mean with the initial 0.
  const float q = 1.448260f;
  EXPECT_NEAR(m.coin.table_a[row + 5], q, 2e-5f);
  EXPECT_NEAR(m.f.src[k(2, 2)], -0.5f * q / 100.0f, 2e-7f);
  EXPECT_NEAR(m.f.src[k(4, 4)], 0.5f * q / 100.0f, 2e-7f);
  m.coin.time = 0.25f;
  again();
  EXPECT_NEAR(m.f.src[k(2, 2)], -q / 100.0f, 2e-7f);
  EXPECT_NEAR(m.f.src[k(4, 4)], q / 100.0f, 2e-7f);
  // What leaves one basin arrives in the other.
  EXPECT_EQ(m.f.src[k(2, 2)], -m.f.src[k(4, 4)]);
  EXPECT_EQ(m.f.src[k(3, 3)], 0.0f);
  m.clog.series_due = false;
  again();
  hio.io.close(25);
  EXPECT_EQ(hio.slurp("culv.txt"),
            "    0.0000       0.724  4\n"
            "    0.2500       1.448  4\n");
}

TEST_F(CulvertTest, FlowsBackWhenTheOutletIsHigher) {
  basins(2.0f, 2.5f);
  add();
  run();
  again();
  EXPECT_NEAR(m.f.src[k(2, 2)], 1.448260f / 100.0f, 2e-7f);
  EXPECT_NEAR(m.f.src[k(4, 4)], -1.448260f / 100.0f, 2e-7f);
}

TEST_F(CulvertTest, HeadsAreReferredToTheBedOfTheHigherEnd) {
  // Inlet level 3 on a bed at 2, outlet level 1.5 on a bed at 0: the outlet
  // head below the inlet bed is 1.5 - 2 = -0.5.
  basins(1.0f, 1.5f, 2.0f, 0.0f);
  add();
  run();
  again();
  const float q = law(1.0f, -0.5f, 1.0f, 1.5f);
  EXPECT_GT(q, 0.0f);
  EXPECT_FLOAT_EQ(-m.f.src[k(2, 2)] * 100.0f, q);
  // Outlet end higher: the inlet head is referred to the outlet bed.
  basins(1.0f, 2.0f, 0.5f, 0.0f);  // levels 1.5 and 2
  again();
  again();
  EXPECT_FLOAT_EQ(m.f.src[k(2, 2)] * 100.0f, -law(1.5f, 2.0f, 1.0f, 2.0f));
}

TEST_F(CulvertTest, EnergyHeadIncludesTheVelocityHeadUpToAFactor) {
  basins(2.0f, 1.0f);
  m.f.q[k(2, 2)] = 1.0f;  // he = 2 + 0.05 * 1 / 4 = 2.0125
  add();
  run();
  again();
  EXPECT_FLOAT_EQ(-m.f.src[k(2, 2)] * 100.0f, law(2.0125f, 1.0f, 2.0f, 1.0f));
  // Shallow and fast: 0.2 + 0.05 * 1 / 0.01 = 5.2, limited to 1.4 * 0.2.
  basins(0.2f, 0.01f);
  again();
  again();
  EXPECT_FLOAT_EQ(-m.f.src[k(2, 2)] * 100.0f, law(0.28f, 0.01f, 0.2f, 0.01f));
}

TEST_F(CulvertTest, EqualLevelsGiveNoFlow) {
  basins(1.0f, 2.0f, 1.0f, 0.0f);
  const int row = add();
  run();
  EXPECT_EQ(m.f.src[k(2, 2)], 0.0f);
  EXPECT_EQ(m.f.src[k(4, 4)], 0.0f);
  EXPECT_EQ(m.coin.table_a[row + 5], 0.0f);
}

TEST_F(CulvertTest, ADryEndGivesNoWater) {
  // Last step's discharge is still averaged in, but the inlet has run dry:
  // nothing may leave it (its dry neighbourhood would ignore the loss
  // while the outlet gained).
  basins(0.015f, 0.0f);
  m.f.ldry[k(2, 2)] = 1;
  m.f.ldry[k(4, 4)] = 1;
  const int row = add();
  m.coin.table_a[row + 5] = 0.5f;
  run();
  EXPECT_EQ(m.f.src[k(2, 2)], 0.0f);
  EXPECT_EQ(m.f.src[k(4, 4)], 0.0f);
}

TEST_F(CulvertTest, NoEndIsDrawnBelowEmptyInOneStep) {
  basins(0.05f, 0.0f, 3.0f, 0.0f);  // shallow inlet high above the outlet
  const int row = add();
  m.coin.table_a[row + 5] = 50.0f;  // a large discharge from the last step
  m.coin.dt = 10.0f;
  run();
  // At most 0.05 m x 100 m2 in 10 s.
  EXPECT_FLOAT_EQ(m.f.src[k(2, 2)], -0.05f / 10.0f);
  EXPECT_FLOAT_EQ(m.f.src[k(4, 4)], 0.05f / 10.0f);
}

// Two basins behind a dry wall, joined by a culvert, through whole flow
// steps: the water leaving one basin arrives in the other, at the rate of
// the culvert law.
TEST(CulvertFlow, VolumeLeavingOneBasinArrivesInTheOther) {
  auto mp = bndtest::grid(5, 3);  // columns 2, 3 | wall 4 | 5, 6
  Model& m = *mp;
  for (int j = 2; j <= 4; ++j) {
    for (int i = 2; i <= 6; ++i) {
      const int e = m.node(i, j);
      if (i == 4) {
        m.f.zb[e] = 10.0f;
        m.f.ldry[e] = 1;
      } else {
        m.f.h[e] = i < 4 ? 2.0f : 1.0f;
      }
    }
  }
  for (int e = 0; e < m.coin1.nn; ++e) {
    if (m.f.h[e] < m.coin.hdry) m.f.ldry[e] = 1;
  }
  Blocks blocks(m);
  blocks.culvert(m.node(2, 3) + 1, m.node(6, 3) + 1, 1.0f, -1.0f, 60.0f, 0.5f, 40.0f);
  auto volume = [&](int i0, int i1) {
    double v = 0.0;
    for (int j = 2; j <= 4; ++j) {
      for (int i = i0; i <= i1; ++i) v += static_cast<double>(m.f.h[m.node(i, j)]) * 100.0;
    }
    return v;
  };
  const double a0 = volume(2, 3), b0 = volume(5, 6);
  HydroIo hio;
  Hydro w;
  prepare(m, w);
  flow(m, w, hio.io, hio.msg);
  // First step: the mean of the new discharge and the initial 0.
  int kind = 0;
  const float q0 = rqculv(2.0f, 1.0f, 2.0f, 1.0f, 1.0f, -1.0f, 40.0f, 60.0f, 0.5f, kind);
  const double moved = 0.5 * q0 * m.coin.dt;
  EXPECT_NEAR(a0 - volume(2, 3), moved, 1e-4 * moved);
  EXPECT_NEAR(volume(5, 6) - b0, moved, 1e-4 * moved);
  for (int step = 0; step < 200; ++step) flow(m, w, hio.io, hio.msg);
  const double a1 = volume(2, 3), b1 = volume(5, 6);
  EXPECT_LT(a1, a0 - 50.0);
  EXPECT_NEAR(a1 + b1, a0 + b0, 1e-5 * (a0 + b0));
  EXPECT_EQ(volume(4, 4), 0.0);  // the wall stays dry
}

// Evaporation of 1e-8 m/s from 5 m of water takes some 5e-9 m a step, far
// below the float spacing of the depth (4.8e-7 m): the depths keep what
// rounds away, and the basin loses what evaporated, in both orders.
TEST(SourceFlow, EvaporationBelowTheFloatSpacingIsNotLost) {
  for (const bool second : {false, true}) {
    auto mp = bndtest::grid(3, 3);
    Model& m = *mp;
    for (int j = 2; j <= 4; ++j) {
      for (int i = 2; i <= 4; ++i) m.f.h[m.node(i, j)] = 5.0f;
    }
    for (int e = 0; e < m.coin1.nn; ++e) m.f.ldry[e] = m.f.h[e] < m.coin.hdry ? 1 : 0;
    m.clog.second_order = second;
    Blocks blocks(m);
    blocks.source(bt_precipitation, 0, {{0.0f, -1.0e-8f}});
    HydroIo hio;
    Hydro w;
    prepare(m, w);
    double t = 0.0;
    for (int step = 0; step < 4000; ++step) {
      flow(m, w, hio.io, hio.msg);
      t += m.coin.dt;
    }
    // Each depth within half a float step (2.4e-7 m) of 5 m - 1e-8 t.
    const double lost = 1.0e-8 * t * 900.0;
    EXPECT_GT(lost, 0.015);
    EXPECT_NEAR(45.0 * 100.0 - grid_volume(m), lost, 9 * 100 * 2.4e-7) << second;
  }
}

}  // namespace
}  // namespace qf
