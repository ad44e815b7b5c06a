// The dialogs: answers from the script queue, and the drawn dialogs driven
// by key presses and pointer clicks sent to the window of a virtual X server.
#include "graphics/dialog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <sstream>
#include <vector>

#include "graphics/bitmap.h"
#include "graphics/graphics.h"
#include "io/stop.h"
#include "io/textio.h"
#include "tests/graphics/gr_test_util.h"

// Xlib last: its macros clash with names of the test framework.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#undef None
#undef Bool
#undef Status

namespace qf {
namespace {

using grtest::answer;

// ---------------------------------------------------------------- no window

class GrDialogScript : public grtest::ScratchDir {};

TEST_F(GrDialogScript, QueuedAnswersAreTakenInOrder) {
  Graphics g;
  std::ostringstream os;
  g.out = &os;
  grinit(g, 5, 6, "qftest", "", 0);
  const std::string labels[3] = {" ZZoom", "-XeXit", "<PPick"};
  answer(g, {"z 10 20", "plan b", "2.5", "x", "P 1.5,-3", "q"});
  int a = 0;
  float x = 0, y = 0;
  grcurs(g, 3, labels, a, x, y);
  EXPECT_EQ(a, 1);
  EXPECT_FLOAT_EQ(x, 10);
  EXPECT_FLOAT_EQ(y, 20);
  EXPECT_FLOAT_EQ(g.n.XCRSGR, 10);
  EXPECT_FLOAT_EQ(g.n.YCRSGR, 20);
  std::string text(40, ' ');
  grinpa(g, "Name", text);
  EXPECT_EQ(text, grfix("plan b", 40));
  float v = 7;
  grinpf(g, "Value", v);
  EXPECT_FLOAT_EQ(v, 2.5f);
  // A dimmed button is never chosen by its key.
  grcurs(g, 3, labels, a, x, y);
  EXPECT_EQ(a, 0);
  // A "<" button takes the position of the command.
  grcurs(g, 3, labels, a, x, y);
  EXPECT_EQ(a, 3);
  EXPECT_FLOAT_EQ(x, 1.5f);
  EXPECT_FLOAT_EQ(y, -3);
  // No key matches: 0, the position stays.
  grcurs(g, 3, labels, a, x, y);
  EXPECT_EQ(a, 0);
  EXPECT_FLOAT_EQ(x, 1.5f);
  // Without a window nothing is awaited.
  a = 0;
  grcurs(g, 3, labels, a, x, y);
  EXPECT_EQ(a, 0);
  int hit = 1;
  grbutn(g, 1, 0, 0, 50, 17, " AAll", 5, 5, hit);
  EXPECT_EQ(hit, 0);  // not a screen mode
  // A field set by the script.
  std::string box = "_ ";
  answer(g, {"1"});
  grgstr(g, 0, 0, "Tick", box, hit);
  EXPECT_EQ(box, "+ ");
  EXPECT_EQ(hit, 1);
}

TEST_F(GrDialogScript, TextPageSavedByScript) {
  Graphics g;
  grinit(g, 5, 6, "qftest", "", 0);
  const std::string lines[3] = {"first line   ", "  second", "   "};
  answer(g, {"page.txt"});
  grtext(g, lines, 3);
  const std::string want = "first line\n  second\n\n/created " + g.t.DATEGR + " by qftest\n\n";
  EXPECT_EQ(grtest::slurp("page.txt"), want);
  ASSERT_FALSE(g.msg.lines.empty());
  EXPECT_EQ(g.msg.lines[0], grfix("data stored on file", 100));
  // n = 0 only sets the name of a later save.
  const std::string name[1] = {"later.txt"};
  grtext(g, name, 0);
  EXPECT_EQ(g.msg.save_name, grfix("later.txt", 32));
}

TEST_F(GrDialogScript, MessageCounter) {
  Graphics g;
  std::ostringstream os;
  g.out = &os;
  grinit(g, 5, 6, "qftest", "", 0);
  const std::string stars(47, '*');
  EXPECT_EQ(igrerr(g, 1, "low bed", 6), 1);
  EXPECT_EQ(os.str(), "\n" + stars + "\n**warning: low bed\n" + stars + "\n\n");
  EXPECT_EQ(igrerr(g, 2, "bad value", 6), 1);
  EXPECT_NE(os.str().find("**error: bad value\n"), std::string::npos);
  EXPECT_EQ(igrerr(g, 0, "", 6), 0);
  ASSERT_FALSE(g.msg.lines.empty());
  EXPECT_EQ(g.msg.lines[0], grfix(" >>errors/ 1/  >>warnings/ 1/", 100));
  // Counters start afresh; the eleventh error stops.
  for (int i = 1; i <= 10; ++i) EXPECT_EQ(igrerr(g, 2, "e", 6), i);
  try {
    igrerr(g, 2, "e", 6);
    FAIL();
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 0);
  }
  EXPECT_NE(os.str().find(" >>program aborted after 10 errors\n"), std::string::npos);
  try {
    igrerr(g, 3, "end", 6);
    FAIL();
  } catch (const Stop& s) {
    EXPECT_EQ(s.status(), 0);
  }
  EXPECT_NE(os.str().find("**fatal error: end\n" + stars + "\n\n ***fatal error detected\n"),
            std::string::npos);
}

// ---------------------------------------------------------------- window

class GrDialogX : public grtest::WindowTest<GrDialogX> {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (!ready()) return;
    Grcomn& n = g_->n;
    n.XMINGR = n.YMINGR = 0;
    n.XMAXGR = 100;
    n.YMAXGR = 75;
    grsfac(*g_);
    sender_ = std::make_unique<grtest::EventSender>();
    ASSERT_TRUE(sender_->ok());
  }
  void TearDown() override {
    sender_.reset();
    WindowTest::TearDown();
  }
  // A pointer button pressed at window pixel (x, y); it reaches the dialog
  // in the order sent.
  void click(int x, int y, unsigned button = 1) { sender_->click(g_->x.window, x, y, button); }
  void key(KeySym sym) { sender_->key(g_->x.window, sym); }
  void type(const std::string& s) { sender_->type(g_->x.window, s); }
  // Centre of button j (from 1) of a row of n buttons.
  void row_button(int n, int j, int& x, int& y) {
    const Graphics& g = *g_;
    const float w = std::min(76.5f, static_cast<float>(g.x.width - n) / static_cast<float>(n + 1));
    x = static_cast<int>(2 + (j - 1) * (w + 2) + w / 2);
    y = static_cast<int>(std::min(g.n.YORGGR + 6.0f, static_cast<float>(g.x.height - 19)) + 8);
  }
  unsigned long window_pixel(int x, int y) {
    Graphics& g = *g_;
    XSync(g.x.display, 0);
    XImage* im = XGetImage(g.x.display, g.x.window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!im) return 0xDEAD;
    const unsigned long p = XGetPixel(im, 0, 0);
    XDestroyImage(im);
    return p;
  }
  std::unique_ptr<grtest::EventSender> sender_;
};

