// Input sections of the mobile bed, sources, output, structures, polygons
// and the two module sections.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <limits>
#include <unordered_set>

#include "input/input_detail.h"
#include "model/projection.h"

namespace qf::input {

// ---------------------------------------------------------- >>mobile_bed

void section_mobile_bed(Ctx& c) {
  static constexpr std::array<std::string_view, 5> keys = {"d30", "d50", "d90", "tcrit",
                                                           "time_factor"};
  Model& m = c.m;
  Csed& s = m.csed;
  int code;
  while ((code = c.next(Keys(keys))) > 0) {
    const std::string_view kw = keys[static_cast<std::size_t>(code - 1)];
    FreeReader fr(c.st.line);
    const float v = c.real(fr, kw);
    c.echo(code == 5 ? fmt_f(v, 8, 1) : fmt_f(v, 10, 3));
    // A grain size of 0 or less has no threshold of motion: the whole bed
    // would move under the slightest flow.
    if (!c.in_range(kw, v)) continue;
    switch (code) {
      case 1:
        s.d30 = v;
        break;
      case 2:
        s.d50 = v;
        m.clog.mobile_bed = true;
        c.note(">mobile bed ");
        break;
      case 3:
        s.d90 = v;
        break;
      case 4:
        s.theta_crit = v;
        break;
      case 5:
        s.time_factor = v;
        if (v > 1.0f) c.screen("!bed changes accelerated by factor" + fmt_list(v));
        break;
      default:
        break;
    }
  }
  if (m.clog.mobile_bed) {
    s.d30 = std::min(s.d30, s.d50);
    s.d90 = std::max(s.d50, s.d90);
  }
}

// -------------------------------------------------------------- >>source

namespace {

// True when node k (1-based) lies outside the model (a no-data bed level).
bool outside_model(const Model& m, int k) {
  return k >= 1 && static_cast<std::size_t>(k) <= m.f.outside.size() &&
         m.f.outside[static_cast<std::size_t>(k - 1)] != 0;
}

void source_open(Ctx& c, int code, std::string_view kw) {
  Model& m = c.m;
  // The previous block is judged now, its warning written once the echo of
  // this line is complete.
  const std::string unplaced = c.unplaced_block();
  auto judged = [&] {
    if (!unplaced.empty()) c.warning(unplaced);
  };
  c.close_block();
  if (code == 3 || code == 4) {
    m.clog.transport = true;
    m.coin1.item_count = 1;
    m.coin1.item_code[0] = code == 3 ? 12 : 13;
  }
  const bool table = c.st.status >= 1;
  const int base = c.st.itab;
  if (base + 2 > max_table) {
    c.refuse_block(InputState::Block::source, kw, 8, 2);
    judged();
    return;
  }
  c.a(base + 1) = static_cast<float>(code == 4 ? bt_load : code + 10);
  c.b(base + 1) = 0.0f;
  c.a(base + 2) = 0.0f;
  int count = 0;
  if (table) {
    count = 99998 - c.st.itab;
    iitbl(c.io, c.msg, count, &c.a(base + 3), &c.b(base + 3), c.input(), c.listing(), kw);
    count = std::clamp(count, 0, 99998 - c.st.itab);
  } else {
    FreeReader fr(c.st.line);
    const float v = c.real(fr, kw);
    c.echo(fmt_f(v, 8, 2));
    c.a(base + 3) = 0.0f;
    c.b(base + 3) = v;
    count = 1;
  }
  judged();
  if (code == 1) {
    // Precipitation is given in mm/h and held in m/s.
    for (int r = 0; r < count; ++r) c.b(base + 3 + r) *= 2.77778e-7f;
  }
  c.b(base + 2) = static_cast<float>(count);
  c.st.nd0 = count + 2;
  c.st.block = InputState::Block::source;
  c.st.block_type = static_cast<int>(c.a(base + 1));
  c.st.refused = InputState::Block::none;
  c.st.block_keyword = std::string(kw);
  c.st.block_where = c.where();
}

void source_point(Ctx& c, std::string_view kw) {
  FreeReader fr(c.st.line);
  const double x = c.real64(fr, kw);
  const double y = c.real64(fr, kw);
  c.echo(fmt_f(x, 12, 1) + fmt_f(y, 12, 1));
  if (!c.need_grid(kw)) return;
  if (!c.current(InputState::Block::source, kw, "source")) return;
  int i = 0, j = 0, k = 0;
  getpos(c.m, static_cast<float>(x - c.m.coin.x_origin), static_cast<float>(y - c.m.coin.y_origin),
         i, j, k, &c.msg, c.listing());
  if (outside_model(c.m, k)) {
    // Water put into a wall would pour down from its top: no point.
    c.warning("point outside the model (no-data bed level)");
    k = 0;
  }
  if (k == 0) {
    c.warning(Ctx::kwtext(kw) + "the \"" + c.st.block_keyword + "\" source of " + c.st.block_where +
              " acts on no node, " + c.where());
  }
  c.a(c.st.itab + 2) = static_cast<float>(k);
  c.st.location_given = true;
}

}  // namespace

void section_source(Ctx& c) {
  static constexpr std::array<std::string_view, 5> keys = {"precipitation", "discharge",
                                                           "tracer_load", "thermal_load", "point"};
  int code;
  while ((code = c.next(Keys(keys))) > 0) {
    const std::string_view kw = keys[static_cast<std::size_t>(code - 1)];
    if (code <= 4) {
      source_open(c, code, kw);
    } else {
      source_point(c, kw);
    }
  }
  // No "point" can follow in another section.
  c.check_block_place();
}

// -------------------------------------------------------------- >>output

namespace {

int plot_code(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, int>, 17> table = {{
      {"flowdepth", 1},
      {"waterlevel", 2},
      {"velocity", 3},
      {"flow", 4},
      {"froude", 5},
      {"bedlevel", 6},
      {"bedshear", 7},
      {"bedload", 8},
      {"ks", 9},
      {"z0", 9},
      {"n", 10},
      {"kst", 11},
      {"viscosity", 14},
      {"draught", 15},
      {"vegetation", 16},
      {"energylevel", 17},
      {"inundation", 18},
  }};
  for (const auto& [n, code] : table) {
    if (n == name) return code;
  }
  return 0;
}

void plot_item(Ctx& c, std::string_view kw) {
  Coin1& c1 = c.m.coin1;
  FreeReader fr(c.st.line);
  // No item has a longer name: a longer one is an unknown item.
  const std::string name = c.text(fr, kw, 128);
  c.echo(" " + name);
  if (name == "initial") {
    const int keep = std::min<int>(c1.item_count, max_items - 3);
    if (keep < c1.item_count) c.warning("too many result items: " + pad(name, 16));
    for (int n = keep - 1; n >= 0; --n) {
      c1.item_code[static_cast<std::size_t>(n + 3)] = c1.item_code[static_cast<std::size_t>(n)];
    }
    c1.item_code[0] = 1;
    c1.item_code[1] = 21;
    c1.item_code[2] = 22;
    c1.item_count = keep + 3;
    c.st.initial_items = true;
    return;
  }
  if (name == "flowdepth" && c.st.initial_items) return;
  const int code = plot_code(name);
  if (code == 0) {
    c.warning("unknown item: " + name + ", " + c.where());
    return;
  }
  if (c1.item_count >= max_items) {
    c.warning("too many result items: " + pad(name, 16));
    return;
  }
  c1.item_code[static_cast<std::size_t>(c1.item_count)] = code;
  ++c1.item_count;
}

// "EPSG:" and a number, any letter case.
bool epsg_code(std::string_view s) {
  if (s.size() < 6) return false;
  for (std::size_t i = 0; i < 4; ++i) {
    if (std::toupper(static_cast<unsigned char>(s[i])) != "EPSG"[i]) return false;
  }
  if (s[4] != ':') return false;
  return std::all_of(s.begin() + 5, s.end(),
                     [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)) != 0; });
}

