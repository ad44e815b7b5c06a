#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "batch/batch.h"
#include "io/textio.h"

namespace qf::batch {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

std::string left(const std::string& s, std::size_t w) {
  return s.size() >= w ? s + " " : s + std::string(w - s.size(), ' ');
}

std::string right(const std::string& s, std::size_t w) {
  return s.size() >= w ? " " + s : std::string(w - s.size(), ' ') + s;
}

}  // namespace

std::string status_text(int s) {
  if (s < 0) return "not finished";
  if (s == 0) return "complete";
  if (s == 1) return "input error";
  if (s == 3) return "unstable";
  if (s == 128 + SIGINT) return "stopped (SIGINT)";
  if (s == 128 + SIGTERM) return "stopped (SIGTERM)";
  if (s > 256) return "killed (signal " + std::to_string(s - 256) + ")";
  return "status " + std::to_string(s);
}

Outcome read_outcome(const std::string& folder, const std::string& result) {
  Outcome o;
  const fs::path dir(folder);
  std::ifstream st(dir / "exit-status");
  long long code = 0;
  std::string text;
  if (st >> text && parse_int(text, code)) {
    o.exit_status = static_cast<int>(code);
    o.status = status_text(o.exit_status);
  } else if (fs::exists(dir / "run.log")) {
    o.status = "not finished";
  } else {
    return o;  // not started: what the folder holds is of an earlier run
  }
  // " >water balance [m3] after 16407 steps, wall time 2.0 s on ..."
  std::ifstream log(dir / "run.log");
  for (std::string line; std::getline(log, line);) {
    const std::vector<std::string> w = words(line);
    for (std::size_t i = 0; i + 1 < w.size(); ++i) {
      long long n = 0;
      double t = 0;
      if (w[i] == "after" && i + 2 < w.size() && w[i + 2].rfind("steps", 0) == 0 &&
          parse_int(w[i + 1], n))
        o.steps = static_cast<long>(n);
      if (w[i] == "time" && i > 0 && w[i - 1] == "wall" && parse_real(w[i + 1], t)) o.wall = t;
    }
  }
  // The last line of the water balance.
  std::ifstream mass(dir / (result + ".mass"));
  std::string line, last;
  std::vector<std::string> head;
  if (std::getline(mass, line)) head = words(line);
  while (std::getline(mass, line)) {
    if (!words(line).empty()) last = line;
  }
  const std::vector<std::string> v = words(last);
  for (std::size_t i = 0; i < head.size() && i < v.size(); ++i) {
    if (head[i] == "error_pct") o.has_balance = parse_real(v[i], o.error_pct);
  }
  // The highest depth of each gauge ("name depth_m" columns).
  std::ifstream gauges(dir / (result + ".gauges.csv"));
  std::vector<std::string> cols;
  if (std::getline(gauges, line)) {
    std::stringstream in(line);
    for (std::string c; std::getline(in, c, ',');) cols.push_back(c);
  }
  for (const std::string& c : cols) {
    if (c.size() > 8 && c.ends_with(" depth_m"))
      o.peak_depth.emplace_back(c.substr(0, c.size() - 8), -1.0);
  }
  while (std::getline(gauges, line)) {
    std::stringstream in(line);
    std::size_t k = 0, g = 0;
    for (std::string c; std::getline(in, c, ','); ++k) {
      if (k >= cols.size() || !cols[k].ends_with(" depth_m")) continue;
      double d = 0;
      if (parse_real(c, d) && d > o.peak_depth[g].second) o.peak_depth[g].second = d;
      ++g;
    }
  }
  return o;
}

std::string summary_table(const ScenarioSet& set, const std::vector<Outcome>& outcomes) {
  std::size_t wn = 8;
  for (const Scenario& s : set.scenarios) wn = std::max(wn, s.name.size() + 1);
  // One column per gauge, in the order the first scenario with gauges has them.
  std::vector<std::string> gauges;
  for (const Outcome& o : outcomes) {
    if (gauges.empty())
      for (const auto& g : o.peak_depth) gauges.push_back(g.first);
  }
  std::string s = left("scenario", wn) + left("status", 18) + right("steps", 10) +
                  right("wall [s]", 10) + right("balance [%]", 13);
  for (const std::string& g : gauges)
    s += right(g + " [m]", std::max<std::size_t>(12, g.size() + 5));
  s += '\n';
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const Outcome& o = outcomes[i];
    s += left(set.scenarios[i].name, wn) + left(o.status, 18);
    s += right(o.steps >= 0 ? bare(fmt_i(o.steps, 12)) : "-", 10);
    s += right(o.wall >= 0 ? bare(fmt_f(o.wall, 14, 1)) : "-", 10);
    s += right(o.has_balance ? bare(fmt_e(o.error_pct, 14, 3)) : "-", 13);
    for (const std::string& g : gauges) {
      std::string v = "-";
      for (const auto& [name, d] : o.peak_depth) {
        if (name == g && d >= 0) v = bare(fmt_f(d, 12, 3));
      }
      s += right(v, std::max<std::size_t>(12, g.size() + 5));
    }
    s += '\n';
  }
  return s;
}

}  // namespace qf::batch
