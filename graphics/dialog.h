// Dialogs of the plotting library drawn into the window: push buttons, the
// button bar with cursor input, the field editor, prompts, the text page and
// the library's message counter. The message area, the one-line text prompt
// and the form are declared with the rest of the library (graphics.h).
//
// Every dialog first takes a pending command of the script queue as the
// user's answer; only without one, and only while the window is open in a
// screen mode, does it draw and wait for keys and pointer clicks. Without a
// window nothing is awaited: a prompt answers blank, a form "cancel", the
// button bar 0.
//
// Dialog geometry is in window pixels (x to the right, y downwards from the
// top left corner of the window).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "graphics/graphics.h"

namespace qf {

// A push button at (x, y) (top left) of w x h pixels. op 1 tests the pointer
// (px, py) against it (hit = 1 when inside); other ops only draw. Outside the
// screen modes nothing is drawn and hit is 0.
void grbutn(Graphics& g, int op, float x, float y, float w, float h, std::string_view label,
            float px, float py, int& hit);

// The button bar: n buttons; answer in: 100 = poll without waiting, negative
// = one row, 0..99 = column with that placement index; answer out: the button
// chosen (1..n), 0 for nothing / a click outside, -1..-4 for a pan by the
// arrow keys (poll mode), -3..-5 for pointer buttons 3..5. x, y receive the
// pointer position in user coordinates (also in XCRSGR, YCRSGR).
void grcurs(Graphics& g, int n, const std::string* labels, int& answer, float& x, float& y);

// The text a moving pointer shows in the message line, for the pointer at
// (x, y) in user coordinates; empty shows nothing. Each new position
// replaces the last readout; it is not kept in the message history.
using GrReadout = std::function<std::string(float x, float y)>;
void grcurs(Graphics& g, int n, const std::string* labels, int& answer, float& x, float& y,
            const GrReadout& readout);

// The menu of the interactive loop: like grcurs, with the plotting routine
// (called with a request code) redrawing the picture. Translated arrow keys
// pan and redraw the whole picture and answer -9.
void grcurs1(Graphics& g, int n, const std::string* labels, int& answer, float& x, float& y,
             const std::function<void(int request)>& plot, const GrReadout& readout = {});

// One field of a form at (x, y); x below -0.1 places it near the cursor.
// Edits value; hit = 1 when the pointer lay on the field.
void grgstr(Graphics& g, float x, float y, std::string_view label, std::string& value, int& hit);

// Number prompt: value in is shown as the default when |value| > 0.0001.
void grinpf(Graphics& g, std::string_view prompt, float& value);

// Scrolling text page with "Save" and "Done"; n = 0 only sets the file name
// (lines[0]) for a later save.
void grtext(Graphics& g, const std::string* lines, int n);

// Message counter: kind 0 summary in the message area, 1 warning, 2 error,
// 3 fatal (framed messages on channel; see the model's message service).
int igrerr(Graphics& g, int kind, std::string_view text, int channel);

// The picture under a dialog of w x h pixels at (x, y): saved off-screen
// when the dialog opens and put back when it closes, so that a form, a
// prompt or a page leaves nothing behind. When the window changed size
// meanwhile (the picture was drawn anew) nothing is put back.
class GrUnder {
 public:
  GrUnder(Graphics& g, int x, int y, int w, int h);
  ~GrUnder();
  GrUnder(const GrUnder&) = delete;
  GrUnder& operator=(const GrUnder&) = delete;

 private:
  Graphics& g_;
  int level_ = 0, width_ = 0, height_ = 0;
};

// ---- drawing helpers of the dialogs (dialog_draw.cpp) ----
// True when the dialogs can be drawn: a screen mode with the window open.
bool grdlgon(const Graphics& g);
// Filled rectangle (fill colour; frame colour unless frame == 0 is wanted:
// pass kNoFrame) in window pixels.
inline constexpr int kNoFrame = -9999;
void grpbox(Graphics& g, int x, int y, int w, int h, int fill, int frame);
// Text with its baseline start at (x, y) in the given colour.
void grptxt(Graphics& g, int x, int y, std::string_view text, int colour);
// A pixel rectangle entered in the clean-up list (in user coordinates).
void grpclean(Graphics& g, int x, int y, int w, int h);
// Window pixel <-> user coordinate.
float grpuser_x(const Graphics& g, int px);
float grpuser_y(const Graphics& g, int py);
// Draws a button (pressed = hit colours) without pausing.
void grpbutton(Graphics& g, float x, float y, float w, float h, std::string_view label,
               bool pressed);

}  // namespace qf
