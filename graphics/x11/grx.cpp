// X11 device layer: window, back buffer, drawing, colours and events over Xlib.
#include "graphics/x11/grx.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string>
#include <type_traits>
#include <vector>

#include "io/stop.h"
#include "io/textio.h"

namespace qf {

static_assert(std::is_same_v<Display, _XDisplay>);
static_assert(std::is_same_v<GC, _XGC*>);
static_assert(std::is_same_v<Window, unsigned long>);
static_assert(std::is_same_v<Pixmap, unsigned long>);
static_assert(std::is_same_v<Font, unsigned long>);

namespace {

// The 16-bit X coordinate of a device coordinate (saturated, never wrapped).
short narrow(int v) {
  return static_cast<short>(std::clamp(v, SHRT_MIN, SHRT_MAX));
}

unsigned long to_pixel(int pixel) {
  return static_cast<unsigned long>(static_cast<unsigned int>(pixel));
}

// A window or icon name: up to the first NUL, without trailing blanks.
std::string window_text(std::string_view name) {
  name = name.substr(0, name.find('\0'));
  return std::string(trim_right(name));
}

// Fills a rectangle of d with the background and returns to pixelsave.
void clear_area(GrxState& s, unsigned long d, int w, int h) {
  XSetForeground(s.display, s.gc, s.bgcolor);
  XFillRectangle(s.display, d, s.gc, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
  XSetForeground(s.display, s.gc, s.pixelsave);
}

// Replaces the back buffer by one of w x h pixels: cleared to the background
// and holding what the old one held in the common part.
void regrow_pixmap(GrxState& s, int w, int h) {
  Pixmap fresh = XCreatePixmap(s.display, s.window, static_cast<unsigned>(w),
                               static_cast<unsigned>(h), static_cast<unsigned>(s.depth));
  clear_area(s, fresh, w, h);
  XCopyArea(s.display, s.pixmap, fresh, s.gc, 0, 0,
            static_cast<unsigned>(std::min(w, s.pixmap_width)),
            static_cast<unsigned>(std::min(h, s.pixmap_height)), 0, 0);
  XFreePixmap(s.display, s.pixmap);
  if (s.drawable == s.pixmap) s.drawable = fresh;
  s.pixmap = fresh;
  s.pixmap_width = w;
  s.pixmap_height = h;
}

// The one place where X events become (type, x, y, detail) and where the
// state follows the window (size, back buffer). Keys are translated for the
// waiting reader and left as key symbols for the draining one.
void dispatch(GrxState& s, XEvent& ev, bool translate, int& type, int& x, int& y, int& detail) {
  type = ev.type;
  switch (ev.type) {
    case KeyPress: {
      KeySym sym = NoSymbol;
      char buf[16];
      XLookupString(&ev.xkey, buf, sizeof buf, &sym, nullptr);
      x = ev.xkey.x;
      y = ev.xkey.y;
      detail = translate ? grxkey(sym) : static_cast<int>(sym);
      break;
    }
    case ButtonPress:
      x = ev.xbutton.x;
      y = ev.xbutton.y;
      detail = static_cast<int>(ev.xbutton.button);
      break;
    case MotionNotify:
      x = ev.xmotion.x;
      y = ev.xmotion.y;
      detail = 0;
      break;
    case Expose:
      x = 0;
      y = 0;
      detail = ev.xexpose.count;
      break;
    case ConfigureNotify:
      s.width = ev.xconfigure.width;
      s.height = ev.xconfigure.height;
      x = s.width;
      y = s.height;
      detail = 1;
      if (s.width > s.pixmap_width || s.height > s.pixmap_height) {
        regrow_pixmap(s, std::max(s.width, 1), std::max(s.height, 1));
      }
      break;
    case ClientMessage:
      if (ev.xclient.format == 32 &&
          static_cast<unsigned long>(ev.xclient.data.l[0]) == s.wm_delete) {
        s.closing = true;
        type = kGrxClose;
      } else {
        type = -ClientMessage;  // another client message: nobody reads it
      }
      break;
    default:
      break;
  }
}

// Xlib's default handler of a broken connection writes "X connection to
// ... broken" and ends the process; this one lets the exit handler below
// decide. It keeps no state (Xlib has one such handler per process).
int quiet_io_error(Display*) {
  return 0;
}

// Called by Xlib after a broken connection of one state's display: the loss
// is recorded and Xlib returns to its caller; the layer then makes no more
// Xlib calls on that display.
void record_loss(Display*, void* state) {
  static_cast<GrxState*>(state)->lost = true;
}

// The next event, waiting for it; false when the connection breaks. The wait
// is on the connection's socket rather than inside XNextEvent, which must not
// be reached after a loss (its queue is then empty).
bool next_event(GrxState& s, XEvent& ev) {
  const int fd = ConnectionNumber(s.display);
  while (!s.lost) {
    if (XPending(s.display) > 0) {
      XNextEvent(s.display, &ev);
      return true;
    }
    if (s.lost) break;
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, -1);  // an interrupted wait looks again
  }
  return false;
}

// "dd": a two-digit field with leading zero.
std::string two_digits(int v) {
  std::string f = fmt_i(v, 2);
  std::replace(f.begin(), f.end(), ' ', '0');
  return f;
}

}  // namespace

bool grxprobe() {
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) return false;
  XCloseDisplay(d);
  return true;
}

