// The field editor: operations on node values by the pointer, by polygon
// files and by random perturbation.
#include "viewer/alter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cmdlang/reader.h"
#include "graphics/dialog.h"
#include "io/textio.h"
#include "viewer/viewer.h"

namespace qf {

namespace {

constexpr int kMarkChanged = 1104;  // symbol 4 (a cross) in colour 11
constexpr int kPolyColour = 11;

bool pending(const Graphics& g) {
  return g.n.NSCRGR > g.n.SCTKGR;
}

// The dialogs can answer: a window to wait in, or a queued command.
bool can_answer(const Graphics& g) {
  return pending(g) || grdlgon(g);
}

std::string_view trim(std::string_view s) {
  const std::size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return {};
  const std::size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

bool starts_with(std::string_view s, std::string_view p) {
  return s.substr(0, p.size()) == p;
}

// Next line of the file on ch (the handed-back line first).
bool next_line(Graphics& g, AlterState& s, int ch, std::string& line) {
  if (s.has_pushed) {
    s.has_pushed = false;
    line = s.pushed;
    return true;
  }
  std::FILE* f = g.files.get(ch);
  if (!f) return false;
  line.clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(f)) != EOF) {
    any = true;
    if (c == '\n') break;
    line += static_cast<char>(c);
  }
  if (!any) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  ++s.line_no;
  return true;
}

// World x, y of a vertex line.
bool vertex(std::string_view line, double& wx, double& wy) {
  FreeReader r(line);
  return r.read(wx) == ReadStatus::ok && r.read(wy) == ReadStatus::ok;
}

void bounding_box(const std::vector<float>& x, const std::vector<float>& y, int n, float box[4]) {
  box[0] = box[1] = n > 0 ? x[0] : 0;
  box[2] = box[3] = n > 0 ? y[0] : 0;
  for (int i = 1; i < n; ++i) {
    box[0] = std::min(box[0], x[i]), box[1] = std::max(box[1], x[i]);
    box[2] = std::min(box[2], y[i]), box[3] = std::max(box[3], y[i]);
  }
}

std::string where(const AlterState& s) {
  return "line " + std::to_string(s.line_no) + " of " + s.file;
}

// The node values the editor works on.
struct Nodes {
  int components, nx, ny, ld;
  const float* x;
  const float* y;
  float* f1;
  float* f2;
};

// Applies the current operation to node k and marks it; flag collects the
// division flag.
void apply(Graphics& g, const AlterState& s, const Nodes& d, std::size_t k, int& flag) {
  int fl = 0;
  d.f1[k] = valoper(d.f1[k], s.number, s.code, fl);
  if (d.components > 1 && d.f2) d.f2[k] = valoper(d.f2[k], s.number, s.code, fl);
  if (fl == 1) flag = 1;
  grmov2(g, d.x[k], d.y[k]);
  grsymb(g, kMarkChanged);
}

void division_note(Graphics& g, int flag) {
  if (flag == 1) grmesg(g, "division by (near) zero: values set to 0");
}

// Every node inside the polygon.
void apply_polygon(Graphics& g, const AlterState& s, const Nodes& d, const std::vector<float>& px,
                   const std::vector<float>& py, int n, const float box[4]) {
  if (n < 3 || s.code == 0) return;
  int flag = 0;
  for (int j = 0; j < d.ny; ++j)
    for (int i = 0; i < d.nx; ++i) {
      const std::size_t k = static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * d.ld;
      const float xk = d.x[k], yk = d.y[k];
      if (xk < box[0] || xk > box[1] || yk < box[2] || yk > box[3]) continue;
      if (igpoly(px.data(), py.data(), n, xk, yk) == 0) continue;
      apply(g, s, d, k, flag);
    }
  division_note(g, flag);
  grflip(g);
}

void show_operation(Graphics& g, const AlterState& s) {
  if (s.code == 0) {
    grmesg(g, "Operation not defined");
    return;
  }
  const std::string_view t = trim(s.op);
  const std::string c(1, t.empty() ? ' ' : t[0]);
  grmesg(g, c + (std::fabs(s.number) > 0.01f ? fmt_f(s.number, 12, 4) : fmt_e(s.number, 12, 4)));
}

void set_operation(AlterState& s, std::string_view text) {
  s.op = std::string(trim(text));
  s.code = igetop(s.op, s.number);
}

// Read: blocks of an operation line and the polygon after it.
void read_file(Graphics& g, Viewer& v, const Nodes& d) {
  AlterState& s = v.alter;
  std::string name = " ", dir;
  int mode = 0;
  const int ch = g.n.JDV2GR;
  gropn(g, v.chooser, ch, name, dir, mode);
  if (trim(name).empty() || !g.files.is_open(ch)) return;
  s.file = std::string(trim(name));
  s.file_open = true;
  s.line_no = 0;
  s.has_pushed = false;
  std::vector<float> px, py;
  std::string line;
  while (next_line(g, s, ch, line)) {
    const std::string_view t = trim(line);
    if (t.empty() || t[0] == '#' || t[0] == '/' || starts_with(t, ">>") || starts_with(t, "end"))
      continue;
    double wx, wy;
    if (vertex(t, wx, wy)) {
      s.pushed = line;
      s.has_pushed = true;
      --s.line_no;
      int n = kPolygonStore;
      float box[4];
      const int end = igplyf(g, s, ch, px, py, n, box);
      if (s.code == 0)
        grmesg(g, "no operation for the polygon before " + where(s));
      else
        apply_polygon(g, s, d, px, py, n, box);
      if (end == kPolyEof) break;
      continue;
    }
    const std::size_t sp = t.find(' ');
    const std::string_view rest = sp == std::string_view::npos ? "" : trim(t.substr(sp));
    float num = 0;
    if (rest.empty() || igetop(std::string(rest), num) == 0) {
      grmesg(g, where(s) + " skipped: " + std::string(t.substr(0, 40)));
      continue;
    }
    set_operation(s, rest);
  }
  g.files.close(ch);
  s.file_open = false;
  s.has_pushed = false;
  s.code = 0;
  s.number = 0;
}

}  // namespace

