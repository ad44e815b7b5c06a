// Nodes left empty in the pictures: walls in every item, dry nodes in the
// items that need water.
#include "viewer/empty_nodes.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

// Four nodes: wet (depth 1), dry (0.01), just wet (0.03) and a wall.
TEST(EmptyNodes, DryAndWallNodesPerItem) {
  const std::vector<float> bed = {10.0f, 12.0f, 11.0f, 112.5f};
  const std::vector<float> depth = {1.0f, 0.01f, 0.03f, 0.0f};
  const std::vector<std::uint8_t> walls = wall_nodes(bed);
  EXPECT_EQ(walls, (std::vector<std::uint8_t>{0, 0, 0, 1}));
  // A bed without the gap of a wall has no walls.
  EXPECT_EQ(wall_nodes({10.0f, 12.0f, 61.0f}), (std::vector<std::uint8_t>{0, 0, 0}));
  struct Case {
    const char* item;
    bool wet_only;
    std::vector<float> shown;
  };
  const float e = -9999.0f;
  const Case cases[] = {
      {"Water Level [m]", true, {5, e, 7, e}},      {"X-Velocity [m/s]", true, {5, e, 7, e}},
      {"Y-Velocity [m/s]", true, {5, e, 7, e}},     {"Flow Velocity [m/s]", true, {5, e, 7, e}},
      {"Flow Depth [m]", true, {5, e, 7, e}},       {"Bed Level [m]", false, {5, 6, 7, e}},
      {"Inundation Time [h]", false, {5, 6, 7, e}}, {"Mannings n [SI]", false, {5, 6, 7, e}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wet_only_item(c.item), c.wet_only) << c.item;
    std::vector<float> f = {5, 6, 7, 8};
    blank_nodes(f, walls, &depth, wet_only_item(c.item), kDryDepth, e);
    EXPECT_EQ(f, c.shown) << c.item;
  }
}

}  // namespace
}  // namespace qf
