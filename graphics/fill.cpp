// Area, mark and text primitives: filled polygons and their outlines,
// hatching, the 15 marker symbols, text at the pen, the progress bar, the
// screen clear and the clean-up rectangles.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "graphics/graphics.h"
#include "graphics/internal.h"
#include "io/textio.h"

namespace qf {

std::string grdig2(int k) {
  std::string s = fmt_i(std::abs(k) % 100, 2);
  if (s[0] == ' ') s[0] = '0';
  return s;
}

namespace {

// Marker strokes (dx, dy, pen) at symbol factor 1; a 99 ends the list.
constexpr int kStrokes[15][14][3] = {
    {{0, -4, 1},
     {-2, 0, 1},
     {-2, 2, 1},
     {0, 4, 1},
     {2, 2, 1},
     {4, 0, 1},
     {2, -2, 1},
     {0, -4, 1},
     {-2, -2, 1},
     {-2, 0, 1},
     {0, 4, 0},
     {99}},
    {{0, -4, 1}, {-4, 0, 1}, {0, 8, 1}, {8, 0, 1}, {0, -8, 1}, {-4, 0, 1}, {0, 4, 0}, {99}},
    {{0, -4, 1}, {-4, 8, 1}, {8, 0, 1}, {-4, -8, 1}, {0, 4, 0}, {99}},
    {{0, -4, 0}, {0, 8, 1}, {-4, -4, 0}, {8, 0, 1}, {-4, 0, 0}, {99}},
    {{-4, -4, 0}, {8, 8, 1}, {0, -8, 0}, {-8, 8, 1}, {4, -4, 0}, {99}},
    {{0, -4, 1}, {-4, 4, 1}, {4, 4, 1}, {4, -4, 1}, {-4, -4, 1}, {0, 4, 0}, {99}},
    {{0, 4, 0}, {0, -8, 1}, {-4, 4, 1}, {8, 0, 1}, {-4, -4, 1}, {0, 4, 0}, {99}},
    {{-4, 4, 0}, {8, -8, 1}, {-8, 0, 1}, {8, 8, 1}, {-4, -4, 0}, {99}},
    {{-4, -4, 0}, {8, 0, 1}, {-8, 8, 1}, {8, 0, 1}, {0, -4, 0}, {-8, 0, 1}, {4, 0, 0}, {99}},
    {{-4, -4, 0}, {4, 4, 1}, {4, -4, 1}, {-4, 4, 0}, {0, 4, 1}, {0, -4, 0}, {99}},
    {{-4, -4, 0},
     {8, 8, 1},
     {0, -8, 0},
     {-8, 8, 1},
     {2, -2, 0},
     {0, -4, 1},
     {4, 0, 1},
     {0, 4, 1},
     {-4, 0, 1},
     {2, -2, 0},
     {99}},
    {{-4, -4, 0},
     {8, 8, 1},
     {0, -8, 0},
     {-8, 8, 1},
     {0, -4, 0},
     {8, 0, 1},
     {-4, -4, 0},
     {0, 8, 1},
     {0, -4, 0},
     {99}},
    {{-4, -4, 1}, {8, 0, 1}, {-8, 8, 1}, {8, 0, 1}, {-4, -4, 1}, {99}},
    {{0, -4, 0}, {0, 8, 1}, {0, -4, 0}, {99}},
    {{-2, -4, 0},
     {2, 8, 1},
     {2, -8, 1},
     {-6, 6, 1},
     {8, 0, 1},
     {-6, -6, 1},
     {2, 8, 1},
     {0, -4, 0},
     {99}},
};

void keep_line(Graphics& g, std::string_view s) {
  g.files.line(g.n.JDV3GR, s);
}
void dxf_line(Graphics& g, std::string_view s) {
  g.files.line(g.n.JDV1GR, s);
}

// One DXF SOLID of the corners a, b, c, d (world coordinates), written in
// the order a, b, d, c so that the four corners form the quadrilateral.
void dxf_solid(Graphics& g, int colour, const double* x, const double* y, int a, int b, int c,
               int d) {
  dxf_line(g, "0");
  dxf_line(g, "SOLID");
  dxf_line(g, "8");
  if (colour < 1) {
    dxf_line(g, "fill");
    dxf_line(g, "62");
    dxf_line(g, fmt_i(g.n.DXFCGR, 3));
  } else {
    dxf_line(g, "fill" + grdig2(colour % 20));
  }
  const int order[4] = {a, b, d, c};
  const char* cx[4] = {"10", "11", "12", "13"};
  const char* cy[4] = {"20", "21", "22", "23"};
  for (int i = 0; i < 4; ++i) {
    dxf_line(g, cx[i]);
    dxf_line(g, fmt_f(x[order[i]], 10, 2));
    dxf_line(g, cy[i]);
    dxf_line(g, fmt_f(y[order[i]], 10, 2));
  }
}

// Clips the polygon against one side: keep points with s*(coord) >= s*limit.
void clip_side(std::vector<float>& px, std::vector<float>& py, int axis, float limit, float sign) {
  const std::size_t n = px.size();
  if (n == 0) return;
  std::vector<float> ox, oy;
  ox.reserve(n + 4);
  oy.reserve(n + 4);
  auto in = [&](std::size_t i) { return sign * ((axis == 0 ? px[i] : py[i]) - limit) >= 0; };
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = (i + 1) % n;
    const bool ii = in(i), ij = in(j);
    if (ii) {
      ox.push_back(px[i]);
      oy.push_back(py[i]);
    }
    if (ii != ij) {
      const float ci = axis == 0 ? px[i] : py[i], cj = axis == 0 ? px[j] : py[j];
      const float t = (limit - ci) / (cj - ci);
      if (axis == 0) {
        ox.push_back(limit);
        oy.push_back(py[i] + t * (py[j] - py[i]));
      } else {
        ox.push_back(px[i] + t * (px[j] - px[i]));
        oy.push_back(limit);
      }
    }
  }
  px.swap(ox);
  py.swap(oy);
}

// The current pen as one block, for routines that draw with the pen and
// must leave it as it was.
struct PenSave {
  float x, y, z;
  int vis;
  explicit PenSave(const Grcomn& n) : x(n.XPENGR), y(n.YPENGR), z(n.ZPENGR), vis(n.PVISGR) {}
  void restore(Grcomn& n) const {
    n.XPENGR = x;
    n.YPENGR = y;
    n.ZPENGR = z;
    n.PVISGR = vis;
  }
};

}  // namespace

