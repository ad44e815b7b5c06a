// The plotting library core: the graphics state records, the settings file
// ".grset", colour tables, output modes (window, keep file, DXF drawing,
// shapefile, ArcPolygon text), the pen with clipping and the polyline
// buffer, fills, symbols, text, the progress bar, the command script queue
// and the answering path of the dialogs.
//
// All state lives in one Graphics object owned by the caller and passed by
// reference to every routine; two objects are two independent plotters.
//
// Coordinates: user coordinates are single-precision offsets from the
// double-precision world origin (XORGR, YORGR). Device coordinates are
// window pixels, x to the right, y downwards:
//   device x = (x - XMINGR) * XFACGR + XORGGR
//   device y = (y - YMINGR) * YFACGR + YORGGR   (YFACGR < 0)
#pragma once

#include <array>
#include <cstdio>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "graphics/x11/grx.h"

namespace qf {

class Channels;

// Output modes (IMODGR).
inline constexpr int kModeNone = 0;
inline constexpr int kModeScreen = 2;  // 1..6 all draw into the window
inline constexpr int kModeKeep = 8;
inline constexpr int kModeDxf = 9;
inline constexpr int kModeShape = 10;
inline constexpr int kModeArcPolygon = 11;

inline constexpr int kTableColours = 201;  // grey ramp and the 20 hues in nine shades
inline constexpr int kRampColours = 20;    // entries of each palette ramp after them
inline constexpr int kColours = kTableColours + 3 * kRampColours;  // entries of the colour table
// Colour modes of the palette ramps (CMODGR), after 1 grey, 2 rainbow,
// 3 uniform and 4 none: light to dark blue for depths, a terrain ramp for
// levels, a light yellow to dark red ramp for speeds and hazard.
inline constexpr int kPaletteDepth = 5;
inline constexpr int kPaletteTerrain = 6;
inline constexpr int kPaletteSpeed = 7;
inline constexpr int kPolyBuffer = 100;      // points of the polyline buffer
inline constexpr int kScriptMax = 10000;     // commands of the script queue
inline constexpr int kScriptLen = 16;        // characters per command
inline constexpr int kSegmentMax = 40000;    // points/segments of the shape collector
inline constexpr int kSegmentFlush = 39999;  // collector is written out at this count
inline constexpr int kKeepListMax = 40;      // keep files redrawn with every plot
inline constexpr int kCleanMax = 200;        // clean-up rectangles
inline constexpr int kFillMax = 2000;        // points of a filled polygon on the screen

// Numeric state record. Member names are those by which the library and
// grvalu know them.
struct Grcomn {
  double XORGR = 0, YORGR = 0;                           // world origin of user coordinates
  float XMINGR = 0, XMAXGR = 0, YMINGR = 0, YMAXGR = 0;  // user window
  float VLOWGR = 0;
  float XMNCGR = 0, XMXCGR = 0, YMNCGR = 0, YMXCGR = 0;  // clip rectangle
  float LITEGR[3] = {-1.0f, 1.3f, 2.0f};
  float UNITGR = 50.0f;  // pixels per axis interval before scaling
  int SMALGR = 0;
  int IN01GR = 0, IN02GR = 0, IN03GR = 0, IN04GR = 0, IN05GR = 0, IN06GR = 0, IN07GR = 0,
      IN08GR = 0, IN09GR = 0, IN10GR = 0, IN11GR = 0, IN12GR = 0, IN13GR = 0, IN14GR = 0,
      IN15GR = 0;
  int LABLGR = 0;
  int PAPRGR = 0;
  int JINGR = 5, JOUTGR = 6;
  int JDV1GR = 95, JDV2GR = 96, JDV3GR = 97;  // settings/DXF/ArcPolygon, spare, keep file
  int HTCHGR = 0;                             // hatch style of fills, 0 = solid
  int SHADGR = 0;
  int SHPTGR = 3;  // shapefile type: 1 point, 2 arc, 3 polygon
  int IMODGR = 0;  // output mode
  int IKEYGR = 1;
  float KEYXGR = 0, KEYYGR = 10;
  int HTSPGR = 5;                            // hatch spacing in pixels
  int SHPAGR = 1;                            // shapefile attribute: 1 integer, 2 double
  float XPENGR = 0, YPENGR = 0, ZPENGR = 0;  // pen
  float ZNXTGR = 0;                          // z of the next drawn point
  int PVISGR = 0;                            // pen inside the clip rectangle
  float XCRSGR = 0, YCRSGR = 0;              // last cursor position
  float SYMFGR = 0.5f, ZOOMGR = 0.71f;
  float XPSGR = 1, YPSGR = 1;
  float SCALGR = 1;
  float NICEGR[7] = {1, 2, 4, 5, 10, 20, 40};
  int NNICGR = 7;
  int INDSGR = 0;
  int VSTPGR = 1;
  int DXFCGR = 2;  // colour number of the current DXF entity
  float XSCLGR = 0.7865f, YSCLGR = 0.7865f;
  int NXINGR = 24, NYINGR = 18;
  float YBEAMGR = 0;
  float VMINGR = 0.01f;
  float XORGGR = 0, YORGGR = 0, XFACGR = 1, YFACGR = 1;
  float VSCLGR = 10;
  int LANGGR = 1;
  int SCTKGR = 0;  // script commands already taken
  int NSCRGR = 0;  // script commands queued
  int NPOLGR = 0;  // points in the polyline buffer
  // 3-D viewing matrix: TRANGR[i-1][j-1] is row i, column j.
  float TRANGR[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  int DXFTAB[26] = {};  // AutoCAD colour index of colour numbers -10 .. 15
  int POLXGR[kPolyBuffer] = {}, POLYGR[kPolyBuffer] = {};
  int WNDWGR[4] = {10, 0, 0, 0};
  int PIXTAB[kColours] = {};  // X pixel value of each colour-table entry
  int COLTAB[kColours] = {};  // 0xRRGGBB of each colour-table entry
  int CMODGR = 2, CPARGR = 5;
  int NCOLGR = 12;
  int VSYMGR = 103;
  int REMAPGR[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  int ON3DGR = 0;
  float KEYSGR = 1;
  int DTONGR = 1;
  int HCDTGR = 0;  // hardcopies carry the date ("with date" of the viewer)
};

// Text state record: blank-padded fixed-length texts (the sizes below are
// kept by every writer).
struct Grcomt {
  std::string TITLGR = std::string(80, ' ');
  std::string TIT2GR = std::string(80, ' ');
  std::string XCAPGR = std::string(40, ' ');
  std::string YCAPGR = std::string(40, ' ');
  std::string DATEGR = std::string(15, ' ');
  std::string SCRIPT = std::string(kScriptMax * kScriptLen, ' ');  // command queue
  std::string AUXCGR = std::string(20, ' ');
  std::string WNABGR = std::string(20, ' ');
  std::string PRNTGR = std::string(40, ' ');
  std::string FLDNGR = std::string(40, ' ');
  std::string PRN3GR = std::string(40, ' ');
  std::string FIRMGR = std::string(80, ' ');
  std::string PROGGR = std::string(20, ' ');
  std::string KEYUGR;  // unit of the key's values ("[m]"), drawn with the key; may be empty
  std::string FILNGR = std::string(80, ' ');
  std::vector<std::string> TRACGR;  // trace list shown by the viewer (80 characters a line)
};

// Open files of the library by channel number (JDV1GR, JDV3GR, ...).
class GrFiles {
 public:
  GrFiles() = default;
  ~GrFiles() { close_all(); }
  GrFiles(const GrFiles&) = delete;
  GrFiles& operator=(const GrFiles&) = delete;
  // mode as for fopen; closes what the channel held first.
  bool open(int ch, const std::string& path, const char* mode);
  // Closes the channel; returns 0, or the error number (errno) of the first
  // write, flush or close on it that failed.
  int close(int ch);
  void close_all();
  std::FILE* get(int ch) const;
  bool is_open(int ch) const { return get(ch) != nullptr; }
  // The path the channel was opened with (empty when not open).
  std::string path(int ch) const;
  // Writes s and a line end on channel ch (nothing when not open).
  void line(int ch, std::string_view s);

 private:
  struct Open {
    std::FILE* f = nullptr;
    std::string path;
    int error = 0;  // first failed write
  };
  std::map<int, Open> f_;
};

// State of the routines below that is not part of the two records.
struct GrModeState {
  int saved_mode = 0;  // mode and 3-D flag saved when a file mode starts
  int saved_on3d = 0;
  bool display_open = false;
  std::string closing = std::string(80, ' ');
  std::string shape_prefix;   // prefix of the open shapefile pair
  bool shape_failed = false;  // a shape of this pair was not written whole
  std::string shape_field;    // attribute field name
  // Levels of the colour classes being filled (set by the plot while it
  // writes a polygon shapefile): colour k fills class k + class_lower, the
  // values from class_levels[k + class_lower - 2] to [k + class_lower - 1].
  std::vector<float> class_levels;
  int class_lower = 0;
};

struct GrPenState {
  int last_colour = -99999, last_colour_mode = -1;
  int last_cmod = 0, last_cpar = 0;  // colour mode and parameter of the last colour
  int last_dash = -99999, last_dash_mode = -1;
  // Saved user window of grclip (x then y: MIN, MNC, MXC, ORG, FAC).
  float saved[10] = {};
  bool user_coords = true;
};

struct GrSegments {
  std::vector<float> x, y, z;  // points (user coordinates)
  std::vector<int> a, b;       // segments: point numbers
  int flushes = 0;
  // Look-up aids: stored points by grid cell, stored point pairs.
  std::unordered_map<long long, std::vector<int>> grid;
  std::unordered_set<long long> pairs;
};

struct GrCleanRect {
  float x, y, w, h;
};

struct Graphics;
struct GrBitmapCache;

struct GrKeepList {
  std::vector<std::string> names;  // 80 characters each
  std::vector<int> flags;          // pass 1 or 2; 0 = to be dropped
  // Reader of "PUT" records (the plot list): lines and the position after
  // the keyword, advanced past what it takes; the shift of the record's
  // coordinates. Without one the records are skipped.
  std::function<void(Graphics&, const std::vector<std::string>&, std::size_t&, double, double)> put;
};

// Message area of the dialogs: newest line first.
struct GrMessages {
  std::vector<std::string> lines;    // up to 5 of 100 characters
  std::vector<std::string> history;  // up to 200 of 80 characters
  int box_w = 0, box_h = 0;          // message box last drawn (pixels)
  bool readout = false;              // lines[0] is the pointer readout (not in history)
  // Button bar between calls: count, layout, held-down button, button
  // waiting for a position, width used last (pixels).
  int bar_n = 0, bar_cols = 0, bar_rows = 0, held = 0, waiting = 0;
  float bar_width = 76.5f;
  int bar_rect[4] = {0, 0, 0, 0};                // pixels the last bar covered: x, y, w, h
  int choices = 0;                               // choices of the current choice field
  std::string save_name = std::string(32, ' ');  // file of the last text-page save
  int warnings = 0, errors = 0;                  // message counters of igrerr
};

// Axis scales of the last graxes call and the spacing counters of the
// contour labels (grwrit).
struct GrAxes {
  double xstep = 0, ystep = 0;    // label intervals in user units
  double xfirst = 0, yfirst = 0;  // first labelled multiples of the steps
  std::vector<int> since_label;   // per level: cells passed since its last label
};

struct Graphics {
  Grcomn n;
  Grcomt t;
  GrxState x;
  GrFiles files;
  GrModeState mode;
  GrPenState pen;
  GrSegments seg;
  std::vector<GrCleanRect> clean;
  GrAxes axes;
  GrKeepList keep;
  std::shared_ptr<GrBitmapCache> bitmaps;  // bitmaps of keep files (bitmap.cpp)
  GrMessages msg;
  int beam_last = -1;              // last percentage shown by grbeam
  int beam_under = 0;              // saved area under the bar of a writer (grbeamend)
  int saved_nx = 0, saved_ny = 0;  // interval counts after the settings were read
  // Streams for the library's own lines (standard output and error); the
  // caller's message channel JOUTGR goes to `io` when one is attached and
  // JOUTGR is not the screen.
  std::ostream* out;
  std::ostream* err;
  Channels* io = nullptr;
  Graphics();
  ~Graphics();
  Graphics(const Graphics&) = delete;
  Graphics& operator=(const Graphics&) = delete;
};

// ---- state, variables, settings (state.cpp) ----
void grinit(Graphics& g, int jin, int jout, std::string_view name, std::string_view label,
            int small);
// set = 0: get into value/text; otherwise set from value/text. Numbers travel
// as reals; the double overload keeps the precision of the world origin.
void grvalu(Graphics& g, std::string_view name, int set, double& value, std::string& text);
void grvalu(Graphics& g, std::string_view name, int set, float& value, std::string& text);
void grwset(Graphics& g);
void grsfac(Graphics& g);
void grtime(Graphics& g, std::string& text, int length);
// Reads ".grset" from the working directory into the state (step of grinit).
void grrset(Graphics& g);

// ---- colours (colour.cpp) ----
void grmcol(Graphics& g);
void grgcol(int& value, int& r, int& g, int& b, int direction);
float grint0(int n, const float* xs, const float* ys, float x, float& slope, int& flag);
// Colour-table entry (0..200) selected by colour number c in the current
// colour mode (remap of class colours not included).
int grcent(const Graphics& g, int c);

// ---- output modes (mode.cpp) and shapefiles (shape.cpp) ----
void grmode(Graphics& g, int& request);
void grclos(Graphics& g);
void grshpopen(Graphics& g, int type, int attr_type, const std::string& prefix,
               const std::string& field_name);
void grshpadd(Graphics& g, int n, const double* x, const double* y, const double* z, double dvalue,
              int ivalue, const std::string& prefix, int type, int attr_type);
void grsegm(Graphics& g, int op, float x1, float y1, float z1, float x2, float y2, float z2);

// ---- pen and primitives (pen.cpp) ----
void grmov2(Graphics& g, float x, float y);
void grdrw2(Graphics& g, float x, float y);
void grmov3(Graphics& g, float x, float y, float z);
void grdrw3(Graphics& g, float x, float y, float z);
void grdump(Graphics& g);
void grcolr(Graphics& g, int colour);
void grdash(Graphics& g, int style);
void grtran(const Graphics& g, float x, float y, float z, float& xo, float& yo, float& zo);
void grclip(Graphics& g, int op);
void grtrans(int language, std::string& caption);
void grflip(Graphics& g);
void grpause(Graphics& g, int n);
void grbeep(Graphics& g);
// True in the window modes 1..6.
inline bool grscreen(const Graphics& g) {
  return g.n.IMODGR >= 1 && g.n.IMODGR <= 6;
}

// ---- fills, symbols, text, bar (fill.cpp) ----
void grfil2(Graphics& g, const float* x, const float* y, int n, int colour);
void grfil3(Graphics& g, const float* x, const float* y, const float* z, int n, int colour);
void grect(Graphics& g, float x, float y, float w, float h, int fill, int frame);
void grfram(Graphics& g, const float* x, const float* y, int n, int colour);
void grhtch(Graphics& g, const float* x, const float* y, int n, int colour);
void grsymb(Graphics& g, int code);
void granot(Graphics& g, std::string_view text, int angle);
// Text at the pen with a size factor (1 = the fixed font), an alignment
// (0 left, 1 centred, 2 right, about the pen) and an angle in degrees.
void grano2(Graphics& g, std::string_view text, float size, int align, int angle);
// Text at (x, y) in user coordinates; a leading '<', '|' or '>' selects left,
// centred or right alignment about the point and is not drawn.
void grano3(Graphics& g, float x, float y, std::string_view text);
void grbeam(Graphics& g, int step, int total, std::string_view text);
// The end of a writer's progress bar: the picture under it shows again.
void grbeamend(Graphics& g);
void grcler(Graphics& g, int k);
void grclean(Graphics& g, int op, float x1, float x2, float y1, float y2);

// ---- keep files and the script queue (keep.cpp) ----
// Keep records as written in mode 8.
void grkrec(Graphics& g, std::string_view key, const std::string& values);
void grscpt(Graphics& g, int n, const std::string* commands, int length);
// Takes the next queued command (16 characters); false when none is pending.
bool grsnext(Graphics& g, std::string& command);
// Keep list: 0 clear, -1 drop the last, -2 read it from ".grset", -3 write
// it (with the settings) to ".grset", 3 and 4 replay the passes 1 and 2.
// 1 and 2 choose keep files for pass 1 or 2 in a form, 5 makes a bitmap keep
// file.
void grklst(Graphics& g, int mode);
void grkpla(Graphics& g, int& n, std::vector<std::string>& names, std::vector<int>& flags);

// ---- dialogs (dialog.cpp) ----
void grmesg(Graphics& g, std::string_view text);
void grinpa(Graphics& g, std::string_view prompt, std::string& answer);
void grinfo(Graphics& g, int n, const std::string* labels, std::string* values);

// Writes the fatal error line " ***ERROR***", text, "  (", a, ",", b, ")" on
// JOUTGR (one line, the reals in general format) and stops the program.
[[noreturn]] void greror(Graphics& g, std::string_view text, float a, float b);

// Helpers shared by the library.
std::string grfix(std::string_view s, std::size_t n);  // cut or blank-pad
void grline(Graphics& g, int ch, std::string_view s);  // line on a library channel
void grjout(Graphics& g, std::string_view s);          // line on JOUTGR
// Closes a file the library wrote on channel ch; when a write or the close
// failed, "Error writing: NAME (reason)" goes to the message line and to
// JOUTGR, and false is returned.
bool grfdone(Graphics& g, int ch);

// ---- axes, scales, number labels, contour labels and the key (axes.cpp) ----
// Nice scale: n steps of NICEGR(i) times a power of ten, starting at a
// multiple of the step at or below lo, that cover hi.
void grscal(const Graphics& g, float lo, float hi, int n, float& start, float& step);
// Window and scales (draw = 0: first pass, nothing drawn; otherwise the frame,
// titles, date line, grid, tics and numbers in the window). The data extent
// xmin .. ymax is used when the window is derived from the data.
void graxes(Graphics& g, float xmin, float xmax, float ymin, float ymax, int draw);
// Number label of value for labels step apart. width on entry: 0 = centred in
// a field of 9 characters, otherwise left-aligned; on exit the number of
// characters of the number.
void grprnt(double value, double step, std::string& text, int& width);
// Labels of the contour levels in one cell of n corners (x, y, f); levels
// holds nlev values; nx, ny is the size of the node grid.
void grwrit(Graphics& g, const float* x, const float* y, const float* f, int n, const float* levels,
            int nlev, int nx, int ny);
// Colour key. mode1 1: draw the key (with the titles) in the window; 0: the
// class and key settings form, then the new levels (NCOLGR + 1 values);
// -1: the form of the two title lines. mode2 is the caller's switch
// "Plot < Origin" (1 on), shown and set by the settings form. colour is the
// colour of the contour lines, drawn between the key's boxes while contour
// lines are on.
void grkey2(Graphics& g, std::vector<float>& levels, int mode1, int& mode2, int colour);
// True when the point (user coordinates) lies on the boxes of the colour key
// as grkey2 draws them.
bool grkeyat(const Graphics& g, float x, float y);

}  // namespace qf
