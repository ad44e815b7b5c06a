// Input sections of the grid and its defaults, the initial state, the
// boundaries, turbulence and the computation control.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "input/input_detail.h"
#include "io/stop.h"
#include "model/init.h"
#include "model/memory.h"

namespace qf::input {

namespace {

std::string trim_both(std::string_view s) {
  std::size_t a = 0;
  while (a < s.size() && static_cast<unsigned char>(s[a]) <= ' ') ++a;
  std::size_t e = s.size();
  while (e > a && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(a, e - a));
}

// Bed-level cells that hold the grid's no-data value lie outside the
// model. They are marked in `outside` and become walls: their bed is set
// wall_height above the highest real bed, so that no water level reaches it
// and the wet/dry faces of the flux solver close them off. The padded array
// `p` holds the cell values inside the ghost ring.
void mark_outside(Ctx& c, float no_data, std::vector<float>& p) {
  Model& m = c.m;
  const Coin1& c1 = m.coin1;
  std::uint8_t* out = m.f.outside.data();
  long count = 0;
  bool real = false;
  float top = 0.0f;
  for (int j = 2; j <= c1.nyy - 1; ++j) {
    for (int i = 2; i <= c1.nxx - 1; ++i) {
      const std::size_t e = static_cast<std::size_t>(m.node(i, j));
      if (p[e] == no_data) {
        out[e] = 1;
        ++count;
      } else {
        top = real ? std::max(top, p[e]) : p[e];
        real = true;
      }
    }
  }
  if (count == 0) return;
  const float wall = top + wall_height;
  for (int j = 2; j <= c1.nyy - 1; ++j) {
    for (int i = 2; i <= c1.nxx - 1; ++i) {
      const std::size_t e = static_cast<std::size_t>(m.node(i, j));
      if (out[e] != 0) p[e] = wall;
    }
  }
  c.screen(">" + fmt_i(count, 9) + " no-data cells outside the model, walls at" +
           fmt_f(wall, 10, 2) + " m");
  if (!real) c.warning("every bed level is no-data: no cell lies inside the model");
}

}  // namespace

// ---------------------------------------------------------------- >>grid

void section_grid(Ctx& c) {
  Model& m = c.m;
  GridData g;
  g.dx = m.coin.dx;
  g.dy = m.coin.dy;
  // The size is checked before the values are read: the padded grid must
  // be countable by a 32-bit node index and every field of a run must fit
  // in the memory this process may use.
  const MemoryRoom room = memory_room();
  g.size_check = [&c, &room](int nx, int ny) {
    const long long nodes = (nx + 2LL) * (ny + 2LL);
    if (nodes >= max_index_nodes)
      c.stop("too many grid nodes: " + std::to_string(nodes) +
             " with the boundary ring, fewer than 2147483648 (a 32-bit node index)");
    const std::string refused = memory_refusal(nodes, base_bytes_per_node, room);
    if (!refused.empty()) c.stop(refused);
  };
  iigrid(c.rd, c.io, c.input(), c.listing(), max_index_nodes, g);
  g.size_check = nullptr;

  if (g.nx <= 0 || g.ny <= 0) c.stop("grid empty or too large");
  const long nxx = g.nx + 2L;
  const long nyy = g.ny + 2L;
  const long nn = nxx * nyy;

  Coin1& c1 = m.coin1;
  m.coin.x_origin = g.x_origin;
  m.coin.y_origin = g.y_origin;
  m.coin.dx = g.dx;
  m.coin.dy = g.dy;
  c1.nx = g.nx;
  c1.ny = g.ny;
  c1.nxx = static_cast<int>(nxx);
  c1.nyy = static_cast<int>(nyy);
  c1.nn = static_cast<int>(nn);

  alloc_flow(m, nn);
  FlowValues& f = m.f;
  mmset(f.zb.data(), nn, 0.0f);
  mmset(f.ks.data(), nn, c.st.ksdef);
  mmset(f.zbr.data(), nn, -9.0e20f);
  mmset(f.veg.data(), nn, c.st.vegdef);

  // Cell values inside a ring of ghost values 0.001; values the file did not
  // give stay at 0.
  std::vector<float> p(static_cast<std::size_t>(nn), 0.001f);
  const std::size_t given = g.values.size();
  for (int j = 2; j <= c1.nyy - 1; ++j) {
    for (int i = 2; i <= c1.nxx - 1; ++i) {
      const std::size_t src = static_cast<std::size_t>(i - 2) +
                              static_cast<std::size_t>(j - 2) * static_cast<std::size_t>(g.nx);
      p[static_cast<std::size_t>(m.node(i, j))] = src < given ? g.values[src] : 0.0f;
    }
  }

  // Cell-centre coordinates relative to the origin.
  c1.xc.assign(static_cast<std::size_t>(nxx) + 1, 0.0f);
  c1.yc.assign(static_cast<std::size_t>(nyy) + 1, 0.0f);
  for (int i = 1; i <= c1.nxx; ++i) c1.xc[static_cast<std::size_t>(i)] = (i - 2) * m.coin.dx;
  for (int j = 1; j <= c1.nyy; ++j) c1.yc[static_cast<std::size_t>(j)] = (j - 2) * m.coin.dy;

  std::string item = trim_both(g.item);
  if (item.empty()) item = "bedlevel";
  c.grid_item = item;
  if (item == "bedlevel") {
    // Bed levels from a file of their own: its projection file, if any,
    // places the run on the map.
    m.cochar.bed_grid_file = g.file != c.io.path(ch::command) ? g.file : std::string();
    mark_outside(c, g.no_data, p);
    mmove(p.data(), f.zb.data(), nn);
  } else if (item == "bedrock") {
    mmove(p.data(), f.zbr.data(), nn);
  } else if (item == "ks") {
    mmove(p.data(), f.ks.data(), nn);
    c1.friction_law = 2;
  } else if (item == "z0") {
    mmove(p.data(), f.ks.data(), nn);
    c1.friction_law = 4;
  } else if (item == "n") {
    bool zero = false;
    for (long k = 0; k < nn; ++k) {
      if (p[static_cast<std::size_t>(k)] == 0.0f) {
        zero = true;  // keeps the default roughness
      } else {
        f.ks[static_cast<std::size_t>(k)] = 1.0f / p[static_cast<std::size_t>(k)];
      }
    }
    c1.friction_law = 1;
    if (zero) {
      c.error("grid item \"n\": Manning n must not be 0 (cells left at the default), " +
              c.rd.where(c.input()));
    }
  } else if (item == "kst") {
    mmove(p.data(), f.ks.data(), nn);
    c1.friction_law = 1;
  } else if (item == "vegetation") {
    mmove(p.data(), f.veg.data(), nn);
  } else if (item == "leakage") {
    mmove(p.data(), f.fleak.data(), nn);
    m.clog.leakage = true;
  } else {
    c.error("unknown item");
  }
  c.drain_section();
}

// -------------------------------------------------------------- >>global

void section_global(Ctx& c) {
  static constexpr std::array<std::string_view, 6> keys = {"kst", "n",          "ks",
                                                           "z0",  "vegetation", "log_law_bezzola"};
  Model& m = c.m;
  int code;
  bool warned = false;
  while ((code = c.next(Keys(keys))) > 0) {
    const std::string_view kw = keys[static_cast<std::size_t>(code - 1)];
    FreeReader fr(c.st.line);
    switch (code) {
      case 1: {
        const float v = c.real(fr, kw);
        c.echo(fmt_f(v, 8, 1));
        if (c.in_range(kw, v)) c.st.ksdef = v;
        m.coin1.friction_law = 1;
        break;
      }
      case 2: {
        const float v = c.real(fr, kw);
        c.echo(fmt_f(v, 8, 3));
        if (c.in_range(kw, v)) c.st.ksdef = 1.0f / v;
        m.coin1.friction_law = 1;
        break;
      }
      case 3: {
        const float v = c.real(fr, kw);
        c.echo(fmt_f(v, 8, 3));
        if (c.in_range(kw, v)) c.st.ksdef = v;
        m.coin1.friction_law = 2;
        break;
      }
      case 4: {
        const float v = c.real(fr, kw);
        c.echo(fmt_f(v, 8, 4));
        if (c.in_range(kw, v)) c.st.ksdef = v;
        m.coin1.friction_law = 4;
        break;
      }
      case 5: {
        const float v = c.real(fr, kw);
        c.echo(fmt_f(v, 7, 3));
        c.st.vegdef = v;  // a value of 0 or less marks no vegetation
        break;
      }
      case 6:
        m.coin1.friction_law = 3;
        c.echo("");
        break;
      default:
        break;
    }
    // The defaults fill the nodes when a grid is read; a grid read before
    // keeps the old ones (Strickler 0.01 at the start: a bed of glue), which
    // nothing else in the listing would show.
    if (code <= 5 && m.f.allocated && !warned) {
      c.warning("defaults after >>grid: its nodes keep the old ones, " + c.where());
      warned = true;
    }
  }
}

// ------------------------------------------------------------ >>initiate

void section_initiate(Ctx& c) {
  static constexpr std::array<std::string_view, 2> keys = {"from", "at"};
  Model& m = c.m;
  int code;
  while ((code = c.next(Keys(keys))) > 0) {
    const std::string_view kw = keys[static_cast<std::size_t>(code - 1)];
    FreeReader fr(c.st.line);
    if (code == 1) {
      m.cochar.initial_file = c.text(fr, kw, 32);
      c.echo("  " + m.cochar.initial_file);
    } else {
      const float v = c.real(fr, kw);
      c.echo("  " + fmt_f(v, 10, 3));
      m.coin.time_initial = v;
    }
  }
  // A missing or damaged file is an error that incon reports. The run
  // starts at the time of the record taken unless "start" names another.
  const float start = m.coin.time;
  int flag = 0;
  incon(m, c.io, c.msg, flag);
  if (c.st.start_given) m.coin.time = start;
}

// ------------------------------------------------------------ >>boundary

namespace {

// Opens a boundary block of `type` with its time series.
void boundary_open(Ctx& c, int type, std::string_view kw) {
  // The previous block is judged now, its warning written once the echo of
  // this line is complete.
  const std::string unplaced = c.unplaced_block();
  auto judged = [&] {
    if (!unplaced.empty()) c.warning(unplaced);
  };
  c.close_block();
  const bool table = c.st.status >= 1;
  const int base = c.st.itab;
  if (base + 6 > max_table) {
    // No room for the block: its values are read and dropped; the end of
    // input reports the full table storage.
    c.refuse_block(InputState::Block::boundary, kw, 10, 3);
    judged();
    return;
  }
  // A single value is read first, so that an unreadable line opens no
  // output file.
  float value = 0.0f;
  if (!table) {
    FreeReader fr(c.st.line);
    value = c.real(fr, kw);
    c.echo(fmt_f(value, 10, 3));
  }
  c.a(base + 1) = static_cast<float>(type);
  c.b(base + 1) = 0.0f;
  c.a(base + 2) = 0.0f;
  c.b(base + 2) = 0.032f;
  c.a(base + 3) = -1.0f;
  c.b(base + 3) = 0.0f;
  const int chan = c.msg.iiout(0, c.st.line, c.listing());
  c.a(base + 4) = static_cast<float>(chan);
  c.b(base + 4) = 0.0f;
  c.a(base + 5) = 0.0f;
  if (chan > 0) c.io.line(chan, "/ TIME[H] DISCHARGE[M3/S] WATERLEVEL[M]");
  int count = 1;
  if (table) {
    count = 99994 - c.st.itab;
    iitbl(c.io, c.msg, count, &c.a(base + 6), &c.b(base + 6), c.input(), c.listing(), kw);
    count = std::clamp(count, 0, 99994 - c.st.itab);
  } else {
    c.a(base + 6) = 0.0f;
    c.b(base + 6) = value;
  }
  judged();
  c.b(base + 5) = static_cast<float>(count);
  // An inflow below 0 would draw the ring below empty, the root of a
  // negative energy slope is no number.
  c.series_in_range(kw, base + 6, count);
  c.st.nd0 = count + 6;
  // Cell count row, filled by "location".
  c.a(base + c.st.nd0) = 0.0f;
  c.b(base + c.st.nd0) = 0.0f;
  c.st.block = InputState::Block::boundary;
  c.st.block_type = type;
  c.st.refused = InputState::Block::none;
  c.st.location_given = false;
  c.st.block_keyword = std::string(kw);
  c.st.block_where = c.where();
}

// Boundary cells of the current block: the centres of the first and last
// real column and row that lie inside the polygon.
void boundary_location(Ctx& c) {
  c.echo("");
  std::vector<float> px, py;
  const int n = c.read_polygon(px, py);
  if (!c.need_grid("location")) return;
  if (!c.current(InputState::Block::boundary, "location", "boundary")) return;
  if (c.st.location_given) {
    c.error(Ctx::kwtext("location") + "given twice for one boundary, " + c.where());
    return;
  }
  const Coin1& c1 = c.m.coin1;
  const int base = c.st.itab;
  const int count_row = base + c.st.nd0;
  int cells = 0;
  auto inside = [&](int i, int j) {
    return iipoly(px.data(), py.data(), n, c1.xc[static_cast<std::size_t>(i)],
                  c1.yc[static_cast<std::size_t>(j)]) != 0;
  };
  auto add = [&](int side, int index) {
    const int row = count_row + cells + 1;
    if (row > max_table) {
      c.st.table_overflow = true;
      return;
    }
    c.a(row) = static_cast<float>(side);
    c.b(row) = static_cast<float>(index);
    ++cells;
  };
  for (int j = 1; j <= c1.nyy; ++j) {
    if (inside(2, j)) add(1, j);
  }
  for (int j = 1; j <= c1.nyy; ++j) {
    if (inside(c1.nxx - 1, j)) add(2, j);
  }
  for (int i = 1; i <= c1.nxx; ++i) {
    if (inside(i, 2)) add(3, i);
  }
  for (int i = 1; i <= c1.nxx; ++i) {
    if (inside(i, c1.nyy - 1)) add(4, i);
  }
  c.a(count_row) = static_cast<float>(cells);
  if (cells == 0) {
    c.warning(Ctx::kwtext("location") + "no boundary node inside the polygon, the \"" +
              c.st.block_keyword + "\" boundary acts on no node, " + c.where());
  }
  c.st.nd0 += cells;
  c.st.nd1 = cells;
  if (c.st.block_type == bt_tide) {
    // Working rows of the tide treatment, one per cell.
    for (int n2 = 0; n2 < cells; ++n2) {
      const int row = base + c.st.nd0 + 1;
      if (row > max_table) {
        c.st.table_overflow = true;
        break;
      }
      c.a(row) = 0.0f;
      c.b(row) = 0.0f;
      ++c.st.nd0;
    }
  }
  c.st.location_given = true;
}

}  // namespace

void section_boundary(Ctx& c) {
  static constexpr std::array<std::string_view, 10> keys = {
      "waterlevel", "weir",  "inflow",        "slope", "tide",
      "location",   "angle", "uniform_slope", "width", "cross_slope"};
  int code;
  while ((code = c.next(Keys(keys))) > 0) {
    const std::string_view kw = keys[static_cast<std::size_t>(code - 1)];
    if (code <= 5) {
      boundary_open(c, code, kw);
      continue;
    }
    if (code == 6) {
      boundary_location(c);
      continue;
    }
    FreeReader fr(c.st.line);
    const float v = c.real(fr, kw);
    c.echo(fmt_f(v, 10, 4));
    if (!c.current(InputState::Block::boundary, kw, "boundary")) continue;
    const int base = c.st.itab;
    switch (code) {
      case 7:
        c.a(base + 2) = v;
        break;
      case 8:
        if (c.in_range(kw, v)) c.b(base + 2) = std::sqrt(v);
        break;
      case 9:
        c.a(base + 3) = v;
        break;
      case 10:
        c.b(base + 3) = v;
        break;
      default:
        break;
    }
  }
  // No "location" can follow in another section.
  c.check_block_place();
}

// ---------------------------------------------------------- >>turbulence

void section_turbulence(Ctx& c) {
  static constexpr std::array<std::string_view, 3> keys = {"viscosity", "cv", "mixing_length"};
  Coin& co = c.m.coin;
  int code;
  while ((code = c.next(Keys(keys))) > 0) {
    const std::string_view kw = keys[static_cast<std::size_t>(code - 1)];
    FreeReader fr(c.st.line);
    const float v = c.real(fr, kw);
    c.echo(code == 1 ? fmt_g(v, 10, 3) : fmt_f(v, 8, 3));
    if (!c.in_range(kw, v)) continue;
    switch (code) {
      case 1:
        co.viscosity = v;
        break;
      case 2:
        co.cv = v;
        break;
      case 3:
        co.mixing_length_sq = v * v;
        break;
      default:
        break;
    }
  }
}

// ------------------------------------------------------------- >>compute

void section_compute(Ctx& c) {
  static constexpr std::array<std::string_view, 8> keys = {
      "start", "end", "steps", "steady", "cfl", "hdry", "2nd", "2nd_boundary"};
  Model& m = c.m;
  int code;
  while ((code = c.next(Keys(keys))) > 0) {
    const std::string_view kw = keys[static_cast<std::size_t>(code - 1)];
    FreeReader fr(c.st.line);
    switch (code) {
      case 1: {
        const float v = c.real(fr, kw);
        c.echo(fmt_f(v, 10, 3));
        m.coin.time = v;
        c.st.start_given = true;
        break;
      }
      case 2: {
        const float v = c.real(fr, kw);
        c.echo(fmt_f(v, 11, 3));
        m.coin.time_end = v;
        // Checked against the start time at the end of the input.
        c.st.end_where = c.where();
        c.st.end_text = c.value_text;
        break;
      }
      case 3: {
        const int v = c.integer(fr, kw);
        c.echo(fmt_i(v, 8));
        m.coin.max_steps = v;
        break;
      }
      case 4:
        m.clog.steady = true;
        c.echo("");
        break;
      case 5: {
        const float v = c.real(fr, kw);
        c.echo(fmt_f(v, 11, 2));
        if (c.in_range(kw, v)) m.coin.cfl = v;
        break;
      }
      case 6: {
        const float v = c.real(fr, kw);
        c.echo(fmt_f(v, 11, 3));
        if (c.in_range(kw, v)) m.coin.hdry = v;
        break;
      }
      case 7:
        m.clog.second_order = true;
        c.echo("");
        c.note(">2nd order  ");
        break;
      case 8:
        m.clog.second_order_boundary = true;
        c.echo("");
        break;
      default:
        break;
    }
  }
}

}  // namespace qf::input
