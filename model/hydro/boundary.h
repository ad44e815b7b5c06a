// Boundary conditions of the ring nodes, sources and culverts.
//
// The ring of ghost nodes around the grid is closed as a wall before every
// sweep of the flux solver; the boundary blocks of the table storage then
// reopen their nodes and prescribe a water level, a weir, an inflow
// hydrograph, a normal-flow outflow or a tide-like level. The source blocks
// (precipitation, point discharges, loads) and the culverts fill the source
// fields `src` and `srcm` once per step.
#pragma once

#include <vector>

#include "cmdlang/channels.h"
#include "cmdlang/messages.h"
#include "model/state.h"

namespace qf {

// Sides of the boundary ring.
enum Side : int { side_west = 1, side_east = 2, side_south = 3, side_north = 4 };

// Node indices (1-based) of a ring position: the ring node, the first and
// the second node inward.
struct RingNode {
  int b = 0;
  int in = 0;
  int in2 = 0;
};

// One node of a boundary block, checked against the grid.
struct BoundaryNode {
  int side = 0;
  int b = 0, in = 0, in2 = 0;  // array elements (node index - 1)
  int state_row = 0;           // table row of the tide integral state (tide only)
};

// A boundary block (types 1..5) as found in the table storage.
struct BoundaryBlock {
  int type = 0;
  int row = 0;         // table row of the block's first row
  int series_row = 0;  // first table row of the time series
  int series_count = 0;
  int first_node = 0;  // into BoundaryWork::nodes
  int node_count = 0;  // nodes that lie on the grid
  int channel = 0;     // time-series output channel, 0 = none
};

// A source block (types 11..13) or a culvert (type 14).
struct SourceBlock {
  int type = 0;
  int row = 0;
  int series_row = 0;
  int series_count = 0;
  int node = -1;                // array element of the point (types 12, 13), -1 = none
  int inlet = -1, outlet = -1;  // array elements of the culvert ends
  int channel = 0;
};

// Working state of the boundary treatment and of the sources. Sized by
// `prepare_boundary`; the tide integral states and the culverts' last
// discharges stay in their table blocks.
struct BoundaryWork {
  bool prepared = false;
  int nxx = -1, nyy = -1;  // grid the node lists were checked against
  std::vector<BoundaryBlock> blocks;
  std::vector<BoundaryNode> nodes;
  std::vector<SourceBlock> sources;
  bool has_precipitation = false;
  // Boundary series: a step that calls `bound` twice (two-stage step) writes
  // its lines only once.
  bool series_written = false;
  float series_time = 0;
  bool warned_no_point = false;  // a discharge or load without a point was reported
};

// Reads the block list of the table storage and checks every boundary node,
// source point and culvert end against the grid. Call once after input (and
// again whenever the grid or the table storage changes).
void prepare_boundary(Model& m, BoundaryWork& b);
// Prescribes the ring nodes for this step and clears the boundary sums.
void bound(Model& m, BoundaryWork& b, Channels& io, Messages& msg);
// Fills src and srcm from the source and culvert blocks for this step.
void source(Model& m, BoundaryWork& b, Channels& io, Messages& msg);

// Ring node, first and second inward node of position `pos` on `side`.
RingNode gtindx(const Model& m, int side, int pos);
// Closes one ring node: dry, no depth, no discharge, and its bed at least as
// high as the water level of the node inward.
void stclose(Model& m, int side, int pos);

}  // namespace qf
