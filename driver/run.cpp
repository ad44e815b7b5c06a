#include "driver/run.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <iostream>

#include "cmdlang/stop.h"
#include "cmdlang/textio.h"
#include "driver/browse.h"
#include "driver/help.h"
#include "model/hydro/boundary.h"
#include "model/hydro/threads.h"
#include "model/incon.h"
#include "model/init.h"
#include "model/resultfile.h"

namespace qf {

namespace {

// The signal that asked the run to stop, 0 while none did.
volatile std::sig_atomic_t stop_signal = 0;

extern "C" void on_stop_signal(int sig) {
  if (stop_signal != 0) {
    // A second signal ends the process at once, as if it had no handler.
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    return;
  }
  stop_signal = sig;
}

// SIGINT and SIGTERM let the run finish its step and write its results.
// A signal the process was started to ignore stays ignored.
void catch_stop_signals() {
  for (const int sig : {SIGINT, SIGTERM}) {
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction act {};
    act.sa_handler = on_stop_signal;
    sigemptyset(&act.sa_mask);
    act.sa_flags = SA_RESTART;  // a write under way is not cut short
    sigaction(sig, &act, nullptr);
  }
}

std::string signal_name(int sig) {
  if (sig == SIGINT) return "SIGINT";
  if (sig == SIGTERM) return "SIGTERM";
  return "signal " + std::to_string(sig);
}

// A number field without its leading blanks.
std::string bare(const std::string& field) {
  const std::size_t p = field.find_first_not_of(' ');
  return p == std::string::npos ? field : field.substr(p);
}

void banner(Channels& io) {
  const std::string dashes = " " + std::string(28, '-');
  io.line(ch::screen, dashes);
  io.line(ch::screen, std::string("|  ") + version_string + " 03-2016   |");
  io.line(ch::screen, dashes);
}

// Switches, the command-file name and the result-file name.
void command_line(Session& s, const std::vector<std::string>& args) {
  if (!args.empty()) s.opt.collect(args, '@');
  for (const auto& full : args) {
    const std::string a = std::string(trim_right(full.substr(0, 32)));
    if (!a.empty() && a[0] == '-') {
      for (std::size_t i = 1; i < a.size(); ++i) {
        if (a[i] == 'h') help(0, s.io);
        if (a[i] == 'q') s.model.clog.quiet = true;
      }
    } else if (!a.empty() && a[0] == '@') {
      // Run options; collected above, never a file name.
    } else if (s.command_file.empty()) {
      // The command file is taken by its whole path: cut, it would name
      // another file or none.
      s.command_file = std::string(trim_right(full));
      const std::string note = " >input from file '" + s.command_file + "'";
      s.io.line(ch::screen, note);
      s.io.line(ch::listing, note);
    } else if (s.model.cochar.result_file == "dares") {
      s.model.cochar.result_file = a;
      if (trim_right(full).size() > a.size())
        s.msg.iierr(
            2,
            "result file name '" + std::string(trim_right(full)) + "' is longer than 32 characters",
            ch::listing);
    }
  }
  if (s.command_file.empty()) s.command_file = "dain";
}

void initialise(Session& s) {
  init(s.model, s.io, s.msg, [&s](Model& m) { bound(m, s.hydro.boundary, s.io, s.msg); });
}

// Input, initialisation and the summary of the input.
void read_input(Session& s) {
  inrea(s.model, s.io, s.msg, s.rd, s.input);
  if (s.model.coin1.nn <= 0) {
    s.msg.iierr(2, "no grid given (section >>grid)", ch::listing);
  } else {
    prepare(s.model, s.hydro);
    if (s.model.clog.transport) prepare_transport(s.model, s.transport);
    if (s.model.clog.mobile_bed) prepare_bed(s.model, s.bed);
  }
  if (s.model.coin1.nn > 0) initialise(s);
  s.msg.iierr(0, " ", ch::listing);
}

// Resumes from the warm-start marker when it names a result file.
void warm_start(Session& s) {
  s.step = 0;
  int step = 0;
  float time = 0;
  std::string file;
  if (!read_warm_marker(s.io, ch::aux, step, time, file, warm_marker_name, &s.msg)) return;
  Model& m = s.model;
  m.coin.time_initial = time;
  m.cochar.initial_file = file;
  int flag = -1;
  incon(m, s.io, s.msg, flag);
  if (flag == -1) {
    s.step = 0;
    return;
  }
  s.step = step;
  initialise(s);
  m.clog.warm_started = true;
}

// The projection file beside a file the run has written (none when the run
// has no projection, or for an ESRI grid when only an EPSG code is known).
void projection_beside(Session& s, const std::string& name, bool esri_grid) {
  const Projection& p = s.projection;
  if (name.empty() || p.text.empty() || (esri_grid && !p.wkt) || !file_exists(name)) return;
  const std::string prj = esri_grid ? grid_prj_path(name) : file_prj_path(name);
  if (const int e = write_prj(prj, p.text)) report_output_failure(s.io, "cannot write", prj, e);
}

// The maxima and their grids with their projection files.
void write_maxima(Session& s) {
  Model& m = s.model;
  wmax(m, s.maxima, s.io, s.msg, 1);
  projection_beside(s, std::string(trim_right(m.cochar.max_value_file)), false);
  projection_beside(s, std::string(trim_right(m.cochar.max_depth_file)), true);
  projection_beside(s, std::string(trim_right(m.cochar.max_flow_file)), true);
}

// Stops a run whose state is no longer a number, or holds a depth or speed
// no sound flow can reach, after writing the last records so that the
// results up to here stay usable. `last`: the state after the last step,
// which no time step has looked at yet.
void check_finite(Session& s, bool last = false) {
  Model& m = s.model;
  int i = 0, j = 0;
  float depth = 0.0f, speed = 0.0f;
  std::string what;
  if (!flow_finite(m)) {
    if (!find_nonfinite(m, i, j)) return;
    what = ": depth or discharge is not a number";
  } else if (last || !flow_bounded(m, s.hydro)) {
    if (!find_unbounded(m, s.hydro, i, j, depth, speed)) return;
    const FlowLimits lim = flow_limits(m, s.hydro);
    auto num = [](float v) {
      const std::string t(trim_right(fmt_g(v, 12, 4)));
      return t.substr(std::min(t.find_first_not_of(' '), t.size()));
    };
    what = ": depth " + num(depth) + " m, speed " + num(speed) +
           " m/s beyond what the flow can reach (" + num(lim.depth) + " m, " + num(lim.speed) +
           " m/s)";
  } else {
    return;
  }
  const std::string where =
      "unstable flow at t=" + std::string(trim_right(fmt_f(m.coin.time, 12, 4))) + " h, step " +
      std::to_string(s.step) + ", cell column " + std::to_string(i) + " row " + std::to_string(j);
  s.io.line(ch::screen, " >" + where);
  s.io.line(ch::listing);
  s.io.line(ch::listing, " >" + where + what);
  progress_clear(s.progress_line, s.io.err());
  wres(m, s.results, s.io, s.step);
  wres1();
  wres2();
  gauges_line(m, s.gauges, s.io);
  gauges_close(s.gauges, s.io);
  write_maxima(s);
  throw Stop(exit_unstable, where);
}

// One pass of the loop: a flow step (and the bed update), or in a transport
// run the transport step on the flow computed once at the first pass. False
// when the transport finds no wet area: the run then ends with its records.
bool advance(Session& s) {
  Model& m = s.model;
  if (m.clog.transport) {
    if (s.step == 1) {
      const float before = m.coin.time;
      flow(m, s.hydro, s.io, s.msg);
      check_finite(s);
      tmod(m);
      m.coin.time = before;
    }
    try {
      mix(m, s.transport, s.hydro.boundary, s.io, s.msg);
    } catch (const Stop& stop) {
      if (stop.status() != 0) throw;
      s.io.line(ch::screen);
      return false;
    }
    return true;
  }
  flow(m, s.hydro, s.io, s.msg);
  check_finite(s);
  if (m.clog.mobile_bed) mbed(m, s.bed);
  return true;
}

// The water balance of a flow run: the file beside the result file from the
// start state on, and the budget of every step.
void start_balance(Session& s) {
  s.hydro.boundary.budget = WaterBudget{};
  s.balance = Balance{};
  if (s.model.clog.transport) return;
  balance_start(s.model, s.balance, s.hydro.boundary.budget, s.io);
}

void end_balance(Session& s, long steps, bool last_line) {
  if (!s.balance.active) return;
  if (last_line) balance_line(s.model, s.balance, s.hydro.boundary.budget, s.io);
  balance_close(s.balance, s.io);
  bool types[5] = {false, false, false, false, false};
  for (const BoundaryBlock& blk : s.hydro.boundary.blocks) {
    if (blk.type >= 1 && blk.type <= 5) types[blk.type - 1] = true;
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - s.started).count();
  balance_summary(s.model, s.balance, s.hydro.boundary.budget, types, steps, wall, s.io,
                  ch::listing);
}

double wall_seconds(const Session& s) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - s.started).count();
}

