#include "viewer/readout.h"

#include <algorithm>
#include <cmath>

#include "graphics/graphics.h"
#include "io/textio.h"

namespace qf {

namespace {

// Index of the value of the ascending sequence v[0], v[s], ... v[(n-1)s]
// nearest to p; false when p lies beyond half a spacing past either end.
bool nearest_on_axis(const float* v, int n, long s, float p, int& k) {
  if (n == 1) {
    k = 0;
    return true;
  }
  auto at = [&](int m) { return v[m * s]; };
  if (p < at(0) - (at(1) - at(0)) / 2 || p > at(n - 1) + (at(n - 1) - at(n - 2)) / 2) return false;
  int lo = 0, hi = n - 1;
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    (at(mid) <= p ? lo : hi) = mid;
  }
  k = p - at(lo) <= at(hi) - p ? lo : hi;
  return true;
}

bool rectilinear(const float* x, const float* y, int ld, int nx, int ny) {
  const long top = static_cast<long>(ny - 1) * ld;
  for (int i = 0; i < nx; ++i)
    if ((i > 0 && !(x[i] > x[i - 1])) || x[i + top] != x[i]) return false;
  for (int j = 0; j < ny; ++j) {
    const long k = static_cast<long>(j) * ld;
    if ((j > 0 && !(y[k] > y[k - ld])) || y[k + nx - 1] != y[k]) return false;
  }
  return true;
}

}  // namespace

bool grnode_at(const float* x, const float* y, int ld, int nx, int ny, float px, float py, int& i,
               int& j) {
  if (nx < 1 || ny < 1) return false;
  if (rectilinear(x, y, ld, nx, ny))
    return nearest_on_axis(x, nx, 1, px, i) && nearest_on_axis(y, ny, ld, py, j);
  float best = INFINITY;
  for (int jj = 0; jj < ny; ++jj) {
    for (int ii = 0; ii < nx; ++ii) {
      const long k = ii + static_cast<long>(jj) * ld;
      const float d = (x[k] - px) * (x[k] - px) + (y[k] - py) * (y[k] - py);
      if (d < best) best = d, i = ii, j = jj;
    }
  }
  return true;
}

std::string grreadout(const Graphics& g, const float* x, const float* y, const float* f, int ld,
                      int nx, int ny, float nodata, std::string_view item, float px, float py) {
  std::string t = "x =" + fmt_f(px + g.n.XORGR, 12, 2) + "  y =" + fmt_f(py + g.n.YORGR, 12, 2);
  int i = 0, j = 0;
  if (!grnode_at(x, y, ld, nx, ny, px, py, i, j)) return t;
  const float v = f[i + static_cast<long>(j) * ld];
  t += "  " + std::string(trim_right(item)) + " =";
  t += v > nodata + 0.1f ? fmt_f(v, 10, 3) : std::string(" empty");
  return t;
}

}  // namespace qf
