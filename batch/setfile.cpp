#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "batch/batch.h"
#include "io/textio.h"

namespace qf::batch {

namespace fs = std::filesystem;

namespace {

std::string trimmed(const std::string& s) {
  const std::size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

[[noreturn]] void bad(const std::string& file, int line, const std::string& text) {
  throw SetError{"'" + file + "', line " + std::to_string(line) + ": " + text};
}

// The first word of a command-file line and where the rest starts.
// Option labels ("{q100", "|") before the word are passed over.
std::string first_word(const std::string& line, std::size_t& indent, std::size_t& rest) {
  rest = 0;
  for (;;) {
    indent = rest;
    while (indent < line.size() && static_cast<unsigned char>(line[indent]) <= 32) ++indent;
    rest = indent;
    while (rest < line.size() && static_cast<unsigned char>(line[rest]) > 32) ++rest;
    if (rest == indent || (line[indent] != '{' && line[indent] != '|')) break;
  }
  return line.substr(indent, rest - indent);
}

// Walks the lines of a command file with the section each stands in.
template <class F>
void each_line(const std::string& text, F&& f) {
  std::istringstream in(text);
  std::string line, section;
  while (std::getline(in, line)) {
    std::size_t indent = 0, rest = 0;
    const std::string w = first_word(line, indent, rest);
    if (w.rfind(">>", 0) == 0) section = w.substr(2);
    f(line, section, w, indent, rest);
  }
}

bool plain_name(const std::string& s) {
  if (s.empty() || s[0] == '.' || s[0] == '-') return false;
  for (char c : s) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.')
      return false;
  }
  return true;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw SetError{"'" + path + "': cannot be read"};
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

bool split_csv(const std::string& line, std::vector<std::string>& fields) {
  fields.assign(1, "");
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c != '\r') {
      fields.back() += c;
    }
  }
  for (std::string& f : fields) f = trimmed(f);
  return !quoted;
}

ScenarioSet read_set(const std::string& path) {
  ScenarioSet set;
  set.path = path;
  set.dir = fs::path(path).parent_path().string();
  if (set.dir.empty()) set.dir = ".";
  set.base = fs::path(path).stem().string();
  std::ifstream in(path);
  if (!in) throw SetError{"'" + path + "': cannot be read"};
  std::vector<std::string> head, f;
  std::set<std::string> names, folders;
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    ++n;
    const std::string t = trimmed(line);
    if (t.empty() || t[0] == '#') continue;
    if (!split_csv(line, f)) bad(path, n, "a quote is not closed");
    if (head.empty()) {
      head = f;
      for (const std::string& c : head) {
        if (c != "name" && c != "command" && c != "options" && c != "folder" &&
            c != "probability" && c.rfind("set:", 0) != 0)
          bad(path, n,
              "unknown column '" + c +
                  "' (name, command, options, folder, probability, set:SECTION.KEYWORD)");
        const std::size_t dot = c.find('.');
        if (c.rfind("set:", 0) == 0 &&
            (dot == std::string::npos || dot == 4 || dot + 1 == c.size()))
          bad(path, n, "column '" + c + "' is not set:SECTION.KEYWORD (set:global.kst)");
      }
      for (const char* need : {"name", "command"}) {
        if (std::find(head.begin(), head.end(), need) == head.end())
          bad(path, n, std::string("no column '") + need + "'");
      }
      continue;
    }
    if (f.size() != head.size())
      bad(path, n,
          std::to_string(f.size()) + " fields, the header has " + std::to_string(head.size()));
    Scenario s;
    s.line = n;
    for (std::size_t c = 0; c < head.size(); ++c) {
      const std::string& v = f[c];
      if (head[c] == "name") {
        if (!plain_name(v))
          bad(path, n, "scenario name '" + v + "' (letters, digits, '-', '_' and '.' only)");
        s.name = v;
      } else if (head[c] == "command") {
        if (v.empty()) bad(path, n, "no command file");
        s.command = (fs::path(set.dir) / v).lexically_normal().string();
      } else if (head[c] == "options") {
        s.options = v.empty() || v[0] == '@' ? v : "@" + v;
        if (s.options.find(' ') != std::string::npos)
          bad(path, n, "run options '" + v + "' hold a blank");
      } else if (head[c] == "folder") {
        s.folder = v;
      } else if (head[c] == "probability") {
        if (v.empty()) continue;
        if (!parse_real(v, s.probability) || !(s.probability >= 0 && s.probability <= 1))
          bad(path, n, "probability '" + v + "' is not a number from 0 to 1");
      } else if (!v.empty()) {
        const std::string key = head[c].substr(4);
        const std::size_t dot = key.find('.');
        s.values.push_back({key.substr(0, dot), key.substr(dot + 1), v});
      }
    }
    if (s.folder.empty()) s.folder = s.name;
    s.folder = (fs::path(set.dir) / s.folder).lexically_normal().string();
    if (!names.insert(s.name).second) bad(path, n, "scenario '" + s.name + "' is named twice");
    const std::string key = fs::weakly_canonical(s.folder).string();
    if (!folders.insert(key).second)
      bad(path, n, "folder '" + s.folder + "' is the folder of another scenario");
    if (fs::weakly_canonical(fs::path(s.command).parent_path().empty()
                                 ? fs::path(".")
                                 : fs::path(s.command).parent_path()) == key)
      bad(path, n, "folder '" + s.folder + "' is the folder of the command file");
    set.scenarios.push_back(std::move(s));
  }
  if (set.scenarios.empty()) throw SetError{"'" + path + "': no scenario"};
  const bool some = set.scenarios[0].probability >= 0;
  for (const Scenario& s : set.scenarios) {
    if ((s.probability >= 0) != some)
      bad(path, s.line, "a probability for every scenario or for none");
  }
  return set;
}

