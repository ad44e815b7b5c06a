#include "model/resultfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "io/messages.h"
#include "io/textio.h"

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
  return m;
}

void items(Model& m, std::initializer_list<int> codes) {
  m.coin1.item_count = static_cast<int>(codes.size());
  int i = 0;
  for (int c : codes) m.coin1.item_code[i++] = c;
}

class ResultFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "qf_rf_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::system(("rm -rf " + dir_ + " && mkdir -p " + dir_).c_str());
  }
  std::string path(const std::string& n) const { return dir_ + "/" + n; }
  std::string dir_;
  std::istringstream kb_;
  std::ostringstream scr_, err_;
};

TEST(ResultLayout, RecordLengthsHoldEveryRecord) {
  EXPECT_EQ(result_record_length(3, 100), 1205u);  // 4 x 301 + 1
  EXPECT_EQ(result_record_length(20, 1), 677u);    // labels: 4 x (8 x 20 + 9) + 1
  EXPECT_EQ(result_record_length(4, 2), 165u);     // 8 x 4 + 9 = 41 words
  // Small grids with one or two items: record 1 needs 104 bytes.
  EXPECT_EQ(result_record_length(2, 10), 105u);
  EXPECT_EQ(result_record_length(1, 5), 105u);
  // Without items the coordinate records (flag and nx values) still fit.
  EXPECT_EQ(result_record_length(0, 50), 205u);
  EXPECT_EQ(max_record_length(5), 165u);
  EXPECT_EQ(max_record_length(9), 165u);   // 36 < 37
  EXPECT_EQ(max_record_length(10), 165u);  // W = 41
  EXPECT_EQ(max_record_length(100), 1605u);
}

TEST(ResultLayout, TypeAndItemList) {
  Model m = grid(2, 2, 1, 1);
  items(m, {1, 21, 22});
  EXPECT_EQ(result_type(m, result_items(m)), -97);
  items(m, {1, 21, 22, 3, 18});
  EXPECT_EQ(result_type(m, result_items(m)), -97);
  EXPECT_EQ(result_items(m).n, 5);
  // A water level first is no depth: such a file is not a hot start.
  items(m, {2, 21, 22});
  EXPECT_EQ(result_type(m, result_items(m)), -96);
  items(m, {1, 21});
  EXPECT_EQ(result_type(m, result_items(m)), -96);
  // Transport: only the first item (concentration or temperature).
  items(m, {12, 1, 21, 22});
  m.clog.transport = true;
  const ResultItems it = result_items(m);
  EXPECT_EQ(it.n, 1);
  EXPECT_EQ(it.code[0], 12);
  EXPECT_EQ(result_type(m, it), -96);
  m.clog.transport = false;
  m.coin1.item_count = 25;  // extra items are not written
  EXPECT_EQ(result_items(m).n, 20);
}

