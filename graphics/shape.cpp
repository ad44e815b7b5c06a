// Shapefile output: creation of the shapefile pair with its attribute
// field, appending of shapes, and the collector that joins the drawn line
// segments into arcs.
#include <shapefil.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <ostream>
#include <set>
#include <unordered_map>

#include "graphics/graphics.h"
#include "graphics/internal.h"
#include "io/stop.h"

namespace qf {

namespace {

[[noreturn]] void shape_stop(Graphics& g, std::ostream& os, const std::string& message,
                             int status) {
  os << message;
  os.flush();
  g.files.close_all();
  throw Stop(status, message);
}

// What the header of a shapefile part says: the file length (.shp and
// .shx: in 16-bit words, big-endian, at byte 24; .dbf: the header and every
// record) and the number of records (.shx: one of 8 bytes behind the
// 100-byte header; .dbf: at byte 4). False when it cannot be read.
bool header_says(const std::string& path, bool dbf, long& length, long& records) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char h[28] = {};
  const bool read = std::fread(h, 1, sizeof h, f) == sizeof h;
  std::fclose(f);
  if (!read) return false;
  if (dbf) {
    records = h[4] | h[5] << 8 | h[6] << 16 | static_cast<long>(h[7]) << 24;
    length = (h[8] | h[9] << 8) + records * (h[10] | h[11] << 8);
  } else {
    length = 2 * (static_cast<long>(h[24]) << 24 | h[25] << 16 | h[26] << 8 | h[27]);
    records = (length - 100) / 8;
  }
  return true;
}

// shapelib does not tell when a write or a close fails (a full disk, a
// size limit): after each shape the files must be as long as their headers
// say, and the index and the attribute table must count the same shapes.
// The first fault is reported once.
void check_whole(Graphics& g, const std::string& prefix) {
  if (g.mode.shape_failed) return;
  long counts[2] = {-1, -2};
  std::string fault;
  for (const char* ext : {".shp", ".shx", ".dbf"}) {
    const std::string path = prefix + ext;
    const bool dbf = ext[1] == 'd';
    struct stat st;
    long want = 0, records = 0;
    const bool said = header_says(path, dbf, want, records);
    const long have = ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : 0;
    if (!said || have < want) {
      fault =
          path + " (" + std::to_string(have) + " of " + std::to_string(want) + " bytes written)";
      break;
    }
    if (ext[2] == 'h' && ext[3] == 'x') counts[0] = records;
    if (dbf) counts[1] = records;
  }
  if (fault.empty() && counts[0] != counts[1])
    fault = prefix + ".shp (" + std::to_string(counts[0]) + " shapes for " +
            std::to_string(counts[1]) + " attribute records)";
  if (fault.empty()) return;
  g.mode.shape_failed = true;
  const std::string text = "Error writing: " + fault;
  grmesg(g, text);
  grjout(g, text);
}

int shape_type(int type) {
  switch (type) {
    case 1:
      return SHPT_POINT;
    case 2:
      return SHPT_ARC;
    case 3:
      return SHPT_POLYGON;
    case 4:
      return SHPT_MULTIPOINT;
    default:
      return -1;
  }
}

}  // namespace

