// Drawing into the window and the back buffer, read back pixel by pixel.
#include <string>
#include <vector>

#include "graphics/x11/grx.h"
#include "tests/graphics/x11/xvfb.h"

namespace qf::grxtest {
namespace {

class x11Draw : public GrxTest {
 protected:
  void SetUp() override {
    GrxTest::SetUp();
    open();
    const auto px = colours({0xFF0000, 0x00FF00, 0x0000FF, 0x000000});
    red = static_cast<unsigned long>(px[0]);
    green = static_cast<unsigned long>(px[1]);
    blue = static_cast<unsigned long>(px[2]);
    black = static_cast<unsigned long>(px[3]);
    ASSERT_EQ(red, 0xFF0000u);
  }
  void pen(unsigned long p) { grxstc(s, static_cast<int>(p)); }
  Shot window() { return Shot(s, s.window, 300, 200); }

  unsigned long red = 0, green = 0, blue = 0, black = 0;
};

TEST_F(x11Draw, SegmentsAndPolylinesHitExactlyTheirPixels) {
  pen(red);
  grxlin(s, 10, 20, 50, 20);
  pen(blue);
  const int xs[3] = {100, 140, 140}, ys[3] = {30, 30, 70};
  grxlnz(s, 3, xs, ys);
  EXPECT_EQ(s.pixelsave, blue);

  const Shot w = window();
  EXPECT_EQ(w.count(red, 10, 20, 51, 21), 41);
  EXPECT_EQ(w.at(9, 20), white());
  EXPECT_EQ(w.at(51, 20), white());
  EXPECT_EQ(w.at(30, 19), white());
  EXPECT_EQ(w.at(30, 21), white());
  EXPECT_EQ(w.count(red, 0, 0, 300, 200), 41);
  // The polyline: the horizontal leg, then the vertical leg down to y = 70.
  EXPECT_EQ(w.count(blue, 100, 30, 141, 31), 41);
  EXPECT_EQ(w.count(blue, 140, 30, 141, 71), 41);
  EXPECT_EQ(w.count(blue, 0, 0, 300, 200), 81);
  EXPECT_EQ(w.at(141, 50), white());
  EXPECT_EQ(w.at(140, 71), white());
}

TEST_F(x11Draw, FilledPolygonsIncludeTheirOutline) {
  pen(green);
  const int rx[4] = {20, 60, 60, 20}, ry[4] = {20, 20, 50, 50};
  grxply(s, rx, ry, 4);
  // A non-convex "U": the notch stays empty.
  pen(blue);
  const int ux[8] = {100, 160, 160, 140, 140, 120, 120, 100};
  const int uy[8] = {20, 20, 80, 80, 40, 40, 80, 80};
  grxply(s, ux, uy, 8);
  // Two points enclose nothing, but the closed outline is still drawn.
  pen(red);
  const int lx[2] = {200, 250}, ly[2] = {150, 150};
  grxply(s, lx, ly, 2);

  const Shot w = window();
  EXPECT_EQ(w.count(green, 20, 20, 61, 51), 41 * 31);
  EXPECT_EQ(w.count(green, 0, 0, 300, 200), 41 * 31);
  EXPECT_EQ(w.at(19, 35), white());
  EXPECT_EQ(w.at(61, 35), white());
  EXPECT_EQ(w.at(40, 19), white());
  EXPECT_EQ(w.at(40, 51), white());

  EXPECT_EQ(w.at(110, 60), blue);
  EXPECT_EQ(w.at(150, 60), blue);
  EXPECT_EQ(w.at(130, 30), blue);
  EXPECT_EQ(w.count(blue, 121, 41, 140, 81), 0);   // inside the notch
  EXPECT_EQ(w.count(blue, 100, 80, 121, 81), 21);  // bottom edge of the left arm
  EXPECT_EQ(w.at(161, 50), white());

  EXPECT_EQ(w.count(red, 200, 150, 251, 151), 51);
  EXPECT_EQ(w.count(red, 0, 0, 300, 200), 51);
}

TEST_F(x11Draw, TextSitsOnItsBaselineInSixPixelCells) {
  pen(black);
  grxstr(s, 100, 100, "HHHX", 2);  // only the first two characters
  grxstr(s, 20, 160, "AB", 10);    // no more than the text holds
  grxstr(s, 200, 160, "QQ", 0);    // nothing

  const Shot w = window();
  const int all = w.count(black, 0, 0, 300, 200);
  const int first = w.count(black, 100, 90, 106, 102);
  const int second = w.count(black, 106, 90, 112, 102);
  EXPECT_GT(first, 5);
  EXPECT_EQ(first, second);
  // Both cells carry the same glyph.
  for (int y = 90; y < 102; ++y) {
    for (int x = 100; x < 106; ++x) EXPECT_EQ(w.at(x, y), w.at(x + 6, y)) << x << "," << y;
  }
  // "H": two strokes reaching up to the cap height, nothing under the baseline.
  EXPECT_EQ(w.count(black, 100, 100, 112, 102), 0);
  const int ab = w.count(black, 20, 150, 32, 162);
  EXPECT_GT(ab, 10);
  EXPECT_EQ(all, first + second + ab);
}

TEST_F(x11Draw, DashStylesFollowTheirPatterns) {
  pen(black);
  // Style y-row: style 1 at y = 10, then styles 2..5 at y = 20 .. 50.
  auto on = [](int style, int m) {
    switch (style) {
      case 2:
        return m % 12 < 9;
      case 3:
        return m % 6 < 3;
      case 4:
        return m % 18 < 9 || (m % 18 >= 12 && m % 18 < 15);
      case 5:
        return m % 24 < 9 || (m % 24 >= 12 && m % 24 < 15) || (m % 24 >= 18 && m % 24 < 21);
      default:
        return true;
    }
  };
  for (int style = 1; style <= 5; ++style) {
    grxdsh(s, style);
    EXPECT_EQ(s.dash_style, style);
    grxlin(s, 10, 10 * style, 80, 10 * style);
  }
  // 0 and 6 leave the dotted style as it is.
  grxdsh(s, 3);
  grxdsh(s, 0);
  grxdsh(s, 6);
  grxdsh(s, -1);
  EXPECT_EQ(s.dash_style, 3);
  grxlin(s, 10, 60, 80, 60);
  // Back to solid.
  grxdsh(s, 1);
  grxlin(s, 10, 70, 80, 70);

  XGCValues v;
  ASSERT_NE(XGetGCValues(s.display, s.gc, GCLineStyle | GCCapStyle | GCJoinStyle | GCLineWidth, &v),
            0);
  EXPECT_EQ(v.line_style, LineSolid);
  EXPECT_EQ(v.cap_style, CapRound);
  EXPECT_EQ(v.join_style, JoinRound);
  EXPECT_EQ(v.line_width, 0);

  const Shot w = window();
  for (int style = 1; style <= 5; ++style) {
    for (int x = 10; x <= 80; ++x) {
      EXPECT_EQ(w.at(x, 10 * style) == black, on(style, x - 10)) << "style " << style << " x " << x;
    }
  }
  for (int x = 10; x <= 80; ++x) {
    EXPECT_EQ(w.at(x, 60) == black, on(3, x - 10)) << x;
    EXPECT_EQ(w.at(x, 70), black) << x;
  }
}

TEST_F(x11Draw, ClearFillsWithBackgroundAndRestoresTheForeground) {
  pen(red);
  const int rx[4] = {0, 299, 299, 0}, ry[4] = {0, 0, 199, 199};
  grxply(s, rx, ry, 4);
  EXPECT_EQ(window().count(red, 0, 0, 300, 200), 300 * 200);
  grxclr(s);
  EXPECT_EQ(window().count(white(), 0, 0, 300, 200), 300 * 200);
  XGCValues v;
  ASSERT_NE(XGetGCValues(s.display, s.gc, GCForeground, &v), 0);
  EXPECT_EQ(v.foreground, red);
  grxlin(s, 0, 5, 10, 5);
  EXPECT_EQ(window().at(5, 5), red);
}

TEST_F(x11Draw, FlipShowsTheBackBufferOnceAndThenOnlyFlushes) {
  // Drawing straight into the window: a flip copies nothing.
  pen(black);
  XFillRectangle(s.display, s.pixmap, s.gc, 0, 0, 300, 200);  // stale back buffer
  grxflp(s);
  EXPECT_EQ(window().count(white(), 0, 0, 300, 200), 300 * 200);

  grxpix(s);
  EXPECT_EQ(s.drawable, s.pixmap);
  grxclr(s);
  pen(green);
  const int rx[4] = {20, 60, 60, 20}, ry[4] = {20, 20, 50, 50};
  grxply(s, rx, ry, 4);
  // Not yet visible.
  EXPECT_EQ(window().count(white(), 0, 0, 300, 200), 300 * 200);
  grxflp(s);
  EXPECT_EQ(s.drawable, s.window);
  Shot shown = window();
  EXPECT_EQ(shown.count(green, 20, 20, 61, 51), 41 * 31);
  EXPECT_EQ(shown.count(white(), 0, 0, 300, 200), 300 * 200 - 41 * 31);

  // A second flip after the copy changes nothing even if the pixmap did.
  pen(black);
  XFillRectangle(s.display, s.pixmap, s.gc, 0, 0, 300, 200);
  grxflp(s);
  EXPECT_EQ(window().count(black, 0, 0, 300, 200), 0);
}

TEST_F(x11Draw, FarCoordinatesSaturateInsteadOfWrapping) {
  pen(red);
  grxlin(s, 10, 50, 100000, 50);  // wrapped, 100000 would lie far left
  const int xs[2] = {150, -100000}, ys[2] = {100, 100};
  pen(blue);
  grxlnz(s, 2, xs, ys);
  const Shot w = window();
  EXPECT_EQ(w.at(5, 50), white());
  EXPECT_EQ(w.count(red, 10, 50, 300, 51), 290);
  EXPECT_EQ(w.count(blue, 0, 100, 151, 101), 151);
  EXPECT_EQ(w.at(200, 100), white());
}

}  // namespace
}  // namespace qf::grxtest
