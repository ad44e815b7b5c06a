// The section dispatcher of the command-file input, the run title, the end of
// input and the helpers shared by the section handlers.
#include "model/input.h"

#include <algorithm>
#include <array>

#include "cmdlang/stop.h"
#include "model/input_detail.h"

namespace qf {

namespace input {

std::string Ctx::kwtext(std::string_view kw) {
  std::string s = "keyword \"";
  s += kw;
  s += "\": ";
  return s;
}

int Ctx::next(Keys keys) {
  st.status = 0;
  const int code = rd.iicmd(keys, st.line, input(), listing(), st.status);
  if (code > 0) here = rd.where(input());
  return code;
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

}  // namespace

float Ctx::real(FreeReader& fr, std::string_view kw) {
  float v = 0.0f;
  const ReadStatus s = fr.read(v);
  if (s == ReadStatus::ok) return v;
  if (s == ReadStatus::end) fatal(kwtext(kw) + "value missing, " + where());
  fatal(kwtext(kw) + "value \"" + token_text(fr) + "\" is not a number, " + where());
}

double Ctx::real64(FreeReader& fr, std::string_view kw) {
  double v = 0.0;
  const ReadStatus s = fr.read(v);
  if (s == ReadStatus::ok) return v;
  if (s == ReadStatus::end) fatal(kwtext(kw) + "value missing, " + where());
  fatal(kwtext(kw) + "value \"" + token_text(fr) + "\" is not a number, " + where());
}

int Ctx::integer(FreeReader& fr, std::string_view kw) {
  int v = 0;
  const ReadStatus s = fr.read(v);
  if (s == ReadStatus::ok) return v;
  if (s == ReadStatus::end) fatal(kwtext(kw) + "value missing, " + where());
  fatal(kwtext(kw) + "value \"" + token_text(fr) + "\" is not an integer, " + where());
}

bool Ctx::optional_real(FreeReader& fr, std::string_view kw, float& v) {
  float t = v;
  const ReadStatus s = fr.read(t);
  if (s == ReadStatus::end) return false;
  if (s == ReadStatus::error) {
    fatal(kwtext(kw) + "value \"" + token_text(fr) + "\" is not a number, " + where());
  }
  v = t;
  return true;
}

std::string Ctx::text(FreeReader& fr, std::string_view kw, std::size_t maxlen) {
  std::string v;
  const ReadStatus s = fr.read(v, maxlen);
  if (s != ReadStatus::ok) fatal(kwtext(kw) + "value missing, " + where());
  return std::string(trim_right(v));
}

void Ctx::close_block() {
  if (st.itab + 1 <= max_table) b(st.itab + 1) = static_cast<float>(st.nd0);
  st.itab = std::min(st.itab + st.nd0, max_table);
  st.nd0 = 0;
  st.nd1 = 0;
  st.block = InputState::Block::none;
  st.block_type = 0;
  st.location_given = false;
}

void Ctx::refuse_block(InputState::Block kind, std::string_view kw, int w, int d) {
  st.table_overflow = true;
  st.refused = kind;
  if (st.status >= 1) {
    std::vector<float> sa(max_table), sb(max_table);
    int count = max_table;
    iitbl(io, msg, count, sa.data(), sb.data(), input(), listing());
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

  c.msg.iierr(0, " ", c.listing());

  c.close_block();
  if (c.st.itab < max_table) c.a(c.st.itab + 1) = table_end;
  if (c.st.itab >= max_table || c.st.table_overflow) c.error("table storage exceeded");
}

}  // namespace

}  // namespace input

void inrea(Model& m, Channels& io, Messages& msg, CmdReader& rd, InputState& st) {
  input::Ctx c{m, io, msg, rd, st, {}};
  m.coin1.nerod = 0;
  m.coin1.erod.clear();
  m.coin1.erod_node.clear();
  m.coin1.nxx = 0;
  m.coin1.nyy = 0;
  st.note.clear();
  m.cochar.initial_file.clear();

  for (;;) {
    const int code = c.next(input::Keys(input::kTop));
    if (code <= 0) break;
    switch (code) {
      case 1:
        input::read_title(c);
        break;
      case 2:
        input::section_grid(c);
        break;
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
  input::end_of_input(c);
}

}  // namespace qf
