// Vector plot: the drawn nodes read back from a keep file, streamlines, the
// settings form and the written tables.
#include "viewer/vector.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>

#include "io/textio.h"
#include "tests/graphics/gr_test_util.h"
#include "viewer/viewer.h"

namespace qf {
namespace {

using grtest::answer;
using grtest::lines_of;
using grtest::slurp;

// A field of n1 x n2 nodes 10 apart, all with the velocity (u, v).
struct Field {
  int n1, n2;
  std::vector<float> x, y, u, v;
  Field(int a, int b, float uu, float vv) : n1(a), n2(b) {
    for (int j = 1; j <= b; ++j)
      for (int i = 1; i <= a; ++i) {
        x.push_back(10.0f * i);
        y.push_back(10.0f * j);
        u.push_back(uu);
        v.push_back(vv);
      }
  }
};

class VectorPlot : public grtest::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    g.out = &os;
    grinit(g, 5, 6, "qftest", "", 0);
    grsset(g, 0, 100, 0, 100);
    grsfac(g);
    g.n.IN12GR = 0;
  }
  void call(Field& f, int request) {
    float ext[4];
    grvec1(g, v, request, f.x.data(), f.y.data(), f.u.data(), f.v.data(), f.n1, f.n2, f.n1, f.n2,
           ext);
  }
  // Records `request` in a keep file; returns the points of its records
  // with the keyword `key`.
  std::vector<std::pair<float, float>> recorded(Field& f, int request, const char* key) {
    answer(g, {"rec"});
    int r = kModeKeep;
    grmode(g, r);
    call(f, request);
    grclos(g);
    const std::vector<std::string> l = lines_of(slurp("rec.kep"));
    std::vector<std::pair<float, float>> pts;
    for (std::size_t i = 0; i + 1 < l.size(); ++i) {
      if (l[i].rfind(key, 0) != 0) continue;
      std::string s = l[i + 1];
      for (char& c : s)
        if (c == 'D') c = 'E';
      std::istringstream in(s);
      float a = 0, b = 0;
      in >> a >> b;
      pts.emplace_back(a, b);
    }
    return pts;
  }
  bool said(const std::string& m) {
    for (const std::string& h : g.msg.history)
      if (trim_right(h) == m) return true;
    return false;
  }
  Graphics g;
  Viewer v;
  std::ostringstream os;
};

TEST_F(VectorPlot, NodesOfThePlottingStep) {
  using P = std::vector<std::pair<float, float>>;
  struct Case {
    int n1, n2, step;
    float u0;  // velocity of the first node
    P moves;
  } cases[] = {
      {4, 3, 2, 1, P{{20, 20}, {40, 20}}},
      {4, 1, 2, 1, P{{20, 10}, {40, 10}}},
      {2, 1, 1, 0, P{{20, 10}}},  // still node left out
  };
  for (const Case& c : cases) {
    Field f(c.n1, c.n2, 1, 0);
    f.u[0] = c.u0;
    g.n.VSTPGR = c.step;
    EXPECT_EQ(recorded(f, 1, "MOV2"), c.moves) << c.n1 << "x" << c.n2;
  }
}

TEST_F(VectorPlot, Streamlines) {
  Field still(5, 5, 0, 0);
  g.n.XCRSGR = 25, g.n.YCRSGR = 25;
  EXPECT_TRUE(recorded(still, -4, "DRW2").empty());
  // Uniform flow to the right: steps of 0.5 from x = 15 until past x = 50,
  // an arrowhead (two more lines) every 50 steps.
  Field flow(5, 5, 1, 0);
  v.vector.starts.clear();
  g.n.XCRSGR = 15;
  const auto d = recorded(flow, -4, "DRW2");
  ASSERT_EQ(d.size(), 71u + 2u);
  EXPECT_FLOAT_EQ(d.back().first, 50.5f);
  EXPECT_FLOAT_EQ(d.back().second, 25.0f);
  for (int k = 1; k <= 51; ++k) {
    g.n.XCRSGR = static_cast<float>(k);
    call(still, -4);
  }
  ASSERT_EQ(v.vector.starts.size(), 50u);
  EXPECT_EQ(v.vector.starts[48].first, 48.0f);  // after the start at 15
  EXPECT_EQ(v.vector.starts[49].first, 51.0f);
  call(still, 0);
  EXPECT_TRUE(v.vector.starts.empty());
}

