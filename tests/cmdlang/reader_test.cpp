#include <regex>

#include "reader_fixture.h"

namespace qf {
namespace {

using testing::ReaderTest;
using Keys = std::vector<std::string_view>;

const Keys kTop = {">>grid", ">>global", "title"};
const Keys kGrid = {"nx", "ny", "inflow"};
const Keys kGlobal = {"gravity"};

TEST_F(ReaderTest, SectionsKeywordsCommentsAndTheEndMarker) {
  command(
      ">>grid\n"
      " nx 5 6\n"
      "/ a comment\n"
      "# another\n"
      "   \n"
      "ny\t7\r\n"
      ">>global\n"
      "  gravity 9.81\n"
      ">>\n"
      "title never read\n");
  EXPECT_EQ(next(kTop), 1);
  EXPECT_EQ(rd_.section_level(), 1);
  EXPECT_EQ(next(kGrid), 1);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(rest(), "5 6");
  EXPECT_EQ(line_.size(), 128u);
  io_.line(ch::listing, "5 6");  // the caller completes the echo
  EXPECT_EQ(next(kGrid), 2);
  EXPECT_EQ(rest(), "7");
  io_.line(ch::listing, "7");
  // A section name of the top level ends the section without being consumed.
  EXPECT_EQ(next(kGrid), 0);
  EXPECT_EQ(rd_.section_level(), 0);
  EXPECT_EQ(next(kTop), 2);
  EXPECT_EQ(next(kGlobal), 1);
  EXPECT_EQ(rest(), "9.81");
  io_.line(ch::listing, "9.81");
  EXPECT_EQ(next(kGlobal), 0);
  EXPECT_EQ(next(kTop), 0);  // ">>" read again at top level ends the input
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(body(),
            " >>grid\n"
            "   nx 5 6\n"
            "\n"
            "   ny 7\n"
            " >>global\n"
            "   gravity 9.81\n"
            " >> \n");
  // The header: an empty line, "/OUTPUT dd Mon yyyy hh:mm/" and an empty line.
  EXPECT_TRUE(std::regex_search(listing(), std::regex("^\n/OUTPUT [ 0-9]\\d [A-Z][a-z]{2} \\d{4} "
                                                      "\\d\\d:\\d\\d/\n\n >>grid\n")))
      << listing();
  // Every further call returns 0 again and starts a new listing header.
  EXPECT_EQ(next(kTop), 0);
  EXPECT_EQ(listing().find("/OUTPUT", 10) != std::string::npos, true);
}

TEST_F(ReaderTest, EndOfFileEndsSectionAndInput) {
  command(">>grid\nnx 1\n>>global\n");
  EXPECT_EQ(next(kTop), 1);
  EXPECT_EQ(next(kGrid), 1);
  io_.line(ch::listing);
  EXPECT_EQ(next(kGrid), 0);
  // Two sections in a row: the second has no keywords.
  EXPECT_EQ(next(kTop), 2);
  EXPECT_EQ(next(kGlobal), 0);
  EXPECT_EQ(status_, -1);  // end of the command file
  EXPECT_EQ(next(kTop), 0);
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(body(), " >>grid\n   nx \n >>global\n >> \n");
}

TEST_F(ReaderTest, EmptyFileAndTopLevelKeyword) {
  command("");
  EXPECT_EQ(next(kTop), 0);
  EXPECT_EQ(status_, -1);
  EXPECT_EQ(body(), "");
  io_.close(ch::command);
  command("title  My 'valley'  run\n");
  EXPECT_EQ(next(kTop), 3);
  EXPECT_EQ(rest(), "My 'valley'  run");
  io_.line(ch::listing, rest());
  // Top-level keywords are echoed with five blanks.
  EXPECT_NE(listing().find("\n     title My 'valley'  run\n"), std::string::npos);
}

TEST_F(ReaderTest, TableMarkersReturnStatusAndBlankTheAsterisks) {
  command(">>grid\ninflow 3 ** q\ninflow 4 *** *\nnx 5 * 6\n");
  next(kTop);
  EXPECT_EQ(next(kGrid), 3);
  EXPECT_EQ(status_, 1);
  EXPECT_EQ(rest(), "3    q");
  EXPECT_EQ(next(kGrid), 3);
  EXPECT_EQ(status_, 2);
  EXPECT_EQ(rest(), "4");
  EXPECT_EQ(next(kGrid), 1);
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(rest(), "5 * 6");  // a single asterisk is no marker and stays
}

TEST_F(ReaderTest, UnknownKeywordGivesErrorAndHelpAndReadingGoesOn) {
  command(">>grid\nNX 5\nnx 6\n");
  next(kTop);
  EXPECT_EQ(next(kGrid), 1);  // "NX" is not "nx"
  EXPECT_EQ(rest(), "6");
  EXPECT_EQ(msg_.errors(), 1);
  EXPECT_EQ(body(), " >>grid\n" +
                        framed("**error: ",
                               pad("keyword unknown> NX, file '" + dir_ + "/dain', line 2", 128)) +
                        help(kGrid) + "   nx ");
}

TEST_F(ReaderTest, UnknownSectionAtTopLevelEndsTheInput) {
  command(">>gird\n>>grid\n");
  EXPECT_EQ(next(kTop), 0);
  EXPECT_EQ(msg_.errors(), 1);
  EXPECT_EQ(rd_.section_level(), 0);
  EXPECT_EQ(body(), framed("**error: ",
                           pad("command unknown> >>gird, file '" + dir_ + "/dain', line 1", 128)) +
                        help(kTop));
}

TEST_F(ReaderTest, LongLinesAreCutTo128Characters) {
  const std::string value(200, 'v');
  command("title " + value + "\n");
  EXPECT_EQ(next(kTop), 3);
  EXPECT_EQ(line_, std::string(122, 'v') + std::string(6, ' '));
  // Text cut off is an error naming the place; a long comment line is not.
  EXPECT_EQ(msg_.errors(), 1);
  EXPECT_EQ(err_.str(),
            "**error: line longer than 128 characters, file '" + dir_ + "/dain', line 1\n");
  io_.close(ch::command);
  command("/ " + value + "\ntitle " + std::string(122, 'w') + std::string(30, ' ') + "\n");
  EXPECT_EQ(next(kTop), 3);
  EXPECT_EQ(msg_.errors(), 1);
}

TEST_F(ReaderTest, NumberStopModePushesTheLineBack) {
  command("ncols 3\n-5.0 2 3\n");
  const Keys keys = {"ncols"};
  EXPECT_EQ(next(keys, -1), 1);
  EXPECT_EQ(next(keys, -1), -1);
  std::string again;
  EXPECT_EQ(io_.read_line(ch::command, again), 0);
  EXPECT_EQ(again, "-5.0 2 3");
  // In normal mode the same line is an unknown keyword.
  io_.back(ch::command);
  EXPECT_EQ(next(keys), 0);
  EXPECT_EQ(msg_.errors(), 1);
}

TEST_F(ReaderTest, IncludeFilesNestAndReturn) {
  const std::string inner = file("inner", "ny 2\n");
  const std::string outer = file("outer", "nx 1\ninclude '" + inner + "'\n");
  command(">>grid\ninclude " + outer + "\nny 3\n>>\n");
  EXPECT_EQ(next(kTop), 1);
  EXPECT_EQ(next(kGrid), 1);
  EXPECT_EQ(input_, ch::include_first);
  io_.line(ch::listing, "1");
  EXPECT_EQ(next(kGrid), 2);
  EXPECT_EQ(input_, ch::include_first + 1);
  EXPECT_EQ(rest(), "2");
  EXPECT_EQ(rd_.where(input_), "file '" + inner + "', line 1");
  io_.line(ch::listing, "2");
  EXPECT_EQ(next(kGrid), 2);  // back in the command file after the include line
  EXPECT_EQ(input_, ch::command);
  EXPECT_EQ(rest(), "3");
  EXPECT_EQ(rd_.where(input_), "file '" + dir_ + "/dain', line 3");
  io_.line(ch::listing, "3");
  EXPECT_FALSE(io_.is_open(ch::include_first));
  EXPECT_FALSE(io_.is_open(ch::include_first + 1));
  EXPECT_EQ(next(kGrid), 0);
  EXPECT_EQ(body(), " >>grid\n\n/include '" + outer + "'\n   nx 1\n\n/include '" + inner +
                        "'\n   ny 2\n/END_INCLUDE\n/END_INCLUDE\n   ny 3\n >> \n");
  EXPECT_EQ(scr_.str(), " >include '" + outer + "'\n >include '" + inner + "'\n");
}

TEST_F(ReaderTest, IncludeNamesAreFoundNextToTheIncludingFile) {
  // The command file lies in the scratch folder, not in the working folder.
  std::filesystem::create_directories(dir_ + "/sub");
  file("sub/inner", "nx 1\ninclude 'deeper'\n");
  file("sub/deeper", "\xEF\xBB\xBFny 2\n");
  command("\xEF\xBB\xBF>>grid\ninclude sub/inner\n");
  EXPECT_EQ(next(kTop), 1);
  EXPECT_EQ(next(kGrid), 1);
  EXPECT_EQ(next(kGrid), 2);
  EXPECT_EQ(rest(), "2");
  EXPECT_EQ(msg_.warnings(), 0);
  EXPECT_EQ(scr_.str(),
            " >include '" + dir_ + "/sub/inner'\n >include '" + dir_ + "/sub/deeper'\n");
}

TEST_F(ReaderTest, MissingIncludeFileIsAWarning) {
  command(">>grid\ninclude nowhere nx 4\nnx 5\n");
  next(kTop);
  EXPECT_EQ(next(kGrid), 1);
  EXPECT_EQ(rest(), "5");
  EXPECT_EQ(msg_.warnings(), 1);
  EXPECT_EQ(body(),
            " >>grid\n" + framed("**warning: ", pad("file not found: nowhere", 128)) + "   nx ");
}

TEST_F(ReaderTest, IncludeCyclesStopTheRun) {
  // A file that includes itself.
  const std::string self = dir_ + "/self";
  file("self", "nx 1\ninclude " + self + "\n");
  command(">>grid\ninclude " + self + "\n");
  next(kTop);
  EXPECT_EQ(next(kGrid), 1);
  try {
    next(kGrid);
    FAIL() << "no stop";
  } catch (const Stop& s) {
    EXPECT_NE(s.status(), 0);
  }
  EXPECT_NE(listing().find("**fatal error: include file includes itself: " + self),
            std::string::npos);
  EXPECT_NE(scr_.str().find(" ***fatal error detected"), std::string::npos);
}

TEST_F(ReaderTest, IncludeCycleThroughTwoFilesAndTheCommandFile) {
  file("a", "include " + dir_ + "/b\n");
  file("b", "include " + dir_ + "/a\n");
  command("include " + dir_ + "/a\n");
  EXPECT_THROW(next(kTop), Stop);
  EXPECT_NE(listing().find("includes itself: " + dir_ + "/a"), std::string::npos);

  CmdReader rd2(io_, msg_, opt_);
  io_.close_all();
  io_.open_write(ch::listing, dir_ + "/out2");
  file("c", "include " + dir_ + "/dain\n");
  command("include " + dir_ + "/c\n");
  int input = ch::command, status = 0;
  std::string line;
  EXPECT_THROW(rd2.iicmd(kTop, line, input, ch::listing, status), Stop);
}

TEST_F(ReaderTest, IncludeNestingBeyondTheLastChannelStops) {
  // Six levels fit on channels 45 to 50; the seventh does not.
  for (int i = 1; i <= 7; ++i)
    file("n" + std::to_string(i),
         i < 7 ? "include " + dir_ + "/n" + std::to_string(i + 1) + "\n" : "nx 1\n");
  command("include " + dir_ + "/n2\n>>\n");
  // Through n2 .. n7: six levels, the keyword of n7 is read on channel 50.
  EXPECT_EQ(next(kGrid), 1);
  EXPECT_EQ(input_, ch::include_last);
  io_.close_all();
  io_.open_write(ch::listing, dir_ + "/out2");
  CmdReader rd2(io_, msg_, opt_);
  command("include " + dir_ + "/n1\n");
  int input = ch::command, status = 0;
  std::string line;
  EXPECT_THROW(rd2.iicmd(kGrid, line, input, ch::listing, status), Stop);
  EXPECT_NE(testing::slurp(dir_ + "/out2")
                .find("**fatal error: include files nested too deeply: " + dir_ + "/n7"),
            std::string::npos);
}

TEST_F(ReaderTest, OptionBlocksAndAlternatives) {
  opt_.collect({"dain", "@wet,hot"});
  command(
      "{dry\n"
      " nx 1\n"
      "|hot\n"
      " nx 2\n"
      "|\n"
      " nx 3\n"
      "}\n"
      "{wet ny 4 }\n"
      "{dry ny 5 }\n"
      "{\n"
      " ny 6\n"
      "}\n"
      "{dry,hot {dry\n"
      " nx 7\n"
      " } |\n"
      " nx 8\n"
      "}}\n"
      "{dry\n"
      " {wet\n"
      "  nx 9\n"
      " }\n"
      "}\n"
      "nx 10\n");
  std::vector<std::string> got;
  for (int k; (k = next(kGrid)) > 0;) {
    got.push_back(std::string(kGrid[k - 1]) + " " + rest());
    io_.line(ch::listing);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"nx 2", "ny 4", "ny 6", "nx 8", "nx 10"}));
  EXPECT_EQ(rd_.option_depth(), 0);
  EXPECT_EQ(scr_.str(), "warning: option must have name\n");
}

