// Which nodes of a stored field are left empty in the pictures and the
// exports: nodes outside the model in every item, and dry nodes in the
// items that exist only where water stands (a dry flood plain has no water
// level and no velocity; its bed level, roughness and inundation time are
// still values).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qf {

// Depth up to which a node read back from a result file counts as dry (the
// model's default dry depth; the file does not store the one used).
inline constexpr float kDryDepth = 0.02f;

// True for the items that have no value at a dry node ("Water Level [m]",
// "X-Velocity [m/s]", ...); name is the item label without its key letter.
bool wet_only_item(std::string_view name);

// Nodes outside the model: the model raises them to one wall level far
// above the highest real bed, so in a field of bed or water levels they are
// the nodes at its maximum when every other node lies at least half a wall
// height below it. All zero when there is no such gap.
std::vector<std::uint8_t> wall_nodes(const std::vector<float>& level);

// Sets f to no_data at the nodes marked in outside (when not empty) and,
// for a wet-only item with the depths given, at the nodes whose depth is
// not above dry_depth.
void blank_nodes(std::vector<float>& f, const std::vector<std::uint8_t>& outside,
                 const std::vector<float>* depth, bool wet_only, float dry_depth, float no_data);

}  // namespace qf
