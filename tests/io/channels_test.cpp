#include "io/channels.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "io/messages.h"
#include "io/stop.h"

namespace qf {
namespace {

std::string slurp(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class ChannelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "qf_ch_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::system(("mkdir -p " + dir_).c_str());
  }
  std::string file(const std::string& n, const std::string& text) {
    const std::string p = dir_ + "/" + n;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  std::string dir_;
  std::istringstream kb_;
  std::ostringstream scr_, err_;
};

TEST_F(ChannelsTest, PushBackReturnsTheSameRecordAndEndOfFileAgain) {
  Channels io(kb_, scr_, err_);
  ASSERT_TRUE(io.open_read(8, file("a", "one\r\ntwo\n")));
  std::string l;
  EXPECT_EQ(io.read_line(8, l), 0);
  EXPECT_EQ(l, "one");
  io.back(8);
  EXPECT_EQ(io.read_line(8, l), 0);
  EXPECT_EQ(l, "one");
  EXPECT_EQ(io.record_number(8), 1);
  EXPECT_EQ(io.read_line(8, l, 2), 0);
  EXPECT_EQ(l, "tw");  // cut to the buffer
  EXPECT_EQ(io.read_line(8, l), -1);
  io.back(8);
  EXPECT_EQ(io.read_line(8, l), -1);
  io.rewind(8);
  EXPECT_EQ(io.read_line(8, l), 0);
  EXPECT_EQ(l, "one");
  EXPECT_EQ(io.read_line(99, l), -1);  // channel not open
}

TEST_F(ChannelsTest, RecordModelOfWriting) {
  Channels io(kb_, scr_, err_);
  const std::string p = dir_ + "/out";
  ASSERT_TRUE(io.open_write(9, p));
  io.put(9, "   kst ");
  io.line(9, "    30.0");
  io.line(9);
  io.line(9, "x");
  EXPECT_EQ(slurp(p), "   kst     30.0\n\nx\n");  // complete lines are on disk at once
  io.close(9);
  io.put(6, "a");
  io.line(6, "b");
  EXPECT_EQ(scr_.str(), "ab\n");
}

TEST_F(ChannelsTest, DirectAccessRecordsByNumber) {
  Channels io(kb_, scr_, err_);
  const std::string p = dir_ + "/res";
  ASSERT_TRUE(io.open_direct(10, p, 16, 'w'));
  DirectFile* d = io.direct(10);
  ASSERT_NE(d, nullptr);
  RecordWriter w;
  w.i32(-97);
  w.f32(1.5f);
  w.f64(2.25);
  ASSERT_TRUE(d->write(2, w.bytes().data(), w.bytes().size()));
  w.clear();
  w.text("ab", 4);
  ASSERT_TRUE(d->write(1, w.bytes().data(), w.bytes().size()));
  d->flush();
  EXPECT_EQ(d->records(), 2);
  const std::string bytes = slurp(p);
  ASSERT_EQ(bytes.size(), 32u);
  EXPECT_EQ(bytes.substr(0, 4), "ab  ");
  EXPECT_EQ(bytes.substr(4, 12), std::string(12, '\0'));  // rest of record 1 zero-filled
  std::vector<unsigned char> rec;
  ASSERT_TRUE(d->read(2, rec));
  RecordReader r(rec);
  std::int32_t i;
  float f;
  double g;
  ASSERT_TRUE(r.i32(i) && r.f32(f) && r.f64(g));
  EXPECT_EQ(i, -97);
  EXPECT_EQ(f, 1.5f);
  EXPECT_EQ(g, 2.25);
  EXPECT_FALSE(r.i32(i));  // past the record
  EXPECT_FALSE(d->read(3, rec));
  io.close(10);
  ASSERT_TRUE(io.open_direct(10, p, 16, 'u'));  // kept when reopened for update
  EXPECT_EQ(io.direct(10)->records(), 2);
}

TEST_F(ChannelsTest, FramedMessagesAndTheEleventhError) {
  Channels io(kb_, scr_, err_);
  const std::string p = dir_ + "/out";
  io.open_write(9, p);
  Messages msg(io);
  EXPECT_EQ(msg.iierr(1, "found table with <2 rows", 9), 1);
  const std::string stars(47, '*');
  EXPECT_EQ(slurp(p), "\n" + stars + "\n**warning: found table with <2 rows\n" + stars + "\n\n");
  for (int i = 1; i <= 10; ++i) EXPECT_EQ(msg.iierr(2, "e", 9), i);
  try {
    msg.iierr(2, "e", 9);
    FAIL() << "no stop";
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 1);
  }
  EXPECT_EQ(scr_.str(), " >>program aborted after 10 errors\n");
  // Every message reaches the terminal as well, one line each.
  std::string want = "**warning: found table with <2 rows\n";
  for (int i = 1; i <= 11; ++i) want += "**error: e\n";
  EXPECT_EQ(err_.str(), want);
}

TEST_F(ChannelsTest, ByteOrderMarkAtTheStartOfAFileIsSkipped) {
  Channels io(kb_, scr_, err_);
  ASSERT_TRUE(io.open_read(8, file("bom", "\xEF\xBB\xBF>>grid\r\n\xEF\xBB\xBFx\n")));
  std::string l;
  EXPECT_EQ(io.read_line(8, l), 0);
  EXPECT_EQ(l, ">>grid");
  EXPECT_EQ(io.read_line(8, l), 0);
  EXPECT_EQ(l, "\xEF\xBB\xBFx");  // only at the start of the file
  io.rewind(8);
  EXPECT_EQ(io.read_line(8, l), 0);
  EXPECT_EQ(l, ">>grid");
}

TEST_F(ChannelsTest, SummaryAndFatalError) {
  Channels io(kb_, scr_, err_);
  io.open_write(9, dir_ + "/out");
  Messages msg(io);
  EXPECT_EQ(msg.iierr(0, " ", 9), 0);
  EXPECT_EQ(scr_.str(), "");  // nothing to say
  msg.iierr(1, "w", 9);
  msg.iierr(1, "w", 9);
  EXPECT_EQ(msg.iierr(0, " ", 9), 0);
  EXPECT_EQ(scr_.str(), "\n >>warnings   2, errors  0 ->check output listing\n\n");
  EXPECT_EQ(msg.warnings(), 0);
  scr_.str("");
  msg.iierr(2, "x", 9);
  EXPECT_THROW(msg.iierr(0, " ", 9), Stop);
  EXPECT_EQ(scr_.str(), "\n >>warnings   0, errors  1 ->check output listing\n\n");
  scr_.str("");
  try {
    msg.iierr(3, "heee...?", 9);
    FAIL();
  } catch (const Stop& s) {
    EXPECT_NE(s.status(), 0);
  }
  EXPECT_EQ(scr_.str(), " ***fatal error detected\n");
}

TEST_F(ChannelsTest, OpeningWithRePrompt) {
  const std::string good = file("cmd", "title 'x'\n");
  kb_.str("nothere\n" + good + "\n");
  Channels io(kb_, scr_, err_);
  Messages msg(io);
  std::string name = "missing";
  int mode = 0;
  msg.iiopn(8, name, mode);
  EXPECT_EQ(scr_.str(), "missing   ... not found. Filename> nothere   ... not found. Filename> ");
  EXPECT_EQ(name, good);
  EXPECT_TRUE(io.is_open(8));
  // A blank answer abandons the opening.
  std::istringstream kb2("\n");
  std::ostringstream scr2;
  Channels io2(kb2, scr2, err_);
  Messages msg2(io2);
  name = "";
  msg2.iiopn(8, name, mode);
  EXPECT_EQ(scr2.str(), "Enter filename> ");
  EXPECT_FALSE(io2.is_open(8));
}

TEST_F(ChannelsTest, OpeningRecognisesResultFiles) {
  const std::string res = dir_ + "/res";
  {
    DirectFile d;
    ASSERT_TRUE(d.open(res, 40, 'w'));
    RecordWriter w;
    w.i32(-97);
    w.i32(40);
    d.write(1, w.bytes().data(), w.bytes().size());
  }
  const std::string txt = file("txt", "hello\n");
  Channels io(kb_, scr_, err_);
  Messages msg(io);
  std::string name = res;
  int mode = 1;
  msg.iiopn(10, name, mode);
  EXPECT_EQ(mode, 40);
  ASSERT_NE(io.direct(10), nullptr);
  name = txt;
  mode = 1;
  msg.iiopn(11, name, mode);
  EXPECT_EQ(mode, 0);
  std::string l;
  EXPECT_EQ(io.read_line(11, l), 0);
  EXPECT_EQ(l, "hello");
  // Any answer but "n" chooses direct access.
  std::istringstream kb2("\nn\n");
  std::ostringstream scr2;
  Channels io2(kb2, scr2, err_);
  Messages msg2(io2);
  name = res;
  mode = 2;
  msg2.iiopn(10, name, mode);
  EXPECT_EQ(mode, 40);
  name = res;
  mode = 2;
  msg2.iiopn(12, name, mode);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(scr2.str(), "Direct Access File (Y/n)? Direct Access File (Y/n)? ");
}

TEST_F(ChannelsTest, OutputRedirection) {
  Channels io(kb_, scr_, err_);
  io.open_write(9, dir_ + "/out");
  Messages msg(io);
  // File names are at most 32 characters: work in the test directory.
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(::chdir(dir_.c_str()), 0);
  const std::string a = "a.txt";
  EXPECT_EQ(msg.iiout(0, "inflow 5 > x > '" + a + "'", 9), 20);
  EXPECT_EQ(scr_.str(), " >opening '" + a + "'\n");
  EXPECT_EQ(msg.iiout(0, "inflow 5 >", 9), 0);
  EXPECT_EQ(msg.iiout(0, "inflow 5", 9), 0);
  for (int i = 2; i <= 25; ++i)
    EXPECT_EQ(msg.iiout(0, "x >'" + a + std::to_string(i) + "'", 9), 19 + i);
  EXPECT_EQ(msg.iiout(0, "x > '" + a + "z'", 9), 0);  // the 26th
  // An unquoted name ends at a slash, as any free-format text does.
  EXPECT_EQ(msg.iiout(0, "x > /abs/name", 9), 0);
  EXPECT_EQ(msg.warnings(), 1);
  // Created only when the run starts, with what was written meanwhile.
  io.line(20, "t");
  EXPECT_FALSE(file_exists(a));
  EXPECT_EQ(io.release_held(), 0);
  io.line(20, "u");
  msg.iiout(1, " ", 9);
  EXPECT_FALSE(io.is_open(20));
  EXPECT_EQ(slurp(a), "t\nu\n");
  ASSERT_EQ(::chdir(here), 0);
}

TEST(DateText, CtimeOrder) {
  std::string t(30, '#');
  iitim(t);
  ASSERT_EQ(t.size(), 30u);
  EXPECT_EQ(t.substr(20), std::string(10, '#'));
  EXPECT_EQ(t[2], ' ');
  EXPECT_EQ(t[6], ' ');
  EXPECT_EQ(t[11], ' ');
  EXPECT_EQ(t[14], ':');
  EXPECT_EQ(t[17], ':');
}

}  // namespace
}  // namespace qf
