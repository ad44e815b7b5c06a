// File opening of the viewer: grfil, gropn on result files (whole and
// damaged) and text files, and the file chooser answered by the script
// queue and by clicks in the window of a virtual X server.
#include "viewer/files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include "graphics/dialog.h"
#include "io/channels.h"
#include "io/stop.h"
#include "io/textio.h"
#include "output/wres.h"
#include "tests/graphics/gr_test_util.h"

// Xlib last: its macros clash with names of the test framework.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#undef None
#undef Bool
#undef Status

namespace qf {
namespace {

namespace fs = std::filesystem;
using grtest::answer;
using grtest::spit;

// A result file of a 3 x 2 grid written by the model's writer; its record
// length is returned.
std::size_t write_result(const std::string& path) {
  Model m;
  m.coin1.nx = 3;
  m.coin1.ny = 2;
  m.coin1.nxx = 5;
  m.coin1.nyy = 4;
  m.coin1.nn = 20;
  m.coin.dx = m.coin.dy = 10;
  alloc_flow(m, m.coin1.nn);
  for (int i = 1; i <= 5; ++i) m.coin1.xc[i] = (i - 2) * 10.0f;
  for (int j = 1; j <= 4; ++j) m.coin1.yc[j] = (j - 2) * 10.0f;
  m.coin1.item_count = 3;
  m.coin1.item_code[0] = 1;
  m.coin1.item_code[1] = 21;
  m.coin1.item_code[2] = 22;
  m.cochar.result_file = path;
  std::istringstream kb;
  std::ostringstream scr, err;
  Channels io(kb, scr, err);
  io.open_write(ch::listing, "out");
  Wres w;
  wres(m, w, io, 0);
  io.close_all();
  return w.reclen;
}

std::string last_message(const Graphics& g, std::size_t i = 0) {
  return g.msg.lines.size() > i ? std::string(trim_right(g.msg.lines[i])) : "";
}

class FilesScript : public grtest::ScratchDir {
 protected:
  void SetUp() override {
    grtest::ScratchDir::SetUp();
    g_ = std::make_unique<Graphics>();
    g_->out = &os_;
    grinit(*g_, 5, 6, "qftest", "", 0);
  }
  std::unique_ptr<Graphics> g_;
  std::ostringstream os_;
  FileChooser fc_;
};

TEST_F(FilesScript, ResultFilesRecognisedAndDamagedOnesRefused) {
  Graphics& g = *g_;
  const std::size_t reclen = write_result("res.bin");
  ASSERT_GE(reclen, 104u);
  const std::string whole = grtest::slurp("res.bin");
  spit("short.bin", whole.substr(0, 60));         // shorter than a header
  spit("cut.bin", whole.substr(0, reclen + 10));  // coordinates missing
  std::string bad = whole;
  bad[7] = 0x7f;  // record length beyond the file
  spit("bad.bin", bad);
  std::string other = whole;
  other[0] = 5, other[1] = other[2] = other[3] = 0;  // type 5: not a result file
  spit("other.bin", other);
  spit("text.txt", "hello\nworld\n");
  struct Case {
    const char* file;
    int mode2;  // answer of mode 2
    int mode1;  // mode after mode 1 (0: refused)
  };
  const Case cases[] = {
      {"res.bin", 1, static_cast<int>(reclen)},
      {"short.bin", 0, 0},
      {"cut.bin", 0, 0},
      {"bad.bin", 0, 0},
      {"other.bin", 0, 0},
      {"text.txt", 0, 0},
  };
  const int ch = 40;
  for (const Case& c : cases) {
    std::string name = c.file, dir;
    int mode = 2;
    gropn(g, fc_, ch, name, dir, mode);
    EXPECT_EQ(mode, c.mode2) << c.file;
    EXPECT_FALSE(g.files.is_open(ch)) << c.file;
    EXPECT_EQ(dir, "./");
    g.msg.lines.clear();
    name = c.file;
    mode = 1;
    gropn(g, fc_, ch, name, dir, mode);  // no window, nothing queued: the chooser gives up
    EXPECT_EQ(mode, c.mode1) << c.file;
    EXPECT_EQ(g.files.is_open(ch), c.mode1 != 0) << c.file;
    if (c.mode1 == 0) {
      EXPECT_EQ(last_message(g), std::string("Wrong file format: ") + c.file);
      EXPECT_TRUE(name.empty());
    } else {
      EXPECT_EQ(name, c.file);
      // The channel holds the file: record 1 starts with type -97.
      std::int32_t type = 0;
      ASSERT_EQ(std::fread(&type, 4, 1, g.files.get(ch)), 1u);
      EXPECT_EQ(type, -97);
      g.files.close(ch);
    }
  }
  // The reason of a refused header is shown before the refusal.
  std::string name = "short.bin", dir;
  int mode = 1;
  gropn(g, fc_, ch, name, dir, mode);
  EXPECT_EQ(last_message(g, 1), "short.bin: the file has 60 bytes, less than a header");
}

TEST_F(FilesScript, TextOpenedAndMissingNamesGoToTheChooser) {
  Graphics& g = *g_;
  spit("data.txt", "first\nsecond\n");
  const int ch = 41;
  std::string name = "data.txt", dir;
  int mode = 0;
  gropn(g, fc_, ch, name, dir, mode);
  ASSERT_TRUE(g.files.is_open(ch));
  char buf[16] = {};
  ASSERT_NE(std::fgets(buf, sizeof buf, g.files.get(ch)), nullptr);
  EXPECT_STREQ(buf, "first\n");
  g.files.close(ch);
  // A path starting with "." is a name, not a filter.
  name = "./data.txt";
  gropn(g, fc_, ch, name, dir, mode);
  EXPECT_TRUE(g.files.is_open(ch));
  g.files.close(ch);
  // A missing name: message, then the chooser (here the queue) gives the file.
  answer(g, {"data.txt"});
  name = "nosuch.txt";
  mode = 0;
  gropn(g, fc_, ch, name, dir, mode);
  EXPECT_EQ(g.msg.lines.at(0), grfix("File not found: " + grfix("nosuch.txt", 32), 100));
  EXPECT_EQ(name, "data.txt");
  EXPECT_TRUE(g.files.is_open(ch));
  g.files.close(ch);
  // A blank name without window or queue: nothing opened, mode 0.
  name.clear();
  mode = 1;
  gropn(g, fc_, ch, name, dir, mode);
  EXPECT_EQ(mode, 0);
  EXPECT_FALSE(g.files.is_open(ch));
  // A queued name that does not exist stops with the chooser's message.
  answer(g, {"gone.res"});
  name = ".res";
  try {
    gropn(g, fc_, ch, name, dir, mode);
    FAIL() << "no stop";
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 1);
    EXPECT_STREQ(s.what(), "grfile: file gone.res not found");
  }
  EXPECT_EQ(os_.str(), "grfile: file gone.res not found\n");
}

TEST_F(FilesScript, WriteFileFromTheQueue) {
  Graphics& g = *g_;
  answer(g, {"plan.kep"});
  std::string name = "pre.kep";
  grfil(g, 42, name);
  EXPECT_EQ(name, "plan.kep");
  ASSERT_TRUE(g.files.is_open(42));
  g.files.line(42, "MCOL");
  g.files.close(42);
  EXPECT_EQ(grtest::slurp("plan.kep"), "MCOL\n");
  // No window and nothing queued: no name, nothing opened.
  name = "pre.kep";
  grfil(g, 42, name);
  EXPECT_TRUE(name.empty());
  EXPECT_FALSE(g.files.is_open(42));
}

TEST_F(FilesScript, ListingWithoutShell) {
  fs::create_directory("sub");
  fs::create_directory("it's; touch pwned");
  spit("b.txt", "");
  spit("a.kep", "");
  spit("c.dxf", "");
  spit("noext", "");
  spit(".hidden.kep", "");
  fs::create_symlink("a.kep", "link.kep");
  fs::create_directory_symlink("sub", "linkdir");
  const std::string here = fs::current_path().string() + "/";
  std::vector<std::string> e;
  int left = -1;
  struct Case {
    std::string filter;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"", {"/..", "/it's; touch pwned", "/sub", "a.kep", "b.txt", "c.dxf", "noext"}},
      {".kep", {"/..", "/it's; touch pwned", "/sub", "a.kep"}},
      {".kep.dxf", {"/..", "/it's; touch pwned", "/sub", "a.kep", "c.dxf"}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(grflist(here, c.filter, e, left));
    EXPECT_EQ(e, c.want) << c.filter;
    EXPECT_EQ(left, 0);
  }
  // The listing of the directory with the odd name runs nothing.
  ASSERT_TRUE(grflist(here + "it's; touch pwned/", "", e, left));
  EXPECT_EQ(e, std::vector<std::string>{"/.."});
  EXPECT_FALSE(fs::exists("pwned"));
  // The root has no parent entry; a missing directory is refused.
  ASSERT_TRUE(grflist("/", "", e, left));
  EXPECT_TRUE(e.empty() || e[0] != "/..");
  EXPECT_FALSE(grflist(here + "none/", "", e, left));
  // At most 400 entries; the rest is counted.
  fs::create_directory("many");
  for (int i = 0; i < 405; ++i) spit("many/f" + std::to_string(1000 + i), "");
  ASSERT_TRUE(grflist(here + "many/", "", e, left));
  EXPECT_EQ(e.size(), 400u);
  EXPECT_EQ(left, 6);  // 405 files and the parent entry
  EXPECT_EQ(e[1], "f1000");
}

// ---------------------------------------------------------------- window

class FilesX : public FilesScript {
 protected:
  static void SetUpTestSuite() { x_ = new grtest::VirtualX(); }
  static void TearDownTestSuite() {
    delete x_;
    x_ = nullptr;
  }
  void SetUp() override {
    grtest::ScratchDir::SetUp();
    if (!x_ || !x_->ok()) GTEST_SKIP() << "no virtual X server";
    g_ = std::make_unique<Graphics>();
    g_->out = &os_;
    Graphics& g = *g_;
    grinit(g, 5, 9, "qftest", "", 0);
    ASSERT_EQ(g.n.IMODGR, kModeScreen);
    g.n.XMINGR = g.n.YMINGR = 0;
    g.n.XMAXGR = 100;
    g.n.YMAXGR = 75;
    grsfac(g);
    sender_ = std::make_unique<grtest::EventSender>();
    ASSERT_TRUE(sender_->ok());
  }
  void TearDown() override {
    sender_.reset();
    g_.reset();
    grtest::ScratchDir::TearDown();
  }
  void click(int x, int y, unsigned button = 1) { sender_->click(g_->x.window, x, y, button); }
  void key(KeySym sym) { sender_->key(g_->x.window, sym); }
  void type(const std::string& s) { sender_->type(g_->x.window, s); }
  // The chooser's layout: list rows of 14 pixels from y = 70 below a box at
  // (40, 30); buttons 76 wide, 82 apart, below the visible rows.
  int rows() const { return std::clamp((g_->x.height - 70 - 40) / 14, 1, 30); }
  void row(int r) { click(60, 70 + 14 * r + 7); }
  void button(int i) { click(44 + 82 * i + 38, 70 + rows() * 14 + 6 + 8); }
  static grtest::VirtualX* x_;
  std::unique_ptr<grtest::EventSender> sender_;
};

grtest::VirtualX* FilesX::x_ = nullptr;

TEST_F(FilesX, ChooserEntersFiltersScrollsCancelsAndChooses) {
  Graphics& g = *g_;
  fs::create_directory("sub");
  spit("sub/in.kep", "");
  spit("sub/other.txt", "");
  spit("a.kep", "");
  spit("b.txt", "");
  const std::string here = fs::current_path().string() + "/";
  enum { kOpen, kUp, kDown, kCancel, kAll };
  struct Case {
    const char* what;
    const char* filter;
    std::function<void()> send;
    std::string want;  // chosen name, relative to the start directory
    int ok;
  };
  const Case cases[] = {
      {"into a folder, choose a file", ".kep", [&] { row(1), row(1), button(kOpen); }, "sub/in.kep",
       1},
      {"into a folder and back up", ".kep", [&] { row(1), row(0), row(2), button(kOpen); }, "a.kep",
       1},
      {"filter lifted by All files", ".kep", [&] { button(kAll), row(3), button(kOpen); }, "b.txt",
       1},
      {"no filter lists every file", "", [&] { row(3), button(kOpen); }, "b.txt", 1},
      {"cancel", "", [&] { row(2), button(kCancel); }, "", 0},
      {"typed name", "", [&] { click(200, 40), type("new.txt"), button(kOpen); }, "new.txt", 0},
  };
  for (const Case& c : cases) {
    FileChooser fc;
    c.send();
    std::string name = c.filter, dir;
    int ok = -1;
    grfile(g, fc, name, dir, ok);
    EXPECT_EQ(name, c.want.empty() ? "" : here + c.want) << c.what;
    EXPECT_EQ(ok, c.ok) << c.what;
  }
  // Scrolling moves the list by three entries: "/..", f00, f01, f02 ...
  fs::create_directory("many");
  for (int i = 0; i < 60; ++i) spit("many/f" + std::to_string(100 + i), "");
  FileChooser fc;
  fc.dir = here + "many/";
  button(kDown), button(kDown), button(kUp), row(0), button(kOpen);
  std::string name, dir;
  int ok = 0;
  grfile(g, fc, name, dir, ok);
  EXPECT_EQ(name, here + "many/f102");
  EXPECT_EQ(dir, here + "many/");
  EXPECT_EQ(ok, 1);
}

TEST_F(FilesX, WrongResultFileReopensTheChooser) {
  Graphics& g = *g_;
  write_result("res.bin");
  spit("res.txt", "not a result file\n");
  const std::string here = fs::current_path().string() + "/";
  // res.txt is refused; the chooser opens and res.bin is picked.
  row(2), button(0);
  std::string name = "res.txt", dir;
  int mode = 1;
  gropn(g, fc_, 43, name, dir, mode);
  EXPECT_GT(mode, 100);
  EXPECT_EQ(name, here + "res.bin");
  EXPECT_TRUE(g.files.is_open(43));
  bool refused = false;
  for (const std::string& l : g.msg.history)
    refused = refused || trim_right(l) == "Wrong file format: res.txt";
  EXPECT_TRUE(refused);
}

TEST_F(FilesX, PrefixAnsweredAndOverwriteAsked) {
  Graphics& g = *g_;
  type("plan");
  std::string name = "pre.kep";
  grfil(g, 44, name);
  EXPECT_EQ(name, "plan.kep");
  ASSERT_TRUE(g.files.is_open(44));
  g.files.close(44);
  EXPECT_TRUE(fs::exists("plan.kep"));
  // The file exists now: "n" asks again, a blank answer gives up.
  type("plan"), type("n"), key(XK_Return);
  name = "pre.kep";
  grfil(g, 44, name);
  EXPECT_TRUE(name.empty());
  EXPECT_FALSE(g.files.is_open(44));
  type("plan"), type("y");
  name = "pre.kep";
  grfil(g, 44, name);
  EXPECT_EQ(name, "plan.kep");
  EXPECT_TRUE(g.files.is_open(44));
}

}  // namespace
}  // namespace qf
