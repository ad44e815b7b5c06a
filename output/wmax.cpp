#include "output/wmax.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "io/stop.h"
#include "io/textio.h"
#include "model/hydro/maxima_kernel.h"
#include "model/hydro/threads.h"
#include "model/resultfile.h"
#include "output/wres.h"

namespace qf {

namespace {

constexpr int kArrays = max_value_items;

std::vector<float> Wmax::*const kArray[kArrays] = {&Wmax::level, &Wmax::depth, &Wmax::flow,
                                                   &Wmax::velocity};

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

// Puts the whole temporary file in the place of the file; 0, or the error
// number of a failed rename (the temporary file is then removed).
int commit(const std::string& name) {
  errno = 0;
  if (std::rename(part_name(name).c_str(), name.c_str()) == 0) return 0;
  const int e = errno != 0 ? errno : EIO;
  std::remove(part_name(name).c_str());
  return e;
}

// The three output files of the maxima with their names in messages.
struct OutFile {
  std::string Cochar::*name;
  const char* what;
};
const OutFile kFiles[3] = {{&Cochar::max_value_file, "max-value file"},
                           {&Cochar::max_depth_file, "max-depth grid"},
                           {&Cochar::max_flow_file, "max-flow grid"}};

// The files are written only at the end of the run: make sure now that
// they can be created there (the folder exists and may be written), so that
// a wrong name does not cost the whole run. The trial file is removed.
int check_creatable(const Model& m, Channels& io) {
  int failures = 0;
  for (const OutFile& of : kFiles) {
    const std::string name(trim_right(m.cochar.*of.name));
    if (name.empty()) continue;
    const std::string what = std::string("cannot create ") + of.what;
    struct stat st;
    if (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      report_output_failure(io, what, name, EISDIR);
      ++failures;
      continue;
    }
    const std::string part = part_name(name);
    if (!io.open_write(ch::aux, part)) {
      report_output_failure(io, what, name, errno);
      ++failures;
      continue;
    }
    io.close(ch::aux);
    std::remove(part.c_str());
  }
  return failures;
}

// A restored maximum that is not a finite number, or absurdly large, is
// no maximum at all: it would stand for ever against every real value.
inline float sound(float v) {
  return std::isfinite(v) && std::fabs(v) < 1.0e30f ? v : max_no_data;
}

// The run goes on from where an earlier run stopped: a warm (hot) start
// from the marker file, or an initial condition loaded from a result file
// (the loading sets the start time and time_initial to the time of the
// block it took; when nothing was loaded time_initial keeps the value of the
// input). An earlier run's maxima belong to this run only then, and only
// when that run had not gone beyond the time this run starts from.
bool continues_earlier_run(const Model& m, float max_time) {
  if (m.clog.warm_started) return true;
  const bool loaded =
      !trim_right(m.cochar.initial_file).empty() && m.coin.time_initial == m.coin.time;
  return loaded && max_time <= m.coin.time;
}

// Maxima of an earlier run that shares the max-value file and that this
// run continues.
void restore(Model& m, Wmax& w, Channels& io, Messages& msg) {
  std::string name(trim_right(m.cochar.max_value_file));
  const bool going_on = m.clog.warm_started || (!trim_right(m.cochar.initial_file).empty() &&
                                                m.coin.time_initial == m.coin.time);
  if (going_on && any_file(m) && (name.empty() || !file_exists(name))) {
    // The maxima of the run this one continues are not at hand: say that
    // the grids will show this run's alone.
    const std::string text =
        (name.empty() ? std::string("no max-value file named")
                      : "no max-value file '" + name + "' of the run continued") +
        ": the maxima start from this run at t=" + bare(fmt_f(m.coin.time, 14, 4)) + " h";
    io.line(ch::screen, " >" + text);
    io.line(ch::listing, " >" + text);
  }
  if (name.empty() || !file_exists(name)) return;
  int mode = 1;
  msg.iiopn(ch::aux, name, mode);
  DirectFile* f = io.direct(ch::aux);
  const int nx = m.coin1.nx;
  const int ny = m.coin1.ny;
  ResultReader file;
  const bool fits = f && mode > 0 && nx > 0 && ny > 0 && file.attach(*f) &&
                    file.header().nx == nx && file.header().ny == ny &&
                    f->record_length() == max_record_length(nx);
  // A run that goes on from an earlier one would carry its maxima on: say
  // that the file cannot give them (the run then writes a file of its own).
  if (!fits && going_on) {
    msg.iierr(1,
              "max-value file '" + name +
                  "' is damaged or of another grid: the maxima start from this run",
              ch::listing);
  }
  if (fits) {
    // The block is taken only when it is there whole; its values replace
    // the arrays all at once.
    const std::size_t row = static_cast<std::size_t>(nx);
    float t = 0;
    bool ok = file.block_time(1, t) && t > result_end_limit && continues_earlier_run(m, t);
    std::vector<float> vals;
    if (ok) vals.resize(kArrays * row * ny);
    std::vector<float> rec;
    for (int j = 1; ok && j <= ny; ++j) {
      ok = file.read_row(1, j, kArrays * row, rec);
      if (ok) std::copy(rec.begin() + 1, rec.end(), vals.begin() + (j - 1) * kArrays * row);
    }
    if (ok) {
      io.line(ch::screen, ">reading from existing max_value file");
      for (int j = 1; j <= ny; ++j) {
        for (int a = 0; a < kArrays; ++a) {
          const float* src = vals.data() + ((j - 1) * kArrays + a) * row;
          std::transform(src, src + row, (w.*kArray[a]).begin() + m.node(2, j + 1), sound);
        }
      }
    }
  }
  io.close(ch::aux);
}

// Raises n maxima from depths, discharges and bed levels (maxima_kernel.h).
// Built for the widest vectors the processor offers (the same values: each
// node on its own, no contracted products). Sanitized builds keep the baseline copy: the
// resolver that picks a clone runs while the program is loaded, before the
// sanitizer's run time is ready (ThreadSanitizer crashes there).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QF_SANITIZED_BUILD
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QF_SANITIZED_BUILD
#endif
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(QF_SANITIZED_BUILD)
__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#endif
void raise_maxima(const float* __restrict h, const float* __restrict q,
                  const float* __restrict r, const float* __restrict zb,
                  float* __restrict level, float* __restrict depth, float* __restrict flow,
                  float* __restrict velocity, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k)
    raise_node<float>(h, q, r, zb, level, depth, flow, velocity, k);
}

// Raises the maxima of nodes k0 .. k1 - 1 (elements) from the state.
void update_nodes(const Model& m, Wmax& w, std::size_t k0, std::size_t k1) {
  if (k1 <= k0) return;
  raise_maxima(m.f.h.data() + k0, m.f.q.data() + k0, m.f.r.data() + k0, m.f.zb.data() + k0,
               w.level.data() + k0, w.depth.data() + k0, w.flow.data() + k0, w.velocity.data() + k0,
               k1 - k0);
}

void update(const Model& m, Wmax& w) {
  const std::size_t nn = static_cast<std::size_t>(std::max(m.coin1.nn, 0));
  if (w.depth.size() < nn) reset(m, w);
  const std::size_t nxx = static_cast<std::size_t>(std::max(m.coin1.nxx, 1));
  const long rows = static_cast<long>((nn + nxx - 1) / nxx);
  const bool many = threaded(m.coin1.nn);
#pragma omp parallel for schedule(static) if (many)
  for (long j = 0; j < rows; ++j) {
    const std::size_t k0 = static_cast<std::size_t>(j) * nxx;
    update_nodes(m, w, k0, std::min(nn, k0 + nxx));
  }
}

// The marks of the nodes outside the model that the maxima are written with.
const std::vector<std::uint8_t>& outside_marks(const Model& m, const Wmax& w) {
  return w.outside.empty() ? m.f.outside : w.outside;
}

// Writes the max-value file; 0, or the error number of what failed (the
// temporary file is then removed and an earlier file stays as it was).
int write_max_file(Model& m, Wmax& w, Channels& io, const std::string& name) {
  const std::size_t reclen = max_record_length(m.coin1.nx);
  const std::string part = part_name(name);
  if (!io.open_direct(ch::aux, part, reclen, 'w')) return errno != 0 ? errno : EIO;
  DirectFile& f = *io.direct(ch::aux);
  const std::size_t row = static_cast<std::size_t>(m.coin1.nx);
  // Cells outside the model hold the no-data value, as in the grids: a
  // reader of the file cannot tell a wall from a dry cell otherwise.
  const std::vector<std::uint8_t>& outside = outside_marks(m, w);
  const auto fill = [&](int a, int j, float* out) {
    const int k0 = m.node(2, j + 1);
    std::copy_n((w.*kArray[a]).begin() + k0, row, out);
    for (std::size_t i = 0; i < row; ++i) {
      const std::size_t k = static_cast<std::size_t>(k0) + i;
      if (k < outside.size() && outside[k] != 0) out[i] = max_no_data;
    }
  };
  const bool ok =
      write_max_value_file(f, m, m.coin.time, m.coin.end_marker, fill, threaded(m.coin1.nn));
  const int werr = f.error();
  const int cerr = io.close(ch::aux);
  const int e = werr != 0 ? werr : cerr != 0 ? cerr : ok ? 0 : EIO;
  if (e != 0) {
    std::remove(part.c_str());
    return e;
  }
  return commit(name);
}

// A value in a field of at least w characters with d decimals, widened
// where needed so that a blank always stands before it: values never run
// into each other, whatever their size.
std::string spaced(double v, int w, int d) {
  std::string s = fmt_f(v, w, d);
  for (int ww = w + 1; s.front() != ' ' && ww <= 1024; ww *= 2) {
    s = fmt_f(v, ww, d);
    if (s.front() == ' ') s.erase(0, s.find_first_not_of(' ') - 1);
  }
  return s;
}

// A corner coordinate with 2 decimals, or up to 6 when it needs them to be
// written exactly (a cell of 0.25 m has its corners on quarter metres).
std::string coordinate(double v, int w) {
  int d = 2;
  while (d < 6) {
    const double scale = std::pow(10.0, d);
    if (std::fabs(std::round(v * scale) / scale - v) <= 1.0e-6) break;
    ++d;
  }
  return spaced(v, w, d);
}

// A cell size with 4 decimals, or up to 9 when the size needs them to be
// read back as the same 32-bit value (a cell of 1/32 m).
std::string cell_size(float v, int w) {
  int d = 4;
  while (d < 9) {
    const double scale = std::pow(10.0, d);
    if (static_cast<float>(std::round(static_cast<double>(v) * scale) / scale) == v) break;
    ++d;
  }
  return spaced(v, w, d);
}

// Writes a grid under its temporary name and puts it in place; 0, or the
// error number of what failed (the temporary file is then removed).
int write_grid(Channels& io, const std::string& name, const Model& m,
               const std::vector<float>& values, const std::vector<std::uint8_t>& outside) {
  const std::string part = part_name(name);
  const int e = write_esri_grid(io, ch::aux, part, m, values, outside);
  if (e != 0) {
    std::remove(part.c_str());
    return e;
  }
  return commit(name);
}

}  // namespace

