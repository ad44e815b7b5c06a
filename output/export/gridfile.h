// Reading of result files and max-value files for the export: the header,
// the items with their names and units, the block times, and one array of
// one block in map order (north row first, west to east).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "io/channels.h"
#include "model/resultfile.h"

namespace qf::exp {

// One array of the file: a result item, or one of the four maxima.
struct ItemInfo {
  int code = 0;               // result item code; 101..104 for the maxima
  std::string name;           // variable and band name ("depth", "max_velocity")
  std::string long_name;      // from the label of the file
  std::string units;          // UDUNITS form ("m s-1"); blank when none
  std::string standard_name;  // CF standard name; blank when CF has none
};

// Metadata of a known item code (result items and the maxima 101..104);
// null for an unknown code.
const ItemInfo* item_info(int code);
// The code whose label is `label` (32 characters as stored); 0 when none.
int code_of_label(const std::string& label, bool max_file);

struct GridFile {
  std::string path;
  bool max_file = false;  // a max-value file (one block of four maxima)
  ResultHeader header;
  std::vector<ItemInfo> items;  // in file order
  std::vector<float> times;     // of the whole blocks [h]
  double dx = 1.0, dy = 1.0;    // cell sizes from the coordinate records [m]
  std::unique_ptr<ResultReader> file;

  int nx() const { return header.nx; }
  int ny() const { return header.ny; }
  // Index of the item named `name`, -1 when the file has none.
  int find(const std::string& name) const;
};

// Opens and checks the file. False, with the reason in `why`, for a file
// that is missing, empty, damaged, or not a result or max-value file.
bool open_grid_file(const std::string& path, GridFile& g, std::string& why);

// Values of item `item` (index into items) in block `block` (0-based),
// nx * ny values, north row first. False when the block cannot be read.
bool read_array(GridFile& g, int block, int item, std::vector<float>& out);

// Record times stand in 32 bits and drift from the round times of the
// result interval by the sum of the time steps; a time given on the command
// line matches a record within 0.001 h (3.6 s).
inline constexpr double time_tolerance = 1.0e-3;
// Index of the block nearest to time `t` [h] within time_tolerance, -1 if none.
int block_at(const GridFile& g, double t);

}  // namespace qf::exp
