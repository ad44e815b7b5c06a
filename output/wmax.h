// Maxima of water level, depth, specific flow and velocity per node, the
// max-value file and the maximum-depth and maximum-flow ESRI ASCII grids.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/channels.h"
#include "io/messages.h"
#include "model/hydro/solver.h"
#include "model/state.h"

namespace qf {

inline constexpr float max_no_data = -9999.0f;

struct Wmax {
  // Per node (element k - 1 of node k), sized to the grid.
  std::vector<float> level;     // highest zb + h while deeper than 0.001 m
  std::vector<float> depth;     // highest h
  std::vector<float> flow;      // highest sqrt(q^2 + r^2) [m2/s]
  std::vector<float> velocity;  // highest sqrt(q^2 + r^2) / max(h, 0.001) [m/s]
  // Optional, per node: non-zero marks a node outside the model (a no-data
  // bed level). Such nodes show the no-data value in the exported grids and
  // in the max-value file. Empty: the model's own marks (`FlowValues::outside`).
  std::vector<std::uint8_t> outside;
};

// mode -1: make sure the named files can be created (else report each and
// stop with status 1 before the run), reset to -9999 and, when this run
// continues an earlier one (a warm start, or an initial condition loaded
// from a result file at or after the time of the max-value file), restore
// the maxima of an existing max-value file of the same grid, values that
// are not finite or of 1e30 and more left out (a continuing run without
// such a file says that its maxima start afresh); 0: update from the current
// state (when any of the three files is named); other values: write the
// max-value file and the grids. Files are written under a temporary name
// and renamed when complete, so a run killed or failing while writing
// leaves the earlier file whole and no temporary file. A file that cannot
// be completed is reported (name and reason); after the others are written
// the run stops with status 1.
void wmax(Model& m, Wmax& w, Channels& io, Messages& msg, int mode);

// The max-value file alone (when named), written as mode 1 writes it but
// without a word: the maxima up to a saved warm-start state. 0, or the
// error number of what failed (an earlier file then stays as it was).
int wmax_save(Model& m, Wmax& w, Channels& io);

// The same as mode 0 after a flow step, but only over the nodes the flow
// steps since the last call may have changed (as `sw` records them: its
// spans, the ring, the erodable nodes; the bed update changes wet nodes
// only); the record of changed nodes is cleared.
void wmax_step(const Model& m, Wmax& w, SolverWork& sw);

// Lets the next flow step's sweep raise the maxima (`SolverWork::maxima`)
// as it stores the rows, where the state the step leaves is the one
// `wmax_step` would raise them from (no bed update, no erodable nodes, no
// transport run) and the maxima are asked for; `wmax_step` then raises
// only what the sweep did not, and takes the fields back.
void wmax_arm(const Model& m, Wmax& w, SolverWork& sw);

// Writes `values` (per node) as an ESRI ASCII grid to the text file `path`
// on channel ch: the header lines (the lower left corner of the first cell,
// half a cell below and left of the origin; "dx" and "dy" in place of
// "cellsize" when the cells are not square), then the real rows north to
// south, each value in a field of 8 with 3 decimals, widened where needed so
// that a blank always separates two values. Nodes marked in `outside` (when
// not empty), the no-data value itself and values that are not finite
// numbers are written as the no-data value " -9999.0". Returns 0, or the
// error number of the failed creation, write or close.
int write_esri_grid(Channels& io, int ch, const std::string& path, const Model& m,
                    const std::vector<float>& values, const std::vector<std::uint8_t>& outside);

}  // namespace qf
