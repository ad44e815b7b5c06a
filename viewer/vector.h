// Vector plot of a flow field: an arrow per node, streamlines from points
// the user picks, the nearest node, the settings form and the export of
// magnitudes or components.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "graphics/graphics.h"

namespace qf {

struct Viewer;

// Entries the plot appends to the loop's menu (requests -1 .. -6).
inline constexpr std::array<std::string_view, 6> kVectorMenu = {
    "<NNearest", "  Attributes", " WWrite", "<SStreamline", " AAlter", "  ?"};

inline constexpr int kStreamlines = 50;  // starts kept between redraws
inline constexpr int kStreamlineSteps = 4000;

// Streamline starts of the current plot (user coordinates).
struct VectorState {
  std::vector<std::pair<float, float>> starts;
  // What the two components are, in the line of Nearest: velocities unless
  // the caller hands unit discharges (" (qx,qy) [m2/s]:").
  std::string components = " (U,V):";
};

// The plot routine of vector fields. request 0: extent (x min, x max, y min,
// y max) and the menu entries; 1 draw; -1 Nearest, -2 Attributes, -3 Write,
// -4 Streamline, -5 Alter (changes u and v in place), -6 help; others nothing. Node (i, j),
// 1-based, is element (i - 1) + (j - 1) * ld of each array.
void grvec1(Graphics& g, Viewer& v, int request, const float* x, const float* y, const float* u,
            const float* v_, int ld, int ld2, int n1, int n2, float extent[4]);

// Traces and draws one streamline from (x0, y0) through the field of the n
// nodes x, y, u, v (one flat list).
void grslin(Graphics& g, const float* x, const float* y, const float* u, const float* v, int n,
            float x0, float y0);

// Arrows of the velocities u, v (m/s) over another plot, in black: every k-th node
// in both directions, k chosen so that arrows stand about kArrowSpacing
// pixels apart, the fastest arrow as long as that spacing; nodes whose u or v
// is not above `nodata` + 0.1 (dry, outside) get none. A reference arrow of
// a round speed, labelled in m/s, stands at the upper left of the plot.
// Returns k (0 when nothing was drawn).
inline constexpr float kArrowSpacing = 24.0f;
int grarrows(Graphics& g, const float* x, const float* y, const float* u, const float* v, int ld,
             int n1, int n2, float nodata);

// Streamlines of the velocities u, v over another plot, in black: seeded
// at the nodes of a lattice about kStreamSpacing pixels apart (fixed to the
// grid) that lie in view and on water, traced both ways through the
// bilinear velocity field of the (regular) grid, each stopping where a cell
// has an empty corner (u or v not above `nodata` + 0.1: dry, outside), at
// the edge of the grid, where the flow stands still, or after
// kStreamlineSteps steps of half a cell. Returns the number of seeds traced.
inline constexpr float kStreamSpacing = 60.0f;
int grstreams(Graphics& g, const float* x, const float* y, const float* u, const float* v, int ld,
              int n1, int n2, float nodata);

// Smallest and largest of the n values of a.
void grmin(const float* a, int n, float& lo, float& hi);

}  // namespace qf