int igetop(const std::string& text, float& number) {
  number = 0;
  const std::string_view t = trim(text);
  if (t.empty()) return 0;
  static const std::string ops = "=+-*/<>";
  const std::size_t c = ops.find(t[0]);
  if (c == std::string::npos) return 0;
  float v = 0;
  if (!parse_float(trim(t.substr(1)), v)) return 0;
  number = v;
  return static_cast<int>(c) + 1;
}

float valoper(float value, float number, int code, int& flag) {
  switch (code) {
    case 1:
      return number;
    case 2:
      return value + number;
    case 3:
      return value - number;
    case 4:
      return value * number;
    case 5:
      if (std::fabs(number) < 1e-30f) {
        flag = 1;
        return 0;
      }
      return value / number;
    case 6:
      return std::min(value, number);
    case 7:
      return std::max(value, number);
    default:
      flag = 2;
      return value;
  }
}

float rgrand(Graphics& g, std::int32_t& seed) {
  if (seed == -1) {
    std::string t;
    grtime(g, t, 24);
    auto c = [&](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(t[i - 1])); };
    seed = c(17) * 8 + c(19) + c(20) - 479;
  }
  // The product wraps around in 32 bits as the generator is defined; it is
  // formed unsigned and taken back as a two's-complement value.
  const std::uint32_t p = static_cast<std::uint32_t>(seed) * 16807u;
  const std::int32_t w = static_cast<std::int32_t>(p);
  seed = w % 2147483647;
  return static_cast<float>(std::abs(static_cast<double>(seed)) * (1.0 / 2147483648.0));
}

