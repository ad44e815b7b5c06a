// Fills in the ArcPolygon file, hatching, relief frames, clean-up
// rectangles, the progress bar's redraws and aligned texts, followed in
// the records they leave in keep and ArcPolygon files.
#include <gtest/gtest.h>

#include <algorithm>

#include "graphics/graphics.h"
#include "tests/graphics/gr_test_util.h"

namespace qf {
namespace {

using grtest::answer;
using grtest::lines_of;
using grtest::slurp;

class GrFill : public grtest::ScratchDir {
 protected:
  // device x = 10 x + 100, y = 500 - 10 y; clip rectangle 0..10 x 0..10.
  void start(Graphics& g) {
    grinit(g, 5, 6, "qf", "", 0);
    Grcomn& n = g.n;
    n.XMINGR = n.YMINGR = 0;
    n.XMAXGR = n.YMAXGR = 10;
    n.XFACGR = 10;
    n.YFACGR = -10;
    n.XORGGR = 100;
    n.YORGGR = 500;
    n.XMNCGR = n.YMNCGR = 0;
    n.XMXCGR = n.YMXCGR = 10;
  }
  // Records of a keep file after its four header records.
  std::vector<std::string> kept(Graphics& g) {
    grclos(g);
    auto l = lines_of(slurp("k.kep"));
    return std::vector<std::string>(l.begin() + 8, l.end());
  }
  void keep(Graphics& g) {
    answer(g, {"k"});
    int r = kModeKeep;
    grmode(g, r);
  }
};

TEST_F(GrFill, ArcPolygonFile) {
  Graphics g;
  start(g);
  g.n.XORGR = 1000;
  g.n.YORGR = 2000;
  int r = kModeArcPolygon;
  grmode(g, r);  // no answer: blank name
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g.msg.lines[0], grfix("Filename cannot be all blanks", 100));
  answer(g, {"areas.gen"});
  r = kModeArcPolygon;
  grmode(g, r);
  ASSERT_EQ(g.n.IMODGR, kModeArcPolygon);
  const float x[3] = {1, 3, 5}, y[3] = {2, 4, 6.5f};
  grfil2(g, x, y, 3, 7);
  grmov2(g, 0, 0);
  grdrw2(g, 5, 5);                                             // lines are not written
  const float qx[4] = {-1, 20, 20, -1}, qy[4] = {0, 0, 1, 1};  // not clipped
  grfil2(g, qx, qy, 4, -3);
  grclos(g);
  EXPECT_EQ(g.msg.lines[0], grfix("ArcPolygon file done", 100));
  EXPECT_EQ(slurp("areas.gen"),
            "           7\n"
            "    1001.000    2002.000\n"
            "    1003.000    2004.000\n"
            "    1005.000    2006.500\n"
            "    1001.000    2002.000\n"
            "END\n"
            "          -3\n"
            "     999.000    2000.000\n"
            "    1020.000    2000.000\n"
            "    1020.000    2001.000\n"
            "     999.000    2001.000\n"
            "     999.000    2000.000\n"
            "END\n"
            "END\n");
}

TEST_F(GrFill, HatchedFills) {
  Graphics g;
  start(g);
  keep(g);
  g.n.HTCHGR = 1;  // horizontal lines 5 pixels apart
  const float x[4] = {0, 10, 10, 0}, y[4] = {0, 0, 10, 10};
  grfil2(g, x, y, 4, 3);
  g.n.HTCHGR = 5;  // crossed
  grfil2(g, x, y, 4, 3);
  g.n.HTCHGR = 1;
  grfil2(g, x, y, 4, -2);  // no hatching for colours below 1
  const auto l = kept(g);
  int mov = 0, drw = 0;
  std::vector<std::string> first;
  for (std::size_t i = 0; i < l.size(); ++i) {
    if (l[i] == "MOV2") ++mov;
    if (l[i] == "DRW2") ++drw;
  }
  // 100 pixels high: lines at 0, 5, ..., 95 pixels from the top edge.
  EXPECT_EQ(mov, 20 + 40);
  EXPECT_EQ(drw, 20 + 40);
  EXPECT_EQ(l[0], "COLR");
  EXPECT_EQ(l[1], "  3");
  EXPECT_EQ(l[2], "MOV2");
  EXPECT_EQ(l[3], "  0.00000000D+00  0.10000000D+02");
  EXPECT_EQ(l[4], "DRW2");
  EXPECT_EQ(l[5], "  0.10000000D+02  0.10000000D+02");
  EXPECT_EQ(l[7], "  0.00000000D+00  0.95000000D+01");
  const auto fil = std::find(l.begin(), l.end(), "FIL2");
  ASSERT_NE(fil, l.end());
  EXPECT_EQ(*(fil + 1), "    4   -2    5");
}

TEST_F(GrFill, ReliefFramesAndRectangles) {
  Graphics g;
  start(g);
  keep(g);
  const float x[4] = {0, 1, 1, 0}, y[4] = {0, 0, 1, 1};
  grfram(g, x, y, 4, -3);
  grfram(g, x, y, 4, -4);
  grect(g, 2, 3, 4, 5, 6, 0);
  const auto l = kept(g);
  const std::vector<std::string> want = {
      "DASH", "   1", "COLR", " -4", "MOV2", "  0.00000000D+00  0.00000000D+00", "DRW2",
      "  0.10000000D+01  0.00000000D+00", "DRW2", "  0.10000000D+01  0.10000000D+01", "COLR", " -2",
      "DRW2", "  0.00000000D+00  0.10000000D+01", "DRW2", "  0.00000000D+00  0.00000000D+00",
      // colour -4: the first half in -2 (no change), the rest in -4
      "MOV2", "  0.00000000D+00  0.00000000D+00", "DRW2", "  0.10000000D+01  0.00000000D+00",
      "DRW2", "  0.10000000D+01  0.10000000D+01", "COLR", " -4", "DRW2",
      "  0.00000000D+00  0.10000000D+01", "DRW2", "  0.00000000D+00  0.00000000D+00", "FIL2",
      "    4    6    5",
      "  0.200000E+01  0.300000E+01  0.600000E+01  0.300000E+01  0.600000E+01"
      "  0.800000E+01  0.200000E+01  0.800000E+01"};
  EXPECT_EQ(l, want);
}

TEST_F(GrFill, CleanUpRectangles) {
  Graphics g;
  start(g);
  grclean(g, 0, 1, 2, 3, 4);
  grclean(g, 0, 5, 7, 5, 8);
  ASSERT_EQ(g.clean.size(), 2u);
  EXPECT_FLOAT_EQ(g.clean[1].w, 2);
  EXPECT_FLOAT_EQ(g.clean[1].h, 3);
  keep(g);
  grclean(g, 1, 0, 0, 0, 0);  // redrawn from the last to the first
  EXPECT_TRUE(g.clean.empty());
  const auto l = kept(g);
  std::vector<std::string> fills;
  for (std::size_t i = 0; i + 2 < l.size(); ++i)
    if (l[i] == "FIL2") fills.push_back(l[i + 2].substr(0, 28));
  ASSERT_EQ(fills.size(), 2u);
  EXPECT_EQ(fills[0], "  0.500000E+01  0.500000E+01");
  EXPECT_EQ(fills[1], "  0.100000E+01  0.300000E+01");
  for (int i = 0; i < 205; ++i) grclean(g, 0, static_cast<float>(i), 300, 0, 1);
  ASSERT_EQ(g.clean.size(), 200u);
  EXPECT_FLOAT_EQ(g.clean[199].x, 204);  // the last place is replaced
  EXPECT_FLOAT_EQ(g.clean[198].x, 198);
  grclean(g, -1, 0, 0, 0, 0);
  EXPECT_TRUE(g.clean.empty());
  // Clearing the plot area enters it in the list (window modes only).
  grcler(g, 2);
  EXPECT_TRUE(g.clean.empty());
  g.n.IMODGR = kModeScreen;
  grcler(g, 2);
  ASSERT_EQ(g.clean.size(), 1u);
  EXPECT_FLOAT_EQ(g.clean[0].w, 10);
  EXPECT_EQ(g.pen.last_colour, 0);
  g.n.IMODGR = 0;
}

TEST_F(GrFill, ProgressBarRedrawsOnChange) {
  Graphics g;
  start(g);
  int redraws = 0;
  for (int i = 0; i < 1000; ++i) {
    const int before = g.beam_last;
    grbeam(g, i, 1000, "run");
    if (g.beam_last != before) ++redraws;
  }
  EXPECT_EQ(redraws, 100);
  grbeam(g, 999, 1000, "run");
  EXPECT_EQ(g.beam_last, 99);
  grbeam(g, -1, 1000, "");
  EXPECT_EQ(g.beam_last, -1);
  grbeam(g, 3, 0, "");  // a total below 1 counts as 1
  EXPECT_EQ(g.beam_last, 0);
}

TEST_F(GrFill, TextsInKeepFiles) {
  Graphics g;
  start(g);
  keep(g);
  grano3(g, 5, 6, "|mid");
  grano3(g, 5, 6, "<left");
  grano3(g, 5, 6, "plain");
  grmov2(g, 1, 1);
  granot(g, "   ", 0);  // empty: nothing
  g.n.PVISGR = 0;       // pen outside: nothing
  granot(g, "hidden", 0);
  const auto l = kept(g);
  const std::vector<std::string> want = {
      "MOV2", "  0.50000000D+01  0.60000000D+01", "ANOT", "~~mid",
      "MOV2", "  0.50000000D+01  0.60000000D+01", "ANOT", "left",
      "MOV2", "  0.50000000D+01  0.60000000D+01", "ANOT", "plain",
      "MOV2", "  0.10000000D+01  0.10000000D+01"};
  EXPECT_EQ(l, want);
}

}  // namespace
}  // namespace qf
