// Output files that cannot be completed: a file size limit makes writes
// fail with EFBIG as a full disk does with ENOSPC. The writer names the file
// and the reason, stops with status 1, keeps the earlier file whole and
// leaves no temporary file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <functional>
#include <sstream>

#include "io/messages.h"
#include "io/stop.h"
#include "output/wmax.h"
#include "output/wres.h"
#include "tests/output/child_process.h"

namespace qf {
namespace {

using test::slurp;

Model grid(int nx, int ny) {
  Model m;
  m.coin1.nx = nx;
  m.coin1.ny = ny;
  m.coin1.nxx = nx + 2;
  m.coin1.nyy = ny + 2;
  m.coin1.nn = (nx + 2) * (ny + 2);
  m.coin.dx = m.coin.dy = 2.0f;
  alloc_flow(m, m.coin1.nn);
  for (int i = 1; i <= nx + 2; ++i) m.coin1.xc[i] = (i - 2) * 2.0f;
  for (int j = 1; j <= ny + 2; ++j) m.coin1.yc[j] = (j - 2) * 2.0f;
  m.coin1.item_count = 1;
  m.coin1.item_code[0] = 1;
  m.cochar.result_file = "res.bin";
  for (int k = 0; k < m.coin1.nn; ++k) m.f.h[static_cast<std::size_t>(k)] = 0.5f + 0.001f * k;
  return m;
}

struct Outcome {
  int status = -1;  // Stop status, 100 when the call returned
  std::string err;  // the error stream
  std::string scr;  // the screen
};

using Work = std::function<void(Channels&, Messages&, const std::string& part)>;

// In the process of a part (test::child_part): does the part with files
// that may not grow beyond QF_TEST_LIMIT bytes (SIGXFSZ ignored, so that a
// write beyond fails with EFBIG), reports the error stream and the screen
// through descriptor 3 and exits with the stop status (100: no stop).
[[noreturn]] void do_part(const Work& work) {
  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io(kb, scr, err);
  Messages msg(io);
  io.open_write(ch::listing, "out");
  ::signal(SIGXFSZ, SIG_IGN);
  const rlim_t limit = std::strtoull(std::getenv("QF_TEST_LIMIT"), nullptr, 10);
  const rlimit rl{limit, limit};
  ::setrlimit(RLIMIT_FSIZE, &rl);
  int status = 100;
  try {
    work(io, msg, test::child_part());
  } catch (const Stop& s) {
    status = s.status();
  }
  const std::string text = err.str() + '\0' + scr.str();
  if (::write(3, text.data(), text.size()) < 0) status = 101;
  ::_exit(status);
}

// Runs `part` of the current test in a process of its own under the file
// size limit `limit`.
Outcome limited(rlim_t limit, const std::string& part) {
  char cwd[PATH_MAX];
  EXPECT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  const test::Child child =
      test::start_child(part, cwd, {"QF_TEST_LIMIT=" + std::to_string(limit)});
  EXPECT_GT(child.pid, 0);
  if (child.pid <= 0) return {};
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = ::read(child.report, buf, sizeof buf)) > 0;) text.append(buf, n);
  ::close(child.report);
  int st = 0;
  ::waitpid(child.pid, &st, 0);
  Outcome o;
  o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  o.err = text.substr(0, text.find('\0'));
  o.scr = text.substr(text.find('\0') + 1);
  return o;
}

class WriteFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::scratch_dir("qf_wfail_");
    char buf[PATH_MAX];
    ASSERT_NE(::getcwd(buf, sizeof buf), nullptr);
    cwd_ = buf;
    ASSERT_EQ(::chdir(dir_.c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(::chdir(cwd_.c_str()), 0); }
  std::string dir_, cwd_;
};