// ---------------------------------------------------------------- fills

void grfil2(Graphics& g, const float* x, const float* y, int n, int colour) {
  Grcomn& s = g.n;
  if (s.CMODGR == 4 && colour > 4) return;
  grdump(g);
  if (n <= 0) return;
  if (s.HTCHGR > 0 && colour > 0) {
    grhtch(g, x, y, n, colour);
    return;
  }
  switch (s.IMODGR) {
    case kModeKeep: {
      keep_line(g, "FIL2");
      keep_line(g, fmt_i(n, 5) + fmt_i(colour, 5) + fmt_i(s.CPARGR, 5));
      std::string l;
      int k = 0;
      for (int i = 0; i < n; ++i)
        for (float v : {x[i], y[i]}) {
          l += fmt_e(v, 14, 6);
          if (++k == 10) {
            keep_line(g, l);
            l.clear();
            k = 0;
          }
        }
      if (k > 0) keep_line(g, l);
      return;
    }
    case kModeDxf: {
      if (n < 3) return;
      std::vector<double> wx(n), wy(n);
      for (int i = 0; i < n; ++i) {
        wx[i] = grwx(g, x[i]);
        wy[i] = grwy(g, y[i]);
      }
      grcolr(g, colour);
      // A fan of quadrilaterals from the first corner; an odd corner left
      // over closes with a triangle whose fourth corner is the first.
      int k = 1;
      while (k + 1 < n) {
        if (k + 2 < n)
          dxf_solid(g, colour, wx.data(), wy.data(), 0, k, k + 1, k + 2);
        else
          dxf_solid(g, colour, wx.data(), wy.data(), 0, k, k + 1, 0);
        k += 2;
      }
      return;
    }
    case kModeShape: {
      if (s.SHPTGR != 3 || n < 3) return;
      std::vector<double> wx, wy, wz;
      for (int i = n - 1; i >= 0; --i) {
        wx.push_back(grwx(g, x[i]));
        wy.push_back(grwy(g, y[i]));
        wz.push_back(0.0);
      }
      wx.push_back(wx[0]);
      wy.push_back(wy[0]);
      wz.push_back(0.0);
      grshpadd(g, static_cast<int>(wx.size()), wx.data(), wy.data(), wz.data(), colour, colour,
               g.mode.shape_prefix, s.SHPTGR, s.SHPAGR);
      return;
    }
    case kModeArcPolygon: {
      const int ch = s.JDV1GR;
      g.files.line(ch, fmt_list(colour));
      for (int i = 0; i <= n; ++i) {
        const int k = i % n;
        g.files.line(ch, fmt_f(grwx(g, x[k]), 12, 3) + fmt_f(grwy(g, y[k]), 12, 3));
      }
      g.files.line(ch, "END");
      return;
    }
    default:
      break;
  }
  if (!grscreen(g)) return;
  const int m = std::min(n, kFillMax);
  std::vector<float> px(x, x + m), py(y, y + m);
  clip_side(px, py, 0, s.XMNCGR, 1);
  clip_side(px, py, 0, s.XMXCGR, -1);
  clip_side(px, py, 1, s.YMNCGR, 1);
  clip_side(px, py, 1, s.YMXCGR, -1);
  std::vector<int> ix, iy;
  float lx = 0, ly = 0;
  for (std::size_t i = 0; i < px.size(); ++i) {
    if (!ix.empty() && std::fabs(px[i] - lx) + std::fabs(py[i] - ly) < 0.001f) continue;
    lx = px[i];
    ly = py[i];
    ix.push_back(grdevx(g, px[i]));
    iy.push_back(grdevy(g, py[i]));
  }
  if (ix.size() > 1 && std::fabs(px[0] - lx) + std::fabs(py[0] - ly) < 0.001f) {
    ix.pop_back();
    iy.pop_back();
  }
  if (ix.size() < 3) return;
  grcolr(g, colour);
  grxply(g.x, ix.data(), iy.data(), static_cast<int>(ix.size()));
}