TEST_F(GrDialogX, ButtonBarAnswersClicksAndKeys) {
  Graphics& g = *g_;
  const std::string labels[4] = {" ZZoom", "-XeXit", "<PPick", " CClose"};
  int bx[5], by[5];
  for (int j = 1; j <= 4; ++j) row_button(4, j, bx[j], by[j]);
  int a = 0;
  float x = 0, y = 0;
  struct Case {
    const char* what;
    std::function<void()> send;
    int want;
  };
  const Case cases[] = {
      {"click on a button", [&] { click(bx[1], by[1]); }, 1},
      {"dimmed button and its key ignored", [&] { click(bx[2], by[2]), key('x'); }, 0},
      {"key letter raised to upper case", [&] { key('c'); }, 4},
      {"\"<\" button waits for a click", [&] { click(bx[3], by[3]), click(300, 200); }, 3},
      {"\"<\" key waits for a click", [&] { key('p'), key(XK_Shift_L), click(300, 200); }, 3},
      {"right pointer button", [&] { click(500, 100, 3); }, -3},
      {"wheel", [&] { click(500, 100, 5); }, -5},
      {"click outside", [&] { click(300, 200); }, 0},
      {"arrow key while waiting", [&] { key(XK_Left); }, 0},
  };
  for (const Case& c : cases) {
    c.send();
    a = -1;
    grcurs(g, 4, labels, a, x, y);
    EXPECT_EQ(a, c.want) << c.what;
  }
  EXPECT_EQ(g.msg.held, 4);
  EXPECT_FLOAT_EQ(g.n.XMINGR, 0);  // the arrow key did not pan
  // The click after "<" is the cursor position in user coordinates.
  click(bx[3], by[3]);
  click(300, 200);
  a = -1;
  grcurs(g, 4, labels, a, x, y);
  EXPECT_EQ(a, 3);
  EXPECT_NEAR(x, (300 - g.n.XORGGR) / g.n.XFACGR, 1e-3);
  EXPECT_NEAR(y, (200 - g.n.YORGGR) / g.n.YFACGR, 1e-3);
  EXPECT_FLOAT_EQ(g.n.XCRSGR, x);
  // Poll mode: nothing pending answers 0 at once; an arrow key pans.
  a = 100;
  grcurs(g, 4, labels, a, x, y);
  EXPECT_EQ(a, 0);
  key(XK_Left);
  a = 100;
  grcurs(g, 4, labels, a, x, y);
  EXPECT_EQ(a, -1);
  EXPECT_NEAR(g.n.XMINGR, -33.33f, 1e-3);
  EXPECT_NEAR(g.n.XMAXGR, 66.67f, 1e-3);
  key(XK_Up);
  a = 100;
  grcurs(g, 4, labels, a, x, y);
  EXPECT_EQ(a, -3);
  EXPECT_NEAR(g.n.YMINGR, 24.9975f, 1e-3);
  // The script queue comes before the window.
  answer(g, {"Z"});
  click(bx[4], by[4]);
  a = -1;
  grcurs(g, 4, labels, a, x, y);
  EXPECT_EQ(a, 1);
  a = -1;
  grcurs(g, 4, labels, a, x, y);
  EXPECT_EQ(a, 4);
}

