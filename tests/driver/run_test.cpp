#include "driver/run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "driver/help.h"

namespace qf {
namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Runs the program in a fresh directory with the given files.
class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::path(::testing::TempDir()) /
           ("qf_drv_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override { fs::current_path(old_); }
  void file(const std::string& n, const std::string& text) { std::ofstream(n) << text; }
  int run_with(const std::vector<std::string>& args, const std::string& keyboard = "") {
    kb_.str(keyboard);
    s_ = std::make_unique<Session>(kb_, scr_, err_);
    return run(*s_, args);
  }
  fs::path old_, dir_;
  std::istringstream kb_;
  std::ostringstream scr_, err_;
  std::unique_ptr<Session> s_;
};

const char* kBanner =
    " ----------------------------\n"
    "|  Quellfax_v3.0_1 03-2016   |\n"
    " ----------------------------\n";

const char* kSmall =
    "title 'two cells'\n"
    ">>grid\n"
    "nx 2\nny 1\ndx 1.0\ndy 1.0\n"
    "1.0 2.0\n"
    ">>compute\n"
    "steps 3\n";

TEST_F(DriverTest, BannerAndDefaultCommandFile) {
  file("dain", kSmall);
  EXPECT_EQ(run_with({"-q"}), 0);
  const std::string scr = scr_.str();
  EXPECT_EQ(scr.rfind(kBanner, 0), 0u) << scr;
  EXPECT_EQ(scr.find("input from file"), std::string::npos);
  EXPECT_NE(scr.find(" >hvx terminated\n"), std::string::npos);
  EXPECT_TRUE(fs::exists("out"));
}

// Without -q the run opens its progress window; with no display it stops
// before it writes any file, and says how to run without a window.
TEST_F(DriverTest, NoDisplayStopsWithTheQuietHint) {
  file("dain", kSmall);
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  setenv("DISPLAY", ":9999", 1);
  const int status = run_with({});
  if (display)
    setenv("DISPLAY", saved.c_str(), 1);
  else
    unsetenv("DISPLAY");
  EXPECT_EQ(status, 1);
  EXPECT_NE(
      scr_.str().find(" >no window can be opened (is DISPLAY set?): run with -q for no window\n"),
      std::string::npos)
      << scr_.str();
  EXPECT_FALSE(fs::exists("out"));
  EXPECT_FALSE(fs::exists("dares"));
}

TEST_F(DriverTest, ThreeArgumentsCommandResultIgnored) {
  file("model.qfx", kSmall);
  EXPECT_EQ(run_with({"-q", "model.qfx", "myres", "third"}), 0);
  EXPECT_EQ(s_->model.cochar.result_file, "myres");
  EXPECT_NE(scr_.str().find(" >input from file 'model.qfx'\n"), std::string::npos);
  EXPECT_EQ(slurp("out").rfind(" >input from file 'model.qfx'\n", 0), 0u);
}

TEST_F(DriverTest, RunOptionsBeforeTheCommandFileAreNoFileName) {
  file("model.qfx", kSmall);
  EXPECT_EQ(run_with({"-q", "@wet,hot", "model.qfx", "@dry"}), 0);
  EXPECT_NE(scr_.str().find(" >input from file 'model.qfx'\n"), std::string::npos);
  EXPECT_EQ(s_->model.cochar.result_file, "dares");
  EXPECT_EQ(s_->opt.names(), (std::vector<std::string>{"wet", "hot", "dry"}));
}

TEST_F(DriverTest, SwitchesHelpAndQuiet) {
  file("dain", kSmall);
  EXPECT_EQ(run_with({"-qh"}), 0);
  EXPECT_TRUE(s_->model.clog.quiet);
  EXPECT_NE(scr_.str().find("\n  -NUMBER OF GRID NODES "), std::string::npos);
}

TEST_F(DriverTest, MissingCommandFileAsksAndBlankAnswerStops) {
  EXPECT_NE(run_with({"-q", "nofile"}, "\n"), 0);
  EXPECT_NE(scr_.str().find("nofile    ... not found. Filename> "), std::string::npos);
}

TEST_F(DriverTest, InputErrorsStopAtTheSummaryWithNonZeroStatus) {
  file("dain", "title 'x'\n>>grid\nnx 2\nny 1\ndx 1.0\ndy 1.0\n1.0 2.0\n>>global\n  bogus 1\n");
  EXPECT_NE(run_with({"-q"}), 0);
  EXPECT_NE(scr_.str().find(" >>warnings   0, errors  1 ->check output listing"),
            std::string::npos);
  EXPECT_EQ(scr_.str().find(" >hvx terminated"), std::string::npos);
  EXPECT_NE(slurp("out").find("**error: keyword unknown> bogus"), std::string::npos);
}

// A strip of 20 x 4 cells of 1 m on a flat bed: 1 m3/s in at the west end,
// the level held at 1 m at the east end; `extra` goes before >>compute.
std::string strip(const std::string& title, const std::string& extra, const std::string& compute,
                  const std::string& output) {
  std::string s =
      "title '" + title + "'\n>>global\n  kst 30\n>>grid\nnx 20\nny 4\ndx 1.0\ndy 1.0\n";
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 20; ++i) s += "0.0 ";
    s += "\n";
  }
  s += ">>polygon\n  waterlevel 1.0\n  -1.5 -0.5\n  19.5 -0.5\n  19.5 3.5\n"
       "  -1.5 3.5\n  /\n";
  s += ">>boundary\n  inflow 1.0\n  location\n  -1.5 -0.5\n  0.5 -0.5\n  0.5 3.5\n  -1.5 3.5\n"
       "  /\n  waterlevel 1.0\n  location\n  18.5 -0.5\n  20.5 -0.5\n  20.5 3.5\n  18.5 3.5\n"
       "  /\n";
  s += extra + ">>compute\n" + compute + ">>output\n" + output + ">>\n";
  return s;
}