void grshpopen(Graphics& g, int type, int attr_type, const std::string& prefix,
               const std::string& field_name) {
  DBFHandle dbf = DBFCreate((prefix + ".dbf").c_str());
  if (!dbf) shape_stop(g, *g.out, "DBFCreate(" + prefix + ") failed.\n", 10);
  if (attr_type == 1) {
    if (DBFAddField(dbf, field_name.c_str(), FTInteger, 8, 0) < 0) {
      DBFClose(dbf);
      shape_stop(g, *g.err, "DBFAddField(hDBF," + field_name + ",FTInteger) failed.\n", 11);
    }
    // Areas also carry the limits of their class, for styling in a GIS.
    if (type == 3)
      for (const char* limit : {"from", "to"})
        if (DBFAddField(dbf, limit, FTDouble, 16, 4) < 0) {
          DBFClose(dbf);
          shape_stop(g, *g.err, std::string("DBFAddField(hDBF,") + limit + ",FTDouble) failed.\n",
                     11);
        }
  } else if (attr_type == 2) {
    if (DBFAddField(dbf, field_name.c_str(), FTDouble, 12, 3) < 0) {
      DBFClose(dbf);
      shape_stop(g, *g.err, "DBFAddField(hDBF," + field_name + ",FTDouble) failed.\n", 11);
    }
  } else {
    DBFClose(dbf);
    shape_stop(g, *g.out, "Argument Type not recognised.\n", 11);
  }
  DBFClose(dbf);
  const int st = shape_type(type);
  if (st < 0) shape_stop(g, *g.out, "Shape Type not recognised.\n", 20);
  SHPHandle shp = SHPCreate((prefix + ".shp").c_str(), st);
  if (!shp) shape_stop(g, *g.err, "SHPOpen(" + prefix + ") failed.\n", 20);
  SHPClose(shp);
}

void grshpadd(Graphics& g, int n, const double* x, const double* y, const double* z, double dvalue,
              int ivalue, const std::string& prefix, int type, int attr_type) {
  DBFHandle dbf = DBFOpen((prefix + ".dbf").c_str(), "rb+");
  if (!dbf) shape_stop(g, *g.out, "DBFOpen(" + prefix + ",\"rb+\") failed.\n", 12);
  const int record = DBFGetRecordCount(dbf);
  if (attr_type == 1) {
    DBFWriteIntegerAttribute(dbf, record, 0, ivalue);
    if (DBFGetFieldCount(dbf) >= 3) {
      // The class limits of the fill colour; an open end (below the first
      // or above the last level) or a fill of no class stays empty.
      const std::vector<float>& lv = g.mode.class_levels;
      const long c = static_cast<long>(ivalue) + g.mode.class_lower;
      for (int side = 0; side < 2; ++side) {
        const long at = c - 2 + side;
        if (!lv.empty() && at >= 0 && at < static_cast<long>(lv.size()))
          DBFWriteDoubleAttribute(dbf, record, 1 + side, lv[static_cast<std::size_t>(at)]);
        else
          DBFWriteNULLAttribute(dbf, record, 1 + side);
      }
    }
  } else if (attr_type == 2) {
    DBFWriteDoubleAttribute(dbf, record, 0, dvalue);
  } else {
    DBFClose(dbf);
    shape_stop(g, *g.out, "Argument Type not recognised.\n", 2);
  }
  DBFClose(dbf);
  const int st = shape_type(type);
  if (st < 0) shape_stop(g, *g.out, "Shape Type not recognised.\n", 2);
  SHPHandle shp = SHPOpen((prefix + ".shp").c_str(), "rb+");
  if (!shp) shape_stop(g, *g.out, "Unable to open:" + prefix + "\n", 20);
  SHPObject* obj = SHPCreateObject(st, record, 0, nullptr, nullptr, n, x, y, z, nullptr);
  SHPWriteObject(shp, -1, obj);
  SHPDestroyObject(obj);
  SHPClose(shp);
  check_whole(g, prefix);
}

// ---------------------------------------------------------------- segment collector

