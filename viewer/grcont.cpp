#include "io/textio.h"
#include "viewer/readout.h"
#include "viewer/viewer.h"

namespace qf {

void grcont(Graphics& g, Viewer& v, const float* x, const float* y, float* f, int ld, int ld2,
            int nx, int ny, std::string& texts, float* levels, int option, int& options,
            float nodata) {
  if (g.n.IKEYGR <= 0) g.n.IKEYGR = 1;
  if (v.contour.palette_by_item) {
    // The item stands first in the subtitle.
    const int p = item_palette(texts.size() > 80 ? std::string_view(texts).substr(80, 80) : "");
    const int m = std::abs(g.n.CMODGR);
    if (p != 0)
      g.n.CMODGR = p;
    else if (m >= kPaletteDepth && m <= kPaletteSpeed)
      g.n.CMODGR = 2;  // the rainbow table
  }
  const PlotRoutine plot = [&](int mode, PlotScale& scale) {
    float extent[4] = {scale[0], scale[1], scale[2], scale[3]};
    grcon1(g, v, mode, x, y, f, ld, ld2, nx, ny, levels, options, nodata, extent);
    if (mode == 0) scale = {extent[0], extent[1], extent[2], extent[3]};
  };
  // The item, first in the subtitle up to a gap, names the readout's value.
  std::string item = texts.size() > 80 ? texts.substr(80, 80) : std::string();
  item = std::string(trim_right(item.substr(0, item.find("  "))));
  v.contour.item = item;
  g.t.KEYUGR = item_unit(item);
  v.control.readout = [&g, x, y, f, ld, nx, ny, nodata, item](float px, float py) {
    return grreadout(g, x, y, f, ld, nx, ny, nodata, item, px, py);
  };
  grctrl(g, v, plot, option, texts);
  v.control.readout = nullptr;
}

}  // namespace qf