void grxopn(GrxState& s, std::ostream& screen, int x, int y, int w, int h, int& depth,
            std::string_view window_name, std::string_view icon_name,
            const std::function<void(int, int, int&, int&)>& fit) {
  if (s.display != nullptr) grxcls(s);
  XSetIOErrorHandler(quiet_io_error);
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) {
    screen << " Cannot open display...aborting\n";
    screen.flush();
    throw Stop(1, "Cannot open display");
  }
  const int scr = DefaultScreen(d);
  if (fit) fit(DisplayWidth(d, scr), DisplayHeight(d, scr), w, h);
  w = std::max(w, 1);
  h = std::max(h, 1);
  const unsigned long white = WhitePixel(d, scr);
  s.display = d;
  s.closing = false;
  s.lost = false;
  XSetIOErrorExitHandler(d, record_loss, &s);
  s.fgcolor = white;
  s.bgcolor = white;
  s.pixelsave = white;
  s.depth = DefaultDepth(d, scr);
  depth = s.depth;
  s.width = w;
  s.height = h;
  s.dash_style = kGrxDashSolid;

  XSetWindowAttributes attr{};
  attr.background_pixel = white;
  attr.border_pixel = white;
  attr.colormap = DefaultColormap(d, scr);
  attr.event_mask = KeyPressMask | ButtonPressMask | ExposureMask | StructureNotifyMask;
  s.window = XCreateWindow(d, RootWindow(d, scr), x, y, static_cast<unsigned>(w),
                           static_cast<unsigned>(h), 2, s.depth, InputOutput, CopyFromParent,
                           CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &attr);
  s.pixmap = XCreatePixmap(d, s.window, static_cast<unsigned>(w), static_cast<unsigned>(h),
                           static_cast<unsigned>(s.depth));
  s.pixmap_width = w;
  s.pixmap_height = h;
  s.drawable = s.window;

  XSizeHints hints{};
  hints.flags = USPosition | USSize;
  hints.x = x;
  hints.y = y;
  hints.width = w;
  hints.height = h;
  const std::string wname = window_text(window_name);
  const std::string iname = window_text(icon_name);
  XSetStandardProperties(d, s.window, wname.c_str(), iname.c_str(), None, nullptr, 0, &hints);
  XSetWMNormalHints(d, s.window, &hints);
  // The window manager's close button sends WM_DELETE_WINDOW instead of
  // ending the connection.
  Atom wm_delete = XInternAtom(d, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(d, s.window, &wm_delete, 1);
  s.wm_delete = wm_delete;
  XFlush(d);

  XGCValues values{};
  values.background = s.bgcolor;
  values.foreground = s.fgcolor;
  values.function = GXcopy;
  // Copies between the window and pixmaps ask for no exposure events: none
  // would be answered, and they would sit in the queue as pending input.
  values.graphics_exposures = False;
  s.gc = XCreateGC(d, s.window, GCBackground | GCForeground | GCFunction | GCGraphicsExposures,
                   &values);

  // A missing font would be an X error; fall back to the server's "fixed".
  XFontStruct* fs = XLoadQueryFont(d, s.font_name.c_str());
  if (fs == nullptr) {
    fs = XLoadQueryFont(d, "fixed");
    screen << " Font " << s.font_name << " not available, using "
           << (fs != nullptr ? "fixed" : "the server default") << "\n";
  }
  s.font = 0;
  if (fs != nullptr) {
    s.font = fs->fid;
    XSetFont(d, s.gc, s.font);
    XFreeFontInfo(nullptr, fs, 1);  // keeps the font loaded
  }

  // The back buffer starts as background, never as undefined pixels.
  clear_area(s, s.pixmap, w, h);
  XMapRaised(d, s.window);
  XFlush(d);
}

