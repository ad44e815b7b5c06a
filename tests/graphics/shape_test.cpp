// Shapefiles: the naming form, arcs joined from drawn segments, polygons
// from fills and points from symbols, read back by GDAL's ogrinfo.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <sstream>

#include "graphics/graphics.h"
#include "io/stop.h"
#include "tests/graphics/gr_test_util.h"

namespace qf {
namespace {

using grtest::answer;
using grtest::run;

class GrShape : public grtest::ScratchDir {
 protected:
  void start(Graphics& g) {
    grinit(g, 5, 6, "qf", "", 0);
    g.n.XORGR = 1000;
    g.n.YORGR = 2000;
    g.n.XMINGR = 0;
    g.n.XMAXGR = 100;
    g.n.YMINGR = 0;
    g.n.YMAXGR = 80;
    g.n.XMNCGR = 0;
    g.n.XMXCGR = 100;
    g.n.YMNCGR = 0;
    g.n.YMXCGR = 80;
  }
  // Opens shapefile mode through the form: prefix, field name, shape type.
  void open(Graphics& g, const std::string& prefix, const std::string& field, int type) {
    answer(g, {"1 " + prefix, "2 " + field, "3 " + std::to_string(type), "D"});
    int r = kModeShape;
    grmode(g, r);
    ASSERT_EQ(r, kModeShape);
    ASSERT_EQ(g.n.IMODGR, kModeShape);
  }
  std::string info(const std::string& file) {
    int st = 0;
    std::string out = run("ogrinfo -ro -al " + file, &st);
    EXPECT_EQ(st, 0) << out;
    return out;
  }
  bool has(const std::string& out, const std::string& s) {
    return out.find(s) != std::string::npos;
  }
};

TEST_F(GrShape, FormAndNames) {
  Graphics g;
  start(g);
  g.t.TIT2GR = grfix("Depth 12 h", 80);
  // Without an answer the form is cancelled: nothing happens.
  int r = kModeShape;
  grmode(g, r);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g.n.IMODGR, 0);
  // A blank field name is refused.
  answer(g, {"1 run 1", "3 2", "D"});
  r = kModeShape;
  grmode(g, r);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g.n.IMODGR, 0);
  EXPECT_EQ(g.msg.lines[0], grfix("Filename cannot be all blanks", 100));
  EXPECT_EQ(g.n.SHPTGR, 2);  // taken from the form before the refusal
  // The prefix from the form: blanks become underscores.
  open(g, "run 1", "depth", 2);
  EXPECT_EQ(g.n.SHPAGR, 2);
  EXPECT_EQ(g.t.FLDNGR, grfix("depth", 40));
  grclos(g);
  EXPECT_EQ(g.n.SHPAGR, 1);
  EXPECT_EQ(g.msg.lines[0], grfix("Shapefile done", 100));
  EXPECT_TRUE(grtest::slurp("run_1.shp").size() > 0);
  EXPECT_TRUE(grtest::slurp("run_1.shx").size() > 0);
  EXPECT_TRUE(grtest::slurp("run_1.dbf").size() > 0);
  // The form offers the first word of the subtitle as prefix.
  answer(g, {"2 q", "D"});
  r = kModeShape;
  grmode(g, r);
  ASSERT_EQ(g.n.IMODGR, kModeShape);
  grclos(g);
  EXPECT_TRUE(grtest::slurp("Depth.shp").size() > 0);
  // A blank prefix is refused like a blank field name.
  g.t.TIT2GR = grfix("", 80);
  answer(g, {"2 q", "D"});
  r = kModeShape;
  grmode(g, r);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g.n.IMODGR, 0);
  EXPECT_EQ(g.msg.lines[0], grfix("Filename cannot be all blanks", 100));
  EXPECT_EQ(grtest::slurp(".shp").size(), 0u);
}

