// The pen: move, draw, colour, dash, 3-D projection, device coordinates and
// the polyline buffer, with clipping against the clip rectangle for the
// window and the records of the file outputs.
#include <algorithm>
#include <cmath>

#include "graphics/graphics.h"
#include "graphics/internal.h"
#include "io/textio.h"

namespace qf {

namespace {

void keep_line(Graphics& g, std::string_view s) {
  g.files.line(g.n.JDV3GR, s);
}

std::string e16(float v) {
  return fmt_e(v, 16, 8, 'D');
}
std::string e15(float v) {
  return fmt_e(v, 15, 7, 'D');
}

// DXF coordinate fields of LINE and POINT entities.
std::string dxy(double v) {
  return fmt_f(v, 11, 2);
}
std::string dz(double v) {
  return fmt_f(v, 10, 3);
}

}  // namespace

// ---------------------------------------------------------------- mapping, buffer

int grdevx(const Graphics& g, float x) {
  return grsafe_int((x - g.n.XMINGR) * g.n.XFACGR + g.n.XORGGR);
}

int grdevy(const Graphics& g, float y) {
  return grsafe_int((y - g.n.YMINGR) * g.n.YFACGR + g.n.YORGGR);
}

bool grinside(const Graphics& g, float x, float y) {
  const Grcomn& n = g.n;
  return n.XMNCGR <= x && x <= n.XMXCGR && n.YMNCGR <= y && y <= n.YMXCGR;
}

void grdump(Graphics& g) {
  Grcomn& n = g.n;
  if (!grscreen(g) || n.NPOLGR < 2) return;
  grxlnz(g.x, n.NPOLGR, n.POLXGR, n.POLYGR);
  n.POLXGR[0] = n.POLXGR[n.NPOLGR - 1];
  n.POLYGR[0] = n.POLYGR[n.NPOLGR - 1];
  n.NPOLGR = 1;
}

void grpadd(Graphics& g, int px, int py) {
  Grcomn& n = g.n;
  if (n.NPOLGR > 0 && n.POLXGR[n.NPOLGR - 1] == px && n.POLYGR[n.NPOLGR - 1] == py) return;
  if (n.NPOLGR >= kPolyBuffer) grdump(g);
  if (n.NPOLGR >= kPolyBuffer) n.NPOLGR = 0;  // not a screen mode: start afresh
  n.POLXGR[n.NPOLGR] = px;
  n.POLYGR[n.NPOLGR] = py;
  ++n.NPOLGR;
}

void grpnew(Graphics& g, int px, int py) {
  Grcomn& n = g.n;
  if (n.NPOLGR >= 2) grdump(g);
  n.POLXGR[0] = px;
  n.POLYGR[0] = py;
  n.NPOLGR = 1;
}

// ---------------------------------------------------------------- move and draw

void grmov2(Graphics& g, float x, float y) {
  Grcomn& n = g.n;
  if (n.IMODGR == kModeKeep) {
    keep_line(g, "MOV2");
    keep_line(g, e16(x) + e16(y));
    return;
  }
  if (n.IMODGR == kModeDxf) {
    n.XPENGR = x;
    n.YPENGR = y;
    n.ZPENGR = 0;
    return;
  }
  const bool inside = grinside(g, x, y);
  if (inside && grscreen(g)) {
    const int px = grdevx(g, x), py = grdevy(g, y);
    if (n.NPOLGR == 0 || n.POLXGR[n.NPOLGR - 1] != px || n.POLYGR[n.NPOLGR - 1] != py)
      grpnew(g, px, py);
  }
  n.XPENGR = x;
  n.YPENGR = y;
  n.PVISGR = inside ? 1 : 0;
}

namespace {

// Moves the outside point (px, py) along the segment toward the inside
// point (qx, qy) onto the clip rectangle: x limits first, then y limits.
void cut_toward(const Grcomn& n, float& px, float& py, float qx, float qy) {
  if (px < n.XMNCGR && qx != px) {
    py = py + (qy - py) * (n.XMNCGR - px) / (qx - px);
    px = n.XMNCGR;
  } else if (px > n.XMXCGR && qx != px) {
    py = py + (qy - py) * (n.XMXCGR - px) / (qx - px);
    px = n.XMXCGR;
  }
  if (py < n.YMNCGR && qy != py) {
    px = px + (qx - px) * (n.YMNCGR - py) / (qy - py);
    py = n.YMNCGR;
  } else if (py > n.YMXCGR && qy != py) {
    px = px + (qx - px) * (n.YMXCGR - py) / (qy - py);
    py = n.YMXCGR;
  }
}

// Moves end a of the segment a-b along it to the coordinate value v of one
// axis (0 = x, 1 = y).
void slide(float* a, const float* b, int axis, float v) {
  const int o = 1 - axis;
  if (b[axis] != a[axis]) a[o] = a[o] + (b[o] - a[o]) * (v - a[axis]) / (b[axis] - a[axis]);
  a[axis] = v;
}

// The piece of a segment whose ends both lie outside; false when none.
bool cut_both(const Grcomn& n, float* p, float* q) {
  float* lo = p[0] <= q[0] ? p : q;
  float* hi = lo == p ? q : p;
  if (lo[0] < n.XMNCGR) slide(lo, hi, 0, n.XMNCGR);
  if (hi[0] > n.XMXCGR) slide(hi, lo, 0, n.XMXCGR);
  lo = p[1] <= q[1] ? p : q;
  hi = lo == p ? q : p;
  if (lo[1] < n.YMNCGR) slide(lo, hi, 1, n.YMNCGR);
  if (hi[1] > n.YMXCGR) slide(hi, lo, 1, n.YMXCGR);
  // What is left must lie on the rectangle (allowing for rounding).
  const float ex = 1e-5f * (std::fabs(n.XMXCGR - n.XMNCGR) + std::fabs(n.XMNCGR) + 1e-30f);
  const float ey = 1e-5f * (std::fabs(n.YMXCGR - n.YMNCGR) + std::fabs(n.YMNCGR) + 1e-30f);
  for (const float* r : {p, q})
    if (!(r[0] >= n.XMNCGR - ex && r[0] <= n.XMXCGR + ex && r[1] >= n.YMNCGR - ey &&
          r[1] <= n.YMXCGR + ey))
      return false;
  return true;
}

}  // namespace

void grdrw2(Graphics& g, float x, float y) {
  Grcomn& n = g.n;
  switch (n.IMODGR) {
    case kModeKeep:
      keep_line(g, "DRW2");
      keep_line(g, e16(x) + e16(y));
      return;
    case kModeDxf: {
      const int ch = n.JDV1GR;
      for (const std::string& s :
           {std::string("0"),  std::string("LINE"),    std::string("8"),  std::string("line"),
            std::string("62"), fmt_i(n.DXFCGR, 4),     std::string("67"), std::string("0"),
            std::string("10"), dxy(grwx(g, n.XPENGR)), std::string("20"), dxy(grwy(g, n.YPENGR)),
            std::string("30"), dz(n.ZPENGR),           std::string("11"), dxy(grwx(g, x)),
            std::string("21"), dxy(grwy(g, y)),        std::string("31"), dz(n.ZNXTGR)})
        g.files.line(ch, s);
      n.XPENGR = x;
      n.YPENGR = y;
      n.ZPENGR = n.ZNXTGR;
      return;
    }
    case kModeShape:
      grsegm(g, 1, n.XPENGR, n.YPENGR, n.ZPENGR, x, y, n.ZNXTGR);
      n.XPENGR = x;
      n.YPENGR = y;
      n.ZPENGR = n.ZNXTGR;
      return;
    case kModeArcPolygon:
      return;
    default:
      break;
  }
  const bool v0 = n.PVISGR != 0;
  const bool v1 = grinside(g, x, y);
  const bool screen = grscreen(g);
  if (screen) {
    // A visible pen with an empty buffer (after a clear or a mode change)
    // starts the polyline at its own pixel.
    if (v0 && n.NPOLGR == 0) grpnew(g, grdevx(g, n.XPENGR), grdevy(g, n.YPENGR));
    if (v0 && v1) {
      grpadd(g, grdevx(g, x), grdevy(g, y));
    } else if (v0) {
      float cx = x, cy = y;
      cut_toward(n, cx, cy, n.XPENGR, n.YPENGR);
      grpadd(g, grdevx(g, cx), grdevy(g, cy));
    } else if (v1) {
      float ex = n.XPENGR, ey = n.YPENGR;
      cut_toward(n, ex, ey, x, y);
      grpnew(g, grdevx(g, ex), grdevy(g, ey));
      grpadd(g, grdevx(g, x), grdevy(g, y));
    } else {
      const bool miss = std::max(n.XPENGR, x) < n.XMNCGR || std::min(n.XPENGR, x) > n.XMXCGR ||
                        std::max(n.YPENGR, y) < n.YMNCGR || std::min(n.YPENGR, y) > n.YMXCGR;
      float p[2] = {n.XPENGR, n.YPENGR}, q[2] = {x, y};
      if (!miss && cut_both(n, p, q)) {
        grpnew(g, grdevx(g, p[0]), grdevy(g, p[1]));
        grpadd(g, grdevx(g, q[0]), grdevy(g, q[1]));
      }
    }
  }
  n.XPENGR = x;
  n.YPENGR = y;
  n.PVISGR = v1 ? 1 : 0;
}

// ---------------------------------------------------------------- 3-D

void grtran(const Graphics& g, float x, float y, float z, float& xo, float& yo, float& zo) {
  const auto& T = g.n.TRANGR;
  const float zz = z * T[3][3];
  float o[3];
  for (int j = 0; j < 3; ++j) o[j] = x * T[0][j] + y * T[1][j] + zz * T[2][j] + T[3][j];
  xo = o[0];
  yo = o[1];
  zo = o[2];
}

void grmov3(Graphics& g, float x, float y, float z) {
  Grcomn& n = g.n;
  if (n.IMODGR == kModeKeep) {
    keep_line(g, "MOV3");
    keep_line(g, e15(x) + e15(y) + e15(z));
    return;
  }
  if (n.IMODGR == kModeDxf || n.IMODGR == kModeShape) {
    n.XPENGR = x;
    n.YPENGR = y;
    n.ZPENGR = z;
    return;
  }
  if (n.ON3DGR) {
    float a, b, c;
    grtran(g, x, y, z, a, b, c);
    grmov2(g, a, b);
  } else {
    grmov2(g, x, y);
  }
}

void grdrw3(Graphics& g, float x, float y, float z) {
  Grcomn& n = g.n;
  if (n.IMODGR == kModeKeep) {
    keep_line(g, "DRW3");
    keep_line(g, e15(x) + e15(y) + e15(z));
    return;
  }
  if (n.IMODGR == kModeDxf || n.IMODGR == kModeShape) n.ZNXTGR = z;
  if (n.ON3DGR) {
    float a, b, c;
    grtran(g, x, y, z, a, b, c);
    grdrw2(g, a, b);
  } else {
    grdrw2(g, x, y);
  }
}

// ---------------------------------------------------------------- colour, dash

void grcolr(Graphics& g, int colour) {
  Grcomn& n = g.n;
  // A repeated colour is filtered out unless the output mode or the colour
  // mode and its parameter changed meanwhile (they select another entry).
  if (colour == g.pen.last_colour && n.IMODGR == g.pen.last_colour_mode &&
      n.CMODGR == g.pen.last_cmod && n.CPARGR == g.pen.last_cpar)
    return;
  g.pen.last_colour = colour;
  g.pen.last_colour_mode = n.IMODGR;
  g.pen.last_cmod = n.CMODGR;
  g.pen.last_cpar = n.CPARGR;
  int c = colour;
  // Class colours go through the remap table in the negative colour modes.
  if (n.CMODGR < 0 && colour >= 1 && colour <= 20) c = n.REMAPGR[colour - 1];
  const int d = grcent(g, c);
  if (n.IMODGR >= 1 && n.IMODGR <= 4) {
    grdump(g);
    grxstc(g.x, n.PIXTAB[d]);
  } else if (n.IMODGR == kModeKeep) {
    keep_line(g, "COLR");
    keep_line(g, fmt_i(c, 3));
  } else if (n.IMODGR == kModeDxf) {
    n.DXFCGR = n.DXFTAB[std::clamp(c, -9, 13) + 10];
  }
}

void grdash(Graphics& g, int style) {
  Grcomn& n = g.n;
  const int s = style % 100;
  if (s == 0) return;
  grdump(g);
  if (s == g.pen.last_dash && n.IMODGR == g.pen.last_dash_mode) return;
  g.pen.last_dash = s;
  g.pen.last_dash_mode = n.IMODGR;
  if (grscreen(g)) {
    grxdsh(g.x, s);
  } else if (n.IMODGR == kModeKeep) {
    keep_line(g, "DASH");
    keep_line(g, fmt_i(s, 4));
  }
}

// ---------------------------------------------------------------- device coordinates

void grclip(Graphics& g, int op) {
  Grcomn& n = g.n;
  float* const m[10] = {&n.XMINGR, &n.XMNCGR, &n.XMXCGR, &n.XORGGR, &n.XFACGR,
                        &n.YMINGR, &n.YMNCGR, &n.YMXCGR, &n.YORGGR, &n.YFACGR};
  if (op == 0) {
    if (!g.pen.user_coords) return;
    for (int i = 0; i < 10; ++i) g.pen.saved[i] = *m[i];
    n.XMINGR = n.YMINGR = 0;
    n.XMNCGR = n.YMNCGR = -9999999.0f;
    n.XMXCGR = n.YMXCGR = 9999999.0f;
    n.XFACGR = 1;
    n.YFACGR = -1;
    if (n.SMALGR) {
      n.XORGGR = 10;
      n.YORGGR = 105;
    } else {
      n.XORGGR = 40;
      n.YORGGR = static_cast<float>(n.WNDWGR[3] - 35);
    }
    g.pen.user_coords = false;
  } else if (op == 1) {
    if (g.pen.user_coords) return;
    for (int i = 0; i < 10; ++i) *m[i] = g.pen.saved[i];
    g.pen.user_coords = true;
  }
}

// ---------------------------------------------------------------- captions

void grtrans(int language, std::string& caption) {
  if (language == 1) return;
  static const char* const table[][2] = {
      {"Bed Level", "Sohlenlage"},
      {"Bed Shear", "Sohlenschubspannung"},
      {"Critical Level", "krit. Hoehe"},
      {"Depth", "Tiefe"},
      {"Distance", "Distanz"},
      {"Discharge", "Abfluss"},
      {"Energy Level", "Energielinie"},
      {"Flow", "spezifischer Fluss"},
      {"Flow Depth", "Fliesstiefe"},
      {"Flow Velocity", "Fliessgeschwindigkeit"},
      {"Flow Vectors", "Fliessvektoren"},
      {"Left Dam", "Linker Damm"},
      {"Right Dam", "Rechter Damm"},
      {"Level", "Kote"},
      {"Froude Number", "Froude Zahl"},
      {"Arrival Time", "Eintreffzeit"},
      {"Backwater Curve", "Staukurve"},
      {"Velocity Vectors", "Geschwindigkeitsvektoren"},
      {"Shear Velocity", "Schubspannungsgeschwindigkeit"},
      {"Velocity", "Fliessgeschwindigkeit"},
      {"Water Level", "Wasserspiegel"},
      {"Rock", "Fels"},
      {"Armoring", "Deckschicht"},
      {"Pressure Flow", "Druckabfluss"},
      {"Bed Roughness", "Sohlenrauigkeit"},
      {"Maximum Specific Flow", "max. spezifischer Fluss"},
      {"Mean Bed", "mittl. Sohle"},
      {"Bridge Deck", "Bruecken UK"},
      {"Longitudinal Profile", "Laengenprofil"},
      {"Sediment Load", "Geschiebefracht"},
      {"Aggradation", "Auflandung"},
      {"Maximum Flow Depth", "maximale Fliesstiefe"},
      {"Bed", "Sohle"},
      {"Return Period", "Wiederkehrperiode"},
      {"Left Wall", "Ufer links"},
      {"Right Wall", "Ufer rechts"},
      {"Pressurized Flow", "Druckabfluss"},
  };
  const std::size_t len = caption.size();
  const std::size_t k = caption.find('[');
  std::string title = caption.substr(0, std::min<std::size_t>(k, 64));
  std::string unit = k == std::string::npos ? std::string() : caption.substr(k, 20);
  title = std::string(trim_right(title));
  unit = std::string(trim_right(unit));
  if (language == 2)
    for (const auto& row : table)
      if (title == row[0]) {
        title = row[1];
        break;
      }
  std::string r;
  if (title.find_first_not_of(' ') == std::string::npos)
    r = unit;
  else if (unit.empty())
    r = title;
  else
    r = title + " " + unit;
  caption = len > 0 ? pad(r, len) : r;
}

// ---------------------------------------------------------------- frame, pause, bell

void grflip(Graphics& g) {
  if (g.n.IMODGR == 0) return;
  grdump(g);
  grxflp(g.x);
}

void grpause(Graphics& g, int n) {
  grxslp(g.x, n);
}

void grbeep(Graphics& g) {
  grxbeep(g.x);
}

}  // namespace qf
