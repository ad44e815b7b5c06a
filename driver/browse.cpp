#include "driver/browse.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

#include "driver/run.h"
#include "graphics/dialog.h"
#include "io/stop.h"
#include "io/textio.h"
#include "model/memory.h"
#include "model/resultfile.h"
#include "output/hazard.h"
#include "viewer/contour.h"
#include "viewer/control.h"
#include "viewer/empty_nodes.h"
#include "viewer/readout.h"

namespace qf {

namespace {

constexpr const char* kHazardItem = "Hazard Rating [-]";

// What is shown: node coordinates relative to the origin and the values
// of every record and item, read on demand.
struct Browsed {
  int nx = 0, ny = 0;
  double x_origin = 0, y_origin = 0;
  std::string title;
  std::vector<float> xs, ys, fs;
  std::vector<std::string> items;  // labels without the key letter
  std::vector<float> times;        // one per record; empty for a grid
  float no_data = -9999.0f;
  ResultReader file;
  // Nodes outside the model (walls), found in the bed or water levels, and
  // the depths of the record shown when the file holds them.
  std::vector<std::uint8_t> outside;
  std::vector<float> depth;
  int depth_item = -1;
  // Velocity components of the record shown, drawn as arrows over the items
  // that need water when the file holds both; empty otherwise.
  std::vector<float> u, v;
  int u_item = -1, v_item = -1;
  // The hazard rating, an item the file does not store: worked out from
  // the depth and the speed (or both velocity components) of the record.
  int speed_item = -1, hazard_item = -1;
};

int find_item(const Browsed& b, std::string_view name) {
  for (std::size_t k = 0; k < b.items.size(); ++k)
    if (b.items[k].starts_with(name)) return static_cast<int>(k);
  return -1;
}

std::string item_name(const std::string& label) {
  // " DFlow Depth [m]": a blank, the key letter, then the name.
  return std::string(trim_right(label.size() > 2 ? label.substr(2) : label));
}

bool open_result(Browsed& b, const std::string& path, std::string& why) {
  if (!b.file.open(path, &why)) return false;
  const ResultHeader& h = b.file.header();
  const int n = b.file.item_count();
  const std::vector<std::string>& labels = b.file.labels();
  if (!b.file.labelled() || n < 1) {
    why = "no item labels";
    return false;
  }
  b.nx = h.nx;
  b.ny = h.ny;
  b.x_origin = h.x_origin;
  b.y_origin = h.y_origin;
  b.title = std::string(trim_right(h.title));
  for (int k = 1; k <= n && k < static_cast<int>(labels.size()); ++k)
    b.items.push_back(item_name(labels[static_cast<std::size_t>(k)]));
  b.fs.assign(static_cast<std::size_t>(b.nx) * static_cast<std::size_t>(b.ny), 0.0f);
  if (!b.file.coordinates(b.xs, b.ys)) {
    why = "coordinate records cut short";
    return false;
  }
  b.depth_item = find_item(b, "Flow Depth");
  b.u_item = find_item(b, "X-Velocity");
  b.v_item = find_item(b, "Y-Velocity");
  b.speed_item = find_item(b, "Flow Velocity");
  if (b.depth_item >= 0 && (b.speed_item >= 0 || (b.u_item >= 0 && b.v_item >= 0))) {
    b.hazard_item = static_cast<int>(b.items.size());
    b.items.push_back(kHazardItem);
  }
  b.file.scan();
  b.times = b.file.times();
  if (b.times.empty()) {
    why = "no complete record";
    return false;
  }
  return true;
}

bool read_item(Browsed& b, int rec, int item, std::vector<float>& out) {
  const std::size_t nxs = static_cast<std::size_t>(b.nx);
  if (item == b.hazard_item) {
    std::vector<float> d, s, w;
    if (!read_item(b, rec, b.depth_item, d)) return false;
    if (b.speed_item >= 0) {
      if (!read_item(b, rec, b.speed_item, s)) return false;
    } else {
      if (!read_item(b, rec, b.u_item, s) || !read_item(b, rec, b.v_item, w)) return false;
      for (std::size_t k = 0; k < s.size(); ++k) s[k] = std::hypot(s[k], w[k]);
    }
    out.resize(d.size());
    for (std::size_t k = 0; k < d.size(); ++k)
      out[k] = hazard_rating(std::max(d[k], 0.0f), std::fabs(s[k]));
    return true;
  }
  out.resize(nxs * static_cast<std::size_t>(b.ny));
  for (int j = 1; j <= b.ny; ++j) {
    if (!b.file.read_item(rec, item, j, std::span(out).subspan((j - 1) * nxs, nxs))) return false;
  }
  return true;
}

// The values of an item in a record; dry nodes (of the items that need
// water) and the nodes outside the model are left empty.
bool load_record(Browsed& b, int rec, int item) {
  if (!read_item(b, rec, item, b.fs)) return false;
  if (b.outside.empty()) {
    // The walls are at the same level in every record: the bed or, without
    // it, the water level of the first record shown tells them.
    int level = find_item(b, "Bed Level");
    if (level < 0) level = find_item(b, "Water Level");
    std::vector<float> z;
    if (level >= 0 && read_item(b, rec, level, z)) b.outside = wall_nodes(z);
  }
  const bool wet_only = wet_only_item(b.items[static_cast<std::size_t>(item)]);
  const bool depth = wet_only && b.depth_item >= 0 && read_item(b, rec, b.depth_item, b.depth);
  blank_nodes(b.fs, b.outside, depth ? &b.depth : nullptr, wet_only, kDryDepth, b.no_data);
  b.u.clear();
  b.v.clear();
  if (wet_only && b.u_item >= 0 && b.v_item >= 0 && read_item(b, rec, b.u_item, b.u) &&
      read_item(b, rec, b.v_item, b.v)) {
    blank_nodes(b.u, b.outside, depth ? &b.depth : nullptr, true, kDryDepth, b.no_data);
    blank_nodes(b.v, b.outside, depth ? &b.depth : nullptr, true, kDryDepth, b.no_data);
  } else {
    b.u.clear();
    b.v.clear();
  }
  return true;
}

// True when the first word of the file that is not a comment is a word of a
// grid header: a command file or any other text is then not read as a grid
// (its keywords would each be reported as unknown).
bool starts_like_grid(Channels& io, const std::string& path) {
  static constexpr std::string_view kHeads[] = {
      "nx", "ny", "ncols",    "nrows",        "xllcorner", "yllcorner", "xllcenter", "yllcenter",
      "dx", "dy", "cellsize", "nodata_value", "item",      "rotate",    ">>grid"};
  if (!io.open_read(ch::aux, path)) return false;
  std::string line, word;
  while (io.read_line(ch::aux, line) == 0) {
    if (line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);  // UTF-8 byte-order mark
    const std::size_t p = line.find_first_not_of(" \t\r");
    if (p == std::string::npos || line[p] == '/' || line[p] == '#') continue;
    const std::size_t e = line.find_first_of(" \t\r,", p);
    word = line.substr(p, e == std::string::npos ? std::string::npos : e - p);
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    break;
  }
  io.close(ch::aux);
  return std::find(std::begin(kHeads), std::end(kHeads), word) != std::end(kHeads);
}

// Reads a grid as the run reads it; a grid the run would refuse (a value
// or header word that is not a number, fewer or more values than its size,
// a cell size not above 0) is refused here too, after the reader's messages.
bool open_grid(Session& s, Browsed& b, const std::string& path, std::string& why) {
  if (!starts_like_grid(s.io, path)) return false;
  if (!s.io.open_read(ch::aux, path)) {
    why = "cannot be read";
    return false;
  }
  GridData g;
  g.dx = g.dy = 1;
  int input = ch::aux;
  const int errors = s.msg.errors();
  try {
    iigrid(s.rd, s.io, input, ch::listing, nodes_that_fit(memory_room().bytes, 16), g);
  } catch (const Stop&) {
    s.io.close(ch::aux);
    why = "unreadable";
    return false;
  }
  s.io.close(ch::aux);
  if (g.nx <= 0 || g.ny <= 0 || g.values.size() < static_cast<std::size_t>(g.nx) * g.ny) {
    why = "empty or too large";
    return false;
  }
  if (s.msg.errors() > errors) {
    why = "see the error above";
    return false;
  }
  if (!(g.dx > 0) || !(g.dy > 0)) {
    auto bare = [](float v) {
      const std::string f = fmt_f(v, 14, 3);
      return f.substr(std::min(f.find_first_not_of(' '), f.size()));
    };
    why = "cell size " + bare(g.dx) + " x " + bare(g.dy) + " m";
    return false;
  }
  b.nx = g.nx;
  b.ny = g.ny;
  b.x_origin = g.x_origin;
  b.y_origin = g.y_origin;
  b.title = path;
  b.items.push_back(grid_item_label(g.item));
  b.no_data = g.no_data;
  const std::size_t nn = static_cast<std::size_t>(b.nx) * static_cast<std::size_t>(b.ny);
  b.xs.resize(nn);
  b.ys.resize(nn);
  b.fs = g.values;
  b.fs.resize(nn);
  for (int j = 0; j < b.ny; ++j) {
    for (int i = 0; i < b.nx; ++i) {
      const std::size_t k = static_cast<std::size_t>(i + j * b.nx);
      b.xs[k] = static_cast<float>(i) * g.dx;
      b.ys[k] = static_cast<float>(j) * g.dy;
      // The viewer leaves values not above its no-data value + 0.1 empty.
      if (b.fs[k] == g.no_data) b.fs[k] = -9999.0f;
    }
  }
  b.no_data = -9999.0f;
  return true;
}

std::string texts_of(const Browsed& b, int rec, int item) {
  std::string t(240, ' ');
  t.replace(0, std::min<std::size_t>(b.title.size(), 80), b.title.substr(0, 80));
  std::string sub = b.items[static_cast<std::size_t>(item)];
  if (!b.times.empty()) {
    sub += "   t =" + fmt_f(b.times[static_cast<std::size_t>(rec - 1)], 10, 3) + " h   (record " +
           std::to_string(rec) + " of " + std::to_string(b.times.size()) + ")";
  }
  t.replace(80, std::min<std::size_t>(sub.size(), 80), sub.substr(0, 80));
  t.replace(160, 3, "[m]");
  t.replace(200, 3, "[m]");
  return t;
}

std::string label16(std::string s) {
  s.resize(16, ' ');
  return s;
}

}  // namespace

int record_at_time(std::string_view answer, const std::vector<float>& times, int rec,
                   std::string& why) {
  why.clear();
  const std::string_view t = trim_right(answer);
  const std::size_t b = t.find_first_not_of(' ');
  if (b == std::string_view::npos || times.empty()) return rec;
  float want = 0;
  if (!parse_float(t.substr(b), want)) {
    why = "Time [h]: '" + std::string(t.substr(b)) + "' is not a number";
    return rec;
  }
  int best = 1;
  for (int k = 1; k <= static_cast<int>(times.size()); ++k) {
    if (std::fabs(times[static_cast<std::size_t>(k - 1)] - want) <
        std::fabs(times[static_cast<std::size_t>(best - 1)] - want))
      best = k;
  }
  return best;
}

int browse(Session& s, const std::string& path) {
  auto held = std::make_unique<Browsed>();
  std::string why;
  const bool result = open_result(*held, path, why);
  if (!result) {
    held = std::make_unique<Browsed>();
    std::string why_grid;
    if (!open_grid(s, *held, path, why_grid)) {
      if (why_grid.empty())
        s.io.line(ch::screen, " >'" + path + "' is neither a result file nor a grid");
      else
        s.io.line(ch::screen, " >grid '" + path + "' refused (" + why_grid + "): nothing shown");
      return exit_input;
    }
  }
  Browsed& b = *held;
  Graphics& g = s.graphics;
  Viewer& v = s.viewer;
  g.io = nullptr;  // the run's listing is not touched: messages go to the terminal
  grinit(g, 5, ch::listing, version_string, "out", 0);
  v.control.file = path;
  double xo = b.x_origin, yo = b.y_origin;
  std::string text;
  grvalu(g, "XORGR", 1, xo, text);
  grvalu(g, "YORGR", 1, yo, text);
  std::vector<float> levels(kLevelRoom, 0.0f);
  // The last record first: the state the run ended with, whose range of
  // values also gives levels that serve the records before it.
  const int records = std::max<int>(1, static_cast<int>(b.times.size()));
  int rec = records, item = 0, options = 6;
  bool load = true;
  // Play steps on by one record whenever the menu finds no key or click
  // waiting, until the last record or Pause.
  bool playing = false;
  for (;;) {
    if (load && result && !load_record(b, rec, item)) {
      grmesg(g, "record " + std::to_string(rec) + " cannot be read");
      rec = 1;
    }
    load = false;
    std::string texts = texts_of(b, rec, item);
    const bool arrows = !b.u.empty() && b.u.size() == b.fs.size() && b.v.size() == b.fs.size();
    v.contour.arrow_u = arrows ? b.u.data() : nullptr;
    v.contour.arrow_v = arrows ? b.v.data() : nullptr;
    float in15 = 1;
    grvalu(g, "IN15GR", 1, in15, text);
    grcler(g, 1);
    grcont(g, v, b.xs.data(), b.ys.data(), b.fs.data(), b.nx, b.ny, b.nx, b.ny, texts,
           levels.data(), -1, options, b.no_data);
    options = 2;
    std::string labels[10] = {label16(" FFirst"),
                              label16(" PPrevious"),
                              label16(" NNext"),
                              label16(" LLast"),
                              label16(" IItem"),
                              label16(" TTime"),
                              label16(playing ? " APause" : " APlay"),
                              label16(" SStreamline"),
                              label16(" VView"),
                              label16(" XeXit")};
    if (!result) {
      for (int k = 0; k < 7; ++k) labels[k][0] = '-';
    }
    if (b.u_item < 0 || b.v_item < 0) labels[7][0] = '-';  // no velocities, no streamlines
    int answer = playing ? 100 : 0;
    float cx = 0, cy = 0;
    // The pointer reads the item off the plot as it moves.
    const std::string& shown = b.items[static_cast<std::size_t>(item)];
    if (playing) grpause(g, 5);
    grcurs(g, 10, labels, answer, cx, cy, [&](float px, float py) {
      return grreadout(g, b.xs.data(), b.ys.data(), b.fs.data(), b.nx, b.nx, b.ny, b.no_data, shown,
                       px, py);
    });
    const int before_rec = rec, before_item = item;
    if (playing && answer == 0 && grdlgon(g)) answer = 3;  // nothing pressed: the next record
    if (answer != 3 && answer != 7) playing = false;
    switch (answer) {
      case 1:
        rec = 1;
        break;
      case 2:
        rec = std::max(1, rec - 1);
        break;
      case 3:
        rec = std::min(records, rec + 1);
        break;
      case 4:
        rec = records;
        break;
      case 5:
        item = (item + 1) % static_cast<int>(b.items.size());
        break;
      case 6: {
        // The prompt starts empty: typed text is the whole answer.
        std::string typed(20, ' ');
        grinpa(g, "Time [h]> ", typed);
        rec = record_at_time(typed, b.times, rec, why);
        if (!why.empty()) grmesg(g, why);
        break;
      }
      case 7:
        playing = !playing && rec < records;
        break;
      case 8:
        v.contour.streamlines = !v.contour.streamlines;
        grmesg(g, v.contour.streamlines ? "streamlines on" : "streamlines off");
        break;
      case 9: {
        float in15off = 0;
        grvalu(g, "IN15GR", 1, in15off, text);
        grcler(g, 1);
        grcont(g, v, b.xs.data(), b.ys.data(), b.fs.data(), b.nx, b.ny, b.nx, b.ny, texts,
               levels.data(), -1, options, b.no_data);
        break;
      }
      case 10:
        grclos(g);
        return exit_complete;
      default:
        break;
    }
    if (rec == records) playing = false;
    if (rec != before_rec || item != before_item) load = true;
    if (item != before_item) options = 6;  // new levels for another quantity
    if (answer == 0 && !grdlgon(g)) {
      // The window is gone and no command is queued: nothing more to show.
      const bool lost = g.x.lost;
      grclos(g);
      if (!lost) return exit_complete;
      s.io.line(ch::screen, " >X connection lost: '" + path + "' no longer shown");
      return exit_display_lost;
    }
  }
}

}  // namespace qf