int igplyf(Graphics& g, AlterState& s, int ch, std::vector<float>& x, std::vector<float>& y,
           int& count, float box[4]) {
  const int cap = std::max(0, count);
  x.clear();
  y.clear();
  int end = kPolyEof;
  std::string line;
  grcolr(g, kPolyColour);
  while (next_line(g, s, ch, line)) {
    const std::string_view t = trim(line);
    if (t.empty() || t[0] == '#' || t[0] == '/') continue;
    if (starts_with(t, ">>") || starts_with(t, "end")) {
      end = kPolyEndLine;
      break;
    }
    double wx, wy;
    if (!vertex(t, wx, wy)) {
      s.pushed = line;
      s.has_pushed = true;
      --s.line_no;
      end = kPolyNotVertex;
      break;
    }
    if (static_cast<int>(x.size()) >= cap) {
      grmesg(g, "polygon longer than " + std::to_string(cap) + " vertices: rest skipped at " +
                    where(s));
      end = kPolyFull;
      // The rest of this polygon is passed over, so that it does not start
      // another one.
      while (next_line(g, s, ch, line)) {
        double a, b;
        if (!vertex(trim(line), a, b)) {
          s.pushed = line;
          s.has_pushed = true;
          --s.line_no;
          break;
        }
      }
      break;
    }
    const float ux = static_cast<float>(wx - g.n.XORGR);
    const float uy = static_cast<float>(wy - g.n.YORGR);
    if (x.empty())
      grmov2(g, ux, uy);
    else
      grdrw2(g, ux, uy);
    x.push_back(ux);
    y.push_back(uy);
  }
  if (end == kPolyEof && !x.empty() && s.file_open)
    grmesg(g, s.file + " ends inside a polygon: closed there");
  count = static_cast<int>(x.size());
  if (count > 0) grdrw2(g, x[0], y[0]);
  bounding_box(x, y, count, box);
  return end;
}

void igplyp(Graphics& g, Viewer& v, std::vector<float>& x, std::vector<float>& y, int& count,
            float box[4]) {
  const int cap = std::max(1, count);
  x.clear();
  y.clear();
  grmesg(g, "waiting for cursor input");
  std::string labels[5] = {" UUndo", " CCancel", " RRead", " ??", " DDone"};
  for (std::string& l : labels) l = pad(l, 16);
  auto segment = [&](std::size_t a, std::size_t b, int colour) {
    grcolr(g, colour);
    grmov2(g, x[a], y[a]);
    grdrw2(g, x[b], y[b]);
  };
  for (;;) {
    if (!can_answer(g)) break;
    const bool empty = x.empty();
    labels[0][0] = labels[1][0] = empty ? '-' : ' ';
    labels[2][0] = empty ? ' ' : '-';
    int ans = 0;
    float px = 0, py = 0;
    grcurs(g, 5, labels, ans, px, py);
    if (ans == 0) {
      if (static_cast<int>(x.size()) >= cap - 1) {
        grmesg(g, "no more vertices: polygon full");
        continue;
      }
      x.push_back(px);
      y.push_back(py);
      if (x.size() == 1) {
        grcolr(g, kPolyColour);
        grmov2(g, px, py);
        grsymb(g, 100 * kPolyColour + 1);
      } else {
        segment(x.size() - 2, x.size() - 1, kPolyColour);
      }
      grflip(g);
    } else if ((ans == 1 || ans == -3) && !x.empty()) {
      if (x.size() >= 2) segment(x.size() - 2, x.size() - 1, -1);
      x.pop_back();
      y.pop_back();
      grflip(g);
    } else if (ans == 2) {
      for (std::size_t i = 1; i < x.size(); ++i) segment(i - 1, i, -1);
      x.clear();
      y.clear();
      grflip(g);
    } else if (ans == 3 && x.empty()) {
      std::string name = " ", dir;
      int mode = 0;
      const int ch = g.n.JDV2GR;
      gropn(g, v.chooser, ch, name, dir, mode);
      if (trim(name).empty() || !g.files.is_open(ch)) continue;
      AlterState& s = v.alter;
      s.file = std::string(trim(name));
      s.line_no = 0;
      s.has_pushed = false;
      s.file_open = false;  // a plain coordinate file ends with its polygon
      int n = cap - 1;
      float b[4];
      igplyf(g, s, ch, x, y, n, b);
      s.has_pushed = false;
      g.files.close(ch);
      grflip(g);
    } else if (ans == 4) {
      const std::string help[5] = {
          "Undo    undo last cursor input <right>", "Cancel  ignore all input",
          "Read    read polygon data from file (with x- and",
          "        y-coordinates in 1st and 2nd column)", "Done    close polygon and exit"};
      grtext(g, help, 5);
    } else if (ans == 5) {
      break;
    }
  }
  count = static_cast<int>(x.size());
  if (count > 1) {
    segment(x.size() - 1, 0, kPolyColour);
    grflip(g);
  }
  bounding_box(x, y, count, box);
  // The polygon as it was closed: replaying the listing gives the same
  // result whatever was undone or cancelled while it was drawn.
  for (int i = 0; i < count; ++i)
    grjout(g, fmt_f(x[i] + g.n.XORGR, 12, 3) + fmt_f(y[i] + g.n.YORGR, 12, 3) + " /");
  grjout(g, "end");
}

