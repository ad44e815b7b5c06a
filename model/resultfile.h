// The result file and the max-value file: their layout, the writers used by
// the run (result file, max-value file) and the one reader used by the
// initial condition and hot start, the restore of the maxima, the browser,
// the export program and the benchmarks. tests/driver/resultfile.py reads
// the same layout for the verification scripts.
//
// Fixed-length records numbered from 1, native int32 / float32 / float64:
//   record 1            type, record length, nx, ny, layers, header records,
//                       title (64 characters), x origin, y origin (float64)
//   record 2            item count n, then n + 1 labels of 32 characters
//   records 3..2+ny     per grid row j: flag, the nx cell-centre x values
//   records 3+ny..2+2ny per grid row j: flag, the row's y value nx times
//   blocks              one per output time, ny records: time, then for each
//                       item the nx values of row j west to east
//   end marker          two records whose first value is -99 behind the last
//                       block; a reader stops at the first block whose time
//                       is not above -98.
//
// A block is written so that a reader never meets it half-written, whenever
// the writing process dies: first its records 2..ny, then the end marker
// behind it, then its first record with the end-marker value in place of
// the time, and only then the first record again with the time (the bytes
// after the time are the same in both writes, so a record cut short by a
// kill still holds a consistent row).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "io/channels.h"
#include "io/messages.h"
#include "model/state.h"

