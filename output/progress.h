// The progress line of a quiet run on a terminal: one line on standard
// error, redrawn at most twice a second, with the model time and the end
// time, the share done, steps per second, the time step, the wet share and
// the estimated time left; cleared at the end of the run.
#pragma once

#include <chrono>
#include <iosfwd>
#include <string>

#include "model/state.h"

namespace qf {

struct ProgressLine {
  bool active = false;  // quiet run, standard error a terminal
  bool shown = false;   // a line stands on the terminal
  using Clock = std::chrono::steady_clock;
  Clock::time_point start{}, last{};
  int first_step = 0, last_step = 0;
  float first_time = 0;
};

// Share of the cells inside the model (not the boundary ring, not the
// no-data cells outside) that are wet.
double wet_share(const Model& m);

// What the line shows at one moment.
struct ProgressFigures {
  float time = 0, time_end = 0;  // [h]
  double done = -1;              // share done 0..1; negative: unknown
  double steps_per_second = 0;
  float dt = 0;      // [s]
  double wet = 0;    // wet share 0..1
  double left = -1;  // seconds left; negative: unknown
};
std::string progress_text(const ProgressFigures& f);

// Starts the line for a run from `step`; nothing is shown unless `terminal`.
void progress_start(const Model& m, ProgressLine& p, bool terminal, int step);
// After a step: redraws the line at the first step and then when half a
// second has passed since the last drawing.
void progress_step(const Model& m, ProgressLine& p, std::ostream& err, int step);
// Clears the line (before other screen output, and at the end).
void progress_clear(ProgressLine& p, std::ostream& err);

}  // namespace qf
