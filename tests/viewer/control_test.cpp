// The viewer's loop driven by the script queue with a recording plot
// routine, and by clicks and keys in the window of a virtual X server.
#include "viewer/control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <sstream>

#include "graphics/dialog.h"
#include "io/textio.h"
#include "tests/graphics/gr_test_util.h"
#include "tests/viewer/viewer_test_util.h"
#include "viewer/viewer.h"

// Xlib last: its macros clash with names of the test framework.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#undef None
#undef Bool
#undef Status

namespace qf {
namespace {

using grtest::answer;
using grtest::run;
using grtest::slurp;

// A plot of the extent 0..100 x 0..50 with two entries of its own; it draws
// one line unless told not to, and records the modes it is called with.
struct Recorder {
  Recorder(Graphics& gr, Viewer& vw) : g(gr), v(vw) {}
  Graphics& g;
  Viewer& v;
  std::vector<int> modes;
  PlotScale value_at{};
  bool draws = true;
  PlotRoutine routine() {
    return [this](int m, PlotScale& s) {
      modes.push_back(m);
      if (m == 0) {
        s = {0, 100, 0, 50};
        v.menu.push_back(pad(" AAlpha", 16));
        v.menu.push_back(pad(" BBeta", 16));
      } else if (m == 1 && draws) {
        grmov2(g, 10, 10);
        grdrw2(g, 90, 40);
      } else if (m == 2) {
        value_at = s;
      }
    };
  }
};

class ControlScript : public grtest::ViewerScript {
 protected:
  void SetUp() override { ViewerScript::SetUp(); }
  void loop(const std::vector<std::string>& cmds, int option = 0) {
    answer(g, cmds);
    grctrl(g, v, rec.routine(), option, texts);
  }
  bool said(const std::string& m) {
    for (const std::string& h : g.msg.history)
      if (trim_right(h) == m) return true;
    return false;
  }
  Recorder rec{g, v};
  std::string texts;
};

TEST_F(ControlScript, PlotEntriesArriveAsNegativeModes) {
  loop({"B", "A", "X"});
  std::vector<int> entries;
  for (int m : rec.modes)
    if (m < 0) entries.push_back(m);
  EXPECT_EQ(entries, (std::vector<int>{-2, -1}));
  EXPECT_EQ((std::vector<int>(rec.modes.begin(), rec.modes.begin() + 3)),
            (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(v.menu.size(), 13u);
  EXPECT_EQ(trim_right(texts.substr(0, 80)), "Title");
}

TEST_F(ControlScript, NonInteractiveReturnsAfterDrawing) {
  g.n.IN15GR = 1;
  loop({"B", "X"});
  EXPECT_EQ(rec.modes, (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(g.n.NSCRGR - g.n.SCTKGR, 2);
}

TEST_F(ControlScript, VectorPlotInTheLoop) {
  const float x[4] = {0, 10, 0, 10}, y[4] = {0, 0, 10, 10}, u[4] = {1, 1, 1, 1}, w[4] = {};
  g.n.IKEYGR = 2;
  answer(g, {"S 2 5", "X"});
  grvect(g, v, x, y, u, w, 2, 2, 2, 2, 0, texts);
  EXPECT_EQ(g.n.IKEYGR, 2);
  EXPECT_EQ(v.menu.size(), 17u);
  ASSERT_EQ(v.vector.starts.size(), 1u);
  EXPECT_EQ(v.vector.starts[0], (std::pair<float, float>{2, 5}));
}

TEST_F(ControlScript, OptionWordSetsSwitches) {
  Grcomn& n = g.n;
  int* sw[15] = {&n.IN01GR, &n.IN02GR, &n.IN03GR, &n.IN04GR, &n.IN05GR,
                 &n.IN06GR, &n.IN07GR, &n.IN08GR, &n.IN09GR, &n.IN10GR,
                 &n.IN11GR, &n.IN12GR, &n.IN13GR, &n.IN14GR, &n.IN15GR};
  struct Case {
    int option;
    const char* want;  // IN01GR .. IN15GR after the call, from all off
  } cases[] = {{8191, "111111011111100"},
               {0, "000000000000000"},
               {64, "000000000000000"},
               {8192 + 5, "101000000000000"}};
  for (const Case& c : cases) {
    for (int* s : sw) *s = 0;
    loop({"X"}, c.option);
    std::string got;
    for (int* s : sw) got += static_cast<char>('0' + *s);
    EXPECT_EQ(got, c.want) << c.option;
  }
}

TEST_F(ControlScript, ZoomAboutAPoint) {
  struct Case {
    float x, y;
    int mode;
    PlotScale want;
  } cases[] = {
      {50, 25, 2, {0, 100, 0, 50}},  // centred, same size
      {0, 0, 4, {-17.75f, 53.25f, -8.875f, 26.625f}},
      {50, 25, -5, {50 - 50 / 0.71f, 50 + 50 / 0.71f, 25 - 25 / 0.71f, 25 + 25 / 0.71f}},
  };
  for (const Case& c : cases) {
    grsset(g, 0, 100, 0, 50);
    grzoom(g, c.x, c.y, c.mode);
    const PlotScale got{g.n.XMINGR, g.n.XMAXGR, g.n.YMINGR, g.n.YMAXGR};
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(got[k], c.want[k], 1e-3) << c.mode;
  }
}

TEST_F(ControlScript, QueryFormReadsBackInOrder) {
  struct Case {
    std::vector<std::string> cmds;
    float* member;
    float want;
  } cases[] = {
      {{"Q", "8 0.05", "D", "X"}, &g.n.SYMFGR, 0.1f},
      {{"Q", "9 2", "D", "X"}, &g.n.XSCLGR, 0.7865f * 2},
      {{"Q", "5 0", "8 3", "D", "X"}, &g.n.SYMFGR, 0.5f},  // stops at X-Units
  };
  for (Case& c : cases) {
    g.n.SYMFGR = 0.5f, g.n.SCALGR = 1, g.n.XSCLGR = 0.7865f;
    loop(c.cmds);
    EXPECT_FLOAT_EQ(*c.member, c.want) << c.cmds[1];
  }
  EXPECT_TRUE(said("X-Units not read: 0"));
  EXPECT_EQ(g.n.NXINGR, 24);
}

// The settings file's window is that of the file it names: any other file,
// or a window beside this file's extent, starts on the whole extent.
TEST_F(ControlScript, SettingsWindowOnlyForItsOwnFile) {
  struct Case {
    const char* saved;
    const char* shown;
    float x0;  // saved window x0 .. x0 + 10
    bool kept;
  } cases[] = {{"a.res", "a.res", 10, true},
               {"a.res", "b.res", 10, false},
               {"", "b.res", 10, false},
               {"a.res", "a.res", 500, false},
               {"a.res", "", 10, true}};  // a plot of no file: as before
  for (const Case& c : cases) {
    Viewer fresh;
    fresh.control.file = c.shown;
    g.t.FILNGR = grfix(c.saved, 80);
    grsset(g, c.x0, c.x0 + 10, 10, 15);
    g.n.INDSGR = 0;
    answer(g, {"X"});
    grctrl(g, fresh, rec.routine(), 0, texts);
    const std::string what = std::string(c.saved) + " shown as " + c.shown;
    EXPECT_EQ(g.n.XMINGR == c.x0, c.kept) << what;
    if (!c.kept) {
      EXPECT_TRUE(g.n.XMINGR <= 0 && g.n.XMAXGR >= 100 && g.n.YMAXGR >= 50) << what;
    }
    EXPECT_NE(slurp(".grset").find("'" + std::string(c.shown)), std::string::npos) << what;
  }
}

TEST_F(ControlScript, ValueWrittenWithWorldCoordinates) {
  g.n.XORGR = 1000;
  loop({"V 12.5 30", "X"});
  EXPECT_FLOAT_EQ(rec.value_at[0], 12.5f);
  EXPECT_FLOAT_EQ(rec.value_at[1], 30.0f);
  EXPECT_NE(os.str().find("    1012.500      30.000 /xy\n"), std::string::npos);
}

TEST_F(ControlScript, HardcopiesReadByOtherTools) {
  loop({"H", "D", "plan", "S", "1 roads", "2 level", "3 2", "D", "X", "X"});
  const std::string py = grtest::ezdxf_python();
  if (!py.empty()) {
    EXPECT_EQ(run(py + " -c \"import ezdxf; m = ezdxf.readfile('plan.dxf').modelspace(); "
                       "print([tuple(e.dxf.start)[:2] for e in m.query('LINE')])\""),
              "[(10.0, 10.0)]\n");
  }
  const std::string info = run("ogrinfo -al -so roads.shp");
  EXPECT_NE(info.find("Geometry: Line String"), std::string::npos) << info;
  EXPECT_NE(info.find("Feature Count: 1"), std::string::npos) << info;
  EXPECT_TRUE(said("DXF File done") && said("Shapefile done"));
}

TEST_F(ControlScript, KeepSavedThenReplayed) {
  loop({"K", "S", "base", "D", "X"});
  EXPECT_NE(slurp("base.kep").find("DRW2"), std::string::npos);
  // Chosen for the foreground; the plot itself now draws nothing.
  rec.draws = false;
  loop({"K", "", "1 +", "D", "D", "H", "D", "again", "X", "X"});
  ASSERT_EQ(g.keep.names.size(), 1u);
  const std::string py = grtest::ezdxf_python();
  if (py.empty()) GTEST_SKIP() << "no ezdxf";
  EXPECT_EQ(run(py + " -c \"import ezdxf; m = ezdxf.readfile('again.dxf').modelspace(); "
                     "print(len(m.query('LINE')))\""),
            "1\n");
}

TEST_F(ControlScript, SettingsWrittenOnExitUnlessSmall) {
  for (int small : {1, 0}) {
    grinit(g, 5, 6, "qftest", "", small);
    loop({"X"});
    EXPECT_EQ(slurp(".grset").rfind("/graphic attributes\n", 0) == 0, small == 0) << small;
  }
}

// Screen-shot programs: a stand-in "import" on PATH records its arguments.
TEST_F(ControlScript, ScreenShotRunsImportWithoutShell) {
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  struct Case {
    const char* body;  // of the stand-in, empty: none on PATH
    const char* message;
  } cases[] = {
      {"echo \"$@\" > args.txt", "screen shot to gr0000.tif"},
      {"exit 1", "screen shot to gr0000.tif failed: import ended with status 1"},
      {"", "screen shot to gr0000.tif failed: import not found"},
  };
  v.control.frame = v.control.crop = true;
  for (const Case& c : cases) {
    run("mkdir -p bin && rm -f bin/import");
    if (*c.body) grtest::spit("bin/import", std::string("#!/bin/sh\n") + c.body + "\n");
    run("chmod +x bin/import");
    setenv("PATH", *c.body ? ("bin:" + path).c_str() : "bin", 1);
    loop({"H", "T", "X", "X"});
    setenv("PATH", path.c_str(), 1);
    EXPECT_TRUE(said(c.message)) << c.message;
  }
  // Window 1120 x 786 pixels: the crop leaves out 100 pixels on the right.
  EXPECT_EQ(slurp("args.txt"), "-window qftest -frame -crop 1020x0786+0+0 gr0000.tif\n");
  std::string why;
  EXPECT_FALSE(grspawn({"sleep", "30"}, why, 1));
  EXPECT_EQ(why, "sleep did not finish within 1 s");
}

// ---------------------------------------------------------------- window

class ControlX : public grtest::WindowTest<ControlX> {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (!ready()) return;
    sender_ = std::make_unique<grtest::EventSender>();
    ASSERT_TRUE(sender_->ok());
    rec_ = std::make_unique<Recorder>(*g_, v_);
  }
  void TearDown() override {
    sender_.reset();
    rec_.reset();
    WindowTest::TearDown();
  }
  // Runs the loop on the extent 0..100 x 0..50 with the events `send`
  // waiting, then leaves by the key x.
  void loop(const std::function<void()>& send, int derived = 0) {
    Graphics& g = *g_;
    g.n.INDSGR = derived;
    grsset(g, 0, 100, 0, 50);
    send();
    sender_->key(g.x.window, 'x');
    std::string texts;
    grctrl(g, v_, rec_->routine(), 0, texts);
  }
  // Window pixel of a user coordinate in the extent 0..100 x 0..50.
  int px(float x) {
    grsset(*g_, 0, 100, 0, 50);
    grsfac(*g_);
    return static_cast<int>((x - g_->n.XMINGR) * g_->n.XFACGR + g_->n.XORGGR);
  }
  int py(float y) { return static_cast<int>((y - g_->n.YMINGR) * g_->n.YFACGR + g_->n.YORGGR); }
  std::unique_ptr<grtest::EventSender> sender_;
  Viewer v_;
  std::unique_ptr<Recorder> rec_;
};

TEST_F(ControlX, ClicksWheelArrowsAndAxisForm) {
  Graphics& g = *g_;
  const Window w = g.x.window;
  const int cx = px(50), cy = py(25), below = py(0) + 10, left = px(10);
  struct Case {
    const char* what;
    std::function<void()> send;
    float x0, x1;
    int derived = 0;  // the window first derived from the data (-2..102)
  } cases[] = {
      {"click zooms in", [&] { sender_->click(w, cx, cy); }, 14.5f, 85.5f},
      {"wheel zooms out", [&] { sender_->click(w, cx, cy, 5); }, 50 - 50 / 0.71f, 50 + 50 / 0.71f},
      {"arrow pans", [&] { sender_->key(w, XK_Right); }, 33.33f, 133.33f},
      {"arrow pans a derived window", [&] { sender_->key(w, XK_Right); }, 32.67f, 136.67f, 1},
      {"XMAX below XMIN",
       [&] {
         sender_->click(w, left, below);
         sender_->key(w, '2');
         for (int i = 0; i < 12; ++i) sender_->key(w, XK_BackSpace);
         sender_->key(w, XK_minus);
         sender_->type(w, "5");
         sender_->key(w, '9');
       },
       0, 0.001f},
  };
  for (const Case& c : cases) {
    loop(c.send, c.derived);
    EXPECT_NEAR(g.n.XMINGR, c.x0, 0.5) << c.what;
    EXPECT_NEAR(g.n.XMAXGR, c.x1, 0.5) << c.what;
    EXPECT_NEAR(g.n.XMAXGR - g.n.XMINGR, c.x1 - c.x0, 1e-2) << c.what;
  }
}

// A click on the colour key asks the plot for the key settings.
TEST_F(ControlX, ClickOnTheKeyOpensItsSettings) {
  Graphics& g = *g_;
  g.n.IKEYGR = 1;
  px(0);  // the scales of the window
  int kx = -1, ky = -1;
  for (int y = 0; y < g.x.height && kx < 0; ++y)
    for (int x = 0; x < g.x.width && kx < 0; ++x)
      if (grkeyat(g, grpuser_x(g, x), grpuser_y(g, y))) kx = x + 5, ky = y + 4;
  ASSERT_GE(kx, 0);
  EXPECT_LT(ky, py(50));  // above the plot, where the title form was
  loop([&] { sender_->click(g.x.window, kx, ky); });
  EXPECT_EQ(std::count(rec_->modes.begin(), rec_->modes.end(), kKeySettings), 1);
}

// A resized window shows the whole picture anew at once.
TEST_F(ControlX, ResizeRedrawsThePicture) {
  Graphics& g = *g_;
  loop([&] {
    XResizeWindow(sender_->display(), g.x.window, 900, 700);
    XSync(sender_->display(), 0);
  });
  // Set-up, picture and key, the menu's key; then the loop's whole redraw
  // (shown at once) and the menu again.
  EXPECT_EQ(rec_->modes, (std::vector<int>{0, 1, 3, 3, 1, 3, 3}));
  EXPECT_EQ(g.n.WNDWGR[2], 900);
}

TEST_F(ControlX, NewAxisIntervalsResizeTheWindow) {
  answer(*g_, {"Q", "5 10", "D", "R", "X"});
  std::string texts;
  grctrl(*g_, v_, rec_->routine(), 0, texts);
  EXPECT_EQ(g_->x.width, 570);  // (10 + 4.5) x 50 x 0.7865 pixels
}

// Scale factor 3 asks for a window of 3362 x 2359 pixels on the 1600 x 1200
// screen: it opens at the largest scale that fits, and says so in .grset.
TEST_F(ControlX, WindowNoLargerThanTheScreen) {
  g_->n.SCALGR = 3;
  grwset(*g_);
  Graphics big;
  big.out = &os_;
  grinit(big, 5, 9, "qftest", "", 0);
  EXPECT_LE(big.x.width, 1580);
  EXPECT_LE(big.x.height, 1140);
  EXPECT_GE(big.x.width, 1500);  // as large as the screen allows
  EXPECT_NEAR(big.n.XSCLGR / big.n.SCALGR, 0.7865f, 1e-4);
  grwset(big);
  Graphics again;
  again.out = &os_;
  grinit(again, 5, 9, "qftest", "", 0);
  EXPECT_NEAR(again.n.SCALGR, big.n.SCALGR, 0.01);
}

TEST_F(ControlX, TwoScreenShotsInARow) {
  if (!grtest::have_tool("import") || !grtest::have_tool("identify"))
    GTEST_SKIP() << "no ImageMagick";
  answer(*g_, {"H", "P", "P", "X", "X"});
  std::string texts;
  grctrl(*g_, v_, rec_->routine(), 0, texts);
  for (const char* f : {"gr0000.png", "gr0001.png"})
    EXPECT_NE(run(std::string("identify ") + f).find(std::string(f) + " PNG"), std::string::npos)
        << f;
}

}  // namespace
}  // namespace qf