void grfil3(Graphics& g, const float* x, const float* y, const float* z, int n, int colour) {
  Grcomn& s = g.n;
  n = std::min(n, 10);
  if (n <= 0) return;
  if (s.IMODGR == kModeKeep) {
    grdump(g);
    keep_line(g, "FIL3");
    keep_line(g, fmt_i(n, 5) + fmt_i(colour, 5) + fmt_i(s.CPARGR, 5));
    std::string l;
    int k = 0;
    for (int i = 0; i < n; ++i)
      for (float v : {x[i], y[i], z[i]}) {
        l += fmt_e(v, 14, 6);
        if (++k == 10) {
          keep_line(g, l);
          l.clear();
          k = 0;
        }
      }
    if (k > 0) keep_line(g, l);
    return;
  }
  float px[10], py[10];
  for (int i = 0; i < n; ++i) {
    float pz;
    grtran(g, x[i], y[i], z[i], px[i], py[i], pz);
  }
  grfil2(g, px, py, n, colour);
}

void grect(Graphics& g, float x, float y, float w, float h, int fill, int frame) {
  const float xs[4] = {x, x + w, x + w, x};
  const float ys[4] = {y, y, y + h, y + h};
  grfil2(g, xs, ys, 4, fill);
  if (frame != 0) grfram(g, xs, ys, 4, frame);
}

