#include "output/wres.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "io/messages.h"
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

Model grid(int nx, int ny, float dx, float dy) {
  Model m;
  m.coin1.nx = nx;
  m.coin1.ny = ny;
  m.coin1.nxx = nx + 2;
  m.coin1.nyy = ny + 2;
  m.coin1.nn = (nx + 2) * (ny + 2);
  m.coin.dx = dx;
  m.coin.dy = dy;
  alloc_flow(m, m.coin1.nn);
  for (int i = 1; i <= nx + 2; ++i) m.coin1.xc[i] = (i - 2) * dx;
  for (int j = 1; j <= ny + 2; ++j) m.coin1.yc[j] = (j - 2) * dy;
  m.coin1.item_count = 3;
  m.coin1.item_code[0] = 1;
  m.coin1.item_code[1] = 21;
  m.coin1.item_code[2] = 22;
  m.cochar.result_file = "res.bin";
  return m;
}

// Real cell (i, j) holds depth t + i/4 + j/2 with u = 1/2 and v = -1/4
// (all exact in single precision).
float depth_at(float t, int i, int j) {
  return t + 0.25f * i + 0.5f * j;
}

void set_state(Model& m, float t) {
  m.coin.time = t;
  for (int j = 1; j <= m.coin1.ny; ++j)
    for (int i = 1; i <= m.coin1.nx; ++i) {
      const int k = m.node(i + 1, j + 1);
      m.f.h[k] = depth_at(t, i, j);
      m.f.q[k] = 0.5f * m.f.h[k];
      m.f.r[k] = -0.25f * m.f.h[k];
      m.f.ldry[k] = 0;
    }
}

// Every block the reader accepts holds, in each of its records, the block's
// time and the state written for that time. Returns the block count.
long check_blocks(const std::string& path, int nx, int ny) {
  DirectFile probe;
  EXPECT_TRUE(probe.open(path, 32, 'r'));
  std::vector<unsigned char> b;
  EXPECT_TRUE(probe.read(1, b));
  std::int32_t reclen = 0;
  std::memcpy(&reclen, b.data() + 4, 4);
  DirectFile f;
  EXPECT_TRUE(f.open(path, static_cast<std::size_t>(reclen), 'r'));
  ResultHeader hd;
  EXPECT_TRUE(read_header(f, hd));
  EXPECT_EQ(hd.nx, nx);
  const long blocks = scan_blocks(f, hd.header_records, ny, [](float) { return true; });
  std::vector<float> rec;
  std::vector<unsigned char> buf;
  for (long bl = 1; bl <= blocks; ++bl) {
    const float t = static_cast<float>(bl - 1);
    for (int j = 1; j <= ny; ++j) {
      EXPECT_TRUE(read_floats(f, block_record(2, ny, bl, j), 1 + 3 * nx, rec, buf));
      EXPECT_EQ(rec[0], t) << "block " << bl << " row " << j;
      for (int i = 1; i <= nx; ++i) {
        if (rec[i] != depth_at(t, i, j) || rec[nx + i] != 0.5f || rec[2 * nx + i] != -0.25f) {
          ADD_FAILURE() << "block " << bl << " row " << j << " cell " << i << ": " << rec[i];
          return blocks;
        }
      }
    }
  }
  return blocks;
}

class WresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::scratch_dir("qf_wres_");
    char buf[PATH_MAX];
    ASSERT_NE(::getcwd(buf, sizeof buf), nullptr);
    cwd_ = buf;
    ASSERT_EQ(::chdir(dir_.c_str()), 0);
    if (!test::child_part()) io_.open_write(ch::listing, "out");
  }
  void TearDown() override {
    io_.close_all();
    ASSERT_EQ(::chdir(cwd_.c_str()), 0);
  }
  std::string listing() {
    io_.flush(ch::listing);
    return slurp("out");
  }
  std::string dir_, cwd_;
  std::istringstream kb_;
  std::ostringstream scr_, err_;
  Channels io_{kb_, scr_, err_};
};

const std::string kHeading = "\n" + std::string(11, ' ') +
                             "flow over boundaries[m3/s]:\n"
                             " time[h]     --west--        --south--       --east--        "
                             "--north--    volume[m3]\n";

