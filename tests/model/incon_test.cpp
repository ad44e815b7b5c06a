#include "model/incon.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "io/stop.h"

namespace qf {
namespace {

std::string slurp(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// A result file written here byte by byte, independent of the writer.
struct TestFile {
  int type = -97;
  int nx = 4;
  int ny = 3;
  int header_records = 2;
  int items = 3;
  int reclen = 0;         // 0: from the item count
  int stated_reclen = 0;  // 0: the true one
  float coord_flag = -1.0e10f;
  std::vector<float> times{1.0f, 2.0f, 3.0f};
  std::vector<std::string> labels;  // written to record 2 after "Time[h]" when given
  // Value of item it (1..) of block b (1..) in cell (i, j), both from 1.
  std::function<float(int b, int it, int i, int j)> value = [](int b, int it, int i, int j) {
    if (it == 1) return b + 0.25f * i + 0.5f * j;
    if (it == 2) return 0.5f * b;
    return -0.25f * b;
  };
};

int test_reclen(const TestFile& s) {
  if (s.reclen) return s.reclen;
  return 4 * std::max({8 * s.items + 9, s.items * s.nx + 1, 26}) + 1;
}

std::string build(const TestFile& s) {
  const int rl = test_reclen(s);
  const long nrec = s.header_records + 2L * s.ny + static_cast<long>(s.times.size()) * s.ny + 2;
  std::string b(static_cast<std::size_t>(nrec * rl), '\0');
  auto put = [&](long rec, std::size_t off, const void* p, std::size_t n) {
    std::memcpy(&b[(rec - 1) * rl + off], p, n);
  };
  auto i32 = [&](long rec, std::size_t off, std::int32_t v) { put(rec, off, &v, 4); };
  auto f32 = [&](long rec, std::size_t off, float v) { put(rec, off, &v, 4); };
  i32(1, 0, s.type);
  i32(1, 4, s.stated_reclen ? s.stated_reclen : rl);
  i32(1, 8, s.nx);
  i32(1, 12, s.ny);
  i32(1, 16, 1);
  i32(1, 20, s.header_records);
  std::memset(&b[24], ' ', 64);
  const double x0 = 100.0, y0 = 200.0;
  put(1, 88, &x0, 8);
  put(1, 96, &y0, 8);
  i32(2, 0, s.items);
  if (!s.labels.empty()) {
    std::string text = "Time[h]";
    text.resize(32, ' ');
    for (const auto& l : s.labels) text += l + std::string(32 - l.size(), ' ');
    put(2, 4, text.data(), text.size());
  }
  const long coord = s.header_records;
  for (int j = 1; j <= 2 * s.ny; ++j) {
    f32(coord + j, 0, s.coord_flag);
    for (int i = 1; i <= s.nx; ++i) f32(coord + j, 4 * i, (i - 1) * 2.0f);
  }
  long rec = coord + 2L * s.ny;
  for (std::size_t bl = 0; bl < s.times.size(); ++bl) {
    for (int j = 1; j <= s.ny; ++j) {
      ++rec;
      f32(rec, 0, s.times[bl]);
      for (int it = 1; it <= s.items; ++it)
        for (int i = 1; i <= s.nx; ++i)
          f32(rec, 4 * ((it - 1) * s.nx + i), s.value(static_cast<int>(bl) + 1, it, i, j));
    }
  }
  f32(rec + 1, 0, -99.0f);
  f32(rec + 2, 0, -99.0f);
  return b;
}

Model grid(int nx, int ny) {
  Model m;
  m.coin1.nx = nx;
  m.coin1.ny = ny;
  m.coin1.nxx = nx + 2;
  m.coin1.nyy = ny + 2;
  m.coin1.nn = (nx + 2) * (ny + 2);
  m.coin.dx = 2.0f;
  m.coin.dy = 2.0f;
  alloc_flow(m, m.coin1.nn);
  return m;
}

class InconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "qf_incon_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::system(("rm -rf " + dir_ + " && mkdir -p " + dir_).c_str());
    char buf[PATH_MAX];
    ASSERT_NE(::getcwd(buf, sizeof buf), nullptr);
    cwd_ = buf;
    // The warm-start marker lives in the working directory.
    ASSERT_EQ(::chdir(dir_.c_str()), 0);
    m_ = grid(4, 3);
    // Ghost cells keep what they hold.
    for (auto& v : m_.f.h) v = 7.0f;
    m_.cochar.initial_file = "ic.res";
    io_.open_write(ch::listing, "out");
  }
  void TearDown() override {
    io_.close_all();
    ASSERT_EQ(::chdir(cwd_.c_str()), 0);
  }
  void write(const std::string& bytes, const std::string& name = "ic.res") {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  int run(int mode) {
    incon(m_, io_, msg_, mode);
    return mode;
  }
  // The real cells hold block b of the default file.
  void expect_block(int b) {
    for (int j = 1; j <= 3; ++j)
      for (int i = 1; i <= 4; ++i) {
        const int k = m_.node(i + 1, j + 1);
        const float d = b + 0.25f * i + 0.5f * j;
        EXPECT_EQ(m_.f.h[k], d) << i << "," << j;
        EXPECT_EQ(m_.f.q[k], 0.5f * b * d);
        EXPECT_EQ(m_.f.r[k], -0.25f * b * d);
      }
  }
  void expect_untouched() {
    for (float v : m_.f.h) EXPECT_EQ(v, 7.0f);
    for (float v : m_.f.q) EXPECT_EQ(v, 0.0f);
  }
  void expect_ignored() {
    EXPECT_NE(scr_.str().find(">initial conditions ignored\n"), std::string::npos) << scr_.str();
    EXPECT_EQ(slurp(".hvx"), "           0           0           0\n\n");
    EXPECT_FALSE(io_.is_open(ch::result));
    expect_untouched();
  }
  std::string dir_, cwd_;
  std::istringstream kb_;
  std::ostringstream scr_, err_;
  Channels io_{kb_, scr_, err_};
  Messages msg_{io_};
  Model m_;
};

TEST_F(InconTest, BlankNameLeavesModeAndStateAlone) {
  m_.cochar.initial_file.clear();
  EXPECT_EQ(run(0), 0);
  EXPECT_EQ(run(-1), -1);
  EXPECT_EQ(scr_.str(), "");
  expect_untouched();
}

TEST_F(InconTest, DefaultTimeLoadsTheLastOutputTime) {
  write(build(TestFile{}));
  m_.coin.time = 0.75f;
  EXPECT_EQ(run(0), 133);  // the record length
  EXPECT_EQ(scr_.str(), " >initial condition from 'ic.res' AT  3.00H\n");
  EXPECT_EQ(m_.coin.time, 3.0f);
  EXPECT_EQ(m_.coin.time_initial, 3.0f);
  expect_block(3);
  // Ghost cells are not touched.
  EXPECT_EQ(m_.f.h[m_.node(1, 1)], 7.0f);
  EXPECT_EQ(m_.f.h[m_.node(6, 3)], 7.0f);
  EXPECT_EQ(m_.f.h[m_.node(3, 5)], 7.0f);
  EXPECT_FALSE(io_.is_open(ch::result));
  EXPECT_FALSE(file_exists(".hvx"));
}

TEST_F(InconTest, TimeInitialChoosesTheNearestTime) {
  write(build(TestFile{}));
  m_.coin.time_initial = 2.4f;
  EXPECT_EQ(run(-1), 133);
  EXPECT_EQ(scr_.str(), " >hot start from 'ic.res' AT  2.00H\n");
  expect_block(2);
  EXPECT_EQ(m_.coin.time_initial, 2.0f);
  m_.coin.time_initial = 1.0f;  // exactly an output time
  EXPECT_EQ(run(0), 133);
  expect_block(1);
  // A later record that lies nearer.
  m_.coin.time_initial = 2.9999f;
  EXPECT_EQ(run(0), 133);
  expect_block(3);
  EXPECT_EQ(m_.coin.time, 3.0f);
  io_.close(ch::listing);
  EXPECT_NE(slurp("out").find(" >initial condition from 'ic.res': record at 3.0000 h, the one "
                              "nearest to 2.9999 h\n"),
            std::string::npos)
      << slurp("out");
  EXPECT_EQ(msg_.warnings(), 0);
}

TEST_F(InconTest, TimeBeforeTheFirstOutputLoadsTheFirst) {
  write(build(TestFile{}));
  m_.coin.time = 0.25f;
  m_.coin.time_initial = 0.5f;
  EXPECT_EQ(run(0), 133);
  EXPECT_EQ(m_.coin.time, 1.0f);
  EXPECT_EQ(m_.coin.time_initial, 1.0f);
  EXPECT_EQ(msg_.warnings(), 0);
  EXPECT_FALSE(file_exists(".hvx"));
  expect_block(1);
}

TEST_F(InconTest, FilesWithoutVelocitiesStartAtRestOrAreRefused) {
  struct Case {
    int type;
    std::vector<std::string> labels;
    int errors, warnings;
    std::string message;
  } cases[] = {
      {-96,
       {" WWater Level [m]"},
       0,
       1,
       "**warning: initial condition file 'ic.res' holds no velocities: the run starts at rest "
       "from its water level minus the bed level"},
      {-96,
       {" BBed Level [m]"},
       1,
       0,
       "**error: initial condition file 'ic.res' holds neither flow depth nor water level to "
       "start from"},
      {-93,
       {},
       1,
       0,
       "**error: initial condition file 'ic.res' holds neither flow depth nor water level to "
       "start from"},
  };
  for (const auto& c : cases) {
    Messages msg{io_};
    TestFile s;
    s.type = c.type;
    s.items = 1;
    s.labels = c.labels;
    s.value = [](int, int, int i, int) { return i == 1 ? 0.5f : 3.0f; };
    write(build(s));
    for (auto& z : m_.f.zb) z = 1.0f;
    io_.open_write(ch::listing, "out");
    incon(m_, io_, msg, s.type);
    io_.close(ch::listing);
    EXPECT_NE(slurp("out").find(c.message), std::string::npos) << slurp("out");
    EXPECT_EQ(msg.errors(), c.errors);
    EXPECT_EQ(msg.warnings(), c.warnings);
    if (c.errors == 0) {
      EXPECT_EQ(m_.f.h[m_.node(2, 2)], 0.0f);  // level 0.5 below the bed
      EXPECT_EQ(m_.f.h[m_.node(3, 2)], 2.0f);
      EXPECT_EQ(m_.f.q[m_.node(3, 2)], 0.0f);
    }
  }
}

TEST_F(InconTest, WaterLevelFileBelowTheBedGivesNoWater) {
  TestFile s;
  s.type = -94;
  s.times = {4.0f};
  // Level 0.5 in column 1, 3.0 elsewhere; bed 1.0 everywhere.
  s.value = [](int, int it, int i, int) {
    if (it == 1) return i == 1 ? 0.5f : 3.0f;
    return it == 2 ? 1.5f : -0.5f;
  };
  write(build(s));
  for (auto& z : m_.f.zb) z = 1.0f;
  EXPECT_EQ(run(0), 133);
  for (int j = 1; j <= 3; ++j) {
    const int k1 = m_.node(2, j + 1);
    EXPECT_EQ(m_.f.h[k1], 0.0f);
    EXPECT_EQ(m_.f.q[k1], 0.0f);
    EXPECT_EQ(m_.f.r[k1], 0.0f);
    const int k2 = m_.node(3, j + 1);
    EXPECT_EQ(m_.f.h[k2], 2.0f);
    EXPECT_EQ(m_.f.q[k2], 3.0f);
    EXPECT_EQ(m_.f.r[k2], -1.0f);
  }
}

TEST_F(InconTest, OtherAcceptedTypesAndHeaderRecordCount) {
  for (int type : {-95, -91}) {
    TestFile s;
    s.type = type;
    s.header_records = 3;  // blocks start behind the stated header records
    s.items = 4;           // further items are skipped
    write(build(s));
    m_.coin.time_initial = 9.0e10f;
    EXPECT_EQ(run(0), test_reclen(s)) << type;
    expect_block(3);
  }
}

TEST_F(InconTest, FilesThatCannotServeAreIgnored) {
  struct Case {
    const char* what;
    std::function<void(TestFile&)> change;
    bool warning;
  };
  const Case cases[] = {
      {"other nx", [](TestFile& s) { s.nx = 5; }, true},
      {"other ny", [](TestFile& s) { s.ny = 2; }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestFile s;
    c.change(s);
    write(build(s));
    std::remove(".hvx");
    scr_.str("");
    const int warnings = msg_.warnings();
    EXPECT_EQ(run(0), -1);
    expect_ignored();
    EXPECT_EQ(msg_.warnings() - warnings, c.warning ? 1 : 0);
  }
  io_.close(ch::listing);
  EXPECT_NE(
      slurp("out").find("\n" + std::string(47, '*') +
                        "\n**warning: different grid dimensions: 'ic.res' has 5 x 3 cells, the "
                        "model 4 x 3, initial condition ignored\n" +
                        std::string(47, '*')),
      std::string::npos);
}

TEST_F(InconTest, RecordLengthsThatDoNotFit) {
  // Forty cells and two items: the records cannot hold a third item.
  m_ = grid(40, 3);
  m_.cochar.initial_file = "ic.res";
  TestFile s;
  s.nx = 40;
  s.items = 2;
  write(build(s));
  EXPECT_EQ(run(0), test_reclen(s));  // the depth, at rest
  EXPECT_EQ(msg_.warnings(), 1);
  EXPECT_EQ(m_.f.h[m_.node(2, 2)], 3.75f);
  EXPECT_EQ(m_.f.q[m_.node(2, 2)], 0.0f);

  // A stated record length twice the true one: no whole block is found.
  m_ = grid(4, 3);
  m_.cochar.initial_file = "ic.res";
  s = TestFile{};
  s.stated_reclen = 266;
  write(build(s));
  scr_.str("");
  EXPECT_EQ(run(0), -1);
  EXPECT_EQ(scr_.str(), "");
  for (float v : m_.f.h) EXPECT_EQ(v, 0.0f);
}

TEST_F(InconTest, TruncatedFiles) {
  const std::string whole = build(TestFile{});
  const std::size_t rl = 133;
  // Cut inside the last block: the block before it is loaded.
  write(whole.substr(0, (2 + 6 + 6 + 1) * rl + 40));
  EXPECT_EQ(run(0), 133);
  expect_block(2);
  // Cut in the end marker behind the last block: all blocks are there.
  write(whole.substr(0, (2 + 6 + 9 + 1) * rl + 3));
  m_.coin.time_initial = 9.0e10f;
  EXPECT_EQ(run(0), 133);
  expect_block(3);

  for (auto& v : m_.f.h) v = 7.0f;
  for (auto& v : m_.f.q) v = 0.0f;
  for (auto& v : m_.f.r) v = 0.0f;
  // Header and coordinates only: no output time, nothing loaded.
  write(whole.substr(0, 8 * rl));
  scr_.str("");
  std::remove(".hvx");
  EXPECT_EQ(run(0), -1);
  EXPECT_EQ(scr_.str(), "");
  expect_untouched();
}

TEST_F(InconTest, MissingFileIsNotAskedFor) {
  // The command file names the file: no prompt for another name.
  kb_.str("other.res\n");
  m_.cochar.initial_file = "nofile.res";
  EXPECT_EQ(run(0), -1);
  EXPECT_EQ(scr_.str(), "");
  EXPECT_EQ(err_.str(), "**error: initial condition file 'nofile.res': not found\n");
  EXPECT_EQ(msg_.errors(), 1);
  EXPECT_EQ(m_.cochar.initial_file, "nofile.res");
  expect_untouched();
}

TEST_F(InconTest, GarbageNeverCrashesAndLoadsOnlyFiniteValues) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> byte(0, 255);
  const std::string good = build(TestFile{});
  for (int round = 0; round < 60; ++round) {
    std::string b;
    if (round % 3 == 0) {
      // Random bytes of random length.
      b.resize(static_cast<std::size_t>(rng() % 3000));
      for (auto& c : b) c = static_cast<char>(byte(rng));
    } else if (round % 3 == 1) {
      // A good header over a random body: values of any bit pattern.
      b = good;
      for (std::size_t i = 104; i < b.size(); ++i)
        if (rng() % 2) b[i] = static_cast<char>(byte(rng));
    } else {
      // A good file with a few random bytes anywhere, the header included.
      b = good;
      for (int n = 0; n < 8; ++n) b[rng() % b.size()] = static_cast<char>(byte(rng));
    }
    write(b);
    m_.coin.time_initial = 9.0e10f;
    int mode = 0;
    Messages msg(io_);  // refused files count errors
    ASSERT_NO_THROW(incon(m_, io_, msg, mode)) << round;
    EXPECT_FALSE(io_.is_open(ch::result));
    for (int k = 0; k < m_.coin1.nn; ++k) {
      ASSERT_TRUE(std::isfinite(m_.f.h[k])) << round;
      ASSERT_TRUE(std::isfinite(m_.f.q[k])) << round;
      ASSERT_TRUE(std::isfinite(m_.f.r[k])) << round;
    }
  }
}

}  // namespace
}  // namespace qf

