// Keep files (the library's metafile of drawing calls in user coordinates),
// the list of keep files redrawn with every plot, and the command script
// queue of the interactive loop.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "graphics/bitmap.h"
#include "graphics/dialog.h"
#include "graphics/graphics.h"
#include "graphics/internal.h"
#include "io/channels.h"
#include "io/textio.h"

namespace qf {

void grkrec(Graphics& g, std::string_view key, const std::string& values) {
  g.files.line(g.n.JDV3GR, key);
  g.files.line(g.n.JDV3GR, values);
}

// ---------------------------------------------------------------- script queue

void grscpt(Graphics& g, int n, const std::string* commands, int length) {
  Grcomn& s = g.n;
  std::string& q = g.t.SCRIPT;
  const int taken = std::clamp(s.SCTKGR, 0, kScriptMax);
  const int queued = std::clamp(s.NSCRGR, taken, kScriptMax);
  const int u = queued - taken;
  const int add = std::clamp(n, 0, kScriptMax);
  std::string pending = q.substr(static_cast<std::size_t>(taken) * kScriptLen,
                                 static_cast<std::size_t>(u) * kScriptLen);
  std::string fresh;
  for (int i = 0; i < add; ++i) {
    std::string_view c = commands[i];
    if (length >= 0) c = c.substr(0, static_cast<std::size_t>(length));
    fresh += pad(c, kScriptLen);
  }
  std::string all = fresh + pending;
  const int total = std::min(add + u, kScriptMax);
  all.resize(static_cast<std::size_t>(total) * kScriptLen);
  q.replace(0, all.size(), all);
  s.SCTKGR = 0;
  s.NSCRGR = total;
}

bool grsnext(Graphics& g, std::string& command) {
  Grcomn& s = g.n;
  if (s.SCTKGR < 0) s.SCTKGR = 0;
  if (s.SCTKGR >= s.NSCRGR || s.SCTKGR >= kScriptMax) return false;
  command = g.t.SCRIPT.substr(static_cast<std::size_t>(s.SCTKGR) * kScriptLen, kScriptLen);
  ++s.SCTKGR;
  return true;
}

// ---------------------------------------------------------------- keep list

void grkread(Graphics& g, const std::vector<std::string>& lines, std::size_t& pos) {
  GrKeepList& k = g.keep;
  k.names.clear();
  k.flags.clear();
  auto fail = [&]() {
    k.names.clear();
    k.flags.clear();
  };
  if (pos >= lines.size()) return fail();
  int count = 0;
  {
    FreeReader r(lines[pos++]);
    if (r.read(count) != ReadStatus::ok) return fail();
  }
  count = std::clamp(count, 0, kKeepListMax);
  for (int i = 0; i < count; ++i) {
    if (pos >= lines.size()) return fail();
    FreeReader r(lines[pos++]);
    std::string name;
    int flag = 0;
    if (r.read(name, 80) != ReadStatus::ok || r.read(flag) != ReadStatus::ok) return fail();
    const std::string file(trim_right(name));
    if (file.empty() || !file_exists(file)) continue;
    k.names.push_back(pad(name, 80));
    k.flags.push_back(flag + 1);
  }
}

void grkwrite(Graphics& g, int ch) {
  const GrKeepList& k = g.keep;
  g.files.line(ch, fmt_list(static_cast<int>(k.names.size())));
  for (std::size_t i = 0; i < k.names.size(); ++i)
    g.files.line(ch, grquote(pad(k.names[i], 80)) + fmt_i(k.flags[i] - 1, 3) + " /");
}

namespace {

// The keep files of the working directory in name order: visible names
// ending in ".kep" that are not directories and fit a list entry.
std::vector<std::string> keep_files() {
  namespace fs = std::filesystem;
  std::vector<std::string> v;
  std::error_code ec;
  for (fs::directory_iterator it(".", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= 4 || name[0] == '.' || name.compare(name.size() - 4, 4, ".kep") != 0 ||
        name.size() > 80 || trim_right(name).size() != name.size())
      continue;
    std::error_code e2;
    if (fs::is_directory(it->path(), e2)) continue;
    v.push_back(name);
  }
  std::sort(v.begin(), v.end());
  return v;
}

int find_entry(const GrKeepList& k, std::string_view name) {
  for (std::size_t i = 0; i < k.names.size(); ++i)
    if (trim_right(k.names[i]) == name) return static_cast<int>(i);
  return -1;
}

// Puts name into the list with the pass flag (replacing the last of a full
// list when it is new).
void keep_entry(GrKeepList& k, const std::string& name, int pass) {
  int i = find_entry(k, name);
  if (i < 0) {
    if (static_cast<int>(k.names.size()) >= kKeepListMax) {
      k.names.back() = pad(name, 80);
      k.flags.back() = pass;
      return;
    }
    k.names.push_back(pad(name, 80));
    k.flags.push_back(pass);
    return;
  }
  k.flags[static_cast<std::size_t>(i)] = pass;
}

void drop_unused(GrKeepList& k) {
  for (std::size_t i = k.names.size(); i-- > 0;)
    if (k.flags[i] == 0) {
      k.names.erase(k.names.begin() + static_cast<long>(i));
      k.flags.erase(k.flags.begin() + static_cast<long>(i));
    }
}

void queue(Graphics& g, std::initializer_list<const char*> cmds) {
  std::vector<std::string> c(cmds.begin(), cmds.end());
  grscpt(g, static_cast<int>(c.size()), c.data(), kScriptLen);
}

// Keep files for pass 1 or 2 chosen in a form of the directory's files.
void choose_keeps(Graphics& g, int pass) {
  GrKeepList& k = g.keep;
  const std::vector<std::string> files = keep_files();
  if (files.empty()) {
    grmesg(g, "no keep files found");
    queue(g, {"K"});
    return;
  }
  const int n = static_cast<int>(files.size());
  std::vector<std::string> labels(files.size()), values(files.size());
  for (int i = 0; i < n; ++i) {
    labels[i] = pad(files[i], 32);
    if (labels[i][0] == '#') labels[i][0] = ' ';  // a file, not a hidden field
    const int e = find_entry(k, files[i]);
    values[i] = e >= 0 && k.flags[static_cast<std::size_t>(e)] == pass ? "+ " : "_ ";
  }
  grinfo(g, n, labels.data(), values.data());
  if (trim_right(values[0]) == "cancel") return;
  for (int i = 0; i < n; ++i) {
    const int e = find_entry(k, files[i]);
    if (!values[i].empty() && values[i][0] == '+')
      keep_entry(k, files[i], pass);
    else if (e >= 0 && k.flags[static_cast<std::size_t>(e)] == pass)
      k.flags[static_cast<std::size_t>(e)] = 0;
  }
  drop_unused(k);
  queue(g, {"R", "K"});
}

void bitmap_failed(Graphics& g, const std::string& error) {
  grmesg(g, error);
  grmesg(g, "format unknown (accepting raw pbm or pgm)");
  *g.err << ' ' << error << '\n' << " format unknown (accepting raw pbm or pgm)\n";
}

// A keep file with one "BITM" record for a bitmap placed by its world file,
// or by the cursor and a form; it joins the list for the pass before the
// plot.
void bitmap_keep(Graphics& g) {
  std::string answer;
  grinpa(g, "Name of Portable Bitmap File", answer);
  const std::string name(trim_right(answer.substr(0, std::min<std::size_t>(answer.size(), 80))));
  const std::size_t b = name.find_first_not_of(' ');
  if (b == std::string::npos) return;
  const std::string file = name.substr(b);
  std::string error;
  if (!grbmget(g, file, error)) return bitmap_failed(g, error);
  double wx = 0, wy = 0, dx = -1, dy = -1, angle = 0;
  const std::string tfw = grbmext(file, ".tfw");
  if (file_exists(tfw)) {
    GrWorld w;
    if (!grtfw(tfw, w, error)) {
      grmesg(g, error);
      *g.err << ' ' << error << '\n';
      return;
    }
    wx = w.c;
    wy = w.f;
    dx = w.a;
    dy = std::fabs(w.e);
    if (w.d != 0 || w.b != 0) angle = std::atan2(w.d, w.a) * 45.0 / std::atan(1.0);
  } else {
    grmesg(g, "Click upper left corner of bitmap");
    const std::string place[1] = {"<PPosition"};
    int a = -1;
    float x = 0, y = 0;
    grcurs(g, 1, place, a, x, y);
    std::string labels[4] = {"X upper left", "Y upper left", "Pixel width", "Pixel height"};
    std::string values[4] = {fmt_f(grwx(g, g.n.XCRSGR), 12, 2), fmt_f(grwy(g, g.n.YCRSGR), 12, 2),
                             fmt_f(-1.0, 12, 4), fmt_f(-1.0, 12, 4)};
    grinfo(g, 4, labels, values);
    if (trim_right(values[0]) == "cancel") return;
    double* v[4] = {&wx, &wy, &dx, &dy};
    for (int i = 0; i < 4; ++i) {
      const std::string_view t = trim_right(values[i]);
      const std::size_t f = t.find_first_not_of(' ');
      if (f == std::string_view::npos || !parse_real(t.substr(f), *v[i]) || !std::isfinite(*v[i])) {
        grmesg(g, std::string(trim_right(labels[i])) + " is not a number: " + std::string(t));
        return;
      }
    }
  }
  const std::string keep = grbmext(file, ".kep");
  if (keep.size() > 80) {
    grmesg(g, "Error opening: " + keep);
    return;
  }
  std::FILE* f = std::fopen(keep.c_str(), "w");
  if (!f) {
    grmesg(g, "Error opening: " + keep);
    return;
  }
  const std::string lines = "BITM\n" + grquote(file) + " /\n" + fmt_list(wx) + "," + fmt_list(wy) +
                            "," + fmt_list(dx) + "," + fmt_list(dy) + "," + fmt_list(angle) +
                            " /\n";
  const bool ok = std::fputs(lines.c_str(), f) >= 0;
  if (std::fclose(f) != 0 || !ok) {
    grmesg(g, "Error opening: " + keep);
    return;
  }
  keep_entry(g.keep, keep, 2);
  queue(g, {"R"});
}

}  // namespace

void grklst(Graphics& g, int mode) {
  GrKeepList& k = g.keep;
  switch (mode) {
    case 0:
      k.names.clear();
      k.flags.clear();
      return;
    case -1:
      if (k.names.empty()) {
        grmesg(g, "No more keeps to delete");
        return;
      }
      k.names.pop_back();
      k.flags.pop_back();
      return;
    case -2: {
      // The list follows the 31 lines of settings.
      std::vector<std::string> lines;
      std::FILE* f = std::fopen(".grset", "r");
      if (!f) {
        grklst(g, 0);
        return;
      }
      std::string cur;
      int c;
      while ((c = std::fgetc(f)) != EOF) {
        if (c == '\n') {
          lines.push_back(cur);
          cur.clear();
        } else {
          cur += static_cast<char>(c);
        }
      }
      if (!cur.empty()) lines.push_back(cur);
      std::fclose(f);
      std::size_t pos = 31;
      grkread(g, lines, pos);
      return;
    }
    case -3:
      grwset(g);
      return;
    case 3:
    case 4: {
      int n = static_cast<int>(k.names.size());
      if (mode == 4) n = -n;
      grkpla(g, n, k.names, k.flags);
      drop_unused(k);  // entries marked for dropping leave the list
      return;
    }
    case 1:
    case 2:
      choose_keeps(g, mode);
      return;
    case 5:
      bitmap_keep(g);
      return;
    default:
      return;
  }
}

// ---------------------------------------------------------------- replay

namespace {

bool read_all(const std::string& path, std::vector<std::string>& lines) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return false;
  std::string cur;
  int c;
  while ((c = std::fgetc(f)) != EOF) {
    if (c == '\n') {
      if (!cur.empty() && cur.back() == '\r') cur.pop_back();
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += static_cast<char>(c);
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  std::fclose(f);
  return true;
}

// Reads `count` reals from the lines following pos (any number per line).
bool read_reals(const std::vector<std::string>& lines, std::size_t& pos, int count,
                std::vector<float>& v) {
  v.clear();
  while (static_cast<int>(v.size()) < count) {
    if (pos >= lines.size()) return false;
    FreeReader r(lines[pos++]);
    bool any = false;
    while (static_cast<int>(v.size()) < count) {
      float x = 0;
      const ReadStatus s = r.read(x);
      if (s == ReadStatus::error) return false;
      if (s == ReadStatus::end) break;
      v.push_back(x);
      any = true;
    }
    if (!any) return false;
  }
  return true;
}

// Skips the plot list of a "PUT" record: the count, then per entry one line
// (x, y, z, kind, colour) and for a text (kind -4) one more line.
void skip_put(const std::vector<std::string>& lines, std::size_t& pos) {
  int n = 0;
  if (pos >= lines.size()) return;
  FreeReader r(lines[pos++]);
  if (r.read(n) != ReadStatus::ok) return;
  for (int i = 0; i < n && pos < lines.size(); ++i) {
    FreeReader e(lines[pos++]);
    float v = 0;
    int kind = 0;
    if (e.read(v) == ReadStatus::ok && e.read(v) == ReadStatus::ok && e.read(v) == ReadStatus::ok &&
        e.read(kind) == ReadStatus::ok && kind == -4)
      ++pos;
  }
}

bool write_all(const std::string& path, const std::vector<std::string>& lines) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  bool ok = true;
  for (const std::string& l : lines)
    ok = ok && std::fputs(l.c_str(), f) >= 0 && std::fputc('\n', f) != EOF;
  return std::fclose(f) == 0 && ok;
}

enum class Replay { ok, damaged, stop };

// A "BITM" record at pos (the name line, the placement line). A negative
// pixel width is replaced by the size that fits the window, and the keep
// file's placement line is rewritten with it.
Replay bitmap_record(Graphics& g, const std::string& keep, std::vector<std::string>& lines,
                     std::size_t& pos) {
  const Grcomn& s = g.n;
  std::string name;
  double wx = 0, wy = 0;
  float dx = 0, dy = 0;
  const std::size_t at = pos + 1;
  bool ok = pos + 1 < lines.size();
  if (ok) {
    FreeReader r(lines[pos]);
    ok = r.read(name, 80) == ReadStatus::ok && !trim_right(name).empty();
  }
  if (ok) {
    FreeReader r(lines[at]);
    ok = r.read(wx) == ReadStatus::ok && r.read(wy) == ReadStatus::ok &&
         r.read(dx) == ReadStatus::ok && r.read(dy) == ReadStatus::ok && std::isfinite(wx) &&
         std::isfinite(wy);
  }
  pos = std::min(pos + 2, lines.size());
  if (!ok) {
    const std::string m = "bad bitmap record in keep file " + keep;
    grmesg(g, m);
    *g.err << ' ' << m << '\n';
    return Replay::stop;
  }
  std::string error;
  const GrBitmap* bm = grbmget(g, std::string(trim_right(name)), error);
  if (!bm) {
    grmesg(g, "format unknown (accepting raw pbm or pgm)");
    *g.err << ' ' << error << '\n' << " format unknown (accepting raw pbm or pgm)\n";
    return Replay::stop;
  }
  if (dx < 0) {
    dx = std::min((s.XMAXGR - s.XMINGR) / static_cast<float>(bm->width + 1),
                  (s.YMAXGR - s.YMINGR) / static_cast<float>(bm->height + 1));
    dy = dx;
    lines[at] = fmt_list(wx) + "," + fmt_list(wy) + "," + fmt_list(dx) + "," + fmt_list(dy) + " /";
    if (!write_all(keep, lines)) grmesg(g, "Error opening: " + keep);
  }
  grbmdraw(g, *bm, wx, wy, dx, dy);
  return Replay::ok;
}

// Replays one keep file: damaged when a fill record cannot be read, stop
// when a bitmap cannot be drawn.
Replay replay(Graphics& g, const std::string& keep, std::vector<std::string>& lines) {
  Grcomn& s = g.n;
  grcolr(g, 0);
  double sx = -s.XORGR, sy = -s.YORGR;
  auto fx = [&](float x) { return static_cast<float>(x + sx); };
  auto fy = [&](float y) { return static_cast<float>(y + sy); };
  std::size_t pos = 0;
  while (pos < lines.size()) {
    const std::string key = lines[pos++].substr(0, 4);
    auto values = [&]() -> FreeReader {
      return FreeReader(pos < lines.size() ? std::string_view(lines[pos++]) : std::string_view());
    };
    if (key == "MCOL" || key == "RCOL" || key == "COLR" || key == "DASH" || key == "SYMB") {
      int v = 0;
      FreeReader r = values();
      if (r.read(v) != ReadStatus::ok) continue;
      if (key == "MCOL") s.CMODGR = v;
      if (key == "RCOL") s.CPARGR = v;
      if (key == "COLR") grcolr(g, v);
      if (key == "DASH") grdash(g, v);
      if (key == "SYMB") grsymb(g, v);
    } else if (key == "XORG" || key == "YORG") {
      double v = 0;
      FreeReader r = values();
      if (r.read(v) != ReadStatus::ok) continue;
      if (key == "XORG") sx = v - s.XORGR;
      if (key == "YORG") sy = v - s.YORGR;
    } else if (key == "MOV2" || key == "DRW2") {
      float x = 0, y = 0;
      FreeReader r = values();
      if (r.read(x) != ReadStatus::ok || r.read(y) != ReadStatus::ok) continue;
      if (key == "MOV2")
        grmov2(g, fx(x), fy(y));
      else
        grdrw2(g, fx(x), fy(y));
    } else if (key == "MOV3" || key == "DRW3") {
      float x = 0, y = 0, z = 0;
      FreeReader r = values();
      if (r.read(x) != ReadStatus::ok || r.read(y) != ReadStatus::ok || r.read(z) != ReadStatus::ok)
        continue;
      if (key == "MOV3")
        grmov3(g, fx(x), fy(y), z);
      else
        grdrw3(g, fx(x), fy(y), z);
    } else if (key == "FIL2" || key == "FIL3") {
      const int dim = key == "FIL2" ? 2 : 3;
      int n = 0, colour = 0, cpar = 0;
      FreeReader r = values();
      if (r.read(n) != ReadStatus::ok || r.read(colour) != ReadStatus::ok ||
          r.read(cpar) != ReadStatus::ok || n < 0 || n > 1000000)
        return Replay::damaged;
      std::vector<float> v;
      if (!read_reals(lines, pos, dim * n, v)) return Replay::damaged;
      std::vector<float> x(n), y(n), z(n);
      for (int i = 0; i < n; ++i) {
        x[i] = fx(v[dim * i]);
        y[i] = fy(v[dim * i + 1]);
        if (dim == 3) z[i] = v[dim * i + 2];
      }
      s.CPARGR = cpar;
      if (dim == 2)
        grfil2(g, x.data(), y.data(), n, colour);
      else
        grfil3(g, x.data(), y.data(), z.data(), n, colour);
    } else if (key == "ANOT") {
      if (pos < lines.size()) granot(g, lines[pos++].substr(0, 80), 0);
    } else if (key == "BITM") {
      const Replay r = bitmap_record(g, keep, lines, pos);
      if (r != Replay::ok) return r;
    } else if (key == "PUT " || key == "PUT") {
      if (g.keep.put)
        g.keep.put(g, lines, pos, sx, sy);
      else
        skip_put(lines, pos);
    }
  }
  return Replay::ok;
}

}  // namespace

void grkpla(Graphics& g, int& n, std::vector<std::string>& names, std::vector<int>& flags) {
  Grcomn& s = g.n;
  const int cmod = s.CMODGR, cpar = s.CPARGR;
  const int count =
      std::min<int>(std::abs(n), static_cast<int>(std::min(names.size(), flags.size())));
  for (int i = 0; i < count; ++i) {
    if ((n < 0 && flags[i] == 1) || (n > 0 && flags[i] == 2)) continue;
    const std::string name(trim_right(names[i]));
    if (!file_exists(name)) {
      grmesg(g, "Keep file not found: " + name);
      flags[i] = 0;
      continue;
    }
    std::vector<std::string> lines;
    Replay r = read_all(name, lines) ? Replay::ok : Replay::damaged;
    if (r == Replay::ok) {
      r = replay(g, name, lines);
      grcolr(g, 1);
      grdash(g, 1);
    }
    if (r == Replay::stop) break;
    if (r == Replay::damaged) {
      grmesg(g, "Error opening: " + name);
      const int last = std::abs(n) - 1;
      names[i] = names[last];
      flags[i] = flags[last];
      flags[last] = 0;  // the moved entry's old place is dropped
      n += n > 0 ? -1 : 1;
      break;
    }
  }
  s.CMODGR = cmod;
  s.CPARGR = cpar;
}

}  // namespace qf
