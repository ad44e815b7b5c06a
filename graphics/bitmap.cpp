// Raw portable bitmaps and greymaps placed in world coordinates: reading,
// the pixel cache, drawing as runs of equal grey, and the world file.
#include "graphics/bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "graphics/internal.h"
#include "io/textio.h"

namespace qf {

// Bitmaps read so far, by file name; `used` bytes of the pixel store.
struct GrBitmapCache {
  std::vector<std::string> names;
  std::vector<GrBitmap> maps;
  std::size_t used = 0;
};

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// One header number: blanks and comments ("#" to the line end) first, then
// decimal digits ended by one white-space character (consumed).
bool header_number(std::FILE* f, long long& v) {
  int c = std::fgetc(f);
  for (;;) {
    if (c == '#') {
      while (c != EOF && c != '\n' && c != '\r') c = std::fgetc(f);
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
      c = std::fgetc(f);
    } else {
      break;
    }
  }
  if (c < '0' || c > '9') return false;
  v = 0;
  int digits = 0;
  while (c >= '0' && c <= '9') {
    if (++digits > 9) return false;
    v = v * 10 + (c - '0');
    c = std::fgetc(f);
  }
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Grey level 0..255 as an entry of the grey ramp (0 white .. 20 black).
int ramp_entry(int level) {
  return std::clamp(static_cast<int>(std::lround((255 - level) * 20.0 / 255.0)), 0, 20);
}

}  // namespace

bool grbmpr(const std::string& path, GrBitmap& bm, std::string& error) {
  bm = GrBitmap();
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  File f(ec ? nullptr : std::fopen(path.c_str(), "rb"));
  if (!f) {
    error = "cannot read bitmap file " + path;
    return false;
  }
  const int m0 = std::fgetc(f.get()), m1 = std::fgetc(f.get());
  if (m0 != 'P' || (m1 != '4' && m1 != '5')) {
    error = "bitmap file " + path + ": no raw pbm (P4) or pgm (P5) magic number";
    return false;
  }
  const bool pbm = m1 == '4';
  long long w = 0, h = 0, maxval = 1;
  if (!header_number(f.get(), w) || !header_number(f.get(), h) ||
      (!pbm && !header_number(f.get(), maxval))) {
    error = "bitmap file " + path + ": damaged header";
    return false;
  }
  if (w < 1 || h < 1 || maxval < 1 || maxval > 65535) {
    error = "bitmap file " + path + ": bad size " + std::to_string(w) + " x " + std::to_string(h);
    return false;
  }
  if (w * h > static_cast<long long>(kBitmapStore)) {
    error = "bitmap file " + path + ": " + std::to_string(w) + " x " + std::to_string(h) +
            " pixels exceed the store of " + std::to_string(kBitmapStore) + " bytes";
    return false;
  }
  const long long sample = maxval > 255 ? 2 : 1;
  const long long row = pbm ? (w + 7) / 8 : w * sample;
  const long long need = row * h;
  const long pos = std::ftell(f.get());
  if (pos < 0 || static_cast<long long>(size) - pos < need) {
    error = "bitmap file " + path + " is truncated";
    return false;
  }
  std::vector<unsigned char> raw(static_cast<std::size_t>(row));
  bm.width = static_cast<int>(w);
  bm.height = static_cast<int>(h);
  bm.pixels.resize(static_cast<std::size_t>(w * h));
  unsigned char* out = bm.pixels.data();
  for (long long j = 0; j < h; ++j) {
    if (std::fread(raw.data(), 1, raw.size(), f.get()) != raw.size()) {
      bm = GrBitmap();
      error = "bitmap file " + path + " is truncated";
      return false;
    }
    for (long long i = 0; i < w; ++i) {
      int v;
      if (pbm) {
        v = (raw[static_cast<std::size_t>(i / 8)] >> (7 - i % 8)) & 1 ? 0 : 255;
      } else {
        const long long s = sample == 2 ? raw[2 * i] * 256 + raw[2 * i + 1] : raw[i];
        v = static_cast<int>(std::min(s, maxval) * 255 / maxval);
      }
      *out++ = static_cast<unsigned char>(v);
    }
  }
  return true;
}

const GrBitmap* grbmget(Graphics& g, const std::string& path, std::string& error) {
  if (!g.bitmaps) g.bitmaps = std::make_shared<GrBitmapCache>();
  GrBitmapCache& c = *g.bitmaps;
  for (std::size_t i = 0; i < c.names.size(); ++i)
    if (c.names[i] == path) return &c.maps[i];
  GrBitmap bm;
  if (!grbmpr(path, bm, error)) return nullptr;
  if (c.used + bm.pixels.size() > kBitmapStore) {  // room for the new one only
    c.names.clear();
    c.maps.clear();
    c.used = 0;
  }
  c.used += bm.pixels.size();
  c.names.push_back(path);
  c.maps.push_back(std::move(bm));
  return &c.maps.back();
}

void grfilp(Graphics& g, float x1, float y1, float x2, float y2, int level) {
  const int e = ramp_entry(level);
  const int cmod = g.n.CMODGR;
  g.n.CMODGR = 1;  // colour numbers 1..20 are the grey ramp itself
  const float x[4] = {x1, x2, x2, x1}, y[4] = {y1, y1, y2, y2};
  grfil2(g, x, y, 4, e == 0 ? -1 : e);
  g.n.CMODGR = cmod;
}

void grbmdraw(Graphics& g, const GrBitmap& bm, double wx, double wy, float dx, float dy) {
  if (!(dx > 0) || !(dy > 0) || bm.width < 1 || bm.height < 1) return;
  const Grcomn& s = g.n;
  const double ux = wx - s.XORGR, uy = wy - s.YORGR;
  const double xlo = std::min(s.XMINGR, s.XMAXGR), xhi = std::max(s.XMINGR, s.XMAXGR);
  const double ylo = std::min(s.YMINGR, s.YMAXGR), yhi = std::max(s.YMINGR, s.YMAXGR);
  const int c0 = static_cast<int>(std::clamp(std::floor((xlo - ux) / dx), 0.0, 1.0 * bm.width));
  const int c1 = static_cast<int>(std::clamp(std::ceil((xhi - ux) / dx), 0.0, 1.0 * bm.width));
  for (int r = 0; r < bm.height; ++r) {
    grbeam(g, r + 1, bm.height, "saving bitmap");
    const double top = uy - static_cast<double>(r) * dy, bottom = top - dy;
    if (bottom > yhi || top < ylo) continue;
    const unsigned char* p = bm.pixels.data() + static_cast<std::size_t>(r) * bm.width;
    int i = c0;
    while (i < c1) {
      const int e = ramp_entry(p[i]);
      int j = i + 1;
      while (j < c1 && ramp_entry(p[j]) == e) ++j;
      grfilp(g, static_cast<float>(ux + i * static_cast<double>(dx)), static_cast<float>(bottom),
             static_cast<float>(ux + j * static_cast<double>(dx)), static_cast<float>(top), p[i]);
      i = j;
    }
  }
  grbeamend(g);
}

bool grtfw(const std::string& path, GrWorld& w, std::string& error) {
  File f(std::fopen(path.c_str(), "r"));
  if (!f) {
    error = "cannot read world file " + path;
    return false;
  }
  double* v[6] = {&w.a, &w.d, &w.b, &w.e, &w.c, &w.f};
  for (int k = 0; k < 6; ++k) {
    std::string line;
    int c;
    while ((c = std::fgetc(f.get())) != EOF && c != '\n')
      if (line.size() < 200) line += static_cast<char>(c);
    if (c == EOF && line.empty()) {
      error = "world file " + path + " ends before line " + std::to_string(k + 1);
      return false;
    }
    FreeReader r(line);
    if (r.read(*v[k]) != ReadStatus::ok || !std::isfinite(*v[k])) {
      error = "world file " + path + " line " + std::to_string(k + 1) +
              " is not a number: " + std::string(trim_right(line));
      return false;
    }
  }
  return true;
}

std::string grbmext(std::string_view name, std::string_view ext) {
  const std::size_t slash = name.rfind('/');
  const std::size_t dot = name.rfind('.');
  std::string base(name);
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash) &&
      dot > (slash == std::string_view::npos ? 0 : slash + 1))
    base = std::string(name.substr(0, dot));
  return base + std::string(ext);
}

}  // namespace qf
