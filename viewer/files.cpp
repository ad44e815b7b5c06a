// File opening of the viewer and the file chooser. The chooser reads the
// directory itself (no shell, no scratch file), so names holding quotes,
// blanks or semicolons are listed like any other.
#include "viewer/files.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "graphics/dialog.h"
#include "io/channels.h"
#include "io/stop.h"
#include "io/textio.h"
#include "model/resultfile.h"

namespace qf {

namespace fs = std::filesystem;

namespace {

std::string trimmed(std::string_view s) {
  s = trim_right(s);
  const std::size_t b = s.find_first_not_of(' ');
  return b == std::string_view::npos ? std::string() : std::string(s.substr(b));
}

bool is_file(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::exists(path, ec) && !fs::is_directory(path, ec);
}

// Extension of a file name: from the last "." of its last component.
std::string extension_of(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot < base) return std::string();
  return name.substr(dot);
}

// A name handed to the chooser is an extension filter when it starts with
// "."; a path such as "./plan.kep" or "../plan.kep" is a name.
bool is_filter(const std::string& name) {
  return !name.empty() && name[0] == '.' && name.find('/') == std::string::npos;
}

// Type and record length of a result file, checked against the file: false
// (reason in `why`) for a file whose header cannot describe it.
bool result_type_of(const std::string& path, int& type, int& reclen, std::string& why) {
  DirectFile f;
  if (!f.open(path, 104, 'r')) {
    why = "cannot be read";
    return false;
  }
  ResultHeader h;
  const bool ok = read_header(f, h, &why);
  f.close();
  if (!ok) return false;
  type = h.type;
  reclen = h.reclen;
  return true;
}

// ---------------------------------------------------------------- window

constexpr int kRowH = 14;
constexpr int kBoxX = 40, kBoxY = 30, kBoxW = 420;
constexpr float kButW = 76, kButH = 17;

struct Layout {
  int field_y = 0, dir_y = 0, list_y = 0, rows = 1, box_h = 0;
  float but_y = 0;
  float but_x[5] = {};
};

Layout layout(const Graphics& g) {
  Layout l;
  l.field_y = kBoxY + 4;
  l.dir_y = l.field_y + 16 + 14;
  l.list_y = l.dir_y + 6;
  l.rows = std::clamp((g.x.height - l.list_y - 40) / kRowH, 1, 30);
  l.but_y = static_cast<float>(l.list_y + l.rows * kRowH + 6);
  l.box_h = static_cast<int>(l.but_y) + 23 - kBoxY;
  for (int i = 0; i < 5; ++i) l.but_x[i] = kBoxX + 4 + static_cast<float>(i) * (kButW + 6);
  return l;
}

const char* const kButtons[5] = {" OOpen", " <<<", " >>>", " CCancel", " AAll files"};

void draw(Graphics& g, const Layout& l, const std::string& dir, const std::vector<std::string>& e,
          int top, bool filtered) {
  grpbox(g, kBoxX, kBoxY, kBoxW, l.box_h, -5, -3);
  grpclean(g, kBoxX, kBoxY, kBoxW + 1, l.box_h + 1);
  std::string shown = dir;
  const std::size_t room = (kBoxW - 10) / 6;
  if (shown.size() > room) shown = "..." + shown.substr(shown.size() - room + 3);
  grptxt(g, kBoxX + 4, l.dir_y, shown, 0);
  grpbox(g, kBoxX + 2, l.list_y, kBoxW - 4, l.rows * kRowH, -1, -3);
  for (int r = 0; r < l.rows && top + r < static_cast<int>(e.size()); ++r) {
    const std::string& s = e[top + r];
    std::string t = s[0] == '/' ? s.substr(1) + "/" : s;
    if (t.size() > room - 1) t = t.substr(0, room - 2) + "_";
    grptxt(g, kBoxX + 6, l.list_y + r * kRowH + 11, t, s[0] == '/' ? 4 : 0);
  }
  for (int i = 0; i < 5; ++i)
    if (i < 4 || filtered) grpbutton(g, l.but_x[i], l.but_y, kButW, kButH, kButtons[i], false);
  grflip(g);
}

}  // namespace