TEST_F(ResultFileTest, HeaderLabelAndCoordinateRecordsByteForByte) {
  Model m = grid(3, 2, 10.0f, 5.0f);
  items(m, {1, 21, 22});
  m.cochar.title = "Test run";
  m.coin.x_origin = 600000.5;
  m.coin.y_origin = 200000.25;
  const std::size_t rl = result_record_length(3, 3);
  ASSERT_EQ(rl, 133u);
  DirectFile f;
  ASSERT_TRUE(f.open(path("r.bin"), rl, 'w'));
  const auto h = header_record(result_header(m, -97, rl));
  ASSERT_EQ(h.size(), 104u);
  ASSERT_TRUE(f.write(1, h.data(), h.size()));
  const auto l = label_record(result_items(m));
  ASSERT_EQ(l.size(), 4u + 4 * 32);
  ASSERT_TRUE(f.write(2, l.data(), l.size()));
  ASSERT_TRUE(write_coordinates(f, m, 2, result_coord_flag));
  f.close();

  const std::string b = slurp(path("r.bin"));
  ASSERT_EQ(b.size(), 6 * rl);
  EXPECT_EQ(at<std::int32_t>(b, 0), -97);
  EXPECT_EQ(at<std::int32_t>(b, 4), 133);
  EXPECT_EQ(at<std::int32_t>(b, 8), 3);
  EXPECT_EQ(at<std::int32_t>(b, 12), 2);
  EXPECT_EQ(at<std::int32_t>(b, 16), 1);
  EXPECT_EQ(at<std::int32_t>(b, 20), 2);
  EXPECT_EQ(b.substr(24, 64), "Test run" + std::string(56, ' '));
  EXPECT_EQ(at<double>(b, 88), 600000.5);
  EXPECT_EQ(at<double>(b, 96), 200000.25);
  EXPECT_EQ(b.substr(104, rl - 104), std::string(rl - 104, '\0'));

  const std::size_t r2 = rl;
  EXPECT_EQ(at<std::int32_t>(b, r2), 3);
  EXPECT_EQ(b.substr(r2 + 4, 128), "Time[h]" + std::string(25, ' ') + " DFlow Depth [m]" +
                                       std::string(16, ' ') + " XX-Velocity [m/s]" +
                                       std::string(14, ' ') + " YY-Velocity [m/s]" +
                                       std::string(14, ' '));
  // x records (3, 4), then y records (5, 6).
  for (int j = 1; j <= 2; ++j) {
    const std::size_t x = (2 + j - 1) * rl;
    EXPECT_EQ(at<float>(b, x), -1.0e10f);
    EXPECT_EQ(at<float>(b, x + 4), 0.0f);
    EXPECT_EQ(at<float>(b, x + 8), 10.0f);
    EXPECT_EQ(at<float>(b, x + 12), 20.0f);
    EXPECT_EQ(b.substr(x + 16, rl - 16), std::string(rl - 16, '\0'));
    const std::size_t y = (4 + j - 1) * rl;
    EXPECT_EQ(at<float>(b, y), -1.0e10f);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(at<float>(b, y + 4 + 4 * i), (j - 1) * 5.0f);
  }

  // Read back.
  DirectFile g;
  ASSERT_TRUE(g.open(path("r.bin"), rl, 'r'));
  ResultHeader hd;
  ASSERT_TRUE(read_header(g, hd));
  EXPECT_EQ(hd.type, -97);
  EXPECT_EQ(hd.nx, 3);
  EXPECT_EQ(hd.ny, 2);
  EXPECT_EQ(hd.header_records, 2);
  EXPECT_EQ(hd.x_origin, 600000.5);
  int n = 0;
  std::vector<std::string> labels;
  ASSERT_TRUE(read_labels(g, n, labels));
  EXPECT_EQ(n, 3);
  ASSERT_EQ(labels.size(), 4u);
  EXPECT_EQ(labels[3], pad(" YY-Velocity [m/s]", 32));
  // A record length below 104 cannot hold record 1.
  g.set_record_length(101);
  EXPECT_FALSE(read_header(g, hd));
}

