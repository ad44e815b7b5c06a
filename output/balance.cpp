#include "output/balance.h"

#include <cmath>
#include <vector>

#include "io/textio.h"
#include "model/hydro/isa.h"
#include "model/hydro/threads.h"
#include "output/series.h"
#include "output/wres.h"

namespace qf {

namespace {

// Column names of the mass-balance file, after "time_h".
const char* const kColumns[] = {
    "volume",      "waterlevel_in", "waterlevel_out", "weir_in", "weir_out", "inflow_in",
    "inflow_out",  "slope_in",      "slope_out",      "tide_in", "tide_out", "wall_in",
    "wall_out",    "rain",          "points",         "leakage", "culvert",  "culvert_moved",
    "boundary_in", "boundary_out",  "moved",          "error",   "error_pct"};

constexpr int kTimeWidth = 14;
constexpr int kWidth = 18;

std::string value(double v) {
  return fmt_e(v, kWidth, 10);
}

std::string right(const std::string& s, int w) {
  return s.size() >= static_cast<std::size_t>(w) ? " " + s : std::string(w - s.size(), ' ') + s;
}

// The budget of this run with that of the runs it continues.
WaterBudget joined(const Balance& bal, const WaterBudget& g) {
  WaterBudget j = g;
  const WaterBudget& e = bal.earlier;
  for (int t = 0; t < 5; ++t) {
    j.in[t] += e.in[t];
    j.out[t] += e.out[t];
  }
  j.wall_in += e.wall_in;
  j.wall_out += e.wall_out;
  j.rain += e.rain;
  j.points += e.points;
  j.leakage += e.leakage;
  j.culvert += e.culvert;
  j.culvert_moved += e.culvert_moved;
  return j;
}

BalanceFigures figures(const Balance& bal, const WaterBudget& g, double volume) {
  BalanceFigures b = balance_figures(g, bal.start_volume, volume);
  if (bal.earlier_moved != 0.0) {
    b.moved += bal.earlier_moved;
    b.error_pct = b.moved > 0.0 ? 100.0 * b.error / b.moved : 0.0;
  }
  return b;
}

// Takes over the budget of an earlier run from its line at this run's
// start; false when the line does not hold every column.
bool carry_on(Balance& bal, const std::string& line) {
  constexpr std::size_t n = 1 + std::size(kColumns);
  double v[n];
  FreeReader fr(line);
  for (double& x : v) {
    if (fr.read(x) != ReadStatus::ok || !std::isfinite(x)) return false;
  }
  WaterBudget& e = bal.earlier;
  e = WaterBudget{};
  for (int t = 0; t < 5; ++t) {
    e.in[t] = v[2 + 2 * t];
    e.out[t] = v[3 + 2 * t];
  }
  e.wall_in = v[12];
  e.wall_out = v[13];
  e.rain = v[14];
  e.points = v[15];
  e.leakage = v[16];
  e.culvert = v[17];
  e.culvert_moved = v[18];
  const double in = v[19], out = v[20], moved = v[21], error = v[22];
  bal.earlier_moved = moved - in - out - e.culvert_moved;
  bal.start_volume = v[1] - (in - out + e.rain + e.points + e.leakage + e.culvert) - error;
  return true;
}

}  // namespace

void balance_failure(Balance& bal, Channels& io, int e) {
  if (bal.file) io.close(balance_channel);
  bal.file = false;
  if (bal.error != 0) return;
  bal.error = e;
  report_output_failure(io, "cannot write mass-balance file", bal.path, e);
}

BalanceFigures balance_figures(const WaterBudget& g, double start_volume, double volume) {
  BalanceFigures b;
  b.volume = volume;
  for (int t = 0; t < 5; ++t) {
    b.boundary_in += g.in[t];
    b.boundary_out += g.out[t];
  }
  b.boundary_in += g.wall_in;
  b.boundary_out += g.wall_out;
  b.net_in = b.boundary_in - b.boundary_out + g.rain + g.points + g.leakage + g.culvert;
  b.moved = b.boundary_in + b.boundary_out + g.rain_moved + g.points_moved + g.leakage_moved +
            g.culvert_moved;
  b.error = volume - start_volume - b.net_in;
  b.error_pct = b.moved > 0.0 ? 100.0 * b.error / b.moved : 0.0;
  return b;
}

std::string balance_header() {
  std::string s = right("time_h", kTimeWidth);
  for (const char* c : kColumns) s += right(c, kWidth);
  return s;
}

void balance_start(const Model& m, Balance& bal, const WaterBudget& g, Channels& io, bool go_on) {
  bal = Balance{};
  bal.active = true;
  bal.start_volume = grid_volume(m);
  bal.path = std::string(trim_right(m.cochar.result_file)) + ".mass";
  SeriesStart st = open_series(io, balance_channel, bal.path, balance_header(), m.coin.time, go_on);
  std::string anew;
  if (st.error == 0 && st.kept && !carry_on(bal, st.at_start)) {
    bal.earlier = WaterBudget{};
    bal.earlier_moved = 0.0;
    bal.start_volume = grid_volume(m);
    st = open_series(io, balance_channel, bal.path, balance_header(), m.coin.time, false);
    anew = "has no line at t=" + bare(fmt_f(m.coin.time, 14, 6)) + " h";
  } else if (st.foreign) {
    anew = "has other columns";
  }
  if (st.error != 0) {
    balance_failure(bal, io, st.error);
    return;
  }
  bal.file = true;
  if (!anew.empty()) {
    const std::string note =
        " >mass-balance file '" + bal.path + "' " + anew + ": the balance starts anew";
    io.line(Channels::screen, note);
    io.line(ch::listing, note);
  }
  balance_line(m, bal, g, io);
}

void balance_line(const Model& m, Balance& bal, const WaterBudget& gr, Channels& io) {
  if (!bal.file) return;
  if (const int e = series_line(io, balance_channel, balance_text(m, bal, gr)))
    balance_failure(bal, io, e);
}

std::string balance_text(const Model& m, const Balance& bal, const WaterBudget& gr) {
  return balance_text(m, bal, gr, grid_volume(m));
}

std::string balance_text(const Model& m, const Balance& bal, const WaterBudget& gr, double volume) {
  const WaterBudget g = joined(bal, gr);
  const BalanceFigures b = figures(bal, g, volume);
  std::string s = fmt_f(m.coin.time, kTimeWidth, 6);
  s += value(b.volume);
  for (int t = 0; t < 5; ++t) s += value(g.in[t]) + value(g.out[t]);
  s += value(g.wall_in) + value(g.wall_out);
  s += value(g.rain) + value(g.points) + value(g.leakage) + value(g.culvert) +
       value(g.culvert_moved);
  s += value(b.boundary_in) + value(b.boundary_out) + value(b.moved);
  s += value(b.error) + value(b.error_pct);
  return s;
}

void balance_close(Balance& bal, Channels& io) {
  if (!bal.file) return;
  bal.file = false;
  if (const int e = io.close(balance_channel)) balance_failure(bal, io, e);
}

void balance_summary(const Model& m, const Balance& bal, const WaterBudget& gr,
                     const bool (&types)[5], long steps, double wall_seconds, Channels& io,
                     int listing) {
  const WaterBudget g = joined(bal, gr);
  const BalanceFigures b = figures(bal, g, grid_volume(m));
  std::vector<std::string> lines;
  // Threads the time step used (a small grid runs on one) and the
  // instruction set of its sweep.
  const int threads = threaded(m.coin1.nn) ? step_threads() : 1;
  lines.push_back(" >water balance [m3] after " + bare(fmt_i(steps, 12)) + " steps, wall time " +
                  bare(fmt_f(wall_seconds, 14, 1)) + " s on " + bare(fmt_i(threads, 6)) +
                  (threads == 1 ? " thread, " : " threads, ") + isa_name(sweep_isa()) + ":");
  auto row = [&](const std::string& label, double v) {
    lines.push_back("    " + pad(label, 28) + value(v));
  };
  row("water on the grid at start", bal.start_volume);
  row("water on the grid at end", b.volume);
  static const char* const names[5] = {"waterlevel", "weir", "inflow", "slope", "tide"};
  for (int t = 0; t < 5; ++t) {
    if (!types[t] && g.in[t] == 0.0 && g.out[t] == 0.0) continue;
    row(std::string("in over ") + names[t], g.in[t]);
    row(std::string("out over ") + names[t], g.out[t]);
  }
  if (g.wall_in != 0.0 || g.wall_out != 0.0) {
    row("in over walls", g.wall_in);
    row("out over walls", g.wall_out);
  }
  if (g.rain_moved != 0.0) row("rain", g.rain);
  if (g.points_moved != 0.0) row("point sources", g.points);
  if (g.leakage_moved != 0.0) row("leakage", g.leakage);
  if (g.culvert_moved != 0.0) {
    row("culverts (net)", g.culvert);
    row("through culverts", g.culvert_moved);
  }
  row("volume moved", b.moved);
  row("error", b.error);
  lines.push_back("    " + pad("error in % of volume moved", 28) + value(b.error_pct));
  for (const std::string& l : lines) {
    io.line(Channels::screen, l);
    io.line(listing, l);
  }
}

}  // namespace qf