void crs_keyword(Ctx& c, std::string_view kw) {
  FreeReader fr(c.st.line);
  const std::string v = c.text(fr, kw, 1024);
  c.echo("  " + v);
  if (epsg_code(v)) {
    c.m.cochar.crs = "EPSG:" + v.substr(5);
    // Turning a code into WKT takes a projection database, which the
    // simulator does not carry: the code goes beside the result and
    // max-value files, the export program resolves it.
    c.io.line(c.listing(), " >crs " + c.m.cochar.crs +
                               ": the ESRI grids get no .prj (WKT needs a projection database);" +
                               " quellfax-export resolves the code for NetCDF and GeoTIFF");
    return;
  }
  std::string wkt;
  if (!read_wkt_file(v, wkt)) {
    c.error(Ctx::kwtext(kw) + "'" + v +
            "' is neither an EPSG code (EPSG:number) nor a readable file of WKT text, " +
            c.where());
    return;
  }
  c.m.cochar.crs = v;
}

void gauge_keyword(Ctx& c, std::string_view kw) {
  Model& m = c.m;
  FreeReader fr(c.st.line);
  const double x = c.real64(fr, kw);
  const double y = c.real64(fr, kw);
  const std::string name = c.text(fr, kw, 32);
  c.echo(fmt_f(x, 12, 1) + fmt_f(y, 12, 1) + "  " + name);
  if (!c.need_grid(kw)) return;
  for (const Gauge& g : m.coin1.gauges) {
    if (g.name == name) {
      c.error(Ctx::kwtext(kw) + "gauge '" + name + "' is named twice, " + c.where());
      return;
    }
  }
  Gauge g;
  g.name = name;
  g.x = x;
  g.y = y;
  getpos(m, static_cast<float>(x - m.coin.x_origin), static_cast<float>(y - m.coin.y_origin), g.i,
         g.j, g.k, nullptr, c.listing());
  if (g.k == 0) {
    c.warning(Ctx::kwtext(kw) + "gauge '" + name + "' lies outside the grid, no values, " +
              c.where());
  } else if (outside_model(m, g.k)) {
    c.warning(Ctx::kwtext(kw) + "gauge '" + name +
              "' lies on a no-data cell outside the model, no values, " + c.where());
    g.k = 0;
  }
  m.coin1.gauges.push_back(g);
}

}  // namespace