TEST_F(DriverTest, TransportNeedsAnInitialFlowField) {
  file("heat.qfx", strip("heat", ">>source\n  thermal_load 1.0\n  point 5.0 1.5\n", "  end 0.01\n",
                         "  to 'heat.res'\n"));
  EXPECT_EQ(run_with({"-q", "heat.qfx"}), 1);
  EXPECT_NE(slurp("out").find("must have initial condition for mixing"), std::string::npos);
  EXPECT_EQ(scr_.str().find(" >hvx terminated"), std::string::npos);
}

TEST_F(DriverTest, HeatReleasedIntoAnEarlierFlowField) {
  // The flow first, to a result file of the hot-start kind...
  file("flow.qfx", strip("flow", "", "  end 0.05\n", "  to 'flow.res'\n  interval 0.05\n"));
  ASSERT_EQ(run_with({"-q", "flow.qfx"}), 0) << slurp("out");
  // ...then heat on that flow field: one item, the temperature, type -96.
  file("heat.qfx", strip("heat",
                         ">>initiate\n  from 'flow.res'\n>>source\n  thermal_load 2.0\n"
                         "  point 5.0 1.5\n",
                         "  end 0.06\n", "  to 'heat.res'\n  interval 0.005\n  plot waterlevel\n"));
  ASSERT_EQ(run_with({"-q", "heat.qfx"}), 0) << slurp("out");
  EXPECT_NE(scr_.str().find(" >hvx terminated"), std::string::npos);
  const std::string b = slurp("heat.res");
  ASSERT_GT(b.size(), 300u);
  int type = 0, rl = 0, n = 0;
  std::memcpy(&type, b.data(), 4);
  std::memcpy(&rl, b.data() + 4, 4);
  std::memcpy(&n, b.data() + rl, 4);
  EXPECT_EQ(type, -96);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(b.substr(static_cast<std::size_t>(rl) + 36, 32),
            " TTemperature [K]" + std::string(15, ' '));
  // The heat is carried east from the release point and none is below 0.
  const Model& m = s_->model;
  double sum = 0.0, moment = 0.0;
  for (int j = 2; j <= m.coin1.nyy - 1; ++j) {
    for (int i = 2; i <= m.coin1.nxx - 1; ++i) {
      const float c = m.f.c[static_cast<std::size_t>(m.node(i, j))];
      EXPECT_GE(c, 0.0f) << i << "," << j;
      sum += c;
      moment += c * (i - 2);
    }
  }
  ASSERT_GT(sum, 0.0);
  EXPECT_GT(moment / sum, 5.0);
}

