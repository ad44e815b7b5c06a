// X11 device layer of the plotting library: one window with a back-buffer
// pixmap, one graphics context, the fixed font "6x12", colours, dashes,
// input events, pauses, the bell and the time stamp.
//
// The layer knows nothing of plots, user coordinates or output modes: every
// coordinate is an integer device coordinate in pixels (origin top left,
// y downwards) and every colour is an X pixel value (as returned by grxmkc).
// Coordinates are narrowed to the 16-bit X point type; values outside that
// range are saturated.
//
// All X resources live in one GrxState that the caller owns and passes by
// reference; two states are two independent windows (each with its own
// server connection). Xlib's own headers are not needed by callers.
//
// The library-level entries grflip (flush the polyline buffer, then
// grxflp), grpause (grxslp) and grbeep (grxbeep) belong to the graphics core,
// which owns the output mode and the polyline buffer.
//
// Messages meant for the user ("Cannot open display", colour allocation
// failures, the font fallback) go to the screen stream the caller passes.
#pragma once

#include <ctime>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// A rectangle of the window saved off-screen (see grxsav).
struct GrxSaved {
  unsigned long pixmap = 0;
  int x = 0, y = 0, w = 0, h = 0;
};

// Opaque Xlib types (Display is struct _XDisplay, GC is struct _XGC *).
struct _XDisplay;
struct _XGC;

