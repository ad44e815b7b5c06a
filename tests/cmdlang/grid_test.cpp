#include <limits>

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
  // The corner of the south-west cell plus half a cell: its centre.
  EXPECT_EQ(g_.x_origin, 1003.0);
  EXPECT_EQ(g_.y_origin, 2002.75);
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

TEST_F(GridTest, SizesWithoutCellsOrBeyondTheCapacityAreNamed) {
  const struct {
    std::string header, message;
  } cases[] = {
      {"ncols 3\nnrows 0\n", "ncols 3, nrows 0, no cells"},
      {"nx -4\nny 2\n", "nx -4, ny 2, no cells"},
      {"ncols 2147483647\nnrows 2147483647\n",
       "ncols 2147483647, nrows 2147483647, more than 5 values"},
  };
  for (const auto& c : cases) {
    io_.close(ch::command);
    const int before = msg_.errors();
    command(c.header + "1 2 3\n");
    int input = ch::command;
    CmdReader rd(io_, msg_, opt_);
    iigrid(rd, io_, input, ch::listing, 5, g_);
    EXPECT_EQ(g_.nx, 0);
    EXPECT_TRUE(g_.values.empty());
    EXPECT_EQ(msg_.errors() - before, 1) << c.message;
    EXPECT_NE(listing().find("**error: grid '" + dir_ + "/dain': " + c.message + "\n"),
              std::string::npos)
        << listing();
  }
}

TEST_F(GridTest, ExponentNotationIsReadAndAWordEndsTheData) {
  command(">>grid\nbed_level\nnx 4\nny 1\n1 +2\n3.0e1 4.5D-1\nnext_keyword\n");
  read_grid();
  EXPECT_EQ(g_.values, (std::vector<float>{1, 2, 30, 0.45f}));
  EXPECT_EQ(msg_.errors(), 0);
  std::string l;
  EXPECT_EQ(io_.read_line(ch::command, l), 0);
  EXPECT_EQ(l, "next_keyword");  // left for the keyword reader
}

// Too few values, too many, and words that are not numbers: each an error
// naming the file and the line, and the run stops at the input summary.
TEST_F(GridTest, WrongValueCountsAndWordsAreErrors) {
  struct Case {
    std::string data;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"1 2 3\n4 5 6\n", ""},
      {"1 2 3\n", ": 6 values expected (ncols x nrows), 3 read before the end of the file"},
      {"1 2 3\n4 5\n", ": 6 values expected (ncols x nrows), 5 read before the end of the file"},
      {"1 2 3\n4 5 6 7\n", ": 6 values expected (ncols x nrows), 7 read up to line 5"},
      {"1 2 3\n4 5 6\n7\n", ": 6 values expected (ncols x nrows), 7 read up to line 6"},
      {"1 2 3\n4 abc 6\n", ", line 5: 'abc' is not a number"},
      {"1 2..5 3\n4 5 6\n", ", line 4: '2..5' is not a number"},
      {"1 2 3\n4 5 6e\n", ", line 5: '6e' is not a number"},
      {"1 2 3\n4 5 1e39\n", ", line 5: '1e39' lies beyond the range of 32-bit reals"},
      {"1 2 3\n/ a note\n\n4 5 6 / seen\nxllcorner 3\n", ""},
      {"1 2 3\nxllcorner 3\n",
       ": 6 values expected (ncols x nrows), 3 read before line 5 'xllcorner'"},
  };
  int serial = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.data);
    const std::string f =
        file("g" + std::to_string(++serial) + ".asc", "ncols 3\nnrows 2\ncellsize 1\n" + c.data);
    io_.close(ch::command);
    ASSERT_TRUE(io_.open_read(ch::command, f));
    CmdReader rd(io_, msg_, opt_);
    const int before = msg_.errors();
    int input = ch::command;
    err_.str("");
    iigrid(rd, io_, input, ch::listing, 100, g_);
    if (c.message.empty()) {
      EXPECT_EQ(msg_.errors(), before);
      EXPECT_EQ(g_.values, (std::vector<float>{4, 5, 6, 1, 2, 3}));
    } else {
      EXPECT_EQ(msg_.errors(), before + 1);
      EXPECT_EQ(err_.str(), "**error: grid '" + f + "'" + c.message + "\n");
    }
  }
  // The model's own header, and a header with no values after it.
  for (const std::string& text :
       {std::string("nx 2\nny 1\n1\n"), std::string("nx 2\nny 1\n>>\n")}) {
    io_.close(ch::command);
    const std::string f = file("m" + std::to_string(++serial), text);
    ASSERT_TRUE(io_.open_read(ch::command, f));
    Messages msg(io_);  // apart: ten errors above already
    CmdReader rd(io_, msg, opt_);
    int input = ch::command;
    err_.str("");
    iigrid(rd, io_, input, ch::listing, 100, g_);
    EXPECT_EQ(err_.str(), "**error: grid '" + f + "': 2 values expected (nx x ny), " +
                              (text.back() == '\n' && text[text.size() - 2] == '1'
                                   ? "1 read before the end of the file\n"
                                   : "none given\n"));
  }
  // The error count stops the run at the input summary.
  EXPECT_THROW(msg_.iierr(0, "", ch::listing), Stop);
}

