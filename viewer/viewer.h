// The viewer: the interactive loop around a plot routine, the contour and
// colour plot of scalar fields, the vector plot, and their state.
//
// A plot routine is called by the loop with a mode: 0 set up (the extent of
// the plot into the scale record; the routine appends its own menu entries
// to Viewer::menu), 1 draw, 2 value at the cursor (cursor in scale[0],
// scale[1]), 3 after-plot pass (the colour key), and -n for the n-th entry
// the routine appended to the menu. The field the routine draws is bound
// into it by the caller (grcont, grvect).
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "graphics/graphics.h"
#include "viewer/alter.h"
#include "viewer/contour.h"
#include "viewer/control.h"
#include "viewer/draw.h"
#include "viewer/files.h"
#include "viewer/vector.h"

namespace qf {

// Everything the viewer keeps between calls; owned by the caller together
// with the Graphics object and passed by reference.
struct Viewer {
  // Menu of the loop: its own entries first, then those the plot routine
  // appended at set-up (16 characters each).
  std::vector<std::string> menu;
  FileChooser chooser;
  ContourState contour;
  VectorState vector;
  ControlState control;
  AlterState alter;
  DrawState draw;
};

// Node nearest to the cursor (XCRSGR, YCRSGR), measured in pixels, over n1
// columns and n2 rows of x, y (leading dimension ld); i and j are 1-based.
// The node is marked with a symbol.
void grnear(Graphics& g, const float* x, const float* y, int n1, int n2, int ld, int& i, int& j);

// Contour and colour plot of the field f at the nodes x, y in the loop, with
// the colour key. option: the loop's switch word; options: bit 1 (2) colour
// classes, bit 2 (4) compute the levels (cleared once done); texts: title,
// subtitle and axis labels (80, 80, 40, 40 characters).
void grcont(Graphics& g, Viewer& v, const float* x, const float* y, float* f, int ld, int ld2,
            int nx, int ny, std::string& texts, float* levels, int option, int& options,
            float nodata);

}  // namespace qf
