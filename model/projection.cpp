#include "model/projection.h"

#include <cctype>
#include <cerrno>
#include <cstdio>

#include "io/textio.h"

namespace qf {

namespace {

constexpr long kMaxWkt = 1L << 20;

// WKT starts with an upper-case keyword directly followed by "[" or "(".
bool looks_like_wkt(const std::string& s) {
  std::size_t p = s.find_first_not_of(" \t\r\n");
  if (p == std::string::npos) return false;
  const std::size_t start = p;
  while (p < s.size() && (std::isupper(static_cast<unsigned char>(s[p])) || s[p] == '_' ||
                          std::isdigit(static_cast<unsigned char>(s[p]))))
    ++p;
  return p > start + 2 && p < s.size() && (s[p] == '[' || s[p] == '(');
}

std::string trim_lines(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  const std::size_t p = s.find_first_not_of(" \t\r\n");
  return p == std::string::npos ? std::string() : s.substr(p);
}

}  // namespace

bool read_wkt_file(const std::string& path, std::string& wkt) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::string s;
  char buf[4096];
  std::size_t n = 0;
  bool ok = true;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    s.append(buf, n);
    if (static_cast<long>(s.size()) > kMaxWkt) {
      ok = false;
      break;
    }
  }
  if (std::ferror(f)) ok = false;
  std::fclose(f);
  if (!ok || !looks_like_wkt(s)) return false;
  wkt = trim_lines(s);
  return true;
}

std::string grid_prj_path(const std::string& grid) {
  const std::size_t slash = grid.find_last_of('/');
  const std::size_t dot = grid.find_last_of('.');
  const bool ext = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  return (ext ? grid.substr(0, dot) : grid) + ".prj";
}

std::string file_prj_path(const std::string& file) {
  return file + ".prj";
}

Projection run_projection(const Model& m) {
  Projection p;
  const std::string crs(trim_right(m.cochar.crs));
  if (!crs.empty()) {
    p.from = crs;
    if (crs.rfind("EPSG:", 0) == 0) {
      p.text = crs;
      return p;
    }
    p.wkt = read_wkt_file(crs, p.text);
    if (!p.wkt) p.text.clear();
    return p;
  }
  const std::string bed(trim_right(m.cochar.bed_grid_file));
  if (bed.empty()) return p;
  const std::string prj = grid_prj_path(bed);
  if (read_wkt_file(prj, p.text)) {
    p.wkt = true;
    p.from = prj;
  }
  return p;
}

int write_prj(const std::string& path, const std::string& text) {
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return errno != 0 ? errno : EIO;
  const bool ok = std::fputs(text.c_str(), f) >= 0 && std::fputc('\n', f) != EOF;
  const int e = ok ? 0 : (errno != 0 ? errno : EIO);
  if (std::fclose(f) != 0 && e == 0) return errno != 0 ? errno : EIO;
  return e;
}

}  // namespace qf
