// Boundary conditions of the ring nodes, sources and culverts.
//
// The ring of ghost nodes around the grid is closed as a wall before every
// sweep of the flux solver; the boundary blocks of the table storage then
// reopen their nodes and prescribe a water level, a weir, an inflow
// hydrograph, a normal-flow outflow or a tide-like level. The source blocks
// (precipitation, point discharges, loads) and the culverts fill the source
// fields `src` and `srcm` once per step.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "io/channels.h"
#include "io/messages.h"
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
  // What the last call of `source` added to src [m/s] at the point (or took
  // at the inlet and gave at the outlet): the differences of the stored
  // 32-bit values, so that the budget sees what the solver sees.
  double added = 0.0, taken = 0.0, given = 0.0;
};

// Water budget of the flow steps since the start of the run: volumes [m3]
// in double precision. A sweep of the flux solver moves water over the faces
// between the ring and the real cells (the mass fluxes it applied, which it
// keeps per face in qq and rr) and adds the source field src of the nodes it
// updates. Each sweep counts with its time step and its weight (1, or 1/2
// for each sweep of a two-stage step).
struct WaterBudget {
  std::array<double, 5> in{}, out{};     // per boundary type 1..5 (index type - 1), both >= 0
  double wall_in = 0.0, wall_out = 0.0;  // over ring nodes of no boundary block
  double rain = 0.0, points = 0.0, leakage = 0.0, culvert = 0.0;  // net volume added
  // Volumes moved (sums of the amounts of each sweep): rain or evaporation,
  // point discharges either way, leakage, and the transfer through culverts.
  double rain_moved = 0.0, points_moved = 0.0, leakage_moved = 0.0, culvert_moved = 0.0;
  // How the solver applies a sink: true (the flow step), every node takes its
  // sink, but only down to empty (src at least -max(h, 0) / dt); false, a node
  // whose five-point neighbourhood is dry takes no sink and a sink may take a
  // node below empty (a bare row sweep without the outflow limiter).
  bool sinks_limited = true;
  // The sweep whose sums are still to be counted.
  bool pending = false;
  bool rates_ready = false;  // source rates of the pending sweep are known
  float dt = 0.0f;           // its time step [s]
  double weight = 1.0;
  // Source rates [m3/s] the pending sweep applies.
  double r_rain = 0.0, r_points = 0.0, r_leakage = 0.0, r_culvert = 0.0;
  double r_points_moved = 0.0, r_culvert_moved = 0.0;
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
  std::vector<std::uint8_t> owner;  // per node: boundary type of a ring node, 0 = wall
  float rain = 0.0f;                // precipitation of the last `source` call [m/s]
  // After the last `source` call src and srcm are zero but at the nodes of
  // the source blocks (no rain, no leakage): the next call clears those only.
  bool src_sparse = false;
  // Boundary series: a step that calls `bound` twice (two-stage step) writes
  // its lines only once.
  bool series_written = false;
  float series_time = 0;
  bool warned_no_point = false;  // a discharge or load without a point was reported
  // Which sweep of the flow step the next `bound` call prepares: 1 the first,
  // 2 the second of a two-stage step, 0 a call outside a flow step (then
  // nothing is counted). `bound` resets it to 0.
  int stage = 0;
  // The flow step the clock has just made [h, from .. to]; inflow and point
  // discharge tables give their mean over it.
  double step_from = 0.0, step_to = -1.0;
  WaterBudget budget;
};

// Whether `time` closes the flow step of step_from .. step_to.
inline bool in_step(const BoundaryWork& b, float time) {
  return b.step_to > b.step_from && static_cast<float>(b.step_to) == time;
}

// Reads the block list of the table storage and checks every boundary node,
// source point and culvert end against the grid. Call once after input (and
// again whenever the grid or the table storage changes).
void prepare_boundary(Model& m, BoundaryWork& b);
// Prescribes the ring nodes for this step and clears the boundary sums.
void bound(Model& m, BoundaryWork& b, Channels& io, Messages& msg);
// Fills src and srcm from the source and culvert blocks for this step.
void source(Model& m, BoundaryWork& b, Channels& io, Messages& msg);

// Counts the last sweep of the flux solver in the water budget (its
// boundary sums, face fluxes and applied sources); nothing when it is
// counted already. `bound` does it for the sweep before it; the run loop
// calls it after every flow step so that the budget is complete.
void close_budget(Model& m, BoundaryWork& b);
// The source rates [m3/s] of the coming sweep: src of the interior nodes
// the solver will update (a node whose neighbourhood is dry takes only a
// positive source).
void budget_sources(const Model& m, BoundaryWork& b);
// Water on the grid [m3]: every interior depth as it is (negative ones too).
double grid_volume(const Model& m);

// Ring node, first and second inward node of position `pos` on `side`.
RingNode gtindx(const Model& m, int side, int pos);
// Closes one ring node: dry, no depth, no discharge, and its bed at least as
// high as the water level of the node inward.
void stclose(Model& m, int side, int pos);

}  // namespace qf
