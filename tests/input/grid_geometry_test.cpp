// Map coordinates against the cells of a grid file. In an ESRI header the
// corner is the outer corner of the south-west cell (or "xllcenter" gives its
// centre), so a point, a source or a polygon given in map coordinates lands
// in the cell that GIS tools report for it; the model's own header gives the
// centre of the first cell.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/input/model_fixture.h"

namespace qf::test {
namespace {

// 4 x 3 cells of 10 m, outer corner 1000/2000; a cell holds
// 10 * row (south row 1) + column.
const std::string kEsri =
    "ncols 4\nnrows 3\nxllcorner 1000.0\nyllcorner 2000.0\ncellsize 10.0\n"
    "NODATA_value -9999\n31 32 33 34\n21 22 23 24\n11 12 13 14\n";

struct Point {
  double x, y;
  float cell;  // value of the cell the point lies in
};
// Points off the cell edges, hand-placed: cell (c, r) spans
// 1000 + 10 (c - 1) .. 1000 + 10 c and 2000 + 10 (r - 1) .. 2000 + 10 r.
const std::vector<Point> kPoints = {
    {1000.5, 2000.5, 11}, {1009.5, 2009.5, 11}, {1010.5, 2000.5, 12}, {1019.0, 2001.0, 12},
    {1001.0, 2021.0, 31}, {1025.0, 2015.0, 23}, {1039.5, 2029.5, 34}, {1031.0, 2019.0, 24},
};

float cell_at(const InputRun& r, double x, double y) {
  int i = 0, j = 0, k = 0;
  getpos(r.m, static_cast<float>(x - r.m.coin.x_origin), static_cast<float>(y - r.m.coin.y_origin),
         i, j, k, nullptr, 0);
  return k > 0 ? r.m.f.zb[static_cast<std::size_t>(k - 1)] : -1.0f;
}

TEST(GridGeometry, EsriCornerAndCentreHeadersPlacePointsInTheirCells) {
  const std::string centre =
      "ncols 4\nnrows 3\nxllcenter 1005.0\nyllcenter 2005.0\ncellsize 10.0\n"
      "NODATA_value -9999\n31 32 33 34\n21 22 23 24\n11 12 13 14\n";
  for (const std::string& grid : {kEsri, centre}) {
    InputRun r;
    r.write("bed.asc", grid);
    r.run(">>grid\ninclude '" + r.path("bed.asc") + "'\n");
    EXPECT_EQ(r.m.coin.x_origin, 1005.0);
    EXPECT_EQ(r.m.coin.y_origin, 2005.0);
    for (const Point& p : kPoints) EXPECT_EQ(cell_at(r, p.x, p.y), p.cell) << p.x << " " << p.y;
  }
  // The model's own header: xllcorner is the centre of the first cell.
  InputRun r;
  r.run(grid4x3);
  EXPECT_EQ(r.m.coin.x_origin, 1000.0);
  EXPECT_EQ(cell_at(r, 1004.0, 2004.0), 11.0f);
  EXPECT_EQ(cell_at(r, 1006.0, 2004.0), 12.0f);
  EXPECT_EQ(cell_at(r, 1004.0, 2006.0), 21.0f);
}

TEST(GridGeometry, SourcePointAndPolygonInMapCoordinates) {
  InputRun r;
  r.write("bed.asc", kEsri);
  r.run(">>grid\ninclude '" + r.path("bed.asc") +
        "'\n>>source\ndischarge 5.0\n"
        "point 1019.0 2001.0\n>>polygon\nerodable\n1001 2001\n1019 2001\n1019 2009\n1001 2009\n");
  // Cell 2 of the southern row: padded column 3, row 2.
  EXPECT_EQ(r.a(2), static_cast<float>(r.m.node(3, 2) + 1));
  // The polygon covers the centres of cells 1 and 2 of the southern row.
  EXPECT_EQ(r.m.coin1.erod_node, (std::vector<int>{r.m.node(2, 2) + 1, r.m.node(3, 2) + 1}));
}

// The cell a GIS reports for each point, when GDAL's tools are installed.
TEST(GridGeometry, SameCellsAsGdal) {
  if (std::system("command -v gdallocationinfo >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no gdallocationinfo";
  InputRun r;
  r.write("bed.asc", kEsri);
  r.run(">>grid\ninclude '" + r.path("bed.asc") + "'\n");
  for (const Point& p : kPoints) {
    const std::string cmd = "gdallocationinfo -valonly -geoloc '" + r.path("bed.asc") + "' " +
                            std::to_string(p.x) + " " + std::to_string(p.y) + " 2>/dev/null";
    FILE* f = popen(cmd.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buf[64] = {};
    const bool got = std::fgets(buf, sizeof buf, f) != nullptr;
    pclose(f);
    ASSERT_TRUE(got) << cmd;
    EXPECT_EQ(cell_at(r, p.x, p.y), std::stof(buf)) << cmd;
  }
}

}  // namespace
}  // namespace qf::test
