#include "viewer/viewer.h"

namespace qf {

void grnear(Graphics& g, const float* x, const float* y, int n1, int n2, int ld, int& i, int& j) {
  const Grcomn& s = g.n;
  auto dist = [&](int k) {
    const float dx = s.XFACGR * (x[k] - s.XCRSGR);
    const float dy = s.YFACGR * (y[k] - s.YCRSGR);
    return dx * dx + dy * dy;
  };
  i = 1;
  j = 1;
  if (n1 < 1 || n2 < 1) return;
  float best = dist(0) + 100000.0f;
  for (int ii = 0; ii < n1; ++ii) {
    for (int jj = 0; jj < n2; ++jj) {
      const float d = dist(ii + jj * ld);
      if (d < best) {
        best = d;
        i = ii + 1;
        j = jj + 1;
      }
    }
  }
  const int k = (i - 1) + (j - 1) * ld;
  grmov2(g, x[k], y[k]);
  grsymb(g, 4);
  grdump(g);
}

}  // namespace qf
