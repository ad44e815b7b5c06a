#include "output/balance.h"

#include <gtest/gtest.h>

#include <sstream>

namespace qf {
namespace {

TEST(Balance, FiguresByHand) {
  WaterBudget g;
  g.in[2] = 100.0;  // inflow
  g.out[0] = 30.0;  // water level
  g.in[0] = 5.0;
  g.wall_out = 1.0;
  g.rain = 20.0;
  g.rain_moved = 20.0;
  g.leakage = -4.0;
  g.leakage_moved = 4.0;
  g.points = -2.0;
  g.points_moved = 6.0;
  g.culvert_moved = 10.0;
  // 1000 m3 at the start; net in 105 - 31 + 20 - 4 - 2 = 88.
  const BalanceFigures b = balance_figures(g, 1000.0, 1088.5);
  EXPECT_DOUBLE_EQ(b.boundary_in, 105.0);
  EXPECT_DOUBLE_EQ(b.boundary_out, 31.0);
  EXPECT_DOUBLE_EQ(b.net_in, 88.0);
  EXPECT_DOUBLE_EQ(b.moved, 105.0 + 31.0 + 20.0 + 4.0 + 6.0 + 10.0);
  EXPECT_DOUBLE_EQ(b.error, 0.5);
  EXPECT_DOUBLE_EQ(b.error_pct, 100.0 * 0.5 / 176.0);
  // Nothing moved: no percentage.
  EXPECT_EQ(balance_figures(WaterBudget{}, 5.0, 5.0).error_pct, 0.0);
}

TEST(Balance, HeaderNamesEveryColumn) {
  std::istringstream h(balance_header());
  std::string name, all;
  int n = 0;
  while (h >> name) {
    all += name + " ";
    ++n;
  }
  EXPECT_EQ(all,
            "time_h volume waterlevel_in waterlevel_out weir_in weir_out inflow_in inflow_out "
            "slope_in slope_out tide_in tide_out wall_in wall_out rain points leakage culvert "
            "culvert_moved boundary_in boundary_out moved error error_pct ");
  EXPECT_EQ(n, 24);
  // Fields of 14 and 18 characters.
  EXPECT_EQ(balance_header().size(), 14u + 23u * 18u);
}

}  // namespace
}  // namespace qf
