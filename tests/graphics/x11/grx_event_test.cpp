// Events: translation, draining, expose counts and resizing with the back buffer.
#include <X11/keysym.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/x11/grx.h"
#include "tests/graphics/x11/xvfb.h"

namespace qf::grxtest {
namespace {

class x11Event : public GrxTest {
 protected:
  void SetUp() override {
    GrxTest::SetUp();
    open();
  }
  struct Ev {
    int type = -1, x = -1, y = -1, detail = -1;
  };
  Ev next() {
    Ev e;
    grxevn(s, e.type, e.x, e.y, e.detail);
    return e;
  }
  // Next event of the given type, skipping others.
  Ev next_of(int type) {
    Ev e;
    do e = next();
    while (e.type != type);
    return e;
  }
};

TEST_F(x11Event, ButtonPressGivesPositionAndButton) {
  send_button(s, 33, 44, 3);
  XFlush(s.display);
  const Ev e = next();
  EXPECT_EQ(e.type, kGrxButtonPress);
  EXPECT_EQ(e.x, 33);
  EXPECT_EQ(e.y, 44);
  EXPECT_EQ(e.detail, 3);
}

TEST_F(x11Event, KeysAreTranslated) {
  const unsigned numlock = numlock_mask(s.display);
  ASSERT_NE(numlock, 0u);
  struct Case {
    unsigned long sym;
    unsigned state;
    int want;
  };
  const std::vector<Case> cases = {
      {XK_Return, 0, 11},
      {XK_KP_Enter, 0, 11},
      {XK_Escape, 0, 12},
      {XK_Delete, 0, 13},
      {XK_BackSpace, 0, 14},
      {XK_Left, 0, 15},
      {XK_Up, 0, 16},
      {XK_Right, 0, 17},
      {XK_Down, 0, 18},
      {XK_5, 0, '5'},
      {XK_KP_5, numlock, '5'},
      {XK_KP_Multiply, 0, '*'},
      {XK_KP_Decimal, numlock, '.'},
      {XK_a, 0, 'a'},
      {XK_a, ShiftMask, 'A'},
      {XK_F1, 0, static_cast<int>(XK_F1)},
  };
  for (const Case& c : cases) {
    ASSERT_NE(XKeysymToKeycode(s.display, c.sym), 0) << c.sym;
    send_key(s, c.sym, c.state, 21, 22);
    XFlush(s.display);
    const Ev e = next();
    EXPECT_EQ(e.type, kGrxKeyPress);
    EXPECT_EQ(e.x, 21);
    EXPECT_EQ(e.y, 22);
    EXPECT_EQ(e.detail, c.want) << "keysym 0x" << std::hex << c.sym;
  }
  // Without Num Lock the keypad "5" is not a digit (it is KP_Begin).
  send_key(s, XK_KP_5, 0);
  XFlush(s.display);
  EXPECT_EQ(next().detail, static_cast<int>(XK_KP_Begin));
}

TEST_F(x11Event, ExposeGivesZeroPositionAndTheRemainingCount) {
  XEvent ev{};
  ev.xexpose.type = Expose;
  ev.xexpose.display = s.display;
  ev.xexpose.window = s.window;
  ev.xexpose.x = 5;
  ev.xexpose.y = 6;
  ev.xexpose.width = 10;
  ev.xexpose.height = 10;
  ev.xexpose.count = 2;
  XSendEvent(s.display, s.window, False, ExposureMask, &ev);
  XFlush(s.display);
  int type = 0, x = 9, y = 9, detail = 9;
  grxevn(s, type, x, y, detail);
  EXPECT_EQ(type, kGrxExpose);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(detail, 2);
}

TEST_F(x11Event, DrainingTakesButtonsThenKeysAndLeavesTheRest) {
  send_button(s, 5, 6, 1);
  send_key(s, XK_q, 0, 40, 41);
  send_button(s, 7, 8, 2);
  XEvent ev{};
  ev.xexpose.type = Expose;
  ev.xexpose.display = s.display;
  ev.xexpose.window = s.window;
  XSendEvent(s.display, s.window, False, ExposureMask, &ev);
  send_key(s, XK_Left, 0, 42, 43);
  XSync(s.display, False);

  int type = 0, x = 0, y = 0, detail = 0;
  grxcvn(s, type, x, y, detail);
  // The last key wins and arrives untranslated.
  EXPECT_EQ(type, kGrxKeyPress);
  EXPECT_EQ(x, 42);
  EXPECT_EQ(y, 43);
  EXPECT_EQ(detail, static_cast<int>(XK_Left));

  // Nothing left to drain: the arguments stay.
  type = 100, x = 101, y = 102, detail = 103;
  grxcvn(s, type, x, y, detail);
  EXPECT_EQ(type, 100);
  EXPECT_EQ(x, 101);
  EXPECT_EQ(y, 102);
  EXPECT_EQ(detail, 103);

  // The expose is still queued and comes next.
  EXPECT_EQ(XPending(s.display), 1);
  EXPECT_EQ(next().type, kGrxExpose);

  // Only buttons pending: the last button.
  send_button(s, 11, 12, 1);
  send_button(s, 13, 14, 3);
  XSync(s.display, False);
  grxcvn(s, type, x, y, detail);
  EXPECT_EQ(type, kGrxButtonPress);
  EXPECT_EQ(x, 13);
  EXPECT_EQ(y, 14);
  EXPECT_EQ(detail, 3);
}

TEST_F(x11Event, GrowingRecreatesTheBackBufferClearedToBackground) {
  const auto px = colours({0xFF0000});
  const unsigned long red = static_cast<unsigned long>(px[0]);
  grxpix(s);
  grxclr(s);
  grxstc(s, px[0]);
  const int rx[4] = {10, 30, 30, 10}, ry[4] = {10, 10, 30, 30};
  grxply(s, rx, ry, 4);
  const unsigned long old_pixmap = s.pixmap;

  XResizeWindow(s.display, s.window, 400, 300);
  const Ev e = next_of(kGrxConfigureNotify);
  EXPECT_EQ(e.x, 400);
  EXPECT_EQ(e.y, 300);
  EXPECT_EQ(e.detail, 1);
  EXPECT_EQ(s.width, 400);
  EXPECT_EQ(s.height, 300);
  EXPECT_EQ(s.pixmap_width, 400);
  EXPECT_EQ(s.pixmap_height, 300);
  EXPECT_NE(s.pixmap, old_pixmap);
  EXPECT_EQ(s.drawable, s.pixmap);  // the frame goes on in the new buffer

  // The new buffer: the old picture in its part, background elsewhere.
  Shot back(s, s.pixmap, 400, 300);
  EXPECT_EQ(back.count(red, 10, 10, 31, 31), 21 * 21);
  EXPECT_EQ(back.count(white(), 0, 0, 400, 300), 400 * 300 - 21 * 21);

  // The next flip shows the whole window, nothing undefined.
  grxflp(s);
  Shot shown(s, s.window, 400, 300);
  EXPECT_EQ(shown.count(red, 0, 0, 400, 300), 21 * 21);
  EXPECT_EQ(shown.count(white(), 0, 0, 400, 300), 400 * 300 - 21 * 21);

  // A frame after the resize clears and draws the full new size.
  grxpix(s);
  grxclr(s);
  const int fx[4] = {0, 399, 399, 0}, fy[4] = {0, 0, 299, 299};
  grxply(s, fx, fy, 4);
  grxflp(s);
  EXPECT_EQ(Shot(s, s.window, 400, 300).count(red, 0, 0, 400, 300), 400 * 300);
}

TEST_F(x11Event, ShrinkingKeepsTheBackBufferAndUsesTheNewSize) {
  const auto px = colours({0x0000FF});
  const unsigned long blue = static_cast<unsigned long>(px[0]);
  const unsigned long old_pixmap = s.pixmap;
  XResizeWindow(s.display, s.window, 120, 80);
  const Ev e = next_of(kGrxConfigureNotify);
  EXPECT_EQ(e.x, 120);
  EXPECT_EQ(e.y, 80);
  EXPECT_EQ(s.width, 120);
  EXPECT_EQ(s.height, 80);
  EXPECT_EQ(s.pixmap, old_pixmap);
  EXPECT_EQ(s.pixmap_width, 300);

  // grxclr clears only the current 120 x 80 of the buffer.
  grxpix(s);
  grxstc(s, px[0]);
  const int fx[4] = {0, 299, 299, 0}, fy[4] = {0, 0, 199, 199};
  grxply(s, fx, fy, 4);
  grxclr(s);
  Shot back(s, s.pixmap, 300, 200);
  EXPECT_EQ(back.count(white(), 0, 0, 120, 80), 120 * 80);
  EXPECT_EQ(back.count(blue, 0, 0, 300, 200), 300 * 200 - 120 * 80);
  grxflp(s);
  EXPECT_EQ(Shot(s, s.window, 120, 80).count(white(), 0, 0, 120, 80), 120 * 80);

  // Growing back within the old buffer needs no new one.
  XResizeWindow(s.display, s.window, 250, 150);
  next_of(kGrxConfigureNotify);
  EXPECT_EQ(s.pixmap, old_pixmap);
  EXPECT_EQ(s.width, 250);
}

TEST_F(x11Event, RealKeyAndButtonThroughTheServer) {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xdotool";
  const std::string display = std::getenv("DISPLAY");
  // The window's inner origin is at (12, 2) on the screen (border 2).
  const std::string cmd =
      "DISPLAY=" + display + " xdotool mousemove 62 52 sleep 0.1 click 2 key Escape KP_Enter Up";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const Ev b = next_of(kGrxButtonPress);
  EXPECT_EQ(b.x, 50);
  EXPECT_EQ(b.y, 50);
  EXPECT_EQ(b.detail, 2);
  const int want[3] = {12, 11, 16};
  for (int w : want) {
    const Ev k = next_of(kGrxKeyPress);
    EXPECT_EQ(k.detail, w);
    EXPECT_EQ(k.x, 50);
    EXPECT_EQ(k.y, 50);
  }
}

TEST_F(x11Event, CloseRequestOfTheWindowManager) {
  // The window takes part in the close protocol ...
  const Atom del = XInternAtom(s.display, "WM_DELETE_WINDOW", False);
  Atom* protocols = nullptr;
  int n = 0;
  ASSERT_NE(XGetWMProtocols(s.display, s.window, &protocols, &n), 0);
  ASSERT_EQ(n, 1);
  EXPECT_EQ(protocols[0], del);
  XFree(protocols);
  // ... and its close message stays a close request, waited for or drained.
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = s.window;
  ev.xclient.message_type = XInternAtom(s.display, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(del);
  XSendEvent(s.display, s.window, False, NoEventMask, &ev);
  XFlush(s.display);
  EXPECT_EQ(next_of(kGrxClose).type, kGrxClose);
  EXPECT_TRUE(s.closing);
  EXPECT_TRUE(grxpnd(s));
  EXPECT_EQ(next().type, kGrxClose);
  Ev d;
  grxcvn(s, d.type, d.x, d.y, d.detail);
  EXPECT_EQ(d.type, kGrxClose);
}

TEST(x11Lost, AServerThatGoesAwayIsRecordedNotFatal) {
  Xvfb own;
  ASSERT_TRUE(own.start("320x200x24"));
  DisplayGuard on_own(own.name());
  GrxState s;
  std::ostringstream screen;
  int depth = 0, type = -1, x = 0, y = 0, detail = 0;
  grxopn(s, screen, 0, 0, 100, 80, depth, "Quellfax", "Quellfax");
  own.stop();
  // Events the server sent before it went (the first expose, a map notice)
  // may still be queued; they come first, then the loss, and the process
  // goes on.
  for (int n = 0; n < 20 && type != 0; ++n) grxevn(s, type, x, y, detail);
  EXPECT_EQ(type, 0);
  EXPECT_TRUE(s.lost);
  EXPECT_FALSE(grxpnd(s));
  grxlin(s, 0, 0, 9, 9);
  grxflp(s);
  grxcls(s);
  EXPECT_FALSE(grxisopn(s));
}

}  // namespace
}  // namespace qf::grxtest
