// Initial condition and hot start: depth and unit discharges loaded from an
// earlier result file.
#pragma once

#include "io/channels.h"
#include "io/messages.h"
#include "model/state.h"

namespace qf {

// Loads the state of `initial_file` from the output time nearest to
// `time_initial` (the last one when none is given) and sets `time` and
// `time_initial` to that time, which the listing names. mode on entry: -1
// hot start, any other value initial condition. On return -1 when nothing
// was loaded, otherwise the record length of the file (or mode unchanged
// when no file is named). A file without velocities starts at rest from its
// flow depth or water level (a warning); one with neither, or of another
// grid, is not used (an error, or ">initial conditions ignored" for another
// grid) and the warm-start marker is withdrawn. A file that is missing, is
// no result file or is damaged is an error naming the file and what is
// wrong, on the terminal and in the listing: counted for an initial
// condition (the input summary then stops the run), fatal for a hot start
// (the marker is kept).
void incon(Model& m, Channels& io, Messages& msg, int& mode);

}  // namespace qf