void section_output(Ctx& c) {
  static constexpr std::array<std::string_view, 11> keys = {
      "to",        "interval", "max_values", "no_data", "plot",      "dt_out",
      "max_depth", "max_flow", "crs",        "gauge",   "checkpoint"};
  Model& m = c.m;
  int code;
  while ((code = c.next(Keys(keys))) > 0) {
    const std::string_view kw = keys[static_cast<std::size_t>(code - 1)];
    FreeReader fr(c.st.line);
    switch (code) {
      case 1:
        m.cochar.result_file = c.text(fr, kw, 32);
        c.echo("  " + m.cochar.result_file);
        break;
      case 2: {
        const float v = c.real(fr, kw);
        c.echo(fmt_f(v, 10, 2));
        // An interval of 0 would write a record at every step.
        if (c.in_range(kw, v)) m.coin.result_interval = v;
        break;
      }
      case 3:
        m.cochar.max_value_file = c.text(fr, kw, 32);
        c.echo("  " + m.cochar.max_value_file);
        break;
      case 4: {
        const float v = c.real(fr, kw);
        c.echo(fmt_f(v, 12, 1));
        m.clog.no_data_set = true;
        m.coin.no_data = v;
        break;
      }
      case 5:
        plot_item(c, kw);
        break;
      case 6: {
        const float v = c.real(fr, kw);
        c.echo(fmt_f(v, 10, 3));
        if (c.in_range(kw, v)) m.coin.dt_out = v;
        break;
      }
      case 7:
        m.cochar.max_depth_file = c.text(fr, kw, 32);
        c.echo("  " + m.cochar.max_depth_file);
        break;
      case 8:
        m.cochar.max_flow_file = c.text(fr, kw, 32);
        c.echo("  " + m.cochar.max_flow_file);
        break;
      case 9:
        crs_keyword(c, kw);
        break;
      case 10:
        gauge_keyword(c, kw);
        break;
      case 11: {
        const float v = c.real(fr, kw);
        c.echo(fmt_f(v, 10, 3));
        if (c.in_range(kw, v)) m.coin.checkpoint_interval = v;
        break;
      }
      default:
        break;
    }
  }
  if (m.coin1.item_count == 0) default_items(m);
}

// ----------------------------------------------------------- >>structure

