// Nice scales, the window derived from the data, number labels, contour
// labels, the key forms, and the frame, tics and numbers read back from the
// window.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "graphics/graphics.h"
#include "io/textio.h"
#include "tests/graphics/gr_test_util.h"

// Xlib last: its macros clash with names of the test framework.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef None
#undef Bool
#undef Status

namespace qf {
namespace {

using grtest::answer;

class GrAxes : public grtest::ScratchDir {};

TEST_F(GrAxes, NiceScales) {
  Graphics g;
  struct Case {
    float lo, hi;
    int n;
    float start, step;
  } cases[] = {
      {0.2f, 3.7f, 24, 0.2f, 0.2f},
      {0, 100, 10, 0, 10},
      {-3.7f, -0.2f, 24, -3.8f, 0.2f},
      {5, 5, 10, 5, 0.5f},
      {0, 7, 7, 0, 1},
      {1, 9.5f, 4, 0, 4},
      {-250, 1130, 6, -400, 400},
      {0, 1000, 20, 0, 50},
      {30, 300, 15, 20, 20},
      {1e6f, 1.0012e6f, 12, 1e6f, 100},
  };
  for (const Case& c : cases) {
    float start = -1, step = -1;
    grscal(g, c.lo, c.hi, c.n, start, step);
    EXPECT_NEAR(start, c.start, 1e-5 * std::max(1.0f, std::fabs(c.start))) << c.lo << " " << c.hi;
    EXPECT_NEAR(step, c.step, 1e-6 * c.step) << c.lo << " " << c.hi;
  }
}

TEST_F(GrAxes, NumberLabels) {
  struct Case {
    double value, step;
    int width_in;
    const char* text;
    int width_out;
  } cases[] = {
      {1200, 100, 1, "1200", 4},
      {1200, 100, 0, "   1200", 4},
      {1234.5, 100, 1, "1234.5", 6},
      {0.25, 0.05, 1, "0.25", 4},
      {0.25, 0.05, 0, "   0.25", 4},
      {1234567.8, 0.1, 1, "0.123E+07         ", 9},
      {0, 0.5, 1, "0.0", 3},
      {-2.5, 0.5, 1, "-2.5", 4},
      {1500, 0, 1, "1500", 4},
      {123456789, 0, 1, "0.123E+09         ", 9},
      {0.12345, 0.00001, 1, "0.123E+00         ", 9},
      {20, 20, 0, "    20", 2},
      {0.6000001f, 0.2f, 1, "0.6", 3},
      {1e30, 1, 1, "0.100E+31         ", 9},
      {HUGE_VAL, 1, 1, " Infinity         ", 9},
  };
  for (const Case& c : cases) {
    std::string text;
    int w = c.width_in;
    grprnt(c.value, c.step, text, w);
    EXPECT_EQ(text, c.text) << c.value << " / " << c.step;
    EXPECT_EQ(w, c.width_out) << c.value << " / " << c.step;
  }
}

// The data with a margin of 2 % on each side fill the frame; with dependent
// scaling the axis with room to spare widens about the centre of the data.
TEST_F(GrAxes, WindowFromData) {
  struct Case {
    float x0, x1, y0, y1;
    int nx, ny, dep;
    float xmin, xmax, ymin, ymax;
  } cases[] = {
      // 1.3223 m per pixel from x: the 589.9 pixels of y cover 780 m.
      {0, 1000, -130, 150, 20, 15, 1, -20, 1020, -380, 400},
      {0, 1000, -130, 150, 20, 15, 0, -20, 1020, -135.6f, 155.6f},
      {1000, 0, 150, -130, 20, 15, 1, -20, 1020, -380, 400},
      // A square field in a frame of 24 x 18 intervals: y is the tight axis.
      {0, 1000, 0, 1000, 24, 18, 1, -193.33f, 1193.33f, -20, 1020},
      {0.2f, 3.7f, 0.2f, 3.7f, 24, 18, 0, 0.13f, 3.77f, 0.13f, 3.77f},
      // No extent: 0.01 wide.
      {7, 7, 7, 7, 10, 10, 0, 6.9998f, 7.0102f, 6.9998f, 7.0102f},
  };
  for (const Case& c : cases) {
    Graphics g;
    grinit(g, 5, 6, "qf", "", 0);
    Grcomn& n = g.n;
    n.NXINGR = c.nx;
    n.NYINGR = c.ny;
    n.IN02GR = c.dep;
    n.INDSGR = 1;
    graxes(g, c.x0, c.x1, c.y0, c.y1, 0);
    const float tol = 1e-5f * std::max(1.0f, std::fabs(c.xmax) + std::fabs(c.ymax)) + 0.01f;
    EXPECT_NEAR(n.XMINGR, c.xmin, tol) << c.x0;
    EXPECT_NEAR(n.XMAXGR, c.xmax, tol) << c.x0;
    EXPECT_NEAR(n.YMINGR, c.ymin, tol) << c.y0;
    EXPECT_NEAR(n.YMAXGR, c.ymax, tol) << c.y0;
    EXPECT_FLOAT_EQ(n.XMNCGR, n.XMINGR);
    EXPECT_FLOAT_EQ(n.YMXCGR, n.YMAXGR);
    EXPECT_EQ(n.INDSGR, 1);
    // The data fill at least 85 % of the frame along the tight axis.
    const float fill = std::max(std::fabs(c.x1 - c.x0) / (n.XMAXGR - n.XMINGR),
                                std::fabs(c.y1 - c.y0) / (n.YMAXGR - n.YMINGR));
    EXPECT_TRUE(c.x1 == c.x0 || fill >= 0.85f) << c.x0 << " fills " << fill;
    EXPECT_TRUE(!c.dep || std::fabs(n.XFACGR + n.YFACGR) < 1e-4f * n.XFACGR) << c.x0;
  }
}

TEST_F(GrAxes, GivenWindowAndZeroExtent) {
  Graphics g;
  grinit(g, 5, 6, "qf", "", 0);
  Grcomn& n = g.n;
  n.INDSGR = 0;
  n.IN01GR = 0;
  n.NXINGR = 24;
  n.NYINGR = 18;
  n.XMINGR = -125;
  n.XMAXGR = 115;
  n.YMAXGR = 0;
  n.YMINGR = 180;  // upside down: the clip rectangle is still ordered
  graxes(g, 0, 1000, 0, 750, 0);
  EXPECT_FLOAT_EQ(n.XMINGR, -125);
  EXPECT_DOUBLE_EQ(g.axes.xstep, 10);
  EXPECT_DOUBLE_EQ(g.axes.xfirst, -120);
  EXPECT_DOUBLE_EQ(g.axes.ystep, -10);
  EXPECT_FLOAT_EQ(n.YMNCGR, 0);
  EXPECT_FLOAT_EQ(n.YMXCGR, 180);
  EXPECT_EQ(n.INDSGR, 0);
  // A window of no x extent: the window comes from the data at once and
  // the next calls keep deriving it.
  n.XMAXGR = n.XMINGR;
  graxes(g, 0, 1000, 0, 750, 1);
  EXPECT_EQ(n.INDSGR, 1);
  EXPECT_EQ(n.IN01GR, 1);
  EXPECT_FLOAT_EQ(n.XMINGR, -20);
  EXPECT_FLOAT_EQ(n.XMAXGR, 1020);
  EXPECT_FLOAT_EQ(n.YMAXGR, 765);
  EXPECT_NEAR(g.axes.xstep, 1040.0 / 24, 1e-4);
}

TEST_F(GrAxes, KeySettingsForm) {
  Graphics g;
  grinit(g, 5, 6, "qf", "", 0);
  Grcomn& n = g.n;
  std::vector<float> lv = {0, 1, 2, 3, 4, 5};
  n.NCOLGR = 5;
  int below = 0;
  // No answer: cancelled, nothing changes.
  grkey2(g, lv, 0, below, 0);
  EXPECT_EQ(n.NCOLGR, 5);
  EXPECT_EQ(lv.size(), 6u);
  // A field that cannot be read shows the form again (here: cancelled).
  answer(g, {"1 ten", "2 100"});
  grkey2(g, lv, 0, below, 0);
  EXPECT_EQ(n.NCOLGR, 5);
  EXPECT_FLOAT_EQ(lv[0], 0);
  answer(g, {"1 10", "2 100", "3 25", "4 +", "6 +", "8 3", "9 2", "10 1.5", "12 0"});
  grkey2(g, lv, 0, below, 0);
  EXPECT_EQ(n.NCOLGR, 10);
  ASSERT_EQ(lv.size(), 11u);
  EXPECT_FLOAT_EQ(lv[0], 100);
  EXPECT_FLOAT_EQ(lv[1], 125);
  EXPECT_FLOAT_EQ(lv[10], 350);
  EXPECT_EQ(n.IN14GR, 1);
  EXPECT_EQ(n.LABLGR, 0);
  EXPECT_EQ(below, 1);
  EXPECT_EQ(n.CMODGR, 3);
  EXPECT_EQ(n.IKEYGR, 2);
  EXPECT_FLOAT_EQ(n.KEYSGR, 1.5f);
  EXPECT_EQ(n.HTSPGR, 1);  // at least 1
  // The title form.
  answer(g, {"1 New title"});
  grkey2(g, lv, -1, below, 0);
  EXPECT_EQ(g.t.TITLGR, pad("New title", 80));
  EXPECT_EQ(g.t.TIT2GR, std::string(80, ' '));
}

TEST_F(GrAxes, ContourLabelSpacing) {
  Graphics g;
  grinit(g, 5, 6, "qf", "", 0);
  Grcomn& n = g.n;
  n.XMINGR = n.YMINGR = n.XMNCGR = n.YMNCGR = 0;
  n.XMAXGR = n.YMAXGR = n.XMXCGR = n.YMXCGR = 100;
  n.NCOLGR = 4;
  answer(g, {"lab"});
  int r = kModeKeep;
  grmode(g, r);
  ASSERT_EQ(n.IMODGR, kModeKeep);
  // f = 1 + 0.1 (x - y): level 1.5 crosses two of the four triangles; its
  // neighbours are 1 apart, so labels need more than 1.2 x 4 cells.
  const float x[4] = {0, 10, 10, 0}, y[4] = {0, 0, 10, 10}, f[4] = {1, 2, 1, 0};
  const float lv[5] = {0.5f, 1.5f, 2.5f, 3.5f, 4.5f};
  auto labels = [&] {
    std::fflush(g.files.get(n.JDV3GR));
    const std::string k = grtest::slurp("lab.kep");
    int c = 0;
    for (std::size_t p = k.find("ANOT"); p != std::string::npos; p = k.find("ANOT", p + 1)) ++c;
    return std::make_pair(c, k);
  };
  grwrit(g, x, y, f, 4, lv, 4, 2, 2);
  grwrit(g, x, y, f, 4, lv, 4, 2, 2);
  EXPECT_EQ(labels().first, 0);
  EXPECT_EQ(g.axes.since_label[2], 4);
  grwrit(g, x, y, f, 4, lv, 4, 2, 2);
  const auto [count, text] = labels();
  EXPECT_EQ(count, 1);
  EXPECT_NE(text.find("ANOT\n~~1.5\n"), std::string::npos) << text;
  EXPECT_EQ(g.axes.since_label[2], -3);  // 1 - U
  EXPECT_EQ(g.axes.since_label[1], 6);   // level 0.5 is too close to its neighbours
  // A cell outside the clip rectangle is not counted.
  const float xo[4] = {200, 210, 210, 200};
  grwrit(g, xo, y, f, 4, lv, 4, 2, 2);
  EXPECT_EQ(g.axes.since_label[2], -3);
  // The frame is drawn only in the window.
  graxes(g, 0, 100, 0, 100, 1);
  EXPECT_EQ(labels().second, text);
  grclos(g);
}

// The frame read back from the window of a virtual X server.
class GrAxesWindow : public grtest::WindowTest<GrAxesWindow> {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (ready()) grcler(*g_, 1);
  }
  unsigned long pixel(int x, int y) { return region(x, y, 1, 1).at(0); }
  std::vector<unsigned long> region(int x0, int y0, int w, int h) {
    Graphics& g = *g_;
    grdump(g);
    std::vector<unsigned long> v;
    XImage* im = XGetImage(g.x.display, g.x.pixmap, x0, y0, static_cast<unsigned>(w),
                           static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!im) return {0xDEAD};
    for (int j = 0; j < h; ++j)
      for (int i = 0; i < w; ++i) v.push_back(XGetPixel(im, i, j));
    XDestroyImage(im);
    return v;
  }
  int inked(int x0, int y0, int w, int h) {
    int c = 0;
    for (unsigned long p : region(x0, y0, w, h)) c += p != g_->x.bgcolor;
    return c;
  }
  unsigned long black() { return static_cast<unsigned>(g_->n.PIXTAB[20]); }
};

TEST_F(GrAxesWindow, FrameTicsAndNumbers) {
  Graphics& g = *g_;
  Grcomn& n = g.n;
  n.INDSGR = 0;
  n.IN02GR = 1;
  n.IN03GR = 1;
  n.IKEYGR = 0;
  n.XMINGR = 0;
  n.XMAXGR = 1200;
  n.YMINGR = 0;
  n.YMAXGR = 900;
  // 0..1200 and 0..900 in steps of 50: 39.3 pixels per step, frame
  // 55..998 x 43..751.
  graxes(g, 0, 1000, 0, 750, 0);
  graxes(g, 0, 1000, 0, 750, 1);
  ASSERT_FLOAT_EQ(n.XMAXGR, 1200);
  ASSERT_FLOAT_EQ(n.YMAXGR, 900);
  const unsigned long k = black();
  struct Px {
    int x, y;
    bool ink;
  } table[] = {
      {500, 751, true},  {500, 43, true},  {55, 400, true},   {998, 400, true},   // frame
      {526, 749, true},  {526, 748, true}, {526, 746, false}, {540, 749, false},  // tic at 600
      {526, 45, true},   {526, 47, false},                                        // top tic
      {57, 711, true},   {996, 711, true}, {60, 711, false},                      // y tic at 50
      {500, 400, false},                                                          // no grid
  };
  for (const Px& p : table) EXPECT_EQ(pixel(p.x, p.y) == k, p.ink) << p.x << "," << p.y;
  // Numbers: "0" under the first x tic, "50" under the second and left of
  // the second y tic; the title above the frame; the date below.
  EXPECT_GT(inked(46, 752, 10, 13), 0);
  EXPECT_GT(inked(74, 752, 28, 13), 0);
  EXPECT_GT(inked(40, 705, 12, 12), 0);
  EXPECT_GT(inked(55, 15, 30, 13), 0);
  EXPECT_GT(inked(55, 771, 72, 13), 0);
  EXPECT_EQ(inked(130, 15, 200, 13), 0);
  // Labels of 7 characters: only every other one.
  grcler(g, 1);
  n.XORGR = 1000000;
  n.IKEYGR = 1;
  n.DTONGR = 0;
  n.IN04GR = 1;
  graxes(g, 0, 1000, 0, 750, 1);
  EXPECT_GT(inked(30, 752, 42, 13), 0);
  EXPECT_EQ(inked(74, 752, 28, 13), 0);
  EXPECT_EQ(inked(55, 15, 30, 13), 0);    // titles left to the key
  EXPECT_EQ(inked(55, 771, 72, 13), 0);   // no date line
  EXPECT_GT(inked(526, 300, 1, 400), 0);  // dashed grid line at x = 600
}

TEST_F(GrAxesWindow, Key) {
  Graphics& g = *g_;
  Grcomn& n = g.n;
  n.INDSGR = 1;
  graxes(g, 0, 1000, 0, 750, 0);
  n.NCOLGR = 3;
  n.IN07GR = 1;
  std::vector<float> lv = {10, 20, 30, 40};
  int below = 0;
  auto colour = [&](int c) { return static_cast<unsigned>(n.PIXTAB[grcent(g, c)]); };
  // Vertical: 20 x 15 boxes from (1008, 741) upward, numbers to the right.
  n.IKEYGR = 2;
  grkey2(g, lv, 1, below, 0);
  EXPECT_EQ(pixel(1018, 733), colour(1));
  EXPECT_EQ(pixel(1018, 703), colour(3));
  EXPECT_EQ(pixel(1008, 733), black());
  EXPECT_NE(pixel(1018, 690), colour(3));
  EXPECT_GT(inked(1032, 735, 14, 11), 0);
  EXPECT_GT(inked(55, 15, 30, 13), 0);  // the key writes the titles
  // Horizontal: 30 x 10 boxes ending at the right of the frame, 10 above it.
  grcler(g, 1);
  n.IKEYGR = 1;
  grkey2(g, lv, 1, below, 0);
  EXPECT_EQ(pixel(923, 28), colour(1));
  EXPECT_EQ(pixel(953, 28), colour(2));
  EXPECT_EQ(pixel(983, 28), colour(3));
  EXPECT_EQ(pixel(920, 35), g.x.bgcolor);
  EXPECT_GT(inked(900, 10, 100, 11), 0);
}

}  // namespace
}  // namespace qf
