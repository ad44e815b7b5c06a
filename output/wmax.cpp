#include "output/wmax.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cmdlang/stop.h"
#include "cmdlang/textio.h"
#include "model/resultfile.h"

namespace qf {

namespace {

constexpr int kArrays = 4;

std::vector<float> Wmax::*const kArray[kArrays] = {&Wmax::level, &Wmax::depth, &Wmax::flow,
                                                   &Wmax::velocity};

const char* const kLabels[kArrays] = {" WWaterlevel [m]", " FFlowdepth [m]",
                                      " SSpecific Flow [m2/s]", " VFlow Velocity [m/s]"};

void reset(const Model& m, Wmax& w) {
  const auto n = static_cast<std::size_t>(std::max(m.coin1.nn, 0));
  for (auto a : kArray) (w.*a).assign(n, max_no_data);
}

bool any_file(const Model& m) {
  return !trim_right(m.cochar.max_value_file).empty() ||
         !trim_right(m.cochar.max_depth_file).empty() ||
         !trim_right(m.cochar.max_flow_file).empty();
}

// Temporary name of a file being written; renamed to its name when whole.
std::string part_name(const std::string& name) {
  return name + ".part";
}

void commit(const std::string& name) {
  if (std::rename(part_name(name).c_str(), name.c_str()) != 0)
    throw Stop(1, "cannot write file " + name);
}

// Maxima of an earlier run that shares the max-value file.
void restore(Model& m, Wmax& w, Channels& io, Messages& msg) {
  std::string name(trim_right(m.cochar.max_value_file));
  if (name.empty() || !file_exists(name)) return;
  int mode = 1;
  msg.iiopn(ch::aux, name, mode);
  DirectFile* f = io.direct(ch::aux);
  const int nx = m.coin1.nx;
  const int ny = m.coin1.ny;
  ResultHeader hd;
  if (f && mode > 0 && nx > 0 && ny > 0 && read_header(*f, hd) && hd.nx == nx && hd.ny == ny &&
      f->record_length() == max_record_length(nx)) {
    io.line(ch::screen, ">reading from existing max_value file");
    // The block is taken only when it is there whole; its values replace
    // the arrays all at once.
    const std::size_t row = static_cast<std::size_t>(nx);
    const long first = hd.header_records >= 0 ? block_record(hd.header_records, ny, 1, 1) : 0;
    float t = 0;
    bool ok = first > 0 && block_time(*f, first, ny, t) && t > result_end_limit;
    std::vector<float> vals(kArrays * row * ny);
    std::vector<float> rec;
    std::vector<unsigned char> buf;
    for (int j = 1; ok && j <= ny; ++j) {
      ok = read_floats(*f, first + j - 1, 1 + kArrays * row, rec, buf);
      if (ok) std::copy(rec.begin() + 1, rec.end(), vals.begin() + (j - 1) * kArrays * row);
    }
    if (ok) {
      for (int j = 1; j <= ny; ++j) {
        for (int a = 0; a < kArrays; ++a) {
          const float* src = vals.data() + ((j - 1) * kArrays + a) * row;
          std::copy_n(src, row, (w.*kArray[a]).begin() + m.node(2, j + 1));
        }
      }
    }
  }
  io.close(ch::aux);
}

// The new value replaces a lower stored one or a stored value that is not
// a number (written as a select so that the loop vectorises).
inline float raised(float stored, float v) {
  return (v > stored || stored != stored) ? v : stored;
}

void update(const Model& m, Wmax& w) {
  const std::size_t nn = static_cast<std::size_t>(std::max(m.coin1.nn, 0));
  if (w.depth.size() < nn) reset(m, w);
  const float* h = m.f.h.data();
  const float* q = m.f.q.data();
  const float* r = m.f.r.data();
  const float* zb = m.f.zb.data();
  float* level = w.level.data();
  float* depth = w.depth.data();
  float* flow = w.flow.data();
  float* velocity = w.velocity.data();
  for (std::size_t k = 0; k < nn; ++k) {
    const float d = h[k];
    const float fl = std::sqrt(q[k] * q[k] + r[k] * r[k]);
    const float lv = raised(level[k], zb[k] + d);
    level[k] = d > 0.001f ? lv : level[k];
    depth[k] = raised(depth[k], d);
    flow[k] = raised(flow[k], fl);
    velocity[k] = raised(velocity[k], fl / std::max(d, 0.001f));
  }
}

void write_max_file(Model& m, Wmax& w, Channels& io, const std::string& name) {
  io.line(ch::screen, " >max_values to '" + name + "'");
  const int nx = m.coin1.nx;
  const int ny = m.coin1.ny;
  const std::size_t reclen = max_record_length(nx);
  const std::string part = part_name(name);
  if (!io.open_direct(ch::aux, part, reclen, 'w')) throw Stop(1, "cannot write file " + name);
  DirectFile& f = *io.direct(ch::aux);
  const auto head = header_record(result_header(m, type_general, reclen));
  std::vector<std::string> labels{time_label()};
  for (const char* l : kLabels) labels.push_back(pad(l, 32));
  const auto lab = label_record(labels);
  const std::size_t row = static_cast<std::size_t>(nx);
  const auto fill = [&](int j, float* out) {
    const int k0 = m.node(2, j + 1);
    for (int a = 0; a < kArrays; ++a) std::copy_n((w.*kArray[a]).begin() + k0, row, out + a * row);
  };
  std::vector<float> buffer;
  const bool ok = f.write(2, lab.data(), lab.size()) &&
                  write_coordinates(f, m, result_header_records, 0.0f) &&
                  write_block(f, block_record(result_header_records, ny, 1, 1), ny, m.coin.time,
                              kArrays * row, m.coin.end_marker, fill, buffer) &&
                  f.write(1, head.data(), head.size());
  io.close(ch::aux);
  if (!ok) throw Stop(1, "cannot write file " + name);
  commit(name);
}

}  // namespace

void write_esri_grid(Channels& io, int ch, const std::string& path, const Model& m,
                     const std::vector<float>& values, const std::vector<std::uint8_t>& outside) {
  if (!io.open_write(ch, path)) throw Stop(1, "cannot write file " + path);
  const int nx = m.coin1.nx;
  const int ny = m.coin1.ny;
  io.line(ch, "ncols" + fmt_i(nx, 8));
  io.line(ch, "nrows" + fmt_i(ny, 8));
  io.line(ch, "xllcorner" + fmt_f(m.coin.x_origin, 12, 2));
  io.line(ch, "yllcorner" + fmt_f(m.coin.y_origin, 12, 2));
  io.line(ch, "cellsize" + fmt_f(m.coin.dx, 13, 4));
  io.line(ch, "NODATA_value" + fmt_f(max_no_data, 9, 1));
  // The no-data value does not fit a field of 8 with 3 decimals; written
  // with one decimal it keeps its leading blank and reads back as no data.
  const std::string nodata = fmt_f(max_no_data, 8, 1);
  std::string line;
  for (int j = ny; j >= 1; --j) {
    line.clear();
    const int k0 = m.node(2, j + 1);
    for (int i = 0; i < nx; ++i) {
      const std::size_t k = static_cast<std::size_t>(k0 + i);
      const bool out = k < outside.size() && outside[k] != 0;
      const float v = values[k];
      line += (out || v == max_no_data || !std::isfinite(v)) ? nodata : fmt_f(v, 8, 3);
    }
    io.line(ch, line);
  }
  io.close(ch);
}

void wmax(Model& m, Wmax& w, Channels& io, Messages& msg, int mode) {
  if (mode == -1) {
    reset(m, w);
    restore(m, w, io, msg);
    return;
  }
  if (mode == 0) {
    if (any_file(m)) update(m, w);
    return;
  }
  if (w.depth.size() < static_cast<std::size_t>(std::max(m.coin1.nn, 0))) reset(m, w);
  const std::string maxfile(trim_right(m.cochar.max_value_file));
  if (!maxfile.empty()) write_max_file(m, w, io, maxfile);
  const std::string depthfile(trim_right(m.cochar.max_depth_file));
  if (!depthfile.empty()) {
    write_esri_grid(io, ch::aux, part_name(depthfile), m, w.depth, w.outside);
    commit(depthfile);
    io.line(ch::screen, ">STORED MAX_DEPTH ON " + pad(depthfile, 32));
  }
  const std::string flowfile(trim_right(m.cochar.max_flow_file));
  if (!flowfile.empty()) {
    write_esri_grid(io, ch::aux, part_name(flowfile), m, w.flow, w.outside);
    commit(flowfile);
    io.line(ch::screen, ">STORED MAX_FLOW  ON " + pad(flowfile, 32));
  }
}

}  // namespace qf