namespace {

void culvert_open(Ctx& c, std::string_view kw) {
  Model& m = c.m;
  FreeReader fr(c.st.line);
  std::array<double, 4> v{};
  for (double& d : v) d = c.real64(fr, kw);
  c.echo(fmt_f(v[0], 12, 2) + fmt_f(v[1], 12, 2) + fmt_f(v[2], 12, 2) + fmt_f(v[3], 12, 2));
  c.close_block();
  if (!c.need_grid(kw)) {
    c.st.refused = InputState::Block::culvert;
    return;
  }
  int i1 = 0, j1 = 0, k1 = 0, i2 = 0, j2 = 0, k2 = 0;
  getpos(m, static_cast<float>(v[0] - m.coin.x_origin), static_cast<float>(v[1] - m.coin.y_origin),
         i1, j1, k1, &c.msg, c.listing());
  getpos(m, static_cast<float>(v[2] - m.coin.x_origin), static_cast<float>(v[3] - m.coin.y_origin),
         i2, j2, k2, &c.msg, c.listing());
  if (k1 == 0 || k2 == 0 || outside_model(m, k1) || outside_model(m, k2)) {
    c.warning("culvert out of domain");
    c.st.refused = InputState::Block::culvert;
    return;
  }
  const int base = c.st.itab;
  if (base + 6 > max_table) {
    c.st.table_overflow = true;
    c.st.refused = InputState::Block::culvert;
    return;
  }
  const auto& xc = m.coin1.xc;
  const auto& yc = m.coin1.yc;
  const float ddx = xc[static_cast<std::size_t>(i1)] - xc[static_cast<std::size_t>(i2)];
  const float ddy = yc[static_cast<std::size_t>(j1)] - yc[static_cast<std::size_t>(j2)];
  const int chan = c.msg.iiout(0, c.st.line, c.listing());
  if (chan > 0) c.io.line(chan, "/TIME[H] DISCHARGE[M3/S] TYPE (1:CRIT 2=UNI 3=GATED 4=PRESS)");
  c.a(base + 1) = static_cast<float>(bt_culvert);
  c.b(base + 1) = 6.0f;
  c.a(base + 2) = static_cast<float>(k1);
  c.b(base + 2) = static_cast<float>(k2);
  c.a(base + 3) = 1.0f;
  c.b(base + 3) = -1.0f;
  c.a(base + 4) = 50.0f;
  c.b(base + 4) = 0.5f;
  c.a(base + 5) = std::sqrt(ddx * ddx + ddy * ddy);
  c.b(base + 5) = static_cast<float>(chan);
  c.a(base + 6) = 0.0f;
  c.b(base + 6) = 0.0f;
  c.st.nd0 = 6;
  c.st.block = InputState::Block::culvert;
  c.st.block_type = bt_culvert;
  c.st.refused = InputState::Block::none;
}

}  // namespace

void section_structure(Ctx& c) {
  static constexpr std::array<std::string_view, 7> keys = {
      "culvert", "diameter", "width", "height", "n", "kst", "inlet_loss"};
  int code;
  while ((code = c.next(Keys(keys))) > 0) {
    const std::string_view kw = keys[static_cast<std::size_t>(code - 1)];
    if (code == 1) {
      culvert_open(c, kw);
      continue;
    }
    FreeReader fr(c.st.line);
    const float v = c.real(fr, kw);
    c.echo(code <= 4 ? fmt_f(v, 10, 2) : fmt_f(v, 10, 3));
    if (!c.current(InputState::Block::culvert, kw, "culvert")) continue;
    if (!c.in_range(kw, v)) continue;
    const int base = c.st.itab;
    switch (code) {
      case 2:
        c.a(base + 3) = v;
        c.b(base + 3) = -1.0f;
        break;
      case 3:
        c.a(base + 3) = v;
        break;
      case 4:
        c.b(base + 3) = v;
        break;
      case 5:
        c.a(base + 4) = 1.0f / v;
        break;
      case 6:
        c.a(base + 4) = v;
        break;
      case 7:
        c.b(base + 4) = v;
        break;
      default:
        break;
    }
  }
}

// ------------------------------------------------------------- >>polygon