TEST_F(VectorPlot, AttributesForm) {
  Field f(2, 2, 1, 0);
  call(f, -2);  // no window, no script: cancelled
  EXPECT_EQ(g.n.NSCRGR, 0);
  EXPECT_FLOAT_EQ(g.n.VSCLGR, 10);
  answer(g, {"1 5", "2 7", "3 0", "4 2", "D"});
  call(f, -2);
  EXPECT_FLOAT_EQ(g.n.VSCLGR, 5);
  EXPECT_EQ(g.n.VSYMGR, 7);
  EXPECT_EQ(g.n.VSTPGR, 1);  // 0 refused, the rest not read
  EXPECT_FLOAT_EQ(g.n.VMINGR, 0.01f);
  EXPECT_TRUE(said("Plotting frequence not read: 0"));
  std::string next;
  ASSERT_TRUE(grsnext(g, next));
  EXPECT_EQ(trim_right(next), "R");
}

TEST_F(VectorPlot, WriteAndNearest) {
  Field f(2, 2, 0, 0);
  f.x = {0, 10, 0, 10};
  f.y = {0, 0, 5, 5};
  f.u = {1, 0, 0.5f, -2};
  f.v = {0, 0, 0.25f, 3};
  g.n.XORGR = 1000, g.n.YORGR = 2000;
  answer(g, {"V", "vec.txt"});
  call(f, -3);
  EXPECT_EQ(slurp("vec.txt"),
            "     1000.00     2000.00    1.00    0.00\n"
            "     1000.00     2005.00    0.50    0.25\n"
            "     1010.00     2005.00   -2.00    3.00\n");
  EXPECT_TRUE(said("values stored on vec.txt"));
  g.n.XCRSGR = 9, g.n.YCRSGR = 4;
  call(f, -1);
  // World coordinates, and what the components are.
  EXPECT_TRUE(said("(X,Y):    1010.00    2005.00 (I,J):     2     2 (U,V):   -2.00    3.00"));
  v.vector.components = " (qx,qy) [m2/s]:";
  call(f, -1);
  EXPECT_TRUE(
      said("(X,Y):    1010.00    2005.00 (I,J):     2     2 (qx,qy) [m2/s]:   -2.00    3.00"));
}

// A write that fails (a full disk) is said with the file and the reason,
// never reported as done.
TEST_F(VectorPlot, FailedWritesAreSaid) {
  Field f(2, 2, 0, 0);
  f.x = {0, 10, 0, 10};
  f.y = {0, 0, 5, 5};
  f.u = f.v = {1, 1, 1, 1};
  ASSERT_EQ(::symlink("/dev/full", "full.kep"), 0);
  ASSERT_EQ(::symlink("/dev/full", ".grset"), 0);
  const std::string full = " (No space left on device)";
  struct Case {
    std::function<void()> write;
    std::string file, done;
  } cases[] = {
      {[&] {
         answer(g, {"M", "/dev/full"});
         call(f, -3);
       },
       "/dev/full", "values stored on /dev/full"},
      {[&] {
         int r = kModeKeep;
         answer(g, {"full"});
         grmode(g, r);
         call(f, 1);
         grclos(g);
       },
       "full.kep", "saved on keep file"},
      {[&] { grwset(g); }, ".grset", ""},
  };
  for (const Case& c : cases) {
    g.msg.history.clear();
    c.write();
    EXPECT_TRUE(said("Error writing: " + c.file + full)) << c.file;
    EXPECT_FALSE(!c.done.empty() && said(c.done)) << c.file;
  }
}

}  // namespace
}  // namespace qf