// The progress window after step `step` (0: before the first step).
void show_progress(Session& s, int step) {
  Model& m = s.model;
  if (m.clog.quiet) return;
  s.shown_step = step;
  ProgressActions& act = s.progress_actions;
  if (!act.save) {
    // Made once: the run loop calls this after every step.
    act.save = [&s]() {
      wres(s.model, s.results, s.io, s.shown_step);
      return write_warm_marker(s.io, ch::aux, s.shown_step, s.model.coin.time,
                               s.model.cochar.result_file);
    };
    act.reset = [&s]() { return withdraw_warm_marker(s.io, ch::aux); };
    act.help = [&s]() { help_page(s.graphics, ch::listing, version_string); };
    act.clock = [&s]() { return wall_seconds(s); };
  }
  if (step == 0) {
    s.graphics.io = &s.io;
    s.progress.listing = ch::listing;
    try {
      wprog(s.graphics, s.viewer, s.progress, m, step, s.stride, s.expected, version_string, act);
    } catch (const Stop&) {
      const char* note = " >no window can be opened (is DISPLAY set?): run with -q for no window";
      s.io.line(ch::screen, note);
      s.io.line(ch::listing, note);
      throw;
    }
    return;
  }
  wprog(s.graphics, s.viewer, s.progress, m, step, s.stride, s.expected, version_string, act);
}