namespace {

struct Poly {
  std::vector<float> x, y;
  int n = 0;
};

// Floor level of an erodable node: the lowest bed level outside the polygon
// on the nearest ring of cells around it (axis cells first, then the
// diagonal ones), never above the node's own bed level.
float floor_level(const Model& m, const Poly& p, int i, int j) {
  const Coin1& c1 = m.coin1;
  const float own = m.f.zb[static_cast<std::size_t>(m.node(i, j))];
  const int smax = std::max({i - 1, c1.nxx - i, j - 1, c1.nyy - j, 1});
  auto lowest_outside = [&](const std::array<std::pair<int, int>, 4>& cells, float& level) {
    bool found = false;
    for (auto [ci, cj] : cells) {
      ci = std::clamp(ci, 1, c1.nxx);
      cj = std::clamp(cj, 1, c1.nyy);
      if (iipoly(p.x.data(), p.y.data(), p.n, c1.xc[static_cast<std::size_t>(ci)],
                 c1.yc[static_cast<std::size_t>(cj)]) == 0) {
        const float z = m.f.zb[static_cast<std::size_t>(m.node(ci, cj))];
        level = found ? std::min(level, z) : z;
        found = true;
      }
    }
    return found;
  };
  for (int s = 1; s <= smax; ++s) {
    float level = 0.0f;
    if (lowest_outside({{{i - s, j}, {i + s, j}, {i, j - s}, {i, j + s}}}, level) ||
        lowest_outside({{{i - s, j - s}, {i + s, j - s}, {i - s, j + s}, {i + s, j + s}}}, level)) {
      return std::min(own, level);
    }
  }
  return own;
}

void check_friction(Ctx& c, int code, std::string_view kw) {
  const int law = c.m.coin1.friction_law;
  bool ok = true;
  switch (code) {
    case 4:
    case 5:
      ok = law == 1;
      break;
    case 6:
      ok = law == 2 || law == 3;
      break;
    case 7:
      ok = law == 4;
      break;
    default:
      return;
  }
  if (ok) return;
  c.error(law == 0 ? "default value not defined: " + Ctx::kwtext(kw) +
                         "no friction law set in >>global, " + c.where()
                   : "multiple friction laws: " + Ctx::kwtext(kw) +
                         "not for the friction law set in >>global, " + c.where());
}

void polygon_keyword(Ctx& c, int code, std::string_view kw) {
  Model& m = c.m;
  FreeReader fr(c.st.line);
  float v = 0.0f;
  float tau = 50.0f, divisor = 10.0f, hmin = 0.0f;
  if (code == 14) {
    if (c.optional_real(fr, kw, tau) && c.optional_real(fr, kw, divisor)) {
      c.optional_real(fr, kw, hmin);
    }
    c.echo(fmt_f(tau, 8, 2) + fmt_f(divisor, 8, 2) + fmt_f(hmin, 8, 2));
  } else {
    v = c.real(fr, kw);
    c.echo(fmt_f(v, 12, 3));
  }
  check_friction(c, code, kw);
  const bool apply = code == 14 || c.in_range(kw, v);
  Poly p;
  p.n = c.read_polygon(p.x, p.y);
  if (!c.need_grid(kw) || !apply) return;
  const auto no_node = [&] {
    c.warning(Ctx::kwtext(kw) + "no node inside the polygon, the keyword acts on no node, " +
              c.where());
  };
  if (p.n == 0) return no_node();

  Coin1& c1 = m.coin1;
  FlowValues& f = m.f;
  const auto [xmin, xmax] = std::minmax_element(p.x.begin(), p.x.end());
  const auto [ymin, ymax] = std::minmax_element(p.y.begin(), p.y.end());
  auto xc = [&](int i) { return c1.xc[static_cast<std::size_t>(i)]; };
  auto yc = [&](int j) { return c1.yc[static_cast<std::size_t>(j)]; };
  if (*xmax < xc(1) || *xmin > xc(c1.nxx) || *ymax < yc(1) || *ymin > yc(c1.nyy)) return no_node();
  // Columns from the last centre at or west of the box to the first centre
  // at or east of it; rows alike.
  int i0 = 1, i1 = c1.nxx, j0 = 1, j1 = c1.nyy;
  for (int i = 1; i <= c1.nxx; ++i) {
    if (xc(i) <= *xmin) i0 = i;
  }
  for (int i = c1.nxx; i >= 1; --i) {
    if (xc(i) >= *xmax) i1 = i;
  }
  for (int j = 1; j <= c1.nyy; ++j) {
    if (yc(j) <= *ymin) j0 = j;
  }
  for (int j = c1.nyy; j >= 1; --j) {
    if (yc(j) >= *ymax) j1 = j;
  }

  const bool keeps_outside = code == 1 || code == 2 || code == 10 || code == 11 || code == 14;
  std::unordered_set<int> known;
  if (code == 14) known.insert(c1.erod_node.begin(), c1.erod_node.end());
  bool full_warned = false;
  long selected = 0;

  for (int j = j0; j <= j1; ++j) {
    for (int i = i0; i <= i1; ++i) {
      if (igpoly(p.x.data(), p.y.data(), p.n, xc(i), yc(j)) == 0) continue;
      const std::size_t e = static_cast<std::size_t>(m.node(i, j));
      const int k = m.node(i, j) + 1;
      // A node outside the model keeps its wall: no bed change, no water,
      // no erosion.
      if (keeps_outside && e < f.outside.size() && f.outside[e] != 0) continue;
      ++selected;
      switch (code) {
        case 1:
          f.zb[e] += v;
          break;
        case 2:
          f.zb[e] = v;
          break;
        case 3:
          f.zbr[e] = v;
          break;
        case 4:
        case 6:
        case 7:
          f.ks[e] = v;
          break;
        case 5:
          f.ks[e] = 1.0f / v;
          break;
        case 8:
          f.veg[e] = v;
          break;
        case 9:
          f.fleak[e] = v;
          m.clog.leakage = true;
          break;
        case 10:
          f.h[e] = std::max(v - f.zb[e], 0.0f);
          break;
        case 11:
          f.h[e] = v;
          break;
        case 12:
          f.hfloat[e] = v;
          break;
        case 13:
          f.hfloat[e] = v + 1000.0f;
          break;
        case 14: {
          if (known.count(k) != 0) break;
          if (c1.nerod >= max_erod) {
            if (!full_warned) c.warning("too many erodable nodes");
            full_warned = true;
            break;
          }
          ErodRecord rec;
          rec.tau_crit = tau;
          rec.divisor = std::max(divisor, 1.0f);
          rec.hmin = hmin;
          rec.floor = floor_level(m, p, i, j);
          c1.erod_node.push_back(k);
          c1.erod.push_back(rec);
          ++c1.nerod;
          known.insert(k);
          break;
        }
        default:
          break;
      }
    }
  }
  if (selected == 0) no_node();
}

}  // namespace

