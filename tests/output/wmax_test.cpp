#include "output/wmax.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

#include "io/stop.h"
#include "io/textio.h"
#include "tests/output/child_process.h"

namespace qf {
namespace {

using test::slurp;

template <class T>
T at(const std::string& bytes, std::size_t off) {
  T v{};
  std::memcpy(&v, bytes.data() + off, sizeof v);
  return v;
}

Model grid(int nx, int ny) {
  Model m;
  m.coin1.nx = nx;
  m.coin1.ny = ny;
  m.coin1.nxx = nx + 2;
  m.coin1.nyy = ny + 2;
  m.coin1.nn = (nx + 2) * (ny + 2);
  m.coin.dx = 2.5f;
  m.coin.dy = 2.5f;
  alloc_flow(m, m.coin1.nn);
  for (int i = 1; i <= nx + 2; ++i) m.coin1.xc[i] = (i - 2) * 2.5f;
  for (int j = 1; j <= ny + 2; ++j) m.coin1.yc[j] = (j - 2) * 2.5f;
  m.coin.x_origin = 500000.0;
  m.coin.y_origin = 100000.0;
  return m;
}

class WmaxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::scratch_dir("qf_wmax_");
    char buf[PATH_MAX];
    ASSERT_NE(::getcwd(buf, sizeof buf), nullptr);
    cwd_ = buf;
    ASSERT_EQ(::chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    io_.close_all();
    ASSERT_EQ(::chdir(cwd_.c_str()), 0);
  }
  std::string dir_, cwd_;
  std::istringstream kb_;
  std::ostringstream scr_, err_;
  Channels io_{kb_, scr_, err_};
  Messages msg_{io_};
};

TEST_F(WmaxTest, UpdateKeepsTheHighestValues) {
  Model m = grid(3, 2);
  Wmax w;
  wmax(m, w, io_, msg_, -1);
  ASSERT_EQ(w.depth.size(), static_cast<std::size_t>(m.coin1.nn));
  for (float v : w.level) EXPECT_EQ(v, -9999.0f);
  const int a = m.node(2, 2), b = m.node(3, 2);
  m.f.h[a] = 0.0005f;  // never deeper than 0.001 m
  m.f.q[a] = 0.0003f;
  m.f.r[a] = 0.0004f;
  m.f.zb[b] = 10.0f;
  m.f.h[b] = 2.0f;
  m.f.q[b] = 3.0f;
  m.f.r[b] = 4.0f;
  // Without any of the three files nothing is tracked.
  wmax(m, w, io_, msg_, 0);
  EXPECT_EQ(w.depth[b], -9999.0f);

  m.cochar.max_depth_file = "depth.asc";
  wmax(m, w, io_, msg_, 0);
  EXPECT_EQ(w.level[a], -9999.0f);
  EXPECT_FLOAT_EQ(w.depth[a], 0.0005f);
  EXPECT_FLOAT_EQ(w.flow[a], 0.0005f);
  EXPECT_FLOAT_EQ(w.velocity[a], 0.5f);  // divided by 0.001
  EXPECT_EQ(w.level[b], 12.0f);
  EXPECT_EQ(w.depth[b], 2.0f);
  EXPECT_EQ(w.flow[b], 5.0f);
  EXPECT_EQ(w.velocity[b], 2.5f);
  EXPECT_EQ(w.depth[m.node(1, 1)], 0.0f);  // ghost cells take part

  m.f.h[b] = 1.0f;
  m.f.q[b] = 0.6f;
  m.f.r[b] = 0.8f;
  m.f.h[a] = 0.5f;
  w.flow[b] = std::numeric_limits<float>::quiet_NaN();  // replaced by the new value
  wmax(m, w, io_, msg_, 0);
  EXPECT_EQ(w.level[b], 12.0f);
  EXPECT_EQ(w.depth[b], 2.0f);
  EXPECT_EQ(w.flow[b], 1.0f);
  EXPECT_EQ(w.velocity[b], 2.5f);
  EXPECT_EQ(w.level[a], 0.5f);
  // A new value that is not a number does not replace a stored one.
  m.f.h[b] = std::numeric_limits<float>::quiet_NaN();
  wmax(m, w, io_, msg_, 0);
  EXPECT_EQ(w.depth[b], 2.0f);
}

// State of the 3 x 2 grid: cell (i, j) depth i + j / 2, zb 100, q = h.
void fill(Model& m, float extra) {
  for (int j = 1; j <= m.coin1.ny; ++j)
    for (int i = 1; i <= m.coin1.nx; ++i) {
      const int k = m.node(i + 1, j + 1);
      m.f.zb[k] = 100.0f;
      m.f.h[k] = i + 0.5f * j + extra;
      m.f.q[k] = m.f.h[k];
      m.f.r[k] = 0.0f;
    }
}

TEST_F(WmaxTest, MaxValueFileByteForByte) {
  Model m = grid(3, 2);
  m.cochar.max_value_file = "m.max";
  m.cochar.title = "Max run";
  m.coin.time = 4.5f;
  Wmax w;
  wmax(m, w, io_, msg_, -1);
  EXPECT_EQ(scr_.str(), "");
  fill(m, 0.0f);
  wmax(m, w, io_, msg_, 0);
  wmax(m, w, io_, msg_, 1);
  EXPECT_EQ(scr_.str(), " >max_values to 'm.max'\n");
  EXPECT_FALSE(file_exists("m.max.part"));
  const std::size_t rl = 165;
  const std::string b = slurp("m.max");
  ASSERT_EQ(b.size(), 10 * rl);
  EXPECT_EQ(at<std::int32_t>(b, 0), -96);
  EXPECT_EQ(at<std::int32_t>(b, 4), 165);
  EXPECT_EQ(at<std::int32_t>(b, 8), 3);
  EXPECT_EQ(at<std::int32_t>(b, 12), 2);
  EXPECT_EQ(at<std::int32_t>(b, 16), 1);
  EXPECT_EQ(at<std::int32_t>(b, 20), 2);
  EXPECT_EQ(b.substr(24, 64), "Max run" + std::string(57, ' '));
  EXPECT_EQ(at<double>(b, 88), 500000.0);
  EXPECT_EQ(at<double>(b, 96), 100000.0);
  EXPECT_EQ(at<std::int32_t>(b, rl), 4);
  EXPECT_EQ(b.substr(rl + 4, 160),
            "Time[h]" + std::string(25, ' ') + " WWaterlevel [m]" + std::string(16, ' ') +
                " FFlowdepth [m]" + std::string(17, ' ') + " SSpecific Flow [m2/s]" +
                std::string(10, ' ') + " VFlow Velocity [m/s]" + std::string(11, ' '));
  for (int r = 3; r <= 6; ++r) EXPECT_EQ(at<float>(b, (r - 1) * rl), 0.0f);
  EXPECT_EQ(at<float>(b, 2 * rl + 8), 2.5f);  // x of the second cell
  EXPECT_EQ(at<float>(b, 5 * rl + 4), 2.5f);  // y of row 2
  for (int j = 1; j <= 2; ++j) {
    const std::size_t r = (6 + j - 1) * rl;
    EXPECT_EQ(at<float>(b, r), 4.5f);
    for (int i = 1; i <= 3; ++i) {
      const float d = i + 0.5f * j;
      EXPECT_EQ(at<float>(b, r + 4 * i), 100.0f + d);
      EXPECT_EQ(at<float>(b, r + 4 * (3 + i)), d);
      EXPECT_EQ(at<float>(b, r + 4 * (6 + i)), d);
      EXPECT_EQ(at<float>(b, r + 4 * (9 + i)), 1.0f);
    }
  }
  EXPECT_EQ(at<float>(b, 8 * rl), -99.0f);
  EXPECT_EQ(at<float>(b, 9 * rl), -99.0f);
}

TEST_F(WmaxTest, RestoreAccumulatesOverRunsOfTheSameGrid) {
  Model m = grid(3, 2);
  m.cochar.max_value_file = "m.max";
  {
    Wmax w;
    wmax(m, w, io_, msg_, -1);
    fill(m, 1.0f);
    wmax(m, w, io_, msg_, 0);
    wmax(m, w, io_, msg_, 1);
  }
  scr_.str("");
  m.clog.warm_started = true;  // this run goes on from the first
  Wmax w;
  wmax(m, w, io_, msg_, -1);
  EXPECT_EQ(scr_.str(), ">reading from existing max_value file\n");
  EXPECT_FALSE(io_.is_open(ch::aux));
  EXPECT_EQ(w.depth[m.node(4, 3)], 5.0f);  // 3 + 1 + 1
  EXPECT_EQ(w.level[m.node(2, 2)], 102.5f);
  EXPECT_EQ(w.depth[m.node(1, 1)], -9999.0f);  // ghost cells are not in the file
  fill(m, 0.0f);                               // lower this time
  wmax(m, w, io_, msg_, 0);
  EXPECT_EQ(w.depth[m.node(4, 3)], 5.0f);

  // Another grid: ignored, with a warning (the continued run loses the
  // earlier maxima).
  Model other = grid(4, 2);
  other.cochar.max_value_file = "m.max";
  other.clog.warm_started = true;
  Wmax w2;
  scr_.str("");
  err_.str("");
  const int warnings = msg_.warnings();
  wmax(other, w2, io_, msg_, -1);
  EXPECT_EQ(scr_.str(), "");
  EXPECT_EQ(msg_.warnings(), warnings + 1);
  EXPECT_NE(err_.str().find("**warning: max-value file 'm.max' is damaged or of another grid: "
                            "the maxima start from this run"),
            std::string::npos)
      << err_.str();
  for (float v : w2.depth) EXPECT_EQ(v, -9999.0f);

  // A file cut short or holding garbage restores nothing.
  const std::string whole = slurp("m.max");
  std::mt19937 rng(7);
  for (int round = 0; round < 30; ++round) {
    std::string b = whole.substr(0, round % 2 ? rng() % whole.size() : whole.size());
    for (int n = 0; n < 6 && !b.empty(); ++n) b[rng() % b.size()] = static_cast<char>(rng());
    std::ofstream("g.max", std::ios::binary) << b;
    Model g = grid(3, 2);
    g.cochar.max_value_file = "g.max";
    g.clog.warm_started = true;
    Wmax wg;
    ASSERT_NO_THROW(wmax(g, wg, io_, msg_, -1));
    EXPECT_FALSE(io_.is_open(ch::aux));
  }
}

TEST_F(WmaxTest, EsriGridsExactText) {
  Model m = grid(3, 2);
  m.cochar.max_depth_file = "depth.asc";
  m.cochar.max_flow_file = "flow.asc";
  Wmax w;
  wmax(m, w, io_, msg_, -1);
  fill(m, 0.0f);
  m.f.h[m.node(3, 3)] = 12345.0f;  // does not fit the field
  m.f.q[m.node(3, 3)] = 0.0f;
  wmax(m, w, io_, msg_, 0);
  // Cell (3, 1) lies outside the model (no-data bed level).
  w.outside.assign(static_cast<std::size_t>(m.coin1.nn), 0);
  w.outside[static_cast<std::size_t>(m.node(4, 2))] = 1;
  wmax(m, w, io_, msg_, 1);
  EXPECT_EQ(scr_.str(), ">STORED MAX_DEPTH ON depth.asc" + std::string(23, ' ') +
                            "\n>STORED MAX_FLOW  ON flow.asc" + std::string(24, ' ') + "\n");
  // The corner of the first cell lies half a cell (1.25 m) off the origin,
  // its centre; a value too wide for its field is widened, never starred.
  const std::string head =
      "ncols       3\n"
      "nrows       2\n"
      "xllcorner   499998.75\n"
      "yllcorner    99998.75\n"
      "cellsize       2.5000\n"
      "NODATA_value  -9999.0\n";
  EXPECT_EQ(slurp("depth.asc"), head +
                                    "   2.000 12345.000   4.000\n"
                                    "   1.500   2.500 -9999.0\n");
  EXPECT_EQ(slurp("flow.asc"), head +
                                   "   2.000   0.000   4.000\n"
                                   "   1.500   2.500 -9999.0\n");
  EXPECT_FALSE(file_exists("m.max"));
  EXPECT_FALSE(file_exists("depth.asc.part"));
}

TEST_F(WmaxTest, OnlyTheDepthGridWhenOnlyItIsNamed) {
  Model m = grid(3, 2);
  m.cochar.max_depth_file = "d.asc";
  Wmax w;
  wmax(m, w, io_, msg_, -1);
  fill(m, 0.0f);
  wmax(m, w, io_, msg_, 0);
  wmax(m, w, io_, msg_, 1);
  EXPECT_TRUE(file_exists("d.asc"));
  EXPECT_EQ(scr_.str(), ">STORED MAX_DEPTH ON d.asc" + std::string(27, ' ') + "\n");
  // Untouched maxima and values that are not numbers show as no data.
  Model n = grid(2, 1);
  Wmax wn;
  wmax(n, wn, io_, msg_, -1);
  wn.depth[static_cast<std::size_t>(n.node(3, 2))] = std::numeric_limits<float>::infinity();
  write_esri_grid(io_, ch::aux, "n.asc", n, wn.depth, {});
  const std::string t = slurp("n.asc");
  EXPECT_EQ(t.substr(t.rfind("NODATA")), "NODATA_value  -9999.0\n -9999.0 -9999.0\n");
}

// Values of any size stand apart by at least one blank: every row reads
// back as its nx numbers, and the header places the corner of the first
// cell exactly (here on an eighth of a metre).
TEST_F(WmaxTest, EsriValuesNeverRunTogether) {
  Model m = grid(6, 1);
  m.coin.dx = m.coin.dy = 0.25f;
  m.coin.x_origin = 0.25;
  m.coin.y_origin = 10.25;
  const float vals[6] = {1234.5f, -1500.0f, 3.0e38f, -0.001f, 99999.0f, 0.5f};
  std::vector<float> v(static_cast<std::size_t>(m.coin1.nn), 0.0f);
  for (int i = 0; i < 6; ++i) v[static_cast<std::size_t>(m.node(i + 2, 2))] = vals[i];
  ASSERT_EQ(write_esri_grid(io_, ch::aux, "v.asc", m, v, {}), 0);
  const std::string t = slurp("v.asc");
  EXPECT_EQ(t.substr(0, t.find("cellsize")),
            "ncols       6\nnrows       1\nxllcorner       0.125\nyllcorner      10.125\n");
  const std::string row = t.substr(t.rfind("-9999.0\n") + 8);
  EXPECT_EQ(row.substr(0, 28), " 1234.500 -1500.000 30000000");
  std::istringstream in(row);
  std::vector<double> got;
  for (double x; in >> x;) got.push_back(x);
  ASSERT_EQ(got.size(), 6u) << row;
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], vals[i], 1.0e-6 * std::fabs(vals[i]) + 1e-9);
  if (std::system("command -v gdalinfo >/dev/null 2>&1") == 0) {
    ASSERT_EQ(std::system("gdalinfo -stats v.asc >gdal.txt 2>&1"), 0) << slurp("gdal.txt");
    const std::string g = slurp("gdal.txt");
    EXPECT_NE(g.find("Size is 6, 1"), std::string::npos) << g;
    EXPECT_NE(g.find("Origin = (0.125000000000000,10.375000000000000)"), std::string::npos) << g;
    EXPECT_NE(g.find("Minimum=-1500.000"), std::string::npos) << g;
  }
  // Cells that are not square keep both sizes.
  m.coin.dy = 0.5f;
  ASSERT_EQ(write_esri_grid(io_, ch::aux, "r.asc", m, v, {}), 0);
  const std::string r = slurp("r.asc");
  EXPECT_EQ(r.substr(r.find("yll"), r.find("NODATA") - r.find("yll")),
            "yllcorner       10.00\n"
            "dx             0.2500\n"
            "dy             0.5000\n");
  // A cell of 1/32 m keeps all its decimals; 0.1 m its four.
  for (const auto& [size, text] : {std::pair{0.03125f, "cellsize      0.03125\n"},
                                   std::pair{0.1f, "cellsize       0.1000\n"}}) {
    m.coin.dx = m.coin.dy = size;
    ASSERT_EQ(write_esri_grid(io_, ch::aux, "c.asc", m, v, {}), 0);
    const std::string c = slurp("c.asc");
    EXPECT_EQ(c.substr(c.find("cellsize"), c.find("NODATA") - c.find("cellsize")), text);
  }
}

