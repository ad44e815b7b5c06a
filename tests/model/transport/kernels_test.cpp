// Per-face and per-node kernels of transport and bed, by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "model/transport/transport_kernels.h"

namespace qf {
namespace {

TEST(TransportKernels, MinmodTakesTheSmallerSlopeOfEqualSignElseZero) {
  EXPECT_EQ(mix_minmod(1.0f, 3.0f), 1.0f);
  EXPECT_EQ(mix_minmod(3.0f, 1.0f), 1.0f);
  EXPECT_EQ(mix_minmod(-2.0f, -0.5f), -0.5f);
  EXPECT_EQ(mix_minmod(2.0f, -1.0f), 0.0f);
  EXPECT_EQ(mix_minmod(0.0f, 1.0f), 0.0f);
  EXPECT_EQ(mix_minmod(2.0f, 2.0f), 2.0f);
}

TEST(TransportKernels, UpwindValueAndFaceFlux) {
  EXPECT_EQ(mix_upwind(0.3f, 1.0f, 2.0f), 1.0f);
  EXPECT_EQ(mix_upwind(-0.3f, 1.0f, 2.0f), 2.0f);
  EXPECT_EQ(mix_upwind(0.0f, 1.0f, 2.0f), 2.0f);  // no discharge: the right value
  // len 2, cf 1.5, q 0.4, viscosities 0.1 + 0.3, depths 1 and 4 (mean 2),
  // jump 3 over 1/rd = 5: 2 * (0.6 - 0.4 * 2 * 3 / 5) = 2 * 0.12 = 0.24.
  EXPECT_NEAR(mix_face_flux(2.0f, 1.5f, 0.4f, 0.1f, 0.3f, 1.0f, 4.0f, 1.0f, 4.0f, 0.2f), 0.24f,
              1e-6f);
  // A dry neighbour with a negative depth gives no diffusion, not NaN.
  EXPECT_FLOAT_EQ(mix_face_flux(1.0f, 2.0f, 0.5f, 1.0f, 1.0f, 1.0f, -0.01f, 2.0f, 9.0f, 1.0f),
                  1.0f);
}

TEST(TransportKernels, ChangeOfACell) {
  // dt 2, area 4, load 0.5 per m2: 2 * (2 - (3 - 1) - (0.5 - 1.5)) / (4 * 0.5) = 1.
  EXPECT_FLOAT_EQ(mix_change(2.0f, 4.0f, 0.5f, 3.0f, 1.0f, 0.5f, 1.5f, 0.5f), 1.0f);
}

TEST(TransportKernels, TimeStepMeasures) {
  // u = 2, v = 1, (dx/dy)^2 = 4: 4 + 4.
  EXPECT_FLOAT_EQ(mix_speed_measure(1.0f, 0.5f, 0.5f, 4.0f), 8.0f);
  // nu 0.1 with neighbours 0.3 (depth 4) and 0.1 (depth 1), depth 1, spacing 2:
  // (0.4 * 2 + 0.2 * 1) / 4 / 1 = 0.25.
  EXPECT_FLOAT_EQ(mix_diffusion_rate(0.1f, 0.3f, 0.1f, 1.0f, 4.0f, 1.0f, 0.25f), 0.25f);
  EXPECT_FLOAT_EQ(mix_diffusion_rate(0.1f, 0.3f, 0.1f, 1.0f, -1.0f, 0.0f, 0.25f), 0.0f);
}

TEST(BedKernels, FactorRampsToTheTimeFactorAndNeverFallsBelowOne) {
  EXPECT_EQ(bed_factor(1, 1.0f), 1.0f);
  EXPECT_EQ(bed_factor(500, 1.0f), 1.0f);
  EXPECT_EQ(bed_factor(1, 10.0f), 1.0f);
  EXPECT_EQ(bed_factor(10, 10.0f), 1.0f);
  EXPECT_FLOAT_EQ(bed_factor(11, 10.0f), 1.1f);
  EXPECT_FLOAT_EQ(bed_factor(50, 10.0f), 5.0f);
  EXPECT_EQ(bed_factor(100, 10.0f), 10.0f);
  EXPECT_EQ(bed_factor(101, 10.0f), 10.0f);
  EXPECT_EQ(bed_factor(30, 0.5f), 1.0f);
}

TEST(BedKernels, RateThresholdAndGrainShear) {
  // a = 2, u*c^2 = 0.01: u* = 0.2 -> 2 * 0.03^1.5.
  EXPECT_NEAR(bed_load_rate(0.2f, 0.01f, 2.0f), 2.0 * std::pow(0.03, 1.5), 1e-8);
  EXPECT_EQ(bed_load_rate(0.5f, 0.25f, 2.0f), 0.0f);   // at the threshold
  EXPECT_EQ(bed_load_rate(0.05f, 0.01f, 2.0f), 0.0f);  // below
  // 0.1322 * (0.064 / 1)^(1/6) * 2 = 0.1322 * 0.63246 * 2.
  EXPECT_NEAR(bed_grain_shear(0.064f, 1.0f, 2.0f), 0.1322 * std::pow(0.064, 0.166667) * 2.0, 1e-6);
  EXPECT_EQ(bed_grain_shear(-0.1f, 1.0f, 2.0f), 0.0f);
}

TEST(BedKernels, FaceFluxIsUpwindAndNoneAcrossADrySide) {
  EXPECT_EQ(bed_face_flux(0.3f, 0.2f, true, true), 0.3f);         // both send east: the left one
  EXPECT_EQ(bed_face_flux(-0.3f, -0.2f, true, true), -0.2f);      // both send west: the right one
  EXPECT_FLOAT_EQ(bed_face_flux(0.3f, -0.2f, true, true), 0.1f);  // towards each other
  EXPECT_EQ(bed_face_flux(-0.3f, 0.2f, true, true), 0.0f);        // away from each other
  EXPECT_EQ(bed_face_flux(0.3f, 0.2f, true, false), 0.0f);
  EXPECT_EQ(bed_face_flux(0.3f, 0.2f, false, true), 0.0f);
}

}  // namespace
}  // namespace qf
