// The progress display of a run: a small window with the panel of step,
// time, outputs, wetted share and water balance, a progress bar and the
// buttons Save (state for a warm start), Reset, Show, ?? and eXit; or the
// full plot window showing one field of the model with the panel and the
// buttons of the six fields, Halt and Close.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/graphics.h"
#include "model/state.h"
#include "viewer/viewer.h"

namespace qf {

// Buttons of the run's plot window (the fields, Halt and Close) and of the
// small progress window; no two buttons share a key.
inline constexpr std::string_view kPlotWindowMenu[9] = {
    " DDepth",   " FFlow", " VVelocity", " WWaterlevel", " BBedlevel",
    " AVectors", " ",      " HHalt",     " CClose"};
inline constexpr std::string_view kProgressMenu[5] = {" SSave", " RReset", " PShow", " ??",
                                                      " XeXit"};

struct ProgressState {
  int field = 1;       // plotted field, 1..6
  int last_field = 0;  // field of the last plot
  bool plot_window = false;
  int plots = 0;
  std::vector<float> levels = std::vector<float>(kLevelRoom, 0.0f);  // contour levels of the viewer
  int plot_index = -1;
  std::vector<float> xs, ys, fs;  // node coordinates and the plotted field
  std::string texts;              // plot text handed to the viewer
  // Wall clock at the end of the last drawing [s] and what it took: the
  // next one follows no sooner than min_interval seconds, nor sooner than
  // nine times its cost, so that watching takes at most a tenth of the run
  // however large the grid.
  double last_draw = -1e9;
  double draw_cost = 0;
  double min_interval = 0.25;
  int listing = 9;    // channel of the run's listing (messages of the viewer)
  bool lost = false;  // the X connection broke (said once, the run asked to stop)
  bool left = false;  // eXit (or a close of the window) ended the run
};

// What the run does for the buttons: save the state for a warm start
// (result record and marker), withdraw the marker (false when the marker
// could not be written), show the help page.
struct ProgressActions {
  std::function<bool()> save;
  std::function<bool()> reset;
  std::function<void()> help;
  std::function<double()> clock;  // wall clock [s]
  std::function<void()> lost;
};

// Called before the first step (step 0) and after every step. Draws every
// nplot steps; expected is the number of result records the run will write
// (one more after a Save). eXit sets the end time below the model time; so
// does a close of the small window by the window manager, and a close of the
// plot window acts as its Close. A broken X connection is said on the screen
// and in the listing, and act.lost asks the run to stop.
void wprog(Graphics& g, Viewer& v, ProgressState& p, Model& m, int step, int nplot, int& expected,
           std::string_view version, const ProgressActions& act);

// After the run: the window shows the final state (plot and panel) with
// the line "run ended: a key or a click closes the window" and stays until
// a key, a click or a close of the window, then closes.
void wprog_end(Graphics& g, Viewer& v, ProgressState& p, Model& m, int step, int expected);

// The value line of step and time: hours form above one hour, else with
// seconds.
std::string progress_time_line(int step, float time, float dt);
// The line under "Stored...  Wetted...  CFL-Cell.": results stored of
// expected, the wetted share in per cent, the cell that limits the step.
// Counts of any size are written whole; the line only grows when they need
// more than the panel's columns.
std::string progress_stored_line(int stored, int expected, long long wet_percent, int cfl_i,
                                 int cfl_j);

// The values of plot field 1..5 at every node (values holds one per node):
// depth, unit discharge, velocity, water level (-99999.0 where dry), bed.
void progress_values(const Model& m, int field, std::vector<float>& values);

}  // namespace qf