void grfram(Graphics& g, const float* x, const float* y, int n, int colour) {
  if (n <= 0) return;
  grdash(g, 1);
  if (colour < -2) {
    const int first = colour == -4 ? -2 : -4;
    const int rest = colour == -4 ? -4 : -2;
    grcolr(g, first);
    grmov2(g, x[0], y[0]);
    for (int i = 1; i <= n / 2 && i < n; ++i) grdrw2(g, x[i], y[i]);
    grcolr(g, rest);
    for (int i = n / 2 + 1; i < n; ++i) grdrw2(g, x[i], y[i]);
    grdrw2(g, x[0], y[0]);
  } else {
    grcolr(g, colour);
    grmov2(g, x[0], y[0]);
    for (int i = 1; i < n; ++i) grdrw2(g, x[i], y[i]);
    grdrw2(g, x[0], y[0]);
  }
  grdump(g);
}

void grhtch(Graphics& g, const float* x, const float* y, int n, int colour) {
  Grcomn& s = g.n;
  if (n < 3) return;
  // Styles 1 horizontal, 2 vertical, 3 and 4 diagonal, 5 and 6 crossed.
  const int style = (s.HTCHGR - 1) % 6 + 1;
  // Directions of the lines as exact unit vectors (x, y in pixels).
  const double h = std::sqrt(0.5);
  std::vector<std::pair<double, double>> dirs;
  switch (style) {
    case 1:
      dirs = {{1, 0}};
      break;
    case 2:
      dirs = {{0, 1}};
      break;
    case 3:
      dirs = {{h, -h}};
      break;
    case 4:
      dirs = {{h, h}};
      break;
    case 5:
      dirs = {{1, 0}, {0, 1}};
      break;
    default:
      dirs = {{h, -h}, {h, h}};
      break;
  }
  const double sp = std::max(s.HTSPGR, 1);
  // Device coordinates without truncation.
  std::vector<double> dx(n), dy(n);
  for (int i = 0; i < n; ++i) {
    dx[i] = (x[i] - s.XMINGR) * static_cast<double>(s.XFACGR) + s.XORGGR;
    dy[i] = (y[i] - s.YMINGR) * static_cast<double>(s.YFACGR) + s.YORGGR;
  }
  const PenSave pen(s);
  grcolr(g, colour);
  int lines = 0;
  for (const auto& dir : dirs) {
    // Hatch direction (ux, uy) and its normal (vx, vy), named values that
    // the point conversions below can capture.
    const double ux = dir.first, uy = dir.second;
    const double vx = -uy, vy = ux;
    double tmin = 1e300, tmax = -1e300;
    std::vector<double> t(n);
    for (int i = 0; i < n; ++i) {
      t[i] = dx[i] * vx + dy[i] * vy;
      tmin = std::min(tmin, t[i]);
      tmax = std::max(tmax, t[i]);
    }
    if (!(tmax - tmin < 1e6)) continue;
    for (double tl = std::ceil(tmin / sp) * sp; tl <= tmax && lines < 20000; tl += sp, ++lines) {
      std::vector<double> w;
      for (int i = 0; i < n; ++i) {
        const int j = (i + 1) % n;
        if ((t[i] <= tl && tl < t[j]) || (t[j] <= tl && tl < t[i])) {
          const double f = (tl - t[i]) / (t[j] - t[i]);
          const double px = dx[i] + f * (dx[j] - dx[i]), py = dy[i] + f * (dy[j] - dy[i]);
          w.push_back(px * ux + py * uy);
        }
      }
      std::sort(w.begin(), w.end());
      for (std::size_t k = 0; k + 1 < w.size(); k += 2) {
        auto ux_ = [&](double wv) {
          return static_cast<float>((tl * vx + wv * ux - s.XORGGR) / s.XFACGR + s.XMINGR);
        };
        auto uy_ = [&](double wv) {
          return static_cast<float>((tl * vy + wv * uy - s.YORGGR) / s.YFACGR + s.YMINGR);
        };
        grmov2(g, ux_(w[k]), uy_(w[k]));
        grdrw2(g, ux_(w[k + 1]), uy_(w[k + 1]));
      }
    }
  }
  grdump(g);
  if (s.IMODGR != kModeKeep) pen.restore(s);
}

// ---------------------------------------------------------------- symbols

