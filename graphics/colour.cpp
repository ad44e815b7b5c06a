// Colour tables: the grey ramp and the 20 hues in nine shades, packing of
// colour values, the piecewise linear interpolation the table is built with,
// and the colour number to table entry rule of the colour modes.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "graphics/graphics.h"
#include "graphics/internal.h"

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
    }
  } else {
    d = kSpecial[c < -11 ? 11 : -c];
  }
  // A colour parameter outside its range must not reach beyond the table.
  return std::clamp(d, 0, kColours - 1);
}

}  // namespace qf
