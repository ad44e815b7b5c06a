// Flow that must not depend on how it lies on the grid: uniform flow down
// an open plane, and a straight channel whose banks the grid cuts into steps.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>

#include "boundary_fixture.h"
#include "hydro_fixture.h"
#include "io/textio.h"
#include "model/hydro/hydro.h"

namespace qf {
namespace {

// Manning n 0.05, depth 1 m, slope 0.001: normal velocity 20 sqrt(0.001).
constexpr double kSlope = 0.001, kNormal = 0.6324555;

// A bed falling at kSlope along direction `deg` from the grid's x axis, with
// 1 m of water moving at the normal velocity, on cells of 2 m; when
// `channel`, only a strip 20 m wide and 600 m long through the centre is
// open, the rest is bank 5 m above it. Returns the mean speed of the wet
// nodes within `reach` m of the centre along the flow after `seconds`.
double mean_speed(double deg, bool channel, double seconds, double reach) {
  const double a = deg * M_PI / 180.0, ca = std::cos(a), sa = std::sin(a);
  const double len = channel ? 600.0 : 300.0, wid = channel ? 20.0 : 300.0;
  const int n = static_cast<int>(std::ceil((channel ? len * ca + wid * sa : len) / 2.0) + 4);
  const int nyc = channel ? static_cast<int>(std::ceil((len * sa + wid * ca) / 2.0) + 4) : n;
  Model m;
  test::make_grid(m, n, nyc, 2.0f, 2.0f, 20.0f);
  const double x0 = n, y0 = nyc;  // centre [m]
  auto along = [&](double x, double y) { return (x - x0) * ca + (y - y0) * sa; };
  auto across = [&](double x, double y) { return -(x - x0) * sa + (y - y0) * ca; };
  auto open = [&](double x, double y) {
    return !channel || (std::fabs(across(x, y)) < wid / 2 && std::fabs(along(x, y)) < len / 2);
  };
  for (int j = 1; j <= m.coin1.nyy; ++j) {
    for (int i = 1; i <= m.coin1.nxx; ++i) {
      const double x = (i - 1.5) * 2.0, y = (j - 1.5) * 2.0;
      const int k = m.node(i, j);
      m.f.zb[k] = static_cast<float>(-kSlope * along(x, y) + (open(x, y) ? 0.0 : 5.0));
      if (i == 1 || j == 1 || i == m.coin1.nxx || j == m.coin1.nyy || !open(x, y)) continue;
      m.f.h[k] = 1.0f;
      m.f.q[k] = static_cast<float>(kNormal * ca);
      m.f.r[k] = static_cast<float>(kNormal * sa);
    }
  }
  test::derive(m);
  test::Io io;
  Hydro w;
  prepare(m, w);
  while (m.coin.time * 3600.0 < seconds) flow(m, w, io.io, io.msg);
  double sum = 0.0;
  int count = 0;
  for (int j = 2; j < m.coin1.nyy; ++j) {
    for (int i = 2; i < m.coin1.nxx; ++i) {
      const int k = m.node(i, j);
      const double x = (i - 1.5) * 2.0, y = (j - 1.5) * 2.0;
      if (m.f.ldry[k] || std::fabs(along(x, y)) > reach || std::fabs(across(x, y)) > reach) {
        continue;
      }
      sum += std::hypot(double(m.f.q[k]), double(m.f.r[k])) / m.f.h[k];
      ++count;
    }
  }
  return sum / count;
}

// Uniform flow down a plane keeps its speed at 0, 30 and 45 degrees to the
// grid (friction from the speed, not from its components); the channel's
// speeds are shown: the staircase banks of a rotated channel hold it back.
TEST(Orientation, PlaneFlowIsIsotropic) {
  for (double deg : {0.0, 30.0, 45.0}) {
    const double plane = mean_speed(deg, false, 30.0, 20.0);
    const double chan = mean_speed(deg, true, 40.0, 100.0);
    std::cout << "  " << fmt_f(deg, 4, 0) << " deg: plane" << fmt_f(plane, 8, 4) << " m/s, channel"
              << fmt_f(chan, 8, 4) << " m/s\n";
    EXPECT_NEAR(plane, kNormal, 0.01 * kNormal);
  }
}

// An inflow across the whole west end of a channel 3 cells wide, its
// location also holding the south and north ring nodes of the end's corner
// cells (as a polygon round the end gives): all of it enters through the
// west faces, none through the sides.
TEST(Orientation, InflowAcrossAChannelEndEntersThroughTheEnd) {
  Model m;
  test::make_grid(m, 10, 3, 10.0f, 10.0f);
  test::set_level(m, [](float, float) { return 0.5f; });
  test::derive(m);
  bndtest::Blocks blocks(m);
  const bndtest::Cells end{
      {side_west, 2}, {side_west, 3}, {side_west, 4}, {side_south, 2}, {side_north, 2}};
  blocks.boundary(bt_inflow, {{0.0f, 6.0f}}, end);
  test::Io io;
  Hydro w;
  prepare(m, w);
  for (int s = 0; s < 20; ++s) flow(m, w, io.io, io.msg);
  ASSERT_EQ(w.boundary.blocks.size(), 1u);
  EXPECT_EQ(w.boundary.blocks[0].node_count, 3);
  const std::array<float, 8>& bf = m.coin.boundary_flow;
  EXPECT_NEAR(bf[0], 6.0f, 1e-3f);  // west in [m3/s]
  EXPECT_EQ(bf[2], 0.0f);           // south in
  EXPECT_EQ(bf[6], 0.0f);           // north in
}

}  // namespace
}  // namespace qf