TEST_F(ReaderTest, NoRunOptionsSelectsOnlyBareAlternatives) {
  command("{wet\nnx 1\n|\nnx 2\n}\n|x nx 3\n|\nnx 4\n");
  EXPECT_EQ(next(kGrid), 1);
  EXPECT_EQ(rest(), "2");
  // A stray "|x" outside any block that is not selected is an unknown keyword;
  // a stray bare "|" is taken once.
  EXPECT_EQ(next(kGrid), 1);
  EXPECT_EQ(rest(), "4");
  EXPECT_EQ(msg_.errors(), 1);
  EXPECT_NE(listing().find("keyword unknown> |x"), std::string::npos);
}

TEST_F(ReaderTest, EndOfFileInsideAnOptionBlock) {
  command("{wet\nnx 1\n");
  EXPECT_EQ(next(kTop), 0);
  EXPECT_EQ(scr_.str(), " >warning: end of option expected!\n");
  EXPECT_EQ(status_, -1);
  // Inside a section the end of file is not skipped by the unread block.
  io_.close(ch::command);
  CmdReader rd2(io_, msg_, opt_);
  command(">>grid\n{wet\nnx 1\n");
  int input = ch::command, status = 0;
  std::string line;
  EXPECT_EQ(rd2.iicmd(kTop, line, input, ch::listing, status), 1);
  EXPECT_EQ(rd2.iicmd(kGrid, line, input, ch::listing, status), 0);
  EXPECT_EQ(rd2.iicmd(kTop, line, input, ch::listing, status), 0);
}