void grsymb(Graphics& g, int code) {
  Grcomn& s = g.n;
  int sym = std::abs(code) % 100;
  if (sym > 15) sym = 15;
  if (sym == 0) return;
  const int colour = code / 100;
  switch (s.IMODGR) {
    case kModeKeep:
      grdump(g);
      keep_line(g, "SYMB");
      keep_line(g, fmt_i(code, 5));
      return;
    case kModeDxf:
      grcolr(g, colour);
      for (const std::string& l :
           {std::string("0"), std::string("POINT"), std::string("8"), std::string("point"),
            std::string("62"), fmt_i(s.DXFCGR, 4), std::string("67"), std::string("0"),
            std::string("10"), fmt_f(grwx(g, s.XPENGR), 11, 2), std::string("20"),
            fmt_f(grwy(g, s.YPENGR), 11, 2), std::string("30"), fmt_f(s.ZPENGR, 10, 3)})
        dxf_line(g, l);
      return;
    case kModeShape:
      if (s.SHPTGR == 1) {
        const double wx = grwx(g, s.XPENGR), wy = grwy(g, s.YPENGR), wz = s.ZPENGR;
        grshpadd(g, 1, &wx, &wy, &wz, wz, colour, g.mode.shape_prefix, s.SHPTGR, s.SHPAGR);
      }
      return;
    default:
      break;
  }
  grcolr(g, colour);
  if (!s.PVISGR || !grscreen(g)) return;
  int px = grdevx(g, s.XPENGR), py = grdevy(g, s.YPENGR);
  grpnew(g, px, py);
  for (const auto& st : kStrokes[sym - 1]) {
    if (st[0] == 99) break;
    px = grsafe_int(px + st[0] * s.SYMFGR);
    py = grsafe_int(py + st[1] * s.SYMFGR);
    if (st[2] == 0)
      grpnew(g, px, py);
    else
      grpadd(g, px, py);
  }
  grdump(g);
}

// ---------------------------------------------------------------- text

namespace {

// Text at the pen, moved left by `shift` characters of the fixed font
// (6 pixels each); `record` is what a keep file gets.
void text_at_pen(Graphics& g, std::string_view body, float shift, float height,
                 std::string_view record) {
  Grcomn& s = g.n;
  if (body.empty()) return;
  if (grscreen(g)) {
    grdump(g);
    const int px = grdevx(g, s.XPENGR) - grsafe_int(6.0f * shift);
    grxstr(g.x, px, grdevy(g, s.YPENGR), body, static_cast<int>(body.size()));
  } else if (s.IMODGR == kModeKeep) {
    keep_line(g, "ANOT");
    keep_line(g, record.substr(0, 80));
  } else if (s.IMODGR == kModeDxf) {
    for (const std::string& l :
         {std::string("0"), std::string("TEXT"), std::string("8"), std::string("0"),
          std::string("62"), fmt_i(s.DXFCGR, 3), std::string("40"), fmt_f(height, 8, 2),
          std::string("10"), fmt_f(grwx(g, s.XPENGR), 10, 2), std::string("20"),
          fmt_f(grwy(g, s.YPENGR), 10, 2), std::string("1"), std::string(body)})
      dxf_line(g, l);
  }
}

}  // namespace

void granot(Graphics& g, std::string_view text, int angle) {
  (void)angle;  // the fixed font is drawn upright
  if (!g.n.PVISGR) return;
  const std::string_view t = trim_right(text);
  if (t.empty()) return;
  if (t.substr(0, 2) == "~~") {
    std::string_view body = t.substr(2);
    const std::size_t k = body.find_first_not_of(' ');
    body = k == std::string_view::npos ? std::string_view() : body.substr(k);
    text_at_pen(g, body, 0.5f * static_cast<float>(body.size()), 3.0f, t);
  } else {
    text_at_pen(g, t, 0, 3.0f, t);
  }
}

void grano2(Graphics& g, std::string_view text, float size, int align, int angle) {
  (void)angle;
  if (!g.n.PVISGR) return;
  const std::string_view t = trim_right(text);
  if (t.empty()) return;
  const float len = static_cast<float>(t.size());
  const float shift = align == 1 ? 0.5f * len : align == 2 ? len : 0.0f;
  std::string record = align == 1 ? "~~" + std::string(t) : std::string(t);
  text_at_pen(g, t, shift, 3.0f * (size > 0 ? size : 1.0f), record);
}

