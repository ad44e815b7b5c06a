// Command-file input: values outside their physical range, an end time not
// after the start, and boundaries and sources that act on no node.
#include <gtest/gtest.h>

#include "tests/input/model_fixture.h"

namespace qf::test {
namespace {

std::string frame(const std::string& head, const std::string& text) {
  const std::string stars(47, '*');
  return "\n" + stars + "\n" + head + text + "\n" + stars + "\n\n";
}

// `text` with "%" replaced by the command file's name.
std::string placed(const InputRun& r, std::string text) {
  for (auto p = text.find('%'); p != std::string::npos; p = text.find('%', p + 1)) {
    text.replace(p, 1, r.path("dain"));
  }
  return text;
}

const std::string square = "1005 2005\n1015 2005\n1015 2015\n1005 2015\n/\n";

TEST(InputChecks, ValuesOutOfRangeAreErrorsAndStayUnstored) {
  struct Case {
    std::string file, message;
  } cases[] = {
      {">>compute\ncfl 0\n",
       "\"cfl\": value 0 out of range, Courant number must be at least 0.01 and "
       "not above 1, file '%', line 2"},
      {">>compute\ncfl -0.5\n",
       "\"cfl\": value -0.5 out of range, Courant number must be at least 0.01 "
       "and not above 1, file '%', line 2"},
      {">>compute\ncfl 1.01\n",
       "\"cfl\": value 1.01 out of range, Courant number must be at least 0.01 "
       "and not above 1, file '%', line 2"},
      {">>compute\ncfl 0,7\n",
       "\"cfl\": value \"0,7\" has a decimal comma (decimals take a point), file '%', line 2"},
      {">>compute\nhdry 0\n",
       "\"hdry\": value 0 out of range, dry depth must be above 0, file "
       "'%', line 2"},
      {">>global\nkst -5\n",
       "\"kst\": value -5 out of range, Strickler value must be above 0, "
       "file '%', line 2"},
      {">>global\nz0 0.\n",
       "\"z0\": value 0. out of range, roughness length must be above 0, "
       "file '%', line 2"},
      {">>output\ninterval 0\n",
       "\"interval\": value 0 out of range, result interval must be "
       "above 0, file '%', line 2"},
      {">>output\ndt_out -1\n",
       "\"dt_out\": value -1 out of range, time-series interval must be "
       "above 0, file '%', line 2"},
      {">>output\ncheckpoint 0\n",
       "\"checkpoint\": value 0 out of range, checkpoint interval must be "
       "above 0, file '%', line 2"},
      {">>turbulence\ncv -0.1\n",
       "\"cv\": value -0.1 out of range, eddy-viscosity coefficient "
       "must not be negative, file '%', line 2"},
      {">>mobile_bed\nd90 0\n",
       "\"d90\": value 0 out of range, grain size must be above 0, file "
       "'%', line 2"},
      {">>mobile_bed\ntime_factor 0\n",
       "\"time_factor\": value 0 out of range, time factor must "
       "be above 0, file '%', line 2"},
      {std::string(grid4x3) + ">>structure\nculvert 1000 2000 1010 2000\nwidth -2\n",
       "\"width\": value -2 out of range, width must be above 0, file '%', line 13"},
      {std::string(grid4x3) + ">>polygon\nleakage -1e-3\n" + square,
       "\"leakage\": value -1e-3 out of range, leakage coefficient must not be negative, file "
       "'%', line 12"},
      {std::string(grid4x3) + ">>boundary\ninflow -50\n",
       "\"inflow\": value -50 out of range, inflow discharge must not be negative, file '%', "
       "line 12"},
      {">>boundary\nslope **\n0 0.001\n1 -0.001\n2 -0.002\n",
       "\"slope\": value -0.0010 at 1.0000 h (table row 2) out of range, energy slope must not be "
       "negative (2 rows), file '%', line 2"},
  };
  for (const auto& c : cases) {
    InputRun r;
    const std::string text = placed(r, "keyword " + c.message);
    EXPECT_THROW(r.run(c.file), Stop) << text;
    EXPECT_NE(r.listing().find(frame("**error: ", text)), std::string::npos) << r.listing();
    EXPECT_EQ(r.msg.errors(), 1) << text;
    EXPECT_EQ(r.m.coin.cfl, 0.7f);
    EXPECT_EQ(r.m.coin.hdry, 0.02f);
    EXPECT_EQ(r.st.ksdef, 0.01f);
    EXPECT_EQ(r.m.coin.result_interval, 9.0e10f);
    EXPECT_EQ(r.m.csed.d90, 0.1f);
  }
  // In range: the limits themselves where they are admitted.
  InputRun ok;
  ok.run(">>compute\ncfl 1\nhdry 1e-4\n>>turbulence\nviscosity 0\n>>output\ninterval 1e-3\n");
  EXPECT_EQ(ok.m.coin.cfl, 1.0f);
  EXPECT_EQ(ok.m.coin.result_interval, 1.0e-3f);
}

TEST(InputChecks, ValuesReadWronglyOrImpossibleAreNamed) {
  struct Case {
    std::string file, head, message;
  } cases[] = {
      {">>boundary\nwaterlevel 398,8\n", "error",
       "keyword \"waterlevel\": value \"398,8\" has a decimal comma (decimals take a point), "
       "file '%', line 2"},
      {">>compute\nend 1,5\n", "error",
       "keyword \"end\": value \"1,5\" has a decimal comma (decimals take a point), file '%', "
       "line 2"},
      {">>boundary\nwaterlevel 398.8 399.5\n", "error",
       "keyword \"waterlevel\": surplus value \"399.5\", file '%', line 2"},
      {">>boundary\ninflow **\n0,5 60,0\n1 60\n", "error",
       "keyword \"inflow\": table row: value \"0,5\" has a decimal comma (decimals take a "
       "point), file '%', line 3"},
      {">>grid\nnx 2\nny 1\n1,5 2,5\n", "error",
       "grid '%', line 4: value \"1,5\" has a decimal comma (decimals take a point)"},
      {">>grid\nnx 1\nny 1\ncellsize -10\n5\n", "error",
       "grid header cellsize: value -10.000 out of range, cell size must be above 0 and not "
       "above 10000 m, file '%', line 4"},
      {">>grid\nnx 1\nny 1\ndx 1e30\n5\n", "error",
       "grid header dx: value 0.10000E+31 out of range, cell size must be above 0 and not "
       "above 10000 m, file '%', line 4"},
      {">>compute\ncfl 1e-7\n", "error",
       "keyword \"cfl\": value 1e-7 out of range, Courant number must be at least 0.01 and not "
       "above 1, file '%', line 2"},
      {">>global\nkst 1e39\n", "fatal error",
       "keyword \"kst\": value 1e39 out of range, the magnitude of a value must stay below "
       "3.4e38, file '%', line 2"},
      {">>grid\nnx 3\nny 2\nitem n\n0.03 -0.05 0.03\n0 0.03 0.03\n", "error",
       "grid roughness: value -0.0500 of cell (2, 1) out of range, Manning n must be above 0, "
       "file '%', line 1"},
      {std::string(grid4x3) + ">>polygon\nkst 20\n1005 2005,5\n1015 2005\n1015 2015\n/\n", "error",
       "polygon vertex: value \"2005,5\" has a decimal comma (decimals take a point), "
       "file '%', line 13"},
      {std::string(grid4x3) + ">>polygon\nbedlevel 5\n0 0\n1 0\n1 1\n/\n", "warning",
       "keyword \"bedlevel\": no node inside the polygon, the keyword acts on no node, file "
       "'%', line 12"},
  };
  for (const auto& c : cases) {
    InputRun r;
    try {
      r.run(c.file);
    } catch (const Stop&) {
    }
    EXPECT_NE(r.listing().find(frame("**" + c.head + ": ", placed(r, c.message))),
              std::string::npos)
        << r.listing();
  }
  // Commas that separate values still do.
  InputRun ok;
  ok.run(std::string(grid4x3) + ">>source\ndischarge 2\npoint 1010,2010\n");
  EXPECT_EQ(ok.msg.errors(), 0) << ok.listing();
  EXPECT_EQ(ok.a(2), ok.m.node(3, 3) + 1);
}

TEST(InputChecks, GridCellsOutOfRange) {
  struct Case {
    std::string item, message;
  } cases[] = {
      {"kst",
       "grid roughness: value -5.0000 of cell (2, 1) out of range, Strickler value must "
       "be above 0 (2 cells), file '%', line 1"},
      {"leakage",
       "grid leakage: value -5.0000 of cell (2, 1) out of range, leakage coefficient "
       "must not be negative, file '%', line 1"},
  };
  for (const auto& c : cases) {
    InputRun r;
    EXPECT_THROW(r.run(">>grid\nnx 3\nny 2\nitem " + c.item + "\n30 -5 30\n0 30 30\n"), Stop);
    EXPECT_NE(r.listing().find(frame("**error: ", placed(r, c.message))), std::string::npos)
        << r.listing();
  }
}

TEST(InputChecks, EndTimeMustFollowTheStartTime) {
  for (const char* times : {"start 2\nend 1.5\n", "end 2\nstart 2\n"}) {
    InputRun r;
    EXPECT_THROW(r.run(std::string(">>compute\n") + times), Stop);
    const std::string line = times[0] == 's' ? "3" : "2";
    const std::string end = times[0] == 's' ? "1.5" : "2";
    EXPECT_NE(r.listing().find(frame(
                  "**error: ", placed(r, "keyword \"end\": value " + end +
                                             " out of range, end time must be after the start "
                                             "time 2.000 h, file '%', line " +
                                             line))),
              std::string::npos)
        << r.listing();
  }
  InputRun ok;
  ok.run(">>compute\nend 2.5\nstart 2\n");
  EXPECT_EQ(ok.m.coin.time_end, 2.5f);
}

TEST(InputChecks, BoundariesAndSourcesThatActOnNoNodeAreNamed) {
  InputRun r;
  r.run(std::string(grid4x3) + ">>boundary\ninflow **\n0 5\n1 6\nlocation\n" + square +
        "waterlevel 3\n>>source\ndischarge 5\npoint 0 0\ndischarge 1\n");
  const std::string l = r.listing();
  const std::string no_node =
      "keyword \"location\": no boundary node inside the polygon, the "
      "\"inflow\" boundary acts on no node, file '%', line 15";
  EXPECT_NE(l.find(frame("**warning: ", placed(r, no_node))), std::string::npos) << l;
  EXPECT_NE(l.find("   waterlevel      3.000\n" +
                   frame("**warning: ", placed(r,
                                               "keyword \"waterlevel\": no location given, the "
                                               "boundary acts on no node, file '%', line 21")) +
                   " >>source\n"),
            std::string::npos)
      << l;
  EXPECT_NE(l.find(frame("**warning: ", "position out of model domain") +
                   frame("**warning: ", placed(r,
                                               "keyword \"point\": the \"discharge\" source of "
                                               "file '%', line 23 acts on no node, file '%', "
                                               "line 24"))),
            std::string::npos)
      << l;
  EXPECT_NE(l.find("   discharge     1.00\n >> \n" +
                   frame("**warning: ", placed(r,
                                               "keyword \"discharge\": no point given, the "
                                               "source acts on no node, file '%', line 25"))),
            std::string::npos)
      << l;
  EXPECT_NE(r.screen().find(" >>warnings   5, errors  0"), std::string::npos) << r.screen();
}

TEST(InputChecks, TableTimesGoingBackNameTheKeyword) {
  struct Case {
    int itab;  // table rows in use before the block (99995: no room left)
    std::string file, message;
  } cases[] = {
      {0, ">>boundary\ninflow **\n0 1\n2 2\n1 3\n",
       "keyword \"inflow\": table time 1.0000 lies before the time 2.0000 of the row above, "
       "file '%', line 5"},
      {0, ">>source\ndischarge **\n0 1\n2 2\n1.5 3\n",
       "keyword \"discharge\": table time 1.5000 lies before the time 2.0000 of the row "
       "above, file '%', line 5"},
      {99995, ">>boundary\nwaterlevel **\n0 1\n2 2\n1 3\n",
       "keyword \"waterlevel\": table time 1.0000 lies before the time 2.0000 of the row "
       "above, file '%', line 5"},
  };
  for (const auto& c : cases) {
    InputRun r;
    r.st.itab = c.itab;
    try {
      r.run(c.file);
    } catch (const Stop&) {
    }
    EXPECT_NE(r.listing().find(frame("**error: ", placed(r, c.message))), std::string::npos)
        << r.listing();
  }
}

TEST(InputChecks, FileNamesLongerThanTheirFieldAreErrors) {
  const std::string name = "results/scenario_hq100_variant_b.res";  // 36 characters
  for (const std::string kw : {"to", "max_values", "max_depth", "max_flow"}) {
    InputRun r;
    EXPECT_THROW(r.run(">>output\n" + kw + " '" + name + "'\n"), Stop) << kw;
    EXPECT_NE(r.listing().find(frame(
                  "**error: ", placed(r, "keyword \"" + kw + "\": '" + name +
                                             "' is longer than 32 characters, file '%', line 2"))),
              std::string::npos)
        << r.listing();
  }
  InputRun ok;
  ok.run(">>output\nto '" + name.substr(4) + "'\n");
  EXPECT_EQ(ok.m.cochar.result_file, name.substr(4));
}

}  // namespace
}  // namespace qf::test
