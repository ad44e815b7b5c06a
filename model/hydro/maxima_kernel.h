// Maxima per node of water level, depth, specific flow and velocity, raised
// from a state: the kernel of the output's maxima (output/wmax.h), which the
// last stage of the block sweep also calls on each row as it stores the
// row's new state. Every node is worked on its own with the same float
// operations (no contracted products), one node or the lanes of the file
// that includes this one at a time: the maxima do not depend on the lanes.
#pragma once

#include <cstddef>

#include "model/hydro/lanes.h"
#include "model/hydro/solver.h"

namespace qf {
inline namespace QF_ISA {

// The new value replaces a lower stored one or a stored value that is not
// a number.
template <class T>
inline T raised(T stored, T v) {
  return sel(mor(v > stored, mnot(stored == stored)), v, stored);
}

// Raises the maxima of the node at element k (of kLanes nodes from there
// for T = Lanes) from its depth, discharges and bed level.
template <class T>
[[gnu::always_inline]] inline void raise_node(const float* h, const float* q, const float* r,
                                              const float* zb, float* level, float* depth,
                                              float* flow, float* velocity, std::size_t k) {
  const T d = load<T>(h + k);
  const T qk = load<T>(q + k), rk = load<T>(r + k);
  const T fl = vsqrt(qk * qk + rk * rk);
  const T lv = load<T>(level + k);
  store(level + k, sel(d > 0.001f, raised(lv, load<T>(zb + k) + d), lv));
  store(depth + k, raised(load<T>(depth + k), d));
  store(flow + k, raised(load<T>(flow + k), fl));
  store(velocity + k, raised(load<T>(velocity + k), fl / vmax(d, splat<T>(0.001f))));
}

// The maxima of nodes k0 .. k1 - 1 (elements) of the state fields, lanes
// at a time.
inline void raise_maxima_range(const float* h, const float* q, const float* r, const float* zb,
                               const MaximaFields& mx, std::size_t k0, std::size_t k1) {
  std::size_t k = k0;
  for (; k + kLanes <= k1; k += kLanes) {
    raise_node<Lanes>(h, q, r, zb, mx.level, mx.depth, mx.flow, mx.velocity, k);
  }
  for (; k < k1; ++k) raise_node<float>(h, q, r, zb, mx.level, mx.depth, mx.flow, mx.velocity, k);
}

}  // namespace QF_ISA
}  // namespace qf
