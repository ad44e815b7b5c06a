// The contour plot: automatic levels, class bands of a cell (read back from
// the ArcPolygon file), the stop on oversized cells, the exports read back
// by GDAL and OGR, Examine and Grid by the script queue, and the pixel-row
// drawing against the cell polygons in a window.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "graphics/internal.h"
#include "io/stop.h"
#include "io/textio.h"
#include "tests/graphics/gr_test_util.h"
#include "viewer/viewer.h"
#ifdef QF_TEST_HAVE_X11
#include <X11/Xutil.h>
#endif

namespace qf {
namespace {

using grtest::answer;
using grtest::lines_of;
using grtest::slurp;

// A regular field of nx x ny nodes, spacing h, values fn(x, y).
struct Field {
  int nx, ny;
  std::vector<float> x, y, f;
  template <class Fn>
  Field(int nx_, int ny_, float h, Fn fn) : nx(nx_), ny(ny_) {
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) {
        x.push_back(i * h);
        y.push_back(j * h);
        f.push_back(fn(i * h, j * h));
      }
  }
  void plot(Graphics& g, Viewer& v, int request, std::vector<float>& lv, int options = 2) {
    float ext[4];
    grcon1(g, v, request, x.data(), y.data(), f.data(), nx, ny, nx, ny, lv.data(), options, -9999,
           ext);
  }
};

class Contour : public grtest::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    grinit(g, 5, 6, "qf", "", 0);
    g.out = &out;
    Grcomn& n = g.n;
    n.XMINGR = n.YMINGR = n.XMNCGR = n.YMNCGR = 0;
    n.XMAXGR = n.YMAXGR = n.XMXCGR = n.YMXCGR = 100;
    n.XFACGR = 10;
    n.YFACGR = -10;
  }
  // Polygons of an ArcPolygon file: colour and corners (the repeated first one dropped).
  struct Poly {
    int colour;
    std::vector<std::pair<double, double>> p;
  };
  std::vector<Poly> polygons(const std::string& file) {
    std::vector<Poly> v;
    bool open = false;  // the file ends with one more "END"
    for (const std::string& l : lines_of(slurp(file))) {
      std::istringstream s(l);
      if (l == "END") {
        if (open) v.back().p.pop_back();
        open = false;
      } else if (l.size() < 20) {
        v.push_back({std::stoi(l), {}});
        open = true;
      } else {
        double a, b;
        s >> a >> b;
        v.back().p.push_back({a, b});
      }
    }
    return v;
  }
  void arc(const std::string& name) {
    answer(g, {name});
    int r = kModeArcPolygon;
    grmode(g, r);
    ASSERT_EQ(g.n.IMODGR, kModeArcPolygon);
  }
  Graphics g;
  Viewer v;
  std::ostringstream out;
};

TEST_F(Contour, AutomaticLevels) {
  struct Case {
    std::vector<float> f;
    float first;  // levels[0] on entry
    float start, step;
  } cases[] = {
      // 15 values 0.2 .. 3.7: 12 steps of 0.4 from 0 (0.2 is one step of 0.2 but 3.7 not).
      {{0.2f, 0.45f, 0.7f, 0.95f, 1.2f, 1.45f, 1.7f, 1.95f, 2.2f, 2.45f, 2.7f, 2.95f, 3.2f, 3.45f,
        3.7f},
       0,
       0,
       0.4f},
      // Fewer than three values: the bounds are their minimum and maximum.
      {{1.5f, 2.5f, -9999, -9999}, 0, 1.5f, 0.1f},
      // -99 in the first level raises a negative lower bound to 0.
      {{-5, -4, 3, 4}, -99, 0, 0.4f},
      {{-5, -4, 3, 4}, 0, -5, 1},
  };
  g.n.NCOLGR = 12;
  for (const Case& c : cases) {
    std::vector<float> lv(13, 0.0f);
    lv[0] = c.first;
    grcfil(g, c.f.data(), static_cast<int>(c.f.size()), static_cast<int>(c.f.size()), 1, -9999,
           lv.data());
    EXPECT_NEAR(lv[0], c.start, 1e-5) << c.f[0];
    EXPECT_NEAR(lv[1] - lv[0], c.step, 1e-5) << c.f[0];
    EXPECT_NEAR(lv[12], c.start + 12 * c.step, 1e-4) << c.f[0];
  }
}

