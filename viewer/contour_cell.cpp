// One cell of the contour plot: automatic levels, class fills, contour
// lines, the value at a point, and the pixel-row drawing of the classes.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "graphics/internal.h"
#include "io/textio.h"
#include "viewer/viewer.h"

namespace qf {

namespace {

// A corner of a band polygon: position, height and value.
struct Pt {
  float x, y, z, f;
};

// Centre of a cell: the mean of its n corners (z optional).
Pt centre(const float* x, const float* y, const float* z, const float* f, int n) {
  Pt c{0, 0, 0, 0};
  for (int k = 0; k < n; ++k) {
    c.x += x[k];
    c.y += y[k];
    c.z += z ? z[k] : 0.0f;
    c.f += f[k];
  }
  c.x /= n;
  c.y /= n;
  c.z /= n;
  c.f /= n;
  return c;
}

// Keeps the part of the polygon where the value is above a (above = true)
// or not above a; the cuts lie where the linear value crosses a.
void cut(std::vector<Pt>& poly, float a, bool above) {
  if (poly.empty()) return;
  std::vector<Pt> out;
  auto in = [&](const Pt& p) { return above ? p.f > a : p.f <= a; };
  const std::size_t n = poly.size();
  for (std::size_t k = 0; k < n; ++k) {
    const Pt& p = poly[k];
    const Pt& q = poly[(k + 1) % n];
    const bool ip = in(p), iq = in(q);
    if (ip) out.push_back(p);
    if (ip != iq) {
      const float d = q.f - p.f;
      const float r = d != 0 ? (a - p.f) / d : 0.5f;
      out.push_back({p.x + r * (q.x - p.x), p.y + r * (q.y - p.y), p.z + r * (q.z - p.z), a});
    }
  }
  poly.swap(out);
}

// Class fill of one cell, in the plane or in the 3-D view.
void fill_cell(Graphics& g, const float* x, const float* y, const float* z, const float* f, int n,
               const float* levels, int ncol, bool three_d) {
  const Grcomn& s = g.n;
  if (n > kCellCorners)
    greror(g, three_d ? "More than 12 vertices in GRCOL3" : "More than 12 vertices in GRCOL2",
           static_cast<float>(n), 0.0f);
  if (n < 3) return;
  const int nlev = ncol + 1;
  float fhi = f[0];
  for (int k = 1; k < n; ++k) fhi = std::max(fhi, f[k]);
  if (!three_d) {
    float xlo = x[0], xhi = x[0], ylo = y[0], yhi = y[0];
    for (int k = 1; k < n; ++k) {
      xlo = std::min(xlo, x[k]);
      xhi = std::max(xhi, x[k]);
      ylo = std::min(ylo, y[k]);
      yhi = std::max(yhi, y[k]);
    }
    if (xhi < s.XMNCGR || xlo > s.XMXCGR || yhi < s.YMNCGR || ylo > s.YMXCGR) return;
  }
  int lower = 0;
  if (three_d) {
    if (fhi < levels[0] + 1e-6f) return;
    lower = s.IN07GR ? 1 : 0;
  } else if (s.IN07GR) {
    if (fhi < levels[0] + 1e-20f) return;
    lower = 1;
  }
  int cmin = grclass(f[0], levels, nlev), cmax = cmin;
  for (int k = 1; k < n; ++k) {
    const int c = grclass(f[k], levels, nlev);
    cmin = std::min(cmin, c);
    cmax = std::max(cmax, c);
  }
  auto fill = [&](const std::vector<Pt>& p, int colour) {
    if (colour <= 0 || p.size() < 3) return;
    float px[8], py[8], pz[8];
    const int m = static_cast<int>(std::min<std::size_t>(p.size(), 8));
    for (int k = 0; k < m; ++k) {
      px[k] = p[k].x;
      py[k] = p[k].y;
      pz[k] = p[k].z;
    }
    if (three_d)
      grfil3(g, px, py, pz, m, colour);
    else
      grfil2(g, px, py, m, colour);
  };
  if (cmin == cmax) {
    if (cmin - lower <= 0) return;
    if (three_d)
      grfil3(g, x, y, z, n, cmin - lower);
    else
      grfil2(g, x, y, n, cmin - lower);
    return;
  }
  const Pt c = centre(x, y, z, f, n);
  std::vector<Pt> band;
  for (int t = 0; t < n; ++t) {
    const int t2 = (t + 1) % n;
    const Pt a{x[t], y[t], z ? z[t] : 0.0f, f[t]}, b{x[t2], y[t2], z ? z[t2] : 0.0f, f[t2]};
    const int lo = std::min(
        {grclass(a.f, levels, nlev), grclass(b.f, levels, nlev), grclass(c.f, levels, nlev)});
    const int hi = std::max(
        {grclass(a.f, levels, nlev), grclass(b.f, levels, nlev), grclass(c.f, levels, nlev)});
    for (int cl = lo; cl <= hi; ++cl) {
      if (cl - lower <= 0) continue;
      band = {a, b, c};
      if (lo != hi) {
        if (cl >= 2) cut(band, levels[cl - 2], true);
        if (cl <= nlev) cut(band, levels[cl - 1], false);
      }
      fill(band, cl - lower);
    }
  }
}

// Floor of the position of v among the ascending coordinates c[0..n-1]
// (stride st): the cell index 0..n-2 and the fraction inside it; false
// outside.
bool locate_axis(const float* c, int n, int st, float v, int& cell, float& frac) {
  if (n < 2) return false;
  const bool up = c[static_cast<std::size_t>(n - 1) * st] >= c[0];
  auto at = [&](int k) {
    return up ? c[static_cast<std::size_t>(k) * st] : -c[static_cast<std::size_t>(k) * st];
  };
  const float w = up ? v : -v;
  if (!(w >= at(0) && w <= at(n - 1))) return false;
  int lo = 0, hi = n - 1;
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    if (at(mid) <= w)
      lo = mid;
    else
      hi = mid;
  }
  cell = lo;
  const float d = at(lo + 1) - at(lo);
  frac = d > 0 ? (w - at(lo)) / d : 0.0f;
  return true;
}

// True when x depends on i only and y on j only, both strictly monotone.
bool rectilinear(const float* x, const float* y, int ld, int nx, int ny) {
  if (nx < 2 || ny < 2) return false;
  const float dx = x[1] - x[0], dy = y[ld] - y[0];
  if (dx == 0 || dy == 0) return false;
  for (int i = 1; i < nx; ++i)
    if ((x[i] - x[i - 1]) * dx <= 0) return false;
  for (int j = 1; j < ny; ++j)
    if ((y[static_cast<std::size_t>(j) * ld] - y[static_cast<std::size_t>(j - 1) * ld]) * dy <= 0)
      return false;
  for (int j = 0; j < ny; ++j) {
    const std::size_t r = static_cast<std::size_t>(j) * ld;
    for (int i = 0; i < nx; ++i)
      if (x[r + i] != x[i] || y[r + i] != y[r]) return false;
  }
  return true;
}

// Value in the rectilinear cell at the fractions (s, t) from corner (i, j):
// the four triangles around the centre meet along the diagonals.
float cell_value(float f00, float f10, float f11, float f01, float s, float t) {
  const float fc = 0.25f * (f00 + f10 + f11 + f01);
  float fa, fb, al, be;
  if (t <= s && t <= 1 - s) {  // lower edge
    fa = f00, fb = f10, al = s - t, be = 2 * t;
  } else if (s >= t) {  // right edge
    fa = f10, fb = f11, al = t - (1 - s), be = 2 * (1 - s);
  } else if (t >= 1 - s) {  // upper edge
    fa = f11, fb = f01, al = t - s, be = 2 * (1 - t);
  } else {  // left edge
    fa = f01, fb = f00, al = 1 - t - s, be = 2 * s;
  }
  return fa + al * (fb - fa) + be * (fc - fa);
}

// Value in a general quadrilateral (or polygon) cell of n corners at
// (px, py); false when the point is in none of its triangles.
bool polygon_value(const float* x, const float* y, const float* f, int n, float px, float py,
                   float& v) {
  double cx = 0, cy = 0, cf = 0;
  for (int k = 0; k < n; ++k) {
    cx += x[k];
    cy += y[k];
    cf += f[k];
  }
  cx /= n;
  cy /= n;
  cf /= n;
  for (int t = 0; t < n; ++t) {
    const int t2 = (t + 1) % n;
    const double ax = x[t], ay = y[t], bx = x[t2], by = y[t2];
    const double det = (bx - ax) * (cy - ay) - (cx - ax) * (by - ay);
    if (det == 0) continue;
    const double al = ((px - ax) * (cy - ay) - (cx - ax) * (py - ay)) / det;
    const double be = ((bx - ax) * (py - ay) - (px - ax) * (by - ay)) / det;
    const double eps = 1e-9;
    if (al >= -eps && be >= -eps && al + be <= 1 + eps) {
      v = static_cast<float>(f[t] + al * (f[t2] - f[t]) + be * (cf - f[t]));
      return true;
    }
  }
  return false;
}

}  // namespace