TEST_F(GrShape, SegmentsJoinIntoArcs) {
  if (!grtest::have_tool("ogrinfo")) GTEST_SKIP() << "no ogrinfo";
  Graphics g;
  start(g);
  open(g, "arcs", "depth", 2);
  // Two segments drawn in opposite directions between the same points.
  grmov3(g, 10, 10, 1.25f);
  grdrw3(g, 20, 30, 1.25f);
  grmov3(g, 20, 30, 1.25f);
  grdrw3(g, 10, 10, 1.25f);
  // A chain of collinear and bent segments, drawn one after another,
  // outside the clip rectangle as well.
  grmov3(g, 50, 50, 5.5f);
  grdrw3(g, 60, 50, 6);
  grdrw3(g, 70, 50, 6.5f);
  grdrw3(g, 80, 60, 7);
  grdrw3(g, 150, 60, 7);
  grclos(g);
  const std::string out = info("arcs.shp");
  EXPECT_TRUE(has(out, "Geometry: Line String")) << out;
  EXPECT_TRUE(has(out, "Feature Count: 2")) << out;
  EXPECT_TRUE(has(out, "depth: Real (12.3)")) << out;
  EXPECT_TRUE(has(out,
                  "OGRFeature(arcs):0\n  depth (Real) = 1.250\n"
                  "  LINESTRING (1010 2010,1020 2030)"))
      << out;
  EXPECT_TRUE(has(out,
                  "OGRFeature(arcs):1\n  depth (Real) = 5.500\n"
                  "  LINESTRING (1050 2050,1060 2050,1070 2050,1080 2060,1150 2060)"))
      << out;
}

TEST_F(GrShape, FullStoreIsWrittenAndDrawingGoesOn) {
  if (!grtest::have_tool("ogrinfo")) GTEST_SKIP() << "no ogrinfo";
  Graphics g;
  start(g);
  open(g, "long", "z", 2);
  grmov2(g, 0, 0);
  // 39,998 segments of a chain hold 39,999 points: the store is written.
  for (int i = 1; i <= 39998; ++i) grdrw2(g, static_cast<float>(i), 0);
  EXPECT_EQ(g.seg.flushes, 1);
  EXPECT_TRUE(g.seg.x.empty());
  EXPECT_TRUE(g.seg.a.empty());
  grdrw2(g, 40000, 5);
  EXPECT_EQ(g.seg.a.size(), 1u);
  grclos(g);
  EXPECT_EQ(g.seg.flushes, 2);
  const std::string out = info("long.shp");
  EXPECT_TRUE(has(out, "Feature Count: 2")) << out;
  EXPECT_TRUE(has(out, "LINESTRING (40998 2000,41000 2005)")) << out;
  // The first arc holds all 39,999 points in order.
  const std::string one = run("ogrinfo -ro -al -q -fid 0 long.shp");
  const std::size_t p = one.find("LINESTRING (1000 2000,1001 2000,1002 2000,");
  ASSERT_NE(p, std::string::npos) << one.substr(0, 500);
  const std::size_t e = one.find(')', p);
  ASSERT_NE(e, std::string::npos);
  const std::string ls = one.substr(p, e - p + 1);
  EXPECT_EQ(std::count(ls.begin(), ls.end(), ','), 39998);
  EXPECT_EQ(ls.substr(ls.size() - 23), ",40997 2000,40998 2000)");
}

