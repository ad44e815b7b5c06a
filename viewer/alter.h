// Field editing in the viewer: point operations on the plotted node values,
// on all nodes, inside a polygon drawn with the pointer or read from a file,
// or as a random perturbation. Every interactive polygon operation is
// written to the output channel (JOUTGR) in the form Read takes back, so a
// session's editing can be replayed on the original field.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qf {

struct Graphics;
struct Viewer;

// The editor's menu; no two entries share a key letter (Replot keeps R as in
// the main menu, Random takes M).
inline constexpr std::array<std::string_view, 8> kAlterMenu = {
    " OOperator", " FFill", " AAll", "  Read", " MRandom", " RReplot", " ??", " DDone"};

inline constexpr int kPolygonStore = 10000;  // vertices of one polygon

// Kept between calls of the editor.
struct AlterState {
  std::string op = "+2.0";  // operation text (operator and number)
  int code = 2;             // operator code of op (0: none)
  float number = 2.0f;      // number of op
  bool file_open = false;   // a polygon file is being read
  std::string pushed;       // line handed back by igplyf (a non-vertex line)
  bool has_pushed = false;
  std::string file;  // polygon file being read, and its last line read
  int line_no = 0;
  std::int32_t seed = -1;  // state of rgrand
};

// Ways a polygon read by igplyf ended.
enum PolygonEnd {
  kPolyEof = 0,        // the file ended
  kPolyNotVertex = 1,  // a line that is no vertex (handed back for the caller)
  kPolyEndLine = 2,    // a line starting with ">>" or "end"
  kPolyFull = 3,       // the store is full; the rest of the polygon is skipped
};

// Operator code of text ("=" 1, "+" 2, "-" 3, "*" 4, "/" 5, "<" 6, ">" 7)
// and the number after it; 0 (and number 0) when the rest is no number.
int igetop(const std::string& text, float& number);

// value combined with number by code. Division by |number| < 1e-30 gives 0
// and flag 1; an unknown code leaves the value and sets flag 2.
float valoper(float value, float number, int code, int& flag);

// Pseudo-random number in [0, 1): seed = seed * 16807 (32-bit wrap-around)
// mod 2147483647. Seed -1 is first replaced by one from the clock text.
float rgrand(Graphics& g, std::int32_t& seed);

// Polygon from the pointer (Undo, Cancel, Read, help, Done). count in: the
// capacity, out: the vertices. box: x min, x max, y min, y max. The closed
// polygon's vertices (world coordinates) and "end" are written on channel
// JOUTGR when done.
void igplyp(Graphics& g, Viewer& v, std::vector<float>& x, std::vector<float>& y, int& count,
            float box[4]);

// One polygon from the open file of channel ch (user coordinates, relative
// to the world origin; at most count vertices). Returns a PolygonEnd.
int igplyf(Graphics& g, AlterState& s, int ch, std::vector<float>& x, std::vector<float>& y,
           int& count, float box[4]);

// The editor on the nx x ny nodes (leading dimension ld) of x, y and the
// values f1 (and f2 when components > 1).
void gralter(Graphics& g, Viewer& v, int components, int nx, int ny, int ld, const float* x,
             const float* y, float* f1, float* f2);

}  // namespace qf
