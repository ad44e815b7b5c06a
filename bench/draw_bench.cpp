// Speed of a colour-class plot in the window: axes, classes and key of the
// valley terrain (mostly no-data) and of a smooth 1000 x 1000 field.
//
//   xvfb-run -a draw_bench [valley-10m.asc[.gz] [repeats [picture prefix [polygons]]]]
//
// Each picture is drawn as the viewer draws it (axes first pass, the plot,
// axes second pass, the key) into the back buffer and shown; the time runs
// until the X server has done all of it. Prints the best of the repeats.
// With a picture prefix, each picture is also saved as <prefix>1.png,
// <prefix>2.png (ImageMagick import of the screen); "-" saves none.
// "polygons" draws every cell as its own polygons instead of pixel rows,
// for comparison. With QF_LINES set in the environment the contour lines
// and their labels are drawn as well.
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "graphics/graphics.h"
#include "io/stop.h"
#include "viewer/viewer.h"

namespace {

struct Grid {
  int nx = 0, ny = 0;
  double xll = 0, yll = 0, cs = 1;
  float nodata = -9999;
  std::vector<float> x, y, f;
};

// ESRI ASCII grid, gzip-compressed or not; node (1, 1) is the south-west
// cell centre.
bool read_grid(const std::string& path, Grid& g) {
  const bool gz = path.size() > 3 && path.substr(path.size() - 3) == ".gz";
  FILE* p = gz ? popen(("gunzip -c '" + path + "'").c_str(), "r") : std::fopen(path.c_str(), "r");
  if (!p) return false;
  char key[64];
  double val = 0;
  for (int k = 0; k < 6; ++k) {
    if (std::fscanf(p, "%63s %lf", key, &val) != 2) return false;
    const std::string s = key;
    if (s == "ncols") g.nx = static_cast<int>(val);
    if (s == "nrows") g.ny = static_cast<int>(val);
    if (s == "xllcorner") g.xll = val;
    if (s == "yllcorner") g.yll = val;
    if (s == "cellsize") g.cs = val;
    if (s == "NODATA_value" || s == "nodata_value") g.nodata = static_cast<float>(val);
  }
  const std::size_t n = static_cast<std::size_t>(g.nx) * g.ny;
  g.f.assign(n, g.nodata);
  for (int r = 0; r < g.ny; ++r)
    for (int i = 0; i < g.nx; ++i) {
      float v;
      if (std::fscanf(p, "%f", &v) != 1) return false;
      g.f[static_cast<std::size_t>(g.ny - 1 - r) * g.nx + i] = v;
    }
  if (gz)
    pclose(p);
  else
    std::fclose(p);
  g.x.resize(n);
  g.y.resize(n);
  for (int j = 0; j < g.ny; ++j)
    for (int i = 0; i < g.nx; ++i) {
      g.x[static_cast<std::size_t>(j) * g.nx + i] = static_cast<float>(i * g.cs);
      g.y[static_cast<std::size_t>(j) * g.nx + i] = static_cast<float>(j * g.cs);
    }
  return true;
}

Grid smooth(int n) {
  Grid g;
  g.nx = g.ny = n;
  g.cs = 1;
  g.xll = g.yll = -0.5;  // node (1, 1) at the world origin
  const std::size_t m = static_cast<std::size_t>(n) * n;
  g.x.resize(m);
  g.y.resize(m);
  g.f.resize(m);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const std::size_t k = static_cast<std::size_t>(j) * n + i;
      g.x[k] = static_cast<float>(i);
      g.y[k] = static_cast<float>(j);
      g.f[k] = 5 * std::sin(i / 90.0) * std::cos(j / 130.0) + i / 200.0f;
    }
  return g;
}

double draw(qf::Graphics& g, qf::Viewer& v, Grid& d) {
  g.n.XORGR = d.xll + d.cs / 2;
  g.n.YORGR = d.yll + d.cs / 2;
  g.n.INDSGR = 1;
  v.menu.clear();
  std::vector<float> levels(static_cast<std::size_t>(std::abs(g.n.NCOLGR)) + 1, 0.0f);
  int options = 2 | 4;
  float ext[4];
  qf::grcon1(g, v, 0, d.x.data(), d.y.data(), d.f.data(), d.nx, d.ny, d.nx, d.ny, levels.data(),
             options, d.nodata, ext);
  const auto t0 = std::chrono::steady_clock::now();
  qf::graxes(g, ext[0], ext[1], ext[2], ext[3], 0);
  qf::grcler(g, 1);
  qf::grcon1(g, v, 1, d.x.data(), d.y.data(), d.f.data(), d.nx, d.ny, d.nx, d.ny, levels.data(),
             options, d.nodata, ext);
  qf::graxes(g, ext[0], ext[1], ext[2], ext[3], 1);
  qf::grcon1(g, v, 3, d.x.data(), d.y.data(), d.f.data(), d.nx, d.ny, d.nx, d.ny, levels.data(),
             options, d.nodata, ext);
  qf::grflip(g);
  XSync(g.x.display, False);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path =
      argc > 1 ? argv[1] : std::string(QF_SOURCE_DIR) + "/examples/valley/valley-10m.asc.gz";
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string shots = argc > 3 && std::string(argv[3]) != "-" ? argv[3] : "";
  const bool polygons = argc > 4 && std::string(argv[4]) == "polygons";
  Grid valley;
  if (!read_grid(path, valley)) {
    std::cerr << "draw_bench: cannot read the grid " << path << "\n";
    return 1;
  }
  Grid field = smooth(1000);
  try {
    qf::Graphics g;
    qf::grinit(g, 5, 9, "draw_bench", "", 0);
    if (!qf::grscreen(g)) {
      std::cerr << "draw_bench: no window\n";
      return 1;
    }
    qf::Viewer v;
    if (polygons) v.contour.raster = -1;
    if (std::getenv("QF_LINES")) g.n.IN14GR = g.n.LABLGR = 1;
    struct Case {
      const char* name;
      Grid* grid;
    } cases[] = {{"valley terrain", &valley}, {"smooth field", &field}};
    for (const Case& c : cases) {
      double best = 1e30;
      for (int r = 0; r < repeats; ++r) best = std::min(best, draw(g, v, *c.grid));
      std::printf("%-15s %5d x %5d nodes: %.3f s per picture (best of %d)\n", c.name, c.grid->nx,
                  c.grid->ny, best, repeats);
      if (!shots.empty()) {
        const std::string png = shots + std::to_string(&c - cases + 1) + ".png";
        if (std::system(("import -window root '" + png + "'").c_str()) != 0)
          std::cerr << "draw_bench: no picture " << png << "\n";
      }
    }
  } catch (const qf::Stop& e) {
    std::cerr << "draw_bench: stopped: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
