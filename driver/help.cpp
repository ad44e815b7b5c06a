#include "driver/help.h"

#include "graphics/dialog.h"
#include "io/messages.h"
#include "io/textio.h"
#include "model/memory.h"
#include "model/state.h"

namespace qf {

namespace {

// A count in thousands (K), or in millions (M) past six digits of them.
std::string thousands(long long n) {
  return n / 1000 < 1000000 ? fmt_i(n / 1000, 6) + "K" : fmt_i(n / 1000000, 6) + "M";
}

}  // namespace

std::array<std::string, 20> help_lines() {
  std::array<std::string, 20> l;
  l[0] = "Quellfax is hydraulic software to solve the depth-averaged";
  l[1] = "shallow-water equations on a cell-centred regular grid.";
  l[10] = "The present version of Quellfax has the following limits:";
  // What fits in the memory this process may use now: a row as long as
  // a grid of three rows allows.
  const long long nodes = nodes_that_fit(memory_room().bytes, base_bytes_per_node);
  l[11] = " -NUMBER OF GRID NODES " + thousands(nodes);
  l[12] = " -GRID DIMENSION IN X  " + thousands(nodes / 3);
  l[13] = " -ROWS IN TABLE STORAGE" + fmt_i(max_table / 1000, 6) + "K";
  l[15] = "Options:";
  l[16] = "  Save initial conditions for warm start";
  l[17] = "  Reset   existing initial conditions";
  l[18] = "  Show current results (flow vectors and depths)";
  l[19] = "  eXit    terminates Quellfax";
  for (auto& s : l) s = pad(s, 60);
  return l;
}

std::array<std::string, 8> usage_lines() {
  return {
      "Usage: quellfax [-h] [-q] [-v FILE] [@OPTION,...] [COMMAND_FILE [RESULT_FILE]]",
      "  -h             this help and the limits",
      "  -q             quiet: no progress window and no viewer; a progress",
      "                 line on the terminal",
      "  -v FILE        a result file or grid shown in the viewer, no run",
      "  @OPTION,...    run options: the option blocks of the command file",
      "                 named by them are read",
      "  COMMAND_FILE   default \"dain\"; RESULT_FILE default \"dares\"",
  };
}

void help(int mode, Channels& io) {
  if (mode != 0) return;  // the graphics page comes with the progress window
  for (const auto& s : help_lines()) io.line(ch::screen, " " + s);
  for (const auto& s : usage_lines()) io.line(ch::screen, " " + s);
}

}  // namespace qf

namespace qf {

void help_page(Graphics& g, int listing, std::string_view program) {
  const std::array<std::string, 20> l = help_lines();
  grclos(g);
  grinit(g, 5, listing, program, "out", 0);
  grtext(g, l.data(), static_cast<int>(l.size()));
  grclos(g);
  grinit(g, 5, listing, program, "out", 1);
}

}  // namespace qf
