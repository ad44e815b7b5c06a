// The progress display: its time line, the values of its plot fields, and
// eXit from the small window in a virtual X server.
#include "viewer/progress.h"

#include <gtest/gtest.h>

#include "tests/graphics/gr_test_util.h"

namespace qf {
namespace {

TEST(ProgressTimeLine, HoursAndSecondsForms) {
  struct Case {
    int step;
    float time, dt;
    const char* line;
  };
  const Case cases[] = {
      {12, 2.5f, 0.5f, "       12      2h30'       0.50S"},
      {12, 0.375f, 0.5f, "       12   0h22'30S       0.50S"},
      {123456789, 1.0f, 12.345f, "123456789      1h 0'      12.35S"},
      {0, 0.0f, 0.0f, "        0   0h 0' 0S       0.00S"},
  };
  for (const Case& c : cases) EXPECT_EQ(progress_time_line(c.step, c.time, c.dt), c.line) << c.time;
}

TEST(ProgressStoredLine, CountsWrittenWhole) {
  struct Case {
    int stored, expected;
    long long wet;
    int i, j;
    const char* line;
  };
  const Case cases[] = {
      {18, 120, 45, 12, 7, "   18/120        45%    12/   7"},
      {18, 1234, 100, 1200, 1100, "  18/1234       100%  1200/1100"},
      {123456, 1234567, 3, 123456, 654321, "123456/1234567    3% 123456/654321"},
  };
  for (const Case& c : cases) {
    const std::string l = progress_stored_line(c.stored, c.expected, c.wet, c.i, c.j);
    EXPECT_EQ(l, c.line) << c.expected;
    EXPECT_EQ(l.find('*'), std::string::npos);
  }
}

// One wet node (h 2, q 3, r 4 over bed 100) and one dry node (h 0.001
// with hdry 0.01, still moving: q 0.003) of a two-node model: the dry node
// has no level, flow or velocity (left empty), only its depth and bed.
TEST(ProgressValues, FieldsAtWetAndDryNode) {
  Model m;
  alloc_flow(m, 2);
  m.coin.hdry = 0.01f;
  m.f.h = {2.0f, 0.001f};
  m.f.q = {3.0f, 0.003f};
  m.f.r = {4.0f, 0.0f};
  m.f.zb = {100.0f, 101.5f};
  struct Case {
    int field;
    float wet, dry;
  };
  const Case cases[] = {
      {1, 2.0f, 0.001f},      {2, 5.0f, -99999.0f}, {3, 2.5f, -99999.0f},
      {4, 102.0f, -99999.0f}, {5, 100.0f, 101.5f},
  };
  std::vector<float> v(2);
  for (const Case& c : cases) {
    progress_values(m, c.field, v);
    EXPECT_FLOAT_EQ(v[0], c.wet) << "field " << c.field;
    EXPECT_FLOAT_EQ(v[1], c.dry) << "field " << c.field;
  }
}

class ProgressWindow : public grtest::WindowTest<ProgressWindow> {};

// Keys answer the small window: S saves (one more record stored and
// expected), R withdraws the marker, X moves the end below the time so that
// the run stops after this step.
TEST_F(ProgressWindow, ExitSetsTheEndBelowTheTime) {
  if (!ready()) return;
  // A second client keeps the server from resetting while the window is
  // closed and opened again.
  grtest::EventSender keeper;
  Model m;
  m.coin1.nx = m.coin1.ny = 2;
  m.coin1.nxx = m.coin1.nyy = 4;
  m.coin1.nn = 16;
  alloc_flow(m, 16);
  for (int i = 1; i <= 4; ++i) m.coin1.xc[i] = m.coin1.yc[i] = 10.0f * static_cast<float>(i);
  m.coin.time = 3.25f;
  m.coin.time_end = 10.0f;
  Viewer v;
  ProgressState p;
  int expected = 7;
  ProgressActions act;
  int saved = 0, reset = 0;
  act.save = [&saved]() { return ++saved > 0; };
  act.reset = [&reset]() { return ++reset > 0; };
  wprog(*g_, v, p, m, 0, 1, expected, "qftest", act);
  EXPECT_EQ(m.coin.time_end, 10.0f);
  grtest::answer(*g_, {"S"});
  wprog(*g_, v, p, m, 1, 1, expected, "qftest", act);
  EXPECT_EQ(saved, 1);
  EXPECT_EQ(m.coin1.result_count, 1);
  EXPECT_EQ(expected, 8);
  EXPECT_TRUE(m.clog.warm_started);
  grtest::answer(*g_, {"R", "X"});
  wprog(*g_, v, p, m, 2, 1, expected, "qftest", act);
  EXPECT_EQ(reset, 1);
  EXPECT_FALSE(m.clog.warm_started);
  EXPECT_EQ(m.coin.time_end, 2.25f);
  EXPECT_EQ(saved, 1);
}

}  // namespace
}  // namespace qf
