// Speed of one redraw of the vector plot with its 50 streamlines on a large
// grid, without a window (the drawing calls go nowhere; the time is that of
// the arrows and of the streamline tracing).
//
//   vector_bench [nodes_per_side]   (default 1000 x 1000 nodes, 5 m apart)
//
// The field is a gyre over the whole grid, so the streamlines run their
// full 4000 steps. Prints the seconds per redraw and the streamline steps
// per second.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <vector>

#include "viewer/control.h"
#include "viewer/vector.h"
#include "viewer/viewer.h"

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::max(2, std::atoi(argv[1])) : 1000;
  const float d = 5.0f, c = 0.5f * d * static_cast<float>(n - 1);
  std::vector<float> x, y, u, v;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      x.push_back(d * i);
      y.push_back(d * j);
      u.push_back(-(d * j - c) / c);  // solid-body rotation, 1 m/s at the rim
      v.push_back((d * i - c) / c);
    }
  qf::Graphics g;
  std::ostringstream sink;
  g.out = &sink;
  qf::grinit(g, 5, 6, "vector_bench", "", 0);
  qf::Viewer vw;
  float ext[4];
  qf::grvec1(g, vw, 0, x.data(), y.data(), u.data(), v.data(), n, n, n, n, ext);
  qf::grsset(g, ext[0], ext[1], ext[2], ext[3]);
  for (int k = 0; k < qf::kStreamlines; ++k)
    vw.vector.starts.emplace_back(c + c * 0.9f * static_cast<float>(k + 1) / qf::kStreamlines, c);
  const auto t0 = std::chrono::steady_clock::now();
  qf::grvec1(g, vw, 1, x.data(), y.data(), u.data(), v.data(), n, n, n, n, ext);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::cout << n << " x " << n << " nodes, " << qf::kStreamlines << " streamlines: " << s
            << " s per redraw, " << static_cast<double>(qf::kStreamlines) * qf::kStreamlineSteps / s
            << " streamline steps per second\n";
}
