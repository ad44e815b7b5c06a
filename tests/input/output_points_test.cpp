// Gauges and the projection of >>output: where a gauge lands, the messages
// for gauges without a cell, and where the projection of a run comes from.
#include <gtest/gtest.h>

#include "model/projection.h"
#include "tests/input/model_fixture.h"

namespace qf::test {
namespace {

// 3 x 2 cells of 10 m, first cell centre (1000, 2000); the middle cell of
// the north row holds the no-data value.
const std::string kGrid =
    ">>grid\nncols 3\nnrows 2\nxllcorner 995\nyllcorner 1995\ncellsize 10\nNODATA_value -9999\n"
    "5 -9999 5\n4 4 4\n";

TEST(Gauges, CellsAndMessages) {
  struct Case {
    const char* line;
    int i, j, k;          // cell expected (k 0: none)
    const char* message;  // text of the warning or error; blank: none
  };
  const Case cases[] = {
      {"gauge 1000 2000 'sw'", 1, 1, 1 + 1 + 1 * 5, ""},
      {"gauge 1024.9 2014.9 'ne corner'", 3, 2, 3 + 1 + 2 * 5, ""},
      {"gauge 1030 2000 'east'", 0, 1, 0,
       "**warning: keyword \"gauge\": gauge 'east' lies outside the grid, no values, file '"},
      {"gauge 1010 2010 'hill'", 2, 2, 0,
       "**warning: keyword \"gauge\": gauge 'hill' lies on a no-data cell outside the model, "
       "no values, file '"},
  };
  for (const Case& c : cases) {
    InputRun r;
    r.run(kGrid + ">>output\n" + c.line + "\n");
    ASSERT_EQ(r.m.coin1.gauges.size(), 1u) << c.line;
    const Gauge& g = r.m.coin1.gauges[0];
    EXPECT_EQ(g.k, c.k) << c.line;
    if (c.k != 0) {
      EXPECT_EQ(std::make_pair(g.i, g.j), std::make_pair(c.i, c.j)) << c.line;
    }
    const std::string l = r.listing();
    if (*c.message == '\0') {
      EXPECT_EQ(l.find("**warning"), std::string::npos) << l;
    } else {
      EXPECT_NE(l.find(c.message + r.path("dain") + "', line 11"), std::string::npos) << l;
    }
  }
  InputRun twice;
  EXPECT_THROW(twice.run(kGrid + ">>output\ngauge 1000 2000 'a'\ngauge 1010 2000 'a'\n"), Stop);
  EXPECT_NE(
      twice.listing().find("gauge 'a' is named twice, file '" + twice.path("dain") + "', line 12"),
      std::string::npos);
}

TEST(Projection, KeywordAndBedGrid) {
  const std::string wkt = "PROJCS[\"x\",GEOGCS[\"y\"]]";
  InputRun code;
  code.run(kGrid + ">>output\ncrs epsg:27700\n");
  EXPECT_EQ(run_projection(code.m).text, "EPSG:27700");
  EXPECT_FALSE(run_projection(code.m).wkt);

  // The .prj beside an included bed grid; "crs" with a WKT file overrides it.
  InputRun bed;
  bed.write("bed.asc", kGrid.substr(7));
  bed.write("bed.prj", "\n" + wkt + "\n\n");
  bed.write("other.wkt", "GEOGCS[\"z\"]");
  bed.run(">>grid\ninclude '" + bed.path("bed.asc") + "'\n");
  EXPECT_EQ(run_projection(bed.m).text, wkt);
  EXPECT_EQ(run_projection(bed.m).from, bed.path("bed.prj"));
  bed.m.cochar.crs = bed.path("other.wkt");
  EXPECT_EQ(run_projection(bed.m).text, "GEOGCS[\"z\"]");

  InputRun bad;
  bad.write("notes.txt", "EPSG 27700");
  EXPECT_THROW(bad.run(kGrid + ">>output\ncrs '" + bad.path("notes.txt") + "'\n"), Stop);
  EXPECT_NE(bad.listing().find("is neither an EPSG code (EPSG:number) nor a readable file of WKT "
                               "text, file '"),
            std::string::npos);

  EXPECT_EQ(grid_prj_path("run.1/maxdepth.asc"), "run.1/maxdepth.prj");
  EXPECT_EQ(grid_prj_path("run.1/maxdepth"), "run.1/maxdepth.prj");
  EXPECT_EQ(file_prj_path("valley.res"), "valley.res.prj");
}

}  // namespace
}  // namespace qf::test
