// The contour and colour plot of scalar fields on a structured grid of
// nodes: colour classes between contour levels, contour lines and labels,
// the domain boundary and the mesh, and the plot's own sub-commands.
//
// A cell is the quadrilateral of the nodes (i, j), (i+1, j), (i+1, j+1),
// (i, j+1). Inside a cell the value is linear on each of the triangles
// spanned by two neighbouring corners and the centre (mean of the corners).
// Fields are flat arrays with leading dimension ld, x fastest; indices in
// the interface are 1-based like the node numbers shown to the user.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qf {

struct Graphics;
struct Viewer;

// Kept between calls of the plot routine.
struct ContourState {
  int classes = 0;      // colour classes on (option bit 1)
  int mesh = 0;         // mesh drawn with the plot
  int line_colour = 0;  // colour of the contour lines (set by the key)
  float spacing = 0;    // distance between section points of Inquire (0: cell size)
  float distance = 0;   // random shift of the XYZ export
  // Screen drawing of the classes: 0 picks pixel rows when cells are
  // smaller than kRasterCell pixels, 1 always pixel rows, -1 never.
  int raster = 0;
  std::uint64_t seed = 0x9e3779b97f4a7c15ULL;  // generator of the XYZ shifts
  // The palette follows the item shown (depth blue, levels terrain, speeds
  // and hazard a sequential ramp) until a scale type is chosen in the key
  // settings or "Colours by Item" is unticked in Query.
  bool palette_by_item = true;
  // Velocity components drawn as arrows over the plot (grarrows), when the
  // caller hands them: the same nodes as the field, not owned.
  const float* arrow_u = nullptr;
  const float* arrow_v = nullptr;
  bool streamlines = true;  // with the arrows, streamlines of the same velocities
  // The item shown ("Flow Depth [m]"), first in the subtitle; names the
  // values of the sum curve.
  std::string item;
};

// Colour mode of the palette that suits an item ("Flow Depth [m]", "Water
// Level [m]", ...): kPaletteDepth, kPaletteTerrain, kPaletteSpeed, or 0 for
// items of no particular palette (signed components, concentrations, ...).
int item_palette(std::string_view item);

// Unit of an item as its label carries it at the end ("[m]" of "Flow Depth
// [m]"); empty when the label has none.
std::string item_unit(std::string_view item);

// Label of the item of a grid: the unit of the values follows the header's
// item ("bedlevel" and a grid without an item hold levels in m: "Value [m]").
std::string grid_item_label(std::string_view item);

// Entries the plot appends to the loop's menu (requests -1 .. -9); their
// keys differ from those of the main menu ("?" there is the loop's help).
inline constexpr std::array<std::string_view, 9> kContourMenu = {"<NNearest", "<EExamine", " GGrid",
                                                                 " AAlter",   " IInquire", " SSum",
                                                                 " WWrite",   "-SShading", " P??"};

// Room of the callers' level arrays: the key settings (request 5) write up
// to NCOLGR + 1 levels and keep NCOLGR below it.
inline constexpr int kLevelRoom = 255;

inline constexpr float kRasterCell = 2.0f;  // cell size (pixels) below which rows are scanned
inline constexpr int kCellCorners = 12;     // largest cell the class fill takes

// The plot routine. request: 0 set up (extent, options, levels, menu
// entries), 1 draw, 2 nothing, 3 the colour key, 4 the title form of the
// key, 5 the key settings (a click on the key; levels then needs room for
// kLevelRoom values), -1 .. -9 the appended menu entries in order, -99 external data.
// options: bit 1 (2) colour classes, bit 2 (4) compute the levels now
// (cleared once done). levels holds NCOLGR + 1 ascending values. Values not
// above nodata + 0.1 are missing; Alter (-4) changes f in place. extent out: x min, x max, y min, y
// max.
void grcon1(Graphics& g, Viewer& v, int request, const float* x, const float* y, float* f, int ld,
            int ld2, int nx, int ny, float* levels, int& options, float nodata, float extent[4]);

// Automatic levels: |NCOLGR| + 1 values into levels (levels[0] on entry: -99
// asks for a lower bound of at least 0).
void grcfil(const Graphics& g, const float* f, int ld, int nx, int ny, float nodata, float* levels);

// Class fill of one cell of n corners (at most kCellCorners) with ncol
// classes between the ncol + 1 levels: in the plane, and through the 3-D
// transform (z the height of the corners).
void grcol2(Graphics& g, const float* x, const float* y, const float* f, int n, const float* levels,
            int ncol);
void grcol3(Graphics& g, const float* x, const float* y, const float* z, const float* f, int n,
            const float* levels, int ncol);
// Contour lines of the nlev levels in one cell (3-D pen moves).
void grmon3(Graphics& g, const float* x, const float* y, const float* z, const float* f, int n,
            const float* levels, int nlev);

// Class of a value: 1 + the number of the nlev levels below it.
int grclass(float v, const float* levels, int nlev);

// Value at the point (px, py) (user coordinates). False when no cell holds
// the point: the error line "Could not find cell in GRLOCT" is written on
// JOUTGR and the program goes on.
bool grloct(Graphics& g, const float* x, const float* y, const float* f, int ld, int nx, int ny,
            float px, float py, float& value);

// The shading form (light direction and the shading switch); a redraw is
// queued unless the form is cancelled.
void grshade(Graphics& g);

// Exports of the node values; false (with the reason in the message line)
// when the file cannot be written. name is the file (already chosen).
bool grwgrid(Graphics& g, const std::string& name, const float* x, const float* y, const float* f,
             int ld, int nx, int ny, float nodata);
bool grwbrk(Graphics& g, const std::string& name, const float* x, const float* y, const float* f,
            int ld, int nx, int ny);
bool grwxyz(Graphics& g, ContourState& s, const std::string& name, const float* x, const float* y,
            const float* f, int ld, int nx, int ny, float nodata, float r);

// Lines of the sum curve of the valid node values (~20 classes). The
// values are headed by the last word of the item and its unit ("depth[m]"
// for "Flow Depth [m]"), "value[ ]" when the item has no unit.
std::vector<std::string> grsumc(const Graphics& g, const float* f, int ld, int nx, int ny,
                                float nodata, std::string_view item = {});

// Pixel-row drawing of the classes in the window; false when the grid is not
// rectilinear (the caller falls back to cell polygons).
bool grcrast(Graphics& g, const float* x, const float* y, const float* f, int ld, int nx, int ny,
             const float* levels, int ncol);

}  // namespace qf
