// Transport of a tracer or of heat on a frozen flow field.
//
// The depth h and the face fluxes qq (east face of a node) and rr (north
// face) that the last flow step left behind are held fixed; the scalar c is
// advanced by a half-step first-order upwind predictor and a full-step
// corrector with minmod-limited face values, with diffusion by the eddy
// viscosity nu (coefficient: the sum of the two nodes' viscosities) and the
// loads srcm of the point sources. The time step is set once, at the first
// call, from the largest velocity of the frozen field.
//
// Nodes updated: the real cells (columns 2..nxx-1, rows 2..nyy-1) that are
// wet. The ring nodes hold the boundary values of c and are never changed.
// All four boundary faces carry the discharge of the flow step: outflow takes
// the value of the cell inside, inflow the ring value in the predictor and
// the value inside in the corrector. Dry cells keep their value.
#pragma once

#include <vector>

#include "io/channels.h"
#include "io/messages.h"
#include "model/hydro/boundary.h"
#include "model/state.h"

namespace qf {

// Working state of the transport, kept from step to step. Sized once for the
// grid by `prepare_transport`; a step allocates nothing.
struct TransportWork {
  std::vector<float> c0;   // scalar at the start of the step, one per node
  std::vector<float> fs;   // per column: flux through the south face, from the row below
  std::vector<float> grs;  // per column: limited y-slope at the node, from the row below
  // Sweeps over blocks of rows: per thread the carried south-face fluxes and
  // y-slopes (2 x (nxx + 1)), the corrected scalar of every node, and per
  // row the scalar in and out over the boundary faces, the loads and the sum
  // of |change|, added in row order.
  int block_rows = 32;
  std::vector<float> carry;
  std::vector<float> corrected;
  struct RowSums {
    double in = 0.0, out = 0.0, load = 0.0, change = 0.0;
  };
  std::vector<RowSums> sums;
  int nxx = 0, nyy = 0;  // grid the buffers are sized for
  bool started = false;  // the first call has fixed the time step
  float dt = 0;          // time step of the run [s]
  double clock = 0;      // model time [h], summed in double (time is its 32-bit copy)
  // Balance of the last step (scalar unit x m3): what entered and what left
  // through the boundary faces, and the loads added.
  double boundary_in = 0;
  double boundary_out = 0;
  double load = 0;
};

// Sizes the buffers for the model's grid (call after input; `mix` calls it
// itself when the grid has changed).
void prepare_transport(const Model& m, TransportWork& w);

// One transport step. At the first call: prints " >inlet calculation" and
// fixes dt = cfl dx / sqrt(smax) from the largest u^2 + (dx/dy)^2 v^2 of the
// wet real cells, but not above 1 / rmax: where the cells have diffusion,
// the Courant number |u| dt/dx + |v| dt/dy plus the diffusion number may not
// exceed 1 (beyond it the explicit step diverges), and not above 1 / omax:
// no node may send out more water through its faces in one step than it
// holds (a frozen field far from steady can have face discharges many times
// its node discharges). A grid
// without a wet real cell prints " >dry area found " (no line end) and
// throws Stop(0): the run ends normally. A wet field at rest (no velocity
// anywhere) has no finite time step: a fatal error through `msg` on the
// listing, Stop(1). Every call: c0 = c, change_rate = 0, time += dt,
// `source` rebuilds src and srcm, then `mix_advance`.
void mix(Model& m, TransportWork& w, BoundaryWork& b, Channels& io, Messages& msg);

// Predictor and corrector sweeps of one step of w.dt with the current
// srcm: c0 = c, then c advanced; change_rate = sum of |change of c|; the
// balance members of w describe the step. Does not advance the time.
void mix_advance(Model& m, TransportWork& w);

// Limits of the transport time step over the wet real cells: smax, the
// largest u^2 + (dx/dy)^2 v^2 (-1 when there is no wet real cell), and rmax,
// the largest Courant rate |u|/dx + |v|/dy plus diffusion rate among the
// cells with diffusion (0 when none has any), and omax, the largest outflow
// rate through the faces (mix_outflow_rate).
struct TimeStepLimits {
  float smax = -1.0f;
  float rmax = 0.0f;
  float omax = 0.0f;  // largest share of a node's water leaving through its faces per second [1/s]
};
TimeStepLimits mix_time_step_limits(const Model& m);

// Total amount of scalar in the real cells: sum of c h cell_area over the
// wet real cells, in double.
double mix_total(const Model& m);

}  // namespace qf
