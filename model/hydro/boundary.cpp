// Boundary ring of the flow step: closing of the ring as a wall, the five
// boundary types (water level, weir, inflow hydrograph, normal-flow outflow,
// tide with a proportional-integral discharge response), their time series,
// and the table lookup and critical-depth helpers they share with the
// structures.
#include "model/hydro/boundary.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "io/textio.h"
#include "model/hydro/friction.h"
#include "model/hydro/structure_kernels.h"

namespace qf {

namespace {

// Integer held in a table cell (codes, counts, node indices).
int table_int(float x) {
  if (!std::isfinite(x)) return 0;
  if (x > 2.0e9f) return 2000000000;
  if (x < -2.0e9f) return -2000000000;
  return static_cast<int>(std::lround(x));
}

// The least unit discharge [m2/s] of a ring node that the solver carries
// over the node's face as it is; below it the face takes the flux the ring
// state and the node beside it give.
constexpr float kImposed = 0.0001f;

// Bracket moves of the inflow search: 4 m each. A hydrograph the boundary
// cannot carry even this high (no slope, no conveyance) stops the search.
constexpr int kMaxInflowMoves = 100;

bool grid_ready(const Model& m) {
  const Coin1& c1 = m.coin1;
  return m.f.allocated && c1.nxx >= 3 && c1.nyy >= 3 &&
         static_cast<long>(c1.nxx) * c1.nyy == static_cast<long>(c1.nn) &&
         m.f.h.size() >= static_cast<std::size_t>(c1.nn);
}

// An inflow across the whole end of a channel as wide as the grid also
// takes the side ring nodes of the end's two corner cells, which would feed
// the channel sideways (in a channel 3 cells wide, 2 of 5 nodes). Where two
// nodes of an inflow share their inward cell, the one on the side with fewer
// of the inflow's nodes is dropped; on a tie both stay.
void end_only(std::vector<BoundaryNode>& nodes, std::size_t first) {
  std::array<int, 5> per_side{};
  for (std::size_t k = first; k < nodes.size(); ++k) {
    ++per_side[static_cast<std::size_t>(nodes[k].side)];
  }
  auto count = [&](int side) { return per_side[static_cast<std::size_t>(side)]; };
  auto side_node = [&](const BoundaryNode& n) {
    for (std::size_t k = first; k < nodes.size(); ++k) {
      const BoundaryNode& o = nodes[k];
      if (o.in == n.in && o.side != n.side && count(o.side) > count(n.side)) return true;
    }
    return false;
  };
  std::vector<BoundaryNode> kept;
  for (std::size_t k = first; k < nodes.size(); ++k) {
    if (!side_node(nodes[k])) kept.push_back(nodes[k]);
  }
  nodes.resize(first);
  nodes.insert(nodes.end(), kept.begin(), kept.end());
}

bool position_valid(const Model& m, int side, int pos) {
  switch (side) {
    case side_west:
    case side_east:
      return pos >= 1 && pos <= m.coin1.nyy;
    case side_south:
    case side_north:
      return pos >= 1 && pos <= m.coin1.nxx;
    default:
      return false;
  }
}

void add_boundary_block(Model& m, BoundaryWork& b, int type, int row, int len) {
  const std::vector<float>& ta = m.coin.table_a;
  const std::vector<float>& tb = m.coin.table_b;
  BoundaryBlock blk;
  blk.type = type;
  blk.row = row;
  blk.first_node = static_cast<int>(b.nodes.size());
  if (len < 6) return;  // not even the head rows and the cell count: no boundary
  blk.channel = std::max(table_int(ta[row + 3]), 0);
  blk.series_count = std::clamp(table_int(tb[row + 4]), 0, len - 5);
  blk.series_row = row + 5;
  const int n = blk.series_count;
  const int count_row = row + 5 + n;  // row 6 + n of the block
  int cells = 0;
  if (6 + n <= len) cells = std::clamp(table_int(ta[count_row]), 0, len - 6 - n);
  // A tide keeps one integral state per node in the rows behind the nodes.
  if (type == bt_tide) cells = std::min(cells, (len - 6 - n) / 2);
  const bool on_grid = grid_ready(m);
  for (int c = 0; c < cells; ++c) {
    const int r = count_row + 1 + c;
    const int side = table_int(ta[r]);
    const int pos = table_int(tb[r]);
    if (!on_grid || !position_valid(m, side, pos)) continue;
    // A corner of the ring has no face with a real cell: the solver carries
    // nothing over it, and a share of an inflow given to it would be lost.
    const int last = side <= side_east ? m.coin1.nyy : m.coin1.nxx;
    if (pos == 1 || pos == last) continue;
    const RingNode rn = gtindx(m, side, pos);
    BoundaryNode node;
    node.side = side;
    node.b = rn.b - 1;
    node.in = rn.in - 1;
    node.in2 = rn.in2 - 1;
    node.state_row = count_row + 1 + cells + c;
    b.nodes.push_back(node);
  }
  if (type == bt_inflow) end_only(b.nodes, static_cast<std::size_t>(blk.first_node));
  blk.node_count = static_cast<int>(b.nodes.size()) - blk.first_node;
  b.blocks.push_back(blk);
}

void add_source_block(Model& m, BoundaryWork& b, int type, int row, int len) {
  const std::vector<float>& ta = m.coin.table_a;
  const std::vector<float>& tb = m.coin.table_b;
  const int nn = m.f.allocated ? m.coin1.nn : 0;
  auto element = [&](float v) {
    const int k = table_int(v);
    return (k >= 1 && k <= nn && static_cast<std::size_t>(k) <= m.f.h.size()) ? k - 1 : -1;
  };
  SourceBlock s;
  s.type = type;
  s.row = row;
  if (type == bt_culvert) {
    if (len < 6) return;
    s.inlet = element(ta[row + 1]);
    s.outlet = element(tb[row + 1]);
    s.channel = std::max(table_int(tb[row + 4]), 0);
    if (s.inlet < 0 || s.outlet < 0) return;  // an end off the grid: no culvert
  } else {
    if (len < 2) return;
    s.node = element(ta[row + 1]);
    s.series_count = std::clamp(table_int(tb[row + 1]), 0, len - 2);
    s.series_row = row + 2;
    if (type == bt_precipitation) b.has_precipitation = true;
  }
  b.sources.push_back(s);
}

// Normal and tangential unit discharge of a ring node.
float& normal(Model& m, const BoundaryNode& n) {
  return n.side <= side_east ? m.f.q[n.b] : m.f.r[n.b];
}
float& tangential(Model& m, const BoundaryNode& n) {
  return n.side <= side_east ? m.f.r[n.b] : m.f.q[n.b];
}
// +1 where a positive unit discharge leaves the domain (east, north).
float outward(int side) {
  return (side == side_east || side == side_north) ? 1.0f : -1.0f;
}
// Width of the face between the ring node and the grid.
float face_width(const Model& m, int side) {
  return side <= side_east ? m.coin.dy : m.coin.dx;
}

const float* series_times(const Model& m, const BoundaryBlock& blk) {
  return blk.series_count > 0 ? m.coin.table_a.data() + blk.series_row : nullptr;
}
const float* series_values(const Model& m, const BoundaryBlock& blk) {
  return blk.series_count > 0 ? m.coin.table_b.data() + blk.series_row : nullptr;
}

struct Sums {
  float discharge = 0;  // Qs
  float level = 0;      // Ls
};

void waterlevel(Model& m, const BoundaryNode* nodes, int count, float v, Sums& s) {
  FlowValues& f = m.f;
  const float hdry = m.coin.hdry;
  for (int c = 0; c < count; ++c) {
    const BoundaryNode& n = nodes[c];
    const float eta_in = f.zb[n.in] + f.h[n.in];
    // The ring level mirrors the interior level about the prescribed one.
    f.h[n.b] = 2.0f * v - eta_in - f.zb[n.b];
    tangential(m, n) = 0.0f;
    // The solver carries the ring node's discharge over the boundary face.
    // A level boundary holds subcritical flow: the face passes at most the
    // critical discharge of the ring depth. Copied unlimited from the
    // interior node, a discharge over a bed step (a shallow boundary cell
    // beside deeper water) feeds its own growth through the face and the
    // node runs away to tens of m/s.
    const float hb = std::max(f.h[n.b], 0.0f);
    const float critical = hb * std::sqrt(m.coin.gravity * hb);
    normal(m, n) = std::clamp(normal(m, n), -critical, critical);
    s.discharge += std::fabs(normal(m, n)) * face_width(m, n.side);
    s.level += eta_in;
    if (f.h[n.b] < hdry) {
      f.h[n.b] = std::max(f.h[n.b], 0.0f);
      f.ldry[n.b] = 1;
    }
  }
}

void weir(Model& m, const BoundaryBlock& blk, const BoundaryNode* nodes, float v, Sums& s) {
  FlowValues& f = m.f;
  const float width = m.coin.table_a[blk.row + 2];
  for (int c = 0; c < blk.node_count; ++c) {
    const BoundaryNode& n = nodes[c];
    const float w = face_width(m, n.side);
    float share = 1.0f;
    if (!(width < 0.0f)) share = std::min(width / w, 1.0f);
    const float eta_in = f.zb[n.in] + f.h[n.in];
    const float crest = std::max(f.zb[n.in] + 0.02f, v);
    const float x = 3.13f * share * std::pow(std::max(eta_in - crest, 0.0f), 1.5f);
    f.q[n.b] = 0.0f;
    f.r[n.b] = 0.0f;
    normal(m, n) = outward(n.side) * x;
    s.discharge += std::fabs(x) * w;
    s.level += eta_in;
  }
}

// Normal-flow discharges of all nodes of an inflow for the level zmin + rise
// (raised along the boundary by the cross slope); returns their sum. The
// level is carried relative to the lowest bed so that a bed far above the
// datum keeps the depths to full precision.
float inflow_pass(Model& m, const BoundaryNode* nodes, int count, float zmin, float rise, float v,
                  float angle, float sqrt_slope, float cross_slope) {
  FlowValues& f = m.f;
  const Coin& c0 = m.coin;
  float sum = 0.0f;
  float offset = 0.0f;
  for (int c = 0; c < count; ++c) {
    const BoundaryNode& n = nodes[c];
    const float w = face_width(m, n.side);
    const float hn = std::max(rise + offset - (f.zb[n.b] - zmin), c0.hdry);
    const float conv = cfric(hn, f.ks[n.b], f.us[n.b], c0.viscosity, m.coin1.friction_law);
    float x = conv * std::sqrt(hn * c0.gravity) * hn * sqrt_slope;
    if (conv * hn != 0.0f) f.us[n.b] = x / (conv * hn);
    x = std::fabs(x);
    if (v < 0.0f) x = -x;
    if (n.side == side_east || n.side == side_north) x = -x;
    normal(m, n) = x;
    const bool enters = (n.side == side_west || n.side == side_south) ? x > 0.0f : x < 0.0f;
    if (enters) tangential(m, n) = n.side <= side_east ? angle * x : -angle * x;
    sum += std::fabs(x) * w;
    offset += w * cross_slope;
  }
  return sum;
}

// The factor that scales the discharges of an inflow's last pass to
// carry `target` [m3/s]. Nodes whose scaled share would not exceed kImposed
// get none (their normal discharge is set to 0) and the factor grows to let
// the others carry it; the node with the largest share stays open. Returns
// 0 when nothing can or need be carried.
float close_thin_shares(Model& m, const BoundaryNode* nodes, int count, float target) {
  for (;;) {
    float carried = 0.0f, largest = 0.0f, least = 0.0f;
    int open = 0, best = -1;
    for (int c = 0; c < count; ++c) {
      const float x = std::fabs(normal(m, nodes[c]));
      if (!(x > 0.0f)) continue;
      carried += x * face_width(m, nodes[c].side);
      least = open == 0 ? x : std::min(least, x);
      if (x > largest) {
        largest = x;
        best = c;
      }
      ++open;
    }
    if (open == 0 || !(target > 0.0f)) return 0.0f;
    const float scale = target / carried;
    if (open == 1 || least * scale > kImposed) return scale;
    for (int c = 0; c < count; ++c) {
      float& x = normal(m, nodes[c]);
      if (c != best && std::fabs(x) * scale <= kImposed) x = 0.0f;
    }
  }
}

void inflow(Model& m, const BoundaryBlock& blk, const BoundaryNode* nodes, float v, Sums& s) {
  FlowValues& f = m.f;
  const int count = blk.node_count;
  if (count == 0) return;
  const float angle = m.coin.table_a[blk.row + 1];
  const float sqrt_slope = m.coin.table_b[blk.row + 1];
  const float cross_slope = m.coin.table_b[blk.row + 2];
  const float target = std::fabs(v);
  float zmin = 99999.0f;
  for (int c = 0; c < count; ++c) zmin = std::min(zmin, f.zb[nodes[c].b]);
  // Bisection for the level whose normal-flow discharge carries |v|; the
  // 4 m bracket moves up until it holds the solution.
  float lo = 0.0f;
  float hi = lo + 4.0f;
  float sum = 0.0f;
  for (int move = 0;; ++move) {
    const float hi_start = hi;
    for (int pass = 0; pass < 20; ++pass) {
      const float mid = (lo + hi) * 0.5f;
      sum = inflow_pass(m, nodes, count, zmin, mid, v, angle, sqrt_slope, cross_slope);
      if (sum >= target) {
        hi = mid;
      } else {
        lo = mid;
      }
    }
    if (!(hi > hi_start - 0.001f) || move + 1 >= kMaxInflowMoves) break;
    lo = hi;
    hi = lo + 4.0f;
  }
  // The last pass carries a little more or less than asked (its level lies
  // within the last bracket around the solution, or every node is already
  // at the dry-depth floor): scale it to the hydrograph so that the boundary
  // delivers |v|, and over a run the hydrograph's volume. A node whose share
  // would not exceed what the solver imposes on a boundary face is closed
  // and its share goes to the others: its face would otherwise exchange
  // what the ring state and the node beside it make of it, and an inflow
  // that has stopped would feed the flow leaving the boundary.
  const float scale = close_thin_shares(m, nodes, count, target);
  for (int c = 0; c < count; ++c) {
    const BoundaryNode& n = nodes[c];
    const float x0 = normal(m, n);
    const bool enters = (n.side == side_west || n.side == side_south) ? x0 > 0.0f : x0 < 0.0f;
    const float x = x0 * scale;
    normal(m, n) = x;
    if (enters) tangential(m, n) = n.side <= side_east ? angle * x : -angle * x;
  }
  // A node left without a discharge is a wall at least as high as the water
  // beside it. The ring depth of the others is at least the critical depth
  // of their discharge, and at least hdry: a thin inflow onto a dry bed
  // would otherwise be dropped as dry. The solver carries their discharge
  // over the face whatever the ring depth, so the floor adds no water.
  const float hdry = m.coin.hdry;
  for (int c = 0; c < count; ++c) {
    const BoundaryNode& n = nodes[c];
    if (std::fabs(normal(m, n)) > kImposed) {
      f.h[n.b] = std::max(hsub(f.h[n.b], f.q[n.b], f.r[n.b]), hdry);
    } else {
      f.ldry[n.b] = 1;
      f.zb[n.b] = std::max(f.zb[n.b], f.zb[n.in] + f.h[n.in]);
      f.h[n.b] = f.q[n.b] = f.r[n.b] = 0.0f;
    }
  }
  sum = 0.0f;
  for (int c = 0; c < count; ++c)
    sum += std::fabs(normal(m, nodes[c])) * face_width(m, nodes[c].side);
  s.discharge = sum;
}

void slope(Model& m, const BoundaryNode* nodes, int count, float v, Sums& s) {
  FlowValues& f = m.f;
  const Coin& c0 = m.coin;
  const float energy_slope = std::max(v, 0.0f);
  for (int c = 0; c < count; ++c) {
    const BoundaryNode& n = nodes[c];
    const float hs = std::max(f.h[n.in], 0.0f);
    // Normal flow with the model's own friction law for the interior node.
    const float conv =
        cfric(std::max(hs, c0.hdry), f.ks[n.in], f.us[n.in], c0.viscosity, m.coin1.friction_law);
    const float x = conv * std::sqrt(hs * c0.gravity * energy_slope) * hs;
    f.q[n.b] = f.q[n.in] * 0.5f;
    f.r[n.b] = f.r[n.in] * 0.5f;
    normal(m, n) = outward(n.side) * x;
    s.discharge += std::fabs(x) * face_width(m, n.side);
  }
}

// The integral term advances once per step of model time: the second sweep
// of a two-stage step uses the value the first one reached.
void tide(Model& m, const BoundaryNode* nodes, int count, float v, bool advance, Sums& s) {
  FlowValues& f = m.f;
  std::vector<float>& state = m.coin.table_a;
  const float hdry = m.coin.hdry;
  for (int c = 0; c < count; ++c) {
    const BoundaryNode& n = nodes[c];
    const float eta_in = f.zb[n.in] + f.h[n.in];
    const float d = v - eta_in;
    float integral = state[n.state_row];
    if (advance) {
      integral += 0.01f * d * m.coin.dt;
      state[n.state_row] = integral;
    }
    float x = std::sqrt(9.81f * std::max(f.h[n.in], 0.0f)) * d + integral;
    if (n.side == side_east || n.side == side_north) x = -x;
    if (n.side <= side_east) {
      f.r[n.b] = 0.0f;
      f.q[n.b] = x;
      s.discharge += f.q[n.b] * m.coin.dy;
    } else {
      f.q[n.b] = 0.0f;
      f.r[n.b] = x;
      s.discharge += f.r[n.b] * m.coin.dx;
    }
    if (f.h[n.b] < hdry) {
      f.h[n.b] = std::max(f.h[n.b], 0.0f);
      f.ldry[n.b] = 1;
    }
    s.level += eta_in;
  }
}

// Discharge [m3/s] the solver takes over the faces of a block's ring nodes:
// the normal discharge of the ring node where it is imposed (more than
// 0.0001 m2/s, not out of a dry interior node); a tide counts it signed
// (positive in the +x or +y direction), the other types by amount.
float carried_discharge(Model& m, const BoundaryBlock& blk, const BoundaryNode* nodes, int count) {
  const FlowValues& f = m.f;
  float sum = 0.0f;
  for (int c = 0; c < count; ++c) {
    const BoundaryNode& n = nodes[c];
    const float x = normal(m, n);
    if (!(std::fabs(x) > 0.0001f)) continue;
    if (x * outward(n.side) > 0.0f && f.ldry[n.in]) continue;
    const float w = face_width(m, n.side);
    sum += blk.type == bt_tide ? x * w : std::fabs(x) * w;
  }
  return sum;
}

bool fields_missing(const Model& m) {
  return m.f.src.size() < static_cast<std::size_t>(m.coin1.nn) ||
         m.f.ldry.size() < static_cast<std::size_t>(m.coin1.nn);
}

double budget_cell_area(const Model& m) {
  const float a = m.coin.cell_area;
  return a > 0.0f ? a : std::fabs(m.coin.dx * m.coin.dy);
}

}  // namespace

TableLookup rmint(int n, const float* times, const float* values, float t) {
  TableLookup res;
  if (n <= 0 || times == nullptr || values == nullptr) return res;
  for (int i = 0; i + 1 < n; ++i) {
    if (times[i] > times[i + 1]) {
      res.status = 4;
      break;
    }
  }
  if (n == 1) {
    res.value = values[0];
    res.status = 1;
    return res;
  }
  if (t < times[0] - 0.00001f) {
    res.value = values[0];
    res.status = 2;
    return res;
  }
  if (t > times[n - 1] + 0.00001f) {
    res.value = values[n - 1];
    res.status = 3;
    return res;
  }
  int lo = 0;
  int hi = n - 1;
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    if (t < times[mid]) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  const float span = times[hi] - times[lo];
  res.slope = std::fabs(span) < 1e-10f ? 0.0f : (values[hi] - values[lo]) / span;
  res.value = values[lo] + (t - times[lo]) * res.slope;
  return res;
}

float rmint_value(int n, const float* times, const float* values, float t) {
  if (n <= 0 || times == nullptr || values == nullptr) return 0.0f;
  if (n == 1 || t < times[0] - 0.00001f) return values[0];
  if (t > times[n - 1] + 0.00001f) return values[n - 1];
  int lo = 0;
  int hi = n - 1;
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    if (t < times[mid]) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  const float span = times[hi] - times[lo];
  const float slope = std::fabs(span) < 1e-10f ? 0.0f : (values[hi] - values[lo]) / span;
  return values[lo] + (t - times[lo]) * slope;
}

float rmint_mean(int n, const float* times, const float* values, double t0, double t1) {
  const float end = rmint_value(n, times, values, static_cast<float>(t1));
  if (n <= 1 || times == nullptr || values == nullptr || !(t1 > t0)) return end;
  for (int i = 1; i < n; ++i) {
    if (times[i] < times[i - 1]) return end;
  }
  // The value at t, held constant outside the table.
  auto at = [&](double t, int i) {
    if (i == 0) return double(values[0]);
    if (i == n) return double(values[n - 1]);
    const double span = double(times[i]) - double(times[i - 1]);
    if (std::fabs(span) < 1e-10) return double(values[i]);
    return values[i - 1] + (t - times[i - 1]) * (double(values[i]) - values[i - 1]) / span;
  };
  // Trapezoids between t0, the table times inside (t0, t1) and t1; piece i
  // lies between table rows i - 1 and i.
  int i = 0;
  while (i < n && times[i] <= t0) ++i;
  double sum = 0.0, a = t0;
  while (a < t1) {
    const double b = i < n ? std::min(double(times[i]), t1) : t1;
    sum += (b - a) * (at(a, i) + at(b, i)) * 0.5;
    a = b;
    ++i;
  }
  return static_cast<float>(sum / (t1 - t0));
}

float hsub(float h, float q, float r) {
  return std::max(h, std::pow((q * q + r * r) / 9.81f, 0.33333f));
}

RingNode gtindx(const Model& m, int side, int pos) {
  const int nxx = m.coin1.nxx;
  RingNode n;
  switch (side) {
    case side_west:
      n.b = (pos - 1) * nxx + 1;
      n.in = n.b + 1;
      n.in2 = n.b + 2;
      break;
    case side_east:
      n.b = pos * nxx;
      n.in = n.b - 1;
      n.in2 = n.b - 2;
      break;
    case side_south:
      n.b = pos;
      n.in = n.b + nxx;
      n.in2 = n.b + 2 * nxx;
      break;
    case side_north:
      n.b = (m.coin1.nyy - 1) * nxx + pos;
      n.in = n.b - nxx;
      n.in2 = n.b - 2 * nxx;
      break;
    default:
      break;
  }
  return n;
}

void stclose(Model& m, int side, int pos) {
  if (!grid_ready(m) || !position_valid(m, side, pos)) return;
  const RingNode rn = gtindx(m, side, pos);
  FlowValues& f = m.f;
  const int b = rn.b - 1;
  const int in = rn.in - 1;
  f.ldry[b] = 1;
  f.h[b] = 0.0f;
  f.q[b] = 0.0f;
  f.r[b] = 0.0f;
  f.zb[b] = std::max(f.zb[b], f.zb[in] + f.h[in]);
}

void prepare_boundary(Model& m, BoundaryWork& b) {
  b.blocks.clear();
  b.nodes.clear();
  b.sources.clear();
  b.has_precipitation = false;
  b.src_sparse = false;
  b.owner.clear();
  b.nxx = m.coin1.nxx;
  b.nyy = m.coin1.nyy;
  const std::vector<float>& ta = m.coin.table_a;
  const std::vector<float>& tb = m.coin.table_b;
  const int last = std::min(max_table, static_cast<int>(std::min(ta.size(), tb.size())) - 1);
  int row = 1;
  while (row <= last && ta[row] >= -9000.0f) {
    int len = table_int(tb[row]);
    if (len < 1) break;  // a block without a length ends the list
    len = std::min(len, last - row + 1);
    const int type = table_int(ta[row]);
    if (type >= bt_waterlevel && type <= bt_tide) {
      add_boundary_block(m, b, type, row, len);
    } else if (type >= bt_precipitation && type <= bt_culvert) {
      add_source_block(m, b, type, row, len);
    }
    row += len;
  }
  // The boundary type of every ring node (a later block takes a node over).
  if (grid_ready(m)) {
    b.owner.assign(static_cast<std::size_t>(m.coin1.nn), 0);
    for (const BoundaryBlock& blk : b.blocks) {
      for (int c = 0; c < blk.node_count; ++c) {
        b.owner[b.nodes[blk.first_node + c].b] = static_cast<std::uint8_t>(blk.type);
      }
    }
  }
  b.prepared = true;
}

void bound(Model& m, BoundaryWork& b, Channels& io, Messages& msg) {
  (void)msg;
  const int stage = b.stage;
  b.stage = 0;
  if (stage > 0) {
    // The sweep before this call is complete: count it, then open the next.
    close_budget(m, b);
    WaterBudget& g = b.budget;
    g.pending = true;
    g.rates_ready = false;
    g.dt = m.coin.dt;
    g.weight = m.clog.second_order ? 0.5 : 1.0;
  }
  m.coin.boundary_flow.fill(0.0f);
  if (!grid_ready(m)) return;
  if (!b.prepared || b.nxx != m.coin1.nxx || b.nyy != m.coin1.nyy) prepare_boundary(m, b);
  FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;

  // Every ring node becomes a wall at least as high as the water beside it.
  for (int j = 1; j <= nyy; ++j) {
    stclose(m, side_west, j);
    stclose(m, side_east, j);
  }
  for (int i = 1; i <= nxx; ++i) {
    stclose(m, side_south, i);
    stclose(m, side_north, i);
  }

  const float time = m.coin.time;
  const float hdry = m.coin.hdry;
  const bool series = m.clog.series_due && !(b.series_written && b.series_time == time);
  const bool extrapolate = m.clog.second_order_boundary;
  for (const BoundaryBlock& blk : b.blocks) {
    // An inflow delivers its hydrograph's mean over the step, so that the
    // volume it brings is the table's integral.
    const float v =
        blk.type == bt_inflow && in_step(b, time)
            ? rmint_mean(blk.series_count, series_times(m, blk), series_values(m, blk), b.step_from,
                         b.step_to)
            : rmint_value(blk.series_count, series_times(m, blk), series_values(m, blk), time);
    const BoundaryNode* nodes = b.nodes.data() + blk.first_node;
    const int count = blk.node_count;
    for (int c = 0; c < count; ++c) {
      const BoundaryNode& n = nodes[c];
      f.ldry[n.b] = 0;
      f.h[n.b] = std::max(f.h[n.in], 0.0f);
      if (extrapolate) {
        f.q[n.b] = 2.0f * f.q[n.in] - f.q[n.in2];
        f.r[n.b] = 2.0f * f.r[n.in] - f.r[n.in2];
        f.zb[n.b] = 2.0f * f.zb[n.in] - f.zb[n.in2];
      } else {
        f.q[n.b] = f.q[n.in];
        f.r[n.b] = f.r[n.in];
        f.zb[n.b] = f.zb[n.in];
      }
      f.ks[n.b] = f.ks[n.in];
    }
    Sums s;
    switch (blk.type) {
      case bt_waterlevel:
        waterlevel(m, nodes, count, v, s);
        break;
      case bt_weir:
        weir(m, blk, nodes, v, s);
        break;
      case bt_inflow:
        inflow(m, blk, nodes, v, s);
        break;
      case bt_slope:
        slope(m, nodes, count, v, s);
        break;
      case bt_tide:
        tide(m, nodes, count, v, stage != 2, s);
        break;
      default:
        break;
    }
    for (int c = 0; c < count; ++c) {
      const BoundaryNode& n = nodes[c];
      if (f.h[n.b] < hdry) {
        f.h[n.b] = std::max(f.h[n.b], 0.0f);
        f.q[n.b] = 0.0f;
        f.r[n.b] = 0.0f;
        f.ldry[n.b] = 1;
      }
    }
    // The series shows what the flux solver will carry over the faces of the
    // ring nodes: nothing from a node closed as dry, nothing outward from a
    // dry interior node, nothing of a discharge too small to be imposed.
    s.discharge = carried_discharge(m, blk, nodes, count);
    if (series && blk.channel > 0) {
      // A boundary without nodes on the grid shows a mean level of 0.
      const float mean = count > 0 ? s.level / static_cast<float>(count) : 0.0f;
      io.line(blk.channel, fmt_f(time, 10, 4) + fmt_f(s.discharge, 12, 3) + fmt_f(mean, 12, 3));
    }
  }
  if (series) {
    b.series_written = true;
    b.series_time = time;
  }
  // The second sweep of a step applies the sources of the first one.
  if (stage == 2) budget_sources(m, b);
}

void close_budget(Model& m, BoundaryWork& b) {
  WaterBudget& g = b.budget;
  if (!g.pending) return;
  g.pending = false;
  const double tw = static_cast<double>(g.dt) * g.weight;
  if (g.rates_ready) {
    g.rain += g.r_rain * tw;
    g.points += g.r_points * tw;
    g.leakage += g.r_leakage * tw;
    g.culvert += g.r_culvert * tw;
    g.rain_moved += std::fabs(g.r_rain) * tw;
    g.points_moved += g.r_points_moved * tw;
    g.leakage_moved += std::fabs(g.r_leakage) * tw;
    g.culvert_moved += g.r_culvert_moved * tw;
    g.rates_ready = false;
  }
  if (!grid_ready(m) || m.f.qq.size() < static_cast<std::size_t>(m.coin1.nn) ||
      m.f.rr.size() < static_cast<std::size_t>(m.coin1.nn) ||
      b.owner.size() < static_cast<std::size_t>(m.coin1.nn)) {
    return;
  }
  // Every face between the ring and the real cells, with the mass flux the
  // sweep applied over it (kept per face for the transport step), counted
  // for the boundary type of its ring node (0: a wall).
  const FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;
  const double dx = m.coin.dx;
  const double dy = m.coin.dy;
  auto count = [&](long ring, double phi) {  // phi [m3/s], positive inward
    const int t = b.owner[ring];
    double& v = phi > 0.0 ? (t > 0 ? g.in[t - 1] : g.wall_in) : (t > 0 ? g.out[t - 1] : g.wall_out);
    v += std::fabs(phi) * tw;
  };
  for (int j = 2; j <= nyy - 1; ++j) {
    const long row = static_cast<long>(j - 1) * nxx;
    count(row, f.qq[row] * dy);                       // west
    count(row + nxx - 1, -f.qq[row + nxx - 2] * dy);  // east
  }
  const long top = static_cast<long>(nyy - 1) * nxx;
  for (int i = 2; i <= nxx - 1; ++i) {
    count(i - 1, f.rr[i - 1] * dx);                     // south
    count(top + i - 1, -f.rr[top - nxx + i - 1] * dx);  // north
  }
}

void budget_sources(const Model& m, BoundaryWork& b) {
  WaterBudget& g = b.budget;
  g.rates_ready = true;
  g.r_rain = g.r_points = g.r_leakage = g.r_culvert = 0.0;
  g.r_points_moved = g.r_culvert_moved = 0.0;
  if (!grid_ready(m) || fields_missing(m)) return;
  const FlowValues& f = m.f;
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;
  const std::uint8_t* dry = f.ldry.data();
  const float* src = f.src.data();
  const float* h = f.h.data();
  const float dt = m.coin.dt;
  const bool limited = g.sinks_limited && dt > 0.0f;
  auto interior = [&](long k) {
    const long i = k % nxx;
    const long j = k / nxx;
    return i >= 1 && i <= nxx - 2 && j >= 1 && j <= nyy - 2;
  };
  // The source the solver applies at an interior node [m/s].
  auto applied = [&](long k) {
    if (limited) return std::max(src[k], -(std::max(h[k], 0.0f) / dt));
    // A node whose five-point neighbourhood is dry takes only a positive one.
    const bool skip = dry[k] && dry[k - 1] && dry[k + 1] && dry[k - nxx] && dry[k + nxx];
    return !skip || src[k] > 0.0f ? src[k] : 0.0f;
  };
  // The share of each part of src that acts.
  auto share = [&](long k) {
    if (!interior(k)) return 0.0;
    const float a = applied(k);
    return a == src[k] ? 1.0 : static_cast<double>(a) / src[k];
  };
  double points = 0.0, points_moved = 0.0, culv = 0.0, culv_moved = 0.0;
  bool any = false;
  for (const SourceBlock& s : b.sources) {
    if (s.type == bt_discharge && s.node >= 0) {
      any = true;
      const double p = s.added * share(s.node);
      points += p;
      points_moved += std::fabs(p);
    } else if (s.type == bt_culvert) {
      any = true;
      const double a = s.taken * share(s.inlet);
      const double o = s.given * share(s.outlet);
      culv += a + o;
      culv_moved += std::max(std::fabs(a), std::fabs(o));
    }
  }
  const bool rain_on = b.has_precipitation && b.rain != 0.0f;
  const bool leak_on = m.clog.leakage;
  double rain = 0.0, leak = 0.0;
  if (rain_on || leak_on) {
    const std::size_t nn = static_cast<std::size_t>(m.coin1.nn);
    const std::uint8_t* out = f.outside.size() >= nn ? f.outside.data() : nullptr;
    double total = 0.0;
    double rain_nodes = 0.0;
    for (int j = 2; j <= nyy - 1; ++j) {
      const long row = static_cast<long>(j - 1) * nxx;
      if (leak_on || limited) {
        for (long k = row + 1; k <= row + nxx - 2; ++k) {
          const float a = applied(k);
          if (a == 0.0f) continue;
          total += a;
          if (out == nullptr || out[k] == 0) {
            rain_nodes += a == src[k] ? 1.0 : static_cast<double>(a) / src[k];
          }
        }
        continue;
      }
      // Rain alone: a count of the nodes it reaches, without branches.
      int n = 0;
      for (long k = row + 1; k <= row + nxx - 2; ++k) {
        const int skip = dry[k] & dry[k - 1] & dry[k + 1] & dry[k - nxx] & dry[k + nxx];
        const int inside = out == nullptr ? 1 : static_cast<int>(out[k] == 0);
        n += ((skip == 0) | static_cast<int>(src[k] > 0.0f)) & inside;
      }
      rain_nodes += n;
    }
    if (rain_on) rain = static_cast<double>(b.rain) * rain_nodes;
    if (leak_on) leak = total - rain - points - culv;
  } else if (!any) {
    return;
  }
  const double area = budget_cell_area(m);
  g.r_rain = rain * area;
  g.r_points = points * area;
  g.r_leakage = leak * area;
  g.r_culvert = culv * area;
  g.r_points_moved = points_moved * area;
  g.r_culvert_moved = culv_moved * area;
}

double grid_volume(const Model& m) {
  if (!grid_ready(m)) return 0.0;
  const int nxx = m.coin1.nxx;
  const int nyy = m.coin1.nyy;
  const float* h = m.f.h.data();
  double sum = 0.0;
  for (int j = 2; j <= nyy - 1; ++j) {
    const long row = static_cast<long>(j - 1) * nxx;
    for (long k = row + 1; k <= row + nxx - 2; ++k) sum += h[k];
  }
  return sum * budget_cell_area(m);
}

}  // namespace qf
