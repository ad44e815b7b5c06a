// Command-file input: the listing echo of the scalar sections, the grid
// section and its limits, and the diagnostics of unreadable values.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/input/model_fixture.h"

namespace qf::test {
namespace {

const std::string stars(47, '*');

std::string frame(const std::string& head, const std::string& text) {
  return "\n" + stars + "\n" + head + text + "\n" + stars + "\n\n";
}

TEST(InputListing, ScalarSectionsEchoAndStore) {
  InputRun r;
  r.run(std::string("title 'Test run'\n"
                    ">>global\n"
                    "n 0.033\n"
                    "vegetation 0.5\n") +
        grid4x3 +
        ">>turbulence\n"
        "viscosity 1.0e-3\n"
        "cv 0.2\n"
        "mixing_length 0.5\n"
        ">>compute\n"
        "start 1.5\n"
        "end 24\n"
        "steps 1000\n"
        "steady\n"
        "cfl 0.65\n"
        "hdry 0.015\n"
        "2nd\n"
        "2nd_boundary\n"
        ">>mobile_bed\n"
        "d30 0.02\n"
        "d50 0.01\n"
        "d90 0.004\n"
        "tcrit 0.047\n"
        "time_factor 2.5\n"
        ">>output\n"
        "to 'res.bin'\n"
        "interval 0.25\n"
        "max_values maxv\n"
        "no_data -999.5\n"
        "plot waterlevel\n"
        "dt_out 0.1\n"
        "max_depth md.asc\n"
        "max_flow mf.asc\n"
        ">>initiate\n"
        "at 2.5\n"
        ">>module1\n"
        "integer 42\n"
        "real 3.14159\n"
        "string hello\n"
        ">>module2\n"
        "integer -7\n");
  EXPECT_EQ(r.listing(),
            "\n"
            "/OUTPUT DATE/\n"
            "\n"
            "     title  'Test run'\n"
            " >>global\n"
            "   n    0.033\n"
            "   vegetation   0.500\n"
            " >>grid\n"
            "   nx     4\n"
            "   ny     3\n"
            "   xllcorner    1000.00\n"
            "   yllcorner    2000.00\n"
            "   dx     10.000\n"
            "   dy     10.000\n"
            " >>turbulence\n"
            "   viscosity  0.100E-02\n"
            "   cv    0.200\n"
            "   mixing_length    0.500\n"
            " >>compute\n"
            "   start      1.500\n"
            "   end      24.000\n"
            "   steps     1000\n"
            "   steady \n"
            "   cfl        0.65\n"
            "   hdry       0.015\n"
            "   2nd \n"
            "   2nd_boundary \n"
            " >>mobile_bed\n"
            "   d30      0.020\n"
            "   d50      0.010\n"
            "   d90      0.004\n"
            "   tcrit      0.047\n"
            "   time_factor      2.5\n"
            " >>output\n"
            "   to   res.bin\n"
            "   interval       0.25\n"
            "   max_values   maxv\n"
            "   no_data       -999.5\n"
            "   plot  waterlevel\n"
            "   dt_out      0.100\n"
            "   max_depth   md.asc\n"
            "   max_flow   mf.asc\n"
            " >>initiate\n"
            "   at        2.500\n"
            " >>module1\n"
            "   integer         42\n"
            "   real          3.14\n"
            "   string   hello\n"
            " >>module2\n"
            "   integer         -7\n"
            " >> \n");
  EXPECT_EQ(r.screen(),
            "!bed changes accelerated by factor   2.50000000    \n"
            ">loading module 1\n"
            ">loading module 2\n"
            ">Manning-Strickler formula\n"
            ">2nd order  >mobile bed >    0.0k cells\n");
  const Model& m = r.m;
  EXPECT_EQ(m.cochar.title, "Test run");
  EXPECT_FLOAT_EQ(r.st.ksdef, 1.0f / 0.033f);
  EXPECT_EQ(r.st.vegdef, 0.5f);
  EXPECT_EQ(m.coin1.friction_law, 1);
  EXPECT_EQ(m.coin.viscosity, 1.0e-3f);
  EXPECT_EQ(m.coin.cv, 0.2f);
  EXPECT_FLOAT_EQ(m.coin.mixing_length_sq, 0.25f);
  EXPECT_EQ(m.coin.time, 1.5f);
  EXPECT_EQ(m.coin.time_end, 24.0f);
  EXPECT_EQ(m.coin.max_steps, 1000);
  EXPECT_TRUE(m.clog.steady);
  EXPECT_EQ(m.coin.cfl, 0.65f);
  EXPECT_EQ(m.coin.hdry, 0.015f);
  EXPECT_TRUE(m.clog.second_order);
  EXPECT_TRUE(m.clog.second_order_boundary);
  EXPECT_TRUE(m.clog.mobile_bed);
  EXPECT_EQ(m.csed.d30, 0.01f);  // never above d50
  EXPECT_EQ(m.csed.d50, 0.01f);
  EXPECT_EQ(m.csed.d90, 0.01f);  // never below d50
  EXPECT_EQ(m.csed.theta_crit, 0.047f);
  EXPECT_EQ(m.csed.time_factor, 2.5f);
  EXPECT_EQ(m.cochar.result_file, "res.bin");
  EXPECT_EQ(m.coin.result_interval, 0.25f);
  EXPECT_EQ(m.cochar.max_value_file, "maxv");
  EXPECT_TRUE(m.clog.no_data_set);
  EXPECT_EQ(m.coin.no_data, -999.5f);
  EXPECT_EQ(m.coin.dt_out, 0.1f);
  EXPECT_EQ(m.cochar.max_depth_file, "md.asc");
  EXPECT_EQ(m.cochar.max_flow_file, "mf.asc");
  EXPECT_EQ(m.coin.time_initial, 2.5f);
  EXPECT_EQ(m.comn1.module_int, -7);
  EXPECT_EQ(m.comn1.module_real, 3.14159f);
  EXPECT_EQ(m.comn1.module_text, "hello");
  ASSERT_EQ(m.coin1.item_count, 1);
  EXPECT_EQ(m.coin1.item_code[0], 2);
  // No table block: the end marker stands in row 1.
  EXPECT_EQ(r.a(1), -9999.0f);
  EXPECT_EQ(r.b(1), 0.0f);
}

TEST(InputListing, InitialConditionFileIsOfferedToIncon) {
  InputRun r;
  // The file is looked for when the section ends; a missing one is an error
  // that the input summary stops at.
  EXPECT_THROW(
      r.run(std::string(grid4x3) + ">>initiate\nfrom 'old.res'\nat 2.5\n>>compute\nsteps 4\n"),
      Stop);
  EXPECT_NE(r.listing().find(" >>initiate\n"
                             "   from   old.res\n"
                             "   at        2.500\n\n" +
                             std::string(47, '*') +
                             "\n**error: initial condition file 'old.res': not found\n" +
                             std::string(47, '*') + "\n\n >>compute\n"),
            std::string::npos);
  EXPECT_EQ(r.screen(), ">    0.0k cells\n\n >>warnings   0, errors  1 ->check output listing\n\n");
  EXPECT_EQ(r.err.str(), "**error: initial condition file 'old.res': not found\n");
  EXPECT_EQ(r.m.coin1.item_count, 3);
}

TEST(InputListing, FrictionLawLinesAndRunNote) {
  const char* laws[] = {"kst 30", "ks 0.05", "log_law_bezzola", "z0 0.002"};
  const char* lines[] = {">Manning-Strickler formula", ">logarithmic friction law",
                         ">log law modified according to bezzola 2002",
                         ">modified full logarithmic friction law"};
  for (int n = 0; n < 4; ++n) {
    InputRun r;
    r.run(std::string(">>global\n") + laws[n] + "\n" + grid4x3);
    EXPECT_EQ(r.m.coin1.friction_law, n + 1);
    EXPECT_EQ(r.screen(), std::string(lines[n]) + "\n>    0.0k cells\n");
  }
  InputRun r;
  r.run(">>global\nks 0.05\nz0 0.002\n");
  EXPECT_EQ(r.listing(),
            "\n/OUTPUT DATE/\n\n"
            " >>global\n"
            "   ks    0.050\n"
            "   z0   0.0020\n"
            " >> \n");
  EXPECT_EQ(r.st.ksdef, 0.002f);
  // No grid: no cells, no law line missing, and no grid fields.
  EXPECT_EQ(r.screen(), ">modified full logarithmic friction law\n>    0.0k cells\n");
  EXPECT_FALSE(r.m.f.allocated);
}

TEST(InputGrid, PaddedArrayDefaultsAndGeometry) {
  InputRun r;
  r.run(std::string(">>global\nkst 30\nvegetation -0.2\n") + grid4x3);
  const Model& m = r.m;
  EXPECT_EQ(m.coin1.nx, 4);
  EXPECT_EQ(m.coin1.ny, 3);
  EXPECT_EQ(m.coin1.nxx, 6);
  EXPECT_EQ(m.coin1.nyy, 5);
  EXPECT_EQ(m.coin1.nn, 30);
  EXPECT_EQ(m.coin.x_origin, 1000.0);
  EXPECT_EQ(m.coin.y_origin, 2000.0);
  EXPECT_EQ(m.coin.dx, 10.0f);
  // Real cells south row first, ghost ring 0.001.
  EXPECT_EQ(r.zb(2, 2), 11.0f);
  EXPECT_EQ(r.zb(5, 2), 14.0f);
  EXPECT_EQ(r.zb(2, 4), 31.0f);
  EXPECT_EQ(r.zb(5, 4), 34.0f);
  for (int i = 1; i <= 6; ++i) {
    EXPECT_EQ(r.zb(i, 1), 0.001f);
    EXPECT_EQ(r.zb(i, 5), 0.001f);
  }
  for (int j = 1; j <= 5; ++j) {
    EXPECT_EQ(r.zb(1, j), 0.001f);
    EXPECT_EQ(r.zb(6, j), 0.001f);
  }
  for (int k = 0; k < 30; ++k) {
    EXPECT_EQ(m.f.ks[k], 30.0f);
    EXPECT_EQ(m.f.veg[k], -0.2f);
    EXPECT_EQ(m.f.zbr[k], -9.0e20f);
    EXPECT_EQ(m.f.h[k], 0.0f);
  }
  EXPECT_EQ(m.coin1.xc[1], -10.0f);
  EXPECT_EQ(m.coin1.xc[2], 0.0f);
  EXPECT_EQ(m.coin1.xc[6], 40.0f);
  EXPECT_EQ(m.coin1.yc[1], -10.0f);
  EXPECT_EQ(m.coin1.yc[5], 30.0f);
}

TEST(InputGrid, ItemsByName) {
  struct Case {
    const char* item;
    int law;
  } cases[] = {{"ks", 2}, {"z0", 4}, {"kst", 1}, {"n", 1}};
  for (const auto& c : cases) {
    InputRun r;
    r.run(std::string(">>grid\nnx 2\nny 1\ndx 5\ndy 5\nitem ") + c.item + "\n0.025 0.05\n");
    EXPECT_EQ(r.m.coin1.friction_law, c.law) << c.item;
    const auto& ks = r.m.f.ks;
    if (std::string(c.item) == "n") {
      // Ghost values 0.001 become 1000.
      EXPECT_FLOAT_EQ(ks[0], 1000.0f);
      EXPECT_FLOAT_EQ(ks[r.m.node(2, 2)], 40.0f);
      EXPECT_FLOAT_EQ(ks[r.m.node(3, 2)], 20.0f);
    } else {
      EXPECT_EQ(ks[0], 0.001f);
      EXPECT_EQ(ks[r.m.node(2, 2)], 0.025f);
    }
    // The bed level stays 0, but the geometry is set.
    EXPECT_EQ(r.m.f.zb[r.m.node(2, 2)], 0.0f);
    EXPECT_EQ(r.m.coin1.xc[3], 5.0f);
  }
  InputRun b;
  b.run(">>grid\nnx 2\nny 1\nitem bedrock\n1 2\n>>grid\nnx 2\nny 1\nitem vegetation\n3 4\n");
  // The second grid section starts the fields anew.
  EXPECT_EQ(b.m.f.zbr[b.m.node(2, 2)], -9.0e20f);
  EXPECT_EQ(b.m.f.veg[b.m.node(3, 2)], 4.0f);
  EXPECT_EQ(b.m.f.veg[0], 0.001f);
  EXPECT_FALSE(b.m.clog.leakage);
  InputRun l;
  l.run(">>grid\nnx 2\nny 1\nitem leakage\n0.0001 2\n");
  EXPECT_TRUE(l.m.clog.leakage);
  EXPECT_EQ(l.m.f.fleak[l.m.node(3, 2)], 2.0f);
}

TEST(InputGrid, UnknownItemAndZeroManningN) {
  InputRun r;
  EXPECT_THROW(r.run(">>grid\nnx 2\nny 1\nitem depth\n1 2\n"), Stop);
  EXPECT_EQ(r.listing(),
            "\n/OUTPUT DATE/\n\n"
            " >>grid\n"
            "   nx     2\n"
            "   ny     1\n"
            "   item  depth           \n" +
                frame("**error: ", "unknown item") + " >> \n");
  EXPECT_EQ(r.screen(), ">    0.0k cells\n\n >>warnings   0, errors  1 ->check output listing\n\n");

  InputRun n;
  EXPECT_THROW(n.run(">>global\nkst 25\n>>grid\nnx 2\nny 1\nitem n\n0.02 0\n"), Stop);
  EXPECT_NE(n.listing().find("**error: grid item \"n\": Manning n must not be 0 (cells left at "
                             "the default), file '" +
                             n.path("dain") + "', line 7\n"),
            std::string::npos);
  EXPECT_FLOAT_EQ(n.m.f.ks[n.m.node(2, 2)], 50.0f);
  EXPECT_EQ(n.m.f.ks[n.m.node(3, 2)], 25.0f);
  for (float v : n.m.f.ks) EXPECT_TRUE(std::isfinite(v));
}

TEST(InputGrid, DefaultsAfterTheGridAreAWarning) {
  // Before the grid: the nodes take kst 25, no warning.
  InputRun a;
  a.run(">>global\nkst 25\n>>grid\nnx 2\nny 1\n1 2\n");
  EXPECT_EQ(a.m.f.ks[a.m.node(2, 2)], 25.0f);
  EXPECT_EQ(a.listing().find("**warning"), std::string::npos);
  // After it: the nodes keep 0.01, and the listing says so once.
  InputRun b;
  b.run(">>grid\nnx 2\nny 1\n1 2\n>>global\nkst 25\nvegetation 0.1\n");
  EXPECT_EQ(b.m.f.ks[b.m.node(2, 2)], 0.01f);
  EXPECT_EQ(b.m.coin1.friction_law, 1);
  const std::string l = b.listing();
  EXPECT_NE(
      l.find("   kst     25.0\n" +
             frame("**warning: ", "defaults after >>grid: its nodes keep the old ones, file '" +
                                      b.path("dain") + "', line 6")),
      std::string::npos)
      << l;
  EXPECT_EQ(l.find("**warning"), l.rfind("**warning"));
  // The friction-law switch alone sets no default: no warning.
  InputRun c;
  c.run(">>grid\nnx 2\nny 1\n1 2\n>>global\nlog_law_bezzola\n");
  EXPECT_EQ(c.listing().find("**warning"), std::string::npos);
}

TEST(InputGrid, SizeLimitsStopTheRun) {
  // Rows as long as three rows of the old node count allow are read; a
  // grid beyond a 32-bit node index or the memory of the process is
  // refused from its header, before its values are allocated. (The memory
  // message names what this machine has: its start and end are checked.)
  struct Case {
    std::string header;
    std::string message;  // "": the grid is read
    std::string ends = "";
  } cases[] = {
      {"nx 40000\nny 1\n", ""},
      {"nx 1\nny 40000\n", ""},
      {"nx 60000\nny 60000\n",
       "too many grid nodes: 3600240004 with the boundary ring, fewer than 2147483648 (a 32-bit "
       "node index)"},
      {"nx 46000\nny 46000\n",
       "not enough memory: 2116184004 grid nodes need 290,614 MB (144 bytes a node), this process "
       "may use ",
       "; mpirun -np N shares the flow sweep over N processes, but the first holds the whole grid"},
      {"nx 0\nny 5\n", "grid empty or too large"},
      {"", "grid empty or too large"},
  };
  for (const auto& c : cases) {
    InputRun r;
    std::string values = "0\n";
    if (c.message.empty()) {
      values.clear();
      for (int i = 0; i < 40000; ++i) values += "0 ";
      values += "\n";
    }
    try {
      r.run(">>grid\n" + c.header + values + ">>global\nkst 20\n");
      EXPECT_TRUE(c.message.empty()) << "no stop for " << c.message;
      EXPECT_EQ(r.m.coin1.nn, 3 * 40002) << c.header;
      EXPECT_EQ(r.m.coin1.yc.size(), static_cast<std::size_t>(r.m.coin1.nyy) + 1);
      continue;
    } catch (const Stop& s) {
      const std::string what = s.what();
      EXPECT_EQ(what.substr(0, c.message.size()), c.message);
      EXPECT_TRUE(what.ends_with(c.ends)) << what;
      EXPECT_NE(r.listing().find("**error: " + c.message.substr(0, 30)), std::string::npos)
          << r.listing();
      EXPECT_NE(r.screen().find(">> " + what + "\n"), std::string::npos) << r.screen();
    }
    EXPECT_FALSE(r.m.f.allocated) << c.message;
    EXPECT_EQ(r.m.coin1.friction_law, 0);
  }
}

TEST(InputValues, UnreadableValuesAreFatalWithPlace) {
  struct Case {
    std::string file;
    std::string message;
  } cases[] = {
      {">>global\nkst abc\n", "keyword \"kst\": value \"abc\" is not a number, file '%', line 2"},
      {"title 'x'\n>>compute\nstart 0\ncfl\n", "keyword \"cfl\": value missing, file '%', line 4"},
      {">>compute\nsteps 1.5\n",
       "keyword \"steps\": value \"1.5\" is not an integer, file '%', line 2"},
      {">>output\nto\n", "keyword \"to\": value missing, file '%', line 2"},
      {">>polygon\nerodable 40 x\n",
       "keyword \"erodable\": value \"x\" is not a number, file '%', line 2"},
      {">>structure\nculvert 1 2 3\n", "keyword \"culvert\": value missing, file '%', line 2"},
      {">>boundary\ninflow abc > q\n",
       "keyword \"inflow\": value \"abc\" is not a number, file '%', line 2"},
      {"title\n", "heee...?"},
      {">>module1\nreal pi\n", "heee...?"},
  };
  for (const auto& c : cases) {
    InputRun r;
    std::string text = c.message;
    const auto p = text.find('%');
    if (p != std::string::npos) text.replace(p, 1, r.path("dain"));
    EXPECT_THROW(r.run(c.file), Stop) << text;
    EXPECT_NE(r.listing().find(frame("**fatal error: ", text)), std::string::npos) << r.listing();
    EXPECT_NE(r.screen().find(" ***fatal error detected\n"), std::string::npos);
  }
}

TEST(InputValues, GrainSizeAndShieldsParameterOutOfRangeAreErrors) {
  InputRun r;
  EXPECT_THROW(r.run(">>mobile_bed\nd50 0\ntcrit -0.05\n"), Stop);
  const std::string l = r.listing();
  EXPECT_NE(l.find("   d50      0.000\n" +
                   frame("**error: ",
                         "keyword \"d50\": value 0 out of range, grain size must be "
                         "above 0, file '" +
                             r.path("dain") + "', line 2")),
            std::string::npos)
      << l;
  EXPECT_NE(l.find("   tcrit     -0.050\n" +
                   frame("**error: ",
                         "keyword \"tcrit\": value -0.05 out of range, critical Shields "
                         "parameter must not be negative, file '" +
                             r.path("dain") + "', line 3")),
            std::string::npos)
      << l;
  EXPECT_FALSE(r.m.clog.mobile_bed);
  EXPECT_FLOAT_EQ(r.m.csed.theta_crit, 0.05f);
}

TEST(InputValues, ValuesInIncludeFilesNameTheIncludeFile) {
  InputRun r;
  r.write("inc", "kst 30\nn zero\n");
  EXPECT_THROW(r.run(">>global\ninclude '" + r.path("inc") + "'\n"), Stop);
  EXPECT_NE(
      r.listing().find("**fatal error: keyword \"n\": value \"zero\" is not a number, file '" +
                       r.path("inc") + "', line 2\n"),
      std::string::npos);
}

TEST(InputValues, ZeroManningNIsAnErrorAndKeepsTheDefault) {
  InputRun r;
  EXPECT_THROW(r.run(">>global\nkst 20\nn 0\n"), Stop);
  EXPECT_EQ(r.st.ksdef, 20.0f);
  EXPECT_EQ(r.listing(),
            "\n/OUTPUT DATE/\n\n"
            " >>global\n"
            "   kst     20.0\n"
            "   n    0.000\n" +
                frame("**error: ",
                      "keyword \"n\": value 0 out of range, Manning n must be above "
                      "0, file '" +
                          r.path("dain") + "', line 3") +
                " >> \n");
}

TEST(InputGrid, EsriGridFromIncludeFile) {
  InputRun r;
  r.write("bed.asc",
          "ncols 3\nnrows 2\nxllcorner 500.0\nyllcorner 600.0\ncellsize 2.0\n"
          "NODATA_value -9999\n1 2 3\n4 5 -9999\n");
  r.run(">>grid\ninclude '" + r.path("bed.asc") + "'\n>>compute\nsteps 3\n");
  // North row first in the file; the no-data cell is a wall 100 m above
  // the highest real bed.
  EXPECT_EQ(r.zb(2, 2), 4.0f);
  EXPECT_EQ(r.zb(4, 2), 105.0f);
  EXPECT_EQ(r.m.f.outside[static_cast<std::size_t>(r.m.node(4, 2))], 1);
  EXPECT_EQ(r.zb(2, 3), 1.0f);
  EXPECT_EQ(r.m.coin.dx, 2.0f);
  EXPECT_EQ(r.m.coin.dy, 2.0f);
  EXPECT_EQ(r.m.coin.max_steps, 3);
  EXPECT_EQ(r.listing(),
            "\n/OUTPUT DATE/\n\n"
            " >>grid\n"
            "\n/include '" +
                r.path("bed.asc") +
                "'\n"
                "   ncols     3\n"
                "   nrows     2\n"
                "   xllcorner     500.00\n"
                "   yllcorner     600.00\n"
                "   cellsize       2.00\n"
                "   NODATA_value      -9999\n"
                "/END_INCLUDE\n"
                " >>compute\n"
                "   steps        3\n"
                " >> \n");
}

}  // namespace
}  // namespace qf::test
