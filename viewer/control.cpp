// The interactive loop: draws the plot with its axes and keep files, then
// answers the menu, clicks on the plot, its titles and axes, the zoom
// buttons and the arrow keys until the user leaves.
#include "viewer/control.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "graphics/dialog.h"
#include "io/textio.h"
#include "viewer/draw.h"
#include "viewer/vector.h"
#include "viewer/viewer.h"

namespace qf {

namespace {

constexpr int kTitle = 0, kSubtitle = 80, kXLabel = 160, kYLabel = 200, kTexts = 240;

bool blank(std::string_view s) {
  return s.find_first_not_of(' ') == std::string_view::npos;
}

// Commands of the script queue not yet taken.
bool queued(const Graphics& g) {
  return g.n.NSCRGR > g.n.SCTKGR;
}

// k with four digits and leading zeros.
std::string dig4(int k) {
  std::string s = fmt_i(std::clamp(k, 0, 9999), 4);
  std::replace(s.begin(), s.end(), ' ', '0');
  return s;
}

std::string box(int on) {
  return pad(on ? "+" : "_", 40);
}

bool ticked(const std::string& value) {
  return !value.empty() && value[0] == '+';
}

bool read_real(std::string_view s, double& v) {
  s = trim_right(s);
  const std::size_t b = s.find_first_not_of(' ');
  return b != std::string_view::npos && parse_real(s.substr(b), v) && std::isfinite(v);
}

bool read_int(std::string_view s, int& v) {
  double d = 0;
  if (!read_real(s, d) || d != std::trunc(d) || std::fabs(d) > 1e9) return false;
  v = static_cast<int>(d);
  return true;
}

bool cancelled(const std::string& first) {
  return trim_right(first) == "cancel";
}

// Puts a text into the caller's text record at a place of n characters.
void put_text(std::string& texts, int at, int n, std::string_view s) {
  if (static_cast<int>(texts.size()) < kTexts) texts.resize(kTexts, ' ');
  texts.replace(static_cast<std::size_t>(at), static_cast<std::size_t>(n),
                pad(s, static_cast<std::size_t>(n)));
}

void remember(ControlState& c, const Grcomn& n) {
  c.nx_seen = n.NXINGR;
  c.ny_seen = n.NYINGR;
  c.xscl_seen = n.XSCLGR;
  c.yscl_seen = n.YSCLGR;
}

// A new window size after the axis intervals or the scale factor changed:
// the window is opened again at its new size.
void reopen(Graphics& g) {
  Grcomn& n = g.n;
  if (!grscreen(g) || n.SMALGR) return;
  n.WNDWGR[2] = static_cast<int>((n.NXINGR + 4.5) * 50 * n.XSCLGR);
  n.WNDWGR[3] = static_cast<int>((n.NYINGR + 2) * 50 * n.YSCLGR);
  int mode = n.IMODGR;
  grclos(g);
  grmode(g, mode);
}

// Everything the loop needs at hand.
struct Loop {
  Graphics& g;
  Viewer& v;
  const PlotRoutine& plot;
  std::string& texts;
  PlotScale ext{};  // extent returned by the plot routine's set-up