int write_esri_grid(Channels& io, int ch, const std::string& path, const Model& m,
                    const std::vector<float>& values, const std::vector<std::uint8_t>& outside) {
  if (!io.open_write(ch, path)) return errno != 0 ? errno : EIO;
  const int nx = m.coin1.nx;
  const int ny = m.coin1.ny;
  // The origin is the centre of the first cell; the grid is placed by the
  // corner of that cell.
  const double xll = m.coin.x_origin - 0.5 * static_cast<double>(m.coin.dx);
  const double yll = m.coin.y_origin - 0.5 * static_cast<double>(m.coin.dy);
  io.line(ch, "ncols" + fmt_i(nx, 8));
  io.line(ch, "nrows" + fmt_i(ny, 8));
  io.line(ch, "xllcorner" + coordinate(xll, 12));
  io.line(ch, "yllcorner" + coordinate(yll, 12));
  if (m.coin.dx == m.coin.dy) {
    io.line(ch, "cellsize" + cell_size(m.coin.dx, 13));
  } else {
    // Cells that are not square: their two sizes, as GIS readers take them.
    io.line(ch, "dx" + cell_size(m.coin.dx, 19));
    io.line(ch, "dy" + cell_size(m.coin.dy, 19));
  }
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
      line += (out || v == max_no_data || !std::isfinite(v)) ? nodata : spaced(v, 8, 3);
    }
    io.line(ch, line);
    if (io.write_error(ch) != 0) break;  // a full disk: no use going on
  }
  return io.close(ch);
}

