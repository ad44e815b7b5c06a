// The contour plot routine: set-up, drawing, the key and the sub-commands
// of its menu (nearest node, value at the cursor, mesh, inquiries, sum
// curve, exports, shading, help).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "graphics/dialog.h"
#include "graphics/internal.h"
#include "io/textio.h"
#include "viewer/viewer.h"

namespace qf {

namespace {

// Menu entries appended by the set-up and their help lines.
const auto& kEntries = kContourMenu;
constexpr const char* kHelp[8] = {" Nearest  queries for nearest node",
                                  " Examine  gives value at current cursor location",
                                  " Grid     displays edges of mesh",
                                  " Alter    for editing z-values of nodes",
                                  " Inquire  to query z-values for given points",
                                  " Sum      returns sum-curve of z-values",
                                  " Write    stores grid values on file",
                                  " Shading  displays shaded view of current data."};

// The field handed to the plot routine.
struct Field {
  const float* x;
  const float* y;
  const float* f;
  int ld, nx, ny;
  float nodata;
  std::size_t at(int i, int j) const {
    return static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ld;
  }
  bool valid(std::size_t k) const { return f[k] > nodata + 0.1f; }
};

// Calls fn(cx, cy, cf) for the four corners of every cell.
template <class Fn>
void each_cell(const Field& d, Fn fn) {
  float cx[4], cy[4], cf[4];
  for (int j = 0; j + 1 < d.ny; ++j)
    for (int i = 0; i + 1 < d.nx; ++i) {
      const std::size_t k[4] = {d.at(i, j), d.at(i + 1, j), d.at(i + 1, j + 1), d.at(i, j + 1)};
      for (int c = 0; c < 4; ++c) {
        cx[c] = d.x[k[c]];
        cy[c] = d.y[k[c]];
        cf[c] = d.f[k[c]];
      }
      fn(cx, cy, cf, k);
    }
}

// Contour lines of the given levels through the cells whose corners all
// hold values (lines towards missing values would only trace the edge of
// the data).
void draw_lines(Graphics& g, const Field& d, const float* levels, int nlev) {
  each_cell(d, [&](const float* cx, const float* cy, const float* cf, const std::size_t* k) {
    for (int c = 0; c < 4; ++c)
      if (!d.valid(k[c])) return;
    grmon3(g, cx, cy, cf, cf, 4, levels, nlev);
  });
}

void draw_mesh(Graphics& g, const Field& d) {
  grcolr(g, 0);
  for (int i = 0; i < d.nx; ++i) {
    grmov2(g, d.x[d.at(i, 0)], d.y[d.at(i, 0)]);
    for (int j = 1; j < d.ny; ++j) grdrw2(g, d.x[d.at(i, j)], d.y[d.at(i, j)]);
  }
  for (int j = 0; j < d.ny; ++j) {
    grmov2(g, d.x[d.at(0, j)], d.y[d.at(0, j)]);
    for (int i = 1; i < d.nx; ++i) grdrw2(g, d.x[d.at(i, j)], d.y[d.at(i, j)]);
  }
  grdump(g);
}

void draw_boundary(Graphics& g, const Field& d) {
  grcolr(g, 0);
  auto to = [&](int i, int j, bool first) {
    const std::size_t k = d.at(i, j);
    if (first)
      grmov3(g, d.x[k], d.y[k], d.f[k]);
    else
      grdrw3(g, d.x[k], d.y[k], d.f[k]);
  };
  to(0, 0, true);
  for (int i = 1; i < d.nx; ++i) to(i, 0, false);
  for (int j = 1; j < d.ny; ++j) to(d.nx - 1, j, false);
  for (int i = d.nx - 2; i >= 0; --i) to(i, d.ny - 1, false);
  for (int j = d.ny - 2; j >= 0; --j) to(0, j, false);
  grdump(g);
}

// Cell size in pixels (the smaller of the mean spacings in x and y).
float cell_pixels(const Graphics& g, const Field& d) {
  const float sx = std::fabs((d.x[d.at(d.nx - 1, 0)] - d.x[0]) * g.n.XFACGR) / (d.nx - 1);
  const float sy = std::fabs((d.y[d.at(0, d.ny - 1)] - d.y[0]) * g.n.YFACGR) / (d.ny - 1);
  return std::min(sx, sy);
}

void draw(Graphics& g, ContourState& cs, const Field& d, const float* levels) {
  const Grcomn& s = g.n;
  const int ncol = std::max(std::abs(s.NCOLGR), 1);
  if (d.nx < 1 || d.ny < 1) return;
  if (cs.classes && d.nx > 1 && d.ny > 1) {
    const bool rows = grscreen(g) && s.ON3DGR == 0 && s.HTCHGR <= 0 &&
                      (cs.raster > 0 || (cs.raster == 0 && cell_pixels(g, d) < kRasterCell));
    if (!rows || !grcrast(g, d.x, d.y, d.f, d.ld, d.nx, d.ny, levels, ncol)) {
      const bool three_d = s.ON3DGR != 0;
      // A polygon shapefile gets the class limits of each area.
      g.mode.class_levels.assign(levels, levels + ncol + 1);
      g.mode.class_lower = s.IN07GR ? 1 : 0;
      each_cell(d, [&](const float* cx, const float* cy, const float* cf, const std::size_t*) {
        if (three_d)
          grcol3(g, cx, cy, cf, cf, 4, levels, ncol);
        else
          grcol2(g, cx, cy, cf, 4, levels, ncol);
      });
      g.mode.class_levels.clear();
    }
    grcolr(g, 0);
  }
  if (s.IN14GR) {
    std::vector<float> mid;
    if (cs.classes)
      for (int k = 0; k + 1 < ncol; ++k) mid.push_back(levels[k] + (levels[1] - levels[0]) / 2);
    grcolr(g, cs.line_colour);
    draw_lines(g, d, levels, ncol);
    if (!mid.empty()) {
      grdash(g, 3);
      draw_lines(g, d, mid.data(), static_cast<int>(mid.size()));
      grdash(g, 1);
    }
    grdump(g);
  }
  if (s.LABLGR) {
    each_cell(d, [&](const float* cx, const float* cy, const float* cf, const std::size_t* k) {
      for (int c = 0; c < 4; ++c)
        if (!d.valid(k[c])) return;
      grwrit(g, cx, cy, cf, 4, levels, ncol + 1, d.nx, d.ny);
    });
  }
  grcolr(g, 0);
  if (s.IN12GR) draw_boundary(g, d);
  grcolr(g, 0);
  if (cs.mesh) draw_mesh(g, d);
}

void setup(Graphics& g, Viewer& v, const Field& d, float* levels, int& options, float extent[4]) {
  float xlo = 0, xhi = 0, ylo = 0, yhi = 0;
  float vlow = 9.0e20f;
  bool first = true;
  for (int j = 0; j < d.ny; ++j)
    for (int i = 0; i < d.nx; ++i) {
      const std::size_t k = d.at(i, j);
      if (first) {
        xlo = xhi = d.x[k];
        ylo = yhi = d.y[k];
        first = false;
      }
      xlo = std::min(xlo, d.x[k]);
      xhi = std::max(xhi, d.x[k]);
      ylo = std::min(ylo, d.y[k]);
      yhi = std::max(yhi, d.y[k]);
      if (d.valid(k)) vlow = std::min(vlow, d.f[k]);
    }
  extent[0] = xlo;
  extent[1] = xhi;
  extent[2] = ylo;
  extent[3] = yhi;
  g.n.VLOWGR = vlow;
  v.contour.classes = (options & 2) ? 1 : 0;
  if (options & 4) {
    grcfil(g, d.f, d.ld, d.nx, d.ny, d.nodata, levels);
    options &= ~4;
  }
  // A second set-up (the loop asks again for the extent) keeps one set of entries.
  const std::size_t m = v.menu.size();
  bool there = m >= 9;
  for (std::size_t k = 0; k < 9 && there; ++k) there = v.menu[m - 9 + k] == pad(kEntries[k], 16);
  if (!there)
    for (std::string_view e : kEntries) v.menu.push_back(pad(e, 16));
}

void key(Graphics& g, ContourState& cs, float* levels, int mode1) {
  const int n = std::max(std::abs(g.n.NCOLGR), 1) + 1;
  std::vector<float> lv(levels, levels + n);
  int below = 1;
  grkey2(g, lv, mode1, below, cs.line_colour);
}

// The key's settings form; new levels go back into the caller's array
// (room for kLevelRoom values) and a redraw is queued.
void key_settings(Graphics& g, float* levels) {
  Grcomn& n = g.n;
  const int before = std::max(std::abs(n.NCOLGR), 1) + 1;
  std::vector<float> lv(levels, levels + before);
  int below = n.IN07GR ? 0 : 1;
  grkey2(g, lv, 0, below, 0);
  if (n.NCOLGR + 1 > kLevelRoom) n.NCOLGR = kLevelRoom - 1;
  const int count = std::min<int>(static_cast<int>(lv.size()), n.NCOLGR + 1);
  std::copy(lv.begin(), lv.begin() + count, levels);
  n.IN07GR = below ? 0 : 1;
  const std::string r = pad("R", kScriptLen);
  grscpt(g, 1, &r, kScriptLen);
}

void nearest(Graphics& g, const Field& d) {
  int i = 1, j = 1;
  grnear(g, d.x, d.y, d.nx, d.ny, d.ld, i, j);
  const std::size_t k = d.at(i - 1, j - 1);
  grmesg(g, "(X,Y):" + fmt_f(grwx(g, d.x[k]), 11, 2) + fmt_f(grwy(g, d.y[k]), 11, 2) +
                " (I,J):" + fmt_i(i, 5) + fmt_i(j, 5) + " F:" + fmt_f(d.f[k], 11, 3));
}

void examine(Graphics& g, const Field& d) {
  const float px = g.n.XCRSGR, py = g.n.YCRSGR;
  float v = 0;
  if (!grloct(g, d.x, d.y, d.f, d.ld, d.nx, d.ny, px, py, v)) {
    grmesg(g, "Could not find cell in GRLOCT");
    return;
  }
  grmov2(g, px, py);
  grsymb(g, 2);
  grjout(g, fmt_list(grwx(g, px)) + fmt_list(grwy(g, py)) + fmt_list(v) + " /xyz");
  grcolr(g, 0);
  draw_lines(g, d, &v, 1);
  grdump(g);
  grmesg(g, "Contour added at F:" + fmt_g(v, 12, 5));
}

void grid_switch(Graphics& g, ContourState& cs, const Field& d) {
  cs.mesh = cs.mesh ? 0 : 1;
  if (cs.mesh) {
    draw_mesh(g, d);
    grflip(g);
  } else {
    const std::string r = pad("R", kScriptLen);
    grscpt(g, 1, &r, kScriptLen);
  }
}

// Points (world coordinates) from a text file: x and y in the first two
// columns; empty lines and lines starting with "#" are passed over. False,
// with the reason in the message line, for a file that cannot be read.
bool read_points(Graphics& g, Viewer& v, std::vector<double>& px, std::vector<double>& py,
                 std::string& name) {
  const int ch = g.n.JDV2GR;
  std::string dir;
  int mode = 0;
  name.clear();
  gropn(g, v.chooser, ch, name, dir, mode);
  std::FILE* fp = g.files.get(ch);
  if (name.empty() || !fp) return false;
  int line = 0;
  bool ok = true;
  std::string l;
  for (;;) {
    l.clear();
    int c;
    while ((c = std::fgetc(fp)) != EOF && c != '\n') l += static_cast<char>(c);
    if (c == EOF && l.empty()) break;
    ++line;
    if (!l.empty() && l.back() == '\r') l.pop_back();
    const std::size_t b = l.find_first_not_of(" \t");
    if (b == std::string::npos || l[b] == '#') continue;
    std::replace(l.begin(), l.end(), '\t', ' ');
    FreeReader r(l);
    double a = 0, b2 = 0;
    const ReadStatus s1 = r.read(a);
    const ReadStatus s2 = s1 == ReadStatus::ok ? r.read(b2) : s1;
    if (s1 != ReadStatus::ok || s2 != ReadStatus::ok) {
      const std::string bad = r.bad_token().empty() ? std::string("(missing)") : r.bad_token();
      const std::string msg = name + " line " + std::to_string(line) + ": not a number: " + bad;
      grmesg(g, msg);
      grjout(g, msg);
      ok = false;
      break;
    }
    px.push_back(a);
    py.push_back(b2);
  }
  g.files.close(ch);
  if (ok && px.empty()) {
    grmesg(g, name + ": no points");
    ok = false;
  }
  return ok;
}

void show_lines(Graphics& g, const std::vector<std::string>& lines) {
  for (const std::string& l : lines) grjout(g, l);
  grtext(g, lines.data(), static_cast<int>(lines.size()));
}

std::string point_line(double wx, double wy, float v) {
  return fmt_f(wx, 12, 2) + fmt_f(wy, 12, 2) + fmt_f(v, 9, 3);
}

void inquire(Graphics& g, Viewer& v, const Field& d) {
  ContourState& cs = v.contour;
  static const std::string labels[6] = {" IInput",   " NNode", " SSection",
                                        " PSpacing", " ??",    " DDone"};
  static const std::string help[7] = {"INQUIRE options:",
                                      "Input   asks for numerical input of co-ordinates",
                                      "Node    reads co-ordinates of nodes from file",
                                      "        with (x,y) in 1st and 2nd column",
                                      "Section reads co-ordinates of vertices from file",
                                      "        with (x,y) in 1st and 2nd column",
                                      "Spacing defines distance between section nodes"};
  const double ox = g.n.XORGR, oy = g.n.YORGR;
  for (;;) {
    int ans = 0;
    float cx = 0, cy = 0;
    grcurs(g, 6, labels, ans, cx, cy);
    if (ans == 1) {
      for (;;) {
        std::string a(80, ' ');
        grinpa(g, "x, y> ", a);
        if (trim_right(a).empty()) break;
        FreeReader r(a);
        double wx = 0, wy = 0;
        if (r.read(wx) != ReadStatus::ok || r.read(wy) != ReadStatus::ok) {
          grmesg(g, "not a co-ordinate pair: " + std::string(trim_right(a)));
          continue;
        }
        float val = 0;
        if (!grloct(g, d.x, d.y, d.f, d.ld, d.nx, d.ny, static_cast<float>(wx - ox),
                    static_cast<float>(wy - oy), val)) {
          grmesg(g, "Could not find cell in GRLOCT");
          continue;
        }
        const std::string l =
            "(X,Y):" + fmt_f(wx, 12, 2) + fmt_f(wy, 12, 2) + " F:" + fmt_f(val, 12, 3);
        grmesg(g, l);
        grjout(g, l);
      }
    } else if (ans == 2 || ans == 3) {
      std::vector<double> px, py;
      std::string name;
      if (!read_points(g, v, px, py, name)) continue;
      std::vector<std::string> out;
      auto one = [&](double wx, double wy, double dist) {
        float val = 0;
        if (!grloct(g, d.x, d.y, d.f, d.ld, d.nx, d.ny, static_cast<float>(wx - ox),
                    static_cast<float>(wy - oy), val))
          return;
        std::string l = point_line(wx, wy, val);
        if (dist >= 0) l += fmt_f(dist, 12, 2);
        out.push_back(l);
      };
      if (ans == 2) {
        out.push_back("Values at points of " + name);
        out.push_back("           x           y        F");
        for (std::size_t k = 0; k < px.size(); ++k) one(px[k], py[k], -1);
      } else {
        float sp = cs.spacing;
        if (!(sp > 0) && d.nx > 1) sp = std::fabs(d.x[1] - d.x[0]);
        if (!(sp > 0)) sp = 1;
        out.push_back("Section along " + name + ", spacing" + fmt_f(sp, 10, 2));
        out.push_back("           x           y        F    distance");
        double run = 0, next = 0;
        for (std::size_t k = 0; k + 1 < px.size(); ++k) {
          const double len = std::hypot(px[k + 1] - px[k], py[k + 1] - py[k]);
          while (next <= run + len + 1e-9) {
            const double t = len > 0 ? (next - run) / len : 0;
            one(px[k] + t * (px[k + 1] - px[k]), py[k] + t * (py[k + 1] - py[k]), next);
            next += sp;
          }
          run += len;
        }
        // The end of the section is always among the points.
        if (px.size() == 1 || next - sp < run - 1e-6) one(px.back(), py.back(), run);
      }
      show_lines(g, out);
    } else if (ans == 4) {
      grinpf(g, "Spacing [m]> ", cs.spacing);
    } else if (ans == 5) {
      grtext(g, help, 7);
    } else {
      return;
    }
  }
}

void write_menu(Graphics& g, Viewer& v, const Field& d) {
  bool equal = d.nx > 1 && d.ny > 1;
  if (equal)
    equal = std::fabs(std::fabs(d.x[1] - d.x[0]) - std::fabs(d.y[d.at(0, 1)] - d.y[0])) <= 0.01f;
  const std::string labels[5] = {equal ? " GGrid" : "-GGrid", " BBreaklines", " XXYZ", " ??",
                                 " DDone"};
  static const std::string help[5] = {
      "WRITE formats/options:", "Grid        ArcInfo Grid format (must have",
      "            equal cell size)", "Breaklines  stores grids as breaklines",
      "XYZ         nodes in ASCII-XYZ"};
  for (;;) {
    int ans = 0;
    float cx = 0, cy = 0;
    grcurs(g, 5, labels, ans, cx, cy);
    if (ans == 4) {
      grtext(g, help, 5);
      continue;
    }
    if (ans < 1 || ans > 3) return;
    float r = v.contour.distance;
    if (ans == 3) {
      grinpf(g, "random distance ", r);
      v.contour.distance = r;
    }
    std::string name;
    grfil(g, g.n.JDV2GR, name);
    if (name.empty()) continue;
    g.files.close(g.n.JDV2GR);
    bool ok = false;
    if (ans == 1)
      ok = grwgrid(g, name, d.x, d.y, d.f, d.ld, d.nx, d.ny, d.nodata);
    else if (ans == 2)
      ok = grwbrk(g, name, d.x, d.y, d.f, d.ld, d.nx, d.ny);
    else
      ok = grwxyz(g, v.contour, name, d.x, d.y, d.f, d.ld, d.nx, d.ny, d.nodata, r);
    if (ok) grmesg(g, "values stored on " + name);
  }
}

}  // namespace

void grshade(Graphics& g) {
  Grcomn& s = g.n;
  const std::string labels[4] = {pad("x-light", 16), pad("y-light", 16), pad("z-light", 16),
                                 pad("Shading", 16)};
  std::string values[4] = {fmt_f(s.LITEGR[0], 8, 1), fmt_f(s.LITEGR[1], 8, 1),
                           fmt_f(s.LITEGR[2], 8, 1), s.SHADGR == 1 ? "+" : "_"};
  for (std::string& t : values) t = pad(t, 16);
  grinfo(g, 4, labels, values);
  if (trim_right(values[0]) == "cancel") return;
  for (int k = 0; k < 3; ++k) {
    float l = 0;
    FreeReader r(values[k]);
    if (r.read(l) == ReadStatus::ok) s.LITEGR[k] = l;
  }
  const std::size_t b = values[3].find_first_not_of(' ');
  s.SHADGR = b != std::string::npos && values[3][b] == '+' ? 1 : 0;
  const std::string cmd = pad("R", kScriptLen);
  grscpt(g, 1, &cmd, kScriptLen);
}

int item_palette(std::string_view item) {
  std::string t(trim_right(item));
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto has = [&t](std::string_view w) { return t.find(w) != std::string::npos; };
  if (t.starts_with("x-") || t.starts_with("y-")) return 0;  // signed components
  if (has("depth")) return kPaletteDepth;
  if (has("level") || has("bed") || has("elevation") || t.starts_with("value"))
    return kPaletteTerrain;
  if (has("velocity") || has("speed") || has("hazard") || has("flow [") || has("specific flow"))
    return kPaletteSpeed;
  return 0;
}

std::string item_unit(std::string_view item) {
  const std::string_view t = trim_right(item);
  const std::size_t open = t.rfind(" [");
  if (open == std::string_view::npos || !t.ends_with(']')) return {};
  return std::string(t.substr(open + 1));
}

std::string grid_item_label(std::string_view item) {
  struct Known {
    std::string_view item, label;
  };
  static constexpr Known kKnown[] = {
      {"", "Value [m]"}, {"bedlevel", "Bed Level [m]"},    {"bedrock", "Bedrock Level [m]"},
      {"z0", "z0 [m]"},  {"vegetation", "Vegetation [m]"}, {"leakage", "Leakage [1/s]"}};
  std::string t(trim_right(item));
  t.erase(0, std::min(t.find_first_not_of(' '), t.size()));
  std::string lower = t;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const Known& k : kKnown)
    if (lower == k.item) return std::string(k.label);
  return t;
}

