// Draw mode and the plot list: the user's annotations on the plot, their
// drawing (with the north arrow and the scale bar), and their keep records.
#include "viewer/draw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "graphics/dialog.h"
#include "io/textio.h"
#include "viewer/viewer.h"

namespace qf {

namespace {

constexpr int kTextLen = 64;
constexpr int kCircleVertices = 36;
constexpr double kPi = 3.14159265358979323846;

bool pending(const Graphics& g) {
  return g.n.NSCRGR > g.n.SCTKGR;
}

bool can_answer(const Graphics& g) {
  return pending(g) || grdlgon(g);
}

bool window_kind(int kind) {
  return kind == kNorthArrow || kind == kScaleBar;
}

// Position of an entry in user coordinates (window fractions converted).
void position(const Graphics& g, const PlotEntry& e, float& x, float& y) {
  const Grcomn& n = g.n;
  x = e.x;
  y = e.y;
  if (window_kind(e.kind)) {
    x = n.XMINGR + e.x * (n.XMAXGR - n.XMINGR);
    y = n.YMINGR + e.y * (n.YMAXGR - n.YMINGR);
  }
}

// Symbol code of symbol number sym in colour c (grsymb takes the colour
// from the hundreds).
int symbol_code(int sym, int c) {
  const int s = std::abs(sym) % 100;
  return c >= 0 ? c * 100 + s : c * 100 - s;
}

// Frame colour that goes with colour c (a deleted entry is all background).
int frame_of(int c) {
  return c == -1 ? -1 : 0;
}

// A number of a scale-bar label: as few decimals as it needs (up to 2).
std::string label_number(float v) {
  const bool whole = std::fabs(v - std::round(v)) < 1e-4f * std::max(1.0f, std::fabs(v));
  const bool tenths = std::fabs(v * 10 - std::round(v * 10)) < 1e-3f;
  const std::string s = whole ? fmt_i(std::lround(v), 14) : fmt_f(v, 14, tenths ? 1 : 2);
  return s.substr(s.find_first_not_of(' '));
}

void north_arrow(Graphics& g, const PlotEntry& e) {
  const Grcomn& n = g.n;
  float cx, cy;
  position(g, e, cx, cy);
  const float s = (n.YMAXGR - n.YMINGR) * 0.05f * e.z;
  const int c = e.colour;
  grcrcl(g, cx, cy, s, -1, c);
  const float tx[3] = {cx - 0.707f * s, cx, cx + 0.707f * s};
  const float ty[3] = {cy - 0.707f * s, cy + s, cy - 0.707f * s};
  grfil2(g, tx, ty, 3, c);
  grfram(g, tx, ty, 3, frame_of(c));
  grcolr(g, c);
  grmov2(g, cx, cy + s + 4.0f / std::fabs(n.YFACGR));
  granot(g, "~~N", 0);
}

void scale_bar(Graphics& g, const PlotEntry& e) {
  const Grcomn& n = g.n;
  float x0, y0;
  position(g, e, x0, y0);
  std::string unit;
  float value = 0;
  const float len = grsbar_length(n.XMAXGR - n.XMINGR, unit, value);
  const float ux = 1.0f / std::max(std::fabs(n.XFACGR), 1e-20f);
  const float uy = 1.0f / std::max(std::fabs(n.YFACGR), 1e-20f);
  const float hb = 5 * uy;
  const int c = e.colour;
  const int bg = -1;
  // Background behind bar, ticks and labels.
  {
    const float bx0 = x0 - 14 * ux, bx1 = x0 + len + 40 * ux;
    const float by0 = y0 - 16 * uy, by1 = y0 + hb + 10 * uy;
    const float bx[4] = {bx0, bx1, bx1, bx0}, by[4] = {by0, by0, by1, by1};
    grfil2(g, bx, by, 4, bg);
    grfram(g, bx, by, 4, c);
  }
  // The bar in quarters, alternately filled.
  for (int k = 0; k < 4; ++k) {
    const float a = x0 + len * k / 4, b = x0 + len * (k + 1) / 4;
    const float qx[4] = {a, b, b, a}, qy[4] = {y0, y0, y0 + hb, y0 + hb};
    if (k % 2 == 0) grfil2(g, qx, qy, 4, c);
    grfram(g, qx, qy, 4, c);
  }
  // Nine ticks, every fourth one longer.
  grcolr(g, c);
  for (int k = 0; k <= 8; ++k) {
    const float xt = x0 + len * k / 8;
    grmov2(g, xt, y0 + hb);
    grdrw2(g, xt, y0 + hb + (k % 4 == 0 ? 6 : 3) * uy);
  }
  const float ly = y0 - 11 * uy;
  grmov2(g, x0, ly);
  granot(g, "~~0", 0);
  grmov2(g, x0 + len / 2, ly);
  granot(g, "~~" + label_number(value / 2), 0);
  grmov2(g, x0 + len, ly);
  granot(g, "~~" + label_number(value) + " " + unit, 0);
}

// Draws entry i of the list.
void draw_entry(Graphics& g, const std::vector<PlotEntry>& l, std::size_t i) {
  const PlotEntry& e = l[i];
  const int c = e.colour;
  switch (e.kind) {
    case kLineStart:
    case kPolyVertex:
      return;
    case kLineTo:
      if (i == 0) return;
      {
        float px, py;
        position(g, l[i - 1], px, py);
        grcolr(g, c);
        grmov2(g, px, py);
        grdrw2(g, e.x, e.y);
      }
      return;
    case kPolyClose: {
      std::size_t b = i;
      while (b > 0 && l[b - 1].kind == kPolyVertex) --b;
      std::vector<float> px, py;
      for (std::size_t k = b; k < i; ++k) {
        px.push_back(l[k].x);
        py.push_back(l[k].y);
      }
      if (!px.empty()) grfil2(g, px.data(), py.data(), static_cast<int>(px.size()), c);
      return;
    }
    case kCircle:
      grcrcl(g, e.x, e.y, e.z, c, frame_of(c));
      return;
    case kText:
      grcolr(g, c);
      grmov2(g, e.x, e.y);
      granot(g, trim_right(e.text), 0);
      return;
    case kNorthArrow:
      north_arrow(g, e);
      return;
    case kScaleBar:
      scale_bar(g, e);
      return;
    default:
      if (e.kind > 0) {
        grmov2(g, e.x, e.y);
        grsymb(g, symbol_code(e.kind, c));
      }
      return;
  }
}

void draw_range(Graphics& g, const std::vector<PlotEntry>& l, std::size_t from, std::size_t to) {
  // A deleted entry is drawn in the background colour on the screen, where
  // it covers what it drew; the files (DXF, keep file, shapefile) leave it
  // out.
  const bool files = !grscreen(g);
  for (std::size_t i = from; i < to && i < l.size(); ++i)
    if (!files || l[i].colour != -1) draw_entry(g, l, i);
  grcolr(g, 0);
}

// Immediate feedback of a new entry: marks of first points, the distance
// line of a measured line or polygon.
void feedback(Graphics& g, DrawState& d) {
  const std::vector<PlotEntry>& l = d.list;
  const PlotEntry& e = l.back();
  const PlotEntry* prev = l.size() >= 2 ? &l[l.size() - 2] : nullptr;
  const bool first_vertex = e.kind == kPolyVertex && (!prev || prev->kind != kPolyVertex);
  if (e.kind == kLineStart || first_vertex) {
    grcolr(g, e.colour);
    grmov2(g, e.x, e.y);
    grsymb(g, symbol_code(1, e.colour));
    d.sum = 0;
    d.measuring = true;
    return;
  }
  if (e.kind == kPolyVertex && prev) {
    grcolr(g, e.colour);
    grmov2(g, prev->x, prev->y);
    grdrw2(g, e.x, e.y);
  }
  const bool measured = e.kind == kLineTo || e.kind == kPolyVertex || e.kind == kText ||
                        e.kind == kPolyClose || e.kind > 0;
  if (!d.measuring || !measured || !prev) {
    d.measuring = false;
    return;
  }
  const float dx = e.x - prev->x, dy = e.y - prev->y;
  const float dist = std::sqrt(dx * dx + dy * dy);
  d.sum += dist;
  const float angle = static_cast<float>(std::atan2(dy, dx) * 180.0 / kPi);
  grmesg(g, "dist=" + fmt_f(dist, 8, 2) + "m sum=" + fmt_f(d.sum, 8, 1) +
                "m angle=" + fmt_f(angle, 6, 1) + "deg");
  if (e.kind != kLineTo && e.kind != kPolyVertex) d.measuring = false;
}

bool same(const PlotEntry& a, const PlotEntry& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z && a.kind == b.kind && a.colour == b.colour &&
         trim_right(a.text) == trim_right(b.text);
}

void save(Graphics& g, const DrawState& d) {
  std::string pre(40, ' ');
  grinpa(g, "Keep prefix", pre);
  const std::string_view p = trim_right(pre);
  const std::size_t b = p.find_first_not_of(' ');
  if (b == std::string_view::npos) {
    grmesg(g, "Filename cannot be all blanks");
    return;
  }
  const std::string name = std::string(p.substr(b)) + ".kep";
  std::FILE* f = std::fopen(name.c_str(), "w");
  if (!f) {
    grmesg(g, "cannot write " + name);
    return;
  }
  std::string out = "XORG\n" + fmt_f(g.n.XORGR, 12, 2) + "\nYORG\n" + fmt_f(g.n.YORGR, 12, 2) +
                    "\nPUT\n" + fmt_list(static_cast<int>(d.list.size())) + "\n";
  for (const PlotEntry& e : d.list) {
    out += fmt_list(e.x) + fmt_list(e.y) + fmt_list(e.z) + fmt_list(e.kind) + fmt_list(e.colour) +
           "\n";
    if (e.kind == kText) out += pad(e.text, kTextLen) + "\n";
  }
  const bool ok = std::fputs(out.c_str(), f) >= 0;
  if (std::fclose(f) != 0 || !ok) {
    grmesg(g, "cannot write " + name);
    return;
  }
  grmesg(g, "Draws stored on keep file");
}

// Hooks the plot list into the replay of keep files.
void hook(Graphics& g, Viewer& v) {
  g.keep.put = [&v](Graphics& gg, const std::vector<std::string>& lines, std::size_t& pos,
                    double sx, double sy) { grplst_read(gg, v, lines, pos, sx, sy); };
}

}  // namespace

float grsbar_length(float w, std::string& unit, float& value) {
  const double target = std::fabs(w) / 4.0;
  double len = 1;
  if (target > 0 && std::isfinite(target)) {
    const double p = std::pow(10.0, std::floor(std::log10(target)));
    const double m = target / p;
    len = (m >= 5 ? 5 : m >= 2.5 ? 2.5 : 1) * p;
  }
  if (len < 1) {
    unit = "mm";
    value = static_cast<float>(len * 1000);
  } else if (len < 900) {
    unit = "m";
    value = static_cast<float>(len);
  } else {
    unit = "km";
    value = static_cast<float>(len / 1000);
  }
  return static_cast<float>(len);
}

void grcrcl(Graphics& g, float x, float y, float r, int fill, int frame) {
  float px[kCircleVertices], py[kCircleVertices];
  for (int k = 0; k < kCircleVertices; ++k) {
    const double a = 2 * kPi * k / kCircleVertices;
    px[k] = x + r * static_cast<float>(std::cos(a));
    py[k] = y + r * static_cast<float>(std::sin(a));
  }
  grfil2(g, px, py, kCircleVertices, fill);
  grfram(g, px, py, kCircleVertices, frame);
}

void grplst_read(Graphics& g, Viewer& v, const std::vector<std::string>& lines, std::size_t& pos,
                 double sx, double sy) {
  std::vector<PlotEntry> got;
  int n = 0;
  if (pos >= lines.size() || FreeReader(lines[pos++]).read(n) != ReadStatus::ok || n < 0) {
    grmesg(g, "PUT record without its number of entries");
    return;
  }
  for (int i = 0; i < n; ++i) {
    PlotEntry e;
    FreeReader r(pos < lines.size() ? std::string_view(lines[pos]) : std::string_view());
    if (pos >= lines.size() || r.read(e.x) != ReadStatus::ok || r.read(e.y) != ReadStatus::ok ||
        r.read(e.z) != ReadStatus::ok || r.read(e.kind) != ReadStatus::ok ||
        r.read(e.colour) != ReadStatus::ok) {
      grmesg(g, "PUT record: entry " + std::to_string(i + 1) + " of " + std::to_string(n) +
                    " cannot be read");
      break;
    }
    ++pos;
    if (e.kind == kText) e.text = pad(pos < lines.size() ? lines[pos++] : "", kTextLen);
    if (!window_kind(e.kind)) {
      e.x = static_cast<float>(e.x + sx);
      e.y = static_cast<float>(e.y + sy);
    }
    got.push_back(e);
  }
  std::vector<PlotEntry>& l = v.draw.list;
  // The same keep file is replayed with every redraw: a run of entries
  // already in the list is drawn again but not appended again.
  std::size_t at = l.size();
  if (!got.empty() && got.size() <= l.size()) {
    for (std::size_t s = 0; s + got.size() <= l.size(); ++s) {
      bool eq = true;
      for (std::size_t k = 0; k < got.size() && eq; ++k) eq = same(l[s + k], got[k]);
      if (eq) {
        draw_range(g, l, s, s + got.size());
        return;
      }
    }
  }
  for (const PlotEntry& e : got) {
    if (static_cast<int>(l.size()) >= kPlotListMax) {
      grmesg(g, "No more puts allowed");
      break;
    }
    l.push_back(e);
  }
  draw_range(g, l, at, l.size());
}

void grplst(Graphics& g, Viewer& v, int op, float x, float y, float z, int kind, int colour,
            const std::string& text) {
  hook(g, v);
  DrawState& d = v.draw;
  switch (op) {
    case -1: {
      int best = -1;
      double bd = 0;
      for (std::size_t i = 0; i < d.list.size(); ++i) {
        const PlotEntry& e = d.list[i];
        if (e.colour == -1) continue;  // already deleted
        float px, py;
        position(g, e, px, py);
        const double dx = (px - x) * g.n.XFACGR, dy = (py - y) * g.n.YFACGR;
        const double dd = dx * dx + dy * dy;
        if (best < 0 || dd < bd) best = static_cast<int>(i), bd = dd;
      }
      if (best >= 0) d.list[static_cast<std::size_t>(best)].colour = -1;
      break;
    }
    case 0:
      d.list.clear();
      d.measuring = false;
      return;
    case 1: {
      if (static_cast<int>(d.list.size()) >= kPlotListMax) {
        grmesg(g, "No more puts allowed");
        return;
      }
      PlotEntry e{x, y, z, kind, colour, kind == kText ? pad(text, kTextLen) : std::string()};
      d.list.push_back(e);
      feedback(g, d);
      break;
    }
    case 2:
      draw_range(g, d.list, 0, d.list.size());
      return;
    case 3:
      save(g, d);
      break;
    default:
      return;
  }
  draw_range(g, d.list, 0, d.list.size());
  grflip(g);
}

void grdraw(Graphics& g, Viewer& v) {
  DrawState& d = v.draw;
  const Grcomn& n = g.n;
  std::string labels[12];
  for (int i = 0; i < 12; ++i) labels[i] = pad(kDrawMenu[static_cast<std::size_t>(i)], 16);
  bool line = false;  // further clicks continue a line
  for (;;) {
    if (!can_answer(g)) return;
    int ans = 0;
    float x = 0, y = 0;
    grcurs(g, 12, labels, ans, x, y);
    const float fx = (x - n.XMINGR) / (n.XMAXGR - n.XMINGR);
    const float fy = (y - n.YMINGR) / (n.YMAXGR - n.YMINGR);
    if (ans != 0 && ans != 2) line = false;
    switch (ans) {
      case 0:
        if (line) grplst(g, v, 1, x, y, 0, kLineTo, d.colour);
        break;
      case 1: {
        std::string t(80, ' ');
        grinpa(g, " Annotation>", t);
        if (!trim_right(t).empty()) grplst(g, v, 1, x, y, 0, kText, d.colour, t);
        break;
      }
      case 2:
        grplst(g, v, 1, x, y, 0, kLineStart, d.colour);
        line = true;
        break;
      case 3: {
        grplst(g, v, 1, x, y, 0, kPolyVertex, d.colour);
        const float x0 = x, y0 = y;
        std::string done[1] = {pad(" DDone", 16)};
        for (;;) {
          int a = 0;
          if (can_answer(g))
            grcurs(g, 1, done, a, x, y);
          else
            a = 1;
          if (a == 0) {
            grplst(g, v, 1, x, y, 0, kPolyVertex, d.colour);
          } else if (a == 1) {
            grplst(g, v, 1, x0, y0, 0, kPolyClose, d.colour);
            break;
          }
        }
        break;
      }
      case 4:
        grplst(g, v, 1, x, y, d.radius, kCircle, d.colour);
        break;
      case 5:
        grplst(g, v, 1, x, y, 0, std::max(1, d.symbol), d.colour);
        break;
      case 6:
        grplst(g, v, 1, fx, fy, d.radius, kNorthArrow, d.colour);
        break;
      case 7:
        grplst(g, v, 1, std::max(0.0f, fx), fy, 0, kScaleBar, d.colour);
        break;
      case 8: {
        const std::string lab[3] = {pad("Symbol number", 32), pad("Color of element", 32),
                                    pad("Radius/N-Arrow", 32)};
        std::string val[3] = {pad(fmt_i(d.symbol, 4), 16), pad(fmt_i(d.colour, 4), 16),
                              pad(fmt_f(d.radius, 12, 2), 16)};
        grinfo(g, 3, lab, val);
        int s = 0, c = 0;
        float r = 0;
        if (FreeReader(val[0]).read(s) != ReadStatus::ok) break;
        d.symbol = s;
        if (FreeReader(val[1]).read(c) != ReadStatus::ok) break;
        d.colour = c;
        if (FreeReader(val[2]).read(r) != ReadStatus::ok) break;
        d.radius = r;
        break;
      }
      case 9:
        grplst(g, v, -1, x, y);
        break;
      case 10:
        grplst(g, v, 3);
        break;
      case 11: {
        const std::string help[13] = {"Draw options",
                                      " Text      add annotation at cursor location",
                                      " Line      add line points at cursor locations",
                                      " Polygon   add a filled polygon (close with Done)",
                                      " Circle    add circle of the current radius",
                                      " Symbol    add the current symbol",
                                      " N-Arrow   add north arrow of the current size",
                                      " Scale_bar add scale bar at cursor location",
                                      " Attributes symbol number, colour and radius",
                                      " Delete    delete the element nearest to the cursor",
                                      " Save      save the elements into a keep file",
                                      " ??        this page",
                                      " Done      leave the draw mode"};
        grtext(g, help, 13);
        break;
      }
      case 12:
        return;
      default:
        break;
    }
  }
}

}  // namespace qf
