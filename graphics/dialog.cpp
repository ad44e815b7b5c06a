// Answering path of the dialogs used by the library: the message area, the
// one-line prompt and the form. While commands are queued (grscpt) the next
// command is the user's answer; without one a prompt answers blank and a
// form answers "cancel". Drawn versions go behind the same calls.
#include <cctype>
#include <ostream>

#include "cmdlang/stop.h"
#include "cmdlang/textio.h"
#include "graphics/graphics.h"
#include "graphics/internal.h"

namespace qf {

void grmesg(Graphics& g, std::string_view text) {
  GrMessages& m = g.msg;
  if (text.find_first_not_of(' ') == std::string_view::npos) {
    m.lines.clear();
    return;
  }
  m.lines.insert(m.lines.begin(), pad(text, 100));
  if (m.lines.size() > 5) m.lines.resize(5);
  if (m.history.size() >= 200)
    m.history.back() = pad(text, 80);
  else
    m.history.push_back(pad(text, 80));
}

void grinpa(Graphics& g, std::string_view prompt, std::string& answer) {
  (void)prompt;
  const std::size_t len = answer.empty() ? 40 : answer.size();
  std::string cmd;
  if (grsnext(g, cmd))
    answer = pad(cmd, len);
  else
    answer = std::string(len, ' ');
}

namespace {

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

}  // namespace

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
  values[0] = values[0].empty() ? std::string("cancel") : pad("cancel", values[0].size());
}

}  // namespace qf
