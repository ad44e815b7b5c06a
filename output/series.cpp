#include "output/series.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "io/textio.h"

namespace qf {

namespace {

// The time at the start of a series line, as written (6 decimals).
bool line_time(const std::string& line, double& t) {
  FreeReader fr(line);
  return fr.read(t) == ReadStatus::ok;
}

}  // namespace

SeriesStart open_series(Channels& io, int ch, const std::string& path, const std::string& header,
                        float start, bool go_on) {
  SeriesStart st;
  std::vector<std::string> kept;
  if (go_on && file_exists(path) && io.open_read(ch, path)) {
    std::string line;
    bool ours = io.read_line(ch, line) == 0 && line == header;
    // The lines hold the time with 6 decimals: compare with the start time
    // as it would be written.
    double t0 = 0;
    line_time(fmt_f(start, 20, 6), t0);
    while (ours && io.read_line(ch, line) == 0) {
      double t = 0;
      if (!line_time(line, t)) break;  // a line cut short by a killed run ends the series
      if (t < t0 - 0.5e-6) {
        kept.push_back(line);
      } else {
        if (st.at_start.empty() && t <= t0 + 0.5e-6) st.at_start = line;
        break;
      }
    }
    io.close(ch);
    st.kept = ours;
    st.foreign = !ours;
  }
  const std::string part = path + ".part";
  const std::string& target = st.kept ? part : path;
  errno = 0;
  if (!io.open_write(ch, target)) {
    st.error = errno != 0 ? errno : EIO;
    st.kept = false;
    return st;
  }
  io.line(ch, header);
  for (const std::string& l : kept) io.line(ch, l);
  io.flush(ch);
  st.error = io.write_error(ch);
  if (st.error == 0 && st.kept && std::rename(part.c_str(), path.c_str()) != 0)
    st.error = errno != 0 ? errno : EIO;
  if (st.error != 0) {
    io.close(ch);
    if (st.kept) std::remove(part.c_str());
    st.kept = false;
    return st;
  }
  st.lines = static_cast<long>(kept.size());
  return st;
}

int series_line(Channels& io, int ch, const std::string& line) {
  io.line(ch, line);
  io.flush(ch);
  return io.write_error(ch);
}

}  // namespace qf