int grclass(float v, const float* levels, int nlev) {
  // Levels ascend: the count below v is the first level not below it.
  int lo = 0, hi = nlev;
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (levels[mid] < v)
      lo = mid + 1;
    else
      hi = mid;
  }
  return 1 + lo;
}

void grcfil(const Graphics& g, const float* f, int ld, int nx, int ny, float nodata,
            float* levels) {
  const int ncol = std::abs(g.n.NCOLGR);
  double fmax = -std::numeric_limits<double>::infinity();
  double fmin = std::numeric_limits<double>::infinity();
  double sum = 0, sum2 = 0;
  long cnt = 0;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      const double v = f[i + static_cast<std::size_t>(j) * ld];
      if (!std::isfinite(v)) continue;
      fmax = std::max(fmax, v);
      if (v > nodata) {
        fmin = std::min(fmin, v);
        if (std::fabs(v) > 0.01) {
          ++cnt;
          sum += v;
          sum2 += v * v;
        }
      }
    }
  if (!std::isfinite(fmin)) fmin = std::isfinite(fmax) ? fmax : 0.0;
  if (!std::isfinite(fmax)) fmax = fmin;
  double lo = fmin, hi = fmax;
  if (cnt >= 3) {
    const double m = sum / cnt;
    const double s = std::sqrt(std::max(0.0, (sum2 - cnt * m * m) / (cnt - 1)));
    if (lo < 0 && m - s > 0) lo = 0;
    hi = std::min(m + 4 * s, fmax);
  }
  if ((std::fabs(levels[0] + 99.0f) < 0.001f || g.n.NCOLGR < 0) && lo < 0) lo = 0;
  float start = 0, step = 1;
  grscal(g, static_cast<float>(lo), static_cast<float>(hi), std::max(ncol, 1), start, step);
  step = std::max(step, 0.001f);
  for (int k = 0; k <= ncol; ++k) levels[k] = start + static_cast<float>(k) * step;
}

