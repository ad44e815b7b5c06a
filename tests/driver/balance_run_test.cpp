// Water balance of whole runs, the stop on a signal and the note on a run
// without an end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "driver/run.h"

namespace qf {
namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Columns of the last line of a mass-balance file by name; also the number
// of lines below the header.
std::map<std::string, double> last_balance(const std::string& path, int* lines = nullptr) {
  std::istringstream in(slurp(path));
  std::string header, line, last;
  std::getline(in, header);
  int n = 0;
  while (std::getline(in, line)) {
    if (!line.empty()) {
      last = line;
      ++n;
    }
  }
  if (lines) *lines = n;
  std::istringstream hs(header), vs(last);
  std::map<std::string, double> col;
  std::string name;
  double v = 0.0;
  while (hs >> name && vs >> v) col[name] = v;
  return col;
}

class BalanceRun : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::path(::testing::TempDir()) /
           ("qf_bal_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    request_stop(0);
    fs::current_path(old_);
  }
  void file(const std::string& n, const std::string& text) { std::ofstream(n) << text; }
  int run_with(const std::vector<std::string>& args) {
    s_ = std::make_unique<Session>(kb_, scr_, err_);
    return run(*s_, args);
  }
  // The error closes to 1e-6 of the volume moved.
  static void expect_closed(const std::map<std::string, double>& b) {
    ASSERT_GT(b.at("moved"), 0.0);
    EXPECT_LT(std::fabs(b.at("error")), 1e-6 * b.at("moved")) << b.at("error");
    const double pct = 100.0 * b.at("error") / b.at("moved");
    EXPECT_NEAR(b.at("error_pct"), pct, 1e-8 * std::fabs(pct) + 1e-15);
  }
  fs::path old_, dir_;
  std::istringstream kb_;
  std::ostringstream scr_, err_;
  std::unique_ptr<Session> s_;
};

// A flat strip of 20 x 4 cells of 1 m at 1 m of water; `boundary` and
// `extra` sections as given.
std::string strip(const std::string& boundary, const std::string& compute, double level = 1.0) {
  std::string s = "title 'strip'\n>>global\n  kst 30\n>>grid\nnx 20\nny 4\ndx 1.0\ndy 1.0\n";
  for (int j = 0; j < 4; ++j)
    s += "0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0\n";
  s += ">>polygon\n  waterlevel " + std::to_string(level) +
       "\n  -1.5 -0.5\n  19.5 -0.5\n  19.5 3.5\n  -1.5 3.5\n  /\n";
  s += ">>boundary\n" + boundary + ">>compute\n" + compute +
       ">>output\n  to 'strip.res'\n  interval 0.01\n  max_values 'strip.max'\n"
       "  max_depth 'depth.asc'\n>>\n";
  return s;
}
const char* kWest = "  location\n  -1.5 -0.5\n  0.5 -0.5\n  0.5 3.5\n  -1.5 3.5\n  /\n";
const char* kEast = "  location\n  18.5 -0.5\n  20.5 -0.5\n  20.5 3.5\n  18.5 3.5\n  /\n";

TEST_F(BalanceRun, RainOnAClosedTiltedBoxStaysOnTheGrid) {
  // 10 x 6 cells of 10 m, the bed rising 0.05 m per cell eastward; a
  // cloudburst of 3600 mm/h, so that the water runs down within 40 steps.
  std::string s = "title 'rain'\n>>global\n  kst 30\n>>grid\nnx 10\nny 6\ndx 10.0\ndy 10.0\n";
  for (int j = 0; j < 6; ++j) {
    for (int i = 0; i < 10; ++i) s += std::to_string(0.05 * i) + " ";
    s += "\n";
  }
  s += ">>source\n  precipitation 3600.0\n>>compute\n  steps 40\n  2nd\n>>output\n"
       "  to 'rain.res'\n  interval 0.005\n>>\n";
  file("rain.qfx", s);
  ASSERT_EQ(run_with({"-q", "rain.qfx"}), 0) << slurp("out");
  int lines = 0;
  const auto b = last_balance("rain.res.mass", &lines);
  EXPECT_GE(lines, 3);  // start, an output time, the end
  expect_closed(b);
  // All the rain of 40 steps lies on the grid: 1e-3 m/s on 6000 m2.
  const double seconds = static_cast<double>(s_->hydro.clock) * 3600.0;
  EXPECT_NEAR(b.at("rain"), 1e-3 * 6000.0 * seconds, 1e-4 * b.at("rain"));
  EXPECT_NEAR(b.at("volume"), b.at("rain"), 1e-6 * b.at("rain"));
  EXPECT_EQ(b.at("boundary_in") + b.at("boundary_out"), 0.0);
  EXPECT_NE(scr_.str().find(" >water balance [m3] after 40 steps, wall time "), std::string::npos);
  EXPECT_NE(slurp("out").find("    rain                        "), std::string::npos);
}

