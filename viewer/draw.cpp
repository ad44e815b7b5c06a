// Draw mode and plot list: the loop calls them already; the user's own
// lines, texts and symbols are not kept yet.
#include "viewer/draw.h"

#include "viewer/viewer.h"

namespace qf {

void grdraw(Graphics& g, Viewer& v) {
  (void)v;
  grmesg(g, "Draw: not available yet");
}

void grplst(Graphics& g, Viewer& v, int selector) {
  (void)g;
  (void)v;
  (void)selector;
}

}  // namespace qf