void grxcls(GrxState& s) {
  if (s.display == nullptr) return;
  if (s.lost) {
    XCloseDisplay(s.display);  // frees the connection; nothing is sent
    std::string font_name = std::move(s.font_name);
    s = GrxState{};
    s.font_name = std::move(font_name);
    return;
  }
  if (s.font != 0) XUnloadFont(s.display, s.font);
  if (s.gc != nullptr) XFreeGC(s.display, s.gc);
  if (s.pixmap != 0) XFreePixmap(s.display, s.pixmap);
  if (s.window != 0) XDestroyWindow(s.display, s.window);
  XCloseDisplay(s.display);
  std::string font_name = std::move(s.font_name);
  s = GrxState{};
  s.font_name = std::move(font_name);
}

void grxclr(GrxState& s) {
  if (!grxlive(s)) return;
  clear_area(s, s.drawable, s.width, s.height);
}

void grxpix(GrxState& s) {
  if (!grxlive(s)) return;
  s.drawable = s.pixmap;
}

void grxflp(GrxState& s) {
  if (!grxlive(s)) return;
  if (s.drawable == s.pixmap) {
    XCopyArea(s.display, s.pixmap, s.window, s.gc, 0, 0, static_cast<unsigned>(s.width),
              static_cast<unsigned>(s.height), 0, 0);
    s.drawable = s.window;
  }
  XFlush(s.display);
}

int grxsav(GrxState& s, int x, int y, int w, int h) {
  if (!grxlive(s)) return 0;
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + w, s.width), y1 = std::min(y + h, s.height);
  if (x1 <= x0 || y1 <= y0) return 0;
  GrxSaved a{0, x0, y0, x1 - x0, y1 - y0};
  a.pixmap = XCreatePixmap(s.display, s.window, static_cast<unsigned>(a.w),
                           static_cast<unsigned>(a.h), static_cast<unsigned>(s.depth));
  XCopyArea(s.display, s.window, a.pixmap, s.gc, a.x, a.y, static_cast<unsigned>(a.w),
            static_cast<unsigned>(a.h), 0, 0);
  s.saved.push_back(a);
  return static_cast<int>(s.saved.size());
}

void grxrst(GrxState& s, int level, bool put_back) {
  if (level < 1) return;
  while (static_cast<int>(s.saved.size()) >= level) {
    const GrxSaved a = s.saved.back();
    s.saved.pop_back();
    if (!grxlive(s)) continue;  // the pixmaps went with the connection
    if (put_back)
      XCopyArea(s.display, a.pixmap, s.window, s.gc, 0, 0, static_cast<unsigned>(a.w),
                static_cast<unsigned>(a.h), a.x, a.y);
    XFreePixmap(s.display, a.pixmap);
  }
  if (grxlive(s)) XFlush(s.display);
}