TEST_F(WresTest, NewFileByteForByte) {
  Model m = grid(3, 2, 10.0f, 5.0f);
  m.cochar.title = "Flood";
  m.coin.x_origin = 1000.0;
  m.coin.y_origin = 2000.0;
  set_state(m, 0.5f);
  // A dry cell carries no velocities.
  const int dry = m.node(4, 3);
  m.f.ldry[dry] = 1;
  m.f.h[dry] = 0.01f;
  Wres w;
  wres(m, w, io_, 0);
  EXPECT_EQ(scr_.str(), " >results to file 'res.bin'\n");
  EXPECT_EQ(listing(), kHeading);
  EXPECT_EQ(w.last_record, 8);
  EXPECT_EQ(w.type, -97);
  io_.flush(ch::result);

  const std::size_t rl = 133;  // 4 x max(33, 10, 26) + 1
  const std::string b = slurp("res.bin");
  ASSERT_EQ(b.size(), 10 * rl);
  EXPECT_EQ(at<std::int32_t>(b, 0), -97);
  EXPECT_EQ(at<std::int32_t>(b, 4), 133);
  EXPECT_EQ(at<std::int32_t>(b, 8), 3);
  EXPECT_EQ(at<std::int32_t>(b, 12), 2);
  EXPECT_EQ(at<std::int32_t>(b, 16), 1);
  EXPECT_EQ(at<std::int32_t>(b, 20), 2);
  EXPECT_EQ(b.substr(24, 64), "Flood" + std::string(59, ' '));
  EXPECT_EQ(at<double>(b, 88), 1000.0);
  EXPECT_EQ(at<double>(b, 96), 2000.0);
  EXPECT_EQ(at<std::int32_t>(b, rl), 3);
  EXPECT_EQ(b.substr(rl + 4 + 32, 32), pad(" DFlow Depth [m]", 32));
  EXPECT_EQ(at<float>(b, 2 * rl), -1.0e10f);
  EXPECT_EQ(at<float>(b, 2 * rl + 12), 20.0f);
  EXPECT_EQ(at<float>(b, 5 * rl + 4), 5.0f);  // y of row 2
  // Block: records 7 and 8.
  for (int j = 1; j <= 2; ++j) {
    const std::size_t r = (6 + j - 1) * rl;
    EXPECT_EQ(at<float>(b, r), 0.5f);
    for (int i = 1; i <= 3; ++i) {
      const bool is_dry = i == 3 && j == 2;
      EXPECT_EQ(at<float>(b, r + 4 * i), is_dry ? 0.01f : depth_at(0.5f, i, j));
      EXPECT_EQ(at<float>(b, r + 4 * (3 + i)), is_dry ? 0.0f : 0.5f);
      EXPECT_EQ(at<float>(b, r + 4 * (6 + i)), is_dry ? 0.0f : -0.25f);
    }
    EXPECT_EQ(b.substr(r + 40, rl - 40), std::string(rl - 40, '\0'));
  }
  EXPECT_EQ(at<float>(b, 8 * rl), -99.0f);
  EXPECT_EQ(at<float>(b, 9 * rl), -99.0f);
}

TEST_F(WresTest, StepLinesOnScreenAndBoundaryTableInListing) {
  Model m = grid(3, 2, 10.0f, 5.0f);
  set_state(m, 0.0f);
  Wres w;
  wres(m, w, io_, 0);
  scr_.str("");
  set_state(m, 1.5f);
  m.coin.dt = 2.25f;
  m.coin.change_rate = 0.002f;  // x 50 m2
  m.coin.boundary_flow = {1.5f, -2.25f, 0.0f, 0.0f, 10.25f, -3.0f, 0.5f, -0.5f};
  m.coin.stored_volume = 12345.4f;
  wres(m, w, io_, 25);
  EXPECT_EQ(scr_.str(),
            "        Step    Time(h) dT(s)   dVol\n"
            "   1      25      1.50  2.25     0.1\n");
  EXPECT_EQ(listing(), kHeading +
                           "   1.50    1.50   -2.25    0.00    0.00   10.25   -3.00    0.50   "
                           "-0.50      12345.\n");
  // The heading comes again with the 21st call.
  for (int s = 2; s <= 21; ++s) wres(m, w, io_, 25 * s);
  const std::string out = scr_.str();
  EXPECT_EQ(out.find("        Step"), 0u);
  const auto second = out.find("        Step", 1);
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(out.substr(second - 37),
            "  20     500      1.50  2.25     0.1\n"
            "        Step    Time(h) dT(s)   dVol\n"
            "  21     525      1.50  2.25     0.1\n");
  DirectFile& f = *io_.direct(ch::result);
  f.flush();
  EXPECT_EQ(scan_blocks(f, 2, 2, [](float) { return true; }), 22);
  EXPECT_EQ(w.last_record, 6 + 22 * 2);
}

