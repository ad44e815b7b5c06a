// Standard two-dimensional cases with a property the scheme must keep
// exactly: the mirror symmetry of a radial dam break, the volume a
// hydrograph brings in, water at rest between walls and islands.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>

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

}  // namespace
}  // namespace qf