TEST_F(ResultFileTest, BlockRecordsEndMarkerAndScan) {
  const std::size_t rl = 21;  // time and 4 values
  DirectFile f;
  ASSERT_TRUE(f.open(path("b.bin"), rl, 'w'));
  std::vector<float> buffer;
  // Blocks of 3 rows behind 2 header records and 6 coordinate records.
  const auto fill = [](float t) {
    return [t](int j, float* out) {
      for (int i = 0; i < 4; ++i) out[i] = t * 100 + j * 10 + i;
    };
  };
  EXPECT_EQ(block_record(2, 3, 1, 1), 9);
  EXPECT_EQ(block_record(2, 3, 2, 3), 14);
  EXPECT_EQ(coord_x_record(2, 3), 5);
  EXPECT_EQ(coord_y_record(2, 3, 1), 6);
  ASSERT_TRUE(write_block(f, 9, 3, 0.5f, 4, -99.0f, fill(0.5f), buffer));
  ASSERT_TRUE(write_block(f, 12, 3, 1.5f, 4, -99.0f, fill(1.5f), buffer));
  ASSERT_TRUE(write_block(f, 15, 3, 2.5f, 4, -99.0f, fill(2.5f), buffer));
  EXPECT_EQ(f.records(), 19);

  const std::string b = slurp(path("b.bin"));
  // Record 13: second row of block 2.
  const std::size_t r13 = 12 * rl;
  EXPECT_EQ(at<float>(b, r13), 1.5f);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(at<float>(b, r13 + 4 + 4 * i), 150.0f + 20 + i);
  EXPECT_EQ(b[r13 + 20], '\0');
  // End marker: records 18 and 19 hold -99 and zeros.
  for (int r : {18, 19}) {
    EXPECT_EQ(at<float>(b, (r - 1) * rl), -99.0f);
    EXPECT_EQ(b.substr((r - 1) * rl + 4, rl - 4), std::string(rl - 4, '\0'));
  }

  float last = 0;
  EXPECT_EQ(scan_blocks(
                f, 2, 3, [](float) { return true; }, &last),
            3);
  EXPECT_EQ(last, 2.5f);
  EXPECT_EQ(scan_blocks(
                f, 2, 3, [](float t) { return t <= 1.5f; }, &last),
            2);
  EXPECT_EQ(last, 1.5f);
  EXPECT_EQ(scan_blocks(f, 2, 3, [](float t) { return t < 0.5f; }), 0);
  float t = 0;
  EXPECT_TRUE(block_time(f, 15, 3, t));
  EXPECT_EQ(t, 2.5f);
  EXPECT_FALSE(block_time(f, 18, 3, t));  // would reach beyond the file
  f.close();

  // A file cut inside the last block keeps the blocks before it.
  ASSERT_EQ(::truncate(path("b.bin").c_str(), static_cast<off_t>(16 * rl + 7)), 0);
  ASSERT_TRUE(f.open(path("b.bin"), rl, 'r'));
  EXPECT_EQ(scan_blocks(
                f, 2, 3, [](float) { return true; }, &last),
            2);
  f.close();

  // A time that is not a number ends the blocks.
  ASSERT_TRUE(f.open(path("b.bin"), rl, 'u'));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  ASSERT_TRUE(f.write(12, &nan, 4));
  EXPECT_EQ(scan_blocks(f, 2, 3, [](float) { return true; }), 1);
}

TEST(ResultLayout, ItemValuesOfWetAndDryCells) {
  Model m = grid(2, 1, 1, 1);
  const int wet = m.node(2, 2);
  const int dry = m.node(3, 2);
  FlowValues& f = m.f;
  f.h[wet] = 2.0f;
  f.q[wet] = 1.2f;
  f.r[wet] = -1.6f;
  f.zb[wet] = 10.0f;
  f.us[wet] = 0.1f;
  f.ks[wet] = 40.0f;
  f.c[wet] = 0.5f;
  f.tind[wet] = 3.25f;
  f.h[dry] = 0.01f;
  f.q[dry] = 0.004f;
  f.r[dry] = 0.002f;
  f.zb[dry] = 12.0f;
  f.ldry[dry] = 1;
  float v[2];
  auto row = [&](int code) {
    item_row(m, code, 1, v);
    return v[0];
  };
  EXPECT_FLOAT_EQ(row(1), 2.0f);
  EXPECT_FLOAT_EQ(row(2), 12.0f);
  EXPECT_FLOAT_EQ(row(3), 1.0f);                           // u 0.6, v -0.8
  EXPECT_FLOAT_EQ(row(4), 2.0f);                           // speed x h
  EXPECT_NEAR(row(5), 1.0 / std::sqrt(9.81 * 2.0), 1e-6);  // 0.225762
  EXPECT_FLOAT_EQ(row(6), 10.0f);
  EXPECT_FLOAT_EQ(row(7), 10.0f);  // 1000 x 0.1^2
  EXPECT_FLOAT_EQ(row(10), 0.025f);
  EXPECT_FLOAT_EQ(row(11), 40.0f);
  EXPECT_FLOAT_EQ(row(12), 500.0f);
  EXPECT_FLOAT_EQ(row(13), 0.5f);
  EXPECT_FLOAT_EQ(row(17), 12.051f);
  EXPECT_FLOAT_EQ(row(18), 3.25f);
  EXPECT_FLOAT_EQ(row(21), 0.6f);
  EXPECT_FLOAT_EQ(row(22), -0.8f);
  // Dry cell: no velocities; the water level is bed plus depth...
  for (int code : {3, 4, 5, 21, 22}) {
    item_row(m, code, 1, v);
    EXPECT_EQ(v[1], 0.0f) << code;
  }
  item_row(m, 2, 1, v);
  EXPECT_FLOAT_EQ(v[1], 12.01f);
  item_row(m, 17, 1, v);
  EXPECT_FLOAT_EQ(v[1], 12.01f);
  // ... or the no_data value when one was given.
  m.clog.no_data_set = true;
  m.coin.no_data = -999.0f;
  item_row(m, 2, 1, v);
  EXPECT_EQ(v[1], -999.0f);
  EXPECT_FLOAT_EQ(v[0], 12.0f);
}

