// Helpers shared by the source files of the plotting library core.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/graphics.h"

namespace qf {

// Truncation toward zero, saturated to the int range (NaN gives 0).
int grsafe_int(double v);
// A text between apostrophes, embedded apostrophes doubled.
std::string grquote(std::string_view s);
// Keep list in ".grset": read from lines[pos...] / write on channel ch.
void grkread(Graphics& g, const std::vector<std::string>& lines, std::size_t& pos);
void grkwrite(Graphics& g, int ch);
// Appends a device point to the polyline buffer (dropping a repeat of the
// last point, flushing a full buffer first).
void grpadd(Graphics& g, int px, int py);
// Restarts the polyline buffer with one point (flushing what it held).
void grpnew(Graphics& g, int px, int py);
// Device pixel of a user coordinate (truncated toward zero).
int grdevx(const Graphics& g, float x);
int grdevy(const Graphics& g, float y);
// Inside the clip rectangle.
bool grinside(const Graphics& g, float x, float y);
// World coordinate of a user coordinate.
inline double grwx(const Graphics& g, float x) {
  return g.n.XORGR + x;
}
inline double grwy(const Graphics& g, float y) {
  return g.n.YORGR + y;
}

// k as two digits with a leading zero (k mod 100 for larger values).
std::string grdig2(int k);

}  // namespace qf