void grxshw(GrxState& s, int x, int y, int w, int h) {
  if (!grxlive(s) || s.pixmap == 0) return;
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min({x + w, s.width, s.pixmap_width});
  const int y1 = std::min({y + h, s.height, s.pixmap_height});
  if (x1 <= x0 || y1 <= y0) return;
  XCopyArea(s.display, s.pixmap, s.window, s.gc, x0, y0, static_cast<unsigned>(x1 - x0),
            static_cast<unsigned>(y1 - y0), x0, y0);
}

void grxlin(GrxState& s, int x1, int y1, int x2, int y2) {
  if (!grxlive(s)) return;
  XDrawLine(s.display, s.drawable, s.gc, narrow(x1), narrow(y1), narrow(x2), narrow(y2));
}

void grxlnz(GrxState& s, int n, const int* xs, const int* ys) {
  if (!grxlive(s) || n <= 0) return;
  std::vector<XPoint> p(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) p[i] = XPoint{narrow(xs[i]), narrow(ys[i])};
  XDrawLines(s.display, s.drawable, s.gc, p.data(), n, CoordModeOrigin);
}

void grxply(GrxState& s, const int* xs, const int* ys, int n) {
  if (!grxlive(s) || n <= 0) return;
  std::vector<XPoint> p(static_cast<std::size_t>(n) + 1);
  for (int i = 0; i < n; ++i) p[i] = XPoint{narrow(xs[i]), narrow(ys[i])};
  p[n] = p[0];
  XFillPolygon(s.display, s.drawable, s.gc, p.data(), n, Nonconvex, CoordModeOrigin);
  XDrawLines(s.display, s.drawable, s.gc, p.data(), n + 1, CoordModeOrigin);
}

void grxrec(GrxState& s, int x, int y, int w, int h) {
  if (!grxlive(s) || w <= 0 || h <= 0) return;
  XFillRectangle(s.display, s.drawable, s.gc, narrow(x), narrow(y),
                 static_cast<unsigned>(std::min(w, 65535)),
                 static_cast<unsigned>(std::min(h, 65535)));
}

void grxstc(GrxState& s, int pixel) {
  if (!grxlive(s)) return;
  s.pixelsave = to_pixel(pixel);
  XSetForeground(s.display, s.gc, s.pixelsave);
}

void grxstr(GrxState& s, int x, int y, std::string_view text, int n) {
  if (!grxlive(s)) return;
  n = std::clamp(n, 0, static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX)));
  if (n == 0) return;
  XDrawString(s.display, s.drawable, s.gc, narrow(x), narrow(y), text.data(), n);
}

void grxdsh(GrxState& s, int style) {
  if (!grxlive(s) || style < 1 || style > 5) return;
  if (style == kGrxDashSolid) {
    XSetLineAttributes(s.display, s.gc, 0, LineSolid, CapRound, JoinRound);
  } else {
    const char* pattern = kGrxDashPattern[style];
    const int len = static_cast<int>(std::char_traits<char>::length(pattern));
    XSetDashes(s.display, s.gc, 0, pattern, len);
    XSetLineAttributes(s.display, s.gc, 0, LineOnOffDash, CapRound, JoinRound);
  }
  s.dash_style = style;
}

void grxmkc(GrxState& s, std::ostream& screen, const int* rgb, int* pixel, int n) {
  if (!grxlive(s)) return;
  const Colormap cmap = DefaultColormap(s.display, DefaultScreen(s.display));
  for (int i = 0; i < n; ++i) {
    XColor c{};
    c.red = static_cast<unsigned short>(((rgb[i] >> 16) & 0xff) * 256);
    c.green = static_cast<unsigned short>(((rgb[i] >> 8) & 0xff) * 256);
    c.blue = static_cast<unsigned short>((rgb[i] & 0xff) * 256);
    c.flags = DoRed | DoGreen | DoBlue;
    if (XAllocColor(s.display, cmap, &c) == 0) {
      std::string index = fmt_i(i, 11);
      screen << "could not allocate color " << index.substr(index.find_first_not_of(' ')) << "\n";
    }
    pixel[i] = static_cast<int>(c.pixel);
  }
}

