// The progress line of a quiet run and the header of the gauge file.
#include <gtest/gtest.h>

#include <sstream>

#include "output/gauges.h"
#include "output/progress.h"

namespace qf {
namespace {

TEST(ProgressLine, Text) {
  struct Case {
    ProgressFigures f;
    const char* want;
  };
  const Case cases[] = {
      {{2.5f, 30.0f, 2.5 / 30, 1234.56, 0.6789f, 0.1234, 4000.4},
       " t     2.500/30.000 h    8.3%   1234.6 steps/s  dt   0.679 s  wet  12.3%  left 1:06:40"},
      // No end time: no share and no time left.
      {{0.1f, 9.0e10f, -1, 10, 2, 1, -1},
       " t     0.100 h      -%     10.0 steps/s  dt   2.000 s  wet 100.0%  left -"},
      // More than a day left stays in hours.
      {{1, 100, 0.01, 0.5, 0.25f, 0, 90061},
       " t     1.000/100.000 h    1.0%      0.5 steps/s  dt   0.250 s  wet   0.0%  left 25:01:01"},
  };
  for (const Case& c : cases) EXPECT_EQ(progress_text(c.f), c.want);
}

TEST(ProgressLine, WetShareCountsTheCellsInsideTheModel) {
  // 3 x 2 cells in a ring of 20 nodes, all wet; one cell outside, one dry.
  Model m;
  m.coin1.nxx = 5;
  m.coin1.nyy = 4;
  m.coin1.nn = 20;
  alloc_flow(m, 20);
  for (auto& d : m.f.ldry) d = 0;
  m.f.outside[static_cast<std::size_t>(m.node(2, 2))] = 1;
  m.f.ldry[static_cast<std::size_t>(m.node(2, 2))] = 1;
  m.f.ldry[static_cast<std::size_t>(m.node(4, 3))] = 1;
  EXPECT_DOUBLE_EQ(wet_share(m), 0.8);
}

TEST(ProgressLine, SilentWithoutTerminal) {
  Model m;
  m.clog.quiet = true;
  std::ostringstream err;
  ProgressLine p;
  progress_start(m, p, false, 0);
  progress_step(m, p, err, 1);
  progress_clear(p, err);
  EXPECT_EQ(err.str(), "");
  // On a terminal the first step is shown at once, then cleared.
  progress_start(m, p, true, 0);
  progress_step(m, p, err, 1);
  progress_clear(p, err);
  EXPECT_EQ(err.str().substr(0, 3), "\r t");
  EXPECT_EQ(err.str().substr(err.str().size() - 4), "\r\033[K");
}

TEST(GaugeFile, HeaderQuotesNames) {
  Model m;
  m.coin1.gauges = {
      {"P1", 0, 0, 1, 1, 1}, {"bridge, left", 0, 0, 0, 0, 0}, {"a \"b\"", 0, 0, 0, 0, 0}};
  EXPECT_EQ(gauge_header(m),
            "time_h,P1 depth_m,P1 level_m,P1 speed_m/s,\"bridge, left depth_m\",\"bridge, left "
            "level_m\",\"bridge, left speed_m/s\",\"a \"\"b\"\" depth_m\",\"a \"\"b\"\" level_m\","
            "\"a \"\"b\"\" speed_m/s\"");
}

}  // namespace
}  // namespace qf