bool grflist(const std::string& dir, const std::string& filter, std::vector<std::string>& entries,
             int& left_out) {
  entries.clear();
  left_out = 0;
  std::vector<std::string> dirs, files;
  std::error_code ec;
  fs::directory_iterator it(dir, ec), end;
  if (ec) return false;
  for (; it != end; it.increment(ec)) {
    if (ec) break;
    const std::string n = it->path().filename().string();
    if (n.empty() || n[0] == '.') continue;  // hidden, as a plain listing
    std::error_code e2;
    const fs::file_status st = it->symlink_status(e2);
    if (e2 || fs::is_symlink(st)) continue;
    if (fs::is_directory(st)) {
      dirs.push_back("/" + n);
    } else if (filter.empty()) {
      files.push_back(n);
    } else {
      const std::string x = extension_of(n);
      if (!x.empty() && filter.find(x) != std::string::npos) files.push_back(n);
    }
  }
  std::sort(dirs.begin(), dirs.end());
  std::sort(files.begin(), files.end());
  if (dir != "/") entries.push_back("/..");
  for (auto* v : {&dirs, &files})
    for (const std::string& s : *v) {
      if (static_cast<int>(entries.size()) < kChooserEntries)
        entries.push_back(s);
      else
        ++left_out;
    }
  return !ec;
}

void grfile(Graphics& g, FileChooser& fc, std::string& name, std::string& directory, int& ok) {
  ok = 0;
  std::string cmd;
  if (grsnext(g, cmd)) {
    name = trimmed(cmd);
    if (is_file(name)) {
      ok = 1;
      return;
    }
    const std::string line = "grfile: file " + name + " not found";
    *g.out << line << '\n';
    g.out->flush();
    g.files.close_all();
    throw Stop(1, line);
  }
  std::string filter = trimmed(name);
  if (!is_filter(filter)) filter.clear();
  if (filter.size() > 20) filter.resize(20);
  name.clear();
  if (!grdlgon(g)) return;
  if (fc.dir.empty()) {
    std::error_code ec;
    fc.dir = fs::current_path(ec).string();
    if (ec) fc.dir.clear();
    if (fc.dir.empty()) fc.dir = "/";
    if (fc.dir.back() != '/') fc.dir += '/';
  }
  std::vector<std::string> entries;
  int top = 0;
  auto list = [&] {
    int left = 0;
    if (!grflist(fc.dir, filter, entries, left)) grmesg(g, "Cannot list " + fc.dir);
    if (left > 0) grmesg(g, std::to_string(left) + " entries not shown");
    top = 0;
  };
  list();
  const Layout l = layout(g);
  const GrUnder under(g, kBoxX, kBoxY, kBoxW + 1, l.box_h + 1);
  std::string field(128, ' ');
  const float fx = kBoxX + 4, fy = static_cast<float>(l.field_y);
  for (;;) {
    draw(g, l, fc.dir, entries, top, !filter.empty());
    const float no_click = -1.0e30f;
    g.n.XCRSGR = no_click;
    int hit = 0;
    grgstr(g, fx, fy, "Filename", field, hit);
    if (hit) continue;                   // typed or edited
    if (g.n.XCRSGR == no_click) return;  // the window is gone
    // The click back in window pixels (rounded: the cursor went through
    // user coordinates).
    const float px = std::round((g.n.XCRSGR - g.n.XMINGR) * g.n.XFACGR + g.n.XORGGR);
    const float py = std::round((g.n.YCRSGR - g.n.YMINGR) * g.n.YFACGR + g.n.YORGGR);
    int b = -1;
    for (int i = 0; i < 5 && b < 0; ++i) {
      if (i == 4 && filter.empty()) break;
      grbutn(g, 1, l.but_x[i], l.but_y, kButW, kButH, kButtons[i], px, py, hit);
      if (hit) b = i;
    }
    const int n = static_cast<int>(entries.size());
    switch (b) {
      case 0: {
        const std::string f = trimmed(field);
        if (f.empty()) continue;
        name = f[0] == '/' ? f : fc.dir + f;
        directory = fc.dir;
        ok = is_file(name) ? 1 : 0;
        return;
      }
      case 1:
        top = std::max(0, top - kChooserScroll);
        continue;
      case 2:
        top = std::max(0, std::min(top + kChooserScroll, n - l.rows));
        continue;
      case 3:
        name.clear();
        return;
      case 4:
        filter.clear();
        list();
        continue;
      default:
        break;
    }
    const int ipx = static_cast<int>(px), ipy = static_cast<int>(py);
    if (ipx < kBoxX + 2 || ipx > kBoxX + kBoxW - 2 || ipy < l.list_y ||
        ipy >= l.list_y + l.rows * kRowH)
      continue;
    const int k = top + (ipy - l.list_y) / kRowH;
    if (k >= n) continue;
    const std::string& e = entries[k];
    if (e == "/..") {
      std::string d = fc.dir.substr(0, fc.dir.size() - 1);
      d = d.substr(0, d.rfind('/') + 1);
      fc.dir = d.empty() ? "/" : d;
      list();
    } else if (e[0] == '/') {
      fc.dir += e.substr(1) + "/";
      list();
    } else {
      field = pad(e, std::max<std::size_t>(128, e.size()));
    }
  }
}

