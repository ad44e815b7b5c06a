// Dialogs of the library: the message area, the button bar with cursor
// input, forms of labelled fields, prompts, the text page and the message
// counter. While commands are queued (grscpt) the next command is the user's
// answer and nothing is drawn or awaited; without one the dialog is drawn
// into the window and waits for keys and clicks. Without a window a prompt
// answers blank, a form "cancel" and the button bar 0.
#include "graphics/dialog.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <vector>

#include "graphics/bitmap.h"
#include "graphics/graphics.h"
#include "graphics/internal.h"
#include "io/channels.h"
#include "io/stop.h"
#include "io/textio.h"

namespace qf {

namespace {

// Untranslated key symbols of the arrow, page and modifier keys.
constexpr int kSymLeft = 0xff51, kSymUp = 0xff52, kSymRight = 0xff53, kSymDown = 0xff54;
constexpr int kSymPageUp = 0xff55, kSymPageDown = 0xff56;
constexpr int kSymShiftL = 0xffe1, kSymHyperR = 0xffee;

struct Ev {
  int type = 0, x = 0, y = 0, detail = 0;
};

// The next event; a window being closed or lost answers type 0 (the window
// is gone) to every dialog.
void wait_event(Graphics& g, Ev& e) {
  grxevn(g.x, e.type, e.x, e.y, e.detail);
  if (e.type == kGrxClose) e.type = 0;
}

bool is_blank(std::string_view s) {
  return s.find_first_not_of(' ') == std::string_view::npos;
}

bool is_modifier(int key) {
  return key >= kSymShiftL && key <= kSymHyperR;
}

// The pointer position (window pixels) as the cursor in user coordinates.
void store_cursor(Graphics& g, int px, int py, float& x, float& y) {
  x = grpuser_x(g, px);
  y = grpuser_y(g, py);
  g.n.XCRSGR = x;
  g.n.YCRSGR = y;
}

// A resized window: the geometry, the plot origin 25 pixels above the
// bottom edge and the axis intervals follow the new size. False when the
// size did not change.
bool follow_resize(Graphics& g, const Ev& e) {
  Grcomn& n = g.n;
  if (e.type != kGrxConfigureNotify || (e.x == n.WNDWGR[2] && e.y == n.WNDWGR[3])) return false;
  n.WNDWGR[2] = e.x;
  n.WNDWGR[3] = e.y;
  n.NXINGR = std::max(1, grsafe_int(e.x / (n.UNITGR * n.XSCLGR) - 4.5));
  n.NYINGR = std::max(1, grsafe_int(e.y / (n.UNITGR * n.YSCLGR) - 2.0));
  grsfac(g);
  // Dependent scales hold in a window set by a zoom or typed in (one
  // derived from the data gets equal steps anew at the redraw): the axis
  // with the larger scale takes the other's, growing about its centre, so
  // that everything shown before stays in view.
  if (n.IN02GR && n.INDSGR != 1) {
    const float fx = std::fabs(n.XFACGR), fy = std::fabs(n.YFACGR);
    auto widen = [](float& lo, float& hi, float by) {
      const float c = (lo + hi) / 2, h = (hi - lo) / 2 * by;
      lo = c - h;
      hi = c + h;
    };
    if (fx > fy) widen(n.XMINGR, n.XMAXGR, fx / fy);
    if (fy > fx) widen(n.YMINGR, n.YMAXGR, fy / fx);
    grsfac(g);
  }
  n.YORGGR = static_cast<float>(e.y - 25);
  return true;
}

// Moves the view by a third of its extent: 1 left, 2 right, 3 up, 4 down.
void pan(Graphics& g, int dir) {
  Grcomn& n = g.n;
  const float dx = (n.XMAXGR - n.XMINGR) * 0.3333f, dy = (n.YMAXGR - n.YMINGR) * 0.3333f;
  if (dir == 1) n.XMINGR -= dx, n.XMAXGR -= dx;
  if (dir == 2) n.XMINGR += dx, n.XMAXGR += dx;
  if (dir == 3) n.YMINGR += dy, n.YMAXGR += dy;
  if (dir == 4) n.YMINGR -= dy, n.YMAXGR -= dy;
}

// ---------------------------------------------------------------- message area

void paint_messages(Graphics& g) {
  GrMessages& m = g.msg;
  if (m.box_w > 0) grpbox(g, 0, 0, m.box_w + 1, m.box_h + 1, -1, kNoFrame);
  if (m.lines.empty()) return;
  std::size_t longest = 0;
  for (const std::string& l : m.lines) longest = std::max(longest, trim_right(l).size());
  const int w = static_cast<int>(longest + 2) * 6, h = static_cast<int>(m.lines.size()) * 14;
  grpbox(g, 0, 0, w, h, -5, -3);
  for (std::size_t i = 0; i < m.lines.size(); ++i)
    grptxt(g, 5, 3 + 9 + 14 * static_cast<int>(i), trim_right(m.lines[i]), 0);
  if (m.lines.size() > 1) {
    int xs[2] = {0, w}, ys[2] = {14, 14};
    grxstc(g.x, g.n.PIXTAB[grcent(g, -4)]);
    g.pen.last_colour = -99999;
    grxlnz(g.x, 2, xs, ys);
  }
  grpclean(g, 0, 0, w + 1, h + 1);
}

// The message box is shown at once. In the middle of a double-buffered
// frame it is drawn into the back buffer (so the frame keeps it) and into
// the window, and the frame goes on in the back buffer.
void draw_messages(Graphics& g) {
  GrMessages& m = g.msg;
  grdump(g);
  const bool in_frame = g.x.drawable == g.x.pixmap && g.x.pixmap != 0;
  paint_messages(g);
  if (in_frame) {
    g.x.drawable = g.x.window;
    paint_messages(g);
    grxflp(g.x);  // only flushes
    g.x.drawable = g.x.pixmap;
  } else {
    grflip(g);
  }
  if (m.lines.empty()) {
    m.box_w = m.box_h = 0;
    return;
  }
  std::size_t longest = 0;
  for (const std::string& l : m.lines) longest = std::max(longest, trim_right(l).size());
  m.box_w = static_cast<int>(longest + 2) * 6;
  m.box_h = static_cast<int>(m.lines.size()) * 14;
}

// The pointer readout in the first line of the message box, in place of
// the previous readout.
void show_readout(Graphics& g, const std::string& text) {
  GrMessages& m = g.msg;
  if (m.readout && !m.lines.empty()) m.lines.erase(m.lines.begin());
  m.readout = !text.empty();
  if (m.readout) {
    m.lines.insert(m.lines.begin(), pad(text, 100));
    if (m.lines.size() > 5) m.lines.resize(5);
  }
  draw_messages(g);
}

// Pointer motion asked of the server while a readout is shown, and no
// longer once the menu has its answer.
struct MotionOn {
  MotionOn(Graphics& g, bool on) : g(g), on(on) {
    if (on) grxmot(g.x, true);
  }
  ~MotionOn() {
    if (on) grxmot(g.x, false);
  }
  MotionOn(const MotionOn&) = delete;
  MotionOn& operator=(const MotionOn&) = delete;
  Graphics& g;
  bool on;
};

// ---------------------------------------------------------------- fields

// Kinds of a field value.
enum class Kind { Text, Box, Choice, Colour };

Kind kind_of(std::string_view label, std::string_view value) {
  if (trim_right(label) == "Color") return Kind::Colour;
  if (value.size() >= 2 && (value[0] == '+' || value[0] == '_') && value[1] == ' ')
    return Kind::Box;
  if (!value.empty() && value[0] == '|') return Kind::Choice;
  return Kind::Text;
}

// Choice list "|k|c1|c2|...": the choices and the current number.
std::vector<std::string> choices_of(std::string_view value, int& current) {
  std::vector<std::string> parts;
  std::string cur;
  for (std::size_t i = 1; i <= value.size(); ++i) {
    if (i == value.size() || value[i] == '|') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += value[i];
    }
  }
  current = 0;
  if (!parts.empty()) {
    long long k = 0;
    if (parse_int(std::string(trim_right(parts[0])), k)) current = static_cast<int>(k);
    parts.erase(parts.begin());
  }
  if (!parts.empty()) parts.back() = std::string(trim_right(parts.back()));
  return parts;
}

// Advances a choice list to its next choice, wrapping after the last.
void next_choice(Graphics& g, std::string& value) {
  int cur = 0;
  const std::vector<std::string> ch = choices_of(value, cur);
  g.msg.choices = static_cast<int>(ch.size());
  if (ch.empty()) return;
  const int next = cur >= static_cast<int>(ch.size()) || cur < 1 ? 1 : cur + 1;
  const std::size_t bar = value.find('|', 1);
  std::string rest = bar == std::string::npos ? std::string() : value.substr(bar);
  const std::string v = "|" + std::to_string(next) + rest;
  value = value.empty() ? v : pad(v, value.size());
}

// The shown text of a value.
std::string shown_value(std::string_view label, std::string_view value) {
  switch (kind_of(label, value)) {
    case Kind::Box:
      return value[0] == '+' ? "[x]" : "[ ]";
    case Kind::Choice: {
      int cur = 0;
      const std::vector<std::string> ch = choices_of(value, cur);
      if (cur >= 1 && cur <= static_cast<int>(ch.size())) return "< " + ch[cur - 1] + " >";
      return "< >";
    }
    default:
      return std::string(trim_right(value));
  }
}

// A field: its label, then the value box from kLabelW pixels on; labels of
// up to 19 characters ("Plotting frequence", "Dependent Scales") show whole.
constexpr int kFieldW = 300, kFieldH = 16, kLabelW = 120;

void draw_field(Graphics& g, int x, int y, std::string_view label, std::string_view value,
                bool editing) {
  grpbox(g, x, y, kFieldW, kFieldH, -5, kNoFrame);
  std::string lab(trim_right(label.substr(0, std::min<std::size_t>(label.size(), 32))));
  if (lab.size() > (kLabelW - 6) / 6) lab.resize((kLabelW - 6) / 6);
  grptxt(g, x + 3, y + 12, lab, 0);
  grpbox(g, x + kLabelW - 2, y + 1, kFieldW - kLabelW, kFieldH - 2, editing ? -2 : -1, -3);
  std::string v = shown_value(label, value);
  if (editing) v += '_';
  const std::size_t room = (kFieldW - kLabelW - 6) / 6;
  if (v.size() > room) v = v.substr(v.size() - room);
  grptxt(g, x + kLabelW + 1, y + 12, v, 0);
  grpclean(g, x, y, kFieldW + 1, kFieldH + 1);
}

// Free text typed into the field at (x, y): printable keys append, BackSpace
// and Delete take the last character back, Return, Escape or a click end.
void edit_text(Graphics& g, int x, int y, std::string_view label, std::string& value,
               int first_key) {
  const std::size_t len = value.empty() ? 80 : value.size();
  std::string t(trim_right(value));
  auto key = [&](int k) {
    if (k >= 32 && k <= 126) {
      if (t.size() < len) t += static_cast<char>(k);
    } else if ((k == kGrxKeyBackSpace || k == kGrxKeyDelete) && !t.empty()) {
      t.pop_back();
    }
  };
  if (first_key > 0) key(first_key);
  for (;;) {
    draw_field(g, x, y, label, t, true);
    grflip(g);
    Ev e;
    wait_event(g, e);
    if (e.type == kGrxKeyPress) {
      if (e.detail == kGrxKeyReturn || e.detail == kGrxKeyEscape) break;
      key(e.detail);
    } else if (e.type == kGrxButtonPress) {
      break;
    } else if (e.type == 0) {
      break;  // the window is gone
    }
  }
  value = value.empty() ? t : pad(t, value.size());
}

// A click on a field: toggles a box, advances a choice list, opens the
// colour chooser or takes typed text.
void activate_field(Graphics& g, int x, int y, std::string_view label, std::string& value) {
  switch (kind_of(label, value)) {
    case Kind::Box:
      value[0] = value[0] == '+' ? '_' : '+';
      break;
    case Kind::Choice:
      next_choice(g, value);
      break;
    case Kind::Colour: {
      long long k = 0;
      const std::string_view t = trim_right(value);
      const std::size_t f = t.find_first_not_of(' ');
      int c = f != std::string_view::npos && parse_int(t.substr(f), k) ? static_cast<int>(k) : 1;
      grcmap(g, c);
      value = value.empty() ? std::to_string(c) : pad(std::to_string(c), value.size());
      break;
    }
    case Kind::Text:
      edit_text(g, x, y, label, value, 0);
      break;
  }
  draw_field(g, x, y, label, value, false);
  grflip(g);
}

// Sets one form field from the text of a script command.
void set_field(std::string& value, std::string_view text) {
  const std::size_t len = value.size();
  if (!value.empty() && (value[0] == '_' || value[0] == '+') &&
      (value.size() == 1 || value[1] == ' ')) {
    // A tick box: the command ticks it unless it asks for "_".
    const bool off = !text.empty() && text[0] == '_';
    value[0] = off ? '_' : '+';
    return;
  }
  if (!value.empty() && value[0] == '|' && !text.empty() &&
      std::isdigit(static_cast<unsigned char>(text[0])) && trim_right(text).size() == 1 &&
      value.size() >= 2) {
    value[1] = text[0];  // the number of the current choice
    return;
  }
  value = len > 0 ? pad(text, len) : std::string(text);
}

// Top left corner of a box of w x h pixels near the cursor.
void near_cursor(const Graphics& g, int w, int h, int& x, int& y) {
  x = std::clamp(grdevx(g, g.n.XCRSGR), 0, std::max(0, g.x.width - w - 2));
  y = std::clamp(grdevy(g, g.n.YCRSGR), 0, std::max(0, g.x.height - h - 2));
}

// Text typed into a one-field box near the cursor, starting from `text`.
std::string prompt_text(Graphics& g, std::string_view prompt, const std::string& text,
                        std::size_t len) {
  const int w = std::max(kFieldW, static_cast<int>(trim_right(prompt).size()) * 6 + 12);
  int x = 0, y = 0;
  near_cursor(g, w, 2 * kFieldH + 6, x, y);
  const GrUnder under(g, x, y, w + 1, 2 * kFieldH + 7);
  grpbox(g, x, y, w, 2 * kFieldH + 6, -5, -3);
  grptxt(g, x + 4, y + 13, trim_right(prompt), 0);
  grpclean(g, x, y, w + 1, 2 * kFieldH + 7);
  std::string v = pad(text, len);
  edit_text(g, x, y + kFieldH + 3, "", v, 0);
  return v;
}

// ---------------------------------------------------------------- button bar

struct Bar {
  std::vector<float> x, y;
  float w = 76.5f, h = 17;
};

// Layout: a negative entry puts the buttons in one row along the lower edge
// of the plot area; otherwise they stand in one column at the right edge of
// the window, the placement index above 0 one bar height lower with the
// width used last.
Bar layout(Graphics& g, int n, int entry) {
  Bar b;
  const int W = g.x.width, H = g.x.height;
  const bool row = entry < 0;
  const int cols = row ? std::max(n, 1) : 1;
  const int place = row ? 0 : entry % 100;
  b.w = std::min(76.5f, static_cast<float>(W - cols) / static_cast<float>(cols + 1));
  if (place > 0) b.w = g.msg.bar_width;
  g.msg.bar_width = b.w;
  g.msg.bar_cols = cols;
  g.msg.bar_rows = row ? 1 : n;
  const float ybar = std::min(g.n.YORGGR + 6.0f, static_cast<float>(H - 19));
  for (int j = 0; j < n; ++j) {
    if (row) {
      b.x.push_back(2 + static_cast<float>(j) * (b.w + 2));
      b.y.push_back(ybar);
    } else {
      b.x.push_back(static_cast<float>(W) - b.w - 4);
      b.y.push_back(4.0f + (place > 0 ? 19.0f : 0.0f) + 19.0f * static_cast<float>(j));
    }
  }
  return b;
}

// A bar in another place than the last one (a submenu shorter than the
// menu it is drawn over, a row after a column): the picture shows again
// where the last bar stood, so that none of its buttons stay visible.
void show_under_last_bar(Graphics& g, const Bar& b, int n) {
  int r[4] = {0, 0, 0, 0};
  if (n > 0) {
    const float x1 = b.x[static_cast<std::size_t>(n - 1)] + b.w + 1;
    const float y1 = b.y[static_cast<std::size_t>(n - 1)] + b.h + 1;
    r[0] = static_cast<int>(b.x[0]);
    r[1] = static_cast<int>(b.y[0]);
    r[2] = static_cast<int>(std::ceil(x1)) - r[0] + 1;
    r[3] = static_cast<int>(std::ceil(y1)) - r[1] + 1;
  }
  int* last = g.msg.bar_rect;
  if (std::equal(r, r + 4, last)) return;
  grdump(g);
  if (last[2] > 0 && last[3] > 0) grxshw(g.x, last[0], last[1], last[2], last[3]);
  std::copy(r, r + 4, last);
}

void draw_bar(Graphics& g, const Bar& b, int n, const std::string* labels) {
  for (int j = 0; j < n; ++j)
    grpbutton(g, b.x[j], b.y[j], b.w, b.h, labels[j],
              j + 1 == g.msg.held || j + 1 == g.msg.waiting);
  grflip(g);
}

// Button chosen by a key (raised to upper case): 0 when none.
int key_button(int n, const std::string* labels, int key) {
  if (key >= 'a' && key <= 'z') key -= 'a' - 'A';
  for (int j = 0; j < n; ++j)
    if (labels[j].size() >= 2 && labels[j][0] != '-' && labels[j][1] == key) return j + 1;
  return 0;
}

// Button whose rectangle holds the pixel; dimmed and empty ones are
// returned as negative numbers (seen but not chosen); 0 for none.
int hit_button(const Bar& b, int n, const std::string* labels, int px, int py) {
  for (int j = 0; j < n; ++j) {
    if (px < b.x[j] || px > b.x[j] + b.w || py < b.y[j] || py > b.y[j] + b.h) continue;
    const std::string l = pad(labels[j], std::max<std::size_t>(labels[j].size(), 3));
    if (l[0] == '-' || (l[1] == ' ' && l[2] == ' ')) return -(j + 1);
    return j + 1;
  }
  return 0;
}

// The script command as an answer: key, then the position when given.
void script_answer(Graphics& g, const std::string& cmd, int n, const std::string* labels,
                   int& answer, float& x, float& y) {
  const std::string_view c = trim_right(cmd);
  const int key = c.empty() ? ' ' : static_cast<unsigned char>(c[0]);
  const std::size_t sp = c.find(' ');
  if (sp != std::string_view::npos) {
    std::string_view rest = c.substr(sp);
    std::vector<std::string> tok;
    std::string cur;
    for (char ch : rest) {
      if (ch == ' ' || ch == ',') {
        if (!cur.empty()) tok.push_back(cur);
        cur.clear();
      } else {
        cur += ch;
      }
    }
    if (!cur.empty()) tok.push_back(cur);
    float a = 0, b = 0;
    if (tok.size() >= 2 && parse_float(tok[0], a) && parse_float(tok[1], b)) {
      x = a;
      y = b;
    }
  }
  g.n.XCRSGR = x;
  g.n.YCRSGR = y;
  answer = key_button(n, labels, key);
}

// The button that leaves a menu (eXit, Close or Done, not dimmed): what a
// close of the window by the window manager chooses. 0 when there is none.
int leave_button(int n, const std::string* labels) {
  for (int j = 0; j < n; ++j) {
    const std::string_view l = labels[j];
    if (l.empty() || l[0] == '-') continue;
    for (const std::string_view key : {"XeXit", "CClose", "DDone"})
      if (l.substr(1, key.size()) == key) return j + 1;
  }
  return 0;
}

// The cursor loop of grcurs and grcurs1; `plot` is null for grcurs.
void cursor_loop(Graphics& g, int n, const std::string* labels, int& answer, float& x, float& y,
                 const std::function<void(int)>* plot, const GrReadout* readout = nullptr) {
  grdump(g);
  const int entry = answer;
  bool poll = entry == 100;
  std::string cmd;
  if (grsnext(g, cmd)) {
    script_answer(g, cmd, n, labels, answer, x, y);
    return;
  }
  answer = 0;
  if (g.x.closing) {
    answer = leave_button(n, labels);
    return;
  }
  if (!grdlgon(g) || n < 0) return;
  GrMessages& m = g.msg;
  if (n != m.bar_n) {
    m.held = 0;
    m.waiting = 0;
    m.bar_n = n;
  }
  Bar bar = layout(g, n, entry);
  show_under_last_bar(g, bar, n);
  draw_bar(g, bar, n, labels);
  const MotionOn motion(g, readout && *readout && !poll);
  for (;;) {
    Ev e;
    if (poll) {
      grxcvn(g.x, e.type, e.x, e.y, e.detail);
    } else {
      wait_event(g, e);
    }
    if (g.x.closing) {  // closed by the window manager: as the menu's leave button
      answer = leave_button(n, labels);
      return;
    }
    if (e.type == 0) return;  // the window is gone
    if (e.type == kGrxMotion) {
      if (motion.on) show_readout(g, (*readout)(grpuser_x(g, e.x), grpuser_y(g, e.y)));
      continue;
    }
    if (e.type == kGrxButtonPress) {
      if (e.detail >= 3 && e.detail <= 5) {
        answer = -e.detail;
        store_cursor(g, e.x, e.y, x, y);
        return;
      }
      const int j = hit_button(bar, n, labels, e.x, e.y);
      if (j < 0) {  // a dimmed button: nothing happens
        if (poll) return;
        continue;
      }
      if (j == 0) {
        // The menu keeps a "<" entry selected for the following clicks.
        answer = m.waiting;
        if (!plot) m.waiting = 0;
        store_cursor(g, e.x, e.y, x, y);
        if (answer != 0) draw_bar(g, bar, n, labels);
        return;
      }
      int hit = 0;
      grbutn(g, 1, bar.x[j - 1], bar.y[j - 1], bar.w, bar.h, labels[j - 1], e.x, e.y, hit);
      store_cursor(g, e.x, e.y, x, y);
      if (labels[j - 1][0] == '<') {  // wait for the position
        m.waiting = j;
        poll = false;
        draw_bar(g, bar, n, labels);
        continue;
      }
      answer = j;
      m.waiting = 0;
      if (!poll) m.held = j;
      draw_bar(g, bar, n, labels);
      return;
    }
    if (e.type == kGrxKeyPress) {
      const int k = e.detail;
      if (is_modifier(k)) {
        if (poll) return;
        continue;
      }
      store_cursor(g, e.x, e.y, x, y);
      if (k == kSymLeft || k == kSymRight || k == kSymUp || k == kSymDown) {
        static constexpr int kDir[4] = {1, 3, 2, 4};  // Left, Up, Right, Down
        const int d = kDir[k - kSymLeft];
        pan(g, d);
        answer = -d;
        return;
      }
      if (plot && k >= kGrxKeyLeft && k <= kGrxKeyDown) {
        static constexpr int kDir[4] = {1, 3, 2, 4};
        pan(g, kDir[k - kGrxKeyLeft]);
        grcler(g, 1);
        grklst(g, 4);
        (*plot)(1);
        grklst(g, 3);
        (*plot)(3);
        if (grscreen(g)) grflip(g);
        answer = -9;
        return;
      }
      const int j = key_button(n, labels, k);
      if (j > 0 && labels[j - 1][0] == '<') {
        m.waiting = j;
        poll = false;
        draw_bar(g, bar, n, labels);
        continue;
      }
      answer = j;
      if (j > 0) m.waiting = 0;
      if (j > 0 && !poll) m.held = j;
      if (j > 0) draw_bar(g, bar, n, labels);
      return;
    }
    if (e.type == kGrxExpose) {
      if (e.detail == 0) draw_bar(g, bar, n, labels);
      continue;
    }
    if (follow_resize(g, e)) {
      bar = layout(g, n, entry);
      if (plot) {
        // The control loop draws the whole picture at the new size (axes,
        // keep files, plot list, key) and shows it.
        answer = -9;
        return;
      }
      draw_bar(g, bar, n, labels);
    }
    if (poll) return;
  }
}

// ---------------------------------------------------------------- text page

void save_page(Graphics& g, const std::string* lines, int n, const std::string& name,
               const char* how) {
  std::FILE* f = std::fopen(name.c_str(), how);
  if (!f) {
    grmesg(g, "Error opening: " + name);
    return;
  }
  for (int i = 0; i < n; ++i) {
    const std::string_view l = trim_right(lines[i]);
    std::fwrite(l.data(), 1, l.size(), f);
    std::fputc('\n', f);
  }
  const std::string tail =
      "/created " + pad(g.t.DATEGR, 15) + " by " + std::string(trim_right(g.t.PROGGR));
  std::fputs(tail.c_str(), f);
  std::fputs("\n\n", f);
  std::fclose(f);
  grmesg(g, "data stored on file");
}

// The save choice of the page: a new file name, append, overwrite or leave.
void save_dialog(Graphics& g, const std::string* lines, int n) {
  grmesg(g, "Filename Append Overwrite eXit?");
  const std::string labels[4] = {" FFilename       ", " AAppend         ", " OOverwrite      ",
                                 " XeXit          "};
  int answer = -1;
  float x = g.n.XCRSGR, y = g.n.YCRSGR;
  const int held = g.msg.held, bn = g.msg.bar_n;
  g.msg.bar_n = -1;
  cursor_loop(g, 4, labels, answer, x, y, nullptr);
  g.msg.held = held;
  g.msg.bar_n = bn;
  std::string& name = g.msg.save_name;
  if (answer == 1 || ((answer == 2 || answer == 3) && is_blank(name))) {
    std::string a(32, ' ');
    grinpa(g, "Filename", a);
    if (!is_blank(a)) name = pad(a, 32);
  }
  if (answer < 1 || answer > 3 || is_blank(name)) {
    grmesg(g, " ");
    return;
  }
  save_page(g, lines, n, std::string(trim_right(name)), answer == 2 ? "a" : "w");
}

// ---------------------------------------------------------------- message counter

void counter_line(Graphics& g, int ch, std::string_view s) {
  if (ch == Channels::screen || (!g.io && !g.files.is_open(ch))) {
    *g.out << s << '\n';
    g.out->flush();
  } else if (g.io && g.io->is_open(ch)) {
    g.io->line(ch, s);
  } else {
    g.files.line(ch, s);
  }
}

// The event loop of a scrolling page (a form, a text page) of n rows of which
// `rows` show from row `top`: the wheel scrolls by one row, an expose or a
// resize redraws, and `button` and `key` take the other presses, returning
// true to leave the page. A closed window leaves it too.
template <class Draw, class Button, class Key>
void scroll_page(Graphics& g, int& top, int n, int rows, Draw draw, Button button, Key key) {
  draw();
  for (;;) {
    Ev e;
    wait_event(g, e);
    if (e.type == 0) return;
    if (e.type == kGrxButtonPress) {
      if (e.detail == 4 || e.detail == 5) {
        top = std::clamp(top + (e.detail == 4 ? -1 : 1), 0, n - rows);
        draw();
      } else if (button(e)) {
        return;
      }
      continue;
    }
    if (e.type == kGrxKeyPress) {
      if (key(e)) return;
      continue;
    }
    if (e.type == kGrxExpose && e.detail == 0) draw();
    if (follow_resize(g, e)) draw();
  }
}

}  // namespace

