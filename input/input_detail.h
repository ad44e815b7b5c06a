// Shared helpers of the command-file input (not for use outside model/input*.cpp).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/input.h"
#include "io/textio.h"

namespace qf::input {

using Keys = std::span<const std::string_view>;

// Everything one section handler needs.
struct Ctx {
  Model& m;
  Channels& io;
  Messages& msg;
  CmdReader& rd;
  InputState& st;

  int& input() { return m.coin1.ch_command; }
  int listing() const { return m.coin1.ch_listing; }

  // Next keyword of `keys` (0 at the end of the section). The line of the
  // keyword before is checked first (see check_line).
  int next(Keys keys);
  // The values of the last keyword line once its handler has taken them: a
  // decimal comma or a value left over is an error naming the keyword, the
  // value and the place.
  void check_line();
  // Reader and keyword of the last value taken from the current line.
  std::optional<FreeReader> taken;
  void took(const FreeReader& fr, std::string_view kw) {
    taken = fr;
    taken_kw = std::string(kw);
  }
  std::string taken_kw;
  // Item of the last grid section ("bedlevel", "n", ...).
  std::string grid_item;
  // Reads the keywords of a section until its end, without storing anything.
  void drain_section();

  // Completes the listing line opened by the keyword echo.
  void echo(std::string_view s) { io.line(listing(), s); }
  void screen(std::string_view s) { io.line(ch::screen, s); }

  // Place of the current keyword line ("file 'name', line N").
  std::string where() const { return here; }
  std::string here;
  // Name of the section being read (">>compute", ...), for the value ranges.
  std::string_view section;
  // The last value taken by real() or real64() as it stands on the line.
  std::string value_text;

  // True when `v`, the value of `kw` just read, lies in the range the
  // keyword admits in the current section (keywords without a range admit
  // every value); otherwise an error naming the keyword, the value, the rule
  // and the place. The caller then leaves the value unstored.
  bool in_range(std::string_view kw, float v);
  // The same for the n time-series values of a table block starting at
  // table row `row`: one error names the first value out of range, its table
  // row and time, and how many rows are out of range.
  bool series_in_range(std::string_view kw, int row, int n);
  void warning(std::string_view text) { msg.iierr(1, text, listing()); }
  void error(std::string_view text) { msg.iierr(2, text, listing()); }
  [[noreturn]] void fatal(std::string_view text);
  // Error followed by a screen line ">> text" and the end of the run.
  [[noreturn]] void stop(std::string_view text);

  // Values of the current keyword line; a missing or unreadable value is a
  // fatal error naming the keyword, the value and the place in the file.
  float real(FreeReader& fr, std::string_view kw);
  double real64(FreeReader& fr, std::string_view kw);
  int integer(FreeReader& fr, std::string_view kw);
  std::string text(FreeReader& fr, std::string_view kw, std::size_t maxlen);
  // An optional value: false when the line has no more values.
  bool optional_real(FreeReader& fr, std::string_view kw, float& v);

  // Table storage, rows counted from 1.
  // A block that does not fit the table storage: its time series (a table or
  // one value, echoed fixed w.d) is read and dropped, and the end of input
  // reports the full storage.
  void refuse_block(InputState::Block kind, std::string_view kw, int w, int d);
  float& a(int row) { return m.coin.table_a[static_cast<std::size_t>(row)]; }
  float& b(int row) { return m.coin.table_b[static_cast<std::size_t>(row)]; }
  // Closes the block being built: its length goes into its first row and
  // the fill pointer moves past it.
  void close_block();
  // A boundary block that is closed without a "location", or a discharge or
  // load without a "point", acts on no node: a warning naming its keyword and
  // place (once per block). The listing line must be complete.
  void check_block_place();
  // The text of that warning (blank when none is due), for callers that
  // issue it once their echo line is complete.
  std::string unplaced_block();

  // True when the block being built is of `kind`; otherwise an error naming
  // the keyword (none when the last block of that kind was refused).
  bool current(InputState::Block kind, std::string_view kw, std::string_view what);

  // True when a grid exists; otherwise an error naming the keyword.
  bool need_grid(std::string_view kw);
  bool have_grid() const { return m.f.allocated && m.coin1.nxx > 2 && m.coin1.nyy > 2; }

  // Polygon vertices following the keyword line (origin-relative).
  int read_polygon(std::vector<float>& x, std::vector<float>& y);

  // Appends a fixed tag to the run note.
  void note(std::string_view tag);

  // "keyword "kw": " prefix for messages.
  static std::string kwtext(std::string_view kw);
};

void section_grid(Ctx& c);
void section_global(Ctx& c);
void section_initiate(Ctx& c);
void section_boundary(Ctx& c);
void section_turbulence(Ctx& c);
void section_compute(Ctx& c);
void section_mobile_bed(Ctx& c);
void section_source(Ctx& c);
void section_output(Ctx& c);
void section_structure(Ctx& c);
void section_polygon(Ctx& c);
void section_module(Ctx& c, int which);

// Default result items when none was named: flow depth, X- and Y-velocity.
void default_items(Model& m);

}  // namespace qf::input
