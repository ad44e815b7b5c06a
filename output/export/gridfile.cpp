#include "output/export/gridfile.h"

#include <array>
#include <cmath>
#include <cstring>

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

const char* const kMaxLabels[4] = {" WWaterlevel [m]", " FFlowdepth [m]", " SSpecific Flow [m2/s]",
                                   " VFlow Velocity [m/s]"};

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
    for (int a = 0; a < 4; ++a) {
      if (pad(kMaxLabels[a], 32) == l) return 101 + a;
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
  g.file = std::make_unique<DirectFile>();
  DirectFile& f = *g.file;
  if (!f.open(path, 104, 'r')) {
    why = std::strerror(errno);
    return false;
  }
  std::string reason;
  if (!read_header(f, g.header, &reason)) {
    why = "not a result or max-value file (" + reason + ")";
    return false;
  }
  const ResultHeader& h = g.header;
  if (h.type != type_general && h.type != type_hot_start) {
    why = "not a result or max-value file (type " + std::to_string(h.type) + ")";
    return false;
  }
  f.set_record_length(static_cast<std::size_t>(h.reclen));
  int n = 0;
  std::vector<std::string> labels;
  if (!read_labels(f, n, labels) || n < 1 || labels.size() != static_cast<std::size_t>(n) + 1 ||
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
  std::vector<float> rec;
  std::vector<unsigned char> buf;
  if (!read_floats(f, coord_x_record(h.header_records, 1), 1 + h.nx, rec, buf)) {
    why = "coordinate records cannot be read";
    return false;
  }
  g.max_file = n == 4 && rec[0] == 0.0f && code_of_label(labels[1], true) == 101;
  if (h.nx > 1) g.dx = static_cast<double>(rec[2]) - rec[1];
  std::vector<float> y2;
  if (h.ny > 1 && read_floats(f, coord_y_record(h.header_records, h.ny, 1), 2, rec, buf) &&
      read_floats(f, coord_y_record(h.header_records, h.ny, 2), 2, y2, buf))
    g.dy = static_cast<double>(y2[1]) - rec[1];
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
  scan_blocks(f, h.header_records, h.ny, [&](float t) {
    g.times.push_back(t);
    return true;
  });
  if (g.times.empty()) {
    why = "the file holds no complete block of values";
    return false;
  }
  return true;
}

bool read_array(GridFile& g, int block, int item, std::vector<float>& out) {
  const int nx = g.nx(), ny = g.ny();
  const auto n = static_cast<std::size_t>(g.items.size());
  out.resize(static_cast<std::size_t>(nx) * ny);
  std::vector<float> rec;
  std::vector<unsigned char> buf;
  for (int j = 1; j <= ny; ++j) {
    const long r = block_record(g.header.header_records, ny, block + 1, j);
    if (!read_floats(*g.file, r, 1 + n * nx, rec, buf)) return false;
    std::memcpy(out.data() + static_cast<std::size_t>(ny - j) * nx,
                rec.data() + 1 + static_cast<std::size_t>(item) * nx, sizeof(float) * nx);
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
