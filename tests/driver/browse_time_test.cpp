// The Time prompt of the result browser: the record nearest to the typed time.
#include <gtest/gtest.h>

#include "driver/browse.h"

namespace qf {
namespace {

TEST(BrowseTime, TypedTimeChoosesTheNearestRecord) {
  const std::vector<float> times = {0, 0.5f, 1.0f, 1.5f};
  struct Case {
    const char* typed;
    int rec;
    const char* why;
  } cases[] = {
      {"0.7", 2, ""},
      {" 1.3  ", 4, ""},
      {"99", 4, ""},
      {"", 3, ""},
      {"   ", 3, ""},
      {"-1", 1, ""},
      {"0.50016071.3", 3, "Time [h]: '0.50016071.3' is not a number"},
  };
  for (const Case& c : cases) {
    std::string why = "old";
    EXPECT_EQ(record_at_time(c.typed, times, 3, why), c.rec) << c.typed;
    EXPECT_EQ(why, c.why) << c.typed;
  }
}

}  // namespace
}  // namespace qf
