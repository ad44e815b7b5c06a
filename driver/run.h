// The main program: banner, listing, command line, command file, model
// input, the time loop and the end of the run.
#pragma once

#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

#include "cmdlang/reader.h"
#include "graphics/graphics.h"
#include "input/input.h"
#include "io/channels.h"
#include "io/messages.h"
#include "model/hydro/hydro.h"
#include "model/projection.h"
#include "model/state.h"
#include "model/transport/mobile_bed.h"
#include "model/transport/transport.h"
#include "output/balance.h"
#include "output/gauges.h"
#include "output/progress.h"
#include "output/wmax.h"
#include "output/wres.h"
#include "output/writer.h"
#include "viewer/progress.h"
#include "viewer/viewer.h"

namespace qf {

inline constexpr const char* version_string = "Quellfax_v3.0_1";

// Everything one run owns. The driver makes one; tests may make several.
struct Session {
  Session(std::istream& kb, std::ostream& scr, std::ostream& err)
      : io(kb, scr, err), msg(io), rd(io, msg, opt) {
    graphics.out = &scr;
    graphics.err = &err;
  }
  Channels io;
  Messages msg;
  Options opt;
  CmdReader rd;
  Model model;
  InputState input;
  Hydro hydro;
  TransportWork transport;
  BedWork bed;
  Wres results;
  Wmax maxima;
  std::string command_file;    // the path as given
  int step = 0;                // step counter
  float next_result = 0;       // model time of the next result record [h]
  float next_series = 0;       // model time of the next series tick [h]
  int stride = 1;              // progress display stride
  int expected = 0;            // expected number of result records
  Balance balance;             // water balance file and summary
  GaugeFile gauges;            // series at the gauges
  OutputWriter writer;         // writes the records of the loop while the next steps run
  Projection projection;       // map projection of the run
  ProgressLine progress_line;  // progress line of a quiet run
  bool terminal = false;       // standard error is a terminal
  // Standard input is a terminal: a run with windows keeps its final
  // picture until a key or a click (never in scripts or CI).
  bool interactive = false;
  std::chrono::steady_clock::time_point started{};  // start of the run (wall clock)
  int processes = 1;                                // processes the run is shared by (mpirun)
  bool catch_signals = false;  // SIGINT and SIGTERM stop the time loop (the program's own run)
  // The progress window and the viewer (nothing is drawn in quiet mode).
  Graphics graphics;
  Viewer viewer;
  ProgressState progress;
  ProgressActions progress_actions;  // what its buttons do (made at the first call)
  int shown_step = 0;                // step of the last call of the progress window
};

// Exit statuses of the program.
inline constexpr int exit_complete = 0;        // the run reached its end
inline constexpr int exit_input = 1;           // input or file error
inline constexpr int exit_unstable = 3;        // depth or discharge no longer a number
inline constexpr int exit_display_lost = 129;  // the X connection broke (128 + SIGHUP)

// Runs the program on the given arguments (without the program name) and
// returns its exit status. Stops unwind to here; every file is closed. A
// stop asked for by a signal (`request_stop`) ends the run after the current
// step with the last records, the maxima and the grids written, and status
// 128 + the signal number (130 for SIGINT, 143 for SIGTERM).
int run(Session& s, const std::vector<std::string>& args);
// `share`: the processes the flow sweep is shared with (none: this one
// solves every row); `processes` their number. A run over several
// processes opens no window: it needs -q.
int run_main(int argc, char** argv, SweepShare* share = nullptr, int processes = 1);

// What the handler of SIGINT and SIGTERM does on the first signal: the run
// loop ends after its current step. 0 clears the request.
void request_stop(int signal_number);
int stop_requested();

}  // namespace qf
