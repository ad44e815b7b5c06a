// Standard two-dimensional cases with a property the scheme must keep
// exactly: the mirror symmetry of a radial dam break, the volume a
// hydrograph brings in, water at rest between walls and islands.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>

#include "boundary_fixture.h"
#include "cmdlang/textio.h"
#include "hydro_fixture.h"
#include "model/hydro/hydro.h"

namespace qf {
namespace {

// Runs the model until `seconds` have passed.
void run_for(Model& m, double seconds) {
  test::Io io;
  Hydro w;
  prepare(m, w);
  while (m.coin.time * 3600.0 < seconds) flow(m, w, io.io, io.msg);
}

// Largest depth difference between mirrored nodes about both axes and the
// diagonal of a square grid [m].
double asymmetry(const Model& m) {
  const int n = m.coin1.nx;
  double worst = 0.0;
  auto h = [&](int i, int j) { return double(m.f.h[m.node(i + 2, j + 2)]); };
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      worst = std::max({worst, std::fabs(h(i, j) - h(n - 1 - i, j)),
                        std::fabs(h(i, j) - h(i, n - 1 - j)), std::fabs(h(i, j) - h(j, i))});
    }
  }
  return worst;
}

// Radial dam break: 10 m of water inside r = 11 m, 1 m outside, 50 m square
// of 200 x 200 cells, flat frictionless bed, second order at cfl 0.7.
TEST(Benchmarks, RadialDamBreakStaysSymmetric) {
  Model m;
  test::make_grid(m, 200, 200, 0.25f, 0.25f, 1.0e5f);
  test::set_level(m, [](float x, float y) {
    const float dx = x + 0.125f - 25.0f, dy = y + 0.125f - 25.0f;
    return dx * dx + dy * dy < 121.0f ? 10.0f : 1.0f;
  });
  test::derive(m);
  m.clog.second_order = true;
  run_for(m, 0.69);
  const double a = asymmetry(m);
  std::cout << "  radial dam break after" << fmt_f(m.coin.time * 3600.0, 6, 3)
            << " s: mirror asymmetry" << fmt_e(a, 10, 2) << " m\n";
  EXPECT_LT(a, 1e-4);
}

// Dry start, a hydrograph rising from 0 to 300 m3/s in a quarter of an hour
// into a closed basin of 50 m cells, through a point or across the west
// end: the water on the grid is the hydrograph's integral, 300 T^2 / (2 .25 h).
TEST(Benchmarks, HydrographDeliversItsVolume) {
  for (int c = 0; c < 4; ++c) {
    const bool point = c < 2, second = c % 2;
    Model m;
    test::make_grid(m, 20, 10, 50.0f, 50.0f);
    test::derive(m);
    m.clog.second_order = second;
    bndtest::Blocks blocks(m);
    const bndtest::Series rise{{0.0f, 0.0f}, {0.25f, 300.0f}};
    if (point) {
      blocks.source(bt_discharge, m.node(6, 7) + 1, rise);  // 1-based
    } else {
      bndtest::Cells west;
      for (int j = 2; j <= m.coin1.nyy - 1; ++j) west.push_back({side_west, j});
      blocks.boundary(bt_inflow, rise, west);
    }
    test::Io io;
    Hydro w;
    prepare(m, w);
    while (m.coin.time < 0.2f) flow(m, w, io.io, io.msg);
    const double t = w.clock * 3600.0;
    const double want = 300.0 * t * t / (2.0 * 900.0);
    const double err = test::volume(m) / want - 1.0;
    std::cout << "  hydrograph " << (point ? "at a point" : "across the west end") << ", "
              << (second ? "second" : "first") << " order, " << fmt_f(t, 6, 1) << " s: volume"
              << fmt_f(test::volume(m), 12, 1) << " m3, relative error" << fmt_e(err, 10, 2)
              << "\n";
    EXPECT_LT(std::fabs(err), 1e-5);
  }
}

}  // namespace
}  // namespace qf