TEST_F(Contour, ClassBandsOfOneCell) {
  const float x[4] = {0, 1, 1, 0}, y[4] = {0, 0, 1, 1}, lv[4] = {0, 1, 2, 3};
  struct Case {
    float f[4];
    int in07;
    std::vector<int> colours;  // of the polygons in order
  } cases[] = {
      {{1.1f, 1.2f, 1.3f, 1.4f}, 1, {2}},
      {{-5, -5, -5, -5}, 1, {}},
      {{-5, -5, -5, -5}, 0, {1}},
      // Levels 1 and 2 cross the cell: bands in each of the four triangles.
      {{0.5f, 2.5f, 2.5f, 0.5f}, 1, {1, 2, 3, 2, 3, 1, 2, 3, 1, 2}},
  };
  int k = 0;
  for (const Case& c : cases) {
    const std::string file = "c" + std::to_string(k++) + ".gen";
    arc(file);
    g.n.IN07GR = c.in07;
    grcol2(g, x, y, c.f, 4, lv, 3);
    grclos(g);
    const auto p = polygons(file);
    std::vector<int> col;
    for (const Poly& q : p) col.push_back(q.colour);
    EXPECT_EQ(col, c.colours) << file;
    if (c.colours.size() == 1) {
      EXPECT_EQ(p[0].p.size(), 4u);
    }
  }
  // The band of class 1 in the lower triangle ends where level 1 crosses
  // the edge from 0.5 to 2.5 (a quarter along it).
  const auto p = polygons("c3.gen");
  ASSERT_FALSE(p.empty());
  bool at_quarter = false;
  for (const auto& q : p[0].p) at_quarter |= std::fabs(q.first - 0.25) < 1e-3 && q.second == 0;
  EXPECT_TRUE(at_quarter);
}

TEST_F(Contour, MoreThanTwelveCornersStops) {
  std::vector<float> x(13, 1.0f), y(13, 1.0f), f(13, 1.0f);
  const float lv[2] = {0, 1};
  EXPECT_THROW(grcol2(g, x.data(), y.data(), f.data(), 13, lv, 1), Stop);
  EXPECT_EQ(out.str().rfind(" ***ERROR***More than 12 vertices in GRCOL2  (", 0), 0u);
}

TEST_F(Contour, GridExportOfThreeByTwo) {
  Field d(3, 2, 10, [](float x, float y) { return 1 + x / 10 + 3 * y / 10; });
  g.n.XORGR = 1000;
  g.n.YORGR = 2000;
  ASSERT_TRUE(grwgrid(g, "g.asc", d.x.data(), d.y.data(), d.f.data(), 3, 3, 2, -9999));
  const std::vector<std::string> want = {"ncols       3",
                                         "nrows       2",
                                         "xllcorner      995.00",
                                         "yllcorner     1995.00",
                                         "cellsize     10.0000",
                                         "NODATA_value      -9999.",
                                         "     4.000     5.000     6.000",
                                         "     1.000     2.000     3.000"};
  EXPECT_EQ(lines_of(slurp("g.asc")), want);
  // Values wider than their field keep a blank between them; a half-cell
  // offset of 0.125 keeps its third decimal.
  d.f = {-12345.678f, 1234567.5f, 0, 0, 0, 0};
  g.n.XORGR = 0.25;
  for (float& x : d.x) x /= 40;
  ASSERT_TRUE(grwgrid(g, "w.asc", d.x.data(), d.y.data(), d.f.data(), 3, 3, 2, -99999));
  const auto w = lines_of(slurp("w.asc"));
  ASSERT_EQ(w.size(), 8u);
  EXPECT_EQ(w[2], "xllcorner       0.125");
  EXPECT_EQ(w[7], " -12345.678 1234567.500     0.000");
  // A no-data value with decimals keeps them, in the header and the rows.
  ASSERT_TRUE(grwgrid(g, "n.asc", d.x.data(), d.y.data(), d.f.data(), 3, 3, 2, -0.09f));
  const auto n = lines_of(slurp("n.asc"));
  ASSERT_EQ(n.size(), 8u);
  EXPECT_EQ(n[5], "NODATA_value       -0.09");
  EXPECT_EQ(n[7], "    -0.090 1234567.500    -0.090");
  // A file that cannot be written is reported, never as stored.
  EXPECT_FALSE(grwgrid(g, "no/such/dir.asc", d.x.data(), d.y.data(), d.f.data(), 3, 3, 2, -9999));
  EXPECT_EQ(std::string(trim_right(g.msg.lines[0])), "Error opening: no/such/dir.asc");
}