// Writes blocks at times 0, 1, 2, 3 to res.bin.
void first_run(Channels& io) {
  Model m = grid(3, 2, 10.0f, 5.0f);
  Wres w;
  for (int s = 0; s <= 3; ++s) {
    set_state(m, static_cast<float>(s));
    wres(m, w, io, s * 10);
  }
  io.close(ch::result);
}

TEST_F(WresTest, ContinuesItsOwnInitialFileBehindTheKeptBlocks) {
  first_run(io_);
  const std::string before = slurp("res.bin");
  ASSERT_EQ(before.size(), (6 + 8 + 2) * 133u);
  Model m = grid(3, 2, 10.0f, 5.0f);
  m.cochar.initial_file = "res.bin";
  set_state(m, 2.0f);
  m.f.h[m.node(2, 2)] = 42.0f;  // the state differs from the stored one
  m.coin1.result_count = 0;
  scr_.str("");
  Wres w;
  wres(m, w, io_, 0);
  EXPECT_EQ(scr_.str(),
            " >results to file 'res.bin'\n>results stored on initial file (           2)\n");
  EXPECT_EQ(m.coin1.result_count, 2);
  EXPECT_EQ(w.last_record, 6 + 6);
  DirectFile& f = *io_.direct(ch::result);
  f.flush();
  float last = 0;
  EXPECT_EQ(scan_blocks(
                f, 2, 2, [](float) { return true; }, &last),
            3);
  EXPECT_EQ(last, 2.0f);
  const std::string after = slurp("res.bin");
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after.substr(0, 10 * 133), before.substr(0, 10 * 133));  // kept part unchanged
  EXPECT_EQ(at<float>(after, 10 * 133 + 4), 42.0f);                  // the new block
  EXPECT_EQ(at<float>(after, 12 * 133), -99.0f);                     // end marker behind it
  // The next output goes behind the new block.
  set_state(m, 2.5f);
  wres(m, w, io_, 35);
  f.flush();
  EXPECT_EQ(scan_blocks(
                f, 2, 2, [](float) { return true; }, &last),
            4);
  EXPECT_EQ(last, 2.5f);
}

TEST_F(WresTest, WarmStartOpensTheFileOnItsFirstNonZeroStep) {
  first_run(io_);
  Model m = grid(3, 2, 10.0f, 5.0f);
  m.cochar.initial_file = "res.bin";
  set_state(m, 3.0f);
  m.coin.dt = 1.0f;
  m.coin1.result_count = 0;
  scr_.str("");
  Wres w;
  wres(m, w, io_, 30);
  EXPECT_EQ(scr_.str(),
            " >results to file 'res.bin'\n>results stored on initial file (           3)\n"
            "        Step    Time(h) dT(s)   dVol\n"
            "   1      30      3.00  1.00     0.0\n");
  io_.flush(ch::result);
  EXPECT_EQ(check_blocks("res.bin", 3, 2), 4);
}

TEST_F(WresTest, OtherLayoutAsksBeforeOverwriting) {
  first_run(io_);
  const std::string before = slurp("res.bin");
  Model m = grid(3, 2, 10.0f, 5.0f);
  m.cochar.initial_file = "res.bin";
  m.coin1.item_code[0] = 2;  // as many items, but other ones
  set_state(m, 0.0f);
  {
    std::istringstream kb("n\n");
    std::ostringstream scr;
    Channels io(kb, scr, err_);
    Wres w;
    try {
      wres(m, w, io, 0);
      ADD_FAILURE() << "no stop";
    } catch (const Stop& s) {
      EXPECT_EQ(s.status(), 0);
    }
    EXPECT_EQ(scr.str(), " >results to file 'res.bin'\n Overwrite file res.bin (y/n)? ");
  }
  EXPECT_EQ(slurp("res.bin"), before);
  {
    std::istringstream kb("y\n");
    std::ostringstream scr;
    Channels io(kb, scr, err_);
    Wres w;
    wres(m, w, io, 0);
    EXPECT_EQ(w.type, -96);
  }
  const std::string b = slurp("res.bin");
  ASSERT_EQ(b.size(), 10 * 133u);  // a new file: header part, one block, end marker
  EXPECT_EQ(at<std::int32_t>(b, 0), -96);
  EXPECT_EQ(b.substr(133 + 36, 32), pad(" WWater Level [m]", 32));
  // No answer at all (an unattended run): a message, status 1, the file
  // untouched.
  const std::string kept = slurp("res.bin");
  Model m2 = grid(4, 2, 10.0f, 5.0f);
  m2.cochar.initial_file = "res.bin";
  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io(kb, scr, err);
  Wres w;
  try {
    wres(m2, w, io, 0);
    ADD_FAILURE() << "no stop";
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 1);
  }
  EXPECT_EQ(err.str(),
            " >no answer whether to overwrite result file 'res.bin' (written for another grid "
            "or other items): run stopped\n");
  EXPECT_EQ(slurp("res.bin"), kept);
}