// State of the 3 x 2 grid with a max-value file written at 2 h: cell
// (3, 2) reached 5 m; row 1 of the file then spoilt with values that are no
// maxima (infinite, not a number, absurdly large).
void spoilt_max_file(Channels& io, Messages& msg) {
  Model m = grid(3, 2);
  m.cochar.max_value_file = "m.max";
  m.coin.time = 2.0f;
  Wmax w;
  wmax(m, w, io, msg, -1);
  fill(m, 1.0f);
  wmax(m, w, io, msg, 0);
  wmax(m, w, io, msg, 1);
  std::fstream f("m.max", std::ios::in | std::ios::out | std::ios::binary);
  const float bad[4] = {std::numeric_limits<float>::infinity(),
                        std::numeric_limits<float>::quiet_NaN(), 3.0e38f, -1.0e30f};
  const long r = 6 * 165;  // row 1 of the block
  for (int i = 1; i <= 3; ++i) {
    f.seekp(r + 4 * (3 + i));  // max depth of cell (i, 1)
    f.write(reinterpret_cast<const char*>(&bad[i - 1]), 4);
  }
  f.seekp(r + 4 * 1);  // max level of cell (1, 1)
  f.write(reinterpret_cast<const char*>(&bad[3]), 4);
}

TEST_F(WmaxTest, EarlierMaximaOnlyForAContinuedRunAndOnlySoundOnes) {
  spoilt_max_file(io_, msg_);
  struct Case {
    const char* what;
    bool warm;
    const char* initial;
    float time_initial, time;
    bool restored;
  };
  const Case cases[] = {
      {"fresh run in the same folder", false, "", 9.0e10f, 0.0f, false},
      {"warm start", true, "case.res", 1.0f, 1.0f, true},
      {"initial condition at the end of the earlier run", false, "case.res", 2.0f, 2.0f, true},
      {"initial condition after it", false, "case.res", 3.0f, 3.0f, true},
      {"initial condition before its end", false, "case.res", 1.0f, 1.0f, false},
      {"initial file that did not load", false, "case.res", 2.0f, 0.0f, false},
  };
  for (const Case& c : cases) {
    Model m = grid(3, 2);
    m.cochar.max_value_file = "m.max";
    m.clog.warm_started = c.warm;
    m.cochar.initial_file = c.initial;
    m.coin.time_initial = c.time_initial;
    m.coin.time = c.time;
    Wmax w;
    scr_.str("");
    wmax(m, w, io_, msg_, -1);
    EXPECT_EQ(scr_.str(), c.restored ? ">reading from existing max_value file\n" : "") << c.what;
    EXPECT_EQ(w.depth[m.node(4, 3)], c.restored ? 5.0f : -9999.0f) << c.what;
    // Never merged: not finite, 1e30 and more.
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(w.depth[m.node(i + 1, 2)], -9999.0f) << c.what;
    EXPECT_EQ(w.level[m.node(2, 2)], -9999.0f) << c.what;
    if (c.restored) {
      EXPECT_EQ(w.flow[m.node(2, 2)], 2.5f) << c.what;
    }
    fill(m, 0.0f);
    wmax(m, w, io_, msg_, 0);
    EXPECT_EQ(w.depth[m.node(2, 2)], 1.5f) << c.what;
    EXPECT_EQ(w.level[m.node(2, 2)], 101.5f) << c.what;
  }
}