// ---------------------------------------------------------------- public entries

void grmesg(Graphics& g, std::string_view text) {
  GrMessages& m = g.msg;
  if (m.readout && !m.lines.empty()) m.lines.erase(m.lines.begin());
  m.readout = false;
  if (is_blank(text)) {
    m.lines.clear();
  } else {
    m.lines.insert(m.lines.begin(), pad(text, 100));
    if (m.lines.size() > 5) m.lines.resize(5);
    if (m.history.size() >= 200)
      m.history.back() = pad(text, 80);
    else
      m.history.push_back(pad(text, 80));
  }
  if (grdlgon(g)) draw_messages(g);
}

void grinpa(Graphics& g, std::string_view prompt, std::string& answer) {
  const std::size_t len = answer.empty() ? 40 : answer.size();
  std::string cmd;
  if (grsnext(g, cmd)) {
    answer = pad(cmd, len);
    return;
  }
  if (!grdlgon(g)) {
    answer = std::string(len, ' ');
    return;
  }
  answer = prompt_text(g, prompt, "", len);
}

void grinpf(Graphics& g, std::string_view prompt, float& value) {
  std::string cmd;
  if (grsnext(g, cmd)) {
    float v = 0;
    const std::string_view c = trim_right(std::string_view(cmd).substr(0, 10));
    const std::size_t b = c.find_first_not_of(' ');
    if (b != std::string_view::npos && parse_float(c.substr(b), v)) value = v;
    return;
  }
  if (!grdlgon(g)) return;
  std::string def;
  if (std::fabs(value) > 0.0001f) {
    def = fmt_g(value, 15, 7);
    def.erase(0, def.find_first_not_of(' '));
    def = std::string(trim_right(def));
    // Trailing zeros of the fraction are left out of the default.
    const std::size_t e = def.find_first_of("Ee");
    std::string mant = def.substr(0, e), expo = e == std::string::npos ? "" : def.substr(e);
    if (mant.find('.') != std::string::npos) {
      while (mant.size() > 1 && mant.back() == '0') mant.pop_back();
      if (mant.back() == '.') mant.pop_back();
    }
    def = mant + expo;
  }
  const std::string t(trim_right(prompt_text(g, prompt, def, 40)));
  const std::size_t b = t.find_first_not_of(' ');
  float v = 0;
  if (b != std::string::npos && parse_float(t.substr(b), v)) value = v;
}

