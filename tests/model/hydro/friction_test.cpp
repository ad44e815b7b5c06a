#include "model/hydro/friction.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "io/stop.h"

namespace qf {
namespace {

TEST(Cfric, ManningStricklerIgnoresShearVelocityAndViscosity) {
  EXPECT_FLOAT_EQ(cfric(1.0f, 30.0f, 0.0f, 1.0e-6f, law_manning), 0.3193f * 30.0f);  // 9.579
  EXPECT_NEAR(cfric(2.0f, 30.0f, 0.3f, 1.0f, law_manning), 10.752066, 2e-5);
  EXPECT_EQ(cfric(2.0f, 30.0f, 0.3f, 1.0f, law_manning), cfric(2.0f, 30.0f, 0.0f, 0.1f, 1));
}

// The Manning power over depths from 1e-6 m to 1e5 m (every 97th float): at
// most 1 ulp from powf, and every lane of a vector the one-value result.
TEST(ManningPower, WithinOneUlpOfPowfAndTheSameInEveryLane) {
  typedef float Eight __attribute__((vector_size(32)));
  const auto bits = [](float v) { return std::bit_cast<std::int32_t>(v); };
  int off = 0;
  for (std::int32_t b = bits(1e-6f); b < bits(1e5f); b += 97 * 8) {
    Eight h, p;
    for (int l = 0; l < 8; ++l) h[l] = std::bit_cast<float>(b + 97 * l);
    manning_power(h, p);
    for (int l = 0; l < 8; ++l) {
      const float one = manning_power(h[l]);
      ASSERT_EQ(bits(p[l]), bits(one)) << h[l];
      const int d = std::abs(bits(one) - bits(std::pow(h[l], 0.166667f)));
      ASSERT_LE(d, 1) << h[l];
      off += d;
    }
  }
  EXPECT_GT(off, 0);  // not the library's function
  for (float h : {0.0f, -0.0f, -1.0f, 1e-39f}) EXPECT_EQ(manning_power(h), 0.0f) << h;
  EXPECT_EQ(cfric_manning(2.0f, 30.0f), 0.3193f * 30.0f * manning_power(2.0f));
}

TEST(Cfric, LogarithmicLawFromSmoothToRough) {
  // Rough: k = 1/ks = 10 -> c = 6 + 2.5 ln 10.
  EXPECT_NEAR(cfric(1.0f, 0.1f, 0.1f, 1.0e-6f, law_log), 11.756463, 2e-5);
  // Hydraulically smooth: 0.3 u*/nu = 3 < 1/ks.
  EXPECT_NEAR(cfric(1.0f, 0.1f, 1.0e-5f, 1.0e-6f, law_log), 8.746531, 2e-5);
  // k h below e^-1.2: exactly 3; no shear velocity yet: exactly 3.
  EXPECT_EQ(cfric(1.0f, 10.0f, 0.1f, 1.0e-6f, law_log), 3.0f);
  EXPECT_EQ(cfric(1.0f, 0.1f, 0.0f, 1.0e-6f, law_log), 3.0f);
  // Smooth bed (ks <= 0): 3 + 2.5 ln(h u* / nu), never below 3.
  EXPECT_NEAR(cfric(1.0f, 0.0f, 0.05f, 1.0e-6f, law_log), 30.049446, 5e-5);
  EXPECT_EQ(cfric(1.0f, -1.0f, 0.0f, 1.0e-6f, law_log), 3.0f);
  EXPECT_EQ(cfric(0.5f, 0.0f, 1.0e-6f, 1.0e-6f, law_log), 3.0f);
  // Law numbers below 1 take the same branch.
  EXPECT_EQ(cfric(1.0f, 0.1f, 0.1f, 1.0e-6f, 0), cfric(1.0f, 0.1f, 0.1f, 1.0e-6f, law_log));
  EXPECT_EQ(cfric(1.0f, 0.1f, 0.1f, 1.0e-6f, -3), cfric(1.0f, 0.1f, 0.1f, 1.0e-6f, law_log));
}

TEST(Cfric, BezzolaFactorOfTheRoughnessSublayer) {
  EXPECT_NEAR(cfric(1.0f, 0.1f, 0.1f, 1.0e-6f, law_bezzola), 11.153160, 2e-5);  // sqrt(1 - 1/10)
  // h = 2 ks: both branches give sqrt(0.5).
  EXPECT_NEAR(cfric(0.2f, 0.1f, 0.1f, 1.0e-6f, law_bezzola), 5.467963, 2e-5);
  EXPECT_NEAR(cfric(0.2f, 0.1f, 0.1f, 1.0e-6f, law_bezzola),
              cfric(0.2f, 0.1f, 0.1f, 1.0e-6f, law_log) * 0.70710678, 2e-5);
  EXPECT_NEAR(cfric(0.05f, 0.1f, 0.1f, 1.0e-6f, law_bezzola), 1.508659, 2e-5);  // 0.5 sqrt(0.5)
  // Smooth bed: no factor.
  EXPECT_EQ(cfric(1.0f, 0.0f, 0.05f, 1.0e-6f, law_bezzola),
            cfric(1.0f, 0.0f, 0.05f, 1.0e-6f, law_log));
}

TEST(Cfric, FullLogarithmicLawWithRoughnessLength) {
  EXPECT_NEAR(cfric(1.0f, 0.01f, 0.0f, 1.0e-6f, law_z0), 9.046900, 2e-5);
  EXPECT_FLOAT_EQ(cfric(2.718f, 1.0f, 0.0f, 1.0e-6f, law_z0), 0.46f * 2.718f);  // linear branch
  EXPECT_NEAR(cfric(2.7181f, 1.0f, 0.0f, 1.0e-6f, law_z0), 1.249787, 2e-5);
}

TEST(Cfric, LawAboveFourStopsTheRun) {
  try {
    cfric(1.0f, 30.0f, 0.0f, 1.0e-6f, 5);
    FAIL() << "no stop";
  } catch (const Stop& s) {
    EXPECT_EQ(std::string(s.what()), "friction law not defined");
    EXPECT_NE(s.status(), 0);
  }
}

}  // namespace
}  // namespace qf
