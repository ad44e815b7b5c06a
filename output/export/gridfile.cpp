#include "output/export/gridfile.h"

#include <array>
#include <cmath>
#include <cstring>
#include <span>

#include "io/textio.h"

namespace qf::exp {

namespace {

// Result items, then the four maxima of the max-value file. CF standard
// names are given only where the standard-name table has the quantity
// itself; river water is not "sea_water".
const std::array<ItemInfo, 24> kItems = {{
    {1, "depth", "", "m", ""},
    {2, "water_level", "", "m", "water_surface_height_above_reference_datum"},
    {3, "speed", "", "m s-1", ""},
    {4, "specific_flow", "", "m2 s-1", ""},
    {5, "froude", "", "1", ""},
    {6, "bed_level", "", "m", ""},
    {7, "bed_shear_stress", "", "N m-2", ""},
    {8, "bed_load", "", "m2 s-1", ""},
    {9, "roughness", "", "m", ""},
    {10, "manning_n", "", "s m-1/3", ""},
    {11, "strickler", "", "m1/3 s-1", ""},
    {12, "concentration", "", "mg m-3", ""},
    {13, "temperature", "", "K", ""},
    {14, "viscosity", "", "m2 s-1", ""},
    {15, "draught", "", "m", ""},
    {16, "vegetation", "", "m", ""},
    {17, "energy_level", "", "m", ""},
    {18, "inundation_time", "", "h", ""},
    {21, "u", "", "m s-1", ""},
    {22, "v", "", "m s-1", ""},
    {101, "max_water_level", "", "m", "water_surface_height_above_reference_datum"},
    {102, "max_depth", "", "m", ""},
    {103, "max_specific_flow", "", "m2 s-1", ""},
    {104, "max_velocity", "", "m s-1", ""},
}};

// The title of a label: without the blank, the key letter and the unit.
std::string title_of(const std::string& label) {
  std::string s(trim_right(label));
  s = s.size() > 2 ? s.substr(2) : std::string();
  const std::size_t b = s.find(" [");
  return b == std::string::npos ? s : s.substr(0, b);
}

}  // namespace

const ItemInfo* item_info(int code) {
  for (const ItemInfo& it : kItems) {
    if (it.code == code) return &it;
  }
  return nullptr;
}

int code_of_label(const std::string& label, bool max_file) {
  const std::string l = pad(label, 32);
  if (max_file) {
    for (int a = 0; a < max_value_items; ++a) {
      if (pad(max_value_labels[a], 32) == l) return 101 + a;
    }
    return 0;
  }
  for (const ItemInfo& it : kItems) {
    if (it.code < 100 && item_label(it.code) == l) return it.code;
  }
  return 0;
}

int GridFile::find(const std::string& name) const {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

bool open_grid_file(const std::string& path, GridFile& g, std::string& why) {
  g = GridFile{};
  g.path = path;
  g.file = std::make_unique<ResultReader>();
  ResultReader& f = *g.file;
  std::string reason;
  if (!f.open(path, &reason)) {
    why = reason.empty() ? std::strerror(errno) : "not a result or max-value file (" + reason + ")";
    return false;
  }
  g.header = f.header();
  const ResultHeader& h = g.header;
  if (h.type != type_general && h.type != type_hot_start) {
    why = "not a result or max-value file (type " + std::to_string(h.type) + ")";
    return false;
  }
  const int n = f.item_count();
  const std::vector<std::string>& labels = f.labels();
  if (!f.labelled() || n < 1 || labels.size() != static_cast<std::size_t>(n) + 1 ||
      trim_right(labels[0]) != "Time[h]") {
    why = "not a result or max-value file (no item labels in record 2)";
    return false;
  }
  if (4L * (1L + static_cast<long>(n) * h.nx) > h.reclen) {
    why = "not a result or max-value file (" + std::to_string(n) + " items of " +
          std::to_string(h.nx) + " cells do not fit records of " + std::to_string(h.reclen) +
          " bytes)";
    return false;
  }
  // A max-value file: its four labels, and coordinate records flagged 0.
  std::vector<float> x(static_cast<std::size_t>(h.nx));
  float flag = 0;
  if (!f.coordinate_flag(flag) || !f.x_row(1, x)) {
    why = "coordinate records cannot be read";
    return false;
  }
  g.max_file = n == 4 && flag == 0.0f && code_of_label(labels[1], true) == 101;
  if (h.nx > 1) g.dx = static_cast<double>(x[1]) - x[0];
  std::vector<float> y1(x.size()), y2(x.size());
  if (h.ny > 1 && f.y_row(1, y1) && f.y_row(2, y2)) g.dy = static_cast<double>(y2[0]) - y1[0];
  if (h.nx <= 1) g.dx = g.dy;
  if (h.ny <= 1) g.dy = g.dx;
  if (!(g.dx > 0) || !(g.dy > 0) || !std::isfinite(g.dx) || !std::isfinite(g.dy)) {
    why = "cell size cannot be taken from the coordinate records";
    return false;
  }
  for (int i = 1; i <= n; ++i) {
    const int code = code_of_label(labels[static_cast<std::size_t>(i)], g.max_file);
    const ItemInfo* info = item_info(code);
    if (info == nullptr) {
      why = "unknown item label '" + std::string(trim_right(labels[static_cast<std::size_t>(i)])) +
            "'";
      return false;
    }
    ItemInfo it = *info;
    it.long_name = title_of(labels[static_cast<std::size_t>(i)]);
    if (g.max_file) it.long_name = "maximum " + it.long_name;
    g.items.push_back(it);
  }
  f.scan();
  g.times = f.times();
  if (g.times.empty()) {
    why = "the file holds no complete block of values";
    return false;
  }
  return true;
}

bool read_array(GridFile& g, int block, int item, std::vector<float>& out) {
  const int nx = g.nx(), ny = g.ny();
  const auto row = static_cast<std::size_t>(nx);
  out.resize(row * ny);
  for (int j = 1; j <= ny; ++j) {
    // Map order: the north row first.
    const std::span<float> to = std::span(out).subspan(static_cast<std::size_t>(ny - j) * row, row);
    if (!g.file->read_item(block + 1, item, j, to)) return false;
  }
  return true;
}

int block_at(const GridFile& g, double t) {
  // The last of the records nearest to t (the final state may stand twice).
  int best = -1;
  for (std::size_t b = 0; b < g.times.size(); ++b) {
    const double d = std::fabs(g.times[b] - t);
    if (d <= time_tolerance && (best < 0 || d <= std::fabs(g.times[best] - t)))
      best = static_cast<int>(b);
  }
  return best;
}

}  // namespace qf::exp