  void call(int mode) {
    PlotScale s = ext;
    plot(mode, s);
  }
  void axes(int pass) { graxes(g, ext[0], ext[1], ext[2], ext[3], pass); }
  // The menu anew, then the plot routine's extent and entries.
  void extent() {
    v.menu.resize(kMenuEntries);
    PlotScale s{};
    plot(0, s);
    ext = s;
  }
  void redraw();
  void clicked(float x, float y);
  void hardcopy();
  void keep();
  void query();
  void value(float x, float y);
  void leave();
  void axis_dialog(bool xaxis);
};

void Loop::redraw() {
  Grcomn& n = g.n;
  ControlState& c = v.control;
  if (n.NXINGR != c.nx_seen || n.NYINGR != c.ny_seen || n.XSCLGR != c.xscl_seen ||
      n.YSCLGR != c.yscl_seen) {
    reopen(g);
    remember(c, n);
  }
  grcler(g, 1);
  grmesg(g, " ");
  axes(0);
  grklst(g, 4);
  call(1);
  grklst(g, 3);
  grplst(g, v, 2);
  axes(1);
  call(3);
  if (n.IMODGR != 0) grflip(g);
  if (!c.pending.empty()) {
    grflip(g);
    std::string why;
    if (grspawn(c.pending, why))
      grmesg(g, c.pending_msg);
    else
      grmesg(g, std::string(trim_right(c.pending_msg)) + " failed: " + why);
    c.pending.clear();
    c.pending_msg.clear();
  }
}

void Loop::axis_dialog(bool xaxis) {
  Grcomn& n = g.n;
  const double org = xaxis ? n.XORGR : n.YORGR;
  float& lo = xaxis ? n.XMINGR : n.YMINGR;
  float& hi = xaxis ? n.XMAXGR : n.YMAXGR;
  std::string& label = xaxis ? g.t.XCAPGR : g.t.YCAPGR;
  const std::string labels[3] = {xaxis ? "XMIN" : "YMIN", xaxis ? "XMAX" : "YMAX",
                                 xaxis ? "X-Label" : "Y-Label"};
  std::string values[3] = {pad(fmt_f(lo + org, 12, 2), 40), pad(fmt_f(hi + org, 12, 2), 40),
                           pad(label, 40)};
  grinfo(g, 3, labels, values);
  if (cancelled(values[0])) return;
  double a = 0, b = 0;
  for (int i = 0; i < 2; ++i) {
    if (!read_real(values[i], i == 0 ? a : b)) {
      grmesg(g, labels[i] + " not read: " + std::string(trim_right(values[i])));
      return;
    }
  }
  lo = static_cast<float>(a - org);
  hi = std::max(static_cast<float>(b - org), lo + 0.001f);
  label = pad(values[2], 40);
  put_text(texts, xaxis ? kXLabel : kYLabel, 40, label);
  n.INDSGR = 0;
  redraw();
}

void Loop::clicked(float x, float y) {
  Grcomn& n = g.n;
  if (queued(g)) {  // a scripted answer that named no entry
    n.XCRSGR = x;
    n.YCRSGR = y;
    call(12);
    return;
  }
  if (grkeyat(g, x, y)) {
    // The key's settings (classes, increment, lines, labels, scale type):
    // the plot routine shows them and asks for the redraw.
    call(kKeySettings);
  } else if (x > n.XMAXGR) {
    redraw();
  } else if (y > n.YMAXGR) {
    const std::string labels[2] = {"Title", "Subtitle"};
    std::string values[2] = {g.t.TITLGR, g.t.TIT2GR};
    grinfo(g, 2, labels, values);
    if (cancelled(values[0])) return;
    g.t.TITLGR = pad(values[0], 80);
    g.t.TIT2GR = pad(values[1], 80);
    put_text(texts, kTitle, 80, g.t.TITLGR);
    put_text(texts, kSubtitle, 80, g.t.TIT2GR);
    redraw();
  } else if (y < n.YMINGR && x > n.XMINGR + 0.7f * (n.XMAXGR - n.XMINGR)) {
    std::string a(80, ' ');
    grinpa(g, "author", a);
    g.t.FIRMGR = pad(a, 80);
    redraw();
  } else if (y < n.YMINGR) {
    axis_dialog(true);
  } else if ((x - n.XMINGR) * n.XFACGR < 0) {
    axis_dialog(false);
  } else {
    grzoom(g, x, y, 1);
    redraw();
  }
}

void Loop::hardcopy() {
  Grcomn& n = g.n;
  ControlState& c = v.control;
  std::string labels[12];
  for (int i = 0; i < 12; ++i) labels[i] = pad(kHardcopyMenu[static_cast<std::size_t>(i)], 16);
  for (;;) {
    if (!queued(g) && !grdlgon(g)) return;  // nobody to answer
    int a = 1;
    float x = 0, y = 0;
    grcurs(g, 12, labels, a, x, y);
    if (a == 1) {
      int r = kModeDxf;
      grmode(g, r);
      if (n.IMODGR == kModeDxf) {
        grklst(g, 4);
        call(1);
        grklst(g, 3);
        grplst(g, v, 2);
        grclos(g);
      }
    } else if (a == 2 || a == 3) {
      const int want = a == 2 ? kModeShape : kModeArcPolygon;
      int r = want;
      grmode(g, r);
      if (n.IMODGR == want) {
        call(1);
        grclos(g);
      }
    } else if (a >= 4 && a <= 9) {
      std::string ext(labels[a - 1].substr(2, 3));
      for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      std::string name;
      std::error_code ec;
      for (int k = 0; k <= 9999; ++k) {
        name = "gr" + dig4(k) + "." + ext;
        if (!std::filesystem::exists(name, ec)) break;
      }
      const std::string wname = g.t.WNABGR.substr(0, g.t.WNABGR.find('\0'));
      c.pending = {"import", "-window", std::string(trim_right(wname))};
      if (c.frame) c.pending.push_back("-frame");
      if (c.crop) {
        c.pending.push_back("-crop");
        c.pending.push_back(dig4(n.WNDWGR[2] - 100) + "x" + dig4(n.WNDWGR[3]) + "+0+0");
      }
      c.pending.push_back(name);
      c.pending_msg = pad("screen shot to " + name, 40);
      // Taken at once, from the picture without the menu.
      redraw();
    } else if (a == 10) {
      const std::string fields[3] = {"with frame", "crop", "with date"};
      std::string values[3] = {box(c.frame), box(c.crop), box(n.HCDTGR)};
      grinfo(g, 3, fields, values);
      if (cancelled(values[0])) continue;
      c.frame = ticked(values[0]);
      c.crop = ticked(values[1]);
      n.HCDTGR = ticked(values[2]) ? 1 : 0;
    } else if (a == 11) {
      const std::string help[5] = {"Stores display content in vector formats (Shape,",
                                   "DXF, ArcPolygon) or screen shots (TIFF, GIF etc).",
                                   "Makes use of the import function (ImageMagick) to",
                                   "capture screen input. Attributes (color, frames) can",
                                   "be specified"};
      grtext(g, help, 5);
    } else if (a == 12) {
      grflip(g);
      grpause(g, 5);
      return;
    }
  }
}

void Loop::keep() {
  std::string labels[6];
  for (int i = 0; i < 6; ++i) labels[i] = pad(kKeepMenu[static_cast<std::size_t>(i)], 16);
  for (;;) {
    if (!queued(g) && !grdlgon(g)) return;
    int a = 1;
    float x = 0, y = 0;
    grcurs(g, 6, labels, a, x, y);
    if (a == 1) {
      int r = kModeKeep;
      grmode(g, r);
      if (g.n.IMODGR == kModeKeep) {
        call(1);
        grplst(g, v, 2);
        grclos(g);
      }
    } else if (a == 2 || a == 3) {
      grklst(g, a - 1);
      return;
    } else if (a == 4) {
      grklst(g, 5);
    } else if (a == 5) {
      const std::string help[5] = {"KEEP options:", "  Save        the current image into a file",
                                   "  Foreground  plays previously saved keep file",
                                   "  Background  plays previously saved keep file",
                                   "  Bitmap      includes bitmap (supports pbm/pgm format)"};
      grtext(g, help, 5);
    } else if (a == 6) {
      return;
    }
  }
}

void Loop::query() {
  Grcomn& n = g.n;
  const std::string labels[11] = {"Draw Axes",       "Draw Grid",      "Dependent Scales",
                                  "Domain Boundary", "X-Units",        "Y-Units",
                                  "Zoom Factor",     "Symbol Factor",  "Scale Factor",
                                  "Language",        "Colours by Item"};
  std::string values[11] = {box(n.IN03GR),
                            box(n.IN04GR),
                            box(n.IN02GR),
                            box(n.IN12GR),
                            pad(fmt_i(n.NXINGR, 2), 40),
                            pad(fmt_i(n.NYINGR, 2), 40),
                            pad(fmt_f(n.ZOOMGR, 6, 2), 40),
                            pad(fmt_f(n.SYMFGR, 6, 1), 40),
                            pad(fmt_f(n.SCALGR, 6, 2), 40),
                            pad(n.LANGGR == 2 ? "|2|english|german" : "|1|english|german", 40),
                            box(v.contour.palette_by_item ? 1 : 0)};
  grinfo(g, 11, labels, values);
  if (cancelled(values[0])) return;
  bool changed = false;
  int* switches[4] = {&n.IN03GR, &n.IN04GR, &n.IN02GR, &n.IN12GR};
  for (int i = 0; i < 4; ++i) {
    const int on = ticked(values[i]) ? 1 : 0;
    changed = changed || on != *switches[i];
    *switches[i] = on;
  }
  auto refuse = [&](int i) {
    grmesg(g, labels[i] + " not read: " + std::string(trim_right(values[i])));
  };
  // Read in order; the first value that cannot be taken ends the reading.
  int nx = 0, ny = 0;
  double zoom = 0, symf = 0, scal = 0;
  if (!read_int(values[4], nx) || nx < 1 || nx > 99) return refuse(4);
  n.NXINGR = nx;
  if (!read_int(values[5], ny) || ny < 1 || ny > 99) return refuse(5);
  n.NYINGR = ny;
  if (!read_real(values[6], zoom)) return refuse(6);
  n.ZOOMGR = std::max(static_cast<float>(zoom), 0.1f);
  if (!read_real(values[7], symf)) return refuse(7);
  const float sym = std::max(static_cast<float>(symf), 0.1f);
  changed = changed || sym != n.SYMFGR;
  n.SYMFGR = sym;
  if (!read_real(values[8], scal)) return refuse(8);
  const float scale = std::max(static_cast<float>(scal), 0.1f);
  if (n.SCALGR > 0) {
    n.XSCLGR *= scale / n.SCALGR;
    n.YSCLGR *= scale / n.SCALGR;
  }
  n.SCALGR = scale;
  const std::string& lang = values[9];
  if (lang.size() < 2 || (lang[1] != '1' && lang[1] != '2')) return refuse(9);
  n.LANGGR = lang[1] - '0';
  // Colours by item, or the colour table as the key settings choose it.
  const bool by_item = ticked(values[10]);
  if (by_item != v.contour.palette_by_item) {
    v.contour.palette_by_item = by_item;
    const int p = by_item ? item_palette(texts.size() > kSubtitle
                                             ? std::string_view(texts).substr(kSubtitle, 80)
                                             : "")
                          : 0;
    const int m = std::abs(n.CMODGR);
    if (p != 0)
      n.CMODGR = p;
    else if (m >= kPaletteDepth && m <= kPaletteSpeed)
      n.CMODGR = 2;
    changed = true;
  }
  if (changed) redraw();
}

void Loop::value(float x, float y) {
  Grcomn& n = g.n;
  PlotScale s = ext;
  s[0] = x;
  s[1] = y;
  plot(2, s);
  grmov2(g, x, y);
  grsymb(g, 2);
  grdump(g);
  grflip(g);
  const std::string m = fmt_f(x + n.XORGR, 12, 3) + fmt_f(y + n.YORGR, 12, 3) + " /xy";
  grmesg(g, m);
  grjout(g, m.substr(0, 30));
}

void Loop::leave() {
  Grcomn& n = g.n;
  if (n.IN08GR == 0 && n.JOUTGR == 6) grclos(g);
  put_text(texts, kTitle, 80, g.t.TITLGR);
  if (n.SMALGR == 0) grwset(g);
}

void redraw_of(Graphics& g, Viewer& v, const PlotRoutine& plot, const PlotScale& extent) {
  std::string none;
  Loop l{g, v, plot, none, extent};
  l.redraw();
}

}  // namespace

const std::vector<std::string>& grctrl_help() {
  static const std::vector<std::string> help = {
      "Basic Options (for all plotting)",
      std::string(32, '-'),
      "",
      " Draw       -put lines (by moves and draws), text, and",
      "             symbols on the plot",
      " Hardcopy   -for hardcopies in different file formats",
      " Keep       -a meta-filing capability to:",
      "             -save the current picture",
      "             -recall and superimpose a saved picture",
      "             -display bitmaps (.pbm or .pgm format)",
      "              as foreground or background picture",
      " Original   -use the original scales, (useful after Zoom)",
      " Query      -change global settings and variables",
      " Replot     -replot (useful after Query, or Keep)",
      " Trace      -plots trace list",
      " Value      -look-up and print the value at the",
      "             current cursor location to output-file",
      " Yaw        -do perspective plots (beta version)",
      " eXit       -leave pictor window",
      "",
      "Additional Notes",
      std::string(16, '-'),
      "",
      "(1) Changing colors and contour spacing",
      "    -clicking on the color bar will open an option window",
      "(2) Placing a color key",
      "    -click on the left upper corner of the key",
      "    -click on the new position of the key",
      "(3) Changing title and subtitle",
      "    -click on the title will open a text window to edit title",
      "(4) Zooming",
      "    -use mouse wheel to zoom in/out",
      "    -or press left/right mouse button",
  };
  return help;
}

void grsset(Graphics& g, float xmin, float xmax, float ymin, float ymax) {
  g.n.XMINGR = xmin;
  g.n.XMAXGR = xmax;
  g.n.YMINGR = ymin;
  g.n.YMAXGR = ymax;
}

void grzoom(Graphics& g, float x, float y, int mode) {
  Grcomn& n = g.n;
  if (mode == -9) return;
  const int m = std::abs(mode);
  const float f = (m == 1 || m == 4) ? n.ZOOMGR : m == 2 ? 1.0f : 1.0f / n.ZOOMGR;
  const float hx = (n.XMAXGR - n.XMINGR) / 2, hy = (n.YMAXGR - n.YMINGR) / 2;
  const float x0 = x - f * (hx + (x - n.XMINGR)) / 2, x1 = x + f * (hx - (x - n.XMAXGR)) / 2;
  const float y0 = y - f * (hy + (y - n.YMINGR)) / 2, y1 = y + f * (hy - (y - n.YMAXGR)) / 2;
  if (!(std::fabs(x1 - x0) >= 1e-25f) || !(std::fabs(y1 - y0) >= 1e-25f)) return;
  grsset(g, x0, x1, y0, y1);
  n.INDSGR = 0;
}

bool grspawn(const std::vector<std::string>& argv, std::string& why, int seconds) {
  if (argv.empty()) return false;
  // The child reports a failed exec through a pipe closed by a successful one.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    why = "cannot start " + argv[0];
    return false;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    why = "cannot start " + argv[0];
    return false;
  }
  if (pid == 0) {
    execvp(args[0], args.data());
    const int e = errno;
    (void)!write(fds[1], &e, sizeof e);
    _exit(127);
  }
  close(fds[1]);
  int e = 0;
  ssize_t got;
  do {
    got = read(fds[0], &e, sizeof e);
  } while (got < 0 && errno == EINTR);
  close(fds[0]);
  // A program that does not end (import waits on for a window it cannot
  // find) is stopped, so the viewer does not hang with it.
  int st = 0;
  bool ended = false;
  for (int waited = 0; waited <= seconds * 20; ++waited) {
    const pid_t r = waitpid(pid, &st, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) {
      ended = r == pid;
      break;
    }
    usleep(50000);
  }
  if (!ended) {
    kill(pid, SIGKILL);
    while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    why = argv[0] + " did not finish within " + std::to_string(seconds) + " s";
    return false;
  }
  if (got == static_cast<ssize_t>(sizeof e)) {
    why = argv[0] + (e == ENOENT ? std::string(" not found") : ": " + std::string(strerror(e)));
    return false;
  }
  if (WIFEXITED(st) && WEXITSTATUS(st) == 0) return true;
  why = WIFEXITED(st) ? argv[0] + " ended with status " + std::to_string(WEXITSTATUS(st))
                      : argv[0] + " was stopped by a signal";
  return false;
}

