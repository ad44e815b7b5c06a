// Draw mode and the plot list: texts, lines, filled polygons, circles,
// symbols, a north arrow and a scale bar that the user puts on the plot.
// The list is redrawn after every plot, saved into keep files ("PUT"
// records) and read back when such a keep file is replayed.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/graphics.h"

namespace qf {

struct Viewer;

inline constexpr int kPlotListMax = 400;

// The draw menu: "<" entries act at the next click; no two entries share a
// key letter (Done keeps D, Delete takes E).
inline constexpr std::array<std::string_view, 12> kDrawMenu = {
    "<TText",      "<LLine",       "<PPolygon", "<CCircle", "<SSymbol", "< N-Arrow",
    "< Scale_bar", " AAttributes", "<EDelete",  "  Save",   " ??",      ">DDone"};

// Kinds of plot-list entries; a positive kind is a symbol of that number.
enum PlotKind {
  kLineTo = -1,       // end of a segment from the previous entry
  kLineStart = -2,    // first point of a line
  kCircle = -3,       // circle of radius z
  kText = -4,         // text at the point
  kNorthArrow = -5,   // north arrow; x, y fractions of the window, size z
  kScaleBar = -6,     // scale bar; x, y fractions of the window
  kPolyVertex = -10,  // vertex of a polygon
  kPolyClose = -11,   // fills the polygon of the vertices before it
};

struct PlotEntry {
  float x = 0, y = 0, z = 0;
  int kind = 0;
  int colour = 0;    // -1: deleted (drawn in the background colour)
  std::string text;  // 64 characters for texts, empty otherwise
};

// Plot list and the settings of the draw mode, kept for the process.
struct DrawState {
  std::vector<PlotEntry> list;
  int symbol = 1;
  int colour = 0;
  float radius = 1.0f;
  float sum = 0;           // running length of the current line
  bool measuring = false;  // a line or polygon is being measured
};

// Lets the user add, delete and save annotations until Done.
void grdraw(Graphics& g, Viewer& v);

// The plot list. op -1 delete the entry nearest to (x, y); 0 empty the
// list; 1 add an entry; 2 draw the list; 3 save it into a keep file; 4 read
// entries of the keep file being replayed (through the keep-list hook).
void grplst(Graphics& g, Viewer& v, int op, float x = 0, float y = 0, float z = 0, int kind = 0,
            int colour = 0, const std::string& text = "");

// Reads a "PUT" record at lines[pos] (count, then the entries), shifted by
// (sx, sy); appends them unless the same run of entries is in the list
// already, and draws them. pos is left after the record.
void grplst_read(Graphics& g, Viewer& v, const std::vector<std::string>& lines, std::size_t& pos,
                 double sx, double sy);

// Circle of radius r about (x, y): filled with `fill`, outlined in `frame`.
void grcrcl(Graphics& g, float x, float y, float r, int fill, int frame);

// Length of the scale bar for a window w user units wide: 1, 2.5 or 5 times
// a power of ten, at most a quarter of w. unit and value: "mm", "m" or "km"
// and the length in that unit.
float grsbar_length(float w, std::string& unit, float& value);

}  // namespace qf
