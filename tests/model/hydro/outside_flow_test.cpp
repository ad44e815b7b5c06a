// Flow against the walls of no-data cells: a dam break in a closed basin
// whose bed grid has no-data cells, read through the command-file input.
// The water runs into the no-data area and must never wet it; the rain that
// falls on it never reaches the model.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "hydro_fixture.h"
#include "model/hydro/hydro.h"
#include "model/init.h"
#include "tests/input/model_fixture.h"

namespace qf {
namespace {

// 20 x 10 cells of 2 m, first centre at 1000/2000, flat bed at 0. No data:
// columns 15..20 of every row and a notch of columns 10..14 in rows 4..6
// (rows counted from the south).
bool no_data(int col, int row) {
  return col >= 15 || (col >= 10 && row >= 4 && row <= 6);
}

std::string bed_grid() {
  std::string s =
      "ncols 20\nnrows 10\nxllcorner 999.0\nyllcorner 1999.0\ncellsize 2.0\n"
      "NODATA_value -9999\n";
  for (int row = 10; row >= 1; --row) {
    for (int col = 1; col <= 20; ++col) s += no_data(col, row) ? " -9999" : " 0.0";
    s += "\n";
  }
  return s;
}

// Water 1 m deep in columns 1..5; rain of 36 mm/h (1e-5 m/s) when asked.
void read_model(test::InputRun& r, bool rain) {
  r.write("bed.asc", bed_grid());
  std::string text = "title 'walls'\n>>global\nkst 30\n>>grid\ninclude '" + r.path("bed.asc") +
                     "'\n>>polygon\nwaterlevel 1.0\n999 1999\n1009 1999\n1009 2019\n999 2019\n/\n";
  if (rain) text += ">>source\nprecipitation 36.0\n";
  r.run(text);
}

struct Outcome {
  bool walls_dry = true;   // every outside node dry with h = q = r = 0 after every step
  float wall_side = 0.0f;  // largest depth reached beside a wall
  double volume0 = 0, volume = 0, seconds = 0, inside_area = 0;
};

Outcome run(bool second_order, bool rain, int steps) {
  test::InputRun r;
  read_model(r, rain);
  Model& m = r.m;
  m.clog.second_order = second_order;
  Hydro w;
  prepare(m, w);
  init(m, r.io, r.msg);
  Outcome o;
  o.volume0 = test::volume(m);
  const FlowValues& f = m.f;
  for (int j = 2; j <= m.coin1.nyy - 1; ++j) {
    for (int i = 2; i <= m.coin1.nxx - 1; ++i) {
      if (f.outside[static_cast<std::size_t>(m.node(i, j))] == 0) o.inside_area += 4.0;
    }
  }
  for (int n = 0; n < steps; ++n) {
    flow(m, w, r.io, r.msg);
    o.seconds += m.coin.dt;
    for (int j = 2; j <= m.coin1.nyy - 1; ++j) {
      for (int i = 2; i <= m.coin1.nxx - 1; ++i) {
        const auto e = static_cast<std::size_t>(m.node(i, j));
        if (f.outside[e] != 0) {
          if (f.h[e] != 0.0f || f.q[e] != 0.0f || f.r[e] != 0.0f || f.ldry[e] != 1) {
            o.walls_dry = false;
          }
        } else if (f.outside[e + 1] != 0 || f.outside[e - 1] != 0 ||
                   f.outside[e + static_cast<std::size_t>(m.coin1.nxx)] != 0) {
          o.wall_side = std::max(o.wall_side, f.h[e]);
        }
      }
    }
  }
  o.volume = test::volume(m);
  return o;
}

TEST(OutsideFlow, DamBreakAgainstNoDataCellsNeverWetsThem) {
  for (bool second : {false, true}) {
    const Outcome o = run(second, false, 400);
    EXPECT_TRUE(o.walls_dry) << "second order " << second;
    // The wave reached the walls and piled up against them.
    EXPECT_GT(o.wall_side, 0.2f) << "second order " << second;
    // 200 m3 in a closed basin: nothing leaks into or out of the walls.
    EXPECT_NEAR(o.volume0, 200.0, 1e-3);
    EXPECT_NEAR(o.volume, o.volume0, 1e-5 * o.volume0) << "second order " << second;
  }
}

TEST(OutsideFlow, RainFallsOnlyInsideTheModel) {
  const Outcome o = run(false, true, 200);
  EXPECT_TRUE(o.walls_dry);
  // 125 of the 200 cells of 4 m2 are inside.
  EXPECT_EQ(o.inside_area, 500.0);
  const double rain = 1.0e-5 * o.inside_area * o.seconds;
  EXPECT_GT(rain, 1.0e-3 * o.volume0);
  EXPECT_NEAR(o.volume - o.volume0, rain, 1e-5 * o.volume0 + 1e-3 * rain);
}

}  // namespace
}  // namespace qf
