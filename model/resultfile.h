// Layout of the direct-access result file, shared by the writers (result
// file, max-value file) and the readers (initial condition, hot start,
// continuation of a result file, restore of the maxima).
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

// Value of result item `code` for the nx real cells of grid row j (1..ny).
void item_row(const Model& m, int code, int j, float* out);

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