TEST_F(BalanceRun, InflowThroughABasinToAWaterLevel) {
  // 1 m3/s in at the west end, the level held at 1 m at the east end; the
  // whole hydrograph enters (none of it is given to the ring corners).
  for (const char* order : {"", "  2nd\n"}) {
    file("strip.qfx",
         strip(std::string("  inflow 1.0 > in.txt\n") + kWest + "  waterlevel 1.0\n" + kEast,
               std::string("  end 0.02\n") + order));
    ASSERT_EQ(run_with({"-q", "strip.qfx"}), 0) << slurp("out");
    const auto b = last_balance("strip.res.mass");
    expect_closed(b);
    const double seconds = static_cast<double>(s_->hydro.clock) * 3600.0;
    EXPECT_NEAR(b.at("inflow_in"), seconds, 1e-4 * seconds) << order;
    EXPECT_EQ(b.at("inflow_out"), 0.0);
    EXPECT_GT(b.at("waterlevel_out"), 0.5 * seconds);
    // The series of the inflow shows the discharge that enters.
    EXPECT_NE(slurp("in.txt").find("       1.000       0.000\n"), std::string::npos);
  }
}

TEST_F(BalanceRun, CulvertBetweenTwoBasins) {
  // Two basins of 20 x 10 cells of 2 m beside a high wall, 2 m and 0.5 m of
  // water; a pipe of 0.5 m through the wall.
  std::string s = "title 'basins'\n>>global\n  kst 40\n>>grid\nnx 43\nny 10\ndx 2.0\ndy 2.0\n";
  for (int j = 0; j < 10; ++j) {
    for (int i = 0; i < 43; ++i) s += (i >= 20 && i <= 22) ? "106.0 " : "100.0 ";
    s += "\n";
  }
  s += ">>polygon\n  waterlevel 102.0\n  -1.37 -1.41\n  39.13 -1.41\n  39.13 19.59\n"
       "  -1.37 19.59\n  /\n  waterlevel 100.5\n  44.63 -1.41\n  85.13 -1.41\n"
       "  85.13 19.59\n  44.63 19.59\n  /\n";
  s += ">>structure\n  culvert 38.0 10.0 46.0 10.0\n  diameter 0.5\n  kst 70\n"
       ">>compute\n  end 0.02\n>>output\n  to 'basins.res'\n  interval 0.01\n>>\n";
  file("basins.qfx", s);
  ASSERT_EQ(run_with({"-q", "basins.qfx"}), 0) << slurp("out");
  const auto b = last_balance("basins.res.mass");
  expect_closed(b);
  EXPECT_GT(b.at("culvert_moved"), 10.0);
  EXPECT_EQ(b.at("culvert"), 0.0);
  EXPECT_NEAR(b.at("volume"), 200 * 4.0 * 2.0 + 200 * 4.0 * 0.5, 1e-3);
}

TEST_F(BalanceRun, RainLeakagePointsAndAWeirOnASlope) {
  // A strip rising 0.02 m per cell eastward, 0.2 m of water at the low end:
  // rain, leakage everywhere (also on the dry and thin nodes), a source and
  // a sink, a weir at the west end.
  std::string s = "title 'mix'\n>>global\n  kst 30\n>>grid\nnx 20\nny 4\ndx 1.0\ndy 1.0\n";
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 20; ++i) s += std::to_string(0.02 * i) + " ";
    s += "\n";
  }
  s += ">>polygon\n  waterlevel 0.2\n  -1.5 -0.5\n  19.5 -0.5\n  19.5 3.5\n  -1.5 3.5\n  /\n"
       "  leakage 0.0005\n  -1.5 -0.5\n  19.5 -0.5\n  19.5 3.5\n  -1.5 3.5\n  /\n"
       ">>source\n  precipitation 200\n  discharge 0.05\n  point 15.0 1.0\n"
       "  discharge -0.02\n  point 2.0 2.0\n>>boundary\n  weir 0.25\n";
  s += std::string(kWest) + ">>compute\n  end 0.03\n  2nd\n>>output\n  to 'mix.res'\n>>\n";
  file("mix.qfx", s);
  ASSERT_EQ(run_with({"-q", "mix.qfx"}), 0) << slurp("out");
  const auto b = last_balance("mix.res.mass");
  expect_closed(b);
  const double seconds = static_cast<double>(s_->hydro.clock) * 3600.0;
  EXPECT_NEAR(b.at("points"), 0.03 * seconds, 1e-5 * seconds);
  EXPECT_LT(b.at("leakage"), 0.0);
  EXPECT_GT(b.at("weir_out"), 0.0);
}

TEST_F(BalanceRun, SinkOnAShallowNode) {
  // A sink of 0.5 m3/s on one cell of 1 m2 in 5 cm of water takes more than
  // the cell holds in a step: the budget counts what the solver applied
  // (with a solver that limits a sink to what the node holds, only with
  // WaterBudget::sinks_limited set).
  // 71 steps of 0.5 s (cfl / (2 sqrt(g h) / dx) at 5 cm): about 35 s of drain.
  file("sink.qfx", strip("", "  steps 71\n", 0.05));
  std::string s = slurp("sink.qfx");
  s.replace(s.find(">>boundary\n"), 11, ">>source\n  discharge -0.5\n  point 10.0 1.0\n");
  file("sink.qfx", s);
  ASSERT_EQ(run_with({"-q", "sink.qfx"}), 0) << slurp("out");
  const auto b = last_balance("strip.res.mass");
  expect_closed(b);
  EXPECT_LT(b.at("points"), -1.0);
}

