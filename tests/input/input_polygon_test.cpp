// Field values by polygon, erodable nodes with their floor levels, and the
// result item list of the output section.
#include <gtest/gtest.h>

#include <map>

#include "tests/input/model_fixture.h"

namespace qf::test {
namespace {

const std::string stars(47, '*');

std::string frame(const std::string& head, const std::string& text) {
  return "\n" + stars + "\n" + head + text + "\n" + stars + "\n\n";
}

// Cells (3,3) and (4,3) of grid4x3: x 5..25, y 5..15 relative to the origin.
const char* two_cells = "1005 2005\n1025 2005\n1025 2015\n1005 2015\n";
// Cell (3,3) alone.
const char* one_cell = "1005 2005\n1015 2005\n1015 2015\n1005 2015\n";
// Cell (4,3) alone.
const char* next_cell = "1015 2005\n1025 2005\n1025 2015\n1015 2015\n";

std::string run_with(InputRun& r, const std::string& global, const std::string& body) {
  r.run(">>global\n" + global + "\n" + grid4x3 + ">>polygon\n" + body);
  return r.listing();
}

TEST(PolygonValues, EveryKeywordOnTheInsideNodes) {
  InputRun r;
  const std::string l = run_with(
      r, "kst 30",
      std::string("add 1.5\n") + two_cells + "bedrock 3\n" + two_cells + "kst 25\n" + one_cell +
          "n 0.04\n" + next_cell + "vegetation 0.2\n" + two_cells + "leakage 0.001\n" + one_cell +
          "waterlevel 23\n" + two_cells + "float 0.3\n" + one_cell + "bridge 25\n" + next_cell);
  const Model& m = r.m;
  auto at = [&](const std::vector<float>& f, int i, int j) {
    return f[static_cast<std::size_t>(m.node(i, j))];
  };
  EXPECT_EQ(at(m.f.zb, 3, 3), 23.5f);
  EXPECT_EQ(at(m.f.zb, 4, 3), 24.5f);
  EXPECT_EQ(at(m.f.zb, 2, 3), 21.0f);
  EXPECT_EQ(at(m.f.zb, 5, 3), 24.0f);
  EXPECT_EQ(at(m.f.zb, 3, 2), 12.0f);
  EXPECT_EQ(at(m.f.zbr, 3, 3), 3.0f);
  EXPECT_EQ(at(m.f.zbr, 3, 4), -9.0e20f);
  EXPECT_EQ(at(m.f.ks, 3, 3), 25.0f);
  EXPECT_FLOAT_EQ(at(m.f.ks, 4, 3), 25.0f);
  EXPECT_EQ(at(m.f.ks, 5, 3), 30.0f);
  EXPECT_EQ(at(m.f.veg, 4, 3), 0.2f);
  EXPECT_EQ(at(m.f.veg, 2, 3), -0.01f);
  EXPECT_EQ(at(m.f.fleak, 3, 3), 0.001f);
  EXPECT_EQ(at(m.f.fleak, 4, 3), 0.0f);
  EXPECT_TRUE(m.clog.leakage);
  // Water level 23 over beds 23.5 and 24.5 after "add": no water.
  EXPECT_EQ(at(m.f.h, 3, 3), 0.0f);
  EXPECT_EQ(at(m.f.hfloat, 3, 3), 0.3f);
  EXPECT_EQ(at(m.f.hfloat, 4, 3), 1025.0f);
  EXPECT_EQ(r.screen(), ">Manning-Strickler formula\n>    0.0k cells\n");
  EXPECT_NE(l.find(" >>polygon\n"
                   "   add        1.500\n"
                   "     1005.00     2005.00\n"
                   "     1025.00     2005.00\n"
                   "     1025.00     2015.00\n"
                   "     1005.00     2015.00\n"
                   "   bedrock        3.000\n"),
            std::string::npos)
      << l;
  EXPECT_NE(l.find("   n        0.040\n"), std::string::npos);
}

TEST(PolygonValues, DepthAndBedLevel) {
  InputRun r;
  run_with(r, "kst 30",
           std::string("bedlevel 7\n") + one_cell + "waterlevel 8.25\n" + two_cells +
               "flowdepth 0.7\n" + next_cell);
  EXPECT_EQ(r.zb(3, 3), 7.0f);
  EXPECT_EQ(r.m.f.h[r.m.node(3, 3)], 1.25f);
  EXPECT_EQ(r.m.f.h[r.m.node(4, 3)], 0.7f);
  EXPECT_EQ(r.m.f.h[r.m.node(2, 3)], 0.0f);
}

TEST(PolygonValues, BoxScanReachesGhostCellsAndIgnoresOutsideBoxes) {
  InputRun r;
  run_with(r, "kst 30",
           "bedlevel 9\n980 1980\n1005 1980\n1005 2005\n980 2005\n"
           "bedlevel 99\n1100 2100\n1200 2100\n1200 2200\n"
           "bedlevel 5\n-1e6 -1e6\n1e6 -1e6\n1e6 1e6\n-1e6 1e6\n");
  // The big polygon covers every node after the south-west corner got 9.
  for (float z : r.m.f.zb) EXPECT_EQ(z, 5.0f);
  InputRun s;
  run_with(s, "kst 30", "bedlevel 9\n980 1980\n1005 1980\n1005 2005\n980 2005\n");
  EXPECT_EQ(s.zb(1, 1), 9.0f);
  EXPECT_EQ(s.zb(2, 1), 9.0f);
  EXPECT_EQ(s.zb(1, 2), 9.0f);
  EXPECT_EQ(s.zb(2, 2), 9.0f);
  EXPECT_EQ(s.zb(3, 2), 12.0f);
  EXPECT_EQ(s.zb(2, 3), 21.0f);
  InputRun t;
  run_with(t, "kst 30", "bedlevel 99\n1100 2100\n1200 2100\n1200 2200\n");
  EXPECT_EQ(t.zb(6, 5), 0.001f);
  EXPECT_EQ(t.zb(5, 4), 34.0f);
}

TEST(PolygonValues, FrictionLawChecksAndZeroN) {
  {
    InputRun r;
    EXPECT_THROW(r.run(std::string(grid4x3) + ">>polygon\nkst 25\n" + one_cell), Stop);
    EXPECT_NE(r.listing().find(frame("**error: ",
                                     "default value not defined: keyword \"kst\": no "
                                     "friction law set in >>global, file '" +
                                         r.path("dain") + "', line 12")),
              std::string::npos)
        << r.listing();
    EXPECT_EQ(r.m.f.ks[r.m.node(3, 3)], 25.0f);  // applied all the same
  }
  {
    InputRun r;
    EXPECT_THROW(run_with(r, "kst 30", std::string("ks 0.1\n") + one_cell + "z0 0.01\n" + one_cell),
                 Stop);
    EXPECT_EQ(r.msg.errors(), 2);
    EXPECT_NE(r.listing().find(frame("**error: ",
                                     "multiple friction laws: keyword \"ks\": not for "
                                     "the friction law set in >>global, file '" +
                                         r.path("dain") + "', line 14")),
              std::string::npos)
        << r.listing();
    EXPECT_EQ(r.m.f.ks[r.m.node(3, 3)], 0.01f);
  }
  {
    InputRun r;
    run_with(r, "ks 0.05\nlog_law_bezzola", std::string("ks 0.1\n") + one_cell);
    EXPECT_EQ(r.m.coin1.friction_law, 3);
    EXPECT_EQ(r.m.f.ks[r.m.node(3, 3)], 0.1f);
  }
  {
    InputRun r;
    EXPECT_THROW(run_with(r, "kst 30", std::string("n 0\n") + one_cell + "add 1\n" + one_cell),
                 Stop);
    EXPECT_EQ(r.msg.errors(), 1);
    EXPECT_NE(r.listing().find("   n        0.000\n" +
                               frame("**error: ",
                                     "keyword \"n\": value 0 out of range, Manning n must be "
                                     "above 0, file '" +
                                         r.path("dain") + "', line 14")),
              std::string::npos)
        << r.listing();
    EXPECT_EQ(r.m.f.ks[r.m.node(3, 3)], 30.0f);
    EXPECT_EQ(r.zb(3, 3), 23.0f);
  }
}

TEST(PolygonValues, KeywordsBeforeAnyGridAreErrors) {
  InputRun r;
  EXPECT_THROW(
      r.run(">>polygon\nadd 1\n0 0\n1 0\n1 1\nerodable\n0 0\n1 0\n1 1\n>>compute\nsteps 2\n"),
      Stop);
  EXPECT_EQ(r.msg.errors(), 2);
  EXPECT_NE(r.listing().find(frame("**error: ", "keyword \"add\": no grid read before it, file '" +
                                                    r.path("dain") + "', line 2")),
            std::string::npos)
      << r.listing();
  EXPECT_NE(r.listing().find("keyword \"erodable\": no grid read before it"), std::string::npos);
  EXPECT_EQ(r.m.coin.max_steps, 2);
  EXPECT_EQ(r.m.coin1.nerod, 0);
}

TEST(Erodable, DefaultsDivisorAndFloorLevels) {
  InputRun r;
  const std::string l = run_with(
      r, "kst 30", std::string("erodable 40\n") + one_cell + "erodable 30 0.5 0.1\n" + two_cells);
  const Coin1& c1 = r.m.coin1;
  ASSERT_EQ(c1.nerod, 2);
  ASSERT_EQ(c1.erod_node.size(), 2u);
  EXPECT_EQ(c1.erod_node[0], r.m.node(3, 3) + 1);
  EXPECT_EQ(c1.erod_node[1], r.m.node(4, 3) + 1);
  EXPECT_EQ(c1.erod[0].tau_crit, 40.0f);
  EXPECT_EQ(c1.erod[0].divisor, 10.0f);
  EXPECT_EQ(c1.erod[0].hmin, 0.0f);
  // Lowest outside neighbour of (3,3) is the southern one, bed 12.
  EXPECT_EQ(c1.erod[0].floor, 12.0f);
  EXPECT_EQ(c1.erod[1].tau_crit, 30.0f);
  EXPECT_EQ(c1.erod[1].divisor, 1.0f);
  EXPECT_EQ(c1.erod[1].hmin, 0.1f);
  // (3,3) lies inside the second polygon: the floor comes from (4,2).
  EXPECT_EQ(c1.erod[1].floor, 13.0f);
  EXPECT_NE(l.find("   erodable    40.00   10.00    0.00\n"
                   "     1005.00     2005.00\n"),
            std::string::npos)
      << l;
  EXPECT_NE(l.find("   erodable    30.00    0.50    0.10\n"), std::string::npos);
  EXPECT_EQ(r.screen(),
            ">Manning-Strickler formula\n>    0.0k cells\n>found           2 erodable nodes\n");
}

TEST(Erodable, DiagonalRingAndPolygonOverEverything) {
  InputRun r;
  // A plus around (3,3): its axis neighbours are inside, the diagonal ones not.
  run_with(r, "kst 30",
           "erodable\n"
           "1005 1995\n1015 1995\n1015 2005\n1025 2005\n1025 2015\n1015 2015\n"
           "1015 2025\n1005 2025\n1005 2015\n995 2015\n995 2005\n1005 2005\n"
           "erodable 60\n-1e5 -1e5\n1e5 -1e5\n1e5 1e5\n-1e5 1e5\n");
  const Coin1& c1 = r.m.coin1;
  ASSERT_EQ(c1.nerod, 30);
  EXPECT_EQ(c1.erod_node[0], r.m.node(3, 2) + 1);
  std::map<int, ErodRecord> by_node;
  for (int n = 0; n < c1.nerod; ++n) by_node[c1.erod_node[n]] = c1.erod[n];
  EXPECT_EQ(by_node[r.m.node(3, 3) + 1].floor, 11.0f);
  EXPECT_EQ(by_node[r.m.node(3, 3) + 1].tau_crit, 50.0f);
  // Bounded by the ghost ring (bed 0.001) west of it.
  EXPECT_EQ(by_node[r.m.node(2, 3) + 1].floor, 0.001f);
  // Every searched cell inside: the node's own bed level.
  EXPECT_EQ(by_node[r.m.node(5, 4) + 1].floor, 34.0f);
  EXPECT_EQ(by_node[r.m.node(5, 4) + 1].tau_crit, 60.0f);
  EXPECT_EQ(by_node[1].floor, 0.001f);
}

TEST(Erodable, NodeLimit) {
  InputRun r;
  std::string zeros;
  for (int k = 1; k <= 150 * 140; ++k) zeros += k % 150 == 0 ? "0\n" : "0 ";
  // Vertices off the half-cell lines, so that no cell centre sees the
  // reference point of the polygon test through a vertex.
  r.run(">>grid\nnx 150\nny 140\ndx 1\ndy 1\n" + zeros +
        ">>polygon\nerodable\n-0.7 -0.7\n149.3 -0.7\n149.3 139.3\n-0.7 139.3\n");
  EXPECT_EQ(r.m.coin1.nerod, 20000);
  EXPECT_EQ(r.m.coin1.erod_node.size(), 20000u);
  EXPECT_EQ(r.m.coin1.erod_node.back(), r.m.node(2 + 19999 % 150, 2 + 19999 / 150) + 1);
  const std::string l = r.listing();
  const auto first = l.find("too many erodable nodes");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(l.find("too many erodable nodes", first + 1), std::string::npos);
  EXPECT_NE(r.screen().find(">found       20000 erodable nodes\n"), std::string::npos);
}

TEST(OutputItems, InitialReordersAndDefaults) {
  {
    InputRun r;
    r.run(">>output\nplot waterlevel\nplot velocity\nplot froude\nplot bedlevel\nplot initial\n");
    const Coin1& c1 = r.m.coin1;
    ASSERT_EQ(c1.item_count, 7);
    const int want[] = {1, 21, 22, 2, 3, 5, 6};
    for (int n = 0; n < 7; ++n) EXPECT_EQ(c1.item_code[n], want[n]);
    EXPECT_EQ(r.listing(),
              "\n/OUTPUT DATE/\n\n"
              " >>output\n"
              "   plot  waterlevel\n"
              "   plot  velocity\n"
              "   plot  froude\n"
              "   plot  bedlevel\n"
              "   plot  initial\n"
              " >> \n");
  }
  {
    InputRun r;
    r.run(">>output\nplot initial\nplot flowdepth\nplot energylevel\n");
    ASSERT_EQ(r.m.coin1.item_count, 4);
    EXPECT_EQ(r.m.coin1.item_code[3], 17);
  }
  {
    InputRun r;
    r.run(">>output\ninterval 1\n");
    ASSERT_EQ(r.m.coin1.item_count, 3);
    EXPECT_EQ(r.m.coin1.item_code[0], 1);
    EXPECT_EQ(r.m.coin1.item_code[1], 21);
    EXPECT_EQ(r.m.coin1.item_code[2], 22);
  }
  {
    InputRun r;
    r.run(">>compute\nsteps 1\n");
    ASSERT_EQ(r.m.coin1.item_count, 3);
    EXPECT_EQ(r.m.coin1.item_code[1], 21);
  }
}

TEST(OutputItems, NamesUnknownItemsAndLimit) {
  InputRun r;
  std::string file = ">>output\nplot depth\n";
  const char* names[] = {
      "flowdepth",  "waterlevel",  "velocity",   "flow", "froude", "bedlevel",  "bedshear",
      "bedload",    "ks",          "z0",         "n",    "kst",    "viscosity", "draught",
      "vegetation", "energylevel", "inundation", "flow", "flow",   "flow",      "froude"};
  for (const char* n : names) file += std::string("plot ") + n + "\n";
  r.run(file);
  const Coin1& c1 = r.m.coin1;
  ASSERT_EQ(c1.item_count, 20);
  const int want[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 10, 11, 14, 15, 16, 17, 18, 4, 4, 4};
  for (int n = 0; n < 20; ++n) EXPECT_EQ(c1.item_code[n], want[n]) << n;
  const std::string l = r.listing();
  EXPECT_NE(l.find("   plot  depth\n" + frame("**warning: ", "unknown item: depth, file '" +
                                                                 r.path("dain") + "', line 2")),
            std::string::npos)
      << l;
  EXPECT_NE(
      l.find("   plot  froude\n" + frame("**warning: ", "too many result items: froude          ")),
      std::string::npos)
      << l;
  EXPECT_EQ(r.screen(), ">    0.0k cells\n\n >>warnings   2, errors  0 ->check output listing\n\n");

  InputRun full;
  std::string f2 = ">>output\n";
  for (int n = 0; n < 19; ++n) f2 += "plot bedlevel\n";
  f2 += "plot initial\n";
  full.run(f2);
  ASSERT_EQ(full.m.coin1.item_count, 20);
  EXPECT_EQ(full.m.coin1.item_code[0], 1);
  EXPECT_EQ(full.m.coin1.item_code[19], 6);
  EXPECT_NE(full.listing().find("too many result items: initial         "), std::string::npos);

  InputRun t;
  t.run(
      ">>output\nplot waterlevel\nplot flow\n>>source\ntracer_load 1.0\n>>output\nplot bedlevel\n");
  ASSERT_EQ(t.m.coin1.item_count, 2);
  EXPECT_EQ(t.m.coin1.item_code[0], 12);
  EXPECT_EQ(t.m.coin1.item_code[1], 6);
}

}  // namespace
}  // namespace qf::test
