#include "model/hydro/turbulence.h"

#include <gtest/gtest.h>

#include "hydro_fixture.h"
#include "model/hydro/hydro.h"

namespace qf {
namespace {

// 3 x 3 real cells of 2 m x 1 m, 1 m deep, velocities u(x, y), v(x, y) of
// the padded column i and row j.
void sheared(Model& m, float (*u)(int, int), float (*v)(int, int)) {
  test::make_grid(m, 3, 3, 2.0f, 1.0f);
  test::set_level(m, [](float, float) { return 1.0f; });
  test::derive(m);
  for (int j = 1; j <= 5; ++j) {
    for (int i = 1; i <= 5; ++i) {
      const int k = m.node(i, j);
      m.f.q[k] = m.f.h[k] * u(i, j);
      m.f.r[k] = m.f.h[k] * v(i, j);
      m.f.nu[k] = 0.5f;
    }
  }
}

TEST(Turbxy, UniformVelocityHasNoShear) {
  Model m;
  sheared(
      m, [](int, int) { return 0.5f; }, [](int, int) { return 0.2f; });
  const ShearFlux t = turbxy(m, 3, 3);
  EXPECT_EQ(t.east, 0.0f);
  EXPECT_EQ(t.north, 0.0f);
}

TEST(Turbxy, LinearShearFlowByHand) {
  // u = 0.1 j, v = 0.2 i: du/dy = 0.1 / dy = 0.1, dv/dx = 0.2 / dx = 0.1.
  Model m;
  sheared(
      m, [](int, int j) { return 0.1f * j; }, [](int i, int) { return 0.2f * i; });
  const int P = m.node(3, 3);
  m.f.nu[P + 1] = 0.3f;            // east: face viscosity 0.4
  m.f.nu[P + m.coin1.nxx] = 0.7f;  // north: face viscosity 0.6
  const ShearFlux t = turbxy(m, 3, 3);
  EXPECT_NEAR(t.east, 1.0 * 0.4 * (0.1 + 0.1), 1e-6);
  EXPECT_NEAR(t.north, 1.0 * 0.6 * (0.1 + 0.1), 1e-6);

  // Face depth is the geometric mean: a 4 m deep east node doubles it.
  m.f.h[P + 1] = 4.0f;
  m.f.r[P + 1] = 4.0f * 0.2f * 4;
  EXPECT_NEAR(turbxy(m, 3, 3).east, 2.0 * 0.4 * (0.1 + 0.1), 1e-6);
}

TEST(Turbxy, FaceBesideADryNodeCarriesNone) {
  Model m;
  sheared(
      m, [](int, int j) { return 0.1f * j; }, [](int i, int) { return 0.2f * i; });
  const int P = m.node(3, 3);
  m.f.ldry[P + 1] = 1;
  m.f.ldry[P + m.coin1.nxx] = 1;
  const ShearFlux t = turbxy(m, 3, 3);
  EXPECT_EQ(t.east, 0.0f);
  EXPECT_EQ(t.north, 0.0f);
  // A dry node itself has no shear on its faces either.
  m.f.ldry[P + 1] = 0;
  m.f.ldry[P + m.coin1.nxx] = 0;
  m.f.ldry[P] = 1;
  EXPECT_EQ(turbxy(m, 3, 3).east, 0.0f);
}

TEST(Tmod, ViscosityBedShearAndMixingLength) {
  Model m;
  sheared(
      m, [](int i, int j) { return i == 3 && j == 3 ? 1.0f : 0.0f; },
      [](int, int) { return 0.0f; });
  const int P = m.node(3, 3), N = P + m.coin1.nxx, S = P - m.coin1.nxx;
  m.coin.viscosity = 0.01f;

  // Off: the field is left alone.
  tmod(m);
  EXPECT_EQ(m.f.nu[P], 0.5f);

  m.clog.turbulence = true;
  tmod(m);
  for (int k = 0; k < m.coin1.nn; ++k) ASSERT_EQ(m.f.nu[k], 0.01f);

  // Bed-shear term cv u* h.
  m.coin.cv = 0.2f;
  m.f.us[P] = 0.05f;
  tmod(m);
  EXPECT_FLOAT_EQ(m.f.nu[P], 0.01f + 0.2f * 0.05f * 1.0f);
  EXPECT_EQ(m.f.nu[N], 0.01f);
  m.coin.cv = 0.0f;

  // Mixing length 0.5 m: P differs by 1 m/s from its north and south
  // neighbours (dy = 1): nu = 0.5 * 0.25 * 2.
  m.coin.mixing_length_sq = 0.25f;
  tmod(m);
  EXPECT_FLOAT_EQ(m.f.nu[P], 0.25f);
  EXPECT_FLOAT_EQ(m.f.nu[N], 0.125f);
  EXPECT_FLOAT_EQ(m.f.nu[P + 1], 0.01f);  // east: no difference in u across y, v = 0
  // A dry neighbour does not count.
  m.f.ldry[S] = 1;
  tmod(m);
  EXPECT_FLOAT_EQ(m.f.nu[P], 0.125f);
}

}  // namespace
}  // namespace qf