namespace qf {

inline constexpr float result_coord_flag = -1.0e10f;  // first value of coordinate records
inline constexpr float result_end_limit = -98.0f;     // block times not above it end the blocks
inline constexpr int result_header_records = 2;
inline constexpr int type_hot_start = -97;  // depth, X-velocity, Y-velocity first
inline constexpr int type_general = -96;
inline constexpr const char* warm_marker_name = ".hvx";

// The items written to the result file: with transport only the first
// (concentration or temperature), otherwise at most 20.
struct ResultItems {
  int n = 0;
  std::array<int, max_items> code{};
};
ResultItems result_items(const Model& m);
// -97 when the items start with depth, X- and Y-velocity (codes 1, 21, 22)
// and transport is off: such a file serves as a hot start. Otherwise -96.
int result_type(const Model& m, const ResultItems& it);
// Record length in bytes: 4 x max(8n + 9, max(n, 1) x nx + 1, 26) + 1, so
// that record 1 (104 bytes), record 2, the coordinate records and the data
// records always fit.
std::size_t result_record_length(int n, int nx);
// Record length of the max-value file: 4 x W + 1, W = 41 when 4 nx < 37,
// else 4 nx + 1.
std::size_t max_record_length(int nx);

struct ResultHeader {
  std::int32_t type = type_general;
  std::int32_t reclen = 0;
  std::int32_t nx = 0;
  std::int32_t ny = 0;
  std::int32_t layers = 1;
  std::int32_t header_records = result_header_records;
  std::string title;  // 64 characters in the file
  double x_origin = 0;
  double y_origin = 0;
};
ResultHeader result_header(const Model& m, int type, std::size_t reclen);
std::vector<unsigned char> header_record(const ResultHeader& h);
// Reads record 1 and checks that it can describe the open file: a record
// length from 104 bytes up to the file's size, a grid of at least one cell
// whose coordinate row fits a record, and the header and coordinate records
// inside the file. Record 1 is read at 104 bytes, so that a damaged header
// never makes a buffer larger than the file. False, with the reason in
// `why` when given, for a header that cannot belong to the file.
bool read_header(DirectFile& f, ResultHeader& h, std::string* why = nullptr);
// Record 2: the item count, "Time[h]" and the labels.
std::vector<unsigned char> label_record(const std::vector<std::string>& labels);
std::vector<unsigned char> label_record(const ResultItems& it);
// "Time[h]" and the labels of the items, 32 characters each.
std::vector<std::string> result_labels(const ResultItems& it);
// The four maxima of the max-value file, in the order of its items.
inline constexpr int max_value_items = 4;
inline constexpr const char* max_value_labels[max_value_items] = {
    " WWaterlevel [m]", " FFlowdepth [m]", " SSpecific Flow [m2/s]", " VFlow Velocity [m/s]"};
// Reads record 2: item count and labels (32 characters each, as stored).
bool read_labels(DirectFile& f, int& n, std::vector<std::string>& labels);

// Record numbers (rows j and blocks b count from 1), formed in 64 bits so
// that no count of a header can overflow them.
static_assert(sizeof(long) >= 8, "record numbers need a 64-bit long");
inline long coord_x_record(int header_records, int j) {
  return static_cast<long>(header_records) + j;
}
inline long coord_y_record(int header_records, int ny, int j) {
  return static_cast<long>(header_records) + ny + j;
}
inline long block_record(int header_records, int ny, long b, int j) {
  return static_cast<long>(header_records) + 2L * ny + (b - 1) * ny + j;
}

// Writes the 2 x ny coordinate records behind `header_records` records.
bool write_coordinates(DirectFile& f, const Model& m, int header_records, float flag);
// Writes the end-marker value into records rec and rec + 1.
bool write_end_marker(DirectFile& f, long rec, float marker);

// Fills the values of grid row j (1..ny) behind the time of a block record;
// `out` has room for the record's values after the time.
using RowFill = std::function<void(int j, float* out)>;
// Writes one block of ny records from record `first` with `values` values
// after the time in each record, then the end marker behind it, in the
// kill-safe order described above. False on a write error. With `parallel`
// the rows are filled on all threads, a band of rows at a time (`fill` must
// then be safe to call for different rows at once); the file is the same.
bool write_block(DirectFile& f, long first, int ny, float time, std::size_t values,
                 float end_marker, const RowFill& fill, std::vector<float>& buffer,
                 bool parallel = false);

// Time of the block starting at record `first` when the block is there
// whole (its first record readable, its last record inside the file).
bool block_time(DirectFile& f, long first, int ny, float& time);
// Walks the blocks from the first while `accept(time)` holds for a whole
// block whose time is above -98; returns how many were accepted and the
// time of the last one.
long scan_blocks(DirectFile& f, int header_records, int ny,
                 const std::function<bool(float)>& accept, float* last_time = nullptr);
// Reads record `rec` as floats (time and values); false when short.
bool read_floats(DirectFile& f, long rec, std::size_t count, std::vector<float>& out,
                 std::vector<unsigned char>& buf);

// Starts a new result file: record 2, the coordinate records and an end
// marker where the first block goes, handed to the system, then record 1
// last, so that a file cut short is never taken for a result file. False
// on the first write that fails.
bool begin_result_file(DirectFile& f, const Model& m, const ResultItems& it, int type,
                       std::size_t reclen, float end_marker);
// True when the file open on `f` was written for the grid and items of the
// run with records of `reclen` bytes: the run can go on writing behind the
// blocks it keeps.
bool same_result_layout(DirectFile& f, const Model& m, const ResultItems& it, std::size_t reclen);
// Record before the first block of a file written by the run.
inline long last_header_part_record(int ny) {
  return block_record(result_header_records, ny, 1, 1) - 1;
}

// Fills the nx values of item k (0-based) for grid row j (1..ny).
using ItemFill = std::function<void(int k, int j, float* out)>;
// Writes a block of `items` items from record `first` as write_block does,
// each record holding the time and then the rows of the items in turn.
bool write_item_block(DirectFile& f, long first, int ny, int nx, float time, int items,
                      float end_marker, const ItemFill& fill, std::vector<float>& buffer,
                      bool parallel = false);
// Writes the whole max-value file open on `f` (records of
// max_record_length(nx) bytes): labels, coordinate records flagged 0, one
// block of the four maxima at `time`, then record 1.
bool write_max_value_file(DirectFile& f, const Model& m, float time, float end_marker,
                          const ItemFill& fill, bool parallel);

// Reader of a result or max-value file: the header, checked against the
// file; the labels; the coordinate rows; the whole blocks with their times;
// and the values of one item of one grid row of a block. Rows j count from
// 1 (south), blocks b from 1, items k from 0.
class ResultReader {
 public:
  // Opens the file and reads its header and labels. False when it cannot
  // be opened (`why` then stays empty and errno tells why) or when its
  // header cannot belong to it (the reason in `why`).
  bool open(const std::string& path, std::string* why = nullptr);
  // The same for a file already open on `f` with its record length (as a
  // channel holds it); `f` is not closed here.
  bool attach(DirectFile& f, std::string* why = nullptr);
  void close();