void grinfo(Graphics& g, int n, const std::string* labels, std::string* values) {
  std::vector<int> visible;
  for (int i = 0; i < n; ++i)
    if (labels[i].empty() || labels[i][0] != '#') visible.push_back(i);
  if (visible.empty()) return;
  std::string cmd;
  bool any = false;
  while (grsnext(g, cmd)) {
    any = true;
    const std::string_view c = trim_right(cmd);
    std::size_t d = 0;
    while (d < c.size() && d < 3 && std::isdigit(static_cast<unsigned char>(c[d]))) ++d;
    if (d > 0) {
      const int k = std::stoi(std::string(c.substr(0, d)));
      std::string_view rest = c.substr(d);
      const std::size_t b = rest.find_first_not_of(' ');
      rest = b == std::string_view::npos ? std::string_view() : rest.substr(b);
      if (k >= 1 && k <= static_cast<int>(visible.size())) set_field(values[visible[k - 1]], rest);
      continue;
    }
    if (!c.empty() && (c[0] == 'D' || c[0] == 'd')) return;
    const std::string line = "unknown script line: " + std::string(c);
    *g.out << ' ' << line << '\n';
    g.out->flush();
    g.files.close_all();
    throw Stop(1, line);
  }
  if (any) return;  // the script filled the form
  auto cancel = [&] {
    values[0] = values[0].empty() ? std::string("cancel") : pad("cancel", values[0].size());
  };
  if (!grdlgon(g)) {
    cancel();
    return;
  }
  const int nv = static_cast<int>(visible.size());
  const int x0 = 40, y0 = 30;
  const int fit = std::max(1, (g.x.height - y0 - 40) / kFieldH);
  const int rows = std::min(nv, fit);
  int top = 0;
  const float by = static_cast<float>(y0 + rows * kFieldH + 6);
  const float bdx = x0 + 4, bcx = x0 + 84;
  auto draw = [&] {
    grpbox(g, x0 - 2, y0 - 2, kFieldW + 4, rows * kFieldH + 29, -5, -3);
    grpclean(g, x0 - 2, y0 - 2, kFieldW + 5, rows * kFieldH + 30);
    for (int r = 0; r < rows; ++r) {
      const int i = visible[top + r];
      draw_field(g, x0, y0 + r * kFieldH, labels[i], values[i], false);
    }
    grpbutton(g, bdx, by, 76, 17, " DDone", false);
    grpbutton(g, bcx, by, 76, 17, " CCancel", false);
    grflip(g);
  };
  // Field k (from 1) edited at its row, scrolled into view first.
  auto edit = [&](int k) {
    if (k - 1 < top) top = k - 1;
    if (k - 1 >= top + rows) top = k - rows;
    draw();
    const int i = visible[k - 1];
    activate_field(g, x0, y0 + (k - 1 - top) * kFieldH, labels[i], values[i]);
  };
  auto button = [&](const Ev& e) {
    int hit = 0;
    grbutn(g, 1, bdx, by, 76, 17, " DDone", e.x, e.y, hit);
    if (hit) return true;
    grbutn(g, 1, bcx, by, 76, 17, " CCancel", e.x, e.y, hit);
    if (hit) {
      cancel();
      return true;
    }
    if (e.x >= x0 && e.x <= x0 + kFieldW && e.y >= y0 && e.y < y0 + rows * kFieldH)
      edit(top + (e.y - y0) / kFieldH + 1);
    return false;
  };
  auto key = [&](const Ev& e) {
    int k = 0;
    if (is_modifier(e.detail)) return false;
    if (e.detail >= '1' && e.detail <= '9') k = e.detail - '0';
    if (e.detail >= 'A' && e.detail <= 'Z') k = e.detail - 'A' + 1;
    if (e.detail >= 'a' && e.detail <= 'z') k = e.detail - 'a' + 1;
    if (k < 1 || k > nv) return true;  // as "Done"
    edit(k);
    return false;
  };
  const GrUnder under(g, x0 - 2, y0 - 2, kFieldW + 5, rows * kFieldH + 30);
  scroll_page(g, top, nv, rows, draw, button, key);
}

