// Sources of the flow step: precipitation, point discharges, tracer and heat
// loads, culverts between two nodes, and leakage; with the discharge laws of
// culverts, gates and weirs.
#include <algorithm>
#include <cmath>

#include "io/textio.h"
#include "model/hydro/boundary.h"
#include "model/hydro/structure_kernels.h"

namespace qf {

float rqweir(float h1, float h2, float width, float cw) {
  const float hh = std::max(h1, h2);
  const float hl = std::min(h1, h2);
  if (hh <= 0.0f) return 0.0f;
  float f;
  if (hl <= 0.0f) {
    f = 1.0f;
  } else if (hl >= hh) {
    f = 0.0f;
  } else {
    const float ratio = hl / hh;
    f = std::pow(1.0f - ratio * ratio * ratio, 0.33333334f);
  }
  const float x = 2.95f * cw * width * std::pow(hh, 1.5f) * f;
  return h1 > h2 ? x : -x;
}

float rqgate(float h1, float h2, float hup, float width, float a, float cc) {
  if (a <= 0.0f) return 0.0f;
  const float hh = std::max(h1, h2);
  if (hh < 1.3f * a) return rqweir(h1, h2, width, 0.58f);
  const float hl = std::min(h1, h2);
  const float sign = h1 > h2 ? 1.0f : -1.0f;
  float f = 1.0f;
  if (hl > 0.0f) {
    const float ratio = hl / hh;
    f = std::pow(1.0f - ratio * ratio * ratio, 0.33333334f);
  }
  const float mu = std::min(std::max(a / hup, cc), 1.0f);
  const float opening = mu * a;
  return sign * std::sqrt(19.62f * (hh - opening)) * opening * f * width;
}

float rqculv(float he1, float he2, float h1, float h2, float width, float height, float length,
             float kst, float loss, int& kind, Channels* diag) {
  const bool report = kind == -1 && diag != nullptr;
  float hu_energy, hd_energy, hu, hd, sign;
  if (he1 > he2) {
    hu_energy = he1;
    hd_energy = he2;
    hu = h1;
    hd = h2;
    sign = 1.0f;
  } else {
    hu_energy = he2;
    hd_energy = he1;
    hu = h2;
    hd = h1;
    sign = -1.0f;
  }
  const float dh = hu_energy - hd_energy;
  kind = culvert_none;
  if (dh < 0.00001f || hu_energy < 0.001f || hu < 0.001f) return 0.0f;

  const bool box = height > 0.0f;
  const float d = box ? height : width;  // height of the section
  if (d <= 0.0f || width <= 0.0f) return 0.0f;
  const float ratio = hu / d;
  const float hm = (std::min(hu, d) + std::max(std::min(hd, d), d * 0.5f)) * 0.5f;
  float qc, area, radius;
  int base;
  if (box) {
    qc = 0.544f * std::sqrt(9.81f * hu_energy * hu_energy * hu_energy) * width;
    if (hm < 0.95f * d) {
      area = width * hm;
      radius = area / (2.0f * hm + width);
      base = 0;
    } else {
      area = width * d;
      radius = area / (2.0f * (width + d));
      base = 2;
    }
  } else {
    qc = std::sqrt(9.81f * std::pow(d, 5.0f)) * std::pow(0.6f * hu_energy / d, 1.6667f);
    if (hm >= 0.9f * d) {
      area = 0.7854f * d * d;
      radius = d * 0.25f;
      base = 2;
    } else {
      const float half = d * 0.5f;
      const float theta = std::acos((half - hm) / half);
      area = half * half * (theta - std::sin(theta) * std::cos(theta));
      radius = area / (d * theta);
      base = 0;
    }
  }

  // Energy equation: inlet loss, exit velocity head and Manning friction.
  float k = (1.0f + loss) * 0.051f;
  bool blocked = false;
  if (length > 0.0f) {
    const float denom = kst * kst * std::pow(radius, 1.3333f);
    if (denom > 0.0f) {
      k += length / denom;
    } else {
      blocked = true;  // no conveyance
    }
  }
  const float qu = (blocked || !(k > 0.0f)) ? 0.0f : area * std::sqrt(dh / k);

  float qg = 0.0f;
  float q;
  if (ratio >= 1.2f) {
    // Submerged inlet: the smaller of the energy-equation and the gate flow.
    qg = box ? rqgate(hu_energy, hd_energy, hu, width, d, 0.62f)
             : rqgate(hu_energy, hd_energy, hu, 1.0f, d, 0.62f) / d * area;
    if (qu <= qg) {
      q = qu;
      kind = base + 2;
    } else {
      q = qg;
      kind = culvert_gated;
    }
  } else if (qu <= qc) {
    q = qu;
    kind = base + 2;
  } else {
    q = qc;
    kind = culvert_critical;
  }
  const float result = sign * q;
  if (report) {
    diag->line(Channels::screen, " rqculv he1 he2 h1 h2" + fmt_list(hu_energy) +
                                     fmt_list(hd_energy) + fmt_list(hu) + fmt_list(hd) +
                                     fmt_list(radius) + fmt_list(k));
    diag->line(Channels::screen, " (1)" + fmt_list(qc) + " (2)" + fmt_list(qu) + " (3)" +
                                     fmt_list(qg) + " culv=" + fmt_list(result));
  }
  return result;
}

namespace {

// Culvert between two nodes; returns the discharge applied this step.
float culvert(Model& m, SourceBlock& s, float cell_area, int& kind) {
  FlowValues& f = m.f;
  std::vector<float>& ta = m.coin.table_a;
  const std::vector<float>& tb = m.coin.table_b;
  const int row = s.row;
  const int e1 = s.inlet;
  const int e2 = s.outlet;
  auto energy = [&](int e) {
    const float h = f.h[e];
    const float hq = std::max(h, 0.1f);
    const float he = h + 0.05f * (f.q[e] * f.q[e] + f.r[e] * f.r[e]) / (hq * hq);
    return std::min(he, 1.4f * h);
  };
  float he1 = energy(e1);
  float he2 = energy(e2);
  // Both heads referred to the bed of the end with the higher energy level.
  const float zb1 = f.zb[e1];
  const float zb2 = f.zb[e2];
  if (he1 + zb1 > he2 + zb2) {
    he2 = he2 - (zb1 - zb2);
  } else {
    he1 = he1 + (zb1 - zb2);
  }
  kind = culvert_none;
  const float q = rqculv(he1, he2, f.h[e1], f.h[e2], ta[row + 2], tb[row + 2], ta[row + 4],
                         ta[row + 3], tb[row + 3], kind);
  float applied = (q + ta[row + 5]) * 0.5f;
  ta[row + 5] = q;
  // The end that gives water must hold it: a dry end gives nothing (the
  // flux solver would not take a withdrawal from a dry neighbourhood while
  // the other end still received it), and no end is drawn below empty.
  const int giver = applied > 0.0f ? e1 : e2;
  if (applied != 0.0f) {
    if (f.ldry[giver] != 0) {
      applied = 0.0f;
    } else if (m.coin.dt > 0.0f) {
      const float most = std::max(f.h[giver], 0.0f) * cell_area / m.coin.dt;
      applied = std::clamp(applied, -most, most);
    }
  }
  const float before1 = f.src[e1];
  f.src[e1] -= applied / cell_area;
  s.taken = static_cast<double>(f.src[e1]) - before1;
  const float before2 = f.src[e2];
  f.src[e2] += applied / cell_area;
  s.given = static_cast<double>(f.src[e2]) - before2;
  return applied;
}

}  // namespace

void source(Model& m, BoundaryWork& b, Channels& io, Messages& msg) {
  if (!m.f.allocated || m.coin1.nn <= 0) return;
  if (!b.prepared || b.nxx != m.coin1.nxx || b.nyy != m.coin1.nyy) prepare_boundary(m, b);
  FlowValues& f = m.f;
  const std::size_t nn = std::min(static_cast<std::size_t>(m.coin1.nn), f.src.size());
  const float time = m.coin.time;
  const std::vector<float>& ta = m.coin.table_a;
  const std::vector<float>& tb = m.coin.table_b;
  auto value = [&](const SourceBlock& s) {
    if (s.series_count <= 0) return 0.0f;
    return rmint_value(s.series_count, ta.data() + s.series_row, tb.data() + s.series_row, time);
  };

  // Precipitation falls on every node, dry ones included,
  float rain = 0.0f;
  if (b.has_precipitation) {
    for (const SourceBlock& s : b.sources) {
      if (s.type == bt_precipitation) rain += value(s);
    }
  }
  b.rain = rain;
  const bool leaking = m.clog.leakage && f.fleak.size() >= nn;
  if (rain == 0.0f && b.src_sparse && f.srcm.size() >= nn) {
    // Dry weather: only the nodes of the source blocks hold a rate.
    for (const SourceBlock& s : b.sources) {
      for (const int k : {s.node, s.inlet, s.outlet}) {
        if (k < 0 || static_cast<std::size_t>(k) >= nn) continue;
        f.src[static_cast<std::size_t>(k)] = 0.0f;
        f.srcm[static_cast<std::size_t>(k)] = 0.0f;
      }
    }
  } else {
    if (rain != 0.0f && f.outside.size() >= nn) {
      // except those outside the model: their rain would pour from the walls.
      const std::uint8_t* out = f.outside.data();
      float* s = f.src.data();
      for (std::size_t k = 0; k < nn; ++k) s[k] = out[k] != 0 ? 0.0f : rain;
    } else {
      std::fill(f.src.begin(), f.src.begin() + static_cast<std::ptrdiff_t>(nn), rain);
    }
    std::fill(f.srcm.begin(), f.srcm.begin() + static_cast<std::ptrdiff_t>(nn), 0.0f);
  }
  b.src_sparse = rain == 0.0f && !leaking && f.srcm.size() >= nn;

  float cell_area = m.coin.cell_area;
  if (!(cell_area > 0.0f)) cell_area = std::fabs(m.coin.dx * m.coin.dy);
  const bool has_area = cell_area > 0.0f;
  for (SourceBlock& s : b.sources) {
    s.added = s.taken = s.given = 0.0;
    switch (s.type) {
      case bt_discharge:
      case bt_load: {
        if (s.node < 0) {
          // A point discharge or load without a point acts on no node.
          if (!b.warned_no_point) {
            msg.iierr(1, "source without point ignored", m.coin1.ch_listing);
            b.warned_no_point = true;
          }
          break;
        }
        if (!has_area) break;
        // A point discharge brings its table's mean over the step.
        const float rate = s.type == bt_discharge && in_step(b, time)
                               ? rmint_mean(s.series_count, ta.data() + s.series_row,
                                            tb.data() + s.series_row, b.step_from, b.step_to)
                               : value(s);
        const float v = rate / cell_area;
        if (s.type == bt_discharge) {
          const float before = f.src[s.node];
          f.src[s.node] += v;
          s.added = static_cast<double>(f.src[s.node]) - before;
        } else {
          f.srcm[s.node] += v;
        }
        break;
      }
      case bt_culvert: {
        if (!has_area) break;
        int kind = culvert_none;
        const float applied = culvert(m, s, cell_area, kind);
        if (s.channel > 0 && m.clog.series_due) {
          io.line(s.channel, fmt_f(time, 10, 4) + fmt_f(applied, 12, 3) + fmt_i(kind, 3));
        }
        break;
      }
      default:
        break;
    }
  }

  if (leaking) {
    // Leakage drains the water present; a node below empty gains nothing.
    for (std::size_t k = 0; k < nn; ++k) f.src[k] -= std::max(f.h[k], 0.0f) * f.fleak[k];
  }
  // The first sweep of a flow step applies these sources.
  if (b.budget.pending && !b.budget.rates_ready) budget_sources(m, b);
}

}  // namespace qf