void gralter(Graphics& g, Viewer& v, int components, int nx, int ny, int ld, const float* x,
             const float* y, float* f1, float* f2) {
  AlterState& s = v.alter;
  const Nodes d{components, nx, ny, ld, x, y, f1, f2};
  std::string labels[8];
  for (int i = 0; i < 8; ++i) labels[i] = pad(kAlterMenu[static_cast<std::size_t>(i)], 16);
  for (;;) {
    if (!can_answer(g)) return;
    labels[1][0] = labels[2][0] = s.code == 0 ? '-' : ' ';
    int ans = 0;
    float px = 0, py = 0;
    grcurs(g, 8, labels, ans, px, py);
    switch (ans) {
      case 1: {
        if (starts_with(trim(s.op), "/")) s.op = "+2.0";
        std::string a = pad(s.op, 32);
        grinpa(g, "Operation (e.g. +2.0)", a);
        set_operation(s, a);
        show_operation(g, s);
        break;
      }
      case 2: {
        if (s.code == 0) break;
        grjout(g, "fill " + std::string(trim(s.op)));
        std::vector<float> px_, py_;
        int n = kPolygonStore;
        float box[4];
        igplyp(g, v, px_, py_, n, box);
        apply_polygon(g, s, d, px_, py_, n, box);
        break;
      }
      case 3: {
        if (s.code == 0) break;
        int flag = 0;
        for (int j = 0; j < ny; ++j)
          for (int i = 0; i < nx; ++i)
            apply(g, s, d, static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ld, flag);
        division_note(g, flag);
        grflip(g);
        break;
      }
      case 4:
        read_file(g, v, d);
        break;
      case 5: {
        float r = 0;
        grinpf(g, "size of data range", r);
        s.seed = -1;
        for (int j = 0; j < ny; ++j)
          for (int i = 0; i < nx; ++i) {
            const std::size_t k = static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ld;
            f1[k] += (rgrand(g, s.seed) - 0.5f) * r;
          }
        break;
      }
      case 6: {
        const std::string cmds[2] = {pad("R", kScriptLen), pad("A", kScriptLen)};
        grscpt(g, 2, cmds, kScriptLen);
        return;
      }
      case 7: {
        const std::string help[12] = {"ALTER options:",
                                      " Operator  sets the operation, e.g.",
                                      "     =1.0  set point value to 1.",
                                      "     +1.0  adding 1.0 to point value",
                                      "     -1.0  subtract 1.0 from point value",
                                      "     *1.0  multiplies point value with 1",
                                      "     /1.0  divides point value by 1.",
                                      "     <1.0  / >1.0  caps at / raises to 1.",
                                      " Fill      applies the operation inside a polygon",
                                      " All       applies the operation to all points",
                                      " Read      reads operations and polygons from file",
                                      " Random    adds random values of a given range"};
        grtext(g, help, 12);
        break;
      }
      case 8:
        return;
      default:
        break;
    }
  }
}

}  // namespace qf