TEST_F(ReaderTest, IncludeFileEndingInsideAParentBlock) {
  opt_.collect({"@wet"});
  const std::string inc = file("inc", "nx 1\n");
  command("{wet\ninclude " + inc + "\nny 2\n}\nny 3\n");
  EXPECT_EQ(next(kGrid), 1);
  EXPECT_EQ(next(kGrid), 2);
  EXPECT_EQ(rest(), "2");
  EXPECT_EQ(next(kGrid), 2);
  EXPECT_EQ(rest(), "3");
  EXPECT_EQ(scr_.str(), " >include '" + inc + "'\n");
}

TEST_F(ReaderTest, MoreThanAHundredNestedBlocks) {
  opt_.collect({"@wet"});
  std::string text;
  for (int i = 0; i < 102; ++i) text += "{wet\n";
  text += "nx 1\n";
  for (int i = 0; i < 102; ++i) text += "}\n";
  text += "{dry\n";
  for (int i = 0; i < 101; ++i) text += "{wet\n";
  text += "nx 2\n";
  for (int i = 0; i < 102; ++i) text += "}\n";
  text += "ny 3\n";
  command(text);
  EXPECT_EQ(next(kGrid), 1);
  EXPECT_EQ(rest(), "1");
  EXPECT_EQ(rd_.option_depth(), 102);
  EXPECT_EQ(msg_.errors(), 2);  // for block 101 and block 102
  EXPECT_NE(listing().find("**error: more than 100 nested option blocks"), std::string::npos);
  EXPECT_EQ(next(kGrid), 2);  // the blocks inside "{dry" are not read
  EXPECT_EQ(rest(), "3");
  EXPECT_EQ(rd_.option_depth(), 0);
}