namespace qf {

// X event types returned by grxevn / grxcvn (the values of X.h).
inline constexpr int kGrxKeyPress = 2;
inline constexpr int kGrxButtonPress = 4;
inline constexpr int kGrxMotion = 6;  // only while grxmot has it on
inline constexpr int kGrxExpose = 12;
inline constexpr int kGrxConfigureNotify = 22;
// The window manager asks to close the window (WM_DELETE_WINDOW of the
// WM_PROTOCOLS client message, type 33 of X.h).
inline constexpr int kGrxClose = 33;

// Translated key codes returned by grxevn for special keys; every other key
// comes back as its key symbol (the character code for Latin-1 keys), keypad
// "*", "+", ",", "-", ".", "/", "0".."9" as their ASCII characters.
inline constexpr int kGrxKeyReturn = 11;  // Return and keypad Enter
inline constexpr int kGrxKeyEscape = 12;
inline constexpr int kGrxKeyDelete = 13;
inline constexpr int kGrxKeyBackSpace = 14;
inline constexpr int kGrxKeyLeft = 15;
inline constexpr int kGrxKeyUp = 16;
inline constexpr int kGrxKeyRight = 17;
inline constexpr int kGrxKeyDown = 18;

// Dash styles for grxdsh; on/off lengths in pixels, 0-terminated.
inline constexpr int kGrxDashSolid = 1;
inline constexpr int kGrxDashed = 2;
inline constexpr int kGrxDotted = 3;
inline constexpr int kGrxDotDashed = 4;
inline constexpr int kGrxDotDotDashed = 5;
inline constexpr char kGrxDashPattern[6][7] = {
    {0}, {0}, {9, 3, 0}, {3, 3, 0}, {9, 3, 3, 3, 0}, {9, 3, 3, 3, 3, 3, 0}};

// Largest polyline drawn at once by the callers and largest filled polygon.
inline constexpr int kGrxMaxPolyline = 100;
inline constexpr int kGrxMaxPolygon = 2000;

// Everything the device layer holds. Default-constructed = closed. One open
// state owns its connection: do not copy an open state (close it once).
struct GrxState {
  _XDisplay* display = nullptr;  // connection to the X server (null = closed)
  unsigned long window = 0;      // the plot window (X Window id)
  unsigned long pixmap = 0;      // back buffer of the window's depth
  unsigned long drawable = 0;    // where drawing goes now: window or pixmap
  _XGC* gc = nullptr;            // the one graphics context
  int width = 0, height = 0;     // current window size in pixels
  int pixmap_width = 0;          // size of the back buffer; it is recreated
  int pixmap_height = 0;         //   when the window grows beyond it
  int depth = 0;                 // root depth of the screen
  unsigned long fgcolor = 0;     // pixel values taken at open time
  unsigned long bgcolor = 0;     //   (both the screen's white pixel)
  unsigned long pixelsave = 0;   // last foreground set by grxstc
  int dash_style = 1;            // last dash style set by grxdsh
  unsigned long font = 0;        // loaded font id (0 = none)
  unsigned long wm_delete = 0;   // atom WM_DELETE_WINDOW
  // The window manager asked to close the window: from then on grxevn and
  // grxcvn answer kGrxClose at once, until the window is closed.
  bool closing = false;
  // The connection to the server broke (server ended, socket closed). Xlib
  // is not called again on it: drawing does nothing, grxevn answers 0 at
  // once and grxcls only frees the connection.
  bool lost = false;
  // Font wanted at open time; if the server lacks it, "fixed" is used
  // (kept across grxcls).
  std::string font_name = "6x12";
  // Areas of the window saved under dialogs, the last saved on top.
  std::vector<GrxSaved> saved;
};

// True while a display connection is open (also after it was lost, until
// grxcls).
inline bool grxisopn(const GrxState& s) {
  return s.display != nullptr;
}

// True while the window can be drawn into and answers: open and not lost.
inline bool grxlive(const GrxState& s) {
  return s.display != nullptr && !s.lost;
}

// Opens the default display (DISPLAY) and a window at (x, y) of w x h pixels
// with a back-buffer pixmap of the same size (cleared to the background);
// drawing goes to the window.
// depth receives the root depth. The window and icon names are cut at the
// first NUL and trailing blanks are dropped. A state that is still open is
// closed first. No display: writes " Cannot open display...aborting" on
// `screen` and throws qf::Stop(1). `fit`, when given, is told the screen's
// size before the window is made and may make w and h smaller.
void grxopn(GrxState& s, std::ostream& screen, int x, int y, int w, int h, int& depth,
            std::string_view window_name, std::string_view icon_name,
            const std::function<void(int screen_w, int screen_h, int& w, int& h)>& fit = {});

// Closes the display connection (window, pixmap, gc and font go with it);
// the state is reset to closed. Does nothing when closed.
void grxcls(GrxState& s);
// True when a window could be opened now (the display answers).
bool grxprobe();

// Fills the whole drawable (0, 0, width, height) with bgcolor, then sets the
// foreground back to pixelsave.
void grxclr(GrxState& s);

// Makes the pixmap the drawable (start of a double-buffered frame).
void grxpix(GrxState& s);

// If the drawable is the pixmap: copies it to the window (0, 0, width,
// height), makes the window the drawable and flushes; otherwise only
// flushes the output queue.
void grxflp(GrxState& s);

// Saves the pixels of the window in the rectangle (x, y, w, h), clipped to
// the window, on top of the stack of saved areas (an off-screen pixmap).
// Returns the number of saved areas, or 0 when nothing could be saved (closed,
// lost, an empty rectangle).
int grxsav(GrxState& s, int x, int y, int w, int h);

// Copies the saved areas above `level - 1` back into the window, the last
// saved first, and frees them (level as returned by grxsav; 0 does nothing).
// With put_back false they are only freed (the window was drawn anew).
void grxrst(GrxState& s, int level, bool put_back = true);

// Copies the rectangle (x, y, w, h) of the back buffer into the window: the
// last picture shows again where something was drawn over it.
void grxshw(GrxState& s, int x, int y, int w, int h);

// One line segment from (x1, y1) to (x2, y2).
void grxlin(GrxState& s, int x1, int y1, int x2, int y2);

// Connected polyline through n points (absolute coordinates).
void grxlnz(GrxState& s, int n, const int* xs, const int* ys);

// Fills the polygon of n points (non-convex shape) and draws its closed
// outline (n + 1 points, first repeated) in the same colour.
void grxply(GrxState& s, const int* xs, const int* ys, int n);

// Fills the rectangle of w x h pixels with its top left corner at (x, y).
void grxrec(GrxState& s, int x, int y, int w, int h);

// Sets the foreground pixel and remembers it in pixelsave.
void grxstc(GrxState& s, int pixel);

// Draws the first n characters of text (at most text.size()) in the fixed
// font with the start of the baseline at (x, y).
void grxstr(GrxState& s, int x, int y, std::string_view text, int n);

// Sets the dash style 1..5 (see kGrxDashPattern); 0 and other values leave
// the line style unchanged.
void grxdsh(GrxState& s, int style);

// Allocates n colours 0xRRGGBB in the default colormap; pixel[i] receives
// the pixel value of rgb[i]. A failure writes "could not allocate color i"
// on `screen` and leaves pixel[i] as the allocation left it (0).
void grxmkc(GrxState& s, std::ostream& screen, const int* rgb, int* pixel, int n);

// Waits for the next event and translates it (a lost connection or a
// closed state returns type 0 at once, a window the window manager asked to
// close kGrxClose at once):
//   key press (2):        x, y pointer position, detail translated key
//   button press (4):     x, y pointer position, detail button number
//   pointer motion (6):   x, y pointer position, detail 0 (see grxmot)
//   expose (12):          x = y = 0, detail remaining expose count
//   configure notify (22): x, y new width and height, detail 1; width and
//                         height are updated; if the window grew beyond
//                         the pixmap, a new one of the window's size takes
//                         its place: the old picture in the common part,
//                         bgcolor elsewhere (also the drawable if it was)
//   close request (33):   x, y, detail unchanged; closing is set
//   others:               type only; x, y, detail unchanged
void grxevn(GrxState& s, int& type, int& x, int& y, int& detail);

// Pointer motion reported by grxevn (type kGrxMotion, x, y the pointer,
// the last of a burst only) while on; off again it is no longer asked for.
void grxmot(GrxState& s, bool on);

// Drains pending events without waiting: first all button presses (type, x,
// y and button of the last one), then all key presses (type, x, y and the
// untranslated key symbol of the last one). Nothing pending: arguments are
// left as they were. A close request of the window manager (now or
// before) gives type kGrxClose. Other events stay queued.
void grxcvn(GrxState& s, int& type, int& x, int& y, int& detail);
// True when events wait in the queue (nothing is taken from it) or the
// window is to be closed; false without a display or after its loss.
bool grxpnd(GrxState& s);

// Sleeps n times 30 ms (after flushing pending output); n <= 0 returns at once.
void grxslp(GrxState& s, int n);

// Rings the bell at the base volume.
void grxbeep(GrxState& s);

// Time stamp "dd Mmm yyyy hh:mm:ss" (exactly 20 characters, local time,
// English month abbreviation): of now, or of the given time.
std::string grxtim();
std::string grxtim(std::time_t t);

// Translation of a key symbol as grxevn applies it (see the kGrxKey codes).
int grxkey(unsigned long keysym);

// Frame dumping is not available on the window: writes the notice on `screen`.
void grxdmp(std::ostream& screen);

}  // namespace qf
