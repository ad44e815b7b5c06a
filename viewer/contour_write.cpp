// Exports of the node values of the contour plot (ESRI ASCII grid,
// breaklines, scattered XYZ points) and the sum curve of the values.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "graphics/internal.h"
#include "io/textio.h"
#include "viewer/viewer.h"

namespace qf {

namespace {

// Fixed-point field of width w; a value that needs more room gets a wider
// field with one leading blank, so that neighbouring values never run
// together.
std::string field(double v, int w, int d) {
  std::string s = fmt_f(v, w, d);
  if (s.find('*') == std::string::npos && s[0] == ' ') return s;
  s = fmt_f(v, 60, d);
  return " " + s.substr(s.find_first_not_of(' '));
}

// Decimals that show v exactly to 1e-6 of its size, at least dmin, at most 6.
int decimals(double v, int dmin) {
  for (int d = dmin; d < 6; ++d) {
    const double p = std::pow(10.0, d);
    if (std::fabs(std::round(v * p) / p - v) <= 1e-6 * std::max(1.0, std::fabs(v))) return d;
  }
  return 6;
}

std::size_t at(int ld, int i, int j) {
  return static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ld;
}

// Opens the export on the spare channel; false with the message line set.
std::FILE* open_export(Graphics& g, const std::string& name) {
  if (!g.files.open(g.n.JDV2GR, name, "w")) {
    grmesg(g, "Error opening: " + name);
    return nullptr;
  }
  return g.files.get(g.n.JDV2GR);
}

// Closes the export; false (and the message line says so) when a write failed.
bool close_export(Graphics& g, std::FILE* fp, const std::string& name) {
  const bool ok = std::fflush(fp) == 0 && !std::ferror(fp);
  g.files.close(g.n.JDV2GR);
  if (!ok) grmesg(g, "Error writing: " + name);
  return ok;
}

void put(std::FILE* fp, const std::string& s) {
  std::fwrite(s.data(), 1, s.size(), fp);
  std::fputc('\n', fp);
}

// Random number in [0, 1) from the generator of the state.
double uniform(ContourState& s) {
  s.seed += 0x9e3779b97f4a7c15ULL;
  std::uint64_t z = s.seed;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * (1.0 / 9007199254740992.0);
}

}  // namespace

bool grwgrid(Graphics& g, const std::string& name, const float* x, const float* y, const float* f,
             int ld, int nx, int ny, float nodata) {
  if (nx < 2 || ny < 2) {
    grmesg(g, "Grid: at least 2 x 2 nodes needed");
    return false;
  }
  std::FILE* fp = open_export(g, name);
  if (!fp) return false;
  grmesg(g, "writing data in GRID format");
  // Rows go from the top (largest y) down and columns from the west, so the
  // file reads right whichever way the node indices run.
  const bool xup = x[at(ld, nx - 1, 0)] >= x[0];
  const bool yup = y[at(ld, 0, ny - 1)] >= y[0];
  const double cs = std::fabs(static_cast<double>(x[1]) - x[0]);
  const double xw = grwx(g, std::min(x[0], x[at(ld, nx - 1, 0)]));
  const double ys = grwy(g, std::min(y[0], y[at(ld, 0, ny - 1)]));
  // The header gives the outer corner of the cells centred on the nodes.
  const double xll = xw - cs / 2, yll = ys - cs / 2;
  const int dc = decimals(cs, 4);
  const int dd = std::max(decimals(xll, 2), decimals(yll, 2));
  put(fp, "ncols" + fmt_i(nx, 8));
  put(fp, "nrows" + fmt_i(ny, 8));
  put(fp, "xllcorner" + field(xll, 12, dd));
  put(fp, "yllcorner" + field(yll, 12, dd));
  put(fp, "cellsize" + field(cs, 12, dc));
  // The no-data value with all its decimals, so that readers match it.
  const int dn = decimals(nodata, 0);
  put(fp, "NODATA_value" + field(nodata, 12, dn));
  std::string row;
  for (int r = 0; r < ny; ++r) {
    const int j = yup ? ny - 1 - r : r;
    row.clear();
    for (int c = 0; c < nx; ++c) {
      const int i = xup ? c : nx - 1 - c;
      const float v = f[at(ld, i, j)];
      // Missing values are written as the no-data value itself.
      row += v > nodata + 0.1f ? field(v, 10, 3) : field(nodata, 10, std::max(3, dn));
    }
    put(fp, row);
  }
  return close_export(g, fp, name);
}

bool grwbrk(Graphics& g, const std::string& name, const float* x, const float* y, const float* f,
            int ld, int nx, int ny) {
  std::FILE* fp = open_export(g, name);
  if (!fp) return false;
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < ny; ++j) {
      const std::size_t k = at(ld, i, j);
      put(fp, field(grwx(g, x[k]), 12, 2) + field(grwy(g, y[k]), 12, 2) + field(f[k], 12, 2) +
                  fmt_i(j == 0 ? 1 : 0, 2));
    }
  return close_export(g, fp, name);
}

bool grwxyz(Graphics& g, ContourState& s, const std::string& name, const float* x, const float* y,
            const float* f, int ld, int nx, int ny, float nodata, float r) {
  std::FILE* fp = open_export(g, name);
  if (!fp) return false;
  auto valid = [&](int i, int j) {
    return i >= 0 && j >= 0 && i < nx && j < ny && f[at(ld, i, j)] > nodata + 0.1f;
  };
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      bool near = false;
      for (int dj = -1; dj <= 1 && !near; ++dj)
        for (int di = -1; di <= 1 && !near; ++di) near = valid(i + di, j + dj);
      if (!near) continue;
      const std::size_t k = at(ld, i, j);
      const double u = uniform(s), w = uniform(s);
      put(fp, field(grwx(g, x[k]) + r * (u - 0.5), 12, 2) +
                  field(grwy(g, y[k]) + r * (w - 0.5), 12, 2) + field(f[k], 11, 3));
    }
  return close_export(g, fp, name);
}

std::vector<std::string> grsumc(const Graphics& g, const float* f, int ld, int nx, int ny,
                                float nodata, std::string_view item) {
  std::vector<float> v;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      const float a = f[at(ld, i, j)];
      if (a > nodata + 0.1f && std::isfinite(a)) v.push_back(a);
    }
  std::string head = "value[ ]";
  const std::string unit = item_unit(item);
  if (!unit.empty()) {
    std::string_view name = trim_right(item.substr(0, item.rfind('[')));
    name = name.substr(name.rfind(' ') == std::string_view::npos ? 0 : name.rfind(' ') + 1);
    head.clear();
    for (char c : name) head += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    head += unit;
  }
  std::vector<std::string> out = {"Sum Curve", head + "  sum[-]"};
  if (v.empty()) {
    out.push_back("no valid values");
    return out;
  }
  std::sort(v.begin(), v.end());
  constexpr int kClasses = 20;
  float start = 0, step = 1;
  grscal(g, v.front(), v.back(), kClasses, start, step);
  if (!(step > 0)) step = 1;
  const double n = static_cast<double>(v.size());
  for (int k = 0; k <= kClasses; ++k) {
    const float b = start + static_cast<float>(k) * step;
    const auto c = std::upper_bound(v.begin(), v.end(), b) - v.begin();
    out.push_back(fmt_f(b, 9, 3) + fmt_f(static_cast<double>(c) / n, 8, 3));
    if (c == static_cast<long>(v.size())) break;
  }
  return out;
}

}  // namespace qf