void grxevn(GrxState& s, int& type, int& x, int& y, int& detail) {
  if (!grxlive(s)) {
    type = 0;
    return;
  }
  if (s.closing) {
    type = kGrxClose;
    return;
  }
  XEvent ev;
  if (!next_event(s, ev)) {
    type = 0;
    return;
  }
  // A burst of motion counts as its last position.
  while (ev.type == MotionNotify &&
         XCheckTypedWindowEvent(s.display, s.window, MotionNotify, &ev)) {
  }
  dispatch(s, ev, true, type, x, y, detail);
}

void grxmot(GrxState& s, bool on) {
  if (!grxlive(s)) return;
  long mask = KeyPressMask | ButtonPressMask | ExposureMask | StructureNotifyMask;
  if (on) mask |= PointerMotionMask;
  XSelectInput(s.display, s.window, mask);
}

void grxcvn(GrxState& s, int& type, int& x, int& y, int& detail) {
  if (!grxlive(s)) return;
  XEvent ev;
  while (!s.closing && XCheckTypedWindowEvent(s.display, s.window, ClientMessage, &ev)) {
    int t = 0;
    dispatch(s, ev, false, t, x, y, detail);
  }
  if (s.closing) {
    type = kGrxClose;
    return;
  }
  while (XCheckMaskEvent(s.display, ButtonPressMask, &ev)) {
    dispatch(s, ev, false, type, x, y, detail);
  }
  while (XCheckMaskEvent(s.display, KeyPressMask, &ev)) {
    dispatch(s, ev, false, type, x, y, detail);
  }
}

bool grxpnd(GrxState& s) {
  if (!grxlive(s)) return false;
  if (s.closing) return true;
  return XEventsQueued(s.display, QueuedAfterReading) > 0;
}

void grxslp(GrxState& s, int n) {
  if (n <= 0) return;
  if (grxlive(s)) XFlush(s.display);
  const long long ms = 30LL * n;
  timespec want{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  timespec rest{};
  while (nanosleep(&want, &rest) != 0 && errno == EINTR) want = rest;
}

void grxbeep(GrxState& s) {
  if (!grxlive(s)) return;
  XBell(s.display, 0);
  XFlush(s.display);
}

std::string grxtim() {
  return grxtim(std::time(nullptr));
}

std::string grxtim(std::time_t t) {
  static constexpr const char* kMonth[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  localtime_r(&t, &tm);
  return two_digits(tm.tm_mday) + " " + kMonth[tm.tm_mon] + " " + fmt_i(tm.tm_year + 1900, 4) +
         " " + two_digits(tm.tm_hour) + ":" + two_digits(tm.tm_min) + ":" + two_digits(tm.tm_sec);
}

int grxkey(unsigned long keysym) {
  switch (keysym) {
    case XK_Return:
    case XK_KP_Enter:
      return kGrxKeyReturn;
    case XK_Escape:
      return kGrxKeyEscape;
    case XK_Delete:
      return kGrxKeyDelete;
    case XK_BackSpace:
      return kGrxKeyBackSpace;
    case XK_Left:
      return kGrxKeyLeft;
    case XK_Up:
      return kGrxKeyUp;
    case XK_Right:
      return kGrxKeyRight;
    case XK_Down:
      return kGrxKeyDown;
    default:
      break;
  }
  // Keypad "*" ... "9" lie in the same order as ASCII "*" ... "9".
  if (keysym >= XK_KP_Multiply && keysym <= XK_KP_9) {
    return static_cast<int>(keysym - XK_KP_Multiply) + '*';
  }
  return static_cast<int>(keysym);
}

void grxdmp(std::ostream& screen) {
  screen << "Dumping of frames not currently allowed from Xwindows\n";
}

}  // namespace qf
