// Series files continued by a run that goes on from an earlier one.
#include "output/series.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace qf {
namespace {

TEST(SeriesFile, ContinuedBehindEarlierTimes) {
  struct Case {
    const char* before;  // the file's contents ("" none)
    bool go_on;
    const char* after;  // after the start at t = 0.5 h and one line
    bool kept;
    const char* at_start;
  };
  const Case cases[] = {
      {"t,a\n0.000000,1\n0.250000,2\n0.500000,3\n0.750000,4\n", true,
       "t,a\n0.000000,1\n0.250000,2\nnew\n", true, "0.500000,3"},
      // Nothing at the start time itself; the lines after it are dropped.
      {"t,a\n0.000000,1\n0.600000,2\n", true, "t,a\n0.000000,1\nnew\n", true, ""},
      {"t,b\n0.000000,1\n", true, "t,a\nnew\n", false, ""},   // other columns
      {"t,a\n0.000000,1\n", false, "t,a\nnew\n", false, ""},  // a fresh run
      {"", true, "t,a\nnew\n", false, ""},
  };
  const std::string path = ::testing::TempDir() + "qf_series_" + std::to_string(::getpid());
  for (const Case& c : cases) {
    std::remove(path.c_str());
    if (*c.before) std::ofstream(path) << c.before;
    std::istringstream kb;
    std::ostringstream scr, err;
    Channels io(kb, scr, err);
    const SeriesStart st = open_series(io, 13, path, "t,a", 0.5f, c.go_on);
    EXPECT_EQ(st.error, 0);
    EXPECT_EQ(series_line(io, 13, "new"), 0);
    io.close(13);
    std::stringstream got;
    got << std::ifstream(path).rdbuf();
    EXPECT_EQ(got.str(), c.after) << c.before;
    EXPECT_EQ(st.kept, c.kept) << c.before;
    EXPECT_EQ(st.at_start, c.at_start) << c.before;
    EXPECT_FALSE(file_exists(path + ".part"));
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace qf
