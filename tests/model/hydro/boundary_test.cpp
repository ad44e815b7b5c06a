// The boundary ring: closing as walls, the five boundary types with their
// discharges and signs, the series lines, and damaged blocks.
#include "model/hydro/boundary.h"

#include <gtest/gtest.h>

#include <cmath>

#include "boundary_fixture.h"
#include "model/hydro/hydro.h"
#include "model/hydro/structure_kernels.h"

namespace qf {
namespace {

using bndtest::Blocks;
using bndtest::Cells;
using bndtest::HydroIo;

// 3 x 3 real cells of 10 m: ring columns 1 and 5, rows 1 and 5.
class BoundTest : public ::testing::Test {
 protected:
  BoundTest() : mp(bndtest::grid(3, 3)), m(*mp), blocks(m) {}
  int k(int i, int j) const { return m.node(i, j); }
  // Interior cells (i, j = 2..4) get bed z, depth h and discharges q, r.
  void interior(float z, float h, float q = 0.0f, float r = 0.0f) {
    for (int j = 2; j <= 4; ++j) {
      for (int i = 2; i <= 4; ++i) {
        m.f.zb[k(i, j)] = z;
        m.f.h[k(i, j)] = h;
        m.f.q[k(i, j)] = q;
        m.f.r[k(i, j)] = r;
      }
    }
  }
  void run() {
    prepare_boundary(m, work);
    bound(m, work, hio.io, hio.msg);
  }
  static Cells side_cells(int side) { return {{side, 2}, {side, 3}, {side, 4}}; }