void gryaw(Graphics& g, Viewer& v, const PlotRoutine& plot, const PlotScale& extent) {
  Grcomn& n = g.n;
  ControlState& c = v.control;
  const std::string labels[4] = {"Yaw", "Tilt", "Exaggeration", "Base level"};
  std::string values[4] = {pad(fmt_f(c.yaw, 12, 1), 40), pad(fmt_f(c.tilt, 12, 1), 40),
                           pad(fmt_f(c.exaggeration, 12, 2), 40), pad(fmt_f(c.base, 12, 2), 40)};
  grinfo(g, 4, labels, values);
  if (cancelled(values[0])) return;
  double r[4];
  for (int i = 0; i < 4; ++i) {
    if (!read_real(values[i], r[i])) {
      grmesg(g, labels[i] + " not read: " + std::string(trim_right(values[i])));
      return;
    }
  }
  c.yaw = static_cast<float>(r[0]);
  c.tilt = static_cast<float>(r[1]);
  c.exaggeration = static_cast<float>(r[2]);
  c.base = static_cast<float>(r[3]);
  // Turn the plan by the yaw about the centre of the window, then tip it
  // away by the tilt (0 = plan view) so that heights rise on the screen.
  const double deg = std::atan(1.0) / 45.0;
  const double sy = std::sin(c.yaw * deg), cy = std::cos(c.yaw * deg);
  const double st = std::sin(c.tilt * deg), ct = std::cos(c.tilt * deg);
  const double xc = (n.XMINGR + n.XMAXGR) / 2.0, yc = (n.YMINGR + n.YMAXGR) / 2.0;
  const double e = c.exaggeration;
  double t[4][4] = {{cy, sy * ct, -sy * st, 0},
                    {-sy, cy * ct, -cy * st, 0},
                    {0, st, ct, 0},
                    {xc - xc * cy + yc * sy, yc - (xc * sy + yc * cy) * ct - c.base * e * st,
                     (xc * sy + yc * cy) * st, e}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) n.TRANGR[i][j] = static_cast<float>(t[i][j]);
  n.ON3DGR = 1;
  redraw_of(g, v, plot, extent);
}