// Files that cannot be created are named with the reason before the run.
TEST_F(WmaxTest, FilesThatCannotBeCreatedStopBeforeTheRun) {
  ASSERT_EQ(::mkdir("adir", 0755), 0);
  io_.open_write(ch::listing, "out");
  struct Case {
    std::string Cochar::*file;
    const char* name;
    const char* message;
  };
  const Case cases[] = {
      {&Cochar::max_depth_file, "adir", " >cannot create max-depth grid 'adir': Is a directory\n"},
      {&Cochar::max_flow_file, "nodir/f.asc",
       " >cannot create max-flow grid 'nodir/f.asc': No such file or directory\n"},
  };
  for (const Case& c : cases) {
    Model m = grid(3, 2);
    m.cochar.*c.file = c.name;
    Wmax w;
    err_.str("");
    try {
      wmax(m, w, io_, msg_, -1);
      ADD_FAILURE() << c.name << ": no stop";
    } catch (const Stop& s) {
      EXPECT_EQ(s.status(), 1);
    }
    EXPECT_EQ(err_.str(), c.message);
  }
  EXPECT_FALSE(file_exists("adir.part"));
  EXPECT_NE(slurp("out").find("**error: cannot create max-flow grid 'nodir/f.asc': No such "),
            std::string::npos);
  // Names that can be created: nothing is left behind by the trial.
  Model m = grid(3, 2);
  m.cochar.max_value_file = "m.max";
  m.cochar.max_depth_file = "adir/d.asc";
  Wmax w;
  EXPECT_NO_THROW(wmax(m, w, io_, msg_, -1));
  EXPECT_FALSE(file_exists("m.max") || file_exists("m.max.part") || file_exists("adir/d.asc.part"));
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod("adir", 0555), 0);
    err_.str("");
    EXPECT_THROW(wmax(m, w, io_, msg_, -1), Stop);
    EXPECT_EQ(err_.str(), " >cannot create max-depth grid 'adir/d.asc': Permission denied\n");
    ::chmod("adir", 0755);
  }
}