TEST_F(ReaderTest, BinaryAndControlBytesDoNotUpsetTheReader) {
  std::string text = ">>grid\n";
  text += std::string("\0nx\0\t5\x01\r\n", 10);  // NUL, tab and control characters
  text += "\x7f\xff\xfe\n";                      // not a keyword
  text += "ny 6\r\n";
  command(text);
  EXPECT_EQ(next(kTop), 1);
  EXPECT_EQ(next(kGrid), 1);
  FreeReader fr(line_);
  int v = 0;
  EXPECT_EQ(fr.read(v), ReadStatus::ok);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(next(kGrid), 2);
  EXPECT_EQ(rest(), "6");
  EXPECT_EQ(msg_.errors(), 1);
  EXPECT_NE(listing().find("keyword unknown> \x7f\xff\xfe"), std::string::npos);
}

TEST_F(ReaderTest, RandomBytesEndInAnErrorStopNotACrash) {
  std::string text;
  unsigned s = 12345;
  for (int i = 0; i < 4000; ++i) {
    s = s * 1103515245u + 12345u;
    text += static_cast<char>((s >> 16) & 0xff);
  }
  command(text);
  try {
    for (int i = 0; i < 100 && next(kTop) != 0;) ++i;
    for (int i = 0; i < 100 && next(kGrid) != 0;) ++i;
  } catch (const Stop&) {
    EXPECT_GT(msg_.errors() + 1, 10);  // the eleventh error
  }
}

