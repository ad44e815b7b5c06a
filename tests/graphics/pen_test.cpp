// The pen: clipping and the polyline buffer of the window mode (followed in
// the buffer itself), device coordinates, dashes, 3-D projection, captions.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "graphics/graphics.h"
#include "tests/graphics/gr_test_util.h"

namespace qf {
namespace {

// Window mode without a display: device x = 10 x + 100, y = 500 - 10 y,
// clip rectangle 0..10 x 0..10.
void screen(Graphics& g) {
  grmcol(g);
  Grcomn& n = g.n;
  n.IMODGR = kModeScreen;
  n.XMINGR = n.YMINGR = 0;
  n.XMAXGR = n.YMAXGR = 10;
  n.XFACGR = 10;
  n.YFACGR = -10;
  n.XORGGR = 100;
  n.YORGGR = 500;
  n.XMNCGR = n.YMNCGR = 0;
  n.XMXCGR = n.YMXCGR = 10;
  n.WNDWGR[3] = 600;
}

std::vector<std::pair<int, int>> buffer(const Graphics& g) {
  std::vector<std::pair<int, int>> v;
  for (int i = 0; i < g.n.NPOLGR; ++i) v.emplace_back(g.n.POLXGR[i], g.n.POLYGR[i]);
  return v;
}

using P = std::vector<std::pair<int, int>>;

TEST(GrPen, ClippingAgainstTheRectangle) {
  Graphics g;
  screen(g);
  grmov2(g, 5, 5);
  EXPECT_EQ(g.n.PVISGR, 1);
  EXPECT_EQ(buffer(g), (P{{150, 450}}));
  // Inside to outside ends exactly on the border.
  grdrw2(g, 15, 5);
  EXPECT_EQ(buffer(g), (P{{150, 450}, {200, 450}}));
  EXPECT_EQ(g.n.PVISGR, 0);
  EXPECT_FLOAT_EQ(g.n.XPENGR, 15);
  // Re-entering starts a new polyline at the entry point (10, 6.5).
  grdrw2(g, 5, 8);
  EXPECT_EQ(buffer(g), (P{{200, 435}, {150, 420}}));
  EXPECT_EQ(g.n.PVISGR, 1);
  // Outside to outside across the upper left corner: from (0, 9) to (1, 10).
  grmov2(g, -2, 7);
  EXPECT_EQ(g.n.PVISGR, 0);
  grdrw2(g, 4, 13);
  EXPECT_EQ(buffer(g), (P{{100, 410}, {110, 400}}));
  // Outside to outside with the bounding box off the rectangle: nothing.
  grdrw2(g, 20, 30);
  EXPECT_EQ(buffer(g), (P{{100, 410}, {110, 400}}));
  // Bounding boxes overlap but the line passes the corner: nothing.
  grmov2(g, -2, 9);
  grdrw2(g, 2, 13);
  EXPECT_EQ(buffer(g), (P{{100, 410}, {110, 400}}));
  // Crossing the whole rectangle from left to right.
  grmov2(g, -5, 2);
  grdrw2(g, 15, 4);
  EXPECT_EQ(buffer(g), (P{{100, 475}, {200, 465}}));
  // Vertically through it.
  grmov2(g, 3, -5);
  grdrw2(g, 3, 20);
  EXPECT_EQ(buffer(g), (P{{130, 500}, {130, 400}}));
}

TEST(GrPen, PolylineBufferOfHundredPoints) {
  Graphics g;
  screen(g);
  g.n.XFACGR = 1;
  g.n.XMXCGR = 1000;
  g.n.YMNCGR = -1;
  grmov2(g, 0, 0);
  for (int i = 1; i <= 99; ++i) grdrw2(g, static_cast<float>(i), 0);
  EXPECT_EQ(g.n.NPOLGR, 100);
  EXPECT_EQ(g.n.POLXGR[99], 199);
  // The 101st point: the 100 are drawn and the next polyline starts with
  // the last of them.
  grdrw2(g, 100, 0);
  EXPECT_EQ(buffer(g), (P{{199, 500}, {200, 500}}));
  for (int i = 101; i <= 250; ++i) grdrw2(g, static_cast<float>(i), 0);
  // 251 points: polylines 100..199, 199..298 and 298..350.
  EXPECT_EQ(g.n.NPOLGR, 53);
  EXPECT_EQ(g.n.POLXGR[0], 298);
  EXPECT_EQ(g.n.POLXGR[52], 350);
  // Points that map to the same pixel are one point.
  grdrw2(g, 250.4f, -0.04f);
  EXPECT_EQ(g.n.NPOLGR, 53);
  grmov2(g, 250.2f, 0);  // a move to the same pixel keeps the polyline
  EXPECT_EQ(g.n.NPOLGR, 53);
  grmov2(g, 260, 0);
  EXPECT_EQ(buffer(g), (P{{360, 500}}));
  grdump(g);
  EXPECT_EQ(g.n.NPOLGR, 1);
  // Flushing keeps the last point as the start of the next polyline.
  grdrw2(g, 270, 0);
  grdump(g);
  EXPECT_EQ(buffer(g), (P{{370, 500}}));
}

TEST(GrPen, DeviceCoordinates) {
  Graphics g;
  screen(g);
  grclip(g, 0);
  EXPECT_FLOAT_EQ(g.n.XMINGR, 0);
  EXPECT_FLOAT_EQ(g.n.XFACGR, 1);
  EXPECT_FLOAT_EQ(g.n.YFACGR, -1);
  EXPECT_FLOAT_EQ(g.n.XORGGR, 40);
  EXPECT_FLOAT_EQ(g.n.YORGGR, 565);
  EXPECT_FLOAT_EQ(g.n.XMNCGR, -9999999);
  EXPECT_FLOAT_EQ(g.n.YMXCGR, 9999999);
  grclip(g, 0);  // already in device coordinates
  g.n.XORGGR = 1;
  grclip(g, 1);
  EXPECT_FLOAT_EQ(g.n.XFACGR, 10);
  EXPECT_FLOAT_EQ(g.n.YFACGR, -10);
  EXPECT_FLOAT_EQ(g.n.XORGGR, 100);
  EXPECT_FLOAT_EQ(g.n.YORGGR, 500);
  EXPECT_FLOAT_EQ(g.n.XMNCGR, 0);
  EXPECT_FLOAT_EQ(g.n.YMXCGR, 10);
  g.n.XORGGR = 3;
  grclip(g, 1);  // restores only once
  EXPECT_FLOAT_EQ(g.n.XORGGR, 3);
  g.n.XORGGR = 100;
  g.n.SMALGR = 1;
  grclip(g, 0);
  EXPECT_FLOAT_EQ(g.n.XORGGR, 10);
  EXPECT_FLOAT_EQ(g.n.YORGGR, 105);
  grclip(g, 1);
}

TEST(GrPen, ProjectionAndThreeD) {
  Graphics g;
  screen(g);
  float(&t)[4][4] = g.n.TRANGR;
  // A rotation of x into y, a shift and a vertical exaggeration of 2.
  t[0][0] = 0;
  t[0][1] = 1;
  t[1][0] = -1;
  t[1][1] = 0;
  t[3][0] = 5;
  t[3][1] = 1;
  t[2][1] = 0.5f;
  t[3][3] = 2;
  float a, b, c;
  grtran(g, 2, 3, 4, a, b, c);
  EXPECT_FLOAT_EQ(a, -3 + 5);
  EXPECT_FLOAT_EQ(b, 2 + 0.5f * 8 + 1);
  EXPECT_FLOAT_EQ(c, 8);
  g.n.ON3DGR = 1;
  grmov3(g, 2, 3, 0);  // projected to (2, 3)
  EXPECT_FLOAT_EQ(g.n.XPENGR, 2);
  EXPECT_FLOAT_EQ(g.n.YPENGR, 3);
  g.n.ON3DGR = 0;
  grdrw3(g, 4, 5, 100);
  EXPECT_FLOAT_EQ(g.n.XPENGR, 4);
  EXPECT_FLOAT_EQ(g.n.YPENGR, 5);
  // DXF and shapefile modes keep the point as it is and carry z.
  g.n.IMODGR = kModeDxf;
  g.n.ON3DGR = 1;
  grmov3(g, 7, 8, 9);
  EXPECT_FLOAT_EQ(g.n.XPENGR, 7);
  EXPECT_FLOAT_EQ(g.n.ZPENGR, 9);
}

TEST(GrPen, DashStyles) {
  Graphics g;
  screen(g);
  g.n.IMODGR = kModeKeep;
  ASSERT_TRUE(g.files.open(g.n.JDV3GR, "/dev/null", "w"));
  grdash(g, 101);
  EXPECT_EQ(g.pen.last_dash, 1);
  grdash(g, 1);
  grdash(g, 100);
  EXPECT_EQ(g.pen.last_dash, 1);
  grdash(g, 3);
  EXPECT_EQ(g.pen.last_dash, 3);
  g.files.close_all();
}

TEST(GrPen, Captions) {
  std::string c = grfix("Flow Depth [m]", 40);
  grtrans(2, c);
  EXPECT_EQ(c, grfix("Fliesstiefe [m]", 40));
  c = grfix("[m]", 40);
  grtrans(2, c);
  EXPECT_EQ(c, grfix("[m]", 40));
  c = grfix("Velocity", 40);
  grtrans(2, c);
  EXPECT_EQ(c, grfix("Fliessgeschwindigkeit", 40));
  c = grfix("Pressurized Flow [m3/s]", 40);
  grtrans(2, c);
  EXPECT_EQ(c, grfix("Druckabfluss [m3/s]", 40));
  c = grfix("Flow Depths [m]", 40);  // no entry: kept
  grtrans(2, c);
  EXPECT_EQ(c, grfix("Flow Depths [m]", 40));
  c = grfix("Flow Depth   [m]", 40);
  grtrans(1, c);  // English: unchanged
  EXPECT_EQ(c, grfix("Flow Depth   [m]", 40));
  grtrans(3, c);  // other languages: only the blanks between title and unit
  EXPECT_EQ(c, grfix("Flow Depth [m]", 40));
}

}  // namespace
}  // namespace qf
