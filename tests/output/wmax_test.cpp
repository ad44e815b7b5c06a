#include "output/wmax.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

#include "cmdlang/textio.h"

namespace qf {
namespace {

std::string slurp(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

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
    dir_ = ::testing::TempDir() + "qf_wmax_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::system(("rm -rf " + dir_ + " && mkdir -p " + dir_).c_str());
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

  // Another grid: ignored without a word.
  Model other = grid(4, 2);
  other.cochar.max_value_file = "m.max";
  other.clog.warm_started = true;
  Wmax w2;
  scr_.str("");
  wmax(other, w2, io_, msg_, -1);
  EXPECT_EQ(scr_.str(), "");
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

// A run killed while it writes the max-value file and the depth grid
// leaves the earlier files whole.
TEST_F(WmaxTest, KilledRunLeavesWholeFiles) {
  std::mt19937 rng(99);
  const int nx = 300, ny = 200;
  for (int round = 0; round < 12; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      std::istringstream kb;
      std::ostringstream scr, err;
      Channels io(kb, scr, err);
      Messages msg(io);
      Model m = grid(nx, ny);
      m.cochar.max_value_file = "k.max";
      m.cochar.max_depth_file = "k.asc";
      Wmax w;
      wmax(m, w, io, msg, -1);
      for (int s = 0;; ++s) {
        fill(m, static_cast<float>(s));
        m.coin.time = static_cast<float>(s);
        wmax(m, w, io, msg, 0);
        wmax(m, w, io, msg, 1);
        if (s == 0) {
          const char c = 1;
          if (::write(fds[1], &c, 1) != 1) ::_exit(2);
        }
        scr.str("");
      }
    }
    ::close(fds[1]);
    char c = 0;
    ASSERT_EQ(::read(fds[0], &c, 1), 1);
    ::close(fds[0]);
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
