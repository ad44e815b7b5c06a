// Colour tables: the grey ramp and the 20 hues in nine shades, packing of
// colour values, the piecewise linear interpolation the table is built with,
// and the colour number to table entry rule of the colour modes.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "graphics/bitmap.h"
#include "graphics/dialog.h"
#include "graphics/graphics.h"
#include "graphics/internal.h"
#include "io/textio.h"

namespace qf {

namespace {

// AutoCAD colour index of the colour numbers -9 .. 13.
constexpr int kDxfColours[23] = {6,   1, 5,   2,   20, 253, 9,   9,  254, 7,  142, 4,
                                 150, 5, 162, 122, 82, 3,   110, 62, 2,   20, 1};
// Table entries of the colour numbers 0 .. -11.
constexpr int kSpecial[12] = {20, 0, 1, 3, 10, 73, 71, 103, 114, 118, 98, 128};

}  // namespace

void grgcol(int& value, int& r, int& g, int& b, int direction) {
  if (direction == 0) {
    value = r * 65536 + g * 256 + b;
  } else {
    r = (value >> 16) & 0xFF;
    g = (value >> 8) & 0xFF;
    b = value & 0xFF;
  }
}

float grint0(int n, const float* xs, const float* ys, float x, float& slope, int& flag) {
  slope = 0;
  if (n <= 0) {
    flag = 1;
    return 0;
  }
  if (n == 1) {
    flag = 1;
    return ys[0];
  }
  const bool up = xs[n - 1] >= xs[0];
  auto before = [&](float a, float b) { return up ? a < b : a > b; };  // a before b
  if (before(x, xs[0])) {
    flag = 2;
    return ys[0];
  }
  if (before(xs[n - 1], x)) {
    flag = 3;
    return ys[n - 1];
  }
  flag = 0;
  int i = 0;
  while (i < n - 2 && before(xs[i + 1], x)) ++i;
  const float dx = xs[i + 1] - xs[i];
  slope = std::fabs(dx) < 1e-10f ? 0.0f : (ys[i + 1] - ys[i]) / dx;
  return ys[i] + slope * (x - xs[i]);
}

void grmcol(Graphics& g) {
  Grcomn& n = g.n;
  for (int i = 0; i <= 20; ++i)
    n.COLTAB[i] = 0xFFFFFF - static_cast<int>(12.75f * static_cast<float>(i)) * 0x010101;
  const float ts[7] = {0.0f, 1.0f, 2.0f, 2.8f, 4.0f, 5.0f, 6.0f};
  const float rs[7] = {0.4f, 0.1f, 0.1f, 0.9f, 0.9f, 0.8f, 0.8f};
  const float gs[7] = {0.7f, 0.1f, 0.9f, 0.9f, 0.2f, 0.3f, 0.9f};
  const float bs[7] = {1.0f, 1.0f, 0.1f, 0.1f, 0.2f, 0.9f, 0.1f};
  for (int k = 1; k <= 20; ++k) {
    const float t = 0.3f * static_cast<float>(k - 1);
    float slope;
    int flag;
    const float base[3] = {grint0(7, ts, rs, t, slope, flag), grint0(7, ts, gs, t, slope, flag),
                           grint0(7, ts, bs, t, slope, flag)};
    for (int v = 1; v <= 9; ++v) {
      int ch[3];
      for (int c = 0; c < 3; ++c) {
        const float cv = std::clamp(base[c], 0.0f, 1.0f);
        float s;
        if (v <= 4)
          s = 255.0f * std::pow(cv, 1.0f / static_cast<float>(6 - v));  // a = 5, 4, 3, 2
        else
          s = 255.0f * (1.0f - 0.1f * static_cast<float>(v - 5)) * cv;  // f = 1.0 .. 0.6
        ch[c] = std::clamp(static_cast<int>(s), 0, 255);
      }
      int value = 0;
      grgcol(value, ch[0], ch[1], ch[2], 0);
      n.COLTAB[20 * v + k] = value;
    }
  }
  // The palette ramps, interpolated between their anchor colours.
  struct Anchor {
    float t;
    int rgb;
  };
  static constexpr Anchor kRamps[3][5] = {
      {{0.0f, 0xDEEBF7}, {0.3f, 0x9ECAE1}, {0.6f, 0x4292C6}, {0.85f, 0x2171B5}, {1.0f, 0x08306B}},
      {{0.0f, 0x1A9641}, {0.3f, 0xA6D96A}, {0.55f, 0xE6DC8C}, {0.8f, 0xA6611A}, {1.0f, 0xF5F5F5}},
      {{0.0f, 0xFFFFB2}, {0.3f, 0xFECC5C}, {0.55f, 0xFD8D3C}, {0.8f, 0xF03B20}, {1.0f, 0xBD0026}},
  };
  for (int r = 0; r < 3; ++r) {
    for (int k = 0; k < kRampColours; ++k) {
      const float t = static_cast<float>(k) / (kRampColours - 1);
      int a = 0;
      while (a < 3 && kRamps[r][a + 1].t < t) ++a;
      const Anchor& lo = kRamps[r][a];
      const Anchor& hi = kRamps[r][a + 1];
      const float w = std::clamp((t - lo.t) / (hi.t - lo.t), 0.0f, 1.0f);
      int ch[3];
      for (int c = 0; c < 3; ++c) {
        const int sh = 16 - 8 * c;
        const float v0 = static_cast<float>((lo.rgb >> sh) & 0xFF);
        const float v1 = static_cast<float>((hi.rgb >> sh) & 0xFF);
        ch[c] = std::clamp(static_cast<int>(std::lround(v0 + w * (v1 - v0))), 0, 255);
      }
      int value = 0;
      grgcol(value, ch[0], ch[1], ch[2], 0);
      n.COLTAB[kTableColours + r * kRampColours + k] = value;
    }
  }
  n.CMODGR = 2;
  n.CPARGR = 5;
  n.NCOLGR = 12;
  n.DXFCGR = 2;
  for (int c = -10; c <= 15; ++c) n.DXFTAB[c + 10] = kDxfColours[std::clamp(c, -9, 13) + 9];
  for (int i = 0; i < 20; ++i) n.REMAPGR[i] = i + 1;
}

int grcent(const Graphics& g, int c) {
  const Grcomn& n = g.n;
  int d;
  if (c > 0) {
    const int e = (c - 1) % 200;
    d = e + 1;
    if (e < 20) {
      const int m = std::abs(n.CMODGR);
      if (m == 2) d = d + std::min(n.CPARGR, 9) * 20;
      if (m == 3) d = n.CPARGR + std::min(e + 1, 9) * 20;
      if (m >= kPaletteDepth && m <= kPaletteSpeed) {
        // The classes in use spread over the whole ramp.
        const int k = std::min(e * (kRampColours - 1) / std::max(n.NCOLGR, 1), kRampColours - 1);
        return kTableColours + (m - kPaletteDepth) * kRampColours + k;
      }
    }
  } else {
    d = kSpecial[c < -11 ? 11 : -c];
  }
  // A colour parameter outside its range must not reach beyond the table.
  return std::clamp(d, 0, kTableColours - 1);
}

// ---------------------------------------------------------------- palette

namespace {

// Palette layout: the grey ramp (entries 0..20) in the first row, then one
// row per shade (1..9) of the 20 hues; swatches of kSw pixels.
constexpr int kSw = 16, kPx = 40, kPy = 30;

// Colour number of table entry e in the grey mode (where numbers 1..200 are
// the entries themselves); entry 0 is the white of number -1.
int entry_colour(int e) {
  return e == 0 ? -1 : e;
}

// Table entry of the swatch under pixel (px, py); -1 when none.
int swatch_at(int px, int py) {
  if (px < kPx || py < kPy) return -1;
  const int col = (px - kPx) / kSw, row = (py - kPy) / kSw;
  if (row == 0) return col <= 20 ? col : -1;
  if (row > 9 || col >= 20) return -1;
  return 20 * row + col + 1;
}

std::string colour_line(const Graphics& g, int entry) {
  int v = g.n.COLTAB[std::clamp(entry, 0, kColours - 1)], r = 0, gr = 0, b = 0;
  grgcol(v, r, gr, b, 1);
  return "No " + fmt_i(entry_colour(entry), 3) + "  Red:" + fmt_i(r, 3) + " Green:" + fmt_i(gr, 3) +
         " Blue:" + fmt_i(b, 3);
}

}  // namespace

void grcmap(Graphics& g, int& colour) {
  // Queued answers: a colour number picks it, "D" ends, "C" cancels.
  std::string cmd;
  int picked = colour;
  bool any = false;
  while (grsnext(g, cmd)) {
    any = true;
    const std::string_view c = trim_right(cmd);
    const std::size_t f = c.find_first_not_of(' ');
    const std::string_view t = f == std::string_view::npos ? std::string_view() : c.substr(f);
    long long k = 0;
    if (!t.empty() && (t[0] == 'C' || t[0] == 'c')) return;
    if (!t.empty() && parse_int(t, k) && k >= -1 && k < kTableColours) {
      picked = static_cast<int>(k);
      grmesg(g, colour_line(g, picked < 0 ? 0 : picked));
      continue;
    }
    break;  // "D" or anything else ends the viewer
  }
  if (any || !grdlgon(g)) {
    colour = picked;
    return;
  }
  const int w = 21 * kSw, h = 10 * kSw;
  const float by = static_cast<float>(kPy + h + 22);
  const float bc = kPx, bd = kPx + 80;
  auto draw = [&](int entry) {
    const int cmod = g.n.CMODGR;
    g.n.CMODGR = 1;  // colour numbers are table entries
    grpbox(g, kPx - 4, kPy - 4, w + 8, h + 48, -5, -3);
    grpclean(g, kPx - 4, kPy - 4, w + 9, h + 49);
    for (int e = 0; e < kTableColours; ++e) {
      const int row = e <= 20 ? 0 : (e - 1) / 20, col = e <= 20 ? e : (e - 1) % 20;
      grpbox(g, kPx + col * kSw, kPy + row * kSw, kSw - 1, kSw - 1, entry_colour(e),
             e == entry ? 0 : kNoFrame);
    }
    g.n.CMODGR = cmod;
    grptxt(g, kPx, kPy + h + 14, entry >= 0 ? colour_line(g, entry) : std::string(), 0);
    grpbutton(g, bc, by, 76, 17, " CCancel", false);
    grpbutton(g, bd, by, 76, 17, " DDone", false);
    grflip(g);
  };
  int entry = picked == -1 ? 0 : (picked >= 1 && picked < kColours ? picked : -1);
  const GrUnder under(g, kPx - 4, kPy - 4, w + 9, h + 49);
  draw(entry);
  for (;;) {
    int type = 0, px = 0, py = 0, detail = 0;
    grxevn(g.x, type, px, py, detail);
    if (type == 0 || type == kGrxClose) return;  // the window is gone or to be closed
    if (type == kGrxButtonPress) {
      int hit = 0;
      grbutn(g, 1, bc, by, 76, 17, " CCancel", static_cast<float>(px), static_cast<float>(py), hit);
      if (hit) return;
      grbutn(g, 1, bd, by, 76, 17, " DDone", static_cast<float>(px), static_cast<float>(py), hit);
      if (hit) break;
      const int e = swatch_at(px, py);
      if (e >= 0) {
        entry = e;
        picked = entry_colour(e);
        draw(entry);
      }
    } else if (type == kGrxKeyPress) {
      if (detail == 'c' || detail == 'C' || detail == kGrxKeyEscape) return;
      if (detail == 'd' || detail == 'D' || detail == kGrxKeyReturn) break;
    } else if (type == kGrxExpose) {
      draw(entry);
    }
  }
  colour = picked;
}

}  // namespace qf