void grgstr(Graphics& g, float x, float y, std::string_view label, std::string& value, int& hit) {
  hit = 0;
  std::string cmd;
  if (grsnext(g, cmd)) {
    std::string_view c = trim_right(cmd);
    set_field(value, c);
    hit = 1;
    return;
  }
  if (!grdlgon(g)) return;
  if (value.size() >= 1 && value[0] == '|') {
    int cur = 0;
    g.msg.choices = static_cast<int>(choices_of(value, cur).size());
  }
  int ix = static_cast<int>(x), iy = static_cast<int>(y);
  if (x < -0.1f) near_cursor(g, kFieldW, kFieldH, ix, iy);
  draw_field(g, ix, iy, label, value, false);
  grflip(g);
  for (;;) {
    Ev e;
    wait_event(g, e);
    if (e.type == 0) return;
    if (e.type == kGrxButtonPress) {
      float ux = 0, uy = 0;
      store_cursor(g, e.x, e.y, ux, uy);
      if (e.x >= ix && e.x <= ix + kFieldW && e.y >= iy && e.y <= iy + kFieldH) {
        hit = 1;
        activate_field(g, ix, iy, label, value);
      }
      return;
    }
    if (e.type == kGrxKeyPress) {
      if (is_modifier(e.detail)) continue;
      if (kind_of(label, value) == Kind::Text) {
        edit_text(g, ix, iy, label, value, e.detail == kGrxKeyReturn ? 0 : e.detail);
        draw_field(g, ix, iy, label, value, false);
        grflip(g);
        hit = 1;
      }
      return;
    }
    if (e.type == kGrxExpose && e.detail == 0) {
      draw_field(g, ix, iy, label, value, false);
      grflip(g);
    }
  }
}

