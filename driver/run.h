// The main program: banner, listing, command line, command file, model
// input, the time loop and the end of the run.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cmdlang/channels.h"
#include "cmdlang/messages.h"
#include "cmdlang/reader.h"
#include "model/hydro/hydro.h"
#include "model/input.h"
#include "model/state.h"
#include "model/transport/mobile_bed.h"
#include "model/transport/transport.h"
#include "output/wmax.h"
#include "output/wres.h"

namespace qf {

inline constexpr const char* version_string = "Quellfax_v3.0_1";

// Everything one run owns. The driver makes one; tests may make several.
struct Session {
  Session(std::istream& kb, std::ostream& scr, std::ostream& err)
      : io(kb, scr, err), msg(io), rd(io, msg, opt) {}
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
  std::string command_file;  // up to 32 characters
  int step = 0;              // step counter
  float next_result = 0;     // model time of the next result record [h]
  float next_series = 0;     // model time of the next series tick [h]
  int stride = 1;            // progress display stride
  int expected = 0;          // expected number of result records
};

// Runs the program on the given arguments (without the program name) and
// returns its exit status. Stops unwind to here; every file is closed.
int run(Session& s, const std::vector<std::string>& args);
int run_main(int argc, char** argv);

}  // namespace qf