// A run killed while it writes the max-value file and the depth grid
// leaves the earlier files whole.
TEST_F(WmaxTest, KilledRunLeavesWholeFiles) {
  std::mt19937 rng(99);
  const int nx = 300, ny = 200;
  if (test::child_part()) {
    // The run that is killed: both files rewritten after every step.
    Model m = grid(nx, ny);
    m.cochar.max_value_file = "k.max";
    m.cochar.max_depth_file = "k.asc";
    Wmax w;
    wmax(m, w, io_, msg_, -1);
    for (int s = 0;; ++s) {
      fill(m, static_cast<float>(s));
      m.coin.time = static_cast<float>(s);
      wmax(m, w, io_, msg_, 0);
      wmax(m, w, io_, msg_, 1);
      if (s == 0) {
        const char c = 1;
        if (::write(3, &c, 1) != 1) ::_exit(2);
      }
      scr_.str("");
    }
  }
  for (int round = 0; round < 12; ++round) {
    const test::Child child = test::start_child("writer", dir_);
    ASSERT_GT(child.pid, 0);
    const pid_t pid = child.pid;
    char c = 0;
    ASSERT_EQ(::read(child.report, &c, 1), 1);
    ::close(child.report);
    ::usleep(static_cast<useconds_t>(rng() % 30000));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);

    // The max-value file restores whole, all cells from one pass.
    Model m = grid(nx, ny);
    m.cochar.max_value_file = "k.max";
    m.clog.warm_started = true;
    Wmax w;
    scr_.str("");
    wmax(m, w, io_, msg_, -1);
    ASSERT_EQ(scr_.str(), ">reading from existing max_value file\n");
    const float s = w.depth[m.node(2, 2)] - 1.5f;
    for (int j = 1; j <= ny; ++j)
      for (int i = 1; i <= nx; ++i) {
        const int k = m.node(i + 1, j + 1);
        ASSERT_EQ(w.depth[k], i + 0.5f * j + s) << round;
        ASSERT_EQ(w.level[k], 100.0f + w.depth[k]) << round;
      }
    // The grid file has all its rows.
    const std::string t = slurp("k.asc");
    ASSERT_EQ(std::count(t.begin(), t.end(), '\n'), 6 + ny) << round;
    ASSERT_EQ(t.size(), 116u + ny * (8 * nx + 1)) << round;
  }
}

}  // namespace
}  // namespace qf

namespace qf {
namespace {

TEST_F(WmaxTest, CellsOutsideTheModelAreNoDataInTheMaxValueFile) {
  Model m = grid(3, 1);
  m.cochar.max_value_file = "o.max";
  Wmax w;
  wmax(m, w, io_, msg_, -1);
  for (int i = 2; i <= 4; ++i) m.f.h[static_cast<std::size_t>(m.node(i, 2))] = 0.5f;
  wmax(m, w, io_, msg_, 0);
  w.outside.assign(static_cast<std::size_t>(m.coin1.nn), 0);
  w.outside[static_cast<std::size_t>(m.node(3, 2))] = 1;  // the middle cell
  wmax(m, w, io_, msg_, 1);
  // The block is record 5 of 165 bytes: time, then 3 values per array.
  const std::string b = slurp("o.max");
  const std::size_t block = 4 * 165;
  for (int a = 0; a < 4; ++a) {
    EXPECT_EQ(at<float>(b, block + 4 + (a * 3 + 1) * 4), -9999.0f) << "array " << a;
    EXPECT_NE(at<float>(b, block + 4 + (a * 3 + 2) * 4), -9999.0f) << "array " << a;
  }
}

}  // namespace
}  // namespace qf
