// Time series at the gauges of >>output: "<result file>.gauges.csv", one
// line per time-series tick with the time in hours and, per gauge, depth,
// water level and speed as the result file carries them at the gauge's
// cell. A gauge without a cell (outside the grid or the model) keeps its
// columns, left empty. Every line is handed to the system when written, so
// a killed run leaves a file that is whole up to its last tick.
#pragma once

#include <string>
#include <vector>

#include "io/channels.h"
#include "model/state.h"

namespace qf {

// Channel of the gauge file.
inline constexpr int gauge_channel = 13;

struct GaugeFile {
  bool open = false;
  int error = 0;  // the write or close that failed (the file is then given up)
  std::string path;
  std::vector<float> row;  // one grid row of one item
};

// The header line: "time_h" and three columns per gauge, "<name> depth_m",
// "<name> level_m", "<name> speed_m/s" (quoted where a name needs it).
std::string gauge_header(const Model& m);
// Depth, water level and speed at gauge g (its cell must exist).
void gauge_values(const Model& m, const Gauge& g, std::vector<float>& row, float out[3]);

// Opens the file (when the run has gauges), writes the header and the line
// of the present state. A run that continues its result file (`go_on`)
// continues the series behind its lines of earlier times (see
// open_series). A file that cannot be created or written is reported
// ("cannot write gauge file '<name>': <reason>"), given up and its error
// kept in `error`; the run goes on and ends with status 1.
void gauges_start(const Model& m, GaugeFile& gf, Channels& io, bool go_on = false);
void gauges_line(const Model& m, GaugeFile& gf, Channels& io);
void gauges_close(GaugeFile& gf, Channels& io);

}  // namespace qf
