// Picture of the flow depth of the last record of a result file: colour
// classes, contour lines with labels, axes in world coordinates, key and
// title in the window, saved as a screen shot.
//
//   xvfb-run -a contour_picture channel.res [picture.png]
//
// channel.res comes from the channel example: quellfax -q channel.qfx in a
// copy of examples/channel.
//
// Depths up to 0.01 m count as dry and stay empty.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "graphics/graphics.h"
#include "io/stop.h"
#include "io/textio.h"
#include "model/resultfile.h"
#include "viewer/viewer.h"

namespace {

struct DepthField {
  int nx = 0, ny = 0;
  double xo = 0, yo = 0;
  float time = 0;
  std::string title;
  std::vector<float> x, y, f;
};

bool read_depth(const std::string& path, DepthField& d, std::string& why) {
  qf::ResultReader file;
  if (!file.open(path, &why)) {
    if (why.empty()) why = "cannot open";
    return false;
  }
  if (!file.labelled()) {
    why = "no item labels";
    return false;
  }
  const std::vector<std::string>& labels = file.labels();
  int item = -1;  // labels[0] is the time
  for (std::size_t k = 1; k < labels.size(); ++k)
    if (labels[k].find("Depth") != std::string::npos) {
      item = static_cast<int>(k) - 1;
      break;
    }
  if (item < 0) {
    why = "no depth among the items";
    return false;
  }
  const long blocks = file.scan();
  if (blocks < 1) {
    why = "no result record";
    return false;
  }
  const qf::ResultHeader& h = file.header();
  d.nx = h.nx;
  d.ny = h.ny;
  d.xo = h.x_origin;
  d.yo = h.y_origin;
  d.title = std::string(qf::trim_right(h.title));
  d.f.resize(static_cast<std::size_t>(d.nx) * d.ny);
  if (!file.coordinates(d.x, d.y)) return false;
  const std::span<float> f(d.f);
  for (int j = 1; j <= d.ny; ++j) {
    const std::size_t row = static_cast<std::size_t>(j - 1) * d.nx;
    if (!file.read_item(blocks, item, j, f.subspan(row, d.nx), &d.time)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: contour_picture result-file [picture.png]\n";
    return 2;
  }
  const std::string png = argc > 2 ? argv[2] : "depth.png";
  DepthField d;
  std::string why;
  if (!read_depth(argv[1], d, why)) {
    std::cerr << "contour_picture: " << argv[1] << ": " << why << "\n";
    return 1;
  }
  try {
    qf::Graphics g;
    qf::grinit(g, 5, 9, "contour_picture", "", 0);
    if (!qf::grscreen(g)) return 1;
    qf::Viewer v;
    g.n.XORGR = d.xo;
    g.n.YORGR = d.yo;
    g.n.INDSGR = 1;
    g.n.IN14GR = 1;  // contour lines
    g.n.LABLGR = 1;  // with labels
    g.n.NCOLGR = 12;
    g.t.TITLGR = qf::pad(d.title, 80);
    g.t.TIT2GR = qf::pad("Flow depth [m] at" + qf::fmt_f(d.time, 7, 2) + " h", 80);
    std::vector<float> levels(13, 0.0f);
    int options = 2 | 4;
    const float nodata = -0.09f;  // depths up to 0.01 m are dry
    float ext[4];
    auto plot = [&](int request) {
      qf::grcon1(g, v, request, d.x.data(), d.y.data(), d.f.data(), d.nx, d.ny, d.nx, d.ny,
                 levels.data(), options, nodata, ext);
    };
    plot(0);
    qf::graxes(g, ext[0], ext[1], ext[2], ext[3], 0);
    qf::grcler(g, 1);
    plot(1);
    qf::graxes(g, ext[0], ext[1], ext[2], ext[3], 1);
    plot(3);
    qf::grflip(g);
    XSync(g.x.display, False);
    if (std::system(("import -window root '" + png + "'").c_str()) != 0) {
      std::cerr << "contour_picture: import failed\n";
      return 1;
    }
    std::printf("%s: %d x %d nodes, depth at %.2f h, levels %.3f .. %.3f\n", png.c_str(), d.nx,
                d.ny, d.time, levels[0], levels[12]);
  } catch (const qf::Stop& e) {
    std::cerr << "contour_picture: stopped: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