TEST_F(GridTest, GdalFloatNoDataValue) {
  command(
      "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
      "NODATA_value -3.4028234663852886e+38\n"
      "-3.40282347e+38 1.5e+02\n");
  int input = ch::command;
  iigrid(rd_, io_, input, ch::listing, 100, g_);
  EXPECT_EQ(msg_.errors(), 0);
  EXPECT_EQ(g_.no_data, -std::numeric_limits<float>::max());
  EXPECT_EQ(g_.values, (std::vector<float>{g_.no_data, 150.0f}));
}

TEST_F(GridTest, RowsOfAnyLengthAndAByteOrderMark) {
  // 15,000 columns of "123.456 ": a row of 120,000 characters.
  std::string row;
  for (int i = 0; i < 15000; ++i) row += i == 14999 ? "-7.125 " : "123.456 ";
  command("\xEF\xBB\xBFncols 15000\nnrows 2\ncellsize 1\n" + row + "\n" + row + "\n");
  int input = ch::command;
  iigrid(rd_, io_, input, ch::listing, 100000, g_);
  EXPECT_EQ(msg_.errors(), 0);
  ASSERT_EQ(g_.values.size(), 30000u);
  EXPECT_EQ(g_.values[0], 123.456f);
  EXPECT_EQ(g_.values[14999], -7.125f);
  EXPECT_EQ(g_.values[29999], -7.125f);
}

TEST_F(GridTest, EsriCornerAndCentreAndTheModelHeader) {
  struct Case {
    std::string header;
    double x, y;
  };
  const std::vector<Case> cases = {
      {"ncols 1\nnrows 1\nxllcorner 100\nyllcorner 200\ncellsize 10\n", 105.0, 205.0},
      {"ncols 1\nnrows 1\ncellsize 10\nxllcenter 100\nyllcenter 200\n", 100.0, 200.0},
      {"ncols 1\nnrows 1\nxllcorner 100\nyllcorner 200\ndx 10\ndy 4\n", 105.0, 202.0},
      {"nx 1\nny 1\nxllcorner 100\nyllcorner 200\ndx 10\ndy 4\n", 100.0, 200.0},
  };
  int serial = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    io_.close(ch::command);
    ASSERT_TRUE(io_.open_read(ch::command, file("h" + std::to_string(++serial), c.header + "7\n")));
    CmdReader rd(io_, msg_, opt_);
    int input = ch::command;
    iigrid(rd, io_, input, ch::listing, 100, g_);
    EXPECT_EQ(g_.x_origin, c.x);
    EXPECT_EQ(g_.y_origin, c.y);
  }
  EXPECT_EQ(msg_.errors(), 0);
}

TEST_F(GridTest, UnknownHeaderKeywordAndUnreadableValue) {
  command("ncols 2\nnrows x\nbyteorder 5\n1 2\n");
  int input = ch::command;
  g_.values = {};
  iigrid(rd_, io_, input, ch::listing, 100, g_);
  EXPECT_EQ(msg_.errors(), 2);
  EXPECT_NE(listing().find("**error: grid header value unreadable: nrows, file '" + dir_ +
                           "/dain', line 2"),
            std::string::npos);
  EXPECT_NE(listing().find("keyword unknown> byteorder, file '" + dir_ + "/dain', line 3"),
            std::string::npos);
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
  EXPECT_EQ(g_.x_origin, 231340.0);       // corner 231335 plus half a cell
  EXPECT_EQ(g_.values.back(), -9999.0f);  // the north-west corner lies outside
}

}  // namespace
}  // namespace qf
