#include "driver/run.h"

#include <iostream>

#include "cmdlang/stop.h"
#include "cmdlang/textio.h"
#include "driver/help.h"
#include "model/init.h"

namespace qf {

namespace {

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
    } else if (s.command_file.empty()) {
      s.command_file = a;
      const std::string note = " >input from file '" + a + "'";
      s.io.line(ch::screen, note);
      s.io.line(ch::listing, note);
    } else if (s.model.cochar.result_file == "dares") {
      s.model.cochar.result_file = a;
    }
  }
  if (s.command_file.empty()) s.command_file = "dain";
}

}  // namespace

int run(Session& s, const std::vector<std::string>& args) {
  try {
    banner(s.io);
    if (!s.io.open_write(ch::listing, "out")) {
      s.io.line(ch::screen, " >cannot write the output listing 'out'");
      return 1;
    }
    command_line(s, args);
    int mode = 0;
    s.msg.iiopn(ch::command, s.command_file, mode);
    if (!s.io.is_open(ch::command)) {
      s.io.line(ch::screen, " >no command file, run abandoned");
      s.io.close_all();
      return 1;
    }
    inrea(s.model, s.io, s.msg, s.rd, s.input);
    init(s.model);
    s.msg.iierr(0, " ", ch::listing);
    s.io.line(ch::screen, " >input read without errors; the time loop is not part of this version");
    s.msg.iiout(1, " ", ch::listing);
    s.io.close_all();
    s.io.line(ch::screen, " >hvx terminated");
    return 0;
  } catch (const Stop& stop) {
    s.msg.iiout(1, " ", ch::listing);
    s.io.close_all();
    return stop.status();
  }
}

int run_main(int argc, char** argv) {
  std::ios::sync_with_stdio(true);
  std::vector<std::string> args(argv + 1, argv + argc);
  Session s(std::cin, std::cout, std::cerr);
  return run(s, args);
}

}  // namespace qf