// Files written by the run's writers read back through the one reader:
// a result file of two blocks and a max-value file; item k of row j holds
// 100 t + 10 k + j + x / 100.
TEST_F(ResultFileTest, ReaderGivesWhatTheWritersWrote) {
  Model m = grid(3, 2, 10.0f, 5.0f);
  items(m, {1, 21, 22});
  const ResultItems it = result_items(m);
  const auto value = [](float t) {
    return [t](int k, int j, float* out) {
      for (int i = 0; i < 3; ++i) out[i] = 100 * t + 10 * k + j + i * 0.1f;
    };
  };
  const std::size_t rl = result_record_length(3, 3);
  const std::string res = path("r.res"), max = path("r.max");
  std::vector<float> buffer;
  DirectFile f;
  ASSERT_TRUE(f.open(res, rl, 'w'));
  ASSERT_TRUE(begin_result_file(f, m, it, type_hot_start, rl, -99.0f));
  EXPECT_EQ(last_header_part_record(2), 6);
  for (float t : {0.5f, 1.5f})
    ASSERT_TRUE(write_item_block(f, f.records() - 1, 2, 3, t, 3, -99.0f, value(t), buffer));
  EXPECT_TRUE(same_result_layout(f, m, it, rl));
  items(m, {1, 22, 21});  // the same count of other items
  EXPECT_FALSE(same_result_layout(f, m, result_items(m), rl));
  EXPECT_FALSE(same_result_layout(f, m, it, rl + 4));
  f.close();
  ASSERT_TRUE(f.open(max, max_record_length(3), 'w'));
  ASSERT_TRUE(write_max_value_file(f, m, 2.0f, -99.0f, value(2.0f), false));
  f.close();

  struct Case {
    std::string path;
    int type, items;
    float flag;
    std::vector<float> times;
    std::string last_label;
  };
  for (const Case& c : {Case{res, -97, 3, -1.0e10f, {0.5f, 1.5f}, " YY-Velocity [m/s]"},
                        Case{max, -96, 4, 0.0f, {2.0f}, " VFlow Velocity [m/s]"}}) {
    SCOPED_TRACE(c.path);
    ResultReader r;
    std::string why;
    ASSERT_TRUE(r.open(c.path, &why)) << why;
    EXPECT_EQ(r.header().type, c.type);
    ASSERT_TRUE(r.labelled());
    EXPECT_EQ(r.item_count(), c.items);
    EXPECT_EQ(r.labels().back(), pad(c.last_label, 32));
    float flag = 1;
    ASSERT_TRUE(r.coordinate_flag(flag));
    EXPECT_EQ(flag, c.flag);
    std::vector<float> x, y;
    ASSERT_TRUE(r.coordinates(x, y));
    EXPECT_EQ(x, (std::vector<float>{0, 10, 20, 0, 10, 20}));
    EXPECT_EQ(y, (std::vector<float>{0, 0, 0, 5, 5, 5}));
    EXPECT_EQ(r.scan(), static_cast<long>(c.times.size()));
    EXPECT_EQ(r.times(), c.times);
    const float t = c.times.back();
    std::vector<float> row(3);
    float time = 0;
    ASSERT_TRUE(r.read_item(static_cast<long>(c.times.size()), 2, 2, row, &time));
    EXPECT_EQ(time, t);
    EXPECT_EQ(row, (std::vector<float>{100 * t + 22, 100 * t + 22.1f, 100 * t + 22.2f}));
    EXPECT_FALSE(r.read_item(1, c.items, 1, row));  // no such item
    float bt = 0;  // the end marker stands where the next block goes
    EXPECT_TRUE(r.block_time(static_cast<long>(c.times.size()) + 1, bt));
    EXPECT_EQ(bt, -99.0f);
  }
  // A missing file leaves the reason to errno; a file that is no result
  // file says why.
  ResultReader r;
  std::string why;
  EXPECT_FALSE(r.open(path("none"), &why));
  EXPECT_EQ(why, "");
  std::ofstream(path("text")) << std::string(200, 'x');
  EXPECT_FALSE(r.open(path("text"), &why));
  EXPECT_NE(why, "");
}