void wmax_arm(const Model& m, Wmax& w, SolverWork& sw) {
  sw.maxima = MaximaFields{};
  sw.maxima_raised = false;
  const std::size_t nn = static_cast<std::size_t>(std::max(m.coin1.nn, 0));
  // The step's state is the one to raise the maxima from, unless a bed
  // update or the transport's flow steps change it after the sweep.
  if (!any_file(m) || m.clog.transport || m.clog.mobile_bed || m.coin1.nerod > 0 ||
      w.depth.size() < nn || m.f.h.size() < nn || m.f.zb.size() < nn) {
    return;
  }
  for (auto a : kArray) {
    if ((w.*a).size() < nn) return;
  }
  sw.maxima = MaximaFields{w.level.data(), w.depth.data(), w.flow.data(), w.velocity.data()};
}

void wmax_step(const Model& m, Wmax& w, SolverWork& sw) {
  const std::size_t nn = static_cast<std::size_t>(std::max(m.coin1.nn, 0));
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;
  const bool known = !sw.changed_all && w.depth.size() >= nn && nxx >= 3 && nyy >= 3 &&
                     sw.changed.size() >= static_cast<std::size_t>(nyy) &&
                     nn == static_cast<std::size_t>(nxx) * static_cast<std::size_t>(nyy);
  // Raised by the sweep into these arrays: only the last row, which no
  // sweep stores, is left.
  const bool swept = sw.maxima_raised && sw.maxima.depth == w.depth.data() &&
                     sw.maxima.level == w.level.data() && sw.maxima.flow == w.flow.data() &&
                     sw.maxima.velocity == w.velocity.data();
  sw.maxima = MaximaFields{};
  sw.maxima_raised = false;
  if (any_file(m)) {
    if (!known) {
      update(m, w);
    } else if (swept) {
      const std::size_t row = static_cast<std::size_t>(nxx);
      update_nodes(m, w, nn - row, nn);  // north ring row
    } else {
      const std::size_t row = static_cast<std::size_t>(nxx);
      update_nodes(m, w, 0, row);        // south ring row
      update_nodes(m, w, nn - row, nn);  // north ring row
      const bool many = threaded(m.coin1.nn);
#pragma omp parallel for schedule(static) if (many)
      for (int j = 2; j <= nyy - 1; ++j) {
        const std::size_t b = static_cast<std::size_t>(j - 1) * row;
        const Span c = sw.changed[static_cast<std::size_t>(j)];
        update_nodes(m, w, b, b + 1);  // ring columns
        const int lo = std::max(c.lo, 1), hi = std::min(c.hi, nxx - 2);
        if (lo <= hi) {
          update_nodes(m, w, b + static_cast<std::size_t>(lo),
                       b + static_cast<std::size_t>(hi) + 1);
        }
        update_nodes(m, w, b + row - 1, b + row);
      }
      // Beds lowered at erodable nodes (whatever their depth).
      const int nerod = std::min<int>(m.coin1.nerod, static_cast<int>(m.coin1.erod_node.size()));
      for (int n = 0; n < nerod; ++n) {
        const long k = m.coin1.erod_node[static_cast<std::size_t>(n)] - 1;
        if (k >= 0 && static_cast<std::size_t>(k) < nn) {
          update_nodes(m, w, static_cast<std::size_t>(k), static_cast<std::size_t>(k) + 1);
        }
      }
    }
  }
  for (Span& c : sw.changed) c = Span{};
  sw.changed_all = false;
}

