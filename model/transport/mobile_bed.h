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
//
// The bed level is a 32-bit value near its datum (the spacing of floats at
// 100 m is 7.6e-6 m), while a slowly aggrading node gains far less than that
// in one step: added plainly, such changes round away and the deposits of a
// long run vanish from the volume balance. Each node therefore keeps the part
// of its change that the stored level could not take and adds it to the next
// one (compensated summation); the volume of bed change then equals the net
// flux through the outline to float rounding of the sums.
#pragma once

#include <vector>

#include "model/state.h"

namespace qf {

// Working state of the bed update, kept from call to call. Sized once for
// the grid by `prepare_bed`; a call allocates nothing.
struct BedWork {
  std::vector<float> qbx, qby;  // components of the bed-load rate, one per node [m2/s]
  std::vector<float> qbs;    // per thread and column: flux through the north face of the node below
  std::vector<float> zrest;  // per node: bed change not yet taken up by zb [m]
  int nxx = 0, nyy = 0;      // grid the buffers are sized for
  long calls = 0;            // bed updates so far (drives the acceleration ramp)
  float factor = 1;          // acceleration factor of the last call
  int block_rows = 32;       // rows of a block of the face sweep (one thread each)
};

// Sizes the buffers for the model's grid (call after input; `mbed` calls it
// itself when the grid has changed). Keeps the call counter.
void prepare_bed(const Model& m, BedWork& w);

// One bed update with the time step m.coin.dt of the flow step just done:
// fills qb and lowers or raises zb.
void mbed(Model& m, BedWork& w);

}  // namespace qf
