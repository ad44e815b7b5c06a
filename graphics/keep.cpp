// Keep files (the library's metafile of drawing calls in user coordinates),
// the list of keep files redrawn with every plot, and the command script
// queue of the interactive loop.
#include <algorithm>
#include <cstdio>

#include "cmdlang/channels.h"
#include "cmdlang/textio.h"
#include "graphics/graphics.h"
#include "graphics/internal.h"

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
      // Entries marked for dropping leave the list.
      for (std::size_t i = k.names.size(); i-- > 0;)
        if (k.flags[i] == 0) {
          k.names.erase(k.names.begin() + static_cast<long>(i));
          k.flags.erase(k.flags.begin() + static_cast<long>(i));
        }
      return;
    }
    default:
      return;  // choosing files and bitmaps needs the drawn dialogs
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

// Replays one keep file; false when a fill record is damaged.
bool replay(Graphics& g, const std::vector<std::string>& lines) {
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
        return false;
      std::vector<float> v;
      if (!read_reals(lines, pos, dim * n, v)) return false;
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
      pos += 2;  // bitmaps are not drawn by this library
    }
  }
  return true;
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
    bool ok = read_all(name, lines);
    if (ok) {
      ok = replay(g, lines);
      grcolr(g, 1);
      grdash(g, 1);
    }
    if (!ok) {
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
