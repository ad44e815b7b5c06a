// The draw mode and the plot list: the queue, the distance line, the limit,
// keep records written and replayed, north arrow and scale bar.
#include <gtest/gtest.h>

#include <sstream>

#include "io/textio.h"
#include "tests/graphics/gr_test_util.h"
#include "tests/viewer/viewer_test_util.h"
#include "viewer/viewer.h"

namespace qf {
namespace {

using grtest::answer;
using grtest::lines_of;
using grtest::slurp;

class Draw : public grtest::ViewerScript {
 protected:
  void SetUp() override {
    ViewerScript::SetUp();
    Grcomn& n = g.n;
    n.XMINGR = n.YMINGR = n.XMNCGR = n.YMNCGR = 0;
    n.XMAXGR = n.YMAXGR = n.XMXCGR = n.YMXCGR = 100;
    n.XFACGR = 5;
    n.YFACGR = -5;
  }
  std::vector<int> kinds() const {
    std::vector<int> k;
    for (const PlotEntry& e : v.draw.list) k.push_back(e.kind);
    return k;
  }
  std::vector<std::string> said() const {
    std::vector<std::string> m;
    for (const std::string& h : g.msg.history) m.emplace_back(trim_right(h));
    return m;
  }
  std::ostringstream os;
};

TEST_F(Draw, MenuFromTheQueueMeasuresLines) {
  answer(g, {"A", "1 7", "2 3", "3 2.5", "D", "L 0 0", "x 3 4", "x 6 8", "T 6 8", "Bridge", "P 0 0",
             "x 4 0", "D", "S 1 1", "C 2 2", " 50 50"});
  grdraw(g, v);
  EXPECT_EQ(kinds(), (std::vector<int>{-2, -1, -1, -4, -10, -10, -11, 7, -3, -5}));
  const DrawState& d = v.draw;
  EXPECT_EQ(d.colour, 3);
  EXPECT_EQ(d.list[8].z, 2.5f);
  EXPECT_EQ(d.list[3].text, pad("Bridge", 64));
  EXPECT_EQ((std::pair{d.list[9].x, d.list[9].y}), (std::pair{0.5f, 0.5f}));
  const std::vector<std::string> m = said();
  EXPECT_EQ(std::vector<std::string>(m.begin(), m.begin() + 3),
            (std::vector<std::string>{"dist=    5.00m sum=     5.0m angle=  53.1deg",
                                      "dist=    5.00m sum=    10.0m angle=  53.1deg",
                                      "dist=    0.00m sum=    10.0m angle=   0.0deg"}));
  EXPECT_EQ(m.back(), "dist=    4.00m sum=     8.0m angle= 180.0deg");  // closing
}

// A deleted entry covers its drawing on the screen but stays out of the
// picture files.
TEST_F(Draw, DeletedEntriesStayOutOfFiles) {
  grplst(g, v, 1, 30, 40, 0, kText, 4, "Weir");
  grplst(g, v, 1, 60, 70, 0, kText, 4, "Gone");
  grplst(g, v, -1, 61, 71);
  const std::pair<int, const char*> modes[] = {{kModeDxf, "pic.dxf"}, {kModeKeep, "pic.kep"}};
  for (const auto& [mode, file] : modes) {
    answer(g, {"pic"});
    int r = mode;
    grmode(g, r);
    ASSERT_EQ(g.n.IMODGR, mode) << file;
    grplst(g, v, 2);
    grclos(g);
    const std::string text = slurp(file);
    EXPECT_NE(text.find("Weir"), std::string::npos) << file;
    EXPECT_EQ(text.find("Gone"), std::string::npos) << file;
  }
}

TEST_F(Draw, The401stEntryIsRefused) {
  for (int k = 0; k < 401; ++k) grplst(g, v, 1, k, 0, 0, 1, 0);
  EXPECT_EQ(v.draw.list.size(), 400u);
  EXPECT_EQ(said().back(), "No more puts allowed");
}

TEST_F(Draw, DeletedEntriesAreSavedWithColourMinusOneAndReadBack) {
  g.n.XORGR = 1000;
  g.n.YORGR = 2000;
  grplst(g, v, 1, 10, 20, 0, 5, 2);
  grplst(g, v, 1, 30, 40, 0, kText, 4, "Weir");
  grplst(g, v, 1, 0.25f, 0.75f, 1.5f, kNorthArrow, 0);
  grplst(g, v, -1, 11, 21);
  answer(g, {"ann"});
  grplst(g, v, 3);
  EXPECT_EQ(said().back(), "Draws stored on keep file");
  EXPECT_EQ(lines_of(slurp("ann.kep")),
            (std::vector<std::string>{
                "XORG", "     1000.00", "YORG", "     2000.00", "PUT", "           3",
                "   10.0000000       20.0000000       0.00000000               5          -1",
                "   30.0000000       40.0000000       0.00000000              -4           4",
                pad("Weir", 64),
                "  0.250000000      0.750000000       1.50000000              -5           0"}));
  // Replayed at the origin (0, 0): at the same world place; replayed again
  // (every redraw does): not appended twice.
  Viewer w;
  g.n.XORGR = g.n.YORGR = 0;
  grplst(g, w, 0);
  std::vector<std::string> names{pad("ann.kep", 80)};
  std::vector<int> flags{1};
  for (int pass = 0; pass < 2; ++pass) {
    int n = 1;
    grkpla(g, n, names, flags);
  }
  ASSERT_EQ(w.draw.list.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    const PlotEntry &a = v.draw.list[k], &b = w.draw.list[k];
    const bool window = a.kind == kNorthArrow;
    EXPECT_EQ(b.x, a.x + (window ? 0 : 1000)) << k;
    EXPECT_EQ(b.y, a.y + (window ? 0 : 2000)) << k;
    EXPECT_EQ((std::tuple{b.z, b.kind, b.colour, b.text}),
              (std::tuple{a.z, a.kind, a.colour, a.text}));
  }
}

TEST_F(Draw, NorthArrowTriangleAndDegeneratePolygon) {
  answer(g, {"arrow"});
  int r = kModeArcPolygon;
  grmode(g, r);
  ASSERT_EQ(g.n.IMODGR, kModeArcPolygon);
  v.draw.list = {{0.5f, 0.5f, 2, kNorthArrow, 3, ""},
                 {1, 1, 0, kPolyVertex, 4, ""},
                 {9, 1, 0, kPolyVertex, 4, ""},
                 {0, 0, 0, kPolyClose, 4, ""}};
  grplst(g, v, 2);
  r = 0;
  grmode(g, r);
  // Size 100 x 0.05 x 2 = 10 about the centre (50, 50): the circle, the
  // triangle, then the two-point polygon.
  const std::string a = slurp("arrow");
  EXPECT_NE(a.find("3\n      42.930      42.930\n      50.000      60.000\n"
                   "      57.070      42.930\n      42.930      42.930\nEND"),
            std::string::npos)
      << a;
  EXPECT_NE(
      a.find("4\n       1.000       1.000\n       9.000       1.000\n       1.000       1.000"),
      std::string::npos)
      << a;
}

TEST_F(Draw, ScaleBarLabelsInTheKeepFile) {
  answer(g, {"bar"});
  int r = kModeKeep;
  grmode(g, r);
  v.draw.list = {{0.1f, 0.2f, 0, kScaleBar, 0, ""}};
  grplst(g, v, 2);
  r = 0;
  grmode(g, r);
  std::vector<std::string> labels;  // a window 100 m wide: a bar of 25 m
  const std::vector<std::string> l = lines_of(slurp("bar.kep"));
  for (std::size_t k = 0; k + 1 < l.size(); ++k)
    if (l[k] == "ANOT") labels.push_back(l[k + 1]);
  EXPECT_EQ(labels, (std::vector<std::string>{"~~0", "~~12.5", "~~25 m"}));
}

TEST(DrawScaleBar, RoundLengths) {
  struct Case {
    float w, len;
    const char* unit;
    float value;
  } cases[] = {{1000, 250, "m", 250},     {12, 2.5f, "m", 2.5f}, {2, 0.5f, "mm", 500},
               {10000, 2500, "km", 2.5f}, {4400, 1000, "km", 1}, {3000, 500, "m", 500},
               {40, 10, "m", 10},         {0, 1, "m", 1}};
  for (const Case& c : cases) {
    std::string unit;
    float value = 0;
    EXPECT_FLOAT_EQ(grsbar_length(c.w, unit, value), c.len) << c.w;
    EXPECT_EQ(unit, c.unit) << c.w;
    EXPECT_FLOAT_EQ(value, c.value) << c.w;
  }
}

}  // namespace
}  // namespace qf