// The pointer's readout follows it in the first message line, the last
// position of a burst only; a message takes its place.
TEST_F(GrDialogX, MenuShowsThePointerReadout) {
  Graphics& g = *g_;
  const std::string labels[2] = {" ZZoom", " XeXit"};
  grmesg(g, "earlier");
  std::vector<std::pair<float, float>> asked;
  const GrReadout readout = [&](float x, float y) {
    asked.emplace_back(x, y);
    return "at " + fmt_f(x, 6, 1) + fmt_f(y, 6, 1);
  };
  sender_->motion(g.x.window, 300, 200);
  sender_->motion(g.x.window, 310, 210);
  key('x');
  int a = -1;
  float x = 0, y = 0;
  grcurs(g, 2, labels, a, x, y, readout);
  EXPECT_EQ(a, 2);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_NEAR(asked[0].first, (310 - g.n.XORGGR) / g.n.XFACGR, 1e-3);
  EXPECT_NEAR(asked[0].second, (210 - g.n.YORGGR) / g.n.YFACGR, 1e-3);
  ASSERT_EQ(g.msg.lines.size(), 2u);
  EXPECT_EQ(trim_right(g.msg.lines[0]), readout(asked[0].first, asked[0].second));
  EXPECT_EQ(trim_right(g.msg.lines[1]), "earlier");
  EXPECT_EQ(g.msg.history.size(), 1u);
  grmesg(g, "later");
  ASSERT_EQ(g.msg.lines.size(), 2u);
  EXPECT_EQ(trim_right(g.msg.lines[0]), "later");
  EXPECT_EQ(trim_right(g.msg.lines[1]), "earlier");
}

