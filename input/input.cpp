// The section dispatcher of the command-file input, the run title, the end of
// input and the helpers shared by the section handlers.
#include "input/input.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "input/input_detail.h"
#include "io/stop.h"

namespace qf {

namespace input {

std::string Ctx::kwtext(std::string_view kw) {
  std::string s = "keyword \"";
  s += kw;
  s += "\": ";
  return s;
}

int Ctx::next(Keys keys) {
  check_line();
  st.status = 0;
  const int code = rd.iicmd(keys, st.line, input(), listing(), st.status);
  if (code > 0) here = rd.where(input());
  return code;
}

void Ctx::check_line() {
  if (!taken) return;
  const FreeReader fr = *taken;
  taken.reset();
  const std::string comma = decimal_comma(st.line, fr.numbers());
  if (!comma.empty()) {
    error(kwtext(taken_kw) + "value \"" + comma +
          "\" has a decimal comma (decimals take a point), " + where());
    return;
  }
  const std::string rest = fr.leftover();
  if (!rest.empty()) error(kwtext(taken_kw) + "surplus value \"" + rest + "\", " + where());
}

void Ctx::drain_section() {
  // An empty list: whatever still stands in the section is unknown to it.
  // Every call that returns 0 leaves one section level.
  static constexpr std::array<std::string_view, 0> none{};
  int guard = 0;
  while (rd.section_level() > 0 && guard < 1000) {
    if (next(Keys(none)) > 0) continue;
    ++guard;
  }
}

void Ctx::fatal(std::string_view text) {
  msg.iierr(3, text, listing());
  // iierr does not return for a fatal error; make sure of it.
  throw Stop(1, std::string(text));
}

void Ctx::stop(std::string_view text) {
  msg.iierr(2, text, listing());
  screen(std::string(">> ") + std::string(text));
  throw Stop(1, std::string(text));
}

namespace {

std::string token_text(const FreeReader& fr) {
  std::string t = fr.bad_token();
  return t;
}

// The text of line between two reader positions without the blanks and the
// comma that separate it from the value before.
std::string value_between(std::string_view line, std::size_t from, std::size_t to) {
  if (to > line.size() || from >= to) return {};
  std::string_view t = line.substr(from, to - from);
  auto sep = [](char ch) { return static_cast<unsigned char>(ch) <= ' ' || ch == ','; };
  while (!t.empty() && sep(t.front())) t.remove_prefix(1);
  while (!t.empty() && sep(t.back())) t.remove_suffix(1);
  return std::string(t);
}

std::string digits(long v) {
  return fmt_i(v, static_cast<int>(std::to_string(v).size()));
}

// What a value must satisfy.
enum class Bound {
  above_zero,    // v > 0
  not_negative,  // v >= 0
  courant,       // 0.01 <= v <= 1: a smaller Courant number never reaches the end
};

// Admissible values of the keywords that carry a physical quantity. Every
// section checks its values against this one table.
struct ValueRange {
  std::string_view section;
  std::string_view kw;
  std::string_view what;
  Bound bound;
};

constexpr std::array<ValueRange, 38> kRanges = {{
    {">>global", "kst", "Strickler value", Bound::above_zero},
    {">>global", "n", "Manning n", Bound::above_zero},
    {">>global", "ks", "roughness height", Bound::above_zero},
    {">>global", "z0", "roughness length", Bound::above_zero},
    {">>boundary", "inflow", "inflow discharge", Bound::not_negative},
    {">>boundary", "slope", "energy slope", Bound::not_negative},
    {">>boundary", "uniform_slope", "slope", Bound::not_negative},
    {">>turbulence", "viscosity", "viscosity", Bound::not_negative},
    {">>turbulence", "cv", "eddy-viscosity coefficient", Bound::not_negative},
    {">>turbulence", "mixing_length", "mixing-length coefficient", Bound::not_negative},
    {">>compute", "cfl", "Courant number", Bound::courant},
    {">>compute", "hdry", "dry depth", Bound::above_zero},
    {">>mobile_bed", "d30", "grain size", Bound::above_zero},
    {">>mobile_bed", "d50", "grain size", Bound::above_zero},
    {">>mobile_bed", "d90", "grain size", Bound::above_zero},
    {">>mobile_bed", "tcrit", "critical Shields parameter", Bound::not_negative},
    {">>mobile_bed", "time_factor", "time factor", Bound::above_zero},
    {">>output", "interval", "result interval", Bound::above_zero},
    {">>output", "dt_out", "time-series interval", Bound::above_zero},
    {">>output", "checkpoint", "checkpoint interval", Bound::above_zero},
    {">>structure", "diameter", "diameter", Bound::above_zero},
    {">>structure", "width", "width", Bound::above_zero},
    {">>structure", "height", "height", Bound::above_zero},
    {">>structure", "n", "Manning n", Bound::above_zero},
    {">>structure", "kst", "Strickler value", Bound::above_zero},
    {">>structure", "inlet_loss", "inlet loss coefficient", Bound::not_negative},
    {">>polygon", "kst", "Strickler value", Bound::above_zero},
    {">>polygon", "n", "Manning n", Bound::above_zero},
    {">>polygon", "ks", "roughness height", Bound::above_zero},
    {">>polygon", "z0", "roughness length", Bound::above_zero},
    {">>polygon", "leakage", "leakage coefficient", Bound::not_negative},
    {">>polygon", "flowdepth", "flow depth", Bound::not_negative},
    {">>polygon", "float", "draught", Bound::not_negative},
    // Roughness field after a grid section, by friction law ("kst" and "n"
    // both leave Strickler values).
    {">>grid", "kst", "Strickler value", Bound::above_zero},
    {">>grid", "ks", "roughness height", Bound::above_zero},
    {">>grid", "z0", "roughness length", Bound::above_zero},
    {">>grid", "leakage", "leakage coefficient", Bound::not_negative},
    {">>grid", "n", "Manning n", Bound::above_zero},
}};

const ValueRange* find_range(std::string_view section, std::string_view kw) {
  for (const ValueRange& r : kRanges) {
    if (r.section == section && r.kw == kw) return &r;
  }
  return nullptr;
}

bool admits(const ValueRange& r, float v) {
  if (!std::isfinite(v)) return false;
  switch (r.bound) {
    case Bound::above_zero:
      return v > 0.0f;
    case Bound::not_negative:
      return v >= 0.0f;
    case Bound::courant:
      return v >= 0.01f && v <= 1.0f;
  }
  return false;
}

std::string rule(const ValueRange& r) {
  std::string s(r.what);
  switch (r.bound) {
    case Bound::above_zero:
      return s + " must be above 0";
    case Bound::not_negative:
      return s + " must not be negative";
    case Bound::courant:
      return s + " must be at least 0.01 and not above 1";
  }
  return s;
}

// A fixed-point field without its leading blanks.
std::string number(double v, int w, int d) {
  const std::string t = fmt_f(v, w, d);
  return t.substr(std::min(t.find_first_not_of(' '), t.size()));
}

// A number as the table echo shows it.
std::string table_number(float v) {
  return number(v, 12, 4);
}

}  // namespace

bool Ctx::in_range(std::string_view kw, float v) {
  const ValueRange* r = find_range(section, kw);
  if (r == nullptr || admits(*r, v)) return true;
  // "0,7" reads as 0 and 7: the decimal comma is the error, told once the
  // line is read.
  if (!decimal_comma(st.line, 1).empty()) return false;
  const std::string text = value_text.empty() ? table_number(v) : value_text;
  error(kwtext(kw) + "value " + text + " out of range, " + rule(*r) + ", " + where());
  return false;
}

bool Ctx::series_in_range(std::string_view kw, int row, int n) {
  const ValueRange* r = find_range(section, kw);
  if (r == nullptr) return true;
  int bad = 0, first = 0;
  for (int i = 0; i < n; ++i) {
    if (admits(*r, b(row + i))) continue;
    if (bad++ == 0) first = i;
  }
  if (bad == 0) return true;
  const bool table = st.status >= 1;
  std::string text = kwtext(kw) + "value " + (table ? table_number(b(row + first)) : value_text);
  if (table) {
    text += " at " + table_number(a(row + first)) + " h (table row " + digits(first + 1) + ")";
  }
  text += " out of range, " + rule(*r);
  if (bad > 1) text += " (" + digits(bad) + " rows)";
  error(text + ", " + where());
  return false;
}

float Ctx::real(FreeReader& fr, std::string_view kw) {
  float v = 0.0f;
  const std::size_t from = fr.position();
  const ReadStatus s = fr.read(v);
  value_text = value_between(st.line, from, fr.position());
  took(fr, kw);
  if (s == ReadStatus::ok) return v;
  if (s == ReadStatus::end) fatal(kwtext(kw) + "value missing, " + where());
  if (fr.out_of_range())
    fatal(kwtext(kw) + "value " + token_text(fr) +
          " out of range, the magnitude of a value must stay below 3.4e38, " + where());
  fatal(kwtext(kw) + "value \"" + token_text(fr) + "\" is not a number, " + where());
}

double Ctx::real64(FreeReader& fr, std::string_view kw) {
  double v = 0.0;
  const std::size_t from = fr.position();
  const ReadStatus s = fr.read(v);
  value_text = value_between(st.line, from, fr.position());
  took(fr, kw);
  if (s == ReadStatus::ok) return v;
  if (s == ReadStatus::end) fatal(kwtext(kw) + "value missing, " + where());
  fatal(kwtext(kw) + "value \"" + token_text(fr) + "\" is not a number, " + where());
}

int Ctx::integer(FreeReader& fr, std::string_view kw) {
  int v = 0;
  const ReadStatus s = fr.read(v);
  took(fr, kw);
  if (s == ReadStatus::ok) return v;
  if (s == ReadStatus::end) fatal(kwtext(kw) + "value missing, " + where());
  fatal(kwtext(kw) + "value \"" + token_text(fr) + "\" is not an integer, " + where());
}

bool Ctx::optional_real(FreeReader& fr, std::string_view kw, float& v) {
  float t = v;
  const ReadStatus s = fr.read(t);
  took(fr, kw);
  if (s == ReadStatus::end) return false;
  if (s == ReadStatus::error) {
    fatal(kwtext(kw) + "value \"" + token_text(fr) + "\" is not a number, " + where());
  }
  v = t;
  return true;
}

std::string Ctx::text(FreeReader& fr, std::string_view kw, std::size_t maxlen) {
  std::string v;
  const ReadStatus s = fr.read(v, 1024);
  took(fr, kw);
  if (s != ReadStatus::ok) fatal(kwtext(kw) + "value missing, " + where());
  v = std::string(trim_right(v));
  // Cut, a file name would name another file (perhaps one the run writes
  // as well): an error.
  if (v.size() > maxlen) {
    error(kwtext(kw) + "'" + v + "' is longer than " + std::to_string(maxlen) + " characters, " +
          where());
    v.resize(maxlen);
  }
  return v;
}

std::string Ctx::unplaced_block() {
  if (st.location_given || st.block_checked) return {};
  const bool boundary = st.block == InputState::Block::boundary;
  const bool source = st.block == InputState::Block::source && st.block_type != bt_precipitation;
  if (!boundary && !source) return {};
  st.block_checked = true;
  return kwtext(st.block_keyword) +
         (boundary ? "no location given, the boundary acts on no node, "
                   : "no point given, the source acts on no node, ") +
         st.block_where;
}

void Ctx::check_block_place() {
  const std::string text = unplaced_block();
  if (!text.empty()) warning(text);
}

void Ctx::close_block() {
  if (st.itab + 1 <= max_table) b(st.itab + 1) = static_cast<float>(st.nd0);
  st.itab = std::min(st.itab + st.nd0, max_table);
  st.nd0 = 0;
  st.nd1 = 0;
  st.block = InputState::Block::none;
  st.block_type = 0;
  st.location_given = false;
  st.block_checked = false;
}

void Ctx::refuse_block(InputState::Block kind, std::string_view kw, int w, int d) {
  st.table_overflow = true;
  st.refused = kind;
  if (st.status >= 1) {
    std::vector<float> sa(max_table), sb(max_table);
    int count = max_table;
    iitbl(io, msg, count, sa.data(), sb.data(), input(), listing(), kw);
  } else {
    FreeReader fr(st.line);
    echo(fmt_f(real(fr, kw), w, d));
  }
}

void Ctx::note(std::string_view tag) {
  st.note += tag;
  if (st.note.size() > 128) st.note.resize(128);
}

bool Ctx::current(InputState::Block kind, std::string_view kw, std::string_view what) {
  if (st.block == kind) return true;
  if (st.refused != kind) {
    error(kwtext(kw) + "no " + std::string(what) + " block to act on, " + where());
  }
  return false;
}

bool Ctx::need_grid(std::string_view kw) {
  if (have_grid()) return true;
  error(kwtext(kw) + "no grid read before it, " + where());
  return false;
}

int Ctx::read_polygon(std::vector<float>& x, std::vector<float>& y) {
  x.assign(max_polygon, 0.0f);
  y.assign(max_polygon, 0.0f);
  const int n =
      irpoly(io, msg, max_polygon, x, y, input(), listing(), m.coin.x_origin, m.coin.y_origin);
  const int kept = std::clamp(n, 0, max_polygon);
  x.resize(static_cast<std::size_t>(kept));
  y.resize(static_cast<std::size_t>(kept));
  return kept;
}

void default_items(Model& m) {
  m.coin1.item_count = 3;
  m.coin1.item_code[0] = 1;
  m.coin1.item_code[1] = 21;
  m.coin1.item_code[2] = 22;
}

namespace {

constexpr std::array<std::string_view, 14> kTop = {
    "title",        ">>grid",    ">>global",     ">>initiate", ">>boundary",
    ">>turbulence", ">>compute", ">>mobile_bed", ">>source",   ">>output",
    ">>structure",  ">>polygon", ">>module1",    ">>module2",
};

void read_title(Ctx& c) {
  FreeReader fr(c.st.line);
  std::string t;
  if (fr.read(t, 64) != ReadStatus::ok) c.fatal("heee...?");
  c.m.cochar.title = std::string(trim_right(t));
  c.echo(" '" + c.m.cochar.title + "'");
  // Words after the first: a title with blanks not put in apostrophes.
  std::string_view rest(c.st.line);
  rest.remove_prefix(std::min(fr.position(), rest.size()));
  const auto p = rest.find_first_not_of(" \t,");
  rest = trim_right(p == std::string_view::npos ? std::string_view() : rest.substr(p));
  if (!rest.empty() && rest[0] != '/')
    c.warning("keyword \"title\": only '" + c.m.cochar.title + "' taken, '" + std::string(rest) +
              "' left over (a title with blanks goes in apostrophes), " + c.where());
}

// The real cells inside the model of `field` against range r; one error
// names the first value out of range, its cell (counted from the first real
// cell) and how many cells are out of range. `at` is the place of the
// section's first line.
void check_field(Ctx& c, const std::vector<float>& field, const ValueRange& r,
                 std::string_view label, const std::string& at) {
  const Model& m = c.m;
  const FlowValues& f = m.f;
  long bad = 0;
  int fi = 0, fj = 0;
  float fv = 0.0f;
  for (int j = 2; j <= m.coin1.nyy - 1; ++j) {
    for (int i = 2; i <= m.coin1.nxx - 1; ++i) {
      const std::size_t e = static_cast<std::size_t>(m.node(i, j));
      if (e >= field.size() || (e < f.outside.size() && f.outside[e] != 0)) continue;
      if (admits(r, field[e])) continue;
      if (bad++ == 0) {
        fi = i - 1;
        fj = j - 1;
        fv = field[e];
      }
    }
  }
  if (bad == 0) return;
  std::string text = std::string(label) + ": value " + table_number(fv) + " of cell (" +
                     digits(fi) + ", " + digits(fj) + ") out of range, " + rule(r);
  if (bad > 1) text += " (" + digits(bad) + " cells)";
  c.error(text + ", " + at);
}

// Fields a grid section may have filled: the roughness (of a roughness item
// or the defaults of >>global) and the leakage.
void check_grid_fields(Ctx& c, const std::string& at) {
  static constexpr std::array<std::string_view, 5> by_law = {"", "kst", "ks", "ks", "z0"};
  if (!c.have_grid()) return;
  const int law = c.m.coin1.friction_law;
  if (c.grid_item == "n") {
    // The field holds Strickler values 1/n: the message names n.
    std::vector<float> n(c.m.f.ks.size());
    std::transform(c.m.f.ks.begin(), c.m.f.ks.end(), n.begin(),
                   [](float ks) { return ks != 0.0f ? 1.0f / ks : 0.0f; });
    check_field(c, n, *find_range(">>grid", "n"), "grid roughness", at);
  } else if (law >= 1 && law <= 4) {
    const ValueRange* r = find_range(">>grid", by_law[static_cast<std::size_t>(law)]);
    if (r != nullptr) check_field(c, c.m.f.ks, *r, "grid roughness", at);
  }

  const ValueRange* r = find_range(">>grid", "leakage");
  if (c.m.clog.leakage && r != nullptr) check_field(c, c.m.f.fleak, *r, "grid leakage", at);
}

void end_of_input(Ctx& c) {
  Model& m = c.m;
  switch (m.coin1.friction_law) {
    case 1:
      c.screen(">Manning-Strickler formula");
      break;
    case 2:
      c.screen(">logarithmic friction law");
      break;
    case 3:
      c.screen(">log law modified according to bezzola 2002");
      break;
    case 4:
      c.screen(">modified full logarithmic friction law");
      break;
    default:
      break;
  }
  c.note(">" + fmt_f(m.coin1.nn / 1000.0, 7, 1) + "k cells");
  c.screen(trim_right(c.st.note));
  if (m.coin1.nerod > 0) {
    m.coin1.nerod = std::min(m.coin1.nerod, max_erod);
    c.screen(">found" + fmt_list(static_cast<int>(m.coin1.nerod)) + " erodable nodes");
  }
  if (m.coin1.item_count == 0) default_items(m);

  c.check_block_place();
  // The run would end before its first step. The start time is the one in
  // force now: "start" or the time of an initial condition.
  if (!c.st.end_where.empty() && !(m.coin.time_end > m.coin.time)) {
    c.error(Ctx::kwtext("end") + "value " + c.st.end_text +
            " out of range, end time must be after the start time " + number(m.coin.time, 12, 3) +
            " h, " + c.st.end_where);
  }

  c.msg.iierr(0, " ", c.listing());

  c.close_block();
  if (c.st.itab < max_table) c.a(c.st.itab + 1) = table_end;
  if (c.st.itab >= max_table || c.st.table_overflow) c.error("table storage exceeded");
}

}  // namespace

}  // namespace input

void inrea(Model& m, Channels& io, Messages& msg, CmdReader& rd, InputState& st) {
  input::Ctx c{m, io, msg, rd, st, {}, {}, {}, {}, {}, {}};
  m.coin1.nerod = 0;
  m.coin1.erod.clear();
  m.coin1.erod_node.clear();
  m.coin1.nxx = 0;
  m.coin1.nyy = 0;
  st.note.clear();
  st.end_where.clear();
  st.end_text.clear();
  st.start_given = false;
  m.cochar.initial_file.clear();

  for (;;) {
    const int code = c.next(input::Keys(input::kTop));
    if (code <= 0) break;
    c.section = input::kTop[static_cast<std::size_t>(code - 1)];
    switch (code) {
      case 1:
        input::read_title(c);
        break;
      case 2: {
        const std::string at = c.where();
        c.grid_item.clear();
        input::section_grid(c);
        input::check_grid_fields(c, at);
        break;
      }
      case 3:
        input::section_global(c);
        break;
      case 4:
        input::section_initiate(c);
        break;
      case 5:
        input::section_boundary(c);
        break;
      case 6:
        input::section_turbulence(c);
        break;
      case 7:
        input::section_compute(c);
        break;
      case 8:
        input::section_mobile_bed(c);
        break;
      case 9:
        input::section_source(c);
        break;
      case 10:
        input::section_output(c);
        break;
      case 11:
        input::section_structure(c);
        break;
      case 12:
        input::section_polygon(c);
        break;
      case 13:
        input::section_module(c, 1);
        break;
      case 14:
        input::section_module(c, 2);
        break;
      default:
        break;
    }
  }
  c.section = {};
  input::end_of_input(c);
}

}  // namespace qf