TEST_F(GrShape, PolygonsFromFills) {
  if (!grtest::have_tool("ogrinfo")) GTEST_SKIP() << "no ogrinfo";
  Graphics g;
  start(g);
  open(g, "areas", "class", 3);
  EXPECT_EQ(g.n.SHPAGR, 1);
  const float qx[4] = {10, 20, 20, 10}, qy[4] = {10, 10, 20, 20};
  grfil2(g, qx, qy, 4, 7);
  const float tx[3] = {150, 170, 160}, ty[3] = {10, 10, 30};  // outside the clip rectangle
  grfil2(g, tx, ty, 3, 12);
  grmov2(g, 0, 0);
  grdrw2(g, 5, 5);  // lines are not written to a polygon file
  grsymb(g, 5);     // nor points
  grclos(g);
  const std::string out = info("areas.shp");
  EXPECT_TRUE(has(out, "Geometry: Polygon")) << out;
  EXPECT_TRUE(has(out, "Feature Count: 2")) << out;
  EXPECT_TRUE(has(out, "class: Integer (8.0)")) << out;
  // The ring in reverse order (clockwise), closed.
  EXPECT_TRUE(has(out,
                  "  class (Integer) = 7\n"
                  "  from (Real) = (null)\n"
                  "  to (Real) = (null)\n"
                  "  POLYGON ((1010 2020,1020 2020,1020 2010,1010 2010,1010 2020))"))
      << out;
  EXPECT_TRUE(has(out,
                  "  class (Integer) = 12\n"
                  "  from (Real) = (null)\n"
                  "  to (Real) = (null)\n"
                  "  POLYGON ((1160 2030,1170 2010,1150 2010,1160 2030))"))
      << out;
}

TEST_F(GrShape, PointsFromSymbols) {
  if (!grtest::have_tool("ogrinfo")) GTEST_SKIP() << "no ogrinfo";
  Graphics g;
  start(g);
  open(g, "pts", "level", 1);
  grmov3(g, 12.5f, 7.25f, 431.5f);
  grsymb(g, 302);
  grmov3(g, 40, 50, 433);
  grsymb(g, 5);
  grsymb(g, 0);  // no symbol
  grdrw2(g, 60, 60);
  const float qx[4] = {10, 20, 20, 10}, qy[4] = {10, 10, 20, 20};
  grfil2(g, qx, qy, 4, 7);
  grclos(g);
  const std::string out = info("pts.shp");
  EXPECT_TRUE(has(out, "Geometry: Point")) << out;
  EXPECT_TRUE(has(out, "Feature Count: 2")) << out;
  EXPECT_TRUE(has(out, "level: Real (12.3)")) << out;
  EXPECT_TRUE(has(out, "  level (Real) = 431.500\n  POINT (1012.5 2007.25)")) << out;
  EXPECT_TRUE(has(out, "  level (Real) = 433.000\n  POINT (1040 2050)")) << out;
}

// Past a file-size limit shapelib fails silently: the shape found short is
// said once, naming the file.
TEST_F(GrShape, ShapesCutShortAreSaid) {
  Graphics g;
  std::ostringstream out;
  g.out = &out;
  start(g);
  open(g, "cut", "level", 1);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 400;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  for (int i = 0; i < 15; ++i) {  // the .shp file passes 400 bytes first
    grmov3(g, static_cast<float>(i), 7, 431);
    grsymb(g, 5);
  }
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);
  grclos(g);
  EXPECT_TRUE(g.mode.shape_failed);
  // 100 header bytes and 28 for each point: the 11th shape passed the limit.
  EXPECT_EQ(out.str(), "Error writing: cut.shp (10 shapes for 11 attribute records)\n");
}

TEST_F(GrShape, LibraryFailuresStop) {
  Graphics g;
  std::ostringstream out, err;
  g.out = &out;
  g.err = &err;
  start(g);
  try {
    grshpopen(g, 2, 3, "bad", "f");
    FAIL();
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 11);
  }
  EXPECT_EQ(out.str(), "Argument Type not recognised.\n");
  try {
    grshpopen(g, 7, 1, "bad", "f");
    FAIL();
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 20);
  }
  EXPECT_EQ(out.str(), "Argument Type not recognised.\nShape Type not recognised.\n");
  try {
    grshpopen(g, 2, 1, "nodir/x", "f");
    FAIL();
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 10);
  }
  EXPECT_NE(out.str().find("DBFCreate(nodir/x) failed.\n"), std::string::npos);
  const double x = 1, y = 2, z = 3;
  try {
    grshpadd(g, 1, &x, &y, &z, 0, 0, "missing", 1, 1);
    FAIL();
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 12);
  }
  EXPECT_NE(out.str().find("DBFOpen(missing,\"rb+\") failed.\n"), std::string::npos);
}

}  // namespace
}  // namespace qf