void grcurs(Graphics& g, int n, const std::string* labels, int& answer, float& x, float& y) {
  cursor_loop(g, n, labels, answer, x, y, nullptr);
}

void grcurs(Graphics& g, int n, const std::string* labels, int& answer, float& x, float& y,
            const GrReadout& readout) {
  cursor_loop(g, n, labels, answer, x, y, nullptr, &readout);
}

void grcurs1(Graphics& g, int n, const std::string* labels, int& answer, float& x, float& y,
             const std::function<void(int request)>& plot, const GrReadout& readout) {
  if (plot) plot(3);
  cursor_loop(g, n, labels, answer, x, y, plot ? &plot : nullptr, &readout);
}

void grtext(Graphics& g, const std::string* lines, int n) {
  if (n <= 0) {
    if (lines) g.msg.save_name = pad(lines[0], 32);
    return;
  }
  std::string cmd;
  if (grsnext(g, cmd)) {
    save_page(g, lines, n, std::string(trim_right(cmd)), "w");
    return;
  }
  if (!grdlgon(g)) return;
  std::size_t longest = 0;
  for (int i = 0; i < n; ++i) longest = std::max(longest, trim_right(lines[i]).size());
  const int w = static_cast<int>(longest) * 6 + 24;
  const int x0 = 20, y0 = 30;
  const int fit = std::max(1, (g.x.height - y0 - 40) / 15);
  const int rows = std::min(n, fit);
  int top = 0;
  const float by = static_cast<float>(y0 + rows * 15 + 8);
  const float bsx = x0, bdx = x0 + 80;
  auto draw = [&] {
    grpbox(g, x0, y0, w, rows * 15 + 4, -5, -3);
    for (int r = 0; r < rows; ++r)
      grptxt(g, x0 + 12, y0 + 13 + 15 * r, trim_right(lines[top + r]), 0);
    grpbox(g, x0, static_cast<int>(by) - 2, 162, 21, -1, kNoFrame);
    grpbutton(g, bsx, by, 76, 17, " SSave", false);
    grpbutton(g, bdx, by, 76, 17, " DDone", false);
    grpclean(g, x0, y0, std::max(w, 162) + 1, rows * 15 + 32);
    grflip(g);
  };
  auto scroll = [&](int d) {
    top = std::clamp(top + d, 0, n - rows);
    draw();
  };
  auto button = [&](const Ev& e) {
    int hit = 0;
    grbutn(g, 1, bdx, by, 76, 17, " DDone", e.x, e.y, hit);
    if (hit) return true;
    grbutn(g, 1, bsx, by, 76, 17, " SSave", e.x, e.y, hit);
    if (hit) {
      save_dialog(g, lines, n);
      draw();
    }
    return false;
  };
  auto key = [&](const Ev& e) {
    const int k = e.detail;
    if (k == 'd' || k == 'D') return true;
    if (k == 'a' || k == 'A') {
      save_dialog(g, lines, n);
      draw();
    } else if (k == kSymPageUp || k == kSymPageDown) {
      scroll(k == kSymPageUp ? -rows : rows);
    } else if (k == kGrxKeyUp || k == kGrxKeyDown) {
      scroll(k == kGrxKeyUp ? -1 : 1);
    }
    return false;
  };
  const GrUnder under(g, x0, y0, std::max(w, 162) + 1, rows * 15 + 32);
  scroll_page(g, top, n, rows, draw, button, key);
}