TEST_F(GrDialogX, ResizeFollowedWhileWaiting) {
  Graphics& g = *g_;
  const std::string labels[2] = {" ZZoom", " XeXit"};
  // A zoomed window with dependent scales.
  g.n.XMINGR = g.n.YMINGR = 0;
  g.n.XMAXGR = g.n.YMAXGR = 100;
  g.n.INDSGR = 0;
  g.n.IN02GR = 1;
  XResizeWindow(sender_->display(), g.x.window, 800, 600);
  XSync(sender_->display(), 0);
  click(300, 200);
  int a = -1;
  float x = 0, y = 0;
  grcurs(g, 2, labels, a, x, y);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(g.n.WNDWGR[2], 800);
  EXPECT_EQ(g.n.WNDWGR[3], 600);
  EXPECT_FLOAT_EQ(g.n.YORGGR, 575);
  EXPECT_EQ(g.n.NXINGR, 15);  // 800 / (50 * 0.7865) - 4.5 = 15.8
  EXPECT_EQ(g.n.NYINGR, 13);  // 600 / (50 * 0.7865) - 2 = 13.3
  // The scales stay equal: x widens about its centre, y keeps 0..100.
  EXPECT_NEAR(std::fabs(g.n.XFACGR), std::fabs(g.n.YFACGR), 1e-4f);
  EXPECT_NEAR(g.n.XMINGR + g.n.XMAXGR, 100, 1e-3f);
  EXPECT_NEAR(g.n.XMAXGR - g.n.XMINGR, 100 * 15.0f / 13.0f, 1e-2f);
  EXPECT_EQ(g.n.YMINGR, 0);
  EXPECT_EQ(g.n.YMAXGR, 100);
}

TEST_F(GrDialogX, ButtonHitTest) {
  Graphics& g = *g_;
  int hit = 0;
  grbutn(g, 1, 100, 100, 76, 17, " AAll", 120, 108, hit);
  EXPECT_EQ(hit, 1);
  grbutn(g, 1, 100, 100, 76, 17, " AAll", 190, 108, hit);
  EXPECT_EQ(hit, 0);
  grbutn(g, 1, 100, 100, 76, 17, "  ", 120, 108, hit);  // no button
  EXPECT_EQ(hit, 0);
  grbutn(g, 0, 100, 100, 76, 17, " AAll", 120, 108, hit);  // draw only
  EXPECT_EQ(hit, 0);
  grflip(g);
  EXPECT_EQ(window_pixel(110, 108), static_cast<unsigned>(g.n.PIXTAB[grcent(g, -3)]));
  // Fill colours of the leaving and the running buttons; a clean-up entry each.
  const std::size_t before = g.clean.size();
  grbutn(g, 0, 200, 100, 76, 17, " XeXit", 0, 0, hit);
  grbutn(g, 0, 300, 100, 76, 17, " CCompute", 0, 0, hit);
  grbutn(g, 0, 300, 100, 76, 17, " CCompute", 0, 0, hit);
  grflip(g);
  EXPECT_EQ(window_pixel(210, 108), static_cast<unsigned>(g.n.PIXTAB[grcent(g, 31)]));
  EXPECT_EQ(window_pixel(310, 108), static_cast<unsigned>(g.n.PIXTAB[grcent(g, 21)]));
  EXPECT_EQ(g.clean.size(), before + 2);
}

TEST_F(GrDialogX, MessageBoxDrawnAndCleared) {
  Graphics& g = *g_;
  grmesg(g, "hello");
  EXPECT_EQ(window_pixel(40, 1), static_cast<unsigned>(g.n.PIXTAB[grcent(g, -5)]));
  EXPECT_EQ(window_pixel(0, 5), static_cast<unsigned>(g.n.PIXTAB[grcent(g, -3)]));
  grmesg(g, " ");
  EXPECT_EQ(window_pixel(40, 1), g.x.bgcolor);
}

TEST_F(GrDialogX, FormEditedDoneAndCancelled) {
  Graphics& g = *g_;
  const std::string labels[4] = {"Name", "#hidden", "Lines", "Shape_type"};
  const auto fresh = [] {
    return std::vector<std::string>{grfix("abc", 20), grfix("h", 20), grfix("_ ", 20),
                                    grfix("|1|Point|Arc|Polygon", 24)};
  };
  // Rows of the drawn form: 16 pixels from y = 30, the buttons below.
  const int x0 = 40, y0 = 30, by = y0 + 3 * 16 + 6 + 8;
  const auto row = [&](int r) { return y0 + (r - 1) * 16 + 8; };
  std::vector<std::string> v = fresh();
  click(x0 + 150, row(2));  // tick the box
  click(x0 + 150, row(3));  // Arc
  click(x0 + 150, row(3));  // Polygon
  click(x0 + 150, row(3));  // back to Point
  click(x0 + 150, row(3));  // Arc
  key('1');                 // edit the name
  key(XK_BackSpace);
  type("x.d");
  click(x0 + 40, by);  // Done
  grinfo(g, 4, labels, v.data());
  EXPECT_EQ(v[0], grfix("abx.d", 20));
  EXPECT_EQ(v[1], grfix("h", 20));
  EXPECT_EQ(v[2], grfix("+ ", 20));
  EXPECT_EQ(v[3], grfix("|2|Point|Arc|Polygon", 24));
  EXPECT_EQ(g.msg.choices, 3);
  // Cancelled: the first value says so.
  v = fresh();
  key('b');  // the box by its letter
  click(x0 + 84 + 40, by);
  grinfo(g, 4, labels, v.data());
  EXPECT_EQ(v[0], grfix("cancel", 20));
  EXPECT_EQ(v[2], grfix("+ ", 20));
  // A key beyond the fields ends the form as "Done".
  v = fresh();
  key('9');
  grinfo(g, 4, labels, v.data());
  EXPECT_EQ(v[0], grfix("abc", 20));
}

