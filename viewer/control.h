// The interactive loop of the viewer around a plot routine: the menu, the
// hardcopy and keep submenus, the settings form, zooming and panning,
// clicks on titles and axes, and the perspective view.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/graphics.h"

namespace qf {

struct Viewer;
using PlotScale = std::array<float, 4>;
using PlotRoutine = std::function<void(int mode, PlotScale& scale)>;

// What the loop keeps between calls.
struct ControlState {
  int nx_seen = 0, ny_seen = 0;  // interval counts the window was opened with (0 = not yet)
  float xscl_seen = 0, yscl_seen = 0;
  bool frame = false;  // screen shots: with the window frame
  bool crop = false;   //   and cut to the plot
  // Screen shot waiting for the next redraw: the program and its arguments
  // (no shell), and the message shown after it.
  std::vector<std::string> pending;
  std::string pending_msg;
  int selection = 0;
  // The file shown (set by the caller; empty for plots of no file). The
  // window of the settings file is kept only for the file it was saved
  // with; any other file opens on its whole extent.
  std::string file;
  bool file_checked = false;
  // The pointer readout of the plot in the loop (set by the plot's caller;
  // empty for none): the message-line text at a user position.
  std::function<std::string(float x, float y)> readout;
  // Perspective view: yaw and tilt in degrees, height exaggeration, base level.
  float yaw = 30, tilt = 45, exaggeration = 1, base = 0;
};

// Main menu entries of the loop; the plot routine's entries follow them.
inline constexpr int kMenuEntries = 11;
// Mode of the plot routine for a click on its colour key: the key settings.
inline constexpr int kKeySettings = 5;

// The loop's menus. Character 1 is the marker, character 2 the key letter:
// no two entries that can be chosen share a key letter, also against the
// entries the plot routines append to the main menu.
inline constexpr std::array<std::string_view, kMenuEntries> kMainMenu = {
    " DDraw",  " HHardcopy", " KKeep", " OOriginal", " QQuery", " RReplot",
    " TTrace", "<VValue",    " YYaw",  " ??",        " XeXit"};
inline constexpr std::array<std::string_view, 12> kHardcopyMenu = {
    " DDXF", " SShape", " AArcPolygon", " BBMP",        " GGIF", " JJPG",
    " PPNG", " MPNM",   " TTIFF",       " RAttributes", " ??",   " XeXit"};
inline constexpr std::array<std::string_view, 6> kKeepMenu = {
    " SSave", "  foreground", "  background", " BBitmap", " ??", ">DDone"};

// The loop. option: positive = switches IN01GR .. IN13GR from its bits.
// texts: title (1-80), subtitle (81-160), x-axis label (161-200), y-axis
// label (201-240); title and labels changed in the loop are copied back.
// With IN15GR = 1 it returns after the first drawing.
void grctrl(Graphics& g, Viewer& v, const PlotRoutine& plot, int option, std::string& texts);

// Vector plot of u, v at the nodes x, y (leading dimension ld) in the loop,
// without the colour key.
void grvect(Graphics& g, Viewer& v, const float* x, const float* y, const float* u, const float* v_,
            int ld, int ld2, int n1, int n2, int option, std::string& texts);

// Window extent.
void grsset(Graphics& g, float xmin, float xmax, float ymin, float ymax);

// Zoom about (x, y): |mode| 1 or 4 by ZOOMGR, 2 keeps the size (centres),
// -9 nothing, other modes by 1 / ZOOMGR.
void grzoom(Graphics& g, float x, float y, int mode);

// Perspective view: a form of yaw, tilt, exaggeration and base level, then
// the 3-D transform and a redraw through the plot routine.
void gryaw(Graphics& g, Viewer& v, const PlotRoutine& plot, const PlotScale& extent);

// Runs a program (the screen shots' import) without a shell and waits for
// it, at most `seconds`: false with `why` when it cannot be started, fails
// or does not finish in time (it is then stopped).
bool grspawn(const std::vector<std::string>& argv, std::string& why, int seconds = 30);

// The help page of the loop (33 lines).
const std::vector<std::string>& grctrl_help();

}  // namespace qf