int igrerr(Graphics& g, int kind, std::string_view text, int channel) {
  GrMessages& m = g.msg;
  if (kind == 0) {
    if (m.warnings + m.errors > 0)
      grmesg(g, " >>errors/" + fmt_i(m.errors, 2) + "/  >>warnings/" + fmt_i(m.warnings, 2) + "/");
    m.warnings = m.errors = 0;
    return 0;
  }
  if (kind < 1 || kind > 3) return 0;
  static const char* const kHead[4] = {"", "**warning: ", "**error: ", "**fatal error: "};
  const std::string stars(47, '*');
  counter_line(g, channel, "");
  counter_line(g, channel, stars);
  counter_line(g, channel, kHead[kind] + std::string(text));
  counter_line(g, channel, stars);
  counter_line(g, channel, "");
  if (kind == 1) return ++m.warnings;
  if (kind == 2) {
    ++m.errors;
    if (m.errors > 10) {
      *g.out << " >>program aborted after 10 errors\n";
      g.out->flush();
      g.files.close_all();
      throw Stop(0, "program aborted after 10 errors");
    }
    return m.errors;
  }
  *g.out << " ***fatal error detected\n";
  g.out->flush();
  g.files.close_all();
  throw Stop(0, "fatal error detected");
}

}  // namespace qf