void grano3(Graphics& g, float x, float y, std::string_view text) {
  grmov2(g, x, y);
  if (!text.empty() && (text[0] == '<' || text[0] == '|' || text[0] == '>')) {
    const int align = text[0] == '<' ? 0 : text[0] == '|' ? 1 : 2;
    grano2(g, text.substr(1), 1.0f, align, 0);
  } else {
    grano2(g, text, 1.0f, 0, 0);
  }
}

// ---------------------------------------------------------------- progress bar

void grbeam(Graphics& g, int step, int total, std::string_view text) {
  Grcomn& s = g.n;
  if (step == -1) {
    g.beam_last = -1;
    return;
  }
  const int tot = std::max(total, 1);
  const int p = static_cast<int>(100.0 * (step % tot) / tot);
  if (p == g.beam_last) return;
  g.beam_last = p;
  if (!grxisopn(g.x)) return;  // nothing to show it on
  const int mode = s.IMODGR;
  const PenSave pen(s);
  if (!grscreen(g)) s.IMODGR = 1;
  grdump(g);
  const bool was_user = g.pen.user_coords;
  grclip(g, 0);
  const float y0 = s.YBEAMGR - 14;
  const std::string caption = std::string(trim_right(text)) + fmt_i(p, 3) + "%";
  if (g.beam_under == 0 && !text.empty() && grxlive(g.x) && g.x.drawable == g.x.window) {
    // A writer's bar over the picture: what it covers is saved for grbeamend.
    const int w = 206 + static_cast<int>(caption.size() + 2) * 6, top = grdevy(g, s.YBEAMGR) - 2;
    g.beam_under = grxsav(g.x, grdevx(g, 0) - 1, top, w, 20);
  }
  grect(g, 0, y0, 200, 14, -2, -3);
  const int boxes = static_cast<int>(std::lround(p * 30 * 0.01));
  for (int i = 0; i < boxes; ++i)
    grect(g, 1 + static_cast<float>(i) * 6.6666665f, y0 + 1, 6.6666665f, 12, 105, 0);
  // The frame leaves the background colour set: the caption is written in
  // the foreground colour.
  grcolr(g, 0);
  grmov2(g, 206, y0 + 3);
  granot(g, caption, 0);
  grdump(g);
  if (was_user) grclip(g, 1);
  s.IMODGR = mode;
  pen.restore(s);
}

void grbeamend(Graphics& g) {
  g.beam_last = -1;
  if (g.beam_under == 0) return;
  grdump(g);
  grxrst(g.x, g.beam_under);
  g.beam_under = 0;
}

// ---------------------------------------------------------------- clear, clean-up

void grcler(Graphics& g, int k) {
  Grcomn& s = g.n;
  if (!grscreen(g)) return;
  grdump(g);
  if (k == 0) {
    grxclr(g.x);
  } else if (k == 1) {
    grxpix(g.x);
    grxclr(g.x);
  } else {
    const PenSave pen(s);
    grect(g, s.XMNCGR + 0.001f, s.YMNCGR + 0.001f, s.XMXCGR - s.XMNCGR - 0.002f,
          s.YMXCGR - s.YMNCGR - 0.002f, -1, 0);
    pen.restore(s);
  }
  grcolr(g, 0);
  grclean(g, 0, s.XMNCGR, s.XMXCGR, s.YMNCGR, s.YMXCGR);
}

void grclean(Graphics& g, int op, float x1, float x2, float y1, float y2) {
  if (op == 0) {
    const GrCleanRect r{x1, y1, x2 - x1, y2 - y1};
    if (static_cast<int>(g.clean.size()) >= kCleanMax)
      g.clean.back() = r;
    else
      g.clean.push_back(r);
  } else if (op == -1) {
    g.clean.clear();
  } else {
    for (auto it = g.clean.rbegin(); it != g.clean.rend(); ++it)
      grect(g, it->x, it->y, it->w, it->h, -1, -1);
    grflip(g);
    g.clean.clear();
  }
}

}  // namespace qf
