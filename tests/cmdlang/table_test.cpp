#include "reader_fixture.h"

namespace qf {
namespace {

using testing::ReaderTest;
using Keys = std::vector<std::string_view>;

class TableTest : public ReaderTest {
 protected:
  // Reads a table from the command file with room for `cap` rows.
  int table(int cap, int listing = ch::listing) {
    first_.assign(static_cast<std::size_t>(cap) + 1, -1.0f);
    second_.assign(static_cast<std::size_t>(cap) + 1, -1.0f);
    int count = cap;
    iitbl(io_, msg_, count, first_.data(), second_.data(), ch::command, listing);
    return count;
  }
  std::vector<float> first_, second_;
};

TEST_F(TableTest, RowsAreEchoedAndTheNextKeywordIsKept) {
  const Keys keys = {"inflow", "nx"};
  command("inflow ** 1\n 0.0  5.0\n/ comment\n 0.25,-2.25 99\n.5 1e2\nnx 4\n");
  EXPECT_EQ(next(keys), 1);
  EXPECT_EQ(status_, 1);
  EXPECT_EQ(table(10), 3);
  EXPECT_EQ(first_[0], 0.0f);
  EXPECT_EQ(second_[0], 5.0f);
  EXPECT_EQ(first_[1], 0.25f);
  EXPECT_EQ(second_[1], -2.25f);
  EXPECT_EQ(first_[2], 0.5f);
  EXPECT_EQ(second_[2], 100.0f);
  EXPECT_EQ(next(keys), 2);  // the line that ended the table
  EXPECT_EQ(rest(), "4");
  EXPECT_EQ(body(),
            "     inflow \n"
            "      0.0000      5.0000\n"
            "      0.2500     -2.2500\n"
            "      0.5000    100.0000\n"
            "     nx ");
  EXPECT_EQ(msg_.warnings() + msg_.errors(), 0);
}

TEST_F(TableTest, ContinueShiftsTheTimeAxis) {
  command("continue\n0 1\n10.0 2\ncontinue\n2.0 3\ncontinue\n1 4\n");
  EXPECT_EQ(table(10), 4);
  EXPECT_EQ(first_[0], 0.0f);  // "continue" before any row: no shift
  EXPECT_EQ(first_[1], 10.0f);
  EXPECT_EQ(first_[2], 12.0f);
  EXPECT_EQ(first_[3], 13.0f);
  EXPECT_EQ(listing(),
            "\nCONTINUE /\n      0.0000      1.0000\n     10.0000      2.0000\nCONTINUE /\n"
            "     12.0000      3.0000\nCONTINUE /\n     13.0000      4.0000\n");
}

TEST_F(TableTest, PlusSignStartsARowAndBlankLineEndsTheTable) {
  command("1 2\n3 4\n+5 +6e-1\nnx\n");
  EXPECT_EQ(table(10), 3);
  EXPECT_EQ(first_[2], 5.0f);
  EXPECT_EQ(second_[2], 0.6f);
  std::string l;
  EXPECT_EQ(io_.read_line(ch::command, l), 0);
  EXPECT_EQ(l, "nx");
  io_.close(ch::command);
  command("1 2\n3 4\n\n5 6\n");
  EXPECT_EQ(table(10), 2);
}

TEST_F(TableTest, CapacityExactAndExceeded) {
  command("1 1\n2 2\n3 3\n");
  EXPECT_EQ(table(3), 3);
  EXPECT_EQ(msg_.errors(), 0);
  io_.close(ch::command);
  command("1 1\n2 2\n3 3\n4 4\n5 5\n");
  EXPECT_EQ(table(3), 3);
  EXPECT_EQ(first_[3], -1.0f);  // nothing written past the capacity
  EXPECT_EQ(msg_.errors(), 1);
  EXPECT_NE(listing().find(framed("**error: ", "table size exceeds space")), std::string::npos);
  // The dropped rows were read: the file is at its end.
  std::string l;
  EXPECT_EQ(io_.read_line(ch::command, l), -1);
}

TEST_F(TableTest, FewerThanTwoRowsIsAWarning) {
  command("7 8\nnx\n");
  EXPECT_EQ(table(5), 1);
  EXPECT_EQ(first_[0], 7.0f);
  EXPECT_EQ(listing(),
            "\n      7.0000      8.0000\n" + framed("**warning: ", "found table with <2 rows"));
}

TEST_F(TableTest, IncludeFilesReturnToTheirParent) {
  const std::string inner = file("inner", "5 50\nend of inner\n9 90\n");
  const std::string outer = file("outer", "3 30\ninclude '" + inner + "'\n6 60\n");
  command("1 10\ninclude " + outer + "\n7 70\nnx 1\n");
  EXPECT_EQ(table(10), 5);
  EXPECT_EQ(first_[0], 1.0f);
  EXPECT_EQ(first_[1], 3.0f);
  EXPECT_EQ(first_[2], 5.0f);  // inner ends at its non-row line; 9 90 is not read
  EXPECT_EQ(first_[3], 6.0f);
  EXPECT_EQ(first_[4], 7.0f);
  EXPECT_FALSE(io_.is_open(ch::table_include_first));
  EXPECT_FALSE(io_.is_open(ch::table_include_first + 1));
  std::string l;
  EXPECT_EQ(io_.read_line(ch::command, l), 0);
  EXPECT_EQ(l, "nx 1");
  EXPECT_EQ(scr_.str(), " >include '" + outer + "'\n >include '" + inner + "'\n");
  EXPECT_NE(listing().find("      1.0000     10.0000\n\n/include '" + outer +
                           "'\n      3.0000     30.0000\n\n/include '" + inner + "'\n"),
            std::string::npos);
}

TEST_F(TableTest, IncludeNamesAreFoundNextToTheIncludingFile) {
  std::filesystem::create_directories(dir_ + "/tables/more");
  file("tables/more/t2", "2 20\n");
  file("tables/t1", "1 10\ninclude more/t2\n");
  command("0 0\ninclude tables/t1\n");
  EXPECT_EQ(table(10), 3);
  EXPECT_EQ(first_[2], 2.0f);
  EXPECT_EQ(msg_.warnings(), 0);
  EXPECT_NE(listing().find("/include '" + dir_ + "/tables/more/t2'\n"), std::string::npos);
}

TEST_F(TableTest, TimesGoingBackAreAnErrorAndEqualTimesAStep) {
  const std::string inc = file("inc", "3 1\n2.5 1\n");
  command("0 1\n1 1\n1 5\ncontinue\n0 5\ninclude " + inc + "\nnx\n");
  first_.assign(10, 0.0f);
  second_.assign(10, 0.0f);
  int count = 10;
  iitbl(io_, msg_, count, first_.data(), second_.data(), ch::command, ch::listing, "inflow ");
  EXPECT_EQ(count, 6);
  EXPECT_EQ(msg_.errors(), 1);
  EXPECT_EQ(err_.str(),
            "**error: keyword \"inflow\": table time 3.5000 lies before the time "
            "4.0000 of the row above, file '" +
                inc + "', line 2\n");
}

TEST_F(TableTest, RowsLongerThanTheBufferAreErrorsUnlessOnlyACommentIsCut) {
  command("1 2 / " + std::string(200, 'c') + "\n2 3" + std::string(140, ' ') + "4\n");
  EXPECT_EQ(table(10), 2);
  EXPECT_EQ(second_[1], 3.0f);
  EXPECT_EQ(msg_.errors(), 1);
  EXPECT_EQ(err_.str(),
            "**error: line longer than 132 characters, file '" + dir_ + "/dain', line 2\n");
}

TEST_F(TableTest, MissingIncludeWarningIsCutTo32Characters) {
  command("1 1\ninclude 'no_such_table_file.txt'\n2 2\n");
  EXPECT_EQ(table(5), 2);
  EXPECT_EQ(listing().substr(listing().find("**warning")),
            "**warning: file not found: no_such_table_fi\n" + std::string(47, '*') + "\n\n" +
                "      2.0000      2.0000\n");
}

TEST_F(TableTest, ListingZeroSuppressesTheEcho) {
  command("1 1\ncontinue\n2 2\n");
  EXPECT_EQ(table(5, 0), 2);
  EXPECT_EQ(first_[1], 3.0f);
  EXPECT_EQ(listing(), "");
  EXPECT_EQ(scr_.str(), "");
}

TEST_F(TableTest, RowWithOneValueIsAnErrorAndLeftOut) {
  command("1 1\n2\n3 3\n");
  EXPECT_EQ(table(5), 2);
  EXPECT_EQ(first_[1], 3.0f);
  EXPECT_EQ(msg_.errors(), 1);
  EXPECT_NE(
      listing().find("**error: table row with one value: 2 (file '" + dir_ + "/dain', line 2)"),
      std::string::npos);
}

TEST_F(TableTest, UnreadableRowEndsTheTable) {
  command("1 1\n2 x\n");
  EXPECT_EQ(table(5), 1);
  std::string l;
  EXPECT_EQ(io_.read_line(ch::command, l), 0);
  EXPECT_EQ(l, "2 x");
}

TEST_F(TableTest, EndOfFileInsideTablesAndIncludeLoops) {
  command("1 1\n2 2");  // no line end after the last row
  EXPECT_EQ(table(5), 2);
  io_.close(ch::command);
  const std::string loop = dir_ + "/loop";
  file("loop", "4 4\ninclude " + loop + "\n");
  command("1 1\ninclude " + loop + "\n");
  EXPECT_THROW(table(5), Stop);
  EXPECT_NE(listing().find("**fatal error: include file includes itself: " + loop),
            std::string::npos);
}

}  // namespace
}  // namespace qf
