// Bitmaps of keep files: the raw pbm/pgm reader, the world file, "BITM"
// records replayed at their world place, and the palette viewer.
#include "graphics/bitmap.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "graphics/graphics.h"
#include "io/textio.h"
#include "tests/graphics/gr_test_util.h"
// clang-format off
#include "tests/graphics/x11/xvfb.h"
// clang-format on

namespace qf {
namespace {

using grtest::answer;
using grtest::lines_of;
using grtest::slurp;
using grtest::spit;

class GrBitmap_ : public grtest::ScratchDir {
 protected:
  void start(Graphics& g) {
    g.err = &err_;
    grinit(g, 5, 6, "qf", "", 0);
    g.n.XMINGR = g.n.YMINGR = 0;
    g.n.XMAXGR = g.n.YMAXGR = 100;
    g.n.XMNCGR = g.n.YMNCGR = 0;
    g.n.XMXCGR = g.n.YMXCGR = 100;
  }
  std::ostringstream err_;
};

TEST_F(GrBitmap_, ReaderCases) {
  const std::string big = "P5 6000 5001 255\n";  // 30,006,000 pixels
  struct Case {
    std::string name, bytes;
    int w, h;
    std::vector<int> pixels;  // empty: the read fails
    std::string error;        // part of the message
  } cases[] = {
      {"a.pbm",
       std::string("P4\n# comment\n10 2\n") + "\x80\x40\xff\xc0",
       10,
       2,
       {0, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       ""},
      {"b.pgm",
       std::string("P5 3 1 100\n") + std::string("\x00\x32\x64", 3),
       3,
       1,
       {0, 127, 255},
       ""},
      {"c.pgm", std::string("P5 2 1 1000\n") + "\x03\xe8\x01\xf4", 2, 1, {255, 127}, ""},
      {"d.pgm", "P2 3 1 255\n0 1 2\n", 0, 0, {}, "magic number"},
      {"e.pgm", big + std::string(16, '\0'), 0, 0, {}, "exceed the store of 30000000 bytes"},
      {"f.pgm", std::string("P5 4 4 255\n") + std::string(15, 'a'), 0, 0, {}, "is truncated"},
      {"g.pbm", "P4 0 4\n", 0, 0, {}, "bad size"},
      {"h.pgm", "P5 4x 4 255\n", 0, 0, {}, "damaged header"},
      {"i.pgm", "P5 99999999999 1 255\n", 0, 0, {}, "damaged header"},
      {"j.pgm", "", 0, 0, {}, "magic number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    spit(c.name, c.bytes);
    GrBitmap bm;
    std::string error;
    const bool ok = grbmpr(c.name, bm, error);
    EXPECT_EQ(ok, !c.pixels.empty());
    if (ok) {
      EXPECT_EQ(bm.width, c.w);
      EXPECT_EQ(bm.height, c.h);
      EXPECT_EQ(std::vector<int>(bm.pixels.begin(), bm.pixels.end()), c.pixels);
    } else {
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      EXPECT_NE(error.find(c.name), std::string::npos) << error;
    }
  }
  GrBitmap bm;
  std::string error;
  EXPECT_FALSE(grbmpr("missing.pgm", bm, error));
  EXPECT_EQ(error, "cannot read bitmap file missing.pgm");
}

TEST_F(GrBitmap_, WorldFileAndNames) {
  spit("a.tfw", "2.5\n0\n0\n-2.5\n 1000.25\n2000.75\n");
  GrWorld w;
  std::string error;
  ASSERT_TRUE(grtfw("a.tfw", w, error));
  EXPECT_DOUBLE_EQ(w.a, 2.5);
  EXPECT_DOUBLE_EQ(w.e, -2.5);
  EXPECT_DOUBLE_EQ(w.c, 1000.25);
  EXPECT_DOUBLE_EQ(w.f, 2000.75);
  spit("b.tfw", "2.5\n0\n0\nx1\n1\n2\n");
  EXPECT_FALSE(grtfw("b.tfw", w, error));
  EXPECT_EQ(error, "world file b.tfw line 4 is not a number: x1");
  spit("c.tfw", "2.5\n0\n0\n");
  EXPECT_FALSE(grtfw("c.tfw", w, error));
  EXPECT_EQ(error, "world file c.tfw ends before line 4");
  EXPECT_EQ(grbmext("map.pgm", ".tfw"), "map.tfw");
  EXPECT_EQ(grbmext("dir.x/map", ".kep"), "dir.x/map.kep");
  EXPECT_EQ(grbmext(".hidden", ".kep"), ".hidden.kep");
}

// Replays the keep list into a new keep file; the fill records it holds.
struct Fill {
  int colour;
  std::vector<float> xy;
};
std::vector<Fill> fills_of(const std::string& text) {
  std::vector<Fill> v;
  const std::vector<std::string> l = lines_of(text);
  for (std::size_t i = 0; i + 2 < l.size(); ++i) {
    if (l[i] != "FIL2") continue;
    FreeReader h(l[i + 1]);
    int n = 0, c = 0;
    h.read(n);
    h.read(c);
    Fill f{c, {}};
    FreeReader r(l[i + 2]);
    for (int k = 0; k < 2 * n; ++k) {
      float x = 0;
      r.read(x);
      f.xy.push_back(x);
    }
    v.push_back(f);
  }
  return v;
}

std::string replay_list(Graphics& g) {
  answer(g, {"out"});
  int r = kModeKeep;
  grmode(g, r);
  grklst(g, 4);
  grclos(g);
  return slurp("out.kep");
}

TEST_F(GrBitmap_, BitmapRecordReplayedAndFitted) {
  Graphics g;
  start(g);
  g.n.XORGR = 1000;
  g.n.YORGR = 2000;
  // Two rows: black black white / white white white.
  spit("pic.pgm", std::string("P5 3 2 255\n") + std::string("\0\0\xff\xff\xff\xff", 6));
  spit("pic.kep", "BITM\n'pic.pgm' /\n1010.0, 2050.0, 5.0, 4.0, 0.0 /\n");
  g.keep.names = {grfix("pic.kep", 80)};
  g.keep.flags = {2};
  std::vector<Fill> f = fills_of(replay_list(g));
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].colour, 20);  // black: the last entry of the grey ramp
  EXPECT_EQ(f[0].xy, (std::vector<float>{10, 46, 20, 46, 20, 50, 10, 50}));
  EXPECT_EQ(f[1].colour, -1);  // white
  EXPECT_EQ(f[1].xy, (std::vector<float>{20, 46, 25, 46, 25, 50, 20, 50}));
  EXPECT_EQ(f[2].xy, (std::vector<float>{10, 42, 25, 42, 25, 46, 10, 46}));
  EXPECT_EQ(g.n.CMODGR, 2);
  // A negative pixel width is fitted to the window once and written back.
  spit("pic.kep", "BITM\n'pic.pgm' /\n1000, 2100, -1, -1, 0 /\nCOMMENT\n");
  const std::string fit_out = replay_list(g);
  f = fills_of(fit_out);
  ASSERT_EQ(f.size(), 3u) << fit_out << slurp("pic.kep");
  EXPECT_EQ(f[0].xy, (std::vector<float>{0, 75, 50, 75, 50, 100, 0, 100}));  // d = 100 / 4
  const std::vector<std::string> l = lines_of(slurp("pic.kep"));
  ASSERT_EQ(l.size(), 4u);
  EXPECT_EQ(l[3], "COMMENT");
  FreeReader r(l[2]);
  double v[4] = {};
  for (double& x : v) ASSERT_EQ(r.read(x), ReadStatus::ok);
  EXPECT_EQ(v[0], 1000);
  EXPECT_EQ(v[1], 2100);
  EXPECT_EQ(v[2], 25);
  EXPECT_EQ(v[3], 25);
  const std::string fitted = slurp("pic.kep");
  g.n.XMAXGR = 50;  // the next replay takes the stored size (columns beyond x = 50 left out)
  f = fills_of(replay_list(g));
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].xy[2], 50);
  EXPECT_EQ(slurp("pic.kep"), fitted);
  // Rows outside the window are skipped.
  spit("pic.kep", "BITM\n'pic.pgm' /\n1000, 2150, 10, 49 /\n");
  g.n.XMAXGR = 100;
  f = fills_of(replay_list(g));
  ASSERT_EQ(f.size(), 1u);  // the white second row only
  EXPECT_EQ(f[0].xy, (std::vector<float>{0, 52, 30, 52, 30, 101, 0, 101}));
}

