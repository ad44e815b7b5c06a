// The writer of a run: the result blocks, the water-balance lines and the
// gauge lines of the loop of steps, filled from a copy of the state taken
// after a step and written by a thread of their own while the next steps
// run. The files are those written in the loop itself, in the same order
// (a block whole before its balance line, the block's first record last),
// so that a run killed at any moment leaves them as readable as before.
//
// The copy holds, of every field a result block needs, only the part of
// each grid row between its first and its last value that is not empty (0;
// for the dry flags, dry): the water, where the rest of a valley's grid is
// dry land and cells outside the model. It grows when the water spreads
// (at a copy, never in a step). Only one set of records is under
// way at a time: `writer_post` waits for the one before (the copy would
// be overwritten), and the run waits (`writer_wait`) before it writes on
// its own, closes a file or ends. A write that fails is kept and handed
// back by the wait, to be reported by the caller with the file's name.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "io/channels.h"
#include "model/hydro/boundary.h"
#include "model/resultfile.h"
#include "model/state.h"
#include "output/balance.h"
#include "output/gauges.h"

namespace qf {

// A grid field as the copy keeps it: per grid row (index j - 1) the columns
// lo .. hi (from 0; none when lo > hi) outside which every value of the row
// is empty, and where their values start in `values`, row after row
// (`count` values, room for `room`; the room is not cleared beforehand).
template <class V>
struct PackedRows {
  std::vector<int> lo, hi;
  std::vector<std::size_t> at;
  std::unique_ptr<V[]> values;
  std::size_t count = 0, room = 0;
};

// What one set of records holds, and what became of it.
struct WriterJob {
  bool block = false;  // a result block from the copy at record `first`
  long first = 0;
  bool balance = false;  // a line of the mass-balance file with `budget`
  WaterBudget budget;
  double volume = 0.0;  // and the water on the grid [m3]
  bool gauges = false;  // a line of the gauge file with `gauge_values`
  std::vector<float> gauge_values;
};

// Error numbers of the writes of a job that failed (0: written).
struct WriterErrors {
  int block = 0;
  int balance = 0;
  int gauges = 0;
};

struct OutputWriter {
  OutputWriter() = default;
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;
  ~OutputWriter();

  bool running = false;
  Model copy;  // grid and parameters of the run (no fields)
  std::vector<std::vector<float> FlowValues::*> fields;  // the float fields copied
  std::vector<PackedRows<float>> packed;                 // their copies, as `fields`
  PackedRows<std::uint8_t> dry;                          // the copy of the dry flags
  FlowValues row;  // one grid row of each field, unpacked for the items of a row
  ResultItems items;
  DirectFile* result = nullptr;  // the open result file
  Channels* io = nullptr;
  const Balance* balance = nullptr;
  std::vector<float> buffer;  // rows of a block being written
  WriterJob job;              // the job under way, or the next one being filled
  WriterErrors errors;        // of the job last written

  std::thread thread;
  std::mutex mutex;
  std::condition_variable cv;
  bool busy = false;  // `job` handed to the thread and not yet written
  bool quit = false;
};

// Starts the thread for a run on grid `m` whose result file (open on
// `result`) holds `items`; balance lines go with `bal` (nullptr: none).
void writer_start(OutputWriter& w, const Model& m, const ResultItems& items, DirectFile* result,
                  Channels& io, const Balance* bal);
// Copies the state of `m` for the job filled in `w.job` (waited for
// already), with the water on the grid for a balance line, and hands it to
// the thread.
void writer_post(OutputWriter& w, const Model& m);
// Waits until the job under way is written and returns its errors; the
// job is then empty again, to be filled.
WriterErrors writer_wait(OutputWriter& w);
// Waits and ends the thread.
void writer_stop(OutputWriter& w);

// The float fields item `code` of the result file is made of.
std::vector<std::vector<float> FlowValues::*> item_fields(int code);

// Packs the rows rows x nxx values of `grid` into `p` (empty: bits 0, or
// the dry flag 1), and unpacks its row index j into `row` (nxx values).
void pack_rows(PackedRows<float>& p, const float* grid, int nxx, int rows);
void pack_rows(PackedRows<std::uint8_t>& p, const std::uint8_t* grid, int nxx, int rows);
void unpack_row(const PackedRows<float>& p, int j, int nxx, float* row);
void unpack_row(const PackedRows<std::uint8_t>& p, int j, int nxx, std::uint8_t* row);

}  // namespace qf
