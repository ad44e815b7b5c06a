#include "output/gauges.h"

#include <cerrno>

#include "io/textio.h"
#include "model/resultfile.h"
#include "output/series.h"
#include "output/wres.h"

namespace qf {

namespace {

// One CSV field: quoted when it holds a comma, a quote or a blank at an end.
std::string csv(const std::string& s) {
  const bool quote = s.find_first_of(",\"\n") != std::string::npos ||
                     (!s.empty() && (s.front() == ' ' || s.back() == ' '));
  if (!quote) return s;
  std::string q = "\"";
  for (char ch : s) {
    if (ch == '"') q += '"';
    q += ch;
  }
  return q + '"';
}

// Reports a failed write or close and gives the file up.
void gauge_failure(GaugeFile& gf, Channels& io, int e) {
  if (gf.open) io.close(gauge_channel);
  gf.open = false;
  if (gf.error != 0) return;
  gf.error = e;
  report_output_failure(io, "cannot write gauge file", gf.path, e);
}

}  // namespace

std::string gauge_header(const Model& m) {
  std::string s = "time_h";
  for (const Gauge& g : m.coin1.gauges) {
    s += "," + csv(g.name + " depth_m");
    s += "," + csv(g.name + " level_m");
    s += "," + csv(g.name + " speed_m/s");
  }
  return s;
}

void gauge_values(const Model& m, const Gauge& g, std::vector<float>& row, float out[3]) {
  row.resize(static_cast<std::size_t>(m.coin1.nx));
  const int codes[3] = {1, 2, 3};
  for (int c = 0; c < 3; ++c) {
    item_row(m, codes[c], g.j, row.data());
    out[c] = row[static_cast<std::size_t>(g.i - 1)];
  }
}

void gauges_start(const Model& m, GaugeFile& gf, Channels& io, bool go_on) {
  gauges_close(gf, io);
  gf.error = 0;
  if (m.coin1.gauges.empty()) return;
  gf.path = std::string(trim_right(m.cochar.result_file)) + ".gauges.csv";
  const SeriesStart st =
      open_series(io, gauge_channel, gf.path, gauge_header(m), m.coin.time, go_on);
  if (st.error != 0) {
    gauge_failure(gf, io, st.error);
    return;
  }
  gf.open = true;
  if (st.foreign) {
    const std::string note =
        " >gauge file '" + gf.path + "' was written for other gauges: its series start anew";
    io.line(ch::screen, note);
    io.line(ch::listing, note);
  }
  gauges_line(m, gf, io);
}

void gauges_line(const Model& m, GaugeFile& gf, Channels& io) {
  if (!gf.open) return;
  std::string s = bare(fmt_f(m.coin.time, 16, 6));
  float v[3];
  for (const Gauge& g : m.coin1.gauges) {
    if (g.k == 0) {
      s += ",,,";
      continue;
    }
    gauge_values(m, g, gf.row, v);
    for (float x : v) s += "," + bare(fmt_f(x, 16, 4));
  }
  if (const int e = series_line(io, gauge_channel, s)) gauge_failure(gf, io, e);
}

void gauges_close(GaugeFile& gf, Channels& io) {
  if (!gf.open) return;
  gf.open = false;
  if (const int e = io.close(gauge_channel)) gauge_failure(gf, io, e);
}

}  // namespace qf
