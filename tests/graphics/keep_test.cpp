// Keep files byte for byte, their replay at the right world place, the keep
// list, the command script queue and the answering path of the dialogs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "graphics/graphics.h"
#include "io/stop.h"
#include "io/textio.h"
#include "tests/graphics/gr_test_util.h"

namespace qf {
namespace {

using grtest::answer;
using grtest::slurp;
using grtest::spit;

class GrKeep : public grtest::ScratchDir {
 protected:
  void start(Graphics& g) {
    grinit(g, 5, 6, "qf", "", 0);
    g.n.XMINGR = g.n.YMINGR = 0;
    g.n.XMAXGR = g.n.YMAXGR = 100;
    g.n.XMNCGR = g.n.YMNCGR = 0;
    g.n.XMXCGR = g.n.YMXCGR = 100;
  }
  void record(Graphics& g, const std::string& prefix) {
    answer(g, {prefix});
    int r = kModeKeep;
    grmode(g, r);
    ASSERT_EQ(g.n.IMODGR, kModeKeep);
  }
};

TEST_F(GrKeep, RecordsByteForByte) {
  Graphics g;
  start(g);
  g.n.XORGR = 1000.5;
  g.n.YORGR = -250;
  record(g, "run 1");
  EXPECT_EQ(g.n.ON3DGR, 1);
  EXPECT_EQ(g.n.PVISGR, 1);
  grcolr(g, 3);
  grcolr(g, 3);  // repeated: no record
  grdash(g, 102);
  grdash(g, 2);    // repeated
  grdash(g, 100);  // style 0: nothing
  grmov2(g, 1.5f, -2.25f);
  grdrw2(g, 100, 0);
  grmov3(g, 1, 2, 3);
  grdrw3(g, -1, 0.5f, 12.25f);
  const float x[6] = {1, 2, 3, 4, 5, 6}, y[6] = {-1, -2, -3, -4, -5, 0.125f};
  grfil2(g, x, y, 6, 4);
  const float z[4] = {10, 20, 30, 40};
  grfil3(g, x, y, z, 4, 9);
  grsymb(g, 305);
  grsymb(g, 300);  // symbol 0: nothing
  granot(g, "~~ 12.5   ", 0);
  g.n.CMODGR = -2;
  g.n.REMAPGR[6] = 17;
  grcolr(g, 7);  // a class colour goes through the remap table
  grcolr(g, 0);  // others do not
  grcolr(g, 25);
  grclos(g);
  EXPECT_EQ(g.n.IMODGR, 0);
  EXPECT_EQ(g.n.PVISGR, 0);
  EXPECT_EQ(g.n.ON3DGR, 0);
  EXPECT_EQ(g.msg.lines[0], grfix("saved on keep file", 100));
  const std::string want =
      "MCOL\n  2\n"
      "RCOL\n  5\n"
      "XORG\n 0.100050000000D+04\n"
      "YORG\n-0.250000000000D+03\n"
      "COLR\n  3\n"
      "DASH\n   2\n"
      "MOV2\n  0.15000000D+01 -0.22500000D+01\n"
      "DRW2\n  0.10000000D+03  0.00000000D+00\n"
      "MOV3\n  0.1000000D+01  0.2000000D+01  0.3000000D+01\n"
      "DRW3\n -0.1000000D+01  0.5000000D+00  0.1225000D+02\n"
      "FIL2\n    6    4    5\n"
      "  0.100000E+01 -0.100000E+01  0.200000E+01 -0.200000E+01  0.300000E+01"
      " -0.300000E+01  0.400000E+01 -0.400000E+01  0.500000E+01 -0.500000E+01\n"
      "  0.600000E+01  0.125000E+00\n"
      "FIL3\n    4    9    5\n"
      "  0.100000E+01 -0.100000E+01  0.100000E+02  0.200000E+01 -0.200000E+01"
      "  0.200000E+02  0.300000E+01 -0.300000E+01  0.300000E+02  0.400000E+01\n"
      " -0.400000E+01  0.400000E+02\n"
      "SYMB\n  305\n"
      "ANOT\n~~ 12.5\n"
      "COLR\n 17\n"
      "COLR\n  0\n"
      "COLR\n 25\n";
  EXPECT_EQ(slurp("run 1.kep"), want);
}

TEST_F(GrKeep, BlankPrefixAndRewrittenFile) {
  Graphics g;
  start(g);
  int r = kModeKeep;
  grmode(g, r);
  EXPECT_EQ(g.n.IMODGR, 0);
  EXPECT_EQ(g.msg.lines[0], grfix("Filename cannot be all blanks", 100));
  spit("old.kep", std::string(5000, 'x'));
  record(g, "old");
  grclos(g);
  EXPECT_EQ(slurp("old.kep").substr(0, 4), "MCOL");
  EXPECT_EQ(slurp("old.kep").find('x'), std::string::npos);
}

// Replays the list into a new keep file and returns what it recorded after
// its header.
std::string replayed(Graphics& g, int mode) {
  answer(g, {"out"});
  int r = kModeKeep;
  grmode(g, r);
  grklst(g, mode);
  grclos(g);
  const std::string s = slurp("out.kep");
  std::size_t p = 0;
  for (int i = 0; i < 8; ++i) p = s.find('\n', p) + 1;
  return s.substr(p);
}

TEST_F(GrKeep, ReplayAtTheSameWorldPlace) {
  Graphics g;
  start(g);
  g.n.XORGR = 1000;
  g.n.YORGR = 2000;
  record(g, "map");
  grcolr(g, 4);
  grmov2(g, 5, 6);
  grdrw2(g, 7.5f, 8);
  const float x[3] = {1, 2, 3}, y[3] = {4, 5, 6};
  grfil2(g, x, y, 3, 2);
  grclos(g);

  g.n.XORGR = 0;
  g.n.YORGR = 0;
  g.keep.names = {grfix("map.kep", 80)};
  g.keep.flags = {1};
  EXPECT_EQ(replayed(g, 3),
            "COLR\n  0\n"
            "COLR\n  4\n"
            "MOV2\n  0.10050000D+04  0.20060000D+04\n"
            "DRW2\n  0.10075000D+04  0.20080000D+04\n"
            "FIL2\n    3    2    5\n"
            "  0.100100E+04  0.200400E+04  0.100200E+04  0.200500E+04  0.100300E+04"
            "  0.200600E+04\n"
            "COLR\n  1\n"
            "DASH\n   1\n");
}

TEST_F(GrKeep, ReplayWithoutOriginRecords) {
  Graphics g;
  start(g);
  g.n.XORGR = 100;
  g.n.YORGR = 50;
  spit("plain.kep",
       "a comment line\n\nMOV2\n 150.0 60.0\nDRW2\n160.0,70.0\nPUTX\nSYMB\n    2\n"
       "ANOT\nGauge 7\n");
  g.keep.names = {grfix("plain.kep", 80)};
  g.keep.flags = {1};
  EXPECT_EQ(replayed(g, 3),
            "COLR\n  0\n"
            "MOV2\n  0.50000000D+02  0.10000000D+02\n"
            "DRW2\n  0.60000000D+02  0.20000000D+02\n"
            "SYMB\n    2\n"
            "ANOT\nGauge 7\n"
            "COLR\n  1\n"
            "DASH\n   1\n");
}

TEST_F(GrKeep, ListPassesMissingAndDamagedFiles) {
  Graphics g;
  start(g);
  spit("one.kep", "MOV2\n1 1\n");
  spit("two.kep", "MOV2\n2 2\n");
  spit("bad.kep", "MOV2\n3 3\nFIL2\n    3    1    5\n 1 2 3 x\n");
  g.keep.names = {grfix("one.kep", 80), grfix("two.kep", 80), grfix("gone.kep", 80)};
  g.keep.flags = {1, 2, 1};
  const std::string pass1 = replayed(g, 3);
  EXPECT_NE(pass1.find("0.10000000D+01"), std::string::npos);
  EXPECT_EQ(pass1.find("0.20000000D+01"), std::string::npos);
  EXPECT_EQ(g.msg.lines[1], grfix("Keep file not found: gone.kep", 100));
  ASSERT_EQ(g.keep.names.size(), 2u);  // the missing one left the list
  const std::string pass2 = replayed(g, 4);
  EXPECT_EQ(pass2.find("0.10000000D+01"), std::string::npos);
  EXPECT_NE(pass2.find("0.20000000D+01"), std::string::npos);
  // A damaged fill record ends the replay; the entry leaves the list.
  g.keep.names = {grfix("bad.kep", 80), grfix("one.kep", 80), grfix("two.kep", 80)};
  g.keep.flags = {1, 1, 1};
  const std::string bad = replayed(g, 3);
  EXPECT_NE(bad.find("0.30000000D+01"), std::string::npos);
  EXPECT_EQ(bad.find("0.10000000D+01"), std::string::npos);
  EXPECT_EQ(g.msg.lines[1], grfix("Error opening: bad.kep", 100));
  ASSERT_EQ(g.keep.names.size(), 2u);
  EXPECT_EQ(g.keep.names[0], grfix("two.kep", 80));
  EXPECT_EQ(g.keep.names[1], grfix("one.kep", 80));
  grklst(g, -1);
  grklst(g, -1);
  grklst(g, -1);
  EXPECT_EQ(g.msg.lines[0], grfix("No more keeps to delete", 100));
}

TEST_F(GrKeep, ScriptQueue) {
  Graphics g;
  start(g);
  answer(g, {"a", "b", "c"});
  EXPECT_EQ(g.n.NSCRGR, 3);
  const std::string one[] = {"Rxxxxxx"};
  grscpt(g, 1, one, 1);  // one command of length 1
  EXPECT_EQ(g.n.NSCRGR, 4);
  EXPECT_EQ(g.n.SCTKGR, 0);
  EXPECT_EQ(g.t.SCRIPT.substr(0, 64),
            grfix("R", 16) + grfix("a", 16) + grfix("b", 16) + grfix("c", 16));
  std::string c;
  ASSERT_TRUE(grsnext(g, c));
  EXPECT_EQ(c, grfix("R", 16));
  ASSERT_TRUE(grsnext(g, c));
  EXPECT_EQ(c, grfix("a", 16));
  // Only the commands not yet taken stay behind the new ones.
  const std::string two[] = {"first command of more than 16", "K"};
  grscpt(g, 2, two, 40);
  EXPECT_EQ(g.n.NSCRGR, 4);
  ASSERT_TRUE(grsnext(g, c));
  EXPECT_EQ(c, "first command of");
  ASSERT_TRUE(grsnext(g, c));
  ASSERT_TRUE(grsnext(g, c));
  ASSERT_TRUE(grsnext(g, c));
  EXPECT_EQ(c, grfix("c", 16));
  EXPECT_FALSE(grsnext(g, c));
  // The queue never grows beyond 10,000 commands.
  std::vector<std::string> many(9999, "X");
  grscpt(g, 9999, many.data(), 1);
  grscpt(g, 2, two, 16);
  EXPECT_EQ(g.n.NSCRGR, kScriptMax);
  ASSERT_TRUE(grsnext(g, c));
  EXPECT_EQ(c, "first command of");
}

TEST_F(GrKeep, DialogAnswers) {
  Graphics g;
  std::ostringstream os;
  g.out = &os;
  start(g);
  std::string a(40, ' ');
  grinpa(g, "Keep prefix", a);
  EXPECT_EQ(a, std::string(40, ' '));
  answer(g, {"plan b"});
  grinpa(g, "Keep prefix", a);
  EXPECT_EQ(a, grfix("plan b", 40));

  std::string labels[5] = {"File prefix", "#hidden", "Lines", "Shape_type", "Field"};
  std::string values[5] = {grfix("x", 20), grfix("h", 20), grfix("_ ", 20),
                           grfix("|1|Point|Arc|Polygon", 24), grfix("v", 20)};
  answer(g, {"1 new", "2", "3 3", "4 depth", "5 zz", "D", "after"});
  grinfo(g, 5, labels, values);
  EXPECT_EQ(values[0], grfix("new", 20));
  EXPECT_EQ(values[1], grfix("h", 20));  // hidden fields are not numbered
  EXPECT_EQ(values[2], grfix("+ ", 20));
  EXPECT_EQ(values[3], grfix("|3|Point|Arc|Polygon", 24));
  EXPECT_EQ(values[4], grfix("depth", 20));
  ASSERT_TRUE(grsnext(g, a));  // the form ended at "D"
  EXPECT_EQ(a, grfix("after", 16));
  // Without a queued answer the form is cancelled.
  grinfo(g, 5, labels, values);
  EXPECT_EQ(values[0], grfix("cancel", 20));
  // A form of hidden fields returns at once.
  std::string h[1] = {"#x"}, hv[1] = {"v"};
  grinfo(g, 1, h, hv);
  EXPECT_EQ(hv[0], "v");
  // Anything else in the queue is fatal.
  answer(g, {"?what"});
  try {
    grinfo(g, 5, labels, values);
    FAIL();
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 1);
  }
  EXPECT_NE(os.str().find("unknown script line: ?what"), std::string::npos);
}

TEST_F(GrKeep, MessageArea) {
  Graphics g;
  start(g);
  for (int i = 1; i <= 7; ++i) grmesg(g, "message " + std::to_string(i));
  ASSERT_EQ(g.msg.lines.size(), 5u);
  EXPECT_EQ(g.msg.lines[0], grfix("message 7", 100));
  EXPECT_EQ(g.msg.lines[4], grfix("message 3", 100));
  EXPECT_EQ(g.msg.history.size(), 7u);
  grmesg(g, "   ");
  EXPECT_TRUE(g.msg.lines.empty());
  for (int i = 0; i < 300; ++i) grmesg(g, "m" + std::to_string(i));
  EXPECT_EQ(g.msg.history.size(), 200u);
  EXPECT_EQ(g.msg.history[199], grfix("m299", 80));
  EXPECT_EQ(g.msg.history[198], grfix("m191", 80));  // 7 + 192 before it
}

}  // namespace
}  // namespace qf

