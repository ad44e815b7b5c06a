// Bed-level cells holding the grid's no-data value: the outside mask, the
// wall level, and the input keywords and initialisation that must leave the
// walls alone.
#include <gtest/gtest.h>

#include <string>

#include "model/init.h"
#include "tests/input/model_fixture.h"

namespace qf::test {
namespace {

const std::string stars(47, '*');

std::string frame(const std::string& head, const std::string& text) {
  return "\n" + stars + "\n" + head + text + "\n" + stars + "\n\n";
}

// 4 x 3 cells of 10 m, origin (centre of the first cell) 1000/2000, north
// row first. Outside: column 4
// of the southern row, column 1 of the middle row, columns 1 and 2 of the
// northern row. Highest real bed 34 m: walls at 134 m.
const char* kBed =
    "ncols 4\nnrows 3\nxllcorner 995.0\nyllcorner 1995.0\ncellsize 10.0\n"
    "NODATA_value -9999\n"
    "-9999 -9999 33 34\n"
    "-9999 22 23 24\n"
    "11 12 13 -9999\n";

std::uint8_t out(const InputRun& r, int i, int j) {
  return r.m.f.outside[static_cast<std::size_t>(r.m.node(i, j))];
}

std::string grid_section(InputRun& r) {
  r.write("bed.asc", kBed);
  return ">>grid\ninclude '" + r.path("bed.asc") + "'\n";
}

// Every real cell: x 0..30, y 0..20 relative to the origin.
const char* kAllCells = "995 1995\n1035 1995\n1035 2025\n995 2025\n/\n";

TEST(OutsideCells, NoDataBedLevelsBecomeWallsAboveTheHighestBed) {
  InputRun r;
  r.run(grid_section(r));
  const std::uint8_t want[5][6] = {
      {0, 0, 0, 0, 0, 0},  // southern ghost row
      {0, 0, 0, 0, 1, 0},  // 11 12 13 -
      {0, 1, 0, 0, 0, 0},  // -  22 23 24
      {0, 1, 1, 0, 0, 0},  // -  -  33 34
      {0, 0, 0, 0, 0, 0},  // northern ghost row
  };
  for (int j = 1; j <= 5; ++j) {
    for (int i = 1; i <= 6; ++i) {
      EXPECT_EQ(out(r, i, j), want[j - 1][i - 1]) << i << "," << j;
      if (want[j - 1][i - 1] != 0) {
        EXPECT_EQ(r.zb(i, j), 134.0f) << i << "," << j;
      }
    }
  }
  // Real beds and the ghost ring are unchanged.
  EXPECT_EQ(r.zb(2, 2), 11.0f);
  EXPECT_EQ(r.zb(4, 2), 13.0f);
  EXPECT_EQ(r.zb(5, 4), 34.0f);
  EXPECT_EQ(r.zb(1, 1), 0.001f);
  EXPECT_EQ(r.zb(6, 3), 0.001f);
  EXPECT_EQ(r.screen(), " >include '" + r.path("bed.asc") +
                            "'\n"
                            ">        4 no-data cells outside the model, walls at    134.00 m\n"
                            ">    0.0k cells\n");
  EXPECT_EQ(r.listing().find("no-data"), std::string::npos);
}

TEST(OutsideCells, TheGridsOwnNoDataValueCountsNotMinus9999) {
  InputRun r;
  r.run(
      ">>grid\nnx 3\nny 1\ndx 2.0\ndy 2.0\nnodata_value -1\n"
      "-1 -9999 5.5\n");
  EXPECT_EQ(out(r, 2, 2), 1);
  EXPECT_EQ(out(r, 3, 2), 0);
  EXPECT_EQ(r.zb(3, 2), -9999.0f);
  EXPECT_EQ(r.zb(2, 2), 105.5f);
  EXPECT_EQ(r.screen(),
            ">        1 no-data cells outside the model, walls at    105.50 m\n"
            ">    0.0k cells\n");
}

TEST(OutsideCells, OnlyTheBedLevelItemMarksCellsAndAGridWithoutNoDataNone) {
  InputRun bedrock;
  bedrock.run(">>grid\nnx 2\nny 1\ndx 1.0\ndy 1.0\nitem 'bedrock'\n-9999 3\n");
  InputRun plain;
  plain.run(">>grid\nnx 2\nny 1\ndx 1.0\ndy 1.0\n1 3\n");
  for (const InputRun* r : {&bedrock, &plain}) {
    for (std::uint8_t v : r->m.f.outside) EXPECT_EQ(v, 0);
    EXPECT_EQ(r->screen(), ">    0.0k cells\n");
  }
  EXPECT_EQ(bedrock.m.f.zbr[static_cast<std::size_t>(bedrock.m.node(2, 2))], -9999.0f);
}

TEST(OutsideCells, AGridOfNoDataAloneIsReported) {
  InputRun r;
  r.run(">>grid\nnx 2\nny 1\ndx 1.0\ndy 1.0\n-9999 -9999\n");
  EXPECT_EQ(out(r, 2, 2), 1);
  EXPECT_EQ(out(r, 3, 2), 1);
  EXPECT_EQ(r.zb(2, 2), 100.0f);
  EXPECT_NE(r.listing().find(
                frame("**warning: ", "every bed level is no-data: no cell lies inside the model")),
            std::string::npos)
      << r.listing();
}

TEST(OutsideCells, BedAndWaterPolygonsLeaveTheWallsAlone) {
  InputRun r;
  r.run(">>global\nkst 30\n" + grid_section(r) + ">>polygon\nadd 1.0\n" + kAllCells +
        "bedlevel 50.0\n" + "995 2005\n1035 2005\n1035 2025\n995 2025\n/\n" + "flowdepth 0.5\n" +
        kAllCells + "kst 20\n" + kAllCells + "erodable\n" + kAllCells);
  // "add" raised the real cells, "bedlevel" set the two upper rows.
  EXPECT_EQ(r.zb(2, 2), 12.0f);
  EXPECT_EQ(r.zb(4, 2), 14.0f);
  EXPECT_EQ(r.zb(3, 3), 50.0f);
  EXPECT_EQ(r.zb(5, 4), 50.0f);
  for (auto [i, j] : {std::pair{5, 2}, {2, 3}, {2, 4}, {3, 4}}) {
    EXPECT_EQ(r.zb(i, j), 134.0f) << i << "," << j;
    const auto e = static_cast<std::size_t>(r.m.node(i, j));
    EXPECT_EQ(r.m.f.h[e], 0.0f) << i << "," << j;
    // Roughness is no bed change: it applies (and never matters there).
    EXPECT_EQ(r.m.f.ks[e], 20.0f) << i << "," << j;
  }
  EXPECT_EQ(r.m.f.h[static_cast<std::size_t>(r.m.node(3, 3))], 0.5f);
  // Eight of the twelve cells are inside the model and erodable.
  EXPECT_EQ(r.m.coin1.nerod, 8);
  for (int k : r.m.coin1.erod_node) EXPECT_EQ(r.m.f.outside[static_cast<std::size_t>(k - 1)], 0);
}

TEST(OutsideCells, SourcePointsAndCulvertEndsInNoDataCellsAreRefused) {
  InputRun r;
  r.run(grid_section(r) +
        ">>source\n"
        "discharge 5.0\npoint 1000.0 2020.0\n"
        "discharge 1.0\npoint 1010.0 2010.0\n"
        ">>structure\n"
        "culvert 1010.0 2010.0 1030.0 2000.0\n");
  const std::string warn = frame("**warning: ", "point outside the model (no-data bed level)");
  const std::string listing = r.listing();
  EXPECT_NE(listing.find(warn), std::string::npos) << listing;
  EXPECT_EQ(listing.find(warn, listing.find(warn) + 1), std::string::npos);
  EXPECT_NE(listing.find(frame("**warning: ", "culvert out of domain")), std::string::npos);
  // First block (rows 1..3): no point. Second (rows 4..6): node (3, 3).
  EXPECT_EQ(r.a(1), 12.0f);
  EXPECT_EQ(r.a(2), 0.0f);
  EXPECT_EQ(r.a(4), 12.0f);
  EXPECT_EQ(r.a(5), static_cast<float>(r.m.node(3, 3) + 1));
  // No culvert block follows.
  EXPECT_EQ(r.a(7), table_end);
}

TEST(OutsideCells, InitKeepsTheWallsDryAndTheirSideWallsCountOnlyTheDepth) {
  InputRun r;
  r.run(grid_section(r) + ">>polygon\nwaterlevel 25.0\n" + kAllCells);
  // An initial condition from another model put water on the walls.
  for (std::size_t e = 0; e < r.m.f.h.size(); ++e) {
    if (r.m.f.outside[e] != 0) {
      r.m.f.h[e] = 1.0f;
      r.m.f.q[e] = 0.3f;
    }
  }
  init(r.m, r.io, r.msg);
  for (std::size_t e = 0; e < r.m.f.h.size(); ++e) {
    if (r.m.f.outside[e] == 0) continue;
    EXPECT_EQ(r.m.f.h[e], 0.0f);
    EXPECT_EQ(r.m.f.q[e], 0.0f);
    EXPECT_EQ(r.m.f.ldry[e], 1);
    EXPECT_EQ(r.m.f.af[e], 1.0f);
  }
  // Node (3, 3): bed 22, depth 3. West and north are walls, which rise above
  // the level 25 by 109 m but count only up to it: 3 m each; east (bed 23)
  // 1 m; south (bed 12) nothing. af = 1 + (10 (3 + 1) + 10 (0 + 3)) / 100.
  const auto e = static_cast<std::size_t>(r.m.node(3, 3));
  EXPECT_EQ(r.m.f.ldry[e], 0);
  EXPECT_FLOAT_EQ(r.m.f.af[e], 1.7f);
}

}  // namespace
}  // namespace qf::test