  DirectFile& file() { return own_ ? *own_ : *file_; }
  const ResultHeader& header() const { return h_; }
  // Record 2 could be read: its item count and its labels ("Time[h]" and
  // the items, 32 characters each as stored).
  bool labelled() const { return labelled_; }
  int item_count() const { return n_; }
  const std::vector<std::string>& labels() const { return labels_; }

  // The first value of the first coordinate record: result_coord_flag in a
  // result file, 0 in a max-value file.
  bool coordinate_flag(float& flag);
  // The x (y) values of the nx cells of grid row j.
  bool x_row(int j, std::span<float> out);
  bool y_row(int j, std::span<float> out);
  // The x and y values of all nx x ny cells, row by row from the south.
  bool coordinates(std::vector<float>& x, std::vector<float>& y);

  // Walks the whole blocks from the first; returns how many there are.
  long scan();
  const std::vector<float>& times() const { return times_; }  // of the blocks scanned
  // Time of block b when it is there whole.
  bool block_time(long b, float& time);
  // Row j of block b: its time, then its first `values` values.
  bool read_row(long b, int j, std::size_t values, std::vector<float>& out);
  // The nx values of item k in row j of block b (the record must hold the
  // rows of all the items); the record's time into `time` when given.
  bool read_item(long b, int k, int j, std::span<float> out, float* time = nullptr);

 private:
  void read_start();  // record 2
  bool coordinate_row(long rec, std::span<float> out);

  std::unique_ptr<DirectFile> own_;
  DirectFile* file_ = nullptr;
  ResultHeader h_;
  bool labelled_ = false;
  int n_ = 0;
  std::vector<std::string> labels_;
  std::vector<float> times_;
  std::vector<float> row_;
  std::vector<unsigned char> buf_;
};

// Value of result item `code` for the nx real cells of grid row j (1..ny).
void item_row(const Model& m, int code, int j, float* out);
// The same from the fields `f`, whose row starts at element k0 of each (the
// first real cell); the parameters (gravity, no-data value) are those of m.
void item_row(const Model& m, const FlowValues& f, long k0, int code, float* out);

// Warm-start marker ".hvx" (text, free form, on the auxiliary channel).
// Saved form: step, time, " /"; then the 32-character result file name and
// " /". Withdrawn form: three zero integers, then an empty line.
// Both are written whole under a temporary name and then renamed; false
// when the marker could not be written (the old one is then unchanged).
bool write_warm_marker(Channels& io, int ch, int step, float time, const std::string& result_file,
                       const std::string& path = warm_marker_name);
bool withdraw_warm_marker(Channels& io, int ch, const std::string& path = warm_marker_name);
// Largest step number a marker may hold: a resumed run still has over a
// billion steps before its counter could overflow.
inline constexpr int warm_step_limit = 1000000000;
// Reads the marker: step and time from line 1, the file name from line 2.
// False when a line or value is missing (the withdrawn form gives no name).
// A marker that names a file but whose step is not a number from 0 to
// warm_step_limit or whose time is not a finite number is refused too:
// with `msg` given, a warning says so in the listing and on the terminal.
bool read_warm_marker(Channels& io, int ch, int& step, float& time, std::string& file,
                      const std::string& path = warm_marker_name, Messages* msg = nullptr);

}  // namespace qf
