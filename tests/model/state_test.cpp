// Result-item labels, allocation of the grid fields, the wetted-area factor,
// point location, the array helpers and the initialisation.
#include "model/state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "io/channels.h"
#include "io/messages.h"
#include "io/stop.h"
#include "model/init.h"

namespace qf {
namespace {

// A padded grid of nx x ny real cells without any file input.
void make_grid(Model& m, int nx, int ny, float dx, float dy) {
  m.coin1.nx = nx;
  m.coin1.ny = ny;
  m.coin1.nxx = nx + 2;
  m.coin1.nyy = ny + 2;
  m.coin1.nn = m.coin1.nxx * m.coin1.nyy;
  m.coin.dx = dx;
  m.coin.dy = dy;
  for (int i = 1; i <= m.coin1.nxx; ++i) m.coin1.xc[i] = (i - 2) * dx;
  for (int j = 1; j <= m.coin1.nyy; ++j) m.coin1.yc[j] = (j - 2) * dy;
  alloc_flow(m, m.coin1.nn);
}

std::string stop_text(const std::function<void()>& f) {
  try {
    f();
  } catch (const Stop& s) {
    return s.what();
  }
  return "no stop";
}

TEST(ItemLabels, KeyLetterTitleAndPadding) {
  EXPECT_EQ(item_label(1), " DFlow Depth [m]                ");
  EXPECT_EQ(item_label(2), " WWater Level [m]               ");
  EXPECT_EQ(item_label(7), "  Bed Shear Stress [N/m2]       ");
  EXPECT_EQ(item_label(10), " NMannings n [SI]               ");
  EXPECT_EQ(item_label(21), " XX-Velocity [m/s]              ");
  EXPECT_EQ(item_label(22), " YY-Velocity [m/s]              ");
  EXPECT_EQ(item_label(23), std::string(32, ' '));
  EXPECT_EQ(time_label(), "Time[h]                         ");
  for (int code = 1; code <= 22; ++code) {
    EXPECT_EQ(item_known(code), code <= 18 || code >= 21) << code;
    EXPECT_EQ(item_label(code).size(), 32u);
  }
  EXPECT_FALSE(item_known(0));
  EXPECT_FALSE(item_known(23));
}

TEST(AllocFlow, ZeroKeepsFieldsAndSecondAllocationIsFresh) {
  Model m;
  alloc_flow(m, 12);
  ASSERT_TRUE(m.f.allocated);
  EXPECT_EQ(m.f.ldry.size(), 12u);
  EXPECT_EQ(m.f.tind.size(), 12u);
  m.f.h[3] = 2.5f;
  alloc_flow(m, 0);
  EXPECT_EQ(m.f.h.size(), 12u);
  EXPECT_EQ(m.f.h[3], 2.5f);
  alloc_flow(m, 20);
  ASSERT_EQ(m.f.h.size(), 20u);
  for (float v : m.f.h) EXPECT_EQ(v, 0.0f);
  EXPECT_EQ(m.f.qb.size(), 20u);
}

TEST(AllocFlow, ImpossibleSizeAndBrokenFieldsStop) {
  Model m;
  EXPECT_EQ(stop_text([&] { alloc_flow(m, -5); }), "*** Trouble allocating flow values(1)***");
  alloc_flow(m, 4);
  m.f.zbr.clear();
  EXPECT_EQ(stop_text([&] { dealloc_flow(m); }), "*** Trouble deallocating flow values(1)***");
  alloc_flow(m, 0);  // nothing happens: the broken field is still there
  Model m2;
  alloc_flow(m2, 4);
  m2.f.src.clear();
  EXPECT_EQ(stop_text([&] { alloc_flow(m2, 8); }), "*** Trouble deallocating flow values(2)***");
  Model m3;
  alloc_flow(m3, 4);
  m3.f.ldry.clear();
  EXPECT_EQ(stop_text([&] { dealloc_flow(m3); }), "*** Trouble deallocating flow values(3)***");
  Model m4;
  dealloc_flow(m4);  // never allocated: nothing to do
  EXPECT_FALSE(m4.f.allocated);
}

TEST(Area, WallsUpToTheWaterLevel) {
  Model m;
  make_grid(m, 3, 3, 10.0f, 5.0f);
  const int k = m.node(3, 3) + 1;  // centre cell
  const int nxx = m.coin1.nxx;
  for (float& z : m.f.zb) z = 5.0f;
  m.f.zb[k - 1] = 1.0f;
  m.f.h[k - 1] = 0.5f;
  // All neighbours above the water level: 1 + (dy*2h + dx*2h)/(dx*dy).
  EXPECT_FLOAT_EQ(area(m, k), 1.0f + (5.0f * 1.0f + 10.0f * 1.0f) / 50.0f);
  // Neighbours below the bed: exactly 1.
  for (float& z : m.f.zb) z = 0.0f;
  m.f.zb[k - 1] = 1.0f;
  EXPECT_EQ(area(m, k), 1.0f);
  // West wall 0.2 high, north wall above the water: 1 + (5*0.2 + 10*0.5)/50.
  m.f.zb[k - 2] = 1.2f;
  m.f.zb[k + nxx - 1] = 9.0f;
  EXPECT_FLOAT_EQ(area(m, k), 1.0f + (5.0f * 0.2f + 10.0f * 0.5f) / 50.0f);
  // First and last node: neighbours are clamped to the field.
  m.f.zb[0] = 0.0f;
  m.f.h[0] = 1.0f;
  m.f.zb[1] = 3.0f;
  EXPECT_FLOAT_EQ(area(m, 1), 1.0f + 5.0f * 1.0f / 50.0f);
  EXPECT_EQ(area(m, m.coin1.nn), 1.0f);
}

TEST(Getpos, CellsFacesAndOutside) {
  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io(kb, scr, err);
  Messages msg(io);
  std::stringstream listing;
  Model m;
  make_grid(m, 4, 3, 10.0f, 20.0f);
  const int nxx = m.coin1.nxx;
  int i = -1, j = -1, k = -1;
  getpos(m, 0.0f, 0.0f, i, j, k, &msg, ch::screen);
  EXPECT_EQ(i, 1);
  EXPECT_EQ(j, 1);
  EXPECT_EQ(k, nxx + 2);
  getpos(m, 5.0f, 10.0f, i, j, k, &msg, ch::screen);  // on the east and north faces
  EXPECT_EQ(k, nxx + 2);
  getpos(m, 5.01f, 10.01f, i, j, k, &msg, ch::screen);
  EXPECT_EQ(i, 2);
  EXPECT_EQ(j, 2);
  EXPECT_EQ(k, 3 + 2 * nxx);
  getpos(m, -5.0f, -10.0f, i, j, k, &msg, ch::screen);  // west and south face of the first cell
  EXPECT_EQ(k, nxx + 2);
  getpos(m, 35.0f, 50.0f, i, j, k, &msg, ch::screen);  // last real cell, on its outer faces
  EXPECT_EQ(i, 4);
  EXPECT_EQ(j, 3);
  EXPECT_EQ(k, 5 + 3 * nxx);
  EXPECT_EQ(msg.warnings(), 0);
  getpos(m, -5.01f, 0.0f, i, j, k, &msg, ch::screen);
  EXPECT_EQ(i, 0);
  EXPECT_EQ(k, 0);
  getpos(m, 35.01f, 0.0f, i, j, k, &msg, ch::screen);
  EXPECT_EQ(i, 0);
  EXPECT_EQ(k, 0);
  getpos(m, 0.0f, 50.01f, i, j, k, nullptr, 0);
  EXPECT_EQ(i, 1);
  EXPECT_EQ(j, 0);
  EXPECT_EQ(k, 0);
  EXPECT_EQ(msg.warnings(), 2);
  EXPECT_EQ(scr.str(), "\n" + std::string(47, '*') + "\n**warning: position out of model domain\n" +
                           std::string(47, '*') + "\n\n\n" + std::string(47, '*') +
                           "\n**warning: position out of model domain\n" + std::string(47, '*') +
                           "\n\n");
  Model empty;
  getpos(empty, 0.0f, 0.0f, i, j, k, nullptr, 0);
  EXPECT_EQ(k, 0);
}

TEST(ArrayHelpers, MoveAndSet) {
  float a[5] = {1, 2, 3, 4, 5};
  float b[5] = {0, 0, 0, 0, 0};
  mmove(a, b, 3);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[2], 3);
  EXPECT_EQ(b[3], 0);
  mmove(a, b + 3, 0);
  mmove(a, b + 3, -2);
  EXPECT_EQ(b[3], 0);
  mmset(b, 2, 7.5f);
  EXPECT_EQ(b[0], 7.5f);
  EXPECT_EQ(b[1], 7.5f);
  EXPECT_EQ(b[2], 3);
  mmset(b, -1, 9.0f);
  EXPECT_EQ(b[0], 7.5f);
}

class InitTest : public ::testing::Test {
 protected:
  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io{kb, scr, err};
  Messages msg{io};
  Model m;
};

TEST_F(InitTest, DryFlagsAreaFactorsAndTurbulence) {
  make_grid(m, 3, 3, 10.0f, 5.0f);
  m.coin1.ch_listing = ch::screen;
  m.coin.hdry = 0.02f;
  for (float& z : m.f.zb) z = 10.0f;
  const std::size_t wet = m.node(3, 3);
  m.f.zb[wet] = 0.0f;
  m.f.h[wet] = 0.5f;
  m.f.q[wet] = 0.3f;
  const std::size_t at_hdry = m.node(2, 2);
  m.f.h[at_hdry] = 0.02f;
  m.f.q[at_hdry] = 1.0f;
  m.f.r[at_hdry] = 1.0f;
  const std::size_t nan = m.node(4, 4);
  m.f.h[nan] = std::numeric_limits<float>::quiet_NaN();
  const std::size_t negative = m.node(2, 4);
  m.f.h[negative] = -0.1f;
  int flag = -1;
  incon(m, io, msg, flag);
  EXPECT_EQ(flag, -1);
  init(m, io, msg);
  EXPECT_EQ(m.coin.cell_area, 50.0f);
  EXPECT_EQ(m.f.ldry[wet], 0);
  EXPECT_FLOAT_EQ(m.f.af[wet], 1.0f + 2.0f * 0.5f * (10.0f + 5.0f) / 50.0f);
  EXPECT_EQ(m.f.q[wet], 0.3f);
  EXPECT_EQ(m.f.ldry[at_hdry], 1);
  EXPECT_EQ(m.f.h[at_hdry], 0.02f);
  EXPECT_EQ(m.f.q[at_hdry], 0.0f);
  EXPECT_EQ(m.f.r[at_hdry], 0.0f);
  EXPECT_EQ(m.f.af[at_hdry], 1.0f);
  EXPECT_EQ(m.f.ldry[nan], 1);
  EXPECT_EQ(m.f.h[nan], 0.0f);
  EXPECT_EQ(m.f.h[negative], 0.0f);
  EXPECT_FALSE(m.clog.turbulence);
  EXPECT_EQ(scr.str(), "");

  m.coin.viscosity = 1.0e-3f;
  init(m, io, msg);
  EXPECT_TRUE(m.clog.turbulence);
  EXPECT_EQ(scr.str(), ">turbulent flow\n");
}

TEST_F(InitTest, ZeroCellAreaIsFatalAndTransportNeedsInitialCondition) {
  m.coin1.ch_listing = ch::screen;
  EXPECT_THROW(init(m, io, msg), Stop);
  EXPECT_NE(scr.str().find("**fatal error: cell area .eq. 0\n"), std::string::npos);

  Model t;
  t.coin1.ch_listing = ch::screen;
  make_grid(t, 2, 2, 1.0f, 1.0f);
  t.clog.transport = true;
  init(t, io, msg);
  EXPECT_EQ(msg.errors(), 1);
  t.cochar.initial_file = "old";
  int calls = 0;
  init(t, io, msg, [&](Model&) { ++calls; });
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(msg.errors(), 1);
}

}  // namespace
}  // namespace qf
