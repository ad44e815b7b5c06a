#include "viewer/empty_nodes.h"

#include <algorithm>
#include <cmath>

#include "model/state.h"

namespace qf {

bool wet_only_item(std::string_view name) {
  static constexpr std::string_view kWet[] = {
      "Flow Depth",       "Water Level",      "Flow Velocity", "Specific Flow", "Froude Number",
      "Bed Shear Stress", "Energy Level",     "X-Velocity",    "Y-Velocity",    "Concentration",
      "Temperature",      "Draught of Float", "Hazard Rating"};
  const std::size_t u = name.find(" [");
  const std::string_view bare = name.substr(0, u);
  return std::find(std::begin(kWet), std::end(kWet), bare) != std::end(kWet);
}

std::vector<std::uint8_t> wall_nodes(const std::vector<float>& level) {
  std::vector<std::uint8_t> out(level.size(), 0);
  if (level.empty()) return out;
  const float top = *std::max_element(level.begin(), level.end());
  float below = -HUGE_VALF;
  for (const float v : level)
    if (v < top) below = std::max(below, v);
  // Without a gap of half a wall height the maximum is a real level.
  if (!(top - below >= 0.5f * wall_height)) return out;
  for (std::size_t k = 0; k < level.size(); ++k) out[k] = level[k] == top ? 1 : 0;
  return out;
}

void blank_nodes(std::vector<float>& f, const std::vector<std::uint8_t>& outside,
                 const std::vector<float>* depth, bool wet_only, float dry_depth, float no_data) {
  const std::size_t n = f.size();
  const bool dry = wet_only && depth != nullptr && depth->size() == n;
  for (std::size_t k = 0; k < n; ++k) {
    if ((k < outside.size() && outside[k] != 0) || (dry && !((*depth)[k] > dry_depth)))
      f[k] = no_data;
  }
}

}  // namespace qf
