// Courant measure of the nodes of a row, for the time step (timstp): for a
// node that flows, ((|u| + c) + (dx/dy) (|v| + c))^2 with c = sqrt(g h),
// the fastest wave each way being the flow plus the celerity (the step of
// the unsplit scheme lets the waves of both directions cross at most cfl of
// a cell together: dt = cfl dx / sqrt of the largest); -1 at a node dry for
// the flow. Built with the lanes of the file that includes it; the largest
// values do not depend on the lanes.
#pragma once

#include <cstdint>

#include "model/hydro/lanes.h"

namespace qf {
inline namespace QF_ISA {

// Largest measure of a row (-1 if no node flows) and the largest depth and
// squared speed of the nodes that flow.
struct RowMax {
  float s = -1.0f, h = 0.0f, u2 = 0.0f;
};

// The measures of columns lo .. hi of a row (into s unless it is null) and
// their largest; film is the depth below which a node flagged dry does not
// flow, ratio dx / dy.
inline RowMax courant_row(const float* h, const float* q, const float* r, const std::uint8_t* dry,
                          float g, float ratio, float film, float* s, int lo, int hi) {
  auto measure = [&](auto lanes, int c, auto& hmax, auto& u2max) {
    using T = decltype(lanes);
    const T H = load<T>(h + c);
    const T u = load<T>(q + c) / H;
    const T v = load<T>(r + c) / H;
    const T cel = vsqrt(vmax(g * H, splat<T>(0.0f)));
    const T wu = vabs(u) + cel, wv = vabs(v) + cel;
    const T ws = wu + ratio * wv;
    const T sv = ws * ws;
    const auto d = mand(load_flag<T>(dry + c), H < film);
    const T out = sel(d, splat<T>(-1.0f), sv);
    hmax = vmax(hmax, sel(d, splat<T>(0.0f), H));
    u2max = vmax(u2max, sel(d, splat<T>(0.0f), u * u + v * v));
    if (s != nullptr) store(s + c, out);
    return out;
  };
  Lanes acc = splat<Lanes>(-1.0f), hacc = splat<Lanes>(0.0f), uacc = splat<Lanes>(0.0f);
  int c = lo;
  for (; c + kLanes <= hi + 1; c += kLanes) acc = vmax(acc, measure(Lanes{}, c, hacc, uacc));
  RowMax rm;
  for (int l = 0; l < kLanes; ++l) {
    rm.s = std::max(rm.s, acc[l]);
    rm.h = std::max(rm.h, hacc[l]);
    rm.u2 = std::max(rm.u2, uacc[l]);
  }
  for (; c <= hi; ++c) rm.s = std::max(rm.s, measure(0.0f, c, rm.h, rm.u2));
  return rm;
}

}  // namespace QF_ISA
}  // namespace qf