TEST_F(Contour, GridByScriptReadBackByGdal) {
  if (!grtest::have_tool("gdal_translate")) GTEST_SKIP() << "no GDAL";
  Field d(7, 5, 2.5f, [](float x, float y) { return x > 12 ? -9999.0f : 100 + x * x - 3 * y; });
  g.n.XORGR = 631000.5;
  g.n.YORGR = 5200000.25;
  std::vector<float> lv(15);
  answer(g, {"G", "big.asc", "D"});
  d.plot(g, v, -7, lv);
  EXPECT_EQ(std::string(trim_right(g.msg.lines[0])), "values stored on big.asc");
  const auto xyz = lines_of(grtest::run("gdal_translate -q -of XYZ big.asc /vsistdout/"));
  ASSERT_EQ(xyz.size(), 35u);
  for (const std::string& l : xyz) {
    std::istringstream s(l);
    double wx, wy, f;
    s >> wx >> wy >> f;
    const int i = static_cast<int>(std::lround((wx - 631000.5) / 2.5));
    const int j = static_cast<int>(std::lround((wy - 5200000.25) / 2.5));
    ASSERT_TRUE(i >= 0 && i < 7 && j >= 0 && j < 5) << l;
    EXPECT_NEAR(wx, 631000.5 + 2.5 * i, 1e-6) << l;  // node centres where GDAL puts them
    EXPECT_NEAR(wy, 5200000.25 + 2.5 * j, 1e-6) << l;
    EXPECT_NEAR(f, d.f[i + 7 * j], 1e-3) << l;
  }
}

TEST_F(Contour, BreaklinesAndScatteredPoints) {
  Field d(3, 2, 10, [](float x, float y) { return x + y; });
  ASSERT_TRUE(grwbrk(g, "b.txt", d.x.data(), d.y.data(), d.f.data(), 3, 3, 2));
  const auto b = lines_of(slurp("b.txt"));
  ASSERT_EQ(b.size(), 6u);
  for (std::size_t k = 0; k < b.size(); ++k) {
    std::istringstream s(b[k]);
    double x, y, f;
    int flag;
    s >> x >> y >> f >> flag;
    EXPECT_EQ(x, 10.0 * static_cast<double>(k / 2));  // column by column
    EXPECT_EQ(y, 10.0 * static_cast<double>(k % 2));
    EXPECT_EQ(f, x + y);
    EXPECT_EQ(flag, k % 2 == 0 ? 1 : 0);
  }
  // One valid node in a 5 x 3 field: it and its three neighbours, shifted
  // by at most half the random distance.
  Field e(5, 3, 10, [](float x, float y) { return x + y == 0 ? 7.0f : -9999.0f; });
  ASSERT_TRUE(grwxyz(g, v.contour, "p.xyz", e.x.data(), e.y.data(), e.f.data(), 5, 5, 3, -9999, 4));
  const auto p = lines_of(slurp("p.xyz"));
  ASSERT_EQ(p.size(), 4u);
  const double nodes[4][3] = {{0, 0, 7}, {10, 0, -9999}, {0, 10, -9999}, {10, 10, -9999}};
  for (int k = 0; k < 4; ++k) {
    std::istringstream s(p[k]);
    double x, y, f;
    s >> x >> y >> f;
    EXPECT_LE(std::fabs(x - nodes[k][0]), 2.0) << p[k];
    EXPECT_LE(std::fabs(y - nodes[k][1]), 2.0) << p[k];
    EXPECT_EQ(f, nodes[k][2]);
  }
}