TEST_F(GrBitmap_, BadBitmapsEndTheReplay) {
  Graphics g;
  start(g);
  spit("bad.pgm", "P6 1 1 255\nabc");
  spit("good.pgm", std::string("P5 1 1 255\n") + '\0');
  spit("bad.kep", "BITM\n'bad.pgm' /\n0 0 1 1 /\nCOLR\n  3\n");
  spit("worse.kep", "BITM\n'good.pgm' /\n0 zero 1 1 /\n");
  spit("good.kep", "BITM\n'good.pgm' /\n0 100 10 10 /\n");
  for (const char* keep : {"bad.kep", "worse.kep"}) {
    SCOPED_TRACE(keep);
    g.keep.names = {grfix(keep, 80), grfix("good.kep", 80)};
    g.keep.flags = {2, 2};
    EXPECT_TRUE(fills_of(replay_list(g)).empty());
    EXPECT_EQ(g.keep.names.size(), 2u);  // the entry stays in the list
  }
  EXPECT_EQ(g.msg.lines[3], grfix("format unknown (accepting raw pbm or pgm)", 100));
  EXPECT_EQ(g.msg.lines[1], grfix("bad bitmap record in keep file worse.kep", 100));
  EXPECT_NE(err_.str().find("bad.pgm: no raw pbm (P4) or pgm (P5) magic number"),
            std::string::npos);
  // The store holds one large bitmap at a time.
  g.keep.names = {grfix("good.kep", 80)};
  EXPECT_EQ(fills_of(replay_list(g)).size(), 1u);
}

