#include "output/export/derived.h"

#include <algorithm>
#include <cmath>

#include "model/state.h"

namespace qf::exp {

void raise_hazard(const float* depth, const float* speed, std::size_t n, float no_data,
                  std::vector<float>& hr) {
  hr.resize(n, 0.0f);
  for (std::size_t k = 0; k < n; ++k) {
    const float d = depth[k], v = speed[k];
    if (!std::isfinite(d) || !std::isfinite(v) || d == no_data || v == no_data) continue;
    const float r = hazard_rating(std::max(d, 0.0f), std::fabs(v));
    if (r > hr[k]) hr[k] = r;
  }
}

void speed_of(const float* u, const float* v, std::size_t n, std::vector<float>& speed) {
  speed.resize(n);
  for (std::size_t k = 0; k < n; ++k) speed[k] = std::sqrt(u[k] * u[k] + v[k] * v[k]);
}

void mark_wetting(const float* depth, std::size_t n, float time, float threshold,
                  std::vector<float>& first) {
  first.resize(n, export_no_data);
  for (std::size_t k = 0; k < n; ++k) {
    if (first[k] == export_no_data && depth[k] > threshold && std::isfinite(depth[k]))
      first[k] = time;
  }
}

bool mark_walls(const float* level, std::size_t n, float no_data,
                std::vector<std::uint8_t>& outside) {
  outside.assign(n, 0);
  auto counts = [&](float v) { return std::isfinite(v) && v != no_data; };
  bool any = false;
  float wall = 0.0f;
  for (std::size_t k = 0; k < n; ++k) {
    if (counts(level[k]) && (!any || level[k] > wall)) wall = level[k];
    any = any || counts(level[k]);
  }
  bool inside = false;
  float below = 0.0f;  // highest level of the cells inside
  for (std::size_t k = 0; k < n; ++k) {
    if (!counts(level[k]) || level[k] == wall) continue;
    if (!inside || level[k] > below) below = level[k];
    inside = true;
  }
  const double gap = static_cast<double>(wall) - below;
  if (!inside || gap < 0.9 * wall_height || gap > 1.1 * wall_height) return false;
  for (std::size_t k = 0; k < n; ++k) outside[k] = level[k] == wall ? 1 : 0;
  return true;
}

void mask_outside(const std::vector<std::uint8_t>& outside, std::vector<float>& values) {
  for (std::size_t k = 0; k < outside.size() && k < values.size(); ++k) {
    if (outside[k] != 0) values[k] = export_no_data;
  }
}

}  // namespace qf::exp
