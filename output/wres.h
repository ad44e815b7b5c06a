// The result file: header, cell-centre coordinates and one block of grid
// rows per output time; the step line on the screen and the boundary-flow
// table in the listing.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "io/channels.h"
#include "model/resultfile.h"
#include "model/state.h"

namespace qf {

// Working state of the result file between calls.
struct Wres {
  bool open = false;       // header part done, file open on the result channel
  bool continued = false;  // the file was continued behind the output times it kept
  bool failed = false;     // a write failed (the run stopped with it)
  int last_step = -1;      // step of the last block written
  // A new file is written under "<name>.part" until its first block is
  // whole; then it takes the place of the file of that name.
  std::string part;
  long last_record = 2;  // last record used by the header part and the blocks
  int calls = 0;         // calls with a non-zero step
  ResultItems items;     // items written, fixed when the file is opened
  int type = type_general;
  std::size_t reclen = 0;
  std::vector<float> buffer;  // one record: time and the item rows
};

// An output file that cannot be created or completed: "<text> '<name>':
// <reason>" (the reason of error number `err`) goes to standard error and,
// framed as an error, to the listing; then the run stops with status 1.
[[noreturn]] void output_failure(Channels& io, const std::string& text, const std::string& name,
                                 int err);
// The same report without the stop, for a writer that goes on with its
// other files first.
void report_output_failure(Channels& io, const std::string& text, const std::string& name, int err);

// step 0: opens or creates the file (continuing it behind the output times
// it keeps when it is also the initial-condition file), writes the header
// part and the current state as the first block. A new file is written
// under a temporary name beside it and renamed once that block is whole,
// so that a run failing before leaves an earlier file of the name as it
// was, and no temporary file. A non-zero step writes the
// screen and listing lines and appends the current state; a first call with
// a non-zero step (warm start) opens the file as step 0 does first.
// Declining the overwrite question throws Stop(0); with no answer at all
// (the keyboard at its end, as in an unattended run) the run stops with a
// message and Stop(1). A file that cannot be created or written is reported
// by output_failure.
void wres(Model& m, Wres& w, Channels& io, int step);
// The parts of a call with a non-zero step, for a writer that writes the
// block later from a copy of the state: the lines on the screen and in the
// listing; the block of the state in `m` from record `first` of the open
// file (0, or the error number of the failed write; the file is the same
// with or without `parallel`); and the report of a failed block, which
// stops the run as wres does.
void wres_lines(const Model& m, Wres& w, Channels& io, int step);
int wres_block(const Model& m, const ResultItems& items, DirectFile& f, long first,
               std::vector<float>& buffer, bool parallel);
// The same with the item rows from `fill` (of the grid and time of m).
int wres_block(const Model& m, int items, const ItemFill& fill, DirectFile& f, long first,
               std::vector<float>& buffer, bool parallel);
[[noreturn]] void wres_failed(Wres& w, Channels& io, const std::string& name, int err);
// Extension points called right after wres at the start and the end.
void wres1();
void wres2();

}  // namespace qf