// Runs the loop; returns the signal that stopped it, or 0.
int time_loop(Session& s) {
  Model& m = s.model;
  Coin& c = m.coin;
  wres(m, s.results, s.io, s.step);
  wres1();
  wres2();
  wmax(m, s.maxima, s.io, s.msg, -1);
  start_balance(s);
  s.projection = run_projection(m);
  if (!s.projection.text.empty())
    s.io.line(ch::listing, " >projection from '" + s.projection.from + "'");
  projection_beside(s, std::string(trim_right(m.cochar.result_file)), false);
  gauges_start(m, s.gauges, s.io);

  s.next_result = c.time + c.result_interval;
  const double quot = 1000.0 / std::sqrt(static_cast<double>(m.coin1.nn));
  s.stride = std::isfinite(quot) ? std::max(1, static_cast<int>(quot)) : 1;
  s.expected = static_cast<int>((c.time_end - c.time) / c.result_interval) + m.coin1.result_count;
  s.next_series = c.time - c.dt_out;

  // A forgotten or misspelt end would look like a hang.
  if (c.time_end >= 9.0e10f && c.max_steps < 0 && !m.clog.steady) {
    const char* note =
        " >no end time and no step limit: the run goes on until it is stopped (Ctrl-C)";
    s.io.line(ch::screen, note);
    s.io.line(ch::listing, note);
  }

  // From here on a signal lets the run end with its results; before, there
  // are none to save and it ends the program at once.
  if (s.catch_signals) catch_stop_signals();
  show_progress(s, 0);
  const int first_step = s.step;
  int balance_step = s.step;  // step of the last line of the balance file
  int stopped = 0;
  progress_start(m, s.progress_line, s.terminal, s.step);
  for (;;) {
    ++s.step;
    if (!advance(s)) break;
    close_budget(m, s.hydro.boundary);
    wmax_step(m, s.maxima, s.hydro.solver);
    if (!(c.time < s.next_result)) {
      // The step line of the result goes where the progress line stood.
      progress_clear(s.progress_line, s.io.err());
      wres(m, s.results, s.io, s.step);
      s.io.flush(ch::screen);
      s.next_result += c.result_interval;
      m.coin1.result_count += 1;
      if (s.balance.active) {
        balance_line(m, s.balance, s.hydro.boundary.budget, s.io);
        balance_step = s.step;
      }
    }
    if (!(c.time < s.next_series)) {
      s.next_series += c.dt_out;
      m.clog.series_due = true;
      gauges_line(m, s.gauges, s.io);
    } else {
      m.clog.series_due = false;
    }
    show_progress(s, s.step);
    progress_step(m, s.progress_line, s.io.err(), s.step);
    if (m.clog.steady && c.change_rate < 0.001f) break;
    if (c.time >= c.time_end) break;
    if (c.max_steps >= 0 && s.step >= c.max_steps) break;
    if (stop_signal != 0) {
      stopped = stop_signal;
      break;
    }
  }
  if (!m.clog.transport) check_finite(s, true);

  progress_clear(s.progress_line, s.io.err());
  wres(m, s.results, s.io, s.step);
  wres1();
  wres2();
  // The last state, unless its line is written already.
  if (!m.clog.series_due) gauges_line(m, s.gauges, s.io);
  gauges_close(s.gauges, s.io);
  write_maxima(s);
  if (stopped != 0) {
    const std::string note = " >stopped by " + signal_name(stopped) + " after step " +
                             std::to_string(s.step) + " at t=" + bare(fmt_f(c.time, 14, 4)) +
                             " h: last state, maxima and grids written";
    s.io.line(ch::screen, note);
    s.io.line(ch::listing);
    s.io.line(ch::listing, note);
  }
  // The last state, unless its line is written already.
  end_balance(s, s.step - first_step, s.step != balance_step);
  return stopped;
}

}  // namespace

