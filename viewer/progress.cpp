#include "viewer/progress.h"

#include <algorithm>
#include <cmath>

#include "graphics/dialog.h"
#include "io/channels.h"
#include "io/textio.h"
#include "viewer/contour.h"
#include "viewer/control.h"
#include "viewer/vector.h"

namespace qf {

namespace {

const char* const kFieldLabel[6] = {"Flow Depth [m]",  "Flow [m2/s]",   "Flow Velocity [m/s]",
                                    "Water Level [m]", "Bed Level [m]", "Flow Vectors [m2/s]"};

void set_int(Graphics& g, std::string_view name, int v) {
  float value = static_cast<float>(v);
  std::string text;
  grvalu(g, name, 1, value, text);
}

void set_origin(Graphics& g, const Model& m) {
  double xo = m.coin.x_origin, yo = m.coin.y_origin;
  std::string text;
  grvalu(g, "XORGR", 1, xo, text);
  grvalu(g, "YORGR", 1, yo, text);
}

// Node coordinates of the padded grid, relative to the origin.
void fill_coordinates(ProgressState& p, const Model& m) {
  const int nxx = m.coin1.nxx, nyy = m.coin1.nyy;
  const std::size_t nn = static_cast<std::size_t>(nxx) * static_cast<std::size_t>(nyy);
  p.xs.assign(nn, 0.0f);
  p.ys.assign(nn, 0.0f);
  p.fs.assign(nn, 0.0f);
  for (int j = 1; j <= nyy; ++j) {
    for (int i = 1; i <= nxx; ++i) {
      const std::size_t k = static_cast<std::size_t>(m.node(i, j));
      p.xs[k] = m.coin1.xc[i];
      p.ys[k] = m.coin1.yc[j];
    }
  }
}

std::string plot_text(const Model& m, int field) {
  std::string t(240, ' ');
  t.replace(0, std::min<std::size_t>(m.cochar.title.size(), 64), m.cochar.title.substr(0, 64));
  const std::string label = kFieldLabel[field - 1];
  t.replace(80, label.size(), label);
  t.replace(160, 3, "[m]");
  t.replace(200, 3, "[m]");
  return t;
}

void plot(Graphics& g, Viewer& v, ProgressState& p, const Model& m) {
  // The node coordinates are filled when the plot window is first used.
  const std::size_t nn = static_cast<std::size_t>(m.coin1.nxx) * m.coin1.nyy;
  if (p.xs.size() != nn) fill_coordinates(p, m);
  if (v.control.file.empty()) v.control.file = m.cochar.result_file;
  grcler(g, 1);
  p.texts = plot_text(m, p.field);
  const int nxx = m.coin1.nxx, nyy = m.coin1.nyy;
  if (p.field <= 5) {
    progress_values(m, p.field, p.fs);
    int options = p.field != p.last_field ? 6 : 2;
    grcont(g, v, p.xs.data(), p.ys.data(), p.fs.data(), nxx, nyy, nxx, nyy, p.texts,
           p.levels.data(), p.plot_index, options, -9999.0f);
  } else {
    // The arrows of the run's window are the unit discharges q and r.
    v.vector.components = " (qx,qy) [m2/s]:";
    grvect(g, v, p.xs.data(), p.ys.data(), m.f.q.data(), m.f.r.data(), nxx, nyy, nxx, nyy,
           p.plot_index, p.texts);
  }
  p.last_field = p.field;
  set_int(g, "IN15GR", 1);
  ++p.plots;
}

void text_at(Graphics& g, float x, float y, const std::string& s) {
  grmov2(g, x, y);
  granot(g, s, 0);
}

// The panel with the progress bar below it (done: the share of the run
// done, 0..1000). In the plot window it stands inside the frame of the
// plot, 2 pixels from its lower left corner, clear of the axis labels.
void panel(Graphics& g, const ProgressState& p, const Model& m, int step, int expected, int done) {
  const Coin& c = m.coin;
  // The frame's lower left corner in window pixels (the plot's origin).
  const float frame_x = g.n.XORGGR, frame_y = g.n.YORGGR;
  const bool in_frame = p.plot_window && g.pen.user_coords;
  float in = c.boundary_flow[0] + c.boundary_flow[2] + c.boundary_flow[4] + c.boundary_flow[6];
  float out = c.boundary_flow[1] + c.boundary_flow[3] + c.boundary_flow[5] + c.boundary_flow[7];
  for (const float s : m.f.src) {
    if (s > 0) in += c.cell_area * s;
    if (s < 0) out += c.cell_area * s;
  }
  grclip(g, 0);
  if (in_frame) {
    g.n.XORGGR = frame_x + 12;
    g.n.YORGGR = frame_y - 22;
  }
  // In the plot window the box takes the percentage right of the bar too.
  const float right = p.plot_window ? 240.0f : 210.0f;
  const float bx[4] = {-10, right, right, -10}, by[4] = {-20, -20, 110, 110};
  grfil2(g, bx, by, 4, -2);
  if (p.plot_window) {
    grfram(g, bx, by, 4, 0);
  } else {
    // The percentage right of the progress bar is written over the last
    // one; in the small window nothing else clears it.
    const float px[4] = {203, 240, 240, 203}, py[4] = {-15, -15, 0, 0};
    grfil2(g, px, py, 4, -2);
  }
  grcolr(g, 0);
  text_at(g, 0, 95, m.cochar.title.substr(0, 34));
  grmov2(g, -5, 93);
  grdrw2(g, 200, 93);
  text_at(g, 0, 75, "Step.....  Time.....  Timestep..");
  text_at(g, 0, 65, progress_time_line(step, c.time, c.dt));
  text_at(g, 0, 50, "Stored...  Wetted...  CFL-Cell.");
  const int nn = std::max(m.coin1.nn, 1);
  const long long wet = 100LL * m.coin1.nwet / nn;
  text_at(g, 0, 40,
          progress_stored_line(m.coin1.result_count, expected, wet, m.coin1.cfl_cell[0],
                               m.coin1.cfl_cell[1]));
  text_at(g, 0, 25, "Inflow...  Outflow.. Balance/cms");
  text_at(g, 0, 15, fmt_f(in, 9, 1) + fmt_f(-out, 11, 1) + fmt_f(in + out, 11, 1));
  if (p.plot_window) text_at(g, 0, 5, std::string(static_cast<std::size_t>(p.plots % 32), '.'));
  grdump(g);
  grbeam(g, -1, 0, "");
  grbeam(g, done, 1000, "");
  grclip(g, 1);
}

std::string label16(std::string s) {
  s.resize(16, ' ');
  return s;
}

void progress_window(Graphics& g, Viewer& v, ProgressState& p, Model& m, int step, int nplot,
                     int& expected, std::string_view version, const ProgressActions& act) {
  if (step == 0) {
    grinit(g, 5, p.listing, version, "out", 1);
    set_int(g, "IN15GR", 1);
    p.xs.clear();
  }
  if (nplot < 1) nplot = 1;
  const bool due = step % nplot == 0;
  const double now = act.clock ? act.clock() : 0.0;
  const double gap = std::max(p.min_interval, 9.0 * p.draw_cost);
  const bool draw = due && (step == 0 || now - p.last_draw >= gap);
  // Between drawings only a pending key or click is answered.
  if (!draw && !grxpnd(g.x)) return;
  bool redraw = draw;
  for (;;) {
    if (redraw) {
      const double start = act.clock ? act.clock() : 0.0;
      if (p.plot_window) plot(g, v, p, m);
      panel(g, p, m, step, expected,
            static_cast<int>(
                std::clamp(1000.0 * m.coin.time / std::max(m.coin.time_end, 1e-6f), 0.0, 999.0)));
      p.last_draw = act.clock ? act.clock() : 0.0;
      p.draw_cost = p.last_draw - start;
    }
    redraw = true;
    int answer = 100;
    float cx = 0, cy = 0;
    if (p.plot_window) {
      std::string labels[9];
      for (int i = 0; i < 9; ++i) labels[i] = label16(std::string(kPlotWindowMenu[i]));
      labels[p.field - 1][0] = '-';
      grcurs(g, 9, labels, answer, cx, cy);
      if (answer == 0) return;
      if (answer >= 1 && answer <= 6) {
        p.field = answer;
      } else if (answer == 8) {
        set_int(g, "IN15GR", 0);
      } else if (answer == 9) {
        grclos(g);
        grinit(g, 5, p.listing, version, "out", 1);
        set_int(g, "IN15GR", 1);
        p.plot_window = false;
        p.plots = 0;
      } else if (answer < 0) {
        redraw = false;  // a pan of the plot: nothing of the run changed
      }
    } else {
      std::string labels[5];
      for (int i = 0; i < 5; ++i) labels[i] = label16(std::string(kProgressMenu[i]));
      if (!m.clog.warm_started) labels[1][0] = '-';
      grcurs(g, 5, labels, answer, cx, cy);
      if (answer == 0) return;
      if (answer == 1) {
        const bool saved = !act.save || act.save();
        grmesg(g, " ");
        // The record is in the result file either way; the marker may not be.
        m.coin1.result_count += 1;
        expected += 1;
        if (saved) {
          grmesg(g, "Results saved for warm start");
          m.clog.warm_started = true;
        } else {
          grmesg(g, "warm start marker .hvx could not be written");
        }
      } else if (answer == 2) {
        if (!act.reset || act.reset()) {
          grmesg(g, "warm start data removed");
          m.clog.warm_started = false;
        } else {
          grmesg(g, "warm start marker .hvx could not be written");
        }
      } else if (answer == 3) {
        grclos(g);
        grinit(g, 5, p.listing, version, "out", 0);
        p.plot_window = true;
        set_int(g, "IN15GR", 1);
        set_origin(g, m);
      } else if (answer == 4) {
        if (act.help) act.help();
      } else if (answer == 5) {
        m.coin.time_end = m.coin.time - 1;
        p.left = true;
        return;
      } else {
        redraw = false;
      }
    }
  }
}

}  // namespace

void wprog(Graphics& g, Viewer& v, ProgressState& p, Model& m, int step, int nplot, int& expected,
           std::string_view version, const ProgressActions& act) {
  if (m.clog.quiet) return;
  progress_window(g, v, p, m, step, nplot, expected, version, act);
  if (!g.x.lost || p.lost) return;
  p.lost = true;
  const std::string note =
      " >X connection lost at step " + std::to_string(step) + ": the run ends with its results";
  if (g.io != nullptr) {
    g.io->line(Channels::screen, note);
    if (g.io->is_open(p.listing)) g.io->line(p.listing, note);
  } else {
    *g.out << note << '\n';
  }
  if (act.lost) act.lost();
}

void wprog_end(Graphics& g, Viewer& v, ProgressState& p, Model& m, int step, int expected) {
  if (m.clog.quiet || !grxlive(g.x)) return;
  if (p.plot_window) plot(g, v, p, m);
  panel(g, p, m, step, expected, 999);
  grflip(g);
  grmesg(g, "run ended: a key or a click closes the window");
  const std::string labels[1] = {label16(" XeXit")};
  int answer = 0;
  float cx = 0, cy = 0;
  grcurs(g, 1, labels, answer, cx, cy);
  grclos(g);
}

std::string progress_time_line(int step, float time, float dt) {
  const double t = time;
  const int h = static_cast<int>(t);
  const double minutes = 60.0 * (t - h);
  const int mi = static_cast<int>(minutes);
  const int se = static_cast<int>(60.0 * (minutes - mi));
  if (h > 0)
    return fmt_i(step, 9) + fmt_i(h, 7) + "h" + fmt_i(mi, 2) + "'" + fmt_f(dt, 11, 2) + "S";
  return fmt_i(step, 9) + fmt_i(h, 4) + "h" + fmt_i(mi, 2) + "'" + fmt_i(se, 2) + "S" +
         fmt_f(dt, 11, 2) + "S";
}

std::string progress_stored_line(int stored, int expected, long long wet_percent, int cfl_i,
                                 int cfl_j) {
  // Right-aligned in columns 1-9, 10-20, 21-26 and 28-31 as long as the
  // numbers fit; a longer one is written whole, one blank from the last.
  auto right = [](const std::string& s, std::size_t w, bool blank) {
    if (s.size() < w) return std::string(w - s.size(), ' ') + s;
    return blank ? " " + s : s;
  };
  std::string line = right(bare(fmt_i(stored, 11)) + "/" + bare(fmt_i(expected, 11)), 9, false);
  line += right(bare(fmt_i(wet_percent, 20)) + "%", line.size() < 18 ? 20 - line.size() : 2, true);
  line += right(bare(fmt_i(cfl_i, 11)), 6, true) + "/" + right(bare(fmt_i(cfl_j, 11)), 4, false);
  return line;
}

void progress_values(const Model& m, int field, std::vector<float>& values) {
  const FlowValues& f = m.f;
  const std::size_t nn = values.size();
  const float hdry = m.coin.hdry;
  for (std::size_t k = 0; k < nn; ++k) {
    const float q = f.q[k], r = f.r[k], h = f.h[k];
    float v = 0;
    switch (field) {
      case 1:
        v = h;
        break;
      case 2:
        v = h > hdry ? std::sqrt(q * q + r * r) : -99999.0f;
        break;
      case 3:
        v = h > hdry ? std::sqrt(q * q + r * r) / h : -99999.0f;
        break;
      case 4:
        v = h > hdry ? f.zb[k] + h : -99999.0f;
        break;
      default:
        v = f.zb[k];
        break;
    }
    // Nodes outside the model are left empty in every field.
    if (!f.outside.empty() && f.outside[k]) v = -99999.0f;
    values[k] = v;
  }
}

}  // namespace qf
