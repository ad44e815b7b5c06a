// A whole run on a bed grid with no-data cells: the exported maximum grids
// show the no-data value outside the model, and the walls stay dry.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "driver/run.h"
#include "io/textio.h"

namespace qf {
namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class OutsideRun : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::path(::testing::TempDir()) / ("qf_out_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(old_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path old_, dir_;
};

// A lake at rest at level 1 m over a flat bed at 0 with an island (bed 2 m)
// and no-data cells, 20 steps: depth 1 m wherever there is water.
TEST_F(OutsideRun, MaxGridsShowNoDataOutsideTheModel) {
  std::ofstream("bed.asc") << "ncols 4\nnrows 3\nxllcorner 1000.0\nyllcorner 2000.0\n"
                              "cellsize 10.0\nNODATA_value -9999\n"
                              "-9999 0 0 -9999\n"
                              "0 2 0 0\n"
                              "-9999 -9999 0 0\n";
  std::ofstream("dain")
      << "title 'lake with walls'\n>>global\nkst 30\n>>grid\ninclude 'bed.asc'\n"
         ">>polygon\nwaterlevel 1.0\n995 1995\n1045 1995\n1045 2035\n995 2035\n/\n"
         ">>compute\nsteps 20\n"
         ">>output\nmax_depth 'maxdepth.asc'\nmax_flow 'maxflow.asc'\n";
  std::istringstream kb;
  std::ostringstream scr, err;
  Session s(kb, scr, err);
  ASSERT_EQ(run(s, {"-q"}), 0) << scr.str();
  // The grids are placed by the corner of the first cell, half a cell off
  // the model origin (its centre).
  const std::string head = "ncols       4\nnrows       3\nxllcorner" +
                           fmt_f(s.model.coin.x_origin - 5.0, 12, 2) + "\nyllcorner" +
                           fmt_f(s.model.coin.y_origin - 5.0, 12, 2) +
                           "\n"
                           "cellsize      10.0000\n"
                           "NODATA_value  -9999.0\n";
  EXPECT_EQ(slurp("maxdepth.asc"), head +
                                       " -9999.0   1.000   1.000 -9999.0\n"
                                       "   1.000   0.000   1.000   1.000\n"
                                       " -9999.0 -9999.0   1.000   1.000\n");
  EXPECT_EQ(slurp("maxflow.asc"), head +
                                      " -9999.0   0.000   0.000 -9999.0\n"
                                      "   0.000   0.000   0.000   0.000\n"
                                      " -9999.0 -9999.0   0.000   0.000\n");
  // The walls stand 100 m above the highest real bed and hold no water.
  const Model& m = s.model;
  for (auto [i, j] : {std::pair{2, 4}, {5, 4}, {2, 2}, {3, 2}}) {
    const auto e = static_cast<std::size_t>(m.node(i, j));
    EXPECT_EQ(m.f.outside[e], 1) << i << "," << j;
    EXPECT_EQ(m.f.zb[e], 102.0f) << i << "," << j;
    EXPECT_EQ(m.f.h[e], 0.0f) << i << "," << j;
  }
}

}  // namespace
}  // namespace qf