int wmax_save(Model& m, Wmax& w, Channels& io) {
  const std::string name(trim_right(m.cochar.max_value_file));
  if (name.empty()) return 0;
  if (w.depth.size() < static_cast<std::size_t>(std::max(m.coin1.nn, 0))) reset(m, w);
  return write_max_file(m, w, io, name);
}

void wmax(Model& m, Wmax& w, Channels& io, Messages& msg, int mode) {
  if (mode == -1) {
    if (check_creatable(m, io) > 0) throw Stop(1, "output files cannot be created");
    reset(m, w);
    restore(m, w, io, msg);
    return;
  }
  if (mode == 0) {
    if (any_file(m)) update(m, w);
    return;
  }
  if (w.depth.size() < static_cast<std::size_t>(std::max(m.coin1.nn, 0))) reset(m, w);
  // Each file is tried; one that cannot be completed is reported and the
  // run ends with status 1 once the others are written.
  int failures = 0;
  const auto failed = [&](const char* what, const std::string& name, int e) {
    report_output_failure(io, std::string("cannot write ") + what, name, e);
    ++failures;
  };
  const std::string maxfile(trim_right(m.cochar.max_value_file));
  if (!maxfile.empty()) {
    io.line(ch::screen, " >max_values to '" + maxfile + "'");
    if (const int e = write_max_file(m, w, io, maxfile)) failed(kFiles[0].what, maxfile, e);
  }
  const std::string depthfile(trim_right(m.cochar.max_depth_file));
  if (!depthfile.empty()) {
    if (const int e = write_grid(io, depthfile, m, w.depth, outside_marks(m, w)))
      failed(kFiles[1].what, depthfile, e);
    else
      io.line(ch::screen, ">STORED MAX_DEPTH ON " + pad(depthfile, 32));
  }
  const std::string flowfile(trim_right(m.cochar.max_flow_file));
  if (!flowfile.empty()) {
    if (const int e = write_grid(io, flowfile, m, w.flow, outside_marks(m, w)))
      failed(kFiles[2].what, flowfile, e);
    else
      io.line(ch::screen, ">STORED MAX_FLOW  ON " + pad(flowfile, 32));
  }
  if (failures > 0) throw Stop(1, "output files not written");
}

}  // namespace qf
