// Vector plot: arrows scaled by VSCLGR at every VSTPGR-th node, streamlines
// traced by a midpoint rule through the velocities of the two nearest
// nodes, and the commands the plot adds to the loop's menu.
#include "viewer/vector.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "graphics/dialog.h"
#include "graphics/internal.h"
#include "io/textio.h"
#include "viewer/viewer.h"

namespace qf {

namespace {

bool parse_field(std::string_view s, float& v) {
  s = trim_right(s);
  const std::size_t b = s.find_first_not_of(' ');
  return b != std::string_view::npos && parse_float(s.substr(b), v) && std::isfinite(v);
}

bool parse_field(std::string_view s, int& v) {
  s = trim_right(s);
  const std::size_t b = s.find_first_not_of(' ');
  long long w = 0;
  if (b == std::string_view::npos || !parse_int(s.substr(b), w)) return false;
  if (w < std::numeric_limits<int>::min() || w > std::numeric_limits<int>::max()) return false;
  v = static_cast<int>(w);
  return true;
}

// Nodes of the field in one flat list with a bucket grid, so that the two
// nodes nearest to a point are found without visiting them all.
class StreamField {
 public:
  void add(float x, float y, float u, float v) {
    x_.push_back(x);
    y_.push_back(y);
    u_.push_back(u);
    v_.push_back(v);
  }
  void build() {
    const int n = static_cast<int>(x_.size());
    if (n == 0) return;
    grmin(x_.data(), n, xlo_, xhi_);
    grmin(y_.data(), n, ylo_, yhi_);
    nb_ = std::max(1, static_cast<int>(std::sqrt(n / 2.0)));
    nb_ = std::min(nb_, 2048);
    cw_ = std::max((xhi_ - xlo_) / static_cast<float>(nb_), 1e-6f);
    ch_ = std::max((yhi_ - ylo_) / static_cast<float>(nb_), 1e-6f);
    start_.assign(static_cast<std::size_t>(nb_) * nb_ + 1, 0);
    for (int k = 0; k < n; ++k) ++start_[cell(cx(x_[k]), cy(y_[k])) + 1];
    for (std::size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
    std::vector<int> fill(start_.begin(), start_.end() - 1);
    items_.assign(static_cast<std::size_t>(n), 0);
    for (int k = 0; k < n; ++k) items_[fill[cell(cx(x_[k]), cy(y_[k]))]++] = k;
  }
  bool empty() const { return x_.empty(); }
  float xlo() const { return xlo_; }
  float xhi() const { return xhi_; }
  float ylo() const { return ylo_; }
  float yhi() const { return yhi_; }

  // Velocity at (px, py): inverse squared-distance weights of the two
  // nearest nodes, distances raised to at least 0.01.
  void velocity(float px, float py, float& u, float& v) const {
    int k1 = -1, k2 = -1;
    float d1 = std::numeric_limits<float>::infinity(), d2 = d1;
    const int ix = cx(px), iy = cy(py);
    const float h = std::min(cw_, ch_);
    for (int r = 0; r <= nb_; ++r) {
      // Nodes of ring r lie at least (r - 1) cells away.
      const float reach = static_cast<float>(r - 1) * h;
      if (r > 1 && k2 >= 0 && d2 <= reach * reach) break;
      for (int j = iy - r; j <= iy + r; ++j) {
        if (j < 0 || j >= nb_) continue;
        const bool edge = j == iy - r || j == iy + r;
        for (int i = ix - r; i <= ix + r; i += (edge || r == 0) ? 1 : 2 * r) {
          if (i < 0 || i >= nb_) continue;
          const std::size_t c = cell(i, j);
          for (int t = start_[c]; t < start_[c + 1]; ++t) {
            const int k = items_[static_cast<std::size_t>(t)];
            const float dx = x_[k] - px, dy = y_[k] - py;
            const float d = dx * dx + dy * dy;
            if (d < d1) {
              k2 = k1, d2 = d1;
              k1 = k, d1 = d;
            } else if (d < d2) {
              k2 = k, d2 = d;
            }
          }
        }
      }
    }
    if (k1 < 0) {
      u = v = 0;
      return;
    }
    const float w1 = 1.0f / std::max(d1, 0.01f);
    if (k2 < 0) {
      u = u_[k1];
      v = v_[k1];
      return;
    }
    const float w2 = 1.0f / std::max(d2, 0.01f);
    u = (w1 * u_[k1] + w2 * u_[k2]) / (w1 + w2);
    v = (w1 * v_[k1] + w2 * v_[k2]) / (w1 + w2);
  }

 private:
  int cx(float x) const {
    const float c = (x - xlo_) / cw_;
    return c >= 0 ? std::min(static_cast<int>(c), nb_ - 1) : 0;
  }
  int cy(float y) const {
    const float c = (y - ylo_) / ch_;
    return c >= 0 ? std::min(static_cast<int>(c), nb_ - 1) : 0;
  }
  std::size_t cell(int i, int j) const {
    return static_cast<std::size_t>(j) * static_cast<std::size_t>(nb_) +
           static_cast<std::size_t>(i);
  }
  std::vector<float> x_, y_, u_, v_;
  float xlo_ = 0, xhi_ = 0, ylo_ = 0, yhi_ = 0, cw_ = 1, ch_ = 1;
  int nb_ = 1;
  std::vector<int> start_, items_;
};

void trace(Graphics& g, const StreamField& f, float x0, float y0) {
  grcolr(g, g.n.VSYMGR);
  grmov2(g, x0, y0);
  if (f.empty()) return;
  float px = x0, py = y0;
  for (int it = 1; it <= kStreamlineSteps; ++it) {
    float u1 = 0, v1 = 0, u2 = 0, v2 = 0;
    f.velocity(px, py, u1, v1);
    f.velocity(px + u1 / 2, py + v1 / 2, u2, v2);
    if (u2 * u2 + v2 * v2 < 0.001f) break;
    px += (u1 + u2) / 4;
    py += (v1 + v2) / 4;
    grdrw2(g, px, py);
    if (it % 50 == 0) {
      const float th = std::atan2(v2, u2);
      grdrw2(g, px - 3 * std::cos(th + 0.3f), py - 3 * std::sin(th + 0.3f));
      grmov2(g, px - 3 * std::cos(th - 0.3f), py - 3 * std::sin(th - 0.3f));
      grdrw2(g, px, py);
    }
    if (!(px >= f.xlo() && px <= f.xhi() && py >= f.ylo() && py <= f.yhi())) break;
  }
  grdump(g);
}

StreamField field_of(const float* x, const float* y, const float* u, const float* v, int ld, int n1,
                     int n2) {
  StreamField f;
  for (int j = 0; j < n2; ++j)
    for (int i = 0; i < n1; ++i) {
      const std::size_t k = static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ld;
      f.add(x[k], y[k], u[k], v[k]);
    }
  f.build();
  return f;
}

// The nodes of the step selection: every VSTPGR-th column and row (every
// row when there is only one).
template <class F>
void each_selected(const Graphics& g, int n1, int n2, F f) {
  const int step = std::max(1, g.n.VSTPGR);
  for (int i = step; i <= n1; i += step)
    for (int j = n2 == 1 ? 1 : step; j <= n2; j += n2 == 1 ? 1 : step) f(i, j);
}

// One arrow from (x, y) of length `len` (user units) in direction th; the
// head is `head` long, at most 6 pixels.
void arrow(Graphics& g, float x, float y, float len, float th, float head) {
  const Grcomn& n = g.n;
  const float tx = x + len * std::cos(th), ty = y + len * std::sin(th);
  grmov2(g, x, y);
  grdrw2(g, tx, ty);
  const float hx = std::min(6 / std::fabs(n.XFACGR), head);
  const float hy = std::min(6 / std::fabs(n.YFACGR), head);
  grdrw2(g, tx - hx * std::cos(th + 0.3f), ty - hy * std::sin(th + 0.3f));
  grdrw2(g, tx - hx * std::cos(th - 0.3f), ty - hy * std::sin(th - 0.3f));
  grdrw2(g, tx, ty);
}

void draw(Graphics& g, Viewer& vw, const float* x, const float* y, const float* u, const float* v,
          int ld, int n1, int n2) {
  const Grcomn& n = g.n;
  grcolr(g, n.VSYMGR);
  each_selected(g, n1, n2, [&](int i, int j) {
    const std::size_t k = static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * ld;
    const float e = u[k] * u[k] + v[k] * v[k];
    if (n.VMINGR * n.VMINGR > e * n.VSCLGR || !std::isfinite(e)) return;
    const float m = std::sqrt(e);
    arrow(g, x[k], y[k], std::fabs(n.VSCLGR) * m, std::atan2(v[k], u[k]), 0.3f * m * n.VSCLGR);
  });
  if (!vw.vector.starts.empty()) {
    const StreamField f = field_of(x, y, u, v, ld, n1, n2);
    for (const auto& [sx, sy] : vw.vector.starts) trace(g, f, sx, sy);
  }
  if (n.IN12GR == 1 && n2 > 1) {
    grcolr(g, 0);
    auto at = [&](int i, int j) {
      return static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * ld;
    };
    grmov2(g, x[at(1, 1)], y[at(1, 1)]);
    for (int i = 2; i <= n1; ++i) grdrw2(g, x[at(i, 1)], y[at(i, 1)]);
    for (int j = 2; j <= n2; ++j) grdrw2(g, x[at(n1, j)], y[at(n1, j)]);
    for (int i = n1 - 1; i >= 1; --i) grdrw2(g, x[at(i, n2)], y[at(i, n2)]);
    for (int j = n2 - 1; j >= 1; --j) grdrw2(g, x[at(1, j)], y[at(1, j)]);
  }
  grcolr(g, 0);
  grdump(g);
}

void attributes(Graphics& g) {
  Grcomn& n = g.n;
  const std::string labels[4] = {"Size factor", "Color of scale", "Plotting frequence",
                                 "Minimum size"};
  std::string values[4] = {pad(fmt_f(n.VSCLGR, 12, 1), 40), pad(fmt_i(n.VSYMGR, 3), 40),
                           pad(fmt_i(n.VSTPGR, 5), 40), pad(fmt_f(n.VMINGR, 12, 3), 40)};
  grinfo(g, 4, labels, values);
  if (trim_right(values[0]) == "cancel") return;
  auto refuse = [&](int i) {
    grmesg(g, labels[i] + " not read: " + std::string(trim_right(values[i])));
  };
  float scl = 0, vmin = 0;
  int colour = 0, step = 0;
  if (!parse_field(values[0], scl)) {
    refuse(0);
  } else if (n.VSCLGR = scl; !parse_field(values[1], colour)) {
    refuse(1);
  } else if (n.VSYMGR = colour; !parse_field(values[2], step) || step < 1) {
    refuse(2);  // a step below 1 selects no node
  } else if (n.VSTPGR = step; !parse_field(values[3], vmin)) {
    refuse(3);
  } else {
    n.VMINGR = vmin;
  }
  const std::string redraw = "R";
  grscpt(g, 1, &redraw, 1);
}

void write_values(Graphics& g, const float* x, const float* y, const float* u, const float* v,
                  int ld, int n1, int n2) {
  const std::string labels[4] = {pad(" MMagnitude", 20), pad(" VVector", 20), pad(" ??", 20),
                                 pad(" DDone", 20)};
  for (;;) {
    if (g.n.NSCRGR <= g.n.SCTKGR && !grdlgon(g)) return;  // nobody to answer
    int a = 1;
    float cx = 0, cy = 0;
    grcurs(g, 4, labels, a, cx, cy);
    if (a == 1 || a == 2) {
      std::string name(80, ' ');
      const int ch = g.n.JDV2GR;
      grfil(g, ch, name);
      if (name.empty()) continue;
      const Grcomn& n = g.n;
      each_selected(g, n1, n2, [&](int i, int j) {
        const std::size_t k =
            static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * ld;
        const float m = std::sqrt(u[k] * u[k] + v[k] * v[k]);
        if (!(m >= n.VMINGR)) return;
        std::string line = fmt_f(n.XORGR + x[k], 12, 2) + fmt_f(n.YORGR + y[k], 12, 2);
        line += a == 1 ? fmt_f(m, 8, 2) : fmt_f(u[k], 8, 2) + fmt_f(v[k], 8, 2);
        g.files.line(ch, line);
      });
      if (grfdone(g, ch)) grmesg(g, "values stored on " + name);
      return;
    }
    if (a == 3) {
      const std::string help[3] = {
          "WRITE formats/options:", "Magnitude  ASCII table with magnitude of vectors.",
          "Vector     ASCII table with vector components."};
      grtext(g, help, 3);
    }
    if (a == 4) return;
  }
}

}  // namespace

void grmin(const float* a, int n, float& lo, float& hi) {
  lo = hi = n > 0 ? a[0] : 0.0f;
  for (int k = 1; k < n; ++k) {
    lo = std::min(lo, a[k]);
    hi = std::max(hi, a[k]);
  }
}

void grslin(Graphics& g, const float* x, const float* y, const float* u, const float* v, int n,
            float x0, float y0) {
  StreamField f;
  for (int k = 0; k < n; ++k) f.add(x[k], y[k], u[k], v[k]);
  f.build();
  trace(g, f, x0, y0);
}

int grarrows(Graphics& g, const float* x, const float* y, const float* u, const float* v, int ld,
             int n1, int n2, float nodata) {
  const Grcomn& n = g.n;
  if (n1 < 2 || n2 < 1 || ld < n1) return 0;
  auto at = [ld](int i, int j) {
    return static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ld;
  };
  auto shown = [&](std::size_t k) {
    return u[k] > nodata + 0.1f && v[k] > nodata + 0.1f && std::isfinite(u[k]) &&
           std::isfinite(v[k]);
  };
  // Node spacing in pixels along the first row gives the step.
  const float dx = std::fabs(x[at(n1 - 1, 0)] - x[at(0, 0)]) / static_cast<float>(n1 - 1);
  const float cell = dx * std::fabs(n.XFACGR);
  if (!(cell > 0)) return 0;
  const int k = std::max(1, static_cast<int>(std::ceil(kArrowSpacing / cell)));
  float fastest = 0;
  for (int j = 0; j < n2; j += k)
    for (int i = 0; i < n1; i += k)
      if (shown(at(i, j))) fastest = std::max(fastest, std::hypot(u[at(i, j)], v[at(i, j)]));
  if (!(fastest > 0)) return 0;
  const float per_speed = 0.9f * static_cast<float>(k) * dx / fastest;  // metres per m/s
  // Black: the vector colour may be one of the colour classes below.
  grcolr(g, 0);
  for (int j = 0; j < n2; j += k)
    for (int i = 0; i < n1; i += k) {
      const std::size_t p = at(i, j);
      if (!shown(p)) continue;
      const float m = std::hypot(u[p], v[p]);
      if (m * per_speed * std::fabs(n.XFACGR) < 1) continue;  // under a pixel
      arrow(g, x[p], y[p], m * per_speed, std::atan2(v[p], u[p]), 0.3f * m * per_speed);
    }
  // The reference arrow: a round speed near the fastest.
  const float p10 = std::pow(10.0f, std::floor(std::log10(fastest)));
  float ref = p10;
  for (float c : {2.0f, 5.0f, 10.0f})
    if (c * p10 <= fastest) ref = c * p10;
  // Right of the y axis's unit label in the upper left corner.
  const float rx = n.XMINGR + 34 / std::fabs(n.XFACGR), ry = n.YMAXGR - 12 / std::fabs(n.YFACGR);
  arrow(g, rx, ry, ref * per_speed, 0, 0.3f * ref * per_speed);
  grcolr(g, 0);
  grmov2(g, rx + ref * per_speed + 6 / std::fabs(n.XFACGR), ry - 4 / std::fabs(n.YFACGR));
  granot(g, bare(fmt_f(ref, 12, ref < 1 ? 2 : 1)) + " m/s", 0);
  grdump(g);
  return k;
}

int grstreams(Graphics& g, const float* x, const float* y, const float* u, const float* v, int ld,
              int n1, int n2, float nodata) {
  const Grcomn& n = g.n;
  if (n1 < 2 || n2 < 2 || ld < n1) return 0;
  auto at = [ld](int i, int j) {
    return static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ld;
  };
  const float x0 = x[0], y0 = y[0];
  const float dx = (x[at(n1 - 1, 0)] - x0) / static_cast<float>(n1 - 1);
  const float dy = (y[at(0, n2 - 1)] - y0) / static_cast<float>(n2 - 1);
  if (!(std::fabs(dx) > 0) || !(std::fabs(dy) > 0)) return 0;
  auto valid = [&](std::size_t k) {
    return u[k] > nodata + 0.1f && v[k] > nodata + 0.1f && std::isfinite(u[k]) &&
           std::isfinite(v[k]);
  };
  // Bilinear velocity at (px, py); false outside the grid or in a cell with
  // an empty corner.
  auto velocity = [&](float px, float py, float& vu, float& vv) {
    const float fi = (px - x0) / dx, fj = (py - y0) / dy;
    if (!(fi >= 0 && fj >= 0 && fi <= static_cast<float>(n1 - 1) &&
          fj <= static_cast<float>(n2 - 1)))
      return false;
    const int i = std::min(static_cast<int>(fi), n1 - 2),
              j = std::min(static_cast<int>(fj), n2 - 2);
    const float a = fi - static_cast<float>(i), b = fj - static_cast<float>(j);
    const std::size_t k00 = at(i, j), k10 = at(i + 1, j), k01 = at(i, j + 1),
                      k11 = at(i + 1, j + 1);
    if (!valid(k00) || !valid(k10) || !valid(k01) || !valid(k11)) return false;
    auto mix = [&](const float* f) {
      return (1 - a) * (1 - b) * f[k00] + a * (1 - b) * f[k10] + (1 - a) * b * f[k01] +
             a * b * f[k11];
    };
    vu = mix(u);
    vv = mix(v);
    return true;
  };
  const float h = 0.5f * std::min(std::fabs(dx), std::fabs(dy));  // step length [m]
  std::vector<float> px, py;
  // Points of one line from (sx, sy), downstream (dir 1) or upstream (-1),
  // by the midpoint rule on the direction of the flow.
  auto trace = [&](float sx, float sy, float dir) {
    px.assign(1, sx);
    py.assign(1, sy);
    float cx = sx, cy = sy;
    for (int s = 0; s < kStreamlineSteps; ++s) {
      float a = 0, b = 0;
      if (!velocity(cx, cy, a, b)) break;
      float m = std::hypot(a, b);
      if (!(m > 1e-6f)) break;
      const float mx = cx + 0.5f * dir * h * a / m, my = cy + 0.5f * dir * h * b / m;
      if (!velocity(mx, my, a, b)) break;
      m = std::hypot(a, b);
      if (!(m > 1e-6f)) break;
      cx += dir * h * a / m;
      cy += dir * h * b / m;
      px.push_back(cx);
      py.push_back(cy);
    }
  };
  auto draw_line = [&] {
    if (px.size() < 2) return;
    grmov2(g, px[0], py[0]);
    for (std::size_t k = 1; k < px.size(); ++k) grdrw2(g, px[k], py[k]);
  };
  // Seeds on the wet nodes of a lattice of about kStreamSpacing pixels,
  // fixed to the grid (a pan keeps the lines), inside the view.
  const float cell = std::min(std::fabs(dx * n.XFACGR), std::fabs(dy * n.YFACGR));
  if (!(cell > 0)) return 0;
  const int k = std::max(1, static_cast<int>(std::ceil(kStreamSpacing / cell)));
  const float xlo = std::min(n.XMINGR, n.XMAXGR), xhi = std::max(n.XMINGR, n.XMAXGR);
  const float ylo = std::min(n.YMINGR, n.YMAXGR), yhi = std::max(n.YMINGR, n.YMAXGR);
  grcolr(g, 0);
  int lines = 0;
  for (int j = k / 2; j < n2 - 1; j += k)
    for (int i = k / 2; i < n1 - 1; i += k) {
      const float sx = x[at(i, j)], sy = y[at(i, j)];
      if (sx < xlo || sx > xhi || sy < ylo || sy > yhi) continue;
      float a = 0, b = 0;
      if (!velocity(sx, sy, a, b) || !(std::hypot(a, b) > 1e-6f)) continue;
      trace(sx, sy, 1);
      draw_line();
      trace(sx, sy, -1);
      draw_line();
      ++lines;
    }
  grdump(g);
  return lines;
}

void grvec1(Graphics& g, Viewer& vw, int request, const float* x, const float* y, const float* u,
            const float* v_, int ld, int ld2, int n1, int n2, float extent[4]) {
  (void)ld2;
  const bool nodes = n1 >= 1 && n2 >= 1 && ld >= n1;
  switch (request) {
    case 0: {
      float lo = 0, hi = 1, ylo = 0, yhi = 1;
      if (nodes) {
        lo = hi = x[0];
        ylo = yhi = y[0];
        for (int j = 0; j < n2; ++j)
          for (int i = 0; i < n1; ++i) {
            const std::size_t k = static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ld;
            lo = std::min(lo, x[k]), hi = std::max(hi, x[k]);
            ylo = std::min(ylo, y[k]), yhi = std::max(yhi, y[k]);
          }
      }
      extent[0] = lo, extent[1] = hi, extent[2] = ylo, extent[3] = yhi;
      for (std::string_view e : kVectorMenu) vw.menu.push_back(pad(e, 16));
      vw.vector.starts.clear();
      return;
    }
    case 1:
      if (nodes) draw(g, vw, x, y, u, v_, ld, n1, n2);
      return;
    case -1: {
      if (!nodes) return;
      int i = 1, j = 1;
      grnear(g, x, y, n1, n2, ld, i, j);
      const std::size_t k = static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * ld;
      grmesg(g, "(X,Y):" + fmt_f(grwx(g, x[k]), 11, 2) + fmt_f(grwy(g, y[k]), 11, 2) +
                    " (I,J):" + fmt_i(i, 6) + fmt_i(j, 6) + vw.vector.components +
                    fmt_f(u[k], 8, 2) + fmt_f(v_[k], 8, 2));
      return;
    }
    case -2:
      attributes(g);
      return;
    case -3:
      if (nodes) write_values(g, x, y, u, v_, ld, n1, n2);
      return;
    case -4: {
      auto& s = vw.vector.starts;
      const std::pair<float, float> p{g.n.XCRSGR, g.n.YCRSGR};
      if (static_cast<int>(s.size()) >= kStreamlines)
        s[kStreamlines - 1] = p;
      else
        s.push_back(p);
      if (!nodes) return;
      trace(g, field_of(x, y, u, v_, ld, n1, n2), p.first, p.second);
      grcolr(g, 0);
      grflip(g);
      return;
    }
    case -5:
      // The components are the caller's own arrays, which the editor is
      // meant to change in place (the plot only reads them otherwise).
      if (nodes) gralter(g, vw, 2, n1, n2, ld, x, y, const_cast<float*>(u), const_cast<float*>(v_));
      return;
    case -6: {
      const std::string help[6] = {"Vector options:",
                                   "Nearest    gives components of nearest vector",
                                   "Attributes sets graphical attributes of vectors",
                                   "Write      stores data in different file formats.",
                                   "Streamline plots streamline from pointer location",
                                   "Alter      altering components of vectors"};
      grtext(g, help, 6);
      return;
    }
    default:
      return;
  }
}

}  // namespace qf
