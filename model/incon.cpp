#include "model/incon.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cmdlang/textio.h"
#include "model/resultfile.h"

namespace qf {

namespace {

bool accepted_type(int type) {
  return type == -97 || type == -95 || type == -94 || type == -91;
}

// The file cannot serve: say so, close it and withdraw a warm start that
// may have named it.
void ignore_file(Channels& io, int& mode) {
  io.line(ch::screen, ">initial conditions ignored");
  io.close(ch::result);
  withdraw_warm_marker(io, ch::aux);
  mode = -1;
}

float finite_or_zero(float v) {
  return std::isfinite(v) ? v : 0.0f;
}

// Position (from 1) of the bed-level item among the file's items when the
// data records hold it whole; 0 when the file has none.
int bed_level_item(DirectFile& f, int nx) {
  int n = 0;
  std::vector<std::string> labels;
  if (!read_labels(f, n, labels)) return 0;
  const std::string bed = item_label(6);
  for (int it = 1; it <= n && it < static_cast<int>(labels.size()); ++it) {
    if (labels[static_cast<std::size_t>(it)] != bed) continue;
    const long need = 4L * (1 + static_cast<long>(it) * nx);
    return static_cast<long>(f.record_length()) >= need ? it : 0;
  }
  return 0;
}

}  // namespace

void incon(Model& m, Channels& io, Messages& msg, int& mode) {
  if (trim_right(m.cochar.initial_file).empty()) return;
  const bool hot = mode == -1;

  std::string name(trim_right(m.cochar.initial_file));
  name.erase(0, name.find_first_not_of(' '));
  // A file that is missing or is no result file ends the run: the run was
  // asked to start from it and must not start from its input instead.
  const auto refuse = [&](const std::string& why) {
    io.close(ch::result);
    mode = -1;
    const std::string text = (hot ? "hot start file '" + name + "' named in " + warm_marker_name
                                  : "initial condition file '" + name + "'") +
                             why;
    msg.iierr(hot ? 3 : 2, text, ch::listing);
  };
  if (!file_exists(name)) {
    refuse(": not found");
    return;
  }

  int open_mode = 1;
  msg.iiopn(ch::result, name, open_mode);
  m.cochar.initial_file = name;
  if (!io.is_open(ch::result)) {
    mode = -1;
    return;
  }
  DirectFile* f = io.direct(ch::result);
  ResultHeader hd;
  std::string why;
  if (!f || open_mode <= 0) {
    // Opened as text: tell why its first record is no result-file header.
    io.close(ch::result);
    DirectFile probe;
    std::vector<unsigned char> first;
    std::int32_t type = 0;
    if (probe.open(name, 4, 'r') && probe.read(1, first)) std::memcpy(&type, first.data(), 4);
    if (probe.records() > 0 && (type < -99 || type > -90)) {
      why = "its first value " + std::to_string(type) + " is no result-file type";
    } else {
      probe.set_record_length(104);
      read_header(probe, hd, &why);
    }
    if (why.empty()) why = "it cannot be opened as one";
    refuse(" is not a result file: " + why);
    return;
  }
  if (!read_header(*f, hd, &why)) {
    refuse(" is not a result file: " + why);
    return;
  }

  const int nx = m.coin1.nx;
  const int ny = m.coin1.ny;
  if (hd.nx != nx || hd.ny != ny)
    msg.iierr(1,
              "different grid dimensions: '" + name + "' has " + std::to_string(hd.nx) + " x " +
                  std::to_string(hd.ny) + " cells, the model " + std::to_string(nx) + " x " +
                  std::to_string(ny) + ", " + (hot ? "hot start" : "initial condition") +
                  " ignored",
              ch::listing);
  // Each data record must hold the time and the first three items.
  const long need = 4L * (1 + 3L * std::max(nx, 0));
  if (!accepted_type(hd.type) || hd.nx != nx || hd.ny != ny || nx < 1 || ny < 1 ||
      static_cast<long>(f->record_length()) < need ||
      m.f.h.size() != static_cast<std::size_t>(m.coin1.nn)) {
    ignore_file(io, mode);
    return;
  }

  // The coordinate records must lie where the header says: a wrong record
  // length or header count would otherwise read values as times.
  std::vector<float> rec;
  std::vector<unsigned char> buf;
  if (!read_floats(*f, coord_x_record(hd.header_records, 1), 1, rec, buf) ||
      rec[0] != result_coord_flag) {
    refuse(" is not a result file: no coordinate records behind its " +
           std::to_string(hd.header_records) + " header records of " + std::to_string(hd.reclen) +
           " bytes");
    return;
  }

  // The last whole block not later than time_initial.
  const float limit = m.coin.time_initial;
  float t = 0;
  const long b = scan_blocks(
      *f, hd.header_records, ny, [&](float tb) { return tb <= limit; }, &t);
  if (b == 0) {
    mode = -1;
    io.close(ch::result);
    return;
  }

  // Depth and velocities of the block, read whole before the state changes.
  // With a mobile bed, the bed level too when the file carries it: the bed
  // of a resumed or continued scour run is the one it had reached.
  const std::size_t row = static_cast<std::size_t>(nx);
  const int bed_item = m.clog.mobile_bed ? bed_level_item(*f, nx) : 0;
  const std::size_t values = row * static_cast<std::size_t>(std::max(3, bed_item));
  std::vector<float> d(row * ny), u(row * ny), v(row * ny), zb;
  if (bed_item > 0) zb.resize(row * ny);
  for (int j = 1; j <= ny; ++j) {
    // Every record of the block carries the block's time.
    if (!read_floats(*f, block_record(hd.header_records, ny, b, j), 1 + values, rec, buf) ||
        rec[0] != t) {
      const std::string at = fmt_f(t, 16, 4);
      refuse(" is damaged: row " + std::to_string(j) + " of the block at " +
             at.substr(at.find_first_not_of(' ')) + " h does not carry that time");
      return;
    }
    std::copy_n(rec.begin() + 1, row, d.begin() + (j - 1) * row);
    std::copy_n(rec.begin() + 1 + row, row, u.begin() + (j - 1) * row);
    std::copy_n(rec.begin() + 1 + 2 * row, row, v.begin() + (j - 1) * row);
    if (bed_item > 0) {
      std::copy_n(rec.begin() + 1 + (bed_item - 1) * row, row, zb.begin() + (j - 1) * row);
    }
  }

  m.coin.time_initial = t;
  m.coin.time = t;
  io.line(ch::screen, std::string(hot ? " >hot start from '" : " >initial condition from '") +
                          name + "' AT" + fmt_f(t, 6, 2) + "H");

  FlowValues& fv = m.f;
  if (bed_item > 0) io.line(ch::screen, " >bed level from '" + name + "'");
  for (int j = 1; j <= ny; ++j) {
    for (int i = 1; i <= nx; ++i) {
      const std::size_t s = (j - 1) * row + (i - 1);
      const int k = m.node(i + 1, j + 1);
      // Cells outside the model keep their wall; a value that is not a
      // finite number keeps the bed of the input.
      const bool wall = static_cast<std::size_t>(k) < fv.outside.size() && fv.outside[k] != 0;
      if (bed_item > 0 && !wall && std::isfinite(zb[s])) fv.zb[k] = zb[s];
      float depth = d[s];
      if (hd.type == -94) depth = std::max(depth - fv.zb[k], 0.0f);
      // A value that is not a finite number carries no water.
      if (!std::isfinite(depth)) depth = 0.0f;
      fv.h[k] = depth;
      fv.q[k] = finite_or_zero(u[s] * depth);
      fv.r[k] = finite_or_zero(v[s] * depth);
    }
  }
  io.close(ch::result);
  mode = open_mode;
}

}  // namespace qf
