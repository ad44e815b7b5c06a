// Table storage written by the input: boundary, source and culvert blocks
// row by row, and the limits of the storage.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "tests/input/model_fixture.h"

namespace qf::test {
namespace {

const std::string stars(47, '*');

std::string frame(const std::string& head, const std::string& text) {
  return "\n" + stars + "\n" + head + text + "\n" + stars + "\n\n";
}

std::string file_text(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Polygon around the west boundary of grid4x3: x -5..5, y -5..25 relative
// to the origin; it holds the west cells of rows 2..4 and the first cell of
// the south and north rows.
const char* west_polygon =
    "995 1995\n"
    "1005 1995\n"
    "1005 2025\n"
    "995 2025\n";

void expect_rows(const InputRun& r, int first, const std::vector<std::pair<float, float>>& rows) {
  for (std::size_t n = 0; n < rows.size(); ++n) {
    const int row = first + static_cast<int>(n);
    EXPECT_FLOAT_EQ(r.a(row), rows[n].first) << "row " << row;
    EXPECT_FLOAT_EQ(r.b(row), rows[n].second) << "row " << row;
  }
}

TEST(BoundaryBlocks, SingleValueBlocksFollowEachOther) {
  InputRun r;
  r.run(">>boundary\ninflow 5.0\nwaterlevel 2.5\n");
  expect_rows(r, 1,
              {{3, 7},
               {0, 0.032f},
               {-1, 0},
               {0, 0},
               {0, 1},
               {0, 5.0f},
               {0, 0},
               {1, 7},
               {0, 0.032f},
               {-1, 0},
               {0, 0},
               {0, 1},
               {0, 2.5f},
               {0, 0}});
  EXPECT_EQ(r.a(15), -9999.0f);
  EXPECT_EQ(r.st.itab, 14);
  EXPECT_EQ(r.listing(),
            "\n/OUTPUT DATE/\n\n"
            " >>boundary\n"
            "   inflow      5.000\n"
            "   waterlevel      2.500\n" +
                frame("**warning: ",
                      "keyword \"inflow\": no location given, the boundary acts "
                      "on no node, file '" +
                          r.path("dain") + "', line 2") +
                " >> \n" +
                frame("**warning: ",
                      "keyword \"waterlevel\": no location given, the boundary "
                      "acts on no node, file '" +
                          r.path("dain") + "', line 3"));
}

TEST(BoundaryBlocks, TableLocationModifiersAndOutputFile) {
  InputRun r;
  const std::string q = r.path("q.txt");
  r.run(std::string(grid4x3) + ">>boundary\ninflow ** > '" + q +
        "'\n0.0 1.0\n1.0 5.5\ncontinue\n1.0 3.0\nlocation\n" + west_polygon +
        "angle 45\nuniform_slope 0.0004\nwidth 12.5\ncross_slope 0.01\n");
  expect_rows(r, 1,
              {{3, 14},
               {45, 0.02f},
               {12.5f, 0.01f},
               {20, 0},
               {0, 3},
               {0, 1},
               {1, 5.5f},
               {2, 3},
               {5, 0},
               {1, 2},
               {1, 3},
               {1, 4},
               {3, 2},
               {4, 2}});
  EXPECT_EQ(r.a(15), -9999.0f);
  const std::string l = r.listing();
  EXPECT_NE(l.find(" >>boundary\n"
                   "   inflow \n"
                   "      0.0000      1.0000\n"
                   "      1.0000      5.5000\n"
                   "CONTINUE /\n"
                   "      2.0000      3.0000\n"
                   "   location \n"
                   "      995.00     1995.00\n"
                   "     1005.00     1995.00\n"
                   "     1005.00     2025.00\n"
                   "      995.00     2025.00\n"
                   "   angle    45.0000\n"
                   "   uniform_slope     0.0004\n"
                   "   width    12.5000\n"
                   "   cross_slope     0.0100\n"
                   " >> \n"),
            std::string::npos)
      << l;
  EXPECT_NE(r.screen().find(" >opening '" + q + "'\n"), std::string::npos);
  r.io.release_held();  // the run starts
  r.msg.iiout(1, " ", ch::listing);
  EXPECT_EQ(file_text(q), "/ TIME[H] DISCHARGE[M3/S] WATERLEVEL[M]\n");
}

TEST(BoundaryBlocks, TideKeepsWorkingRowsAndNextBlockFollows) {
  InputRun r;
  r.run(std::string(grid4x3) + ">>boundary\ntide **\n0 1.0\n6 2.0\nlocation\n" + west_polygon +
        "slope 0.001\n");
  // 6 + 2 series rows + 5 cells + 5 working rows.
  expect_rows(r, 1,
              {{5, 18},
               {0, 0.032f},
               {-1, 0},
               {0, 0},
               {0, 2},
               {0, 1},
               {6, 2},
               {5, 0},
               {1, 2},
               {1, 3},
               {1, 4},
               {3, 2},
               {4, 2},
               {0, 0},
               {0, 0},
               {0, 0},
               {0, 0},
               {0, 0},
               {4, 7}});
  EXPECT_FLOAT_EQ(r.b(24), 0.001f);
  EXPECT_EQ(r.a(26), -9999.0f);
}

TEST(BoundaryBlocks, LocationNeedsGridBlockAndOnlyOnce) {
  {
    InputRun r;
    EXPECT_THROW(r.run(">>boundary\ninflow 1\nlocation\n0 0\n1 0\n1 1\n>>compute\nsteps 2\n"),
                 Stop);
    EXPECT_NE(r.listing().find(frame("**error: ",
                                     "keyword \"location\": no grid read before it, "
                                     "file '" +
                                         r.path("dain") + "', line 3")),
              std::string::npos)
        << r.listing();
    EXPECT_EQ(r.m.coin.max_steps, 2);  // the vertices were read as such
    EXPECT_EQ(r.msg.errors(), 1);
  }
  {
    InputRun r;
    EXPECT_THROW(r.run(std::string(grid4x3) + ">>boundary\nlocation\n" + west_polygon), Stop);
    EXPECT_NE(
        r.listing().find("**error: keyword \"location\": no boundary block to act on, file '" +
                         r.path("dain") + "', line 12\n"),
        std::string::npos)
        << r.listing();
  }
  {
    InputRun r;
    EXPECT_THROW(r.run(std::string(grid4x3) + ">>boundary\ninflow 1\nlocation\n" + west_polygon +
                       "location\n" + west_polygon),
                 Stop);
    EXPECT_NE(
        r.listing().find("**error: keyword \"location\": given twice for one boundary, file '" +
                         r.path("dain") + "', line 18\n"),
        std::string::npos)
        << r.listing();
    EXPECT_EQ(r.a(7), 5.0f);
    EXPECT_EQ(r.st.nd0, 12);
  }
  {
    // Completing keywords never write into another kind of block.
    InputRun r;
    EXPECT_THROW(r.run(">>source\ndischarge 2\n>>boundary\nangle 30\n"), Stop);
    EXPECT_EQ(r.a(2), 0.0f);
    EXPECT_NE(r.listing().find("**error: keyword \"angle\": no boundary block to act on"),
              std::string::npos);
  }
}

TEST(SourceBlocks, PrecipitationDischargeAndLoads) {
  InputRun r;
  r.run(std::string(grid4x3) +
        ">>source\n"
        "precipitation 36\n"
        "discharge 2.5\n"
        "point 1010.0 2020.0\n"
        "tracer_load **\n"
        "0 10\n"
        "2 20\n"
        "point 1000 2000\n"
        "precipitation **\n"
        "0 36\n"
        "1 72\n");
  EXPECT_EQ(r.a(1), 11.0f);
  EXPECT_EQ(r.b(1), 3.0f);
  EXPECT_EQ(r.a(2), 0.0f);
  EXPECT_EQ(r.b(2), 1.0f);
  EXPECT_NEAR(r.b(3), 1.0e-5, 1.0e-11);
  expect_rows(r, 4, {{12, 3}, {21, 1}, {0, 2.5f}, {13, 4}, {8, 2}, {0, 10}, {2, 20}, {11, 4}});
  EXPECT_EQ(r.b(12), 2.0f);
  EXPECT_NEAR(r.b(13), 1.0e-5, 1.0e-11);
  EXPECT_NEAR(r.b(14), 2.0e-5, 2.0e-11);
  EXPECT_EQ(r.a(14), 1.0f);
  EXPECT_EQ(r.a(15), -9999.0f);
  EXPECT_TRUE(r.m.clog.transport);
  ASSERT_EQ(r.m.coin1.item_count, 1);
  EXPECT_EQ(r.m.coin1.item_code[0], 12);
  EXPECT_NE(r.listing().find(" >>source\n"
                             "   precipitation    36.00\n"
                             "   discharge     2.50\n"
                             "   point       1010.0      2020.0\n"
                             "   tracer_load \n"
                             "      0.0000     10.0000\n"
                             "      2.0000     20.0000\n"
                             "   point       1000.0      2000.0\n"),
            std::string::npos)
      << r.listing();
}

TEST(SourceBlocks, ThermalLoadPointOutsideAndPointWithoutSource) {
  InputRun r;
  r.run(std::string(grid4x3) + ">>output\nplot waterlevel\n>>source\nthermal_load 4\npoint 0 0\n");
  EXPECT_EQ(r.a(1), 13.0f);
  EXPECT_EQ(r.a(2), 0.0f);
  EXPECT_EQ(r.b(3), 4.0f);
  ASSERT_EQ(r.m.coin1.item_count, 1);
  EXPECT_EQ(r.m.coin1.item_code[0], 13);
  EXPECT_NE(r.listing().find("   point          0.0         0.0\n" +
                             frame("**warning: ", "position out of model domain")),
            std::string::npos);

  InputRun p;
  EXPECT_THROW(p.run(std::string(grid4x3) + ">>source\npoint 1000 2000\n"), Stop);
  EXPECT_NE(p.listing().find("**error: keyword \"point\": no source block to act on"),
            std::string::npos);
  EXPECT_EQ(p.a(2), 0.0f);
}

TEST(CulvertBlocks, DefaultsModifiersAndRefusedCulvert) {
  InputRun r;
  const std::string c = r.path("c.txt");
  r.run(std::string(grid4x3) +
        ">>structure\n"
        "culvert 1000 2000 1030 2020\n"
        "diameter 0.8\n"
        "height 0.5\n"
        "n 0.02\n"
        "inlet_loss 0.3\n"
        "culvert 1000 2000 1100 2000\n"
        "width 2\n"
        "culvert 1010 2010 1000 2000 > '" +
        c +
        "'\n"
        "kst 40\n");
  expect_rows(r, 1,
              {{14, 6},
               {8, 23},
               {0.8f, 0.5f},
               {50, 0.3f},
               {std::sqrt(1300.0f), 0},
               {0, 0},
               {14, 6},
               {15, 8},
               {1, -1},
               {40, 0.5f},
               {std::sqrt(200.0f), 20},
               {0, 0}});
  EXPECT_EQ(r.a(13), -9999.0f);
  EXPECT_EQ(r.msg.warnings(), 0);  // counted afresh after the summary
  EXPECT_EQ(r.listing(),
            "\n/OUTPUT DATE/\n\n"
            " >>grid\n"
            "   nx     4\n"
            "   ny     3\n"
            "   xllcorner    1000.00\n"
            "   yllcorner    2000.00\n"
            "   dx     10.000\n"
            "   dy     10.000\n"
            " >>structure\n"
            "   culvert      1000.00     2000.00     1030.00     2020.00\n"
            "   diameter       0.80\n"
            "   height       0.50\n"
            "   n      0.020\n"
            "   inlet_loss      0.300\n"
            "   culvert      1000.00     2000.00     1100.00     2000.00\n" +
                frame("**warning: ", "position out of model domain") +
                frame("**warning: ", "culvert out of domain") +
                "   width       2.00\n"
                "   culvert      1010.00     2010.00     1000.00     2000.00\n"
                "   kst     40.000\n"
                " >> \n");
  r.io.release_held();  // the run starts
  r.msg.iiout(1, " ", ch::listing);
  EXPECT_EQ(file_text(c), "/TIME[H] DISCHARGE[M3/S] TYPE (1:CRIT 2=UNI 3=GATED 4=PRESS)\n");
}

TEST(CulvertBlocks, KeywordsWithoutCulvertOrGrid) {
  InputRun r;
  EXPECT_THROW(r.run(">>structure\nculvert 0 0 1 1\ndiameter 1\n"), Stop);
  EXPECT_NE(r.listing().find("**error: keyword \"culvert\": no grid read before it"),
            std::string::npos);
  EXPECT_EQ(r.msg.errors(), 1);  // "diameter" belongs to the refused culvert
  EXPECT_EQ(r.a(1), 0.0f);

  InputRun d;
  EXPECT_THROW(d.run(std::string(grid4x3) + ">>structure\nn 0.03\n"), Stop);
  EXPECT_NE(d.listing().find("**error: keyword \"n\": no culvert block to act on"),
            std::string::npos);

  InputRun z;
  EXPECT_THROW(z.run(std::string(grid4x3) + ">>structure\nculvert 1000 2000 1010 2000\nn 0\n"),
               Stop);
  EXPECT_NE(
      z.listing().find("**error: keyword \"n\": value 0 out of range, Manning n must be above 0"),
      std::string::npos);
  EXPECT_EQ(z.a(4), 50.0f);
}

TEST(TableStorage, BlocksNeverPassTheLastRow) {
  {
    // Fits: rows 99991..99997 and the end marker.
    InputRun r;
    r.st.itab = 99990;
    r.run(">>boundary\ninflow 1\n");
    EXPECT_EQ(r.a(99991), 3.0f);
    EXPECT_EQ(r.b(99991), 7.0f);
    EXPECT_EQ(r.a(99998), -9999.0f);
    EXPECT_EQ(r.msg.errors(), 0);
  }
  {
    // No room for the block: nothing written, the error at the end.
    InputRun r;
    r.st.itab = 99995;
    r.run(">>boundary\ninflow 1\nangle 3\n");
    EXPECT_EQ(r.a(99996), -9999.0f);
    for (int row = 99997; row <= 100001; ++row) {
      EXPECT_EQ(r.a(row), 0.0f) << row;
      EXPECT_EQ(r.b(row), 0.0f) << row;
    }
    EXPECT_EQ(r.msg.errors(), 1);
    EXPECT_NE(r.listing().find(frame("**error: ", "table storage exceeded")), std::string::npos);
  }
  {
    InputRun r;
    r.st.itab = 99999;
    r.run(">>source\nprecipitation 1\n");
    EXPECT_EQ(r.a(100000), -9999.0f);
    EXPECT_EQ(r.a(100001), 0.0f);
    EXPECT_EQ(r.b(100001), 0.0f);
    EXPECT_EQ(r.msg.errors(), 1);
  }
  {
    // A table of exactly the room left fills the storage to its last row.
    InputRun r;
    r.st.itab = 99990;
    r.run(">>boundary\ninflow **\n0 1\n1 2\n2 3\n3 4\n");
    EXPECT_EQ(r.b(99995), 4.0f);
    EXPECT_EQ(r.a(99999), 3.0f);
    EXPECT_EQ(r.b(99999), 4.0f);
    EXPECT_EQ(r.a(100000), 0.0f);  // cell count
    EXPECT_EQ(r.st.itab, 100000);
    EXPECT_EQ(r.a(100001), 0.0f);
    EXPECT_EQ(r.msg.errors(), 1);
    EXPECT_NE(r.listing().find(frame("**error: ", "table storage exceeded")), std::string::npos);
  }
  {
    // One row more: the table reader drops it and the summary stops the run.
    InputRun r;
    r.st.itab = 99990;
    EXPECT_THROW(r.run(">>boundary\ninflow **\n0 1\n1 2\n2 3\n3 4\n4 5\n"), Stop);
    EXPECT_EQ(r.b(99995), 4.0f);
    EXPECT_EQ(r.a(100001), 0.0f);
    EXPECT_NE(r.listing().find("**error: table size exceeds space"), std::string::npos);
  }
  {
    // Boundary cells beyond the last row are dropped.
    InputRun r;
    r.st.itab = 99990;
    r.run(std::string(grid4x3) + ">>boundary\ninflow 1\nlocation\n" + west_polygon);
    EXPECT_EQ(r.a(99997), 3.0f);
    expect_rows(r, 99998, {{1, 2}, {1, 3}, {1, 4}, {0, 0}});
    EXPECT_EQ(r.st.itab, 100000);
    EXPECT_NE(r.listing().find(frame("**error: ", "table storage exceeded")), std::string::npos);
  }
  {
    InputRun r;
    r.st.itab = 99995;
    r.run(std::string(grid4x3) + ">>structure\nculvert 1000 2000 1010 2000\nwidth 3\n");
    EXPECT_EQ(r.a(99996), -9999.0f);
    EXPECT_EQ(r.a(100001), 0.0f);
    EXPECT_EQ(r.msg.errors(), 1);
  }
}

}  // namespace
}  // namespace qf::test
