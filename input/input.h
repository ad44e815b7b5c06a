// Reading of the command file into the model state: the section dispatcher
// and the vocabulary of every section (title, grid, global, initial state,
// boundaries, turbulence, compute, mobile bed, sources, output, structures,
// polygons and the two module sections).
#pragma once

#include <string>

#include "cmdlang/reader.h"
#include "io/channels.h"
#include "io/messages.h"
#include "model/state.h"

namespace qf {

// Working state of the input, kept from section to section.
struct InputState {
  // Table storage: rows in use, rows of the block being built and boundary
  // cells of the current boundary block.
  int itab = 0;
  int nd0 = 0;
  int nd1 = 0;
  // Defaults for the next grid section.
  float ksdef = 0.01f;
  float vegdef = -0.01f;
  // Screen note of the run (128 characters at most), printed at the end.
  std::string note;

  // Kind of the block being built in the table storage; keywords that
  // complete a block act only on a block of their own kind.
  enum class Block { none, boundary, source, culvert };
  Block block = Block::none;
  int block_type = 0;
  // Kind of the last block that could not be added (end of the table
  // storage, culvert outside the grid); keywords completing it are ignored.
  Block refused = Block::none;
  bool location_given = false;  // the current block has its cells or point
  bool block_checked = false;   // the current block was checked for its place
  // Keyword that opened the current block and the place of its line.
  std::string block_keyword;
  std::string block_where;
  // Place and value text of the "end" keyword of >>compute (blank: none).
  std::string end_where;
  std::string end_text;
  bool start_given = false;     // "start" names the start time, not an initial condition
  bool table_overflow = false;  // a block or row did not fit the table storage
  bool initial_items = false;   // "initial" reordered the item list

  // Rest of the current keyword line and the reader's status for it.
  std::string line;
  int status = 0;
};

// Largest polygon read by the input (vertices).
inline constexpr int max_polygon = 10000;

// Reads the whole command file from the command channel (m.coin1.ch_command,
// already open) and writes the echo to the listing (m.coin1.ch_listing).
// Fatal input errors and the input summary with errors throw Stop.
void inrea(Model& m, Channels& io, Messages& msg, CmdReader& rd, InputState& st);

}  // namespace qf