TEST_F(Contour, ShapefileOfThePlotOpensInOgr) {
  if (!grtest::have_tool("ogrinfo")) GTEST_SKIP() << "no OGR";
  Field d(6, 6, 10, [](float x, float y) { return x + y; });
  std::vector<float> lv = {0, 20, 40, 60, 80, 100, 120, 140, 160, 180, 200, 220, 240, 260, 280};
  answer(g, {"1 plot", "2 class", "3 3", "D"});
  g.n.IN07GR = 0;
  int r = kModeShape;
  grmode(g, r);
  ASSERT_EQ(g.n.IMODGR, kModeShape);
  d.plot(g, v, 0, lv);
  d.plot(g, v, 1, lv);
  grclos(g);
  const std::string info = grtest::run("ogrinfo -so -al plot.shp");
  EXPECT_NE(info.find("Geometry: Polygon"), std::string::npos) << info;
  EXPECT_NE(info.find("Feature Count:"), std::string::npos) << info;
  EXPECT_EQ(info.find("Feature Count: 0"), std::string::npos) << info;
  // Each area carries the limits of its class: class 3 lies between the
  // second and third level, class 1 below the first (open below).
  const std::string all = grtest::run("ogrinfo -al plot.shp");
  EXPECT_NE(all.find("class (Integer) = 3\n  from (Real) = 20.0000\n  to (Real) = 40.0000"),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("class (Integer) = 1\n  from (Real) = (null)\n  to (Real) = 0.0000"),
            std::string::npos)
      << all;
}

TEST_F(Contour, ExamineTwiceAndGridTwice) {
  Field d(4, 4, 10, [](float x, float y) { return x + 2 * y; });
  std::vector<float> lv(15);
  g.n.XORGR = 100;
  g.n.XCRSGR = 12.5f;
  g.n.YCRSGR = 7.5f;
  d.plot(g, v, -2, lv);
  d.plot(g, v, -2, lv);
  const auto l = lines_of(out.str());
  ASSERT_EQ(l.size(), 2u);
  for (const std::string& s : l) {
    std::istringstream in(s);
    double x, y, f;
    std::string tail;
    in >> x >> y >> f >> tail;
    EXPECT_EQ(x, 112.5);
    EXPECT_EQ(y, 7.5);
    EXPECT_NEAR(f, 12.5 + 2 * 7.5, 1e-5);  // exact for a linear field
    EXPECT_EQ(tail, "/xyz");
  }
  EXPECT_EQ(std::string(trim_right(g.msg.lines[0])), "Contour added at F:  27.500");
  const int queued = g.n.NSCRGR;
  d.plot(g, v, -3, lv);
  EXPECT_EQ(v.contour.mesh, 1);
  EXPECT_EQ(g.n.NSCRGR, queued);
  d.plot(g, v, -3, lv);
  EXPECT_EQ(v.contour.mesh, 0);
  std::string cmd;
  ASSERT_TRUE(grsnext(g, cmd));
  EXPECT_EQ(cmd, grfix("R", 16));
}

