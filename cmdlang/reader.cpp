#include "cmdlang/reader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <ostream>

#include "cmdlang/word.h"
#include "io/stop.h"
#include "io/textio.h"

namespace qf {

namespace {

constexpr std::size_t kCmdLine = 128;    // command lines
constexpr std::size_t kTableLine = 132;  // table rows
constexpr std::size_t kVertexLine = 64;  // polygon vertices
constexpr std::size_t kKeyLength = 32;
constexpr std::size_t kOptionName = 128;

const std::string kStars(47, '*');

// Messages built in a line buffer go out blank-padded to its length.
std::string msg128(std::string s) {
  if (s.size() < kCmdLine) s.resize(kCmdLine, ' ');
  return s;
}

bool starts_with(std::string_view s, std::string_view p) {
  return s.substr(0, p.size()) == p;
}

// Keyword entries are compared over their fixed length of 32 characters.
bool same_key(std::string_view word, std::string_view key) {
  return trim_right(word.substr(0, kKeyLength)) == trim_right(key.substr(0, kKeyLength));
}

bool same_file(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

// True when `name` is already being read on one of the command-file or
// include channels (reading it again would never end).
bool being_read(const Channels& io, const std::string& name, int main_channel, int last) {
  if (main_channel >= 0 && io.is_open(main_channel) && same_file(io.path(main_channel), name))
    return true;
  for (int c = ch::include_first; c <= last; ++c)
    if (io.is_open(c) && same_file(io.path(c), name)) return true;
  return false;
}

std::string digits(long v) {
  return fmt_i(v, static_cast<int>(std::to_string(v).size()));
}

// A relative include name that does not lead to a file from the working
// folder is looked for next to the file that names it, so that a model can
// be run from another folder.
// A name found in both places is taken from the working folder; the other
// file is then named in a warning, since the two may differ.
std::string locate(Channels& io, Messages& msg, int from, const std::string& name, int listing) {
  if (name.empty() || name[0] == '/') return name;
  const std::filesystem::path dir = std::filesystem::path(io.path(from)).parent_path();
  const std::string there = dir.empty() ? std::string() : (dir / name).string();
  const bool beside = !there.empty() && file_exists(there);
  if (!file_exists(name)) return beside ? there : name;
  if (beside && !same_file(name, there))
    msg.iierr(1,
              "include '" + name + "' taken from the working folder, not the file '" + there +
                  "' beside '" + io.path(from) + "'",
              listing);
  return name;
}

// A number field without its blanks, for messages.
std::string squeeze(const std::string& field) {
  const std::size_t a = field.find_first_not_of(' ');
  return a == std::string::npos ? std::string() : std::string(trim_right(field.substr(a)));
}

// A line longer than its buffer is cut to it. That is an error unless the
// part cut off is blank or the line is a comment line; on a line of numbers
// a slash in the part kept ends the values before the cut.
bool cut_loses_text(const std::string& raw, std::size_t max, bool numbers = false) {
  if (raw.size() <= max) return false;
  const std::size_t p = raw.find_first_not_of(" \t");
  if (p < max && (raw[p] == '/' || raw[p] == '#')) return false;
  if (numbers && raw.find('/') < max) return false;
  return std::any_of(raw.begin() + static_cast<std::ptrdiff_t>(max), raw.end(),
                     [](char c) { return static_cast<unsigned char>(c) > 32; });
}

// "file 'name', line N" of the record last read from channel c.
std::string place(const Channels& io, int c) {
  return "file '" + io.path(c) + "', line " + digits(io.record_number(c));
}

// A row of two values x and y read from `row`: a decimal comma is an error
// that names the value and the place, and the row is read again with points
// for its decimal commas, so that no later check trips over values that
// were never meant. (Numbers after the two are not read, as in any row.)
template <class T>
void check_row(Channels& io, Messages& msg, int c, int mch, const std::string& what,
               std::string_view row, T& x, T& y) {
  const std::string comma = decimal_comma(row, 2);
  if (!comma.empty()) {
    msg.iierr(2,
              what + "value \"" + comma + "\" has a decimal comma (decimals take a point), " +
                  place(io, c),
              mch);
    const std::string fixed = comma_to_point(row);
    FreeReader again(fixed);
    T ax = x, ay = y;
    if (again.read(ax) == ReadStatus::ok && again.read(ay) == ReadStatus::ok) {
      x = ax;
      y = ay;
    }
  }
}

std::string too_long(const Channels& io, int c, std::size_t max) {
  return "line longer than " + digits(static_cast<long>(max)) + " characters, file '" + io.path(c) +
         "', line " + digits(io.record_number(c));
}

// First character of a value line: a digit, sign or point.
bool starts_number(char c) {
  return c == '-' || c == '+' || c == '.' || (c >= '0' && c <= '9');
}

}  // namespace

// ------------------------------------------------------------------ Options

void Options::collect(const std::vector<std::string>& args, char marker) {
  auto store = [this](std::string_view name) {
    std::string n(name.substr(0, kOptionName));
    if (names_.size() < static_cast<std::size_t>(max_option_depth))
      names_.push_back(std::move(n));
    else
      names_.back() = std::move(n);
  };
  for (const std::string& full : args) {
    const std::string_view arg = std::string_view(full).substr(0, kOptionName);
    if (arg.empty() || arg[0] != marker) continue;
    const std::size_t last = len_trim(arg);  // one past the last non-blank
    std::size_t start = 0;
    for (std::size_t i = 0; i < last; ++i) {
      if (arg[i] == marker) {
        start = i + 1;
      } else if (i + 1 == last) {
        store(arg.substr(start, i + 1 - start));
      } else if (arg[i] == ',') {
        store(arg.substr(start, i - start));
        start = i + 1;
      }
    }
  }
}

int Options::evaluate(std::string_view word, std::ostream& screen) const {
  word = trim_right(word);
  int result = 0;
  if (word == "{") {
    screen << "warning: option must have name\n";
    result = 1;
  } else if (word == "|") {
    return 1;
  }
  std::string_view rest = word.empty() ? word : word.substr(1);
  for (;;) {
    const std::size_t comma = rest.find(',');
    const std::string_view name = trim_right(rest.substr(0, std::min(comma, kOptionName)));
    for (const std::string& o : names_)
      if (trim_right(o) == name) return 1;
    if (comma == std::string_view::npos) break;
    rest = rest.substr(comma + 1);
  }
  return result;
}

// -------------------------------------------------------------- CmdReader

std::string CmdReader::where(int input) const {
  return "file '" + io_.path(input) + "', line " + digits(io_.record_number(input));
}

bool CmdReader::block_active() const {
  if (depth_ <= 0) return true;
  return active_[static_cast<std::size_t>(std::min(depth_, max_option_depth))];
}

bool CmdReader::open_block(std::string_view word, int listing) {
  ++depth_;
  if (depth_ > max_option_depth) {
    // Blocks beyond the limit are still counted so that their closing
    // braces match, and they follow the innermost block that is kept.
    msg_.iierr(2, msg128("more than 100 nested option blocks"), listing);
    return block_active();
  }
  const auto d = static_cast<std::size_t>(depth_);
  taken_[d] = false;
  bool active = opt_.evaluate(word, io_.scr()) != 0;
  if (d > 1 && !active_[d - 1]) active = false;
  active_[d] = active;
  if (active) taken_[d] = true;
  return active;
}

bool CmdReader::alternative(std::string_view word) {
  if (depth_ > max_option_depth) return block_active();
  // Slot 0 serves a stray "|" outside any block.
  const auto d = static_cast<std::size_t>(std::max(depth_, 0));
  bool active = taken_[d] ? false : opt_.evaluate(word, io_.scr()) != 0;
  if (d > 1 && !active_[d - 1]) active = false;
  active_[d] = active;
  if (active) taken_[d] = true;
  return active;
}

void CmdReader::keyword_help(std::span<const std::string_view> keys, int listing) {
  io_.line(listing, "* available keywords are:");
  for (std::string_view k : keys) io_.line(listing, "* " + std::string(10, ' ') + pad(k, 20));
  io_.line(listing, kStars);
}

void CmdReader::include(std::string_view name_view, int& input, int listing) {
  const std::string name = locate(io_, msg_, input, std::string(name_view), listing);
  if (!file_exists(name)) {
    msg_.iierr(1, msg128("file not found: " + name), listing);
    return;
  }
  const int last = input == main_channel_ ? ch::include_first - 1 : input;
  if (being_read(io_, name, main_channel_, last))
    msg_.iierr(3, msg128("include file includes itself: " + name), listing);
  const int next = input == main_channel_ ? ch::include_first : input + 1;
  if (next > ch::include_last)
    msg_.iierr(3, msg128("include files nested too deeply: " + name), listing);
  io_.line(listing);
  io_.line(listing, "/include '" + name + "'");
  if (!io_.open_read(next, name)) {
    msg_.iierr(1, msg128("file not found: " + name), listing);
    return;
  }
  input = next;
  io_.line(ch::screen, " >include '" + name + "'");
}

int CmdReader::iicmd(std::span<const std::string_view> keys, std::string& line, int& input,
                     int listing, int& status) {
  const bool number_stop = status == -1;
  ++calls_;
  if (main_channel_ < 0) main_channel_ = input;
  if (calls_ == 1) {
    std::string now;
    iitim(now);
    io_.line(listing);
    io_.line(listing, "/OUTPUT " + now.substr(0, 17) + "/");
    io_.line(listing);
  }
  auto close_blocks = [this] {
    depth_ = std::max(depth_ - pending_close_, 0);
    pending_close_ = 0;
  };
  std::string raw;
  std::span<char> word(word_.data(), word_.size());
  for (;;) {
    close_blocks();
    status = 0;
    status = io_.read_line(input, raw);
    // In number-stop mode a data line is only looked at; its reader takes
    // it whole.
    const std::size_t first = raw.find_first_not_of(" \t");
    const bool data = number_stop && first != std::string::npos && starts_number(raw[first]);
    if (status == 0 && !data && cut_loses_text(raw, kCmdLine)) {
      // A line read again after a push-back is reported once.
      const std::string here = too_long(io_, input, kCmdLine);
      if (here != cut_reported_) msg_.iierr(2, here, listing);
      cut_reported_ = here;
    }
    if (raw.size() > kCmdLine) raw.resize(kCmdLine);
    const bool at_end = status != 0;
    if (at_end) {
      line = pad(">>", kCmdLine);
      // An include file may end inside a block opened by its parent; only
      // the command file itself must close its blocks.
      if (level_ == 0 && depth_ > 0 && input == main_channel_) {
        io_.line(ch::screen, " >warning: end of option expected!");
        return 0;
      }
    } else {
      line = pad(raw, kCmdLine);
    }
    const std::size_t n = len_trim(line);
    for (std::size_t i = 0; i < n; ++i) {
      if (line[i] == '}') {
        ++pending_close_;
        line[i] = ' ';
      }
    }
    for (;;) {  // words of this line
      int wl = 0;
      rrxwrd(line, word, wl);
      if (wl == 0) {
        io_.line(listing);
        break;
      }
      const std::string_view w(word_.data(), std::min<std::size_t>(wl, word_.size()));
      if (w[0] == '/' || w[0] == '#') break;
      if (w[0] == '{') {
        if (open_block(w, listing)) continue;
      } else if (w[0] == '|') {
        if (alternative(w)) continue;
      }
      // The end of a file is never skipped by a block that is not read,
      // else the reader would meet it again and again.
      if (depth_ > 0 && !block_active() && !at_end) break;

      if (w == "include") {
        int nl = 0;
        std::string name(kCmdLine, ' ');
        rrxwrd(line, name, nl);
        name.resize(std::min<std::size_t>(std::max(nl, 0), name.size()));
        include(name, input, listing);
        break;
      }
      if (w == ">>") {
        if (input == main_channel_) {
          --level_;
          if (level_ == 0) io_.line(listing, " >> ");
          if (level_ < 0) {
            level_ = 0;
            calls_ = 0;
          }
          io_.back(input);
          close_blocks();
          return 0;
        }
        io_.line(listing, "/END_INCLUDE");
        io_.close(input);
        input = input == ch::include_first ? main_channel_ : input - 1;
        break;
      }
      if (starts_with(w, ">>")) {
        for (std::size_t i = 0; i < keys.size(); ++i) {
          if (same_key(w, keys[i])) {
            ++level_;
            io_.line(listing, (level_ == 1 ? " " : "   ") + std::string(w));
            close_blocks();
            return static_cast<int>(i) + 1;
          }
        }
        --level_;
        if (level_ >= 0) {
          io_.back(input);
          close_blocks();
          return 0;
        }
        level_ = 0;
        msg_.iierr(2, msg128("command unknown> " + std::string(w) + ", " + where(input)), listing);
        keyword_help(keys, listing);
        close_blocks();
        return 0;
      }
      for (std::size_t i = 0; i < keys.size(); ++i) {
        if (same_key(w, keys[i])) {
          io_.put(listing, (level_ == 1 ? "   " : "     ") + std::string(w) + " ");
          if (line.find("***") != std::string::npos)
            status = 2;
          else if (line.find("**") != std::string::npos)
            status = 1;
          if (status > 0) std::replace(line.begin(), line.end(), '*', ' ');
          close_blocks();
          return static_cast<int>(i) + 1;
        }
      }
      if (number_stop && starts_number(w[0])) {
        io_.back(input);
        close_blocks();
        return -1;
      }
      msg_.iierr(2, msg128("keyword unknown> " + std::string(w) + ", " + where(input)), listing);
      keyword_help(keys, listing);
      break;
    }
  }
}

// ------------------------------------------------------------------- Tables

void iitbl(Channels& io, Messages& msg, int& count, float* first, float* second, int input,
           int listing, std::string_view keyword) {
  const int capacity = count;
  const int mch = listing != 0 ? listing : ch::screen;
  int rows = 0;
  float offset = 0.0f;
  bool overflow = false;
  float x = 0.0f, y = 0.0f;  // kept between rows, as an empty value leaves them
  if (listing != 0) io.line(listing);

  int tch = input;
  auto parent = [input](int c) { return c == ch::table_include_first ? input : c - 1; };
  std::string raw;
  for (;;) {
    const int rs = io.read_line(tch, raw);
    if (rs == 0 && raw.size() > kTableLine) {
      if (cut_loses_text(raw, kTableLine, true)) msg.iierr(2, too_long(io, tch, kTableLine), mch);
      raw.resize(kTableLine);
    }
    if (rs != 0) {
      if (tch != input) {
        io.close(tch);
        tch = parent(tch);
        continue;
      }
      break;
    }
    const auto p = std::find_if(raw.begin(), raw.end(),
                                [](char c) { return static_cast<unsigned char>(c) > 32; }) -
                   raw.begin();
    const std::string_view rest = std::string_view(raw).substr(static_cast<std::size_t>(p));
    const char c = rest.empty() ? ' ' : rest[0];
    bool row_ends = false;
    if (c == '/') continue;
    if (starts_number(c)) {
      FreeReader fr(rest);
      const ReadStatus sx = fr.read(x);
      const ReadStatus sy = sx == ReadStatus::ok ? fr.read(y) : sx;
      if (sx == ReadStatus::ok && sy == ReadStatus::end) {
        // A row needs both values; the line is reported and left out.
        msg.iierr(2,
                  "table row with one value: " + std::string(trim_right(rest)) + " (file '" +
                      io.path(tch) + "', line " + digits(io.record_number(tch)) + ")",
                  mch);
        continue;
      }
      if (sx == ReadStatus::ok && sy == ReadStatus::ok) {
        std::string what = "table row: ";
        if (!keyword.empty())
          what = "keyword \"" + std::string(trim_right(keyword)) + "\": table row: ";
        check_row(io, msg, tch, mch, what, rest, x, y);
        if (rows >= capacity) {
          overflow = true;
          continue;
        }
        // Times must not go back; two rows at one time make a step.
        if (rows > 0 && offset + x < first[rows - 1]) {
          std::string what;
          if (!keyword.empty()) what = "keyword \"" + std::string(trim_right(keyword)) + "\": ";
          msg.iierr(2,
                    what + "table time " + squeeze(fmt_f(offset + x, 12, 4)) +
                        " lies before the time " + squeeze(fmt_f(first[rows - 1], 12, 4)) +
                        " of the row above, file '" + io.path(tch) + "', line " +
                        digits(io.record_number(tch)),
                    mch);
        }
        first[rows] = offset + x;
        second[rows] = y;
        if (listing != 0) io.line(listing, fmt_f(first[rows], 12, 4) + fmt_f(y, 12, 4));
        ++rows;
        continue;
      }
      row_ends = true;
    } else if (starts_with(rest, "continue")) {
      if (listing != 0) io.line(listing, "CONTINUE /");
      if (rows > 0) offset = first[rows - 1];
      continue;
    } else if (starts_with(rest, "include")) {
      std::string buf(rest.substr(7));
      std::string word(64, ' ');
      int nl = 0;
      rrxwrd(buf, word, nl);
      const std::string name =
          locate(io, msg, tch,
                 std::string(trim_right(std::string_view(word).substr(0, std::max(nl, 0)))), mch);
      if (!file_exists(name)) {
        msg.iierr(1, pad("file not found: " + name, 32), mch);
        continue;
      }
      if (being_read(io, name, ch::command, tch == input ? ch::include_last : tch) ||
          (io.is_open(input) && same_file(io.path(input), name)))
        msg.iierr(3, "include file includes itself: " + name, mch);
      const int next = tch == input ? ch::table_include_first : tch + 1;
      if (next > ch::table_include_last)
        msg.iierr(3, "include files nested too deeply: " + name, mch);
      if (listing != 0) {
        io.line(listing);
        io.line(listing, "/include '" + name + "'");
      }
      if (!io.open_read(next, name)) {
        msg.iierr(1, pad("file not found: " + name, 32), mch);
        continue;
      }
      tch = next;
      io.line(ch::screen, " >include '" + name + "'");
      continue;
    } else {
      row_ends = true;
    }
    if (row_ends) {
      if (tch == input) {
        io.back(input);
        break;
      }
      io.close(tch);
      tch = parent(tch);
    }
  }
  if (overflow)
    msg.iierr(2, "table size exceeds space", mch);
  else if (rows < 2)
    msg.iierr(1, "found table with <2 rows", mch);
  count = rows;
}

// --------------------------------------------------------------- Grid files

namespace {

constexpr std::string_view kGridKeys[] = {"nx",           "ny",     "xllcorner", "yllcorner",
                                          "dx",           "dy",     "item",      "rotate",
                                          "cellsize",     "ncols",  "nrows",     "nodata_value",
                                          "NODATA_value", ">>grid", "xllcenter", "yllcenter"};

// Sets the grid to zero size when it does not fit; otherwise sizes the
// values to nx x ny (values already there are kept).
bool fit_grid(Channels& io, long capacity, GridData& g) {
  const long long nxy = static_cast<long long>(g.nx) * g.ny;
  if (g.nx < 0 || g.ny < 0 || nxy > capacity) {
    g.nx = 0;
    g.ny = 0;
    g.values.clear();
    const std::string n = nxy >= -2147483648LL && nxy <= 2147483647LL
                              ? fmt_list(static_cast<int>(nxy))
                              : " " + fmt_i(nxy, 20);
    io.line(ch::screen, " iigrid nxy" + n);
    return false;
  }
  g.values.resize(static_cast<std::size_t>(nxy));
  return true;
}

bool value_separator(char c) {
  return static_cast<unsigned char>(c) <= 32 || c == ',';
}

// Reads the values that follow the grid header. Every line that starts with
// a number (after blanks) is a data line, whatever its length, and each of
// its words must be a number; a slash ends the values of its line. Blank
// lines and comment lines inside the data are passed over; any other line
// ends the data and is left for the keyword reader. A word that is not a
// number, fewer values than nx x ny or more are errors that name the file
// and the line.
void read_values(CmdReader& rd, Channels& io, int input, int listing, GridData& g) {
  Messages& msg = rd.messages();
  const std::size_t nxy = g.values.size();
  const std::string file = "grid '" + io.path(input) + "'";
  std::size_t n = 0;  // values met, stored or not
  long last = 0;      // last data line
  std::string buf;
  std::string ended = "the end of the file";
  bool comma_told = false;  // one message for a grid written with decimal commas
  const std::string size =
      g.esri ? " values expected (ncols x nrows), " : " values expected (nx x ny), ";
  for (;;) {
    if (io.read_line(input, buf) != 0) {
      io.back(input);  // the keyword reader meets the end of the file again
      break;
    }
    const std::size_t p = buf.find_first_not_of(" \t\r\f\v");
    if (p == std::string::npos || buf[p] == '/' || buf[p] == '#') continue;
    if (!starts_number(buf[p])) {
      io.back(input);
      std::size_t e = p;
      while (e < buf.size() && static_cast<unsigned char>(buf[e]) > 32) ++e;
      ended = "line " + digits(io.record_number(input)) + " '" +
              buf.substr(p, std::min<std::size_t>(e - p, 64)) + "'";
      break;
    }
    last = io.record_number(input);
    const std::string_view l(buf);
    if (!comma_told) {
      const std::string comma = decimal_comma(l.substr(p), std::numeric_limits<int>::max());
      if (!comma.empty()) {
        msg.iierr(2,
                  file + ", line " + digits(last) + ": value \"" + comma.substr(0, 64) +
                      "\" has a decimal comma (decimals take a point)",
                  listing);
        comma_told = true;
      }
    }
    std::size_t i = p;
    for (;;) {
      while (i < l.size() && value_separator(l[i])) ++i;
      if (i >= l.size() || l[i] == '/') break;
      const std::size_t start = i;
      while (i < l.size() && !value_separator(l[i]) && l[i] != '/') ++i;
      const std::string_view tok = l.substr(start, i - start);
      double d = 0.0;
      float v = 0.0f;
      if (!parse_real(tok, d) || !to_float(d, v)) {
        msg.iierr(2,
                  file + ", line " + digits(last) + ": '" + std::string(tok.substr(0, 64)) +
                      (parse_real(tok, d) ? "' lies beyond the range of 32-bit reals"
                                          : "' is not a number"),
                  listing);
      } else if (n < nxy) {
        g.values[n] = v;
      }
      ++n;
    }
  }
  if (nxy == 0) return;  // no size given: the caller refuses the grid
  if (n < nxy) {
    msg.iierr(2,
              file + ": " + digits(static_cast<long>(nxy)) + size + digits(static_cast<long>(n)) +
                  " read before " + ended,
              listing);
  } else if (n > nxy) {
    msg.iierr(2,
              file + ": " + digits(static_cast<long>(nxy)) + size + digits(static_cast<long>(n)) +
                  " read up to line " + digits(last),
              listing);
  }
}

}  // namespace

void iigrid(CmdReader& rd, Channels& io, int& input, int listing, long capacity, GridData& g) {
  g.nx = g.ny = 0;
  g.x_origin = g.y_origin = 0.0;
  g.item.clear();
  g.no_data = -9999.0f;
  g.esri = false;
  g.file.clear();
  // In the ESRI header xllcorner and yllcorner give the outer corner of the
  // south-west cell, xllcenter and yllcenter its centre; the model's origin
  // is the centre of the first cell.
  bool x_corner = false, y_corner = false;
  const int errors_before = rd.messages().errors();

  std::string line;
  for (;;) {
    int status = -1;
    const int k = rd.iicmd(kGridKeys, line, input, listing, status);
    if (k == -1) break;
    if (k == 0) {
      if (g.nx > 0 && g.ny > 0 && g.size_check) g.size_check(g.nx, g.ny);
      if (fit_grid(io, capacity, g) && !g.values.empty())
        rd.messages().iierr(2,
                            "grid '" + io.path(input) +
                                "': " + digits(static_cast<long>(g.values.size())) +
                                (g.esri ? " values expected (ncols x nrows), none given"
                                        : " values expected (nx x ny), none given"),
                            listing);
      return;
    }
    FreeReader fr(line);
    ReadStatus st = ReadStatus::ok;
    std::string echo;
    const float dx_before = g.dx, dy_before = g.dy;
    switch (k) {
      case 1:
      case 10:
        g.file = io.path(input);
        st = fr.read(g.nx);
        echo = fmt_i(g.nx, 5);
        g.esri = g.esri || k == 10;
        break;
      case 2:
      case 11:
        st = fr.read(g.ny);
        echo = fmt_i(g.ny, 5);
        g.esri = g.esri || k == 11;
        break;
      case 3:
      case 15:
        st = fr.read(g.x_origin);
        echo = fmt_f(g.x_origin, 10, 2);
        x_corner = k == 3;
        break;
      case 4:
      case 16:
        st = fr.read(g.y_origin);
        echo = fmt_f(g.y_origin, 10, 2);
        y_corner = k == 4;
        break;
      case 5:
        st = fr.read(g.dx);
        echo = fmt_f(g.dx, 10, 3);
        break;
      case 6:
        st = fr.read(g.dy);
        echo = fmt_f(g.dy, 10, 3);
        break;
      case 7:
        st = fr.read(g.item, 16);
        echo = " " + pad(g.item, 16);
        break;
      case 8: {
        float rotate = 0.0f;
        st = fr.read(rotate);
        echo = fmt_f(rotate, 10, 2);
        break;
      }
      case 9: {
        float size = g.dx;
        st = fr.read(size);
        g.dx = g.dy = size;
        g.esri = true;
        echo = fmt_f(size, 10, 2);
        break;
      }
      case 12:
      case 13: {
        st = fr.read(g.no_data);
        const double whole = std::clamp(std::trunc(static_cast<double>(g.no_data)), -1e15, 1e15);
        echo = fmt_i(static_cast<long long>(whole), 10);
        break;
      }
      default:  // ">>grid"
        break;
    }
    io.line(listing, echo);
    const std::string key(kGridKeys[k - 1]);
    if (st != ReadStatus::ok) {
      rd.messages().iierr(2, "grid header value unreadable: " + key + ", " + rd.where(input),
                          listing);
    } else if (k != 14) {
      const std::string comma = decimal_comma(line, 1);
      const std::string rest = fr.leftover();
      if (!comma.empty())
        rd.messages().iierr(2,
                            "grid header " + key + ": value \"" + comma +
                                "\" has a decimal comma (decimals take a point), " +
                                rd.where(input),
                            listing);
      else if (!rest.empty())
        rd.messages().iierr(
            2, "grid header " + key + ": surplus value \"" + rest + "\", " + rd.where(input),
            listing);
    }
    // A cell of no size, turned over or wider than a river basin gives no
    // areas and volumes to balance.
    if (st == ReadStatus::ok && (k == 5 || k == 6 || k == 9)) {
      const float size = k == 6 ? g.dy : g.dx;
      if (!(size > 0.0f && size <= max_cell_size)) {
        rd.messages().iierr(2,
                            "grid header " + key + ": value " + squeeze(fmt_g(size, 12, 5)) +
                                " out of range, cell size must be above 0 and not above " +
                                digits(static_cast<long>(max_cell_size)) + " m, " + rd.where(input),
                            listing);
        // The run stops at the input summary; until then a sound size.
        if (k != 6) g.dx = dx_before > 0.0f && dx_before <= max_cell_size ? dx_before : 1.0f;
        if (k != 5) g.dy = dy_before > 0.0f && dy_before <= max_cell_size ? dy_before : 1.0f;
      }
    }
  }

  if (g.esri) {
    if (x_corner) g.x_origin += 0.5 * static_cast<double>(g.dx);
    if (y_corner) g.y_origin += 0.5 * static_cast<double>(g.dy);
  }
  // A size that gives no cells or more than the capacity: the values are
  // not read and the caller refuses the grid; the message tells which size.
  const int nx = g.nx, ny = g.ny;
  if (nx > 0 && ny > 0 && g.size_check) g.size_check(nx, ny);
  const bool fits = nx > 0 && ny > 0 && fit_grid(io, capacity, g);
  if (!fits) {
    g.nx = g.ny = 0;
    g.values.clear();
    const std::string cols = g.esri ? "ncols " : "nx ";
    const std::string rows = g.esri ? "nrows " : "ny ";
    // A size left unreadable has had its error already.
    if (rd.messages().errors() == errors_before)
      rd.messages().iierr(
          2,
          "grid '" + io.path(input) + "': " + cols + digits(nx) + ", " + rows + digits(ny) +
              (nx > 0 && ny > 0 ? ", more than " + digits(capacity) + " values" : ", no cells"),
          listing);
    return;
  }
  read_values(rd, io, input, listing, g);

  if (g.esri && g.ny > 1) {
    const auto nx = static_cast<std::size_t>(g.nx);
    for (std::size_t j = 0, jn = static_cast<std::size_t>(g.ny) - 1; j < jn; ++j, --jn)
      std::swap_ranges(g.values.begin() + static_cast<std::ptrdiff_t>(j * nx),
                       g.values.begin() + static_cast<std::ptrdiff_t>((j + 1) * nx),
                       g.values.begin() + static_cast<std::ptrdiff_t>(jn * nx));
  }
}

// ----------------------------------------------------------------- Polygons

int irpoly(Channels& io, Messages& msg, int max, std::vector<float>& x, std::vector<float>& y,
           int input, int listing, double x_origin, double y_origin) {
  const int mch = listing != 0 ? listing : ch::screen;
  const int room = std::max(max, 0);
  x.assign(static_cast<std::size_t>(room), 0.0f);
  y.assign(static_cast<std::size_t>(room), 0.0f);
  int read = 0;
  std::string raw;
  for (;;) {
    if (io.read_line(input, raw) != 0) break;
    if (raw.size() > kVertexLine) {
      if (cut_loses_text(raw, kVertexLine, true))
        msg.iierr(2, too_long(io, input, kVertexLine), mch);
      raw.resize(kVertexLine);
    }
    const std::size_t p = raw.find_first_not_of(' ');
    if (p == std::string::npos) break;  // blank line
    const auto c = static_cast<unsigned char>(raw[p]);
    if (c == '/') break;
    if (c > '9') {
      io.back(input);
      break;
    }
    FreeReader fr(std::string_view(raw).substr(p));
    double vx = 0.0, vy = 0.0;
    if (fr.read(vx) != ReadStatus::ok || fr.read(vy) != ReadStatus::ok) {
      io.back(input);
      break;
    }
    check_row(io, msg, input, mch, "polygon vertex: ", std::string_view(raw).substr(p), vx, vy);
    if (read < room) {
      x[static_cast<std::size_t>(read)] = static_cast<float>(vx - x_origin);
      y[static_cast<std::size_t>(read)] = static_cast<float>(vy - y_origin);
      if (listing != 0) io.line(listing, fmt_f(vx, 12, 2) + fmt_f(vy, 12, 2));
    } else if (read == room) {
      // A cut polygon would cover another area than the one drawn.
      msg.iierr(
          2, "polygon with more than " + digits(max) + " vertices (the limit), " + place(io, input),
          mch);
    }
    ++read;
  }
  const int stored = std::min(read, room);
  x.resize(static_cast<std::size_t>(stored));
  y.resize(static_cast<std::size_t>(stored));
  return stored;
}

namespace {

// Crossing-number test of the point against the polygon, counting the edges
// that cross the segment from the point to the reference point.
// Even-odd test with a half-open horizontal ray from the point: an edge
// counts when it straddles the ray's height (lower end included, upper end
// excluded) and crosses it east of the point. Unlike a test against a
// segment to a fixed reference point, a ray through a vertex is never
// counted twice or not at all, so cells whose centre lines up with a polygon
// corner are not lost. Points exactly on an edge may fall either way.
int crossings(const float* x, const float* y, int n, float px, float py) {
  bool inside = false;
  for (int i = 0, j = n - 1; i < n; j = i++) {
    const double yi = y[i], yj = y[j];
    if ((yi > py) != (yj > py)) {
      const double xc = x[i] + (static_cast<double>(py) - yi) * (x[j] - x[i]) / (yj - yi);
      if (px < xc) inside = !inside;
    }
  }
  return inside ? 1 : 0;
}

struct Box {
  float xmin, xmax, ymin, ymax;
};

bool box(const float* x, const float* y, int n, float px, float py, Box& b) {
  if (n <= 0) return false;
  b = {x[0], x[0], y[0], y[0]};
  for (int i = 1; i < n; ++i) {
    b.xmin = std::min(b.xmin, x[i]);
    b.xmax = std::max(b.xmax, x[i]);
    b.ymin = std::min(b.ymin, y[i]);
    b.ymax = std::max(b.ymax, y[i]);
  }
  return !(px < b.xmin || py < b.ymin || px > b.xmax || py > b.ymax);
}

}  // namespace

int iipoly(const float* x, const float* y, int n, float px, float py) {
  Box b;
  if (!box(x, y, n, px, py, b)) return 0;
  return crossings(x, y, n, px, py);
}

int igpoly(const float* x, const float* y, int n, float px, float py) {
  Box b;
  if (!box(x, y, n, px, py, b)) return 0;
  return crossings(x, y, n, px, py);
}

}  // namespace qf
