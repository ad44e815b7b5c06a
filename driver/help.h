// The help text: what the program does, its capacity limits and the keys of
// the progress window.
#pragma once

#include <array>
#include <string>

#include "graphics/graphics.h"
#include "io/channels.h"

namespace qf {

// The 20 lines of 60 characters.
std::array<std::string, 20> help_lines();
// The command-line options, shown on the terminal after the help lines.
std::array<std::string, 8> usage_lines();
// mode 0: the help and usage lines on the screen, each preceded by one blank.
void help(int mode, Channels& io);
// The lines as a text page in the full-size window, then back to the small
// progress window (the progress window's "??").
void help_page(Graphics& g, int listing, std::string_view program);

}  // namespace qf