TEST_F(Contour, InquireByScript) {
  Field d(5, 3, 10, [](float x, float y) { return x + 2 * y; });
  std::vector<float> lv(15);
  g.n.XORGR = 500;
  grtest::spit("pts.txt", "# x y\n510 5\n\n535,12.5 point two\n");
  grtest::spit("line.txt", "500 0\n520 0\n520 10\n");
  grtest::spit("bad.txt", "510 5\n510 abc\n");
  answer(g,
         {"N", "pts.txt", "list.txt", "P", "10", "S", "line.txt", "sec.txt", "N", "bad.txt", "D"});
  d.plot(g, v, -5, lv);
  const std::vector<std::string> pts = {"      510.00        5.00   20.000",
                                        "      535.00       12.50   60.000"};
  auto l = lines_of(slurp("list.txt"));
  ASSERT_GE(l.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(l.begin() + 2, l.begin() + 4), pts);
  // Section points every 10 m along the line, with their distance.
  l = lines_of(slurp("sec.txt"));
  ASSERT_GE(l.size(), 6u);
  const std::vector<std::string> sec = {"      500.00        0.00    0.000        0.00",
                                        "      510.00        0.00   10.000       10.00",
                                        "      520.00        0.00   20.000       20.00",
                                        "      520.00       10.00   40.000       30.00"};
  EXPECT_EQ(std::vector<std::string>(l.begin() + 2, l.begin() + 6), sec);
  EXPECT_EQ(std::string(trim_right(g.msg.lines[0])), "bad.txt line 2: not a number: abc");
}

TEST_F(Contour, SetUpNearestAndShading) {
  Field d(4, 3, 10, [](float x, float y) { return x < 5 ? -9999 : x + 2 * y; });
  std::vector<float> lv(15);
  v.menu.assign(11, std::string(16, ' '));
  int options = 2 | 4;
  float ext[4];
  for (int k = 0; k < 2; ++k)  // a second set-up adds no entries
    grcon1(g, v, 0, d.x.data(), d.y.data(), d.f.data(), 4, 3, 4, 3, lv.data(), options, -9999, ext);
  ASSERT_EQ(v.menu.size(), 20u);
  EXPECT_EQ(v.menu[11], "<NNearest       ");
  EXPECT_EQ(v.menu[18], "-SShading       ");
  EXPECT_EQ(options, 2);
  EXPECT_EQ(std::vector<float>(ext, ext + 4), std::vector<float>({0, 30, 0, 20}));
  EXPECT_EQ(g.n.VLOWGR, 10);
  g.n.XORGR = 1000;
  g.n.XCRSGR = 17;
  g.n.YCRSGR = 14;
  d.plot(g, v, -1, lv);
  EXPECT_EQ(std::string(trim_right(g.msg.lines[0])),
            "(X,Y):    1020.00      10.00 (I,J):    3    2 F:     40.000");
  answer(g, {"1 -2.5", "4", "D"});
  d.plot(g, v, -8, lv);
  EXPECT_EQ(g.n.LITEGR[0], -2.5f);
  EXPECT_EQ(g.n.SHADGR, 1);
  std::string cmd;
  ASSERT_TRUE(grsnext(g, cmd));
  EXPECT_EQ(cmd, grfix("R", 16));
}

// The key settings: 6 classes from 1.5 by 0.5 into the caller's levels,
// then a redraw queued.
TEST_F(Contour, KeySettingsSetTheLevels) {
  Field d(3, 3, 10, [](float x, float) { return x; });
  std::vector<float> lv(kLevelRoom, 0.0f);
  g.n.NCOLGR = 12;
  answer(g, {"1 6", "2 1.5", "3 0.5", "D"});
  d.plot(g, v, kKeySettings, lv);
  EXPECT_EQ(g.n.NCOLGR, 6);
  EXPECT_EQ(std::vector<float>(lv.begin(), lv.begin() + 8),
            (std::vector<float>{1.5f, 2.0f, 2.5f, 3.0f, 3.5f, 4.0f, 4.5f, 0.0f}));
  std::string next;
  ASSERT_TRUE(grsnext(g, next));
  EXPECT_EQ(trim_right(next), "R");
}

