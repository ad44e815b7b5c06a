// Initial condition and hot start: depth and unit discharges loaded from an
// earlier result file.
#pragma once

#include "cmdlang/channels.h"
#include "cmdlang/messages.h"
#include "model/state.h"

namespace qf {

// Loads the state of `initial_file` at the last output time not later than
// `time_initial` and sets `time` and `time_initial` to that time. mode on
// entry: -1 hot start, any other value initial condition. On return -1 when
// nothing was loaded, otherwise the record length of the file (or mode
// unchanged when no file is named). A result file of a type that carries no
// depth and velocities, or that holds another grid, is ignored (">initial
// conditions ignored") and the warm-start marker is withdrawn. A file that
// is missing, is no result file or is damaged is an error naming the file
// and what is wrong, on the terminal and in the listing: counted for an
// initial condition (the input summary then stops the run), fatal for a hot
// start (the marker is kept).
void incon(Model& m, Channels& io, Messages& msg, int& mode);

}  // namespace qf