std::string replace_values(const std::string& text, const std::vector<Replacement>& values,
                           const std::string& file) {
  std::vector<int> used(values.size(), 0);
  std::string out;
  each_line(text, [&](const std::string& line, const std::string& section, const std::string& w,
                      std::size_t indent, std::size_t) {
    std::string l = line;
    for (std::size_t v = 0; v < values.size(); ++v) {
      if (section != values[v].section || w != values[v].keyword) continue;
      // Option blocks closed on the line stay closed.
      const std::string closing(static_cast<std::size_t>(std::count(line.begin(), line.end(), '}')),
                                '}');
      l = line.substr(0, indent) + w + " " + values[v].value +
          (closing.empty() ? "" : " " + closing);
      ++used[v];
    }
    out += l + "\n";
  });
  for (std::size_t v = 0; v < values.size(); ++v) {
    if (used[v] == 0)
      throw SetError{"set:" + values[v].section + "." + values[v].keyword + ": '" + file +
                     "' has no line '" + values[v].keyword + "' in >>" + values[v].section};
  }
  return out;
}

std::string keyword_value(const std::string& text, const std::string& section,
                          const std::string& keyword) {
  std::string found;
  each_line(text, [&](const std::string& line, const std::string& s, const std::string& w,
                      std::size_t, std::size_t rest) {
    if (!found.empty() || s != section || w != keyword) return;
    std::size_t i = 0, r = 0;
    std::string v = first_word(line.substr(rest), i, r);
    if (v.size() >= 2 && v.front() == '\'' && v.back() == '\'') v = v.substr(1, v.size() - 2);
    found = v;
  });
  return found;
}

Prepared prepare(const ScenarioSet& set, const Scenario& s) {
  Prepared p;
  const std::string text = read_file(s.command);
  const std::string copy = replace_values(text, s.values, s.command);
  p.command = fs::path(s.command).filename().string();
  p.result = keyword_value(copy, "output", "to");
  if (p.result.empty()) p.result = "dares";
  p.max_file = keyword_value(copy, "output", "max_values");
  double end = 0;
  if (parse_real(keyword_value(copy, "compute", "end"), end)) p.end = end;
  std::error_code ec;
  fs::create_directories(s.folder, ec);
  if (ec) throw SetError{"'" + s.folder + "': cannot be made: " + ec.message()};
  // The other files of the model's folder (grids, tables, includes) are
  // copied: a link would let the run write through it into the model.
  const fs::path model =
      fs::path(s.command).parent_path().empty() ? fs::path(".") : fs::path(s.command).parent_path();
  for (const auto& e : fs::directory_iterator(model, ec)) {
    const std::string n = e.path().filename().string();
    if (!e.is_regular_file() || n[0] == '.' || n == "out" || n == p.command ||
        n.rfind(p.result, 0) == 0 || (!p.max_file.empty() && n.rfind(p.max_file, 0) == 0) ||
        n.ends_with(".summary") || fs::equivalent(e.path(), set.path, ec))
      continue;
    fs::copy_file(e.path(), fs::path(s.folder) / n, fs::copy_options::update_existing, ec);
    if (ec) throw SetError{"'" + (fs::path(s.folder) / n).string() + "': " + ec.message()};
  }
  const std::string target = (fs::path(s.folder) / p.command).string();
  std::ofstream o(target + ".part", std::ios::binary);
  o << copy;
  o.close();
  if (!o || std::rename((target + ".part").c_str(), target.c_str()) != 0)
    throw SetError{"'" + target + "': cannot be written"};
  // A run starts cold: no warm-start marker of an earlier run.
  fs::remove(fs::path(s.folder) / ".hvx", ec);
  fs::remove(fs::path(s.folder) / "exit-status", ec);
  fs::remove(fs::path(s.folder) / "run.log", ec);
  return p;
}

}  // namespace qf::batch