TEST_F(Contour, SumCurve) {
  Field d(10, 1, 1, [](float x, float) { return x + 1; });
  const auto l = grsumc(g, d.f.data(), 10, 10, 1, -9999);
  ASSERT_EQ(l.size(), 21u);
  EXPECT_EQ(l[1], "value[ ]  sum[-]");
  EXPECT_EQ(l[2], "    1.000   0.100");
  EXPECT_EQ(l[4], "    2.000   0.200");
  EXPECT_EQ(l[20], "   10.000   1.000");
  // The values are named by the item and its unit; grids say their unit.
  EXPECT_EQ(grsumc(g, d.f.data(), 10, 10, 1, -9999, "Flow Depth [m]")[1], "depth[m]  sum[-]");
  EXPECT_EQ(grsumc(g, d.f.data(), 10, 10, 1, -9999, "Value")[1], "value[ ]  sum[-]");
  const std::pair<const char*, const char*> grids[] = {{"", "Value [m]"},
                                                       {" bedlevel ", "Bed Level [m]"},
                                                       {"leakage", "Leakage [1/s]"},
                                                       {"kst", "kst"}};
  for (const auto& [item, label] : grids) EXPECT_EQ(grid_item_label(item), label) << item;
  EXPECT_EQ(item_unit("Flow Velocity [m/s]  "), "[m/s]");
  EXPECT_EQ(item_unit("Value"), "");
}

#ifdef QF_TEST_HAVE_X11
class ContourWindow : public grtest::WindowTest<ContourWindow> {};

// Rows of pixels and cell polygons give the same colours away from the
// class boundaries.
TEST_F(ContourWindow, PixelRowsMatchCellPolygons) {
  if (!ready()) return;
  Graphics& g = *g_;
  Viewer v;
  Field d(9, 7, 10, [](float x, float y) { return x < 15 && y < 15 ? -9999 : x * x / 40 + y; });
  std::vector<float> lv = {0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 44, 48, 52, 56};
  g.n.NCOLGR = 14;
  g.n.IN12GR = 0;
  g.n.INDSGR = 1;
  graxes(g, 0, 80, 0, 60, 0);
  d.plot(g, v, 0, lv);
  auto image = [&](int raster) {
    v.contour.raster = raster;
    grcler(g, 1);
    d.plot(g, v, 1, lv);
    grdump(g);
    return XGetImage(g.x.display, g.x.pixmap, 0, 0, static_cast<unsigned>(g.x.width),
                     static_cast<unsigned>(g.x.height), AllPlanes, ZPixmap);
  };
  XImage* a = image(1);
  XImage* b = image(-1);
  ASSERT_TRUE(a && b);
  int same = 0, inked = 0;
  for (int y = 0; y < 60; y += 3)
    for (int x = 0; x < 80; x += 3) {
      const int px = static_cast<int>((x + 0.5f - g.n.XMINGR) * g.n.XFACGR + g.n.XORGGR);
      const int py = static_cast<int>((y + 0.5f - g.n.YMINGR) * g.n.YFACGR + g.n.YORGGR);
      bool uniform = true;  // the polygon picture is one colour around the pixel
      for (int k = -3; k <= 3 && uniform; ++k)
        for (int m = -3; m <= 3 && uniform; ++m)
          uniform = XGetPixel(b, px + k, py + m) == XGetPixel(b, px, py);
      if (!uniform) continue;
      EXPECT_EQ(XGetPixel(a, px, py), XGetPixel(b, px, py)) << x << " " << y;
      same += XGetPixel(a, px, py) == XGetPixel(b, px, py);
      inked += XGetPixel(a, px, py) != g.x.bgcolor;
    }
  EXPECT_GT(same, 100);
  EXPECT_GT(inked, 100);
  XDestroyImage(a);
  XDestroyImage(b);
}