// Labels of up to 19 characters show whole: the tail of "Plotting
// frequence" stands where the value box of a 14-character label began.
TEST_F(GrDialogX, LongFieldLabelsShowWhole) {
  Graphics& g = *g_;
  // The field where a form puts its first one (a form puts back the
  // picture under it when it closes; a field stays).
  std::string v = grfix("", 10);
  int hit = 0;
  click(600, 500);  // ends the field once drawn
  grgstr(g, 40, 30, "Plotting frequence", v, hit);
  const unsigned long black = static_cast<unsigned>(g.n.PIXTAB[grcent(g, 0)]);
  int ink = 0;
  for (int y = 30 + 2; y < 30 + 14; ++y)
    for (int x = 40 + 92; x < 40 + 112; ++x) ink += window_pixel(x, y) == black;
  EXPECT_GT(ink, 10);
}

TEST_F(GrDialogX, PromptsTakeTypedText) {
  Graphics& g = *g_;
  std::string a(20, ' ');
  type("plan c");
  grinpa(g, "File prefix", a);
  EXPECT_EQ(a, grfix("plan c", 20));
  float v = 1.5f;
  key(XK_BackSpace);
  key(XK_BackSpace);
  key(XK_BackSpace);
  type("-2.25");
  grinpf(g, "Factor", v);
  EXPECT_FLOAT_EQ(v, -2.25f);
  // A field placed near the cursor and edited by typing.
  std::string f = grfix("ab", 10);
  int hit = 0;
  key('c');
  key(XK_Return);
  grgstr(g, -1, 0, "Label", f, hit);
  EXPECT_EQ(hit, 1);
  EXPECT_EQ(f, grfix("abc", 10));
}

TEST_F(GrDialogX, TextPageSavedAppendedAndDone) {
  Graphics& g = *g_;
  const std::string lines[2] = {"alpha  ", "beta"};
  const std::string tail = "/created " + g.t.DATEGR + " by qftest\n\n";
  key('a');
  key('f');
  type("p.txt");
  key('a');
  key('a');  // Append to the same file
  key('d');
  grtext(g, lines, 2);
  EXPECT_EQ(grtest::slurp("p.txt"), "alpha\nbeta\n" + tail + "alpha\nbeta\n" + tail);
  key('a');
  key('x');  // eXit: nothing saved
  key('a');
  key('o');  // Overwrite
  key('d');
  grtext(g, lines, 2);
  EXPECT_EQ(grtest::slurp("p.txt"), "alpha\nbeta\n" + tail);
}

TEST_F(GrDialogX, MenuArrowKeysRedrawThePicture) {
  Graphics& g = *g_;
  const std::string labels[2] = {" ZZoom", " XeXit"};
  std::vector<int> requests;
  const std::function<void(int)> plot = [&](int r) { requests.push_back(r); };
  key(XK_Right);
  int a = -1;
  float x = 0, y = 0;
  grcurs1(g, 2, labels, a, x, y, plot);
  EXPECT_EQ(a, -9);
  EXPECT_EQ(requests, (std::vector<int>{3, 1, 3}));
  EXPECT_NEAR(g.n.XMINGR, 33.33f, 1e-3);
  key('x');
  requests.clear();
  grcurs1(g, 2, labels, a, x, y, plot);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(requests, (std::vector<int>{3}));
}

