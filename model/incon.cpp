#include "model/incon.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "io/textio.h"
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

// Positions (from 1) of the items a start needs among the file's items; 0
// for an item the file does not hold whole in its data records.
struct StartItems {
  int depth = 0, level = 0, u = 0, v = 0, bed = 0;
};

StartItems start_items(const ResultReader& r, int nx) {
  StartItems s;
  const ResultHeader& hd = r.header();
  const int n = r.item_count();
  const std::vector<std::string>& labels = r.labels();
  if (accepted_type(hd.type)) {
    (hd.type == -94 ? s.level : s.depth) = 1;
    s.u = 2;
    s.v = 3;
  }
  for (int it = 1; r.labelled() && it <= n && it < static_cast<int>(labels.size()); ++it) {
    const std::string& l = labels[static_cast<std::size_t>(it)];
    if (l == item_label(6) && s.bed == 0) s.bed = it;
    if (accepted_type(hd.type)) continue;
    if (l == item_label(1) && s.depth == 0) s.depth = it;
    if (l == item_label(2) && s.level == 0) s.level = it;
    if (l == item_label(21) && s.u == 0) s.u = it;
    if (l == item_label(22) && s.v == 0) s.v = it;
  }
  for (int* it : {&s.depth, &s.level, &s.u, &s.v, &s.bed}) {
    const long need = 4L * (1 + static_cast<long>(*it) * nx);
    if (static_cast<long>(hd.reclen) < need) *it = 0;
  }
  if (s.u == 0 || s.v == 0) s.u = s.v = 0;
  return s;
}

std::string hours(float t) {
  const std::string s = fmt_f(t, 16, 4);
  return s.substr(s.find_first_not_of(' '));
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
  ResultReader file;
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
      ResultHeader head;
      read_header(probe, head, &why);
    }
    if (why.empty()) why = "it cannot be opened as one";
    refuse(" is not a result file: " + why);
    return;
  }
  if (!file.attach(*f, &why)) {
    refuse(" is not a result file: " + why);
    return;
  }
  const ResultHeader& hd = file.header();

  const int nx = m.coin1.nx;
  const int ny = m.coin1.ny;
  if (hd.nx != nx || hd.ny != ny)
    msg.iierr(1,
              "different grid dimensions: '" + name + "' has " + std::to_string(hd.nx) + " x " +
                  std::to_string(hd.ny) + " cells, the model " + std::to_string(nx) + " x " +
                  std::to_string(ny) + ", " + (hot ? "hot start" : "initial condition") +
                  " ignored",
              ch::listing);
  if (hd.nx != nx || hd.ny != ny || nx < 1 || ny < 1 ||
      m.f.h.size() != static_cast<std::size_t>(m.coin1.nn)) {
    ignore_file(io, mode);
    return;
  }
  const StartItems items = start_items(file, nx);
  if (items.depth == 0 && items.level == 0) {
    const std::string lacks = " holds neither flow depth nor water level to start from";
    if (!hot) {
      refuse(lacks);
      return;
    }
    msg.iierr(1, "hot start file '" + name + "'" + lacks, ch::listing);
    ignore_file(io, mode);
    return;
  }

  // The coordinate records must lie where the header says: a wrong record
  // length or header count would otherwise read values as times.
  float flag = 0;
  if (!file.coordinate_flag(flag) || flag != result_coord_flag) {
    refuse(" is not a result file: no coordinate records behind its " +
           std::to_string(hd.header_records) + " header records of " + std::to_string(hd.reclen) +
           " bytes");
    return;
  }

  // The block nearest to time_initial (the last of two as near).
  const float limit = m.coin.time_initial;
  float t = 0;
  long b = 0;
  file.scan();
  for (std::size_t k = 0; k < file.times().size(); ++k) {
    const float tb = file.times()[k];
    if (b == 0 || std::fabs(tb - limit) <= std::fabs(t - limit)) {
      b = static_cast<long>(k) + 1;
      t = tb;
    }
  }
  if (b == 0) {
    refuse(" holds no complete record to start from");
    return;
  }

  // Depth (or level) and velocities of the block, read whole before the
  // state changes. With a mobile bed, the bed level too when the file
  // carries it: the bed of a resumed or continued scour run is the one it
  // had reached.
  const std::size_t row = static_cast<std::size_t>(nx);
  const int first = items.depth > 0 ? items.depth : items.level;
  const int bed_item = m.clog.mobile_bed ? items.bed : 0;
  const std::size_t values =
      row * static_cast<std::size_t>(std::max({first, items.u, items.v, bed_item}));
  std::vector<float> rec;
  std::vector<float> d(row * ny), u(row * ny, 0.0f), v(row * ny, 0.0f), zb;
  if (bed_item > 0) zb.resize(row * ny);
  auto take = [&](int item, int j, std::vector<float>& to) {
    std::copy_n(rec.begin() + 1 + (item - 1) * row, row, to.begin() + (j - 1) * row);
  };
  for (int j = 1; j <= ny; ++j) {
    // Every record of the block carries the block's time.
    if (!file.read_row(b, j, values, rec) || rec[0] != t) {
      refuse(" is damaged: row " + std::to_string(j) + " of the block at " + hours(t) +
             " h does not carry that time");
      return;
    }
    take(first, j, d);
    if (items.u > 0) take(items.u, j, u);
    if (items.u > 0) take(items.v, j, v);
    if (bed_item > 0) take(bed_item, j, zb);
  }

  const std::string what = hot ? "hot start" : "initial condition";
  io.line(ch::listing, " >" + what + " from '" + name + "': record at " + hours(t) + " h" +
                           (limit < 9.0e10f ? ", the one nearest to " + hours(limit) + " h" : ""));
  if (items.u == 0) {
    msg.iierr(1,
              what + " file '" + name + "' holds no velocities: the run starts at rest from its " +
                  (items.depth > 0 ? "flow depth" : "water level minus the bed level"),
              ch::listing);
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
      if (items.depth == 0) depth = std::max(depth - fv.zb[k], 0.0f);
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
