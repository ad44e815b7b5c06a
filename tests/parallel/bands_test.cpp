// The bands of rows of a run over several processes: whole blocks, every
// row in one band, each band near its share of the work, and the work
// weighed by the time each process took for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parallel/processes.h"

namespace qf {
namespace {

std::string text(const std::vector<BandRows>& bands) {
  std::string s;
  for (const BandRows& b : bands) s += std::to_string(b.lo) + "-" + std::to_string(b.hi) + " ";
  return s;
}

// Weights of rows 1 .. nyy - 1 (index 0 unused): `base` everywhere, `wet`
// on rows first .. last.
std::vector<double> rows(int nyy, double base, int first = 0, int last = -1, double wet = 0.0) {
  std::vector<double> w(static_cast<std::size_t>(nyy), base);
  for (int j = first; j <= last; ++j) w[static_cast<std::size_t>(j)] += wet;
  return w;
}

TEST(Bands, WholeBlocksByWork) {
  struct Case {
    const char* what;
    std::vector<double> weight;
    int nyy, block, processes;
    const char* bands;
  };
  const Case cases[] = {
      {"even work", rows(41, 1.0), 41, 10, 2, "1-20 21-41 "},
      {"even work, 3", rows(41, 1.0), 41, 10, 3, "1-20 21-30 31-41 "},
      {"wet rows 31 .. 40", rows(41, 1.0, 31, 40, 20.0), 41, 5, 2, "1-35 36-41 "},
      // One block holds most of the work: the others still get a block.
      {"one heavy block", rows(43, 1.0, 25, 30, 100.0), 43, 6, 3, "1-30 31-36 37-43 "},
      {"fewer blocks than processes", rows(11, 1.0), 11, 5, 3, "1-0 1-5 6-11 "},
      {"one process", rows(41, 1.0), 41, 32, 1, "1-41 "},
  };
  for (const Case& c : cases)
    EXPECT_EQ(text(balance_bands(c.weight, c.nyy, c.block, c.processes)), c.bands) << c.what;
}

TEST(Bands, WorkWeighedByTime) {
  struct Case {
    const char* what;
    std::vector<BandRows> bands;
    std::vector<double> busy;
    std::vector<double> timed;  // rows 1 .. 4
    double longest;
  };
  // Rows 1 .. 4 of work 1, 1, 2, 2; row 5 is the ring row.
  const std::vector<double> work = {0.0, 1.0, 1.0, 2.0, 2.0};
  const Case cases[] = {
      // The second process took three times as long per unit of work.
      {"slower second", {{1, 2}, {3, 5}}, {2.0, 12.0}, {1.0, 1.0, 6.0, 6.0}, 12.0},
      {"equal", {{1, 2}, {3, 5}}, {1.0, 2.0}, {0.5, 0.5, 1.0, 1.0}, 2.0},
      // A band without a time takes the mean rate of the others.
      {"no time", {{1, 2}, {3, 5}}, {4.0, 0.0}, {2.0, 2.0, 4.0, 4.0}, 8.0},
      {"empty band", {{1, 4}, {1, 0}}, {6.0, 1.0}, {1.0, 1.0, 2.0, 2.0}, 6.0},
  };
  for (const Case& c : cases) {
    const std::vector<double> t = weigh_by_time(work, 5, c.bands, c.busy);
    ASSERT_EQ(t.size(), 5u) << c.what;
    for (int j = 1; j <= 4; ++j)
      EXPECT_DOUBLE_EQ(t[static_cast<std::size_t>(j)], c.timed[j - 1]) << c.what << " row " << j;
    EXPECT_DOUBLE_EQ(longest_band(t, 5, c.bands), c.longest) << c.what;
  }
  // Balanced by the times: the slower process gets fewer rows.
  const std::vector<double> even = rows(41, 1.0);
  const std::vector<BandRows> halves = {{1, 20}, {21, 41}};
  EXPECT_EQ(text(balance_bands(weigh_by_time(even, 41, halves, {20.0, 60.0}), 41, 5, 2)),
            "1-30 31-41 ");
}

}  // namespace
}  // namespace qf
