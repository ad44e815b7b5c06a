// The hazard rating against hand-computed values, on both sides of the
// depth at which the debris factor starts.
#include "output/hazard.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

TEST(Hazard, RatingByHand) {
  struct Case {
    float d, v, hr;
  } cases[] = {
      {0.0f, 3.0f, 0.0f},     // no water, no hazard
      {0.25f, 1.0f, 0.375f},  // 0.25 x 1.5, no debris at 0.25 m
      {0.26f, 0.0f, 0.63f},   // 0.26 x 0.5 + 0.5
      {0.5f, 1.5f, 1.5f},     // 0.5 x 2 + 0.5
      {1.0f, 2.0f, 3.0f},     // 1 x 2.5 + 0.5
  };
  for (const Case& c : cases)
    EXPECT_NEAR(hazard_rating(c.d, c.v), c.hr, 1e-6f) << c.d << " " << c.v;
  static_assert(debris_factor(0.25f) == 0.0f && debris_factor(0.2501f) == 0.5f);
}

}  // namespace
}  // namespace qf
