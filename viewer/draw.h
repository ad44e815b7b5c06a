// Draw mode (lines, texts and symbols added by the user) and the plot list
// that redraws them.
#pragma once

#include "graphics/graphics.h"

namespace qf {

struct Viewer;

// Lets the user add lines, texts and symbols to the plot.
void grdraw(Graphics& g, Viewer& v);

// The plot list: selector 0 before the first drawing, 2 after each plot.
void grplst(Graphics& g, Viewer& v, int selector);

}  // namespace qf
