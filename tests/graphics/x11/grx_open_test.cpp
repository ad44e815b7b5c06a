// Opening and closing the window, the missing display, the font, the colour
// allocation, the time stamp and the key translation table.
#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>

#include "graphics/x11/grx.h"
#include "io/stop.h"
#include "tests/graphics/x11/xvfb.h"

namespace qf::grxtest {
namespace {

// Every test of this program runs against its own 1280 x 1024 x 24 server.
class XvfbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(server_.start("1280x1024x24")) << "Xvfb could not be started on :90..:99";
    ::setenv("DISPLAY", server_.name().c_str(), 1);
  }
  void TearDown() override { server_.stop(); }

 private:
  Xvfb server_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

using x11Open = GrxTest;

TEST_F(x11Open, WindowPixmapNamesAndHints) {
  grxopn(s, screen, 10, 0, 310, 125, depth, std::string_view("hvx\0       ", 11), "hvx   ");
  ASSERT_TRUE(grxisopn(s));
  EXPECT_EQ(depth, 24);
  EXPECT_EQ(s.depth, 24);
  EXPECT_EQ(s.width, 310);
  EXPECT_EQ(s.height, 125);
  EXPECT_EQ(s.pixmap_width, 310);
  EXPECT_EQ(s.pixmap_height, 125);
  EXPECT_EQ(s.drawable, s.window);
  EXPECT_EQ(s.fgcolor, WhitePixel(s.display, DefaultScreen(s.display)));
  EXPECT_EQ(s.bgcolor, s.fgcolor);
  EXPECT_EQ(screen.str(), "");

  // The first events: the map notification leaves x, y, detail alone, then
  // the expose gives 0, 0 and the remaining count.
  int type = 0, x = 77, y = 88, detail = 99;
  bool exposed = false;
  while (!exposed) {
    grxevn(s, type, x, y, detail);
    if (type == kGrxExpose) {
      exposed = true;
      EXPECT_EQ(x, 0);
      EXPECT_EQ(y, 0);
      EXPECT_EQ(detail, 0);
    } else {
      EXPECT_EQ(type, MapNotify);
      EXPECT_EQ(x, 77);
      EXPECT_EQ(y, 88);
      EXPECT_EQ(detail, 99);
    }
  }

  XWindowAttributes wa;
  ASSERT_NE(XGetWindowAttributes(s.display, s.window, &wa), 0);
  EXPECT_EQ(wa.x, 10);
  EXPECT_EQ(wa.y, 0);
  EXPECT_EQ(wa.width, 310);
  EXPECT_EQ(wa.height, 125);
  EXPECT_EQ(wa.border_width, 2);
  EXPECT_EQ(wa.map_state, IsViewable);
  EXPECT_EQ(wa.your_event_mask,
            KeyPressMask | ButtonPressMask | ExposureMask | StructureNotifyMask);

  char* name = nullptr;
  ASSERT_NE(XFetchName(s.display, s.window, &name), 0);
  EXPECT_STREQ(name, "hvx");
  XFree(name);
  char* icon = nullptr;
  ASSERT_NE(XGetIconName(s.display, s.window, &icon), 0);
  EXPECT_STREQ(icon, "hvx");
  XFree(icon);

  XSizeHints hints{};
  long supplied = 0;
  ASSERT_NE(XGetWMNormalHints(s.display, s.window, &hints, &supplied), 0);
  EXPECT_EQ(hints.flags & (USPosition | USSize), USPosition | USSize);

  // The font in the GC is the 6 x 12 cell font.
  XFontStruct* fs = XQueryFont(s.display, s.font);
  ASSERT_NE(fs, nullptr);
  EXPECT_EQ(fs->max_bounds.width, 6);
  EXPECT_EQ(fs->ascent + fs->descent, 12);
  XFreeFontInfo(nullptr, fs, 1);

  // Window and back buffer both start as background.
  Shot win(s, s.window, 310, 125);
  Shot back(s, s.pixmap, 310, 125);
  EXPECT_EQ(win.count(white(), 0, 0, 310, 125), 310 * 125);
  EXPECT_EQ(back.count(white(), 0, 0, 310, 125), 310 * 125);
}

TEST_F(x11Open, CloseResetsTheStateAndClosedCallsDoNothing) {
  open();
  grxcls(s);
  EXPECT_FALSE(grxisopn(s));
  EXPECT_EQ(s.window, 0u);
  EXPECT_EQ(s.pixmap, 0u);
  EXPECT_EQ(s.gc, nullptr);
  EXPECT_EQ(s.font_name, "6x12");
  grxcls(s);  // a second close is harmless
  // Nothing is drawn, nothing crashes, no event is waited for.
  grxclr(s);
  grxpix(s);
  grxlin(s, 0, 0, 5, 5);
  grxstc(s, 3);
  grxdsh(s, 2);
  grxflp(s);
  grxbeep(s);
  int type = 5, x = 6, y = 7, detail = 8;
  grxcvn(s, type, x, y, detail);
  EXPECT_EQ(type, 5);
  grxevn(s, type, x, y, detail);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(x, 6);

  // Reopening works on the same state.
  open(100, 50);
  EXPECT_EQ(s.width, 100);
}

TEST_F(x11Open, ReopeningAnOpenStateClosesTheOldWindowFirst) {
  open();
  open(120, 80, 400, 300);
  // Only the new window is left on the server.
  Display* probe = XOpenDisplay(nullptr);
  ASSERT_NE(probe, nullptr);
  Window root = 0, parent = 0, *children = nullptr;
  unsigned n = 0;
  ASSERT_NE(XQueryTree(probe, DefaultRootWindow(probe), &root, &parent, &children, &n), 0);
  std::vector<Window> tops(children, children + n);
  if (children != nullptr) XFree(children);
  ASSERT_EQ(tops.size(), 1u);
  XWindowAttributes wa;
  ASSERT_NE(XGetWindowAttributes(probe, tops[0], &wa), 0);
  XCloseDisplay(probe);
  EXPECT_EQ(wa.x, 400);
  EXPECT_EQ(wa.y, 300);
  EXPECT_EQ(wa.width, 120);
  EXPECT_EQ(wa.height, 80);
}

TEST_F(x11Open, NoDisplayStopsWithStatusOneAndTheMessage) {
  {
    DisplayGuard none(std::nullopt);
    try {
      grxopn(s, screen, 10, 0, 100, 100, depth, "Quellfax", "Quellfax");
      FAIL() << "no stop";
    } catch (const Stop& stop) {
      EXPECT_EQ(stop.status(), 1);
    }
    EXPECT_EQ(screen.str(), " Cannot open display...aborting\n");
    EXPECT_FALSE(grxisopn(s));
  }
  // A display number nobody serves.
  int n = 1000;
  while (file_exists("/tmp/.X11-unix/X" + std::to_string(n))) ++n;
  {
    DisplayGuard bogus(":" + std::to_string(n));
    std::ostringstream second;
    try {
      grxopn(s, second, 10, 0, 100, 100, depth, "Quellfax", "Quellfax");
      FAIL() << "no stop";
    } catch (const Stop& stop) {
      EXPECT_EQ(stop.status(), 1);
    }
    EXPECT_EQ(second.str(), " Cannot open display...aborting\n");
  }
}

TEST_F(x11Open, MissingFontFallsBackToFixedWithOneWarning) {
  s.font_name = "qf-no-such-font";
  open();
  EXPECT_EQ(screen.str(), " Font qf-no-such-font not available, using fixed\n");
  ASSERT_NE(s.font, 0u);
  // Text is drawn with the fallback font.
  const auto px = colours({0x000000});
  grxstc(s, px[0]);
  grxstr(s, 20, 40, "Ab", 2);
  Shot shot(s, s.window, 300, 200);
  EXPECT_GT(shot.count(0x000000, 0, 0, 300, 200), 0);
  // A second open of the same state warns again only because the font is
  // still missing, once per open.
  open();
  EXPECT_EQ(screen.str(),
            " Font qf-no-such-font not available, using fixed\n"
            " Font qf-no-such-font not available, using fixed\n");
}

TEST_F(x11Open, ColoursOnATrueColourScreenAreTheRgbValues) {
  open();
  const std::vector<int> rgb = {0xFFFFFF, 0x000000, 0x66B2FF, 0x808080, 0x123456};
  const auto px = colours(rgb);
  EXPECT_EQ(screen.str(), "");
  const Colormap cmap = DefaultColormap(s.display, DefaultScreen(s.display));
  for (std::size_t i = 0; i < rgb.size(); ++i) {
    EXPECT_EQ(px[i], rgb[i]) << i;
    XColor c{};
    c.pixel = static_cast<unsigned long>(px[i]);
    XQueryColor(s.display, cmap, &c);
    EXPECT_EQ(c.red >> 8, (rgb[i] >> 16) & 0xff) << i;
    EXPECT_EQ(c.green >> 8, (rgb[i] >> 8) & 0xff) << i;
    EXPECT_EQ(c.blue >> 8, rgb[i] & 0xff) << i;
  }
}

TEST_F(x11Open, ColoursThatCannotBeAllocatedAreReportedAndDrawingGoesOn) {
  // An 8-bit pseudo-colour server has 256 cells: 300 distinct colours
  // cannot all be had.
  Xvfb small;
  ASSERT_TRUE(small.start("640x480x8"));
  DisplayGuard on_small(small.name());
  struct Closer {  // before the server goes
    GrxState& s;
    ~Closer() {
      if (grxisopn(s)) grxcls(s);
    }
  } closer{s};
  open(200, 100);
  EXPECT_EQ(depth, 8);
  std::vector<int> rgb(300);
  for (int i = 0; i < 300; ++i)
    rgb[static_cast<std::size_t>(i)] = (i % 256) << 16 | (i / 256) << 8 | 0x40;
  const auto px = colours(rgb);
  // The failures are the tail of the list, one line each, pixel left 0.
  const std::string head = "could not allocate color ";
  ASSERT_EQ(screen.str().rfind(head, 0), 0u) << screen.str();
  const int first_failure = std::stoi(screen.str().substr(head.size()));
  std::string expected;
  ASSERT_GT(first_failure, 100) << screen.str();
  ASSERT_LT(first_failure, 257);
  for (int i = first_failure; i < 300; ++i) {
    expected += "could not allocate color " + std::to_string(i) + "\n";
    EXPECT_EQ(px[static_cast<std::size_t>(i)], 0) << i;
  }
  EXPECT_EQ(screen.str(), expected);
  // The allocated ones are distinct cells.
  std::vector<int> got(px.begin(), px.begin() + first_failure);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(std::adjacent_find(got.begin(), got.end()), got.end());
  // Drawing continues with an allocated colour.
  grxstc(s, px[5]);
  grxlin(s, 0, 10, 50, 10);
  Shot shot(s, s.window, 200, 100);
  EXPECT_EQ(shot.at(25, 10), static_cast<unsigned long>(px[5]));
  XSync(s.display, False);
  grxcls(s);
}

TEST_F(x11Open, TwoStatesAreTwoIndependentWindows) {
  open(200, 100, 10, 0);
  GrxState other;
  std::ostringstream other_screen;
  int other_depth = 0;
  grxopn(other, other_screen, 400, 0, 150, 120, other_depth, "second", "second");
  wait_for_expose(other);
  EXPECT_NE(other.display, s.display);
  EXPECT_NE(other.window, s.window);

  const auto red = colours({0xFF0000});
  grxstc(s, red[0]);
  grxpix(s);
  const int xs[4] = {0, 200, 200, 0}, ys[4] = {0, 0, 100, 100};
  grxply(s, xs, ys, 4);
  grxflp(s);
  // The other window stays white and keeps its own size and drawable.
  Shot theirs(other, other.window, 150, 120);
  EXPECT_EQ(theirs.count(other.bgcolor, 0, 0, 150, 120), 150 * 120);
  EXPECT_EQ(other.width, 150);
  EXPECT_EQ(other.drawable, other.window);
  grxcls(other);
  // Closing one leaves the other working.
  Shot mine(s, s.window, 200, 100);
  EXPECT_EQ(mine.count(0xFF0000, 0, 0, 200, 100), 200 * 100);
}

TEST(x11Time, StampIsTwentyCharactersDayMonthYearTime) {
  const char* old = std::getenv("TZ");
  const std::string saved = old != nullptr ? old : "";
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  EXPECT_EQ(grxtim(0), "01 Jan 1970 00:00:00");
  EXPECT_EQ(grxtim(1700000000), "14 Nov 2023 22:13:20");
  EXPECT_EQ(grxtim(951782400), "29 Feb 2000 00:00:00");
  EXPECT_EQ(grxtim(1000000000 + 86400 * 30), "09 Oct 2001 01:46:40");
  ::setenv("TZ", "CET-1", 1);  // local time, one hour east
  ::tzset();
  EXPECT_EQ(grxtim(0), "01 Jan 1970 01:00:00");
  EXPECT_EQ(grxtim(1700000000 - 3600 * 23), "14 Nov 2023 00:13:20");  // next day there
  EXPECT_EQ(grxtim().size(), 20u);
  if (old != nullptr) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

TEST(x11Key, SpecialKeysKeypadAndOrdinaryKeys) {
  EXPECT_EQ(grxkey(XK_Return), 11);
  EXPECT_EQ(grxkey(XK_KP_Enter), 11);
  EXPECT_EQ(grxkey(XK_Escape), 12);
  EXPECT_EQ(grxkey(XK_Delete), 13);
  EXPECT_EQ(grxkey(XK_BackSpace), 14);
  EXPECT_EQ(grxkey(XK_Left), 15);
  EXPECT_EQ(grxkey(XK_Up), 16);
  EXPECT_EQ(grxkey(XK_Right), 17);
  EXPECT_EQ(grxkey(XK_Down), 18);
  const char* keypad = "*+,-./0123456789";
  for (int i = 0; i < 16; ++i) EXPECT_EQ(grxkey(XK_KP_Multiply + i), keypad[i]) << i;
  // Neighbours of the keypad range and ordinary keys keep their symbol.
  EXPECT_EQ(grxkey(XK_KP_Equal), static_cast<int>(XK_KP_Equal));
  EXPECT_EQ(grxkey(XK_KP_Begin), static_cast<int>(XK_KP_Begin));
  EXPECT_EQ(grxkey(XK_F1), static_cast<int>(XK_F1));
  EXPECT_EQ(grxkey(XK_5), '5');
  EXPECT_EQ(grxkey(XK_a), 'a');
  EXPECT_EQ(grxkey(XK_Z), 'Z');
  EXPECT_EQ(grxkey(XK_adiaeresis), 0xE4);
  EXPECT_EQ(grxkey(XK_Tab), static_cast<int>(XK_Tab));
}

TEST(x11Dump, NoticeOnTheScreen) {
  std::ostringstream screen;
  grxdmp(screen);
  EXPECT_EQ(screen.str(), "Dumping of frames not currently allowed from Xwindows\n");
}

}  // namespace
}  // namespace qf::grxtest
