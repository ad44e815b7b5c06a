// The field editor: operators, the division flag, the generator, polygons
// from the queue and from files, the listing read back, and the dike
// workflow (Alter and Write Grid in the loop, then a model run on the grid).
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "io/textio.h"
#include "tests/graphics/gr_test_util.h"
#include "tests/viewer/viewer_test_util.h"
#include "viewer/viewer.h"

namespace qf {
namespace {

using grtest::answer;
using grtest::lines_of;
using grtest::slurp;
using grtest::spit;

class Alter : public grtest::ViewerScript {
 protected:
  void SetUp() override {
    ViewerScript::SetUp();
    for (int j = 0; j < 5; ++j)
      for (int i = 0; i < 5; ++i) x.push_back(i), y.push_back(j), f.push_back(10 * j + i);
  }
  void edit(const std::vector<std::string>& cmds) {
    answer(g, cmds);
    gralter(g, v, 1, 5, 5, 5, x.data(), y.data(), f.data(), nullptr);
  }
  bool said(const std::string& m) {
    for (const std::string& h : g.msg.history)
      if (trim_right(h).find(m) != std::string_view::npos) return true;
    return false;
  }
  std::vector<float> x, y, f;
};

TEST(AlterOps, OperatorsAndFlags) {
  struct Case {
    const char* op;
    float value, want;
    int code, flag;
  } cases[] = {{"=1.0", 5, 1, 1, 0}, {"+1.0", 5, 6, 2, 0},  {" -1.5", 5, 3.5, 3, 0},
               {"*2", 5, 10, 4, 0},  {"/4", 5, 1.25, 5, 0}, {"/0", 5, 0, 5, 1},
               {"<5", 7, 5, 6, 0},   {"<5", 3, 3, 6, 0},    {">0", -2, 0, 7, 0},
               {"+x", 5, 5, 0, 2},   {"#1", 5, 5, 0, 2},    {"", 5, 5, 0, 2}};
  for (const Case& c : cases) {
    float num = 99;
    const int code = igetop(c.op, num);
    int flag = 0;
    EXPECT_EQ(code, c.code) << c.op;
    if (code == 0) {
      EXPECT_EQ(num, 0) << c.op;
    }
    EXPECT_FLOAT_EQ(valoper(c.value, num, code, flag), c.want) << c.op;
    EXPECT_EQ(flag, c.flag) << c.op;
  }
}

TEST(AlterOps, GeneratorWrapsIn32Bits) {
  Graphics g;
  std::int32_t seed = 1;
  // The third product overflows 32 bits; the fourth seed is negative.
  const std::int32_t want[5] = {16807, 282475249, 1622647863, -1199696159, 1578110407};
  for (std::int32_t w : want) {
    EXPECT_FLOAT_EQ(rgrand(g, seed), static_cast<float>(std::abs(w) / 2147483648.0));
    EXPECT_EQ(seed, w);
  }
}

TEST_F(Alter, FillFromTheQueueAndItsListingReadBack) {
  edit({"O", "+1.5", "F", "P 0.5 0.5", "P 2.5 0.5", "P 9 9", "U", "P 2.5 2.5", "P 0.5 2.5", "D",
        "D"});
  const std::vector<float> edited = f;
  for (int k : {6, 7, 11, 12}) EXPECT_FLOAT_EQ(f[k], 10 * (k / 5) + k % 5 + 1.5f) << k;
  EXPECT_FLOAT_EQ(f[8], 13);
  // The undone vertex is not in the listing.
  EXPECT_EQ(lines_of(os.str()),
            (std::vector<std::string>{"fill +1.5", "       0.500       0.500 /",
                                      "       2.500       0.500 /", "       2.500       2.500 /",
                                      "       0.500       2.500 /", "end"}));
  spit("session.txt", os.str() + "0.5 0.5 /xy value line\n");
  for (int k = 0; k < 25; ++k) f[k] = 10 * (k / 5) + k % 5;
  edit({" ", "session.txt", "D"});
  EXPECT_EQ(f, edited);
  EXPECT_EQ(v.alter.code, 0);  // reset after the file
}

TEST_F(Alter, TwoBlockFileAppliesBothInOrder) {
  spit("poly.txt",
       "# dike\nfill +1.0\n-0.5 -0.5\n3.5 -0.5\n3.5 3.5\n-0.5 3.5\n"
       "fill =0.0\n-0.5 -0.5\n1.5 -0.5\n1.5 1.5\n-0.5 1.5\nend\n");
  edit({" ", "poly.txt", "D"});
  EXPECT_EQ(f[0], 0);
  EXPECT_EQ(f[6], 0);
  EXPECT_EQ(f[2], 3);    // first block only
  EXPECT_EQ(f[18], 34);  // first block only: 33 + 1
  EXPECT_EQ(f[4], 4);    // outside both
}

TEST_F(Alter, AllAndUnavailableEntries) {
  struct Case {
    std::vector<std::string> cmds;
    float f7;  // node (3, 2), 12 before
    const char* message;
  } cases[] = {{{"O", "/0", "A", "D"}, 0, "division by (near) zero"},
               {{"O", "+x", "A", "F", "D"}, 12, "Operation not defined"},
               {{"O", ">20", "A", "D"}, 20, ">     20.0000"},
               {{"O", "*0.001", "A", "D"}, 0.012f, "*  0.1000E-02"}};
  for (const Case& c : cases) {
    for (int k = 0; k < 25; ++k) f[k] = 10 * (k / 5) + k % 5;
    edit(c.cmds);
    EXPECT_FLOAT_EQ(f[7], c.f7) << c.cmds[1];
    EXPECT_TRUE(said(c.message)) << c.cmds[1];
  }
}

TEST_F(Alter, VectorPlotAltersBothComponents) {
  std::vector<float> u(x.size(), 1.0f), w(x.size(), -2.0f);
  answer(g, {"O", "*3", "A", "D"});
  float ext[4];
  grvec1(g, v, -5, x.data(), y.data(), u.data(), w.data(), 5, 5, 5, 5, ext);
  EXPECT_EQ((std::pair{u[24], w[24]}), (std::pair{3.0f, -6.0f}));
}

TEST_F(Alter, UndoOfTheOnlyVertexLeavesItEmpty) {
  std::vector<float> px, py;
  int n = kPolygonStore;
  float box[4];
  answer(g, {"P 1 1", "U", "D"});
  igplyp(g, v, px, py, n, box);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(os.str(), "end\n");
}

TEST_F(Alter, PolygonFilesEndSafely) {
  struct Case {
    std::string text;
    int cap, count, end;
    const char* next;  // line handed back
  } cases[] = {{"0 0\n1 0\nabc\n", 10, 2, kPolyNotVertex, "abc"},
               {"0 0\n# c\n1 0\n1 1\nend\n", 10, 3, kPolyEndLine, ""},
               {"0 0\n1 0\n1 1\n2 2\n3 3\nfill +1\n", 3, 3, kPolyFull, "fill +1"},
               {"0 0\n1 0\n", 10, 2, kPolyEof, ""}};
  for (const Case& c : cases) {
    spit("p.txt", c.text);
    ASSERT_TRUE(g.files.open(97, "p.txt", "r"));
    AlterState s;
    s.file_open = true;
    s.file = "p.txt";
    std::vector<float> px, py;
    int n = c.cap;
    float box[4];
    EXPECT_EQ(igplyf(g, s, 97, px, py, n, box), c.end) << c.text;
    EXPECT_EQ(n, c.count) << c.text;
    EXPECT_EQ(s.has_pushed ? s.pushed : "", c.next) << c.text;
    g.files.close(97);
  }
  EXPECT_TRUE(said("polygon longer than 3 vertices: rest skipped at line 4 of p.txt"));
}

// The channel example's bed as the browser holds it: node (i, j) at
// (5 i, 5 j) from the origin of the lower left cell centre.
struct Bed {
  int nx = 0, ny = 0;
  double x0 = 0, y0 = 0;
  std::vector<float> x, y, f;
  explicit Bed(const std::string& path) {
    std::istringstream s(slurp(path));
    std::string k;
    double cell = 0, nodata = 0;
    s >> k >> nx >> k >> ny >> k >> x0 >> k >> y0 >> k >> cell >> k >> nodata;
    f.resize(static_cast<std::size_t>(nx * ny));
    for (int j = ny - 1; j >= 0; --j)
      for (int i = 0; i < nx; ++i) s >> f[static_cast<std::size_t>(i + j * nx)];
    for (int k = 0; k < nx * ny; ++k) x.push_back(k % nx * cell), y.push_back(k / nx * cell);
  }
};

// Sum of the maximum depths of columns i0..i1 of an ESRI grid.
double depth_sum(const std::string& path, int i0, int i1) {
  const std::vector<std::string> l = lines_of(slurp(path));
  double sum = 0;
  for (std::size_t r = 6; r < l.size(); ++r) {
    std::istringstream s(l[r]);
    double v;
    for (int i = 0; s >> v; ++i)
      if (i >= i0 && i <= i1 && v > 0) sum += v;
  }
  return sum;
}

// In the window of a virtual X server, answered from the script queue.
class AlterWindow : public grtest::WindowTest<AlterWindow> {};

TEST_F(AlterWindow, DikeRaisedInTheViewerHoldsWaterBack) {
  if (!ready()) return;
  Graphics& g = *g_;
  Viewer v;
  const std::string src = QF_SOURCE_DIR "/examples/channel/";
  Bed b(src + "bed.asc");
  double xo = b.x0, yo = b.y0;
  std::string t;
  grvalu(g, "XORGR", 1, xo, t);
  grvalu(g, "YORGR", 1, yo, t);
  // A dike across the whole valley at x = 200 .. 210 m, written as a grid.
  answer(g, {"A", "O", "+1.5", "F", "P 197 -5", "P 213 -5", "P 213 200", "P 197 200", "D", "D", "W",
             "G", "dike.asc", "D", "X"});
  std::string texts(240, ' ');
  std::vector<float> levels(255, 0.0f);
  int options = 6;
  grcont(g, v, b.x.data(), b.y.data(), b.f.data(), b.nx, b.ny, b.nx, b.ny, texts, levels.data(), 0,
         options, -9999);
  int st = 0;
  const std::string info = grtest::run("gdalinfo -stats dike.asc", &st);
  ASSERT_EQ(st, 0) << info;
  EXPECT_NE(info.find("Size is 80, 40"), std::string::npos) << info;
  // Highest node: the dike's crest on the valley's upper edge, 400.425 + 1.5.
  EXPECT_NE(info.find("STATISTICS_MAXIMUM=401.92"), std::string::npos) << info;
  // The channel example with and without the dike.
  double upstream[2];
  for (int run = 0; run < 2; ++run) {
    const std::string d = run == 0 ? "plain" : "dike";
    ASSERT_EQ(std::system(("mkdir -p " + d + " && cp " + src + "* " + d).c_str()), 0);
    const std::string bed = run == 1 ? "cp dike.asc dike/bed.asc" : "true";
    ASSERT_EQ(std::system(bed.c_str()), 0);
    const std::string cmd = "cd " + d + " && " QF_BINARY_DIR "/quellfax -q channel.qfx";
    const std::string out = grtest::run(cmd, &st);
    ASSERT_EQ(st, 0) << out;
    upstream[run] = depth_sum(d + "/maxdepth.asc", 30, 38);
  }
  EXPECT_GT(upstream[1], upstream[0] * 1.2) << upstream[0] << " " << upstream[1];
  std::printf("upstream max-depth sums: plain %.1f, dike %.1f\n", upstream[0], upstream[1]);
}

}  // namespace
}  // namespace qf