TEST_F(WresTest, TransportWritesOnlyTheFirstItem) {
  Model m = grid(3, 2, 10.0f, 5.0f);
  m.clog.transport = true;
  m.coin1.item_count = 4;
  m.coin1.item_code = {13, 1, 21, 22};
  for (int k = 0; k < m.coin1.nn; ++k) m.f.c[k] = 280.0f + k;
  Wres w;
  wres(m, w, io_, 0);
  io_.flush(ch::result);
  const std::string b = slurp("res.bin");
  const std::size_t rl = 105;
  ASSERT_EQ(b.size(), 10 * rl);
  EXPECT_EQ(at<std::int32_t>(b, 0), -96);
  EXPECT_EQ(at<std::int32_t>(b, 4), 105);
  EXPECT_EQ(at<std::int32_t>(b, rl), 1);
  EXPECT_EQ(b.substr(rl + 4, 64), pad("Time[h]", 32) + pad(" TTemperature [K]", 32));
  EXPECT_EQ(at<float>(b, 7 * rl + 4), 280.0f + m.node(2, 3));
  EXPECT_EQ(at<float>(b, 7 * rl + 16), 0.0f);
}

// The run is killed (SIGKILL) at random moments while it writes blocks;
// every block a reader then accepts is whole and holds one output time. In
// half of the rounds the run continues a file that holds the blocks of an
// earlier run at other times, so that the new blocks overwrite old ones.
TEST_F(WresTest, KilledRunLeavesOnlyWholeBlocks) {
  std::mt19937 rng(20240611);
  const int nx = 200, ny = 150;
  if (const char* part = test::child_part()) {
    // The run that is killed: blocks at 0, 1, 2, ... until the end.
    Model m = grid(nx, ny, 1.0f, 1.0f);
    if (std::strcmp(part, "over-old") == 0) m.cochar.initial_file = "res.bin";  // keeps no block
    Wres w;
    for (int s = 0;; ++s) {
      set_state(m, static_cast<float>(s));
      wres(m, w, io_, s);
      const char c = 1;  // one more block written
      if (::write(3, &c, 1) != 1) ::_exit(2);
      if (s % 20 == 0) scr_.str("");
    }
  }
  {
    // The earlier run: blocks at 0.5, 1.5, ... of a state that matches.
    Model m = grid(nx, ny, 1.0f, 1.0f);
    m.cochar.result_file = "old.bin";
    Wres w;
    for (int s = 0; s < 80; ++s) {
      set_state(m, s + 0.5f);
      wres(m, w, io_, s);
    }
    io_.close(ch::result);
  }
  const std::string old = slurp("old.bin");
  long most = 0;
  for (int round = 0; round < 16; ++round) {
    const bool over_old = round % 2 == 1;
    std::remove("res.bin");
    if (over_old) std::ofstream("res.bin", std::ios::binary) << old;
    const test::Child child = test::start_child(over_old ? "over-old" : "new", dir_);
    ASSERT_GT(child.pid, 0);
    const pid_t pid = child.pid;
    // Killed after one to three blocks however busy the machine is.
    const unsigned written = 1 + rng() % 3;
    char c = 0;
    for (unsigned b = 0; b < written; ++b) ASSERT_EQ(::read(child.report, &c, 1), 1);
    ::usleep(static_cast<useconds_t>(rng() % 20000));
    ::kill(pid, SIGKILL);
    ::close(child.report);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    const long blocks = check_blocks("res.bin", nx, ny);
    EXPECT_GE(blocks, static_cast<long>(written));
    if (over_old) {
      EXPECT_LT(blocks, 80) << "killed after the old blocks";
    }
    most = std::max(most, blocks);
    if (HasFailure()) break;
  }
  EXPECT_GT(most, 1);
  std::printf("most blocks seen after a kill: %ld\n", most);
}

}  // namespace
}  // namespace qf