TEST_F(ResultFileTest, WarmStartMarkerForms) {
  Channels io(kb_, scr_, err_);
  const std::string p = path(".hvx");
  write_warm_marker(io, ch::aux, 5, 2.5f, "dares", p);
  EXPECT_EQ(slurp(p), "           5   2.50000000     /\n dares" + std::string(27, ' ') + " /\n");
  int step = 0;
  float t = 0;
  std::string name;
  ASSERT_TRUE(read_warm_marker(io, ch::aux, step, t, name, p));
  EXPECT_EQ(step, 5);
  EXPECT_EQ(t, 2.5f);
  EXPECT_EQ(name, "dares");
  EXPECT_FALSE(io.is_open(ch::aux));

  withdraw_warm_marker(io, ch::aux, p);
  EXPECT_EQ(slurp(p), "           0           0           0\n\n");
  step = 7;
  EXPECT_FALSE(read_warm_marker(io, ch::aux, step, t, name, p));
  EXPECT_EQ(step, 7);
  std::ofstream(p) << "           3   1.0 /\n";  // second line missing
  EXPECT_FALSE(read_warm_marker(io, ch::aux, step, t, name, p));
  EXPECT_FALSE(read_warm_marker(io, ch::aux, step, t, name, path("none")));
}

}  // namespace
}  // namespace qf

namespace qf {
namespace {

// A marker that names a file but holds a step or time no run can resume
// from is refused with a warning; the run then starts from its input.
TEST_F(ResultFileTest, DamagedWarmStartMarkers) {
  Channels io(kb_, scr_, err_);
  io.open_write(ch::listing, path("out"));
  Messages msg(io);
  const std::string p = path(".hvx");
  const std::string lead = "warm start from " + p + " ignored: ";
  const struct {
    const char* line1;
    std::string warning;  // empty: accepted
  } cases[] = {
      {"1000000000 2.5 /", ""},
      {"0 -1.5 /", ""},
      {"2147483647 2.5 /", "step 2147483647 is not from 0 to 1000000000"},
      {"1000000001 2.5 /", "step 1000000001 is not from 0 to 1000000000"},
      {"-3 2.5 /", "step -3 is not from 0 to 1000000000"},
      {"5 1e999 /", "time Infinity is not a finite number"},
      {"2147483648 2.5 /", "no step and time in '2147483648 2.5 /'"},
      {"five 2.5 /", "no step and time in 'five 2.5 /'"},
  };
  int warnings = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line1);
    std::ofstream(p) << c.line1 << "\n dares /\n";
    err_.str("");
    int step = 7;
    float t = 0;
    std::string name;
    EXPECT_EQ(read_warm_marker(io, ch::aux, step, t, name, p, &msg), c.warning.empty());
    if (c.warning.empty()) {
      EXPECT_EQ(name, "dares");
      EXPECT_EQ(err_.str(), "");
      continue;
    }
    EXPECT_EQ(step, 7);
    EXPECT_EQ(err_.str(), "**warning: " + lead + c.warning + "\n");
    EXPECT_EQ(msg.warnings(), ++warnings);
    io.flush(ch::listing);
    EXPECT_NE(slurp(path("out")).find("**warning: " + lead + c.warning + "\n"), std::string::npos);
  }
  // The withdrawn form is no damage: no warning.
  withdraw_warm_marker(io, ch::aux, p);
  int step = 0;
  float t = 0;
  std::string name;
  EXPECT_FALSE(read_warm_marker(io, ch::aux, step, t, name, p, &msg));
  EXPECT_EQ(msg.warnings(), warnings);
}

}  // namespace
}  // namespace qf
