#include "driver/run.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <iostream>

#include "driver/browse.h"
#include "driver/help.h"
#include "graphics/x11/grx.h"
#include "io/stop.h"
#include "io/textio.h"
#include "model/hydro/boundary.h"
#include "model/hydro/threads.h"
#include "model/incon.h"
#include "model/init.h"
#include "model/memory.h"
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
  if (sig == SIGHUP) return "the lost X connection";
  return "signal " + std::to_string(sig);
}

const char* const no_window_note =
    " >no window can be opened (is DISPLAY set?): run with -q for no window";

// A switch letter among the dash groups of the command line.
bool switch_given(const std::vector<std::string>& args, char letter) {
  return std::any_of(args.begin(), args.end(), [letter](const std::string& a) {
    return a.size() > 1 && a[0] == '-' && a.find(letter) != std::string::npos;
  });
}
bool quiet_asked(const std::vector<std::string>& args) {
  return switch_given(args, 'q');
}
bool help_asked(const std::vector<std::string>& args) {
  return switch_given(args, 'h');
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

// Bytes per node of every field the run allocates, from what its input
// asks for: the fields of every run, the writer's copy of the fields the
// result items and the balance are made of (and the dry flags), transport
// (start values, corrected values) and the mobile bed (bed-load rates,
// bed change not yet taken up).
int run_bytes_per_node(const Model& m) {
  std::vector<std::vector<float> FlowValues::*> copied{&FlowValues::h};
  const ResultItems items = result_items(m);
  for (int i = 0; i < items.n; ++i) {
    for (auto f : item_fields(items.code[static_cast<std::size_t>(i)]))
      if (std::find(copied.begin(), copied.end(), f) == copied.end()) copied.push_back(f);
  }
  int bytes = base_bytes_per_node + 4 * static_cast<int>(copied.size()) + 1;
  if (m.clog.transport) bytes += 2 * 4;
  if (m.clog.mobile_bed) bytes += 3 * 4;
  return bytes;
}

// Input, initialisation and the summary of the input.
void read_input(Session& s) {
  inrea(s.model, s.io, s.msg, s.rd, s.input);
  if (s.model.coin1.nn <= 0) {
    s.msg.iierr(2, "no grid given (section >>grid)", ch::listing);
  } else {
    // The grid's fields are there; the rest of the run's must fit too.
    const std::string refused = memory_refusal(s.model.coin1.nn, run_bytes_per_node(s.model),
                                               memory_room(), grid_bytes_per_node);
    if (!refused.empty()) {
      s.msg.iierr(2, refused, ch::listing);
      s.io.line(ch::screen, ">> " + refused);
      throw Stop(exit_input, refused);
    }
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

// Waits for the records the writer has under way. A write that failed is
// reported with its file's name; a result block that failed stops the run.
void finish_writes(Session& s) {
  if (!s.writer.running) return;
  const WriterErrors e = writer_wait(s.writer);
  if (e.balance != 0) balance_failure(s.balance, s.io, e.balance);
  if (e.gauges != 0) gauge_failure(s.gauges, s.io, e.gauges);
  if (e.block != 0)
    wres_failed(s.results, s.io, std::string(trim_right(s.model.cochar.result_file)), e.block);
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
  finish_writes(s);
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
  // For the benchmarks: the node that set each time step.
  if (std::getenv("QF_DT_LOG") != nullptr) {
    const SolverWork::CourantNode& cn = s.hydro.solver.courant_node;
    const float h = std::max(cn.h, m.coin.hdry);
    std::cerr << " >dt " << s.step << ' ' << m.coin.time << ' ' << m.coin.dt << ' ' << cn.dt << ' '
              << m.coin1.cfl_cell[0] << ' ' << m.coin1.cfl_cell[1] << ' ' << cn.h << ' '
              << std::fabs(cn.q) / h << ' ' << std::fabs(cn.r) / h << ' '
              << std::sqrt(m.coin.gravity * std::max(cn.h, 0.0f)) << ' ' << cn.dry_neighbours
              << '\n';
  }
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
  balance_start(s.model, s.balance, s.hydro.boundary.budget, s.io, s.results.continued);
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

// A warm start reads depth and velocities from the first three items of
// the result file: false, with a note, when the file does not hold them.
bool warm_start_possible(Session& s) {
  if (s.results.type == type_hot_start) return true;
  const std::string note = " >no warm start saved: result file '" +
                           std::string(trim_right(s.model.cochar.result_file)) +
                           "' does not begin with depth and velocities (\"plot initial\")";
  s.io.line(ch::screen, note);
  s.io.line(ch::listing, note);
  return false;
}

// Saves the state of step `step` for a warm start: its result block (when
// `block`; else the block of this step is written already), the maxima up to
// now in the max-value file and the marker ".hvx" naming the step, the time
// and the result file. A run started in this folder then resumes from here.
// False when no marker was written (a note or warning says why).
bool save_warm_state(Session& s, int step, bool block) {
  Model& m = s.model;
  finish_writes(s);
  if (block) wres(m, s.results, s.io, step);
  if (!warm_start_possible(s)) return false;
  if (const int e = wmax_save(m, s.maxima, s.io)) {
    s.msg.iierr(1,
                "the maxima are not saved with the warm start: cannot write max-value file '" +
                    std::string(trim_right(m.cochar.max_value_file)) + "': " + std::strerror(e),
                ch::listing);
  }
  if (write_warm_marker(s.io, ch::aux, step, m.coin.time, m.cochar.result_file)) return true;
  s.msg.iierr(1,
              std::string("cannot write the warm-start marker '") + warm_marker_name +
                  "' at t=" + bare(fmt_f(m.coin.time, 14, 4)) + " h",
              ch::listing);
  return false;
}

// The series files that could not be completed, named with the result
// file when that failed too; status 1 unless the run stops with another.
void report_incomplete(Session& s) {
  std::string names;
  const auto add = [&names](const std::string& n) {
    names += (names.empty() ? "'" : ", '") + n + "'";
  };
  if (s.results.failed) add(std::string(trim_right(s.model.cochar.result_file)));
  if (s.balance.error != 0) add(s.balance.path);
  if (s.gauges.error != 0) add(s.gauges.path);
  if (names.empty()) return;
  const std::string text = "output files not complete: " + names;
  s.io.err() << " >" << text << '\n';
  s.io.err().flush();
  s.io.line(ch::listing, " >" + text);
}

// The progress window after step `step` (0: before the first step).
void show_progress(Session& s, int step) {
  Model& m = s.model;
  if (m.clog.quiet) return;
  s.shown_step = step;
  ProgressActions& act = s.progress_actions;
  if (!act.save) {
    // Made once: the run loop calls this after every step.
    act.save = [&s]() { return save_warm_state(s, s.shown_step, true); };
    act.reset = [&s]() { return withdraw_warm_marker(s.io, ch::aux); };
    act.help = [&s]() { help_page(s.graphics, ch::listing, version_string); };
    act.clock = [&s]() { return wall_seconds(s); };
    act.lost = []() { request_stop(SIGHUP); };  // as a hang-up: status 129
  }
  if (step == 0) {
    s.graphics.io = &s.io;
    s.progress.listing = ch::listing;
    try {
      wprog(s.graphics, s.viewer, s.progress, m, step, s.stride, s.expected, version_string, act);
    } catch (const Stop&) {
      s.io.line(ch::screen, no_window_note);
      s.io.line(ch::listing, no_window_note);
      throw;
    }
    return;
  }
  // The window may read the result file.
  finish_writes(s);
  wprog(s.graphics, s.viewer, s.progress, m, step, s.stride, s.expected, version_string, act);
}

// A file the run reads or writes, with what it is to the run.
struct FileUse {
  std::string path;
  std::string what;
};

std::string input_use(int channel) {
  if (channel == ch::command) return "command file";
  if (channel >= ch::include_first && channel <= ch::include_last) return "include file";
  if (channel >= ch::table_include_first && channel <= ch::table_include_last) return "table file";
  if (channel == ch::result) return "start file";
  return "input file";
}

// Every file the run will write, named with its use.
std::vector<FileUse> run_outputs(const Session& s) {
  const Model& m = s.model;
  const Projection& p = s.projection;
  std::vector<FileUse> out{{"out", "output listing"}};
  const auto add = [&](const std::string& name, const std::string& what, bool grid) {
    if (name.empty()) return;
    out.push_back({name, what});
    if (!p.text.empty() && (!grid || p.wkt))
      out.push_back(
          {grid ? grid_prj_path(name) : file_prj_path(name), "projection file of the " + what});
  };
  const std::string result(trim_right(m.cochar.result_file));
  add(result, "result file", false);
  if (!m.clog.transport) out.push_back({result + ".mass", "water-balance file"});
  if (!m.coin1.gauges.empty()) out.push_back({result + ".gauges.csv", "gauge series file"});
  add(std::string(trim_right(m.cochar.max_value_file)), "max-value file", false);
  add(std::string(trim_right(m.cochar.max_depth_file)), "max-depth grid", true);
  add(std::string(trim_right(m.cochar.max_flow_file)), "max-flow grid", true);
  for (int c = ch::redirect_first; c <= ch::redirect_last; ++c) {
    const std::string name = s.io.path(c);
    if (!name.empty()) out.push_back({name, "series file"});
  }
  return out;
}

// Before any file is created: every output can be created, no two outputs
// are one file, and no output is a file the run has read (its command
// file, an include, a grid, a table, its start file). A run that continues
// its result file reads and writes that one file on purpose.
void check_outputs(Session& s) {
  const Model& m = s.model;
  const std::vector<FileUse> outputs = run_outputs(s);
  std::vector<FileUse> inputs;
  for (const auto& [channel, path] : s.io.inputs_read())
    inputs.push_back({path, input_use(channel)});
  const std::string crs(trim_right(m.cochar.crs));
  if (!crs.empty() && file_exists(crs)) inputs.push_back({crs, "projection file"});
  const std::string start(trim_right(m.cochar.initial_file));
  const std::string start_at = start.empty() ? std::string() : resolved_path(start);
  const auto quoted = [](const FileUse& f) { return f.what + " '" + f.path + "'"; };
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const FileUse& o = outputs[i];
    if (const int e = creatable(o.path)) {
      s.msg.iierr(2, "cannot create " + quoted(o) + ": " + std::strerror(e), ch::listing);
      continue;
    }
    const std::string at = resolved_path(o.path);
    for (std::size_t k = 0; k < i; ++k) {
      if (resolved_path(outputs[k].path) == at) {
        s.msg.iierr(2, quoted(outputs[k]) + " and " + quoted(o) + " are the same file",
                    ch::listing);
        break;
      }
    }
    for (const FileUse& in : inputs) {
      if (resolved_path(in.path) != at) continue;
      if (o.what == "result file" && at == start_at) continue;
      s.msg.iierr(2,
                  quoted(o) + ": the output file would replace the input file '" + in.path + "' (" +
                      in.what + ")",
                  ch::listing);
      break;
    }
  }
  s.msg.iierr(0, " ", ch::listing);
}

// The outputs and the loop; returns the signal that stopped it, or 0.
int outputs_and_steps(Session& s) {
  Model& m = s.model;
  Coin& c = m.coin;
  wres(m, s.results, s.io, s.step);
  wres1();
  wres2();
  wmax(m, s.maxima, s.io, s.msg, -1);
  start_balance(s);
  if (!s.projection.text.empty())
    s.io.line(ch::listing, " >projection from '" + s.projection.from + "'");
  projection_beside(s, std::string(trim_right(m.cochar.result_file)), false);
  // A run that continues its result file continues its series too.
  gauges_start(m, s.gauges, s.io, s.results.continued);
  // From here on the records of the loop go to the writer.
  writer_start(s.writer, m, s.results.items, s.io.direct(ch::result), s.io,
               s.balance.active ? &s.balance : nullptr);

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
  // The series files named in the input are created now that the run starts.
  if (const int failed = s.io.release_held()) {
    const int e = errno;
    output_failure(s.io, "cannot create output file", s.io.path(failed), e);
  }
  const int first_step = s.step;
  int balance_step = s.step;  // step of the last line of the balance file
  int stopped = 0;
  // Checkpoints need a result file a warm start can read: say so once.
  const float every =
      c.checkpoint_interval > 0 && !warm_start_possible(s) ? 0 : c.checkpoint_interval;
  float next_checkpoint = every > 0 ? c.time + every : 0;
  progress_start(m, s.progress_line, s.terminal, s.step);
  for (;;) {
    ++s.step;
    // The sweep raises the maxima as it stores the rows, where it can.
    wmax_arm(m, s.maxima, s.hydro.solver);
    if (!advance(s)) {
      s.hydro.solver.maxima = MaximaFields{};
      break;
    }
    close_budget(m, s.hydro.boundary);
    wmax_step(m, s.maxima, s.hydro.solver);
    const bool result_due = !(c.time < s.next_result);
    const bool series_due = !(c.time < s.next_series);
    const bool records = result_due || (series_due && s.gauges.open);
    // The copy of the records before is free once they are written.
    if (records) finish_writes(s);
    WriterJob& job = s.writer.job;
    if (result_due) {
      // The step line of the result goes where the progress line stood.
      progress_clear(s.progress_line, s.io.err());
      wres_lines(m, s.results, s.io, s.step);
      job.block = true;
      job.first = s.results.last_record + 1;
      s.results.last_record += m.coin1.ny;
      s.results.last_step = s.step;
      s.io.flush(ch::screen);
      s.next_result += c.result_interval;
      m.coin1.result_count += 1;
      if (s.balance.active) {
        job.balance = s.balance.file;
        job.budget = s.hydro.boundary.budget;
        balance_step = s.step;
      }
    }
    if (series_due) {
      s.next_series += c.dt_out;
      m.clog.series_due = true;
      if (s.gauges.open) {
        gauge_sample(m, s.gauges, job.gauge_values);
        job.gauges = true;
      }
    } else {
      m.clog.series_due = false;
    }
    if (records) writer_post(s.writer, m);
    // (At the end the last state is saved anyway.)
    if (every > 0 && !(c.time < next_checkpoint) && c.time < c.time_end) {
      finish_writes(s);
      while (!(c.time < next_checkpoint)) next_checkpoint += every;
      // A state saved between two outputs gets a block of its own.
      const bool block = s.results.last_step != s.step;
      progress_clear(s.progress_line, s.io.err());
      if (block) {
        wres(m, s.results, s.io, s.step);
        m.coin1.result_count += 1;
        s.expected += 1;
        if (s.balance.active) {
          balance_line(m, s.balance, s.hydro.boundary.budget, s.io);
          balance_step = s.step;
        }
      }
      if (save_warm_state(s, s.step, false)) {
        const std::string note = " >checkpoint at t=" + bare(fmt_f(c.time, 14, 4)) + " h, step " +
                                 std::to_string(s.step) + ": warm start saved in " +
                                 warm_marker_name;
        s.io.line(ch::screen, note);
        s.io.line(ch::listing, note);
        m.clog.warm_started = true;
      }
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
  finish_writes(s);
  writer_stop(s.writer);
  if (!m.clog.transport) check_finite(s, true);

  progress_clear(s.progress_line, s.io.err());
  wres(m, s.results, s.io, s.step);
  wres1();
  wres2();
  // The last state, unless its line is written already.
  if (!m.clog.series_due) gauges_line(m, s.gauges, s.io);
  gauges_close(s.gauges, s.io);
  write_maxima(s);
  // A run stopped by a signal, or one that keeps warm-start states, leaves
  // its last state to resume from.
  const bool resumable = (stopped != 0 || every > 0) && save_warm_state(s, s.step, false);
  if (stopped != 0) {
    const std::string note = " >stopped by " + signal_name(stopped) + " after step " +
                             std::to_string(s.step) + " at t=" + bare(fmt_f(c.time, 14, 4)) +
                             " h: last state, maxima and grids written";
    s.io.line(ch::screen, note);
    s.io.line(ch::listing);
    s.io.line(ch::listing, note);
  }
  if (resumable) {
    const std::string note =
        std::string(" >warm start saved in ") + warm_marker_name +
        ": the next run in this folder resumes at t=" + bare(fmt_f(c.time, 14, 4)) + " h (delete " +
        warm_marker_name + " to start afresh)";
    s.io.line(ch::screen, note);
    s.io.line(ch::listing, note);
  }
  // The last state, unless its line is written already.
  end_balance(s, s.step - first_step, s.step != balance_step);
  if (s.balance.error != 0 || s.gauges.error != 0) throw Stop(1, "series files not complete");
  return stopped;
}

// Runs the loop; returns the signal that stopped it, or 0. A run that
// stops with an error names every output file it could not complete.
int time_loop(Session& s) {
  try {
    return outputs_and_steps(s);
  } catch (const Stop& stop) {
    // Records under way are finished (a failed one is reported) before the
    // files are closed.
    try {
      finish_writes(s);
    } catch (const Stop&) {
    }
    writer_stop(s.writer);
    if (stop.status() != 0) report_incomplete(s);
    throw;
  }
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
    // The other processes of a shared run wait in the sweep while a window
    // waits for its user (and the nodes of a cluster have no display): such
    // a run is quiet.
    if (s.processes > 1 && !quiet_asked(args)) {
      s.io.line(ch::screen, " >a run over " + std::to_string(s.processes) +
                                " processes opens no window: start it with -q (mpirun -np " +
                                std::to_string(s.processes) + " quellfax -q ...)");
      return exit_input;
    }
    bool view = false;
    const std::string viewed = browse_request(args, view);
    if (view) {
      if (viewed.empty()) {
        s.io.line(ch::screen, " >-v needs a result file or a grid to show");
        return exit_input;
      }
      return browse(s, viewed);
    }
    // Without a window there is no run: found out before any file, the
    // listing included, is created or rewritten.
    if (!quiet_asked(args) && !grxprobe()) {
      if (help_asked(args)) help(0, s.io);
      s.io.line(ch::screen, no_window_note);
      return exit_input;
    }
    if (!s.io.open_write(ch::listing, "out")) {
      s.io.line(ch::screen, " >cannot write the output listing 'out'");
      return exit_input;
    }
    command_line(s, args);
    int mode = 0;
    const std::string given = s.command_file;
    s.msg.iiopn(ch::command, s.command_file, mode);
    if (!s.io.is_open(ch::command)) {
      // After the help text a missing command file is no surprise.
      if (!help_asked(args))
        s.msg.iierr(2, "command file '" + given + "' not found (or not a file)", ch::listing);
      s.io.line(ch::screen, " >no command file, run abandoned");
      s.io.close_all();
      return exit_input;
    }
    read_input(s);
    warm_start(s);
    s.projection = run_projection(s.model);
    check_outputs(s);
    pin_threads();
    const auto loop_start = std::chrono::steady_clock::now();
    const int stopped = time_loop(s);
    // For the benchmarks: the wall time of the loop of steps alone.
    if (std::getenv("QF_USAGE") != nullptr) {
      const std::chrono::duration<double> loop = std::chrono::steady_clock::now() - loop_start;
      std::cerr << " >steps " << s.step << " in " << loop.count() << " s\n";
    }
    s.msg.iiout(1, " ", ch::listing);
    s.io.close_all();
    if (stopped != 0) {
      s.io.line(ch::screen, " >hvx stopped");
      return 128 + stopped;
    }
    s.io.line(ch::screen, " >hvx terminated");
    if (s.interactive && !s.model.clog.quiet && grxlive(s.graphics.x) && !s.progress.left) {
      s.io.line(ch::screen, " >a key or a click in the window closes it");
      wprog_end(s.graphics, s.viewer, s.progress, s.model, s.step, s.expected);
    }
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

int run_main(int argc, char** argv, SweepShare* share, int processes) {
  std::vector<std::string> args(argv + 1, argv + argc);
  Session s(std::cin, std::cout, std::cerr);
  s.hydro.solver.share = share;
  s.processes = processes;
  s.catch_signals = true;
  s.terminal = isatty(STDERR_FILENO) != 0;
  s.interactive = isatty(STDIN_FILENO) != 0;
  // Past a file-size limit a write fails with EFBIG and is reported with
  // the file's name like a full disk, instead of the signal killing the run.
  std::signal(SIGXFSZ, SIG_IGN);
  // A write to an X server that has just gone away (or to a closed pipe)
  // fails with EPIPE and ends the run through the lost-connection path,
  // instead of the signal killing it before its results are written.
  std::signal(SIGPIPE, SIG_IGN);
  return run(s, args);
}

}  // namespace qf
