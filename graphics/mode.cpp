// Output modes: the window, keep files, DXF drawings, shapefiles and
// ArcPolygon text files; their naming, headers, trailers and closing.
#include <algorithm>

#include "graphics/graphics.h"
#include "graphics/internal.h"
#include "io/stop.h"
#include "io/textio.h"

namespace qf {

namespace {

bool blank(std::string_view s) {
  return s.find_first_not_of(' ') == std::string_view::npos;
}

// Text up to its first NUL, without trailing blanks.
std::string trimmed(std::string_view s) {
  return std::string(trim_right(s.substr(0, s.find('\0'))));
}

// A window never opens larger than the screen (less room for the window
// manager's frame and panel): the scale factor shrinks until it fits, so the
// menu along the lower edge stays reachable and the settings file keeps the
// scale that fits.
void fit_screen(Graphics& g, int screen_w, int screen_h, int& w, int& h) {
  Grcomn& n = g.n;
  const int room_w = std::max(screen_w - 20, 200), room_h = std::max(screen_h - 60, 150);
  if (n.SMALGR || (w <= room_w && h <= room_h) || w <= 0 || h <= 0) return;
  const float f = std::min(static_cast<float>(room_w) / static_cast<float>(w),
                           static_cast<float>(room_h) / static_cast<float>(h));
  n.XSCLGR *= f;
  n.YSCLGR *= f;
  n.SCALGR *= f;
  n.WNDWGR[2] = w = std::min(grsafe_int((n.NXINGR + 4.5) * 50 * n.XSCLGR), room_w);
  n.WNDWGR[3] = h = std::min(grsafe_int((n.NYINGR + 2) * 50 * n.YSCLGR), room_h);
  n.YORGGR = static_cast<float>(n.WNDWGR[3] - 35);
  grsfac(g);
}

void open_screen(Graphics& g, int request) {
  Grcomn& n = g.n;
  if (g.mode.display_open) {
    grxcls(g.x);
    g.mode.display_open = false;
  }
  // Saved areas and the last bar belong to the window that was.
  g.beam_under = 0;
  std::fill(std::begin(g.msg.bar_rect), std::end(g.msg.bar_rect), 0);
  n.IMODGR = request;
  int depth = 0;
  try {
    grxopn(g.x, *g.out, n.WNDWGR[0], n.WNDWGR[1], n.WNDWGR[2], n.WNDWGR[3], depth,
           trimmed(g.t.PROGGR), trimmed(g.t.WNABGR),
           [&g](int sw, int sh, int& w, int& h) { fit_screen(g, sw, sh, w, h); });
  } catch (const Stop&) {
    n.IMODGR = 0;
    g.files.close_all();
    throw;
  }
  g.mode.display_open = true;
  int type = 0, x = 0, y = 0, detail = 0;
  grxevn(g.x, type, x, y, detail);
  grxmkc(g.x, *g.out, n.COLTAB, n.PIXTAB, kColours);
  // A new window has no colour or dash of its own yet.
  g.pen.last_colour = -99999;
  g.pen.last_dash = -99999;
  n.NPOLGR = 0;
  grxslp(g.x, 3);
}

void enter_file_mode(Graphics& g, int mode) {
  Grcomn& n = g.n;
  g.mode.saved_mode = n.IMODGR;
  g.mode.saved_on3d = n.ON3DGR;
  n.IMODGR = mode;
  n.PVISGR = 1;
}

void dxf_header(Graphics& g) {
  Grcomn& n = g.n;
  const int ch = n.JDV1GR;
  auto L = [&](std::initializer_list<std::string_view> items) {
    for (std::string_view s : items) g.files.line(ch, s);
  };
  L({"999", "DXF created from PictorV3",
     "0",   "SECTION",
     "2",   "HEADER",
     "9",   "$ACADVER",
     "1",   "AC1006",
     "9",   "$INSBASE",
     "10",  "0.0",
     "20",  "0.0",
     "30",  "0.0",
     "9",   "$EXTMIN",
     "10"});
  L({fmt_f(grwx(g, n.XMINGR), 12, 2), "20", fmt_f(grwy(g, n.YMINGR), 12, 2), "9", "$EXTMAX", "10",
     fmt_f(grwx(g, n.XMAXGR), 12, 2), "20", fmt_f(grwy(g, n.YMAXGR), 12, 2), "0", "ENDSEC"});
  L({"0",  "SECTION",    "2",  "TABLES", "0",  "TABLE",      "2",  "LTYPE",
     "70", "1",          "0",  "LTYPE",  "2",  "CONTINUOUS", "70", "64",
     "3",  "Solid line", "72", "65",     "73", "0",          "40", "0.000000",
     "0",  "ENDTAB",     "0",  "TABLE",  "2",  "LAYER",      "70", "6"});
  L({"0", "LAYER", "2", "0", "70", "0", "62", "7", "6", "CONTINUOUS"});
  L({"0", "LAYER", "2", "line", "70", "0", "62", "7", "6", "CONTINUOUS"});
  L({"0", "LAYER", "2", "fill", "70", "64", "62", "7", "6", "CONTINUOUS"});
  for (int k = 1; k <= 15; ++k) {
    grcolr(g, k);
    const std::string layer = "fill" + grdig2(k);
    L({"0", "LAYER", "2", layer, "70", "64", "62", fmt_i(n.DXFCGR, 3), "6", "CONTINUOUS"});
  }
  L({"0", "ENDTAB", "0", "TABLE", "2", "STYLE", "70", "0", "0", "ENDTAB", "0", "ENDSEC"});
  L({"0", "SECTION", "2", "BLOCKS", "0", "ENDSEC"});
  L({"0", "SECTION", "2", "ENTITIES"});
}

// The prompt of a file mode; false (request set to 0) on a blank answer.
bool ask_name(Graphics& g, std::string_view prompt, std::string& answer) {
  answer = std::string(40, ' ');
  grinpa(g, prompt, answer);
  answer = grfix(answer, 40);
  if (blank(answer)) {
    grmesg(g, "Filename cannot be all blanks");
    return false;
  }
  return true;
}

}  // namespace

void grmode(Graphics& g, int& request) {
  Grcomn& n = g.n;
  grdump(g);
  const int r = request;
  if (r >= 1 && r <= 6) {
    if (n.IMODGR >= 1 && n.IMODGR <= 6) {
      grcolr(g, 0);
      grdash(g, 1);
      return;
    }
    if (n.IMODGR >= kModeKeep) grclos(g);  // a file output is finished first
    if (n.IMODGR >= 1 && n.IMODGR <= 6) {
      grcolr(g, 0);
      grdash(g, 1);
      return;
    }
    open_screen(g, r);
    return;
  }
  // A file output that is still open is finished before the next one starts.
  if (r >= kModeKeep && r <= kModeArcPolygon && n.IMODGR >= kModeKeep) grclos(g);
  if (r == kModeKeep) {
    std::string answer, name;
    for (;;) {
      if (!ask_name(g, "Keep prefix", answer)) return;  // mode unchanged
      name = std::string(trim_right(answer)) + ".kep";
      if (g.files.open(n.JDV3GR, name, "w")) break;
      grmesg(g, "Error opening: " + name);
    }
    enter_file_mode(g, kModeKeep);
    n.ON3DGR = 1;
    g.pen.last_colour = -99999;
    g.pen.last_dash = -99999;
    grkrec(g, "MCOL", fmt_i(n.CMODGR, 3));
    grkrec(g, "RCOL", fmt_i(n.CPARGR, 3));
    grkrec(g, "XORG", fmt_e(n.XORGR, 19, 12, 'D'));
    grkrec(g, "YORG", fmt_e(n.YORGR, 19, 12, 'D'));
    return;
  }
  if (r == kModeDxf) {
    std::string answer, name;
    for (;;) {
      if (!ask_name(g, "DXF prefix", answer)) {
        request = 0;
        return;
      }
      name = std::string(trim_right(answer));
      if (name.size() < 4 || name.substr(name.size() - 4) != ".dxf")
        name = grfix(name + ".dxf", 40);
      name = std::string(trim_right(name));
      if (g.files.open(n.JDV1GR, name, "w")) break;
      grmesg(g, "Error opening: " + name);
    }
    enter_file_mode(g, kModeDxf);
    n.ON3DGR = 0;
    dxf_header(g);
    return;
  }
  if (r == kModeShape) {
    std::string labels[3] = {"File prefix", "Field name", "Shape_type"};
    std::string tit2(trim_right(g.t.TIT2GR));
    std::string first = tit2.substr(0, tit2.find(' '));
    std::string values[3] = {
        grfix(first, 40), grfix(g.t.FLDNGR, 40),
        grfix("|" + fmt_i(std::clamp(n.SHPTGR, 0, 9), 1) + "|Point|Arc|Polygon", 40)};
    grinfo(g, 3, labels, values);
    if (trim_right(values[0]) == "cancel") {
      request = 0;
      return;
    }
    g.t.FLDNGR = grfix(values[1], 40);
    if (values[2].size() >= 2 && values[2][1] >= '0' && values[2][1] <= '9')
      n.SHPTGR = values[2][1] - '0';
    // A blank prefix would name the files ".shp" and ".dbf": refused as well.
    if (blank(g.t.FLDNGR) || blank(values[0])) {
      grmesg(g, "Filename cannot be all blanks");
      request = 0;
      return;
    }
    std::string field(trim_right(g.t.FLDNGR));
    std::string prefix(trim_right(values[0]));
    std::replace(prefix.begin(), prefix.end(), ' ', '_');
    enter_file_mode(g, kModeShape);
    n.SHPAGR = n.SHPTGR == 3 ? 1 : 2;
    g.seg = GrSegments{};
    g.mode.shape_prefix = prefix;
    g.mode.shape_failed = false;
    g.mode.shape_field = field;
    grshpopen(g, n.SHPTGR, n.SHPAGR, prefix, field);
    return;
  }
  if (r == kModeArcPolygon) {
    std::string answer, name;
    for (;;) {
      if (!ask_name(g, "ArcPolygon file name", answer)) {
        request = 0;
        return;
      }
      name = std::string(trim_right(answer));
      if (g.files.open(n.JDV1GR, name, "w")) break;
      grmesg(g, "Error opening: " + name);
    }
    enter_file_mode(g, kModeArcPolygon);
    return;
  }
  if (r == 0) {
    const int m = n.IMODGR;
    if (m >= 1 && m <= 6) {
      grxcls(g.x);
      g.mode.display_open = false;
      g.beam_under = 0;
      std::fill(std::begin(g.msg.bar_rect), std::end(g.msg.bar_rect), 0);
      n.IMODGR = 0;
      n.NPOLGR = 0;
      grxslp(g.x, 3);
      return;
    }
    std::string message;
    if (m == kModeKeep) {
      if (grfdone(g, n.JDV3GR)) message = "saved on keep file";
    } else if (m == kModeDxf) {
      for (const char* s : {"0", "ENDSEC", "0", "EOF"}) g.files.line(n.JDV1GR, s);
      if (grfdone(g, n.JDV1GR)) message = "DXF File done";
    } else if (m == kModeShape) {
      grsegm(g, 0, 0, 0, 0, 0, 0, 0);
      grbeamend(g);
      message = "Shapefile done";
      n.SHPAGR = 1;
    } else if (m == kModeArcPolygon) {
      g.files.line(n.JDV1GR, "END");
      if (grfdone(g, n.JDV1GR)) message = "ArcPolygon file done";
    } else {
      return;  // no output open
    }
    n.IMODGR = g.mode.saved_mode;
    n.ON3DGR = g.mode.saved_on3d;
    n.PVISGR = 0;
    g.pen.last_colour = -99999;
    g.pen.last_dash = -99999;
    grsfac(g);
    g.mode.closing = grfix(message, 80);
    if (!message.empty()) grmesg(g, g.mode.closing);  // a failed write has said so
    grbeep(g);
    return;
  }
  greror(g, "Mode not currently supported", static_cast<float>(r), 0.0f);
}

void grclos(Graphics& g) {
  int r = 0;
  grmode(g, r);
}

}  // namespace qf