namespace qf {
namespace {

// A mobile-bed run resumed from its own result file continues on the bed it
// had reached, when the file carries the bed level.
TEST_F(InconTest, MobileBedTakesTheBedLevelOfTheFile) {
  TestFile t;
  t.items = 4;
  t.labels = {" DFlow Depth [m]", " XX-Velocity [m/s]", " YY-Velocity [m/s]", " BBed Level [m]"};
  ASSERT_EQ(t.labels[3] + std::string(17, ' '), item_label(6));
  t.value = [](int b, int it, int i, int j) {
    if (it == 1) return b + 0.25f * i + 0.5f * j;
    if (it == 2) return 0.5f * b;
    if (it == 3) return -0.25f * b;
    return 100.0f - 0.01f * b * i + (i == 2 && j == 2 ? NAN : 0.0f);
  };
  write(build(t));
  for (auto& z : m_.f.zb) z = 50.0f;
  m_.f.outside.assign(static_cast<std::size_t>(m_.coin1.nn), 0);
  m_.f.outside[static_cast<std::size_t>(m_.node(4, 3))] = 1;  // a wall: cell (3, 2)

  // Fixed bed: the bed item is not read.
  EXPECT_EQ(run(0), 165);
  expect_block(3);
  for (float z : m_.f.zb) EXPECT_EQ(z, 50.0f);
  EXPECT_EQ(scr_.str().find("bed level"), std::string::npos);

  m_.clog.mobile_bed = true;
  scr_.str("");
  EXPECT_EQ(run(-1), 165);
  expect_block(3);
  EXPECT_EQ(scr_.str(), " >hot start from 'ic.res' AT  3.00H\n >bed level from 'ic.res'\n");
  for (int j = 1; j <= 3; ++j) {
    for (int i = 1; i <= 4; ++i) {
      const float z = m_.f.zb[m_.node(i + 1, j + 1)];
      if ((i == 2 && j == 2) || (i == 3 && j == 2)) {
        EXPECT_EQ(z, 50.0f) << "not finite / wall " << i << "," << j;
      } else {
        EXPECT_EQ(z, 100.0f - 0.03f * i) << i << "," << j;
      }
    }
  }
  EXPECT_EQ(m_.f.zb[m_.node(1, 1)], 50.0f);  // ghost cells untouched
}

TEST_F(InconTest, MobileBedWithoutABedItemKeepsTheInputBed) {
  TestFile t;
  t.items = 4;
  t.labels = {" DFlow Depth [m]", " XX-Velocity [m/s]", " YY-Velocity [m/s]", " WWater Level [m]"};
  write(build(t));
  for (auto& z : m_.f.zb) z = 50.0f;
  m_.clog.mobile_bed = true;
  EXPECT_EQ(run(0), 165);
  expect_block(3);
  for (float z : m_.f.zb) EXPECT_EQ(z, 50.0f);
  EXPECT_EQ(scr_.str(), " >initial condition from 'ic.res' AT  3.00H\n");
}

}  // namespace
}  // namespace qf