TEST(Options, CollectAndEvaluate) {
  std::ostringstream scr;
  Options opt;
  opt.collect({"dain", "@wet,hot"});
  EXPECT_EQ(opt.names(), (std::vector<std::string>{"wet", "hot"}));
  EXPECT_EQ(opt.evaluate("{dry,hot", scr), 1);
  EXPECT_EQ(opt.evaluate("{dry", scr), 0);
  EXPECT_EQ(opt.evaluate("|wet", scr), 1);
  EXPECT_EQ(opt.evaluate("{Wet", scr), 0);  // case matters
  EXPECT_EQ(opt.evaluate("|", scr), 1);
  EXPECT_EQ(scr.str(), "");
  EXPECT_EQ(opt.evaluate("{", scr), 1);
  EXPECT_EQ(scr.str(), "warning: option must have name\n");

  Options two;
  two.collect({"x@y", "@a@b", "@c,", "@d,,e"});
  // Arguments not starting with the marker are ignored; a second marker
  // restarts the name; a trailing comma stays part of the last name.
  EXPECT_EQ(two.names(), (std::vector<std::string>{"b", "c,", "d", "", "e"}));

  Options none;
  none.collect({"dain"});
  EXPECT_TRUE(none.names().empty());
  EXPECT_EQ(none.evaluate("{wet", scr), 0);
  EXPECT_EQ(none.evaluate("|", scr), 1);
}

TEST(Options, AtMostAHundredNamesTheLastOverwritten) {
  std::vector<std::string> args;
  for (int i = 1; i <= 102; ++i) args.push_back("@o" + std::to_string(i));
  // An argument is cut to 128 characters; the cut ends the last name.
  args.push_back("@" + std::string(126, 'x') + ",yz");
  Options opt;
  opt.collect(args);
  ASSERT_EQ(opt.names().size(), 100u);
  EXPECT_EQ(opt.names()[98], "o99");
  EXPECT_EQ(opt.names()[99], std::string(126, 'x') + ",");
}
}  // namespace
}  // namespace qf
