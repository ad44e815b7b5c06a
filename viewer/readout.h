// The pointer readout of the plots: the world position under the pointer
// and the value the item has at the node whose cell holds it, for the
// message line while the pointer moves.
#pragma once

#include <string>
#include <string_view>

namespace qf {

struct Graphics;

// Node (0-based i, j) of the field whose cell holds the point (px, py) in
// user coordinates: on a rectilinear grid (x ascending along a row, y along
// a column) the node within half a spacing in both directions, false beyond
// the outer half cells; on any other grid the nearest node.
bool grnode_at(const float* x, const float* y, int ld, int nx, int ny, float px, float py, int& i,
               int& j);

// "x =   512340.50  y =   178220.25  Flow Depth [m] =     0.432": world
// coordinates (XORGR, YORGR added), then the item and its value, or
// "empty" for a value not above nodata + 0.1 (dry, no data); only the
// coordinates beyond the grid.
std::string grreadout(const Graphics& g, const float* x, const float* y, const float* f, int ld,
                      int nx, int ny, float nodata, std::string_view item, float px, float py);

}  // namespace qf
