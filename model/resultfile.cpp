#include "model/resultfile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "io/textio.h"

namespace qf {

ResultItems result_items(const Model& m) {
  ResultItems it;
  it.n = std::clamp(m.coin1.item_count, 0, max_items);
  if (m.clog.transport && it.n > 1) it.n = 1;
  for (int i = 0; i < it.n; ++i) it.code[i] = m.coin1.item_code[i];
  return it;
}

int result_type(const Model& m, const ResultItems& it) {
  if (!m.clog.transport && it.n >= 3 && it.code[0] == 1 && it.code[1] == 21 && it.code[2] == 22)
    return type_hot_start;
  return type_general;
}

std::size_t result_record_length(int n, int nx) {
  const long words = std::max({8L * n + 9, static_cast<long>(std::max(n, 1)) * nx + 1, 26L});
  return static_cast<std::size_t>(4 * words + 1);
}

std::size_t max_record_length(int nx) {
  const long w = 4L * nx < 37 ? 41 : 4L * nx + 1;
  return static_cast<std::size_t>(4 * w + 1);
}

ResultHeader result_header(const Model& m, int type, std::size_t reclen) {
  ResultHeader h;
  h.type = type;
  h.reclen = static_cast<std::int32_t>(reclen);
  h.nx = m.coin1.nx;
  h.ny = m.coin1.ny;
  h.title = m.cochar.title;
  h.x_origin = m.coin.x_origin;
  h.y_origin = m.coin.y_origin;
  return h;
}

std::vector<unsigned char> header_record(const ResultHeader& h) {
  RecordWriter w;
  w.i32(h.type);
  w.i32(h.reclen);
  w.i32(h.nx);
  w.i32(h.ny);
  w.i32(h.layers);
  w.i32(h.header_records);
  w.text(h.title, 64);
  w.f64(h.x_origin);
  w.f64(h.y_origin);
  return w.bytes();
}

namespace {

// Size of the open file in bytes.
long file_bytes(DirectFile& f) {
  const std::size_t reclen = f.record_length();
  f.set_record_length(1);
  const long bytes = f.records();
  f.set_record_length(reclen);
  return bytes;
}

}  // namespace

bool read_header(DirectFile& f, ResultHeader& h, std::string* why) {
  const auto refuse = [why](std::string text) {
    if (why) *why = std::move(text);
    return false;
  };
  constexpr std::size_t head = 104;  // bytes of record 1
  if (f.record_length() < head) {
    return refuse("a record length of " + std::to_string(f.record_length()) +
                  " bytes cannot hold the header");
  }
  const long bytes = file_bytes(f);
  if (bytes == 0) return refuse("the file is empty");
  if (bytes < static_cast<long>(head))
    return refuse("the file has " + std::to_string(bytes) + " bytes, less than a header");
  std::vector<unsigned char> buf;
  const std::size_t reclen = f.record_length();
  f.set_record_length(head);
  const bool got = f.read(1, buf);
  f.set_record_length(reclen);
  RecordReader r(buf);
  if (!got ||
      !(r.i32(h.type) && r.i32(h.reclen) && r.i32(h.nx) && r.i32(h.ny) && r.i32(h.layers) &&
        r.i32(h.header_records) && r.text(h.title, 64) && r.f64(h.x_origin) && r.f64(h.y_origin)))
    return refuse("the header cannot be read");
  const std::string size = " in a file of " + std::to_string(bytes) + " bytes";
  if (h.reclen < static_cast<std::int32_t>(head) || h.reclen > bytes)
    return refuse("record length " + std::to_string(h.reclen) + size);
  if (h.nx < 1 || h.ny < 1 || 4L * (h.nx + 1L) > h.reclen) {
    return refuse("grid of " + std::to_string(h.nx) + " x " + std::to_string(h.ny) +
                  " cells in records of " + std::to_string(h.reclen) + " bytes");
  }
  // The header and coordinate records are written before record 1, so a
  // file that has a header has them whole.
  if (h.header_records < 1 || static_cast<long>(h.header_records) + 2L * h.ny > bytes / h.reclen) {
    return refuse(std::to_string(h.header_records) + " header records and " +
                  std::to_string(2L * h.ny) + " coordinate records of " + std::to_string(h.reclen) +
                  " bytes" + size);
  }
  return true;
}

std::vector<unsigned char> label_record(const std::vector<std::string>& labels) {
  RecordWriter w;
  w.i32(static_cast<std::int32_t>(labels.empty() ? 0 : labels.size() - 1));
  for (const auto& l : labels) w.text(l, 32);
  return w.bytes();
}

std::vector<std::string> result_labels(const ResultItems& it) {
  std::vector<std::string> labels{time_label()};
  for (int i = 0; i < it.n; ++i) labels.push_back(item_label(it.code[i]));
  return labels;
}

std::vector<unsigned char> label_record(const ResultItems& it) {
  return label_record(result_labels(it));
}

bool read_labels(DirectFile& f, int& n, std::vector<std::string>& labels) {
  std::vector<unsigned char> buf;
  labels.clear();
  if (!f.read(2, buf)) return false;
  RecordReader r(buf);
  std::int32_t count = 0;
  if (!r.i32(count) || count < 0) return false;
  n = count;
  for (std::int32_t i = 0; i <= count; ++i) {
    std::string s;
    if (!r.text(s, 32)) return false;
    labels.push_back(s);
  }
  return true;
}

bool write_coordinates(DirectFile& f, const Model& m, int header_records, float flag) {
  const int nx = m.coin1.nx;
  const int ny = m.coin1.ny;
  std::vector<float> rec(static_cast<std::size_t>(nx) + 1);
  rec[0] = flag;
  for (int i = 1; i <= nx; ++i) rec[i] = m.coin1.xc[i + 1];
  for (int j = 1; j <= ny; ++j) {
    if (!f.write(coord_x_record(header_records, j), rec.data(), rec.size() * 4)) return false;
  }
  for (int j = 1; j <= ny; ++j) {
    std::fill(rec.begin() + 1, rec.end(), m.coin1.yc[j + 1]);
    if (!f.write(coord_y_record(header_records, ny, j), rec.data(), rec.size() * 4)) return false;
  }
  return true;
}

bool write_end_marker(DirectFile& f, long rec, float marker) {
  return f.write(rec, &marker, 4) && f.write(rec + 1, &marker, 4);
}

bool write_block(DirectFile& f, long first, int ny, float time, std::size_t values,
                 float end_marker, const RowFill& fill, std::vector<float>& buffer, bool parallel) {
  if (ny < 1) return true;
  const int band = parallel ? 32 : 1;
  const std::size_t stride = values + 1;
  buffer.resize(stride * static_cast<std::size_t>(band));
  const std::size_t bytes = stride * 4;
  // The rows after the first: the block still ends at its first record.
  for (int j0 = 2; j0 <= ny; j0 += band) {
    const int j1 = std::min(ny, j0 + band - 1);
#pragma omp parallel for schedule(static) if (parallel)
    for (int j = j0; j <= j1; ++j) {
      float* rec = buffer.data() + static_cast<std::size_t>(j - j0) * stride;
      rec[0] = time;
      fill(j, rec + 1);
    }
    for (int j = j0; j <= j1; ++j) {
      const float* rec = buffer.data() + static_cast<std::size_t>(j - j0) * stride;
      if (!f.write(first + j - 1, rec, bytes)) return false;
    }
  }
  if (!write_end_marker(f, first + ny, end_marker)) return false;
  // The first row under the end-marker value, then with its time.
  buffer[0] = end_marker;
  fill(1, buffer.data() + 1);
  if (!f.write(first, buffer.data(), bytes)) return false;
  f.flush();
  buffer[0] = time;
  if (!f.write(first, buffer.data(), bytes)) return false;
  f.flush();
  return true;
}

bool block_time(DirectFile& f, long first, int ny, float& time) {
  std::vector<unsigned char> buf;
  if (ny < 1 || first < 1 || first + ny - 1 > f.records()) return false;
  if (!f.read(first, buf)) return false;
  std::memcpy(&time, buf.data(), 4);
  return true;
}

long scan_blocks(DirectFile& f, int header_records, int ny,
                 const std::function<bool(float)>& accept, float* last_time) {
  if (ny < 1 || header_records < 0) return 0;
  const long total = f.records();
  long b = 0;
  for (;;) {
    const long first = block_record(header_records, ny, b + 1, 1);
    if (first + ny - 1 > total) break;
    float t = 0;
    if (!block_time(f, first, ny, t)) break;
    if (!(t > result_end_limit) || !accept(t)) break;
    ++b;
    if (last_time) *last_time = t;
  }
  return b;
}

bool read_floats(DirectFile& f, long rec, std::size_t count, std::vector<float>& out,
                 std::vector<unsigned char>& buf) {
  if (count * 4 > f.record_length() || !f.read(rec, buf)) return false;
  out.resize(count);
  std::memcpy(out.data(), buf.data(), count * 4);
  return true;
}

bool begin_result_file(DirectFile& f, const Model& m, const ResultItems& it, int type,
                       std::size_t reclen, float end_marker) {
  const auto labels = label_record(it);
  if (!f.write(2, labels.data(), labels.size()) ||
      !write_coordinates(f, m, result_header_records, result_coord_flag))
    return false;
  if (!write_end_marker(f, last_header_part_record(m.coin1.ny) + 1, end_marker)) return false;
  if (!f.flush()) return false;
  const auto head = header_record(result_header(m, type, reclen));
  return f.write(1, head.data(), head.size());
}

bool same_result_layout(DirectFile& f, const Model& m, const ResultItems& it, std::size_t reclen) {
  ResultReader r;
  if (!r.attach(f)) return false;
  const ResultHeader& hd = r.header();
  if (hd.reclen != static_cast<std::int32_t>(reclen) || hd.nx != m.coin1.nx ||
      hd.ny != m.coin1.ny || hd.header_records != result_header_records)
    return false;
  if (!r.labelled() || r.item_count() != it.n) return false;
  // The same count of other items would mix two kinds of blocks.
  return r.labels() == result_labels(it);
}

bool write_item_block(DirectFile& f, long first, int ny, int nx, float time, int items,
                      float end_marker, const ItemFill& fill, std::vector<float>& buffer,
                      bool parallel) {
  const std::size_t row = static_cast<std::size_t>(nx);
  const auto rows = [&](int j, float* out) {
    for (int k = 0; k < items; ++k) fill(k, j, out + k * row);
  };
  return write_block(f, first, ny, time, static_cast<std::size_t>(items) * row, end_marker, rows,
                     buffer, parallel);
}

bool write_max_value_file(DirectFile& f, const Model& m, float time, float end_marker,
                          const ItemFill& fill, bool parallel) {
  const int nx = m.coin1.nx;
  const int ny = m.coin1.ny;
  const auto head = header_record(result_header(m, type_general, max_record_length(nx)));
  std::vector<std::string> labels{time_label()};
  for (const char* l : max_value_labels) labels.push_back(pad(l, 32));
  const auto lab = label_record(labels);
  std::vector<float> buffer;
  return f.write(2, lab.data(), lab.size()) &&
         write_coordinates(f, m, result_header_records, 0.0f) &&
         write_item_block(f, block_record(result_header_records, ny, 1, 1), ny, nx, time,
                          max_value_items, end_marker, fill, buffer, parallel) &&
         f.write(1, head.data(), head.size());
}

// ---------------------------------------------------------------- reader

bool ResultReader::open(const std::string& path, std::string* why) {
  close();
  own_ = std::make_unique<DirectFile>();
  if (!own_->open(path, 104, 'r')) return false;
  if (!read_header(*own_, h_, why)) return false;
  own_->set_record_length(static_cast<std::size_t>(h_.reclen));
  read_start();
  return true;
}

bool ResultReader::attach(DirectFile& f, std::string* why) {
  close();
  file_ = &f;
  if (!read_header(f, h_, why)) return false;
  read_start();
  return true;
}

void ResultReader::read_start() {
  labelled_ = read_labels(file(), n_, labels_);
  if (!labelled_) n_ = 0;
}

void ResultReader::close() {
  if (own_) own_->close();
  own_.reset();
  file_ = nullptr;
  h_ = ResultHeader{};
  labelled_ = false;
  n_ = 0;
  labels_.clear();
  times_.clear();
}

bool ResultReader::coordinate_flag(float& flag) {
  if (!read_floats(file(), coord_x_record(h_.header_records, 1), 1, row_, buf_)) return false;
  flag = row_[0];
  return true;
}

bool ResultReader::coordinate_row(long rec, std::span<float> out) {
  const std::size_t nx = static_cast<std::size_t>(h_.nx);
  if (out.size() < nx || !read_floats(file(), rec, nx + 1, row_, buf_)) return false;
  std::copy_n(row_.begin() + 1, nx, out.begin());
  return true;
}

bool ResultReader::x_row(int j, std::span<float> out) {
  return coordinate_row(coord_x_record(h_.header_records, j), out);
}

bool ResultReader::y_row(int j, std::span<float> out) {
  return coordinate_row(coord_y_record(h_.header_records, h_.ny, j), out);
}

bool ResultReader::coordinates(std::vector<float>& x, std::vector<float>& y) {
  const std::size_t nx = static_cast<std::size_t>(h_.nx);
  x.assign(nx * static_cast<std::size_t>(h_.ny), 0.0f);
  y.assign(x.size(), 0.0f);
  for (int j = 1; j <= h_.ny; ++j) {
    const std::size_t at = static_cast<std::size_t>(j - 1) * nx;
    if (!x_row(j, std::span(x).subspan(at, nx)) || !y_row(j, std::span(y).subspan(at, nx)))
      return false;
  }
  return true;
}

long ResultReader::scan() {
  times_.clear();
  return scan_blocks(file(), h_.header_records, h_.ny, [this](float t) {
    times_.push_back(t);
    return true;
  });
}

bool ResultReader::block_time(long b, float& time) {
  return qf::block_time(file(), block_record(h_.header_records, h_.ny, b, 1), h_.ny, time);
}

bool ResultReader::read_row(long b, int j, std::size_t values, std::vector<float>& out) {
  return read_floats(file(), block_record(h_.header_records, h_.ny, b, j), 1 + values, out, buf_);
}

bool ResultReader::read_item(long b, int k, int j, std::span<float> out, float* time) {
  const std::size_t nx = static_cast<std::size_t>(h_.nx);
  if (k < 0 || k >= n_ || out.size() < nx) return false;
  if (!read_row(b, j, static_cast<std::size_t>(n_) * nx, row_)) return false;
  if (time) *time = row_[0];
  std::copy_n(row_.begin() + 1 + static_cast<std::size_t>(k) * nx, nx, out.begin());
  return true;
}

void item_row(const Model& m, int code, int j, float* out) {
  item_row(m, m.f, m.node(2, j + 1), code, out);  // from the first real cell of the row
}

void item_row(const Model& m, const FlowValues& f, long k0, int code, float* out) {
  const int nx = m.coin1.nx;
  const float* h = f.h.data() + k0;
  const float* q = f.q.data() + k0;
  const float* r = f.r.data() + k0;
  const float* zb = f.zb.data() + k0;
  const std::uint8_t* dry = f.ldry.data() + k0;
  // A node counts as dry for the velocities when flagged or without depth.
  auto wet = [&](int i) { return !dry[i] && h[i] > 0.0f; };
  auto speed = [&](int i) {
    const float u = q[i] / h[i];
    const float v = r[i] / h[i];
    return std::sqrt(u * u + v * v);
  };
  auto field = [&](const std::vector<float>& v, float scale) {
    const float* p = v.data() + k0;
    for (int i = 0; i < nx; ++i) out[i] = p[i] * scale;
  };
  switch (code) {
    case 1:
      for (int i = 0; i < nx; ++i) out[i] = h[i];
      break;
    case 2:
      for (int i = 0; i < nx; ++i)
        out[i] = (dry[i] && m.clog.no_data_set) ? m.coin.no_data : zb[i] + h[i];
      break;
    case 3:
      for (int i = 0; i < nx; ++i) out[i] = wet(i) ? speed(i) : 0.0f;
      break;
    case 4:
      for (int i = 0; i < nx; ++i) out[i] = wet(i) ? speed(i) * h[i] : 0.0f;
      break;
    case 5:
      for (int i = 0; i < nx; ++i)
        out[i] = wet(i) ? speed(i) / std::sqrt(m.coin.gravity * h[i]) : 0.0f;
      break;
    case 6:
      for (int i = 0; i < nx; ++i) out[i] = zb[i];
      break;
    case 7: {
      const float* us = f.us.data() + k0;
      for (int i = 0; i < nx; ++i) out[i] = 1000.0f * us[i] * us[i];
      break;
    }
    case 8:
      field(f.qb, 1.0f);
      break;
    case 9:
    case 11:
      field(f.ks, 1.0f);
      break;
    case 10: {
      const float* ks = f.ks.data() + k0;
      for (int i = 0; i < nx; ++i) out[i] = 1.0f / ks[i];
      break;
    }
    case 12:
      field(f.c, 1000.0f);
      break;
    case 13:
      field(f.c, 1.0f);
      break;
    case 14:
      field(f.nu, 1.0f);
      break;
    case 15:
      field(f.hfloat, 1.0f);
      break;
    case 16:
      field(f.veg, 1.0f);
      break;
    case 17:
      for (int i = 0; i < nx; ++i) {
        const float s = wet(i) ? speed(i) : 0.0f;
        out[i] = zb[i] + h[i] + 0.051f * s * s;
      }
      break;
    case 18:
      field(f.tind, 1.0f);
      break;
    case 21:
      for (int i = 0; i < nx; ++i) out[i] = wet(i) ? q[i] / h[i] : 0.0f;
      break;
    case 22:
      for (int i = 0; i < nx; ++i) out[i] = wet(i) ? r[i] / h[i] : 0.0f;
      break;
    default:
      for (int i = 0; i < nx; ++i) out[i] = 0.0f;
      break;
  }
}

// ------------------------------------------------------- warm-start marker

namespace {

// The marker is written under a temporary name and renamed over the old
// one, so that a process killed while saving never leaves a marker that
// names a half-written state.
bool replace_marker(Channels& io, int ch, const std::string& path, const std::string& line1,
                    const std::string& line2) {
  const std::string tmp = path + ".tmp";
  if (!io.open_write(ch, tmp)) return false;
  io.line(ch, line1);
  io.line(ch, line2);
  if (io.close(ch) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool write_warm_marker(Channels& io, int ch, int step, float time, const std::string& result_file,
                       const std::string& path) {
  return replace_marker(io, ch, path, fmt_list(step) + fmt_list(time) + " /",
                        " " + pad(result_file, 32) + " /");
}

bool withdraw_warm_marker(Channels& io, int ch, const std::string& path) {
  return replace_marker(io, ch, path, fmt_list(0) + fmt_list(0) + fmt_list(0), "");
}

bool read_warm_marker(Channels& io, int ch, int& step, float& time, std::string& file,
                      const std::string& path, Messages* msg) {
  if (!io.open_read(ch, path)) return false;
  std::string l1, l2;
  const bool got = io.read_line(ch, l1) == 0 && io.read_line(ch, l2) == 0;
  io.close(ch);
  if (!got) return false;
  std::string name;
  FreeReader r2(l2);
  if (r2.read(name, 32) != ReadStatus::ok) return false;
  name = std::string(trim_right(name));
  if (name.empty()) return false;
  int s = 0;
  float t = 0;
  FreeReader r1(l1);
  const bool read = r1.read(s) == ReadStatus::ok && r1.read(t) == ReadStatus::ok;
  if (!read || s < 0 || s > warm_step_limit || !std::isfinite(t)) {
    // A damaged marker: the run starts from its input.
    if (msg) {
      std::string why;
      if (!read) {
        why = "no step and time in '" + std::string(trim_right(l1)) + "'";
      } else if (s < 0 || s > warm_step_limit) {
        why = "step " + std::to_string(s) + " is not from 0 to " + std::to_string(warm_step_limit);
      } else {
        const std::string v = fmt_f(t, 9, 0);
        why = "time " + v.substr(v.find_first_not_of(' ')) + " is not a finite number";
      }
      const std::string text = "warm start from " + path + " ignored: " + why;
      msg->iierr(1, text, ch::listing);
    }
    return false;
  }
  step = s;
  time = t;
  file = name;
  return true;
}

}  // namespace qf
