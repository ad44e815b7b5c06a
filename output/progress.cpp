#include "output/progress.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "io/textio.h"

namespace qf {

namespace {

constexpr auto kInterval = std::chrono::milliseconds(500);

// Clears from the cursor to the end of the line.
constexpr const char* kClear = "\033[K";

// Seconds as h:mm:ss (days and more as hours).
std::string clock_text(double s) {
  const long long t = static_cast<long long>(std::llround(std::min(s, 3.6e8)));
  const long long h = t / 3600, mi = t / 60 % 60, se = t % 60;
  return bare(fmt_i(h, 12)) + ":" + (mi < 10 ? "0" : "") + bare(fmt_i(mi, 2)) + ":" +
         (se < 10 ? "0" : "") + bare(fmt_i(se, 2));
}

}  // namespace

double wet_share(const Model& m) {
  const Coin1& c1 = m.coin1;
  const FlowValues& f = m.f;
  long cells = 0, wet = 0;
  for (int j = 2; j <= c1.nyy - 1; ++j) {
    for (int i = 2; i <= c1.nxx - 1; ++i) {
      const std::size_t e = static_cast<std::size_t>(m.node(i, j));
      if (e >= f.ldry.size() || (e < f.outside.size() && f.outside[e] != 0)) continue;
      ++cells;
      if (f.ldry[e] == 0) ++wet;
    }
  }
  return cells > 0 ? static_cast<double>(wet) / static_cast<double>(cells) : 0.0;
}

std::string progress_text(const ProgressFigures& f) {
  const bool end_known = f.time_end < 9.0e10f;
  std::string s = " t" + fmt_f(f.time, 10, 3);
  s += end_known ? "/" + bare(fmt_f(f.time_end, 10, 3)) + " h" : " h";
  s += f.done >= 0 ? fmt_f(100.0 * std::min(f.done, 1.0), 7, 1) + "%" : std::string("      -%");
  s += fmt_f(f.steps_per_second, 9, 1) + " steps/s";
  s += "  dt" + fmt_f(f.dt, 8, 3) + " s";
  s += "  wet" + fmt_f(100.0 * f.wet, 6, 1) + "%";
  s += "  left " + (f.left >= 0 ? clock_text(f.left) : std::string("-"));
  return s;
}

void progress_start(const Model& m, ProgressLine& p, bool terminal, int step) {
  p = ProgressLine{};
  p.active = terminal && m.clog.quiet;
  p.start = p.last = ProgressLine::Clock::now();
  p.first_step = p.last_step = step;
  p.first_time = m.coin.time;
}

void progress_step(const Model& m, ProgressLine& p, std::ostream& err, int step) {
  if (!p.active) return;
  const auto now = ProgressLine::Clock::now();
  if (step != p.first_step + 1 && now - p.last < kInterval) return;
  const double since_last = std::chrono::duration<double>(now - p.last).count();
  const double since_start = std::chrono::duration<double>(now - p.start).count();
  ProgressFigures f;
  const Coin& c = m.coin;
  f.time = c.time;
  f.time_end = c.time_end;
  f.dt = c.dt;
  f.wet = wet_share(m);
  f.steps_per_second = since_last > 0 ? (step - p.last_step) / since_last : 0.0;
  // The share done: by model time when the run has an end time, else by
  // steps when it has a step limit.
  if (c.time_end < 9.0e10f && c.time_end > p.first_time) {
    f.done = (static_cast<double>(c.time) - p.first_time) / (c.time_end - p.first_time);
  } else if (c.max_steps > p.first_step) {
    f.done = static_cast<double>(step - p.first_step) / (c.max_steps - p.first_step);
  }
  if (f.done > 0) f.left = since_start * (1.0 - std::min(f.done, 1.0)) / f.done;
  err << '\r' << progress_text(f) << kClear;
  err.flush();
  p.shown = true;
  p.last = now;
  p.last_step = step;
}

void progress_clear(ProgressLine& p, std::ostream& err) {
  if (!p.shown) return;
  err << '\r' << kClear;
  err.flush();
  p.shown = false;
}

}  // namespace qf