void grcol2(Graphics& g, const float* x, const float* y, const float* f, int n, const float* levels,
            int ncol) {
  fill_cell(g, x, y, nullptr, f, n, levels, ncol, false);
}

void grcol3(Graphics& g, const float* x, const float* y, const float* z, const float* f, int n,
            const float* levels, int ncol) {
  fill_cell(g, x, y, z, f, n, levels, ncol, true);
}

void grmon3(Graphics& g, const float* x, const float* y, const float* z, const float* f, int n,
            const float* levels, int nlev) {
  if (n > kCellCorners) greror(g, "More than 12 vertices in GRMON3", static_cast<float>(n), 0.0f);
  if (n < 3 || nlev < 1) return;
  float flo = f[0], fhi = f[0];
  for (int k = 1; k < n; ++k) {
    flo = std::min(flo, f[k]);
    fhi = std::max(fhi, f[k]);
  }
  bool any = false;
  for (int l = 0; l < nlev && !any; ++l) any = flo < levels[l] && levels[l] < fhi;
  if (!any) return;
  const Pt c = centre(x, y, z, f, n);
  for (int t = 0; t < n; ++t) {
    const int t2 = (t + 1) % n;
    const Pt p[3] = {
        {x[t], y[t], z ? z[t] : 0.0f, f[t]}, {x[t2], y[t2], z ? z[t2] : 0.0f, f[t2]}, c};
    const float tlo = std::min({p[0].f, p[1].f, p[2].f}), thi = std::max({p[0].f, p[1].f, p[2].f});
    for (int l = 0; l < nlev; ++l) {
      const float lv = levels[l];
      if (!(tlo < lv && lv < thi)) continue;
      Pt q[2];
      int m = 0;
      for (int e = 0; e < 3 && m < 2; ++e) {
        const Pt& a = p[e];
        const Pt& b = p[(e + 1) % 3];
        if ((a.f < lv) == (b.f < lv)) continue;
        const float r = (lv - a.f) / (b.f - a.f);
        q[m++] = {a.x + r * (b.x - a.x), a.y + r * (b.y - a.y), a.z + r * (b.z - a.z), lv};
      }
      if (m < 2) continue;
      grmov3(g, q[0].x, q[0].y, q[0].z);
      grdrw3(g, q[1].x, q[1].y, q[1].z);
    }
  }
}