void section_polygon(Ctx& c) {
  static constexpr std::array<std::string_view, 14> keys = {
      "add",        "bedlevel", "bedrock",    "kst",       "n",     "ks",     "z0",
      "vegetation", "leakage",  "waterlevel", "flowdepth", "float", "bridge", "erodable"};
  int code;
  while ((code = c.next(Keys(keys))) > 0) {
    polygon_keyword(c, code, keys[static_cast<std::size_t>(code - 1)]);
  }
}

// ----------------------------------------------------------- >>module1/2

void section_module(Ctx& c, int which) {
  static constexpr std::array<std::string_view, 3> keys = {"integer", "real", "string"};
  Comn1& r = c.m.comn1;
  c.screen(which == 1 ? ">loading module 1" : ">loading module 2");
  int code;
  while ((code = c.next(Keys(keys))) > 0) {
    FreeReader fr(c.st.line);
    switch (code) {
      case 1: {
        int v = 0;
        if (fr.read(v) != ReadStatus::ok) c.fatal("heee...?");
        r.module_int = v;
        c.echo("  " + fmt_i(v, 8));
        break;
      }
      case 2: {
        float v = 0;
        if (fr.read(v) != ReadStatus::ok) c.fatal("heee...?");
        r.module_real = v;
        c.echo("  " + fmt_f(v, 11, 2));
        break;
      }
      case 3: {
        std::string v;
        if (fr.read(v, 32) != ReadStatus::ok) c.fatal("heee...?");
        r.module_text = std::string(trim_right(v));
        c.echo("  " + r.module_text);
        break;
      }
      default:
        break;
    }
  }
}

}  // namespace qf::input