void grctrl(Graphics& g, Viewer& v, const PlotRoutine& plot, int option, std::string& texts) {
  Grcomn& n = g.n;
  Grcomt& t = g.t;
  ControlState& c = v.control;
  v.menu.clear();
  for (std::string_view e : kMainMenu) v.menu.push_back(pad(e, 16));
  grmesg(g, " ");

  const std::string tx = pad(texts, kTexts);
  if (!blank(tx.substr(kTitle, 10))) t.TITLGR = tx.substr(kTitle, 80);
  if (!blank(tx.substr(kSubtitle, 10))) t.TIT2GR = tx.substr(kSubtitle, 80);
  t.XCAPGR = tx.substr(kXLabel, 40);
  t.YCAPGR = tx.substr(kYLabel, 40);
  if (n.LANGGR > 1) {
    const std::pair<std::string*, std::size_t> captions[3] = {
        {&t.TIT2GR, 80}, {&t.XCAPGR, 40}, {&t.YCAPGR, 40}};
    for (const auto& [s, len] : captions) {
      grtrans(n.LANGGR, *s);
      *s = pad(*s, len);
    }
  }
  grplst(g, v, 0);

  if (option > 0) {
    const int w = option % 8192;
    int* bits[13] = {&n.IN01GR, &n.IN02GR, &n.IN03GR, &n.IN04GR, &n.IN05GR, &n.IN06GR, nullptr,
                     &n.IN08GR, &n.IN09GR, &n.IN10GR, &n.IN11GR, &n.IN12GR, &n.IN13GR};
    for (int b = 0; b < 13; ++b)
      if (bits[b]) *bits[b] = (w >> b) & 1;
  }
  if (c.nx_seen == 0 && c.ny_seen == 0) remember(c, n);

  Loop l{g, v, plot, texts};
  l.extent();
  if (!c.file.empty() && !c.file_checked) {
    // The settings file's window belongs to the file it names: another file,
    // or a window that misses this file's extent, starts on the whole extent.
    c.file_checked = true;
    const std::string name = grfix(c.file, 80);
    const bool misses = std::min(n.XMINGR, n.XMAXGR) > std::max(l.ext[0], l.ext[1]) ||
                        std::max(n.XMINGR, n.XMAXGR) < std::min(l.ext[0], l.ext[1]) ||
                        std::min(n.YMINGR, n.YMAXGR) > std::max(l.ext[2], l.ext[3]) ||
                        std::max(n.YMINGR, n.YMAXGR) < std::min(l.ext[2], l.ext[3]);
    if (t.FILNGR != name || misses) n.INDSGR = 1;
    t.FILNGR = name;
  }
  l.redraw();
  if (n.IN15GR == 1) return;

  // The menu redraws the current window (panned by the arrow keys, or
  // resized), which must not be derived from the data again.
  const std::function<void(int)> menu_plot = [&](int r) {
    if (r == 1) {
      n.INDSGR = 0;
      l.axes(0);
      l.call(1);
      grplst(g, v, 2);
      l.axes(1);
    } else {
      l.call(r);
    }
  };
  for (;;) {
    c.selection = 0;
    float x = 0, y = 0;
    if (!queued(g) && !grdlgon(g)) {  // no window and no script: nobody to answer
      l.leave();
      return;
    }
    const int nx0 = n.NXINGR, ny0 = n.NYINGR;
    int sel = 0;
    grcurs1(g, static_cast<int>(v.menu.size()), v.menu.data(), sel, x, y, menu_plot, c.readout);
    if (n.NXINGR != nx0 || n.NYINGR != ny0) {  // the window was resized
      l.axes(0);
      remember(c, n);
    }
    c.selection = sel;
    if (sel < 0) {
      grzoom(g, x, y, sel);
      l.redraw();
      continue;
    }
    switch (sel) {
      case 0:
        l.clicked(x, y);
        break;
      case 1:
        grdraw(g, v);
        break;
      case 2:
        l.hardcopy();
        break;
      case 3:
        l.keep();
        break;
      case 4:
        n.INDSGR = 1;
        n.ON3DGR = 0;
        l.extent();
        l.redraw();
        break;
      case 5:
        l.query();
        break;
      case 6:
        l.redraw();
        break;
      case 7:
        if (t.TRACGR.empty()) {
          grmesg(g, "Trace list is empty");
          break;
        }
        {
          std::vector<std::string> lines;
          for (const std::string& s : t.TRACGR) lines.push_back(pad(s, 80));
          grtext(g, lines.data(), static_cast<int>(lines.size()));
        }
        l.redraw();
        break;
      case 8:
        l.value(x, y);
        break;
      case 9:
        gryaw(g, v, plot, l.ext);
        break;
      case 10:
        grtext(g, grctrl_help().data(), static_cast<int>(grctrl_help().size()));
        l.redraw();
        break;
      case kMenuEntries:
        l.leave();
        return;
      default:  // the plot routine's own entries
        n.XCRSGR = x;
        n.YCRSGR = y;
        l.call(kMenuEntries - sel);
        break;
    }
  }
}

void grvect(Graphics& g, Viewer& v, const float* x, const float* y, const float* u, const float* v_,
            int ld, int ld2, int n1, int n2, int option, std::string& texts) {
  const int key = g.n.IKEYGR;
  g.n.IKEYGR = 0;
  const PlotRoutine plot = [&](int mode, PlotScale& s) {
    grvec1(g, v, mode, x, y, u, v_, ld, ld2, n1, n2, s.data());
  };
  try {
    grctrl(g, v, plot, option, texts);
  } catch (...) {
    g.n.IKEYGR = key;
    throw;
  }
  g.n.IKEYGR = key;
}

}  // namespace qf