bool grloct(Graphics& g, const float* x, const float* y, const float* f, int ld, int nx, int ny,
            float px, float py, float& value) {
  auto at = [&](int i, int j) {
    return static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ld;
  };
  if (rectilinear(x, y, ld, nx, ny)) {
    int ci = 0, cj = 0;
    float s = 0, t = 0;
    if (locate_axis(x, nx, 1, px, ci, s) && locate_axis(y, ny, ld, py, cj, t)) {
      // The fractions run from the corner (ci, cj) whatever the direction of the axes.
      value = cell_value(f[at(ci, cj)], f[at(ci + 1, cj)], f[at(ci + 1, cj + 1)], f[at(ci, cj + 1)],
                         s, t);
      return true;
    }
  } else {
    for (int j = 0; j + 1 < ny; ++j)
      for (int i = 0; i + 1 < nx; ++i) {
        const std::size_t k[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
        float cx[4], cy[4], cf[4];
        for (int c = 0; c < 4; ++c) {
          cx[c] = x[k[c]];
          cy[c] = y[k[c]];
          cf[c] = f[k[c]];
        }
        if (*std::max_element(cx, cx + 4) < px || *std::min_element(cx, cx + 4) > px ||
            *std::max_element(cy, cy + 4) < py || *std::min_element(cy, cy + 4) > py)
          continue;
        if (polygon_value(cx, cy, cf, 4, px, py, value)) return true;
      }
  }
  grjout(g, " ***ERROR***Could not find cell in GRLOCT  (" + fmt_g(px, 15, 7) + "," +
                fmt_g(py, 15, 7) + ")");
  return false;
}

bool grcrast(Graphics& g, const float* x, const float* y, const float* f, int ld, int nx, int ny,
             const float* levels, int ncol) {
  if (!rectilinear(x, y, ld, nx, ny)) return false;
  const Grcomn& s = g.n;
  grdump(g);
  const int nlev = ncol + 1;
  const int lower = s.IN07GR ? 1 : 0;
  // Pixel columns and rows of the clip rectangle whose centres lie inside it.
  auto user_x = [&](int px) {
    return s.XMINGR + (static_cast<float>(px) + 0.5f - s.XORGGR) / s.XFACGR;
  };
  auto user_y = [&](int py) {
    return s.YMINGR + (static_cast<float>(py) + 0.5f - s.YORGGR) / s.YFACGR;
  };
  int px0 = std::min(grdevx(g, s.XMNCGR), grdevx(g, s.XMXCGR)) - 1;
  int px1 = std::max(grdevx(g, s.XMNCGR), grdevx(g, s.XMXCGR)) + 1;
  int py0 = std::min(grdevy(g, s.YMNCGR), grdevy(g, s.YMXCGR)) - 1;
  int py1 = std::max(grdevy(g, s.YMNCGR), grdevy(g, s.YMXCGR)) + 1;
  px0 = std::max(px0, 0);
  py0 = std::max(py0, 0);
  px1 = std::min(px1, std::max(g.x.width, 1) - 1);
  py1 = std::min(py1, std::max(g.x.height, 1) - 1);
  if (px1 < px0 || py1 < py0) return true;
  const float cxlo = std::min(s.XMNCGR, s.XMXCGR), cxhi = std::max(s.XMNCGR, s.XMXCGR);
  const float cylo = std::min(s.YMNCGR, s.YMXCGR), cyhi = std::max(s.YMNCGR, s.YMXCGR);
  const int w = px1 - px0 + 1;
  std::vector<int> col_cell(w, -1);
  std::vector<float> col_frac(w, 0.0f);
  for (int p = 0; p < w; ++p) {
    const float ux = user_x(px0 + p);
    if (ux < cxlo || ux > cxhi) continue;
    int c;
    float fr;
    if (locate_axis(x, nx, 1, ux, c, fr)) {
      col_cell[p] = c;
      col_frac[p] = fr;
    }
  }
  std::vector<int> cls(w);
  for (int py = py0; py <= py1; ++py) {
    const float uy = user_y(py);
    int cj;
    float t;
    if (uy < cylo || uy > cyhi || !locate_axis(y, ny, ld, uy, cj, t)) continue;
    const float* r0 = f + static_cast<std::size_t>(cj) * ld;
    const float* r1 = r0 + ld;
    for (int p = 0; p < w; ++p) {
      const int ci = col_cell[p];
      if (ci < 0) {
        cls[p] = 0;
        continue;
      }
      const float v = cell_value(r0[ci], r0[ci + 1], r1[ci + 1], r1[ci], col_frac[p], t);
      int c = grclass(v, levels, nlev) - lower;
      if (s.CMODGR == 4 && c > 4) c = 0;
      cls[p] = c;
    }
    int p = 0;
    while (p < w) {
      const int c = cls[p];
      int q = p + 1;
      while (q < w && cls[q] == c) ++q;
      if (c > 0) {
        grcolr(g, c);
        grxrec(g.x, px0 + p, py, q - p, 1);
      }
      p = q;
    }
  }
  return true;
}

}  // namespace qf
