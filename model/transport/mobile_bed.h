// Mobile bed: bed-load transport and the resulting change of the bed level
// after each flow step (Exner equation without porosity).
//
// Per node: a bed-load rate qb = 5 / (rel_density g) (u*^2 - u*c^2)^1.5 from
// the shear velocity (the grain shear velocity at vegetated nodes) above the
// threshold u*c^2 = d50 g rel_density theta_crit, none from a node at or
// below bedrock, directed along the depth-averaged velocity. Face fluxes are
// upwind (what each side sends across), none across a face with a dry side.
// The bed changes by the flux divergence times dt and an acceleration factor
// that ramps up to time_factor over the first 100 calls. The bed of the first
// real column and row (i = 2, j = 2) is held; the flux through their faces
// still feeds the cells beyond.
#pragma once

#include <vector>

#include "model/state.h"

namespace qf {

// Working state of the bed update, kept from call to call. Sized once for
// the grid by `prepare_bed`; a call allocates nothing.
struct BedWork {
  std::vector<float> qbx, qby;  // components of the bed-load rate, one per node [m2/s]
  std::vector<float> qbs;       // per column: flux through the north face of the node below
  int nxx = 0, nyy = 0;         // grid the buffers are sized for
  long calls = 0;               // bed updates so far (drives the acceleration ramp)
  float factor = 1;             // acceleration factor of the last call
};

// Sizes the buffers for the model's grid (call after input; `mbed` calls it
// itself when the grid has changed). Keeps the call counter.
void prepare_bed(const Model& m, BedWork& w);

// One bed update with the time step m.coin.dt of the flow step just done:
// fills qb and lowers or raises zb.
void mbed(Model& m, BedWork& w);

}  // namespace qf
