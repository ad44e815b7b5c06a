// Water balance of a flow run: the mass-balance file beside the result file
// and the summary at the end of the run.
//
// The volumes come from the water budget of the flow steps (boundary.h):
// what the solver moved over each kind of boundary, what rain, point
// sources, leakage and culverts added, all integrated every step in double
// precision. The water on the grid is the sum of every interior depth times
// the cell area. The error is the change of the water on the grid less the
// net volume that came in; it is given in m3 and in percent of the volume
// moved (every volume in and out over the boundaries and moved by the
// sources and culverts).
#pragma once

#include <string>

#include "io/channels.h"
#include "model/hydro/boundary.h"
#include "model/state.h"

namespace qf {

// Channel of the mass-balance file.
inline constexpr int balance_channel = 12;

// Figures of the budget at one moment.
struct BalanceFigures {
  double volume = 0.0;     // water on the grid [m3]
  double boundary_in = 0;  // over all boundaries [m3]
  double boundary_out = 0;
  double net_in = 0.0;  // boundary in - out + rain + points + leakage + culverts
  double moved = 0.0;   // volume moved
  double error = 0.0;   // volume - start volume - net_in [m3]
  double error_pct = 0.0;
};

BalanceFigures balance_figures(const WaterBudget& g, double start_volume, double volume);

struct Balance {
  bool active = false;  // a flow run: budget kept, file written
  bool file = false;    // the mass-balance file is open
  int error = 0;        // the write or close that failed (the file is then given up)
  std::string path;     // its name
  double start_volume = 0.0;
  // A run that continues an earlier one: the budget of the earlier runs up
  // to this start (added to every figure), and what they moved through
  // sources, which their file gives as one sum.
  WaterBudget earlier;
  double earlier_moved = 0.0;
};

// Opens "<result file>.mass", writes the header line and the line of the
// start state. A run that continues its result file (`go_on`) continues
// the file behind its lines of earlier times and carries on the budget of
// its line at the start time (without that line the file is written anew
// and the listing says so). A file that cannot be created or written is
// reported ("cannot write mass-balance file '<name>': <reason>"), given up
// and its error kept in `error`; the run goes on and ends with status 1.
void balance_start(const Model& m, Balance& bal, const WaterBudget& g, Channels& io,
                   bool go_on = false);
// One line of the present state.
void balance_line(const Model& m, Balance& bal, const WaterBudget& g, Channels& io);
// The text of that line; the second form with the water on the grid
// `volume` [m3] taken beforehand (for a writer that writes the line later,
// with a copy of the budget).
std::string balance_text(const Model& m, const Balance& bal, const WaterBudget& g);
std::string balance_text(const Model& m, const Balance& bal, const WaterBudget& g, double volume);
// Reports a failed write or close of the file ("cannot write mass-balance
// file '<name>': <reason>"), keeps its error and gives the file up.
void balance_failure(Balance& bal, Channels& io, int e);
// Closes the file.
void balance_close(Balance& bal, Channels& io);
// The budget as a summary on the screen and in the listing, with the steps
// computed and the wall time; `types` marks the boundary types present
// (index type - 1).
void balance_summary(const Model& m, const Balance& bal, const WaterBudget& g,
                     const bool (&types)[5], long steps, double wall_seconds, Channels& io,
                     int listing);

// Header line of the mass-balance file.
std::string balance_header();

}  // namespace qf