// Each item gets its palette: depths light to dark blue, levels a terrain
// ramp without water blue, speeds light yellow to dark red; signed
// components keep the rainbow table.
TEST_F(ContourWindow, PaletteFollowsTheItem) {
  if (!ready()) return;
  Graphics& g = *g_;
  Field d(9, 7, 10, [](float x, float) { return x; });
  struct Rgb {
    int r, g, b;
  };
  struct Case {
    const char* item;
    int mode;
    std::function<bool(Rgb, Rgb)> looks;  // low and high values
  } cases[] = {
      {"Flow Depth [m]", kPaletteDepth,
       [](Rgb lo, Rgb hi) { return lo.b > lo.r && hi.b > hi.r + 60 && lo.r + lo.g > hi.r + hi.g; }},
      {"Water Level [m]", kPaletteTerrain, [](Rgb lo, Rgb) { return lo.g > lo.b + 40; }},
      {"Value", kPaletteTerrain, [](Rgb lo, Rgb) { return lo.g > lo.b + 40; }},
      {"Flow Velocity [m/s]", kPaletteSpeed,
       [](Rgb lo, Rgb hi) {
         return lo.r > 200 && lo.g > 200 && hi.r > hi.b + 80 && hi.g < lo.g - 60;
       }},
      {"X-Velocity [m/s]", 2, [](Rgb, Rgb) { return true; }},
  };
  for (const Case& c : cases) {
    Viewer v;
    std::string texts(240, ' ');
    texts.replace(80, std::string(c.item).size(), c.item);
    std::vector<float> lv(kLevelRoom, 0.0f);
    int options = 6;
    g.n.IN15GR = 1;
    g.n.INDSGR = 1;
    grcont(g, v, d.x.data(), d.y.data(), d.f.data(), 9, 7, 9, 7, texts, lv.data(), -1, options,
           -9999.0f);
    EXPECT_EQ(g.n.CMODGR, c.mode) << c.item;
    grdump(g);
    XImage* im = XGetImage(g.x.display, g.x.pixmap, 0, 0, static_cast<unsigned>(g.x.width),
                           static_cast<unsigned>(g.x.height), AllPlanes, ZPixmap);
    ASSERT_TRUE(im);
    auto at = [&](float x) {
      const int px = static_cast<int>((x - g.n.XMINGR) * g.n.XFACGR + g.n.XORGGR);
      const int py = static_cast<int>((30 - g.n.YMINGR) * g.n.YFACGR + g.n.YORGGR);
      const unsigned long p = XGetPixel(im, px, py);
      return Rgb{static_cast<int>((p >> 16) & 255), static_cast<int>((p >> 8) & 255),
                 static_cast<int>(p & 255)};
    };
    const Rgb lo = at(2), hi = at(78);
    EXPECT_TRUE(c.looks(lo, hi)) << c.item << ": low " << lo.r << "," << lo.g << "," << lo.b
                                 << " high " << hi.r << "," << hi.g << "," << hi.b;
    XDestroyImage(im);
  }
}