  std::unique_ptr<Model> mp;
  Model& m;
  Blocks blocks;
  BoundaryWork work;
  HydroIo hio;
};

TEST_F(BoundTest, RingIndicesOfEachSide) {
  const RingNode w = gtindx(m, side_west, 3);
  EXPECT_EQ(w.b, 11);
  EXPECT_EQ(w.in, 12);
  EXPECT_EQ(w.in2, 13);
  const RingNode e = gtindx(m, side_east, 3);
  EXPECT_EQ(e.b, 15);
  EXPECT_EQ(e.in, 14);
  EXPECT_EQ(e.in2, 13);
  const RingNode s = gtindx(m, side_south, 3);
  EXPECT_EQ(s.b, 3);
  EXPECT_EQ(s.in, 8);
  EXPECT_EQ(s.in2, 13);
  const RingNode n = gtindx(m, side_north, 3);
  EXPECT_EQ(n.b, 23);
  EXPECT_EQ(n.in, 18);
  EXPECT_EQ(n.in2, 13);
}

TEST_F(BoundTest, WithoutBlocksTheRingIsAWallAsHighAsTheWaterBeside) {
  interior(1.0f, 2.0f, 0.5f, 0.5f);  // level 3
  m.f.h[k(2, 3)] = 4.0f;             // level 5 beside the west ring node of row 3
  for (int i = 1; i <= 5; ++i) {
    for (int j = 1; j <= 5; ++j) {
      if (i > 1 && i < 5 && j > 1 && j < 5) continue;
      m.f.zb[k(i, j)] = 0.001f;
      m.f.h[k(i, j)] = 0.7f;
      m.f.q[k(i, j)] = 0.3f;
      m.f.r[k(i, j)] = -0.2f;
      m.f.ldry[k(i, j)] = 0;
    }
  }
  m.coin.boundary_flow.fill(5.0f);
  run();
  for (float s : m.coin.boundary_flow) EXPECT_EQ(s, 0.0f);
  for (int i = 1; i <= 5; ++i) {
    for (int j = 1; j <= 5; ++j) {
      if (i > 1 && i < 5 && j > 1 && j < 5) continue;
      SCOPED_TRACE(testing::Message() << "ring node " << i << "," << j);
      EXPECT_EQ(m.f.ldry[k(i, j)], 1);
      EXPECT_EQ(m.f.h[k(i, j)], 0.0f);
      EXPECT_EQ(m.f.q[k(i, j)], 0.0f);
      EXPECT_EQ(m.f.r[k(i, j)], 0.0f);
    }
  }
  EXPECT_FLOAT_EQ(m.f.zb[k(1, 2)], 3.0f);
  EXPECT_FLOAT_EQ(m.f.zb[k(1, 3)], 5.0f);
  EXPECT_FLOAT_EQ(m.f.zb[k(5, 3)], 3.0f);
  EXPECT_FLOAT_EQ(m.f.zb[k(3, 1)], 3.0f);
  EXPECT_FLOAT_EQ(m.f.zb[k(3, 5)], 3.0f);
  // Corners: first closed beside a ring node of the other side (level
  // 0.701), then again beside a ring node already raised to 3.
  EXPECT_FLOAT_EQ(m.f.zb[k(1, 1)], 3.0f);
  EXPECT_FLOAT_EQ(m.f.zb[k(5, 1)], 3.0f);
  EXPECT_FLOAT_EQ(m.f.zb[k(1, 5)], 3.0f);
  EXPECT_FLOAT_EQ(m.f.zb[k(5, 5)], 3.0f);
  // The interior is untouched.
  EXPECT_FLOAT_EQ(m.f.h[k(2, 3)], 4.0f);
  EXPECT_FLOAT_EQ(m.f.q[k(2, 2)], 0.5f);
  // A wall never comes down when the water falls.
  interior(1.0f, 0.5f);
  bound(m, work, hio.io, hio.msg);
  EXPECT_FLOAT_EQ(m.f.zb[k(1, 3)], 5.0f);
}

TEST_F(BoundTest, WaterLevelMirrorsTheInteriorLevelAndWritesItsSeries) {
  interior(1.0f, 1.5f, 0.3f, 0.2f);  // level 2.5
  for (int j = 2; j <= 4; ++j) m.f.ks[k(2, j)] = 35.0f;
  ASSERT_TRUE(hio.io.open_write(20, hio.path("wl.txt")));
  blocks.boundary(bt_waterlevel, {{0.0f, 2.0f}, {1.0f, 4.0f}}, side_cells(side_west), 20);
  m.coin.time = 0.5f;  // level 3
  m.clog.series_due = true;
  run();
  for (int j = 2; j <= 4; ++j) {
    const int b = k(1, j);
    EXPECT_EQ(m.f.ldry[b], 0);
    EXPECT_FLOAT_EQ(m.f.h[b], 2.5f);  // 2 * 3 - 2.5 - 1
    EXPECT_FLOAT_EQ(m.f.zb[b], 1.0f);
    EXPECT_FLOAT_EQ(m.f.q[b], 0.3f);
    EXPECT_FLOAT_EQ(m.f.r[b], 0.0f);  // no tangential flow
    EXPECT_FLOAT_EQ(m.f.ks[b], 35.0f);
  }
  EXPECT_EQ(m.f.ldry[k(1, 1)], 1);  // the corner is not part of the boundary
  EXPECT_EQ(m.f.ldry[k(5, 3)], 1);
  // A second sweep of the same step writes no second line.
  bound(m, work, hio.io, hio.msg);
  m.coin.time = 0.75f;  // level 3.5
  bound(m, work, hio.io, hio.msg);
  EXPECT_FLOAT_EQ(m.f.h[k(1, 3)], 3.5f);
  m.clog.series_due = false;
  m.coin.time = 0.8f;
  bound(m, work, hio.io, hio.msg);
  hio.io.close(20);
  EXPECT_EQ(hio.slurp("wl.txt"),
            "    0.5000       9.000       2.500\n"
            "    0.7500       9.000       2.500\n");
}

TEST_F(BoundTest, WaterLevelPassesAtMostTheCriticalDischargeOfTheRingDepth) {
  // Level 1.4 over a bed of 1 inside and at the boundary: ring depth 0.4,
  // critical discharge 0.4 sqrt(9.81 * 0.4) = 0.792364 m2/s.
  interior(1.0f, 0.4f, -3.0f, 3.0f);
  m.f.q[k(2, 3)] = 0.5f;
  blocks.boundary(bt_waterlevel, {{0.0f, 1.4f}}, side_cells(side_west));
  blocks.boundary(bt_waterlevel, {{0.0f, 1.4f}}, side_cells(side_north));
  run();
  const struct {
    int i, j;
    float q, r;
  } want[] = {{1, 2, -0.792364f, 0.0f}, {1, 3, 0.5f, 0.0f}, {3, 5, 0.0f, 0.792364f}};
  for (const auto& w : want) {
    SCOPED_TRACE(testing::Message() << "ring node " << w.i << "," << w.j);
    EXPECT_FLOAT_EQ(m.f.h[k(w.i, w.j)], 0.4f);
    EXPECT_NEAR(m.f.q[k(w.i, w.j)], w.q, 1e-6f);
    EXPECT_NEAR(m.f.r[k(w.i, w.j)], w.r, 1e-6f);
  }
}

TEST_F(BoundTest, WaterLevelBelowTheBedLeavesTheRingDry) {
  interior(1.0f, 1.5f, 0.3f, 0.2f);
  blocks.boundary(bt_waterlevel, {{0.0f, 0.5f}}, side_cells(side_north));
  run();
  for (int i = 2; i <= 4; ++i) {
    const int b = k(i, 5);
    EXPECT_EQ(m.f.ldry[b], 1);
    EXPECT_EQ(m.f.h[b], 0.0f);
    EXPECT_EQ(m.f.q[b], 0.0f);
    EXPECT_EQ(m.f.r[b], 0.0f);
  }
}

TEST_F(BoundTest, WeirDischargesOutwardAboveTheCrest) {
  interior(1.0f, 1.0f);  // level 2
  ASSERT_TRUE(hio.io.open_write(21, hio.path("weir.txt")));
  const int row = blocks.boundary(bt_weir, {{0.0f, 1.5f}}, side_cells(side_east), 21);
  m.clog.series_due = true;
  run();
  for (int j = 2; j <= 4; ++j) {
    EXPECT_NEAR(m.f.q[k(5, j)], 1.106622f, 1e-5f);  // 3.13 * 0.5^1.5, east = +x
    EXPECT_EQ(m.f.r[k(5, j)], 0.0f);
    EXPECT_FLOAT_EQ(m.f.h[k(5, j)], 1.0f);
  }
  // An effective width of 5 m on a 10 m face halves the discharge.
  m.coin.table_a[row + 2] = 5.0f;
  m.coin.time = 0.1f;
  bound(m, work, hio.io, hio.msg);
  EXPECT_NEAR(m.f.q[k(5, 3)], 0.553311f, 1e-5f);
  // A crest below the bed counts 2 cm above the bed.
  m.coin.table_a[row + 2] = -1.0f;
  m.coin.table_b[row + 5] = 0.0f;
  m.coin.time = 0.2f;
  bound(m, work, hio.io, hio.msg);
  EXPECT_NEAR(m.f.q[k(5, 3)], 3.13f * std::pow(0.98f, 1.5f), 1e-5f);
  // Below the crest nothing flows.
  m.coin.table_b[row + 5] = 2.5f;
  m.coin.time = 0.3f;
  bound(m, work, hio.io, hio.msg);
  EXPECT_EQ(m.f.q[k(5, 3)], 0.0f);
  hio.io.close(21);
  EXPECT_EQ(hio.slurp("weir.txt"),
            "    0.0000      33.199       2.000\n"
            "    0.1000      16.599       2.000\n"
            "    0.2000      91.097       2.000\n"
            "    0.3000       0.000       2.000\n");
}

TEST_F(BoundTest, InflowFindsTheNormalDepthThatCarriesTheHydrograph) {
  interior(0.0f, 0.5f);
  ASSERT_TRUE(hio.io.open_write(22, hio.path("in.txt")));
  blocks.boundary(bt_inflow, {{0.0f, 6.0f}}, side_cells(side_west), 22);
  m.clog.series_due = true;
  run();
  // 0.2 m2/s per 10 m cell: 0.3193 kst h^(1/6) sqrt(g h) h 0.032 = 0.2 at
  // h = 0.390153; the shear velocity of that normal flow is sqrt(g h) 0.032.
  float sum = 0.0f;
  for (int j = 2; j <= 4; ++j) {
    const int b = k(1, j);
    EXPECT_NEAR(m.f.q[b], 0.2f, 1e-5f);
    EXPECT_EQ(m.f.r[b], 0.0f);
    EXPECT_NEAR(m.f.us[b], 0.0626040f, 2e-6f);
    EXPECT_FLOAT_EQ(m.f.h[b], 0.5f);  // deeper than critical already
    EXPECT_EQ(m.f.ldry[b], 0);
    sum += m.f.q[b] * m.coin.dy;
  }
  EXPECT_NEAR(sum, 6.0f, 1e-4f);
  hio.io.close(22);
  EXPECT_EQ(hio.slurp("in.txt"), "    0.0000       6.000       0.000\n");
}

TEST_F(BoundTest, InflowOnAHighBedKeepsFullPrecision) {
  interior(1234.5f, 0.5f);  // a bed where one float step is 1.2e-4 m
  blocks.boundary(bt_inflow, {{0.0f, 6.0f}}, side_cells(side_west));
  run();
  for (int j = 2; j <= 4; ++j) {
    EXPECT_NEAR(m.f.q[k(1, j)], 0.2f, 1e-5f);
    EXPECT_NEAR(m.f.us[k(1, j)], 0.0626040f, 2e-6f);
  }
}

TEST_F(BoundTest, InflowEntersFromEverySideAndLeavesWhenNegative) {
  const int normal_sign[5] = {0, 1, -1, 1, -1};
  for (int side = 1; side <= 4; ++side) {
    for (float v : {6.0f, -6.0f}) {
      SCOPED_TRACE(testing::Message() << "side " << side << " v " << v);
      auto mp2 = bndtest::grid(3, 3);
      Model& m2 = *mp2;
      for (int j = 2; j <= 4; ++j) {
        for (int i = 2; i <= 4; ++i) m2.f.h[m2.node(i, j)] = 0.5f;
      }
      Blocks b2(m2);
      b2.boundary(bt_inflow, {{0.0f, v}}, side_cells(side));
      BoundaryWork w2;
      bound(m2, w2, hio.io, hio.msg);  // prepares on its own
      for (int p = 2; p <= 4; ++p) {
        const RingNode rn = gtindx(m2, side, p);
        const float qn = side <= 2 ? m2.f.q[rn.b - 1] : m2.f.r[rn.b - 1];
        const float qt = side <= 2 ? m2.f.r[rn.b - 1] : m2.f.q[rn.b - 1];
        EXPECT_NEAR(qn, normal_sign[side] * (v > 0 ? 0.2f : -0.2f), 1e-5f);
        EXPECT_EQ(qt, 0.0f);
      }
    }
  }
}

TEST_F(BoundTest, InflowAngleGivesATangentialShareOnEntry) {
  interior(0.0f, 0.5f);
  const int row = blocks.boundary(bt_inflow, {{0.0f, 6.0f}}, side_cells(side_south));
  m.coin.table_a[row + 1] = 0.5f;  // angle
  run();
  for (int i = 2; i <= 4; ++i) {
    EXPECT_NEAR(m.f.r[k(i, 1)], 0.2f, 1e-5f);
    EXPECT_FLOAT_EQ(m.f.q[k(i, 1)], -0.5f * m.f.r[k(i, 1)]);
  }
}

TEST_F(BoundTest, InflowWithoutDischargeGivesNone) {
  // Stopped, the inflow is a wall as high as the water beside it: the
  // interior flow leaving it draws nothing from the ring.
  interior(0.0f, 0.5f, 0.1f, 0.1f);
  blocks.boundary(bt_inflow, {{0.0f, 0.0f}}, side_cells(side_west));
  run();
  for (int j = 2; j <= 4; ++j) {
    EXPECT_EQ(m.f.q[k(1, j)], 0.0f);
    EXPECT_EQ(m.f.r[k(1, j)], 0.0f);
    EXPECT_EQ(m.f.h[k(1, j)], 0.0f);
    EXPECT_EQ(m.f.ldry[k(1, j)], 1);
    EXPECT_FLOAT_EQ(m.f.zb[k(1, j)], 0.5f);
  }
}

TEST_F(BoundTest, InflowGivesThinSharesToTheOtherNodes) {
  // v [m3/s] over three 10 m cells and the nodes left open: a node whose
  // share would not exceed 1e-4 m2/s (what the face imposes) is closed and
  // the others carry v.
  const struct {
    float v;
    int open;
  } cases[] = {{0.0025f, 1}, {0.0036f, 3}, {6.0f, 3}};
  for (const auto& tc : cases) {
    SCOPED_TRACE(testing::Message() << "v " << tc.v);
    interior(0.0f, 0.5f);
    Blocks b2(m);
    b2.boundary(bt_inflow, {{0.0f, tc.v}}, side_cells(side_west));
    BoundaryWork w2;
    bound(m, w2, hio.io, hio.msg);
    float sum = 0.0f;
    int open = 0;
    for (int j = 2; j <= 4; ++j) {
      const float q = m.f.q[k(1, j)];
      sum += q * m.coin.dy;
      open += q > 0.0f;
      EXPECT_TRUE(q == 0.0f ? m.f.ldry[k(1, j)] == 1 : q > 1e-4f);
    }
    EXPECT_EQ(open, tc.open);
    EXPECT_NEAR(sum, tc.v, tc.v * 1e-6f);
  }
}

TEST_F(BoundTest, InflowNeverDeliversMoreThanTheHydrograph) {
  // 0.01 m3/s over three cells: far below the discharge of the dry-depth
  // floor (3 x 10 m x 0.0014148 m2/s); the boundary carries 0.01 exactly.
  interior(0.0f, 0.5f);
  blocks.boundary(bt_inflow, {{0.0f, 0.01f}}, side_cells(side_west));
  run();
  float sum = 0.0f;
  for (int j = 2; j <= 4; ++j) sum += m.f.q[k(1, j)] * m.coin.dy;
  EXPECT_NEAR(sum, 0.01f, 1e-6f);
}

TEST_F(BoundTest, InflowAboveFourMetresMovesTheBracketUp) {
  interior(0.0f, 0.0f);  // dry interior
  blocks.boundary(bt_inflow, {{0.0f, 600.0f}}, side_cells(side_west));
  run();
  for (int j = 2; j <= 4; ++j) {
    const int b = k(1, j);
    EXPECT_NEAR(m.f.q[b], 20.0f, 2e-4f);
    // Normal depth 6.18351 m.
    EXPECT_NEAR(m.f.us[b], std::sqrt(9.81f * 6.18351f) * 0.032f, 1e-5f);
    // The ring depth is raised to the critical depth of 20 m2/s.
    EXPECT_NEAR(m.f.h[b], std::cbrt(400.0f / 9.81f), 1e-4f);
    EXPECT_EQ(m.f.ldry[b], 0);
  }
}

TEST_F(BoundTest, InflowCrossSlopeRaisesTheLevelAlongTheBoundary) {
  interior(0.0f, 0.5f);
  const int row = blocks.boundary(bt_inflow, {{0.0f, 6.0f}}, side_cells(side_west));
  m.coin.table_b[row + 2] = 0.01f;  // +0.1 m per 10 m cell
  run();
  const float q2 = m.f.q[k(1, 2)], q3 = m.f.q[k(1, 3)], q4 = m.f.q[k(1, 4)];
  EXPECT_LT(q2, q3);
  EXPECT_LT(q3, q4);
  EXPECT_NEAR((q2 + q3 + q4) * 10.0f, 6.0f, 1e-4f);
  // Depths: h, h + 0.1, h + 0.2 (shear velocity sqrt(g hn) 0.032).
  const float h2 = std::pow(m.f.us[k(1, 2)] / 0.032f, 2.0f) / 9.81f;
  const float h4 = std::pow(m.f.us[k(1, 4)] / 0.032f, 2.0f) / 9.81f;
  EXPECT_NEAR(h4 - h2, 0.2f, 1e-4f);
}

TEST_F(BoundTest, InflowThatCannotBeCarriedEnds) {
  interior(0.0f, 0.5f);
  const int row = blocks.boundary(bt_inflow, {{0.0f, 6.0f}}, side_cells(side_west));
  m.coin.table_b[row + 1] = 0.0f;  // no slope: no conveyance at any level
  run();
  for (int j = 2; j <= 4; ++j) EXPECT_EQ(m.f.q[k(1, j)], 0.0f);
}

TEST_F(BoundTest, SlopeBoundaryGivesNormalFlowOutward) {
  interior(0.0f, 0.8f, 0.1f, -0.3f);
  ASSERT_TRUE(hio.io.open_write(23, hio.path("slope.txt")));
  blocks.boundary(bt_slope, {{0.0f, 0.001f}}, side_cells(side_south), 23);
  m.clog.series_due = true;
  run();
  for (int i = 2; i <= 4; ++i) {
    const int b = k(i, 1);
    // Manning-Strickler: 0.3193 * 30 * 0.8^(1/6) * sqrt(0.8 g 0.001) * 0.8
    EXPECT_NEAR(m.f.r[b], -0.654091f, 2e-5f);
    EXPECT_FLOAT_EQ(m.f.q[b], 0.05f);
    EXPECT_FLOAT_EQ(m.f.h[b], 0.8f);
  }
  hio.io.close(23);
  EXPECT_EQ(hio.slurp("slope.txt"), "    0.0000      19.623       0.000\n");
}

TEST_F(BoundTest, TideIntegratesTheLevelErrorIntoItsState) {
  interior(0.0f, 1.5f);
  const int row = blocks.boundary(bt_tide, {{0.0f, 2.0f}}, {{side_east, 3}});
  const int state_row = row + 6 + 1 + 1;  // series row, count row, node row
  m.coin.dt = 10.0f;
  run();
  // d = 0.5: state 0.05; x = sqrt(9.81 * 1.5) * 0.5 + 0.05, into the domain
  EXPECT_FLOAT_EQ(m.coin.table_a[state_row], 0.05f);
  EXPECT_NEAR(m.f.q[k(5, 3)], -1.968007f, 1e-5f);
  EXPECT_EQ(m.f.r[k(5, 3)], 0.0f);
  bound(m, work, hio.io, hio.msg);
  EXPECT_FLOAT_EQ(m.coin.table_a[state_row], 0.1f);
  EXPECT_NEAR(m.f.q[k(5, 3)], -2.018007f, 1e-5f);
  // North side: r carries the flow, q is 0.
  auto mp2 = bndtest::grid(3, 3);
  Model& m2 = *mp2;
  for (int i = 2; i <= 4; ++i) m2.f.h[m2.node(i, 4)] = 2.5f;  // level above the tide
  m2.f.q[m2.node(3, 4)] = 0.4f;
  Blocks b2(m2);
  b2.boundary(bt_tide, {{0.0f, 2.0f}}, {{side_north, 3}});
  m2.coin.dt = 10.0f;
  BoundaryWork w2;
  bound(m2, w2, hio.io, hio.msg);
  // d = -0.5: x = -(sqrt(9.81 * 2.5) * 0.5 + 0.05), negated on the north side
  EXPECT_NEAR(m2.f.r[m2.node(3, 5)], std::sqrt(9.81f * 2.5f) * 0.5f + 0.05f, 1e-5f);
  EXPECT_EQ(m2.f.q[m2.node(3, 5)], 0.0f);
}

TEST_F(BoundTest, SecondOrderBoundaryExtrapolatesFromTwoNodes) {
  interior(1.0f, 1.0f);
  for (int j = 2; j <= 4; ++j) {
    m.f.q[k(2, j)] = 0.4f;
    m.f.q[k(3, j)] = 0.1f;
    m.f.zb[k(2, j)] = 1.0f;
    m.f.zb[k(3, j)] = 1.2f;
    m.f.h[k(2, j)] = 1.0f;
  }
  m.clog.second_order_boundary = true;
  blocks.boundary(bt_waterlevel, {{0.0f, 2.0f}}, side_cells(side_west));
  run();
  EXPECT_FLOAT_EQ(m.f.q[k(1, 3)], 0.7f);
  EXPECT_FLOAT_EQ(m.f.zb[k(1, 3)], 0.8f);
  EXPECT_FLOAT_EQ(m.f.h[k(1, 3)], 2.0f * 2.0f - 2.0f - 0.8f);
}

TEST_F(BoundTest, ShallowRingNodesAreDryWithoutDischarge) {
  interior(0.0f, 0.01f, 0.05f, 0.05f);
  blocks.boundary(bt_slope, {{0.0f, 0.01f}}, side_cells(side_west));
  run();
  for (int j = 2; j <= 4; ++j) {
    EXPECT_EQ(m.f.ldry[k(1, j)], 1);
    EXPECT_FLOAT_EQ(m.f.h[k(1, j)], 0.01f);
    EXPECT_EQ(m.f.q[k(1, j)], 0.0f);
    EXPECT_EQ(m.f.r[k(1, j)], 0.0f);
  }
}

TEST_F(BoundTest, DamagedBlocksAreReadSafely) {
  interior(1.0f, 1.0f);
  ASSERT_TRUE(hio.io.open_write(24, hio.path("bad.txt")));
  // Cells off the ring and a count beyond the block: only (1, 3) acts.
  const int row = blocks.boundary(bt_waterlevel, {{0.0f, 3.0f}},
                                  {{side_west, 3}, {9, 2}, {side_east, 0}, {side_south, 99}}, 24);
  m.coin.table_a[row + 6] = 50.0f;
  m.clog.series_due = true;
  // A block without a length ends the list.
  blocks.raw(static_cast<float>(bt_waterlevel), 0.0f);
  run();
  EXPECT_FLOAT_EQ(m.f.h[k(1, 3)], 3.0f);
  EXPECT_EQ(work.blocks.size(), 1u);
  EXPECT_EQ(work.blocks[0].node_count, 1);
  // A series count beyond the block is cut to the block; the cell count
  // row is then gone, and with it the cells.
  m.coin.table_b[row + 4] = 1000.0f;
  m.coin.time = 1.0f;
  run();
  EXPECT_EQ(work.blocks[0].series_count, 6);
  EXPECT_EQ(work.blocks[0].node_count, 0);
  EXPECT_EQ(m.f.ldry[k(1, 3)], 1);
  // A boundary whose cells are all off the grid writes a level of 0.
  m.coin.table_b[row + 4] = 1.0f;
  m.coin.table_a[row + 7] = 9.0f;
  m.coin.time = 2.0f;
  run();
  EXPECT_EQ(work.blocks[0].node_count, 0);
  hio.io.close(24);
  const std::string s = hio.slurp("bad.txt");
  EXPECT_EQ(s.substr(0, 35), "    0.0000       0.000       2.000\n");
  EXPECT_EQ(s.substr(70), "    2.0000       0.000       0.000\n");
}

// Through a whole flow step: the flux solver takes the ring discharges as the
// face fluxes and sums them per side, inflows positive, outflows negative.
TEST(BoundFlow, SideSumsCountInflowPositiveAndOutflowNegative) {
  auto mp = bndtest::grid(4, 3);
  Model& m = *mp;
  for (int j = 2; j <= 4; ++j) {
    for (int i = 2; i <= 5; ++i) m.f.h[m.node(i, j)] = 1.0f;
  }
  Blocks blocks(m);
  blocks.boundary(bt_inflow, {{0.0f, 3.0f}}, {{side_west, 2}, {side_west, 3}, {side_west, 4}});
  blocks.boundary(bt_slope, {{0.0f, 0.001f}}, {{side_east, 2}, {side_east, 3}, {side_east, 4}});
  HydroIo hio;
  Hydro w;
  prepare(m, w);
  m.coin.boundary_flow.fill(7.0f);
  flow(m, w, hio.io, hio.msg);
  const auto& s = m.coin.boundary_flow;
  EXPECT_NEAR(s[0], 3.0f, 1e-4f);  // west in
  EXPECT_EQ(s[1], 0.0f);           // west out
  EXPECT_EQ(s[2], 0.0f);
  EXPECT_EQ(s[3], 0.0f);
  EXPECT_EQ(s[4], 0.0f);  // east in
  // East out: normal flow at 1 m depth, 3 cells of 10 m.
  const float x = 0.3193f * 30.0f * std::sqrt(9.81f * 0.001f);
  EXPECT_NEAR(s[5], -3.0f * 10.0f * x, 1e-3f);
  EXPECT_EQ(s[6], 0.0f);
  EXPECT_EQ(s[7], 0.0f);
}

}  // namespace
}  // namespace qf
