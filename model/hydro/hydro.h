// One flow time step of the depth-averaged shallow-water equations.
//
// Owns the persistent working storage of the time step (new-state arrays,
// row increments, the solver's per-column face storage, the boundary and
// source working state). Everything is sized once when the grid is known
// (`prepare`) so that a time step allocates nothing.
#pragma once

#include "io/channels.h"
#include "io/messages.h"
#include "model/hydro/boundary.h"
#include "model/hydro/solver.h"
#include "model/state.h"

namespace qf {

struct Hydro {
  SolverWork solver;      // flow and solve buffers (solver.h)
  BoundaryWork boundary;  // boundary and source working state (boundary.h)
  // Model time [h] as the sum of the step lengths in double precision; `time`
  // is its 32-bit value. A `time` set from outside restarts it.
  double clock = 0.0;
};

// Sizes the working storage for the model's grid (call after input, and
// again after a new grid).
void prepare(Model& m, Hydro& w);

// One time step: time step control, boundaries, sources, viscosity, the row
// sweep(s), wet/dry classification and erosion at erodable nodes. Advances
// `time` by dt; leaves stored_volume [m3], nwet, change_rate [m/s], the
// boundary discharges and the inundation times of this step.
void flow(Model& m, Hydro& w, Channels& io, Messages& msg);

// Time step dt [s] from the Courant number over the wet interior nodes, and
// the cell that limits it (`cfl_cell`, counted from the first real cell).
// Without a wet node dt = 1 s and " >DRY DOMAIN DETECTED" is shown once.
void timstp(Model& m, Hydro& w, Channels& io);

// Eddy viscosity `nu` [m2/s] of every node (only when turbulence is on).
void tmod(Model& m);

// Lowers the bed of the erodable nodes by the excess bed shear stress.
void zerode(Model& m);

// False when the last step left a depth that is not a number or is infinite,
// or produced such a depth increment. Costs nothing: such a depth in rows
// 1 .. nyy - 1 makes the stored volume non-finite, such an increment the
// change measure; a non-finite discharge of a wet node spoils the depths of
// the next step, so it is caught one step later.
bool flow_finite(const Model& m);

// Largest depth [m] and speed [m/s] that a sound flow of this run can
// reach (generous: from the start state, the beds, the water on the grid and
// the boundary levels and inflows).
struct FlowLimits {
  float depth = 0.0f, speed = 0.0f;
};
FlowLimits flow_limits(const Model& m, const Hydro& w);

// False when the state the last time step was chosen from held a depth or
// a speed beyond flow_limits (the extremes come with the Courant pass, so
// the test costs nothing).
bool flow_bounded(const Model& m, const Hydro& w);

// First wet node (row by row from the south) of the present state beyond
// flow_limits: its column i and row j in the input grid, depth and speed.
// Reads the whole state: after flow_bounded has failed, and at the end of a
// run for the last state.
bool find_unbounded(const Model& m, const Hydro& w, int& i, int& j, float& depth, float& speed);

// First node (row by row from the south) whose h, q or r is not a finite
// number; i and j are its column and row in the input grid (0 and nx + 1,
// ny + 1 denote the boundary ring). False when there is none. Reads the whole
// state: for the run loop after flow_finite has failed, or now and then.
bool find_nonfinite(const Model& m, int& i, int& j);

}  // namespace qf