void grcon1(Graphics& g, Viewer& v, int request, const float* x, const float* y, float* f, int ld,
            int ld2, int nx, int ny, float* levels, int& options, float nodata, float extent[4]) {
  (void)ld2;
  ContourState& cs = v.contour;
  const Field d{x, y, f, ld, nx, ny, nodata};
  switch (request) {
    case 0:
      setup(g, v, d, levels, options, extent);
      break;
    case 1:
      draw(g, cs, d, levels);
      if (cs.arrow_u && cs.arrow_v && cs.streamlines)
        grstreams(g, x, y, cs.arrow_u, cs.arrow_v, ld, nx, ny, nodata);
      if (cs.arrow_u && cs.arrow_v) grarrows(g, x, y, cs.arrow_u, cs.arrow_v, ld, nx, ny, nodata);
      break;
    case 3:
      key(g, cs, levels, 1);
      break;
    case 4:
      key(g, cs, levels, -1);
      break;
    case kKeySettings: {
      const int mode = g.n.CMODGR;
      key_settings(g, levels);
      if (g.n.CMODGR != mode) cs.palette_by_item = false;  // the user's choice holds
      break;
    }
    case -1:
      nearest(g, d);
      break;
    case -2:
      examine(g, d);
      break;
    case -3:
      grid_switch(g, cs, d);
      break;
    case -4:
      gralter(g, v, 1, nx, ny, ld, x, y, f, nullptr);
      break;
    case -5:
      inquire(g, v, d);
      break;
    case -6: {
      const std::vector<std::string> l = grsumc(g, f, ld, nx, ny, nodata, cs.item);
      show_lines(g, l);
      break;
    }
    case -7:
      write_menu(g, v, d);
      break;
    case -8:
      grshade(g);
      break;
    case -9: {
      const std::vector<std::string> l(kHelp, kHelp + 8);
      grtext(g, l.data(), 8);
      break;
    }
    case -99:
      grmesg(g, "External data: not available");
      break;
    default:
      break;
  }
}

}  // namespace qf
