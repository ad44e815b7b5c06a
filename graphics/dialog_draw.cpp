// Drawing of the dialogs in window pixels: boxes, texts and push buttons,
// straight through the device layer with the colours of the colour table.
#include <algorithm>
#include <cmath>
#include <string>

#include "graphics/dialog.h"
#include "graphics/graphics.h"
#include "graphics/internal.h"
#include "io/textio.h"

namespace qf {

namespace {

// Sets the device colour of colour number c; the pen's remembered colour is
// forgotten so that the next grcolr sets its own again.
void pcolour(Graphics& g, int c) {
  grdump(g);
  grxstc(g.x, g.n.PIXTAB[grcent(g, c)]);
  g.pen.last_colour = -99999;
}

}  // namespace

bool grdlgon(const Graphics& g) {
  return grscreen(g) && grxlive(g.x) && !g.x.closing;
}

void grpbox(Graphics& g, int x, int y, int w, int h, int fill, int frame) {
  if (!grdlgon(g) || w <= 0 || h <= 0) return;
  int xs[5] = {x, x + w, x + w, x, x};
  int ys[5] = {y, y, y + h, y + h, y};
  pcolour(g, fill);
  grxply(g.x, xs, ys, 4);
  if (frame != kNoFrame) {
    pcolour(g, frame);
    grxlnz(g.x, 5, xs, ys);
  }
}

void grptxt(Graphics& g, int x, int y, std::string_view text, int colour) {
  if (!grdlgon(g) || text.empty()) return;
  pcolour(g, colour);
  grxstr(g.x, x, y, text, static_cast<int>(text.size()));
}

float grpuser_x(const Graphics& g, int px) {
  return (static_cast<float>(px) - g.n.XORGGR) / g.n.XFACGR + g.n.XMINGR;
}

float grpuser_y(const Graphics& g, int py) {
  return (static_cast<float>(py) - g.n.YORGGR) / g.n.YFACGR + g.n.YMINGR;
}

GrUnder::GrUnder(Graphics& g, int x, int y, int w, int h) : g_(g) {
  if (!grdlgon(g)) return;
  grflip(g);  // a frame under way is shown first: the dialog draws into the window
  width_ = g.x.width;
  height_ = g.x.height;
  level_ = grxsav(g.x, x, y, w, h);
}

GrUnder::~GrUnder() {
  if (level_ == 0) return;
  grdump(g_);
  grxrst(g_.x, level_, g_.x.width == width_ && g_.x.height == height_ && grdlgon(g_));
}

void grpclean(Graphics& g, int x, int y, int w, int h) {
  const float x1 = grpuser_x(g, x), x2 = grpuser_x(g, x + w);
  const float y1 = grpuser_y(g, y + h), y2 = grpuser_y(g, y);
  // A dialog redrawn in the same place is entered once.
  for (const GrCleanRect& r : g.clean)
    if (r.x == std::min(x1, x2) && r.y == std::min(y1, y2) && r.w == std::fabs(x2 - x1) &&
        r.h == std::fabs(y2 - y1))
      return;
  grclean(g, 0, std::min(x1, x2), std::max(x1, x2), std::min(y1, y2), std::max(y1, y2));
}

void grpbutton(Graphics& g, float x, float y, float w, float h, std::string_view label,
               bool pressed) {
  if (!grdlgon(g)) return;
  const std::string lab = pad(label, std::max<std::size_t>(label.size(), 3));
  const int ix = static_cast<int>(x), iy = static_cast<int>(y);
  const int iw = static_cast<int>(w), ih = static_cast<int>(h);
  grpclean(g, ix, iy, iw + 1, ih + 1);
  if (lab[1] == ' ' && lab[2] == ' ') {  // no button: its place is erased
    grpbox(g, ix, iy, iw + 1, ih + 1, -1, kNoFrame);
    return;
  }
  const bool dim = lab[0] == '-';
  int text = dim ? -1 : 0, frame = dim ? -1 : -3;
  if (pressed && !dim) {
    frame = -4;
    text = -7;
  }
  if (lab.compare(0, 3, "PIN") == 0) {
    // Pin mark: a small head on a needle.
    const int cx = ix + iw / 2, cy = iy + ih / 2;
    grpbox(g, cx - 3, cy - 6, 6, 6, frame, kNoFrame);
    pcolour(g, frame);
    grxlin(g.x, cx, cy, cx, cy + 6);
    return;
  }
  int fill = -3;
  const std::string key5 = lab.size() >= 6 ? lab.substr(1, 5) : std::string();
  const std::string whole(trim_right(lab));
  if (key5 == "XeXit" || key5 == "DDone" || key5 == "CClose" || key5 == "FFile" || key5 == "OOpen")
    fill = 31;
  else if (whole == " CCompute" || whole == " CContinue" || whole == " EEdit")
    fill = 21;
  // Rounded bar: half circles of radius h/2 at both ends, 14 vertices each,
  // at the angles 90, 80, 70, 55, 35, 20, 10 degrees above and below the
  // middle line (offsets 1, 0.984, 0.94, 0.82, 0.574, 0.342, 0.174 of the
  // radius).
  static constexpr float kOff[7] = {1.0f, 0.984f, 0.94f, 0.82f, 0.574f, 0.342f, 0.174f};
  const float r = h / 2, ym = y + r;
  int xs[29], ys[29];
  int k = 0;
  auto put = [&](float px, float py) {
    xs[k] = static_cast<int>(std::lround(px));
    ys[k] = static_cast<int>(std::lround(py));
    ++k;
  };
  for (int i = 0; i < 14; ++i) {  // right end, top to bottom
    const float s = i < 7 ? kOff[i] : -kOff[13 - i];
    put(x + w - r + r * std::sqrt(std::max(0.0f, 1 - s * s)), ym - r * s);
  }
  for (int i = 0; i < 14; ++i) {  // left end, bottom to top
    const float s = i < 7 ? -kOff[i] : kOff[13 - i];
    put(x + r - r * std::sqrt(std::max(0.0f, 1 - s * s)), ym - r * s);
  }
  xs[28] = xs[0];
  ys[28] = ys[0];
  pcolour(g, fill);
  grxply(g.x, xs, ys, 28);
  pcolour(g, frame);
  grxlnz(g.x, 29, xs, ys);
  std::string shown(trim_right(std::string_view(lab).substr(2)));
  if (shown.size() > 10) {
    shown.resize(10);
    shown[9] = '_';
  }
  const float tx = x + w / 2 - 3.0f * static_cast<float>(shown.size());
  grptxt(g, static_cast<int>(std::lround(tx)), static_cast<int>(std::lround(ym + 3.5f)), shown,
         text);
}

void grbutn(Graphics& g, int op, float x, float y, float w, float h, std::string_view label,
            float px, float py, int& hit) {
  hit = 0;
  if (!grscreen(g)) return;
  const std::string lab = pad(label, std::max<std::size_t>(label.size(), 3));
  const bool none = lab[1] == ' ' && lab[2] == ' ';
  if (op == 1 && !none && px >= x && px <= x + w && py >= y && py <= y + h) hit = 1;
  grpbutton(g, x, y, w, h, lab, hit == 1);
  if (hit == 1 && grdlgon(g)) {
    grflip(g);
    grpause(g, lab[0] == '<' ? 26 : 6);
  }
}

}  // namespace qf