void grfil(Graphics& g, int ch, std::string& name) {
  std::string cmd;
  if (grsnext(g, cmd)) {
    name = trimmed(cmd);
  } else {
    const std::string given = trimmed(name);
    const bool prefix = given.compare(0, 3, "pre") == 0;
    const std::string ext = prefix ? trimmed(given.substr(3, 8)) : std::string();
    for (;;) {
      std::string a(80, ' ');
      grinpa(g, prefix ? "Enter Prefix> " : "Enter Filename> ", a);
      std::string t = trimmed(a);
      if (t.empty()) {
        name.clear();
        return;
      }
      if (prefix) t = t.substr(0, t.find(' ')) + ext;
      std::error_code ec;
      if (fs::exists(t, ec)) {
        std::string yes(40, ' ');
        grinpa(g, "Overwrite file? ", yes);
        const std::string y = trimmed(yes);
        if (y.empty() || (y[0] != 'Y' && y[0] != 'y')) continue;
      }
      name = t;
      break;
    }
  }
  if (name.empty()) return;
  if (!g.files.open(ch, name, "w")) {
    grmesg(g, "Error opening: " + name);
    name.clear();
  }
}

void gropn(Graphics& g, FileChooser& fc, int ch, std::string& name, std::string& directory,
           int& mode) {
  directory = "./";
  name = trimmed(name);
  for (;;) {
    if (name.empty() || is_filter(name)) {
      int ok = 0;
      grfile(g, fc, name, directory, ok);
      if (name.empty() || ok == 0) {
        mode = 0;
        return;
      }
    }
    if (!is_file(name)) {
      grmesg(g, "File not found: " + pad(name, 32));
      name = extension_of(name);
      continue;
    }
    if (mode == 0) {
      if (!g.files.open(ch, name, "r")) {
        grmesg(g, "Error opening: " + name);
        mode = 0;
        return;
      }
      std::rewind(g.files.get(ch));
      grflip(g);
      return;
    }
    int type = 0, reclen = 0;
    std::string why;
    const bool header = result_type_of(name, type, reclen, why);
    if (mode == 2) {
      mode = header && type >= -198 && type <= -91 ? 1 : 0;
      return;
    }
    if (header && type >= -199 && type <= -90) {
      if (!g.files.open(ch, name, "rb")) {
        grmesg(g, "Error opening: " + name);
        mode = 0;
        return;
      }
      mode = reclen;
      grflip(g);
      return;
    }
    if (!header) grmesg(g, name + ": " + why);
    grmesg(g, "Wrong file format: " + name);
    name.clear();
  }
}

}  // namespace qf
