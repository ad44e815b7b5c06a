// Geo-referenced bitmaps of the keep files: the reader of raw portable
// bitmaps (P4) and greymaps (P5), the pixel cache, the drawing of a bitmap
// as runs of equal grey, the world file (".tfw") and the palette viewer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/graphics.h"

namespace qf {

// Bytes of the pixel store shared by all cached bitmaps.
inline constexpr std::size_t kBitmapStore = 30000000;

// A bitmap read into memory: one grey byte per pixel (0 black .. 255
// white), rows from the top.
struct GrBitmap {
  int width = 0, height = 0;
  std::vector<unsigned char> pixels;
};

// Reads a raw P4 or P5 file. On failure returns false and error holds the
// reason (the file name included); never reads beyond the file.
bool grbmpr(const std::string& path, GrBitmap& bm, std::string& error);

// The bitmap of path from the cache, read and entered on first use (the
// cache is emptied when the new bitmap does not fit the store). nullptr when
// the file cannot be read; error as for grbmpr.
const GrBitmap* grbmget(Graphics& g, const std::string& path, std::string& error);

// Draws bm with its upper left corner at world (wx, wy), pixel size dx by
// dy (world units), row by row from the top; rows outside the window are
// skipped, runs of equal grey filled as rectangles.
void grbmdraw(Graphics& g, const GrBitmap& bm, double wx, double wy, float dx, float dy);

// Filled rectangle x1..x2, y1..y2 (user coordinates) in the grey of level
// (0 black .. 255 white) of the grey ramp.
void grfilp(Graphics& g, float x1, float y1, float x2, float y2, int level);

// The world file of a bitmap: pixel width, two rotation terms, pixel
// height, world x and y of the first pixel. False with a message text when
// a line is missing or not a number.
struct GrWorld {
  double a = 0, d = 0, b = 0, e = 0, c = 0, f = 0;
};
bool grtfw(const std::string& path, GrWorld& w, std::string& error);

// The name with its extension replaced by ext (".tfw", ".kep"); a name
// without one gets ext appended.
std::string grbmext(std::string_view name, std::string_view ext);

// Palette viewer: shows the colour table, picks an entry; colour in: the
// current colour number, out: the colour picked (unchanged on "Cancel").
void grcmap(Graphics& g, int& colour);

}  // namespace qf