// 30 x 20 cells: the max-value file takes 31,040 bytes, a grid 4,932.
TEST_F(WriteFailure, MaximaKeepTheEarlierFilesAndLeaveNoTemporaryFile) {
  if (test::child_part()) {
    // Part "<depth added>:<max-value file>".
    do_part([](Channels& io, Messages& msg, const std::string& part) {
      Model m = grid(30, 20);
      m.cochar.max_value_file = part.substr(2);
      m.cochar.max_depth_file = "d.asc";
      Wmax w;
      wmax(m, w, io, msg, -1);
      for (float& h : m.f.h) h += static_cast<float>(part[0] - '0');
      wmax(m, w, io, msg, 0);
      wmax(m, w, io, msg, 1);
    });
  }
  const Outcome first = limited(RLIM_INFINITY, "0:m.max");
  ASSERT_EQ(first.status, 100) << first.err;
  const std::string max_before = slurp("m.max");
  ASSERT_EQ(max_before.size(), 31040u);

  struct Case {
    rlim_t limit;
    const char* maxfile;
    const char* err;
    bool grid_written;
  };
  const Case cases[] = {
      // The max-value file fails; the grid is still written.
      {20000, "m.max", " >cannot write max-value file 'm.max': File too large\n", true},
      // Only the grid is asked for and fails.
      {3000, "", " >cannot write max-depth grid 'd.asc': File too large\n", false},
  };
  for (const Case& c : cases) {
    const std::string grid_before = slurp("d.asc");
    const Outcome o = limited(c.limit, std::string("1:") + c.maxfile);
    EXPECT_EQ(o.status, 1) << c.limit;
    EXPECT_EQ(o.err, c.err) << c.limit;
    EXPECT_EQ(slurp("m.max"), max_before) << c.limit;
    EXPECT_EQ(o.scr.find(">STORED MAX_DEPTH ON d.asc") != std::string::npos, c.grid_written);
    EXPECT_EQ(slurp("d.asc") != grid_before, c.grid_written) << c.limit;
    EXPECT_FALSE(file_exists("m.max.part") || file_exists("d.asc.part")) << c.limit;
    EXPECT_NE(slurp("out").find("**error: " + std::string(c.err).substr(2, 30)), std::string::npos);
  }
}

// The result file (30 x 20, one item): 125-byte records; the header part,
// the first block and the end marker take 8,000 bytes, each further block
// 2,500: the fourth block does not fit 14,000.
TEST_F(WriteFailure, ResultFileStopsAtTheBlockThatDoesNotFit) {
  if (test::child_part()) {
    do_part([](Channels& io, Messages&, const std::string&) {
      Model m = grid(30, 20);
      Wres w;
      wres(m, w, io, 0);
      for (int step = 1; step <= 5; ++step) {
        m.coin.time = static_cast<float>(step);
        wres(m, w, io, step);
      }
    });
  }
  const Outcome o = limited(14000, "run");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, " >cannot write result file 'res.bin': File too large\n");
  // The blocks before it read back whole.
  DirectFile f;
  ASSERT_TRUE(f.open("res.bin", 125, 'r'));
  EXPECT_EQ(scan_blocks(f, 2, 20, [](float) { return true; }), 3);
}

// Time series sent to their own files: one that cannot be created is an
// error of the input; one that could not be written whole ends the run
// with status 1 when the files are closed.
TEST_F(WriteFailure, SeriesFiles) {
  if (test::child_part()) {
    do_part([](Channels& io, Messages& msg, const std::string&) {
      const int a = msg.iiout(0, "inflow 1.0 > a.txt", ch::listing);
      const int b = msg.iiout(0, "culvert > b.txt", ch::listing);
      if (msg.iiout(0, "outflow > 'nodir/c.txt'", ch::listing) != 0 || msg.errors() != 1) {
        ::_exit(102);  // the failed creation is an error of the input
      }
      io.release_held();  // the run starts
      for (int i = 0; i < 30; ++i) io.line(a, "    0.0100       1.000       2.000");
      io.line(b, "    0.0100       1.000  2");
      msg.iiout(1, " ", ch::listing);
    });
  }
  const Outcome o = limited(200, "run");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err,
            "**error: cannot create output file 'nodir/c.txt': No such file or directory\n"
            "**error: cannot write output file 'a.txt': File too large\n");
  EXPECT_EQ(slurp("b.txt"), "    0.0100       1.000  2\n");
}

}  // namespace
}  // namespace qf
