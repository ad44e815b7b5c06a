// The command-file language: run options, the keyword reader, tables, grid
// files and polygons. One CmdReader reads one command input; it keeps the
// section level, the option blocks and the include nesting between calls.
#pragma once

#include <array>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/channels.h"
#include "io/messages.h"

namespace qf {

namespace ch {
// Include files of the keyword reader take channels 45 to 50, one per level;
// table include files 51 to 60. A deeper nesting is a fatal input error.
inline constexpr int include_last = 50;
inline constexpr int table_include_last = 60;
}  // namespace ch

// Most option blocks open at one time.
inline constexpr int max_option_depth = 100;

// Run options given on the command line after the option marker '@'.
class Options {
 public:
  // Collects the options of every argument that starts with `marker`.
  void collect(const std::vector<std::string>& args, char marker = '@');
  // 1 when the label word ("{name,...", "|name", "{", "|") is selected.
  int evaluate(std::string_view word, std::ostream& screen) const;
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::vector<std::string> names_;  // at most 100
};

class CmdReader {
 public:
  CmdReader(Channels& io, Messages& msg, const Options& opt) : io_(io), msg_(msg), opt_(opt) {
    active_.fill(true);
  }

  // Returns the index (from 1) of the next recognised entry of `keys`, 0 at
  // the end of a section or of the input, -1 in number-stop mode (status -1
  // on entry) when the next line starts with a number. `line` receives the
  // rest of the keyword's line (128 characters, blank-padded). `input` is
  // the channel variable shared by all calls (include files change it).
  int iicmd(std::span<const std::string_view> keys, std::string& line, int& input, int listing,
            int& status);

  // "file 'name', line N" of the line the last keyword came from, for messages.
  std::string where(int input) const;

  int section_level() const { return level_; }
  int option_depth() const { return depth_; }
  Messages& messages() { return msg_; }

 private:
  bool block_active() const;
  bool open_block(std::string_view word, int listing);
  bool alternative(std::string_view word);
  void keyword_help(std::span<const std::string_view> keys, int listing);
  void include(std::string_view name, int& input, int listing);

  Channels& io_;
  Messages& msg_;
  const Options& opt_;
  int calls_ = 0;
  int main_channel_ = -1;
  int level_ = 0;
  int depth_ = 0;
  int pending_close_ = 0;
  std::array<bool, 101> active_{};
  std::array<bool, 101> taken_{};
  std::string word_ = std::string(128, ' ');
  std::string cut_reported_;  // place of the last line reported as too long
};

// Reads a table of (x, y) rows following a "**" keyword. `count` is the
// capacity on entry and the number of rows stored on return. Listing 0
// suppresses the echo. A row whose time lies before the row above is an
// error naming the file, the line and `keyword` when given.
void iitbl(Channels& io, Messages& msg, int& count, float* first, float* second, int input,
           int listing, std::string_view keyword = {});

// Grid file header and values (model or ESRI header), rows returned south
// first. nx = ny = 0 when the grid exceeds the capacity. On return `values`
// holds nx * ny values; those not found in the file keep what the vector held
// (0 for new places). A malformed number throws Stop.
// Largest cell size a grid header may give [m].
inline constexpr float max_cell_size = 10000.0f;

struct GridData {
  int nx = 0, ny = 0;
  double x_origin = 0, y_origin = 0;
  float dx = 0, dy = 0;  // keep their previous values unless given
  std::string item;      // up to 16 characters
  float no_data = -9999.0f;
  bool esri = false;
  std::string file;           // the file that held the header (the command file or an include)
  std::vector<float> values;  // nx * ny values, x fastest, south row first
  // Called with the size of the header before the values are allocated
  // (may stop the run); none: only the capacity is checked.
  std::function<void(int nx, int ny)> size_check;
};
void iigrid(CmdReader& rd, Channels& io, int& input, int listing, long capacity, GridData& g);

// Polygon vertices relative to the origin; returns the count stored (<= max),
// and x and y are resized to that count.
int irpoly(Channels& io, Messages& msg, int max, std::vector<float>& x, std::vector<float>& y,
           int input, int listing, double x_origin, double y_origin);
int iipoly(const float* x, const float* y, int n, float px, float py);
int igpoly(const float* x, const float* y, int n, float px, float py);

}  // namespace qf
