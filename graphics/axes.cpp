// Axes and scales of a plot: nice scales, the window derived from the data,
// the frame with titles, date line, grid, tics and numbers; the number
// labels shared by axes, contour labels and the key; the contour labels of
// a cell; the colour key and its settings forms.
//
// Frame, texts and the key are drawn in window pixels: grclip(0) gives
// coordinates in pixels from an origin near the lower left of the plot,
// y upward; pix() turns a window pixel (y downward) into them.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "graphics/graphics.h"
#include "graphics/internal.h"
#include "io/textio.h"

namespace qf {

namespace {

constexpr int kCharWidth = 6;  // pixels per character of the fixed font

// Quotient q rounded down to a whole number, with room for the rounding of
// single-precision values that lie on a multiple.
double floor_q(double q) {
  return std::floor(q + 1e-5);
}

// Window-pixel drawing in device coordinates (after grclip(0)).
struct PixelPen {
  Graphics& g;
  float ox, oy;  // device origin in window pixels
  explicit PixelPen(Graphics& gr) : g(gr), ox(gr.n.XORGGR), oy(gr.n.YORGGR) {}
  void mov(int px, int py) { grmov2(g, static_cast<float>(px) - ox, oy - static_cast<float>(py)); }
  void drw(int px, int py) { grdrw2(g, static_cast<float>(px) - ox, oy - static_cast<float>(py)); }
  void line(int x1, int y1, int x2, int y2) {
    mov(x1, y1);
    drw(x2, y2);
  }
  // Text with the start of its baseline at (px, py).
  void text(int px, int py, std::string_view t) {
    if (trim_right(t).empty()) return;
    mov(px, py);
    granot(g, t, 0);
  }
  // Filled box of the window pixels x0..x1, y0..y1 (y0 above y1) with a
  // black outline.
  void box(int x0, int y0, int x1, int y1, int colour) {
    const float u0 = static_cast<float>(x0) - ox, v0 = oy - static_cast<float>(y1);
    grect(g, u0, v0, static_cast<float>(x1 - x0), static_cast<float>(y1 - y0), colour, 0);
    grcolr(g, 0);
    mov(x0, y0);
    drw(x1, y0);
    drw(x1, y1);
    drw(x0, y1);
    drw(x0, y0);
  }
};

// The frame of the plot in window pixels.
struct Frame {
  int l, r, b, t;
};

Frame frame_of(const Graphics& g) {
  const Grcomn& n = g.n;
  Frame f;
  f.l = grsafe_int(n.XORGGR);
  f.r = grsafe_int(n.XORGGR + n.XSCLGR * n.UNITGR * static_cast<float>(n.NXINGR));
  f.b = grsafe_int(n.YORGGR);
  f.t = grsafe_int(n.YORGGR - n.YSCLGR * n.UNITGR * static_cast<float>(n.NYINGR));
  return f;
}

// Margin around the data when the window is derived from them, as a
// fraction of the data extent on each side.
constexpr double kDataMargin = 0.02;

// Derives the window from the data extent: the data with a small margin fill
// the frame; with dependent scaling the axis with room to spare widens about
// the centre of the data so that a metre is as long in x as in y. The axis
// numbers stand on nice values inside the window (see graxes), so the
// window itself needs no rounding.
void window_from_data(Graphics& g, float xmin, float xmax, float ymin, float ymax) {
  Grcomn& n = g.n;
  const double xlo = std::min(xmin, xmax), xhi = std::max({double{xmin}, double{xmax}, xlo + 0.01});
  const double ylo = std::min(ymin, ymax), yhi = std::max({double{ymin}, double{ymax}, ylo + 0.01});
  double wx = (xhi - xlo) * (1 + 2 * kDataMargin), wy = (yhi - ylo) * (1 + 2 * kDataMargin);
  if (n.IN02GR) {
    const double pw = std::fabs(double{n.UNITGR} * n.NXINGR * n.XSCLGR);
    const double ph = std::fabs(double{n.UNITGR} * n.NYINGR * n.YSCLGR);
    if (pw > 0 && ph > 0) {
      const double per_pixel = std::max(wx / pw, wy / ph);
      wx = per_pixel * pw;
      wy = per_pixel * ph;
    }
  }
  const double xc = (xlo + xhi) / 2, yc = (ylo + yhi) / 2;
  n.XMINGR = static_cast<float>(xc - wx / 2);
  n.XMAXGR = static_cast<float>(xc + wx / 2);
  n.YMINGR = static_cast<float>(yc - wy / 2);
  n.YMAXGR = static_cast<float>(yc + wy / 2);
}

// Scales, clip rectangle and label steps from the current window.
void scales_of_window(Graphics& g) {
  Grcomn& n = g.n;
  grsfac(g);
  n.XMNCGR = std::min(n.XMINGR, n.XMAXGR);
  n.XMXCGR = std::max(n.XMINGR, n.XMAXGR);
  n.YMNCGR = std::min(n.YMINGR, n.YMAXGR);
  n.YMXCGR = std::max(n.YMINGR, n.YMAXGR);
  GrAxes& a = g.axes;
  a.xstep = (static_cast<double>(n.XMAXGR) - n.XMINGR) / std::max(n.NXINGR, 1);
  a.ystep = (static_cast<double>(n.YMAXGR) - n.YMINGR) / std::max(n.NYINGR, 1);
}

// Positions of the labels of one axis: the multiples of step from first
// that lie in the window lo .. hi.
std::vector<double> label_positions(double first, double step, double lo, double hi) {
  std::vector<double> v;
  if (!(step != 0) || !std::isfinite(step)) return v;
  const double s = std::fabs(step);
  const double a = std::min(lo, hi), b = std::max(lo, hi), tol = 1e-4 * s;
  double k0 = std::ceil((a - first) / s - 1e-4);
  for (double k = k0; v.size() < 1000; k += 1) {
    const double x = first + k * s;
    if (x > b + tol) break;
    if (x >= a - tol) v.push_back(x);
  }
  return v;
}

// Titles above the frame.
void draw_titles(Graphics& g, PixelPen& p, const Frame& f) {
  p.text(f.l, f.t - 18, g.t.TITLGR);
  p.text(f.l, f.t - 6, g.t.TIT2GR);
}

// Fraction steps of a number: how often (at most `most`) it must be
// multiplied by 10 before its fraction is at most `tol` (a fraction just
// below a whole number counts as none).
int fraction_steps(double v, double factor, double tol, int most) {
  v = std::fabs(v);
  int k = 0;
  while (k < most && v - std::trunc(factor * v) > tol) {
    v *= 10;
    ++k;
  }
  return k;
}

}  // namespace

// ---------------------------------------------------------------- scales

void grscal(const Graphics& g, float lo, float hi, int n, float& start, float& step) {
  const Grcomn& s = g.n;
  const int nint = std::max(n, 1);
  double d = (static_cast<double>(hi) - lo) / nint;
  if (d == 0) d = std::fabs(static_cast<double>(hi)) / nint;
  int p = -10;
  while (p < 10 && d * std::pow(10.0, p) < 1) ++p;
  const double gv = d * std::pow(10.0, p);
  const int nn = std::clamp(s.NNICGR, 1, 7);
  int i = nn;
  for (int k = 2; k <= nn; ++k)
    if (gv < s.NICEGR[k - 1]) {
      i = k;
      break;
    }
  double st = 1, sta = 0;
  for (;; ++i) {
    st = s.NICEGR[std::max(i - 1, 1) - 1] * std::pow(10.0, -p);
    const double q = std::clamp(static_cast<double>(lo) / st, -1e9, 1e9);
    sta = st * floor_q(q);
    if ((hi - sta) / st < nint + 1e-5 && (lo - sta) / st > -1e-5) break;
    if (i >= nn) break;
  }
  start = static_cast<float>(sta);
  step = static_cast<float>(st);
}

// ---------------------------------------------------------------- number labels

void grprnt(double value, double step, std::string& text, int& width) {
  const bool centred = width == 0;
  int d = 1;
  if (value != 0) {
    const double m = std::fabs(step) / 2 + std::fabs(value);
    d = std::clamp(grsafe_int(std::log10(m)), 0, 98) + 1;
  }
  if (value < 0) ++d;
  auto exponent = [&] {
    text = fmt_e(value, 9, 3) + std::string(9, ' ');
    width = 9;
  };
  auto integer = [&] {
    const std::string num = fmt_i(static_cast<long long>(std::trunc(value)), d);
    text = centred ? std::string((10 - d) / 2, ' ') + num : num;
    width = d;
  };
  if (!(step > 0)) {
    if (d + 1 > 8)
      exponent();
    else
      integer();
    return;
  }
  const int f = static_cast<int>(std::lround(0.49 - std::log10(step)));
  const int s = fraction_steps(step, 1.01, 0.1, 3);
  const int v = fraction_steps(value, 1.0001, 0.001, 4);
  const int gd = std::max({0, s, f, v});
  if (d + gd + 1 > 8 || gd > 4) {
    exponent();
    return;
  }
  if (gd > 0) {
    std::string num = fmt_f(value, d + gd + 1, gd);
    if (centred) num = std::string(std::max(1, (9 - (d + gd)) / 2), ' ') + num;
    const std::size_t k = num.find_first_not_of(' ');
    if (k != std::string::npos && k > 0 && num[k] == '.') num[k - 1] = '0';
    text = num;
    width = d + gd + 1;
    return;
  }
  integer();
}

namespace {

// The step of the axis numbers: the smallest of NICEGR times a power of
// ten not below the interval step (the sign kept); the interval step itself
// when it is one already.
double label_step(const Graphics& g, double step) {
  const double s = std::fabs(step);
  if (!(s > 0) || !std::isfinite(s)) return step;
  const double p = std::pow(10.0, std::floor(std::log10(s)));
  double best = 0;
  for (int e = 0; e < 2 && best == 0; ++e) {
    for (int i = 0; i < std::clamp(g.n.NNICGR, 1, 7); ++i) {
      const double c = g.n.NICEGR[i] * p * (e == 0 ? 1.0 : 10.0);
      if (c >= s * (1 - 1e-6) && (best == 0 || c < best)) best = c;
    }
  }
  if (best == 0) best = s;
  return std::copysign(best, step);
}

// User coordinate of a whole multiple of step in world coordinates (the
// first labelled value; label_positions walks on from it).
double round_first(double origin, double step) {
  if (!(step != 0) || !std::isfinite(step)) return 0;
  return std::floor(origin / step) * step - origin;
}

}  // namespace

// ---------------------------------------------------------------- axes

void graxes(Graphics& g, float xmin, float xmax, float ymin, float ymax, int draw) {
  Grcomn& n = g.n;
  GrAxes& a = g.axes;
  if (n.INDSGR == 1 && draw == 0) window_from_data(g, xmin, xmax, ymin, ymax);
  scales_of_window(g);
  if (a.xstep == 0 || a.ystep == 0) {
    n.INDSGR = 1;
    n.IN01GR = 1;
    window_from_data(g, xmin, xmax, ymin, ymax);
    scales_of_window(g);
  }
  a.xfirst = a.xstep * std::trunc(n.XMINGR / a.xstep);
  a.yfirst = a.ystep * std::trunc(n.YMINGR / a.ystep);
  if (draw == 0 || !grscreen(g)) return;

  const Frame f = frame_of(g);
  // Tics and numbers sit on round world values: a window set by a zoom or
  // typed in has interval steps like 13.37 m, and a world origin that is no
  // multiple of the step would put every number off the round values.
  const double xlab = label_step(g, a.xstep), ylab = label_step(g, a.ystep);
  const double xfirst = round_first(n.XORGR, xlab), yfirst = round_first(n.YORGR, ylab);
  const std::vector<double> xs = label_positions(xfirst, xlab, n.XMINGR, n.XMAXGR);
  const std::vector<double> ys = label_positions(yfirst, ylab, n.YMINGR, n.YMAXGR);
  std::vector<int> xpix, ypix;
  for (double x : xs) xpix.push_back(grdevx(g, static_cast<float>(x)));
  for (double y : ys) ypix.push_back(grdevy(g, static_cast<float>(y)));

  grdump(g);
  grcolr(g, 0);
  grdash(g, 1);
  const bool was_user = g.pen.user_coords;
  grclip(g, 0);
  PixelPen p(g);
  if (n.IKEYGR < 1) draw_titles(g, p, f);
  if (n.DTONGR) {
    const int y = n.IN03GR ? f.b + 30 : f.b + 15;
    p.text(f.l, y, g.t.DATEGR.substr(0, 12));
    const std::string_view firm = trim_right(g.t.FIRMGR);
    p.text(f.r - kCharWidth * static_cast<int>(firm.size()), y, firm);
  }
  if (!n.ON3DGR) {
    if (n.IN04GR) {
      // Grid through the labelled values (user coordinates, clipped).
      if (was_user) grclip(g, 1);
      grdash(g, 2);
      for (double x : xs) {
        grmov2(g, static_cast<float>(x), n.YMINGR);
        grdrw2(g, static_cast<float>(x), n.YMAXGR);
      }
      for (double y : ys) {
        grmov2(g, n.XMINGR, static_cast<float>(y));
        grdrw2(g, n.XMAXGR, static_cast<float>(y));
      }
      grdump(g);
      grdash(g, 1);
      grclip(g, 0);
    }
    if (n.IN03GR) {
      grcolr(g, 0);
      p.line(f.l, f.b, f.r, f.b);
      p.line(f.l, f.t, f.r, f.t);
      const std::string_view xcap = trim_right(g.t.XCAPGR);
      p.text((f.l + f.r) / 2 - kCharWidth * static_cast<int>(xcap.size()) / 2, f.b + 23, xcap);
      int written = 0;
      for (std::size_t i = 0; i < xs.size(); ++i) {
        const int px = xpix[i];
        if (px < f.l || px > f.r) continue;
        p.line(px, f.b, px, f.b - 3);
        p.line(px, f.t, px, f.t + 3);
        std::string label;
        int w = 0;
        grprnt(n.XORGR + xs[i], xlab, label, w);
        if (w < 6 || written % 2 == 0) p.text(px - 31, f.b + 12, label);
        ++written;
      }
      p.line(f.l, f.b, f.l, f.t);
      p.line(f.r, f.b, f.r, f.t);
      p.text(f.l + 6, f.t + 14, trim_right(g.t.YCAPGR));
      for (std::size_t j = 0; j < ys.size(); ++j) {
        const int py = ypix[j];
        if (py > f.b || py < f.t) continue;
        p.line(f.l, py, f.l + 3, py);
        p.line(f.r, py, f.r - 3, py);
        std::string label;
        int w = 1;
        grprnt(n.YORGR + ys[j], ylab, label, w);
        const std::string_view t = trim_right(label);
        p.text(f.l - 3 - kCharWidth * static_cast<int>(t.size()), py + 4, t);
      }
    }
  }
  grdump(g);
  if (was_user) grclip(g, 1);
}

// ---------------------------------------------------------------- contour labels

void grwrit(Graphics& g, const float* x, const float* y, const float* f, int n, const float* levels,
            int nlev, int nx, int ny) {
  Grcomn& s = g.n;
  if (n < 3 || nlev < 1) return;
  float xlo = x[0], xhi = x[0], ylo = y[0], yhi = y[0], flo = f[0], fhi = f[0];
  double xc = 0, yc = 0, fc = 0;
  for (int i = 0; i < n; ++i) {
    xlo = std::min(xlo, x[i]);
    xhi = std::max(xhi, x[i]);
    ylo = std::min(ylo, y[i]);
    yhi = std::max(yhi, y[i]);
    flo = std::min(flo, f[i]);
    fhi = std::max(fhi, f[i]);
    xc += x[i];
    yc += y[i];
    fc += f[i];
  }
  if (xhi < s.XMNCGR || xlo > s.XMXCGR || yhi < s.YMNCGR || ylo > s.YMXCGR) return;
  const int ncol = std::min(s.NCOLGR, nlev);
  bool any = false;
  for (int k = 1; k <= ncol && !any; ++k) any = flo < levels[k - 1] && levels[k - 1] < fhi;
  if (!any) return;
  xc /= n;
  yc /= n;
  fc /= n;
  std::vector<int>& count = g.axes.since_label;
  if (static_cast<int>(count.size()) < ncol + 1) count.resize(ncol + 1, 0);
  const int w = s.NCOLGR / 20 + 1;
  const int u = grsafe_int(2 * std::sqrt(static_cast<double>(nx) * ny));
  for (int k = w; k <= ncol; k += w) {
    const double lv = levels[k - 1];
    if (!(flo < lv && lv < fhi)) continue;
    const double h =
        std::fabs(levels[std::min(k + 1, ncol) - 1] - levels[std::max(k - 1, 1) - 1]) / 2;
    for (int t = 0; t < n; ++t) {
      // Triangle of the corners t, t + 1 and the centre.
      const int t2 = (t + 1) % n;
      const double px[3] = {x[t], x[t2], xc}, py[3] = {y[t], y[t2], yc}, pf[3] = {f[t], f[t2], fc};
      double cx[2], cy[2];
      int m = 0;
      for (int e = 0; e < 3 && m < 2; ++e) {
        const int e2 = (e + 1) % 3;
        const double a = pf[e] - lv, b = pf[e2] - lv;
        if ((a < 0 && b >= 0) || (a >= 0 && b < 0)) {
          const double r = a / (a - b);
          cx[m] = px[e] + r * (px[e2] - px[e]);
          cy[m] = py[e] + r * (py[e2] - py[e]);
          ++m;
        }
      }
      if (m < 2) continue;
      int ang = 90;
      if (cx[0] != cx[1])
        ang = grsafe_int(57.3 * std::atan(std::fabs(s.YFACGR) * (cy[1] - cy[0]) /
                                          (std::fabs(s.XFACGR) * (cx[1] - cx[0]))));
      int& c = count[k];
      if (ang < -30) {
        ++c;
        continue;
      }
      const double r = h > 0 ? (fhi - flo) / h : 1e30;
      const bool place = (r < 0.2 && c > 0.2 * u) || (r < 0.4 && c > 0.3 * u) ||
                         (r < 0.8 && c > 0.5 * u) || (r < 1.6 && c > 0.8 * u) ||
                         (r < 3.2 && c > 1.2 * u);
      if (!place) {
        ++c;
        continue;
      }
      std::string label;
      int wd = 1;
      grprnt(lv, h, label, wd);
      grmov2(g, static_cast<float>((cx[0] + cx[1]) / 2), static_cast<float>((cy[0] + cy[1]) / 2));
      granot(g, "~~" + label, ang);
      c = 1 - u;
    }
  }
}

// ---------------------------------------------------------------- colour key

namespace {

// The box area of the key (pixels): nbox boxes in a column right of the
// frame (IKEYGR 2) or in a row above it.
struct KeyArea {
  int x0, yb, bw, bh;
  bool column;
};

KeyArea key_area(const Graphics& g, const Frame& f, int nbox) {
  const Grcomn& n = g.n;
  const float ks = std::max(n.KEYSGR, 0.1f);
  if (n.IKEYGR == 2) {
    const int bw = std::max(2, grsafe_int(20 * ks)), bh = std::max(2, grsafe_int(15 * ks));
    return {f.r + 10 + grsafe_int(n.KEYXGR), f.b - grsafe_int(n.KEYYGR), bw, bh, true};
  }
  int bw = std::max(2, grsafe_int(30 * ks));
  const int bh = std::max(2, grsafe_int(10 * ks));
  if (nbox * bw > f.r - f.l) bw = std::max(2, (f.r - f.l) / nbox);
  return {f.r - grsafe_int(n.KEYXGR) - nbox * bw, f.t - grsafe_int(n.KEYYGR), bw, bh, false};
}

// Boxes of the key: the classes, and with no-data values not drawn one more
// box for the values below level 1.
int key_boxes(const Graphics& g) {
  return std::max(g.n.NCOLGR, 1) + (g.n.IN07GR ? 0 : 1);
}

void draw_key(Graphics& g, const std::vector<float>& levels, int colour) {
  Grcomn& n = g.n;
  if (n.IKEYGR < 1 || !grscreen(g)) return;
  const Frame f = frame_of(g);
  grdump(g);
  grcolr(g, 0);
  grdash(g, 1);
  const bool was_user = g.pen.user_coords;
  grclip(g, 0);
  PixelPen p(g);
  draw_titles(g, p, f);
  const int ncol = std::max(n.NCOLGR, 1);
  // With no-data values drawn, the classes start at level 1; otherwise the
  // first box holds the values below it.
  const int below = n.IN07GR ? 0 : 1;
  const int nbox = key_boxes(g);
  const double inc = levels.size() > 1 ? std::fabs(levels[1] - levels[0]) : 0.0;
  auto label_of = [&](int b, std::string& t) {  // level at boundary b, if any
    const int k = b - below + 1;
    if (k < 1 || k > ncol + 1 || k > static_cast<int>(levels.size())) return false;
    int w = 1;
    grprnt(levels[k - 1], inc, t, w);
    t = std::string(trim_right(t));
    return true;
  };
  const bool lines = n.IN14GR != 0;
  const std::string unit(trim_right(g.t.KEYUGR));
  const KeyArea a = key_area(g, f, nbox);
  if (a.column) {
    // Column of boxes right of the frame, upward from KEYYGR above its bottom.
    const int bw = a.bw, bh = a.bh, x0 = a.x0, yb = a.yb;
    for (int b = 1; b <= nbox; ++b) p.box(x0, yb - b * bh, x0 + bw, yb - (b - 1) * bh, b);
    if (lines) {
      grcolr(g, colour);
      for (int b = 1; b < nbox; ++b) p.line(x0, yb - b * bh, x0 + bw, yb - b * bh);
      grcolr(g, 0);
    }
    const int every = bh < 12 ? 2 : 1;
    for (int b = 0; b <= nbox; b += every) {
      std::string t;
      if (label_of(b, t)) p.text(x0 + bw + 4, yb - b * bh + 4, t);
    }
    if (!unit.empty()) p.text(x0, yb - nbox * bh - 6, unit);
  } else {
    // Row of boxes above the frame, ending KEYXGR left of its right side.
    const int bw = a.bw, bh = a.bh, x0 = a.x0, yb = a.yb;
    for (int b = 1; b <= nbox; ++b) p.box(x0 + (b - 1) * bw, yb - bh, x0 + b * bw, yb, b);
    if (lines) {
      grcolr(g, colour);
      for (int b = 1; b < nbox; ++b) p.line(x0 + b * bw, yb - bh, x0 + b * bw, yb);
      grcolr(g, 0);
    }
    std::size_t widest = 0;
    for (int b = 0; b <= nbox; ++b) {
      std::string t;
      if (label_of(b, t)) widest = std::max(widest, t.size());
    }
    const int every = static_cast<int>(widest + 1) * kCharWidth > bw ? 2 : 1;
    for (int b = 0; b <= nbox; b += every) {
      std::string t;
      if (label_of(b, t))
        p.text(x0 + b * bw - kCharWidth * static_cast<int>(t.size()) / 2, yb - bh - 3, t);
    }
    // The unit stands left of the first box, clear of its label.
    std::string first;
    const int half = label_of(0, first) ? static_cast<int>(first.size() + 1) / 2 : 0;
    if (!unit.empty())
      p.text(x0 - kCharWidth * (half + 1 + static_cast<int>(unit.size())), yb - bh - 3, unit);
  }
  grdump(g);
  if (was_user) grclip(g, 1);
}

bool read_int(const std::string& s, int& v) {
  FreeReader r(s);
  return r.read(v) == ReadStatus::ok &&
         FreeReader(s.substr(r.position())).read(v) == ReadStatus::end;
}

bool read_real(const std::string& s, float& v) {
  FreeReader r(s);
  float t = 0;
  if (r.read(t) != ReadStatus::ok || !std::isfinite(t)) return false;
  int dummy = 0;
  if (FreeReader(s.substr(r.position())).read(dummy) != ReadStatus::end) return false;
  v = t;
  return true;
}

// The digit of a choice field "|d|...".
int choice_of(const std::string& s) {
  return s.size() >= 2 && s[0] == '|' && s[1] >= '0' && s[1] <= '9' ? s[1] - '0' : -1;
}

// The form's answer "cancel" (cut to the length of the first field).
bool cancelled(const std::string& first) {
  return first == pad("cancel", first.size());
}

bool ticked(const std::string& s) {
  return !s.empty() && s[0] == '+';
}

void settings_form(Graphics& g, std::vector<float>& levels, int& below) {
  Grcomn& n = g.n;
  static const char* const kLabels[12] = {"Contour number", "Origin",         "Increment",
                                          "Contour lines",  "Contour labels", "Plot < Origin",
                                          "Color of scale", "Scale type",     "Key type",
                                          "Size of key",    "Fill Pattern",   "Fill Distance"};
  std::string labels[12];
  for (int i = 0; i < 12; ++i) labels[i] = pad(kLabels[i], 16);
  if (levels.size() < 2) levels.resize(2, levels.empty() ? 0.0f : levels[0]);
  const int cm = std::clamp(std::abs(n.CMODGR), 1, kPaletteSpeed);
  const int kt = std::clamp(n.IKEYGR, 1, 2);
  std::string v[12] = {fmt_i(n.NCOLGR, 3),
                       fmt_f(levels[0], 12, 3),
                       fmt_f(static_cast<double>(levels[1]) - levels[0], 12, 3),
                       n.IN14GR ? "+" : "_",
                       n.LABLGR ? "+" : "_",
                       below ? "+" : "_",
                       fmt_i(n.CPARGR, 3),
                       "|" + std::to_string(cm) + "|grey|rainbow|uniform|none|depth|terrain|speed",
                       "|" + std::to_string(kt) + "|horizontal|vertical",
                       fmt_f(n.KEYSGR, 6, 1),
                       fmt_i(n.HTCHGR, 5),
                       fmt_i(n.HTSPGR, 5)};
  for (;;) {
    grinfo(g, 12, labels, v);
    if (cancelled(v[0])) return;
    int ncol = 0, cpar = 0, hatch = 0, hsp = 0;
    float origin = 0, incr = 0, size = 0;
    const int mode = choice_of(v[7]), key = choice_of(v[8]);
    const bool ok = read_int(v[0], ncol) && ncol >= 1 && ncol <= 200 && read_real(v[1], origin) &&
                    read_real(v[2], incr) && read_int(v[6], cpar) && mode >= 1 &&
                    mode <= kPaletteSpeed && key >= 1 && key <= 2 && read_real(v[9], size) &&
                    read_int(v[10], hatch) && read_int(v[11], hsp);
    if (!ok) continue;  // shown again
    n.NCOLGR = ncol;
    n.IN14GR = ticked(v[3]) ? 1 : 0;
    n.LABLGR = ticked(v[4]) ? 1 : 0;
    below = ticked(v[5]) ? 1 : 0;
    n.CPARGR = cpar;
    n.CMODGR = n.CMODGR < 0 ? -mode : mode;
    n.IKEYGR = key;
    n.KEYSGR = size;
    n.HTCHGR = hatch;
    n.HTSPGR = std::max(hsp, 1);
    if (static_cast<int>(levels.size()) < ncol + 1) levels.resize(ncol + 1);
    levels[0] = origin;
    for (int k = 2; k <= ncol + 1; ++k) levels[k - 1] = levels[k - 2] + incr;
    return;
  }
}

void title_form(Graphics& g) {
  const std::string labels[2] = {pad("Title", 16), pad("Subtitle", 16)};
  std::string v[2] = {g.t.TITLGR, g.t.TIT2GR};
  grinfo(g, 2, labels, v);
  if (cancelled(v[0])) return;
  g.t.TITLGR = grfix(v[0], 80);
  g.t.TIT2GR = grfix(v[1], 80);
}

}  // namespace

bool grkeyat(const Graphics& g, float x, float y) {
  const Grcomn& n = g.n;
  if (n.IKEYGR < 1 || n.XFACGR == 0 || n.YFACGR == 0) return false;
  const int nbox = key_boxes(g);
  const KeyArea a = key_area(g, frame_of(g), nbox);
  const float px = (x - n.XMINGR) * n.XFACGR + n.XORGGR;
  const float py = (y - n.YMINGR) * n.YFACGR + n.YORGGR;
  // The boxes and a margin of 2 pixels around them.
  const int w = a.column ? a.bw : nbox * a.bw, h = a.column ? nbox * a.bh : a.bh;
  const int top = a.yb - h;
  return px >= a.x0 - 2 && px <= a.x0 + w + 2 && py >= top - 2 && py <= a.yb + 2;
}

void grkey2(Graphics& g, std::vector<float>& levels, int mode1, int& mode2, int colour) {
  if (mode1 >= 1)
    draw_key(g, levels, colour);
  else if (mode1 == 0)
    settings_form(g, levels, mode2);
  else
    title_form(g);
}

}  // namespace qf