// Arrows over the colours: every k-th node so that they stand about 24
// pixels apart, none on empty nodes (left half), a labelled reference arrow.
TEST_F(ContourWindow, ArrowsOverThePlot) {
  if (!ready()) return;
  Graphics& g = *g_;
  Viewer v;
  Field d(101, 61, 1, [](float x, float) { return x; });
  std::vector<float> u(d.f.size(), 1.5f), w(d.f.size(), 0.5f);
  for (std::size_t k = 0; k < u.size(); ++k)
    if (d.x[k] < 50) u[k] = -9999.0f;
  g.n.INDSGR = 1;
  graxes(g, 0, 100, 0, 60, 0);
  std::vector<float> lv = {0, 20, 40, 60, 80, 100};
  g.n.NCOLGR = 5;
  v.contour.arrow_u = u.data();
  v.contour.arrow_v = w.data();
  grcler(g, 1);
  d.plot(g, v, 0, lv);
  d.plot(g, v, 1, lv);
  const float cell = std::fabs(g.n.XFACGR);  // pixels per node
  EXPECT_EQ(grarrows(g, d.x.data(), d.y.data(), u.data(), w.data(), 101, 101, 61, -9999.0f),
            static_cast<int>(std::ceil(kArrowSpacing / cell)));
  grdump(g);
  XImage* im = XGetImage(g.x.display, g.x.pixmap, 0, 0, static_cast<unsigned>(g.x.width),
                         static_cast<unsigned>(g.x.height), AllPlanes, ZPixmap);
  ASSERT_TRUE(im);
  const unsigned long arrow = static_cast<unsigned>(g.n.PIXTAB[grcent(g, 0)]);
  auto ink = [&](float x0, float x1, float y0, float y1) {
    int c = 0;
    for (int py = grdevy(g, y1); py <= grdevy(g, y0); ++py)
      for (int px = grdevx(g, x0); px <= grdevx(g, x1); ++px) c += XGetPixel(im, px, py) == arrow;
    return c;
  };
  EXPECT_EQ(ink(2, 45, 2, 50), 0);    // empty nodes: no arrows
  EXPECT_GT(ink(55, 98, 2, 50), 50);  // arrows on the right half
  const float px = 1 / std::fabs(g.n.XFACGR), py = 1 / std::fabs(g.n.YFACGR);
  EXPECT_GT(
      ink(g.n.XMINGR + 5 * px, g.n.XMINGR + 60 * px, g.n.YMAXGR - 18 * py, g.n.YMAXGR - 6 * py),
      5);  // the reference arrow
  XDestroyImage(im);
}
// Streamlines of a uniform flow: one line through each seed of the
// lattice on water, none entering the cells with empty corners (left half).
TEST_F(ContourWindow, StreamlinesStopAtEmptyNodes) {
  if (!ready()) return;
  Graphics& g = *g_;
  Field d(101, 61, 1, [](float x, float) { return x; });
  std::vector<float> u(d.f.size(), 1.5f), w(d.f.size(), 0.5f);
  for (std::size_t k = 0; k < u.size(); ++k)
    if (d.x[k] < 50) w[k] = -9999.0f;
  g.n.INDSGR = 1;
  graxes(g, 0, 100, 0, 60, 0);
  grcler(g, 1);
  // Lattice nodes k/2, k/2 + k, ... on water (x from 50 m on), k nodes of
  // 1 m about kStreamSpacing pixels.
  const int k = static_cast<int>(std::ceil(kStreamSpacing / std::fabs(g.n.XFACGR)));
  int seeds = 0;
  for (int j = k / 2; j < 60; j += k)
    for (int i = k / 2; i < 100; i += k) seeds += i >= 50;
  ASSERT_GT(seeds, 4);
  EXPECT_EQ(grstreams(g, d.x.data(), d.y.data(), u.data(), w.data(), 101, 101, 61, -9999.0f),
            seeds);
  grdump(g);
  XImage* im = XGetImage(g.x.display, g.x.pixmap, 0, 0, static_cast<unsigned>(g.x.width),
                         static_cast<unsigned>(g.x.height), AllPlanes, ZPixmap);
  ASSERT_TRUE(im);
  const unsigned long ink = static_cast<unsigned>(g.n.PIXTAB[grcent(g, 0)]);
  auto count = [&](float x0, float x1) {
    int c = 0;
    for (int py = grdevy(g, 58); py <= grdevy(g, 2); ++py)
      for (int px = grdevx(g, x0); px <= grdevx(g, x1); ++px) c += XGetPixel(im, px, py) == ink;
    return c;
  };
  EXPECT_EQ(count(2, 48.5f), 0);
  EXPECT_GT(count(51, 98), 200);
  XDestroyImage(im);
}
#endif

}  // namespace
}  // namespace qf