TEST_F(GrDialogX, MenuKeepsAWaitingEntrySelected) {
  Graphics& g = *g_;
  const std::string labels[3] = {"<VValue", " RReplot", "<ZZoom"};
  const std::function<void(int)> plot = [](int) {};
  int a = 0;
  float x = 0, y = 0;
  const auto menu = [&] {
    a = -1;
    grcurs1(g, 3, labels, a, x, y, plot);
    return a;
  };
  key('v');
  click(300, 200);
  EXPECT_EQ(menu(), 1);
  click(310, 210);  // still the Value mode
  EXPECT_EQ(menu(), 1);
  EXPECT_NEAR(x, (310 - g.n.XORGGR) / g.n.XFACGR, 1e-3);
  key('r');  // another entry ends the mode
  EXPECT_EQ(menu(), 2);
  click(310, 210);
  EXPECT_EQ(menu(), 0);
  // grcurs lets the waiting button go after its click.
  key('z');
  click(300, 200);
  a = -1;
  grcurs(g, 3, labels, a, x, y);
  EXPECT_EQ(a, 3);
  click(300, 200);
  a = -1;
  grcurs(g, 3, labels, a, x, y);
  EXPECT_EQ(a, 0);
}

// Every dialog puts the picture under it back when it closes: the window
// read back before the dialog and after it is the same, pixel for pixel
// (prompt, form, text page, colour chooser, a shorter submenu cancelled,
// a writer's progress bar).
TEST_F(GrDialogX, DialogsLeaveNothingBehind) {
  Graphics& g = *g_;
  const std::string menu[9] = {" AOne", " BTwo",   " CThree", " EFour", " FFive",
                               " GSix", " HSeven", " IEight", " XeXit"};
  const std::string sub[3] = {" PPlan", " QQuit", " DDone"};
  const std::string form[2] = {pad("Title", 16), pad("Subtitle", 16)};
  const std::string page[2] = {"alpha", "beta"};
  struct Case {
    const char* name;
    std::function<void()> events, dialog;
  } cases[] = {
      {"prompt", [&] { type("12"); },
       [&] {
         std::string a(20, ' ');
         grinpa(g, "Enter Prefix> ", a);
       }},
      {"form", [&] { key(XK_Return); },
       [&] {
         std::string v[2] = {pad("a", 16), pad("b", 16)};
         grinfo(g, 2, form, v);
       }},
      {"page", [&] { key('d'); }, [&] { grtext(g, page, 2); }},
      {"colours", [&] { key('c'); },
       [&] {
         int c = 3;
         grcmap(g, c);
       }},
      {"submenu", [&] { click(20, 300); },
       [&] {
         int a = 0;
         float x = 0, y = 0;
         grcurs(g, 3, sub, a, x, y);
       }},
      {"bar", [] {},
       [&] {
         for (int k = 1; k <= 9; ++k) grbeam(g, k, 10, "writing shape format");
         grbeamend(g);
       }},
  };
  auto window = [&] {
    XSync(g.x.display, 0);
    return XGetImage(g.x.display, g.x.window, 0, 0, static_cast<unsigned>(g.x.width),
                     static_cast<unsigned>(g.x.height), AllPlanes, ZPixmap);
  };
  for (const Case& c : cases) {
    grcler(g, 1);
    grect(g, 10, 10, 60, 40, 5, 0);  // a picture under the dialogs
    grflip(g);
    int a = 100;
    float x = 0, y = 0;
    grcurs(g, 9, menu, a, x, y);  // the main menu, drawn without waiting
    XImage* before = window();
    c.events();
    c.dialog();
    a = 100;
    grcurs(g, 9, menu, a, x, y);
    XImage* after = window();
    ASSERT_TRUE(before && after);
    int differ = 0;
    for (int py = 0; py < g.x.height; ++py)
      for (int px = 0; px < g.x.width; ++px)
        differ += XGetPixel(before, px, py) != XGetPixel(after, px, py);
    EXPECT_EQ(differ, 0) << c.name;
    XDestroyImage(before);
    XDestroyImage(after);
  }
}

}  // namespace
}  // namespace qf
