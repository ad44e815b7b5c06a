#include "model/hydro/flux_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace qf {
namespace {

constexpr float kG = 9.81f;
constexpr float kDry = 0.02f;
constexpr float kFilm = 0.001f;

// Roe flux of a face written through its eigen-decomposition (waves of speed
// u - c, u + c carrying level and normal discharge, and the shear wave of
// speed u carrying the tangential discharge), in double precision. In first
// order with Harten's entropy fix and the mean of the two node fluxes as the
// central part, its pressure g hL hR / 2 + g delta^2 / 4 (g (hL^2 + hR^2) / 4
// on a flat bed); in second order the flux of the mean state.
struct Expect {
  double f, fn, ft;
};
Expect roe_by_waves(double hL, double hR, double qnL, double qnR, double qtL, double qtR,
                    double delta, bool first_order) {
  const double hm = 0.5 * (hL + hR), qm = 0.5 * (qnL + qnR), tm = 0.5 * (qtL + qtR);
  const double c = std::sqrt(9.81 * hm), u = qm / hm, v = tm / hm;
  const double lm = u - c, lp = u + c;
  double am = std::fabs(lm), ap = std::fabs(lp);
  if (first_order) {
    const double eps = 0.1 * (c + std::fabs(u));
    if (ap < eps) ap = (lp * lp / eps + eps) / 2;
    if (am < eps) am = (lm * lm / eps + eps) / 2;
  }
  const double dq = qnR - qnL, dqt = qtR - qtL;
  const double a1 = (lp * delta - dq) / (2 * c);  // strength of the u - c wave
  const double a2 = (dq - lm * delta) / (2 * c);  // strength of the u + c wave
  const double a3 = dqt - v * delta;              // shear wave
  const double mass = am * a1 + ap * a2;
  Expect e;
  e.f = qm - 0.5 * mass;
  const double pn =
      first_order ? (qnL * qnL / hL + qnR * qnR / hR) / 2 + 9.81 * delta * delta / 4 : qm * u;
  const double pt = first_order ? (qnL * qtL / hL + qnR * qtR / hR) / 2 : qm * v;
  e.fn = 9.81 * hL * hR / 2 + pn - 0.5 * (am * a1 * lm + ap * a2 * lp);
  e.ft = pt - 0.5 * (v * mass + std::fabs(u) * a3);
  return e;
}

FaceFlux first(float etaL, float etaR, float qnL, float qnR, float qtL, float qtR, float zL,
               float zR, bool dryL = false, bool dryR = false, float J = 0.0f) {
  LineDiff s{0, 0, 0};
  return rflux(etaL, etaR, etaR, qnL, qnR, qnR, qtL, qtR, qtR, zL, zR, dryL, dryR, s, kDry, false,
               kG, J);
}

TEST(Rlmt, MinmodOfTwoSlopes) {
  EXPECT_EQ(rlmt(0.3f, 0.2f), 0.2f);
  EXPECT_EQ(rlmt(0.2f, 0.3f), 0.2f);
  EXPECT_EQ(rlmt(-0.3f, -0.1f), -0.1f);
  EXPECT_EQ(rlmt(0.3f, -0.1f), 0.0f);
  EXPECT_EQ(rlmt(0.0f, 5.0f), 0.0f);
  EXPECT_EQ(rlmt(0.2f, -0.2f), 0.0f);
  EXPECT_EQ(rlmt(-0.2f, -0.2f), -0.2f);
}

// Van Albada: ab(a + b)/(a^2 + b^2), 0 across a sign change; continuous where
// minmod jumps from one slope to the other (a = b).
TEST(Rlmt, VanAlbadaOfTwoSlopes) {
  EXPECT_FLOAT_EQ(rlmt_smooth(1.0f, 2.0f), 1.2f);
  EXPECT_FLOAT_EQ(rlmt_smooth(-2.0f, -1.0f), -1.2f);
  EXPECT_FLOAT_EQ(rlmt_smooth(0.3f, 0.3f), 0.3f);
  EXPECT_EQ(rlmt_smooth(0.3f, -0.1f), 0.0f);
  EXPECT_EQ(rlmt_smooth(0.0f, 5.0f), 0.0f);
  EXPECT_EQ(rlmt_smooth(0.0f, 0.0f), 0.0f);
  EXPECT_NEAR(rlmt_smooth(0.3f, 0.3001f) - rlmt_smooth(0.3001f, 0.3f), 0.0f, 1e-7f);
}

TEST(Fdiag, ObliqueFlowFactor) {
  // No threshold: the factor leaves 1 smoothly as the flow turns off a grid
  // line (1.01^-0.333 and 1.018^-0.333), and is 1 without flow.
  EXPECT_NEAR(fdiag(0.05f, 5.0f), 0.996692, 1e-6);
  EXPECT_NEAR(fdiag(5.0f, -0.09f), 0.994077, 1e-6);
  EXPECT_EQ(fdiag(0.0f, 3.0f), 1.0f);
  EXPECT_EQ(fdiag(0.0f, 0.0f), 1.0f);
  EXPECT_NEAR(fdiag(1.0f, 1.0f), 0.793884, 1e-6);   // 2^-0.333
  EXPECT_NEAR(fdiag(2.0f, -0.5f), 0.928387, 1e-6);  // 1.25^-0.333
  EXPECT_EQ(fdiag(2.0f, -0.5f), fdiag(-0.5f, 2.0f));
}

TEST(Rflux, StillWaterOverAStepCarriesOnlyThePressure) {
  // Level 1 m over beds at 0 and 0.5 m.
  const FaceFlux fl = first(1.0f, 1.0f, 0, 0, 0, 0, 0.0f, 0.5f);
  EXPECT_EQ(fl.f, 0.0f);
  EXPECT_FLOAT_EQ(fl.fn, 9.81f * 1.0f * 0.5f / 2);
  EXPECT_EQ(fl.ft, 0.0f);
  // Second order as well (both wet, flat level: the limited slopes vanish).
  LineDiff s{0.0f, 0.0f, 0.0f};
  const FaceFlux f2 =
      rflux(1.0f, 1.0f, 1.0f, 0, 0, 0, 0, 0, 0, 0.0f, 0.5f, false, false, s, kDry, true, kG, 0);
  EXPECT_EQ(f2.f, 0.0f);
  EXPECT_FLOAT_EQ(f2.fn, 2.4525f);
}

TEST(Rflux, DryNodeAboveTheWaterIsAWall) {
  // Wet left node (level 1 m) against a dry node whose bed is at 2 m; the
  // left discharge pushes towards it.
  FaceFlux fl = first(1.0f, 2.0f, 0.5f, 0, 0.3f, 0, 0.0f, 2.0f, false, true);
  EXPECT_EQ(fl.f, 0.0f);
  EXPECT_EQ(fl.fn, 0.0f);
  EXPECT_EQ(fl.ft, 0.0f);
  // The mirror case: dry left node, wet right node flowing west.
  fl = first(2.0f, 1.0f, 0, -0.5f, 0, 0.3f, 2.0f, 0.0f, true, false);
  EXPECT_EQ(fl.f, 0.0f);
  EXPECT_EQ(fl.fn, 0.0f);
  EXPECT_EQ(fl.ft, 0.0f);
  // Within hdry/2 above the dry bed it is still a wall.
  fl = first(1.009f, 1.0f, 0.5f, 0, 0, 0, 0.0f, 1.0f, false, true);
  EXPECT_EQ(fl.f, 0.0f);
}

TEST(Rflux, WetNodeOvertopsADryNodeOnlyOutward) {
  // Level 1 m beside a dry bed at 0.5 m: the left discharge flowing back
  // (-0.2) is cut to 0; the level jump of 0.5 m (smaller than the depth jump
  // of 1 m) drives a mass flux of c/4 = sqrt(9.81 * 0.5) / 4 out of the wet
  // node, and the tangential discharge goes with it (v = 0.1).
  const FaceFlux fl = first(1.0f, 0.5f, -0.2f, 0, 0.1f, 0, 0.0f, 0.5f, false, true);
  const double c = std::sqrt(9.81 * 0.5);
  EXPECT_NEAR(fl.f, c / 4, 1e-6);  // 0.553681
  EXPECT_NEAR(fl.fn, 0.0, 1e-6);
  EXPECT_NEAR(fl.ft, 0.1 * c / 4, 1e-6);
}

TEST(Rflux, ShallowFaceHasTheCentralFluxWithDepthHdry) {
  // Mean depth 0.015 m <= hdry: qm = 0.003, tm = 0.002, H = 0.02.
  const FaceFlux fl = first(0.01f, 0.02f, 0.004f, 0.002f, 0.001f, 0.003f, 0.0f, 0.0f);
  EXPECT_FLOAT_EQ(fl.f, 0.003f);
  EXPECT_FLOAT_EQ(fl.fn, 9.81f * 0.01f * 0.02f / 2 + 0.003f * 0.15f);  // 0.001431
  EXPECT_FLOAT_EQ(fl.ft, 0.003f * 0.1f);
}

TEST(Rflux, SubcriticalFaceMatchesTheWaveDecomposition) {
  // hL = 1.2, hR = 1.0 on a flat bed: level and depth jumps tie (-0.2), the
  // level jump is used.
  const FaceFlux fl = first(1.2f, 1.0f, 0.5f, 0.3f, 0.1f, -0.1f, 0.0f, 0.0f);
  const Expect e = roe_by_waves(1.2, 1.0, 0.5, 0.3, 0.1, -0.1, -0.2, true);
  EXPECT_NEAR(fl.f, 0.735540, 2e-6);  // by hand: 0.4 + 4.408963 / (4 c), c = 3.284966
  // By hand: mean of 0.5^2 / 1.2 and 0.3^2 / 1.0, g (1.2 / 2 + 0.2^2 / 4),
  // minus the waves (-0.450511).
  EXPECT_NEAR(fl.fn, 0.149167 + 5.9841 + 0.450511, 1e-5);
  EXPECT_NEAR(fl.f, e.f, 2e-6);
  EXPECT_NEAR(fl.fn, e.fn, 1e-5);
  EXPECT_NEAR(fl.ft, e.ft, 2e-6);
}

TEST(Rflux, JumpIsTheSmallerOfLevelAndDepthJump) {
  // Bed step of 0.3 m up to the right, level drops 0.05 m: depth jump -0.35,
  // level jump -0.05 (used).
  FaceFlux fl = first(1.0f, 0.95f, 0.2f, 0.1f, 0.0f, 0.0f, 0.0f, 0.3f);
  Expect e = roe_by_waves(1.0, 0.65, 0.2, 0.1, 0, 0, -0.05, true);
  EXPECT_NEAR(fl.f, e.f, 2e-6);
  EXPECT_NEAR(fl.fn, e.fn, 1e-5);
  // Bed step up 0.3 m, level rises by 0.4 m: depth jump 0.1 (used).
  fl = first(1.0f, 1.4f, 0.2f, 0.1f, 0.0f, 0.0f, 0.0f, 0.3f);
  e = roe_by_waves(1.0, 1.1, 0.2, 0.1, 0, 0, 0.1, true);
  EXPECT_NEAR(fl.f, e.f, 2e-6);
  EXPECT_NEAR(fl.fn, e.fn, 1e-5);
  // Bed step 0.058 m down, level drops 0.031 m: the depth jump +0.027 points
  // against the level jump and carries nothing. (Taken, it cancelled the
  // mean discharge: a level standing 3 cm higher above the step held
  // 0.015 m2/s without moving any water.)
  fl = first(10.364f, 10.333f, 0.015f, 0.015f, 0.0f, 0.0f, 10.25f, 10.192f);
  e = roe_by_waves(0.114, 0.141, 0.015, 0.015, 0, 0, 0.0, true);
  EXPECT_NEAR(fl.f, e.f, 2e-6);
  EXPECT_NEAR(fl.f, 0.015, 2e-6);
  EXPECT_NEAR(fl.fn, e.fn, 1e-5);
}

TEST(Rflux, EntropyFixOnlyInFirstOrder) {
  // Transonic face: u = 3.2 m/s against c = 3.13 m/s, so |u - c| is below
  // eps = 0.1 (c + |u|).
  const FaceFlux f1 = first(1.0f, 1.0f, 3.3f, 3.1f, 0.0f, 0.0f, 0.0f, 0.0f);
  const Expect fixed = roe_by_waves(1.0, 1.0, 3.3, 3.1, 0, 0, 0.0, true);
  const Expect plain = roe_by_waves(1.0, 1.0, 3.3, 3.1, 0, 0, 0.0, false);
  ASSERT_GT(std::fabs(fixed.f - plain.f), 1e-3);
  EXPECT_NEAR(f1.f, fixed.f, 2e-6);
  EXPECT_NEAR(f1.fn, fixed.fn, 2e-5);
  // Second order without reconstruction slopes (stored differences 0).
  LineDiff s{0, 0, 0};
  const FaceFlux f2 = rflux(1.0f, 1.0f, 1.0f, 3.3f, 3.1f, 3.1f, 0, 0, 0, 0.0f, 0.0f, false, false,
                            s, kDry, true, kG, 0);
  EXPECT_NEAR(f2.f, plain.f, 2e-6);
  EXPECT_NEAR(f2.fn, plain.fn, 2e-5);
}

TEST(Rflux, SecondOrderReconstructsWithMinmodAndStoresTheDifferences) {
  // Levels along the line: previous difference 0.1, then 1.0 -> 1.3 -> 1.5.
  LineDiff s{0.1f, 0.0f, 0.02f};
  const FaceFlux fl = rflux(1.0f, 1.3f, 1.5f, 0.2f, 0.4f, 0.5f, 0.0f, 0.1f, 0.1f, 0.0f, 0.0f, false,
                            false, s, kDry, true, kG, 0);
  EXPECT_FLOAT_EQ(s.eta, 0.3f);
  EXPECT_FLOAT_EQ(s.qn, 0.2f);
  EXPECT_FLOAT_EQ(s.qt, 0.1f);
  // Level slopes: left minmod(0.1, 0.3) = 0.1, right minmod(0.3, 0.2) = 0.2;
  // normal discharge: left minmod(0, 0.2) = 0, right minmod(0.2, 0.1) = 0.1;
  // tangential: left minmod(0.02, 0.1) = 0.02, right minmod(0.1, 0) = 0.
  const double hL = 1.05, hR = 1.2;
  const Expect e = roe_by_waves(hL, hR, 0.2, 0.35, 0.01, 0.1, hR - hL, false);
  EXPECT_NEAR(fl.f, e.f, 3e-6);
  EXPECT_NEAR(fl.fn, e.fn, 2e-5);
  EXPECT_NEAR(fl.ft, e.ft, 3e-6);

  // With a dry node on the face there is no reconstruction, but the
  // differences are still stored.
  LineDiff d{0.1f, 0.0f, 0.0f};
  const FaceFlux dry = rflux(1.0f, 0.5f, 1.5f, 0.0f, 0.0f, 0.0f, 0, 0, 0, 0.0f, 0.5f, false, true,
                             d, kDry, true, kG, 0);
  EXPECT_FLOAT_EQ(d.eta, -0.5f);
  EXPECT_NEAR(dry.f, std::sqrt(9.81 * 0.5) / 4, 1e-6);  // as in first order: delta = -0.5

  // The reconstructed level never falls below the bed, nor half the depth
  // below the node's level: level 0.05 over a bed at 0, next level -0.1
  // over a bed at -0.3, previous difference -0.4. The left slope
  // minmod(-0.4, -0.15) = -0.15 would put the face level at -0.025; the
  // slope is held to the depth 0.05, the face level is 0.025. The right
  // level stands below the left bed, so the waves carry only the depth over
  // the step, 0.025: f = c/2 * 0.025 (c for the mean depth 0.1125), and
  // the pressure is g 0.025 * 0.2 / 2.
  // (The film depth 0.001 of the dry depth 0.02: both nodes keep slopes.)
  LineDiff b{-0.4f, 0.0f, 0.0f};
  const FaceFlux low = rflux(0.05f, -0.1f, -0.1f, 0, 0, 0, 0, 0, 0, 0.0f, -0.3f, false, false, b,
                             kFilm, true, kG, 0);
  EXPECT_NEAR(low.f, 0.5 * std::sqrt(9.81 * 0.1125) * 0.025, 2e-6);
  EXPECT_NEAR(low.fn, 9.81 * 0.025 * 0.2 / 2, 1e-6);
  // A film 0.004 m at the foot of a 1.5 m step, 0.02 m still water on its
  // crest: the jump is the crest depth, f = -c/2 * 0.02 (c for the mean
  // depth 0.012), not the 1.5 m level jump.
  LineDiff st{0.0f, 0.0f, 0.0f};
  const FaceFlux foot = rflux(0.004f, 1.52f, 1.52f, 0, 0, 0, 0, 0, 0, 0.0f, 1.5f, false, false, st,
                              kFilm, true, kG, 0);
  EXPECT_NEAR(foot.f, -0.5 * std::sqrt(9.81 * 0.012) * 0.02, 2e-6);
  EXPECT_NEAR(foot.fn, 9.81 * 0.004 * 0.02 / 2, 1e-6);

  // The slopes fade with the thinner node's depth below 20 films: a right
  // node not flagged dry but with its level at its bed gives the same flux
  // as a face without slopes (previous difference 0, RR = R).
  LineDiff t{-0.4f, 0.0f, 0.0f}, flat{0.0f, 0.0f, 0.0f};
  const FaceFlux bare = rflux(0.05f, -0.1f, -0.2f, 0, 0.01f, 0, 0, 0, 0, 0.0f, -0.1f, false, false,
                              t, kFilm, true, kG, 0);
  const FaceFlux none = rflux(0.05f, -0.1f, -0.1f, 0, 0.01f, 0.01f, 0, 0, 0, 0.0f, -0.1f, false,
                              false, flat, kFilm, true, kG, 0);
  EXPECT_EQ(bare.f, none.f);
  EXPECT_EQ(bare.fn, none.fn);
}

// A node 0.055 mm deep at 0.82 m/s runs down onto water 0.58 mm deep whose
// level lies below its bed (second order, no slopes): the flow is
// supercritical, so the face carries the thin node's own momentum flux
// q^2/h + g h^2/2 = 3.68e-5 m3/s2 (the level jump as the convected jump
// gave -1.1e-4, a push down the slope out of the water below). A level slope
// steeper than the node's depth acts as one of that depth.
TEST(Rflux, ThinNodeAboveDeeperWaterKeepsItsOwnMomentumFlux) {
  const float hL = 5.48e-5f, qL = 4.49e-5f, zR = -0.0035f, etaR = zR + 5.79e-4f, qR = 4.05e-4f;
  struct Case {
    float prev;  // level difference across the face before
    float eta;   // level of the next node but one
  };
  FaceFlux out[2];
  const Case cases[2] = {{0.0f, etaR}, {-hL, etaR - 0.003f}};
  for (int k = 0; k < 2; ++k) {
    LineDiff s{cases[k].prev, 0.0f, 0.0f}, steep{-0.01f, 0.0f, 0.0f};
    out[k] = rflux(hL, etaR, cases[k].eta, qL, qR, qR, 0, 0, 0, 0.0f, zR, false, false, s, 1e-6f,
                   true, kG, 0);
    if (k == 1) {
      const FaceFlux st = rflux(hL, etaR, cases[k].eta, qL, qR, qR, 0, 0, 0, 0.0f, zR, false, false,
                                steep, 1e-6f, true, kG, 0);
      EXPECT_EQ(st.f, out[k].f);
      EXPECT_EQ(st.fn, out[k].fn);
    }
  }
  EXPECT_FLOAT_EQ(out[0].f, qL);
  EXPECT_NEAR(out[0].fn, qL * qL / hL + 9.81 * hL * hL / 2, 0.02 * 3.68e-5);
}

TEST(Rflux, CoverOrDeckLeavesOnlyTheOpenDepthForMomentum) {
  // No jumps: the dissipation vanishes and the central fluxes show.
  FaceFlux fl = first(1.0f, 1.0f, 0.5f, 0.5f, 0.2f, 0.2f, 0.0f, 0.0f);
  EXPECT_FLOAT_EQ(fl.f, 0.5f);
  EXPECT_FLOAT_EQ(fl.fn, 4.905f + 0.25f);
  EXPECT_FLOAT_EQ(fl.ft, 0.1f);
  fl = first(1.0f, 1.0f, 0.5f, 0.5f, 0.2f, 0.2f, 0.0f, 0.0f, false, false, 0.5f);
  EXPECT_FLOAT_EQ(fl.f, 0.5f);
  EXPECT_FLOAT_EQ(fl.fn, 4.905f + 0.25f / 0.5f);
  EXPECT_FLOAT_EQ(fl.ft, 0.1f / 0.5f);
  // Open depth 0.01 m, not above hdry: pressure only.
  fl = first(1.0f, 1.0f, 0.5f, 0.5f, 0.2f, 0.2f, 0.0f, 0.0f, false, false, 0.99f);
  EXPECT_FLOAT_EQ(fl.fn, 4.905f);
  EXPECT_EQ(fl.ft, 0.0f);
  // A blocked depth of 0.01 m or less does not count.
  fl = first(1.0f, 1.0f, 0.5f, 0.5f, 0.2f, 0.2f, 0.0f, 0.0f, false, false, 0.01f);
  EXPECT_FLOAT_EQ(fl.fn, 4.905f + 0.25f);
}

// Across a standing shock the faces along the flow get at least the
// compression of the shock faces beside them as damping of every wave: with
// no transverse flow and equal levels only the shear wave carries the
// tangential jump, flux ft = -max(|u|, eta_h) dqt / 2 (dqt -0.2, or -0.1
// between the reconstructed values in second order). Beside a strong shock
// second order keeps the share 2 - eta_h / c of its slopes (c =
// sqrt(9.81)): 0.467477 at eta_h 4.8 (dqt -0.153252), none at 7.
TEST(Rflux, ShockBesideDampsTheShearWave) {
  // Wave compression, hand computed: uL = 2, cL = 0.990454, uR = 0.5,
  // cR = 1.980909 -> ((2 - 0.5) + 0.990454) / 2.
  EXPECT_NEAR(wave_jump(0.1f, 0.2f, false, 0.4f, 0.2f, false, kDry, kG), 1.245227f, 1e-5f);
  EXPECT_EQ(wave_jump(0.4f, 0.2f, false, 0.1f, 0.2f, false, kDry, kG), 0.0f);   // expansion
  EXPECT_EQ(wave_jump(0.1f, 0.2f, false, 0.4f, 0.2f, true, kDry, kG), 0.0f);    // dry node
  EXPECT_EQ(wave_jump(0.01f, 0.2f, false, 0.4f, 0.2f, false, kDry, kG), 0.0f);  // thin node
  const struct {
    bool second;
    float eta_h, ft, f;
  } rows[] = {{false, 0.0f, 0.0f, 0.0f},  {false, 0.4f, 0.04f, 0.0f},     {true, 0.4f, 0.02f, 0.0f},
              {true, 0.1f, 0.005f, 0.0f}, {true, 4.8f, 0.3678054f, 0.0f}, {true, 7.0f, 0.7f, 0.0f}};
  for (const auto& r : rows) {
    LineDiff s{0, 0, 0};
    const FaceFlux fl = rflux(1.0f, 1.0f, 1.0f, 0, 0, 0, 0.5f, 0.3f, 0.1f, 0.0f, 0.0f, false, false,
                              s, kDry, r.second, kG, 0, false, r.eta_h);
    EXPECT_NEAR(fl.ft, r.ft, 1e-6f) << r.second << " " << r.eta_h;
    EXPECT_EQ(fl.f, r.f);
    EXPECT_FLOAT_EQ(fl.fn, 4.905f);
  }
  // A lake at rest stays at rest whatever the damping: no differences to damp.
  LineDiff s{0, 0, 0};
  const FaceFlux rest = rflux(1.0f, 1.0f, 1.0f, 0, 0, 0, 0, 0, 0, 0.0f, 0.5f, false, false, s, kDry,
                              false, kG, 0, false, 2.0f);
  EXPECT_EQ(rest.f, 0.0f);
  EXPECT_EQ(rest.ft, 0.0f);
  EXPECT_FLOAT_EQ(rest.fn, 9.81f * 0.5f * 0.5f);
}

// The node parts of a wave jump: celerity, both speeds, and whether the
// node counts (wet and deeper than hdry); a depth below 1e-6 m divides as
// 1e-6 m.
TEST(Rflux, WaveNodeParts) {
  const struct {
    float h, q, r;
    bool dry;
    float c, u, v;
    bool moves;
  } rows[] = {{0.4f, 0.2f, -0.8f, false, 1.980909f, 0.5f, -2.0f, true},
              {0.4f, 0.2f, -0.8f, true, 1.980909f, 0.5f, -2.0f, false},
              {0.01f, 0.02f, 0.0f, false, 0.313209f, 2.0f, 0.0f, false},
              {0.0f, 1e-6f, 0.0f, false, 3.132092e-3f, 1.0f, 0.0f, false}};
  for (const auto& w : rows) {
    const WaveNodeT<float> n = wave_node(w.h, w.q, w.r, w.dry, kDry, kG);
    EXPECT_NEAR(n.c, w.c, 1e-6f * w.c) << w.h;
    EXPECT_FLOAT_EQ(n.u, w.u) << w.h;
    EXPECT_FLOAT_EQ(n.v, w.v) << w.h;
    EXPECT_EQ(n.moves, w.moves) << w.h << " " << w.dry;
  }
  // Two nodes: half of (uL - uR) + |cL - cR| where they close up.
  EXPECT_NEAR(wave_jump_of(0.990454f, 2.0f, 1.980909f, 0.5f, true), 1.245227f, 1e-6f);
  EXPECT_EQ(wave_jump_of(0.990454f, 2.0f, 1.980909f, 0.5f, false), 0.0f);
}

// The lane form of the kernels gives the one-face result in every lane.
TEST(Rflux, LanesGiveTheSameResultAsSingleFaces) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> lev(-0.5f, 1.5f), dis(-2.0f, 2.0f), bed(-0.5f, 1.0f);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int second = 0; second < 2; ++second) {
    for (int round = 0; round < 500; ++round) {
      float a[18][kLanes];
      bool dl[kLanes], dr[kLanes];
      for (int l = 0; l < kLanes; ++l) {
        for (int v = 0; v < 18; ++v) a[v][l] = v < 3 ? lev(rng) : v < 9 ? dis(rng) : bed(rng);
        a[12][l] = unit(rng) < 0.3f ? unit(rng) : 0.0f;  // blocked depth
        a[13][l] = 0.1f * dis(rng);                      // stored differences
        a[14][l] = 0.1f * dis(rng);
        a[15][l] = 0.1f * dis(rng);
        a[16][l] = unit(rng) < 0.5f ? unit(rng) : 0.0f;  // damping floor of a shock beside
        if (unit(rng) < 0.3f) a[1][l] = a[0][l];         // some flat faces
        dl[l] = unit(rng) < 0.2f;
        dr[l] = unit(rng) < 0.2f;
      }
      auto lanes = [&](int v) {
        Lanes x;
        std::memcpy(&x, a[v], sizeof x);
        return x;
      };
      LaneMask mL, mR;
      for (int l = 0; l < kLanes; ++l) {
        mL[l] = dl[l] ? -1 : 0;
        mR[l] = dr[l] ? -1 : 0;
      }
      LineDiffT<Lanes> sv{lanes(13), lanes(14), lanes(15)};
      FaceFluxT<Lanes> fv;
      if (second) {
        fv = rflux_t<true>(lanes(0), lanes(1), lanes(2), lanes(3), lanes(4), lanes(5), lanes(6),
                           lanes(7), lanes(8), lanes(9), lanes(10), mL, mR, sv, kDry, kG, lanes(12),
                           lanes(16));
      } else {
        fv = rflux_t<false>(lanes(0), lanes(1), lanes(2), lanes(3), lanes(4), lanes(5), lanes(6),
                            lanes(7), lanes(8), lanes(9), lanes(10), mL, mR, sv, kDry, kG,
                            lanes(12), lanes(16));
      }
      // Wave jumps from depths |level| (some below hdry, some dry).
      const Lanes jv =
          wave_jump(vabs(lanes(0)), lanes(3), mL, vabs(lanes(1)), lanes(4), mR, kDry, kG);
      for (int l = 0; l < kLanes; ++l) {
        EXPECT_EQ(jv[l], wave_jump(std::fabs(a[0][l]), a[3][l], dl[l], std::fabs(a[1][l]), a[4][l],
                                   dr[l], kDry, kG));
      }
      for (int l = 0; l < kLanes; ++l) {
        LineDiff s{a[13][l], a[14][l], a[15][l]};
        const FaceFlux f1 = rflux(a[0][l], a[1][l], a[2][l], a[3][l], a[4][l], a[5][l], a[6][l],
                                  a[7][l], a[8][l], a[9][l], a[10][l], dl[l], dr[l], s, kDry,
                                  second != 0, kG, a[12][l], false, a[16][l]);
#if defined(__FMA__)
        EXPECT_NEAR(fv.f[l], f1.f, 1e-5f * (1 + std::fabs(f1.f)));
        EXPECT_NEAR(fv.fn[l], f1.fn, 1e-5f * (1 + std::fabs(f1.fn)));
        EXPECT_NEAR(fv.ft[l], f1.ft, 1e-5f * (1 + std::fabs(f1.ft)));
#else
        EXPECT_EQ(fv.f[l], f1.f);
        EXPECT_EQ(fv.fn[l], f1.fn);
        EXPECT_EQ(fv.ft[l], f1.ft);
        EXPECT_EQ(sv.eta[l], s.eta);
        EXPECT_EQ(sv.qn[l], s.qn);
        EXPECT_EQ(sv.qt[l], s.qt);
#endif
      }
    }
  }
}

}  // namespace
}  // namespace qf