namespace qf {
namespace {

std::vector<std::string> queued(Graphics& g) {
  std::vector<std::string> v;
  std::string c;
  while (grsnext(g, c)) v.push_back(std::string(trim_right(c)));
  return v;
}

TEST_F(GrKeep, ListChosenInAForm) {
  Graphics g;
  start(g);
  grklst(g, 1);
  EXPECT_EQ(g.msg.lines[0], grfix("no keep files found", 100));
  EXPECT_EQ(queued(g), std::vector<std::string>{"K"});
  for (const char* f : {"b.kep", "a.kep", "it's.kep", ".hidden.kep", "note.txt"}) spit(f, "");
  ASSERT_EQ(mkdir("dir.kep", 0755), 0);
  // Fields: a.kep, b.kep, it's.kep (name order; no directory, no hidden file).
  answer(g, {"1", "3", "D"});
  grklst(g, 1);
  EXPECT_EQ(queued(g), (std::vector<std::string>{"R", "K"}));
  EXPECT_EQ(g.keep.names, (std::vector<std::string>{grfix("a.kep", 80), grfix("it's.kep", 80)}));
  EXPECT_EQ(g.keep.flags, (std::vector<int>{1, 1}));
  // Pass 2 takes a.kep over; pass 1 then unticks it's.kep, which leaves.
  answer(g, {"1", "D"});
  grklst(g, 2);
  EXPECT_EQ(g.keep.flags, (std::vector<int>{2, 1}));
  answer(g, {"3 _", "D"});
  grklst(g, 1);
  EXPECT_EQ(g.keep.names, std::vector<std::string>{grfix("a.kep", 80)});
  EXPECT_EQ(g.keep.flags, std::vector<int>{2});
  // A full list has its last entry replaced.
  g.keep.names.assign(kKeepListMax, grfix("x.kep", 80));
  g.keep.flags.assign(kKeepListMax, 2);
  answer(g, {"2", "D"});
  grklst(g, 1);
  ASSERT_EQ(g.keep.names.size(), static_cast<std::size_t>(kKeepListMax));
  EXPECT_EQ(g.keep.names.back(), grfix("b.kep", 80));
  EXPECT_EQ(g.keep.flags.back(), 1);
}

TEST_F(GrKeep, BitmapKeepFiles) {
  Graphics g;
  std::ostringstream err;
  g.err = &err;
  start(g);
  g.n.XORGR = 1000;
  g.n.YORGR = 2000;
  spit("pic.pgm", std::string("P5 2 1 255\n") + std::string(2, '\0'));
  // Placed by its world file.
  spit("pic.tfw", "2.5\n0\n0\n-2.5\n1010\n2090\n");
  answer(g, {"pic.pgm"});
  grklst(g, 5);
  EXPECT_EQ(queued(g), std::vector<std::string>{"R"});
  std::vector<std::string> l = grtest::lines_of(slurp("pic.kep"));
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[0], "BITM");
  EXPECT_EQ(l[1], "'pic.pgm' /");
  auto numbers = [](const std::string& s) {
    std::vector<double> v;
    FreeReader r(s);
    double x = 0;
    while (r.read(x) == ReadStatus::ok) v.push_back(x);
    return v;
  };
  EXPECT_EQ(numbers(l[2]), (std::vector<double>{1010, 2090, 2.5, 2.5, 0}));
  EXPECT_EQ(g.keep.names, std::vector<std::string>{grfix("pic.kep", 80)});
  EXPECT_EQ(g.keep.flags, std::vector<int>{2});
  // A world file line that is no number: message, no keep file.
  std::remove("pic.kep");
  spit("pic.tfw", "2.5\n0\n0\nminus\n1010\n2090\n");
  answer(g, {"pic.pgm"});
  grklst(g, 5);
  EXPECT_EQ(g.msg.lines[0], grfix("world file pic.tfw line 4 is not a number: minus", 100));
  EXPECT_FALSE(std::ifstream("pic.kep").good());
  EXPECT_TRUE(queued(g).empty());
  // Without a world file: the cursor and a form.
  std::remove("pic.tfw");
  answer(g, {"pic.pgm", "P 10 20", "3 0.5", "4 0.25", "D"});
  grklst(g, 5);
  l = grtest::lines_of(slurp("pic.kep"));
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(numbers(l[2]), (std::vector<double>{1010, 2020, 0.5, 0.25, 0}));
  EXPECT_EQ(g.keep.names.size(), 1u);
  // Not a raw bitmap.
  spit("pic.pgm", "P2 2 1 255\n0 0\n");
  spit("new.pgm", "P2 2 1 255\n0 0\n");
  answer(g, {"new.pgm"});
  grklst(g, 5);
  EXPECT_EQ(g.msg.lines[0], grfix("format unknown (accepting raw pbm or pgm)", 100));
  EXPECT_FALSE(std::ifstream("new.kep").good());
  EXPECT_NE(err.str().find("new.pgm: no raw pbm (P4) or pgm (P5) magic number"), std::string::npos);
}

}  // namespace
}  // namespace qf