namespace qf {
namespace {

// Caps the data segment of the process a little above what it uses, so that
// a buffer sized from a damaged header fails instead of being made. Not under
// the address sanitizer, whose shadow memory counts as data.
class DataLimit {
 public:
  DataLimit() {
#ifndef __SANITIZE_ADDRESS__
    std::ifstream status("/proc/self/status");
    std::string key;
    long kb = -1;
    while (status >> key)
      if (key == "VmData:" && (status >> kb)) break;
    if (kb < 0 || getrlimit(RLIMIT_DATA, &old_) != 0) return;
    rlimit cap = old_;
    cap.rlim_cur = static_cast<rlim_t>(kb) * 1024 + (256u << 20);
    if (old_.rlim_cur != RLIM_INFINITY && old_.rlim_cur < cap.rlim_cur) return;
    set_ = setrlimit(RLIMIT_DATA, &cap) == 0;
#endif
  }
  ~DataLimit() {
    if (set_) setrlimit(RLIMIT_DATA, &old_);
  }

 private:
  rlimit old_{};
  bool set_ = false;
};

std::string with_i32(std::string b, std::size_t off, std::int32_t v) {
  std::memcpy(&b[off], &v, 4);
  return b;
}

// Files that are missing, are no result file or are damaged: an error that
// names the file and the fault, nothing loaded, no buffer larger than the
// file, the warm-start marker left alone.
TEST_F(InconTest, DamagedFilesAreRefusedNamingTheFile) {
  const std::string good = build(TestFile{});
  ASSERT_EQ(good.size(), 19u * 133);
  const std::string size = " in a file of 2527 bytes";
  const std::string coords = " header records and 6 coordinate records of 133 bytes";
  const std::string rows = with_i32(good, (2 + 6 + 6 + 2 - 1) * 133, 0x40200000);  // 2.5
  struct Case {
    std::string bytes;  // the file; "-" for none
    std::string why;
  };
  const Case cases[] = {
      {"-", ": not found"},
      {"", " is not a result file: the file is empty"},
      {good.substr(0, 20), " is not a result file: the file has 20 bytes, less than a header"},
      {good.substr(0, 110), " is not a result file: record length 133 in a file of 110 bytes"},
      {good.substr(0, 5 * 133), " is not a result file: 2" + coords + " in a file of 665 bytes"},
      {"this is no result file\nat all\n",
       " is not a result file: its first value 1936287860 is no result-file type"},
      {with_i32(good, 4, INT_MAX), " is not a result file: record length 2147483647" + size},
      {with_i32(good, 4, -133), " is not a result file: record length -133" + size},
      {with_i32(good, 4, 100),
       " is not a result file: a record length of 100 bytes cannot hold the header"},
      {with_i32(good, 8, INT_MAX),
       " is not a result file: grid of 2147483647 x 3 cells in records of 133 bytes"},
      {with_i32(good, 8, 0), " is not a result file: grid of 0 x 3 cells in records of 133 bytes"},
      {with_i32(good, 12, -3),
       " is not a result file: grid of 4 x -3 cells in records of 133 bytes"},
      {with_i32(good, 12, INT_MAX),
       " is not a result file: 2 header records and 4294967294 coordinate records of 133 bytes" +
           size},
      {with_i32(good, 20, INT_MAX), " is not a result file: 2147483647" + coords + size},
      {with_i32(good, 20, -1), " is not a result file: -1" + coords + size},
      {with_i32(good, 20, 1),
       " is not a result file: no coordinate records behind its 1 header records of 133 bytes"},
      {with_i32(good, 4, 134),
       " is not a result file: no coordinate records behind its 2 header records of 134 bytes"},
      {rows, " is damaged: row 2 of the block at 3.0000 h does not carry that time"},
  };
  std::ofstream(".hvx") << "saved\n";
  DataLimit limit;
  for (const auto& c : cases) {
    const std::string text = "initial condition file 'ic.res'" + c.why;
    SCOPED_TRACE(text);
    std::remove("ic.res");
    if (c.bytes != "-") write(c.bytes);
    m_.cochar.initial_file = "ic.res";
    scr_.str("");
    err_.str("");
    Messages msg(io_);
    int mode = 0;
    ASSERT_NO_THROW(incon(m_, io_, msg, mode));
    EXPECT_EQ(mode, -1);
    EXPECT_EQ(err_.str(), "**error: " + text + "\n");
    EXPECT_EQ(scr_.str(), "");
    EXPECT_EQ(msg.errors(), 1);
    EXPECT_FALSE(io_.is_open(ch::result));
    expect_untouched();
    io_.flush(ch::listing);
    EXPECT_NE(slurp("out").find("**error: " + text + "\n"), std::string::npos);
  }
  EXPECT_EQ(slurp(".hvx"), "saved\n");

  // A hot start from such a file ends the run and keeps the marker.
  for (const auto& c : {cases[0], cases[6]}) {
    const std::string text = "hot start file 'ic.res' named in .hvx" + c.why;
    SCOPED_TRACE(text);
    std::remove("ic.res");
    if (c.bytes != "-") write(c.bytes);
    m_.cochar.initial_file = "ic.res";
    err_.str("");
    int mode = -1;
    try {
      incon(m_, io_, msg_, mode);
      ADD_FAILURE() << "no stop";
    } catch (const Stop& stop) {
      EXPECT_EQ(stop.status(), 1);
    }
    EXPECT_EQ(err_.str(), "**fatal error: " + text + "\n");
    io_.flush(ch::listing);
    EXPECT_NE(slurp("out").find("**fatal error: " + text + "\n"), std::string::npos);
    expect_untouched();
  }
  EXPECT_EQ(slurp(".hvx"), "saved\n");
}

}  // namespace
}  // namespace qf
