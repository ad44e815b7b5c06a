// Graphics state: start-up, named variables, the settings file ".grset",
// the scale computation and the time stamp.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>

#include "graphics/graphics.h"
#include "graphics/internal.h"
#include "io/channels.h"
#include "io/stop.h"
#include "io/textio.h"

namespace qf {

// ---------------------------------------------------------------- helpers

bool GrFiles::open(int ch, const std::string& path, const char* mode) {
  close(ch);
  std::FILE* f = std::fopen(path.c_str(), mode);
  if (!f) return false;
  f_[ch] = Open{f, path, 0};
  return true;
}

int GrFiles::close(int ch) {
  auto it = f_.find(ch);
  if (it == f_.end()) return 0;
  Open& o = it->second;
  int err = o.error;
  errno = 0;
  if (std::fflush(o.f) != 0 && err == 0) err = errno != 0 ? errno : EIO;
  if (std::ferror(o.f) && err == 0) err = EIO;
  errno = 0;
  if (std::fclose(o.f) != 0 && err == 0) err = errno != 0 ? errno : EIO;
  f_.erase(it);
  return err;
}

void GrFiles::close_all() {
  for (auto& [ch, o] : f_) std::fclose(o.f);
  f_.clear();
}

std::FILE* GrFiles::get(int ch) const {
  auto it = f_.find(ch);
  return it == f_.end() ? nullptr : it->second.f;
}

std::string GrFiles::path(int ch) const {
  auto it = f_.find(ch);
  return it == f_.end() ? std::string() : it->second.path;
}

void GrFiles::line(int ch, std::string_view s) {
  auto it = f_.find(ch);
  if (it == f_.end()) return;
  Open& o = it->second;
  errno = 0;
  const bool ok =
      std::fwrite(s.data(), 1, s.size(), o.f) == s.size() && std::fputc('\n', o.f) != EOF;
  if (!ok && o.error == 0) o.error = errno != 0 ? errno : EIO;
}

bool grfdone(Graphics& g, int ch) {
  const std::string name = g.files.path(ch);
  const int err = g.files.close(ch);
  if (err == 0) return true;
  const std::string text = "Error writing: " + name + " (" + std::strerror(err) + ")";
  grmesg(g, text);
  grjout(g, text);
  return false;
}

Graphics::Graphics() : out(&std::cout), err(&std::cerr) {}

Graphics::~Graphics() {
  if (grxisopn(x)) grxcls(x);
}

std::string grfix(std::string_view s, std::size_t n) {
  return pad(s, n);
}

void grline(Graphics& g, int ch, std::string_view s) {
  g.files.line(ch, s);
}

void grjout(Graphics& g, std::string_view s) {
  if (g.io && g.n.JOUTGR != Channels::screen) {
    g.io->line(g.n.JOUTGR, s);
    g.io->flush(g.n.JOUTGR);
  } else {
    *g.out << s << '\n';
    g.out->flush();
  }
}

void greror(Graphics& g, std::string_view text, float a, float b) {
  grjout(g, " ***ERROR***" + std::string(text) + "  (" + fmt_g(a, 15, 7) + "," + fmt_g(b, 15, 7) +
                ")");
  g.files.close_all();
  throw Stop(1, std::string(text));
}

int grsafe_int(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

// ---------------------------------------------------------------- grinit

namespace {

// The defaults that hold when no settings file exists; set before a
// settings file is read as well, so a damaged file leaves sane values.
void setting_defaults(Graphics& g) {
  Grcomn& n = g.n;
  n.IN01GR = 1;
  n.IN02GR = 1;
  n.IN03GR = 1;
  n.IN04GR = 0;
  n.IN05GR = 1;
  n.IN06GR = 1;
  n.IN07GR = 1;
  n.IN08GR = 0;
  n.IN09GR = 0;
  n.IN10GR = 1;
  n.IN11GR = 1;
  n.IN12GR = 1;
  n.IN13GR = 1;
  n.IN14GR = 0;
  n.IN15GR = 0;
  n.LABLGR = 0;
  n.PAPRGR = 0;
  n.VSYMGR = 103;
  n.IKEYGR = 1;
  n.KEYXGR = 0;
  n.KEYYGR = 10;
  n.KEYSGR = 1;
  n.NXINGR = 24;
  n.NYINGR = 18;
  n.NCOLGR = 14;
  n.SYMFGR = 0.5f;
  n.ZOOMGR = 0.71f;
  n.SCALGR = 1;
  n.VSCLGR = 10;
  n.VSTPGR = 1;
  n.LANGGR = 1;
  g.t.FILNGR = grfix("", 80);
  g.t.FIRMGR = grfix("[]", 80);
  g.t.TITLGR = grfix("Title", 80);
  g.t.TIT2GR = grfix("", 80);
}

}  // namespace

void grinit(Graphics& g, int jin, int jout, std::string_view name, std::string_view label,
            int small) {
  (void)label;
  Grcomn& n = g.n;
  n.IMODGR = 0;
  n.SMALGR = small;
  n.NPOLGR = 0;
  n.SCTKGR = 0;
  n.SHPTGR = 3;
  n.SHPAGR = 1;
  g.t.FLDNGR = grfix("", 40);
  n.NSCRGR = 0;
  n.JINGR = jin;
  n.JOUTGR = jout;
  g.t.PROGGR = grfix(name, 20);
  {
    std::string w(trim_right(name.substr(0, std::min<std::size_t>(name.size(), 19))));
    w += '\0';
    g.t.WNABGR = grfix(w, 20);
  }

  if (g.saved_nx == 0 && g.saved_ny == 0) {
    grmcol(g);
    std::string stamp;
    grtime(g, stamp, 15);
    g.t.DATEGR = stamp;
    const float nice[7] = {1, 2, 4, 5, 10, 20, 40};
    std::copy(nice, nice + 7, n.NICEGR);
    n.NNICGR = 7;
    n.UNITGR = 50;
    n.JDV1GR = 95;
    n.JDV2GR = 96;
    n.JDV3GR = 97;
    g.t.PRNTGR = grfix(std::string("$PICTOR_PRINT") + '\0', 40);
    g.t.PRN3GR = grfix(std::string("$PICTOR_PRINT3") + '\0', 40);
    n.XSCLGR = n.YSCLGR = 0.7865f;
    n.XPSGR = n.YPSGR = n.XFACGR = n.YFACGR = 1;
    n.XORGR = n.YORGR = 0;
    n.WNDWGR[0] = 10;
    n.WNDWGR[1] = 0;
    n.LITEGR[0] = -1.0f;
    n.LITEGR[1] = 1.3f;
    n.LITEGR[2] = 2.0f;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) n.TRANGR[i][j] = i == j ? 1.0f : 0.0f;
    n.ON3DGR = 0;
    n.VMINGR = 0.01f;

    setting_defaults(g);
    if (file_exists(".grset")) grrset(g);
    g.saved_nx = n.NXINGR;
    g.saved_ny = n.NYINGR;
  }

  if (n.SMALGR) {
    n.NXINGR = 4;
    n.NYINGR = 3;
    n.WNDWGR[2] = 310;
    n.WNDWGR[3] = 125;
    n.XORGGR = 10;
    n.YORGGR = 105;
  } else {
    n.NXINGR = g.saved_nx;
    n.NYINGR = g.saved_ny;
    n.WNDWGR[2] = grsafe_int((n.NXINGR + 4.5) * 50 * n.XSCLGR);
    n.WNDWGR[3] = grsafe_int((n.NYINGR + 2) * 50 * n.YSCLGR);
    n.XORGGR = 55;
    n.YORGGR = static_cast<float>(n.WNDWGR[3] - 35);
  }

  if (jout != 6) {
    int req = kModeScreen;
    grmode(g, req);
    grcler(g, 0);
  }
  grmesg(g, " ");
}

// ---------------------------------------------------------------- settings file

namespace {

bool read_lines(const std::string& path, std::vector<std::string>& lines) {
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

// Reads the values of one line in order. A value that cannot be read fails
// the line (values before it stay); a line that ends early (slash or end of
// line) leaves the remaining members as they were.
class SetLine {
 public:
  explicit SetLine(const std::string& line) : r_(line) {}
  template <typename T>
  SetLine& operator()(T& v) {
    if (!ok_ || ended_) return *this;
    ReadStatus s = r_.read(v);
    if (s == ReadStatus::error) ok_ = false;
    if (s == ReadStatus::end) ended_ = true;
    return *this;
  }
  SetLine& text(std::string& v, std::size_t len) {
    if (!ok_ || ended_) return *this;
    std::string s;
    ReadStatus st = r_.read(s, len);
    if (st == ReadStatus::error) ok_ = false;
    if (st == ReadStatus::end) ended_ = true;
    if (st == ReadStatus::ok) v = grfix(s, len);
    return *this;
  }
  bool ok() const { return ok_; }

 private:
  FreeReader r_;
  bool ok_ = true;
  bool ended_ = false;
};

}  // namespace

void grrset(Graphics& g) {
  Grcomn& n = g.n;
  std::vector<std::string> lines;
  // The file is taken whole; the channel stays free for the keep list.
  if (!read_lines(".grset", lines)) return;
  // With a settings file the window comes from the file: "/calc scales" is
  // not taken from it.
  n.IN01GR = 0;
  std::size_t pos = 1;  // line 1 is the heading
  auto next = [&](std::string& l) -> bool {
    if (pos >= lines.size()) return false;
    l = lines[pos++];
    return true;
  };
  auto body = [&]() -> bool {
    std::string l;
    int ignored = 0;
    if (!next(l) || !SetLine(l)(ignored).ok()) return false;  // /calc scales
    int* sw[] = {&n.IN02GR, &n.IN03GR, &n.IN04GR, &n.IN05GR, &n.IN06GR, &n.IN07GR};
    for (int* p : sw)
      if (!next(l) || !SetLine(l)(*p).ok()) return false;
    if (!next(l) || !SetLine(l)(n.CMODGR)(n.CPARGR)(n.NCOLGR).ok()) return false;
    if (n.CMODGR == 0) n.CMODGR = 2;
    if (n.CMODGR >= 0 && n.CMODGR <= 3 && n.NCOLGR > 19) n.NCOLGR = 19;
    int* sw2[] = {&n.IN09GR, &n.IN10GR, &n.IN11GR, &n.IN12GR};
    for (int* p : sw2)
      if (!next(l) || !SetLine(l)(*p).ok()) return false;
    if (!next(l) || !SetLine(l)(ignored).ok()) return false;  // /redraw keep files
    if (!next(l) || !SetLine(l)(n.IN14GR)(n.LABLGR)(n.PAPRGR).ok()) return false;
    if (!next(l) || !SetLine(l)(n.NXINGR).ok()) return false;
    if (!next(l) || !SetLine(l)(n.NYINGR).ok()) return false;
    float* win[] = {&n.XMINGR, &n.XMAXGR, &n.YMINGR, &n.YMAXGR};
    for (float* p : win)
      if (!next(l) || !SetLine(l)(*p).ok()) return false;
    if (!next(l) || !SetLine(l)(n.SYMFGR).ok()) return false;
    if (!next(l) || !SetLine(l)(n.ZOOMGR).ok()) return false;
    if (!next(l) || !SetLine(l)(n.SCALGR).ok()) return false;
    if (!(n.ZOOMGR >= 0.1f)) n.ZOOMGR = 0.1f;
    if (!(n.SYMFGR >= 0.1f)) n.SYMFGR = 0.1f;
    if (!(n.SCALGR >= 0.001f)) n.SCALGR = 1;
    n.XSCLGR = 0.7865f * n.SCALGR;
    n.YSCLGR = 0.7865f * n.SCALGR;
    if (!next(l) || !SetLine(l)(n.IKEYGR)(n.KEYXGR)(n.KEYYGR)(n.KEYSGR)(n.LANGGR).ok())
      return false;
    if (!(n.KEYXGR >= 0)) n.KEYXGR = 0;
    if (!(n.KEYYGR >= 0)) n.KEYYGR = 0;
    if (!next(l) || !SetLine(l)(n.VSCLGR)(n.VSTPGR)(n.VSYMGR)(n.VMINGR).ok()) return false;
    if (!(n.VSCLGR >= 0.1f)) n.VSCLGR = 0.1f;
    n.VSTPGR = std::clamp(n.VSTPGR, 1, 10);
    if (!next(l) || !SetLine(l)(n.SHADGR).ok()) return false;
    std::string* txt[] = {&g.t.FILNGR, &g.t.FIRMGR, &g.t.TITLGR, &g.t.TIT2GR};
    for (std::string* p : txt)
      if (!next(l) || !SetLine(l).text(*p, 80).ok()) return false;
    grkread(g, lines, pos);
    if (!(n.XMAXGR >= n.XMINGR + 1)) n.XMAXGR = n.XMINGR + 1;
    if (!(n.YMAXGR >= n.YMINGR + 1)) n.YMAXGR = n.YMINGR + 1;
    return true;
  };
  body();
  grsfac(g);
}

namespace {

// A text between apostrophes as list-directed input reads it back.
std::string quoted(std::string_view s) {
  std::string r = "'";
  for (char c : s) {
    r += c;
    if (c == '\'') r += '\'';
  }
  return r + "'";
}

}  // namespace

std::string grquote(std::string_view s) {
  return quoted(s);
}

void grwset(Graphics& g) {
  const Grcomn& n = g.n;
  const int ch = n.JDV1GR;
  if (!g.files.open(ch, ".grset", "w")) return;
  auto L = [&](const std::string& s) { g.files.line(ch, s); };
  L("/graphic attributes");
  L(fmt_i(n.IN01GR, 2) + " /calc scales");
  L(fmt_i(n.IN02GR, 2) + " /dep scaling");
  L(fmt_i(n.IN03GR, 2) + " /draw axes");
  L(fmt_i(n.IN04GR, 2) + " /draw grid");
  L(fmt_i(n.IN05GR, 2) + " /interactive mode");
  L(fmt_i(n.IN06GR, 2) + " /tic spacing centimeters");
  L(fmt_i(n.IN07GR, 2) + " /draw no-data values");
  L(fmt_i(n.CMODGR, 2) + fmt_i(n.CPARGR, 4) + fmt_i(n.NCOLGR, 4) + " /color modes");
  L(fmt_i(n.IN09GR, 2) + " /single buffered");
  L(fmt_i(n.IN10GR, 2) + " /save hardcopy file");
  L(fmt_i(n.IN11GR, 2) + " /color PostScript");
  L(fmt_i(n.IN12GR, 2) + " /domain boundary");
  L(" 1 /redraw keep files");
  L(fmt_i(n.IN14GR, 2) + fmt_i(n.LABLGR, 2) + fmt_i(n.PAPRGR, 2) +
    " /mono contours with labels, paper-size");
  L(fmt_i(n.NXINGR, 4) + " /number of x-axis intervals");
  L(fmt_i(n.NYINGR, 4) + " /number of y-axis intervals");
  const double lo = -9.0e10, hi = 9.0e10;
  L(fmt_f(std::max(n.XORGR + n.XMINGR, lo), 15, 2) + " /xmin");
  L(fmt_f(std::min(n.XORGR + n.XMAXGR, hi), 15, 2) + " /xmax");
  L(fmt_f(std::max(n.YORGR + n.YMINGR, lo), 15, 2) + " /ymin");
  L(fmt_f(std::min(n.YORGR + n.YMAXGR, hi), 15, 2) + " /ymax");
  L(fmt_f(n.SYMFGR, 12, 2) + " /symbol factor");
  L(fmt_f(n.ZOOMGR, 12, 2) + " /zoom factor");
  L(fmt_f(n.SCALGR, 12, 2) + " /scaling factor");
  L(fmt_i(n.IKEYGR, 2) + fmt_f(n.KEYXGR, 12, 2) + fmt_f(n.KEYYGR, 12, 2) + fmt_f(n.KEYSGR, 6, 1) +
    fmt_i(n.LANGGR, 2) + " /key");
  L(fmt_f(n.VSCLGR, 12, 2) + fmt_i(n.VSTPGR, 5) + fmt_i(n.VSYMGR, 5) + fmt_f(n.VMINGR, 10, 3) +
    " /vectors");
  L(fmt_i(n.SHADGR, 2) + " /shading");
  for (const std::string* p : {&g.t.FILNGR, &g.t.FIRMGR, &g.t.TITLGR, &g.t.TIT2GR})
    L(quoted(grfix(*p, 80)) + " /");
  grkwrite(g, ch);
  grfdone(g, ch);
}

// ---------------------------------------------------------------- grsfac, grtime

void grsfac(Graphics& g) {
  Grcomn& n = g.n;
  if (n.IMODGR <= 6) {
    n.XORGGR = n.UNITGR * 1.1f;
    n.YORGGR = static_cast<float>(n.WNDWGR[3]) - n.UNITGR * 0.7f;
    float dx = n.XMAXGR - n.XMINGR, dy = n.YMAXGR - n.YMINGR;
    if (!(dx >= 0.01f)) dx = 0.01f;
    if (!(dy >= 0.01f)) dy = 0.01f;
    n.XFACGR = n.UNITGR * n.NXINGR * n.XSCLGR / dx;
    n.YFACGR = -n.UNITGR * n.NYINGR * n.YSCLGR / dy;
  }
  if (!(std::fabs(n.XFACGR) >= 1e-10f)) n.XFACGR = 1e-10f;
  if (!(std::fabs(n.YFACGR) >= 1e-10f)) n.YFACGR = 1e-10f;
}

void grtime(Graphics& g, std::string& text, int length) {
  (void)g;
  text = grfix(grxtim(), static_cast<std::size_t>(std::max(length, 0)));
}

// ---------------------------------------------------------------- grvalu

namespace {

float* real_member(Grcomn& n, std::string_view nm) {
  struct R {
    const char* name;
    float Grcomn::*m;
  };
  static const R reals[] = {
      {"XMINGR", &Grcomn::XMINGR}, {"XMAXGR", &Grcomn::XMAXGR},   {"YMINGR", &Grcomn::YMINGR},
      {"YMAXGR", &Grcomn::YMAXGR}, {"XMNCGR", &Grcomn::XMNCGR},   {"XMXCGR", &Grcomn::XMXCGR},
      {"YMNCGR", &Grcomn::YMNCGR}, {"YMXCGR", &Grcomn::YMXCGR},   {"XCRSGR", &Grcomn::XCRSGR},
      {"YCRSGR", &Grcomn::YCRSGR}, {"SYMFGR", &Grcomn::SYMFGR},   {"XSCLGR", &Grcomn::XSCLGR},
      {"YSCLGR", &Grcomn::YSCLGR}, {"XORGGR", &Grcomn::XORGGR},   {"YORGGR", &Grcomn::YORGGR},
      {"XFACGR", &Grcomn::XFACGR}, {"YFACGR", &Grcomn::YFACGR},   {"XPSGR", &Grcomn::XPSGR},
      {"YPSGR", &Grcomn::YPSGR},   {"YBEAMGR", &Grcomn::YBEAMGR},
  };
  for (const R& r : reals)
    if (nm == r.name) return &(n.*(r.m));
  if (nm.size() == 11 && nm.substr(0, 7) == "TRANGR(" && nm[8] == ',' && nm[10] == ')') {
    const int i = nm[7] - '0', j = nm[9] - '0';
    if (i >= 1 && i <= 4 && j >= 1 && j <= 4) return &n.TRANGR[i - 1][j - 1];
  }
  return nullptr;
}

int* rounded_member(Grcomn& n, std::string_view nm) {
  struct I {
    const char* name;
    int Grcomn::*m;
  };
  static const I ints[] = {
      {"INDSGR", &Grcomn::INDSGR}, {"IN01GR", &Grcomn::IN01GR}, {"IN02GR", &Grcomn::IN02GR},
      {"IN03GR", &Grcomn::IN03GR}, {"IN04GR", &Grcomn::IN04GR}, {"IN05GR", &Grcomn::IN05GR},
      {"IN06GR", &Grcomn::IN06GR}, {"IN07GR", &Grcomn::IN07GR}, {"IN08GR", &Grcomn::IN08GR},
      {"IN09GR", &Grcomn::IN09GR}, {"IN10GR", &Grcomn::IN10GR}, {"IN11GR", &Grcomn::IN11GR},
      {"IN12GR", &Grcomn::IN12GR}, {"IN15GR", &Grcomn::IN15GR}, {"JINGR", &Grcomn::JINGR},
      {"JOUTGR", &Grcomn::JOUTGR}, {"JDV1GR", &Grcomn::JDV1GR}, {"JDV2GR", &Grcomn::JDV2GR},
      {"JDV3GR", &Grcomn::JDV3GR}, {"IMODGR", &Grcomn::IMODGR}, {"IKEYGR", &Grcomn::IKEYGR},
      {"NXINGR", &Grcomn::NXINGR}, {"NYINGR", &Grcomn::NYINGR},
  };
  for (const I& r : ints)
    if (nm == r.name) return &(n.*(r.m));
  return nullptr;
}

int* truncated_member(Grcomn& n, std::string_view nm) {
  if (nm == "NCOLGR") return &n.NCOLGR;
  if (nm == "NSCRGR") return &n.NSCRGR;
  if (nm.size() == 9 && nm.substr(0, 7) == "WNDWGR(" && nm[8] == ')') {
    const int i = nm[7] - '0';
    if (i >= 1 && i <= 4) return &n.WNDWGR[i - 1];
  }
  return nullptr;
}

std::string* text_member(Grcomt& t, std::string_view nm, std::size_t& len) {
  struct T {
    const char* name;
    std::string Grcomt::*m;
    std::size_t len;
  };
  static const T texts[] = {
      {"TITLGR", &Grcomt::TITLGR, 80}, {"DATEGR", &Grcomt::DATEGR, 15},
      {"AUXCGR", &Grcomt::AUXCGR, 20}, {"PRNTGR", &Grcomt::PRNTGR, 40},
      {"FIRMGR", &Grcomt::FIRMGR, 80}, {"FILNGR", &Grcomt::FILNGR, 80},
      {"WNABGR", &Grcomt::WNABGR, 20},
  };
  for (const T& r : texts)
    if (nm == r.name) {
      len = r.len;
      return &(t.*(r.m));
    }
  return nullptr;
}

int round_half_away(double v) {
  if (!(v == v)) return 0;
  return grsafe_int(v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5));
}

}  // namespace

void grvalu(Graphics& g, std::string_view name, int set, double& value, std::string& text) {
  Grcomn& n = g.n;
  const std::string_view nm = trim_right(name);
  if (nm == "XORGR" || nm == "YORGR") {
    const bool isx = nm == "XORGR";
    double& org = isx ? n.XORGR : n.YORGR;
    float& lo = isx ? n.XMINGR : n.YMINGR;
    float& hi = isx ? n.XMAXGR : n.YMAXGR;
    if (set) {
      const double d = value - org;
      org = value;
      lo = static_cast<float>(lo - d);
      hi = static_cast<float>(hi - d);
    } else {
      value = static_cast<float>(org);
    }
    return;
  }
  if (float* p = real_member(n, nm)) {
    if (set)
      *p = static_cast<float>(value);
    else
      value = *p;
    return;
  }
  if (int* p = rounded_member(n, nm)) {
    if (set)
      *p = round_half_away(value);
    else
      value = *p;
    return;
  }
  if (int* p = truncated_member(n, nm)) {
    if (set) {
      *p = grsafe_int(value);
      if (p == &n.NSCRGR) n.NSCRGR = std::clamp(n.NSCRGR, 0, kScriptMax);
    } else {
      value = *p;
    }
    return;
  }
  std::size_t len = 0;
  if (std::string* p = text_member(g.t, nm, len)) {
    if (set)
      *p = grfix(text, len);
    else
      text = text.empty() ? *p : grfix(*p, text.size());
    return;
  }
  *g.out << "grvalu: variable not defined> " << name << '\n';
  g.out->flush();
  g.files.close_all();
  throw Stop(1, "grvalu: variable not defined> " + std::string(name));
}

void grvalu(Graphics& g, std::string_view name, int set, float& value, std::string& text) {
  double v = value;
  grvalu(g, name, set, v, text);
  if (!set) value = static_cast<float>(v);
}

}  // namespace qf
