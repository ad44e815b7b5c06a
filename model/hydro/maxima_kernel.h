// Maxima per node of water level, depth, specific flow and velocity, raised
// from a state: the kernel of the output's maxima (output/wmax.h), which the
// last stage of the block sweep also calls on each row as it stores the
// row's new state. Every node is worked on its own with the same float
// operations (no contracted products), in whatever vectors the file that
// includes this one is built for: the maxima do not depend on it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "model/hydro/isa.h"

namespace qf {

// The maxima fields (element k - 1 of node k, each the size of the grid);
// owned by the output, not by the sweep.
struct MaximaFields {
  float* level = nullptr;     // highest zb + h while deeper than 0.001 m
  float* depth = nullptr;     // highest h
  float* flow = nullptr;      // highest sqrt(q^2 + r^2) [m2/s]
  float* velocity = nullptr;  // highest sqrt(q^2 + r^2) / max(h, 0.001) [m/s]
};

inline namespace QF_ISA {

// The new value replaces a lower stored one or a stored value that is not
// a number (written as a select so that the loop vectorises).
inline float raised(float stored, float v) {
  return (v > stored || stored != stored) ? v : stored;
}

// Raises n maxima from depths, discharges and bed levels.
[[gnu::always_inline]] inline void raise_maxima_nodes(
    const float* __restrict h, const float* __restrict q, const float* __restrict r,
    const float* __restrict zb, float* __restrict level, float* __restrict depth,
    float* __restrict flow, float* __restrict velocity, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) {
    const float d = h[k];
    const float fl = std::sqrt(q[k] * q[k] + r[k] * r[k]);
    const float lv = raised(level[k], zb[k] + d);
    level[k] = d > 0.001f ? lv : level[k];
    depth[k] = raised(depth[k], d);
    flow[k] = raised(flow[k], fl);
    velocity[k] = raised(velocity[k], fl / std::max(d, 0.001f));
  }
}

// The same for nodes k0 .. k1 - 1 (elements) of the state fields and the
// maxima fields.
[[gnu::always_inline]] inline void raise_maxima_range(const float* h, const float* q,
                                                      const float* r, const float* zb,
                                                      const MaximaFields& mx, std::size_t k0,
                                                      std::size_t k1) {
  if (k1 <= k0) return;
  raise_maxima_nodes(h + k0, q + k0, r + k0, zb + k0, mx.level + k0, mx.depth + k0, mx.flow + k0,
                     mx.velocity + k0, k1 - k0);
}

}  // namespace QF_ISA
}  // namespace qf
