// Table lookup, critical-depth floor and the discharge laws of weirs, gates
// and culverts against values worked out by hand from the laws.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "io/channels.h"
#include "model/hydro/structure_kernels.h"

namespace qf {
namespace {

TEST(StructRmint, InterpolatesHoldsEndsAndReportsStatus) {
  const std::vector<float> t = {0.0f, 1.0f, 3.0f, 4.0f};
  const std::vector<float> v = {10.0f, 20.0f, 0.0f, 5.0f};
  TableLookup r = rmint(4, t.data(), v.data(), 0.5f);
  EXPECT_FLOAT_EQ(r.value, 15.0f);
  EXPECT_FLOAT_EQ(r.slope, 10.0f);
  EXPECT_EQ(r.status, 0);
  r = rmint(4, t.data(), v.data(), 2.5f);
  EXPECT_FLOAT_EQ(r.value, 5.0f);
  EXPECT_FLOAT_EQ(r.slope, -10.0f);
  r = rmint(4, t.data(), v.data(), 3.0f);  // on a row: the segment above it
  EXPECT_FLOAT_EQ(r.value, 0.0f);
  EXPECT_FLOAT_EQ(r.slope, 5.0f);
  r = rmint(4, t.data(), v.data(), 4.0f);
  EXPECT_FLOAT_EQ(r.value, 5.0f);
  EXPECT_EQ(r.status, 0);

  r = rmint(4, t.data(), v.data(), -2.0f);
  EXPECT_FLOAT_EQ(r.value, 10.0f);
  EXPECT_EQ(r.status, 2);
  r = rmint(4, t.data(), v.data(), 9.0f);
  EXPECT_FLOAT_EQ(r.value, 5.0f);
  EXPECT_EQ(r.status, 3);
  // Within 1e-5 of the ends the table is still interpolated.
  r = rmint(4, t.data(), v.data(), 4.000005f);
  EXPECT_EQ(r.status, 0);
  EXPECT_NEAR(r.value, 5.0f, 1e-4f);
}

TEST(StructRmint, DegenerateTables) {
  const float t1 = 2.0f, v1 = 7.5f;
  TableLookup r = rmint(1, &t1, &v1, -100.0f);
  EXPECT_FLOAT_EQ(r.value, 7.5f);
  EXPECT_EQ(r.status, 1);
  r = rmint(1, &t1, &v1, 100.0f);
  EXPECT_FLOAT_EQ(r.value, 7.5f);
  r = rmint(0, nullptr, nullptr, 1.0f);
  EXPECT_FLOAT_EQ(r.value, 0.0f);
  EXPECT_EQ(r.status, 0);
  EXPECT_FLOAT_EQ(rmint_value(0, nullptr, nullptr, 1.0f), 0.0f);
  EXPECT_FLOAT_EQ(rmint_value(1, &t1, &v1, 1.0f), 7.5f);

  // Two rows at the same time: no slope, the value of the lower row.
  const std::vector<float> ts = {0.0f, 1.0f, 1.0f, 2.0f};
  const std::vector<float> vs = {0.0f, 1.0f, 3.0f, 3.0f};
  r = rmint(4, ts.data(), vs.data(), 1.0f);
  EXPECT_FLOAT_EQ(r.value, 3.0f);
  EXPECT_FLOAT_EQ(r.slope, 0.0f);

  // Unordered: reported, still looked up by bisection.
  const std::vector<float> tu = {0.0f, 2.0f, 1.0f, 3.0f};
  const std::vector<float> vu = {0.0f, 2.0f, 1.0f, 3.0f};
  r = rmint(4, tu.data(), vu.data(), 2.5f);
  EXPECT_EQ(r.status, 4);
  EXPECT_FLOAT_EQ(r.value, 2.5f);  // bisection lands in the segment 1..3
  EXPECT_FLOAT_EQ(rmint_value(4, tu.data(), vu.data(), 2.5f), r.value);
}

TEST(StructHsub, RaisesToCriticalDepthOfTheUnitDischarge) {
  EXPECT_FLOAT_EQ(hsub(1.0f, 2.0f, 0.0f), 1.0f);
  // (4 / 9.81)^(1/3) = 0.741533
  EXPECT_NEAR(hsub(0.1f, 2.0f, 0.0f), 0.741533f, 2e-5f);
  EXPECT_NEAR(hsub(0.1f, 0.0f, -2.0f), 0.741533f, 2e-5f);
  EXPECT_NEAR(hsub(0.0f, 1.2f, 1.6f), 0.741533f, 2e-5f);  // |(q, r)| = 2
  EXPECT_FLOAT_EQ(hsub(0.3f, 0.0f, 0.0f), 0.3f);
}

TEST(StructWeir, FreeSubmergedAndReversed) {
  // Free: 2.95 * 0.6 * 3 * 2^1.5 = 15.01895
  EXPECT_NEAR(rqweir(2.0f, 0.0f, 3.0f, 0.6f), 15.01895f, 1e-3f);
  EXPECT_NEAR(rqweir(2.0f, -1.0f, 3.0f, 0.6f), 15.01895f, 1e-3f);
  // Submerged by 1.5: factor (1 - 0.75^3)^(1/3) = 0.833056 -> 12.51162
  EXPECT_NEAR(rqweir(2.0f, 1.5f, 3.0f, 0.6f), 12.51162f, 1e-3f);
  EXPECT_NEAR(rqweir(1.5f, 2.0f, 3.0f, 0.6f), -12.51162f, 1e-3f);
  EXPECT_FLOAT_EQ(rqweir(1.5f, 1.5f, 3.0f, 0.6f), 0.0f);
  EXPECT_FLOAT_EQ(rqweir(0.0f, -0.5f, 3.0f, 0.6f), 0.0f);
}

TEST(StructGate, FreeSubmergedReversedAndWeirFallback) {
  // Free: mu = 0.62, a' = 0.62: sqrt(19.62 * 2.38) * 0.62 * 2 = 8.47344
  EXPECT_NEAR(rqgate(3.0f, 0.0f, 3.0f, 2.0f, 1.0f, 0.62f), 8.47344f, 1e-3f);
  // Submerged (tail 2 m): factor (1 - (2/3)^3)^(1/3) = 0.889459 -> 7.53685
  EXPECT_NEAR(rqgate(3.0f, 2.0f, 3.0f, 2.0f, 1.0f, 0.62f), 7.53685f, 1e-3f);
  EXPECT_NEAR(rqgate(2.0f, 3.0f, 3.0f, 2.0f, 1.0f, 0.62f), -7.53685f, 1e-3f);
  // Upstream depth near the opening: contraction a / hup = 0.909091.
  EXPECT_NEAR(rqgate(3.0f, 0.0f, 1.1f, 2.0f, 1.0f, 0.62f), 11.64540f, 1e-3f);
  // Both heads below 1.3 a: weir law with 0.58: 2.95*0.58*2*1.2^1.5*0.980487
  EXPECT_NEAR(rqgate(1.2f, 0.5f, 1.2f, 2.0f, 1.0f, 0.62f), 4.38714f, 1e-3f);
  EXPECT_FLOAT_EQ(rqgate(1.2f, 0.5f, 1.2f, 2.0f, 1.0f, 0.62f), rqweir(1.2f, 0.5f, 2.0f, 0.58f));
  EXPECT_FLOAT_EQ(rqgate(3.0f, 0.0f, 3.0f, 2.0f, 0.0f, 0.62f), 0.0f);
}

struct CulvertCase {
  const char* name;
  float he1, he2, h1, h2, width, height, length, kst, loss;
  float q;
  int kind;
};

// Expected values from the culvert law evaluated by hand (double precision).
const CulvertCase kCulverts[] = {
    // hm = 0.875 < 0.95 D: A = 1.75, R = 0.46667, K = 0.082138, Qu = 5.4615 > Qc = 3.40772
    {"box critical", 1.0f, 0.2f, 1.0f, 0.2f, 2.0f, 1.5f, 10.0f, 70.0f, 0.5f, 3.407716f, 1},
    // A = 1.9, R = 0.48718, K = 0.36634, Qu = 0.99268 < Qc
    {"box uniform", 1.0f, 0.9f, 1.0f, 0.9f, 2.0f, 1.5f, 100.0f, 30.0f, 0.5f, 0.992682f, 2},
    // Full: A = 3, R = 0.428571, K = 0.119482, Qu = 6.13697 < Qg = 8.88608
    {"box pressure", 3.0f, 2.5f, 3.0f, 2.5f, 2.0f, 1.5f, 50.0f, 60.0f, 0.5f, 6.136973f, 4},
    // hu/D = 2: Qu = 15.3092 > Qg = 11.85338
    {"box gated", 3.0f, 0.1f, 3.0f, 0.1f, 2.0f, 1.5f, 5.0f, 90.0f, 0.2f, 11.853381f, 3},
    // hm = D: A = 0.7854, R = 0.25, Qu = 1.44826 < Qg = 2.32836
    {"circular full", 2.5f, 2.0f, 2.5f, 2.0f, 1.0f, -1.0f, 40.0f, 60.0f, 0.5f, 1.448260f, 4},
    // hm = 0.75 of D = 1.2: theta = 1.7382, A = 0.743594, R = 0.339824, Qu < Qc = 1.07285
    {"circular part full", 0.8f, 0.7f, 0.8f, 0.7f, 1.2f, -1.0f, 80.0f, 40.0f, 0.5f, 0.438671f, 2},
    // Qc = sqrt(9.81 D^5) (0.6 Hu / D)^1.6667 = 1.07285 < Qu = 2.0267
    {"circular critical", 0.8f, 0.1f, 0.8f, 0.1f, 1.2f, -1.0f, 5.0f, 80.0f, 0.5f, 1.072855f, 1},
    // Qg = rqgate(3, 0.1, 3, 1, 1, 0.62) / D * A = 2.67695 < Qu = 4.24498
    {"circular gated", 3.0f, 0.1f, 3.0f, 0.1f, 1.0f, -1.0f, 5.0f, 90.0f, 0.2f, 2.676946f, 3},
    // Inlet just below 1.2 D: critical flow; at 1.2 D and above: the gate.
    {"box below 1.2", 1.19f, 0.1f, 1.19f, 0.1f, 1.0f, 1.0f, 5.0f, 90.0f, 0.2f, 2.211841f, 1},
    {"box at 1.2", 1.2f, 0.1f, 1.2f, 0.1f, 1.0f, 1.0f, 5.0f, 90.0f, 0.2f, 2.248734f, 3},
    {"box above 1.2", 1.25f, 0.1f, 1.25f, 0.1f, 1.0f, 1.0f, 5.0f, 90.0f, 0.2f, 2.390787f, 3},
};

TEST(StructCulvert, EachFlowTypeMatchesTheLaw) {
  for (const CulvertCase& c : kCulverts) {
    SCOPED_TRACE(c.name);
    int kind = 0;
    const float q =
        rqculv(c.he1, c.he2, c.h1, c.h2, c.width, c.height, c.length, c.kst, c.loss, kind);
    EXPECT_NEAR(q, c.q, 2e-5f * c.q + 1e-5f);
    EXPECT_EQ(kind, c.kind);
    // The same culvert seen from the other end flows the other way.
    kind = 0;
    const float back =
        rqculv(c.he2, c.he1, c.h2, c.h1, c.width, c.height, c.length, c.kst, c.loss, kind);
    EXPECT_FLOAT_EQ(back, -q);
    EXPECT_EQ(kind, c.kind);
  }
}

TEST(StructCulvert, NoFlowCases) {
  int kind = 3;
  EXPECT_FLOAT_EQ(rqculv(1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 10.0f, 50.0f, 0.5f, kind), 0.0f);
  EXPECT_EQ(kind, 0);
  kind = 0;
  EXPECT_FLOAT_EQ(rqculv(1.0f, 0.999995f, 1.0f, 1.0f, 1.0f, 1.0f, 10.0f, 50.0f, 0.5f, kind), 0.0f);
  EXPECT_FLOAT_EQ(rqculv(0.0009f, -1.0f, 0.5f, 0.0f, 1.0f, 1.0f, 10.0f, 50.0f, 0.5f, kind), 0.0f);
  EXPECT_FLOAT_EQ(rqculv(0.5f, -1.0f, 0.0009f, 0.0f, 1.0f, 1.0f, 10.0f, 50.0f, 0.5f, kind), 0.0f);
  EXPECT_EQ(kind, 0);
  // A circular section without a diameter carries nothing.
  EXPECT_FLOAT_EQ(rqculv(2.0f, 0.0f, 2.0f, 0.0f, 0.0f, -1.0f, 10.0f, 50.0f, 0.5f, kind), 0.0f);
  // A lower end below the upstream bed (negative head) is a free outfall.
  kind = 0;
  const float q = rqculv(1.0f, -0.5f, 1.0f, 1.5f, 2.0f, 1.5f, 10.0f, 70.0f, 0.5f, kind);
  EXPECT_GT(q, 0.0f);
}

TEST(StructCulvert, DiagnosticLinesWhenAsked) {
  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io(kb, scr, err);
  int kind = 0;
  rqculv(3.0f, 0.1f, 3.0f, 0.1f, 2.0f, 1.5f, 5.0f, 90.0f, 0.2f, kind, &io);
  EXPECT_EQ(scr.str(), "");  // only on request
  kind = -1;
  const float q = rqculv(3.0f, 0.1f, 3.0f, 0.1f, 2.0f, 1.5f, 5.0f, 90.0f, 0.2f, kind, &io);
  EXPECT_EQ(kind, 3);
  std::istringstream lines(scr.str());
  std::string l1, l2, rest;
  std::getline(lines, l1);
  std::getline(lines, l2);
  EXPECT_FALSE(std::getline(lines, rest));
  EXPECT_EQ(l1,
            " rqculv he1 he2 h1 h2   3.00000000      0.100000001       3.00000000      "
            "0.100000001      0.529411793       6.26412854E-02");
  EXPECT_EQ(
      l2, " (1)   17.7070141     (2)   15.3091545     (3)   11.8533821     culv=   11.8533821    ");
  EXPECT_NEAR(std::stof(l2.substr(l2.find("culv=") + 5)), q, 1e-4f);
}

}  // namespace
}  // namespace qf