// "-v FILE": the file in the viewer instead of a run. Empty when not asked.
std::string browse_request(const std::vector<std::string>& args, bool& asked) {
  asked = false;
  std::string file;
  for (const auto& a : args) {
    if (a.size() > 1 && a[0] == '-') {
      if (a.find('v') != std::string::npos) asked = true;
    } else if (!a.empty() && a[0] != '@' && file.empty()) {
      file = a;
    }
  }
  return file;
}

int run(Session& s, const std::vector<std::string>& args) {
  s.started = std::chrono::steady_clock::now();
  try {
    banner(s.io);
    bool view = false;
    const std::string viewed = browse_request(args, view);
    if (view) {
      if (viewed.empty()) {
        s.io.line(ch::screen, " >-v needs a result file or a grid to show");
        return exit_input;
      }
      return browse(s, viewed);
    }
    if (!s.io.open_write(ch::listing, "out")) {
      s.io.line(ch::screen, " >cannot write the output listing 'out'");
      return exit_input;
    }
    command_line(s, args);
    int mode = 0;
    const std::string given = s.command_file;
    s.msg.iiopn(ch::command, s.command_file, mode);
    // After the help text a missing command file is no surprise.
    const bool help_asked = std::any_of(args.begin(), args.end(), [](const std::string& a) {
      return a.size() > 1 && a[0] == '-' && a.find('h') != std::string::npos;
    });
    if (!s.io.is_open(ch::command)) {
      if (!help_asked)
        s.msg.iierr(2, "command file '" + given + "' not found (or not a file)", ch::listing);
      s.io.line(ch::screen, " >no command file, run abandoned");
      s.io.close_all();
      return exit_input;
    }
    read_input(s);
    warm_start(s);
    pin_threads();
    const int stopped = time_loop(s);
    s.msg.iiout(1, " ", ch::listing);
    s.io.close_all();
    if (stopped != 0) {
      s.io.line(ch::screen, " >hvx stopped");
      return 128 + stopped;
    }
    s.io.line(ch::screen, " >hvx terminated");
    return exit_complete;
  } catch (const Stop& stop) {
    s.msg.iiout(1, " ", ch::listing);
    s.io.close_all();
    return stop.status();
  }
}

void request_stop(int signal_number) {
  stop_signal = signal_number;
}

int stop_requested() {
  return stop_signal;
}

int run_main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  Session s(std::cin, std::cout, std::cerr);
  s.catch_signals = true;
  s.terminal = isatty(STDERR_FILENO) != 0;
  return run(s, args);
}

}  // namespace qf