TEST_F(BalanceRun, FaceFluxesAddUpToTheSolverSums) {
  // One first-order step: the volumes over the boundaries are the solver's
  // boundary sums of the step times the step.
  file("one.qfx",
       strip(std::string("  inflow 1.0\n") + kWest + "  waterlevel 0.9\n" + kEast, "  steps 1\n"));
  ASSERT_EQ(run_with({"-q", "one.qfx"}), 0) << slurp("out");
  const auto& bf = s_->model.coin.boundary_flow;
  const double dt = s_->model.coin.dt;
  const WaterBudget& g = s_->hydro.boundary.budget;
  EXPECT_NEAR(g.in[2], (bf[0] + bf[2] + bf[6]) * dt, 1e-6 * g.in[2]);
  EXPECT_NEAR(g.out[0], -(bf[5] + bf[3] + bf[7]) * dt, 1e-6 * g.out[0]);
  EXPECT_GT(g.out[0], 0.0);
}

TEST_F(BalanceRun, SlopeSeriesCountsOnlyWaterThatMoves) {
  // A film below the dry depth does not flow out: the series, the table of
  // the listing and the balance all show no outflow.
  file("film.qfx", strip(std::string("  slope 0.01 > slope.txt\n") + kEast, "  steps 4\n", 0.015));
  ASSERT_EQ(run_with({"-q", "film.qfx"}), 0) << slurp("out");
  const std::string series = slurp("slope.txt");
  ASSERT_NE(series.find("\n    0.0"), std::string::npos) << series;
  std::istringstream in(series);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) EXPECT_EQ(line.substr(10, 12), "       0.000") << line;
  const auto b = last_balance("strip.res.mass");
  EXPECT_EQ(b.at("slope_out"), 0.0);
  EXPECT_NEAR(b.at("volume"), 80 * 0.015, 1e-6);
}

TEST_F(BalanceRun, TideIntegralAdvancesOncePerStep) {
  // Level 1 m inside, tide 1.2 m: after one two-stage step the integral is
  // 0.01 (1.2 - 1.0) dt, not the sum of both stages.
  file("tide.qfx", strip(std::string("  tide 1.2\n") + kEast, "  steps 1\n  2nd\n"));
  ASSERT_EQ(run_with({"-q", "tide.qfx"}), 0) << slurp("out");
  const BoundaryWork& bw = s_->hydro.boundary;
  ASSERT_EQ(bw.blocks.size(), 1u);
  ASSERT_EQ(bw.blocks[0].node_count, 6);  // four east, the last south and north
  const float dt = s_->model.coin.dt;
  for (int c = 0; c < 6; ++c) {
    const float state = s_->model.coin.table_a[bw.nodes[c].state_row];
    EXPECT_NEAR(state, 0.01f * 0.2f * dt, 1e-6f * dt) << c;
  }
}

TEST_F(BalanceRun, StopRequestEndsARunWithoutEndAfterItsStep) {
  // No end time and no step limit: the note says the run goes on until it is
  // stopped; a stop asked for (as by Ctrl-C) ends it after its step with
  // the last block, the maxima and the grids, and status 130.
  file("open.qfx", strip(std::string("  inflow 1.0\n") + kWest + "  waterlevel 1.0\n" + kEast, ""));
  request_stop(SIGINT);
  EXPECT_EQ(run_with({"-q", "open.qfx"}), 130);
  const std::string scr = scr_.str();
  EXPECT_NE(scr.find(" >no end time and no step limit: the run goes on until it is stopped "
                     "(Ctrl-C)\n"),
            std::string::npos);
  EXPECT_NE(scr.find(" >stopped by SIGINT after step 1 at t="), std::string::npos) << scr;
  EXPECT_NE(scr.find(" h: last state, maxima and grids written\n"), std::string::npos);
  EXPECT_NE(scr.find(" >hvx stopped\n"), std::string::npos);
  EXPECT_EQ(scr.find(" >hvx terminated"), std::string::npos);
  EXPECT_NE(slurp("out").find(" >stopped by SIGINT after step 1"), std::string::npos);
  EXPECT_TRUE(fs::exists("strip.max"));
  EXPECT_EQ(slurp("depth.asc").rfind("ncols      20\n", 0), 0u);
  int lines = 0;
  last_balance("strip.res.mass", &lines);
  EXPECT_EQ(lines, 2);  // start and the last state
  // The same with SIGTERM: 143.
  request_stop(SIGTERM);
  EXPECT_EQ(run_with({"-q", "open.qfx"}), 143);
}

}  // namespace
}  // namespace qf
