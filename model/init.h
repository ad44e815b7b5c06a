// Initial conditions and initialisation of the model state before the first
// time step.
#pragma once

#include <functional>

#include "io/channels.h"
#include "io/messages.h"
#include "model/incon.h"  // incon: initial condition and hot start
#include "model/state.h"

namespace qf {

// Derives the per-node state the solver expects: the cell area, the dry
// flags, the wetted-area factors and the turbulence switch. `boundary`, when
// given, applies the boundary treatment once to a loaded initial condition.
// A zero cell area is a fatal error (throws Stop).
void init(Model& m, Channels& io, Messages& msg, const std::function<void(Model&)>& boundary = {});

}  // namespace qf
