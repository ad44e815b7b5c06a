#include "output/wres.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "io/messages.h"
#include "io/stop.h"
#include "io/textio.h"
#include "model/hydro/threads.h"

namespace qf {

namespace {

[[noreturn]] void write_error(Wres& w, Channels& io, const std::string& name, const DirectFile* f,
                              int err = 0) {
  if (err == 0) err = f && f->error() != 0 ? f->error() : EIO;
  w.failed = true;
  if (!w.part.empty()) {
    // The new file never became the result: an earlier one stays.
    io.close(ch::result);
    std::remove(w.part.c_str());
    w.part.clear();
  }
  output_failure(io, "cannot write result file", name, err);
}

void open_result(Model& m, Wres& w, Channels& io) {
  w.items = result_items(m);
  w.type = result_type(m, w.items);
  const int nx = m.coin1.nx;
  const int ny = m.coin1.ny;
  w.reclen = result_record_length(w.items.n, nx);
  const std::string name(trim_right(m.cochar.result_file));
  io.line(ch::screen, " >results to file '" + name.substr(0, name.find(' ')) + "'");
  DirectFile* f = nullptr;
  w.last_record = last_header_part_record(ny);
  w.part.clear();
  bool keep = false;
  if (name == trim_right(m.cochar.initial_file) && file_exists(name)) {
    if (!io.open_direct(ch::result, name, w.reclen, 'u'))
      output_failure(io, "cannot create result file", name, errno);
    f = io.direct(ch::result);
    keep = same_result_layout(*f, m, w.items, w.reclen);
    if (keep) {
      const float now = m.coin.time;
      const long kept =
          scan_blocks(*f, result_header_records, ny, [&](float t) { return t < now; });
      m.coin1.result_count += static_cast<int>(kept);
      w.last_record += kept * ny;
      io.line(ch::screen,
              ">results stored on initial file (" + fmt_list(m.coin1.result_count) + ")");
    } else if (f->records() > 0) {
      io.put(ch::screen, " Overwrite file " + name + " (y/n)? ");
      io.flush(ch::screen);
      std::string answer;
      if (io.read_line(ch::keyboard, answer) != 0) {
        // Nobody to answer: nothing is overwritten and nothing computed.
        io.line(ch::screen);
        const std::string text = "no answer whether to overwrite result file '" + name +
                                 "' (written for another grid or other items): run stopped";
        io.err() << " >" << text << '\n';
        io.err().flush();
        io.line(ch::listing);
        io.line(ch::listing, " >" + text);
        throw Stop(1, text);
      }
      if (answer.empty() || answer[0] != 'y') throw Stop(0);
    }
  }
  if (!keep) {
    // A new file from its start, under its temporary name: nothing of an
    // earlier file survives behind the new blocks. Record 1 goes last, so
    // that a header cut short is not taken for a result file.
    io.close(ch::result);
    const std::string part = name + ".part";
    if (!io.open_direct(ch::result, part, w.reclen, 'w'))
      output_failure(io, "cannot create result file", name, errno);
    w.part = part;
    f = io.direct(ch::result);
    if (!begin_result_file(*f, m, w.items, w.type, w.reclen, m.coin.end_marker))
      write_error(w, io, name, f);
  } else if (!write_end_marker(*f, w.last_record + 1, m.coin.end_marker)) {
    write_error(w, io, name, f);
  }
  if (!f->flush()) write_error(w, io, name, f);
  w.continued = keep;

  io.line(ch::listing);
  io.line(ch::listing, std::string(11, ' ') + "flow over boundaries[m3/s]:");
  io.line(ch::listing, " time[h]" + std::string(5, ' ') + "--west--" + std::string(8, ' ') +
                           "--south--" + std::string(7, ' ') + "--east--" + std::string(8, ' ') +
                           "--north--" + std::string(4, ' ') + "volume[m3]");
  w.open = true;
}

void write_state(Model& m, Wres& w, Channels& io) {
  DirectFile* f = io.direct(ch::result);
  const std::string name(trim_right(m.cochar.result_file));
  if (!f) write_error(w, io, name, f, EBADF);
  if (const int e = wres_block(m, w.items, *f, w.last_record + 1, w.buffer, threaded(m.coin1.nn)))
    write_error(w, io, name, f, e);
  w.last_record += m.coin1.ny;
  if (!w.part.empty()) {
    // The first block is whole: from now on this is the result file.
    errno = 0;
    if (std::rename(w.part.c_str(), name.c_str()) != 0) write_error(w, io, name, f, errno);
    w.part.clear();
  }
}

}  // namespace

void report_output_failure(Channels& io, const std::string& text, const std::string& name,
                           int err) {
  const std::string line = text + " '" + name + "': " + std::strerror(err != 0 ? err : EIO);
  io.err() << " >" << line << '\n';
  io.err().flush();
  const std::string stars(47, '*');
  io.line(ch::listing);
  io.line(ch::listing, stars);
  io.line(ch::listing, "**error: " + line);
  io.line(ch::listing, stars);
  io.line(ch::listing);
}

void output_failure(Channels& io, const std::string& text, const std::string& name, int err) {
  report_output_failure(io, text, name, err);
  throw Stop(1, text + " '" + name + "'");
}

int wres_block(const Model& m, const ResultItems& items, DirectFile& f, long first,
               std::vector<float>& buffer, bool parallel) {
  const auto fill = [&](int k, int j, float* out) { item_row(m, items.code[k], j, out); };
  return wres_block(m, items.n, fill, f, first, buffer, parallel);
}

int wres_block(const Model& m, int items, const ItemFill& fill, DirectFile& f, long first,
               std::vector<float>& buffer, bool parallel) {
  // The block is handed to the system whole (write_block flushes), so a
  // full disk shows here and not only when the file is closed.
  if (write_item_block(f, first, m.coin1.ny, m.coin1.nx, m.coin.time, items, m.coin.end_marker,
                       fill, buffer, parallel) &&
      f.flush())
    return 0;
  return f.error() != 0 ? f.error() : EIO;
}

void wres_failed(Wres& w, Channels& io, const std::string& name, int err) {
  write_error(w, io, name, io.direct(ch::result), err);
}

void wres_lines(const Model& m, Wres& w, Channels& io, int step) {
  ++w.calls;
  if (w.calls % 20 == 1) io.line(ch::screen, "        Step    Time(h) dT(s)   dVol");
  io.line(ch::screen, fmt_i(w.calls, 4) + fmt_i(step, 8) + fmt_f(m.coin.time, 10, 2) +
                          fmt_f(m.coin.dt, 6, 2) +
                          fmt_f(m.coin.change_rate * m.coin.dx * m.coin.dy, 8, 1));
  std::string l = fmt_f(m.coin.time, 7, 2);
  for (float q : m.coin.boundary_flow) l += fmt_f(q, 8, 2);
  l += fmt_f(m.coin.stored_volume, 12, 0);
  io.line(ch::listing, l);
}

void wres(Model& m, Wres& w, Channels& io, int step) {
  if (!w.open) open_result(m, w, io);
  if (step != 0) wres_lines(m, w, io, step);
  write_state(m, w, io);
  w.last_step = step;
}

void wres1() {}
void wres2() {}

}  // namespace qf