TEST_F(GrBitmap_, PlotListRecordsGoToTheirReader) {
  Graphics g;
  start(g);
  spit("put.kep",
       "XORG\n     1000.00\nPUT\n  2\n 1.0 2.0 0.0 -4 3\nANOT TEXT\n 5.0 6.0 0.0 1 3\n"
       "MOV2\n -990.0 1.0\nDRW2\n -980.0 2.0\n");
  g.keep.names = {grfix("put.kep", 80)};
  g.keep.flags = {2};
  // Without a reader the record is skipped whole (its text line included).
  std::string s = replay_list(g);
  EXPECT_EQ(s.find("ANOT"), std::string::npos);
  EXPECT_NE(s.find("DRW2"), std::string::npos);
  std::vector<std::string> got;
  double shift = 0;
  g.keep.put = [&](Graphics&, const std::vector<std::string>& l, std::size_t& pos, double sx,
                   double) {
    got.assign(l.begin() + static_cast<long>(pos), l.begin() + static_cast<long>(pos) + 4);
    pos += 4;
    shift = sx;
  };
  g.keep.flags = {2};
  replay_list(g);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0], "  2");
  EXPECT_EQ(got[2], "ANOT TEXT");
  EXPECT_EQ(shift, 1000);
}

TEST_F(GrBitmap_, PaletteAnsweredByScript) {
  Graphics g;
  start(g);
  int c = 7;
  answer(g, {"101", "D", "K"});
  grcmap(g, c);
  EXPECT_EQ(c, 101);
  EXPECT_EQ(g.msg.lines[0], grfix("No 101  Red:102 Green:178 Blue:255", 100));
  std::string next;
  ASSERT_TRUE(grsnext(g, next));  // Done ended the viewer
  EXPECT_EQ(next, grfix("K", 16));
  answer(g, {"20", "C"});
  grcmap(g, c);
  EXPECT_EQ(c, 101);  // cancelled
  grcmap(g, c);       // no window, nothing queued: unchanged
  EXPECT_EQ(c, 101);
}

// The palette in a window on a virtual X server, opened from a form's
// "Color" field.
TEST_F(GrBitmap_, PaletteOpenedFromAForm) {
  grtest::VirtualX x;
  if (!x.ok()) GTEST_SKIP() << "no virtual X server";
  auto g = std::make_unique<Graphics>();
  std::ostringstream os;
  g->out = &os;
  grinit(*g, 5, 9, "qftest", "", 0);
  ASSERT_EQ(g->n.IMODGR, kModeScreen);
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr);
  auto click = [&](int px, int py) {
    XEvent e{};
    e.xbutton.type = ButtonPress;
    e.xbutton.display = d;
    e.xbutton.window = g->x.window;
    e.xbutton.root = DefaultRootWindow(d);
    e.xbutton.x = px;
    e.xbutton.y = py;
    e.xbutton.button = 1;
    e.xbutton.same_screen = 1;
    XSendEvent(d, g->x.window, 0, ButtonPressMask, &e);
    XSync(d, 0);
  };
  click(190, 38);   // the Color field of the form
  click(48, 118);   // swatch of entry 101
  click(48, 38);    // grey entry 0
  click(80, 46);    // entry 23
  click(158, 220);  // the palette's Done
  click(78, 76);    // the form's Done (two rows of 16 pixels from y = 30)
  const std::string labels[2] = {"Color", "Name"};
  std::string values[2] = {grfix("  5", 4), grfix("ab", 8)};
  grinfo(*g, 2, labels, values);
  EXPECT_EQ(values[0], grfix("23", 4));
  EXPECT_EQ(values[1], grfix("ab", 8));
  click(48, 118);  // entry 101, then Cancel
  click(78, 220);
  int c = 4;
  grcmap(*g, c);
  EXPECT_EQ(c, 4);
  XCloseDisplay(d);
  g.reset();
}

}  // namespace
}  // namespace qf