namespace {

constexpr float kSame = 0.001f;  // points closer than this are one point

long long cell_key(long long i, long long j) {
  return (i << 32) ^ (j & 0xffffffffLL);
}

long long cell_of(float v) {
  return static_cast<long long>(std::floor(v / kSame));
}

// Finds or appends a point; returns its number.
int find_point(GrSegments& s, std::unordered_map<long long, std::vector<int>>& grid, float x,
               float y, float z) {
  const long long ci = cell_of(x), cj = cell_of(y);
  int best = -1;
  for (long long di = -1; di <= 1; ++di)
    for (long long dj = -1; dj <= 1; ++dj) {
      auto it = grid.find(cell_key(ci + di, cj + dj));
      if (it == grid.end()) continue;
      for (int k : it->second) {
        const float dx = s.x[k] - x, dy = s.y[k] - y;
        if (dx * dx + dy * dy < 1e-6f && (best < 0 || k < best)) best = k;
      }
    }
  if (best >= 0) return best;
  s.x.push_back(x);
  s.y.push_back(y);
  s.z.push_back(z);
  const int k = static_cast<int>(s.x.size()) - 1;
  grid[cell_key(ci, cj)].push_back(k);
  return k;
}

void flush_segments(Graphics& g) {
  GrSegments& s = g.seg;
  Grcomn& n = g.n;
  // Segments by point, in the order they were drawn.
  const int ns = static_cast<int>(s.a.size());
  std::vector<std::set<int>> at(s.x.size());
  for (int i = 0; i < ns; ++i) {
    at[s.a[i]].insert(i);
    at[s.b[i]].insert(i);
  }
  std::vector<char> used(ns, 0);
  auto take = [&](int i) {
    used[i] = 1;
    at[s.a[i]].erase(i);
    at[s.b[i]].erase(i);
  };
  // Each arc starts with the first segment not yet used and grows at its
  // end, then at its start, as long as a segment continues it; a chain of
  // segments thus becomes one arc with its points in drawing order.
  for (int first = 0; first < ns; ++first) {
    if (used[first]) continue;
    std::deque<int> arc = {s.a[first], s.b[first]};
    take(first);
    for (;;) {
      const int end = arc.back();
      if (at[end].empty()) break;
      const int i = *at[end].begin();
      arc.push_back(s.a[i] == end ? s.b[i] : s.a[i]);
      take(i);
    }
    for (;;) {
      const int start = arc.front();
      if (at[start].empty()) break;
      const int i = *at[start].begin();
      arc.push_front(s.a[i] == start ? s.b[i] : s.a[i]);
      take(i);
    }
    if (n.SHPTGR == 2) {
      std::vector<double> wx, wy, wz;
      for (int k : arc) {
        wx.push_back(grwx(g, s.x[k]));
        wy.push_back(grwy(g, s.y[k]));
        wz.push_back(s.z[k]);
      }
      grshpadd(g, static_cast<int>(arc.size()), wx.data(), wy.data(), wz.data(), wz[0], 0,
               g.mode.shape_prefix, n.SHPTGR, n.SHPAGR);
    }
  }
  s.x.clear();
  s.y.clear();
  s.z.clear();
  s.a.clear();
  s.b.clear();
  ++s.flushes;
  grbeam(g, s.flushes % 10, 10, "writing shape format");
}

}  // namespace

void grsegm(Graphics& g, int op, float x1, float y1, float z1, float x2, float y2, float z2) {
  GrSegments& s = g.seg;
  if (op == 1) {
    // The point grid is rebuilt from the store when it does not match it.
    static_assert(kSegmentMax > kSegmentFlush);
    std::unordered_map<long long, std::vector<int>>& grid = s.grid;
    if (grid.empty() && !s.x.empty())
      for (int k = 0; k < static_cast<int>(s.x.size()); ++k)
        grid[cell_key(cell_of(s.x[k]), cell_of(s.y[k]))].push_back(k);
    const int p = find_point(s, grid, x1, y1, z1);
    const int q = find_point(s, grid, x2, y2, z2);
    if (p != q) {
      const long long key = cell_key(std::min(p, q), std::max(p, q));
      if (s.pairs.insert(key).second) {
        s.a.push_back(p);
        s.b.push_back(q);
      }
    }
    if (std::max(s.x.size(), s.a.size()) < static_cast<std::size_t>(kSegmentFlush)) return;
  } else if (op != 0) {
    if (std::max(s.x.size(), s.a.size()) < static_cast<std::size_t>(kSegmentFlush)) return;
  }
  flush_segments(g);
  s.grid.clear();
  s.pairs.clear();
}

}  // namespace qf