TEST_F(DriverTest, MobileBedScoursUnderTheInflow) {
  file("bed.qfx", strip("bed", ">>mobile_bed\n  d50 0.0001\n  time_factor 5\n", "  steps 200\n",
                        "  to 'bed.res'\n  plot bedlevel\n"));
  ASSERT_EQ(run_with({"-q", "bed.qfx"}), 0) << slurp("out");
  EXPECT_NE(scr_.str().find(">mobile bed "), std::string::npos);
  EXPECT_NE(scr_.str().find("!bed changes accelerated by factor"), std::string::npos);
  EXPECT_NE(slurp("out").find("   d50      0.000"), std::string::npos);
  // Some bed has moved, and what moved stays (no sediment comes in: the
  // first real column never changes).
  const Model& m = s_->model;
  double moved = 0.0;
  for (int j = 2; j <= m.coin1.nyy - 1; ++j) {
    for (int i = 2; i <= m.coin1.nxx - 1; ++i) {
      moved += std::fabs(m.f.zb[static_cast<std::size_t>(m.node(i, j))]);
    }
  }
  EXPECT_GT(moved, 1e-4);
}

TEST_F(DriverTest, MobileBedRunContinuesOnTheBedItReached) {
  const std::string bed = ">>mobile_bed\n  d50 0.0001\n  time_factor 5\n";
  file("one.qfx",
       strip("bed", bed, "  steps 200\n", "  to 'one.res'\n  plot initial\n  plot bedlevel\n"));
  ASSERT_EQ(run_with({"-q", "one.qfx"}), 0) << slurp("out");
  const std::vector<float> reached = s_->model.f.zb;
  // The second run starts from the first one's last record, bed included
  // (the mobile bed is switched on before the initial condition is read).
  file("two.qfx", strip("bed", bed + ">>initiate\n  from 'one.res'\n", "  steps 1\n",
                        "  to 'two.res'\n  plot initial\n  plot bedlevel\n"));
  ASSERT_EQ(run_with({"-q", "two.qfx"}), 0) << slurp("out");
  EXPECT_NE(scr_.str().find(" >bed level from 'one.res'\n"), std::string::npos) << scr_.str();
  const Model& m = s_->model;
  double moved = 0.0;
  for (int j = 2; j <= m.coin1.nyy - 1; ++j) {
    for (int i = 2; i <= m.coin1.nxx - 1; ++i) {
      const auto k = static_cast<std::size_t>(m.node(i, j));
      moved = std::max(moved, std::fabs(double(reached[k])));
      EXPECT_NEAR(m.f.zb[k], reached[k], 3e-6) << i << "," << j;
    }
  }
  EXPECT_GT(moved, 3e-5);  // the first run did move the bed (one step moves ~3e-7 m)
}

TEST(Help, TwentyLinesOfSixty) {
  const auto l = help_lines();
  for (const auto& s : l) EXPECT_EQ(s.size(), 60u);
  // The grid that fits in the memory of this process, in thousands of nodes
  // right-aligned in six characters, and a row of a third of them.
  const std::regex limit(" -(NUMBER OF GRID NODES|GRID DIMENSION IN X  ) *[0-9]{1,6}[KM] *");
  EXPECT_TRUE(std::regex_match(l[11], limit)) << l[11];
  EXPECT_TRUE(std::regex_match(l[12], limit)) << l[12];
  const long long nodes = std::stoll(l[11].substr(23, 6)), row = std::stoll(l[12].substr(23, 6));
  EXPECT_GT(nodes, 1000);  // a million nodes fit in any test machine
  EXPECT_NEAR(static_cast<double>(row), nodes / 3.0, 1.0 + nodes * 0.02);
  EXPECT_EQ(std::string(l[13].substr(0, 30)), " -ROWS IN TABLE STORAGE   100K");
  EXPECT_EQ(std::string(l[19].substr(0, 29)), "  eXit    terminates Quellfax");
}

}  // namespace
}  // namespace qf
