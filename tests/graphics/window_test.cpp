// The window output under a virtual X server: lines, fills, symbols and
// text read back pixel by pixel.
#include <gtest/gtest.h>

#include <memory>

#include "graphics/graphics.h"
#include "tests/graphics/gr_test_util.h"

// Xlib last: its macros clash with names of the test framework.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef None
#undef Bool
#undef Status

namespace qf {
namespace {

class GrWindow : public grtest::ScratchDir {
 protected:
  static void SetUpTestSuite() { x_ = new grtest::VirtualX(); }
  static void TearDownTestSuite() {
    delete x_;
    x_ = nullptr;
  }
  void SetUp() override {
    grtest::ScratchDir::SetUp();
    if (!x_ || !x_->ok()) GTEST_SKIP() << "no virtual X server";
    g_ = std::make_unique<Graphics>();
    Graphics& g = *g_;
    grinit(g, 5, 9, "qftest", "", 0);
    ASSERT_EQ(g.n.IMODGR, kModeScreen);
    // User window 0..100 x 0..75 on the 24 x 18 intervals: 9.438 pixels
    // per unit, (0, 0) at pixel (55, 751).
    Grcomn& n = g.n;
    n.XMINGR = n.YMINGR = 0;
    n.XMAXGR = 100;
    n.YMAXGR = 75;
    n.XMNCGR = n.YMNCGR = 0;
    n.XMXCGR = 100;
    n.YMXCGR = 75;
    grsfac(g);
    grcler(g, 1);  // draw into the back buffer
  }
  void TearDown() override {
    g_.reset();
    grtest::ScratchDir::TearDown();
  }
  // Pixel of the drawable (the back buffer while a frame is drawn).
  unsigned long pixel(int x, int y, bool window = false) {
    Graphics& g = *g_;
    XImage* im =
        XGetImage(g.x.display, window ? g.x.window : g.x.pixmap, x, y, 1, 1, AllPlanes, ZPixmap);
    EXPECT_NE(im, nullptr);
    if (!im) return 0xDEAD;
    const unsigned long p = XGetPixel(im, 0, 0);
    XDestroyImage(im);
    return p;
  }
  unsigned long pix(int entry) { return static_cast<unsigned>(g_->n.PIXTAB[entry]); }
  int dx(float x) { return static_cast<int>((x - g_->n.XMINGR) * g_->n.XFACGR + g_->n.XORGGR); }
  int dy(float y) { return static_cast<int>((y - g_->n.YMINGR) * g_->n.YFACGR + g_->n.YORGGR); }
  // Number of pixels in a box that are not the background.
  int inked(int x0, int y0, int w, int h) {
    Graphics& g = *g_;
    grdump(g);
    XImage* im = XGetImage(g.x.display, g.x.pixmap, x0, y0, static_cast<unsigned>(w),
                           static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!im) return -1;
    int c = 0;
    for (int j = 0; j < h; ++j)
      for (int i = 0; i < w; ++i)
        if (XGetPixel(im, i, j) != g.x.bgcolor) ++c;
    XDestroyImage(im);
    return c;
  }
  static grtest::VirtualX* x_;
  std::unique_ptr<Graphics> g_;
};

grtest::VirtualX* GrWindow::x_ = nullptr;

TEST_F(GrWindow, ColoursAreAllocatedFromTheTable) {
  Graphics& g = *g_;
  // A true-colour screen gives the 0xRRGGBB values back as pixels.
  EXPECT_EQ(pix(0), 0xFFFFFFu);
  EXPECT_EQ(pix(20), 0x000000u);
  EXPECT_EQ(pix(101), 0x66B2FFu);
  EXPECT_EQ(g.x.bgcolor, 0xFFFFFFu);
}

TEST_F(GrWindow, FillsHaveTheColourOfTheirEntry) {
  Graphics& g = *g_;
  const float x[4] = {10, 20, 20, 10}, y[4] = {10, 10, 20, 20};
  grfil2(g, x, y, 4, 3);  // rainbow shade 5: entry 103
  EXPECT_EQ(pixel(dx(15), dy(15)), pix(103));
  g.n.CMODGR = 3;  // one hue in shades: colour 3 is entry 5 + 60
  const float x2[4] = {30, 40, 40, 30};
  grfil2(g, x2, y, 4, 3);
  EXPECT_EQ(pixel(dx(35), dy(15)), pix(65));
  g.n.CMODGR = 1;  // grey
  const float x3[4] = {50, 60, 60, 50};
  grfil2(g, x3, y, 4, 7);
  EXPECT_EQ(pixel(dx(55), dy(15)), pix(7));
  g.n.CMODGR = 2;
  const float x4[3] = {70, 90, 80}, y4[3] = {10, 10, 30};
  grfil2(g, x4, y4, 3, -5);  // special colour -5: entry 73
  EXPECT_EQ(pixel(dx(80), dy(15)), pix(73));
  EXPECT_EQ(pixel(dx(71), dy(28)), g.x.bgcolor);  // outside the triangle
  // Mode 4 leaves colours above 4 out.
  g.n.CMODGR = 4;
  const float y5[4] = {40, 40, 50, 50};
  grfil2(g, x, y5, 4, 5);
  EXPECT_EQ(pixel(dx(15), dy(45)), g.x.bgcolor);
  grfil2(g, x, y5, 4, 4);
  EXPECT_EQ(pixel(dx(15), dy(45)), pix(4));
}

TEST_F(GrWindow, FillsStopAtTheClipRectangle) {
  Graphics& g = *g_;
  g.n.XMXCGR = 50;
  const float x[4] = {40, 60, 60, 40}, y[4] = {10, 10, 30, 30};
  grfil2(g, x, y, 4, 2);
  EXPECT_EQ(pixel(dx(45), dy(20)), pix(102));
  EXPECT_EQ(pixel(dx(50) - 1, dy(20)), pix(102));
  EXPECT_EQ(pixel(dx(50) + 2, dy(20)), g.x.bgcolor);
  EXPECT_EQ(pixel(dx(55), dy(20)), g.x.bgcolor);
  // A polygon of 2500 points uses its first 2000 on the screen: a square
  // whose last 500 points run around a second square far away.
  std::vector<float> px, py;
  for (int i = 0; i < 2000; ++i) {  // square 10..20 x 40..50, 500 points a side
    const float t = static_cast<float>(i % 500) / 50.0f;
    const int side = i / 500;
    px.push_back(side == 0 ? 10 + t : side == 1 ? 20 : side == 2 ? 20 - t : 10);
    py.push_back(side == 0 ? 40 : side == 1 ? 40 + t : side == 2 ? 50 : 50 - t);
  }
  for (int i = 0; i < 500; ++i) {
    px.push_back(30 + static_cast<float>(i % 2) * 5);
    py.push_back(40 + static_cast<float>(i) * 0.02f);
  }
  grfil2(g, px.data(), py.data(), 2500, 6);
  EXPECT_EQ(pixel(dx(15), dy(45)), pix(106));
  EXPECT_EQ(pixel(dx(25), dy(45)), g.x.bgcolor);
  EXPECT_EQ(pixel(dx(32), dy(45)), g.x.bgcolor);
}

TEST_F(GrWindow, LinesStopAtTheClipRectangle) {
  Graphics& g = *g_;
  g.n.XMXCGR = 50;
  g.n.YMXCGR = 40;
  grcolr(g, 0);
  grmov2(g, 10, 20);
  grdrw2(g, 90, 20);  // leaves at x = 50
  grmov2(g, 30, 60);
  grdrw2(g, 30, 0);  // enters at y = 40
  grdump(g);
  const int y = dy(20);
  EXPECT_EQ(pixel(dx(10), y), pix(20));
  EXPECT_EQ(pixel(dx(30), y), pix(20));
  EXPECT_EQ(pixel(dx(50), y), pix(20));
  EXPECT_EQ(pixel(dx(50) + 2, y), g.x.bgcolor);
  EXPECT_EQ(pixel(dx(70), y), g.x.bgcolor);
  EXPECT_EQ(pixel(dx(30), dy(10)), pix(20));
  EXPECT_EQ(pixel(dx(30), dy(40)), pix(20));
  EXPECT_EQ(pixel(dx(30), dy(40) - 2), g.x.bgcolor);
  EXPECT_EQ(pixel(dx(30), dy(55)), g.x.bgcolor);
  // 250 connected segments in polylines of 100 points: no gap.
  grcolr(g, 8);
  grmov2(g, 0, 2);
  for (int i = 1; i <= 250; ++i) grdrw2(g, static_cast<float>(i) * 0.2f, 2);
  grdump(g);
  for (int x = dx(0); x <= dx(50); ++x) ASSERT_EQ(pixel(x, dy(2)), pix(108)) << x;
}

TEST_F(GrWindow, SymbolsAndText) {
  Graphics& g = *g_;
  g.n.SYMFGR = 1;
  // Symbol 14 is a vertical bar of 8 pixels, symbol 5 a diagonal cross.
  grmov2(g, 20, 20);
  grsymb(g, 314);
  const int x = dx(20), y = dy(20);
  for (int j = -4; j <= 4; ++j) EXPECT_EQ(pixel(x, y + j), pix(103)) << j;
  EXPECT_EQ(pixel(x + 2, y), g.x.bgcolor);
  grmov2(g, 40, 20);
  grsymb(g, 5);
  const int x5 = dx(40);
  for (int j = -4; j <= 4; ++j) {
    EXPECT_EQ(pixel(x5 + j, y + j), pix(20)) << j;
    EXPECT_EQ(pixel(x5 + j, y - j), pix(20)) << j;
  }
  EXPECT_EQ(pixel(x5, y - 3), g.x.bgcolor);
  // Symbol 0 and a pen outside the clip rectangle draw nothing.
  grmov2(g, 60, 20);
  grsymb(g, 300);
  grmov2(g, 120, 20);
  grsymb(g, 2);
  EXPECT_EQ(inked(dx(60) - 6, y - 6, 13, 13), 0);
  // Every symbol leaves ink at its place, at double size as well.
  for (int k = 1; k <= 15; ++k) {
    g.n.SYMFGR = k % 2 ? 1.0f : 2.0f;
    grmov2(g, 5.0f * static_cast<float>(k), 60);
    grsymb(g, k);
    EXPECT_GT(inked(dx(5.0f * static_cast<float>(k)) - 9, dy(60) - 9, 19, 19), 4) << k;
  }
  // Text: the baseline starts at the pen; a centred text 3 pixels per
  // character to the left.
  grcolr(g, 0);
  grmov2(g, 50, 40);
  granot(g, "Hello   ", 0);
  EXPECT_GT(inked(dx(50), dy(40) - 10, 30, 10), 10);
  EXPECT_EQ(inked(dx(50) - 12, dy(40) - 10, 12, 10), 0);
  grmov2(g, 50, 30);
  granot(g, "~~  HHHH", 0);
  EXPECT_GT(inked(dx(50) - 12, dy(30) - 10, 12, 10), 10);
  EXPECT_EQ(inked(dx(50) + 13, dy(30) - 10, 12, 10), 0);
  grmov2(g, 150, 30);  // outside: nothing
  granot(g, "Hello", 0);
  EXPECT_EQ(inked(dx(100) + 1, dy(30) - 10, 100, 12), 0);
}

TEST_F(GrWindow, FrameShowsTheBackBuffer) {
  Graphics& g = *g_;
  const float x[4] = {10, 20, 20, 10}, y[4] = {10, 10, 20, 20};
  grect(g, 10, 10, 10, 10, 9, 0);
  EXPECT_NE(pixel(dx(15), dy(15), true), pix(109));
  grflip(g);
  XSync(g.x.display, 0);
  EXPECT_EQ(pixel(dx(15), dy(15), true), pix(109));
  // After the flip drawing goes straight to the window.
  grfil2(g, x, y, 4, 11);
  XSync(g.x.display, 0);
  EXPECT_EQ(pixel(dx(15), dy(15), true), pix(111));
}

TEST_F(GrWindow, FileOutputsLeaveTheWindowOpen) {
  Graphics& g = *g_;
  grtest::answer(g, {"side"});
  int r = kModeDxf;
  grmode(g, r);
  EXPECT_EQ(g.n.IMODGR, kModeDxf);
  const float x[4] = {10, 20, 20, 10}, y[4] = {10, 10, 20, 20};
  grfil2(g, x, y, 4, 3);  // into the file only
  grclos(g);
  EXPECT_EQ(g.n.IMODGR, kModeScreen);
  EXPECT_TRUE(grxisopn(g.x));
  EXPECT_EQ(pixel(dx(15), dy(15)), g.x.bgcolor);
  grfil2(g, x, y, 4, 3);
  EXPECT_EQ(pixel(dx(15), dy(15)), pix(103));
  // Another window mode while in one: stays, colour 0 and solid lines.
  grcolr(g, 5);
  r = 3;
  grmode(g, r);
  EXPECT_EQ(g.n.IMODGR, kModeScreen);
  EXPECT_EQ(g.pen.last_colour, 0);
  EXPECT_EQ(g.pen.last_dash, 1);
  // Finishing the window closes the display.
  grclos(g);
  EXPECT_EQ(g.n.IMODGR, 0);
  EXPECT_FALSE(grxisopn(g.x));
}

TEST_F(GrWindow, ProgressBar) {
  Graphics& g = *g_;
  g.n.YBEAMGR = 300;
  grbeam(g, -1, 10, "");
  grbeam(g, 5, 10, "run");  // 50 %: 15 boxes
  // Device coordinates of the bar: x from 40, its top at WNDWGR(4) - 35 - 300.
  const int bx = 40, by = g.n.WNDWGR[3] - 35 - 300;
  // Boxes inside the frame from the left: pixel of box 1 and beyond box 15.
  EXPECT_EQ(pixel(bx + 3, by + 7), pix(105));
  EXPECT_EQ(pixel(bx + 98, by + 7), pix(105));
  EXPECT_NE(pixel(bx + 104, by + 7), pix(105));
  EXPECT_FLOAT_EQ(g.n.XFACGR, 50 * 24 * 0.7865f / 100);  // user coordinates again
}

}  // namespace
}  // namespace qf
