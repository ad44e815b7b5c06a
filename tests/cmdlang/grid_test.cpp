#include "reader_fixture.h"

namespace qf {
namespace {

using testing::ReaderTest;
using Keys = std::vector<std::string_view>;

const Keys kTop = {">>grid"};
const Keys kGridSection = {"bed_level"};

class GridTest : public ReaderTest {
 protected:
  // Reads the command file's grid section down to the grid keyword and then
  // the grid itself.
  void read_grid(long capacity = 1000) {
    ASSERT_EQ(next(kTop), 1);
    ASSERT_EQ(next(kGridSection), 1);
    io_.line(ch::listing);
    iigrid(rd_, io_, input_, ch::listing, capacity, g_);
  }
  GridData g_;
};

const std::string kEsri =
    "ncols 3\n"
    "nrows 2\n"
    "xllcorner 1000.5\n"
    "yllcorner 2000.25\n"
    "cellsize 5\n"
    "NODATA_value -9999.7\n"
    "1 2 3\n"
    "4 5 6\n";

TEST_F(GridTest, EsriFileIncludedInTheGridSectionComesOutSouthFirst) {
  const std::string esri = file("bed.asc", kEsri);
  command(">>grid\nbed_level\ninclude '" + esri + "'\n>>\n");
  read_grid();
  EXPECT_EQ(g_.nx, 3);
  EXPECT_EQ(g_.ny, 2);
  EXPECT_EQ(g_.x_origin, 1000.5);
  EXPECT_EQ(g_.y_origin, 2000.25);
  EXPECT_EQ(g_.dx, 5.0f);
  EXPECT_EQ(g_.dy, 5.0f);
  EXPECT_TRUE(g_.esri);
  EXPECT_EQ(g_.no_data, -9999.7f);
  EXPECT_EQ(g_.values, (std::vector<float>{4, 5, 6, 1, 2, 3}));
  // The section reads on after the include.
  EXPECT_EQ(next(kGridSection), 0);
  EXPECT_EQ(input_, ch::command);
  EXPECT_EQ(body(),
            " >>grid\n"
            "   bed_level \n"
            "\n/include '" +
                esri +
                "'\n"
                "   ncols     3\n"
                "   nrows     2\n"
                "   xllcorner    1000.50\n"
                "   yllcorner    2000.25\n"
                "   cellsize       5.00\n"
                "   NODATA_value      -9999\n"
                "/END_INCLUDE\n"
                " >> \n");
}

TEST_F(GridTest, ModelHeaderKeepsFileOrder) {
  command(
      ">>grid\nbed_level\n"
      "nx 2\nny 3\ndx 1.5\ndy 2.25\nitem 'zb'\nrotate 0\nnodata_value -1\n"
      "1 2\n3 4 5 6\n"
      "next_keyword\n");
  g_.dx = 7.0f;
  read_grid();
  EXPECT_EQ(g_.nx, 2);
  EXPECT_EQ(g_.ny, 3);
  EXPECT_EQ(g_.dx, 1.5f);
  EXPECT_EQ(g_.dy, 2.25f);
  EXPECT_EQ(g_.item, "zb");
  EXPECT_FALSE(g_.esri);
  EXPECT_EQ(g_.no_data, -1.0f);
  EXPECT_EQ(g_.values, (std::vector<float>{1, 2, 3, 4, 5, 6}));
  EXPECT_NE(body().find("   nx     2\n   ny     3\n   dx      1.500\n   dy      2.250\n"
                        "   item  zb              \n   rotate       0.00\n"
                        "   nodata_value         -1\n"),
            std::string::npos)
      << body();
  std::string l;
  EXPECT_EQ(io_.read_line(ch::command, l), 0);
  EXPECT_EQ(l, "next_keyword");
}

TEST_F(GridTest, DefaultsAndCellSizesKeptWhenNotGiven) {
  command(">>grid\nbed_level\nnx 1\nny 1\n7\n");
  g_.dx = 3.0f;
  g_.dy = 4.0f;
  g_.item = "old";
  g_.x_origin = 9.0;
  g_.no_data = 1.0f;
  read_grid();
  EXPECT_EQ(g_.dx, 3.0f);
  EXPECT_EQ(g_.dy, 4.0f);
  EXPECT_EQ(g_.item, "");
  EXPECT_EQ(g_.x_origin, 0.0);
  EXPECT_EQ(g_.no_data, -9999.0f);
  EXPECT_EQ(g_.values, (std::vector<float>{7}));
}

TEST_F(GridTest, GridSectionWordInsideTheGridFile) {
  const std::string f = file("g", ">>grid\nncols 1\nnrows 1\n5\n");
  command(">>grid\nbed_level\ninclude " + f + "\n");
  read_grid();
  EXPECT_EQ(g_.values, (std::vector<float>{5}));
  EXPECT_NE(body().find("\n/include '" + f + "'\n   >>grid\n\n     ncols     1\n"),
            std::string::npos)
      << body();
}

TEST_F(GridTest, LargerThanTheCapacity) {
  command(">>grid\nbed_level\nncols 3\nnrows 2\n1 2 3 4 5 6\n");
  read_grid(5);
  EXPECT_EQ(g_.nx, 0);
  EXPECT_EQ(g_.ny, 0);
  EXPECT_TRUE(g_.values.empty());
  EXPECT_EQ(scr_.str(), " iigrid nxy           6\n");
  // Exactly the capacity is accepted.
  io_.close(ch::command);
  CmdReader rd2(io_, msg_, opt_);
  command("ncols 3\nnrows 2\n1 2 3 4 5 6\n");
  int input = ch::command;
  iigrid(rd2, io_, input, ch::listing, 6, g_);
  EXPECT_EQ(g_.values.size(), 6u);
}

TEST_F(GridTest, ExponentNotationAndMissingValuesEndTheData) {
  command(">>grid\nbed_level\nnx 4\nny 1\n1 2\n3.0e1 4\n");
  g_.values = {9, 9, 9, 9};
  read_grid();
  EXPECT_EQ(g_.values, (std::vector<float>{1, 2, 9, 9}));  // the rest as they were
  std::string l;
  EXPECT_EQ(io_.read_line(ch::command, l), 0);
  EXPECT_EQ(l, "3.0e1 4");  // left for the keyword reader
  io_.close(ch::command);

  CmdReader rd2(io_, msg_, opt_);
  command("nx 3\nny 1\n1\n");  // end of file before all values
  int input = ch::command;
  iigrid(rd2, io_, input, ch::listing, 100, g_);
  EXPECT_EQ(g_.values.size(), 3u);
  EXPECT_EQ(g_.values[0], 1.0f);
}

TEST_F(GridTest, ValuesBeyondTheGridOnTheLastLineAreDropped) {
  command("nx 2\nny 2\n1 2 3\n4 5 6\n7\n");
  int input = ch::command;
  iigrid(rd_, io_, input, ch::listing, 100, g_);
  EXPECT_EQ(g_.values, (std::vector<float>{1, 2, 3, 4}));
  std::string l;
  EXPECT_EQ(io_.read_line(ch::command, l), 0);
  EXPECT_EQ(l, "7");
}

TEST_F(GridTest, MalformedNumberStopsWithFileAndLine) {
  const std::string f = file("bad.asc", "ncols 3\nnrows 1\n1 2..5 3\n");
  command(">>grid\nbed_level\ninclude " + f + "\n");
  try {
    read_grid();
    FAIL() << "no stop";
  } catch (const Stop& s) {
    EXPECT_NE(s.status(), 0);
  }
  EXPECT_EQ(err_.str(), " -->error in input file\n -->file '" + f + "', line 3: '2..5'\n");
}

TEST_F(GridTest, UnknownHeaderKeywordAndUnreadableValue) {
  command("ncols 2\nnrows x\nxllcenter 5\n1 2\n");
  int input = ch::command;
  g_.values = {};
  iigrid(rd_, io_, input, ch::listing, 100, g_);
  EXPECT_EQ(msg_.errors(), 2);
  EXPECT_NE(listing().find("**error: grid header value unreadable: nrows"), std::string::npos);
  EXPECT_NE(listing().find("keyword unknown> xllcenter"), std::string::npos);
  EXPECT_EQ(g_.ny, 0);
  EXPECT_TRUE(g_.values.empty());
}

TEST_F(GridTest, TabsCarriageReturnsAndOddRowCount) {
  command("ncols\t2\r\nnrows 3\r\ncellsize 1\r\n1\t2\r\n3 4\r\n5 6\r\n");
  int input = ch::command;
  iigrid(rd_, io_, input, ch::listing, 100, g_);
  EXPECT_EQ(g_.values, (std::vector<float>{5, 6, 3, 4, 1, 2}));
}

// The real terrain of the valley example, when a copy has been unpacked to
// /tmp/valley-10m.asc (not part of the repository).
TEST_F(GridTest, ValleyTerrainWhenAvailable) {
  const std::string p = "/tmp/valley-10m.asc";
  if (!file_exists(p)) GTEST_SKIP() << "no " << p;
  ASSERT_TRUE(io_.open_read(ch::command, p));
  int input = ch::command;
  iigrid(rd_, io_, input, ch::listing, 8000000, g_);
  EXPECT_EQ(g_.nx, 1378);
  EXPECT_EQ(g_.ny, 1224);
  EXPECT_EQ(g_.values.size(), 1378u * 1224u);
  EXPECT_EQ(g_.x_origin, 231335.0);
  EXPECT_EQ(g_.values.back(), -9999.0f);  // the north-west corner lies outside
}

}  // namespace
}  // namespace qf
